#pragma once
// The plot window: observed points and fitted curve of every curve (data
// set) of the last run, in one of four kinds (linear, logarithmic x,
// Hanes-Woolf x / y against x, logarithmic y), with title and axis labels,
// y-axis scaling and, for a single curve, the bootstrap band of the fit.
//
// The window's commands run on callback threads: each takes the window's
// lock, so redraws, dialogs' results and Close follow one another; every
// redraw builds and releases its own plot object, and the state lives as
// long as a late callback holds it (it then does nothing).

#include <memory>
#include <span>
#include <string>

#include "foundations/fixed_text.h"
#include "platform/aplot.h"

namespace plotlogxy {

inline constexpr int max_curves = 10;
inline constexpr int label_length = 90;
inline constexpr int plot_width = 510;
inline constexpr int plot_height = 400;

// ---- axis ranges ----

struct AxisRange {
    float lo = 0.0f, hi = 0.0f;
    bool automatic = false;  // the plot library chooses the range
};
// A linear axis for data from lo to hi: a positive minimum drops to 0 when
// hi - lo exceeds threshold (or, with small_to_zero, is below 0.01), else to
// 0.75 lo; a negative one is widened by 25%; the maximum is widened by 25%
// (0.75 hi when negative). Automatic when |hi| exceeds 1e10.
AxisRange linear_axis(float lo, float hi, float threshold, bool small_to_zero);
// A logarithmic axis: the minimum to 7.5 x 10^(k-1) for the first k in
// -10..10 within 0.99 of log10(lo); the maximum to 1.25 x 10^(t + 0.1)
// when log10(hi) lies less than 0.1 above its whole part t, else
// 1.25 x 10^(t + 1). Automatic when no k fits, below 1e-10 or above 1e10.
AxisRange log_axis(float lo, float hi);

// Colour of curve k (1-based; both series of a curve take it), r g b.
struct Rgb {
    int r = 0, g = 0, b = 0;
};
Rgb curve_color(int k);

// ---- the window ----

// Opens the window "Plot Data" and waits until Close. x, y and yc hold one
// column of ld values per curve (curve k has npts[k] rows); labels: entry
// 2k-1 names the points and 2k the fitted curve of curve k. Flags: xlinear
// 'N' for a logarithmic x axis, ylinear 'N' for a logarithmic y axis,
// hanes 'Y' for x / y against x. ncurves outside 1..10 gives an error box
// and no window. While open the window owns the child-window table (entry
// 256); every way out gives that entry back to the main window.
void plotlogxy(std::span<const float> x, std::span<const float> y, std::span<const float> yc,
               std::span<const int> npts, int ld, int ncurves, std::span<const kalvor::Text<label_length>> labels,
               char xlinear, char ylinear, char hanes);

// The window's state and commands (the callbacks of its menus and button).
class Window;
class Commands {
public:
    explicit Commands(std::shared_ptr<Window> w) : w_(std::move(w)) {}
    void handle_quit();    // "Quit" and "Close"
    void savescreen();     // "Save Screen"
    void printscreen();    // "Print Screen"
    void title();          // "Plot Title"
    void ylabel();         // "Ordinate Y Label"
    void xlabel();         // "Abscissa X Label"
    void zeroyaxes();      // "Zero Y Axes Minimum"
    void autoscaleyaxes(); // "Auto Scale Y Axes"
    void ycl_on();         // "Apply Bootstrap Ydata 95% CL"
    void ycl_off();        // "Remove Bootstrap Ydata 95% CL"
    void dataset_changed();  // the redraw
    bool close_box();      // the title bar's close box: as Close

private:
    std::shared_ptr<Window> w_;
};

// Fills a new plot object with the axes and series of the window's data and
// stores the axis limits and log-axis marker in the window.
void set_dataseries(Window& w, aplot::aplot_t plot);

}  // namespace plotlogxy
