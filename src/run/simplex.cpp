#include "run/simplex.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <vector>

#include "foundations/runtime.h"
#include "model/funct.h"
#include "model/globals.h"

namespace {

using Point = std::vector<double>;

std::size_t count_of(int n) { return static_cast<std::size_t>(std::max(n, 0)); }

// v clamped into [lo, hi]; a NaN goes to lo.
double clamp_into(double v, double lo, double hi) { return std::isnan(v) ? lo : std::max(lo, std::min(hi, v)); }

// First index of the least (or greatest) value; ties keep the earlier one.
std::size_t first_least(const std::vector<double>& y) {
    std::size_t b = 0;
    for (std::size_t i = 1; i < y.size(); ++i)
        if (y[i] < y[b]) b = i;
    return b;
}
std::size_t first_greatest(const std::vector<double>& y) {
    std::size_t b = 0;
    for (std::size_t i = 1; i < y.size(); ++i)
        if (y[i] > y[b]) b = i;
    return b;
}

// Centroid of every vertex but `skip`.
Point centroid(const std::vector<Point>& s, std::size_t skip, std::size_t n) {
    Point m(n, 0.0);
    for (std::size_t i = 0; i < s.size(); ++i)
        if (i != skip)
            for (std::size_t j = 0; j < n; ++j) m[j] += s[i][j];
    for (double& v : m) v /= static_cast<double>(n);
    return m;
}

// The absolute regular simplex of order n.
kalvor::Matrix absolute_coord(int n) {
    kalvor::Matrix c;
    simplex_proc::simplex_coord(n, c);
    for (std::size_t j = 0; j < c.cols(); ++j)
        for (std::size_t i = 0; i < c.rows(); ++i) c(i, j) = std::fabs(c(i, j));
    return c;
}

// The bounded, adaptive simplex of simplex_robust over one call.
class RobustSimplex {
public:
    RobustSimplex(const Point& p0, int n) : p0_(p0), n_(count_of(n)), np_(n), lo_(n_), hi_(n_) {
        for (std::size_t j = 0; j < n_; ++j) {
            lo_[j] = common_data::pboundlo[j];
            hi_[j] = common_data::pboundhi[j];
            // A held parameter is pinned at its start value in every vertex,
            // so that the value found belongs to the vector handed back.
            if (common_data::pmask[j] == 0) lo_[j] = hi_[j] = p0[j];
        }
    }

    int run(int maxit) {
        start();
        for (int it = 1; it <= maxit; ++it)
            if (iterate(it)) return 1;
        return 0;
    }

    // The lowest vertex and its value.
    const Point& best() const { return s_[first_least(y_)]; }
    double best_value() const { return y_[first_least(y_)]; }

private:
    enum class Next { test, step, adapt };

    double eval(const Point& x) const {
        double f = 0.0;
        simplex_robust::smplexfun(x, np_, f);
        return f;
    }
    void clamp(Point& x) const {
        for (std::size_t j = 0; j < n_; ++j) x[j] = clamp_into(x[j], lo_[j], hi_[j]);
    }
    // Noise of 5% of the start value on every coordinate of vertex v but `except`.
    void add_noise(Point& v, std::size_t except) const {
        for (std::size_t j = 0; j < n_; ++j)
            if (j != except) v[j] += 0.05 * std::fabs(p0_[j]) * (runtime::random_number() - 0.5);
    }
    void evaluate_all() {
        for (std::size_t i = 0; i < s_.size(); ++i) {
            clamp(s_[i]);
            y_[i] = eval(s_[i]);
        }
    }

    void start() {
        const kalvor::Matrix c = absolute_coord(np_);
        s_.assign(n_ + 1, p0_);
        y_.assign(n_ + 1, 0.0);
        for (std::size_t i = 0; i < n_; ++i)
            for (std::size_t j = 0; j < n_; ++j) {
                const double step = 0.1 * std::fabs(p0_[j]);
                double& v = s_[i + 1][j];
                v = p0_[j] + c(i, j) * c(i, j) * step;
                if (v == p0_[j]) v = p0_[j] + step;
            }
        for (std::size_t i = 0; i < n_; ++i) add_noise(s_[i + 1], i);
        evaluate_all();
    }

