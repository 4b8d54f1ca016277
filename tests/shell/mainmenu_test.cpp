// The main window driven headless: its controls at start, Open with its
// rejections, Clear All, the option dialogs, the Help windows, scrolling,
// quitting and the editor commands.

#include "shell/menu_fixture.h"


#include "shell/settings.h"

using namespace shelltest;
namespace ag = appgraphics;

TEST_F(MainWindow, AtStartOnlyOpenAndQuitAreOn) {
    EXPECT_EQ(buttons_on(), (std::vector<std::string>{"Open", "Quit"}));
    EXPECT_TRUE(item_on({"File", "Open Data File"}));
    EXPECT_TRUE(item_on({"File", "NotePad (Kalvor_UDF.ini)"}));
    EXPECT_TRUE(item_on({"File", "Quit"}));
    EXPECT_TRUE(item_on({"Reset", "Clear All"}));
    EXPECT_TRUE(item_on({"Options", "Level of Difficulty"}));
    EXPECT_TRUE(item_on({"Help", "About..."}));
    EXPECT_FALSE(item_on({"File", "Edit Data File"}));
    EXPECT_FALSE(item_on({"Run", "Start"}));
    EXPECT_FALSE(item_on({"Run", "Restart"}));
    EXPECT_TRUE(views_off());
    EXPECT_EQ(globals::iopt, 2);
    EXPECT_EQ(globals::iwt, 1);
    EXPECT_EQ(globals::child_windows[globals::child_owner].load(), main_);

    const auto windows = td::windows();
    ASSERT_EQ(windows.size(), 1u);
    EXPECT_EQ(windows[0].width, 670);
    EXPECT_EQ(windows[0].height, 165);
    // The row of buttons: each holds its label and none overlaps the next.
    int right = 0;
    for (const auto& c : td::controls(main_)) {
        if (c.kind != td::ControlKind::Button) continue;
        EXPECT_TRUE(holds_label(c, 670));
        EXPECT_GE(c.left, right) << c.label;
        right = c.left + c.width;
    }

    ASSERT_TRUE(td::click_button(main_, "Quit"));
    ASSERT_TRUE(session_->wait_finished());
    EXPECT_TRUE(td::windows().empty());
}

// Closing the main window from its title bar acts as Quit.
TEST_F(MainWindow, ClosingFromTheTitleBarQuits) {
    ASSERT_TRUE(td::close_from_title_bar(main_));
    ASSERT_TRUE(session_->wait_finished());
    EXPECT_TRUE(td::windows().empty());
}

TEST_F(MainWindow, QuitClosesAnOpenHelpWindowToo) {
    ASSERT_TRUE(td::choose_menu(main_, {"Help", "Model Operators"}));
    ASSERT_GE(td::wait_window("Morvane-Quil"), 0);
    ASSERT_TRUE(td::wait_idle());
    ag::closewindow(ag::ALL_WINDOWS);
    ASSERT_TRUE(session_->wait_finished());
    EXPECT_TRUE(td::windows().empty());
}

TEST_F(MainWindow, OpeningAFileEnablesStart) {
    open(folder() + "Michaelis-Menten.dat");
    ASSERT_TRUE(td::wait_idle());
    EXPECT_EQ(globals::bfile, 1);
    EXPECT_EQ(globals::nmdl, 0);
    // The path keeps its case.
    EXPECT_EQ(globals::input_file_name.trimmed(), folder() + "Michaelis-Menten.dat");
    EXPECT_TRUE(item_on({"Run", "Start"}));
    EXPECT_TRUE(button_on("Start"));
    EXPECT_FALSE(item_on({"Run", "Restart"}));
    EXPECT_FALSE(button_on("Restart"));
    EXPECT_TRUE(item_on({"File", "Edit Data File"}));
    EXPECT_TRUE(views_off());
}

