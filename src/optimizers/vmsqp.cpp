// The sequential-quadratic least-squares optimiser.

#include "optimizers/vmsqp.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <stdexcept>
#include <string>
#include <vector>

#include "foundations/robust_gj.h"
#include "model/bounds.h"
#include "model/globals.h"
#include "optimizers/cholesky.h"
#include "optimizers/vmsqp_report.h"

namespace vmsqp_mod {

int bprint = 0;

int max_evaluations(int maxit) { return maxit <= 99 ? 50 * maxit : 25 * maxit; }

namespace {

using kalvor::Matrix;

constexpr double active_limit = -1e-8;      // c_i above this: the bound is in force
constexpr double penalty_weight = 10.0;     // merit = f + 10 * sum of squared violations
constexpr double tiny = 2e-12;
constexpr double pivot_floor = 4.4e-15;
constexpr long total_cap = 1000000;

std::size_t count_of(int n) { return static_cast<std::size_t>(std::max(n, 0)); }

double norm(std::span<const double> v) {
    double sum = 0.0;
    for (const double x : v) sum += x * x;
    return std::sqrt(sum);
}

double distance(std::span<const double> a, std::span<const double> b) {
    double sum = 0.0;
    for (std::size_t i = 0; i < a.size(); ++i) sum += (a[i] - b[i]) * (a[i] - b[i]);
    return std::sqrt(sum);
}

// Largest positive constraint value, 0 when none.
double largest_violation(std::span<const double> c) {
    double worst = 0.0;
    for (const double v : c) worst = std::max(worst, v);
    return worst;
}

double penalty(std::span<const double> c) {
    double sum = 0.0;
    for (const double v : c)
        if (v > 0.0) sum += v * v;
    return penalty_weight * sum;
}

// d = -a^-1 g by Cholesky factorisation of a (its lower triangle); false
// when a pivot is not clearly positive.
bool cholesky_solve(const Matrix& a, std::span<const double> g, std::span<double> d) {
    Matrix l;
    if (!cholesky::factor(a, l, pivot_floor)) return false;
    for (std::size_t i = 0; i < d.size(); ++i) d[i] = -g[i];
    cholesky::solve(l, d);
    return true;
}

// d = -a^-1 g by Gaussian elimination with row pivoting; false when a
// pivot's magnitude falls below the floor.
bool elimination_solve(Matrix a, std::span<const double> g, std::span<double> d) {
    const std::size_t n = d.size();
    std::vector<double> r(n);
    for (std::size_t i = 0; i < n; ++i) r[i] = -g[i];
    for (std::size_t k = 0; k < n; ++k) {
        std::size_t p = k;
        for (std::size_t i = k + 1; i < n; ++i)
            if (std::fabs(a(i, k)) > std::fabs(a(p, k))) p = i;
        if (!(std::fabs(a(p, k)) >= pivot_floor)) return false;
        if (p != k) {
            for (std::size_t j = 0; j < n; ++j) std::swap(a(k, j), a(p, j));
            std::swap(r[k], r[p]);
        }
        for (std::size_t i = k + 1; i < n; ++i) {
            const double factor = a(i, k) / a(k, k);
            for (std::size_t j = k; j < n; ++j) a(i, j) -= factor * a(k, j);
            r[i] -= factor * r[k];
        }
    }
    for (std::size_t i = n; i-- > 0;) {
        double v = r[i];
        for (std::size_t j = i + 1; j < n; ++j) v -= a(i, j) * d[j];
        d[i] = v / a(i, i);
    }
    return true;
}

bool finite(std::span<const double> v) {
    return std::all_of(v.begin(), v.end(), [](double x) { return std::isfinite(x); });
}

// Newton direction d = -hc^-1 g: the preconditioned inverse, else Cholesky,
// else pivoted elimination, else the scaled gradient.  A direction that is
// not finite counts as a failure of its method.
void direction(const Matrix& hc, std::span<const double> g, std::span<double> d) {
    const std::size_t n = d.size();
    Matrix inverse = hc;
    int ok = 0;
    robust_gj_matinv::robust_gj_mat_inv(inverse, static_cast<int>(n), ok, 1);
    if (ok == 1) {
        for (std::size_t i = 0; i < n; ++i) {
            d[i] = 0.0;
            for (std::size_t j = 0; j < n; ++j) d[i] -= inverse(i, j) * g[j];
        }
        if (finite(d)) return;
    }
    if (cholesky_solve(hc, g, d) && finite(d)) return;
    if (elimination_solve(hc, g, d) && finite(d)) return;
    double gmax = 0.0;
    for (const double v : g) gmax = std::max(gmax, std::fabs(v));
    for (std::size_t i = 0; i < n; ++i) {
        d[i] = gmax <= tiny ? std::copysign(1.414213562373095e-6, g[i]) : -g[i] / (gmax + 1.0);
        if (std::fabs(hc(i, i)) > tiny) d[i] /= hc(i, i);
    }
}

// One run of the optimiser on its arguments.
class Run {
public:
    Run(int maxit, int n, int nd, int nx, int m, int& wmode, std::span<const double> xarg, std::span<const double> y,
        std::span<const double> lo, std::span<const double> hi, std::span<const int> mask)
        : maxit_(maxit), n_(count_of(n)), nd_(nd), nx_(nx), m_(count_of(m)), wmode_(wmode), xarg_(xarg), y_(y),
          lo_(lo.begin(), lo.begin() + n), hi_(hi.begin(), hi.begin() + n), mask_(mask.begin(), mask.begin() + n),
          wlo_(lo_), whi_(hi_), lambda_(m_, 0.0), yfit_(std::max(count_of(nd), std::size_t{1})),
          res_(yfit_.size()), w_(yfit_.size()) {}

