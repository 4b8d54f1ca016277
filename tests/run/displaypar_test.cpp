// The parameter line of the run display.

#include "run/displaypar.h"

#include <gtest/gtest.h>

#include <vector>

#include "foundations/fixed_text.h"

namespace {

std::string line_for(const std::vector<double>& p, int n) {
    kalvor::Text<256> text("junk");
    sharc::displaypar(p, n, text);
    EXPECT_EQ(text.length(), 256u);
    return text.trimmed();
}

TEST(Displaypar, OneToThreeParameters) {
    EXPECT_EQ(line_for({1.5}, 1), "[ P1 = 1.5000000 ]");
    EXPECT_EQ(line_for({0.0, 1e-5}, 2), "[ P1 = 0.0000000 P2 = 0.10000000E-04 ]");
    EXPECT_EQ(line_for({1, 2, 3}, 3), "[ P1=1.0000000 P2=2.0000000 P3=3.0000000 ]");
}

TEST(Displaypar, FourToEightParameters) {
    EXPECT_EQ(line_for({1, 2, 3, -4}, 4), "[ P1=1.0000000, P2=2.0000000, P3=3.0000000, P4=-4.0000000 ]");
    EXPECT_EQ(line_for({1, 2, 3, 4, 5}, 5),
              "[ P1=1.0000000, P2=2.0000000, P3=3.0000000, P4=4.0000000,  P5=5.0000000 ]");
    EXPECT_EQ(line_for({1, 2, 3, 4, 5, 6, 7, 1234.5}, 8),
              "[ P1=1.0000000, P2=2.0000000, P3=3.0000000, P4=4.0000000,  P5=5.0000000, P6=6.0000000, "
              "P7=7.0000000, P8=1234.5000 ]");
}

TEST(Displaypar, NineOrMoreShowTheFirstOnly) {
    const std::vector<double> p(10, 2.0);
    EXPECT_EQ(line_for(p, 9), "( P(1) = 2.0000000 )");
    EXPECT_EQ(line_for(p, 10), "( P(1) = 2.0000000 )");
}

TEST(Displaypar, CutAtTheDeclaredLength) {
    kalvor::FixedText text(12);
    sharc::displaypar(std::vector<double>{1.5}, 1, text);
    EXPECT_EQ(text.str(), "[ P1 = 1.500");
    kalvor::Text<256> blank;
    sharc::displaypar(std::vector<double>{}, 0, blank);
    EXPECT_TRUE(blank.blank());
}

}  // namespace
