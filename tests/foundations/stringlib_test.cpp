#include "foundations/stringlib.h"

#include <gtest/gtest.h>

#include <string>

#include "foundations/fixed_text.h"

using namespace stringlib;

namespace {

// A fixed text of declared length n holding value, blank-padded.
std::string fixed(std::string_view value, std::size_t n) { return kalvor::FixedText(n, value).str(); }

// s after the in-place edit.
std::string edited(void (*edit)(std::string&), std::string s) {
    edit(s);
    return s;
}

}  // namespace

TEST(StringLengths, TrimmedLengthAndNlengthDifferOnlyForBlankTexts) {
    EXPECT_EQ(s_len_trim(" a b  "), 4);
    EXPECT_EQ(s_len_trim("      "), 0);
    EXPECT_EQ(s_len_trim(""), 0);
    EXPECT_EQ(s_len_trim("a\t"), 2);  // a TAB is not a blank
    EXPECT_EQ(nlength("      "), 6);
    EXPECT_EQ(nlength("ab  "), 2);
    EXPECT_EQ(nlength(""), 0);
    EXPECT_EQ(lenstr("xy "), 2);
    EXPECT_EQ(s_trim_len("xy "), 2);
    EXPECT_EQ(length("   "), 3);
}

TEST(StringAdjust, LeftAdjustSkipsBlanksAndTabsOnly) {
    EXPECT_EQ(edited(s_adjustl, fixed(" \t \t", 6)), "      ");
    EXPECT_EQ(edited(s_adjustl, fixed("\t\tx", 5)), "x    ");
    EXPECT_EQ(edited(s_left, fixed("  a\tb", 7)), "a\tb    ");
    EXPECT_EQ(edited(s_adjustr, fixed("  ab c", 8)), "    ab c");
}

TEST(StringAdjust, ControlAndWhitespaceBlankingStopsAtTrimmedLength) {
    EXPECT_EQ(edited(s_control_blank, "a\x01\tb\x7f\r"), "a  b  ");
    EXPECT_EQ(edited(s_whitespace_blank, "a\tb\nc\x0b\x0c\rd\x01"), "a b c   d\x01");
    EXPECT_EQ(edited(s_tab_blank, "\ta\t"), " a ");
}

TEST(StringDelete, BlankDeletionVariants) {
    EXPECT_EQ(edited(s_blank_delete, fixed(" a\tb c ", 9)), fixed("abc", 9));
    EXPECT_EQ(edited(s_del_blank, fixed(" x y", 6)), fixed("xy", 6));
    EXPECT_EQ(edited(s_blanks_delete, "  a   b  "), "a b      ");
    EXPECT_EQ(edited(s_blanks_delete, "\ta \t b\t"), "a b    ");
}

TEST(StringDelete, CompactAndRemovesp) {
    EXPECT_EQ(edited(compact, fixed("  a \t\x01 b\x02" "c\x80  d", 20)), fixed("a bc\x80 d", 20));
    EXPECT_EQ(edited(compact, fixed("\x01 a", 6)), fixed("a", 6));
    EXPECT_EQ(edited(removesp, fixed(" a b\tc\x05" "d ", 12)), fixed("abcd", 12));
}

TEST(StringDelete, BracketsBracesAndReplacement) {
    EXPECT_EQ(edited(s_del_abrackets, fixed("<a>b<c>", 9)), fixed("abc", 9));
    EXPECT_EQ(edited(s_del_braces, fixed("{x}+{y}", 8)), fixed("x+y", 8));
    std::string s = fixed("a.b.c", 7);
    s_replace_ch(s, '.', ',');
    EXPECT_EQ(s, fixed("a,b,c", 7));
    s = "a b  ";  // blanks past the trimmed length are not replaced
    s_replace_ch1(s, ' ', '_');
    EXPECT_EQ(s, "a_b  ");
}

TEST(StringDelete, DelsubstrMatchesTrailingBlanksButDeletesTrimmedLength) {
    const std::string pattern = fixed("ab", 6);  // 'ab' and four blanks
    std::string s = fixed("xab1ab    z", 12);
    delsubstr(s, pattern);
    EXPECT_EQ(s, fixed("xab1    z", 12));
    s = fixed("abab", 5);  // no 'ab' followed by four blanks inside s
    delsubstr(s, pattern);
    EXPECT_EQ(s, fixed("abab", 5));
    s = "MODEL #3";
    delsubstr(s, "model");  // case significant
    EXPECT_EQ(s, "MODEL #3");
    delsubstr(s, "MODEL");
    EXPECT_EQ(s, " #3     ");
}

