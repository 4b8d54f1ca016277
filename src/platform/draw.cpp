// Drawing and text on the current window's canvas. Every call paints on
// the calling thread under the window's canvas lock; nothing goes to the GUI
// thread until the canvas is shown.

#include <algorithm>

#include "platform/core.h"

namespace appgraphics {
namespace {

using detail::DrawState;
using detail::Window;

// Runs f(window, state) under the canvas lock of the caller's open current window.
template <class F>
void draw(F&& f) {
    const auto& w = detail::current_window();
    if (!w) return;
    std::lock_guard lock(w->canvas_mutex);
    if (w->canvas.isNull()) return;
    f(*w, w->state);
}

template <class R, class F>
R query(R fallback, F&& f) {
    const auto& w = detail::current_window();
    if (!w) return fallback;
    std::lock_guard lock(w->canvas_mutex);
    if (w->canvas.isNull()) return fallback;
    return f(*w, w->state);
}

// Canvas point of a viewport-relative point.
QPoint at(const DrawState& s, int x, int y) { return {x + s.viewport.left(), y + s.viewport.top()}; }

QPainter& painter_for(Window& w, const DrawState& s) {
    QPainter& p = w.painter();
    if (s.clip) {
        p.setClipRect(s.viewport);
    } else {
        p.setClipping(false);
    }
    return p;
}

void draw_line(Window& w, const DrawState& s, int x1, int y1, int x2, int y2) {
    QPainter& p = painter_for(w, s);
    p.setPen(s.pen);
    p.drawLine(at(s, x1, y1), at(s, x2, y2));
}

// Height of a text box of n lines: whole line steps, the last line its own height.
int block_height(const QFontMetrics& fm, int n) { return (n - 1) * fm.lineSpacing() + fm.height(); }

// Default colours of the system elements, indexed by COLOR_...
constexpr int kSystemColors[] = {
    creatergb(200, 200, 200), creatergb(0, 0, 0),       creatergb(153, 180, 209),
    creatergb(191, 205, 219), creatergb(240, 240, 240), creatergb(255, 255, 255),
    creatergb(100, 100, 100), creatergb(0, 0, 0),       creatergb(0, 0, 0),
    creatergb(0, 0, 0),       creatergb(180, 180, 180), creatergb(244, 247, 252),
    creatergb(171, 171, 171), creatergb(0, 120, 215),   creatergb(255, 255, 255),
    creatergb(240, 240, 240), creatergb(160, 160, 160), creatergb(109, 109, 109),
    creatergb(0, 0, 0)};

}  // namespace

int systemcolor(int index) {
    constexpr int count = static_cast<int>(std::size(kSystemColors));
    return index >= 0 && index < count ? kSystemColors[index] : BLACK;
}

void setviewport(int left, int top, int right, int bottom, bool clip) {
    draw([&](Window&, DrawState& s) {
        s.viewport = QRect(QPoint(std::min(left, right), std::min(top, bottom)),
                           QPoint(std::max(left, right), std::max(top, bottom)));
        s.clip = clip;
        s.cpx = s.cpy = 0;
    });
}

void resetviewport() {
    draw([](Window& w, DrawState& s) {
        s.viewport = QRect(0, 0, w.width, w.height);
        s.clip = true;
        s.cpx = s.cpy = 0;
    });
}

void clearviewport() {
    draw([](Window& w, DrawState& s) {
        QPainter& p = w.painter();
        p.setClipping(false);
        p.fillRect(s.viewport.intersected(w.canvas.rect()), detail::qcolor(s.bkcolor));
        detail::wipe_ink(w, detail::reaching_past_border(s.viewport, w));
        s.cpx = s.cpy = 0;
    });
}

int getmaxx() {
    const auto& w = detail::current_window();
    return w ? w->width - 1 : -1;
}

int getmaxy() {
    const auto& w = detail::current_window();
    return w ? w->height - 1 : -1;
}

int getactivepage() {
    return query(0, [](Window&, DrawState& s) { return s.page; });
}

void setactivepage(int page) {
    draw([&](Window&, DrawState& s) { s.page = page; });
}

void setcolor(int color) {
    draw([&](Window& w, DrawState& s) {
        s.color = color & 0xFFFFFF;
        w.rebuild_pen();
    });
}

int getcolor() {
    return query(BLACK, [](Window&, DrawState& s) { return s.color; });
}

void setbkcolor(int color) {
    draw([&](Window&, DrawState& s) { s.bkcolor = color & 0xFFFFFF; });
}

int getbkcolor() {
    return query(WHITE, [](Window&, DrawState& s) { return s.bkcolor; });
}

void setlinestyle(int style, int pattern, int thickness) {
    draw([&](Window& w, DrawState& s) {
        s.linestyle = style;
        s.pattern = static_cast<unsigned>(pattern) & 0xFFFF;
        s.thickness = std::clamp(thickness, 1, 4);
        w.rebuild_pen();
    });
}

void setfillstyle(int pattern, int color) {
    draw([&](Window&, DrawState& s) {
        s.fillstyle = pattern;
        s.fillcolor = color & 0xFFFFFF;
    });
}

void line(int x1, int y1, int x2, int y2) {
    draw([&](Window& w, DrawState& s) { draw_line(w, s, x1, y1, x2, y2); });
}

void lineto(int x, int y) {
    draw([&](Window& w, DrawState& s) {
        draw_line(w, s, s.cpx, s.cpy, x, y);
        s.cpx = x;
        s.cpy = y;
    });
}

void moveto(int x, int y) {
    draw([&](Window&, DrawState& s) {
        s.cpx = x;
        s.cpy = y;
    });
}

int getx() {
    return query(0, [](Window&, DrawState& s) { return s.cpx; });
}

int gety() {
    return query(0, [](Window&, DrawState& s) { return s.cpy; });
}

void putpixel(int x, int y, int color) {
    draw([&](Window& w, DrawState& s) {
        const QPoint pt = at(s, x, y);
        if (s.clip && !s.viewport.contains(pt)) return;
        QPainter& p = w.painter();
        p.setClipping(false);
        p.setPen(detail::qcolor(color));
        p.drawPoint(pt);
    });
}

int getpixel(int x, int y) {
    return query(-1, [&](Window& w, DrawState& s) {
        const QPoint pt = at(s, x, y);
        return w.canvas.rect().contains(pt) ? detail::colour_value(w.canvas.pixel(pt)) : -1;
    });
}

void rectangle(int left, int top, int right, int bottom) {
    draw([&](Window& w, DrawState& s) {
        QPainter& p = painter_for(w, s);
        p.setPen(s.pen);
        p.setBrush(Qt::NoBrush);
        const QPoint a = at(s, std::min(left, right), std::min(top, bottom));
        p.drawRect(QRect(a.x(), a.y(), std::abs(right - left), std::abs(bottom - top)));
    });
}

void settextstyle(int font, int direction, int size, bool transparent) {
    draw([&](Window& w, DrawState& s) {
        s.font = font;
        s.direction = direction == VERT_DIR ? VERT_DIR : HORIZ_DIR;
        s.size = size > 0 ? size : 1;
        s.transparent = transparent;
        w.rebuild_font();
    });
}

void settextjustify(int horizontal, int vertical) {
    draw([&](Window&, DrawState& s) {
        s.hjust = std::clamp(horizontal, LEFT_TEXT, RIGHT_TEXT);
        s.vjust = std::clamp(vertical, BOTTOM_TEXT, TOP_TEXT);
    });
}

void outtextxy(int x, int y, std::string_view text) {
    draw([&](Window& w, DrawState& s) {
        const QFontMetrics& fm = *s.metrics;
        std::vector<QString> lines;
        std::vector<int> widths;
        int widest = 0;
        const auto raw = detail::split_lines(text);
        for (auto line : raw) {
            lines.push_back(detail::qtext(line));
            widths.push_back(detail::text_advance(s, lines.back()));
            widest = std::max(widest, widths.back());
        }
        const int n = static_cast<int>(lines.size());
        const int step = fm.lineSpacing();
        const int line_height = fm.height();
        const int block = block_height(fm, n);
        // Offsets of the justification: of the text box along and across the lines.
        auto shift = [](int just, int size) { return just == CENTER_TEXT ? size / 2 : just == RIGHT_TEXT ? size : 0; };
        auto vshift = [](int just, int size) { return just == CENTER_TEXT ? size / 2 : just == BOTTOM_TEXT ? size : 0; };

        QPainter& p = painter_for(w, s);
        p.setFont(s.qfont);
        p.setPen(detail::qcolor(s.color));
        const QColor background = detail::qcolor(s.bkcolor);
        const QPoint o = at(s, x, y);
        p.save();
        int first_left = 0;  // start of the lines in painter coordinates
        if (s.direction == VERT_DIR) {
            // Turned a quarter to the left: lines read upward, the box is block wide.
            const int left = o.x() - shift(s.hjust, block);
            const int top = o.y() - vshift(s.vjust, widest);
            p.translate(left, top + widest);
            p.rotate(-90);
        } else {
            p.translate(0, o.y() - vshift(s.vjust, block));
            first_left = o.x();
        }
        auto line_left = [&](int i) { return s.direction == VERT_DIR ? 0 : first_left - shift(s.hjust, widths[i]); };
        // Backgrounds first, then the glyphs, so that a line's background never
        // covers the descenders (underscores) of the line above it.
        if (!s.transparent)
            for (int i = 0; i < n; ++i) p.fillRect(QRect(line_left(i), i * step, widths[i], line_height), background);
        for (int i = 0; i < n; ++i) p.drawText(line_left(i), i * step + fm.ascent(), lines[i]);
        const QTransform to_canvas = p.worldTransform();
        p.restore();

        if (detail::text_logging()) {
            const QRect shown = s.clip ? detail::reaching_past_border(s.viewport, w) : QRect();
            for (int i = 0; i < n; ++i) {
                std::string inked = detail::rtrim(raw[static_cast<std::size_t>(i)]);
                if (inked.empty()) continue;
                const int advance = detail::text_advance(s, detail::qtext(inked));
                QRect box = to_canvas.mapRect(QRect(line_left(i), i * step, advance, line_height));
                if (s.clip) box = box.intersected(shown);
                if (!box.isEmpty()) detail::log_ink(w, {box, std::move(inked)});
            }
        }

        testdriver::TextRecord record;
        record.x = x;
        record.y = y;
        record.canvas_x = o.x();
        record.canvas_y = o.y();
        record.text = std::string(text);
        record.font = s.font;
        record.direction = s.direction;
        record.size = s.size;
        record.color = s.color;
        record.bkcolor = s.bkcolor;
        record.transparent = s.transparent;
        detail::log_text(w, std::move(record));
    });
}

int textwidth(std::string_view text) {
    return query(0, [&](Window&, DrawState& s) {
        int widest = 0;
        for (auto line : detail::split_lines(text)) {
            widest = std::max(widest, detail::text_advance(s, detail::qtext(line)));
        }
        return widest;
    });
}

int textheight(std::string_view text) {
    return query(0, [&](Window&, DrawState& s) {
        return block_height(*s.metrics, static_cast<int>(detail::split_lines(text).size()));
    });
}

}  // namespace appgraphics
