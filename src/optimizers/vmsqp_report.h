#pragma once
// The console report of the sequential-quadratic optimiser: the iteration
// table of every cycle and the final summary, written to standard output
// while it is switched on (vmsqp_mod::bprint), nothing otherwise.

#include <span>

#include "foundations/matrix.h"

namespace vmsqp_mod {

class Report {
public:
    // Largest violation shown when there are no constraints.
    static constexpr double no_constraints = -1.7976931348623157e308;

    explicit Report(bool on) : on_(on) {}
    bool on() const { return on_; }

    void cycle_start(int cycle);
    // The line of one iteration: objective, merit, largest violation and
    // the parameters; iterations 1 to 10 and every 100th (cycle 1) or every
    // 10th (later cycles).
    void iteration(int cycle, int iter, double f, double merit, double violation, std::span<const double> b);
    void evaluations_exceeded(int cycle, int iter, long count, bool running_total);
    void no_change(int cycle, int iter, double step);
    // Adds a finished cycle's iterations and evaluations to the totals.
    void cycle_end(int iterations, int evaluations);

    // The closing block with the three summary reports; j is the residual
    // Jacobian at b, lo and hi the working bounds.
    void final(bool converged, std::span<const double> b, double f, std::span<const double> c,
               std::span<const double> lambda, const kalvor::Matrix& j, std::span<const double> res,
               std::span<const double> x, std::span<const double> lo, std::span<const double> hi, int nd,
               std::span<const int> mask) const;
    // Observed against fitted values for the first 30 rows.
    void comparison(std::span<const double> x, std::span<const double> y, std::span<const double> yfit,
                    std::span<const double> res, int nd) const;

private:
    bool on_;
    int iterations_ = 0;
    long evaluations_ = 0;
};

}  // namespace vmsqp_mod
