#include "optimizers/evolutions.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <numbers>
#include <stdexcept>
#include <vector>

#include "foundations/matrix.h"
#include "foundations/runtime.h"
#include "foundations/timeit.h"
#include "model/bounds.h"
#include "model/globals.h"
#include "optimizers/fit_eval.h"

namespace evolutions {

int wide_bounds = 0;

namespace {

constexpr double nan_value = 6710886474.424971;
constexpr double floor_value = 2.2204460492503132e-20;
constexpr double suspicious = 1.4901161193847657e-10;

double draw() {
    double u = 0.0;
    randomu(u);
    return u;
}

// One run of the search.  Members and parameters are 0-based here; a
// member's parity is that of its 1-based number.
class Search {
public:
    Search(int nd, int n, std::span<const double> p)
        : nd_(nd), n_(static_cast<std::size_t>(n)), np_(std::min(20 * n, 100)),
          start_(p.begin(), p.begin() + n), x_(start_), best_(start_),
          pop_(static_cast<std::size_t>(np_), n_), pop2_(pop_), fitness_(static_cast<std::size_t>(np_)) {
        for (std::size_t j = 0; j < n_; ++j) {
            mask_.push_back(common_data::pmask[j]);
            if (mask_[j] != 0) active_.push_back(j);
        }
    }

    // Returns the generations run, 0 for a spent time budget (start kept).
    int run(int gen_cap, std::span<double> p, double& f);

private:
    bool odd(std::size_t member) const { return member % 2 == 0; }

    // The objective at the active entries of point (held entries from the
    // start); point takes the evaluated values, the best point is kept.
    double objective(std::vector<double>& point) {
        for (std::size_t j : active_) x_[j] = point[j];
        double fx = 0.0;
        regfunc(x_, mask_, fx, static_cast<int>(n_), nd_);
        for (std::size_t j : active_) point[j] = x_[j];
        if (fx < best_value_) {
            best_value_ = fx;
            best_ = x_;
        }
        return fx;
    }

    std::vector<double> row(const kalvor::Matrix& table, std::size_t m) const {
        std::vector<double> out(n_);
        for (std::size_t j = 0; j < n_; ++j) out[j] = table(m, j);
        return out;
    }
    void set_row(kalvor::Matrix& table, std::size_t m, const std::vector<double>& values) {
        for (std::size_t j = 0; j < n_; ++j) table(m, j) = values[j];
    }

    void seed_population(const std::vector<double>& v);
    double local_search(std::vector<double>& v);
    std::array<std::size_t, 4> choose(std::size_t i);
    void trial(std::size_t i, std::vector<double>& v);

