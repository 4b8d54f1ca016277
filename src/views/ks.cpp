#include "views/ks.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <numeric>
#include <vector>

namespace split_array_mod {
namespace {

// The value with at least 1e-6 in magnitude, keeping its sign (0 becomes
// +1e-6); not-a-number becomes 1e-6.
double lift(double w) {
    if (std::isnan(w)) return 1e-6;
    if (std::fabs(w) < 1e-6) return std::signbit(w) ? -1e-6 : 1e-6;
    return w;
}

void rescale(std::span<double> g, int n) {
    double sd = 0.0;
    rvec_stdev(n, g, sd);
    const double factor = std::isnan(sd) ? 1.0 : sd < 1e-6 ? 0.001 : std::sqrt(sd);
    for (int i = 0; i < n; ++i) g[static_cast<std::size_t>(i)] *= factor;
}

}  // namespace

void ssort(std::span<double> x, std::span<double> y, int n, int k) {
    if (n < 1) {
        std::puts(" SSORT- THE NUMBER OF VALUES TO BE SORTED WAS NOT POSITIVE.");
        return;
    }
    if (k != 1 && k != -1 && k != 2 && k != -2) {
        std::puts(" SSORT- THE SORT CONTROL PARAMETER, K, WAS NOT 2, 1, -1, OR -2.");
        return;
    }
    const auto un = static_cast<std::size_t>(n);
    const bool descending = k < 0;
    if (std::abs(k) == 1) {
        if (descending)
            std::sort(x.begin(), x.begin() + n, std::greater<>());
        else
            std::sort(x.begin(), x.begin() + n);
        return;
    }
    std::vector<std::size_t> order(un);
    std::iota(order.begin(), order.end(), std::size_t{0});
    std::stable_sort(order.begin(), order.end(),
                     [&](std::size_t a, std::size_t b) { return descending ? x[a] > x[b] : x[a] < x[b]; });
    std::vector<double> xs(un), ys(un);
    for (std::size_t i = 0; i < un; ++i) {
        xs[i] = x[order[i]];
        ys[i] = y[order[i]];
    }
    std::copy(xs.begin(), xs.end(), x.begin());
    std::copy(ys.begin(), ys.end(), y.begin());
}

void rvec_stdev(int n, std::span<const double> x, double& sd) {
    sd = 0.0;
    if (n < 2) return;
    double mean = 0.0;
    for (int i = 0; i < n; ++i) mean += x[static_cast<std::size_t>(i)];
    mean /= n;
    double ss = 0.0;
    for (int i = 0; i < n; ++i) ss += (x[static_cast<std::size_t>(i)] - mean) * (x[static_cast<std::size_t>(i)] - mean);
    sd = std::sqrt(ss / (n - 1));
}

void splitgroup(std::span<const double> x, std::span<double> g1, std::span<double> g2, int& n1, int& n2, int flag) {
    const int n = n1;
    std::vector<double> w(x.begin(), x.begin() + n);
    for (double& v : w) v = lift(v);
    double mean = 0.0;
    for (const double v : w) mean += v;
    mean = lift(mean / n);
    for (double& v : w) v = lift(v - mean);

    std::vector<double> positive, negative;
    for (const double v : w) (v >= 0.0 ? positive : negative).push_back(std::fabs(v));
    std::vector<double> none;
    ssort(positive, none, static_cast<int>(positive.size()), 1);
    ssort(negative, none, static_cast<int>(negative.size()), 1);
    const bool positive_first = positive.size() <= negative.size();
    const std::vector<double>& first = positive_first ? positive : negative;
    const std::vector<double>& second = positive_first ? negative : positive;
    std::copy(first.begin(), first.end(), g1.begin());
    std::copy(second.begin(), second.end(), g2.begin());
    n1 = static_cast<int>(first.size());
    n2 = static_cast<int>(second.size());
    if (flag != 0) {
        rescale(g1, n1);
        rescale(g2, n2);
    }
}

}  // namespace split_array_mod

