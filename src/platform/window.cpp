// Windows: making, closing, the current window, enabling, the close box and
// the idle wait.

#include <QCloseEvent>
#include <QCoreApplication>
#include <QLayout>
#include <QMainWindow>
#include <QPaintEvent>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QStyle>
#include <QWheelEvent>
#include <QWidget>

#include <algorithm>

#include "foundations/runtime.h"
#include "platform/core.h"

namespace appgraphics::detail {
namespace {

thread_local int t_graph_result = grOk;
std::atomic<bool> g_refresh_posted{false};

// Shows a window's canvas; the controls are its children.
class CanvasWidget : public QWidget {
public:
    CanvasWidget(const std::shared_ptr<Window>& window, QWidget* parent)
        : QWidget(parent), window_(window) {
        setFixedSize(window->width, window->height);
        setAttribute(Qt::WA_OpaquePaintEvent);
    }

protected:
    void paintEvent(QPaintEvent* event) override {
        QPainter p(this);
        const auto window = window_.lock();
        if (!window) return;
        std::lock_guard lock(window->canvas_mutex);
        window->end_painting();
        if (window->canvas.isNull()) {
            p.fillRect(event->rect(), Qt::white);
        } else {
            p.drawImage(event->rect().topLeft(), window->canvas, event->rect());
        }
    }

    // The wheel moves the program's own vertical scroll bar where it made
    // one; otherwise it scrolls the view of the canvas.
    void wheelEvent(QWheelEvent* event) override {
        for (auto* bar : findChildren<QScrollBar*>(Qt::FindDirectChildrenOnly)) {
            if (bar->orientation() != Qt::Vertical || !bar->isVisible()) continue;
            QCoreApplication::sendEvent(bar, event);
            event->accept();
            return;
        }
        event->ignore();
    }

private:
    std::weak_ptr<Window> window_;
};

class WindowWidget : public QMainWindow {
public:
    explicit WindowWidget(int id) : id_(id) {}

protected:
    // Only the user closes a window this way; the program closes by id.
    void closeEvent(QCloseEvent* event) override {
        event->ignore();
        user_close(id_);
    }

private:
    int id_;
};

bool is_open(const std::shared_ptr<Window>& window) {
    std::lock_guard lock(state_mutex());
    return window && !window->closed;
}

}  // namespace

void user_close(int id) {
    const auto window = find_window(id);
    if (!is_open(window) || !window->widget || !window->widget->isEnabled()) return;
    CloseCallback callback;
    {
        std::lock_guard lock(state_mutex());
        callback = window->close_callback;
    }
    const int target = window->closeflag ? ALL_WINDOWS : id;
    if (callback) {
        spawn_callback(id, [callback, target] {
            if (callback()) closewindow(target);
        });
    } else {
        closewindow(target);
    }
}

void fit_to_screen(Window& window) {
    QMainWindow* frame = window.widget;
    QScrollArea* view = window.view;
    QScreen* screen = frame ? frame->screen() : nullptr;
    if (!view || !screen) return;
    constexpr int kSmallest = 100;
    const QRect room = screen->availableGeometry();
    const QRect outer = frame->frameGeometry();
    const QRect inner = frame->geometry();
    const int frame_w = outer.width() - inner.width();
    const int frame_h = outer.height() - inner.height();
    const int menu = frame->menuWidget() ? frame->menuWidget()->sizeHint().height() : 0;
    const int max_w = std::max(room.width() - frame_w, kSmallest);
    const int max_h = std::max(room.height() - frame_h - menu, kSmallest);

    const QSize canvas(window.width, window.height);
    const int bar = view->style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, view);
    bool across = canvas.width() > max_w;
    bool down = canvas.height() > max_h - (across ? bar : 0);
    across = canvas.width() > max_w - (down ? bar : 0);
    const QSize shown(std::min(canvas.width() + (down ? bar : 0), max_w),
                      std::min(canvas.height() + (across ? bar : 0), max_h));
    view->setFixedSize(shown);

    // The window keeps its place unless it would run off the screen; then it
    // moves back just far enough.
    const QSize whole(shown.width() + frame_w, shown.height() + menu + frame_h);
    const QPoint at(std::max(room.left(), std::min(outer.left(), room.right() + 1 - whole.width())),
                    std::max(room.top(), std::min(outer.top(), room.bottom() + 1 - whole.height())));
    if (at != outer.topLeft()) frame->move(at);
}

QImage canvas_copy(Window& window) {
    std::lock_guard lock(window.canvas_mutex);
    window.end_painting();
    return window.canvas.copy();
}

QImage window_image(Window& window) {
    if (!window.canvas_widget) return canvas_copy(window);
    return window.canvas_widget->grab().toImage().convertToFormat(QImage::Format_RGB32);
}

}  // namespace appgraphics::detail

