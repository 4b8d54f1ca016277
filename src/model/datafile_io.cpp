#include "model/datafile_io.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
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

namespace {

enum class Record { line, end, too_long };

// One line of in without its line end (LF, CR LF or CR), at most
// record_width characters of it kept; blanks and TABs beyond that are
// dropped, anything else there makes the line too long (and ends the read).
Record bounded_record(std::streambuf& in, std::string& record) {
    using traits = std::streambuf::traits_type;
    record.clear();
    bool any = false;
    for (auto c = in.sbumpc(); !traits::eq_int_type(c, traits::eof()); c = in.sbumpc()) {
        any = true;
        const char ch = traits::to_char_type(c);
        if (ch == '\n') return Record::line;
        if (ch == '\r') {
            if (traits::eq_int_type(in.sgetc(), traits::to_int_type('\n'))) in.sbumpc();
            return Record::line;
        }
        if (record.size() < record_width)
            record.push_back(ch);
        else if (ch != ' ' && ch != '\t')
            return Record::too_long;
    }
    return any ? Record::line : Record::end;
}

// Where the reading of a data file stands: before its model line, in its
// data block, or past a blank line that ended the block.
enum class Place { before_model, in_block, after_blank };

// Steps place over the next line of a data file (too_long: only its first
// record_width characters are in record, and it is no blank line); true when
// the line is the END or NEXT line that ends the block.
bool ends_block(Place& place, std::string_view record, bool too_long) {
    if (place == Place::before_model) {
        if (!too_long && adjusted_record(record).blank()) return false;
        place = Place::in_block;
    }
    if (block_end(record) != BlockEnd::none) return true;
    if (place == Place::in_block && !too_long && blank_record(record)) place = Place::after_blank;
    return false;
}

}  // namespace

FileText::FileText(std::string_view path, Extent extent) {
    auto content = std::make_shared<Content>();
    content->path = trimmed_path(path);
    const UnitLease lease;
    content->unit = lease.number();
    if (lease.number() != 0 && !content->path.empty()) {
        const std::filesystem::path name(content->path);
        std::ifstream in(name, std::ios::in | std::ios::binary);
        std::error_code ec;
        content->opened = in.is_open() && !std::filesystem::is_directory(name, ec);
        std::string record;
        Place place = Place::before_model;
        while (content->opened && in.rdbuf() != nullptr) {
            const Record read = bounded_record(*in.rdbuf(), record);
            if (read == Record::end) break;
            const bool too_long = read == Record::too_long;
            const bool last = extent == Extent::data_block && ends_block(place, record, too_long);
            if (too_long && !last) {
                // Past a blank line that ended the block no line is data:
                // a long one there only ends the reading.
                if (place != Place::after_blank) content->long_line = static_cast<int>(content->lines.size()) + 1;
                break;
            }
            if (static_cast<int>(content->lines.size()) == max_lines) {
                content->cut = true;
                break;
            }
            content->lines.push_back(record);
            if (last) break;
        }
    }
    content_ = std::move(content);
}

LineFile::LineFile(const FileText& text, FirstLine first) : text_(text), skip_blank_(first == FirstLine::model) {}

bool LineFile::next(std::string& record) {
    const auto& lines = text_.lines();
    for (;;) {
        if (next_ >= lines.size()) return false;
        record = lines[next_++];
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

bool blank_record(std::string_view record) {
    return std::all_of(record.begin(), record.end(), [](char c) { return c == ' ' || (c >= '\t' && c <= '\r'); });
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

namespace {

// A value for a message: in double quotes, or, when it holds a control
// character, the code of the first one.
std::string shown_value(const std::string& item) {
    const auto control = std::find_if(item.begin(), item.end(), [](char c) {
        const auto u = static_cast<unsigned char>(c);
        return u < 32 || u == 127;
    });
    if (control == item.end()) return "\"" + item + "\"";
    return "a value holding the control character of code " +
           std::to_string(static_cast<unsigned char>(*control));
}

// The first of the first `wanted` values of record that convert refuses.
template <class Convert>
std::string unreadable(std::string_view record, int wanted, Convert convert) {
    std::vector<std::string> items;
    const std::size_t limit = wanted < 1 ? fortran_io::list_item_limit : static_cast<std::size_t>(wanted);
    if (!fortran_io::read_list(without_comment(record), items, nullptr, limit))
        return "a repeat count (r*) beyond the values wanted, or a quote, after " + std::to_string(items.size()) +
               " values";
    for (const std::string& item : items) {
        if (item.empty()) return "an empty value between two commas";
        if (!convert(item)) return shown_value(item);
    }
    if (wanted >= 1 && items.size() < static_cast<std::size_t>(wanted)) return "a missing value";
    return {};
}

}  // namespace

std::string unreadable_value(std::string_view record, int wanted) {
    return unreadable(record, wanted, [](const std::string& item) {
        double value = 0.0;
        return fortran_io::read_real(item, value);
    });
}

std::string unreadable_logical(std::string_view record, int wanted) {
    return unreadable(record, wanted, [](const std::string& item) {
        bool value = false;
        return fortran_io::read_logical(item, value);
    });
}

}  // namespace datafile
