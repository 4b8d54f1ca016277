#include "run/sharc.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <stdexcept>
#include <vector>

#include "foundations/prec.h"
#include "foundations/random.h"
#include "foundations/runtime.h"
#include "foundations/timeit.h"
#include "model/funct.h"
#include "run/cascade.h"
#include "run/outlines.h"
#include "run/postfit.h"
#include "run/progress.h"
#include "run/sharc_objective.h"

namespace sharc {

void shuffle(std::span<double> v, int n) {
    if (n < 2) return;
    const auto count = static_cast<std::size_t>(n);
    std::vector<int> entry(count + 1, 0);  // entry[t], t = 1..n
    std::size_t filled = 0;
    for (std::size_t attempts = 0; filled < count && attempts < 10 * count; ++attempts) {
        const double scaled = static_cast<double>(filled + 1) * v[filled];
        if (!(scaled > -1.0 && scaled < static_cast<double>(n))) continue;  // also NaN
        const int j = static_cast<int>(scaled) + 1;
        if (j >= 1 && j <= n) entry[++filled] = j;
    }
    for (std::size_t t = count; t >= 2; --t) {
        const auto other = static_cast<std::size_t>(std::min(std::max(entry[t], 1), n));
        std::swap(v[t - 1], v[other - 1]);
    }
}

}  // namespace sharc

