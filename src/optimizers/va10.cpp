// Factorised quasi-Newton minimiser of the weighted sum of squares.

#include "optimizers/va10.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <stdexcept>
#include <string>
#include <vector>

#include "foundations/matrix.h"
#include "foundations/timeit.h"
#include "model/bounds.h"
#include "model/funct.h"
#include "model/globals.h"

namespace va10_mod {

namespace {

constexpr double floor_value = 1.49e-8;  // steps, gradients and the direction scale
constexpr double start_step = 0.00100001;
constexpr double largest_increment = 1e15;
constexpr double smallest_increment = 1e-15;

std::size_t count_of(int n) { return static_cast<std::size_t>(std::max(n, 0)); }

void require(bool ok, const char* what) {
    if (!ok) throw std::out_of_range(std::string("va10d: ") + what);
}

// L D L' factors of an n x n matrix in packed lower-triangular storage.
class Factors {
public:
    Factors(std::span<double> h, std::size_t n) : h_(h), n_(n) {}

    double& at(std::size_t i, std::size_t j) { return h_[j * n_ - j * (j - 1) / 2 + (i - j)]; }  // i >= j
    double& d(std::size_t j) { return at(j, j); }

    void identity() {
        for (std::size_t j = 0; j < n_; ++j)
            for (std::size_t i = j; i < n_; ++i) at(i, j) = i == j ? 1.0 : 0.0;
    }

    // Factorises the matrix held in place; false at a pivot that is not
    // positive.
    bool factorise() {
        for (std::size_t j = 0; j < n_; ++j) {
            double dj = at(j, j);
            for (std::size_t k = 0; k < j; ++k) dj -= at(j, k) * at(j, k) * at(k, k);
            if (!(dj > 0.0)) return false;
            at(j, j) = dj;
            for (std::size_t i = j + 1; i < n_; ++i) {
                double v = at(i, j);
                for (std::size_t k = 0; k < j; ++k) v -= at(i, k) * at(j, k) * at(k, k);
                at(i, j) = v / dj;
            }
        }
        return true;
    }

    double smallest_d() {
        double least = std::numeric_limits<double>::infinity();
        for (std::size_t j = 0; j < n_; ++j) least = std::min(least, d(j));
        return least;
    }

    // d = -(L D L')^-1 g.
    void solve(std::span<const double> g, std::span<double> dir) {
        for (std::size_t i = 0; i < n_; ++i) {
            double v = -g[i];
            for (std::size_t k = 0; k < i; ++k) v -= at(i, k) * dir[k];
            dir[i] = v;
        }
        for (std::size_t i = 0; i < n_; ++i) dir[i] /= d(i);
        for (std::size_t i = n_; i-- > 0;) {
            double v = dir[i];
            for (std::size_t k = i + 1; k < n_; ++k) v -= at(k, i) * dir[k];
            dir[i] = v;
        }
    }

    // L D L' + w z z', kept positive definite: a diagonal that would not be
    // positive takes the smallest one met so far.
    void modify(double w, std::vector<double> p) {
        double least = smallest_d();
        for (std::size_t j = 0; j < n_; ++j) {
            const double pj = p[j];
            const double t = w * pj;
            double dnew = d(j) + pj * t;
            if (!(dnew > 0.0))
                dnew = least;
            else
                least = std::min(least, dnew);
            const double beta = t / dnew;
            w -= dnew * beta * beta;
            d(j) = dnew;
            for (std::size_t r = j + 1; r < n_; ++r) {
                p[r] -= pj * at(r, j);
                at(r, j) += beta * p[r];
            }
        }
    }

private:
    std::span<double> h_;
    std::size_t n_;
};

double dot(std::span<const double> a, std::span<const double> b) {
    double sum = 0.0;
    for (std::size_t i = 0; i < a.size(); ++i) sum += a[i] * b[i];
    return sum;
}

// How a pass goes on after a step of the iteration.
enum class Flow { next, failed, pass_end };

class Minimiser {
public:
    Minimiser(int m, std::size_t n, std::span<const double> x, std::span<double> h, int maxfn, int& iexit)
        : m_(m), n_(n), maxfn_(maxfn), iexit_(iexit), factors_(h, n), x_(x.begin(), x.end()), g_(n), dir_(n),
          xs_(n), r_(std::max(count_of(m), std::size_t{1})) {
        for (std::size_t i = 0; i < n_; ++i) {
            free_.push_back(common_data::pmask[i] != 0);
            lo_.push_back(common_data::pboundlo[i]);
            hi_.push_back(common_data::pboundhi[i]);
            xs_[i] = std::fabs(x_[i]) + 1e-15;
        }
    }

