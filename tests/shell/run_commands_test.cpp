// Start, Restart and Cancel from the main window with the real regression
// run on the example data, the summary in the output area, and a screenshot
// of the main window after a fit.

#include "shell/menu_fixture.h"

#include <atomic>
#include <chrono>
#include <memory>
#include <thread>

#include "foundations/runtime.h"
#include "run/cascade.h"
#include "run/main_sub.h"
#include "run/report.h"

using namespace shelltest;
namespace ag = appgraphics;

namespace {

// Outtextxy records of the output area: x 10, full 256-character lines.
std::vector<td::TextRecord> output_records(int window) {
    std::vector<td::TextRecord> out;
    for (const auto& t : td::text_log(window)) {
        if (t.x == 10 && t.text.size() >= 220) out.push_back(t);
    }
    return out;
}

std::string summary_line(int k) {
    std::string line = "line " + std::to_string(k);
    return line + std::string(220 - line.size(), ' ');
}

}  // namespace

TEST(SummaryCopy, ABlankLineBeforeFinalAndTheEndAtDateSaved) {
    std::array<kalvor::Text<220>, globals::screen_lines> lines;
    for (int k = 1; k <= globals::screen_lines; ++k) lines[k - 1] = summary_line(k);
    lines[9].assign("Final Parameter Values:");
    lines[19].assign("Date Saved: 2024-01-01");
    menu::OutputArea out;
    std::vector<std::pair<int, std::string>> drawn;
    menu::copy_summary(lines, 0, out, [&](int y, std::string_view line) { drawn.emplace_back(y, std::string(line)); });

    ASSERT_EQ(drawn.size(), 15u);  // lines 6 to 20
    EXPECT_EQ(drawn.front().first, 1);
    EXPECT_EQ(drawn.back().first, 1 + 14 * 15);
    EXPECT_EQ(out[0].trimmed(), "line 6");
    EXPECT_EQ(out[3].trimmed(), "line 9");
    EXPECT_TRUE(out[4].blank());  // the blank line before "Final"
    EXPECT_EQ(out[5].trimmed(), "Final Parameter Values:");
    EXPECT_EQ(out[15].trimmed(), "Date Saved: 2024-01-01");
    EXPECT_TRUE(out[16].blank());
    EXPECT_EQ(out[0].length(), 256u);
}

TEST(SummaryCopy, ABuiltInModelPassesOverLinesEightAndNine) {
    std::array<kalvor::Text<220>, globals::screen_lines> lines;
    for (int k = 1; k <= globals::screen_lines; ++k) lines[k - 1] = summary_line(k);
    menu::OutputArea out;
    std::vector<int> ys;
    menu::copy_summary(lines, 2, out, [&](int y, std::string_view) { ys.push_back(y); });
    EXPECT_EQ(out[1].trimmed(), "line 7");
    EXPECT_EQ(out[2].trimmed(), "line 10");
    ASSERT_GE(ys.size(), 3u);
    EXPECT_EQ(ys[2], 1 + 4 * 15);  // the rows of lines 8 and 9 stay empty
    // Without "Date Saved" all of lines 6 to 62 are copied: the whole summary.
    EXPECT_EQ(ys.size(), 55u);
    EXPECT_EQ(out[54].trimmed(), "line 62");
}

TEST(SummaryCopy, ManyFinalLinesStayInsideTheOutputArea) {
    std::array<kalvor::Text<220>, globals::screen_lines> lines;
    for (auto& line : lines) line.assign("Final");
    menu::OutputArea out;
    int calls = 0;
    menu::copy_summary(lines, 0, out, [&](int, std::string_view) { ++calls; });
    EXPECT_EQ(calls, 57);
    EXPECT_EQ(out[61].trimmed(), "Final");
    EXPECT_EQ(out[60].trimmed(), "");
}

class RunCommands : public MainWindow {
protected:
    // Opens Example 1 (or a file of the test's folder with its model) and
    // presses Start; the confirmation of the model is up.
    void start_example1_until_confirmation(const std::string& name = "Michaelis-Menten.dat") {
        open(folder() + name);
        ASSERT_TRUE(td::wait_idle());
        ASSERT_TRUE(td::click_button(main_, "Start"));
        const auto confirm = td::wait_dialog();
        ASSERT_TRUE(confirm.has_value());
        EXPECT_EQ(confirm->kind, td::DialogKind::YesNo);
        EXPECT_NE(confirm->text.find("P2*X1/(P1+X1)"), std::string::npos);
    }
    // Opens Example 1, presses Start and confirms the model.
    void start_example1() {
        start_example1_until_confirmation();
        ASSERT_TRUE(td::answer_yes());
    }
};