    // Minimises from b; best_ receives the lowest in-bounds point.
    void minimise(std::span<const double> b, double f_caller);

    std::vector<double> best_b, best_yfit, best_res;
    double best_f = 0.0;

private:
    double evaluate(std::span<const double> x) {
        double f = 0.0;
        initialize_vmsqp::model_function(nd_, static_cast<int>(n_), nx_, wmode_, x, w_, {}, y_, yfit_, res_, f);
        consider(x, f);
        return f;
    }
    // Keeps x when it is the lowest point met inside the bounds.
    void consider(std::span<const double> x, double f) {
        if (!(f < best_f)) return;
        for (std::size_t i = 0; i < n_; ++i)
            if (mask_[i] != 0 && !(x[i] >= lo_[i] && x[i] <= hi_[i])) return;
        best_b.assign(x.begin(), x.end());
        best_f = f;
        best_yfit = yfit_;
        best_res = res_;
    }
    // When any parameter, held ones included, lies on or beyond a bound:
    // working bounds of every active parameter around x(i), [x/10, 10x]
    // (reversed for x <= 0); then x is moved inside the given bounds.
    void relocate_if_outside(std::vector<double>& x) {
        bool outside = false;
        for (std::size_t i = 0; i < n_; ++i)
            if (x[i] <= lo_[i] || x[i] >= hi_[i]) outside = true;
        if (!outside) return;
        for (std::size_t i = 0; i < n_; ++i) {
            if (mask_[i] == 0) continue;
            wlo_[i] = x[i] > 0.0 ? x[i] / 10.0 : 10.0 * x[i];
            whi_[i] = x[i] > 0.0 ? 10.0 * x[i] : x[i] / 10.0;
        }
        double scale = 1.0;
        int status = 0;
        check_parameter_bounds::tanh_bounds5(x, static_cast<int>(n_), lo_, hi_, mask_, scale, status);
    }
    void constraints(std::span<const double> x, std::vector<double>& c) const {
        initialize_vmsqp::evaluate_constraints(x, static_cast<int>(n_), c, static_cast<int>(m_), wlo_, whi_);
    }
    // Gradient (and Jacobian) at x; nfev grows by the counted evaluations.
    void differences(std::vector<double>& x, std::vector<double>& g, Matrix* jac, int& nfev) {
        const int used = central_differences(x, y_, nd_, static_cast<int>(n_), nx_, wmode_, mask_, g, jac);
        nfev += jac != nullptr ? 2 * used : used;
    }
    double line_search(std::span<const double> b, std::span<const double> d, double f, double phi0,
                       double slope, int& nfev);
    // One cycle; returns whether the convergence test ended it.
    bool cycle(int number, std::vector<double>& b, double& f_ref, Report& report);

