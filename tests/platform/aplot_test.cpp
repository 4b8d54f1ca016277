// The plot library: axis ranges and ticks, linear and logarithmic mapping,
// points left out, and degenerate data that must still draw.

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "platform/aplot.h"
#include "platform/appgraphics.h"
#include "platform/testdriver.h"

namespace ag = appgraphics;
namespace td = testdriver;

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

struct Centre {
    double x = 0, y = 0;
    int count = 0;
};

// Centre of the pixels of one colour.
Centre centre_of(const td::Image& img, int color) {
    Centre c;
    for (int y = 0; y < img.height; ++y) {
        for (int x = 0; x < img.width; ++x) {
            if (img.pixel(x, y) != color) continue;
            c.x += x;
            c.y += y;
            ++c.count;
        }
    }
    if (c.count) {
        c.x /= c.count;
        c.y /= c.count;
    }
    return c;
}

// Texts of the tick labels the plot drew, in order (size 11 texts).
std::vector<std::string> ticks(int window) {
    std::vector<std::string> out;
    for (const auto& r : td::text_log(window)) {
        if (r.size == 11) out.push_back(r.text);
    }
    return out;
}

// One dot series of one point in a colour.
void dot(aplot::aplot_t plot, double x, double y, int r, int g, int b) {
    const double xs[] = {x}, ys[] = {y};
    const int s = aplot::add_dataset(plot, xs, ys);
    aplot::set_seriestype(plot, s, aplot::SERIES_BIG_DOTS);
    aplot::set_seriescolor(plot, s, r, g, b);
}

// Draws dots at the two ends of both axes (red low, blue high) and one in
// the middle (green), and checks that the middle one lies half way.
void expect_middle_half_way(aplot::aplot_t plot, int window, double low, double mid, double high) {
    dot(plot, low, low, 255, 0, 0);
    dot(plot, high, high, 0, 0, 255);
    dot(plot, mid, mid, 0, 255, 0);
    aplot::embed_plot(plot, window, 0, 0, 400, 300);
    const auto img = td::grab(window);
    const auto lo = centre_of(img, ag::creatergb(255, 0, 0));
    const auto hi = centre_of(img, ag::creatergb(0, 0, 255));
    const auto md = centre_of(img, ag::creatergb(0, 255, 0));
    ASSERT_GT(lo.count, 0);
    ASSERT_GT(hi.count, 0);
    ASSERT_GT(md.count, 0);
    EXPECT_LT(lo.x, hi.x);
    EXPECT_GT(lo.y, hi.y);  // y grows upward
    EXPECT_NEAR(md.x, (lo.x + hi.x) / 2, 1.5);
    EXPECT_NEAR(md.y, (lo.y + hi.y) / 2, 1.5);
}

}  // namespace

TEST(Aplot, AutoscaleGivesNeatLimitsAndLabels) {
    td::Session session;
    const int id = ag::initwindow(510, 400, "Plot Data");
    auto plot = aplot::initialize_plot();
    const std::vector<double> x = {1, 20, 50};
    const std::vector<double> y = {0.3, 5.1, 9.7};
    aplot::add_dataset(plot, x, y);
    aplot::set_xlabel(plot, "X   ");
    aplot::set_ylabel(plot, "Y");
    aplot::embed_plot(plot, id, 0, 0, 510, 400);
    aplot::destroy_plot(plot);
    EXPECT_EQ(plot, nullptr);
    EXPECT_EQ(ticks(id), (std::vector<std::string>{"0", "10", "20", "30", "40", "50",   // x
                                                   "0", "2", "4", "6", "8", "10"}));  // y
    bool x_label = false, y_label = false;
    for (const auto& r : td::text_log(id)) {
        if (r.text == "X" && r.direction == ag::HORIZ_DIR) x_label = true;
        if (r.text == "Y" && r.direction == ag::VERT_DIR) y_label = true;
    }
    EXPECT_TRUE(x_label);
    EXPECT_TRUE(y_label);
}

