// The results window: its size by the text, the condition-index report of
// the unmasked parameters, and the window's commands.

#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <sstream>
#include <string>
#include <vector>

#include "model/globals.h"
#include "platform/appgraphics.h"
#include "platform/testdriver.h"
#include "views/view_helpers.h"
#include "views/resultsbox.h"

namespace ag = appgraphics;
namespace td = testdriver;
using viewtest::lines_of;

namespace {

// The table lines of a report: from the header to the rule.
std::vector<std::string> table_of(const std::string& report) {
    const auto lines = lines_of(report);
    std::vector<std::string> out;
    bool in_table = false;
    for (const auto& l : lines) {
        in_table |= l.rfind(".   Index", 0) == 0;
        if (in_table) out.push_back(l);
    }
    return out;
}

// cimat of three active parameters: condition indices 1, 12.5, 1000 and
// 1500 in column 1; proportions 0.1 j + 0.01 i elsewhere.
kalvor::Matrix three_active() {
    kalvor::Matrix m(11, 11);
    const double indices[] = {1.0, 12.5, 1000.0, 1500.0};
    for (std::size_t i = 0; i < 4; ++i) {
        m(i, 0) = indices[i];
        for (std::size_t j = 1; j < 4; ++j) m(i, j) = 0.1 * static_cast<double>(j) + 0.01 * static_cast<double>(i);
    }
    return m;
}

}  // namespace

TEST(ResultsReport, ThreeOfFiveFreeParametersGiveAFourByFourTable) {
    const std::array<int, 10> mask{1, 0, 1, 0, 1};
    const std::string report = resultsbox::condition_report(5, mask, three_active());
    ASSERT_EQ(report.size(), resultsbox::report_length);

    // The explanation takes 728 characters with its last blank, which the trim drops.
    EXPECT_EQ(report.substr(0, 39), "Eigenvector Proportions Condition Index");
    EXPECT_EQ(report.substr(723, 5), ".\n \n.");  // "Sons." ends it

    const auto table = table_of(report);
    ASSERT_GE(table.size(), 8u);
    EXPECT_EQ(table[0], ".   Index       P1       P3       P5  ");
    EXPECT_EQ(table[1], "     1.0  |    0.10    0.20    0.30  ");
    EXPECT_EQ(table[2], "   12.5  |    0.11    0.21    0.31  ");  // 8 - 4 - 1 = 3 blanks
    EXPECT_EQ(table[3], "1000.0  |    0.12    0.22    0.32  ");   // no negative pad
    EXPECT_EQ(table[4], " 999.9  |    0.13    0.23    0.33  ");   // 1500 shown capped
    EXPECT_EQ(table[5], "");
    EXPECT_EQ(table[6], " " + std::string(78, '-'));
}

TEST(ResultsReport, NoFreeParameterAndAShortMatrixStayInBounds) {
    const std::array<int, 10> none{};
    const auto table = table_of(resultsbox::condition_report(3, none, kalvor::Matrix(11, 11)));
    ASSERT_GE(table.size(), 2u);
    EXPECT_EQ(table[0], ".   Index  ");
    EXPECT_EQ(table[1], "     0.0  |  ");
    // A matrix smaller than the table and npr beyond the mask read as zeros.
    const std::array<int, 10> all{1, 1, 1, 1, 1, 1, 1, 1, 1, 1};
    const auto wide = table_of(resultsbox::condition_report(12, all, kalvor::Matrix(2, 2)));
    ASSERT_GE(wide.size(), 12u);
    EXPECT_NE(wide[0].find("P10"), std::string::npos);
    EXPECT_EQ(wide[11].substr(0, 11), "     0.0  |");
}

TEST(ResultsWindow, SizeFollowsLinesAndLongestLine) {
    EXPECT_EQ(resultsbox::resultsscreen_size(45, 100).height, 618);
    EXPECT_EQ(resultsbox::resultsscreen_size(45, 100).width, 655);
    EXPECT_EQ(resultsbox::resultsscreen_size(45, 101).width, 690);
}

TEST(ResultsWindow, OpensOverTheChildrenAndItsCloseBoxActsAsClose) {
    td::Session session;
    globals::reset_run_state();
    globals::reset_child_windows(-1);
    common_data::npr = 5;
    common_data::pmask = {1, 0, 1, 0, 1};
    common_data::cimat = three_active();
    std::atomic<bool> returned{false};
    session.start([&] {
        const int child = ag::initwindow(100, 100, "Child", 0, 0, false);
        globals::register_child_window(child);
        resultsbox::resultsscreen("SUMMARY OF RESULTS:   ", "first line\r\nsecond line", 45, 101, "Help text   ");
        returned = true;
        return 0;
    });
    const int id = td::wait_window("Morvane-Quil");
    ASSERT_GE(id, 0);
    ASSERT_TRUE(td::wait_idle());
    EXPECT_LT(td::find_window("Child"), 0);  // registered windows close first
    EXPECT_EQ(globals::child_windows[1].load(), id);
    EXPECT_EQ(globals::idresultswindow.load(), id);
    const auto windows = td::windows();
    ASSERT_EQ(windows.size(), 1u);
    EXPECT_EQ(windows[0].width, 690);
    EXPECT_EQ(windows[0].height, 618);

    bool title = false, text = false;
    for (const auto& t : td::text_log(id)) {
        title |= t.text == "SUMMARY OF RESULTS:" && t.y == 5;
        text |= t.text == "first line\r\nsecond line" && t.x == 689 / 40 && t.y == 54;  // below the buttons
    }
    EXPECT_TRUE(title);
    EXPECT_TRUE(text);

    ASSERT_TRUE(td::click_button(id, "Help"));
    auto dialog = td::wait_dialog();
    ASSERT_TRUE(dialog.has_value());
    EXPECT_EQ(dialog->style, ag::DIALOG_INFORMATION);
    EXPECT_EQ(dialog->text, "Help text");
    ASSERT_TRUE(td::answer_ok());

    // The report twice: the capped index is shown, the fit data keep 1500.
    for (int i = 0; i < 2; ++i) {
        ASSERT_TRUE(td::choose_menu(id, {"Condition Number", "Eigenvector Proportions"}));
        dialog = td::wait_dialog();
        ASSERT_TRUE(dialog.has_value());
        EXPECT_NE(dialog->text.find("\n 999.9  |    0.13"), std::string::npos);
        ASSERT_TRUE(td::answer_ok());
        ASSERT_TRUE(td::wait_idle());
        EXPECT_EQ(common_data::cimat(3, 0), 1500.0);
    }

    EXPECT_FALSE(returned);
    ASSERT_TRUE(td::close_from_title_bar(id));
    ASSERT_TRUE(session.wait_finished());
    EXPECT_TRUE(returned);
    EXPECT_EQ(globals::idresultswindow.load(), -1);
    EXPECT_EQ(globals::child_windows[1].load(), -1);
}
