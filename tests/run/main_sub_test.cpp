// The run sequence of one regression: confirmation, the checks and their
// abort texts, the start vector, the driver calls (re-weighted, Difficult,
// Cancel, abort), the results it leaves and the NEXT series. The driver is
// scripted here, except in the fits with the real driver at the end.

#include "run/main_sub.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "foundations/fortran_io.h"
#include "model/globals.h"
#include "run/cascade.h"
#include "run/report.h"
#include "run_files_fixture.h"

namespace {

namespace fs = std::filesystem;
using appgraphics::DialogKind;
using appgraphics::DialogRequest;

const std::string closing = std::string(30, ' ') + "*** RUN ABORTED! ***";

// What the scripted driver saw at one call.
struct DriverCall {
    int level = 0, bounded = 0, iopt = 0, iopt2 = 0, brewt = 0, mode = 0;
    std::vector<double> p, sig;
};

const char* example1_rows =
    "5 3.2\n10 15.9\n15 35.8\n20 45.1\n25 69.1\n30 75.6\n35 76.6\n40 83.7\n45 80.5\n50 90.0\n"
    "55 87.2\n60 94.3\n65 99.0\n70 90.7\n75 88.6\n80 97.0\n85 101.9\n90 90.8\n95 90.5\n100 105.0\n";

std::string example1(std::string_view ending = "END") {
    return std::string("y = P2*X1/(P1 + X1)\n10.  100.\n1.E-06  1.E-06\n1.E+06  1.E+06\nTRUE  TRUE\n") +
           example1_rows + std::string(ending) + "\n";
}

class MainSubTest : public RunFilesTest {
protected:
    void SetUp() override {
        RunFilesTest::SetUp();
        globals::iopt = 2;
        globals::iwt = 1;
        mainsub::set_fit_driver([this](sharc_mod::SharcArgs& a) { return scripted(a); });
    }
    void TearDown() override {
        mainsub::set_fit_driver({});
        RunFilesTest::TearDown();
    }

    // A fit that keeps the start values, leaves fixed residuals and the
    // Studentized residuals `studentized`, and ends as `outcome`.
    sharc_mod::Outcome scripted(sharc_mod::SharcArgs& a) {
        calls.push_back({a.level, a.bounded.value_or(0), globals::iopt, globals::iopt2, globals::brewt, a.mode, a.p,
                         a.sig});
        if (globals::iopt == -1) globals::iopt = a.level;
        const auto n = static_cast<std::size_t>(a.n), k = static_cast<std::size_t>(a.k);
        a.ycalc.assign(n, 0.0);
        a.studentized.assign(n, 0.0);
        for (std::size_t i = 0; i < n; ++i) {
            a.ycalc[i] = a.y[i] - (i % 2 == 0 ? 1.0 : -1.0);
            a.studentized[i] = i < studentized.size() ? studentized[i] : 0.1;
        }
        a.se.assign(k, 0.5);
        a.ci.assign(k, 1.0);
        a.lm_result.assign(k, 0.0);
        a.corr = kalvor::Matrix::identity(k);
        a.influence = kalvor::Matrix(k, k, 50.0);
        a.eigenvalues.assign(k, 1.0);
        a.runs = {};
        a.runs.npos = a.runs.nneg = static_cast<int>(n) / 2;
        a.ssq = outcome == sharc_mod::Outcome::aborted ? -1.0 : static_cast<double>(n);
        for (std::size_t j = 0; j < k; ++j) common_data::pfinal[j] = a.p[j];
        common_data::fssqr = a.ssq;
        if (outcome != sharc_mod::Outcome::fitted) globals::bcancelrun = 1;
        return outcome;
    }

    fs::path write_data(const std::string& name, const std::string& text) {
        const fs::path path = dir / name;
        std::ofstream(path) << text;
        return path;
    }

    // A Start of the data file.
    void start(const fs::path& path) {
        globals::input_file_name = path.string();
        globals::bpostrun = 0;
        globals::bcancelrun = 0;
        main_sub();
    }

    // Runs the file and expects exactly the abort message `message`.
    void expect_abort(const std::string& data, const std::string& message) {
        start(write_data("ABORT.DAT", data));
        const auto shown_errors = errors();
        ASSERT_EQ(shown_errors.size(), 1u) << data;
        EXPECT_EQ(shown_errors[0].text, shown(message));
        EXPECT_EQ(globals::bdataerror, 1);
        EXPECT_TRUE(calls.empty());
        EXPECT_FALSE(fs::exists(dir / "ABORT.TXT"));
        dialogs.clear();
        globals::bdataerror = 0;
    }

