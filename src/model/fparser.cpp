// Formula compiler: text preparation, syntax check and the two-pass compile
// into postfix byte code.  Positions in this file count from 1, as the error
// columns reported to the user do.

#include "model/fparser.h"

#include <algorithm>
#include <cstdio>
#include <string>

#include "foundations/fortran_io.h"
#include "foundations/stringlib.h"

namespace fparser {

std::vector<tComp> comp;
int parseerrtype = 0;
int evalerrtype = 0;
bool printerrors = true;

namespace {

constexpr std::size_t work_length = 512;

bool is_operator(char c) { return c != '\0' && ops.find(c) != std::string_view::npos; }
bool is_letter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

// ---- scanners on the text from a position onwards ----

// Code of the function word the text begins with (case ignored), 0 if none;
// word_length receives its length.
std::int32_t mathfunctionindex(std::string_view rest, int& word_length) {
    for (std::size_t k = 0; k < funcs.size(); ++k) {
        const std::string_view word = funcs[k];
        if (rest.size() < word.size()) continue;
        bool equal = true;
        for (std::size_t m = 0; m < word.size() && equal; ++m) equal = stringlib::ch_eqi(rest[m], word[m]);
        if (equal) {
            word_length = static_cast<int>(word.size());
            return code_abs + static_cast<std::int32_t>(k);
        }
    }
    word_length = 0;
    return 0;
}

// Length of the operand the text begins with: up to the first operator,
// ")" or blank.
int operand_length(std::string_view rest) {
    const auto end = rest.find_first_of("+-*/^=#<[>]:|) ");
    return static_cast<int>(end == std::string_view::npos ? rest.size() : end);
}

// 1-based position in names of the operand the text begins with (exact
// comparison, trailing blanks of a name ignored), 0 if none.
int variableindex(std::string_view rest, std::span<const std::string_view> names) {
    const std::string_view operand = rest.substr(0, operand_length(rest));
    if (operand.empty()) return 0;
    for (std::size_t k = 0; k < names.size(); ++k) {
        const std::string_view name = names[k].substr(0, stringlib::s_len_trim(names[k]));
        if (name == operand) return static_cast<int>(k) + 1;
    }
    return 0;
}

struct Scan {
    double value = 0.0;
    int ib = 1;       // first character of the item (1-based)
    int in = 1;       // one past its last character
    bool error = false;
};

// A named constant from the first two characters (case ignored).
Scan mathconst(std::string_view rest) {
    struct Named { char a, b; double value; };
    static constexpr Named table[] = {
        {'P', 'I', 3.141592653589793}, {'V', 'L', 1e-16},  {'V', 'H', 1e16},
        {'R', 'C', 1.9872041},         {'R', 'J', 8.3144621}, {'K', '1', 273.15},
        {'K', '2', 298.15},            {'D', 'G', 57.29577951308232}, {'E', 'U', 2.718281828459045}};
    Scan r;
    if (rest.size() >= 2) {
        const char a = stringlib::ch_cap(rest[0]), b = stringlib::ch_cap(rest[1]);
        for (const Named& c : table) {
            if (c.a == a && c.b == b) {
                r.value = c.value;
                r.in = 3;
                return r;
            }
        }
    }
    r.error = true;
    return r;
}

// A number in Fortran form (digits, one point, exponent letter E or D with an
// optional sign and digits) at the start of the text.
Scan realnum(std::string_view rest) {
    Scan r;
    const int n = stringlib::s_len_trim(rest);
    bool at_start = true, in_mantissa = false, point_seen = false, exponent_letter = false;
    bool in_exponent = false, mantissa_digit = false, exponent_digit = false;
    while (r.in <= n) {
        const char c = rest[r.in - 1];
        if (c == ' ') {
            ++r.ib;
            if (in_mantissa || exponent_letter || in_exponent) break;
        } else if (c == '+' || c == '-' || stringlib::ch_is_digit(c)) {
            // A sign or digit opens the mantissa or, after the letter, the
            // exponent; a sign anywhere else ends the number.
            const bool digit = stringlib::ch_is_digit(c);
            if (at_start) {
                in_mantissa = true;
                at_start = false;
            } else if (exponent_letter) {
                in_exponent = true;
                exponent_letter = false;
            } else if (!digit) {
                break;
            }
            if (digit && in_mantissa) mantissa_digit = true;
            if (digit && in_exponent) exponent_digit = true;
        } else if (c == '.') {
            if (at_start) {
                point_seen = in_mantissa = true;
                at_start = false;
            } else if (in_mantissa && !point_seen) {
                point_seen = true;
            } else {
                r.error = true;
                break;
            }
        } else if (c == 'e' || c == 'E' || c == 'd' || c == 'D') {
            if (in_mantissa) {
                exponent_letter = true;
                in_mantissa = false;
            } else {
                r.error = true;
                break;
            }
        } else {
            break;
        }
        ++r.in;
    }
    if (r.ib > r.in - 1 || !mantissa_digit || exponent_letter || (in_exponent && !exponent_digit)) r.error = true;
    if (!r.error && !fortran_io::read_real(rest.substr(r.ib - 1, r.in - r.ib), r.value)) r.error = true;
    if (r.error) r.value = 0.0;
    return r;
}

// ---- text preparation ----

struct Prepared {
    std::string text;       // without blanks
    std::vector<int> ipos;  // ipos[k-1]: column of character k in the text as given
};

// Work copy of text at the work length with "**" read as "^" and "!" as "|",
// blanks removed and the position map filled.
Prepared prepare(std::string_view text) {
    std::string work(text.substr(0, std::min(text.size(), work_length)));
    work.resize(work_length, ' ');
    replace(work, "**", "^ ");
    replace(work, "!", "|");
    Prepared p;
    const std::size_t length = stringlib::s_len_trim(work);
    for (std::size_t k = 0; k < length; ++k) {
        if (work[k] == ' ') continue;
        p.text.push_back(work[k]);
        p.ipos.push_back(static_cast<int>(k) + 1);
    }
    return p;
}

// ---- syntax check ----

struct SyntaxError {
    int code = 0;
    int position = 0;  // in the blank-free text
    std::string message;
};

class Checker {
public:
    Checker(std::string_view s, std::span<const std::string_view> names) : s_(s), names_(names) {}

