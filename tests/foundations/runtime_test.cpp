#include "foundations/runtime.h"
#include "foundations/matrix.h"

#include <gtest/gtest.h>

#include <chrono>

#include <vector>

TEST(Runtime, SeedVectorReproducesTheSequence) {
    runtime::reset_hooks();
    const std::vector<std::int32_t> seed{1, 2, 3, 4, 5, 6, 7, 8};
    runtime::random_seed_put(seed);
    std::vector<double> first;
    for (int i = 0; i < 5; ++i) first.push_back(runtime::random_number());
    runtime::random_seed_put(seed);
    for (double v : first) EXPECT_EQ(runtime::random_number(), v);

    // A seed read in mid-stream reproduces what follows it.
    const auto mid = runtime::random_seed_get();
    const double a = runtime::random_number(), b = runtime::random_number();
    runtime::random_seed_put(mid);
    EXPECT_EQ(runtime::random_number(), a);
    EXPECT_EQ(runtime::random_number(), b);
}

TEST(Runtime, DrawsLieInTheUnitInterval) {
    runtime::reset_hooks();
    for (int i = 0; i < 10000; ++i) {
        const double u = runtime::random_number(), v = runtime::simple_uniform();
        ASSERT_GE(u, 0.0); ASSERT_LT(u, 1.0);
        ASSERT_GE(v, 0.0); ASSERT_LT(v, 1.0);
    }
}

TEST(Runtime, HooksReplaceTheFacilities) {
    double slept = -1;
    runtime::set_hooks({.random_number = [] { return 0.25; },
                        .sleep_seconds = [&](double s) { slept = s; }});
    EXPECT_EQ(runtime::random_number(), 0.25);
    runtime::sleep_seconds(3);
    EXPECT_EQ(slept, 3);
    runtime::reset_hooks();
    EXPECT_NE(runtime::random_number(), 0.25);
}

// Every clock of the repeatable hooks reads one counter that moves on by a
// millisecond per reading, and a fresh set of hooks starts it again.
TEST(Runtime, RepeatableClockStartsAlikeAndMovesOnAtEveryReading) {
    std::vector<double> first;
    for (int run = 0; run < 2; ++run) {
        runtime::set_hooks(runtime::repeatable_clock());
        const double a = runtime::monotonic_seconds();
        const auto b = runtime::now();
        const double c = runtime::cpu_time();
        const double d = runtime::monotonic_seconds();
        EXPECT_NEAR(d - a, 0.003, 1e-9);
        EXPECT_EQ(std::chrono::duration_cast<std::chrono::milliseconds>(b.time_since_epoch()).count(),
                  1704067200002LL);
        EXPECT_NEAR(c, 0.003, 1e-12);
        if (run == 0)
            first = {a, c, d};
        else
            EXPECT_EQ((std::vector<double>{a, c, d}), first);
    }
    runtime::reset_hooks();
}

TEST(Matrix, StoresColumnByColumn) {
    kalvor::Matrix m(2, 3);
    m(1, 2) = 7.0;
    EXPECT_EQ(m.data()[2 * 2 + 1], 7.0);
    EXPECT_EQ(m.column(2)[1], 7.0);
    EXPECT_EQ(kalvor::Matrix::identity(3)(1, 1), 1.0);
    EXPECT_EQ(kalvor::Matrix::identity(3)(0, 1), 0.0);
}
