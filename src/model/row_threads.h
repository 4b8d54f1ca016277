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
// of pieces) have shown about sharing.  Candidate thread counts are 1, 2, 3,
// 4, 6, 8, ... up to the most allowed.  A check compares one thread, the
// kept count and its neighbours side by side: each runs a block of jobs in
// turn, round after round, so that all of them see the same stretch of the
// work and of the machine.  A block starts with jobs that wake or settle the
// threads, not counted, until the workers have been awake through a whole
// cycle; its block_jobs - 1 other jobs measure cycles of the work, a job and
// the caller's work up to the next, in wall time and in processor time (the
// caller's and the time workers are awake, spinning or working).  A count
// is allowed when its cycle is faster than one thread's and spends at most
// 1.5 times the processor time, or more only where the time falls by more,
// with room to spare (its processor time counted 15% larger);
// the fewest threads within a few percent of the fastest allowed are kept.
// A count that cannot win is dropped from the check at once.  While more
// threads keep winning, the next check follows at once with one more.
//
// Checks come again after a while (sooner when the kept count's jobs get
// slower), the while doubling as long as the choice stands and long enough
// that the time checks lose stays a small part of the whole.  Before each
// check, the kept count's whole time since the last is judged the same way,
// against one thread doing its jobs at the speed the last check measured;
// when it did not pay, it and the counts above are left for a while, longer
// each time in a row.  A Site serves one calling thread at a time.
class Site {
public:
    static constexpr int block_jobs = 8;

    // Threads for the next job of pieces pieces when most may share it.
    int threads(std::size_t pieces, int most);
    // Whether the next job's time is wanted by record; whether the next job
    // is one of a check.
    bool timed() const { return checking_ || kept_ > 0 || jobs_ % timed_every == 0; }
    // Whether the next job runs on one thread untimed, as threads() and
    // timed() would say; counts it as threads() does when so.
    bool untimed_alone(std::size_t pieces, int most);
    bool trial() const { return checking_; }
    // The job that threads() chose ran from start to end (nanoseconds), when
    // the workers had been awake for awake in all.
    void record(std::int64_t start, std::int64_t end, std::int64_t awake);

private:
    static constexpr std::uint64_t timed_every = 16;  // jobs, while one thread is kept
    static constexpr int most_levels = 12;  // 1, 2, 3, 4, 6, 8, ..., 48, 64
    static constexpr int most_arms = 4;    // one thread, the kept count and its neighbours
    // A kept count whose whole time did not pay is left, with the counts
    // above, for a second, and twice as long each time again in a row.
    static constexpr std::int64_t first_ceiling_while = 1'000'000'000;
    // One count's measurements in a check.
    struct Arm {
        int level = 0;
        bool dropped = false;
        int count = 0;   // its jobs
        int cycles = 0;  // the jobs counted
        double wall = 0.0, awake = 0.0, jobs = 0.0;  // ns in its counted cycles
        double spent = 0.0;                          // ns in all its jobs and cycles
        double cycle() const { return wall / cycles; }
        double cpu() const { return (wall + awake) / cycles; }
    };
    int level_threads(int level) const;
    bool allowed(const Arm& arm) const;
    bool paid_off(std::int64_t end, std::int64_t awake) const;
    void start_check(std::int64_t end, std::int64_t awake);
    void next_block(std::int64_t end, std::int64_t awake);
    void end_check(std::int64_t end, std::int64_t awake);

    std::size_t pieces_ = 0;
    int most_ = 0;
    int levels_ = 0;
    int kept_ = 0;  // the level jobs use between checks
    int level_ = 0;  // the level of the job in hand
    std::uint64_t jobs_ = 0;

    // The check in hand: its arms (the first is one thread), the arm and
    // job of its block in hand, and the rounds done.
    bool checking_ = false;
    Arm arms_[most_arms];
    int arm_count_ = 0, arm_ = 0, block_job_ = 0, settling_ = 0, rounds_ = 0;
    std::int64_t last_end_ = 0, last_awake_ = 0;  // of the job before, in a block

    // What the last check measured: the kept count's job time and one
    // thread's, for the same jobs.
    double kept_job_ = 0.0, alone_job_ = 0.0;
    // Since the last check: the kept count's timed jobs and their time, the
    // clock and the workers' time awake at its end.
    std::uint64_t kept_jobs_ = 0;
    double kept_time_ = 0.0;
    std::int64_t kept_at_ = 0, kept_awake_ = 0;
    double recent_ = 0.0;  // running mean of the kept count's jobs
    // Levels from ceiling_ on are not tried until ceiling_until_: their
    // whole time did not pay; the next time, for ceiling_while_.
    int ceiling_ = most_levels;
    std::int64_t ceiling_until_ = 0, ceiling_while_ = first_ceiling_while;
    std::int64_t next_check_ = 0, check_interval_ = 0, earliest_check_ = 0;
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
