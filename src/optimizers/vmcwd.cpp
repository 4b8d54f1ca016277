// Constrained variable-metric optimiser with the watchdog line search: a
// step may be taken without a sufficient decrease of the merit function;
// the point of lowest merit is remembered, and the search goes back to it
// when two iterations of such steps have not beaten it.

#include <algorithm>
#include <cmath>
#include <ostream>
#include <vector>

#include "foundations/fortran_io.h"
#include "optimizers/vmcwd_vmcon.h"
#include "optimizers/vmcwd_vmcon_detail.h"

namespace vmcwd_vmcon_mod {

namespace {

std::size_t index(int i) { return static_cast<std::size_t>(i); }

void print_values(const char* label, std::span<const double> v) {
    std::vector<fortran_io::Value> items{label};
    items.insert(items.end(), v.begin(), v.end());
    detail::console() << fortran_io::write("(2x,a,5d20.10/(5x,5d20.10))", items) << '\n';
}

void print_message(const char* format, std::initializer_list<fortran_io::Value> items) {
    detail::console() << fortran_io::write(format, items) << '\n';
}

void print_vf13ad() {
    print_message("(/5x,a/5x,a)",
                  {"ERROR RETURN FROM VF13AD DUE TO LOSS OF", "POSITIVE DEFINITENESS. THE SOLUTION MAY BE UNBOUNDED"});
}

// The point of lowest merit so far (x in vmvdb.xsaved).
struct Remembered {
    double f = 0.0, phi = 0.0;
    std::vector<double> c;
    int iter = 0;
};

// The start of the current line search.
struct LineStart {
    std::vector<double> x, c, cd, glag;
    double f = 0.0, phi = 0.0, gd = 0.0, lagrangian = 0.0;
    int counter = 0;
};

class Watchdog {
public:
    Watchdog(int n, std::span<double> x, double& f, std::span<double> c, kalvor::Matrix& cnorm, int m, int iprint,
             int& niter, int& counter)
        : n_(n), m_(m), iprint_(iprint), x_(x), f_(f), c_(c), cnorm_(cnorm), niter_(niter),
          counter_(counter), mu_(index(m), detail::tiny_value) {}

    double merit(double f, std::span<const double> c) const {
        return f + detail::penalty(mu_, c, cnorm_, n_, m_, ConstraintCounts::meq);
    }
    double merit() const { return merit(f_, c_); }
    double lagrangian() const {
        double sum = f_;
        for (int i = 0; i < m_; ++i) sum -= vmvdb.lambda[index(i)] * c_[index(i)];
        return sum;
    }
    bool is_remembered() const { return std::equal(x_.begin(), x_.end(), vmvdb.xsaved.begin()); }

    void remember() {
        std::copy(x_.begin(), x_.end(), vmvdb.xsaved.begin());
        rem_.f = f_;
        rem_.c.assign(c_.begin(), c_.begin() + m_);
        rem_.phi = merit();
        rem_.iter = niter_;
    }
    void go_back() { std::copy(vmvdb.xsaved.begin(), vmvdb.xsaved.begin() + n_, x_.begin()); }
    const Remembered& remembered() const { return rem_; }
    double predicted_reduction(const std::vector<double>& w) const {
        double sum = 0.0;
        for (int i = 0; i < m_; ++i) sum += w[index(i)] * mu_[index(i)];
        return sum;
    }

    // Raises the penalty weights when their predicted decrease is too small
    // against |g'd|; gd = g'd, w = predicted reductions of the violations.
    void raise_penalty(double gd, std::vector<double> w) {
        double target = 2.5 * std::fabs(gd), sum = 0.0;
        for (int i = 0; i < m_; ++i) {
            const auto k = index(i);
            if (vmvdb.lambda[k] == 0.0) {
                target -= w[k] * mu_[k];
                w[k] = 0.0;
            }
            sum += std::fabs(vmvdb.lambda[k] * w[k]);
        }
        for (bool removed = true; removed && sum > 0.0;) {
            removed = false;
            const double r = target / sum;
            for (int i = 0; i < m_; ++i) {
                const auto k = index(i);
                if (w[k] != 0.0 && std::fabs(vmvdb.lambda[k]) * r < mu_[k]) {
                    target -= mu_[k] * w[k];
                    sum -= std::fabs(vmvdb.lambda[k] * w[k]);
                    w[k] = 0.0;
                    removed = true;
                }
            }
        }
        if (!(sum > 0.0)) return;
        const double r = target / sum;
        for (int i = 0; i < m_; ++i)
            if (w[index(i)] > 0.0) mu_[index(i)] = std::fabs(vmvdb.lambda[index(i)]) * r;
        rem_.phi = merit(rem_.f, rem_.c);
    }

