#pragma once
// The frame shared by the results and the x/y data windows: a window sized
// to its text, a File menu (and more), Close and Help buttons, the title
// centred above the text, and a modal wait until Close.

#include <string>
#include <string_view>
#include <vector>

#include "platform/appgraphics.h"

namespace textview {

struct MenuItem {
    std::string label;
    appgraphics::Callback action;
};

struct Menu {
    std::string label;
    std::vector<MenuItem> items;
};

struct WindowSize {
    int width = 0;
    int height = 0;
};

struct Layout {
    int width = 0;
    int height = 0;
    std::vector<Menu> menus;
};

// Closes every registered child window, opens the window "Morvane-Quil",
// registers it, draws title and text (the text below the buttons, the
// window grown to hold all of it when the layout's size is too small), and
// waits until quitt (Close, or the title bar's close box) stops the wait; then closes it
// and makes the owner of the child windows current again. globals::idresultswindow holds its id while
// it is open. When the window cannot be made an error box says so and the
// result is false.
bool show(const Layout& layout, std::string_view title, std::string_view text, std::string_view help);

// Ends the wait of the window whose control called.
void quitt();
// The window as an image file (name asked), or printed; then redrawn.
void save_image();
void print_image();
// Shows help in an information box.
void bttn(std::string_view help);

}  // namespace textview
