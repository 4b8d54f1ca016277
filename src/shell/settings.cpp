#include "shell/settings.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>

#include "foundations/stringconv.h"
#include "model/globals.h"

namespace settings {

namespace {

// Characters of the settings name that make up the file name.
constexpr std::size_t fini_used = 62;

bool is_blank(char c) { return c == ' ' || c == '\t'; }

std::string_view trim_blanks(std::string_view s) {
    while (!s.empty() && is_blank(s.front())) s.remove_prefix(1);
    while (!s.empty() && is_blank(s.back())) s.remove_suffix(1);
    return s;
}

// The key of a line: blanks removed, upper case, at most six letters.
std::string key_of(std::string_view text) {
    std::string key;
    for (const char c : text) {
        if (is_blank(c)) continue;
        key += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        if (key.size() == 6) break;
    }
    return key;
}

}  // namespace

std::vector<std::string> default_lines(std::string_view start_folder) {
    return {
        "[Settings]",
        "! Blank lines and comments beginning with \"!\" are ignored.",
        " ",
        "! Set the path of the application to execute: Launch=",
        "Launch=xdg-open",
        " ",
        "! Alternative application paths: Launch=",
        "! Launch=/usr/bin/gedit",
        "! Launch=mousepad",
        "! Launch=kate",
        "! Launch=/usr/bin/libreoffice",
        " ",
        "! Set the path of the data (*.dat) files: DataDir=",
        "DataDir=" + std::string(start_folder),
        " ",
        "! Alternative data paths: DataDir=",
        "! DataDir=../",
        "! DataDir=/home/user/Documents/Kalvor/Data/",
        " ",
        "! *** End of settings ***",
    };
}

Entry parse_line(std::string_view raw) {
    std::string line(raw.substr(0, max_line_length));
    // Control characters count as blanks; bytes above 127 belong to UTF-8
    // names and stay.
    for (char& c : line) {
        const auto u = static_cast<unsigned char>(c);
        if (u < 32 || u == 127) c = ' ';
    }
    const std::string_view text = trim_blanks(line);
    if (text.empty() || text.front() == '[' || text.front() == '!') return {};

    const std::size_t eq = text.find('=');
    const std::string key = key_of(text.substr(0, eq));
    // Without "=" the whole line is the value.
    std::string value(eq == std::string_view::npos ? text : trim_blanks(text.substr(eq + 1)));
    if (key == "LAUNCH") return {Key::launch, std::move(value)};
    if (key == "DATADI") {
        if (!value.empty() && value.back() != '/') value += '/';
        return {Key::datadir, std::move(value)};
    }
    return {};
}

std::string file_path() {
    const std::string& name = globals::fini.str();
    return globals::cwd.trimmed() + std::string(trim_blanks(name.substr(0, fini_used)));
}

}  // namespace settings

void ini(kalvor::FixedText& exe_path, kalvor::FixedText& data_dir) {
    exe_path.assign("");
    data_dir.assign("");
    std::string& fini = globals::fini.str();
    if (fini.size() > settings::fini_used) std::fill(fini.begin() + settings::fini_used, fini.end(), ' ');
    const std::string path = settings::file_path();

    std::error_code ec;
    if (!std::filesystem::exists(path, ec)) {
        std::ofstream out(path);
        if (out) {
            for (const std::string& line : settings::default_lines(globals::cwd.trimmed())) out << line << '\n';
        }
    }

    std::ifstream in(path);
    if (!in) return;
    std::string record;
    for (int n = 0; n < settings::max_lines && stringlib::read_record(in, record); ++n) {
        const settings::Entry entry = settings::parse_line(record);
        if (entry.key == settings::Key::launch) {
            globals::cwdexe.assign(entry.value);
            exe_path.assign(globals::cwdexe.view());
        } else if (entry.key == settings::Key::datadir) {
            globals::cwddat.assign(entry.value);
            data_dir.assign(globals::cwddat.view());
        }
    }
}
