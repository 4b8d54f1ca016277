#include "optimizers/va10b_search.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "optimizers/va10b.h"
#include "optimizers/va10b_report.h"

namespace va10b_optimizer {
namespace {

constexpr double eps = 2.220446049250313e-16;
constexpr int max_attempts = 50;
constexpr double armijo = 1.0e-4;
constexpr int trials = 11;
constexpr std::size_t table_size = 150;

double evaluate(std::span<const double> b) {
    double f = 0.0;
    va10b_mod::objective_function(static_cast<int>(b.size()), b, f);
    return f;
}

// b + alpha s over the active parameters, clamped into the box.
void step_point(std::span<const double> b, std::span<const double> s, double alpha, const Box& box,
                std::vector<double>& out) {
    out.assign(b.begin(), b.end());
    for (std::size_t i = 0; i < b.size(); ++i)
        if (box.active(i)) out[i] = box.clamp(i, b[i] + alpha * s[i]);
}

// Share of the expected progress made since the pass started, 0..1.
double progress_ratio(double f, double f_pass) {
    if (std::isnan(f) || std::isnan(f_pass)) return 0.0;
    if (std::fabs(f_pass) > eps && f_pass > 0.0) {
        const double q = 1.0 - f / f_pass;
        if (std::isnan(q) || std::fabs(q) > 1.0e10) return 0.0;
        return std::clamp(q, 0.0, 1.0);
    }
    return f_pass > f ? 0.5 : 0.0;
}

// Bolder first steps early in a pass, when the pass has made progress.
double adaptive_factor(double r, int itn, std::string& phase) {
    double scale;
    if (itn <= 5) {
        scale = 10.0;
        phase = "EARLY-AGGRESSIVE";
    } else if (itn <= 20) {
        scale = 5.0;
        phase = "MIDDLE-MODERATE";
    } else {
        scale = 2.0;
        phase = "LATE-CONSERVATIVE";
    }
    if (r < 0.01) {
        phase += "-MIN";
        return 1.0;
    }
    return std::max(scale * r, 1.0);
}

void record(double alpha, double f, double factor) {
    using namespace va10b_mod;
    ++track_count;
    if (track_count > history_size) return;
    const auto k = static_cast<std::size_t>(track_count - 1);
    alpha_history[k] = alpha;
    f_history[k] = f;
    factor_history[k] = factor;
}

// The fixed uniform numbers in [0, 1) of every trial search (splitmix64 from
// a constant seed).
const std::array<double, table_size>& trial_table() {
    static const std::array<double, table_size> table = [] {
        std::array<double, table_size> t{};
        std::uint64_t state = 0x5eed5eed5eed5eedULL;
        for (double& v : t) {
            state += 0x9e3779b97f4a7c15ULL;
            std::uint64_t z = state;
            z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
            z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
            z ^= z >> 31;
            v = static_cast<double>(z >> 11) * 0x1.0p-53;
        }
        return t;
    }();
    return table;
}

}  // namespace

int line_search(std::span<double> b, double& f, std::span<const double> s, std::span<const double> s_typ, double df,
                double gs, int maxfn, int& ifn, double& alpha, const Box& box, double f_pass, int itn) {
    const std::size_t n = b.size();
    double alpha_max = std::numeric_limits<double>::max();
    double measure = 0.0;
    for (std::size_t i = 0; i < n; ++i) {
        if (!box.active(i)) continue;
        double t = 0.0;
        if (s[i] > 0.0) t = (box.hi[i] - b[i]) / s[i];
        if (s[i] < 0.0) t = (box.lo[i] - b[i]) / s[i];
        if (t > 0.0) alpha_max = std::min(alpha_max, t);
        measure = std::max(measure, std::fabs(s[i]) / std::max(std::fabs(s_typ[i]), 1.0));
    }
    const double alpha_min = eps / std::max(measure, eps);

    const double r = progress_ratio(f, f_pass);
    std::string phase;
    const double factor = adaptive_factor(r, itn, phase);
    const double alpha0 = -(df * factor) / gs;
    alpha = std::max(std::min({0.95 * alpha_max, 1.0, alpha0}), alpha_min);
    record(alpha, f, factor);

    const double f_start = f;
    int code = search_done;
    std::vector<double> trial;
    for (int attempt = 1; attempt <= max_attempts; ++attempt) {
        if (ifn >= maxfn) {
            code = search_budget;
            break;
        }
        step_point(b, s, alpha, box, trial);
        const double ft = evaluate(trial);
        ++ifn;
        if (ft <= f + armijo * alpha * gs) {
            std::copy(trial.begin(), trial.end(), b.begin());
            f = ft;
            if (ifn >= maxfn) break;
            step_point(b, s, alpha, box, trial);
            const double fe = evaluate(trial);
            ++ifn;
            if (!(fe < f)) break;
            alpha *= 2.0;
            std::copy(trial.begin(), trial.end(), b.begin());
            f = fe;
        } else {
            if (alpha < alpha_min) {
                code = search_too_short;
                break;
            }
            alpha *= 0.5;
        }
    }
    if (va10b_mod::bprint && itn % 10 == 0)
        print_step_diagnostics({itn, phase, f_start, f_pass, r, factor, alpha0, alpha, alpha_max, gs, df});
    return code;
}

void tsearch(std::span<double> b, double& f, const Box& box) {
    const std::size_t n = b.size();
    std::vector<double> xt(b.begin(), b.end());
    for (std::size_t i = 0; i < n; ++i)
        if (box.active(i)) xt[i] = box.clamp(i, xt[i]);
    std::array<double, table_size> r = trial_table();
    std::vector<std::size_t> position;
    for (int k = 1; k <= trials; ++k) {
        for (std::size_t i = 0; i < n; ++i)
            if (box.active(i))
                xt[i] = box.clamp(i, (1.0 + (k - 6) * r[static_cast<std::size_t>(k) + i] * 1.0e-4) * b[i]);
        const double ft = evaluate(xt);
        if (ft < f) {
            for (std::size_t i = 0; i < n; ++i)
                if (box.active(i)) b[i] = xt[i];
            f = ft;
            continue;
        }
        // Shuffle the first (n + 1) k numbers by positions drawn from them.
        const auto count = (n + 1) * static_cast<std::size_t>(k);
        position.resize(count);
        for (std::size_t j = 1; j <= count; ++j)
            position[j - 1] = static_cast<std::size_t>(static_cast<double>(j) * r[j - 1]) + 1;
        for (std::size_t j = count; j >= 2; --j)
            std::swap(r[j - 1], r[std::min(count, std::max<std::size_t>(position[j - 1], 1)) - 1]);
    }
}

}  // namespace va10b_optimizer
