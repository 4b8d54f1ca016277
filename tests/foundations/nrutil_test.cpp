// Numeric utilities: assertions, vector and matrix helpers, statistics,
// norm, rounding, guards and tolerant comparisons.  Expected values were
// worked out by hand, in Python, or by an independent Fortran program.

#include "foundations/nrutil.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <vector>

namespace {

const double kNaN = std::numeric_limits<double>::quiet_NaN();
const double kInf = std::numeric_limits<double>::infinity();

// Runs f, which must throw NrError, and returns the error.
template <class F>
nrutil::NrError expect_nrerror(F f) {
    try {
        f();
    } catch (const nrutil::NrError& e) {
        return e;
    }
    ADD_FAILURE() << "no NrError thrown";
    return nrutil::NrError("", "");
}

TEST(NrutilAssert, EqualSizesReturnTheSize) {
    EXPECT_EQ(nrutil::assert_eq2(4, 4, "t"), 4);
    EXPECT_EQ(nrutil::assert_eq3(2, 2, 2, "t"), 2);
    EXPECT_EQ(nrutil::assert_eq4(0, 0, 0, 0, "t"), 0);
    EXPECT_EQ(nrutil::assert_eq5(7, 7, 7, 7, 7, "t"), 7);
    EXPECT_EQ(nrutil::assert_eq6(1, 1, 1, 1, 1, 1, "t"), 1);
    const std::vector<int> sizes{5, 5, 5};
    EXPECT_EQ(nrutil::assert_eqn(sizes, "t"), 5);
    EXPECT_EQ(nrutil::assert_eqn({}, "t"), 0);  // no sizes: defined as 0
}

TEST(NrutilAssert, MismatchReportsTheTagToTheCallerInsteadOfExiting) {
    auto e = expect_nrerror([] { nrutil::assert_eq2(3, 4, "mytag"); });
    EXPECT_STREQ(e.what(), "nrerror: an assert_eq failed with this tag: mytag");
    EXPECT_EQ(e.stop_text(), "program terminated by assert_eq2");
    // Any one differing size fails, wherever it stands.
    EXPECT_EQ(expect_nrerror([] { nrutil::assert_eq3(1, 1, 2, "t"); }).stop_text(),
              "program terminated by assert_eq3");
    EXPECT_EQ(expect_nrerror([] { nrutil::assert_eq4(1, 2, 1, 1, "t"); }).stop_text(),
              "program terminated by assert_eq4");
    EXPECT_EQ(expect_nrerror([] { nrutil::assert_eq5(1, 1, 1, 1, 0, "t"); }).stop_text(),
              "program terminated by assert_eq5");
    EXPECT_EQ(expect_nrerror([] { nrutil::assert_eq6(1, 1, 1, 9, 1, 1, "t"); }).stop_text(),
              "program terminated by assert_eq6");
    const std::vector<int> sizes{2, 2, 3};
    auto en = expect_nrerror([&] { nrutil::assert_eqn(sizes, "vec"); });
    EXPECT_STREQ(en.what(), "nrerror: an assert_eq failed with this tag: vec");
    EXPECT_EQ(en.stop_text(), "program terminated by assert_eqn");
}

TEST(NrutilAssert, NrerrorCarriesTheMessage) {
    auto e = expect_nrerror([] { nrutil::nrerror("MATINVERSE: singular matrix"); });
    EXPECT_STREQ(e.what(), "nrerror: MATINVERSE: singular matrix");
    EXPECT_EQ(e.stop_text(), "program terminated by nrerror");
}

TEST(NrutilMatrix, DiagonalRoutinesTouchOnlyTheDiagonal) {
    kalvor::Matrix a(2, 3, 1.0);
    nrutil::diagmult_r(a, 3.0);
    nrutil::diagadd_r(a, 0.5);
    EXPECT_EQ(a(0, 0), 3.5);
    EXPECT_EQ(a(1, 1), 3.5);
    EXPECT_EQ(a(0, 1), 1.0);
    EXPECT_EQ(a(1, 2), 1.0);
    const std::vector<double> v{2.0, -1.0};
    nrutil::diagmult_rv(a, v);
    EXPECT_EQ(a(0, 0), 7.0);
    EXPECT_EQ(a(1, 1), -3.5);
    nrutil::diagadd_rv(a, v);
    EXPECT_EQ(a(0, 0), 9.0);
    EXPECT_EQ(a(1, 1), -4.5);
    EXPECT_EQ(a(1, 0), 1.0);
}

TEST(NrutilMatrix, DiagonalVectorOfWrongSizeIsReportedWithItsTag) {
    kalvor::Matrix a(3, 3, 1.0);
    const kalvor::Matrix before = a;
    const std::vector<double> v{1.0, 2.0};
    auto e = expect_nrerror([&] { nrutil::diagadd_rv(a, v); });
    EXPECT_STREQ(e.what(), "nrerror: an assert_eq failed with this tag: diagmult_rv");
    EXPECT_EQ(e.stop_text(), "program terminated by assert_eq2");
    EXPECT_STREQ(expect_nrerror([&] { nrutil::diagmult_rv(a, v); }).what(),
                 "nrerror: an assert_eq failed with this tag: diagmult_rv");
    EXPECT_EQ(a, before);
}

TEST(NrutilMatrix, OuterProducts) {
    const std::vector<double> a{1.0, 2.0}, b{3.0, -1.0, 0.5};
    kalvor::Matrix c;
    nrutil::outerprod(c, a, b);
    ASSERT_EQ(c.rows(), 2u);
    ASSERT_EQ(c.cols(), 3u);
    EXPECT_EQ(c(1, 0), 6.0);
    EXPECT_EQ(c(0, 1), -1.0);
    EXPECT_EQ(c(1, 2), 1.0);

    std::vector<bool> cb;
    nrutil::outerand(cb, {true, false, true}, {true, false});
    EXPECT_EQ(cb, (std::vector<bool>{true, false, true, false, false, false}));
}

TEST(NrutilMatrix, FloatMatrixToVectorByRowsAndByColumns) {
    // 2 x 3 matrix a(i,j) = 10 i + j, stored column by column.
    const std::vector<float> a{11, 21, 12, 22, 13, 23};
    std::vector<float> v(6);
    nrutil::rmatrow_to_rvec(2, 3, a, v);
    EXPECT_EQ(v, (std::vector<float>{11, 12, 13, 21, 22, 23}));
    nrutil::rmatcol_to_rvec(2, 3, a, v);
    EXPECT_EQ(v, a);
    std::vector<float> short_v(5);
    EXPECT_THROW(nrutil::rmatrow_to_rvec(2, 3, a, short_v), std::out_of_range);
}

TEST(NrutilVector, SwapAndCopy) {
    double x = 1.0, y = 2.0;
    nrutil::swap_r(x, y);
    EXPECT_EQ(x, 2.0);
    EXPECT_EQ(y, 1.0);

    std::vector<double> a{1, 2, 3}, b{4, 5, 6}, c{7, 8};
    nrutil::swap_rv(a, b);
    EXPECT_EQ(a, (std::vector<double>{4, 5, 6}));
    EXPECT_EQ(b, (std::vector<double>{1, 2, 3}));
    // Unequal vectors are reported, never read past their end.
    EXPECT_STREQ(expect_nrerror([&] { nrutil::swap_rv(a, c); }).what(),
                 "nrerror: an assert_eq failed with this tag: swap_rv");
    EXPECT_EQ(c, (std::vector<double>{7, 8}));

    int copied = -1, missed = -1;
    std::vector<int> dest(2, 0);
    nrutil::array_copy_i(std::vector<int>{1, 2, 3, 4}, dest, copied, missed);
    EXPECT_EQ(dest, (std::vector<int>{1, 2}));
    EXPECT_EQ(copied, 2);
    EXPECT_EQ(missed, 2);
    std::vector<double> dd(4, 0.0);
    nrutil::array_copy_d(std::vector<double>{1.5, 2.5}, dd, copied, missed);
    EXPECT_EQ(dd, (std::vector<double>{1.5, 2.5, 0, 0}));
    EXPECT_EQ(copied, 2);
    EXPECT_EQ(missed, 0);
    std::vector<float> df(1);
    nrutil::array_copy_r(std::vector<float>{0.25f, 1.0f}, df, copied, missed);
    EXPECT_EQ(df[0], 0.25f);
    EXPECT_EQ(copied, 1);
    EXPECT_EQ(missed, 1);
}

TEST(NrutilVector, ArithmeticProgressions) {
    std::vector<double> r(40);
    nrutil::arth_d(r, 1.0, 0.5, 40);
    for (int k = 0; k < 40; ++k) EXPECT_EQ(r[k], 1.0 + 0.5 * k) << k;

    std::vector<int> ri(20, -1);
    nrutil::arth_i(ri, 5, -3, 18);
    for (int k = 0; k < 18; ++k) EXPECT_EQ(ri[k], 5 - 3 * k) << k;
    EXPECT_EQ(ri[18], -1);  // beyond n nothing is written

    std::vector<double> none(3, 9.0);
    nrutil::arth_d(none, 1.0, 1.0, 0);
    EXPECT_EQ(none, (std::vector<double>(3, 9.0)));
    nrutil::arth_d(none, 1.0, 1.0, 10);  // clamped to the vector
    EXPECT_EQ(none, (std::vector<double>{1, 2, 3}));
}

TEST(NrutilVector, SinglePrecisionProgressionRoundsByBlockDoubling) {
    // Bit patterns from an independent single-precision run of the scheme:
    // eight additions of 0.1, then the block doubled with steps 0.8, 1.6, 3.2.
    const std::uint32_t expected[40] = {
        0x3DCCCCCD, 0x3E4CCCCD, 0x3E99999A, 0x3ECCCCCD, 0x3F000000, 0x3F19999A, 0x3F333334, 0x3F4CCCCE,
        0x3F666667, 0x3F800000, 0x3F8CCCCD, 0x3F99999A, 0x3FA66666, 0x3FB33334, 0x3FC00000, 0x3FCCCCCE,
        0x3FD9999A, 0x3FE66667, 0x3FF33334, 0x40000000, 0x40066666, 0x400CCCCD, 0x40133334, 0x4019999A,
        0x40200000, 0x40266666, 0x402CCCCD, 0x40333334, 0x4039999A, 0x40400000, 0x40466666, 0x404CCCCE,
        0x40533333, 0x4059999A, 0x40600000, 0x40666667, 0x406CCCCD, 0x40733334, 0x4079999A, 0x40800000};
    std::vector<float> r(40);
    nrutil::arth_r(r, 0.1f, 0.1f, 40);
    for (int k = 0; k < 40; ++k) EXPECT_EQ(std::bit_cast<std::uint32_t>(r[k]), expected[k]) << k;
}

TEST(NrutilVector, Subinterval) {
    std::vector<double> x(5);
    nrutil::r8vec_subinterval(5, 0.1, 0.7, x);
    EXPECT_EQ(x, (std::vector<double>{0.1, 0.25, 0.39999999999999997, 0.5499999999999999, 0.7}));
    nrutil::r8vec_subinterval(1, 2.0, 4.0, x);
    EXPECT_EQ(x[0], 3.0);
    EXPECT_THROW(nrutil::r8vec_subinterval(6, 0.0, 1.0, x), std::out_of_range);
}

TEST(NrutilStats, MeanOverPositions) {
    const std::vector<double> x{10, 1, 2, 3, 4, 100};
    double m = 0.0;
    nrutil::rvec_mean(2, 5, x, m);
    EXPECT_EQ(m, 2.5);
    nrutil::rvec_mean(3, 2, x, m);
    EXPECT_TRUE(std::isnan(m));
    EXPECT_THROW(nrutil::rvec_mean(2, 7, x, m), std::out_of_range);
    EXPECT_THROW(nrutil::rvec_mean(0, 2, x, m), std::out_of_range);
}

TEST(NrutilStats, StandardDeviations) {
    const std::vector<double> x{10, 1, 2, 3, 4, 100};
    double sd = -1.0;
    nrutil::rvec_stdev(2, 5, x, sd);
    EXPECT_DOUBLE_EQ(sd, 1.2909944487358056);  // sqrt(5/3)
    nrutil::rvec_stdev(4, 4, x, sd);
    EXPECT_EQ(sd, 0.0);

    const std::vector<double> one{42.0}, three{1, 2, 3};
    nrutil::rvec_stdev1(1, one, sd);
    EXPECT_EQ(sd, 0.0);
    nrutil::rvec_stdev1(3, three, sd);
    EXPECT_EQ(sd, 1.0);
    EXPECT_THROW(nrutil::rvec_stdev1(4, three, sd), std::out_of_range);
}

TEST(NrutilStats, MedianUsesASortedCopy) {
    const std::vector<double> x{3, 1, 2, 10};
    double med = 0.0;
    nrutil::rvec_median(x, 4, med);
    EXPECT_EQ(med, 2.5);
    EXPECT_EQ(x, (std::vector<double>{3, 1, 2, 10}));
    nrutil::rvec_median(x, 3, med);
    EXPECT_EQ(med, 2.0);
    nrutil::rvec_median(x, 1, med);
    EXPECT_EQ(med, 3.0);
    nrutil::rvec_median(x, 0, med);
    EXPECT_TRUE(std::isnan(med));

    double sd = -1.0;
    nrutil::rvec_stdev_median(4, x, sd);
    EXPECT_DOUBLE_EQ(sd, 4.43471156521669);  // sqrt(59/3) about 2.5
    nrutil::rvec_stdev_median(1, x, sd);
    EXPECT_EQ(sd, 0.0);
}

TEST(NrutilStats, HeapSortSortsAscendingAndOnlyTheFirstN) {
    std::mt19937 gen(12345);
    std::uniform_int_distribution<int> pick(-20, 20);
    for (int n : {2, 3, 7, 16, 101}) {
        std::vector<double> x(n);
        for (double& v : x) v = pick(gen) * 0.5;  // many ties
        std::vector<double> want = x;
        std::sort(want.begin(), want.end());
        nrutil::sortwt(n, x);
        EXPECT_EQ(x, want) << n;
    }
    std::vector<double> part{5, 4, 3, 2, 1};
    nrutil::sortwt(3, part);
    EXPECT_EQ(part, (std::vector<double>{3, 4, 5, 2, 1}));
    std::vector<double> single{7};
    nrutil::sortwt(1, single);
    nrutil::sortwt(0, single);
    EXPECT_EQ(single[0], 7.0);
}

TEST(NrutilNorm, ScaledEuclideanNorm) {
    EXPECT_EQ(nrutil::enorm2(2, std::vector<double>{3, 4}), 5.0);
    EXPECT_EQ(nrutil::enorm2(0, std::vector<double>{3, 4}), 0.0);
    // Beyond the squares' range at both ends.
    EXPECT_DOUBLE_EQ(nrutil::enorm2(2, std::vector<double>{3e200, -4e200}), 5e200);
    EXPECT_DOUBLE_EQ(nrutil::enorm2(2, std::vector<double>{3e-200, 4e-200}), 5e-200);
    // All three classes at once: the large one dominates.
    EXPECT_DOUBLE_EQ(nrutil::enorm2(3, std::vector<double>{1e-30, 1.0, 1e30}), 1e30);
    // Small and middle components together.
    EXPECT_DOUBLE_EQ(nrutil::enorm2(2, std::vector<double>{1e-21, 2.0}), 2.0);
    EXPECT_DOUBLE_EQ(nrutil::enorm2(3, std::vector<double>{3e-25, 0.0, 4e-25}), 5e-25);
    // A component exactly at the small limit counts as small.
    EXPECT_EQ(nrutil::enorm2(1, std::vector<double>{3.834e-20}), 3.834e-20);
    // Only the first n components count.
    EXPECT_EQ(nrutil::enorm2(2, std::vector<double>{3, 4, 1e300}), 5.0);
    // Against the plain formula in the safe range.
    std::vector<double> x(50);
    double ss = 0.0;
    for (int i = 0; i < 50; ++i) ss += (x[i] = std::sin(i + 1.0) * 3.0) * x[i];
    EXPECT_NEAR(nrutil::enorm2(50, x), std::sqrt(ss), 1e-14 * std::sqrt(ss));
}

TEST(NrutilRound, SignificantDigits) {
    EXPECT_EQ(nrutil::roundz(123456.0, 2), 120000.0);
    EXPECT_EQ(nrutil::roundz(0.0012345, 3), 0.0012300000000000002);
    EXPECT_EQ(nrutil::roundz(-2.5e-7, 1), -3e-07);  // half away from zero
    EXPECT_EQ(nrutil::roundz(-0.75, 1), -0.8);
    EXPECT_EQ(nrutil::roundz(1000.0, 2), 1000.0);
    EXPECT_EQ(nrutil::roundz(0.001, 3), 0.001);
    EXPECT_EQ(nrutil::roundz(999.96, 4), 1000.0);
    EXPECT_EQ(nrutil::roundz(123456.0, 0), 100000.0);  // nd below 1 counts as 1
    // Nine digits pass through single precision: only seven survive.
    EXPECT_EQ(nrutil::roundz(123456789.0, 9), 123456792.0);
}

TEST(NrutilRound, ValuesWithoutDigitsToRoundComeBackUnchanged) {
    EXPECT_EQ(nrutil::roundz(0.0, 3), 0.0);
    EXPECT_TRUE(std::isnan(nrutil::roundz(kNaN, 3)));
    EXPECT_EQ(nrutil::roundz(-kInf, 3), -kInf);
    // Digits beyond single precision's range would give an infinity.
    EXPECT_EQ(nrutil::roundz(1.5, 45), 1.5);
    // A subnormal whose scale lies beyond double's range.
    EXPECT_EQ(nrutil::roundz(5e-324, 3), 5e-324);
}

TEST(NrutilGuard, NanAndHugeValuesAreReplaced) {
    const double big = 0x1p53;
    for (double v : {kNaN, kInf, -kInf, 1e300, 0x1p54, -0x1p54, big + 4}) {
        double x = v;
        nrutil::rval_nan(x, 7.0);
        EXPECT_EQ(x, 7.0) << v;
    }
    for (double v : {big - 1, big, big + 2, -1.0, 0.0}) {
        double x = v;
        nrutil::rval_nan(x, 7.0);
        EXPECT_EQ(x, v) << v;
    }
    std::vector<double> xs{1.0, kNaN, -kInf, 2.0};
    nrutil::rvec_nan(xs, -1.0);
    EXPECT_EQ(xs, (std::vector<double>{1.0, -1.0, -1.0, 2.0}));
}

TEST(NrutilGuard, MachinePrecision) {
    double eps = 0.0;
    int digits = 0;
    nrutil::rval_prec(eps, digits);
    EXPECT_EQ(eps, 2.220446049250313e-16);
    EXPECT_EQ(digits, 53);
}

TEST(NrutilCompare, OrderingWithTinyTolerance) {
    EXPECT_FALSE(nrutil::real_fge(1.0, 1.0 + 1e-15));
    EXPECT_TRUE(nrutil::real_flt(1.0, 1.0 + 1e-15));
    EXPECT_TRUE(nrutil::real_fgt(1.0 + 1e-15, 1.0));
    EXPECT_FALSE(nrutil::real_fle(1.0 + 1e-15, 1.0));
    EXPECT_TRUE(nrutil::real_fge(1.0, 1.0));
    EXPECT_TRUE(nrutil::real_fle(1.0, 1.0));
    EXPECT_FALSE(nrutil::real_fgt(1.0, 1.0));
    EXPECT_FALSE(nrutil::real_flt(1.0, 1.0));
    EXPECT_TRUE(nrutil::real_fgt(0.0, -1e-310));
}

TEST(NrutilCompare, Equality) {
    EXPECT_TRUE(nrutil::real_feq(1.0, 1.0));
    EXPECT_FALSE(nrutil::real_feq(1.0, std::nextafter(1.0, 2.0)));
    EXPECT_TRUE(nrutil::real_fne(1.0, std::nextafter(1.0, 2.0)));
    EXPECT_TRUE(nrutil::real_feq(0.0, 4.45e-308));
    EXPECT_FALSE(nrutil::real_feq(0.0, 4.46e-308));
    EXPECT_TRUE(nrutil::real_feq(1e-308, -1e-308));
    EXPECT_FALSE(nrutil::real_fne(-2.5, -2.5));
}

TEST(NrutilCompare, VectorEqualityRelativeToTheLargestMagnitude) {
    const std::vector<double> a{1, 2, 3}, b{1, 2, 3.000001};
    EXPECT_TRUE(nrutil::real_fveq(a, b, 1e-6));
    EXPECT_FALSE(nrutil::real_fveq(a, b, 1e-7));
    EXPECT_TRUE(nrutil::real_fveq({}, {}, 0.0));
    EXPECT_FALSE(nrutil::real_fveq(a, std::vector<double>{1, kNaN, 3}, 1.0));
    // All-zero a: absolute differences, no division by zero.
    const std::vector<double> zero{0, 0};
    EXPECT_TRUE(nrutil::real_fveq(zero, std::vector<double>{0, 1e-9}, 1e-6));
    EXPECT_FALSE(nrutil::real_fveq(zero, std::vector<double>{0, 1.0}, 1e-6));
    EXPECT_STREQ(expect_nrerror([&] { nrutil::real_fveq(a, zero, 1.0); }).what(),
                 "nrerror: an assert_eq failed with this tag: real_fveq");
}

TEST(NrutilCompare, RoundedDifferenceAndPie) {
    EXPECT_EQ(nrutil::real_diff(2.0, 2.0, 4), 0.0);
    EXPECT_EQ(nrutil::real_diff(1.0, 1.1, 4), -0.06875);
    EXPECT_EQ(nrutil::real_diff(1.0, 1.000000000001, 20), 0.0);
    EXPECT_EQ(nrutil::real_diff(-3.0, 2.0, 3), -4.875);
    EXPECT_EQ(nrutil::real_diff(100.0, 99.0, 10), 0.9765625);
    EXPECT_EQ(nrutil::pie(0.0, 1.0), 3.141592653589793);
    EXPECT_EQ(nrutil::pie(1.0, 3.0), 7.283185307179586);
}

}  // namespace
