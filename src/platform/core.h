#pragma once
// Inside of the window layer: the registry of windows and controls, the
// threads the layer knows, and the hand-over of work to the GUI thread.
//
// Locks: state_mutex() guards the registry, the idle flags, the thread
// records and the GUI task count; each window's canvas_mutex guards its
// canvas and drawing state. No thread holds a lock while it waits for the
// GUI thread, and the GUI thread never waits for another thread's work.

#include <QFont>
#include <QFontMetrics>
#include <QImage>
#include <QPainter>
#include <QPen>
#include <QPointer>
#include <QRect>
#include <QString>
#include <QStringList>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <type_traits>
#include <vector>

#include "platform/appgraphics.h"
#include "platform/testdriver.h"

class QButtonGroup;
class QMainWindow;
class QScrollArea;

namespace appgraphics::detail {

using SteadyClock = std::chrono::steady_clock;

// ---- texts ----

// UTF-8 when valid, else Windows-1252.
QString qtext(std::string_view text);
// A label for a menu or button: trailing blanks dropped, '&' shown as such.
QString qlabel(std::string_view text);
std::string rtrim(std::string_view text);
// Lines of a text split at LF, each without its trailing CR.
std::vector<std::string_view> split_lines(std::string_view text);
// The font of a font number at a pixel size.
QFont make_font(int font, int size);
QColor qcolor(int color);
int colour_value(QRgb rgb);

// ---- windows ----

struct DrawState {
    int color = BLACK;
    int bkcolor = WHITE;
    int linestyle = SOLID_LINE;
    unsigned pattern = 0xFFFF;
    int thickness = 1;
    int fillstyle = SOLID_FILL;  // kept for the program; no call here fills shapes
    int fillcolor = WHITE;
    int font = SANS_SERIF_FONT;
    int direction = HORIZ_DIR;
    int size = 14;
    bool transparent = false;
    int hjust = LEFT_TEXT;
    int vjust = TOP_TEXT;
    QRect viewport;  // inclusive corners
    bool clip = true;
    int cpx = 0, cpy = 0;  // current point, viewport-relative
    int page = 0;
    QPen pen;      // from color, linestyle, pattern, thickness
    QFont qfont;   // from font, size
    std::optional<QFontMetrics> metrics;
    double fixed_advance = 0.0;  // width of every character of a fixed-pitch font, else 0
};

// Width in pixels of one line of text in the state's font.
int text_advance(const DrawState& state, const QString& line);

// Where a line of text shows ink on the canvas (trailing blanks left out),
// kept while text logging is on until a clear of the area wipes it.
struct InkRecord {
    QRect box;
    std::string text;
};

class Window {
public:
    Window(int id, std::string title, int width, int height, bool closeflag);

    const int id;
    const std::string title;
    // Canvas size; changed only under canvas_mutex.
    std::atomic<int> width;
    std::atomic<int> height;
    const bool closeflag;

    // Guarded by canvas_mutex. The canvas is null once the window closed.
    std::mutex canvas_mutex;
    QImage canvas;
    DrawState state;
    std::vector<testdriver::TextRecord> text_log;
    std::vector<InkRecord> ink;
    std::optional<testdriver::PlotRecord> last_plot;
    // The painter on the canvas, begun when first needed.
    QPainter& painter();
    // Ends the painter so that the canvas can be read or copied.
    void end_painting();
    void rebuild_pen();
    void rebuild_font();

    // Guarded by state_mutex().
    bool closed = false;
    bool pending = false;
    CloseCallback close_callback;
    int radio_group = 0;  // number of the group new radio buttons join

