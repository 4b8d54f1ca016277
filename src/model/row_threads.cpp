#include "model/row_threads.h"

#include <sched.h>

#include <algorithm>
#include <atomic>
#include <charconv>
#include <chrono>
#include <condition_variable>
#include <exception>
#include <fstream>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

namespace row_threads {

namespace {

constexpr int most_threads = 64;
// Pauses between two looks at the clock (and yields of the processor) while
// a thread waits.
constexpr int pauses_per_look = 64;
// A worker waiting for the next job gives way to other threads once in this
// many looks: a yield costs a system call, and on a quiet machine gives
// nothing.
constexpr int yield_looks = 8;
// Longest spin of a worker between jobs: twice the longest gap between
// jobs that spinning bridges.
constexpr std::int64_t longest_idle_spin = 200'000;
// A caller spins for the last pieces at most this many times the time of
// one of its own pieces (within the bounds below), then sleeps.
constexpr std::int64_t late_pieces = 4;
constexpr std::int64_t least_late = 5'000, most_late = 500'000;

void pause() {
#if defined(__x86_64__) || defined(__i386__)
    __builtin_ia32_pause();
#else
    std::this_thread::yield();
#endif
}

// A steady clock of the pool's own, in nanoseconds: the program's clocks
// (runtime.h) can be made repeatable, and the pool's timings must not move
// them.
std::int64_t now() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

int affinity_processors() {
    cpu_set_t set;
    CPU_ZERO(&set);
    if (sched_getaffinity(0, sizeof set, &set) == 0) return CPU_COUNT(&set);
    return static_cast<int>(std::thread::hardware_concurrency());
}

std::string first_line(const std::string& path) {
    std::ifstream in(path);
    std::string line;
    std::getline(in, line);
    return line;
}

// The tightest cpu.max quota of this process's cgroup (version 2) and the
// groups above it; 0 when none states one.
int quota_limit() {
    std::ifstream groups("/proc/self/cgroup");
    std::string path;
    for (std::string line; std::getline(groups, line);)
        if (line.rfind("0::", 0) == 0) path = line.substr(3);
    int limit = 0;
    for (bool more = !path.empty(); more;) {
        const int q = quota_processors(first_line("/sys/fs/cgroup" + path + "/cpu.max"));
        if (q > 0) limit = limit > 0 ? std::min(limit, q) : q;
        more = path.size() > 1;
        path.resize(std::max<std::size_t>(path.rfind('/'), 1));
    }
    return limit;
}

int available_processors() {
    int n = affinity_processors();
    if (const int q = quota_limit(); q > 0) n = std::min(n, q);
    return std::clamp(n, 1, most_threads);
}

std::atomic<int> chosen_threads{0};  // 0: measured

// The job in hand is one 64-bit word: its number (24 bits), its count of
// pieces and the next piece to take (20 bits each).  Taking a piece is a
// compare-and-swap of that word, so a worker that wakes late can never take
// a piece of a job it did not see published.
struct Word {
    static constexpr int piece_bits = 20;
    static constexpr std::uint64_t piece_mask = (std::uint64_t{1} << piece_bits) - 1;
    static std::uint64_t pack(std::uint64_t job, std::uint64_t count, std::uint64_t next) {
        return (job << (2 * piece_bits)) | (count << piece_bits) | next;
    }
    static std::uint64_t job(std::uint64_t w) { return w >> (2 * piece_bits); }
    static std::uint64_t count(std::uint64_t w) { return (w >> piece_bits) & piece_mask; }
    static std::uint64_t next(std::uint64_t w) { return w & piece_mask; }
    static constexpr std::uint64_t most_pieces = piece_mask;
    static constexpr std::uint64_t job_mask = (std::uint64_t{1} << (64 - 2 * piece_bits)) - 1;
};

void run_alone(std::size_t pieces, Piece piece, const void* context) {
    for (std::size_t k = 0; k < pieces; ++k) piece(context, k, 0);
}

// Sleeping is the uncommon path: a lock and a condition variable, and a
// flag that tells the waker whether to take the lock.
struct Sleeper {
    std::mutex mutex;
    std::condition_variable wake;
    std::atomic<bool> asleep{false};

    template <class Ready>
    void sleep_until(Ready ready) {
        std::unique_lock lock(mutex);
        asleep.store(true);
        wake.wait(lock, ready);
        asleep.store(false);
    }
    // Called after the change that makes ready() true.
    void wake_if_asleep() {
        if (!asleep.load()) return;
        { std::lock_guard lock(mutex); }
        wake.notify_one();
    }
};

}  // namespace

struct Pool::State {
    struct Worker {
        std::thread thread;
        Sleeper sleeper;
        // The time awake, as the worker alone writes it: while awake, the
        // time awake before minus the clock at waking (below 0); while
        // asleep, the time awake.
        std::atomic<std::int64_t> awake_mark{0};
    };

    Start start;
    std::vector<std::unique_ptr<Worker>> workers;
    bool start_failed = false;
    alignas(64) std::atomic<bool> busy{false};  // a caller's job has the workers
    alignas(64) std::atomic<bool> stopping{false};

