// Fuzzes a Start of a data file: the input is the file, run by main_sub
// through the readers, the checks and the formula compiler up to the fitting
// driver, which here evaluates the model at the start values (in the
// weighting mode the input selects) and ends the fit.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>

#include <unistd.h>

#include "foundations/runtime.h"
#include "model/funct.h"
#include "model/globals.h"
#include "platform/dialogs.h"
#include "run/main_sub.h"

namespace {

namespace fs = std::filesystem;

const fs::path& work_dir() {
    static const fs::path dir = fs::temp_directory_path() / ("kalvor_fuzz_" + std::to_string(::getpid()));
    return dir;
}

void remove_work_dir() {
    std::error_code ec;
    fs::remove_all(work_dir(), ec);
}

sharc_mod::Outcome evaluate_start(sharc_mod::SharcArgs& a) {
    a.ycalc.assign(static_cast<std::size_t>(a.n), 0.0);
    double f = 0.0;
    funct::fun(a.x, a.y, a.p, a.k, a.m, a.n, a.mode, a.ycalc, a.sig, f);
    funct::unevaluable_rows(a.x, a.p, a.k, a.m, a.n);
    a.ssq = -1.0;
    return sharc_mod::Outcome::aborted;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fs::create_directories(work_dir());
    std::atexit(remove_work_dir);
    runtime::set_time_scale(0);
    appgraphics::set_dialog_provider([](const appgraphics::DialogRequest&) { return appgraphics::DialogAnswer{true, {}}; });
    mainsub::set_fit_driver(evaluate_start);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const fs::path file = work_dir() / "FUZZ.DAT";
    {
        std::ofstream out(file, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    }
    globals::reset_run_state();
    globals::cwd = work_dir().string() + "/";
    globals::iopt = 2;
    globals::iwt = 1 + static_cast<int>(size % 5);
    globals::input_file_name = file.string();
    globals::bpostrun = 0;
    globals::bcancelrun = 0;
    main_sub();
    return 0;
}