    void restart() {
        s_.assign(n_ + 1, p0_);
        for (std::size_t k = 0; k < n_; ++k) {
            double d = 0.2 * std::fabs(p0_[k]);
            if (d < 0.01) {
                const double width = 0.1 * (hi_[k] - lo_[k]);
                d = width >= 0.01 ? width : 1.0;
            }
            d *= runtime::random_number() + 0.5;
            Point& v = s_[k + 1];
            v[k] = k % 2 == 0 ? p0_[k] + d : p0_[k] - d;  // vertex number k + 2 even: up
            add_noise(v, k);
        }
        evaluate_all();
        c2_ = std::max(c2_ - 20, 0);
    }

    void replace(std::size_t i, const Point& x, double f) {
        s_[i] = x;
        y_[i] = f;
    }

    // Every vertex but ilo moved toward it by the factor k, where that helps.
    void shrink(std::size_t ilo, double k) {
        for (std::size_t i = 0; i < s_.size(); ++i) {
            if (i == ilo) continue;
            Point t(n_);
            for (std::size_t j = 0; j < n_; ++j) t[j] = s_[ilo][j] + k * (s_[i][j] - s_[ilo][j]);
            clamp(t);
            const double f = eval(t);
            if (f < y_[i]) replace(i, t, f);
        }
    }

    Point along(const Point& from, const Point& to, double k) const {
        Point t(n_);
        for (std::size_t j = 0; j < n_; ++j) t[j] = from[j] + k * (to[j] - from[j]);
        clamp(t);
        return t;
    }

    void nelder_mead(std::size_t ilo, std::size_t ihi, double ylo, double yhi, double ynh) {
        const Point m = centroid(s_, ihi, n_);
        const Point r = along(m, s_[ihi], -alpha_);
        const double yr = eval(r);
        if (yr < ylo) {
            const Point e = along(m, r, gamma_);
            const double ye = eval(e);
            if (ye < yr)
                replace(ihi, e, ye);
            else
                replace(ihi, r, yr);
        } else if (yr < ynh) {
            replace(ihi, r, yr);
        } else {
            const Point c = yr >= yhi ? along(m, s_[ihi], beta_) : along(m, r, beta_);
            const double yc = eval(c);
            if (yc < std::min(yhi, yr))
                replace(ihi, c, yc);
            else
                shrink(ilo, delta_);
        }
    }

    // One iteration; true when a convergence rule stops the search.
    bool iterate(int it) {
        const std::size_t ilo = first_least(y_);
        const std::size_t ihi = first_greatest(y_);
        const double ylo = y_[ilo];
        const double yhi = y_[ihi];
        double ynh = y_[0];
        for (std::size_t i = 0; i < y_.size(); ++i)
            if (i != ihi && y_[i] > ynh) ynh = y_[i];
        const double ratio = std::fabs(yhi / std::max(std::fabs(ylo), 1e-10) - 1.0);
        double size = 0.0;
        for (const Point& v : s_) {
            double d2 = 0.0;
            for (std::size_t j = 0; j < n_; ++j) d2 += (v[j] - s_[ilo][j]) * (v[j] - s_[ilo][j]);
            size = std::max(size, std::sqrt(d2));
        }
        const double d = std::fabs(ylo - fprev_);
        fprev_ = ylo;

        Next next = Next::test;
        if (d >= tol_) {
            tol_ = std::max(0.95 * tol_, 1e-7);
            c1_ = 0;
            c2_ = 0;
        } else {
            ++c1_;
            ++c2_;
            if (c1_ >= 50 && it >= 300) {
                if (ylo < 1e6) return true;
                next = Next::adapt;
            } else if (c2_ >= 100 && it >= 200) {
                if (ylo < 1e6) return true;
                next = Next::step;
            }
        }
        if (next == Next::test) {
            const bool flat = std::fabs(yhi - ylo) < 1e-8 || ratio < 1e-7 || size < 1e-4;
            if (ylo < 1e-6 || (flat && ylo < 1.0 && it >= 100)) return true;
            next = Next::step;
        }
        if (next == Next::step) {
            if (c1_ > 15) {
                next = Next::adapt;
            } else if (d > 2.0 * tol_) {
                alpha_ = 1.0;
                gamma_ = 1.75;
                beta_ = 0.6;
                delta_ = 0.6;
            }
        }
        if (next == Next::adapt) {
            beta_ = std::max(0.95 * beta_, 0.3);
            delta_ = std::max(0.9 * delta_, 0.3);
            gamma_ = std::min(1.1 * gamma_, 3.0);
            alpha_ = std::min(1.15 * alpha_, 1.5);
            c1_ -= 10;
            shrink(ilo, 0.7);
        }
        nelder_mead(ilo, ihi, ylo, yhi, ynh);

        if (it >= 300 && it % 100 == 0) {
            double spread = 0.0;
            for (const Point& v : s_)
                for (std::size_t j = 0; j < n_; ++j) spread = std::max(spread, std::fabs(v[j] - s_[ilo][j]));
            if (spread < 1e-8 && ylo > 10.0)
                restart();
            else if (ratio < 5e-7 && c2_ <= 29)
                shrink(ilo, 0.85);
        }
        return false;
    }

