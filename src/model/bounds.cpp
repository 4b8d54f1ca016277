#include "model/bounds.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <numbers>
#include <stdexcept>
#include <string>
#include <vector>

#include "foundations/nrutil.h"
#include "model/row_threads.h"

namespace {

constexpr double eps = 2.220446049250313e-16;

// Every vector handed with a count must hold that many elements.
void require(std::size_t size, int n, const char* what) {
    if (n > 0 && size < static_cast<std::size_t>(n))
        throw std::out_of_range(std::string(what) + ": count larger than its vector");
}

// x with the sign of y, y = 0 counting as positive.
double with_sign(double x, double y) { return y < 0.0 ? -std::fabs(x) : std::fabs(x); }

// x at least lower and at most upper, without assuming lower <= upper.
double clamp_to(double x, double lower, double upper) { return std::max(lower, std::min(x, upper)); }

}  // namespace

namespace check_parameter_bounds {

namespace {

constexpr double nudge = 1e-15;
constexpr double huge_value = 450359962737049.6;
constexpr double degenerate_range = 1e-12;
constexpr double direction_switch = 1.4901161193847656e-8;
constexpr double wide_range = 994987.4371066199;
constexpr double wide_range_factor = 0.8956928738431645;
constexpr double scale_cap = 4503599627370496.0;  // 2^52

// A bound too close to zero is moved off it, keeping its sign.
double off_zero(double bound) { return std::fabs(bound) < nudge ? with_sign(nudge, bound) : bound; }

}  // namespace

void tanh_bounds5(std::span<double> b, int n, std::span<const double> lo, std::span<const double> hi,
                  std::span<const int> mask, double& s, int& status) {
    if (n < 1) {
        status = bounds_no_parameters;
        return;
    }
    require(std::min({b.size(), lo.size(), hi.size(), mask.size()}), n, "tanh_bounds5");
    status = bounds_ok;
    // Held parameters never move, so only the bounds of active ones count.
    for (int i = 0; i < n; ++i)
        if (mask[i] != 0 && lo[i] > hi[i]) {
            status = bounds_crossed;
            return;
        }

    for (int i = 0; i < n; ++i) {
        if (mask[i] == 0) continue;
        if (lo[i] == hi[i]) {
            b[i] = lo[i];  // equal bounds admit one value only
            continue;
        }
        const double mid = (lo[i] + hi[i]) / 2.0;
        if (std::isnan(b[i]) || std::fabs(b[i]) > huge_value) {
            status = bounds_value_reset;
            b[i] = mid;
        }
        if (std::fabs(b[i]) < nudge) b[i] = with_sign(nudge, b[i]);
        if (hi[i] - lo[i] < degenerate_range && (b[i] < lo[i] || b[i] > hi[i])) {
            status = bounds_degenerate;
            b[i] = mid;
        }
    }

    double violation = 0.0;
    bool moved = false;
    for (int i = 0; i < n; ++i) {
        if (mask[i] == 0 || lo[i] == hi[i]) continue;
        const double l = off_zero(lo[i]);
        const double h = off_zero(hi[i]);
        const double v = b[i];
        if (l < v && v < h) continue;
        const double half = (h - l) / 2.0;
        const double mid = (l + h) / 2.0;
        double x = 3.0;  // on a bound
        if (v > h) {
            x = 2.6;
            violation += (v - h) / (half + eps);
        } else if (v < l) {
            x = -2.6;
            violation += (l - v) / (half + eps);
        }
        s *= 1.0 + 2.0 * violation;
        moved = true;
        double t;
        if (h - l > wide_range) {
            t = with_sign(mid + wide_range_factor * half, v);
        } else if (x > 0.0 && std::fabs(l - v) < direction_switch) {
            // On (or just above) the lower bound: the lower side of the range.
            // A value below the lower bound keeps x < 0 and so stays low too.
            t = mid - std::tanh(x) * half;
        } else {
            t = mid + std::tanh(x) * half;
        }
        b[i] = clamp_to(t, l + eps, h - eps);
    }
    if (moved && !(s <= scale_cap)) s = scale_cap;
}

void check_bounds(std::span<double> p, std::span<const double> lo, std::span<const double> hi,
                  std::span<const int> mask, int n, double& penalty) {
    if (n < 1) return;
    require(std::min({p.size(), lo.size(), hi.size(), mask.size()}), n, "check_bounds");
    const auto count = static_cast<std::size_t>(n);
    std::vector<double> inner_lo(count), inner_hi(count), padj(count);
    for (std::size_t j = 0; j < count; ++j) {
        inner_lo[j] = lo[j] + 0.1 * std::fabs(lo[j]);
        inner_hi[j] = hi[j] - 0.1 * std::fabs(hi[j]);
    }
    double local_penalty = 100.0;
    bool outside = false;
    for (std::size_t i = 0; i < count; ++i) {
        if (mask[i] == 0 || !(lo[i] < hi[i])) continue;
        if (p[i] < lo[i] || p[i] > hi[i]) {
            outside = true;
            const double range = hi[i] - lo[i];
            double w = (p[i] - lo[i]) * 6.283185307179586 / range;
            w = w < 0.0 ? std::sin(w - 0.1) : std::sin(w + 0.1);
            double v = range / 2.0;
            if (!(lo[i] < 0.0 && hi[i] < 0.0)) v *= std::tanh(0.15 * w);
            v += (lo[i] + hi[i]) / 2.0;
            if (std::fabs(range) > 999900.0) v /= std::pow(10.0, 0.75 * std::log10(0.001 + range));
            v = v < 0.0 ? v / 1.25 : v * 1.5;
            v = std::max(v, inner_lo[i]);
            p[i] = static_cast<float>(std::min(static_cast<double>(static_cast<float>(v)), inner_hi[i]));
        } else if (p[i] < inner_lo[i] || p[i] > inner_hi[i]) {
            smooth_constraints::smooth_constraint_adjustment(p, inner_lo, inner_hi, mask, n, padj, local_penalty);
            p[i] = padj[i];
        }
        if (p[i] == 0.0) p[i] = 1.489966442575134e-10;
    }
    if (outside) penalty += local_penalty;
}

void abounds4(int i, std::span<double> b, int n, std::span<const int> mask, std::span<const double> lo,
              std::span<const double> hi, int& changed) {
    changed = 0;
    if (i < 0 || i >= n) return;
    require(std::min({b.size(), lo.size(), hi.size(), mask.size()}), n, "abounds4");
    if (mask[i] == 0) return;
    const double l = std::fabs(lo[i]) < 1e-15 ? with_sign(5e-8, lo[i]) : lo[i];
    const double h = hi[i];
    if (l <= b[i] && b[i] <= h) return;
    changed = 1;
    b[i] = (2.0 / std::numbers::pi) * std::atan(b[i]) * (h - l) / 2.0 + (l + h) / 2.0;
}

}  // namespace check_parameter_bounds

