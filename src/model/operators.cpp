#include "model/operators.h"

#include "model/operators_steps.h"

#include <cmath>
#include <limits>
#include <optional>

namespace {

constexpr double omega = 0.5671432904097838;        // W(1)
constexpr double minus_inv_e = -0.36787944117144233;  // -1/e, the branch point
constexpr double e_value = 2.718281828459045;
constexpr double tiny = 4.930380658e-32;
constexpr double huge_value = 2.02824096e31;

// The fixed values of W at and below the branch point, at 1, e and beyond
// 3e45; none elsewhere.
std::optional<double> lambert_fixed_value(double x) {
    if (x < minus_inv_e) return 0.0;
    if (x == minus_inv_e) return -1.0;
    if (x <= 0.0) return 0.0;
    if (x == 1.0) return omega;
    if (x == e_value) return 1.0;
    if (x >= 3e45) return 100.0;
    return std::nullopt;
}

// ln(x / |w|), negated when w is negative.
double signed_log_ratio(double x, double w) {
    const double l = std::log(x / std::fabs(w));
    return w < 0.0 ? -l : l;
}

// w after one fourth-order correction towards W(x).
double corrected_once(double x, double w) {
    const double z = signed_log_ratio(x, w) - w;
    const double q = 2.0 * (1.0 + w) * (1.0 + w + 2.0 * z / 3.0);
    return w * (1.0 + z / (1.0 + w) * (q - z) / (q - 2.0 * z));
}

// Change of w made by that correction.
double correction(double x, double w) { return corrected_once(x, w) - w; }

// The same change written as one quotient.
double correction_quotient(double x, double w) {
    const double z = signed_log_ratio(x, w) - w;
    const double q = 2.0 * (1.0 + w) * (1.0 + w + 2.0 * z / 3.0);
    return w * z * (q - z) / ((1.0 + w) * (q - 2.0 * z));
}

// One Halley step on w * e^w - x = 0.
double halley_step(double x, double w) {
    const double ew = std::exp(w);
    const double r = w * ew - x;
    return w - r / (ew * (w + 1.0) - (w / 2.0 + 1.0) * r / (w + 1.0));
}

// Start value of the omegaw family; a start that is not positive (or not a
// number) is replaced by a simple one.
double omegaw_start(double x) {
    const double w0 = 1.4586887 * std::log(1.2 * x / std::log(2.4 * x / std::log(1.0 + 2.4 * x)))
                      - 0.4586887 * std::log(2.0 * x / std::log(1.0 + 2.0 * x));
    if (w0 > 0.0) return w0;
    return x / (1.0 + x) + std::log(1.0 + x / 8.0);
}

// The start of omegaw for an argument that may be NaN, kept within [-65, 65].
double bounded_start(double x) {
    if (std::isnan(x)) x = 1e-16;
    double w0 = omegaw_start(x);
    if (std::isnan(w0)) w0 = 1e-8;
    if (w0 < -65.0) return -65.0;
    if (w0 > 65.0) return 65.0;
    return w0;
}

// Up to three corrections of w, stopping once a correction is below
// 1e-10 x; a correction that is not a number is taken at that bound.
double corrected(double x, double w) {
    const double bound = 1e-10 * x;
    for (int k = 0; k < 3; ++k) {
        double c = correction(x, w);
        if (std::isnan(c)) c = bound;
        w += c;
        if (std::fabs(c) < bound) break;
    }
    return w;
}

// Up to three corrections, each kept only when the new value is a number
// in [0, 1.01 * start].
double corrected_within(double x, double start) {
    double w = start;
    for (int k = 0; k < 3; ++k) {
        const double next = corrected_once(x, w);
        if (next >= 0.0 && next <= 1.01 * start) w = next;
    }
    return w;
}

// Rounds of one correction and one Halley step, ending when a correction is
// at most 1e-16; shared by w and wtwo.
double correct_and_halley(double x, double (*form)(double, double)) {
    if (!(x >= 0.0)) x = 0.0;
    if (x < 9.999779838528536e-7) return 0.999998 * x;
    double wv = omegaw_start(x);
    for (int k = 0; k < 3; ++k) {
        const double c = form(x, wv);
        wv += c;
        if (std::fabs(c) <= 1e-16) break;
        wv = halley_step(x, wv);
    }
    return wv;
}

}  // namespace

