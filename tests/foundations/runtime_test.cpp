#include "foundations/runtime.h"
#include "foundations/matrix.h"

#include <gtest/gtest.h>

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

TEST(Runtime, AFreshSeedStartsANewSequenceThatTheSeedVectorReproduces) {
    const std::vector<std::int32_t> zero(static_cast<std::size_t>(runtime::random_seed_size()), 0);
    runtime::random_seed_put(zero);
    runtime::random_seed_fresh();
    const double first = runtime::random_number();
    runtime::random_seed_put(zero);
    runtime::random_seed_fresh();
    EXPECT_NE(runtime::random_number(), first);  // a new seed each time

    const auto state = runtime::random_seed_get();
    const double a = runtime::random_number(), b = runtime::random_number();
    runtime::random_seed_put(state);
    EXPECT_EQ(runtime::random_number(), a);
    EXPECT_EQ(runtime::random_number(), b);
}

TEST(Runtime, FreshSeedsRepeatUnderTheRepeatableClock) {
    const auto draws = [] {
        runtime::set_hooks(runtime::repeatable_clock());
        std::vector<double> values;
        for (int k = 0; k < 3; ++k) {
            runtime::random_seed_fresh();
            values.push_back(runtime::random_number());
        }
        runtime::reset_hooks();
        return values;
    };
    const std::vector<double> first = draws();
    EXPECT_EQ(draws(), first);
    EXPECT_NE(first[0], first[1]);
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

TEST(Matrix, StoresColumnByColumn) {
    kalvor::Matrix m(2, 3);
    m(1, 2) = 7.0;
    EXPECT_EQ(m.data()[2 * 2 + 1], 7.0);
    EXPECT_EQ(m.column(2)[1], 7.0);
    EXPECT_EQ(kalvor::Matrix::identity(3)(1, 1), 1.0);
    EXPECT_EQ(kalvor::Matrix::identity(3)(0, 1), 0.0);
}
