#pragma once
// The user's data file: file units, the line readers the run calls one by
// one, the syntax checks of the numbers, and the older table readers and
// writers.
//
// Layout of a data file (lines counted from 1):
//   1      the model: "Y=" and the formula, or "MODEL#" and a number
//   2      initial values P1..Pn
//   3, 4   lower and upper bounds of P1..Pn
//   5      masks of P1..Pn (T or F, either case, optionally after a period)
//   6 ..   data rows X1 [X2 [X3]] Y
//   last   END (or NEXT when another data block follows), a blank line or
//          the end of the file
// Values are separated by blanks or commas.
//
// Every reader reads a FileText: one reading of the file. Given a path, a
// reader reads the file afresh; a run reads its data file once and hands that
// reading to every reader, so that the file may change meanwhile without
// changing the run. Lines end in LF, CR LF or CR alone. Paths are used as
// given (case and inner blanks kept; leading and trailing blanks ignored).
// Blank lines before the model line are skipped: the model line is line 1
// for every reader, and the line numbers the checks report are those of the
// file itself.
// The value readers (lines 2 on) read no further than a "!" comment, take
// only the values they need, and refuse a null value (two commas in a row).
//
// A reader that cannot go on (the file cannot be opened, or a table cannot be
// read) writes its message to standard output and throws FileError, whose
// text is that message; the caller turns it into its own abort. The counters
// and checks report failures through their results, as documented.

#include <memory>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "foundations/fixed_text.h"
#include "foundations/matrix.h"

namespace datafile {

// A reader could not open or read its file; what() is the console message.
class FileError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Width of a line as the readers keep it.
inline constexpr std::size_t record_width = 512;

// The lines of a text file, read once, without their line ends. A line may
// hold at most record_width characters (blanks and TABs beyond that aside):
// the reading stops before a longer line and tells its number, so that no
// line costs more memory than that width. At most max_lines lines are kept;
// cut() tells when more followed.
//
// The reading of a data file (Extent::data_block) goes no further than its
// data block: it ends with the END or NEXT line that ends the block (kept,
// its first record_width characters when it is longer), so that nothing
// after it is read at all. After a blank line, which ends the block too, it
// reads on to an END or NEXT line for the rows left unread; a longer line
// there ends the reading and is no fault.
class FileText {
public:
    static constexpr int max_lines = 5000;
    enum class Extent { whole_file, data_block };

    // Reads the file at path; a path converts to a fresh reading of the
    // whole file.
    FileText(std::string_view path, Extent extent = Extent::whole_file);
    FileText(const std::string& path) : FileText(std::string_view(path)) {}
    FileText(const char* path) : FileText(std::string_view(path)) {}

