#include "patch/formula_eval.h"

#include <gtest/gtest.h>

#include <string>

namespace {

bool eval(std::string formula) { return evaluate_formula(formula); }

TEST(FormulaEvalTest, OperatorsHaveEqualPrecedenceFromLeftToRight) {
  EXPECT_FALSE(eval("1 | 1 & 0"));  // (1 | 1) & 0
  EXPECT_TRUE(eval("1 | (1 & 0)"));
  EXPECT_TRUE(eval("0 & 0 | 1"));  // (0 & 0) | 1
  EXPECT_FALSE(eval("0 & (0 | 1)"));
  EXPECT_FALSE(eval("1 & 1 & 0"));
}

TEST(FormulaEvalTest, NegationTakesTheNextOperandOnly) {
  EXPECT_TRUE(eval("!(1 & 0)"));
  EXPECT_FALSE(eval("!(1 | 0)"));
  EXPECT_FALSE(eval("!1 | 0"));   // (!1) | 0
  EXPECT_TRUE(eval("!0 & 1"));
  EXPECT_TRUE(eval("1 & !0"));
  EXPECT_TRUE(eval("!(!(1))"));  // negations of groups nest
  EXPECT_FALSE(eval("!(!(0))"));
  EXPECT_TRUE(eval("!(!(!(0)))"));
}

TEST(FormulaEvalTest, LeftoverOperatorsAndEmptyFormulas) {
  EXPECT_TRUE(eval("1 &"));     // a trailing operator has no effect
  EXPECT_FALSE(eval("0 |"));
  EXPECT_TRUE(eval("1 & !"));   // nor does a trailing "!"
  EXPECT_FALSE(eval("!"));      // no operand: false
  EXPECT_FALSE(eval(""));
  EXPECT_FALSE(eval("     "));
}

TEST(FormulaEvalTest, GroupsAreReplacedByTheirResult) {
  EXPECT_FALSE(eval("(0 | 1) & (0 | 0)"));
  EXPECT_TRUE(eval("1 & (0 | (1 & (1 | 0)))"));
  EXPECT_FALSE(eval("1 & (0 | (1 & (0 & 1)))"));
  // Blanks from the substitution of long names change nothing.
  EXPECT_TRUE(eval("1      |0    &  1   "));
  std::string formula = "(1 | 0) & 1";
  evaluate_formula(formula);
  EXPECT_EQ(formula.find_first_not_of(' '), std::string::npos) << formula;
}

TEST(FormulaEvalTest, StrayParenthesesStayInsideTheText) {
  // Formulas the syntax check refuses still evaluate without harm.
  EXPECT_FALSE(eval(")"));
  EXPECT_TRUE(eval("1)"));  // the group before the ")" goes to the start
  EXPECT_FALSE(eval("0) & 1"));
  EXPECT_TRUE(eval("0) | 1"));
  EXPECT_FALSE(eval("(0"));
  EXPECT_TRUE(eval("(1"));
  EXPECT_FALSE(eval("))(("));
  EXPECT_TRUE(eval("x1y"));  // other characters are ignored
}

}  // namespace