namespace sharc_mod {

namespace {

constexpr float restart_factor = 1.01f;  // start value of an unbounded fit, x fssqr

std::size_t count_of(int n) { return static_cast<std::size_t>(std::max(n, 0)); }

void check_arguments(const SharcArgs& a) {
    const auto n = count_of(a.n), k = count_of(a.k), m = count_of(a.m);
    const bool sizes_ok = a.n >= 1 && a.n <= common_data::max_rows && a.k >= 1 &&
                          a.k <= common_data::param_slots && a.m >= 1 && a.m <= common_data::max_x &&
                          a.x.rows() >= n && a.x.cols() >= m && a.y.size() >= n && a.sig.size() >= n &&
                          a.p.size() >= k && a.mask.size() >= k && a.lo.size() >= k && a.hi.size() >= k &&
                          a.restart != nullptr;
    if (!sizes_ok) throw std::invalid_argument("sharc: argument sizes do not match n, m and k");
}

// Start values of free parameters too close to 0 to take a relative step
// move to sqrt(2 eps), and their bounds at or near 0 move off it.
void lift_tiny_start_values(sharc::DriverState& s, double eps) {
    const double tiny = 2.0 * eps;
    for (std::size_t j = 0; j < s.p.size(); ++j) {
        double& p = s.p[j];
        if (s.mask[j] == 0 || p == 0.0 || std::fabs(p) > tiny) continue;
        p = std::copysign(std::sqrt(tiny), p);
        if (s.ahibnd[j] == 0.0) s.ahibnd[j] = tiny;
        if (s.alobnd[j] == 0.0)
            s.alobnd[j] = tiny;
        else if (std::fabs(s.alobnd[j]) <= tiny)
            s.alobnd[j] = std::copysign(tiny, s.alobnd[j]);
    }
}

// The data, counts and start vector of the fit become the shared fit data.
void publish(const sharc::DriverState& s, const SharcArgs& a) {
    using namespace common_data;
    ndwt = a.mode;
    nxd = a.m;
    npr = a.k;
    nd = a.n;
    const auto rows = count_of(a.n);
    for (std::size_t i = 0; i < rows; ++i) xd[i] = a.x(i, 0);
    if (a.m >= 2)
        for (std::size_t i = 0; i < rows; ++i) xd2[i] = a.x(i, 1);
    else
        xd2.fill(0.0);
    if (a.m == 3)
        for (std::size_t i = 0; i < rows; ++i) xd3[i] = a.x(i, 2);
    else
        xd3.fill(0.0);
    std::copy(s.y.begin(), s.y.end(), yd.begin());
    std::copy(s.ycalc.begin(), s.ycalc.end(), ydf.begin());
    std::copy(s.sig.begin(), s.sig.end(), ysig.begin());
    std::copy(s.p.begin(), s.p.end(), pfinal.begin());
}

void fill_pool(sharc::DriverState& s) {
    const std::vector<std::int32_t> start(count_of(runtime::random_seed_size()), 0);
    runtime::random_seed_put(start);
    double seed = pi_rand::rnduni();
    for (double& v : s.pool) v = (pi_rand::pi_rand_gen(seed) + pi_rand::rnduni()) / 2.0;
    sharc::shuffle(s.pool, sharc::pool_size);
}

// The driver's working arrays go back to the caller's arguments.
void hand_back(const sharc::DriverState& s, SharcArgs& a) {
    a.ycalc.assign(s.ycalc.begin(), s.ycalc.end());
    std::copy(s.sig.begin(), s.sig.end(), a.sig.begin());
}

}  // namespace

int refinement_cap(std::optional<int> cap_plus_one) { return cap_plus_one ? *cap_plus_one - 1 : 101; }

std::string abort_message() {
    return outlines::join_lines({"MainRegression: ERROR!", " A parameter may be NaN or the",
                                 " standard error of regression may", " have exceeded the 1.0E+16 limit.",
                                 " Try adjusting initial parameter values", " and reduce the Y data values by",
                                 " factors of 10. Then rerun the model.", " The run has ended..."});
}

Outcome sharc(SharcArgs& a) {
    using namespace common_data;
    check_arguments(a);
    const int n = a.n, k = a.k;
    const auto rows = count_of(n), params = count_of(k);

    // Set-up.
    sharc::DriverState s;
    s.set_data(a.x, a.y, a.sig, a.m, n);
    s.mode = a.mode;
    a.ycalc.assign(rows, 0.0);
    a.studentized.assign(rows, 0.0);
    a.se.assign(params, 0.0);
    a.ci.assign(params, 0.0);
    a.lm_result.assign(params, 0.0);

    nrtype::epsmachine = prec_mod::prec(-1);
    const double eps = nrtype::epsmachine;
    s.refine_cap = refinement_cap(a.cap_plus_one);
    s.refine_start = 1;
    s.bounded = a.bounded.value_or(0);
    s.restart = a.restart;
    s.tolerance = a.tolerance;

    ndwt = a.mode;
    if (a.mode == 1) globals::brewt = 1;
    s.set_parameters(a.p, a.mask, a.lo, a.hi, k);
    std::copy(a.lo.begin(), a.lo.begin() + k, pboundlo.begin());
    std::copy(a.hi.begin(), a.hi.begin() + k, pboundhi.begin());
    std::copy(a.mask.begin(), a.mask.begin() + k, pmask.begin());
    std::copy(s.sig.begin(), s.sig.end(), ysig.begin());
    lift_tiny_start_values(s, eps);

    sharc::func(s, s.p, k, s.slot);
    publish(s, a);

    std::vector<double> gradient(25), constraints(50);
    kalvor::Matrix constraint_gradients(25, 50);
    if (!funct::calcfg(k, s.p, s.slot, gradient, constraints, constraint_gradients)) {
        a.ssq = -1.0;
        globals::bcancelrun = 1;
        hand_back(s, a);
        return Outcome::aborted;
    }
    sharc::func(s, s.p, k, s.slot);

    if (s.bounded == 0) {
        s.slot = static_cast<double>(restart_factor) * fssqr;
        std::copy(pfinal.begin(), pfinal.begin() + k, s.p.begin());
    }
    a.ssq = s.lowest = s.slot;

    if (std::none_of(a.mask.begin(), a.mask.begin() + k, [](int v) { return v != 0; })) {
        hand_back(s, a);
        return Outcome::all_fixed;
    }

    s.schedule = sharc::LevelSchedule::for_level(globals::iopt);
    if (globals::iopt == -1) {
        globals::iopt = a.level;
        globals::iopt2 = -1;
    }
    globals::timemax = 600000.0;

    s.kept = s.p;
    for (std::size_t j = 0; j < params; ++j)
        if (a.mask[j] == 0) s.kept[j] = s.p[j] = a.p[j];

    sharc::RunDisplay display;
    display.open(s);
    s.stage_counter.fetch_add(1);

    fill_pool(s);
    s.p = s.kept;
    globals::totaltime = 0.0;
    globals::starttimer = 1;
    globals::totaltime = timeit_mod::timeclock(globals::starttimer);

    // Cascade, closing display and statistics.
    const cascade::Ending ending = cascade::run(s, a, display);
    display.close(*s.restart);
    postfit(s, a);
    std::copy(s.sig.begin(), s.sig.end(), a.sig.begin());

    switch (ending) {
    case cascade::Ending::aborted:
        a.ssq = -1.0;
        return Outcome::aborted;
    case cascade::Ending::cancelled:
        return Outcome::cancelled;
    case cascade::Ending::completed:
        break;
    }
    return Outcome::fitted;
}

}  // namespace sharc_mod
