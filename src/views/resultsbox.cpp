#include "views/resultsbox.h"

#include <algorithm>

#include "foundations/stringconv.h"
#include "foundations/stringlib.h"
#include "model/globals.h"
#include "views/textview.h"

namespace ag = appgraphics;

namespace resultsbox {

namespace {

// A line break of the report: line feed and a blank.
constexpr std::string_view br = "\n ";

const std::string& explanation() {
    static const std::string text = [] {
        std::string e = "Eigenvector Proportions Condition Index";
        e += br;
        e += br;
        for (const char* line : {"A variable associated with a high condition index contributes",
                                 "strongly to the variance of two or more variables. If the",
                                 "condition index is above 30 and two eigenvector proportions",
                                 "in adjacent columns are greater or equal to 0.30, then there",
                                 "may exist collinearity among those variables. But if the",
                                 "condition index is between 10 and 30, it may indicate that",
                                 "multicollinearity is moderate among those variables."}) {
            e += line;
            e += br;
        }
        e += br;
        e += "References:";
        e += br;
        for (const char* line : {"Kim, J. H. (2019). Multicollinearity and misleading statis-",
                                 "tical results. Korean J. Anesthesiol., 72(6), 558-569.",
                                 "Belsley, D. A., Kuh, E., Welsch, R. E. (1980). Regression",
                                 "Diagnostics: Influential Data/Sources of Collinearity",
                                 "John Wiley & Sons."}) {
            e += line;
            e += br;
        }
        e += br;
        return e;
    }();
    return text;
}

std::string_view trimmed(std::string_view s) { return s.substr(0, stringlib::s_len_trim(s)); }

// Appends text after the trimmed end of the table (its trailing blanks,
// also the blank of a line break, give way).
void append(std::string& table, std::string_view text) {
    table.resize(trimmed(table).size());
    table += text;
}

std::string written(double v, std::string_view fmt) {
    std::string s(30, ' ');
    stringlib::write_dr(v, s, fmt);
    return std::string(trimmed(s));
}

double entry(const kalvor::Matrix& m, int r, int c) {
    const auto i = static_cast<std::size_t>(r - 1), j = static_cast<std::size_t>(c - 1);
    return i < m.rows() && j < m.cols() ? m(i, j) : 0.0;
}

}  // namespace

WindowSize resultsscreen_size(int nlines, int linelen) {
    WindowSize s;
    s.width = linelen < 26 ? 580 : linelen < 51 ? 605 : linelen < 76 ? 630 : linelen <= 100 ? 655
            : linelen < 126 ? 690 : 700;
    s.height = nlines <= 10 ? 129 : nlines <= 20 ? 258 : nlines <= 30 ? 386 : nlines <= 40 ? 558
             : nlines <= 45 ? 618 : nlines <= 50 ? 643 : nlines <= 60 ? 729 : nlines <= 70 ? 823 : 900;
    return s;
}

std::string condition_report(int npr, std::span<const int> pmask, const kalvor::Matrix& cimat) {
    const int n = std::clamp(npr, 0, static_cast<int>(pmask.size()));
    int na = 0;
    std::string table = ".   Index";
    for (int i = 1; i <= n; ++i) {
        if (pmask[static_cast<std::size_t>(i - 1)] == 0) continue;
        ++na;
        append(table, "       P" + std::to_string(i));
    }
    append(table, std::string("  ") + std::string(br));
    for (int r = 1; r <= na + 1; ++r) {
        for (int c = 1; c <= na + 1; ++c) {
            double v = entry(cimat, r, c);
            if (c == 1) {
                const bool capped = v > 1000.0;
                if (capped) v = index_cap;
                const int w = v >= 1000.0 ? 3 : (v >= 100.0 || capped) ? 2 : v >= 10.0 ? 1 : 0;
                const std::string text = written(v, "F8.1");
                const int pad = std::max(0, 8 - static_cast<int>(text.size()) - w);
                append(table, std::string(static_cast<std::size_t>(pad), ' ') + text + "  |");
            } else {
                const std::string text = written(v, "F5.2");
                append(table, std::string(static_cast<std::size_t>(std::max(0, 8 - static_cast<int>(text.size()))), ' ') +
                                  text);
            }
        }
        append(table, std::string("  ") + std::string(br));
    }
    append(table, std::string(br) + std::string(78, '-') + std::string(br));

    std::string report(trimmed(explanation()));
    report += trimmed(table);
    report += ' ';
    report.resize(report_length, ' ');
    return report;
}

void resultsscreen(std::string_view title, std::string_view text, int nlines, int linelen, std::string_view help) {
    const WindowSize size = resultsscreen_size(nlines, linelen);
    textview::Layout layout;
    layout.width = size.width;
    layout.height = size.height;
    layout.menus = {{"File", {{"Save Screen", savescreen}, {"Print Screen", printscreen}, {"Close", quitt}}},
                    {"Condition Number", {{"Eigenvector Proportions", condidx}}}};
    textview::show(layout, title, text, help);
}

void savescreen() { textview::save_image(); }

void printscreen() { textview::print_image(); }

void quitt() { textview::quitt(); }

void bttn(std::string_view help) { textview::bttn(help); }

void condidx() {
    ag::dlgmessage(ag::DIALOG_INFORMATION,
                   condition_report(common_data::npr, common_data::pmask, common_data::cimat));
}

}  // namespace resultsbox
