#pragma once
// Working state of one call of the fitting driver sharc_mod::sharc.
//
// The driver creates one DriverState per fit and keeps in it everything its
// nested routines (objective, searches, statistics, parameter display) read
// and write: the data of the fit, the working parameters, bounds and flags,
// the value slot and the lowest value, the random pool, the level schedule
// and the refinement counters.  Nothing survives the fit.
//
// Arrays are 0-based: data row i (1..nrow) is element i-1, parameter k
// (1..np) is element k-1.

#include <algorithm>
#include <array>
#include <atomic>
#include <span>
#include <vector>

#include "foundations/matrix.h"
#include "model/funct.h"
#include "model/globals.h"

namespace sharc {

// Overflow guard of the driver: clamp and replacement of NaN and huge values.
inline constexpr double vmax = funct::objective_ceiling;

// Values in the random pool of the hit-and-run searches.
inline constexpr int pool_size = 60;

// Sizes of the searches for one level of difficulty (globals::iopt).
struct LevelSchedule {
    int hooke_cap = 100;         // Hooke-Jeeves iteration cap
    int evol_generations = 250;  // differential-evolution generation cap
    int hitnrun_trials = 50;     // hit-and-run trial count

    static LevelSchedule for_level(int iopt) {
        switch (iopt) {
        case 1: return {100, 250, 30};
        case 2: return {150, 350, 40};
        case 3: return {250, 350, std::clamp(pool_size, 30, 100)};
        default: return {100, 250, 50};  // -1 (second Difficult fit) and any other value
        }
    }
};

struct DriverState {
    // ---- data of the fit ----
    kalvor::Matrix x;           // nrow x ncol, column j = X variable j+1
    std::vector<double> y;      // observed values
    std::vector<double> ycalc;  // model values of the last evaluation
    std::vector<double> sig;    // per-row sigma, handed to the model evaluation
    int ncol = 1;               // X variables, 1..3
    int nrow = 0;               // data rows
    int mode = 0;               // weighting mode 0..4

    // ---- parameters, bounds and flags ----
    int np = 0;
    std::vector<double> p;                // working parameter vector
    std::vector<double> kept;             // the vector of the lowest accepted value
    std::vector<int> mask;                // working copy of the mask (0 = held)
    std::vector<double> alobnd, ahibnd;   // working lower and upper bounds
    int bounded = 0;                      // bounded-fit flag: where the fit starts, which stages run
    const int* restart = &globals::bpostrun;  // Restart flag, read afresh at every test
    double tolerance = 1e-9;              // small real read by the hit-and-run searches

    // ---- values ----
    double slot = 0.0;    // value slot: the sum of squares a stage receives and returns
    double lowest = 0.0;  // lowest accepted sum of squares

    // ---- search sizes, random pool and refinement counters ----
    LevelSchedule schedule;
    std::array<double, pool_size> pool{};
    int refine_start = 1;
    int refine_cap = 101;
    std::atomic<int> stage_counter{0};  // also written by the Cancel callback
    int cycle = 0;
    std::array<double, 5> history = {vmax, vmax, vmax, vmax, vmax};  // convergence history
    int history_index = 0;
    std::vector<double> ysig_saved;  // sigma saved around a sequential-quadratic stage

    // ---- work arrays of the objective, sized with the data and parameters ----
    std::vector<double> y_guarded;    // observed values with NaN and huge ones replaced
    std::vector<double> p_mapped;     // parameters mapped into their bounds
    std::vector<double> p_trial;      // copy of a trial point handed to the objective

    // Copy the data of the fit; ycalc starts at 0.
    void set_data(const kalvor::Matrix& xv, std::span<const double> yv, std::span<const double> sv, int columns,
                  int rows) {
        ncol = columns;
        nrow = rows;
        const auto n = static_cast<std::size_t>(std::max(rows, 0));
        x = xv;
        y.assign(yv.begin(), yv.begin() + static_cast<std::ptrdiff_t>(n));
        sig.assign(sv.begin(), sv.begin() + static_cast<std::ptrdiff_t>(n));
        ycalc.assign(n, 0.0);
        y_guarded.assign(n, 0.0);
    }

    // Copy the start parameters, the mask and the bounds (working bounds).
    void set_parameters(std::span<const double> pv, std::span<const int> maskv, std::span<const double> lo,
                        std::span<const double> hi, int count) {
        np = count;
        const auto n = static_cast<std::ptrdiff_t>(std::max(count, 0));
        p.assign(pv.begin(), pv.begin() + n);
        kept = p;
        mask.assign(maskv.begin(), maskv.begin() + n);
        alobnd.assign(lo.begin(), lo.begin() + n);
        ahibnd.assign(hi.begin(), hi.begin() + n);
        p_mapped.assign(static_cast<std::size_t>(n), 0.0);
        p_trial.assign(static_cast<std::size_t>(n), 0.0);
    }

    // Stage outcome: an accepted value becomes the lowest and p the kept
    // vector; a rejected one restores p and the value slot.
    void accept(double value) {
        kept = p;
        lowest = value;
    }
    void reject() {
        p = kept;
        slot = lowest;
    }
};

}  // namespace sharc
