// The plot window, read back through the test driver: axis ranges of the
// four plot kinds, curves and colours, the bootstrap band, titles and
// scaling commands, refused curve counts and the ways out of the window.

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "model/globals.h"
#include "platform/aplot.h"
#include "platform/appgraphics.h"
#include "platform/testdriver.h"
#include "views/plotlogxy.h"

namespace ag = appgraphics;
namespace td = testdriver;

namespace {

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();

// Curves for plotlogxy: one column of ld values per curve.
struct Curves {
    std::vector<float> x, y, yc;
    std::vector<int> npts;
    int ld = 0;

    void add(const std::vector<float>& cx, const std::vector<float>& cy) {
        npts.push_back(static_cast<int>(cx.size()));
        columns.push_back({cx, cy});
    }
    // Lays the columns out with ld the largest curve; the fitted values are y + 0.5.
    void finish() {
        ld = 0;
        for (int n : npts) ld = std::max(ld, n);
        x.assign(ld * npts.size(), 0.0f);
        y = yc = x;
        for (std::size_t k = 0; k < columns.size(); ++k) {
            for (std::size_t i = 0; i < columns[k].first.size(); ++i) {
                x[k * ld + i] = columns[k].first[i];
                y[k * ld + i] = columns[k].second[i];
                yc[k * ld + i] = columns[k].second[i] + 0.5f;
            }
        }
    }
    std::vector<std::pair<std::vector<float>, std::vector<float>>> columns;
};

std::vector<float> ramp(float from, float to, int n) {
    std::vector<float> v;
    for (int i = 0; i < n; ++i) v.push_back(from + (to - from) * static_cast<float>(i) / static_cast<float>(n - 1));
    return v;
}

// A main window on the logic thread that opens the plot of the curves.
class PlotWindow : public ::testing::Test {
protected:
    void SetUp() override {
        globals::reset_run_state();
        common_data::nxd = 1;
        renew_session();
    }
    // The old session ends first: ending restores the real dialogs.
    void renew_session() {
        session_.reset();
        session_ = std::make_unique<td::Session>();
        returned_ = false;
    }
    void TearDown() override { session_.reset(); }

    // Opens the plot with the flags (xlinear, ylinear, hanes) and count ncurves.
    // A refused plot (window false) opens no window to wait for.
    void open(Curves c, std::string flags, int ncurves = -1, bool window = true) {
        c.finish();
        if (ncurves < 0) ncurves = static_cast<int>(c.npts.size());
        session_->start([this, c, flags, ncurves] {
            main_ = ag::initwindow(300, 100, "Main", 0, 0, false);
            globals::idactivescrn = main_.load();
            globals::reset_child_windows(main_);
            std::vector<kalvor::Text<plotlogxy::label_length>> labels(21, kalvor::Text<plotlogxy::label_length>("."));
            plotlogxy::plotlogxy(c.x, c.y, c.yc, c.npts, c.ld, ncurves, labels, flags[0], flags[1], flags[2]);
            returned_ = true;
            return 0;
        });
        if (window) plot_ = td::wait_window("Plot Data", 5);
        ASSERT_TRUE(td::wait_idle());
    }

    td::PlotRecord drawn() {
        EXPECT_TRUE(td::wait_idle());
        const auto r = td::last_plot(plot_);
        EXPECT_TRUE(r.has_value());
        return r.value_or(td::PlotRecord{});
    }

    // The titles drawn over the plot (20-pixel texts), last one last; each
    // ends above the plot's frame.
    std::vector<std::string> titles() {
        ag::setcurrentwindow(plot_);
        ag::settextstyle(ag::PLOT_FONT, ag::HORIZ_DIR, 20);
        std::vector<std::string> out;
        for (const auto& t : td::text_log(plot_)) {
            if (t.size != 20) continue;
            out.push_back(t.text);
            EXPECT_LT(t.canvas_y + ag::textheight(t.text), aplot::frame_top_margin(plotlogxy::plot_height)) << t.text;
        }
        return out;
    }

    bool menu(const std::string& top, const std::string& item) {
        const bool ok = td::choose_menu(plot_, {top, item});
        EXPECT_TRUE(td::wait_idle());
        return ok;
    }

    bool item_enabled(const std::string& label) {
        for (const auto& c : td::controls(plot_)) {
            if (c.kind == td::ControlKind::MenuItem && c.label == label) return c.enabled;
        }
        ADD_FAILURE() << "no item " << label;
        return false;
    }

