#pragma once
// The Levenberg-Marquardt entry of the cascade's seam.

#include "run/cascade.h"

namespace cascade {

// Runs marq_mod::marq with the 24 arguments of call, in their order.
void marq_service(MarqCall& call);

}  // namespace cascade
