#include "patch/condition_syntax.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using testing::internal::CaptureStderr;
using testing::internal::CaptureStdout;
using testing::internal::GetCapturedStderr;
using testing::internal::GetCapturedStdout;

// The error output of a syntax check that must fail.
std::string failure_of(const std::string& formula) {
  CaptureStderr();
  bool ok = check_formula_syntax(formula.c_str());
  std::string err = GetCapturedStderr();
  EXPECT_FALSE(ok) << formula;
  return err;
}

TEST(ConditionSyntaxTest, WellFormedFormulasPassSilently) {
  const char* good[] = {
      "A",           "A & B",         "A|B&C",        "!A",           "!(A & B)",
      "(A | B) & !C", "((A))",        "  A  ",        "A &",          "A & !",
      "!",           "(A) | (B)",     "A & (B | !(C & D))", "NT & !DONE", "abcXYZ",
      "",            "   ",           "(!A)",         "A | ",
  };
  for (const char* formula : good) {
    CaptureStderr();
    CaptureStdout();
    EXPECT_TRUE(check_formula_syntax(formula)) << formula;
    EXPECT_EQ(GetCapturedStdout(), "");
    EXPECT_EQ(GetCapturedStderr(), "") << formula;
  }
  EXPECT_TRUE(check_formula_syntax(nullptr));
}

TEST(ConditionSyntaxTest, InvalidCharacters) {
  EXPECT_EQ(failure_of("A1"), "FIXAR-ERROR, invalid character '1' in 'A1'\n");
  EXPECT_EQ(failure_of("A_B"), "FIXAR-ERROR, invalid character '_' in 'A_B'\n");
  EXPECT_EQ(failure_of("A\tB"), "FIXAR-ERROR, invalid character '\t' in 'A\tB'\n");
  EXPECT_EQ(failure_of("A = B"), "FIXAR-ERROR, invalid character '=' in 'A = B'\n");
  EXPECT_EQ(failure_of("\xC3\xA4"), "FIXAR-ERROR, invalid character '\xC3' in '\xC3\xA4'\n");
  // The first offending character is reported, before any later syntax error.
  EXPECT_EQ(failure_of("A 2 B"), "FIXAR-ERROR, invalid character '2' in 'A 2 B'\n");
}

TEST(ConditionSyntaxTest, EveryTransitionError) {
  // A letter
  EXPECT_EQ(failure_of("A B"), "FIXAR-ERROR, syntax error, variable follows variable\n");
  EXPECT_EQ(failure_of("(A) B"), "FIXAR-ERROR, syntax error, variable follows ')'\n");
  EXPECT_EQ(failure_of("(A)B"), "FIXAR-ERROR, syntax error, variable follows ')'\n");
  // "!"
  EXPECT_EQ(failure_of("A!"), "FIXAR-ERROR, syntax error 'A!', '!' follows variable\n");
  EXPECT_EQ(failure_of("A !B"), "FIXAR-ERROR, syntax error 'A !B', '!' follows variable\n");
  EXPECT_EQ(failure_of("(A)!"), "FIXAR-ERROR, syntax error '(A)!', '!' follows ')'\n");
  EXPECT_EQ(failure_of("!!A"), "FIXAR-ERROR, syntax error '!!A', '!' follows '!'\n");
  EXPECT_EQ(failure_of("! !A"), "FIXAR-ERROR, syntax error '! !A', '!' follows '!'\n");
  // "&" and "|"
  EXPECT_EQ(failure_of("& A"), "FIXAR-ERROR, syntax error '& A', operator at beginning\n");
  EXPECT_EQ(failure_of("  |A"), "FIXAR-ERROR, syntax error '  |A', operator at beginning\n");
  EXPECT_EQ(failure_of("A & | B"), "FIXAR-ERROR, syntax error 'A & | B', operator follows operator\n");
  EXPECT_EQ(failure_of("A&&B"), "FIXAR-ERROR, syntax error 'A&&B', operator follows operator\n");
  EXPECT_EQ(failure_of("(& A)"), "FIXAR-ERROR, syntax error '(& A)', operator follows '('\n");
  EXPECT_EQ(failure_of("A | ( |B)"),
            "FIXAR-ERROR, syntax error 'A | ( |B)', operator follows '('\n");
  EXPECT_EQ(failure_of("!& A"), "FIXAR-ERROR, syntax error '!& A', operator follows '!'\n");
  // "("
  EXPECT_EQ(failure_of("A(B)"), "FIXAR-ERROR, syntax error 'A(B)', '(' follows variable\n");
  EXPECT_EQ(failure_of("A (B)"), "FIXAR-ERROR, syntax error 'A (B)', '(' follows variable\n");
  EXPECT_EQ(failure_of("(A)(B)"), "FIXAR-ERROR, syntax error '(A)(B)', '(' follows ')'\n");
  // ")"
  EXPECT_EQ(failure_of(")"), "FIXAR-ERROR, syntax error ')', ')' at beginning\n");
  EXPECT_EQ(failure_of(" )A"), "FIXAR-ERROR, syntax error ' )A', ')' at beginning\n");
  EXPECT_EQ(failure_of("(A &)"), "FIXAR-ERROR, syntax error '(A &)', ')' follows operator\n");
  EXPECT_EQ(failure_of("()"), "FIXAR-ERROR, syntax error '()', ')' follows '('\n");
  EXPECT_EQ(failure_of("( )"), "FIXAR-ERROR, syntax error '( )', ')' follows '('\n");
  EXPECT_EQ(failure_of("(!)"), "FIXAR-ERROR, syntax error '(!)', ')' follows '!'\n");
}

TEST(ConditionSyntaxTest, ParenthesisNesting) {
  EXPECT_EQ(failure_of("A)"), "FIXAR-ERROR, 'A)', too many closing parenthesis\n");
  EXPECT_EQ(failure_of("(A))"), "FIXAR-ERROR, '(A))', too many closing parenthesis\n");
  EXPECT_EQ(failure_of("A )"), "FIXAR-ERROR, 'A )', too many closing parenthesis\n");
  EXPECT_EQ(failure_of("(A"), "FIXAR-ERROR, invalid parethesis nesting '(A'\n");
  EXPECT_EQ(failure_of("((A) & B"), "FIXAR-ERROR, invalid parethesis nesting '((A) & B'\n");
  EXPECT_EQ(failure_of("(("), "FIXAR-ERROR, invalid parethesis nesting '(('\n");
  // The count stays right over deep nesting.
  std::string deep = std::string(100, '(') + "A" + std::string(100, ')');
  EXPECT_TRUE(check_formula_syntax(deep.c_str()));
  EXPECT_EQ(failure_of(deep + ")"), "FIXAR-ERROR, '" + deep + ")', too many closing parenthesis\n");
}

TEST(ConditionSyntaxTest, VariableNamesHaveAtMost31Letters) {
  std::string n31(31, 'N');
  EXPECT_TRUE(check_formula_syntax((n31 + " & " + n31).c_str()));
  std::string formula = "A & " + n31 + "X";
  EXPECT_EQ(failure_of(formula),
            "FIXAR-ERROR, variable name longer than 31 letters in '" + formula + "'\n");
  // The count starts again with every name.
  EXPECT_TRUE(check_formula_syntax((n31 + "&" + n31 + "|(" + n31 + ")").c_str()));
}

}  // namespace
