#include "views/reinsch.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace reinsch {
namespace {

// Moving-average values are kept within 1e-16..1e16 in magnitude; the sign
// is not kept.
float clamp_magnitude(float v) {
    if (std::fabs(v) < 1e-16f) return 1e-16f;
    if (std::fabs(v) > 1e16f) return 1e16f;
    return v;
}

float mean_of(std::span<const float> w, int first, int count) {
    float sum = 0.0f;
    for (int i = first; i < first + count; ++i) sum += w[static_cast<std::size_t>(i)];
    return sum / static_cast<float>(count);
}

}  // namespace

void bestsmooth(std::span<float> ys, std::span<const float> y, int n, int m, int& npass, int iend) {
    const auto un = static_cast<std::size_t>(std::max(n, 0));
    std::fill(ys.begin(), ys.begin() + static_cast<std::ptrdiff_t>(un), 0.0f);
    npass = std::clamp(npass, 1, 4);
    if (m < 2 || n < m) {
        std::copy_n(y.begin(), un, ys.begin());
        return;
    }
    std::vector<float> w(y.begin(), y.begin() + static_cast<std::ptrdiff_t>(un));
    const int centre = m % 2 == 0 ? m / 2 : m / 2 + 1;  // 1-based offset of a window's position
    for (int pass = 0; pass < npass; ++pass) {
        std::fill(ys.begin(), ys.begin() + static_cast<std::ptrdiff_t>(un), 0.0f);
        float sum = 0.0f;
        for (int i = 0; i < m; ++i) sum += w[static_cast<std::size_t>(i)];
        for (int k = 0; k + m <= n; ++k) {
            if (k > 0) sum += w[static_cast<std::size_t>(k + m - 1)] - w[static_cast<std::size_t>(k - 1)];
            ys[static_cast<std::size_t>(centre - 1 + k)] = sum / static_cast<float>(m);
        }
        if (iend == 1) {
            ys[0] = (w[0] + w[1]) / 2.0f;
            const int h = (m + 1) / 2;
            for (int k = 3; k <= 2 * h - 1 && k <= n; k += 2) {
                ys[static_cast<std::size_t>((k + 1) / 2 - 1)] = mean_of(w, 0, k);
                ys[static_cast<std::size_t>(n - (k - 1) / 2 - 1)] = mean_of(w, n - k, k);
            }
            ys[un - 1] = (w[un - 2] + w[un - 1]) / 2.0f;
        }
        for (std::size_t i = 0; i < un; ++i) ys[i] = clamp_magnitude(ys[i]);
        std::copy_n(ys.begin(), un, w.begin());
    }
}

void quarticsmooth(std::span<float> y, int n) {
    if (n < 7) return;  // the three values at each end are never changed
    const auto un = static_cast<std::size_t>(n);
    const std::vector<float> input(y.begin(), y.begin() + static_cast<std::ptrdiff_t>(un));
    std::vector<float> smoothed(un);
    double change = 0.0;
    for (int pass = 0; pass < 20; ++pass) {
        std::copy_n(y.begin(), un, smoothed.begin());
        change = 0.0;
        for (int i = 3; i < n - 3; ++i) {
            double s0 = 0.0, s2 = 0.0, s4 = 0.0;
            for (int k = -3; k <= 3; ++k) {
                const double v = y[static_cast<std::size_t>(i + k)];
                s0 += v;
                s2 += k * k * v;
                s4 += k * k * k * k * v;
            }
            const auto value =
                static_cast<float>(0.5670995712280273 * s0 - 0.2651515007019043 * s2 + 0.022727269679307938 * s4);
            smoothed[static_cast<std::size_t>(i)] = value;
            if (value > 0.0f) change += std::fabs((y[static_cast<std::size_t>(i)] - value) / value);
        }
        std::copy(smoothed.begin(), smoothed.end(), y.begin());
        if (change >= 0.5) break;
    }
    if (change > 0.5) std::copy(input.begin(), input.end(), y.begin());
}

void parabolicinterpol(int n, std::span<const float> x, std::span<const float> y, std::span<float> yi) {
    if (n < 1) return;
    const auto un = static_cast<std::size_t>(n);
    if (n == 1) {
        yi[0] = y[0];
        return;
    }
    if (n == 2) {
        for (std::size_t j = 0; j < 2; ++j)
            yi[j] = x[1] == x[0] ? y[j] : y[0] + (x[j] - x[0]) * (y[1] - y[0]) / (x[1] - x[0]);
        return;
    }
    for (std::size_t j = 0; j < un; ++j) {
        std::size_t nearest = 0;
        for (std::size_t i = 1; i < un; ++i)
            if (std::fabs(x[i] - x[j]) < std::fabs(x[nearest] - x[j])) nearest = i;
        const std::size_t first = std::clamp<std::size_t>(nearest, 1, un - 2) - 1;
        parabolicinterpol::threept_parab_interp(1, x.subspan(first, 3), y.subspan(first, 3), x.subspan(j, 1),
                                                yi.subspan(j, 1));
    }
}

