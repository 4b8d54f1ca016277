#include "foundations/matrixinverse.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>
#include <numeric>
#include <stdexcept>
#include <string>
#include <vector>

#include "foundations/nrutil.h"

namespace matrixinverse {

using kalvor::Matrix;

namespace {

void store_block(const Matrix& b, Matrix& a, int n) {
    for (int j = 0; j < n; ++j)
        for (int i = 0; i < n; ++i) a(i, j) = b(i, j);
}

// First row r >= k with the largest |b(r, k)|.
int pivot_row(const Matrix& b, int k, int n) {
    int r = k;
    double big = std::fabs(b(k, k));
    for (int i = k + 1; i < n; ++i)
        if (std::fabs(b(i, k)) > big) { big = std::fabs(b(i, k)); r = i; }
    return r;
}

// Solves L U x = b in place for a unit lower L and an upper U stored together
// in f; with reciprocal_diagonal the diagonal of f holds 1 / U(i, i).
void lu_solve(const Matrix& f, int n, std::vector<double>& x, bool reciprocal_diagonal) {
    for (int i = 1; i < n; ++i) {
        double s = x[i];
        for (int k = 0; k < i; ++k) s -= f(i, k) * x[k];
        x[i] = s;
    }
    for (int i = n - 1; i >= 0; --i) {
        double s = x[i];
        for (int k = i + 1; k < n; ++k) s -= f(i, k) * x[k];
        x[i] = reciprocal_diagonal ? s * f(i, i) : s / f(i, i);
    }
}

// Inverse from packed LU factors and the row order perm (row i of the
// factored matrix is row perm[i] of the original): column j of the inverse
// solves L U x = P e_j.
Matrix inverse_from_factors(const Matrix& f, const std::vector<int>& perm, int n,
                            bool reciprocal_diagonal) {
    Matrix inv(n, n);
    std::vector<double> x(n);
    for (int j = 0; j < n; ++j) {
        for (int i = 0; i < n; ++i) x[i] = perm[i] == j ? 1.0 : 0.0;
        lu_solve(f, n, x, reciprocal_diagonal);
        for (int i = 0; i < n; ++i) inv(i, j) = x[i];
    }
    return inv;
}

// Columns whose cosine of the mutual angle lies below this count as
// orthogonal in Kaiser's sweeps.  Being a cosine it does not depend on the
// scale of the matrix; it lies far below the method's own ridge of 1e-5.
constexpr double kOrthogonalCosine = 1e-10;
constexpr int kKaiserSweeps = 20;

}  // namespace

void require_order(const Matrix& a, int n, const char* routine) {
    if (n > 0 && (a.rows() < static_cast<std::size_t>(n) || a.cols() < static_cast<std::size_t>(n)))
        throw std::invalid_argument(std::string(routine) + ": matrix smaller than its order");
}

Matrix leading_block(const Matrix& a, int n, const char* routine) {
    require_order(a, n, routine);
    Matrix b(n, n);
    for (int j = 0; j < n; ++j)
        for (int i = 0; i < n; ++i) b(i, j) = a(i, j);
    return b;
}

Matrix augmented(const Matrix& a, int n) {
    Matrix g(n, 2 * n);
    for (int j = 0; j < n; ++j) {
        for (int i = 0; i < n; ++i) g(i, j) = a(i, j);
        g(j, n + j) = 1.0;
    }
    return g;
}

void store_right_half(const Matrix& g, Matrix& a, int n) {
    for (int j = 0; j < n; ++j)
        for (int i = 0; i < n; ++i) a(i, j) = g(i, n + j);
}

void swap_rows(Matrix& b, int r1, int r2) {
    if (r1 == r2) return;
    for (std::size_t j = 0; j < b.cols(); ++j) std::swap(b(r1, j), b(r2, j));
}

void lumatinv(int n, Matrix& a, int& info) {
    info = 0;
    if (n < 1) return;
    Matrix f = leading_block(a, n, "lumatinv");
    std::vector<int> pivot(n, n - 1);

    // Factor with partial pivoting; the multipliers are stored negated.
    for (int k = 0; k < n - 1; ++k) {
        const int l = pivot_row(f, k, n);
        pivot[k] = l;
        if (f(l, k) == 0.0) { info = k + 1; return; }
        if (l != k) std::swap(f(l, k), f(k, k));
        for (int i = k + 1; i < n; ++i) f(i, k) = -f(i, k) / f(k, k);
        for (int j = k + 1; j < n; ++j) {
            const double t = f(l, j);
            if (l != k) std::swap(f(l, j), f(k, j));
            for (int i = k + 1; i < n; ++i) f(i, j) += t * f(i, k);
        }
    }
    if (f(n - 1, n - 1) == 0.0) { info = n; return; }

    // Invert the upper factor in place.
    for (int k = 0; k < n; ++k) {
        f(k, k) = 1.0 / f(k, k);
        for (int i = 0; i < k; ++i) f(i, k) = -f(i, k) * f(k, k);
        for (int j = k + 1; j < n; ++j) {
            const double t = f(k, j);
            f(k, j) = 0.0;
            for (int i = 0; i <= k; ++i) f(i, j) += t * f(i, k);
        }
    }

    // inverse(U) * inverse(L), undoing the row swaps as column swaps.
    std::vector<double> w(n);
    for (int k = n - 2; k >= 0; --k) {
        for (int i = k + 1; i < n; ++i) { w[i] = f(i, k); f(i, k) = 0.0; }
        for (int j = k + 1; j < n; ++j)
            for (int i = 0; i < n; ++i) f(i, k) += w[j] * f(i, j);
        const int l = pivot[k];
        if (l != k)
            for (int i = 0; i < n; ++i) std::swap(f(i, k), f(i, l));
    }
    store_block(f, a, n);
}

void kaiser(Matrix& a, int n, std::span<const double> sv, double tol, int& ifault) {
    if (n < 1 || a.rows() < static_cast<std::size_t>(n) || a.cols() < static_cast<std::size_t>(n)) {
        ifault = 1;
        return;
    }
    if (sv.size() < static_cast<std::size_t>(n)) throw std::invalid_argument("kaiser: too few scale factors");
    ifault = 0;

    // Rotate column pairs until every pair is orthogonal and ordered by
    // decreasing norm; c counts the pairs passed since the last rotation.
    const int pairs = n * (n - 1) / 2;
    int c = pairs;
    for (int sweep = 1; n >= 2; ++sweep) {
        for (int j = 0; j < n - 1; ++j) {
            for (int k = j + 1; k < n; ++k) {
                double p = 0.0, q = 0.0, r = 0.0;
                for (int i = 0; i < n; ++i) {
                    p += a(i, j) * a(i, k);
                    q += a(i, j) * a(i, j);
                    r += a(i, k) * a(i, k);
                }
                const double norms = std::sqrt(q) * std::sqrt(r);
                const double cosine = norms > 0.0 ? std::fabs(p) / norms : 0.0;
                const bool orthogonal = p == 0.0 || cosine < kOrthogonalCosine;
                if (orthogonal && q >= r) {
                    --c;
                    continue;
                }
                // Here p != 0 or q < r, so d and p2 are never both zero.
                const double d = q - r, p2 = 2.0 * p;
                double c0, s0;
                if (std::fabs(d) >= std::fabs(p2)) {
                    const double t = p2 / d;
                    c0 = 1.0 / std::sqrt(t * t + 1.0);
                    s0 = std::fabs(t) * c0;
                } else {
                    const double t = d / p2;
                    s0 = 1.0 / std::sqrt(t * t + 1.0);
                    c0 = std::fabs(t) * s0;
                }
                const double cs = std::sqrt((1.0 + c0) / 2.0);
                const double sn = s0 / (2.0 * cs);
                double x = cs, y = sn;
                if (d < 0.0) { x = sn; y = cs; }
                if (p2 < 0.0) y = -y;
                for (int i = 0; i < n; ++i) {
                    const double u = a(i, j), v = a(i, k);
                    a(i, j) = x * u + y * v;
                    a(i, k) = x * v - y * u;
                }
                c = pairs;
            }
        }
        if (sweep == kKaiserSweeps) { ifault = 2; break; }
        if (c < 1) break;
    }

    // Column norms raised by a ridge relative to the largest one.
    std::vector<double> s(n);
    for (int l = 0; l < n; ++l) {
        double sum = 0.0;
        for (int i = 0; i < n; ++i) sum += a(i, l) * a(i, l);
        s[l] = std::sqrt(sum + 2.22e-16);
    }
    const double smax = *std::max_element(s.begin(), s.end());
    const double delta = std::max(1e-5 * smax, 1e-5);
    for (int l = 0; l < n; ++l) {
        s[l] += delta;
        if (s[l] != 0.0)
            for (int i = 0; i < n; ++i) a(i, l) /= s[l];
    }

    Matrix w(n, n);
    if (tol >= 0.0) {
        for (int i = 0; i < n; ++i) {
            for (int j = i; j < n; ++j) {
                double sum = 0.0;
                for (int l = 0; l < n; ++l) {
                    if (tol == 0.0 && !(s[l] > 1e-7)) continue;
                    sum += a(i, l) * a(j, l) / sv[i] / sv[j] / (s[l] + tol);
                }
                w(i, j) = w(j, i) = sum;
            }
        }
    }
    store_block(w, a, n);
}

void gaussmatinv(Matrix& a, int n) {
    if (n < 1) return;
    require_order(a, n, "gaussmatinv");
    Matrix b = augmented(a, n);
    for (int k = 0; k < n; ++k) {
        const int l = pivot_row(b, k, n);
        swap_rows(b, k, l);
        // Floor the element that the swap moved into row l (the pivot itself
        // when nothing moved).
        if (std::fabs(b(l, k)) < 2.22e-16) b(l, k) = std::copysign(2.22e-16, b(l, k));
        if (b(k, k) == 0.0) {
            std::printf("b(k,k) = zero: singular matrix\n");
            return;
        }
        for (int i = k + 1; i < n; ++i) {
            const double factor = b(i, k) / b(k, k);
            for (int j = k; j < 2 * n; ++j) b(i, j) -= factor * b(k, j);
        }
    }
    // Back substitution for every column of the right half.
    for (int c = n; c < 2 * n; ++c) {
        for (int i = n - 1; i >= 0; --i) {
            double s = b(i, c);
            for (int j = i + 1; j < n; ++j) s -= b(i, j) * b(j, c);
            b(i, c) = s / b(i, i);
        }
    }
    store_right_half(b, a, n);
}

void crout(Matrix& a, int n) {
    if (n < 1) return;
    Matrix f = leading_block(a, n, "crout");
    std::vector<int> perm(n);
    std::iota(perm.begin(), perm.end(), 0);
    std::vector<double> column(n);
    for (int j = 0; j < n; ++j) {
        for (int i = 0; i < j; ++i) {
            double s = f(i, j);
            for (int k = 0; k < i; ++k) s -= f(i, k) * f(k, j);
            f(i, j) = s;
        }
        for (int i = j; i < n; ++i) {
            double s = f(i, j);
            for (int k = 0; k < j; ++k) s -= f(i, k) * f(k, j);
            f(i, j) = s;
            column[i] = std::fabs(s);
        }
        int r = j;
        for (int i = j + 1; i < n; ++i)
            if (column[i] > column[r]) r = i;
        if (r != j) {
            swap_rows(f, r, j);
            std::swap(perm[r], perm[j]);
        }
        f(j, j) = 1.0 / f(j, j);
        for (int i = j + 1; i < n; ++i) f(i, j) *= f(j, j);
    }
    store_block(inverse_from_factors(f, perm, n, true), a, n);
}

void matinverse(Matrix& a, int n, int& info) {
    info = 0;
    if (n < 1) return;
    Matrix f = leading_block(a, n, "matinverse");
    std::vector<double> scale(n);
    for (int i = 0; i < n; ++i) {
        double big = 0.0;
        for (int j = 0; j < n; ++j) big = std::max(big, std::fabs(f(i, j)));
        if (big == 0.0) {
            info = 1;
            scale[i] = 1.0;
        } else {
            scale[i] = 1.0 / big;
        }
    }
    std::vector<int> perm(n);
    std::iota(perm.begin(), perm.end(), 0);
    for (int j = 0; j < n; ++j) {
        for (int i = 0; i < j; ++i) {
            double s = f(i, j);
            for (int k = 0; k < i; ++k) s -= f(i, k) * f(k, j);
            f(i, j) = s;
        }
        int r = j;
        double big = -1.0;
        for (int i = j; i < n; ++i) {
            double s = f(i, j);
            for (int k = 0; k < j; ++k) s -= f(i, k) * f(k, j);
            f(i, j) = s;
            if (scale[i] * std::fabs(s) > big) { big = scale[i] * std::fabs(s); r = i; }
        }
        if (r != j) {
            swap_rows(f, r, j);
            std::swap(perm[r], perm[j]);
            std::swap(scale[r], scale[j]);
        }
        if (f(j, j) == 0.0) f(j, j) = 1e-20;
        for (int i = j + 1; i < n; ++i) f(i, j) /= f(j, j);
    }
    store_block(inverse_from_factors(f, perm, n, false), a, n);
    if (info == 1) nrutil::nrerror("MATINVERSE: singular matrix");
}

void chlsky_chlsoi(Matrix& a, int n, int& info) {
    info = 0;
    if (n < 1) return;
    require_order(a, n, "chlsky_chlsoi");
    // Lower Cholesky factor; the determinant is carried as m * 16^e with
    // m in [1, 16).
    Matrix l(n, n);
    double mantissa = 1.0;
    int exponent = 0;
    for (int j = 0; j < n; ++j) {
        double s = a(j, j);
        for (int k = 0; k < j; ++k) s -= l(j, k) * l(j, k);
        if (!(s > 0.0)) { info = 1; return; }
        mantissa *= s;
        while (mantissa >= 16.0) { mantissa *= 0.0625; ++exponent; }
        while (mantissa < 1.0) { mantissa *= 16.0; --exponent; }
        if (exponent > 31 || exponent < -31) { info = 1; return; }
        l(j, j) = std::sqrt(s);
        for (int i = j + 1; i < n; ++i) {
            double t = a(i, j);
            for (int k = 0; k < j; ++k) t -= l(i, k) * l(j, k);
            l(i, j) = t / l(j, j);
        }
    }
    // inverse(L), then inverse(A) = inverse(L)' inverse(L).
    Matrix li(n, n);
    for (int j = 0; j < n; ++j) {
        li(j, j) = 1.0 / l(j, j);
        for (int i = j + 1; i < n; ++i) {
            double s = 0.0;
            for (int k = j; k < i; ++k) s -= l(i, k) * li(k, j);
            li(i, j) = s / l(i, i);
        }
    }
    for (int j = 0; j < n; ++j) {
        for (int i = j; i < n; ++i) {
            double s = 0.0;
            for (int k = i; k < n; ++k) s += li(k, i) * li(k, j);
            a(i, j) = a(j, i) = s;
        }
    }
}

void inverse(Matrix& a, int n, int& info) {
    info = 0;
    if (n < 1) return;
    Matrix f = leading_block(a, n, "inverse");
    for (int k = 0; k < n - 1; ++k) {
        if (f(k, k) == 0.0) { info = k + 1; return; }
        for (int i = k + 1; i < n; ++i) {
            f(i, k) /= f(k, k);
            for (int j = k + 1; j < n; ++j) f(i, j) -= f(i, k) * f(k, j);
        }
    }
    if (f(n - 1, n - 1) == 0.0) { info = n; return; }
    std::vector<int> identity_order(n);
    std::iota(identity_order.begin(), identity_order.end(), 0);
    store_block(inverse_from_factors(f, identity_order, n, false), a, n);
}

void invmatgauss(Matrix& a, int n) {
    if (n < 1) return;
    require_order(a, n, "invmatgauss");
    Matrix g = augmented(a, n);
    std::vector<double> row(2 * n);
    for (int k = 0; k < n; ++k) {
        const int r = pivot_row(g, k, n);
        if (r != k) {
            for (int j = 0; j < 2 * n; ++j) row[j] = g(r, j);
            for (int j = 0; j < 2 * n; ++j) g(r, j) = g(k, j);
            for (int j = 0; j < 2 * n; ++j) g(k, j) = row[j];
        }
        if (g(k, k) == 0.0) nrutil::nrerror("InvMatGauss: singular matrix");
        const double pivot = g(k, k);
        for (int j = 0; j < 2 * n; ++j) g(k, j) /= pivot;
        for (int i = 0; i < n; ++i) {
            if (i == k) continue;
            const double factor = g(i, k);
            for (int j = 0; j < 2 * n; ++j) g(i, j) -= factor * g(k, j);
        }
    }
    store_right_half(g, a, n);
}

void my_mat_inv(Matrix& a, int n, int& info) {
    if (n < 1) { info = 1; return; }
    Matrix b = leading_block(a, n, "my_mat_inv");
    info = 0;
    std::vector<int> used(n, 0), row_of(n), col_of(n);
    for (int step = 0; step < n; ++step) {
        // Largest entry among the rows and columns not used as pivots yet.
        double big = -1.0;
        int irow = -1, icol = -1;
        for (int j = 0; j < n; ++j) {
            if (used[j] == 1) continue;
            for (int k = 0; k < n; ++k) {
                if (used[k] == 0) {
                    if (std::fabs(b(j, k)) > big) { big = std::fabs(b(j, k)); irow = j; icol = k; }
                } else if (used[k] > 1) {
                    info = 2;
                    return;
                }
            }
        }
        // No usable pivot (all not-a-number) or a zero pivot: singular.
        if (icol < 0 || big == 0.0) { info = 2; return; }
        ++used[icol];
        swap_rows(b, irow, icol);
        row_of[step] = irow;
        col_of[step] = icol;
        const double pivinv = 1.0 / b(icol, icol);
        b(icol, icol) = 1.0;
        for (int j = 0; j < n; ++j) b(icol, j) *= pivinv;
        for (int i = 0; i < n; ++i) {
            if (i == icol) continue;
            const double dum = b(i, icol);
            b(i, icol) = 0.0;
            for (int j = 0; j < n; ++j) b(i, j) -= b(icol, j) * dum;
        }
    }
    for (int step = n - 1; step >= 0; --step)
        if (row_of[step] != col_of[step]) swapcol(b, n, row_of[step], col_of[step]);
    store_block(b, a, n);
}

void swapcol(Matrix& a, int n, int i, int j) {
    if (i == j) return;
    for (int r = 0; r < n; ++r) std::swap(a(r, i), a(r, j));
}

void svd_reorder(int m, int n, Matrix& u, Matrix& v, std::span<double> s) {
    if (n < 2) return;
    if (s.size() < static_cast<std::size_t>(n) || u.cols() < static_cast<std::size_t>(n) ||
        v.cols() < static_cast<std::size_t>(n) || u.rows() < static_cast<std::size_t>(m) ||
        v.rows() < static_cast<std::size_t>(n))
        throw std::invalid_argument("svd_reorder: arrays smaller than m and n");
    // Not-a-number sorts last.
    const auto key = [](double x) { return std::isnan(x) ? -std::numeric_limits<double>::infinity() : x; };
    std::vector<int> order(n);
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(), [&](int x, int y) { return key(s[x]) > key(s[y]); });

    const Matrix u0 = u, v0 = v;
    const std::vector<double> s0(s.begin(), s.begin() + n);
    for (int l = 0; l < n; ++l) {
        const int from = order[l];
        s[l] = s0[from];
        for (int i = 0; i < m; ++i) u(i, l) = u0(i, from);
        for (int i = 0; i < n; ++i) v(i, l) = v0(i, from);
    }
}

void svd_sort(Matrix& u, int m, int n, Matrix& v, std::span<double> s) {
    Matrix uw = u, vw = v;
    std::vector<double> sw(s.begin(), s.end());
    svd_reorder(m, n, uw, vw, sw);
    u = uw;
    v = vw;
    std::copy(sw.begin(), sw.end(), s.begin());
}

}  // namespace matrixinverse
