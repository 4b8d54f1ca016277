#include "foundations/stringconv.h"

#include <gtest/gtest.h>

#include <bit>
#include <climits>
#include <cmath>
#include <cstdint>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "foundations/fixed_text.h"
#include "foundations/runtime.h"

using namespace stringlib;

namespace {

std::string fixed(std::string_view value, std::size_t n) { return kalvor::FixedText(n, value).str(); }
std::string blank(std::size_t n) { return std::string(n, ' '); }

std::uint32_t bits(float x) { return std::bit_cast<std::uint32_t>(x); }

// Results of the routines that edit or fill a text, for one-line checks.
std::string written(void (*write)(double, std::string&, std::string_view), double x, std::size_t n,
                    std::string_view fmt) {
    std::string s = blank(n);
    write(x, s, fmt);
    return s;
}
std::string di(int i, std::size_t n, std::string_view fmt) {
    std::string s = blank(n);
    write_di(i, s, fmt);
    return s;
}
std::string digits(int i, std::string s, int nd) {
    intstr(i, s, nd);
    return s;
}
std::string fraction(double x, std::string s, int nd) {
    real2strng(x, s, nd);
    return s;
}
std::string edited(void (*edit)(std::string&), std::string s) {
    edit(s);
    return s;
}
int to_i(std::string_view s) {
    int v = 5;
    s_to_i(s, v);
    return v;
}
double to_real(std::string s) { return str2real(s); }
int to_int(std::string s) { return str2int(s); }

struct R4 {
    float r;
    int ierror;
    int used;
};
R4 r4(std::string_view s) {
    R4 result{9.0f, 0, 0};
    s_to_r4(s, result.r, result.ierror, result.used);
    return result;
}

}  // namespace

// ---- numbers to text -----------------------------------------------------------

TEST(StringWrite, WriteDiAndDrLeftAdjust) {
    EXPECT_EQ(di(42, 10, "I4"), fixed("42", 10));
    EXPECT_EQ(di(7, 3, "I3"), "7  ");
    EXPECT_EQ(di(-7, 3, "I3 "), "-7 ");
    EXPECT_EQ(written(write_dr, 0.5, 10, "F10.3"), fixed("0.500", 10));
    EXPECT_EQ(written(write_dr, 1.5, 16, "G16.8"), fixed("1.5000000", 16));
    EXPECT_EQ(written(write_dr, 0.0, 16, "G16.8"), fixed("0.0000000", 16));
    EXPECT_EQ(written(write_dr, 1e-5, 16, "G16.8"), fixed("0.10000000E-04", 16));
    EXPECT_EQ(written(write_dr, 1234.5678, 16, "ES12.3"), fixed("1.235E+03", 16));
    EXPECT_EQ(written(write_dr, -12345.67891, 16, "F15.4"), fixed("-12345.6789", 16));
}

TEST(StringWrite, FieldWiderThanTextFillsItWithAsterisks) {
    EXPECT_EQ(di(1000, 3, "I3"), "***");  // the number does not fit its field
    EXPECT_EQ(di(42, 3, "I5"), "***");    // the field does not fit the text
    EXPECT_EQ(written(write_dr, 3.14159265, 5, "F10.5"), "*****");
    EXPECT_EQ(written(write_dr, 1.0, 5, "'ab'/'cd',F3.1"), "*****");  // nor a second record
}

TEST(StringWrite, StringiAndStringrWriteThirtyCharactersUnadjusted) {
    EXPECT_EQ(stringi(5, "(I1)"), fixed("5", 30));
    EXPECT_EQ(stringi(12, fixed("(I4)", 30)), fixed("  12", 30));
    EXPECT_EQ(stringi(12345, "(I4)"), fixed("****", 30));
    EXPECT_EQ(stringi(1, "(I40)"), std::string(30, '*'));
    EXPECT_EQ(stringr(2.5f, "(F6.2)"), fixed("  2.50", 30));
    EXPECT_EQ(stringr(3.25f, "(F10.4)"), fixed("    3.2500", 30));
    EXPECT_EQ(stringr(0.1f, "(ES12.4)"), fixed("  1.0000E-01", 30));
}

