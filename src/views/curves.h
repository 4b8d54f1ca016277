#pragma once
// The curves (data sets) of a fit: runs of rows with the same curve id.

#include <span>
#include <vector>

namespace curves {

inline constexpr int max_curves = 999;

struct Curve {
    int first = 0;  // 0-based first row
    int rows = 0;
};

// Splits rows 0..nd-1 where id changes from the row before; at most
// max_curves curves (the rows from where a further one would begin are
// left out). nd is clamped to the ids given.
std::vector<Curve> split(std::span<const int> id, int nd);

// Rows of the longest curve, 0 for none.
int longest(const std::vector<Curve>& c);

}  // namespace curves
