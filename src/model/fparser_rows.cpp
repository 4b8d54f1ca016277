// Block evaluator: the program of a slot run over many rows at once.  Every
// instruction is one pass over a block of rows, so that dispatch is paid
// once per block; the values of the stack live in whole blocks of the slot's
// work space and a push or pop only moves to the next or previous block.
// Per row the operations are those of evalf in the same order, so each row
// gets evalf's value bit for bit.

#include <algorithm>

#include "model/fparser.h"
#include "model/fparser_steps.h"

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
    slot.block_stack.assign(static_cast<std::size_t>(deepest) * block_rows, 0.0);
    slot.block_values.assign(variables * block_rows, 0.0);
    slot.block_sources.assign(variables, BlockSource{});
    slot.block_failed.assign(block_rows, 0);
}

}  // namespace steps

namespace {

using namespace steps;

// Runs the slot's program over rows [first, first + n) (n <= block_rows);
// sources[k] gives variable k's values.  Returns whether the last row hit an out-of-range
// argument; such rows get 0.
bool run_block(tComp& slot, const BlockSource* sources, std::size_t first, std::size_t n, double* out) {
    unsigned char* const failed = slot.block_failed.data();
    std::fill_n(failed, n, 0);
    const auto rows_of = [&](const Instruction* step) {
        const BlockSource& source = sources[step->index];
        return source.by_row ? source.values + first : source.values;
    };

    double* t = slot.block_stack.data() - block_rows;  // the top block; none yet
    for (const Instruction* step = slot.program.data(); step->op != op_end; ++step) {
        switch (step->op) {
        case op_push_constant: {
            t += block_rows;
            std::fill_n(t, n, step->value);
            break;
        }
        case op_push_variable: {
            t += block_rows;
            std::copy_n(rows_of(step), n, t);
            break;
        }
        case op_negate:
            for (std::size_t r = 0; r < n; ++r) t[r] = -t[r];
            break;

#define KALVOR_FUNCTION_CASE(name, out_of_range, expr)  \
    case op_##name:                                     \
        for (std::size_t r = 0; r < n; ++r) {           \
            const double x = t[r];                      \
            if (out_of_range) failed[r] = 1;            \
            t[r] = (expr);                              \
        }                                               \
        break;
            KALVOR_FUNCTIONS(KALVOR_FUNCTION_CASE)
#undef KALVOR_FUNCTION_CASE

#define KALVOR_BINARY_CASES(name, expr)                                          \
    case op_##name##_stack: {                                                    \
        double* const under = t - block_rows;                                          \
        for (std::size_t r = 0; r < n; ++r) {                                    \
            const double a = under[r], b = t[r];                                 \
            under[r] = (expr);                                                   \
        }                                                                        \
        t = under;                                                               \
        break;                                                                   \
    }                                                                            \
    case op_##name##_right_constant: {                                           \
        const double b = step->value;                                            \
        for (std::size_t r = 0; r < n; ++r) {                                    \
            const double a = t[r];                                               \
            t[r] = (expr);                                                       \
        }                                                                        \
        break;                                                                   \
    }                                                                            \
    case op_##name##_right_variable: {                                           \
        const double* const v = rows_of(step);                                   \
        for (std::size_t r = 0; r < n; ++r) {                                    \
            const double a = t[r], b = v[r];                                     \
            t[r] = (expr);                                                       \
        }                                                                        \
        break;                                                                   \
    }                                                                            \
    case op_##name##_left_constant: {                                            \
        const double a = step->value;                                            \
        for (std::size_t r = 0; r < n; ++r) {                                    \
            const double b = t[r];                                               \
            t[r] = (expr);                                                       \
        }                                                                        \
        break;                                                                   \
    }                                                                            \
    case op_##name##_left_variable: {                                            \
        const double* const v = rows_of(step);                                   \
        for (std::size_t r = 0; r < n; ++r) {                                    \
            const double a = v[r], b = t[r];                                     \
            t[r] = (expr);                                                       \
        }                                                                        \
        break;                                                                   \
    }
            KALVOR_BINARY_OPERATORS(KALVOR_BINARY_CASES)
#undef KALVOR_BINARY_CASES
        default:
            break;
        }
    }
    for (std::size_t r = 0; r < n; ++r) out[r] = failed[r] ? 0.0 : t[r];
    return failed[n - 1] != 0;
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

    // Variable k reads value min(k, last), a column when one is given, else
    // a block filled with the single value (0 when no value is passed).
    for (std::size_t k = 0; k < slot.block_sources.size(); ++k) {
        const std::size_t from = values.empty() ? 0 : std::min(k, values.size() - 1);
        const double* const column = from < columns.size() && !values.empty() ? columns[from] : nullptr;
        double* const block = slot.block_values.data() + k * block_rows;
        if (column == nullptr) std::fill_n(block, block_rows, values.empty() ? 0.0 : values[from]);
        slot.block_sources[k] = column != nullptr ? BlockSource{column, true} : BlockSource{block, false};
    }

    bool last_failed = false;
    for (std::size_t first = 0; first < rows; first += block_rows) {
        const std::size_t n = std::min(block_rows, rows - first);
        last_failed = run_block(slot, slot.block_sources.data(), first, n, out.data() + first);
    }
    evalerrtype = last_failed ? 4 : 0;
}

}  // namespace fparser
