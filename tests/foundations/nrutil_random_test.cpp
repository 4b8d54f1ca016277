#include "foundations/nrutil_random.h"
#include "foundations/runtime.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <ctime>
#include <vector>

namespace {

class NrutilRandomTest : public ::testing::Test {
protected:
    void SetUp() override { nrutil::reset_random_state(); }
    void TearDown() override { runtime::reset_hooks(); }
};

// 2024-03-05 14:27:33.456 UTC.
constexpr long long kFixedMillis = 1709648853456LL;

void fix_time_utc() {
    setenv("TZ", "UTC", 1);
    tzset();
    runtime::Hooks hooks;
    hooks.now = [] { return runtime::Clock::time_point(std::chrono::milliseconds(kFixedMillis)); };
    runtime::set_hooks(std::move(hooks));
}

}  // namespace

TEST_F(NrutilRandomTest, RndomSequence) {
    EXPECT_DOUBLE_EQ(nrutil::rndom(0), 55734970.0 / 100000001.0);
    EXPECT_DOUBLE_EQ(nrutil::rndom(0), 0.5573496944265031);
    EXPECT_DOUBLE_EQ(nrutil::rndom(1), 81904298.0 / 100000001.0);
    EXPECT_DOUBLE_EQ(nrutil::rndom(0), 55734970.0 / 100000001.0);  // flag 0 restarts
}

// Stepping before the seeding call used to divide by a zero modulus.
TEST_F(NrutilRandomTest, RndomStartsItselfWhenNeverSeeded) {
    const double first = nrutil::rndom(7);
    EXPECT_TRUE(std::isfinite(first));
    EXPECT_DOUBLE_EQ(first, 81904298.0 / 100000001.0);
}

TEST_F(NrutilRandomTest, Kiss64MatchesThePublishedCheck) {
    const std::int64_t first = nrutil::kiss64();
    std::int64_t t = first;
    for (int i = 1; i < 100000000; ++i) t = nrutil::kiss64();
    EXPECT_EQ(t, 1666297717051644203LL);  // Marsaglia's value after 10^8 draws
    nrutil::reset_random_state();
    EXPECT_EQ(nrutil::kiss64(), first);
}

TEST_F(NrutilRandomTest, RandlcgAndRandfmrgValues) {
    std::vector<double> x(4);
    nrutil::randlcg(x, 4);
    EXPECT_DOUBLE_EQ(x[0], 0.9996948195622082);
    EXPECT_DOUBLE_EQ(x[1], 0.05501234969771929);
    EXPECT_DOUBLE_EQ(x[2], 0.29996761663063864);
    EXPECT_DOUBLE_EQ(x[3], 0.15532450388515429);

    nrutil::randfmrg(x, 4);
    EXPECT_DOUBLE_EQ(x[0], 0.3093907089482018);
    EXPECT_DOUBLE_EQ(x[1], 0.6906092910517981);
    EXPECT_DOUBLE_EQ(x[2], 0.6615027928079957);
    EXPECT_DOUBLE_EQ(x[3], 0.3907037756362482);

    EXPECT_THROW(nrutil::randfmrg(x, 5), std::out_of_range);
}

TEST_F(NrutilRandomTest, GasdevValuesAndSpread) {
    std::vector<double> x(3);
    nrutil::gasdev(x, 3);
    EXPECT_DOUBLE_EQ(x[0], 1.11158334979736);
    EXPECT_DOUBLE_EQ(x[1], -1.0876830722087023);
    EXPECT_DOUBLE_EQ(x[2], 1.7032381994192454);

    std::vector<double> big(20000);
    nrutil::gasdev(big, 20000);
    double sum = 0, sum2 = 0;
    for (double v : big) sum += v, sum2 += v * v;
    const double mean = sum / 20000;
    EXPECT_NEAR(mean, 0.0, 0.03);
    EXPECT_NEAR(std::sqrt(sum2 / 20000 - mean * mean), 1.0, 0.03);
}

TEST_F(NrutilRandomTest, ShufflePermutes) {
    std::vector<double> x(50);
    nrutil::randlcg(x, 50);
    auto shuffled = x;
    nrutil::shuffle(shuffled, 50);
    EXPECT_NE(shuffled, x);
    std::sort(x.begin(), x.end());
    std::sort(shuffled.begin(), shuffled.end());
    EXPECT_EQ(shuffled, x);
}

TEST_F(NrutilRandomTest, RandumStaysInItsTwoBands) {
    std::vector<double> x(2000);
    nrutil::randum(x, 2000);
    int negative = 0;
    for (double v : x) {
        ASSERT_GE(std::fabs(v), 0.05);
        ASSERT_LE(std::fabs(v), 0.9);
        negative += v < 0;
    }
    EXPECT_GT(negative, 0);
    EXPECT_LT(negative, 2000);
}

