#include "foundations/random.h"
#include "foundations/runtime.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>
#include <set>
#include <vector>

namespace {

// Replaces the system clock by the given reading function.
void set_clock(std::function<double()> clock) {
    runtime::Hooks hooks;
    hooks.monotonic_seconds = std::move(clock);
    runtime::set_hooks(std::move(hooks));
}

// Freezes the system clock at the given reading in seconds.
void freeze_clock(double seconds) {
    set_clock([seconds] { return seconds; });
}

class RandomTest : public ::testing::Test {
protected:
    void SetUp() override {
        randomize::reset();
        freeze_clock(12.5);  // clock count 12500 ms
    }
    void TearDown() override { runtime::reset_hooks(); }
};

std::vector<double> draws(int count) {
    std::vector<double> r(static_cast<std::size_t>(count));
    for (double& v : r) randomize::random_r(v);
    return r;
}

}  // namespace

TEST_F(RandomTest, SeedWordsComeFromTheClockCount) {
    std::int32_t seed = 0;
    randomize::init_random_seed(seed);
    const int n = runtime::random_seed_size();
    EXPECT_EQ(seed, 12500 + 37 * (n - 1));
    const auto words = runtime::random_seed_get();
    ASSERT_EQ(static_cast<int>(words.size()), n);
    for (int k = 0; k < n; ++k) EXPECT_EQ(words[static_cast<std::size_t>(k)], 12500 + 37 * k);

    // A clock without a usable reading counts as 30000.
    freeze_clock(-4.0);
    randomize::init_random_seed(seed);
    EXPECT_EQ(seed, 30000 + 37 * (n - 1));
    // The pi_rand entry is the same routine.
    freeze_clock(12.5);
    pi_rand::init_random_seed(seed);
    EXPECT_EQ(seed, 12500 + 37 * (n - 1));
}

// Values worked out independently from the table construction, the lagged
// subtraction and the carry, with the clock frozen at 12500 ms and each
// rebuild's first seed moved one past the previous one.
TEST_F(RandomTest, LaggedGeneratorMatchesIndependentValues) {
    const auto r = draws(200);
    EXPECT_DOUBLE_EQ(r[0], 0.9331450691894703);
    EXPECT_DOUBLE_EQ(r[1], 0.43270517092157545);
    EXPECT_DOUBLE_EQ(r[2], 0.805364833694407);
    EXPECT_DOUBLE_EQ(r[50], 0.531579924056278);
    EXPECT_DOUBLE_EQ(r[96], 0.12037610766598827);
    EXPECT_DOUBLE_EQ(r[97], 0.7072031655295838);  // the 98th draw rebuilds the table
    EXPECT_DOUBLE_EQ(r[98], 0.11340171689791234);
    EXPECT_DOUBLE_EQ(r[150], 0.054223332234287436);
    EXPECT_DOUBLE_EQ(r[194], 0.16491810454405298);
    EXPECT_DOUBLE_EQ(r[199], 0.15324419755626006);
}

TEST_F(RandomTest, DrawsLieInTheUnitInterval) {
    set_clock([t = 0.0]() mutable { return t += 0.0007; });
    for (double v : draws(20000)) {
        ASSERT_GE(v, 0.0);
        ASSERT_LT(v, 1.0);
    }
}

// With the clock standing still every rebuild used to get the same seeds, so
// each block of 97 repeated the previous one shifted only by the carry.
TEST_F(RandomTest, RebuildsWithinOneClockTickDoNotRepeatTheBlock) {
    const auto r = draws(97 * 6);
    for (int block = 1; block < 6; ++block) {
        std::set<double> shifts;
        for (int k = 0; k < 97; ++k) {
            double d = r[static_cast<std::size_t>(block * 97 + k)] - r[static_cast<std::size_t>(k)];
            if (d < 0) d += 1.0;
            shifts.insert(std::round(d * 1e9));
        }
        EXPECT_GT(shifts.size(), 90u) << "block " << block << " repeats block 0";
    }
}

TEST_F(RandomTest, ResetRepeatsTheSequence) {
    const auto first = draws(150);
    randomize::reset();
    EXPECT_EQ(draws(150), first);
}

TEST_F(RandomTest, UniformInARange) {
    double r = 0.0;
    randomize::random_uni_r(r, 2.5, 2.5);
    EXPECT_EQ(r, 2.5);
    for (int k = 0; k < 1000; ++k) {
        randomize::random_uni_r(r, -3.0, 5.0);
        ASSERT_GE(r, -3.0);
        ASSERT_LT(r, 5.0);
    }
}

TEST_F(RandomTest, GaussHasItsMeanAndSpread) {
    set_clock([t = 100.0]() mutable { return t += 0.013; });
    const int n = 40000;
    double sum = 0.0, sum2 = 0.0;
    for (int k = 0; k < n; ++k) {
        double r = 0.0;
        randomize::random_gauss_r(r, 10.0, 2.0);
        ASSERT_TRUE(std::isfinite(r));
        sum += r;
        sum2 += r * r;
    }
    const double mean = sum / n, sd = std::sqrt(sum2 / n - mean * mean);
    EXPECT_NEAR(mean, 10.0, 0.04);
    EXPECT_NEAR(sd, 2.0, 0.04);
}

TEST_F(RandomTest, RnduniIsMadeFromTheClock) {
    // Seed word 12759: the mixing leaves 56330, scaled 89047.17, seeds 8904.
    EXPECT_DOUBLE_EQ(pi_rand::rnduni(), 0.2075175596523975);
    EXPECT_EQ(pi_rand::rnduni(), pi_rand::rnduni());  // same tick, same value
    freeze_clock(12.501);
    const double other = pi_rand::rnduni();
    EXPECT_NE(other, 0.2075175596523975);
    EXPECT_GE(other, 0.0);
    EXPECT_LT(other, 1.0);
}

TEST(PiRandGen, QuadruplePrecisionMap) {
    double x = 0.5;
    EXPECT_EQ(pi_rand::pi_rand_gen(x), 0.10545959705933088);
    EXPECT_EQ(x, 0.10545959705933088);
    // Further steps of the map from there.
    EXPECT_EQ(pi_rand::pi_rand_gen(x), 0.021729703651198223);
    EXPECT_EQ(pi_rand::pi_rand_gen(x), 0.9838102202448433);
    EXPECT_EQ(pi_rand::pi_rand_gen(x), 0.44699054712201813);
    x = 0.999;
    EXPECT_EQ(pi_rand::pi_rand_gen(x), 0.356044046976578);
    x = 1e-9;
    EXPECT_EQ(pi_rand::pi_rand_gen(x), 0.3891956830317244);
}

TEST(PiRandGen, ZeroStartAndRange) {
    double x = 0.0;
    EXPECT_EQ(pi_rand::pi_rand_gen(x), 0.14159342040448605);
    EXPECT_EQ(x, 0.14159342040448605);
    for (int k = 0; k < 5000; ++k) {
        const double v = pi_rand::pi_rand_gen(x);
        ASSERT_GE(v, 1.05e-6);
        ASSERT_LE(v, 0.99999906);
    }
    // States outside the map's range still give a value in range.
    for (double start : {1e6, -7.0, std::numeric_limits<double>::infinity(), std::nan("")}) {
        x = start;
        const double v = pi_rand::pi_rand_gen(x);
        EXPECT_GE(v, 1.05e-6) << start;
        EXPECT_LE(v, 0.99999906) << start;
    }
}
