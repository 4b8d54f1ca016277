#pragma once
// Test fixture for fits through the fitting driver: an empty service table,
// a run clock without waits, the stages the driver judged, and the fit
// arguments of one X variable.

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "foundations/runtime.h"
#include "model/globals.h"
#include "run/cascade.h"
#include "run/sharc.h"
#include "run/sharc_fixture.h"

namespace sharc_test {

// One stage the driver judged.
struct Report {
    std::string stage;
    double value;
    double lowest;
    bool accepted;
};

// Fresh run state and an empty service table around each test; every judged
// stage lands in reports.  Level 2 unless a test sets globals::iopt.
class SeamTest : public ::testing::Test {
protected:
    void SetUp() override {
        globals::reset_run_state();
        cascade::services() = {};
        runtime::set_time_scale(0.0);
        globals::iopt = 2;
        observe();
    }
    void TearDown() override {
        cascade::services() = {};
        runtime::set_time_scale(1.0);
        globals::reset_run_state();
    }

    // The installed services, with the observer kept.
    void install() {
        cascade::install_services();
        observe();
    }
    void observe() {
        cascade::services().observer = [this](const cascade::StageReport& r) {
            reports.push_back({std::string(r.stage), r.value, r.lowest, r.accepted});
        };
    }

    std::vector<Report> of(const std::string& stage) const {
        std::vector<Report> out;
        for (const Report& r : reports)
            if (r.stage == stage) out.push_back(r);
        return out;
    }
    int count(const std::string& stage) const { return static_cast<int>(of(stage).size()); }
    std::vector<std::string> stages() const {
        std::vector<std::string> out;
        for (const Report& r : reports) out.push_back(r.stage);
        return out;
    }

    std::vector<Report> reports;
};

// A fit of one X variable with every parameter free.
inline sharc_mod::SharcArgs one_variable_fit(const std::vector<double>& x, const std::vector<double>& y,
                                             const std::vector<double>& p, const std::vector<double>& lo,
                                             const std::vector<double>& hi) {
    sharc_mod::SharcArgs a;
    a.n = static_cast<int>(y.size());
    a.m = 1;
    a.k = static_cast<int>(p.size());
    a.x = kalvor::Matrix(y.size(), 1);
    for (std::size_t i = 0; i < y.size(); ++i) a.x(i, 0) = x[i];
    a.y = y;
    a.sig.assign(y.size(), 1.0);
    a.p = p;
    a.mask.assign(p.size(), 1);
    a.lo = lo;
    a.hi = hi;
    return a;
}

// Example 1: the Michaelis-Menten rows, y = P2 X1 / (P1 + X1), unweighted,
// from (10, 100) inside [1e-6, 1e6], with its model compiled.
inline sharc_mod::SharcArgs example1() {
    compile_model("P2*X1/(P1+X1)", 2);
    return one_variable_fit({5, 10, 15, 20, 25, 30, 35, 40, 45, 50, 55, 60, 65, 70, 75, 80, 85, 90, 95, 100},
                            {3.2, 15.9, 35.8, 45.1, 69.1, 75.6, 76.6, 83.7, 80.5, 90.0, 87.2, 94.3, 99.0, 90.7,
                             88.6, 97.0, 101.9, 90.8, 90.5, 105.0},
                            {10.0, 100.0}, {1e-6, 1e-6}, {1e6, 1e6});
}

}  // namespace sharc_test
