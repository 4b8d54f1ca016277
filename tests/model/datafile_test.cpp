#include "model/datafile.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <pthread.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "model/globals.h"

namespace fs = std::filesystem;

namespace {

std::string example(const char* name) { return std::string(KALVOR_SOURCE_DIR) + "/data/examples/" + name; }

class DataFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        globals::reset_run_state();
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        dir_ = fs::path(::testing::TempDir()) / (std::string("kalvor_datafile_") + info->name());
        fs::remove_all(dir_);
        fs::create_directories(dir_);
    }
    void TearDown() override { fs::remove_all(dir_); }

    // Writes the lines joined by eol (and a final eol) to name in the test folder.
    std::string write(const std::string& name, const std::vector<std::string>& lines, const char* eol = "\n") {
        const fs::path path = dir_ / name;
        std::ofstream out(path, std::ios::binary);
        for (const auto& line : lines) out << line << eol;
        return path.string();
    }
    std::string missing() const { return (dir_ / "Moved Away.dat").string(); }

    fs::path dir_;
};

// A minimal two-parameter file with the given rows and ending line.
std::vector<std::string> small_file(const std::vector<std::string>& rows, const std::string& ending) {
    std::vector<std::string> lines = {"y = P1*X1 + P2", "1.0 2.0", "0.0 0.0", "10.0 10.0", "T T"};
    lines.insert(lines.end(), rows.begin(), rows.end());
    if (!ending.empty()) lines.push_back(ending);
    return lines;
}

// ---- the three example files ----

TEST_F(DataFileTest, ExampleOneReadsBack) {
    const std::string path = example("Michaelis-Menten.dat");
    kalvor::Text<512> line;
    datafile::a_function_line(path, line);
    EXPECT_EQ(line.trimmed(), "y = P2*X1/(P1 + X1)");
    int count = -1;
    ASSERT_TRUE(datafile::a_row_count(path, count));
    EXPECT_EQ(count, 25);
    EXPECT_EQ(globals::bnext, 0);
    int cols = 0;
    datafile::rparcols(cols, path);
    EXPECT_EQ(cols, 2);
    datafile::rlocols(cols, path);
    EXPECT_EQ(cols, 2);
    datafile::rhicols(cols, path);
    EXPECT_EQ(cols, 2);
    datafile::rmaskcols(cols, path);
    EXPECT_EQ(cols, 2);
    datafile::rxycols(cols, path);
    EXPECT_EQ(cols, 2);

    std::vector<double> p(2), lo(2), hi(2);
    int error = -1;
    datafile::rpar(p, 2, path, error);
    EXPECT_EQ(error, 0);
    EXPECT_EQ(p, (std::vector<double>{10.0, 100.0}));
    EXPECT_TRUE(datafile::rlo(lo, 2, path));
    EXPECT_EQ(lo, (std::vector<double>{1e-6, 1e-6}));
    EXPECT_TRUE(datafile::rhi(hi, 2, path));
    EXPECT_EQ(hi, (std::vector<double>{1e6, 1e6}));
    std::vector<int> mask(2, -1);
    datafile::rmask(mask, 2, path);
    EXPECT_EQ(mask, (std::vector<int>{1, 1}));

    int bad = -1, flag = -1;
    datafile::checkparameterdata(path, 2, bad, flag);
    EXPECT_EQ(flag, 0);
    datafile::checkparsestr2real(path, 2, bad, flag);
    EXPECT_EQ(flag, 0);
    EXPECT_EQ(bad, 0);

    kalvor::Matrix table;
    datafile::rxy(table, 20, 2, path, bad, error);
    ASSERT_EQ(error, 0);
    ASSERT_EQ(table.rows(), 20u);
    EXPECT_EQ(table(0, 0), 5.0);
    EXPECT_EQ(table(0, 1), 3.2);
    EXPECT_EQ(table(1, 1), 15.9);
    EXPECT_EQ(table(17, 1), 90.8);
    EXPECT_EQ(table(19, 0), 100.0);
    EXPECT_EQ(table(19, 1), 105.0);
}

