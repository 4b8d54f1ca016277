#include "run/progress.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cmath>
#include <filesystem>
#include <mutex>
#include <string>
#include <vector>

#include "foundations/fortran_io.h"
#include "foundations/runtime.h"
#include "foundations/stringlib.h"
#include "model/globals.h"
#include "platform/appgraphics.h"
#include "run/displaypar.h"

namespace progressbar {

void Progresswindow::drawpercent(int /*value*/, std::optional<std::string_view> line) {
    appgraphics::refreshall();
    if (line) text = *line;
    appgraphics::clearviewport();
    if (!text.blank()) appgraphics::outtextxy(5, 5, text.trimmed());
}

}  // namespace progressbar

namespace sharc {

namespace {

constexpr int sans_serif = appgraphics::SANS_SERIF_FONT;
constexpr int fixed_pitch = appgraphics::MONOSPACE_FONT;

// The refinement cap is read by the Cancel callback while the fit may set it.
int cap_of(const DriverState& s) { return std::atomic_ref<int>(const_cast<int&>(s.refine_cap)).load(); }

std::string blanks(std::size_t n) { return std::string(n, ' '); }

// The frame of the bar.
constexpr int frame_left = 154, frame_right = 575, frame_top = 8, frame_bottom = 18;
constexpr int bar_pitch = 3;  // pixels from one bar stroke to the next

// The parameter line: its rows and the room it keeps free at the right edge
// (where the main window has its scroll bar).
constexpr int values_left = 25;
constexpr int values_top = 45;
constexpr int values_step = 15;
constexpr int values_rows = 3;  // rows blanked before a new line is drawn
constexpr int values_right_margin = 20;

// The line cut into rows no wider than width pixels in the current font,
// each cut made at the blank before a parameter name ("P1", "P2", ...). A
// piece wider than width on its own makes a row of its own.
std::vector<std::string> wrap_before_parameters(const std::string& line, int width) {
    std::vector<std::size_t> cuts;
    for (std::size_t i = 0; i + 2 < line.size(); ++i)
        if (line[i] == ' ' && line[i + 1] == 'P' && std::isdigit(static_cast<unsigned char>(line[i + 2])))
            cuts.push_back(i);
    cuts.push_back(line.size());

    std::vector<std::string> rows;
    std::size_t start = 0;
    while (start < line.size()) {
        std::size_t end = std::string::npos;
        for (const std::size_t cut : cuts) {
            if (cut <= start) continue;
            if (end != std::string::npos && appgraphics::textwidth(line.substr(start, cut - start)) > width) break;
            end = cut;
        }
        std::string row = line.substr(start, end - start);
        row.erase(row.find_last_not_of(' ') + 1);
        rows.push_back(std::move(row));
        start = line.find_first_not_of(' ', end);
    }
    return rows;
}

}  // namespace

// The Cancel button's way to the driver state; cut when the button goes.
struct RunDisplay::CancelLink {
    std::mutex mutex;
    DriverState* state = nullptr;

