#pragma once
// The expression compiler and interpreter behind ExprEvaluate: a recursive-descent
// parser into a small node tree, constant folding, one evaluation.
//
// Grammar, lowest precedence first, every binary level left-associative:
//   list    := sum {"," sum}              value of the right-most sum
//   sum     := product {("+"|"-") product}
//   product := power {("*"|"/"|"%") power}
//   power   := sign {"^" sign}            so 2^3^2 = (2^3)^2 = 64
//   sign    := {"+"|"-"} primary          so -2^2 = (-2)^2 = 4
//   primary := number | name0 ["()"] | name1 sign | name2 "(" sum "," sum ")"
//            | "(" list ")"
// Built-in names (case-sensitive): abs acos asin atan atan2 ceil cos cosh e exp fac
// floor ln log log10 ncr npr pi pow sin sinh sqrt tan tanh.
//
// Pure functions, any thread.
#include <cstdint>

// Evaluates the NUL-terminated UTF-8 `text`. `error_position` receives 0 on success;
// on a syntax error the number of bytes from the start to the end of the last token
// read (at least 1) and the result is NaN; -1 when the tree could not be allocated.
// A valid expression may still give a non-finite value (1/0, sqrt(-1), fac(13)).
// Operands nest at most 500 deep (parentheses and function arguments): deeper text is
// a syntax error at the operand past the limit. Chains of any length ("1+1+...") are
// read in loops and folded as they grow, so no text overflows a 1 MiB stack.
double expr_interpret(const char* text, int32_t* error_position);

// The combinatoric built-ins, in unsigned 32-bit arithmetic: NaN for a negative or
// NaN argument (and for r > n), +infinity when a result would pass 4294967295.
double expr_fac(double x);
double expr_ncr(double n, double r);
double expr_npr(double n, double r);
