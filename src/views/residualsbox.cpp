#include "views/residualsbox.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <mutex>
#include <span>
#include <string_view>
#include <vector>

#include "foundations/besseli0.h"
#include "foundations/stringconv.h"
#include "foundations/stringlib.h"
#include "model/globals.h"
#include "platform/appgraphics.h"
#include "views/axisscale.h"
#include "views/reinsch.h"
#include "views/residual_reports.h"

namespace ag = appgraphics;

namespace {

constexpr int point_colour = 0x800000;
constexpr int smooth_colour = 0xFF8080;
constexpr int bessel_colour = 0x8080FF;
constexpr std::string_view plot_title = "Plot of Normalized Residuals versus Number of Data";
constexpr int label_gap = 3;  // pixels between a tick's end and its label

// The state of the open window, shared by its commands.  The drawing and
// rescaling commands hold the lock; the tests only read the fit data.
struct WindowState {
    std::mutex lock;
    double saved_min = 0.0, saved_max = 0.0;  // the x range the window fell back to
    double factor = 1.0;                      // running zoom factor of the move commands
    bool bessel_trend = false;
    bool smooth_trend = false;
};
WindowState state;

// The x range of the plot as it was when the window last opened.
double xaxismin = 0.0, xaxismax = 0.0;

int rows() { return std::clamp(common_data::nd, 0, common_data::max_rows); }

std::span<const double> fitted_rows(const common_data::RowArray& a) { return {a.data(), static_cast<std::size_t>(rows())}; }

int trunc_int(double v) { return static_cast<int>(v); }

// v written with the complete format fmt, without leading or trailing blanks.
std::string label(float v, std::string_view fmt) {
    std::string s = stringlib::stringr(v, fmt);
    stringlib::s_adjustl(s);
    return s.substr(0, static_cast<std::size_t>(stringlib::s_len_trim(s)));
}

// The plot box: points and trend lines outside it are not drawn.
bool in_box(int px, int py) { return px >= 143 && px <= 689 && py >= 21 && py <= 319; }

// The trend line values over the residuals r.
std::vector<double> trend(const std::vector<double>& r) {
    std::vector<double> t(r.size());
    if (state.smooth_trend) {
        const std::vector<float> y(r.begin(), r.end());
        std::vector<float> ys(r.size());
        int npass = 2;
        reinsch::bestsmooth(ys, y, static_cast<int>(r.size()), 2, npass, 1);
        for (std::size_t i = 0; i < r.size(); ++i) t[i] = std::min(6.0, static_cast<double>(ys[i]));
    } else {
        for (std::size_t i = 0; i < r.size(); ++i) t[i] = std::min(6.0, std::fabs(besti0_mod::besti0(std::fabs(r[i]))));
    }
    return t;
}

void draw_locked() {
    const int W = ag::getmaxx(), H = ag::getmaxy();
    ag::setcolor(ag::BLACK);
    ag::setlinestyle(ag::SOLID_LINE, 1, 1);
    ag::setviewport(0, 60, W, H, false);

    const float fw = static_cast<float>(W), fh = static_cast<float>(H);
    const float sx = ((fw - 87.0f) * 0.87f) / fw;
    const float sy = ((fh - 279.0f) * 0.99f) / fh;
    const int xoff = trunc_int(sx * 87.0f);
    const int yoff = trunc_int(fh * sy);
    const int ygrid = H - 307;
    const int x0 = 2 * xoff;
    const int y0 = trunc_int(sy * 279.0f) + yoff;
    const int xr = trunc_int(sx * 827.0f) + xoff;
    const int ytop = trunc_int(static_cast<float>(trunc_int(sy * -493.0f)) + static_cast<float>(yoff) * 1.1f);
    auto grid_row = [&](int k) { return trunc_int(static_cast<float>(279 - k * 662 / 20) * sy) + ygrid; };
    auto quarter_row = [&](int k) { return trunc_int((279.0f - static_cast<float>(k) * 662.0f * 0.25f) * sy) + ygrid; };

    ag::line(x0, y0, xr, y0);
    ag::line(x0, y0, x0, ytop);
    ag::setlinestyle(ag::DOTTED_LINE, 1, 1);
    for (int k = 0; k <= 20; ++k) {
        ag::setcolor(k % 5 == 0 ? ag::DARKGRAY : ag::LIGHTGRAY);
        ag::line(x0, grid_row(k), xr, grid_row(k));
    }
    ag::setcolor(ag::DARKGRAY);
    ag::setlinestyle(ag::DOTTED_LINE, 1, 2);
    for (int k = 1; k <= 3; ++k) ag::line(x0, quarter_row(k), xr, quarter_row(k));

    ag::setcolor(ag::BLACK);
    ag::setlinestyle(ag::SOLID_LINE, 1, 2);
    ag::settextstyle(1, ag::HORIZ_DIR, 15);
    common_data::resyaxislable = {-6.0, 6.0};
    for (int k = 0; k <= 4; ++k) {
        const int q = quarter_row(k);
        ag::line(x0 - 5, q, x0 + 5, q);
        // Right-aligned, ending a little before the tick.
        const std::string text = label(static_cast<float>(-6 + 3 * k), "(F7.3)");
        ag::outtextxy(x0 - 5 - label_gap - ag::textwidth(text), q - 8, text);
    }
    for (int k = 0; k <= 20; ++k) ag::line(x0, grid_row(k), x0 + 5, grid_row(k));

    const auto xmin = static_cast<float>(common_data::resxaxislable[0]);
    const auto xspan = static_cast<float>(common_data::resxaxislable[1] - common_data::resxaxislable[0]);
    const float step = xspan * 0.25f;
    const std::string format = residualsbox::x_label_format(step);
    float value = xmin;
    for (int k = 0; k <= 4; ++k) {
        const int xk = trunc_int(static_cast<float>(trunc_int((static_cast<float>(k) * 685.0f * 0.25f + 87.0f) * sx) + xoff + 15));
        ag::line(xk, y0 - 5, xk, y0 + 5);
        // Centred under the tick, below its end.
        const std::string text = label(value, format);
        ag::outtextxy(xk - ag::textwidth(text) / 2, y0 + 5 + label_gap, text);
        value += step;
    }
    for (int k = 0; k <= 20; ++k) {
        const int xk = trunc_int(static_cast<float>(k * 685 / 20 + 87) * sx) + xoff + 15;
        ag::line(xk, y0 - 5, xk, y0);
    }

    // Points, from a copy of the residuals: one beyond +-6 sits on the edge.
    const int n = rows();
    std::vector<double> r(static_cast<std::size_t>(n)), x(static_cast<std::size_t>(n));
    for (std::size_t i = 0; i < r.size(); ++i) {
        r[i] = std::clamp(common_data::ydr[i], -6.0, 6.0);
        x[i] = common_data::xdr[i];
    }
    ag::setlinestyle(ag::SOLID_LINE, 1, 2);
    ag::setcolor(point_colour);
    for (std::size_t i = 0; i < r.size(); ++i) {
        const float fx = static_cast<float>((((x[i] - xmin) * fw) / xspan) * 0.92 + 87.0) * sx;
        const float fy = (279.0f - (static_cast<float>(r[i] + 6.0) * fh / 12.0f) * 1.33f) * sy;
        if (!std::isfinite(fx) || !std::isfinite(fy)) continue;
        const int px = std::abs(std::min(trunc_int(fx), std::max(W, 87)) + trunc_int(sx * 87.0f + 15.0f));
        const int py = std::abs(std::min(trunc_int(fy), std::max(H, 279)) + trunc_int(fh * sy - 25.0f));
        if (!in_box(px, py)) continue;
        ag::putpixel(px, py, point_colour);
        ag::rectangle(px - 2, py - 2, px + 2, py + 2);
        ag::setfillstyle(ag::SOLID_FILL, point_colour);
    }

    if (state.smooth_trend || state.bessel_trend) {
        const std::vector<double> t = trend(r);
        ag::setcolor(state.smooth_trend ? smooth_colour : bessel_colour);
        ag::setlinestyle(ag::SOLID_LINE, 1, 2);
        bool started = false;
        for (std::size_t i = 0; i < t.size(); ++i) {
            const double fx = ((x[i] - xmin) / xspan * fw * 0.92 + 87.0) * sx;
            const double fy = (279.0 - ((t[i] + 6.0) / 12.0) * fh * 1.33) * sy;
            if (!std::isfinite(fx) || !std::isfinite(fy)) break;
            const int px = trunc_int(fx) + xoff + 15, py = trunc_int(fy) + yoff - 25;
            if (!started) {
                ag::moveto(px, py);
                started = true;
            } else if (!in_box(px, py)) {
                break;
            } else {
                ag::lineto(px, py);
            }
        }
    }

    ag::setcolor(ag::BLACK);
    ag::setlinestyle(ag::SOLID_LINE, 1, 1);
    ag::settextstyle(1, ag::HORIZ_DIR, 16);
    ag::outtextxy((W / 2 + W / 20) - ag::textwidth(plot_title) / 2, -20, plot_title);
    if (state.bessel_trend) {
        constexpr std::string_view note = "Hyperbolic Bessel function of the first kind, order zero trend line.";
        ag::outtextxy((W / 2 + W / 20) - ag::textwidth(note) / 2, 0, note);
    }
    ag::settextstyle(1, ag::VERT_DIR, 16);
    if (state.bessel_trend) {
        constexpr std::string_view label_text = "Normalized Residuals & Besseli0 -1 Line";
        ag::outtextxy(W / 15, H / 2 - trunc_int(ag::textwidth(label_text) / 1.2), label_text);
    } else {
        constexpr std::string_view label_text = "Normalized Residuals";
        ag::outtextxy(W / 15, (H / 2 - H / 20) - ag::textwidth(label_text), label_text);
    }
    ag::settextstyle(1, ag::HORIZ_DIR, 16);
    constexpr std::string_view x_title = "Number of Data";
    ag::outtextxy((W / 2 + W / 20) - ag::textwidth(x_title) / 2, trunc_int(H * 0.74), x_title);
    ag::settextstyle(1, ag::HORIZ_DIR, 14);
    ag::refreshall();
}

// White background, the whole window cleared (titles and labels reach
// above the plot's viewport), the plot drawn again; the caller holds the lock.
void redraw_locked() {
    ag::setbkcolor(ag::WHITE);
    ag::setviewport(0, 0, ag::getmaxx(), ag::getmaxy(), false);
    ag::clearviewport();
    draw_locked();
    ag::refreshall();
}

// The shared procedure of Move left and Move right.
struct MoveRule {
    double update;       // factor multiplier
    bool (*left_band)(double factor);
    double inside_scale;
    double fallback_factor;
};

void move(const MoveRule& rule) {
    std::lock_guard guard(state.lock);
    state.factor *= rule.update;
    double c = rule.inside_scale;
    if (rule.left_band(state.factor)) {
        state.factor = 1.1;
        c = 1.1;
        common_data::xrmin = state.saved_min;
        common_data::xrmax = state.saved_max;
    }
    double& hi = common_data::xrmax;
    double& lo = common_data::xrmin;
    hi = hi >= 0.0 ? hi * c : hi / c;
    lo = lo < 0.0 ? lo / c : lo * c;
    double step = 0.0;
    if (lo >= 0.0 && hi > 0.0) {
        residualsbox::neetscale(step, 20.0);
    } else {
        state.factor = rule.fallback_factor;
        hi = xaxismax;
        lo = xaxismin;
        residualsbox::neetscale(step, 40.0);
    }
    common_data::resxaxislable = {lo, hi};
    redraw_locked();
}

void show(const std::string& text) { ag::dlgmessage(ag::DIALOG_INFORMATION, text); }

void toggle(bool& flag, bool& other) {
    std::lock_guard guard(state.lock);
    flag = !flag;
    other = false;
    redraw_locked();
}

}  // namespace

