// The optimiser services installed into the cascade's seam.

#include "run/cascade.h"
#include "run/optimizer_services.h"

namespace cascade {

void install_services() {
    Services& s = services();
    s.gn_main = optimizer_services::gauss_newton;
    s.evol = optimizer_services::evolution;
}

}  // namespace cascade
