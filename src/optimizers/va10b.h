#pragma once
// The variable-metric least-squares optimiser of the fitting cascade and of
// the residual bootstrap's refits.
//
// va10b_mod::va10b_optimizer minimises the weighted sum of squares of the
// current fit data (va10b_mod::objective_function) over the active
// parameters, inside the bounds common_data::pboundlo/pboundhi.  Ten passes
// run, each from an identity metric held as packed L D L' factors: a short
// trial search, then forward-difference gradient, quasi-Newton direction,
// bounded line search and metric update until the pass's evaluation budget
// is spent or no descent is left; every pass but the last ends with an
// uncounted central-difference probe of the gradient, whose quotients that
// are not numbers set the call's invalid-value flag (as the forward
// differences' do).  With the trial switch on, the call ends
// with a covariance analysis at the result (reported only with bprint on).
//
// Parameter k (1..n) is element k-1.  Not reentrant: every evaluation
// writes the shared fit data.

#include <array>
#include <span>

namespace va10b_mod {

// Line searches recorded for the printed summary.
inline constexpr int history_size = 500;

// Every line search of the program run raises track_count; the first
// history_size record their initial step, starting value and adaptive factor.
extern int track_count;
extern std::array<double, history_size> alpha_history;
extern std::array<double, history_size> f_history;
extern std::array<double, history_size> factor_history;

// Console reports of the optimiser; off unless a test turns it on.
extern bool bprint;

// Exit codes.
inline constexpr int exit_rejected = -1;  // no active parameter, or a start mode other than 1
inline constexpr int exit_normal = 0;
inline constexpr int exit_no_descent = 2;  // no descent direction, or a step below its minimum
inline constexpr int exit_budget = 3;      // the pass's evaluation budget is spent

// f = weighted sum of squares of the shared fit data at b (funct::vmfun);
// b is also stored into common_data::pfinal(1..n).
void objective_function(int n, std::span<const double> b, double& f);

// Minimises from b.  nd: data rows (residual variance of the closing
// analysis); n: parameters; f out: the objective at the returned b; h: the
// packed metric, n(n+1)/2 entries, out; start_mode: 1 (identity metric),
// other values are rejected; trial: 1 runs the trial searches and the
// closing covariance analysis; maxfn: counted evaluations per pass; iexit:
// the code of the last pass.  Held parameters never move; active ones are
// clamped into their bounds before the first pass.  More than
// common_data::param_slots parameters, or b or h shorter than their counts,
// throws std::out_of_range before any evaluation.
void va10b_optimizer(int nd, int n, std::span<double> b, double& f, std::span<double> h, int start_mode, int trial,
                     int maxfn, int& iexit);

}  // namespace va10b_mod
