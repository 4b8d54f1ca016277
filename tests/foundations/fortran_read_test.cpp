// Expected values are the doubles nearest to the decimal texts (worked out
// with Python's float()); accepted forms follow what a Fortran READ accepts.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <string>
#include <vector>

#include "foundations/fortran_io.h"

namespace {

using fortran_io::read_real;
using fortran_io::read_real_formatted;

double real_of(const std::string& text)
{
    double v = -999.0;
    EXPECT_TRUE(read_real(text, v)) << "text: '" << text << "'";
    return v;
}

bool rejects(const std::string& text)
{
    double v = -999.0;
    return !read_real(text, v) && v == -999.0;
}

TEST(FortranRead, AcceptedRealForms)
{
    EXPECT_EQ(real_of("1.5D3"), 1500.0);
    EXPECT_EQ(real_of("1.5d3"), 1500.0);
    EXPECT_EQ(real_of("1.5E3"), 1500.0);
    EXPECT_EQ(real_of("1.5e+3"), 1500.0);
    EXPECT_EQ(real_of("1.5q3"), 1500.0);
    EXPECT_EQ(real_of("10."), 10.0);
    EXPECT_EQ(real_of(".5"), 0.5);
    EXPECT_EQ(real_of("1.e5"), 100000.0);
    EXPECT_EQ(real_of("1.5-3"), 0.0015);
    EXPECT_EQ(real_of("+1.5+3"), 1500.0);
    EXPECT_EQ(real_of("12"), 12.0);
    EXPECT_EQ(real_of("  -2.5  "), -2.5);
    EXPECT_EQ(real_of("-2.5\r"), -2.5);
    EXPECT_EQ(real_of("0.1"), 0.1);
    EXPECT_EQ(real_of("2.2250738585072014e-308"), 2.2250738585072014e-308);
    EXPECT_EQ(real_of("4.9406564584124654D-324"), 5e-324);
    EXPECT_EQ(real_of("123456789012345678901234567890"), 1.2345678901234568e29);
    // Ties between two doubles round to even on the exact decimal value.
    EXPECT_EQ(real_of("9007199254740993"), 9007199254740992.0);
    EXPECT_EQ(real_of("9007199254740995"), 9007199254740996.0);
    const double negative_zero = real_of("-0");
    EXPECT_EQ(negative_zero, 0.0);
    EXPECT_TRUE(std::signbit(negative_zero));
    EXPECT_EQ(real_of("1d-400"), 0.0);   // underflow reads as zero
}

TEST(FortranRead, RejectedRealForms)
{
    for (const char* junk : {"", "   ", ".", "+", "-", "1e", "1e+", "e5", "1.5D", "1.5.3", "1.5e3.", "1,5", "0x10",
                             "1.5 junk", "1.5junk", "1.5E 3", "-.e5", "inf", "-inf", "Infinity", "nan", "1d400", "--1",
                             "1.5/", "T"})
        EXPECT_TRUE(rejects(junk)) << "accepted '" << junk << "'";
}

TEST(FortranRead, SinglePrecisionConvertsOnce)
{
    float f = 0.0f;
    ASSERT_TRUE(read_real("0.1", f));
    EXPECT_EQ(f, 0.1f);
    // 1.00000005960464477539 lies exactly between two floats only after
    // rounding to double first; read directly it goes up.
    ASSERT_TRUE(read_real("1.000000059604644775390625001", f));
    EXPECT_EQ(f, 1.00000011920928955078125f);
    EXPECT_FALSE(read_real("1e39", f));
}

TEST(FortranRead, FormattedImpliedDecimals)
{
    double v = 0.0;
    auto formatted = [&](std::string_view text, std::string_view format) {
        v = -999.0;
        EXPECT_TRUE(read_real_formatted(text, format, v)) << text << " with " << format;
        return v;
    };
    // str2real right-justifies its text in 30 columns and reads (g30.23).
    EXPECT_EQ(formatted("                         12345", "(g30.23)"), 12345e-23);
    EXPECT_EQ(formatted("                           1.5", "(g30.23)"), 1.5);
    EXPECT_EQ(formatted("                         1.5e3", "(g30.23)"), 1500.0);
    EXPECT_EQ(formatted("                           1e2", "(g30.23)"), 1e-21);
    EXPECT_EQ(formatted("                         1.5-3", "(g30.23)"), 0.0015);
    EXPECT_EQ(formatted("                       1.5+300", "(g30.23)"), 1.5e300);
    EXPECT_EQ(formatted("123456789012345678901234567890", "(g30.23)"), 1234567.8901234567890);
    EXPECT_EQ(formatted("", "(g30.23)"), 0.0);   // an all-blank field is zero
    EXPECT_EQ(formatted("12345", "(F10.3)"), 12.345);
    EXPECT_EQ(formatted("-12345", "(F10.3)"), -12.345);
    EXPECT_EQ(formatted("1 5", "(F10.3)"), 0.015);   // blanks are ignored
    EXPECT_EQ(formatted("1.5E 3", "(F10.3)"), 1500.0);
    EXPECT_EQ(formatted("1e2", "(F10.3)"), 0.1);
    EXPECT_EQ(formatted("0.000000000000000000000012345", "(F10.3)"), 0.0);   // only 10 columns count
    EXPECT_EQ(formatted("  125", "(-1P,F5.1)"), 125.0);   // -1P: 12.5 times 10
    EXPECT_EQ(formatted("1.25", "(2P,E10.3)"), 0.0125);

    for (const char* junk : {"abc", "12e", "1.5.", "1,5", "-", ".", "e5"}) {
        v = -999.0;
        EXPECT_FALSE(read_real_formatted(junk, "(g30.23)", v)) << junk;
        EXPECT_EQ(v, -999.0);
    }
    EXPECT_THROW(read_real_formatted("1", "(I5)", v), fortran_io::FormatError);
    EXPECT_THROW(read_real_formatted("1", "(g30)", v), fortran_io::FormatError);
}

TEST(FortranRead, Integers)
{
    int i = -1;
    EXPECT_TRUE(fortran_io::read_int(" +42 ", i));
    EXPECT_EQ(i, 42);
    EXPECT_TRUE(fortran_io::read_int("-2147483648", i));
    EXPECT_EQ(i, -2147483647 - 1);
    i = 5;
    for (const char* junk : {"", "-", "1.5", "12a", "2147483648", "1 2", "1e3"})
        EXPECT_FALSE(fortran_io::read_int(junk, i)) << junk;
    EXPECT_EQ(i, 5);
    long long big = 0;
    EXPECT_TRUE(fortran_io::read_int("9223372036854775807", big));
    EXPECT_EQ(big, 9223372036854775807LL);
    EXPECT_FALSE(fortran_io::read_int("9223372036854775808", big));

    EXPECT_TRUE(fortran_io::read_int_formatted("  7x", "(I3)", i));   // only 3 columns count
    EXPECT_EQ(i, 7);
    EXPECT_TRUE(fortran_io::read_int_formatted("   ", "(I3)", i));
    EXPECT_EQ(i, 0);
    EXPECT_FALSE(fortran_io::read_int_formatted("1.5", "(I3)", i));
}

TEST(FortranRead, Logicals)
{
    bool b = false;
    for (const char* yes : {"T", "t", ".TRUE.", ".true.", " true", "Tx", ".t"}) {
        b = false;
        EXPECT_TRUE(fortran_io::read_logical(yes, b)) << yes;
        EXPECT_TRUE(b) << yes;
    }
    for (const char* no : {"F", "f", ".FALSE.", ".false.", ".Fal", "F5"}) {
        b = true;
        EXPECT_TRUE(fortran_io::read_logical(no, b)) << no;
        EXPECT_FALSE(b) << no;
    }
    for (const char* junk : {"", ".", "1", "0", "yes", "..T"})
        EXPECT_FALSE(fortran_io::read_logical(junk, b)) << junk;
}

TEST(FortranRead, ListSplitting)
{
    using V = std::vector<std::string>;
    V items;
    bool slash = true;
    auto split = [&](std::string_view record) {
        EXPECT_TRUE(fortran_io::read_list(record, items, &slash)) << record;
        return items;
    };
    EXPECT_EQ(split("1.5  2.5 3"), (V{"1.5", "2.5", "3"}));
    EXPECT_EQ(split("1 , 2 ,3"), (V{"1", "2", "3"}));
    EXPECT_EQ(split("1,,2"), (V{"1", "", "2"}));
    EXPECT_EQ(split("1, ,2"), (V{"1", "", "2"}));
    EXPECT_EQ(split(",1"), (V{"", "1"}));
    EXPECT_EQ(split("1,2,"), (V{"1", "2"}));
    EXPECT_FALSE(slash);
    EXPECT_EQ(split("1 2/3 4"), (V{"1", "2"}));
    EXPECT_TRUE(slash);
    EXPECT_EQ(split("1.5/"), (V{"1.5"}));
    EXPECT_EQ(split("3*1.5 2* 7"), (V{"1.5", "1.5", "1.5", "", "", "7"}));
    EXPECT_EQ(split("'a b','it''s' \"x/y\""), (V{"a b", "it's", "x/y"}));
    EXPECT_EQ(split("1\t2 3\r"), (V{"1", "2", "3"}));   // TAB separates, CR is dropped
    EXPECT_EQ(split("T .false. f .TRUE."), (V{"T", ".false.", "f", ".TRUE."}));
    EXPECT_EQ(split("   "), V{});

    EXPECT_FALSE(fortran_io::read_list("1 'abc", items));
    EXPECT_FALSE(fortran_io::read_list("'abc'x", items));
    EXPECT_FALSE(fortran_io::read_list("0*5", items));
}

TEST(FortranRead, TypedListReads)
{
    std::array<double, 3> a{-9.0, -9.0, -9.0};
    EXPECT_TRUE(fortran_io::read_list_reals("1,,2.5D0", a));
    EXPECT_EQ(a, (std::array<double, 3>{1.0, -9.0, 2.5}));   // the null value keeps its element

    a = {-9.0, -9.0, -9.0};
    EXPECT_TRUE(fortran_io::read_list_reals("1 2/", a));
    EXPECT_EQ(a, (std::array<double, 3>{1.0, 2.0, -9.0}));   // a slash ends the read early

    a = {-9.0, -9.0, -9.0};
    EXPECT_FALSE(fortran_io::read_list_reals("1 2", a));      // too few values
    EXPECT_FALSE(fortran_io::read_list_reals("1 x 3", a));
    EXPECT_TRUE(fortran_io::read_list_reals("4 5 6 7 junk", a));   // values past the list are ignored
    EXPECT_EQ(a, (std::array<double, 3>{4.0, 5.0, 6.0}));

    double x = 0.0;
    EXPECT_TRUE(fortran_io::read_list_reals("  1.5e3, more", {&x, 1}));
    EXPECT_EQ(x, 1500.0);

    std::array<int, 2> n{0, 0};
    EXPECT_TRUE(fortran_io::read_list_ints("12 -3\r", n));
    EXPECT_EQ(n, (std::array<int, 2>{12, -3}));
    EXPECT_FALSE(fortran_io::read_list_ints("12 3.5", n));

    bool masks[4] = {false, false, false, false};
    EXPECT_TRUE(fortran_io::read_list_logicals("T .false. f .TRUE.", masks));
    EXPECT_TRUE(masks[0]);
    EXPECT_FALSE(masks[1]);
    EXPECT_FALSE(masks[2]);
    EXPECT_TRUE(masks[3]);
    EXPECT_FALSE(fortran_io::read_list_logicals("T 1 F T", masks));
}

TEST(FortranRead, ListReadsTakeOnlyTheValuesWanted)
{
    using V = std::vector<std::string>;
    V items;
    // Splitting stops at the limit: the malformed tail is never looked at.
    EXPECT_TRUE(fortran_io::read_list("1 2 3 'open", items, nullptr, 2));
    EXPECT_EQ(items, (V{"1", "2"}));
    // A repeat count may fill what is left, no more.
    EXPECT_TRUE(fortran_io::read_list("1 2*5", items, nullptr, 3));
    EXPECT_EQ(items, (V{"1", "5", "5"}));
    EXPECT_FALSE(fortran_io::read_list("1 3*5", items, nullptr, 3));
    EXPECT_EQ(items, (V{"1"}));
    // Without a limit a record cannot ask for more than list_item_limit
    // values, however long the repeated value.
    EXPECT_FALSE(fortran_io::read_list("4095*1 2*2", items));
    EXPECT_TRUE(fortran_io::read_list("4095*1 1*2 3", items));
    EXPECT_EQ(items.size(), fortran_io::list_item_limit);
    EXPECT_EQ(items.back(), "2");
    EXPECT_FALSE(fortran_io::read_list("999999*" + std::string(1000, 'x'), items));
    EXPECT_TRUE(items.empty());

    std::array<double, 2> a{0.0, 0.0};
    EXPECT_TRUE(fortran_io::read_list_reals("2*7.5", a));
    EXPECT_EQ(a, (std::array<double, 2>{7.5, 7.5}));
    EXPECT_FALSE(fortran_io::read_list_reals("1000000*1 1000000*1", a));
}

TEST(FortranRead, WrittenNumbersReadBack)
{
    // Every G0 text reads back to the same double (17 significant digits).
    for (const double v : {0.1, -1.0 / 3.0, 6.02214076e23, 5e-324, 1.7976931348623157e308, 1e-5, 2.5}) {
        double back = 0.0;
        ASSERT_TRUE(read_real(fortran_io::write("(G0)", {v}), back)) << v;
        EXPECT_EQ(back, v);
        ASSERT_TRUE(read_real(fortran_io::write("(1P,E25.16E3)", {v}), back)) << v;
        EXPECT_EQ(back, v);
    }
}

}  // namespace
