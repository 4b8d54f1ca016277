#include "foundations/runtime.h"

#include <algorithm>
#include <array>
#include <stdexcept>
#include <atomic>
#include <ctime>
#include <memory>
#include <mutex>
#include <random>
#include <thread>

namespace runtime {
namespace {

constexpr int kSeedSize = 8;

struct State {
    std::mutex mutex;
    std::mt19937_64 seedable{0x4B616C766F72ULL};
    std::vector<std::int32_t> seed = std::vector<std::int32_t>(kSeedSize, 0);
    std::uint64_t draws = 0;  // draws since the last seed, to report the state
    std::mt19937_64 simple{0x5544465F31ULL};
    Hooks hooks;
    double scale = 1.0;
    std::atomic<bool> simple_hooked{false};  // hooks.simple_uniform is set
    std::uint64_t fresh_sequence = 0;  // splitmix64 state of random_seed_fresh
    bool fresh_started = false;        // fresh_sequence holds its clock origin
    // random_fresh_draws leaves the seedable generator as seeded with
    // pending_seed and advanced by pending_discard draws; it is brought
    // there only when it is used next.
    bool pending = false;
    std::uint64_t pending_seed = 0;
    unsigned long long pending_discard = 0;
};

State& state() {
    static State s;
    return s;
}

std::mt19937_64 engine_from_seed(const std::vector<std::int32_t>& seed) {
    std::seed_seq seq(seed.begin(), seed.end());
    return std::mt19937_64(seq);
}

double to_unit(std::uint64_t bits) {
    return static_cast<double>(bits >> 11) * 0x1.0p-53;  // 53 random bits in [0, 1)
}

// The seedable generator, brought to the state random_fresh_draws left.
std::mt19937_64& seedable(State& s) {
    if (s.pending) {
        s.seedable.seed(s.pending_seed);
        s.seedable.discard(s.pending_discard);
        s.pending = false;
    }
    return s.seedable;
}

// The next seed of the fresh-seed sequence: splitmix64 from the clock read at
// the first call after the hooks change, so that under repeatable_clock
// every run gets the same seeds.
std::uint64_t next_fresh_seed(State& s) {
    bool start = false;
    {
        std::lock_guard lock(s.mutex);
        start = !s.fresh_started;
    }
    const std::uint64_t origin = start ? static_cast<std::uint64_t>(now().time_since_epoch().count()) : 0;
    std::lock_guard lock(s.mutex);
    if (start && !s.fresh_started) {
        s.fresh_sequence = origin;
        s.fresh_started = true;
    }
    s.fresh_sequence += 0x9E3779B97F4A7C15ULL;  // splitmix64
    std::uint64_t z = s.fresh_sequence;
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    return z ^ (z >> 31);
}

}  // namespace

void mt19937_64_first_outputs(std::uint64_t seed, std::span<std::uint64_t> out) {
    // Only the state words the first draws read are formed: draw i (i < 156)
    // comes from words i, i + 1 and i + 156 of the seeded state after the
    // generator's first twist.
    constexpr std::size_t shift = 156;  // mt19937_64's middle word distance m
    constexpr std::uint64_t multiplier = 6364136223846793005ULL;
    constexpr std::uint64_t twist = 0xB5026F5AA96619E9ULL;
    constexpr std::uint64_t upper = ~0ULL << 31, lower = ~upper;
    constexpr std::size_t most = 64;
    if (out.size() > most) throw std::out_of_range("mt19937_64_first_outputs: more than 64 draws");
    const std::size_t k = out.size();
    if (k == 0) return;
    std::array<std::uint64_t, shift + most> state;
    state[0] = seed;
    for (std::size_t i = 1; i < shift + k; ++i) state[i] = multiplier * (state[i - 1] ^ (state[i - 1] >> 62)) + i;
    for (std::size_t i = 0; i < k; ++i) {
        const std::uint64_t y = (state[i] & upper) | (state[i + 1] & lower);
        std::uint64_t z = state[i + shift] ^ (y >> 1) ^ ((y & 1) != 0 ? twist : 0);
        z ^= (z >> 29) & 0x5555555555555555ULL;
        z ^= (z << 17) & 0x71D67FFFEDA60000ULL;
        z ^= (z << 37) & 0xFFF7EEE000000000ULL;
        z ^= z >> 43;
        out[i] = z;
    }
}

double random_number() {
    State& s = state();
    std::lock_guard lock(s.mutex);
    if (s.hooks.random_number) return s.hooks.random_number();
    ++s.draws;
    return to_unit(seedable(s)());
}

int random_seed_size() { return kSeedSize; }

void random_seed_put(std::span<const std::int32_t> seed) {
    State& s = state();
    std::lock_guard lock(s.mutex);
    std::fill(s.seed.begin(), s.seed.end(), 0);
    std::copy_n(seed.begin(), std::min<std::size_t>(seed.size(), kSeedSize), s.seed.begin());
    s.seedable = engine_from_seed(s.seed);
    s.pending = false;
    s.draws = 0;
}

std::vector<std::int32_t> random_seed_get() {
    State& s = state();
    std::lock_guard lock(s.mutex);
    if (s.draws == 0) return s.seed;
    // Fold the generator's position into a fresh seed vector and restart from
    // it, so that putting the returned vector back reproduces what follows.
    std::vector<std::int32_t> next(kSeedSize);
    for (auto& v : next) v = static_cast<std::int32_t>(seedable(s)() >> 33);
    s.seed = next;
    s.seedable = engine_from_seed(s.seed);
    s.draws = 0;
    return s.seed;
}

void random_seed_fresh() {
    State& s = state();
    const std::uint64_t seed = next_fresh_seed(s);
    std::lock_guard lock(s.mutex);
    s.pending = false;
    s.seedable.seed(seed);
    s.draws = 1;  // random_seed_get folds the new state into a seed vector
}

void random_fresh_draws(std::span<double> draws) {
    State& s = state();
    const std::uint64_t seed = next_fresh_seed(s);
    std::array<std::uint64_t, 64> bits;
    const std::size_t k = std::min(draws.size(), bits.size());
    std::lock_guard lock(s.mutex);
    const bool hooked = static_cast<bool>(s.hooks.random_number);
    s.pending = true;
    s.pending_seed = seed;
    s.pending_discard = hooked ? 0 : k;
    s.draws = hooked ? 1 : 1 + k;
    if (hooked) {
        for (double& u : draws) u = s.hooks.random_number();
        return;
    }
    mt19937_64_first_outputs(seed, std::span(bits).first(k));
    for (std::size_t i = 0; i < k; ++i) draws[i] = to_unit(bits[i]);
}

double simple_uniform() {
    State& s = state();
    // Only the fit's own thread draws from the simple generator: no lock
    // unless a hook stands in for it.
    if (!s.simple_hooked.load(std::memory_order_acquire)) return to_unit(s.simple());
    std::lock_guard lock(s.mutex);
    if (s.hooks.simple_uniform) return s.hooks.simple_uniform();
    return to_unit(s.simple());
}

void sleep_seconds(double seconds) {
    std::function<void(double)> hook;
    double scale;
    {
        State& s = state();
        std::lock_guard lock(s.mutex);
        hook = s.hooks.sleep_seconds;
        scale = s.scale;
    }
    if (hook) return hook(seconds);
    const double t = seconds * scale;
    if (t > 0) std::this_thread::sleep_for(std::chrono::duration<double>(t));
}

Clock::time_point now() {
    State& s = state();
    {
        std::lock_guard lock(s.mutex);
        if (s.hooks.now) return s.hooks.now();
    }
    return Clock::now();
}

double cpu_time() {
    State& s = state();
    {
        std::lock_guard lock(s.mutex);
        if (s.hooks.cpu_time) return s.hooks.cpu_time();
    }
    return static_cast<double>(std::clock()) / CLOCKS_PER_SEC;
}

double monotonic_seconds() {
    State& s = state();
    {
        std::lock_guard lock(s.mutex);
        if (s.hooks.monotonic_seconds) return s.hooks.monotonic_seconds();
    }
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count();
}

void set_hooks(Hooks hooks) {
    State& s = state();
    std::lock_guard lock(s.mutex);
    s.hooks = std::move(hooks);
    s.simple_hooked.store(static_cast<bool>(s.hooks.simple_uniform), std::memory_order_release);
    s.fresh_started = false;
}

void reset_hooks() { set_hooks({}); }

Hooks repeatable_clock() {
    auto ticks = std::make_shared<std::int64_t>(0);  // milliseconds read so far
    const auto next = [ticks] { return ++*ticks; };
    Hooks hooks;
    hooks.monotonic_seconds = [next] { return 1000.0 + static_cast<double>(next()) / 1000.0; };
    hooks.cpu_time = [next] { return static_cast<double>(next()) / 1000.0; };
    // From 2024-01-01 00:00:00 UTC.
    hooks.now = [next] { return Clock::time_point(std::chrono::milliseconds(1704067200000LL + next())); };
    return hooks;
}

void set_time_scale(double scale) {
    State& s = state();
    std::lock_guard lock(s.mutex);
    s.scale = scale;
}

double time_scale() {
    State& s = state();
    std::lock_guard lock(s.mutex);
    return s.scale;
}

}  // namespace runtime
