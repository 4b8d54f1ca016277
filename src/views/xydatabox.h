#pragma once
// The x/y data window: the data table of the last run (x, observed and
// fitted y, residuals) with Close and Help buttons, print, and the export
// of every curve's data side by side into a CSV file.

#include <span>
#include <string>
#include <string_view>
#include "views/textview.h"

namespace xydatabox {

using textview::WindowSize;
// Window size by the longest line and the line count of the text.
WindowSize xydatascreen_size(int nlines, int linelen);

// The fit data the export reads; spans hold at least nd rows.
struct CsvData {
    int nd = 0;
    int nxd = 1;  // 1..3 x columns
    std::span<const double> x1, x2, x3, y, ycalc, residual;
    std::span<const int> id;  // curve id per row; a curve starts where it changes
};
// The fit data of the last run.
CsvData fit_data();

// The CSV text: the column names of one curve ("X,Y,Ycalc,Adj. Residuals",
// "X1,X2,Y,..." or "X1,X2,X3,Y,..."), then row k of every curve side by
// side, each value at full precision followed by "," and three blanks (none
// at the line's end), 0 for the rows past a curve's end. One line per row.
std::string csv_text(const CsvData& d);

// The export's file name: the results file's name after its last "/",
// without its 4-character extension, at most 120 characters, + "_data.csv".
std::string csv_file_name(std::string_view output_file_name);

// Opens the window titled "Morvane-Quil" and waits until Close (button,
// menu or the title bar's close box); see resultsbox::resultsscreen.
void xydatascreen(std::string_view title, std::string_view text, int nlines, int linelen, std::string_view help);

// The window's commands.
// Writes csv_text(fit_data()) to csv_file_name(globals::output_file_name)
// in the working folder (globals::cwd) and says so, naming the whole path;
// a file that cannot be written gives an error box naming it, and the
// window stays.
void savescreen();
void printscreen();
void quitt();
void bttn(std::string_view help);

}  // namespace xydatabox
