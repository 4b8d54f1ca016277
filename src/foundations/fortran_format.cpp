#include "foundations/fortran_format.h"

#include <cctype>

#include "foundations/fortran_io.h"

namespace fortran_io::detail {
namespace {

// Numbers in a format beyond this are taken for a mistake.
constexpr long max_number = 1'000'000;

class Parser {
public:
    explicit Parser(std::string_view text) : whole_(text), s_(text) {}

    Format parse()
    {
        skip_blanks();
        // The outer parentheses are optional; strip them when they enclose all.
        std::size_t end = s_.size();
        while (end > 0 && s_[end - 1] == ' ') --end;
        if (i_ < end && s_[i_] == '(' && closing_of(i_) == end - 1) {
            ++i_;
            s_ = s_.substr(0, end - 1);
        }
        parse_list(0);
        if (i_ < s_.size()) fail("unbalanced parenthesis");
        finish();
        return std::move(f_);
    }

private:
    std::string_view whole_;   // for messages
    std::string_view s_;
    std::size_t i_ = 0;
    Format f_;

    [[noreturn]] void fail(const std::string& why) const
    {
        throw FormatError("Bad format \"" + std::string(whole_) + "\": " + why);
    }

    // Index of the parenthesis closing the one at open, skipping quoted
    // texts; npos when it is not closed.
    std::size_t closing_of(std::size_t open) const
    {
        int depth = 0;
        for (std::size_t k = open; k < s_.size(); ++k) {
            const char c = s_[k];
            if (c == '\'' || c == '"') {
                for (++k; k < s_.size(); ++k) {
                    if (s_[k] == c) {
                        if (k + 1 < s_.size() && s_[k + 1] == c) ++k;
                        else break;
                    }
                }
            } else if (c == '(') {
                ++depth;
            } else if (c == ')') {
                if (--depth == 0) return k;
            }
        }
        return std::string_view::npos;
    }

    void skip_blanks()
    {
        while (i_ < s_.size() && (s_[i_] == ' ' || s_[i_] == '\t')) ++i_;
    }
    bool at_end() { skip_blanks(); return i_ >= s_.size(); }
    char peek() { skip_blanks(); return i_ < s_.size() ? static_cast<char>(std::toupper(static_cast<unsigned char>(s_[i_]))) : '\0'; }
    char next() { const char c = peek(); if (c) ++i_; return c; }
    bool peek_digit() { const char c = peek(); return c >= '0' && c <= '9'; }

    // Unsigned number with blanks allowed between its digits.
    int number()
    {
        if (!peek_digit()) fail("number expected");
        long v = 0;
        while (peek_digit()) {
            v = v * 10 + (next() - '0');
            if (v > max_number) fail("number too large");
        }
        return static_cast<int>(v);
    }
    int optional_number() { return peek_digit() ? number() : absent; }

    void add(Token t) { f_.tokens.push_back(std::move(t)); }

    void parse_list(int depth)
    {
        for (;;) {
            while (peek() == ',') ++i_;
            if (at_end()) {
                if (depth > 0) fail("missing ')'");
                return;
            }
            const char c = peek();
            if (c == ')') {
                if (depth == 0) fail("unbalanced parenthesis");
                return;
            }
            parse_item(depth);
        }
    }

    void parse_group(int depth, int repeat, bool unlimited)
    {
        ++i_;  // '('
        const std::size_t open = f_.tokens.size();
        Token t;
        t.op = Op::GroupOpen;
        t.repeat = repeat;
        t.unlimited = unlimited;
        add(t);
        parse_list(depth + 1);
        ++i_;  // ')'
        Token close;
        close.op = Op::GroupClose;
        close.match = static_cast<int>(open);
        f_.tokens[open].match = static_cast<int>(f_.tokens.size());
        add(close);
        if (depth == 0) f_.reversion = open;
    }

    void parse_literal()
    {
        const char quote = s_[i_++];
        std::string text;
        for (;;) {
            if (i_ >= s_.size()) fail("unclosed quote");
            const char c = s_[i_++];
            if (c == quote) {
                if (i_ < s_.size() && s_[i_] == quote) { text += quote; ++i_; }
                else break;
            } else {
                text += c;
            }
        }
        Token t;
        t.op = Op::Literal;
        t.text = std::move(text);
        add(std::move(t));
    }