TEST(StringWrite, IntstrZeroFillsToTheRequestedDigits) {
    EXPECT_EQ(digits(42, blank(5), 4), "0042 ");
    EXPECT_EQ(digits(-42, blank(6), 4), "-0042 ");
    EXPECT_EQ(digits(7, fixed("ab", 8), 5), fixed("07", 8));  // width limited by the trimmed text
    EXPECT_EQ(digits(INT_MIN, blank(12), 10), fixed("-2147483648", 12));
    EXPECT_EQ(digits(0, blank(4), 0), blank(4));
    EXPECT_EQ(digits(1, blank(20), 31), std::string(19, '0') + "1");  // limited to 20 by the text
}

TEST(StringWrite, IntstrOverflowAndTooManyDigits) {
    EXPECT_EQ(digits(12345, blank(8), 3), fixed("***", 8));  // more digits than asked for
    EXPECT_EQ(digits(-5, blank(3), 3), "***");                // no room for the sign
    std::string s = blank(40);
    EXPECT_THROW(intstr(1, s, 31), std::length_error);
}

TEST(StringWrite, Real2strngTruncatesTheFraction) {
    EXPECT_EQ(fraction(2.5, blank(10), 2), fixed("2.50", 10));
    EXPECT_EQ(fraction(0.25, blank(10), 2), fixed("0.25", 10));
    EXPECT_EQ(fraction(3.0, blank(10), 0), fixed("3.", 10));
    EXPECT_EQ(fraction(-12.375, fixed("garbage", 12), 2), fixed("-12.37", 12));
    EXPECT_EQ(fraction(0.5, blank(20), 12), fixed("0.500000000", 20));  // at most 9 decimals
    EXPECT_EQ(fraction(123456.5, blank(12), 1), fixed("123456.5", 12));
}

TEST(StringWrite, Real2strngKeepsTheSignBelowOneAndRejectsHugeValues) {
    EXPECT_EQ(fraction(-0.5, blank(10), 3), fixed("-0.500", 10));
    EXPECT_EQ(fraction(1e10, blank(10), 2), std::string(10, '*'));
    EXPECT_EQ(fraction(std::nan(""), blank(10), 2), std::string(10, '*'));
}

TEST(StringWrite, Real2strShortensTheG157Text) {
    EXPECT_EQ(real2str(0.0), fixed("0.", 30));
    EXPECT_EQ(real2str(2.5), fixed("2.5", 30));
    EXPECT_EQ(real2str(1.0), fixed("1.", 30));
    EXPECT_EQ(real2str(0.5), fixed("0.5", 30));
    EXPECT_EQ(real2str(0.00001), fixed("0.1E-4", 30));
    EXPECT_EQ(real2str(1e10), fixed("0.1E11", 30));
    EXPECT_EQ(real2str(-0.5), fixed("-0.5", 30));
    EXPECT_EQ(real2str(123456.75), fixed("123456.8", 30));
    EXPECT_EQ(real2str(1234567.5), fixed("1234568.", 30));
    EXPECT_EQ(real2str(-3.25e-12), fixed("-0.325E-11", 30));
    EXPECT_EQ(real2str(100000.0), fixed("100000.", 30));
    EXPECT_EQ(real2str(1e100), fixed("0.1+101", 30));
    EXPECT_EQ(real2str(std::nan("")), fixed("NaN", 30));  // no point appended
}

TEST(StringWrite, DigitHelpers) {
    EXPECT_EQ(i4_length(0), 1);
    EXPECT_EQ(i4_length(7), 1);
    EXPECT_EQ(i4_length(-7), 2);
    EXPECT_EQ(i4_length(12345), 5);
    EXPECT_EQ(i4_length(INT_MAX), 10);
    EXPECT_EQ(i4_length(INT_MIN), 11);
    int d = 99;
    EXPECT_EQ(ch_to_digit('7', d), 7);
    EXPECT_EQ(d, 7);
    EXPECT_EQ(ch_to_digit(' ', d), 0);
    EXPECT_EQ(ch_to_digit('a', d), -1);
    EXPECT_EQ(d, -1);
    char c = '?';
    dig_to_chr(3, c);
    EXPECT_EQ(c, '3');
    dig_to_chr(10, c);
    EXPECT_EQ(c, '*');
    dig_to_chr(-1, c);
    EXPECT_EQ(c, '*');
}

