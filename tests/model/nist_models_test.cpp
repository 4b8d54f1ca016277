// Every NIST StRD nonlinear model, compiled and evaluated at its certified
// parameters, must reproduce the certified residual sum of squares; the
// block evaluation of each gives the one-row values bit for bit.

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "foundations/matrix.h"
#include "foundations/runtime.h"
#include "model/formula_check.h"
#include "model/fparser.h"
#include "model/globals.h"

namespace {

const std::string shared_dir = KALVOR_SHARED_DIR;
const std::string nist_dir = shared_dir + "/data/nist-strd/dat/";

// The shared folder beside the repository holds the NIST problems; a checkout
// without it skips these tests, while a folder that lacks them fails.
bool shared_folder_present() { return std::filesystem::is_directory(shared_dir); }

struct NistModel {
    std::string name;
    std::string formula;                   // right-hand side of "Y="
    int nx = 0;                            // X columns
    std::vector<std::vector<double>> rows; // X values then Y
    int certified_rows = 0;
    double certified_rss = 0.0;
    std::vector<double> certified_params;
};

// Names of the compiled formulas: nine parameters (ENSO uses P9) and three
// X variables.
constexpr std::string_view names[] = {"P1", "P2", "P3", "P4", "P5", "P6", "P7", "P8", "P9", "X1", "X2", "X3"};

std::vector<double> numbers(const std::string& text) {
    std::istringstream in(text);
    std::vector<double> values;
    std::string word;
    while (in >> word) values.push_back(std::stod(word));
    return values;
}

// The model line and the data rows (from line 6 up to END) of a data file.
void read_data_file(NistModel& model) {
    std::ifstream in(nist_dir + model.name + "-s1.DAT");
    ASSERT_TRUE(in) << model.name;
    std::string line;
    std::getline(in, line);
    ASSERT_EQ(line.rfind("Y=", 0), 0u) << line;
    model.formula = line.substr(2);
    for (int k = 0; k < 4; ++k) std::getline(in, line);  // start values, bounds, mask
    while (std::getline(in, line) && line.find("END") == std::string::npos) model.rows.push_back(numbers(line));
    ASSERT_FALSE(model.rows.empty());
    model.nx = static_cast<int>(model.rows.front().size()) - 1;
}

std::vector<NistModel> load_models() {
    std::vector<NistModel> models;
    std::ifstream in(nist_dir + "certified.tsv");
    EXPECT_TRUE(in);
    std::string line;
    std::getline(in, line);  // header
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        NistModel model;
        std::string difficulty, npar, nrows, rss, params;
        std::getline(fields, model.name, '\t');
        std::getline(fields, difficulty, '\t');
        std::getline(fields, npar, '\t');
        std::getline(fields, nrows, '\t');
        std::getline(fields, rss, '\t');
        std::getline(fields, params, '\t');
        model.certified_rows = std::stoi(nrows);
        model.certified_rss = std::stod(rss);
        model.certified_params = numbers(params);
        EXPECT_EQ(static_cast<int>(model.certified_params.size()), std::stoi(npar)) << model.name;
        read_data_file(model);
        models.push_back(std::move(model));
    }
    return models;
}

// Residuals of a model at its certified parameters, the model value of each
// row computed by value_of(row).
template <class ValueOf>
void expect_certified_sum(const NistModel& model, ValueOf value_of) {
    double rss = 0.0, largest = 0.0;
    for (const auto& row : model.rows) {
        const double residual = row.back() - value_of(row);
        rss += residual * residual;
        largest = std::max(largest, std::fabs(residual));
    }
    if (model.name == "Lanczos1") {
        // Its certified sum (1.4e-25) lies below what 11-digit parameters give.
        EXPECT_LT(largest, 1e-10);
    } else {
        EXPECT_NEAR(rss / model.certified_rss, 1.0, 1e-9) << "rss " << rss << " certified " << model.certified_rss;
    }
}

class NistModels : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        if (shared_folder_present()) models = new std::vector<NistModel>(load_models());
    }
    static void TearDownTestSuite() {
        delete models;
        models = nullptr;
    }
    void SetUp() override {
        if (!shared_folder_present()) GTEST_SKIP() << "no shared folder at " << shared_dir;
        runtime::set_time_scale(0.0);
    }
    void TearDown() override {
        runtime::set_time_scale(1.0);
        fparser::endf();
    }
    static std::vector<NistModel>* models;
};
std::vector<NistModel>* NistModels::models = nullptr;

TEST_F(NistModels, AllModelsAreRead) {
    ASSERT_EQ(models->size(), 27u);
    for (const auto& model : *models) EXPECT_EQ(static_cast<int>(model.rows.size()), model.certified_rows) << model.name;
}

TEST_F(NistModels, CompiledFormulasReproduceTheCertifiedSums) {
    fparser::initf(1);
    for (const auto& model : *models) {
        SCOPED_TRACE(model.name + ": " + model.formula);
        ASSERT_EQ(fparser::parsef(0, model.formula, names, false), 0);
        std::vector<double> values(12, 0.0);
        std::copy(model.certified_params.begin(), model.certified_params.end(), values.begin());
        expect_certified_sum(model, [&](const std::vector<double>& row) {
            std::copy(row.begin(), row.end() - 1, values.begin() + 9);
            return fparser::evalf(0, values);
        });
    }
}

