#pragma once
// The optimiser cascade of the fitting driver.
//
// A fixed sequence of minimisers runs on the driver's working vector: the
// opening sequence, refinement cycles until the cap, the time budget,
// convergence, Cancel or the abort rule ends them, and the wrap-up with the
// Levenberg-Marquardt stage.  The driver judges every stage itself: it
// evaluates the vector a stage returns with sharc::func, and takes the
// result only when the stage's acceptance rule says the sum of squares
// fell; otherwise the kept vector and the lowest value are restored.
//
// The driver's own searches (hit-and-run, simplex, Hooke-Jeeves, its
// Gauss-Newton search) always run.  The optimiser services of the other
// subsystems join through one seam, the table cascade::services(): each
// entry is empty until its optimiser is built and installs itself there,
// and the cascade passes over the step of an empty entry (no evaluation,
// no judgement; the surrounding counters and progress points still run).

#include <functional>
#include <span>
#include <string_view>

#include "foundations/matrix.h"
#include "model/objective.h"
#include "run/sharc_state.h"

namespace sharc_mod {
struct SharcArgs;
}

namespace sharc {
class RunDisplay;
}

namespace cascade {

// The objective shape of the small variable-metric minimiser: f at the
// parameters x (n entries), as funct::vmfun.
using VmObjective = std::function<void(int n, std::span<const double> x, double& f)>;

// The 24 arguments of the Levenberg-Marquardt service, in their order.
struct MarqCall {
    int n;                       // data rows
    int m;                       // X variables
    int ny;                      // Y columns (1)
    int k;                       // parameters
    kalvor::Matrix& x;           // copy of the X values, n x m
    kalvor::Matrix& y;           // copy of the Y values, n x 1
    std::span<double> ycalc;     // calculated y (driver argument 3)
    int flag;                    // 0
    kalvor::Matrix& work1;       // k x k
    kalvor::Matrix& work2;       // k x k
    int mode;                    // weighting mode 1..4, else 0
    std::span<double> sig;       // per-row sigma (driver argument 4)
    std::span<double> p;         // parameters, in/out
    std::span<double> lo;        // working lower bounds
    std::span<double> hi;        // working upper bounds
    std::span<double> se;        // driver argument 15 (zeroed before the call)
    std::span<double> ci;        // driver argument 16 (zeroed before the call)
    std::span<double> result;    // driver argument 17
    double limit;                // 1.1 x the lowest value
    int iterations;              // 10
    double& value;               // value slot
    int flag2;                   // 0
    int iopt;                    // globals::iopt
    int& status;                 // 0 on entry
};

// The 16 arguments of the sequential-quadratic least-squares service.
struct VmsqpCall {
    int max_iterations;          // 100
    int k;
    int n;
    int m;
    int work_size;               // 2 x k
    int mode;                    // weighting mode: 0 while the driver runs it
    std::span<double> sig;       // per-row sigma
    std::span<double> work;      // n doubles
    std::span<double> y;         // Y values
    std::span<double> ycalc;     // calculated y
    std::span<double> residuals; // n doubles, out
    std::span<double> p;
    std::span<double> lo;
    std::span<double> hi;
    std::span<const int> mask;
    double& value;               // value slot, vmax on entry
};

// One stage judged by the driver, for observers (diagnostics and tests).
struct StageReport {
    std::string_view stage;  // "tunnelsearch", "hitnrun2", "simplex_robust", "va10b", "vmsqp",
                             // "hooke", "gn_main", "evol", "gnllsqr", "hitnrun", "varmetric",
                             // "marq", "a23mrt"
    double value;            // the stage's result as the driver evaluated it
    double lowest;           // the lowest value before the stage
    bool accepted;
};

// The seam: optimiser services of the other subsystems, each keyed by its
// name.  All arguments by reference; n data rows, k parameters, p the
// driver's working vector (in/out), value the value slot (in/out).
struct Services {
    // Tunnelling pre-search: (objective, k, p, value, lower, upper, mask).
    std::function<void(const kalvor::Objective& f, int k, std::span<double> p, double& value,
                       std::span<double> lo, std::span<double> hi, std::span<const int> mask)>
        tunnelsearch;
    // Moment-scaled descent: (objective, k, n, p, mask, lower, upper, work counter, value).
    std::function<void(const kalvor::Objective& f, int k, int n, std::span<double> p, std::span<const int> mask,
                       std::span<double> lo, std::span<double> hi, int& work, double& value)>
        adam;
    // Differential evolution: (n, k, p, value = lowest on entry, generations used, generation cap).
    std::function<void(int n, int k, std::span<double> p, double& value, int& generations, int cap)> evol;
    // Gauss-Newton/Marquardt: (n, k, p, value, status = 0 on entry); status >= 3: the solver did not run.
    std::function<void(int n, int k, std::span<double> p, double& value, int& status)> gn_main;
    // Levenberg-Marquardt with its 24 arguments.
    std::function<void(MarqCall& call)> marq;
    // Random-step least squares: (k, p, n, relative step 0.001, value, cap 500, status, mode 1).
    std::function<void(int k, std::span<double> p, int n, float step, double& value, int cap, int& status,
                       int mode)>
        a23mrt;
    // Variable-metric least squares: (n, k, p, value = 2 x lowest, packed Hessian k(k+1)/2 of 1.0,
    // flag 1, start mode 1, limit 1000, exit code); a negative exit code is a failure.
    std::function<void(int n, int k, std::span<double> p, double& value, std::span<double> hessian, int flag,
                       int start_mode, int limit, int& exit_code)>
        va10b;
    // Sequential-quadratic least squares with its 16 arguments.
    std::function<void(VmsqpCall& call)> vmsqp;
    // Small variable-metric minimiser: (objective vmfun, k, p, value, status); status 1 or 2 is a failure.
    std::function<void(const VmObjective& f, int k, std::span<double> p, double& value, int& status)> varmetric;
    // Residual bootstrap of a one-variable fit: (xd, yd, n, alpha 0.05, replicates 100, method 2,
    // control 1, mean curve, lower limits, upper limits); leaves yd as it found it.
    std::function<void(std::span<const double> x, std::span<double> y, int n, double alpha, int replicates,
                       int method, int control, std::span<double> mean, std::span<double> lcl,
                       std::span<double> ucl)>
        bootstrap;

