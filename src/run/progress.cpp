#include "run/progress.h"

#include <atomic>
#include <cmath>
#include <filesystem>
#include <mutex>
#include <string>

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

}  // namespace

// The Cancel button's way to the driver state; cut when the button goes.
struct RunDisplay::CancelLink {
    std::mutex mutex;
    DriverState* state = nullptr;
};

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
    appgraphics::settextstyle(sans_serif, appgraphics::HORIZ_DIR, 14);
    button_ = appgraphics::createbutton(290, 125, 90, 20, "Cancel", [link = link_] {
        std::lock_guard lock(link->mutex);
        if (link->state) canceltest(*link->state);
    });
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
    appgraphics::moveto(154, 8);
    appgraphics::lineto(575, 8);
    appgraphics::lineto(575, 18);
    appgraphics::lineto(154, 18);
    appgraphics::lineto(154, 8);
}

void RunDisplay::progress_point(const DriverState& s, bool capped) {
    appgraphics::settextstyle(fixed_pitch, appgraphics::HORIZ_DIR, 15);
    const int percent = static_cast<int>(std::lround(progress_value(s, capped)));

    // The line of the previous point goes up first; this point's line is
    // composed for the next one.
    window_.drawpercent(percent);

    bar_ = bar_.trimmed() + "||||";
    const char* label = globals::brewt == 1    ? "      Reweight: "
                        : globals::iopt2 == -1 ? "      Refining: "
                                               : "      Progress: ";
    std::string head = std::string(label) + fortran_io::write("(I4)", {percent}) + "% ";
    stringlib::left_adjust(head);
    window_.text = head + bar_.str();

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

    appgraphics::outtextxy(45, 45, blanks(80));
    appgraphics::outtextxy(45, 60, blanks(80));
    kalvor::Text<256> line;
    displaypar(s.p, s.np, line);
    appgraphics::outtextxy(25, 45, line.trimmed());
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
