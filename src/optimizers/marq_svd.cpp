// Singular value decomposition of the Levenberg-Marquardt optimiser:
// Golub-Reinsch (Householder bidiagonalisation and implicitly shifted QR
// sweeps) on a copy of the matrix.

#include <algorithm>
#include <cmath>
#include <vector>

#include "optimizers/marq.h"

namespace marq {

namespace {

constexpr int max_sweeps = 100;

using kalvor::Matrix;

// a with the sign of b (b = 0 counting as positive).
double sign_of(double a, double b) { return b >= 0.0 ? std::fabs(a) : -std::fabs(a); }

// Plane rotation of columns i and j of a (rows 0..rows-1).
void rotate(Matrix& a, std::size_t rows, std::size_t i, std::size_t j, double c, double s) {
    for (std::size_t r = 0; r < rows; ++r) {
        const double y = a(r, i), z = a(r, j);
        a(r, i) = y * c + z * s;
        a(r, j) = z * c - y * s;
    }
}

void swap_columns(Matrix& a, std::size_t rows, std::size_t i, std::size_t j) {
    for (std::size_t r = 0; r < rows; ++r) std::swap(a(r, i), a(r, j));
}

// One exchange pass of the odd-even transposition sort over the pairs
// (first, first + 1), (first + 2, first + 3), ...; whether it exchanged.
bool exchange_pass(Matrix& u, std::size_t m, std::size_t n, Matrix& v, std::span<double> w, std::size_t first) {
    bool exchanged = false;
    for (std::size_t i = first; i + 1 < n; i += 2) {
        if (std::fabs(w[i]) < std::fabs(w[i + 1])) {
            std::swap(w[i], w[i + 1]);
            swap_columns(u, m, i, i + 1);
            swap_columns(v, n, i, i + 1);
            exchanged = true;
        }
    }
    return exchanged;
}

// Householder reflection of the elements at(from..to-1): scale = the sum of
// their magnitudes (0: nothing done, g = 0); otherwise the elements are
// divided by scale, the first becomes f - g and h = f g - s, where s is their
// sum of squares, f the first and g = -sign(f) sqrt(s).  Returns g.
template <class At>
double reflect(At at, std::size_t from, std::size_t to, double& h, double& scale) {
    scale = 0.0;
    for (std::size_t k = from; k < to; ++k) scale += std::fabs(at(k));
    if (scale == 0.0) return 0.0;
    double s = 0.0;
    for (std::size_t k = from; k < to; ++k) {
        at(k) /= scale;
        s += at(k) * at(k);
    }
    const double f = at(from);
    const double g = -sign_of(std::sqrt(s), f);
    h = f * g - s;
    at(from) = f - g;
    return g;
}

}  // namespace

double pythagz(double a, double b) {
    const double absa = std::fabs(a), absb = std::fabs(b);
    if (absa > absb) return absa * std::sqrt(1.0 + (absb / absa) * (absb / absa));
    if (absb != 0.0) return absb * std::sqrt(1.0 + (absa / absb) * (absa / absb));
    return 0.0;
}

void svd_sort(Matrix& u, int m, int n, Matrix& v, std::span<double> w) {
    const auto rows = static_cast<std::size_t>(std::max(m, 0)), cols = static_cast<std::size_t>(std::max(n, 0));
    for (;;) {
        exchange_pass(u, rows, cols, v, w, 0);
        if (!exchange_pass(u, rows, cols, v, w, 1)) break;
    }
}

void svd(const Matrix& src, int m, int n, std::span<double> w, Matrix& u, Matrix& v) {
    const auto cols = static_cast<std::size_t>(std::max(n, 0));
    const auto given = static_cast<std::size_t>(std::max(m, 0));
    // Fewer rows than columns: zero rows are added, which changes neither the
    // singular values nor V; U keeps the given rows.
    const std::size_t rows = std::max(given, cols);
    Matrix a(rows, cols);
    for (std::size_t j = 0; j < cols; ++j)
        for (std::size_t i = 0; i < given; ++i) a(i, j) = src(i, j);
    v.resize(cols, cols);
    std::vector<double> rv1(cols, 0.0);
    double g = 0.0, scale = 0.0, anorm = 0.0, s, f, h;
    std::size_t l = 0;

    // Householder reduction to bidiagonal form.
    for (std::size_t i = 0; i < cols; ++i) {
        l = i + 1;
        rv1[i] = scale * g;
        const auto down = [&](std::size_t k) -> double& { return a(k, i); };
        g = reflect(down, i, rows, h, scale);
        if (scale != 0.0) {
            for (std::size_t j = l; j < cols; ++j) {
                s = 0.0;
                for (std::size_t k = i; k < rows; ++k) s += a(k, i) * a(k, j);
                f = s / h;
                for (std::size_t k = i; k < rows; ++k) a(k, j) += f * a(k, i);
            }
            for (std::size_t k = i; k < rows; ++k) a(k, i) *= scale;
        }
        w[i] = scale * g;
        g = scale = 0.0;
        if (i + 1 != cols) {
            const auto across = [&](std::size_t k) -> double& { return a(i, k); };
            g = reflect(across, l, cols, h, scale);
            if (scale != 0.0) {
                for (std::size_t k = l; k < cols; ++k) rv1[k] = a(i, k) / h;
                for (std::size_t j = l; j < rows; ++j) {
                    s = 0.0;
                    for (std::size_t k = l; k < cols; ++k) s += a(j, k) * a(i, k);
                    for (std::size_t k = l; k < cols; ++k) a(j, k) += s * rv1[k];
                }
                for (std::size_t k = l; k < cols; ++k) a(i, k) *= scale;
            }
        }
        anorm = std::max(anorm, std::fabs(w[i]) + std::fabs(rv1[i]));
    }

    // Accumulation of the right-hand transformations.
    for (std::size_t i = cols; i-- > 0;) {
        if (i + 1 < cols) {
            if (g != 0.0) {
                for (std::size_t j = l; j < cols; ++j) v(j, i) = (a(i, j) / a(i, l)) / g;
                for (std::size_t j = l; j < cols; ++j) {
                    s = 0.0;
                    for (std::size_t k = l; k < cols; ++k) s += a(i, k) * v(k, j);
                    for (std::size_t k = l; k < cols; ++k) v(k, j) += s * v(k, i);
                }
            }
            for (std::size_t j = l; j < cols; ++j) v(i, j) = v(j, i) = 0.0;
        }
        v(i, i) = 1.0;
        g = rv1[i];
        l = i;
    }

    // Accumulation of the left-hand transformations.
    for (std::size_t i = cols; i-- > 0;) {
        l = i + 1;
        g = w[i];
        for (std::size_t j = l; j < cols; ++j) a(i, j) = 0.0;
        if (g != 0.0) {
            g = 1.0 / g;
            for (std::size_t j = l; j < cols; ++j) {
                s = 0.0;
                for (std::size_t k = l; k < rows; ++k) s += a(k, i) * a(k, j);
                f = (s / a(i, i)) * g;
                for (std::size_t k = i; k < rows; ++k) a(k, j) += f * a(k, i);
            }
            for (std::size_t j = i; j < rows; ++j) a(j, i) *= g;
        } else {
            for (std::size_t j = i; j < rows; ++j) a(j, i) = 0.0;
        }
        a(i, i) += 1.0;
    }

    // A negative singular value turns positive with its column of V.
    const auto make_positive = [&](std::size_t k) {
        if (w[k] < 0.0) {
            w[k] = -w[k];
            for (std::size_t j = 0; j < cols; ++j) v(j, k) = -v(j, k);
        }
    };

    // Diagonalisation of the bidiagonal form by shifted QR sweeps.
    for (std::size_t k = cols; k-- > 0;) {
        for (int sweep = 1; sweep <= max_sweeps; ++sweep) {
            bool split = true;
            std::size_t nm = 0;
            for (l = k + 1; l-- > 0;) {
                // rv1[0] is 0: the scan stops at l = 0 at the latest.
                if (l == 0 || std::fabs(rv1[l]) + anorm == anorm) {
                    split = false;
                    break;
                }
                nm = l - 1;
                if (std::fabs(w[nm]) + anorm == anorm) break;
            }
            if (split) {
                double c = 0.0;
                s = 1.0;
                for (std::size_t i = l; i <= k; ++i) {
                    f = s * rv1[i];
                    rv1[i] = c * rv1[i];
                    if (std::fabs(f) + anorm == anorm) break;
                    g = w[i];
                    h = pythagz(f, g);
                    w[i] = h;
                    h = 1.0 / h;
                    c = g * h;
                    s = -f * h;
                    rotate(a, rows, nm, i, c, s);
                }
            }
            if (l == k || sweep == max_sweeps) {
                make_positive(k);
                break;
            }
            double x = w[l], z = w[k], y;
            nm = k - 1;
            y = w[nm];
            g = rv1[nm];
            h = rv1[k];
            f = ((y - z) * (y + z) + (g - h) * (g + h)) / (2.0 * h * y);
            g = pythagz(f, 1.0);
            f = ((x - z) * (x + z) + h * ((y / (f + sign_of(g, f))) - h)) / x;
            double c = 1.0;
            s = 1.0;
            for (std::size_t j = l; j <= nm; ++j) {
                const std::size_t i = j + 1;
                g = rv1[i];
                y = w[i];
                h = s * g;
                g = c * g;
                z = pythagz(f, h);
                rv1[j] = z;
                c = f / z;
                s = h / z;
                f = x * c + g * s;
                g = g * c - x * s;
                h = y * s;
                y *= c;
                rotate(v, cols, j, i, c, s);
                z = pythagz(f, h);
                w[j] = z;
                if (z != 0.0) {
                    z = 1.0 / z;
                    c = f * z;
                    s = h * z;
                }
                f = c * g + s * y;
                x = c * y - s * g;
                rotate(a, rows, j, i, c, s);
            }
            rv1[l] = 0.0;
            rv1[k] = f;
            w[k] = x;
        }
    }

    u.resize(given, cols);
    for (std::size_t j = 0; j < cols; ++j)
        for (std::size_t i = 0; i < given; ++i) u(i, j) = a(i, j);
    svd_sort(u, m, n, v, w);
}

}  // namespace marq
