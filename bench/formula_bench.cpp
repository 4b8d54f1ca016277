// Speed of the compiled model formulas against the same formulas written as
// native C++ functions, on the NIST StRD models and their data.
//
// For every model four benchmarks run over all data rows at the certified
// parameters: "compiled" (fparser::evalf on the byte code, one row per
// call), "batched" (fparser::evalf_rows, all rows in one call), "native"
// (the formula as C++) and "glue" (my_func::eval_func, the one-row path of
// the model, for the models with at most eight parameters).  After the runs
// a table gives the time per row and the ratios compiled / native and
// batched / native per model, with their geometric means.

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <functional>
#include <map>
#include <numbers>
#include <sstream>
#include <string>
#include <vector>

#include "foundations/fortran_io.h"
#include "foundations/runtime.h"
#include "model/formula_check.h"
#include "model/fparser.h"
#include "model/globals.h"

namespace {

using Native = double (*)(const double* p, const double* x);

constexpr double pi = std::numbers::pi;

// The NIST formulas as C++, in the order of the certified table.
const std::map<std::string, Native> native_models = {
    {"Bennett5", [](const double* p, const double* x) { return p[0] * std::pow(p[1] + x[0], -1.0 / p[2]); }},
    {"BoxBOD", [](const double* p, const double* x) { return p[0] * (1.0 - std::exp(-p[1] * x[0])); }},
    {"Chwirut1", [](const double* p, const double* x) { return std::exp(-p[0] * x[0]) / (p[1] + p[2] * x[0]); }},
    {"Chwirut2", [](const double* p, const double* x) { return std::exp(-p[0] * x[0]) / (p[1] + p[2] * x[0]); }},
    {"DanWood", [](const double* p, const double* x) { return p[0] * std::pow(x[0], p[1]); }},
    {"ENSO",
     [](const double* p, const double* x) {
         const double t = 2.0 * pi * x[0];
         return p[0] + p[1] * std::cos(t / 12.0) + p[2] * std::sin(t / 12.0) + p[4] * std::cos(t / p[3]) +
                p[5] * std::sin(t / p[3]) + p[7] * std::cos(t / p[6]) + p[8] * std::sin(t / p[6]);
     }},
    {"Eckerle4",
     [](const double* p, const double* x) {
         const double z = (x[0] - p[2]) / p[1];
         return (p[0] / p[1]) * std::exp(-0.5 * z * z);
     }},
    {"Gauss1",
     [](const double* p, const double* x) {
         const double a = x[0] - p[3], b = x[0] - p[6];
         return p[0] * std::exp(-p[1] * x[0]) + p[2] * std::exp(-a * a / (p[4] * p[4])) +
                p[5] * std::exp(-b * b / (p[7] * p[7]));
     }},
    {"Hahn1",
     [](const double* p, const double* x) {
         const double v = x[0];
         return (p[0] + p[1] * v + p[2] * v * v + p[3] * v * v * v) / (1.0 + p[4] * v + p[5] * v * v + p[6] * v * v * v);
     }},
    {"Kirby2",
     [](const double* p, const double* x) {
         const double v = x[0];
         return (p[0] + p[1] * v + p[2] * v * v) / (1.0 + p[3] * v + p[4] * v * v);
     }},
    {"Lanczos1",
     [](const double* p, const double* x) {
         return p[0] * std::exp(-p[1] * x[0]) + p[2] * std::exp(-p[3] * x[0]) + p[4] * std::exp(-p[5] * x[0]);
     }},
    {"MGH09",
     [](const double* p, const double* x) {
         const double v = x[0];
         return p[0] * (v * v + v * p[1]) / (v * v + v * p[2] + p[3]);
     }},
    {"MGH10", [](const double* p, const double* x) { return p[0] * std::exp(p[1] / (x[0] + p[2])); }},
    {"MGH17",
     [](const double* p, const double* x) {
         return p[0] + p[1] * std::exp(-x[0] * p[3]) + p[2] * std::exp(-x[0] * p[4]);
     }},
    {"Misra1a", [](const double* p, const double* x) { return p[0] * (1.0 - std::exp(-p[1] * x[0])); }},
    {"Misra1b", [](const double* p, const double* x) { return p[0] * (1.0 - std::pow(1.0 + p[1] * x[0] / 2.0, -2.0)); }},
    {"Misra1c", [](const double* p, const double* x) { return p[0] * (1.0 - std::pow(1.0 + 2.0 * p[1] * x[0], -0.5)); }},
    {"Misra1d", [](const double* p, const double* x) { return p[0] * p[1] * x[0] * std::pow(1.0 + p[1] * x[0], -1.0); }},
    {"Nelson", [](const double* p, const double* x) { return p[0] - p[1] * x[0] * std::exp(-p[2] * x[1]); }},
    {"Rat42", [](const double* p, const double* x) { return p[0] / (1.0 + std::exp(p[1] - p[2] * x[0])); }},
    {"Rat43",
     [](const double* p, const double* x) { return p[0] / std::pow(1.0 + std::exp(p[1] - p[2] * x[0]), 1.0 / p[3]); }},
    {"Roszman1",
     [](const double* p, const double* x) { return p[0] - p[1] * x[0] - std::atan(p[2] / (x[0] - p[3])) / pi; }},
};

// Models that share a formula with one above.
const std::map<std::string, std::string> same_formula = {
    {"Gauss2", "Gauss1"}, {"Gauss3", "Gauss1"}, {"Lanczos2", "Lanczos1"}, {"Lanczos3", "Lanczos1"}, {"Thurber", "Hahn1"}};

struct Model {
    std::string name, formula;
    std::vector<double> params;
    int nx = 0;
    std::vector<double> x;  // nx values per row
    std::vector<std::vector<double>> columns;  // the same values by column
    int rows = 0;
    Native native = nullptr;
};

std::vector<double> numbers(const std::string& text) {
    std::istringstream in(text);
    std::vector<double> values;
    for (std::string word; in >> word;) values.push_back(std::stod(word));
    return values;
}

std::vector<Model> load_models() {
    const std::string dir = std::string(KALVOR_SHARED_DIR) + "/data/nist-strd/dat/";
    std::vector<Model> models;
    std::ifstream table(dir + "certified.tsv");
    std::string line;
    std::getline(table, line);
    while (std::getline(table, line)) {
        std::vector<std::string> fields;
        std::istringstream split(line);
        for (std::string f; std::getline(split, f, '\t');) fields.push_back(f);
        Model m;
        m.name = fields.at(0);
        m.params = numbers(fields.at(5));
        const auto alias = same_formula.find(m.name);
        m.native = native_models.at(alias == same_formula.end() ? m.name : alias->second);

        std::ifstream data(dir + m.name + "-s1.DAT");
        std::getline(data, line);
        m.formula = line.substr(2);
        for (int k = 0; k < 4; ++k) std::getline(data, line);
        while (std::getline(data, line) && line.find("END") == std::string::npos) {
            const std::vector<double> row = numbers(line);
            m.nx = static_cast<int>(row.size()) - 1;
            m.x.insert(m.x.end(), row.begin(), row.end() - 1);
            ++m.rows;
        }
        m.columns.assign(static_cast<std::size_t>(m.nx), {});
        for (int r = 0; r < m.rows; ++r)
            for (int j = 0; j < m.nx; ++j) m.columns[static_cast<std::size_t>(j)].push_back(m.x[static_cast<std::size_t>(r * m.nx + j)]);
        models.push_back(std::move(m));
    }
    return models;
}

// Variable values for the compiled formulas: P1..P9, then X1..X3.
constexpr std::string_view names[] = {"P1", "P2", "P3", "P4", "P5", "P6", "P7", "P8", "P9", "X1", "X2", "X3"};
constexpr int x_offset = 9;

// Compile the model into slot 0, the one the glue uses as well.
bool compile(const Model& m) {
    fparser::initf(1);
    return fparser::parsef(0, m.formula, names, true) == 0;
}

double compiled_sum(const Model& m, double* values) {
    double sum = 0.0;
    for (int r = 0; r < m.rows; ++r) {
        for (int j = 0; j < m.nx; ++j) values[x_offset + j] = m.x[static_cast<std::size_t>(r * m.nx + j)];
        sum += fparser::evalf(0, std::span<const double>(values, 12));
    }
    return sum;
}

// All rows in one call: P1..P9 single values, X1..X3 columns.
double batched_sum(const Model& m, const double* values, std::vector<double>& out) {
    const double* sources[12] = {};
    for (int j = 0; j < m.nx; ++j) sources[x_offset + j] = m.columns[static_cast<std::size_t>(j)].data();
    fparser::evalf_rows(0, std::span<const double>(values, 12), sources, static_cast<std::size_t>(m.rows), out);
    double sum = 0.0;
    for (double y : out) sum += y;
    return sum;
}

double native_sum(const Model& m) {
    double sum = 0.0;
    for (int r = 0; r < m.rows; ++r) sum += m.native(m.params.data(), &m.x[static_cast<std::size_t>(r * m.nx)]);
    return sum;
}

double glue_sum(const Model& m) {
    double sum = 0.0, y = 0.0;
    for (int r = 0; r < m.rows; ++r) {
        my_func::eval_func(m.params, static_cast<int>(m.params.size()),
                           std::span<const double>(&m.x[static_cast<std::size_t>(r * m.nx)], static_cast<std::size_t>(m.nx)),
                           m.nx, common_udf::cudf, y);
        sum += y;
    }
    return sum;
}

void bench_compiled(benchmark::State& state, const Model* m) {
    if (!compile(*m)) {
        state.SkipWithError("model does not compile");
        return;
    }
    double values[12] = {};
    std::copy(m->params.begin(), m->params.end(), values);
    for (auto _ : state) benchmark::DoNotOptimize(compiled_sum(*m, values));
    state.SetItemsProcessed(state.iterations() * m->rows);
}

void bench_batched(benchmark::State& state, const Model* m) {
    if (!compile(*m)) {
        state.SkipWithError("model does not compile");
        return;
    }
    double values[12] = {};
    std::copy(m->params.begin(), m->params.end(), values);
    std::vector<double> out(static_cast<std::size_t>(m->rows));
    for (auto _ : state) benchmark::DoNotOptimize(batched_sum(*m, values, out));
    state.SetItemsProcessed(state.iterations() * m->rows);
}

void bench_native(benchmark::State& state, const Model* m) {
    for (auto _ : state) benchmark::DoNotOptimize(native_sum(*m));
    state.SetItemsProcessed(state.iterations() * m->rows);
}

void bench_glue(benchmark::State& state, const Model* m) {
    // The glue holds one compiled model: compile this one afresh.
    common_udf::cudf = m->formula;
    double y = fnparse2_recompile;
    if (!fnparse2(m->params, std::span<const double>(m->x.data(), static_cast<std::size_t>(m->nx)),
                  static_cast<int>(m->params.size()), m->nx, 1, m->formula, y)) {
        state.SkipWithError("model does not compile");
        return;
    }
    for (auto _ : state) benchmark::DoNotOptimize(glue_sum(*m));
    state.SetItemsProcessed(state.iterations() * m->rows);
}

// Console output plus the time per iteration of every benchmark by name.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs)
            if (run.run_type == Run::RT_Iteration && !run.error_occurred) times[run.benchmark_name()] = run.GetAdjustedRealTime();
        ConsoleReporter::ReportRuns(runs);
    }
    std::map<std::string, double> times;  // nanoseconds per iteration
};

