#include "foundations/runtime.h"
#include "foundations/matrix.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <random>
#include <span>
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

TEST(Runtime, FirstOutputsOfASeedAreThoseOfTheFullGenerator) {
    std::uint64_t seed = 0;
    for (int k = 0; k < 2000; ++k, seed = seed * 6364136223846793005ULL + 1442695040888963407ULL) {
        std::mt19937_64 full(seed);
        std::array<std::uint64_t, 64> first{};
        const std::size_t count = 1 + static_cast<std::size_t>(k) % first.size();
        runtime::mt19937_64_first_outputs(seed, std::span(first).first(count));
        for (std::size_t i = 0; i < count; ++i) ASSERT_EQ(first[i], full()) << "seed " << seed << " draw " << i;
    }
}

TEST(Runtime, FreshDrawsLeaveTheGeneratorWhereTheDrawsOneByOneLeaveIt) {
    // Two runs under the repeatable clock: fresh seeds with draws one by one,
    // and the same by random_fresh_draws, each followed by plain draws.
    const auto run = [](bool batched) {
        runtime::set_hooks(runtime::repeatable_clock());
        std::vector<double> values(11);
        for (int round = 0; round < 3; ++round) {
            if (batched) {
                std::vector<double> batch(11);
                runtime::random_fresh_draws(batch);
                values.insert(values.end(), batch.begin(), batch.end());
            } else {
                runtime::random_seed_fresh();
                for (int k = 0; k < 11; ++k) values.push_back(runtime::random_number());
            }
            if (round == 1) values.push_back(runtime::random_number());
        }
        for (const std::int32_t v : runtime::random_seed_get()) values.push_back(v);
        values.push_back(runtime::random_number());
        runtime::reset_hooks();
        return values;
    };
    EXPECT_EQ(run(true), run(false));
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
