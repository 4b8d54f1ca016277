// The result views opened from the main window after fitting Example 1:
// each opens modally and hands the main window back, refused plots switch
// their controls off, and the windows save and print themselves.

#include "shell/menu_fixture.h"

#include <algorithm>
#include <cmath>
#include <fstream>

#include "platform/aplot.h"
#include "run/cascade.h"
#include "shell/resultviews.h"

using namespace shelltest;
namespace ag = appgraphics;

namespace {

std::string first_bytes(const fs::path& file, std::size_t n) {
    std::ifstream in(file, std::ios::binary);
    std::string s(n, '\0');
    in.read(s.data(), static_cast<std::streamsize>(n));
    return s.substr(0, static_cast<std::size_t>(in.gcount()));
}

}  // namespace

class ViewLaunch : public MainWindow {
protected:
    void SetUp() override {
        MainWindow::SetUp();
        fit_example1();
    }

    void fit_example1() { fit_file("Michaelis-Menten.dat"); }

    // Opens a view by a main-window button or item and waits for its window.
    int open_view(const std::vector<std::string>& path, const std::string& title) {
        const bool fired = path.size() == 1 ? td::click_button(main_, path[0]) : td::choose_menu(main_, path);
        EXPECT_TRUE(fired) << path.back();
        const int id = td::wait_window(title, 10);
        EXPECT_GE(id, 0) << path.back();
        EXPECT_TRUE(td::wait_idle());
        EXPECT_FALSE(main_enabled());
        return id;
    }

    // Closes a view by its Close button, or by the title bar's close box
    // that acts as Close; the main window comes back.
    void close_view(int id, const std::string& title, bool close_box = false) {
        ASSERT_TRUE(close_box ? td::close_from_title_bar(id) : td::click_button(id, "Close"));
        ASSERT_TRUE(pump_until([&] { return td::find_window(title) < 0; }, 10));
        ASSERT_TRUE(td::wait_idle());
        EXPECT_TRUE(main_enabled());
        EXPECT_EQ(globals::child_windows[globals::child_owner].load(), main_);
        for (int k = globals::child_first; k <= globals::child_last; ++k) ASSERT_EQ(globals::child_windows[k].load(), -1);
    }

    bool drawn_text(int id, const std::string& text) {
        for (const auto& t : td::text_log(id))
            if (t.text == text) return true;
        return false;
    }
};

// The title bar's close box of each view acts as its Close button, and no
// control of a plot window covers its text.
TEST_F(ViewLaunch, EveryViewOpensModallyAfterAFit) {
    EXPECT_TRUE(item_on({"Display Results", "Residuals Plot"}));
    int id = open_view({"Residuals"}, "Morvane-Quil");
    EXPECT_TRUE(drawn_text(id, "Plot of Normalized Residuals versus Number of Data"));
    close_view(id, "Morvane-Quil", true);
    id = open_view({"Display Results", "Residuals Plot"}, "Morvane-Quil");
    close_view(id, "Morvane-Quil");

    id = open_view({"Results"}, "Morvane-Quil");
    EXPECT_TRUE(drawn_text(id, "SUMMARY OF RESULTS:"));
    EXPECT_FALSE(item_on({"Run", "Restart"}));  // the menus are off while a view is open
    close_view(id, "Morvane-Quil", true);
    EXPECT_TRUE(item_on({"Run", "Restart"}));
    EXPECT_TRUE(item_on({"Reset", "Clear All"}));

    id = open_view({"Display Results", "X vs Y Data"}, "Morvane-Quil");
    EXPECT_TRUE(drawn_text(id, "SUMMARY OF X, Y, Ycalc, Residual DATA:"));
    close_view(id, "Morvane-Quil", true);

    struct Plot {
        std::vector<std::string> path;
        bool xlog, ylog;
        double first_y;  // observed y of the first point as plotted
    };
    const double x1 = common_data::xd[0], y1 = common_data::yd[0];
    const Plot plots[] = {{{"XY-Plot"}, false, false, y1},
                          {{"Log(X)-Plot"}, true, false, y1},
                          {{"Log(Y)-Plot"}, false, true, y1},
                          {{"Display Results", "X / Y vs X Plot"}, false, false, x1 / y1}};
    for (const auto& p : plots) {
        id = open_view(p.path, "Plot Data");
        const auto r = td::last_plot(id);
        ASSERT_TRUE(r.has_value());
        EXPECT_EQ(r->x.logarithmic, p.xlog);
        EXPECT_EQ(r->y.logarithmic, p.ylog);
        ASSERT_EQ(r->series.size(), 2u);
        EXPECT_EQ(r->series[0].x.size(), static_cast<std::size_t>(common_data::nd));
        EXPECT_NEAR(r->series[0].y[0], p.first_y, 1e-5 * std::fabs(p.first_y));
        EXPECT_EQ(td::unreachable_text(id), std::vector<std::string>{}) << p.path.back();
        close_view(id, "Plot Data", true);
    }
}

