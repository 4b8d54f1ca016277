#pragma once
// Constrained variable-metric minimisation of the model's sum of squares
// within the parameter bounds.
//
// vmcon and vmcwd minimise f(x) = funct::fun at the parameters x (n of them,
// the free ones those with common_data::pmask nonzero) subject to the 2n
// bound constraints c(i) = x(i) - pboundlo(i) >= 0 (i < n) and
// c(n+i) = pboundhi(i) - x(i) >= 0. Every value comes from funct::calcfg.
// Each iteration solves a quadratic subproblem (qpsub) for a direction and
// Lagrange multipliers, polishes the point by an axial search along the free
// axes (axialsearch), and then takes a line search on the exact-penalty
// merit f + sum mu(i) * violation(i); Powell's damped BFGS formula updates
// the Hessian approximation B of the Lagrangian. vmcon uses a plain
// backtracking line search, vmcwd a watchdog line search that may take steps
// without sufficient decrease and falls back to the best point it remembers.
//
// Held parameters (pmask 0) never move: their step is exactly zero and their
// own bound constraints, which no step can change, are left out of the
// subproblem and of the merit function.
//
// Indexing is 0-based: parameter k (1..n) is element k-1, constraint i is
// element i-1 of c and column i-1 of cnorm. cnorm is a 25 x 50 matrix
// (row = parameter, column = constraint); row n of each column receives the
// relaxation coefficient of the subproblem.
//
// The module state (`a2`, `vmvdb`, the report streams) makes the routines
// non-reentrant: one optimisation at a time.

#include <array>
#include <iosfwd>
#include <span>

#include "foundations/matrix.h"

