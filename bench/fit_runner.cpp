// Headless fit runner: one regression of a data file, run the way Start runs
// it (main_sub), with the model confirmed and the sleeps off, printing the
// outcome, the sum of squares, the parameters and their standard errors,
// the number of objective evaluations and the time taken.
//
//   fit_runner [--level 1|2|3] [--weight 1..5] [--repeatable] [--threads N] FILE.DAT
//
// --repeatable fixes the clock readings that seed the random generators
// (runtime::repeatable_clock), so that two runs of one file are
// bit-identical; the time taken is still measured on the real clock.
// --threads N makes every shared evaluation use exactly N threads instead of
// the number the row threads measure.
//
// The data file is copied into a fresh work folder first, so the results
// file and the run log never land beside the original. Output, one
// "key=value" per line: file, outcome (fitted, cancelled, aborted, rejected
// or declined), ssqr, p1..pn, se1..sen (0 for a held parameter),
// evaluations, seconds, run_clock (the driver's run clock, globals::totaltime,
// at the end of the fit). Messages the run shows
// go to standard error. Exit code 0 for a fitted run, 1 otherwise, 2 for a
// usage error.
//
// Objective evaluations are the calls of funct::fun (funct::evaluation_count).

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <span>
#include <string>
#include <vector>

#include <unistd.h>

#include "foundations/matrix.h"
#include "foundations/runtime.h"
#include "model/funct.h"
#include "model/globals.h"
#include "model/row_threads.h"
#include "platform/dialogs.h"
#include "run/cascade.h"
#include "run/main_sub.h"
#include "run/sharc.h"

namespace {

int usage() {
    std::cerr << "usage: fit_runner [--level 1|2|3] [--weight 1..5] [--repeatable] [--threads N] FILE.DAT\n";
    return 2;
}

// The run's messages go to standard error; the model is always confirmed.
appgraphics::DialogAnswer answer(const appgraphics::DialogRequest& request) {
    if (request.kind != appgraphics::DialogKind::YesNo) std::cerr << "message: " << request.text << "\n";
    return {true, {}};
}

std::string outcome() {
    if (globals::bdataerror != 0) return "rejected";
    if (globals::bcorrectmdl == 0) return "declined";
    if (globals::bcancelrun != 0) return common_data::fssqr < 0.0 ? "aborted" : "cancelled";
    return "fitted";
}

}  // namespace

int main(int argc, char** argv) {
    int level = 2, weight = 1, threads = 0;
    bool repeatable = false;
    std::string file;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--repeatable")
            repeatable = true;
        else if ((arg == "--level" || arg == "--weight") && i + 1 < argc)
            (arg == "--level" ? level : weight) = std::atoi(argv[++i]);
        else if (arg == "--threads" && i + 1 < argc)
            threads = std::atoi(argv[++i]);
        else if (!arg.empty() && arg[0] != '-' && file.empty())
            file = arg;
        else
            return usage();
    }
    if (file.empty() || level < 1 || level > 3 || weight < 1 || weight > 5 || threads < 0) return usage();
    if (threads > 0) row_threads::set_thread_count(threads);

    namespace fs = std::filesystem;
    const fs::path source = fs::absolute(file);
    const fs::path work = fs::temp_directory_path() / ("kalvor_fit_runner_" + std::to_string(::getpid()));
    std::error_code ec;
    fs::remove_all(work, ec);
    fs::create_directories(work);
    const fs::path data = work / source.filename();
    if (!fs::copy_file(source, data, ec)) {
        std::cerr << "fit_runner: cannot read " << source << "\n";
        return 2;
    }

    cascade::install_services();
    globals::reset_run_state();
    globals::iopt = level;
    globals::iwt = weight;
    globals::cwd = work.string() + "/";
    globals::input_file_name = data.string();
    globals::bpostrun = 0;
    globals::bcancelrun = 0;
    runtime::set_time_scale(0);
    appgraphics::set_dialog_provider(answer);
    // The standard errors of the last fit, as the report shows them.
    std::vector<double> se;
    mainsub::set_fit_driver([&se](sharc_mod::SharcArgs& a) {
        const auto result = sharc_mod::sharc(a);
        se = a.se;
        return result;
    });

    const double started = runtime::monotonic_seconds();
    if (repeatable) runtime::set_hooks(runtime::repeatable_clock());
    main_sub();
    runtime::reset_hooks();
    const double seconds = runtime::monotonic_seconds() - started;

    const std::string result = outcome();
    std::printf("file=%s\noutcome=%s\nssqr=%.16e\n", source.filename().c_str(), result.c_str(), common_data::fssqr);
    for (int j = 0; j < common_data::npr; ++j) std::printf("p%d=%.16e\n", j + 1, common_data::pfinal[j]);
    for (std::size_t j = 0; j < se.size(); ++j) std::printf("se%zu=%.16e\n", j + 1, se[j]);
    std::printf("evaluations=%lld\nseconds=%.3f\nrun_clock=%.3f\n", funct::evaluation_count(), seconds,
                globals::totaltime);
    fs::remove_all(work, ec);
    return result == "fitted" ? 0 : 1;
}
