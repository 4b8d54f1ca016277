#include "run/searches.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <vector>

#include "foundations/nrutil_random.h"
#include "foundations/random.h"
#include "foundations/runtime.h"
#include "model/globals.h"
#include "run/sharc_objective.h"

namespace sharc {

namespace {

using Point = std::vector<double>;

constexpr float limit_factor = 1.05f;
constexpr int max_accepted = 2000;
constexpr long max_steps = 10000;

bool active(std::size_t j) { return common_data::pmask[j] != 0; }

// The round, pass and coordinate-step scheme shared by both hit-and-run
// searches.  Coordinates j are 1-based in the scheme, as the random pick
// yields them.
class HitAndRun {
public:
    HitAndRun(DriverState& s, int n, const Point& p0, std::span<double> pool, bool adaptive)
        : s_(s), n_(n), pool_(pool), adaptive_(adaptive), c_(p0), saved_(p0), step_(p0.size()),
          flo_(p0.size(), -2.0), fhi_(p0.size(), 2.0), accepted_(p0.size(), 0), tried_(p0.size(), 0) {
        for (std::size_t j = 0; j < step_.size(); ++j) step_[j] = 0.5 * p0[j];
        for (int j = n; j >= 1; --j)
            if (active(static_cast<std::size_t>(j - 1))) {
                highest_active_ = j;
                break;
            }
    }

    // Runs the rounds from the value f0 of p0; returns the value of saved().
    // The pass loop ends early once the last rejected value is relatively
    // close to the current one (from round 3 on, 1e-7; adaptive: from round
    // 2 on, 1e-6); the adaptive search also ends its rounds from round 3 on
    // when a round changed the value by less than 1e-7 relatively.
    double run(double f0, double scale, int trials) {
        fcur_ = f0;
        if (highest_active_ == 0) return fcur_;
        const int pass_test_round = adaptive_ ? 2 : 3;
        const double pass_change = adaptive_ ? 1e-6 : 1e-7;
        for (int round = 1; round <= 5; ++round) {
            const double round_start = fcur_;
            scale /= 5.0;
            shuffle();
            double m = 2.0;
            for (int pass = 1; pass <= 10; ++pass) {
                m /= 2.0;
                shuffle();
                run_pass(scale, m, trials);
                if (round >= pass_test_round && relative_change(flast_, fcur_) < pass_change) break;
            }
            end_round(scale);
            if (adaptive_ && round >= 3 && relative_change(round_start, fcur_) < 1e-7) break;
        }
        return fcur_;
    }

    const Point& saved() const { return saved_; }
    int accepted() const { return nacc_; }

private:
    static double relative_change(double a, double b) { return std::fabs(a - b) / (a + b); }

    void shuffle() { nrutil::shuffle(pool_, static_cast<int>(pool_.size())); }

    void run_pass(double scale, double m, int trials) {
        const double pass_start = fcur_;
        int prev = highest_active_;
        if (nacc_ < max_accepted && trials >= 1 && steps_ < max_steps) {
            for (int sweep = 1;; ++sweep) {
                for (int q = 1; q <= n_; ++q) {
                    coordinate_step(q, sweep, prev, scale, m);
                    ++steps_;
                }
                if (nacc_ >= max_accepted || sweep >= trials || steps_ >= max_steps) break;
            }
        }
        // A pass that did not lower the value is undone.
        if (fcur_ < pass_start)
            saved_ = c_;
        else
            c_ = saved_;
    }

    // A pool position k in 1..59 from the simple generator.
    static int pick_position() {
        long long k = std::llabs(static_cast<long long>(runtime::simple_uniform() * 2147483647.0));
        while (k > 59) k /= 20;
        return static_cast<int>(std::max(k, 1LL));
    }

