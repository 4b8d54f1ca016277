// The optimiser cascade: acceptance rules, the seam through which the
// optimiser services join, the flags that shape the sequence, Cancel, the
// cycle limit and the time budget.

#include "run/cascade.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "foundations/runtime.h"
#include "model/globals.h"
#include "run/sharc.h"
#include "run/seam_fixture.h"
#include "run/sharc_fixture.h"

namespace {

// ---- acceptance rules ----

TEST(CascadeRules, GaussNewtonTrustsDropsDownTo1e4) {
    const double lowest = 250.0;
    EXPECT_TRUE(cascade::gauss_newton_plausible(1e-4 * lowest, lowest));
    EXPECT_FALSE(cascade::gauss_newton_plausible(std::nextafter(1e-4 * lowest, 0.0), lowest));
    EXPECT_TRUE(cascade::gauss_newton_plausible(std::nextafter(lowest, 0.0), lowest));
    EXPECT_FALSE(cascade::gauss_newton_plausible(lowest, lowest));
}

TEST(CascadeRules, SequentialQuadraticMarginIsOneHundredthOfAPercent) {
    const double lowest = 1000.0;
    EXPECT_TRUE(cascade::within_sqp_margin(1000.05, lowest));  // 0.005 % worse
    EXPECT_FALSE(cascade::lower(1000.05, lowest));
    EXPECT_FALSE(cascade::within_sqp_margin(1000.1, lowest));
}

TEST(CascadeRules, EvolutionWithAHugeDropAtItsGenerationCapIsNotTrusted) {
    const double lowest = 1.0;
    EXPECT_FALSE(cascade::evolution_plausible(1e-6, lowest, 350, 350));
    EXPECT_FALSE(cascade::evolution_plausible(1e-7, lowest, 400, 350));
    EXPECT_TRUE(cascade::evolution_plausible(1e-6, lowest, 349, 350));
    EXPECT_TRUE(cascade::evolution_plausible(1.01e-6, lowest, 350, 350));
    EXPECT_FALSE(cascade::evolution_plausible(1.0, lowest, 10, 350));
}

TEST(CascadeRules, RandomStepMayAtMostHalveTheValue) {
    EXPECT_TRUE(cascade::random_step_plausible(50.0, 100.0));
    EXPECT_FALSE(cascade::random_step_plausible(49.999, 100.0));
    EXPECT_FALSE(cascade::random_step_plausible(100.0, 100.0));
}

TEST(CascadeRules, LevenbergMarquardtKeepsTies) {
    EXPECT_TRUE(cascade::levenberg_kept(7.0, 7.0));
    EXPECT_FALSE(cascade::levenberg_kept(7.0000001, 7.0));
}

// ---- fits through the seam ----

using sharc_test::Report;

// The straight line y = P1 + P2 X1 on x = 1..8, unweighted, inside [-100, 100].
class CascadeRun : public sharc_test::SeamTest {
protected:
    void SetUp() override {
        SeamTest::SetUp();
        globals::iopt = 1;
        sharc_test::compile_model("P1+P2*X1", 2);
    }

    sharc_mod::SharcArgs line_fit(const std::vector<double>& y) {
        std::vector<double> x;
        for (std::size_t i = 0; i < y.size(); ++i) x.push_back(static_cast<double>(i + 1));
        auto a = sharc_test::one_variable_fit(x, y, {1.0, 1.0}, {-100.0, -100.0}, {100.0, 100.0});
        a.level = 3;
        a.cap_plus_one = 95;
        a.bounded = 1;
        a.restart = &restart;
        return a;
    }

    // Unweighted sum of squares of the line at p.
    double ssq(const sharc_mod::SharcArgs& a, std::span<const double> p) const {
        double sum = 0.0;
        for (int i = 0; i < a.n; ++i) {
            const double r = a.y[static_cast<std::size_t>(i)] - p[0] - p[1] * (i + 1);
            sum += r * r;
        }
        return sum;
    }

    // The least-squares line through the rows of a.
    std::vector<double> optimum(const sharc_mod::SharcArgs& a) const {
        std::vector<double> x;
        for (int i = 0; i < a.n; ++i) x.push_back(i + 1);
        const auto line = sharc_test::least_squares_line(x, a.y);
        return {line.a, line.b};
    }

