#pragma once
// A main window running on the logic thread in a folder of its own, with
// helpers to look at its menus and buttons and to answer its dialogs.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "model/globals.h"
#include "platform/appgraphics.h"
#include "platform/testdriver.h"
#include "shell/mainmenu.h"
#include "shell/scratch.h"

namespace shelltest {

namespace fs = std::filesystem;
namespace td = testdriver;

inline constexpr const char* main_title = "Kalvor_UDF - Nonlinear Regression Curve Fitting";

class MainWindow : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = scratch_dir("kalvor_menu");
        for (const auto& entry : fs::directory_iterator(fs::path(KALVOR_SOURCE_DIR) / "data" / "examples")) {
            fs::copy_file(entry.path(), dir_ / entry.path().filename());
        }
        globals::reset_run_state();
        globals::cwd.assign(folder());
        globals::cwddat.assign(folder());
        session_ = std::make_unique<td::Session>();
        session_->start([] {
            mainmenu::menu();
            return 0;
        });
        main_ = td::wait_window(main_title);
        ASSERT_GE(main_, 0);
        ASSERT_TRUE(td::wait_idle());
    }

    void TearDown() override {
        session_.reset();
        fs::remove_all(dir_);
    }

    std::string folder() const { return dir_.string() + "/"; }

    const td::ControlInfo* find(td::ControlKind kind, const std::vector<std::string>& path) {
        controls_ = td::controls(main_);
        for (const auto& c : controls_) {
            if (c.kind != kind) continue;
            if (kind == td::ControlKind::MenuItem ? c.path == path : c.label == path.back()) return &c;
        }
        ADD_FAILURE() << "no control " << path.back();
        return nullptr;
    }
    bool item_on(const std::vector<std::string>& path) {
        const auto* c = find(td::ControlKind::MenuItem, path);
        return c && c->enabled;
    }
    bool button_on(const std::string& label) {
        const auto* c = find(td::ControlKind::Button, {label});
        return c && c->enabled;
    }
    std::vector<std::string> buttons_on() {
        std::vector<std::string> on;
        for (const auto& c : td::controls(main_)) {
            if (c.kind == td::ControlKind::Button && c.enabled) on.push_back(c.label);
        }
        return on;
    }
    bool views_off() {
        for (const char* item : {"Results Statistics", "X vs Y Data", "X vs Y Plot", "X / Y vs X Plot",
                                 "X vs LOG(Y) Plot", "LOG(X) vs Y Plot", "Residuals Plot"}) {
            if (item_on({"Display Results", item})) return false;
        }
        for (const char* b : {"Results", "XY-Plot", "Log(X)-Plot", "Log(Y)-Plot", "Residuals"}) {
            if (button_on(b)) return false;
        }
        return true;
    }
    bool main_enabled() {
        for (const auto& w : td::windows()) {
            if (w.id == main_) return w.enabled;
        }
        return false;
    }

    // Chooses Open Data File and answers its dialog with path (Cancel when empty).
    void open(const std::string& path) {
        ASSERT_TRUE(td::choose_menu(main_, {"File", "Open Data File"}));
        const auto dialog = td::wait_dialog();
        ASSERT_TRUE(dialog.has_value());
        ASSERT_EQ(dialog->kind, td::DialogKind::OpenFile);
        EXPECT_EQ(dialog->title, "Enter data file");
        EXPECT_EQ(dialog->initial, folder());
        EXPECT_EQ(dialog->filter, "Data (*.DAT)");
        if (path.empty()) {
            ASSERT_TRUE(td::answer_cancel());
        } else {
            ASSERT_TRUE(td::answer_path(path));
        }
    }

    // Opens the file of the test's folder, starts the fit, confirms the
    // model and waits for the fit to end with results.
    void fit_file(const std::string& name) {
        open(folder() + name);
        ASSERT_TRUE(td::wait_idle());
        ASSERT_TRUE(td::click_button(main_, "Start"));
        ASSERT_TRUE(td::wait_dialog().has_value());
        ASSERT_TRUE(td::answer_yes());
        ASSERT_TRUE(td::wait_idle(600));
        ASSERT_EQ(globals::brun, 1);
    }

    // Waits for a message box, checks its text and presses OK.
    void expect_message(const std::string& text, int style) {
        const auto dialog = td::wait_dialog();
        ASSERT_TRUE(dialog.has_value());
        EXPECT_EQ(dialog->kind, td::DialogKind::Message);
        EXPECT_EQ(dialog->style, style);
        EXPECT_EQ(dialog->text, text);
        ASSERT_TRUE(td::answer_ok());
    }

    void write(const std::string& name, const std::string& content) {
        std::ofstream(dir_ / name, std::ios::binary) << content;
    }

    fs::path dir_;
    std::unique_ptr<td::Session> session_;
    int main_ = -1;
    std::vector<td::ControlInfo> controls_;
};

}  // namespace shelltest
