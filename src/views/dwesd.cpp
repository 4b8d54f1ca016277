#include "views/dwesd.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

#include "foundations/distributions.h"

namespace dwesd_mod {

void traces(std::span<const float> a, int lda, std::span<const float> b, int ldb, int m, float& t1, float& t2,
            int mode) {
    auto A = [&](int r, int c) { return a[static_cast<std::size_t>(c * lda + r)]; };
    auto B = [&](int r, int c) { return b[static_cast<std::size_t>(c * ldb + r)]; };
    // P(i, j) = sum_k a(k, i) b(k, j).
    auto P = [&](int i, int j) {
        float sum = 0.0f;
        for (int k = 0; k < m; ++k) sum += A(k, i) * B(k, j);
        return sum;
    };
    t1 = 0.0f;
    for (int i = 0; i < m; ++i) t1 += P(i, i);
    t2 = 0.0f;
    if (mode != 2) return;
    for (int i = 0; i < m; ++i)
        for (int j = 0; j < m; ++j) t2 += P(i, j) * P(j, i);
}

void dwesd(std::span<float> x, int n, int m, float& d, float& e, float& s, float& dl, float& du, float& rho,
           int& ierr) {
    ierr = 0;
    if (n <= std::max(m, 4)) {
        std::printf("\n *** FATAL ERROR -- MUST HAVE N>4 AND N>M IN DWESD\n\n");
        d = -9999.9f;
        ierr = -3;
        return;
    }
    const auto um = static_cast<std::size_t>(m);
    auto X = [&](int r, int c) -> float& { return x[static_cast<std::size_t>(c * n + r)]; };

    // B1 = X'AX and B2 = X'A^2X, with Ax the first-difference form.
    std::vector<float> b1(um * um, 0.0f), b2(um * um, 0.0f), ax(static_cast<std::size_t>(n) * um);
    for (int c = 0; c < m; ++c)
        for (int t = 0; t < n; ++t) {
            const float left = t > 0 ? X(t, c) - X(t - 1, c) : 0.0f;
            const float right = t + 1 < n ? X(t, c) - X(t + 1, c) : 0.0f;
            ax[static_cast<std::size_t>(c * n + t)] = left + right;
        }
    for (int i = 0; i < m; ++i)
        for (int j = 0; j < m; ++j) {
            float first = 0.0f, second = 0.0f;
            for (int t = 1; t < n; ++t) first += (X(t - 1, i) - X(t, i)) * (X(t - 1, j) - X(t, j));
            for (int t = 0; t < n; ++t)
                second += ax[static_cast<std::size_t>(i * n + t)] * ax[static_cast<std::size_t>(j * n + t)];
            b1[static_cast<std::size_t>(j * m + i)] = first;
            b2[static_cast<std::size_t>(j * m + i)] = second;
        }

    // Householder QR of X; the product of the squared diagonal of R is det(X'X).
    float determinant = 1.0f;
    for (int c = 0; c < m; ++c) {
        float scale = 0.0f;
        for (int r = c; r < n; ++r) scale = std::max(scale, std::fabs(X(r, c)));
        if (scale == 0.0f) {
            ierr = c + 1;
            determinant = 0.0f;  // d becomes 0/0: no statistic
            break;
        }
        float norm = 0.0f;
        for (int r = c; r < n; ++r) {
            X(r, c) /= scale;
            norm += X(r, c) * X(r, c);
        }
        norm = std::copysign(std::sqrt(norm), X(c, c));
        X(c, c) += norm;
        for (int k = c + 1; k < m; ++k) {
            float dot = 0.0f;
            for (int r = c; r < n; ++r) dot += X(r, c) * X(r, k);
            const float factor = dot / (norm * X(c, c));
            for (int r = c; r < n; ++r) X(r, k) -= factor * X(r, c);
        }
        const float diagonal = -norm * scale;
        X(c, c) = diagonal;
        determinant *= diagonal * diagonal;
    }

    float total = 0.0f;
    for (const float v : b1) total += v;
    d = total / determinant;
    if (ierr != 0) return;

    // C = (X'X)^-1 = R^-1 R^-T from the upper triangle of X.
    std::vector<float> rinv(um * um, 0.0f), c(um * um, 0.0f);
    for (int j = 0; j < m; ++j) {
        rinv[static_cast<std::size_t>(j * m + j)] = 1.0f / X(j, j);
        for (int i = j - 1; i >= 0; --i) {
            float sum = 0.0f;
            for (int k = i + 1; k <= j; ++k) sum += X(i, k) * rinv[static_cast<std::size_t>(j * m + k)];
            rinv[static_cast<std::size_t>(j * m + i)] = -sum / X(i, i);
        }
    }
    for (int i = 0; i < m; ++i)
        for (int j = 0; j < m; ++j) {
            float sum = 0.0f;
            for (int k = 0; k < m; ++k)
                sum += rinv[static_cast<std::size_t>(k * m + i)] * rinv[static_cast<std::size_t>(k * m + j)];
            c[static_cast<std::size_t>(j * m + i)] = sum;
        }
    float tr1 = 0.0f, tr2 = 0.0f, tr3 = 0.0f, unused = 0.0f;
    traces(c, m, b1, m, m, tr1, tr2, 2);
    traces(c, m, b2, m, m, tr3, unused, 1);

    const float df = static_cast<float>(n - m);
    const float p = 2.0f * static_cast<float>(n - 1) - tr1;
    const float q = 6.0f * static_cast<float>(n) - 8.0f - 2.0f * tr3 + tr2;
    e = p / df;
    s = std::sqrt(2.0f * (q - p * e) / (df * (df + 2.0f)));
    float t = distributions::tvalue95(n - m);
    t = static_cast<float>(static_cast<int>(1000.0f * t + 0.5f)) / 1000.0f;
    dl = e - t * s;
    du = e + t * s;
    rho = std::tanh(2.0f * (std::atanh(1.0f - d / 2.0f) - std::atanh(1.0f - e / 2.0f)) / (df - 4.0f) *
                    std::sqrt((df + 2.0f) / (s * s)));
}

}  // namespace dwesd_mod
