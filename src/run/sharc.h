#pragma once
// The regression driver: one call fits the compiled model formula to the
// data rows of one data file.
//
// sharc_mod::sharc copies the caller's data, parameters, bounds and mask
// into the fit data (common_data), sizes its searches by the level of
// difficulty, starts the run clock, draws the run display with its Cancel
// button into the caller's current window, runs the optimiser cascade
// (run/cascade.h) and computes the statistics of the fit (run/postfit.h).
//
// Calling it (main_sub):
//   sharc_mod::SharcArgs a;  fill roles 1-13 and 29-32 (vectors sized n or k)
//   const auto outcome = sharc_mod::sharc(a);
//   fitted:    a.ssq, a.p, a.ycalc, a.se, a.ci and roles 17-28 hold the fit;
//   cancelled: the same, for the best vector found before Cancel (Cancel is
//              also left in globals::bcancelrun = 1): run no second fit;
//   aborted:   the error message has been shown, a.ssq = -1.0,
//              globals::bcancelrun = 1: no report, no second fit;
//   all_fixed: nothing was searched or drawn; a.ssq holds the start value.
//
// Arrays are 0-based: data row i (1..n) is element i-1, parameter k (1..k)
// element k-1.

#include <optional>
#include <span>
#include <string>
#include <vector>

#include "foundations/matrix.h"
#include "model/globals.h"
#include "run/poststats.h"

namespace sharc_mod {

// The 32 argument roles of the driver, in their order.  Outputs are resized
// by the driver.
struct SharcArgs {
    kalvor::Matrix x;                 // 1  X values, n x m (column j = X variable j+1)
    std::vector<double> y;            // 2  observed y (n)
    std::vector<double> ycalc;        // 3  calculated y (n): zeroed at start; out (the bootstrap
                                      //    mean curve for one X variable)
    std::vector<double> sig;          // 4  per-row sigma (n); rewritten with the saved weights
                                      //    after each sequential-quadratic stage
    int mode = 0;                     // 5  weighting mode 0..4 (globals::iwt - 1)
    int m = 1;                        // 6  X variables 1..3
    int n = 0;                        // 7  data rows
    std::vector<double> p;            // 8  parameters (k): start values in, final values out
    int k = 0;                        // 9  parameters
    std::vector<int> mask;            // 10 0 = held at its start value, other = free
    std::vector<double> lo;           // 11 lower bounds (k)
    std::vector<double> hi;           // 12 upper bounds (k)
    int level = 0;                    // 13 difficulty used when globals::iopt is -1
    double ssq = 0.0;                 // 14 sum of squares: start value, -1.0 after an abort,
                                      //    else the final value
    std::vector<double> se;           // 15 standard error per parameter (9999.0 all when any is NaN)
    std::vector<double> ci;           // 16 confidence half-width per parameter, t95 x se
    std::vector<double> lm_result;    // 17 result array of the Levenberg-Marquardt stage (k)
    kalvor::Matrix corr;              // 18 correlations of the active parameters
    kalvor::Matrix influence;         // 19 parameter influence (%) per principal component
    std::vector<double> eigenvalues;  // 20 eigenvalues of the correlation matrix
    std::vector<double> studentized;  // 21 normalised Studentized residuals (n)
    RunsTest runs;                    // 22-28 runs test of the residuals: npos, nneg, nzero,
                                      //    lup, ldown, table, z
    std::optional<int> cap_plus_one;  // 29 refinement cap + 1 (absent: cap 101)
    double tolerance = 1e-9;          // 30 small real of the hit-and-run searches
    std::optional<int> bounded;       // 31 bounded-fit flag (absent: 0)
    const int* restart = &globals::bpostrun;  // 32 Restart flag, read afresh at every test
};

// How a call ended.
enum class Outcome {
    fitted,     // the cascade ran to its end
    cancelled,  // Cancel pressed; the results are those of the best vector so far
    aborted,    // NaN parameter or sum of squares above 1e16 (or no model to evaluate)
    all_fixed,  // every parameter held: returned after the set-up
};

// Fits the model; see the top of this file.
Outcome sharc(SharcArgs& a);

// The refinement cap: argument 29 - 1 when given, else 101.
int refinement_cap(std::optional<int> cap_plus_one);

// The message shown when the abort rule ends a fit (lines joined by CR LF).
std::string abort_message();

}  // namespace sharc_mod

namespace sharc {

// Random permutation of v[0..n-1] in place that takes its random numbers
// from v itself: index j(t) = int(t x v[t-1]) + 1 for t = 1..n (a value
// giving j outside 1..n is retried, at most 10 n attempts in all), then
// v[t-1] is swapped with v[j(t)-1] for t = n down to 2.  For values in
// [0, 1) this is a Fisher-Yates shuffle.
void shuffle(std::span<double> v, int n);

}  // namespace sharc
