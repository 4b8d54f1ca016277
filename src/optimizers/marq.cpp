// The Levenberg-Marquardt optimiser: passes of damped singular-value steps,
// then the parameter statistics.

#include "optimizers/marq.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "foundations/balance.h"
#include "foundations/distributions.h"
#include "foundations/timeit.h"
#include "model/bounds.h"
#include "model/globals.h"
#include "model/operators.h"

namespace marq_mod {

double deigen = 0.0;

namespace {

using kalvor::Matrix;
using marq::Data;
using marq::Eval;

constexpr double tiny = 2.22e-14;

double with_sign(double x, double y) { return y < 0.0 ? -std::fabs(x) : std::fabs(x); }

bool out_of_time() { return timeit_mod::elapsed() > globals::timemax; }

// Indices of the active parameters.
std::vector<std::size_t> active(std::span<const int> mask) {
    std::vector<std::size_t> free;
    for (std::size_t j = 0; j < mask.size(); ++j)
        if (mask[j] != 0) free.push_back(j);
    return free;
}

// The active columns of jac, side by side.
Matrix pack(const Matrix& jac, const std::vector<std::size_t>& free) {
    Matrix out(jac.rows(), free.size());
    for (std::size_t k = 0; k < free.size(); ++k)
        for (std::size_t i = 0; i < jac.rows(); ++i) out(i, k) = jac(i, free[k]);
    return out;
}

// The damped step of one try from the Jacobian at the current parameters.
// It is solved over the active parameters alone: the zero columns of fixed
// parameters would add null directions whose lifted singular values leak
// residual components into the active steps.
class Step {
public:
    Step(const Data& d, std::vector<std::size_t> free) : d_(d), free_(std::move(free)), n_(free_.size()) {}

    // d = the step from p (npr entries, 0 for fixed parameters), with the
    // residuals of the evaluation at p; m is the rank index of the damping
    // (1..active count), lambda its level.
    void compute(const Matrix& jac, const Eval& at, std::span<const double> p, int& m, double& lambda,
                 std::vector<double>& d) {
        std::vector<double> w(n_);
        Matrix u, v;
        marq::svd(pack(jac, free_), d_.nd, static_cast<int>(n_), w, u, v);
        balance_mod::balance(v, static_cast<int>(n_));
        for (std::size_t j = 0; j < n_; ++j)
            for (std::size_t k = 0; k < n_; ++k)
                if (v(j, k) == 0.0) v(j, k) = 0.001;

        const double wmax = *std::max_element(w.begin(), w.end());
        condition(w, wmax);
        const double tau = threshold(w, m, lambda);
        lift(w, wmax, tau);

        // Components of the residuals along the left singular vectors.
        const auto rows = static_cast<std::size_t>(std::max(d_.nd, 0));
        std::vector<double> r(rows);
        for (std::size_t i = 0; i < rows; ++i) {
            const double y = d_.ycol > 0 ? d_.ymat(i, static_cast<std::size_t>(d_.ycol - 1)) : 0.0;
            r[i] = y - at.yfit[i];
            if (d_.kind > 0) r[i] /= std::fabs(at.w[i]);
        }
        std::vector<double> coef(n_, 0.0);
        for (std::size_t k = 0; k < n_; ++k) {
            double ur = 0.0;
            for (std::size_t i = 0; i < rows; ++i) ur += (std::isnan(u(i, k)) ? 1e-6 : u(i, k) + 1e-12) * r[i];
            const double w2 = w[k] * w[k];
            coef[k] = w2 / (w2 + tau * tau) * ur / std::fabs(w[k]);
        }
        d.assign(p.size(), 0.0);
        for (std::size_t j = 0; j < n_; ++j) {
            double dj = 0.0;
            for (std::size_t k = 0; k < n_; ++k) dj += coef[k] * (std::isnan(v(j, k)) ? 1e-6 : v(j, k));
            if (std::isnan(dj)) dj = 0.0;
            const double a = std::fabs(p[free_[j]]);
            if (std::fabs(dj) > 0.5 * a) dj = with_sign(0.1 * a, dj);
            if (std::fabs(dj) < 1e-10 * a) dj = with_sign(1e-8 * a, dj);
            d[free_[j]] = dj;
        }
    }

private:
    // Small singular values are lifted, all kept within [1e-6, 1e6].
    static void condition(std::vector<double>& w, double wmax) {
        if (wmax > 2.220446049250313e-16)
            for (double& x : w)
                if (x < 1.4901161193847656e-8 * wmax) x *= wmax;
        for (double& x : w) {
            x = (x * x + 1e-5) / std::fabs(x);
            if (std::isnan(x) || std::fabs(x) < 1e-6) x = 1e-6;
            if (std::fabs(x) > 1e6) x = 1e6;
        }
    }

