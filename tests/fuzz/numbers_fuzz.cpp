// Fuzzes the number readers: the input is one record, read as every kind of
// number, as a list-directed record, under formats, and as a data-file line.

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "foundations/fortran_io.h"
#include "foundations/stringconv.h"
#include "model/datafile.h"
#include "model/datafile_io.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view record(reinterpret_cast<const char*>(data), size);
    double d = 0.0;
    float f = 0.0f;
    int i = 0, ierr = 0, used = 0;
    long long ll = 0;
    bool b = false;
    fortran_io::read_real(record, d);
    fortran_io::read_real(record, f);
    fortran_io::read_int(record, i);
    fortran_io::read_int(record, ll);
    fortran_io::read_logical(record, b);
    fortran_io::read_real_formatted(record, "(g30.23)", d);
    fortran_io::read_real_formatted(record, "(2P,F10.3)", d);
    fortran_io::read_int_formatted(record, "(I8)", i);

    std::vector<std::string> items;
    fortran_io::read_list(record, items);
    std::array<double, 4> reals{};
    std::array<int, 4> ints{};
    std::array<bool, 4> logicals{};
    fortran_io::read_list_reals(record, reals);
    fortran_io::read_list_ints(record, ints);
    fortran_io::read_list_logicals(record, logicals);

    stringlib::s_to_i(record, i);
    stringlib::s_to_r4(record, f, ierr, used);
    stringlib::write_str_dr(record, d, ierr);
    stringlib::write_str_di(record, i, ierr);
    std::string text(record);
    stringlib::valsub(text, d, ierr);

    // As a line of a data file.
    std::string line(record);
    int count = 0;
    datafile::s_col_count(line, count);
    datafile::read_reals(record, reals);
    datafile::unreadable_value(record, 3);
    datafile::block_end(record);
    return 0;
}
