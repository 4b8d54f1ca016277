// Fuzzes the formula compiler and evaluator: the input's first line is a
// model text, checked and compiled as a run does (parse_func, check_func,
// check_udf, fnparse2) and by the compiler alone with every name; the bytes
// after it give the values of P1..P8 and X1..X3 it is evaluated at.

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "foundations/fixed_text.h"
#include "foundations/runtime.h"
#include "model/formula_check.h"
#include "model/fparser.h"
#include "model/globals.h"

namespace {

constexpr std::array<std::string_view, 11> names = {"P1", "P2", "P3", "P4", "P5", "P6",
                                                    "P7", "P8", "X1", "X2", "X3"};

// Values from the bytes: steps of 1/16 around 0, or a few fixed ones.
std::array<double, 11> values_from(std::string_view bytes) {
    std::array<double, 11> v = {1.5, -2.0, 0.5, 3.0, 1e-3, 7.0, -0.25, 2.0, 0.75, 10.0, -1.0};
    for (std::size_t k = 0; k < v.size() && k < bytes.size(); ++k)
        v[k] = (static_cast<unsigned char>(bytes[k]) - 128) / 16.0;
    return v;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    runtime::set_time_scale(0);
    fparser::printerrors = false;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const std::size_t eol = std::min(input.find('\n'), input.size());
    const std::string_view model = input.substr(0, eol);
    const std::array<double, 11> values = values_from(input.substr(std::min(eol + 1, input.size())));
    const std::span<const double> p(values.data(), 8), x(values.data() + 8, 3);

    // As a run checks and compiles the model line.
    globals::reset_run_state();
    kalvor::Text<512> text(model), msg, marker;
    int np = 0, nx = 0, length = 0, ierr = 0;
    parse_func(np, nx, text, length, ierr, msg);
    kalvor::Text<512> checked(text.str());
    check_func(checked, marker, np, nx, ierr, msg);
    int valid = 0;
    check_udf(text.str(), valid);
    if (ierr == 0) {
        double y = fnparse2_recompile;
        if (fnparse2(p, x, np, nx, 1, text.view(), y)) {
            kalvor::Text<512> cudf(text.str());
            my_func::eval_func(p, np, x, nx, cudf, y);
        }
    }

    // The compiler alone, on the raw text with every name.
    fparser::initf(1);
    if (fparser::parsef(0, model, names, false) == 0) fparser::evalf(0, values);
    fparser::endf();
    return 0;
}
