#include "foundations/runtime.h"

#include <algorithm>
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

}  // namespace

double random_number() {
    State& s = state();
    std::lock_guard lock(s.mutex);
    if (s.hooks.random_number) return s.hooks.random_number();
    ++s.draws;
    return to_unit(s.seedable());
}

int random_seed_size() { return kSeedSize; }

void random_seed_put(std::span<const std::int32_t> seed) {
    State& s = state();
    std::lock_guard lock(s.mutex);
    std::fill(s.seed.begin(), s.seed.end(), 0);
    std::copy_n(seed.begin(), std::min<std::size_t>(seed.size(), kSeedSize), s.seed.begin());
    s.seedable = engine_from_seed(s.seed);
    s.draws = 0;
}

std::vector<std::int32_t> random_seed_get() {
    State& s = state();
    std::lock_guard lock(s.mutex);
    if (s.draws == 0) return s.seed;
    // Fold the generator's position into a fresh seed vector and restart from
    // it, so that putting the returned vector back reproduces what follows.
    std::vector<std::int32_t> next(kSeedSize);
    for (auto& v : next) v = static_cast<std::int32_t>(s.seedable() >> 33);
    s.seed = next;
    s.seedable = engine_from_seed(s.seed);
    s.draws = 0;
    return s.seed;
}

void random_seed_fresh() {
    // The sequence starts from the clock at the first call after the hooks
    // change, so that under repeatable_clock every run gets the same seeds.
    State& s = state();
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
    s.seedable.seed(z ^ (z >> 31));
    s.draws = 1;  // random_seed_get folds the new state into a seed vector
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
