#pragma once
// Smoothing of residual series: a repeated moving average (the residual
// plot's trend line), seven-point quartic smoothing, piecewise parabolic
// interpolation and the Reinsch smoothing spline.
//
// The series are single precision, the spline double precision.  Below the
// least size each routine needs (or with equal x where it divides by x
// differences) a routine hands its input back unchanged.

#include <span>

namespace reinsch {

// ys = npass (clamped to 1..4, written back) passes of the moving average of
// window m over y[0..n-1]; iend = 1 fills the ends with shorter windows.
// Values are kept within 1e-16..1e16 in magnitude.  Needs n >= m.
void bestsmooth(std::span<float> ys, std::span<const float> y, int n, int m, int& npass, int iend);

// Seven-point smoothing with the degree-four Savitzky-Golay weights, up to
// 20 passes; a series that changes too much is restored.  Needs n >= 3.
void quarticsmooth(std::span<float> y, int n);

// yi = the parabola through the three points nearest each x(j), evaluated
// at x(j) (lines and the single value for n < 3).
void parabolicinterpol(int n, std::span<const float> x, std::span<const float> y, std::span<float> yi);

// Reinsch smoothing spline of the points (xy(i,0), xy(i,1)), i < n, rows of
// an n x 7 column-major table: column 1 becomes the smoothed values, columns
// 2..6 the slope b, the residual, the curvature 2c, the cubic coefficient d
// and the weight.  mode 2 (n >= 5) then replaces three entries by
// five-point cubic formulas scaled as the routine always has: the second
// smoothed value (factor 1.1), the last but one slope (factor 1.3) and the
// last curvature (2.2 c + 6 d h of the last interval).  s scales the
// weights.  Needs n >= 3 and increasing x.
void reinschsmoothing(int n, std::span<double> xy, int mode, float s);

}  // namespace reinsch

namespace parabolicinterpol {

// yq(k) = the parabola through (x3, y3) at xq(k), k < m.
void threept_parab_interp(int m, std::span<const float> x3, std::span<const float> y3, std::span<const float> xq,
                          std::span<float> yq);

}  // namespace parabolicinterpol
