#include "optimizers/bootstraping.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <utility>
#include <vector>

#include "foundations/runtime.h"

namespace bootstraping {
namespace {

constexpr std::array<float, 20> t_table = {12.71f, 4.30f, 3.18f, 2.78f, 2.57f, 2.45f, 2.37f, 2.31f, 2.26f, 2.23f,
                                           2.20f,  2.18f, 2.16f, 2.15f, 2.13f, 2.12f, 2.11f, 2.10f, 2.09f, 2.09f};

// Hundredths of a t value beyond the table: floor(a exp(k (c - n)) + 196.5).
float t_beyond(float a, int c, float k, int n) {
    return static_cast<float>(static_cast<int>(a * std::exp(static_cast<float>(c - n) * k) + 196.5f)) / 100.0f;
}

float t_value(int n) {
    if (n < 1) return 2.0f;
    if (n <= 20) return t_table[static_cast<std::size_t>(n - 1)];
    if (n <= 30) return t_beyond(12.3f, 20, 0.040546514f, n);
    if (n <= 60) return t_beyond(8.2f, 35, 0.020509707f, n);
    return t_beyond(3.9f, 60, 0.01113049f, n);
}

}  // namespace

float mean(std::span<const float> v) {
    if (v.empty()) return 0.0f;
    float m = v[0];
    for (std::size_t k = 2; k <= v.size(); ++k) m += (v[k - 1] - m) / static_cast<float>(k);
    return m;
}

void bootstrap_resample(std::span<const float> x, std::span<float> r) {
    const std::size_t n = x.size();
    for (std::size_t i = 0; i < n; ++i) {
        const float u = static_cast<float>(runtime::random_number());
        // A draw that rounds up to 1 in single precision still picks x(n).
        const auto j = std::min(static_cast<std::size_t>(u * static_cast<float>(n)), n - 1);
        r[i] = x[j];
    }
}

std::size_t dbl_partition(std::span<float> a) {
    const float pivot = a[0];
    std::size_t i = 0, j = a.size() + 1;
    for (;;) {
        do --j;
        while (a[j - 1] > pivot);
        do ++i;
        while (a[i - 1] < pivot);
        if (i < j)
            std::swap(a[i - 1], a[j - 1]);
        else
            return i == j ? i + 1 : i;
    }
}

void qsort_dbl(std::span<float> a) {
    while (a.size() > 1) {
        const std::size_t split = dbl_partition(a);
        qsort_dbl(a.first(split - 1));
        a = a.subspan(split - 1);
    }
}

void qsort_array(std::span<float> a) { qsort_dbl(a); }

void bootstraping(int n, std::span<const float> x, std::span<const float> /*spare*/, int nboot, float& t, float& sd) {
    const std::size_t size = static_cast<std::size_t>(std::max(n, 0));
    const std::span<const float> sample = x.first(size);
    sd = 0.0f;
    if (nboot >= 2) {
        std::vector<float> m(static_cast<std::size_t>(nboot)), r(size);
        m[0] = mean(sample);
        for (std::size_t b = 1; b < m.size(); ++b) {
            bootstrap_resample(sample, r);
            m[b] = mean(r);
        }
        qsort_array(m);
        float mu = m[0], s = 0.0f;
        for (std::size_t k = 2; k <= m.size(); ++k) {
            const float d = m[k - 1] - mu;
            mu += d / static_cast<float>(k);
            s += (m[k - 1] - mu) * d;
        }
        sd = std::sqrt(s / static_cast<float>(nboot - 1));
    }
    t = t_value(n);
}

}  // namespace bootstraping