TEST_F(DataFileTest, ExampleTwoReadsBack) {
    const std::string path = example("Hougen.dat");
    int count = 0;
    ASSERT_TRUE(datafile::a_row_count(path, count));
    EXPECT_EQ(count, 20);
    int cols = 0;
    datafile::rxycols(cols, path);
    EXPECT_EQ(cols, 4);
    datafile::rmaskcols(cols, path);
    EXPECT_EQ(cols, 5);
    std::vector<double> p(5);
    int error = 1;
    datafile::rpar(p, 5, path, error);
    EXPECT_EQ(error, 0);
    EXPECT_EQ(p, (std::vector<double>{40.0, 30.0, 20.0, 10.0, 0.5}));
    std::vector<int> mask(5);
    datafile::rmask(mask, 5, path);
    EXPECT_EQ(mask, (std::vector<int>{1, 1, 1, 1, 0}));
    kalvor::Matrix table;
    int bad = 0;
    datafile::rxy(table, 15, 4, path, bad, error);
    ASSERT_EQ(error, 0);
    // Third curve, last row: X1 400, X2 400, X3 180, Y 0.82.
    EXPECT_EQ(table(14, 0), 400.0);
    EXPECT_EQ(table(14, 1), 400.0);
    EXPECT_EQ(table(14, 2), 180.0);
    EXPECT_EQ(table(14, 3), 0.82);
    EXPECT_EQ(table(5, 3), 2.38);
}

TEST_F(DataFileTest, ExampleThreeReadsBack) {
    const std::string path = example("Michaelis-Menten-3-Curves.dat");
    kalvor::Text<512> line;
    datafile::a_function_line(path, line);
    EXPECT_EQ(line.trimmed(), "y=P2*(X2=1)/(1+P1/X1)+P4*(X2=2)/(1+P3/X1)+P6*(X2=3)/(1+P5/X1)");
    int count = 0;
    ASSERT_TRUE(datafile::a_row_count(path, count));
    EXPECT_EQ(count, 35);
    int cols = 0;
    datafile::rparcols(cols, path);
    EXPECT_EQ(cols, 6);
    datafile::rxycols(cols, path);
    EXPECT_EQ(cols, 3);
    kalvor::Matrix table;
    int bad = 0, error = 0;
    datafile::rxy(table, 30, 3, path, bad, error);
    ASSERT_EQ(error, 0);
    EXPECT_EQ(table(0, 2), 33.33);
    EXPECT_EQ(table(10, 1), 2.0);
    EXPECT_EQ(table(29, 0), 100.0);
    EXPECT_EQ(table(29, 2), 50.0);
    int flag = 1;
    datafile::checkparsestr2real(path, 3, bad, flag);
    EXPECT_EQ(flag, 0);
}

// ---- endings of the data block ----

TEST_F(DataFileTest, BlockEndings) {
    const std::vector<std::string> rows = {"1 2", "2 3", "3 5"};
    int count = 0;
    ASSERT_TRUE(datafile::a_row_count(write("end.dat", small_file(rows, "END")), count));
    EXPECT_EQ(count, 8);
    EXPECT_EQ(globals::bnext, 0);

    ASSERT_TRUE(datafile::a_row_count(write("next.dat", small_file(rows, "  next block")), count));
    EXPECT_EQ(count, 8);
    EXPECT_EQ(globals::bnext, 1);

    auto blank = small_file(rows, "");
    blank.push_back("");
    blank.push_back("4 7");
    ASSERT_TRUE(datafile::a_row_count(write("blank.dat", blank), count));
    EXPECT_EQ(count, 8);
    EXPECT_EQ(globals::bnext, 0);

    ASSERT_TRUE(datafile::a_row_count(write("eof.dat", small_file(rows, "")), count));
    EXPECT_EQ(count, 8);
    EXPECT_EQ(globals::bnext, 0);

    // The first word decides, in any case.
    ASSERT_TRUE(datafile::a_row_count(write("both.dat", small_file(rows, "NEXT or END")), count));
    EXPECT_EQ(globals::bnext, 1);
    ASSERT_TRUE(datafile::a_row_count(write("end.dat", small_file(rows, "  End of data ! next file")), count));
    EXPECT_EQ(count, 8);
    EXPECT_EQ(globals::bnext, 0);
}

