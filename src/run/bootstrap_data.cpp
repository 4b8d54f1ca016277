#include "run/bootstrap_data.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <numbers>
#include <stdexcept>
#include <vector>

#include "foundations/matrix.h"
#include "foundations/runtime.h"
#include "model/globals.h"
#include "optimizers/va10b.h"
#include "optimizers/va10b_derivatives.h"
#include "run/simplex.h"

namespace bootstrap_data_mod {
namespace {

using Vector = std::vector<double>;

constexpr std::array<double, 20> t_table = {12.706, 4.303, 3.182, 2.776, 2.571, 2.447, 2.365, 2.306, 2.262, 2.228,
                                            2.201,  2.179, 2.160, 2.145, 2.131, 2.120, 2.110, 2.101, 2.093, 2.086};
constexpr int simplex_iterations = 150;
constexpr double small_jitter = 0.02;
constexpr double large_jitter = 0.1;

std::size_t count_of(int n) { return static_cast<std::size_t>(std::max(n, 0)); }

double mean_of(const Vector& v) {
    double sum = 0.0;
    for (double x : v) sum += x;
    return v.empty() ? 0.0 : sum / static_cast<double>(v.size());
}

double std_dev(const Vector& v) { return compute_std_dev(v, static_cast<int>(v.size())); }

// Box-Muller normal deviate from two fresh uniforms.
double normal_deviate() {
    const double u1 = runtime::random_number(), u2 = runtime::random_number();
    return std::sqrt(-2.0 * std::log(std::max(u1, 1.0e-10))) * std::cos(2.0 * std::numbers::pi * u2);
}

// The shared fit data the bootstrap borrows, put back when it ends.
class Borrowed {
public:
    Borrowed(std::span<const double> y, int n)
        : rows_(count_of(n)), y_(y.begin(), y.begin() + static_cast<std::ptrdiff_t>(rows_)),
          ydf_(take(common_data::ydf)), yres_(take(common_data::yres)), ydr_(take(common_data::ydr)),
          pfinal_(common_data::pfinal), fssqr_(common_data::fssqr), ndwt_(common_data::ndwt) {}
    ~Borrowed() {
        put(y_, common_data::yd);
        put(ydf_, common_data::ydf);
        put(yres_, common_data::yres);
        put(ydr_, common_data::ydr);
        std::copy(pfinal_.begin(), pfinal_.begin() + common_data::npr, common_data::pfinal.begin());
        common_data::fssqr = fssqr_;
        common_data::ndwt = ndwt_;
    }
    Borrowed(const Borrowed&) = delete;
    Borrowed& operator=(const Borrowed&) = delete;

    const Vector& fitted() const { return ydf_; }
    const Vector& residuals() const { return yres_; }
    const common_data::ParamArray& parameters() const { return pfinal_; }
    double sum_of_squares() const { return fssqr_; }

private:
    Vector take(const common_data::RowArray& a) const {
        return Vector(a.begin(), a.begin() + static_cast<std::ptrdiff_t>(rows_));
    }
    static void put(const Vector& v, common_data::RowArray& a) { std::copy(v.begin(), v.end(), a.begin()); }

    std::size_t rows_;
    Vector y_, ydf_, yres_, ydr_;
    common_data::ParamArray pfinal_;
    double fssqr_;
    int ndwt_;
};

// The bootstrap of one call: its residual set, working parameters and refits.
class Bootstrap {
public:
    Bootstrap(const Borrowed& saved, int n, int method)
        : saved_(saved), n_(n), rows_(count_of(n)), npr_(common_data::npr), method_(method), c_(rows_),
          e_(rows_), ystar_(rows_), p_(saved.parameters().begin(), saved.parameters().begin() + npr_),
          p_acc_(p_), f_cur_(saved.sum_of_squares()) {
        build_residual_set();
    }