    // The coordinate of the next step: an active one other than prev (so
    // that with two parameters neither is locked out), from at most 60 draws
    // (then prev).  k and u are the pool position and value of the last draw.
    int pick_coordinate(int sweep, int prev, int& k, double& u) const {
        const double a30 = s_.tolerance;
        for (int draw = 0; draw < 60; ++draw) {
            k = pick_position();
            u = pool_[static_cast<std::size_t>(k - 1)];
            int j = static_cast<int>(std::trunc(std::fabs(u + a30) * n_ + 1.2 + a30));
            if (j > n_) j = sweep % 2 == 1 ? 1 : n_;
            if (active(static_cast<std::size_t>(j - 1)) && j != prev) return j;
        }
        return prev;
    }

    // t, or a random point of the upper half of [lo, hi] when t lies outside.
    double inside(double t, std::size_t j, int k) const {
        const double lo = s_.alobnd[j];
        const double hi = s_.ahibnd[j];
        if (t >= lo && t <= hi) return t;
        return std::fabs(pool_[static_cast<std::size_t>(k)]) * (hi - lo) / 2.0 + (hi + lo) / 2.0;
    }

    double value_with(std::size_t j, double t) {
        trial_ = c_;
        trial_[j] = t;
        double f = 0.0;
        func(s_, trial_, n_, f);
        return f;
    }

    void coordinate_step(int q, int sweep, int& prev, double scale, double m) {
        int k = 1;
        double u = 0.0;
        const int jj = pick_coordinate(sweep, prev, k, u);
        prev = jj;
        const std::size_t j = static_cast<std::size_t>(jj - 1);
        const double x0 = c_[j];
        double d = q == jj ? std::fabs(u + 0.05) * step_[j]
                           : x0 * (flo_[j] + (fhi_[j] - flo_[j]) * u) * scale * m;
        double t = inside(x0 + d, j, k);
        double v = value_with(j, t);
        ++tried_[j];
        if (!(v < fcur_)) {
            if (q == jj) d = (2.0 * std::fabs(pool_[static_cast<std::size_t>(k)]) - 1.0) * step_[j];
            t = inside(x0 - d, j, k);
            v = value_with(j, t);
            if (!(v < fcur_)) {
                c_[j] = x0;
                flast_ = v;
                return;
            }
        }
        c_[j] = t;
        fcur_ = v;
        ++nacc_;
        ++accepted_[j];
    }

    void end_round(double& scale) {
        for (std::size_t j = 0; j < c_.size(); ++j) {
            flo_[j] *= 1.05;
            fhi_[j] *= 1.05;
            if (!adaptive_) {
                step_[j] = active(j) ? 0.0001 * std::fabs(c_[j]) : 0.0;
            } else if (tried_[j] > 0) {
                // Steps grow above 60% acceptance and shrink below 40%.
                constexpr double weight = 5.0;
                const double a = static_cast<double>(accepted_[j]) / tried_[j];
                if (a > 0.6)
                    step_[j] *= 1.0 + (a - 0.6) * weight / 0.4;
                else if (a < 0.4)
                    step_[j] /= 1.0 + weight * (0.4 - a) / 0.4;
                const double range = common_data::pboundhi[j] - common_data::pboundlo[j];
                if (std::fabs(step_[j]) > range) step_[j] = std::copysign(range, step_[j]);
            }
            accepted_[j] = 0;
            tried_[j] = 0;
        }
        if (scale <= 1e-5) scale = 0.1;
    }