namespace vmcwd_vmcon_mod {

inline constexpr int max_variables = 24;    // n; the subproblem has n + 1
inline constexpr int qp_order = 25;         // rows of cnorm, order of B
inline constexpr int max_constraints = 50;  // columns of cnorm
inline constexpr int inverse_lda = 50;      // leading dimension of the inverses' blocks
inline constexpr double vlarge = 1e10;      // artificial bound on every step component

// Outcome codes (argument info).
inline constexpr int info_converged = 1;         // convergence test passed
inline constexpr int info_limit = 2;             // iteration (vmcon) or evaluation (vmcwd) limit
inline constexpr int info_line_search = 3;       // evaluation limit of one line search
inline constexpr int info_uphill = 4;            // the direction does not descend
inline constexpr int info_infeasible = 5;        // subproblem: no feasible point
inline constexpr int info_artificial_bound = 6;  // subproblem: artificial bound active or
                                                 // singular working matrix; vmcwd: B lost
                                                 // positive definiteness
inline constexpr int info_callback_failed = 7;   // funct::calcfg refused (built-in model)

// Start modes of vmcwd (argument info on entry).
inline constexpr int start_unconstrained = -111;  // also -110: no constraints, no start evaluation
inline constexpr int start_keep_info = -101;

// Constraint counts: m = meq + 2n, written by vmcon and vmcwd at start. No
// equality constraints are built, so meq is 0.
struct ConstraintCounts {
    int m = 0;
    static constexpr int meq = 0;
};
extern ConstraintCounts a2;

// Work data shared by the routines: multipliers, direction (components
// 0..n-1 the step in x, component n the relaxation factor of the
// subproblem), the Hessian approximation B (leading n x n block) and the
// saved point (vmcon: the start of the iteration; vmcwd: the best point).
struct WorkData {
    std::array<double, max_constraints> lambda{};
    std::array<double, qp_order> delta{};
    kalvor::Matrix b = kalvor::Matrix::identity(qp_order);
    std::array<double, qp_order> xsaved{};
};
extern WorkData vmvdb;

// Reports: the start-up and convergence reports and vmcon's messages go to
// the report stream, vmcwd's messages and iteration reports to the console
// stream. Both are standard output until set; reset_streams restores that.
void set_streams(std::ostream& report, std::ostream& console);
void reset_streams();

// Minimise from x. maxit: iteration limit (niter above it ends the call);
// tol: the convergence test value to reach; iprint: < 0 silent, >= 0
// start-up and convergence reports, >= 1 also the final message; info: in,
// ignored (every subproblem starts fresh); out, the outcome code; maxls:
// evaluation limit of one line search (at most maxls - 1 trial points are
// judged); conv: the last convergence test value; niter: incremented per
// iteration, never reset; nrun: only printed; qpmode: start mode of the
// subproblem. On return x, f, g, c and cnorm belong to one evaluated point:
// the last accepted one, or the line-search start after info 3.
// Throws std::out_of_range, before any work, for n outside 1..24 or vectors
// shorter than n (x, g) or 2n (c).
void vmcon(int n, std::span<double> x, double& f, std::span<double> g, std::span<double> c,
           kalvor::Matrix& cnorm, int maxit, double tol, int iprint, int& info, int maxls, double& conv,
           int& niter, int nrun, int qpmode);

// The signature vmcon and vmcwd share.
using Optimiser = void (*)(int n, std::span<double> x, double& f, std::span<double> g, std::span<double> c,
                           kalvor::Matrix& cnorm, int maxit, double tol, int iprint, int& info, int maxls,
                           double& conv, int& niter, int nrun, int qpmode);

// As vmcon with the watchdog line search. maxit is here the limit on the
// evaluations of the call, conv and niter start at 0, and info selects the
// start (start_unconstrained, start_keep_info, anything else normal). On an
// error return x is the remembered point when it has the lower merit.
// iprint >= 1 also prints an iteration report every iprint iterations.
void vmcwd(int n, std::span<double> x, double& f, std::span<double> g, std::span<double> c,
           kalvor::Matrix& cnorm, int maxit, double tol, int iprint, int& info, int maxls, double& conv,
           int& niter, int nrun, int qpmode);

// Quadratic subproblem: minimise g'd + d'Bd/2 (B from vmvdb) over the step d
// subject to the linearised constraints, relaxed by the factor d(n) in
// [0, 1]: constraint i reads cnorm(.,i)'d + r(i) d(n) = b(i) (i < meq) or
// >= b(i), with r(i) = c(i), b(i) = 0 for an equality or a violated
// inequality and r(i) = 0, b(i) = -c(i) otherwise; r(i) is stored in
// cnorm(n, i). Leaves d in vmvdb.delta and the multipliers in vmvdb.lambda
// (0 for inactive constraints). info out: 1 normal, 5 no feasible point,
// 6 an artificial bound active or a singular working matrix (delta then
// holds the last feasible point reached, always finite). Every call starts
// fresh. qpmode < 3 starts with the relaxation factor held at 0, qpmode 5
// lets it move from the start, other values also start with the
// inequalities that hold with equality at the zero step.
void qpsub(int n, int m, int meq, std::span<const double> g, std::span<const double> c, kalvor::Matrix& cnorm,
           int iprint, int& info, int qpmode);

// Inverse of the leading n x n block of the column-major matrix a (leading
// dimension lda) in place, by LU factors with row interchanges (pivot: the
// first entry of largest magnitude). Returns false, and the block must not
// be used, when a pivot is zero or an entry of the inverse is not finite.
[[nodiscard]] bool mb01cd2(std::span<double> a, int n, int lda = inverse_lda);
// The same inverse; the subproblem uses it for its Hessian block.
[[nodiscard]] bool mb01bd(std::span<double> a, int n, int lda = inverse_lda);

// Coordinate search: tiny trial moves along each free axis (20 passes with
// halving steps, at most 40n evaluations), then the kept point is pulled
// inside the bounds by check_parameter_bounds::tanh_bounds5 when it lies on
// or outside one. On entry f, g, c and cnorm belong to x; on return x is the
// kept point and f, g, c, cnorm are its values. Returns false when
// funct::calcfg refused (x then is the kept point).
[[nodiscard]] bool axialsearch(int n, double& f, std::span<double> x, std::span<double> g, std::span<double> c,
                               kalvor::Matrix& cnorm);

}  // namespace vmcwd_vmcon_mod
