#include "foundations/error_handler.h"

#include <array>
#include <fstream>
#include <iostream>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <system_error>

#include "foundations/fixed_text.h"
#include "foundations/fortran_io.h"
#include "foundations/nrutil.h"
#include "foundations/stringlib.h"

namespace error_handler {
namespace {

constexpr int kFirstLogUnit = 10;
constexpr int kLastUnit = 99;

constexpr std::string_view kFullLayout = R"((1x, a, "(", a, ") : ", a, " : Date ", a))";
constexpr std::string_view kInformationLayout = R"((1x, a, " : ", a, " : Date ", a))";

// Files open under a unit number.
struct Units {
    std::mutex mutex;
    std::map<int, std::unique_ptr<std::ofstream>> open;
};

Units& units() {
    static Units u;
    return u;
}

std::string_view trim_trailing(std::string_view s) { return s.substr(0, stringlib::s_len_trim(s)); }

// First unit from 10 upward that exists and is not open, -1 when none; the
// caller holds the lock.
int first_free_unit(const Units& all) {
    for (int u = kFirstLogUnit;; ++u) {
        if (!file_unit_exists(u)) return -1;
        if (!all.open.contains(u)) return u;
    }
}

std::string date_text() {
    kalvor::FixedText date(30);
    nrutil::current_date(date);
    return date.trimmed();
}

}  // namespace

std::string_view state_descriptor(int error_state) {
    static constexpr std::array<std::string_view, 5> words = {"SUCCESS", "INFORMATION", "WARNING", "FAILURE",
                                                              "UNDEFINED"};
    return error_state >= 0 && error_state <= 4 ? words[static_cast<std::size_t>(error_state)] : words[4];
}

std::filesystem::path resolve_name(std::string_view name, const std::filesystem::path& folder) {
    std::filesystem::path path(trim_trailing(name));
    if (path.is_relative() && !folder.empty()) path = folder / path;
    return path;
}

void display_message(std::string_view routine, std::string_view message, int error_state,
                     std::optional<std::string_view> message_log, const std::filesystem::path& folder) {
    const std::string_view word = state_descriptor(error_state);
    const std::string_view r = trim_trailing(routine), m = trim_trailing(message);

    if (message_log) {
        int unit = 0;
        if (open_message_log(*message_log, unit, folder) == success) {
            const std::string line =
                error_state == information
                    ? fortran_io::write(kInformationLayout, {r, m, date_text()})
                    : fortran_io::write(kFullLayout, {r, word, m, date_text()});
            write_line(unit, line);
            close_unit(unit);
            return;
        }
        display_message("Display_Message", "Error opening message log file", failure);
    }
    std::cout << fortran_io::write(kFullLayout, {r, word, m, date_text()}) << '\n' << std::flush;
}

int open_message_log(std::string_view file_name, int& unit, const std::filesystem::path& folder) {
    Units& all = units();
    std::lock_guard lock(all.mutex);
    const int u = first_free_unit(all);
    if (u < 0) return failure;
    const std::string name(trim_trailing(file_name));
    if (name.empty()) return failure;
    auto stream = std::make_unique<std::ofstream>(resolve_name(name, folder), std::ios::out | std::ios::app);
    if (!stream->is_open()) return failure;
    all.open[u] = std::move(stream);
    unit = u;
    return success;
}

bool write_line(int unit, std::string_view line) {
    Units& all = units();
    std::lock_guard lock(all.mutex);
    const auto it = all.open.find(unit);
    if (it == all.open.end()) return false;
    *it->second << line << '\n';
    it->second->flush();
    return it->second->good();
}

void close_unit(int unit) {
    Units& all = units();
    std::lock_guard lock(all.mutex);
    all.open.erase(unit);
}

int get_lun() {
    Units& all = units();
    std::lock_guard lock(all.mutex);
    return first_free_unit(all);
}

bool file_open_by_name(std::string_view name, const std::filesystem::path& folder) {
    // Every file this process holds open appears as a link in /proc/self/fd.
    std::error_code ec;
    const auto target = std::filesystem::weakly_canonical(resolve_name(name, folder), ec);
    if (ec) return false;
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd", ec)) {
        std::error_code link_ec;
        const auto linked = std::filesystem::read_symlink(entry.path(), link_ec);
        if (!link_ec && linked == target) return true;
    }
    return false;
}

bool file_name_exists(std::string_view name, const std::filesystem::path& folder) {
    std::error_code ec;
    return std::filesystem::exists(resolve_name(name, folder), ec);
}

bool file_open_by_unit(int unit) {
    Units& all = units();
    std::lock_guard lock(all.mutex);
    return all.open.contains(unit);
}

bool file_unit_exists(int unit) { return unit >= 0 && unit <= kLastUnit; }

}  // namespace error_handler