namespace smooth_constraints {

void smooth_constraint_adjustment(std::span<const double> p, std::span<const double> lo,
                                  std::span<const double> hi, std::span<const int> mask, int n,
                                  std::span<double> padj, double& penalty) {
    constexpr double term_limit = 45035997272619999232.0;
    penalty = 0.0;
    if (n < 1) return;
    require(std::min({p.size(), lo.size(), hi.size(), mask.size(), padj.size()}), n,
            "smooth_constraint_adjustment");
    for (int i = 0; i < n; ++i) {
        padj[i] = p[i];
        if (mask[i] != 0) {
            const double range = hi[i] - lo[i];
            const double t = (p[i] - lo[i]) / range;
            const double x = (std::fabs(t) - 0.5) * 6.25;
            if (x > 350.0)
                padj[i] = hi[i];
            else if (t < 0.0)
                padj[i] = lo[i] - range * (std::tanh(x) + 1.0) / 2.0;
            else if (t > 1.0)
                padj[i] = lo[i] + range * (std::tanh(x) + 1.0) / 2.0;
        }
        double term = 0.0;
        if (p[i] < lo[i])
            term = 10.0 * std::exp(lo[i] - p[i]);
        else if (p[i] > hi[i])
            term = 10.0 * std::exp(p[i] - hi[i]);
        if (std::isnan(term) || term > term_limit) term = 100.0;
        penalty += term;
    }
    if (std::isnan(penalty)) penalty = 100.0;
}

}  // namespace smooth_constraints

