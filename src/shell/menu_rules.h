#pragma once
// Which menu items and buttons of the main window are on, as a pure function
// of the run state.
//
// A Panel holds the on/off state of every switchable control. The two rules
// (menuitemdisable before a modal window or a command, menuitemenable after
// it) and the group switches the commands use change a Panel only; the main
// window applies the result to its controls. Nothing here touches a window.

#include <array>
#include <cstddef>

namespace menu_rules {

enum class Control : std::size_t {
    // File menu
    open_item, edit_item, notepad_item, quit_item,
    // Run menu
    start_item, restart_item,
    // Display Results menu
    results_item, xydata_item, xyplot_item, xyxplot_item, logyplot_item, logxplot_item, residuals_item,
    // Reset, Options and Help menus
    clear_item, difficulty_item, weighting_item,
    overview_item, methods_item, operators_item, example1_item, example2_item, example3_item, about_item,
    // buttons
    open_button, start_button, restart_button, results_button, xyplot_button, logxplot_button,
    logyplot_button, residuals_button, quit_button,
    count
};

inline constexpr std::size_t control_count = static_cast<std::size_t>(Control::count);

struct Panel {
    std::array<bool, control_count> on{};
    bool operator[](Control c) const { return on[static_cast<std::size_t>(c)]; }
    bool& operator[](Control c) { return on[static_cast<std::size_t>(c)]; }
    friend bool operator==(const Panel&, const Panel&) = default;
};

// The run flags the rules read: the run state's flags and the main window's
// own Restart-done flag and data-error lock.
struct RunFlags {
    int bfile = 0;
    int brun = 0;
    int bpostrun = 0;
    int bcorrectmdl = 0;
    int restart_done = 0;
    int data_error_lock = 0;
};

// The controls of each group.
inline constexpr std::array view_items{Control::results_item, Control::xydata_item, Control::xyplot_item,
                                       Control::xyxplot_item, Control::residuals_item, Control::logxplot_item,
                                       Control::logyplot_item};
inline constexpr std::array view_buttons{Control::results_button, Control::xyplot_button,
                                         Control::logxplot_button, Control::logyplot_button,
                                         Control::residuals_button};
// "Open Data File", "NotePad", Clear All, the Options and the Help items.
inline constexpr std::array general_items{Control::open_item, Control::notepad_item, Control::clear_item,
                                          Control::difficulty_item, Control::weighting_item,
                                          Control::overview_item, Control::methods_item,
                                          Control::operators_item, Control::example1_item,
                                          Control::example2_item, Control::example3_item,
                                          Control::about_item};
// What Start and Restart switch off while a fit runs besides the run and
// view controls: Clear All, the Options and the Help items.
inline constexpr std::array busy_items{Control::clear_item, Control::difficulty_item, Control::weighting_item,
                                       Control::overview_item, Control::methods_item, Control::operators_item,
                                       Control::example1_item, Control::example2_item, Control::example3_item,
                                       Control::about_item};

// ---- group switches ----
void set_start(Panel& p, bool on);        // item and button
void set_restart(Panel& p, bool on);      // item and button
void set_run(Panel& p, bool on);          // Start and Restart, items and buttons
void set_view_items(Panel& p, bool on);
void set_view_buttons(Panel& p, bool on);
void set_views(Panel& p, bool on);        // items and buttons
// Start and Restart by the file state alone: with a file "Start" on and
// "Restart" and the views off; without one, run and views off.
void set_by_file(Panel& p, int bfile);

// ---- the two rules ----
// Everything off, then what the state allows while a window or command runs.
// "Edit Data File" and Quit are left as they are.
void menuitemdisable(Panel& p, const RunFlags& f);
// Everything on, then narrowed by the state. "Edit Data File" and Quit are
// left as they are.
void menuitemenable(Panel& p, const RunFlags& f);

// The panel of a freshly made main window: the File menu's "Open Data File",
// "NotePad" and Quit, the Options and Help items and the "Open" and "Quit"
// buttons on; everything else off.
Panel initial_panel();

}  // namespace menu_rules
