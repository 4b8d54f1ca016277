// The optimiser services installed into the cascade's seam.

#include "run/cascade.h"

namespace cascade {

void install_services() {
    Services& s = services();
    (void)s;
}

}  // namespace cascade
