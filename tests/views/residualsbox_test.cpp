// The residuals window driven headless: its controls, the plot, the rescale
// commands, the trend lines and the test dialogs.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "model/globals.h"
#include "platform/appgraphics.h"
#include "platform/testdriver.h"
#include "views/residualsbox.h"

namespace ag = appgraphics;
namespace td = testdriver;

namespace {

constexpr int point_colour = 0x800000;

// A fit of n rows with the residuals r (ydr) as the run leaves it.
void set_fit(const std::vector<double>& r) {
    globals::reset_run_state();
    const int n = static_cast<int>(r.size());
    common_data::nd = n;
    common_data::npr = 2;
    for (int i = 0; i < n; ++i) {
        const auto k = static_cast<std::size_t>(i);
        common_data::ydr[k] = r[k];
        common_data::xdr[k] = i + 1.0;
        common_data::xd[k] = 0.5 * i;
        common_data::yd[k] = 10.0 + i;
        common_data::ydf[k] = common_data::yd[k] + 0.1 * r[k];
    }
    common_data::xrmin = common_data::xrmin1 = 0.0;
    common_data::xrmax = common_data::xrmax1 = n;
    common_data::resxaxislable = {0.0, static_cast<double>(n)};
    common_data::yrmin = -6.0;
    common_data::yrmax = 6.0;
}

std::vector<double> wavy(int n) {
    std::vector<double> r(static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i) r[static_cast<std::size_t>(i)] = 1.5 * std::sin(0.7 * i);
    return r;
}

// Opens the window on the logic thread; the returned id is its window.
int open(td::Session& session, int flag = 1) {
    session.start([flag] {
        int f = flag;
        residualsbox::residualsscreen(f);
        return 0;
    });
    const int id = td::wait_window("Morvane-Quil");
    td::wait_idle();
    return id;
}

bool has_text(int window, const std::string& part) {
    const auto log = td::text_log(window);
    return std::any_of(log.begin(), log.end(), [&](const td::TextRecord& t) { return t.text.find(part) != std::string::npos; });
}

// Whether a pixel of the colour lies within 2 rows of canvas row y.
bool colour_near_row(const td::Image& image, int colour, int y) {
    for (int row = y - 2; row <= y + 2; ++row)
        for (int x = 0; x < image.width; ++x)
            if (image.pixel(x, row) == colour) return true;
    return false;
}

int count_colour(const td::Image& image, int colour) {
    int count = 0;
    for (int y = 0; y < image.height; ++y)
        for (int x = 0; x < image.width; ++x) count += image.pixel(x, y) == colour;
    return count;
}

}  // namespace

TEST(ResidualsWindow, ControlsCloseAndChildren) {
    set_fit(wavy(20));
    td::Session session;
    session.start([] {
        // A registered child window that Close must close too.
        const int other = ag::initwindow(200, 100, "Other child");
        globals::register_child_window(other);
        int flag = 1;
        residualsbox::residualsscreen(flag);
        return ag::iswindowopen(other) ? 1 : 0;
    });
    const int id = td::wait_window("Morvane-Quil");
    ASSERT_GE(id, 0);
    td::wait_idle();
    EXPECT_EQ(globals::idresidualwindow.load(), id);
    std::vector<std::string> items;
    for (const auto& c : td::controls(id))
        if (c.kind == td::ControlKind::MenuItem) items.push_back(c.label);
    EXPECT_EQ(items, (std::vector<std::string>{"Save Screen", "Print Screen", "Close", "Move left", "Move right",
                                               "Reset Scale", "Runs Test of Residuals", "F-Test of Residuals",
                                               "Durbin-Watson D", "Kolmogorov-Smirnov D", "Kuiper V",
                                               "Hotelling's T\u00b2", "Besseli0 -1 Trend Line On/Off",
                                               "Smooth Trend Line On/Off"}));
    EXPECT_TRUE(has_text(id, "Plot of Normalized Residuals versus Number of Data"));

    ASSERT_TRUE(td::close_from_title_bar(id));  // as Close
    ASSERT_TRUE(session.wait_finished());
    EXPECT_EQ(session.exit_code(), 0);
    EXPECT_EQ(globals::idresidualwindow.load(), -1);
}

TEST(ResidualsWindow, PointsOnTheirGridRowsAndResidualsUnchanged) {
    std::vector<double> r(20, 0.0);
    r[4] = 6.0;
    r[9] = -6.0;
    r[14] = 30.0;  // beyond the scale: drawn on the edge
    set_fit(r);
    td::Session session;
    const int id = open(session);
    const td::Image image = td::grab(id);
    // Quarter rows of the 749 x 499 canvas below the 60-pixel top margin.
    EXPECT_TRUE(colour_near_row(image, point_colour, 60 + 313));  // -6
    EXPECT_TRUE(colour_near_row(image, point_colour, 60 + 170));  // 0
    EXPECT_TRUE(colour_near_row(image, point_colour, 60 + 25));   // 6 and 30
    EXPECT_EQ(common_data::ydr[14], 30.0);
    EXPECT_EQ(common_data::ydr[4], 6.0);
    for (const auto& t : td::text_log(id)) EXPECT_EQ(t.text.find('*'), std::string::npos) << t.text;
}

