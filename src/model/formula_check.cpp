#include "model/formula_check.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "foundations/matrix.h"
#include "foundations/runtime.h"
#include "foundations/stringlib.h"
#include "model/fparser.h"
#include "model/globals.h"

namespace {

constexpr int max_parameters = 8;
constexpr int max_x_variables = 3;

constexpr std::array<std::string_view, max_parameters> parameter_names = {"P1", "P2", "P3", "P4",
                                                                           "P5", "P6", "P7", "P8"};
constexpr std::array<std::string_view, max_x_variables> x_names = {"X1", "X2", "X3"};
// The function words close the name list of fnparse2; the syntax check tries
// function words first, so they never act as variables.
constexpr std::array<std::string_view, 16> function_words = {
    "ABS", "EXP", "LOG10", "LOG", "SQRT", "SINH", "COSH", "TANH",
    "SIN", "COS", "TAN", "ASIN", "ACOS", "ATAN", "RD", "OMEGW"};

// The names of check_func: P1..P8, X1..X3.
constexpr std::array<std::string_view, 11> check_names = {"P1", "P2", "P3", "P4", "P5", "P6",
                                                          "P7", "P8", "X1", "X2", "X3"};

// Whether name occurs in text, case ignored.
bool occurs(std::string_view text, std::string_view name) { return stringlib::s_indexi(text, name) > 0; }

// Replace every occurrence of pattern, round after round, until none is left.
void fold(std::string& s, std::string_view pattern, std::string_view replacement) {
    while (s.find(pattern) != std::string::npos) fparser::replace(s, pattern, replacement);
}

// Signs and powers: "++" "+-" "-+" "--" reduced to one sign, "**" to "^".
void fold_signs_and_powers(std::string& s) {
    fold(s, "++", "+ ");
    fold(s, "+-", " -");
    fold(s, "-+", "- ");
    fold(s, "--", "+ ");
    stringlib::s_blank_delete(s);
    fold(s, "**", "^ ");
    stringlib::s_blank_delete(s);
}

// A "0" before the first bare point that follows "^" ("^(.", "^(-.",
// "^(+.", "^." in this order of search); globals::iexpzero records that no
// "^" follows the insertion, which ends insertions for this text.
void insert_zero_before_point(std::string& s) {
    struct Pattern { std::string_view text; int offset; };
    static constexpr Pattern patterns[] = {{"^(.", 2}, {"^(-.", 3}, {"^(+.", 3}, {"^.", 1}};
    for (const Pattern& pattern : patterns) {
        const auto found = s.find(pattern.text);
        if (found == std::string::npos) continue;
        const int point = static_cast<int>(found) + 1 + pattern.offset;  // 1-based position of "."
        stringlib::insertstr(s, "0", point);
        if (s.find('^', static_cast<std::size_t>(point)) == std::string::npos) globals::iexpzero = stringlib::s_len_trim(s);
        return;
    }
}

std::string syntax_message(int ierr) {
    switch (ierr) {
    case 1: return "Missing operand";
    case 2: case 8: return "Multiple operators";
    case 3: return "Missing function argument";
    case 4: return "Missing opening parenthesis";
    case 5: return "Invalid number format";
    case 6: return "Invalid variable or math function";
    case 7: return "Mismatched parenthesis";
    case 9: return "Missing operator";
    case 10: return "Missing )";
    case 11: return "Invalid character";
    default: return {};
    }
}

// Underscores under text with "\*/" right after the first character of name.
std::string marker_line(std::string_view text, std::string_view name) {
    const int p = stringlib::s_indexi(text, name);
    const std::string underline(static_cast<std::size_t>(stringlib::s_len_trim(text)), '_');
    std::string marker(static_cast<std::size_t>(p), '_');
    marker += "\\*/";
    if (underline.size() > static_cast<std::size_t>(p) + 3) marker += underline.substr(static_cast<std::size_t>(p) + 3);
    return marker;
}

// The first parameter or X name of text whose number lies outside P1..P8 or
// X1..X3 (P9, P12, X0, X4, ...): a P or X that starts a word and is followed
// by digits. Empty when there is none.
std::string name_out_of_range(std::string_view text) {
    const auto letter = [](char c) { return std::isalpha(static_cast<unsigned char>(c)) != 0; };
    const auto digit = [](char c) { return std::isdigit(static_cast<unsigned char>(c)) != 0; };
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = static_cast<char>(std::toupper(static_cast<unsigned char>(text[i])));
        if ((c != 'P' && c != 'X') || (i > 0 && (letter(text[i - 1]) || digit(text[i - 1])))) continue;
        std::size_t end = i + 1;
        while (end < text.size() && digit(text[end])) ++end;
        if (end == i + 1) continue;
        const std::string_view digits = text.substr(i + 1, end - i - 1);
        const int highest = c == 'P' ? max_parameters : max_x_variables;
        const bool in_range = digits.size() == 1 && digits[0] >= '1' && digits[0] - '0' <= highest;
        if (!in_range) return std::string(text.substr(i, end - i));
    }
    return {};
}

