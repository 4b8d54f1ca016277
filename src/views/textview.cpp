#include "views/textview.h"

#include <algorithm>

#include "foundations/stringlib.h"
#include "model/globals.h"

namespace ag = appgraphics;

namespace textview {

namespace {

std::string_view trimmed(std::string_view s) { return s.substr(0, stringlib::s_len_trim(s)); }

void close_children() {
    globals::close_child_windows([](int id) { ag::closewindow(id); });
}

// The owner of the child windows current again, in the main window's font.
void back_to_owner() {
    ag::setcurrentwindow(globals::child_windows[globals::child_owner].load());
    ag::settextstyle(ag::MONOSPACE_FONT, ag::HORIZ_DIR, common_data::npr >= 7 ? 13 : 14);
    ag::refreshall();
}

constexpr int button_top = 30;
constexpr int button_height = 20;
constexpr int clear_of_buttons = 4;  // gap between the buttons and the text below them

struct Origin {
    int x = 0;
    int y = 0;
};

// The text starts a fortieth of the width from the left and a twentieth of
// the height from the top, but never higher than just below the buttons.
Origin text_origin(int maxx, int maxy) {
    return {maxx / 40, std::max(maxy / 20, button_top + button_height + clear_of_buttons)};
}

// Grows the window, when the text needs it, to hold a text block of that
// size at that origin with the left margin repeated right and below it.
void fit_text(Origin at, int text_width, int text_height) {
    const int width = ag::getmaxx() + 1;
    const int height = ag::getmaxy() + 1;
    const int needed_width = at.x + text_width + at.x;
    const int needed_height = at.y + text_height + at.x;
    if (needed_width > width || needed_height > height)
        ag::setwindowsize(std::max(width, needed_width), std::max(height, needed_height));
}

}  // namespace

bool show(const Layout& layout, std::string_view title, std::string_view text, std::string_view help) {
    const int caller = ag::getcurrentwindow();
    const int id = ag::initwindow(layout.width, layout.height, "Morvane-Quil", 100, 100, false);
    if (id < 0 || ag::graphresult() != ag::grOk) {
        ag::setcurrentwindow(caller);
        ag::dlgmessage(ag::DIALOG_ERROR, "graphics error: the window could not be opened.");
        return false;
    }
    globals::idresultswindow = id;
    // The title bar's close box acts as Close.
    ag::setwindowsystemclosecallback([] {
        quitt();
        return false;
    });

    ag::settextstyle(ag::MONOSPACE_FONT, ag::HORIZ_DIR, 14);
    const int bar = ag::addmenu("", -1);
    for (const auto& menu : layout.menus) {
        const int m = ag::addmenu(menu.label, bar);
        for (const auto& item : menu.items) ag::addmenuitem(item.label, m, item.action);
    }
    close_children();
    globals::register_child_window(id);

    const int maxx = ag::getmaxx();
    const int maxy = ag::getmaxy();
    const std::string_view body = trimmed(text);
    const Origin at = text_origin(maxx, maxy);
    ag::settextstyle(ag::MONOSPACE_FONT, ag::HORIZ_DIR, 13);
    fit_text(at, ag::textwidth(body), ag::textheight(body));

    ag::setviewport(0, 0, ag::getmaxx(), ag::getmaxy(), false);
    ag::setcolor(ag::BLACK);
    ag::setbkcolor(ag::WHITE);
    ag::clearviewport();
    ag::settextstyle(ag::SANS_SERIF_FONT, ag::HORIZ_DIR, 14);
    ag::enablebutton(ag::createbutton(maxx / 2 + 20, button_top, 70, button_height, "Close", quitt), true);
    ag::enablebutton(
        ag::createbutton(maxx / 2 - 80, button_top, 70, button_height, "Help", [h = std::string(help)] { bttn(h); }),
        true);

    ag::settextstyle(ag::SANS_SERIF_FONT, ag::HORIZ_DIR, 16);
    const std::string_view heading = trimmed(title);
    ag::outtextxy(maxx / 2 - ag::textwidth(heading) / 2, 5, heading);
    ag::settextjustify(ag::LEFT_TEXT, ag::TOP_TEXT);
    ag::settextstyle(ag::MONOSPACE_FONT, ag::HORIZ_DIR, 13);
    ag::outtextxy(at.x, at.y, body);
    ag::refreshall();
    ag::loop();

    close_children();
    globals::idresultswindow = -1;
    ag::closewindow(id);
    back_to_owner();
    return true;
}

void quitt() { ag::stopidle(); }

void save_image() {
    ag::writeimagefile();
    ag::refreshall();
}

void print_image() {
    ag::printimage();
    ag::refreshall();
}

void bttn(std::string_view help) { ag::dlgmessage(ag::DIALOG_INFORMATION, help); }

}  // namespace textview
