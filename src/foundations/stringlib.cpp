#include "foundations/stringlib.h"

#include <algorithm>
#include <cstddef>

namespace stringlib {

namespace {

constexpr char kBlank = ' ';
constexpr char kTab = '\t';

unsigned code(char c) { return static_cast<unsigned char>(c); }

bool blank_or_tab(char c) { return c == kBlank || c == kTab; }

std::size_t trimmed(std::string_view s) {
    const auto last = s.find_last_not_of(kBlank);
    return last == std::string_view::npos ? 0 : last + 1;
}

// Trimmed length, or the declared length when s is all blank (search width).
std::size_t search_width(std::string_view s) {
    const std::size_t n = trimmed(s);
    return n == 0 ? s.size() : n;
}

// Keep, in order, the characters of s(1..n) for which keep() holds and blank
// the freed positions up to n; positions after n are not touched.
template <typename Keep>
void pack_front(std::string& s, Keep keep) {
    const std::size_t n = trimmed(s);
    std::size_t k = 0;
    for (std::size_t i = 0; i < n; ++i)
        if (keep(s[i])) s[k++] = s[i];
    std::fill(s.begin() + static_cast<std::ptrdiff_t>(k), s.begin() + static_cast<std::ptrdiff_t>(n), kBlank);
}

// Window s(i .. i+w-1) compared with the whole pattern, shorter side
// blank-extended; fold selects case-insensitive comparison.
bool window_matches(std::string_view s, std::size_t i, std::size_t w, std::string_view sub, bool fold) {
    const std::string_view window = s.substr(i, w);
    return fold ? s_eqi(window, sub) : s_case_eqi(window, sub);
}

int first_match(std::string_view s, std::string_view sub, bool fold) {
    const std::size_t ns = search_width(s);
    const std::size_t np = search_width(sub);
    if (ns < np) return 0;
    for (std::size_t i = 0; i + np <= ns; ++i)
        if (window_matches(s, i, np, sub, fold)) return static_cast<int>(i + 1);
    return 0;
}

// One deletion step of delsubstr: true when sub was found (and its trimmed
// length removed).
bool delete_first(std::string& s, std::string_view sub) {
    const std::size_t p = s.find(sub);
    if (p == std::string::npos) return false;
    const std::size_t k = trimmed(sub);
    s.erase(p, k);
    s.append(k, kBlank);
    return true;
}

template <typename Convert>
std::string convert_unquoted(std::string_view s, Convert convert) {
    std::string out(s.substr(0, trimmed(s)));
    char quote = 0;
    for (char& c : out) {
        if (quote != 0) {
            if (c == quote) quote = 0;
        } else if (c == '"' || c == '\'') {
            quote = c;
        } else {
            c = convert(c);
        }
    }
    return out;
}

char ch_low(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; }

template <typename Equal>
bool equal_blank_extended(std::string_view s1, std::string_view s2, Equal equal) {
    const std::size_t common = std::min(s1.size(), s2.size());
    for (std::size_t i = 0; i < common; ++i)
        if (!equal(s1[i], s2[i])) return false;
    const std::string_view rest = s1.size() > common ? s1.substr(common) : s2.substr(common);
    return rest.find_first_not_of(kBlank) == std::string_view::npos;
}

}  // namespace

// ---- helpers -----------------------------------------------------------------

void set_text(std::string& s, std::string_view value) {
    const std::size_t n = std::min(value.size(), s.size());
    s.replace(0, n, value.substr(0, n));
    std::fill(s.begin() + static_cast<std::ptrdiff_t>(n), s.end(), kBlank);
}

void left_adjust(std::string& s) {
    const auto first = s.find_first_not_of(kBlank);
    if (first == std::string::npos || first == 0) return;
    s.erase(0, first);
    s.append(first, kBlank);
}

// ---- lengths -----------------------------------------------------------------

int s_len_trim(std::string_view s) { return static_cast<int>(trimmed(s)); }
int s_trim_len(std::string_view s) { return s_len_trim(s); }
int lenstr(std::string_view s) { return s_len_trim(s); }

int nlength(std::string_view s) { return static_cast<int>(search_width(s)); }
int length(std::string_view s) { return nlength(s); }

// ---- adjusting and blanking ------------------------------------------------------

void s_adjustl(std::string& s) {
    const std::size_t n = trimmed(s);
    if (n == 0) return;
    std::size_t p = 0;
    while (p < n && blank_or_tab(s[p])) ++p;
    if (p == n) {
        std::fill(s.begin(), s.end(), kBlank);
        return;
    }
    if (p == 0) return;
    std::copy(s.begin() + static_cast<std::ptrdiff_t>(p), s.begin() + static_cast<std::ptrdiff_t>(n), s.begin());
    std::fill(s.begin() + static_cast<std::ptrdiff_t>(n - p), s.begin() + static_cast<std::ptrdiff_t>(n), kBlank);
}

void s_left(std::string& s) { s_adjustl(s); }

void s_adjustr(std::string& s) {
    const std::size_t n = trimmed(s);
    const std::size_t shift = s.size() - n;
    if (n == 0 || shift == 0) return;
    std::copy_backward(s.begin(), s.begin() + static_cast<std::ptrdiff_t>(n), s.end());
    std::fill(s.begin(), s.begin() + static_cast<std::ptrdiff_t>(shift), kBlank);
}

void s_control_blank(std::string& s) {
    const std::size_t n = trimmed(s);
    for (std::size_t i = 0; i < n; ++i)
        if (ch_is_control(s[i])) s[i] = kBlank;
}

void s_whitespace_blank(std::string& s) {
    const std::size_t n = trimmed(s);
    for (std::size_t i = 0; i < n; ++i)
        if (code(s[i]) >= 9 && code(s[i]) <= 13) s[i] = kBlank;
}

void s_tab_blank(std::string& s) { std::replace(s.begin(), s.end(), kTab, kBlank); }

// ---- deleting and replacing --------------------------------------------------------

void s_blank_delete(std::string& s) {
    pack_front(s, [](char c) { return !blank_or_tab(c); });
}

void s_del_blank(std::string& s) { s_blank_delete(s); }

void s_blanks_delete(std::string& s) {
    std::string out;
    out.reserve(s.size());
    char before = kBlank;
    for (char c : s) {
        if (c == kTab) c = kBlank;
        if (c != kBlank || before != kBlank) out.push_back(c);
        before = c;
    }
    set_text(s, out);
}

void compact(std::string& s) {
    left_adjust(s);
    const std::size_t n = trimmed(s);
    std::string out;
    out.reserve(n);
    bool in_space = false;
    for (std::size_t i = 0; i < n; ++i) {
        const char c = s[i];
        if (blank_or_tab(c)) {
            if (!in_space) out.push_back(kBlank);
            in_space = true;
        } else if (code(c) >= 33) {
            out.push_back(c);
            in_space = false;
        }
    }
    set_text(s, out);
    left_adjust(s);
}

void removesp(std::string& s) {
    std::string out;
    out.reserve(s.size());
    for (char c : s)
        if (code(c) >= 33) out.push_back(c);
    set_text(s, out);
}

void s_del_abrackets(std::string& s) {
    pack_front(s, [](char c) { return c != '<' && c != '>'; });
}

void s_del_braces(std::string& s) {
    pack_front(s, [](char c) { return c != '{' && c != '}'; });
}

void s_replace_ch(std::string& s, char c1, char c2) {
    const std::size_t n = trimmed(s);
    std::replace(s.begin(), s.begin() + static_cast<std::ptrdiff_t>(n), c1, c2);
}

void s_replace_ch1(std::string& s, char c1, char c2) { s_replace_ch(s, c1, c2); }

void delsubstr(std::string& s, std::string_view sub) { delete_first(s, sub); }

void delall(std::string& s, std::string_view sub) {
    // A blank pattern would be found again after every (empty) deletion.
    if (trimmed(sub) == 0) return;
    // Each step removes at least one non-blank character, so this ends.
    while (delete_first(s, sub)) {
    }
}

// ---- inserting and shifting ----------------------------------------------------------

void insertstr(std::string& s, std::string_view sub, int ipos) {
    const std::size_t length = s.size();
    if (length == 0) return;
    const std::size_t pos = static_cast<std::size_t>(std::clamp<long long>(ipos, 1, static_cast<long long>(length))) - 1;
    const std::size_t k = std::min(trimmed(sub), length - pos);
    // Push s(pos..) right by k (the tail past L is lost), then place sub.
    std::string tail = s.substr(pos);
    s.replace(pos, k, sub.substr(0, k));
    s.replace(pos + k, length - pos - k, tail.substr(0, length - pos - k));
}

void shiftstr(std::string& s, int m) {
    const long long length = static_cast<long long>(s.size());
    const long long shift = m;
    if (shift == 0) return;
    if (shift >= length || -shift >= length) {
        std::fill(s.begin(), s.end(), kBlank);
        return;
    }
    const std::size_t k = static_cast<std::size_t>(shift < 0 ? -shift : shift);
    if (shift < 0) {
        s.erase(0, k);
        s.append(k, kBlank);
    } else {
        s.insert(0, k, kBlank);
        s.resize(static_cast<std::size_t>(length));
    }
}

// ---- case -----------------------------------------------------------------------

void s_cap_string(std::string_view s, std::string& s2) {
    const std::size_t n = std::min(s.size(), s2.size());
    for (std::size_t i = 0; i < n; ++i) s2[i] = ch_cap(s[i]);
    std::fill(s2.begin() + static_cast<std::ptrdiff_t>(n), s2.end(), kBlank);
}

std::string uppercase(std::string_view s) { return convert_unquoted(s, ch_cap); }
std::string lowercase(std::string_view s) { return convert_unquoted(s, ch_low); }

char ch_cap(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c; }
char ch_capf(char c) { return ch_cap(c); }
void ch_caps(char& c) { c = ch_cap(c); }
bool ch_eqi(char c1, char c2) { return ch_cap(c1) == ch_cap(c2); }

// ---- comparing and searching ------------------------------------------------------

bool s_eqi(std::string_view s1, std::string_view s2) { return equal_blank_extended(s1, s2, ch_eqi); }

bool s_case_eqi(std::string_view s1, std::string_view s2) {
    return equal_blank_extended(s1, s2, [](char a, char b) { return a == b; });
}

int s_indexi(std::string_view s, std::string_view sub) { return first_match(s, sub, true); }
int s_case_indexi(std::string_view s, std::string_view sub) { return first_match(s, sub, false); }

int s_index_last(std::string_view s, std::string_view sub) {
    const std::size_t ns = search_width(s);
    const std::size_t np = search_width(sub);
    if (ns < np) return 0;
    for (std::size_t i = ns - np + 1; i-- > 0;)
        if (window_matches(s, i, np, sub, false)) return static_cast<int>(i + 1);
    return 0;
}

int s_chr_index(std::string_view s, char c) {
    const std::size_t p = s.substr(0, trimmed(s)).find(c);
    return p == std::string_view::npos ? -1 : static_cast<int>(p + 1);
}

int ch_index(std::string_view s, char c) {
    const std::size_t p = s.substr(0, trimmed(s)).find(c);
    return p == std::string_view::npos ? 0 : static_cast<int>(p + 1);
}

void right(std::string_view s, int w, std::string& t) {
    const std::size_t n = search_width(s);
    const std::size_t count = w <= 0 ? 0 : std::min(static_cast<std::size_t>(w), n);
    set_text(t, s.substr(n - count, count));
}

// ---- character classes ----------------------------------------------------------------

bool ch_is_control(char c) { return code(c) < 32 || code(c) > 126; }
bool ch_is_space(char c) { return c == kBlank || (code(c) >= 9 && code(c) <= 13); }
bool ch_is_digit(char c) { return c >= '0' && c <= '9'; }

// ---- parentheses -----------------------------------------------------------------------

bool s_paren_check(std::string_view s) {
    std::string packed(s);
    s_blank_delete(packed);
    const std::string_view text(packed.data(), trimmed(packed));
    if (text.empty()) return true;
    int depth = 0;
    for (char c : text) {
        if (c == '(') ++depth;
        if (c == ')' && --depth < 0) return false;
    }
    if (depth != 0) return false;
    return text.find(")(") == std::string_view::npos && text.find("()") == std::string_view::npos;
}

bool parenthesescheck(std::string_view s) {
    const std::string_view text = s.substr(0, trimmed(s));
    return std::count(text.begin(), text.end(), '(') == std::count(text.begin(), text.end(), ')');
}

}  // namespace stringlib
