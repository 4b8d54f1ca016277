// Block evaluator: the program of a slot run over many rows at once.  Every
// instruction is one pass over a block of rows, so that dispatch is paid
// once per block; the values of the stack live in whole blocks of the slot's
// work space and a push or pop only moves to the next or previous block.
// Per row the operations are those of evalf in the same order, so each row
// gets evalf's value bit for bit.

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "model/fparser.h"
#include "model/fparser_steps.h"
#include "model/row_threads.h"

namespace fparser {

namespace steps {

void size_block_space(tComp& slot) {
    int depth = 0, deepest = 0;
    std::size_t variables = 0;
    for (const Instruction& step : slot.program) {
        if (step.op == op_push_constant || step.op == op_push_variable) deepest = std::max(deepest, ++depth);
        if (step.op >= op_add_stack && (step.op - op_add_stack) % 5 == form_stack) --depth;
        const bool names_variable = step.op == op_push_variable ||
                                    (step.op >= op_add_stack && ((step.op - op_add_stack) % 5 == form_right_variable ||
                                                                 (step.op - op_add_stack) % 5 == form_left_variable));
        if (names_variable) variables = std::max(variables, static_cast<std::size_t>(step.index) + 1);
    }
    slot.block_depth = static_cast<std::size_t>(deepest);
    slot.block_sources.assign(variables, BlockSource{});
    slot.fixed = FixedParts{};
    slot.sharing = row_threads::Site{};
}

}  // namespace steps

namespace {

using namespace steps;

// t[r] = f(t[r], v[r]) over the block, v one value on every row unless
// by_row.  t and v never overlap: they are different blocks, or a block and
// the caller's values.
template <class F>
inline void with_right(double* __restrict t, const double* __restrict v, bool by_row, std::size_t n, F f) {
    if (by_row) {
        for (std::size_t r = 0; r < n; ++r) t[r] = f(t[r], v[r]);
    } else {
        const double b = *v;
        for (std::size_t r = 0; r < n; ++r) t[r] = f(t[r], b);
    }
}

// t[r] = f(v[r], t[r]) over the block.
template <class F>
inline void with_left(double* t, const double* v, bool by_row, std::size_t n, F f) {
    with_right(t, v, by_row, n, [f](double b, double a) { return f(a, b); });
}

// t[r] = power(t[r], b): the exponent's cases chosen once for the block.
inline void right_power(double* t, double b, std::size_t n) {
    const auto base_guarded = [&](auto f) {
        for (std::size_t r = 0; r < n; ++r) t[r] = std::fabs(t[r]) <= eps ? eps : f(t[r]);
    };
    if (std::fabs(b) <= eps)
        base_guarded([](double) { return 1.0; });
    else if (b == 2.0)
        base_guarded([](double a) { return a * a; });
    else if (b == 3.0)
        base_guarded([](double a) { return a * a * a; });
    else
        base_guarded([b](double a) { return std::pow(a, b); });
}

// guarded_log over a block: the values that need the logarithm of |x| get
// it from operators::aln_rows together.
inline void guarded_log_rows(double* t, std::size_t n) {
    const auto by_aln = [](double m) { return m > eps && m < two_pow_52; };
    double magnitude[block_rows];
    for (std::size_t r = 0; r < n; ++r) {
        const double m = std::fabs(t[r]);
        magnitude[r] = by_aln(m) ? m : 2.0;
    }
    operators::aln_rows({magnitude, n}, {magnitude, n});
    for (std::size_t r = 0; r < n; ++r) {
        const double x = t[r];
        t[r] = by_aln(std::fabs(x)) ? (x < 0.0 ? -magnitude[r] : magnitude[r]) : guarded_log(x);
    }
}

// Runs program over rows [first, first + n) (n <= block_rows) into out,
// with sources[k] giving variable k's values and stack holding a block of
// rows per stack place.  Returns whether the last row hit an out-of-range
// argument; such rows get 0.
//
// Built for AVX2 as well, chosen when the processor has it: wider vectors
// over the block, the same IEEE operations on every row.
KALVOR_AVX2_CLONES bool run_block(const Instruction* program, double* stack, const BlockSource* sources,
                                  std::size_t first, std::size_t n, double* out) {
    unsigned char failed[block_rows];
    bool any_failed = false;
    const auto source = [&](const Instruction* step) {
        const BlockSource& s = sources[step->index];
        return s.by_row ? s.values + first : s.values;
    };

    double* t = stack;               // the top block, once a value is pushed
    double* next = t;                      // where the next push goes
    for (const Instruction* step = program; step->op != op_end; ++step) {
        switch (step->op) {
        case op_push_constant:
            t = next;
            next += block_rows;
            with_right(t, &step->value, false, n, [](double, double b) { return b; });
            break;
        case op_push_variable:
            t = next;
            next += block_rows;
            with_right(t, source(step), sources[step->index].by_row, n, [](double, double b) { return b; });
            break;
        case op_negate:
            for (std::size_t r = 0; r < n; ++r) t[r] = -t[r];
            break;

#define KALVOR_FUNCTION_CASE(name, out_of_range, expr)      \
    case op_##name:                                         \
        if (op_##name == op_log) {                          \
            guarded_log_rows(t, n);                         \
            break;                                          \
        }                                                   \
        for (std::size_t r = 0; r < n; ++r) {               \
            const double x = t[r];                          \
            if (out_of_range) {                             \
                if (!any_failed) std::fill_n(failed, n, 0); \
                any_failed = true;                          \
                failed[r] = 1;                              \
            }                                               \
            t[r] = (expr);                                  \
        }                                                   \
        break;
            KALVOR_FUNCTIONS(KALVOR_FUNCTION_CASE)
#undef KALVOR_FUNCTION_CASE

#define KALVOR_BINARY_CASES(name, expr)                                                           \
    case op_##name##_stack:                                                                       \
        next = t;                                                                                 \
        t -= block_rows;                                                                          \
        with_right(t, next, true, n, [](double a, double b) { return (expr); });                  \
        break;                                                                                    \
    case op_##name##_right_constant:                                                              \
        if constexpr (op_##name##_right_constant == op_power_right_constant)                      \
            right_power(t, step->value, n);                                                       \
        else                                                                                      \
            with_right(t, &step->value, false, n, [](double a, double b) { return (expr); });     \
        break;                                                                                    \
    case op_##name##_right_variable:                                                              \
        with_right(t, source(step), sources[step->index].by_row, n,                               \
                   [](double a, double b) { return (expr); });                                    \
        break;                                                                                    \
    case op_##name##_left_constant:                                                               \
        with_left(t, &step->value, false, n, [](double a, double b) { return (expr); });          \
        break;                                                                                    \
    case op_##name##_left_variable:                                                               \
        with_left(t, source(step), sources[step->index].by_row, n,                                \
                  [](double a, double b) { return (expr); });                                     \
        break;
            KALVOR_BINARY_OPERATORS(KALVOR_BINARY_CASES)
#undef KALVOR_BINARY_CASES
        default:
            break;
        }
    }
    if (!any_failed) {
        std::copy_n(t, n, out);
        return false;
    }
    for (std::size_t r = 0; r < n; ++r) out[r] = failed[r] ? 0.0 : t[r];
    return failed[n - 1] != 0;
}

bool is_binary(std::int32_t op) { return op >= op_add_stack; }
Form form_of(std::int32_t op) { return static_cast<Form>((op - op_add_stack) % 5); }
bool names_variable(const Instruction& step) {
    return step.op == op_push_variable ||
           (is_binary(step.op) && (form_of(step.op) == form_right_variable || form_of(step.op) == form_left_variable));
}

// Finds the fixed parts of the slot's program for the variables read by
// rows in by_row: a stack machine over the program that knows, for each
// value on the stack, whether it is fixed and where its instructions begin.
// A fixed value becomes a part when a value that is not fixed (or a function
// that can fail) takes it in.
void plan_fixed_parts(tComp& slot, std::uint64_t by_row) {
    FixedParts& fixed = slot.fixed;
    fixed = FixedParts{};
    fixed.planned = true;
    fixed.by_row = by_row;
    const auto read_by_row = [&](const Instruction& step) { return (by_row >> step.index & 1U) != 0; };
    struct Value {
        bool fixed;
        std::size_t start;
    };
    std::vector<Value> stack;
    std::vector<std::pair<std::size_t, std::size_t>> found;  // [start, end) in the program
    const auto take_in = [&](Value& v, std::size_t end) {
        if (v.fixed && end - v.start >= 2) found.emplace_back(v.start, end);
        v.fixed = false;
    };
    const std::vector<Instruction>& program = slot.program;
    std::size_t i = 0;
    for (; program[i].op != op_end; ++i) {
        const Instruction& step = program[i];
        if (step.op == op_push_constant) {
            stack.push_back({true, i});
        } else if (step.op == op_push_variable) {
            stack.push_back({read_by_row(step), i});
        } else if (!is_binary(step.op)) {
            if (step.op == op_asin || step.op == op_acos) take_in(stack.back(), i);
        } else if (form_of(step.op) == form_stack) {
            Value right = stack.back();
            stack.pop_back();
            Value& left = stack.back();
            if (!(left.fixed && right.fixed)) {
                take_in(left, right.start);
                take_in(right, i);
            }
        } else if (names_variable(step) && !read_by_row(step)) {
            take_in(stack.back(), i);
        }
    }
    if (!stack.empty()) take_in(stack.back(), i);
    if (found.empty()) return;
    std::sort(found.begin(), found.end());

    // The program with each part read from its column (a column index after
    // the slot's variables), taken straight into a binary operator that
    // follows it, and the parts' own instructions.
    const auto first_column = static_cast<std::int32_t>(slot.block_sources.size());
    std::size_t next = 0;
    for (std::size_t at = 0; at < program.size(); ++at) {
        if (next == found.size() || at != found[next].first) {
            fixed.program.push_back(program[at]);
            continue;
        }
        const auto [start, end] = found[next];
        const auto column = first_column + static_cast<std::int32_t>(next);
        fixed.part_starts.push_back(fixed.parts.size());
        fixed.parts.insert(fixed.parts.end(), program.begin() + static_cast<std::ptrdiff_t>(start),
                           program.begin() + static_cast<std::ptrdiff_t>(end));
        fixed.parts.push_back(Instruction{op_end});
        for (std::size_t k = start; k < end; ++k)
            if (names_variable(program[k]) &&
                std::find(fixed.inputs.begin(), fixed.inputs.end(), program[k].index) == fixed.inputs.end())
                fixed.inputs.push_back(program[k].index);
        if (is_binary(program[end].op) && form_of(program[end].op) == form_stack) {
            fixed.program.push_back(Instruction{program[end].op + form_right_variable, column, 0.0});
            at = end;
        } else {
            fixed.program.push_back(Instruction{op_push_variable, column, 0.0});
            at = end - 1;
        }
        ++next;
    }
}

// Makes the fixed parts' columns hold rows [first, first + n), block b,
// for the columns the slot reads now.
void refresh_fixed_parts(tComp& slot, double* stack, std::size_t b, std::size_t first, std::size_t n) {
    FixedParts& fixed = slot.fixed;
    const std::size_t bytes = n * sizeof(double);
    bool same = fixed.block_done[b] == n;
    for (std::size_t j = 0; same && j < fixed.inputs.size(); ++j)
        same = std::memcmp(fixed.seen.data() + j * fixed.capacity + first,
                           slot.block_sources[static_cast<std::size_t>(fixed.inputs[j])].values + first, bytes) == 0;
    if (same) return;
    for (std::size_t j = 0; j < fixed.inputs.size(); ++j)
        std::memcpy(fixed.seen.data() + j * fixed.capacity + first,
                    slot.block_sources[static_cast<std::size_t>(fixed.inputs[j])].values + first, bytes);
    for (std::size_t h = 0; h < fixed.part_starts.size(); ++h)
        run_block(fixed.parts.data() + fixed.part_starts[h], stack, slot.block_sources.data(), first, n,
                  fixed.values.data() + h * fixed.capacity + first);
    fixed.block_done[b] = n;
}

// Readies the fixed parts for a job of rows rows: planned for the variables
// read by rows now, their columns as long as the table, and the sources of
// the program that reads them.
void prepare_fixed_parts(tComp& slot, std::size_t rows) {
    FixedParts& fixed = slot.fixed;
    std::uint64_t by_row = 0;
    for (std::size_t k = 0; k < slot.block_sources.size(); ++k)
        if (slot.block_sources[k].by_row) by_row |= std::uint64_t{1} << k;
    if (!fixed.planned || fixed.by_row != by_row) plan_fixed_parts(slot, by_row);
    if (fixed.part_starts.empty()) return;
    if (fixed.capacity < rows) {
        fixed.capacity = rows;
        fixed.values.assign(fixed.part_starts.size() * rows, 0.0);
        fixed.seen.assign(fixed.inputs.size() * rows, 0.0);
        fixed.block_done.clear();
    }
    fixed.block_done.resize((fixed.capacity + block_rows - 1) / block_rows, 0);
    fixed.sources = slot.block_sources;
    for (std::size_t h = 0; h < fixed.part_starts.size(); ++h)
        fixed.sources.push_back(BlockSource{fixed.values.data() + h * fixed.capacity, true});
}

}  // namespace

void evalf_rows(int i, std::span<const double> values, std::span<const double* const> columns, std::size_t rows,
                std::span<double> out) {
    if (rows == 0) return;
    if (i < 0 || i >= static_cast<int>(comp.size()) || comp[static_cast<std::size_t>(i)].code_count == 0) {
        std::fill_n(out.begin(), rows, 0.0);
        return;
    }
    tComp& slot = comp[static_cast<std::size_t>(i)];

    // Variable k reads value min(k, last): its column when one is given,
    // else the single value (0 when no value is passed).
    static constexpr double no_value = 0.0;
    for (std::size_t k = 0; k < slot.block_sources.size(); ++k) {
        const std::size_t from = values.empty() ? 0 : std::min(k, values.size() - 1);
        const double* const column = from < columns.size() && !values.empty() ? columns[from] : nullptr;
        slot.block_sources[k] = column != nullptr  ? BlockSource{column, true}
                                : values.empty() ? BlockSource{&no_value, false}
                                                 : BlockSource{&values[from], false};
    }

    // Each block is computed alone, so the threads that share the blocks
    // change nothing in the values.
    const std::size_t blocks = (rows + block_rows - 1) / block_rows;
    const std::size_t stack = slot.block_depth * block_rows;
    const auto threads = static_cast<std::size_t>(blocks > 1 ? row_threads::thread_count() : 1);
    if (slot.block_stacks.size() < threads * stack) slot.block_stacks.resize(threads * stack);
    prepare_fixed_parts(slot, rows);
    const bool with_parts = !slot.fixed.part_starts.empty();
    const Instruction* const program = with_parts ? slot.fixed.program.data() : slot.program.data();
    const BlockSource* const sources = with_parts ? slot.fixed.sources.data() : slot.block_sources.data();
    bool last_failed = false;  // written by the thread of the last block
    const auto block = [&](std::size_t b, int thread) {
        const std::size_t first = b * block_rows, n = std::min(block_rows, rows - first);
        double* const work = slot.block_stacks.data() + static_cast<std::size_t>(thread) * stack;
        if (with_parts) refresh_fixed_parts(slot, work, b, first, n);
        const bool failed = run_block(program, work, sources, first, n, out.data() + first);
        if (b == blocks - 1) last_failed = failed;
    };
    row_threads::run(slot.sharing, blocks, block);
    evalerrtype = last_failed ? 4 : 0;
}

}  // namespace fparser
