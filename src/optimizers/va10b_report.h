#pragma once
// Console reports of the variable-metric least-squares optimiser, written to
// standard output only while va10b_mod::bprint is on.

#include <span>
#include <string_view>

#include "foundations/matrix.h"

namespace va10b_optimizer {

// One line of text.
void report(std::string_view line);

// The counters, value, parameters and gradient of one iteration.
void print_iteration(int itn, int ifn, double f, std::span<const double> b, std::span<const double> g);

// What one line search chose, for every tenth iteration.
struct StepDiagnostics {
    int itn;
    std::string_view phase;  // trimmed phase label
    double f, f_pass, progress, factor, alpha0, alpha, alpha_max, gs, df;
};
void print_step_diagnostics(const StepDiagnostics& d);

// The recorded line-search history of the program run.
void print_factor_summary();

// Counters and values of the whole call.
void write_optimization_summary(int itn, int ifn, int iexit, double f_final, double f_initial);

// Standard errors and correlations of the closing analysis.
void print_standard_errors(std::span<const double> b, std::span<const double> se, std::span<const int> mask);
void print_correlation(const kalvor::Matrix& corr);

}  // namespace va10b_optimizer