TEST_F(RunCommands, StartAndConfirmShowTheSummaryAndWriteTheResultsFile) {
    start_example1();
    ASSERT_TRUE(td::wait_idle(600));
    EXPECT_FALSE(td::wait_dialog(0.2).has_value());

    EXPECT_TRUE(fs::exists(dir_ / "Michaelis-Menten.txt"));
    EXPECT_EQ(globals::brun, 1);
    EXPECT_EQ(globals::bcorrectmdl, 1);
    // After a confirmed Start: Start off, Restart on.
    EXPECT_FALSE(item_on({"Run", "Start"}));
    EXPECT_FALSE(button_on("Start"));
    EXPECT_TRUE(item_on({"Run", "Restart"}));
    EXPECT_TRUE(button_on("Restart"));
    EXPECT_TRUE(item_on({"Reset", "Clear All"}));

    // The summary is in the output area.
    bool parameters = false, saved = false;
    for (const auto& t : output_records(main_)) {
        parameters |= t.text.find("Final Parameter Values:") != std::string::npos;
        saved |= t.text.find("Saved in file:") != std::string::npos;
    }
    EXPECT_TRUE(parameters);
    EXPECT_TRUE(saved);

    // Screenshot of the main window after the fit, kept in the build folder.
    const auto png = td::grab_png(main_, true);
    ASSERT_FALSE(png.empty());
    std::ofstream(fs::current_path() / "main_window_after_fit.png", std::ios::binary)
        .write(reinterpret_cast<const char*>(png.data()), static_cast<std::streamsize>(png.size()));

    // Scrolling shows eight lines from the chosen one, and neither the scroll
    // bar nor the wheel goes past the page whose bottom line is the last.
    td::clear_text_log(main_);
    ASSERT_TRUE(td::scroll(main_, 20));
    ASSERT_TRUE(td::wait_idle());
    const auto shown = output_records(main_);
    ASSERT_EQ(shown.size(), 8u);
    EXPECT_EQ(shown.front().y, 1);
    EXPECT_EQ(shown.back().y, 1 + 7 * 15);
    const auto position = [this] {
        for (const auto& c : td::controls(main_))
            if (c.kind == td::ControlKind::ScrollBar) return c.position;
        return -1;
    };
    for (int k = 0; k < 10; ++k) ASSERT_TRUE(td::wheel(main_, 3));
    ASSERT_TRUE(td::wait_idle());
    const int wheel_end = position();
    td::clear_text_log(main_);
    ASSERT_TRUE(td::scroll(main_, menu::output_lines));
    ASSERT_TRUE(td::wait_idle());
    EXPECT_EQ(position(), wheel_end);
    const auto last_page = output_records(main_);
    ASSERT_EQ(last_page.size(), 8u);
    EXPECT_NE(last_page.back().text.find("Date Saved"), std::string::npos);

    // A Restart runs from the last fit without asking; then Start is on and Restart off.
    ASSERT_TRUE(td::click_button(main_, "Restart"));
    ASSERT_TRUE(td::wait_idle(600));
    EXPECT_FALSE(td::wait_dialog(0.2).has_value());
    EXPECT_TRUE(button_on("Start"));
    EXPECT_TRUE(item_on({"Run", "Start"}));
    EXPECT_FALSE(button_on("Restart"));
    EXPECT_FALSE(item_on({"Run", "Restart"}));
}

TEST_F(RunCommands, DecliningTheModelLeavesNoRunAndNoResult) {
    open(folder() + "Michaelis-Menten.dat");
    ASSERT_TRUE(td::wait_idle());
    ASSERT_TRUE(td::click_button(main_, "Start"));
    ASSERT_TRUE(td::wait_dialog().has_value());
    ASSERT_TRUE(td::answer_no());
    ASSERT_TRUE(td::wait_idle());
    EXPECT_EQ(globals::brun, 0);
    EXPECT_FALSE(fs::exists(dir_ / "Michaelis-Menten.txt"));
    EXPECT_FALSE(button_on("Start"));
    EXPECT_FALSE(button_on("Restart"));
    EXPECT_TRUE(button_on("Open"));
}

