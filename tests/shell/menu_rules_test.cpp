// The enabling rules of the main window's menus and buttons as a function of
// the run state, without windows.

#include <gtest/gtest.h>

#include "shell/menu_rules.h"

using menu_rules::Control;
using menu_rules::Panel;
using menu_rules::RunFlags;

namespace {

struct RunView {
    bool start_item, start_button, restart_item, restart_button, views;
};

// The run and view controls of a panel; views must agree among themselves.
RunView run_view(const Panel& p) {
    const bool views = p[Control::results_item];
    for (const Control c : menu_rules::view_items) EXPECT_EQ(p[c], views);
    for (const Control c : menu_rules::view_buttons) EXPECT_EQ(p[c], views);
    return {p[Control::start_item], p[Control::start_button], p[Control::restart_item], p[Control::restart_button],
            views};
}

Panel enabled(const RunFlags& f, Panel start = {}) {
    menu_rules::menuitemenable(start, f);
    return start;
}

}  // namespace

// The seven resulting states of menuitemenable.
TEST(MenuItemEnable, TheSevenStates) {
    struct Case {
        const char* name;
        RunFlags flags;
        RunView expected;
    };
    const Case cases[] = {
        {"nothing open", {0, 0, 0, 0, 0, 0}, {false, false, false, false, false}},
        {"file open, model accepted at Open", {1, 0, 0, 1, 0, 0}, {true, true, false, false, false}},
        {"after a confirmed Start", {1, 1, 0, 1, 0, 0}, {false, false, true, true, true}},
        {"after a confirmed Restart", {1, 1, 1, 1, 1, 0}, {true, true, false, false, true}},
        {"model not confirmed, no result", {1, 0, 0, 0, 0, 0}, {false, false, false, false, false}},
        {"model not confirmed after a result", {1, 1, 0, 0, 0, 0}, {false, false, true, false, false}},
        {"rejected data file", {1, 1, 1, 1, 1, 1}, {false, false, false, false, false}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const RunView v = run_view(enabled(c.flags));
        EXPECT_EQ(v.start_item, c.expected.start_item);
        EXPECT_EQ(v.start_button, c.expected.start_button);
        EXPECT_EQ(v.restart_item, c.expected.restart_item);
        EXPECT_EQ(v.restart_button, c.expected.restart_button);
        EXPECT_EQ(v.views, c.expected.views);
    }
}

TEST(MenuItemEnable, GeneralItemsComeOnAndEditAndQuitKeepTheirState) {
    Panel p;
    p[Control::edit_item] = true;
    p[Control::quit_item] = false;
    menu_rules::menuitemenable(p, {});
    for (const Control c : menu_rules::general_items) EXPECT_TRUE(p[c]);
    EXPECT_TRUE(p[Control::open_button]);
    EXPECT_TRUE(p[Control::edit_item]);
    EXPECT_FALSE(p[Control::quit_item]);
    EXPECT_FALSE(p[Control::quit_button]);

    p[Control::edit_item] = false;
    menu_rules::menuitemenable(p, {});
    EXPECT_FALSE(p[Control::edit_item]);
}

TEST(MenuItemEnable, AfterAConfirmedRestartASecondRestartNeedsAStartFirst) {
    // Restart-done alone, as after a Restart whose run flag was cleared.
    const RunView v = run_view(enabled({1, 0, 0, 1, 1, 0}));
    EXPECT_TRUE(v.start_item);
    EXPECT_FALSE(v.restart_item);
    EXPECT_FALSE(v.restart_button);
}

TEST(MenuItemEnable, TheDataErrorLockWinsOverEveryOtherFlag) {
    for (int bits = 0; bits < 32; ++bits) {
        const RunFlags f{bits & 1, (bits >> 1) & 1, (bits >> 2) & 1, (bits >> 3) & 1, (bits >> 4) & 1, 1};
        const RunView v = run_view(enabled(f));
        EXPECT_FALSE(v.start_item || v.start_button || v.restart_item || v.restart_button || v.views) << bits;
    }
}

TEST(MenuItemDisable, SwitchesGeneralOffAndLetsThroughWhatTheStateAllows) {
    Panel p = menu_rules::initial_panel();
    p[Control::edit_item] = true;
    menu_rules::menuitemdisable(p, {1, 0, 0, 1, 0, 0});
    for (const Control c : menu_rules::general_items) EXPECT_FALSE(p[c]);
    EXPECT_FALSE(p[Control::open_button]);
    EXPECT_TRUE(p[Control::edit_item]);
    EXPECT_TRUE(p[Control::quit_item]);
    EXPECT_TRUE(p[Control::quit_button]);
    const RunView v = run_view(p);
    EXPECT_TRUE(v.start_item && v.start_button);
    EXPECT_FALSE(v.restart_item || v.restart_button || v.views);
}

TEST(MenuItemDisable, WithAResultRestartStaysOffAndTheViewsOn) {
    Panel p;
    menu_rules::menuitemdisable(p, {1, 1, 0, 1, 0, 0});
    const RunView v = run_view(p);
    EXPECT_FALSE(v.start_item || v.restart_item || v.restart_button);
    EXPECT_TRUE(v.views);

    menu_rules::menuitemdisable(p, {1, 0, 1, 1, 0, 0});  // a Restart without a result flag
    const RunView w = run_view(p);
    EXPECT_TRUE(w.start_item && w.start_button && w.views);
    EXPECT_FALSE(w.restart_item);
}

TEST(InitialPanel, OnlyOpenAndQuitButtonsAreOn) {
    const Panel p = menu_rules::initial_panel();
    for (std::size_t i = 0; i < menu_rules::control_count; ++i) {
        const auto c = static_cast<Control>(i);
        if (i < static_cast<std::size_t>(Control::open_button)) continue;
        EXPECT_EQ(p[c], c == Control::open_button || c == Control::quit_button) << i;
    }
    EXPECT_TRUE(p[Control::open_item]);
    EXPECT_TRUE(p[Control::notepad_item]);
    EXPECT_TRUE(p[Control::quit_item]);
    EXPECT_FALSE(p[Control::edit_item]);
    EXPECT_FALSE(p[Control::clear_item]);
    EXPECT_FALSE(run_view(p).views);
}
