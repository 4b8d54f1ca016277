#pragma once
// The language-runtime facilities the program relies on besides files:
// a seedable uniform generator, a simple never-reseeded uniform generator,
// whole-second sleeps, the wall clock and processor time.
//
// Every one of them can be replaced for tests (set_hooks), so runs with
// random starts, sleeps or time budgets are repeatable.

#include <chrono>
#include <cstdint>
#include <functional>
#include <span>
#include <vector>

namespace runtime {

using Clock = std::chrono::system_clock;

// Uniform number in [0, 1) from the seedable generator (RANDOM_NUMBER).
double random_number();
// Number of integers in the seed vector of the seedable generator.
int random_seed_size();
// Set the seed vector (at most random_seed_size() values are used).
void random_seed_put(std::span<const std::int32_t> seed);
// The seed vector that reproduces the generator's current state.
std::vector<std::int32_t> random_seed_get();

// Restart the seedable generator from a fresh seed: a splitmix64 sequence
// that starts from the wall clock (now) at the first call after the hooks
// were set, so repeatable_clock makes it repeatable; cheaper than
// random_seed_put, for callers that reseed before every draw.
// random_seed_get afterwards still gives a vector that reproduces what follows.
void random_seed_fresh();
// random_seed_fresh followed by draws.size() (at most 64) random_number
// calls, with the same numbers, at a fraction of their cost: the generator
// is set to where those draws leave it only when it is used next.
void random_fresh_draws(std::span<double> draws);
// The first out.size() (at most 64) outputs of std::mt19937_64 seeded with
// seed, from only the state words they need.
void mt19937_64_first_outputs(std::uint64_t seed, std::span<std::uint64_t> out);

// Uniform number in [0, 1) from the simple generator that is never reseeded.
// It takes no lock unless a hook replaces it: draw it from one thread at a
// time (the fit's).
double simple_uniform();

// Sleep for the given number of seconds (scaled by the time scale).
void sleep_seconds(double seconds);

// Wall-clock time now, and processor time of the process in seconds.
Clock::time_point now();
double cpu_time();
// Monotonic seconds since an arbitrary origin (for stopwatches).
double monotonic_seconds();

// Replacements for tests; an empty function keeps the real facility.
struct Hooks {
    std::function<double()> random_number;
    std::function<double()> simple_uniform;
    std::function<void(double)> sleep_seconds;
    std::function<Clock::time_point()> now;
    std::function<double()> cpu_time;
    std::function<double()> monotonic_seconds;
};
void set_hooks(Hooks hooks);
void reset_hooks();

// Hooks for repeatable runs: every clock (monotonic seconds, the wall clock,
// processor time) reads from one counter that starts at a fixed time and
// moves on by one millisecond at each reading, so the generators seeded
// from the clock start alike in every run.  The generators themselves are
// left as they are.
Hooks repeatable_clock();

// Factor applied to every sleep: 1 real time, 0 instant.
void set_time_scale(double scale);
double time_scale();

}  // namespace runtime
