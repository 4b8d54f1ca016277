#pragma once
// The modified Bessel function of the first kind and order zero, less one.

namespace besti0_mod {

// |I0(|x|) - 1| by a truncated power series up to |x| = 4 and the
// asymptotic expansion above.  Beyond |x| = 690.782712893384, where exp
// overflows soon after, a three-line message goes to standard output and the
// value |exp(690.782712893384) - 1| is returned.  Not-a-number comes back
// unchanged.
double besti0(double x);

}  // namespace besti0_mod