TEST(StringWrite, TrimZeros) {
    EXPECT_EQ(edited(s_trim_zeros, "1401.072500"), "1401.0725  ");
    EXPECT_EQ(edited(s_trim_zeros, "12.000"), "12.0  ");
    EXPECT_EQ(edited(s_trim_zeros, "0000"), "    ");
    EXPECT_EQ(edited(s_trim_zeros, "120."), "120.");  // no room for the zero

    EXPECT_EQ(edited(s_trim_zero, "1.500E+03"), "1.5E+03  ");
    EXPECT_EQ(edited(s_trim_zero, fixed("2.E5", 6)), "2.0E5 ");
    EXPECT_EQ(edited(s_trim_zero, "2.E5"), "2.E5");  // no room: the exponent is kept whole
    EXPECT_EQ(edited(s_trim_zero, fixed("000E3", 6)), fixed("000E3", 6));
    EXPECT_EQ(edited(s_trim_zero, fixed("1.500e-3", 9)), fixed("1.5e-3", 9));
    EXPECT_EQ(edited(s_trim_zero, fixed("2.50", 5)), fixed("2.5", 5));

    EXPECT_EQ(edited(s_trim_prezeros, "0012.50"), "12.50  ");
    EXPECT_EQ(edited(s_trim_prezeros, "0.5"), ".5 ");
    EXPECT_EQ(edited(s_trim_prezeros, "000"), "   ");
    EXPECT_EQ(edited(s_trim_prezeros, " 0 1 "), "01   ");
}

// ---- text to numbers ------------------------------------------------------------

TEST(StringRead, SToIReadsSignedDigits) {
    EXPECT_EQ(to_i("  -  42x"), -42);
    EXPECT_EQ(to_i("+7"), 7);
    EXPECT_EQ(to_i("-"), 0);
    EXPECT_EQ(to_i("x1"), 0);
    EXPECT_EQ(to_i("   "), 0);
    EXPECT_EQ(to_i(""), 0);
    EXPECT_EQ(to_i("12 3"), 12);
    EXPECT_EQ(to_i("-2147483648"), INT_MIN);
    EXPECT_EQ(to_i("99999999999"), INT_MAX);  // saturates instead of overflowing
    EXPECT_EQ(to_i("-99999999999"), INT_MIN);
}

TEST(StringRead, Str2realAcceptsOnlyNumberCharacters) {
    EXPECT_EQ(to_real(" 1.5"), 0.0);
    std::string s = "1.5D3";
    EXPECT_EQ(str2real(s), 1500.0);
    EXPECT_EQ(s, "1.5e3");
    EXPECT_EQ(to_real("12"), 12.0);
    EXPECT_EQ(to_real(fixed("2e3", 6)), 2000.0);
    EXPECT_EQ(to_real("1.5-3"), 1.5e-3);
    EXPECT_EQ(to_real("-.25E-1"), -0.025);
    EXPECT_EQ(to_real(""), 0.0);
    EXPECT_EQ(to_real("   "), 0.0);
    EXPECT_EQ(to_real("1,5"), 0.0);
}

TEST(StringRead, Str2realGivesZeroForAcceptedCharactersThatAreNoNumber) {
    for (const char* text : {"+-1", "e", "1.5d", ".", "-", "1e5e", "1.2.3", "12-3"}) {
        std::string s = text;
        EXPECT_EQ(str2real(s), 0.0) << text;
        double x = 7.0;
        int ierr = 0;
        s = text;
        valsub(s, x, ierr);
        EXPECT_EQ(ierr, 1) << text;
        EXPECT_EQ(x, 0.0) << text;
    }
}

TEST(StringRead, Str2realConvertsLongAndFullTextsWhole) {
    std::string s = "12345";  // no free position for the appended point
    EXPECT_EQ(str2real(s), 12345.0);
    EXPECT_EQ(s, "12345");
    EXPECT_DOUBLE_EQ(to_real("1234567890123456789012345678901234.5"), 1234567890123456789012345678901234.5);
    EXPECT_DOUBLE_EQ(to_real("0.000000000000000000000000000000000000015"), 1.5e-38);
    EXPECT_DOUBLE_EQ(to_real("31415926535897932384626433832795028841e-37"), 3.1415926535897932);
}