// Compile state of fnparse2: 1 while slot 1 holds the compiled model.
int bflag = 0;
// Results of the last calc_func in fnparse2, kept to avoid an allocation per value.
std::vector<double> fnparse2_results;

}  // namespace

void parse_func(int& np, int& nx, kalvor::FixedText& text, int& length, int& ierr, kalvor::FixedText& msg) {
    limits::store();

    std::string work = text.str();
    stringlib::s_del_blank(work);
    stringlib::s_control_blank(work);
    stringlib::s_adjustl(work);
    stringlib::s_cap_string(work, text.str());
    stringlib::s_blank_delete(text.str());

    std::string& s = text.str();
    if (check_parentheses(s)) {
        fold_signs_and_powers(s);
        if (globals::iexpzero == 0 && s.find('^') != std::string::npos) insert_zero_before_point(s);
    }
    stringlib::s_adjustl(s);

    np = 0;
    for (std::string_view name : parameter_names) np += occurs(s, name) ? 1 : 0;
    nx = 0;
    for (std::string_view name : x_names) nx += occurs(s, name) ? 1 : 0;

    ierr = 0;
    kalvor::FixedText checked(text.length(), text.view());
    kalvor::FixedText marker(text.length());
    int np_check = np, nx_check = nx;
    check_func(checked, marker, np_check, nx_check, ierr, msg);
    length = static_cast<int>(checked.len_trim());
}

void check_func(kalvor::FixedText& text, kalvor::FixedText& marker, int& np, int& nx, int& ierr,
                kalvor::FixedText& msg) {
    np = std::min(np, max_parameters);
    nx = std::min(nx, 11);

    ierr = 0;
    const int r = fparser::checkf(text.view(), marker, check_names, ierr, false);

    int hi_p = 0;
    for (int k = max_parameters; k >= 1 && hi_p == 0; --k)
        if (occurs(text.view(), parameter_names[k - 1])) hi_p = k;
    int hi_x = 0;
    for (int k = max_x_variables; k >= 1 && hi_x == 0; --k)
        if (occurs(text.view(), x_names[k - 1])) hi_x = k;
    int count_p = 0;
    for (int k = 1; k <= np; ++k) count_p += occurs(text.view(), parameter_names[k - 1]) ? 1 : 0;

    stringlib::s_adjustl(text.str());

    if (const std::string name = name_out_of_range(text.view()); !name.empty()) {
        ierr = 15;
        marker = marker_line(text.view(), name);
        msg = "Invalid name " + name + ": the model allows the parameters P1 to P8 and the variables X1 to X3.";
    } else if (hi_p != count_p) {
        ierr = 12;
        marker = marker_line(text.view(), parameter_names[hi_p - 1]);
        msg = "Invalid non-sequential parameter P" + std::to_string(hi_p) + " ?";
    } else {
        int count_x = 0;
        for (std::string_view name : x_names) count_x += occurs(text.view(), name) ? 1 : 0;
        if (count_x != hi_x) {
            ierr = 13;
            marker = marker_line(text.view(), "X" + std::to_string(hi_x));
            msg = "Invalid non-sequential variable X" + std::to_string(hi_x) + " ?";
        } else if (count_x == nx) {
            if (r == 0) return;  // the text is usable
            msg = syntax_message(ierr);
        } else {
            ierr = 14;
            marker = marker_line(text.view(), "X" + std::to_string(hi_x));
            msg = "Invalid variable X" + std::to_string(hi_x) + " ?" + " incompatible with input data.";
        }
    }
    runtime::sleep_seconds(1.0);
}

