#pragma once
// Helpers of the shell tests: scratch folders, a small program that records
// its arguments, and waiting with the GUI kept running.

#include <gtest/gtest.h>

#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <functional>
#include <string>

#include "platform/testdriver.h"

namespace shelltest {

// A new empty folder named after prefix, the process and the running test.
inline std::filesystem::path scratch_dir(const std::string& prefix) {
    const auto dir = std::filesystem::temp_directory_path() /
                     (prefix + "_" + std::to_string(::getpid()) + "_" +
                      ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    return dir;
}

inline std::string read_file(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

// Writes dir/argrecorder: a program that writes each of its arguments on a
// line of its own into dir/args.txt (which appears only when complete).
inline std::filesystem::path write_arg_recorder(const std::filesystem::path& dir) {
    const auto recorder = dir / "argrecorder";
    const std::string out = (dir / "args.txt").string();
    std::ofstream(recorder) << "#!/bin/sh\nfor a in \"$@\"; do printf '%s\\n' \"$a\"; done > \"" << out
                            << ".tmp\"\nmv \"" << out << ".tmp\" \"" << out << "\"\n";
    std::filesystem::permissions(recorder, std::filesystem::perms::owner_all);
    return recorder;
}

// Waits until done() holds, at most timeout seconds, keeping the GUI
// running meanwhile (windows and controls are made on the GUI thread).
inline bool pump_until(const std::function<bool()>& done, double timeout = 30) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(timeout);
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        testdriver::wait_dialog(0.01);  // only for its wait; a dialog stays unanswered
    }
    return true;
}

// A button or radio button holds its whole label with room to spare
// (a radio button also its round indicator) and stays inside a canvas
// canvas_width wide.
inline ::testing::AssertionResult holds_label(const testdriver::ControlInfo& c, int canvas_width) {
    const int room = c.kind == testdriver::ControlKind::RadioButton ? 20 : 8;
    if (c.width < c.label_width + room || c.height < c.label_height || c.left + c.width > canvas_width)
        return ::testing::AssertionFailure() << '"' << c.label << "\" " << c.width << "x" << c.height << " at "
                                             << c.left << " for a label " << c.label_width << "x" << c.label_height;
    return ::testing::AssertionSuccess();
}

}  // namespace shelltest
