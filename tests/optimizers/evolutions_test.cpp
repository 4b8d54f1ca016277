// Differential evolution on Example 1's rows and on guarded models, with the
// run time's draws fixed.

#include "optimizers/evolutions.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "foundations/runtime.h"
#include "model/globals.h"
#include "optimizers/fit_fixture.h"

namespace {

using optimizer_test::Fit;

// Example 1's unweighted sum of squares at p.
double example_ssq(const Fit& fit, const std::vector<double>& p) {
    return optimizer_test::plain_ssq(fit, [&](double x) { return p[1] * x / (p[0] + x); });
}

// Draws in groups of eleven equal values, so that every evolutions::randomu
// call returns its group's value: first the scripted values, then a fixed
// pseudo-random sequence.
class ScriptedDraws {
public:
    explicit ScriptedDraws(std::vector<double> script) {
        auto count = std::make_shared<long long>(0);
        runtime::Hooks hooks;
        hooks.random_number = [count, script = std::move(script)] {
            const auto call = static_cast<std::size_t>((*count)++ / 11);
            if (call < script.size()) return script[call];
            unsigned long long z = call * 0x9E3779B97F4A7C15ULL + 12345;
            z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
            z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
            return static_cast<double>((z ^ (z >> 31)) >> 11) / 9007199254740992.0;
        };
        hooks.monotonic_seconds = [] { return 1000.0; };
        runtime::set_hooks(hooks);
    }
    ~ScriptedDraws() { runtime::reset_hooks(); }
};

class Evolution : public ::testing::Test {
protected:
    void SetUp() override {
        optimizer_test::restart_run_clock();  // at the fixed reading
    }
    void TearDown() override { globals::reset_run_state(); }

    // Runs evol on fit from its start with the caller's value f.
    std::vector<double> search(const Fit& fit, double& f, int& generations, int cap) {
        sharc_test::set_up_data(fit);
        globals::timemax = 600000.0;
        std::vector<double> p = fit.p;
        evolutions::evol(static_cast<int>(fit.y.size()), static_cast<int>(p.size()), p, f, generations, cap);
        return p;
    }

