#include "optimizers/va10b.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>
#include <string>
#include <vector>

#include "foundations/fortran_io.h"
#include "model/funct.h"
#include "model/globals.h"
#include "optimizers/va10b_covariance.h"
#include "optimizers/va10b_derivatives.h"
#include "optimizers/va10b_report.h"
#include "optimizers/va10b_search.h"

namespace va10b_mod {

int track_count = 0;
std::array<double, history_size> alpha_history{};
std::array<double, history_size> f_history{};
std::array<double, history_size> factor_history{};
bool bprint = false;

void objective_function(int n, std::span<const double> b, double& f) {
    // funct::fun never returns a NaN sum, so none needs replacing here.
    funct::vmfun(n, b, f);
    std::copy(b.begin(), b.begin() + n, common_data::pfinal.begin());
}

namespace {

using va10b_optimizer::Box;

constexpr int passes = 10;
constexpr double eps = 2.220446049250313e-16;
constexpr double nan_gradient = 1.0e-5;  // gradient magnitude in place of a NaN quotient

std::size_t count_of(int n) { return static_cast<std::size_t>(std::max(n, 0)); }

double evaluate(std::span<const double> b) {
    double f = 0.0;
    objective_function(static_cast<int>(b.size()), b, f);
    return f;
}

// Expected reduction per pass as a negative factor of the start value f0.
double reduction_factor(double f0, int n) {
    const double k = n * 0.5 / 5.0 + 1.0;
    double dfn;
    if (f0 > 100.0)
        dfn = -std::min(10.0 * k, 0.1 * f0);
    else if (f0 > 1.0)
        dfn = -std::min(5.0 * k, std::sqrt(f0));
    else if (f0 > 0.01)
        dfn = -0.5 * f0 * k;
    else
        dfn = -0.1 * f0;
    return std::clamp(dfn, -100.0, -0.01);
}

void set_identity(std::span<double> h, int n) {
    std::fill(h.begin(), h.begin() + static_cast<std::ptrdiff_t>(va10b_optimizer::packed_size(n)), 0.0);
    for (int j = 0; j < n; ++j) h[va10b_optimizer::diagonal_position(n, j)] = 1.0;
}

// Solves L D L' s = -g over the active parameters (held ones skipped, s 0).
void direction(std::span<const double> h, std::span<const double> g, std::span<double> s, const Box& box) {
    const int n = static_cast<int>(g.size());
    const auto at = [&](int k, int j) { return h[va10b_optimizer::diagonal_position(n, j) + count_of(k - j)]; };
    for (int i = 0; i < n; ++i) {
        s[count_of(i)] = 0.0;
        if (!box.active(count_of(i))) continue;
        double v = -g[count_of(i)];
        for (int j = 0; j < i; ++j) v -= at(i, j) * s[count_of(j)];
        s[count_of(i)] = v;
    }
    for (int i = 0; i < n; ++i) s[count_of(i)] /= at(i, i);
    for (int i = n - 1; i >= 0; --i) {
        if (!box.active(count_of(i))) continue;
        double v = s[count_of(i)];
        for (int k = i + 1; k < n; ++k) v -= at(k, i) * s[count_of(k)];
        s[count_of(i)] = v;
    }
}

double active_dot(std::span<const double> a, std::span<const double> b, const Box& box) {
    double sum = 0.0;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (box.active(i)) sum += a[i] * b[i];
    return sum;
}

// The covariance analysis at b, reported when bprint is on; nothing of it
// reaches the caller but its evaluations.
void closing_analysis(int nd, std::span<double> b, const Box& box) {
    const int n = static_cast<int>(b.size());
    const double f = evaluate(b);
    const int dof = nd - box.active_count();
    const double s2 = dof > 0 ? f / dof : f;
    kalvor::Matrix H, cov, corr;
    std::vector<double> se;
    va10b_optimizer::compute_numerical_hessian(b, H, box);
    va10b_optimizer::compute_robust_covariance(H, box.mask, n, s2, cov, se);
    va10b_optimizer::compute_correlation_matrix(cov, n, box.mask, corr, se);
    if (!bprint) return;
    va10b_optimizer::print_standard_errors(b, se, box.mask);
    va10b_optimizer::print_correlation(corr);
}

}  // namespace

void va10b_optimizer(int nd, int n, std::span<double> b_in, double& f, std::span<double> h, int start_mode, int trial,
                     int maxfn, int& iexit) {
    const std::size_t size = count_of(n);
    if (n > common_data::param_slots || b_in.size() < size || h.size() < va10b_optimizer::packed_size(n))
        throw std::out_of_range("va10b: more parameters than slots or vectors shorter than their count");
    const std::span<double> b = b_in.first(size);
    const Box box = Box::shared(n);
    std::fill(h.begin(), h.begin() + static_cast<std::ptrdiff_t>(va10b_optimizer::packed_size(n)), 0.0);
    std::vector<double> s_typ(size), g(size, 0.0), g0(size), s(size);
    for (std::size_t i = 0; i < size; ++i) s_typ[i] = std::fabs(b[i]) + 1.0e-10;

    const double f0 = evaluate(b);
    const double dfn = reduction_factor(f0, n);
    f = f0;
    if (box.active_count() == 0 || start_mode != 1) {
        if (box.active_count() == 0) va10b_optimizer::report("Error: No active parameters to optimize!");
        iexit = exit_rejected;
        return;
    }
    for (std::size_t i = 0; i < size; ++i)
        if (box.active(i)) b[i] = box.clamp(i, b[i]);

    int itn = 0, ifn = 0, total_itn = 0, invalid = 0;
    double f_last_pass = f;
    for (int pass = 1; pass <= passes; ++pass) {
        f_last_pass = f;
        iexit = exit_normal;
        itn = 0;
        ifn = 0;
        if (trial == 1) va10b_optimizer::tsearch(b, f, box);
        set_identity(h, n);
        double d_min = 1.0;
        f = evaluate(b);
        const double f_pass = f;
        double df = std::fabs(f * dfn);
        if (!(df > 0.0)) df = 1.0;
        va10b_optimizer::compute_gradient_forward(b, f, g, nan_gradient, s_typ, ifn, invalid, box);

        while (ifn < maxfn) {
            ++itn;
            if (bprint) va10b_optimizer::print_iteration(itn, ifn, f, b, g);
            direction(h, g, s, box);
            if (std::sqrt(active_dot(g, g, box)) < eps) break;
            double gs = active_dot(s, g, box);
            if (gs >= -eps) {
                for (std::size_t i = 0; i < size; ++i) s[i] = box.active(i) ? -g[i] : 0.0;
                gs = active_dot(s, g, box);
                if (gs >= 0.0) {
                    iexit = exit_no_descent;
                    break;
                }
            }
            g0 = g;
            double alpha = 0.0;
            const int code =
                va10b_optimizer::line_search(b, f, s, s_typ, df, gs, maxfn, ifn, alpha, box, f_pass, itn);
            if (code != va10b_optimizer::search_done) {
                iexit = code;
                break;
            }
            va10b_optimizer::compute_gradient_forward(b, f, g, nan_gradient, s_typ, ifn, invalid, box);
            va10b_optimizer::update_hessian(h, s, g0, g, alpha, gs, d_min, box);
            if (trial == 1) va10b_optimizer::tsearch(b, f, box);
            if (ifn >= maxfn) {
                iexit = exit_budget;
                break;
            }
        }
        total_itn += itn;
        // A central-difference probe of the gradient closes every pass but
        // the last; the next pass starts from a gradient of its own.
        if (pass < passes) va10b_optimizer::compute_gradient_central(b, g, nan_gradient, s_typ, invalid, box);
    }

    if (bprint) {
        const double change = f_last_pass != 0.0 ? std::fabs(f_last_pass - f) / std::fabs(f_last_pass) : 0.0;
        if (change < 1.0e-10)
            va10b_optimizer::report(fortran_io::write("(a,es12.4,a,es12.4)", {"Convergence achieved...", change,
                                                                              " < ", 1.0e-10}));
        va10b_optimizer::print_factor_summary();
        va10b_optimizer::write_optimization_summary(total_itn, ifn, iexit, f, f0);
    }
    if (trial == 1) closing_analysis(nd, b, box);
}

}  // namespace va10b_mod

namespace va10b_optimizer {

Box Box::shared(int n) {
    const auto size = static_cast<std::size_t>(std::max(n, 0));
    Box box;
    box.lo.assign(common_data::pboundlo.begin(), common_data::pboundlo.begin() + static_cast<std::ptrdiff_t>(size));
    box.hi.assign(common_data::pboundhi.begin(), common_data::pboundhi.begin() + static_cast<std::ptrdiff_t>(size));
    box.mask.assign(common_data::pmask.begin(), common_data::pmask.begin() + static_cast<std::ptrdiff_t>(size));
    return box;
}

int Box::active_count() const {
    return static_cast<int>(std::count_if(mask.begin(), mask.end(), [](int m) { return m != 0; }));
}

}  // namespace va10b_optimizer
