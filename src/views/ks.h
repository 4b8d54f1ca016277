#pragma once
// Two-dimensional two-sample Kolmogorov-Smirnov test of the positive
// against the negative residuals: the centred residuals are split by sign
// (the negative ones by magnitude), each group sorted and rescaled, and each
// value becomes the point (rank fraction, value); the quadrant-count
// statistic D compares the two point sets.

#include <span>

namespace split_array_mod {

// Sorts x[0..n-1] in place: k = 1 ascending, -1 descending, 2 and -2 the
// same moving y along.  n < 1 or another k writes a line to standard output
// and sorts nothing.
void ssort(std::span<double> x, std::span<double> y, int n, int k);

// Sample standard deviation of x[0..n-1]; 0 for n < 2.
void rvec_stdev(int n, std::span<const double> x, double& sd);

// Splits x[0..n1-1] (n1 = n on entry) into group 1 (the smaller group; the
// positive one on equal sizes) and group 2, sorted ascending, the negative
// residuals by magnitude; flag != 0 rescales each group.
void splitgroup(std::span<const double> x, std::span<double> g1, std::span<double> g2, int& n1, int& n2, int flag);

}  // namespace split_array_mod

namespace ks2d2s {

// Fractions of the points (xx, yy) in the four quadrants around (x, y):
// fa above right, fb above left-or-on, fc below-or-on left-or-on, fd the rest.
void quadct(double x, double y, std::span<const double> xx, std::span<const double> yy, double& fa, double& fb,
            double& fc, double& fd);

}  // namespace ks2d2s

namespace ks1_mod {

// The two-dimensional two-sample statistic d of the point sets (x1, y1) and
// (x2, y2) and its significance prob.
void ks2d2s(int n1, std::span<const double> x1, std::span<const double> y1, int n2, std::span<const double> x2,
            std::span<const double> y2, double& d, double& prob);

}  // namespace ks1_mod

namespace ks2_mod {

// The test of the residuals x[0..n-1]: group sizes, the 5% critical value
// dcrit, the statistic d and its significance.  An empty group gives d = 0,
// dcrit = 1, prob = 1.
void ks2(std::span<const double> x, int n, int flag, int& n1, int& n2, double& dcrit, double& d, double& prob);

}  // namespace ks2_mod
