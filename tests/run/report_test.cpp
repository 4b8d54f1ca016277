// Results report: layout against golden files written by an independent
// program (tests/run/golden/report_layout.f90 from the statistics of
// report_stats.py), the report's own statistics and the files it writes.

#include "run/report.h"
#include "run/textfile.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "model/globals.h"
#include "run_files_fixture.h"

namespace {

namespace fs = std::filesystem;

const fs::path golden_dir = fs::path(KALVOR_SOURCE_DIR) / "tests/run/golden";

// The fixed fit of tests/run/golden/report_stats.py.
report::FitSummary golden_fit() {
    report::FitSummary f;
    f.n = 8;
    f.npar = 3;
    f.nx = 1;
    f.mask = {1, 1, 0};
    f.p = {0.06412, 212.6837, 0.0};
    f.se = {0.00643, 6.94716, 0.0};
    f.half_width = {0.01653, 17.8600, 0.0};
    f.corr = kalvor::Matrix(3, 3);
    f.corr(0, 0) = f.corr(1, 1) = 1.0;
    f.corr(0, 1) = f.corr(1, 0) = 0.7651;
    f.influence = kalvor::Matrix(3, 3);
    f.influence(0, 0) = f.influence(1, 1) = 62.5;
    f.influence(0, 1) = f.influence(1, 0) = 37.5;
    f.eigenvalues = {1.7651, -0.2349, 0.0};
    f.runs.npos = 4;
    f.runs.nneg = 3;
    f.runs.nzero = 0;
    f.runs.lup = 2;
    f.runs.ldown = 3;
    f.runs.table[0] = 2.0;
    f.runs.table[1] = 1.0;
    f.runs.table[2] = 1.0;
    f.runs.z[0] = -1.234;
    f.runs.z[1] = 2.58;    // above the single-precision bound: FAIL
    f.runs.z[2] = 2.5799;  // below it: PASS
    const double x[] = {0.02, 0.06, 0.11, 0.22, 0.56, 1.10, 2.00, 3.50};
    f.x = kalvor::Matrix(8, 1);
    for (int i = 0; i < 8; ++i) f.x(i, 0) = x[i];
    f.y = {76.0, 97.0, 123.0, 159.0, 191.0, 207.0, 201.0, 139.0};
    f.yfit = {47.2, 95.1, 130.5, 160.8, 188.0, 199.1, 205.0, 210.3};
    f.w = {1.0, 1.0, 2.5, 1.0, 3.0, 1.0, 1.0, 1.0};
    f.studres = {1.95, 0.12, -0.83, -0.11, 0.26, 0.64, -0.31, -2.9};
    f.sse = 1321.9227;
    f.model = "P2*X1/(P1+X1)+P3";
    return f;
}

std::vector<std::string> trimmed_lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        line.erase(line.find_last_not_of(' ') + 1);
        lines.push_back(line);
    }
    return lines;
}

