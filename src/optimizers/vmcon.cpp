// Constrained variable-metric optimiser with a backtracking line search on
// the exact-penalty merit function.

#include <algorithm>
#include <array>
#include <cmath>
#include <ostream>
#include <string>
#include <vector>

#include "foundations/fortran_io.h"
#include "optimizers/vmcwd_vmcon.h"
#include "optimizers/vmcwd_vmcon_detail.h"

namespace vmcwd_vmcon_mod {

namespace {

std::size_t index(int i) { return static_cast<std::size_t>(i); }

struct Outcome {
    std::vector<const char*> lines;
    int blanks;  // between the last line and "-- INFO ="
};

void print_outcome(int info) {
    static const std::array<Outcome, 6> outcomes = {{
        {{"REQUIRED ACCURACY ACHIEVED IN VMCON. THE PRINTING", "OF THE LAST ITERATION GIVES THE OPTIMAL SOLUTION",
          "COMPUTED BY VMCON."},
         2},
        {{"Q.P. ITERATIONS EXCEEDED ALLOWABLE MAXIMUM DURING", "PROGRAM EXECUTION"}, 38},
        {{"CALLS TO CALCFG EXCEEDED ALLOWABLE MAXIMUM DURING", "LINE SEARCH. CHECK THAT THE GRADIENT CALCULATIONS",
          "ARE CORRECT, INSTEAD THE REQUIRED ACCURACY MAY NOT", "BE ATTAINABLE"},
         42},
        {{"AN UPHILL SEARCH DIRECTION WAS CALCULATED. USUALLY", "THIS IS DUE TO LOSS OF ACCURACY IN THE QUADRATIC",
          "PROGRAMMING CALCULATION"},
         32},
        {{"NO FEASIBLE POINT IS FOUND BY LA02AD. USUALLY THIS", "IS DUE TO INCONSISTENCY IN THE GIVEN CONSTRAINTS"},
         7},
        {{"VE02AD FINDS THAT AN ARTIFICIAL BOUND IS ACTIVE", "THE  PREDICTED CHANGE IN THE VARIABLES EXCEEDS",
          "VLARGE. IT MAY BE NECESSARY TO REDUCE THE SIZE OF", "THE VARIABLES"},
         42},
    }};
    if (info < info_converged || info > info_artificial_bound) return;
    const Outcome& text = outcomes[index(info - 1)];
    std::ostream& out = detail::report();
    out << '\n';
    for (std::size_t k = 0; k + 1 < text.lines.size(); ++k) out << "     " << text.lines[k] << '\n';
    out << "     " << text.lines.back() << std::string(index(text.blanks), ' ')
        << fortran_io::write("(a,i2)", {"-- INFO =", info}) << "\n\n";
}

}  // namespace

void vmcon(int n, std::span<double> x, double& f, std::span<double> g, std::span<double> c,
           kalvor::Matrix& cnorm, int maxit, double tol, int iprint, int& info, int maxls, double& conv,
           int& niter, int nrun, int qpmode) {
    detail::check_sizes(n, x, g, c, cnorm, "vmcon");
    const auto count = index(n);
    const std::span<double> xs = x.first(count), gs = g.first(count), cs = c.first(2 * count);
    const int meq = ConstraintCounts::meq;
    const int m = meq + 2 * n;
    std::vector<double> mu(index(m), 0.0), glag(count), glaga(count), s(count), y(count);
    detail::Point start;  // the line-search start

    const auto finish = [&](int code) {
        info = code;
        if (iprint >= 1) print_outcome(info);
    };
    if (!detail::evaluate(n, xs, f, gs, cs, cnorm)) return finish(info_callback_failed);
    a2.m = m;
    if (iprint >= 0) detail::print_startup(nrun, n, m, meq, maxit, maxls, iprint, tol);
    detail::reset_metric(n);
    ++niter;
    std::copy(xs.begin(), xs.end(), vmvdb.xsaved.begin());

    for (;;) {
        if (niter > maxit) return finish(info_limit);
        if (!detail::direction(n, m, meq, f, xs, gs, cs, cnorm, iprint, info, qpmode))
            return finish(info_callback_failed);
        detail::lagrangian_gradient(n, m, gs, cnorm, glaga);
        start.save(xs, f, gs, cs, cnorm);

        double gd = 0.0, sum = 0.0;
        for (std::size_t j = 0; j < count; ++j) gd += gs[j] * vmvdb.delta[j];
        for (int i = 0; i < m; ++i) {
            const double l = std::fabs(vmvdb.lambda[index(i)]);
            sum += std::fabs(vmvdb.lambda[index(i)] * cs[index(i)]);
            mu[index(i)] = std::max(l, (mu[index(i)] + l) / 2.0);
        }
        conv = std::fabs(gd) + sum;
        if (std::isnan(conv)) conv = detail::huge_value;
        if (iprint >= 0) detail::print_convergence(conv);
        if (conv <= tol) return finish(info);

        const double p0 = detail::penalty(mu, cs, cnorm, n, m, meq);
        const double phi0 = f + p0;
        double d = gd - p0 * vmvdb.delta[count];
        if (!(d < 0.0)) return finish(info_uphill);

        // Backtracking: delta always holds the last trial step.
        double alpha = 1.0;
        for (int k = 2;; ++k) {
            for (std::size_t j = 0; j < count; ++j) vmvdb.delta[j] *= alpha;
            detail::trial_point(n, start.x, vmvdb.delta, 1.0, xs);
            if (k > maxls) {
                start.restore(xs, f, gs, cs, cnorm);
                return finish(info_line_search);
            }
            if (!detail::evaluate(n, xs, f, gs, cs, cnorm)) return finish(info_callback_failed);
            const double change = f + detail::penalty(mu, cs, cnorm, n, m, meq) - phi0;
            if (change <= 0.1 * d) break;
            alpha = std::max(0.1, 0.5 * d / (d - change));
            d *= alpha;
        }

        detail::lagrangian_gradient(n, m, gs, cnorm, glag);
        for (std::size_t j = 0; j < count; ++j) {
            s[j] = xs[j] - start.x[j];
            y[j] = glag[j] - glaga[j];
        }
        detail::damped_bfgs(n, s, y, 0.2);
        ++niter;
        std::copy(xs.begin(), xs.end(), vmvdb.xsaved.begin());
    }
}

}  // namespace vmcwd_vmcon_mod