    std::string log_text() const { return file_text("Kalvor_UDF-runlog.txt"); }

    std::vector<DriverCall> calls;
    std::vector<double> studentized;
    sharc_mod::Outcome outcome = sharc_mod::Outcome::fitted;
};

// ---- pieces ----

TEST(MainSubPieces, ConfirmationText) {
    EXPECT_EQ(mainsub::confirmation_text("P1*EXP(-X1/P2)   "),
              "The following model was selected for analysis:\r\n\r\nY(P1,.., X1,..) = P1*EXP(-X1/P2)\r\n"
              "Is this the correct data file?");
}

TEST(MainSubPieces, AbortTextsWriteNumbersInThreeColumns) {
    EXPECT_EQ(mainsub::abort_message(mainsub::Abort::B9, 1),
              "The number of active parameter data columns in the data file\r\n"
              "must be greater than one parameter (UnMasked Parameters > 1).\r\n\r\n"
              "The function suggests only 1  P active parameter,\r\n"
              "but the data file must contain at least 2 unmasked parameters.\r\n"
              "Either add or unmask one or more parameters and rerun the model.\r\n\r\n" + closing);
    EXPECT_EQ(mainsub::abort_message(mainsub::Abort::B4, 3),
              "A numeric syntax error was identified in parameter data file.\r\n"
              "A number in row 3  is not a valid numeric value.\r\n\r\n" + closing);
    // A number that fills its three columns is still set off from the next word.
    EXPECT_NE(mainsub::abort_message(mainsub::Abort::B4, 123).find("row 123 is not"), std::string::npos);
    EXPECT_EQ(mainsub::syntax_abort_message(10, "Missing )", "P1*(X1", ""),
              "Model function syntax error number 10 \r\n\r\nMissing )\r\n\r\nLocation of error in function:\r\n"
              "y = P1*(X1\r\n____\r\n\r\n         *** RUN ABORTED! ***");
    // The marker line stands under the model line, and names the column.
    EXPECT_EQ(mainsub::syntax_abort_message(8, "Multiple operators", "P1*/X1", "___?"),
              "Model function syntax error number 8  \r\n\r\nMultiple operators\r\n\r\nLocation of error in function:\r\n"
              "y = P1*/X1\r\n_______?\r\nThe error is at character 4: \"/X1\".\r\n\r\n         *** RUN ABORTED! ***");
}

TEST(MainSubPieces, ReweightingShiftsAndClamps) {
    const std::vector<double> r = {0.5, -3.0, 12.0};
    std::vector<double> w(3);
    mainsub::reweight(r, w);
    EXPECT_EQ(w, (std::vector<double>{1.0, 3.5, 10.0}));
}

TEST(MainSubPieces, CurvesFollowX2) {
    kalvor::Matrix x(6, 2);
    const double x2[] = {1, 1, 2, 2, 3, 3};
    for (int i = 0; i < 6; ++i) x(i, 1) = x2[i];
    std::vector<int> id2(6);
    EXPECT_EQ(mainsub::assign_curves(x, 6, 2, id2), 3);
    EXPECT_EQ(id2, (std::vector<int>{1, 1, 2, 2, 3, 3}));
    // Back to the first set's X2 after a larger one: one set.
    x(5, 1) = 1;
    EXPECT_EQ(mainsub::assign_curves(x, 6, 2, id2), 1);
    EXPECT_EQ(id2, (std::vector<int>(6, 1)));
    // First two rows in different sets: one set.
    x(1, 1) = 5;
    EXPECT_EQ(mainsub::assign_curves(x, 6, 2, id2), 1);
    // One X variable: one set.
    EXPECT_EQ(mainsub::assign_curves(x, 6, 1, id2), 1);
}

TEST(MainSubPieces, NextSeriesFileStepsAllDigits) {
    EXPECT_EQ(mainsub::next_series_file("/d/SET#1.DAT"), "/d/SET#2.DAT");
    EXPECT_EQ(mainsub::next_series_file("/d/SET#9.DAT"), "/d/SET#10.DAT");
    EXPECT_EQ(mainsub::next_series_file("/d/RUNS#12.dat  "), "/d/RUNS#13.dat");
    EXPECT_EQ(mainsub::next_series_file("/d/#3/RUN#7.DAT"), "/d/#3/RUN#8.DAT");
    EXPECT_FALSE(mainsub::next_series_file("/d/RUNS.DAT"));
    EXPECT_FALSE(mainsub::next_series_file("/d/RUNS#A.DAT"));
    // A "#" in a folder name does not number the file.
    EXPECT_FALSE(mainsub::next_series_file("/d/#3/RUNS.DAT"));
}

// ---- checks and their messages ----

TEST_F(MainSubTest, ConfirmationShowsTheCleanedModel) {
    answers = {false};
    start(write_data("EXP.DAT", "y = p1*exp(-x1/p2)\n1 2\n0 0\n9 9\nT T\n1 2\n2 3\n3 4\nEND\n"));
    ASSERT_FALSE(dialogs.empty());
    EXPECT_EQ(dialogs[0].kind, DialogKind::YesNo);
    EXPECT_EQ(dialogs[0].style, appgraphics::DIALOG_INFORMATION);
    EXPECT_EQ(dialogs[0].text, "The following model was selected for analysis:\n\n"
                               "Y(P1,.., X1,..) = P1*EXP(-X1/P2)\nIs this the correct data file?");
}

TEST_F(MainSubTest, DecliningTheModelRunsNothing) {
    answers = {false};
    start(write_data("MM.DAT", example1()));
    EXPECT_EQ(globals::bcorrectmdl, 0);
    EXPECT_EQ(globals::brerun, 1);
    EXPECT_EQ(globals::bdataerror, 0);
    EXPECT_TRUE(calls.empty());
    EXPECT_FALSE(fs::exists(dir / "MM.TXT"));
    EXPECT_EQ(log_text(), "");
}

TEST_F(MainSubTest, ModelLineChecks) {
    using mainsub::Abort;
    const std::string rest = "1 2\n0 0\n9 9\nT T\n1 2\n2 3\n3 4\nEND\n";
    expect_abort("MODEL#12\n" + rest, mainsub::abort_message(Abort::A1));
    expect_abort("#12\n" + rest, mainsub::abort_message(Abort::A1));
    expect_abort("Y = P1 + P2\n" + rest, mainsub::abort_message(Abort::A1));
    expect_abort("y = P1*(X1\n" + rest, "Model function syntax error number 10\n\nMissing )\n\n"
                                        "Location of error in function:\ny = P1*(X1\n_________?\n"
                                        "The error is at character 6: \"1\".\n\n"
                                        "         *** RUN ABORTED! ***");
    EXPECT_EQ(globals::berror, 1);
    // The note after the formula becomes part of the model and fails the check.
    start(write_data("NOTE.DAT", "y = P2*X1/(P1 + X1)   <-- User-defined model\n" + rest));
    ASSERT_EQ(errors().size(), 1u);
    EXPECT_EQ(errors()[0].text.rfind("Model function syntax error number ", 0), 0u);
}

TEST_F(MainSubTest, ShapeChecksInTheirOrder) {
    using mainsub::Abort;
    const std::string model = "y = P2*X1/(P1 + X1)\n";
    const std::string rows = "1 2\n2 3\n3 4\n4 5\n5 6\n";
    expect_abort(model + "1 2\n0 0\n9 9\nT T\n1 2\n2 3\nEND\n", mainsub::abort_message(Abort::B1, 2, 2));
    expect_abort(model + "1 2\n0 0\n9 9\nF F\n" + rows + "END\n", mainsub::abort_message(Abort::B2, 2, 0));
    expect_abort(model + "1 2\n0 0\n9 9\nT T\n1 2 3\n2 3 4\n3 4 5\nEND\n", mainsub::abort_message(Abort::B3, 2));
    expect_abort(model + "1 2\n0 x\n9 9\nT T\n" + rows + "END\n",
                 mainsub::value_abort_message(Abort::B4, 3, "\"x\""));
    expect_abort(model + "1 2 3\n0 0\n9 9\nT T\n" + rows + "END\n", mainsub::abort_message(Abort::B5, 2));
    expect_abort(model + "1 2\n0 0 0\n9 9\nT T\n" + rows + "END\n", mainsub::abort_message(Abort::B6, 2));
    expect_abort(model + "1 2\n0 0\n9\nT T\n" + rows + "END\n", mainsub::abort_message(Abort::B7, 2));
    expect_abort(model + "1 2\n0 0\n9 9\nT T T\n" + rows + "END\n", mainsub::abort_message(Abort::B8, 2));
    // B10 writes the row number without blanks.
    expect_abort(model + "1 2\n0 0\n9 9\nT T\n1 2\n2 q\n3 4\nEND\n",
                 "A numeric syntax error was identified in the X vs Y data file: " + (dir / "ABORT.DAT").string() +
                     "\nA number in row 7 is not a valid numeric value.\nCannot read line 7: \"q\".\n\n" + closing);
    expect_abort("y = P2*X1/(P1 + X1) + P3\n1 2 3\n0 0 0\n9 9 9\nT F F\n" + rows + "END\n",
                 mainsub::abort_message(Abort::B9, 1));
    expect_abort("y = P2*X1/(P1 + X1) + P3\n1 2 3\n0 0 0\n9 9 9\nF F F\n" + rows + "END\n",
                 mainsub::abort_message(Abort::B2, 3, 0));
}

TEST_F(MainSubTest, ModelWithoutXVariableIsRejected) {
    // "EXP" holds an X, so the line passes as a formula; it has no X1..X3.
    expect_abort("y = P1*EXP(P2)\n1 2\n0 0\n9 9\nT T\n1\n2\n3\n4\nEND\n",
                 mainsub::abort_message(mainsub::Abort::no_x_variable));
}

TEST_F(MainSubTest, TooManyRowsAreRejectedBeforeAnythingIsCopied) {
    std::string data = "y = P2*X1/(P1 + X1)\n1 2\n0 0\n9 9\nT T\n";
    for (int i = 1; i <= 1001; ++i) data += std::to_string(i) + " " + std::to_string(i % 7) + "\n";
    common_data::npr = 7;
    common_data::pboundlo[0] = -3.0;
    expect_abort(data + "END\n", mainsub::abort_message(mainsub::Abort::too_many_rows, 1001));
    EXPECT_EQ(common_data::npr, 7);
    EXPECT_EQ(common_data::pboundlo[0], -3.0);
}

TEST_F(MainSubTest, MissingDataFileIsRejected) {
    start(dir / "NONE.DAT");
    ASSERT_EQ(errors().size(), 1u);
    EXPECT_EQ(errors()[0].text,
              "The data file could not be opened:\n" + (dir / "NONE.DAT").string() + "\n\n" + closing);
    EXPECT_EQ(globals::bdataerror, 1);
    EXPECT_TRUE(calls.empty());
}

// ---- fits ----

TEST_F(MainSubTest, FittedRunWritesReportLinesAndLog) {
    start(write_data("MM.DAT", example1()));
    EXPECT_TRUE(errors().empty());
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].level, 2);
    EXPECT_EQ(calls[0].bounded, 1);
    EXPECT_EQ(calls[0].p, (std::vector<double>{10.0, 100.0}));
    EXPECT_EQ(calls[0].sig, std::vector<double>(20, 1.0));
    EXPECT_EQ(globals::bcorrectmdl, 1);
    EXPECT_EQ(globals::bdataerror, 0);
    EXPECT_EQ(common_data::nd, 20);
    EXPECT_EQ(common_data::npr, 2);
    EXPECT_EQ(common_data::id2number, 1);
    EXPECT_EQ(common_udf::cudf.trimmed(), "P2*X1/(P1+X1)");

    // Report, summary lines and data lines; the temporary file is gone.
    EXPECT_TRUE(fs::exists(dir / "MM.TXT"));
    EXPECT_EQ(temporary_files_left(), 0);
    EXPECT_EQ(globals::output_file_name.trimmed(), (dir / "MM.TXT").string());
    EXPECT_EQ(globals::sline3[0].trimmed(), " Unweighted SSE:       Spearman r:");
    EXPECT_EQ(globals::sline3[globals::nlines3 - 3].trimmed(), "Saved in file: " + (dir / "MM.TXT").string());
    ASSERT_EQ(globals::nlines5, 21);  // the column header and 20 rows
    EXPECT_EQ(globals::sline5[1].str().substr(0, 29), "    5.00000       3.20000    ");
    // The fitted values are the model's at the final parameters.
    EXPECT_DOUBLE_EQ(common_data::ydf[0], 100.0 * 5.0 / (10.0 + 5.0));
    EXPECT_DOUBLE_EQ(common_data::yrmax, 6.0);
    EXPECT_DOUBLE_EQ(common_data::xrmax, 20.0);

    const std::string log = log_text();
    // The log's sum of squares is that of the report: unweighted, at the
    // reported parameters (the start values the scripted fit keeps).
    EXPECT_EQ(log.rfind(" " + (dir / "MM.DAT").string() + " : SSQR=  3850.9 : MIC= ", 0), 0u) << log;
    EXPECT_EQ(std::count(log.begin(), log.end(), '\n'), 1);
    EXPECT_EQ(globals::bnext, 0);
    EXPECT_EQ(globals::iexpzero, 0);
}

