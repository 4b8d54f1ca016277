// Printing of vectors and matrices, and the date texts.  Expected lines were
// produced by an independent Fortran program writing the same formats.

#include "foundations/nrutil.h"
#include "foundations/runtime.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

namespace {

const std::vector<double> kX{1.5, -2.25e-3, 12345.678};

// The 2 x 2 matrix with rows (a11, a12) and (a21, a22).
kalvor::Matrix matrix2(double a11, double a12, double a21, double a22) {
    kalvor::Matrix a(2, 2);
    a(0, 0) = a11;
    a(0, 1) = a12;
    a(1, 0) = a21;
    a(1, 1) = a22;
    return a;
}

std::string vecprn_text(std::span<const double> x, int n, int m) {
    std::ostringstream out;
    nrutil::vecprn(out, x, n, m);
    return out.str();
}

TEST(NrutilPrint, VecprnWritesIndexAndValueLinesPerChunk) {
    EXPECT_EQ(vecprn_text(kX, 3, 3),
              "     1            2            3\n"
              "  1.500E+00   -2.250E-03    1.235E+04\n");
    EXPECT_EQ(vecprn_text(kX, 3, 2),
              "     1            2\n"
              "  1.500E+00   -2.250E-03\n"
              "     3\n"
              "  1.235E+04\n");
    // A width below 1 counts as 1 instead of looping for ever.
    EXPECT_EQ(vecprn_text(kX, 2, 0), "     1\n  1.500E+00\n     2\n -2.250E-03\n");
    EXPECT_EQ(vecprn_text(kX, 0, 3), "");
    EXPECT_THROW(vecprn_text(kX, 4, 4), std::out_of_range);
}

TEST(NrutilPrint, VecprnContinuesLongChunksOnFurtherLines) {
    std::vector<double> x(12);
    for (int i = 0; i < 12; ++i) x[i] = (i + 1) * 1.25;
    EXPECT_EQ(vecprn_text(x, 12, 12),
              "     1            2            3            4            5            6"
              "            7            8            9           10\n"
              "11           12\n"
              "  1.250E+00    2.500E+00    3.750E+00    5.000E+00    6.250E+00    7.500E+00"
              "    8.750E+00    1.000E+01    1.125E+01    1.250E+01\n"
              " 1.375E+01    1.500E+01\n");
}

TEST(NrutilPrint, Vecprn3UsesFixedPoint) {
    std::ostringstream out;
    nrutil::vecprn3(out, kX, 3, 3);
    EXPECT_EQ(out.str(),
              "     1            2            3\n"
              "    1.500       -0.002      *******\n");
}

TEST(NrutilPrint, Matprn) {
    const kalvor::Matrix a = matrix2(1.0, 2.0, 3.0, -4.5e-7);
    std::ostringstream out;
    nrutil::matprn(out, a, 2, 2);
    EXPECT_EQ(out.str(),
              "              1             2\n"
              "  1     1.000000E+00   2.000000E+00\n"
              "  2     3.000000E+00  -4.500000E-07\n");
    std::ostringstream one;
    nrutil::matprn(one, a, 2, 1);
    EXPECT_EQ(one.str(),
              "              1\n"
              "  1     1.000000E+00\n"
              "  2     3.000000E+00\n"
              "              2\n"
              "  1     2.000000E+00\n"
              "  2    -4.500000E-07\n");
}

TEST(NrutilPrint, MatprnBlocksHoldAtMostTenColumns) {
    // Wider blocks would put a column number under the header's text item.
    kalvor::Matrix a(12, 12, 0.5);
    std::ostringstream out;
    EXPECT_NO_THROW(nrutil::matprn(out, a, 12, 20));
    const std::string text = out.str();
    EXPECT_NE(text.find("9            10\n"), std::string::npos);
    EXPECT_NE(text.find("\n             11            12\n"), std::string::npos);
}

TEST(NrutilPrint, MatPrintFixedPointBlocksOfFive) {
    kalvor::Matrix c(3, 6);
    for (int j = 1; j <= 6; ++j)
        for (int i = 1; i <= 3; ++i) c(i - 1, j - 1) = i - 0.5 * j;
    c(1, 5) = 123456.789;
    std::ostringstream out;
    nrutil::mat_print(3, 6, c, "Three by six   ", out);
    EXPECT_EQ(out.str(),
              "\n"
              "Three by six\n"
              "\n"
              "            1             2             3             4             5\n"
              "\n"
              "     1      0.500000      0.000000     -0.500000     -1.000000     -1.500000\n"
              "     2      1.500000      1.000000      0.500000      0.000000     -0.500000\n"
              "     3      2.500000      2.000000      1.500000      1.000000      0.500000\n"
              "\n"
              "            6\n"
              "\n"
              "     1     -2.000000\n"
              "     2 123456.789000\n"
              "     3      0.000000\n"
              "\n");
}

TEST(NrutilPrint, MatPrintGeneralFormForLargeValuesAndBlankTitle) {
    const kalvor::Matrix a = matrix2(1.0e7, 2.5, 1.0e6, -0.5);
    std::ostringstream out;
    nrutil::mat_print(2, 2, a, "    ", out);
    EXPECT_EQ(out.str(),
              "\n"
              "\n"
              "            1             2\n"
              "\n"
              "     1  0.100000E+08   2.50000    \n"
              "     2  0.100000E+07 -0.500000    \n"
              "\n");
}

TEST(NrutilPrint, PrintArray2dBuildsItsFormatsFromTheSizes) {
    kalvor::Matrix b(7, 7);
    for (int j = 1; j <= 7; ++j)
        for (int i = 1; i <= 7; ++i) b(i - 1, j - 1) = 10 * i + j + 0.125;
    b(2, 3) = -1.5;
    int k = 0;
    std::ostringstream out;
    nrutil::print_array_2d(b, 7, 10, 4, k, "Seven by seven", out);
    EXPECT_EQ(k, 5);
    EXPECT_EQ(out.str(),
              "\n"
              "Seven by seven\n"
              "\n"
              "      1          2          3          4          5\n"
              "  1   11.1250    12.1250    13.1250    14.1250    15.1250\n"
              "  2   21.1250    22.1250    23.1250    24.1250    25.1250\n"
              "  3   31.1250    32.1250    33.1250    -1.5000    35.1250\n"
              "  4   41.1250    42.1250    43.1250    44.1250    45.1250\n"
              "  5   51.1250    52.1250    53.1250    54.1250    55.1250\n"
              "  6   61.1250    62.1250    63.1250    64.1250    65.1250\n"
              "  7   71.1250    72.1250    73.1250    74.1250    75.1250\n"
              "\n"
              "      6          7\n"
              "  1   16.1250    17.1250\n"
              "  2   26.1250    27.1250\n"
              "  3   36.1250    37.1250\n"
              "  4   46.1250    47.1250\n"
              "  5   56.1250    57.1250\n"
              "  6   66.1250    67.1250\n"
              "  7   76.1250    77.1250\n");
}

TEST(NrutilPrint, PrintArray2dUsesTheFirst128CharactersOfTheTitle) {
    kalvor::Matrix a(1, 1, 2.0);
    int k = 0;
    std::ostringstream out;
    nrutil::print_array_2d(a, 1, 6, 2, k, std::string(128, 'T') + "XYZ", out);
    EXPECT_EQ(out.str(), "\n" + std::string(128, 'T') + "\n\n      1\n  1  2.00\n");
}

TEST(NrutilPrint, BlocksLargerThanTheMatrixAreRefused) {
    kalvor::Matrix a(2, 2);
    std::ostringstream out;
    int k = 0;
    EXPECT_THROW(nrutil::matprn(out, a, 3, 1), std::out_of_range);
    EXPECT_THROW(nrutil::mat_print(2, 3, a, "t", out), std::out_of_range);
    EXPECT_THROW(nrutil::print_array_2d(a, 3, 8, 2, k, "t", out), std::out_of_range);
}

class NrutilDate : public ::testing::Test {
protected:
    void SetUp() override {
        const char* tz = std::getenv("TZ");
        saved_tz_ = tz ? std::optional<std::string>(tz) : std::nullopt;
        setenv("TZ", "UTC", 1);
        tzset();
    }
    void TearDown() override {
        runtime::reset_hooks();
        if (saved_tz_) setenv("TZ", saved_tz_->c_str(), 1);
        else unsetenv("TZ");
        tzset();
    }
    static void clock_at(std::time_t t) {
        runtime::Hooks hooks;
        hooks.now = [t] { return runtime::Clock::from_time_t(t); };
        runtime::set_hooks(hooks);
    }

private:
    std::optional<std::string> saved_tz_;
};

TEST_F(NrutilDate, DateTextIsBlankFilledToThirty) {
    clock_at(1709622489);  // 2024-03-05 07:08:09 UTC
    kalvor::Text<30> d("old text that must go away....");
    nrutil::f_date(d);
    EXPECT_EQ(d.str(), "Tue Mar  5 07:08:09 2024      ");
    kalvor::Text<30> c;
    nrutil::current_date(c);
    EXPECT_EQ(c.str(), d.str());

    clock_at(946684798);  // 1999-12-31 23:59:58 UTC
    nrutil::f_date(d);
    EXPECT_EQ(d.str(), "Fri Dec 31 23:59:58 1999      ");
}

}  // namespace
