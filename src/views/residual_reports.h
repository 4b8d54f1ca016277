#pragma once
// The texts of the six tests of the residuals window, each a pure function
// of the fit data: the explanation of the test, its numbers and a verdict.
// Line breaks are a line feed followed by one blank.  A statistic that is
// not a finite number, or a test that cannot be made on the data, gets a
// sentence saying so instead of a verdict.
//
// Residuals are observed minus fitted (yd - ydf) throughout, as in the
// results file and the x/y data table; ydr holds the normalised residuals of
// the rows.

#include <span>
#include <string>

namespace residual_reports {

// Runs up and down of the residuals against Levene's expected counts, at
// p = 1%; the counts are those of the results file.
std::string runs(std::span<const double> yd, std::span<const double> ydf);

// F = n m^2 / s^2 of the residual mean m and standard deviation s, with 1
// and n - 1 degrees of freedom, and its percent confidence level: the
// two-sided p-value of the one-sample t test, in percent.
std::string f_test(std::span<const double> yd, std::span<const double> ydf);

// Kuiper's V of the standardised residuals against the normal distribution.
std::string kuiper(std::span<const double> yd, std::span<const double> ydf);

// Two-dimensional Kolmogorov-Smirnov D of the positive against the negative
// residuals.
std::string kolmogorov_smirnov(std::span<const double> yd, std::span<const double> ydf);

// Durbin-Watson D of the normalised residuals in row order.
std::string durbin_watson(std::span<const double> ydr);

// Hotelling's T-squared outlier list (at most 25 rows) with the first X
// variable xd of each listed row.
std::string t_squared(std::span<const double> xd, std::span<const double> yd, std::span<const double> ydf);

}  // namespace residual_reports
