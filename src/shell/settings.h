#pragma once
// The settings file Kalvor_UDF.ini in the start folder: the program that
// opens files for editing (key Launch) and the folder in which the Open
// dialog starts (key DataDir).
//
// A missing file is created with default content. Lines are key lines
// ("Key=value"), section lines ("[..."), comments ("!...") and blank lines.
// Keys are matched by their first six letters without regard to case or
// blanks; values keep their case and inner blanks, only blanks around them
// are dropped.

#include <string>
#include <string_view>
#include <vector>

#include "foundations/fixed_text.h"

namespace settings {

// Lines read from the file at most; later lines are ignored.
inline constexpr int max_lines = 100;
// Longest line and value kept; the rest of a line is cut.
inline constexpr std::size_t max_line_length = 512;

// The default content for a start folder that ends in "/".
std::vector<std::string> default_lines(std::string_view start_folder);

enum class Key { none, launch, datadir };

struct Entry {
    Key key = Key::none;
    std::string value;
};

// What one line of the file sets: comments, sections, blank lines and
// unknown keys give Key::none. A DataDir value that is not empty ends in "/".
Entry parse_line(std::string_view line);

// Full path of the settings file: the start folder (globals::cwd) and the
// file name (globals::fini).
std::string file_path();

}  // namespace settings

// Creates the settings file when missing, then reads it: a Launch line sets
// globals::cwdexe and exe_path, a DataDir line globals::cwddat and data_dir;
// a later line of the same key replaces an earlier one. Both outputs are
// blank on entry. A file that cannot be made or read changes nothing else.
void ini(kalvor::FixedText& exe_path, kalvor::FixedText& data_dir);