TEST_F(MainSubTest, FreeZeroStartValueStartsAtTinyValue) {
    start(write_data("Z.DAT", "y = P2*X1/(P1 + X1) + P3\n10 0 0\n0 0 -1\n99 999 1\nT T F\n" +
                                  std::string(example1_rows) + "END\n"));
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].p, (std::vector<double>{10.0, 1e-16, 0.0}));
}

TEST_F(MainSubTest, WeightingNoneNeverUsesOldResiduals) {
    common_data::ydr.fill(4.0);
    common_data::ydr[0] = -2.0;
    start(write_data("MM.DAT", example1()));
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].mode, 0);
    EXPECT_EQ(calls[0].sig, std::vector<double>(20, 1.0));
}

TEST_F(MainSubTest, ReweightedRunFitsTwiceWithWeightsFromTheResiduals) {
    globals::iwt = 2;
    common_data::ydr.fill(7.0);  // a previous run's residuals do not weight a Start
    studentized = {0.5, -3.0, 12.0};
    start(write_data("MM.DAT", example1()));
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[0].mode, 1);
    EXPECT_EQ(calls[0].sig, std::vector<double>(20, 1.0));
    EXPECT_EQ(calls[0].brewt, 0);
    EXPECT_EQ(calls[1].brewt, 1);
    EXPECT_EQ(calls[1].bounded, 0);
    EXPECT_EQ(calls[1].level, 2);
    // |r| + 1 shifted to a least weight of 1: 0.1 gives 1.0 as well.
    std::vector<double> w(20, 1.0);
    w[0] = 1.4;
    w[1] = 3.9;
    w[2] = 10.0;
    ASSERT_EQ(calls[1].sig.size(), 20u);
    for (int i = 0; i < 20; ++i) EXPECT_NEAR(calls[1].sig[i], w[i], 1e-12) << i;
    EXPECT_DOUBLE_EQ(common_data::ydr[1], -3.0);
}