namespace appgraphics {

using namespace detail;

int initwindow(int width, int height, std::string_view title, int left, int top, bool closeflag) {
    if (!gui_running()) {
        t_graph_result = grNoInitGraph;
        return -1;
    }
    if (width <= 0 || height <= 0 || width > 32767 || height > 32767) {
        t_graph_result = grError;
        return -1;
    }
    auto window = add_window(rtrim(title), width, height, closeflag);
    const bool made = run_on_gui([&] {
        if (!is_open(window)) return;  // closed by another thread meanwhile (closewindow(ALL_WINDOWS))
        auto* widget = new WindowWidget(window->id);
        widget->setWindowTitle(qtext(window->title));
        auto* view = new QScrollArea(widget);
        view->setFrameShape(QFrame::NoFrame);
        auto* canvas = new CanvasWidget(window, view);
        view->setWidget(canvas);
        widget->setCentralWidget(view);
        widget->layout()->setSizeConstraint(QLayout::SetFixedSize);
        if (left != DEFAULT_POSITION || top != DEFAULT_POSITION) {
            widget->move(left != DEFAULT_POSITION ? left : widget->x(), top != DEFAULT_POSITION ? top : widget->y());
        }
        window->widget = widget;
        window->canvas_widget = canvas;
        window->view = view;
        fit_to_screen(*window);
        widget->show();
        fit_to_screen(*window);  // again with the frame the window got on showing
    });
    if (!made) {
        closewindow(window->id);
        t_graph_result = grNoInitGraph;
        return -1;
    }
    set_current_window(window);
    t_graph_result = grOk;
    return window->id;
}

void closewindow(int id) {
    std::vector<std::shared_ptr<Window>> candidates;
    if (id == ALL_WINDOWS) {
        candidates = all_windows(true);
    } else if (auto w = find_window(id)) {
        candidates.push_back(std::move(w));
    }
    std::vector<std::shared_ptr<Window>> targets;
    {
        std::lock_guard lock(state_mutex());
        for (auto& w : candidates) {
            if (w->closed) continue;
            w->closed = true;  // ends every wait on it
            targets.push_back(w);
        }
        state_changed().notify_all();
    }
    if (targets.empty()) return;
    for (auto& w : targets) {
        std::lock_guard lock(w->canvas_mutex);
        w->end_painting();
        w->canvas = QImage();
    }
    run_on_gui([&] {
        for (auto& w : targets) {
            if (w->widget) {
                w->widget->hide();
                w->widget->deleteLater();
            }
            w->widget = nullptr;
            w->canvas_widget = nullptr;
            w->view = nullptr;
        }
    });
}

void setwindowsize(int width, int height) {
    const auto window = current_window();
    if (!is_open(window) || width <= 0 || height <= 0 || width > 32767 || height > 32767) return;
    {
        std::lock_guard lock(window->canvas_mutex);
        if (window->canvas.isNull()) return;
        window->end_painting();
        QImage resized(width, height, QImage::Format_RGB32);
        resized.fill(Qt::white);
        QPainter(&resized).drawImage(0, 0, window->canvas);
        auto& viewport = window->state.viewport;
        if (viewport == window->canvas.rect()) viewport = resized.rect();
        window->canvas = std::move(resized);
        window->width = width;
        window->height = height;
    }
    on_gui([&] {
        if (!window->canvas_widget) return;
        window->canvas_widget->setFixedSize(width, height);
        fit_to_screen(*window);
    });
}

bool iswindowopen(int id) { return is_open(find_window(id)); }

void setcurrentwindow(int id) {
    auto window = find_window(id);
    if (is_open(window)) set_current_window(std::move(window));
}

int getcurrentwindow() {
    const auto& w = current_window();
    return w ? w->id : -1;
}

int getsignallingwindow() { return signalling_window(); }

void enablewindow(int id, bool enable) {
    const auto window = find_window(id);
    if (!is_open(window)) return;
    on_gui([&] {
        if (window->widget) window->widget->setEnabled(enable);
    });
}

int graphresult() {
    const int result = t_graph_result;
    t_graph_result = grOk;
    return result;
}

void setwindowsystemclosecallback(CloseCallback callback) {
    const auto& window = current_window();
    if (!window) return;
    std::lock_guard lock(state_mutex());
    if (!window->closed) window->close_callback = std::move(callback);
}

void refreshall() {
    // One repaint request at a time is enough: it shows the canvas as it is then.
    if (!gui_running() || g_refresh_posted.exchange(true)) return;
    const bool posted = post_to_gui([] {
        g_refresh_posted = false;
        for (auto& w : all_windows(true)) {
            if (w->canvas_widget) w->canvas_widget->update();
        }
    });
    if (!posted) g_refresh_posted = false;
}

void loop() {
    const auto window = current_window();
    if (!window) return;
    refreshall();
    auto released = [window] { return window->pending || window->closed; };
    WaitMark mark(ThreadWait::Loop, released);
    std::unique_lock lock(state_mutex());
    wait_state(lock, released);
    window->pending = false;
    mark.end_locked();
}

bool startidle(int milliseconds) {
    const auto window = current_window();
    if (!window) return true;
    refreshall();
    const double seconds = (milliseconds > 0 ? milliseconds : 0) / 1000.0 * runtime::time_scale();
    const auto deadline = deadline_after(seconds);
    auto released = [window] { return window->pending || window->closed; };
    WaitMark mark(ThreadWait::Timed, released, deadline);
    std::unique_lock lock(state_mutex());
    const bool woken = wait_state(lock, released, deadline);
    mark.end_locked();
    return woken;
}

void stopidle() {
    const auto& window = current_window();
    if (!window) return;
    std::lock_guard lock(state_mutex());
    if (window->closed) return;
    window->pending = true;
    state_changed().notify_all();
}

}  // namespace appgraphics