TEST(ResidualsWindow, MoveAndResetScaleSequences) {
    set_fit(wavy(20));
    // A longer earlier run left row numbers past nd.
    for (int i = 20; i < 50; ++i) common_data::xdr[static_cast<std::size_t>(i)] = i + 1.0;
    td::Session session;
    const int id = open(session);
    auto range = [] { return std::to_string(common_data::resxaxislable[0]) + ".." + std::to_string(common_data::resxaxislable[1]); };

    ASSERT_TRUE(td::choose_menu(id, {"Rescale Plot", "Move right"}));  // f 0.83: restart from 0..20 x 1.1
    td::wait_idle();
    EXPECT_EQ(range(), "0.000000..25.000000");
    ASSERT_TRUE(td::choose_menu(id, {"Rescale Plot", "Move right"}));  // f 0.92: x 0.7142857
    td::wait_idle();
    EXPECT_EQ(range(), "0.000000..20.000000");
    ASSERT_TRUE(td::choose_menu(id, {"Rescale Plot", "Move left"}));  // f 1.375: x 1.5
    td::wait_idle();
    EXPECT_EQ(range(), "0.000000..35.000000");
    ASSERT_TRUE(td::choose_menu(id, {"Rescale Plot", "Reset Scale"}));
    td::wait_idle();
    EXPECT_EQ(common_data::resxaxislable[0], 0.0);
    EXPECT_EQ(common_data::resxaxislable[1], 25.0);  // only rows 1..nd count: 55 with the stale rows
    EXPECT_EQ(common_data::xrmax1, common_data::resxaxislable[1]);

    // Large spans label in exponent form, never with asterisks.
    common_data::resxaxislable = {0.0, 40000.0};
    td::clear_text_log(id);
    ASSERT_TRUE(td::choose_menu(id, {"Statistical Tests", "Smooth Trend Line On/Off"}));
    td::wait_idle();
    EXPECT_TRUE(has_text(id, "E+04"));
    for (const auto& t : td::text_log(id)) EXPECT_EQ(t.text.find('*'), std::string::npos) << t.text;
    ASSERT_TRUE(td::click_button(id, "Close"));
    ASSERT_TRUE(session.wait_finished());
}

TEST(ResidualsWindow, MoveFallsBackToTheOpeningRange) {
    set_fit(wavy(20));
    common_data::xrmin1 = -5.0;  // a saved range whose scaled minimum is negative
    td::Session session;
    const int id = open(session);
    ASSERT_TRUE(td::choose_menu(id, {"Rescale Plot", "Move right"}));
    td::wait_idle();
    EXPECT_EQ(common_data::resxaxislable[0], 0.0);
    EXPECT_GE(common_data::resxaxislable[1], 20.0);
    ASSERT_TRUE(td::click_button(id, "Close"));
    ASSERT_TRUE(session.wait_finished());
}

TEST(ResidualsWindow, TrendLinesAreExclusiveAndReopeningResetsThem) {
    set_fit(wavy(30));
    {
        td::Session session;
        const int id = open(session);
        const int smooth = 0xFF8080, bessel = 0x8080FF;
        ASSERT_TRUE(td::choose_menu(id, {"Statistical Tests", "Smooth Trend Line On/Off"}));
        td::wait_idle();
        EXPECT_GT(count_colour(td::grab(id), smooth), 20);
        ASSERT_TRUE(td::choose_menu(id, {"Statistical Tests", "Besseli0 -1 Trend Line On/Off"}));
        td::wait_idle();
        const td::Image both = td::grab(id);
        EXPECT_EQ(count_colour(both, smooth), 0);
        EXPECT_GT(count_colour(both, bessel), 20);
        EXPECT_TRUE(has_text(id, "Normalized Residuals & Besseli0 -1 Line"));
        ASSERT_TRUE(td::click_button(id, "Close"));
        ASSERT_TRUE(session.wait_finished());
    }
    td::Session session;
    const int id = open(session);
    EXPECT_EQ(count_colour(td::grab(id), 0x8080FF), 0);
    // The factor starts at 1 again: the first Move right restarts the range.
    ASSERT_TRUE(td::choose_menu(id, {"Rescale Plot", "Move right"}));
    td::wait_idle();
    EXPECT_EQ(common_data::resxaxislable[1], 35.0);  // 30 x 1.1 = 33 made neat
    ASSERT_TRUE(td::click_button(id, "Close"));
    ASSERT_TRUE(session.wait_finished());
}

