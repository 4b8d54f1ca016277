// The optimiser services installed into the cascade's seam.

#include "run/cascade.h"

#include "optimizers/adam.h"
#include "optimizers/evolutions.h"
#include "optimizers/gn_main.h"
#include "optimizers/gn_module.h"
#include "optimizers/marq.h"
#include "optimizers/mrt_a23.h"
#include "optimizers/tunnelsearch.h"
#include "optimizers/va10b.h"
#include "optimizers/varmetric.h"
#include "optimizers/vmsqp.h"
#include "run/bootstrap_data.h"

namespace cascade {

void install_services() {
    Services& s = services();
    // Services whose entry has the seam's arguments.
    s.tunnelsearch = tunnelsearch::tunnelsearch;
    s.adam = adam::adam;
    s.evol = evolutions::evol;
    s.varmetric = vmet::varmetric;
    s.bootstrap = bootstrap_data_mod::residual_bootstrap_regression;

    // Adapters of the others.
    s.vmsqp = [](VmsqpCall& c) {
        int mode = c.mode;
        vmsqp_mod::vmsqp(c.max_iterations, c.k, c.n, c.m, c.work_size, mode, c.sig, c.work, c.y, c.ycalc,
                         c.residuals, c.p, c.lo, c.hi, c.mask, c.value);
    };
    // The seam passes the trial switch before the start mode.
    s.va10b = [](int n, int k, std::span<double> p, double& value, std::span<double> hessian, int flag,
                 int start_mode, int limit, int& exit_code) {
        va10b_mod::va10b_optimizer(n, k, p, value, hessian, start_mode, flag, limit, exit_code);
    };
    // The seam's step is the initial damping, its status the print unit;
    // the cap is the adapter's own evaluation counter.
    s.a23mrt = [](int k, std::span<double> p, int n, float step, double& value, int cap, int& print_unit,
                  int mode) {
        int evaluations = cap;
        mrt_a23_mod::a23mrt(k, p, n, step, value, evaluations, print_unit, mode);
    };
    // The solver's own codes stay inside: the seam hears 128 when it did not
    // run, else 0 (it always returns the better of start and result).
    s.gn_main = [](int n, int k, std::span<double> p, double& value, int& status) {
        int info = 0;
        gn_module::gn_main(n, k, p, value, info);
        status = info == gn_main::status_input ? info : 0;
    };
    s.marq = [](MarqCall& c) {
        marq_mod::marq(c.n, c.m, c.ny, c.k, c.x, c.y, c.ycalc, c.flag, c.work1, c.work2, c.mode, c.sig, c.p, c.lo,
                       c.hi, c.se, c.ci, c.result, c.limit, c.iterations, c.value, c.flag2, c.iopt, c.status);
    };
}

}  // namespace cascade
