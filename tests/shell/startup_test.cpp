// Start-up: the start folder, the settings file, the splash and the main
// window, up to Quit.

#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "model/globals.h"
#include "platform/appgraphics.h"
#include "platform/testdriver.h"
#include "shell/helptexts.h"
#include "shell/settings.h"
#include "shell/startup.h"

namespace fs = std::filesystem;
namespace td = testdriver;

TEST(StartFolder, EndsInExactlyOneSlash) {
    EXPECT_EQ(start_folder("/home/ann/fits"), "/home/ann/fits/");
    EXPECT_EQ(start_folder("/"), "/");
    EXPECT_EQ(start_folder("/data/My Fits"), "/data/My Fits/");
}

TEST(MainProgram, CreatesTheSettingsShowsTheSplashAndRunsTheMainWindowUntilQuit) {
    const fs::path dir = fs::temp_directory_path() / ("kalvor_start_" + std::to_string(::getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir);
    const fs::path before = fs::current_path();
    fs::current_path(dir);
    globals::reset_run_state();

    {
        td::Session session;
        session.start([] {
            main_program();
            return 0;
        });
        const int main_window = td::wait_window("Kalvor_UDF - Nonlinear Regression Curve Fitting");
        ASSERT_GE(main_window, 0);
        ASSERT_TRUE(td::wait_idle());

        EXPECT_EQ(globals::cwd.trimmed(), dir.string() + "/");
        EXPECT_EQ(globals::cwdexe.trimmed(), "xdg-open");
        EXPECT_EQ(globals::cwddat.trimmed(), dir.string() + "/");
        EXPECT_TRUE(fs::exists(dir / "Kalvor_UDF.ini"));
        EXPECT_EQ(globals::gwincolor1, appgraphics::creatergb(242, 245, 250));
        EXPECT_EQ(globals::gwincolor2, appgraphics::creatergb(235, 245, 250));

        // The splash came and went before the main window.
        ASSERT_EQ(td::windows().size(), 1u);
        bool splash_seen = false;
        for (int id = 0; id < main_window; ++id) {
            for (const auto& t : td::text_log(id)) splash_seen |= t.text == helptexts::splash_text();
        }
        EXPECT_TRUE(splash_seen);

        ASSERT_TRUE(td::choose_menu(main_window, {"File", "Quit"}));
        ASSERT_TRUE(session.wait_finished());
        EXPECT_TRUE(td::windows().empty());
    }
    std::ifstream in(dir / "Kalvor_UDF.ini");
    std::string first;
    std::getline(in, first);
    EXPECT_EQ(first, "[Settings]");
    fs::current_path(before);
    fs::remove_all(dir);
}