TEST_F(DataFileTest, WhiteSpaceOnlyLinesAreBlank) {
    auto lines = small_file({"1 2", "2 3"}, "\t");
    lines.push_back("3 4");
    int count = 0;
    ASSERT_TRUE(datafile::a_row_count(write("tab.dat", lines), count));
    EXPECT_EQ(count, 7);

    lines = small_file({"1 2", "2 3"}, "\f ");
    ASSERT_TRUE(datafile::a_row_count(write("ff.dat", lines), count));
    EXPECT_EQ(count, 7);

    // The model line is the first line that holds more than white space.
    kalvor::Text<512> path(write("lead.dat", {"\t", " \t ", "\x0B", "  y = P1*X1"}));
    kalvor::Text<64> line;
    datafile::a_model_line(path, line);
    EXPECT_EQ(line.trimmed(), "y = P1*X1");
}

TEST_F(DataFileTest, WindowsFileReadsLikeItsLfTwin) {
    const auto lines = small_file({"1 2", "2 3.5", "3 5"}, "END");
    const std::string lf = write("lf.dat", lines);
    const std::string crlf = write("crlf.dat", lines, "\r\n");
    int c1 = 0, c2 = 0;
    datafile::a_row_count(lf, c1);
    datafile::a_row_count(crlf, c2);
    EXPECT_EQ(c1, c2);
    kalvor::Text<512> m1, m2;
    datafile::a_function_line(lf, m1);
    datafile::a_function_line(crlf, m2);
    EXPECT_EQ(m1.trimmed(), m2.trimmed());
    for (auto counter : {datafile::rparcols, datafile::rmaskcols, datafile::rxycols}) {
        counter(c1, lf);
        counter(c2, crlf);
        EXPECT_EQ(c1, c2);
    }
    std::vector<int> k1(2), k2(2);
    datafile::rmask(k1, 2, lf);
    datafile::rmask(k2, 2, crlf);
    EXPECT_EQ(k1, k2);
    kalvor::Matrix t1, t2;
    int bad = 0, e1 = 0, e2 = 0;
    datafile::rxy(t1, 3, 2, lf, bad, e1);
    datafile::rxy(t2, 3, 2, crlf, bad, e2);
    EXPECT_EQ(e1, 0);
    EXPECT_EQ(e2, 0);
    EXPECT_EQ(t1, t2);
    int f1 = 1, f2 = 1;
    datafile::checkparsestr2real(crlf, 2, bad, f2);
    datafile::checkparsestr2real(lf, 2, bad, f1);
    EXPECT_EQ(f1, 0);
    EXPECT_EQ(f2, 0);
}

// ---- failures ----

TEST_F(DataFileTest, BadValueReportedWithItsFileLine) {
    const std::string path = write("bad.dat", small_file({"1 2", "2 3", "3 x5", "4 6"}, "END"));
    int bad = 0, flag = 0;
    datafile::checkparsestr2real(path, 2, bad, flag);
    EXPECT_EQ(flag, 1);
    EXPECT_EQ(bad, 8);
    kalvor::Matrix table;
    int error = 0;
    datafile::rxy(table, 4, 2, path, bad, error);
    EXPECT_EQ(error, 1);
    EXPECT_EQ(bad, 8);
}

TEST_F(DataFileTest, ParameterCheckReportsLineThree) {
    auto lines = small_file({"1 2", "2 3"}, "END");
    lines[2] = "0.0 O.5";
    const std::string path = write("lo.dat", lines);
    int bad = 0, flag = 0;
    datafile::checkparameterdata(path, 2, bad, flag);
    EXPECT_EQ(flag, 1);
    EXPECT_EQ(bad, 3);
    // A file that stops before line 4 lacks a parameter line.
    datafile::checkparameterdata(write("short.dat", {"y = P1*X1", "1 2", "0 0"}), 2, bad, flag);
    EXPECT_EQ(flag, 1);
    EXPECT_EQ(bad, 4);
}