TEST(Aplot, FixedScalesAreKeptAndPointsMapLinearly) {
    td::Session session;
    const int id = ag::initwindow(400, 300, "Linear");
    auto plot = aplot::initialize_plot();
    aplot::set_xscale(plot, 0, 10);
    aplot::set_yscale_4(plot, 0.0f, 10.0f);
    dot(plot, 2.5, 7.5, 255, 0, 255);
    expect_middle_half_way(plot, id, 0, 5, 10);
    aplot::destroy_plot(plot);
    const auto img = td::grab(id);
    const auto low = centre_of(img, ag::creatergb(255, 0, 0));
    const auto high = centre_of(img, ag::creatergb(0, 0, 255));
    const auto quarter = centre_of(img, ag::creatergb(255, 0, 255));
    EXPECT_NEAR(quarter.x, low.x + (high.x - low.x) / 4, 1.5);
    EXPECT_NEAR(quarter.y, low.y + (high.y - low.y) * 3 / 4, 1.5);
    EXPECT_EQ(ticks(id).front(), "0");
}

TEST(Aplot, LogarithmicAxesMapDecadesEvenly) {
    td::Session session;
    const int id = ag::initwindow(400, 300, "Log");
    auto plot = aplot::initialize_plot();
    aplot::set_xlogarithmic(plot);
    aplot::set_ylogarithmic(plot);
    aplot::set_xscale(plot, 1, 100);
    aplot::set_yscale(plot, 1, 100);
    dot(plot, -1, 10, 255, 0, 255);  // not above 0 on a log axis: left out
    dot(plot, 10, 0, 255, 0, 255);
    expect_middle_half_way(plot, id, 1, 10, 100);
    aplot::destroy_plot(plot);
    EXPECT_EQ(centre_of(td::grab(id), ag::creatergb(255, 0, 255)).count, 0);
    EXPECT_EQ(ticks(id), (std::vector<std::string>{"1", "10", "100", "1", "10", "100"}));
}

TEST(Aplot, LogAutoscaleUsesWholeDecades) {
    td::Session session;
    const int id = ag::initwindow(510, 400, "Log auto");
    auto plot = aplot::initialize_plot();
    aplot::set_ylogarithmic(plot);
    const std::vector<double> x = {1, 2, 3, 4};
    const std::vector<double> y = {3.2, 0.0, -5.0, 180.0};
    aplot::add_dataset(plot, x, y);
    aplot::embed_plot(plot, id, 0, 0, 510, 400);
    aplot::destroy_plot(plot);
    const auto t = ticks(id);
    ASSERT_GE(t.size(), 4u);
    EXPECT_EQ(std::vector<std::string>(t.end() - 4, t.end()), (std::vector<std::string>{"1", "10", "100", "1000"}));
}

TEST(Aplot, NanAndInfinitePointsAreLeftOutAndBreakTheLine) {
    td::Session session;
    const int id = ag::initwindow(400, 300, "Gaps");
    auto plot = aplot::initialize_plot();
    aplot::set_xscale(plot, 0, 10);
    aplot::set_yscale(plot, 0, 10);
    // A line whose only neighbours are across gaps draws nothing.
    const std::vector<double> gx = {1, kNaN, 5, 9, kInf};
    const std::vector<double> gy = {1, 5, kNaN, 9, 2};
    const int gaps = aplot::add_dataset(plot, gx, gy);
    aplot::set_seriescolor(plot, gaps, 255, 0, 0);
    // A line with two good neighbours draws between them.
    const std::vector<double> lx = {1, 2, kNaN};
    const std::vector<double> ly = {8, 8, kNaN};
    const int good = aplot::add_dataset(plot, lx, ly);
    aplot::set_seriescolor(plot, good, 0, 0, 255);
    dot(plot, kNaN, 5, 0, 255, 0);
    aplot::embed_plot(plot, id, 0, 0, 400, 300);
    aplot::destroy_plot(plot);
    const auto img = td::grab(id);
    EXPECT_EQ(centre_of(img, ag::creatergb(255, 0, 0)).count, 0);
    EXPECT_GT(centre_of(img, ag::creatergb(0, 0, 255)).count, 10);
    EXPECT_EQ(centre_of(img, ag::creatergb(0, 255, 0)).count, 0);
}

