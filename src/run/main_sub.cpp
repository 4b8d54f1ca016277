#include "run/main_sub.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <filesystem>
#include <stdexcept>
#include <utility>

#include "foundations/fixed_text.h"
#include "foundations/fortran_io.h"
#include "foundations/nrutil.h"
#include "foundations/prec.h"
#include "foundations/stringconv.h"
#include "foundations/stringlib.h"
#include "model/datafile.h"
#include "model/formula_check.h"
#include "model/funct.h"
#include "model/globals.h"
#include "platform/appgraphics.h"
#include "run/outlines.h"
#include "run/report.h"
#include "run/textfile.h"

namespace mainsub {

using outlines::abort_text;
using outlines::join_lines;

// ---- the driver call ----

namespace {

FitDriver& installed_driver() {
    static FitDriver driver;
    return driver;
}

sharc_mod::Outcome call_driver(sharc_mod::SharcArgs& args) {
    if (const auto& driver = installed_driver()) return driver(args);
    return sharc_mod::sharc(args);
}

}  // namespace

void set_fit_driver(FitDriver driver) { installed_driver() = std::move(driver); }

// ---- messages ----

namespace {

// A number as the messages write it: "I3", left-adjusted in three
// characters, a wider number in full; a blank follows whenever the number
// fills its columns, so that it never runs into the word that follows.
std::string i3(int n) {
    if (n > 999 || n < -99) return std::to_string(n) + " ";
    std::string s(3, ' ');
    stringlib::write_di(n, s, "I3");
    if (s.back() != ' ') s += ' ';
    return s;
}

}  // namespace

std::string confirmation_text(std::string_view model, std::string_view note) {
    const kalvor::FixedText text(model.size(), model);
    const std::string shown = "Y(P1,.., X1,..) = " + text.trimmed();
    if (note.empty())
        return join_lines({"The following model was selected for analysis:", "", shown, "Is this the correct data file?"});
    return join_lines({"The following model was selected for analysis:", "", shown, "", note, "",
                       "Is this the correct data file?"});
}

namespace {

// An abort body followed by the line naming the value of file line `line`
// that cannot be read, all with the closing line.
std::string with_unreadable_value(const std::string& body, int line, std::string_view value) {
    if (value.empty()) return abort_text(body);
    return abort_text(join_lines({body, "Cannot read line " + std::to_string(line) + ": " + std::string(value) + "."}));
}

// The lines of an abort message before its closing.
std::string abort_body(Abort id, int n1, int n2) {
    switch (id) {
    case Abort::A1:
        return join_lines({"The first row of the data file MUST contain the",
                           "User-defined function (e.g., y=p1*exp(-(x1-p2)**2/p3)).", "",
                           "Please correct the data file format and rerun the model."});
    case Abort::A3:
        return "There is a syntax error in the user-defined model.";
    case Abort::B1:
        return join_lines({"The number of X...,Y data rows in the data file",
                           "MUST BE GREATER than the number of active parameters",
                           "in the model function.", "",
                           "The data file suggests a total of " + i3(n1) + "X,Y data rows,",
                           "but the file contains only " + i3(n2) + "unmasked parameters."});
    case Abort::B2:
        return join_lines({"The number of active unmasked parameters in the model",
                           "MUST BE GREATER than one parameter in the model function.", "",
                           "The model suggests a total of " + i3(n1) + "parameters, but",
                           "the data file contains only " + i3(n2) + "unmasked parameters."});
    case Abort::B3:
        return join_lines({"The number of X...,Y data columns in the data file does",
                           "not equal the number of X1... plus Y variables in the model function.", "",
                           "The function suggests a total of " + i3(n1) + "X plus Y variables,",
                           "but the data file doesn't contain that number of X and Y data columns."});
    case Abort::B4:
        return join_lines({"A numeric syntax error was identified in parameter data file.",
                           "A number in row " + i3(n1) + "is not a valid numeric value."});
    case Abort::B5:
        return join_lines({"The number of P1...Pn parameter data columns in the data file",
                           "does not equal the number of parameters in the model function.", "",
                           "The function suggests a total of " + i3(n1) + "P parameters, but the",
                           "data file doesn't contain that number of parameter data columns."});
    case Abort::B6:
    case Abort::B7: {
        const bool lower = id == Abort::B6;
        return join_lines(
            {std::string("The number of ") + (lower ? "Lower" : "Upper") +
                 " Bound parameter data columns in the data file",
             "does not equal the number of P1... parameters in the model function.", "",
             "The function suggests a total of " + i3(n1) + "P parameters, but the",
             std::string("data file doesn't contain that number of ") + (lower ? "lower" : "upper") +
                 " bound data columns."});
    }
    case Abort::B8:
        return join_lines({"The total number of parameter Masks (T and F) in the data file",
                           "does not equal the number of P1... parameters in the model function.", "",
                           "The function suggests a total of " + i3(n1) + "P parameters, but the",
                           "data file doesn't contain that number of parameter masks."});
    case Abort::B9:
        return join_lines({"The number of active parameter data columns in the data file",
                           "must be greater than one parameter (UnMasked Parameters > 1).", "",
                           "The function suggests only " + i3(n1) + "P active parameter,",
                           "but the data file must contain at least 2 unmasked parameters.",
                           "Either add or unmask one or more parameters and rerun the model."});
    case Abort::B11:
        return join_lines({"A numeric syntax error was identified in the data file.",
                           "A number in row " + i3(n1) + "is not a valid numeric value."});
    case Abort::B12:
        return "A numeric syntax error was identified in the parameter data file.";
    case Abort::no_x_variable:
        return join_lines({"The user-defined function MUST contain at least one",
                           "X variable (X1, X2 or X3) of the data file.", "",
                           "Please correct the data file format and rerun the model."});
    case Abort::too_many_rows:
        return datafile::too_many_rows_message(n1, n2 != 0);
    case Abort::line_too_long:
        return join_lines({"Line " + std::to_string(n1) + " of the data file holds more than " +
                               std::to_string(datafile::record_width) + " characters.",
                           "", "Please shorten the line and rerun the model."});
    case Abort::no_parameter_lines:
        return join_lines({"The data ends at line " + std::to_string(n1) + ", before the data rows:",
                           "lines 2 to 5 of the data file must hold the initial values, the lower",
                           "bounds, the upper bounds and the masks of the parameters,",
                           "and the X...,Y data rows follow them.", "",
                           "Please correct the data file format and rerun the model."});
    case Abort::no_model_line:
        return join_lines({"No model line was found in the data file: its first lines are blank.", "",
                           "The first line that is not blank MUST contain the",
                           "User-defined function (e.g., y=p1*exp(-(x1-p2)**2/p3))."});
    case Abort::model_too_long:
        return join_lines({"The model line holds " + std::to_string(n1) + " characters, but at most " +
                               std::to_string(max_model_length) + " are read.",
                           "", "Please shorten the model line and rerun the model."});
    }
    return {};
}

}  // namespace

std::string abort_message(Abort id, int n1, int n2) { return abort_text(abort_body(id, n1, n2)); }

std::string value_abort_message(Abort id, int line, std::string_view value) {
    return with_unreadable_value(abort_body(id, line, 0), line, value);
}

std::string mask_abort_message(int line, int npar, std::string_view value) {
    return abort_text(join_lines({"The parameter masks on line " + std::to_string(line) +
                                      " of the data file cannot be read: " + std::string(value) + ".",
                                  "The line must hold one mask for each of the " + std::to_string(npar) +
                                      " parameters: T (fitted) or F (held fixed).",
                                  "", "Please correct the masks and rerun the model."}));
}

std::string row_width_abort_message(int line, int values, int nx, std::string_view decimal_comma) {
    std::string columns;
    for (int j = 1; j <= nx; ++j) columns += "X" + std::to_string(j) + (j < nx ? ", " : " and ");
    std::string body = join_lines(
        {"Line " + std::to_string(line) + " of the data file holds " + std::to_string(values) +
             (values == 1 ? " value" : " values") + ", but every data row must hold " + std::to_string(nx + 1) + ":",
         "the values of " + columns + "Y (a \"!\" after them may begin a comment)."});
    if (!decimal_comma.empty()) {
        std::string point(decimal_comma);
        std::replace(point.begin(), point.end(), ',', '.');
        body = join_lines({body, "", "The decimal separator is a point: \"" + std::string(decimal_comma) +
                                         "\" is read as two values; write " + point + "."});
    }
    return abort_text(join_lines({body, "", "Please correct the data row and rerun the model."}));
}

std::string bounds_abort_message(int parameter, double lower, double upper) {
    const auto number = [](double v) {
        kalvor::FixedText text(30, fortran_io::write("(1p,G12.5)", {v}));
        stringlib::s_adjustl(text.str());
        return text.trimmed();
    };
    const std::string name = "P" + std::to_string(parameter);
    return abort_text(join_lines({"The lower bound of " + name + " (" + number(lower) + ") is above its upper bound (" +
                                      number(upper) + ").",
                                  "", "Please correct the bounds of " + name + " in the data file and rerun the model."}));
}

std::string unevaluable_abort_message(int rows) {
    return abort_text(join_lines({"The model cannot be evaluated at the final parameters on any",
                                  "of the " + std::to_string(rows) + " data rows: every value is NaN, infinite or",
                                  "outside the domain of a function (such as ASIN of 2).", "",
                                  "Check the model and its initial values, then rerun the model."}));
}

std::string rows_left_note(int rows_read, int blank_line) {
    return join_lines({"Only " + std::to_string(rows_read) + " data rows were read: the blank line " +
                           std::to_string(blank_line) + " ends the data,",
                       "and the rows after line " + std::to_string(blank_line) + " were not read."});
}

namespace {

// The column (1-based) of the model text that a marker line of check_func
// points at: a "?" stands under it, "\*/" follows its first character; 0
// when the marker is blank.
std::size_t marked_column(std::string_view marker) {
    const auto at = marker.find_first_not_of("_ ");
    if (at == std::string_view::npos) return 0;
    return marker[at] == '\\' ? at : at + 1;
}

}  // namespace

std::string syntax_abort_message(int ierr, std::string_view message, std::string_view model,
                                 std::string_view marker) {
    const auto trim = [](std::string_view s) { return kalvor::FixedText(s.size(), s).trimmed(); };
    const std::string text = trim(model);
    // The marker line starts as wide as "y = ", so that it stands under the
    // text it marks; the column is also named, for a box whose font is not
    // fixed-width.
    std::string location = join_lines({"y = " + text, "____" + trim(marker)});
    if (const std::size_t column = marked_column(marker); column >= 1 && column <= text.size())
        location = join_lines({location, "The error is at character " + std::to_string(column) + ": \"" +
                                             text.substr(column - 1, 12) + "\"."});
    return join_lines({"Model function syntax error number " + i3(ierr), "", trim(message), "",
                       "Location of error in function:", location, "",
                       std::string(9, ' ') + "*** RUN ABORTED! ***"});
}

std::string row_abort_message(std::string_view data_file, int row, std::string_view value) {
    const kalvor::FixedText name(data_file.size(), data_file);
    return with_unreadable_value(
        join_lines({"A numeric syntax error was identified in the X vs Y data file: " + name.trimmed(),
                    "A number in row " + std::to_string(row) + " is not a valid numeric value."}),
        row, value);
}

// ---- pieces of the run ----

void clean_model_line(kalvor::FixedText& line) {
    const std::string copy = line.str();
    stringlib::s_cap_string(copy, line.str());
    stringlib::s_control_blank(line.str());
    stringlib::s_del_blank(line.str());
    stringlib::s_adjustl(line.str());
}

void reweight(std::span<const double> r, std::span<double> w) {
    if (r.empty()) return;
    for (std::size_t i = 0; i < r.size(); ++i) w[i] = std::fabs(r[i]) + 1.0;
    const double lowest = *std::min_element(w.begin(), w.begin() + static_cast<std::ptrdiff_t>(r.size()));
    for (std::size_t i = 0; i < r.size(); ++i) w[i] = std::clamp(w[i] - lowest + 1.0, 1.0, 10.0);
}

int assign_curves(const kalvor::Matrix& x, int nd, int nx, std::span<int> id2) {
    std::fill(id2.begin(), id2.begin() + std::max(nd, 0), 1);
    if (nx < 2 || nd < 2) return 1;
    int sets = 1;
    bool consistent = true;
    const double first = x(0, 1);
    double largest = first;
    for (int i = 1; i < nd; ++i) {
        if (x(i, 1) != x(i - 1, 1)) ++sets;
        id2[i] = sets;
        // A later return to the first set's X2 breaks the grouping.
        if (x(i, 1) == first && largest > first) consistent = false;
        largest = std::max(largest, x(i, 1));
    }
    consistent = consistent && id2[1] == 1 && id2[nd - 1] != 1;
    if (consistent) return sets;
    std::fill(id2.begin(), id2.begin() + nd, 1);
    return 1;
}

std::optional<std::string> next_series_file(std::string_view data_file) {
    const std::string name = kalvor::FixedText(data_file.size(), data_file).trimmed();
    const auto folder_end = name.find_last_of('/');
    const auto hash = name.rfind('#');
    if (hash == std::string::npos || (folder_end != std::string::npos && hash < folder_end)) return std::nullopt;
    std::size_t end = hash + 1;
    while (end < name.size() && std::isdigit(static_cast<unsigned char>(name[end]))) ++end;
    if (end == hash + 1 || end - hash - 1 > 9) return std::nullopt;
    const long number = std::stol(name.substr(hash + 1, end - hash - 1));
    return name.substr(0, hash + 1) + std::to_string(number + 1) + name.substr(end);
}

namespace {

// ---- one pass ----

enum class PassEnd { declined, rejected, aborted, fitted };

struct PassResult {
    PassEnd end = PassEnd::rejected;
    double sse = 0.0;  // the unweighted sum of squares the report prints
    double mic = 0.0;
};

// The run stops at a failed check: the message is shown, the data rejected.
struct Rejected {
    std::string message;
};

void reject(std::string message) { throw Rejected{std::move(message)}; }

// Steps of a Start before the shape checks: the model line, its
// classification, the confirmation and the syntax checks. rows is the row
// count of the data block. False when the user declined the model.
bool read_and_confirm_model(const datafile::FileText& file, int rows) {
    auto& cudf = common_udf::cudf;
    cudf.assign("");
    const auto line_length = static_cast<int>(datafile::a_function_line(file, cudf));
    if (line_length == 0) reject(abort_message(Abort::no_model_line));
    // A longer line would be cut and fail its syntax check at the cut.
    if (line_length > max_model_length) reject(abort_message(Abort::model_too_long, line_length));
    clean_model_line(cudf);
    globals::nmdl = 0;

    const bool named_model = stringlib::s_indexi(cudf.str(), "MODEL") > 0;
    if (named_model || stringlib::s_indexi(cudf.str(), "#") > 0) {
        if (named_model) stringlib::delsubstr(cudf.str(), "MODEL");
        stringlib::delsubstr(cudf.str(), "#");
        stringlib::s_adjustl(cudf.str());
        const std::string number = cudf.str().substr(0, 3);
        stringlib::s_to_i(number, globals::nmdl);
        kalvor::Text<3> digits(number);
        stringlib::s_adjustl(digits.str());
        cudf = " Model #" + digits.str();
    } else if (stringlib::s_indexi(cudf.str(), "X") == 0) {
        reject(abort_message(Abort::A1));
    }
    if (globals::nmdl != 0) reject(abort_message(Abort::A1));

    cudf.assign("");
    datafile::a_function_line(file, cudf);
    clean_model_line(cudf);
    stringlib::delsubstr(cudf.str(), "Y=");
    stringlib::s_adjustl(cudf.str());

    int blank_line = 0;
    const bool rows_left = rows >= 5 && datafile::rows_after_blank(file, blank_line) > 0;
    const std::string note = rows_left ? rows_left_note(rows - 5, blank_line) : std::string();
    if (!appgraphics::dlgyesno(appgraphics::DIALOG_INFORMATION, confirmation_text(cudf.str(), note))) {
        globals::bcorrectmdl = 0;
        globals::brerun = 1;
        return false;
    }
    globals::bcorrectmdl = 1;
    globals::brerun = 0;

    int npar = 0, nx = 0, length = 0, ierr = 0;
    kalvor::Text<512> msg;
    parse_func(npar, nx, cudf, length, ierr, msg);
    globals::berror = 0;
    kalvor::Text<512> text(cudf.str());
    stringlib::s_adjustl(text.str());
    kalvor::Text<512> marker;
    ierr = 0;
    check_func(text, marker, npar, nx, ierr, msg);
    if (ierr != 0) {
        globals::berror = 1;
        reject(syntax_abort_message(ierr, msg.str(), text.str(), marker.str()));
    }
    int valid = 0;
    check_udf(cudf.str(), valid);
    if (valid == 0) reject(abort_message(Abort::A3));
    return true;
}

// The values of the data file after the shape checks.
struct FileValues {
    int npar = 0;
    int nx = 0;
    int nd = 0;
    std::vector<int> mask;
    std::vector<double> start, lo, hi;
    std::vector<bool> pinned;  // free in the file, held by equal bounds
    kalvor::Matrix xy;         // nd x (nx + 1)
};

// A free parameter whose lower bound equals its upper bound is held at that
// value; a held one keeps its own value, whatever its bounds. Returns the
// number of parameters left free.
int pin_equal_bounds(FileValues& v) {
    int free = 0;
    v.pinned.assign(static_cast<std::size_t>(v.npar), false);
    for (int j = 0; j < v.npar; ++j) {
        if (v.mask[j] != 0 && v.lo[j] == v.hi[j]) {
            v.mask[j] = 0;
            v.start[j] = v.lo[j];
            v.pinned[j] = true;
        }
        if (v.mask[j] != 0) ++free;
    }
    return free;
}

// Shape checks and value reads, in the order of their messages. Nothing of
// the fit data is changed here.
FileValues check_and_read(const datafile::FileText& file, int rows) {
    if (globals::nmdl != 0) reject(abort_message(Abort::A1));
    FileValues v;
    int length = 0, ierr = 0;
    kalvor::Text<512> msg;
    parse_func(v.npar, v.nx, common_udf::cudf, length, ierr, msg);
    v.nd = rows - 5;
    if (v.nx < 1) reject(abort_message(Abort::no_x_variable));
    if (rows < 5) reject(abort_message(Abort::no_parameter_lines, datafile::file_line(file, rows + 1)));
    if (!datafile::rows_within_limit(v.nd)) reject(abort_message(Abort::too_many_rows, v.nd, file.cut() ? 1 : 0));

    int bad_line = 0, flag = 0;
    std::string bad_value;
    datafile::checkmaskdata(file, v.npar, bad_line, flag, &bad_value);
    if (flag != 0) reject(mask_abort_message(bad_line, v.npar, bad_value));
    v.mask.assign(static_cast<std::size_t>(v.npar), 0);
    datafile::rmask(v.mask, v.npar, file);
    const int active = static_cast<int>(std::count_if(v.mask.begin(), v.mask.end(), [](int m) { return m != 0; }));
    if (v.nd <= active) reject(abort_message(Abort::B1, v.nd, active));
    if (active == 0) reject(abort_message(Abort::B2, v.npar, 0));
    int count = 0;
    datafile::rxycols(count, file);
    if (count != v.nx + 1) reject(abort_message(Abort::B3, v.nx + 1));
    datafile::checkparameterdata(file, v.npar, bad_line, flag, &bad_value);
    if (flag != 0) reject(value_abort_message(Abort::B4, bad_line, bad_value));
    const std::pair<bool (*)(int&, const datafile::FileText&), Abort> column_checks[] = {
        {datafile::rparcols, Abort::B5},
        {datafile::rlocols, Abort::B6},
        {datafile::rhicols, Abort::B7},
        {datafile::rmaskcols, Abort::B8},
    };
    for (const auto& [columns, id] : column_checks) {
        count = 0;
        columns(count, file);
        if (count != v.npar) reject(abort_message(id, v.npar));
    }

    datafile::checkparsestr2real(file, v.nx + 1, bad_line, flag, &bad_value);
    if (flag != 0) reject(row_abort_message(file.path(), bad_line, bad_value));
    if (const auto row = datafile::row_of_other_width(file, v.nd, v.nx + 1); row.line != 0)
        reject(row_width_abort_message(row.line, row.values, v.nx, row.decimal_comma));
    datafile::rxy(v.xy, v.nd, v.nx + 1, file, bad_line, flag, &bad_value);
    if (flag != 0) reject(value_abort_message(Abort::B11, bad_line, bad_value));
    v.start.assign(static_cast<std::size_t>(v.npar), 0.0);
    datafile::rpar(v.start, v.npar, file, flag);
    if (flag != 0) reject(abort_message(Abort::B12));
    v.lo.assign(static_cast<std::size_t>(v.npar), 0.0);
    v.hi.assign(static_cast<std::size_t>(v.npar), 0.0);
    if (!datafile::rlo(v.lo, v.npar, file) || !datafile::rhi(v.hi, v.npar, file)) reject(abort_message(Abort::B12));
    for (int j = 0; j < v.npar; ++j)
        if (v.lo[j] > v.hi[j]) reject(bounds_abort_message(j + 1, v.lo[j], v.hi[j]));
    const int free = pin_equal_bounds(v);
    if (free < 2) reject(abort_message(Abort::B9, free));
    return v;
}

// Fills the fit data and the driver's arguments from the file's values.
void prepare_fit(const FileValues& v, bool restart, int mode, sharc_mod::SharcArgs& a) {
    const auto n = static_cast<std::size_t>(v.nd);
    const auto k = static_cast<std::size_t>(v.npar);
    a.x.resize(n, static_cast<std::size_t>(v.nx));
    a.y.assign(n, 0.0);
    a.ycalc.assign(n, 0.0);
    a.sig.assign(n, 1.0);
    a.mode = mode;
    a.m = v.nx;
    a.n = v.nd;
    a.p.assign(k, 0.0);
    a.k = v.npar;
    a.mask = v.mask;
    a.lo = v.lo;
    a.hi = v.hi;
    a.cap_plus_one = 95;
    a.tolerance = 1e-9;
    for (int j = 0; j < v.npar; ++j) {
        common_data::pboundlo[j] = v.lo[j];
        common_data::pboundhi[j] = v.hi[j];
        common_data::pmask[j] = v.mask[j];
        // A Restart goes on from the last fit, but equal bounds pin as at Start.
        if (restart && !v.pinned[j]) {
            a.p[j] = common_data::pfinal[j];
        } else {
            // A free parameter never starts at exactly zero.
            a.p[j] = (v.mask[j] != 0 && v.start[j] == 0.0) ? 1e-16 : v.start[j];
            common_data::pfinal[j] = a.p[j];
        }
    }
    common_data::npr = v.npar;
    common_data::nxd = v.nx;
    for (int i = 0; i < v.nd; ++i) {
        for (int j = 0; j < v.nx; ++j) a.x(i, j) = v.xy(i, j);
        a.y[i] = v.xy(i, v.nx);
        common_data::yd[i] = a.y[i];
    }
    common_data::id2number = assign_curves(a.x, v.nd, v.nx, common_data::id2);

    // Weights of the first fit: unit weights, except that a Restart of a
    // re-weighted run goes on from the residuals of the fit it continues.
    if (mode == funct::mode_sigma && restart)
        reweight(std::span<const double>(common_data::ydr.data(), n), a.sig);

    double y0 = fnparse2_recompile;
    std::vector<double> x0(static_cast<std::size_t>(v.nx));
    for (int j = 0; j < v.nx; ++j) x0[j] = a.x(0, j);
    if (!fnparse2(a.p, x0, v.npar, v.nx, 1, common_udf::cudf.str(), y0)) reject(abort_message(Abort::A3));
    globals::iopt2 = globals::iopt;
    globals::brewt = 0;
}

// How a fit left the run.
enum class FitEnd { goes_on, cancelled, aborted };

// One call of the driver, and what the run keeps of it.
FitEnd fit_once(sharc_mod::SharcArgs& a, int level, int bounded) {
    a.level = level;
    a.bounded = bounded;
    const auto outcome = call_driver(a);
    common_data::fssqr = a.ssq;
    for (int i = 0; i < a.n; ++i) common_data::ydf[i] = a.ycalc[i];
    if (outcome == sharc_mod::Outcome::aborted) return FitEnd::aborted;
    if (outcome == sharc_mod::Outcome::cancelled || globals::bcancelrun != 0) return FitEnd::cancelled;
    return FitEnd::goes_on;
}

// The first fit and the optional second one (re-weighted or Difficult);
// a first fit that was cancelled or aborted has no second one.
FitEnd run_fits(sharc_mod::SharcArgs& a, bool restart) {
    const FitEnd first = fit_once(a, globals::iopt, restart ? 0 : 1);
    if (first != FitEnd::goes_on) return first;
    const bool difficult = globals::iopt == 3;
    if (a.mode == funct::mode_sigma) {
        for (int i = 0; i < a.n; ++i) common_data::ydr[i] = common_data::ysig[i] = a.studentized[i];
        reweight(a.studentized, a.sig);
        if (!difficult) {
            globals::brewt = 1;
            return fit_once(a, globals::iopt, 0);
        }
    } else {
        std::fill(a.sig.begin(), a.sig.end(), 1.0);
        globals::bpostrun = 0;
        if (!difficult) return first;
    }
    globals::iopt2 = -1;
    globals::iopt = -1;
    globals::brewt = a.mode == funct::mode_sigma ? 1 : 0;
    return fit_once(a, 3, 0);
}

// The final evaluation at the fitted parameters, the report and the lines
// of the main window.
PassResult finish_pass(sharc_mod::SharcArgs& a) {
    const double sse = common_data::fssqr;
    for (int j = 0; j < a.k; ++j) a.p[j] = common_data::pfinal[j];
    double unused = 0.0;
    funct::fun(a.x, a.y, a.p, a.k, a.m, a.n, funct::mode_none, a.ycalc, a.sig, unused);
    // Guard values in place of every model value are no fit: the run ends
    // as the driver's abort does.
    const int unevaluable = funct::unevaluable_rows(a.x, a.p, a.k, a.m, a.n);
    if (unevaluable == a.n) {
        outlines::show_error(unevaluable_abort_message(a.n));
        common_data::fssqr = -1.0;
        globals::bcancelrun = 1;
        return {PassEnd::aborted};
    }
    for (int i = 0; i < a.n; ++i) common_data::ydr[i] = common_data::ysig[i] = a.studentized[i];
    if (a.mode == funct::mode_sigma) reweight(a.studentized, a.sig);

    report::FitSummary fit;
    fit.n = a.n;
    fit.npar = a.k;
    fit.nx = a.m;
    fit.mask = a.mask;
    fit.p = a.p;
    fit.se = a.se;
    fit.half_width = a.ci;
    fit.corr = a.corr;
    fit.influence = a.influence;
    fit.eigenvalues = a.eigenvalues;
    fit.runs = a.runs;
    fit.x = a.x;
    fit.y = a.y;
    fit.yfit = a.ycalc;
    fit.w = a.sig;
    fit.studres = a.studentized;
    fit.sse = sse;
    fit.model = common_udf::cudf.trimmed();
    fit.unevaluable = unevaluable;

    report::ReportStatistics stats;
    textfile::Temporary temporary;
    // A report that could not be written has been shown and logged as such.
    if (!report::write_report(fit, stats, temporary)) return {PassEnd::rejected};
    kalvor::Text<30> date;
    nrutil::f_date(date);
    const int nfixed = static_cast<int>(std::count(a.mask.begin(), a.mask.end(), 0));
    outlines::read_back(temporary.path(), a.n, a.k, nfixed, a.y, a.ycalc, date.str());
    // The run log shows the sum of squares the report prints.
    return {PassEnd::fitted, stats.unweighted_sse, stats.mic};
}

PassResult run_pass(bool restart) {
    try {
        auto& path = globals::input_file_name;
        stringlib::s_adjustl(path.str());
        // The file is read once, up to the end of its data block: every step
        // of the pass works on this one reading, whatever happens to the file
        // meanwhile (an edit while the confirmation is up, a new version
        // written during the fit).
        const datafile::FileText file(path.trimmed(), datafile::FileText::Extent::data_block);
        int rows = 0;
        if (!datafile::a_row_count(file, rows))
            reject(abort_text(join_lines({"The data file could not be opened:", file.path()})));
        if (file.long_line() != 0) reject(abort_message(Abort::line_too_long, file.long_line()));
        if (!restart && !read_and_confirm_model(file, rows)) return {PassEnd::declined};

        const FileValues values = check_and_read(file, rows);
        sharc_mod::SharcArgs args;
        prepare_fit(values, restart, globals::effective_iwt() - 1, args);
        // An aborted fit has been explained to the user by the driver: no report.
        if (run_fits(args, restart) == FitEnd::aborted) return {PassEnd::aborted};
        return finish_pass(args);
    } catch (const Rejected& r) {
        outlines::show_error(r.message);
    } catch (const std::exception& e) {
        // A reader that cannot open the file, or any other failure: the
        // run ends as rejected (a temporary report goes with its owner).
        outlines::show_error(abort_text(e.what()));
    }
    globals::bdataerror = 1;
    return {PassEnd::rejected};
}

// The file name without its folders.
std::string base_name(const std::string& path) {
    const auto slash = path.find_last_of("/:");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Steps a NEXT series to its next file; false when the series ends here.
bool step_series() {
    const std::string file = globals::input_file_name.trimmed();
    const auto next = next_series_file(file);
    if (!next) {
        outlines::show_information(join_lines({"The data file " + base_name(file) + " ends with NEXT, but its name",
                                               "carries no series number (#1, #2, ...) to step to.", "",
                                               "The series of runs has ended."}));
        return false;
    }
    std::error_code ec;
    if (!std::filesystem::exists(*next, ec)) {
        outlines::show_information(join_lines({"The data file " + base_name(file) + " ends with NEXT, but the",
                                               "next data file of the series does not exist:", *next, "",
                                               "The series of runs has ended."}));
        return false;
    }
    globals::input_file_name = *next;
    return true;
}

}  // namespace

}  // namespace mainsub

void main_sub() {
    using namespace mainsub;
    nrtype::epsmachine = prec_mod::prec(-1);
    const bool restart = globals::bpostrun == 1;
    for (;;) {
        const PassResult pass = run_pass(restart);
        outlines::StatusTexts texts;
        if (pass.end == PassEnd::fitted && globals::bcancelrun == 0) {
            texts = outlines::status_texts(pass.sse, pass.mic);
            outlines::log_run(globals::input_file_name.str(), texts);
        }
        globals::iexpzero = 0;
        // After a Quit the series ends here, without a further dialog.
        if (globals::bnext != 1 || restart || globals::bquit != 0) break;

        outlines::show_information(base_name(globals::input_file_name.trimmed()) + " : SSQR= " +
                                   texts.ssqr.trimmed() + " : MIC= " + texts.mic.trimmed());
        globals::bnext = 0;
        if (!step_series()) break;
    }
    globals::bnext = 0;
}
