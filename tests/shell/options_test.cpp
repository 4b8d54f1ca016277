// The option dialogs and levels, driven headless.

#include <gtest/gtest.h>

#include <functional>

#include "model/globals.h"
#include "platform/appgraphics.h"
#include "platform/testdriver.h"
#include "shell/options.h"
#include "shell/scratch.h"

namespace ag = appgraphics;
namespace td = testdriver;

namespace {

struct DialogSeen {
    int width = 0, height = 0;
    std::vector<std::string> radios;
    std::string checked;
    int id_while_open = -2;
};

// Runs dialog on the logic thread, looks at it, checks `choose` (unless
// empty) and presses Close, or the title bar's close box.
DialogSeen drive(const std::function<void()>& dialog, const char* title, std::atomic<int>& id_variable,
                 const std::string& choose, bool close_box = false) {
    td::Session session;
    DialogSeen seen;
    session.start([dialog] {
        ag::initwindow(300, 200, "Owner");
        globals::reset_child_windows(ag::getcurrentwindow());
        globals::idactivewin = ag::getcurrentwindow();
        dialog();
        return 0;
    });
    const int id = td::wait_window(title);
    EXPECT_GE(id, 0);
    EXPECT_TRUE(td::wait_idle());
    for (const auto& w : td::windows()) {
        if (w.id == id) {
            seen.width = w.width;
            seen.height = w.height;
        }
    }
    for (const auto& c : td::controls(id)) {
        if (c.kind == td::ControlKind::Button || c.kind == td::ControlKind::RadioButton) {
            EXPECT_TRUE(shelltest::holds_label(c, seen.width));
        }
        if (c.kind != td::ControlKind::RadioButton) continue;
        seen.radios.push_back(c.label);
        if (c.checked) seen.checked = c.label;
    }
    seen.id_while_open = id_variable;
    EXPECT_EQ(globals::child_windows[1].load(), id);
    if (!choose.empty()) {
        EXPECT_TRUE(td::check_radio(id, choose));
    }
    EXPECT_TRUE(close_box ? td::close_from_title_bar(id) : td::click_button(id, "Close"));
    EXPECT_TRUE(session.wait_finished());
    EXPECT_EQ(id_variable.load(), -1);
    EXPECT_EQ(globals::child_windows[1].load(), -1);
    return seen;
}

}  // namespace

TEST(Preselect, OutOfRangeLevelsFallBackToTheDefault) {
    EXPECT_EQ(difficulty::preselect_level(0, 3, 2), 2);
    EXPECT_EQ(difficulty::preselect_level(-1, 3, 2), 2);
    EXPECT_EQ(difficulty::preselect_level(4, 3, 2), 2);
    EXPECT_EQ(difficulty::preselect_level(3, 3, 2), 3);
    EXPECT_EQ(difficulty::preselect_level(5, 5, 1), 5);
    EXPECT_EQ(difficulty::preselect_level(6, 5, 1), 1);
}

TEST(ClearLevels, BackToTheirDefaults) {
    globals::iopt = 3;
    globals::iwt = 4;
    globals::ismth = 2;
    globals::ilbl = 3;
    common_data::ndwt = 3;
    difficulty::clearoptlevel();
    difficulty::clearwtlevel();
    difficulty::clearsmoothlevel();
    difficulty::clearlabellevel();
    EXPECT_EQ(globals::iopt, 2);
    EXPECT_EQ(globals::iwt, 1);
    EXPECT_EQ(globals::ismth, 1);
    EXPECT_EQ(globals::ilbl, 1);
    EXPECT_EQ(common_data::ndwt, 3);  // the run derives it from iwt
}

TEST(DifficultyDialog, ALevelOfZeroSelectsModerateAndTheChoiceIsStored) {
    globals::iopt = 0;
    const DialogSeen seen = drive(difficulty::optlevel, "Optimization Level", globals::idoptwindow, "Difficult");
    EXPECT_EQ(seen.width, 250);
    EXPECT_EQ(seen.height, 135);
    EXPECT_EQ(seen.radios, (std::vector<std::string>{"Easy", "Moderate", "Difficult"}));
    EXPECT_EQ(seen.checked, "Moderate");
    EXPECT_GE(seen.id_while_open, 0);
    EXPECT_EQ(globals::iopt, 3);
}

TEST(DifficultyDialog, AnOutOfRangeLevelFallsBackToModerate) {
    globals::iopt = 7;
    const DialogSeen seen = drive(difficulty::optlevel, "Optimization Level", globals::idoptwindow, "");
    EXPECT_EQ(seen.checked, "Moderate");
    EXPECT_EQ(globals::iopt, 2);
}

// Closed by the title bar's close box, which stores the choice as Close does.
TEST(WeightingDialog, OneOverYSquaredGivesLevelThreeAndModeTwo) {
    globals::iwt = 1;
    common_data::ndwt = 0;
    const DialogSeen seen = drive(difficulty::wtlevel, "Weighting of Data", globals::idwtwindow, "1/Y^2", true);
    EXPECT_EQ(seen.height, 165);
    EXPECT_EQ(seen.radios,
              (std::vector<std::string>{"None", "1/Reweight^2", "1/Y^2", "Robust Weight", "StdDev / Residual"}));
    EXPECT_EQ(seen.checked, "None");
    EXPECT_EQ(globals::iwt, 3);
    EXPECT_EQ(common_data::ndwt, 2);
}

TEST(WeightingDialog, AZeroLevelBecomesNone) {
    globals::iwt = 0;
    common_data::ndwt = 4;
    const DialogSeen seen = drive(difficulty::wtlevel, "Weighting of Data", globals::idwtwindow, "");
    EXPECT_EQ(seen.checked, "None");
    EXPECT_EQ(globals::iwt, 1);
    EXPECT_EQ(common_data::ndwt, 0);
}

TEST(SmoothingAndLabelDialogs, SetTheirLevels) {
    globals::ismth = 1;
    drive(difficulty::smoothlevel, "Curve Smoothing Level", globals::idsmthwindow, "Smooth-5pt");
    EXPECT_EQ(globals::ismth, 3);
    globals::ilbl = 2;
    const DialogSeen seen = drive(difficulty::labellevel, "Curve Labeling Option", globals::idlblwindow, "None");
    EXPECT_EQ(seen.checked, "Before-Curve");
    EXPECT_EQ(globals::ilbl, 1);
}

TEST(DifficultyDialog, AFullChildTableLeavesTheDialogUnregistered) {
    td::Session session;
    globals::iopt = 1;
    globals::idoptwindow = 77;
    std::atomic<int> id_while_open{-2};
    session.start([&] {
        const int owner = ag::initwindow(300, 200, "Owner");
        globals::reset_child_windows(owner);
        for (int k = globals::child_first; k <= globals::child_last; ++k) globals::child_windows[k] = 1000 + k;
        globals::idactivewin = owner;
        difficulty::optlevel();
        return 0;
    });
    const int id = td::wait_window("Optimization Level");
    ASSERT_GE(id, 0);
    ASSERT_TRUE(td::wait_idle());
    id_while_open = globals::idoptwindow.load();
    ASSERT_TRUE(td::click_button(id, "Close"));
    ASSERT_TRUE(session.wait_finished());
    EXPECT_EQ(id_while_open, 77);
    EXPECT_EQ(globals::child_windows[1].load(), 1001);
    EXPECT_EQ(globals::iopt, 1);
    EXPECT_LT(td::find_window("Optimization Level"), 0);
}
