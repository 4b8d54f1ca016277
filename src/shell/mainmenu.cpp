#include "shell/mainmenu.h"

#include <algorithm>
#include <array>
#include <utility>

#include "model/globals.h"
#include "platform/appgraphics.h"
#include "shell/options.h"
#include "shell/regression.h"

namespace ag = appgraphics;

namespace menu {

static_assert(summary_last == globals::screen_lines);

namespace {

constexpr int frame_dark = ag::DARKGRAY;
constexpr int frame_light = ag::LIGHTGRAY;
constexpr int made_width = 670;  // the window's width as made, also its least
constexpr int output_left = 10;  // left edge of the output lines, also the gap after them
constexpr int scrollbar_width = 14;
constexpr int scrollbar_inset = 15;  // from the window's right edge to the scroll bar's left

bool is_button(menu_rules::Control c) {
    return static_cast<std::size_t>(c) >= static_cast<std::size_t>(menu_rules::Control::open_button);
}

}  // namespace

Menu::Menu() : panel_(menu_rules::initial_panel()), applied_(panel_) {
    ids_.fill(-1);
}

void Menu::run() {
    create_window();
    outer_reset();
    command_loop();
}

// ---- window creation ----

void Menu::create_window() {
    window_ = ag::initwindow(made_width, 165, "Kalvor_UDF - Nonlinear Regression Curve Fitting", 450, 350, false);
    globals::idactivescrn = window_;
    globals::reset_child_windows(window_);
    globals::idactivewin = ag::getactivepage();
    ag::setactivepage(globals::idactivewin);
    globals::gwinwidth = ag::getmaxx();
    globals::gwinheight = ag::getmaxy();
    width_ = globals::gwinwidth;
    height_ = globals::gwinheight;
    background_ = globals::gwincolor2;
    ag::settextstyle(ag::SANS_SERIF_FONT, ag::HORIZ_DIR, 14);

    // Closing from the title bar is Quit; the loop closes the windows.
    ag::setwindowsystemclosecallback([weak = weak_from_this()] {
        if (auto self = weak.lock()) self->request(choice::quit);
        return false;
    });

    auto item = [this](Control c, std::string_view label, int parent, std::function<void(Menu&)> action) {
        ids_[static_cast<std::size_t>(c)] = ag::addmenuitem(label, parent, guarded(std::move(action)));
    };
    auto code = [](int code) { return [code](Menu& m) { m.request(code); }; };
    auto plot = [](int kind, int code) {
        return [kind, code](Menu& m) {
            m.plot_kind_ = kind;
            m.request(code);
        };
    };

    const int bar = ag::addmenu("", -1);
    const int file_menu = ag::addmenu("File", bar);
    item(Control::open_item, "Open Data File", file_menu, code(choice::open));
    ag::addmenuseparator(file_menu);
    item(Control::edit_item, "Edit Data File", file_menu, code(choice::edit_data));
    item(Control::notepad_item, "NotePad (Kalvor_UDF.ini)", file_menu, code(choice::notepad));
    ag::addmenuseparator(file_menu);
    item(Control::quit_item, "Quit", file_menu, code(choice::quit));

    const int run_menu = ag::addmenu("Run", bar);
    item(Control::start_item, "Start", run_menu, code(choice::start));
    ag::addmenuseparator(run_menu);
    item(Control::restart_item, "Restart", run_menu, code(choice::restart));

    const int views = ag::addmenu("Display Results", bar);
    item(Control::results_item, "Results Statistics", views, code(choice::results));
    item(Control::xydata_item, "X vs Y Data", views, code(choice::xy_data));
    item(Control::xyplot_item, "X vs Y Plot", views, plot(0, choice::plot_xy));
    item(Control::xyxplot_item, "X / Y vs X Plot", views, plot(2, choice::plot_xyx));
    item(Control::logyplot_item, "X vs LOG(Y) Plot", views, plot(3, choice::plot_logy));
    item(Control::logxplot_item, "LOG(X) vs Y Plot", views, plot(1, choice::plot_logx));
    item(Control::residuals_item, "Residuals Plot", views, code(choice::residuals));

    const int reset = ag::addmenu("Reset", bar);
    item(Control::clear_item, "Clear All", reset, &Menu::resetscreen);

    const int options = ag::addmenu("Options", bar);
    item(Control::difficulty_item, "Level of Difficulty", options, &Menu::optimizelevel);
    ag::addmenuseparator(options);
    item(Control::weighting_item, "Weighting of Data", options, &Menu::weightlevel);

    const int help = ag::addmenu("Help", bar);
    item(Control::overview_item, "Kalvor_UDF Overview", help, &Menu::nllsqoverview);
    item(Control::methods_item, "NLLSQ Methods", help, &Menu::nllsqmethods);
    ag::addmenuseparator(help);
    item(Control::operators_item, "Model Operators", help, &Menu::operlist1);
    item(Control::example1_item, "Example #1 Data File", help, &Menu::datalist2);
    item(Control::example2_item, "Example #2 Data File", help, &Menu::datalist3);
    item(Control::example3_item, "Example #3 Data File", help, &Menu::datalist1);
    ag::addmenuseparator(help);
    item(Control::about_item, "About...", help, &Menu::about);

    auto button = [this](Control c, int k, std::string_view label, std::function<void(Menu&)> action) {
        ids_[static_cast<std::size_t>(c)] =
            ag::createbutton(20 + 70 * k, 2, 70, 20, label, guarded(std::move(action)));
    };
    button(Control::open_button, 0, "Open", code(choice::open));
    button(Control::start_button, 1, "Start", code(choice::start));
    button(Control::restart_button, 2, "Restart", code(choice::restart));
    button(Control::results_button, 3, "Results", code(choice::results));
    button(Control::xyplot_button, 4, "XY-Plot", plot(0, choice::plot_xy));
    button(Control::logxplot_button, 5, "Log(X)-Plot", plot(1, choice::plot_logx));
    button(Control::logyplot_button, 6, "Log(Y)-Plot", plot(3, choice::plot_logy));
    button(Control::residuals_button, 7, "Residuals", code(choice::residuals));
    button(Control::quit_button, 8, "Quit", code(choice::quit));

    {
        std::lock_guard lock(panel_mutex_);
        apply_locked(panel_, true);
    }
    ag::settextjustify(ag::LEFT_TEXT, ag::TOP_TEXT);
    ag::settextstyle(ag::MONOSPACE_FONT, ag::HORIZ_DIR, 14);
    about_text_.assign(helptexts::about_text());
}

void Menu::outer_reset() {
    set_controls({Control::open_item, Control::clear_item}, true);
    restart_done_ = 0;
    data_error_lock_ = 0;
    choice_ = choice::none;
    globals::bfile = globals::bopen = globals::brun = globals::berror = 0;
    globals::bcorrectmdl = globals::bdataerror = 0;
    globals::bcancelrun = 0;
    globals::bquit = 0;
    difficulty::clearoptlevel();
    difficulty::clearwtlevel();
    difficulty::clearsmoothlevel();
    difficulty::clearlabellevel();
    globals::reset_window_ids();

    draw_button_bar_frame();
    scrollbar_ = ag::createscrollbar(ag::getmaxx() + 1 - scrollbar_inset, 30, scrollbar_width, 130, ag::SCROLL_VERTICAL,
                                     [weak = weak_from_this()](int position) {
        const auto self = weak.lock();
        if (!self) return;
        self->scroll_position_ = position;
        ag::setcolor(text_color);
        ag::clearviewport();
        ag::stopidle();
    });
    ag::setscrollrange(scrollbar_, 1, output_lines);
    ag::setscrollpage(scrollbar_, visible_lines);
    ag::setscrollposition(scrollbar_, 1);

    ag::setviewport(0, 30, width_, height_, false);
    ag::refreshall();
    drawn_once_ = 0;
}

// The whole window in the background colour, and the rules under the buttons.
void Menu::draw_button_bar_frame() {
    const int width = width_;
    ag::setbkcolor(background_);
    ag::setcolor(text_color);
    ag::clearviewport();
    ag::setviewport(0, 0, width + 2, height_, true);
    ag::setlinestyle(ag::SOLID_LINE, 1, 3);
    ag::setcolor(frame_dark);
    ag::line(width, 27, 0, 27);
    ag::setlinestyle(ag::SOLID_LINE, 1, 2);
    ag::setcolor(frame_light);
    ag::line(width - 4, 29, 4, 29);
    ag::setlinestyle(ag::SOLID_LINE, 1, 1);
    ag::line(width, 25, 0, 25);
    ag::setcolor(text_color);
    ag::setbkcolor(ag::WHITE);
}

// The window as wide as its widest output line needs (never narrower than
// it was made), with the scroll bar kept at its right edge.
void Menu::fit_width_to_output() {
    choose_font_by_params();
    int widest = 0;
    {
        std::lock_guard lock(output_mutex_);
        for (const auto& line : output_) widest = std::max(widest, ag::textwidth(line.trimmed()));
    }
    const int width = std::max(made_width, output_left + widest + output_left + scrollbar_inset);
    if (width == ag::getmaxx() + 1) return;
    ag::setwindowsize(width, ag::getmaxy() + 1);
    width_ = globals::gwinwidth = ag::getmaxx();
    ag::setbuttonposition(scrollbar_, width - scrollbar_inset, 30, scrollbar_width, 130);
    ag::resetviewport();
    draw_button_bar_frame();
    ag::setviewport(0, 30, width_, height_, false);
    drawn_once_ = 0;
}

// The scroll bar reaches as far as the output goes: at its end the last
// line that is not blank is the bottom line of the area.
void Menu::fit_scroll_to_output() {
    int last = 0;
    {
        std::lock_guard lock(output_mutex_);
        for (int k = 0; k < output_lines; ++k)
            if (!output_[k].blank()) last = k + 1;
    }
    ag::setscrollrange(scrollbar_, 1, std::max(1, last - visible_lines + 1));
    scroll_position_ = ag::getscrollposition(scrollbar_);
}

// ---- command loop ----

void Menu::command_loop() {
    while (true) {
        if (choice_ == choice::quit || !ag::iswindowopen(window_)) {
            ag::closewindow(ag::ALL_WINDOWS);
            return;
        }
        fit_width_to_output();
        fit_scroll_to_output();
        draw_window();
        ag::startidle(10);
        ag::clearviewport();
        draw_output();
        // A command chosen during the last one runs without a wait.
        if (choice_ == choice::none) {
            ag::loop();
            ag::refreshall();
        }
        run_command(choice_);
    }
}

void Menu::run_command(int code) {
    {
        std::lock_guard lock(command_mutex_);
        busy_ = true;
    }
    dispatch(code);
    int next = choice::none;
    {
        std::lock_guard lock(command_mutex_);
        busy_ = false;
        std::swap(next, deferred_);
    }
    if (next == choice::none) return;
    prepare(next);
    choice_ = next;
}

void Menu::dispatch(int code) {
    switch (code) {
    case choice::open: open_data_file(); break;
    case choice::start: start(); break;
    case choice::restart: restart(); break;
    case choice::notepad:
    case choice::edit_data: edit_file(code); break;
    case choice::results: wresults(); break;
    case choice::xy_data: wxydata(); break;
    case choice::plot_xy:
    case choice::plot_xyx: wplotxy(); break;
    case choice::plot_logx:
    case choice::plot_logy: wplotlogxy(); break;
    case choice::residuals: wresiduals(); break;
    default:
        // Quit is handled by the loop; anything else only redraws.
        break;
    }
}

void Menu::draw_output() {
    const int position = scroll_position_;
    const int first = position != 0 ? position : 1;
    if (first > output_lines - 1) return;
    OutputArea lines;
    {
        std::lock_guard lock(output_mutex_);
        lines = output_;
    }
    const int last = std::min(first + visible_lines - 1, output_lines);
    for (int k = first, y = 1; k <= last; ++k, y += 15) ag::outtextxy(output_left, y, lines[k - 1].view());
    ag::refreshall();
}

void Menu::draw_window() {
    const int width = ag::getmaxx();
    const int height = ag::getmaxy();
    width_ = width;
    height_ = height;
    ag::setviewport(0, 30, width, height, false);
    ag::settextstyle(ag::MONOSPACE_FONT, ag::HORIZ_DIR, 14);
    if (drawn_once_.exchange(1) == 0) ag::clearviewport();

    const int h2 = height / 2;
    auto rule = [](int thickness, int color, int x1, int y1, int x2, int y2) {
        ag::setlinestyle(ag::SOLID_LINE, 1, thickness);
        ag::setcolor(color);
        ag::line(x1, y1, x2, y2);
    };
    rule(3, frame_light, width, h2 + 43, 0, h2 + 43);
    rule(3, frame_dark, width, h2 + 45, 0, h2 + 45);
    rule(4, frame_dark, 1, 0, 1, height);
    rule(2, frame_light, 2, 1, 2, height - 30);
    rule(4, frame_dark, width, 0, width, height);
    rule(2, frame_light, width - 2, 1, width - 2, height - 30);

    ag::setlinestyle(ag::SOLID_LINE, 1, 1);
    ag::setcolor(text_color);
    choose_font_by_params();
    ag::refreshall();
}

void Menu::choose_font_by_params() {
    ag::settextstyle(ag::MONOSPACE_FONT, ag::HORIZ_DIR, common_data::npr > 6 ? 13 : 14);
}

// ---- enabling layer ----

menu_rules::RunFlags Menu::flags() const {
    return {globals::bfile, globals::brun, globals::bpostrun, globals::bcorrectmdl, restart_done_,
            data_error_lock_};
}

void Menu::apply_locked(const menu_rules::Panel& wanted, bool force) {
    panel_ = wanted;
    for (std::size_t i = 0; i < menu_rules::control_count; ++i) {
        const auto c = static_cast<Control>(i);
        const bool on = wanted.on[i];
        if (!force && applied_.on[i] == on) continue;
        applied_.on[i] = on;
        if (ids_[i] < 0) continue;
        if (is_button(c)) {
            ag::enablebutton(ids_[i], on);
        } else {
            ag::enablemenuitem(ids_[i], on);
        }
    }
}

void Menu::change(const std::function<void(menu_rules::Panel&)>& f) {
    std::lock_guard lock(panel_mutex_);
    menu_rules::Panel p = panel_;
    f(p);
    apply_locked(p, false);
}

void Menu::set_controls(std::initializer_list<Control> controls, bool on) {
    change([&](menu_rules::Panel& p) {
        for (const Control c : controls) p[c] = on;
    });
}

void Menu::menuitemdisable() {
    const auto f = flags();
    change([&](menu_rules::Panel& p) { menu_rules::menuitemdisable(p, f); });
}

void Menu::menuitemenable() {
    const auto f = flags();
    change([&](menu_rules::Panel& p) { menu_rules::menuitemenable(p, f); });
}

std::function<void()> Menu::guarded(std::function<void(Menu&)> action) {
    return [weak = weak_from_this(), action = std::move(action)] {
        if (const auto self = weak.lock()) action(*self);
    };
}

void Menu::request(int code) {
    bool later = false;
    {
        std::lock_guard lock(command_mutex_);
        if (busy_) {
            later = true;
            // Nothing switches now; Quit is not replaced by a later choice.
            if (deferred_ != choice::quit) deferred_ = code;
        }
    }
    if (!later) {
        prepare(code);
        store(code);
    } else if (code == choice::quit) {
        shell::quit_regression();
    }
}

void Menu::prepare(int code) {
    switch (code) {
    case choice::open:
        set_controls({Control::edit_item, Control::start_item, Control::start_button}, true);
        set_controls({Control::restart_item, Control::restart_button}, false);
        set_scroll_top();
        break;
    case choice::edit_data:
    case choice::notepad:
        // After an edit, Start runs the file again; without a file it stays off.
        set_controls({Control::start_item, Control::start_button}, globals::bfile != 0);
        set_controls({Control::restart_item, Control::restart_button}, false);
        set_scroll_top();
        break;
    case choice::start:
    case choice::restart: set_scroll_top(); break;
    default: break;
    }
}

void Menu::store(int code) {
    choice_ = code;
    ag::stopidle();
}

void Menu::set_scroll_top() {
    ag::setscrollposition(scrollbar_, 1);
}

}  // namespace menu

namespace mainmenu {

void menu() {
    std::make_shared<::menu::Menu>()->run();
}

}  // namespace mainmenu
