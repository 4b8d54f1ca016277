#include "run/displaypar.h"

#include <array>
#include <string>
#include <string_view>

#include "foundations/stringconv.h"

namespace sharc {

namespace {

constexpr std::size_t field = 30;

// The value trimmed from its "G16.8" text, left-adjusted.
std::string value_text(double v) {
    std::string s(field, ' ');
    stringlib::write_dr(v, s, "G16.8");
    return s.substr(0, s.find_last_not_of(' ') + 1);
}

// prefix + value + suffix in a field of 30 characters, trimmed at the end.
std::string piece(std::string_view prefix, double v, std::string_view suffix = {}) {
    std::string s = std::string(prefix) + value_text(v) + std::string(suffix);
    if (s.size() > field) s.resize(field);
    const auto last = s.find_last_not_of(' ');
    return last == std::string::npos ? std::string() : s.substr(0, last + 1);
}

}  // namespace

void displaypar(std::span<const double> p, int n, kalvor::FixedText& text) {
    std::string line;
    if (n == 1) {
        line = piece("[ P1 = ", p[0]) + " ]";
    } else if (n == 2) {
        line = piece("[ P1 = ", p[0]) + piece(" P2 = ", p[1]) + " ]";
    } else if (n == 3) {
        line = piece("[ P1=", p[0]) + piece(" P2=", p[1]) + piece(" P3=", p[2]) + " ]";
    } else if (n >= 4 && n <= 8) {
        constexpr std::array<std::string_view, 8> prefixes = {"[ P1=", ", P2=", ", P3=", ", P4=",
                                                               "  P5=", ", P6=", ", P7=", ", P8="};
        for (int k = 0; k < n; ++k)
            line += piece(prefixes[static_cast<std::size_t>(k)], p[static_cast<std::size_t>(k)],
                          k == 3 && n >= 5 ? "," : "");
        line += " ]";
    } else if (n >= 9) {
        line = piece("( P(1) = ", p[0]) + " )";
    }
    text.assign(line);
}

}  // namespace sharc