TEST(StringRead, Str2intAndValsub) {
    EXPECT_EQ(to_int("2.5"), 3);
    EXPECT_EQ(to_int("-2.5"), -3);
    EXPECT_EQ(to_int("7"), 7);
    EXPECT_EQ(to_int("1e20"), INT_MAX);
    EXPECT_EQ(to_int("abc"), 0);

    double x = 9.0;
    int ierr = 0;
    std::string s;
    valsub(s, x, ierr);
    EXPECT_EQ(ierr, 1);
    EXPECT_EQ(x, 0.0);
    s = "    ";
    valsub(s, x, ierr);
    EXPECT_EQ(ierr, 1);
    s = "1.5D3";
    valsub(s, x, ierr);
    EXPECT_EQ(ierr, 0);
    EXPECT_EQ(x, 1500.0);
    EXPECT_EQ(s, "1.5e3");
    s = "1234567890123456789012345678901234";
    valsub(s, x, ierr);
    EXPECT_EQ(ierr, 0);
    EXPECT_DOUBLE_EQ(x, 1234567890123456789012345678901234.0);
}

TEST(StringRead, SToR4StateMachine) {
    EXPECT_EQ(r4("2.5, 7").r, 2.5f);
    EXPECT_EQ(r4("2.5, 7").used, 4);    // the comma counts as used
    EXPECT_EQ(r4("1.5 2.5").used, 4);   // the blank after the number is used, the 2 is not
    EXPECT_EQ(r4("1.5/").used, 3);
    EXPECT_EQ(r4("  ,3").r, 3.0f);      // a leading comma is skipped
    EXPECT_EQ(r4("  ,3").used, 4);
    EXPECT_EQ(r4(".5").r, 0.5f);
    EXPECT_EQ(r4("5.").r, 5.0f);
    EXPECT_EQ(r4("- 4").r, -4.0f);      // blanks after the sign
    EXPECT_EQ(r4("1.5e").ierror, 6);
    EXPECT_EQ(r4("1.5e").r, 0.0f);
    EXPECT_EQ(r4("1.5e+").ierror, 7);
    EXPECT_EQ(r4("1e 5").ierror, 6);
    EXPECT_EQ(r4("-").ierror, 2);
    EXPECT_EQ(r4("-,").ierror, 2);
    EXPECT_EQ(r4("     ").ierror, 1);
    EXPECT_EQ(r4("x").ierror, 1);
    EXPECT_EQ(r4("x").used, 0);
}

TEST(StringRead, SToR4SinglePrecisionGoldenValues) {
    // Bit patterns of the same single-precision expressions in gfortran.
    EXPECT_EQ(bits(r4("-2.5E-2").r), 0xBCCCCCCDu);
    EXPECT_EQ(bits(r4("1.5d3").r), 0x44BB8000u);
    EXPECT_EQ(bits(r4("3.14159").r), 0x40490FD0u);
    EXPECT_EQ(bits(r4("7").r), 0x40E00000u);
    EXPECT_FLOAT_EQ(r4("1e2.5").r, std::bit_cast<float>(0x439E1D27u));  // real exponent 25/10
    EXPECT_EQ(r4("1e2.5").used, 5);
}

TEST(StringRead, SToR4LongExponentsAndFractionsCannotOverflow) {
    const R4 huge = r4("1e99999999999999999999");
    EXPECT_EQ(huge.ierror, 0);
    EXPECT_TRUE(std::isinf(huge.r) && huge.r > 0.0f);
    EXPECT_EQ(r4("-1e-99999999999999999999").r, 0.0f);
    EXPECT_EQ(r4("0e50").r, 0.0f);  // zero, not 0 x inf
    EXPECT_FLOAT_EQ(r4("1e1.00000000000000000000000001").r, 10.0f);
    EXPECT_NEAR(r4("0.1234567890123456789012345678901234567890123").r, 0.12345679f, 1e-6f);
    EXPECT_NEAR(r4("12.34567890123456789012345678901234567890123").r, 12.345679f, 1e-5f);
}

