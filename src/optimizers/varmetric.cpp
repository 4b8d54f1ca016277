#include "optimizers/varmetric.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <stdexcept>
#include <vector>

#include "foundations/matrix.h"
#include "foundations/timeit.h"
#include "model/bounds.h"
#include "model/globals.h"

namespace vmet {
namespace {

constexpr int maxfn = 1000;                                 // evaluations per pass
constexpr double reduction = static_cast<double>(0.2f);     // step reduction of the line search
constexpr double acceptance = static_cast<double>(1e-5f);   // sufficient-decrease factor
constexpr double tiny = 1e-24;
constexpr double gradient_ceiling = 3.4028234663852886e37;
constexpr double untrusted = 1e-12;  // sums of squares below this are not believed
constexpr int max_failures = 25;     // non-finite trial values in one line search
constexpr std::array<double, 3> pass_tolerance = {1e-10, 1e-12, 1e-15};

// v, or tiny with the sign of v when |v| is below tiny.
double floored(double v) { return std::fabs(v) < tiny ? std::copysign(tiny, v) : v; }

bool over_budget() { return timeit_mod::elapsed() > globals::timemax; }

// The state one call shares between its passes, the iteration (varme) and
// the gradient (grad).
class Varmetric {
public:
    Varmetric(const Objective& fcn, int n)
        : fcn_(fcn), n_(n), size_(static_cast<std::size_t>(std::max(n, 0))), b_(size_), g_(size_), lo_(size_),
          hi_(size_), mask_(size_) {
        for (std::size_t i = 0; i < size_; ++i) {
            lo_[i] = common_data::pboundlo[i];
            hi_[i] = common_data::pboundhi[i];
            mask_[i] = common_data::pmask[i];
            if (mask_[i] != 0) ++active_;
        }
    }

    // One pass from start with gradient tolerance tol.  Afterwards point()
    // holds the lowest point the pass reached and lowest() its value.
    int varme(std::span<const double> start, double tol) {
        std::copy(start.begin(), start.end(), b_.begin());
        ifn_ = 0;
        fmin_ = eval(b_);
        ++ifn_;
        if (grad(tol) == code_flat) return code_flat;
        ifn_ += n_;
        if (ifn_ > maxfn) return code_evaluations;

        const std::size_t n = size_;
        std::vector<double> x(n), c(n), t(n), bc(n);
        int ig = 1, ilast = 1;
        for (;;) {  // sweeps, each from the identity metric
            kalvor::Matrix B = kalvor::Matrix::identity(n);
            if (over_budget()) return code_normal;
            bool new_sweep = false;
            for (;;) {  // iterations
                x = b_;
                c = g_;
                double d = 0.0;
                for (std::size_t i = 0; i < n; ++i) {
                    double s = 0.0;
                    for (std::size_t j = 0; j < n; ++j) s -= B(i, j) * g_[j];
                    t[i] = s;
                    d -= s * g_[i];
                }
                d = floored(d);
                if (d <= 0.0) break;

                // Line search along t from x.  A pass that ends here goes
                // back to x, the point of fmin.
                double step = 1.0, r = reduction, fx = 0.0;
                int failures = 0;
                bool stalled = false;
                for (;;) {
                    int unmoved = 0;
                    for (std::size_t i = 0; i < n; ++i) {
                        if (mask_[i] == 0) continue;
                        b_[i] = x[i] + step * t[i];
                        if (outside()) {
                            double s = 0.0;
                            int status = 0;
                            check_parameter_bounds::tanh_bounds5(b_, n_, lo_, hi_, mask_, s, status);
                        }
                    }
                    for (std::size_t i = 0; i < n; ++i)
                        if (mask_[i] != 0 && std::fabs(b_[i] - x[i]) < tiny) ++unmoved;
                    if (over_budget()) return back_to(x, code_normal);
                    if (unmoved == active_) {
                        stalled = true;
                        break;
                    }
                    fx = eval(b_);
                    ++ifn_;
                    const double a = floored(step * d * acceptance);
                    if (ifn_ > maxfn) return back_to(x, code_evaluations);
                    if (!std::isfinite(fx)) {
                        ++failures;
                        r = std::pow(r, static_cast<double>(std::sqrt(static_cast<float>(failures))));
                        step = floored(step * r);
                        if (failures > max_failures) return back_to(x, code_failed_trials);
                        continue;
                    }
                    if (fx < fmin_ - a) break;
                    step = floored(step * r);
                }
                if (stalled) {
                    b_ = x;
                    break;
                }

                fmin_ = fx;
                if (grad(tol) == code_flat) return code_flat;
                ++ig;
                ifn_ += n_;
                if (ifn_ > maxfn) return code_evaluations;

                double d1 = 0.0;
                for (std::size_t i = 0; i < n; ++i) {
                    t[i] *= step;
                    c[i] = floored(g_[i] - c[i]);
                    d1 += t[i] * c[i];
                }
                d1 = floored(d1);
                if (d1 <= 0.0) {
                    ilast = ig;
                    new_sweep = true;
                    break;
                }
                double d2 = 0.0;
                for (std::size_t i = 0; i < n; ++i) {
                    double s = 0.0;
                    for (std::size_t j = 0; j < n; ++j) s += B(i, j) * c[j];
                    bc[i] = s;
                    d2 += c[i] * s;
                }
                d2 = floored(d2);
                for (std::size_t i = 0; i < n; ++i) {
                    for (std::size_t j = 0; j < n; ++j)
                        B(i, j) -= (t[i] * bc[j] + bc[i] * t[j] - (1.0 + d2 / d1) * t[i] * t[j]) / d1;
                    B(i, i) += tiny;
                }
                if (over_budget()) return code_normal;
            }
            if (new_sweep) continue;
            if (ig == ilast) return code_normal;
            ilast = ig;
        }
    }

