// The optimiser services installed into the cascade's seam.

#include "run/cascade.h"

#include "optimizers/va10b.h"
#include "optimizers/varmetric.h"
#include "optimizers/vmsqp.h"
#include "run/bootstrap_data.h"

namespace cascade {

void install_services() {
    Services& s = services();
    s.vmsqp = [](VmsqpCall& c) {
        int mode = c.mode;
        vmsqp_mod::vmsqp(c.max_iterations, c.k, c.n, c.m, c.work_size, mode, c.sig, c.work, c.y, c.ycalc,
                         c.residuals, c.p, c.lo, c.hi, c.mask, c.value);
    };
    s.varmetric = [](const VmObjective& f, int k, std::span<double> p, double& value, int& status) {
        vmet::varmetric(f, k, p, value, status);
    };
    // The seam passes the trial switch before the start mode.
    s.va10b = [](int n, int k, std::span<double> p, double& value, std::span<double> hessian, int flag,
                 int start_mode, int limit, int& exit_code) {
        va10b_mod::va10b_optimizer(n, k, p, value, hessian, start_mode, flag, limit, exit_code);
    };
    s.bootstrap = bootstrap_data_mod::residual_bootstrap_regression;
}

}  // namespace cascade