TEST(ResidualsWindow, EachTestAnswersWithItsDialog) {
    set_fit(wavy(40));
    td::Session session;
    const int id = open(session);
    const std::vector<std::pair<std::string, std::string>> tests = {
        {"Runs Test of Residuals", "Runs Test of Residual Randomness"},
        {"F-Test of Residuals", "F-test of the residuals"},
        {"Durbin-Watson D", "Durbin-Watson D Statistic"},
        {"Kolmogorov-Smirnov D", "residuals KS test"},
        {"Kuiper V", "residuals Kuiper V test"},
        {"Hotelling's T\u00b2", "Hotelling"}};
    for (const auto& [item, heading] : tests) {
        ASSERT_TRUE(td::choose_menu(id, {"Statistical Tests", item}));
        const auto dialog = td::wait_dialog();
        ASSERT_TRUE(dialog.has_value()) << item;
        EXPECT_NE(dialog->text.find(heading), std::string::npos) << item << ": " << dialog->text;
        td::answer_ok();
    }
    ASSERT_TRUE(td::click_button(id, "Close"));
    ASSERT_TRUE(session.wait_finished());
}

TEST(ResidualsWindow, RunsDialogCountsObservedMinusFitted) {
    // Slow rises and sharp falls of ydr; the residuals yd - ydf are -0.1 ydr,
    // so they rise where ydr falls.
    std::vector<double> saw(40);
    for (std::size_t i = 0; i < saw.size(); ++i) saw[i] = static_cast<double>(i % 5);
    set_fit(saw);
    td::Session session;
    const int id = open(session);
    ASSERT_TRUE(td::choose_menu(id, {"Statistical Tests", "Runs Test of Residuals"}));
    const auto dialog = td::wait_dialog();
    ASSERT_TRUE(dialog.has_value());
    const std::string label = "Number of positive residual differences = ";
    const auto at = dialog->text.find(label);
    ASSERT_NE(at, std::string::npos) << dialog->text;
    EXPECT_EQ(std::stoi(dialog->text.substr(at + label.size())), 7);  // the falls of ydr
    td::answer_ok();
    ASSERT_TRUE(td::click_button(id, "Close"));
    ASSERT_TRUE(session.wait_finished());
}

TEST(ResidualsWindow, XLabelFormats) {
    EXPECT_EQ(residualsbox::x_label_format(10.0f), "(1X,F7.2)");       // span 40
    EXPECT_EQ(residualsbox::x_label_format(10000.0f), "(1p,ES9.2)");  // span 40000
    EXPECT_EQ(residualsbox::x_label_format(0.1f), "(1X,F7.2)");
    EXPECT_EQ(residualsbox::x_label_format(1e-8f), "(F7.3)");
    EXPECT_EQ(residualsbox::x_label_format(0.0f), "(1X,1p,ES9.2)");
    EXPECT_EQ(residualsbox::x_label_format(0.4f), "(1X,F7.2)");
}

// Each redraw starts from a clean window: after the Bessel line with its
// title and axis label, the smoothed line looks exactly as when it was
// chosen first. The y labels end before the ticks of the y axis.
TEST(ResidualsWindow, ARedrawLeavesNothingOfTheLastPlotAndLabelsClearTheAxis) {
    set_fit(wavy(30));
    td::Session session;
    const int id = open(session);
    std::vector<td::Image> images;
    for (const char* item : {"Smooth Trend Line On/Off", "Besseli0 -1 Trend Line On/Off", "Smooth Trend Line On/Off"}) {
        ASSERT_TRUE(td::choose_menu(id, {"Statistical Tests", item}));
        ASSERT_TRUE(td::wait_idle());
        images.push_back(td::grab(id));
    }
    EXPECT_TRUE(images[0].pixels == images[2].pixels);

    // The y axis: the column with the most black pixels.
    std::vector<int> black(static_cast<std::size_t>(images[2].width));
    for (int y = 0; y < images[2].height; ++y)
        for (int x = 0; x < images[2].width; ++x) black[static_cast<std::size_t>(x)] += images[2].pixel(x, y) == ag::BLACK;
    const int axis = static_cast<int>(std::max_element(black.begin(), black.end()) - black.begin());
    ag::setcurrentwindow(id);
    ag::settextstyle(ag::SANS_SERIF_FONT, ag::HORIZ_DIR, 15);
    int labels = 0;
    for (const auto& t : td::text_log(id)) {
        if (t.text.size() < 5 || t.text.substr(t.text.size() - 4) != ".000") continue;  // -6.000 .. 6.000
        ++labels;
        EXPECT_LT(t.canvas_x + ag::textwidth(t.text), axis - 5) << t.text;
    }
    EXPECT_GE(labels, 5);
    ASSERT_TRUE(td::click_button(id, "Close"));
    ASSERT_TRUE(session.wait_finished());
}
