#pragma once
// Uniform and normal random numbers for the fitting driver and its searches.
//
// `randomize` is a lagged-subtraction generator over a 97-entry table that is
// rebuilt from the system clock every 97 draws, with a carry that runs on
// across rebuilds.  `pi_rand` supplies the start-value pool: a uniform value
// made afresh from the clock at each call and a chaotic map of (x + pi)^6
// computed in IEEE quadruple precision.
//
// Clocks and the run-time generator come from foundations/runtime.h, so the
// sequences are repeatable under test hooks.  The kept state has no lock:
// the generators are called from the fitting thread only.

#include <cstdint>

namespace randomize {

// Seeds the run-time generator from the system clock count (milliseconds):
// word k (k = 1..n) is count + 37 (k - 1); seed receives the last word.
void init_random_seed(std::int32_t& seed);

// Next uniform value in [0, 1).
void random_r(double& r);
// r = a + (b - a) * a draw of random_r.
void random_uni_r(double& r, double a, double b);
// Normal value with the given mean and standard deviation (polar method).
void random_gauss_r(double& r, double mean, double sd);

// Puts random_r back into its state at program start (empty table, indices
// 97 and 33, carry 0), so that a run can be repeated.
void reset();

}  // namespace randomize

namespace pi_rand {

using randomize::init_random_seed;

// A uniform value in [0, 1) made from the clock at every call: calls within
// one clock tick return the same value.
double rnduni();

// Next value of the quadruple-precision map started from x; the result,
// between 1.05e-6 and about 0.99999905, is also stored in x.  x = 0 gives
// 0.14159342040448605.
double pi_rand_gen(double& x);

}  // namespace pi_rand