    // The damping threshold tau from the normalised, decreasingly ordered
    // copy of the conditioned values.
    double threshold(const std::vector<double>& w, int& m, double& lambda) const {
        std::vector<double> ws(w);
        std::sort(ws.begin(), ws.end(), std::greater<>());
        deigen = 1e-6 * ws[0];
        const double add = std::max(1e-5, deigen);
        for (double& x : ws) x += add;
        const double top = ws[0];
        for (double& x : ws) x /= top;

        const int n = static_cast<int>(n_);
        // lambda to the power 1/(k+1), the exponent in single precision.
        const auto root = [&](int k) { return std::pow(lambda, double{1.0f / static_cast<float>(k + 1)}); };
        lambda = std::clamp(lambda, 0.01, 1.0);
        double tau;
        if (m > n) {
            m = 1;
            tau = std::pow(lambda, 0.5) * ws[0];
        } else {
            tau = root(m) * ws[static_cast<std::size_t>(m - 1)];
            for (int k = m + 1; tau < ws[0] && m < n; ++k) {
                m = k;
                tau = root(k) * ws[static_cast<std::size_t>(k - 1)];
            }
        }
        if (!std::isfinite(tau)) tau = ws[0];
        if (tau == 0.0) return 9.999999974752427e-7;
        return static_cast<float>(std::max(tau, 1e-6));
    }

    // Soft lift of the spectrum above tau, then a linear map onto
    // [smallest, min(wmax, 1e6)].
    void lift(std::vector<double>& w, double wmax, double tau) const {
        const std::size_t n = n_;
        for (std::size_t k = 1; k < n; ++k) w[k] = (1.0 - operators::qexp(-w[k] / tau)) * w[k] + tau;
        if (n >= 2) {
            double& last = w[n - 1];
            double& before = w[n - 2];
            if (last > before) {
                if (n >= 3) before = 0.25 * w[n - 3];
                last = 0.5 * before + tau;
            }
            if (last <= tau) last = tau + 0.1 * (before - tau);
        }
        const auto [low, high] = std::minmax_element(w.begin(), w.end());
        const double smallest = *low, largest = *high;
        if (largest == smallest) return;
        const double top = std::min(wmax, 1e6), bottom = std::max(smallest, 1e-6);
        for (double& x : w) x = bottom + (x - smallest) * (top - bottom) / (largest - smallest);
    }

    const Data& d_;
    std::vector<std::size_t> free_;
    std::size_t n_;
};

// One call of the optimiser.
class Levenberg {
public:
    Levenberg(const Data& d, int npr, std::span<const int> mask, std::vector<double> p, std::vector<double> lo,
              std::vector<double> hi, double reference, int cap, int patience, int search_switch)
        : d_(d), npr_(npr), n_(static_cast<std::size_t>(npr)), mask_(mask), p_(std::move(p)), lo_(std::move(lo)),
          hi_(std::move(hi)), reference_(reference), ref_(reference), cap_(cap), patience_(patience),
          switch_(search_switch), rank_(static_cast<int>(active(mask).size())), step_(d, active(mask)) {}

    // Runs the passes and the closing search; p and its evaluation after.
    void run() {
        iterate();
        marq::funy(d_, p_, npr_, cur_);
        if (npr_ >= 1) search(p_, cur_);
    }

    const std::vector<double>& p() const { return p_; }
    const Eval& at() const { return cur_; }

private:
    enum class Flow { pass_end, stop };

    void iterate() {
        double s0 = reference_;
        std::vector<double> saved = p_;
        for (int q = 1;; q += 2) {
            if (out_of_time()) return;
            if (q > 5 && std::fabs(1.0 - ref_ / cur_.ssq) < 1.0000000000000002e-14) return;
            marq::funy(d_, p_, npr_, cur_);
            ref_ = std::min(ref_, cur_.ssq);
            lambda_ = 1.0;
            progress_ = 0;
            double lowest = cur_.ssq;
            if (cycles(q, lowest) == Flow::stop) return;
            if (std::fabs(lowest - reference_) < tiny) return;
            if (lowest > s0) {
                p_ = saved;
                return;
            }
            if (std::fabs(s0 - lowest) <= tiny) return;
            saved = p_;
            if (q >= cap_) return;
            s0 = lowest;
            work_ += 400;
        }
    }

