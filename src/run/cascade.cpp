#include "run/cascade.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <initializer_list>
#include <vector>

#include "foundations/random.h"
#include "foundations/runtime.h"
#include "foundations/timeit.h"
#include "model/bounds.h"
#include "model/funct.h"
#include "model/globals.h"
#include "run/gnsearch.h"
#include "run/outlines.h"
#include "run/progress.h"
#include "run/searches.h"
#include "run/sharc.h"
#include "run/sharc_objective.h"
#include "run/simplex.h"

namespace cascade {

Services& services() {
    static Services table;
    return table;
}

bool lower(double value, double lowest) { return value < lowest; }
bool within_sqp_margin(double value, double lowest) { return value < 1.0001 * lowest; }
bool gauss_newton_plausible(double value, double lowest) { return 1e-4 * lowest <= value && value < lowest; }
bool evolution_plausible(double value, double lowest, int generations, int cap) {
    return value < lowest && !(value <= 1e-6 * lowest && generations >= cap);
}
bool random_step_plausible(double value, double lowest) { return lowest / 2.0 <= value && value < lowest; }
bool levenberg_kept(double value, double reference) { return value <= reference; }

namespace {

using sharc::vmax;

constexpr double abort_limit = 1.0e16;
constexpr int cycle_limit = 90;
constexpr double time_margin = 100.0;
constexpr int refinement_cap_after_stop = 101;

// Where the flow goes after a step.
enum class Next { go_on, cycle_end, wrap_up };

class Cascade {
public:
    Cascade(sharc::DriverState& s, sharc_mod::SharcArgs& a, sharc::RunDisplay& display)
        : s_(s), a_(a), display_(display), k_(a.k), n_(a.n) {}

    Ending run() {
        if (opening() == Next::go_on) cycles();
        wrap_up();
        if (aborted_) return Ending::aborted;
        return globals::bcancelrun != 0 ? Ending::cancelled : Ending::completed;
    }

private:
    // ---- flags, counters and clock ----

    int bounded() const { return s_.bounded; }
    int restart() const { return *s_.restart; }
    bool soft_bounds_apply() const { return bounded() == 0 && restart() != 0; }
    bool stopped() const { return globals::bcancelrun != 0; }

    int cap() const { return std::atomic_ref<int>(s_.refine_cap).load(); }
    void set_cap(int value) { std::atomic_ref<int>(s_.refine_cap).store(value); }
    void count(int step = 1) { s_.stage_counter.fetch_add(step); }
    bool count_used_up() const { return cap() - s_.refine_start < s_.stage_counter.load(); }

    // The run clock adds up its readings, so it is read only where the
    // sequence says so; the time tests compare the last reading.
    void read_clock() {
        globals::starttimer = 0;
        globals::totaltime = timeit_mod::timeclock(globals::starttimer);
    }
    bool budget_exhausted() const { return globals::totaltime + time_margin > globals::timemax; }
    void pause() { runtime::sleep_seconds(1.0); }

    // The stage count is used up (also by Cancel): the refinement stops
    // after a pause of one second.
    bool count_ran_out() {
        if (!count_used_up()) return false;
        pause();
        set_cap(refinement_cap_after_stop);
        return true;
    }

    // ---- the driver's own steps ----

    double evaluate() {
        double f = 0.0;
        sharc::func(s_, s_.p, k_, f);
        return f;
    }

    // Stage outcome by rule: the driver evaluates the returned vector itself.
    template <class Rule>
    bool judge(std::string_view stage, Rule rule) {
        const double before = s_.lowest;
        const double value = evaluate();
        return settle(stage, value, before, rule(value, before));
    }
    bool settle(std::string_view stage, double value, double before, bool accepted) {
        if (accepted) {
            s_.accept(value);
            s_.slot = value;
        } else {
            s_.reject();
        }
        if (services().observer) services().observer(StageReport{stage, value, before, accepted});
        return accepted;
    }

    void soft_bounds() {
        if (!soft_bounds_apply()) return;
        int status = 0;
        check_parameter_bounds::tanh_bounds5(s_.p, k_, s_.alobnd, s_.ahibnd, s_.mask, s_.slot, status);
    }

