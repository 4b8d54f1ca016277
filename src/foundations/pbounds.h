#pragma once
// An older bound pull for parameters: active parameters outside a band just
// inside their bounds are pulled back into the bounds.

#include <span>

namespace pbounds4_mod {

// For the active parameters (mask nonzero) among p[0..n-1]: a parameter
// inside its band stays; one outside is moved inside its bounds lo..hi and
// the relative sizes of the moves scale s by (2 S + 1).  status: 0 done,
// 1 n < 1, 2 some lo >= hi (or a bound not a number), 3 some hi - lo below
// 1e-12; nothing moves unless it is 0.
void pbounds4(std::span<double> p, int n, std::span<const double> lo, std::span<const double> hi,
              std::span<const int> mask, double& s, int& status);

}  // namespace pbounds4_mod