    SyntaxError run() {
        const int length = static_cast<int>(s_.size());
        int j = 1, depth = 0;
        for (;;) {
            // Operand start.
            if (nochr.find(at(j)) != std::string_view::npos) return fail(11, j, "Invalid character");
            if (j > length) return fail(1, j, "Missing operand");
            if (at(j) == '+' || at(j) == '-') {
                ++j;
                if (j > length) return fail(1, j, "Missing operand");
                if (is_operator(at(j))) return fail(2, j, "Multiple operators");
            }
            int word_length = 0;
            if (mathfunctionindex(rest(j), word_length) > 0) {
                j += word_length;
                if (j > length) return fail(3, j, "Missing function argument");
                if (at(j) != '(') return fail(4, j, "Missing opening parenthesis");
            }
            if (at(j) == '(') {
                ++depth;
                ++j;
                continue;
            }
            if (stringlib::ch_is_digit(at(j))) {
                const Scan number = realnum(rest(j));
                if (number.error)
                    return fail(5, j, "Invalid number format: " +
                                          std::string(rest(j).substr(number.ib - 1, std::max(0, number.in - number.ib))));
                j += number.in - 1;
            } else if (variableindex(rest(j), names_) > 0) {
                j += operand_length(rest(j));
            } else {
                const Scan constant = mathconst(rest(j));
                if (constant.error)
                    return fail(6, j, "Invalid element: " + std::string(rest(j).substr(0, operand_length(rest(j)))));
                j += constant.in - 1;
            }
            if (j > length) break;
            bool ended = false;
            while (at(j) == ')') {
                --depth;
                if (depth < 0) return fail(7, j, "Mismatched parenthesis");
                if (at(j - 1) == '(') return fail(7, j, "Empty parentheses");
                ++j;
                if (j > length) {
                    ended = true;
                    break;
                }
            }
            if (ended) break;
            if (!is_operator(at(j))) return fail(9, j, "Missing operator");
            if (j == length) return fail(1, j, "Missing operand");
            if (is_operator(at(j + 1))) return fail(8, j + 1, "Multiple operators");
            ++j;
        }
        if (depth > 0) return fail(10, length, "Missing )");
        return {};
    }

private:
    char at(int p) const { return p >= 1 && p <= static_cast<int>(s_.size()) ? s_[p - 1] : ' '; }
    std::string_view rest(int p) const { return p <= static_cast<int>(s_.size()) ? s_.substr(p - 1) : std::string_view(); }
    static SyntaxError fail(int code, int position, std::string message) { return {code, position, std::move(message)}; }