    void refresh_working_bounds() {
        s_.alobnd.assign(a_.lo.begin(), a_.lo.begin() + k_);
        s_.ahibnd.assign(a_.hi.begin(), a_.hi.begin() + k_);
    }
    void refresh_bounds() {
        refresh_working_bounds();
        std::copy(a_.lo.begin(), a_.lo.begin() + k_, common_data::pboundlo.begin());
        std::copy(a_.hi.begin(), a_.hi.begin() + k_, common_data::pboundhi.begin());
    }

    // Held parameters take the caller's values again.
    void hold_fixed() {
        for (int j = 0; j < k_; ++j)
            if (s_.mask[static_cast<std::size_t>(j)] == 0) {
                s_.p[static_cast<std::size_t>(j)] = a_.p[static_cast<std::size_t>(j)];
                s_.kept[static_cast<std::size_t>(j)] = a_.p[static_cast<std::size_t>(j)];
            }
    }

    void shuffle_pool() { sharc::shuffle(s_.pool, sharc::pool_size); }

    void refill_pool() {
        double seed = pi_rand::rnduni();
        for (double& v : s_.pool) v = pi_rand::pi_rand_gen(seed);
        shuffle_pool();
    }

    void publish_fit() {
        for (int i = 0; i < n_; ++i) {
            const auto r = static_cast<std::size_t>(i);
            common_data::yd[r] = s_.y[r];
            common_data::ydf[r] = s_.ycalc[r];
            common_data::ysig[r] = s_.sig[r];
        }
        std::copy(s_.p.begin(), s_.p.end(), common_data::pfinal.begin());
    }

    void refresh_x_columns() {
        for (int i = 0; i < n_; ++i) {
            const auto r = static_cast<std::size_t>(i);
            common_data::xd[r] = s_.x(r, 0);
            if (a_.m >= 2) common_data::xd2[r] = s_.x(r, 1);
            if (a_.m == 3) common_data::xd3[r] = s_.x(r, 2);
        }
    }

    bool abort_test() const {
        return std::any_of(s_.p.begin(), s_.p.end(), [](double v) { return std::isnan(v); }) ||
               s_.lowest > abort_limit;
    }
    void abort_fit() {
        outlines::show_error(sharc_mod::abort_message());
        a_.ssq = -1.0;
        globals::bcancelrun = 1;
        aborted_ = true;
    }

    // ---- stages; none starts once the run is cancelled or aborted ----

    void tunnelling() {
        const Services& sv = services();
        if (stopped() || (!sv.tunnelsearch && !sv.adam)) return;
        const kalvor::Objective f = sharc::f1dim_objective(s_);
        if (sv.tunnelsearch) sv.tunnelsearch(f, k_, s_.p, s_.slot, s_.alobnd, s_.ahibnd, s_.mask);
        if (sv.adam) {
            int work = 0;
            sv.adam(f, k_, n_, s_.p, s_.mask, s_.alobnd, s_.ahibnd, work, s_.slot);
        }
        if (sv.tunnelsearch) sv.tunnelsearch(f, k_, s_.p, s_.slot, s_.alobnd, s_.ahibnd, s_.mask);
        judge("tunnelsearch", lower);
    }

    void bounded_hitnrun(std::initializer_list<double> scales, int trials) {
        for (const double scale : scales) {
            if (stopped()) return;
            int accepted = 0;
            sharc::hitnrun2(s_, k_, s_.p, s_.p, accepted, s_.slot, scale, trials);
            judge("hitnrun2", lower);
        }
    }

    void hitnrun(std::initializer_list<double> scales) {
        for (const double scale : scales) {
            if (stopped()) return;
            int accepted = 0;
            sharc::hitnrun(s_, k_, s_.p, s_.p, s_.pool, accepted, s_.slot, scale, s_.schedule.hitnrun_trials);
            judge("hitnrun", lower);
        }
    }

    void simplex(int iterations) {
        if (stopped()) return;
        int status = 0;
        simplex_robust::simplex_robust(s_.p, s_.p, k_, s_.lowest, s_.slot, iterations, status);
        judge("simplex_robust", lower);
    }

    void hooke() {
        if (stopped()) return;
        sharc::hooke(s_, k_, s_.p, s_.p, s_.alobnd, s_.ahibnd, s_.slot, 0.6, 1e-6, s_.schedule.hooke_cap);
        judge("hooke", lower);
    }

