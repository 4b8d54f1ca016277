// Standard errors of whole fits: against the standard deviations NIST
// certifies, on a model with redundant parameters, and on the Hougen example
// against an independent calculation; and fits that repeat bit for bit
// under the repeatable clock.

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "foundations/nrutil_random.h"
#include "foundations/random.h"
#include "foundations/runtime.h"
#include "model/funct.h"
#include "model/globals.h"
#include "run/main_sub.h"
#include "run/sharc.h"
#include "run_files_fixture.h"

namespace {

namespace fs = std::filesystem;

const fs::path shared_dir = KALVOR_SHARED_DIR;
const fs::path nist_dir = shared_dir / "data/nist-strd";

class FitStatisticsTest : public RunFilesTest {
protected:
    void SetUp() override {
        RunFilesTest::SetUp();
        globals::iopt = 2;
        globals::iwt = 1;
        mainsub::set_fit_driver([this](sharc_mod::SharcArgs& a) {
            const auto outcome = sharc_mod::sharc(a);
            last = a;
            return outcome;
        });
    }
    void TearDown() override {
        mainsub::set_fit_driver({});
        runtime::reset_hooks();
        RunFilesTest::TearDown();
    }

    // Fits a copy of the data file with every clock on the repeatable
    // clock and the simple generator restarted, as in a fresh process.
    void fit(const fs::path& source) {
        const fs::path data = dir / source.filename();
        if (source != data) fs::copy_file(source, data, fs::copy_options::overwrite_existing);
        runtime::Hooks hooks = runtime::repeatable_clock();
        auto state = std::make_shared<unsigned long long>(7);
        hooks.simple_uniform = [state] {
            *state = *state * 6364136223846793005ULL + 1442695040888963407ULL;
            return static_cast<double>(*state >> 11) / 9007199254740992.0;
        };
        runtime::set_hooks(hooks);
        randomize::reset();
        nrutil::reset_random_state();
        globals::input_file_name = data.string();
        globals::bpostrun = 0;
        globals::bcancelrun = 0;
        main_sub();
        runtime::reset_hooks();
    }

    fs::path write_data(const std::string& name, const std::string& text) {
        const fs::path path = dir / name;
        std::ofstream(path) << text;
        return path;
    }

    std::string run_log() const { return file_text("Kalvor_UDF-runlog.txt"); }

    sharc_mod::SharcArgs last;
};

// Certified parameters and their standard deviations: the lines "bk = start1
// start2 value deviation" of a NIST StRD file.
struct Certified {
    std::vector<double> value, deviation;
};

Certified certified(const std::string& name) {
    std::ifstream in(nist_dir / (name + ".dat"));
    Certified c;
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream words(line);
        std::string b, eq;
        if (!(words >> b >> eq) || b.size() < 2 || b[0] != 'b' || eq != "=") continue;
        std::vector<double> v;
        for (double x; words >> x;) v.push_back(x);
        if (v.size() < 4) continue;
        c.value.push_back(v[v.size() - 2]);
        c.deviation.push_back(v.back());
    }
    return c;
}

// Problems fitted to at least 6 digits from start 2 that fit quickly.  The
// certified deviations are sqrt(s^2 diag (J'J)^-1), s^2 = SSE / (n - k).
TEST_F(FitStatisticsTest, StandardErrorsMatchTheNistCertifiedDeviations) {
    if (!fs::is_directory(shared_dir)) GTEST_SKIP() << "no shared folder";
    for (const std::string name : {"Misra1a", "Misra1c", "BoxBOD", "DanWood", "Rat42", "Eckerle4", "Kirby2",
                                   "Nelson"}) {
        const Certified c = certified(name);
        ASSERT_FALSE(c.value.empty()) << name;
        fit(nist_dir / "dat" / (name + "-s2.DAT"));
        ASSERT_EQ(last.se.size(), c.value.size()) << name;
        for (std::size_t j = 0; j < c.value.size(); ++j) {
            ASSERT_NEAR(last.p[j], c.value[j], 1e-6 * std::fabs(c.value[j])) << name << " b" << j + 1;
            EXPECT_NEAR(last.se[j], c.deviation[j], 1e-3 * c.deviation[j]) << name << " b" << j + 1;
        }
    }
}