TEST(Aplot, DegenerateDataStillDraws) {
    td::Session session;
    const int id = ag::initwindow(300, 200, "Degenerate");
    const std::vector<std::vector<double>> cases = {
        {},                                     // no points
        {kNaN, kNaN},                           // nothing usable
        {4.0, 4.0, 4.0},                        // one value
        {0.0},                                  // a single zero
        {-1e308, 1e308},                        // a range that overflows
        {-1.7e308, 1.7e308},                    // the same, near the largest doubles
        {1.7e308},                              // one value too large to widen on both sides
        {5e-324},                               // one value too small to widen by a share
        {1e-300, 2e-300},                       // a tiny range
        {1.0, 1.0 + 1e-15},                     // a range below the precision of its values
        {1e15, 1e15 + 1},                       // the same, far from 1
    };
    // Ticks are drawn, and no two neighbours read the same.
    auto expect_ticks = [&](const std::vector<double>& v) {
        const auto t = ticks(id);
        EXPECT_FALSE(t.empty());
        for (std::size_t k = 1; k < t.size(); ++k) {
            EXPECT_NE(t[k - 1], t[k]) << ::testing::PrintToString(v) << ": " << ::testing::PrintToString(t);
        }
        td::clear_text_log(id);
    };
    for (const auto& v : cases) {
        td::clear_text_log(id);
        auto plot = aplot::initialize_plot();
        aplot::add_dataset(plot, v, v);
        const int bars = aplot::add_dataset(plot, v, v);
        aplot::set_seriestype(plot, bars, aplot::SERIES_BARS);
        aplot::embed_plot(plot, id, 0, 0, 300, 200);
        expect_ticks(v);
        aplot::set_xlogarithmic(plot);
        aplot::set_ylogarithmic(plot, 1.0);  // an unusable base counts as 10
        aplot::embed_plot(plot, id, 0, 0, 300, 200);
        expect_ticks(v);
        aplot::destroy_plot(plot);
    }
    // Fixed scales in the wrong order or of no width.
    auto plot = aplot::initialize_plot();
    aplot::set_xscale(plot, 5, 1);
    aplot::set_yscale(plot, 3, 3);
    aplot::embed_plot(plot, id, 0, 0, 300, 200);
    aplot::embed_plot(plot, id, 0, 0, 5, 5);  // too small for a frame
    aplot::destroy_plot(plot);
    aplot::destroy_plot(plot);  // a null handle is ignored
    EXPECT_EQ(aplot::add_dataset(plot, std::vector<double>{1}, std::vector<double>{1}), -1);
}

TEST(Aplot, SinglePrecisionDataAndTheWindowBecomesCurrent) {
    td::Session session;
    const int plot_window = ag::initwindow(300, 200, "Plot");
    const int other = ag::initwindow(100, 100, "Other");
    EXPECT_EQ(ag::getcurrentwindow(), other);
    auto plot = aplot::initialize_plot();
    const std::vector<float> x = {1.0f, 2.0f, 3.0f};
    const std::vector<float> y = {2.0f, 4.0f, 8.0f};
    EXPECT_EQ(aplot::add_dataset_4(plot, x, y), 0);
    EXPECT_EQ(aplot::add_dataset_4(plot, x, y), 1);
    aplot::set_serieslabel(plot, 1, ".   ");
    aplot::set_seriestype(plot, 1, aplot::SERIES_DOTS);
    ag::setcolor(ag::RED);
    aplot::embed_plot(plot, plot_window, 0, 0, 300, 200);
    aplot::destroy_plot(plot);
    EXPECT_EQ(ag::getcurrentwindow(), plot_window);
    EXPECT_EQ(ag::getcolor(), ag::BLACK);  // the plot window's own state, untouched
    ag::setcurrentwindow(other);
    EXPECT_EQ(ag::getcolor(), ag::RED);
}

// Tick labels carry as many digits as the step needs: Julian dates over one day.
TEST(Aplot, NarrowRangesFarFromZeroGetTicksThatReadDifferently) {
    td::Session session;
    const int id = ag::initwindow(510, 400, "Dates");
    auto plot = aplot::initialize_plot();
    const std::vector<double> x = {2451545.0, 2451545.5, 2451546.0};
    aplot::add_dataset(plot, x, x);
    aplot::embed_plot(plot, id, 0, 0, 510, 400);
    aplot::destroy_plot(plot);
    const auto t = ticks(id);
    ASSERT_GE(t.size(), 6u);
    EXPECT_EQ(std::vector<std::string>(t.begin(), t.begin() + 6),
              (std::vector<std::string>{"2451545", "2451545.2", "2451545.4", "2451545.6", "2451545.8", "2451546"}));
}

