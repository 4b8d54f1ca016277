#include "optimizers/mrt_a23.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <iostream>
#include <stdexcept>
#include <vector>

#include "foundations/fortran_io.h"
#include "foundations/matrix.h"
#include "foundations/random.h"
#include "foundations/runtime.h"
#include "foundations/timeit.h"
#include "model/funct.h"
#include "model/globals.h"

namespace mrt_a23_mod {

namespace {

using Vector = std::vector<double>;

constexpr double eps_single = 1.1920928955078125e-07;  // single-precision machine epsilon
constexpr double lambda_max = 3.4028234663852886e38;
constexpr double entry_limit = 4.503599727262001e19;
constexpr double diagonal_floor = 2.2204460492503132e-20;
constexpr int least_cap = 100;

// Richardson-extrapolated central differences of the iterations.
constexpr double first_step = 0.01;
constexpr double step_offset = 1.001e-6;
constexpr double shrink = 1.9900000095367432;  // 1.99 in single precision
constexpr double shrink_squared = 3.960100037956238;
constexpr double flat = 1.6e-15;
constexpr double stop_absolute = 3.184000015258789e-15;
constexpr double start_error = 6.25e14;
constexpr double small_gradient = 4e-8;
constexpr double largest = 1.7976931348623158e307;

// Random polishing.
constexpr int table_size = 60;
constexpr int stages = 5;
constexpr int sweeps = 10;
constexpr int attempts = 60;
constexpr int accepted_limit = 2000;

std::size_t count_of(int n) { return static_cast<std::size_t>(std::max(n, 0)); }

double clamp_entry(double v) {
    if (std::isnan(v)) return v;
    return std::clamp(v, -entry_limit, entry_limit);
}

// |f1 - f2| / (f1 + f2), 0 for two zero sums.
double relative_change(double f1, double f2) { return f1 + f2 > 0.0 ? std::fabs(f1 - f2) / (f1 + f2) : 0.0; }

// Solves the symmetric system a x = b in packed lower storage (row i holds
// its entries 0..i) by Cholesky factorisation; a is overwritten.  False for
// a pivot that is not positive and finite.
bool cholesky_solve(Vector& a, Vector& b) {
    const std::size_t n = b.size();
    const auto at = [](std::size_t i, std::size_t j) { return i * (i + 1) / 2 + j; };
    for (std::size_t i = 0; i < n; ++i)
        for (std::size_t j = 0; j <= i; ++j) {
            double s = a[at(i, j)];
            for (std::size_t k = 0; k < j; ++k) s -= a[at(i, k)] * a[at(j, k)];
            if (i == j) {
                if (!(s > 0.0) || !std::isfinite(s)) return false;
                a[at(i, i)] = std::sqrt(s);
            } else {
                a[at(i, j)] = s / a[at(j, j)];
            }
        }
    for (std::size_t i = 0; i < n; ++i) {
        for (std::size_t k = 0; k < i; ++k) b[i] -= a[at(i, k)] * b[k];
        b[i] /= a[at(i, i)];
    }
    for (std::size_t i = n; i-- > 0;) {
        for (std::size_t k = i + 1; k < n; ++k) b[i] -= a[at(k, i)] * b[k];
        b[i] /= a[at(i, i)];
    }
    return std::all_of(b.begin(), b.end(), [](double v) { return std::isfinite(v); });
}

// A table position 1..59 from the simple generator's integer draws.
int table_position() {
    long long k = std::llabs(static_cast<long long>(runtime::simple_uniform() * 2147483647.0));
    while (k > table_size - 1) k /= 20;
    return static_cast<int>(std::max(k, 1LL));
}

class Solver {
public:
    Solver(int n, std::span<double> p, int m, int iprint)
        : n_(n), np_(count_of(n)), rows_(std::min(count_of(m), count_of(common_data::nd))), p_(p), iprint_(iprint) {
        if (np_ > common_data::param_slots || p.size() < np_)
            throw std::out_of_range("a23mrt: parameter count larger than its vectors");
        for (std::size_t i = 0; i < np_; ++i)
            if (common_data::pmask[i] != 0) active_.push_back(i);
        r_.resize(rows_);
    }

    // f at x; e = the weighted residuals of that evaluation.
    double evaluate(std::span<const double> x, Vector& e) {
        double f = 0.0;
        mrtfun(n_, x, r_, f);
        e.resize(rows_);
        for (std::size_t i = 0; i < rows_; ++i) e[i] = r_[i] / common_data::ysig[i];
        return f;
    }
    double evaluate(std::span<const double> x) {
        Vector unused;
        return evaluate(x, unused);
    }