    void close_and_finish() {
        ASSERT_TRUE(td::click_button(plot_, "Close"));
        ASSERT_TRUE(session_->wait_finished());
        EXPECT_TRUE(returned_);
        EXPECT_EQ(globals::child_windows[globals::child_owner].load(), main_.load());
        EXPECT_EQ(common_data::bcl.load(), 0);
    }

    std::unique_ptr<td::Session> session_;
    std::atomic<int> main_{-1};
    std::atomic<bool> returned_{false};
    int plot_ = -1;
};

Curves one(const std::vector<float>& x, const std::vector<float>& y) {
    Curves c;
    c.add(x, y);
    return c;
}

}  // namespace

TEST(PlotAxes, LinearAndLogarithmicRules) {
    auto r = plotlogxy::linear_axis(5, 500, 100, true);
    EXPECT_EQ(r.lo, 0.0f);  // range above 100
    EXPECT_EQ(r.hi, 625.0f);
    r = plotlogxy::linear_axis(1.000f, 1.005f, 100, true);
    EXPECT_EQ(r.lo, 0.0f);  // range below 0.01
    r = plotlogxy::linear_axis(1.000f, 1.005f, 10, false);
    EXPECT_EQ(r.lo, 0.75f);
    r = plotlogxy::linear_axis(-4, 0, 10, false);
    EXPECT_EQ(r.lo, -5.0f);
    EXPECT_EQ(r.hi, 0.0f);
    EXPECT_FALSE(r.automatic);
    EXPECT_TRUE(plotlogxy::linear_axis(1, 2e10f, 10, false).automatic);

    r = plotlogxy::log_axis(3.2f, 180);
    EXPECT_EQ(r.lo, 0.75f);
    EXPECT_FLOAT_EQ(r.hi, 1250.0f);
    EXPECT_FALSE(r.automatic);
    EXPECT_NEAR(plotlogxy::log_axis(3.2f, 110).hi, 1.25 * std::pow(10.0, 2.1), 1e-3);  // 157.4
    EXPECT_FLOAT_EQ(plotlogxy::log_axis(0.02f, 7).lo, 0.0075f);
    // A minimum no decade fits (or 0) leaves the range to the library, not 0.75 above the data.
    EXPECT_TRUE(plotlogxy::log_axis(1e-12f, 5).automatic);
    EXPECT_TRUE(plotlogxy::log_axis(0.0f, 5).automatic);
    EXPECT_TRUE(plotlogxy::log_axis(2, 3e10f).automatic);
}

TEST_F(PlotWindow, LinearPlotRangesZeroYAndTitle) {
    open(one(ramp(1, 50, 6), ramp(2, 5, 6)), "YYN");
    ASSERT_GE(plot_, 0);
    auto r = drawn();
    EXPECT_FALSE(r.x.logarithmic);
    EXPECT_TRUE(r.x.fixed);
    EXPECT_EQ(r.x.low, 0.75);
    EXPECT_EQ(r.x.high, 62.5);
    EXPECT_EQ(r.y.low, 1.5);
    EXPECT_EQ(r.y.high, 6.25);
    EXPECT_EQ(r.x.label, "X");
    EXPECT_EQ(r.y.label, "Y");
    ASSERT_EQ(r.series.size(), 2u);
    EXPECT_EQ(r.series[0].type, aplot::SERIES_BIG_DOTS);
    EXPECT_EQ(r.series[1].type, aplot::SERIES_LINE);
    EXPECT_EQ(r.series[0].color, ag::creatergb(0, 0, 255));
    EXPECT_EQ(r.series[1].y[0], 2.5);  // the fitted values
    EXPECT_EQ(r.series[0].label, ".");
    EXPECT_EQ(r.width, 510);
    EXPECT_EQ(r.height, 400);
    ASSERT_FALSE(titles().empty());
    EXPECT_EQ(titles().back(), "Linear Plot");
    EXPECT_EQ(globals::child_windows[globals::child_owner].load(), plot_);
    EXPECT_TRUE(item_enabled("Zero Y Axes Minimum"));

    ASSERT_TRUE(menu("Scale Axes", "Zero Y Axes Minimum"));
    r = drawn();
    EXPECT_EQ(r.y.low, 0.0);
    EXPECT_EQ(r.y.high, 6.25);

    // The next redraw for any reason shows the data's range again.
    ASSERT_TRUE(td::choose_menu(plot_, {"Graph Labels", "Plot Title"}));
    auto dialog = td::wait_dialog();
    ASSERT_TRUE(dialog.has_value());
    EXPECT_EQ(dialog->kind, td::DialogKind::RequestText);
    EXPECT_EQ(dialog->title, "Plot Label");
    EXPECT_EQ(dialog->text, "Title of Plot");
    ASSERT_TRUE(td::answer_text("Enzyme rate"));
    r = drawn();
    EXPECT_EQ(r.y.low, 1.5);
    EXPECT_EQ(titles().back(), "Enzyme rate");

    // Cancel leaves "Plot", not the title before.
    ASSERT_TRUE(td::choose_menu(plot_, {"Graph Labels", "Plot Title"}));
    ASSERT_TRUE(td::wait_dialog().has_value());
    ASSERT_TRUE(td::answer_cancel());
    drawn();
    EXPECT_EQ(titles().back(), "Plot");

    ASSERT_TRUE(td::choose_menu(plot_, {"Graph Labels", "Abscissa X Label"}));
    ASSERT_TRUE(td::wait_dialog().has_value());
    ASSERT_TRUE(td::answer_text(std::string(45, 's')));
    EXPECT_EQ(drawn().x.label, std::string(40, 's'));  // cut to 40 characters
    close_and_finish();
}