namespace residualsbox {

std::string x_label_format(float s) {
    const double q = 3.0 * std::fabs(static_cast<double>(s));
    if (q < 1e-24) return "(1X,1p,ES9.2)";
    const int e = static_cast<int>(std::log10(q));
    if (std::fabs(q - std::round(q)) <= 1e-6) {
        if (e > 3) return "(1p,ES9.2)";
        if (e >= 0) return "(1X,F7.2)";
        return "(F7.3)";
    }
    if (e == 0) return "(1X,F7.2)";
    for (const double scale : {10.0, 100.0, 1000.0})
        if (std::fabs(q - std::trunc(q * scale) / scale) <= 1e-6) return "(1X,F7.2)";
    return "(1X,1p,ES9.2)";
}

void neetscale(double& step, double count) {
    const double lo = common_data::xrmin, hi = common_data::xrmax;
    const double a = lo < 0.0 ? lo * 1.05 : lo * 0.95;
    const double b = hi < 0.0 ? hi * 0.95 : hi * 1.05;
    double P = 0.0, Q = -1.0, T = -a, B = 1.0000000000000005e-9;
    if (b != 0.0) {
        const double s = b > 0.0 ? 1.0 : -1.0;
        P = (1.0 + s) / 2.0;
        Q = (s - 1.0) / 2.0;
        T = a * Q + b * P;
        B = a * P + b * Q;
    }
    const double log2 = std::log10(2.0);
    const double k = std::trunc(std::log10(T / (T - B)) / log2);
    const double R = (1.0 - std::pow(0.5, k)) * T;
    const double m = std::trunc(std::log10((T - R) / count));
    const double u = std::pow(10.0, m);
    const double j = std::trunc(std::log10((T - R) / (count * u)) / log2);
    step = u * 5.0 * std::pow(2.0, j);
    if (step >= 100.0) step /= 5.0;
    const double top = (std::trunc(T / step) + 1.0) * step;
    const double bot = std::trunc((R - top) / step) * step + top;
    double cmin = bot * P + top * Q, cmax = top * P + bot * Q;
    if (cmin >= lo) cmin = std::fabs(lo) >= 1e-16 ? (std::trunc((lo - 2.0 * step) / step) + 1.0) * step * P : 0.0;
    if (cmax <= hi) {
        if (std::fabs(hi) < 1e-16) {
            cmax = 0.0;
        } else {
            const double w = 2.0 * step + hi;
            cmax = (std::trunc((w - top) / step) * step + top) * (1.0 + std::copysign(1.0, w)) / 2.0;
        }
    }
    if (std::fabs(cmin) < 1e-16) cmin = 0.0;
    if (std::fabs(cmax) < 1e-16) cmax = 0.0;
    // A range that gives no finite neat limits stays as it is.
    if (std::isfinite(cmin)) common_data::xrmin = std::min(lo, cmin);
    if (std::isfinite(cmax)) common_data::xrmax = std::max(hi, cmax);
}

void residualsscreen(int& flag) {
    state.saved_min = common_data::xrmin1;
    state.saved_max = common_data::xrmax1;
    state.factor = 1.0;
    state.bessel_trend = state.smooth_trend = false;
    common_data::xrmin1 = xaxismin = common_data::resxaxislable[0];
    common_data::xrmax1 = xaxismax = common_data::resxaxislable[1];

    const int id = ag::initwindow(750, 500, "Morvane-Quil", ag::DEFAULT_POSITION, ag::DEFAULT_POSITION, false);
    if (id < 0 || ag::graphresult() != ag::grOk) {
        ag::dlgmessage(ag::DIALOG_ERROR, "graphics error: the residuals window could not be opened.");
        return;
    }
    globals::idresidualwindow = id;
    ag::setwindowsystemclosecallback(::residualsscreen::close_box);
    ag::settextstyle(1, ag::HORIZ_DIR, 14);

    namespace rs = ::residualsscreen;
    const int bar = ag::addmenu("", -1);
    const int file = ag::addmenu("File", bar);
    ag::addmenuitem("Save Screen", file, rs::savescreen);
    ag::addmenuitem("Print Screen", file, rs::printscreen);
    ag::addmenuitem("Close", file, rs::quitt);
    const int rescale = ag::addmenu("Rescale Plot", bar);
    ag::addmenuitem("Move left", rescale, rs::xscale_left);
    ag::addmenuitem("Move right", rescale, rs::xscale_right);
    ag::addmenuitem("Reset Scale", rescale, rs::reset_scale);
    const int tests = ag::addmenu("Statistical Tests", bar);
    ag::addmenuitem("Runs Test of Residuals", tests, rs::runs);
    ag::addmenuitem("F-Test of Residuals", tests, rs::p_value);
    ag::addmenuitem("Durbin-Watson D", tests, rs::dw);
    ag::addmenuitem("Kolmogorov-Smirnov D", tests, rs::pks_value);
    ag::addmenuitem("Kuiper V", tests, rs::kp_value);
    ag::addmenuitem("Hotelling's T\u00b2", tests, rs::t2_value);
    ag::addmenuitem("Besseli0 -1 Trend Line On/Off", tests, rs::besi0_value);
    ag::addmenuitem("Smooth Trend Line On/Off", tests, rs::smooth_value);
    ag::createbutton(370, 460, 65, 25, "Close", rs::quitt);
    globals::register_child_window(id);

    ag::setviewport(0, 0, ag::getmaxx(), ag::getmaxy(), false);
    ag::setcolor(ag::BLACK);
    ag::setbkcolor(ag::WHITE);
    ag::clearviewport();
    ag::settextjustify(ag::LEFT_TEXT, ag::TOP_TEXT);
    ag::settextstyle(6, ag::HORIZ_DIR, 14);
    ag::refreshall();
    if (flag != 0) rs::draw_line();

    ag::loop();

    globals::close_child_windows([](int child) {
        ag::setcurrentwindow(child);
        ag::closewindow(child);
    });
    ag::setcurrentwindow(globals::child_windows[globals::child_owner].load());
    ag::settextstyle(6, ag::HORIZ_DIR, common_data::npr > 6 ? 13 : 14);
    ag::refreshall();
    globals::idresidualwindow = -1;
    ag::closewindow(id);
}

}  // namespace residualsbox