    // GUI thread only.
    int menubar = -1;  // control id of the menu bar
    QPointer<QMainWindow> widget;
    QWidget* canvas_widget = nullptr;
    QScrollArea* view = nullptr;  // shows the canvas, scrolling what the screen cannot hold
    std::map<int, QPointer<QButtonGroup>> radio_groups;

private:
    std::unique_ptr<QPainter> painter_;
};

struct Control {
    int id = -1;
    int window = -1;
    testdriver::ControlKind kind = testdriver::ControlKind::Button;
    std::string label;
    int parent = -1;
    Callback callback;
    ScrollCallback scroll_callback;
    std::atomic<bool> checked{false};  // last state of a radio button
    // GUI thread only.
    QPointer<QObject> object;
    bool programmatic = false;  // a scroll bar change made by the program
};

std::mutex& state_mutex();
std::condition_variable& state_changed();

// Open or closed window by id (under no lock), nullptr when unknown.
std::shared_ptr<Window> find_window(int id);
// The caller's current window, nullptr when none.
const std::shared_ptr<Window>& current_window();
void set_current_window(std::shared_ptr<Window> window);
// Registers a new window or control and returns it with its id.
std::shared_ptr<Window> add_window(std::string title, int width, int height, bool closeflag);
std::shared_ptr<Control> add_control(int window, testdriver::ControlKind kind, std::string label, int parent);
std::shared_ptr<Control> find_control(int id);
void remove_control(int id);
// All windows (open ones only when open_only) and controls in order of making.
std::vector<std::shared_ptr<Window>> all_windows(bool open_only);
std::vector<std::shared_ptr<Control>> window_controls(int window);

// Whether texts drawn are recorded (tests), and the record.
void set_text_logging(bool on);
void log_text(Window& window, testdriver::TextRecord record);  // under canvas_mutex
void log_plot(Window& window, testdriver::PlotRecord record);  // under canvas_mutex
bool text_logging();
// Ink of drawn text, and its removal where an area is cleared (under canvas_mutex).
void log_ink(Window& window, InkRecord record);
void wipe_ink(Window& window, const QRect& cleared);
// An area whose edges at or past the canvas border reach on without end:
// clipping to it, or clearing it, takes in whatever lies beyond that border.
QRect reaching_past_border(const QRect& area, const Window& window);

// ---- threads ----

enum class ThreadWait { None, Loop, Timed, Dialog };

// A thread of the program the layer knows: the logic thread and the
// callback threads. Its wait state tells whether the program is idle.
struct ThreadRecord {
    ThreadWait wait = ThreadWait::None;
    std::function<bool()> released;  // the wait is over (looked at under state_mutex())
    std::optional<SteadyClock::time_point> until;  // end of a timed wait
};

// Registers a thread record before the thread starts (so the program is
// not idle in between); the thread adopts it with a ThreadScope.
ThreadRecord* register_thread();

class ThreadScope {
public:
    // signalling: the window whose callback runs, or -1.
    ThreadScope(ThreadRecord* record, int signalling);
    ~ThreadScope();
    ThreadScope(const ThreadScope&) = delete;
    ThreadScope& operator=(const ThreadScope&) = delete;
};

// Marks the calling thread as waiting. A waiting thread counts as idle
// until released() holds, and a timed wait only until its time is up; the
// waiting code ends the mark under state_mutex() in the same step in which
// it sees the release, so that the program never looks idle while the
// thread goes on.
class WaitMark {
public:
    WaitMark(ThreadWait wait, std::function<bool()> released,
             std::optional<SteadyClock::time_point> until = std::nullopt);
    ~WaitMark();
    void end_locked();
    WaitMark(const WaitMark&) = delete;
    WaitMark& operator=(const WaitMark&) = delete;

private:
    bool active_ = false;
};

// The window whose callback started the calling thread; elsewhere the
// window that signalled last (-1 when none has).
int signalling_window();
// Runs callback on a new short-lived thread for the window that signalled.
void spawn_callback(int window, std::function<void()> callback);
// Before the program ends: waits for the callback threads to end entirely,
// when no known thread is left, else for those whose work is done (the
// others are left to end on their own).
void join_callback_threads();
// Every known thread waits (for the user, or in a timed wait whose time is
// not up) or has ended, and no GUI work is outstanding. Under state_mutex().
bool program_idle();
// Number of known threads still running. Under state_mutex().
int known_threads();

// Waits under lock (on state_mutex()) until pred holds or the deadline
// passes; on the GUI thread it keeps the events going meanwhile.
bool wait_state(std::unique_lock<std::mutex>& lock, const std::function<bool()>& pred,
                std::optional<SteadyClock::time_point> deadline = std::nullopt);
SteadyClock::time_point deadline_after(double seconds);

// ---- GUI thread ----

// Starts and ends the GUI on the calling thread (an application must exist).
void install_gui();
void shutdown_gui();
// The GUI exists and has not been shut down.
bool gui_running();
bool on_gui_thread();
// Handles the events waiting on the GUI thread (GUI thread only).
void pump_events();

// Runs work on the GUI thread and waits for it (directly on the GUI
// thread). False when there is no GUI to run it.
bool run_on_gui(const std::function<void()>& work);
// Posts work to the GUI thread without waiting; false when there is no GUI.
bool post_to_gui(std::function<void()> work);

template <class F>
auto on_gui(F&& f) -> std::invoke_result_t<F> {
    using R = std::invoke_result_t<F>;
    if constexpr (std::is_void_v<R>) {
        run_on_gui(std::function<void()>(std::forward<F>(f)));
    } else {
        R result{};
        run_on_gui([&] { result = f(); });
        return result;
    }
}

// Starts the logic thread; finished gets its exit code after every window
// has been closed.
std::thread start_logic(std::function<int()> logic, std::function<void(int)> finished);

// ---- window operations used across files ----

// What the close box of the title bar does (GUI thread).
void user_close(int window);
// Sizes the window to show its whole canvas, at most as large as the screen
// (the rest scrolls), and moves it back onto the screen where it would run
// off it (GUI thread).
void fit_to_screen(Window& window);
// Paints the whole window content (canvas and controls) into an image.
QImage window_image(Window& window);
QImage canvas_copy(Window& window);

// ---- dialogs ----

DialogAnswer ask(DialogRequest request);
// Name filters of a pattern list such as "*.DAT *.txt", matching any case.
QStringList name_filters(std::string_view patterns);

}  // namespace appgraphics::detail
