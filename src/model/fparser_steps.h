#pragma once
// Operations of the byte-code evaluators (fparser_eval.cpp runs one row at a
// time, fparser_rows.cpp a block of rows): the guarded functions, the
// operator and function tables as X-macros, and the instruction numbering.
// Internal to the formula engine.

#include <cmath>
#include <cstdint>

#include "model/fparser.h"
#include "model/operators.h"
#include "model/operators_steps.h"

namespace fparser::steps {

constexpr double eps = 2.220446049250313e-16;
constexpr double exp_of_80 = 5.54062238439351e+34;
constexpr double exp_of_minus_80 = 1.8048513878454153e-35;
constexpr double two_pow_52 = 4503599627370496.0;

// a^b: tiny bases give eps, tiny exponents 1, squares and cubes multiply.
inline double power(double a, double b) {
    if (std::fabs(a) <= eps) return eps;
    if (std::fabs(b) <= eps) return 1.0;
    if (b == 2.0) return a * a;
    if (b == 3.0) return a * a * a;
    return std::pow(a, b);
}

// e^x with x taken within [-80, 80]: arguments beyond (infinities
// included) saturate by their sign, NaN counts as 0.
inline double guarded_exp(double x) {
    if (std::isnan(x)) return 1.0;
    if (x >= 80.0) return exp_of_80;
    if (x <= -80.0) return exp_of_minus_80;
    if (std::fabs(x) <= eps) return 1.0;
    return std::exp(x);
}

// Decimal logarithm of |x| carrying the sign of x; -16 near 0.
inline double guarded_log10(double x) {
    if (std::fabs(x) <= eps) return -16.0;
    if (x > 0.0) return std::log10(x);
    if (x < 0.0) return -std::fabs(std::log10(-x));
    return x;  // NaN
}

// Natural logarithm of |x| carrying the sign of x, within [-36, 36].
inline double guarded_log(double x) {
    if (std::isnan(x)) return -36.0;
    if (std::isinf(x)) return 36.0;
    if (x >= 0.0) {
        if (x <= eps) return -36.0;
        if (x >= two_pow_52) return 36.0;
        return operators::aln(x);
    }
    const double m = -x;
    if (m <= eps) return 36.0;
    if (m >= two_pow_52) return -36.0;
    return -operators::aln(m);
}

inline double guarded_tanh(double x) {
    if (x >= -1e-9 && x <= 1e-9) return 1e-9;
    if (x <= -1e9) return -1.0;
    if (x >= 1e9) return 1.0;
    return std::tanh(x);
}

// The 13 binary operators in code order, with a the left and b the right
// operand.
#define KALVOR_BINARY_OPERATORS(X)            \
    X(add, a + b)                             \
    X(subtract, a - b)                        \
    X(multiply, a * b)                        \
    X(divide, a / (b == 0.0 ? 1e-9 : b))      \
    X(power, power(a, b))                     \
    X(equal, a == b ? 1.0 : 0.0)              \
    X(not_equal, a == b ? 0.0 : 1.0)          \
    X(less, a < b ? 1.0 : 0.0)                \
    X(less_equal, a <= b ? 1.0 : 0.0)         \
    X(greater, a > b ? 1.0 : 0.0)             \
    X(greater_equal, a >= b ? 1.0 : 0.0)      \
    X(minimum, a < b ? a : b)                 \
    X(maximum, a > b ? a : b)

// The 16 functions in code order: an argument for which out_of_range holds
// ends the evaluation, else the function's value of x.
#define KALVOR_FUNCTIONS(X)                                                   \
    X(abs, false, std::fabs(x))                                               \
    X(exp, false, guarded_exp(x))                                             \
    X(log10, false, guarded_log10(x))                                         \
    X(log, false, guarded_log(x))                                             \
    X(sqrt, false, operators::steps::sqroot(x < 0.0 ? -x : x))                \
    X(sinh, false, std::sinh(x))                                              \
    X(cosh, false, std::cosh(x))                                              \
    X(tanh, false, guarded_tanh(x))                                           \
    X(sin, false, std::sin(x))                                                \
    X(cos, false, std::cos(x))                                                \
    X(tan, false, std::tan(x))                                                \
    X(asin, x < -1.0 || x > 1.0, std::asin(x))                                \
    X(acos, x < -1.0 || x > 1.0, std::acos(x))                                \
    X(atan, false, std::atan(x))                                              \
    X(round, false, std::round(x))                                            \
    X(omegw, false, omegawo(x))

// Operations of the evaluator.  A binary operator comes in five forms: both
// operands on the stack, or one of them (right or left) a constant or a
// variable named by the instruction while the other is the top of the stack.
#define KALVOR_BINARY_FORMS(name, expr) \
    op_##name##_stack, op_##name##_right_constant, op_##name##_right_variable, \
    op_##name##_left_constant, op_##name##_left_variable,
#define KALVOR_FUNCTION_OP(name, out_of_range, expr) op_##name,
enum Op : std::int32_t {
    op_end, op_push_constant, op_push_variable, op_negate,
    KALVOR_FUNCTIONS(KALVOR_FUNCTION_OP)
    KALVOR_BINARY_OPERATORS(KALVOR_BINARY_FORMS)
};
#undef KALVOR_BINARY_FORMS
#undef KALVOR_FUNCTION_OP

enum Form : std::int32_t { form_stack, form_right_constant, form_right_variable, form_left_constant, form_left_variable };

constexpr std::int32_t binary_op(std::int32_t code, Form form) {
    return op_add_stack + 5 * (code - code_add) + form;
}

// Size the slot's work space of evalf_rows for its program.
void size_block_space(tComp& slot);

}  // namespace fparser::steps
