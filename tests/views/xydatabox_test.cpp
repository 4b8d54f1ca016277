// The x/y data window: CSV text of the curves side by side, the export's
// file name, saving (and failing to save) from the window, and closing.

#include <gtest/gtest.h>

#include <unistd.h>

#include <array>
#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "model/globals.h"
#include "platform/appgraphics.h"
#include "platform/testdriver.h"
#include "views/view_helpers.h"
#include "views/curves.h"
#include "views/xydatabox.h"

namespace ag = appgraphics;
namespace fs = std::filesystem;
namespace td = testdriver;
using viewtest::lines_of;

namespace {

// The values of a data line: each ends with "," and three blanks but the last.
std::vector<double> values_of(const std::string& line) {
    std::vector<double> out;
    std::size_t at = 0;
    while (at < line.size()) {
        const std::size_t comma = line.find(',', at);
        EXPECT_NE(comma, std::string::npos) << line;
        if (comma == std::string::npos) break;
        out.push_back(std::strtod(line.substr(at, comma - at).c_str(), nullptr));
        at = comma + 1;
        if (at < line.size()) {
            EXPECT_EQ(line.substr(at, 3), "   ");
            at += 3;
        }
    }
    return out;
}

// Two curves of 5 and 3 rows with one x column; values that need all 17 digits.
struct TwoCurves {
    std::array<double, 8> x{}, y{}, yc{}, r{};
    std::array<int, 8> id{1, 1, 1, 1, 1, 2, 2, 2};
    TwoCurves() {
        for (int i = 0; i < 8; ++i) {
            x[i] = (i + 1) / 3.0;
            y[i] = 1e-7 * (i + 1) / 7.0;
            yc[i] = -12345.678901234567 * (i + 1);
            r[i] = 0.1 * (i + 1);
        }
    }
    xydatabox::CsvData data() const {
        return {8, 1, x, x, x, y, yc, r, id};
    }
};

fs::path scratch(const std::string& name) {
    const auto dir = fs::temp_directory_path() / (name + "_" + std::to_string(::getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir);
    return dir;
}

}  // namespace

TEST(Curves, SplitWhereTheIdChanges) {
    const std::array<int, 6> id{4, 7, 7, 7, 4, 4};
    const auto c = curves::split(id, 6);
    ASSERT_EQ(c.size(), 3u);
    EXPECT_EQ(c[0].rows, 1);  // a first curve of one row
    EXPECT_EQ(c[1].first, 1);
    EXPECT_EQ(c[1].rows, 3);
    EXPECT_EQ(c[2].rows, 2);
    EXPECT_EQ(curves::longest(c), 3);
    EXPECT_EQ(curves::split(id, 99).size(), 3u);  // nd beyond the ids stays inside them

    std::vector<int> many(1200);
    for (int i = 0; i < 1200; ++i) many[i] = i;
    const auto capped = curves::split(many, 1200);
    EXPECT_EQ(capped.size(), 999u);
    EXPECT_EQ(capped.back().first, 998);
}

TEST(CsvExport, CurvesSideBySideAtFullPrecision) {
    const TwoCurves t;
    const auto lines = lines_of(xydatabox::csv_text(t.data()));
    ASSERT_EQ(lines.size(), 6u);
    EXPECT_EQ(lines[0], "X,Y,Ycalc,Adj. Residuals");
    for (int k = 0; k < 5; ++k) {
        const auto v = values_of(lines[k + 1]);
        ASSERT_EQ(v.size(), 8u);
        EXPECT_EQ(v[0], t.x[k]);
        EXPECT_EQ(v[1], t.y[k]);
        EXPECT_EQ(v[2], t.yc[k]);
        EXPECT_EQ(v[3], t.r[k]);
        if (k < 3) {
            EXPECT_EQ(v[4], t.x[5 + k]);
            EXPECT_EQ(v[7], t.r[5 + k]);
        } else {
            for (int j = 4; j < 8; ++j) EXPECT_EQ(v[j], 0.0);  // past the second curve's end
        }
    }
    EXPECT_EQ(lines[1].back(), ',');
}

TEST(CsvExport, ThreeXColumnsAndTwentyCurvesKeepEachRowOnOneLine) {
    std::array<double, 20> x1{}, x2{}, x3{}, y{}, yc{}, r{};
    std::array<int, 20> id{};
    for (int i = 0; i < 20; ++i) {
        x1[i] = i + 0.25;
        x2[i] = 100 + i;
        x3[i] = -i - 0.5;
        y[i] = 2 * i;
        yc[i] = 2 * i + 0.125;
        r[i] = -0.75;
        id[i] = i;
    }
    const auto lines = lines_of(xydatabox::csv_text({20, 3, x1, x2, x3, y, yc, r, id}));
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], "X1,X2,X3,Y,Ycalc,Adj. Residuals");
    const auto v = values_of(lines[1]);
    ASSERT_EQ(v.size(), 120u);
    EXPECT_EQ(v[6 * 19 + 0], 19.25);
    EXPECT_EQ(v[6 * 19 + 1], 119);
    EXPECT_EQ(v[6 * 19 + 2], -19.5);
    EXPECT_EQ(v[6 * 19 + 4], 38.125);
}