    // The cycles of pass q; pass_lowest is lowered to the pass's lowest sum.
    Flow cycles(int q, double& pass_lowest) {
        for (int cycle = 1; cycle <= cap_; ++cycle) {
            if (out_of_time() || (work_ > 799 && q > 4)) return Flow::stop;
            double lowest = cur_.ssq;
            bool rejected = false;
            for (int t = 1; t <= 5 && !rejected; ++t) {
                if (out_of_time()) return Flow::stop;
                bool converged = false;
                rejected = !attempt(q, cycle, lowest, converged);
                pass_lowest = std::min(pass_lowest, lowest);
                if (converged) return Flow::stop;
            }
            if (!rejected) {
                work_ = 800;
                return Flow::pass_end;
            }
            if (progress_ >= patience_) {
                if (q >= cap_) return Flow::stop;
                if (std::fabs(1.0 - ref_ / cur_.ssq) < 1e-9) work_ = 1100;
                return Flow::pass_end;
            }
        }
        return Flow::pass_end;
    }

    // One try: a step from the current parameters, accepted or followed by a
    // scaling search.  False when the cycle ends on it; converged when the
    // steps have become negligible.
    bool attempt(int q, int cycle, double& lowest, bool& converged) {
        marq::fjac21(d_, p_, npr_, jac_, cur_);
        std::vector<double> d;
        step_.compute(jac_, cur_, p_, m_, lambda_, d);
        std::vector<double> trial(n_);
        bool outside = false;
        for (std::size_t j = 0; j < n_; ++j) {
            trial[j] = p_[j] + d[j];
            if (mask_[j] != 0 && (trial[j] <= lo_[j] || trial[j] >= hi_[j])) outside = true;
        }
        if (outside) {
            double scratch = cur_.ssq;
            int status = 0;
            check_parameter_bounds::tanh_bounds5(trial, npr_, lo_, hi_, mask_, scratch, status);
        }
        Eval e;
        marq::funy(d_, trial, npr_, e);
        if (e.relfit < cur_.relfit || e.ssq < lowest) {
            converged = accept(trial, e, lowest);
            if (!converged && switch_ % 2 != 0 && cycle <= 10) {
                std::vector<double> from = p_;
                if (search(from, cur_)) {
                    p_ = from;
                    lowest = std::min(lowest, cur_.ssq);
                }
            }
            return true;
        }
        ++m_;
        if (!(q < cap_ / 2 && progress_ >= patience_)) {
            std::vector<double> from = p_;
            Eval found = cur_;
            search(from, found);
            if (found.ssq < lowest) {
                converged = accept(from, found, lowest);
                return true;
            }
        }
        ++progress_;
        return false;
    }

    // The trial becomes the current point; lambda follows the relative
    // change of the fit index.  True when the step was negligible.
    bool accept(const std::vector<double>& trial, const Eval& e, double& lowest) {
        double moved = 0.0;
        for (std::size_t j = 0; j < n_; ++j) moved += (trial[j] - p_[j]) * (trial[j] - p_[j]);
        const double previous = cur_.relfit;
        p_ = trial;
        cur_ = e;
        lowest = std::min(lowest, e.ssq);
        m_ = m_ - 1 > rank_ ? 1 : std::max(m_ - 1, 1);
        const double c = std::fabs(previous - e.relfit) / previous;
        lambda_ = c >= tiny ? std::clamp(2.0 * (c * operators::qexp(c) + operators::sqroot(c) + 0.05), 0.01, 1.0)
                            : 0.01;
        return operators::sqroot(moved / npr_) < 1e-10;
    }

    // The scaling search from p with best the evaluation at p; the sum of
    // its last trial becomes the progress reference.
    bool search(std::vector<double>& p, Eval& best) {
        double last = 0.0;
        const bool moved = marq::search(d_, npr_, mask_, lo_, hi_, p, best, last);
        ref_ = last;
        return moved;
    }

