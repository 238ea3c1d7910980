#include "patch/conditions.h"

#include <string>

#include "lib/wildcard.h"
#include "patch/condition_kinds.h"
#include "patch/condition_syntax.h"
#include "patch/formula_eval.h"
#include "patch/patch_output.h"
#include "platform/kernel/environment.h"

namespace {

// The truth of variable `name` of `section`.
bool variable_value(const std::string& name, const char* section, const char* conditions_file,
                    const char* history_file, bool verbose) {
  bool cut = false;
  std::string text =
      read_profile_value(conditions_file, section, name.c_str(), "", PATCH_VALUE_MAX, &cut);
  char expanded[PATCH_VALUE_MAX + 1] = "";
  if (!cut) {
    DWORD needed = ExpandEnvironmentStringsA(text.c_str(), expanded, sizeof expanded);
    cut = needed > sizeof expanded;
  }
  if (cut) {
    patch_error("FIXAR-ERROR, condition %s longer than 255 characters\n", name.c_str());
    return false;
  }
  return evaluate_condition(name.c_str(), expanded, history_file, verbose);
}

}  // namespace

void substitute_variables(std::string& formula,
                          const std::function<bool(const std::string&)>& value_of) {
  for (size_t i = 0; i < formula.size();) {
    if (!is_condition_letter(formula[i])) {
      ++i;
      continue;
    }
    size_t end = i;
    while (end < formula.size() && is_condition_letter(formula[end])) ++end;
    bool value = value_of(formula.substr(i, end - i));
    formula[i] = value ? '1' : '0';
    for (size_t k = i + 1; k < end; ++k) formula[k] = ' ';
    i = end;
  }
}

bool evaluate_conditions(const char* section, const char* conditions_file,
                         const char* history_file, bool verbose) {
  bool cut = false;
  std::string formula =
      read_profile_value(conditions_file, section, "Formula", "", FORMULA_MAX, &cut);
  if (formula.empty()) return true;
  bool result = false;
  if (cut) {
    patch_error("FIXAR-ERROR, formula of '%s' longer than 255 characters\n", section);
  } else if (check_formula_syntax(formula.c_str())) {
    substitute_variables(formula, [&](const std::string& name) {
      return variable_value(name, section, conditions_file, history_file, verbose);
    });
    result = evaluate_formula(formula);
  }
  if (verbose) {
    patch_info("FIXAR-INFO, Conditions for '%s' are %s\n", section, result ? "TRUE" : "FALSE");
  }
  return result;
}

bool patch_conditions_allow(const char* patch, const SectionList& sections,
                            const char* conditions_file, const char* history_file, bool verbose) {
  for (const std::string& section : sections.names) {
    if (!match_wildcard(patch, section.c_str(), 0)) continue;
    if (!evaluate_conditions(section.c_str(), conditions_file, history_file, verbose)) return false;
  }
  return true;
}
