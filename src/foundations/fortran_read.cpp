#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <limits>
#include <string>

#include "foundations/fortran_format.h"
#include "foundations/fortran_io.h"

namespace fortran_io {
namespace {

bool is_blank(char c) { return c == ' ' || c == '\t' || c == '\r'; }

std::string_view trim_blanks(std::string_view s)
{
    while (!s.empty() && is_blank(s.front())) s.remove_prefix(1);
    while (!s.empty() && is_blank(s.back())) s.remove_suffix(1);
    return s;
}

bool is_digit(char c) { return c >= '0' && c <= '9'; }

// A real number text split into its parts: value = digits x 10^exponent.
struct RealText {
    bool negative = false;
    std::string digits;       // mantissa digits without the point
    bool has_point = false;
    long exponent = 0;        // power of ten applied to digits as an integer
    bool has_exponent = false;
};

// Exponent digits saturate here: any value beyond over- or underflows.
constexpr long exponent_cap = 100000;

// Parses [sign] mantissa [exponent] with no blanks inside; the exponent is
// E, D or Q (either case) with an optional sign, or a sign alone.  At least
// one mantissa digit is required.
bool parse_real_text(std::string_view s, RealText& r)
{
    std::size_t i = 0;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) r.negative = s[i++] == '-';
    long after_point = 0;
    for (; i < s.size(); ++i) {
        const char c = s[i];
        if (is_digit(c)) {
            r.digits += c;
            if (r.has_point) ++after_point;
        } else if (c == '.' && !r.has_point) {
            r.has_point = true;
        } else {
            break;
        }
    }
    if (r.digits.empty()) return false;
    if (i < s.size()) {
        const char c = static_cast<char>(std::toupper(static_cast<unsigned char>(s[i])));
        if (c == 'E' || c == 'D' || c == 'Q') ++i;
        else if (c != '+' && c != '-') return false;
        bool negative_exp = false;
        if (i < s.size() && (s[i] == '+' || s[i] == '-')) negative_exp = s[i++] == '-';
        if (i == s.size()) return false;
        long e = 0;
        for (; i < s.size(); ++i) {
            if (!is_digit(s[i])) return false;
            e = std::min(e * 10 + (s[i] - '0'), exponent_cap);
        }
        r.has_exponent = true;
        r.exponent = negative_exp ? -e : e;
    }
    r.exponent -= after_point;
    return true;
}

// The nearest T to a parsed text, converted once from the exact decimal
// value; false on overflow.  Underflow gives a zero of the text's sign.
template <class T>
bool to_floating(const RealText& r, T& value)
{
    const std::size_t first = r.digits.find_first_not_of('0');
    T v = 0;
    if (first != std::string::npos) {
        const std::string text = r.digits.substr(first) + "e" + std::to_string(r.exponent);
        const auto res = std::from_chars(text.data(), text.data() + text.size(), v);
        if (res.ec == std::errc::result_out_of_range) {
            // The decimal exponent of the leading digit tells overflow from underflow.
            const long lead = r.exponent + static_cast<long>(r.digits.size() - first) - 1;
            if (lead > 0) return false;
            v = 0;
        } else if (res.ec != std::errc() || !std::isfinite(v)) {
            return false;
        }
    }
    value = r.negative ? -v : v;
    return true;
}

template <class Int>
bool parse_integer(std::string_view s, Int& value)
{
    s = trim_blanks(s);
    bool negative = false;
    if (!s.empty() && (s.front() == '+' || s.front() == '-')) {
        negative = s.front() == '-';
        s.remove_prefix(1);
    }
    if (s.empty()) return false;
    unsigned long long mag = 0;
    const unsigned long long limit = negative ? 0ULL - static_cast<unsigned long long>(std::numeric_limits<Int>::min())
                                              : static_cast<unsigned long long>(std::numeric_limits<Int>::max());
    for (const char c : s) {
        if (!is_digit(c)) return false;
        if (mag > (limit - static_cast<unsigned>(c - '0')) / 10) return false;
        mag = mag * 10 + static_cast<unsigned>(c - '0');
    }
    value = negative ? static_cast<Int>(0ULL - mag) : static_cast<Int>(mag);
    return true;
}

// The field of a formatted read: the first w characters (blank-padded when
// the text is shorter) with every blank removed, as blanks in a numeric input
// field are ignored.
std::string field_without_blanks(std::string_view text, int w)
{
    std::string f;
    const std::size_t n = std::min(text.size(), static_cast<std::size_t>(w));
    for (std::size_t i = 0; i < n; ++i)
        if (!is_blank(text[i])) f += text[i];
    return f;
}

// The single data edit descriptor of a read format, with the scale factor
// in force before it.
const detail::Token& read_descriptor(const detail::Format& f, std::string_view format, int& scale)
{
    scale = 0;
    for (const auto& t : f.tokens) {
        if (t.op == detail::Op::Scale) scale = t.n;
        if (t.op == detail::Op::Data) return t;
    }
    throw FormatError("Bad format \"" + std::string(format) + "\": no data edit descriptor to read with");
}

// List-directed splitting of at most limit values; slash tells whether a
// "/" ended the values.
bool split_list(std::string_view record, std::vector<std::string>& items, bool& slash, std::size_t limit)
{
    items.clear();
    slash = false;
    if (!record.empty() && record.back() == '\r') record.remove_suffix(1);
    const std::size_t n = record.size();
    std::size_t i = 0;
    auto skip_blanks = [&] { while (i < n && is_blank(record[i])) ++i; };
    auto ends_value = [&](std::size_t k) { return k >= n || is_blank(record[k]) || record[k] == ',' || record[k] == '/'; };

    for (;;) {
        skip_blanks();
        if (i >= n || items.size() >= limit) return true;
        if (record[i] == ',') {   // a comma with no value before it: null value
            items.emplace_back();
            ++i;
            continue;
        }
        if (record[i] == '/') {
            slash = true;
            return true;
        }
        // Optional repeat count r*.
        long repeat = 1;
        bool repeated = false;
        {
            std::size_t k = i;
            long r = 0;
            while (k < n && is_digit(record[k]) && r <= 1'000'000) r = r * 10 + (record[k++] - '0');
            if (k > i && k < n && record[k] == '*') {
                // More copies than values are still wanted is a malformed record.
                if (r < 1 || static_cast<std::size_t>(r) > limit - items.size()) return false;
                repeat = r;
                repeated = true;
                i = k + 1;
            }
        }
        std::string value;
        bool null_value = false;
        if (repeated && ends_value(i)) {
            null_value = true;   // r* alone: r null values
        } else if (record[i] == '\'' || record[i] == '"') {
            const char quote = record[i++];
            for (;;) {
                if (i >= n) return false;
                const char c = record[i++];
                if (c == quote) {
                    if (i < n && record[i] == quote) { value += quote; ++i; }
                    else break;
                } else {
                    value += c;
                }
            }
            if (!ends_value(i)) return false;
        } else {
            const std::size_t start = i;
            while (!ends_value(i)) ++i;
            value.assign(record.substr(start, i - start));
        }
        for (long r = 0; r < repeat; ++r) items.push_back(null_value ? std::string() : value);
        // The separator after a value: blanks and at most one comma.
        skip_blanks();
        if (i < n && record[i] == ',') ++i;
    }
}

}  // namespace

