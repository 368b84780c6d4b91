#include "ui/expr_parser.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <clocale>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <locale.h>
#include <new>
#include <string>

namespace {

using Fn0 = double (*)();
using Fn1 = double (*)(double);
using Fn2 = double (*)(double, double);

// Node kinds: a constant, or a function of n parameters (8 + n); 32 marks a pure
// function, whose result depends only on its arguments and may be folded.
constexpr uint32_t kConstant = 1;
constexpr uint32_t kFunction0 = 8;
constexpr uint32_t kPure = 32;
constexpr uint32_t kPure0 = kPure | kFunction0;  // 40
constexpr uint32_t kPure1 = kPure0 + 1;          // 41
constexpr uint32_t kPure2 = kPure0 + 2;          // 42
constexpr int kMaxParams = 2;

// Operands nested deeper than this (parentheses, function arguments) are a syntax
// error: each level costs the parser a handful of stack frames, and the fields may
// run on a thread with a small stack (or under a sanitizer, whose frames are much
// larger). Typed expressions never come near it.
constexpr int kMaxNesting = 500;

// Token codes.
constexpr int kTokNull = 24;
constexpr int kTokError = 25;
constexpr int kTokEnd = 26;
constexpr int kTokSep = 27;
constexpr int kTokOpen = 28;
constexpr int kTokClose = 29;
constexpr int kTokNumber = 30;
constexpr int kTokInfix = 32;
// 40, 41, 42: a built-in name, its kind.

constexpr double kNan = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kU32Max = 4294967295.0;

union ExprFn {
    const void* any;
    Fn0 f0;
    Fn1 f1;
    Fn2 f2;
};

struct ExprNode {
    uint32_t kind = kConstant;
    double value = 0.0;
    ExprFn fn{nullptr};
    ExprNode* params[kMaxParams] = {nullptr, nullptr};
};

struct ExprState {
    const char* start = nullptr;
    const char* end = nullptr;
    const char* next = nullptr;
    int type = kTokNull;
    double value = 0.0;
    ExprFn fn{nullptr};
    int nesting = 0;  // operands being parsed, one inside the other
};

uint32_t param_count(uint32_t kind) {
    return (kind & kFunction0) ? (kind & 7u) : 0u;
}

double fn_e() { return 2.718281828459045; }
double fn_pi() { return 3.141592653589793; }
double fn_fabs(double a) { return std::fabs(a); }
double fn_acos(double a) { return std::acos(a); }
double fn_asin(double a) { return std::asin(a); }
double fn_atan(double a) { return std::atan(a); }
double fn_atan2(double y, double x) { return std::atan2(y, x); }
double fn_ceil(double a) { return std::ceil(a); }
double fn_cos(double a) { return std::cos(a); }
double fn_cosh(double a) { return std::cosh(a); }
double fn_exp(double a) { return std::exp(a); }
double fn_floor(double a) { return std::floor(a); }
double fn_log(double a) { return std::log(a); }
double fn_log10(double a) { return std::log10(a); }
double fn_pow(double a, double b) { return std::pow(a, b); }
double fn_sin(double a) { return std::sin(a); }
double fn_sinh(double a) { return std::sinh(a); }
double fn_sqrt(double a) { return std::sqrt(a); }
double fn_tan(double a) { return std::tan(a); }
double fn_tanh(double a) { return std::tanh(a); }
double fn_add(double a, double b) { return a + b; }
double fn_sub(double a, double b) { return a - b; }
double fn_mul(double a, double b) { return a * b; }
double fn_div(double a, double b) { return a / b; }
double fn_fmod(double a, double b) { return std::fmod(a, b); }
double fn_negate(double a) { return -a; }
double fn_comma(double, double b) { return b; }

struct Builtin {
    const char* name;
    uint32_t kind;
    ExprFn fn;
};

// Sorted by name (strcmp order): the lookup is a binary search.
const Builtin kBuiltins[] = {
    {"abs", kPure1, {.f1 = fn_fabs}},
    {"acos", kPure1, {.f1 = fn_acos}},
    {"asin", kPure1, {.f1 = fn_asin}},
    {"atan", kPure1, {.f1 = fn_atan}},
    {"atan2", kPure2, {.f2 = fn_atan2}},
    {"ceil", kPure1, {.f1 = fn_ceil}},
    {"cos", kPure1, {.f1 = fn_cos}},
    {"cosh", kPure1, {.f1 = fn_cosh}},
    {"e", kPure0, {.f0 = fn_e}},
    {"exp", kPure1, {.f1 = fn_exp}},
    {"fac", kPure1, {.f1 = expr_fac}},
    {"floor", kPure1, {.f1 = fn_floor}},
    {"ln", kPure1, {.f1 = fn_log}},
    {"log", kPure1, {.f1 = fn_log10}},
    {"log10", kPure1, {.f1 = fn_log10}},
    {"ncr", kPure2, {.f2 = expr_ncr}},
    {"npr", kPure2, {.f2 = expr_npr}},
    {"pi", kPure0, {.f0 = fn_pi}},
    {"pow", kPure2, {.f2 = fn_pow}},
    {"sin", kPure1, {.f1 = fn_sin}},
    {"sinh", kPure1, {.f1 = fn_sinh}},
    {"sqrt", kPure1, {.f1 = fn_sqrt}},
    {"tan", kPure1, {.f1 = fn_tan}},
    {"tanh", kPure1, {.f1 = fn_tanh}},
};
constexpr int kBuiltinCount = int(sizeof(kBuiltins) / sizeof(kBuiltins[0]));

// A longer table name compares greater than an equal prefix, so "log" never matches
// "log10" and "si" matches nothing.
const Builtin* find_builtin(const char* name, size_t len) {
    int lo = 0;
    int hi = kBuiltinCount - 1;
    while (lo <= hi) {
        const int mid = (lo + hi) / 2;
        int c = std::strncmp(name, kBuiltins[mid].name, len);
        if (c == 0 && kBuiltins[mid].name[len] != '\0')
            c = -1;
        if (c == 0)
            return &kBuiltins[mid];
        if (c > 0)
            lo = mid + 1;
        else
            hi = mid - 1;
    }
    return nullptr;
}

void expr_free_children(ExprNode* node);
void expr_fold_constants(ExprNode* node);

void expr_free(ExprNode* node) {
    if (!node)
        return;
    expr_free_children(node);
    delete node;
}

void expr_free_children(ExprNode* node) {
    if (!node)
        return;
    const uint32_t count = param_count(node->kind);
    for (uint32_t i = 0; i < count && i < kMaxParams; ++i) {
        expr_free(node->params[i]);
        node->params[i] = nullptr;
    }
}

// A node of `kind` over the given parameters. When it cannot be allocated the
// parameters are freed and the result is null.
ExprNode* expr_new_node(uint32_t kind, ExprNode* p0 = nullptr, ExprNode* p1 = nullptr) {
    auto* node = new (std::nothrow) ExprNode;
    if (!node) {
        expr_free(p0);
        expr_free(p1);
        return nullptr;
    }
    node->kind = kind;
    node->params[0] = p0;
    node->params[1] = p1;
    return node;
}

ExprNode* new_constant(double value) {
    ExprNode* node = expr_new_node(kConstant);
    if (node)
        node->value = value;
    return node;
}

ExprNode* new_binary(Fn2 fn, ExprNode* left, ExprNode* right) {
    if (!left || !right) {
        expr_free(left);
        expr_free(right);
        return nullptr;
    }
    ExprNode* node = expr_new_node(kPure2, left, right);
    if (node)
        node->fn.f2 = fn;
    expr_fold_constants(node);
    return node;
}

// Numbers are read with from_chars: no locale, no hexadecimal, no "inf"/"nan".
// A literal beyond the double range is read again with strtod under a "C" locale so
// it gives infinity or zero as it always did.
bool read_number(ExprState* s) {
    double value = 0.0;
    const auto [ptr, ec] = std::from_chars(s->next, s->end, value, std::chars_format::general);
    if (ec == std::errc::invalid_argument)
        return false;
    if (ec == std::errc::result_out_of_range) {
        static const locale_t c_locale = newlocale(LC_ALL_MASK, "C", locale_t(0));
        const std::string literal(s->next, ptr);
        value = c_locale ? strtod_l(literal.c_str(), nullptr, c_locale) : kInf;
    }
    s->value = value;
    s->next = ptr;
    return true;
}

void expr_read_token(ExprState* s) {
    s->type = kTokNull;
    do {
        if (s->next >= s->end) {
            s->type = kTokEnd;
            return;
        }
        const unsigned char c = static_cast<unsigned char>(*s->next);
        if (std::isdigit(c) || c == '.') {
            if (read_number(s)) {
                s->type = kTokNumber;
            } else {
                s->type = kTokError;
                ++s->next;
            }
        } else if (std::isalpha(c)) {
            const char* name = s->next;
            while (s->next < s->end) {
                const unsigned char n = static_cast<unsigned char>(*s->next);
                if (!std::isalnum(n) && n != '_')
                    break;
                ++s->next;
            }
            const Builtin* builtin = find_builtin(name, size_t(s->next - name));
            if (!builtin) {
                s->type = kTokError;
            } else {
                s->type = int(builtin->kind);
                s->fn = builtin->fn;
            }
        } else {
            ++s->next;
            switch (c) {
            case ' ': case '\t': case '\n': case '\r': break;
            case '+': s->type = kTokInfix; s->fn.f2 = fn_add; break;
            case '-': s->type = kTokInfix; s->fn.f2 = fn_sub; break;
            case '*': s->type = kTokInfix; s->fn.f2 = fn_mul; break;
            case '/': s->type = kTokInfix; s->fn.f2 = fn_div; break;
            case '^': s->type = kTokInfix; s->fn.f2 = fn_pow; break;
            case '%': s->type = kTokInfix; s->fn.f2 = fn_fmod; break;
            case '(': s->type = kTokOpen; break;
            case ')': s->type = kTokClose; break;
            case ',': s->type = kTokSep; break;
            default: s->type = kTokError; break;
            }
        }
    } while (s->type == kTokNull);
}

bool is_infix(const ExprState* s, Fn2 fn) {
    return s->type == kTokInfix && s->fn.f2 == fn;
}

ExprNode* expr_parse_list(ExprState* s);
ExprNode* expr_parse_sum(ExprState* s);
ExprNode* expr_parse_sign(ExprState* s);

ExprNode* expr_parse_operand(ExprState* s) {
    switch (s->type) {
    case kTokNumber: {
        ExprNode* node = new_constant(s->value);
        expr_read_token(s);
        return node;
    }
    case int(kPure0): {
        ExprNode* node = expr_new_node(kPure0);
        if (!node)
            return nullptr;
        node->fn = s->fn;
        expr_read_token(s);
        if (s->type == kTokOpen) {
            expr_read_token(s);
            if (s->type != kTokClose)
                s->type = kTokError;
            else
                expr_read_token(s);
        }
        return node;
    }
    case int(kPure1): {
        const ExprFn fn = s->fn;
        expr_read_token(s);
        ExprNode* arg = expr_parse_sign(s);
        if (!arg)
            return nullptr;
        ExprNode* node = expr_new_node(kPure1, arg);
        if (node)
            node->fn = fn;
        return node;
    }
    case int(kPure2): {
        const ExprFn fn = s->fn;
        ExprNode* node = expr_new_node(kPure2);
        if (!node)
            return nullptr;
        node->fn = fn;
        expr_read_token(s);
        if (s->type != kTokOpen) {
            s->type = kTokError;
            node->kind = kConstant;  // no parameters yet: never evaluated past the error
            node->value = kNan;
            return node;
        }
        for (int i = 0; i < 2; ++i) {
            expr_read_token(s);
            node->params[i] = expr_parse_sum(s);
            if (!node->params[i]) {
                expr_free(node);
                return nullptr;
            }
            if (s->type != (i == 0 ? kTokSep : kTokClose)) {
                s->type = kTokError;
                return node;
            }
        }
        expr_read_token(s);
        return node;
    }
    case kTokOpen: {
        expr_read_token(s);
        ExprNode* node = expr_parse_list(s);
        if (!node)
            return nullptr;
        if (s->type != kTokClose)
            s->type = kTokError;
        else
            expr_read_token(s);
        return node;
    }
    default: {
        ExprNode* node = new_constant(kNan);
        s->type = kTokError;
        return node;
    }
    }
}

// Every nested operand passes here. Each finished node is folded at once, while its
// parameters are still constants: a long chain such as 1+1+...+1 then stays one
// constant instead of a tree as deep as the chain, which folding, evaluating and
// freeing would each walk recursively.
ExprNode* expr_parse_primary(ExprState* s) {
    if (s->nesting >= kMaxNesting) {
        s->type = kTokError;
        return new_constant(kNan);
    }
    ++s->nesting;
    ExprNode* node = expr_parse_operand(s);
    --s->nesting;
    expr_fold_constants(node);
    return node;
}

ExprNode* expr_parse_sign(ExprState* s) {
    bool negate = false;
    while (is_infix(s, fn_add) || is_infix(s, fn_sub)) {
        if (s->fn.f2 == fn_sub)
            negate = !negate;
        expr_read_token(s);
    }
    ExprNode* node = expr_parse_primary(s);
    if (negate && node) {
        node = expr_new_node(kPure1, node);
        if (node)
            node->fn.f1 = fn_negate;
        expr_fold_constants(node);
    }
    return node;
}

ExprNode* expr_parse_power(ExprState* s) {
    ExprNode* node = expr_parse_sign(s);
    while (node && is_infix(s, fn_pow)) {
        expr_read_token(s);
        node = new_binary(fn_pow, node, expr_parse_sign(s));
    }
    return node;
}

ExprNode* expr_parse_product(ExprState* s) {
    ExprNode* node = expr_parse_power(s);
    while (node && (is_infix(s, fn_mul) || is_infix(s, fn_div) || is_infix(s, fn_fmod))) {
        const Fn2 fn = s->fn.f2;
        expr_read_token(s);
        node = new_binary(fn, node, expr_parse_power(s));
    }
    return node;
}

ExprNode* expr_parse_sum(ExprState* s) {
    ExprNode* node = expr_parse_product(s);
    while (node && (is_infix(s, fn_add) || is_infix(s, fn_sub))) {
        const Fn2 fn = s->fn.f2;
        expr_read_token(s);
        node = new_binary(fn, node, expr_parse_product(s));
    }
    return node;
}

ExprNode* expr_parse_list(ExprState* s) {
    ExprNode* node = expr_parse_sum(s);
    while (node && s->type == kTokSep) {
        expr_read_token(s);
        node = new_binary(fn_comma, node, expr_parse_sum(s));
    }
    return node;
}

double expr_eval_node(const ExprNode* node) {
    if (!node)
        return kNan;
    switch (node->kind & ~kPure) {
    case kConstant:
        return node->value;
    case kFunction0:
        return node->fn.f0();
    case kFunction0 + 1:
        return node->fn.f1(expr_eval_node(node->params[0]));
    case kFunction0 + 2:
        return node->fn.f2(expr_eval_node(node->params[0]), expr_eval_node(node->params[1]));
    default:
        return kNan;
    }
}

void expr_fold_constants(ExprNode* node) {
    if (!node || node->kind == kConstant)
        return;
    const uint32_t count = param_count(node->kind);
    bool all_constant = true;
    for (uint32_t i = 0; i < count; ++i) {
        expr_fold_constants(node->params[i]);
        if (!node->params[i] || node->params[i]->kind != kConstant)
            all_constant = false;
    }
    if ((node->kind & kPure) && all_constant) {
        const double value = expr_eval_node(node);
        expr_free_children(node);
        node->kind = kConstant;
        node->value = value;
    }
}

bool fits_u32(double x) { return x <= kU32Max; }

}  // namespace

