#pragma once
// Peirce's criterion for rejecting doubtful observations.

// The largest ratio of a deviation to the standard deviation that an
// observation may have, among N observations with n of them doubtful and m
// quantities estimated by the model (Gould's iteration).  ratio is 0 when the
// criterion is undefined: N <= 1, n < 1 or n >= N, or too many observations
// for the convergence tolerance.
void peirce_criterion(int N, int n, int m, double& ratio);