    void parse_item(int depth)
    {
        const char c = peek();
        if (c == '\'' || c == '"') return parse_literal();
        if (c == '(') return parse_group(depth, 1, false);
        if (c == '*') {
            ++i_;
            if (peek() != '(') fail("'(' expected after '*'");
            return parse_group(depth, 1, true);
        }
        if (c == '/' || c == '$' || c == '\\' || c == ':') {
            ++i_;
            Token t;
            t.op = c == '/' ? Op::Slash : c == ':' ? Op::Colon : Op::NoAdvance;
            return add(t);
        }

        // An optional signed count: repeat count, scale factor, nX or nH.
        int count = absent;
        bool negative = false;
        bool signed_count = false;
        if (c == '+' || c == '-') {
            ++i_;
            negative = c == '-';
            signed_count = true;
            count = number();
        } else if (peek_digit()) {
            count = number();
        }
        if (count != absent) {
            const char k = peek();
            if (k == 'P') {
                ++i_;
                Token t;
                t.op = Op::Scale;
                t.n = negative ? -count : count;
                return add(t);
            }
            if (signed_count) fail("a sign is allowed only before P");
            if (k == 'H') {
                ++i_;  // the next count characters are the text, blanks included
                if (i_ + static_cast<std::size_t>(count) > s_.size()) fail("Hollerith text runs past the end");
                Token t;
                t.op = Op::Literal;
                t.text = std::string(s_.substr(i_, count));
                i_ += count;
                return add(std::move(t));
            }
            if (count == 0 && k != 'X') fail("zero repeat count");
            if (k == 'X') { ++i_; return add_move(Op::Skip, count); }
            if (k == '(') return parse_group(depth, count, false);
            if (k == '/') {
                ++i_;
                Token t;
                t.op = Op::Slash;
                t.repeat = count;
                return add(t);
            }
            if (!parse_data(count)) fail(std::string("edit descriptor expected after ") + std::to_string(count));
            return;
        }

        if (parse_data(1)) return;
        ++i_;  // the letter c
        switch (c) {
        case 'X': return add_move(Op::Skip, 1);
        case 'T': {
            const char k = peek();
            if (k == 'L') { ++i_; return add_move(Op::TabLeft, number()); }
            if (k == 'R') { ++i_; return add_move(Op::Skip, number()); }
            const int n = number();
            if (n < 1) fail("T needs a position from 1");
            return add_move(Op::TabTo, n);
        }
        case 'S': {
            const char k = peek();
            if (k == 'P' || k == 'S') ++i_;
            Token t;
            t.op = Op::Sign;
            t.n = k == 'P' ? 1 : 0;
            return add(t);
        }
        case 'B': {
            // Blank interpretation (BN, BZ) applies to input only.
            const char k = next();
            if (k != 'N' && k != 'Z') fail("BN or BZ expected");
            return;
        }
        default:
            fail(std::string("unknown edit descriptor '") + c + "'");
        }
    }

    void add_move(Op op, int n)
    {
        Token t;
        t.op = op;
        t.n = n;
        add(t);
    }

    // A data edit descriptor at the current position; false when there is
    // none (nothing consumed).
    bool parse_data(int repeat)
    {
        const std::size_t start = i_;
        Token t;
        t.repeat = repeat;
        switch (next()) {
        case 'I': t.edit = Edit::I; break;
        case 'F': t.edit = Edit::F; break;
        case 'D': t.edit = Edit::D; break;
        case 'G': t.edit = Edit::G; break;
        case 'A': t.edit = Edit::A; break;
        case 'L': t.edit = Edit::L; break;
        case 'E':
            t.edit = Edit::E;
            if (peek() == 'N') { ++i_; t.edit = Edit::EN; }
            else if (peek() == 'S') { ++i_; t.edit = Edit::ES; }
            break;
        default:
            i_ = start;
            return false;
        }
        t.w = optional_number();
        if (peek() == '.') {
            ++i_;
            t.d = number();
        }
        const bool exponent_form = t.edit == Edit::E || t.edit == Edit::EN || t.edit == Edit::ES || t.edit == Edit::G;
        if (exponent_form && t.d != absent && peek() == 'E') {
            ++i_;
            t.e = number();
            if (t.e == 0) fail("exponent width must be positive");
        }
        switch (t.edit) {
        case Edit::I:
            if (t.w == absent) fail("I needs a width");
            if (t.w > 0 && t.d > t.w) fail("minimum digits exceed the field width");
            break;
        case Edit::F:
            if (t.w == absent || t.d == absent) fail("F needs w.d");
            break;
        case Edit::E: case Edit::EN: case Edit::ES: case Edit::D:
            if (t.w == absent || t.w == 0 || t.d == absent) fail("exponent form needs w.d with w > 0");
            break;
        case Edit::G:
            if (t.w == absent) fail("G needs a width");
            break;
        case Edit::A:
            if (t.w == 0 || t.d != absent) fail("A takes only a positive width");
            break;
        case Edit::L:
            if (t.w == 0 || t.d != absent) fail("L takes only a positive width");
            if (t.w == absent) t.w = 1;
            break;
        }
        add(t);
        return true;
    }

    // Checks that every *( ) group and the reversion part transfer items, so
    // that formatting always ends.
    void finish()
    {
        const auto& tk = f_.tokens;
        auto has_data = [&](std::size_t from, std::size_t to) {
            for (std::size_t k = from; k < to; ++k)
                if (tk[k].op == Op::Data) return true;
            return false;
        };
        for (std::size_t k = 0; k < tk.size(); ++k)
            if (tk[k].op == Op::GroupOpen && tk[k].unlimited && !has_data(k, static_cast<std::size_t>(tk[k].match)))
                fail("*( ) group without data edit descriptor");
        f_.has_data = has_data(f_.reversion, tk.size());
    }
};

}  // namespace

Format parse_format(std::string_view text)
{
    return Parser(text).parse();
}

}  // namespace fortran_io::detail