TEST_F(MainSubTest, RestartOfAReweightedRunStartsFromItsResiduals) {
    globals::iwt = 2;
    start(write_data("MM.DAT", example1()));
    calls.clear();
    for (int i = 0; i < 20; ++i) common_data::ydr[i] = 0.0;
    common_data::ydr[4] = 2.0;
    globals::bpostrun = 1;
    globals::bcancelrun = 0;
    main_sub();
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[0].bounded, 0);
    EXPECT_DOUBLE_EQ(calls[0].sig[4], 3.0);
    EXPECT_DOUBLE_EQ(calls[0].sig[0], 1.0);
}

TEST_F(MainSubTest, DifficultRunFitsASecondTimeAtLevelThree) {
    globals::iopt = 3;
    start(write_data("MM.DAT", example1()));
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[0].level, 3);
    EXPECT_EQ(calls[0].iopt2, 3);
    EXPECT_EQ(calls[1].level, 3);
    EXPECT_EQ(calls[1].iopt, -1);
    EXPECT_EQ(calls[1].iopt2, -1);
    EXPECT_EQ(calls[1].bounded, 0);
    EXPECT_EQ(calls[1].brewt, 0);
    EXPECT_EQ(globals::iopt, 3);  // the driver restored it from the level
}

TEST_F(MainSubTest, CancelInTheFirstFitSkipsTheSecond) {
    globals::iopt = 3;
    outcome = sharc_mod::Outcome::cancelled;
    start(write_data("MM.DAT", example1()));
    EXPECT_EQ(calls.size(), 1u);
    EXPECT_EQ(globals::bcancelrun, 1);
    EXPECT_EQ(log_text(), "");  // no run-log line after Cancel
    EXPECT_EQ(temporary_files_left(), 0);
}