TEST_F(ViewLaunch, RefusedPlotsSayWhyAndSwitchTheirControlsOff) {
    common_data::yd[3] = 0.0;
    ASSERT_TRUE(td::choose_menu(main_, {"Display Results", "X / Y vs X Plot"}));
    auto dialog = td::wait_dialog();
    ASSERT_TRUE(dialog.has_value());
    EXPECT_EQ(dialog->style, ag::DIALOG_WARNING);
    EXPECT_EQ(dialog->text, "Y data for this X/Y plot must be > 1E-15\nsince X/Y when Y is less than 1E-15 is undefined.");
    ASSERT_TRUE(td::answer_ok());
    ASSERT_TRUE(td::wait_idle());
    EXPECT_LT(td::find_window("Plot Data"), 0);
    EXPECT_FALSE(item_on({"Display Results", "X / Y vs X Plot"}));
    EXPECT_TRUE(main_enabled());

    ASSERT_TRUE(td::click_button(main_, "Log(Y)-Plot"));
    dialog = td::wait_dialog();
    ASSERT_TRUE(dialog.has_value());
    EXPECT_EQ(dialog->text.substr(0, 13), "Y curve data ");
    ASSERT_TRUE(td::answer_ok());
    ASSERT_TRUE(td::wait_idle());
    EXPECT_FALSE(button_on("Log(Y)-Plot"));
    EXPECT_FALSE(item_on({"Display Results", "X vs LOG(Y) Plot"}));
    EXPECT_TRUE(button_on("Log(X)-Plot"));
    EXPECT_TRUE(item_on({"Display Results", "LOG(X) vs Y Plot"}));

    // A plot the data allow opens, and the log pair comes back on.
    ASSERT_TRUE(td::click_button(main_, "Log(X)-Plot"));
    const int id = td::wait_window("Plot Data", 10);
    ASSERT_GE(id, 0);
    ASSERT_TRUE(td::wait_idle());
    EXPECT_TRUE(button_on("Log(Y)-Plot"));
    ASSERT_TRUE(td::click_button(id, "Close"));
    ASSERT_TRUE(td::wait_idle());
}

TEST_F(ViewLaunch, CurvesSplitWhereTheCurveIdChanges) {
    common_data::id2.fill(1);
    common_data::id2[0] = 0;  // a first curve of one row
    for (int i = 10; i < common_data::nd; ++i) common_data::id2[i] = 2;
    const int id = open_view({"XY-Plot"}, "Plot Data");
    const auto r = td::last_plot(id);
    ASSERT_TRUE(r.has_value());
    ASSERT_EQ(r->series.size(), 6u);
    EXPECT_EQ(r->series[0].x.size(), 1u);
    EXPECT_EQ(r->series[2].x.size(), 9u);
    EXPECT_EQ(r->series[4].x.size(), static_cast<std::size_t>(common_data::nd - 10));
    EXPECT_FLOAT_EQ(static_cast<float>(r->series[2].x[0]), static_cast<float>(common_data::xd[1]));
    EXPECT_NE(r->series[2].color, r->series[0].color);
    close_view(id, "Plot Data");
}

TEST_F(ViewLaunch, MoreThanFiftyOneDataLinesEndWithTheMarker) {
    for (int i = 0; i < globals::screen_lines; ++i)
        globals::sline5[i].assign("   " + std::to_string(i + 1) + ".25    3.5    3.4    0.1");
    globals::nlines5 = globals::screen_lines;
    const int id = open_view({"Display Results", "X vs Y Data"}, "Morvane-Quil");
    bool marked = false;
    for (const auto& t : td::text_log(id)) {
        const std::string m(resultviews::truncation_marker);
        marked |= t.text.size() > m.size() && t.text.compare(t.text.size() - m.size(), m.size(), m) == 0;
    }
    EXPECT_TRUE(marked);
    for (const auto& w : td::windows()) {
        if (w.id == id) {
            EXPECT_GT(w.height, 753);  // made for 51 lines, grown to hold them
        }
    }
    EXPECT_EQ(td::unreachable_text(id), std::vector<std::string>{});
    close_view(id, "Morvane-Quil");
}