bool check_parentheses(std::string_view text) { return stringlib::s_paren_check(text); }

void check_udf(std::string_view text, int& flag) {
    const std::string combined = "P1*0.+" + std::string(text);
    const std::string_view token = std::string_view(combined).substr(0, combined.find_first_of("+-*/^=#<[>]:|()"));
    flag = std::find(check_names.begin(), check_names.end(), token) != check_names.end() ? 1 : 0;
}

namespace {

// Compile the model for fnparse2 with the names P1..P(np), X1..X(nx) and
// the function words; kept out of the evaluation path.
[[gnu::noinline]] bool compile_model(int np, int nx, int nfunc, std::string_view text) {
    std::array<std::string_view, max_parameters + max_x_variables + function_words.size()> names;
    auto next = std::copy_n(parameter_names.begin(), np, names.begin());
    next = std::copy_n(x_names.begin(), nx, next);
    std::copy(function_words.begin(), function_words.end(), next);
    int ierr = 0;
    compile_func(nfunc, text, names, np + nx + static_cast<int>(function_words.size()), ierr, true);
    if (ierr > 0) {
        std::printf("\nError in function, run aborted!\n");
        std::fflush(stdout);
        runtime::sleep_seconds(5.0);
        return false;
    }
    return true;
}

}  // namespace

namespace {

// The parameter and X counts fnparse2 uses, and the compile it needs first:
// false when the text does not compile.
bool prepare_model(int& np, int& nx, int& nfunc, std::size_t p_size, std::size_t x_size, std::string_view text,
                   double y) {
    np = std::clamp(np, 0, std::min(max_parameters, static_cast<int>(p_size)));
    nx = std::clamp(nx, 0, std::min(max_x_variables, static_cast<int>(x_size)));
    nfunc = std::max(nfunc, 1);

    if (y == fnparse2_recompile) bflag = 0;
    if (bflag == 0) {
        if (!compile_model(np, nx, nfunc, text)) return false;
        bflag = 1;
    }
    return true;
}

// A model value with NaN and infinity replaced and clamped.
double guarded_model_value(double value) {
    // Only a value that is no number at all is replaced; a huge finite one is
    // clamped like any other.
    if (std::isnan(value) || std::isinf(value)) value = limits::invalid;
    return std::clamp(value, -limits::clamp, limits::clamp);
}

// The model text left-adjusted in place, and the guard block stored.
void prepare_text(kalvor::FixedText& text) {
    limits::store();
    std::string& s = text.str();
    if (!s.empty() && (s[0] == ' ' || s[0] == '\t')) stringlib::s_adjustl(s);
}

}  // namespace

bool fnparse2(std::span<const double> p, std::span<const double> x, int np, int nx, int nfunc, std::string_view text,
              double& y) {
    if (!prepare_model(np, nx, nfunc, p.size(), x.size(), text, y)) {
        y = 0.0;
        return false;
    }

    std::array<double, max_parameters + max_x_variables> values;
    for (int k = 0; k < np; ++k) values[static_cast<std::size_t>(k)] = p[static_cast<std::size_t>(k)];
    for (int k = 0; k < nx; ++k) values[static_cast<std::size_t>(np + k)] = x[static_cast<std::size_t>(k)];
    if (fnparse2_results.size() < static_cast<std::size_t>(nfunc)) fnparse2_results.resize(static_cast<std::size_t>(nfunc));
    calc_func(nfunc, values, np + nx, fnparse2_results);
    y = fnparse2_results[static_cast<std::size_t>(nfunc) - 1];
    return true;
}

