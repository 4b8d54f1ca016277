#include "run/optimizer_services.h"

#include "optimizers/evolutions.h"
#include "optimizers/gn_main.h"
#include "optimizers/gn_module.h"

namespace optimizer_services {

void gauss_newton(int n, int k, std::span<double> p, double& value, int& status) {
    int info = 0;
    gn_module::gn_main(n, k, p, value, info);
    status = info == gn_main::status_input ? info : 0;
}

void evolution(int n, int k, std::span<double> p, double& value, int& generations, int cap) {
    evolutions::evol(n, k, p, value, generations, cap);
}

}  // namespace optimizer_services
