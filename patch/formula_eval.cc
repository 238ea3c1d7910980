#include "patch/formula_eval.h"

namespace {

enum class Pending { none, and_op, or_op };

// Reads and blanks formula[begin, end) from left to right.
bool evaluate_group(std::string& formula, size_t begin, size_t end) {
  bool result = false;
  Pending pending = Pending::none;
  bool negate = false;
  for (size_t i = begin; i < end; ++i) {
    char c = formula[i];
    formula[i] = ' ';
    if (c == '!') {
      negate = true;
    } else if (c == '&' || c == '|') {
      pending = c == '&' ? Pending::and_op : Pending::or_op;
      negate = false;
    } else if (c >= '0' && c <= '9') {
      bool operand = (c != '0') != negate;
      if (pending == Pending::none) {
        result = operand;
      } else if (pending == Pending::and_op) {
        result = result && operand;
      } else {
        result = result || operand;
      }
      pending = Pending::none;
      negate = false;
    }
  }
  return result;
}

}  // namespace

bool evaluate_formula(std::string& formula) {
  for (;;) {
    size_t close = formula.find(')');
    bool last_pass = close == std::string::npos;
    size_t end = last_pass ? formula.size() : close;
    size_t open = end == 0 ? std::string::npos : formula.rfind('(', end - 1);
    size_t begin = open == std::string::npos ? 0 : open + 1;
    if (!last_pass) formula[close] = ' ';
    if (open != std::string::npos) formula[open] = ' ';
    bool result = evaluate_group(formula, begin, end);
    if (last_pass) return result;
    size_t slot = open == std::string::npos ? 0 : open;
    if (slot < formula.size()) formula[slot] = result ? '1' : '0';
  }
}