    // The job in hand.
    std::uint64_t job_number = 0;  // the caller's count of jobs
    // Set before the job is published, each on a line of its own (the
    // word and the count of pieces done are written as pieces are taken).
    alignas(64) std::atomic<Piece> piece{nullptr};
    std::atomic<const void*> context{nullptr};
    std::atomic<int> helpers{0};  // workers that take pieces of the job
    alignas(64) std::atomic<std::uint64_t> word{0};
    alignas(64) std::atomic<std::size_t> done{0};
    alignas(64) std::atomic<bool> failed{false};
    std::exception_ptr error;  // written by the thread that set failed
    Sleeper caller;

    // The usual gap between two timed jobs and the usual job, for how long
    // workers spin after their last piece: through the rest of the job and
    // a gap of the usual length, not at all when the gaps are too long to
    // bridge.
    std::atomic<std::int64_t> last_end{0};  // of the last job, when timed; 0 after one untimed
    double gap = longest_idle_spin / 4, job = 0.0;
    std::atomic<std::int64_t> idle_spin{longest_idle_spin / 2};

    void timed_job(std::int64_t start, std::int64_t end) {
        job += (static_cast<double>(end - start) - job) / 8.0;
        if (const std::int64_t last = last_end.load(std::memory_order_relaxed); last > 0) {
            gap += (static_cast<double>(std::min(start - last, 4 * longest_idle_spin)) - gap) / 8.0;
            const double spin = std::min(job + 2.0 * gap, static_cast<double>(longest_idle_spin));
            idle_spin.store(gap < longest_idle_spin / 2 ? static_cast<std::int64_t>(spin) : 0, std::memory_order_relaxed);
        }
        last_end.store(end, std::memory_order_relaxed);
    }

    ~State() {
        stopping.store(true);
        word.fetch_add(Word::pack(1, 0, 0));
        for (auto& w : workers) {
            { std::lock_guard lock(w->sleeper.mutex); }
            w->sleeper.wake.notify_one();
            w->thread.join();
        }
    }

    // The time the workers have been awake in all, at the clock's time.
    std::int64_t awake(std::int64_t time) const {
        std::int64_t sum = 0;
        for (const auto& w : workers) {
            const std::int64_t mark = w->awake_mark.load(std::memory_order_relaxed);
            sum += mark < 0 ? mark + time : mark;
        }
        return sum;
    }

    // Threads (up to n) that a job can use: workers are started as needed,
    // and when the system refuses one, no more are tried.
    int usable_threads(int n) {
        while (static_cast<int>(workers.size()) < n - 1 && !start_failed) {
            auto w = std::make_unique<Worker>();
            try {
                w->thread = start([this, me = w.get(), index = static_cast<int>(workers.size()), seen = job_number] {
                    work(*me, index, seen);
                });
            } catch (...) {
                start_failed = true;
                break;
            }
            workers.push_back(std::move(w));
        }
        return std::min(n, static_cast<int>(workers.size()) + 1);
    }

    // Worker index (thread index + 1), started while job number seen was the last.
    void work(Worker& me, int index, std::uint64_t seen) {
        me.awake_mark.store(-now(), std::memory_order_relaxed);
        bool helped = false;
        for (;;) {
            const std::uint64_t w = wait_for_job(me, seen, helped ? idle_spin.load(std::memory_order_relaxed) : 0);
            if (stopping.load()) return;
            seen = Word::job(w);
            helped = index < helpers.load(std::memory_order_relaxed);
            if (helped) take_pieces(seen, index + 1);
        }
    }

    // The word of the first job after seen: spins for spin nanoseconds,
    // giving way to other threads, then sleeps.
    std::uint64_t wait_for_job(Worker& me, std::uint64_t seen, std::int64_t spin) {
        const auto arrived = [&] { return Word::job(word.load()) != seen || stopping.load(); };
        const std::int64_t start = spin > 0 ? now() : 0;
        for (int pauses = 1; spin > 0 && !arrived(); ++pauses) {
            pause();
            if (pauses % pauses_per_look != 0) continue;
            if (now() - start > spin) break;
            if (pauses % (yield_looks * pauses_per_look) == 0) std::this_thread::yield();
        }
        if (!arrived()) {
            me.awake_mark.store(me.awake_mark.load(std::memory_order_relaxed) + now(), std::memory_order_relaxed);
            me.sleeper.sleep_until(arrived);
            me.awake_mark.store(me.awake_mark.load(std::memory_order_relaxed) - now(), std::memory_order_relaxed);
        }
        return word.load(std::memory_order_acquire);
    }

