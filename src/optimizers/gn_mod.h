#pragma once
// Settings and work state of the trust-region Gauss-Newton solver
// (gn_module::gn_main).
//
// The settings are static data that nothing in the program changes; the work
// state holds the counters of the last run and, during a run, the state of
// its last accepted step.  Vectors run over the active parameters (those
// whose common_data::pmask entry is nonzero), residual vectors over the rows.

#include <vector>

#include "foundations/fixed_text.h"
#include "foundations/matrix.h"

namespace gn_mod {

// ---- settings ----
extern double zlow;      // lower clamp of the trust-radius change factor (0.65)
extern double zhigh;     // upper clamp of the trust-radius change factor (2.0)
extern double zcpmin;    // lower limit of the Cauchy step length (0.5)
extern double zcpmax;    // Cauchy step length at most zcpmax x active count (250.0)
extern double zcp;       // factor on the raw Cauchy step length (0.6)
extern double zconsec;   // growth base of the radius after consecutive accepted steps (1.005)
extern double stptol;    // step tolerance, floor of the scale and of step lengths (1e-6)
extern double reltol;    // relative tolerance on the change of the sum of squares (1e-8)
extern int mxbad;        // bad rank-1 updates tolerated before a full Jacobian (1)
extern int limit;        // iteration limit and limit on counted evaluations (200)
extern int iscale;       // 1 variable scale, 2 fixed scale from d0, else the fixed start scale
extern kalvor::Text<30> histfile;  // history file name ("GNHIST.TXT"; written when ihist > 0)
extern double derivstp;  // relative step of the finite-difference Jacobian (1e-6)
extern double abstol;    // absolute tolerance on the sum of squares (1e-12)

// ---- work state ----
extern int iter;         // iterations of the last run
extern int nfcn;         // counted residual evaluations of the last run
extern int nconsecmax;   // longest run of consecutive accepted steps
extern int ihookmax;     // most hook passes used
extern int newtstep1st;  // nonzero: take the whole Newton step in the first iteration
extern int iprint;       // trace level (nothing sets it)
extern int ihist;        // history-file unit (nothing sets it)
extern double hnorm;     // shift increment of gn_main::gn_chol
extern double mu0;       // shift of the last accepted step
extern double del0;      // trust radius of the last accepted step
extern std::vector<double> d0;   // scale vector
extern kalvor::Matrix jac0;      // Jacobian, rows x active
extern kalvor::Matrix h0;        // normal matrix, active x active
extern std::vector<double> r0;   // residuals of the last accepted point

}  // namespace gn_mod