    // The shrunken residual set: winsorised at 7.5% in each tail, centred,
    // and scaled to a largest magnitude of 1% of its spread (at least a
    // hundredth of a percent of the fitted range).
    void build_residual_set() {
        const Vector& r = saved_.residuals();
        Vector sorted = r;
        std::sort(sorted.begin(), sorted.end());
        const int k = static_cast<int>(0.075 * n_);
        const double lo = sorted[count_of(std::max(k + 1, 1) - 1)], hi = sorted[count_of(std::min(n_ - k, n_) - 1)];
        Vector w(rows_);
        for (std::size_t i = 0; i < rows_; ++i) w[i] = std::min(std::max(r[i], lo), hi);
        const double w_mean = mean_of(w);
        for (std::size_t i = 0; i < rows_; ++i) c_[i] = w[i] - w_mean;

        const Vector& yhat = saved_.fitted();
        const auto [ymin, ymax] = std::minmax_element(yhat.begin(), yhat.end());
        const double s =
            std::max(0.01 * std::max({0.01 * (*ymax - *ymin), 0.01 * std_dev(yhat), std_dev(c_)}), 1.0e-10);
        double largest = 0.0;
        for (double v : c_) largest = std::max(largest, std::fabs(v));
        if (largest > s)
            for (double& v : c_) v *= s / largest;
        else
            for (double& v : c_) v = std::copysign(std::fabs(normal_deviate()) * s, v);
    }

    // A replicate: draws into e, fitted values plus draws into y* and yd.
    // Returns the sum of the squared draws.
    double replicate() {
        if (method_ == method_permute) {
            random_resample_residuals(c_, e_, n_);
        } else {
            for (std::size_t i = 0; i < rows_; ++i) {
                const auto j = std::min(static_cast<std::size_t>(runtime::random_number() * n_), rows_ - 1);
                e_[i] = c_[j];
            }
        }
        double sum = 0.0;
        for (std::size_t i = 0; i < rows_; ++i) {
            ystar_[i] = saved_.fitted()[i] + e_[i];
            common_data::yd[i] = ystar_[i];
            sum += e_[i] * e_[i];
        }
        return sum;
    }

    // Every active parameter scaled by 1 + (z - 0.5) a.
    void jitter(Vector& p, double a) const {
        for (std::size_t j = 0; j < p.size(); ++j)
            if (common_data::pmask[j] != 0) p[j] *= (normal_deviate() - 0.5) * a + 1.0;
    }

    double refit(Vector& p, double value, int budget, int& code) {
        Vector metric(va10b_optimizer::packed_size(npr_), 1.0);
        va10b_mod::va10b_optimizer(n_, npr_, p, value, metric, 1, 1, budget, code);
        return value;
    }

    double simplex(Vector& p, double reference, int& status) {
        double value = 0.0;
        simplex_robust::simplex_robust(p, p, npr_, reference, value, simplex_iterations, status);
        return value;
    }

    // One sweep of nboot replicates into V (nboot x n); returns the value
    // of the last replicate's refit.
    double sweep(int nboot, int budget, kalvor::Matrix& V) {
        const double f_orig = saved_.sum_of_squares();
        int status = 0, code = 0;
        // Warm-up replicate: only moves the working vector.
        replicate();
        jitter(p_, small_jitter);
        const double warm = simplex(p_, f_orig, status);
        if (warm < 2.0 * f_cur_) {
            f_cur_ = warm;
            p_acc_ = p_;
        } else {
            p_ = p_acc_;
        }
        if (refit(p_, 0.0, budget, code) < f_cur_ && code != va10b_mod::exit_no_descent)
            p_acc_ = p_;
        else
            p_ = p_acc_;

        double f = 0.0;
        for (std::size_t k = 0; k < count_of(nboot); ++k) {
            const double sum = replicate();
            jitter(p_, small_jitter);
            const double f_va = refit(p_, 1.1 * sum, budget, code);
            const Vector p_va = p_;
            const double f_simplex = simplex(p_, sum, status);
            if (status != 0) {
                p_acc_ = p_;
                f = f_simplex;
            } else {
                p_ = p_va;
                f = f_va;
            }
            f = std::max(f, 1.0e-15);
            for (std::size_t i = 0; i < rows_; ++i) V(k, i) = ystar_[i];
        }
        return f;
    }