TEST_F(NrutilRandomTest, SphereVectorsHaveUnitLength) {
    std::vector<double> x(300);
    nrutil::randsphere3rvec(x, 100);
    double zsum = 0;
    for (int m = 0; m < 100; ++m) {
        const double* v = &x[static_cast<std::size_t>(3 * m)];
        EXPECT_NEAR(v[0] * v[0] + v[1] * v[1] + v[2] * v[2], 1.0, 1e-12);
        zsum += v[2];
    }
    EXPECT_LT(std::fabs(zsum / 100), 0.25);
}

// Ten candidate pairs outside the unit circle used to leave z > 1 and take
// the square root of a negative number.
TEST_F(NrutilRandomTest, SpherePointFromRejectedPairsIsStillAUnitVector) {
    const std::vector<double> corner(11, 0.99);
    const auto p = nrutil::detail::sphere_point(corner);
    for (double c : p) EXPECT_TRUE(std::isfinite(c));
    EXPECT_NEAR(p[0] * p[0] + p[1] * p[1] + p[2] * p[2], 1.0, 1e-12);

    // The first accepted pair decides: (0.5, 0.75) gives va = 0, vb = 0.5.
    std::vector<double> u(11, 0.99);
    u[0] = 0.5;
    u[1] = 0.75;
    const auto q = nrutil::detail::sphere_point(u);
    EXPECT_DOUBLE_EQ(q[0], 0.0);
    EXPECT_DOUBLE_EQ(q[1], 0.5 * std::sqrt((1 - 0.25) / 0.25));
    EXPECT_DOUBLE_EQ(q[2], -0.5);
}

TEST_F(NrutilRandomTest, RandvsubSeedsFromANegativeIdum) {
    std::int32_t idum = -7;
    std::vector<double> x(3);
    nrutil::randv(idum, x, 3);
    EXPECT_EQ(idum, 8);
    EXPECT_DOUBLE_EQ(x[0], 0.22496709061282585);
    EXPECT_DOUBLE_EQ(x[1], 0.6614288571283827);
    EXPECT_DOUBLE_EQ(x[2], 0.8785065437805197);
}

TEST_F(NrutilRandomTest, NormalvecTransformsTheFirstN) {
    fix_time_utc();
    std::vector<double> x(30, -99.0);
    nrutil::normalvec(x, 5);
    EXPECT_DOUBLE_EQ(x[0], 1.8424492384165059);
    EXPECT_DOUBLE_EQ(x[1], -9.7266437616412e-05);
    EXPECT_DOUBLE_EQ(x[2], 0.3510157611802239);
    EXPECT_DOUBLE_EQ(x[3], -0.47843359621627035);
    EXPECT_DOUBLE_EQ(x[4], -0.8029580488293953);
    EXPECT_DOUBLE_EQ(x[5], 0.8520279781857694);  // drawn, not transformed
    EXPECT_DOUBLE_EQ(x[29], 0.2673527379735374);
}

// Fewer than 30 slots, or more than 30 values asked for, used to write past
// the caller's vector or transform values never drawn.
TEST_F(NrutilRandomTest, NormalvecSizesItsOwnWork) {
    fix_time_utc();
    std::vector<double> few;
    nrutil::normalvec(few, 4);
    ASSERT_EQ(few.size(), 4u);
    EXPECT_DOUBLE_EQ(few[3], -0.47843359621627035);

    std::vector<double> many(3, 0.0);
    nrutil::normalvec(many, 40);
    ASSERT_EQ(many.size(), 40u);
    EXPECT_DOUBLE_EQ(many[0], 1.8424492384165059);
    EXPECT_DOUBLE_EQ(many[35], -0.5807422684137029);
    EXPECT_DOUBLE_EQ(many[39], 0.5166877423282147);
}

TEST_F(NrutilRandomTest, SeedsFromTheTimeOfDay) {
    fix_time_utc();
    std::int32_t seed = 0;
    nrutil::ranseed(seed);
    EXPECT_EQ(seed, -(10101 * 33 + 1010 * 27 + 1001 * 456 + 1));

    nrutil::rand_seed(seed);
    const std::int32_t p1 = 2048 * 33 + 456, p2 = 64 * 14 + 27, p3 = 256 * 2024 + 32 * 3 + 5;
    EXPECT_EQ(seed, p1);
    const auto words = runtime::random_seed_get();
    const std::int32_t parts[3] = {p1, p2, p3};
    for (std::size_t k = 0; k < words.size(); ++k) EXPECT_EQ(words[k], parts[k % 3]);
}
