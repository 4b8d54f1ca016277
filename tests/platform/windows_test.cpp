// Windows, their idle waits, callbacks on their own threads, closing and
// enabling, driven by the test driver while the logic runs on its own thread.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

#include "foundations/runtime.h"
#include "platform/appgraphics.h"
#include "platform/testdriver.h"

namespace ag = appgraphics;
namespace td = testdriver;

TEST(PlatformIdleWait, AStopidleWithNobodyWaitingIsKeptForTheNextLoop) {
    td::Session session;
    std::atomic<bool> woken_before_timeout{false}, timed_out_without_flag{false};
    session.start([&] {
        ag::initwindow(100, 100, "Pending");
        ag::stopidle();
        // startidle sees the flag but leaves it for loop.
        woken_before_timeout = ag::startidle(60000);
        ag::loop();  // consumes the flag: returns at once
        timed_out_without_flag = !ag::startidle(0);
        return 3;
    });
    ASSERT_TRUE(session.wait_finished());
    EXPECT_EQ(session.exit_code(), 3);
    EXPECT_TRUE(woken_before_timeout);
    EXPECT_TRUE(timed_out_without_flag);
}

TEST(PlatformIdleWait, ANewWindowStartsWithoutAFlagAndEachWindowHasItsOwn) {
    td::Session session;
    std::atomic<int> stage{0};
    session.start([&] {
        const int first = ag::initwindow(100, 100, "First");
        ag::stopidle();  // for First only
        ag::initwindow(100, 100, "Second");
        ag::createbutton(10, 10, 60, 20, "Go", [] { ag::stopidle(); });
        stage = 1;
        ag::loop();  // waits for Go, the flag of First does not count
        stage = 2;
        ag::setcurrentwindow(first);
        ag::loop();  // First's flag is still there
        stage = 3;
        return 0;
    });
    ASSERT_TRUE(td::wait_idle());
    EXPECT_EQ(stage, 1);
    ASSERT_TRUE(td::click_button(td::find_window("Second"), "Go"));
    ASSERT_TRUE(session.wait_finished());
    EXPECT_EQ(stage, 3);
}

TEST(PlatformIdleWait, ClosingAWindowEndsTheWaitOnIt) {
    td::Session session;
    std::atomic<bool> timed{false};
    session.start([&] {
        ag::initwindow(100, 100, "Waiting");
        ag::loop();
        ag::line(0, 0, 10, 10);  // no-ops on the closed window
        ag::stopidle();
        ag::loop();  // returns at once: the window is closed
        timed = ag::startidle(600000);
        return 5;
    });
    ASSERT_TRUE(td::wait_idle());
    ag::closewindow(td::find_window("Waiting"));
    ASSERT_TRUE(session.wait_finished());
    EXPECT_EQ(session.exit_code(), 5);
    EXPECT_TRUE(timed);
}

// A window that shows for a time (a splash) counts as waiting: a test can
// look at it while the time runs, and closing it ends the wait.
TEST(PlatformIdleWait, AStartidleWhoseTimeRunsCountsAsIdle) {
    td::Session session;
    // Far beyond any test, and beyond the clock's range in nanoseconds; the
    // session restores the scale.
    runtime::set_time_scale(1e9);
    std::atomic<bool> woken{false};
    session.start([&] {
        ag::initwindow(200, 50, "Shown for a while");
        ag::outtextxy(10, 10, "Welcome");
        woken = ag::startidle(600000);
        return 0;
    });
    ASSERT_TRUE(td::wait_idle(10));
    const int id = td::find_window("Shown for a while");
    ASSERT_GE(id, 0);
    EXPECT_EQ(td::text_log(id).size(), 1u);
    EXPECT_FALSE(session.finished());
    ag::closewindow(id);
    ASSERT_TRUE(session.wait_finished());
    EXPECT_TRUE(woken);
}

