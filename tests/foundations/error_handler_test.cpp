#include "foundations/error_handler.h"
#include "foundations/runtime.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace {

const std::string kDate = "Tue Mar  5 14:27:33 2024";

class ErrorHandlerTest : public ::testing::Test {
protected:
    void SetUp() override {
        setenv("TZ", "UTC", 1);
        tzset();
        runtime::Hooks hooks;
        hooks.now = [] { return runtime::Clock::time_point(std::chrono::seconds(1709648853)); };
        runtime::set_hooks(std::move(hooks));

        dir_ = fs::temp_directory_path() /
               ("kalvor_error_handler_" + std::to_string(::getpid()) + "_" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir_);
        fs::create_directories(dir_);
    }
    void TearDown() override {
        runtime::reset_hooks();
        fs::remove_all(dir_);
    }

    std::string read_log() const {
        std::ifstream in(dir_ / std::string(error_handler::run_log_name));
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }

    fs::path dir_;
};

// Blank-padded to 80 characters, as the run hands its texts over.
std::string padded(const std::string& s) { return s + std::string(80 - s.size(), ' '); }

}  // namespace

TEST_F(ErrorHandlerTest, StateWords) {
    EXPECT_EQ(error_handler::state_descriptor(0), "SUCCESS");
    EXPECT_EQ(error_handler::state_descriptor(1), "INFORMATION");
    EXPECT_EQ(error_handler::state_descriptor(2), "WARNING");
    EXPECT_EQ(error_handler::state_descriptor(3), "FAILURE");
    EXPECT_EQ(error_handler::state_descriptor(4), "UNDEFINED");
    for (int state : {5, 17, -1}) EXPECT_EQ(error_handler::state_descriptor(state), "UNDEFINED");
}

TEST_F(ErrorHandlerTest, LogLinesInBothLayoutsAppendInOrder) {
    {
        std::ofstream earlier(dir_ / std::string(error_handler::run_log_name));
        earlier << " earlier run line\n";
    }
    const auto log = padded(std::string(error_handler::run_log_name));
    error_handler::display_message(padded("MAIN_SUB"), padded("DATA.DAT SSQR= 1.5 : MIC= 3.2"), 1, log, dir_);
    error_handler::display_message(padded("MAIN_SUB"), padded("Results file not written"), 3, log, dir_);
    error_handler::display_message("ROUTINE", "odd state", 17, log, dir_);

    EXPECT_EQ(read_log(), " earlier run line\n"
                          " MAIN_SUB : DATA.DAT SSQR= 1.5 : MIC= 3.2 : Date " + kDate + "\n"
                          " MAIN_SUB(FAILURE) : Results file not written : Date " + kDate + "\n"
                          " ROUTINE(UNDEFINED) : odd state : Date " + kDate + "\n");
    EXPECT_EQ(error_handler::get_lun(), 10);  // every unit closed again
}

TEST_F(ErrorHandlerTest, StandardOutputAlwaysShowsTheState) {
    testing::internal::CaptureStdout();
    error_handler::display_message("R", "M", 1);
    error_handler::display_message("R", "M", -1);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              " R(INFORMATION) : M : Date " + kDate + "\n R(UNDEFINED) : M : Date " + kDate + "\n");
}

TEST_F(ErrorHandlerTest, UnopenableLogFallsBackToStandardOutput) {
    testing::internal::CaptureStdout();
    error_handler::display_message("MAIN_SUB", "Lost line", 1, "no_such_folder/log.txt", dir_);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              " Display_Message(FAILURE) : Error opening message log file : Date " + kDate + "\n"
              " MAIN_SUB(INFORMATION) : Lost line : Date " + kDate + "\n");
    EXPECT_FALSE(fs::exists(dir_ / "no_such_folder"));
}

TEST_F(ErrorHandlerTest, UnitsAndFileInquiries) {
    const std::string name = "units.log";
    EXPECT_FALSE(error_handler::file_name_exists(name, dir_));
    EXPECT_TRUE(error_handler::file_unit_exists(10));
    EXPECT_TRUE(error_handler::file_unit_exists(99));
    EXPECT_FALSE(error_handler::file_unit_exists(100));
    EXPECT_FALSE(error_handler::file_unit_exists(-3));

    int unit = 0;
    ASSERT_EQ(error_handler::open_message_log(name + "   ", unit, dir_), error_handler::success);
    EXPECT_EQ(unit, 10);
    EXPECT_TRUE(error_handler::file_open_by_unit(10));
    EXPECT_TRUE(error_handler::file_open_by_name(name, dir_));
    EXPECT_TRUE(error_handler::file_name_exists(name, dir_));
    EXPECT_EQ(error_handler::get_lun(), 11);
    EXPECT_TRUE(error_handler::write_line(unit, "one line"));
    error_handler::close_unit(unit);
    EXPECT_FALSE(error_handler::file_open_by_unit(10));
    EXPECT_FALSE(error_handler::file_open_by_name(name, dir_));
    EXPECT_FALSE(error_handler::write_line(unit, "closed"));

    // With every unit from 10 to 99 taken there is none left for the log.
    std::vector<int> taken;
    for (int k = 10; k <= 99; ++k) {
        ASSERT_EQ(error_handler::open_message_log("busy" + std::to_string(k), unit, dir_), 0);
        taken.push_back(unit);
    }
    EXPECT_EQ(error_handler::get_lun(), -1);
    EXPECT_EQ(error_handler::open_message_log(name, unit, dir_), error_handler::failure);
    testing::internal::CaptureStdout();
    error_handler::display_message("R", "M", 2, name, dir_);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              " Display_Message(FAILURE) : Error opening message log file : Date " + kDate + "\n"
              " R(WARNING) : M : Date " + kDate + "\n");
    for (int u : taken) error_handler::close_unit(u);
    EXPECT_EQ(error_handler::get_lun(), 10);
}
