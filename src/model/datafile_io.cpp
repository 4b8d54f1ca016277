#include "model/datafile_io.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <iostream>

#include "foundations/fortran_io.h"
#include "foundations/stringconv.h"
#include "foundations/stringlib.h"

namespace datafile {

std::string trimmed_path(std::string_view path) {
    const auto first = path.find_first_not_of(' ');
    if (first == std::string_view::npos) return {};
    const auto last = path.find_last_not_of(' ');
    return std::string(path.substr(first, last - first + 1));
}

LineFile::LineFile(std::string_view path, FirstLine first) : skip_blank_(first == FirstLine::model) {
    const std::string name = trimmed_path(path);
    if (lease_.number() == 0 || name.empty()) return;
    in_.open(std::filesystem::path(name), std::ios::in | std::ios::binary);
    open_ = in_.is_open() && !std::filesystem::is_directory(std::filesystem::path(name));
}

bool LineFile::next(std::string& record) {
    if (!open_) return false;
    for (;;) {
        if (!stringlib::read_record(in_, record)) return false;
        if (!skip_blank_ || !adjusted_record(record).blank()) break;
        ++skipped_;
    }
    skip_blank_ = false;
    ++line_;
    return true;
}

bool LineFile::read_line(int lineno, std::string& record) {
    while (line_ < lineno)
        if (!next(record)) return false;
    return line_ == lineno;
}

void console(std::string_view text) {
    std::cout << text << '\n';
    std::cout.flush();
}

void fail(const std::string& text) { throw FileError(text); }

void fail_unopened_data() {
    console(input_fatal);
    fail(std::string(input_fatal) + "\n" + read_data_fatal);
}

std::string open_failure(std::string_view fatal, std::string_view path, int unit) {
    const std::string where =
        number_line("  Could not open the input file \"" + trimmed_path(path) + "\" on unit", unit);
    const std::string text = " \n" + std::string(fatal) + "\n" + where;
    console(text);
    return text;
}

void clean_record(std::string& s) {
    stringlib::s_control_blank(s);
    stringlib::s_whitespace_blank(s);
    stringlib::s_adjustl(s);
}

kalvor::FixedText adjusted_record(std::string_view record) {
    kalvor::FixedText line(record_width, record);
    clean_record(line.str());
    return line;
}

std::string number_line(std::string_view label, int value) {
    return fortran_io::write("(a,i8)", {label, value});
}

BlockEnd block_end(std::string_view line) {
    const auto is_letter = [](char c) { return std::isalpha(static_cast<unsigned char>(c)) != 0; };
    const auto start = std::find_if_not(line.begin(), line.end(), [](char c) {
        return std::isspace(static_cast<unsigned char>(c)) != 0 || std::iscntrl(static_cast<unsigned char>(c)) != 0;
    });
    const auto stop = std::find_if_not(start, line.end(), is_letter);
    // A word glued to digits ("END2") is no END.
    if (stop != line.end() && std::isdigit(static_cast<unsigned char>(*stop))) return BlockEnd::none;
    const std::string word = stringlib::uppercase(std::string(start, stop));
    if (word == "END") return BlockEnd::end;
    if (word == "NEXT") return BlockEnd::next;
    return BlockEnd::none;
}

std::string_view without_comment(std::string_view record) { return record.substr(0, record.find('!')); }

namespace {

// The value texts of a record before its comment: at most `wanted`, and no
// fewer unless the record ends first. Values read before a malformed tail (an
// apostrophe in a trailing note) count, as they do for a Fortran read.
bool list_items(std::string_view record, std::size_t wanted, std::vector<std::string>& items) {
    fortran_io::read_list(without_comment(record), items, nullptr, wanted);
    return items.size() >= wanted;
}

// Converts the first values.size() value texts of record with read; a null
// value or a text read refuses fails.
template <class T, class Read>
bool read_values(std::string_view record, std::span<T> values, Read read) {
    std::vector<std::string> items;
    if (!list_items(record, values.size(), items)) return false;
    for (std::size_t k = 0; k < values.size(); ++k)
        if (items[k].empty() || !read(items[k], values[k])) return false;
    return true;
}

}  // namespace

bool read_reals(std::string_view record, std::span<double> values) {
    return read_values(record, values, [](const std::string& s, double& v) { return fortran_io::read_real(s, v); });
}

bool read_logicals(std::string_view record, std::vector<bool>& values) {
    std::vector<char> flags(values.size(), 0);
    const bool ok = read_values(record, std::span<char>(flags), [](const std::string& s, char& v) {
        bool b = false;
        if (!fortran_io::read_logical(s, b)) return false;
        v = b ? 1 : 0;
        return true;
    });
    if (ok)
        for (std::size_t k = 0; k < values.size(); ++k) values[k] = flags[k] != 0;
    return ok;
}

std::string unreadable_value(std::string_view record, int wanted) {
    std::vector<std::string> items;
    const std::size_t limit = wanted < 1 ? fortran_io::list_item_limit : static_cast<std::size_t>(wanted);
    if (!fortran_io::read_list(without_comment(record), items, nullptr, limit))
        return "a repeat count (r*) beyond the values wanted, or a quote, after " + std::to_string(items.size()) +
               " values";
    for (const std::string& item : items) {
        double value = 0.0;
        if (item.empty()) return "an empty value between two commas";
        if (!fortran_io::read_real(item, value)) return "\"" + item + "\"";
    }
    if (wanted >= 1 && items.size() < static_cast<std::size_t>(wanted)) return "a missing value";
    return {};
}

}  // namespace datafile