TEST(PlatformIdleWait, CloseAllClosesEveryWindowAndEndsEveryWait) {
    td::Session session;
    std::atomic<int> ended{0};
    session.start([&] {
        const int main_window = ag::initwindow(100, 100, "Main");
        ag::createbutton(0, 0, 50, 20, "Child", [&] {
            ag::initwindow(80, 80, "Child");  // waits on its own thread
            ag::loop();
            ++ended;
        });
        ag::createbutton(0, 30, 50, 20, "All", [] { ag::closewindow(ag::ALL_WINDOWS); });
        ag::setcurrentwindow(main_window);
        ag::loop();
        ++ended;
        return 0;
    });
    ASSERT_TRUE(td::wait_idle());
    const int main_window = td::find_window("Main");
    ASSERT_TRUE(td::click_button(main_window, "Child"));
    ASSERT_GE(td::wait_window("Child"), 0);
    ASSERT_TRUE(td::wait_idle());
    EXPECT_EQ(td::windows().size(), 2u);
    ASSERT_TRUE(td::click_button(main_window, "All"));
    ASSERT_TRUE(session.wait_finished());
    ASSERT_TRUE(td::wait_idle());
    EXPECT_EQ(ended, 2);
    EXPECT_TRUE(td::windows().empty());
}

// The shape of the option dialogs: a callback opens a window with a radio
// group, waits in loop, reads the choice and closes the window, while the
// main window keeps answering.
TEST(PlatformCallbacks, ACallbackWaitsInItsOwnWindowWhileTheMainWindowStaysResponsive) {
    td::Session session;
    std::atomic<int> counted{0};
    std::atomic<int> chosen{0};
    std::atomic<int> signalling{-2};
    std::atomic<int> radio_b{-1};
    session.start([&] {
        const int main_window = ag::initwindow(300, 100, "Main");
        ag::createbutton(10, 10, 80, 20, "Options", [&] {
            signalling = ag::getsignallingwindow();
            const int dialog = ag::initwindow(200, 150, "Options");
            ag::beginradiogroup();
            const int a = ag::createradiobutton_nohandler(90, 30, 95, 20, "Easy   ");
            const int b = ag::createradiobutton_nohandler(90, 50, 95, 20, "Difficult");
            ag::beginradiogroup();
            ag::radiobuttonsetchecked(a);
            ag::createbutton(95, 100, 50, 20, "Close", [] { ag::stopidle(); });
            ag::loop();
            chosen = ag::radiobuttonischecked(a) ? 1 : ag::radiobuttonischecked(b) ? 2 : 0;
            ag::closewindow(dialog);
            radio_b = b;
        });
        ag::createbutton(100, 10, 80, 20, "Count", [&] { ++counted; });
        ag::createbutton(190, 10, 80, 20, "Quit", [] { ag::stopidle(); });
        ag::loop();
        return main_window;
    });
    ASSERT_TRUE(td::wait_idle());
    const int main_window = td::find_window("Main");
    ASSERT_TRUE(td::click_button(main_window, "Options"));
    const int dialog = td::wait_window("Options");
    ASSERT_GE(dialog, 0);
    ASSERT_TRUE(td::wait_idle());
    EXPECT_EQ(signalling, main_window);

    // The main window answers while the dialog's callback waits.
    ASSERT_TRUE(td::click_button(main_window, "Count"));
    ASSERT_TRUE(td::wait_idle());
    EXPECT_EQ(counted, 1);

    const auto radios = td::controls(dialog);
    ASSERT_EQ(radios.size(), 3u);
    EXPECT_EQ(radios[0].label, "Easy");
    EXPECT_TRUE(radios[0].checked);
    EXPECT_FALSE(radios[1].checked);
    ASSERT_TRUE(td::check_radio(dialog, "Difficult"));
    ASSERT_TRUE(td::click_button(dialog, "Close"));
    ASSERT_TRUE(td::wait_idle());
    EXPECT_EQ(chosen, 2);
    EXPECT_LT(td::find_window("Options"), 0);
    // The state of a radio button is still known after its window closed.
    EXPECT_TRUE(ag::radiobuttonischecked(radio_b));

    ASSERT_TRUE(td::click_button(main_window, "Quit"));
    ASSERT_TRUE(session.wait_finished());
    EXPECT_EQ(session.exit_code(), main_window);
}

