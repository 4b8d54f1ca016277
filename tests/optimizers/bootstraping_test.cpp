// Bootstrap standard error of a sample mean in single precision.

#include "optimizers/bootstraping.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "foundations/runtime.h"
#include "run/sharc_fixture.h"

namespace {

using Floats = std::vector<float>;

TEST(Bootstraping, FewerThanTwoResamplesGiveNoSpread) {
    const Floats x = {1.0f, 2.0f, 4.0f, 8.0f};
    for (int nboot : {-3, 0, 1}) {
        float t = -1.0f, sd = -1.0f;
        bootstraping::bootstraping(4, x, {}, nboot, t, sd);
        EXPECT_EQ(sd, 0.0f) << nboot;
        EXPECT_EQ(t, 2.78f) << nboot;
    }
}

TEST(Bootstraping, TValueBySampleSize) {
    const auto t_for = [](int n) {
        const Floats x(static_cast<std::size_t>(std::max(n, 1)), 1.0f);
        float t = 0.0f, sd = 0.0f;
        bootstraping::bootstraping(n, x, {}, 1, t, sd);
        return t;
    };
    EXPECT_EQ(t_for(0), 2.0f);
    EXPECT_EQ(t_for(1), 12.71f);
    EXPECT_EQ(t_for(20), 2.09f);
    EXPECT_EQ(t_for(25), 2.06f);  // floor(12.3 exp(-0.2027) + 196.5) = 206
    EXPECT_EQ(t_for(45), 2.03f);  // floor(8.2 exp(-0.2051) + 196.5) = 203
    EXPECT_EQ(t_for(100), 1.98f); // floor(3.9 exp(-0.4452) + 196.5) = 198
    EXPECT_EQ(t_for(1000), 1.96f);
}

// The spread of resample means of n values is about s sqrt((n - 1) / n) / sqrt(n).
TEST(Bootstraping, SpreadOfTheMeansMatchesTheStandardError) {
    sharc_test::Repeatable repeatable;
    Floats x;
    for (int k = 0; k < 50; ++k) x.push_back(static_cast<float>(k % 10) * 0.5f + static_cast<float>(k % 7));
    double m = 0.0, ss = 0.0;
    for (float v : x) m += v / 50.0;
    for (float v : x) ss += (v - m) * (v - m);
    const double expected = std::sqrt(ss / 50.0) / std::sqrt(50.0);
    float t = 0.0f, sd = 0.0f;
    bootstraping::bootstraping(50, x, x, 4000, t, sd);
    EXPECT_NEAR(sd / expected, 1.0, 0.06);
}

TEST(Bootstraping, QuicksortOrdersAnyArray) {
    sharc_test::Repeatable repeatable;
    for (std::size_t size : {0u, 1u, 2u, 3u, 17u, 200u}) {
        for (int kind = 0; kind < 3; ++kind) {
            Floats a(size);
            for (float& v : a)
                v = kind == 0 ? static_cast<float>(runtime::random_number())
                              : (kind == 1 ? std::floor(static_cast<float>(runtime::random_number()) * 4.0f) : 1.0f);
            Floats expected = a;
            std::sort(expected.begin(), expected.end());
            bootstraping::qsort_array(a);
            EXPECT_EQ(a, expected) << size << " " << kind;
        }
    }
}

// A draw just below 1 that rounds to 1 in single precision picks the last
// value, never one beyond the sample.
TEST(Bootstraping, ResamplingStaysInsideTheSample) {
    runtime::Hooks hooks;
    hooks.random_number = [] { return 0.99999999; };
    runtime::set_hooks(hooks);
    const Floats storage = {1.0f, 2.0f, 3.0f, 99.0f};
    Floats r(3);
    bootstraping::bootstrap_resample(std::span<const float>(storage).first(3), r);
    runtime::reset_hooks();
    EXPECT_EQ(r, Floats(3, 3.0f));
    EXPECT_FLOAT_EQ(bootstraping::mean(std::span<const float>(storage).first(3)), 2.0f);
    EXPECT_EQ(bootstraping::mean({}), 0.0f);
}

}  // namespace
