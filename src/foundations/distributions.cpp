#include "foundations/distributions.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "foundations/nrutil.h"

namespace distributions {

namespace {

constexpr double kPi = 3.141592653589793;
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// Stirling's series for ln Gamma at x + 9, less the log of x (x + 1) ... (x + 8);
// half_log_two_pi is the series' constant term.
double log_gamma_series(double x, double half_log_two_pi) {
    const double z = x - 1.0;
    const double w = z + 10.0;
    double product = 1.0;
    for (int k = 1; k <= 9; ++k) product *= z + k;
    const double w2 = w * w;
    const double w3 = w2 * w, w5 = w3 * w2, w7 = w5 * w2, w9 = w7 * w2;
    return (w - 0.5) * std::log(w) - w + half_log_two_pi - std::log(product) + 1.0 / (12.0 * w) -
           1.0 / (360.0 * w3) + 1.0 / (1260.0 * w5) - 1.0 / (1680.0 * w7) + 1.0 / (1188.0 * w9);
}

// 1 + sum of the products of (k - 1) / k times c over k = 2, 4, ... (even nu)
// or k = 3, 5, ... (odd nu) up to nu - 2: the series of the Student t
// distribution function in c = nu / (t^2 + nu).  Stops once the sum no
// longer changes.
double t_series(double c, int nu) {
    double sum = 1.0, term = 1.0;
    for (int k = nu % 2 == 0 ? 2 : 3; k <= nu - 2; k += 2) {
        term *= c * (k - 1) / k;
        const double next = sum + term;
        if (next == sum) break;
        sum = next;
    }
    return sum;
}

// Central probability P(|T| <= t) for nu degrees of freedom.
double central_t(double t, int nu, double two_over_pi) {
    const double c = nu / (t * t + nu);
    if (nu % 2 == 0) return t / std::sqrt(t * t + nu) * t_series(c, nu);
    const double sq = std::sqrt(static_cast<double>(nu));
    const double tail = nu == 1 ? 0.0 : sq * t / (t * t + nu) * t_series(c, nu);
    return two_over_pi * (std::atan(t / sq) + tail);
}

// Central probability of the t distribution with f degrees of freedom
// written in r = t / sqrt(t^2 + f), and its derivative with respect to r.
void central_t_of_r(double r, int f, double& value, double& slope) {
    constexpr double kTwoOverPi = 0.6366197723675814;
    const double cosine = std::sqrt(1.0 - r * r);
    const double c = cosine * cosine;
    // Leading factor of the density: prod (k + 1) / k over k = 1, 3, ..., f - 2
    // (odd f) or k = 2, 4, ..., f - 2 (even f).
    double factor = 1.0;
    for (int k = f % 2 == 0 ? 2 : 1; k <= f - 2; k += 2) factor *= (k + 1.0) / k;
    if (f % 2 == 0) {
        value = r * t_series(c, f);
        slope = factor * std::pow(cosine, f - 2);
    } else {
        value = kTwoOverPi * (std::asin(r) + (f == 1 ? 0.0 : r * cosine * t_series(c, f)));
        slope = kTwoOverPi * factor * std::pow(cosine, f - 2);
    }
}

// Sidak-adjusted level 1 - (1 - alpha)^(1/m), by its power series while
// alpha <= 0.5 and the series settles within 100 terms.
double adjusted_level(double alpha, int m) {
    if (alpha <= 0.5) {
        double term = alpha / m, sum = term;
        for (int k = 1; k < 100; ++k) {
            if (term < 1e-14) return sum;
            term *= alpha * (static_cast<double>(m) * k - 1.0) / ((k + 1.0) * m);
            sum += term;
        }
        if (term < 1e-14) return sum;
    }
    return 1.0 - std::pow(1.0 - alpha, 1.0 / m);
}

// Density of the standardised Pearson type III distribution with skew g.
double pearson3_density(double x, double g, double shape, double log_gamma_shape) {
    const double root = std::sqrt(shape);
    const double y = g > 0.0 ? shape + x * root : shape - x * root;
    if (!(y > 0.0)) return 0.0;
    const double exponent = std::log(root) + (shape - 1.0) * std::log(y) - y - log_gamma_shape;
    return exponent < -738.0 ? 0.0 : std::exp(exponent);
}

// Simpson's rule with 200 intervals.
template <class F>
double simpson(F f, double lo, double hi) {
    constexpr int kIntervals = 200;
    const double h = (hi - lo) / kIntervals;
    double sum = f(lo) + f(hi);
    for (int i = 1; i < kIntervals; ++i) sum += (i % 2 == 1 ? 4.0 : 2.0) * f(lo + i * h);
    return sum * h / 3.0;
}

}  // namespace

double dlngam(double x) { return log_gamma_series(x, 0.9189385471184401); }

double dlnbta(double a, double b) { return dlngam(a) + dlngam(b) - dlngam(a + b); }

double betain(double x, double p, double q) {
    if (!(x >= 0.0 && x <= 1.0) || !(p > 0.0) || !(q > 0.0)) return kNaN;
    if (x == 0.0 || x == 1.0) return x;
    constexpr double kAccuracy = 1e-8;
    const double log_beta = dlnbta(p, q);

    // Work on the side where the series converges fast.
    double psq = p + q, cx = 1.0 - x;
    double xx = x, pp = p, qq = q;
    const bool swapped = p < psq * x;
    if (swapped) {
        xx = cx;
        cx = x;
        pp = q;
        qq = p;
    }
    double term = 1.0, ai = 1.0, sum = 1.0;
    double ns = std::floor(qq + cx * psq);
    double rx = xx / cx;
    double temp = qq - ai;
    if (ns == 0.0) rx = xx;
    for (long iteration = 0; iteration < 1000000; ++iteration) {
        term = term * temp * rx / (pp + ai);
        sum += term;
        temp = std::fabs(term);
        if ((temp <= kAccuracy && temp <= kAccuracy * sum) || !std::isfinite(sum)) break;
        ai += 1.0;
        ns -= 1.0;
        if (ns >= 0.0) {
            temp = qq - ai;
            if (ns == 0.0) rx = xx;
        } else {
            temp = psq;
            psq += 1.0;
        }
    }
    double result = sum * std::exp(pp * std::log(xx) + (qq - 1.0) * std::log(cx) - log_beta) / pp;
    if (swapped) result = 1.0 - result;
    return result;
}

double xinbta(double alpha, double p, double q) {
    if (!(p > 0.0) || !(q > 0.0) || !(alpha >= 0.0 && alpha <= 1.0)) return kNaN;
    if (alpha == 0.0 || alpha == 1.0) return alpha;
    const double log_beta = dlnbta(p, q);

    double a = alpha, pp = p, qq = q;
    const bool swapped = alpha > 0.5;
    if (swapped) {
        a = 1.0 - alpha;
        pp = q;
        qq = p;
    }

    // Start from the normal approximation.
    double r = std::sqrt(-std::log(a * a));
    const double y0 = r - (2.30753 + 0.27061 * r) / (1.0 + (0.99229 + 0.04481 * r) * r);
    double x;
    if (pp > 1.0 && qq > 1.0) {
        r = (y0 * y0 - 3.0) / 6.0;
        const double s = 1.0 / (pp + pp - 1.0);
        const double t = 1.0 / (qq + qq - 1.0);
        const double h = 2.0 / (s + t);
        const double w = y0 * std::sqrt(h + r) / h - (t - s) * (r + 5.0 / 6.0 - 2.0 / (3.0 * h));
        x = pp / (pp + qq * std::exp(w + w));
    } else {
        r = qq + qq;
        double t = 1.0 / (9.0 * qq);
        t = r * std::pow(1.0 - t + y0 * std::sqrt(t), 3);
        if (t <= 0.0) {
            x = 1.0 - std::exp((std::log((1.0 - a) * qq) + log_beta) / qq);
        } else {
            t = (4.0 * pp + r - 2.0) / t;
            x = t <= 1.0 ? std::exp((std::log(a * pp) + log_beta) / pp) : 1.0 - 2.0 / (t + 1.0);
        }
    }
    x = std::clamp(x, 0.0001, 0.9999);

    // Newton steps, cut by 3 until they stay inside [0, 1] and shrink.
    constexpr double kSmallest = 1e-50;
    const double accuracy = std::pow(10.0, std::max(-5.0 / (pp * pp) - 1.0 / std::pow(a, 0.2) - 13.0, -50.0));
    const double rr = 1.0 - pp, tt = 1.0 - qq;
    double yprev = 0.0, sq = 1.0, prev = 1.0;
    for (int iteration = 0; iteration < 1000; ++iteration) {
        double y = betain(x, pp, qq);
        y = (y - a) * std::exp(log_beta + rr * std::log(x) + tt * std::log(1.0 - x));
        if (!std::isfinite(y)) break;
        if (y * yprev <= 0.0) prev = std::max(sq, kSmallest);
        double g = 1.0, tx = x;
        bool done = false;
        for (;;) {
            const double adj = g * y;
            sq = adj * adj;
            if (sq < prev) {
                tx = x - adj;
                if (tx >= 0.0 && tx <= 1.0) {
                    if (prev <= accuracy || std::fabs(y) <= accuracy) {
                        done = true;
                        break;
                    }
                    if (tx != 0.0 && tx != 1.0) break;
                }
            }
            g /= 3.0;
        }
        if (done || tx == x) break;
        x = tx;
        yprev = y;
    }
    return swapped ? 1.0 - x : x;
}

double fvalue(double p, double df1, double df2) {
    double q = 1.0 - p;
    if (p <= 0.0) q = 0.9999;
    if (p >= 1.0) q = 0.0;
    const double x = xinbta(q, df1 / 2.0, df2 / 2.0);
    return df2 * x / (df1 * (1.0 - x));
}

double e(double x) { return x < -738.0 ? 0.0 : std::exp(x); }

double probst(double t, int df) {
    if (df < 1) return 0.0;
    // Beyond 1e150 the distribution function is 0 or 1 to double precision
    // (and t^2 would overflow).
    if (std::fabs(t) > 1e150) return t > 0.0 ? 1.0 : 0.0;
    const double x = t / std::sqrt(static_cast<double>(df));
    const double c = df / (t * t + df);
    if (df % 2 == 0) return 0.5 + 0.5 * x * std::sqrt(c) * t_series(c, df);
    const double s = df == 1 ? 0.0 : t_series(c, df);
    return 0.5 + (c * x * s + std::atan(x)) * 0.3183098862;
}

void ppval(double& p, int& isig, int npar, int n, double est, double& se) {
    constexpr double kLow = 2.2204460492503132e-20;
    constexpr double kHigh = 45035997272620007424.0;
    const auto keep_within = [](double v) { return std::fabs(v) < kLow ? kLow : std::fabs(v) > kHigh ? kHigh : std::fabs(v); };
    const int df = n - npar;
    p = 1.0;
    se = keep_within(se);
    const double t = std::fabs(est / se);
    isig = 0;
    if (df > 0) {
        p = std::fabs(1.0 - probst(t, df));
        if (p <= 0.05000000074505806) {
            isig = 1;
            p = std::max(p, kLow);
        }
    }
    nrutil::rval_nan(p, kHigh);
    p = keep_within(p);
}

void pvalue_t(double x, double g, double& p) {
    if (std::fabs(g) < 0.01) {
        // Normal distribution, upper tail by Abramowitz and Stegun 26.2.17.
        const double u = std::fabs(x);
        if (u * u / 2.0 > 738.0) {
            p = x > 0.0 ? 1.0 : 0.0;
            return;
        }
        const double density = std::exp(-u * u / 2.0) / 2.5066282746310002;
        double tail;
        if (u <= 4.2) {
            const double t = 1.0 / (1.0 + 0.2316419 * u);
            tail = density * t *
                   (0.31938153 + t * (-0.356563782 + t * (1.781477937 + t * (-1.821255978 + t * 1.330274429))));
        } else {
            tail = density * (1.0 / u - 1.0 / (u * u * u) + 2.2 / std::pow(u, 4.9));
        }
        p = x > 0.0 ? 1.0 - tail : tail;
        return;
    }
    const double edge = -1.99 / g;
    if (g > 0.0 && x <= edge) { p = 0.0; return; }
    if (g < 0.0 && x >= edge) { p = 1.0; return; }

    const double shape = 4.0 / (g * g);
    const double log_gamma_shape = log_gamma_series(shape, 0.9189385332046727);
    const auto density = [&](double v) { return pearson3_density(v, g, shape, log_gamma_shape); };
    // Integrate the tail on x's side of the mean over at most 15 units,
    // stopping at the support edge.
    constexpr double kSpan = 15.0;
    if (x <= 0.0) {
        const double lo = g > 0.0 ? std::max(x - kSpan, edge) : x - kSpan;
        p = simpson(density, lo, x);
    } else {
        const double hi = g < 0.0 ? std::min(x + kSpan, edge) : x + kSpan;
        p = 1.0 - simpson(density, x, hi);
    }
    p = std::clamp(p, 0.0, 1.0);
}

double t95(int df) {
    static constexpr double kTable[20] = {12.71, 4.30, 3.18, 2.78, 2.57, 2.45, 2.37, 2.31, 2.26, 2.23,
                                          2.20,  2.18, 2.16, 2.15, 2.13, 2.12, 2.11, 2.10, 2.09, 2.09};
    if (df < 1) return 2.0;
    if (df <= 20) return kTable[df - 1];
    const double d = df;
    double hundredths;
    if (df <= 30) {
        hundredths = 12.3 * std::exp((20.0 - d) * 0.04054651081081646) + 196.5;
    } else if (df <= 60) {
        // The curve has a pole at 35; the exact quantile there is 2.030.
        if (df == 35) return 2.03;
        hundredths = 8.2 * std::exp(0.7178397931503169 / ((35.0 - d) * 35.0)) + 196.5;
    } else {
        hundredths = 3.9 * std::exp(0.6678293725756553 / ((60.0 - d) * 60.0)) + 196.5;
    }
    return std::trunc(hundredths) / 100.0;
}

float tvalue95(int df) {
    if (df < 1) return 2.0f;
    // Only the chain for the tail probability 0.025 feeds the result.
    constexpr double kLevel = 1.0 - 2.0 * 0.025;
    constexpr double kTwoOverPi = 0.6366197466850281;
    float t = static_cast<float>(std::tan(kLevel * kPi / 2.0) + 0.005);
    if (df >= 2) t = static_cast<float>(std::sqrt(2.0 * kLevel * kLevel / (1.0 - kLevel * kLevel)) + 0.005);
    for (int nu = 3; nu <= df; ++nu) {
        // Step down from 0.02 above the previous value until the central
        // probability is no longer above the level; keep the nearer point.
        double above = t + 0.02;
        double above_probability = central_t(above, nu, kTwoOverPi);
        double below = above, below_probability = above_probability;
        while (below_probability > kLevel) {
            above = below;
            above_probability = below_probability;
            below -= 0.01;
            below_probability = central_t(below, nu, kTwoOverPi);
        }
        const bool above_nearer = above_probability - kLevel < kLevel - below_probability;
        t = static_cast<float>((above_nearer ? above : below) + 0.005);
    }
    return static_cast<float>(std::trunc(1000.0f * t + 0.5f)) / 1000.0f;
}

void taure(int m, int n, double alpha, double& tau) {
    if (n < 1) {
        tau = 0.0;
        return;
    }
    if (n == 1 || alpha <= 0.0) {
        tau = std::sqrt(static_cast<double>(n));
        return;
    }
    if (alpha >= 1.0) {
        tau = 0.0;
        return;
    }
    m = std::max(m, 1);
    const double level = adjusted_level(alpha, m);
    const int f = n - 1;

    double r;
    if (f == 1) {
        r = std::sin((1.0 - level) * kPi / 2.0);
    } else {
        // Normal quantile (Hastings), then Cornish-Fisher to Student t.
        const double w = std::sqrt(1.3862943611199 - 2.0 * std::log(level));
        const double z = w - (2.515517 + 0.802853 * w + 0.010328 * w * w) /
                                 (1.0 + 1.432788 * w + 0.189269 * w * w + 0.001308 * w * w * w);
        const double z2 = z * z, z3 = z2 * z, z5 = z3 * z2, z7 = z5 * z2, z9 = z7 * z2;
        const double ff = f;
        const double t = z + (z3 + z) / (4.0 * ff) + (5.0 * z5 + 16.0 * z3 + 3.0 * z) / (96.0 * ff * ff) +
                         (3.0 * z7 + 19.0 * z5 + 17.0 * z3 - 15.0 * z) / (384.0 * ff * ff * ff) +
                         (79.0 * z9 + 776.0 * z7 + 1482.0 * z5 - 1920.0 * z3 - 945.0 * z) /
                             (92160.0 * ff * ff * ff * ff);
        r = t / std::sqrt(t * t + ff);
    }

    // Newton steps on the central probability; a step that is not at most
    // half the previous one (the first: at most 1), or that leaves (0, 1),
    // is not taken.
    double limit = 1.0;
    for (int step_count = 0; step_count < 50; ++step_count) {
        double value, slope;
        central_t_of_r(r, f, value, slope);
        const double step = (1.0 - level - value) / slope;
        if (!(std::fabs(step) <= limit)) break;
        const double next = r + step;
        if (!(next > 0.0 && next < 1.0)) break;
        r = next;
        if (std::fabs(step) < 1e-8) break;
        limit = 0.5 * std::fabs(step);
    }
    tau = std::sqrt(static_cast<double>(n)) * r;
}

}  // namespace distributions