TEST(PlatformCallbacks, EachCallbackRunsOnANewThreadWithItsWindowCurrent) {
    td::Session session;
    std::mutex m;
    std::vector<std::thread::id> threads;
    std::atomic<int> current{-2};
    std::thread::id logic_thread;
    session.start([&] {
        logic_thread = std::this_thread::get_id();
        ag::initwindow(100, 100, "Threads");
        ag::createbutton(0, 0, 50, 20, "Tell", [&] {
            std::lock_guard lock(m);
            threads.push_back(std::this_thread::get_id());
            current = ag::getcurrentwindow();
        });
        ag::loop();
        return 0;
    });
    ASSERT_TRUE(td::wait_idle());
    const int id = td::find_window("Threads");
    ASSERT_TRUE(td::click_button(id, "Tell"));
    ASSERT_TRUE(td::wait_idle());
    ASSERT_TRUE(td::click_button(id, "Tell"));
    ASSERT_TRUE(td::wait_idle());
    std::lock_guard lock(m);
    ASSERT_EQ(threads.size(), 2u);
    EXPECT_NE(threads[0], logic_thread);
    EXPECT_NE(threads[0], std::this_thread::get_id());  // not the GUI thread
    EXPECT_EQ(current, id);
}

namespace {

// Held by a callback; when released on the callback's own thread it waits
// until the test lets it go, as a callback's captures with slow destructors
// would.
struct Holder {
    struct Gate {
        std::mutex m;
        std::condition_variable cv;
        bool open = false;
        std::atomic<bool> released_on_callback_thread{false};
        std::thread::id gui, logic;
    };
    std::shared_ptr<Gate> gate;

    ~Holder() {
        if (!gate) return;
        const auto self = std::this_thread::get_id();
        if (self == gate->gui || self == gate->logic) return;
        std::unique_lock lock(gate->m);
        gate->cv.wait_for(lock, std::chrono::seconds(20), [&] { return gate->open; });
        gate->released_on_callback_thread = true;
    }
};

}  // namespace

TEST(PlatformCallbacks, ACallbackRunsUntilWhatItHoldsIsReleased) {
    td::Session session;
    auto gate = std::make_shared<Holder::Gate>();
    gate->gui = std::this_thread::get_id();
    std::atomic<int> ran{0};
    session.start([&, gate] {
        gate->logic = std::this_thread::get_id();
        ag::initwindow(100, 100, "Holding");
        ag::createbutton(0, 0, 50, 20, "Hold", [&ran, holder = Holder{gate}] { ++ran; });
        ag::loop();
        return 0;
    });
    ASSERT_TRUE(td::wait_idle());
    ASSERT_TRUE(td::click_button(td::find_window("Holding"), "Hold"));
    // The callback has returned, but its thread is still releasing what it held.
    EXPECT_FALSE(td::wait_idle(0.3));
    EXPECT_FALSE(gate->released_on_callback_thread);
    {
        std::lock_guard lock(gate->m);
        gate->open = true;
    }
    gate->cv.notify_all();
    ASSERT_TRUE(td::wait_idle());
    EXPECT_EQ(ran, 1);
    EXPECT_TRUE(gate->released_on_callback_thread);
    ag::closewindow(td::find_window("Holding"));
    ASSERT_TRUE(session.wait_finished());
}

