#pragma once
// Shared run state and fit data.
//
// Everything the parts of the program pass to each other other than through
// arguments lives here as static namespace-scope data: the application's run
// state (`globals`), the fit data of the current run (`common_data`), the
// model text (`common_udf`), the machine precision (`nrtype`) and the small
// shared blocks (file units, model-value guards).
//
// Numbers start at zero and texts blank, except `globals::timemax` and
// `globals::fini`. Values that a window callback writes while the fit or the
// command loop reads them on another thread are std::atomic.
//
// Arrays are 0-based: data row i (1..nd) is element i-1, parameter k (1..10)
// is element k-1, child-window entry k (0..256) is element k.

#include <array>
#include <atomic>
#include <functional>
#include <string>

#include "foundations/fixed_text.h"
#include "foundations/matrix.h"

// Size limits of a fit.
namespace common_data {
inline constexpr int max_rows = 1000;      // data rows in a file and in the fit arrays
inline constexpr int max_x = 3;            // independent variables X1..X3
inline constexpr int max_params = 8;       // parameters P1..P8 in a formula
inline constexpr int param_slots = 10;     // length of the parameter arrays
}  // namespace common_data

namespace globals {

// Lines of the main window's text buffers.
inline constexpr int screen_lines = 62;
// Entries of the child-window table: 0 unused, 1..255 children, 256 the owner.
inline constexpr int child_table_size = 257;
inline constexpr int child_first = 1;
inline constexpr int child_last = 255;
inline constexpr int child_owner = 256;

inline constexpr double timemax_start = 50000.0;
inline constexpr const char* settings_file_name = "Kalvor_UDF.ini";

// ---- files and folders ----
extern kalvor::Text<512> input_file_name;   // chosen data file
extern kalvor::Text<512> output_file_name;  // results text file
extern kalvor::Text<512> fini;              // settings file name, opened in cwd
extern kalvor::Text<640> cwd;               // working folder, ending in one separator
extern kalvor::Text<640> cwdexe;            // external editor from the settings
extern kalvor::Text<640> cwddat;            // data folder from the settings

// ---- run flags (0 or 1) ----
extern int bfile;        // a data file is chosen and may be run
extern int bopen;        // the Open dialog is not up
extern int brun;         // a run ended with results
extern int bpostrun;     // the current run is a Restart
extern int brerun;       // the user declined the model
extern int bcorrectmdl;  // the user confirmed the model
extern int bdataerror;   // the data file was rejected
extern int berror;       // the model text failed its syntax check
extern std::atomic<int> bcancelrun;  // Cancel pressed in the running fit's window
extern std::atomic<int> bquit;       // Quit chosen: the run in progress ends at its next Cancel point, then the program
extern int bnext;        // the data block just counted ended with NEXT
extern int brewt;        // the fit is a re-weighted second pass

// ---- model and option levels ----
extern int nmdl;      // 0: formula of the data file; n > 0: built-in model n
extern int iexpzero;  // guard of the model-text clean-up
extern int iopt;      // difficulty 1 Easy, 2 Moderate, 3 Difficult; 0 as 2; -1 second Difficult fit
extern int iopt2;     // copy of iopt before the first fit
extern int iwt;       // weighting 1..5; 0 as 1; the fit's weight mode is iwt - 1
extern int ismth;     // smoothing 1..3
extern int ilbl;      // curve labels 1..3

// Option levels with 0 read as the default (difficulty 2, weighting 1).
int effective_iopt();
int effective_iwt();

// ---- windows ----
extern std::atomic<int> idactivescrn;      // main window
extern std::atomic<int> idactivewin;       // window enabled again when a dialog closes
extern std::atomic<int> idresultswindow;   // results or X/Y data window, -1 closed
extern std::atomic<int> idresidualwindow;  // residuals window, -1 closed
extern std::atomic<int> idplotxywindow;
extern std::atomic<int> idlogplotwindow;
extern std::atomic<int> idcalcwindow;
extern std::atomic<int> idoptwindow;       // difficulty dialog
extern std::atomic<int> idwtwindow;        // weighting dialog
extern std::atomic<int> idsmthwindow;      // smoothing dialog
extern std::atomic<int> idlblwindow;       // curve-label dialog
extern std::array<std::atomic<int>, child_table_size> child_windows;
extern int gwinwidth;
extern int gwinheight;
extern int gwincolor1;  // splash background
extern int gwincolor2;  // main-window background

// Set every window id above to -1 (closed).
void reset_window_ids();
// Entries 1..256 become -1, then entry 256 the owner's id.
void reset_child_windows(int owner_id);
// Enter a window in the first free entry from 1 upward; returns the entry
// (1..255), or 0 when all 255 entries are taken and the window is not entered.
int register_child_window(int id);
// Free the entry that holds id; returns the entry, 0 when id is not listed.
int unregister_child_window(int id);
// Walk entries 1..255: each that holds a window id (>= 0) is handed to
// close_window and becomes -1.
void close_child_windows(const std::function<void(int id)>& close_window);

// ---- text buffers ----
extern std::array<kalvor::Text<220>, screen_lines> sline3;  // results summary lines
extern int nlines3;
extern std::array<kalvor::Text<220>, screen_lines> sline5;  // X, Y, Ycalc, residual lines
extern int nlines5;
extern std::array<kalvor::Text<170>, screen_lines> sline1;
extern std::array<kalvor::Text<170>, screen_lines> sline2;
extern std::array<kalvor::Text<170>, screen_lines> sline4;
extern kalvor::Text<220> cline;  // one line of the temporary results file
extern std::string msge;         // working copy of cline (not cut to a fixed length)
extern kalvor::Text<640> cmsg;   // message text of the main window
extern kalvor::Text<224> ctitle; // title of a text window
extern std::string cstring;      // text of a text window, lines joined by CR LF
extern int clen;                 // longest line of a text window

// ---- timing ----
extern double timemax;   // time limit of one optimiser, seconds
extern int starttimer;   // 1: the next run-clock reading restarts the clock
extern double totaltime; // last run-clock reading, seconds

// Put the whole run state, fit data, model text and shared blocks back to
// their values at process start.
void reset_run_state();

}  // namespace globals