    const Point p0_;
    const std::size_t n_;
    const int np_;
    Point lo_, hi_;
    std::vector<Point> s_;
    std::vector<double> y_;
    double alpha_ = 1.0, gamma_ = 1.75, beta_ = 0.6, delta_ = 0.6;
    double tol_ = 1e-6;
    double fprev_ = 1e20;
    int c1_ = 0, c2_ = 0;
};

}  // namespace

namespace simplex_robust {

void smplexfun(std::span<const double> x, int n, double& f) {
    using namespace common_data;
    const std::size_t rows = count_of(nd);
    const std::size_t columns = nxd == 1 ? 1 : (nxd == 2 ? 2 : 3);
    const std::array<const RowArray*, 3> source = {&xd, &xd2, &xd3};
    // Copies of the shared data, reused from call to call.
    thread_local kalvor::Matrix table;
    thread_local std::vector<double> y, yc, s;
    table.resize(rows, columns);
    for (std::size_t j = 0; j < columns; ++j)
        for (std::size_t i = 0; i < rows; ++i) table(i, j) = (*source[j])[i];
    y.assign(yd.begin(), yd.begin() + static_cast<std::ptrdiff_t>(rows));
    yc.assign(ydf.begin(), ydf.begin() + static_cast<std::ptrdiff_t>(rows));
    s.assign(ysig.begin(), ysig.begin() + static_cast<std::ptrdiff_t>(rows));
    double value = 0.0;
    funct::fun(table, y, x, n, nxd, nd, ndwt, yc, s, value);
    // The weights that funct::fun used are left in common_data::ysig.
    f = 0.0;
    for (std::size_t i = 0; i < rows; ++i) {
        const double r = (y[i] - yc[i]) / ysig[i];
        f += r * r;
    }
}

void simplex_robust(std::span<const double> p0, std::span<double> p, int n, double fref, double& fmin, int maxit,
                    int& status) {
    const Point start(p0.begin(), p0.begin() + static_cast<std::ptrdiff_t>(count_of(n)));
    RobustSimplex search(start, n);
    status = search.run(maxit);
    Point result = start;
    if (search.best_value() <= fref) {
        const Point& b = search.best();
        for (std::size_t j = 0; j < start.size(); ++j)
            if (common_data::pmask[j] != 0) result[j] = b[j];
        fmin = search.best_value();
    } else {
        fmin = fref;
    }
    std::copy(result.begin(), result.end(), p.begin());
}

}  // namespace simplex_robust

namespace simplex_proc {

void simplex_coord(int n, kalvor::Matrix& c) {
    const std::size_t m = count_of(n);
    c.resize(m, m + 1, 0.0);
    if (m == 0) return;
    for (std::size_t i = 0; i < m; ++i) {
        c(i, i) = 1.0;
        c(i, m) = (1.0 - std::sqrt(static_cast<double>(n + 1))) / n;
    }
    for (std::size_t i = 0; i < m; ++i) {
        double mean = 0.0;
        for (std::size_t j = 0; j <= m; ++j) mean += c(i, j);
        mean /= static_cast<double>(m + 1);
        for (std::size_t j = 0; j <= m; ++j) c(i, j) -= mean;
    }
    double length = 0.0;
    for (std::size_t i = 0; i < m; ++i) length += c(i, 0) * c(i, 0);
    length = std::sqrt(length);
    for (std::size_t j = 0; j <= m; ++j)
        for (std::size_t i = 0; i < m; ++i) c(i, j) /= length;
}

namespace {

constexpr double flat_values = 2.107342425544702e-11;

// The plain simplex over the active parameters of p.
class PlainSimplex {
public:
    PlainSimplex(std::span<const double> p, int n) : base_(p.begin(), p.begin() + static_cast<std::ptrdiff_t>(count_of(n))), np_(n) {}

    double eval(const Point& v) const {
        Point e = base_;
        for (std::size_t j = 0; j < e.size(); ++j)
            if (common_data::pmask[j] != 0) e[j] = v[j];
        double f = 0.0;
        smplxfun(e, np_, f);
        return f;
    }

