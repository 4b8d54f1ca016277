#pragma once
// Editing, case conversion and searching of fixed-length texts.
//
// A text is edited in place through a std::string& whose size() is its
// declared length L (see kalvor::FixedText::str()); no routine ever resizes
// it. Texts that are only read are taken as std::string_view, whose size is
// likewise the declared length. Positions are 1-based values, 0 meaning
// "not found". The trimmed length is the position of the last character
// other than a blank (code 32); a TAB counts as an ordinary character unless
// a routine says otherwise. Routines that delete close the gap and blank the
// freed positions; routines that insert lose what passes position L.
// Case conversion touches only a-z and A-Z. No routine keeps state.

#include <string>
#include <string_view>

namespace stringlib {

// ---- small helpers shared with the conversion routines -------------------

// Put value into the fixed text s: cut at its length or blank-padded.
void set_text(std::string& s, std::string_view value);
// Move leading blanks (code 32 only) to the end of s.
void left_adjust(std::string& s);

// ---- lengths ---------------------------------------------------------------

// Position of the last non-blank, 0 when s is all blank or empty.
int s_len_trim(std::string_view s);
int s_trim_len(std::string_view s);
int lenstr(std::string_view s);
// Position of the last non-blank, but L (not 0) when s is all blank.
int nlength(std::string_view s);
int length(std::string_view s);

// ---- adjusting and blanking ------------------------------------------------

// Remove leading blanks and TABs (TABs after the first other character stay).
void s_adjustl(std::string& s);
void s_left(std::string& s);
// Move the trimmed text to the right end of s.
void s_adjustr(std::string& s);
// Characters with code below 32 or above 126 in 1..n become blanks.
void s_control_blank(std::string& s);
// TAB, LF, VT, FF and CR in 1..n become blanks.
void s_whitespace_blank(std::string& s);
// Every TAB in 1..L becomes a blank.
void s_tab_blank(std::string& s);

// ---- deleting and replacing ------------------------------------------------

// Delete every blank and TAB in 1..n, packing the rest to the front.
void s_blank_delete(std::string& s);
void s_del_blank(std::string& s);
// Drop leading blanks and squeeze every run of blanks/TABs to one blank.
void s_blanks_delete(std::string& s);
// Left-adjust, squeeze runs of blanks/TABs to one blank, drop control codes.
void compact(std::string& s);
// Keep only characters with code 33 and above, left-adjusted.
void removesp(std::string& s);
// Delete every "<" and ">" (resp. "{" and "}") in 1..n.
void s_del_abrackets(std::string& s);
void s_del_braces(std::string& s);
// Every c1 in 1..n becomes c2.
void s_replace_ch(std::string& s, char c1, char c2);
void s_replace_ch1(std::string& s, char c1, char c2);
// Delete the trimmed length of sub at the first place where sub occurs over
// its whole declared length (trailing blanks included, case significant).
void delsubstr(std::string& s, std::string_view sub);
// Repeat delsubstr until sub no longer occurs; an all-blank sub changes nothing.
void delall(std::string& s, std::string_view sub);

// ---- inserting and shifting ------------------------------------------------

// Insert the trimmed sub at position ipos (clamped to 1..L), pushing the rest
// right; characters pushed past L are lost.
void insertstr(std::string& s, std::string_view sub, int ipos);
// Shift by m positions with blank fill: m < 0 left, m > 0 right.
void shiftstr(std::string& s, int m);

// ---- case --------------------------------------------------------------------

// s2 = s with a-z changed to A-Z (cut or blank-padded at the length of s2).
void s_cap_string(std::string_view s, std::string& s2);
// Copy of s(1..n) changed to upper (lower) case outside quoted stretches
// ("..." or '...').
std::string uppercase(std::string_view s);
std::string lowercase(std::string_view s);
char ch_cap(char c);
char ch_capf(char c);
void ch_caps(char& c);
bool ch_eqi(char c1, char c2);

// ---- comparing and searching -----------------------------------------------

// Equal ignoring case (s_eqi) or exactly (s_case_eqi), the shorter text
// blank-extended.
bool s_eqi(std::string_view s1, std::string_view s2);
bool s_case_eqi(std::string_view s1, std::string_view s2);
// First position of sub in s ignoring case (s_indexi) or exactly
// (s_case_indexi); the trimmed sub is the window, an all-blank sub or s
// counts by its declared length. 0 when not found.
int s_indexi(std::string_view s, std::string_view sub);
int s_case_indexi(std::string_view s, std::string_view sub);
// Last position of sub in s, case significant; 0 when not found.
int s_index_last(std::string_view s, std::string_view sub);
// First position of c in 1..n; -1 when not found, s empty or all blank.
int s_chr_index(std::string_view s, char c);
// First position of c in 1..n; 0 when not found or s all blank.
int ch_index(std::string_view s, char c);
// t = the w characters of s ending at its last non-blank (from position 1
// when w exceeds that), left-justified and blank-filled in t.
void right(std::string_view s, int w, std::string& t);

// ---- character classes -------------------------------------------------------

bool ch_is_control(char c);  // code below 32 or above 126
bool ch_is_space(char c);    // blank or codes 9..13
bool ch_is_digit(char c);    // "0".."9"

// ---- parentheses -----------------------------------------------------------

// Balanced, never closing before opening, and neither ")(" nor "()" once
// blanks and TABs are removed; true when nothing else is left.
bool s_paren_check(std::string_view s);
// As many "(" as ")" in 1..n, in any order.
bool parenthesescheck(std::string_view s);

}  // namespace stringlib
