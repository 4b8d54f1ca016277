#include "foundations/besseli0.h"

#include <cmath>
#include <iostream>

#include "foundations/fortran_io.h"

namespace besti0_mod {

double besti0(double x) {
    constexpr double xmin = 2.980232238769531e-7;
    constexpr double xmax = 690.782712893384;
    const double a = std::fabs(x);

    if (std::isnan(a)) return a;
    if (a < xmin) return 0.0;
    if (a <= 4.0) {
        const double a2 = a * a, a4 = a2 * a2, a6 = a4 * a2, a8 = a4 * a4, a10 = a8 * a2;
        const double s = 1.0 + a2 / 4.0 + a4 / 64.0 + a6 / 2304.0 + a8 / 147456.0 + a10 / 14745600.0;
        return std::fabs(s - 1.0);
    }
    if (a <= xmax) {
        const double a2 = a * a, a3 = a2 * a, a4 = a2 * a2, a5 = a4 * a;
        const double s = 1.0 + 1.0 / (8.0 * a) + 9.0 / (128.0 * a2) + 225.0 / (3072.0 * a3) +
                         11025.0 / (98304.0 * a4) + 893025.0 / (3932160.0 * a5);
        return std::fabs(std::exp(a) * s / std::sqrt(6.283185307179586 * a) - 1.0);
    }
    std::cout << " BesselI0 - Fatal error!\n"
              << " |x| is greater than xmax.\n"
              << fortran_io::write("(a, F14.3, 1x, a, F14.3)", {"Xmax=", xmax, " |x|=", a}) << '\n'
              << std::flush;
    return std::fabs(std::exp(xmax) - 1.0);
}

}  // namespace besti0_mod
