#include "model/datafile_io.h"

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

LineFile::LineFile(std::string_view path) {
    const std::string name = trimmed_path(path);
    if (lease_.number() == 0 || name.empty()) return;
    in_.open(std::filesystem::path(name), std::ios::in | std::ios::binary);
    open_ = in_.is_open() && !std::filesystem::is_directory(std::filesystem::path(name));
}

bool LineFile::next(std::string& record) {
    if (!open_ || !stringlib::read_record(in_, record)) return false;
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
    if ((!line.empty() && line.front() == 'E') || stringlib::s_indexi(line, "END") > 0)
        return BlockEnd::end;
    if ((!line.empty() && line.front() == 'N') || stringlib::s_indexi(line, "NEXT") > 0)
        return BlockEnd::next;
    return BlockEnd::none;
}

namespace {

// The value texts of a record. Values read before a malformed tail (an
// apostrophe in a trailing note) count, as they do for a Fortran read.
bool list_items(std::string_view record, std::size_t wanted, std::vector<std::string>& items) {
    fortran_io::read_list(record, items);
    return items.size() >= wanted;
}

}  // namespace

bool read_reals(std::string_view record, std::span<double> values) {
    std::vector<std::string> items;
    if (!list_items(record, values.size(), items)) return false;
    for (std::size_t k = 0; k < values.size(); ++k) {
        if (items[k].empty()) continue;
        if (!fortran_io::read_real(items[k], values[k])) return false;
    }
    return true;
}

bool read_logicals(std::string_view record, std::vector<bool>& values) {
    std::vector<std::string> items;
    if (!list_items(record, values.size(), items)) return false;
    for (std::size_t k = 0; k < values.size(); ++k) {
        if (items[k].empty()) continue;
        bool value = false;
        if (!fortran_io::read_logical(items[k], value)) return false;
        values[k] = value;
    }
    return true;
}

}  // namespace datafile