TEST_F(DataFileTest, CommentsAndLoneCommasInChecks) {
    // A comma alone between blanks counts a field; with n = 2 two values are read.
    auto lines = small_file({"1.0 , 2.0", "2 3 ! note: 1e", "3,5"}, "END");
    int bad = 0, flag = 1;
    datafile::checkparsestr2real(write("commas.dat", lines), 2, bad, flag);
    EXPECT_EQ(flag, 0);
    // Fewer values than n pass the row check (only counted fields are read).
    datafile::checkparsestr2real(write("few.dat", small_file({"1 2", "7"}, "END")), 2, bad, flag);
    EXPECT_EQ(flag, 0);
}

TEST_F(DataFileTest, RowCheckStopsAtBlockEnd) {
    auto lines = small_file({"1 2", "2 3"}, "");
    lines.push_back("");
    lines.push_back("Notes after the data: not numbers");
    int bad = 0, flag = 1;
    datafile::checkparsestr2real(write("blank.dat", lines), 2, bad, flag);
    EXPECT_EQ(flag, 0);
    datafile::checkparsestr2real(write("eof.dat", small_file({"1 2", "2 3"}, "")), 2, bad, flag);
    EXPECT_EQ(flag, 0);
}

TEST_F(DataFileTest, MissingFileIsAnErrorNotAnExit) {
    const std::string path = missing();
    kalvor::Text<512> name(path);
    kalvor::Text<512> line;
    try {
        datafile::a_model_line(name, line);
        FAIL() << "no error";
    } catch (const datafile::FileError& e) {
        const std::string text = e.what();
        EXPECT_NE(text.find("File_DATA_READ - Fatal error #3A!"), std::string::npos);
        EXPECT_NE(text.find("  Could not open the input file \"" + path + "\" on unit"), std::string::npos);
    }
    EXPECT_THROW(datafile::a_function_line(path, line), datafile::FileError);
    std::vector<double> p(2);
    int error = 0;
    EXPECT_THROW(datafile::rpar(p, 2, path, error), datafile::FileError);
    EXPECT_THROW(datafile::rlo(p, 2, path), datafile::FileError);
    std::vector<int> mask(2);
    EXPECT_THROW(datafile::rmask(mask, 2, path), datafile::FileError);
    kalvor::Matrix table;
    int bad = 0;
    EXPECT_THROW(datafile::rxy(table, 2, 2, path, bad, error), datafile::FileError);

    int count = 17;
    EXPECT_FALSE(datafile::a_row_count(path, count));
    EXPECT_EQ(count, 17);
    EXPECT_FALSE(datafile::rxycols(count, path));
    EXPECT_EQ(count, 17);
    int flag = 0;
    bad = 5;
    datafile::checkparameterdata(path, 2, bad, flag);
    EXPECT_EQ(flag, 1);
    EXPECT_EQ(bad, 0);
    datafile::checkparsestr2real(path, 2, bad, flag);
    EXPECT_EQ(flag, 1);
    EXPECT_EQ(bad, 0);
}

TEST_F(DataFileTest, FileOfMoreThan1000RowsIsRejected) {
    std::vector<std::string> rows;
    for (int i = 1; i <= 1001; ++i) rows.push_back(std::to_string(i) + " " + std::to_string(2 * i));
    const std::string path = write("big.dat", small_file(rows, "END"));
    int count = 0;
    ASSERT_TRUE(datafile::a_row_count(path, count));
    EXPECT_EQ(count - 5, 1001);
    EXPECT_FALSE(datafile::rows_within_limit(count - 5));
    EXPECT_TRUE(datafile::rows_within_limit(1000));
    const std::string message = datafile::too_many_rows_message(1001);
    EXPECT_NE(message.find("1001"), std::string::npos);
    EXPECT_NE(message.find("1000"), std::string::npos);

    kalvor::Matrix table(3, 3, 7.0);
    int bad = 0, error = 0;
    datafile::rxy(table, 1001, 2, path, bad, error);
    EXPECT_EQ(error, 1);
    EXPECT_EQ(bad, 1006);
    EXPECT_EQ(table, kalvor::Matrix(3, 3, 7.0));  // nothing read or resized

    // 1000 rows still read.
    rows.pop_back();
    datafile::rxy(table, 1000, 2, write("max.dat", small_file(rows, "END")), bad, error);
    EXPECT_EQ(error, 0);
    EXPECT_EQ(table(999, 1), 2000.0);
}

// ---- counts and values ----