    const Data& d_;
    int npr_;
    std::size_t n_;
    std::span<const int> mask_;
    std::vector<double> p_, lo_, hi_;
    double reference_, ref_;
    int cap_, patience_, switch_;
    int rank_;  // number of active parameters
    Step step_;
    Eval cur_;
    Matrix jac_;
    double lambda_ = 1.0;
    int m_ = 1, work_ = 0, progress_ = 0;
};

// Covariance, correlations, standard errors and confidence half-widths
// from the singular values of the extrapolated Jacobian of the active
// parameters.
void statistics(const Data& d, std::span<double> p, int npr, std::span<const int> mask, double ssq, Matrix& cov,
                Matrix& corr, std::span<double> se, std::span<double> ci) {
    const auto n = static_cast<std::size_t>(npr);
    const auto rows = static_cast<std::size_t>(std::max(d.nd, 0));
    const std::vector<std::size_t> free = active(mask);
    const std::size_t a = free.size();
    const int dof = std::max(d.nd - static_cast<int>(a), 3);

    Matrix jac;
    marq::fjac_richardson(d, p, npr, jac);
    const double variance = ssq / dof;
    Matrix packed = pack(jac, free);
    for (std::size_t k = 0; k < a; ++k)
        for (std::size_t i = 0; i < rows; ++i) {
            double& v = packed(i, k);
            v = std::isnan(v) ? 1e-15 : std::clamp(v, -1e15, 1e15);
        }
    std::vector<double> w(a);
    Matrix u, v;
    marq::svd(packed, d.nd, static_cast<int>(a), w, u, v);
    const double stretch = 1.0 + operators::sqroot(1e-15);
    double largest = 0.0;
    for (double& x : w) {
        const double t = x * stretch;
        x = t == 0.0 ? 0.0 : t * t / ((t * t + 1e-15) * (t * t + 1e-15));
        largest = std::max(largest, x);
    }
    deigen = 1e-15 * largest;
    for (double& x : w) x += std::max(deigen, 1e-15);

    cov.resize(n, n);
    corr.resize(n, n);
    for (std::size_t r = 0; r < a; ++r)
        for (std::size_t c = 0; c < a; ++c) {
            double s = 0.0;
            for (std::size_t k = 0; k < a; ++k) s += v(r, k) * w[k] * v(c, k);
            cov(free[r], free[c]) = variance * s;
        }
    const double t = distributions::t95(dof);
    for (const std::size_t j : free) {
        se[j] = std::sqrt(std::fabs(cov(j, j)));
        ci[j] = t * se[j];
    }
    for (const std::size_t r : free)
        for (const std::size_t c : free) corr(r, c) = cov(r, c) / (se[r] * se[c]);
}

}  // namespace

void marq(int nd, int nxd, int ycol, int npr, const Matrix& x, const Matrix& y, std::span<double> yfit, int nostat,
          Matrix& cov, Matrix& corr, int kind, std::span<const double> sigma, std::span<double> p,
          std::span<const double> lo, std::span<const double> hi, std::span<double> se, std::span<double> ci,
          std::span<double> shares, double reference, std::optional<int> cycles, double& ssq, int search_switch,
          int level, int& status) {
    const auto n = static_cast<std::size_t>(std::max(npr, 0));
    const std::span<const int> mask(common_data::pmask.data(), n);
    const Data d{nd, nxd, ycol, x, y, kind >= 0 && kind <= 3 ? kind : marq::kind_none, sigma};
    status = 0;
    cov.resize(n, n);
    corr.resize(n, n);
    std::fill(se.begin(), se.begin() + static_cast<std::ptrdiff_t>(n), 0.0);
    std::fill(ci.begin(), ci.begin() + static_cast<std::ptrdiff_t>(n), 0.0);
    std::fill(shares.begin(), shares.begin() + static_cast<std::ptrdiff_t>(n), 0.0);
    const auto publish = [&](const Eval& e) {
        std::copy(e.yfit.begin(), e.yfit.end(), yfit.begin());
        std::copy(e.yfit.begin(), e.yfit.end(), common_data::ydf.begin());
        ssq = e.ssq;
    };

    if (std::none_of(mask.begin(), mask.end(), [](int m) { return m != 0; })) {
        // Nothing to move: the start vector and its sum.
        Eval e;
        marq::funy(d, p, npr, e);
        publish(e);
        deigen = -1.7976931348623157e293;
        return;
    }

    std::vector<double> start(p.begin(), p.begin() + static_cast<std::ptrdiff_t>(n));
    std::vector<double> low(lo.begin(), lo.begin() + static_cast<std::ptrdiff_t>(n));
    std::vector<double> high(hi.begin(), hi.begin() + static_cast<std::ptrdiff_t>(n));
    // Exact zeros would stall relative steps: they move off zero by a hair.
    for (std::size_t j = 0; j < n; ++j) {
        if (mask[j] == 0) continue;
        if (std::fabs(start[j]) <= tiny) start[j] = with_sign(1.489966442575134e-7, start[j]);
        if (std::fabs(low[j]) <= tiny) low[j] = with_sign(tiny, low[j]);
        if (std::fabs(high[j]) <= tiny) high[j] = with_sign(tiny, high[j]);
    }
    const int patience = level == 1 || level == 2 ? 3 : level;
    Levenberg lm(d, npr, mask, std::move(start), std::move(low), std::move(high), reference, cycles.value_or(30),
                 patience, search_switch);
    lm.run();
    std::vector<double> best = lm.p();
    std::copy(best.begin(), best.end(), p.begin());
    if (nostat == 0) {
        statistics(d, best, npr, mask, lm.at().ssq, cov, corr, se, ci);
        marq::curvature(d, best, npr, shares);
    }
    publish(lm.at());
}

}  // namespace marq_mod