namespace robustwt {

namespace {

constexpr double tuning_a = 4.658999919891357;
constexpr double tuning_k = 1.4830000400543213;
constexpr double tuning_ak = 6.909297067811963;
constexpr double end_weight = 0.0894546282935481;  // k sin(a u) / u at u = a
constexpr double outlier_weight = 1e-8;
constexpr int bins = 1000;

// Rows of one share of a location pass's terms.
constexpr std::size_t rows_per_piece = 32;

// One location pass around centre c: the weights into w and the step of c.
// Each row's terms of the step's numerator and denominator are formed
// first (by several threads on a large table), then summed in row order.
double location_pass(std::span<const double> a, double c, double scale, std::span<double> w) {
    thread_local std::vector<double> numerator_terms, denominator_terms;  // kept from call to call
    numerator_terms.resize(a.size());
    denominator_terms.resize(a.size());
    // The threads that share the rows write into this thread's vectors.
    const std::span<double> numerators = numerator_terms, denominators = denominator_terms;
    const auto terms = [&](std::size_t piece) {
        const std::size_t last = std::min(a.size(), (piece + 1) * rows_per_piece);
        for (std::size_t i = piece * rows_per_piece; i < last; ++i) {
            const double d = a[i] - c;
            const double u = d / (tuning_ak * scale);
            if (std::fabs(u) < 1e-8) {
                w[i] = 1.0;
                numerators[i] = d;
                // k sin(a u) / u tends to a k as u goes to 0.
                denominators[i] = u == 0.0 ? tuning_ak : tuning_k * std::sin(tuning_a * u) / u;
            } else if (std::fabs(u) <= tuning_a) {
                w[i] = tuning_k * std::sin(tuning_a * u) / u;
                numerators[i] = d * w[i];
                denominators[i] = w[i];
            } else {
                w[i] = outlier_weight;
                numerators[i] = d * outlier_weight;
                denominators[i] = end_weight;
            }
        }
    };
    // The threads share the terms only where that has been measured to pay
    // (for this thread's tables).
    thread_local row_threads::Site sharing;
    row_threads::run(sharing, (a.size() + rows_per_piece - 1) / rows_per_piece, terms);
    double numerator = 0.0;
    double denominator = 0.0;
    for (std::size_t i = 0; i < a.size(); ++i) {
        numerator += numerators[i];
        denominator += denominators[i];
    }
    return denominator != 0.0 ? numerator / denominator : 0.0;
}

// Median of values by selection (NaN counting as the largest), for values
// whose mean or spread is beyond the binning.
double selected_median(std::span<const double> values) {
    thread_local std::vector<double> work;
    work.assign(values.begin(), values.end());
    const auto before = [](double a, double b) { return a < b || (std::isnan(b) && !std::isnan(a)); };
    const std::size_t half = work.size() / 2;
    std::nth_element(work.begin(), work.begin() + static_cast<std::ptrdiff_t>(half), work.end(), before);
    const double upper = work[half];
    if (work.size() % 2 == 1) return upper;
    const double lower = *std::max_element(work.begin(), work.begin() + static_cast<std::ptrdiff_t>(half), before);
    return lower / 2.0 + upper / 2.0;
}

}  // namespace

double binmedian(std::span<const double> x, int n) {
    if (n < 1) return 0.0;
    require(x.size(), n, "binmedian");
    const auto values = x.first(static_cast<std::size_t>(n));
    double sum = 0.0;
    for (const double v : values) sum += v;
    const double mean = sum / n;
    double squares = 0.0;
    for (const double v : values) squares += (v - mean) * (v - mean);
    const double sd = std::sqrt(squares / n);
    // Squares that overflow (values beyond about 1e154) or NaN values leave no
    // bins to count into.
    if (!std::isfinite(mean) || !std::isfinite(sd)) return selected_median(values);
    const double lower = mean - sd;
    const double scale = bins / (2.0 * sd);

    int below = 0;
    std::array<int, bins> counts{};
    for (const double v : values) {
        if (v < lower) {
            ++below;
        } else if (v < mean + sd) {
            // Rounding can put a value just below mean + sd one past the last
            // bin; a spread too small for its scale puts the lowest value at
            // 0 times infinity.
            const double t = (v - lower) * scale;
            const int bin = t < bins ? static_cast<int>(t) : (t >= bins ? bins - 1 : 0);
            ++counts[static_cast<std::size_t>(bin)];
        }
    }

    int total = below;
    if (n % 2 == 1) {
        const int target = (n + 1) / 2;
        for (int j = 0; j < bins; ++j) {
            total += counts[static_cast<std::size_t>(j)];
            if (total >= target) return lower + (j + 0.5) / scale;
        }
        return mean;
    }
    const int target = n / 2;
    for (int j = 0; j < bins; ++j) {
        total += counts[static_cast<std::size_t>(j)];
        if (total < target) continue;
        if (total > target) return lower + (2.0 * j + 1.0) / (2.0 * scale);
        for (int j2 = j + 1; j2 < bins; ++j2)
            if (counts[static_cast<std::size_t>(j2)] > 0) return lower + (j + j2 + 1.0) / (2.0 * scale);
        return mean;
    }
    return mean;
}

void median2(std::span<const double> x, int n, double& med) {
    constexpr double floor = 1e-15;
    constexpr double ceiling = 1e15;
    if (n < 1) {
        med = floor;
        return;
    }
    require(x.size(), n, "median2");
    std::vector<double> sorted(x.begin(), x.begin() + n);
    nrutil::sortwt(n, sorted);
    const auto half = static_cast<std::size_t>(n / 2);
    med = n % 2 == 1 ? sorted[half] : (sorted[half - 1] + sorted[half]) / 2.0;
    if (std::isnan(med) && half >= 1) med = sorted[half - 1];
    if (!std::isnan(med)) med = std::clamp(med, floor, ceiling);
}

void robust_wt(int n, std::span<const double> r, std::span<double> w) {
    if (n < 1) return;
    require(std::min(r.size(), w.size()), n, "robust_wt");
    const auto count = static_cast<std::size_t>(n);
    const auto weights = w.first(count);
    thread_local std::vector<double> a;  // kept from call to call
    a.resize(count);
    for (std::size_t i = 0; i < count; ++i) a[i] = std::fabs(r[i]);

    const double med = binmedian(a, n);
    double spread = 0.0;
    for (const double v : a) spread += std::fabs(v - med);
    spread /= n;
    spread = std::isnan(spread) ? 1.0 : std::clamp(spread, 1e-15, 1e15);

    if (spread <= 1e-8) {
        std::fill(weights.begin(), weights.end(), 1.0);
    } else {
        double centre = med + location_pass(a, med, spread, weights);
        for (int pass = 0; pass < 10; ++pass) {
            const double step = location_pass(a, centre, spread, weights);
            centre += step;
            if (std::fabs(step) <= 1e-8) break;
        }
    }
    for (double& v : weights) v = std::isnan(v) ? 1.0 : std::fabs(v);
}

}  // namespace robustwt