    const std::vector<double>& point() const { return b_; }
    double lowest() const { return fmin_; }

private:
    double eval(std::span<const double> x) const {
        double f = 0.0;
        fcn_(n_, x, f);
        return f;
    }

    bool outside() const {
        for (std::size_t j = 0; j < size_; ++j)
            if (b_[j] <= lo_[j] || b_[j] >= hi_[j]) return true;
        return false;
    }

    int back_to(const std::vector<double>& x, int code) {
        b_ = x;
        return code;
    }

    // Central-difference gradient at b over the active parameters (held
    // ones get 0).  Returns code_flat when every active difference vanished.
    int grad(double tol) {
        int flat = 0;
        for (std::size_t i = 0; i < size_; ++i) {
            g_[i] = 0.0;
            if (mask_[i] == 0) continue;
            const double h = (std::fabs(b_[i]) + tol) * std::sqrt(tol);
            const double saved = b_[i];
            b_[i] = saved + h;
            double fp = eval(b_);
            b_[i] = saved - h;
            const double fm = eval(b_);
            b_[i] = saved;
            if (std::fabs(fp - fm) < 1e-16) {
                ++flat;
                fp = fm + tol;
            }
            double gi = (fp - fm) / (2.0 * h);
            if (std::isnan(gi)) gi = std::sqrt(tol);
            g_[i] = std::fabs(gi) < tol ? std::copysign(tol, gi) : std::clamp(gi, -gradient_ceiling, gradient_ceiling);
        }
        return flat == active_ ? code_flat : code_normal;
    }

    const Objective& fcn_;
    const int n_;
    const std::size_t size_;
    std::vector<double> b_, g_, lo_, hi_;
    std::vector<int> mask_;
    int active_ = 0;
    int ifn_ = 0;
    double fmin_ = 0.0;
};

}  // namespace

void varmetric(const Objective& fcn, int n, std::span<double> p, double& f, int& code) {
    const std::size_t size = static_cast<std::size_t>(std::max(n, 0));
    if (n > common_data::param_slots || p.size() < size)
        throw std::out_of_range("varmetric: more parameters than slots or a vector shorter than its count");
    const std::vector<double> x0(p.begin(), p.begin() + static_cast<std::ptrdiff_t>(size));
    std::vector<double> p0 = x0;
    double f_low = f;
    const double f_in = f;
    code = code_normal;

    Varmetric run(fcn, n);
    for (const double tol : pass_tolerance) {
        const double f_start = f_low;
        code = run.varme(p0, tol);
        // A pass ending below the trusted range is discarded; the gains of
        // the earlier passes stay.
        if (run.lowest() >= untrusted && f_low > run.lowest()) {
            f_low = run.lowest();
            p0 = run.point();
        }
        if (std::fabs(f_low - f_start) < untrusted || over_budget()) break;
    }
    if (f_low < f_in) {
        std::copy(p0.begin(), p0.end(), p.begin());
        f = f_low;
    } else {
        std::copy(x0.begin(), x0.end(), p.begin());
        f = f_in;
    }
}

}  // namespace vmet
