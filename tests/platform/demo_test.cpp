// A small program in the style of the main window, driven end to end by the
// test driver: a command loop fed by callbacks, a modal option window run
// on a callback thread, dialogs, a scroll bar and a text area.

#include <gtest/gtest.h>

#include <atomic>
#include <string>

#include "platform/appgraphics.h"
#include "platform/testdriver.h"

namespace ag = appgraphics;
namespace td = testdriver;

namespace {

std::atomic<int> g_level{2};

// The command loop of the demo; returns the number of commands run.
int demo_program() {
    std::atomic<int> choice{-1};
    std::atomic<int> first_line{1};
    const int main_window = ag::initwindow(400, 200, "Demo   ", 100, 100, false);
    ag::setwindowsystemclosecallback([&] {
        choice = 0;  // the close box quits
        ag::stopidle();
        return false;
    });
    const int bar = ag::addmenu("", -1);
    const int file = ag::addmenu("File", bar);
    ag::addmenuitem("Open Data File", file, [&] {
        choice = 1;
        ag::stopidle();
    });
    ag::addmenuseparator(file);
    ag::addmenuitem("Quit", file, [&] {
        choice = 0;
        ag::stopidle();
    });
    const int options = ag::addmenu("Options", bar);
    // A direct action: the option window runs on this callback's thread.
    ag::addmenuitem("Level of Difficulty", options, [main_window] {
        ag::enablewindow(main_window, false);
        const int dialog = ag::initwindow(250, 135, "Optimization Level", 400, 400);
        ag::setbkcolor(ag::systemcolor(ag::COLOR_BTNFACE));
        ag::clearviewport();
        ag::beginradiogroup();
        const int radios[3] = {ag::createradiobutton_nohandler(90, 30, 95, 20, "Easy"),
                               ag::createradiobutton_nohandler(90, 50, 95, 20, "Moderate"),
                               ag::createradiobutton_nohandler(90, 70, 95, 20, "Difficult")};
        ag::beginradiogroup();
        ag::radiobuttonsetchecked(radios[g_level - 1]);
        ag::createbutton(95, 100, 50, 20, "Close", [] { ag::stopidle(); });
        ag::loop();
        for (int k = 0; k < 3; ++k) {
            if (ag::radiobuttonischecked(radios[k])) g_level = k + 1;
        }
        ag::closewindow(dialog);
        ag::enablewindow(main_window, true);
    });
    const int open_button = ag::createbutton(20, 2, 70, 20, "Open", [&] {
        choice = 1;
        ag::stopidle();
    });
    ag::createbutton(90, 2, 70, 20, "Greet", [&] {
        choice = 2;
        ag::stopidle();
    });
    ag::createbutton(160, 2, 70, 20, "Quit", [&] {
        choice = 0;
        ag::stopidle();
    });
    const int scrollbar = ag::createscrollbar(385, 30, 14, 170, ag::SCROLL_VERTICAL, [&](int position) {
        first_line = position;
        ag::stopidle();
    });
    ag::setscrollrange(scrollbar, 1, 20);
    ag::setscrollposition(scrollbar, 1);
    ag::setcurrentwindow(main_window);
    ag::settextstyle(ag::MONOSPACE_FONT, ag::HORIZ_DIR, 14);
    ag::settextjustify(ag::LEFT_TEXT, ag::TOP_TEXT);

    std::string file_name(512, ' ');
    int commands = 0;
    while (true) {
        if (choice == 0) {
            ag::closewindow(ag::ALL_WINDOWS);
            return commands;
        }
        ag::setviewport(0, 30, 384, 199, true);
        ag::clearviewport();
        for (int k = 0; k < 5 && first_line + k <= 20; ++k) {
            ag::outtextxy(10, 1 + 15 * k, "Line " + std::to_string(first_line + k) + "   ");
        }
        ag::refreshall();
        ag::loop();
        switch (choice.exchange(-1)) {
        case 0: choice = 0; break;
        case 1:
            ++commands;
            file_name.replace(0, 6, "/tmp/*");
            if (ag::dlgopenfile(file_name, "Data", "*.DAT", "Enter data file")) {
                ag::enablebutton(open_button, false);
                ag::outtextxy(200, 100, file_name.substr(0, file_name.find_last_not_of(' ') + 1));
            }
            break;
        case 2: {
            ++commands;
            std::string name(20, ' ');
            if (ag::dlgrequesttext(name, "Greeting", "Your name")) {
                ag::dlgmessage(ag::DIALOG_INFORMATION, "Hello, " + name);
            }
            break;
        }
        default: break;
        }
    }
}

}  // namespace