TEST_F(RunCommands, CancelDuringAFitLeavesRunAndViewsOff) {
    // The fit waits at its first clock reading until Cancel has been pressed.
    static std::atomic<bool> in_fit{false};
    mainsub::set_fit_driver([](sharc_mod::SharcArgs& args) {
        in_fit = true;
        const auto outcome = sharc_mod::sharc(args);
        in_fit = false;
        return outcome;
    });
    runtime::Hooks hooks;
    hooks.monotonic_seconds = [] {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        while (in_fit && globals::bcancelrun == 0 && std::chrono::steady_clock::now() < deadline) {
            std::this_thread::yield();
        }
        return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
    };
    runtime::set_hooks(hooks);

    start_example1();
    const bool pressed = pump_until([this] { return td::click_button(main_, "Cancel"); }, 60);
    ASSERT_TRUE(pressed);
    ASSERT_TRUE(td::wait_idle(600));
    while (td::wait_dialog(0.5)) td::answer_ok();
    ASSERT_TRUE(td::wait_idle());
    runtime::reset_hooks();
    mainsub::set_fit_driver({});

    EXPECT_EQ(globals::bcancelrun.load(), 1);
    EXPECT_EQ(globals::bfile, 1);
    EXPECT_FALSE(item_on({"Run", "Start"}));
    EXPECT_FALSE(item_on({"Run", "Restart"}));
    EXPECT_FALSE(button_on("Start"));
    EXPECT_FALSE(button_on("Restart"));
    EXPECT_TRUE(views_off());
    EXPECT_TRUE(button_on("Open"));
    // The output area says so and names the results file written.
    std::vector<std::string> shown;
    for (const auto& t : output_records(main_))
        if (t.text.find_last_not_of(' ') != std::string::npos) shown.push_back(t.text.substr(0, t.text.find_last_not_of(' ') + 1));
    ASSERT_GE(shown.size(), 3u);
    EXPECT_EQ(shown[0], "The fit was cancelled.");
    EXPECT_EQ(shown[2], (dir_ / "Michaelis-Menten.txt").string());
}

TEST_F(RunCommands, ANewVersionWrittenWhileTheConfirmationIsUpChangesNothingOfTheRun) {
    static std::atomic<int> rows{0};
    static std::atomic<double> y_sum{0.0};
    mainsub::set_fit_driver([](sharc_mod::SharcArgs& args) {
        rows = args.n;
        double sum = 0.0;
        for (int i = 0; i < args.n; ++i) sum += args.y[i];
        y_sum = sum;
        return sharc_mod::sharc(args);
    });
    start_example1_until_confirmation();
    // Other values on the 20 rows, and 5 rows more.
    fs::copy_file(fs::path(KALVOR_SOURCE_DIR) / "tests/data/malformed/replaced_during_start.dat",
                  dir_ / "Michaelis-Menten.dat", fs::copy_options::overwrite_existing);
    ASSERT_TRUE(td::answer_yes());
    ASSERT_TRUE(td::wait_idle(600));
    mainsub::set_fit_driver({});
    EXPECT_FALSE(td::wait_dialog(0.2).has_value());
    EXPECT_EQ(rows.load(), 20);
    EXPECT_NEAR(y_sum.load(), 1520.5, 1e-9);  // the Y column of Example 1
    EXPECT_NEAR(common_data::fssqr, 1321.9226819, 1e-5);
}

TEST_F(RunCommands, ARejectedDataFileDropsTheFile) {
    // More active parameters than data rows: the run rejects the file.
    write("short.dat", "y=P1*X1+P2\n1 1\n0 0\n9 9\nT T\n1 2\n2 3\nEND\n");
    open(folder() + "short.dat");
    ASSERT_TRUE(td::wait_idle());
    ASSERT_TRUE(td::click_button(main_, "Start"));
    // Confirmation, then the abort message.
    auto dialog = td::wait_dialog();
    ASSERT_TRUE(dialog.has_value());
    ASSERT_EQ(dialog->kind, td::DialogKind::YesNo);
    ASSERT_TRUE(td::answer_yes());
    dialog = td::wait_dialog();
    ASSERT_TRUE(dialog.has_value());
    EXPECT_NE(dialog->text.find("*** RUN ABORTED! ***"), std::string::npos);
    ASSERT_TRUE(td::answer_ok());
    ASSERT_TRUE(td::wait_idle());
    EXPECT_EQ(globals::bfile, 0);
    EXPECT_EQ(globals::bdataerror, 0);
    EXPECT_EQ(buttons_on(), (std::vector<std::string>{"Open", "Quit"}));
    EXPECT_FALSE(item_on({"Run", "Start"}));
}

// The first tunnelling search of the test waits in a message box until the
// test answers it, so that the test can use the main window while a fit runs.
class FitInProgress : public RunCommands {
protected:
    void SetUp() override {
        RunCommands::SetUp();
        cascade::services().tunnelsearch = [calls = std::make_shared<int>(0)](auto&&...) {
            if ((*calls)++ == 0) ag::dlgmessage(ag::DIALOG_INFORMATION, "fitting");
        };
    }
    void TearDown() override {
        cascade::services() = {};
        RunCommands::TearDown();
    }
    // Starts the file (with the model of Example 1) and confirms its model;
    // the fit waits in its message box.
    void fit_until_search(const std::string& name) {
        start_example1_until_confirmation(name);
        ASSERT_TRUE(td::answer_yes());
        ASSERT_TRUE(td::wait_dialog().has_value());
        ASSERT_TRUE(td::wait_idle());
    }
};

