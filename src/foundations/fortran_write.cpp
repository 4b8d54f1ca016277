#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <string>

#include "foundations/fortran_format.h"
#include "foundations/fortran_io.h"

namespace fortran_io {
namespace {

using detail::absent;
using detail::Edit;
using detail::Format;
using detail::Op;
using detail::Token;

// ---- exact decimal digits ----

// The exact value of a finite non-negative double: 0.d1 d2 ... dn x 10^exp,
// without trailing zeros (n = 0 for zero).  Every double has a terminating
// decimal expansion of at most 767 significant digits.
struct Decimal {
    std::array<char, 800> digits;
    int n = 0;
    int exp = 0;
};

void exact_decimal(double ax, Decimal& out)
{
    out.n = 0;
    out.exp = 0;
    if (ax == 0.0) return;
    char buf[800];
    const auto res = std::to_chars(buf, buf + sizeof buf, ax, std::chars_format::scientific, 766);
    // buf holds d.ddd...de[+-]xx
    const char* p = buf;
    const char* e = res.ptr;
    const char* mark = p;
    while (mark < e && *mark != 'e') ++mark;
    int n = 0;
    for (const char* q = p; q < mark; ++q)
        if (*q != '.') out.digits[n++] = *q;
    while (n > 0 && out.digits[n - 1] == '0') --n;
    out.n = n;
    int x = 0;
    std::from_chars(mark + 1 + (mark[1] == '+'), e, x);
    out.exp = x + 1;
}

// Digits of a value rounded to a number of significant digits.
struct Rounded {
    std::string digits;   // no trailing zeros; empty for zero
    int exp = 0;          // value = 0.digits x 10^exp
    bool zero() const { return digits.empty(); }
    char digit(long j) const { return j >= 0 && j < static_cast<long>(digits.size()) ? digits[j] : '0'; }
};

// Rounds x to nsig significant digits, ties to even, on the exact value.
Rounded round_to(const Decimal& x, int nsig)
{
    Rounded r;
    if (x.n == 0 || nsig < 0) return r;
    r.exp = x.exp;
    if (nsig >= x.n) {
        r.digits.assign(x.digits.data(), x.n);
        return r;
    }
    const char next = x.digits[nsig];
    const bool more = x.n > nsig + 1;   // digits after next are non-zero (no trailing zeros)
    bool up;
    if (nsig == 0) {
        up = next > '5' || (next == '5' && more);   // a tie goes to the even 0
    } else {
        const bool odd = (x.digits[nsig - 1] - '0') % 2 == 1;
        up = next > '5' || (next == '5' && (more || odd));
    }
    r.digits.assign(x.digits.data(), nsig);
    if (up) {
        int k = nsig - 1;
        while (k >= 0 && r.digits[k] == '9') r.digits[k--] = '0';
        if (k < 0) {
            r.digits = "1";
            ++r.exp;
        } else {
            ++r.digits[k];
        }
    }
    while (!r.digits.empty() && r.digits.back() == '0') r.digits.pop_back();
    return r;
}

// ---- field building ----

struct Style {
    int scale = 0;        // kP
    bool plus = false;    // SP in force
};

std::string stars(int w) { return std::string(static_cast<std::size_t>(w > 0 ? w : 1), '*'); }

std::string sign_text(bool negative, bool plus) { return negative ? "-" : plus ? "+" : ""; }

// Right-justifies body in w columns; an optional leading zero goes in front
// of body when there is room (always when w is 0 and keep_zero is set).
std::string fit(const std::string& sign, const std::string& body, bool optional_zero, int w, bool keep_zero)
{
    if (w == 0) return sign + (optional_zero && keep_zero ? "0" : "") + body;
    std::size_t len = sign.size() + body.size();
    const bool zero = optional_zero && len + 1 <= static_cast<std::size_t>(w);
    if (zero) ++len;
    if (len > static_cast<std::size_t>(w)) return stars(w);
    return std::string(w - len, ' ') + sign + (zero ? "0" : "") + body;
}

std::string infinity_or_nan(double x, int w, bool plus)
{
    if (std::isnan(x)) return w == 0 ? "NaN" : w < 3 ? stars(w) : std::string(w - 3, ' ') + "NaN";
    const bool negative = x < 0;
    const std::string sign = negative ? "-" : plus ? "+" : "";
    if (w == 0) return sign + "Inf";
    if (w < 3 || (negative && w < 4)) return stars(w);
    const std::size_t room = static_cast<std::size_t>(w);
    std::string body = room >= sign.size() + 8 ? "Infinity" : "Inf";
    if (room >= sign.size() + body.size()) body = sign + body;   // SP with w = 3 gives a bare Inf
    return std::string(room - body.size(), ' ') + body;
}

// Fw.d of a finite value; w = 0 gives the shortest field.
std::string edit_f(double v, const Decimal& x, int w, int d, const Style& st, bool keep_zero)
{
    const Rounded r = round_to(x, x.exp + st.scale + d);
    const long int_digits = r.zero() ? 0 : static_cast<long>(r.exp) + st.scale;
    std::string body;
    body.reserve(static_cast<std::size_t>((int_digits > 0 ? int_digits : 0) + d + 1));
    for (long j = 0; j < int_digits; ++j) body += r.digit(j);
    body += '.';
    for (long j = 0; j < d; ++j) body += r.digit(int_digits + j);
    const bool no_int = int_digits <= 0;
    if (no_int && d == 0) body.insert(body.begin(), '0');   // at least one digit
    return fit(sign_text(std::signbit(v), st.plus), body, no_int && d > 0, w, keep_zero);
}

// Exponent part into out; exp_digits absent: two digits after the letter,
// three without it beyond 99; 0 (G0): as few digits as needed, nothing at all
// for exponent 0.  False when the exponent does not fit.
bool exponent_text(char letter, int value, int exp_digits, std::string& out)
{
    const char sign = value < 0 ? '-' : '+';
    const int a = std::abs(value);
    const std::string digits = std::to_string(a);
    if (exp_digits == absent) {
        if (a <= 99) out = std::string{letter, sign} + (a < 10 ? "0" : "") + digits;
        else if (a <= 999) out = std::string{sign} + digits;
        else return false;
    } else if (exp_digits == 0) {
        out = a == 0 ? std::string() : std::string{letter, sign} + digits;
    } else {
        if (static_cast<int>(digits.size()) > exp_digits) return false;
        out = std::string{letter, sign} + std::string(exp_digits - digits.size(), '0') + digits;
    }
    return true;
}

enum class ExpForm { Standard, Scientific, Engineering };

// Ew.dEe, Dw.d, ESw.d and ENw.d of a finite value.  w = 0 (used by G0)
// gives the shortest field with the leading zero kept.
std::string edit_e(double v, const Decimal& x, int w, int d, int e, char letter, ExpForm form, const Style& st)
{
    std::string mantissa;
    int exponent = 0;
    bool optional_zero = false;
    if (form == ExpForm::Standard) {
        const int k = st.scale;
        if (k <= -d || k > d + 1) throw FormatError("Scale factor " + std::to_string(k) + "P out of range for " + letter + " editing with d = " + std::to_string(d));
        const Rounded r = round_to(x, k > 0 ? d + 1 : d + k);
        exponent = r.zero() ? 0 : r.exp - k;
        if (k > 0) {
            for (int j = 0; j < k; ++j) mantissa += r.digit(j);
            mantissa += '.';
            for (int j = k; j < d + 1; ++j) mantissa += r.digit(j);
        } else {
            mantissa += '.';
            mantissa.append(static_cast<std::size_t>(-k), '0');
            for (int j = 0; j < d + k; ++j) mantissa += r.digit(j);
            optional_zero = true;
        }
    } else if (form == ExpForm::Scientific) {
        const Rounded r = round_to(x, d + 1);
        exponent = r.zero() ? 0 : r.exp - 1;
        mantissa += r.digit(0);
        mantissa += '.';
        for (int j = 1; j < d + 1; ++j) mantissa += r.digit(j);
    } else {
        Rounded r;
        int lead = 1;
        if (x.n > 0) {
            // 1 to 3 digits before the point, by the exponent; a carry in
            // the rounding (999.95 -> 1000.0) moves to the next exponent.
            auto engineering = [&](int e10) {
                const int e3 = e10 >= 0 ? e10 / 3 * 3 : -((-e10 + 2) / 3) * 3;
                lead = e10 - e3 + 1;
                exponent = e3;
            };
            engineering(x.exp - 1);
            r = round_to(x, lead + d);
            if (r.exp != x.exp) engineering(r.exp - 1);
        }
        for (int j = 0; j < lead; ++j) mantissa += r.digit(j);
        mantissa += '.';
        for (int j = lead; j < lead + d; ++j) mantissa += r.digit(j);
    }
    std::string exp_text;
    if (!exponent_text(letter, exponent, e, exp_text)) return stars(w);
    return fit(sign_text(std::signbit(v), st.plus), mantissa + exp_text, optional_zero, w, true);
}

// 10^n computed by repeated multiplication in T, as the Fortran run time
// does for its G decision.
template <class T>
T power_of_ten(int n)
{
    T r = 1;
    for (int i = 0; i < (n >= 0 ? n : -n); ++i) r *= 10;
    return n >= 0 ? r : T(1) / r;
}

// The Gw.d choice between fixed and exponent form (Fortran 2008 rule for
// round-to-nearest): the exponent form for |m| < 0.1 - 0.5 x 10^(-d-1) or
// |m| >= 10^d - 0.5; otherwise the fixed form with d - s decimals, where
// 10^(s-1) - 0.5 x 10^(s-d-1) <= |m| < 10^s - 0.5 x 10^(s-d).  The bounds are
// computed in the item's own precision exactly as the Fortran run time
// computes them, so values on a rounded bound (0.95 under G10.1) take the
// same form as there.  Returns the decimals, or -1 for the exponent form.
template <class T>
int g_fixed_decimals(T m, int d)
{
    const T r = 0.5;
    const T exp_d = power_of_ten<T>(d);
    const T r_sc = 1 - r / exp_d;
    volatile T bound = static_cast<T>(0.1 * r_sc);
    if (m < bound || r >= exp_d - m) return -1;
    int low = 0, high = d + 1, lbound = 0, ubound = d + 1, mid = 0;
    while (low <= high) {
        mid = (low + high) / 2;
        bound = power_of_ten<T>(mid - 1) * r_sc;
        if (m < bound) {
            ubound = mid;
            if (ubound == lbound + 1) break;
            high = mid - 1;
        } else if (m > bound) {
            lbound = mid;
            if (ubound == lbound + 1) {
                ++mid;
                break;
            }
            low = mid + 1;
        } else {
            ++mid;
            break;
        }
    }
    return d + 1 - mid;
}

// Gw.dEe of a finite value; w = 0 is G0.d (no blanks, shortest exponent).
// run_time_g marks the G editing the run time does by itself (G0 and
// list-directed output): its exponent form keeps d significant digits also
// under a positive scale factor.
std::string edit_g_real(double v, bool single, const Decimal& x, int w, int d, int e, const Style& st, bool run_time_g)
{
    const int blanks = w == 0 ? 0 : e == absent ? 4 : e + 2;
    const Style fixed{0, st.plus};   // the scale factor has no effect in the fixed form
    auto fixed_form = [&](int decimals) {
        if (w != 0 && w - blanks <= 0) return stars(w);
        const std::string f = edit_f(v, x, w == 0 ? 0 : w - blanks, decimals, fixed, true);
        if (f[0] == '*') return stars(w);
        return f + std::string(static_cast<std::size_t>(blanks), ' ');
    };
    if (x.n == 0) return fixed_form(d - 1 > 0 ? d - 1 : 0);
    const int decimals = single ? g_fixed_decimals(static_cast<float>(std::fabs(v)), d)
                                : g_fixed_decimals(std::fabs(v), d);
    if (decimals >= 0) return fixed_form(decimals);
    const int digits = run_time_g && st.scale > 0 ? d - 1 : d;
    return edit_e(v, x, w, digits, w == 0 ? 0 : e, 'E', ExpForm::Standard, st);
}

// List-directed output of a real: 1PG25.17E3 for a double, 1PG16.9E2 for a
// float, with the run time's own G editing.
std::string list_real(double v, bool single)
{
    const int w = single ? 16 : 25;
    const Style st{1, false};
    if (!std::isfinite(v)) return infinity_or_nan(v, w, false);
    Decimal x;
    exact_decimal(std::fabs(v), x);
    return edit_g_real(v, single, x, w, single ? 9 : 17, single ? 2 : 3, st, true);
}

std::string edit_i(long long v, int w, int m, bool plus)
{
    const unsigned long long mag = v < 0 ? 0ULL - static_cast<unsigned long long>(v) : static_cast<unsigned long long>(v);
    if (m == 0 && mag == 0) return std::string(static_cast<std::size_t>(w > 0 ? w : 1), ' ');   // Iw.0 of zero: all blank
    std::string digits = std::to_string(mag);
    if (m > 0 && static_cast<int>(digits.size()) < m) digits.insert(0, m - digits.size(), '0');
    const std::string s = sign_text(v < 0, plus) + digits;
    if (w == 0) return s;
    if (static_cast<int>(s.size()) > w) return stars(w);
    return std::string(w - s.size(), ' ') + s;
}

std::string edit_a(const std::string& text, int w)
{
    if (w == absent) return text;
    if (static_cast<int>(text.size()) >= w) return text.substr(0, w);
    return std::string(w - text.size(), ' ') + text;
}

std::string edit_l(bool b, int w)
{
    return std::string(static_cast<std::size_t>(w - 1), ' ') + (b ? 'T' : 'F');
}

const char* kind_name(Value::Kind k)
{
    switch (k) {
    case Value::Kind::Integer: return "integer";
    case Value::Kind::Real: case Value::Kind::Real4: return "real";
    case Value::Kind::Logical: return "logical";
    case Value::Kind::Text: return "text";
    }
    return "?";
}

std::string descriptor_name(const Token& t)
{
    static const char* names[] = {"I", "F", "E", "EN", "ES", "D", "G", "A", "L"};
    std::string s = names[static_cast<int>(t.edit)];
    if (t.w != absent) s += std::to_string(t.w);
    if (t.d != absent) s += "." + std::to_string(t.d);
    if (t.e != absent) s += "E" + std::to_string(t.e);
    return s;
}

[[noreturn]] void mismatch(const Token& t, const Value& item)
{
    throw FormatError(std::string("A ") + kind_name(item.kind()) + " item cannot be written with " + descriptor_name(t));
}

// One item through one data edit descriptor.
std::string edit_item(const Token& t, const Value& item, const Style& st)
{
    const auto kind = item.kind();
    const bool real = kind == Value::Kind::Real || kind == Value::Kind::Real4;
    switch (t.edit) {
    case Edit::I:
        if (kind != Value::Kind::Integer) mismatch(t, item);
        return edit_i(item.integer(), t.w, t.d, st.plus);
    case Edit::A:
        if (kind != Value::Kind::Text) mismatch(t, item);
        return edit_a(item.text(), t.w);
    case Edit::L:
        if (kind != Value::Kind::Logical) mismatch(t, item);
        return edit_l(item.logical(), t.w);
    case Edit::G:
        if (kind == Value::Kind::Integer) return edit_i(item.integer(), t.w, absent, st.plus);
        if (kind == Value::Kind::Text) return edit_a(item.text(), t.w == 0 ? absent : t.w);
        if (kind == Value::Kind::Logical) return edit_l(item.logical(), t.w == 0 ? 1 : t.w);
        break;
    default:
        if (!real) mismatch(t, item);
        break;
    }
    const double v = item.real();
    if (!std::isfinite(v)) return infinity_or_nan(v, t.w, st.plus);
    Decimal x;
    exact_decimal(std::fabs(v), x);
    switch (t.edit) {
    case Edit::F: return edit_f(v, x, t.w, t.d, st, false);
    case Edit::E: return edit_e(v, x, t.w, t.d, t.e, 'E', ExpForm::Standard, st);
    case Edit::D: return edit_e(v, x, t.w, t.d, t.e, 'D', ExpForm::Standard, st);
    case Edit::ES: return edit_e(v, x, t.w, t.d, t.e, 'E', ExpForm::Scientific, st);
    case Edit::EN: return edit_e(v, x, t.w, t.d, t.e, 'E', ExpForm::Engineering, st);
    default: break;
    }
    // G
    if (t.w == 0) {
        const int d = t.d != absent ? t.d : kind == Value::Kind::Real4 ? 9 : 17;
        return edit_g_real(v, kind == Value::Kind::Real4, x, 0, d, absent, st, true);
    }
    if (t.d == absent) throw FormatError("A real item needs Gw.d, not " + descriptor_name(t));
    // Gw.0 is kPEw.0 editing, which needs a positive scale factor.
    if (t.d == 0) return edit_e(v, x, t.w, 0, t.e, 'E', ExpForm::Standard, st);
    return edit_g_real(v, kind == Value::Kind::Real4, x, t.w, t.d, t.e, st, false);
}

// ---- records ----

// Writes into text, whose part after the last '\n' is the current record.
// Moves to the right (X, TR, T) only take effect when something is written
// after them, so they never leave blanks at the end of a record.
class RecordWriter {
public:
    explicit RecordWriter(std::string& text) : out_(text)
    {
        const auto nl = out_.rfind('\n');
        start_ = nl == std::string::npos ? 0 : nl + 1;
        pos_ = out_.size() - start_;
        tab_limit_ = pos_;
    }