TEST(StringRead, SToR4VecReadsOneAfterTheOther) {
    std::vector<float> v(2, -1.0f);
    int ierror = 9;
    s_to_r4vec("2.5, 7", 2, v, ierror);
    EXPECT_EQ(ierror, 0);
    EXPECT_EQ(v, (std::vector<float>{2.5f, 7.0f}));
    v.assign(4, -1.0f);
    s_to_r4vec("1 2 x 4", 4, v, ierror);
    EXPECT_EQ(ierror, -3);
    EXPECT_EQ(v, (std::vector<float>{1.0f, 2.0f, 0.0f, -1.0f}));
    s_to_r4vec("1", 0, v, ierror);
    EXPECT_EQ(ierror, 0);
    v.assign(2, -1.0f);
    s_to_r4vec("1 2", 3, v, ierror);  // never beyond the array
    EXPECT_EQ(ierror, 0);
    EXPECT_EQ(v, (std::vector<float>{1.0f, 2.0f}));
}

TEST(StringRead, WriteStrDrAndDi) {
    struct Real {
        double x = 4.0;
        int ierr = 99;
    };
    auto dr = [](std::string_view s) { Real r; write_str_dr(s, r.x, r.ierr); return r; };
    EXPECT_EQ(dr("1.5e").ierr, 3);
    EXPECT_EQ(dr("1.5e").x, 4.0);  // left alone
    EXPECT_EQ(dr("NEXT").ierr, 3);
    EXPECT_EQ(dr("  3.5  4").ierr, 0);
    EXPECT_EQ(dr("  3.5  4").x, 3.5);
    EXPECT_EQ(dr("1.5D3").x, 1500.0);
    EXPECT_EQ(dr("    ").ierr, -1);
    EXPECT_EQ(dr("    ").x, 4.0);
    EXPECT_EQ(dr("abc").ierr, 1);
    EXPECT_EQ(dr(",5").ierr, 0);  // a null value leaves x alone
    EXPECT_EQ(dr(",5").x, 4.0);

    struct Int {
        int i = 11;
        int ierr = 99;
    };
    auto di = [](std::string_view s) { Int r; write_str_di(s, r.i, r.ierr); return r; };
    EXPECT_EQ(di("42").i, 42);
    EXPECT_EQ(di("42").ierr, 0);
    EXPECT_EQ(di("2.5").i, 3);
    EXPECT_EQ(di("-2.5").i, -3);
    EXPECT_EQ(di("2147483647").i, INT_MAX);
    EXPECT_EQ(di("3e9").ierr, 15);
    EXPECT_EQ(di("3e9").i, 11);   // left alone
    EXPECT_EQ(di("abc").ierr, 1);
    EXPECT_EQ(di("abc").i, 0);    // the value read (0) is taken whatever the status
}

// ---- words and lines -----------------------------------------------------------------

TEST(StringWords, CountExtractAndLastWord) {
    int count = 0;
    s_word_count("  ab c\td  e ", count);
    EXPECT_EQ(count, 3);
    s_word_count("    ", count);
    EXPECT_EQ(count, 0);

    std::string s = fixed("  first second  third", 24);
    std::string w = fixed("old", 4);
    word_extract(s, w);
    EXPECT_EQ(w, "firs");
    EXPECT_EQ(s, fixed("second  third", 24));
    s = blank(5);
    word_extract(s, w);
    EXPECT_EQ(w, blank(4));
    EXPECT_EQ(s, blank(5));

    std::string last(2, '?');
    word_last_read("a bb ccc  ", last);
    EXPECT_EQ(last, "cc");
    std::string wide(6, '?');
    word_last_read("abc", wide);
    EXPECT_EQ(wide, "abc   ");
    word_last_read("   ", wide);
    EXPECT_EQ(wide, blank(6));
}

TEST(StringWords, WordExtractDelimSplitsAtTheFirstDelimiter) {
    std::string s = fixed("a\\,b,c", 10);
    std::string before(8, '?');
    char sep = '?';
    word_extract_delim(s, ",", before, &sep);
    EXPECT_EQ(before, fixed("a\\,b", 8));
    EXPECT_EQ(s, fixed("c", 10));
    EXPECT_EQ(sep, ',');

    s = fixed("x1  y2 z", 10);
    word_extract_delim(s, " ", before, &sep);
    EXPECT_EQ(before, fixed("x1", 8));
    EXPECT_EQ(s, fixed("y2 z", 10));
    EXPECT_EQ(sep, ' ');

    s = fixed("a , b", 10);
    word_extract_delim(s, " ,", before, &sep);
    EXPECT_EQ(before, fixed("a", 8));
    EXPECT_EQ(s, fixed("b", 10));
    EXPECT_EQ(sep, ',');

    s = fixed("a\t\tb", 6);  // TAB runs are compacted to one blank first
    word_extract_delim(s, " ", before);
    EXPECT_EQ(before, fixed("a", 8));
    EXPECT_EQ(s, fixed("b", 6));
}

