#pragma once
// What the main window hands its result views: the texts of the results
// and x/y data windows, the curves of the x/y plots, and the check of the
// data against the plot kind. Pure functions of the run's buffers.

#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "foundations/fixed_text.h"

namespace resultviews {

using Line = kalvor::Text<220>;

// The last line of a data table cut at about 50 lines: 30 characters and
// 26 full stops.
inline constexpr std::string_view truncation_marker = "   Truncated data to ~50 lines..........................";

struct ViewText {
    std::string text;  // lines joined by CR LF
    int clen = 1;      // the widest line considered, at least 1
    int nlines = 0;    // the line count the window is sized by
};

// The results window: lines 1..nlines joined by CR LF (nothing cut);
// clen over lines 1..nlines-1; nlines + 1 lines.
ViewText results_text(std::span<const Line> lines, int nlines);

// The x/y data window: two CR LF pairs (three when the table has at most
// 52 lines), then each line after a CR LF of its own: the table up to and
// including its first line without a ".", at most 52 lines (lines past 51 read as the marker); then the
// marker when the table reached line 48 (51 lines), else a rule of
// clen - 10 hyphens (k lines, k the lines taken + 1 when none lacked a ".").
ViewText xydata_text(std::span<const Line> lines, int nlines);

// Curves of the fit as single-precision columns for the plot window: one
// column of ld values per curve (0 past a curve's rows), split where the id
// changes, at most 999 curves.
struct PlotData {
    std::vector<float> x, y, yc;
    std::vector<int> npts;
    int ld = 0;
    int ncurves = 0;
    bool capped = false;  // the curve split stopped at 999 curves
};
PlotData plot_data(int nd, std::span<const double> x, std::span<const double> y, std::span<const double> yc,
                   std::span<const int> id);

// Plot kinds of the main window.
inline constexpr int kind_xy = 0;
inline constexpr int kind_logx = 1;
inline constexpr int kind_xyx = 2;
inline constexpr int kind_logy = 3;

// The message that refuses data the kind cannot show (an X of 0 or less
// for a log-x plot, a Y or Ycalc of 0 or less for the x / y and log-y
// plots), empty when the data can be shown. from_logxy: asked by the
// log-plot launcher (its x / y message says "Y curve data").
std::string refusal(int kind, const PlotData& d, bool from_logxy);

// The flags of plotlogxy: x axis linear, y axis linear, x / y plot.
struct PlotFlags {
    char xlinear = 'Y', ylinear = 'Y', hanes = 'N';
};
PlotFlags plot_flags(int kind);

}  // namespace resultviews