    // Told of every judged stage; may stay empty.
    std::function<void(const StageReport& report)> observer;
};

// The table every fit reads.  An optimiser joins by assigning its entry;
// assigning a default-constructed Services empties the table again.
Services& services();

// Fills services() with every optimiser service the program has; the
// program's start-up and the headless fit runner call it once.
void install_services();

// Acceptance rules of the stages: value is the stage's result as the driver
// evaluated it, lowest the lowest value before the stage.
bool lower(double value, double lowest);                 // value < lowest
bool within_sqp_margin(double value, double lowest);     // value < 1.0001 x lowest
bool gauss_newton_plausible(double value, double lowest);  // 1e-4 lowest <= value < lowest
bool evolution_plausible(double value, double lowest, int generations, int cap);
bool random_step_plausible(double value, double lowest);   // lowest / 2 <= value < lowest
bool levenberg_kept(double value, double reference);       // value <= reference (ties kept)

// How the refinement ended.
enum class Ending {
    completed,  // cap, convergence, cycle limit or time budget
    cancelled,  // Cancel pressed: the wrap-up ran without its Levenberg-Marquardt stage
    aborted,    // NaN parameter or lowest value above 1e16: message shown, bcancelrun = 1
};

// Runs the opening sequence, the refinement cycles and the wrap-up on the
// driver state s prepared by sharc_mod::sharc from its arguments a, drawing
// into display.  On return s.kept, s.p, a.p and common_data::pfinal hold the
// kept vector and s.lowest its sum of squares.
Ending run(sharc::DriverState& s, sharc_mod::SharcArgs& a, sharc::RunDisplay& display);

}  // namespace cascade