// y = P1 P2 X1 + P3 determines only the product P1 P2: no standard error
// can be given, and the correlations still show which parameters are tied.
TEST_F(FitStatisticsTest, RedundantParametersGetTheMarkerAndAWarning) {
    std::string text = "y=P1*P2*X1+P3\n1 1 1\n-100 -100 -100\n100 100 100\nT T T\n";
    for (int i = 1; i <= 10; ++i)
        text += std::to_string(i) + " " + std::to_string(3.0 + 2.0 * i + (i % 2 == 0 ? 0.1 : -0.1)) + "\n";
    fit(write_data("REDUNDANT.DAT", text + "END\n"));
    ASSERT_EQ(last.se.size(), 3u);
    for (double se : last.se) EXPECT_EQ(se, sharc::se_unknown);
    EXPECT_NE(run_log().find("stderr_corr(WARNING)"), std::string::npos) << run_log();
    EXPECT_GT(std::fabs(last.corr(0, 1)), 0.999);
    EXPECT_LT(std::fabs(last.eigenvalues[2]), 1e-3);
    EXPECT_NEAR(last.p[0] * last.p[1], 2.0, 1e-2);
}

// Inverse of a small symmetric positive definite matrix by Gauss-Jordan
// elimination without pivoting.
std::vector<std::vector<double>> inverse(std::vector<std::vector<double>> a) {
    const std::size_t n = a.size();
    std::vector<std::vector<double>> b(n, std::vector<double>(n, 0.0));
    for (std::size_t i = 0; i < n; ++i) b[i][i] = 1.0;
    for (std::size_t c = 0; c < n; ++c) {
        const double pivot = a[c][c];
        for (std::size_t j = 0; j < n; ++j) {
            a[c][j] /= pivot;
            b[c][j] /= pivot;
        }
        for (std::size_t r = 0; r < n; ++r) {
            if (r == c) continue;
            const double f = a[r][c];
            for (std::size_t j = 0; j < n; ++j) {
                a[r][j] -= f * a[c][j];
                b[r][j] -= f * b[c][j];
            }
        }
    }
    return b;
}

// The Hougen example (P5 held): s^2 (J'J)^-1 at the program's optimum with a
// central-difference Jacobian of the formula written out here.
TEST_F(FitStatisticsTest, HougenStandardErrorsMatchTheAsymptoticCovariance) {
    fit(fs::path(KALVOR_SOURCE_DIR) / "data/examples/Hougen.dat");
    ASSERT_EQ(last.k, 5);
    const auto model = [](const std::vector<double>& p, const double* x) {
        return (p[0] * x[1] - x[2] / p[4]) / (1.0 + p[1] * x[0] + p[2] * x[1] + p[3] * x[2]);
    };
    const std::size_t n = static_cast<std::size_t>(last.n), na = 4;
    std::vector<std::vector<double>> jtj(na, std::vector<double>(na, 0.0));
    double sse = 0.0;
    for (std::size_t i = 0; i < n; ++i) {
        const double x[3] = {last.x(i, 0), last.x(i, 1), last.x(i, 2)};
        const double r = last.y[i] - model(last.p, x);
        sse += r * r;
        std::vector<double> g(na);
        for (std::size_t j = 0; j < na; ++j) {
            std::vector<double> up = last.p, down = last.p;
            const double h = 1e-6 * std::fabs(last.p[j]);
            up[j] += h;
            down[j] -= h;
            g[j] = (model(up, x) - model(down, x)) / (2.0 * h);
        }
        for (std::size_t j = 0; j < na; ++j)
            for (std::size_t k = 0; k < na; ++k) jtj[j][k] += g[j] * g[k];
    }
    const auto cov = inverse(jtj);
    const double s2 = sse / static_cast<double>(n - na);
    for (std::size_t j = 0; j < na; ++j) {
        const double expected = std::sqrt(s2 * cov[j][j]);
        EXPECT_NEAR(last.se[j], expected, 0.01 * expected) << "P" << j + 1;
    }
    EXPECT_EQ(last.se[4], 0.0);
    // Undetermined parameters: limits that include 0.
    EXPECT_GT(last.ci[0], last.p[0]);
}

// Under the repeatable clock two fits of one file agree bit for bit, down
// to the number of model evaluations.
TEST_F(FitStatisticsTest, FitsRepeatUnderTheRepeatableClock) {
    const fs::path data = fs::path(KALVOR_SOURCE_DIR) / "data/examples/Michaelis-Menten.dat";
    const long long before = funct::evaluation_count();
    fit(data);
    const long long first_count = funct::evaluation_count() - before;
    const sharc_mod::SharcArgs first = last;
    fit(data);
    EXPECT_EQ(funct::evaluation_count() - before - first_count, first_count);
    EXPECT_EQ(last.p, first.p);
    EXPECT_EQ(last.se, first.se);
    EXPECT_EQ(last.ssq, first.ssq);
}

}  // namespace
