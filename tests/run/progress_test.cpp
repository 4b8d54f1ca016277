// The run display of a fit and its Cancel button, drawn into a window of
// the scripted test session.

#include "run/progress.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <string>
#include <vector>

#include "model/globals.h"
#include "platform/appgraphics.h"
#include "platform/testdriver.h"
#include "run/cascade.h"
#include "run/displaypar.h"
#include "run/sharc.h"
#include "run/sharc_fixture.h"

namespace {

namespace ag = appgraphics;
namespace td = testdriver;

// A driver state with two parameters and a refinement count of 93.
void prepare(sharc::DriverState& s) {
    s.np = 2;
    s.p = {1.5, 2.0};
    s.lowest = 12.5;
    s.refine_start = 1;
    s.refine_cap = 94;
    s.stage_counter = 0;
}

std::vector<td::TextRecord> texts_at(int window, int x, int y) {
    std::vector<td::TextRecord> out;
    for (const auto& r : td::text_log(window))
        if (r.x == x && r.y == y) out.push_back(r);
    return out;
}

bool drawn(int window, const std::string& text) {
    const auto log = td::text_log(window);
    return std::any_of(log.begin(), log.end(), [&](const td::TextRecord& r) { return r.text == text; });
}

bool has_cancel_button(int window) {
    const auto controls = td::controls(window);
    return std::any_of(controls.begin(), controls.end(),
                       [](const td::ControlInfo& c) { return c.label == "Cancel"; });
}

class RunDisplayTest : public ::testing::Test {
protected:
    void SetUp() override { globals::reset_run_state(); }
    void TearDown() override {
        cascade::services() = {};
        globals::reset_run_state();
    }
};

// ---- Cancel ----

TEST_F(RunDisplayTest, CancelUsesUpTheCountAndTwiceIsOnce) {
    sharc::DriverState s;
    prepare(s);
    s.stage_counter = 7;
    sharc::canceltest(s);
    EXPECT_EQ(globals::bcancelrun.load(), 1);
    EXPECT_EQ(s.stage_counter.load(), 94);  // cap - start + 1
    sharc::canceltest(s);
    EXPECT_EQ(s.stage_counter.load(), 94);
}

TEST_F(RunDisplayTest, ProgressIsTheCountAgainstTheCapInSinglePrecision) {
    sharc::DriverState s;
    prepare(s);
    s.stage_counter = 2;
    EXPECT_FLOAT_EQ(sharc::progress_value(s, true), 400.0f / 93.0f);
    s.stage_counter = 60;
    EXPECT_FLOAT_EQ(sharc::progress_value(s, false), 12000.0f / 93.0f);
    EXPECT_FLOAT_EQ(sharc::progress_value(s, true), 100.0f);
    s.refine_cap = 1;  // no room to count in
    EXPECT_FLOAT_EQ(sharc::progress_value(s, false), 100.0f);
}

// ---- drawing ----

TEST_F(RunDisplayTest, DrawpercentCutsItsTextAndDrawsNothingWhenBlank) {
    td::Session session;
    progressbar::Progresswindow w;
    int window = -1;
    session.start([&] {
        window = ag::initwindow(700, 200, "Main");
        w.drawpercent(0, std::string(200, 'x'));
        w.drawpercent(0, "   ");
        return 0;
    });
    ASSERT_TRUE(session.wait_finished());
    EXPECT_TRUE(w.text.blank());
    const auto at_top = texts_at(window, 5, 5);
    ASSERT_EQ(at_top.size(), 1u);
    EXPECT_EQ(at_top[0].text, std::string(128, 'x'));
}

TEST_F(RunDisplayTest, ProgressLinesLagOnePoint) {
    td::Session session;
    sharc::DriverState s;
    prepare(s);
    std::vector<std::string> lines;
    int window = -1, button = -1;
    session.start([&] {
        window = ag::initwindow(700, 200, "Main");
        sharc::RunDisplay display;
        display.open(s);
        lines.push_back(display.window().text.trimmed());
        for (int point = 1; point <= 26; ++point) {
            s.stage_counter = point == 26 ? 60 : point;
            display.progress_point(s, true);
            lines.push_back(display.window().text.trimmed());
        }
        display.draw_values(s);
        button = display.button();
        return 0;
    });
    ASSERT_TRUE(session.wait_finished());
    EXPECT_EQ(lines[0], "Progress:    0%");
    EXPECT_EQ(lines[1], "Progress:    2%");  // 200 / 93 = 2.15
    EXPECT_EQ(lines.back(), "Progress:  100%");  // capped

    // The first progress point draws its (empty) line: nothing at (5, 5)
    // before the second point.
    const auto at_top = texts_at(window, 5, 5);
    ASSERT_EQ(at_top.size(), 26u);
    EXPECT_EQ(at_top[0].text, lines[0]);
    EXPECT_EQ(at_top[0].font, ag::MONOSPACE_FONT);
    EXPECT_EQ(at_top[0].size, 15);
    EXPECT_TRUE(drawn(window, "Wait, preprocessing.."));
    EXPECT_TRUE(drawn(window, "(  SSE = 12.500000  )"));
    EXPECT_TRUE(drawn(window, "[ P1 = 1.5000000 P2 = 2.0000000 ]"));
    EXPECT_GE(button, 0);
}

// The display stays inside the main window's size: the bar shows the
// percent of its line as the filled share of its frame, (154, 8) to
// (575, 18), and eight long parameter values wrap onto rows that end before
// the right edge.
TEST_F(RunDisplayTest, TheBarFillsItsShareOfTheFrameAndTheParametersWrap) {
    td::Session session;
    sharc::DriverState s;
    prepare(s);
    s.refine_cap = 101;  // a percent of twice the count
    s.np = 8;
    s.p = {-123.456789, 0.0123456789, 1.5, -2.5e-7, 98765.4321, 3.0, -4.25e12, 0.5};
    td::Image images[3];
    int window = -1;
    std::vector<int> row_ends;
    session.start([&] {
        window = ag::initwindow(670, 165, "Main");
        sharc::RunDisplay display;
        display.open(s);
        for (int k = 0; k < 3; ++k) {
            s.stage_counter = 25 * k;
            display.progress_point(s, false);  // composes the line of this percent
            display.progress_point(s, false);  // and draws it
            images[k] = td::grab(window);
        }
        display.draw_values(s);
        ag::settextstyle(ag::MONOSPACE_FONT, ag::HORIZ_DIR, 15);
        for (const auto& r : td::text_log(window))
            if (r.x == 25 && r.y >= 45) row_ends.push_back(r.x + ag::textwidth(r.text) - ag::getmaxx());
        return 0;
    });
    ASSERT_TRUE(session.wait_finished());
    for (int k = 0; k < 3; ++k) {
        int rightmost = 154;  // of the bar inside the frame
        for (int y = 9; y <= 17; ++y)
            for (int x = 155; x < images[k].width; ++x)
                if (x != 575 && images[k].pixel(x, y) != ag::WHITE) rightmost = std::max(rightmost, x);
        EXPECT_NEAR(rightmost - 154, 420 * 50 * k / 100, 3) << 50 * k << "%";  // 420 pixels inside
    }
    std::string shown;
    for (const auto& r : td::text_log(window))
        if (r.x == 25 && r.y >= 45) shown += r.text;
    kalvor::Text<256> line;
    sharc::displaypar(s.p, s.np, line);
    std::erase(shown, ' ');
    std::string whole = line.trimmed();
    std::erase(whole, ' ');
    EXPECT_EQ(shown, whole);
    EXPECT_GT(row_ends.size(), 1u);
    for (const int end : row_ends) EXPECT_LT(end, 0);
}

TEST_F(RunDisplayTest, TheLabelTellsAReweightedPassAndASecondDifficultFit) {
    for (const auto& [brewt, iopt2, label] : {std::tuple{1, -1, "Reweight:"}, std::tuple{0, -1, "Refining:"},
                                              std::tuple{0, 0, "Progress:"}}) {
        td::Session session;
        globals::brewt = brewt;
        globals::iopt2 = iopt2;
        sharc::DriverState s;
        prepare(s);
        std::string line;
        session.start([&] {
            ag::initwindow(700, 200, "Main");
            sharc::RunDisplay display;
            display.open(s);
            line = display.window().text.trimmed();
            return 0;
        });
        ASSERT_TRUE(session.wait_finished());
        EXPECT_EQ(line.substr(0, 9), label);
    }
}

TEST_F(RunDisplayTest, TheClosingScreenNamesTheFileUnlessAFirstDifficultFitEnds) {
    struct Case {
        int iopt, iopt2, restart;
        bool shown;
    };
    for (const Case c : {Case{2, 0, 0, true}, Case{3, 3, 0, false}, Case{3, 3, 1, true}, Case{3, -1, 0, true}}) {
        td::Session session;
        globals::iopt = c.iopt;
        globals::iopt2 = c.iopt2;
        globals::input_file_name.assign("/data/series one/RUNS#1.DAT");
        sharc::DriverState s;
        prepare(s);
        int window = -1, button = 0;
        session.start([&] {
            window = ag::initwindow(700, 200, "Main");
            sharc::RunDisplay display;
            display.open(s);
            display.close(c.restart);
            button = display.button();
            return 0;
        });
        ASSERT_TRUE(session.wait_finished());
        EXPECT_EQ(drawn(window, "Data File: RUNS#1.DAT"), c.shown) << c.iopt << c.iopt2 << c.restart;
        EXPECT_EQ(drawn(window, "Analysis completed..."), c.shown);
        EXPECT_EQ(button, -1);  // removed
    }
}

// The Cancel button of a running fit: pressed while a stage works, the fit
// ends after that stage with the outcome "cancelled".
TEST_F(RunDisplayTest, PressingCancelDuringAFitEndsItAfterTheRunningStage) {
    td::Session session;
    globals::iopt = 1;
    sharc_test::compile_model("P1+P2*X1", 2);
    std::atomic<int> later_stages{0};
    auto& sv = cascade::services();
    std::atomic<int> tunnel_calls{0};
    sv.tunnelsearch = [&](const kalvor::Objective&, int, std::span<double>, double&, std::span<double>,
                          std::span<double>, std::span<const int>) {
        // The first of the two tunnelling searches waits while the test presses Cancel.
        if (tunnel_calls++ == 0) ag::dlgmessage(ag::DIALOG_INFORMATION, "working");
    };
    sv.va10b = [&](int, int, std::span<double>, double&, std::span<double>, int, int, int, int&) { ++later_stages; };
    sv.marq = [&](cascade::MarqCall&) { ++later_stages; };

    sharc_mod::SharcArgs a;
    a.n = 6;
    a.m = 1;
    a.k = 2;
    a.x = kalvor::Matrix(6, 1);
    for (std::size_t i = 0; i < 6; ++i) a.x(i, 0) = static_cast<double>(i + 1);
    a.y = {3.1, 4.9, 7.2, 8.8, 11.1, 13.0};
    a.sig.assign(6, 1.0);
    a.p = {1.0, 1.0};
    a.mask = {1, 1};
    a.lo = {-100.0, -100.0};
    a.hi = {100.0, 100.0};
    a.cap_plus_one = 95;
    a.bounded = 1;
    sharc_mod::Outcome outcome = sharc_mod::Outcome::fitted;
    int window = -1;
    session.start([&] {
        window = ag::initwindow(700, 200, "Main");
        outcome = sharc_mod::sharc(a);
        return 0;
    });
    ASSERT_TRUE(td::wait_dialog().has_value());
    ASSERT_TRUE(has_cancel_button(window));
    ASSERT_TRUE(td::click_button(window, "Cancel"));
    ASSERT_TRUE(td::wait_idle());
    EXPECT_EQ(globals::bcancelrun.load(), 1);
    ASSERT_TRUE(td::answer_ok());
    ASSERT_TRUE(session.wait_finished());
    EXPECT_EQ(outcome, sharc_mod::Outcome::cancelled);
    EXPECT_EQ(tunnel_calls.load(), 2);  // the running stage finished
    EXPECT_EQ(later_stages.load(), 0);
    EXPECT_EQ(globals::bcancelrun.load(), 1);
    EXPECT_TRUE(drawn(window, "Analysis completed..."));
    EXPECT_GT(a.ssq, 0.0);
}

}  // namespace