TEST_F(NistModels, ModelLinesPassTheChecksAndEvaluateThroughTheModelGlue) {
    globals::nmdl = 0;
    for (const auto& model : *models) {
        SCOPED_TRACE(model.name + ": " + model.formula);
        globals::iexpzero = 0;
        kalvor::Text<512> text(model.formula), msg;
        int np = 0, nx = 0, length = 0, ierr = -1;
        parse_func(np, nx, text, length, ierr, msg);
        const int npar = static_cast<int>(model.certified_params.size());
        if (npar > 8) {
            // P9 is no name of the program: refused with the names it allows.
            EXPECT_EQ(ierr, 15);
            EXPECT_EQ(msg.trimmed(), "Invalid name P9: the model allows the parameters P1 to P8 and the variables X1 to X3.");
            continue;
        }
        ASSERT_EQ(ierr, 0) << msg.trimmed();
        EXPECT_EQ(np, npar);
        EXPECT_EQ(nx, model.nx);

        const std::vector<double>& p = model.certified_params;
        double y = fnparse2_recompile;
        ASSERT_TRUE(fnparse2(p, model.rows.front(), np, nx, 1, text.view(), y));
        common_udf::cudf = text;
        expect_certified_sum(model, [&](const std::vector<double>& row) {
            double value = 0.0;
            my_func::eval_func(p, np, std::span<const double>(row.data(), static_cast<std::size_t>(nx)), nx,
                               common_udf::cudf, value);
            return value;
        });
    }
}

// The model's X columns with rows appended that reach the guards.
kalvor::Matrix x_table(const NistModel& model) {
    constexpr double guard_values[] = {0.0, 1e-300, -1.0, 1e300, -1e300, std::numeric_limits<double>::quiet_NaN(),
                                       std::numeric_limits<double>::infinity()};
    const std::size_t rows = model.rows.size() + std::size(guard_values);
    kalvor::Matrix x(rows, static_cast<std::size_t>(model.nx));
    for (std::size_t j = 0; j < x.cols(); ++j) {
        for (std::size_t i = 0; i < model.rows.size(); ++i) x(i, j) = model.rows[i][j];
        for (std::size_t k = 0; k < std::size(guard_values); ++k) x(model.rows.size() + k, j) = guard_values[k];
    }
    return x;
}

// The certified parameters, and scaled ones that push the models into
// their guards.
std::vector<std::vector<double>> parameter_sets(const NistModel& model) {
    std::vector<std::vector<double>> sets;
    for (const double factor : {1.0, 0.5, -1.7, 0.0, 1e200}) {
        sets.push_back(model.certified_params);
        for (double& p : sets.back()) p *= factor;
    }
    return sets;
}

// Same bits (the sign of zero counts), or both NaN: which NaN a product of
// two NaNs keeps depends on the order the compiler puts the operands in.
bool same_bits(double a, double b) {
    return std::bit_cast<std::uint64_t>(a) == std::bit_cast<std::uint64_t>(b) || (std::isnan(a) && std::isnan(b));
}

TEST_F(NistModels, BlockEvaluationGivesTheRowValuesBitForBit) {
    fparser::initf(1);
    for (const auto& model : *models) {
        SCOPED_TRACE(model.name + ": " + model.formula);
        ASSERT_EQ(fparser::parsef(0, model.formula, names, false), 0);
        const kalvor::Matrix x = x_table(model);
        std::vector<const double*> columns(12, nullptr);
        for (std::size_t j = 0; j < x.cols(); ++j) columns[9 + j] = x.column(j);
        for (const auto& p : parameter_sets(model)) {
            std::vector<double> values(12, 0.0);
            std::copy(p.begin(), p.end(), values.begin());
            std::vector<double> out(x.rows());
            fparser::evalf_rows(0, values, columns, x.rows(), out);
            for (std::size_t i = 0; i < x.rows(); ++i) {
                for (std::size_t j = 0; j < x.cols(); ++j) values[9 + j] = x(i, j);
                const double row_value = fparser::evalf(0, values);
                EXPECT_TRUE(same_bits(out[i], row_value)) << "row " << i << ": " << out[i] << " vs " << row_value;
            }
        }
    }
}

TEST_F(NistModels, ModelRowsGiveTheModelValuesOfEveryRow) {
    globals::nmdl = 0;
    for (const auto& model : *models) {
        const int np = static_cast<int>(model.certified_params.size());
        if (np > 8) continue;
        SCOPED_TRACE(model.name + ": " + model.formula);
        common_udf::cudf = model.formula;
        const kalvor::Matrix x = x_table(model);
        double y = fnparse2_recompile;
        ASSERT_TRUE(fnparse2(model.certified_params, model.rows.front(), np, model.nx, 1, common_udf::cudf.view(), y));
        for (const auto& p : parameter_sets(model)) {
            std::vector<double> out(x.rows());
            my_func::eval_rows(p, np, x, model.nx, x.rows(), common_udf::cudf, out);
            for (std::size_t i = 0; i < x.rows(); ++i) {
                std::vector<double> row(static_cast<std::size_t>(model.nx));
                for (std::size_t j = 0; j < row.size(); ++j) row[j] = x(i, j);
                double value = 0.0;
                my_func::eval_func(p, np, row, model.nx, common_udf::cudf, value);
                EXPECT_TRUE(same_bits(out[i], value)) << "row " << i << ": " << out[i] << " vs " << value;
            }
        }
    }
}

}  // namespace
