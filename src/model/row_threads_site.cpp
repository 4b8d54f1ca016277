// How many threads the jobs of one kind share: measured on the jobs
// themselves as they run.

#include <algorithm>

#include "model/row_threads.h"

namespace row_threads {

namespace {

// Time between two checks: from 10 ms, doubling up to a second while the
// choice stands.
constexpr std::int64_t first_interval = 10'000'000;
constexpr std::int64_t last_interval = 1'000'000'000;
// The time between checks is at least lost_weight times the time the last
// check lost in running worse counts (at most longest_interval).
constexpr double lost_weight = 64.0;
constexpr std::int64_t longest_interval = 10'000'000'000;
// Processor time a count may spend beyond one thread's, as a factor, even
// where the time it saves is less.
constexpr double more_processor_time = 1.5;
// A count is judged with its processor time this much larger, so that a
// count only just allowed in its cycles stays allowed over the whole run,
// with the wake-ups and spinning that cycles do not see.
constexpr double room = 1.15;
// A block's jobs are counted once the workers were awake for this part of
// a whole cycle, or after most_settling jobs.
constexpr double settled = 0.9;
constexpr int most_settling = 16;
// Rounds of blocks in a check.
constexpr int check_rounds = 8;
// A count whose cycle is within this factor of the fastest is as fast.
constexpr double as_fast = 1.03;
// A count is dropped from a check once its jobs have taken this many times
// one thread's cycle each (one job more for waking the threads).
constexpr double stalled = 4.0;
// Jobs a kept count must have run before its whole time is judged.
constexpr std::uint64_t least_run_jobs = 64;
// A kept count whose jobs take this much longer than at its check is
// checked again (no sooner than first_interval after it).
constexpr double slower = 1.5;

// Threads a job of pieces pieces can use when most may share it.
int usable_most(std::size_t pieces, int most) {
    return static_cast<int>(std::min<std::size_t>(static_cast<std::size_t>(std::max(most, 1)), pieces));
}

}  // namespace

int Site::level_threads(int level) const {
    // 1, 2, then steps of 1.5 and 4/3 in turn: 3, 4, 6, 8, 12, ...
    const int threads = level < 2 ? level + 1 : (level % 2 == 0 ? 3 : 4) << (level / 2 - 1);
    return std::min(threads, most_);
}

bool Site::allowed(const Arm& arm) const {
    if (arm.level == 0) return true;
    if (arm.dropped || arm.cycles == 0 || arm.level >= ceiling_) return false;
    const double alone = arms_[0].cycle();
    const double speed = alone / arm.cycle();
    const double cpu_ratio = room * arm.cpu() / alone;
    return speed > 1.0 && (cpu_ratio <= more_processor_time || cpu_ratio <= speed);
}

int Site::threads(std::size_t pieces, int most) {
    most = usable_most(pieces, most);
    if (pieces != pieces_ || most != most_) {
        *this = Site{};
        pieces_ = pieces;
        most_ = most;
        while (levels_ < most_levels && (levels_ == 0 || level_threads(levels_ - 1) < most_)) ++levels_;
        if (levels_ > 1) start_check(0, 0);
    }
    ++jobs_;
    return level_threads(level_);
}

bool Site::untimed_alone(std::size_t pieces, int most) {
    most = usable_most(pieces, most);
    if (pieces != pieces_ || most != most_ || checking_ || kept_ > 0 || (jobs_ + 1) % timed_every == 0) return false;
    ++jobs_;
    return true;
}

// Judges the kept count's time since the last check, then lines up one
// thread, the kept count and its neighbours (below the ceiling).
void Site::start_check(std::int64_t end, std::int64_t awake) {
    if (end >= ceiling_until_) ceiling_ = most_levels;
    if (kept_ > 0 && kept_jobs_ >= least_run_jobs) {
        if (paid_off(end, awake)) {
            ceiling_while_ = first_ceiling_while;
        } else {
            ceiling_ = kept_;
            ceiling_until_ = end + ceiling_while_;
            ceiling_while_ = std::min(2 * ceiling_while_, longest_interval);
        }
    }
    arm_count_ = 0;
    const int top = std::min(levels_, ceiling_);
    for (const int level : {0, kept_ - 1, kept_, kept_ + 1})
        if (level >= 0 && level < top && (arm_count_ == 0 || level > arms_[arm_count_ - 1].level))
            arms_[arm_count_++] = Arm{level};
    if (arm_count_ == 1) {
        // Only one thread may run until the ceiling lifts.
        kept_ = level_ = 0;
        next_check_ = ceiling_until_;
        return;
    }
    checking_ = true;
    arm_ = block_job_ = settling_ = rounds_ = 0;
    level_ = 0;
}

void Site::record(std::int64_t start, std::int64_t end, std::int64_t awake) {
    const auto time = static_cast<double>(end - start);
    if (checking_) {
        Arm& arm = arms_[arm_];
        // A block starts with jobs that wake or settle the threads, until
        // the workers have been awake through a whole cycle: only their time
        // is spent.  The other jobs are cycles from the end of the job
        // before.
        const auto cycle = static_cast<double>(end - last_end_);
        const auto helpers = static_cast<double>(level_threads(arm.level) - 1);
        if (block_job_ > 0) {
            ++arm.cycles;
            arm.wall += cycle;
            arm.awake += static_cast<double>(awake - last_awake_);
            arm.jobs += time;
            arm.spent += cycle;
            ++block_job_;
        } else {
            arm.spent += time;
            const bool awake_through = static_cast<double>(awake - last_awake_) >= settled * helpers * cycle;
            if (arm.level == 0 || awake_through || ++settling_ >= most_settling) block_job_ = 1;
        }
        last_end_ = end;
        last_awake_ = awake;
        ++arm.count;
        // A count of more threads that stalls, or ends a block no faster
        // than one thread, cannot win.
        if (arm_ > 0) {
            const double alone = arms_[0].cycle();
            if (arm.spent > stalled * (arm.count + 1) * alone || (block_job_ == block_jobs && arm.cycle() >= alone))
                arm.dropped = true;
        }
        if (arm.dropped || block_job_ == block_jobs) next_block(end, awake);
        return;
    }
    if (levels_ <= 1) return;
    if (kept_ > 0) {
        recent_ += (time - recent_) / block_jobs;
        ++kept_jobs_;
        kept_time_ += time;
    }
    const bool due = end >= next_check_;
    const bool worse = kept_ > 0 && recent_ > slower * kept_job_ && end >= earliest_check_ &&
                       end >= kept_at_ + first_interval;
    if (due || worse) start_check(end, awake);
}

// The next block of the check, round after round over the arms not
// dropped; the check ends after its rounds or when one thread is left.
void Site::next_block(std::int64_t end, std::int64_t awake) {
    block_job_ = settling_ = 0;
    int left = 0;
    for (int a = 1; a < arm_count_; ++a) left += !arms_[a].dropped;
    do {
        if (++arm_ == arm_count_) {
            arm_ = 0;
            ++rounds_;
        }
    } while (arms_[arm_].dropped);
    if (rounds_ >= check_rounds || left == 0)
        end_check(end, awake);
    else
        level_ = arms_[arm_].level;
}

// Keeps the fewest threads about as fast as the fastest allowed count, and
// sets when to check again.
void Site::end_check(std::int64_t end, std::int64_t awake) {
    checking_ = false;
    double fastest = arms_[0].cycle();
    for (int a = 1; a < arm_count_; ++a)
        if (allowed(arms_[a])) fastest = std::min(fastest, arms_[a].cycle());
    int chosen = 0;
    while (!allowed(arms_[chosen]) || arms_[chosen].cycle() > as_fast * fastest) ++chosen;
    const Arm& kept = arms_[chosen];
    double lost = 0.0;
    for (int a = 0; a < arm_count_; ++a)
        if (a != chosen) lost += std::max(0.0, arms_[a].spent - arms_[a].count * kept.cycle());
    const int before = kept_;
    kept_ = level_ = kept.level;
    kept_job_ = kept.jobs / kept.cycles;
    alone_job_ = arms_[0].jobs / arms_[0].cycles;
    recent_ = kept_job_;
    kept_at_ = end;
    kept_awake_ = awake;
    kept_jobs_ = 0;
    kept_time_ = 0.0;
    earliest_check_ = end + std::min(static_cast<std::int64_t>(lost_weight * lost), longest_interval);
    // More threads won: try one more at once.
    const bool climbing = kept_ > before && kept_ + 1 < std::min(levels_, ceiling_) && kept.level == arms_[arm_count_ - 1].level;
    if (climbing) {
        start_check(end, awake);
        return;
    }
    check_interval_ = kept_ == before && check_interval_ > 0 ? std::min(2 * check_interval_, last_interval) : first_interval;
    next_check_ = std::max(end + check_interval_, earliest_check_);
}

// Whether the kept count was allowed over the whole time since the last
// check, against one thread doing the same jobs at the speed the check
// measured.  Checks see a few cycles; this sees what they miss, such as the
// workers' spinning through stretches of the caller's own work.
bool Site::paid_off(std::int64_t end, std::int64_t awake) const {
    const auto wall = static_cast<double>(end - kept_at_);
    const double cpu = room * (wall + static_cast<double>(awake - kept_awake_));
    const double alone = wall - kept_time_ + kept_time_ * alone_job_ / kept_job_;
    return wall < alone && (cpu <= more_processor_time * alone || cpu * wall <= alone * alone);
}

}  // namespace row_threads
