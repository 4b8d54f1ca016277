#pragma once
// Worker threads that share one evaluation of the model over a large table.
//
// A job is split into numbered pieces that the calling thread and the
// workers take in turn; run returns once every piece is done.  How many
// threads share the jobs of one kind (a Site) is measured as the jobs run:
// each number of threads is tried on a few jobs and kept only while it makes
// the jobs faster by more than it costs in processor time, so a cheap job,
// a machine busy with other work or a processor quota leaves the caller
// computing alone.  The workers start when first needed and live until the
// program ends; between jobs they spin for about the usual gap between two
// jobs, giving way to other threads, then sleep.
//
// Whatever the threads, each piece runs exactly once, and run never returns
// or throws while a piece is running.  One job shares the workers at a time:
// a caller that comes while another's job runs (or from inside a piece)
// runs its job alone.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string_view>
#include <thread>
#include <type_traits>

namespace row_threads {

// Threads that may share a job, the calling thread included: the processors
// this process may run on and its processor quota allow (at most 64), unless
// set_thread_count chose.
int thread_count();
// From the next job on, every job of more than one piece uses exactly n
// threads, without measuring; n < 1 goes back to measuring.
void set_thread_count(int n);

// Processors that a cgroup quota "QUOTA PERIOD" (cpu.max) allows, rounded
// up; 0 for "max" or an unreadable text.
int quota_processors(std::string_view cpu_max);

// What the jobs of one kind (one call site or one formula, with one number
// of pieces) have shown about sharing.  Candidate thread counts are 1, 2,
// 4, ... up to the most allowed, tried in turn on trial_jobs jobs each
// (after one that wakes the threads) while they get faster.  A trial
// measures a cycle of the work: a job and the caller's work up to the next,
// in wall time and in processor time (the caller's and the time workers
// are awake, spinning or working).  A count is allowed when its cycle is
// faster than one thread's and spends at most 1.5 times the processor time,
// or more only where the time falls by more; the fastest allowed is kept.
// A trial of more threads ends as soon as its jobs cannot win.
//
// The kept count and its neighbours are tried again after a while (sooner
// when its jobs get slower), the while doubling as long as the choice
// stands and long enough that the trials' lost time stays a small part of
// the whole.  Then the kept count's whole time since it was kept is judged
// the same way, against one thread's measured job time; when it did not
// pay, it and the counts above are left for a while.  Only the job that
// has the workers touches its Site.
class Site {
public:
    static constexpr int trial_jobs = 8;

    // Threads for the next job of pieces pieces when most may share it.
    int threads(std::size_t pieces, int most);
    // Whether the next job's time is wanted by record; whether the next job
    // is one of a trial.
    bool timed() const { return trial_ || kept_ > 0 || jobs_ % 16 == 0; }
    bool trial() const { return trial_; }
    // The job that threads() chose ran from start to end (nanoseconds), when
    // the workers had been awake for awake in all.
    void record(std::int64_t start, std::int64_t end, std::int64_t awake);

private:
    static constexpr int most_levels = 8;  // 1, 2, 4, ..., 64
    int level_threads(int level) const;
    double wall(int level) const;
    double cpu(int level) const;
    bool allowed(int level) const;
    bool paid_off(std::int64_t end, std::int64_t awake) const;
    void start_trial(int level);
    void end_trial();

    std::size_t pieces_ = 0;
    int most_ = 0;
    int levels_ = 0;
    int kept_ = 0;        // the level jobs use between trials
    int level_ = 0;       // the level of the job in hand
    bool trial_ = false;
    bool climbing_ = false;  // still trying ever more threads
    int trial_count_ = 0;
    double trial_sum_ = 0.0;
    int pending_[3] = {};  // levels still to try at this check
    int pending_count_ = 0;
    double mean_[most_levels] = {};   // mean ns per job at each level, 0 untried
    double cycle_[most_levels] = {};  // mean ns from a job to the next
    double awake_[most_levels] = {};  // workers' ns awake in a cycle
    std::int64_t trial_start_ = 0, trial_awake_ = 0;
    // Since the kept count was kept: its timed jobs and their time, the
    // workers' time awake at the start.
    std::uint64_t kept_jobs_ = 0;
    double kept_time_ = 0.0;
    std::int64_t kept_awake_ = 0;
    // Levels from ceiling_ on are not tried until ceiling_until_: their
    // whole time did not pay.
    int ceiling_ = most_levels;
    std::int64_t ceiling_until_ = 0;
    double recent_ = 0.0;            // running mean of the kept level's jobs
    double lost_ = 0.0;              // time the trials of this check lost
    std::int64_t kept_at_ = 0, next_check_ = 0, check_interval_ = 0;
    std::uint64_t jobs_ = 0;
};

// Runs piece(context, k, thread) for k = 0..pieces-1; thread (0 for the
// caller, 1.. for workers, below thread_count()) tells which thread runs
// the piece, so that each thread may use its own work space.  An exception
// from a piece stops the pieces not yet begun; run throws it once no piece
// is running.
using Piece = void (*)(const void* context, std::size_t k, int thread);

// A set of workers.  start makes a thread run the body; a start that throws
// (as std::thread does when the system allows no more threads) leaves the
// caller and the workers already started to do the work.
class Pool {
public:
    using Start = std::function<std::thread(std::function<void()> body)>;
    explicit Pool(Start start = {});
    ~Pool();
    Pool(const Pool&) = delete;
    Pool& operator=(const Pool&) = delete;

    void run(Site& site, std::size_t pieces, Piece piece, const void* context);

private:
    struct State;
    std::unique_ptr<State> state_;
};

// The program's pool.
void run(Site& site, std::size_t pieces, Piece piece, const void* context);

// The same for a callable piece(k) or piece(k, thread), without allocating.
template <class F>
void run(Site& site, std::size_t pieces, const F& piece) {
    run(site, pieces,
        [](const void* context, std::size_t k, int thread) {
            const F& f = *static_cast<const F*>(context);
            if constexpr (std::is_invocable_v<const F&, std::size_t, int>)
                f(k, thread);
            else
                f(k);
        },
        &piece);
}

}  // namespace row_threads
