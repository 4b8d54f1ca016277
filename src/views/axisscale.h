#pragma once
// Axis scaling: neat axis limits and steps for a data range.
//
// neatscale widens the range by 5% and puts its limits on whole multiples
// of a step 5 * 10^e * 2^m, taking in zero when the data lie close to it.
// The other routines are alternatives beside it: nicescale/nicezscale (the
// same step rule without the widening), scale1..scale3 (the classic
// linear, fixed-count and logarithmic scales of computer-made plots),
// scale4 and axis4 (a scale and its tick labels with status codes),
// scaledist (a rounded tick distance) and ascl (1, 2 or 5 times a power of
// ten). Every routine ends: input that is reversed, empty or not finite
// gives finite limits that cover the data or a failure status.

#include <vector>

namespace axisscale {

// a, b: data minimum and maximum in, axis limits out; step out; n the
// intervals wanted. A reversed range is taken in order, a range of zero
// width at 0 as [0, 1]. Returns false (a, b left as given, step 0) when a
// or b is not finite or the limits would not be.
bool neatscale(double& a, double& b, double& step, int n = 20);

// The step rule of neatscale on the range itself (no widening, no covering
// adjustments); limits below 1e-16 in magnitude become 0. A range of one
// value is widened by 5% around it (to [0, 1] at zero). False as neatscale.
bool nicezscale(double& zmin, double& zmax, double& zstep);  // 30 intervals
bool nicescale(double& xmin, double& xmax, double& xstep,    // 30 intervals
               double& zmin, double& zmax, double& zstep);   // 15 intervals

// Classic scales. Each returns false, writing "IMPROPER INPUT SUPPLIED TO
// SCALEk" on standard output, for input it cannot scale (reversed or empty
// range, n too small, not finite, and for scale3 xmin <= 0); the outputs
// are then left alone, except that scale2 sets xminp = xmin and
// xmaxp = 1.1 * xmax.
// scale1: intervals 1, 2, 3, 5 or 10 times a power of ten, the maximum
// stretched by 30% first.
bool scale1(double xmin, double xmax, int n, double& xminp, double& xmaxp, double& dist);
// scale2: exactly n intervals from 1, 2, 3, 5, 8, 10, 20 times a power of ten.
bool scale2(double xmin, double xmax, int n, double& xminp, double& xmaxp, double& dist);
// scale3: n logarithmic intervals; dist is the ratio between ticks.
bool scale3(double xmin, double xmax, int n, double& xminp, double& xmaxp, double& dist);

// scale4: an axis of n ticks (n - 1 intervals) labelled every m-th tick.
// On success the ticks start + i * step (i = 0..n-1) cover [xmin, xmax],
// step * (n - 1) = v * 10^exponent with v from 12, 15, 20, 25, 30, 40, 50,
// 60, 80, 100, 120, 150. Status: 0 ok; the sum of 1 (xmin > xmax),
// 2 (n <= 1 or n > 10000), 4 (m < 1 or m >= n; always with n <= 1) when the
// input is refused; -1 when a range too narrow to scale was widened to take
// in 0 (or to [0, 1]). Non-finite limits give status 1.
struct Scale4 {
    double start = 0.0;
    double step = 0.0;
    int exponent = 0;
    int labels = 0;  // (n - 1) / m + 1 labelled ticks
};
int scale4(double xmin, double xmax, int n, int m, Scale4& out);

// axis4: tick labels for nticks evenly spaced ticks from xmin to xmax, each
// label at most width characters. The values are written as mantissa
// 10^exponent with `decimals` digits after the point, the fewest that tell
// neighbouring ticks apart. Status: 0 ok; 1 fewer than 2 ticks; 2 an empty,
// reversed or non-finite range; 4 a label would need more than `width`
// characters; 16 no digit count up to 15 tells the ticks apart.
struct Axis4 {
    std::vector<double> ticks;
    int width = 0;     // characters of the widest label
    int decimals = 0;
    int exponent = 0;  // the labels show tick / 10^exponent
};
int axis4(double xmin, double xmax, int nticks, int width, Axis4& out);

// A rounded tick distance for n intervals of [xmin, xmax]: the whole part of
// the raw distance plus its fraction rounded to 1, 2, 3, 5 or 10 units of
// its first digit. False (dist 0) for a reversed range, n < 1 or
// non-finite input.
bool scaledist(double xmin, double xmax, int n, double& dist);

// ascl: an automatic scale of n (1..20) intervals of 1, 2 or 5 times a power
// of ten. False (all results 0) for n outside 1..20, a range of zero width
// at 0, or non-finite input.
struct Ascl {
    int intervals = 0;  // (high - low) / interval
    int minor = 0;      // minor ticks: 4 or 5 per interval
    double low = 0.0;
    double high = 0.0;
    double interval = 0.0;
    int decade = 0;     // label format: 0 when fewer than 6 digits are needed, else at least 11
};
bool ascl(int n, double xmin, double xmax, Ascl& out);

}  // namespace axisscale
