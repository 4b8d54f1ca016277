#include "foundations/timeit.h"
#include "foundations/runtime.h"

#include <gtest/gtest.h>

namespace {

double clock_now = 0.0;
float cpu_now = 0.0f;

class TimeitTest : public ::testing::Test {
protected:
    void SetUp() override {
        runtime::Hooks hooks;
        hooks.monotonic_seconds = [] { return clock_now; };
        hooks.cpu_time = [] { return static_cast<double>(cpu_now); };
        runtime::set_hooks(std::move(hooks));
    }
    void TearDown() override { runtime::reset_hooks(); }
};

}  // namespace

// Kept first: before any restart the clock reading itself comes back.
TEST_F(TimeitTest, ReadingBeforeAnyRestartIsTheClockItself) {
    clock_now = 1234.5;
    int flag = 0;
    EXPECT_DOUBLE_EQ(timeit_mod::timeclock(flag), 1234.5);
}

TEST_F(TimeitTest, TimeclockSumsItsReadingsSinceTheRestart) {
    clock_now = 500.0;
    int flag = 1;
    EXPECT_EQ(timeit_mod::timeclock(flag), 0.0);
    EXPECT_EQ(flag, 0);
    clock_now = 501.0;
    EXPECT_DOUBLE_EQ(timeit_mod::timeclock(flag), 1.0);
    clock_now = 502.0;
    EXPECT_DOUBLE_EQ(timeit_mod::timeclock(flag), 3.0);
    clock_now = 503.0;
    EXPECT_DOUBLE_EQ(timeit_mod::timeclock(flag), 6.0);

    // A restart starts the sum afresh.
    flag = 7;
    EXPECT_EQ(timeit_mod::timeclock(flag), 0.0);
    EXPECT_EQ(flag, 0);
    clock_now = 505.5;
    EXPECT_DOUBLE_EQ(timeit_mod::timeclock(flag), 2.5);
}

TEST_F(TimeitTest, LongRunsKeepFullResolution) {
    // Far from the clock's origin a 32-bit millisecond count would have
    // wrapped; the monotonic seconds do not.
    clock_now = 3.0e6;
    int flag = 1;
    timeit_mod::timeclock(flag);
    clock_now = 3.0e6 + 0.001;
    EXPECT_NEAR(timeit_mod::timeclock(flag), 0.001, 1e-9);
}

TEST_F(TimeitTest, TimeitAccumulatesProcessorTime) {
    cpu_now = 10.0f;
    int flag = 1;
    timeit_mod::timeit(flag);
    EXPECT_EQ(flag, 0);
    EXPECT_EQ(timeit_mod::timeit_value(), 0.0f);
    cpu_now = 10.5f;
    timeit_mod::timeit(flag);
    EXPECT_FLOAT_EQ(timeit_mod::timeit_value(), 0.5f);
    cpu_now = 11.0f;
    timeit_mod::timeit(flag);
    EXPECT_FLOAT_EQ(timeit_mod::timeit_value(), 1.5f);
}