void print_ratios(const std::vector<Model>& models, const std::map<std::string, double>& times) {
    std::puts(fortran_io::write("(/,A10,6A12)", {"model", "compiled", "batched", "native", "glue", "ratio", "ratio"}).c_str());
    std::puts(fortran_io::write("(A10,6A12)", {"", "ns/row", "ns/row", "ns/row", "ns/row", "comp/nat", "batch/nat"}).c_str());
    double log_sum = 0.0, worst = 0.0, batched_log_sum = 0.0, batched_worst = 0.0;
    int count = 0;
    for (const Model& m : models) {
        const auto compiled = times.find("compiled/" + m.name);
        const auto batched = times.find("batched/" + m.name);
        const auto native = times.find("native/" + m.name);
        if (compiled == times.end() || batched == times.end() || native == times.end()) continue;
        const auto glue = times.find("glue/" + m.name);
        const double ratio = compiled->second / native->second;
        const double batched_ratio = batched->second / native->second;
        const double glue_per_row = glue == times.end() ? 0.0 : glue->second / m.rows;
        std::puts(fortran_io::write("(A10,4F12.2,2F12.2)", {m.name, compiled->second / m.rows, batched->second / m.rows,
                                                            native->second / m.rows, glue_per_row, ratio, batched_ratio})
                      .c_str());
        log_sum += std::log(ratio);
        worst = std::max(worst, ratio);
        batched_log_sum += std::log(batched_ratio);
        batched_worst = std::max(batched_worst, batched_ratio);
        ++count;
    }
    if (count == 0) return;
    std::puts(fortran_io::write("(/,A,F6.2,A,F6.2,A)", {"Compiled / native: geometric mean ", std::exp(log_sum / count),
                                                        ", worst ", worst, " (target: within 4)"})
                  .c_str());
    std::puts(fortran_io::write("(A,F6.2,A,F6.2,A)", {"Batched / native:  geometric mean ",
                                                      std::exp(batched_log_sum / count), ", worst ", batched_worst,
                                                      " (target: within 1.3)"})
                  .c_str());
}

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    runtime::set_time_scale(0.0);
    globals::nmdl = 0;

    static const std::vector<Model> models = load_models();
    // Every compiled formula must give the native sums before timing starts.
    double values[12] = {};
    for (const Model& m : models) {
        if (!compile(m)) return 1;
        std::fill(std::begin(values), std::end(values), 0.0);
        std::copy(m.params.begin(), m.params.end(), values);
        const double compiled = compiled_sum(m, values), native = native_sum(m);
        std::vector<double> out(static_cast<std::size_t>(m.rows));
        if (batched_sum(m, values, out) != compiled) {
            std::puts(fortran_io::write("(A,A)", {"Batched sum differs from the one-row sum: ", m.name}).c_str());
            return 1;
        }
        if (std::fabs(compiled - native) > 1e-9 * std::fabs(native)) {
            std::puts(fortran_io::write("(A,A,2(1X,ES22.14))", {"Native formula differs: ", m.name, compiled, native}).c_str());
            return 1;
        }
    }

    for (const Model& m : models) {
        benchmark::RegisterBenchmark(("compiled/" + m.name).c_str(), bench_compiled, &m);
        benchmark::RegisterBenchmark(("batched/" + m.name).c_str(), bench_batched, &m);
        benchmark::RegisterBenchmark(("native/" + m.name).c_str(), bench_native, &m);
        if (m.params.size() <= 8) benchmark::RegisterBenchmark(("glue/" + m.name).c_str(), bench_glue, &m);
    }
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    print_ratios(models, reporter.times);
    benchmark::Shutdown();
    return 0;
}
