#pragma once
// Record access shared by the data-file readers (internal to datafile_*.cpp).

#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "model/datafile.h"

namespace datafile {

inline constexpr const char* crlf = "\r\n";
inline constexpr const char* input_fatal = "INPUT DATA FILE - Fatal error!";
inline constexpr const char* read_data_fatal = "READ ROW, COLUMN, AND DATA ERROR!";

// Where the line numbers of a LineFile start.
enum class FirstLine {
    file,   // line 1 is the first line of the file
    model,  // line 1 is the first line that is not blank (the model line of
            // a data file); the blank lines before it are skipped
};

// The lines of one reading of a file, record by record.
class LineFile {
public:
    explicit LineFile(const FileText& text, FirstLine first = FirstLine::file);
    bool is_open() const { return text_.opened(); }
    int unit() const { return text_.unit(); }
    // Next record; false at the end of the file.
    bool next(std::string& record);
    // Reads on until record is line lineno (1-based); false when the file
    // ends first or that line has been passed.
    bool read_line(int lineno, std::string& record);
    // Number of the record last returned (1-based), 0 before the first.
    int line_number() const { return line_; }
    // Line lineno as numbered in the file itself (the skipped blank lines
    // counted), for messages.
    int file_line(int lineno) const { return lineno + skipped_; }

private:
    FileText text_;
    std::size_t next_ = 0;
    bool skip_blank_ = false;
    int line_ = 0;
    int skipped_ = 0;
};

// The path as the file system gets it: leading and trailing blanks removed.
std::string trimmed_path(std::string_view path);

// Writes the lines of text to standard output.
void console(std::string_view text);
// Throws FileError with text.
[[noreturn]] void fail(const std::string& text);
// A data file that cannot be opened for reading values: writes input_fatal,
// throws FileError with input_fatal and read_data_fatal.
[[noreturn]] void fail_unopened_data();
// Writes a blank line, fatal and the line naming path and unit, returns them.
std::string open_failure(std::string_view fatal, std::string_view path, int unit);

// Blanks control characters and white space of the fixed text s, then
// left-adjusts it.
void clean_record(std::string& s);
// The record cut to the readers' width and cleaned as clean_record does.
kalvor::FixedText adjusted_record(std::string_view record);

// A label followed by a number in eight columns ("(a,i8)").
std::string number_line(std::string_view label, int value);

// How a data-block line ends the block.
enum class BlockEnd { none, end, next };
// END or NEXT when the first word of the line (its leading letters, after
// blanks and before any "!" comment) is END or NEXT in any case.
BlockEnd block_end(std::string_view line);

// A line of blanks and white space only (TAB, LF, VT, FF, CR); any other
// character, a control character too, makes it no blank line.
bool blank_record(std::string_view record);

// The record up to its "!" comment.
std::string_view without_comment(std::string_view record);

// List-directed reading of the first values.size() values of record, up to
// its "!" comment. False when a value is missing, null (two commas in a row)
// or no number, or when a repeat count reaches beyond the values wanted.
bool read_reals(std::string_view record, std::span<double> values);
bool read_logicals(std::string_view record, std::vector<bool>& values);
// The first of the first `wanted` values of record (all of them for wanted
// < 1) that read_reals refuses, as a text for a message: the value in double
// quotes, or a description of an empty or repeated value; empty when the
// values read.
std::string unreadable_value(std::string_view record, int wanted);
// As unreadable_value for logical values (T or F).
std::string unreadable_logical(std::string_view record, int wanted);

}  // namespace datafile