    std::string_view s_;
    std::span<const std::string_view> names_;
};

// Sets parseerrtype and, when printing, reports the error with a marker
// under its column of the text as given.
void parseerrmsg(const SyntaxError& error, std::string_view text, const Prepared& p, kalvor::FixedText& msg) {
    parseerrtype = 1;
    const bool covered = error.position >= 1 && error.position <= static_cast<int>(p.ipos.size());
    const std::string marker = covered ? std::string(p.ipos[error.position - 1] - 1, '_') + "?" : std::string();
    if (covered) msg = marker;
    if (!printerrors) return;
    std::printf("*** Error in syntax of function string. ***\n\n");
    std::printf("%s\n", std::string(text.substr(0, stringlib::s_len_trim(text))).c_str());
    if (covered) std::printf("%s\n", marker.c_str());
    std::printf("%s\n", error.message.c_str());
    std::fflush(stdout);
}

// Resets the error state, checks text and reports a syntax error.
SyntaxError check_text(std::string_view text, std::span<const std::string_view> names, bool print,
                       kalvor::FixedText& msg, Prepared& prepared) {
    evalerrtype = 0;
    parseerrtype = 0;
    printerrors = print;
    prepared = prepare(text);
    const SyntaxError error = Checker(prepared.text, names).run();
    if (error.code != 0) parseerrmsg(error, text, prepared, msg);
    printerrors = true;
    return error;
}

// ---- compile ----

class Compiler {
public:
    Compiler(std::string_view s, std::span<const std::string_view> names, tComp& slot, bool store)
        : s_(s), names_(names), slot_(slot), store_(store) {}

    void compile(int b, int e) {
        if (at(b) == '+') return compile(b + 1, e);
        if (enclosed(b, e)) return compile(b + 1, e - 1);
        if (is_letter(at(b)) && function_call(b, e, false)) return;
        if (at(b) == '-') {
            if (enclosed(b + 1, e)) {
                compile(b + 2, e - 1);
                add(code_negate);
                return;
            }
            if (is_letter(at(b + 1)) && function_call(b + 1, e, true)) return;
        }
        for (std::size_t k = 0; k < ops.size(); ++k) {
            const char op = ops[k];
            int depth = 0;
            for (int j = e; j >= b; --j) {
                if (at(j) == ')') ++depth;
                if (at(j) == '(') --depth;
                if (depth != 0 || at(j) != op || !is_binary(j)) continue;
                if ((op == '*' || op == '/' || op == '^') && at(b) == '-') {
                    // The leading sign applies to the whole product or power.
                    compile(b + 1, e);
                    add(code_negate);
                } else {
                    compile(b, j - 1);
                    compile(j + 1, e);
                    add(code_add + static_cast<std::int32_t>(k));
                    --slot_.stack_top;
                }
                return;
            }
        }
        item(b, e);
    }

private:
    char at(int p) const { return p >= 1 && p <= static_cast<int>(s_.size()) ? s_[p - 1] : ' '; }
    std::string_view rest(int p) const {
        return p >= 1 && p <= static_cast<int>(s_.size()) ? s_.substr(p - 1) : std::string_view();
    }

    void add(std::int32_t code) {
        if (store_) slot_.codes[slot_.code_count] = code;
        ++slot_.code_count;
    }

    void add_constant(double value) {
        if (store_) slot_.constants[slot_.constant_count] = value;
        ++slot_.constant_count;
        add(code_constant);
    }

    // b..e begins with "(" whose partner is the ")" at e.
    bool enclosed(int b, int e) const {
        if (b >= e || at(b) != '(' || at(e) != ')') return false;
        int depth = 0;
        for (int j = b; j <= e; ++j) {
            if (at(j) == '(') ++depth;
            if (at(j) == ')' && --depth == 0) return j == e;
        }
        return false;
    }

