#include "platform/core.h"

#include <QApplication>
#include <QCoreApplication>
#include <QMainWindow>

#include <QFontInfo>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <exception>
#include <iterator>
#include <memory>
#include <set>
#include <thread>

namespace appgraphics::detail {
namespace {

// ---- registry ----

// A callback thread, kept to be joined once its body is done: after its
// ThreadScope it still runs the thread-local clean-up (Qt's among it),
// which must not overlap the end of the program.
struct CallbackThread {
    std::thread thread;
    std::shared_ptr<std::atomic<bool>> done;
};

struct Registry {
    std::map<int, std::shared_ptr<Window>> windows;
    std::map<int, std::shared_ptr<Control>> controls;
    int next_window = 0;
    int next_control = 1;
    std::set<ThreadRecord*> threads;
    std::vector<CallbackThread> callbacks;
    int gui_tasks = 0;  // posted to the GUI thread and not yet done
};

Registry& registry() {
    static auto* r = new Registry;  // outlives every thread of the program
    return *r;
}

std::atomic<bool> g_text_logging{false};
constexpr std::size_t kTextLogLimit = 20000;

thread_local std::shared_ptr<Window> t_current;
thread_local ThreadRecord* t_record = nullptr;
thread_local int t_signalling = -1;
std::atomic<int> g_last_signalling{-1};

// ---- GUI ----

std::atomic<bool> g_gui_running{false};
std::atomic<std::thread::id> g_gui_thread;
QObject* g_bridge = nullptr;  // lives on the GUI thread; receives posted work

struct GuiTask {
    enum class Stage { Queued, Running, Done, Dropped } stage = Stage::Queued;
    std::function<void()> work;
};

void finish_task(GuiTask& task, GuiTask::Stage stage) {
    std::lock_guard lock(state_mutex());
    task.stage = stage;
    --registry().gui_tasks;
    state_changed().notify_all();
}

// Queues a task; false when there is no GUI.
bool post_task(const std::shared_ptr<GuiTask>& task) {
    {
        std::lock_guard lock(state_mutex());
        if (!g_gui_running || !g_bridge) return false;
        ++registry().gui_tasks;
    }
    QMetaObject::invokeMethod(g_bridge, [task] {
        {
            std::lock_guard lock(state_mutex());
            if (task->stage != GuiTask::Stage::Queued) return;
            task->stage = GuiTask::Stage::Running;
        }
        try {
            task->work();
        } catch (const std::exception& e) {
            std::fprintf(stderr, "Window layer error: %s\n", e.what());
        }
        finish_task(*task, GuiTask::Stage::Done);
    }, Qt::QueuedConnection);
    return true;
}

}  // namespace

// ---- texts ----

namespace {

bool valid_utf8(std::string_view s) {
    for (std::size_t i = 0; i < s.size();) {
        const auto c = static_cast<unsigned char>(s[i]);
        const int n = c < 0x80 ? 0 : (c & 0xE0) == 0xC0 ? 1 : (c & 0xF0) == 0xE0 ? 2 : (c & 0xF8) == 0xF0 ? 3 : -1;
        if (n < 0 || c == 0xC0 || c == 0xC1 || c > 0xF4) return false;
        for (int k = 1; k <= n; ++k) {
            if (i + k >= s.size() || (static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) return false;
        }
        i += static_cast<std::size_t>(n) + 1;
    }
    return true;
}

// Windows-1252 characters 0x80..0x9F; the rest of the code page is Latin-1.
constexpr char16_t kCp1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

}  // namespace

QString qtext(std::string_view text) {
    if (valid_utf8(text)) return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
    QString out;
    out.reserve(static_cast<qsizetype>(text.size()));
    for (char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        out.append(QChar(c >= 0x80 && c < 0xA0 ? kCp1252High[c - 0x80] : char16_t(c)));
    }
    return out;
}

QString qlabel(std::string_view text) {
    return qtext(rtrim(text)).replace(QLatin1Char('&'), QLatin1String("&&"));
}

std::string rtrim(std::string_view text) {
    const auto last = text.find_last_not_of(' ');
    return std::string(last == std::string_view::npos ? std::string_view{} : text.substr(0, last + 1));
}

std::vector<std::string_view> split_lines(std::string_view text) {
    std::vector<std::string_view> lines;
    std::size_t start = 0;
    while (true) {
        const auto end = text.find('\n', start);
        auto line = text.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        lines.push_back(line);
        if (end == std::string_view::npos) break;
        start = end + 1;
    }
    return lines;
}

QFont make_font(int font, int size) {
    QFont f;
    if (font == MONOSPACE_FONT) {
        f.setFamilies({QStringLiteral("DejaVu Sans Mono"), QStringLiteral("Liberation Mono"),
                       QStringLiteral("Noto Sans Mono"), QStringLiteral("Courier New"), QStringLiteral("monospace")});
        f.setStyleHint(QFont::TypeWriter);
        f.setFixedPitch(true);
    } else {
        f.setFamilies({QStringLiteral("DejaVu Sans"), QStringLiteral("Liberation Sans"),
                       QStringLiteral("Noto Sans"), QStringLiteral("Arial"), QStringLiteral("sans-serif")});
        f.setStyleHint(QFont::SansSerif);
    }
    f.setPixelSize(size > 0 ? size : 1);
    return f;
}

QColor qcolor(int color) {
    return QColor(color & 0xFF, (color >> 8) & 0xFF, (color >> 16) & 0xFF);
}

int colour_value(QRgb rgb) {
    return creatergb(qRed(rgb), qGreen(rgb), qBlue(rgb));
}

// ---- windows ----

Window::Window(int id_, std::string title_, int width_, int height_, bool closeflag_)
    : id(id_), title(std::move(title_)), width(width_), height(height_), closeflag(closeflag_),
      canvas(width_, height_, QImage::Format_RGB32) {
    canvas.fill(Qt::white);
    state.viewport = QRect(QPoint(0, 0), QPoint(width - 1, height - 1));
    rebuild_pen();
    rebuild_font();
}

QPainter& Window::painter() {
    if (!painter_) {
        painter_ = std::make_unique<QPainter>(&canvas);
        painter_->setRenderHint(QPainter::Antialiasing, false);
        painter_->setRenderHint(QPainter::TextAntialiasing, true);
    }
    return *painter_;
}

void Window::end_painting() {
    if (painter_) {
        painter_->end();
        painter_.reset();
    }
}

void Window::rebuild_pen() {
    QPen pen(qcolor(state.color));
    pen.setWidth(state.thickness == 1 ? 0 : state.thickness);  // 0: one-pixel lines on the fast path
    pen.setCapStyle(Qt::SquareCap);
    pen.setJoinStyle(Qt::MiterJoin);
    QList<qreal> dashes;
    switch (state.linestyle) {
    case DOTTED_LINE: dashes = {2, 2}; break;
    case CENTER_LINE: dashes = {12, 3, 3, 3}; break;
    case DASHED_LINE: dashes = {6, 3}; break;
    case USERBIT_LINE: {
        // Runs of equal bits of the 16-bit pattern, first run drawn.
        unsigned bits = state.pattern & 0xFFFF;
        if (bits == 0xFFFF || bits == 0) break;
        while (!(bits & 0x8000)) bits = ((bits << 1) | (bits >> 15)) & 0xFFFF;  // start on a set bit
        bool on = true;
        int run = 0;
        for (int b = 15; b >= 0; --b) {
            const bool bit = (bits >> b) & 1;
            if (bit == on) {
                ++run;
            } else {
                dashes.append(run);
                on = bit;
                run = 1;
            }
        }
        dashes.append(run);
        if (dashes.size() % 2) dashes.append(0);
        break;
    }
    default: break;
    }
    if (!dashes.isEmpty()) {
        // Dash lengths are in pen widths; keep them in pixels.
        if (state.thickness > 1) {
            for (auto& d : dashes) d /= state.thickness;
        }
        pen.setCapStyle(Qt::FlatCap);
        pen.setDashPattern(dashes);
    }
    state.pen = pen;
}

void Window::rebuild_font() {
    state.qfont = make_font(state.font, state.size);
    state.metrics.emplace(state.qfont);
    state.fixed_advance =
        QFontInfo(state.qfont).fixedPitch() ? QFontMetricsF(state.qfont).horizontalAdvance(QLatin1Char('M')) : 0.0;
}

int text_advance(const DrawState& state, const QString& line) {
    // A fixed-pitch font needs no shaping for plain ASCII: n equal advances.
    if (state.fixed_advance > 0.0 &&
        std::all_of(line.begin(), line.end(), [](QChar c) { return c.unicode() >= 0x20 && c.unicode() < 0x7F; })) {
        return static_cast<int>(std::lround(line.size() * state.fixed_advance));
    }
    return state.metrics->horizontalAdvance(line);
}

std::mutex& state_mutex() {
    static auto* m = new std::mutex;
    return *m;
}

std::condition_variable& state_changed() {
    static auto* cv = new std::condition_variable;
    return *cv;
}

std::shared_ptr<Window> find_window(int id) {
    std::lock_guard lock(state_mutex());
    auto& w = registry().windows;
    const auto it = w.find(id);
    return it == w.end() ? nullptr : it->second;
}

const std::shared_ptr<Window>& current_window() { return t_current; }

void set_current_window(std::shared_ptr<Window> window) { t_current = std::move(window); }

std::shared_ptr<Window> add_window(std::string title, int width, int height, bool closeflag) {
    std::lock_guard lock(state_mutex());
    const int id = registry().next_window++;
    auto w = std::make_shared<Window>(id, std::move(title), width, height, closeflag);
    registry().windows[id] = w;
    return w;
}

std::shared_ptr<Control> add_control(int window, testdriver::ControlKind kind, std::string label, int parent) {
    std::lock_guard lock(state_mutex());
    auto c = std::make_shared<Control>();
    c->id = registry().next_control++;
    c->window = window;
    c->kind = kind;
    c->label = std::move(label);
    c->parent = parent;
    registry().controls[c->id] = c;
    return c;
}

std::shared_ptr<Control> find_control(int id) {
    std::lock_guard lock(state_mutex());
    auto& c = registry().controls;
    const auto it = c.find(id);
    return it == c.end() ? nullptr : it->second;
}

void remove_control(int id) {
    std::lock_guard lock(state_mutex());
    registry().controls.erase(id);
}

std::vector<std::shared_ptr<Window>> all_windows(bool open_only) {
    std::lock_guard lock(state_mutex());
    std::vector<std::shared_ptr<Window>> out;
    for (auto& [id, w] : registry().windows) {
        if (!open_only || !w->closed) out.push_back(w);
    }
    return out;
}

std::vector<std::shared_ptr<Control>> window_controls(int window) {
    std::lock_guard lock(state_mutex());
    std::vector<std::shared_ptr<Control>> out;
    for (auto& [id, c] : registry().controls) {
        if (c->window == window) out.push_back(c);
    }
    return out;
}

void set_text_logging(bool on) { g_text_logging = on; }

bool text_logging() { return g_text_logging; }

void log_text(Window& window, testdriver::TextRecord record) {
    if (!g_text_logging) return;
    auto& log = window.text_log;
    if (log.size() >= kTextLogLimit) log.erase(log.begin(), log.begin() + kTextLogLimit / 2);
    log.push_back(std::move(record));
}

void log_ink(Window& window, InkRecord record) {
    if (!g_text_logging) return;
    auto& ink = window.ink;
    if (ink.size() >= kTextLogLimit) ink.erase(ink.begin(), ink.begin() + kTextLogLimit / 2);
    ink.push_back(std::move(record));
}

void wipe_ink(Window& window, const QRect& cleared) {
    std::erase_if(window.ink, [&](const InkRecord& r) { return r.box.intersects(cleared); });
}

QRect reaching_past_border(const QRect& area, const Window& window) {
    constexpr int kFar = 1 << 24;
    QRect r = area;
    if (r.left() <= 0) r.setLeft(-kFar);
    if (r.top() <= 0) r.setTop(-kFar);
    if (r.right() >= window.width - 1) r.setRight(kFar);
    if (r.bottom() >= window.height - 1) r.setBottom(kFar);
    return r;
}

void log_plot(Window& window, testdriver::PlotRecord record) {
    if (g_text_logging) window.last_plot = std::move(record);
}

// ---- threads ----

ThreadRecord* register_thread() {
    std::lock_guard lock(state_mutex());
    auto* record = new ThreadRecord;
    registry().threads.insert(record);
    return record;
}

ThreadScope::ThreadScope(ThreadRecord* record, int signalling) {
    t_record = record;
    t_signalling = signalling;
    t_current = signalling >= 0 ? find_window(signalling) : nullptr;
}

ThreadScope::~ThreadScope() {
    t_current.reset();
    std::lock_guard lock(state_mutex());
    registry().threads.erase(t_record);
    delete t_record;
    t_record = nullptr;
    state_changed().notify_all();
}

WaitMark::WaitMark(ThreadWait wait, std::function<bool()> released, std::optional<SteadyClock::time_point> until) {
    if (!t_record) return;
    std::lock_guard lock(state_mutex());
    t_record->wait = wait;
    t_record->released = std::move(released);
    t_record->until = until;
    active_ = true;
    state_changed().notify_all();
}

void WaitMark::end_locked() {
    if (!active_) return;
    t_record->wait = ThreadWait::None;
    t_record->released = nullptr;
    t_record->until.reset();
    active_ = false;
}

WaitMark::~WaitMark() {
    if (!active_) return;
    std::lock_guard lock(state_mutex());
    end_locked();
}

int signalling_window() { return t_signalling >= 0 ? t_signalling : g_last_signalling.load(); }

void spawn_callback(int window, std::function<void()> callback) {
    if (!callback) return;
    g_last_signalling = window;
    ThreadRecord* record = register_thread();
    auto done = std::make_shared<std::atomic<bool>>(false);
    auto body = [record, window, callback = std::move(callback), done]() mutable {
        {
            ThreadScope scope(record, window);
            // Moved in here so that what the callback holds is released
            // before the thread counts as ended.
            const auto run = std::move(callback);
            try {
                run();
            } catch (const std::exception& e) {
                std::fprintf(stderr, "Error in a window callback: %s\n", e.what());
            }
        }
        done->store(true);
    };
    std::thread thread;
    try {
        thread = std::thread(std::move(body));
    } catch (const std::system_error& e) {
        std::fprintf(stderr, "Window callback not started: %s\n", e.what());
        std::lock_guard lock(state_mutex());
        registry().threads.erase(record);
        delete record;
        state_changed().notify_all();
        return;
    }
    // The callback threads done by now are joined (outside the lock).
    std::vector<CallbackThread> ended;
    {
        std::lock_guard lock(state_mutex());
        auto& callbacks = registry().callbacks;
        const auto first_done = std::partition(callbacks.begin(), callbacks.end(),
                                               [](const CallbackThread& t) { return !t.done->load(); });
        std::move(first_done, callbacks.end(), std::back_inserter(ended));
        callbacks.erase(first_done, callbacks.end());
        callbacks.push_back({std::move(thread), std::move(done)});
    }
    for (CallbackThread& t : ended) t.thread.join();
}

void join_callback_threads() {
    std::vector<CallbackThread> callbacks;
    bool all_ended = false;
    {
        std::lock_guard lock(state_mutex());
        callbacks.swap(registry().callbacks);
        all_ended = known_threads() == 0;
    }
    // Once no thread is known, every callback thread is past its body's
    // work and ends soon; otherwise those still in their work are left.
    for (CallbackThread& t : callbacks) {
        if (all_ended || t.done->load())
            t.thread.join();
        else
            t.thread.detach();
    }
}

bool program_idle() {
    if (registry().gui_tasks > 0) return false;
    const auto now = SteadyClock::now();
    for (const ThreadRecord* t : registry().threads) {
        if (t->wait == ThreadWait::None || !t->released || t->released()) return false;
        if (t->until && now >= *t->until) return false;
    }
    return true;
}

int known_threads() { return static_cast<int>(registry().threads.size()); }

SteadyClock::time_point deadline_after(double seconds) {
    // Beyond about thirty years a wait is as good as endless, and the clock's
    // count of nanoseconds would overflow.
    constexpr double kFarFuture = 1e9;
    return SteadyClock::now() + std::chrono::duration_cast<SteadyClock::duration>(
                                    std::chrono::duration<double>(seconds > 0 ? std::min(seconds, kFarFuture) : 0));
}

bool wait_state(std::unique_lock<std::mutex>& lock, const std::function<bool()>& pred,
                std::optional<SteadyClock::time_point> deadline) {
    while (!pred()) {
        const auto now = SteadyClock::now();
        if (deadline && now >= *deadline) return false;
        if (on_gui_thread()) {
            lock.unlock();
            pump_events();
            lock.lock();
            if (pred()) break;
            // Woken early by any change of state; events are looked at again soon.
            auto until = now + std::chrono::milliseconds(2);
            if (deadline && *deadline < until) until = *deadline;
            state_changed().wait_until(lock, until);
        } else if (deadline) {
            state_changed().wait_until(lock, *deadline);
        } else {
            state_changed().wait(lock);
        }
    }
    return true;
}

// ---- GUI ----

void install_gui() {
    g_gui_thread = std::this_thread::get_id();
    if (!g_bridge) g_bridge = new QObject;
    // Load the fonts once on this thread before any other thread draws text.
    for (int font : {SANS_SERIF_FONT, MONOSPACE_FONT}) QFontMetrics(make_font(font, 14)).height();
    std::lock_guard lock(state_mutex());
    g_gui_running = true;
}

void shutdown_gui() {
    std::lock_guard lock(state_mutex());
    g_gui_running = false;
    state_changed().notify_all();
}

bool gui_running() { return g_gui_running; }

bool on_gui_thread() { return g_gui_running && std::this_thread::get_id() == g_gui_thread; }

void pump_events() {
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

bool run_on_gui(const std::function<void()>& work) {
    if (on_gui_thread()) {
        work();
        return true;
    }
    auto task = std::make_shared<GuiTask>();
    task->work = work;  // references of the caller stay valid: it waits below
    if (!post_task(task)) return false;
    std::unique_lock lock(state_mutex());
    wait_state(lock, [&] {
        if (task->stage == GuiTask::Stage::Done) return true;
        if (!g_gui_running && task->stage == GuiTask::Stage::Queued) {
            task->stage = GuiTask::Stage::Dropped;
            --registry().gui_tasks;
            return true;
        }
        return false;
    });
    return task->stage == GuiTask::Stage::Done;
}

bool post_to_gui(std::function<void()> work) {
    if (on_gui_thread()) {
        work();
        return true;
    }
    auto task = std::make_shared<GuiTask>();
    task->work = std::move(work);
    return post_task(task);
}

// ---- logic thread and application ----

std::thread start_logic(std::function<int()> logic, std::function<void(int)> finished) {
    ThreadRecord* record = register_thread();
    return std::thread([record, logic = std::move(logic), finished = std::move(finished)] {
        int code = 1;
        {
            ThreadScope scope(record, -1);
            try {
                code = logic();
            } catch (const std::exception& e) {
                std::fprintf(stderr, "Error: %s\n", e.what());
            } catch (...) {
                std::fprintf(stderr, "Error: unknown exception\n");
            }
            closewindow(ALL_WINDOWS);
        }
        finished(code);
    });
}

}  // namespace appgraphics::detail

namespace appgraphics {

int run_application(int argc, char** argv, std::function<int()> logic) {
    using namespace detail;
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    install_gui();
    int exit_code = 0;
    std::thread logic_thread = start_logic(std::move(logic), [&exit_code](int code) {
        exit_code = code;
        QMetaObject::invokeMethod(qApp, [] { QCoreApplication::quit(); }, Qt::QueuedConnection);
    });
    QApplication::exec();
    shutdown_gui();
    logic_thread.join();
    // Give callbacks that are still running (released by the closing of
    // every window) a moment to end before the application goes.
    {
        std::unique_lock lock(state_mutex());
        state_changed().wait_for(lock, std::chrono::seconds(5), [] { return known_threads() == 0; });
    }
    join_callback_threads();
    return exit_code;
}

}  // namespace appgraphics
