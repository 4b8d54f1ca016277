#pragma once
// Fixture of the run's tests that write files: a fresh working folder as
// globals::cwd (where the temporary report and the run log go), the sleeps off, and
// every dialog recorded and answered from a script (Yes/OK unless `answers`
// holds a No for the next Yes/No question).

#include <gtest/gtest.h>

#include <deque>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include <unistd.h>

#include "foundations/runtime.h"
#include "model/globals.h"
#include "platform/appgraphics.h"
#include "platform/dialogs.h"

// A text as the dialog shows it: LF line ends, no trailing blanks per line.
inline std::string shown(std::string_view text) {
    std::string out, line;
    auto flush = [&] {
        line.erase(line.find_last_not_of(' ') + 1);
        out += line;
        line.clear();
    };
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
        if (text[i] == '\n') {
            flush();
            out += '\n';
        } else {
            line += text[i];
        }
    }
    flush();
    while (!out.empty() && (out.back() == '\n' || out.back() == ' ')) out.pop_back();
    return out;
}

class RunFilesTest : public ::testing::Test {
protected:
    void SetUp() override {
        globals::reset_run_state();
        dir = std::filesystem::temp_directory_path() /
              ("kalvor_run_" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()) + "_" +
               std::to_string(::getpid()));
        std::filesystem::remove_all(dir);
        std::filesystem::create_directories(dir);
        globals::cwd = dir.string() + "/";
        runtime::set_time_scale(0);
        appgraphics::set_dialog_provider([this](const appgraphics::DialogRequest& r) {
            dialogs.push_back(r);
            bool yes = true;
            if (r.kind == appgraphics::DialogKind::YesNo && !answers.empty()) {
                yes = answers.front();
                answers.pop_front();
            }
            return appgraphics::DialogAnswer{yes, {}};
        });
    }
    void TearDown() override {
        appgraphics::set_dialog_provider({});
        runtime::set_time_scale(1);
        std::filesystem::remove_all(dir);
    }

    // The whole text of a file in the working folder ("" when there is none).
    std::string file_text(const std::string& name) const {
        std::ifstream in(dir / name, std::ios::binary);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }

    // Temporary report files left in the working folder.
    int temporary_files_left() const {
        int left = 0;
        for (const auto& entry : std::filesystem::directory_iterator(dir))
            left += entry.path().filename().string().starts_with("tempor") ? 1 : 0;
        return left;
    }

    // The Error message boxes shown so far.
    std::vector<appgraphics::DialogRequest> errors() const {
        std::vector<appgraphics::DialogRequest> out;
        for (const auto& d : dialogs)
            if (d.kind == appgraphics::DialogKind::Message && d.style == appgraphics::DIALOG_ERROR) out.push_back(d);
        return out;
    }

    std::filesystem::path dir;
    std::vector<appgraphics::DialogRequest> dialogs;
    std::deque<bool> answers;
};
