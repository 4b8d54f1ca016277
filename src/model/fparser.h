#pragma once
// Formula compiler and byte-code evaluator.
//
// A formula such as "P1*EXP(-P2*X1)+P3" is checked, compiled once into a
// postfix byte code and kept in a slot of `comp`; evalf then computes it for
// a vector of variable values without reading text or allocating.  The
// module knows nothing of parameters or data: the caller names the variables
// at compile time (name k gets byte code 31 + k) and passes their values,
// in the same order, at evaluation time.
//
// Operators bind in the order of `ops`, "+" loosest and "|" tightest, and
// associate to the left: 2^3^2 = 64, and P1^P2<X1 is P1^(P2<X1).  "**" is
// read as "^" and "!" as "|".  Comparisons give 1 or 0, ":" is the minimum
// and "|" the maximum.  Function words (`funcs`) and named constants ignore
// case; variable names match exactly.
//
// Syntax errors carry a code 1..11 (see checkf).  Slot numbers are 0-based
// indices into `comp`.

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "foundations/fixed_text.h"
#include "model/row_threads.h"

namespace fparser {

// One step of the evaluator.  The byte codes are translated so that a binary
// operator with a constant or a variable as one operand is a single step that
// names that operand, the other operand being the top of the stack.
struct Instruction {
    std::int32_t op = 0;
    std::int32_t index = 0;  // variable operand: 0-based variable index
    double value = 0.0;      // constant operand
};

// Where evalf_rows reads a variable: row r at values[r] (by_row), or the
// single value *values on every row.
struct BlockSource {
    const double* values = nullptr;
    bool by_row = false;
};

// The parts of a slot's program that evalf_rows computes once per table:
// the largest parts that read only columns and constants (no single value
// such as a parameter) and cannot fail, worth at least two instructions.
// Each part's values are kept in a column, block by block, together with the
// columns it read; a block is computed again when those change.
struct FixedParts {
    bool planned = false;
    std::uint64_t by_row = 0;              // the variables read by rows when planned (bit k: variable k)
    std::vector<Instruction> program;      // the slot's program reading each part from its column
    std::vector<Instruction> parts;        // the parts' instructions, each ended by op_end
    std::vector<std::size_t> part_starts;  // where each part begins in parts
    std::vector<std::int32_t> inputs;      // the variables the parts read
    std::size_t capacity = 0;              // rows each column holds
    std::vector<double> values;            // part h's column at h * capacity
    std::vector<double> seen;              // inputs[j]'s column at j * capacity, as last read
    std::vector<std::size_t> block_done;   // rows of block b computed from seen (0: none)
    std::vector<BlockSource> sources;      // the slot's sources, then the parts' columns
};

// One compiled formula.  The arrays are empty until a compile stores into
// them; then they hold exactly code_count codes, constant_count constants
// and stack_size stack places, and program the codes as evalf runs them.
struct tComp {
    std::vector<std::int32_t> codes;     // byte codes in execution order
    std::int32_t code_count = 0;
    std::vector<double> constants;       // numeric constants in the order the codes use them
    std::int32_t constant_count = 0;
    std::vector<double> stack;           // evaluation stack
    std::int32_t stack_size = 0;         // deepest stack the formula needs
    std::int32_t stack_top = 0;          // running depth while compiling
    std::vector<Instruction> program;    // the codes translated for evalf
    // For evalf_rows, set with the program: the stack places it needs (a
    // block of rows each) and where each variable the program names is read;
    // the stacks of the threads that share the rows, one after another; the
    // parts computed once per table; what sharing the rows has shown so far.
    std::size_t block_depth = 0;
    std::vector<BlockSource> block_sources;
    std::vector<double> block_stacks;
    FixedParts fixed;
    row_threads::Site sharing;
};

// Rows that evalf_rows runs every instruction over at a time.
inline constexpr std::size_t block_rows = 64;

// Byte codes.  Variable k (1-based) of the name list is code
// code_variable_first + k - 1.
enum ByteCode : std::int32_t {
    code_constant = 1,  // push the next constant
    code_negate = 2,
    code_add = 3, code_subtract, code_multiply, code_divide, code_power,
    code_equal, code_not_equal, code_less, code_less_equal, code_greater, code_greater_equal,
    code_minimum, code_maximum,
    code_abs = 16, code_exp, code_log10, code_log, code_sqrt, code_sinh, code_cosh, code_tanh,
    code_sin, code_cos, code_tan, code_asin, code_acos, code_atan, code_round, code_omegw,
    code_variable_first = 32,
};

// The operator characters in code order (code = 3 + index); also the binding
// order from loosest to tightest.
inline constexpr std::string_view ops = "+-*/^=#<[>]:|";
// Function words in code order (code = 16 + index).  "log10" comes before
// "log" and "sinh" before "sin" so that the longer word wins.
inline constexpr std::array<std::string_view, 16> funcs = {
    "abs", "exp", "log10", "log", "sqrt", "sinh", "cosh", "tanh",
    "sin", "cos", "tan", "asin", "acos", "atan", "rd", "omegw"};
// An operand may not begin with one of these characters.
inline constexpr std::string_view nochr = "FJUVYZ";

// The compiled formulas (slots 0..n-1), created by initf.
extern std::vector<tComp> comp;
// 0 after a clean check, 1 after a syntax error.
extern int parseerrtype;
// Set by evalf: 0 after a complete evaluation, 4 after an ASIN/ACOS argument
// outside [-1, 1].
extern int evalerrtype;
// Whether a syntax error is reported on standard output (true between calls).
extern bool printerrors;

// Replace the table of compiled formulas by n empty slots (none for n < 1).
void initf(int n);

// Check text (left-adjusted first) and, when it is clean, compile it into
// slot i; returns 0 when compiled, 1 on a syntax error or when i is no slot.
// A failing text leaves the slot's previous formula in place.
int parsef(int i, std::string_view text, std::span<const std::string_view> names, bool print = true);

// Check text without compiling; returns parseerrtype and sets code to the
// syntax error code:
//   1 missing operand, 2 sign followed by an operator, 3 missing function
//   argument, 4 missing opening parenthesis, 5 invalid number format,
//   6 invalid element, 7 mismatched parenthesis, 8 multiple operators,
//   9 missing operator, 10 missing ")", 11 invalid character.
// On a syntax error msg receives a marker line, underscores up to the error's
// column of text and a "?" there (msg is left as given otherwise); with print
// set the error is also reported on standard output.
int checkf(std::string_view text, kalvor::FixedText& msg, std::span<const std::string_view> names,
           int& code, bool print = true);

// Free every slot and the table.
void endf();

// Translate the slot's codes into its program (called by parsef).
void build_program(tComp& slot);

// Value of the formula in slot i for the variable values (value k-1 is
// variable k; a variable beyond the values passed reads the last one, and
// reads 0 when none is passed).  Dangerous operations give fixed finite
// values; an ASIN/ACOS argument outside [-1, 1] ends the evaluation with 0
// and evalerrtype 4.  A slot that does not exist or holds no formula gives 0.
double evalf(int i, std::span<const double> values);

// Values of the formula in slot i for rows 0..rows-1 into out: variable k
// reads columns[k][r] in row r when columns has a non-null entry k, else
// values[k] on every row, with evalf's rules for the variables beyond the
// values passed.  Each out[r] is bit for bit what evalf gives for row r's
// values, and evalerrtype is that of the last row; every instruction runs
// over a block of block_rows rows at once, without allocating once the
// slot's work space has its size.  The blocks are shared among the threads
// of row_threads when that has been measured to pay for the slot's program
// and this many rows; the work space of every thread is grown before.  One
// thread at a time evaluates a slot.  out must hold rows values.
void evalf_rows(int i, std::span<const double> values, std::span<const double* const> columns, std::size_t rows,
                std::span<double> out);

// Text of evalerrtype 1..5, blank otherwise.
kalvor::Text<32> evalerrmsg();

// Scanning start positions 1 .. trimmed length - pattern length + 1 in
// increasing order, overwrite every place where s holds pattern by the first
// pattern-length characters of replacement (which is at least as long).
void replace(std::string& s, std::string_view pattern, std::string_view replacement);

}  // namespace fparser
