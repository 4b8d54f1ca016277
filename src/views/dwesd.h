#pragma once
// The Durbin-Watson statistic of regression residuals with the mean and
// standard deviation it has under no serial correlation, the two-sided 5%
// significance points around that mean and a serial correlation
// coefficient, all in single precision.

#include <span>

namespace dwesd_mod {

// x is the n x m regressor matrix (column-major), overwritten by its
// factorisation; d the statistic, e and s its mean and standard deviation,
// dl and du the significance points, rho the correlation coefficient.
// ierr = -3 (d = -9999.9, the rest untouched) when n <= max(m, 4); the
// column index of a zero diagonal element of the triangular factor when X
// has dependent columns; 0 otherwise.
void dwesd(std::span<float> x, int n, int m, float& d, float& e, float& s, float& dl, float& du, float& rho,
           int& ierr);

// t1 = trace(b'a); t2 = trace((b'a)^2) when mode = 2, else 0.  a and b are
// m x m with leading dimensions lda and ldb.
void traces(std::span<const float> a, int lda, std::span<const float> b, int ldb, int m, float& t1, float& t2,
            int mode);

}  // namespace dwesd_mod
