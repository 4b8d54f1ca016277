#pragma once
// Fortran-style formatted output and number reading, printing exactly what
// the GNU Fortran run time prints.
//
// write() formats items through a format text such as "(1p,G11.5)", "(3F8.2)"
// or "(/1x,A,I5)":
//  - data edit descriptors Iw[.m], Fw.d, Ew.d[Ee], Dw.d, ESw.d[Ee],
//    ENw.d[Ee], Gw.d[Ee], G0, G0.d, A[w], Lw (w = 0 in I0 and F0.d gives the
//    shortest field); G of an integer, text or logical edits as I, A or L;
//  - kP scale factors (in force for the later items of the same write, also
//    after reversion), SP/SS/S, nX, Tn, TLn, TRn, quoted ('..' or "..") and
//    nH literals, "/" (r/), ":", "$" or backslash (the record stays open, see
//    Unit), repeat counts, nested groups, "*( )";
//  - format control ends at a data descriptor (or ":") when no item is left;
//    when items remain at the end of the format, a new record starts at the
//    last top-level group (with its repeat count) or at the format's start.
// Numbers are rounded from their exact binary value, ties to even.  A value
// that does not fit its field gives w asterisks; exponents beyond 99 are
// written +ddd without the letter; -0.0 and negatives rounding to zero keep
// their minus sign; NaN and infinities print as "NaN", "Inf", "Infinity"
// (with "-" or "+" when there is room), as many as the width allows.  Gw.d
// chooses the fixed form with d - s decimals and 4 (or e + 2) trailing
// blanks, or the exponent form, by the Fortran 2008 bounds computed in the
// item's precision; zero takes the fixed form; Gw.0 edits as kPEw.0.  G0
// writes 17 significant digits for a double and 9 for a float without
// blanks ("1.0000000000000000", "0.50000000000000000", with 1p
// "1.0000000000000001E-5").  Moves to the right (X, TR) that nothing follows
// leave no blanks at the end of a record.
//
// The readers accept Fortran number texts ("1.5D3", "10.", ".5", "1.5-3") and
// split list-directed records (blanks and at most one comma separate values,
// "/" ends the record, "r*value" repeats).

#include <cstddef>
#include <initializer_list>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "foundations/fixed_text.h"

namespace fortran_io {

// One output item.  Texts are copied, so a Value never dangles.
class Value {
public:
    enum class Kind { Integer, Real, Real4, Logical, Text };

    Value(int v) : kind_(Kind::Integer), int_(v) {}
    Value(long v) : kind_(Kind::Integer), int_(v) {}
    Value(long long v) : kind_(Kind::Integer), int_(v) {}
    Value(unsigned v) : kind_(Kind::Integer), int_(v) {}
    Value(unsigned long v) : kind_(Kind::Integer), int_(static_cast<long long>(v)) {}
    Value(unsigned long long v) : kind_(Kind::Integer), int_(static_cast<long long>(v)) {}
    Value(double v) : kind_(Kind::Real), real_(v) {}
    Value(float v) : kind_(Kind::Real4), real_(v) {}
    Value(bool v) : kind_(Kind::Logical), bool_(v) {}
    Value(char v) : kind_(Kind::Text), text_(1, v) {}   // a one-character text, not a number
    Value(const char* v) : kind_(Kind::Text), text_(v ? v : "") {}
    Value(const std::string& v) : kind_(Kind::Text), text_(v) {}
    Value(std::string_view v) : kind_(Kind::Text), text_(v) {}
    Value(const kalvor::FixedText& v) : kind_(Kind::Text), text_(v.str()) {}

