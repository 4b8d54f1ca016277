#include "run/outlines.h"

#include <fstream>
#include <iostream>
#include <system_error>

#include "foundations/error_handler.h"
#include "foundations/fortran_io.h"
#include "foundations/stringlib.h"
#include "foundations/stringconv.h"
#include "model/globals.h"
#include "platform/appgraphics.h"

namespace outlines {

std::string join_lines(std::initializer_list<std::string_view> lines) {
    std::string text;
    bool first = true;
    for (const auto line : lines) {
        if (!first) text += crlf;
        first = false;
        text += line;
    }
    return text;
}

std::string aborted_line() { return std::string(30, ' ') + "*** RUN ABORTED! ***"; }

std::string abort_text(std::string_view body) { return join_lines({body, "", aborted_line()}); }

void show_error(std::string_view text) {
    appgraphics::dlgmessage(appgraphics::DIALOG_ERROR, text.substr(0, message_limit));
}

void show_information(std::string_view text) {
    appgraphics::dlgmessage(appgraphics::DIALOG_INFORMATION, text.substr(0, message_limit));
}

bool plausible_fit(int n, int npar, int nfixed, std::span<const double> y, std::span<const double> yfit) {
    double sse = 0.0;
    for (int i = 0; i < n; ++i) {
        const double d = y[i] - yfit[i];
        sse += d * d;
    }
    return !(n - npar + nfixed <= 2 && sse < 1e-20);
}

void delete_temporary(const std::filesystem::path& temporary) {
    std::error_code ec;
    if (std::filesystem::exists(temporary, ec)) std::filesystem::remove(temporary, ec);
}

namespace {

// The first `width` characters of line contain word (case ignored).
bool head_contains(const std::string& line, std::size_t width, std::string_view word) {
    return stringlib::s_indexi(std::string_view(line).substr(0, width), word) > 0;
}

// Shows the failure of the read-back and marks the data as rejected.
bool fail_read_back(const std::filesystem::path& temporary, std::string_view message) {
    delete_temporary(temporary);
    show_error(message);
    globals::bdataerror = 1;
    return false;
}

}  // namespace

bool read_back(const std::filesystem::path& temporary, int n, int npar, int nfixed, std::span<const double> y,
               std::span<const double> yfit, std::string_view date) {
    std::ifstream in(temporary);
    if (!in) {
        std::cout << fortran_io::write("(/1x, A30)", {"INPUT DATA FILE - Fatal error!"}) << '\n';
        return fail_read_back(temporary,
                              abort_text("There is an error in reading results data file."));
    }
    if (!plausible_fit(n, npar, nfixed, y, yfit)) {
        in.close();
        return fail_read_back(temporary, join_lines({"There was an error in calculating the results.",
                                                     "The data lacks randomness and the",
                                                     "number of data points minus number of parameters < 3.",
                                                     "", "Add more X,Y data points and rerun.", "",
                                                     aborted_line()}));
    }

    std::string record;
    stringlib::read_record(in, record);  // the empty line that opens the report
    for (auto& line : globals::sline3) line.assign("");
    globals::nlines3 = 0;
    while (stringlib::read_record(in, record)) {
        globals::cline = record;
        if (head_contains(globals::cline.str(), 80, "NUMBER")) break;
        if (globals::nlines3 < summary_limit) globals::sline3[globals::nlines3++] = globals::cline.str();
    }
    globals::sline3[globals::nlines3++] = "Saved in file: " + globals::output_file_name.trimmed();
    globals::sline3[globals::nlines3++].assign("");
    kalvor::Text<30> date_text(date);
    stringlib::s_adjustl(date_text.str());
    globals::sline3[globals::nlines3++] = "Date Saved: " + date_text.trimmed();

    // The last block: its title names "Ycalc"; the column header and the
    // data rows after it are kept, whatever the number of x columns.
    globals::cline.assign("");
    for (auto& line : globals::sline5) line.assign("");
    globals::nlines5 = 0;
    bool title_seen = false;
    while (globals::nlines5 < globals::screen_lines && stringlib::read_record(in, record)) {
        globals::cline = record;
        if (title_seen) {
            globals::sline5[globals::nlines5++] = globals::cline.str();
        } else {
            title_seen = head_contains(globals::cline.str(), 50, "YCALC");
        }
    }
    in.close();
    delete_temporary(temporary);
    return true;
}

StatusTexts status_texts(double sse, double mic) {
    StatusTexts texts;
    texts.ssqr = fortran_io::write("(1p,G11.5)", {sse});
    texts.mic = fortran_io::write("(G10.4)", {mic});
    texts.status = "SSQR= " + texts.ssqr.trimmed() + " : MIC= " + texts.mic.trimmed();
    return texts;
}

void log_run(std::string_view input_file, const StatusTexts& texts) {
    log_event(input_file.substr(0, 80), std::string_view(texts.status).substr(0, 80), error_handler::information);
}

void log_event(std::string_view routine, std::string_view message, int error_state) {
    error_handler::display_message(routine, message, error_state, error_handler::run_log_name,
                                   globals::cwd.trimmed());
}

}  // namespace outlines
