#include "foundations/besseli0.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

using besti0_mod::besti0;

TEST(BesselI0, SmallArgumentsFollowTheSeries) {
    EXPECT_EQ(besti0(0.0), 0.0);
    EXPECT_EQ(besti0(2.9e-7), 0.0);
    // The truncated series: exact for small x, 0.08% low at x = 4.
    EXPECT_NEAR(besti0(0.5), 0.0634833707413236, 1e-12);
    EXPECT_DOUBLE_EQ(besti0(2.0), 1.279583333333333);
    EXPECT_DOUBLE_EQ(besti0(4.0), 10.293333333333335);
    EXPECT_NEAR(besti0(4.0), 10.3019219521363, 0.01);
}

TEST(BesselI0, LargeArgumentsFollowTheAsymptoticExpansion) {
    EXPECT_NEAR(besti0(4.5), 16.4811718556093, 0.005);
    EXPECT_NEAR(besti0(10.0), 2814.71662846625, 0.003);
    EXPECT_NEAR(besti0(50.0) / 2.93255378384934e+20, 1.0, 1e-10);
}

TEST(BesselI0, EvenInX) {
    for (double x : {1e-3, 0.7, 3.9, 4.1, 25.0, 600.0}) EXPECT_EQ(besti0(-x), besti0(x)) << x;
}

TEST(BesselI0, BeyondXmaxReportsAndReturnsTheValueAtXmax) {
    testing::internal::CaptureStdout();
    const double v = besti0(800.0);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              " BesselI0 - Fatal error!\n"
              " |x| is greater than xmax.\n"
              "Xmax=       690.783  |x|=       800.000\n");
    EXPECT_DOUBLE_EQ(v, 1.0072108691791547e+300);
    EXPECT_TRUE(std::isnan(besti0(std::nan(""))));
}
