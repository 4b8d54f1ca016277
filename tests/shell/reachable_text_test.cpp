// Everything the main window and the result views draw after a fit can be
// seen or scrolled to: with two parameters (Example 1) and with eight
// (Gauss3 of the NIST set), whose tables are wider and longer than the
// windows' layout sizes. Also how the main window's output area scrolls.

#include "shell/menu_fixture.h"

#include <map>

using namespace shelltest;

namespace {

using Unreachable = std::vector<std::string>;

}  // namespace

class ReachableText : public MainWindow {
protected:

    // Every page of the output area, then the results and the x/y data windows.
    void expect_all_reachable() {
        for (int first = 1; first < menu::output_lines; first += menu::visible_lines) {
            ASSERT_TRUE(td::scroll(main_, first));
            ASSERT_TRUE(td::wait_idle());
            EXPECT_EQ(td::unreachable_text(main_), Unreachable{}) << "main window from line " << first;
        }
        main_texts_.clear();
        for (const auto& t : td::text_log(main_)) main_texts_ += t.text + "\n";
        for (const auto& path : {std::vector<std::string>{"Results"},
                                 std::vector<std::string>{"Display Results", "X vs Y Data"}}) {
            ASSERT_TRUE(path.size() == 1 ? td::click_button(main_, path[0]) : td::choose_menu(main_, path));
            const int view = td::wait_window("Morvane-Quil", 10);
            ASSERT_GE(view, 0);
            ASSERT_TRUE(td::wait_idle());
            EXPECT_EQ(td::unreachable_text(view), Unreachable{}) << path.back();
            auto& texts = path.size() == 1 ? results_texts_ : xy_texts_;
            for (const auto& t : td::text_log(view)) texts += t.text + "\n";
            ASSERT_TRUE(td::click_button(view, "Close"));
            ASSERT_TRUE(pump_until([] { return td::find_window("Morvane-Quil") < 0; }, 10));
            ASSERT_TRUE(td::wait_idle());
        }
    }

    static bool has(const std::string& texts, const std::string& part) { return texts.find(part) != std::string::npos; }

    // What each window drew.
    std::string main_texts_, results_texts_, xy_texts_;
};

TEST_F(ReachableText, TwoParametersOfExampleOne) {
    fit_file("Michaelis-Menten.dat");
    expect_all_reachable();
    EXPECT_TRUE(has(xy_texts_, "Y            Ycalc"));  // the column header of one x column
}

TEST_F(ReachableText, EightParametersOfGauss3) {
    fs::copy_file(fs::path(KALVOR_SHARED_DIR) / "data/nist-strd/dat/Gauss3-s1.DAT", dir_ / "Gauss3-s1.DAT");
    fit_file("Gauss3-s1.DAT");
    ASSERT_EQ(common_data::npr, 8);
    expect_all_reachable();
    // Every block, with all eight columns, in the main window and the results.
    for (const auto* texts : {&main_texts_, &results_texts_}) {
        for (const char* part : {"SE8", "CL8", "p-value8", "Principal Component", "RUNS STATISTIC", "Date Saved"})
            EXPECT_TRUE(has(*texts, part)) << part;
    }
    EXPECT_TRUE(has(xy_texts_, "Truncated data"));
    ASSERT_TRUE(td::click_button(main_, "Results"));
    const int view = td::wait_window("Morvane-Quil", 10);
    ASSERT_TRUE(td::wait_idle());
    for (const auto& w : td::windows()) {
        if (w.id == view) {
            EXPECT_GT(w.width, 700);  // wider than any layout size, for eight columns
        }
    }
}

TEST_F(ReachableText, WheelAndPageScrollTheOutputAreaWithoutSkippingLines) {
    fit_file("Michaelis-Menten.dat");
    auto scroll_bar = [&] {
        for (const auto& c : td::controls(main_))
            if (c.kind == td::ControlKind::ScrollBar) return c;
        ADD_FAILURE() << "no scroll bar";
        return td::ControlInfo{};
    };
    // The lines drawn last at each row of the output area.
    auto rows = [&] {
        std::map<int, std::string> at;
        for (const auto& t : td::text_log(main_)) at[t.y] = t.text;
        return at;
    };
    EXPECT_EQ(scroll_bar().page, menu::visible_lines);
    ASSERT_EQ(scroll_bar().position, 1);
    const auto page_one = rows();

    ASSERT_TRUE(td::wheel(main_, 1));
    ASSERT_TRUE(td::wait_idle());
    const int first = scroll_bar().position;
    ASSERT_GT(first, 1);
    ASSERT_LE(first, menu::visible_lines);  // a notch moves by lines: none goes by unseen
    EXPECT_EQ(rows()[1], page_one.at(1 + 15 * (first - 1)));

    ASSERT_TRUE(td::wheel(main_, -1));
    ASSERT_TRUE(td::wait_idle());
    EXPECT_EQ(scroll_bar().position, 1);
}