TEST_F(MainSubTest, DriverAbortEndsTheRunWithoutReport) {
    globals::iwt = 2;
    outcome = sharc_mod::Outcome::aborted;
    globals::sline3[0].assign("earlier run");
    start(write_data("MM.DAT", example1()));
    EXPECT_EQ(calls.size(), 1u);
    EXPECT_FALSE(fs::exists(dir / "MM.TXT"));
    EXPECT_EQ(temporary_files_left(), 0);
    EXPECT_EQ(globals::sline3[0].trimmed(), "earlier run");
    EXPECT_EQ(log_text(), "");
    EXPECT_TRUE(errors().empty());  // the driver itself told the user
}

// ---- NEXT series ----

TEST_F(MainSubTest, NextSeriesStepsFromNineToTen) {
    write_data("SET#9.DAT", example1("NEXT"));
    write_data("SET#10.DAT", example1("END"));
    start(dir / "SET#9.DAT");
    EXPECT_EQ(calls.size(), 2u);
    EXPECT_EQ(globals::input_file_name.trimmed(), (dir / "SET#10.DAT").string());
    EXPECT_TRUE(fs::exists(dir / "SET#9.TXT"));
    EXPECT_TRUE(fs::exists(dir / "SET#10.TXT"));
    std::vector<std::string> infos;
    for (const auto& d : dialogs)
        if (d.kind == DialogKind::Message && d.style == appgraphics::DIALOG_INFORMATION) infos.push_back(d.text);
    ASSERT_EQ(infos.size(), 1u);
    EXPECT_EQ(infos[0].rfind("SET#9.DAT : SSQR=  3850.9 : MIC= ", 0), 0u) << infos[0];
    EXPECT_EQ(globals::bnext, 0);
}