TEST(StringDelete, DelallRepeatsUntilGoneAndIgnoresBlankPattern) {
    std::string s = fixed("aXXbXXXc", 10);
    delall(s, "XX");
    EXPECT_EQ(s, fixed("abXc", 10));
    s = fixed("aabb", 6);  // deleting "ab" exposes another "ab"
    delall(s, "ab");
    EXPECT_EQ(s, fixed("", 6));
    // A blank pattern occurs in every padded text: the text stays as it was.
    s = fixed("a b", 6);
    delall(s, "  ");
    EXPECT_EQ(s, fixed("a b", 6));
    delall(s, "");
    EXPECT_EQ(s, fixed("a b", 6));
}

TEST(StringInsert, InsertLosesWhatPassesTheEnd) {
    std::string s = fixed("abcd", 5);
    insertstr(s, "xy", 2);
    EXPECT_EQ(s, "axybc");
    s = fixed("abc", 5);
    insertstr(s, fixed("0", 4), 1);  // only the trimmed pattern goes in
    EXPECT_EQ(s, "0abc ");
    s = "abc";
    insertstr(s, "wxyz", 2);
    EXPECT_EQ(s, "awx");
}

TEST(StringInsert, InsertClampsPositionsOutsideTheText) {
    std::string s = "abcd";
    insertstr(s, "x", 0);
    EXPECT_EQ(s, "xabc");
    s = "abcd";
    insertstr(s, "x", -7);
    EXPECT_EQ(s, "xabc");
    s = "abcd";
    insertstr(s, "xy", 99);
    EXPECT_EQ(s, "abcx");
    std::string empty;
    insertstr(empty, "x", 1);
    EXPECT_EQ(empty, "");
}

TEST(StringInsert, ShiftFillsWithBlanks) {
    std::string s = "abcde";
    shiftstr(s, -2);
    EXPECT_EQ(s, "cde  ");
    s = "abcde";
    shiftstr(s, 2);
    EXPECT_EQ(s, "  abc");
    s = "abcde";
    shiftstr(s, 0);
    EXPECT_EQ(s, "abcde");
    shiftstr(s, 5);
    EXPECT_EQ(s, "     ");
    s = "abcde";
    shiftstr(s, -9);
    EXPECT_EQ(s, "     ");
}

TEST(StringCase, CharacterAndTextCase) {
    EXPECT_EQ(ch_cap('q'), 'Q');
    EXPECT_EQ(ch_capf('Q'), 'Q');
    EXPECT_EQ(ch_cap('{'), '{');
    EXPECT_EQ(ch_cap('`'), '`');
    char c = 'z';
    ch_caps(c);
    EXPECT_EQ(c, 'Z');
    EXPECT_TRUE(ch_eqi('a', 'A'));
    EXPECT_FALSE(ch_eqi('[', '{'));  // codes 91 and 123 differ by 32 but are no letters

    std::string upper(512, ' ');
    s_cap_string(fixed("model y = p1*x1", 512), upper);
    EXPECT_EQ(upper, fixed("MODEL Y = P1*X1", 512));
    std::string same = "ab1c";
    s_cap_string(same, same);
    EXPECT_EQ(same, "AB1C");
}

TEST(StringCase, QuotedStretchesKeepTheirCase) {
    EXPECT_EQ(uppercase("a'b'c"), "A'b'C");
    EXPECT_EQ(uppercase(fixed("x\"a'b\"y", 10)), "X\"a'b\"Y");
    EXPECT_EQ(uppercase("p1 'open"), "P1 'open");
    EXPECT_EQ(lowercase("AB\"CD\"EF  "), "ab\"CD\"ef");
    EXPECT_EQ(uppercase("    "), "");
}

TEST(StringCompare, EqiFoldsCaseAndIgnoresTrailingBlanks) {
    EXPECT_TRUE(s_eqi("Model", "MODEL   "));
    EXPECT_FALSE(s_eqi("Model", "MODELS"));
    EXPECT_FALSE(s_eqi("a b", "ab "));
    EXPECT_TRUE(s_eqi("", "   "));
    EXPECT_TRUE(s_case_eqi("End  ", "End"));
    EXPECT_FALSE(s_case_eqi("End", "END"));
}