    // Runs the search; returns the best point with its value in f.
    Point run(double scale, int maxit, double& f) {
        const std::size_t n = base_.size();
        const kalvor::Matrix c = absolute_coord(np_);
        std::vector<Point> s(n + 1, base_);
        std::vector<double> y(n + 1);
        for (std::size_t i = 0; i < n; ++i)
            for (std::size_t j = 0; j < n; ++j) {
                const double step = scale * base_[j];
                double& v = s[i + 1][j];
                v = base_[j] + c(i, j) * step;
                if (v == base_[j]) v = base_[j] + step;
            }
        for (std::size_t i = 0; i <= n; ++i) y[i] = eval(s[i]);

        for (int it = 0; it < maxit && !flat(y); ++it) {
            const std::size_t ilo = first_least(y);
            const std::size_t ihi = first_greatest(y);
            double ynh = -HUGE_VAL;
            for (std::size_t i = 0; i <= n; ++i)
                if (i != ihi) ynh = std::max(ynh, y[i]);
            Point m = centroid(s, ihi, n);
            for (std::size_t j = 0; j < n; ++j) {
                double lo = HUGE_VAL, hi = -HUGE_VAL;
                for (std::size_t i = 0; i <= n; ++i)
                    if (i != ihi) {
                        lo = std::min(lo, s[i][j]);
                        hi = std::max(hi, s[i][j]);
                    }
                m[j] = clamp_into(m[j], lo, hi);
            }
            Point r(n);
            for (std::size_t j = 0; j < n; ++j) r[j] = 2.0 * m[j] - s[ihi][j];
            const double yr = eval(r);
            if (yr < y[ihi]) {
                s[ihi] = r;
                y[ihi] = yr;
            }
            if (yr < ynh) continue;
            // Contraction halfway between the centroid and the worst vertex
            // (the reflected point when it replaced the worst).
            Point t(n);
            for (std::size_t j = 0; j < n; ++j) t[j] = (m[j] + s[ihi][j]) / 2.0;
            const double yt = eval(t);
            if (yt < y[ihi]) {
                s[ihi] = t;
                y[ihi] = yt;
                continue;
            }
            for (std::size_t i = 0; i <= n; ++i) {
                if (i == ilo) continue;
                for (std::size_t j = 0; j < n; ++j) s[i][j] = (s[i][j] + s[ilo][j]) / 2.0;
                y[i] = eval(s[i]);
            }
        }
        const std::size_t b = first_least(y);
        Point best = s[b];
        f = y[b];
        polish(best, f);
        return best;
    }

private:
    static bool flat(const std::vector<double>& y) {
        double mean = 0.0;
        for (double v : y) mean += v;
        mean /= static_cast<double>(y.size());
        double ss = 0.0;
        for (double v : y) ss += (v - mean) * (v - mean);
        return ss / static_cast<double>(y.size() - 1) < flat_values;
    }

    // Tries best(j) +- h; keeps an improving move.
    bool probe(Point& best, double& f, std::size_t j, double h) const {
        for (double sign : {1.0, -1.0}) {
            Point t = best;
            t[j] += sign * h;
            const double ft = eval(t);
            if (ft < f) {
                best = t;
                f = ft;
                return true;
            }
        }
        return false;
    }

    // Local check of the final point, coordinate by coordinate.
    void polish(Point& best, double& f) const {
        const std::size_t n = best.size();
        for (std::size_t j = 0; j < n; ++j)
            if (common_data::pmask[j] != 0) probe(best, f, j, (std::max(std::fabs(best[j]), 1e-6) + 0.001) * 0.001);
        for (int round = 0; round < 5; ++round) {
            bool improved = false;
            for (std::size_t j = 0; j < n; ++j) {
                if (common_data::pmask[j] == 0) continue;
                for (double h = (std::fabs(best[j]) + 0.000122) * 0.000122 * 2.0; h >= 1.49e-9; h /= 2.0) {
                    if (!probe(best, f, j, h)) break;
                    improved = true;
                }
            }
            if (!improved) break;
        }
    }

    const Point base_;
    const int np_;
};

}  // namespace

void simplex_proc(std::span<double> p, int n, double& f, double scale, int maxit) {
    if (n < 1) return;
    PlainSimplex search(p, n);
    double value = 0.0;
    const Point best = search.run(scale, maxit, value);
    if (value > f) return;
    for (std::size_t j = 0; j < best.size(); ++j)
        if (common_data::pmask[j] != 0) p[j] = best[j];
    f = value;
}

}  // namespace simplex_proc
