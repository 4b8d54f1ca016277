#include "optimizers/fit_eval.h"

#include <algorithm>
#include <array>
#include <stdexcept>
#include <vector>

#include "model/funct.h"
#include "model/globals.h"

namespace fit_eval {

double evaluate(int rows, int n, std::span<const double> p, kalvor::Matrix& x) {
    using namespace common_data;
    const auto np = static_cast<std::size_t>(std::max(n, 0));
    if (rows > max_rows || np > pfinal.size() || p.size() < np)
        throw std::out_of_range("fit_eval::evaluate: count larger than its vector");
    std::copy_n(p.begin(), np, pfinal.begin());
    if (rows < 1) return 0.0;
    const auto count = static_cast<std::size_t>(rows);
    const std::array<const RowArray*, max_x> columns = {&xd, &xd2, &xd3};
    x.resize(count, static_cast<std::size_t>(std::clamp(nxd, 1, max_x)));
    for (std::size_t j = 0; j < x.cols(); ++j) std::copy_n(columns[j]->begin(), count, x.column(j));
    // funct::fun stores its weights in ysig: it gets a copy, kept to restore.
    thread_local std::vector<double> y, sig, fitted;
    y.assign(yd.begin(), yd.begin() + rows);
    sig.assign(ysig.begin(), ysig.begin() + rows);
    fitted.assign(count, 0.0);
    double sum = 0.0;
    funct::fun(x, y, p, n, nxd, rows, ndwt, fitted, sig, sum);
    std::copy(sig.begin(), sig.end(), ysig.begin());
    for (std::size_t i = 0; i < count; ++i) yres[i] = y[i] - fitted[i];
    std::copy_n(p.begin(), np, pfinal.begin());
    return sum;
}

}  // namespace fit_eval
