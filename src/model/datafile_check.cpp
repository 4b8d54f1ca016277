// Syntax checks of the numbers in a data file, before the values are read.

#include <algorithm>

#include "foundations/stringlib.h"
#include "model/datafile_io.h"
#include "model/globals.h"

namespace datafile {

namespace {

// The checks look at the first 128 characters of a line.
constexpr std::size_t check_width = 128;
constexpr int first_row_line = 6;
constexpr int last_checked_line = 1000;

// A line as the checks see it: cut to 128 characters, left-adjusted, TABs
// and other white space blanked. (Numbers and END or NEXT read in either
// case, so the letters keep theirs, as the messages show them.)
kalvor::FixedText check_line(std::string_view record) {
    kalvor::FixedText line(check_width, record);
    stringlib::s_adjustl(line.str());
    stringlib::s_whitespace_blank(line.str());
    return line;
}

// Number of value fields of the line (blanks and commas separate; a comma
// standing alone counts as a field of its own) and the line prepared for
// reading: " ," appended and everything from the first "!" blanked.
int count_fields(const kalvor::FixedText& line, std::string& prepared) {
    prepared = line.str() + " ,";
    const auto bang = prepared.find('!');
    if (bang != std::string::npos) prepared.replace(bang, prepared.size() - bang, prepared.size() - bang, ' ');
    int fields = 0;
    std::size_t pos = 0;
    while (pos < check_width - 1) {
        const char c = prepared[pos];
        if (c == ' ') {
            ++pos;
            continue;
        }
        ++fields;
        if (c == ',') {
            ++pos;
            continue;
        }
        pos = std::min(prepared.find(' ', pos), prepared.find(',', pos)) + 1;
    }
    return fields;
}

// The number of values to read of a line: min(fields, n), all fields when
// n < 1. prepared is the line made ready for reading.
int values_wanted(const kalvor::FixedText& line, int n, std::string& prepared) {
    const int fields = count_fields(line, prepared);
    return n < 1 ? fields : std::min(fields, n);
}

// Reads the wanted values of the line into values; on failure bad_value
// (when given) names the value that could not be read.
bool line_values_read(const kalvor::FixedText& line, int n, std::vector<double>& values,
                      std::string* bad_value) {
    std::string prepared;
    const int wanted = values_wanted(line, n, prepared);
    values.assign(static_cast<std::size_t>(wanted), 0.0);
    if (read_reals(prepared, values)) return true;
    if (bad_value) *bad_value = unreadable_value(prepared, wanted);
    return false;
}

// The end of a data block for the row checks: a blank line, or END or NEXT
// as the line's first word.
bool ends_rows(const kalvor::FixedText& line) { return line.blank() || block_end(line.view()) != BlockEnd::none; }

// Starts a check of file: bad line 0, and flag 1 with the readers' message
// when the file could not be opened.
bool check_opened(const LineFile& file, int& bad_line, int& flag) {
    bad_line = 0;
    flag = file.is_open() ? 0 : 1;
    if (flag != 0) console(input_fatal);
    return flag == 0;
}

}  // namespace

void checkparameterdata(const FileText& text, int n, int& bad_line, int& flag, std::string* bad_value) {
    LineFile file(text, FirstLine::model);
    if (!check_opened(file, bad_line, flag)) return;
    std::string record;
    std::vector<double> values;
    for (int lineno = 2; lineno <= 4; ++lineno) {
        // A file that ends before line 4 lacks a parameter line.
        const bool present = file.read_line(lineno, record);
        if (!present || !line_values_read(check_line(record), n, values, bad_value)) {
            if (!present && bad_value) *bad_value = "a missing line";
            bad_line = file.file_line(lineno);
            flag = 1;
            return;
        }
    }
}

void checkmaskdata(const FileText& text, int n, int& bad_line, int& flag, std::string* bad_value) {
    LineFile file(text, FirstLine::model);
    if (!check_opened(file, bad_line, flag) || n < 1) return;
    constexpr int mask_line = 5;
    std::string record;
    const bool present = file.read_line(mask_line, record);
    const std::string bad = present ? unreadable_logical(record, n) : "a missing line";
    if (bad.empty()) return;
    bad_line = file.file_line(mask_line);
    flag = 1;
    if (bad_value) *bad_value = bad;
}

void checkparsestr2real(const FileText& text, int n, int& bad_line, int& flag, std::string* bad_value) {
    LineFile file(text, FirstLine::model);
    if (!check_opened(file, bad_line, flag)) return;
    std::string record;
    std::vector<double> values;
    // The end of the file ends the block as the row counter sees it.
    while (file.line_number() < last_checked_line && file.next(record)) {
        if (file.line_number() < first_row_line) continue;
        const kalvor::FixedText line = check_line(record);
        if (ends_rows(line)) return;
        if (!line_values_read(line, n, values, bad_value)) {
            bad_line = file.file_line(file.line_number());
            flag = 1;
            return;
        }
    }
}

void parsestr2real(std::string_view path, int& rows, int& count, int first_line,
                   kalvor::Matrix& table, int& flag) {
    flag = 0;
    count = 0;
    const int capacity = std::clamp(rows, 0, common_data::max_rows);
    rows = 0;
    LineFile file(path);
    if (!file.is_open()) {
        console(input_fatal);
        flag = 1;
        return;
    }
    std::vector<std::vector<double>> read_rows;
    std::string record;
    std::vector<double> values;
    while (static_cast<int>(read_rows.size()) < capacity && file.next(record)) {
        if (file.line_number() < first_line) continue;
        const kalvor::FixedText line = check_line(record);
        if (ends_rows(line)) break;
        const int wanted = read_rows.empty() ? 0 : count;
        if (!line_values_read(line, wanted, values, nullptr) ||
            (!read_rows.empty() && static_cast<int>(values.size()) < count)) {
            flag = 2;
            break;
        }
        if (read_rows.empty()) count = static_cast<int>(values.size());
        read_rows.push_back(values);
    }
    rows = static_cast<int>(read_rows.size());
    table.resize(static_cast<std::size_t>(rows), static_cast<std::size_t>(count));
    for (std::size_t i = 0; i < read_rows.size(); ++i)
        for (std::size_t j = 0; j < static_cast<std::size_t>(count); ++j) table(i, j) = read_rows[i][j];
}

void tab2blank(std::string& text) { stringlib::s_replace_ch(text, '\t', ' '); }

}  // namespace datafile
