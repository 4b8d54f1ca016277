#pragma once
// Conversion between numbers and fixed-length texts, words and lines.
//
// The second half of the string library: the same conventions as
// stringlib.h (texts edited in place through a std::string& whose size is
// the declared length, 1-based positions). Numbers are formatted and read
// Fortran-style through fortran_io.

#include <istream>
#include <span>
#include <string>
#include <string_view>

namespace stringlib {

// ---- numbers to text ----------------------------------------------------------

// s = i (resp. x) written with the edit descriptor fmt ("I4", "F10.3",
// "ES12.3", "G16.8", ...; no parentheses), left-adjusted and blank-filled.
// A result that does not fit in s fills s with "*". A malformed descriptor
// throws fortran_io::FormatError.
void write_di(int i, std::string& s, std::string_view fmt);
void write_dr(double x, std::string& s, std::string_view fmt);
// i (resp. x) written with the complete format text fmt ("(I4)") into a
// 30-character text, not adjusted; "*" fill when it does not fit.
std::string stringi(int i, std::string_view fmt);
std::string stringr(float x, std::string_view fmt);

// The magnitude of i as exactly q = min(nd, t) digits, zero-filled on the
// left, "-" in front when i < 0, the rest of s blank; t is the trimmed length
// of s on entry (L when all blank). When that does not fit (more digits than
// q, or no room for the sign) the field is filled with "*". Throws
// std::length_error when more than 30 digits are asked for.
void intstr(int i, std::string& s, int nd);
// s = the integer part of x, ".", and nd (0..9) truncated fraction digits.
void real2strng(double x, std::string& s, int nd);
// Shortest readable form of x from its G15.7 text: "2.5", "1.", "0.1E-4".
std::string real2str(double x);

// Characters needed to print i (sign included).
int i4_length(int i);
// "0".."9" give 0..9, a blank 0, anything else -1; the result is also d.
int ch_to_digit(char c, int& d);
// 0..9 give "0".."9", any other value "*".
void dig_to_chr(int d, char& c);

// Blank trailing zeros, keeping one after a final point ("12.000" -> "12.0").
void s_trim_zeros(std::string& s);
// The same for the mantissa of a number with an exponent ("1.500E+03" -> "1.5E+03").
void s_trim_zero(std::string& s);
// Blank leading zeros, then keep only characters with code 33 and above.
void s_trim_prezeros(std::string& s);

// ---- text to numbers ----------------------------------------------------------

// Integer at the front of s: blanks, optional sign, blanks, digits; 0 when
// there is none. Values beyond the 32-bit range saturate.
void s_to_i(std::string_view s, int& ival);
// Fortran real of s made of "1234567890+-.eE" (D and d are first changed to
// e in s itself); 0 for an empty, all-blank or non-numeric text.
double str2real(std::string& s);
// Nearest integer (halves away from zero) of str2real(s), saturated.
int str2int(std::string& s);
// As str2real; ierr = 0 on success, 1 for an empty, blank or non-numeric text.
void valsub(std::string& s, double& x, int& ierr);
// One single-precision number from the front of s; used = characters
// consumed. On failure ierror = the final state (1 nothing, 2 bare sign,
// 6 exponent letter, 7 exponent sign), r = 0, and a report goes to stdout.
void s_to_r4(std::string_view s, float& r, int& ierror, int& used);
// m numbers read one after the other with s_to_r4 (at most rvec.size());
// ierror = -i when the i-th fails, reading stops there.
void s_to_r4vec(std::string_view s, int m, std::span<float> rvec, int& ierror);
// x from a list-directed read of s. ierr = 3 (x untouched) when s contains
// "E" or "e" but does not end with a digit; else 0 on success, -1 when s
// holds no value, 1 when the value is no number.
void write_str_dr(std::string_view s, double& x, int& ierr);
// i = nearest integer of write_str_dr(s); ierr = 15 (i untouched) when the
// value is beyond the 32-bit range.
void write_str_di(std::string_view s, int& i, int& ierr);

// ---- words ------------------------------------------------------------------------

// Number of maximal runs of non-blank characters in s.
void s_word_count(std::string_view s, int& count);
// w = the first blank-separated word of s, removed from s (rest left-adjusted).
void word_extract(std::string& s, std::string& w);
// w = the last blank-separated word of s.
void word_last_read(std::string_view s, std::string& w);
// Split s at the first character found in delims (the whole declared text,
// so trailing blanks make the blank a delimiter); "\" escapes the next
// character. before = the part in front, s = the rest, *sep = the delimiter.
void word_extract_delim(std::string& s, std::string_view delims, std::string& before, char* sep = nullptr);

// ---- lines ------------------------------------------------------------------------

// One record of in without its line end (a trailing CR is dropped too);
// false at end of input.
bool read_record(std::istream& in, std::string& record);
// The next line of in that is not blank and not a "!" comment, left-adjusted,
// with any "!" comment blanked, into the fixed text line. ios = 0 when a line
// was read, -1 at end of input, 1 on a read error.
void readline(std::istream& in, std::string& line, int& ios);

// ---- random digits ------------------------------------------------------------------

// Replace up to 120 occurrences of the marker c, first to last, by random
// decimal digits drawn from runtime::random_number().
void replacechr2crand(std::string& s, char c);

}  // namespace stringlib
