#include "views/axisscale.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <string>

namespace axisscale {

namespace {

constexpr double log10_2 = 0.3010299956639812;
constexpr double zero_tolerance = 1e-16;
constexpr double scale_tolerance = 1.9999999494757503e-5;  // 2e-5 in single precision
// Larger steps are tried at most this often: far more than any finite range
// needs, and an end when rounding would keep a range from ever fitting.
constexpr int max_tries = 700;

// Truncation toward zero; values beyond 2^52 are whole already.
double whole(double v) { return std::fabs(v) < 4503599627370496.0 ? std::trunc(v) : v; }
// +1 or -1 by the sign bit.
double sign_of(double v) { return std::signbit(v) ? -1.0 : 1.0; }
bool finite(double a, double b) { return std::isfinite(a) && std::isfinite(b); }

// Limits on whole steps of 5 * 10^e * 2^m for lo..hi, worked out in a frame
// where the larger magnitude is positive (u, w turn it back).
struct Neat {
    double lo = 0.0, hi = 0.0, step = 0.0;
    double top = 0.0;  // upper limit in the oriented frame
    double u = 0.0;    // 2 when the frame is the data's own, 0 when mirrored
};

bool neat_limits(double lo, double hi, int n, Neat& r) {
    double u = 0.0, w = -2.0, p = -lo, q = 1e-9;
    if (hi != 0.0) {
        u = sign_of(hi) + 1.0;
        w = sign_of(hi) - 1.0;
        p = lo * w / 2 + hi * u / 2;
        q = lo * u / 2 + hi * w / 2;
    }
    // Zero suppression in halving steps.
    const double k = whole(std::log10(p / (p - q)) / log10_2);
    const double d = (1.0 - std::pow(0.5, k)) * p;
    const double range = p - d;
    const double f = std::pow(10.0, whole(std::log10(range / n)));
    const double m = whole(std::log10(range / (n * f)) / log10_2);
    double step = 5.0 * f * std::pow(2.0, m);
    if (step >= 100.0) step /= 10.0;
    const double top = (whole(p / step) + 1.0) * step;
    const double bottom = top + step * whole((d - top) / step);
    r = {bottom * u / 2 + top * w / 2, top * u / 2 + bottom * w / 2, step, top, u};
    return finite(r.lo, r.hi) && std::isfinite(r.top) && std::isfinite(step) && step > 0.0;
}

void set_zero_if_tiny(double& v) {
    if (std::fabs(v) < zero_tolerance) v = 0.0;
}

// The covering and zero adjustments of neatscale, on the oriented result.
void cover(double a, double b, Neat& r) {
    enum class Next { check_top, raise_top, final_adjust, done };
    double& lo = r.lo;
    double& hi = r.hi;
    const double step = r.step;
    Next next = Next::check_top;
    if (lo >= a && std::fabs(a) >= zero_tolerance) {
        lo = (whole((a - 2 * step) / step) + 1.0) * step * r.u / 2;
    } else if (lo >= a) {
        if (b < hi) {
            lo = 0.0;
            if (std::fabs(hi) < zero_tolerance) {
                hi = 0.0;
                next = Next::final_adjust;
            } else {
                if (a < 0.0) lo = a - step;
                next = Next::done;
            }
        } else if (std::fabs(b) < zero_tolerance) {
            lo = hi = 0.0;
            next = Next::final_adjust;
        } else {
            lo = 0.0;
            next = Next::raise_top;
        }
    }
    if (next == Next::check_top) {
        if (b >= hi) {
            if (std::fabs(b) >= zero_tolerance) {
                next = Next::raise_top;
            } else {
                hi = 0.0;
                set_zero_if_tiny(lo);
                next = Next::final_adjust;
            }
        } else {
            if (std::fabs(lo) < zero_tolerance) lo = 0.0;
            if (std::fabs(hi) < zero_tolerance) {
                hi = 0.0;
                next = Next::final_adjust;
            } else {
                if (lo > a) lo = a - step;
                next = Next::done;
            }
        }
    }
    if (next == Next::raise_top) {
        const double t = 2 * step + b;
        hi = (r.top + step * whole((t - r.top) / step)) * (sign_of(t) + 1.0) / 2;
        set_zero_if_tiny(lo);
        set_zero_if_tiny(hi);
        next = Next::final_adjust;
    }
    if (next == Next::final_adjust) {
        if (lo > a) lo = a - step;
        if (hi < b) hi = b + step;
    }
}

// The step rule on lo..hi itself, a range of one value widened first.
bool nice(double& lo, double& hi, double& step, int n) {
    if (!finite(lo, hi)) return false;
    double a = std::min(lo, hi), b = std::max(lo, hi);
    if (a == b) {
        const double d = std::fabs(a) * 0.05;
        if (d > 0.0) {
            a -= d;
            b += d;
        } else {
            b = 1.0;
        }
    }
    Neat r;
    if (!neat_limits(a, b, n, r)) return false;
    set_zero_if_tiny(r.lo);
    set_zero_if_tiny(r.hi);
    lo = r.lo;
    hi = r.hi;
    step = r.step;
    return true;
}

void improper(int k) { std::printf(" IMPROPER INPUT SUPPLIED TO SCALE%d\n", k); }

// Whole multiples of dist at or below lo and at or above hi, a hair's
// rounding taken as the multiple itself.
struct Multiples {
    double m1 = 0.0, m2 = 0.0;
};
Multiples multiples(double lo, double hi, double dist) {
    const double fm1 = lo / dist;
    double m1 = std::floor(fm1);
    if (std::fabs(m1 + 1.0 - fm1) < scale_tolerance) m1 += 1.0;
    const double fm2 = hi / dist;
    double m2 = std::floor(fm2 + 1.0);
    if (std::fabs(fm2 + 1.0 - m2) < scale_tolerance) m2 -= 1.0;
    return {m1, m2};
}

// Power of ten at or below a and a's mantissa against it.
double decade_of(double a) { return std::pow(10.0, std::floor(std::log10(a))); }

}  // namespace

bool neatscale(double& a, double& b, double& step, int n) {
    if (!finite(a, b) || n < 1) {
        step = 0.0;
        return false;
    }
    double lo_in = std::min(a, b), hi_in = std::max(a, b);
    if (lo_in == 0.0 && hi_in == 0.0) hi_in = 1.0;
    const double lo = lo_in < 0 ? 1.05 * lo_in : 0.95 * lo_in;
    const double hi = hi_in < 0 ? 0.95 * hi_in : 1.05 * hi_in;
    Neat r;
    if (!finite(lo, hi) || !neat_limits(lo, hi, n, r)) {
        step = 0.0;
        return false;
    }
    cover(lo_in, hi_in, r);
    if (!finite(r.lo, r.hi)) {
        step = 0.0;
        return false;
    }
    a = r.lo;
    b = r.hi;
    step = r.step;
    return true;
}

bool nicezscale(double& zmin, double& zmax, double& zstep) { return nice(zmin, zmax, zstep, 30); }

bool nicescale(double& xmin, double& xmax, double& xstep, double& zmin, double& zmax, double& zstep) {
    const bool z = nice(zmin, zmax, zstep, 15);
    const bool x = nice(xmin, xmax, xstep, 30);
    return z && x;
}

bool scale1(double xmin, double xmax, int n, double& xminp, double& xmaxp, double& dist) {
    const double top = xmax * static_cast<double>(xmax >= 0 ? 1.3f : 0.7f);
    if (!finite(xmin, top) || !(top > xmin) || n < 1) {
        improper(1);
        return false;
    }
    static constexpr std::array<double, 4> thresholds{1.414214f, 2.236068f, 3.162278f, 7.071068f};
    static constexpr std::array<double, 5> steps{1, 2, 3, 5, 10};
    const double a = (top - xmin) / n;
    const double e = decade_of(a);
    const double b = a / e;
    std::size_t i = 0;
    while (i < thresholds.size() && !(b < thresholds[i])) ++i;
    dist = steps[i] * e;
    const Multiples m = multiples(xmin, top, dist);
    xminp = std::min(m.m1 * dist, xmin);
    xmaxp = std::max(m.m2 * dist, top);
    return true;
}

bool scale2(double xmin, double xmax, int n, double& xminp, double& xmaxp, double& dist) {
    if (!finite(xmin, xmax) || !(xmax > xmin) || n < 1) {
        if (finite(xmin, xmax)) {
            xminp = xmin;
            xmaxp = 1.1 * xmax;
        }
        improper(2);
        return false;
    }
    static constexpr std::array<double, 7> steps{1, 2, 3, 5, 8, 10, 20};
    const double a = (xmax - xmin) / n;
    double e = decade_of(a);
    const double b = a / e;
    std::size_t i = 0;
    while (i < 4 && !(b < steps[i] + scale_tolerance)) ++i;
    Multiples m;
    for (int tries = 0;; ++tries) {
        dist = steps[i] * e;
        m = multiples(xmin, xmax, dist);
        if (m.m2 - m.m1 <= n) break;
        if (tries == max_tries || !std::isfinite(dist)) {
            improper(2);
            return false;
        }
        if (++i == steps.size()) {  // 20 is 2 of the next decade: go on with 3
            e *= 10.0;
            i = 2;
        }
    }
    if (m.m1 * dist == 0.0) {
        xminp = 0.0;
    } else {
        const double spare = std::floor((n - (m.m2 - m.m1)) / 2.0);
        xminp = (m.m1 - spare) * dist;
    }
    xmaxp = std::max(xminp + n * dist, xmax);
    xminp = std::min(xminp, xmin);
    return true;
}

bool scale3(double xmin, double xmax, int n, double& xminp, double& xmaxp, double& dist) {
    if (!finite(xmin, xmax) || !(xmax > xmin) || n < 2 || !(xmin > 0.0)) {
        improper(3);
        return false;
    }
    // Decade subdivisions as log10 steps 10 / v times a power of ten.
    static constexpr std::array<double, 11> subdivisions{10, 9, 8, 7, 6, 5, 4, 3, 2, 1, 0.5};
    double lmin = std::log10(xmin);
    const double lmax = std::log10(xmax);
    if (lmin == 0.0 && lmax >= 10.0) lmin = 0.01;
    const double a = (lmax - lmin) / n;
    double e = decade_of(a);
    const double b = a / e;
    std::size_t i = 0;
    while (i < 9 && !(b < 10.0 / subdivisions[i] + scale_tolerance)) ++i;
    double log_step = 0.0;
    Multiples m;
    for (int tries = 0;; ++tries) {
        log_step = e * 10.0 / subdivisions[i];
        m = multiples(lmin, lmax, log_step);
        if (m.m2 - m.m1 <= n) break;
        if (tries == max_tries || !std::isfinite(log_step)) {
            improper(3);
            return false;
        }
        if (++i == subdivisions.size()) {  // 20 is 2 of the next decade: go on with 2.5
            e *= 10.0;
            i = 6;
        }
    }
    const double spare = std::floor((n - (m.m2 - m.m1)) / 2.0);
    const double low = (m.m1 - spare) * log_step;
    dist = std::pow(10.0, log_step);
    xminp = std::min(xmin, std::pow(10.0, low));
    xmaxp = std::max(xmax, std::pow(10.0, low + n * log_step));
    return true;
}

int scale4(double xmin, double xmax, int n, int m, Scale4& out) {
    if (!finite(xmin, xmax)) return 1;
    int status = 0;
    if (xmin > xmax) status += 1;
    if (n <= 1 || n > 10000) status += 2;
    if (m < 1 || m >= n) status += 4;
    if (status != 0) return status;

    double lo = xmin, hi = xmax;
    if (hi - lo <= 5e-6 * std::max(std::fabs(lo), std::fabs(hi))) {
        if (lo > 0.0) {
            lo = 0.0;
        } else if (hi < 0.0) {
            hi = 0.0;
        } else {
            lo = 0.0;
            hi = 1.0;
        }
        status = -1;
    }
    static constexpr std::array<double, 12> lengths{12, 15, 20, 25, 30, 40, 50, 60, 80, 100, 120, 150};
    const double range = hi - lo;
    int p = static_cast<int>(std::floor(std::log10(range))) - 1;
    if (range / std::pow(10.0, p) <= 10.0) --p;  // scaled range in (10, 100]
    const double scaled = range / std::pow(10.0, p);
    std::size_t i = 0;
    while (lengths[i] < scaled) ++i;
    const int intervals = n - 1;
    for (int tries = 0; tries < max_tries; ++tries) {
        const double step = lengths[i] * std::pow(10.0, p) / intervals;
        const double start = std::floor(lo / step) * step;
        if (!finite(start, step)) break;
        if (start + intervals * step >= hi) {
            out = {start, step, p, (n - 1) / m + 1};
            return status;
        }
        if (++i == lengths.size()) {  // 150 is followed by 200
            ++p;
            i = 2;
        }
    }
    return 2;  // a range too wide to scale
}

int axis4(double xmin, double xmax, int nticks, int width, Axis4& out) {
    if (nticks < 2) return 1;
    if (!finite(xmin, xmax) || !(xmax > xmin)) return 2;
    Axis4 r;
    for (int i = 0; i < nticks; ++i) r.ticks.push_back(xmin + (xmax - xmin) * i / (nticks - 1));
    const double largest = std::max(std::fabs(xmin), std::fabs(xmax));
    r.exponent = static_cast<int>(std::floor(std::log10(largest))) + 1;  // mantissas in [0.1, 1)
    const double scale = std::pow(10.0, r.exponent);
    auto label = [&](double v, int decimals) {
        char text[64];
        std::snprintf(text, sizeof text, "%.*f", decimals, v / scale);
        return std::string(text);
    };
    for (int decimals = 0; decimals <= 15; ++decimals) {
        bool apart = true;
        for (int i = 1; i < nticks && apart; ++i) apart = label(r.ticks[i - 1], decimals) != label(r.ticks[i], decimals);
        if (!apart) continue;
        r.decimals = decimals;
        for (double t : r.ticks) r.width = std::max(r.width, static_cast<int>(label(t, decimals).size()));
        if (r.width > width) return 4;
        out = std::move(r);
        return 0;
    }
    return 16;
}

bool scaledist(double xmin, double xmax, int n, double& dist) {
    dist = 0.0;
    if (!finite(xmin, xmax) || xmax < xmin || n < 1) return false;
    const double d = (xmax - xmin) / n;
    const double w = std::floor(d);
    double f = d - w;
    if (f == 0.0) f = 0.02;
    double s = 1.0;
    while (f < 1.0) {
        f *= 10.0;
        s *= 10.0;
    }
    double c = 1.0;
    for (double candidate : {2.0, 3.0, 5.0, 10.0}) {
        if (std::fabs(f - candidate) < std::fabs(candidate - c)) c = candidate;
    }
    dist = c / s + w;
    return std::isfinite(dist);
}

bool ascl(int n, double xmin, double xmax, Ascl& out) {
    out = {};
    if (n < 1 || n > 20 || !finite(xmin, xmax)) return false;
    double lo = std::min(xmin, xmax), hi = std::max(xmin, xmax);
    if (lo == 0.0 && hi == 0.0) return false;
    const double mean = lo / 2 + hi / 2;
    const double ratio = lo != 0.0 ? std::fabs(hi / lo) : HUGE_VAL;
    if (ratio >= 0.001 && ratio <= 1000.0 && hi - lo < 5e-6 * n * std::fabs(mean)) {
        lo = mean - 2.6e-6 * n * std::fabs(mean);
        hi = mean + 2.6e-6 * n * std::fabs(mean);
    } else {
        const double trim = 1e-6 * (hi - lo);
        lo += trim;
        hi -= trim;
    }
    const double raw = (hi - lo) / n;
    if (!(raw > 0.0) || !std::isfinite(raw)) return false;
    const double e = decade_of(raw);
    const double mantissa = raw / e;
    const int factor = mantissa < 2.0 ? 1 : mantissa < 5.0 ? 2 : 5;
    const double interval = factor * e;
    const double low = std::floor(lo / interval) * interval;
    double high = std::round(hi / interval) * interval;
    if (high < hi) high += interval;
    if (!finite(low, high) || !(interval > 0.0)) return false;
    out.interval = interval;
    out.low = low;
    out.high = high;
    out.intervals = static_cast<int>(std::lround((high - low) / interval));
    out.minor = out.intervals * (factor == 2 ? 4 : 5);
    const double largest = std::max(std::fabs(low), std::fabs(high));
    const int digits = largest > 0.0 ? static_cast<int>(std::floor(std::log10(largest) - std::log10(e))) + 1 : 1;
    out.decade = digits < 6 ? 0 : 11 + (digits - 6);
    return true;
}

}  // namespace axisscale
