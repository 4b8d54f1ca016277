// Output lines, status text and run log: the temporary report read back
// into the main window's lines, the plausibility guard, the deletion of the
// temporary file on every path, and the run-log line.

#include "run/outlines.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "model/globals.h"
#include "run_files_fixture.h"

namespace {

namespace fs = std::filesystem;

const fs::path golden_tempor = fs::path(KALVOR_SOURCE_DIR) / "tests/run/golden/report_tempor.txt";

class OutlinesTest : public RunFilesTest {
protected:
    void SetUp() override {
        RunFilesTest::SetUp();
        temporary = dir / "tempor.txt";
    }
    // Rows of the golden fit (8 rows, 3 parameters of which one is fixed).
    const std::vector<double> y = {76.0, 97.0, 123.0, 159.0, 191.0, 207.0, 201.0, 139.0};
    const std::vector<double> yfit = {47.2, 95.1, 130.5, 160.8, 188.0, 199.1, 205.0, 210.3};
    fs::path temporary;
};

TEST_F(OutlinesTest, ReadsTheSummaryAndTheDataRowsBack) {
    fs::copy_file(golden_tempor, temporary);
    globals::output_file_name.assign("/data/TEST.TXT");
    ASSERT_TRUE(outlines::read_back(temporary, 8, 3, 1, y, yfit, "Sat Jan 13 10:20:30 2024      "));
    EXPECT_TRUE(dialogs.empty());
    EXPECT_FALSE(fs::exists(temporary));

    // The summary runs from the first heading to the runs-test table.
    EXPECT_EQ(globals::sline3[0].trimmed(), " Unweighted SSE:       Spearman r:");
    EXPECT_EQ(globals::sline3[1].trimmed(), "   6.063640E+03   0.738095");
    const int n3 = globals::nlines3;
    ASSERT_GE(n3, 4);
    EXPECT_EQ(globals::sline3[n3 - 4].trimmed(), "      3                 1.         2.580       PASS");
    EXPECT_EQ(globals::sline3[n3 - 3].trimmed(), "Saved in file: /data/TEST.TXT");
    EXPECT_EQ(globals::sline3[n3 - 2].trimmed(), "");
    EXPECT_EQ(globals::sline3[n3 - 1].trimmed(), "Date Saved: Sat Jan 13 10:20:30 2024");

    // The column header of one x column, then the data rows.
    ASSERT_EQ(globals::nlines5, 9);
    EXPECT_EQ(globals::sline5[0].trimmed(), "      X1           Y            Ycalc        |Residual| > Tau= 2.088");
    EXPECT_EQ(globals::sline5[1].trimmed(), "   2.000000E-02   76.0000       47.2000       1.95000         [Suspect]");
    EXPECT_EQ(globals::sline5[8].trimmed(), "    3.50000       139.000       210.300      -2.90000     [Influential]");
}

TEST_F(OutlinesTest, LongSummaryIsCutAtFiftyNineLines) {
    {
        std::ofstream out(temporary);
        out << "\n";
        for (int i = 1; i <= 70; ++i) out << " line " << i << "\n";
        out << " NUMBER OF POSITIVE RESIDUALS   =     4\n";
    }
    globals::output_file_name.assign("/data/TEST.TXT");
    ASSERT_TRUE(outlines::read_back(temporary, 8, 3, 1, y, yfit, "today"));
    EXPECT_EQ(globals::nlines3, 62);
    EXPECT_EQ(globals::sline3[58].trimmed(), " line 59");
    EXPECT_EQ(globals::sline3[59].trimmed(), "Saved in file: /data/TEST.TXT");
    EXPECT_EQ(globals::sline3[61].trimmed(), "Date Saved: today");
    EXPECT_EQ(globals::nlines5, 0);
}

TEST_F(OutlinesTest, PerfectFitWithoutRandomnessIsRejected) {
    fs::copy_file(golden_tempor, temporary);
    globals::sline3[0].assign("previous summary");
    globals::nlines3 = 1;
    const std::vector<double> rows = {1.0, 2.0, 3.0};
    EXPECT_FALSE(outlines::read_back(temporary, 3, 2, 0, rows, rows, "today"));
    EXPECT_EQ(globals::bdataerror, 1);
    EXPECT_FALSE(fs::exists(temporary));
    EXPECT_EQ(globals::sline3[0].trimmed(), "previous summary");
    EXPECT_EQ(globals::nlines3, 1);
    ASSERT_EQ(dialogs.size(), 1u);
    EXPECT_EQ(dialogs[0].style, appgraphics::DIALOG_ERROR);
    EXPECT_EQ(dialogs[0].text,
              "There was an error in calculating the results.\nThe data lacks randomness and the\n"
              "number of data points minus number of parameters < 3.\n\nAdd more X,Y data points and rerun.\n\n" +
                  std::string(30, ' ') + "*** RUN ABORTED! ***");
}

TEST_F(OutlinesTest, PlausibilityNeedsBothFewDegreesAndAZeroSum) {
    const std::vector<double> rows = {1.0, 2.0, 3.0};
    const std::vector<double> off = {1.0, 2.0, 3.5};
    EXPECT_FALSE(outlines::plausible_fit(3, 2, 0, rows, rows));
    EXPECT_TRUE(outlines::plausible_fit(3, 2, 0, rows, off));
    const std::vector<double> four = {1.0, 2.0, 3.0, 4.0};
    EXPECT_FALSE(outlines::plausible_fit(4, 2, 0, four, four));
    EXPECT_TRUE(outlines::plausible_fit(4, 2, 1, four, four));  // a fixed parameter adds a degree
}

TEST_F(OutlinesTest, MissingTemporaryFileIsReported) {
    EXPECT_FALSE(outlines::read_back(temporary, 8, 3, 1, y, yfit, "today"));
    EXPECT_EQ(globals::bdataerror, 1);
    ASSERT_EQ(dialogs.size(), 1u);
    EXPECT_EQ(dialogs[0].text,
              "There is an error in reading results data file.\n\n" + std::string(30, ' ') + "*** RUN ABORTED! ***");
}

TEST(StatusTexts, SumOfSquaresAndMic) {
    const auto t = outlines::status_texts(1321.9227, 3.597236882516696);
    EXPECT_EQ(t.ssqr.trimmed(), " 1321.9");
    EXPECT_EQ(t.mic.trimmed(), " 3.597");
    EXPECT_EQ(t.status, "SSQR=  1321.9 : MIC=  3.597");
    EXPECT_EQ(outlines::status_texts(0.00123456, -4.503599727262001e19).status, "SSQR= 1.23456E-03 : MIC= -.4504E+20");
}

TEST_F(OutlinesTest, RunLogReceivesOneInformationLine) {
    outlines::log_run("/data/MM.DAT", outlines::status_texts(1321.9227, 3.597236882516696));
    std::ifstream log(dir / "Kalvor_UDF-runlog.txt");
    std::string line;
    ASSERT_TRUE(std::getline(log, line));
    EXPECT_EQ(line.rfind(" /data/MM.DAT : SSQR=  1321.9 : MIC=  3.597 : Date ", 0), 0u) << line;
    EXPECT_FALSE(std::getline(log, line));
}

TEST(Messages, AbortTextEndsWithTheClosingLine) {
    EXPECT_EQ(outlines::abort_text("Bad."), "Bad.\r\n\r\n" + std::string(30, ' ') + "*** RUN ABORTED! ***");
    EXPECT_EQ(outlines::join_lines({"a", "", "b"}), "a\r\n\r\nb");
}

}  // namespace
