// Checking and reading data files of the older "*.IN" layout.

#include <algorithm>

#include "foundations/fortran_io.h"
#include "model/datafile_io.h"
#include "model/globals.h"

namespace datafile {

namespace {

// What went wrong in a "*.IN" file; the value is the failure flag returned.
enum class XyFault {
    none = 0,
    open = 1,          // the file cannot be opened
    model = 2,         // no quoted model line, or no parameter count
    parameters = 3,    // a parameter line with fewer than three numbers
    bounds = 4,        // lower bound, value, upper bound out of order
    rows = 5,          // an X/Y row that cannot be read
    too_many_rows = 6, // more X/Y rows than the fit arrays hold
    too_many_x = 7,    // more X columns than X1..X3
};

struct XyParse {
    XyFault fault = XyFault::none;
    int parameter_lines = 0;  // parameter lines read before a failure
};

// The text between the first quote of the line and the matching quote.
bool quoted_model(const kalvor::FixedText& line, std::string& model) {
    const char quote = line(1);
    if (quote != '\'' && quote != '"') return false;
    const std::string text = line.trimmed();
    const auto close = text.find(quote, 1);
    if (close == std::string::npos) return false;
    model = text.substr(1, close - 1);
    return true;
}

XyParse parse_xy(std::string_view path, XyData& data) {
    XyParse result;
    LineFile file(path);
    if (!file.is_open()) {
        result.fault = XyFault::open;
        return result;
    }
    data = XyData{};
    std::string record;
    if (!file.next(record) || !quoted_model(adjusted_record(record), data.model)) {
        result.fault = XyFault::model;
        return result;
    }
    std::vector<std::string> items;
    if (!file.next(record) || (fortran_io::read_list(record, items, nullptr, 1), items.empty()) ||
        !fortran_io::read_int(items[0], data.np) || data.np < 0 || data.np > common_data::param_slots) {
        result.fault = XyFault::model;
        return result;
    }
    std::vector<double> triple(3);
    for (int k = 0; k < data.np; ++k) {
        std::fill(triple.begin(), triple.end(), 0.0);
        if (!file.next(record) || !read_reals(record, triple)) {
            result.fault = XyFault::parameters;
            return result;
        }
        ++result.parameter_lines;
        if (!(triple[0] <= triple[1] && triple[1] <= triple[2] && triple[0] < triple[2])) {
            result.fault = XyFault::bounds;
            return result;
        }
        data.lower.push_back(triple[0]);
        data.value.push_back(triple[1]);
        data.upper.push_back(triple[2]);
    }
    std::vector<std::vector<double>> rows;
    int ncols = 0;
    while (file.next(record)) {
        kalvor::FixedText line = adjusted_record(record);
        if (line.blank() || block_end(line.view()) != BlockEnd::none) break;
        if (rows.empty()) {
            s_col_count(line.str(), ncols);
            if (ncols - 1 > common_data::max_x) {
                result.fault = XyFault::too_many_x;
                return result;
            }
        }
        if (static_cast<int>(rows.size()) == common_data::max_rows) {
            result.fault = XyFault::too_many_rows;
            return result;
        }
        std::vector<double> row(static_cast<std::size_t>(ncols), 0.0);
        if (ncols < 2 || !read_reals(record, row)) {
            result.fault = XyFault::rows;
            return result;
        }
        rows.push_back(std::move(row));
    }
    data.nrows = static_cast<int>(rows.size());
    data.nx = std::max(ncols - 1, 0);
    data.xy.resize(rows.size(), static_cast<std::size_t>(ncols));
    for (std::size_t i = 0; i < rows.size(); ++i)
        for (std::size_t j = 0; j < rows[i].size(); ++j) data.xy(i, j) = rows[i][j];
    return result;
}

}  // namespace

int check_xydata(std::string_view path, std::string_view name) {
    XyData data;
    const XyParse parse = parse_xy(path, data);
    const std::string file_name = trimmed_path(name);
    switch (parse.fault) {
    case XyFault::open:
        console(" INPUT DATA FILE *.IN - Fatal error #-3\n Try rerunning the data file " + file_name +
                "\n using a different optimization method.");
        break;
    case XyFault::model:
        console("DATA INPUT - error #-2\n  Possible cause of error:.\n    (1) Reading line of model data, or\n"
                "    (2) check that model function is enclosed in quotations,\n"
                "        e.g., 'P1*X1/(P2 + X1)', or \n    (3) exit and rerun data file " +
                file_name);
        break;
    case XyFault::parameters:
        console("DATA INPUT - error!\n  Error while reading lines of parameter data.\n" +
                number_line("  Number of values expected per line = ", 3) + "\n" +
                number_line("  Number of data lines read =          ", parse.parameter_lines) + "\n" +
                number_line("  Number of data lines needed, N =       ", data.np));
        break;
    case XyFault::bounds:
        console("DATA INPUT ERROR, LOWER BOUND, PARAMETER, UPPER BOUND NOT VALID OR DOESN'T EXIST.");
        break;
    default:
        break;
    }
    return static_cast<int>(parse.fault);
}

int read_xydata(std::string_view path, XyData& data) {
    const XyParse parse = parse_xy(path, data);
    switch (parse.fault) {
    case XyFault::open:
        console("INPUT DATA FILE *.IN - Fatal error #0!");
        break;
    case XyFault::too_many_rows:
        console("PROGRAM ABORTED, X,Y DATA NUMBER EXCEEDED ");
        break;
    case XyFault::too_many_x:
        console("PROGRAM ABORTED, X DATA COLUMNS EXCEEDED ");
        break;
    default:
        break;
    }
    return static_cast<int>(parse.fault);
}

}  // namespace datafile
