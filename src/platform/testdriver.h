#pragma once
// Scripted driving of the program's windows for tests.
//
// A Session makes the calling thread (the test's main thread) the GUI
// thread, answers every dialog from the test's script, records the texts
// drawn into windows and sets the time scale to 0, so sleeps and idle
// time-outs pass at once. The program's logic runs on a logic thread started
// by Session::start, as in the real program. Every function here may be
// called from the test's thread; each first handles the GUI events waiting,
// so a test may poll any of them in a loop, and the waiting ones keep the
// GUI running while they wait. Labels are compared exactly as the program
// passed them, but without trailing blanks.

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/dialogs.h"

namespace testdriver {

using appgraphics::DialogKind;
using appgraphics::DialogRequest;

class Session {
public:
    Session();
    // Closes every window, cancels open dialogs, waits (up to 30 s) for the
    // logic and the callbacks to end, and restores the real dialogs and the
    // time scale.
    ~Session();
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    // Runs logic on the logic thread; when it returns, every window closes.
    void start(std::function<int()> logic);
    // Waits until the logic has returned; true when it did in time.
    bool wait_finished(double timeout_seconds = 60);
    bool finished() const;
    int exit_code() const;

private:
    struct State;
    State* state_;
};

struct WindowInfo {
    int id = -1;
    std::string title;
    bool enabled = false;
    int width = 0;   // canvas size
    int height = 0;
};

enum class ControlKind { Button, RadioButton, ScrollBar, MenuBar, Menu, MenuItem, Separator };

struct ControlInfo {
    int id = -1;
    ControlKind kind = ControlKind::Button;
    std::string label;
    std::vector<std::string> path;  // menus and items: labels from the top menu
    bool enabled = false;           // its own state
    bool checked = false;           // radio buttons
    int left = 0, top = 0, width = 0, height = 0;  // buttons, radios, scroll bars
    int label_width = 0, label_height = 0;         // buttons, radios: the label's text in the control's font
    int minimum = 0, maximum = 0, position = 0, page = 0;  // scroll bars
};

// One outtextxy call (also the labels an embedded plot draws).
struct TextRecord {
    int x = 0, y = 0;                // as passed, relative to the viewport
    int canvas_x = 0, canvas_y = 0;  // on the canvas
    std::string text;
    int font = 0, direction = 0, size = 0;
    int color = 0, bkcolor = 0;
    bool transparent = false;
};

// What the last plot embedded into a window held when it was drawn.
struct PlotAxisRecord {
    bool logarithmic = false;
    bool fixed = false;      // a fixed range; otherwise automatic
    double low = 0.0, high = 0.0;  // the fixed range as set
    std::string label;
};

struct PlotSeriesRecord {
    std::vector<double> x, y;
    int type = 0;    // aplot::SERIES_...
    int color = -1;  // r + 256 g + 65536 b as set, -1 when none was set
    std::string label;
};

struct PlotRecord {
    PlotAxisRecord x, y;
    std::vector<PlotSeriesRecord> series;
    int left = 0, top = 0, width = 0, height = 0;
};

// Pixels as colour values r + 256 g + 65536 b, row by row.
struct Image {
    int width = 0;
    int height = 0;
    std::vector<int> pixels;
    int pixel(int x, int y) const { return pixels[static_cast<std::size_t>(y) * width + x]; }
};

// Open windows in the order they were made.
std::vector<WindowInfo> windows();
// The newest open window with this title, or -1.
int find_window(std::string_view title);
int wait_window(std::string_view title, double timeout_seconds = 30);
// Controls of a window in the order they were made.
std::vector<ControlInfo> controls(int window);

// Each returns false when the control is not found, or it, a menu on its
// path or its window is disabled; the callbacks then do not run.
bool click_button(int window, std::string_view label);
bool choose_menu(int window, const std::vector<std::string>& path);
bool check_radio(int window, std::string_view label);
// Moves the index-th scroll bar of the window as a user would.
bool scroll(int window, int position, int index = 0);
// As the close box of the title bar.
bool close_from_title_bar(int window);
// Turns the mouse wheel over the middle of the window's canvas by notches
// (positive: toward the user, scrolling down).
bool wheel(int window, int notches);

// Waits until every thread of the program waits for the user (in loop or a
// dialog) or in a startidle whose time is not up, or has ended, and the GUI
// has done all work asked of it.
bool wait_idle(double timeout_seconds = 30);
// Waits for the oldest unanswered dialog.
std::optional<DialogRequest> wait_dialog(double timeout_seconds = 30);
// Answer the oldest unanswered dialog; false when there is none.
bool answer_ok();    // OK; a text box keeps its text
bool answer_yes();
bool answer_no();
bool answer_cancel();  // also closing a box
bool answer_text(std::string_view text);
bool answer_path(std::string_view path);  // file boxes, print to PDF

// The canvas, or the whole window content (canvas and controls).
std::vector<unsigned char> grab_png(int window, bool whole_window = false);
Image grab(int window, bool whole_window = false);
Image decode_png(const std::vector<unsigned char>& png);

// The lines of text drawn into the window (since the last clear of their
// place) that the user can neither see nor scroll to: ink outside the
// canvas or under a control, or on a canvas that the window, within the
// screen, cannot show or scroll through. Each entry names the line and
// why; empty when all can be reached.
std::vector<std::string> unreachable_text(int window);

struct ScreenSize {
    int width = 0, height = 0;
};
// The screen the windows are shown on: headless, the offscreen platform's
// screen, whose size the variable KALVOR_TEST_SCREEN=<width>x<height> sets
// when the first Session starts.
ScreenSize screen_size();

std::vector<TextRecord> text_log(int window);
// The last plot embedded into the window, if any (also after it closed).
std::optional<PlotRecord> last_plot(int window);
void clear_text_log(int window);

}  // namespace testdriver