    bool opened() const { return content_->opened; }
    // The path, leading and trailing blanks removed.
    const std::string& path() const { return content_->path; }
    // The unit the file was read on (for messages).
    int unit() const { return content_->unit; }
    const std::vector<std::string>& lines() const { return content_->lines; }
    // File line number of the first line longer than record_width that is
    // a fault (see above); 0 when none.
    int long_line() const { return content_->long_line; }
    bool cut() const { return content_->cut; }

private:
    struct Content {
        std::string path;
        bool opened = false;
        int unit = 0;
        std::vector<std::string> lines;
        int long_line = 0;
        bool cut = false;
    };
    std::shared_ptr<const Content> content_;
};

// ---- file units ----

// First free unit from 1 to 99, skipping 5, 6 and 9; 0 when none is free.
int get_unit();
void get_unit(int& unit);
// Unit bookkeeping: every open file of the program holds its unit.
bool unit_is_open(int unit);
// Marks unit as open; false when it is out of range or already open.
bool open_unit(int unit);
void close_unit(int unit);

// A unit taken with get_unit and held until destruction (0 when none was free).
class UnitLease {
public:
    UnitLease();
    ~UnitLease();
    UnitLease(const UnitLease&) = delete;
    UnitLease& operator=(const UnitLease&) = delete;
    int number() const { return unit_; }

private:
    int unit_ = 0;
};

// ---- row limit ----

// True when nrows data rows fit the fit arrays (at most 1000).
bool rows_within_limit(int nrows);
// The message that rejects a file of nrows data rows (at least nrows when
// its reading was cut), lines joined by CR LF.
std::string too_many_rows_message(int nrows, bool at_least = false);

// ---- line readers ----

// Left-adjusts path in place; line = the first non-blank line among the first
// 1000 lines (blank when none), control characters and white space blanked,
// left-adjusted; it has no comment ("!" is the maximum operator). Throws
// FileError ("File_DATA_READ - Fatal error #3A!").
void a_model_line(kalvor::FixedText& path, kalvor::FixedText& line);
// As a_model_line, with "#3B" in its message and the path left as it is.
// Returns the length of the cleaned line before it was cut to the width of
// line (0 when no line holds more than white space).
std::size_t a_function_line(const FileText& file, kalvor::FixedText& line);
// count = number of lines before the block's ending line: a line whose
// first word (before any "!" comment) is END, or NEXT (globals::bnext = 1),
// in any case; a blank line; or the end of the file. globals::bnext is 0 at
// the start. Returns false, count unchanged, when the file cannot be opened.
bool a_row_count(const FileText& file, int& count);
// Rows the block leaves unread after a blank line ended it: the lines after
// the blank line, up to an END or NEXT line or the end of the file, whose
// first value is a number. blank_line = the file line number of the blank
// line when there are such rows, else 0.
int rows_after_blank(const FileText& file, int& blank_line);

// Column count of one line: TABs, control characters and white space become
// blanks in place; count = number of values separated by blanks or commas,
// scanning up to the first "N" or "!".
void s_col_count(std::string& line, int& count);

// Column counts of lines 2, 3, 4, 5 and 6. A line beyond the end of the file
// counts 0. Return false, count unchanged, when the file cannot be opened
// (message "INPUT DATA FILE - Fatal error!").
bool rparcols(int& count, const FileText& file);
bool rlocols(int& count, const FileText& file);
bool rhicols(int& count, const FileText& file);
bool rmaskcols(int& count, const FileText& file);
bool rxycols(int& count, const FileText& file);

// n initial values from line 2; error = 1 when they cannot be read.
// Throws FileError when the file cannot be opened (as do rlo, rhi, rmask, rxy).
void rpar(std::span<double> values, int n, const FileText& file, int& error);
// n values from line 3 and line 4; returns false when they cannot be read.
bool rlo(std::span<double> values, int n, const FileText& file);
bool rhi(std::span<double> values, int n, const FileText& file);
// n masks from line 5 as 1 (fitted) or 0 (held); all 0 when unreadable.
void rmask(std::span<int> flags, int n, const FileText& file);
// Table rows from file lines 6 .. nrows+5 (ncols values each); table is sized
// nrows x ncols. On the first line that cannot be read: error = 1 and
// bad_line = its line number (bad_value, when given, as for
// checkparameterdata); else both 0. More than 1000 rows are refused
// before anything is read: error = 1, bad_line = 1006 (the first row beyond).
void rxy(kalvor::Matrix& table, int nrows, int ncols, const FileText& file, int& bad_line,
         int& error, std::string* bad_value = nullptr);

// Line lineno (counted from the model line) as numbered in the file itself.
int file_line(const FileText& file, int lineno);

// A data row that does not hold the values a row must hold.
struct RowWidth {
    int line = 0;              // its file line number; 0 when every row holds them
    int values = 0;            // the number of values it holds
    std::string decimal_comma; // a number written with a decimal comma ("15,9"), if any
};
// The first of the data rows on lines 6 .. nrows+5 whose values before the
// "!" comment are not exactly ncols.
RowWidth row_of_other_width(const FileText& file, int nrows, int ncols);

// ---- syntax checks ----

// Lines 2, 3 and 4: flag 1 and bad_line = the first line whose values are not
// reals; flag 1 and bad_line 0 when the file cannot be opened. bad_value,
// when given, receives a description of the value that could not be read.
void checkparameterdata(const FileText& file, int n, int& bad_line, int& flag, std::string* bad_value = nullptr);
// The masks of line 5 as rmask reads them: flag 1, bad_line = the file line
// number of line 5 and bad_value (as for checkparameterdata) when the first
// n of them are not all T or F.
void checkmaskdata(const FileText& file, int n, int& bad_line, int& flag, std::string* bad_value = nullptr);
// Data rows from line 6 to the block's end (END, NEXT, a blank line, the end
// of the file), at most up to line 1000: flag 1 and bad_line = the first
// row whose values are not reals; bad_value as for checkparameterdata.
void checkparsestr2real(const FileText& file, int n, int& bad_line, int& flag, std::string* bad_value = nullptr);
// Reads rows of reals from first_line on with the line rules of
// checkparsestr2real into table (at most min(rows, 1000) rows); rows becomes
// the number of rows read and count the number of values of the first row.
// flag: 0 ok, 1 the file cannot be opened, 2 a row could not be read (the
// rows before it are kept).
void parsestr2real(std::string_view path, int& rows, int& count, int first_line,
                   kalvor::Matrix& table, int& flag);
// Every TAB up to the trimmed length becomes a blank.
void tab2blank(std::string& text);

// ---- older table readers and writers ----

// Lines that are not blank and do not begin with "!" or "#", up to a line
// beginning with an apostrophe or a double quote; -1 when it cannot be opened.
void file_row_count(std::string_view path, int& count);
// Column count of the first data line; -1 when there is none; -1 and flag 1
// when the file cannot be opened.
void file_column_count(std::string_view path, int& count, int& flag);
// Columns (m) and rows (n) of a table file. Throws FileError.
void r4mat_header_read(std::string_view path, int& m, int& n);
// n lines of m single-precision reals, skipping blank lines and lines that
// begin with "#"; table is m x n column by column. Throws FileError.
void r4mat_data_read(std::string_view path, int m, int n, std::vector<float>& table);
// The two integers of the first line (rows, columns). Throws FileError.
void rcdata(int& rows, int& cols, std::string_view path);
// n lines of m reals into table (n x m). Throws FileError.
void rdata(kalvor::Matrix& table, int n, int m, std::string_view path);
// Writes n rows of m reals of table to name + ".txt". Throws FileError.
void wdata(const kalvor::Matrix& table, int n, int m, std::string_view title, std::string_view name);

// Older "*.IN" layout: line 1 the model in apostrophes or double quotes;
// line 2 the number of parameters np; then np lines "lower value upper";
// then X/Y rows of equal width up to a blank line, END or the end of file.
struct XyData {
    std::string model;           // text between the quotes
    int np = 0;                  // parameters
    std::vector<double> lower, value, upper;
    int nrows = 0;               // X/Y rows
    int nx = 0;                  // X columns (the last column is Y)
    kalvor::Matrix xy;           // nrows x (nx + 1)
};
// Checks a "*.IN" file; returns the failure flag (0 good). name is the file
// name shown in the messages.
int check_xydata(std::string_view path, std::string_view name);
// Reads a "*.IN" file into data; returns the failure flag (0 good).
int read_xydata(std::string_view path, XyData& data);

// Counts the lines before the first line that is blank or begins with "!",
// "#", an apostrophe or a double quote, opening the file on the given unit.
void data_row_count(int unit, std::string_view path, int& count);
// Up to 4999 lines of 220 characters (control characters and white space
// blanked) before a line whose first word is END or NEXT (any case; NEXT
// sets globals::bnext) or the end of file; "! " is put before every line that
// does not begin with "#". Throws FileError ("File_DATA_READ - Fatal error #1!").
void read_data_ouput_file(std::string_view path, std::vector<kalvor::FixedText>& lines, int& count);
// Copies up to 1000 lines to path + ".txt", putting "# " before the first line
// when it is not blank and does not begin with "#". Throws FileError.
void comment_out_first_line(std::string_view path);

}  // namespace datafile
