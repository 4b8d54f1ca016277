#pragma once
// A small x/y plot library that draws into a rectangle of a window's canvas.
//
// A plot object holds series (numbered from 0 in the order added; the data
// are copied), a type and colour per series, and two axes, each linear or
// logarithmic with a fixed or an automatic range. embed_plot draws the frame,
// ticks, tick labels, axis labels and series. Points that are NaN or
// infinite, and points not above 0 on a logarithmic axis, are left out; a
// line is broken there. Degenerate ranges (empty, a single value or values
// that differ only in their last bits, bounds in the wrong order) are
// widened so that every plot can be drawn; ranges and points near the
// largest doubles still map, and a line to a point far outside the axes is
// cut at the frame. Tick labels carry as many digits as their step needs.
//
// A plot object is used by one thread at a time.

#include <span>
#include <string_view>

namespace aplot {

struct Plot;
using aplot_t = Plot*;

// Series types of set_seriestype.
inline constexpr int SERIES_LINE = 0;
inline constexpr int SERIES_BIG_DOTS = 1;
inline constexpr int SERIES_BARS = 2;
inline constexpr int SERIES_DOTS = 3;

aplot_t initialize_plot();
// Releases the plot and sets the handle to nullptr; nullptr is ignored.
void destroy_plot(aplot_t& plot);

// Adds the points (x[i], y[i]) for i below the smaller size; returns the
// series number, or -1 for a null plot. The series starts as a line.
int add_dataset(aplot_t plot, std::span<const double> x, std::span<const double> y);
int add_dataset_4(aplot_t plot, std::span<const float> x, std::span<const float> y);
void set_seriestype(aplot_t plot, int series, int type);
void set_serieslabel(aplot_t plot, int series, std::string_view label);
void set_seriescolor(aplot_t plot, int series, int red, int green, int blue);

void set_xlabel(aplot_t plot, std::string_view label);
void set_ylabel(aplot_t plot, std::string_view label);

// Fixed axis ranges; the axis shows exactly [low, high].
void set_xscale(aplot_t plot, double low, double high);
void set_yscale(aplot_t plot, double low, double high);
void set_xscale_4(aplot_t plot, float low, float high);
void set_yscale_4(aplot_t plot, float low, float high);
// Automatic ranges (the default): the data range widened to neat limits.
void set_xautoscale(aplot_t plot);
void set_yautoscale(aplot_t plot);

void set_xlinear(aplot_t plot);
void set_ylinear(aplot_t plot);
void set_xlogarithmic(aplot_t plot, double base = 10.0);
void set_ylogarithmic(aplot_t plot, double base = 10.0);

// Draws the plot into the rectangle of the window's canvas (canvas
// coordinates, the viewport does not apply) and makes the window the
// caller's current window. The window's drawing state is not changed.
void embed_plot(aplot_t plot, int window, int left, int top, int width, int height);

// Pixels between the top of a rectangle of this height given to embed_plot
// and the top line of the plot's frame: the room for a title.
int frame_top_margin(int height);

}  // namespace aplot
