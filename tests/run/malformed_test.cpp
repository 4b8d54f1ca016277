// Malformed data files (tests/data/malformed) run through Start with the
// real driver: each either fits on all of its rows or ends with a message
// that names its fault, never with a silent wrong fit.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "model/globals.h"
#include "run/main_sub.h"
#include "run/sharc.h"
#include "shell/helptexts.h"
#include "run_files_fixture.h"

namespace {

namespace fs = std::filesystem;
using mainsub::Abort;

// Least-squares optimum of the Michaelis-Menten example rows (Gauss-Newton in
// double precision to convergence).
constexpr double example_ssqr = 1321.9226819;

class MalformedFileTest : public RunFilesTest {
protected:
    void SetUp() override {
        RunFilesTest::SetUp();
        globals::iopt = 2;
        globals::iwt = 1;
        mainsub::set_fit_driver([this](sharc_mod::SharcArgs& a) {
            ++fits;
            rows = a.n;
            first_y = a.n > 0 ? a.y[0] : 0.0;
            x.resize(static_cast<std::size_t>(a.n));
            for (int i = 0; i < a.n; ++i) x[i] = a.x(i, 0);
            y = a.y;
            return sharc_mod::sharc(a);
        });
    }
    void TearDown() override {
        mainsub::set_fit_driver({});
        RunFilesTest::TearDown();
    }

    // Starts a run of the malformed file name, copied into the test folder.
    void start(const std::string& name) {
        const fs::path source = fs::path(KALVOR_SOURCE_DIR) / "tests/data/malformed" / name;
        data = dir / "RUN.DAT";
        fs::copy_file(source, data, fs::copy_options::overwrite_existing);
        globals::input_file_name = data.string();
        globals::bpostrun = 0;
        globals::bcancelrun = 0;
        main_sub();
    }

    // A Restart of the data file last started.
    void restart() {
        globals::bpostrun = 1;
        globals::bcancelrun = 0;
        main_sub();
    }

    // Sum of squared residuals of model at the fitted parameters over the
    // rows of the last fit.
    template <class Model>
    double sse_at_fit(Model model) const {
        double sum = 0.0;
        for (std::size_t i = 0; i < x.size(); ++i) {
            const double r = y[i] - model(x[i], common_data::pfinal.data());
            sum += r * r;
        }
        return sum;
    }

    // The single error shown, as the dialog shows it.
    std::string error() const {
        const auto shown_errors = errors();
        EXPECT_EQ(shown_errors.size(), 1u);
        return shown_errors.empty() ? std::string() : shown_errors[0].text;
    }

    // Expects a rejection with exactly message before any fit.
    void expect_refused(const std::string& name, const std::string& message) {
        SCOPED_TRACE(name);
        start(name);
        EXPECT_EQ(error(), shown(message));
        EXPECT_EQ(globals::bdataerror, 1);
        EXPECT_EQ(fits, 0);
        EXPECT_FALSE(fs::exists(dir / "RUN.TXT"));
    }

    // Expects the Example 1 fit on all of its 20 rows.
    void expect_example_fit(const std::string& name) {
        SCOPED_TRACE(name);
        start(name);
        EXPECT_TRUE(errors().empty());
        EXPECT_EQ(fits, 1);
        EXPECT_EQ(rows, 20);
        EXPECT_EQ(first_y, 3.2);
        EXPECT_NEAR(common_data::fssqr, example_ssqr, 1e-5);
    }

    std::string results() const { return file_text("RUN.TXT"); }

