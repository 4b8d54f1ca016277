#include "platform/testdriver.h"

#include <QAbstractButton>
#include <QApplication>
#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QWheelEvent>

#include <cstdio>
#include <deque>

#include "foundations/runtime.h"
#include "platform/core.h"

namespace testdriver {

using namespace appgraphics::detail;
using appgraphics::DialogAnswer;

namespace {

struct ScriptedDialog {
    DialogRequest request;
    bool answered = false;
    DialogAnswer answer;
};

// Unanswered dialogs, oldest first; under state_mutex().
std::deque<std::shared_ptr<ScriptedDialog>> g_dialogs;
bool g_tearing_down = false;  // dialogs asked now are cancelled at once

DialogAnswer scripted_dialog(const DialogRequest& request) {
    auto dialog = std::make_shared<ScriptedDialog>();
    dialog->request = request;
    auto released = [dialog] { return dialog->answered; };
    WaitMark mark(ThreadWait::Dialog, released);
    std::unique_lock lock(state_mutex());
    if (g_tearing_down) return {};
    g_dialogs.push_back(dialog);
    state_changed().notify_all();
    wait_state(lock, released);
    mark.end_locked();
    return dialog->answer;
}

// Under state_mutex().
void answer_front(bool accepted, std::optional<std::string_view> text) {
    auto dialog = g_dialogs.front();
    g_dialogs.pop_front();
    dialog->answered = true;
    dialog->answer.accepted = accepted;
    if (text) {
        dialog->answer.text = std::string(*text);
    } else if (accepted && dialog->request.kind == DialogKind::RequestText) {
        dialog->answer.text = dialog->request.initial;
    }
    state_changed().notify_all();
}

bool answer(bool accepted, std::optional<std::string_view> text = std::nullopt) {
    std::lock_guard lock(state_mutex());
    if (g_dialogs.empty()) return false;
    answer_front(accepted, text);
    return true;
}

void cancel_dialogs() {
    while (!g_dialogs.empty()) answer_front(false, std::nullopt);
}

// Drops the offscreen platform's notes that it cannot resize windows to
// their contents; everything else goes on to the default handler.
QtMessageHandler g_default_handler = nullptr;

void filter_messages(QtMsgType type, const QMessageLogContext& context, const QString& message) {
    if (message.contains(QLatin1String("propagateSizeHints"))) return;
    if (g_default_handler) g_default_handler(type, context, message);
}

// KALVOR_TEST_SCREEN=<width>x<height>: the windows run headless on one
// screen of that size, which the offscreen platform reads from a file;
// returns the file, or an empty name when the variable is not set.
QString choose_screen() {
    const QStringList size = qEnvironmentVariable("KALVOR_TEST_SCREEN").split(QLatin1Char('x'));
    if (size.size() != 2) return {};
    const QString file = QDir::temp().filePath(
        QStringLiteral("kalvor_screen_%1.json").arg(QCoreApplication::applicationPid()));
    QFile config(file);
    if (!config.open(QIODevice::WriteOnly)) return {};
    config.write(QStringLiteral(R"({"screens": [{"name": "screen", "x": 0, "y": 0, "width": %1, "height": %2,)"
                                R"( "logicalDpi": 96, "logicalBaseDpi": 96, "dpr": 1}]})")
                     .arg(size[0].toInt())
                     .arg(size[1].toInt())
                     .toUtf8());
    config.close();
    qputenv("QT_QPA_PLATFORM", ("offscreen:configfile=" + file).toLocal8Bit());
    return file;
}

void ensure_application() {
    if (!QCoreApplication::instance()) {
        g_default_handler = qInstallMessageHandler(filter_messages);
        const QString screen_file = choose_screen();
        if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
        static int argc = 1;
        static char name[] = "kalvor_test";
        static char* argv[] = {name, nullptr};
        new QApplication(argc, argv);  // lives as long as the test process
        if (!screen_file.isEmpty()) QFile::remove(screen_file);
        QApplication::setQuitOnLastWindowClosed(false);
    }
    install_gui();
}

// Handles the events waiting on the GUI thread, so that work the program
// asked of the GUI gets done even when a test polls the driver in a loop.
void settle() {
    if (on_gui_thread()) pump_events();
}

// Waits until pred (looked at without locks) holds; the GUI keeps going.
bool wait_for(const std::function<bool()>& pred, SteadyClock::time_point deadline) {
    while (!pred()) {
        const auto now = SteadyClock::now();
        if (now >= deadline) return false;
        std::unique_lock lock(state_mutex());
        wait_state(lock, [] { return false; }, std::min(deadline, now + std::chrono::milliseconds(5)));
    }
    return true;
}

std::shared_ptr<Window> open_window(int id) {
    auto w = appgraphics::detail::find_window(id);
    return w && appgraphics::iswindowopen(id) ? w : nullptr;
}

// The first control of the window of that kind, label and parent whose widget still exists.
std::shared_ptr<Control> find(int window, ControlKind kind, std::string_view label, std::optional<int> parent = {}) {
    const std::string wanted = rtrim(label);
    for (auto& c : window_controls(window)) {
        if (c->kind == kind && c->label == wanted && c->object && (!parent || c->parent == *parent)) return c;
    }
    return nullptr;
}

// The window takes input (GUI thread).
bool window_usable(int window) {
    const auto w = open_window(window);
    return w && w->widget && w->widget->isEnabled();
}

bool explicitly_enabled(QObject* object) {
    if (auto* menu = qobject_cast<QMenu*>(object)) return menu->menuAction()->isEnabled();
    if (auto* action = qobject_cast<QAction*>(object)) return action->isEnabled();
    if (auto* widget = qobject_cast<QWidget*>(object)) return !widget->testAttribute(Qt::WA_ForceDisabled);
    return false;
}

Image to_image(const QImage& source) {
    Image out;
    if (source.isNull()) return out;
    const QImage img = source.convertToFormat(QImage::Format_RGB32);
    out.width = img.width();
    out.height = img.height();
    out.pixels.reserve(static_cast<std::size_t>(out.width) * out.height);
    for (int y = 0; y < out.height; ++y) {
        const auto* row = reinterpret_cast<const QRgb*>(img.constScanLine(y));
        for (int x = 0; x < out.width; ++x) out.pixels.push_back(colour_value(row[x]));
    }
    return out;
}

QImage grab_image(int window, bool whole_window) {
    settle();
    const auto w = open_window(window);
    if (!w) return {};
    return whole_window ? on_gui([&] { return window_image(*w); }) : canvas_copy(*w);
}

// Clicks the enabled button or radio button of that label in a window that takes input.
bool click(int window, ControlKind kind, std::string_view label) {
    settle();
    return on_gui([&] {
        const auto c = find(window, kind, label);
        auto* button = c ? qobject_cast<QAbstractButton*>(c->object.data()) : nullptr;
        if (!button || !window_usable(window) || !button->isEnabled()) return false;
        button->click();
        return true;
    });
}

}  // namespace

// ---- session ----

struct Session::State {
    std::thread logic;
    bool started = false;
    bool finished = false;  // under state_mutex()
    int code = 0;
    double time_scale = 1.0;  // to restore
};

Session::Session() : state_(new State) {
    ensure_application();
    {
        std::lock_guard lock(state_mutex());
        g_tearing_down = false;
    }
    set_current_window(nullptr);
    appgraphics::set_dialog_provider(scripted_dialog);
    set_text_logging(true);
    state_->time_scale = runtime::time_scale();
    runtime::set_time_scale(0.0);
}

Session::~Session() {
    const auto deadline = deadline_after(30);
    while (true) {
        appgraphics::closewindow(appgraphics::ALL_WINDOWS);
        std::unique_lock lock(state_mutex());
        g_tearing_down = true;
        cancel_dialogs();
        const auto now = SteadyClock::now();
        const bool done = wait_state(lock, [&] {
            return (!state_->started || state_->finished) && known_threads() == 0;
        }, std::min(deadline, now + std::chrono::milliseconds(50)));
        if (done || SteadyClock::now() >= deadline) break;
    }
    join_callback_threads();
    if (state_->logic.joinable()) {
        bool finished = false;
        {
            std::lock_guard lock(state_mutex());
            finished = state_->finished;
        }
        if (finished) {
            state_->logic.join();
        } else {
            std::fprintf(stderr, "testdriver: the program's logic did not end; left running\n");
            state_->logic.detach();
        }
    }
    set_current_window(nullptr);
    appgraphics::set_dialog_provider({});
    set_text_logging(false);
    runtime::set_time_scale(state_->time_scale);
    delete state_;
}

void Session::start(std::function<int()> logic) {
    state_->started = true;
    State* state = state_;
    state_->logic = start_logic(std::move(logic), [state](int code) {
        std::lock_guard lock(state_mutex());
        state->finished = true;
        state->code = code;
        state_changed().notify_all();
    });
}

bool Session::wait_finished(double timeout_seconds) {
    std::unique_lock lock(state_mutex());
    return wait_state(lock, [&] { return state_->finished; }, deadline_after(timeout_seconds));
}

bool Session::finished() const {
    settle();
    std::lock_guard lock(state_mutex());
    return state_->finished;
}

int Session::exit_code() const {
    std::lock_guard lock(state_mutex());
    return state_->code;
}

// ---- windows and controls ----

std::vector<WindowInfo> windows() {
    settle();
    return on_gui([] {
        std::vector<WindowInfo> out;
        for (auto& w : all_windows(true)) {
            out.push_back({w->id, w->title, w->widget && w->widget->isEnabled(), w->width, w->height});
        }
        return out;
    });
}

int find_window(std::string_view title) {
    const std::string wanted = rtrim(title);
    int found = -1;
    for (const auto& w : windows()) {
        if (w.title == wanted) found = w.id;
    }
    return found;
}

int wait_window(std::string_view title, double timeout_seconds) {
    int found = -1;
    wait_for([&] { return (found = find_window(title)) >= 0; }, deadline_after(timeout_seconds));
    return found;
}

std::vector<ControlInfo> controls(int window) {
    settle();
    return on_gui([&] {
        std::vector<ControlInfo> out;
        for (auto& c : window_controls(window)) {
            if (!c->object) continue;
            ControlInfo info;
            info.id = c->id;
            info.kind = c->kind;
            info.label = c->label;
            info.enabled = explicitly_enabled(c->object);
            if (c->kind == ControlKind::Menu || c->kind == ControlKind::MenuItem || c->kind == ControlKind::Separator) {
                for (auto p = find_control(c->parent); p && p->kind == ControlKind::Menu; p = find_control(p->parent)) {
                    info.path.insert(info.path.begin(), p->label);
                }
                info.path.push_back(c->label);
            }
            if (auto* widget = qobject_cast<QWidget*>(c->object.data()); widget && c->kind != ControlKind::MenuBar) {
                const QRect g = widget->geometry();
                info.left = g.left();
                info.top = g.top();
                info.width = g.width();
                info.height = g.height();
            }
            if (auto* button = qobject_cast<QAbstractButton*>(c->object.data())) {
                info.checked = button->isChecked();
                const QFontMetrics fm(button->font());
                info.label_width = fm.horizontalAdvance(qtext(c->label));
                info.label_height = fm.height();
            }
            if (auto* bar = qobject_cast<QScrollBar*>(c->object.data())) {
                info.minimum = bar->minimum();
                info.maximum = bar->maximum();
                info.position = bar->value();
                info.page = bar->pageStep();
            }
            out.push_back(std::move(info));
        }
        return out;
    });
}

bool click_button(int window, std::string_view label) { return click(window, ControlKind::Button, label); }

bool choose_menu(int window, const std::vector<std::string>& path) {
    settle();
    return on_gui([&] {
        const auto w = open_window(window);
        if (path.empty() || !w || w->menubar < 0 || !window_usable(window)) return false;
        const auto bar = find_control(w->menubar);
        if (!bar || !bar->object || !qobject_cast<QWidget*>(bar->object.data())->isEnabled()) return false;
        int parent = w->menubar;
        for (std::size_t i = 0; i + 1 < path.size(); ++i) {
            const auto menu = find(window, ControlKind::Menu, path[i], parent);
            if (!menu || !explicitly_enabled(menu->object)) return false;
            parent = menu->id;
        }
        const auto item = find(window, ControlKind::MenuItem, path.back(), parent);
        auto* action = item ? qobject_cast<QAction*>(item->object.data()) : nullptr;
        if (!action || !action->isEnabled()) return false;
        action->trigger();
        return true;
    });
}

bool check_radio(int window, std::string_view label) { return click(window, ControlKind::RadioButton, label); }

bool scroll(int window, int position, int index) {
    settle();
    return on_gui([&] {
        int seen = 0;
        for (auto& c : window_controls(window)) {
            auto* bar = qobject_cast<QScrollBar*>(c->object.data());
            if (c->kind != ControlKind::ScrollBar || !bar || seen++ != index) continue;
            if (!window_usable(window) || !bar->isEnabled()) return false;
            const int target = std::clamp(position, bar->minimum(), bar->maximum());
            c->programmatic = false;
            if (bar->value() == target) {
                // The thumb let go where it was: the program still hears of it.
                if (c->scroll_callback) spawn_callback(window, [cb = c->scroll_callback, target] { cb(target); });
            } else {
                bar->setValue(target);
            }
            return true;
        }
        return false;
    });
}

bool close_from_title_bar(int window) {
    settle();
    return on_gui([&] {
        const auto w = open_window(window);
        if (!w || !window_usable(window)) return false;
        w->widget->close();
        return true;
    });
}

bool wheel(int window, int notches) {
    settle();
    return on_gui([&] {
        const auto w = open_window(window);
        if (!w || !w->canvas_widget || !window_usable(window)) return false;
        QWidget* canvas = w->canvas_widget;
        const QPointF at = QRectF(canvas->rect()).center();
        QWheelEvent event(at, canvas->mapToGlobal(at), QPoint(), QPoint(0, -120 * notches), Qt::NoButton,
                          Qt::NoModifier, Qt::NoScrollPhase, false);
        QCoreApplication::sendEvent(canvas, &event);
        return true;
    });
}

// ---- waiting and dialogs ----

bool wait_idle(double timeout_seconds) {
    const auto deadline = deadline_after(timeout_seconds);
    std::unique_lock lock(state_mutex());
    while (true) {
        if (!wait_state(lock, program_idle, deadline)) return false;
        // Let the GUI finish what the last steps asked of it, then look again.
        lock.unlock();
        if (on_gui_thread()) pump_events();
        lock.lock();
        if (program_idle()) return true;
    }
}

std::optional<DialogRequest> wait_dialog(double timeout_seconds) {
    std::unique_lock lock(state_mutex());
    if (!wait_state(lock, [] { return !g_dialogs.empty(); }, deadline_after(timeout_seconds))) return std::nullopt;
    return g_dialogs.front()->request;
}

bool answer_ok() { return answer(true); }
bool answer_yes() { return answer(true); }
bool answer_no() { return answer(false); }
bool answer_cancel() { return answer(false); }
bool answer_text(std::string_view text) { return answer(true, text); }
bool answer_path(std::string_view path) { return answer(true, path); }

// ---- images and texts ----

std::vector<unsigned char> grab_png(int window, bool whole_window) {
    const QImage image = grab_image(window, whole_window);
    if (image.isNull()) return {};
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return {bytes.begin(), bytes.end()};
}

Image grab(int window, bool whole_window) { return to_image(grab_image(window, whole_window)); }

Image decode_png(const std::vector<unsigned char>& png) {
    return to_image(QImage::fromData(png.data(), static_cast<int>(png.size()), "PNG"));
}

namespace {

std::string describe(const InkRecord& ink, const std::string& why) {
    const QRect& b = ink.box;
    return "\"" + ink.text + "\" at " + std::to_string(b.left()) + "," + std::to_string(b.top()) + " size " +
           std::to_string(b.width()) + "x" + std::to_string(b.height()) + ": " + why;
}

// Why the window cannot show every part of its canvas, or empty (GUI thread).
std::string canvas_out_of_reach(const Window& w) {
    QMainWindow* frame = w.widget;
    QScrollArea* view = w.view;
    if (!frame || !view || !frame->screen()) return "the window is not shown";
    if (!frame->screen()->availableGeometry().contains(frame->frameGeometry())) return "the window runs off the screen";
    const QSize shown = view->viewport()->size();
    if (view->horizontalScrollBar()->maximum() < w.width - shown.width() ||
        view->verticalScrollBar()->maximum() < w.height - shown.height()) {
        return "the window can neither show nor scroll to the whole canvas";
    }
    return {};
}

}  // namespace

std::vector<std::string> unreachable_text(int window) {
    settle();
    const auto w = open_window(window);
    if (!w) return {"no such window"};
    std::vector<InkRecord> ink;
    QRect canvas;
    {
        std::lock_guard lock(w->canvas_mutex);
        ink = w->ink;
        canvas = w->canvas.rect();
    }
    return on_gui([&] {
        std::vector<std::string> out;
        const std::string window_fault = canvas_out_of_reach(*w);
        std::vector<QRect> controls;
        for (auto& c : window_controls(window)) {
            auto* widget = qobject_cast<QWidget*>(c->object.data());
            if (widget && c->kind != ControlKind::MenuBar && widget->isVisible()) controls.push_back(widget->geometry());
        }
        for (const auto& line : ink) {
            if (!window_fault.empty()) out.push_back(describe(line, window_fault));
            if (!canvas.contains(line.box)) out.push_back(describe(line, "outside the canvas"));
            for (const QRect& control : controls) {
                if (control.intersects(line.box)) out.push_back(describe(line, "under a control"));
            }
        }
        return out;
    });
}

ScreenSize screen_size() {
    settle();
    return on_gui([] {
        const QScreen* screen = QGuiApplication::primaryScreen();
        return screen ? ScreenSize{screen->geometry().width(), screen->geometry().height()} : ScreenSize{};
    });
}

std::vector<TextRecord> text_log(int window) {
    settle();
    const auto w = appgraphics::detail::find_window(window);
    if (!w) return {};
    std::lock_guard lock(w->canvas_mutex);
    return w->text_log;
}

std::optional<PlotRecord> last_plot(int window) {
    settle();
    const auto w = appgraphics::detail::find_window(window);
    if (!w) return std::nullopt;
    std::lock_guard lock(w->canvas_mutex);
    return w->last_plot;
}

void clear_text_log(int window) {
    const auto w = appgraphics::detail::find_window(window);
    if (!w) return;
    std::lock_guard lock(w->canvas_mutex);
    w->text_log.clear();
}

}  // namespace testdriver