    int nd_;
    std::size_t n_;
    int np_;
    std::vector<double> start_;
    std::vector<int> mask_;
    std::vector<std::size_t> active_;
    std::vector<double> x_, best_;
    double best_value_ = HUGE_VAL;
    kalvor::Matrix pop_, pop2_;
    std::vector<double> fitness_;
};

void Search::seed_population(const std::vector<double>& v) {
    for (std::size_t m = 0; m < static_cast<std::size_t>(np_); ++m) {
        set_row(pop_, m, start_);
        for (std::size_t j : active_) pop_(m, j) = v[j] + 3.0 * (draw() - 0.5) * v[j];
    }
}

// Eleven relative moves of the active entries around v; v becomes the
// lowest of them, whose value is returned.
double Search::local_search(std::vector<double>& v) {
    double lowest = 1e30;
    std::vector<double> w;
    for (int k = -5; k <= 5; ++k) {
        w = v;
        for (std::size_t j : active_) w[j] = (1.0 + k * draw() * 0.0001) * v[j];
        const double fw = objective(w);
        if (fw < lowest) {
            for (std::size_t j : active_) v[j] = w[j];
            lowest = fw;
        }
    }
    return lowest;
}

// Four different members, none of them i; even members draw from the first
// half of the population one time in ten.
std::array<std::size_t, 4> Search::choose(std::size_t i) {
    const int half = np_ / 2;
    for (;;) {
        std::array<int, 4> r{};
        for (std::size_t slot = 0; slot < r.size(); ++slot) {
            const double u = draw();
            if (odd(i) || u > 0.1)
                r[slot] = static_cast<int>(u * np_) + 1;
            else
                r[slot] = slot < 3 ? static_cast<int>(u * half) + 1 : half + static_cast<int>(u * (np_ - half));
        }
        const int self = static_cast<int>(i) + 1;
        bool valid = true;
        for (std::size_t a = 0; a < r.size(); ++a) {
            valid = valid && r[a] >= 1 && r[a] <= np_ && r[a] != self;
            for (std::size_t b = 0; b < a; ++b) valid = valid && r[a] != r[b];
        }
        if (valid)
            return {static_cast<std::size_t>(r[0] - 1), static_cast<std::size_t>(r[1] - 1),
                    static_cast<std::size_t>(r[2] - 1), static_cast<std::size_t>(r[3] - 1)};
    }
}

// Builds member i's trial in v (entries a scheme leaves keep their values).
void Search::trial(std::size_t i, std::vector<double>& v) {
    const auto picks = choose(i);
    const auto r1 = picks[0], r2 = picks[1], r3 = picks[2], r4 = picks[3];
    const bool even = !odd(i);
    const auto& pop = pop_;
    const auto extra = [&](std::size_t j) {
        return even ? 0.005 * (pop(r3, j) - 0.5 * pop(r4, j) - 0.5 * pop(r1, j)) : 0.0;
    };
    const auto mutant = [&](std::size_t j) { return pop(r1, j) + 0.7 * (pop(r2, j) - pop(r3, j)) + extra(j); };
    const double u = draw();
    if (u <= 0.1 || u == 0.8) {
        for (std::size_t j : active_)
            if (draw() <= 0.95) v[j] = mutant(j);
    } else if (u < 0.8) {
        // Exponential crossover from a random parameter on, cyclically.
        const std::size_t j0 = static_cast<std::size_t>(n_ * draw());
        if (mask_[j0] != 0) v[j0] = mutant(j0);
        for (std::size_t j = (j0 + 1) % n_; j != j0;) {
            if (draw() >= 0.95) {
                if (mask_[j] != 0) v[j] = mutant(j);
                j = (j + 1) % n_;
                continue;
            }
            if (mask_[j] != 0)
                for (std::size_t k = j; k != j0; k = (k + 1) % n_) v[k] = pop(i, k);
            break;
        }
    } else if (draw() <= 0.95) {
        // A Gaussian step along the two chosen members' difference from i.
        const double u3 = draw(), u4 = draw();
        const double z = std::sqrt(-2.0 * std::log(u3)) * std::cos(2.0 * std::numbers::pi * u4);
        for (std::size_t j : active_) {
            const double d = pop(r1, j) + pop(r2, j) - 2.0 * pop(i, j);
            v[j] = even ? pop(i, j) + 0.005 * z * d + extra(j) : pop(i, j) + 2.0 * (z - 0.5) * d;
        }
    } else {
        for (std::size_t j : active_) v[j] = pop(r1, j) - pop(r2, j) + pop(i, j) + extra(j);
    }
}

int Search::run(int gen_cap, std::span<double> p, double& f) {
    wide_bounds = -1;
    const int cap = gen_cap == 0 ? 500 : gen_cap;
    std::vector<double> v = start_;
    double f_old = objective(v);
    seed_population(v);

    const auto members = static_cast<std::size_t>(np_);
    int counter10 = 0, counter50 = 0, gen = 1;
    for (;; ++gen) {
        if (timeit_mod::elapsed() > globals::timemax) return 0;
        std::vector<double> last;
        for (std::size_t m = 0; m < members; ++m) {
            for (std::size_t j : active_) v[j] = pop_(m, j);
            fitness_[m] = objective(v);
            last = v;
        }
        const double local = local_search(v);
        bool replaced = false;
        for (std::size_t m = 0; m < members; ++m)
            if (fitness_[m] > local) {
                set_row(pop_, m, v);
                fitness_[m] = local;
                replaced = true;
            }
        if (!replaced) v = last;

        const auto best = static_cast<std::size_t>(std::min_element(fitness_.begin(), fitness_.end()) -
                                                   fitness_.begin());
        const double f_gen = fitness_[best];

        // Every 50 generations the upper half (its best member spared) is
        // usually re-seeded around v.
        const double u = draw();
        if (++counter50 == 50) {
            counter50 = 0;
            if (u <= 0.9)
                for (std::size_t m = members / 2; m < members; ++m)
                    if (m != best)
                        for (std::size_t j : active_) pop_(m, j) = v[j] + 2.0 * (draw() - 0.5) * v[j];
        }

        for (std::size_t i = 0; i < members; ++i) {
            set_row(pop2_, i, row(pop_, i));
            trial(i, v);
            const double fx = objective(v);
            if (fx < fitness_[i]) {
                fitness_[i] = fx;
                set_row(pop2_, i, v);
            }
        }
        pop_ = pop2_;

        if (++counter10 == 10) {
            counter10 = 0;
            for (std::size_t j : active_) v[j] = pop_(best, j);
            if (std::fabs((f_gen - f_old) / f_old) < 1e-7 || gen >= cap) break;
            f_old = f_gen;
        }
        if (gen >= gen_cap) break;
    }

    // The best point evaluated, the fit data left there.
    double value = 0.0;
    regfunc(best_, mask_, value, static_cast<int>(n_), nd_);
    if (value <= f && value >= 0.01 * f) {
        std::copy(best_.begin(), best_.end(), p.begin());
        f = value;
    }
    return gen;
}

}  // namespace

void evol(int nd, int n, std::span<double> p, double& f, int& gens_run, int gen_cap) {
    gens_run = 0;
    if (n < 1) return;
    if (n > common_data::param_slots || p.size() < static_cast<std::size_t>(n))
        throw std::out_of_range("evolutions::evol: count larger than its vector");
    Search search(nd, n, p);
    gens_run = search.run(gen_cap, p, f);
}

void regfunc(std::span<double> x, std::span<const int> mask, double& fx, int n, int nd) {
    const auto count = static_cast<std::size_t>(std::max(n, 0));
    if (wide_bounds != 0) {
        bool outside = false;
        for (std::size_t i = 0; i < count; ++i)
            outside = outside || (mask[i] != 0 && !(std::fabs(x[i]) < wide_bound));
        if (outside) {
            const std::vector<double> lo(count, -wide_bound), hi(count, wide_bound);
            int status = 0;
            check_parameter_bounds::tanh_bounds5(x, n, lo, hi, mask, fx, status);
        }
    }
    thread_local kalvor::Matrix columns;
    fx = fit_eval::evaluate(nd, n, x, columns);
    if (std::isnan(fx)) {
        fx = nan_value;
        return;
    }
    fx = std::clamp(fx, floor_value, wide_bound);
    if (fx < suspicious) fx = wide_bound;
}

void randomu(double& u) {
    std::array<double, 11> r{};
    runtime::random_fresh_draws(r);
    int k = 0;
    for (int j = 1; j <= 10; ++j) k += static_cast<int>((j - 6) * r[static_cast<std::size_t>(j - 1)]);
    u = r[static_cast<std::size_t>(std::abs(k))];
}

}  // namespace evolutions
