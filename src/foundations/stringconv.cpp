#include "foundations/stringconv.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <stdexcept>
#include <vector>

#include "foundations/fortran_io.h"
#include "foundations/runtime.h"
#include "foundations/stringlib.h"

namespace stringlib {

namespace {

constexpr char kBlank = ' ';
constexpr std::size_t kFormatLength = 80;
constexpr std::size_t kNumberTextLength = 30;

std::size_t trimmed(std::string_view s) { return static_cast<std::size_t>(s_len_trim(s)); }

// Place one formatted record into the fixed text s; a record that does not
// fit (too long, or more than one record) fills s with "*".
void put_record(std::string& s, const std::string& record) {
    if (record.size() > s.size() || record.find('\n') != std::string::npos)
        std::fill(s.begin(), s.end(), '*');
    else
        set_text(s, record);
}

// "(" + trimmed descriptor + ")", cut at the length of a format text.
std::string descriptor_format(std::string_view fmt) {
    std::string format = "(" + std::string(fmt.substr(0, trimmed(fmt))) + ")";
    if (format.size() > kFormatLength) format.resize(kFormatLength);
    return format;
}

std::string number_text(const fortran_io::Value& value, std::string_view fmt) {
    std::string result(kNumberTextLength, kBlank);
    put_record(result, fortran_io::write(fmt.substr(0, trimmed(fmt)), {value}));
    return result;
}

// Nearest integer, halves away from zero, saturated to the 32-bit range.
int nearest_int(double x) {
    if (std::isnan(x)) return 0;
    if (x >= 2147483647.0) return INT_MAX;
    if (x <= -2147483648.0) return INT_MIN;
    return static_cast<int>(std::lround(x));
}

// Shared body of str2real and valsub: ok is true only for a number.
double convert_number_text(std::string& s, bool& ok) {
    ok = false;
    const std::size_t n = trimmed(s);
    if (n == 0) return 0.0;
    for (std::size_t i = 0; i < n; ++i)
        if (s[i] == 'D' || s[i] == 'd') s[i] = 'e';
    // The conversion works on a copy, so neither the length of s nor a
    // missing free position limits it.
    std::string text = s.substr(0, n);
    if (text.find_first_not_of("1234567890+-.eE") != std::string::npos) return 0.0;
    // An explicit point keeps implied decimals from applying.
    if (text.find('.') == std::string::npos) {
        std::size_t e = text.find('e');
        if (e == std::string::npos) e = text.find('E');
        if (e == std::string::npos)
            text.push_back('.');
        else
            text.insert(e, 1, '.');
    }
    double value = 0.0;
    if (!fortran_io::read_real(text, value)) return 0.0;
    ok = true;
    return value;
}

// 10 to the integer power k by repeated squaring in single precision, the
// reciprocal for negative k.
float power_of_ten(long long k) {
    unsigned long long n = static_cast<unsigned long long>(k < 0 ? -k : k);
    float x = 10.0f;
    float y = (n % 2) ? x : 1.0f;
    while (n >>= 1) {
        x = x * x;
        if (n % 2) y = y * x;
    }
    return k < 0 ? 1.0f / y : y;
}

void report_bad_number(std::string_view s) {
    std::printf("\nS_TO_R4 - Serious error!\n  Illegal or nonnumeric input:\n    %.*s\n",
                static_cast<int>(trimmed(s)), s.data());
}

}  // namespace

// ---- numbers to text -------------------------------------------------------------

void write_di(int i, std::string& s, std::string_view fmt) {
    put_record(s, fortran_io::write(descriptor_format(fmt), {i}));
    left_adjust(s);
}

void write_dr(double x, std::string& s, std::string_view fmt) {
    put_record(s, fortran_io::write(descriptor_format(fmt), {x}));
    left_adjust(s);
}

std::string stringi(int i, std::string_view fmt) { return number_text(i, fmt); }
std::string stringr(float x, std::string_view fmt) { return number_text(x, fmt); }

void intstr(int i, std::string& s, int nd) {
    const long long q = std::min<long long>(nd, nlength(s));
    if (q > 30) throw std::length_error("INTSTR - more than 30 digits requested");
    std::string field;
    if (q > 0) {
        const long long magnitude = i < 0 ? -static_cast<long long>(i) : i;
        const std::string digits = std::to_string(magnitude);
        if (digits.size() > static_cast<std::size_t>(q)) {
            field.assign(static_cast<std::size_t>(q), '*');
        } else {
            field = std::string(static_cast<std::size_t>(q) - digits.size(), '0') + digits;
            if (i < 0) field.insert(0, 1, '-');
            if (field.size() > s.size()) field.assign(s.size(), '*');
        }
    }
    set_text(s, field);
}

void real2strng(double x, std::string& s, int nd) {
    // The integer part must be a 32-bit integer.
    if (!(std::fabs(x) < 2147483648.0)) {
        std::fill(s.begin(), s.end(), '*');
        return;
    }
    const int whole = static_cast<int>(std::trunc(x));
    std::fill(s.begin(), s.end(), kBlank);
    if (whole == 0) {
        // The sign of a value between -1 and 0 is kept.
        set_text(s, x < 0.0 ? "-0" : "0");
    } else {
        const int digits = i4_length(whole) - (whole < 0 ? 1 : 0);
        intstr(whole, s, digits);
    }
    const int places = std::clamp(nd, 0, 9);
    long long scale = 1;
    for (int k = 0; k < places; ++k) scale *= 10;
    const double magnitude = std::fabs(x);
    const double fraction = std::trunc((magnitude - std::trunc(magnitude)) * static_cast<double>(scale));
    std::string tail = ".";
    if (places > 0) {
        const std::string digits = std::to_string(std::min(static_cast<long long>(fraction), scale - 1));
        tail += std::string(static_cast<std::size_t>(places) - digits.size(), '0') + digits;
    }
    set_text(s, s.substr(0, trimmed(s)) + tail);
}

std::string real2str(double x) {
    std::string result(kNumberTextLength, kBlank);
    if (x == 0.0) {
        set_text(result, "0.");
        return result;
    }
    std::string text = fortran_io::write("(G15.7)", {x});
    text.erase(0, std::min(text.find_first_not_of(kBlank), text.size()));
    text.erase(trimmed(text));
    if (!std::isfinite(x)) {
        set_text(result, text);
        return result;
    }
    if (!text.empty() && text[0] == '0') text.erase(0, 1);
    auto replace_first = [&text](std::string_view from, std::string_view to) {
        const std::size_t p = text.find(from);
        if (p != std::string::npos) text.replace(p, from.size(), to);
    };
    replace_first("E+0", "E");
    replace_first("E+", "E");
    replace_first("E-0", "E-");
    // The exponent starts at the E, or at its sign when it has no letter
    // (three-digit exponents).
    std::size_t e = text.find('E');
    if (e == std::string::npos) e = text.find_first_of("+-", 1);
    std::string mantissa = text.substr(0, e);
    const std::string exponent = e == std::string::npos ? std::string() : text.substr(e);
    mantissa.erase(mantissa.find_last_not_of('0') + 1);
    if (!mantissa.empty() && mantissa.back() == '.') mantissa.pop_back();
    text = mantissa + exponent;
    if (text.find('.') == std::string::npos) text.push_back('.');
    if (text[0] == '.') text.insert(0, 1, '0');
    set_text(result, text);
    return result;
}

int i4_length(int i) {
    long long magnitude = i < 0 ? -static_cast<long long>(i) : i;
    int count = i < 0 ? 1 : 0;
    do {
        ++count;
        magnitude /= 10;
    } while (magnitude > 0);
    return count;
}

int ch_to_digit(char c, int& d) {
    if (ch_is_digit(c))
        d = c - '0';
    else
        d = c == kBlank ? 0 : -1;
    return d;
}

void dig_to_chr(int d, char& c) { c = (d >= 0 && d <= 9) ? static_cast<char>('0' + d) : '*'; }

void s_trim_zeros(std::string& s) {
    std::size_t n = trimmed(s);
    while (n > 0 && s[n - 1] == '0') s[--n] = kBlank;
    // A final point gets one zero back when there is room for it.
    if (n > 0 && s[n - 1] == '.' && n < s.size()) s[n] = '0';
}

void s_trim_zero(std::string& s) {
    const std::size_t n = trimmed(s);
    const std::size_t e = std::min(s.find_first_of("eE"), n);
    const std::string exponent = s.substr(e, n - e);
    std::string mantissa = s.substr(0, e);
    mantissa.erase(trimmed(mantissa));
    if (mantissa.find_first_not_of('0') != std::string::npos) {
        mantissa.erase(mantissa.find_last_not_of('0') + 1);
        // The zero after a final point is added only when the exponent
        // still fits behind it.
        if (mantissa.back() == '.' && mantissa.size() + 1 + exponent.size() <= s.size()) mantissa.push_back('0');
    }
    set_text(s, mantissa + exponent);
}

void s_trim_prezeros(std::string& s) {
    if (!s.empty() && s[0] == '0') {
        const std::size_t run = std::min(s.find_first_not_of('0'), s.size());
        std::fill(s.begin(), s.begin() + static_cast<std::ptrdiff_t>(run), kBlank);
    }
    removesp(s);
}

// ---- text to numbers ---------------------------------------------------------------

void s_to_i(std::string_view s, int& ival) {
    ival = 0;
    const std::size_t n = trimmed(s);
    std::size_t i = 0;
    while (i < n && s[i] == kBlank) ++i;
    int sign = 1;
    if (i < n && (s[i] == '-' || s[i] == '+')) {
        if (s[i] == '-') sign = -1;
        ++i;
        while (i < n && s[i] == kBlank) ++i;
    }
    // Saturate instead of overflowing on long digit strings.
    const long long limit = sign < 0 ? 2147483648LL : 2147483647LL;
    long long magnitude = 0;
    for (; i < n && ch_is_digit(s[i]); ++i) magnitude = std::min(limit, 10 * magnitude + (s[i] - '0'));
    ival = static_cast<int>(sign * magnitude);
}

double str2real(std::string& s) {
    bool ok = false;
    return convert_number_text(s, ok);
}

int str2int(std::string& s) { return nearest_int(str2real(s)); }

void valsub(std::string& s, double& x, int& ierr) {
    x = 0.0;
    ierr = 1;
    bool ok = false;
    const double value = convert_number_text(s, ok);
    if (!ok) return;
    x = value;
    ierr = 0;
}

void s_to_r4(std::string_view s, float& r, int& ierror, int& used) {
    // States: 1 start, 2 sign, 3 integer digits, 4 point, 5 fraction digits,
    // 6 exponent letter, 7 exponent sign, 8 exponent digits, 9 point in the
    // exponent, 10 exponent fraction digits, 11 blank after the number.
    const std::size_t n = trimmed(s);
    r = 0.0f;
    ierror = 0;
    int state = 1;
    float isgn = 1.0f, rtop = 0.0f, rbot = 1.0f;
    long long jsgn = 1, jtop = 0, jbot = 1;
    // Exponent digits saturate (any such power over- or underflows a float);
    // exponent fraction digits and mantissa fraction digits beyond the range
    // of a float are ignored rather than overflowing to inf/inf.
    constexpr long long kExponentCap = 1000000;
    constexpr float kFractionCap = 1.0e36f;
    std::size_t pos = 0;
    while (pos < n) {
        const char c = s[pos];
        bool ended = false;
        if (c == kBlank) {
            if (state == 6 || state == 7)
                ended = true;
            else if (state != 1 && state != 2)
                state = 11;
        } else if (c == ',' || c == ';') {
            if (state != 1) {
                ++pos;  // the separator counts as used
                break;
            }
        } else if (c == '-' || c == '+') {
            if (state == 1) {
                state = 2;
                if (c == '-') isgn = -1.0f;
            } else if (state == 6) {
                state = 7;
                if (c == '-') jsgn = -1;
            } else {
                ended = true;
            }
        } else if (c == '.') {
            if (state <= 3)
                state = 4;
            else if (state >= 6 && state <= 8)
                state = 9;
            else
                ended = true;
        } else if (c == 'E' || c == 'e' || c == 'D' || c == 'd') {
            if (state <= 5)
                state = 6;
            else
                ended = true;
        } else if (ch_is_digit(c) && state < 11) {
            if (state <= 2)
                state = 3;
            else if (state == 4)
                state = 5;
            else if (state == 6 || state == 7)
                state = 8;
            else if (state == 9)
                state = 10;
            const int d = c - '0';
            if (state == 3) {
                rtop = 10.0f * rtop + static_cast<float>(d);
            } else if (state == 5) {
                if (rtop < kFractionCap && rbot < kFractionCap) {
                    rtop = 10.0f * rtop + static_cast<float>(d);
                    rbot = 10.0f * rbot;
                }
            } else if (state == 8) {
                jtop = std::min(kExponentCap, 10 * jtop + d);
            } else if (jbot < kExponentCap) {
                jtop = 10 * jtop + d;
                jbot = 10 * jbot;
            }
        } else {
            ended = true;
        }
        if (ended) break;  // the ending character is not used
        ++pos;
    }
    used = static_cast<int>(pos);
    if (state == 1 || state == 2 || state == 6 || state == 7) {
        ierror = state;
        report_bad_number(s);
        return;
    }
    if (rtop == 0.0f) {  // zero whatever its exponent (0 x inf would be NaN)
        r = isgn * 0.0f;
        return;
    }
    float rexp = 1.0f;
    if (jtop != 0) {
        if (jbot == 1)
            rexp = power_of_ten(jsgn * jtop);
        else
            rexp = std::pow(10.0f, static_cast<float>(jsgn * jtop) / static_cast<float>(jbot));
    }
    r = isgn * rexp * rtop / rbot;
}

void s_to_r4vec(std::string_view s, int m, std::span<float> rvec, int& ierror) {
    ierror = 0;
    if (m < 1) return;
    const std::size_t count = std::min(static_cast<std::size_t>(m), rvec.size());
    std::size_t ilo = 0;
    for (std::size_t i = 0; i < count; ++i) {
        int status = 0;
        int used = 0;
        s_to_r4(ilo < s.size() ? s.substr(ilo) : std::string_view(), rvec[i], status, used);
        if (status != 0) {
            ierror = -static_cast<int>(i + 1);
            return;
        }
        ilo += static_cast<std::size_t>(used);
    }
}

void write_str_dr(std::string_view s, double& x, int& ierr) {
    const std::size_t n = trimmed(s);
    if (n > 0 && !ch_is_digit(s[n - 1]) && s.find_first_of("Ee") != std::string_view::npos) {
        ierr = 3;
        return;
    }
    std::vector<std::string> items;
    if (!fortran_io::read_list(s, items, nullptr, 1)) {
        ierr = 1;
        return;
    }
    if (items.empty()) {
        ierr = -1;  // nothing to read: end of the record
        return;
    }
    ierr = 0;
    if (items.front().empty()) return;  // a null value leaves x as it was
    if (!fortran_io::read_real(items.front(), x)) ierr = 1;
}

void write_str_di(std::string_view s, int& i, int& ierr) {
    double x = 0.0;
    write_str_dr(s, x, ierr);
    if (!(std::fabs(x) <= 2147483647.0)) {
        ierr = 15;
        return;
    }
    i = static_cast<int>(std::lround(x));
}

// ---- words ---------------------------------------------------------------------------

void s_word_count(std::string_view s, int& count) {
    count = 0;
    bool in_word = false;
    for (char c : s) {
        if (c != kBlank && !in_word) ++count;
        in_word = c != kBlank;
    }
}

void word_extract(std::string& s, std::string& w) {
    set_text(w, "");
    const std::size_t n = trimmed(s);
    if (n == 0) return;
    const std::size_t start = s.find_first_not_of(kBlank);
    const std::size_t end = std::min(s.find(kBlank, start), n);
    set_text(w, std::string_view(s).substr(start, end - start));
    std::fill(s.begin(), s.begin() + static_cast<std::ptrdiff_t>(end), kBlank);
    left_adjust(s);
}

void word_last_read(std::string_view s, std::string& w) {
    const std::size_t n = trimmed(s);
    const std::size_t blank = n == 0 ? std::string_view::npos : s.find_last_of(kBlank, n - 1);
    const std::size_t start = blank == std::string_view::npos ? 0 : blank + 1;
    set_text(w, s.substr(start, n - start));
}

void word_extract_delim(std::string& s, std::string_view delims, std::string& before, char* sep) {
    left_adjust(s);
    compact(s);
    const std::size_t n = trimmed(s);
    if (n == 0) return;
    std::fill(before.begin(), before.end(), kBlank);
    auto copy_to_before = [&before, &s](std::size_t i) {
        if (i < before.size()) before[i] = s[i];
    };
    auto is_delim = [delims](char c) { return delims.find(c) != std::string_view::npos; };

    std::size_t i = 0;
    std::size_t rest = s.size();  // where the text after the delimiter starts
    char found = 0;
    bool split = false;
    while (i < n) {
        const char c = s[i];
        if (c == '\\') {  // an escaped character is never a delimiter
            copy_to_before(i);
            if (i + 1 < n) copy_to_before(i + 1);
            i += 2;
            continue;
        }
        if (!is_delim(c)) {
            copy_to_before(i);
            ++i;
            continue;
        }
        split = true;
        if (c != kBlank) {
            found = c;
            rest = i + 1;
        } else if (is_delim(s[i + 1])) {  // a blank is never last: i + 1 < n
            found = s[i + 1];
            rest = i + 2;
        } else {
            found = kBlank;
            rest = i + 1;
        }
        break;
    }
    if (!split || i + 1 >= n)
        std::fill(s.begin(), s.end(), kBlank);
    else
        set_text(s, s.substr(rest));
    left_adjust(s);
    if (split && sep != nullptr) *sep = found;
}

// ---- lines -------------------------------------------------------------------------------

bool read_record(std::istream& in, std::string& record) {
    if (!std::getline(in, record)) return false;
    if (!record.empty() && record.back() == '\r') record.pop_back();
    return true;
}

void readline(std::istream& in, std::string& line, int& ios) {
    std::string record;
    for (;;) {
        ios = 0;
        if (!read_record(in, record)) {
            ios = in.bad() ? 1 : -1;
            return;
        }
        set_text(line, record);
        left_adjust(line);
        if (!line.empty() && line[0] == '!') continue;
        const std::size_t comment = line.find('!');
        if (comment != std::string::npos) std::fill(line.begin() + static_cast<std::ptrdiff_t>(comment), line.end(), kBlank);
        if (trimmed(line) != 0) return;
    }
}

// ---- random digits -----------------------------------------------------------------------

void replacechr2crand(std::string& s, char c) {
    for (int k = 0; k < 120; ++k) {
        const std::size_t p = s.find(c);
        if (p == std::string::npos) return;
        const double r = runtime::random_number();
        const int digit = std::clamp(static_cast<int>(std::fabs(r - 0.5) * 19.0), 0, 9);
        s[p] = static_cast<char>('0' + digit);
    }
}

}  // namespace stringlib
