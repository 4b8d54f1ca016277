// The program's entry: the GUI on the main thread, the logic on its own.

#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>
#include <thread>

#include "platform/appgraphics.h"
#include "platform/testdriver.h"

namespace ag = appgraphics;

namespace {

int run(std::function<int()> logic) {
    static char name[] = "kalvor_application_test";
    static char* argv[] = {name, nullptr};
    return ag::run_application(1, argv, std::move(logic));
}

}  // namespace

TEST(PlatformApplication, LogicRunsOnItsOwnThreadAndItsResultIsTheExitCode) {
    const auto main_thread = std::this_thread::get_id();
    std::atomic<bool> other_thread{false}, clicked{false};
    int window = -1;
    const int code = run([&] {
        other_thread = std::this_thread::get_id() != main_thread;
        window = ag::initwindow(200, 100, "Application");
        ag::createbutton(10, 10, 60, 20, "Go", [&] {
            clicked = true;
            ag::stopidle();
        });
        // The GUI thread handles the click while this thread waits in loop.
        EXPECT_TRUE(testdriver::click_button(window, "Go"));
        ag::loop();
        return 42;
    });
    EXPECT_EQ(code, 42);
    EXPECT_TRUE(other_thread);
    EXPECT_TRUE(clicked);
    EXPECT_FALSE(ag::iswindowopen(window));  // every window closes when the logic ends
    EXPECT_EQ(ag::initwindow(10, 10, "After"), -1);
    EXPECT_EQ(ag::graphresult(), ag::grNoInitGraph);
}

TEST(PlatformApplication, AnEscapingExceptionGivesExitCodeOne) {
    EXPECT_EQ(run([]() -> int {
        ag::initwindow(100, 100, "Failing");
        throw std::runtime_error("WRITE DATA ERROR!");
    }), 1);
}
