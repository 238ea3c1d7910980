// Fuzz target: condition formulas of any content, with a fixed set of
// defined condition variables (A, C and E true; B and D false; every
// other name undefined, so false).
//
// For each input the syntax check runs; a formula it accepts is
// substituted and evaluated, and the result is compared with a recursive
// evaluator of the same grammar (equal precedence, left to right, "!" on
// the next operand). Inputs made only of formula characters also go the
// whole way through a conditions file and evaluate_conditions, which must
// give the same answer. A mismatch stops the run.
#include <stdlib.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <fstream>
#include <string>

#include "patch/condition_syntax.h"
#include "patch/conditions.h"
#include "patch/formula_eval.h"

namespace {

std::string g_dir;
std::string g_conditions;
std::string g_history;

const char* kVariables =
    "A=EFUZZ_COND=on\r\n"
    "B=EFUZZ_COND=off\r\n"
    "C=PDONE.FXA\r\n"
    "D=POPEN.FXA\r\n";

bool defined_true(const std::string& name) {
  return name == "A" || name == "a" || name == "C" || name == "c" || name == "E" || name == "e";
}

// The reference: a group is a sequence of operands, each a digit or a
// parenthesised group, with "!" before it and "&" or "|" between them.
bool reference_group(const std::string& f, size_t* pos) {
  bool result = false;
  int pending = 0;  // 0 none, 1 and, 2 or
  bool negate = false;
  while (*pos < f.size()) {
    char c = f[(*pos)++];
    bool operand;
    if (c == ')') return result;
    if (c == '!') {
      negate = true;
      continue;
    }
    if (c == '&' || c == '|') {
      pending = c == '&' ? 1 : 2;
      negate = false;
      continue;
    }
    if (c == '(') {
      operand = reference_group(f, pos);
    } else if (c == '0' || c == '1') {
      operand = c == '1';
    } else {
      continue;
    }
    operand = operand != negate;
    result = pending == 0 ? operand : pending == 1 ? (result && operand) : (result || operand);
    pending = 0;
    negate = false;
  }
  return result;
}

void check(bool condition) {
  if (!condition) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  char pattern[] = "/tmp/condition-fuzz-XXXXXX";
  if (mkdtemp(pattern) == nullptr) abort();
  g_dir = pattern;
  g_conditions = g_dir + "/FIXAR.FXC";
  g_history = g_dir + "/FIXAR.FXH";
  std::ofstream(g_history, std::ios::binary)
      << "[Patches]\r\nDONE.FXA=*INSTALLED\r\nOPEN.FXA=-DEINSTALLED\r\n";
  std::ofstream(g_dir + "/present.txt", std::ios::binary) << "x";
  setenv("FUZZ_COND", "on", 1);
  setenv("LANG", "C", 1);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string formula(reinterpret_cast<const char*>(data), size);
  formula = formula.substr(0, formula.find('\0'));

  bool syntax_ok = check_formula_syntax(formula.c_str());
  bool in_memory = false;
  if (syntax_ok) {
    std::string work = formula;
    substitute_variables(work, defined_true);
    check(work.size() == formula.size());
    std::string copy = work;
    size_t pos = 0;
    bool expected = reference_group(copy, &pos);
    in_memory = evaluate_formula(work);
    check(in_memory == expected);
  }

  // The whole way through a conditions file, for texts the file can hold
  // as they are: formula characters only, no blanks at either end (the
  // reader trims them), at most 255 characters.
  bool plain = !formula.empty() && formula.front() != ' ' && formula.back() != ' ';
  for (char c : formula) {
    plain = plain && (is_condition_letter(c) || c == ' ' || c == '!' || c == '&' || c == '|' ||
                      c == '(' || c == ')');
  }
  if (plain) {
    std::string extra = std::string("E=F") + g_dir + "/present.txt\r\n";
    std::ofstream(g_conditions, std::ios::binary | std::ios::trunc)
        << "[S]\r\nFormula=" << formula << "\r\n" << kVariables << extra;
    bool from_file =
        evaluate_conditions("S", g_conditions.c_str(), g_history.c_str(), false);
    check(from_file == (formula.size() <= FORMULA_MAX && in_memory));
  }
  return 0;
}
