#pragma once
// The objective callback that the fitting driver hands to its own searches
// and to the optimisers: f(p, n, value) stores the weighted sum of squared
// residuals of the model at the parameter vector p (n entries, all
// parameters, held ones included) in value.

#include <functional>
#include <span>

namespace kalvor {

using Objective = std::function<void(std::span<const double> p, int n, double& f)>;

}  // namespace kalvor