bool read_real(std::string_view text, double& value)
{
    RealText r;
    return parse_real_text(trim_blanks(text), r) && to_floating(r, value);
}

bool read_real(std::string_view text, float& value)
{
    RealText r;
    return parse_real_text(trim_blanks(text), r) && to_floating(r, value);
}

bool read_real_formatted(std::string_view text, std::string_view format, double& value)
{
    const detail::Format f = detail::parse_format(format);
    int scale = 0;
    const detail::Token& t = read_descriptor(f, format, scale);
    if (t.edit == detail::Edit::I || t.edit == detail::Edit::A || t.edit == detail::Edit::L || t.w <= 0 || t.d == detail::absent)
        throw FormatError("Bad format \"" + std::string(format) + "\": a real is read with Fw.d, Ew.d, Dw.d, ESw.d, ENw.d or Gw.d");
    const std::string field = field_without_blanks(text, t.w);
    if (field.empty()) {
        value = 0.0;
        return true;
    }
    RealText r;
    if (!parse_real_text(field, r)) return false;
    if (!r.has_point) r.exponent -= t.d;            // implied decimals
    if (!r.has_exponent) r.exponent -= scale;       // kP divides a number without exponent by 10^k
    return to_floating(r, value);
}

bool read_int(std::string_view text, int& value) { return parse_integer(text, value); }
bool read_int(std::string_view text, long long& value) { return parse_integer(text, value); }

bool read_int_formatted(std::string_view text, std::string_view format, int& value)
{
    const detail::Format f = detail::parse_format(format);
    int scale = 0;
    const detail::Token& t = read_descriptor(f, format, scale);
    if (t.edit != detail::Edit::I || t.w <= 0)
        throw FormatError("Bad format \"" + std::string(format) + "\": an integer is read with Iw");
    const std::string field = field_without_blanks(text, t.w);
    if (field.empty()) {
        value = 0;
        return true;
    }
    return parse_integer(field, value);
}

bool read_logical(std::string_view text, bool& value)
{
    text = trim_blanks(text);
    if (!text.empty() && text.front() == '.') text.remove_prefix(1);
    if (text.empty()) return false;
    const char c = static_cast<char>(std::toupper(static_cast<unsigned char>(text.front())));
    if (c != 'T' && c != 'F') return false;
    value = c == 'T';
    return true;
}

bool read_list(std::string_view record, std::vector<std::string>& items, bool* ended_by_slash,
               std::size_t max_items)
{
    bool slash = false;
    const bool ok = split_list(record, items, slash, max_items);
    if (ended_by_slash) *ended_by_slash = slash;
    return ok;
}

namespace {

// Converts the first values.size() values of a record; null values leave
// their element alone.  Too few values are an error unless a slash ended them.
template <class T, class Convert>
bool read_list_typed(std::string_view record, std::span<T> values, Convert convert)
{
    std::vector<std::string> items;
    bool slash = false;
    if (!split_list(record, items, slash, values.size())) return false;
    for (std::size_t k = 0; k < values.size(); ++k) {
        if (k >= items.size()) return slash;
        if (items[k].empty()) continue;
        T v{};
        if (!convert(items[k], v)) return false;
        values[k] = v;
    }
    return true;
}

}  // namespace

bool read_list_reals(std::string_view record, std::span<double> values)
{
    return read_list_typed(record, values, [](const std::string& s, double& v) { return read_real(s, v); });
}

bool read_list_ints(std::string_view record, std::span<int> values)
{
    return read_list_typed(record, values, [](const std::string& s, int& v) { return read_int(s, v); });
}

bool read_list_logicals(std::string_view record, std::span<bool> values)
{
    return read_list_typed(record, values, [](const std::string& s, bool& v) { return read_logical(s, v); });
}

}  // namespace fortran_io
