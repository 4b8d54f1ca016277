// Console report of the sequential-quadratic optimiser.

#include "optimizers/vmsqp_report.h"

#include <algorithm>
#include <cmath>
#include <iostream>
#include <string>
#include <vector>

#include "foundations/fortran_io.h"
#include "optimizers/cholesky.h"
#include "optimizers/vmsqp.h"

namespace vmsqp_mod {

namespace {

using fortran_io::Value;

void line(std::string_view format, std::initializer_list<Value> items) {
    std::cout << fortran_io::write(format, items) << '\n';
}
void line(std::string_view format, const std::vector<Value>& items) {
    std::cout << fortran_io::write(format, items) << '\n';
}
void text(std::string_view s) { std::cout << s << '\n'; }

std::size_t count_of(int n) { return static_cast<std::size_t>(std::max(n, 0)); }

void rule(char c = '=') { text(std::string(46, c)); }

void titled(std::string_view title) {
    rule();
    text(title);
    rule();
}

double mean(std::span<const double> v) {
    if (v.empty()) return 0.0;
    double sum = 0.0;
    for (const double x : v) sum += x;
    return sum / static_cast<double>(v.size());
}

double at(std::span<const double> v, std::size_t i) { return i < v.size() ? v[i] : 0.0; }

// A number, or N/A when it is not defined.
void number_or_na(std::string_view label, bool defined, double value, std::string_view format) {
    if (defined)
        line(format, {label, value});
    else
        text(std::string(label) + "N/A");
}

// In-place Cholesky inverse of the symmetric positive definite a (n x n);
// false when a is not symmetric to a relative 1e-10 or a pivot is not
// positive.
bool spd_inverse(kalvor::Matrix& a) {
    const std::size_t n = a.rows();
    for (std::size_t i = 0; i < n; ++i)
        for (std::size_t j = 0; j < i; ++j)
            if (std::fabs(a(i, j) - a(j, i)) > 1e-10 * std::max({std::fabs(a(i, j)), std::fabs(a(j, i)), 1e-300}))
                return false;
    kalvor::Matrix l;
    if (!cholesky::factor(a, l, 0.0)) return false;
    for (std::size_t c = 0; c < n; ++c) {
        std::vector<double> z(n, 0.0);
        z[c] = 1.0;
        cholesky::solve(l, z);
        for (std::size_t i = 0; i < n; ++i) a(i, c) = z[i];
    }
    return true;
}

void matrix_lines(std::string_view title, const kalvor::Matrix& a, std::span<const std::size_t> index) {
    text(title);
    std::vector<Value> labels;
    for (const std::size_t i : index) labels.emplace_back("b(" + std::to_string(i + 1) + ")");
    line("(8x,10a14)", labels);
    for (std::size_t r = 0; r < a.rows(); ++r) {
        std::vector<Value> items{Value("b(" + std::to_string(index[r] + 1) + ")")};
        for (std::size_t c = 0; c < a.cols(); ++c) items.emplace_back(a(r, c));
        line("(a8,10es14.5)", items);
    }
}

}  // namespace

void Report::cycle_start(int cycle) {
    if (!on_) return;
    text("");
    std::cout << fortran_io::write_list({"Start of cycle=", cycle}) << '\n';
    line("(/a4,a14,a12,a12,10(a10))", {"Iter", "Objective", "Merit", "Max|c|", "b1", "b2", "b3", "b4", "b5"});
}

void Report::iteration(int cycle, int iter, double f, double merit, double violation, std::span<const double> b) {
    if (!on_ || !(iter <= 10 || iter % (cycle == 1 ? 100 : 10) == 0)) return;
    std::vector<Value> items{iter, f, merit, violation};
    for (const double v : b) items.emplace_back(v);
    line("(i5,f15.8,f12.6,f12.8,10(f10.4,1x))", items);
}

void Report::evaluations_exceeded(int cycle, int iter, long count, bool running_total) {
    if (!on_) return;
    line("(i2,1x,i3,1x,a,1x,i7)",
         {cycle, iter,
          running_total ? "Maximum total function evaluations exceeded: " : "Maximum function evaluations exceeded:",
          count});
}

void Report::no_change(int cycle, int iter, double step) {
    if (on_) line("(i2,1x,i3,1x,a,1x,es20.12)", {cycle, iter, "No change in parameter values: ", step});
}

void Report::cycle_end(int iterations, int evaluations) {
    iterations_ += iterations;
    evaluations_ += evaluations;
}

void Report::final(bool converged, std::span<const double> b, double f, std::span<const double> c,
                   std::span<const double> lambda, const kalvor::Matrix& j, std::span<const double> res,
                   std::span<const double> x, std::span<const double> lo, std::span<const double> hi, int nd,
                   std::span<const int> mask) const {
    const int n = static_cast<int>(b.size());
    titled(converged ? "CONVERGENCE ACHIEVED" : "MAXIMUM ITERATIONS REACHED");
    print_final_results(b, f, c, lambda, iterations_, static_cast<int>(evaluations_), nd, n,
                        static_cast<int>(c.size()));
    if (std::all_of(mask.begin(), mask.end(), [](int v) { return v != 0; })) {
        // The statistics want the derivatives of the fitted values, so that
        // J b + res gives back the observations of a linear model.
        kalvor::Matrix fitted = j;
        for (std::size_t k = 0; k < fitted.rows() * fitted.cols(); ++k) fitted.data()[k] = -fitted.data()[k];
        const std::vector<double> w(count_of(nd), 1.0);
        regression_statistics(b, res, x, fitted, w, nd, n, mask);
    }
    detailed_constraint_check(b, n, lo, hi);
}

void Report::comparison(std::span<const double> x, std::span<const double> y, std::span<const double> yfit,
                        std::span<const double> res, int nd) const {
    text("");
    text("MODEL FIT COMPARISON");
    line("(a8,a12,a12,a12,a12)", {"Point", "x_data", "y_data", "y_model", "Residual"});
    text(std::string(56, '-'));
    for (std::size_t i = 0; i < std::min<std::size_t>(count_of(nd), 30); ++i)
        line("(i8,4f12.6)", {static_cast<int>(i + 1), at(x, i), y[i], yfit[i], res[i]});
    if (nd > 30) text("... (showing first 30 data points only)");
    text("VMSQP OPTIMIZATION COMPLETED");
}

void print_final_results(std::span<const double> b, double f, std::span<const double> c,
                         std::span<const double> lambda, int iterations, int evaluations, int nd, int n, int m) {
    const auto constraints = c.first(count_of(m));
    line("(a,i10)", {"Total iterations: ", iterations});
    line("(a,i10)", {"Function evaluations: ", evaluations});
    line("(a,es15.8)", {"Final objective (SSR): ", f});
    const float df = static_cast<float>(nd - n);
    number_or_na("RMS error: ", df > 0.0f, std::sqrt(f / df), "(a,es12.5)");
    double worst = 0.0;
    for (const double v : constraints) worst = std::max(worst, v);
    line("(a,es12.5)", {"Max constraint violation: ", worst});
    text("");
    text("Final parameters:");
    for (std::size_t i = 0; i < count_of(n); ++i)
        line("(a,i2,a,es15.8)", {"  b(", static_cast<int>(i + 1), ") = ", b[i]});
    text("Constraint values (should be <= 0): ");
    line("(a,1x,es12.5)", {"Average(constraint)=", mean(constraints)});
    text("Lagrange multipliers: ");
    line("(a,1x,es12.5)", {"Average(lambda)=", mean(lambda.first(count_of(m)))});
}

void regression_statistics(std::span<const double> b, std::span<const double> res, std::span<const double> x,
                           const kalvor::Matrix& j, std::span<const double> w, int nd, int n,
                           std::span<const int> mask) {
    const std::size_t rows = count_of(nd);
    std::vector<std::size_t> index;
    for (std::size_t i = 0; i < count_of(n); ++i)
        if (mask[i] != 0) index.push_back(i);
    const float df = static_cast<float>(nd) - static_cast<float>(index.size());

    double ssr = 0.0, wsum = 0.0, wy = 0.0;
    std::vector<double> observed(rows);
    for (std::size_t k = 0; k < rows; ++k) {
        ssr += res[k] * res[k];
        double fitted = 0.0;
        for (std::size_t i = 0; i < count_of(n); ++i) fitted += j(k, i) * b[i];
        observed[k] = fitted + res[k];
        wsum += w[k];
        wy += w[k] * observed[k];
    }
    const double ybar = wsum > 0.0 ? wy / wsum : 0.0;
    double sst = 0.0;
    for (std::size_t k = 0; k < rows; ++k) sst += w[k] * (observed[k] - ybar) * (observed[k] - ybar);
    const bool has_df = df > 0.0f;
    const double mse = has_df ? ssr / df : 0.0;

    titled("REGRESSION STATISTICS");
    line("(a,i6)", {"Number of observations: ", nd});
    line("(a,i6)", {"Number of parameters: ", n});
    line("(a,i6)", {"Degrees of freedom: ", static_cast<int>(df)});
    line("(a,es15.8)", {"Sum of squared residuals: ", ssr});
    number_or_na("Mean squared error: ", has_df, mse, "(a,es15.8)");
    number_or_na("Root mean squared error: ", has_df, std::sqrt(mse), "(a,es15.8)");
    number_or_na("R-squared: ", sst > 0.0, 1.0 - ssr / sst, "(a,f10.6)");

    // Covariance of the active parameters: MSE (J'WJ)^-1.
    const std::size_t a = index.size();
    kalvor::Matrix cov(a, a);
    for (std::size_t r = 0; r < a; ++r)
        for (std::size_t c = 0; c < a; ++c)
            for (std::size_t k = 0; k < rows; ++k) cov(r, c) += j(k, index[r]) * w[k] * j(k, index[c]);
    if (!has_df || a == 0 || !spd_inverse(cov)) {
        text("Warning: Could not compute parameter statistics");
        text(has_df ? "(Jacobian matrix may be singular or ill-conditioned)" : "(no degrees of freedom left)");
    } else {
        for (std::size_t r = 0; r < a; ++r)
            for (std::size_t c = 0; c < a; ++c) cov(r, c) *= mse;
        text("");
        text("Final parameter estimates with standard errors:");
        line("(a10,3a16)", {"Parameter", "Estimate", "Std Error", "t-ratio"});
        text(std::string(58, '-'));
        for (std::size_t r = 0; r < a; ++r) {
            const double se = std::sqrt(std::max(cov(r, r), 0.0));
            const std::string name = "b(" + std::to_string(index[r] + 1) + ")";
            if (se > 0.0)
                line("(a10,3es16.7)", {name, b[index[r]], se, b[index[r]] / se});
            else
                line("(a10,2es16.7,a16)", {name, b[index[r]], se, "N/A"});
        }
        kalvor::Matrix corr(a, a);
        for (std::size_t r = 0; r < a; ++r)
            for (std::size_t c = 0; c < a; ++c) {
                const double scale = std::sqrt(cov(r, r) * cov(c, c));
                corr(r, c) = r == c ? 1.0 : scale > 0.0 ? cov(r, c) / scale : 0.0;
            }
        matrix_lines("Parameter covariance matrix:", cov, index);
        matrix_lines("Parameter correlation matrix:", corr, index);
    }

    if (rows == 0) return;
    const double rmse = std::sqrt(mse);
    double lowest = res[0], highest = res[0], sum = 0.0;
    for (std::size_t k = 0; k < rows; ++k) {
        lowest = std::min(lowest, res[k]);
        highest = std::max(highest, res[k]);
        sum += res[k];
    }
    const double average = sum / static_cast<double>(rows);
    double spread = 0.0;
    for (std::size_t k = 0; k < rows; ++k) spread += (res[k] - average) * (res[k] - average);
    const double sd = rows > 1 ? std::sqrt(spread / static_cast<double>(rows - 1)) : 0.0;
    text("");
    text("Residual analysis:");
    line("(a,es15.8)", {"Minimum residual: ", lowest});
    line("(a,es15.8)", {"Maximum residual: ", highest});
    line("(a,es15.8)", {"Mean residual: ", average});
    line("(a,es15.8)", {"Standard deviation of residuals: ", sd});
    text("Potential outliers (|residual| > 2.5 * RMSE):");
    if (!has_df) return;
    for (std::size_t k = 0; k < rows; ++k)
        if (std::fabs(res[k]) > 2.5 * rmse)
            line("(a,i3,a,es12.5,a,es12.5)",
                 {"Point ", static_cast<int>(k + 1), ": residual = ", res[k], ", x = ", at(x, k)});
}

void detailed_constraint_check(std::span<const double> b, int n, std::span<const double> lo,
                               std::span<const double> hi) {
    titled("CONSTRAINT SATISFACTION CHECK");
    const auto side = [&](bool lower) {
        text(lower ? "LOWER BOUND CONSTRAINTS CHECK" : "UPPER BOUND CONSTRAINTS CHECK");
        int violations = 0;
        for (std::size_t i = 0; i < count_of(n); ++i) {
            const std::string name = "b(" + std::to_string(i + 1) + ") = ";
            const double bound = lower ? lo[i] : hi[i];
            const bool broken = lower ? bound >= b[i] : bound <= b[i];
            violations += broken ? 1 : 0;
            const char* relation = broken ? (lower ? " <= " : " >= ") : (lower ? " > " : " < ");
            line("(a,es12.5,a,es12.5)", {(broken ? "VIOLATION: " : "OK: ") + name, b[i], relation, bound});
        }
        if (violations > 0)
            line("(a,i1,a)", {"WARNING: ", violations, " constraint violation(s) detected"});
        else
            text(lower ? "ALL LOWER BOUND CONSTRAINTS SATISFIED!" : "ALL UPPER BOUND CONSTRAINTS SATISFIED!");
    };
    side(true);
    side(false);
}

}  // namespace vmsqp_mod