TEST_F(MainSubTest, NextSeriesEndsWithAMessageWhenTheNextFileIsMissing) {
    write_data("RUN#12.DAT", example1("NEXT"));
    start(dir / "RUN#12.DAT");
    EXPECT_EQ(calls.size(), 1u);
    ASSERT_FALSE(dialogs.empty());
    const auto& last = dialogs.back();
    EXPECT_EQ(last.style, appgraphics::DIALOG_INFORMATION);
    EXPECT_NE(last.text.find((dir / "RUN#13.DAT").string()), std::string::npos) << last.text;
    EXPECT_NE(last.text.find("does not exist"), std::string::npos);
    EXPECT_EQ(globals::bnext, 0);
}

TEST_F(MainSubTest, RestartDoesNotFollowNext) {
    write_data("SET#1.DAT", example1("NEXT"));
    write_data("SET#2.DAT", example1("END"));
    start(dir / "SET#1.DAT");
    globals::input_file_name = (dir / "SET#1.DAT").string();
    calls.clear();
    globals::bpostrun = 1;
    globals::bcancelrun = 0;
    main_sub();
    EXPECT_EQ(calls.size(), 1u);
    EXPECT_EQ(globals::input_file_name.trimmed(), (dir / "SET#1.DAT").string());
}

// ---- the real driver ----

TEST_F(MainSubTest, Example1FitsTheMichaelisMentenOptimum) {
    mainsub::set_fit_driver({});
    start(write_data("MM.DAT", example1()));
    EXPECT_TRUE(errors().empty());
    // Independent least-squares solution (Gauss-Newton in double precision
    // to convergence): P1 = 32.4983202, P2 = 136.9477322, SSQR 1321.9226819.
    EXPECT_NEAR(common_data::pfinal[0], 32.4983202, 2e-5);
    EXPECT_NEAR(common_data::pfinal[1], 136.9477322, 1e-4);
    EXPECT_NEAR(common_data::fssqr, 1321.9226819, 1e-5);
    EXPECT_TRUE(fs::exists(dir / "MM.TXT"));
}

// ---- the real driver with its optimiser services ----

class RealFitTest : public MainSubTest {
protected:
    void SetUp() override {
        MainSubTest::SetUp();
        mainsub::set_fit_driver({});
        cascade::install_services();
    }
    void TearDown() override {
        cascade::services() = {};
        MainSubTest::TearDown();
    }
};

