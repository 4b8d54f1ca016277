#include "foundations/eigen.h"

#include <algorithm>
#include <cmath>
#include <numeric>
#include <stdexcept>
#include <utility>
#include <vector>

#include "foundations/matrixinverse.h"

namespace eigenvlvc {

using kalvor::Matrix;
using matrixinverse::leading_block;
using matrixinverse::require_order;

namespace {

void ensure_size(Matrix& m, int rows, int cols) {
    if (m.rows() < static_cast<std::size_t>(rows) || m.cols() < static_cast<std::size_t>(cols))
        m.resize(rows, cols);
}

double lower_abs_sum(const Matrix& a, int n) {
    double s = 0.0;
    for (int j = 0; j < n; ++j)
        for (int i = j + 1; i < n; ++i) s += std::fabs(a(i, j));
    return s;
}

// One sweep of threshold Jacobi over the upper triangle of a: every pair
// p < q with |a(p, q)| > theta is rotated away, and w accumulates the
// rotations.  equal_c2 is the c^2 used when a(p, p) = a(q, q) (t = 1).
bool threshold_sweep(Matrix& a, Matrix& w, int n, double theta, double equal_c2) {
    bool rotated = false;
    for (int p = 0; p < n - 1; ++p) {
        for (int q = p + 1; q < n; ++q) {
            const double apq = a(p, q);
            if (!(std::fabs(apq) > theta)) continue;
            const double app = a(p, p), aqq = a(q, q);
            double t, c, s, c2;
            if (aqq == app) {
                t = 1.0;
                c = s = 0.7071067811865475;
                c2 = equal_c2;
            } else {
                const double d = aqq - app;
                const double sigma = aqq > app ? 1.0 : -1.0;
                t = 2.0 * apq * sigma / (std::fabs(d) + std::sqrt(4.0 * apq * apq + d * d));
                c = 1.0 / std::sqrt(1.0 + t * t);
                s = t * c;
                c2 = c * c;
            }
            a(p, p) = (app - 2.0 * t * apq + t * t * aqq) * c2;
            a(q, q) = (2.0 * t * apq + aqq + t * t * app) * c2;
            a(p, q) = 0.0;
            const auto rotate = [c, s](double& g, double& h) {
                const double g0 = g, h0 = h;
                g = c * g0 - s * h0;
                h = s * g0 + c * h0;
            };
            for (int j = 0; j < p; ++j) rotate(a(j, p), a(j, q));
            for (int j = p + 1; j < q; ++j) rotate(a(p, j), a(j, q));
            for (int j = q + 1; j < n; ++j) rotate(a(p, j), a(q, j));
            for (int j = 0; j < n; ++j) rotate(w(j, p), w(j, q));
            rotated = true;
        }
    }
    return rotated;
}

// Sweeps with the threshold theta until a sweep rotates nothing; then the
// threshold is divided by n, until it falls below final_theta.  A threshold
// that is not finite or no longer decreases ends the iteration.
void threshold_jacobi(Matrix& a, Matrix& w, int n, double theta, double final_theta, double equal_c2) {
    while (std::isfinite(theta)) {
        if (threshold_sweep(a, w, n, theta, equal_c2)) continue;
        if (!(theta >= final_theta)) break;
        const double next = theta / n;
        if (!(next < theta)) break;
        theta = next;
    }
}

// Symmetric QL eigen decomposition: z (n x n, symmetric) is replaced by the
// eigenvectors (columns), d receives the eigenvalues (unsorted).
void householder_ql(Matrix& z, int n, std::vector<double>& d) {
    std::vector<double> e(n, 0.0);
    d.assign(n, 0.0);

    // Householder reduction to tridiagonal form; each row is scaled by its
    // largest magnitude first.
    for (int i = n - 1; i > 0; --i) {
        const int l = i - 1;
        double h = 0.0;
        if (l > 0) {
            double scale = 0.0;
            for (int k = 0; k <= l; ++k) scale = std::max(scale, std::fabs(z(i, k)));
            if (scale == 0.0) {
                e[i] = z(i, l);
            } else {
                for (int k = 0; k <= l; ++k) {
                    z(i, k) /= scale;
                    h += z(i, k) * z(i, k);
                }
                double f = z(i, l);
                double g = f >= 0.0 ? -std::sqrt(h) : std::sqrt(h);
                e[i] = scale * g;
                h -= f * g;
                z(i, l) = f - g;
                f = 0.0;
                for (int j = 0; j <= l; ++j) {
                    z(j, i) = z(i, j) / h;
                    g = 0.0;
                    for (int k = 0; k <= j; ++k) g += z(j, k) * z(i, k);
                    for (int k = j + 1; k <= l; ++k) g += z(k, j) * z(i, k);
                    e[j] = g / h;
                    f += e[j] * z(i, j);
                }
                const double hh = f / (h + h);
                for (int j = 0; j <= l; ++j) {
                    f = z(i, j);
                    e[j] = g = e[j] - hh * f;
                    for (int k = 0; k <= j; ++k) z(j, k) -= f * e[k] + g * z(i, k);
                }
            }
        } else {
            e[i] = z(i, l);
        }
        d[i] = h;
    }
    d[0] = 0.0;
    e[0] = 0.0;
    // Accumulate the transformations.
    for (int i = 0; i < n; ++i) {
        const int l = i - 1;
        if (d[i] != 0.0) {
            for (int j = 0; j <= l; ++j) {
                double g = 0.0;
                for (int k = 0; k <= l; ++k) g += z(i, k) * z(k, j);
                for (int k = 0; k <= l; ++k) z(k, j) -= g * z(k, i);
            }
        }
        d[i] = z(i, i);
        z(i, i) = 1.0;
        for (int j = 0; j <= l; ++j) z(j, i) = z(i, j) = 0.0;
    }

    // Implicit QL with Wilkinson shifts; an off-diagonal entry counts as zero
    // when it is at most 1e-12 times its two diagonal neighbours, and each
    // eigenvalue gets at most 30 iterations.
    for (int i = 1; i < n; ++i) e[i - 1] = e[i];
    e[n - 1] = 0.0;
    constexpr int kMaxIterations = 30;
    for (int l = 0; l < n; ++l) {
        for (int iter = 0;; ++iter) {
            int m = l;
            for (; m < n - 1; ++m)
                if (std::fabs(e[m]) <= 1e-12 * (std::fabs(d[m]) + std::fabs(d[m + 1]))) break;
            if (m == l || iter == kMaxIterations) break;
            double g = (d[l + 1] - d[l]) / (2.0 * e[l]);
            double r = std::hypot(g, 1.0);
            g = d[m] - d[l] + e[l] / (g + std::copysign(r, g));
            double s = 1.0, c = 1.0, p = 0.0;
            int i = m - 1;
            for (; i >= l; --i) {
                double f = s * e[i];
                const double b = c * e[i];
                e[i + 1] = r = std::hypot(f, g);
                if (r == 0.0) {
                    d[i + 1] -= p;
                    e[m] = 0.0;
                    break;
                }
                s = f / r;
                c = g / r;
                g = d[i + 1] - p;
                r = (d[i] - g) * s + 2.0 * c * b;
                p = s * r;
                d[i + 1] = g + p;
                g = c * r - b;
                for (int k = 0; k < n; ++k) {
                    f = z(k, i + 1);
                    z(k, i + 1) = s * z(k, i) + c * f;
                    z(k, i) = c * z(k, i) - s * f;
                }
            }
            if (r == 0.0 && i >= l) continue;
            d[l] -= p;
            e[l] = g;
            e[m] = 0.0;
        }
    }
}

// Keeps a magnitude within [kFloor, kCeiling]; not-a-number becomes kFloor.
constexpr double kFloor = 3.162277660168379e-8;
constexpr double kCeiling = 31622776.601683795;

double clean_entry(double v) {
    if (std::isnan(v)) return kFloor;
    if (std::fabs(v) < kFloor) return std::copysign(kFloor, v);
    if (std::fabs(v) > kCeiling) return std::copysign(kCeiling, v);
    return v;
}

double clean_value(double v) {
    if (std::isnan(v) || std::fabs(v) < kFloor) return kFloor;
    if (std::fabs(v) > kCeiling) return kCeiling;
    return v;
}

}  // namespace

void eigenjacobi(Matrix& a, Matrix& v, int n, double tol) {
    if (n < 1) return;
    require_order(a, n, "eigenjacobi");
    Matrix w = Matrix::identity(n);
    const double s = lower_abs_sum(a, n);
    if (!(s <= tol)) threshold_jacobi(a, w, n, s / n, s / n / n * 5e-6, 0.4999999999999999);

    // Selection sort into descending order; on ties the later position wins.
    std::vector<double> lambda(n);
    for (int i = 0; i < n; ++i) lambda[i] = a(i, i);
    for (int k = 0; k < n - 1; ++k) {
        int best = k;
        for (int i = k + 1; i < n; ++i)
            if (lambda[i] >= lambda[best]) best = i;
        if (best != k) {
            std::swap(lambda[k], lambda[best]);
            for (int i = 0; i < n; ++i) std::swap(w(i, k), w(i, best));
        }
    }
    ensure_size(v, n, n);
    for (int j = 0; j < n; ++j) {
        a(j, j) = lambda[j];
        for (int i = 0; i < n; ++i) v(i, j) = w(i, j);
    }
}

void jacobieigen(Matrix& a, Matrix& v, int n, double tol) {
    if (n < 1) return;
    Matrix b = leading_block(a, n, "jacobieigen");
    Matrix w = Matrix::identity(n);
    const double s = lower_abs_sum(b, n);
    if (!(s <= tol)) threshold_jacobi(b, w, n, s / n, tol, 0.5);
    ensure_size(v, n, n);
    for (int j = 0; j < n; ++j) {
        for (int i = 0; i < n; ++i) v(i, j) = w(i, j);
        for (int i = 0; i <= j; ++i) a(i, j) = a(j, i) = b(i, j);
    }
}

int largest_pivot_jacobi(Matrix& a, Matrix& v, int n, double tol, int soft_limit, int hard_limit) {
    ensure_size(v, n, n);
    for (int j = 0; j < n; ++j)
        for (int i = 0; i < n; ++i) v(i, j) = i == j ? 1.0 : 0.0;
    double total = 0.0;
    for (int j = 0; j < n; ++j)
        for (int i = 0; i < n; ++i) total += a(i, j) * a(i, j);
    const double frobenius = std::sqrt(total);
    const double h = std::max(1e-12, tol * total / 2.0);

    for (int k = 1;; ++k) {
        double diagonal = 0.0;
        for (int i = 0; i < n; ++i) diagonal += a(i, i) * a(i, i);
        if (total - diagonal < h) return k - 1;

        int p = -1, q = -1;
        double big = -1.0;
        for (int i = 0; i < n; ++i)
            for (int j = 0; j < n; ++j)
                if (i != j && std::fabs(a(i, j)) > big) { big = std::fabs(a(i, j)); p = i; q = j; }
        if (!(big > 0.0)) return k - 1;

        // Rotation (a reflection R = R') that zeroes a(p, q).
        const double d = a(p, p) - a(q, q);
        double g = 2.0 * a(p, q);
        if (d < 0.0) g = -g;
        const double r = std::sqrt(std::max(g * g + d * d, 0.0));
        const double c = std::sqrt(std::max((std::fabs(d) / r + 1.0) / 2.0, 0.0));
        const double s = g / (2.0 * r * c);
        for (int i = 0; i < n; ++i) {
            const double vp = v(i, p), vq = v(i, q);
            v(i, p) = c * vp + s * vq;
            v(i, q) = s * vp - c * vq;
        }
        for (int j = 0; j < n; ++j) {
            const double ap = a(p, j), aq = a(q, j);
            a(p, j) = c * ap + s * aq;
            a(q, j) = s * ap - c * aq;
        }
        for (int i = 0; i < n; ++i) {
            const double ap = a(i, p), aq = a(i, q);
            a(i, p) = c * ap + s * aq;
            a(i, q) = s * ap - c * aq;
        }

        if (k >= soft_limit && lower_abs_sum(a, n) <= (1.0 + frobenius) * h) return k - 1;
        if (k >= hard_limit) return k;
    }
}

void eigenjacob(Matrix& a, Matrix& v, int n, double tol, int& iter) {
    const int limit = std::min(iter, 1000);
    if (n < 1 || limit < 1) {
        iter = 0;
        return;
    }
    Matrix b = leading_block(a, n, "eigenjacob");
    iter = largest_pivot_jacobi(b, v, n, tol, limit, limit);
    for (int j = 0; j < n; ++j)
        for (int i = 0; i < n; ++i) a(i, j) = b(i, j);
}

void eigen_symm_jacobi(int n, Matrix& a) {
    if (n < 1) return;
    require_order(a, n, "eigen_symm_jacobi");
    double squares = 0.0;
    for (int j = 0; j < n; ++j)
        for (int i = 0; i < n; ++i) squares += a(i, j) * a(i, j);
    const double f = std::sqrt(squares);

    for (int sweep = 0; sweep < 100; ++sweep) {
        for (int i = 0; i < n - 1; ++i) {
            for (int j = i + 1; j < n; ++j) {
                const double pair = a(i, j) + a(j, i);
                if (!(std::fabs(a(i, j)) + std::fabs(a(j, i)) > 1e-5 * f) || pair == 0.0) continue;
                const double theta = (a(j, j) - a(i, i)) / pair;
                const double t = std::copysign(1.0, theta) / (std::fabs(theta) + std::sqrt(theta * theta + 1.0));
                const double c = 1.0 / std::sqrt(t * t + 1.0);
                const double s = t * c;
                for (int k = 0; k < n; ++k) {
                    const double ai = a(k, i), aj = a(k, j);
                    a(k, i) = c * ai - s * aj;
                    a(k, j) = s * ai + c * aj;
                }
                for (int k = 0; k < n; ++k) {
                    const double ai = a(i, k), aj = a(j, k);
                    a(i, k) = c * ai - s * aj;
                    a(j, k) = s * ai + c * aj;
                }
            }
        }
        if (lower_abs_sum(a, n) <= (1.0 + f) * 1e-5) break;
    }
    std::vector<double> diagonal(n);
    for (int i = 0; i < n; ++i) diagonal[i] = a(i, i);
    std::sort(diagonal.begin(), diagonal.end(), [](double x, double y) { return x > y; });
    for (int i = 0; i < n; ++i) a(i, i) = diagonal[i];
}

void eigenvv(int n, int m, const Matrix& x, std::span<double> eval, std::span<double> pct, Matrix& evec,
             Matrix& evec2, Matrix& infl) {
    if (n < 1) return;
    require_order(x, n, "eigenvv");
    m = std::clamp(m, 0, n);
    if (eval.size() < static_cast<std::size_t>(n) || pct.size() < static_cast<std::size_t>(n))
        throw std::invalid_argument("eigenvv: eigenvalue arrays shorter than n");
    std::fill(eval.begin(), eval.end(), 0.0);
    std::fill(pct.begin(), pct.end(), 0.0);
    for (Matrix* out : {&evec, &evec2, &infl}) {
        ensure_size(*out, n, m);
        out->fill(0.0);
    }

    // Symmetric work copy from the lower triangle.
    Matrix z(n, n);
    for (int j = 0; j < n; ++j)
        for (int i = j; i < n; ++i) z(i, j) = z(j, i) = x(i, j);
    std::vector<double> d;
    householder_ql(z, n, d);

    // Exchange sort of an index list into descending eigenvalue order.
    std::vector<int> order(n);
    std::iota(order.begin(), order.end(), 0);
    for (int i = 0; i < n - 1; ++i)
        for (int j = i + 1; j < n; ++j)
            if (d[order[i]] < d[order[j]]) std::swap(order[i], order[j]);

    double total = 0.0;
    for (int k = 0; k < n; ++k) {
        eval[k] = clean_value(d[order[k]]);
        total += std::fabs(eval[k]);
    }
    for (int k = 0; k < n; ++k) pct[k] = 100.0 * eval[k] / total;

    for (int k = 0; k < m; ++k) {
        const int from = order[k];
        // Column scaled so that its first entry of largest magnitude is 1.
        int imax = 0;
        for (int i = 1; i < n; ++i)
            if (std::fabs(z(i, from)) > std::fabs(z(imax, from))) imax = i;
        const double pivot = z(imax, from) == 0.0 ? 1e-8 : z(imax, from);
        for (int i = 0; i < n; ++i) {
            evec2(i, k) = z(i, from) / pivot;
            evec(i, k) = clean_entry(z(i, from));
        }
    }

    // Each parameter's squared loadings spread over the components.
    for (int i = 0; i < n; ++i) {
        double row = 0.0;
        for (int k = 0; k < m; ++k) {
            const double loading = evec(i, k) * std::sqrt(std::fabs(eval[k]));
            infl(i, k) = loading * loading;
            row += infl(i, k);
        }
        for (int k = 0; k < m; ++k) infl(i, k) = 100.0 * infl(i, k) / row;
    }
}

}  // namespace eigenvlvc