    void put(std::string_view s)
    {
        std::size_t len = out_.size() - start_;
        if (pos_ > len) {
            out_.append(pos_ - len, ' ');
            len = pos_;
        }
        const std::size_t overlap = std::min(s.size(), len - pos_);
        out_.replace(start_ + pos_, overlap, s.substr(0, overlap));
        out_.append(s.substr(overlap));
        pos_ += s.size();
    }
    void skip(int n) { pos_ += static_cast<std::size_t>(n); }
    void tab_to(int n) { pos_ = tab_limit_ + static_cast<std::size_t>(n) - 1; }
    void tab_left(int n) { pos_ = pos_ >= tab_limit_ + static_cast<std::size_t>(n) ? pos_ - n : tab_limit_; }
    void end_record()
    {
        out_ += '\n';
        start_ = out_.size();
        pos_ = 0;
        tab_limit_ = 0;
    }

private:
    std::string& out_;
    std::size_t start_ = 0;
    std::size_t pos_ = 0;
    std::size_t tab_limit_ = 0;
};

// Runs one formatted output statement; returns false when it ended without
// advancing ($ or backslash), true when the record is to be ended.
bool run_format(std::string_view format, std::span<const Value> items, std::string& text)
{
    const Format f = detail::parse_format(format);
    const auto& tk = f.tokens;
    RecordWriter rec(text);
    Style st;
    bool advance = true;
    std::size_t next_item = 0;
    struct Level { std::size_t open; long remaining; };
    std::vector<Level> stack;

    std::size_t i = 0;
    for (;;) {
        if (i == tk.size()) {
            if (next_item == items.size()) break;
            if (!f.has_data) throw FormatError("Format \"" + std::string(format) + "\" has no data edit descriptor for the remaining items");
            rec.end_record();
            i = f.reversion;
            stack.clear();
            continue;
        }
        const Token& t = tk[i];
        switch (t.op) {
        case Op::GroupOpen:
            stack.push_back({i, t.unlimited ? -1 : t.repeat});
            ++i;
            continue;
        case Op::GroupClose: {
            Level& top = stack.back();
            if (top.remaining < 0 || --top.remaining > 0) {
                i = top.open + 1;
            } else {
                stack.pop_back();
                ++i;
            }
            continue;
        }
        case Op::Data:
            for (int r = 0; r < t.repeat; ++r) {
                if (next_item == items.size()) return advance;
                rec.put(edit_item(t, items[next_item++], st));
            }
            break;
        case Op::Colon:
            if (next_item == items.size()) return advance;
            break;
        case Op::Literal: rec.put(t.text); break;
        case Op::Skip: rec.skip(t.n); break;
        case Op::TabTo: rec.tab_to(t.n); break;
        case Op::TabLeft: rec.tab_left(t.n); break;
        case Op::Slash:
            for (int r = 0; r < t.repeat; ++r) rec.end_record();
            break;
        case Op::NoAdvance: advance = false; break;
        case Op::Scale: st.scale = t.n; break;
        case Op::Sign: st.plus = t.n == 1; break;
        }
        ++i;
    }
    return advance;
}

}  // namespace

std::string write(std::string_view format, std::initializer_list<Value> items)
{
    return write(format, std::span<const Value>(items.begin(), items.size()));
}

std::string write(std::string_view format, std::span<const Value> items)
{
    std::string text;
    run_format(format, items, text);
    return text;
}

std::string write_reals(std::string_view format, std::span<const double> values)
{
    std::vector<Value> items(values.begin(), values.end());
    return write(format, std::span<const Value>(items));
}

void Unit::write(std::string_view format, std::initializer_list<Value> items)
{
    write(format, std::span<const Value>(items.begin(), items.size()));
}

void Unit::write(std::string_view format, std::span<const Value> items)
{
    const std::size_t before = text_.size();
    try {
        pending_ = !run_format(format, items, text_);
    } catch (...) {
        text_.resize(before);   // a failed statement leaves no partial record
        throw;
    }
    if (!pending_) text_ += '\n';
}

std::string Unit::take()
{
    const auto nl = text_.rfind('\n');
    if (nl == std::string::npos) return {};
    std::string done = text_.substr(0, nl + 1);
    text_.erase(0, nl + 1);
    return done;
}

void Unit::end_record()
{
    if (pending_) text_ += '\n';
    pending_ = false;
}

std::string write_list(std::initializer_list<Value> items)
{
    return write_list(std::span<const Value>(items.begin(), items.size()));
}

std::string write_list(std::span<const Value> items)
{
    // Each item follows one blank, except a text that follows a text.
    std::string out;
    bool after_text = false;
    for (const Value& item : items) {
        const bool text = item.kind() == Value::Kind::Text;
        if (!(text && after_text)) out += ' ';
        after_text = text;
        switch (item.kind()) {
        case Value::Kind::Text: out += item.text(); break;
        case Value::Kind::Logical: out += item.logical() ? 'T' : 'F'; break;
        case Value::Kind::Integer: {
            const long long v = item.integer();
            out += edit_i(v, v >= INT32_MIN && v <= INT32_MAX ? 11 : 20, absent, false);
            break;
        }
        case Value::Kind::Real:
        case Value::Kind::Real4:
            out += list_real(item.real(), item.kind() == Value::Kind::Real4);
            break;
        }
    }
    return out;
}

}  // namespace fortran_io
