#include "model/globals.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <thread>
#include <vector>

namespace {

class GlobalsTest : public ::testing::Test {
protected:
    void SetUp() override { globals::reset_run_state(); }
    void TearDown() override { globals::reset_run_state(); }
};

TEST_F(GlobalsTest, StartValues) {
    EXPECT_EQ(globals::timemax, 50000.0);
    EXPECT_EQ(globals::fini.trimmed(), "Kalvor_UDF.ini");
    EXPECT_EQ(globals::fini.length(), 512u);
    EXPECT_EQ(globals::cwd.length(), 640u);
    EXPECT_EQ(globals::input_file_name.length(), 512u);
    EXPECT_EQ(globals::ctitle.length(), 224u);
    EXPECT_EQ(globals::sline3.size(), 62u);
    EXPECT_EQ(globals::sline3[0].length(), 220u);
    EXPECT_EQ(globals::sline1[61].length(), 170u);
    EXPECT_EQ(globals::iopt, 0);
    EXPECT_EQ(globals::bcancelrun.load(), 0);
    EXPECT_EQ(common_data::xnx.rows(), 1000u);
    EXPECT_EQ(common_data::xnx.cols(), 3u);
    EXPECT_EQ(common_data::cimat.rows(), 11u);
    EXPECT_EQ(common_data::pfinal.size(), 10u);
    EXPECT_EQ(common_data::yd.size(), 1000u);
    EXPECT_EQ(limits::clamp, 2251799813685248.0);
    EXPECT_EQ(limits::invalid, 4.440892098500626e-16);
}

TEST_F(GlobalsTest, ResetRestoresStartValues) {
    globals::timemax = 600000.0;
    globals::fini.assign("other.ini");
    globals::input_file_name.assign("/data/Run One.dat");
    globals::bnext = 1;
    globals::bcancelrun = 1;
    globals::cstring = std::string(5000, 'x');
    globals::sline5[3].assign("a line");
    common_data::nd = 12;
    common_data::yd[999] = 4.0;
    common_data::xnx(999, 2) = 1.0;
    common_data::pmask[9] = 1;
    common_udf::cudf.assign("P1*X1");
    nrtype::epsmachine = 1e-16;
    limits::clamp = 0.0;
    inout::io[3] = 12;

    globals::reset_run_state();

    EXPECT_EQ(globals::timemax, 50000.0);
    EXPECT_EQ(globals::fini.trimmed(), "Kalvor_UDF.ini");
    EXPECT_TRUE(globals::input_file_name.blank());
    EXPECT_EQ(globals::bnext, 0);
    EXPECT_EQ(globals::bcancelrun.load(), 0);
    EXPECT_TRUE(globals::cstring.empty());
    EXPECT_TRUE(globals::sline5[3].blank());
    EXPECT_EQ(common_data::nd, 0);
    EXPECT_EQ(common_data::yd[999], 0.0);
    EXPECT_EQ(common_data::xnx(999, 2), 0.0);
    EXPECT_EQ(common_data::pmask[9], 0);
    EXPECT_TRUE(common_udf::cudf.blank());
    EXPECT_EQ(nrtype::epsmachine, 0.0);
    EXPECT_EQ(limits::clamp, 2251799813685248.0);
    EXPECT_EQ(inout::io[3], 0);
}

TEST_F(GlobalsTest, LongWindowTextsAreNotCut) {
    globals::cstring = std::string(9000, 'a');
    globals::msge = std::string(4500, 'b');
    EXPECT_EQ(globals::cstring.size(), 9000u);
    EXPECT_EQ(globals::msge.size(), 4500u);
}

TEST_F(GlobalsTest, OptionLevelsZeroReadAsDefaults) {
    globals::iopt = 0;
    globals::iwt = 0;
    EXPECT_EQ(globals::effective_iopt(), 2);
    EXPECT_EQ(globals::effective_iwt(), 1);
    globals::iopt = -1;
    globals::iwt = 4;
    EXPECT_EQ(globals::effective_iopt(), -1);
    EXPECT_EQ(globals::effective_iwt(), 4);
}

TEST_F(GlobalsTest, ChildTableResetPutsOwnerInLastEntry) {
    globals::reset_child_windows(7);
    for (int k = 1; k <= 255; ++k) EXPECT_EQ(globals::child_windows[k].load(), -1) << k;
    EXPECT_EQ(globals::child_windows[256].load(), 7);
}

TEST_F(GlobalsTest, WindowsTakeFirstFreeEntry) {
    globals::reset_child_windows(1);
    EXPECT_EQ(globals::register_child_window(10), 1);
    EXPECT_EQ(globals::register_child_window(11), 2);
    EXPECT_EQ(globals::register_child_window(12), 3);
    EXPECT_EQ(globals::unregister_child_window(11), 2);
    EXPECT_EQ(globals::child_windows[2].load(), -1);
    EXPECT_EQ(globals::register_child_window(13), 2);
    EXPECT_EQ(globals::unregister_child_window(99), 0);
}

TEST_F(GlobalsTest, FullTableLeavesWindowUnregistered) {
    globals::reset_child_windows(0);
    for (int id = 100; id < 355; ++id) ASSERT_GT(globals::register_child_window(id), 0);
    EXPECT_EQ(globals::register_child_window(999), 0);
    EXPECT_EQ(globals::child_windows[256].load(), 0);
    for (int k = 1; k <= 255; ++k) EXPECT_NE(globals::child_windows[k].load(), 999);
}

TEST_F(GlobalsTest, CloseChildrenClosesListedWindowsOnly) {
    globals::reset_child_windows(5);
    globals::register_child_window(20);
    globals::register_child_window(0);
    globals::register_child_window(21);
    globals::unregister_child_window(0);
    std::vector<int> closed;
    globals::close_child_windows([&](int id) { closed.push_back(id); });
    EXPECT_EQ(closed, (std::vector<int>{20, 21}));
    for (int k = 1; k <= 255; ++k) EXPECT_EQ(globals::child_windows[k].load(), -1);
    EXPECT_EQ(globals::child_windows[256].load(), 5);
}

TEST_F(GlobalsTest, ConcurrentRegistrationsGetDistinctEntries) {
    globals::reset_child_windows(0);
    std::vector<std::thread> threads;
    std::vector<int> entries(8);
    for (int t = 0; t < 8; ++t)
        threads.emplace_back([t, &entries] { entries[t] = globals::register_child_window(100 + t); });
    for (auto& thread : threads) thread.join();
    std::sort(entries.begin(), entries.end());
    EXPECT_EQ(entries, (std::vector<int>{1, 2, 3, 4, 5, 6, 7, 8}));
}

TEST_F(GlobalsTest, WindowIdsResetToClosed) {
    globals::reset_window_ids();
    EXPECT_EQ(globals::idresultswindow.load(), -1);
    EXPECT_EQ(globals::idresidualwindow.load(), -1);
    EXPECT_EQ(globals::idlblwindow.load(), -1);
}

TEST_F(GlobalsTest, CancelFlagSetOnAnotherThreadIsSeen) {
    std::thread callback([] { globals::bcancelrun = 1; });
    callback.join();
    EXPECT_EQ(globals::bcancelrun.load(), 1);
}

}  // namespace