    Kind kind() const { return kind_; }
    long long integer() const { return int_; }
    double real() const { return real_; }   // a Real4 item holds its float value exactly
    bool logical() const { return bool_; }
    const std::string& text() const { return text_; }

private:
    Kind kind_;
    long long int_ = 0;
    double real_ = 0.0;
    bool bool_ = false;
    std::string text_;
};

// A format text that cannot be parsed, or an item that does not fit its
// descriptor (a number under A, a text under F, ...).  what() explains.
class FormatError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Formats the items and returns the records joined by '\n' (no newline at
// the end).  Throws FormatError on a bad format, an item that its descriptor
// cannot write (a number under A, a text under F, ...), a scale factor out
// of range for E editing, or items left over for a format without data
// descriptors.  The outer parentheses of the format are optional.
std::string write(std::string_view format, std::initializer_list<Value> items);
std::string write(std::string_view format, std::span<const Value> items);

// Formats an array of doubles (e.g. one row of a matrix) through format.
std::string write_reals(std::string_view format, std::span<const double> values);

// List-directed ("free-format") output of one record, as the Fortran run
// time writes it: every item after one blank (a text right after a text
// without it); integers in 11 columns, doubles as 1PG25.17E3, floats as
// 1PG16.9E2, logicals as T or F.
std::string write_list(std::initializer_list<Value> items);
std::string write_list(std::span<const Value> items);

// A sequential output file kept in memory.  Every write starts a new record,
// unless the previous one ended with "$" (or a backslash): then it continues
// that record.  Completed records end with '\n'.
class Unit {
public:
    // Throws FormatError like fortran_io::write; the text is then unchanged.
    void write(std::string_view format, std::initializer_list<Value> items);
    void write(std::string_view format, std::span<const Value> items);

    // Everything written so far, an open record last (without '\n').
    const std::string& text() const { return text_; }
    // True while the last write left its record open.
    bool pending() const { return pending_; }
    // Ends an open record, as closing the file does.
    void end_record();
    // Removes and returns the completed records; an open record stays.
    std::string take();

private:
    std::string text_;
    bool pending_ = false;
};

// ---- reading ----
//
// Every reader ignores blanks around the text and a trailing CR.  Infinity
// and NaN texts are rejected, and so is a number too large for the type:
// a data value must be a finite number.  A number too small for the type
// reads as a zero of its sign.

// A Fortran real number: optional sign, digits with an optional point (at
// least one digit), an optional exponent written E, D or Q (either case)
// with an optional sign, or as a signed number alone ("1.5-3").  Accepts
// "1.5D3", "10.", ".5", "+1.5+3"; rejects "", ".", "1e", "e5", "1.5 2".
// The result is the double nearest to the exact decimal value.  On false the
// value is untouched.
bool read_real(std::string_view text, double& value);

// Single-precision variant: the text is converted once, to the nearest float.
bool read_real(std::string_view text, float& value);

// A real read under a format of one F, E, D, ES, EN or G descriptor such as
// "(g30.23)" or "(F10.3)", as a formatted READ does: only the first w
// characters count (a shorter text is blank-padded), blanks in the field are
// ignored, an all-blank field reads 0, and a number written without a point
// gets d implied decimals ("12345" under F10.3 is 12.345; under g30.23 it is
// 12345e-23).  A kP in force divides a number without exponent by 10^k.
// Unlike the Fortran run time, a field without any digit ("-", ".") is
// rejected.  Throws FormatError when format has no such descriptor.
bool read_real_formatted(std::string_view text, std::string_view format, double& value);

// A Fortran integer: optional sign and decimal digits; false when out of range.
bool read_int(std::string_view text, int& value);
bool read_int(std::string_view text, long long& value);

// An integer read under "(Iw)": the first w characters, blanks ignored, an
// all-blank field reads 0.  Throws FormatError when format has no I descriptor.
bool read_int_formatted(std::string_view text, std::string_view format, int& value);

// A Fortran logical: an optional point, then T or F (either case) decides;
// the rest of the word is ignored (".TRUE.", "t", "False", ".f").
bool read_logical(std::string_view text, bool& value);

// Splits one list-directed record into its value texts.  Separators are
// blanks (or TABs) and at most one comma: a comma with blanks around it
// counts once, two commas in a row (or a comma first) give a null value,
// stored as an empty text; a comma at the end adds nothing.  A "/" ends the
// values (*ended_by_slash tells).  "r*value" stands for r copies, "r*" alone
// for r null values.  Quoted texts ('..' or "..", a doubled quote standing
// for one) are returned without their quotes.  A trailing CR is dropped.
// At most max_items values are taken; the rest of the record is not looked
// at.  Returns false on a malformed record (unclosed quote, text glued to a
// closing quote, repeat count 0, a repeat count above the number of values
// still wanted); items then holds what was read before it.
// Every value taken is a copy, so the limit bounds what a short record can
// cost: "4096*" and a long value ask for 4096 copies of it, no more. (A
// line of the program's files holds at most a few hundred values.)
inline constexpr std::size_t list_item_limit = 4096;
bool read_list(std::string_view record, std::vector<std::string>& items, bool* ended_by_slash = nullptr,
               std::size_t max_items = list_item_limit);

// List-directed READ of values.size() values from one record: values are
// converted in order by read_real / read_int / read_logical; a null value
// leaves its element as it was; values beyond values.size() are ignored (a
// repeat count reaching beyond them makes the record malformed).
// False when a value does not convert (the elements before it are set) or
// when the record holds fewer values, unless a "/" ended them early (then the
// rest keep their values, as in Fortran).
bool read_list_reals(std::string_view record, std::span<double> values);
bool read_list_ints(std::string_view record, std::span<int> values);
bool read_list_logicals(std::string_view record, std::span<bool> values);

}  // namespace fortran_io