void compile_func(int nfunc, std::string_view text, std::span<const std::string_view> names, int nnames, int& ierr,
                  bool print) {
    const auto used = names.first(static_cast<std::size_t>(std::clamp(nnames, 0, static_cast<int>(names.size()))));
    ierr = 0;
    kalvor::FixedText msg(512);
    int code = 0;
    if (fparser::checkf(text, msg, used, code, print) > 0) {
        ierr = 1;
        return;
    }
    fparser::initf(nfunc);
    for (int k = 0; k < nfunc; ++k) ierr = fparser::parsef(k, text, used, print);
}

void calc_func(int nfunc, std::span<const double> values, int nvalues, std::span<double> results) {
    const auto used = values.first(static_cast<std::size_t>(std::clamp(nvalues, 0, static_cast<int>(values.size()))));
    const int n = std::min(nfunc, static_cast<int>(results.size()));
    for (int k = 0; k < n; ++k) results[static_cast<std::size_t>(k)] = fparser::evalf(k, used);
}

double func2(double, double, double, int) { return 0.0; }

double minmax(double x, double y) {
    if (std::isnan(x)) return y;
    if (std::fabs(x) <= limits::invalid) return std::copysign(std::fabs(y), x);
    if (std::fabs(x) >= limits::clamp) return std::copysign(std::fabs(1.0 / y), x);
    return x;
}

namespace my_func {

namespace {
thread_local bool last_valid = true;
}  // namespace

bool last_value_valid() { return last_valid; }

void eval_func(std::span<const double> p, int np, std::span<const double> x, int nx, kalvor::FixedText& text,
               double& y) {
    prepare_text(text);
    double value = 0.0;
    last_valid = true;
    if (globals::nmdl != 0) {
        const auto x_at = [&](int k) { return nx >= k && static_cast<int>(x.size()) >= k ? x[static_cast<std::size_t>(k) - 1] : 0.0; };
        value = func2(x_at(1), x_at(2), x_at(3), nx);
    } else if (!fnparse2(p, x, np, nx, 1, text.view(), value)) {
        value = 0.0;
        last_valid = false;
    } else {
        last_valid = fparser::evalerrtype == 0;
    }
    if (std::isnan(value) || std::isinf(value)) last_valid = false;
    y = guarded_model_value(value);
}

void eval_rows(std::span<const double> p, int np, const kalvor::Matrix& x, int nx, std::size_t rows,
               kalvor::FixedText& text, std::span<double> y) {
    if (rows == 0) return;
    prepare_text(text);
    const int columns = static_cast<int>(std::min<std::size_t>(x.cols(), max_x_variables));
    const auto x_at = [&](std::size_t row, int k) { return nx >= k && columns >= k ? x(row, static_cast<std::size_t>(k) - 1) : 0.0; };
    last_valid = true;
    if (globals::nmdl != 0) {
        for (std::size_t r = 0; r < rows; ++r) y[r] = func2(x_at(r, 1), x_at(r, 2), x_at(r, 3), nx);
    } else if (int nfunc = 1; !prepare_model(np, nx, nfunc, p.size(), max_x_variables, text.view(), 0.0)) {
        std::fill_n(y.begin(), rows, 0.0);
        last_valid = false;
    } else {
        // The parameters are single values; X variable j reads column j (0
        // for a column the table lacks, as a row of the one-row path holds).
        std::array<double, max_parameters + max_x_variables> values{};
        std::array<const double*, max_parameters + max_x_variables> sources{};
        for (int k = 0; k < np; ++k) values[static_cast<std::size_t>(k)] = p[static_cast<std::size_t>(k)];
        for (int k = 0; k < nx && k < columns; ++k) sources[static_cast<std::size_t>(np + k)] = x.column(static_cast<std::size_t>(k));
        const auto used = static_cast<std::size_t>(np + nx);
        fparser::evalf_rows(0, std::span<const double>(values).first(used),
                            std::span<const double* const>(sources).first(used), rows, y);
        last_valid = fparser::evalerrtype == 0;
    }
    // The validity of the last row, as after eval_func on each row in turn.
    if (std::isnan(y[rows - 1]) || std::isinf(y[rows - 1])) last_valid = false;
    for (std::size_t r = 0; r < rows; ++r) y[r] = guarded_model_value(y[r]);
}

}  // namespace my_func
