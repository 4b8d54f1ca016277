#include "foundations/nrutil.h"

#include <algorithm>
#include <cmath>
#include <initializer_list>

namespace nrutil {

// Reading past the end of a vector is a caller's error; report it.
void detail::check_count(long long n, std::size_t size, const char* routine) {
    if (n > static_cast<long long>(size))
        throw std::out_of_range(std::string("nrutil::") + routine + ": count " + std::to_string(n) +
                                " exceeds the vector size " + std::to_string(size));
}

namespace {

using detail::check_count;

int assert_all_equal(std::initializer_list<int> sizes, std::string_view tag, const char* routine) {
    const int na = *sizes.begin();
    for (int size : sizes)
        if (size != na)
            throw NrError("nrerror: an assert_eq failed with this tag: " + std::string(tag),
                          std::string("program terminated by ") + routine);
    return na;
}

template <class T>
void array_copy(std::span<const T> src, std::span<T> dest, int& ncopied, int& nnot) {
    const std::size_t n = std::min(src.size(), dest.size());
    std::copy_n(src.begin(), n, dest.begin());
    ncopied = static_cast<int>(n);
    nnot = static_cast<int>(src.size() - n);
}

// Arithmetic progression: short ranges by repeated addition, long ranges by
// eight additions and then doubling the filled block with a doubling step.
template <class T>
void arth(std::span<T> r, T first, T increment, int n) {
    constexpr int kShort = 16, kSeed = 8;
    n = static_cast<int>(std::min<long long>(n, static_cast<long long>(r.size())));
    if (n < 1) return;
    r[0] = first;
    if (n <= kShort) {
        for (int k = 1; k < n; ++k) r[k] = r[k - 1] + increment;
        return;
    }
    for (int k = 1; k < kSeed; ++k) r[k] = r[k - 1] + increment;
    T step = increment * kSeed;
    for (int k = kSeed; k < n; k += k) {
        const int count = std::min(k, n - k);
        for (int i = 0; i < count; ++i) r[k + i] = step + r[i];
        step = step + step;
    }
}

void rows_to_vector(int m, int n, std::span<const float> a, std::span<float> v, bool row_major) {
    if (m < 1 || n < 1) return;
    const long long total = static_cast<long long>(m) * n;
    check_count(total, a.size(), row_major ? "rmatrow_to_rvec" : "rmatcol_to_rvec");
    check_count(total, v.size(), row_major ? "rmatrow_to_rvec" : "rmatcol_to_rvec");
    for (int j = 0; j < n; ++j)
        for (int i = 0; i < m; ++i) {
            const std::size_t from = static_cast<std::size_t>(j) * m + i;
            const std::size_t to = row_major ? static_cast<std::size_t>(i) * n + j : from;
            v[to] = a[from];
        }
}

std::size_t diagonal_length(const kalvor::Matrix& a) { return std::min(a.rows(), a.cols()); }

double range_sum(std::span<const double> x) {
    double sum = 0.0;
    for (double v : x) sum += v;
    return sum;
}

// Sample standard deviation of x about its mean, divisor x.size() - 1.
double sample_stdev(std::span<const double> x) {
    if (x.size() < 2) return 0.0;
    const double mean = range_sum(x) / static_cast<double>(x.size());
    double ss = 0.0;
    for (double v : x) ss += (v - mean) * (v - mean);
    return std::sqrt(ss / static_cast<double>(x.size() - 1));
}

// The 1-based positions i1..i2 of x as a span (empty when i2 < i1).
std::span<const double> position_range(int i1, int i2, std::span<const double> x, const char* routine) {
    if (i2 < i1) return {};
    if (i1 < 1) throw std::out_of_range(std::string("nrutil::") + routine + ": first position below 1");
    check_count(i2, x.size(), routine);
    return x.subspan(static_cast<std::size_t>(i1 - 1), static_cast<std::size_t>(i2 - i1 + 1));
}

}  // namespace

// ---- assertions and fatal errors ----

int assert_eq2(int na, int nb, std::string_view tag) { return assert_all_equal({na, nb}, tag, "assert_eq2"); }
int assert_eq3(int na, int nb, int nc, std::string_view tag) {
    return assert_all_equal({na, nb, nc}, tag, "assert_eq3");
}
int assert_eq4(int na, int nb, int nc, int nd, std::string_view tag) {
    return assert_all_equal({na, nb, nc, nd}, tag, "assert_eq4");
}
int assert_eq5(int na, int nb, int nc, int nd, int ne, std::string_view tag) {
    return assert_all_equal({na, nb, nc, nd, ne}, tag, "assert_eq5");
}
int assert_eq6(int na, int nb, int nc, int nd, int ne, int nf, std::string_view tag) {
    return assert_all_equal({na, nb, nc, nd, ne, nf}, tag, "assert_eq6");
}

int assert_eqn(std::span<const int> sizes, std::string_view tag) {
    if (sizes.empty()) return 0;
    for (int size : sizes)
        if (size != sizes[0])
            throw NrError("nrerror: an assert_eq failed with this tag: " + std::string(tag),
                          "program terminated by assert_eqn");
    return sizes[0];
}

void nrerror(std::string_view message) {
    throw NrError("nrerror: " + std::string(message), "program terminated by nrerror");
}

// ---- vectors and matrices ----

void diagmult_r(kalvor::Matrix& a, double s) {
    for (std::size_t j = 0; j < diagonal_length(a); ++j) a(j, j) = a(j, j) * s;
}

void diagadd_r(kalvor::Matrix& a, double s) {
    for (std::size_t j = 0; j < diagonal_length(a); ++j) a(j, j) = a(j, j) + s;
}

void diagmult_rv(kalvor::Matrix& a, std::span<const double> v) {
    assert_eq2(static_cast<int>(v.size()), static_cast<int>(diagonal_length(a)), "diagmult_rv");
    for (std::size_t j = 0; j < v.size(); ++j) a(j, j) = a(j, j) * v[j];
}

void diagadd_rv(kalvor::Matrix& a, std::span<const double> v) {
    assert_eq2(static_cast<int>(v.size()), static_cast<int>(diagonal_length(a)), "diagmult_rv");
    for (std::size_t j = 0; j < v.size(); ++j) a(j, j) = a(j, j) + v[j];
}

void outerprod(kalvor::Matrix& c, std::span<const double> a, std::span<const double> b) {
    c.resize(a.size(), b.size());
    for (std::size_t j = 0; j < b.size(); ++j)
        for (std::size_t i = 0; i < a.size(); ++i) c(i, j) = a[i] * b[j];
}

void outerand(std::vector<bool>& c, const std::vector<bool>& a, const std::vector<bool>& b) {
    c.assign(a.size() * b.size(), false);
    for (std::size_t j = 0; j < b.size(); ++j)
        for (std::size_t i = 0; i < a.size(); ++i) c[j * a.size() + i] = a[i] && b[j];
}

void rmatrow_to_rvec(int m, int n, std::span<const float> a, std::span<float> v) {
    rows_to_vector(m, n, a, v, true);
}

void rmatcol_to_rvec(int m, int n, std::span<const float> a, std::span<float> v) {
    rows_to_vector(m, n, a, v, false);
}

void swap_r(double& a, double& b) { std::swap(a, b); }

void swap_rv(std::span<double> a, std::span<double> b) {
    assert_eq2(static_cast<int>(a.size()), static_cast<int>(b.size()), "swap_rv");
    std::swap_ranges(a.begin(), a.end(), b.begin());
}

void array_copy_i(std::span<const int> src, std::span<int> dest, int& ncopied, int& nnot) {
    array_copy(src, dest, ncopied, nnot);
}
void array_copy_d(std::span<const double> src, std::span<double> dest, int& ncopied, int& nnot) {
    array_copy(src, dest, ncopied, nnot);
}
void array_copy_r(std::span<const float> src, std::span<float> dest, int& ncopied, int& nnot) {
    array_copy(src, dest, ncopied, nnot);
}

void arth_i(std::span<int> r, int first, int increment, int n) { arth(r, first, increment, n); }
void arth_d(std::span<double> r, double first, double increment, int n) { arth(r, first, increment, n); }
void arth_r(std::span<float> r, float first, float increment, int n) { arth(r, first, increment, n); }

void r8vec_subinterval(int n, double a, double b, std::span<double> x) {
    if (n < 1) return;
    check_count(n, x.size(), "r8vec_subinterval");
    if (n == 1) {
        x[0] = (a + b) / 2.0;
        return;
    }
    for (int i = 1; i <= n; ++i)
        x[i - 1] = (static_cast<double>(n - i) * a + static_cast<double>(i - 1) * b) / static_cast<double>(n - 1);
}

// ---- statistics ----

void rvec_mean(int i1, int i2, std::span<const double> x, double& mean) {
    mean = range_sum(position_range(i1, i2, x, "rvec_mean")) / static_cast<double>(i2 - i1 + 1);
}

void rvec_stdev(int i1, int i2, std::span<const double> x, double& sd) {
    sd = sample_stdev(position_range(i1, i2, x, "rvec_stdev"));
}

void rvec_stdev1(int n, std::span<const double> x, double& sd) {
    if (n < 2) {
        sd = 0.0;
        return;
    }
    check_count(n, x.size(), "rvec_stdev1");
    sd = sample_stdev(x.first(static_cast<std::size_t>(n)));
}

void rvec_median(std::span<const double> x, int n, double& med) {
    if (n < 1) {
        med = std::nan("");
        return;
    }
    check_count(n, x.size(), "rvec_median");
    std::vector<double> sorted(x.begin(), x.begin() + n);
    sortwt(n, sorted);
    const std::size_t mid = static_cast<std::size_t>(n / 2);
    med = n % 2 == 1 ? sorted[mid] : (sorted[mid - 1] + sorted[mid]) / 2.0;
}

void rvec_stdev_median(int n, std::span<const double> x, double& sd) {
    if (n < 2) {
        sd = 0.0;
        return;
    }
    double med = 0.0;
    rvec_median(x, n, med);
    double ss = 0.0;
    for (int i = 0; i < n; ++i) ss += (x[i] - med) * (x[i] - med);
    sd = std::sqrt(ss / static_cast<double>(n - 1));
}

void sortwt(int n, std::span<double> x) {
    if (n < 2) return;
    check_count(n, x.size(), "sortwt");
    // Heap positions count from 1: the children of l are 2l and 2l+1.
    auto at = [&x](int pos) -> double& { return x[static_cast<std::size_t>(pos - 1)]; };
    auto sift_down = [&at](int l, int r) {
        const double a = at(l);
        int jold = l;
        for (int j = l + l; j <= r; j += j) {
            if (j < r && at(j) < at(j + 1)) ++j;
            if (a >= at(j)) break;
            at(jold) = at(j);
            jold = j;
        }
        at(jold) = a;
    };
    for (int i = n / 2; i >= 1; --i) sift_down(i, n);
    for (int i = n; i >= 2; --i) {
        std::swap(at(1), at(i));
        sift_down(1, i - 1);
    }
}

double enorm2(int n, std::span<const double> x) {
    constexpr double kDwarf = 3.834e-20, kGiant = 1.304e19;
    if (n < 1) return 0.0;
    check_count(n, x.size(), "enorm2");
    // s1: large components scaled by x1max, s2: plain squares, s3: small
    // components scaled by x3max.
    double s1 = 0.0, s2 = 0.0, s3 = 0.0, x1max = 0.0, x3max = 0.0;
    const double agiant = kGiant / static_cast<double>(n);
    for (int i = 0; i < n; ++i) {
        const double xabs = std::fabs(x[i]);
        if (xabs > kDwarf && xabs < agiant) {
            s2 += xabs * xabs;
        } else if (xabs > kDwarf) {
            if (xabs > x1max) {
                const double r = x1max / xabs;
                s1 = 1.0 + s1 * (r * r);
                x1max = xabs;
            } else {
                const double r = xabs / x1max;
                s1 += r * r;
            }
        } else if (xabs > x3max) {
            const double r = x3max / xabs;
            s3 = 1.0 + s3 * (r * r);
            x3max = xabs;
        } else if (xabs != 0.0) {
            const double r = xabs / x3max;
            s3 += r * r;
        }
    }
    if (s1 != 0.0) return x1max * std::sqrt(s1 + (s2 / x1max) / x1max);
    if (s2 != 0.0) {
        if (s2 >= x3max) return std::sqrt(s2 * (1.0 + (x3max / s2) * (x3max * s3)));
        return std::sqrt(x3max * ((s2 / x3max) + (x3max * s3)));
    }
    return x3max * std::sqrt(s3);
}

double roundz(double x, int nd) {
    if (x == 0.0 || !std::isfinite(x)) return x;
    nd = std::max(nd, 1);
    const double a = std::fabs(x);
    const double lg = std::log10(a);
    int k = a >= 1.0 ? static_cast<int>(lg) + 1 : static_cast<int>(lg);
    if (x / std::pow(10.0, k) == 1.0) ++k;
    const float digits = static_cast<float>(std::round(x * std::pow(10.0, nd - k)));
    const double result = static_cast<double>(digits) * std::pow(10.0, k - nd);
    // Digits beyond single precision's range, or a scale beyond double's,
    // leave nothing to round: the value is its own nearest rounding.
    return std::isfinite(result) && (result != 0.0) ? result : x;
}

// ---- guards, precision and comparisons ----

void rval_prec(double& eps, int& digits) {
    double b = 2.0;
    while (b + 0x1p-52 != b) b += 1.0;
    double e = 1.0;
    int k = 0;
    do {
        ++k;
        e /= b;
    } while (1.0 + e != 1.0);
    digits = k;
    eps = e * b;
}

namespace {
constexpr double kTiny = 2.2250738585072014e-308;  // smallest normal double
double tolerance(double a, double b) { return std::max(std::fabs(a), std::fabs(b)) * kTiny; }
}  // namespace

bool real_fgt(double a, double b) { return a - b > tolerance(a, b); }
bool real_fle(double a, double b) { return !real_fgt(a, b); }
bool real_flt(double a, double b) { return b - a > tolerance(a, b); }
bool real_fge(double a, double b) { return !real_flt(a, b); }

bool real_feq(double a, double b) {
    const double diff = std::fabs(a - b);
    return diff <= (std::fabs(a) + std::fabs(b)) * kTiny / 2.0 || diff <= 4.450147717014403e-308;
}

bool real_fne(double a, double b) { return !real_feq(a, b); }

bool real_fveq(std::span<const double> a, std::span<const double> b, double tol) {
    assert_eq2(static_cast<int>(a.size()), static_cast<int>(b.size()), "real_fveq");
    double amax = 0.0;
    for (double v : a) amax = std::max(amax, std::fabs(v));
    const double scale = amax > 0.0 ? amax : 1.0;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (!(std::fabs(a[i] - b[i]) / scale <= tol)) return false;
    return true;
}

double real_diff(double a, double b, int nb) {
    if (a == b) return 0.0;
    const double s = std::ldexp(1.0, nb);
    const double m = std::max(std::fabs(a), std::fabs(b));
    const double ra = std::round(a / m * s) / s;
    const double rb = std::round(b / m * s) / s;
    return (ra - rb) * m;
}

double pie(double a, double b) { return a + (b - a) * 3.141592653589793; }

}  // namespace nrutil
