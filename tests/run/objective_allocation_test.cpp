// The objective that every optimiser evaluates runs without heap
// allocation once its work arrays have their size: this test program counts
// every operator new.

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>
#include <vector>

#include "model/funct.h"
#include "model/globals.h"
#include "run/sharc_fixture.h"
#include "run/sharc_objective.h"
#include "run/simplex.h"

namespace {
std::atomic<long> allocations{0};
}  // namespace

void* operator new(std::size_t size) {
    ++allocations;
    if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }

namespace {

// Allocations made by 50 calls of evaluate(k), after one call that sizes the
// work arrays.
template <class Evaluate>
long allocations_of(Evaluate evaluate) {
    evaluate(0);
    const long before = allocations.load();
    for (int k = 1; k <= 50; ++k) evaluate(k);
    return allocations.load() - before;
}

class ObjectiveAllocation : public ::testing::TestWithParam<int> {};

TEST_P(ObjectiveAllocation, EvaluationsAllocateNothing) {
    sharc_test::FitProblem problem = sharc_test::line_problem();
    problem.bounded = GetParam();  // with and without the bound mapping
    problem.lo = {-10.0, -10.0};
    problem.hi = {10.0, 10.0};
    sharc::DriverState s;
    sharc_test::set_up_fit(s, problem);
    std::vector<double> p = {0.5, 1.5}, g(2);
    double f = 0.0;

    EXPECT_EQ(allocations_of([&](int k) { p[0] = 0.01 * k; sharc::f1dim(s, p, 2, f); }), 0) << "driver objective";
    EXPECT_EQ(allocations_of([&](int k) { p[1] = 1.0 + 0.01 * k; funct::vmfun(2, p, f); }), 0) << "vmfun";
    EXPECT_EQ(allocations_of([&](int k) { p[0] = 0.02 * k; simplex_robust::smplexfun(p, 2, f); }), 0) << "simplex";
    EXPECT_EQ(allocations_of([&](int k) { p[1] = 2.0 - 0.01 * k; funct::derivat(g, f, p, 2); }), 0) << "gradient";
    EXPECT_GT(f, 0.0);
}

INSTANTIATE_TEST_SUITE_P(BoundModes, ObjectiveAllocation, ::testing::Values(0, 1));

}  // namespace
