// Syntax check of a condition formula: variable names (runs of the letters
// A to Z and a to z), blanks, "!", "&", "|" and parentheses, scanned once
// with a state and a parenthesis depth. Every error prints its
// "FIXAR-ERROR, ..." line to standard error and makes the formula false.
#pragma once

#include <cstddef>

// A formula is read up to this many characters.
constexpr size_t FORMULA_MAX = 255;
// A variable name has at most this many letters.
constexpr size_t CONDITION_NAME_MAX = 31;

// True when the formula is well formed. A variable name of more than 31
// letters is refused like a syntax error ("variable name longer than 31
// letters"), so that no name is ever looked up cut. The state at the end is
// not checked: a formula may end with an operator or "!".
bool check_formula_syntax(const char* formula);

// The letters of a variable name.
inline bool is_condition_letter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