double omegawo(double x) {
    if (const auto fixed = lambert_fixed_value(x)) return *fixed;
    // The start below is not accurate enough near 0 for the steps to
    // converge; there W(x) = x - x^2 + O(x^3) is exact to rounding.
    if (x < 1e-8) return x * (1.0 - x);

    const double s = std::sqrt(1.0 + e_value * x);
    double wv = 2.036 * std::log((1.0 + 1.14956131 * s) / (1.0 + 0.4549574 * std::log(1.0 + s))) - 1.0;
    for (int k = 0; k < 3; ++k) wv = wv / (1.0 + wv) * (1.0 + signed_log_ratio(x, wv));
    return corrected_once(x, wv);
}

double omegaw(double x) {
    if (!(x >= 0.0)) x = 0.0;
    double wv = corrected(x, omegaw_start(x));
    for (int k = 0; k < 3; ++k) {
        const double r = wv * std::exp(wv) - x;
        if (!(std::fabs(r) > 1e-10 * x && x > 0.0)) break;
        wv = halley_step(x, wv);
    }
    return wv;
}

double omgaw(double x) {
    const double xv = x > 0.0 ? x : 0.0;
    return corrected(xv, omegaw_start(xv));
}

double omagaw(double x) { return corrected_within(x, bounded_start(x)); }

double w(double x) { return correct_and_halley(x, correction); }

double wtwo(double x) { return correct_and_halley(x, correction_quotient); }

