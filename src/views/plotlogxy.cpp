#include "views/plotlogxy.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <mutex>
#include <vector>

#include "model/globals.h"
#include "platform/appgraphics.h"

namespace ag = appgraphics;

namespace plotlogxy {

// The state of one opening of the window. Guarded by lock; after closed is
// set the commands do nothing.
class Window {
public:
    std::mutex lock;
    bool closed = false;
    int id = -1;
    int ncurves = 0;
    std::vector<int> npts;
    // Per curve: x, observed y and fitted y as plotted (x / y in a Hanes-Woolf plot).
    std::vector<std::vector<float>> xs, ys, ycs;
    std::vector<std::string> labels;  // 2 per curve, trimmed
    char xlinear = 'Y', ylinear = 'Y', hanes = 'N';
    float xmin = 0.0f, xmax = 0.0f, ymin = 0.0f, ymax = 0.0f;
    char marker = 'N';  // 'L' when an axis is logarithmic
    bool zero_y = false;
    // Texts the user entered: the band commands keep them.
    bool user_title = false, user_xlabel = false, user_ylabel = false;
};

namespace {

// Title and axis labels, kept between openings; guarded by the open
// window's lock (one plot window is open at a time).
kalvor::Text<50> xytitlelbl;
kalvor::Text<40> xaxislbl;
kalvor::Text<40> yaxislbl;

constexpr float data_min_start = 1e12f;
constexpr int title_gap = 3;  // pixels between the title and the plot's frame
constexpr float hanes_floor = 1e-12f;
// The Close button, in the strip below the plot where no text is drawn.
constexpr int close_width = 65, close_height = 25;
constexpr int close_top = plot_height + 8;
constexpr int window_height = close_top + close_height + 7;

constexpr std::array<Rgb, max_curves> colors{{{0, 0, 255},
                                               {0, 204, 102},
                                               {255, 128, 0},
                                               {0, 255, 255},
                                               {127, 0, 255},
                                               {255, 0, 255},
                                               {204, 64, 64},
                                               {0, 0, 255},
                                               {255, 128, 0},
                                               {0, 255, 255}}};

std::string label_at(std::span<const kalvor::Text<label_length>> labels, std::size_t i) {
    return i < labels.size() ? labels[i].trimmed() : std::string();
}

// The smallest and largest finite value of the curves' columns, starting
// from 1e12 and 0.
void data_range(const std::vector<std::vector<float>>& columns, float& lo, float& hi) {
    lo = data_min_start;
    hi = 0.0f;
    for (const auto& column : columns) {
        for (float v : column) {
            if (!std::isfinite(v)) continue;
            lo = std::min(lo, v);
            hi = std::max(hi, v);
        }
    }
}

void apply_x(aplot::aplot_t plot, const AxisRange& r) {
    if (r.automatic) {
        aplot::set_xautoscale(plot);
    } else {
        aplot::set_xscale_4(plot, r.lo, r.hi);
    }
}

void apply_y(aplot::aplot_t plot, const AxisRange& r) {
    if (r.automatic) {
        aplot::set_yautoscale(plot);
    } else {
        aplot::set_yscale_4(plot, r.lo, r.hi);
    }
}

int add_series(aplot::aplot_t plot, std::span<const float> x, std::span<const float> y, int type, Rgb c,
               const std::string& label) {
    const int s = aplot::add_dataset_4(plot, x, y);
    aplot::set_seriestype(plot, s, type);
    aplot::set_seriescolor(plot, s, c.r, c.g, c.b);
    aplot::set_serieslabel(plot, s, label);
    return s;
}

// The bootstrap band of the single curve as it is plotted (x / limit in a
// Hanes-Woolf plot), as the limits are: the plot library leaves out values
// that are not finite.
struct Band {
    std::vector<float> lower, upper;
};

Band band_of(const Window& w) {
    const std::size_t n = std::min<std::size_t>(w.xs[0].size(), common_data::max_rows);
    Band b{std::vector<float>(n), std::vector<float>(n)};
    for (std::size_t i = 0; i < n; ++i) {
        b.lower[i] = static_cast<float>(common_data::ybs_lcl[i]);
        b.upper[i] = static_cast<float>(common_data::ybs_ucl[i]);
        if (w.hanes == 'Y') {
            b.lower[i] = w.xs[0][i] / b.lower[i];
            b.upper[i] = w.xs[0][i] / b.upper[i];
        }
    }
    return b;
}

void add_band(const Window& w, const Band& b, aplot::aplot_t plot) {
    constexpr Rgb blue{0, 0, 255}, red{255, 0, 0}, white{255, 255, 255};
    add_series(plot, w.xs[0], w.ys[0], aplot::SERIES_BIG_DOTS, blue, w.labels[0]);
    add_series(plot, w.xs[0], w.ycs[0], aplot::SERIES_LINE, blue, w.labels[1]);
    add_series(plot, w.xs[0], b.lower, aplot::SERIES_LINE, red, w.labels[1]);
    add_series(plot, w.xs[0], b.lower, aplot::SERIES_DOTS, white, "");
    add_series(plot, w.xs[0], b.upper, aplot::SERIES_LINE, red, w.labels[1]);
    add_series(plot, w.xs[0], b.upper, aplot::SERIES_DOTS, white, w.labels[1]);
}

// Default title and axis labels of the plot kind, for the texts the user
// has not entered; suffix adds " w/95% CL".
void default_texts(const Window& w, bool suffix) {
    const char* title = nullptr;
    const char* x = "X";
    const char* y = "Y";
    if (w.marker == 'L') {
        if (w.xlinear == 'N' && w.ylinear == 'Y') {
            title = "Semilog Plot";
            x = "LOG(X)";
        } else if (w.xlinear == 'Y' && w.ylinear == 'N') {
            title = "Semilog Plot";
            y = "LOG(Y)";
        }
    } else if (w.hanes == 'Y') {
        title = "Hanes-Woolf Plot";
        y = "X / Y";
    } else {
        title = "Linear Plot";
    }
    if (!title) return;
    if (!w.user_title) xytitlelbl.assign(std::string(title) + (suffix ? " w/95% CL" : ""));
    if (!w.user_xlabel) xaxislbl.assign(x);
    if (!w.user_ylabel) yaxislbl.assign(y);
}

// The redraw, under the window's lock.
void redraw(Window& w) {
    if (w.closed) return;
    ag::setcurrentwindow(w.id);
    aplot::aplot_t plot = aplot::initialize_plot();
    ag::setviewport(0, 0, plot_width, plot_height, true);
    ag::clearviewport();
    set_dataseries(w, plot);
    if (w.zero_y) {
        w.ymin = 0.0f;
        aplot::set_yscale_4(plot, 0.0f, w.ymax);
        w.zero_y = false;
    }
    aplot::set_xlabel(plot, xaxislbl.trimmed());
    aplot::set_ylabel(plot, yaxislbl.trimmed());
    aplot::embed_plot(plot, w.id, 0, 0, plot_width, plot_height);
    aplot::destroy_plot(plot);
    ag::resetviewport();
    ag::setcolor(ag::BLACK);
    ag::setbkcolor(ag::WHITE);
    ag::settextstyle(ag::PLOT_FONT, ag::HORIZ_DIR, 20, true);
    // Over the plot's frame, so that it never meets the frame or the data.
    const std::string title = xytitlelbl.trimmed();
    const int title_y = std::max(0, aplot::frame_top_margin(plot_height) - ag::textheight(title) - title_gap);
    ag::outtextxy(250 - ag::textwidth(title) / 2, title_y, title);
    ag::settextstyle(ag::PLOT_FONT, ag::HORIZ_DIR, 14);
    ag::refreshall();
}

// One column of a Hanes-Woolf curve passes when, with each NaN counted as
// the smallest value / 100 and each magnitude up to 1e-12 as 1e-12 of its
// sign, every value is above 0.
bool hanes_column_ok(std::span<const float> v) {
    float smallest = HUGE_VALF;
    for (float a : v)
        if (!std::isnan(a)) smallest = std::min(smallest, a);
    for (float a : v) {
        float c = std::isnan(a) ? smallest / 100.0f : a;
        if (std::fabs(c) <= hanes_floor) c = std::copysign(hanes_floor, c);
        if (!(c > 0.0f)) return false;
    }
    return true;
}

// The main window owns the child windows again; the plot's children close.
void give_back_children() {
    globals::child_windows[globals::child_owner] = globals::idactivescrn.load();
    globals::close_child_windows([](int id) { ag::closewindow(id); });
}

}  // namespace

AxisRange linear_axis(float lo, float hi, float threshold, bool small_to_zero) {
    if (lo < 0.0f) {
        lo = 1.25f * lo;
    } else if (lo > 0.0f) {
        lo = (hi - lo > threshold || (small_to_zero && hi - lo < 0.01f)) ? 0.0f : 0.75f * lo;
    }
    hi = hi < 0.0f ? 0.75f * hi : 1.25f * hi;
    return {lo, hi, std::fabs(hi) > 1e10f};
}

AxisRange log_axis(float lo, float hi) {
    AxisRange r;
    const double l = std::log10(static_cast<double>(lo));
    bool found = false;
    for (int k = -10; k <= 10 && !found; ++k) {
        if (std::fabs(l - k) <= 0.99) {
            r.lo = static_cast<float>(7.5 * std::pow(10.0, k - 1));
            found = true;
        }
    }
    const double h = std::log10(static_cast<double>(hi));
    const double t = std::trunc(h);
    r.hi = static_cast<float>(1.25 * std::pow(10.0, h - t < 0.1 ? t + 0.1 : t + 1.0));
    // A minimum that fits no k (data near or below 0) leaves the range to the library.
    r.automatic = !found || r.lo < 1e-10f || !(r.hi <= 1e10f);
    return r;
}

Rgb curve_color(int k) { return colors[static_cast<std::size_t>(std::clamp(k, 1, max_curves) - 1)]; }

void set_dataseries(Window& w, aplot::aplot_t plot) {
    aplot::set_xlinear(plot);
    aplot::set_ylinear(plot);
    if (w.ncurves != 1) common_data::bcl = 0;
    const bool band = w.ncurves == 1 && common_data::bcl != 0;
    const Band limits = band ? band_of(w) : Band{};
    float xlo = 0, xhi = 0, ylo = 0, yhi = 0;
    data_range(w.xs, xlo, xhi);
    // The y axis also takes in the band (its values above 0 on a
    // logarithmic axis), so that the band lies inside the plot.
    const bool log_y = w.xlinear == 'Y' && w.ylinear != 'Y';
    std::vector<std::vector<float>> ys = w.ys;
    for (const auto* limit : {&limits.lower, &limits.upper}) {
        ys.emplace_back();
        for (const float v : *limit)
            if (!log_y || v > 0.0f) ys.back().push_back(v);
    }
    data_range(ys, ylo, yhi);
    AxisRange rx, ry;
    if (w.xlinear == 'Y' && w.ylinear == 'Y') {
        w.marker = 'N';
        rx = linear_axis(xlo, xhi, 100.0f, true);
        ry = linear_axis(ylo, yhi, 10.0f, false);
    } else if (w.xlinear != 'Y') {
        w.marker = 'L';
        rx = log_axis(xlo, xhi);
        aplot::set_xlogarithmic(plot);
        ry = linear_axis(ylo, yhi, 10.0f, false);
    } else {
        w.marker = 'L';
        ry = log_axis(ylo, yhi);
        aplot::set_ylogarithmic(plot);
        rx = linear_axis(xlo, xhi, 10.0f, false);
    }
    apply_x(plot, rx);
    apply_y(plot, ry);
    w.xmin = rx.lo;
    w.xmax = rx.hi;
    w.ymin = ry.lo;
    w.ymax = ry.hi;

    if (band) {
        add_band(w, limits, plot);
        return;
    }
    for (int k = 1; k <= w.ncurves; ++k) {
        const auto c = static_cast<std::size_t>(k - 1);
        add_series(plot, w.xs[c], w.ys[c], aplot::SERIES_BIG_DOTS, curve_color(k), w.labels[2 * c]);
        add_series(plot, w.xs[c], w.ycs[c], aplot::SERIES_LINE, curve_color(k), w.labels[2 * c + 1]);
    }
}

// ---- commands ----

void Commands::dataset_changed() {
    std::lock_guard guard(w_->lock);
    redraw(*w_);
}

void Commands::handle_quit() {
    {
        std::lock_guard guard(w_->lock);
        w_->closed = true;
    }
    ag::stopidle();
    give_back_children();
    ag::setcurrentwindow(globals::child_windows[globals::child_owner].load());
    ag::refreshall();
}

void Commands::savescreen() { ag::writeimagefile(); }

void Commands::printscreen() { ag::printimage(); }

namespace {

// Sets a text to its default, asks for a new one and redraws; an entered
// text counts as the user's (user).
template <std::size_t N>
void ask_text(Window& w, kalvor::Text<N>& text, bool Window::*user, std::string_view initial,
              std::string_view title, std::string_view prompt) {
    std::string field;
    {
        std::lock_guard guard(w.lock);
        if (w.closed) return;
        text.assign(initial);
        field = text.str();
    }
    const bool entered = ag::dlgrequesttext(field, title, prompt);
    std::lock_guard guard(w.lock);
    if (entered) text.assign(field);
    w.*user = entered;
    redraw(w);
}

}  // namespace

void Commands::title() { ask_text(*w_, xytitlelbl, &Window::user_title, "Plot", "Plot Label", "Title of Plot"); }

void Commands::xlabel() { ask_text(*w_, xaxislbl, &Window::user_xlabel, "X", "Abscissa Label", "X Axis Label"); }

void Commands::ylabel() { ask_text(*w_, yaxislbl, &Window::user_ylabel, "Y", "Ordinate Label", "Y Axis Label"); }

void Commands::zeroyaxes() {
    std::lock_guard guard(w_->lock);
    w_->zero_y = true;
    redraw(*w_);
}

void Commands::autoscaleyaxes() { dataset_changed(); }

void Commands::ycl_on() {
    std::lock_guard guard(w_->lock);
    if (w_->closed) return;
    // Only a band this fit filled, of a model with one x variable, is drawn.
    if (common_data::nxd != 1 || common_data::ybs_filled != 1) {
        common_data::bcl = 0;
        return;
    }
    common_data::bcl = 1;
    default_texts(*w_, w_->ncurves == 1);
    redraw(*w_);
}

void Commands::ycl_off() {
    std::lock_guard guard(w_->lock);
    if (w_->closed) return;
    common_data::bcl = 0;
    default_texts(*w_, false);
    redraw(*w_);
}

bool Commands::close_box() {
    handle_quit();
    return false;
}

// ---- the window ----

void plotlogxy(std::span<const float> x, std::span<const float> y, std::span<const float> yc,
               std::span<const int> npts, int ld, int ncurves, std::span<const kalvor::Text<label_length>> labels,
               char xlinear, char ylinear, char hanes) {
    const auto columns = static_cast<std::size_t>(std::max(ncurves, 0));
    const auto length = static_cast<std::size_t>(std::max(ld, 0));
    const bool fits = npts.size() >= columns && x.size() >= length * columns && y.size() >= length * columns &&
                      yc.size() >= length * columns;
    if (ncurves < 1 || ncurves > max_curves || !fits) {
        ag::setcurrentwindow(ag::getsignallingwindow());
        ag::dlgmessage(ag::DIALOG_ERROR, "Number of curve data sets out of bounds!");
        return;
    }
    globals::idactivewin = ag::getsignallingwindow();

    auto w = std::make_shared<Window>();
    w->id = ag::initwindow(plot_width, window_height, "Plot Data", ag::DEFAULT_POSITION, ag::DEFAULT_POSITION, false);
    if (w->id < 0) {
        ag::dlgmessage(ag::DIALOG_ERROR, "graphics error: the plot window could not be opened.");
        return;
    }
    ag::setcolor(ag::BLACK);
    ag::setbkcolor(ag::WHITE);
    ag::clearviewport();
    ag::settextstyle(ag::PLOT_FONT, ag::HORIZ_DIR, 14);
    // The plot window owns the child windows while it is open.
    globals::close_child_windows([](int id) { ag::closewindow(id); });
    globals::child_windows[globals::child_owner] = w->id;

    w->ncurves = ncurves;
    w->xlinear = xlinear;
    w->ylinear = ylinear;
    w->hanes = hanes;
    for (std::size_t k = 0; k < columns; ++k) {
        const auto rows = static_cast<std::size_t>(std::clamp(npts[k], 0, ld));
        w->npts.push_back(static_cast<int>(rows));
        const std::size_t at = k * length;
        w->xs.emplace_back(x.begin() + at, x.begin() + at + rows);
        w->ys.emplace_back(y.begin() + at, y.begin() + at + rows);
        w->ycs.emplace_back(yc.begin() + at, yc.begin() + at + rows);
        w->labels.push_back(label_at(labels, 2 * k));
        w->labels.push_back(label_at(labels, 2 * k + 1));
    }
    if (hanes == 'Y') {
        for (std::size_t k = 0; k < columns; ++k) {
            if (hanes_column_ok(w->ys[k]) && hanes_column_ok(w->ycs[k])) continue;
            // Data the x / y plot cannot show: no plot.
            ag::closewindow(w->id);
            give_back_children();
            ag::setcurrentwindow(globals::idactivescrn);
            ag::refreshall();
            return;
        }
        for (std::size_t k = 0; k < columns; ++k) {
            for (std::size_t i = 0; i < w->xs[k].size(); ++i) {
                w->ys[k][i] = w->xs[k][i] / w->ys[k][i];
                w->ycs[k][i] = w->xs[k][i] / w->ycs[k][i];
            }
        }
    }

    Commands commands(w);
    ag::setwindowsystemclosecallback([commands]() mutable { return commands.close_box(); });
    {
        std::lock_guard guard(w->lock);
        aplot::aplot_t plot = aplot::initialize_plot();
        set_dataseries(*w, plot);
        aplot::destroy_plot(plot);
        default_texts(*w, ncurves == 1 && common_data::bcl != 0);
    }
    ag::setviewport(0, 0, plot_width, plot_height, true);

    auto act = [commands](void (Commands::*f)()) {
        return [commands, f]() mutable { (commands.*f)(); };
    };
    const int bar = ag::addmenu("", -1);
    const int file = ag::addmenu("File", bar);
    ag::addmenuitem("Save Screen", file, act(&Commands::savescreen));
    ag::addmenuitem("Print Screen", file, act(&Commands::printscreen));
    ag::addmenuitem("Quit", file, act(&Commands::handle_quit));
    const int labels_menu = ag::addmenu("Graph Labels", bar);
    ag::addmenuitem("Plot Title", labels_menu, act(&Commands::title));
    ag::addmenuitem("Ordinate Y Label", labels_menu, act(&Commands::ylabel));
    ag::addmenuitem("Abscissa X Label", labels_menu, act(&Commands::xlabel));
    const int scale = ag::addmenu("Scale Axes", bar);
    const int zero = ag::addmenuitem("Zero Y Axes Minimum", scale, act(&Commands::zeroyaxes));
    ag::addmenuitem("Auto Scale Y Axes", scale, act(&Commands::autoscaleyaxes));
    common_data::bcl = 0;
    const int band = ag::addmenu("Single Curve Confidence Intervals", bar);
    const int band_on = ag::addmenuitem("Apply Bootstrap Ydata 95% CL", band, act(&Commands::ycl_on));
    const int band_off = ag::addmenuitem("Remove Bootstrap Ydata 95% CL", band, act(&Commands::ycl_off));
    const bool band_ready = common_data::nxd == 1 && common_data::ybs_filled == 1;
    ag::enablemenuitem(band_on, band_ready);
    ag::enablemenuitem(band_off, band_ready);
    ag::enablemenuitem(zero, !(xlinear == 'Y' && ylinear == 'N'));

    ag::clearviewport();
    ag::createbutton(220, close_top, close_width, close_height, "Close", act(&Commands::handle_quit));
    commands.dataset_changed();
    ag::loop();

    {
        std::lock_guard guard(w->lock);
        w->closed = true;
        ag::closewindow(w->id);
    }
    ag::refreshall();
    common_data::bcl = 0;
    // Also when the window closed other than by Close.
    if (globals::child_windows[globals::child_owner] == w->id) give_back_children();
    ag::setcurrentwindow(globals::child_windows[globals::child_owner].load());
}

}  // namespace plotlogxy
