#include "optimizers/va10b_report.h"

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "foundations/fortran_io.h"
#include "optimizers/va10b.h"

namespace va10b_optimizer {
namespace {

const std::string rule(41, '=');

void vector_lines(const char* name, std::span<const double> v) {
    std::vector<fortran_io::Value> items{name};
    for (double x : v) items.emplace_back(x);
    report(fortran_io::write("(1x,a,/,(5x,4es15.7))", items));
}

void history_row(int k) {
    const auto i = static_cast<std::size_t>(k - 1);
    report(fortran_io::write("(5x,i4,2es12.4,es14.6)", {k, va10b_mod::alpha_history[i],
                                                         va10b_mod::factor_history[i], va10b_mod::f_history[i]}));
}

}  // namespace

void report(std::string_view line) {
    if (!va10b_mod::bprint) return;
    std::fwrite(line.data(), 1, line.size(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

void print_iteration(int itn, int ifn, double f, std::span<const double> b, std::span<const double> g) {
    report(fortran_io::write("(1x,a,i5,a,i5)", {"itn = ", itn, " ifn = ", ifn}));
    report(fortran_io::write("(1x,a,es15.7)", {"f = ", f}));
    vector_lines("b = ", b);
    vector_lines("g = ", g);
}

void print_step_diagnostics(const StepDiagnostics& d) {
    report("--- Adaptive Step Diagnostics ---");
    report(fortran_io::write("(a,i0,a,a)", {"Iteration ", d.itn, ": ", d.phase}));
    report(fortran_io::write("(a,es12.4,a,es12.4)", {"f=", d.f, "  f0=", d.f_pass}));
    report(fortran_io::write("(a,es12.4,a,es12.4)", {"progress_ratio=", d.progress, "  adaptive_factor=", d.factor}));
    report(fortran_io::write("(a,es12.4,a,es12.4,a,es12.4)",
                             {"alpha: init=", d.alpha0, "  final=", d.alpha, "  max=", d.alpha_max}));
    report(fortran_io::write("(a,es12.4,a,es12.4)", {"gs0=", d.gs, "  df=", d.df}));
}

void print_factor_summary() {
    const int c = std::min(va10b_mod::track_count, va10b_mod::history_size);
    if (c <= 0) return;
    report(rule);
    report("ADAPTIVE FACTOR EVOLUTION SUMMARY");
    report(rule);
    report(fortran_io::write("(a,i0)", {"Total tracked iterations: ", c}));
    report("Robust adaptive step size alpha based on progress");
    report(" Itn    Alpha      Factor     f(x)");
    report("Early iterations (1-5):");
    for (int k = 1; k <= std::min(c, 5); ++k) history_row(k);
    if (c > 15) {
        report("Middle iterations:");
        for (int k = std::max(c / 2 - 2, 1); k <= std::min(c / 2 + 2, c); ++k) history_row(k);
    }
    if (c >= 6) {
        report("Final iterations:");
        for (int k = c - 4; k <= c; ++k) history_row(k);
    }
    double factor = 0.0, alpha = 0.0;
    for (std::size_t i = 0; i < static_cast<std::size_t>(c); ++i) {
        factor += va10b_mod::factor_history[i];
        alpha += va10b_mod::alpha_history[i];
    }
    report(fortran_io::write("(a,es12.4)", {"Average adaptive factor: ", factor / c}));
    report(fortran_io::write("(a,es12.4)", {"Average alpha: ", alpha / c}));
    report(fortran_io::write("(a,es14.6)", {"Function reduction: ",
                                            va10b_mod::f_history[0] - va10b_mod::f_history[static_cast<std::size_t>(c - 1)]}));
}

void write_optimization_summary(int itn, int ifn, int iexit, double f_final, double f_initial) {
    report(rule);
    report("OPTIMIZATION SUMMARY");
    report(rule);
    report(fortran_io::write("(5x,a,i5,a,i5,a,i5)", {"itn = ", itn, " ifn = ", ifn, " iexit = ", iexit}));
    report(fortran_io::write("(a,es15.7)", {"Final f = ", f_final}));
    report(fortran_io::write("(a,es15.7)", {"Initial f = ", f_initial}));
    report(fortran_io::write("(a,es15.7)", {"Reduction = ", f_initial - f_final}));
    report(fortran_io::write("(a,f10.4,a)", {"Relative improvement = ", (1.0 - f_final / f_initial) * 100.0, "%"}));
    report(rule);
    report("End minimizing...");
}

void print_standard_errors(std::span<const double> b, std::span<const double> se, std::span<const int> mask) {
    report("PARAMETER STANDARD ERRORS");
    for (std::size_t i = 0; i < b.size(); ++i) {
        const int k = static_cast<int>(i + 1);
        if (mask[i] == 0)
            report(fortran_io::write("(a,i0,a,es15.7,a)", {"P", k, " = ", b[i], " (FIXED - no S.E.)"}));
        else
            report(fortran_io::write("(a,i0,a,es15.7,a,es12.4)", {"P", k, " = ", b[i], "  S.E. = ", se[i]}));
    }
}

void print_correlation(const kalvor::Matrix& corr) {
    report("CORRELATION MATRIX:");
    std::vector<double> row(corr.cols());
    for (std::size_t i = 0; i < corr.rows(); ++i) {
        for (std::size_t j = 0; j < corr.cols(); ++j) row[j] = corr(i, j);
        report(fortran_io::write_reals("(10f9.4)", row));
    }
}

}  // namespace va10b_optimizer
