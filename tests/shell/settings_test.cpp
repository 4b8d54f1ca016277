// The settings file: its default content, the reading of its lines and the
// run-state values it sets.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "model/globals.h"
#include "shell/scratch.h"
#include "shell/settings.h"

namespace fs = std::filesystem;
using settings::Key;

namespace {

class SettingsFile : public ::testing::Test {
protected:
    void SetUp() override {
        globals::reset_run_state();
        dir_ = shelltest::scratch_dir("kalvor_settings");
        globals::cwd.assign(dir_.string() + "/");
    }
    void TearDown() override { fs::remove_all(dir_); }

    fs::path file() const { return dir_ / "Kalvor_UDF.ini"; }
    void write(const std::string& content) const { std::ofstream(file(), std::ios::binary) << content; }
    std::string read() const { return shelltest::read_file(file()); }
    void run_ini() {
        exe_ = kalvor::Text<640>("junk");
        dat_ = kalvor::Text<640>("junk");
        ini(exe_, dat_);
    }

    fs::path dir_;
    kalvor::Text<640> exe_, dat_;
};

}  // namespace

TEST(SettingsLine, KeysAreMatchedByTheirFirstSixLettersInAnyCase) {
    EXPECT_EQ(settings::parse_line("Launch=gedit").key, Key::launch);
    EXPECT_EQ(settings::parse_line("  launch  =  gedit ").value, "gedit");
    EXPECT_EQ(settings::parse_line("LAUNCHER=kate").key, Key::launch);
    EXPECT_EQ(settings::parse_line("DataDirectory=/data").key, Key::datadir);
    EXPECT_EQ(settings::parse_line("Lau nch=x").key, Key::launch);
    EXPECT_EQ(settings::parse_line("Editor=vi").key, Key::none);
}

TEST(SettingsLine, CommentsSectionsAndBlankLinesSetNothing) {
    EXPECT_EQ(settings::parse_line("! Launch=gedit").key, Key::none);
    EXPECT_EQ(settings::parse_line("   ! Launch=gedit").key, Key::none);
    EXPECT_EQ(settings::parse_line("[Launch=gedit]").key, Key::none);
    EXPECT_EQ(settings::parse_line("").key, Key::none);
    EXPECT_EQ(settings::parse_line(" \t\r").key, Key::none);
}

// Values keep their case and the blanks inside them, so a path with blanks
// stays usable.
TEST(SettingsLine, ValuesKeepCaseAndInnerBlanks) {
    const auto e = settings::parse_line("Launch = /opt/My Editor/bin/Ed  ");
    EXPECT_EQ(e.key, Key::launch);
    EXPECT_EQ(e.value, "/opt/My Editor/bin/Ed");
    EXPECT_EQ(settings::parse_line("DataDir=/home/Ann/My Data").value, "/home/Ann/My Data/");
    EXPECT_EQ(settings::parse_line("Launch=/opt/\xc3\xa9" "diteur").value, "/opt/\xc3\xa9" "diteur");
}

TEST(SettingsLine, DataDirGetsOneTrailingSlash) {
    EXPECT_EQ(settings::parse_line("DataDir=/data").value, "/data/");
    EXPECT_EQ(settings::parse_line("DataDir=/data/").value, "/data/");
    const auto empty = settings::parse_line("DataDir=");
    EXPECT_EQ(empty.key, Key::datadir);
    EXPECT_EQ(empty.value, "");
}

TEST(SettingsLine, ALineWithoutEqualsSignIsItsOwnValue) {
    const auto e = settings::parse_line("LAUNCHX");
    EXPECT_EQ(e.key, Key::launch);
    EXPECT_EQ(e.value, "LAUNCHX");
}

TEST(SettingsLine, ControlCharactersCountAsBlanksAndLongLinesAreCut) {
    EXPECT_EQ(settings::parse_line("Launch=\tgedit\r").value, "gedit");
    const std::string longer = "Launch=" + std::string(600, 'a');
    EXPECT_EQ(settings::parse_line(longer).value.size(), 512u - 7u);
}

TEST(SettingsDefaults, TwentyLinesNamingALinuxLauncherAndTheStartFolder) {
    const auto lines = settings::default_lines("/home/ann/fits/");
    ASSERT_EQ(lines.size(), 20u);
    EXPECT_EQ(lines[0], "[Settings]");
    EXPECT_EQ(lines[1], "! Blank lines and comments beginning with \"!\" are ignored.");
    EXPECT_EQ(lines[2], " ");
    EXPECT_EQ(lines[4], "Launch=xdg-open");
    EXPECT_EQ(lines[13], "DataDir=/home/ann/fits/");
    EXPECT_EQ(lines[19], "! *** End of settings ***");
    for (const auto& line : lines) EXPECT_EQ(line.find('\\'), std::string::npos) << line;
}

TEST_F(SettingsFile, AMissingFileIsCreatedWithItsDefaultsAndReadBack) {
    run_ini();
    ASSERT_TRUE(fs::exists(file()));
    std::string expected;
    for (const auto& line : settings::default_lines(dir_.string() + "/")) expected += line + "\n";
    EXPECT_EQ(read(), expected);
    EXPECT_EQ(globals::cwdexe.trimmed(), "xdg-open");
    EXPECT_EQ(globals::cwddat.trimmed(), dir_.string() + "/");
    EXPECT_EQ(exe_.trimmed(), "xdg-open");
    EXPECT_EQ(dat_.trimmed(), dir_.string() + "/");
    EXPECT_EQ(settings::file_path(), dir_.string() + "/Kalvor_UDF.ini");
}

TEST_F(SettingsFile, AnExistingFileIsNeverRewritten) {
    const std::string content = "Launch=/usr/bin/Mousepad\r\nDataDir = /srv/My Fits\r\n";
    write(content);
    run_ini();
    EXPECT_EQ(read(), content);
    EXPECT_EQ(globals::cwdexe.trimmed(), "/usr/bin/Mousepad");
    EXPECT_EQ(globals::cwddat.trimmed(), "/srv/My Fits/");
}

TEST_F(SettingsFile, ALaterLineReplacesAnEarlierOneAndMissingKeysLeaveValues) {
    globals::cwddat.assign("/kept/");
    write("Launch=first\nLaunch=second\n");
    run_ini();
    EXPECT_EQ(globals::cwdexe.trimmed(), "second");
    EXPECT_EQ(globals::cwddat.trimmed(), "/kept/");
    EXPECT_TRUE(dat_.blank());  // the output is blank on entry and only a DataDir line sets it
}

TEST_F(SettingsFile, LinesPastTheHundredthAreNotRead) {
    std::string content;
    for (int i = 0; i < 99; ++i) content += "! comment\n";
    content += "Launch=hundredth\n";
    content += "Launch=hundred-and-first\n";
    write(content);
    run_ini();
    EXPECT_EQ(globals::cwdexe.trimmed(), "hundredth");
}

TEST_F(SettingsFile, AFileThatCannotBeMadeLeavesTheSettingsUnset) {
    globals::cwd.assign((dir_ / "missing" / "folder").string() + "/");
    run_ini();
    EXPECT_TRUE(globals::cwdexe.blank());
    EXPECT_TRUE(globals::cwddat.blank());
    EXPECT_TRUE(exe_.blank());
}
