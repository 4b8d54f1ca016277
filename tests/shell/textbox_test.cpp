// The splash window and the text windows, driven headless.

#include <gtest/gtest.h>

#include <atomic>
#include <string>

#include "foundations/runtime.h"
#include "model/globals.h"
#include "platform/appgraphics.h"
#include "platform/testdriver.h"
#include "shell/scratch.h"
#include "shell/textbox.h"

namespace ag = appgraphics;
namespace td = testdriver;

TEST(SplashLayout, HeightAndShiftByLength) {
    EXPECT_EQ(textbox::splash_layout(1).height, 50);
    EXPECT_EQ(textbox::splash_layout(64).height, 50);
    EXPECT_EQ(textbox::splash_layout(65).height, 100);
    EXPECT_EQ(textbox::splash_layout(128).height, 100);
    EXPECT_EQ(textbox::splash_layout(129).height, 150);
    EXPECT_EQ(textbox::splash_layout(129).shift, 10);
    EXPECT_EQ(textbox::splash_layout(256).height, 150);
    EXPECT_EQ(textbox::splash_layout(257).height, 250);
    EXPECT_EQ(textbox::splash_layout(257).shift, 0);
}

TEST(TextScreenSize, ByLineCount) {
    const auto size = [](int n) {
        const auto s = textbox::textscreen_size(n);
        return std::to_string(s.width) + "x" + std::to_string(s.height);
    };
    EXPECT_EQ(size(20), "500x400");
    EXPECT_EQ(size(21), "550x500");
    EXPECT_EQ(size(25), "550x500");
    EXPECT_EQ(size(26), "750x600");
    EXPECT_EQ(size(30), "750x600");
    EXPECT_EQ(size(31), "500x600");
    EXPECT_EQ(size(36), "600x700");
}

TEST(UnderlinedTitle, ADashUnderEachCharacter) {
    EXPECT_EQ(textbox::underlined_title("Kalvor_UDF Overview:   "), "Kalvor_UDF Overview:\r\n--------------------");
    EXPECT_EQ(textbox::underlined_title(""), "\r\n");
}

namespace {

struct SplashSeen {
    int width = 0;
    int height = 0;
    int text_x = 0;
    int text_y = 0;
};

// Shows a splash of the given text, catches its window while it waits, and
// closes it.
SplashSeen show_splash(const std::string& text) {
    td::Session session;
    runtime::set_time_scale(1000.0);  // the splash waits until the test closes it
    globals::gwincolor1 = ag::creatergb(242, 245, 250);
    session.start([text] {
        textbox::splashscreen("Kalvor_UDF", text, 4);
        return 0;
    });
    SplashSeen seen;
    const int id = td::wait_window("Kalvor_UDF");
    EXPECT_GE(id, 0);
    for (const auto& w : td::windows()) {
        if (w.id == id) {
            seen.width = w.width;
            seen.height = w.height;
        }
    }
    // The window shows before its text is drawn.
    EXPECT_TRUE(shelltest::pump_until([id] { return !td::text_log(id).empty(); }));
    const auto texts = td::text_log(id);
    EXPECT_EQ(texts.size(), 1u);
    if (!texts.empty()) {
        EXPECT_EQ(texts[0].text, text);
        seen.text_x = texts[0].x;
        seen.text_y = texts[0].y;
    }
    ag::closewindow(id);
    EXPECT_TRUE(session.wait_finished());
    EXPECT_LT(td::find_window("Kalvor_UDF"), 0);
    return seen;
}

}  // namespace

TEST(Splash, WindowSizeAndTextPlaceFollowTheTextLength) {
    // y = B/2 - B/5 with B = the canvas's last row, or a quarter of it above 256 bytes.
    const SplashSeen s64 = show_splash(std::string(64, 'a'));
    EXPECT_EQ(s64.width, 400);
    EXPECT_EQ(s64.height, 50);
    EXPECT_EQ(s64.text_y, 15);

    const SplashSeen s65 = show_splash(std::string(65, 'a'));
    EXPECT_EQ(s65.height, 100);
    EXPECT_EQ(s65.text_y, 30);

    const SplashSeen s200 = show_splash(std::string(200, 'a'));
    EXPECT_EQ(s200.height, 150);
    EXPECT_EQ(s200.text_y, 45);

    std::string long_text;
    for (int i = 0; i < 8; ++i) long_text += std::string(30, 'b') + "\r\n";
    long_text += "end";
    ASSERT_EQ(long_text.size(), 8u * 32u + 3u);
    const SplashSeen s259 = show_splash(long_text);
    EXPECT_EQ(s259.height, 250);
    EXPECT_EQ(s259.text_y, 19);
}

