#include "foundations/nrutil_random.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <ctime>
#include <iostream>
#include <stdexcept>
#include <string>

#include "foundations/nrutil.h"
#include "foundations/runtime.h"

namespace nrutil {
namespace {

constexpr double kPi = 3.141592653589793;

using detail::check_count;

struct GeneratorState {
    // randlcg
    double lcg_a = 4294967295.0;
    double lcg_b = 327675.0;
    // randfmrg
    std::int32_t mrg[4] = {16807, 2147483647, 127773, 2836};
    // randvsub
    std::int32_t ix = -1;
    std::int32_t iy = -1;
    double am = 0.0;
    // rndom
    double rn_seed = 0.0;
    double rn_multiplier = 0.0;
    double rn_modulus = 0.0;
    // kiss64
    std::uint64_t kx = 1234567890987654321ULL;
    std::uint64_t kc = 123456123456123456ULL;
    std::uint64_t ky = 362436362436362436ULL;
    std::uint64_t kz = 1066149217761810ULL;
};

GeneratorState gen;

// Local calendar time of now, with the milliseconds of the current second.
struct LocalTime {
    std::tm tm{};
    int milliseconds = 0;
};

LocalTime local_now() {
    using namespace std::chrono;
    const auto now = runtime::now();
    const std::time_t t = runtime::Clock::to_time_t(now);
    LocalTime lt;
    localtime_r(&t, &lt.tm);
    const auto ms = duration_cast<milliseconds>(now.time_since_epoch()).count() % 1000;
    lt.milliseconds = static_cast<int>(ms < 0 ? ms + 1000 : ms);
    return lt;
}

// Keeps the sign of x on a magnitude (Fortran SIGN).
double with_sign_of(double magnitude, double x) { return std::copysign(magnitude, x); }

void rndom_start() {
    gen.rn_seed = 55734970.0;
    gen.rn_multiplier = 23.0;
    gen.rn_modulus = 100000001.0;
}

}  // namespace

void randlcg(std::span<double> x, int n) {
    check_count(n, x.size(), "randlcg");
    constexpr std::uint64_t kLow46 = (std::uint64_t{1} << 46) - 1;
    double a = std::trunc(gen.lcg_a), b = std::trunc(gen.lcg_b);
    for (int i = 0; i < n; ++i) {
        if (std::fmod(a, 2.0) == 0.0) a -= 1.0;
        if (std::fmod(b, 2.0) == 0.0) b -= 1.0;
        const auto ia = static_cast<std::uint64_t>(std::llround(a));
        const auto ib = static_cast<std::uint64_t>(std::llround(b));
        const std::uint64_t c = (ib * ia) & kLow46;
        x[static_cast<std::size_t>(i)] = static_cast<double>(c) * 1.4210854715202004e-14;  // 2^-46
        a = static_cast<double>(c);
        b = std::trunc(3.0 * std::sqrt(a));
    }
    gen.lcg_a = a;
    gen.lcg_b = b;
}

void shuffle(std::span<double> x, int n) {
    check_count(n, x.size(), "shuffle");
    if (n < 1) return;
    // idx[m] (1-based positions) from the values themselves: position m+1 may
    // go anywhere among the first m+1.
    std::vector<int> idx(static_cast<std::size_t>(n), 0);
    int m = 0;
    for (int tries = 0; tries < 10 * n && m < n; ++tries) {
        const double j = std::trunc((m + 1) * x[static_cast<std::size_t>(m)]) + 1.0;
        if (j >= 1.0 && j <= n) idx[static_cast<std::size_t>(m++)] = static_cast<int>(j);
    }
    for (int i = n; i >= 2; --i) {
        const int j = std::clamp(idx[static_cast<std::size_t>(i - 1)], 1, n);
        std::swap(x[static_cast<std::size_t>(i - 1)], x[static_cast<std::size_t>(j - 1)]);
    }
}

void randum(std::span<double> x, int n) {
    check_count(n, x.size(), "randum");
    if (n < 1) return;
    randlcg(x, n);
    shuffle(x, n);
    shuffle(x, n / 2);
    const auto v = x.first(static_cast<std::size_t>(n));
    double largest = 0.0;
    for (double& e : v) {
        e = std::fabs(std::tan(3.1415927410125732 * e));
        if (e > 1.0) e = 1.0 / e;
        largest = std::max(largest, std::fabs(e));
    }
    const double m = largest + 0.05;
    for (double& e : v) {
        e = std::fabs(e / m);
        e = 0.85 * e + 0.05;
        e = 2.0 * e - 1.0;
        if (std::fabs(e) < 0.05) e = with_sign_of(0.05, e);
        if (std::fabs(e) > 0.9) e = with_sign_of(0.9, e);
    }
}

void randfmrg(std::span<double> x, int n) {
    check_count(n, x.size(), "randfmrg");
    constexpr double kModulus = 2147483647.0;
    std::int32_t* s = gen.mrg;
    for (int i = 0; i < n; ++i) {
        double t = 39532.0 * s[0] - s[3];
        t = t < 0.0 ? t + kModulus : std::fmod(t, kModulus);
        x[static_cast<std::size_t>(i)] = t / kModulus;
        s[0] = s[1];
        s[1] = s[2];
        s[2] = s[3];
        s[3] = static_cast<std::int32_t>(t);
    }
}

void gasdev(std::span<double> x, int n) {
    check_count(n, x.size(), "gasdev");
    for (int i = 0; i < n; ++i) {
        double u[2];
        double va = 0.0, s = 0.0;
        for (int rejections = 0;; ++rejections) {
            if (rejections > n) std::cout << " error in gasdev\n";
            randfmrg(u, 2);
            va = 2.0 * u[1] - 1.0;
            const double vb = 2.0 * u[0] - 1.0;
            s = va * va + vb * vb;
            if (s < 1.0 && s > 0.0) break;  // s = 0 would give 0/0
        }
        x[static_cast<std::size_t>(i)] = va * std::sqrt(-2.0 * std::log(s) / s);
    }
}

namespace detail {

std::array<double, 3> sphere_point(std::span<const double> u) {
    if (u.size() < 11) throw std::out_of_range("nrutil::sphere_point needs 11 uniform values");
    double va = 0.0, vb = 0.0, s = 0.0;
    for (std::size_t k = 0; k < 10; ++k) {
        va = 2.0 * u[k] - 1.0;
        vb = 2.0 * u[k + 1] - 1.0;
        s = va * va + vb * vb;
        if (s <= 1.0) break;
    }
    // A tenth pair outside the circle would put z beyond 1 and take the root
    // of a negative number: bring it onto the circle instead.
    if (s > 1.0) {
        const double r = std::sqrt(s);
        va /= r;
        vb /= r;
        s = 1.0;
    }
    const double z = 2.0 * s - 1.0;
    const double t = s > 0.0 ? std::sqrt((1.0 - z * z) / s) : 0.0;
    return {va * t, vb * t, z};
}

}  // namespace detail

void randsphere3rvec(std::span<double> x, int n) {
    if (n < 1) return;
    check_count(3 * n, x.size(), "randsphere3rvec");
    std::fill_n(x.begin(), 3 * n, 0.0);
    std::vector<double> u(static_cast<std::size_t>(30 * n));
    randfmrg(u, 30 * n);
    for (int m = 0; m < n; ++m) {
        const auto p = detail::sphere_point(std::span<const double>(u).subspan(static_cast<std::size_t>(3 * m), 11));
        std::copy(p.begin(), p.end(), x.begin() + 3 * m);
    }
}

void randvsub(std::int32_t& idum, double& r) {
    if (idum <= 0 || gen.iy < 0) {
        const std::uint32_t a = idum < 0 ? 0u - static_cast<std::uint32_t>(idum) : static_cast<std::uint32_t>(idum);
        gen.am = 4.656612597690041e-10;
        gen.iy = static_cast<std::int32_t>((888889999u ^ a) | 1u);
        gen.ix = static_cast<std::int32_t>(777755555u ^ a);
        idum = static_cast<std::int32_t>(a + 1u);
    }
    auto ux = static_cast<std::uint32_t>(gen.ix);
    ux ^= ux << 13;
    ux ^= ux >> 17;
    ux ^= ux << 5;
    gen.ix = static_cast<std::int32_t>(ux);
    const std::int32_t k = gen.iy / 127773;
    gen.iy = 16807 * (gen.iy - 127773 * k) - 2836 * k;
    if (gen.iy < 0) gen.iy += 2147483647;
    r = gen.am * static_cast<double>(((gen.ix ^ gen.iy) & 2147483647) | 1);
}

void randv(std::int32_t& idum, std::span<double> x, int n) {
    check_count(n, x.size(), "randv");
    for (int i = 0; i < n; ++i) randvsub(idum, x[static_cast<std::size_t>(i)]);
}

void normalvec(std::vector<double>& x, int n) {
    n = std::max(n, 0);
    const auto seconds = static_cast<long long>(runtime::Clock::to_time_t(runtime::now()));
    auto seed = static_cast<std::int32_t>(-(seconds % 100000));

    std::vector<double> w(static_cast<std::size_t>(std::max(n, 30)));
    randv(seed, w, static_cast<int>(w.size()));

    auto nonzero = [](double u) { return u == 0.0 ? 1e-15 : u; };
    for (int i = 0; i + 1 < n; i += 2) {
        const double u1 = nonzero(w[static_cast<std::size_t>(i)]);
        const double u2 = nonzero(w[static_cast<std::size_t>(i + 1)]);
        w[static_cast<std::size_t>(i)] = std::sqrt(-2.0 * std::log(u1)) * std::cos(2.0 * kPi * u2);
        w[static_cast<std::size_t>(i + 1)] = std::sqrt(-2.0 * std::log(u2)) * std::sin(2.0 * kPi * u2);
    }
    if (n % 2 == 1) {
        const double u = nonzero(w[static_cast<std::size_t>(n - 1)]);
        w[static_cast<std::size_t>(n - 1)] = std::sqrt(-2.0 * std::log(u)) * std::sin(2.0 * kPi * u);
    }

    if (x.size() < static_cast<std::size_t>(n)) x.resize(static_cast<std::size_t>(n));
    std::copy_n(w.begin(), std::min(x.size(), w.size()), x.begin());
}

double rndom(int flag) {
    if (flag == 0 || gen.rn_modulus == 0.0) rndom_start();
    if (flag != 0) gen.rn_seed = std::fmod(gen.rn_multiplier * gen.rn_seed, gen.rn_modulus);
    return gen.rn_seed / gen.rn_modulus;
}

std::int64_t kiss64() {
    const std::uint64_t t = (gen.kx << 58) + gen.kc;
    if ((gen.kx >> 63) == (t >> 63))
        gen.kc = (gen.kx >> 6) + (gen.kx >> 63);
    else
        gen.kc = (gen.kx >> 6) + 1 - ((gen.kx + t) >> 63);
    gen.kx += t;
    gen.ky ^= gen.ky << 13;
    gen.ky ^= gen.ky >> 17;
    gen.ky ^= gen.ky << 43;
    gen.kz = 6906969069ULL * gen.kz + 1234567ULL;
    return static_cast<std::int64_t>(gen.kx + gen.ky + gen.kz);
}

void ranseed(std::int32_t& seed) {
    const LocalTime lt = local_now();
    const std::int32_t v = 10101 * lt.tm.tm_sec + 1010 * lt.tm.tm_min + 1001 * lt.milliseconds + 1;
    seed = -(v % 999999);
}

void rand_seed(std::int32_t& seed) {
    const LocalTime lt = local_now();
    const std::int32_t parts[3] = {
        2048 * lt.tm.tm_sec + lt.milliseconds,
        64 * lt.tm.tm_hour + lt.tm.tm_min,
        256 * (lt.tm.tm_year + 1900) + 32 * (lt.tm.tm_mon + 1) + lt.tm.tm_mday,
    };
    // The run-time generator's default seed is the all-zero seed vector.
    runtime::random_seed_put(std::vector<std::int32_t>(static_cast<std::size_t>(runtime::random_seed_size()), 0));
    std::vector<std::int32_t> words = runtime::random_seed_get();
    for (std::size_t k = 0; k < words.size(); ++k) words[k] += parts[k % 3];
    runtime::random_seed_put(words);
    seed = words.empty() ? 0 : words.front();
}

void reset_random_state() { gen = GeneratorState{}; }

}  // namespace nrutil
