#include "foundations/prec.h"

namespace prec_mod {

double prec(int iflag) {
    // Volatile keeps every sum rounded to double, as the measurement needs.
    volatile double e = 0.5;
    for (int k = 0; k < 26; ++k) e = e * 0.25;
    e = e * 2.0;

    // The radix: the first b for which adding e no longer changes b.
    volatile double b = 1.0;
    do {
        b = b + 1.0;
    } while (e + b > b);

    // The largest power of the radix that still vanishes beside 1, times b.
    e = 1.0;
    do {
        e = e / b;
    } while (e + 1.0 > 1.0);
    e = e * b;

    return iflag == 1 ? 1.0 / e : e;
}

}  // namespace prec_mod
