#include "run/report.h"

#include <algorithm>
#include <cmath>
#include <iostream>
#include <limits>
#include <sstream>

#include "foundations/distributions.h"
#include "foundations/error_handler.h"
#include "foundations/fixed_text.h"
#include "foundations/fortran_io.h"
#include "foundations/nrutil.h"
#include "foundations/peirce.h"
#include "foundations/spearman.h"
#include "foundations/stringlib.h"
#include "model/datafile.h"
#include "model/globals.h"
#include "run/outlines.h"

namespace report {

namespace {

using fortran_io::Unit;
using fortran_io::Value;

bool is_free(const FitSummary& fit, int j) { return fit.mask[static_cast<std::size_t>(j)] != 0; }

int free_count(const FitSummary& fit) {
    int a = 0;
    for (int j = 0; j < fit.npar; ++j) a += is_free(fit, j) ? 1 : 0;
    return a;
}

// Numbers (1-based) of the free parameters.
std::vector<int> free_numbers(const FitSummary& fit) {
    std::vector<int> numbers;
    for (int j = 0; j < fit.npar; ++j)
        if (is_free(fit, j)) numbers.push_back(j + 1);
    return numbers;
}

std::string blanks(int n) { return std::string(static_cast<std::size_t>(n), ' '); }

// Ends the line that the "$" writes before it left open.
void close_line(Unit& u) { u.write("(A1)", {" "}); }

// The sum of (y - yfit)^2 over the rows.
double unweighted_sse(const FitSummary& fit) {
    double ssr = 0.0;
    for (int i = 0; i < fit.n; ++i) {
        const double d = fit.y[i] - fit.yfit[i];
        ssr += d * d;
    }
    return ssr;
}

}  // namespace

// ---- statistics ----

double model_information_criterion(const FitSummary& fit, const std::vector<double>& pvalue) {
    const int n = fit.n;
    if (unweighted_sse(fit) <= 4.930380657631324e-40) return mic_perfect;

    const int a = free_count(fit);
    const int f = fit.npar - a;
    const int k = fit.npar;
    int c = 0;
    for (int j = 0; j < k; ++j)
        if (is_free(fit, j) && pvalue[static_cast<std::size_t>(j)] > 0.05) ++c;
    const int m = n - a - 3;
    const int q = std::max(std::min(c, m), 0);
    const int big_a = std::max(n + k - f + q, 1);
    const int big_b = std::max(n - k - f - q - 2, 1);

    double s1 = 0.0;
    double ybar = 0.0;
    for (int i = 0; i < n; ++i) {
        const double w = fit.w[i] < 2.0 ? 1.0 : fit.w[i];
        const double d = (fit.y[i] - fit.yfit[i]) / w;
        s1 += d * d;
        ybar += fit.yfit[i];
    }
    ybar /= static_cast<double>(static_cast<float>(n));
    double s2 = 0.0;
    for (int i = 0; i < n; ++i) s2 += (fit.yfit[i] - ybar) * (fit.yfit[i] - ybar);

    double mic = std::log(s1 / s2) + static_cast<double>(static_cast<float>(big_a) / static_cast<float>(big_b));
    if (std::isnan(mic)) mic = mic_ceiling;
    return std::copysign(std::clamp(std::fabs(mic), mic_floor, mic_ceiling), mic);
}

std::vector<bool> peirce_suspects(const std::vector<double>& r, int n, int m) {
    std::vector<bool> suspect(static_cast<std::size_t>(std::max(n, 0)), false);
    double sum = 0.0;
    for (int i = 0; i < n; ++i) sum += r[i] * r[i];
    const double sigma = std::sqrt(sum / static_cast<double>(static_cast<float>(n - 1)));
    const int half = n / 2;
    int s = 1;
    int previous = 1;
    while (previous < half) {
        double ratio = 0.0;
        peirce_criterion(n, s, m, ratio);
        const double limit = (ratio * sigma) * (ratio * sigma);
        int c = 0;
        for (int i = 0; i < n && c <= half; ++i) {
            if (r[i] * r[i] > limit) {
                suspect[static_cast<std::size_t>(i)] = true;
                ++c;
            }
        }
        if (c < s || c > half || c == 0) break;
        s = c + 1;
        previous = c;
    }
    return suspect;
}

ReportStatistics compute_statistics(const FitSummary& fit) {
    ReportStatistics st;
    const int n = fit.n;
    const int k = fit.npar;
    const int a = free_count(fit);
    const int f = k - a;

    st.unweighted_sse = unweighted_sse(fit);
    spearcorr_mod::spcorr(fit.y, fit.yfit, n, fit.w, st.spearman);
    nrutil::rval_nan(st.spearman, 999.99999);

    // p-values: the routine also cleans the standard errors it is given.
    st.se = fit.se;
    st.pvalue.assign(static_cast<std::size_t>(k), 1.0);
    for (int j = 0; j < k; ++j) {
        int significant = 0;
        distributions::ppval(st.pvalue[j], significant, a, n, fit.p[j], st.se[j]);
    }
    st.mic = model_information_criterion(fit, st.pvalue);

    st.threshold = 0.01 * std::sqrt(fit.sse / static_cast<double>(n + k - f));
    // At least one degree of freedom, so a saturated fit still gets a tau.
    distributions::taure(n, std::max(n - k, 1), 0.05, st.tau);

    const auto suspect = peirce_suspects(fit.studres, n, k);
    st.marks.assign(static_cast<std::size_t>(n), RowMark::none);
    for (int i = 0; i < n; ++i) {
        if (std::fabs(fit.studres[i]) > st.tau)
            st.marks[i] = RowMark::influential;
        else if (suspect[i])
            st.marks[i] = RowMark::suspect;
    }
    return st;
}

// ---- layout ----

namespace {

void write_parameter_values(Unit& u, const FitSummary& fit, bool wide) {
    u.write("(/1X,A)", {"Final Parameter Values:"});
    for (int j = 1; j <= fit.npar; ++j) {
        if (wide)
            u.write("(7x,A1,I1,6x,A12$)", {"P", j, blanks(12)});
        else
            u.write("(7x,A1,I1,A4$)", {"P", j, " "});
    }
    close_line(u);
    for (int j = 0; j < fit.npar; ++j) {
        if (!wide)
            u.write("(3X,1p,E10.3,4X$)", {fit.p[j]});
        else if (is_free(fit, j))
            u.write("(5X,1p,G15.8,2X$)", {fit.p[j]});
        else
            u.write("(5X,1p,G11.4,2X$)", {fit.p[j]});
    }
    close_line(u);
}

// Header of a per-parameter block: label and number of every parameter.
void write_parameter_header(Unit& u, const FitSummary& fit, std::string_view format, std::string_view label,
                            std::string_view tail) {
    for (int j = 1; j <= fit.npar; ++j) u.write(format, {label, j, tail});
    close_line(u);
}

// One line of a per-parameter block: "[Masked]" for a fixed parameter.
void write_parameter_line(Unit& u, const FitSummary& fit, const std::vector<double>& values,
                          std::string_view masked_format, std::string_view free_format) {
    for (int j = 0; j < fit.npar; ++j) {
        if (is_free(fit, j))
            u.write(free_format, {values[static_cast<std::size_t>(j)]});
        else
            u.write(masked_format, {"[Masked]"});
    }
    close_line(u);
}

void write_correlations(Unit& u, const FitSummary& fit) {
    const auto numbers = free_numbers(fit);
    const int a = static_cast<int>(numbers.size());
    u.write("(//1x,A)", {"Correlation Matrix:"});
    for (const int j : numbers) u.write("(7x,A1,I1,A2$)", {"P", j, " "});
    close_line(u);
    for (int i = 0; i < a; ++i) {
        for (int c = 0; c < i; ++c) u.write("(5x,a6$)", {"------"});
        std::vector<Value> row;
        for (int j = i; j < a; ++j) row.emplace_back(fit.corr(i, j));
        u.write("(2x,8(1x,F8.4,2x))", row);
    }
}

void write_eigenvalues(Unit& u, const FitSummary& fit, double threshold) {
    const int a = free_count(fit);
    u.write("( /1x, A21, 1pE8.2, A34 )",
            {"Eigenvalues values < ", threshold, " may suggest parameter redundancy:"});
    std::vector<double> magnitudes(static_cast<std::size_t>(a));
    for (int i = 0; i < a; ++i) magnitudes[i] = std::fabs(fit.eigenvalues[i]);
    std::ostringstream printed;
    nrutil::vecprn(printed, magnitudes, a, common_data::max_params);
    std::istringstream lines(printed.str());
    std::string line;
    while (std::getline(lines, line)) u.write("(A)", {line});
}

void write_components(Unit& u, const FitSummary& fit) {
    const auto numbers = free_numbers(fit);
    const int a = static_cast<int>(numbers.size());
    u.write("(/1x,A19,1X,A23)", {"Principal Component", "Parameter Influence (%)"});
    for (const int j : numbers) u.write("(5x,A1,I1,A6$)", {"P", j, blanks(6)});
    close_line(u);
    for (int component = 0; component < a; ++component) {
        std::vector<Value> row;
        for (int i = 0; i < a; ++i) row.emplace_back(fit.influence(i, component));
        u.write("(1x,8(1x,F6.2,6x))", row);
    }
}

void write_runs_test(Unit& u, const FitSummary& fit) {
    const auto& runs = fit.runs;
    u.write("(1X)", std::initializer_list<Value>{});
    u.write("(1X,'RUNS STATISTIC: PASS if |Run-ExpRun|/(StdDev Run) < 2.58 (pval=1%)')", std::initializer_list<Value>{});
    u.write("(1X,2X,'LENGTH',13X,'RUNS',8X,'z-Value',4X,'RANDOM RUNS')", std::initializer_list<Value>{});
    const int longest = std::min(std::max(runs.lup, runs.ldown), 15);
    for (int len = 1; len <= longest; ++len) {
        const double count = runs.table[static_cast<std::size_t>(len - 1)];
        if (!(count > 1e-6)) continue;
        const double z = std::fabs(runs.z[static_cast<std::size_t>(len - 1)]);
        kalvor::Text<15> verdict(z <= static_cast<double>(2.58f) ? "PASS" : "FAIL");
        if (len < 15)
            u.write("(1X,4X,I2,15X,F4.0,5X,F9.3,6X,A16)", {len, count, z, verdict.str()});
        else
            u.write("(1X,4X,I2,1X,A10,4X,F4.0,5X,F9.3,6X,A16)", {len, "or greater", count, z, verdict.str()});
    }
    u.write("(1X,'NUMBER OF POSITIVE RESIDUALS',3X,'=',1X,I5)", {runs.npos});
    u.write("(1X,'NUMBER OF NEGATIVE RESIDUALS',3X,'=',1X,I5)", {runs.nneg});
    u.write("(1X,'NUMBER OF ZERO RESIDUALS',7X,'=',1X,I5)", {runs.nzero});
    u.write("(1X,'LENGTH OF THE LONGEST RUN UP',3X,'=',1X,I5)", {runs.lup});
    u.write("(1X,'LENGTH OF THE LONGEST RUN DOWN',1X,'=',1X,I5)", {runs.ldown});
}

void write_rows(Unit& u, const FitSummary& fit, const ReportStatistics& stats) {
    u.write("(/2x,A)", {"X, Y, Ycalc, Residual Results:"});
    for (int j = 1; j <= fit.nx; ++j) u.write("(6x,A1,I1,A5$)", {"X", j, blanks(5)});
    u.write("(6x,A1,A6$)", {"Y", blanks(6)});
    u.write("(6x,A5,A2$)", {"Ycalc", blanks(2)});
    u.write("(6x,A10,1X,A6,F6.3$)", {"|Residual|", "> Tau=", stats.tau});
    close_line(u);
    for (int i = 0; i < fit.n; ++i) {
        std::vector<Value> row;
        for (int j = 0; j < fit.nx; ++j) row.emplace_back(fit.x(i, j));
        row.emplace_back(fit.y[i]);
        row.emplace_back(fit.yfit[i]);
        row.emplace_back(fit.studres[i]);
        switch (stats.marks[i]) {
        case RowMark::influential: row.emplace_back("[Influential]"); break;
        case RowMark::suspect: row.emplace_back("[Suspect]"); break;
        case RowMark::none: break;
        }
        u.write(stats.marks[i] == RowMark::none ? "(1x,*(1p,G14.6))" : "(1x,*(1p,G14.6),A13)", row);
    }
}

}  // namespace

std::string format_report(const FitSummary& fit, const ReportStatistics& stats, Layout layout,
                          std::string_view date) {
    const bool wide = layout == Layout::results_file;
    Unit u;
    if (wide) {
        kalvor::Text<30> date_text(date);
        stringlib::s_adjustl(date_text.str());
        u.write("(1X, A5, 1x, A30)", {"DATE:", date_text.str()});
    }
    // Fit quality: the unweighted sum at the reported parameters, also after
    // a weighted fit. The Spearman value is written without the scale
    // factor, so that a small negative r still fits its field.
    u.write(wide ? "(/1x, A15, 10x, A11)" : "(/1x, A15, 7x, A11)", {"Unweighted SSE:", "Spearman r:"});
    u.write("(1x, 1pE14.6, 3x, 0p, G12.6)", {stats.unweighted_sse, stats.spearman});

    u.write(wide ? "(/1x, A34)" : "(1x, A34)", {"Model Information Criterion (MIC):"});
    u.write("(1x, 1p,E14.4)", {stats.mic});

    u.write("(/1X,A6)", {"Model:"});
    u.write("(1x, A)", {"y = " + fit.model});
    if (fit.unevaluable > 0)
        u.write("(1x, A, I0, A, I0, A)", {"WARNING: the model has no value (NaN, infinite or outside a function's domain) on ",
                                           fit.unevaluable, " of the ", fit.n, " data rows."});

    write_parameter_values(u, fit, wide);

    u.write("(//1x,A)", {"Parameter Standard Errors:"});
    write_parameter_header(u, fit, wide ? "(7x,A2,I1,A5$)" : "(7x,A2,I1,A3$)", "SE", " ");
    write_parameter_line(u, fit, stats.se, wide ? "(5X,A8,4X$)" : "(5X,A8,8X$)",
                         wide ? "(5X,1p,G10.4,2X$)" : "(3X,1p,E10.3,16X$)");

    u.write("(//1x,A)", {"Parameter 95% Confidence Limits:"});
    if (wide)
        write_parameter_header(u, fit, "(7x,A2,I1,A5$)", "CL", blanks(5));
    else
        write_parameter_header(u, fit, "(6x,A2,I1,A4$)", "CL", blanks(4));
    for (const double sign : {-1.0, 1.0}) {
        std::vector<double> limits(static_cast<std::size_t>(fit.npar));
        for (int j = 0; j < fit.npar; ++j) limits[j] = fit.p[j] + sign * fit.half_width[j];
        write_parameter_line(u, fit, limits, wide ? "(4X,A8,4X$)" : "(4X,A8,8X$)",
                             wide ? "(4X,1p,G11.3,2X$)" : "(2X,1p,E11.3,16X$)");
    }

    u.write("(//1x,A)", {"Parameter Significance (p-value < 5.E-02):"});
    write_parameter_header(u, fit, wide ? "(5x,A7,I1,A1$)" : "(4x,A7,I1,A1$)", "p-value", " ");
    write_parameter_line(u, fit, stats.pvalue, wide ? "(5X,A8,4X$)" : "(4X,A8,8X$)",
                         wide ? "(4X,1p,G10.3,2X$)" : "(3X,1p,E10.3,16X$)");

    write_correlations(u, fit);
    write_eigenvalues(u, fit, stats.threshold);
    write_components(u, fit);
    write_runs_test(u, fit);
    write_rows(u, fit, stats);
    u.end_record();
    return u.text();
}

// ---- files ----

std::string results_file_name(std::string_view data_file) {
    const std::string path = kalvor::FixedText(data_file.size(), data_file).trimmed();
    // Only the file name's own extension counts, never a ".DAT" in a folder.
    const std::size_t name_start = path.find_last_of('/') + 1;  // 0 without a folder
    const std::size_t dot = path.find_last_of('.');
    if (dot == std::string::npos || dot < name_start || stringlib::uppercase(path.substr(dot)) != ".DAT")
        return path + ".TXT";
    return path.substr(0, dot) + (path.compare(dot, std::string::npos, ".dat") == 0 ? ".txt" : ".TXT");
}

namespace {

// The residual plot reads the rows and limits of the last run.
void store_residual_plot_data(const FitSummary& fit) {
    const int n = fit.n;
    common_data::nd = n;
    common_data::xmin0 = std::numeric_limits<double>::max();
    for (int i = 0; i < n; ++i) {
        common_data::xd[i] = fit.x(i, 0);
        common_data::xd2[i] = fit.nx >= 2 ? fit.x(i, 1) : 0.0;
        common_data::xd3[i] = fit.nx >= 3 ? fit.x(i, 2) : 0.0;
        common_data::yd[i] = fit.y[i];
        common_data::ydf[i] = fit.yfit[i];
        common_data::xdr[i] = static_cast<double>(i + 1);
        common_data::xdl[i] = fit.x(i, 0);
        common_data::xmin0 = std::min(common_data::xmin0, fit.x(i, 0));
    }
    if (common_data::xmin0 > 0.0)
        for (int i = 0; i < n; ++i)
            if (common_data::xdl[i] != 0.0) common_data::xdl[i] = std::log10(common_data::xdl[i]);

    // Residuals against the row numbers, on the fixed range -6..6.
    common_data::xrmin = common_data::xrmin1 = 0.0;
    common_data::xrmax = common_data::xrmax1 = static_cast<double>(n);
    common_data::resxaxislable = {common_data::xrmin, common_data::xrmax};
    common_data::yrmin = -6.0;
    common_data::yrmax = 6.0;
    common_data::resyaxislable = {common_data::yrmin, common_data::yrmax};
}

// Shows and logs that file could not be written, for the system's reason
// why, and marks the data as rejected; no temporary file is left behind.
bool report_failure(textfile::Temporary& temporary, std::string_view console, int file_number,
                    const std::string& file, const std::string& why) {
    std::cout << fortran_io::write("(/1x, A)", {console}) << '\n';
    temporary.remove();
    outlines::show_error(outlines::abort_text(outlines::join_lines(
        {"There is an error in writing to data file #" + std::to_string(file_number) + ".", "File: " + file,
         "Reason: " + why + "."})));
    outlines::log_event(globals::input_file_name.trimmed(), "Results not written to " + file + ": " + why,
                        error_handler::failure);
    globals::bdataerror = 1;
    return false;
}

}  // namespace

bool write_report(const FitSummary& fit, ReportStatistics& stats, textfile::Temporary& temporary) {
    stats = compute_statistics(fit);
    common_data::ctau = stats.tau;
    kalvor::Text<30> date;
    nrutil::f_date(date);

    globals::output_file_name = results_file_name(globals::input_file_name.trimmed());
    {
        datafile::UnitLease unit;
        inout::io[3] = unit.number();
        const std::filesystem::path folder = globals::cwd.trimmed();
        std::string why = temporary.create(folder, temporary_prefix, temporary_suffix);
        if (why.empty()) why = temporary.write(format_report(fit, stats, Layout::temporary_file));
        inout::io[0] = why.empty() ? 0 : 1;
        if (!why.empty()) {
            // A file that could not be created is named by its pattern.
            const std::string pattern = std::string(temporary_prefix) + "*" + std::string(temporary_suffix);
            const auto file = temporary.path().empty() ? folder / pattern : temporary.path();
            return report_failure(temporary, "TEMPORARY DATA FILE - Fatal error!", 1, file.string(), why);
        }
    }
    {
        datafile::UnitLease unit;
        inout::io[1] = unit.number();
        const std::string file = globals::output_file_name.trimmed();
        const std::string why = textfile::write(file, format_report(fit, stats, Layout::results_file, date.str()));
        inout::io[2] = why.empty() ? 0 : 1;
        if (!why.empty()) return report_failure(temporary, "OUTPUT DATA FILE - Fatal error!", 2, file, why);
    }
    store_residual_plot_data(fit);
    return true;
}

}  // namespace report