    void gnllsqr() {
        if (stopped()) return;
        sharc::gnllsqr(s_, k_, s_.p, s_.slot);
        judge("gnllsqr", lower);
    }

    void variable_metric_least_squares() {
        const Services& sv = services();
        if (stopped() || !sv.va10b) return;
        s_.slot = 2.0 * s_.lowest;
        std::vector<double> hessian(static_cast<std::size_t>(k_ * (k_ + 1) / 2), 1.0);
        int exit_code = 0;
        sv.va10b(n_, k_, s_.p, s_.slot, hessian, 1, 1, 1000, exit_code);
        if (exit_code < 0) {
            settle("va10b", 1.01 * s_.lowest, s_.lowest, false);
            return;
        }
        judge("va10b", lower);
    }

    // The sequential-quadratic stage in its frame: unit weighting inside,
    // the mask restored before and the weights restored after it.  Returns
    // whether its result was kept; residuals_to_yres puts its residuals into
    // common_data::yres when kept.
    template <class Rule>
    bool sqp(Rule rule, bool residuals_to_yres) {
        const Services& sv = services();
        if (stopped() || !sv.vmsqp) return false;
        const auto rows = static_cast<std::size_t>(n_);
        common_data::ndwt = 0;
        s_.mask.assign(a_.mask.begin(), a_.mask.begin() + k_);
        s_.ysig_saved.assign(common_data::ysig.begin(), common_data::ysig.begin() + n_);
        std::vector<double> work(rows), residuals(rows);
        s_.slot = vmax;
        VmsqpCall call{100,    k_,         n_,    a_.m,      2 * k_,     0,       s_.sig,  work,
                       s_.y,   s_.ycalc,   residuals, s_.p,  s_.alobnd, s_.ahibnd, s_.mask, s_.slot};
        sv.vmsqp(call);
        common_data::ndwt = a_.mode;
        s_.sig = s_.ysig_saved;
        const bool kept = judge("vmsqp", rule);
        if (kept && residuals_to_yres) std::copy(residuals.begin(), residuals.end(), common_data::yres.begin());
        return kept;
    }

    void gauss_newton() {
        const Services& sv = services();
        if (stopped() || !sv.gn_main) return;
        int status = 0;
        sv.gn_main(n_, k_, s_.p, s_.slot, status);
        if (status >= 3) {
            settle("gn_main", s_.slot, s_.lowest, false);
            return;
        }
        judge("gn_main", gauss_newton_plausible);
    }

    void evolution() {
        const Services& sv = services();
        if (stopped() || !sv.evol) return;
        const int cap = s_.schedule.evol_generations;
        int generations = 0;
        s_.slot = s_.lowest;
        sv.evol(n_, k_, s_.p, s_.slot, generations, cap);
        judge("evol", [&](double value, double lowest) {
            return evolution_plausible(value, lowest, generations, cap);
        });
    }

    // Returns whether the stage ran and its result was kept.
    bool variable_metric() {
        const Services& sv = services();
        if (stopped() || !sv.varmetric) return false;
        int status = 0;
        const VmObjective vmfun = [](int n, std::span<const double> x, double& f) { funct::vmfun(n, x, f); };
        sv.varmetric(vmfun, k_, s_.p, s_.slot, status);
        if (status == 1 || status == 2) return settle("varmetric", s_.slot, s_.lowest, false);
        return judge("varmetric", lower);
    }

    void random_step() {
        const Services& sv = services();
        if (stopped() || !sv.a23mrt) return;
        int status = 0;
        sv.a23mrt(k_, s_.p, n_, 0.001f, s_.slot, 500, status, 1);
        judge("a23mrt", random_step_plausible);
    }