TEST_F(DataFileTest, DataFileReadingEndsWithItsBlock) {
    // A pipe whose writer sends one line without end after END: the reading
    // of the data file stops at END and reads nothing of that line.
    const fs::path pipe = dir_ / "endless.dat";
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
    std::thread writer([&] {
        // Once the reader has closed the pipe, a write fails with EPIPE.
        sigset_t broken_pipe;
        sigemptyset(&broken_pipe);
        sigaddset(&broken_pipe, SIGPIPE);
        pthread_sigmask(SIG_BLOCK, &broken_pipe, nullptr);
        const int fd = ::open(pipe.c_str(), O_WRONLY);
        std::string text = "y = P1*X1\n1\n0\n2\nT\n1 2\nEND\n";
        while (fd >= 0 && ::write(fd, text.data(), text.size()) > 0) text.assign(4096, 'n');
        if (fd >= 0) ::close(fd);
    });
    const datafile::FileText endless(pipe.string(), datafile::FileText::Extent::data_block);
    writer.join();
    EXPECT_EQ(endless.lines().size(), 7u);
    EXPECT_EQ(endless.long_line(), 0);
}

// ---- malformed lines ----

TEST_F(DataFileTest, OnlyAFirstWordEndOrNextEndsTheBlock) {
    int count = 0;
    // Words that hold or begin like END or NEXT are rows; "NaN" is a value.
    auto lines = small_file({"1 2", "2 3 ! trend", "Endless 4", "END2 5", "Nextday 6"}, "end.");
    lines[1] = "NaN 2.0";
    ASSERT_TRUE(datafile::a_row_count(write("words.dat", lines), count));
    EXPECT_EQ(count, 10);
    EXPECT_EQ(globals::bnext, 0);
    ASSERT_TRUE(datafile::a_row_count(write("next.dat", small_file({"1 2"}, "\tNext! series")), count));
    EXPECT_EQ(count, 6);
    EXPECT_EQ(globals::bnext, 1);
    // The row check stops at the same line, and reads the rows before it.
    int bad = 0, flag = 0;
    std::string value;
    datafile::checkparsestr2real(write("check.dat", small_file({"1 2", "2 3 ! the end", "3 x"}, "END")), 2, bad,
                                 flag, &value);
    EXPECT_EQ(flag, 1);
    EXPECT_EQ(bad, 8);
    EXPECT_EQ(value, "\"x\"");
}

TEST_F(DataFileTest, ValueReadersStopAtTheCommentAndTakeWhatTheyNeed) {
    auto lines = small_file({"1 2 ! 1000000*3 1000000*4", "2*5", "3 4 5 6"}, "END");
    lines[1] = "1.0 2.0 ! was 1,,2";
    lines[4] = "T T ! F F";
    const std::string path = write("comment.dat", lines);
    kalvor::Matrix table;
    int bad = -1, error = -1;
    datafile::rxy(table, 3, 2, path, bad, error);
    ASSERT_EQ(error, 0);
    const double expected[3][2] = {{1, 2}, {5, 5}, {3, 4}};
    for (std::size_t i = 0; i < 3; ++i)
        for (std::size_t j = 0; j < 2; ++j) EXPECT_EQ(table(i, j), expected[i][j]);
    std::vector<double> start(2);
    datafile::rpar(start, 2, path, error);
    EXPECT_EQ(error, 0);
    EXPECT_EQ(start, (std::vector<double>{1.0, 2.0}));
    std::vector<int> mask(2);
    datafile::rmask(mask, 2, path);
    EXPECT_EQ(mask, (std::vector<int>{1, 1}));
    // A repeat count reaching beyond the row refuses it.
    datafile::rxy(table, 2, 2, write("repeat.dat", small_file({"1 2", "3*5"}, "END")), bad, error);
    EXPECT_EQ(error, 1);
    EXPECT_EQ(bad, 7);
}