TEST_F(ViewLaunch, SaveScreenWritesAnImageAndPrintWritesAPdf) {
    int id = open_view({"Results"}, "Morvane-Quil");
    ASSERT_TRUE(td::choose_menu(id, {"File", "Save Screen"}));
    auto dialog = td::wait_dialog();
    ASSERT_TRUE(dialog.has_value());
    EXPECT_EQ(dialog->kind, td::DialogKind::SaveImage);
    ASSERT_TRUE(td::answer_path((dir_ / "results.png").string()));
    ASSERT_TRUE(td::wait_idle());
    EXPECT_EQ(first_bytes(dir_ / "results.png", 4), "\x89PNG");

    ASSERT_TRUE(td::choose_menu(id, {"File", "Save Screen"}));
    ASSERT_TRUE(td::wait_dialog().has_value());
    ASSERT_TRUE(td::answer_cancel());
    ASSERT_TRUE(td::wait_idle());
    EXPECT_EQ(std::count_if(fs::directory_iterator(dir_), fs::directory_iterator(),
                            [](const auto& e) { return e.path().extension() == ".png"; }),
              1);  // Cancel wrote nothing

    ASSERT_TRUE(td::choose_menu(id, {"File", "Print Screen"}));
    dialog = td::wait_dialog();
    ASSERT_TRUE(dialog.has_value());
    EXPECT_EQ(dialog->kind, td::DialogKind::Print);
    ASSERT_TRUE(td::answer_path((dir_ / "results.pdf").string()));
    ASSERT_TRUE(td::wait_idle());
    EXPECT_EQ(first_bytes(dir_ / "results.pdf", 5), "%PDF-");
    close_view(id, "Morvane-Quil");

    id = open_view({"XY-Plot"}, "Plot Data");
    ASSERT_TRUE(td::choose_menu(id, {"File", "Save Screen"}));
    ASSERT_TRUE(td::wait_dialog().has_value());
    ASSERT_TRUE(td::answer_path((dir_ / "plot.png").string()));
    ASSERT_TRUE(td::wait_idle());
    const auto bytes = read_file(dir_ / "plot.png");
    const auto img = td::decode_png(std::vector<unsigned char>(bytes.begin(), bytes.end()));
    EXPECT_GE(img.width, 510);
    ASSERT_TRUE(td::choose_menu(id, {"File", "Print Screen"}));
    ASSERT_TRUE(td::wait_dialog().has_value());
    ASSERT_TRUE(td::answer_path((dir_ / "plot.pdf").string()));
    ASSERT_TRUE(td::wait_idle());
    EXPECT_EQ(first_bytes(dir_ / "plot.pdf", 5), "%PDF-");
    close_view(id, "Plot Data");

    id = open_view({"Display Results", "X vs Y Data"}, "Morvane-Quil");
    ASSERT_TRUE(td::choose_menu(id, {"File", "Save as CSV Data"}));
    dialog = td::wait_dialog();
    ASSERT_TRUE(dialog.has_value());
    EXPECT_EQ(dialog->text, "Results data saved to file " + (dir_ / "Michaelis-Menten_data.csv").string() + ".");
    ASSERT_TRUE(td::answer_ok());
    ASSERT_TRUE(td::wait_idle());
    EXPECT_EQ(read_file(dir_ / "Michaelis-Menten_data.csv").substr(0, 25), "X,Y,Ycalc,Adj. Residuals\n");
    close_view(id, "Morvane-Quil");
}

// With a bootstrap service the fit fills the band, and the plot of its one
// curve draws it.
class BandLaunch : public ViewLaunch {
protected:
    void SetUp() override {
        MainWindow::SetUp();
        cascade::services().bootstrap = [](std::span<const double>, std::span<double>, int n, double, int, int, int,
                                           std::span<double> mean, std::span<double> lcl, std::span<double> ucl) {
            for (std::size_t i = 0; i < static_cast<std::size_t>(n); ++i) {
                lcl[i] = 0.9 * mean[i];
                ucl[i] = 1.1 * mean[i];
            }
        };
        fit_example1();
    }
    void TearDown() override {
        cascade::services().bootstrap = nullptr;
        ViewLaunch::TearDown();
    }
};

TEST_F(BandLaunch, TheBandOfThisFitIsDrawnOnRequest) {
    EXPECT_EQ(common_data::ybs_filled, 1);
    const int id = open_view({"XY-Plot"}, "Plot Data");
    ASSERT_TRUE(td::choose_menu(id, {"Single Curve Confidence Intervals", "Apply Bootstrap Ydata 95% CL"}));
    ASSERT_TRUE(td::wait_idle());
    const auto r = td::last_plot(id);
    ASSERT_TRUE(r.has_value());
    ASSERT_EQ(r->series.size(), 6u);
    EXPECT_FLOAT_EQ(static_cast<float>(r->series[2].y[5]), static_cast<float>(common_data::ybs_lcl[5]));
    EXPECT_FLOAT_EQ(static_cast<float>(r->series[4].y[5]), static_cast<float>(1.1 * common_data::ybs_mean[5]));
    EXPECT_TRUE(drawn_text(id, "Linear Plot w/95% CL"));
    close_view(id, "Plot Data");
}
