#pragma once
// Test helpers for the optimisers, on top of the driver's fit helpers
// (sharc_test::compile_model, set_up_data, Repeatable): rows of several X
// columns, mask and bounds in the shared fit data, the run clock, and the
// fits the optimiser tests share.

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "foundations/timeit.h"
#include "model/globals.h"
#include "run/sharc_fixture.h"

namespace optimizer_test {

using Fit = sharc_test::FitProblem;

// The run clock restarted, with a time budget no test reaches.
inline void restart_run_clock() {
    globals::timemax = 600000.0;
    int restart = 1;
    timeit_mod::timeclock(restart);
}

// Rows of up to three X columns (x[j] is column j) and their observations.
inline void use_rows(const std::vector<std::vector<double>>& x, const std::vector<double>& y) {
    using namespace common_data;
    globals::nmdl = 0;
    nd = static_cast<int>(y.size());
    nxd = static_cast<int>(x.size());
    ndwt = 0;
    RowArray* columns[] = {&xd, &xd2, &xd3};
    for (std::size_t j = 0; j < x.size(); ++j)
        for (std::size_t i = 0; i < y.size(); ++i) {
            (*columns[j])[i] = x[j][i];
            xnx(i, j) = x[j][i];
        }
    for (std::size_t i = 0; i < y.size(); ++i) {
        yd[i] = y[i];
        ysig[i] = 1.0;
    }
}

// Mask and bounds of the shared fit data (an empty mask: all active).
inline void use_parameters(std::vector<int> mask, const std::vector<double>& lo, const std::vector<double>& hi) {
    using namespace common_data;
    if (mask.empty()) mask.assign(lo.size(), 1);
    npr = static_cast<int>(lo.size());
    for (std::size_t k = 0; k < param_slots; ++k) {
        pmask[k] = k < mask.size() ? mask[k] : 0;
        pboundlo[k] = k < lo.size() ? lo[k] : 0.0;
        pboundhi[k] = k < hi.size() ? hi[k] : 0.0;
    }
}

// Unweighted sum of squares of model(x) against the rows of fit.
template <class Model>
double plain_ssq(const Fit& fit, Model model) {
    double sum = 0.0;
    for (std::size_t i = 0; i < fit.y.size(); ++i) {
        const double r = fit.y[i] - model(fit.x[i]);
        sum += r * r;
    }
    return sum;
}

// The Michaelis-Menten rows of Example 1 (X1, Y).
inline Fit michaelis_menten(std::vector<double> start) {
    Fit fit;
    fit.formula = "P2*X1/(P1+X1)";
    fit.x = {5, 10, 15, 20, 25, 30, 35, 40, 45, 50, 55, 60, 65, 70, 75, 80, 85, 90, 95, 100};
    fit.y = {3.2,  15.9, 35.8, 45.1, 69.1, 75.6, 76.6, 83.7, 80.5, 90.0,
             87.2, 94.3, 99.0, 90.7, 88.6, 97.0, 101.9, 90.8, 90.5, 105.0};
    fit.p = std::move(start);
    fit.lo = {1e-6, 1e-6};
    fit.hi = {1e6, 1e6};
    return fit;
}

// The Rosenbrock function as a least-squares model: y = 10 X1 (P1^2 - P2) +
// X2 P1 on the rows (1, 0 | 0) and (0, 1 | 1), so that the sum of squares is
// 100 (P2 - P1^2)^2 + (1 - P1)^2.
inline void use_rosenbrock() {
    sharc_test::compile_model("10*X1*(P1^2-P2)+X2*P1", 2, 2);
    use_rows({{1.0, 0.0}, {0.0, 1.0}}, {0.0, 1.0});
}

inline double rosenbrock(double p1, double p2) {
    return 100.0 * (p2 - p1 * p1) * (p2 - p1 * p1) + (1.0 - p1) * (1.0 - p1);
}

// y = 2 + 3 x at x = 1..8 for the model P1 + P2*X1.
inline void use_exact_line() {
    sharc_test::compile_model("P1+P2*X1", 2);
    use_rows({{1, 2, 3, 4, 5, 6, 7, 8}}, {5, 8, 11, 14, 17, 20, 23, 26});
}

// y = 1 + 0.5 x - 0.3 x^2 at x = 1..8 for the model P1 + P2*X1 + P3*X1^2.
inline void use_quadratic() {
    sharc_test::compile_model("P1+P2*X1+P3*X1^2", 3);
    std::vector<double> x, y;
    for (int i = 1; i <= 8; ++i) {
        x.push_back(i);
        y.push_back(1.0 + 0.5 * i - 0.3 * i * i);
    }
    use_rows({x}, y);
}

// The exact line of use_exact_line with a model that is NaN below P2 = 2
// (a negative base to the power 0.5) and infinite beyond P1 = 7.03 (2 to a
// power above 1024), and starts where trial points reach those regions.
inline void use_hostile_line() {
    sharc_test::compile_model("P1+P2*X1+(P2-2)^0.5-(P2-2)^0.5+2^(1000*(P1-6))", 2);
    use_rows({{1, 2, 3, 4, 5, 6, 7, 8}}, {5, 8, 11, 14, 17, 20, 23, 26});
}
inline const std::vector<std::vector<double>> hostile_starts = {{1.0, 2.000001}, {5.9, 2.5}, {7.02, 1.5}};

}  // namespace optimizer_test
