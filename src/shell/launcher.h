#pragma once
// Starting an outside program, such as the editor named in the settings.
//
// The program gets an argument vector: no shell is involved, so a file name
// with blanks or shell characters reaches it as one argument. A name without
// "/" is looked up on PATH; one with "/" is used as it stands. The child is
// always reaped: with wait 0 by a background thread, otherwise by the caller.

#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace launcher {

// Starts program (trailing blanks ignored) with the given arguments. A
// non-zero wait returns only when the program has ended. status, when given,
// receives 0 on success or the errno of the failed start.
void launchwindow(std::string_view program, std::span<const std::string> arguments = {}, int wait = 0,
                  int* status = nullptr);

// The message shown when a program could not be started, lines joined by
// CR LF.
std::string start_failure_message(std::string_view program, int status);

}  // namespace launcher

// Starts argv[0] with the argument vector argv; waits for its end when wait
// is non-zero. Returns 0 on success, else the errno of the failed start
// (ENOENT for an empty vector or an empty program name).
int LaunchExecutable(const std::vector<std::string>& argv, int wait);
