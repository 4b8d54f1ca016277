// Byte-code evaluator: a stack machine over the slot's preallocated stack,
// with the top of the stack held in a local and threaded dispatch.  At
// compile time the postfix codes are rebuilt into a tree and emitted so that
// a binary operator with a constant or variable operand (on either side)
// takes it straight from the instruction instead of a push; operands keep
// their order, so results are those of the codes as written.  Every
// dangerous operation has a fixed finite result, so a fit never stops on one
// bad trial point.

#include <algorithm>
#include <cmath>

#include "model/fparser.h"
#include "model/fparser_steps.h"

namespace fparser {

namespace {

using namespace steps;

bool is_leaf(std::int32_t code) { return code == code_constant || code >= code_variable_first; }

// The formula as a tree, rebuilt from the postfix codes.
struct Node {
    std::int32_t code = 0;
    std::int32_t left = -1, right = -1;  // children (operand of a unary node: left)
    double value = 0.0;                  // constant leaf
};

class ProgramBuilder {
public:
    explicit ProgramBuilder(tComp& slot) : slot_(slot) {
        std::vector<std::int32_t> stack;
        std::size_t next_constant = 0;
        for (const std::int32_t code : slot.codes) {
            Node node{code};
            if (code == code_constant) {
                node.value = slot.constants[next_constant++];
            } else if (!is_leaf(code)) {
                if (code >= code_add && code <= code_maximum) {
                    node.right = stack.back();
                    stack.pop_back();
                }
                node.left = stack.back();
                stack.pop_back();
            }
            stack.push_back(static_cast<std::int32_t>(nodes_.size()));
            nodes_.push_back(node);
        }
        slot.program.clear();
        slot.program.reserve(nodes_.size() + 1);
        if (!stack.empty()) emit(stack.back());
        slot.program.push_back(Instruction{op_end});
    }

private:
    // The instruction for a binary operator whose operand leaf is given.
    Instruction operand_step(std::int32_t code, const Node& leaf, bool right) const {
        Instruction step;
        if (leaf.code == code_constant) {
            step.op = binary_op(code, right ? form_right_constant : form_left_constant);
            step.value = leaf.value;
        } else {
            step.op = binary_op(code, right ? form_right_variable : form_left_variable);
            step.index = leaf.code - code_variable_first;
        }
        return step;
    }

    void emit(std::int32_t n) {
        const Node& node = nodes_[static_cast<std::size_t>(n)];
        if (node.code == code_constant) {
            slot_.program.push_back(Instruction{op_push_constant, 0, node.value});
        } else if (node.code >= code_variable_first) {
            slot_.program.push_back(Instruction{op_push_variable, node.code - code_variable_first, 0.0});
        } else if (node.right < 0) {
            emit(node.left);
            slot_.program.push_back(Instruction{node.code == code_negate ? op_negate : op_abs + (node.code - code_abs)});
        } else if (const Node& right = nodes_[static_cast<std::size_t>(node.right)]; is_leaf(right.code)) {
            emit(node.left);
            slot_.program.push_back(operand_step(node.code, right, true));
        } else if (const Node& left = nodes_[static_cast<std::size_t>(node.left)]; is_leaf(left.code)) {
            emit(node.right);
            slot_.program.push_back(operand_step(node.code, left, false));
        } else {
            emit(node.left);
            emit(node.right);
            slot_.program.push_back(Instruction{binary_op(node.code, form_stack)});
        }
    }

