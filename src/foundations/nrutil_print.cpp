// Printing of vectors and matrices, and the date texts of the report.

#include <algorithm>
#include <cmath>
#include <ctime>
#include <iostream>
#include <vector>

#include "foundations/fortran_io.h"
#include "foundations/nrutil.h"
#include "foundations/runtime.h"
#include "foundations/stringlib.h"

namespace nrutil {
namespace {

void check_square(const kalvor::Matrix& a, int rows, int cols, const char* routine) {
    if (static_cast<std::size_t>(std::max(rows, 0)) > a.rows() ||
        static_cast<std::size_t>(std::max(cols, 0)) > a.cols())
        throw std::out_of_range(std::string("nrutil::") + routine + ": block larger than the matrix");
}

// The 1-based column numbers j0..j1 as output items, after the given leading items.
std::vector<fortran_io::Value> numbers(int j0, int j1, std::vector<fortran_io::Value> items = {}) {
    for (int j = j0; j <= j1; ++j) items.emplace_back(j);
    return items;
}

// Row i (1-based) of a, columns j0..j1, after the given leading items.
std::vector<fortran_io::Value> row_items(const kalvor::Matrix& a, int i, int j0, int j1,
                                         std::vector<fortran_io::Value> items) {
    for (int j = j0; j <= j1; ++j) items.emplace_back(a(i - 1, j - 1));
    return items;
}

void write_line(std::ostream& out, std::string_view format, std::span<const fortran_io::Value> items) {
    out << fortran_io::write(format, items) << '\n';
}

void print_chunks(std::ostream& unit, std::span<const double> x, int n, int m, std::string_view value_format) {
    m = std::max(m, 1);
    for (int j0 = 1; j0 <= n; j0 += m) {
        const int j1 = std::min(j0 + m - 1, n);
        write_line(unit, "(4X,10(I2,11X))", numbers(j0, j1));
        unit << fortran_io::write_reals(value_format, x.subspan(j0 - 1, j1 - j0 + 1)) << '\n';
    }
}

std::string trimmed(std::string_view text) { return std::string(text.substr(0, stringlib::s_len_trim(text))); }

// "Www Mmm dd hh:mm:ss yyyy" for the current local time, as ctime gives it.
std::string ctime_text() {
    const std::time_t t = runtime::Clock::to_time_t(runtime::now());
    char buffer[64] = {};
    if (ctime_r(&t, buffer) == nullptr) return {};
    std::string text(buffer);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
    return text;
}

}  // namespace

void vecprn(std::ostream& unit, std::span<const double> x, int n, int m) {
    detail::check_count(n, x.size(), "vecprn");
    print_chunks(unit, x, n, m, "(1X,10(ES10.3,3X))");
}

void vecprn3(std::ostream& unit, std::span<const double> x, int n, int m) {
    detail::check_count(n, x.size(), "vecprn3");
    print_chunks(unit, x, n, m, "(2X,10(F7.3,6X))");
}

void matprn(std::ostream& unit, const kalvor::Matrix& a, int n, int k) {
    check_square(a, n, n, "matprn");
    // The header format holds ten column numbers; wider blocks would run
    // the next number into its text descriptor.
    k = std::clamp(k, 1, 10);
    for (int j0 = 1; j0 <= n; j0 += k) {
        const int j1 = std::min(j0 + k - 1, n);
        write_line(unit, "(A,10I14)", numbers(j0, j1, {" "}));
        for (int i = 1; i <= n; ++i) write_line(unit, "(I3,A,10(ES14.6,1X))", row_items(a, i, j0, j1, {i, "   "}));
    }
}

void mat_print(int m, int n, const kalvor::Matrix& a, std::string_view title) {
    mat_print(m, n, a, title, std::cout);
}

void mat_print(int m, int n, const kalvor::Matrix& a, std::string_view title, std::ostream& out) {
    check_square(a, m, n, "mat_print");
    out << '\n';
    if (const std::string head = trimmed(title); !head.empty()) out << head << '\n';
    double amax = 0.0;
    for (int j = 0; j < n; ++j)
        for (int i = 0; i < m; ++i) amax = std::max(amax, std::fabs(a(i, j)));
    const std::string_view row_format = amax < 1.0e6 ? "(i6,5f14.6)" : "(i6,5g14.6)";
    for (int j0 = 1; j0 <= n; j0 += 5) {
        const int j1 = std::min(j0 + 4, n);
        out << '\n';
        write_line(out, "(6x,5(i7,7x))", numbers(j0, j1));
        out << '\n';
        for (int i = 1; i <= m; ++i) write_line(out, row_format, row_items(a, i, j0, j1, {i}));
    }
    out << '\n';
}

void print_array_2d(const kalvor::Matrix& a, int m, int w, int d, int& k, std::string_view title) {
    print_array_2d(a, m, w, d, k, title, std::cout);
}

void print_array_2d(const kalvor::Matrix& a, int m, int w, int d, int& k, std::string_view title,
                    std::ostream& out) {
    check_square(a, m, m, "print_array_2d");
    out << '\n' << trimmed(title.substr(0, std::min<std::size_t>(title.size(), 128))) << '\n';
    const std::string row_format =
        fortran_io::write("(A4,I0,A2,I0,A1,I0,A5)", {"(I3,", m, "(F", w, ".", d, ",1x))"});
    const std::string header_format = fortran_io::write("(A4,I0,A2,I0,A5)", {"(4X,", m, "(I", 3, ",8x))"});
    k = 5;
    for (int j0 = 1; j0 <= m; j0 += k) {
        const int j1 = std::min(j0 + k - 1, m);
        out << '\n';
        write_line(out, header_format, numbers(j0, j1));
        for (int i = 1; i <= m; ++i) write_line(out, row_format, row_items(a, i, j0, j1, {i}));
    }
}

void f_date(kalvor::FixedText& d) { d = ctime_text(); }

void current_date(kalvor::FixedText& d) { d = ctime_text(); }

}  // namespace nrutil