double expr_fac(double x) {
    if (std::isnan(x) || x < 0.0)
        return kNan;
    if (!fits_u32(x))
        return kInf;
    const uint32_t n = static_cast<uint32_t>(x);
    uint32_t product = 1;
    for (uint32_t i = 1; i <= n; ++i) {
        if (i > UINT32_MAX / product)
            return kInf;
        product *= i;
    }
    return double(product);
}

double expr_ncr(double n, double r) {
    if (std::isnan(n) || std::isnan(r) || n < 0.0 || r < 0.0 || r > n)
        return kNan;
    if (!fits_u32(n) || !fits_u32(r))
        return kInf;
    const uint32_t big = static_cast<uint32_t>(n);
    uint32_t small = static_cast<uint32_t>(r);
    if (small > big / 2)
        small = big - small;
    uint32_t result = 1;
    for (uint32_t i = 1; i <= small; ++i) {
        const uint32_t factor = big - small + i;
        if (result > UINT32_MAX / factor)
            return kInf;
        result = result * factor / i;
    }
    return double(result);
}

double expr_npr(double n, double r) {
    return expr_ncr(n, r) * expr_fac(r);
}

double expr_interpret(const char* text, int32_t* error_position) {
    ExprState s;
    s.start = text ? text : "";
    s.end = s.start + std::strlen(s.start);
    s.next = s.start;
    expr_read_token(&s);
    ExprNode* root = expr_parse_list(&s);
    int32_t position = 0;
    double result = kNan;
    if (!root) {
        position = -1;
    } else if (s.type != kTokEnd) {
        position = std::max<int32_t>(1, int32_t(s.next - s.start));
    } else {
        expr_fold_constants(root);
        result = expr_eval_node(root);
    }
    expr_free(root);
    if (error_position)
        *error_position = position;
    return result;
}