    // The damped iterations; returns the evaluation count.
    int iterate(double step, int cap, double f0) {
        best_ = f0;
        int count = 1;
        double lambda = std::max(eps_single, step);
        const std::size_t na = active_.size();
        kalvor::Matrix jac(rows_, na);
        Vector g(na), normal(na * (na + 1) / 2), prev_p, prev_e, trial(p_.begin(), p_.begin() + np_), trial_e;
        for (int itn = 1;; ++itn) {
            if (out_of_time()) return count;
            lambda *= 0.4;
            if (iprint_ > 0)
                std::cout << fortran_io::write("(6H ITN #,I4, 8H EVALN *,I4,13H  SUMSQUARES=,1PE16.8)",
                                               {itn, count, best_})
                          << '\n';
            if (itn % 2 == 1)
                extrapolated_gradient(g, jac);
            else
                broyden(jac, g, prev_p, prev_e);
            prev_p.assign(p_.begin(), p_.begin() + np_);
            prev_e = best_e_;
            form_normal(jac, normal);

            for (;;) {
                Vector a = normal, d(na);
                for (std::size_t j = 0; j < na; ++j) {
                    a[j * (j + 1) / 2 + j] = (1.0 + lambda) * normal[j * (j + 1) / 2 + j] + lambda * diagonal_floor;
                    d[j] = -g[j];
                }
                const bool solved = cholesky_solve(a, d);
                if (solved) {
                    int unchanged = static_cast<int>(np_ - na);
                    for (std::size_t j = 0; j < na; ++j) {
                        const std::size_t i = active_[j];
                        const double x = clamp_entry(p_[i] + d[j]);
                        trial[i] = std::max(common_data::pboundlo[i], std::min(common_data::pboundhi[i], x));
                        if (trial[i] == p_[i]) ++unchanged;
                    }
                    if (unchanged == n_ && itn >= n_) return count;
                }
                if (out_of_time() || ++count > cap) return count;
                if (solved) {
                    const double f = evaluate(trial, trial_e);
                    if (f < best_) {
                        std::copy(trial.begin(), trial.end(), p_.begin());
                        best_ = f;
                        best_e_ = trial_e;
                        break;
                    }
                }
                lambda = std::min(std::max(2.5 * lambda, eps_single), lambda_max);
            }
        }
    }

    // The random polishing phase from the current point.
    void polish() {
        const std::size_t n = np_;
        Vector xc(p_.begin(), p_.begin() + n), xv = xc, width(n), factor(n, 5.0);
        std::vector<int> accepted(n, 0), rejected(n, 0);
        double fc = best_, fv = best_;
        std::array<double, table_size> table{};
        for (double& u : table) randomize::random_uni_r(u, 0.05, 0.95);
        for (std::size_t i = 0; i < n; ++i) width[i] = 0.5 * xv[i];

        const auto lo = [](std::size_t i) { return common_data::pboundlo[i]; };
        const auto hi = [](std::size_t i) { return common_data::pboundhi[i]; };
        // One move of parameter i by +-delta: kept when it lowers fc.
        const auto move = [&](std::size_t i, double delta, double u2) {
            const double centre = xc[i];
            for (const double sign : {1.0, -1.0}) {
                double v = centre + sign * delta;
                if (!(v >= lo(i) && v <= hi(i))) v = 0.5 * (lo(i) + hi(i)) + std::fabs(u2) * 0.5 * (hi(i) - lo(i));
                xc[i] = v;
                const double f = evaluate(xc);
                if (f < fc) {
                    fc = f;
                    ++accepted[i];
                    return true;
                }
            }
            xc[i] = centre;
            ++rejected[i];
            return false;
        };

        double temperature = 0.5;
        int accepted_total = 0;
        for (int stage = 1; stage <= stages; ++stage) {
            temperature /= 5.0;
            const double stage_start = fv;
            double inner = 1.0;
            for (int sweep = 1; sweep <= sweeps && accepted_total < accepted_limit; ++sweep) {
                for (int pass = 1; pass <= 10 * n_; ++pass)
                    for (int slot = 1; slot <= n_; ++slot)
                        for (int attempt = 0; attempt < attempts; ++attempt) {
                            const int k = table_position();
                            const double u = table[static_cast<std::size_t>(k - 1)];
                            const double u2 = table[static_cast<std::size_t>(k)];
                            int chosen = static_cast<int>(std::fabs(u + 1e-6) * n_ + 1.2 + 1e-6);
                            if (chosen > n_) chosen = pass % 2 == 1 ? 1 : n_;
                            const auto i = static_cast<std::size_t>(chosen - 1);
                            if (common_data::pmask[i] == 0) continue;  // draw again
                            const double delta = slot == chosen ? (2.0 * std::fabs(u2) - 1.0) * width[i]
                                                                : xc[i] * (-2.0 + 4.0 * u) * temperature * inner;
                            if (move(i, delta, u2)) ++accepted_total;
                            break;
                        }
                const double change = relative_change(fc, fv);
                if (fc < fv) {
                    xv = xc;
                    fv = fc;
                } else {
                    xc = xv;
                    fc = fv;
                }
                if (stage >= 2 && change < 1e-6) break;
                inner *= 0.5;
            }
            if (stage >= 3 && relative_change(stage_start, fv) < 1e-7) break;
            if (temperature <= 1e-5) temperature = 0.1;
            for (std::size_t i = 0; i < n; ++i) {
                const double rho = accepted[i] / (accepted[i] + 1.0 + rejected[i]);
                if (rho > 0.6) width[i] *= 1.0 + factor[i] * (rho - 0.6) / 0.4;
                if (rho < 0.4) width[i] /= 1.0 + factor[i] * (0.4 - rho) / 0.4;
                width[i] = std::min(width[i], hi(i) - lo(i));
                accepted[i] = rejected[i] = 0;
            }
        }
        if (fv < best_) {
            std::copy(xv.begin(), xv.end(), p_.begin());
            best_ = fv;
        }
    }