namespace ks2d2s {

void quadct(double x, double y, std::span<const double> xx, std::span<const double> yy, double& fa, double& fb,
            double& fc, double& fd) {
    const auto nn = xx.size();
    std::size_t a = 0, b = 0, c = 0;
    for (std::size_t k = 0; k < nn; ++k) {
        if (yy[k] > y)
            (xx[k] > x ? a : b) += 1;
        else if (xx[k] <= x)
            ++c;
    }
    const auto count = static_cast<double>(nn);
    fa = static_cast<double>(a) / count;
    fb = static_cast<double>(b) / count;
    fc = static_cast<double>(c) / count;
    fd = static_cast<double>(nn - a - b - c) / count;
}

}  // namespace ks2d2s

namespace ks1_mod {
namespace {

// The largest quadrant-fraction difference of the two sets around the
// points (px, py).
double largest_difference(std::span<const double> px, std::span<const double> py, std::span<const double> x1,
                          std::span<const double> y1, std::span<const double> x2, std::span<const double> y2) {
    double d = 0.0;
    for (std::size_t j = 0; j < px.size(); ++j) {
        double fa, fb, fc, fd, ga, gb, gc, gd;
        ks2d2s::quadct(px[j], py[j], x1, y1, fa, fb, fc, fd);
        ks2d2s::quadct(px[j], py[j], x2, y2, ga, gb, gc, gd);
        d = std::max({d, std::fabs(fa - ga), std::fabs(fb - gb), std::fabs(fc - gc), std::fabs(fd - gd)});
    }
    return d;
}

}  // namespace

void ks2d2s(int n1, std::span<const double> x1, std::span<const double> y1, int n2, std::span<const double> x2,
            std::span<const double> y2, double& d, double& prob) {
    const auto s1x = x1.first(static_cast<std::size_t>(n1)), s1y = y1.first(static_cast<std::size_t>(n1));
    const auto s2x = x2.first(static_cast<std::size_t>(n2)), s2y = y2.first(static_cast<std::size_t>(n2));
    const double d1 = largest_difference(s1x, s1y, s1x, s1y, s2x, s2y);
    const double d2 = largest_difference(s2x, s2y, s1x, s1y, s2x, s2y);
    d = (d1 + d2) / 2.0;
    const double ne = static_cast<double>(n1) * n2 / (n1 + n2);
    const double lambda = (std::sqrt(ne) + 0.12 + 0.11 / std::sqrt(ne)) * d;
    double sum = 0.0, previous = 0.0, sign = 2.0;
    for (int j = 1; j <= 100; ++j) {
        const double term = sign * std::exp(-2.0 * j * j * lambda * lambda);
        sum += term;
        if (std::fabs(term) <= 9.999999747378752e-5 * previous || std::fabs(term) <= 9.99999993922529e-9 * sum) {
            prob = sum;
            return;
        }
        sign = -sign;
        previous = std::fabs(term);
    }
    prob = 1.0;
}

}  // namespace ks1_mod

namespace ks2_mod {

void ks2(std::span<const double> x, int n, int flag, int& n1, int& n2, double& dcrit, double& d, double& prob) {
    const auto un = static_cast<std::size_t>(n);
    std::vector<double> g1(un), g2(un);
    n1 = n2 = n;
    split_array_mod::splitgroup(x, g1, g2, n1, n2, flag);
    if (n1 == 0 || n2 == 0) {
        d = 0.0;
        dcrit = 1.0;
        prob = 1.0;
        return;
    }
    std::vector<double> x1(static_cast<std::size_t>(n1)), x2(static_cast<std::size_t>(n2));
    for (int i = 0; i < n1; ++i) x1[static_cast<std::size_t>(i)] = (i + 1.0) / n1;
    for (int i = 0; i < n2; ++i) x2[static_cast<std::size_t>(i)] = (i + 1.0) / n2;
    dcrit = 0.925 * std::sqrt(-0.5 * -3.6888794541139363 * (static_cast<double>(n2) / n1 + 1.0)) /
            std::sqrt(static_cast<double>(n2));
    ks1_mod::ks2d2s(n1, x1, g1, n2, x2, g2, d, prob);
}

}  // namespace ks2_mod
