#include "run/marq_service.h"

#include "optimizers/marq.h"

namespace cascade {

void marq_service(MarqCall& c) {
    marq_mod::marq(c.n, c.m, c.ny, c.k, c.x, c.y, c.ycalc, c.flag, c.work1, c.work2, c.mode, c.sig, c.p, c.lo, c.hi,
                   c.se, c.ci, c.result, c.limit, c.iterations, c.value, c.flag2, c.iopt, c.status);
}

}  // namespace cascade
