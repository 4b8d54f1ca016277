#include <algorithm>
#include <cmath>
#include <iostream>
#include <stdexcept>
#include <string>

#include "foundations/fortran_io.h"
#include "model/funct.h"
#include "model/globals.h"
#include "optimizers/vmcwd_vmcon.h"
#include "optimizers/vmcwd_vmcon_detail.h"

namespace vmcwd_vmcon_mod {

ConstraintCounts a2;
WorkData vmvdb;

namespace {
std::ostream* report_stream = &std::cout;
std::ostream* console_stream = &std::cout;
}  // namespace

void set_streams(std::ostream& report, std::ostream& console) {
    report_stream = &report;
    console_stream = &console;
}

void reset_streams() { report_stream = console_stream = &std::cout; }

namespace detail {

std::ostream& report() { return *report_stream; }
std::ostream& console() { return *console_stream; }

namespace {
std::size_t index(int i) { return static_cast<std::size_t>(i); }
}  // namespace

bool held(int j) { return j < common_data::param_slots && common_data::pmask[index(j)] == 0; }

bool movable(const kalvor::Matrix& cnorm, int i, int n) {
    for (int j = 0; j < n; ++j)
        if (!held(j) && cnorm(index(j), index(i)) != 0.0) return true;
    return false;
}

double violation(int i, int meq, double ci) { return i < meq ? std::fabs(ci) : std::max(-ci, 0.0); }

double penalty(std::span<const double> mu, std::span<const double> c, const kalvor::Matrix& cnorm, int n, int m,
               int meq) {
    double sum = 0.0;
    for (int i = 0; i < m; ++i)
        if (movable(cnorm, i, n)) sum += mu[index(i)] * violation(i, meq, c[index(i)]);
    return sum;
}

void lagrangian_gradient(int n, int m, std::span<const double> g, const kalvor::Matrix& cnorm,
                         std::span<double> glag) {
    for (int j = 0; j < n; ++j) glag[index(j)] = g[index(j)];
    for (int i = 0; i < m; ++i) {
        const double lambda = vmvdb.lambda[index(i)];
        if (lambda == 0.0) continue;
        for (int j = 0; j < n; ++j) glag[index(j)] -= lambda * cnorm(index(j), index(i));
    }
}

void damped_bfgs(int n, std::span<const double> s, std::span<double> y, double sigma) {
    kalvor::Matrix& b = vmvdb.b;
    std::vector<double> eta(index(n), 0.0);
    double sbs = 0.0, sy = 0.0;
    for (int i = 0; i < n; ++i) {
        for (int j = 0; j < n; ++j) eta[index(i)] += b(index(i), index(j)) * s[index(j)];
        sbs += s[index(i)] * eta[index(i)];
        sy += s[index(i)] * y[index(i)];
    }
    if (!(sbs > 2e-12)) return;
    if (sy < sigma * sbs) {
        const double theta = (1.0 - sigma) * sbs / (sbs - sy);
        for (int i = 0; i < n; ++i) y[index(i)] = theta * y[index(i)] + (1.0 - theta) * eta[index(i)];
        sy = sigma * sbs;
    }
    kalvor::Matrix updated = b;
    for (int i = 0; i < n; ++i)
        for (int j = i; j < n; ++j) {
            const double v = b(index(i), index(j)) - eta[index(i)] * eta[index(j)] / sbs +
                             y[index(i)] * y[index(j)] / sy;
            if (!std::isfinite(v)) return;
            updated(index(i), index(j)) = updated(index(j), index(i)) = v;
        }
    b = updated;
}

void reset_metric(int n) {
    for (int i = 0; i < n; ++i)
        for (int j = 0; j < n; ++j) vmvdb.b(index(i), index(j)) = i == j ? 1.0 : 0.0;
}

void trial_point(int n, std::span<const double> xa, std::span<const double> d, double alpha, std::span<double> x) {
    using namespace common_data;
    for (int j = 0; j < n; ++j) {
        const auto k = index(j);
        if (held(j)) {
            x[k] = xa[k];
            continue;
        }
        x[k] = xa[k] + alpha * d[k];
        if (j < param_slots && pboundlo[k] <= pboundhi[k]) x[k] = std::clamp(x[k], pboundlo[k], pboundhi[k]);
    }
}

bool evaluate(int n, std::span<double> x, double& f, std::span<double> g, std::span<double> c,
              kalvor::Matrix& cnorm) {
    thread_local std::vector<double> all;
    all.assign(index(3 * n), 0.0);
    if (!funct::calcfg(n, x, f, g, all, cnorm)) return false;
    // calcfg puts one row per held parameter first; keep the bound rows.
    const auto first = index(common_data::ieqcns);
    const auto bounds = index(2 * n);
    std::copy(all.begin() + static_cast<std::ptrdiff_t>(first),
              all.begin() + static_cast<std::ptrdiff_t>(first + bounds), c.begin());
    for (std::size_t col = 0; col < cnorm.cols(); ++col)
        for (std::size_t row = 0; row < cnorm.rows(); ++row)
            cnorm(row, col) = col < bounds ? cnorm(row, col + first) : 0.0;
    return true;
}

bool direction(int n, int m, int meq, double& f, std::span<double> x, std::span<double> g, std::span<double> c,
               kalvor::Matrix& cnorm, int iprint, int& info, int qpmode) {
    qpsub(n, m, meq, g, c, cnorm, iprint, info, qpmode);
    const std::vector<double> before(x.begin(), x.end());
    if (!axialsearch(n, f, x, g, c, cnorm)) return false;
    if (!std::equal(before.begin(), before.end(), x.begin())) qpsub(n, m, meq, g, c, cnorm, iprint, info, qpmode);
    return true;
}

void check_sizes(int n, std::span<const double> x, std::span<const double> g, std::span<const double> c,
                 kalvor::Matrix& cnorm, const char* who) {
    if (n < 1 || n > max_variables || x.size() < index(n) || g.size() < index(n) || c.size() < index(2 * n))
        throw std::out_of_range(std::string(who) + ": problem size beyond its arrays");
    if (cnorm.rows() != index(qp_order) || cnorm.cols() != index(max_constraints))
        cnorm.resize(index(qp_order), index(max_constraints));
}

void Point::save(std::span<const double> x_, double f_, std::span<const double> g_, std::span<const double> c_,
                 const kalvor::Matrix& cnorm_) {
    x.assign(x_.begin(), x_.end());
    g.assign(g_.begin(), g_.end());
    c.assign(c_.begin(), c_.end());
    cnorm = cnorm_;
    f = f_;
}

void Point::restore(std::span<double> x_, double& f_, std::span<double> g_, std::span<double> c_,
                    kalvor::Matrix& cnorm_) const {
    std::copy(x.begin(), x.end(), x_.begin());
    std::copy(g.begin(), g.end(), g_.begin());
    std::copy(c.begin(), c.end(), c_.begin());
    cnorm_ = cnorm;
    f_ = f;
}

void print_startup(int nrun, int n, int m, int meq, int maxit, int maxls, int iprint, double tol) {
    const auto line = [](const char* label, int value) {
        report() << fortran_io::write("(11x,a,i3)", {label, value}) << '\n';
    };
    report() << "\n\n";
    line("OPTIMIZATION ALGORITHM RUNS                 = ", nrun);
    line("NUMBER OF INDEPENDENT VARIABLES             = ", n);
    line("TOTAL NUMBER OF CONSTRAINTS                 = ", m);
    line("NUMBER OF EQUALITY CONSTRAINTS              = ", meq);
    line("MAXIMUM QUADRATIC PROGRAMMING ITERATIONS    = ", maxit);
    line("MAXIMUM LINE SEARCH ITERATIONS              = ", maxls);
    line("PRINTOUT CONTROL                            = ", iprint);
    report() << fortran_io::write("(11x,a,e10.4)", {"ACCURACY OF THE FINAL SOLUTION              = ", tol})
             << '\n';
}

void print_convergence(double conv) {
    report() << '\n' << fortran_io::write("(23x,a,e10.4)", {"CONVERGENCE TEST VALUE = ", conv}) << "\n\n";
}

}  // namespace detail
}  // namespace vmcwd_vmcon_mod