    sharc_test::Repeatable repeatable;
    int restart = 0;
};

const std::vector<double> noisy = {2.1, 3.9, 6.2, 7.8, 10.1, 12.2, 13.8, 16.1};
const std::vector<double> exact = {5.0, 8.0, 11.0, 14.0, 17.0, 20.0, 23.0, 26.0};  // 2 + 3 x

TEST_F(CascadeRun, AStageIsJudgedOnTheDriversOwnObjectiveNotOnItsClaim) {
    auto a = line_fit(noisy);
    std::vector<double> before_lie, after_lie;
    cascade::services().va10b = [&](int, int k, std::span<double> p, double& value, std::span<double>, int, int,
                                    int, int&) {
        if (!before_lie.empty()) return;
        before_lie.assign(p.begin(), p.begin() + k);
        p[0] += 5.0;  // much worse ...
        value = 0.0;  // ... but claimed perfect
    };
    cascade::services().vmsqp = [&](cascade::VmsqpCall& c) {
        if (after_lie.empty()) after_lie.assign(c.p.begin(), c.p.end());
    };
    sharc_mod::sharc(a);
    const auto va10b = of("va10b");
    ASSERT_FALSE(va10b.empty());
    EXPECT_FALSE(va10b[0].accepted);
    EXPECT_NEAR(va10b[0].value, ssq(a, std::vector<double>{before_lie[0] + 5.0, before_lie[1]}), 1e-9);
    EXPECT_EQ(after_lie, before_lie);  // the next stage starts from the kept vector
}

TEST_F(CascadeRun, AnImprovementIsKeptWhateverTheStageClaims) {
    auto a = line_fit(noisy);
    const auto best = optimum(a);
    cascade::services().tunnelsearch = [&](const kalvor::Objective&, int, std::span<double> p, double& value,
                                           std::span<double>, std::span<double>, std::span<const int>) {
        p[0] = best[0];
        p[1] = best[1];
        value = 1e300;
    };
    sharc_mod::sharc(a);
    const auto tunnel = of("tunnelsearch");
    ASSERT_EQ(tunnel.size(), 1u);  // judged once after the tunnelling searches
    EXPECT_TRUE(tunnel[0].accepted);
    EXPECT_NEAR(tunnel[0].value, ssq(a, best), 1e-9);
    EXPECT_NEAR(a.ssq, ssq(a, best), 1e-9);
}

// The descent between the tunnel searches gets the working bounds lower
// first, then its work counter, and the value slot last.
TEST_F(CascadeRun, TheDescentGetsLowerThenUpperBoundsAndTheValueSlot) {
    auto a = line_fit(noisy);
    a.lo = {-50.0, -60.0};
    a.hi = {70.0, 80.0};
    std::vector<double> lo, hi;
    double slot = 0.0;
    cascade::services().adam = [&](const kalvor::Objective& f, int k, int, std::span<double> p,
                                   std::span<const int>, std::span<double> l, std::span<double> h, int& work,
                                   double& value) {
        lo.assign(l.begin(), l.end());
        hi.assign(h.begin(), h.end());
        f(p, k, slot);
        EXPECT_EQ(value, slot);  // the slot holds the value at the working vector
        work = 17;
        value = 1e300;           // a claim the driver does not believe
    };
    sharc_mod::sharc(a);
    EXPECT_EQ(lo, a.lo);
    EXPECT_EQ(hi, a.hi);
    const auto tunnel = of("tunnelsearch");
    ASSERT_EQ(tunnel.size(), 1u);
    EXPECT_NEAR(tunnel[0].value, slot, 1e-9);
}

// A result 0.005 % above the lowest value is taken in the opening sequence
// (margin 1.0001) and refused in a refinement cycle (strictly lower).
TEST_F(CascadeRun, ASlightlyWorseSequentialQuadraticResultCountsOnlyInTheOpening) {
    auto a = line_fit(noisy);
    const auto best = optimum(a);
    const double least = ssq(a, best);
    cascade::services().vmsqp = [&](cascade::VmsqpCall& c) {
        // Along P1 the sum grows by n d^2 = 8 d^2 from its least value.
        const double target = 1.00005 * ssq(a, c.p);
        c.p[0] = best[0] + std::sqrt((target - least) / 8.0);
        c.p[1] = best[1];
    };
    sharc_mod::sharc(a);
    const auto sqp = of("vmsqp");
    ASSERT_GE(sqp.size(), 3u);
    for (std::size_t i = 0; i < sqp.size(); ++i) {
        EXPECT_NEAR(sqp[i].value / sqp[i].lowest, 1.00005, 1e-9) << i;
        EXPECT_EQ(sqp[i].accepted, i < 2) << i;
    }
}

// Gauss-Newton results are taken down to 1e-4 of the lowest value; a
// larger drop, or a status of 3, is refused.
TEST_F(CascadeRun, GaussNewtonDropsBeyondTenThousandfoldAreRefused) {
    auto a = line_fit(exact);
    const std::vector<double> best = {2.0, 3.0};
    int call = 0;
    cascade::services().gn_main = [&](int, int, std::span<double> p, double& value, int& status) {
        const double ratios[] = {0.5e-4, 2e-4, 0.5};
        if (call < 3) {
            const double t = std::sqrt(ratios[call]);
            for (std::size_t j = 0; j < 2; ++j) p[j] = best[j] + t * (p[j] - best[j]);
            value = 0.0;
            if (call == 2) status = 3;
        }
        ++call;
    };
    sharc_mod::sharc(a);
    const auto gn = of("gn_main");
    ASSERT_EQ(gn.size(), 3u);  // level 1: opening steps 9, 10 and 11 only
    ASSERT_GT(gn[0].lowest, 1e-16);
    EXPECT_FALSE(gn[0].accepted);
    EXPECT_NEAR(gn[0].value / gn[0].lowest, 0.5e-4, 1e-6);
    EXPECT_TRUE(gn[1].accepted);
    EXPECT_NEAR(gn[1].value / gn[1].lowest, 2e-4, 1e-6);
    EXPECT_FALSE(gn[2].accepted);
}

// An evolution result a million times lower that used up every generation
// is refused; the same drop within the generation cap is taken.
TEST_F(CascadeRun, EvolutionAtItsGenerationCapIsNotTrustedWithAHugeDrop) {
    for (const int used : {250, 249}) {
        reports.clear();
        globals::iopt = 1;
        auto a = line_fit(exact);
        a.bounded = 0;  // evolution opens every cycle
        int call = 0;
        cascade::services().evol = [&](int, int, std::span<double> p, double& value, int& generations, int cap) {
            EXPECT_EQ(cap, 250);
            if (call++ > 0) return;
            const double t = std::sqrt(0.5e-6);
            p[0] = 2.0 + t * (p[0] - 2.0);
            p[1] = 3.0 + t * (p[1] - 3.0);
            value = 0.0;
            generations = used;
        };
        sharc_mod::sharc(a);
        const auto evol = of("evol");
        ASSERT_FALSE(evol.empty());
        ASSERT_GT(evol[0].lowest, 1e-16);
        EXPECT_NEAR(evol[0].value / evol[0].lowest, 0.5e-6, 1e-8);
        EXPECT_EQ(evol[0].accepted, used < 250) << used;
    }
}

TEST_F(CascadeRun, LevenbergMarquardtRunsInTheWrapUpAndKeepsATie) {
    auto a = line_fit(noisy);
    int calls = 0;
    cascade::services().marq = [&](cascade::MarqCall& c) {
        ++calls;
        EXPECT_EQ(c.n, 8);
        EXPECT_EQ(c.ny, 1);
        EXPECT_EQ(c.iterations, 10);
        EXPECT_EQ(c.mode, 0);
        EXPECT_DOUBLE_EQ(c.limit, 1.1 * c.value);
        for (double v : c.se) EXPECT_EQ(v, 0.0);
        c.value = -1.0;  // p unchanged: the driver's own value ties with the lowest
    };
    sharc_mod::sharc(a);
    EXPECT_EQ(calls, 1);
    const auto lm = of("marq");
    ASSERT_EQ(lm.size(), 1u);
    EXPECT_TRUE(lm[0].accepted);
    EXPECT_EQ(lm[0].value, lm[0].lowest);
    EXPECT_EQ(reports.back().stage, "marq");
}

// With no optimiser service installed only the driver's own searches are
// judged: every service step is passed over.
TEST_F(CascadeRun, AnEmptySeamPassesOverEveryServiceStep) {
    auto a = line_fit(noisy);
    a.bounded = 0;
    EXPECT_EQ(sharc_mod::sharc(a), sharc_mod::Outcome::fitted);
    for (const Report& r : reports)
        EXPECT_TRUE(r.stage == "hitnrun" || r.stage == "hitnrun2" || r.stage == "simplex_robust" ||
                    r.stage == "hooke" || r.stage == "gnllsqr")
            << r.stage;
    const auto best = optimum(a);
    EXPECT_NEAR(a.p[0], best[0], 1e-5);
    EXPECT_NEAR(a.p[1], best[1], 1e-6);
}

// A rejected stage hands the next one the kept vector and the lowest value
// in the value slot, whatever the rejected stage left there.
TEST_F(CascadeRun, ARejectedStageLeavesTheLowestValueInTheSlot) {
    auto a = line_fit(noisy);
    double lowest = 0.0;
    cascade::services().observer = [&](const cascade::StageReport& r) {
        reports.push_back({std::string(r.stage), r.value, r.lowest, r.accepted});
        lowest = r.accepted ? r.value : r.lowest;
    };
    cascade::services().vmsqp = [&](cascade::VmsqpCall& call) {
        call.p[0] += 1.0;  // worse ...
        call.value = 0.0;  // ... claimed perfect
    };
    int calls = 0;
    const auto expect_kept = [&](std::span<double> p, double value) {
        ++calls;
        EXPECT_EQ(value, lowest) << calls;
        EXPECT_NEAR(ssq(a, p), lowest, 1e-12 * lowest) << calls;
    };
    cascade::services().gn_main = [&](int, int, std::span<double> p, double& value, int&) { expect_kept(p, value); };
    cascade::services().varmetric = [&](const cascade::VmObjective&, int, std::span<double> p, double& value,
                                        int&) { expect_kept(p, value); };
    sharc_mod::sharc(a);
    const auto sqp = of("vmsqp");
    ASSERT_FALSE(sqp.empty());
    for (const Report& r : sqp) EXPECT_FALSE(r.accepted);
    EXPECT_GT(calls, static_cast<int>(sqp.size()));  // every SQP is followed by one of them
}

// A service that moves a held parameter (P2 held at 2.9; y = 2 + 3 x, so a
// move towards 3 is an improvement the driver takes) does not carry the move
// into the next cycle: every cycle starts with P2 at the caller's value.
TEST_F(CascadeRun, HeldParametersTakeTheCallersValuesAgainAtTheCycleEnd) {
    auto a = line_fit(exact);
    a.bounded = 0;
    a.p = {1.0, 2.9};
    a.mask = {1, 0};
    int moves = 0;
    cascade::services().va10b = [&](int, int, std::span<double> p, double& value, std::span<double>, int, int,
                                    int, int&) {
        p[1] += 0.01;
        value = 0.0;
        ++moves;
    };
    std::vector<double> at_cycle_start;
    cascade::services().evol = [&](int, int, std::span<double> p, double&, int&, int) {
        at_cycle_start.push_back(p[1]);
    };
    sharc_mod::sharc(a);
    ASSERT_GE(at_cycle_start.size(), 2u);
    for (std::size_t i = 0; i < at_cycle_start.size(); ++i) EXPECT_EQ(at_cycle_start[i], 2.9) << "cycle " << i + 1;
    const auto va10b = of("va10b");
    EXPECT_TRUE(std::any_of(va10b.begin(), va10b.end(), [](const Report& r) { return r.accepted; }));
}

// The refinement ends once the lowest value stands still to within 1e-8:
// a lowest value that falls by 2e-10 per cycle ends it as early as one that
// stands still, one that falls by 2e-6 per cycle runs on to the cycle bound.
// The fall comes from a service that moves the held P1 (2.5; the data are
// y = 2 + 3 x), which the driver's own searches never move.
TEST_F(CascadeRun, TheConvergenceTestEndsTheRefinementWhenTheValueStandsStill) {
    const auto cycles_with_fall = [&](double fall) {
        reports.clear();
        globals::iopt = 1;
        auto a = line_fit(exact);
        a.p = {2.5, 3.0};
        a.mask = {0, 1};
        double lowest = 0.0;
        cascade::services().observer = [&](const cascade::StageReport& r) {
            lowest = r.accepted ? r.value : r.lowest;
        };
        int sqp = 0;
        cascade::services().vmsqp = [&](cascade::VmsqpCall&) { ++sqp; };
        if (fall > 0.0)
            cascade::services().va10b = [&, fall](int, int, std::span<double> p, double&, std::span<double>, int,
                                                  int, int, int&) {
                // P1 = mean(y - P2 x) + d gives n d^2 above the least sum at this P2.
                double mean = 0.0, least = 0.0;
                for (int i = 0; i < 8; ++i) mean += (exact[i] - p[1] * (i + 1)) / 8.0;
                for (int i = 0; i < 8; ++i) least += std::pow(exact[i] - p[1] * (i + 1) - mean, 2);
                const double target = lowest - fall / 2.0;  // two calls per cycle
                p[0] = mean + std::sqrt(std::max(target - least, 0.0) / 8.0);
            };
        else
            cascade::services().va10b = {};
        sharc_mod::sharc(a);
        return sqp - 2;  // two SQP stages in the opening, one per cycle
    };
    const int still = cycles_with_fall(0.0);
    EXPECT_LT(still, 93);
    EXPECT_EQ(cycles_with_fall(2e-10), still);
    EXPECT_GT(cycles_with_fall(2e-6), still);
}

// The hit-and-run repetitions of a refinement cycle: 5 + 3 without bounds,
// and 3 with them; at level 3 a further 3 + 1.
TEST_F(CascadeRun, EveryCycleRunsItsHitAndRunRepetitions) {
    struct Case {
        int level, bounded, opening, per_cycle, sqp_per_cycle;
    };
    for (const Case k : {Case{1, 0, 4, 8, 1}, Case{1, 1, 1, 3, 1}, Case{3, 0, 4, 12, 2}, Case{3, 1, 1, 7, 2}}) {
        reports.clear();
        globals::iopt = k.level;
        int sqp = 0;
        cascade::services().vmsqp = [&](cascade::VmsqpCall&) { ++sqp; };
        auto a = line_fit(exact);  // ends by convergence, after a whole cycle
        a.bounded = k.bounded;
        sharc_mod::sharc(a);
        const int cycles = (sqp - 2) / k.sqp_per_cycle;
        ASSERT_GT(cycles, 0) << k.level << k.bounded;
        EXPECT_EQ(static_cast<int>(of("hitnrun").size()), k.opening + k.per_cycle * cycles) << k.level << k.bounded;
    }
}

// ---- the shape of the sequence ----

struct Calls {
    int evol = 0, gn = 0, sqp = 0, vm = 0;
};

// Installs services that count their calls and change nothing.
void count_calls(Calls& c) {
    auto& sv = cascade::services();
    sv.evol = [&c](int, int, std::span<double>, double&, int&, int) { ++c.evol; };
    sv.gn_main = [&c](int, int, std::span<double>, double&, int&) { ++c.gn; };
    sv.vmsqp = [&c](cascade::VmsqpCall&) { ++c.sqp; };
    sv.varmetric = [&c](const cascade::VmObjective&, int, std::span<double>, double&, int&) { ++c.vm; };
}

TEST_F(CascadeRun, EasyLevelRunsTheMinimiserOnlyAfterAFailedSqpAndNoCycleGaussNewton) {
    Calls c;
    count_calls(c);
    auto a = line_fit(noisy);
    sharc_mod::sharc(a);
    const int cycles = c.sqp - 2;  // two SQP stages in the opening, one per cycle
    EXPECT_GT(cycles, 0);
    EXPECT_EQ(c.vm, cycles);
    EXPECT_EQ(c.gn, 3);
    EXPECT_EQ(c.evol, 0);  // a bounded fit below level 3 runs no evolution

    Calls moderate;
    count_calls(moderate);
    globals::iopt = 2;
    auto b = line_fit(noisy);
    sharc_mod::sharc(b);
    const int cycles2 = moderate.sqp - 2;
    EXPECT_EQ(moderate.vm, 3 * cycles2);
    EXPECT_EQ(moderate.gn, 3 + cycles2);
}

// The bounded hit-and-run runs five times before the first simplex of a
// bounded Start and four times between Hooke-Jeeves and the second simplex
// unless soft bounds apply (unbounded Restart).
TEST_F(CascadeRun, TheBoundedAndRestartFlagsShapeTheOpening) {
    struct Case {
        int bounded, restart, hitnrun2, simplex, gn;
    };
    for (const Case k : {Case{1, 0, 9, 2, 3}, Case{1, 1, 4, 2, 2}, Case{0, 1, 0, 1, 1}, Case{0, 0, 4, 2, 2}}) {
        reports.clear();
        globals::iopt = 1;
        Calls c;
        count_calls(c);
        auto a = line_fit(noisy);
        a.bounded = k.bounded;
        restart = k.restart;
        sharc_mod::sharc(a);
        EXPECT_EQ(of("hitnrun2").size(), static_cast<std::size_t>(k.hitnrun2)) << k.bounded << k.restart;
        EXPECT_EQ(of("simplex_robust").size(), static_cast<std::size_t>(k.simplex)) << k.bounded << k.restart;
        EXPECT_EQ(c.gn, k.gn) << k.bounded << k.restart;
        if (k.simplex < 2) continue;
        std::vector<std::string> between;  // stages from Hooke-Jeeves to the second simplex
        for (std::size_t i = 0, simplexes = 0; i < reports.size() && simplexes < 2; ++i) {
            if (reports[i].stage == "simplex_robust") ++simplexes;
            if (reports[i].stage == "hooke" || !between.empty()) between.push_back(reports[i].stage);
        }
        EXPECT_EQ(between, (std::vector<std::string>{"hooke", "hitnrun2", "hitnrun2", "hitnrun2", "hitnrun2",
                                                      "simplex_robust"}))
            << k.bounded << k.restart;
    }
}

// Cancel during a stage: that stage finishes, no later stage starts (the
// Levenberg-Marquardt stage included), and the statistics still run.
TEST_F(CascadeRun, CancelIsHonouredBetweenStages) {
    Calls c;
    count_calls(c);
    int marq = 0;
    cascade::services().marq = [&](cascade::MarqCall&) { ++marq; };
    cascade::services().va10b = [&](int, int, std::span<double>, double&, std::span<double>, int, int, int,
                                    int&) { globals::bcancelrun = 1; };
    auto a = line_fit(noisy);
    const auto outcome = sharc_mod::sharc(a);
    EXPECT_EQ(outcome, sharc_mod::Outcome::cancelled);
    EXPECT_EQ(globals::bcancelrun.load(), 1);
    ASSERT_FALSE(reports.empty());
    EXPECT_EQ(reports.back().stage, "va10b");
    EXPECT_EQ(c.sqp + c.gn + c.vm + c.evol + marq, 0);
    EXPECT_GT(a.ssq, 0.0);
    EXPECT_EQ(a.ssq, reports.back().lowest);
    EXPECT_GT(a.se[0], 0.0);
    EXPECT_EQ(common_data::fssqr, a.ssq);
}

TEST_F(CascadeRun, NoRunMakesMoreThanNinetyCycles) {
    Calls c;
    count_calls(c);
    auto a = line_fit(noisy);
    a.cap_plus_one = 100001;  // the count never runs out and never reaches the convergence test
    sharc_mod::sharc(a);
    EXPECT_EQ(c.sqp - 2, 90);
}

TEST_F(CascadeRun, AnExhaustedTimeBudgetEndsTheRefinementInItsFirstCycle) {
    auto ticks = std::make_shared<double>(0.0);
    runtime::Hooks hooks;
    hooks.monotonic_seconds = [ticks] { return *ticks += 1e6; };
    runtime::set_hooks(hooks);
    Calls c;
    count_calls(c);
    auto a = line_fit(noisy);
    EXPECT_EQ(sharc_mod::sharc(a), sharc_mod::Outcome::fitted);
    EXPECT_EQ(c.sqp, 2);  // the first cycle stops before its SQP stage
}

// The run clock adds up its readings, so a cycle reads it only after its
// first group of stages and at its end: the time tests in between compare
// that reading.  Here every reading moves the clock.
TEST_F(CascadeRun, ACycleReadsTheRunClockOnlyAfterItsFirstGroupAndAtItsEnd) {
    auto ticks = std::make_shared<double>(0.0);
    runtime::Hooks hooks;
    hooks.monotonic_seconds = [ticks] { return *ticks += 1.0; };
    runtime::set_hooks(hooks);
    Calls c;
    count_calls(c);
    std::vector<std::pair<std::string, double>> seen;  // stage and run clock at its judgement
    cascade::services().observer = [&](const cascade::StageReport& r) {
        seen.emplace_back(std::string(r.stage), globals::totaltime);
    };
    auto a = line_fit(noisy);  // level 1, bounded: a cycle judges vmsqp, varmetric and 3 x hitnrun
    sharc_mod::sharc(a);
    ASSERT_GT(c.sqp, 3);
    int cycles = 0;
    for (std::size_t i = 0, sqp = 0; i < seen.size(); ++i) {
        if (seen[i].first != "vmsqp" || ++sqp <= 2) continue;
        ASSERT_LT(i + 4, seen.size());
        ++cycles;
        for (std::size_t j = i + 1; j <= i + 4; ++j) {
            EXPECT_EQ(seen[j].second, seen[i].second) << "cycle " << cycles << ", " << seen[j].first;
        }
        if (i > 0) {
            EXPECT_GT(seen[i].second, seen[i - 1].second) << "cycle " << cycles;
        }
    }
    EXPECT_EQ(cycles, c.sqp - 2);
}

}  // namespace
