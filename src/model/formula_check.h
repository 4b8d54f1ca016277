#pragma once
// The model text between the data file and the formula compiler.
//
// At load time parse_func normalises the user's model text (the right-hand
// side of "Y=") and counts its parameters P1..P8 and variables X1..X3, and
// check_func turns syntax and numbering faults into numbered messages with a
// marker line.  During a fit my_func::eval_func (through fnparse2) evaluates
// the model compiled once into slot 1 (index 0) of fparser::comp.
//
// Error numbers of check_func: 1..11 are the syntax codes of fparser::checkf
// (with their own texts here), 12 a parameter numbering gap, 13 an X
// numbering gap, 14 X variables that do not match the data columns, 15 a
// parameter or X name beyond P1..P8 and X1..X3 (P9, X4, P0, ...).
//
// Texts that are edited in place are fixed texts of 512 characters
// (common_udf::cudf or a copy of it).

#include <span>
#include <string_view>

#include "foundations/fixed_text.h"
#include "foundations/matrix.h"

// Number argument of fnparse2 that forces a new compile of the model text.
inline constexpr double fnparse2_recompile = 8888.0;

// Normalise text in place (blanks and control characters removed, upper
// case, sign runs folded, "**" as "^", a "0" put before a bare point after
// "^"), count the parameters np and variables nx it uses, and check it:
// ierr and msg are those of check_func, length the trimmed length of text.
void parse_func(int& np, int& nx, kalvor::FixedText& text, int& length, int& ierr, kalvor::FixedText& msg);

// Check text (left-adjusted in place) for syntax and numbering faults with
// the names P1..P8, X1..X3.  ierr is 0 when the text is usable with np
// parameters and nx X variables (returned at once), else the error number
// and msg its message; marker points at the fault: for the syntax codes 1..11
// an underscore line with a "?" under the faulty character, for numbers 12
// to 15 one with the characters "\*/" right after the first character of
// the faulty name.  A failing check pauses one second.
void check_func(kalvor::FixedText& text, kalvor::FixedText& marker, int& np, int& nx, int& ierr,
                kalvor::FixedText& msg);

// Parentheses that balance, never close before they open, and hold neither
// ")(" nor "()" (blanks and TABs ignored).
bool check_parentheses(std::string_view text);

// Final verdict on a model text: flag = 1 when its first token, after the
// neutral prefix "P1*0.+", is a parameter or X name (always so).
void check_udf(std::string_view text, int& flag);

// One model value y for the parameters p(1..np) and X values x(1..nx).
// The text is compiled (into nfunc slots) on the first call and whenever y
// holds fnparse2_recompile on entry; later calls evaluate the formula held,
// whatever text they pass.  A text that does not compile prints "Error in
// function, run aborted!", pauses five seconds, leaves y at 0 and returns
// false.
[[nodiscard]] bool fnparse2(std::span<const double> p, std::span<const double> x, int np, int nx, int nfunc,
                            std::string_view text, double& y);

// Check text and compile it into nfunc slots with the first nnames names;
// ierr = 0 when compiled, 1 when the text has a syntax error (nothing is
// compiled then).
void compile_func(int nfunc, std::string_view text, std::span<const std::string_view> names, int nnames, int& ierr,
                  bool print);

// results(k) = value of slot k for values(1..nvalues), k = 1..nfunc.
void calc_func(int nfunc, std::span<const double> values, int nvalues, std::span<double> results);

// The built-in model slot: 0 for any arguments.
double func2(double x1, double x2, double x3, int n);

// x kept away from 0 and infinity: y for NaN, |y| with the sign of x near 0,
// |1/y| with the sign of x beyond the model clamp, else x.
double minmax(double x, double y);

namespace my_func {

// One guarded model value y for the parameters p(1..np) and X values
// x(1..nx): the built-in model when globals::nmdl is not 0, else the formula
// text (left-adjusted in place) through fnparse2.  A NaN or infinite value
// becomes limits::invalid; the value is clamped to +-limits::clamp.
void eval_func(std::span<const double> p, int np, std::span<const double> x, int nx, kalvor::FixedText& text,
               double& y);

// Whether the last eval_func of this thread gave a value of the model itself:
// false when the guard value stood in for a NaN or infinite value, for an
// argument outside a function's domain (ASIN(2)) or for a text that did not
// compile.
bool last_value_valid();

// The guarded model values of rows 0..rows-1 of the table x (column j = X
// variable j+1) into y: y[r] is bit for bit what eval_func gives for row r's
// X values, the whole batch evaluated block by block in one call.  A text
// that does not compile is reported once for the batch.  last_value_valid
// then tells of the last row.
void eval_rows(std::span<const double> p, int np, const kalvor::Matrix& x, int nx, std::size_t rows,
               kalvor::FixedText& text, std::span<double> y);

}  // namespace my_func
