#include "foundations/prec.h"

#include <gtest/gtest.h>

#include <limits>

TEST(Prec, SpacingOfDoubleAtOne) {
    EXPECT_EQ(prec_mod::prec(0), 2.220446049250313e-16);
    EXPECT_EQ(prec_mod::prec(0), std::numeric_limits<double>::epsilon());
    EXPECT_EQ(prec_mod::prec(2), 2.220446049250313e-16);
    EXPECT_EQ(prec_mod::prec(-1), 2.220446049250313e-16);
    EXPECT_EQ(prec_mod::prec(1), 4503599627370496.0);
}
