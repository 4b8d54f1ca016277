#pragma once
// Test helpers for the optimisers: compile a model formula and put data
// rows, mask and bounds into the shared fit data.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "model/formula_check.h"
#include "model/globals.h"

namespace optimizer_test {

// Compiles text (the right-hand side of "Y=") with np parameters and nx X
// variables as the model of the fit.
inline void use_model(const std::string& text, int np, int nx) {
    common_udf::cudf.assign(text);
    const std::vector<double> p(static_cast<std::size_t>(np), 1.0), x(static_cast<std::size_t>(nx), 1.0);
    double y = fnparse2_recompile;
    ASSERT_TRUE(fnparse2(p, x, np, nx, 1, common_udf::cudf.view(), y)) << text;
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

// The Rosenbrock function as a least-squares model: y = 10 X1 (P1^2 - P2) +
// X2 P1 on the rows (1, 0 | 0) and (0, 1 | 1), so that the sum of squares is
// 100 (P2 - P1^2)^2 + (1 - P1)^2.
inline void use_rosenbrock() {
    use_model("10*X1*(P1^2-P2)+X2*P1", 2, 2);
    use_rows({{1.0, 0.0}, {0.0, 1.0}}, {0.0, 1.0});
}

inline double rosenbrock(double p1, double p2) {
    return 100.0 * (p2 - p1 * p1) * (p2 - p1 * p1) + (1.0 - p1) * (1.0 - p1);
}

// y = 2 + 3 x at x = 1..8 for the model P1 + P2*X1.
inline void use_exact_line() {
    use_model("P1+P2*X1", 2, 1);
    use_rows({{1, 2, 3, 4, 5, 6, 7, 8}}, {5, 8, 11, 14, 17, 20, 23, 26});
}

// y = 1 + 0.5 x - 0.3 x^2 at x = 1..8 for the model P1 + P2*X1 + P3*X1^2.
inline void use_quadratic() {
    use_model("P1+P2*X1+P3*X1^2", 3, 1);
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
    use_model("P1+P2*X1+(P2-2)^0.5-(P2-2)^0.5+2^(1000*(P1-6))", 2, 1);
    use_rows({{1, 2, 3, 4, 5, 6, 7, 8}}, {5, 8, 11, 14, 17, 20, 23, 26});
}
inline const std::vector<std::vector<double>> hostile_starts = {{1.0, 2.000001}, {5.9, 2.5}, {7.02, 1.5}};

}  // namespace optimizer_test
