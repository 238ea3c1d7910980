#include "patch/condition_syntax.h"

#include "patch/patch_output.h"

namespace {

enum class State { start, variable, variable_blank, op, open, close, negation };

// Prints a message that names the formula and fails.
bool fail(const char* format, const char* formula) {
  patch_error(format, formula);
  return false;
}

}  // namespace

bool check_formula_syntax(const char* formula) {
  if (formula == nullptr) return true;
  State state = State::start;
  int depth = 0;
  size_t name_length = 0;
  for (const char* p = formula; *p != '\0'; ++p) {
    char c = *p;
    if (is_condition_letter(c)) {
      switch (state) {
        case State::variable_blank:
          patch_error("FIXAR-ERROR, syntax error, variable follows variable\n");
          return false;
        case State::close:
          patch_error("FIXAR-ERROR, syntax error, variable follows ')'\n");
          return false;
        default:
          break;
      }
      name_length = state == State::variable ? name_length + 1 : 1;
      if (name_length > CONDITION_NAME_MAX) {
        return fail("FIXAR-ERROR, variable name longer than 31 letters in '%s'\n", formula);
      }
      state = State::variable;
      continue;
    }
    switch (c) {
      case ' ':
        if (state == State::variable) state = State::variable_blank;
        break;
      case '!':
        switch (state) {
          case State::variable:
          case State::variable_blank:
            return fail("FIXAR-ERROR, syntax error '%s', '!' follows variable\n", formula);
          case State::close:
            return fail("FIXAR-ERROR, syntax error '%s', '!' follows ')'\n", formula);
          case State::negation:
            return fail("FIXAR-ERROR, syntax error '%s', '!' follows '!'\n", formula);
          default:
            state = State::negation;
        }
        break;
      case '&':
      case '|':
        switch (state) {
          case State::start:
            return fail("FIXAR-ERROR, syntax error '%s', operator at beginning\n", formula);
          case State::op:
            return fail("FIXAR-ERROR, syntax error '%s', operator follows operator\n", formula);
          case State::open:
            return fail("FIXAR-ERROR, syntax error '%s', operator follows '('\n", formula);
          case State::negation:
            return fail("FIXAR-ERROR, syntax error '%s', operator follows '!'\n", formula);
          default:
            state = State::op;
        }
        break;
      case '(':
        switch (state) {
          case State::variable:
          case State::variable_blank:
            return fail("FIXAR-ERROR, syntax error '%s', '(' follows variable\n", formula);
          case State::close:
            return fail("FIXAR-ERROR, syntax error '%s', '(' follows ')'\n", formula);
          default:
            state = State::open;
            ++depth;
        }
        break;
      case ')':
        switch (state) {
          case State::start:
            return fail("FIXAR-ERROR, syntax error '%s', ')' at beginning\n", formula);
          case State::op:
            return fail("FIXAR-ERROR, syntax error '%s', ')' follows operator\n", formula);
          case State::open:
            return fail("FIXAR-ERROR, syntax error '%s', ')' follows '('\n", formula);
          case State::negation:
            return fail("FIXAR-ERROR, syntax error '%s', ')' follows '!'\n", formula);
          default:
            if (depth == 0) {
              return fail("FIXAR-ERROR, '%s', too many closing parenthesis\n", formula);
            }
            state = State::close;
            --depth;
        }
        break;
      default:
        patch_error("FIXAR-ERROR, invalid character '%c' in '%s'\n", c, formula);
        return false;
    }
  }
  if (depth != 0) return fail("FIXAR-ERROR, invalid parethesis nesting '%s'\n", formula);
  return true;
}