TEST(CsvExport, NoRowsGiveOnlyTheNames) {
    const TwoCurves t;
    auto d = t.data();
    d.nd = 0;
    d.nxd = 2;
    EXPECT_EQ(xydatabox::csv_text(d), "X1,X2,Y,Ycalc,Adj. Residuals\n");
}

TEST(CsvExport, FileNameFromTheResultsFile) {
    EXPECT_EQ(xydatabox::csv_file_name("/home/fits/enzyme.TXT    "), "enzyme_data.csv");
    EXPECT_EQ(xydatabox::csv_file_name("enzyme.TXT"), "enzyme_data.csv");
    EXPECT_EQ(xydatabox::csv_file_name("/a.b/run#2.TXT"), "run#2_data.csv");
    const std::string long_name(150, 'n');
    EXPECT_EQ(xydatabox::csv_file_name("/d/" + long_name + ".TXT"), std::string(120, 'n') + "_data.csv");
}

TEST(XYDataWindow, SavesTheCsvReportsAFailureAndClosesFromTheTitleBar) {
    const auto dir = scratch("kalvor_xydata");
    td::Session session;
    globals::reset_run_state();
    globals::reset_child_windows(-1);
    globals::cwd.assign(dir.string() + "/");
    globals::output_file_name.assign("/somewhere/else/enzyme.TXT");
    common_data::nd = 3;
    common_data::nxd = 1;
    common_data::xd = {1, 2, 3};
    common_data::yd = {0.5, 0.25, 0.125};
    common_data::id2.fill(1);
    std::atomic<bool> returned{false};
    session.start([&] {
        xydatabox::xydatascreen("SUMMARY OF X, Y, Ycalc, Residual DATA:", "table", 40, 60, "help");
        returned = true;
        return 0;
    });
    const int id = td::wait_window("Morvane-Quil");
    ASSERT_GE(id, 0);
    ASSERT_TRUE(td::wait_idle());
    EXPECT_EQ(td::windows()[0].width, 605);
    EXPECT_EQ(td::windows()[0].height, 578);

    ASSERT_TRUE(td::choose_menu(id, {"File", "Save as CSV Data"}));
    auto dialog = td::wait_dialog();
    ASSERT_TRUE(dialog.has_value());
    EXPECT_EQ(dialog->style, ag::DIALOG_INFORMATION);
    EXPECT_EQ(dialog->text, "Results data saved to file " + (dir / "enzyme_data.csv").string() + ".");
    ASSERT_TRUE(td::answer_ok());
    std::ifstream in(dir / "enzyme_data.csv");
    std::stringstream saved;
    saved << in.rdbuf();
    EXPECT_EQ(saved.str(), xydatabox::csv_text(xydatabox::fit_data()));
    EXPECT_EQ(lines_of(saved.str()).size(), 4u);

    // A folder where the file should go: the open fails, the window lives.
    fs::remove(dir / "enzyme_data.csv");
    fs::create_directory(dir / "enzyme_data.csv");
    ASSERT_TRUE(td::choose_menu(id, {"File", "Save as CSV Data"}));
    dialog = td::wait_dialog();
    ASSERT_TRUE(dialog.has_value());
    EXPECT_EQ(dialog->style, ag::DIALOG_ERROR);
    EXPECT_NE(dialog->text.find((dir / "enzyme_data.csv").string()), std::string::npos);
    EXPECT_EQ(dialog->text.find("Results data saved"), std::string::npos);
    ASSERT_TRUE(td::answer_ok());
    ASSERT_TRUE(td::wait_idle());
    EXPECT_FALSE(returned);
    EXPECT_GE(td::find_window("Morvane-Quil"), 0);

    ASSERT_TRUE(td::close_from_title_bar(id));
    ASSERT_TRUE(session.wait_finished());
    EXPECT_TRUE(returned);
    EXPECT_EQ(globals::idresultswindow.load(), -1);
    EXPECT_EQ(globals::child_windows[1].load(), -1);
    fs::remove_all(dir);
}
