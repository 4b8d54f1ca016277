#pragma once
// The run clock of the fitting driver and the optimisers, and a processor
// time stopwatch.
//
// Both are restartable accumulators: a nonzero flag restarts the clock and is
// cleared; every later reading adds the whole time since the restart to the
// previous result.  Readings at d1, d2, d3 after a restart therefore give d1,
// d1 + d2, d1 + d2 + d3 - the callers compare that sum with their time budget
// (globals::timemax), passing globals::starttimer as the flag.

namespace timeit_mod {

// Wall-clock accumulator in seconds on the monotonic clock.  Before any
// restart a reading returns the clock reading itself.
double timeclock(int& flag);

// The same scheme on the processor time in single precision; the value is
// kept, not returned (timeit_value reads it).
void timeit(int& flag);
float timeit_value();

// Seconds on the monotonic clock since the run clock's last restart, read
// without adding to anything: the reading for an optimiser that tests a time
// budget inside a fit, leaving the run clock's sum to the fitting driver.
// Before the first restart it counts from the monotonic clock's origin, so
// a test restarts the run clock (timeclock with a nonzero flag) first.
double elapsed();

}  // namespace timeit_mod