    void print_iteration(int info, int& next_print) const {
        std::ostream& out = detail::console();
        out << fortran_io::write("(/5x,a,i5,5x,a,i5)", {"ITERATIONS =", niter_, "CALLS OF CALCFG =", counter_})
            << '\n';
        const bool current_is_best = is_remembered();
        if (info < 1)
            out << "     THE CURRENT VALUES OF F, X AND C ARE AS FOLLOWS"
                << (current_is_best ? " THESE VALUES ARE ALSO THE OPTIMAL ONES" : "") << '\n';
        print_values("X =", x_);
        print_values("F =", std::span<const double>(&f_, 1));
        print_values("c =", c_.first(index(m_)));
        if (info <= 0) next_print = niter_ + iprint_;
        if (current_is_best) return;
        out << "      AND THE OPTIMAL VALUES ARE THE FOLLOWING ONES\n";
        print_values("X =", std::span<const double>(vmvdb.xsaved.data(), index(n_)));
        print_values("F =", std::span<const double>(&rem_.f, 1));
        print_values("c =", rem_.c);
    }

private:
    int n_, m_, iprint_;
    std::span<double> x_;
    double& f_;
    std::span<double> c_;
    kalvor::Matrix& cnorm_;
    int& niter_;
    int& counter_;
    std::vector<double> mu_;
    Remembered rem_;
};

}  // namespace

void vmcwd(int n, std::span<double> x, double& f, std::span<double> g, std::span<double> c,
           kalvor::Matrix& cnorm, int maxit, double tol, int iprint, int& info, int maxls, double& conv,
           int& niter, int nrun, int qpmode) {
    detail::check_sizes(n, x, g, c, cnorm, "vmcwd");
    const auto count = index(n);
    const std::span<double> xs = x.first(count), gs = g.first(count), cs = c.first(2 * count);
    conv = 0.0;
    niter = 0;
    const bool constrained = info != start_unconstrained && info != start_unconstrained + 1;
    const int meq = constrained ? ConstraintCounts::meq : 0;
    const int m = constrained ? meq + 2 * n : 0;
    int counter = 0;
    a2.m = m;
    if (constrained) {
        counter = 1;
        if (!detail::evaluate(n, xs, f, gs, cs, cnorm)) {
            info = info_callback_failed;
            return;
        }
        if (iprint >= 0) detail::print_startup(nrun, n, m, meq, maxit, maxls, iprint, tol);
        if (info != start_keep_info) info = -2;
    }
    detail::reset_metric(n);
    int next_print = iprint - 1 < 1 ? iprint - 1 : 0;

    Watchdog w(n, xs, f, cs, cnorm, m, iprint, niter, counter);
    LineStart xa;
    std::vector<double> glag(count), s(count), y(count), reduction(index(m));
    double alpha = 1.0, threshold = 0.0;
    int strict = 1, mark = -10;

    enum class Step { evaluate, subproblem, trial, finish } step = Step::evaluate;
    while (step != Step::finish) {
        if (step == Step::evaluate) {
            ++counter;
            if (!detail::evaluate(n, xs, f, gs, cs, cnorm)) {
                info = info_callback_failed;
                return;
            }
            step = Step::subproblem;
            if (info > 0) {
                step = Step::finish;
            } else if (info == -1) {
                info = 0;
            } else if (info < -1) {
                w.remember();
                if (iprint >= 0) detail::print_startup(nrun, n, m, meq, maxit, maxls, iprint, tol);
            } else {
                // Judge the trial point against the linearised merit.
                double predicted = xa.f + alpha * xa.gd;
                std::vector<double> linear(index(m));
                for (int i = 0; i < m; ++i) linear[index(i)] = xa.c[index(i)] + alpha * xa.cd[index(i)];
                predicted = w.merit(predicted, linear);
                const double phi = w.merit();
                if (xa.phi <= predicted) {
                    info = info_uphill;
                    if (iprint >= 0)
                        print_message("(/5x,a,a)", {"ERROR RETURN FROM VMCWD", " DUE TO AN UPHILL SEARCH DIRECTION"});
                    step = Step::finish;
                    continue;
                }
                const double ratio = (xa.phi - phi) / (xa.phi - predicted);
                const bool accept =
                    ratio >= 0.25 || (strict != 1 && (phi <= xa.phi || w.lagrangian() <= xa.lagrangian));
                if (!accept) {
                    if (counter - xa.counter >= maxls) {
                        info = info_line_search;
                        if (iprint >= 0)
                            print_message("(/5x,a,i5,a)", {"ERROR RETURN FROM VMCWD DUE TO", maxls,
                                                           " CALLS OF CALCFG IN A LINE SEARCH"});
                        step = Step::finish;
                    } else {
                        alpha *= std::max(0.1, 0.5 / (1.0 - ratio));
                        step = Step::trial;
                    }
                    continue;
                }
                detail::lagrangian_gradient(n, m, gs, cnorm, glag);
                for (std::size_t j = 0; j < count; ++j) {
                    s[j] = xs[j] - xa.x[j];
                    y[j] = glag[j] - xa.glag[j];
                }
                detail::damped_bfgs(n, s, y, 0.1);
                if (niter == w.remembered().iter) threshold = xa.phi - 0.25 * (xa.phi - predicted);
                strict = (threshold < phi || niter < mark + 10) ? 1 : 0;
                ++niter;
                if (w.remembered().phi < phi) {
                    if (niter > w.remembered().iter + 2) {
                        info = -1;
                        w.go_back();
                        mark = niter;
                        step = Step::evaluate;
                    }
                } else {
                    w.remember();
                    if (iprint >= 0) detail::print_startup(nrun, n, m, meq, maxit, maxls, iprint, tol);
                }
            }
            continue;
        }

        if (step == Step::subproblem) {
            if (!detail::direction(n, m, meq, f, xs, gs, cs, cnorm, iprint, info, qpmode)) {
                info = info_callback_failed;
                return;
            }
            if (info == info_infeasible) {
                if (iprint >= 0) {
                    print_message("(/5x,a,a)",
                                  {"ERROR RETURN FROM VMCWD", " BECAUSE THE CONSTRAINTS SEEM TO BE INCONSISTENT"});
                    print_vf13ad();
                }
                info = info_artificial_bound;
                step = Step::finish;
                continue;
            }
            const auto& delta = vmvdb.delta;
            double gd = 0.0, sum = 0.0;
            for (std::size_t j = 0; j < count; ++j) gd += gs[j] * delta[j];
            for (int i = 0; i < m; ++i) sum += std::fabs(vmvdb.lambda[index(i)] * cs[index(i)]);
            conv = std::isnan(sum) ? detail::huge_value : std::min(std::fabs(gd), std::fabs(gd) + sum);
            if (conv <= tol) {
                if (iprint >= 0) detail::print_convergence(conv);
                step = Step::finish;
                continue;
            }
            std::vector<double> cd(index(m), 0.0);
            for (int i = 0; i < m; ++i) {
                const auto k = index(i);
                for (std::size_t j = 0; j < count; ++j) cd[k] += cnorm(j, k) * delta[j];
                reduction[k] = i < meq ? std::max(std::fabs(cs[k]) - std::fabs(cs[k] + cd[k]), 0.0)
                                       : std::max(std::min(cs[k] + cd[k], 0.0) - cs[k], 0.0);
            }
            double sbs = detail::tiny_value;
            for (std::size_t i = 0; i < count; ++i)
                for (std::size_t j = 0; j < count; ++j) sbs += delta[i] * vmvdb.b(i, j) * delta[j];
            if (!(sbs > 0.0)) {
                info = info_artificial_bound;
                if (iprint >= 0) print_vf13ad();
                step = Step::finish;
                continue;
            }
            if (0.5 * sbs + gd > 0.0 && w.predicted_reduction(reduction) < 1.25 * std::fabs(gd)) {
                w.raise_penalty(gd, reduction);
                // A point that now has the lowest merit becomes the remembered one.
                if (niter != w.remembered().iter && !(w.merit() > w.remembered().phi)) w.remember();
            }
            info = 0;
            if (niter == next_print) w.print_iteration(info, next_print);

            // Line-search start.
            xa.x.assign(xs.begin(), xs.end());
            xa.c.assign(cs.begin(), cs.begin() + m);
            xa.cd = cd;
            xa.glag.resize(count);
            detail::lagrangian_gradient(n, m, gs, cnorm, xa.glag);
            xa.f = f;
            xa.phi = w.merit();
            xa.gd = gd;
            xa.lagrangian = w.lagrangian();
            xa.counter = counter;
            alpha = 1.0;
            step = Step::trial;
        }

        if (step == Step::trial) {
            step = Step::evaluate;
            if (counter < maxit) {
                detail::trial_point(n, xa.x, vmvdb.delta, alpha, xs);
                continue;
            }
            info = info_limit;
            if (iprint >= 0)
                print_message("(/5x,a,i5,a)", {"ERROR RETURN FROM VMCWD DUE TO", counter, " CALLS OF CALCFG"});
            w.go_back();
        }
    }

    const bool error = info == info_line_search || info == info_uphill || info == info_artificial_bound;
    if (error && w.merit() > w.remembered().phi) {
        w.go_back();
        ++counter;
        if (!detail::evaluate(n, xs, f, gs, cs, cnorm)) {
            info = info_callback_failed;
            return;
        }
    }
    if (iprint >= 1) {
        print_message("(/5x,a,a)", {" THE FOLLOWING VALUES OF F, X AND C", "ARE RETURNED BY VMCWD"});
        w.print_iteration(info, next_print);
    }
}

}  // namespace vmcwd_vmcon_mod
