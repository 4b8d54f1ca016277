#pragma once
// The results report of a finished fit.
//
// The report is written twice: to the results file beside the data file
// (the data file name with ".TXT" for its ".DAT"), which the user keeps, and
// to a temporary file "tempor??????.txt" of the run's own in the working
// folder, which the run reads back into the main window's lines
// (run/outlines.h) and deletes. Both
// hold the same thirteen blocks; the results file alone starts with a date
// line, and several blocks use wider columns there.
//
// Besides formatting, the report computes its own statistics: the Spearman
// correlation of observed and fitted values, the model information criterion
// (MIC), the parameter p-values, the eigenvalue threshold, the tau criterion
// of influential rows and Peirce's criterion of suspect rows.
//
// Parameter k (1..npar) is element k-1, data row i element i-1.

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "foundations/matrix.h"
#include "run/poststats.h"
#include "run/textfile.h"

namespace report {

// Everything the report prints, as the fits left it.
struct FitSummary {
    int n = 0;     // data rows
    int npar = 0;  // parameters
    int nx = 1;    // X variables
    std::vector<int> mask;           // npar: 0 held fixed, else free
    std::vector<double> p;           // npar: fitted values
    std::vector<double> se;          // npar: standard errors
    std::vector<double> half_width;  // npar: 95% confidence half-widths
    // Leading a x a blocks over the free parameters in order (a = free count):
    kalvor::Matrix corr;       // correlations of the estimates
    kalvor::Matrix influence;  // (parameter, component): percent influence
    std::vector<double> eigenvalues;  // a eigenvalues of the correlations
    sharc_mod::RunsTest runs;         // runs test of the residuals
    kalvor::Matrix x;                 // n x nx: the X values
    std::vector<double> y;            // n: observed
    std::vector<double> yfit;         // n: fitted
    std::vector<double> w;            // n: row weights handed to the driver
    std::vector<double> studres;      // n: normalised Studentized residuals
    double sse = 0.0;                 // the fit's final (weighted) sum of squares
    std::string model;                // the model text
    int unevaluable = 0;              // rows without a model value at p (guard values used)
};

// Marks of a data row in the residual table.
enum class RowMark { none, suspect, influential };

// The statistics the report computes itself.
struct ReportStatistics {
    double unweighted_sse = 0.0;  // sum of (y - yfit)^2 over the rows, whatever the weighting
    double spearman = 0.0;
    double mic = 0.0;
    std::vector<double> pvalue;  // npar
    std::vector<double> se;      // npar, as the p-value routine left them
    double threshold = 0.0;      // eigenvalues below it suggest redundancy
    double tau = 0.0;            // |residual| above it marks an influential row
    std::vector<RowMark> marks;  // n
};

// The value of the MIC for a perfect fit, and the clamp of its magnitude.
inline constexpr double mic_perfect = -4.503599727262001e+19;
inline constexpr double mic_ceiling = 4.503599727262001e+19;
inline constexpr double mic_floor = 2.2204460492503132e-20;

ReportStatistics compute_statistics(const FitSummary& fit);

// MIC of the fit; pvalue and se are those of compute_statistics.
double model_information_criterion(const FitSummary& fit, const std::vector<double>& pvalue);

// Peirce's criterion over the residuals r[0..n-1] with m estimated model
// quantities: true for each suspect row.
std::vector<bool> peirce_suspects(const std::vector<double>& r, int n, int m);

// The report text, records ending in '\n': the results file's layout (with
// the date line, date being the date text) or the temporary file's.
enum class Layout { results_file, temporary_file };
std::string format_report(const FitSummary& fit, const ReportStatistics& stats, Layout layout,
                          std::string_view date = {});

// The results file of a data file: the file name's own extension ".DAT"
// (any case) replaced by ".TXT" (".txt" for a lower-case ".dat"); a file
// name with any other extension, or none, gets ".TXT" appended. A ".DAT" in
// a folder name never counts.
std::string results_file_name(std::string_view data_file);

// Name parts of the temporary copy of the report, in the working folder
// (trimmed globals::cwd): the prefix, six random characters, the suffix.
inline constexpr std::string_view temporary_prefix = "tempor";
inline constexpr std::string_view temporary_suffix = ".txt";

// Writes the report of the fit to a new temporary file, held by temporary,
// and to the results file (whose name goes to globals::output_file_name),
// stores tau in common_data::ctau and fills the residual-plot data and
// limits; stats receives the report's statistics. Returns false when a file
// cannot be written: the message, naming the file and the system's reason,
// is then shown, the failure goes to the run log, globals::bdataerror = 1
// and no temporary file is left behind.
bool write_report(const FitSummary& fit, ReportStatistics& stats, textfile::Temporary& temporary);

}  // namespace report
