// Line readers of the data file, file units and the row limit.

#include "model/datafile.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <mutex>

#include "foundations/fortran_io.h"
#include "foundations/stringlib.h"
#include "model/datafile_io.h"
#include "model/globals.h"

namespace datafile {

// ---- file units ----

namespace {

constexpr int first_unit = 1;
constexpr int last_unit = 99;

std::mutex unit_mutex;
std::array<bool, last_unit + 1> unit_open{};

bool reserved_unit(int unit) { return unit == 5 || unit == 6 || unit == 9; }

}  // namespace

int get_unit() {
    std::lock_guard lock(unit_mutex);
    for (int unit = first_unit; unit <= last_unit; ++unit)
        if (!reserved_unit(unit) && !unit_open[unit]) return unit;
    return 0;
}

void get_unit(int& unit) { unit = get_unit(); }

bool unit_is_open(int unit) {
    std::lock_guard lock(unit_mutex);
    return unit >= first_unit && unit <= last_unit && unit_open[unit];
}

bool open_unit(int unit) {
    std::lock_guard lock(unit_mutex);
    if (unit < first_unit || unit > last_unit || unit_open[unit]) return false;
    unit_open[unit] = true;
    return true;
}

void close_unit(int unit) {
    std::lock_guard lock(unit_mutex);
    if (unit >= first_unit && unit <= last_unit) unit_open[unit] = false;
}

UnitLease::UnitLease() {
    // Another thread may take the unit between the search and the claim.
    for (int tries = 0; tries < last_unit; ++tries) {
        const int unit = get_unit();
        if (unit == 0) return;
        if (open_unit(unit)) {
            unit_ = unit;
            return;
        }
    }
}

UnitLease::~UnitLease() {
    if (unit_ != 0) close_unit(unit_);
}

// ---- row limit ----

bool rows_within_limit(int nrows) { return nrows <= common_data::max_rows; }

std::string too_many_rows_message(int nrows, bool at_least) {
    return "The data file contains " + std::string(at_least ? "at least " : "") + std::to_string(nrows) +
           " X,Y data rows," + crlf +
           "but at most " + std::to_string(common_data::max_rows) +
           " X,Y data rows can be fitted." + crlf + crlf +
           "Please shorten the data file and rerun the model.";
}

// ---- line readers ----

namespace {

// The first line that is not blank among the first 1000, cleaned, into line;
// a "!" there is the formula's maximum operator, no comment. Returns the
// trimmed length of the cleaned line before it was cut to the width of line.
std::size_t first_nonblank_line(const FileText& text, kalvor::FixedText& line, const char* fatal) {
    LineFile file(text);
    if (!file.is_open()) fail(open_failure(fatal, text.path(), file.unit()));
    line.assign("");
    std::string record;
    for (int k = 0; k < 1000 && file.next(record); ++k) {
        // A line of white space only (a TAB, a CR) is blank too.
        if (adjusted_record(record).blank()) continue;
        clean_record(record);
        line.assign(record);
        return record.find_last_not_of(' ') + 1;
    }
    return 0;
}

// The record on line lineno of the data file (counted from its model line).
enum class LineRead { ok, no_file, no_line };
LineRead record_at(const FileText& text, int lineno, std::string& record) {
    LineFile file(text, FirstLine::model);
    if (!file.is_open()) return LineRead::no_file;
    return file.read_line(lineno, record) ? LineRead::ok : LineRead::no_line;
}

// How the data block ended.
enum class Ending { end, next, blank, end_of_file };
struct Block {
    int count = 0;  // lines before the ending line
    Ending ending = Ending::end_of_file;
};

// Reads file up to and including the line that ends the block.
Block scan_block(LineFile& file) {
    Block block;
    std::string record;
    while (file.next(record)) {
        const BlockEnd end = block_end(record);
        if (end != BlockEnd::none) {
            block.ending = end == BlockEnd::end ? Ending::end : Ending::next;
            return block;
        }
        // White space only (a TAB, a form feed) makes a blank line; other
        // control characters (a line of NUL bytes) make a row, which the
        // checks refuse.
        if (blank_record(record)) {
            block.ending = Ending::blank;
            return block;
        }
        ++block.count;
    }
    return block;
}

bool column_count_of_line(const FileText& text, int lineno, int& count) {
    std::string record;
    switch (record_at(text, lineno, record)) {
    case LineRead::no_file:
        console(input_fatal);
        return false;
    case LineRead::no_line:
        count = 0;
        return true;
    case LineRead::ok:
        break;
    }
    kalvor::FixedText line(record_width, record);
    s_col_count(line.str(), count);
    return true;
}

// The record on lineno for a value reader; a file that cannot be opened ends
// the read with the readers' fatal message.
bool value_record(const FileText& text, int lineno, std::string& record) {
    switch (record_at(text, lineno, record)) {
    case LineRead::no_file:
        fail_unopened_data();
    case LineRead::no_line:
        return false;
    case LineRead::ok:
        break;
    }
    return true;
}

}  // namespace

void a_model_line(kalvor::FixedText& path, kalvor::FixedText& line) {
    stringlib::s_adjustl(path.str());
    first_nonblank_line(path.view(), line, "File_DATA_READ - Fatal error #3A!");
}

std::size_t a_function_line(const FileText& file, kalvor::FixedText& line) {
    return first_nonblank_line(file, line, "File_DATA_READ - Fatal error #3B!");
}

bool a_row_count(const FileText& text, int& count) {
    globals::bnext = 0;
    LineFile file(text, FirstLine::model);
    if (!file.is_open()) return false;
    const Block block = scan_block(file);
    count = block.count;
    if (block.ending == Ending::next) globals::bnext = 1;
    return true;
}

int rows_after_blank(const FileText& text, int& blank_line) {
    blank_line = 0;
    LineFile file(text, FirstLine::model);
    if (!file.is_open() || scan_block(file).ending != Ending::blank) return 0;
    const int blank = file.file_line(file.line_number());
    int rows = 0;
    std::string record;
    double value = 0.0;
    while (file.next(record) && block_end(record) == BlockEnd::none)
        if (read_reals(record, {&value, 1})) ++rows;
    if (rows > 0) blank_line = blank;
    return rows;
}

void s_col_count(std::string& line, int& count) {
    stringlib::s_tab_blank(line);
    stringlib::s_control_blank(line);
    stringlib::s_whitespace_blank(line);
    count = 0;
    bool in_value = false;
    for (const char c : line) {
        if (c == 'N' || c == '!') break;
        const bool separator = c == ' ' || c == ',';
        if (!separator && !in_value) ++count;
        in_value = !separator;
    }
}

bool rparcols(int& count, const FileText& file) { return column_count_of_line(file, 2, count); }
bool rlocols(int& count, const FileText& file) { return column_count_of_line(file, 3, count); }
bool rhicols(int& count, const FileText& file) { return column_count_of_line(file, 4, count); }
bool rmaskcols(int& count, const FileText& file) { return column_count_of_line(file, 5, count); }
bool rxycols(int& count, const FileText& file) { return column_count_of_line(file, 6, count); }

namespace {

bool read_line_reals(std::span<double> values, int n, const FileText& file, int lineno) {
    std::string record;
    if (!value_record(file, lineno, record)) return false;
    if (n < 1) return true;
    if (static_cast<std::size_t>(n) > values.size()) return false;
    return read_reals(record, values.first(static_cast<std::size_t>(n)));
}

}  // namespace

void rpar(std::span<double> values, int n, const FileText& file, int& error) {
    error = read_line_reals(values, n, file, 2) ? 0 : 1;
}

bool rlo(std::span<double> values, int n, const FileText& file) {
    return read_line_reals(values, n, file, 3);
}

bool rhi(std::span<double> values, int n, const FileText& file) {
    return read_line_reals(values, n, file, 4);
}

void rmask(std::span<int> flags, int n, const FileText& file) {
    std::string record;
    const bool found = value_record(file, 5, record);
    if (n < 1) return;
    const std::size_t count = std::min(static_cast<std::size_t>(n), flags.size());
    std::vector<bool> masks(count, false);
    if (!found || static_cast<std::size_t>(n) > flags.size() || !read_logicals(record, masks))
        masks.assign(count, false);
    for (std::size_t k = 0; k < count; ++k) flags[k] = masks[k] ? 1 : 0;
}

// File line of the first data row, counted from the model line.
constexpr int first_row_line = 6;

void rxy(kalvor::Matrix& table, int nrows, int ncols, const FileText& text, int& bad_line,
         int& error, std::string* bad_value) {
    bad_line = 0;
    error = 0;
    if (!rows_within_limit(nrows)) {
        error = 1;
        bad_line = common_data::max_rows + first_row_line;
        return;
    }
    table.resize(static_cast<std::size_t>(std::max(nrows, 0)), static_cast<std::size_t>(std::max(ncols, 0)));
    if (nrows < 1) return;
    LineFile file(text, FirstLine::model);
    if (!file.is_open()) fail_unopened_data();
    std::vector<double> row(static_cast<std::size_t>(std::max(ncols, 0)), 0.0);
    std::string record;
    const int last_line = nrows + first_row_line - 1;
    for (int lineno = first_row_line; lineno <= last_line; ++lineno) {
        std::fill(row.begin(), row.end(), 0.0);
        const bool present = file.read_line(lineno, record);
        if (!present || !read_reals(record, row)) {
            error = 1;
            bad_line = file.file_line(lineno);
            if (bad_value) *bad_value = present ? unreadable_value(record, ncols) : "a missing line";
            return;
        }
        for (std::size_t j = 0; j < row.size(); ++j)
            table(static_cast<std::size_t>(lineno - first_row_line), j) = row[j];
    }
}

int file_line(const FileText& text, int lineno) {
    LineFile file(text, FirstLine::model);
    std::string record;
    file.next(record);
    return file.file_line(lineno);
}

namespace {

// A number written with a comma for its decimal point: digits, a comma and
// digits ("15,9"); empty when the record holds none.
std::string decimal_comma(std::string_view record) {
    const auto digit = [](char c) { return std::isdigit(static_cast<unsigned char>(c)) != 0; };
    for (std::size_t i = 1; i + 1 < record.size(); ++i) {
        if (record[i] != ',' || !digit(record[i - 1]) || !digit(record[i + 1])) continue;
        std::size_t first = i, last = i + 1;
        while (first > 0 && (digit(record[first - 1]) || record[first - 1] == '.')) --first;
        while (last < record.size() && digit(record[last])) ++last;
        return std::string(record.substr(first, last - first));
    }
    return {};
}

}  // namespace

RowWidth row_of_other_width(const FileText& text, int nrows, int ncols) {
    LineFile file(text, FirstLine::model);
    std::string record;
    std::vector<std::string> items;
    const int last_line = std::min(nrows, common_data::max_rows) + first_row_line - 1;
    for (int lineno = first_row_line; lineno <= last_line && file.read_line(lineno, record); ++lineno) {
        const std::string_view values = without_comment(record);
        // One value more than wanted is enough to tell; a repeat count
        // reaching beyond it counts as that one more.
        const bool listed = fortran_io::read_list(values, items, nullptr, static_cast<std::size_t>(ncols) + 1);
        const int count = listed ? static_cast<int>(items.size()) : ncols + 1;
        if (count != ncols) return {file.file_line(lineno), count, decimal_comma(values)};
    }
    return {};
}

}  // namespace datafile
