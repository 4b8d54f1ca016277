// Menus, buttons, radio buttons and scroll bars. The widgets live on the
// GUI thread; their callbacks run on threads of their own.

#include <QAbstractButton>
#include <QButtonGroup>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>

#include <algorithm>

#include "platform/core.h"

namespace appgraphics {

using detail::Control;
using detail::Window;
using testdriver::ControlKind;

namespace {

std::shared_ptr<Window> open_window(std::shared_ptr<Window> window) {
    std::lock_guard lock(detail::state_mutex());
    return window && !window->closed ? window : nullptr;
}

std::shared_ptr<Window> open_current() { return open_window(detail::current_window()); }

// The widget or action of a control (GUI thread), nullptr once it is gone.
template <class T>
T* object_of(const std::shared_ptr<Control>& control) {
    return control ? qobject_cast<T*>(control->object.data()) : nullptr;
}

// The menu bar of a window, made on first use (GUI thread).
QMenuBar* menu_bar(Window& window) {
    if (window.menubar < 0) {
        auto control = detail::add_control(window.id, ControlKind::MenuBar, "", -1);
        control->object = window.widget->menuBar();
        window.menubar = control->id;
    }
    return window.widget->menuBar();
}

constexpr int kControlFontSize = 11;
constexpr int kButtonPadding = 8;  // across the label of a push button, both sides together

// The size a control needs to show its whole label (GUI thread).
QSize label_size(const QWidget& widget) {
    if (auto* radio = qobject_cast<const QRadioButton*>(&widget)) return radio->sizeHint();
    auto* button = qobject_cast<const QAbstractButton*>(&widget);
    if (!button) return {0, 0};
    QString label = button->text();
    label.replace(QLatin1String("&&"), QLatin1String("&"));
    const QFontMetrics fm(button->font());
    return {fm.horizontalAdvance(label) + kButtonPadding, fm.height() + 2};
}

// Moves a control, at least as large as its label needs (GUI thread).
void set_geometry(QWidget& widget, int left, int top, int width, int height) {
    const QSize least = label_size(widget);
    widget.setGeometry(left, top, std::max(width, least.width()), std::max(height, least.height()));
}

// Places a new widget on the canvas of the window (GUI thread).
void place(QWidget* widget, int left, int top, int width, int height) {
    if (qobject_cast<QAbstractButton*>(widget)) widget->setFont(detail::make_font(SANS_SERIF_FONT, kControlFontSize));
    set_geometry(*widget, left, top, width, height);
    widget->show();
}

// Makes a control for a widget of the current window; -1 when there is none.
template <class Make>
int make_control(ControlKind kind, std::string_view label, Make&& make) {
    const auto window = open_current();
    if (!window) return -1;
    return detail::on_gui([&]() -> int {
        if (!window->canvas_widget) return -1;
        auto control = detail::add_control(window->id, kind, detail::rtrim(label), -1);
        control->object = make(*window, control);
        return control->id;
    });
}

// Runs f on the GUI thread with the control's widget of type T, if it still exists.
template <class T, class F>
void with_object(int id, F&& f) {
    const auto control = detail::find_control(id);
    if (!control) return;
    detail::on_gui([&] {
        if (auto* object = object_of<T>(control)) f(*object, *control);
    });
}

}  // namespace

// ---- menus ----

int addmenu(std::string_view text, int parent) {
    const auto parent_control = parent >= 0 ? detail::find_control(parent) : nullptr;
    if (parent >= 0 && !parent_control) return -1;
    const auto window = parent_control ? open_window(detail::find_window(parent_control->window)) : open_current();
    if (!window) return -1;
    const std::string label = detail::rtrim(text);
    return detail::on_gui([&]() -> int {
        if (!window->widget) return -1;
        QMenuBar* bar = menu_bar(*window);
        if (label.empty() && parent < 0) return window->menubar;
        QMenu* menu = nullptr;
        if (parent_control && parent_control->kind == ControlKind::Menu) {
            auto* parent_menu = object_of<QMenu>(parent_control);
            if (!parent_menu) return -1;
            menu = parent_menu->addMenu(detail::qlabel(label));
        } else {
            menu = bar->addMenu(detail::qlabel(label));
            detail::fit_to_screen(*window);  // the bar may have grown
        }
        const int parent_id = parent_control ? parent_control->id : window->menubar;
        auto control = detail::add_control(window->id, ControlKind::Menu, label, parent_id);
        control->object = menu;
        return control->id;
    });
}

namespace {

// Adds an item (or separator) to a menu or the menu bar; -1 when there is none.
int add_to_menu(int parent, ControlKind kind, std::string_view text, Callback callback) {
    const auto parent_control = detail::find_control(parent);
    if (!parent_control) return -1;
    return detail::on_gui([&]() -> int {
        QAction* action = nullptr;
        const QString label = detail::qlabel(text);
        if (auto* menu = object_of<QMenu>(parent_control)) {
            action = kind == ControlKind::Separator ? menu->addSeparator() : menu->addAction(label);
        } else if (auto* bar = object_of<QMenuBar>(parent_control)) {
            action = kind == ControlKind::Separator ? bar->addSeparator() : bar->addAction(label);
        } else {
            return -1;
        }
        auto control = detail::add_control(parent_control->window, kind, detail::rtrim(text), parent);
        control->object = action;
        control->callback = std::move(callback);
        if (kind == ControlKind::MenuItem) {
            QObject::connect(action, &QAction::triggered, action,
                             [control] { detail::spawn_callback(control->window, control->callback); });
        }
        return control->id;
    });
}

}  // namespace

int addmenuitem(std::string_view text, int parent, Callback callback) {
    return add_to_menu(parent, ControlKind::MenuItem, text, std::move(callback));
}

int addmenuseparator(int parent) { return add_to_menu(parent, ControlKind::Separator, "", nullptr); }

void enablemenuitem(int id, bool enable) {
    with_object<QObject>(id, [&](QObject& object, Control&) {
        if (auto* menu = qobject_cast<QMenu*>(&object)) {
            menu->menuAction()->setEnabled(enable);
        } else if (auto* action = qobject_cast<QAction*>(&object)) {
            action->setEnabled(enable);
        } else if (auto* widget = qobject_cast<QWidget*>(&object)) {
            widget->setEnabled(enable);
        }
    });
}

// ---- buttons ----

int createbutton(int left, int top, int width, int height, std::string_view text, Callback callback) {
    return make_control(ControlKind::Button, text, [&](Window& window, const std::shared_ptr<Control>& control) {
        control->callback = std::move(callback);
        auto* button = new QPushButton(detail::qlabel(text), window.canvas_widget);
        place(button, left, top, width, height);
        QObject::connect(button, &QPushButton::clicked, button,
                         [control] { detail::spawn_callback(control->window, control->callback); });
        return button;
    });
}

void enablebutton(int id, bool enable) {
    with_object<QWidget>(id, [&](QWidget& widget, Control&) { widget.setEnabled(enable); });
}

void setbuttonposition(int id, int left, int top, int width, int height) {
    with_object<QWidget>(id, [&](QWidget& widget, Control&) { set_geometry(widget, left, top, width, height); });
}

void removebutton(int id) {
    with_object<QWidget>(id, [&](QWidget& widget, Control&) {
        widget.hide();
        widget.deleteLater();
    });
    detail::remove_control(id);
}

// ---- radio buttons ----

void beginradiogroup() {
    const auto window = open_current();
    if (!window) return;
    std::lock_guard lock(detail::state_mutex());
    ++window->radio_group;
}

int createradiobutton_nohandler(int left, int top, int width, int height, std::string_view text) {
    const auto window = open_current();
    if (!window) return -1;
    int group = 0;
    {
        std::lock_guard lock(detail::state_mutex());
        group = window->radio_group;
    }
    return make_control(ControlKind::RadioButton, text, [&](Window& w, const std::shared_ptr<Control>& control) {
        auto* radio = new QRadioButton(detail::qlabel(text), w.canvas_widget);
        auto& buttons = w.radio_groups[group];
        if (!buttons) buttons = new QButtonGroup(w.canvas_widget);
        buttons->addButton(radio);
        place(radio, left, top, width, height);
        QObject::connect(radio, &QRadioButton::toggled, radio, [control](bool on) { control->checked = on; });
        return radio;
    });
}

bool radiobuttonischecked(int id) {
    const auto control = detail::find_control(id);
    return control && control->kind == ControlKind::RadioButton && control->checked;
}

void radiobuttonsetchecked(int id, bool checked) {
    with_object<QRadioButton>(id, [&](QRadioButton& radio, Control&) { radio.setChecked(checked); });
}

// ---- scroll bars ----

int createscrollbar(int left, int top, int width, int height, int orientation, ScrollCallback callback) {
    return make_control(ControlKind::ScrollBar, "", [&](Window& window, const std::shared_ptr<Control>& control) {
        control->scroll_callback = std::move(callback);
        auto* bar = new QScrollBar(orientation == SCROLL_VERTICAL ? Qt::Vertical : Qt::Horizontal,
                                   window.canvas_widget);
        bar->setTracking(false);  // report where the thumb is let go, not every step of a drag
        place(bar, left, top, width, height);
        QObject::connect(bar, &QScrollBar::valueChanged, bar, [control](int position) {
            if (control->programmatic || !control->scroll_callback) return;
            detail::spawn_callback(control->window, [callback = control->scroll_callback, position] {
                callback(position);
            });
        });
        return bar;
    });
}

void setscrollrange(int id, int minimum, int maximum) {
    with_object<QScrollBar>(id, [&](QScrollBar& bar, Control& control) {
        control.programmatic = true;
        bar.setRange(std::min(minimum, maximum), std::max(minimum, maximum));
        control.programmatic = false;
    });
}

void setscrollpage(int id, int page) {
    with_object<QScrollBar>(id, [&](QScrollBar& bar, Control&) { bar.setPageStep(std::max(page, 1)); });
}

void setscrollposition(int id, int position) {
    with_object<QScrollBar>(id, [&](QScrollBar& bar, Control& control) {
        control.programmatic = true;
        bar.setValue(position);
        control.programmatic = false;
    });
}

int getscrollposition(int id) {
    int position = 0;
    with_object<QScrollBar>(id, [&](QScrollBar& bar, Control&) { position = bar.value(); });
    return position;
}

}  // namespace appgraphics
