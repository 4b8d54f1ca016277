#include "run/postfit.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "foundations/condindex.h"
#include "foundations/eigen.h"
#include "foundations/timeit.h"
#include "model/globals.h"
#include "run/cascade.h"
#include "run/sharc_objective.h"

namespace sharc_mod {

namespace {

constexpr std::size_t cimat_order = 11;
constexpr double loading_ceiling = 1e12;

std::size_t count_of(int n) { return static_cast<std::size_t>(std::max(n, 0)); }

}  // namespace

int confidence_df(int n, int k, int fixed) { return std::max(n - k - fixed, 3); }

kalvor::Matrix component_percentages(const kalvor::Matrix& cov, int q) {
    const std::size_t order = count_of(q);
    kalvor::Matrix block(order, order), vectors(order, order);
    for (std::size_t j = 0; j < order; ++j)
        for (std::size_t i = 0; i < order; ++i) block(i, j) = cov(i, j);
    kalvor::Matrix table(order, order);
    if (order == 0) return table;
    eigenvlvc::eigenjacobi(block, vectors, q, 1e-12);
    for (std::size_t c = 0; c < order; ++c) {
        double sum = 0.0;
        for (std::size_t i = 0; i < order; ++i) {
            double v = std::fabs(vectors(i, c));
            if (std::isnan(v) || v > loading_ceiling) v = loading_ceiling;
            table(i, c) = v;
            sum += v;
        }
        for (std::size_t i = 0; i < order; ++i) table(i, c) = sum > 0.0 ? table(i, c) * 100.0 / sum : 0.0;
    }
    return table;
}

void postfit(sharc::DriverState& s, SharcArgs& a) {
    using namespace common_data;
    const int n = a.n, k = a.k, m = a.m;
    const std::size_t rows = count_of(n), params = count_of(k);
    int fixed = 0;
    for (std::size_t j = 0; j < params; ++j)
        if (a.mask[j] == 0) ++fixed;

    // Statistics at the kept vector.
    s.p.assign(a.p.begin(), a.p.begin() + static_cast<std::ptrdiff_t>(params));
    sharc::FitStatistics stats;
    sharc::stderr_corr(s.x, s.y, s.ycalc, s.sig, m, n, s.p, k, a.mask, s.lowest, stats);

    a.ssq = s.lowest;
    a.se.assign(stats.se.begin(), stats.se.begin() + static_cast<std::ptrdiff_t>(params));
    if (std::any_of(a.se.begin(), a.se.end(), [](double v) { return std::isnan(v); }))
        std::fill(a.se.begin(), a.se.end(), sharc::se_unknown);
    const double t = tval95(confidence_df(n, k, fixed));
    a.ci.resize(params);
    for (std::size_t j = 0; j < params; ++j) a.ci[j] = t * a.se[j];

    a.corr = stats.corr;
    a.eigenvalues = stats.eigenvalues;
    a.studentized = stats.studentized;
    a.studentized.resize(rows, 0.0);
    a.runs = stats.runs;
    for (std::size_t i = 0; i < rows; ++i) ydr[i] = a.studentized[i];

    // Condition indices and component shares of the covariance block of the
    // active parameters.
    const int q = k - fixed;
    kalvor::Matrix indices;
    int iterations = 100;
    condindex::eigen_cond_index(stats.work, indices, q, 1e-8, iterations);
    cimat.resize(cimat_order, cimat_order);
    const std::size_t order = std::min<std::size_t>(count_of(q) + 1, cimat_order);
    if (q >= 1)
        for (std::size_t j = 0; j < order; ++j)
            for (std::size_t i = 0; i < order; ++i) cimat(i, j) = indices(i, j);
    a.influence = component_percentages(stats.work, q);

    // Final evaluation at the kept vector, unweighted.
    std::vector<double> pw(s.kept);
    double f = 0.0;
    funcs(s.x, s.y, s.ycalc, s.sig, m, n, 0, pw, k, f);
    fssqr = s.lowest;
    for (std::size_t j = 0; j < count_of(m); ++j)
        for (std::size_t i = 0; i < rows; ++i) xnx(i, j) = s.x(i, j);
    std::copy(s.kept.begin(), s.kept.end(), pfinal.begin());
    a.p.assign(s.kept.begin(), s.kept.end());
    for (std::size_t i = 0; i < rows; ++i) {
        yd[i] = s.y[i];
        ydf[i] = s.ycalc[i];
        yres[i] = s.y[i] - s.ycalc[i];
    }
    a.ycalc.assign(s.ycalc.begin(), s.ycalc.end());

    // Bootstrap band of the fitted curve; the plot shows it only when this
    // fit filled it.
    ybs_filled = 0;
    if (m == 1 && cascade::services().bootstrap) {
        std::vector<double> lcl(rows), ucl(rows);
        cascade::services().bootstrap(std::span<const double>(xd.data(), rows), std::span<double>(yd.data(), rows), n,
                                      0.05, 100, 2, 1, a.ycalc, lcl, ucl);
        for (std::size_t i = 0; i < rows; ++i) {
            ybs_mean[i] = a.ycalc[i];
            ybs_lcl[i] = lcl[i];
            ybs_ucl[i] = ucl[i];
        }
        ybs_filled = 1;
    }

    globals::starttimer = 0;
    globals::totaltime = timeit_mod::timeclock(globals::starttimer);
}

}  // namespace sharc_mod