namespace common_data {

using RowArray = std::array<double, max_rows>;
using ParamArray = std::array<double, param_slots>;

// ---- counts ----
extern int nd;         // data rows in use, 1..1000
extern int nxd;        // X variables, 1..3
extern int npr;        // model parameters, at most 10
extern int ndwt;       // weight mode 0..4 of funct::fun
extern int id2number;  // number of data sets (curves)
extern int nmod;       // constrained-optimiser callback: model-count limit
extern int ieqcns;     // equality-constraint count
extern int icnstr;     // constraint count

// ---- data rows (rows 1..nd are elements 0..nd-1) ----
extern RowArray xd, xd2, xd3;  // X1, X2, X3
extern kalvor::Matrix xnx;     // max_rows x max_x: column j = X variable j+1
extern RowArray yd;            // observed Y
extern RowArray ysig;          // per-row sigma or effective weight
extern RowArray ydf;           // fitted Y
extern RowArray yres;          // residuals
extern RowArray ydr;           // normalised Studentized residuals
extern RowArray xdr;           // residual-plot x: the row numbers
extern RowArray xdl;           // copy of X1 for its minimum
extern RowArray ybs_mean, ybs_lcl, ybs_ucl;  // bootstrap band
extern int ybs_filled;  // 1: the last fit filled the bootstrap band
extern std::array<int, max_rows> id2;        // data-set id per row

// ---- parameters and results ----
extern ParamArray pfinal;
extern ParamArray pboundlo;
extern ParamArray pboundhi;
extern std::array<int, param_slots> pmask;  // 0 fixed, nonzero active
extern double fssqr;       // weighted sum of squares of the current fit
extern kalvor::Matrix cimat;  // 11 x 11 condition-index matrix
extern double ctau;        // Tau threshold of the residual table
extern double xmin0;       // smallest X1

// ---- residual plot and plot switch ----
extern double xrmin, xrmax, xrmin1, xrmax1, yrmin, yrmax;
extern std::array<double, 2> resxaxislable;
extern std::array<double, 2> resyaxislable;
extern std::atomic<int> bcl;  // 1: draw the bootstrap band in the X/Y plot

}  // namespace common_data

namespace common_udf {
extern kalvor::Text<512> cudf;  // model formula, right-hand side after "Y="
extern kalvor::Text<512> cmdl;  // built-in model text
}  // namespace common_udf

namespace nrtype {
extern double epsmachine;  // machine precision
}  // namespace nrtype

// Model-value guard block: every model value is clamped to +-clamp, and an
// invalid (NaN or infinite) value is replaced by `invalid`. The evaluation
// routines store the two constants on every call.
namespace limits {
inline constexpr double clamp_value = 2251799813685248.0;      // 2^51
inline constexpr double invalid_value = 4.440892098500626e-16;
extern double clamp;
extern double invalid;
// Store the two constants into the block.
void store();
}  // namespace limits

// File state of one run (results and temporary file), and the two units of
// the constrained optimisers' callback.
namespace inout {
// (0) I/O status of the temporary file, (1) unit of the results file,
// (2) I/O status of the results file, (3) unit of the temporary file.
extern std::array<int, 4> io;
}  // namespace inout

namespace iinout {
extern std::array<int, 2> units;
}  // namespace iinout
