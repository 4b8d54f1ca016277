#pragma once
// Test helpers for the Levenberg-Marquardt optimiser: one fit problem of
// several X columns set up in the shared fit data, and a call of marq on it.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "foundations/matrix.h"
#include "model/globals.h"
#include "optimizers/fit_fixture.h"
#include "optimizers/marq.h"

namespace marq_test {

struct Problem {
    std::string formula;             // right-hand side of "Y="
    std::vector<std::vector<double>> x;  // X values per row
    std::vector<double> y;
    std::vector<double> p;           // start values
    std::vector<int> mask;           // empty: all active
    std::vector<double> lo, hi;      // empty: -1e6 and 1e6
    std::vector<double> sigma;       // empty: 1
    int kind = 0;
};

struct Result {
    std::vector<double> p, yfit, se, ci, shares;
    kalvor::Matrix cov, corr;
    double start_ssq = 0.0, ssq = 0.0;
};

// The problem's data and, once it is filled in, the objective data of marq.
class FitCase {
public:
    explicit FitCase(Problem problem) : pr_(std::move(problem)) {
        globals::reset_run_state();
        optimizer_test::restart_run_clock();
        const std::size_t np = pr_.p.size(), rows = pr_.y.size();
        if (pr_.mask.empty()) pr_.mask.assign(np, 1);
        if (pr_.lo.empty()) pr_.lo.assign(np, -1e6);
        if (pr_.hi.empty()) pr_.hi.assign(np, 1e6);
        if (pr_.sigma.empty()) pr_.sigma.assign(rows, 1.0);
        const std::size_t nx = pr_.x.empty() ? 1 : pr_.x.front().size();
        x_.resize(rows, nx);
        y_.resize(rows, 1);
        for (std::size_t i = 0; i < rows; ++i) {
            for (std::size_t j = 0; j < nx; ++j) x_(i, j) = pr_.x[i][j];
            y_(i, 0) = pr_.y[i];
        }
        sharc_test::compile_model(pr_.formula, static_cast<int>(np), static_cast<int>(nx));
        common_data::nd = static_cast<int>(rows);
        common_data::nxd = static_cast<int>(nx);
        optimizer_test::use_parameters(pr_.mask, pr_.lo, pr_.hi);
    }

    marq::Data data() const {
        return {static_cast<int>(pr_.y.size()), static_cast<int>(x_.cols()), 1, x_, y_, pr_.kind, pr_.sigma};
    }
    int np() const { return static_cast<int>(pr_.p.size()); }
    const Problem& problem() const { return pr_; }

    // The sum of squares of the problem's kind at p.
    double ssq(const std::vector<double>& p) const {
        marq::Eval e;
        marq::funy(data(), p, np(), e);
        return e.ssq;
    }

    // marq from start (the start values when empty), the reference 1.1
    // times the start sum.
    Result fit(std::vector<double> start = {}, int level = 3, int cycles = 30, int nostat = 0) const {
        Result r;
        const std::size_t np = pr_.p.size(), rows = pr_.y.size();
        r.p = start.empty() ? pr_.p : start;
        r.yfit.assign(rows, 0.0);
        r.se.assign(np, -1.0);
        r.ci.assign(np, -1.0);
        r.shares.assign(np, -1.0);
        r.start_ssq = ssq(r.p);
        r.ssq = r.start_ssq;
        int status = -1;
        marq_mod::marq(static_cast<int>(rows), static_cast<int>(x_.cols()), 1, static_cast<int>(np), x_, y_, r.yfit,
                       nostat, r.cov, r.corr, pr_.kind, pr_.sigma, r.p, pr_.lo, pr_.hi, r.se, r.ci, r.shares,
                       1.1 * r.start_ssq, cycles, r.ssq, 0, level, status);
        EXPECT_EQ(status, 0);
        return r;
    }

    // Repeated calls, each from the result of the one before (as successive
    // fits of the cascade), until the parameters stand still.
    Result settle(int calls = 20) const {
        Result r = fit();
        for (int k = 1; k < calls; ++k) {
            Result next = fit(r.p);
            EXPECT_LE(next.ssq, r.ssq);
            const bool still = next.p == r.p;
            r = std::move(next);
            if (still) break;
        }
        return r;
    }

private:
    Problem pr_;
    kalvor::Matrix x_, y_;
};

// Rows of one X variable.
inline std::vector<std::vector<double>> column(const std::vector<double>& x) {
    std::vector<std::vector<double>> rows;
    for (const double v : x) rows.push_back({v});
    return rows;
}

}  // namespace marq_test
