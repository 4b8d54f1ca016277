// Starting an outside program with an argument vector: arguments arrive
// unchanged, bare names are looked up on PATH, failures return errno, and
// children are reaped.

#include <gtest/gtest.h>

#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "foundations/runtime.h"
#include "shell/launcher.h"
#include "shell/scratch.h"

namespace fs = std::filesystem;

namespace {

// Children of this process, running or not yet reaped.
int child_processes() {
    int count = 0;
    const std::string self = std::to_string(::getpid());
    for (const auto& entry : fs::directory_iterator("/proc")) {
        std::ifstream stat(entry.path() / "stat");
        std::string line;
        if (!std::getline(stat, line)) continue;
        // pid (comm) state ppid ...
        const auto close = line.rfind(')');
        if (close == std::string::npos) continue;
        std::istringstream rest(line.substr(close + 2));
        std::string state, ppid;
        rest >> state >> ppid;
        if (ppid == self) ++count;
    }
    return count;
}

class Launcher : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = shelltest::scratch_dir("kalvor_launch");
        recorder_ = shelltest::write_arg_recorder(dir_);
    }
    void TearDown() override { fs::remove_all(dir_); }

    std::string recorded() const { return shelltest::read_file(dir_ / "args.txt"); }

    fs::path dir_;
    fs::path recorder_;
};

}  // namespace

TEST_F(Launcher, TheArgumentVectorArrivesUnchanged) {
    const std::vector<std::string> args{"/data/My Fits/run #1.dat", "$HOME; rm -rf x", "'quoted'"};
    int status = -1;
    launcher::launchwindow(recorder_.string() + "   ", args, 1, &status);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(recorded(), "/data/My Fits/run #1.dat\n$HOME; rm -rf x\n'quoted'\n");
}

TEST_F(Launcher, ABareNameIsLookedUpOnPath) {
    const std::string old_path = std::getenv("PATH") ? std::getenv("PATH") : "";
    ::setenv("PATH", (dir_.string() + ":" + old_path).c_str(), 1);
    int status = -1;
    launcher::launchwindow("argrecorder", std::vector<std::string>{"one"}, 1, &status);
    ::setenv("PATH", old_path.c_str(), 1);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(recorded(), "one\n");
}

TEST_F(Launcher, AFailedStartReturnsTheErrorCode) {
    int status = 0;
    launcher::launchwindow((dir_ / "no-such-program").string(), {}, 0, &status);
    EXPECT_EQ(status, ENOENT);

    status = 0;
    launcher::launchwindow("   ", {}, 0, &status);
    EXPECT_EQ(status, ENOENT);

    const fs::path not_executable = dir_ / "plain.txt";
    std::ofstream(not_executable) << "text\n";
    fs::permissions(not_executable, fs::perms::owner_read | fs::perms::owner_write);
    EXPECT_EQ(LaunchExecutable({not_executable.string()}, 0), EACCES);

    const std::string message = launcher::start_failure_message("gedit", ENOENT);
    EXPECT_NE(message.find("gedit"), std::string::npos);
    EXPECT_NE(message.find("\r\n"), std::string::npos);
}

TEST_F(Launcher, AProgramStartedWithoutWaitingIsReaped) {
    ASSERT_EQ(child_processes(), 0);
    int status = -1;
    launcher::launchwindow(recorder_.string(), std::vector<std::string>{"x"}, 0, &status);
    ASSERT_EQ(status, 0);
    // Without a reaper the finished child would stay a zombie for ever.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (child_processes() > 0 && std::chrono::steady_clock::now() < deadline) {
        runtime::sleep_seconds(0.02);
    }
    EXPECT_EQ(child_processes(), 0);
    EXPECT_EQ(recorded(), "x\n");
}