    // A function word at b applied to the enclosed rest of the range.
    bool function_call(int b, int e, bool negated) {
        int word_length = 0;
        const std::int32_t code = mathfunctionindex(rest(b), word_length);
        if (code == 0 || !enclosed(b + word_length, e)) return false;
        compile(b + word_length + 1, e - 1);
        add(code);
        if (negated) add(code_negate);
        return true;
    }

    // "+" and "-" are binary unless they open the text, follow an operator
    // or "(", or are the sign of a number's exponent.
    bool is_binary(int j) const {
        const char c = at(j);
        if (c != '+' && c != '-') return true;
        if (j == 1) return false;
        const char before = at(j - 1);
        if (is_operator(before) || before == '(') return false;
        return !exponent_sign(j);
    }

    bool exponent_sign(int j) const {
        const char letter = at(j - 1);
        if (j <= 2 || !stringlib::ch_is_digit(at(j + 1)) ||
            !(letter == 'e' || letter == 'E' || letter == 'd' || letter == 'D'))
            return false;
        bool digit_seen = false, point_seen = false;
        for (int k = j - 2; k >= 1; --k) {
            const char c = at(k);
            if (stringlib::ch_is_digit(c)) {
                digit_seen = true;
            } else if (c == '.' && !point_seen) {
                point_seen = true;
            } else {
                return digit_seen && (is_operator(c) || c == '(');
            }
        }
        return digit_seen;  // the walk reached the start of the text
    }

    // A number, variable or named constant, with an optional leading sign.
    void item(int b, int e) {
        const int b2 = at(b) == '-' ? b + 1 : b;
        const std::string_view text = rest(b2).substr(0, std::max(0, e - b2 + 1));
        if (stringlib::ch_is_digit(at(b2)) || at(b2) == '.') {
            add_constant(realnum(text).value);
        } else if (const int k = variableindex(text, names_); k > 0) {
            add(code_variable_first + k - 1);
        } else {
            add_constant(mathconst(text).value);
        }
        ++slot_.stack_top;
        slot_.stack_size = std::max(slot_.stack_size, slot_.stack_top);
        if (b2 > b) add(code_negate);
    }

    std::string_view s_;
    std::span<const std::string_view> names_;
    tComp& slot_;
    bool store_;
};

void reset_counters(tComp& slot) {
    slot.code_count = slot.constant_count = slot.stack_size = slot.stack_top = 0;
}

}  // namespace

void replace(std::string& s, std::string_view pattern, std::string_view replacement) {
    const std::size_t length = stringlib::s_len_trim(s);
    for (std::size_t p = 0; p + pattern.size() <= length; ++p) {
        if (std::string_view(s).substr(p, pattern.size()) == pattern)
            s.replace(p, pattern.size(), replacement.substr(0, pattern.size()));
    }
}

void initf(int n) {
    endf();
    comp.resize(n > 0 ? static_cast<std::size_t>(n) : 0);
}

int parsef(int i, std::string_view text, std::span<const std::string_view> names, bool print) {
    if (i < 0 || i >= static_cast<int>(comp.size())) return 1;
    const auto first = text.find_first_not_of(' ');
    const std::string_view adjusted = first == std::string_view::npos ? std::string_view() : text.substr(first);
    kalvor::FixedText msg(work_length);
    Prepared prepared;
    if (check_text(adjusted, names, print, msg, prepared).code != 0) return parseerrtype;

    // Counting pass, exact allocation, storing pass.
    tComp& slot = comp[static_cast<std::size_t>(i)];
    slot = tComp{};
    const int length = static_cast<int>(prepared.text.size());
    Compiler(prepared.text, names, slot, false).compile(1, length);
    slot.codes.resize(static_cast<std::size_t>(slot.code_count));
    slot.constants.resize(static_cast<std::size_t>(slot.constant_count));
    slot.stack.resize(static_cast<std::size_t>(slot.stack_size));
    reset_counters(slot);
    Compiler(prepared.text, names, slot, true).compile(1, length);
    build_program(slot);
    return parseerrtype;
}

int checkf(std::string_view text, kalvor::FixedText& msg, std::span<const std::string_view> names, int& code,
           bool print) {
    Prepared prepared;
    code = check_text(text, names, print, msg, prepared).code;
    return parseerrtype;
}

void endf() {
    comp.clear();
    comp.shrink_to_fit();
}

}  // namespace fparser