    double start(Vector& e) { return evaluate(p_.first(np_), e); }
    void set_start_residuals(Vector e) { best_e_ = std::move(e); }
    double best() const { return best_; }
    bool has_free_parameters() const { return !active_.empty(); }

private:
    bool out_of_time() const { return timeit_mod::elapsed() > globals::timemax; }

    // g over the active parameters by Ridders' extrapolation of central
    // differences; column j of jac from the residuals of the first probe pair.
    void extrapolated_gradient(Vector& g, kalvor::Matrix& jac) {
        Vector x(p_.begin(), p_.begin() + np_), e_plus, e_minus;
        for (std::size_t j = 0; j < active_.size(); ++j) {
            const std::size_t i = active_[j];
            const double c = x[i];
            double h = first_step * (std::fabs(c) + step_offset);
            const auto probe = [&](double at, Vector& e) {
                x[i] = at;
                return evaluate(x, e);
            };
            const double f_plus = probe(c + h, e_plus);
            const double f_minus = probe(c - h, e_minus);
            for (std::size_t r = 0; r < rows_; ++r) jac(r, j) = (e_plus[r] - e_minus[r]) / (2.0 * h);
            const double diff = std::fabs(f_plus - f_minus) < flat ? (best_ + h) - f_minus : f_plus - f_minus;

            std::array<std::array<double, 10>, 10> a{};  // a[level][step]
            a[0][0] = diff / (2.0 * h);
            double gi = a[0][0], err = start_error;
            for (std::size_t k = 1; k < 10; ++k) {
                h /= shrink;
                if (h == 0.0) h = step_offset;
                const double fp = probe(c + h, e_plus);
                const double fm = probe(c - h, e_minus);
                a[0][k] = (fp - fm) / (2.0 * h);
                double fac = shrink_squared;
                for (std::size_t l = 1; l <= k; ++l) {
                    a[l][k] = (a[l - 1][k] * fac - a[l - 1][k - 1]) / (fac - 1.0);
                    fac *= shrink_squared;
                    const double errt = std::max(std::fabs(a[l][k] - a[l - 1][k - 1]), std::fabs(a[l][k] - a[l - 1][k]));
                    if (errt <= err) {
                        err = errt;
                        gi = a[l][k];
                    }
                }
                const double change = std::fabs(a[k][k] - a[k - 1][k - 1]);
                if (change >= shrink * err || change < stop_absolute) break;
            }
            if (std::isnan(gi))
                gi = step_offset;
            else if (std::fabs(gi) < small_gradient)
                gi = std::copysign(step_offset, gi);
            else
                gi = std::clamp(gi, -largest, largest);
            g[j] = gi;
            x[i] = c;
        }
    }