    fs::path data;
    int fits = 0;
    int rows = 0;
    double first_y = 0.0;
    std::vector<double> x, y;  // X1 and Y of the last fit
};

TEST_F(MalformedFileTest, RepeatCountsAfterACommentAreNotRead) {
    // Seven million repeated values after "!" on the first row.
    expect_example_fit("comment_tail.dat");
}

TEST_F(MalformedFileTest, RepeatCountBeyondTheRowIsRefusedWithItsLine) {
    expect_refused("repeat_count.dat",
                   mainsub::row_abort_message((dir / "RUN.DAT").string(), 7,
                                              "a repeat count (r*) beyond the values wanted, or a quote, after 0 values"));
}

TEST_F(MalformedFileTest, NoteHoldingEndKeepsEveryRow) { expect_example_fit("note_trend.dat"); }

TEST_F(MalformedFileTest, NanStartValueNamesItsLineAndValue) {
    expect_refused("nan_start.dat", mainsub::value_abort_message(Abort::B4, 2, "\"NaN\""));
}

TEST_F(MalformedFileTest, BlankLineInsideTheDataIsToldInTheConfirmation) {
    start("blank_inside.dat");
    ASSERT_FALSE(dialogs.empty());
    EXPECT_EQ(dialogs[0].kind, appgraphics::DialogKind::YesNo);
    EXPECT_NE(dialogs[0].text.find(shown(mainsub::rows_left_note(5, 11))), std::string::npos) << dialogs[0].text;
    // The blank line still ends the data.
    EXPECT_EQ(rows, 5);
    // A file whose blank line ends it has nothing to tell.
    dialogs.clear();
    start("note_trend.dat");
    ASSERT_FALSE(dialogs.empty());
    EXPECT_EQ(dialogs[0].text.find("were not read"), std::string::npos);
}

TEST_F(MalformedFileTest, ReversedBoundsAreRefusedBeforeTheFit) {
    expect_refused("reversed_bounds.dat", mainsub::bounds_abort_message(2, 200.0, 100.0));
    EXPECT_EQ(error(), shown("The lower bound of P2 (200.00) is above its upper bound (100.00).\n\n"
                             "Please correct the bounds of P2 in the data file and rerun the model.\n\n" +
                             std::string(30, ' ') + "*** RUN ABORTED! ***"));
}

TEST_F(MalformedFileTest, EqualBoundsHoldTheirParameterAndKeepTheOtherBounds) {
    // P1 in [10, 10] and P4 in [0, 0], all four marked free; P2 in [1, 50]
    // would end near 234 and P4 near -32 without bounds.
    start("equal_bounds.dat");
    EXPECT_TRUE(errors().empty());
    EXPECT_EQ(fits, 1);
    EXPECT_EQ(common_data::pfinal[0], 10.0);
    EXPECT_EQ(common_data::pfinal[3], 0.0);
    EXPECT_EQ(common_data::pmask[0], 0);
    EXPECT_EQ(common_data::pmask[3], 0);
    EXPECT_GE(common_data::pfinal[1], 1.0);
    EXPECT_LE(common_data::pfinal[1], 50.0);
    EXPECT_GE(common_data::pfinal[2], -1.0);
    EXPECT_LE(common_data::pfinal[2], 1.0);
    // Both are reported held: "[Masked]" for their standard error, two
    // confidence limits and p-value.
    std::size_t masked = 0;
    for (auto at = results().find("[Masked]"); at != std::string::npos; at = results().find("[Masked]", at + 1)) ++masked;
    EXPECT_EQ(masked, 8u);
}

TEST_F(MalformedFileTest, ModelWithoutAValueOnAnyRowEndsTheRun) {
    for (const char* name : {"asin_every_row.dat", "sinh_infinite.dat"}) {
        SCOPED_TRACE(name);
        dialogs.clear();
        start(name);
        EXPECT_EQ(error(), shown(mainsub::unevaluable_abort_message(20)));
        EXPECT_EQ(globals::bcancelrun, 1);
        EXPECT_LT(common_data::fssqr, 0.0);
        EXPECT_FALSE(fs::exists(dir / "RUN.TXT"));
    }
}

TEST_F(MalformedFileTest, RowsWithoutAModelValueAreCountedInTheResults) {
    // ASIN(X1/60) has no value on the rows X1 = 65..100, whatever the fit.
    start("asin_some_rows.dat");
    EXPECT_TRUE(errors().empty());
    EXPECT_NE(results().find("WARNING: the model has no value (NaN, infinite or outside a function's domain) "
                             "on 8 of the 20 data rows."),
              std::string::npos)
        << results();
    // The main window's summary says it too.
    bool summarised = false;
    for (int i = 0; i < globals::nlines3; ++i) summarised |= globals::sline3[i].str().find("on 8 of the 20") != std::string::npos;
    EXPECT_TRUE(summarised);
    // A model with a value on every row has no such line.
    start("note_trend.dat");
    EXPECT_EQ(results().find("WARNING"), std::string::npos);
}

TEST_F(MalformedFileTest, NullValuesAreRefusedWithTheirLine) {
    const std::string empty = "an empty value between two commas";
    expect_refused("null_row.dat", mainsub::row_abort_message((dir / "RUN.DAT").string(), 8, empty));
    dialogs.clear();
    globals::bdataerror = 0;
    expect_refused("null_start.dat", mainsub::value_abort_message(Abort::B4, 2, empty));
}

TEST_F(MalformedFileTest, NamesBeyondP8AndX3AreExplained) {
    for (const char* name : {"p9_model.dat", "x4_model.dat"}) {
        SCOPED_TRACE(name);
        dialogs.clear();
        start(name);
        const std::string text = error();
        EXPECT_EQ(text.rfind("Model function syntax error number 15", 0), 0u) << text;
        EXPECT_NE(text.find("the model allows the parameters P1 to P8 and the variables X1 to X3"), std::string::npos);
        EXPECT_EQ(fits, 0);
    }
}

TEST_F(MalformedFileTest, OverlongLinesAreRefusedWithTheirLine) {
    // "y = P2*X1/(P1 + X1)" and 80 times " + 0*X1".
    expect_refused("long_model.dat", mainsub::abort_message(Abort::line_too_long, 1));
    dialogs.clear();
    globals::bdataerror = 0;
    expect_refused("long_line.dat", mainsub::abort_message(Abort::line_too_long, 8));
    // A file without line ends that never ends: the reading stops at the width.
    dialogs.clear();
    globals::bdataerror = 0;
    const fs::path link = dir / "ZERO.DAT";
    fs::create_symlink("/dev/zero", link);
    globals::input_file_name = link.string();
    main_sub();
    EXPECT_EQ(error(), shown(mainsub::abort_message(Abort::line_too_long, 1)));
    EXPECT_EQ(fits, 0);
}

TEST_F(MalformedFileTest, FaultsOfRowsAndParameterLinesAreToldWithTheirLine) {
    const std::string data = (dir / "RUN.DAT").string();
    const struct {
        const char* file;
        std::string message;
    } cases[] = {
        {"decimal_comma.dat", mainsub::row_width_abort_message(7, 3, 1, "15,9")},
        {"extra_value.dat", mainsub::row_width_abort_message(10, 3, 1)},
        {"missing_value.dat", mainsub::row_width_abort_message(12, 1, 1)},
        {"numeric_masks.dat", mainsub::mask_abort_message(5, 2, "\"1\"")},
        {"yes_masks.dat", mainsub::mask_abort_message(5, 2, "\"YES\"")},
        {"blank_parameters.dat", mainsub::abort_message(Abort::no_parameter_lines, 2)},
        {"nul_line.dat", mainsub::row_abort_message(data, 12, "a value holding the control character of code 0")},
        {"bad_value_late.dat", mainsub::value_abort_message(Abort::B11, 1003, "\"9x.1\"")},
    };
    for (const auto& c : cases) {
        dialogs.clear();
        globals::bdataerror = 0;
        expect_refused(c.file, c.message);
        // No confirmation tells of rows left unread.
        for (const auto& d : dialogs) EXPECT_EQ(d.text.find("were not read"), std::string::npos) << c.file;
    }
    EXPECT_NE(mainsub::row_width_abort_message(7, 3, 1, "15,9")
                  .find("The decimal separator is a point: \"15,9\" is read as two values; write 15.9."),
              std::string::npos);
    EXPECT_NE(mainsub::value_abort_message(Abort::B11, 1003, "\"9x.1\"").find("A number in row 1003 is not"),
              std::string::npos);
}

TEST_F(MalformedFileTest, SyntaxErrorMarkerStandsUnderTheFault) {
    start("syntax_error.dat");
    // y = P2*X1/(P1*/X1): the second of the two operators is the fault.
    const std::string text = error();
    EXPECT_NE(text.find("\ny = P2*X1/(P1*/X1)\n" + std::string(4 + 10, '_') + "?\n"
                        "The error is at character 11: \"/X1)\".\n"),
              std::string::npos)
        << text;
    EXPECT_EQ(fits, 0);
}

TEST_F(MalformedFileTest, CarriageReturnsAloneEndTheLines) { expect_example_fit("cr_line_ends.dat"); }

TEST_F(MalformedFileTest, MaximumOperatorOnTheModelLineIsFitted) {
    // "!" is the maximum and binds tightest; at the fitted parameters the
    // maximum takes its constant on some rows, so the plain model differs.
    using Model = double (*)(double, const double*);
    const struct {
        const char* file;
        Model model;
    } cases[] = {
        {"max_operator.dat", [](double x, const double* p) { return p[1] * x / std::max(p[0] + x, 40.0); }},
        {"max_in_brackets.dat",
         [](double x, const double* p) { return p[1] * std::max(x, 20.0) / (p[0] + std::max(x, 20.0)); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        dialogs.clear();
        fits = 0;
        start(c.file);
        EXPECT_TRUE(errors().empty());
        ASSERT_EQ(fits, 1);
        EXPECT_EQ(rows, 20);
        int capped = 0;
        for (const double xi : x) {
            const double* p = common_data::pfinal.data();
            capped += c.model(xi, p) != p[1] * xi / (p[0] + xi) ? 1 : 0;
        }
        EXPECT_GT(capped, 0);
        const double sse = sse_at_fit(c.model);
        EXPECT_NEAR(common_data::fssqr, sse, 1e-9 * sse);
    }
}

TEST_F(MalformedFileTest, LinesPastTheDataBlockAreNotHeldToTheLineWidth) {
    // Notes of 600 characters after END, on the END line and after a blank
    // line that ends the block.
    for (const char* name : {"note_after_end.dat", "long_end_line.dat", "note_after_blank.dat"}) {
        dialogs.clear();
        fits = 0;
        expect_example_fit(name);
    }
}

TEST_F(MalformedFileTest, HeldParameterKeepsItsValueWhateverItsBounds) {
    // P3 held at 0.5 with bounds 0 and 0, at Start and at a Restart.
    const auto expect_held = [this] {
        EXPECT_TRUE(errors().empty());
        EXPECT_EQ(common_data::pfinal[2], 0.5);
        EXPECT_EQ(common_data::pmask[2], 0);
        const double sse = sse_at_fit([](double x, const double* p) { return p[1] * x / (p[0] + x) + 0.5; });
        EXPECT_NEAR(common_data::fssqr, sse, 1e-9 * sse);
    };
    start("held_equal_bounds.dat");
    expect_held();
    restart();
    expect_held();
    EXPECT_EQ(fits, 2);
    // Marked free, P3 is pinned by its equal bounds, at a Restart as at Start.
    std::string text = file_text("RUN.DAT");
    text.replace(text.find("FALSE"), 5, "TRUE");
    std::ofstream(data, std::ios::binary) << text;
    restart();
    EXPECT_TRUE(errors().empty());
    EXPECT_EQ(common_data::pfinal[2], 0.0);
    EXPECT_EQ(common_data::pmask[2], 0);
}

TEST_F(MalformedFileTest, HelpExampleCopiedFits) {
    std::ofstream(dir / "HELP.DAT", std::ios::binary) << helptexts::example1().body;
    globals::input_file_name = (dir / "HELP.DAT").string();
    main_sub();
    EXPECT_TRUE(errors().empty());
    EXPECT_EQ(rows, 20);
    EXPECT_NEAR(common_data::fssqr, example_ssqr, 1e-5);
}

TEST_F(MalformedFileTest, BlankLinesBeforeTheModelLineAreSkipped) { expect_example_fit("leading_blanks.dat"); }

TEST_F(MalformedFileTest, FileOfBlankLinesHasNoModelLine) {
    expect_refused("all_blank.dat", mainsub::abort_message(Abort::no_model_line));
}

TEST_F(MalformedFileTest, HugeResidualEndsEveryWeightingWithTheDriversMessage) {
    // One Y of 2e154: its square overflows, under robust weighting the bin
    // median's spread too.  Every weighting ends the run with the driver's
    // own message.
    for (int weighting = 1; weighting <= 5; ++weighting) {
        SCOPED_TRACE(weighting);
        dialogs.clear();
        globals::iwt = weighting;
        start("huge_residual.dat");
        EXPECT_EQ(error(), shown(sharc_mod::abort_message()));
        EXPECT_LT(common_data::fssqr, 0.0);
        EXPECT_FALSE(fs::exists(dir / "RUN.TXT"));
    }
}

}  // namespace