TEST_F(MainWindow, AFileNamingABuiltInModelIsRejected) {
    write("builtin.dat", "MODEL # 3\n1 2\n1 1\n3 3\nT T\n1 2\n2 3\n3 4\nEND\n");
    open(folder() + "builtin.dat");
    expect_message("No model was found in the data file!", ag::DIALOG_INFORMATION);
    // The Example #1 window follows; the main window waits disabled.
    const int example = td::wait_window("Morvane-Quil");
    ASSERT_GE(example, 0);
    ASSERT_TRUE(td::wait_idle());
    EXPECT_FALSE(main_enabled());
    bool heading = false;
    for (const auto& t : td::text_log(example)) {
        heading |= t.text.rfind("Example input data file format: Michaelis-Menten.dat\r\n", 0) == 0;
    }
    EXPECT_TRUE(heading);
    ASSERT_TRUE(td::click_button(example, "Close"));
    ASSERT_TRUE(td::wait_idle());

    EXPECT_TRUE(main_enabled());
    EXPECT_EQ(globals::nmdl, 3);
    EXPECT_EQ(globals::bfile, 0);
    EXPECT_EQ(globals::bdataerror, 0);
    EXPECT_EQ(buttons_on(), (std::vector<std::string>{"Open", "Quit"}));
    EXPECT_FALSE(item_on({"Run", "Start"}));
    EXPECT_TRUE(views_off());
}

TEST_F(MainWindow, ModelNumberZeroIsAFormulaFile) {
    write("zero.dat", "MODEL#0\n1\n0\n2\nT\n1 2\n2 3\nEND\n");
    open(folder() + "zero.dat");
    ASSERT_TRUE(td::wait_idle());
    EXPECT_EQ(globals::nmdl, 0);
    EXPECT_EQ(globals::bfile, 1);
    EXPECT_TRUE(button_on("Start"));
}

// A file that cannot be read is rejected with a message; the program goes on.
TEST_F(MainWindow, AnUnreadableFileIsRejectedAndTheProgramGoesOn) {
    const std::string missing = folder() + "gone.dat";
    open(missing);
    const auto dialog = td::wait_dialog();
    ASSERT_TRUE(dialog.has_value());
    EXPECT_EQ(dialog->style, ag::DIALOG_ERROR);
    EXPECT_NE(dialog->text.find(missing), std::string::npos);
    EXPECT_NE(dialog->text.find("Fatal error"), std::string::npos);
    ASSERT_TRUE(td::answer_ok());
    ASSERT_TRUE(td::wait_idle());
    EXPECT_FALSE(session_->finished());
    EXPECT_EQ(globals::bfile, 0);
    EXPECT_EQ(buttons_on(), (std::vector<std::string>{"Open", "Quit"}));

    // The window still answers.
    open(folder() + "Hougen.dat");
    ASSERT_TRUE(td::wait_idle());
    EXPECT_TRUE(button_on("Start"));
}

// Every command ends with the code -1: a later scroll event only redraws.
TEST_F(MainWindow, AScrollAfterACommandDoesNotRunItAgain) {
    open("");
    ASSERT_TRUE(td::wait_idle());
    EXPECT_EQ(globals::bfile, 0);
    EXPECT_FALSE(button_on("Start"));
    ASSERT_TRUE(td::scroll(main_, 10));
    ASSERT_TRUE(td::wait_idle());
    EXPECT_FALSE(td::wait_dialog(0.5).has_value());

    open(folder() + "Hougen.dat");
    ASSERT_TRUE(td::wait_idle());
    ASSERT_TRUE(td::scroll(main_, 20));
    ASSERT_TRUE(td::wait_idle());
    EXPECT_FALSE(td::wait_dialog(0.5).has_value());
    EXPECT_EQ(globals::bfile, 1);
}