TEST_F(DataFileTest, NullValuesAreRefused) {
    auto lines = small_file({"1 2", "2,,3"}, "END");
    lines[1] = ",2.0";
    lines[4] = "T,,T";
    const std::string path = write("null.dat", lines);
    kalvor::Matrix table;
    int bad = 0, error = 0;
    datafile::rxy(table, 2, 2, path, bad, error);
    EXPECT_EQ(error, 1);
    EXPECT_EQ(bad, 7);
    std::vector<double> start(2);
    datafile::rpar(start, 2, path, error);
    EXPECT_EQ(error, 1);
    std::vector<int> mask(2, 1);
    datafile::rmask(mask, 2, path);
    EXPECT_EQ(mask, (std::vector<int>{0, 0}));
}

TEST_F(DataFileTest, BlankLinesBeforeTheModelLineShiftEveryLine) {
    auto lines = small_file({"1 2", "2 3", "3 x"}, "END");
    lines[2] = "0.0 O.5";
    lines.insert(lines.begin(), {"", " \t "});
    const std::string path = write("lead.dat", lines);
    int count = 0;
    ASSERT_TRUE(datafile::a_row_count(path, count));
    EXPECT_EQ(count, 8);
    datafile::rxycols(count, path);
    EXPECT_EQ(count, 2);
    std::vector<double> start(2);
    int error = 1;
    datafile::rpar(start, 2, path, error);
    EXPECT_EQ(start, (std::vector<double>{1.0, 2.0}));
    // Reported lines are those of the file itself.
    int bad = 0, flag = 0;
    datafile::checkparameterdata(path, 2, bad, flag);
    EXPECT_EQ(bad, 5);
    datafile::checkparsestr2real(path, 2, bad, flag);
    EXPECT_EQ(bad, 10);
    kalvor::Matrix table;
    datafile::rxy(table, 3, 2, path, bad, error);
    EXPECT_EQ(bad, 10);
}

TEST_F(DataFileTest, ColumnCounterSeparatesCommas) {
    int count = 0;
    std::string line = "1.0,2.0";
    datafile::s_col_count(line, count);
    EXPECT_EQ(count, 2);
    line = " 1.0 ,\t2.0,  3 ";
    datafile::s_col_count(line, count);
    EXPECT_EQ(count, 3);
    EXPECT_EQ(line.find('\t'), std::string::npos);
    line = "1 2 3 ! four five";
    datafile::s_col_count(line, count);
    EXPECT_EQ(count, 3);
    line = "TRUE TRUE FALSE";
    datafile::s_col_count(line, count);
    EXPECT_EQ(count, 3);
    line = "1 2 NaN 4";
    datafile::s_col_count(line, count);
    EXPECT_EQ(count, 2);
}

TEST_F(DataFileTest, CommaDelimitedFileReads) {
    std::vector<std::string> lines = {"y = P1*X1 + P2", "1.0,2.0", "0,0", "10,10", "T,F", "1.5,2.5", "END"};
    const std::string path = write("comma.dat", lines);
    int cols = 0;
    datafile::rparcols(cols, path);
    EXPECT_EQ(cols, 2);
    datafile::rxycols(cols, path);
    EXPECT_EQ(cols, 2);
    std::vector<double> p(2);
    int error = 1;
    datafile::rpar(p, 2, path, error);
    EXPECT_EQ(error, 0);
    EXPECT_EQ(p, (std::vector<double>{1.0, 2.0}));
    std::vector<int> mask(2);
    datafile::rmask(mask, 2, path);
    EXPECT_EQ(mask, (std::vector<int>{1, 0}));
}

TEST_F(DataFileTest, MaskForms) {
    auto lines = small_file({"1 2"}, "END");
    lines[4] = ".true. f";
    std::vector<int> mask(2, -1);
    datafile::rmask(mask, 2, write("forms.dat", lines));
    EXPECT_EQ(mask, (std::vector<int>{1, 0}));
    lines[4] = "1 0";
    datafile::rmask(mask, 2, write("numbers.dat", lines));
    EXPECT_EQ(mask, (std::vector<int>{0, 0}));
}

TEST_F(DataFileTest, UnreadableParametersSetTheFlag) {
    auto lines = small_file({"1 2"}, "END");
    lines[1] = "1.0 abc";
    std::vector<double> p(2);
    int error = 0;
    datafile::rpar(p, 2, write("p.dat", lines), error);
    EXPECT_EQ(error, 1);
    lines[1] = "1.0";
    datafile::rpar(p, 2, write("short.dat", lines), error);
    EXPECT_EQ(error, 1);
}