    void levenberg_marquardt() {
        const Services& sv = services();
        if (stopped() || !sv.marq) return;
        const auto rows = static_cast<std::size_t>(n_), params = static_cast<std::size_t>(k_);
        kalvor::Matrix x(rows, static_cast<std::size_t>(a_.m)), y(rows, 1);
        for (std::size_t j = 0; j < x.cols(); ++j)
            for (std::size_t i = 0; i < rows; ++i) x(i, j) = s_.x(i, j);
        for (std::size_t i = 0; i < rows; ++i) y(i, 0) = s_.y[i];
        std::copy(s_.ycalc.begin(), s_.ycalc.end(), common_data::ydf.begin());
        kalvor::Matrix work1(params, params), work2(params, params);
        const int mode = a_.mode >= 1 && a_.mode <= 4 ? a_.mode : 0;
        int status = 0;
        MarqCall call{n_,        a_.m,      1,         k_,          x,         y,
                      s_.ycalc,  0,         work1,     work2,       mode,      s_.sig,
                      s_.p,      s_.alobnd, s_.ahibnd, a_.se,       a_.ci,     a_.lm_result,
                      1.1 * s_.lowest, 10,  s_.slot,   0,           globals::iopt, status};
        sv.marq(call);
        if (!judge("marq", levenberg_kept)) return;
        common_data::fssqr = s_.lowest;
        std::copy(s_.p.begin(), s_.p.end(), common_data::pfinal.begin());
        a_.p.assign(s_.p.begin(), s_.p.end());
        refresh_x_columns();
        for (std::size_t i = 0; i < rows; ++i) {
            common_data::yd[i] = s_.y[i];
            common_data::ydf[i] = s_.ycalc[i];
            common_data::yres[i] = s_.y[i] - s_.ycalc[i];
        }
    }

    // ---- the sequence ----

    Next opening() {
        const int trials = s_.schedule.hitnrun_trials;
        const bool search_bounded = bounded() != 0 && restart() == 0;

        tunnelling();
        if (search_bounded)
            bounded_hitnrun({1e-5, 1e-4, 1e-3, 1e-2, 1e-1}, 2 * trials);
        else
            refresh_bounds();
        simplex(500);
        variable_metric_least_squares();
        if (sqp(within_sqp_margin, true)) common_data::fssqr = s_.lowest;
        count();
        soft_bounds();
        hooke();

        if (soft_bounds_apply()) {
            soft_bounds();
            s_.slot = evaluate();
            double sum = 0.0;
            for (int i = 0; i < n_; ++i) {
                const auto r = static_cast<std::size_t>(i);
                const double residual = s_.y[r] - s_.ycalc[r] + 1e-12;
                common_data::yres[r] = residual;
                sum += residual * residual;
            }
            s_.lowest = sum;
            s_.kept = s_.p;
        }
        common_data::fssqr = s_.lowest;
        publish_fit();
        display_.progress_point(s_, false);

        if (!soft_bounds_apply()) {
            shuffle_pool();
            bounded_hitnrun({0.1, 0.01, 0.001, 0.0001}, trials);
            count();
            simplex(250);
            gauss_newton();
        }
        variable_metric_least_squares();
        sqp(within_sqp_margin, false);
        soft_bounds();
        gauss_newton();
        refresh_working_bounds();

        display_.progress_point(s_, false);
        if (search_bounded) gauss_newton();
        display_.draw_values(s_);
        if (count_ran_out()) return Next::wrap_up;

        refresh_bounds();
        s_.slot = s_.lowest;
        common_data::fssqr = s_.lowest;
        hold_fixed();
        shuffle_pool();
        if (bounded() == 0)
            hitnrun({1e-5, 1e-4, 1e-3, 1e-2});
        else
            hitnrun({0.001});
        count();
        display_.progress_point(s_, false);

        refill_pool();
        if (cap() - s_.refine_start < 1) return Next::wrap_up;
        return Next::go_on;
    }

    void cycles() {
        const int cycle_bound = cap() - s_.refine_start;
        for (s_.cycle = 1;; ++s_.cycle) {
            const Next next = cycle();
            if (next == Next::wrap_up) return;
            // Cycle end.
            if (s_.cycle == cycle_limit) return;
            count();
            hold_fixed();
            read_clock();
            if (budget_exhausted() || s_.cycle + 1 > cycle_bound) return;
        }
    }

