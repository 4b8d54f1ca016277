#include "shell/menu_rules.h"

namespace menu_rules {

void set_start(Panel& p, bool on) {
    p[Control::start_item] = on;
    p[Control::start_button] = on;
}

void set_restart(Panel& p, bool on) {
    p[Control::restart_item] = on;
    p[Control::restart_button] = on;
}

void set_run(Panel& p, bool on) {
    set_start(p, on);
    set_restart(p, on);
}

void set_view_items(Panel& p, bool on) {
    for (const Control c : view_items) p[c] = on;
}

void set_view_buttons(Panel& p, bool on) {
    for (const Control c : view_buttons) p[c] = on;
}

void set_views(Panel& p, bool on) {
    set_view_items(p, on);
    set_view_buttons(p, on);
}

void set_by_file(Panel& p, int bfile) {
    set_start(p, bfile != 0);
    set_restart(p, false);
    set_views(p, false);
}

void menuitemdisable(Panel& p, const RunFlags& f) {
    for (const Control c : general_items) p[c] = false;
    p[Control::open_button] = false;
    set_by_file(p, f.bfile);
    if (f.brun != 0) {
        set_start(p, false);
        set_views(p, true);
    } else if (f.bpostrun != 0) {
        set_start(p, true);
        set_restart(p, false);
        set_views(p, true);
    }
}

void menuitemenable(Panel& p, const RunFlags& f) {
    for (const Control c : general_items) p[c] = true;
    p[Control::open_button] = true;
    set_by_file(p, f.bfile);
    if (f.brun != 0) {
        set_start(p, false);
        set_restart(p, true);
        set_views(p, true);
    }
    if (f.bpostrun != 0) {
        set_start(p, true);
        set_restart(p, false);
        set_views(p, true);
    } else if (f.restart_done == 1) {
        set_start(p, true);
        set_restart(p, false);
    }
    if (f.bcorrectmdl == 0) {
        // The "Restart" item keeps what the steps above gave it.
        set_start(p, false);
        p[Control::restart_button] = false;
        set_views(p, false);
    }
    if (f.data_error_lock == 1) {
        set_run(p, false);
        set_views(p, false);
    }
}

Panel initial_panel() {
    Panel p;
    for (const Control c : general_items) p[c] = true;
    p[Control::quit_item] = true;
    p[Control::open_button] = true;
    p[Control::quit_button] = true;
    // Clear All comes on with the first reset of the main window.
    p[Control::clear_item] = false;
    return p;
}

}  // namespace menu_rules
