#pragma once
// The parameter line of the run display: the current parameter values as one
// text, "[ P1=1.0000000, P2=... ]", each value written with "G16.8".

#include <span>

#include "foundations/fixed_text.h"

namespace sharc {

// text (normally 256 characters) = the line for p(1..n), left-adjusted and
// blank-padded, cut at its declared length.  Nine or more parameters show
// the first one only, "( P(1) = ... )"; n < 1 gives a blank text.
void displaypar(std::span<const double> p, int n, kalvor::FixedText& text);

}  // namespace sharc
