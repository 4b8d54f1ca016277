#pragma once
// One regression run of the chosen data file, from its model line to the
// results report.
//
// main_sub reads and checks the model line and the data file, asks the user
// to confirm the model, fills the fit data, calls the fitting driver once or
// twice (a re-weighted pass, or the second fit of a Difficult run), writes
// the report and fills the main window's lines. Everything it leaves for the
// main window is in the run flags of globals: a pass ends declined (the user
// answered No), rejected (an abort message was shown, globals::bdataerror =
// 1), aborted by the driver (its message was shown; no report, no second
// fit), cancelled or fitted. A data block that ends with NEXT in a file named
// "...#<n>.DAT" goes on with the file "...#<n+1>.DAT", unless Quit was
// chosen (globals::bquit).
//
// The start of a run (Start: globals::bpostrun = 0, Restart: 1) and
// globals::bcancelrun = 0 are set by the caller.

#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "foundations/fixed_text.h"
#include "foundations/matrix.h"
#include "run/sharc.h"

void main_sub();

namespace mainsub {

// ---- the driver call ----

// Runs one fit (sharc_mod::sharc); the caller has filled the argument roles
// 1-13 and 29-32.
using FitDriver = std::function<sharc_mod::Outcome(sharc_mod::SharcArgs& args)>;
// Replaces the fitting driver (tests, benchmarks); an empty function
// restores sharc_mod::sharc.
void set_fit_driver(FitDriver driver);

// ---- pieces of the run ----

// The question that confirms the model text; a note (such as rows_left_note)
// goes before the question.
std::string confirmation_text(std::string_view model, std::string_view note = {});
// The note on the rows a blank line left unread: rows_read rows were read and
// the rows after the blank line blank_line were not.
std::string rows_left_note(int rows_read, int blank_line);

// The longest model line the run reads, in characters.
inline constexpr int max_model_length = 511;

// Abort messages of the checks (each ends with a blank line and the
// "*** RUN ABORTED! ***" line); n1 and n2 are the numbers they show.
enum class Abort {
    A1, A3,
    B1, B2, B3, B4, B5, B6, B7, B8, B9, B11, B12,
    no_x_variable,   // a model without X1..X3
    too_many_rows,   // more data rows than the fit arrays hold (n1 rows, at least n1 when n2 = 1)
    no_model_line,   // no line of the file holds more than white space
    model_too_long,  // a model line of n1 characters, above max_model_length
    line_too_long,   // file line n1 holds more than datafile::record_width characters
    no_parameter_lines,  // the data block ends at file line n1, before its data rows
};
std::string abort_message(Abort id, int n1 = 0, int n2 = 0);
// The abort message id for the file line `line`, with a closing line that
// names the value (a text of datafile::unreadable_value) that cannot be read.
std::string value_abort_message(Abort id, int line, std::string_view value);
// The masks on file line `line` that cannot be read for npar parameters;
// value (a text of datafile::unreadable_logical) names the fault.
std::string mask_abort_message(int line, int npar, std::string_view value);
// A data row on file line `line` that holds `values` values instead of the
// nx + 1 of the model; decimal_comma is a number written with a decimal
// comma on that row, if any.
std::string row_width_abort_message(int line, int values, int nx, std::string_view decimal_comma = {});
// A parameter (1-based) whose lower bound lies above its upper bound.
std::string bounds_abort_message(int parameter, double lower, double upper);
// A model without a value at the final parameters on any of the rows.
std::string unevaluable_abort_message(int rows);
// A2: a syntax error of the model text, with its number, message, the text
// and the marker line under it.
std::string syntax_abort_message(int ierr, std::string_view message, std::string_view model,
                                 std::string_view marker);
// B10: a data row of the file that holds a bad number; value (when given)
// names it as value_abort_message does.
std::string row_abort_message(std::string_view data_file, int row, std::string_view value = {});

// The model line as the run compares it: upper case, control characters
// blanked, every blank deleted, left-adjusted.
void clean_model_line(kalvor::FixedText& line);

// Re-weighting of a second fit: w(i) = |r(i)| + 1, shifted so that the
// smallest is 1, then clamped to [1, 10].
void reweight(std::span<const double> r, std::span<double> w);

// Data sets (curves) of the rows: with two or three X variables a new set
// starts wherever X2 changes, when that grouping is consistent; otherwise
// every row is set 1. id2[i] receives the set of row i; returns the number
// of sets.
int assign_curves(const kalvor::Matrix& x, int nd, int nx, std::span<int> id2);

// The next file of a NEXT series: the number after the last "#" of the name
// stepped by one ("RUNS#9.DAT" -> "RUNS#10.DAT"); nothing when the file name
// (its folders left aside) holds no "#" followed by digits.
std::optional<std::string> next_series_file(std::string_view data_file);

}  // namespace mainsub
