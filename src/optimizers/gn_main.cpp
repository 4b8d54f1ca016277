// The residual callback and the iteration of the trust-region Gauss-Newton
// solver.

#include "optimizers/gn_main.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>
#include <vector>

#include "foundations/balance.h"
#include "model/bounds.h"
#include "model/globals.h"
#include "optimizers/fit_eval.h"
#include "optimizers/gn_mod.h"

namespace gn_main {

namespace {

constexpr double eps = 2.220446049250313e-16;
constexpr double divergence_limit = 1e7;
constexpr double divergence_factor = 100.0;
constexpr double magnitude_low = 1e-14;
constexpr double magnitude_high = 1e14;
constexpr double flat_column = 1e-14;
constexpr double flat_offset = 1e-7;
constexpr int hook_passes = 15;

std::size_t count_of(int n) { return static_cast<std::size_t>(std::max(n, 0)); }

double sum_of_squares(std::span<const double> r) {
    double sum = 0.0;
    for (double v : r) sum += v * v;
    return sum;
}

double norm(std::span<const double> v) { return std::sqrt(sum_of_squares(v)); }

double dot(std::span<const double> a, std::span<const double> b) {
    double sum = 0.0;
    for (std::size_t i = 0; i < a.size(); ++i) sum += a[i] * b[i];
    return sum;
}

// |v| clamped into [low, high] with the sign of v; NaN becomes low.
double clamp_magnitude(double v, double low, double high) {
    const double a = std::fabs(v);
    return std::copysign(a > high ? high : (a >= low ? a : low), v);
}

// The state of one run of gnm over the active parameters.
class Iteration {
public:
    Iteration(int m, int n, std::span<double> x) : m_(m), n_(n), x_(x) {
        for (int i = 0; i < n; ++i)
            if (common_data::pmask[static_cast<std::size_t>(i)] != 0) active_.push_back(static_cast<std::size_t>(i));
        nact_ = static_cast<int>(active_.size());
        const std::size_t na = active_.size();
        for (std::size_t k : active_) {
            xb_.push_back(x[k]);
            lo_.push_back(common_data::pboundlo[k]);
            hi_.push_back(common_data::pboundhi[k]);
        }
        tmpl_.assign(x.begin(), x.begin() + n);
        full_.resize(count_of(n));
        r_.resize(count_of(m));
        ones_.assign(na, 1);
        s_.assign(na, 1.0);
        g_.assign(na, 0.0);
        newton_.assign(na, 0.0);
        jac_.resize(count_of(m), na);
        h_.resize(na, na);
    }

    // False for a bad fixed scale.
    bool set_scale() {
        const std::size_t na = active_.size();
        if (gn_mod::iscale == 2) {
            if (gn_mod::d0.size() < count_of(n_) ||
                !(*std::min_element(gn_mod::d0.begin(), gn_mod::d0.begin() + n_) > 0.0))
                return false;
            d_.assign(gn_mod::d0.begin(), gn_mod::d0.begin() + static_cast<std::ptrdiff_t>(na));
            return true;
        }
        double mean = 0.0;
        for (double v : xb_) mean += v;
        if (na > 0) mean /= static_cast<double>(na);
        d_.assign(na, std::max(0.1 * std::fabs(mean), gn_mod::stptol));
        gn_mod::d0 = d_;
        return true;
    }

    int run(double& f);

private:
    // Plain sum of squares at the active vector a (the fit data left there).
    double evaluate(std::span<const double> a) {
        xmaskedarray(n_, nact_, common_data::pmask, a, tmpl_, full_);
        double weighted = 0.0;
        gnfun(m_, n_, full_, r_, weighted);
        return sum_of_squares(r_);
    }

