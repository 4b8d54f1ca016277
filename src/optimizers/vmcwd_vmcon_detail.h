#pragma once
// Helpers shared by the routines of vmcwd_vmcon_mod (not for other callers).

#include <ostream>
#include <span>
#include <vector>

#include "foundations/matrix.h"

namespace vmcwd_vmcon_mod::detail {

// 1.0e25 and 1e-24 as single-precision constants.
inline constexpr double huge_value = static_cast<double>(1.0e25f);
inline constexpr double tiny_value = static_cast<double>(1e-24f);

// Parameter j (0-based) is held by common_data::pmask.
bool held(int j);

// Constraint i can be changed by a step of the free parameters: its
// gradient column has a nonzero entry in a free row.
bool movable(const kalvor::Matrix& cnorm, int i, int n);

// Violation of constraint i with value ci (equalities: i < meq).
double violation(int i, int meq, double ci);

// Sum of mu(i) * violation(i) over the movable constraints.
double penalty(std::span<const double> mu, std::span<const double> c, const kalvor::Matrix& cnorm, int n, int m,
               int meq);

// glag = g - sum of lambda(i) * column i of cnorm over nonzero multipliers.
void lagrangian_gradient(int n, int m, std::span<const double> g, const kalvor::Matrix& cnorm,
                         std::span<double> glag);

// Damped BFGS update of B (vmvdb) with step s and gradient change y: when
// s'y < sigma s'Bs, y is mixed with Bs so that s'y = sigma s'Bs. Skipped
// when s'Bs <= 2e-12 or the update would give a non-finite entry.
void damped_bfgs(int n, std::span<const double> s, std::span<double> y, double sigma);

// B = identity in its leading n x n block.
void reset_metric(int n);

// x = xa + alpha * d on the free parameters, kept within their bounds (the
// subproblem respects the bounds; this removes rounding beyond them).
void trial_point(int n, std::span<const double> xa, std::span<const double> d, double alpha, std::span<double> x);

// funct::calcfg at x with the 2n bound constraints in c(0..2n-1) and
// columns 0..2n-1 of cnorm (25 x 50, other columns 0). False when calcfg
// refused.
bool evaluate(int n, std::span<double> x, double& f, std::span<double> g, std::span<double> c,
              kalvor::Matrix& cnorm);

// The subproblem at x, then the axial search; when that moved x, the
// subproblem again, so that delta and lambda belong to the returned point.
// False when funct::calcfg refused.
bool direction(int n, int m, int meq, double& f, std::span<double> x, std::span<double> g, std::span<double> c,
               kalvor::Matrix& cnorm, int iprint, int& info, int qpmode);

// Throws std::out_of_range unless 1 <= n <= 24 and the vectors are long
// enough (x, g: n; c: 2n); sizes cnorm to 25 x 50.
void check_sizes(int n, std::span<const double> x, std::span<const double> g, std::span<const double> c,
                 kalvor::Matrix& cnorm, const char* who);

// The evaluated point of a call, kept to return to it.
struct Point {
    std::vector<double> x, g, c;
    kalvor::Matrix cnorm;
    double f = 0.0;
    void save(std::span<const double> x_, double f_, std::span<const double> g_, std::span<const double> c_,
              const kalvor::Matrix& cnorm_);
    void restore(std::span<double> x_, double& f_, std::span<double> g_, std::span<double> c_,
                 kalvor::Matrix& cnorm_) const;
};

std::ostream& report();
std::ostream& console();

// Start-up report of both optimisers (report stream).
void print_startup(int nrun, int n, int m, int meq, int maxit, int maxls, int iprint, double tol);
// Convergence report (report stream).
void print_convergence(double conv);

}  // namespace vmcwd_vmcon_mod::detail