    tComp& slot_;
    std::vector<Node> nodes_;
};

}  // namespace

void build_program(tComp& slot) {
    ProgramBuilder builder(slot);
    size_block_space(slot);
}

double evalf(int i, std::span<const double> values) {
    if (i < 0 || i >= static_cast<int>(comp.size())) return 0.0;
    tComp& slot = comp[static_cast<std::size_t>(i)];
    if (slot.code_count == 0) return 0.0;

    // A variable beyond the values passed reads the last one (0 for none).
    static constexpr double no_values[1] = {0.0};
    const double* const v = values.empty() ? no_values : values.data();
    const std::size_t last = values.empty() ? 0 : values.size() - 1;
    const auto variable = [&](const Instruction* step) { return v[std::min(static_cast<std::size_t>(step->index), last)]; };

    // s[0..sp] holds the stack below the top; the first push parks the
    // initial top in s[0], so stack_size places suffice.
    double* const s = slot.stack.data();
    int sp = -1;
    double top = 0.0;
    const Instruction* step = slot.program.data();

    // Threaded dispatch: every operation jumps straight to the next one.
#define KALVOR_FUNCTION_LABEL(name, out_of_range, expr) &&label_##name,
#define KALVOR_BINARY_LABELS(name, expr) \
    &&label_##name##_stack, &&label_##name##_right_constant, &&label_##name##_right_variable, \
    &&label_##name##_left_constant, &&label_##name##_left_variable,
    static const void* const dispatch[] = {
        &&label_end, &&label_push_constant, &&label_push_variable, &&label_negate,
        KALVOR_FUNCTIONS(KALVOR_FUNCTION_LABEL)
        KALVOR_BINARY_OPERATORS(KALVOR_BINARY_LABELS)};
#undef KALVOR_FUNCTION_LABEL
#undef KALVOR_BINARY_LABELS
#define KALVOR_NEXT goto *dispatch[(++step)->op]

    goto *dispatch[step->op];

label_push_constant:
    s[++sp] = top;
    top = step->value;
    KALVOR_NEXT;
label_push_variable:
    s[++sp] = top;
    top = variable(step);
    KALVOR_NEXT;
label_negate:
    top = -top;
    KALVOR_NEXT;

#define KALVOR_FUNCTION_CODE(name, out_of_range, expr) \
    label_##name : {                                   \
        const double x = top;                          \
        if (out_of_range) goto label_out_of_range;     \
        top = (expr);                                  \
        KALVOR_NEXT;                                   \
    }
    KALVOR_FUNCTIONS(KALVOR_FUNCTION_CODE)
#undef KALVOR_FUNCTION_CODE

#define KALVOR_BINARY_CODE(name, expr)                                \
    label_##name##_stack : {                                          \
        const double a = s[sp--], b = top;                            \
        top = (expr);                                                 \
        KALVOR_NEXT;                                                  \
    }                                                                 \
    label_##name##_right_constant : {                                 \
        const double a = top, b = step->value;                        \
        top = (expr);                                                 \
        KALVOR_NEXT;                                                  \
    }                                                                 \
    label_##name##_right_variable : {                                 \
        const double a = top, b = variable(step);                     \
        top = (expr);                                                 \
        KALVOR_NEXT;                                                  \
    }                                                                 \
    label_##name##_left_constant : {                                  \
        const double a = step->value, b = top;                        \
        top = (expr);                                                 \
        KALVOR_NEXT;                                                  \
    }                                                                 \
    label_##name##_left_variable : {                                  \
        const double a = variable(step), b = top;                     \
        top = (expr);                                                 \
        KALVOR_NEXT;                                                  \
    }
    KALVOR_BINARY_OPERATORS(KALVOR_BINARY_CODE)
#undef KALVOR_BINARY_CODE
#undef KALVOR_NEXT

label_end:
    evalerrtype = 0;
    return top;

label_out_of_range:
    evalerrtype = 4;
    return 0.0;
}

kalvor::Text<32> evalerrmsg() {
    static constexpr const char* messages[] = {
        "Division by zero", "Argument of SQRT negative", "Argument of LOG  <=  0",
        "Argument of ASIN or ACOS illegal", "-exponent to fractional power"};
    if (evalerrtype >= 1 && evalerrtype <= 5) return kalvor::Text<32>(messages[evalerrtype - 1]);
    return kalvor::Text<32>();
}

}  // namespace fparser
