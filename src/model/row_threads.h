#pragma once
// Worker threads that share one evaluation of the model over a large table.
//
// The workers start at the first use and live until the program ends; a
// job is split into numbered pieces that the calling thread and the
// workers take in turn, and run returns once every piece is done.  Between
// jobs the workers spin for a moment, then sleep until the next job; the
// calling thread waits for the last pieces by spinning on an atomic counter,
// without a lock.  One job runs at a time (the fit's thread starts them).

#include <cstddef>

namespace row_threads {

// Threads that share a job, the calling thread included: the processors
// this process may run on (at most 64) unless set_thread_count chose.
int thread_count();
// Use n threads from the next job on (n < 1: back to the processors).
void set_thread_count(int n);

// Runs piece(context, k) for k = 0..pieces-1, spread over the threads; each
// piece runs exactly once.  With one thread, or one piece, all run in the
// caller.
using Piece = void (*)(const void* context, std::size_t k);
void run(std::size_t pieces, Piece piece, const void* context);

// The same for a callable piece(k), without allocating.
template <class F>
void run(std::size_t pieces, const F& piece) {
    run(pieces, [](const void* context, std::size_t k) { (*static_cast<const F*>(context))(k); }, &piece);
}

}  // namespace row_threads
