// The optimiser services installed into the cascade's seam.

#include "optimizers/vmsqp.h"
#include "run/cascade.h"

namespace cascade {

void install_services() {
    Services& s = services();
    s.vmsqp = [](VmsqpCall& c) {
        int mode = c.mode;
        vmsqp_mod::vmsqp(c.max_iterations, c.k, c.n, c.m, c.work_size, mode, c.sig, c.work, c.y, c.ycalc,
                         c.residuals, c.p, c.lo, c.hi, c.mask, c.value);
    };
}

}  // namespace cascade