namespace residualsscreen {

void draw_line() {
    std::lock_guard guard(state.lock);
    draw_locked();
}

void reset_scale() {
    std::lock_guard guard(state.lock);
    double xmax = std::numeric_limits<double>::quiet_NaN();
    for (const double v : fitted_rows(common_data::xdr))
        if (!std::isnan(v) && !(v <= xmax)) xmax = v;
    double xmin = 0.0, step = 0.0;
    if (!axisscale::neatscale(xmin, xmax, step, 40) || !std::isfinite(xmin) || !std::isfinite(xmax)) return;
    common_data::xrmin = common_data::xrmin1 = common_data::resxaxislable[0] = xmin;
    common_data::xrmax = common_data::xrmax1 = common_data::resxaxislable[1] = xmax;
    redraw_locked();
}

void xscale_right() {
    move({1.0 / 1.2, [](double f) { return f < 0.85; }, 0.7142857, 0.5});
}

void xscale_left() {
    move({1.25, [](double f) { return f > 1.5; }, 1.5, 1.1});
}

void smooth_value() { toggle(state.smooth_trend, state.bessel_trend); }
void besi0_value() { toggle(state.bessel_trend, state.smooth_trend); }

void runs() { show(residual_reports::runs(fitted_rows(common_data::yd), fitted_rows(common_data::ydf))); }
void p_value() { show(residual_reports::f_test(fitted_rows(common_data::yd), fitted_rows(common_data::ydf))); }
void dw() { show(residual_reports::durbin_watson(fitted_rows(common_data::ydr))); }
void pks_value() {
    show(residual_reports::kolmogorov_smirnov(fitted_rows(common_data::yd), fitted_rows(common_data::ydf)));
}
void kp_value() { show(residual_reports::kuiper(fitted_rows(common_data::yd), fitted_rows(common_data::ydf))); }
void t2_value() {
    show(residual_reports::t_squared(fitted_rows(common_data::xd), fitted_rows(common_data::yd),
                                     fitted_rows(common_data::ydf)));
}

void savescreen() {
    ag::writeimagefile();
    ag::refreshall();
}

void printscreen() {
    ag::printimage();
    ag::refreshall();
}

void quitt() { ag::stopidle(); }

bool close_box() {
    quitt();
    return false;
}

}  // namespace residualsscreen
