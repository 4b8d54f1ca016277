// Older table readers and writers of the data-file component.

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "foundations/fortran_io.h"
#include "foundations/stringconv.h"
#include "foundations/stringlib.h"
#include "model/datafile_io.h"
#include "model/globals.h"

namespace datafile {

namespace {

bool begins_with_any(const kalvor::FixedText& line, std::string_view marks) {
    return marks.find(line(1)) != std::string_view::npos;
}

}  // namespace

void file_row_count(std::string_view path, int& count) {
    LineFile file(path);
    if (!file.is_open()) {
        open_failure("FILE_ROW_COUNT - Fatal error #6!", path, file.unit());
        count = -1;
        return;
    }
    count = 0;
    std::string record;
    while (file.next(record)) {
        const kalvor::FixedText line = adjusted_record(record);
        if (line.blank()) continue;
        if (begins_with_any(line, "'\"")) break;
        if (begins_with_any(line, "!#")) continue;
        ++count;
    }
}

void file_column_count(std::string_view path, int& count, int& flag) {
    flag = 0;
    LineFile file(path);
    if (!file.is_open()) {
        open_failure("FILE_COLUMN_COUNT - Fatal error #5!", path, file.unit());
        count = -1;
        flag = 1;
        return;
    }
    std::string record;
    while (file.next(record)) {
        kalvor::FixedText line = adjusted_record(record);
        if (line.blank() || begins_with_any(line, "!#'\"")) continue;
        s_col_count(line.str(), count);
        return;
    }
    console(" \nFILE_COLUMN_COUNT - Warning!\n  The file does not seem to contain any data.");
    count = -1;
}

void r4mat_header_read(std::string_view path, int& m, int& n) {
    const auto io_problem = [&](const char* fatal, const char* what) {
        const std::string text = std::string(" \n") + fatal +
                                 "\n  There was some kind of I/O problem while trying\n  to count the number of data " +
                                 what + " in\n  the file \"" + trimmed_path(path) + "\".";
        console(text);
        fail(text);
    };
    int flag = 0;
    file_column_count(path, m, flag);
    if (m <= 0) io_problem("DATA FILE READ - Fatal error #7!", "columns");
    file_row_count(path, n);
    if (n <= 0) io_problem("DATA FILE READ - Fatal error #8!", "rows");
}

void r4mat_data_read(std::string_view path, int m, int n, std::vector<float>& table) {
    LineFile file(path);
    if (!file.is_open()) fail(open_failure("R4MAT_DATA_READ - Fatal error #4!", path, file.unit()));
    table.assign(static_cast<std::size_t>(std::max(m, 0)) * static_cast<std::size_t>(std::max(n, 0)), 0.0f);
    std::vector<double> row(static_cast<std::size_t>(std::max(m, 0)));
    int lines = 0;
    std::string record;
    bool bad = false;
    while (lines < n && file.next(record)) {
        const kalvor::FixedText line = adjusted_record(record);
        if (line.blank() || line(1) == '#') continue;
        std::fill(row.begin(), row.end(), 0.0);
        if (!read_reals(record, row)) {
            bad = true;
            break;
        }
        for (std::size_t i = 0; i < row.size(); ++i)
            table[i + static_cast<std::size_t>(lines) * row.size()] = static_cast<float>(row[i]);
        ++lines;
    }
    if (bad || lines < n) {
        const std::string text = " \nR4MAT_DATA_READ - Fatal error #5!\n  Error while reading lines of data.\n" +
                                 number_line("  Number of values expected per line M = ", m) + "\n" +
                                 number_line("  Number of data lines needed, N =       ", n);
        console(text);
        fail(text);
    }
}

void rcdata(int& rows, int& cols, std::string_view path) {
    constexpr const char* count_error = "READ ROW,COLUMN DATA ERROR!";
    LineFile file(path);
    if (!file.is_open()) {
        console(input_fatal);
        fail(std::string(input_fatal) + "\n" + count_error);
    }
    std::string record;
    std::vector<std::string> items;
    int r = 0;
    int c = 0;
    if (!file.next(record)) fail(count_error);
    fortran_io::read_list(record, items, nullptr, 2);
    if (items.size() < 2 || !fortran_io::read_int(items[0], r) || !fortran_io::read_int(items[1], c))
        fail(count_error);
    rows = r;
    cols = c;
}

void rdata(kalvor::Matrix& table, int n, int m, std::string_view path) {
    // A table file holds its row and column counts on the first line.
    LineFile file(path);
    if (!file.is_open()) fail_unopened_data();
    const auto data_error = [] { fail(read_data_fatal); };
    table.resize(static_cast<std::size_t>(std::max(n, 0)), static_cast<std::size_t>(std::max(m, 0)));
    std::vector<double> row(static_cast<std::size_t>(std::max(m, 0)));
    std::string record;
    if (!file.next(record)) data_error();
    for (std::size_t i = 0; i < table.rows(); ++i) {
        std::fill(row.begin(), row.end(), 0.0);
        if (!file.next(record) || !read_reals(record, row)) data_error();
        for (std::size_t j = 0; j < row.size(); ++j) table(i, j) = row[j];
    }
}

void wdata(const kalvor::Matrix& table, int n, int m, std::string_view title, std::string_view name) {
    const std::string file_name = trimmed_path(name) + ".txt";
    console(" \n Write Data " + kalvor::FixedText(title.size(), title).trimmed() + " to a file " + file_name);
    std::ofstream out(std::filesystem::path(file_name), std::ios::out | std::ios::trunc);
    if (!out) {
        console("OUTPUT DATA FILE - Fatal error!");
        fail("OUTPUT DATA FILE - Fatal error!\nWRITE DATA ERROR!");
    }
    std::vector<double> row(static_cast<std::size_t>(std::max(m, 0)));
    for (int i = 0; i < n; ++i) {
        for (std::size_t j = 0; j < row.size(); ++j) row[j] = table(static_cast<std::size_t>(i), j);
        out << fortran_io::write_reals("(1000(1p,E12.5,3x))", row) << '\n';
    }
    if (!out) fail("OUTPUT DATA FILE - Fatal error!\nWRITE DATA ERROR!");
}

void data_row_count(int unit, std::string_view path, int& count) {
    const bool took_unit = open_unit(unit);
    count = -1;
    LineFile file(path);
    if (file.is_open()) {
        count = 0;
        std::string record;
        while (file.next(record)) {
            const kalvor::FixedText line = adjusted_record(record);
            if (line.blank() || begins_with_any(line, "!#'\"")) break;
            ++count;
        }
    }
    if (took_unit) close_unit(unit);
}

void read_data_ouput_file(std::string_view path, std::vector<kalvor::FixedText>& lines, int& count) {
    constexpr std::size_t line_width = 220;
    constexpr int max_lines = 4999;
    globals::bnext = 0;
    lines.clear();
    count = 0;
    LineFile file(path);
    if (!file.is_open()) fail(open_failure("File_DATA_READ - Fatal error #1!", path, file.unit()));
    std::string record;
    while (count < max_lines && file.next(record)) {
        kalvor::FixedText line(line_width, record);
        stringlib::s_control_blank(line.str());
        stringlib::s_whitespace_blank(line.str());
        const BlockEnd end = block_end(line.view());
        if (end == BlockEnd::end) break;
        if (end == BlockEnd::next) {
            globals::bnext = 1;
            break;
        }
        if (line(1) != '#') line.assign("! " + line.str());
        lines.push_back(line);
        ++count;
    }
}

void comment_out_first_line(std::string_view path) {
    LineFile file(path);
    if (!file.is_open()) fail(open_failure("File_DATA_READ - Fatal error #3C!", path, file.unit()));
    const std::string out_name = trimmed_path(path) + ".txt";
    std::ofstream out(std::filesystem::path(out_name), std::ios::out | std::ios::trunc);
    if (!out) {
        const std::string text = " \nFile_DATA_WRITE - Fatal error #2!\n  Could not open the output file \"" +
                                 out_name + "\"";
        console(text);
        fail(text);
    }
    std::string record;
    while (file.line_number() < 1000 && file.next(record)) {
        kalvor::FixedText line(record_width, record);
        std::string text = line.trimmed();
        if (file.line_number() == 1 && !line.blank() && line(1) != '#') text = "# " + text;
        out << text << '\n';
    }
}

}  // namespace datafile