TEST_F(DataFileTest, PathKeepsCaseAndInnerBlanks) {
    const std::string path = write("My Data File.DaT", small_file({"1 2", "2 3"}, "END"));
    kalvor::Text<512> name("   " + path);
    kalvor::Text<512> line;
    datafile::a_model_line(name, line);
    EXPECT_EQ(name.trimmed(), path);  // left-adjusted, case kept
    EXPECT_EQ(line.trimmed(), "y = P1*X1 + P2");
}

TEST_F(DataFileTest, UnitsSkipReservedNumbers) {
    std::vector<int> taken;
    for (int unit = datafile::get_unit(); unit != 0; unit = datafile::get_unit()) {
        ASSERT_TRUE(datafile::open_unit(unit));
        taken.push_back(unit);
    }
    EXPECT_EQ(taken.size(), 96u);
    for (int unit : taken) {
        EXPECT_NE(unit, 5);
        EXPECT_NE(unit, 6);
        EXPECT_NE(unit, 9);
    }
    int unit = -1;
    datafile::get_unit(unit);
    EXPECT_EQ(unit, 0);
    // With no unit free a reader cannot open its file.
    int count = 3;
    EXPECT_FALSE(datafile::a_row_count(example("Hougen.dat"), count));
    for (int u : taken) datafile::close_unit(u);
    EXPECT_EQ(datafile::get_unit(), 1);
    {
        datafile::UnitLease lease;
        EXPECT_EQ(lease.number(), 1);
        EXPECT_EQ(datafile::get_unit(), 2);
    }
    EXPECT_EQ(datafile::get_unit(), 1);
}

// ---- older readers and writers ----

TEST_F(DataFileTest, TableFileRoundTrip) {
    kalvor::Matrix table(2, 3);
    table(0, 0) = 1.5;
    table(0, 1) = -2.25e-3;
    table(0, 2) = 12345.0;
    table(1, 0) = 0.0;
    table(1, 1) = 7.0;
    table(1, 2) = -1e10;
    const std::string name = (dir_ / "Table Out").string();
    datafile::wdata(table, 2, 3, "demo", name);
    std::ifstream in(name + ".txt");
    std::string first;
    std::getline(in, first);
    EXPECT_EQ(first, " 1.50000E+00   -2.25000E-03    1.23450E+04");

    int m = 0, n = 0;
    datafile::r4mat_header_read(name + ".txt", m, n);
    EXPECT_EQ(m, 3);
    EXPECT_EQ(n, 2);
    std::vector<float> values;
    datafile::r4mat_data_read(name + ".txt", m, n, values);
    ASSERT_EQ(values.size(), 6u);
    EXPECT_EQ(values[1], -2.25e-3f);
    EXPECT_EQ(values[5], -1e10f);

    const std::string counted = write("counted.dat", {"2 3", "1 2 3", "4 5 6"});
    int rows = 0, cols = 0;
    datafile::rcdata(rows, cols, counted);
    EXPECT_EQ(rows, 2);
    EXPECT_EQ(cols, 3);
    kalvor::Matrix read;
    datafile::rdata(read, rows, cols, counted);
    EXPECT_EQ(read(1, 2), 6.0);
    EXPECT_THROW(datafile::rcdata(rows, cols, missing()), datafile::FileError);
    EXPECT_THROW(datafile::rdata(read, 3, 3, counted), datafile::FileError);
    EXPECT_THROW(datafile::r4mat_data_read(counted, 3, 5, values), datafile::FileError);
}

TEST_F(DataFileTest, RowAndColumnCounters) {
    const std::string path = write("rows.txt", {"# header", "", "  1 2 3", "! note", "4 5 6", "'quoted end", "7 8 9"});
    int count = 0, flag = 0;
    datafile::file_row_count(path, count);
    EXPECT_EQ(count, 2);
    datafile::file_column_count(path, count, flag);
    EXPECT_EQ(count, 3);
    EXPECT_EQ(flag, 0);
    datafile::file_row_count(missing(), count);
    EXPECT_EQ(count, -1);
    datafile::file_column_count(missing(), count, flag);
    EXPECT_EQ(count, -1);
    EXPECT_EQ(flag, 1);
    datafile::file_column_count(write("empty.txt", {"# only", ""}), count, flag);
    EXPECT_EQ(count, -1);
    EXPECT_EQ(flag, 0);

    datafile::data_row_count(40, write("dr.txt", {"1 2", "3 4", "# stop", "5 6"}), count);
    EXPECT_EQ(count, 2);
    EXPECT_FALSE(datafile::unit_is_open(40));
}

