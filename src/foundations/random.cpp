#include "foundations/random.h"

#include <array>
#include <cmath>
#include <cstdlib>
#include <vector>

#include <quadmath.h>

#include "foundations/runtime.h"

namespace {

// 32-bit integer arithmetic that wraps on overflow, as the generators expect.
std::int32_t wrap_add(std::int32_t a, std::int32_t b) {
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(a) + static_cast<std::uint32_t>(b));
}
std::int32_t wrap_sub(std::int32_t a, std::int32_t b) {
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(a) - static_cast<std::uint32_t>(b));
}
std::int32_t wrap_mul(std::int32_t a, std::int32_t b) {
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(a) * static_cast<std::uint32_t>(b));
}

// The system clock count in milliseconds, a 32-bit counter that runs from 0
// to 2^31 - 1; -1 when the clock gives no usable reading.
std::int32_t clock_count() {
    const double ms = std::floor(runtime::monotonic_seconds() * 1000.0);
    if (!std::isfinite(ms) || ms < 0) return -1;
    return static_cast<std::int32_t>(std::fmod(ms, 2147483648.0));
}

// ---- randomize::random_r ----

constexpr int kTable = 97;
constexpr int kLag = 33;

struct LaggedState {
    std::array<double, kTable> u{};  // u[k-1] holds table entry k
    int i = kTable;
    int j = kLag;
    double c = 0.0;
    // First seed of the latest rebuild; a rebuild never reuses it.
    bool rebuilt = false;
    std::int32_t last_seed = 0;
};

LaggedState lagged;

// One table entry: 53 bits, each set where bit 5 of two small multiplicative
// generators differ.
double table_entry(std::int32_t& s1, std::int32_t& s2) {
    double x = 0.0, t = 0.5;
    for (int bit = 0; bit < 53; ++bit) {
        s1 = wrap_mul(6969, s1) % 65543;
        s2 = wrap_mul(8888, s2) % 65579;
        if ((s1 & 32) != (s2 & 32)) x += t;
        t *= 0.5;
    }
    return x;
}

// Rebuilds the table from two clock seeds.  Rebuilds within one clock tick
// would get the same seeds and repeat the previous block almost exactly, so
// the first seed is moved on past the one used before when the clock has not
// advanced.
void rebuild_table() {
    std::int32_t seed1 = 0, seed2 = 0;
    randomize::init_random_seed(seed1);
    randomize::init_random_seed(seed2);
    if (lagged.rebuilt && wrap_sub(seed1, lagged.last_seed) <= 0) seed1 = wrap_add(lagged.last_seed, 1);
    lagged.rebuilt = true;
    lagged.last_seed = seed1;

    std::int32_t s1 = wrap_sub(123456789, seed1);
    std::int32_t s2 = wrap_sub(987654321, seed2);
    for (double& entry : lagged.u) entry = table_entry(s1, s2);
}

// ---- pi_rand ----

// Fractional part of the sum of one Wichmann-Hill step from three seeds.
double wichmann_hill(int s1, int s2, int s3) {
    const double sum = (171 * s1 % 30269) / 30269.0 + (172 * s2 % 30307) / 30307.0 +
                       (170 * s3 % 30323) / 30323.0;
    return sum - std::floor(sum);
}

// The clock value scaled into the range of the Wichmann-Hill seeds.
float scaled_seed(float v) { return std::fmod(v * 4.5875f + 45381.668f, 214748.36f); }

}  // namespace

