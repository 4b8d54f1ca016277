#include "shell/launcher.h"

#include <spawn.h>
#include <sys/wait.h>

#include <cerrno>
#include <cstring>
#include <thread>

#include "foundations/stringlib.h"

extern char** environ;

namespace {

// Waits for the child's end; an interrupted wait is resumed.
void reap(pid_t pid) {
    while (waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
    }
}

}  // namespace

int LaunchExecutable(const std::vector<std::string>& argv, int wait) {
    if (argv.empty() || argv.front().empty()) return ENOENT;
    std::vector<char*> args;
    args.reserve(argv.size() + 1);
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);

    pid_t pid = 0;
    const int rc = posix_spawnp(&pid, args.front(), nullptr, nullptr, args.data(), environ);
    if (rc != 0) return rc;
    if (wait != 0) {
        reap(pid);
    } else {
        std::thread([pid] { reap(pid); }).detach();
    }
    return 0;
}

namespace launcher {

void launchwindow(std::string_view program, std::span<const std::string> arguments, int wait, int* status) {
    std::vector<std::string> argv;
    argv.emplace_back(program.substr(0, stringlib::s_len_trim(program)));
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    const int r = LaunchExecutable(argv, wait);
    if (status) *status = r;
}

std::string start_failure_message(std::string_view program, int status) {
    return "ERROR: The application could not be started:\r\n" + std::string(program) + "\r\n" +
           std::strerror(status);
}

}  // namespace launcher
