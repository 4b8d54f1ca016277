// The optimiser services installed into the cascade's seam.

#include "run/cascade.h"
#include "run/marq_service.h"

namespace cascade {

void install_services() {
    Services& s = services();
    s.marq = marq_service;
}

}  // namespace cascade