TEST(PlatformClosing, ARefusedSystemCloseLeavesTheWindowOpen) {
    td::Session session;
    std::atomic<int> asked{0};
    std::atomic<bool> allow{false};
    std::atomic<int> signalling{-2};
    session.start([&] {
        ag::initwindow(100, 100, "Guarded");
        ag::setwindowsystemclosecallback([&] {
            ++asked;
            signalling = ag::getsignallingwindow();
            return allow.load();
        });
        ag::loop();
        return 0;
    });
    ASSERT_TRUE(td::wait_idle());
    const int id = td::find_window("Guarded");
    ASSERT_TRUE(td::close_from_title_bar(id));
    ASSERT_TRUE(td::wait_idle());
    EXPECT_EQ(asked, 1);
    EXPECT_EQ(signalling, id);
    EXPECT_TRUE(ag::iswindowopen(id));
    EXPECT_FALSE(session.finished());

    allow = true;
    ASSERT_TRUE(td::close_from_title_bar(id));
    ASSERT_TRUE(session.wait_finished());
    EXPECT_EQ(asked, 2);
    EXPECT_FALSE(ag::iswindowopen(id));
}

TEST(PlatformClosing, WithoutACallbackTheCloseBoxClosesAndEndsTheWait) {
    td::Session session;
    session.start([] {
        ag::initwindow(100, 100, "Plain");
        ag::loop();
        return 9;
    });
    ASSERT_TRUE(td::wait_idle());
    ASSERT_TRUE(td::close_from_title_bar(td::find_window("Plain")));
    ASSERT_TRUE(session.wait_finished());
    EXPECT_EQ(session.exit_code(), 9);
}

TEST(PlatformEnabling, ADisabledWindowTakesNoInputAtAll) {
    td::Session session;
    std::atomic<int> clicks{0};
    int window = -1, button = -1, menu = -1;
    session.start([&] {
        window = ag::initwindow(200, 100, "Enable");
        const int bar = ag::addmenu("", -1);
        menu = ag::addmenu("File", bar);
        ag::addmenuitem("Count", menu, [&] { ++clicks; });
        button = ag::createbutton(10, 10, 60, 20, "Count", [&] { ++clicks; });
        ag::loop();
        return 0;
    });
    ASSERT_TRUE(td::wait_idle());

    ag::enablewindow(window, false);
    EXPECT_FALSE(td::windows().at(0).enabled);
    EXPECT_FALSE(td::click_button(window, "Count"));
    EXPECT_FALSE(td::choose_menu(window, {"File", "Count"}));
    EXPECT_FALSE(td::close_from_title_bar(window));
    ag::enablewindow(window, true);
    EXPECT_TRUE(td::click_button(window, "Count"));
    EXPECT_TRUE(td::choose_menu(window, {"File", "Count"}));
    ASSERT_TRUE(td::wait_idle());
    EXPECT_EQ(clicks, 2);

    ag::enablebutton(button, false);
    ag::enablemenuitem(menu, false);  // a whole menu
    EXPECT_FALSE(td::click_button(window, "Count"));
    EXPECT_FALSE(td::choose_menu(window, {"File", "Count"}));
    for (const auto& c : td::controls(window)) {
        if (c.kind == td::ControlKind::Button || c.kind == td::ControlKind::Menu) {
            EXPECT_FALSE(c.enabled) << c.label;
        }
    }
    ASSERT_TRUE(td::wait_idle());
    EXPECT_EQ(clicks, 2);
    ag::closewindow(window);
    ASSERT_TRUE(session.wait_finished());
}