TEST_F(MainWindow, TheOptionDialogsChangeTheLevelsAndClearAllResetsThem) {
    ASSERT_TRUE(td::choose_menu(main_, {"Options", "Level of Difficulty"}));
    int dialog = td::wait_window("Optimization Level");
    ASSERT_GE(dialog, 0);
    ASSERT_TRUE(td::wait_idle());
    EXPECT_FALSE(main_enabled());
    EXPECT_EQ(globals::idactivewin.load(), main_);
    ASSERT_TRUE(td::check_radio(dialog, "Difficult"));
    ASSERT_TRUE(td::click_button(dialog, "Close"));
    ASSERT_TRUE(td::wait_idle());
    EXPECT_TRUE(main_enabled());
    EXPECT_EQ(globals::iopt, 3);
    EXPECT_EQ(buttons_on(), (std::vector<std::string>{"Open", "Quit"}));

    ASSERT_TRUE(td::choose_menu(main_, {"Options", "Weighting of Data"}));
    dialog = td::wait_window("Weighting of Data");
    ASSERT_GE(dialog, 0);
    ASSERT_TRUE(td::wait_idle());
    ASSERT_TRUE(td::check_radio(dialog, "Robust Weight"));
    ASSERT_TRUE(td::click_button(dialog, "Close"));
    ASSERT_TRUE(td::wait_idle());
    EXPECT_EQ(globals::iwt, 4);
    EXPECT_EQ(common_data::ndwt, 3);

    // Levels survive Open.
    open(folder() + "Hougen.dat");
    ASSERT_TRUE(td::wait_idle());
    EXPECT_EQ(globals::iopt, 3);
    EXPECT_EQ(globals::iwt, 4);
    EXPECT_TRUE(button_on("Start"));

    ASSERT_TRUE(td::choose_menu(main_, {"Reset", "Clear All"}));
    ASSERT_TRUE(td::wait_idle());
    EXPECT_EQ(globals::iopt, 2);
    EXPECT_EQ(globals::iwt, 1);
    EXPECT_EQ(globals::ismth, 1);
    EXPECT_EQ(globals::ilbl, 1);
    EXPECT_EQ(globals::bfile, 1);
    EXPECT_TRUE(button_on("Start"));
    EXPECT_FALSE(button_on("Restart"));
}

TEST_F(MainWindow, HelpWindowsAreModalAndTheAboutBoxShowsTheVersion) {
    const struct {
        const char* item;
        const char* heading;
        int width, height;
    } windows[] = {
        {"Kalvor_UDF Overview", "Kalvor_UDF Overview:", 750, 600},
        {"NLLSQ Methods", "Kalvor_UDF - Nonlinear Regression Curve-Fitting Methods:", 600, 700},
        {"Model Operators", "Mathematical and Logical Operators", 550, 500},
        {"Example #1 Data File", "Example input data file format: Michaelis-Menten.dat", 550, 500},
        {"Example #2 Data File", "Example input data file format: Hougen.dat", 550, 500},
        {"Example #3 Data File", "Example input data file format: Michaelis-Menten 3 Curves", 750, 600},
    };
    for (const auto& w : windows) {
        SCOPED_TRACE(w.item);
        ASSERT_TRUE(td::choose_menu(main_, {"Help", w.item}));
        const int id = td::wait_window("Morvane-Quil");
        ASSERT_GE(id, 0);
        ASSERT_TRUE(td::wait_idle());
        EXPECT_FALSE(main_enabled());
        EXPECT_FALSE(item_on({"Help", "About..."}));
        EXPECT_FALSE(button_on("Open"));
        for (const auto& info : td::windows()) {
            if (info.id != id) continue;
            EXPECT_EQ(info.width, w.width);
            EXPECT_EQ(info.height, w.height);
        }
        bool heading = false;
        for (const auto& t : td::text_log(id)) heading |= t.text.rfind(std::string(w.heading) + "\r\n", 0) == 0;
        EXPECT_TRUE(heading);
        EXPECT_EQ(td::unreachable_text(id), std::vector<std::string>{});
        ASSERT_TRUE(td::click_button(id, "Close"));
        ASSERT_TRUE(td::wait_idle());
        EXPECT_TRUE(main_enabled());
        EXPECT_TRUE(item_on({"Help", "About..."}));
        EXPECT_EQ(buttons_on(), (std::vector<std::string>{"Open", "Quit"}));
    }

    ASSERT_TRUE(td::choose_menu(main_, {"Help", "About..."}));
    const auto about = td::wait_dialog();
    ASSERT_TRUE(about.has_value());
    EXPECT_EQ(about->style, ag::DIALOG_INFORMATION);
    EXPECT_EQ(about->text.rfind("*Kalvor_UDF\xe2\x84\xa2  - Nonlinear Regression Curve-Fitting", 0), 0u);
    EXPECT_NE(about->text.find("Version 2.5"), std::string::npos);
    ASSERT_TRUE(td::answer_ok());
    ASSERT_TRUE(td::wait_idle());
    EXPECT_NE(globals::cmsg.trimmed().find("Version 2.5"), std::string::npos);
}