// The unbounded optimum (P2 about 120 to 190, P1 below 1e-6 at weighting
// "1/Y^2") lies outside the bounds, so they bind at every level and
// weighting: the re-weighted and the Difficult second fits and a Restart
// (from the Start's parameters, at the quickest level) must keep them as
// the first fit does.
TEST_F(RealFitTest, EveryReturnedParameterKeepsItsBounds) {
    const std::vector<double> lo = {1e-6, 1.0}, hi = {1e6, 50.0};
    const fs::path path = write_data("BOUND.DAT",
                                     "y = P2*X1/(P1 + X1)\n10.  40.\n1.E-06  1.\n1.E+06  50.\nT  T\n"
                                     "5 3.2\n25 69.1\n50 90.0\n75 88.6\n100 105.0\nEND\n");
    for (int level = 1; level <= 3; ++level)
        for (int weighting = 1; weighting <= 5; ++weighting)
            for (const int restart : {0, 1}) {
                if (restart == 1 && level != 1) continue;
                globals::iopt = level;
                globals::iwt = weighting;
                globals::input_file_name = path.string();
                globals::bpostrun = restart;
                globals::bcancelrun = 0;
                main_sub();
                ASSERT_TRUE(errors().empty()) << level << weighting << restart;
                ASSERT_EQ(globals::bcancelrun, 0);
                for (std::size_t j = 0; j < lo.size(); ++j) {
                    EXPECT_GE(common_data::pfinal[j], lo[j]) << "P" << j + 1 << " " << level << weighting << restart;
                    EXPECT_LE(common_data::pfinal[j], hi[j]) << "P" << j + 1 << " " << level << weighting << restart;
                }
            }
}

// Misra1a (NIST StRD) at weighting "StdDev / Residual": the line
// "Unweighted SSE:" of the results file, the main window and the run log is
// the sum of (y - fitted y)^2 at the reported parameters, formed here, never
// below the certified least-squares minimum; the eigenvalue threshold still
// comes from the fit's weighted sum.
TEST_F(RealFitTest, UnweightedSseIsTheSumAtTheReportedParameters) {
    const std::vector<double> x = {77.6,  114.9, 141.1, 190.8, 239.9, 289.0, 332.8,
                                   378.4, 434.8, 477.3, 536.8, 593.1, 689.1, 760.0};
    const std::vector<double> y = {10.07, 14.73, 17.94, 23.93, 29.61, 35.18, 40.02,
                                   44.82, 50.76, 55.05, 61.01, 66.40, 75.47, 81.78};
    std::string data = "Y=P1*(1-EXP(-P2*X1))\n500  0.0001\n-1e+06  -1e+06\n1e+06  1e+06\nT  T\n";
    for (std::size_t i = 0; i < x.size(); ++i) data += std::to_string(x[i]) + " " + std::to_string(y[i]) + "\n";
    globals::iwt = 5;
    start(write_data("MISRA1A.DAT", data + "END\n"));
    ASSERT_TRUE(errors().empty());

    double sum = 0.0;
    for (std::size_t i = 0; i < x.size(); ++i) {
        const double r = y[i] - common_data::pfinal[0] * (1.0 - std::exp(-common_data::pfinal[1] * x[i]));
        sum += r * r;
    }
    EXPECT_GE(sum, 0.12455138894);
    const std::string printed = fortran_io::write("(1x, 1pE14.6)", {sum});
    const std::string results = file_text("MISRA1A.TXT");
    const auto label = results.find("Unweighted SSE:");
    ASSERT_NE(label, std::string::npos);
    EXPECT_EQ(results.substr(results.find('\n', label) + 1, printed.size()), printed);
    EXPECT_EQ(globals::sline3[1].str().substr(0, printed.size()), printed);
    const std::string log = log_text();
    std::string logged, ssqr;
    std::istringstream(log.substr(log.find("SSQR=") + 5)) >> logged;
    std::istringstream(fortran_io::write("(1p,G11.5)", {sum})) >> ssqr;
    EXPECT_EQ(logged, ssqr) << log;

    const double weighted = common_data::fssqr;
    EXPECT_GT(std::fabs(weighted - sum), 1e-3);  // the weighting counts
    const std::string threshold = fortran_io::write("(1pE8.2)", {0.01 * std::sqrt(weighted / 16.0)});
    EXPECT_NE(results.find("Eigenvalues values < " + threshold), std::string::npos) << results;
}

}  // namespace
