// ADAM-smoothed BFGS update of the sequential-quadratic optimiser's model
// Hessian.

#include <cmath>
#include <iostream>
#include <stdexcept>
#include <vector>

#include "foundations/fortran_io.h"
#include "model/globals.h"
#include "optimizers/vmsqp.h"

namespace vmsqp_mod {

namespace {

// First and second moments of one ADAM routine, kept from call to call
// within a cycle of the optimiser.
struct Moments {
    std::vector<double> m, v;
    bool first_call = true;
};

Moments& step_moments() {
    static Moments moments;
    return moments;
}

Moments& gradient_moments() {
    static Moments moments;
    return moments;
}

void say(std::initializer_list<fortran_io::Value> items) { std::cout << fortran_io::write_list(items) << '\n'; }

constexpr double beta1 = 0.9;
constexpr double beta2 = 0.999;
constexpr double half_largest = 8.988465674311579e307;

// stop_on_nan: a NaN entry becomes 2 and ends the pass (the step
// correction); otherwise it becomes 0 and the pass goes on.
void adam(Moments& st, std::span<double> x, std::span<const double> grad, int n, int t, double rate,
          bool stop_on_nan) {
    if (n > common_data::param_slots) throw std::out_of_range("adam_update: more parameters than slots");
    if (n < 1) {
        say({"ERROR: n_params must be positive"});
        return;
    }
    if (t < 1) {
        say({"ERROR: iteration must be positive"});
        return;
    }
    const auto size = static_cast<std::size_t>(n);
    if (x.size() < size || grad.size() < size) throw std::out_of_range("adam_update: vector shorter than n");
    if (t == 1 || st.first_call) {
        st.m.assign(size, 0.0);
        st.v.assign(size, 0.0);
        st.first_call = false;
    }
    if (st.m.size() != size || st.v.size() != size) {
        say({"ERROR: Moment estimate arrays size mismatch"});
        return;
    }
    const double bc1 = std::pow(beta1, t), bc2 = std::pow(beta2, t);
    if (1.0 - bc1 < 1e-8 || 1.0 - bc2 < 1e-8)
        say({"WARNING: Bias correction terms very small, potential numerical issues"});
    for (std::size_t i = 0; i < size; ++i) {
        if (common_data::pmask[i] == 0) continue;
        st.m[i] = beta1 * st.m[i] + (1.0 - beta1) * grad[i];
        st.v[i] = beta2 * st.v[i] + (1.0 - beta2) * grad[i] * grad[i];
        const double mhat = st.m[i] / (1.0 - bc1);
        double vhat = st.v[i] / (1.0 - bc2);
        if (vhat < 0.0) {
            say({"WARNING: Negative second moment at parameter", static_cast<int>(i + 1)});
            vhat = std::fabs(vhat);
        }
        const double step = rate * mhat / (std::sqrt(vhat) + 1e-8);
        x[i] -= step;
        if (std::isnan(x[i])) {
            if (stop_on_nan) {
                say({"ERROR: NaN detected in parameter", static_cast<int>(i + 1), step, x[i]});
                x[i] = 2.0;
                return;
            }
            say({"ERROR: NaN detected in parameter", static_cast<int>(i + 1)});
            x[i] = 0.0;
            continue;
        }
        if (std::fabs(x[i]) > half_largest) {
            say({"ERROR: Parameter overflow at", static_cast<int>(i + 1)});
            x[i] = std::copysign(1.0, x[i]);
        }
    }
}

double dot(std::span<const double> a, std::span<const double> b, std::size_t n) {
    double sum = 0.0;
    for (std::size_t i = 0; i < n; ++i) sum += a[i] * b[i];
    return sum;
}

}  // namespace

void adam_update_s(std::span<double> x, std::span<const double> grad, int n, int t) {
    adam(step_moments(), x, grad, n, t, 0.001, true);
}

void adam_update_y(std::span<double> x, std::span<const double> grad, int n, int t) {
    adam(gradient_moments(), x, grad, n, t, 0.0001, false);
}

bool quasi_newton_update(kalvor::Matrix& h, std::span<const double> b, std::span<const double> b_new,
                         std::span<const double> g, std::span<const double> g_new, std::span<const double> lambda,
                         std::span<const double> lambda_old, const kalvor::Matrix& a, int n, int m,
                         std::span<const int> mask, int t) {
    if (n < 1) return false;
    const auto size = static_cast<std::size_t>(n);
    std::vector<double> s(size), y(size);
    for (std::size_t i = 0; i < size; ++i) {
        s[i] = (b_new[i] - b[i]) + std::copysign(1e-10, b_new[i]);
        y[i] = (g_new[i] - g[i]) + std::copysign(1e-8, g_new[i]);
    }
    adam_update_s(s, g, n, t);
    adam_update_y(y, g, n, t);
    if (std::fabs(dot(s, y, size)) <= 2e-12) return false;

    for (std::size_t c = 0; c < static_cast<std::size_t>(std::max(m, 0)); ++c) {
        const double change = lambda[c] - lambda_old[c];
        for (std::size_t i = 0; i < size; ++i) y[i] += a(c, i) * change;
    }
    const double sy = dot(s, y, size);
    if (!(std::fabs(sy) > 2e-12) || !(std::sqrt(dot(s, s, size)) > 2e-12)) return false;
    const double rho = 1.0 / sy;
    std::vector<double> u(size, 0.0);
    for (std::size_t i = 0; i < size; ++i)
        for (std::size_t j = 0; j < size; ++j) u[i] += h(i, j) * s[j];
    const double shs = dot(s, u, size);
    // A curvature s'Hs that is not clearly positive would blow the matrix up.
    if (!(shs > 2e-12) || !std::isfinite(shs)) return false;

    kalvor::Matrix updated = h;
    for (std::size_t i = 0; i < size; ++i) {
        if (mask[i] == 0) continue;
        for (std::size_t j = 0; j < size; ++j) {
            updated(i, j) = h(i, j) + rho * y[i] * y[j] - u[i] * u[j] / shs;
            if (!std::isfinite(updated(i, j))) return false;
        }
    }
    h = std::move(updated);
    return true;
}

}  // namespace vmsqp_mod
