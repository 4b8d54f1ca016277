#pragma once
// The random generators of the numeric utility module: a multiplicative
// generator modulo 2^46 with shuffling and folding, a fourth-order multiple
// recursive generator with normal values and points on the sphere, a combined
// xorshift and minimal-standard generator, a small multiplicative generator,
// the 64-bit KISS generator and clock-based seeds.
//
// Vectors are 0-based spans with an explicit count n (n < 1 does nothing); a
// count larger than its vector throws std::out_of_range.  The kept state has
// no lock: the generators are called from one thread.

#include <array>
#include <cstdint>
#include <span>
#include <vector>

namespace nrutil {

// Multiplicative generator modulo 2^46 whose multiplier follows 3 sqrt of
// the last value: x[0..n-1] in [0, 1).
void randlcg(std::span<double> x, int n);
// Permutes x[0..n-1], taking its own values as the random source.
void shuffle(std::span<double> x, int n);
// randlcg values, shuffled and folded into [-0.9, -0.05] and [0.05, 0.9].
void randum(std::span<double> x, int n);
// Fourth-order multiple recursive generator modulo 2147483647: x in [0, 1).
void randfmrg(std::span<double> x, int n);
// Standard normal values by the polar method on randfmrg.
void gasdev(std::span<double> x, int n);
// n unit vectors spread over the sphere, vector m in x[3m..3m+2].
void randsphere3rvec(std::span<double> x, int n);

// Combined xorshift and minimal-standard generator; idum <= 0 (or the first
// call) seeds it from |idum| and leaves idum positive.  r in (0, 1).
void randvsub(std::int32_t& idum, double& r);
// x[i] = randvsub(idum) for i < n.
void randv(std::int32_t& idum, std::span<double> x, int n);
// Normal values seeded from the time of day, by a cosine and sine transform
// of randvsub values.  At least 30 values are always drawn; x grows to n
// values when shorter and receives the drawn values beyond n where it has
// room for them.
void normalvec(std::vector<double>& x, int n);

// Multiplier 23, modulus 100000001: flag 0 restarts from seed 55734970, any
// other flag steps on (a generator never restarted starts itself first).
// Returns seed / modulus.
double rndom(int flag);
// The 64-bit KISS generator (Marsaglia).
std::int64_t kiss64();

// A non-positive seed from the time of day.
void ranseed(std::int32_t& seed);
// Reseeds the run-time generator with date and time mixed into its default
// seed; seed receives the new first seed word.
void rand_seed(std::int32_t& seed);

// Puts every generator above back into its state at program start.
void reset_random_state();

namespace detail {
// The sphere point made from the candidate pairs (u[k], u[k+1]) for k = 0..9
// (u holds 11 uniform values): the first pair inside the unit circle, else
// the tenth pair, pulled onto the circle.
std::array<double, 3> sphere_point(std::span<const double> u);
}  // namespace detail

}  // namespace nrutil