// ---- the editor commands ----

namespace {

const char* const no_editor_message =
    "ERROR: No executable application was found!\n"
    "Enter an application and the full file path in the\n"
    "Kalvor_UDF.ini file. (e.g., Launch=/usr/bin/gedit)";

}  // namespace

class EditorCommands : public MainWindow {
protected:
    void SetUp() override {
        MainWindow::SetUp();
        recorder_ = write_arg_recorder(dir_);
    }

    // The arguments the recorder received, once it has run.
    std::string recorded() {
        const fs::path out = dir_ / "args.txt";
        EXPECT_TRUE(pump_until([&] { return fs::exists(out); }));
        return read_file(out);
    }

    fs::path recorder_;
};

TEST_F(EditorCommands, EditDataFilePassesThePathAsOneArgument) {
    globals::cwdexe.assign(recorder_.string());
    write("My Fit #1.dat", read_file(dir_ / "Michaelis-Menten.dat"));
    open(folder() + "My Fit #1.dat");
    ASSERT_TRUE(td::wait_idle());
    ASSERT_TRUE(td::choose_menu(main_, {"File", "Edit Data File"}));
    ASSERT_TRUE(td::wait_idle());
    EXPECT_EQ(recorded(), folder() + "My Fit #1.dat\n");
    EXPECT_TRUE(button_on("Start"));
}

// "NotePad (Kalvor_UDF.ini)" opens the settings file in the editor.
TEST_F(EditorCommands, NotePadOpensTheSettingsFile) {
    globals::cwdexe.assign(recorder_.string());
    ASSERT_TRUE(td::choose_menu(main_, {"File", "NotePad (Kalvor_UDF.ini)"}));
    ASSERT_TRUE(td::wait_idle());
    EXPECT_EQ(recorded(), folder() + "Kalvor_UDF.ini\n");
    EXPECT_EQ(settings::file_path(), folder() + "Kalvor_UDF.ini");
    // Without a data file Start stays off.
    EXPECT_EQ(buttons_on(), (std::vector<std::string>{"Open", "Quit"}));
    EXPECT_FALSE(item_on({"Run", "Start"}));
}

TEST_F(EditorCommands, NoEditorInTheSettingsShowsTheMessageForBothCommands) {
    globals::cwdexe.assign("null");
    ASSERT_TRUE(td::choose_menu(main_, {"File", "NotePad (Kalvor_UDF.ini)"}));
    expect_message(no_editor_message, ag::DIALOG_INFORMATION);
    ASSERT_TRUE(td::wait_idle());

    open(folder() + "Hougen.dat");
    ASSERT_TRUE(td::wait_idle());
    globals::cwdexe.assign("");
    ASSERT_TRUE(td::choose_menu(main_, {"File", "Edit Data File"}));
    expect_message(no_editor_message, ag::DIALOG_INFORMATION);
    ASSERT_TRUE(td::wait_idle());
    EXPECT_FALSE(fs::exists(dir_ / "args.txt"));
}

TEST_F(EditorCommands, AnEditorThatCannotBeStartedIsReported) {
    globals::cwdexe.assign(folder() + "no-such-editor");
    ASSERT_TRUE(td::choose_menu(main_, {"File", "NotePad (Kalvor_UDF.ini)"}));
    const auto dialog = td::wait_dialog();
    ASSERT_TRUE(dialog.has_value());
    EXPECT_EQ(dialog->style, ag::DIALOG_ERROR);
    EXPECT_NE(dialog->text.find(folder() + "no-such-editor"), std::string::npos);
    ASSERT_TRUE(td::answer_ok());
    ASSERT_TRUE(td::wait_idle());
    EXPECT_FALSE(session_->finished());
}