namespace operators {

const double exp_table[41] = {
    1.0, 2.718281828459045, 7.38905609893065, 20.085536923187668,
    54.598150033144236, 148.4131591025766, 403.4287934927351, 1096.6331584284585,
    2980.9579870417283, 8103.083927575384, 22026.465794806718, 59874.14171519782,
    162754.79141900392, 442413.3920089205, 1202604.2841647768, 3269017.3724721107,
    8886110.520507872, 24154952.7535753, 65659969.13733051, 178482300.96318725,
    485165195.4097903, 1318815734.4832146, 3584912846.131592, 9744803446.248903,
    26489122129.84347, 72004899337.38588, 195729609428.83878, 532048240601.79865,
    1446257064291.475, 3931334297144.042, 10686474581524.463, 29048849665247.426,
    78962960182680.69, 214643579785916.06, 583461742527454.9, 1586013452313430.8,
    4311231547115195.0, 1.1719142372802612e+16, 3.1855931757113756e+16, 8.659340042399374e+16,
    2.3538526683702e+17,
};

namespace {

// Beyond +-40 the library exponential up to +-70, then the fixed values
// high (x >= 0) or low.
double beyond_table(double x, double high, double low) {
    if (std::fabs(x) < 70.0) return std::exp(x);
    return x >= 0.0 ? high : low;
}

// |x| split into n + f (n its integer part, |x| <= 40): t = e^n from the
// table, its reciprocal for negative x.
struct TableSplit {
    double t, f;
};
TableSplit table_split(double x) {
    const double ax = std::fabs(x);
    const int n = static_cast<int>(ax);
    return {x < 0.0 ? 1.0 / exp_table[n] : exp_table[n], ax - n};
}

}  // namespace

double qexp(double x) {
    if (steps::qexp_by_table(x)) return steps::qexp_table(x);
    if (std::isnan(x)) return 1.0;
    // Too large to be changed by adding 1e16: saturate by sign.
    if (x + 1e16 == x) return x > 0.0 ? 1e32 : 1e-32;
    if (std::fabs(x) <= 1e-16) return 1.0;
    return beyond_table(x, 1e32, 1e-32);
}

double aln(double x) {
    if (std::isnan(x)) return -36.0;
    x = std::fabs(x);
    if (std::isinf(x)) return 36.0;
    if (x <= 2.22e-16) return -36.0;
    if (x >= 4.5e15) return 36.0;

    // A series, then Newton steps on e^y = x.
    double y = steps::aln_series(x);
    const double tolerance = std::tanh(x) * 1e-8;
    for (int k = 0; k < 21; ++k) {
        const double e = qexp(y);
        const double d = e - x;
        y = steps::aln_step(y, e, x);
        if (std::fabs(d) <= tolerance) break;
    }
    return y;
}

double sqroot(double x) { return steps::sqroot(x); }

double omega_w(double x) {
    if (const auto fixed = lambert_fixed_value(x)) return *fixed;
    return corrected_within(x, bounded_start(x));
}

double pwri(double x, std::int32_t n) {
    long long m = n < 0 ? -static_cast<long long>(n) : n;
    double result = 1.0, base = x;
    while (m > 0) {
        if (m & 1) result *= base;
        base *= base;
        m >>= 1;
    }
    return n < 0 ? 1.0 / result : result;
}

double fxp(double x) {
    const double ax = std::fabs(x);
    if (ax <= 2.220446049250313e-16 || std::isnan(x)) return 1.0;
    if (ax > 40.0) {
        if (ax >= 100.0) return x >= 0.0 ? 2.688117e43 : 3.720076e-44;
        return std::exp(x);
    }
    const int n = static_cast<int>(ax);
    const double f = ax - n;
    double g = 1.0 + f / 4096.0;
    for (int k = 0; k < 6; ++k) g *= g;  // ^64
    for (int k = 0; k < 6; ++k) g *= g;  // ^64 again
    const double result =
        qexp(n) * g * (1.0 + f * f / 8192.0 * (1.0 + (f / 2.0 + f * f / 4.0 - 1.165 * f) / 4096.0));
    return x < 0.0 ? 1.0 / result : result;
}

double aexp(double x) {
    if (std::isnan(x)) return 1.0;
    // Too large to be changed by adding 4.5e15: saturate by sign.
    if (x + 4.5e15 == x) return x > 0.0 ? 2.5e30 : 4e-31;
    const double ax = std::fabs(x);
    if (ax < 1e-15) return std::exp(x);
    if (ax > 40.0) return beyond_table(x, 2.5e30, 4e-31);
    const auto [t, f] = table_split(x);
    if (f <= 1e-8) return t;
    const double p = 1.000000040240901 +
                     f * (0.9999961237668357 +
                          f * (0.5000608931054955 +
                               f * (0.1663092234142068 +
                                    f * (0.04265823009002989 + f * (0.006944357403481671 + f * 0.002312920197192961)))));
    const double lp = std::log(p);
    const double q = p - 2.0 * f * (lp - f) / (lp + f);
    return x < 0.0 ? t / q : t * q;
}

double dln(double x) {
    if (std::isnan(x)) return tiny;
    const double ax = std::fabs(x);
    if (std::isinf(ax)) return huge_value;
    if (ax <= tiny) return -80.0;
    if (ax >= huge_value) return 80.0;
    return std::log(ax);
}

double lln(double x) {
    const double ax = std::fabs(x);
    if (std::isnan(x) || std::isinf(ax) || ax <= tiny || ax >= huge_value) return dln(x);
    if (ax < 0.1 || ax > 15.0) return std::log(ax);
    const double t = (ax - 1.0) / (ax + 1.0);
    const double t2 = t * t;
    const double s =
        2.0 * t *
        (45045.0 + t2 * (15015.0 + t2 * (9009.0 + t2 * (6435.0 + t2 * (5005.0 + t2 * (4095.0 + t2 * (3465.0 + t2 * 3003.0))))))) /
        45045.0;
    const double e = qexp(s);
    return s - 2.0 * (e - ax) / (ax + e);
}

namespace {

// A power's NaN becomes 1, an infinity huge, and the magnitude is kept
// within [tiny, huge] with its sign.
double bounded_power(double v) {
    if (std::isnan(v)) return 1.0;
    const double av = std::fabs(v);
    if (av > huge_value) return std::copysign(huge_value, v);
    if (av < tiny) return std::copysign(tiny, v);
    return v;
}

}  // namespace

double rpwrr(double x, double y) {
    if (y == 0.0 || std::fabs(y) < tiny) return 1.0;
    if (x == 0.0 || std::fabs(x) < tiny) return 0.0;
    // A NaN exponent makes a NaN power, which counts as 1.
    if (std::isnan(y)) return 1.0;
    // The integer part is capped: beyond 2^30 every power saturates anyway.
    const double n_real = std::trunc(y);
    const double f = y - n_real;
    const double cap = 1073741824.0;
    const auto n = static_cast<std::int32_t>(n_real > cap ? cap : (n_real < -cap ? -cap : n_real));
    if (std::fabs(f) < 1e-8) return bounded_power(pwri(x, n));
    // Fractional exponent: the real power of |x|, positive.
    return bounded_power(pwri(std::fabs(x), n) * qexp(f * aln(x)));
}

double dpwr(double x, double y) {
    if (y == 0.0) return 1.0;
    if (x == 0.0) return 0.0;
    const double a = y * std::log(std::fabs(x));
    double v;
    if (!(std::fabs(a) > 690.0)) {
        v = qexp(a);
    } else {
        v = std::exp(a > 0.0 ? 65.0 : -65.0);
    }
    // The magnitude is returned positive for every base.
    return bounded_power(v);
}

double cuberoot(double x) { return std::copysign(std::pow(std::fabs(x), 0.3333333333333333), x); }

}  // namespace operators
