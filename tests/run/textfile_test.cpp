// The run's files under hostile file-system set-ups, through Start with the
// real driver: results beside the data file whatever its folder is called,
// a temporary report that no planted link can redirect, and results that
// cannot be written told and logged as a failure.

#include "run/textfile.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "model/globals.h"
#include "run/main_sub.h"
#include "run_files_fixture.h"

namespace {

namespace fs = std::filesystem;

const fs::path example = fs::path(KALVOR_SOURCE_DIR) / "data/examples/Michaelis-Menten.dat";

class RunFileSystemTest : public RunFilesTest {
protected:
    void SetUp() override {
        RunFilesTest::SetUp();
        globals::iopt = 1;
        globals::iwt = 1;
    }

    // Copies the example to path and starts a run of it.
    void start(const fs::path& path) {
        fs::create_directories(path.parent_path());
        fs::copy_file(example, path, fs::copy_options::overwrite_existing);
        globals::input_file_name = path.string();
        globals::bpostrun = 0;
        globals::bcancelrun = 0;
        globals::bdataerror = 0;
        dialogs.clear();
        main_sub();
    }

    std::string log_text() const { return file_text("Kalvor_UDF-runlog.txt"); }
};

TEST_F(RunFileSystemTest, ResultsStayInTheDataFilesFolder) {
    // A file beside the folder "proj.dat" that a cut at its ".dat" would hit.
    std::ofstream(dir / "proj.txt") << "keep me\n";
    for (const char* name : {"run", "run.csv"}) {
        SCOPED_TRACE(name);
        start(dir / "proj.dat" / name);
        EXPECT_TRUE(errors().empty());
        EXPECT_EQ(globals::output_file_name.trimmed(), (dir / "proj.dat" / (std::string(name) + ".TXT")).string());
        EXPECT_TRUE(fs::exists(globals::output_file_name.trimmed()));
    }
    EXPECT_EQ(file_text("proj.txt"), "keep me\n");
}

TEST_F(RunFileSystemTest, TemporaryReportNeverFollowsAPlantedLink) {
    std::ofstream(dir / "victim.txt") << "precious\n";
    fs::create_symlink(dir / "victim.txt", dir / "tempor.txt");
    start(dir / "RUN.DAT");
    EXPECT_TRUE(errors().empty());
    EXPECT_EQ(file_text("victim.txt"), "precious\n");
    // The report still reached the main window, and the run's own
    // temporary file is gone again: only the planted link is left.
    EXPECT_GT(globals::nlines5, 0);
    EXPECT_EQ(temporary_files_left(), 1);
    EXPECT_TRUE(fs::is_symlink(dir / "tempor.txt"));
}

TEST_F(RunFileSystemTest, UnwritableResultsAreToldAndLoggedAsAFailure) {
    // A folder in the results file's place, and a full disk (which stops
    // root as well).
    const struct {
        const char* data;
        const char* reason;
        void (*plant)(const fs::path&);
    } cases[] = {
        {"FOLDER.DAT", "Is a directory", [](const fs::path& p) { fs::create_directory(p); }},
        {"FULL.DAT", "No space left on device", [](const fs::path& p) { fs::create_symlink("/dev/full", p); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.data);
        const fs::path results = dir / fs::path(c.data).replace_extension(".TXT");
        c.plant(results);
        fs::remove(dir / "Kalvor_UDF-runlog.txt");
        start(dir / c.data);
        ASSERT_EQ(errors().size(), 1u);
        EXPECT_EQ(shown(errors()[0].text), "There is an error in writing to data file #2.\nFile: " +
                                               results.string() + "\nReason: " + c.reason + ".\n\n" +
                                               std::string(30, ' ') + "*** RUN ABORTED! ***");
        EXPECT_EQ(globals::bdataerror, 1);
        EXPECT_EQ(log_text().rfind(" " + (dir / c.data).string() + "(FAILURE) : Results not written to " +
                                       results.string() + ": " + c.reason + " : Date ",
                                   0),
                  0u)
            << log_text();
        EXPECT_EQ(log_text().find("SSQR="), std::string::npos);
        EXPECT_EQ(temporary_files_left(), 0);
    }
}

}  // namespace