    // Before a second sweep: a stronger jitter of the accepted vector, refit.
    void restart() {
        p_ = p_acc_;
        jitter(p_, large_jitter);
        int code = 0;
        f_cur_ = refit(p_, 10.0 * saved_.sum_of_squares(), 200, code);
    }

private:
    const Borrowed& saved_;
    const int n_;
    const std::size_t rows_;
    const int npr_;
    const int method_;
    Vector c_, e_, ystar_, p_, p_acc_;
    double f_cur_;
};

void degenerate(const Vector& yhat, std::span<double> ymean, std::span<double> ylcl, std::span<double> yucl) {
    std::copy(yhat.begin(), yhat.end(), ymean.begin());
    std::copy(yhat.begin(), yhat.end(), ylcl.begin());
    std::copy(yhat.begin(), yhat.end(), yucl.begin());
}

}  // namespace

void random_resample_residuals(std::span<const double> c, std::span<double> e, int n) {
    std::copy(c.begin(), c.begin() + static_cast<std::ptrdiff_t>(count_of(n)), e.begin());
    for (int j = n; j >= 2; --j) {
        const int m = std::min(static_cast<int>(j * runtime::random_number()) + 1, j);
        std::swap(e[count_of(j - 1)], e[count_of(m - 1)]);
    }
}

double compute_std_dev(std::span<const double> v, int n) {
    if (n < 2) return 0.0;
    const std::size_t rows = count_of(n);
    double sum = 0.0;
    for (std::size_t i = 0; i < rows; ++i) sum += v[i];
    const double mean = sum / n;
    double squares = 0.0;
    for (std::size_t i = 0; i < rows; ++i) squares += (v[i] - mean) * (v[i] - mean);
    return std::sqrt(squares / (n - 1));
}

double t_quantile(int df) {
    if (df <= 0) return 0.0;
    if (df <= 20) return t_table[count_of(df - 1)];
    if (df < 30) return 2.086 * std::exp(-(df - 20) * 0.0019850567083815607);
    if (df < 60) return 2.045 * std::exp(-(df - 30) * 0.0007416869644939928);
    if (df < 1000) return 1.96 + 0.04 * std::exp(-(df - 60) / 100.0);
    return 1.96;
}

void residual_bootstrap_regression(std::span<const double> x, std::span<const double> y, int n, double alpha,
                                   int nboot, int method, int option, std::span<double> ymean,
                                   std::span<double> ylcl, std::span<double> yucl) {
    const std::size_t rows = count_of(n);
    if (n > common_data::max_rows || common_data::npr < 0 || common_data::npr > common_data::param_slots ||
        std::min({y.size(), ymean.size(), ylcl.size(), yucl.size()}) < rows)
        throw std::out_of_range("residual bootstrap: more rows or parameters than the fit data hold");
    if (n < 1) return;
    const Borrowed saved(y, n);
    const Vector& yhat = saved.fitted();
    if (nboot < 1) return degenerate(yhat, ymean, ylcl, yucl);
    common_data::ndwt = 0;
    const double s0 = std_dev(saved.residuals());

    const auto [ymin, ymax] = std::minmax_element(yhat.begin(), yhat.end());
    const double yhat_mean = mean_of(yhat);
    const double sd_floor =
        std::max(0.01 * std::max({0.1 * std_dev(yhat), 0.01 * (*ymax - *ymin), 0.01 * std::fabs(yhat_mean)}), 1.0e-10);
    const double t = t_quantile(nboot - 1);
    const double f_orig = saved.sum_of_squares();

    Bootstrap boot(saved, n, method);
    kalvor::Matrix V(count_of(nboot), rows);
    Vector column(count_of(nboot));
    for (int sweep = 1; sweep <= 2; ++sweep) {
        const double f_last = boot.sweep(nboot, sweep == 1 ? 100 : 200, V);
        if (!(1000.0 * f_orig > f_last)) break;
        double sd_sum = 0.0;
        for (std::size_t i = 0; i < rows; ++i) {
            for (std::size_t k = 0; k < column.size(); ++k) column[k] = V(k, i);
            const double sd = std::max(std_dev(column), sd_floor);
            const double se = option != 0 ? std::sqrt(sd * sd + s0 * s0) : sd;
            sd_sum += sd;
            ymean[i] = mean_of(column);
            ylcl[i] = yhat[i] - t * se;
            yucl[i] = yhat[i] + t * se;
        }
        const double sd_mean = sd_sum / n;
        if (sd_mean < 1.0e-8 || f_last < 1.0e-9) break;
        // The band stands when its mean spread is at most 125% of the mean
        // fitted value (a zero mean never passes).
        if (100.0 * sd_mean <= 125.0 * std::fabs(yhat_mean)) return;
        if (sweep == 1) boot.restart();
    }
    degenerate(yhat, ymean, ylcl, yucl);
}

}  // namespace bootstrap_data_mod
