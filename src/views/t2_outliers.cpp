#include "views/t2_outliers.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>
#include <vector>

#include "foundations/distributions.h"

namespace t2_outlier {

double pval_f(double f, double a, double b) {
    if (!(f > 1e-6)) return std::isnan(f) ? f : 1.0;
    constexpr double pi = 3.141592653589793;
    const double x = a * f / b;
    const auto ia = static_cast<long>(a), ib = static_cast<long>(b);
    double q = 0.0;
    if (ia % 2 == 0) {
        double term = 1.0, sum = 1.0;
        for (long j = 1; j <= ia / 2 - 1; ++j) {
            term = term * (b / 2.0 + j - 1.0) * (x / (1.0 + x)) / j;
            sum += term;
        }
        q = std::pow(1.0 + x, -b / 2.0) * sum;
    } else if (ib % 2 == 0) {
        double term = 1.0, sum = 1.0;
        for (long j = 1; j <= ib / 2 - 1; ++j) {
            term = term * (a / 2.0 + j - 1.0) * (1.0 / (1.0 + x)) / j;
            sum += term;
        }
        q = 1.0 - std::pow(1.0 + 1.0 / x, -a / 2.0) * sum;
    } else {
        const long k1 = (ia - 1) / 2, k2 = (ib - 1) / 2;
        double first = 0.0, second = 0.0;
        if (ia != 1) {
            double alpha = 2.0 * std::sqrt(x) / (pi * (1.0 + x));
            for (long i = 1; i <= k2; ++i) alpha *= i / ((i - 0.5) * (1.0 + x));
            first = alpha;
            for (long j = 2; j <= k1; ++j) {
                alpha *= 2.0 * x * (k2 + j - 1.0) / ((2.0 * j - 1.0) * (1.0 + x));
                first += alpha;
            }
        }
        if (ib != 1) {
            double beta = 2.0 * std::sqrt(1.0 / x) / (pi * (1.0 + 1.0 / x));
            second = beta;
            for (long j = 1; j <= k2 - 1; ++j) {
                beta *= (2.0 / (1.0 + x)) * j / (2.0 * j + 1.0);
                second += beta;
            }
        }
        q = 0.6366197723675814 * std::atan(std::sqrt(1.0 / x)) + first - second;
    }
    return std::clamp(q, 0.0, 1.0);
}

}  // namespace t2_outlier

namespace tt_outlier {
namespace {

// In-place inverse of the p x p matrix a by Gauss-Jordan elimination with
// partial pivoting; false (after a line on standard output) when a pivot is 0.
bool invert(std::vector<double>& a, int p) {
    const auto up = static_cast<std::size_t>(p);
    auto A = [&](std::size_t r, std::size_t c) -> double& { return a[c * up + r]; };
    std::vector<double> inv(up * up, 0.0);
    auto I = [&](std::size_t r, std::size_t c) -> double& { return inv[c * up + r]; };
    for (std::size_t i = 0; i < up; ++i) I(i, i) = 1.0;
    for (std::size_t c = 0; c < up; ++c) {
        std::size_t pivot = c;
        for (std::size_t r = c + 1; r < up; ++r)
            if (std::fabs(A(r, c)) > std::fabs(A(pivot, c))) pivot = r;
        if (!(A(pivot, c) != 0.0)) {
            std::puts(" InvMatGauss: singular matrix");
            return false;
        }
        for (std::size_t k = 0; k < up; ++k) {
            std::swap(A(c, k), A(pivot, k));
            std::swap(I(c, k), I(pivot, k));
        }
        const double diagonal = A(c, c);
        for (std::size_t k = 0; k < up; ++k) {
            A(c, k) /= diagonal;
            I(c, k) /= diagonal;
        }
        for (std::size_t r = 0; r < up; ++r) {
            if (r == c) continue;
            const double factor = A(r, c);
            for (std::size_t k = 0; k < up; ++k) {
                A(r, k) -= factor * A(c, k);
                I(r, k) -= factor * I(c, k);
            }
        }
    }
    a = inv;
    return true;
}

}  // namespace

void t2_outlier(std::span<const double> x, int n, int p, std::span<double> out) {
    const auto un = static_cast<std::size_t>(n), up = static_cast<std::size_t>(p);
    auto X = [&](std::size_t r, std::size_t c) { return x[c * un + r]; };
    auto OUT = [&](std::size_t r, std::size_t c) -> double& { return out[c * un + r]; };
    std::vector<double> mean(up, 0.0), cov(up * up, 0.0);
    for (std::size_t c = 0; c < up; ++c) {
        for (std::size_t r = 0; r < un; ++r) mean[c] += X(r, c);
        mean[c] /= n;
    }
    const double factor = static_cast<double>(1.0f / static_cast<float>(n - 1));
    for (std::size_t i = 0; i < up; ++i)
        for (std::size_t j = 0; j < up; ++j) {
            double sum = 0.0;
            for (std::size_t r = 0; r < un; ++r) sum += (X(r, i) - mean[i]) * (X(r, j) - mean[j]);
            cov[j * up + i] = factor * sum;
        }
    const bool regular = invert(cov, p);
    const double to_f = static_cast<double>(static_cast<float>(n - p) / static_cast<float>(p * (n - 1)));
    const double c = static_cast<double>(static_cast<float>(p * (n - 1) * (n + 1)) / static_cast<float>(n * (n - p)));
    const double t = distributions::t95(n - p);
    for (std::size_t r = 0; r < un; ++r) {
        double t2 = std::numeric_limits<double>::quiet_NaN();
        if (regular) {
            t2 = 0.0;
            for (std::size_t i = 0; i < up; ++i)
                for (std::size_t j = 0; j < up; ++j) t2 += (X(r, i) - mean[i]) * cov[j * up + i] * (X(r, j) - mean[j]);
        }
        const double f = t2 * to_f;
        OUT(r, 0) = f;
        OUT(r, 1) = c * f;
        OUT(r, 2) = t2_outlier::pval_f(c * f, p, n - p);
        OUT(r, 3) = t2_outlier::pval_f(f, p, n - p) * c * t;
    }
}

}  // namespace tt_outlier