// A line to a point far outside a fixed range is cut at the frame, however
// far the point: drawn exactly as the line to the frame itself.
TEST(Aplot, LinesToPointsFarOutsideAFixedRangeAreCutAtTheFrame) {
    td::Session session;
    const int id = ag::initwindow(400, 300, "Far");
    auto draw = [&](double far) {
        auto plot = aplot::initialize_plot();
        aplot::set_xscale(plot, 0, 10);
        aplot::set_yscale(plot, 0, 10);
        auto line = [&](std::vector<double> x, std::vector<double> y, int r, int g, int b) {
            aplot::set_seriescolor(plot, aplot::add_dataset(plot, x, y), r, g, b);
        };
        line({-far, far}, {5, 5}, 255, 0, 0);  // level
        line({5, 5}, {-far, far}, 0, 255, 0);  // upright
        line({1, far}, {1, far}, 0, 0, 255);   // slanted, one end far
        aplot::embed_plot(plot, id, 0, 0, 400, 300);
        aplot::destroy_plot(plot);
        return td::grab(id);
    };
    const auto framed = draw(10);
    for (double far : {1e10, 1e300, 1.7e308}) {
        const auto img = draw(far);
        for (int color : {ag::creatergb(255, 0, 0), ag::creatergb(0, 255, 0), ag::creatergb(0, 0, 255)}) {
            const auto expected = centre_of(framed, color);
            const auto seen = centre_of(img, color);
            ASSERT_GT(expected.count, 100);
            EXPECT_NEAR(seen.count, expected.count, 2) << far << " " << color;
            EXPECT_NEAR(seen.x, expected.x, 0.5) << far << " " << color;
            EXPECT_NEAR(seen.y, expected.y, 0.5) << far << " " << color;
        }
    }
}

TEST(Aplot, TheTestDriverReadsBackTheLastEmbeddedPlot) {
    td::Session session;
    const int id = ag::initwindow(300, 200, "Read back");
    EXPECT_FALSE(td::last_plot(id).has_value());
    auto plot = aplot::initialize_plot();
    aplot::set_xlogarithmic(plot);
    aplot::set_yscale_4(plot, 1.5f, 6.25f);
    aplot::set_ylabel(plot, "Y  ");
    const std::vector<float> x = {1, 2}, y = {3, 4};
    dot(plot, 9, 9, 1, 2, 3);
    const int s = aplot::add_dataset_4(plot, x, y);
    aplot::set_serieslabel(plot, s, "fit ");
    aplot::embed_plot(plot, id, 10, 20, 200, 150);
    aplot::set_xlinear(plot);  // changes after drawing are not read back
    aplot::embed_plot(plot, -1, 0, 0, 10, 10);  // nor a plot drawn into no window
    aplot::destroy_plot(plot);

    const auto r = td::last_plot(id);
    ASSERT_TRUE(r.has_value());
    EXPECT_TRUE(r->x.logarithmic);
    EXPECT_FALSE(r->x.fixed);
    EXPECT_FALSE(r->y.logarithmic);
    EXPECT_TRUE(r->y.fixed);
    EXPECT_EQ(r->y.low, 1.5);
    EXPECT_EQ(r->y.high, 6.25);
    EXPECT_EQ(r->y.label, "Y");
    ASSERT_EQ(r->series.size(), 2u);
    EXPECT_EQ(r->series[0].type, aplot::SERIES_BIG_DOTS);
    EXPECT_EQ(r->series[0].color, ag::creatergb(1, 2, 3));
    EXPECT_EQ(r->series[1].type, aplot::SERIES_LINE);
    EXPECT_EQ(r->series[1].color, -1);
    EXPECT_EQ(r->series[1].x, (std::vector<double>{1, 2}));
    EXPECT_EQ(r->series[1].label, "fit");
    EXPECT_EQ(r->left, 10);
    EXPECT_EQ(r->height, 150);
}