    // One refinement cycle up to its end.
    Next cycle() {
        const double lowest_before = s_.lowest;
        const int iopt = globals::iopt;

        display_.progress_point(s_, true);
        if (bounded() == 0) {
            evolution();
            variable_metric_least_squares();
            count();
            gnllsqr();
            shuffle_pool();
            hitnrun({1e-6, 1e-5, 1e-4, 1e-3, 1e-2});
        } else if (iopt == 3) {
            evolution();
        }

        count();
        read_clock();
        if (abort_test()) {
            abort_fit();
            return Next::wrap_up;
        }
        if (budget_exhausted()) return out_of_time();
        if (stopped()) return cancelled();
        if (s_.stage_counter.load() < cap()) {
            display_.progress_point(s_, true);
            display_.draw_values(s_);
        }
        if (count_ran_out()) return Next::wrap_up;

        if (s_.cycle >= 2) hold_fixed();
        if (s_.lowest >= vmax) s_.lowest = lowest_before;
        if (iopt >= 2) {
            variable_metric();
            count();
        }
        refresh_x_columns();
        common_data::ndwt = a_.mode;
        display_.draw_values(s_);
        if (stopped()) return cancelled();

        if (iopt == 3) {
            shuffle_pool();
            hitnrun({1e-5, 1e-4, 1e-3});
        }
        const bool sqp_kept = sqp(lower, false);
        common_data::fssqr = s_.lowest;
        if (!sqp_kept) variable_metric();

        if (budget_exhausted()) return out_of_time();
        count();
        shuffle_pool();
        hitnrun({1e-4, 1e-3, 1e-2});
        variable_metric_least_squares();
        if (budget_exhausted()) return out_of_time();
        if (iopt >= 2) {
            gauss_newton();
            count();
            if (budget_exhausted()) return out_of_time();
            variable_metric();
        }

        display_.progress_point(s_, true);
        display_.draw_values(s_);
        if (count_ran_out()) return Next::cycle_end;

        if (iopt > 2) {
            shuffle_pool();
            hitnrun({0.001});
            random_step();
            variable_metric_least_squares();
            variable_metric();
            sqp(within_sqp_margin, true);
        }
        common_data::ndwt = a_.mode;
        if (budget_exhausted()) return out_of_time();
        variable_metric_least_squares();
        display_.progress_point(s_, true);
        display_.draw_values(s_);
        if (stopped()) return cancelled();

        return convergence_test();
    }

    Next out_of_time() {
        set_cap(refinement_cap_after_stop);
        return Next::cycle_end;
    }
    Next cancelled() {
        set_cap(refinement_cap_after_stop);
        return Next::wrap_up;
    }

    // The refinement ends once the progress passes 78.75 and the lowest value
    // equals the mean of the first three values in the history.
    Next convergence_test() {
        const float progress = sharc::progress_value(s_, true);
        if (progress < 26.25f) {
            count();
            return Next::cycle_end;
        }
        count(2);
        if (s_.history_index < static_cast<int>(s_.history.size()))
            s_.history[static_cast<std::size_t>(s_.history_index++)] = s_.lowest;
        if (progress > 78.75f) {
            const double mean = (s_.history[0] + s_.history[1] + s_.history[2]) / 3.0;
            if (std::fabs(mean - s_.lowest) <= 1e-8) return Next::wrap_up;
            s_.history_index = 0;
        } else if (s_.history_index >= 4) {
            s_.history_index = 0;
        }
        if (budget_exhausted()) return out_of_time();
        return Next::cycle_end;
    }

    void wrap_up() {
        s_.p = s_.kept;
        a_.p.assign(s_.kept.begin(), s_.kept.end());
        std::copy(s_.kept.begin(), s_.kept.end(), common_data::pfinal.begin());

        s_.slot = s_.lowest;
        common_data::fssqr = s_.lowest;
        std::fill(a_.se.begin(), a_.se.end(), 0.0);
        std::fill(a_.ci.begin(), a_.ci.end(), 0.0);
        std::fill(a_.lm_result.begin(), a_.lm_result.end(), 0.0);
        read_clock();
        if (budget_exhausted()) s_.lowest = common_data::fssqr;
        levenberg_marquardt();
        display_.draw_values(s_);
    }

    sharc::DriverState& s_;
    sharc_mod::SharcArgs& a_;
    sharc::RunDisplay& display_;
    const int k_;
    const int n_;
    bool aborted_ = false;
};

}  // namespace

Ending run(sharc::DriverState& s, sharc_mod::SharcArgs& a, sharc::RunDisplay& display) {
    return Cascade(s, a, display).run();
}

}  // namespace cascade
