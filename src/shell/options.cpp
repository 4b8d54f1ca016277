#include "shell/options.h"

#include <atomic>
#include <memory>
#include <string_view>
#include <vector>

#include "model/globals.h"
#include "platform/appgraphics.h"

namespace ag = appgraphics;

namespace difficulty {

namespace {

struct DialogLayout {
    std::string_view title;
    std::string_view heading;
    int width;
    int height;
    std::vector<std::string_view> labels;
    int radio_width;
    int close_top;
    int fallback;
};

// Opens the dialog, waits for its Close button (or a close from the title
// bar), stores the chosen level and closes the dialog. Returns the level.
int run_dialog(const DialogLayout& d, int& level, std::atomic<int>& id_variable, bool enable_opener) {
    auto closing = std::make_shared<std::atomic<bool>>(false);
    const int id = ag::initwindow(d.width, d.height, d.title, 400, 400, false);
    ag::setcolor(ag::BLACK);
    ag::setbkcolor(ag::systemcolor(ag::COLOR_BTNFACE));
    ag::clearviewport();
    ag::settextstyle(ag::SANS_SERIF_FONT, ag::HORIZ_DIR, 15);
    ag::outtextxy(80, 10, d.heading);
    ag::settextstyle(ag::SANS_SERIF_FONT, ag::HORIZ_DIR, 14);

    const int count = static_cast<int>(d.labels.size());
    std::vector<int> radios;
    ag::beginradiogroup();
    for (int k = 0; k < count; ++k) {
        radios.push_back(ag::createradiobutton_nohandler(90, 30 + 20 * k, d.radio_width, 20, d.labels[k]));
    }
    ag::beginradiogroup();
    ag::createbutton(95, d.close_top, 50, 20, "Close", [closing] {
        *closing = true;
        ag::stopidle();
    });

    level = preselect_level(level, count, d.fallback);
    ag::radiobuttonsetchecked(radios[level - 1]);
    if (globals::register_child_window(id) != 0) id_variable = id;
    ag::refreshall();

    while (!closing->load() && ag::iswindowopen(id)) ag::loop();

    for (int k = 0; k < count; ++k) {
        if (ag::radiobuttonischecked(radios[k])) {
            level = k + 1;
            break;
        }
    }
    id_variable = -1;
    globals::unregister_child_window(id);
    ag::closewindow(id);
    ag::setcurrentwindow(globals::child_windows[globals::child_owner].load());
    ag::settextstyle(ag::SANS_SERIF_FONT, ag::HORIZ_DIR, 14);
    // Wakes the main window's loop so that it redraws.
    ag::stopidle();
    if (enable_opener) ag::enablewindow(globals::idactivewin, true);
    ag::refreshall();
    return level;
}

}  // namespace

int preselect_level(int level, int count, int fallback) {
    return level >= 1 && level <= count ? level : fallback;
}

void optlevel() {
    run_dialog({"Optimization Level", "Level of Difficulty:", 250, 135, {"Easy", "Moderate", "Difficult"}, 95, 100,
                default_opt},
               globals::iopt, globals::idoptwindow, true);
}

void wtlevel() {
    run_dialog({"Weighting of Data", "Type of Weighting:", 250, 165,
                {"None", "1/Reweight^2", "1/Y^2", "Robust Weight", "StdDev / Residual"}, 105, 135, default_wt},
               globals::iwt, globals::idwtwindow, true);
    common_data::ndwt = globals::iwt - 1;
}

void smoothlevel() {
    run_dialog({"Curve Smoothing Level", "Level of Smoothing:", 250, 135, {"None", "Smooth-3pt", "Smooth-5pt"}, 95,
                105, default_smooth},
               globals::ismth, globals::idsmthwindow, false);
}

void labellevel() {
    run_dialog({"Curve Labeling Option", "Numeric Label of Curves:", 250, 135,
                {"None", "Before-Curve", "After-Curve"}, 120, 105, default_label},
               globals::ilbl, globals::idlblwindow, true);
}

void clearoptlevel() { globals::iopt = default_opt; }
void clearwtlevel() { globals::iwt = default_wt; }
void clearsmoothlevel() { globals::ismth = default_smooth; }
void clearlabellevel() { globals::ilbl = default_label; }

}  // namespace difficulty