    int maxit_;
    std::size_t n_;
    int nd_, nx_;
    std::size_t m_;
    int& wmode_;
    std::span<const double> xarg_, y_;
    std::vector<double> lo_, hi_;
    std::vector<int> mask_;
    std::vector<double> wlo_, whi_, lambda_;
    std::vector<double> yfit_, res_, w_;
};

double Run::line_search(std::span<const double> b, std::span<const double> d, double f, double phi0, double slope,
                        int& nfev) {
    std::vector<double> x(n_), c(m_);
    double alpha = 1.0;
    for (int k = 1; k <= 25; ++k) {
        for (std::size_t i = 0; i < n_; ++i) x[i] = b[i] + alpha * d[i];
        ++nfev;
        const double f_t = evaluate(x);
        constraints(x, c);
        const double phi_t = f_t + penalty(c);
        if (k > 1 && phi_t <= phi0 + 1e-4 * alpha * slope) break;
        const double ratio = (f_t - f) / (alpha * slope);
        alpha *= std::isnan(ratio) ? 0.4 : std::min(std::max(ratio, 0.4), 0.6);
        if (alpha < tiny) return 1.0002e-8;
    }
    return alpha;
}

bool Run::cycle(int number, std::vector<double>& b, double& f_ref, Report& report) {
    const int maxfev = max_evaluations(maxit_);
    Matrix h = Matrix::identity(n_), jac, a;
    initialize_vmsqp::compute_constraint_gradients(a, static_cast<int>(m_), static_cast<int>(n_), mask_);
    std::vector<double> c(m_), c_new(m_), lambda_old(m_), g(n_), g_new(n_), d(n_), b_new(n_);
    std::vector<int> active(m_);
    int nfev = 0;
    long total = 0;
    for (int iter = 1;;) {
        ++nfev;
        const double f = evaluate(b);
        constraints(b, c);
        const double phi0 = f + penalty(c);
        const double violation = m_ > 0 ? largest_violation(c) : Report::no_constraints;
        for (std::size_t i = 0; i < m_; ++i) active[i] = c[i] > active_limit ? 1 : 0;
        differences(b, g, &jac, nfev);

        // Blend of the model Hessian with the Gauss-Newton matrix (unit weights).
        for (std::size_t i = 0; i < n_; ++i)
            for (std::size_t j = 0; j < n_; ++j) {
                double gn = 0.0;
                if (mask_[i] != 0)
                    for (std::size_t k = 0; k < jac.rows(); ++k) gn += jac(k, i) * jac(k, j);
                h(i, j) = 0.7 * h(i, j) + 0.3 * gn;
            }
        double dmax = -std::numeric_limits<double>::infinity(), dmin = std::numeric_limits<double>::infinity();
        for (std::size_t i = 0; i < n_; ++i) {
            h(i, i) += 1.02e-10;
            dmax = std::max(dmax, h(i, i));
            dmin = std::min(dmin, h(i, i));
        }
        const double shift =
            dmax <= 0.0 || dmin <= 0.0 || dmax / dmin > 1e12 ? std::max(1.00002e-7 * dmax, 1.00002e-7) : 1.00002e-7;
        Matrix hc = h;
        for (std::size_t i = 0; i < n_; ++i) hc(i, i) += shift;
        direction(hc, g, d);

        // A bound in force stops only the part of the step that leaves it.
        for (std::size_t i = 0; i < m_; ++i) {
            if (active[i] == 0) continue;
            double outward = 0.0;
            for (std::size_t j = 0; j < n_; ++j) outward += a(i, j) * d[j];
            if (outward > 0.0)
                for (std::size_t j = 0; j < n_; ++j) d[j] -= a(i, j) * outward;
        }
        for (std::size_t i = 0; i < n_; ++i) {
            if (mask_[i] == 0)
                d[i] = 0.0;
            else if (std::fabs(d[i]) < tiny)
                d[i] = std::copysign(tiny, d[i]);
        }

        double slope = 0.0;
        for (std::size_t i = 0; i < n_; ++i) slope += g[i] * d[i];
        const double alpha = line_search(b, d, f, phi0, slope, nfev);
        for (std::size_t i = 0; i < n_; ++i) {
            double s = alpha * d[i];
            if (std::isnan(s)) s = 0.001 * b[i];
            b_new[i] = mask_[i] != 0 ? b[i] + s : b[i];
        }
        relocate_if_outside(b_new);

        ++nfev;
        const double f_new = evaluate(b_new);
        constraints(b_new, c_new);
        differences(b_new, g_new, nullptr, nfev);

        lambda_old = lambda_;
        for (std::size_t i = 0; i < m_; ++i) {
            double& l = lambda_[i];
            if (std::isnan(l)) l = std::max(0.1 * c_new[i] + 1e8, 0.0);
            l = std::copysign(std::min(std::fabs(l), 1e8), l);
            l = active[i] != 0 ? std::max(l + 0.1 * c_new[i], 0.0) : std::max(0.9 * l, 0.0);
        }
        quasi_newton_update(h, b, b_new, g, g_new, lambda_, lambda_old, a, static_cast<int>(n_),
                            static_cast<int>(m_), mask_, iter);

        if (f_new <= f_ref) {
            b = b_new;
            c = c_new;
            g = g_new;
            f_ref = f_new;
        }
        const double moved = distance(b_new, b);
        report.iteration(number, iter, f, phi0, violation, b);
        if (iter >= 2 && norm(g) < 1e-8 && largest_violation(c) < 1e-8 && moved < 1e-10) {
            report.cycle_end(iter, nfev);
            return true;
        }
        total += nfev;
        if (number == 3 && moved < tiny) {
            report.no_change(number, iter, moved);
        } else if (nfev > maxfev) {
            report.evaluations_exceeded(number, iter, nfev, false);
        } else if (total > total_cap) {
            report.evaluations_exceeded(number, iter, total, true);
        } else if (iter < maxit_) {
            ++iter;
            continue;
        }
        report.cycle_end(iter, nfev);
        break;
    }
    return false;
}

void Run::minimise(std::span<const double> b_in, double f_caller) {
    std::vector<double> b(b_in.begin(), b_in.end());
    best_f = std::numeric_limits<double>::infinity();
    const double f_entry = evaluate(b);
    // The entry point is the result unless something lower turns up.
    best_b = b;
    best_f = f_entry;
    best_yfit = yfit_;
    best_res = res_;
    double f_ref = std::isnan(f_caller) ? f_entry : std::min(f_caller, f_entry);

    Report report(bprint != 0);
    bool converged = false;
    for (int number = 1; number <= 3; ++number) {
        wlo_ = lo_;
        whi_ = hi_;
        if (number <= 2) relocate_if_outside(b);
        if (maxit_ < 1 || n_ == 0) continue;
        report.cycle_start(number);
        converged = cycle(number, b, f_ref, report);
    }
    if (report.on()) {
        std::vector<double> c(m_);
        constraints(best_b, c);
        Matrix jac;
        std::vector<double> g(n_);
        central_differences(best_b, y_, nd_, static_cast<int>(n_), nx_, wmode_, mask_, g, &jac);
        report.final(converged, best_b, best_f, c, lambda_, jac, best_res, xarg_, wlo_, whi_, nd_, mask_);
        double f = 0.0;
        initialize_vmsqp::model_function(nd_, static_cast<int>(n_), nx_, wmode_, best_b, w_, {}, y_, yfit_, res_, f);
        report.comparison(xarg_, y_, yfit_, res_, nd_);
    }
}

void require(bool ok, const char* what) {
    if (!ok) throw std::out_of_range(std::string("vmsqp: ") + what);
}

}  // namespace

void vmsqp(int maxit, int n, int nd, int nx, int m, int& wmode, std::span<double> w, std::span<const double> xarg,
           std::span<const double> y, std::span<double> yfit, std::span<double> res, std::span<double> b,
           std::span<const double> lo, std::span<const double> hi, std::span<const int> mask, double& f) {
    require(n >= 0 && n <= common_data::param_slots, "more parameters than slots");
    require(nd >= 0 && nd <= common_data::max_rows, "more rows than the fit data hold");
    require(m >= 2 * n, "fewer constraints than bounds");
    const std::size_t params = count_of(n), rows = count_of(nd);
    require(b.size() >= params && lo.size() >= params && hi.size() >= params && mask.size() >= params,
            "parameter vector shorter than its count");
    require(y.size() >= rows && yfit.size() >= rows && res.size() >= rows && w.size() >= rows,
            "row vector shorter than its count");

    Run run(maxit, n, nd, nx, m, wmode, xarg, y, lo, hi, mask);
    run.minimise(b.first(params), f);
    std::copy(run.best_b.begin(), run.best_b.end(), b.begin());
    std::copy_n(run.best_yfit.begin(), rows, yfit.begin());
    std::copy_n(run.best_res.begin(), rows, res.begin());
    std::fill_n(w.begin(), rows, 1.0);
    f = run.best_f;
}

}  // namespace vmsqp_mod
