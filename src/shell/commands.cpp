// The commands of the main window: Open, Start, Restart, the editor
// commands, Clear All, the Options items and the Help windows.

#include <array>
#include <string>

#include "foundations/stringconv.h"
#include "foundations/stringlib.h"
#include "model/datafile.h"
#include "model/globals.h"
#include "platform/appgraphics.h"
#include "run/main_sub.h"
#include "shell/launcher.h"
#include "shell/mainmenu.h"
#include "shell/options.h"
#include "shell/regression.h"
#include "shell/settings.h"
#include "shell/textbox.h"

namespace ag = appgraphics;

namespace menu {

namespace {

template <std::size_t N, std::size_t L>
void blank_all(std::array<kalvor::Text<L>, N>& lines) {
    for (auto& line : lines) line.assign("");
}

bool contains(std::string_view text, std::string_view part) { return text.find(part) != std::string_view::npos; }

// The built-in model number of a model line ("MODEL#3"), 0 for a formula.
int model_number(kalvor::FixedText& line) {
    mainsub::clean_model_line(line);
    std::string& s = line.str();
    if (stringlib::s_indexi(s, "MODEL") == 0) return 0;
    stringlib::delsubstr(s, "MODEL");
    stringlib::delsubstr(s, "#");
    stringlib::s_adjustl(s);
    int number = 0;
    stringlib::s_to_i(std::string_view(s).substr(0, 3), number);
    return number;
}

}  // namespace

void copy_summary(std::span<const kalvor::Text<220>> summary, int nmdl, OutputArea& out,
                  const std::function<void(int y, std::string_view line)>& draw) {
    int t = 0;
    int y = 1;
    for (int src = summary_first; src <= summary_last && src <= static_cast<int>(summary.size()); ++src) {
        if (nmdl != 0 && (src == 8 || src == 9)) {
            y += 15;
            continue;
        }
        const std::string_view line = summary[src - 1].view();
        t += contains(line, "Final") ? 2 : 1;
        if (t <= output_lines) out[t - 1].assign(line);
        draw(y, line);
        if (contains(line, "Date Saved")) break;
        y += 15;
    }
}

// ---- shared steps ----

void Menu::close_child_windows() {
    globals::close_child_windows([](int id) { ag::closewindow(id); });
}

void Menu::blank_output() {
    std::lock_guard lock(output_mutex_);
    for (auto& line : output_) line.assign("");
}

void Menu::blank_text_buffers() {
    blank_all(globals::sline1);
    blank_all(globals::sline2);
    blank_all(globals::sline3);
    blank_all(globals::sline4);
    blank_all(globals::sline5);
}

void Menu::refresh_main() {
    ag::setcurrentwindow(globals::idactivescrn);
    ag::refreshall();
    choice_ = choice::none;
    globals::berror = 0;
}

// A data file rejected by Open or by the run: it is dropped, and Clear All
// runs with every run and view control off.
void Menu::reject_data_file() {
    data_error_lock_ = 1;
    globals::bopen = 1;
    globals::bfile = 0;
    globals::bcorrectmdl = 0;
    resetscreen();
    globals::bdataerror = 0;
}

// ---- Open Data File ----

void Menu::open_data_file() {
    close_child_windows();
    globals::cstring.clear();
    globals::ctitle.assign("");
    globals::cmsg.assign("");
    blank_text_buffers();
    globals::output_file_name.assign("");
    globals::input_file_name.assign(globals::cwddat.trimmed() + "*.dat");

    globals::bopen = 0;
    const bool chosen = ag::dlgopenfile(globals::input_file_name.str(), "Data", "*.DAT", "Enter data file");
    globals::bopen = 1;

    if (!chosen) {
        globals::bfile = 0;
        globals::bcorrectmdl = 0;
        resetscreen();
    } else {
        globals::bfile = 1;
        restart_done_ = 0;
        globals::brun = 0;
        globals::bcorrectmdl = 1;
        resetscreen();
        menuitemdisable();

        kalvor::Text<512> path(globals::input_file_name.view());
        kalvor::Text<512> line;
        try {
            datafile::a_model_line(path, line);
            globals::nmdl = model_number(line);
            if (globals::nmdl > 0) {
                globals::bdataerror = 1;
                ag::dlgmessage(ag::DIALOG_INFORMATION, "No model was found in the data file!");
                datalist2();
            } else {
                globals::nmdl = 0;
            }
        } catch (const datafile::FileError& error) {
            globals::bdataerror = 1;
            ag::dlgmessage(ag::DIALOG_ERROR, "The data file could not be read:\r\n" + path.trimmed() + "\r\n" +
                                                 error.what());
        }
    }

    if (globals::bdataerror == 1) {
        reject_data_file();
        choice_ = choice::none;
        globals::berror = 0;
        return;
    }
    if (globals::bcorrectmdl == 1) {
        menuitemenable();
    } else {
        menuitemdisable();
        menuitemenable();
    }
    change([](menu_rules::Panel& p) { menu_rules::set_by_file(p, globals::bfile); });
    close_child_windows();
    refresh_main();
}

// ---- Start and Restart ----

namespace {

// What Start and Restart switch off while the fit runs.
void switch_off_for_run(menu_rules::Panel& p) {
    menu_rules::set_run(p, false);
    menu_rules::set_views(p, false);
    for (const auto c : menu_rules::busy_items) p[c] = false;
}

// The items switched off for the run on again, with the view items.
void switch_on_after_run(menu_rules::Panel& p) {
    for (const auto c : menu_rules::busy_items) p[c] = true;
    menu_rules::set_view_items(p, true);
}

}  // namespace

void Menu::set_scroll_top_after_run() {
    scroll_position_ = 1;
    ag::setscrollposition(scrollbar_, 1);
    ag::refreshall();
}

// The main window after a run whose model was confirmed: the summary when
// the fit ended normally, else blank buffers and the run and view controls
// off. Returns false in the latter case.
bool Menu::show_run_result() {
    ag::setbkcolor(ag::WHITE);
    ag::setcolor(text_color);
    ag::setcurrentwindow(window_);
    ag::clearviewport();
    choose_font_by_params();
    blank_output();
    if (globals::bcancelrun != 0 || globals::brerun != 0 || globals::berror != 0) {
        blank_text_buffers();
        change([](menu_rules::Panel& p) {
            menu_rules::set_run(p, false);
            menu_rules::set_views(p, false);
        });
        if (globals::bcancelrun != 0) note_cancelled_fit();
        ag::refreshall();
        return false;
    }
    change([](menu_rules::Panel& p) { menu_rules::set_views(p, true); });
    ag::settextstyle(ag::MONOSPACE_FONT, ag::HORIZ_DIR, 10);
    {
        std::lock_guard lock(output_mutex_);
        copy_summary(globals::sline3, globals::nmdl, output_,
                     [](int y, std::string_view line) { ag::outtextxy(10, y, line); });
    }
    ag::refreshall();
    return true;
}

// A run names its results file only once it has written it, and a fit that
// ends on an error writes none: a cancelled fit with a results file is one
// that the user stopped (Cancel or Quit).
void Menu::note_cancelled_fit() {
    const std::string file = globals::output_file_name.trimmed();
    if (file.empty()) return;
    const std::array<std::string, 3> note{"The fit was cancelled.", "Its results so far were saved in the file:",
                                          file};
    std::lock_guard lock(output_mutex_);
    for (std::size_t k = 0; k < note.size(); ++k) {
        output_[k].assign(note[k]);
        ag::outtextxy(10, 1 + 15 * static_cast<int>(k), output_[k].view());
    }
}

void Menu::start() {
    if (globals::bfile == 0) {
        change([](menu_rules::Panel& p) { menu_rules::set_by_file(p, 0); });
        choice_ = choice::none;
        return;
    }
    change(switch_off_for_run);
    ag::settextstyle(ag::MONOSPACE_FONT, ag::HORIZ_DIR, 14);
    restart_done_ = 0;
    globals::bpostrun = 0;
    globals::bcancelrun = 0;
    globals::output_file_name.assign("");
    shell::run_regression();

    if (globals::bdataerror == 1) {
        reject_data_file();
    } else if (globals::bcorrectmdl == 0) {
        globals::brun = 0;
        globals::brerun = 0;
        menuitemdisable();
    } else {
        globals::brun = 1;
        show_run_result();
    }

    set_scroll_top_after_run();
    change([](menu_rules::Panel& p) {
        switch_on_after_run(p);
        p[Control::start_item] = false;
        p[Control::restart_item] = true;
        p[Control::start_button] = false;
        p[Control::restart_button] = true;
        menu_rules::set_view_buttons(p, true);
    });
    if (globals::bcorrectmdl == 0) {
        menuitemenable();
    } else {
        change([](menu_rules::Panel& p) {
            if (globals::brerun == 0) {
                menu_rules::set_restart(p, true);
            } else {
                menu_rules::set_start(p, true);
                menu_rules::set_restart(p, false);
            }
            if (globals::berror != 0) menu_rules::set_restart(p, false);
            if (globals::bcancelrun != 0) {
                menu_rules::set_run(p, false);
                menu_rules::set_views(p, false);
            }
        });
    }
    choice_ = choice::none;
}

void Menu::rerunsharc() {
    ag::settextstyle(ag::MONOSPACE_FONT, ag::HORIZ_DIR, 14);
    restart_done_ = 0;
    globals::bpostrun = 1;
    globals::bcancelrun = 0;
    globals::output_file_name.assign("");
    shell::run_regression();

    if (globals::bdataerror == 1) {
        reject_data_file();
        return;
    }
    if (globals::bcorrectmdl == 0) {
        globals::brun = 0;
        globals::brerun = 0;
        menuitemdisable();
        return;
    }
    restart_done_ = 1;
    show_run_result();
}

void Menu::restart() {
    if (globals::bfile == 0 || globals::berror != 0) {
        change([](menu_rules::Panel& p) {
            menu_rules::set_run(p, false);
            menu_rules::set_views(p, false);
        });
        choice_ = choice::none;
        return;
    }
    change(switch_off_for_run);
    rerunsharc();
    set_scroll_top_after_run();
    change([](menu_rules::Panel& p) {
        switch_on_after_run(p);
        menu_rules::set_start(p, true);
        menu_rules::set_restart(p, false);
        menu_rules::set_view_buttons(p, true);
    });
    if (globals::bcorrectmdl == 0) {
        menuitemenable();
    } else if (globals::bcancelrun != 0) {
        change([](menu_rules::Panel& p) {
            menu_rules::set_run(p, false);
            menu_rules::set_views(p, false);
        });
    }
    choice_ = choice::none;
}

// ---- Edit Data File and NotePad (Kalvor_UDF.ini) ----

void Menu::edit_file(int code) {
    close_child_windows();
    if (code == choice::notepad || globals::bfile != 0) {
        const std::string application = globals::cwdexe.trimmed();
        if (application.empty() || stringlib::s_eqi(application, "NULL")) {
            ag::dlgmessage(ag::DIALOG_INFORMATION,
                           "ERROR: No executable application was found!\r\n"
                           "Enter an application and the full file path in the\r\n"
                           "Kalvor_UDF.ini file. (e.g., Launch=/usr/bin/gedit)");
        } else {
            const std::array<std::string, 1> file{code == choice::notepad ? settings::file_path()
                                                                  : globals::input_file_name.trimmed()};
            int status = 0;
            launcher::launchwindow(application, file, 0, &status);
            if (status != 0) ag::dlgmessage(ag::DIALOG_ERROR, launcher::start_failure_message(application, status));
        }
    }
    close_child_windows();
    refresh_main();
}

// ---- Clear All ----

void Menu::resetscreen() {
    ag::setcurrentwindow(globals::idactivescrn);
    reset_screen();
    data_error_lock_ = 0;
    globals::close_child_windows([this](int id) {
        data_error_lock_ = 1;
        for (auto* variable : {&globals::idoptwindow, &globals::idwtwindow, &globals::idsmthwindow,
                               &globals::idlblwindow, &globals::idcalcwindow, &globals::idresultswindow,
                               &globals::idplotxywindow, &globals::idlogplotwindow, &globals::idresidualwindow}) {
            if (*variable == id) *variable = -1;
        }
        ag::closewindow(id);
    });
    ag::setcurrentwindow(globals::child_windows[globals::child_owner].load());
    if (data_error_lock_ == 1) {
        reset_screen();
        data_error_lock_ = 0;
    }
    draw_window();
    ag::setscrollposition(scrollbar_, 30);
    ag::setscrollposition(scrollbar_, 1);
    set_controls({Control::difficulty_item, Control::weighting_item}, true);
    ag::refreshall();
}

void Menu::reset_screen() {
    ag::refreshall();
    ag::setscrollposition(scrollbar_, 1);
    menuitemenable();
    if (globals::bopen == 0) {
        difficulty::clearoptlevel();
        difficulty::clearwtlevel();
        difficulty::clearsmoothlevel();
        difficulty::clearlabellevel();
    } else {
        globals::bopen = 0;
    }
    globals::cmsg.assign(about_text_.view());
    blank_text_buffers();
    blank_output();
    change([](menu_rules::Panel& p) { menu_rules::set_by_file(p, globals::bfile); });
    ag::clearviewport();
    draw_window();
    ag::refreshall();
}

// ---- Options ----

void Menu::option_dialog(void (*dialog)()) {
    close_child_windows();
    menuitemdisable();
    globals::idactivewin = globals::idactivescrn.load();
    ag::enablewindow(window_, false);
    dialog();
    ag::enablewindow(window_, true);
    close_child_windows();
    menuitemenable();
}

void Menu::weightlevel() {
    option_dialog(difficulty::wtlevel);
    ag::refreshall();
}

void Menu::optimizelevel() {
    option_dialog(difficulty::optlevel);
    const bool restart_ready = globals::brun == 1 && restart_done_ == 0;
    change([&](menu_rules::Panel& p) {
        p[Control::start_button] = globals::bfile == 1 && !restart_ready;
        p[Control::restart_button] = restart_ready;
    });
    ag::refreshall();
}

// ---- Help ----

void Menu::show_text_window(const helptexts::TextWindow& window) {
    close_child_windows();
    menuitemdisable();
    kalvor::Text<64> title(window.title);
    ag::enablewindow(globals::idactivescrn, false);
    textbox::textscreen(title, window.body, window.nlines, window.help);
    ag::enablewindow(globals::idactivescrn, true);
    close_child_windows();
    menuitemenable();
}

void Menu::datalist2() { show_text_window(helptexts::example1()); }
void Menu::datalist3() { show_text_window(helptexts::example2()); }
void Menu::datalist1() { show_text_window(helptexts::example3()); }
void Menu::operlist1() { show_text_window(helptexts::operators()); }
void Menu::nllsqoverview() { show_text_window(helptexts::overview()); }
void Menu::nllsqmethods() { show_text_window(helptexts::methods()); }

void Menu::about() {
    close_child_windows();
    ag::settextstyle(ag::SANS_SERIF_FONT, ag::HORIZ_DIR, 14);
    globals::cmsg.assign(about_text_.view());
    ag::dlgmessage(ag::DIALOG_INFORMATION, globals::cmsg.trimmed());
    ag::settextstyle(ag::MONOSPACE_FONT, ag::HORIZ_DIR, 14);
}

}  // namespace menu
