// Evaluation of one section of a conditions file (FIXAR.FXC): its
// `Formula` over the section's condition variables.
#pragma once

#include <functional>
#include <string>

#include "patch/profile_lists.h"

// True (1) or false (0) for section `section` of `conditions_file`.
//
// A missing file or section, or an empty `Formula`, is true. Otherwise the
// formula is checked (condition_syntax.h), each variable name in it is
// replaced, left to right, by the truth of its condition (the key of that
// name in the same section, at most 255 characters, with %NAME% references
// expanded to at most 255 characters; see condition_kinds.h), and the
// result is evaluated (formula_eval.h). `history_file` serves P
// conditions; `verbose` prints the INFO lines and the final
// "FIXAR-INFO, Conditions for '...' are TRUE|FALSE".
//
// Nothing is cut silently: a formula longer than 255 characters makes the
// section false, and a condition text that is longer than 255 characters,
// before or after expansion, makes its variable false, each with an error
// line, for a cut text would state another condition.
bool evaluate_conditions(const char* section, const char* conditions_file,
                         const char* history_file, bool verbose);

// Replaces, from left to right, each variable name of a checked formula by
// "1" or "0" as `value_of(name)` says, followed by blanks over the rest of
// the name, so that the formula keeps its length.
void substitute_variables(std::string& formula,
                          const std::function<bool(const std::string&)>& value_of);

// True when every section of `sections` whose name pattern matches `patch`
// (case ignored) evaluates to true, taken in list order and stopping at the
// first false one. A patch that no section names is allowed.
bool patch_conditions_allow(const char* patch, const SectionList& sections,
                            const char* conditions_file, const char* history_file, bool verbose);