TEST(PlatformDemo, DrivenEndToEnd) {
    td::Session session;
    g_level = 2;
    session.start(demo_program);
    ASSERT_TRUE(td::wait_idle());

    // The window and its controls as a user sees them.
    const int main_window = td::find_window("Demo");
    ASSERT_GE(main_window, 0);
    const auto list = td::windows();
    ASSERT_EQ(list.size(), 1u);
    EXPECT_TRUE(list[0].enabled);
    EXPECT_EQ(list[0].width, 400);
    int buttons = 0, items = 0;
    for (const auto& c : td::controls(main_window)) {
        buttons += c.kind == td::ControlKind::Button;
        items += c.kind == td::ControlKind::MenuItem;
    }
    EXPECT_EQ(buttons, 3);
    EXPECT_EQ(items, 3);
    auto log = td::text_log(main_window);
    ASSERT_EQ(log.size(), 5u);
    EXPECT_EQ(log[0].text, "Line 1   ");
    EXPECT_EQ(log[0].canvas_y, 31);
    EXPECT_EQ(log[0].font, ag::MONOSPACE_FONT);

    // Scrolling redraws from the chosen line.
    td::clear_text_log(main_window);
    ASSERT_TRUE(td::scroll(main_window, 18));
    ASSERT_TRUE(td::wait_idle());
    log = td::text_log(main_window);
    ASSERT_EQ(log.size(), 3u);
    EXPECT_EQ(log[0].text, "Line 18   ");
    EXPECT_EQ(log[2].text, "Line 20   ");

    // Open through the menu and the file box.
    ASSERT_TRUE(td::choose_menu(main_window, {"File", "Open Data File"}));
    auto d = td::wait_dialog();
    ASSERT_TRUE(d);
    EXPECT_EQ(d->kind, td::DialogKind::OpenFile);
    EXPECT_EQ(d->initial, "/tmp/");
    ASSERT_TRUE(td::answer_path("/tmp/Enzyme.dat"));
    ASSERT_TRUE(td::wait_idle());
    bool shown = false;
    for (const auto& r : td::text_log(main_window)) shown = shown || r.text == "/tmp/Enzyme.dat";
    EXPECT_TRUE(shown);
    EXPECT_FALSE(td::click_button(main_window, "Open"));  // switched off after the open

    // A text question and the message that answers it.
    ASSERT_TRUE(td::click_button(main_window, "Greet"));
    d = td::wait_dialog();
    ASSERT_TRUE(d);
    EXPECT_EQ(d->title, "Greeting");
    ASSERT_TRUE(td::answer_text("Ada"));
    d = td::wait_dialog();
    ASSERT_TRUE(d);
    EXPECT_EQ(d->text, "Hello, Ada");
    ASSERT_TRUE(td::answer_ok());
    ASSERT_TRUE(td::wait_idle());

    // The modal option window: the main window takes no input meanwhile.
    ASSERT_TRUE(td::choose_menu(main_window, {"Options", "Level of Difficulty"}));
    const int dialog = td::wait_window("Optimization Level");
    ASSERT_GE(dialog, 0);
    ASSERT_TRUE(td::wait_idle());
    EXPECT_FALSE(td::click_button(main_window, "Greet"));
    EXPECT_FALSE(td::close_from_title_bar(main_window));
    const auto radios = td::controls(dialog);
    ASSERT_GE(radios.size(), 3u);
    EXPECT_TRUE(radios[1].checked);  // Moderate, the level on entry
    EXPECT_EQ(td::grab(dialog).pixel(5, 5), ag::creatergb(240, 240, 240));
    ASSERT_TRUE(td::check_radio(dialog, "Difficult"));
    ASSERT_TRUE(td::click_button(dialog, "Close"));
    ASSERT_TRUE(td::wait_idle());
    EXPECT_EQ(g_level, 3);
    EXPECT_LT(td::find_window("Optimization Level"), 0);
    EXPECT_TRUE(td::windows().at(0).enabled);

    // The close box quits through the program's own callback.
    EXPECT_FALSE(td::grab_png(main_window, true).empty());
    ASSERT_TRUE(td::close_from_title_bar(main_window));
    ASSERT_TRUE(session.wait_finished());
    EXPECT_EQ(session.exit_code(), 2);
    EXPECT_TRUE(td::windows().empty());
}