TEST_F(PlotWindow, WideNarrowAndNegativeRanges) {
    Curves c;
    c.add(ramp(5, 500, 4), ramp(-4, -1, 4));
    open(c, "YYN");
    auto r = drawn();
    EXPECT_EQ(r.x.low, 0.0);
    EXPECT_EQ(r.x.high, 625.0);
    EXPECT_EQ(r.y.low, -5.0);
    EXPECT_EQ(r.y.high, 0.0);
    close_and_finish();
}

TEST_F(PlotWindow, LogarithmicYAxisAndItsGreyedZeroItem) {
    open(one({1, 2, 3}, {3.2f, 50, 180}), "YNN");
    auto r = drawn();
    EXPECT_TRUE(r.y.logarithmic);
    EXPECT_FALSE(r.x.logarithmic);
    EXPECT_EQ(r.y.low, 0.75);
    EXPECT_FLOAT_EQ(static_cast<float>(r.y.high), 1250.0f);
    EXPECT_EQ(r.y.label, "LOG(Y)");
    EXPECT_EQ(titles().back(), "Semilog Plot");
    EXPECT_FALSE(item_enabled("Zero Y Axes Minimum"));
    EXPECT_TRUE(item_enabled("Save Screen"));
    EXPECT_FALSE(menu("Scale Axes", "Zero Y Axes Minimum"));
    close_and_finish();
}

TEST_F(PlotWindow, TenCurvesTakeTheColourTable) {
    Curves c;
    for (int k = 1; k <= 10; ++k) c.add({1, 2, 3}, {float(k), float(k + 1), float(k + 2)});
    open(c, "NYN");
    const auto r = drawn();
    EXPECT_TRUE(r.x.logarithmic);
    EXPECT_EQ(r.x.label, "LOG(X)");
    ASSERT_EQ(r.series.size(), 20u);
    for (int k = 1; k <= 10; ++k) {
        const auto rgb = plotlogxy::curve_color(k);
        const int color = ag::creatergb(rgb.r, rgb.g, rgb.b);
        EXPECT_EQ(r.series[2 * (k - 1)].color, color) << k;
        EXPECT_EQ(r.series[2 * (k - 1) + 1].color, color) << k;
        EXPECT_EQ(r.series[2 * (k - 1)].y[0], k);
    }
    EXPECT_EQ(r.series[14].color, ag::creatergb(0, 0, 255));      // curve 8 as curve 1
    EXPECT_EQ(r.series[16].color, ag::creatergb(255, 128, 0));    // curve 9 as curve 3
    EXPECT_EQ(r.series[2].color, ag::creatergb(0, 204, 102));
    close_and_finish();
}

TEST_F(PlotWindow, CurveCountsOutsideOneToTenAreRefused) {
    for (int n : {0, 11}) {
        Curves c;
        for (int k = 0; k < 11; ++k) c.add({1, 2}, {1, 2});
        c.finish();
        td::Session* s = session_.get();
        s->start([c, n] {
            std::vector<kalvor::Text<plotlogxy::label_length>> labels(21);
            plotlogxy::plotlogxy(c.x, c.y, c.yc, c.npts, c.ld, n, labels, 'Y', 'Y', 'N');
            return 0;
        });
        const auto dialog = td::wait_dialog();
        ASSERT_TRUE(dialog.has_value());
        EXPECT_EQ(dialog->style, ag::DIALOG_ERROR);
        EXPECT_EQ(dialog->text, "Number of curve data sets out of bounds!");
        EXPECT_LT(td::find_window("Plot Data"), 0);
        ASSERT_TRUE(td::answer_ok());
        ASSERT_TRUE(s->wait_finished());
        renew_session();
    }
}

