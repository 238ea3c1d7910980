// Evaluation of a formula whose variables have been replaced by the digits
// "1" (true) and "0" (false).
//
// The innermost group first: the first ")" (or the end of the formula) and
// the nearest "(" before it (or the start) enclose a group that is read
// from left to right with equal precedence for "&" and "|"; its result
// replaces the "(" (or goes to the start) and the rest of it is blanked.
// Passes repeat until one finds no ")". So A | B & C means (A | B) & C,
// "!" applies to the following operand only, a trailing operator or "!"
// has no effect and an empty group is false.
#pragma once

#include <string>

// Evaluates `formula` (changed in place: it is blanked as it is read).
// Characters other than digits, "!", "&", "|" and parentheses are ignored;
// a digit other than "0" is true. Stray parentheses cannot make it read
// outside the text.
bool evaluate_formula(std::string& formula);
