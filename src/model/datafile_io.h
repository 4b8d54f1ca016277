#pragma once
// Record access shared by the data-file readers (internal to datafile_*.cpp).

#include <fstream>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "model/datafile.h"

namespace datafile {

// Width of the record buffer of the line readers.
inline constexpr std::size_t record_width = 512;
inline constexpr const char* crlf = "\r\n";
inline constexpr const char* input_fatal = "INPUT DATA FILE - Fatal error!";
inline constexpr const char* read_data_fatal = "READ ROW, COLUMN, AND DATA ERROR!";

// A text file read record by record on a unit of its own. Leading and
// trailing blanks of the path are ignored; case and inner blanks are kept.
// A CR before the line end is dropped, so CR LF files read as LF files.
class LineFile {
public:
    explicit LineFile(std::string_view path);
    bool is_open() const { return open_; }
    int unit() const { return lease_.number(); }
    // Next record; false at the end of the file.
    bool next(std::string& record);
    // Reads on until record is file line lineno (1-based); false when the
    // file ends first or that line has been passed.
    bool read_line(int lineno, std::string& record);
    // Number of the record last returned (1-based), 0 before the first.
    int line_number() const { return line_; }

private:
    UnitLease lease_;
    std::ifstream in_;
    bool open_ = false;
    int line_ = 0;
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
// END when the line begins with "E" or contains "END" (any case); NEXT when it
// begins with "N" or contains "NEXT" (any case). END is tested first.
BlockEnd block_end(std::string_view line);

// List-directed reading of the first values.size() values of record; a null
// value leaves its element unchanged. False when a value is missing or no
// number.
bool read_reals(std::string_view record, std::span<double> values);
bool read_logicals(std::string_view record, std::vector<bool>& values);

}  // namespace datafile
