// What the main window hands its result views: the results and data-table
// texts, the curves of the plots and the refusals by plot kind.

#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

#include "shell/resultviews.h"

using namespace resultviews;

namespace {

std::vector<std::string> split_crlf(const std::string& text) {
    std::vector<std::string> out;
    std::size_t at = 0;
    while (true) {
        const std::size_t end = text.find("\r\n", at);
        out.push_back(text.substr(at, end - at));
        if (end == std::string::npos) return out;
        at = end + 2;
    }
}

// n data lines of the table, each with a decimal point, then blank ones.
std::array<Line, 62> table(int n) {
    std::array<Line, 62> lines;
    for (int i = 0; i < n; ++i) lines[static_cast<std::size_t>(i)].assign("  " + std::to_string(i + 1) + ".5   7.25");
    return lines;
}

}  // namespace

TEST(ResultsText, JoinedWithoutCutAndWidthWithoutTheLastLine) {
    std::array<Line, 62> lines;
    lines[0].assign("first");
    lines[1].assign("second line");
    lines[2].assign("the last line is the longest one");
    auto t = results_text(lines, 3);
    EXPECT_EQ(t.text, "first\r\nsecond line\r\nthe last line is the longest one" + std::string(188, ' '));
    EXPECT_EQ(t.clen, 11);
    EXPECT_EQ(t.nlines, 4);
    EXPECT_EQ(results_text(lines, 1).clen, 1);
    EXPECT_EQ(results_text(lines, 0).text, "");

    // 62 lines of 150 characters: more than 4096 characters, none cut.
    for (auto& l : lines) l.assign(std::string(150, 'r'));
    t = results_text(lines, 62);
    EXPECT_GT(t.text.size(), 9000u);
    EXPECT_EQ(split_crlf(t.text).size(), 62u);
}

TEST(DataTableText, ARuleUnderAShortTable) {
    const auto lines = table(20);
    const auto t = xydata_text(lines, 20);
    const auto shown = split_crlf(t.text);
    // Three CR LF pairs, each line after a CR LF of its own, the rule.
    ASSERT_EQ(shown.size(), 25u);
    EXPECT_EQ(shown[3], "");
    EXPECT_EQ(shown[4], lines[0].trimmed());
    EXPECT_EQ(shown[24], std::string(static_cast<std::size_t>(t.clen - 10), '-'));
    EXPECT_EQ(t.clen, static_cast<int>(lines[19].len_trim()));
    EXPECT_EQ(t.nlines, 21);
}

TEST(DataTableText, StopsAtTheFirstLineWithoutAPoint) {
    auto lines = table(20);
    lines[4].assign("  end of table");
    const auto t = xydata_text(lines, 20);
    const auto shown = split_crlf(t.text);
    EXPECT_EQ(t.nlines, 5);
    EXPECT_EQ(shown[8], "  end of table");
    EXPECT_EQ(shown.size(), 10u);
    EXPECT_EQ(shown[9].find_first_not_of('-'), std::string::npos);
}

TEST(DataTableText, LongTablesEndWithTheMarker) {
    const auto lines = table(62);
    auto t = xydata_text(lines, 62);
    auto shown = split_crlf(t.text);
    EXPECT_EQ(t.nlines, 51);
    EXPECT_EQ(shown[2], "");
    EXPECT_EQ(shown[3], lines[0].trimmed());  // one CR LF pair fewer above a long table
    EXPECT_EQ(shown.back(), truncation_marker);
    EXPECT_EQ(shown[3 + 51], truncation_marker);  // line 52 reads as the marker
    EXPECT_EQ(shown.size(), 3u + 52u + 1u);

    // A table reaching line 48 ends with the marker, one line shorter with a rule.
    t = xydata_text(table(47), 47);
    EXPECT_EQ(t.nlines, 51);
    EXPECT_EQ(split_crlf(t.text).back(), truncation_marker);
    t = xydata_text(table(46), 46);
    EXPECT_EQ(t.nlines, 47);
    EXPECT_NE(split_crlf(t.text).back(), truncation_marker);
}

TEST(PlotCurves, SplitWhereTheIdChangesWithZerosPastTheEnd) {
    const std::array<double, 6> x{1, 2, 3, 4, 5, 6}, y{10, 20, 30, 40, 50, 60}, yc{11, 21, 31, 41, 51, 61};
    const std::array<int, 6> id{7, 8, 8, 8, 9, 9};
    const auto d = plot_data(6, x, y, yc, id);
    EXPECT_EQ(d.ncurves, 3);
    EXPECT_EQ(d.npts, (std::vector<int>{1, 3, 2}));
    EXPECT_EQ(d.ld, 3);
    EXPECT_EQ(d.x, (std::vector<float>{1, 0, 0, 2, 3, 4, 5, 6, 0}));
    EXPECT_EQ(d.yc[3], 21.0f);
    EXPECT_FALSE(d.capped);
}

TEST(PlotCurves, RefusalsByKind) {
    const std::array<double, 3> x{1, 2, 3}, y{1, 0, 2}, yc{1, 1, 1};
    const std::array<int, 3> id{1, 1, 1};
    auto d = plot_data(3, x, y, yc, id);
    EXPECT_EQ(refusal(kind_xy, d, false), "");
    EXPECT_EQ(refusal(kind_logx, d, true), "");
    EXPECT_EQ(refusal(kind_xyx, d, false),
              "Y data for this X/Y plot must be > 1E-15\r\nsince X/Y when Y is less than 1E-15 is undefined.");
    EXPECT_EQ(refusal(kind_xyx, d, true).substr(0, 12), "Y curve data");
    EXPECT_EQ(refusal(kind_logy, d, true).substr(0, 50), "Y curve data for this semilog(Y) plot must be grea");

    const std::array<double, 3> xneg{-1, 2, 3}, ypos{1, 2, 3};
    d = plot_data(3, xneg, ypos, ypos, id);
    EXPECT_EQ(refusal(kind_logx, d, true),
              "Curve data for this semilog(X) plot must be greater than zero\r\n"
              "since the Log(x) when x is < or = zero is undefined.");
    EXPECT_EQ(refusal(kind_logy, d, true), "");
    const std::array<double, 3> ycneg{1, -2, 3};
    EXPECT_NE(refusal(kind_logy, plot_data(3, ypos, ypos, ycneg, id), true), "");  // Ycalc counts too

    EXPECT_EQ(plot_flags(kind_logx).xlinear, 'N');
    EXPECT_EQ(plot_flags(kind_logy).ylinear, 'N');
    EXPECT_EQ(plot_flags(kind_xyx).hanes, 'Y');
    EXPECT_EQ(plot_flags(kind_xy).hanes, 'N');
}
