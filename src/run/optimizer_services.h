#pragma once
// Adapters of the Gauss-Newton solver and the differential evolution to the
// cascade's seam (cascade::Services::gn_main and ::evol).

#include <span>

namespace optimizer_services {

// gn_module::gn_main on n rows and k parameters.  status: 128 when the solver
// did not run, else 0 (it always returns the better of start and result).
void gauss_newton(int n, int k, std::span<double> p, double& value, int& status);

// evolutions::evol on n rows and k parameters, generations run and cap as is.
void evolution(int n, int k, std::span<double> p, double& value, int& generations, int cap);

}  // namespace optimizer_services