TEST_F(PlotWindow, BandDrawnAsItIsWithANaNUpperLimit) {
    common_data::ybs_filled = 1;
    for (int i = 0; i < 5; ++i) {
        common_data::ybs_lcl[i] = i + 0.5;
        common_data::ybs_ucl[i] = i + 2.0;
    }
    common_data::ybs_ucl[2] = std::numeric_limits<double>::quiet_NaN();
    open(one({1, 2, 3, 4, 5}, {1, 2, 3, 4, 5}), "YYN");
    EXPECT_TRUE(item_enabled("Apply Bootstrap Ydata 95% CL"));
    ASSERT_TRUE(menu("Single Curve Confidence Intervals", "Apply Bootstrap Ydata 95% CL"));
    auto r = drawn();
    ASSERT_EQ(r.series.size(), 6u);
    EXPECT_EQ(titles().back(), "Linear Plot w/95% CL");
    EXPECT_EQ(r.series[2].color, ag::creatergb(255, 0, 0));
    EXPECT_EQ(r.series[3].type, aplot::SERIES_DOTS);
    EXPECT_EQ(r.series[3].color, ag::creatergb(255, 255, 255));
    EXPECT_EQ(r.series[2].y, (std::vector<double>{0.5, 1.5, 2.5, 3.5, 4.5}));
    EXPECT_EQ(r.series[4].y[0], 2.0);  // the upper limits as they are
    EXPECT_EQ(r.series[4].y[4], 6.0);
    EXPECT_TRUE(std::isnan(r.series[4].y[2]));
    EXPECT_EQ(common_data::bcl.load(), 1);

    ASSERT_TRUE(menu("Single Curve Confidence Intervals", "Remove Bootstrap Ydata 95% CL"));
    r = drawn();
    EXPECT_EQ(r.series.size(), 2u);
    EXPECT_EQ(titles().back(), "Linear Plot");
    close_and_finish();
}

TEST_F(PlotWindow, BandItemsOffForTwoXOrWithoutABandOfThisFit) {
    common_data::nxd = 2;
    common_data::ybs_filled = 1;
    open(one({1, 2, 3}, {1, 2, 3}), "YYN");
    EXPECT_FALSE(item_enabled("Apply Bootstrap Ydata 95% CL"));
    EXPECT_FALSE(item_enabled("Remove Bootstrap Ydata 95% CL"));
    EXPECT_FALSE(menu("Single Curve Confidence Intervals", "Apply Bootstrap Ydata 95% CL"));
    EXPECT_EQ(drawn().series.size(), 2u);
    close_and_finish();

    renew_session();
    common_data::nxd = 1;
    common_data::ybs_filled = 0;  // an earlier fit's band, or none: never drawn
    open(one({1, 2, 3}, {1, 2, 3}), "YYN");
    EXPECT_FALSE(item_enabled("Apply Bootstrap Ydata 95% CL"));
    close_and_finish();
}

// The band, x / limit, may reach beyond the points: the y axis takes it in.
// A title the user entered stays through the band.
TEST_F(PlotWindow, HanesWoolfPlotsXOverY) {
    common_data::ybs_filled = 1;
    for (int i = 0; i < 3; ++i) {
        common_data::ybs_lcl[i] = 0.1;  // x / 0.1: up to 40
        common_data::ybs_ucl[i] = 8.0;
    }
    open(one({1, 2, 4}, {0.5f, 1, 2}), "YYY");
    auto r = drawn();
    EXPECT_EQ(r.series[0].y, (std::vector<double>{2, 2, 2}));
    EXPECT_EQ(r.series[1].y[0], 1.0);  // 1 / (0.5 + 0.5)
    EXPECT_EQ(r.y.label, "X / Y");
    EXPECT_EQ(titles().back(), "Hanes-Woolf Plot");

    ASSERT_TRUE(td::choose_menu(plot_, {"Graph Labels", "Plot Title"}));
    ASSERT_TRUE(td::wait_dialog().has_value());
    ASSERT_TRUE(td::answer_text("Enzyme"));
    ASSERT_TRUE(menu("Single Curve Confidence Intervals", "Apply Bootstrap Ydata 95% CL"));
    r = drawn();
    ASSERT_EQ(r.series.size(), 6u);
    for (const auto& s : r.series)
        for (const double v : s.y) EXPECT_TRUE(v >= r.y.low && v <= r.y.high) << v;
    EXPECT_EQ(titles().back(), "Enzyme");
    close_and_finish();
}