    // jac += (de - jac h) h' / |h|^2 for the step h from prev_p to p (zero
    // entries replaced by the single-precision epsilon) and the change de of
    // the weighted residuals (unchanged rows nudged by the same epsilon);
    // then g = 2 jac' e at p.
    void broyden(kalvor::Matrix& jac, Vector& g, const Vector& prev_p, const Vector& prev_e) {
        const std::size_t na = active_.size();
        Vector h(na);
        double hh = 0.0;
        for (std::size_t j = 0; j < na; ++j) {
            const std::size_t i = active_[j];
            h[j] = p_[i] - prev_p[i];
            if (h[j] == 0.0) h[j] = eps_single;
            hh += h[j] * h[j];
        }
        for (std::size_t r = 0; r < rows_; ++r) {
            double de = best_e_[r] - prev_e[r];
            if (de == 0.0) de = eps_single;
            double jh = 0.0;
            for (std::size_t j = 0; j < na; ++j) jh += jac(r, j) * h[j];
            const double scale = (de - jh) / hh;
            for (std::size_t j = 0; j < na; ++j) jac(r, j) += scale * h[j];
        }
        for (std::size_t j = 0; j < na; ++j) {
            double s = 0.0;
            for (std::size_t r = 0; r < rows_; ++r) s += jac(r, j) * best_e_[r];
            g[j] = 2.0 * s;
        }
    }

    // normal = 2 jac'jac in packed lower storage, entries clamped, diagonal
    // at least the floor.
    void form_normal(const kalvor::Matrix& jac, Vector& normal) const {
        const std::size_t na = active_.size();
        for (std::size_t j = 0; j < na; ++j)
            for (std::size_t l = 0; l <= j; ++l) {
                double s = 0.0;
                for (std::size_t r = 0; r < rows_; ++r) s += jac(r, j) * jac(r, l);
                double v = clamp_entry(2.0 * s);
                if (l == j) v = std::max(v, diagonal_floor);
                normal[j * (j + 1) / 2 + l] = v;
            }
    }

    const int n_;
    const std::size_t np_;
    const std::size_t rows_;
    std::span<double> p_;
    const int iprint_;
    std::vector<std::size_t> active_;
    Vector r_;       // residuals of the last evaluation
    Vector best_e_;  // weighted residuals at p
    double best_ = 0.0;
};

}  // namespace

void mrtfun(int n, std::span<const double> p, std::span<double> r, double& f) {
    using namespace common_data;
    const std::size_t rows = count_of(nd);
    const std::size_t columns = static_cast<std::size_t>(std::clamp(nxd, 1, max_x));
    const std::array<const RowArray*, 3> source = {&xd, &xd2, &xd3};
    kalvor::Matrix table(rows, columns);
    for (std::size_t j = 0; j < columns; ++j)
        for (std::size_t i = 0; i < rows; ++i) table(i, j) = (*source[j])[i];
    const Vector y(yd.begin(), yd.begin() + static_cast<std::ptrdiff_t>(rows));
    Vector yc(ydf.begin(), ydf.begin() + static_cast<std::ptrdiff_t>(rows));
    const Vector sig(ysig.begin(), ysig.begin() + static_cast<std::ptrdiff_t>(rows));
    const int mode = ndwt;
    double value = 0.0;
    funct::fun(table, y, p, n, nxd, nd, mode, yc, sig, value);
    // funct::fun left the weights of this evaluation in common_data::ysig.
    f = 0.0;
    for (std::size_t i = 0; i < std::min(rows, r.size()); ++i) {
        r[i] = y[i] - yc[i];
        const double e = r[i] / ysig[i];
        f += e * e;
    }
}

void a23mrt(int n, std::span<double> p, int m, double step, double& ssq, int& maxfn, int iprint, int mode) {
    Solver solver(n, p, m, iprint);
    const int cap = std::max(least_cap, maxfn);
    const std::vector<double> entry(p.begin(), p.begin() + static_cast<std::ptrdiff_t>(count_of(n)));
    std::vector<double> e;
    const double f0 = solver.start(e);
    solver.set_start_residuals(std::move(e));
    maxfn = 1;
    if (solver.has_free_parameters()) {
        maxfn = solver.iterate(step, cap, f0);
        if (mode != 0) solver.polish();
    }
    if (!(solver.best() < f0)) std::copy(entry.begin(), entry.end(), p.begin());
    ssq = solver.evaluate(p.first(count_of(n)));
}

}  // namespace mrt_a23_mod
