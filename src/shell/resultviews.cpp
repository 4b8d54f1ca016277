#include "shell/resultviews.h"

#include <algorithm>

#include "views/curves.h"

namespace resultviews {

namespace {

constexpr std::string_view crlf = "\r\n";

std::string_view rtrim(std::string_view s) {
    const auto last = s.find_last_not_of(' ');
    return last == std::string_view::npos ? std::string_view() : s.substr(0, last + 1);
}

// text = trim(text) // CR LF // line
void append_line(std::string& text, std::string_view line) {
    text.resize(rtrim(text).size());
    text += crlf;
    text += line;
}

int widest(std::span<const Line> lines, int count) {
    int w = 1;
    for (int i = 0; i < count && i < static_cast<int>(lines.size()); ++i)
        w = std::max(w, static_cast<int>(lines[static_cast<std::size_t>(i)].len_trim()));
    return w;
}

bool any_not_above_zero(const std::vector<float>& v, const std::vector<int>& npts, int ld) {
    for (std::size_t k = 0; k < npts.size(); ++k) {
        for (int i = 0; i < npts[k]; ++i) {
            if (v[k * static_cast<std::size_t>(ld) + static_cast<std::size_t>(i)] <= 0.0f) return true;
        }
    }
    return false;
}

}  // namespace

ViewText results_text(std::span<const Line> lines, int nlines) {
    ViewText t;
    const int n = std::clamp(nlines, 0, static_cast<int>(lines.size()));
    t.clen = widest(lines, n - 1);
    if (n > 0) t.text = lines[0].view();
    for (int i = 1; i < n; ++i) append_line(t.text, lines[static_cast<std::size_t>(i)].view());
    t.nlines = nlines + 1;
    return t;
}

ViewText xydata_text(std::span<const Line> lines, int nlines) {
    ViewText t;
    const bool long_table = nlines > 51;
    const int n = long_table ? 52 : std::clamp(nlines, 0, static_cast<int>(lines.size()));
    auto line = [&](int i) -> std::string_view {  // 1-based
        if (long_table && i >= 52) return truncation_marker;
        return i <= static_cast<int>(lines.size()) ? lines[static_cast<std::size_t>(i - 1)].view() : "";
    };
    t.clen = 1;
    for (int i = 1; i <= n; ++i) t.clen = std::max(t.clen, static_cast<int>(rtrim(line(i)).size()));

    t.text = nlines > 52 ? "\r\n\r\n" : "\r\n\r\n\r\n";
    int k = n + 1;
    for (int i = 1; i <= n; ++i) {
        append_line(t.text, line(i));
        if (line(i).find('.') == std::string_view::npos) {
            k = i;
            break;
        }
    }
    if (k + 3 > 50) {
        t.nlines = 51;
        append_line(t.text, truncation_marker);
    } else {
        t.nlines = k;
        append_line(t.text, std::string(static_cast<std::size_t>(std::max(t.clen - 10, 0)), '-'));
    }
    return t;
}

PlotData plot_data(int nd, std::span<const double> x, std::span<const double> y, std::span<const double> yc,
                   std::span<const int> id) {
    const int rows = std::min({nd, static_cast<int>(x.size()), static_cast<int>(y.size()),
                               static_cast<int>(yc.size())});
    const auto split = curves::split(id, rows);
    PlotData d;
    d.ncurves = static_cast<int>(split.size());
    d.capped = d.ncurves == curves::max_curves;
    d.ld = curves::longest(split);
    const std::size_t size = static_cast<std::size_t>(d.ld) * split.size();
    d.x.assign(size, 0.0f);
    d.y.assign(size, 0.0f);
    d.yc.assign(size, 0.0f);
    for (std::size_t k = 0; k < split.size(); ++k) {
        d.npts.push_back(split[k].rows);
        for (int i = 0; i < split[k].rows; ++i) {
            const auto at = k * static_cast<std::size_t>(d.ld) + static_cast<std::size_t>(i);
            const auto row = static_cast<std::size_t>(split[k].first + i);
            d.x[at] = static_cast<float>(x[row]);
            d.y[at] = static_cast<float>(y[row]);
            d.yc[at] = static_cast<float>(yc[row]);
        }
    }
    return d;
}

std::string refusal(int kind, const PlotData& d, bool from_logxy) {
    const bool y_bad = any_not_above_zero(d.y, d.npts, d.ld) || any_not_above_zero(d.yc, d.npts, d.ld);
    switch (kind) {
    case kind_logx:
        if (!any_not_above_zero(d.x, d.npts, d.ld)) return {};
        return "Curve data for this semilog(X) plot must be greater than zero\r\n"
               "since the Log(x) when x is < or = zero is undefined.";
    case kind_xyx:
        if (!y_bad) return {};
        return std::string(from_logxy ? "Y curve data" : "Y data") +
               " for this X/Y plot must be > 1E-15\r\n"
               "since X/Y when Y is less than 1E-15 is undefined.";
    case kind_logy:
        if (!y_bad) return {};
        return "Y curve data for this semilog(Y) plot must be greater than zero\r\n"
               "since the Log(Y) when Y is < or = zero is undefined.";
    default:
        return {};
    }
}

PlotFlags plot_flags(int kind) {
    switch (kind) {
    case kind_logx: return {'N', 'Y', 'N'};
    case kind_xyx: return {'Y', 'Y', 'Y'};
    case kind_logy: return {'Y', 'N', 'N'};
    default: return {'Y', 'Y', 'N'};
    }
}

}  // namespace resultviews