namespace randomize {

void init_random_seed(std::int32_t& seed) {
    std::int32_t count = clock_count();
    if (count < 0) count = 30000;
    const int n = runtime::random_seed_size();
    std::vector<std::int32_t> words(static_cast<std::size_t>(n));
    for (int k = 0; k < n; ++k) words[static_cast<std::size_t>(k)] = wrap_add(count, wrap_mul(37, k));
    runtime::random_seed_put(words);
    seed = words.empty() ? count : words.back();
}

void random_r(double& r) {
    LaggedState& g = lagged;
    if (g.i == kTable && g.j == kLag) rebuild_table();

    double x = g.u[static_cast<std::size_t>(g.i - 1)] - g.u[static_cast<std::size_t>(g.j - 1)];
    if (x < 0.0) x += 1.0;
    g.u[static_cast<std::size_t>(g.i - 1)] = x;

    g.i = g.i == 1 ? kTable : g.i - 1;
    g.j = g.j == 1 ? kTable : g.j - 1;

    g.c -= 4.023848697309873e-5;             // 362436069876 / 2^53
    if (g.c < 0.0) g.c += 0.9999999999999877;  // 9007199254740881 / 2^53

    r = x - g.c;
    if (r < 0.0) r += 1.0;
}

void random_uni_r(double& r, double a, double b) {
    double u = 0.0;
    random_r(u);
    r = a + (b - a) * u;
}

void random_gauss_r(double& r, double mean, double sd) {
    double va = 0.0, s = 0.0;
    do {
        double u1 = 0.0, u2 = 0.0;
        random_r(u1);
        random_r(u2);
        va = 2.0 * u1 - 1.0;
        const double vb = 2.0 * u2 - 1.0;
        s = va * va + vb * vb;
    } while (s >= 1.0 || s == 0.0);  // s = 0 would give 0/0
    r = mean + sd * va * std::sqrt(-2.0 * std::log(s) / s);
}

void reset() { lagged = LaggedState{}; }

}  // namespace randomize

namespace pi_rand {

double rnduni() {
    std::int32_t seed = 0;
    init_random_seed(seed);
    int v = seed & 65535;
    for (int pass = 1; pass <= 250; ++pass) {
        for (int k = 0; k < 5; ++k) v = ((8973 * v + 1) & 65535) - 32768;
        for (int k = 0; k < 5; ++k) v = (8973 * v + (pass & 1)) & 65535;
    }

    float w = 91256.67f;
    if (v != 0) {
        w = scaled_seed(static_cast<float>(v));
    } else {
        for (int attempt = 0; attempt < 10; ++attempt) {
            init_random_seed(seed);
            if (seed != 0) {
                w = scaled_seed(std::fabs(static_cast<float>(seed)));
                break;
            }
        }
    }

    int k = w == 0.0f ? 1 : static_cast<int>(w) + 1;
    while (k > 30000) k /= 10;
    return wichmann_hill(k, k / 2, k / 3);
}

double pi_rand_gen(double& x) {
    // (q + pi)^6 = ((y + 3 pi^2) y + 3 pi^4) y + pi^6 with y = q^2 + 2 pi q;
    // the constants are pi's powers rounded to quadruple precision.
    const __float128 two_pi = 6.283185307179586476925286766559005768394Q;
    const __float128 three_pi2 = 29.60881320326807585650347299962845340594Q;
    const __float128 three_pi4 = 292.2272731020073117093209980661153337492Q;
    const __float128 pi6 = 961.3891935753044370302194436524198988672Q;
    const __float128 pi_minus_3 = 0.1415926535897932384626433832795028841972Q;
    const __float128 low = 1.05e-6Q, high = 0.99999905Q;

    __float128 q = x;
    for (int count = 1;; ++count) {
        if (q == 0) {
            x = 0.14159342040448605;
            return x;
        }
        const __float128 y = q * q + two_pi * q;
        const __float128 p = ((y + three_pi2) * y + three_pi4) * y + pi6;
        // floorq equals the truncation to an integer corrected downwards for
        // every state in range, and stays defined beyond it.
        const __float128 g = fabsq(p - floorq(p));
        const __float128 clamped = g < low ? low : (g > high ? high : g);
        if (fabsq(clamped - g) < low) {
            x = static_cast<double>(g) * 0.999998 + 1.05e-6;
            return x;
        }
        q = pi_minus_3 / count;
    }
}

}  // namespace pi_rand
