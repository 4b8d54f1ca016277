#include "foundations/fixed_text.h"

#include <gtest/gtest.h>

using kalvor::FixedText;
using kalvor::Text;

TEST(FixedText, AssignmentCutsOrPadsToDeclaredLength) {
    FixedText t(5, "ab");
    EXPECT_EQ(t.str(), "ab   ");
    t = "abcdefg";
    EXPECT_EQ(t.str(), "abcde");
    EXPECT_EQ(t.length(), 5u);
    Text<3> u = "xyzw";
    EXPECT_EQ(u.str(), "xyz");
}

TEST(FixedText, TrimmedLengthIgnoresOnlyTrailingBlanks) {
    FixedText t(8, " a b");
    EXPECT_EQ(t.len_trim(), 4u);
    EXPECT_EQ(t.trimmed(), " a b");
    EXPECT_TRUE(FixedText(4).blank());
    EXPECT_EQ(FixedText(0).len_trim(), 0u);
}

TEST(FixedText, EqualityPadsTheShorterSide) {
    FixedText t(6, "END");
    EXPECT_TRUE(t == "END");
    EXPECT_TRUE(t == "END      ");
    EXPECT_FALSE(t == "EN");
    EXPECT_TRUE(t == FixedText(3, "END"));
    EXPECT_EQ(t(1), 'E');
}