    // Presses Cancel when the link still reaches a fit; true when it did.
    bool press() {
        std::lock_guard lock(mutex);
        if (!state) return false;
        canceltest(*state);
        return true;
    }
};

namespace {

// The link of the run display that is open, for cancel_running_fit.
std::mutex open_display_mutex;
std::weak_ptr<RunDisplay::CancelLink> open_display;

}  // namespace

bool cancel_running_fit() {
    std::shared_ptr<RunDisplay::CancelLink> link;
    {
        std::lock_guard lock(open_display_mutex);
        link = open_display.lock();
    }
    return link && link->press();
}

void canceltest(DriverState& s) {
    globals::bcancelrun = 1;
    s.stage_counter = cap_of(s) - s.refine_start + 1;
}

float progress_value(const DriverState& s, bool capped) {
    const int room = cap_of(s) - s.refine_start;
    if (room < 1) return 100.0f;
    float value = static_cast<float>(s.stage_counter.load()) * 200.0f / static_cast<float>(room);
    if (capped && value > 100.0f) value = 100.0f;
    return value;
}

RunDisplay::RunDisplay() : link_(std::make_shared<CancelLink>()) {}

RunDisplay::~RunDisplay() {
    detach();
    if (button_ >= 0) appgraphics::removebutton(button_);
}

void RunDisplay::detach() {
    std::lock_guard lock(link_->mutex);
    link_->state = nullptr;
}

void RunDisplay::open(DriverState& s) {
    appgraphics::clearviewport();
    globals::bcancelrun = 0;
    {
        std::lock_guard lock(link_->mutex);
        link_->state = &s;
    }
    {
        std::lock_guard lock(open_display_mutex);
        open_display = link_;
    }
    // A Quit chosen while no display was open to take it cancels this fit.
    if (globals::bquit != 0) link_->press();
    appgraphics::settextstyle(sans_serif, appgraphics::HORIZ_DIR, 14);
    button_ = appgraphics::createbutton(290, 125, 90, 20, "Cancel", [link = link_] { link->press(); });
    appgraphics::enablebutton(button_, true);

    appgraphics::settextstyle(fixed_pitch, appgraphics::HORIZ_DIR, 15);
    progress_point(s, false);

    appgraphics::setlinestyle(appgraphics::SOLID_LINE, 1, 1);
    appgraphics::setcolor(appgraphics::creatergb(192, 192, 192));
    appgraphics::line(globals::gwinwidth, 80, 0, 80);
    appgraphics::setcolor(appgraphics::creatergb(0, 0, 128));

    appgraphics::settextstyle(fixed_pitch, appgraphics::HORIZ_DIR, 15);
    appgraphics::outtextxy(48, 25, "Wait, preprocessing..");

    appgraphics::settextstyle(sans_serif, appgraphics::HORIZ_DIR, 14);
    draw_frame();
    appgraphics::refreshall();
}

void RunDisplay::draw_frame() {
    appgraphics::moveto(frame_left, frame_top);
    appgraphics::lineto(frame_right, frame_top);
    appgraphics::lineto(frame_right, frame_bottom);
    appgraphics::lineto(frame_left, frame_bottom);
    appgraphics::lineto(frame_left, frame_top);
}

void RunDisplay::draw_bar(int percent) {
    // Inside the frame lines, with a pixel of room above and below the strokes.
    constexpr int left = frame_left + 1, right = frame_right - 1;
    const int filled = (right - left + 1) * std::clamp(percent, 0, 100) / 100;
    appgraphics::setlinestyle(appgraphics::SOLID_LINE, 1, 1);
    for (int x = left + 1; x < left + filled; x += bar_pitch) appgraphics::line(x, frame_top + 2, x, frame_bottom - 2);
}

void RunDisplay::progress_point(const DriverState& s, bool capped) {
    appgraphics::settextstyle(fixed_pitch, appgraphics::HORIZ_DIR, 15);
    const int percent = static_cast<int>(std::lround(progress_value(s, capped)));

    // The line of the previous point goes up first, with the bar of its
    // percent; this point's line is composed for the next one.
    window_.drawpercent(percent);
    draw_bar(composed_percent_);

    const char* label = globals::brewt == 1    ? "      Reweight: "
                        : globals::iopt2 == -1 ? "      Refining: "
                                               : "      Progress: ";
    std::string head = std::string(label) + fortran_io::write("(I4)", {percent}) + "% ";
    stringlib::left_adjust(head);
    window_.text = head;
    composed_percent_ = percent;

    appgraphics::settextstyle(sans_serif, appgraphics::HORIZ_DIR, 14);
    draw_frame();
}

void RunDisplay::draw_values(const DriverState& s) {
    appgraphics::settextstyle(fixed_pitch, appgraphics::HORIZ_DIR, 15);
    appgraphics::outtextxy(5, 45, blanks(256));
    appgraphics::outtextxy(35, 25, blanks(80));
    appgraphics::outtextxy(48, 25, blanks(80));

    std::string sse = fortran_io::write("(G16.8)", {s.lowest});
    stringlib::left_adjust(sse);
    sse.erase(sse.find_last_not_of(' ') + 1);
    appgraphics::outtextxy(25, 25, "(  SSE = " + sse + "  )");
    appgraphics::refreshall();

    for (int row = 1; row < values_rows; ++row) appgraphics::outtextxy(5, values_top + row * values_step, blanks(256));
    kalvor::Text<256> line;
    displaypar(s.p, s.np, line);
    const int width = appgraphics::getmaxx() - values_left - values_right_margin;
    int y = values_top;
    for (const std::string& row : wrap_before_parameters(line.trimmed(), width)) {
        appgraphics::outtextxy(values_left, y, row);
        y += values_step;
    }
    appgraphics::settextstyle(sans_serif, appgraphics::HORIZ_DIR, 14);
}

void RunDisplay::close(int restart) {
    runtime::sleep_seconds(1.0);
    detach();
    if (button_ >= 0) appgraphics::removebutton(button_);
    button_ = -1;
    appgraphics::clearviewport();

    const bool first_difficult_fit = globals::iopt == 3 && globals::iopt2 != -1 && restart == 0;
    if (!first_difficult_fit) {
        appgraphics::settextstyle(fixed_pitch, appgraphics::HORIZ_DIR, 15);
        const std::string path = globals::input_file_name.trimmed();
        std::string name = std::filesystem::path(path).filename().string();
        if (name.empty()) name = path;
        appgraphics::outtextxy(40, 5, "Data File: " + name);
        appgraphics::outtextxy(40, 25, "Analysis completed...");
    }

    runtime::sleep_seconds(1.0);
    appgraphics::setbkcolor(appgraphics::WHITE);
    appgraphics::clearviewport();
    appgraphics::refreshall();
}

}  // namespace sharc