    DriverState& s_;
    const int n_;
    std::span<double> pool_;
    const bool adaptive_;
    Point c_, saved_, trial_, step_, flo_, fhi_;
    std::vector<int> accepted_, tried_;
    int highest_active_ = 0;
    double fcur_ = 0.0;
    double flast_ = vmax;
    int nacc_ = 0;
    long steps_ = 0;
};

Point copy_of(std::span<const double> p, int n) {
    return Point(p.begin(), p.begin() + std::max(n, 0));
}

void put(std::span<double> p, const Point& v) { std::copy(v.begin(), v.end(), p.begin()); }

}  // namespace

void hitnrun(DriverState& s, int n, std::span<const double> p0, std::span<double> p, std::span<double> pool,
             int& nacc, double& f, double scale, int trials) {
    const Point start = copy_of(p0, n);
    for (double& v : pool) v = 0.8999999999999999 * v + 0.05;
    const double limit = static_cast<double>(limit_factor) * f;
    HitAndRun search(s, n, start, pool, false);
    const double value = search.run(f, scale, trials);
    nacc = search.accepted();
    if (value < limit) {
        put(p, search.saved());
        f = value;
    } else {
        put(p, start);
        f = limit;
    }
}

void hitnrun2(DriverState& s, int n, std::span<const double> p0, std::span<double> p, int& nacc, double& f,
              double scale, int trials) {
    const Point start = copy_of(p0, n);
    std::vector<double> pool(pool_size);
    for (double& v : pool) randomize::random_uni_r(v, 0.05, 0.95);
    HitAndRun search(s, n, start, pool, true);
    const double value = search.run(f, scale, trials);
    nacc = search.accepted();
    if (value < f) {
        put(p, search.saved());
        f = value;
    } else {
        put(p, start);
    }
}

void hooke(DriverState& s, int n, std::span<const double> p0, std::span<double> p, std::span<const double> lo,
           std::span<const double> hi, double& f, double rho, double eps, int itermax) {
    const Point start = copy_of(p0, n);
    const std::size_t count = start.size();
    const auto value = [&](const Point& x) {
        double v = 0.0;
        f1dim(s, x, n, v);
        return v;
    };
    const auto bounded = [&](std::size_t j, double v) { return std::max(lo[j], std::min(hi[j], v)); };

    Point delta(count, 0.0);
    for (std::size_t j = 0; j < count; ++j)
        if (active(j)) delta[j] = start[j] != 0.0 ? rho * std::fabs(start[j]) : rho;

    // Moves each active coordinate of x by +-delta where that lowers fx.
    const auto explore = [&](Point& x, double fx) {
        for (std::size_t j = 0; j < count; ++j) {
            if (!active(j)) continue;
            const double keep = x[j];
            bool better = false;
            for (int side = 0; side < 2 && !better; ++side) {
                if (side == 1) delta[j] = -delta[j];
                x[j] = bounded(j, keep + delta[j]);
                if (x[j] == keep) continue;
                const double v = value(x);
                if (v < fx) {
                    fx = v;
                    better = true;
                }
            }
            if (!better) x[j] = keep;
        }
        return fx;
    };

    Point base = start;
    double fbase = value(base);
    double steplength = rho;
    for (int iters = 0; iters < itermax && steplength > eps; ++iters) {
        Point x = base;
        double fx = explore(x, fbase);
        // Pattern moves: while an exploration lowers the value, take its
        // point as the new base, jump along the move just made and explore
        // around the jump point.
        bool failed = true;
        for (int moves = 0; fx < fbase; ++moves) {
            const Point old = base;
            base = x;
            fbase = fx;
            if (moves >= itermax) {
                failed = false;
                break;
            }
            bool moved = false;
            for (std::size_t j = 0; j < count; ++j) {
                if (!active(j)) continue;
                delta[j] = x[j] <= old[j] ? -std::fabs(delta[j]) : std::fabs(delta[j]);
                x[j] = bounded(j, 2.0 * x[j] - old[j]);
            }
            fx = explore(x, fbase);
            for (std::size_t j = 0; j < count; ++j)
                if (active(j) && std::fabs(x[j] - base[j]) > 0.5 * std::fabs(delta[j])) moved = true;
            if (fx < fbase && !moved) {
                base = x;
                fbase = fx;
                failed = false;
                break;
            }
        }
        if (failed) {
            steplength *= rho;
            for (double& d : delta) d *= rho;
        }
    }

    if (f > fbase) {
        put(p, base);
        f = fbase;
    } else {
        put(p, start);
    }
}

}  // namespace sharc