TEST_F(DataFileTest, ParseRowsIntoTable) {
    const std::string path = write("p.dat", small_file({"1 2", "2,3", "3 4.5"}, "END"));
    kalvor::Matrix table;
    int rows = 1000, count = 0, flag = 1;
    datafile::parsestr2real(path, rows, count, 6, table, flag);
    EXPECT_EQ(flag, 0);
    EXPECT_EQ(rows, 3);
    EXPECT_EQ(count, 2);
    EXPECT_EQ(table(2, 1), 4.5);
    rows = 2;
    datafile::parsestr2real(path, rows, count, 6, table, flag);
    EXPECT_EQ(rows, 2);
    datafile::parsestr2real(missing(), rows, count, 6, table, flag);
    EXPECT_EQ(flag, 1);
}

TEST_F(DataFileTest, OutputFileReadBack) {
    const std::string path = write("out.txt", {"# title", "line\tone", "", "NEXT", "after"});
    std::vector<kalvor::FixedText> lines;
    int count = 0;
    datafile::read_data_ouput_file(path, lines, count);
    EXPECT_EQ(count, 3);
    EXPECT_EQ(globals::bnext, 1);
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0].trimmed(), "# title");
    EXPECT_EQ(lines[1].trimmed(), "! line one");
    EXPECT_EQ(lines[2].trimmed(), "!");
    EXPECT_EQ(lines[0].length(), 220u);
    EXPECT_THROW(datafile::read_data_ouput_file(missing(), lines, count), datafile::FileError);
}

TEST_F(DataFileTest, CommentOutFirstLine) {
    const std::string path = write("c.dat", {"y = P1*X1", "1 2"});
    datafile::comment_out_first_line(path);
    std::ifstream in(path + ".txt");
    std::stringstream text;
    text << in.rdbuf();
    EXPECT_EQ(text.str(), "# y = P1*X1\n1 2\n");
    EXPECT_THROW(datafile::comment_out_first_line(missing()), datafile::FileError);
}

TEST_F(DataFileTest, OlderInFiles) {
    const std::string good = write("m.in", {"'P1*X1/(P2 + X1)'", "2", "0 1 10", "0.5 2 20", "1 3", "2 5", "3 6"});
    EXPECT_EQ(datafile::check_xydata(good, "m.in"), 0);
    datafile::XyData data;
    ASSERT_EQ(datafile::read_xydata(good, data), 0);
    EXPECT_EQ(data.model, "P1*X1/(P2 + X1)");
    EXPECT_EQ(data.np, 2);
    EXPECT_EQ(data.value, (std::vector<double>{1.0, 2.0}));
    EXPECT_EQ(data.nrows, 3);
    EXPECT_EQ(data.nx, 1);
    EXPECT_EQ(data.xy(2, 1), 6.0);

    EXPECT_NE(datafile::check_xydata(write("q.in", {"P1*X1", "1", "0 1 2", "1 2"}), "q.in"), 0);
    EXPECT_NE(datafile::check_xydata(write("b.in", {"'P1*X1'", "1", "0 5 2", "1 2"}), "b.in"), 0);
    EXPECT_NE(datafile::check_xydata(write("s.in", {"'P1*X1'", "1", "0 5", "1 2"}), "s.in"), 0);
    EXPECT_NE(datafile::check_xydata(missing(), "gone.in"), 0);
    EXPECT_NE(datafile::read_xydata(write("x.in", {"'P1*X1'", "1", "0 1 2", "1 2 3 4 5"}), data), 0);
}

TEST_F(DataFileTest, TabToBlankUpToTrimmedLength) {
    std::string text = "a\tb\t  ";
    datafile::tab2blank(text);
    EXPECT_EQ(text, "a b   ");
}

}  // namespace
