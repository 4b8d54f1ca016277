#include "model/row_threads.h"

#include <sched.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>
#include <vector>

namespace row_threads {

namespace {

constexpr int most_threads = 64;
// Pauses a worker spins through after a job before it sleeps (about a
// millisecond: long enough to outlast the fit's own work between two
// evaluations, since waking a sleeper costs more than the job it would
// share), and a waiting caller before it yields its processor once.
constexpr int spins_before_sleep = 40000;
constexpr int spins_before_yield = 1000;

void pause() {
#if defined(__x86_64__) || defined(__i386__)
    __builtin_ia32_pause();
#else
    std::this_thread::yield();
#endif
}

int processors() {
    cpu_set_t set;
    CPU_ZERO(&set);
    if (sched_getaffinity(0, sizeof set, &set) == 0) return std::clamp(CPU_COUNT(&set), 1, most_threads);
    return std::clamp(static_cast<int>(std::thread::hardware_concurrency()), 1, most_threads);
}

std::atomic<int> chosen_threads{0};  // 0: the processors

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

class Pool {
public:
    ~Pool() {
        stopping_.store(true);
        word_.fetch_add(Word::pack(1, 0, 0));
        wake_all();
        for (std::thread& t : workers_) t.join();
    }

    void run(std::size_t pieces, Piece piece, const void* context, int threads) {
        while (static_cast<int>(workers_.size()) < threads - 1) {
            const int index = static_cast<int>(workers_.size());
            workers_.emplace_back([this, index, seen = job_number_] { work(index, seen); });
        }
        helpers_.store(threads - 1, std::memory_order_relaxed);
        piece_.store(piece, std::memory_order_relaxed);
        context_.store(context, std::memory_order_relaxed);
        done_.store(0, std::memory_order_relaxed);
        job_number_ = (job_number_ + 1) & Word::job_mask;
        word_.store(Word::pack(job_number_, pieces, 0));
        if (sleepers_.load() > 0) wake_all();
        take_pieces(job_number_);
        for (int spins = 1; done_.load(std::memory_order_acquire) < pieces; ++spins) {
            pause();
            if (spins % spins_before_yield == 0) std::this_thread::yield();
        }
    }

private:
    // Worker index, started while job number seen was the last.
    void work(int index, std::uint64_t seen) {
        for (;;) {
            std::uint64_t w = word_.load(std::memory_order_acquire);
            for (int spins = 0; Word::job(w) == seen && !stopping_.load(std::memory_order_relaxed);
                 w = word_.load(std::memory_order_acquire)) {
                if (++spins < spins_before_sleep) {
                    pause();
                    continue;
                }
                sleep_until_job_after(seen);
                spins = 0;
            }
            if (stopping_.load()) return;
            seen = Word::job(w);
            if (index < helpers_.load(std::memory_order_relaxed)) take_pieces(seen);
        }
    }

    // Sleeping is the uncommon path: a lock and a condition variable.
    void sleep_until_job_after(std::uint64_t seen) {
        std::unique_lock lock(sleep_mutex_);
        sleepers_.fetch_add(1);
        sleep_.wait(lock, [&] { return Word::job(word_.load()) != seen || stopping_.load(); });
        sleepers_.fetch_sub(1);
    }

    void wake_all() {
        { std::lock_guard lock(sleep_mutex_); }
        sleep_.notify_all();
    }

    // Takes and runs pieces of job number job until none is left.
    void take_pieces(std::uint64_t job) {
        std::uint64_t w = word_.load(std::memory_order_acquire);
        for (;;) {
            if (Word::job(w) != job || Word::next(w) >= Word::count(w)) return;
            if (!word_.compare_exchange_weak(w, w + 1, std::memory_order_acq_rel, std::memory_order_acquire))
                continue;
            piece_.load(std::memory_order_relaxed)(context_.load(std::memory_order_relaxed),
                                                   static_cast<std::size_t>(Word::next(w)));
            done_.fetch_add(1, std::memory_order_release);
            w = word_.load(std::memory_order_acquire);
        }
    }

    std::vector<std::thread> workers_;
    std::uint64_t job_number_ = 0;  // the caller's count of jobs
    std::atomic<std::uint64_t> word_{0};
    std::atomic<Piece> piece_{nullptr};
    std::atomic<const void*> context_{nullptr};
    std::atomic<std::size_t> done_{0};
    std::atomic<int> helpers_{0};  // workers that take pieces of the job
    std::atomic<int> sleepers_{0};
    std::mutex sleep_mutex_;
    std::condition_variable sleep_;
    std::atomic<bool> stopping_{false};
};

Pool& pool() {
    static Pool p;
    return p;
}

}  // namespace

int thread_count() {
    const int chosen = chosen_threads.load(std::memory_order_relaxed);
    if (chosen > 0) return chosen;
    static const int available = processors();
    return available;
}

void set_thread_count(int n) { chosen_threads.store(std::clamp(n, 0, most_threads), std::memory_order_relaxed); }

void run(std::size_t pieces, Piece piece, const void* context) {
    const int threads = thread_count();
    if (threads <= 1 || pieces <= 1 || pieces > Word::most_pieces) {
        for (std::size_t k = 0; k < pieces; ++k) piece(context, k);
        return;
    }
    pool().run(pieces, piece, context, threads);
}

}  // namespace row_threads
