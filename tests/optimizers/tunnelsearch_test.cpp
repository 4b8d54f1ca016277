// The tunnel search: 45 objective calls, strict improvements only, trials
// inside the bounds, held parameters untouched, the same result at every
// call from the same point.

#include "optimizers/tunnelsearch.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "foundations/runtime.h"

namespace {

struct Trial {
    std::vector<double> x;
    double value;
};

// A quadratic bowl around (3, -2, 0.5) that records every call; with
// nan_every > 0 every such call returns NaN instead.
class Recorder {
public:
    kalvor::Objective objective() {
        return [this](std::span<const double> x, int n, double& f) {
            f = 0.0;
            for (int i = 0; i < n; ++i) {
                const double d = x[static_cast<std::size_t>(i)] - centre[static_cast<std::size_t>(i)];
                f += d * d;
            }
            if (nan_every > 0 && (trials.size() + 1) % nan_every == 0) f = std::numeric_limits<double>::quiet_NaN();
            trials.push_back({std::vector<double>(x.begin(), x.begin() + n), f});
        };
    }
    std::vector<double> centre = {3.0, -2.0, 0.5};
    std::size_t nan_every = 0;
    std::vector<Trial> trials;
};

TEST(TunnelSearch, KeepsOnlyStrictImprovementsOverItsFortyFiveCalls) {
    Recorder rec;
    rec.nan_every = 3;  // NaN values are never kept
    std::vector<double> p = {2.0, -1.0, 0.4};
    const std::vector<double> lo = {-10, -10, -10}, hi = {10, 10, 10};
    const std::vector<int> mask = {1, 1, 1};
    const double start = 1.0 + 1.0 + 0.01;
    double ssq = start;
    tunnelsearch::tunnelsearch(rec.objective(), 3, p, ssq, lo, hi, mask);

    ASSERT_EQ(rec.trials.size(), 45u);
    // Replay: a trial replaces the best point only when strictly lower.
    double best = start;
    std::vector<double> expected = {2.0, -1.0, 0.4};
    int improvements = 0;
    for (const Trial& t : rec.trials) {
        if (t.value < best) {
            best = t.value;
            expected = t.x;
            ++improvements;
        }
    }
    EXPECT_GT(improvements, 0);
    EXPECT_LT(ssq, start);
    EXPECT_EQ(ssq, best);
    EXPECT_EQ(p, expected);

    // An understated start value is never given up.
    Recorder again;
    double low = 0.5;
    std::vector<double> q = {2.0, -1.0, 0.4};
    tunnelsearch::tunnelsearch(again.objective(), 3, q, low, lo, hi, mask);
    EXPECT_EQ(low, 0.5);
    EXPECT_EQ(q, (std::vector<double>{2.0, -1.0, 0.4}));
}

TEST(TunnelSearch, TheSameStartGivesTheSameResultWhateverWasDrawnBefore) {
    const std::vector<double> lo = {-10, -10, -10}, hi = {10, 10, 10};
    const std::vector<int> mask = {1, 1, 1};
    Recorder a, b;
    std::vector<double> p1 = {2.0, -1.0, 0.4}, p2 = p1;
    double s1 = 2.01, s2 = 2.01;
    tunnelsearch::tunnelsearch(a.objective(), 3, p1, s1, lo, hi, mask);
    for (int i = 0; i < 17; ++i) runtime::random_number();
    tunnelsearch::tunnelsearch(b.objective(), 3, p2, s2, lo, hi, mask);
    EXPECT_EQ(p1, p2);
    EXPECT_EQ(s1, s2);
    ASSERT_EQ(a.trials.size(), b.trials.size());
    for (std::size_t i = 0; i < a.trials.size(); ++i) EXPECT_EQ(a.trials[i].x, b.trials[i].x) << i;
}

TEST(TunnelSearch, TrialsStayInsideTheBoundsAndHeldParametersNeverMove) {
    Recorder rec;
    rec.centre = {50.0, -2.0, 0.5};             // optimum of P1 beyond its upper bound
    const double held = 0.1234567890123457;     // outside its bounds [1, 2]
    std::vector<double> p = {1.0, held, 0.45};  // P1 on its upper bound
    const std::vector<double> lo = {-1.0, 1.0, 0.0}, hi = {1.0, 2.0, 1.0};
    const std::vector<int> mask = {1, 0, 1};
    double ssq = 1e30;
    tunnelsearch::tunnelsearch(rec.objective(), 3, p, ssq, lo, hi, mask);
    for (const Trial& t : rec.trials) {
        for (std::size_t i = 0; i < 3; ++i) {
            ASSERT_GE(t.x[i], lo[i]);
            ASSERT_LE(t.x[i], hi[i]);
        }
        ASSERT_EQ(t.x[1], 1.0);  // the held value, clamped, is what the objective sees
    }
    EXPECT_EQ(p[0], 1.0);  // a trial beyond the bound lands on it
    EXPECT_EQ(std::bit_cast<std::uint64_t>(p[1]), std::bit_cast<std::uint64_t>(held));
}

}  // namespace
