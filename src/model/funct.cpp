#include "model/funct.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <stdexcept>
#include <string>
#include <vector>

#include "foundations/fortran_io.h"
#include "foundations/nrutil.h"
#include "foundations/runtime.h"
#include "model/bounds.h"
#include "model/datafile.h"
#include "model/formula_check.h"
#include "model/globals.h"

namespace funct {

namespace {

constexpr double weight_min = 0.001;
constexpr double weight_max = 1000.0;
constexpr double small_weight = 1e-6;
constexpr double step_factor = 1.7262482236197282e-5;
constexpr double tiny_gradient = 8.8800002646180425e-16;

std::function<double()> jitter_uniform;

double jitter_draw() { return jitter_uniform ? jitter_uniform() : runtime::simple_uniform(); }

void require(bool ok, const char* what) {
    if (!ok) throw std::out_of_range(std::string(what) + ": count larger than its vector");
}

std::size_t count_of(int n) { return static_cast<std::size_t>(std::max(n, 0)); }

// x with the sign of y, y = 0 counting as positive.
double with_sign(double x, double y) { return y < 0.0 ? -std::fabs(x) : std::fabs(x); }

// A model value guarded as a fitted value: invalid -> floor, then clamped.
double fitted_value(double y) {
    // nrutil::rval_nan and std::clamp, written as choices of values so
    // that a loop over rows can run in vector registers.
    y = std::isnan(y) | (y - 1.0 == y) ? objective_floor : y;
    return y < -objective_ceiling ? -objective_ceiling : (objective_ceiling < y ? objective_ceiling : y);
}

// |w| clamped to [0.001, 1000], its sign kept.
double clamp_weight(double w) {
    if (std::isnan(w)) return w;
    return with_sign(std::clamp(std::fabs(w), weight_min, weight_max), w);
}

// Work storage reused from call to call, so the innermost loop of the fit
// allocates only when the problem grows.
struct FunWork {
    std::vector<double> p, residual, weight, robust;
};

FunWork& fun_work() {
    thread_local FunWork work;
    return work;
}

// The model at one row of X.
double model_at_row(const kalvor::Matrix& x, std::size_t row, std::span<const double> p, int np, int nx) {
    std::array<double, common_data::max_x> xrow{};
    for (std::size_t j = 0; j < count_of(nx) && j < xrow.size(); ++j) xrow[j] = x(row, j);
    double y = 0.0;
    my_func::eval_func(p, np, xrow, nx, common_udf::cudf, y);
    return y;
}

// Weights of every row into w for the given mode (1..4).
void mode_weights(int mode, std::span<const double> r, std::span<const double> ycalc,
                  std::span<const double> sig, std::span<double> w, std::vector<double>& robust) {
    const std::size_t nd = w.size();
    switch (mode) {
    case mode_sigma:
    case mode_fitted:
        for (std::size_t i = 0; i < nd; ++i) {
            w[i] = mode == mode_sigma ? sig[i] : ycalc[i];
            if (std::fabs(w[i]) <= small_weight) w[i] = 1.0;
        }
        break;
    case mode_robust:
        robust.assign(nd, 1.0);
        robustwt::robust_wt(static_cast<int>(nd), r, robust);
        for (std::size_t i = 0; i < nd; ++i) w[i] = std::sqrt(std::fabs(0.5 / robust[i]));
        break;
    case mode_residual: {
        double s = 0.0;
        nrutil::rvec_stdev1(static_cast<int>(nd), r, s);
        if (std::fabs(s) < small_weight || std::fabs(s) > 1e6) s = 1.0;
        for (std::size_t i = 0; i < nd; ++i) {
            w[i] = std::sqrt(std::fabs(r[i] / s));
            if (std::fabs(w[i]) < small_weight || std::fabs(w[i]) > 1e6) w[i] = 1.0;
        }
        break;
    }
    default:
        break;
    }
    for (double& v : w) v = clamp_weight(v);
}

// The shared X columns as an nd x nx matrix.
void shared_x(kalvor::Matrix& x, int nd, int nx) {
    const std::array<const common_data::RowArray*, common_data::max_x> columns = {
        &common_data::xd, &common_data::xd2, &common_data::xd3};
    const std::size_t rows = count_of(nd), cols = count_of(std::min(nx, common_data::max_x));
    // Every element is written below: a matrix of the right shape is not cleared first.
    if (x.rows() != rows || x.cols() != cols) x.resize(rows, cols);
    for (std::size_t j = 0; j < x.cols(); ++j)
        for (std::size_t i = 0; i < x.rows(); ++i) x(i, j) = (*columns[j])[i];
}

void gradient(std::span<double> g, double& f, std::span<double> p, int n, double step_floor,
              double added) {
    using namespace common_data;
    require(n <= param_slots && g.size() >= count_of(n) && p.size() >= count_of(n), "derivat");
    require(nd <= max_rows, "derivat");
    // Copies of the shared data, reused from call to call.
    thread_local kalvor::Matrix x;
    thread_local std::vector<double> y, ycalc, sig;
    shared_x(x, nd, nxd);
    y.assign(yd.begin(), yd.begin() + std::max(nd, 0));
    ycalc.assign(ydf.begin(), ydf.begin() + std::max(nd, 0));
    sig.assign(ysig.begin(), ysig.begin() + std::max(nd, 0));
    npr = n;

    const auto objective = [&]() {
        double value = 0.0;
        fun(x, y, p, n, nxd, nd, ndwt, ycalc, sig, value);
        return value;
    };
    const double f0 = objective();
    for (std::size_t i = 0; i < count_of(n); ++i) {
        if (pmask[i] == 0) {
            g[i] = 0.0;
            continue;
        }
        const double h = with_sign(std::max((std::fabs(p[i]) + step_factor) * step_factor, step_floor), p[i]);
        const double saved = p[i];
        p[i] = saved + h;
        const double f_plus = objective();
        p[i] = saved - h;
        const double f_minus = objective();
        p[i] = saved;
        double gi = (f_plus - f_minus) / (2.0 * h) + added;
        if (std::isnan(gi))
            gi = 2.979932929550268e-08;
        else if (std::fabs(gi) <= tiny_gradient)
            gi = with_sign(tiny_gradient, gi);
        else
            gi = std::clamp(gi, -objective_ceiling, objective_ceiling);
        g[i] = gi;
    }

    // Leave the shared data at the base point.
    for (std::size_t j = 0; j < x.cols(); ++j)
        for (std::size_t i = 0; i < x.rows(); ++i) xnx(i, j) = x(i, j);
    std::copy(y.begin(), y.end(), yd.begin());
    std::copy(p.begin(), p.begin() + n, pfinal.begin());
    objective();
    f = f0;
}

}  // namespace

void set_jitter_source(std::function<double()> uniform) { jitter_uniform = std::move(uniform); }

namespace {
// Touched by the fit's own thread only.
long long evaluations = 0;
}  // namespace

long long evaluation_count() { return evaluations; }

void fun(const kalvor::Matrix& x, std::span<const double> y, std::span<const double> p, int np, int nx,
         int nd, int mode, std::span<double> ycalc, std::span<const double> sig, double& f) {
    using namespace common_data;
    ++evaluations;
    int used = mode > mode_residual ? mode_none : mode;
    if (nd < 1) {
        f = objective_floor;
        ndwt = used;
        return;
    }
    const std::size_t rows = count_of(nd);
    require(nd <= max_rows && x.rows() >= rows && x.cols() >= count_of(std::min(nx, max_x)) &&
                y.size() >= rows && ycalc.size() >= rows && p.size() >= count_of(np),
            "fun");
    require(used != mode_sigma || sig.size() >= rows, "fun");

    FunWork& work = fun_work();
    work.p.assign(p.begin(), p.begin() + static_cast<std::ptrdiff_t>(count_of(np)));
    common_data::nd = nd;
    my_func::eval_rows(work.p, np, x, nx, rows, common_udf::cudf, ycalc);

    // The fitted values guarded and the residuals, then their mean magnitude
    // and their sum of squares, which is the objective when every weight is
    // 1 (a residual divided by 1 is itself).  The first loop can run in
    // vector registers, the second sums row by row in order.
    work.residual.resize(rows);
    double* const fitted = ycalc.data();
    const double* const observed = y.data();
    double* const residual = work.residual.data();
    for (std::size_t i = 0; i < rows; ++i) {
        const double v = fitted_value(fitted[i]);
        fitted[i] = v;
        residual[i] = observed[i] - v;
    }
    double mean_abs = 0.0;
    double unit_sum = 0.0;
    for (std::size_t i = 0; i < rows; ++i) {
        if (std::fabs(fitted[i]) >= objective_ceiling - objective_floor) used = mode_none;
        mean_abs += std::fabs(residual[i]);
        unit_sum += residual[i] * residual[i];
    }
    // A (nearly) perfect fit is shaken by at most 1% so that the optimisers
    // never see a flat objective.
    const bool shaken = mean_abs / nd < objective_floor;
    if (shaken)
        for (double& r : work.residual) r *= 1.0 + (jitter_draw() - 0.5) * 0.02;

    // Weights go to a local vector: sig may be common_data::ysig itself.
    work.weight.assign(rows, 1.0);
    const bool weighted = globals::nmdl < 1 && used >= mode_sigma;
    double sum = unit_sum;
    if (weighted || shaken) {
        if (weighted)
            mode_weights(used, work.residual, std::span<const double>(ycalc.data(), rows), sig, work.weight,
                         work.robust);
        for (double& w : work.weight)
            if (w == 0.0) w = 1.0;
        sum = 0.0;
        for (std::size_t i = 0; i < rows; ++i) {
            const double scaled = work.residual[i] / work.weight[i];
            sum += scaled * scaled;
        }
    }
    // A NaN sum is a failed evaluation, never a perfect fit: it goes to the
    // ceiling, not the floor.
    f = std::isnan(sum) ? objective_ceiling : std::clamp(sum, objective_floor, objective_ceiling);
    nrutil::rval_nan(f, objective_ceiling);

    std::copy(ycalc.begin(), ycalc.begin() + nd, ydf.begin());
    std::copy(work.weight.begin(), work.weight.end(), ysig.begin());
    ndwt = used;
}

int unevaluable_rows(const kalvor::Matrix& x, std::span<const double> p, int np, int nx, int nd) {
    require(x.rows() >= count_of(nd) && p.size() >= count_of(np), "unevaluable_rows");
    int failed = 0;
    for (std::size_t i = 0; i < count_of(nd); ++i) {
        model_at_row(x, i, p, np, nx);
        if (!my_func::last_value_valid()) ++failed;
    }
    return failed;
}

void vmfun(int n, std::span<const double> x, double& f) {
    using namespace common_data;
    require(nd <= max_rows, "vmfun");
    // Reused from call to call: no allocation once they have their size.
    thread_local kalvor::Matrix table;
    thread_local std::vector<double> ycalc;
    shared_x(table, nd, nxd);
    for (int i = 0; i < nd; ++i)
        if (ysig[i] == 0.0) ysig[i] = 1.0;
    ycalc.resize(count_of(nd));  // fun writes every row
    double value = 0.0;
    fun(table, yd, x, n, nxd, nd, ndwt, ycalc, ysig, value);
    for (std::size_t i = 0; i < ycalc.size(); ++i) {
        ydf[i] = ycalc[i];
        yres[i] = yd[i] - ycalc[i];
    }
    f = value;
}

void derivat(std::span<double> g, double& f, std::span<double> p, int n) {
    gradient(g, f, p, n, 2.979932929550268e-10, 0.0);
}

void derivatv(std::span<double> g, double& f, std::span<double> p, int n) {
    gradient(g, f, p, n, 2.979932929550268e-08, tiny_gradient);
}

bool calcfg(int n, std::span<double> x, double& f, std::span<double> g, std::span<double> c,
            kalvor::Matrix& a) {
    using namespace common_data;
    constexpr std::size_t a_rows = 25;
    constexpr std::size_t a_cols = 50;
    f = 999999.0;
    std::fill(g.begin(), g.end(), 0.0);
    std::fill(c.begin(), c.end(), 0.0);
    if (a.rows() < a_rows || a.cols() < a_cols)
        a.resize(a_rows, a_cols);
    else
        a.fill(0.0);

    iinout::units = {10, 20};
    for (int& unit : iinout::units) unit = datafile::get_unit();
    nmod = 0;
    if (globals::nmdl > nmod) {
        std::string text = fortran_io::write("(a,i8)", {"PROGRAM ABORTED, MODEL NUMBER EXCEEDED", nmod});
        std::fputs((text + "\n").c_str(), stdout);
        std::fflush(stdout);
        return false;
    }

    if (n >= 1) {
        const auto count = count_of(n);
        require(n <= param_slots && x.size() >= count && g.size() >= count, "calcfg");
        ieqcns = static_cast<int>(std::count(pmask.begin(), pmask.begin() + n, 0));
        icnstr = 2 * n + ieqcns;
        require(c.size() >= count_of(icnstr), "calcfg");
        const auto held = count_of(ieqcns);
        std::size_t k = 0;
        for (std::size_t i = 0; i < count; ++i) {
            if (pmask[i] == 0) {
                c[k] = x[i];
                a(i, k) = 1.0;
                ++k;
            }
            c[held + i] = x[i] - pboundlo[i];
            c[held + count + i] = pboundhi[i] - x[i];
            a(i, held + i) = 1.0;
            a(i, held + count + i) = -1.0;
        }
    } else {
        ieqcns = 0;
    }
    derivat(g, f, x, n);
    vmfun(n, x, f);
    return true;
}

void funcurve(const kalvor::Matrix& x, int n, int np, std::span<const double> p, int nx,
              std::span<double> xc, std::span<double> yc, int& count, int m) {
    count = 0;
    if (n <= 1 || m < 1) return;
    const std::size_t points = count_of(n - 1) * count_of(m) + 1;
    const int columns = std::clamp(nx, 1, common_data::max_x);
    require(xc.size() >= points && yc.size() >= points && x.rows() >= count_of(n) && x.cols() >= count_of(columns),
            "funcurve");
    const std::size_t grid_size = count_of(m) + 1;
    std::array<std::vector<double>, common_data::max_x> grid;
    for (auto& g : grid) g.assign(grid_size, 0.0);
    std::size_t out = 0;
    for (int k = 0; k + 1 < n; ++k) {
        for (int j = 0; j < columns; ++j)
            r8vec_linspace(m + 1, x(count_of(k), count_of(j)), x(count_of(k + 1), count_of(j)), grid[count_of(j)]);
        const bool last = k + 2 == n;
        const double factor = k == 0 ? 0.99 : (last ? 1.01 : 1.0);
        const std::size_t used = last ? grid_size : grid_size - 1;
        for (std::size_t q = 0; q < used; ++q) {
            const std::array<double, common_data::max_x> xv = {grid[0][q] * factor, grid[1][q], grid[2][q]};
            double y = 0.0;
            my_func::eval_func(p, np, xv, nx, common_udf::cudf, y);
            xc[out] = xv[0];
            yc[out] = fitted_value(y);
            ++out;
        }
    }
    count = static_cast<int>(out);
}

void r8vec_linspace(int n, double a, double b, std::span<double> x) {
    if (n < 1) return;
    require(x.size() >= count_of(n), "r8vec_linspace");
    if (n == 1) {
        x[0] = (a + b) / 2.0;
        return;
    }
    for (int i = 1; i <= n; ++i)
        x[count_of(i - 1)] = (static_cast<double>(n - i) * a + static_cast<double>(i - 1) * b) / (n - 1);
}

void savitzkygolay(std::span<const double> y, int n, std::span<double> ys) {
    if (n < 1) return;
    require(y.size() >= count_of(n) && ys.size() >= count_of(n), "savitzkygolay");
    const auto yv = [&](int i) { return y[count_of(i - 1)]; };  // 1-based
    const auto out = [&](int i) -> double& { return ys[count_of(i - 1)]; };
    if (n < 5) {
        std::fill(ys.begin(), ys.begin() + n, 0.0);
        return;
    }
    out(1) = (207 * yv(1) + 12 * yv(2) - 18 * yv(3) + 12 * yv(4) - 3 * yv(5)) / 210.0;
    out(2) = (2 * yv(1) + 27 * yv(2) + 12 * yv(3) - 8 * yv(4) + 2 * yv(5)) / 35.0;
    for (int i = 3; i <= n - 2; ++i)
        out(i) = (-3 * yv(i - 2) + 12 * yv(i - 1) + 17 * yv(i) + 12 * yv(i + 1) - 3 * yv(i + 2)) / 35.0;
    out(n - 1) = (2 * yv(n) + 27 * yv(n - 1) + 12 * yv(n - 2) - 8 * yv(n - 3) + 2 * yv(n - 4)) / 35.0;
    out(n) = (207 * yv(n) + 12 * yv(n - 1) - 18 * yv(n - 2) + 12 * yv(n - 3) - 3 * yv(n - 4)) / 210.0;
}

void movingaver(std::span<const double> y, int n, std::span<double> ys, int w) {
    if (n < 1) return;
    require(y.size() >= count_of(n) && ys.size() >= count_of(n), "movingaver");
    // The end rule needs three values and the window at least one.
    if (n < w || n < 3 || w < 1) {
        std::fill(ys.begin(), ys.begin() + n, 0.0);
        return;
    }
    const auto yv = [&](int i) { return y[count_of(i - 1)]; };  // 1-based
    const auto out = [&](int i) -> double& { return ys[count_of(i - 1)]; };
    const int h = (w - 1) / 2;
    double sum = 0.0;
    for (int i = 1; i <= w; ++i) sum += yv(i);
    out(h + 1) = sum / w;
    // The window of centre i is y(i-h .. i-h+w-1) (i-h .. i+h for odd w).
    for (int i = h + 2; i - h + w - 1 <= n; ++i) {
        sum += yv(i - h + w - 1) - yv(i - h - 1);
        out(i) = sum / w;
    }
    out(1) = (5 * yv(1) + 2 * yv(2) - yv(3)) / 6.0;
    out(n) = (5 * yv(n) + 2 * yv(n - 1) - yv(n - 2)) / 6.0;
    for (int k = 2; k <= (w + 1) / 2; ++k) {
        double head = 0.0;
        double tail = 0.0;
        for (int i = 1; i <= 2 * k - 1; ++i) head += yv(i);
        for (int i = n - 2 * k + 2; i <= n; ++i) tail += yv(i);
        out(k) = head / (2 * k - 1);
        out(n - k + 1) = tail / (2 * k - 1);
    }
}

}  // namespace funct