namespace {

// The end corrections of mode 2, from the five-point cubic least-squares
// formulas on the smoothed values g: the value at the second point, 1.1
// times (2, 27, 12, -8, 2) / 35; the slope at the last but one point, 1.3
// times (57, 3, -36, -39, 15) / 126 over g(n), g(n-1), .., g(n-4), per unit
// of the mean spacing of those five points; and the curvature at the last
// point, 2.2 c + 6 d h of the last interval (c its curvature coefficient,
// d its cubic one, h its width).  All from the values before correction.
void end_corrections(std::span<const double> x, std::span<double> g, std::span<double> slope,
                     std::span<double> curvature, std::span<const double> cubic) {
    const std::size_t last = g.size() - 1;
    const double start = (2.0 * g[0] + 27.0 * g[1] + 12.0 * g[2] - 8.0 * g[3] + 2.0 * g[4]) / 35.0;
    const double spacing = (x[last] - x[last - 4]) / 4.0;
    const double end = (57.0 * g[last] + 3.0 * g[last - 1] - 36.0 * g[last - 2] - 39.0 * g[last - 3] +
                        15.0 * g[last - 4]) /
                       (126.0 * spacing);
    g[1] = 1.1 * start;
    slope[last - 1] = 1.3 * end;
    curvature[last] = 2.2 * (curvature[last - 1] / 2.0) + 6.0 * cubic[last - 1] * (x[last] - x[last - 1]);
}

}  // namespace