TEST(StringSearch, IndexiFoldsCaseIndexLastDoesNot) {
    EXPECT_EQ(s_indexi("MY MODEL", "model"), 4);
    EXPECT_EQ(s_indexi("MY MODEL  ", fixed("model", 9)), 4);
    EXPECT_EQ(s_indexi("MODE", "MODEL"), 0);
    EXPECT_EQ(s_indexi("abc", "x"), 0);
    EXPECT_EQ(s_case_indexi("MY MODEL", "model"), 0);
    EXPECT_EQ(s_case_indexi("my model model", "model"), 4);
    EXPECT_EQ(s_index_last("ABA", "A"), 3);
    EXPECT_EQ(s_index_last("ABA", "a"), 0);
    EXPECT_EQ(s_index_last("xEND END  ", "END"), 6);
}

TEST(StringSearch, BlankPatternsCountByDeclaredLength) {
    EXPECT_EQ(s_indexi("ab  cd", "  "), 3);
    EXPECT_EQ(s_indexi("ab cd", "  "), 0);
    EXPECT_EQ(s_index_last("a  b  c", "  "), 5);
    EXPECT_EQ(s_indexi("     ", "  "), 1);  // an all-blank text counts by its length too
}

TEST(StringSearch, CharacterIndexes) {
    EXPECT_EQ(s_chr_index("a=b=c", '='), 2);
    EXPECT_EQ(s_chr_index("abc", '='), -1);
    EXPECT_EQ(s_chr_index("    ", ' '), -1);
    EXPECT_EQ(s_chr_index("", 'a'), -1);
    EXPECT_EQ(s_chr_index("a b ", ' '), 2);
    EXPECT_EQ(ch_index("a=b", '='), 2);
    EXPECT_EQ(ch_index("abc", '='), 0);
    EXPECT_EQ(ch_index("   ", ' '), 0);
}

TEST(StringSearch, RightTakesTheCharactersBeforeTheLastNonBlank) {
    std::string t(6, '?');
    right("abcdef  ", 3, t);
    EXPECT_EQ(t, "def   ");
    std::string narrow(2, '?');
    right("abcdef", 4, narrow);
    EXPECT_EQ(narrow, "cd");
    // A width beyond the text is clamped to the whole text.
    right("abc  ", 10, t);
    EXPECT_EQ(t, "abc   ");
    right("abc", 0, t);
    EXPECT_EQ(t, "      ");
    right("    ", 2, t);
    EXPECT_EQ(t, "      ");
}

TEST(StringClasses, CharacterClasses) {
    EXPECT_TRUE(ch_is_control('\x1f'));
    EXPECT_TRUE(ch_is_control('\x7f'));
    EXPECT_TRUE(ch_is_control('\xe9'));
    EXPECT_FALSE(ch_is_control('~'));
    EXPECT_FALSE(ch_is_control(' '));
    EXPECT_TRUE(ch_is_space('\t'));
    EXPECT_TRUE(ch_is_space('\r'));
    EXPECT_FALSE(ch_is_space('\x0e'));
    EXPECT_TRUE(ch_is_digit('0'));
    EXPECT_FALSE(ch_is_digit('a'));
}

TEST(StringParentheses, ParenCheckRejectsEmptyAndAdjacentPairs) {
    EXPECT_FALSE(s_paren_check("(a)(b)"));
    EXPECT_FALSE(s_paren_check("f()"));
    EXPECT_FALSE(s_paren_check("f( \t)"));  // blanks and TABs are removed first
    EXPECT_TRUE(s_paren_check("(a+(b))"));
    EXPECT_TRUE(s_paren_check("   "));
    EXPECT_FALSE(s_paren_check(")a("));
    EXPECT_FALSE(s_paren_check("((a)"));
    EXPECT_TRUE(s_paren_check("p1*(x1+p2)"));
    // The whole text counts, however long.
    EXPECT_FALSE(s_paren_check(std::string(600, 'x') + "(a"));
}

TEST(StringParentheses, ParenthesesCheckCountsOnly) {
    EXPECT_TRUE(parenthesescheck(")("));
    EXPECT_TRUE(parenthesescheck("    "));
    EXPECT_FALSE(parenthesescheck("(()"));
}