// Answers every dialog (Yes or OK) until the program has ended; returns
// their texts.
std::vector<std::string> dialogs_until_the_end(td::Session& session) {
    std::vector<std::string> texts;
    for (int k = 0; k < 3000 && !session.finished(); ++k) {
        if (const auto dialog = td::wait_dialog(0.2)) {
            texts.push_back(dialog->text);
            td::answer_yes();
        }
    }
    EXPECT_TRUE(session.finished());
    return texts;
}

// During a fit Open switches nothing on and waits; Quit cancels the fit as
// Cancel does (its results file is written) and then ends the program.
TEST_F(FitInProgress, OpenWaitsAndQuitCancelsTheFitThenQuits) {
    fit_until_search("Michaelis-Menten.dat");
    ASSERT_TRUE(td::click_button(main_, "Open"));
    ASSERT_TRUE(td::wait_idle());
    EXPECT_FALSE(button_on("Start"));
    EXPECT_FALSE(item_on({"Run", "Start"}));
    ASSERT_TRUE(td::click_button(main_, "Quit"));
    ASSERT_TRUE(td::wait_idle());
    EXPECT_EQ(globals::bcancelrun.load(), 1);
    ASSERT_TRUE(td::answer_ok());
    ASSERT_TRUE(session_->wait_finished(600));
    EXPECT_FALSE(td::wait_dialog(0).has_value());  // Quit comes before a waiting Open
    EXPECT_TRUE(fs::exists(dir_ / "Michaelis-Menten.txt"));
}

// Quit during the first fit of a NEXT series cancels that fit (its results
// file is written) and ends the series and the program: no message of the
// first file's sums, no confirmation or fit of the second file.
TEST_F(FitInProgress, QuitEndsANextSeriesAndTheProgram) {
    std::string first = read_file(dir_ / "Michaelis-Menten.dat");
    first.replace(first.rfind("\nEND") + 1, 3, "NEXT");
    write("Series#1.dat", first);
    fs::copy_file(dir_ / "Michaelis-Menten.dat", dir_ / "Series#2.dat");
    fit_until_search("Series#1.dat");
    ASSERT_TRUE(td::click_button(main_, "Quit"));
    ASSERT_TRUE(td::wait_idle());
    ASSERT_TRUE(td::answer_ok());  // the fit goes on from its search
    EXPECT_EQ(dialogs_until_the_end(*session_), std::vector<std::string>{});
    EXPECT_TRUE(fs::exists(dir_ / "Series#1.txt"));
    EXPECT_FALSE(fs::exists(dir_ / "Series#2.txt"));
}

// Quit between the two fits of a Difficult run, when no run display is open
// to take it, cancels the second fit at its start: the run ends with its
// results file written whole, and the program quits.
TEST_F(RunCommands, QuitBetweenTheFitsOfADifficultRunEndsTheRunAndTheProgram) {
    auto outcomes = std::make_shared<std::vector<sharc_mod::Outcome>>();
    mainsub::set_fit_driver([outcomes](sharc_mod::SharcArgs& args) {
        outcomes->push_back(sharc_mod::sharc(args));
        if (outcomes->size() == 1) ag::dlgmessage(ag::DIALOG_INFORMATION, "between the fits");
        return outcomes->back();
    });
    ASSERT_TRUE(td::choose_menu(main_, {"Options", "Level of Difficulty"}));
    const int level = td::wait_window("Optimization Level");
    ASSERT_TRUE(td::wait_idle());
    ASSERT_TRUE(td::check_radio(level, "Difficult"));
    ASSERT_TRUE(td::click_button(level, "Close"));
    ASSERT_TRUE(td::wait_idle());
    start_example1();
    const auto between = td::wait_dialog(600);
    ASSERT_TRUE(between.has_value());
    ASSERT_EQ(between->text, "between the fits");
    ASSERT_TRUE(td::wait_idle());
    ASSERT_TRUE(td::click_button(main_, "Quit"));
    ASSERT_TRUE(td::wait_idle());
    ASSERT_TRUE(td::answer_ok());
    EXPECT_EQ(dialogs_until_the_end(*session_), std::vector<std::string>{});
    mainsub::set_fit_driver({});

    EXPECT_EQ(*outcomes, (std::vector<sharc_mod::Outcome>{sharc_mod::Outcome::fitted, sharc_mod::Outcome::cancelled}));
    const std::string results = read_file(dir_ / "Michaelis-Menten.txt");
    EXPECT_NE(results.find("Final"), std::string::npos);
    for (const auto& entry : fs::directory_iterator(dir_))
        EXPECT_FALSE(entry.path().filename().string().starts_with(report::temporary_prefix)) << entry.path();
}
