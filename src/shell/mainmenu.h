#pragma once
// The main window: menu bar, nine buttons, frame, a scrolling output area of
// the run summary, and the command loop that runs until Quit.
//
// Most menu items and buttons store a command code and wake the loop, so
// that Open, Start, Restart and the editor commands run on the logic thread;
// Clear All, the Options dialogs and the Help windows run at once on the
// callback's own thread. Closing the window from its title bar acts as Quit.
// A command chosen while another runs (Open or Quit during a fit) waits for
// it, and only then switches controls and runs; Quit also ends a run in
// progress first, at the run's next point where a Cancel is seen (a NEXT
// series with it).

#include <array>
#include <atomic>
#include <functional>
#include <initializer_list>
#include <memory>
#include <mutex>
#include <span>
#include <string_view>

#include "foundations/fixed_text.h"
#include "shell/helptexts.h"
#include "shell/menu_rules.h"

namespace menu {

// Command codes stored by the callbacks.
namespace choice {
inline constexpr int none = -1;
inline constexpr int quit = 0;
inline constexpr int open = 1;
inline constexpr int start = 2;
inline constexpr int restart = 3;
inline constexpr int results = 4;
inline constexpr int plot_xy = 5;
inline constexpr int plot_logx = 6;
inline constexpr int residuals = 7;
inline constexpr int xy_data = 8;
inline constexpr int notepad = 9;
inline constexpr int plot_xyx = 10;
inline constexpr int edit_data = 11;
inline constexpr int plot_logy = 12;
}  // namespace choice

// Colour of the main window's text and output lines.
inline constexpr int text_color = 0x800000;

inline constexpr int output_lines = 62;    // lines of the output area
inline constexpr int visible_lines = 8;    // lines shown at once
inline constexpr int summary_first = 6;    // first summary line copied from globals::sline3
inline constexpr int summary_last = 62;    // its last line: the output area holds the whole summary

// The output area after a fit: lines 6 to 62 of summary (the run's
// globals::sline3) in order, a blank line before each line holding "Final",
// lines 8 and 9 passed over for a built-in model (nmdl != 0), ending after
// the line holding "Date Saved". Element k is output line k + 1; each line
// keeps its 220 characters and is blank-padded to 256.
using OutputArea = std::array<kalvor::Text<256>, output_lines>;
// Calls draw(y, line) for each summary line copied, y being its drawing row.
void copy_summary(std::span<const kalvor::Text<220>> summary, int nmdl, OutputArea& out,
                  const std::function<void(int y, std::string_view line)>& draw);

// The state of one main window and its procedures. The callbacks of its
// controls hold it weakly: a callback still running when the loop has ended
// keeps it alive until it returns, and later ones do nothing. It must be
// owned by a std::shared_ptr.
class Menu : public std::enable_shared_from_this<Menu> {
public:
    Menu();
    // Creates the window, resets the run state and runs the command loop
    // until Quit; returns with every window closed.
    void run();

    // Frame of the drawing area.
    void draw_window();
    // Menu enabling by run state (see menu_rules).
    void menuitemdisable();
    void menuitemenable();

    // Commands of the loop.
    void open_data_file();
    void start();
    void restart();
    void rerunsharc();
    void edit_file(int code);  // choice::edit_data or choice::notepad

    // Result-view launchers: the window opens modally over the disabled
    // main window; after it the child windows close and the menus return.
    void wresults();    // "Results Statistics"
    void wxydata();     // "X vs Y Data"
    void wplotxy();     // X vs Y and X / Y vs X plots (plot kinds 0 and 2)
    void wplotlogxy();  // LOG(X) vs Y and X vs LOG(Y) plots (kinds 1 and 3)
    void wresiduals();  // "Residuals Plot"

    // Direct actions.
    void resetscreen();  // Clear All
    void reset_screen();
    void weightlevel();
    void optimizelevel();
    void nllsqoverview();
    void nllsqmethods();
    void operlist1();
    void datalist1();
    void datalist2();
    void datalist3();
    void about();

private:
    using Control = menu_rules::Control;

    void create_window();
    void outer_reset();
    void command_loop();
    // Runs the command; one chosen meanwhile becomes the next choice.
    void run_command(int code);
    void dispatch(int code);
    void draw_output();
    void draw_button_bar_frame();
    void fit_width_to_output();
    void fit_scroll_to_output();

    // Enabling layer: change the panel and apply it to the controls.
    menu_rules::RunFlags flags() const;
    void change(const std::function<void(menu_rules::Panel&)>& f);
    void apply_locked(const menu_rules::Panel& wanted, bool force);
    void set_controls(std::initializer_list<Control> controls, bool on);

    void close_child_windows();
    void blank_output();
    void blank_text_buffers();
    void choose_font_by_params();
    void set_scroll_top();
    void set_scroll_top_after_run();
    bool show_run_result();
    void show_text_window(const helptexts::TextWindow& window);
    // Runs an option dialog modally: children closed, menus and the main
    // window disabled while it is open.
    void option_dialog(void (*dialog)());
    void reject_data_file();
    void refresh_main();
    // Runs a result view (results, x/y data, residuals) modally: menus off
    // (Clear All only before any Restart of a run), main window disabled.
    void open_modal_view(const std::function<void()>& view);
    // Checks the curves against the plot kind and runs the plot window.
    void open_plot(bool from_logxy);
    // Closes the child windows a view left listed and redraws.
    void tidy_up();

    // A callback that runs action on this menu while it exists.
    std::function<void()> guarded(std::function<void(Menu&)> action);
    // A command chosen by the user: while another command runs it is kept
    // for later (Quit ending a run in progress), else it is prepared and
    // stored.
    void request(int code);
    // The controls a chosen command switches before it runs.
    void prepare(int code);
    // Stores a command code and wakes the loop.
    void store(int code);
    // The output area after a cancelled fit: the note and the results file.
    void note_cancelled_fit();

    std::atomic<int> choice_{choice::none};
    std::mutex command_mutex_;
    bool busy_ = false;              // a command runs; guarded by command_mutex_
    int deferred_ = choice::none;    // chosen while busy; guarded by command_mutex_
    std::atomic<int> plot_kind_{0};
    std::atomic<int> scroll_position_{0};
    std::atomic<int> restart_done_{0};
    std::atomic<int> data_error_lock_{0};
    std::atomic<int> drawn_once_{0};
    std::atomic<int> width_{0};
    std::atomic<int> height_{0};
    int window_ = -1;
    int background_ = 0;
    int scrollbar_ = -1;
    kalvor::Text<640> about_text_;

    std::mutex output_mutex_;
    OutputArea output_;

    std::mutex panel_mutex_;
    menu_rules::Panel panel_;    // wanted states
    menu_rules::Panel applied_;  // states the controls have
    std::array<int, menu_rules::control_count> ids_{};
};

}  // namespace menu

namespace mainmenu {
// The main window; returns after Quit with every window closed.
void menu();
}  // namespace mainmenu