    // Pulls a trial on or beyond a bound inside and clamps every magnitude.
    void pull_inside(std::vector<double>& t, double f) {
        bool outside = false;
        for (std::size_t i = 0; i < t.size(); ++i) outside = outside || t[i] <= lo_[i] || t[i] >= hi_[i];
        if (outside) {
            double scratch = f;
            int status = 0;
            check_parameter_bounds::tanh_bounds5(t, nact_, lo_, hi_, ones_, scratch, status);
        }
        for (double& v : t) v = clamp_magnitude(v, magnitude_low, magnitude_high);
    }

    void full_jacobian();
    // False when the normal matrix is zero.
    bool normal_equations();
    void broyden(std::span<const double> step, std::span<const double> r_prev);
    // False when the hook ran into its last pass.
    bool hook(double gnorm);

    int m_, n_, nact_ = 0;
    std::span<double> x_;
    std::vector<std::size_t> active_;
    std::vector<double> xb_, lo_, hi_, tmpl_, full_, r_, d_, s_, g_, newton_;
    std::vector<int> ones_;
    kalvor::Matrix jac_, h_, l_;
    double mu_ = 0.0, del_ = 0.0, snorm_ = 1.0;
};

void Iteration::full_jacobian() {
    using namespace gn_mod;
    const std::size_t na = active_.size(), rows = count_of(m_);
    if (iscale == 1) {
        double before = 0.0, after = 0.0;
        for (std::size_t i = 0; i < na; ++i) {
            const double old_step = s_[i] * d_[i];
            d_[i] = std::max(0.5 * (std::fabs(xb_[i]) + d_[i]), stptol);
            const double new_step = s_[i] * d_[i];
            before += old_step * old_step;
            after += new_step * new_step;
        }
        if (after > 0.0) del_ *= std::sqrt(before / after);
    }
    std::vector<double> minus(rows), plus(rows), probe = xb_;
    const double step = std::fabs(derivstp);
    for (std::size_t j = 0; j < na; ++j) {
        const double h = step * d_[j];
        probe[j] = xb_[j] - h;
        evaluate(probe);
        minus = r_;
        probe[j] = xb_[j] + h;
        evaluate(probe);
        plus = r_;
        probe[j] = xb_[j];
        double change = 0.0;
        for (std::size_t i = 0; i < rows; ++i) change += std::fabs(plus[i] - minus[i]);
        if (change < flat_column)
            for (std::size_t i = 0; i < rows; ++i) plus[i] = minus[i] + flat_offset;
        for (std::size_t i = 0; i < rows; ++i) {
            double v = (plus[i] - minus[i]) / (2.0 * step);
            if (std::isnan(v)) v = flat_column;
            jac_(i, j) = std::clamp(v, -magnitude_high, magnitude_high);
        }
    }
}

bool Iteration::normal_equations() {
    const std::size_t na = active_.size(), rows = count_of(m_);
    const std::vector<double>& r = gn_mod::r0;  // residuals of the accepted point
    for (std::size_t j = 0; j < na; ++j) {
        double gj = 0.0;
        for (std::size_t i = 0; i < rows; ++i) gj += jac_(i, j) * r[i];
        g_[j] = gj;
        for (std::size_t k = 0; k <= j; ++k) {
            double v = 0.0;
            for (std::size_t i = 0; i < rows; ++i) v += jac_(i, j) * jac_(i, k);
            h_(j, k) = h_(k, j) = std::clamp(v, -magnitude_high, magnitude_high);
        }
        h_(j, j) = 1.0000001 * h_(j, j) + 1e-14;
    }
    balance_mod::balance(h_, nact_);
    double largest = 0.0;
    for (std::size_t j = 0; j < na; ++j) {
        double sum = 0.0;
        for (std::size_t i = 0; i < na; ++i) sum += std::fabs(h_(i, j));
        largest = std::max(largest, sum);
    }
    gn_mod::hnorm = std::sqrt(static_cast<double>(static_cast<float>(n_)) * eps) * largest;
    return gn_mod::hnorm != 0.0;
}

void Iteration::broyden(std::span<const double> step, std::span<const double> r_prev) {
    const std::size_t na = active_.size(), rows = count_of(m_);
    const double length2 = sum_of_squares(step);
    if (!(length2 > 0.0)) return;
    for (std::size_t i = 0; i < rows; ++i) {
        double u = r_[i] - r_prev[i];
        for (std::size_t j = 0; j < na; ++j) u -= jac_(i, j) * step[j];
        for (std::size_t j = 0; j < na; ++j)
            jac_(i, j) = std::clamp(jac_(i, j) + u * step[j] / length2, -magnitude_high, magnitude_high);
    }
}

bool Iteration::hook(double gnorm) {
    const std::size_t na = active_.size();
    double lower = 0.0, upper = gnorm / del_;
    std::vector<double> w(na);
    int pass = 1;
    for (;; ++pass) {
        gn_chol(nact_, mu_, h_, g_, l_, s_);
        lower = std::max(lower, mu_);
        const double length = norm(s_);
        const double phi = length - del_;
        if (pass == hook_passes || std::fabs(phi) <= 0.05 * del_ || lower >= upper) break;
        if (phi < 0.0) upper = mu_;
        for (std::size_t k = 0; k < na; ++k) {
            double v = s_[k];
            for (std::size_t j = 0; j < k; ++j) v -= l_(k, j) * w[j];
            w[k] = v / l_(k, k);
        }
        const double w2 = sum_of_squares(w);
        mu_ = std::clamp(mu_ + (phi / (w2 / length)) * (length / del_), lower, upper);
    }
    if (pass == hook_passes) return false;
    gn_mod::ihookmax = std::max(gn_mod::ihookmax, pass);
    return true;
}

int Iteration::run(double& f) {
    using namespace gn_mod;
    const std::size_t na = active_.size(), rows = count_of(m_);
    std::vector<double> xt = xb_, taken(na), r_prev(rows);
    jac0.resize(rows, na);
    h0.resize(na, na);
    r0.assign(rows, 0.0);
    nfcn = 0;
    nconsecmax = 0;
    iter = 1;
    int nrank1 = nact_, nbad = 0, nconsec = 0, info = 0;
    bool hooking = false;
    for (;;) {
        // A divergent or non-finite trial ends the run at the accepted point.
        const bool finite = std::all_of(xt.begin(), xt.end(), [](double v) { return std::isfinite(v); });
        const double first = finite ? evaluate(xt) : 0.0;
        if (!finite || !(first <= divergence_limit && first <= divergence_factor * f)) {
            info = status_diverged;
            break;
        }
        if (iter >= 2) {
            std::vector<double> widths(na);
            for (std::size_t i = 0; i < na; ++i) widths[i] = std::max(0.1 * std::fabs(s_[i] * d_[i]), stptol);
            double lowest = 0.0;
            nearbysearch(gnfun, m_, nact_, n_, xt, tmpl_, widths, f, lowest);
        }
        pull_inside(xt, f);
        info = 0;
        ++nfcn;
        const double snew = evaluate(xt);

        const bool take = iter == 1 || f > snew;
        if (iter >= 2) {
            nconsec = take ? nconsec + 1 : 0;
            nconsecmax = std::max(nconsecmax, nconsec);
            const double change = snew - f;
            if (std::fabs(change) <= std::max(reltol * std::max(f, snew), abstol)) info = status_relative;
            const double rr = clamp_magnitude(change / (2.0 * dot(g_, s_)), magnitude_low, magnitude_high);
            const double factor = std::clamp(0.5 / std::max(1.0 - rr, eps), zlow, zhigh);
            del_ = snorm_ * factor * std::pow(zconsec, nconsec);
        }
        if (take) {
            for (std::size_t i = 0; i < na; ++i) taken[i] = (xt[i] - xb_[i]) / d_[i];
            r_prev = r0;
            nbad = 0;
            xb_ = xt;
            f = snew;
            mu0 = mu_;
            del0 = del_;
            d0 = d_;
            h0 = h_;
            jac0 = jac_;
            r0 = r_;
        } else {
            hooking = true;
            if (nrank1 > 0) ++nbad;
        }
        if (iter >= 2) {
            if (snorm_ <= stptol) info += status_step;
            if (snew < abstol) info += status_exact;
            if (info >= status_exact || nact_ == 0) break;
            if (nfcn >= limit) {
                info = status_evaluations;
                break;
            }
        }

        if (nbad > mxbad || info != 0 || nrank1 >= n_ || iter == 1) {
            nrank1 = 0;
            nbad = 0;
            nfcn += n_;
            full_jacobian();
        } else if (take) {
            broyden(taken, r_prev);
            ++nrank1;
        }
        if (take || nrank1 == 0) {
            if (!normal_equations()) {
                info = status_zero_normal;
                break;
            }
        }

        mu_ = 0.0;
        gn_chol(nact_, mu_, h_, g_, l_, newton_);
        const double snewt = norm(newton_);
        const double gnorm = norm(g_);
        if (snewt == 0.0) {
            // A zero gradient: the accepted point is a stationary point.
            if ((info & status_step) == 0) info += status_step;
            if (f < abstol && info < status_exact) info += status_exact;
            break;
        }
        if (iter == 1) {
            if (newtstep1st != 0)
                del_ = snewt;
            else
                gn_cauchy(nact_, l_, g_, gnorm, del_);
            const double shorten = std::min(1.0, del_ / snewt);
            for (std::size_t i = 0; i < na; ++i) s_[i] = newton_[i] * shorten;
            hooking = false;
        } else if (snewt <= del_) {
            s_ = newton_;
            hooking = false;
        } else if (!hooking) {
            for (std::size_t i = 0; i < na; ++i) s_[i] = newton_[i] * del_ / snewt;
        } else if (!hook(gnorm)) {
            info = status_hook;
            break;
        }
        snorm_ = std::clamp(norm(s_), stptol, 1.0 / stptol);

        for (std::size_t i = 0; i < na; ++i) xt[i] = xb_[i] + s_[i] * d_[i];
        pull_inside(xt, f);
        if (++iter > limit) break;
    }
    xmaskedarray(n_, nact_, common_data::pmask, xb_, tmpl_, x_);
    gnfun(m_, n_, x_, r_, f);
    jac0 = {};
    h0 = {};
    r0 = {};
    return info;
}

}  // namespace

void gnfun(int m, int n, std::span<const double> x, std::span<double> r, double& f) {
    using namespace common_data;
    if (r.size() < count_of(m)) throw std::out_of_range("gn_main::gnfun: fewer residual slots than rows");
    thread_local kalvor::Matrix columns;
    f = fit_eval::evaluate(m, n, x, columns);
    for (std::size_t j = 0; j < columns.cols(); ++j)
        std::copy_n(columns.column(j), columns.rows(), xnx.column(j));
    std::copy_n(yres.begin(), count_of(m), r.begin());
}

void xmaskedarray(int n, int nact, std::span<const int> mask, std::span<const double> xact,
                  std::span<const double> tmpl, std::span<double> xfull) {
    if (n < 1) return;
    std::copy_n(tmpl.begin(), count_of(n), xfull.begin());
    std::size_t next = 0;
    for (std::size_t i = 0; i < count_of(n) && next < count_of(nact); ++i)
        if (mask[i] != 0) xfull[i] = xact[next++];
}

void gnm(int m, int n, int& info, std::span<double> x, double& f) {
    if (std::min({m, gn_mod::limit, n}) < 1 || n > common_data::param_slots || x.size() < count_of(n)) {
        info = status_input;
        return;
    }
    Iteration run(m, n, x);
    if (!run.set_scale()) {
        info = status_input;
        return;
    }
    info = run.run(f);
}

}  // namespace gn_main
