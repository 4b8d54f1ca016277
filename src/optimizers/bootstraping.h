#pragma once
// Bootstrap standard error of the mean of a single-precision sample, with a
// 95% Student-t value chosen by the sample size.  All arithmetic is single
// precision; resamples draw from runtime::random_number.

#include <span>

namespace bootstraping {

// sd = standard deviation of the means of nboot resamples of x(1..n) (the
// first is x itself; 0 when nboot < 2); t = the two-sided 95% t value for n
// (2.0 for n < 1, a table to 20, approximations beyond, 1.96 in the limit).
// The third argument is a spare array the routine has always taken and
// never reads.
void bootstraping(int n, std::span<const float> x, std::span<const float> spare, int nboot, float& t, float& sd);

// Running mean of v; 0 for an empty v.
float mean(std::span<const float> v);

// r(i) = x(j) with j uniform in 1..n, for i = 1..n (n = x.size()).
void bootstrap_resample(std::span<const float> x, std::span<float> r);

// Sorts a ascending by quicksort.
void qsort_array(std::span<float> a);
void qsort_dbl(std::span<float> a);
// Hoare partition around a(1); returns the 1-based start of the upper part.
std::size_t dbl_partition(std::span<float> a);

}  // namespace bootstraping
