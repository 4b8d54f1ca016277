#include "platform/aplot.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "platform/core.h"

namespace aplot {

struct Series {
    std::vector<double> x, y;
    int type = SERIES_LINE;
    std::string label;
    int color = -1;  // -1: a colour of the default list
};

struct Axis {
    bool log = false;
    double base = 10.0;
    bool fixed = false;
    double low = 0.0, high = 1.0;
    std::string label;
};

struct Plot {
    std::vector<Series> series;
    Axis x, y;
};

namespace {

using appgraphics::detail::qcolor;
using appgraphics::detail::qtext;

constexpr int kDefaultColors[] = {appgraphics::creatergb(0, 0, 255), appgraphics::creatergb(255, 0, 0),
                                  appgraphics::creatergb(0, 160, 0), appgraphics::creatergb(255, 128, 0),
                                  appgraphics::creatergb(128, 0, 255), appgraphics::creatergb(0, 160, 160)};
constexpr int kMaxTicks = 40;

Series* series_at(aplot_t plot, int series) {
    if (!plot || series < 0 || series >= static_cast<int>(plot->series.size())) return nullptr;
    return &plot->series[static_cast<std::size_t>(series)];
}

template <class T>
int add(aplot_t plot, std::span<const T> x, std::span<const T> y) {
    if (!plot) return -1;
    const std::size_t n = std::min(x.size(), y.size());
    Series s;
    s.x.assign(x.begin(), x.begin() + static_cast<std::ptrdiff_t>(n));
    s.y.assign(y.begin(), y.begin() + static_cast<std::ptrdiff_t>(n));
    plot->series.push_back(std::move(s));
    return static_cast<int>(plot->series.size()) - 1;
}

void set_scale(aplot_t plot, Axis Plot::*axis, double low, double high) {
    if (!plot) return;
    Axis& a = plot->*axis;
    a.fixed = true;
    a.low = low;
    a.high = high;
}

// ---- ranges and ticks ----

// Positions along an axis and on the plot are worked out in extended
// precision: differences of doubles then never overflow, even for ranges
// and points near the largest doubles.
using Wide = long double;

struct Range {
    double low = 0.0, high = 1.0;          // the axis ends
    double scaled_low = 0.0, scaled_high = 1.0;  // the same in axis units (logarithms on a log axis)
    std::vector<double> ticks;
    double step = 0.0;  // between the ticks of a linear axis; 0 on a log axis
};

bool usable(double v, const Axis& a) { return std::isfinite(v) && (!a.log || v > 0.0); }

double to_scale(double v, const Axis& a) { return a.log ? std::log(v) / std::log(a.base) : v; }
double from_scale(double v, const Axis& a) { return a.log ? std::pow(a.base, v) : v; }

// 1, 2 or 5 times a power of ten, at least raw.
double nice_step(double raw) {
    if (!(raw > 0.0) || !std::isfinite(raw)) return 1.0;
    const double e = std::pow(10.0, std::floor(std::log10(raw)));
    if (!(e > 0.0)) return raw;  // below the smallest power of ten
    const double f = raw / e * (1.0 - 1e-9);  // rounding leaves 0.2 / 0.1 a hair above 2
    return (f <= 1.0 ? 1.0 : f <= 2.0 ? 2.0 : f <= 5.0 ? 5.0 : 10.0) * e;
}

// A neat tick step for the range lo..hi (about five steps).
double nice_step(double lo, double hi) {
    const double span = hi - lo;
    return nice_step(std::isfinite(span) ? span / 5.0 : hi / 5.0 - lo / 5.0);
}

// Widens a range of one value, or with its bounds swapped, to a drawable one
// (in axis units: logarithms for a log axis). The widened range stays finite.
void widen(double& lo, double& hi) {
    if (lo > hi) std::swap(lo, hi);
    if (lo != hi) return;
    double d = std::fabs(lo) * 0.1;
    if (!(d >= std::numeric_limits<double>::min())) d = 1.0;  // zero, or too small for a share of it
    if (std::isfinite(lo + d) && std::isfinite(lo - d)) {
        lo -= d;
        hi += d;
    } else if (lo > 0.0) {
        lo -= 2.0 * d;
    } else {
        hi += 2.0 * d;
    }
}

// An axis with a usable logarithm base (10 unless the base given is one).
Axis checked(Axis a) {
    if (!(a.base > 0.0 && a.base != 1.0 && std::isfinite(a.base))) a.base = 10.0;
    return a;
}

Range axis_range(const Axis& axis, const std::vector<double>& values) {
    double lo = 0.0, hi = 0.0;
    const bool fixed = axis.fixed && usable(axis.low, axis) && usable(axis.high, axis);
    if (fixed) {
        lo = to_scale(axis.low, axis);
        hi = to_scale(axis.high, axis);
    } else {
        bool have = false;
        for (double v : values) {
            if (!usable(v, axis)) continue;
            const double s = to_scale(v, axis);
            lo = have ? std::min(lo, s) : s;
            hi = have ? std::max(hi, s) : s;
            have = true;
        }
        if (!have) {
            lo = 0.0;
            hi = 1.0;
        }
        // Values that differ only in their last bits are drawn as one value:
        // no ticks could tell them apart.
        constexpr double kLastBits = 16 * std::numeric_limits<double>::epsilon();
        if (hi - lo <= kLastBits * std::max(std::fabs(lo), std::fabs(hi))) lo = hi = lo / 2.0 + hi / 2.0;
    }
    widen(lo, hi);
    if (!fixed) {
        // Neat limits: whole steps for a linear axis, whole powers for a log axis.
        const double step = axis.log ? 1.0 : nice_step(lo, hi);
        const double nlo = std::floor(lo / step) * step;
        const double nhi = std::ceil(hi / step) * step;
        const bool representable = std::isfinite(nlo) && std::isfinite(nhi) && nlo < nhi &&
                                   (!axis.log || (from_scale(nlo, axis) > 0.0 &&
                                                  std::isfinite(from_scale(nhi, axis))));
        if (representable) {
            lo = nlo;
            hi = nhi;
        }
    }
    Range r;
    r.low = from_scale(lo, axis);
    r.high = from_scale(hi, axis);
    r.scaled_low = lo;
    r.scaled_high = hi;
    if (!(hi > lo)) {
        r.ticks = {r.low, r.high};
        return r;
    }
    const double step = axis.log ? std::max(1.0, std::ceil((hi - lo) / 10.0)) : nice_step(lo, hi);
    const double first = std::ceil(lo / step - 1e-9) * step;
    const Wide count = std::floor((static_cast<Wide>(hi) - first) / step + 1e-9L) + 1;
    if (!std::isfinite(first) || !std::isfinite(count) || count < 1 || count > kMaxTicks) {
        r.ticks = {r.low, r.high};
        return r;
    }
    for (int k = 0; k < static_cast<int>(count); ++k) {
        double t = static_cast<double>(first + static_cast<Wide>(k) * step);
        if (std::fabs(t) < step * 1e-9) t = 0.0;
        r.ticks.push_back(from_scale(t, axis));
    }
    if (!axis.log) r.step = step;
    return r;
}

// Position along the axis range of v: 0 at its low end, 1 at its high end.
Wide fraction(double v, const Axis& a, const Range& r) {
    return (static_cast<Wide>(to_scale(v, a)) - r.scaled_low) /
           (static_cast<Wide>(r.scaled_high) - r.scaled_low);
}

// A tick label with as many digits as the step between ticks needs (at least 6),
// so that neighbouring ticks of a narrow range far from 0 read differently.
std::string tick_label(double v, double step) {
    int digits = 6;
    if (step > 0.0 && std::isfinite(step)) {
        const double magnitude = std::max(std::fabs(v), step);
        digits = std::clamp(static_cast<int>(std::floor(std::log10(magnitude)) - std::floor(std::log10(step))) + 1,
                            6, 17);
    }
    return QString::number(v, 'g', digits).toStdString();
}

struct WidePoint {
    Wide x = 0, y = 0;
};

bool inside(const WidePoint& p, const QRectF& box) {
    return p.x >= box.left() && p.x <= box.right() && p.y >= box.top() && p.y <= box.bottom();
}

QPointF narrow(const WidePoint& p) { return {static_cast<double>(p.x), static_cast<double>(p.y)}; }

// How far a point lies from the centre of the box (largest coordinate distance).
Wide distance(const WidePoint& p, const QRectF& box) {
    return std::max(std::fabs(p.x - box.center().x()), std::fabs(p.y - box.center().y()));
}

// Cuts the segment p-q to the rectangle (Liang-Barsky); false when outside.
// Worked out from the end nearer the box, so that a far end does not swamp
// the near one; a level or upright segment is cut directly.
bool clip_segment(WidePoint& p, WidePoint& q, const QRectF& box) {
    if (distance(q, box) < distance(p, box)) std::swap(p, q);
    if (p.y == q.y) {  // level
        const Wide y = p.y;
        const Wide from = std::max<Wide>(std::min(p.x, q.x), box.left());
        const Wide to = std::min<Wide>(std::max(p.x, q.x), box.right());
        if (y < box.top() || y > box.bottom() || from > to) return false;
        p = {from, y};
        q = {to, y};
        return true;
    }
    if (p.x == q.x) {  // upright
        const Wide x = p.x;
        const Wide from = std::max<Wide>(std::min(p.y, q.y), box.top());
        const Wide to = std::min<Wide>(std::max(p.y, q.y), box.bottom());
        if (x < box.left() || x > box.right() || from > to) return false;
        p = {x, from};
        q = {x, to};
        return true;
    }
    Wide t0 = 0, t1 = 1;
    const Wide dx = q.x - p.x, dy = q.y - p.y;
    const Wide edges[4][2] = {{-dx, p.x - box.left()}, {dx, box.right() - p.x},
                              {-dy, p.y - box.top()}, {dy, box.bottom() - p.y}};
    for (const auto& e : edges) {
        if (e[0] == 0) {
            if (e[1] < 0) return false;
            continue;
        }
        const Wide t = e[1] / e[0];
        if (e[0] < 0) {
            t0 = std::max(t0, t);
        } else {
            t1 = std::min(t1, t);
        }
        if (t0 > t1) return false;
    }
    const WidePoint a = p;
    p = {a.x + t0 * dx, a.y + t0 * dy};
    q = {a.x + t1 * dx, a.y + t1 * dy};
    // Rounding may leave an end a hair outside the box.
    for (WidePoint* end : {&p, &q}) {
        end->x = std::clamp<Wide>(end->x, box.left(), box.right());
        end->y = std::clamp<Wide>(end->y, box.top(), box.bottom());
    }
    return true;
}

testdriver::PlotAxisRecord axis_record(const Axis& a) {
    return {a.log, a.fixed, a.low, a.high, a.label};
}

// What the plot holds, for the test driver's read-back.
testdriver::PlotRecord plot_record(const Plot& plot, int left, int top, int width, int height) {
    testdriver::PlotRecord r;
    r.x = axis_record(plot.x);
    r.y = axis_record(plot.y);
    for (const auto& s : plot.series) r.series.push_back({s.x, s.y, s.type, s.color, s.label});
    r.left = left;
    r.top = top;
    r.width = width;
    r.height = height;
    return r;
}

// Draws text at a canvas point (the start of its baseline; a vertical text
// reads upward from it) and records it as a drawn text with its ink.
void label(appgraphics::detail::Window& w, QPainter& p, const QFont& font, int size, QPoint at,
           const std::string& text, bool vertical) {
    const QFontMetrics fm(font);
    const int advance = fm.horizontalAdvance(qtext(text));
    QRect ink = vertical ? QRect(at.x() - fm.ascent(), at.y() - advance, fm.height(), advance)
                         : QRect(at.x(), at.y() - fm.ascent(), advance, fm.height());
    if (p.hasClipping()) ink = ink.intersected(p.clipBoundingRect().toAlignedRect());
    if (!ink.isEmpty()) appgraphics::detail::log_ink(w, {ink, text});
    p.setFont(font);
    p.setPen(Qt::black);
    if (vertical) {
        p.save();
        p.translate(at);
        p.rotate(-90);
        p.drawText(0, 0, qtext(text));
        p.restore();
    } else {
        p.drawText(at, qtext(text));
    }
    testdriver::TextRecord record;
    record.x = record.canvas_x = at.x();
    record.y = record.canvas_y = at.y();
    record.text = text;
    record.font = appgraphics::PLOT_FONT;
    record.direction = vertical ? appgraphics::VERT_DIR : appgraphics::HORIZ_DIR;
    record.size = size;
    record.color = appgraphics::BLACK;
    record.bkcolor = appgraphics::WHITE;
    record.transparent = true;
    appgraphics::detail::log_text(w, std::move(record));
}

void draw_series(QPainter& p, const Series& s, int color, const Axis& xa, const Axis& ya, const Range& rx,
                 const Range& ry, const QRect& area) {
    const QRectF box(area.left(), area.top(), area.width() - 1, area.height() - 1);
    const QColor c = qcolor(color);
    auto point = [&](std::size_t i, WidePoint& out) {
        if (!usable(s.x[i], xa) || !usable(s.y[i], ya)) return false;
        const Wide fx = fraction(s.x[i], xa, rx), fy = fraction(s.y[i], ya, ry);
        if (!std::isfinite(fx) || !std::isfinite(fy)) return false;
        out = {box.left() + fx * box.width(), box.bottom() - fy * box.height()};
        return std::isfinite(out.x) && std::isfinite(out.y);
    };
    const std::size_t n = s.x.size();
    switch (s.type) {
    case SERIES_BIG_DOTS:
    case SERIES_DOTS: {
        const double r = s.type == SERIES_BIG_DOTS ? 3.0 : 1.0;
        p.setPen(Qt::NoPen);
        p.setBrush(c);
        for (std::size_t i = 0; i < n; ++i) {
            WidePoint at;
            if (point(i, at) && inside(at, box)) p.drawEllipse(narrow(at), r, r);
        }
        break;
    }
    case SERIES_BARS: {
        const double width = std::clamp(box.width() / (2.0 * std::max<std::size_t>(n, 1)), 1.0, 20.0);
        Wide base_fraction = ya.log ? 0 : fraction(0.0, ya, ry);
        base_fraction = std::clamp<Wide>(std::isfinite(base_fraction) ? base_fraction : 0, 0, 1);
        const double base = box.bottom() - static_cast<double>(base_fraction) * box.height();
        p.setPen(Qt::NoPen);
        p.setBrush(c);
        for (std::size_t i = 0; i < n; ++i) {
            WidePoint at;
            if (!point(i, at) || at.x < box.left() || at.x > box.right()) continue;
            const double x = static_cast<double>(at.x);
            const double top = static_cast<double>(std::clamp<Wide>(at.y, box.top(), box.bottom()));
            p.drawRect(QRectF(x - width / 2, std::min(top, base), width, std::fabs(base - top)));
        }
        break;
    }
    default: {
        p.setPen(QPen(c, 1));
        WidePoint prev;
        bool have_prev = false;
        for (std::size_t i = 0; i < n; ++i) {
            WidePoint at;
            if (!point(i, at)) {
                have_prev = false;  // a gap breaks the line
                continue;
            }
            if (have_prev) {
                WidePoint a = prev, b = at;
                if (clip_segment(a, b, box)) p.drawLine(narrow(a), narrow(b));
            }
            prev = at;
            have_prev = true;
        }
        break;
    }
    }
}

}  // namespace

aplot_t initialize_plot() { return new Plot; }

void destroy_plot(aplot_t& plot) {
    delete plot;
    plot = nullptr;
}

int add_dataset(aplot_t plot, std::span<const double> x, std::span<const double> y) { return add(plot, x, y); }

int add_dataset_4(aplot_t plot, std::span<const float> x, std::span<const float> y) { return add(plot, x, y); }

void set_seriestype(aplot_t plot, int series, int type) {
    if (auto* s = series_at(plot, series)) s->type = type;
}

void set_serieslabel(aplot_t plot, int series, std::string_view label) {
    if (auto* s = series_at(plot, series)) s->label = appgraphics::detail::rtrim(label);
}

void set_seriescolor(aplot_t plot, int series, int red, int green, int blue) {
    if (auto* s = series_at(plot, series)) s->color = appgraphics::creatergb(red, green, blue);
}

void set_xlabel(aplot_t plot, std::string_view label) {
    if (plot) plot->x.label = appgraphics::detail::rtrim(label);
}

void set_ylabel(aplot_t plot, std::string_view label) {
    if (plot) plot->y.label = appgraphics::detail::rtrim(label);
}

void set_xscale(aplot_t plot, double low, double high) { set_scale(plot, &Plot::x, low, high); }
void set_yscale(aplot_t plot, double low, double high) { set_scale(plot, &Plot::y, low, high); }
void set_xscale_4(aplot_t plot, float low, float high) { set_scale(plot, &Plot::x, low, high); }
void set_yscale_4(aplot_t plot, float low, float high) { set_scale(plot, &Plot::y, low, high); }

void set_xautoscale(aplot_t plot) {
    if (plot) plot->x.fixed = false;
}

void set_yautoscale(aplot_t plot) {
    if (plot) plot->y.fixed = false;
}

void set_xlinear(aplot_t plot) {
    if (plot) plot->x.log = false;
}

void set_ylinear(aplot_t plot) {
    if (plot) plot->y.log = false;
}

void set_xlogarithmic(aplot_t plot, double base) {
    if (!plot) return;
    plot->x.log = true;
    plot->x.base = base;
}

void set_ylogarithmic(aplot_t plot, double base) {
    if (!plot) return;
    plot->y.log = true;
    plot->y.base = base;
}

int frame_top_margin(int height) { return std::min(height / 6, 40); }

void embed_plot(aplot_t plot, int window, int left, int top, int width, int height) {
    using namespace appgraphics;
    if (!plot || width <= 0 || height <= 0) return;
    setcurrentwindow(window);
    const auto w = detail::find_window(window);
    if (!w) return;

    std::vector<double> xs, ys;
    for (const auto& s : plot->series) {
        xs.insert(xs.end(), s.x.begin(), s.x.end());
        ys.insert(ys.end(), s.y.begin(), s.y.end());
    }
    const Axis xa = checked(plot->x), ya = checked(plot->y);
    const Range rx = axis_range(xa, xs);
    const Range ry = axis_range(ya, ys);

    std::lock_guard lock(w->canvas_mutex);
    if (w->canvas.isNull()) return;
    detail::log_plot(*w, plot_record(*plot, left, top, width, height));
    QPainter& p = w->painter();
    p.save();
    const QRect outer(left, top, width, height);
    p.setClipRect(outer);
    p.setRenderHint(QPainter::Antialiasing, false);
    p.fillRect(outer, Qt::white);
    detail::wipe_ink(*w, outer);

    constexpr int kTickSize = 11, kLabelSize = 13;
    const QFont tick_font = detail::make_font(PLOT_FONT, kTickSize);
    const QFont label_font = detail::make_font(PLOT_FONT, kLabelSize);
    const QFontMetrics tm(tick_font), lm(label_font);
    int widest_tick = 0;
    for (double t : ry.ticks) {
        widest_tick = std::max(widest_tick, tm.horizontalAdvance(qtext(tick_label(t, ry.step))));
    }
    const int margin_left = std::min(width / 3, widest_tick + 12 + (ya.label.empty() ? 0 : lm.height() + 4));
    const int margin_bottom = std::min(height / 3, tm.height() + 10 + (xa.label.empty() ? 0 : lm.height() + 4));
    const int margin_top = frame_top_margin(height);
    const int margin_right = std::min(width / 10, 20);
    const QRect area(left + margin_left, top + margin_top, width - margin_left - margin_right,
                     height - margin_top - margin_bottom);
    if (area.width() < 2 || area.height() < 2) {
        p.restore();
        return;
    }

    // Grid, frame and ticks with their labels.
    const QRectF box(area.left(), area.top(), area.width() - 1, area.height() - 1);
    for (double t : rx.ticks) {
        const double f = static_cast<double>(fraction(t, xa, rx));
        if (!std::isfinite(f) || f < -1e-9 || f > 1 + 1e-9) continue;
        const int px = static_cast<int>(std::lround(box.left() + f * box.width()));
        p.setPen(QPen(QColor(225, 225, 225), 1));
        p.drawLine(px, area.top(), px, area.bottom());
        p.setPen(QPen(Qt::black, 1));
        p.drawLine(px, area.bottom(), px, area.bottom() + 4);
        const std::string text = tick_label(t, rx.step);
        const int tw = tm.horizontalAdvance(qtext(text));
        label(*w, p, tick_font, kTickSize, QPoint(px - tw / 2, area.bottom() + 6 + tm.ascent()), text, false);
    }
    for (double t : ry.ticks) {
        const double f = static_cast<double>(fraction(t, ya, ry));
        if (!std::isfinite(f) || f < -1e-9 || f > 1 + 1e-9) continue;
        const int py = static_cast<int>(std::lround(box.bottom() - f * box.height()));
        p.setPen(QPen(QColor(225, 225, 225), 1));
        p.drawLine(area.left(), py, area.right(), py);
        p.setPen(QPen(Qt::black, 1));
        p.drawLine(area.left() - 4, py, area.left(), py);
        const std::string text = tick_label(t, ry.step);
        const int tw = tm.horizontalAdvance(qtext(text));
        label(*w, p, tick_font, kTickSize, QPoint(area.left() - 6 - tw, py + tm.ascent() / 2), text, false);
    }
    p.setPen(QPen(Qt::black, 1));
    p.setBrush(Qt::NoBrush);
    p.drawRect(QRect(area.left(), area.top(), area.width() - 1, area.height() - 1));

    if (!xa.label.empty()) {
        const int lw = lm.horizontalAdvance(qtext(xa.label));
        label(*w, p, label_font, kLabelSize,
              QPoint(area.center().x() - lw / 2, area.bottom() + 8 + tm.height() + lm.ascent()), xa.label, false);
    }
    if (!ya.label.empty()) {
        const int lw = lm.horizontalAdvance(qtext(ya.label));
        label(*w, p, label_font, kLabelSize, QPoint(left + 2 + lm.ascent(), area.center().y() + lw / 2), ya.label,
              true);
    }

    // Series, inside the frame.
    p.setClipRect(area.intersected(outer));
    for (std::size_t i = 0; i < plot->series.size(); ++i) {
        const Series& s = plot->series[i];
        const int color = s.color >= 0 ? s.color : kDefaultColors[i % std::size(kDefaultColors)];
        draw_series(p, s, color, xa, ya, rx, ry, area);
    }
    p.restore();
}

}  // namespace aplot
