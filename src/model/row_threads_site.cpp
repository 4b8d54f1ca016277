// How many threads the jobs of one kind share: measured on the jobs
// themselves as they run.

#include <algorithm>

#include "model/row_threads.h"

namespace row_threads {

namespace {

// Time between two checks of the kept count: from 10 ms, doubling up to a
// second while the choice stands.
constexpr std::int64_t first_interval = 10'000'000;
constexpr std::int64_t last_interval = 1'000'000'000;
// The time between checks is at least lost_weight times the time the last
// check lost in trying worse counts (at most longest_interval).
constexpr double lost_weight = 64.0;
constexpr std::int64_t longest_interval = 10'000'000'000;
// Processor time a count may spend beyond one thread's, as a factor, even
// where the time it saves is less.
constexpr double more_processor_time = 1.5;
// Jobs a kept count must have run before its whole time is judged.
constexpr std::uint64_t least_run_jobs = 64;
// A kept count whose jobs take this much longer than when it was tried is
// checked at once (at most once per first_interval).
constexpr double slower = 1.5;

}  // namespace

int Site::level_threads(int level) const { return std::min(1 << level, most_); }

double Site::wall(int level) const { return cycle_[level]; }

double Site::cpu(int level) const { return cycle_[level] + awake_[level]; }

bool Site::allowed(int level) const {
    if (level == 0) return true;
    if (level >= ceiling_) return false;
    const double cpu_ratio = cpu(level) / cpu(0);
    return wall(level) < wall(0) && (cpu_ratio <= more_processor_time || cpu_ratio <= wall(0) / wall(level));
}

int Site::threads(std::size_t pieces, int most) {
    most = static_cast<int>(std::min<std::size_t>(static_cast<std::size_t>(std::max(most, 1)), pieces));
    if (pieces != pieces_ || most != most_) {
        *this = Site{};
        pieces_ = pieces;
        most_ = most;
        while (levels_ < most_levels && (levels_ == 0 || level_threads(levels_ - 1) < most_)) ++levels_;
        climbing_ = levels_ > 1;
        if (climbing_) start_trial(0);
    }
    ++jobs_;
    return level_threads(level_);
}

void Site::start_trial(int level) {
    trial_ = true;
    level_ = level;
    trial_count_ = 0;
    trial_sum_ = 0.0;
}

void Site::record(std::int64_t start, std::int64_t end, std::int64_t awake) {
    const auto time = static_cast<double>(end - start);
    if (trial_) {
        // Time beyond that of the count the trial is measured against is
        // lost.  The first job of a trial wakes the threads it adds: not
        // counted in the trial.
        const int against = climbing_ ? level_ - 1 : kept_;
        if (against >= 0 && against != level_) lost_ += std::max(0.0, time - mean_[against]);
        if (trial_count_++ == 0) {
            trial_start_ = end;
            trial_awake_ = awake;
            return;
        }
        trial_sum_ += time;
        // A trial of more threads stops as soon as it cannot win.
        const bool beaten = against >= 0 && against < level_ && trial_sum_ > trial_jobs * mean_[against];
        if (trial_count_ <= trial_jobs && !beaten) return;
        const auto cycles = static_cast<double>(trial_count_ - 1);
        mean_[level_] = trial_sum_ / cycles;
        cycle_[level_] = static_cast<double>(end - trial_start_) / cycles;
        awake_[level_] = static_cast<double>(awake - trial_awake_) / cycles;
        trial_ = false;
        end_trial();
        if (trial_) return;
        // A count is kept: check its neighbours again after the interval,
        // and not before the time the checks lose is a small part.
        check_interval_ = kept_ == level_ && check_interval_ > 0 ? std::min(2 * check_interval_, last_interval)
                                                                 : first_interval;
        check_interval_ = std::max(check_interval_, std::min(static_cast<std::int64_t>(lost_weight * lost_), longest_interval));
        lost_ = 0.0;
        kept_ = level_;
        recent_ = mean_[kept_];
        kept_at_ = end;
        kept_awake_ = awake;
        kept_jobs_ = 0;
        kept_time_ = 0.0;
        next_check_ = end + check_interval_;
        return;
    }
    if (levels_ <= 1) return;
    if (kept_ > 0) {
        recent_ += (time - recent_) / trial_jobs;
        ++kept_jobs_;
        kept_time_ += time;
    }
    const bool due = end >= next_check_;
    const bool worse = recent_ > slower * mean_[kept_] && end >= kept_at_ + first_interval;
    if (!due && !worse) return;
    if (end >= ceiling_until_) ceiling_ = most_levels;
    if (!paid_off(end, awake)) {
        ceiling_ = kept_;
        ceiling_until_ = end + longest_interval;
    }
    // Try the kept count again, then one step fewer and one more.
    pending_count_ = 0;
    if (kept_ > 0) pending_[pending_count_++] = kept_ - 1;
    if (kept_ + 1 < std::min(levels_, ceiling_)) pending_[pending_count_++] = kept_ + 1;
    start_trial(kept_);
}

// Whether the kept count was allowed over the whole time since it was kept,
// against one thread doing the same jobs at its measured speed.  Trials see
// a few cycles; this sees what they miss, such as the workers' spinning
// through stretches of the caller's own work.
bool Site::paid_off(std::int64_t end, std::int64_t awake) const {
    if (kept_ == 0 || kept_jobs_ < least_run_jobs) return true;
    const auto wall = static_cast<double>(end - kept_at_);
    const double cpu = wall + static_cast<double>(awake - kept_awake_);
    const double alone = wall - kept_time_ + static_cast<double>(kept_jobs_) * mean_[0];
    return wall < alone && (cpu <= more_processor_time * alone || cpu * wall <= alone * alone);
}

// After a trial at level_: either start the next trial, or leave level_ at
// the count to keep.
void Site::end_trial() {
    if (climbing_) {
        const bool better = level_ == 0 || (allowed(level_) && wall(level_) < wall(level_ - 1));
        if (better && level_ + 1 < levels_) {
            start_trial(level_ + 1);
            return;
        }
        climbing_ = false;
        if (!better) --level_;
        return;
    }
    if (pending_count_ > 0) {
        start_trial(pending_[--pending_count_]);
        return;
    }
    // The fastest allowed of the kept count and its neighbours, all just
    // measured (one thread fewer when none is).
    int best = -1;
    for (const int level : {kept_ - 1, kept_, kept_ + 1})
        if (level >= 0 && level < levels_ && allowed(level) && (best < 0 || wall(level) < wall(best))) best = level;
    level_ = best >= 0 ? best : std::max(kept_ - 1, 0);
}

}  // namespace row_threads