    // The passes from the entry point, whose value is f_entry.
    void run(int mode, double f_entry);

    std::vector<double> best_x;
    double best_f = std::numeric_limits<double>::infinity();

private:
    bool out_of_time() const { return timeit_mod::elapsed() > globals::timemax; }

    double evaluate(std::span<const double> x) {
        double f = 0.0;
        mrtfun(m_, static_cast<int>(n_), x, r_, f);
        ++count_;
        if (f < best_f && inside(x)) {
            best_f = f;
            best_x.assign(x.begin(), x.end());
        }
        return f;
    }
    bool inside(std::span<const double> x) const {
        for (std::size_t i = 0; i < n_; ++i)
            if (free_[i] && !(x[i] >= lo_[i] && x[i] <= hi_[i])) return false;
        return true;
    }
    bool exhausted() const { return count_ >= maxfn_; }

    bool prepare(int mode, int pass);
    Flow gradient();
    void update(double alpha, std::span<const double> g_old, std::span<const double> d_old);
    Flow line_search(double& alpha, double alphamin);
    bool relocate();
    void pass(int mode, int number);

    int m_;
    std::size_t n_;
    int maxfn_;
    int& iexit_;
    Factors factors_;
    std::vector<double> x_, g_, dir_, xs_, r_, lo_, hi_;
    std::vector<bool> free_;
    double f_ = 0.0;
    double fpass_ = 0.0;  // value at the start of the pass
    double hstep_ = start_step;
    bool central_ = false;
    int count_ = 0;
};

// Factors for a pass; false when they are not positive definite.
bool Minimiser::prepare(int mode, int number) {
    if (mode == 2 && number == 1) {
        if (!factors_.factorise()) return false;
    } else if (mode != 2 && mode != 3) {
        factors_.identity();
    }
    return factors_.smallest_d() > 0.0;
}

Flow Minimiser::gradient() {
    if (out_of_time()) return Flow::pass_end;
    std::vector<double> probe = x_;
    for (std::size_t i = 0; i < n_; ++i) {
        g_[i] = 0.0;
        if (!free_[i]) continue;
        double h = xs_[i] * hstep_;
        if (std::fabs(h) < hstep_ * hstep_) h = std::copysign(hstep_ * hstep_, xs_[i]);
        if (std::fabs(h) < floor_value) h = std::copysign(floor_value, h);
        probe[i] = x_[i] + h;
        const double f_plus = evaluate(probe);
        double q = 0.0;
        if (central_) {
            probe[i] = x_[i] - h;
            q = (f_plus - evaluate(probe)) / (2.0 * h);
        } else {
            q = (f_plus - f_) / h;
        }
        probe[i] = x_[i];
        g_[i] = std::isnan(q) ? hstep_ : q == 0.0 ? floor_value : q;
    }
    if (exhausted()) {
        iexit_ = limit_reached;
        return Flow::pass_end;
    }
    return Flow::next;
}

// BFGS correction of the factors after a step alpha along d_old, written as
// two rank-one modifications.
void Minimiser::update(double alpha, std::span<const double> g_old, std::span<const double> d_old) {
    const double gd = dot(g_old, d_old);
    const double yd = dot(g_, d_old) - gd;
    if (yd <= 0.0) return;
    std::vector<double> z(n_);
    if (alpha * gd + yd > 0.0) {
        const double sigma = alpha / (yd - alpha * gd);
        for (std::size_t i = 0; i < n_; ++i) z[i] = g_[i] + (yd * sigma - 1.0) * g_old[i];
        factors_.modify(1.0 / (sigma * yd * yd), z);
        factors_.modify(-sigma, std::vector<double>(g_old.begin(), g_old.end()));
    } else {
        for (std::size_t i = 0; i < n_; ++i) z[i] = g_[i] - g_old[i];
        factors_.modify(1.0 / (alpha * yd), z);
        factors_.modify(1.0 / gd, std::vector<double>(g_old.begin(), g_old.end()));
    }
}

// From x_ along dir_: extrapolates while the value falls, interpolates when
// the first trial does not lower it.  alpha: the first trial step in, the
// accepted step out; a step that must shrink below alphamin fails.
Flow Minimiser::line_search(double& alpha, double alphamin) {
    if (out_of_time()) return Flow::pass_end;
    const double fstart = f_;
    const double gnorm = std::sqrt(dot(g_, g_));
    const double factor = gnorm > 1000.0 ? 1000.0 : gnorm > 100.0 ? 100.0 : gnorm > 2.0 ? gnorm : 2.0;
    std::vector<double> trial(n_);
    const auto at = [&](const std::vector<double>& from, double step) {
        for (std::size_t i = 0; i < n_; ++i) trial[i] = from[i] + step * dir_[i];
        return evaluate(trial);
    };
    for (;;) {
        if (exhausted()) {
            iexit_ = limit_reached;
            return Flow::pass_end;
        }
        const double first = at(x_, alpha);
        if (first < f_) {
            x_ = trial;
            f_ = first;
            // Further steps along d: the first as long as the trial step,
            // each next one longer by the gradient-dependent factor.
            for (double increment = alpha;; increment *= factor) {
                if (increment > largest_increment) {
                    iexit_ = limit_reached;
                    return Flow::pass_end;
                }
                if (increment < smallest_increment) return Flow::failed;
                if (exhausted()) {
                    iexit_ = limit_reached;
                    return Flow::pass_end;
                }
                const double fnew = at(x_, increment);
                if (!(fnew < f_)) return Flow::next;
                const bool last = fstart + fnew >= 2.0 * f_ && 7.0 * fnew + 5.0 * fstart > 12.0 * f_;
                x_ = trial;
                f_ = fnew;
                alpha += increment;
                if (last) return Flow::next;
            }
        }
        if (alpha < alphamin) return Flow::failed;
        if (exhausted()) {
            iexit_ = limit_reached;
            return Flow::pass_end;
        }
        alpha /= 2.0;
        const double half = at(x_, alpha);
        if (half < f_) {
            x_ = trial;
            f_ = half;
            return Flow::next;
        }
        const double t = first + f_ > 2.0 * half ? std::max(1.0 + ((f_ - first) / 2.0) / (first + f_ - 2.0 * half), 0.1)
                                                 : 0.1;
        alpha *= t;
    }
}

// A point on or beyond a bound is moved inside; returns whether x moved.
bool Minimiser::relocate() {
    bool outside = false;
    for (std::size_t i = 0; i < n_; ++i)
        if (free_[i] && (x_[i] <= lo_[i] || x_[i] >= hi_[i])) outside = true;
    if (!outside) return false;
    std::vector<int> mask(n_);
    for (std::size_t i = 0; i < n_; ++i) mask[i] = free_[i] ? 1 : 0;
    int status = 0;
    check_parameter_bounds::tanh_bounds5(x_, static_cast<int>(n_), lo_, hi_, mask, f_, status);
    return true;
}

void Minimiser::pass(int mode, int number) {
    if (out_of_time()) return;
    iexit_ = 0;
    if (!prepare(mode, number)) return;
    count_ = 0;
    central_ = false;
    relocate();  // a point left outside by the previous pass or the caller
    f_ = evaluate(x_);
    fpass_ = f_;
    double df = 0.5;
    bool first_iteration = true;
    std::vector<double> g_old(n_), d_old(n_);
    double alpha_old = 0.0;
    for (;;) {
        if (gradient() == Flow::pass_end) return;
        if (!first_iteration) {
            if (out_of_time()) return;
            update(alpha_old, g_old, d_old);
        }
        factors_.solve(g_, dir_);
        for (std::size_t i = 0; i < n_; ++i)
            if (!free_[i]) dir_[i] = 0.0;
        const double slope = dot(g_, dir_);
        double scale = 0.0;
        for (std::size_t i = 0; i < n_; ++i) scale = std::max(scale, std::fabs(dir_[i] / xs_[i]));
        const double alphamin = floor_value / std::max(scale, floor_value);
        iexit_ = no_descent;
        Flow flow = Flow::failed;
        double alpha = 0.0;
        const double f_before = f_;
        if (slope < 0.0) {
            alpha = std::min(-2.0 * df / slope, 1.0);
            if (!(alpha > 0.0)) alpha = 1.0;  // no decrease last time: a full step
            iexit_ = converged;
            if (exhausted()) {
                iexit_ = limit_reached;
                return;
            }
            flow = line_search(alpha, alphamin);
            if (flow == Flow::pass_end) return;
            if (flow == Flow::next) {
                if (relocate()) f_ = evaluate(x_);
                if (alpha < alphamin) flow = Flow::failed;
            }
        }
        if (flow == Flow::failed) {
            if (central_) return;
            central_ = true;
            continue;
        }
        df = f_before - f_;
        g_old = g_;
        d_old = dir_;
        alpha_old = alpha;
        first_iteration = false;
    }
}

void Minimiser::run(int mode, double f_entry) {
    f_ = f_entry;
    double accumulated = 0.0;
    for (int number = 1; number <= 3; ++number) {
        fpass_ = f_;
        pass(mode, number);
        if (number == 3) {
            if (!(iexit_ == converged && count_ < maxfn_)) iexit_ = not_converged;
            return;
        }
        accumulated += std::fabs(fpass_ - f_);
        if (std::fabs(1.0 - f_ / fpass_) <= floor_value) {
            if (accumulated > 0.0) iexit_ = converged;
            if (maxfn_ < 1) iexit_ = not_converged;
            return;
        }
        // The next pass with a finer difference step from a slightly
        // moved point.
        hstep_ /= 2.0;
        for (std::size_t i = 0; i < n_; ++i) {
            if (free_[i]) x_[i] += 1e-15;
            xs_[i] = x_[i] + std::copysign(1e-15, x_[i]);
        }
    }
}

}  // namespace

void va10d(int m, int n, std::span<double> x, double& f, std::span<double> h, int mode, int maxfn, int& iexit) {
    require(n >= 0 && n <= common_data::param_slots, "more parameters than slots");
    require(m >= 0 && m <= common_data::max_rows, "more rows than the fit data hold");
    const std::size_t params = count_of(n);
    require(x.size() >= params && h.size() >= params * (params + 1) / 2, "vector shorter than its count");
    iexit = 0;
    Minimiser minimiser(m, params, x.first(params), h, maxfn, iexit);
    minimiser.run(mode, f);
    if (minimiser.best_f < f) {
        std::copy(minimiser.best_x.begin(), minimiser.best_x.end(), x.begin());
        f = minimiser.best_f;
    }
}

void mrtfun(int m, int n, std::span<const double> p, std::span<double> r, double& f) {
    using namespace common_data;
    require(n >= 0 && n <= param_slots, "more parameters than slots");
    require(m >= 0 && m <= max_rows, "more rows than the fit data hold");
    const std::size_t rows = count_of(m);
    thread_local kalvor::Matrix x;
    thread_local std::vector<double> yfit;
    const RowArray* columns[] = {&xd, &xd2, &xd3};
    const int nx = nxd == 1 ? 1 : nxd == 2 ? 2 : 3;
    x.resize(rows, static_cast<std::size_t>(nx));
    for (std::size_t j = 0; j < x.cols(); ++j) std::copy_n(columns[j]->begin(), rows, x.column(j));
    for (std::size_t i = 0; i < rows; ++i)
        if (ysig[i] == 0.0) ysig[i] = 1.0;
    yfit.assign(std::max(rows, std::size_t{1}), 0.0);
    const int mode = ndwt;
    funct::fun(x, yd, p, n, nx, m, mode, yfit, ysig, f);
    ndwt = mode;
    std::copy_n(p.begin(), count_of(n), pfinal.begin());
    std::copy_n(yfit.begin(), rows, ydf.begin());
    for (std::size_t i = 0; i < rows; ++i) r[i] = yd[i] - yfit[i];
}

}  // namespace va10_mod