    sharc_test::Repeatable draws;
};

TEST_F(Evolution, LowersExampleOnesSumFromAStartNearItsOptimum) {
    const Fit fit = optimizer_test::michaelis_menten({20.0, 100.0});
    const double start = example_ssq(fit, fit.p);
    ASSERT_LT(start, 100.0 * 1321.9227);
    double f = start;
    int generations = -1;
    const auto p = search(fit, f, generations, 60);
    EXPECT_LT(f, start);
    EXPECT_GE(f, 1321.9226);  // never below the least-squares optimum
    EXPECT_NEAR(f, example_ssq(fit, p), 1e-9 * f);
    EXPECT_GE(generations, 1);
    EXPECT_LE(generations, 60);
    EXPECT_EQ(globals::totaltime, 0.0);  // the run clock's sum is the driver's
}

TEST_F(Evolution, AWeightedFitReturnsTheWeightedSumAtItsResult) {
    Fit fit = optimizer_test::michaelis_menten({20.0, 100.0});
    for (std::size_t i = 0; i < fit.y.size(); ++i) fit.sig.push_back(1.0 + 0.1 * static_cast<double>(i));
    fit.mode = 1;
    // Sum of ((y - model) / sigma)^2.
    const auto weighted = [&](const std::vector<double>& p) {
        double sum = 0.0;
        for (std::size_t i = 0; i < fit.y.size(); ++i) {
            const double r = (fit.y[i] - p[1] * fit.x[i] / (p[0] + fit.x[i])) / fit.sig[i];
            sum += r * r;
        }
        return sum;
    };
    const double start = weighted(fit.p);
    double f = start;
    int generations = 0;
    const auto p = search(fit, f, generations, 30);
    EXPECT_LT(f, start);
    EXPECT_NEAR(f, weighted(p), 1e-9 * f);
}

TEST_F(Evolution, HeldParametersNeverMove) {
    Fit fit = optimizer_test::michaelis_menten({0.1 + 0.2, 100.0});
    fit.mask = {0, 1};
    double f = example_ssq(fit, fit.p);
    int generations = 0;
    const auto p = search(fit, f, generations, 20);
    EXPECT_EQ(p[0], 0.1 + 0.2);
    EXPECT_NE(p[1], 100.0);
    EXPECT_EQ(common_data::pfinal[0], 0.1 + 0.2);
    EXPECT_NEAR(f, example_ssq(fit, p), 1e-9 * f);
}

TEST_F(Evolution, AModelOverflowingNearItsStartGivesAFinitePointAndValue) {
    Fit fit;
    fit.formula = "EXP(P1*X1)+P2";
    for (int i = 1; i <= 10; ++i) {
        fit.x.push_back(10.0 * i);
        fit.y.push_back(std::exp(0.3 * i) + 2.0);
    }
    fit.p = {0.4, 1.0};  // exp(40) and beyond: the model's clamp
    double f = 1e40;
    int generations = 0;
    const auto p = search(fit, f, generations, 20);
    EXPECT_TRUE(std::isfinite(p[0]) && std::isfinite(p[1]));
    EXPECT_TRUE(std::isfinite(f));
}

TEST_F(Evolution, AFirstMemberThatIsLowestIsReturnedOrBettered) {
    // The first member is seeded at (32.5, 136.95), near the optimum.
    const Fit fit = optimizer_test::michaelis_menten({20.0, 100.0});
    const std::vector<double> member = {20.0 * 1.625, 100.0 * 1.3695};
    ScriptedDraws scripted({0.5 + 0.625 / 3.0, 0.5 + 0.3695 / 3.0});
    double f = example_ssq(fit, fit.p);
    int generations = 0;
    const auto p = search(fit, f, generations, 0);
    EXPECT_EQ(generations, 1);
    EXPECT_LE(f, example_ssq(fit, member) * (1.0 + 1e-12));
    EXPECT_NEAR(f, example_ssq(fit, p), 1e-9 * f);
}

TEST_F(Evolution, AResultAboveTheCallersValueOrFarBelowItReturnsTheStart) {
    const Fit fit = optimizer_test::michaelis_menten({20.0, 100.0});
    for (const double f_in : {1000.0, 1e6}) {  // the optimum is 1321.9
        double f = f_in;
        int generations = 0;
        const auto p = search(fit, f, generations, 20);
        EXPECT_EQ(p, fit.p);
        EXPECT_EQ(f, f_in);
    }
}

TEST_F(Evolution, ASpentTimeBudgetReturnsTheStartWithNoGenerations) {
    const Fit fit = optimizer_test::michaelis_menten({20.0, 100.0});
    auto now = std::make_shared<double>(1000.0);
    runtime::Hooks hooks;
    hooks.monotonic_seconds = [now] { return *now; };
    hooks.random_number = [] { return 0.25; };
    runtime::set_hooks(hooks);
    optimizer_test::restart_run_clock();
    *now += 600001.0;
    double f = 5000.0;
    int generations = -1;
    const auto p = search(fit, f, generations, 20);
    EXPECT_EQ(generations, 0);
    EXPECT_EQ(p, fit.p);
    EXPECT_EQ(f, 5000.0);
}

TEST_F(Evolution, TheObjectiveCountsAPerfectFitAsHugeAndPullsWildParametersIn) {
    Fit fit;
    fit.formula = "P1+P2*X1";
    fit.x = {1, 2, 3};
    fit.y = {5, 7, 9};
    fit.p = {3.0, 2.0};
    sharc_test::set_up_data(fit);
    std::vector<double> x = {3.0, 2.0};
    double fx = 0.0;
    evolutions::regfunc(x, common_data::pmask, fx, 2, 3);
    EXPECT_EQ(fx, evolutions::wide_bound);

    evolutions::wide_bounds = -1;
    x = {std::nan(""), 1e30};
    evolutions::regfunc(x, common_data::pmask, fx, 2, 3);
    EXPECT_TRUE(std::isfinite(x[0]));
    EXPECT_LT(std::fabs(x[1]), evolutions::wide_bound);
    EXPECT_TRUE(std::isfinite(fx));
}

TEST(Randomu, PicksTheDrawIndexedByTheTruncatedWeightedSum) {
    // (j - 6) r_j truncated toward zero: 0 for j = 1..8, 1 for j = 9, 2 for j = 10: r_4.
    auto count = std::make_shared<int>(0);
    runtime::Hooks hooks;
    hooks.random_number = [count] { return 0.05 * (++*count); };
    runtime::set_hooks(hooks);
    double u = 0.0;
    evolutions::randomu(u);
    runtime::reset_hooks();
    EXPECT_DOUBLE_EQ(u, 0.2);
}


// Bits of every draw folded into one number (FNV-1a over the 8 bytes).
struct DrawHash {
    unsigned long long value = 0xcbf29ce484222325ULL;
    void add(double u) {
        unsigned long long bits = 0;
        std::memcpy(&bits, &u, sizeof bits);
        for (int k = 0; k < 8; ++k) value = (value ^ ((bits >> (8 * k)) & 0xFF)) * 0x100000001b3ULL;
    }
};

TEST(Randomu, RepeatsItsRecordedSequenceUnderTheRepeatableClock) {
    // A long sequence as the reseeding draw gave it, then the run time's
    // generator where those draws left it (a plain draw and the seed vector).
    runtime::set_hooks(runtime::repeatable_clock());
    DrawHash hash;
    double first = 0.0, u = 0.0;
    for (int k = 0; k < 100000; ++k) {
        evolutions::randomu(u);
        if (k == 0) first = u;
        hash.add(u);
    }
    const double after = runtime::random_number();
    for (const std::int32_t v : runtime::random_seed_get()) hash.add(v);
    runtime::reset_hooks();
    EXPECT_EQ(first, 0.76984184149493839);
    EXPECT_EQ(after, 0.80594680712082456);
    EXPECT_EQ(hash.value, 16169729448786935181ULL);
}

}  // namespace
