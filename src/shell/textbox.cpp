#include "shell/textbox.h"

#include "foundations/stringlib.h"
#include "model/globals.h"
#include "platform/appgraphics.h"

namespace ag = appgraphics;

namespace textbox {

namespace {

constexpr int splash_min_font = 8;
constexpr int splash_margin = 4;
constexpr int body_min_font = 9;

std::string_view trim_right(std::string_view s) { return s.substr(0, stringlib::s_len_trim(s)); }

// Sets the body font: monospaced at 14 pixels, smaller when the text would
// not fit the room above the buttons.
void fit_body_font(std::string_view text, int room_width, int room_height) {
    int size = 14;
    ag::settextstyle(ag::MONOSPACE_FONT, ag::HORIZ_DIR, size);
    while (size > body_min_font && (ag::textwidth(text) > room_width || ag::textheight(text) > room_height)) {
        ag::settextstyle(ag::MONOSPACE_FONT, ag::HORIZ_DIR, --size);
    }
}

}  // namespace

SplashLayout splash_layout(std::size_t length) {
    if (length <= 64) return {50, 0};
    if (length <= 128) return {100, 0};
    if (length <= 256) return {150, 10};
    return {250, 0};
}

WindowSize textscreen_size(int nlines) {
    if (nlines <= 20) return {500, 400};
    if (nlines <= 25) return {550, 500};
    if (nlines <= 30) return {750, 600};
    if (nlines <= 35) return {500, 600};
    return {600, 700};
}

std::string underlined_title(std::string_view title) {
    const std::string_view t = trim_right(title);
    return std::string(t) + "\r\n" + std::string(t.size(), '-');
}

void splashscreen(std::string_view title, std::string_view text, int duration) {
    const std::string_view shown = trim_right(text);
    const SplashLayout layout = splash_layout(shown.size());
    const int id = ag::initwindow(400, layout.height, title, 300, 200, false);
    ag::setcolor(ag::BLACK);
    ag::setbkcolor(globals::gwincolor1);
    ag::clearviewport();
    const int width = ag::getmaxx();
    const int height = ag::getmaxy();
    const int basis = shown.size() > 256 ? height / 4 : height;
    ag::settextjustify(ag::LEFT_TEXT, ag::TOP_TEXT);
    // The text is set at 16 pixels, smaller when its widest line would not
    // fit the window.
    int size = 16;
    ag::settextstyle(ag::SANS_SERIF_FONT, ag::HORIZ_DIR, size);
    while (size > splash_min_font && ag::textwidth(shown) > width - 2 * splash_margin) {
        ag::settextstyle(ag::SANS_SERIF_FONT, ag::HORIZ_DIR, --size);
    }
    const int x = width / 2 - ag::textwidth(shown) / 2 + layout.shift;
    const int y = basis / 2 - basis / 5;
    ag::outtextxy(x, y, shown);
    ag::refreshall();
    ag::startidle(duration * 1000);
    ag::closewindow(id);
}

void textscreen(kalvor::FixedText& title, std::string_view text, int nlines, std::string_view help) {
    const WindowSize size = textscreen_size(nlines);
    const int id = ag::initwindow(size.width, size.height, "Morvane-Quil", 100, 100, false);
    ag::setcolor(ag::BLACK);
    ag::setbkcolor(ag::WHITE);
    ag::clearviewport();
    const int width = ag::getmaxx();
    const int height = ag::getmaxy();

    ag::settextstyle(ag::SANS_SERIF_FONT, ag::HORIZ_DIR, 15);
    const int close = ag::createbutton(width / 2 + 20, height - 40, 70, 25, "Close", [] { ag::stopidle(); });
    ag::enablebutton(close, true);
    const std::string help_text(trim_right(help));
    const int help_button = ag::createbutton(width / 2 - 80, height - 40, 70, 25, "Help", [help_text] {
        ag::dlgmessage(ag::DIALOG_INFORMATION, help_text);
    });
    ag::enablebutton(help_button, true);
    globals::register_child_window(id);

    // The whole underline is drawn; the caller's field keeps what fits.
    const int title_width = ag::textwidth(trim_right(title.view()));
    const std::string heading = underlined_title(title.view());
    title.assign(heading);
    ag::outtextxy(width / 2 - title_width / 2, 5, heading);

    ag::settextjustify(ag::LEFT_TEXT, ag::TOP_TEXT);
    const std::string_view body = trim_right(text);
    fit_body_font(body, width - width / 20, height - 40 - height / 10);
    ag::outtextxy(width / 20, height / 10, body);
    ag::refreshall();

    ag::loop();

    globals::unregister_child_window(id);
    ag::closewindow(id);
    ag::setcurrentwindow(globals::child_windows[globals::child_owner].load());
    ag::settextstyle(ag::SANS_SERIF_FONT, ag::HORIZ_DIR, 14);
}

}  // namespace textbox
