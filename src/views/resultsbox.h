#pragma once
// The results window: the summary text of the last run with Close and Help
// buttons, image save and print, and the condition-index report
// ("Eigenvector Proportions") of the fitted parameters.

#include <span>
#include <string>
#include <string_view>

#include "foundations/matrix.h"
#include "views/textview.h"

namespace resultsbox {

using textview::WindowSize;
// Window size by the longest line and the line count of the text.
WindowSize resultsscreen_size(int nlines, int linelen);

// Largest condition index the report shows; larger ones show as this value.
inline constexpr float index_cap = 999.9f;
// Length of the report text handed to the message box.
inline constexpr std::size_t report_length = 2000;

// The condition-index report: an explanation with two references, then a
// table of the unmasked parameters' condition indices (column 1, shown at
// most as 999.9) and variance-decomposition proportions, read from cimat
// (rows and columns 1..na+1, na the unmasked parameters among the first
// npr). Lines break as LF and a blank. Cut or blank-padded to
// report_length characters. cimat is only read.
std::string condition_report(int npr, std::span<const int> pmask, const kalvor::Matrix& cimat);

// Opens the window titled "Morvane-Quil" with title (trimmed) above text
// (lines joined by CR LF) and waits until Close; the window is listed in
// globals::child_windows and its id kept in globals::idresultswindow while
// it is open. Every registered child window is closed first. When the
// window cannot be made, an error box says so and the call returns.
void resultsscreen(std::string_view title, std::string_view text, int nlines, int linelen, std::string_view help);

// The window's commands; each acts on the caller's current window.
void savescreen();   // image of the window, file name asked
void printscreen();  // print dialog
void quitt();        // ends the wait of resultsscreen
void bttn(std::string_view help);  // the help text in an information box
void condidx();      // the condition-index report of the last fit

}  // namespace resultsbox
