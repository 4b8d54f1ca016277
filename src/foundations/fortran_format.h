#pragma once
// Parsed Fortran format texts, shared by the writer and the formatted reader.
//
// A format is a flat list of tokens; groups are bracketed by GroupOpen and
// GroupClose tokens that know each other's index.  The outer parentheses are
// not part of the list.

#include <string>
#include <string_view>
#include <vector>

namespace fortran_io::detail {

enum class Op {
    Data,        // an edit descriptor that transfers one item per repetition
    Literal,     // quoted text or Hollerith constant
    Skip,        // nX and TRn: move right
    TabTo,       // Tn: move to position n of the record
    TabLeft,     // TLn: move left
    Slash,       // end the record
    NoAdvance,   // $ or backslash: leave the record open at the end
    Colon,       // stop here when no items are left
    Scale,       // kP
    Sign,        // S, SS (n = 0) or SP (n = 1)
    GroupOpen,
    GroupClose,
};

enum class Edit { I, F, E, EN, ES, D, G, A, L };

constexpr int absent = -1;

struct Token {
    Op op = Op::Data;
    Edit edit = Edit::I;
    int repeat = 1;           // Data, Slash; GroupOpen (the group's count)
    bool unlimited = false;   // GroupOpen written *( )
    int w = absent;           // field width
    int d = absent;           // digits after the point (I: minimum digits)
    int e = absent;           // exponent digits
    int n = 0;                // Skip, TabTo, TabLeft, Scale, Sign
    int match = 0;            // GroupOpen <-> GroupClose partner index
    std::string text;         // Literal
};

struct Format {
    std::vector<Token> tokens;
    std::size_t reversion = 0;   // index format control reverts to
    bool has_data = false;
};

// Parses a format text; the outer parentheses are optional.  Throws
// fortran_io::FormatError naming the fault and the format.
Format parse_format(std::string_view text);

}  // namespace fortran_io::detail
