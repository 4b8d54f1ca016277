#pragma once
// What a run leaves for the main window: the summary lines
// (globals::sline3) and data-row lines (globals::sline5) read back from the
// temporary copy of the report, the status text with the sum of squares and
// the MIC, the run-log line, and the message boxes of the run.

#include <filesystem>
#include <initializer_list>
#include <span>
#include <string>
#include <string_view>

#include "foundations/fixed_text.h"

namespace outlines {

// ---- messages of the run ----

// Line break of the run's message texts.
inline constexpr std::string_view crlf = "\r\n";
// Longest message text shown.
inline constexpr std::size_t message_limit = 640;

// The lines joined by CR LF.
std::string join_lines(std::initializer_list<std::string_view> lines);
// 30 blanks and "*** RUN ABORTED! ***": the last line of an abort message.
std::string aborted_line();
// body + a blank line + the aborted line.
std::string abort_text(std::string_view body);
// Message box of kind Error (resp. Information), the text cut to 640 characters.
void show_error(std::string_view text);
void show_information(std::string_view text);

// ---- output lines ----

// Lines of the summary taken from the report before its three closing lines.
inline constexpr int summary_limit = 59;

// True when the fit can be shown: a fit with at most two degrees of freedom
// (rows - parameters + fixed parameters) and a sum of squared residuals
// below 1e-20 lacks randomness.
bool plausible_fit(int n, int npar, int nfixed, std::span<const double> y, std::span<const double> yfit);

// Reads the temporary report back: globals::sline3 (the summary up to the
// runs-test counts, at most 59 lines, then "Saved in file: " + the results
// file, a blank line and "Date Saved: " + date) and globals::sline5 (the data
// rows after the column header), with their counts. The temporary file is
// deleted whatever happens. When it cannot be read or the fit is not
// plausible the message is shown, globals::bdataerror = 1, the lines keep
// their previous content and the result is false.
bool read_back(const std::filesystem::path& temporary, int n, int npar, int nfixed, std::span<const double> y,
               std::span<const double> yfit, std::string_view date);

// Deletes the temporary file when it exists.
void delete_temporary(const std::filesystem::path& temporary);

// ---- status text and run log ----

struct StatusTexts {
    kalvor::Text<30> ssqr;  // the sum of squares written "(1p,G11.5)"
    kalvor::Text<30> mic;   // the MIC written "(G10.4)"
    std::string status;     // "SSQR= " + trimmed ssqr + " : MIC= " + mic
};
StatusTexts status_texts(double sse, double mic);

// Appends the run's INFORMATION line to "Kalvor_UDF-runlog.txt": the data
// file name (first 80 characters) and the status text (first 80).
void log_run(std::string_view input_file, const StatusTexts& texts);

// Appends one line of the error state to "Kalvor_UDF-runlog.txt" in the
// working folder (globals::cwd).
void log_event(std::string_view routine, std::string_view message, int error_state);

}  // namespace outlines