std::string read_text(const fs::path& path) {
    std::ifstream in(path);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

void expect_same_lines(const std::string& actual, const fs::path& golden) {
    const auto want = trimmed_lines(read_text(golden));
    const auto got = trimmed_lines(actual);
    ASSERT_FALSE(want.empty()) << golden;
    for (std::size_t i = 0; i < std::max(want.size(), got.size()); ++i) {
        EXPECT_EQ(i < got.size() ? got[i] : "<missing>", i < want.size() ? want[i] : "<extra>")
            << "line " << i + 1 << " of " << golden.filename();
    }
}

TEST(ReportStatistics, MatchTheIndependentCalculation) {
    const auto st = report::compute_statistics(golden_fit());
    EXPECT_NEAR(st.spearman, 0.7380952380952381, 1e-12);
    EXPECT_NEAR(st.mic, 3.597236882516696, 1e-9);
    EXPECT_NEAR(st.tau, 2.0884769927531694, 1e-6);
    EXPECT_NEAR(st.pvalue[0], 2.9426508516006145e-05, 1e-9);
    EXPECT_NEAR(st.pvalue[1], 4.0312237326034506e-08, 1e-11);
    EXPECT_NEAR(st.threshold, 0.01 * std::sqrt(1321.9227 / 10.0), 1e-15);
    const std::vector<report::RowMark> marks = {report::RowMark::suspect, report::RowMark::none,
                                                report::RowMark::none,    report::RowMark::none,
                                                report::RowMark::none,    report::RowMark::none,
                                                report::RowMark::none,    report::RowMark::influential};
    EXPECT_EQ(st.marks, marks);
}

// The second fit of report_stats.py: P3 is not significant (the MIC counts
// it), three rows carry weights of 2 and more, and Peirce's criterion needs
// three passes to mark its rows.
report::FitSummary second_fit() {
    report::FitSummary f;
    f.n = 12;
    f.npar = 4;
    f.mask = {1, 1, 1, 0};
    f.p = {2.5, -0.8, 0.35, 1.0};
    f.se = {0.4, 0.05, 0.5, 0.0};
    f.x = kalvor::Matrix(12, 1);
    for (int i = 0; i < 12; ++i) f.x(i, 0) = i + 1.0;
    f.y = {3.1, 4.0, 4.6, 6.3, 6.9, 8.2, 8.0, 10.4, 10.9, 12.3, 13.0, 13.8};
    f.yfit = {3.0, 4.1, 5.0, 6.0, 7.1, 8.0, 9.0, 10.0, 11.1, 12.0, 13.1, 14.0};
    f.w = {1.0, 2.0, 1.0, 1.0, 4.0, 1.0, 1.0, 1.0, 1.0, 2.5, 1.0, 1.0};
    f.studres = {0.3, -0.2, -2.9, 0.9, -0.4, 0.6, -0.5, 1.9, -0.3, 0.8, -0.2, -1.75};
    f.sse = 0.98;
    return f;
}

TEST(ReportStatistics, SecondFitReachesTheMicCountPeircePassesAndInfluence) {
    const auto st = report::compute_statistics(second_fit());
    EXPECT_NEAR(st.spearman, 0.993006993006993, 1e-12);
    EXPECT_NEAR(st.pvalue[2], 0.25080951960807296, 1e-7);
    EXPECT_NEAR(st.pvalue[0], 7.48171817598342e-05, 1e-9);
    EXPECT_NEAR(st.mic, -0.5137350762178583, 1e-9);
    EXPECT_NEAR(st.tau, 2.385896811456926, 1e-6);
    EXPECT_NEAR(st.threshold, 0.002556038601690775, 1e-15);
    std::vector<report::RowMark> marks(12, report::RowMark::none);
    marks[2] = report::RowMark::influential;
    marks[7] = marks[11] = report::RowMark::suspect;
    EXPECT_EQ(st.marks, marks);
}

TEST(ReportLayout, ResultsFileMatchesGolden) {
    const auto fit = golden_fit();
    const auto text = report::format_report(fit, report::compute_statistics(fit), report::Layout::results_file,
                                            "Sat Jan 13 10:20:30 2024");
    expect_same_lines(text, golden_dir / "report_results.txt");
}

TEST(ReportLayout, TemporaryFileMatchesGolden) {
    const auto fit = golden_fit();
    const auto text = report::format_report(fit, report::compute_statistics(fit), report::Layout::temporary_file);
    expect_same_lines(text, golden_dir / "report_tempor.txt");
}

TEST(ReportLayout, SmallNegativeSpearmanIsPrintedNotStarred) {
    const auto fit = golden_fit();
    auto st = report::compute_statistics(fit);
    st.spearman = -0.0123;
    const auto lines = trimmed_lines(report::format_report(fit, st, report::Layout::temporary_file));
    EXPECT_EQ(lines[2], "   6.063640E+03   -.123000E-01");
}

TEST(ReportLayout, PerfectFitPrintsTheMicFloorValue) {
    auto fit = golden_fit();
    fit.yfit = fit.y;
    const auto st = report::compute_statistics(fit);
    EXPECT_EQ(st.mic, report::mic_perfect);
    const auto lines = trimmed_lines(report::format_report(fit, st, report::Layout::temporary_file));
    EXPECT_EQ(lines[4], "    -4.5036E+19");
}

TEST(ReportStatistics, MicZeroTestUsesTheSquaredResiduals) {
    // Residuals +5 and -5 cancel in their sum, yet the fit is not perfect.
    auto fit = golden_fit();
    fit.yfit = fit.y;
    fit.yfit[0] -= 5.0;
    fit.yfit[1] += 5.0;
    const double mic = report::compute_statistics(fit).mic;
    EXPECT_NE(mic, report::mic_perfect);
    EXPECT_TRUE(std::isfinite(mic));
}

TEST(ReportStatistics, SaturatedFitStillHasATau) {
    // As many rows as parameters: tau is taken with one degree of freedom
    // instead of none, so small residuals are not all marked influential.
    auto fit = golden_fit();
    fit.n = 3;
    fit.y.resize(3);
    fit.yfit.resize(3);
    fit.w.resize(3);
    fit.studres = {0.5, -0.5, 0.25};
    const auto st = report::compute_statistics(fit);
    EXPECT_DOUBLE_EQ(st.tau, 1.0);
    for (const auto mark : st.marks) EXPECT_NE(mark, report::RowMark::influential);
}

TEST(ReportStatistics, PeirceMarksNothingInCleanResiduals) {
    const std::vector<double> r = {0.1, -0.1, 0.1, -0.1, 0.1, -0.1};
    for (const bool s : report::peirce_suspects(r, 6, 2)) EXPECT_FALSE(s);
}

TEST(ReportFiles, ResultsFileName) {
    EXPECT_EQ(report::results_file_name("/runs/TEST.DAT"), "/runs/TEST.TXT");
    EXPECT_EQ(report::results_file_name("/runs/a.DAT.b.DAT   "), "/runs/a.DAT.b.TXT");
    EXPECT_EQ(report::results_file_name("/runs/test.dat"), "/runs/test.txt");
    EXPECT_EQ(report::results_file_name("/runs/test"), "/runs/test.TXT");
    EXPECT_EQ(report::results_file_name("/runs/proj.dat/test"), "/runs/proj.dat/test.TXT");
    EXPECT_EQ(report::results_file_name("/runs/proj.DAT/test.txt"), "/runs/proj.DAT/test.txt.TXT");
}

using ReportFilesTest = RunFilesTest;

TEST_F(ReportFilesTest, WritesBothFilesAndTheResidualPlotData) {
    globals::input_file_name = (dir / "MM.DAT").string();
    const auto fit = golden_fit();
    report::ReportStatistics st;
    textfile::Temporary temporary;
    ASSERT_TRUE(report::write_report(fit, st, temporary));
    EXPECT_TRUE(dialogs.empty());
    EXPECT_EQ(globals::output_file_name.trimmed(), (dir / "MM.TXT").string());
    EXPECT_EQ(temporary.path().parent_path(), dir);
    expect_same_lines(read_text(temporary.path()), golden_dir / "report_tempor.txt");
    const auto results = trimmed_lines(read_text(dir / "MM.TXT"));
    const auto golden = trimmed_lines(read_text(golden_dir / "report_results.txt"));
    ASSERT_EQ(results.size(), golden.size());
    EXPECT_EQ(results[0].substr(0, 7), " DATE: ");
    for (std::size_t i = 1; i < golden.size(); ++i) EXPECT_EQ(results[i], golden[i]) << "line " << i + 1;

    EXPECT_DOUBLE_EQ(common_data::ctau, st.tau);
    EXPECT_EQ(common_data::nd, 8);
    EXPECT_DOUBLE_EQ(common_data::xdr[7], 8.0);
    EXPECT_DOUBLE_EQ(common_data::xmin0, 0.02);
    EXPECT_DOUBLE_EQ(common_data::xdl[0], std::log10(0.02));
    EXPECT_DOUBLE_EQ(common_data::ydf[7], 210.3);
    // Limits the residuals window reads: rows 0..n on x, -6..6 on y.
    EXPECT_DOUBLE_EQ(common_data::xrmin, 0.0);
    EXPECT_DOUBLE_EQ(common_data::xrmax, 8.0);
    EXPECT_DOUBLE_EQ(common_data::xrmin1, 0.0);
    EXPECT_DOUBLE_EQ(common_data::xrmax1, 8.0);
    EXPECT_DOUBLE_EQ(common_data::yrmin, -6.0);
    EXPECT_DOUBLE_EQ(common_data::yrmax, 6.0);
    EXPECT_EQ(common_data::resxaxislable, (std::array<double, 2>{0.0, 8.0}));
    EXPECT_EQ(common_data::resyaxislable, (std::array<double, 2>{-6.0, 6.0}));
}

TEST_F(ReportFilesTest, UnwritableResultsFileAbortsAndLeavesNoTemporaryFile) {
    globals::input_file_name = (dir / "missing-folder" / "MM.DAT").string();
    report::ReportStatistics st;
    textfile::Temporary temporary;
    EXPECT_FALSE(report::write_report(golden_fit(), st, temporary));
    EXPECT_EQ(globals::bdataerror, 1);
    EXPECT_TRUE(temporary.path().empty());
    EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 1);  // the run log alone
    ASSERT_EQ(dialogs.size(), 1u);
    EXPECT_EQ(dialogs[0].style, appgraphics::DIALOG_ERROR);
    EXPECT_EQ(shown(dialogs[0].text), "There is an error in writing to data file #2.\nFile: " +
                                          (dir / "missing-folder" / "MM.TXT").string() +
                                          "\nReason: No such file or directory.\n\n" + std::string(30, ' ') +
                                          "*** RUN ABORTED! ***");
}

TEST_F(ReportFilesTest, UnwritableTemporaryFileAborts) {
    globals::cwd = (dir / "missing-folder").string() + "/";
    globals::input_file_name = (dir / "MM.DAT").string();
    report::ReportStatistics st;
    textfile::Temporary temporary;
    EXPECT_FALSE(report::write_report(golden_fit(), st, temporary));
    EXPECT_EQ(globals::bdataerror, 1);
    ASSERT_EQ(dialogs.size(), 1u);
    EXPECT_NE(dialogs[0].text.find("data file #1."), std::string::npos);
    EXPECT_NE(dialogs[0].text.find("File: " + (dir / "missing-folder" / "tempor*.txt").string()), std::string::npos);
    EXPECT_FALSE(fs::exists(dir / "MM.TXT"));
}

}  // namespace