TEST(PlatformControls, MenusButtonsAndScrollBarsAsListed) {
    td::Session session;
    std::atomic<int> scrolled{-1};
    std::atomic<int> scroll_calls{0};
    int window = -1, bar_id = -1, button = -1;
    session.start([&] {
        window = ag::initwindow(300, 160, "Listed");
        const int bar = ag::addmenu("", -1);
        EXPECT_EQ(ag::addmenu("", -1), bar);  // one bar per window
        const int file = ag::addmenu("File", bar);
        ag::addmenuitem("Open Data File", file, [] {});
        ag::addmenuseparator(file);
        const int sub = ag::addmenu("More", file);
        ag::addmenuitem("X / Y vs X Plot", sub, [] {});
        button = ag::createbutton(20, 2, 70, 20, "Start", [] {});
        ag::setbuttonposition(button, 30, 40, 70, 25);
        const int gone = ag::createbutton(20, 2, 70, 20, "Gone", [] {});
        ag::removebutton(gone);
        bar_id = ag::createscrollbar(285, 30, 14, 130, ag::SCROLL_VERTICAL, [&](int position) {
            scrolled = position;
            ++scroll_calls;
        });
        ag::setscrollrange(bar_id, 1, 55);
        ag::setscrollposition(bar_id, 30);  // the program's own moves are not reported
        ag::setscrollposition(bar_id, 1);
        ag::loop();
        return 0;
    });
    ASSERT_TRUE(td::wait_idle());
    const auto list = td::controls(window);
    std::vector<std::string> labels;
    for (const auto& c : list) labels.push_back(c.label);
    EXPECT_EQ(labels, (std::vector<std::string>{"", "File", "Open Data File", "", "More", "X / Y vs X Plot", "Start", ""}));
    EXPECT_EQ(list[5].path, (std::vector<std::string>{"File", "More", "X / Y vs X Plot"}));
    EXPECT_EQ(list[6].left, 30);
    EXPECT_EQ(list[6].height, 25);
    EXPECT_EQ(list[7].kind, td::ControlKind::ScrollBar);
    EXPECT_EQ(list[7].minimum, 1);
    EXPECT_EQ(list[7].maximum, 55);
    EXPECT_EQ(list[7].position, 1);
    EXPECT_EQ(scroll_calls, 0);

    ASSERT_TRUE(td::scroll(window, 48));
    ASSERT_TRUE(td::wait_idle());
    EXPECT_EQ(scrolled, 48);
    EXPECT_EQ(scroll_calls, 1);
    EXPECT_EQ(ag::getscrollposition(bar_id), 48);
    EXPECT_TRUE(td::choose_menu(window, {"File", "More", "X / Y vs X Plot"}));
    EXPECT_FALSE(td::choose_menu(window, {"File", "X / Y vs X Plot"}));
    EXPECT_FALSE(td::click_button(window, "Gone"));
    ag::closewindow(window);
    ASSERT_TRUE(session.wait_finished());
}

// A test may poll the driver without waiting in between: every call lets
// the GUI do the work the program asked of it meanwhile.
TEST(PlatformDriver, ActionsMayBePolledInALoop) {
    td::Session session;
    session.start([] {
        ag::initwindow(100, 100, "Polled");
        ag::createbutton(0, 0, 50, 20, "Go", [] { ag::stopidle(); });
        ag::loop();
        return 4;
    });
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    auto in_time = [&] { return std::chrono::steady_clock::now() < deadline; };
    int id = -1;
    while ((id = td::find_window("Polled")) < 0 && in_time()) {
    }
    ASSERT_GE(id, 0);
    while (!td::click_button(id, "Go") && in_time()) {
    }
    while (!session.finished() && in_time()) {
    }
    ASSERT_TRUE(session.finished());
    EXPECT_EQ(session.exit_code(), 4);
}

TEST(PlatformTexts, LabelsInWindows1252AndUtf8AreBothShown) {
    td::Session session;
    const int id = ag::initwindow(100, 100, "Labels");
    const int bar = ag::addmenu("", -1);
    const int tests = ag::addmenu("Statistical Tests", bar);
    ag::addmenuitem("Hotelling's T\xB2", tests, [] {});  // Windows-1252 superscript two
    ag::addmenuitem("Kalvor_UDF\xE2\x84\xA2", tests, [] {});
    EXPECT_TRUE(td::choose_menu(id, {"Statistical Tests", "Hotelling's T\xB2"}));
    EXPECT_TRUE(td::choose_menu(id, {"Statistical Tests", "Kalvor_UDF\xE2\x84\xA2"}));
    ag::settextstyle(ag::SANS_SERIF_FONT, ag::HORIZ_DIR, 14);
    EXPECT_EQ(ag::textwidth("T\xB2"), ag::textwidth("T\xC2\xB2"));  // the same character either way
}
