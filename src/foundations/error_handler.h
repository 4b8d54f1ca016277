#pragma once
// The run log and the inquiries on files and units behind it.
//
// display_message writes one line per reported event of a run, either
// appended to a log file (opened and closed around every line, so the log
// holds complete lines even after an abrupt end) or to standard output:
//
//   " <routine>(<STATE>) : <message> : Date <date>"
//   " <routine> : <message> : Date <date>"      (INFORMATION in a log file)
//
// with routine, message and the ctime-style date trimmed of trailing blanks.
// A log that cannot be opened leaves an "Error opening message log file"
// line and the caller's line on standard output.
//
// Units are the numbers under which log files are open: 0 to 99 exist, and a
// log takes the first one from 10 upward that is free.  Relative file names
// are taken in the folder the caller hands over (the process's current
// folder when that is empty).

#include <filesystem>
#include <optional>
#include <string_view>

namespace error_handler {

inline constexpr int success = 0;
inline constexpr int information = 1;
inline constexpr int warning = 2;
inline constexpr int failure = 3;
inline constexpr int undefined = 4;

// The run log of the program, in the working folder.
inline constexpr std::string_view run_log_name = "Kalvor_UDF-runlog.txt";

// "SUCCESS", "INFORMATION", "WARNING", "FAILURE", "UNDEFINED" for the error
// states 0..4; "UNDEFINED" for any other state.
std::string_view state_descriptor(int error_state);

// Writes one line for the event (see above); without message_log, or when it
// cannot be opened, to standard output. A relative message_log is taken in
// folder.
void display_message(std::string_view routine, std::string_view message, int error_state,
                     std::optional<std::string_view> message_log = std::nullopt,
                     const std::filesystem::path& folder = {});

// Opens the named file (trailing blanks dropped, a relative name taken in
// folder) for appending on the first free unit from 10 upward: returns 0 with
// the unit, or 3 when no unit is free or the file cannot be opened.
int open_message_log(std::string_view file_name, int& unit, const std::filesystem::path& folder = {});
// Appends one line to the file open on unit; false when the unit is not open
// or the write fails.
bool write_line(int unit, std::string_view line);
// Closes the unit (nothing when it is not open).
void close_unit(int unit);

// First unit from 10 upward that exists and is not open; -1 when a unit
// number that does not exist is met first.
int get_lun();
bool file_open_by_name(std::string_view name, const std::filesystem::path& folder = {});
bool file_name_exists(std::string_view name, const std::filesystem::path& folder = {});
bool file_open_by_unit(int unit);
bool file_unit_exists(int unit);

// The path a file name stands for: trailing blanks dropped, a relative name
// taken in folder.
std::filesystem::path resolve_name(std::string_view name, const std::filesystem::path& folder);

}  // namespace error_handler