TEST_F(PlotWindow, AnAbandonedHanesWoolfPlotGivesTheChildTableBack) {
    open(one({1, 2, 4}, {0.5f, -1e-13f, 2}), "YYY", -1, false);  // -1e-13 counts as -1e-12
    ASSERT_TRUE(session_->wait_finished());
    EXPECT_TRUE(returned_);
    EXPECT_LT(td::find_window("Plot Data"), 0);
    EXPECT_EQ(globals::child_windows[globals::child_owner].load(), main_.load());

    renew_session();
    open(one({1, 2, 4}, {0.5f, kNaN, 2}), "YYY");  // a NaN passes as the smallest / 100
    ASSERT_GE(plot_, 0);
    EXPECT_TRUE(std::isnan(drawn().series[0].y[1]));
    close_and_finish();
}

TEST_F(PlotWindow, CloseBoxActsAsCloseAndCloseDuringRapidCommands) {
    open(one(ramp(1, 50, 40), ramp(2, 5, 40)), "YYN");
    ASSERT_TRUE(td::close_from_title_bar(plot_));
    ASSERT_TRUE(session_->wait_finished());
    EXPECT_TRUE(returned_);
    EXPECT_LT(td::find_window("Plot Data"), 0);
    EXPECT_EQ(globals::child_windows[globals::child_owner].load(), main_.load());

    renew_session();
    open(one(ramp(1, 50, 40), ramp(2, 5, 40)), "YYN");

    for (int i = 0; i < 20; ++i) {
        td::choose_menu(plot_, {"Scale Axes", i % 2 ? "Auto Scale Y Axes" : "Zero Y Axes Minimum"});
    }
    ASSERT_TRUE(td::click_button(plot_, "Close"));
    for (int i = 0; i < 20; ++i) td::choose_menu(plot_, {"Scale Axes", "Zero Y Axes Minimum"});
    ASSERT_TRUE(session_->wait_finished());
    EXPECT_TRUE(returned_);
    EXPECT_LT(td::find_window("Plot Data"), 0);
    EXPECT_EQ(globals::child_windows[globals::child_owner].load(), main_.load());
}

// No control covers text the window draws: the axis titles and tick labels
// of each plot kind (XY, Log(X), Log(Y), Hanes-Woolf), also a user's x title
// with descenders. ctest runs this again on screens of 1280x1024 and
// 1024x768 (KALVOR_TEST_SCREEN).
TEST_F(PlotWindow, NoControlCoversDrawnText) {
    const auto x_title_drawn = [this](const std::string& title) {
        for (const auto& t : td::text_log(plot_))
            if (t.text == title && t.direction == ag::HORIZ_DIR) return true;
        return false;
    };
    for (const std::string flags : {"YYN", "NYN", "YNN", "YYY"}) {
        SCOPED_TRACE(flags);
        renew_session();
        open(one(ramp(1, 50, 40), ramp(2, 5, 40)), flags);
        ASSERT_GE(plot_, 0);
        if (const char* screen = std::getenv("KALVOR_TEST_SCREEN")) {
            const auto size = td::screen_size();
            EXPECT_EQ(std::to_string(size.width) + "x" + std::to_string(size.height), screen);
        }
        EXPECT_TRUE(x_title_drawn(flags[0] == 'N' ? "LOG(X)" : "X"));
        EXPECT_EQ(td::unreachable_text(plot_), std::vector<std::string>{});

        ASSERT_TRUE(td::choose_menu(plot_, {"Graph Labels", "Abscissa X Label"}));
        ASSERT_TRUE(td::wait_dialog().has_value());
        ASSERT_TRUE(td::answer_text("Substrate (mg/g), y"));
        ASSERT_TRUE(td::wait_idle());
        EXPECT_TRUE(x_title_drawn("Substrate (mg/g), y"));
        EXPECT_EQ(td::unreachable_text(plot_), std::vector<std::string>{});
        close_and_finish();
    }
}