TEST(StringWords, WordExtractDelimWithoutOrWithFinalDelimiter) {
    std::string s = fixed("abc", 6);
    std::string before(4, '?');
    char sep = '?';
    word_extract_delim(s, ",", before, &sep);
    EXPECT_EQ(before, fixed("abc", 4));
    EXPECT_EQ(s, blank(6));
    EXPECT_EQ(sep, '?');
    s = fixed("abc,", 6);
    word_extract_delim(s, ",", before, &sep);
    EXPECT_EQ(s, blank(6));
    EXPECT_EQ(sep, ',');
    s = blank(6);  // nothing to split: before and sep untouched
    before = "keep";
    sep = '?';
    word_extract_delim(s, ",", before, &sep);
    EXPECT_EQ(before, "keep");
    EXPECT_EQ(sep, '?');
}

TEST(StringLines, ReadRecordDropsTrailingCarriageReturn) {
    std::istringstream in("a\r\nb\n\r\nlast");
    std::string record;
    ASSERT_TRUE(read_record(in, record));
    EXPECT_EQ(record, "a");
    ASSERT_TRUE(read_record(in, record));
    EXPECT_EQ(record, "b");
    ASSERT_TRUE(read_record(in, record));
    EXPECT_EQ(record, "");
    ASSERT_TRUE(read_record(in, record));
    EXPECT_EQ(record, "last");
    EXPECT_FALSE(read_record(in, record));
}

TEST(StringLines, ReadlineSkipsBlankAndCommentLines) {
    std::istringstream in("\n   \r\n! comment\n  ! also a comment\r\nx = 1 ! comment\r\n  y\r\nlast");
    std::string line = blank(20);
    int ios = 99;
    readline(in, line, ios);
    EXPECT_EQ(ios, 0);
    EXPECT_EQ(line, fixed("x = 1", 20));
    readline(in, line, ios);
    EXPECT_EQ(line, fixed("y", 20));  // left-adjusted, no CR left behind
    readline(in, line, ios);
    EXPECT_EQ(ios, 0);
    EXPECT_EQ(line, fixed("last", 20));
    readline(in, line, ios);
    EXPECT_EQ(ios, -1);

    std::istringstream longer("0123456789abc\n");
    std::string narrow = blank(10);
    readline(longer, narrow, ios);
    EXPECT_EQ(narrow, "0123456789");
}

// ---- random digits ---------------------------------------------------------------------

class StringRandomDigits : public ::testing::Test {
protected:
    void TearDown() override { runtime::reset_hooks(); }
    void draw(std::vector<double> values) {
        runtime::Hooks hooks;
        hooks.random_number = [values, k = std::size_t{0}]() mutable { return values[k++ % values.size()]; };
        runtime::set_hooks(hooks);
    }
};

TEST_F(StringRandomDigits, MarkersBecomeDigitsFromTheUniformGenerator) {
    draw({0.0, 0.99, 0.5, 0.25});  // |r - 0.5| * 19 -> 9, 9, 0, 4
    std::string s = "a#b#c#d#";
    replacechr2crand(s, '#');
    EXPECT_EQ(s, "a9b9c0d4");
}

TEST_F(StringRandomDigits, AtMost120ReplacementsOverTheWholeText) {
    draw({0.5});
    std::string s(130, '#');
    replacechr2crand(s, '#');
    EXPECT_EQ(s, std::string(120, '0') + std::string(10, '#'));
    std::string longer = std::string(550, 'x') + "#" + std::string(49, 'y');
    replacechr2crand(longer, '#');
    EXPECT_EQ(longer, std::string(550, 'x') + "0" + std::string(49, 'y'));
}