    // Takes and runs pieces of job number job as thread until none is left;
    // returns how many it took.  After an exception the pieces left are
    // taken without being run.
    std::size_t take_pieces(std::uint64_t job, int thread) {
        std::size_t taken = 0;
        std::uint64_t w = word.load(std::memory_order_acquire);
        for (;;) {
            if (Word::job(w) != job || Word::next(w) >= Word::count(w)) {
                // The pieces taken are counted done at once: the job cannot
                // end, nor the word move on, before.
                if (taken > 0 && done.fetch_add(taken) + taken == Word::count(w)) caller.wake_if_asleep();
                return taken;
            }
            if (!word.compare_exchange_weak(w, w + 1, std::memory_order_acq_rel, std::memory_order_acquire)) continue;
            if (!failed.load(std::memory_order_relaxed)) {
                try {
                    piece.load(std::memory_order_relaxed)(context.load(std::memory_order_relaxed),
                                                          static_cast<std::size_t>(Word::next(w)), thread);
                } catch (...) {
                    if (!failed.exchange(true)) error = std::current_exception();
                }
            }
            ++taken;
            w = word.load(std::memory_order_acquire);
        }
    }

    void share(std::size_t pieces, Piece p, const void* c, int threads) {
        const std::int64_t begin = now();
        helpers.store(threads - 1, std::memory_order_relaxed);
        piece.store(p, std::memory_order_relaxed);
        context.store(c, std::memory_order_relaxed);
        done.store(0, std::memory_order_relaxed);
        failed.store(false, std::memory_order_relaxed);
        job_number = (job_number + 1) & Word::job_mask;
        word.store(Word::pack(job_number, pieces, 0));
        for (int i = 0; i < threads - 1; ++i) workers[static_cast<std::size_t>(i)]->sleeper.wake_if_asleep();

        const std::size_t taken = take_pieces(job_number, 0);
        const std::int64_t own = now();
        const std::int64_t per_piece = taken > 0 ? (own - begin) / static_cast<std::int64_t>(taken) : least_late;
        const std::int64_t late = std::clamp(late_pieces * per_piece, least_late, most_late);
        const auto finished = [&] { return done.load() >= pieces; };
        for (int pauses = 1; !finished(); ++pauses) {
            pause();
            if (pauses % pauses_per_look != 0) continue;
            if (now() - own > late) {
                caller.sleep_until(finished);
                break;
            }
            std::this_thread::yield();
        }
        if (failed.load()) std::rethrow_exception(std::exchange(error, nullptr));
    }
};

Pool::Pool(Start start) : state_(std::make_unique<State>()) {
    state_->start = start ? std::move(start) : [](std::function<void()> body) { return std::thread(std::move(body)); };
    state_->workers.reserve(most_threads);
}

Pool::~Pool() = default;

void Pool::run(Site& site, std::size_t pieces, Piece piece, const void* context) {
    State& s = *state_;
    if (pieces <= 1 || pieces > Word::most_pieces || thread_count() <= 1) {
        run_alone(pieces, piece, context);
        return;
    }
    const int chosen = chosen_threads.load(std::memory_order_relaxed);
    // Most jobs of a kind kept on one thread need neither the workers nor
    // the clock.
    const bool untimed_alone = chosen == 0 && site.untimed_alone(pieces, thread_count());
    if (untimed_alone) s.last_end.store(0, std::memory_order_relaxed);  // as after any untimed job
    bool idle = false;
    if (untimed_alone || !s.busy.compare_exchange_strong(idle, true)) {
        run_alone(pieces, piece, context);
        return;
    }
    struct Release {
        std::atomic<bool>& busy;
        ~Release() { busy.store(false); }
    } release{s.busy};

    const int most = s.start_failed ? std::min(thread_count(), static_cast<int>(s.workers.size()) + 1) : thread_count();
    const int wanted = chosen > 0 ? std::min(chosen, most) : site.threads(pieces, most);
    const int threads = s.usable_threads(static_cast<int>(std::min<std::size_t>(static_cast<std::size_t>(wanted), pieces)));
    const bool timed = chosen == 0 && site.timed();
    const std::int64_t start = timed ? now() : 0;
    if (!timed) s.last_end.store(0, std::memory_order_relaxed);
    if (threads <= 1)
        run_alone(pieces, piece, context);
    else
        s.share(pieces, piece, context, threads);
    if (!timed) return;
    const std::int64_t end = now();
    s.timed_job(start, end);
    site.record(start, end, s.awake(end));
}

int thread_count() {
    const int chosen = chosen_threads.load(std::memory_order_relaxed);
    if (chosen > 0) return chosen;
    static const int available = available_processors();
    return available;
}

void set_thread_count(int n) { chosen_threads.store(std::clamp(n, 0, most_threads), std::memory_order_relaxed); }

int quota_processors(std::string_view cpu_max) {
    const auto space = cpu_max.find(' ');
    if (space == std::string_view::npos) return 0;
    long long quota = 0, period = 0;
    const char* q = cpu_max.data();
    const char* p = q + space + 1;
    if (std::from_chars(q, q + space, quota).ptr != q + space || quota <= 0) return 0;
    if (std::from_chars(p, cpu_max.data() + cpu_max.size(), period).ec != std::errc{} || period <= 0) return 0;
    return static_cast<int>(std::min<long long>((quota + period - 1) / period, most_threads));
}

void run(Site& site, std::size_t pieces, Piece piece, const void* context) {
    static Pool pool;
    pool.run(site, pieces, piece, context);
}

}  // namespace row_threads
