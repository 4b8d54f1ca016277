#include "views/xydatabox.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <vector>

#include "foundations/fortran_io.h"
#include "foundations/stringlib.h"
#include "model/globals.h"
#include "views/curves.h"
#include "views/textview.h"

namespace ag = appgraphics;

namespace xydatabox {

namespace {

// Every value in general form at full precision, followed by "," and three blanks.
constexpr std::string_view row_format = "(*(1p,G0,',',3X))";

}  // namespace

WindowSize xydatascreen_size(int nlines, int linelen) {
    WindowSize s;
    s.width = linelen <= 25 ? 555 : linelen <= 50 ? 580 : linelen <= 75 ? 605 : linelen <= 100 ? 630
            : linelen <= 125 ? 665 : 670;
    s.height = nlines <= 5 ? 145 : nlines <= 10 ? 158 : nlines <= 15 ? 219 : nlines <= 20 ? 307
             : nlines <= 30 ? 394 : nlines <= 40 ? 578 : nlines <= 45 ? 635 : nlines <= 50 ? 652
             : nlines <= 60 ? 753 : nlines <= 70 ? 840 : 875;
    return s;
}

CsvData fit_data() {
    using namespace common_data;
    const std::size_t rows = xnx.rows();
    CsvData d;
    d.nd = nd;
    d.nxd = nxd;
    d.x1 = xd;
    d.x2 = xd2;
    d.x3 = xnx.cols() >= 3 ? std::span<const double>(xnx.column(2), rows) : std::span<const double>(xd3);
    d.y = yd;
    d.ycalc = ydf;
    d.residual = ydr;
    d.id = id2;
    return d;
}

std::string csv_text(const CsvData& d) {
    const int nx = std::clamp(d.nxd, 1, 3);
    std::string out = nx == 1 ? "X,Y,Ycalc,Adj. Residuals"
                    : nx == 2 ? "X1,X2,Y,Ycalc,Adj. Residuals"
                              : "X1,X2,X3,Y,Ycalc,Adj. Residuals";
    out += '\n';
    const auto curves = curves::split(d.id, d.nd);
    const int maxlen = curves::longest(curves);
    std::vector<fortran_io::Value> row;
    for (int k = 0; k < maxlen; ++k) {
        row.clear();
        for (const auto& c : curves) {
            const bool inside = k < c.rows;
            const std::size_t r = static_cast<std::size_t>(c.first + k);
            auto value = [&](std::span<const double> column) { return inside ? column[r] : 0.0; };
            row.emplace_back(value(d.x1));
            if (nx >= 2) row.emplace_back(value(d.x2));
            if (nx == 3) row.emplace_back(value(d.x3));
            row.emplace_back(value(d.y));
            row.emplace_back(value(d.ycalc));
            row.emplace_back(value(d.residual));
        }
        out += fortran_io::write(row_format, row);
        out += '\n';
    }
    return out;
}

std::string csv_file_name(std::string_view output_file_name) {
    const std::string_view path = output_file_name.substr(0, stringlib::s_len_trim(output_file_name));
    const std::size_t slash = path.find_last_of('/');
    std::string_view name = slash == std::string_view::npos ? path : path.substr(slash + 1);
    name = name.substr(0, name.size() >= 4 ? name.size() - 4 : 0);
    return std::string(name.substr(0, 120)) + "_data.csv";
}

void xydatascreen(std::string_view title, std::string_view text, int nlines, int linelen, std::string_view help) {
    const WindowSize size = xydatascreen_size(nlines, linelen);
    textview::Layout layout;
    layout.width = size.width;
    layout.height = size.height;
    layout.menus = {{"File", {{"Save as CSV Data", savescreen}, {"Print Data Screen", printscreen}, {"Close", quitt}}}};
    textview::show(layout, title, text, help);
}

void savescreen() {
    const std::string name = csv_file_name(globals::output_file_name.view());
    // The whole path, so that the user can find the file.
    const std::string path = std::filesystem::absolute(globals::cwd.trimmed() + name).lexically_normal().string();
    const std::string text = csv_text(fit_data());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (out) {
        out << text;
        out.close();
    }
    if (!out) {
        ag::dlgmessage(ag::DIALOG_ERROR, "The results data could not be written to the file\r\n" + path);
    } else {
        ag::dlgmessage(ag::DIALOG_INFORMATION, "Results data saved to file " + path + ".");
    }
    ag::refreshall();
}

void printscreen() { textview::print_image(); }

void quitt() { textview::quitt(); }

void bttn(std::string_view help) { textview::bttn(help); }

}  // namespace xydatabox