void reinschsmoothing(int n, std::span<double> xy, int mode, float s) {
    if (n < 3) return;
    const auto un = static_cast<std::size_t>(n);
    auto col = [&](int c) { return xy.subspan(static_cast<std::size_t>(c) * un, un); };
    const auto x = col(0), y = col(1);
    for (std::size_t i = 1; i < un; ++i)
        if (!(x[i] > x[i - 1])) return;

    // Arrays indexed from -1 to n (offset 1), as the published procedure
    // reads one entry beyond each end.
    const auto size = un + 3;
    std::vector<double> r(size, 0.0), r1(size, 0.0), r2(size, 0.0), t(size, 0.0), t1(size, 0.0), u(size, 0.0),
        v(size, 0.0), a(size, 0.0), b(size, 0.0), c(size, 0.0), d(size, 0.0), dy(size, 0.0);
    auto at = [](std::vector<double>& z, int i) -> double& { return z[static_cast<std::size_t>(i + 1)]; };
    auto X = [&](int i) { return x[static_cast<std::size_t>(i)]; };
    auto Y = [&](int i) { return y[static_cast<std::size_t>(i)]; };
    for (int i = 0; i < n; ++i) at(dy, i) = 3.0 * s * std::sqrt(static_cast<double>((i + 1) * (i + 1) / (n - 1)));

    const double bound = n;
    const int m1 = 1, m2 = n - 2;
    double h = X(m1) - X(0), f = (Y(m1) - Y(0)) / h, g = 0.0, e = 0.0;
    for (int i = m1; i <= m2; ++i) {
        g = h;
        h = X(i + 1) - X(i);
        e = f;
        f = (Y(i + 1) - Y(i)) / h;
        at(a, i) = f - e;
        at(t, i) = 2.0 * (g + h) / 3.0;
        at(t1, i) = h / 3.0;
        at(r2, i) = at(dy, i - 1) / g;
        at(r, i) = at(dy, i + 1) / h;
        at(r1, i) = -at(dy, i) / g - at(dy, i) / h;
    }
    for (int i = m1; i <= m2; ++i) {
        at(b, i) = at(r, i) * at(r, i) + at(r1, i) * at(r1, i) + at(r2, i) * at(r2, i);
        at(c, i) = at(r, i) * at(r1, i + 1) + at(r1, i) * at(r2, i + 1);
        at(d, i) = at(r, i) * at(r2, i + 2);
    }
    double f2 = -bound, p = 0.0;
    for (int iteration = 0; iteration < 25; ++iteration) {
        f = g = h = 0.0;
        for (int i = m1; i <= m2; ++i) {
            at(r1, i - 1) = f * at(r, i - 1);
            at(r2, i - 2) = g * at(r, i - 2);
            at(r, i) = 1.0 / (p * at(b, i) + at(t, i) - f * at(r1, i - 1) - g * at(r2, i - 2));
            at(u, i) = at(a, i) - at(r1, i - 1) * at(u, i - 1) - at(r2, i - 2) * at(u, i - 2);
            f = p * at(c, i) + at(t1, i) - h * at(r1, i - 1);
            g = h;
            h = at(d, i) * p;
        }
        for (int i = m2; i >= m1; --i) at(u, i) = at(r, i) * at(u, i) - at(r1, i) * at(u, i + 1) - at(r2, i) * at(u, i + 2);
        e = h = 0.0;
        for (int i = 0; i <= m2; ++i) {
            g = h;
            h = (at(u, i + 1) - at(u, i)) / (X(i + 1) - X(i));
            at(v, i) = (h - g) * at(dy, i) * at(dy, i);
            e += at(v, i) * (h - g);
        }
        g = at(v, n - 1) = -h * at(dy, n - 1) * at(dy, n - 1);
        e -= g * h;
        g = f2;
        f2 = e * p * p;
        if (f2 >= bound || f2 <= g || std::fabs(f2 - bound) <= 1e-4 * bound) break;
        if (std::fabs(p * (X(n - 1) - X(0))) > 1e8) break;
        f = 0.0;
        h = (at(v, m1) - at(v, 0)) / (X(m1) - X(0));
        for (int i = m1; i <= m2; ++i) {
            g = h;
            h = (at(v, i + 1) - at(v, i)) / (X(i + 1) - X(i));
            g = h - g - at(r1, i - 1) * at(r, i - 1) - at(r2, i - 2) * at(r, i - 2);
            f += g * at(r, i) * g;
            at(r, i) = g;
        }
        h = e - p * f;
        if (h <= 0.0) break;
        p += (bound - f2) / ((std::sqrt(bound / e) + p) * h);
    }

    for (int i = 0; i < n; ++i) {
        at(a, i) = Y(i) - p * at(v, i);
        at(c, i) = at(u, i);
    }
    for (int i = 0; i <= m2; ++i) {
        h = X(i + 1) - X(i);
        at(d, i) = (at(c, i + 1) - at(c, i)) / (3.0 * h);
        at(b, i) = (at(a, i + 1) - at(a, i)) / h - (h * at(d, i) + at(c, i)) * h;
    }
    const auto smoothed = col(1), slope = col(2), residual = col(3), curvature = col(4), cubic = col(5),
               weight = col(6);
    for (int i = 0; i < n; ++i) {
        const auto k = static_cast<std::size_t>(i);
        residual[k] = Y(i) - at(a, i);
        smoothed[k] = at(a, i);
        slope[k] = at(b, i);
        curvature[k] = 2.0 * at(c, i);
        cubic[k] = at(d, i);
        weight[k] = at(dy, i);
    }
    if (mode == 2 && n >= 5) end_corrections(x, smoothed, slope, curvature, cubic);
}

}  // namespace reinsch

namespace parabolicinterpol {

void threept_parab_interp(int m, std::span<const float> x3, std::span<const float> y3, std::span<const float> xq,
                          std::span<float> yq) {
    const float x1 = x3[0], x2 = x3[1], xx3 = x3[2], y1 = y3[0], y2 = y3[1], yy3 = y3[2];
    const float d = (x1 - x2) * (x1 - xx3) * (x2 - xx3);
    if (d == 0.0f) {
        for (int k = 0; k < m; ++k) yq[static_cast<std::size_t>(k)] = y2;
        return;
    }
    const float a = ((y2 - y1) * xx3 + (y1 - yy3) * x2 + (yy3 - y2) * x1) / d;
    const float b = ((y1 - y2) * xx3 * xx3 + (y2 - yy3) * x1 * x1 + (yy3 - y1) * x2 * x2) / d;
    const float c = (x1 * xx3 * y2 * (xx3 - x1) + (xx3 * y1 - x1 * yy3) * x2 * x2 + (x1 * x1 * yy3 - xx3 * xx3 * y1) * x2) / d;
    for (int k = 0; k < m; ++k) {
        const float q = xq[static_cast<std::size_t>(k)];
        yq[static_cast<std::size_t>(k)] = a * q * q + b * q + c;
    }
}

}  // namespace parabolicinterpol
