#include "foundations/timeit.h"

#include "foundations/runtime.h"

namespace timeit_mod {
namespace {

double clock_t0 = 0.0;  // clock reading at the last restart
double clock_tt = 0.0;  // last result

float cpu_t0 = 0.0f;
float cpu_tt = 0.0f;

}  // namespace

double timeclock(int& flag) {
    const double now = runtime::monotonic_seconds();
    if (flag != 0) {
        flag = 0;
        clock_t0 = now;
        clock_tt = 0.0;
        return 0.0;
    }
    clock_tt = (now - clock_t0) + clock_tt;
    return clock_tt;
}

void timeit(int& flag) {
    const auto now = static_cast<float>(runtime::cpu_time());
    if (flag != 0) {
        flag = 0;
        cpu_t0 = now;
        cpu_tt = 0.0f;
        return;
    }
    cpu_tt = (now - cpu_t0) + cpu_tt;
}

float timeit_value() { return cpu_tt; }

double elapsed() { return runtime::monotonic_seconds() - clock_t0; }

}  // namespace timeit_mod