TEST(Splash, ZeroSecondsClosesAtOnce) {
    td::Session session;
    runtime::set_time_scale(1.0);
    session.start([] {
        textbox::splashscreen("Kalvor_UDF", "Kalvor_UDF", 0);
        return 0;
    });
    ASSERT_TRUE(session.wait_finished());
    EXPECT_TRUE(td::windows().empty());
}

TEST(TextScreen, ShowsTheTextAndTheHelpUntilClosed) {
    td::Session session;
    globals::reset_run_state();
    globals::reset_child_windows(-1);
    std::atomic<bool> returned{false};
    auto title = std::make_shared<kalvor::Text<64>>("Example input data file format: Michaelis-Menten.dat");
    session.start([&, title] {
        textbox::textscreen(*title, "line one\r\nline two   ", 21, "Help text\r\nsecond line   ");
        returned = true;
        return 0;
    });
    const int id = td::wait_window("Morvane-Quil");
    ASSERT_GE(id, 0);
    ASSERT_TRUE(td::wait_idle());
    const auto windows = td::windows();
    ASSERT_EQ(windows.size(), 1u);
    EXPECT_EQ(windows[0].width, 550);
    EXPECT_EQ(windows[0].height, 500);
    EXPECT_EQ(globals::child_windows[1].load(), id);

    bool body_seen = false;
    bool heading_seen = false;
    for (const auto& t : td::text_log(id)) {
        // The heading is underlined in full, although the caller's field is shorter.
        heading_seen |= t.text == "Example input data file format: Michaelis-Menten.dat\r\n" + std::string(52, '-');
        if (t.text == "line one\r\nline two") {
            body_seen = true;
            EXPECT_EQ(t.x, 549 / 20);
            EXPECT_EQ(t.y, 499 / 10);
            EXPECT_EQ(t.font, ag::MONOSPACE_FONT);
        }
    }
    EXPECT_TRUE(body_seen);
    EXPECT_TRUE(heading_seen);

    // Help may be pressed any number of times; the window stays.
    for (int i = 0; i < 2; ++i) {
        ASSERT_TRUE(td::click_button(id, "Help"));
        const auto dialog = td::wait_dialog();
        ASSERT_TRUE(dialog.has_value());
        EXPECT_EQ(dialog->kind, td::DialogKind::Message);
        EXPECT_EQ(dialog->style, ag::DIALOG_INFORMATION);
        EXPECT_EQ(dialog->text, "Help text\nsecond line");  // the box shows its lines
        ASSERT_TRUE(td::answer_ok());
        ASSERT_TRUE(td::wait_idle());
        EXPECT_FALSE(returned);
    }
    ASSERT_TRUE(td::click_button(id, "Close"));
    ASSERT_TRUE(session.wait_finished());
    EXPECT_TRUE(returned);
    EXPECT_LT(td::find_window("Morvane-Quil"), 0);
    EXPECT_EQ(globals::child_windows[1].load(), -1);
    // The title comes back underlined, cut to its 64 characters.
    const std::string underlined = "Example input data file format: Michaelis-Menten.dat\r\n" + std::string(52, '-');
    EXPECT_EQ(title->str(), underlined.substr(0, 64));
}

TEST(TextScreen, ClosingFromTheTitleBarReturnsToo) {
    td::Session session;
    globals::reset_child_windows(-1);
    session.start([] {
        kalvor::Text<64> title("Title");
        textbox::textscreen(title, "text", 10, "help");
        return 0;
    });
    const int id = td::wait_window("Morvane-Quil");
    ASSERT_GE(id, 0);
    ASSERT_TRUE(td::wait_idle());
    ASSERT_TRUE(td::close_from_title_bar(id));
    ASSERT_TRUE(session.wait_finished());
    EXPECT_EQ(globals::child_windows[1].load(), -1);
}
