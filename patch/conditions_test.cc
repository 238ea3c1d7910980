#include "patch/conditions.h"

#include <gtest/gtest.h>

#include <string>

#include "patch/patch_test_env.h"
#include "patch/profile_lists.h"

namespace {

using testing::internal::CaptureStderr;
using testing::internal::CaptureStdout;
using testing::internal::GetCapturedStderr;
using testing::internal::GetCapturedStdout;

class ConditionsTest : public PatchTest {
 protected:
  void SetUp() override {
    PatchTest::SetUp();
    net_.env().set("PATCHTEST_ON", "yes").set("PATCHTEST_OFF", nullptr).set("PATH", nullptr);
    history_ = write("FIXAR.FXH",
                     "[Patches]\r\nINST.FXA=*INSTALLED\r\nDEIN.FXA=-DEINSTALLED\r\n"
                     "OK.FXA=*SUCCESS: 06.12.2026 13:45:01.123 \r\n"
                     "BAD.FXA=-FAILURE: 06.12.2026 13:45:01.123 timeout\r\n");
  }

  // Evaluates `formula` in a section that also holds `variables` (lines
  // "NAME=condition"); captures what is printed.
  bool eval(const std::string& formula, const std::string& variables, bool verbose = false) {
    std::string file = write("FIXAR.FXC", "[S]\r\nFormula=" + formula + "\r\n" + variables);
    CaptureStdout();
    CaptureStderr();
    bool result = evaluate_conditions("S", file.c_str(), history_.c_str(), verbose);
    out_ = GetCapturedStdout();
    err_ = GetCapturedStderr();
    return result;
  }

  // Evaluates a formula of the one variable X with condition `condition`.
  bool condition(const std::string& text, bool verbose = false) {
    return eval("X", "X=" + text + "\r\n", verbose);
  }

  std::string history_;
  std::string out_;
  std::string err_;
};

// Variables A and B true, C and D false.
const char* kFourVariables =
    "A=EPATCHTEST_ON=yes\r\nB=PINST.FXA\r\nC=EPATCHTEST_ON=no\r\nD=PDEIN.FXA\r\n";

TEST_F(ConditionsTest, OperatorsHaveEqualPrecedence) {
  EXPECT_FALSE(eval("A | B & C", kFourVariables));
  EXPECT_TRUE(eval("A | (B & C)", kFourVariables));
  EXPECT_TRUE(eval("!(A & D)", kFourVariables));
  EXPECT_TRUE(eval("(C | D) | !(C & A) & B", kFourVariables));
  EXPECT_TRUE(eval("a & b", kFourVariables));  // variable names ignore case
  EXPECT_EQ(out_ + err_, "");
}

TEST_F(ConditionsTest, SyntaxErrorsLookUpNoVariable) {
  // Each variable's lookup would print an INFO line in verbose mode.
  const char* noisy = "A=VHKEY_LOCAL_MACHINE\\SOFTWARE\\Missing\\V=1\r\nB=PINST.FXA\r\n";
  EXPECT_FALSE(eval("A B", noisy, true));
  EXPECT_EQ(err_, "FIXAR-ERROR, syntax error, variable follows variable\n");
  EXPECT_EQ(out_, "FIXAR-INFO, Conditions for 'S' are FALSE\n");
  EXPECT_FALSE(eval("A1", noisy, true));
  EXPECT_EQ(err_, "FIXAR-ERROR, invalid character '1' in 'A1'\n");
  EXPECT_EQ(out_, "FIXAR-INFO, Conditions for 'S' are FALSE\n");
  EXPECT_FALSE(eval("(B & A", noisy, false));
  EXPECT_EQ(err_, "FIXAR-ERROR, invalid parethesis nesting '(B & A'\n");
  EXPECT_EQ(out_, "");

  EXPECT_FALSE(eval("B & A", noisy, true));
  EXPECT_EQ(out_,
            "FIXAR-INFO, RegOpenKey(SOFTWARE\\Missing)failed, error=2\n"
            "FIXAR-INFO, Conditions for 'S' are FALSE\n");
}

TEST_F(ConditionsTest, UndefinedAndUnknownVariablesAreFalse) {
  EXPECT_FALSE(eval("UNDEFINED", kFourVariables));
  EXPECT_TRUE(eval("!UNDEFINED", kFourVariables));
  EXPECT_FALSE(eval("A & UNDEFINED", kFourVariables));
  EXPECT_FALSE(condition(""));
  EXPECT_FALSE(condition("Xsomething"));  // no such kind
  EXPECT_EQ(out_ + err_, "");
}

TEST_F(ConditionsTest, MissingFormulasAreTrueAndSilent) {
  std::string file = write("FIXAR.FXC", "[S]\r\nA=PINST.FXA\r\n[E]\r\nFormula=\r\n");
  CaptureStdout();
  EXPECT_TRUE(evaluate_conditions("S", file.c_str(), history_.c_str(), true));
  EXPECT_TRUE(evaluate_conditions("E", file.c_str(), history_.c_str(), true));
  EXPECT_TRUE(evaluate_conditions("NOSECTION", file.c_str(), history_.c_str(), true));
  EXPECT_TRUE(
      evaluate_conditions("S", path("missing.fxc").c_str(), history_.c_str(), true));
  EXPECT_EQ(GetCapturedStdout(), "");

  EXPECT_TRUE(eval("A", kFourVariables, true));
  EXPECT_EQ(out_, "FIXAR-INFO, Conditions for 'S' are TRUE\n");
}

TEST_F(ConditionsTest, EnvironmentConditions) {
  EXPECT_TRUE(condition("EPATCHTEST_ON=yes"));
  EXPECT_TRUE(condition("epatchtest_on=Y*"));  // kind, name and match ignore case
  EXPECT_FALSE(condition("EPATCHTEST_ON=no"));
  // An undefined variable reads as empty: only patterns that match nothing match it.
  EXPECT_TRUE(condition("EPATH=*"));
  EXPECT_TRUE(condition("EPATCHTEST_OFF="));
  EXPECT_FALSE(condition("EPATCHTEST_OFF=?*"));
  // The first "=" ends the name; the pattern may hold "=" and backslashes.
  net_.env().set("PATCHTEST_EQ", "a=b\\c");
  EXPECT_TRUE(condition("EPATCHTEST_EQ=a=b\\c"));
  EXPECT_TRUE(condition("EPATCHTEST_EQ=*=*\\*"));
  EXPECT_EQ(err_, "");
  EXPECT_FALSE(condition("EPATCHTEST_ON"));
  EXPECT_EQ(err_, "FIXAR-ERROR, no '=' found in X\n");
  // %NAME% references of the condition text are expanded first.
  net_.env().set("PATCHTEST_WANT", "yes");
  EXPECT_TRUE(condition("EPATCHTEST_ON=%PATCHTEST_WANT%"));
  net_.env().set("PATCHTEST_KIND", "EPATCHTEST_ON=yes");
  EXPECT_TRUE(condition("%PATCHTEST_KIND%"));
  // A value is read up to 511 characters.
  net_.env().set("PATCHTEST_LONG", (std::string(511, 'a') + "b").c_str());
  EXPECT_TRUE(condition("EPATCHTEST_LONG=*a"));
  EXPECT_FALSE(condition("EPATCHTEST_LONG=*b"));
}

TEST_F(ConditionsTest, PatchConditions) {
  EXPECT_TRUE(condition("PINST.FXA"));
  EXPECT_TRUE(condition("pOK.FXA"));
  EXPECT_FALSE(condition("PDEIN.FXA"));
  EXPECT_FALSE(condition("PBAD.FXA"));
  EXPECT_FALSE(condition("PNEVER.FXA"));
  EXPECT_FALSE(condition("P"));
  std::string file = write("FIXAR.FXC", "[S]\r\nFormula=X\r\nX=PINST.FXA\r\n");
  EXPECT_FALSE(evaluate_conditions("S", file.c_str(), path("none.fxh").c_str(), false));
}

TEST_F(ConditionsTest, FileConditions) {
  write("present.txt", "x");
  EXPECT_TRUE(condition("F" + path("present.txt")));
  EXPECT_TRUE(condition("f" + path("PRESENT.TXT")));  // names are found without regard to case
  EXPECT_TRUE(condition("F" + path("*.txt")));
  EXPECT_FALSE(condition("F" + path("absent.txt")));
  EXPECT_FALSE(condition("F" + path("*.doc")));
  EXPECT_FALSE(condition("F" + path("nodir/present.txt")));
  EXPECT_FALSE(condition("F"));
  EXPECT_EQ(out_ + err_, "");
}

TEST_F(ConditionsTest, KeyConditions) {
  make_key("SOFTWARE\\VendorA\\App");
  make_key("SOFTWARE\\VendorB");
  EXPECT_FALSE(condition("KHKEY_LOCAL_MACHINE\\SOFTWARE\\Vendor*\\App"));
  make_key("SOFTWARE\\VendorB\\App");
  EXPECT_TRUE(condition("KHKEY_LOCAL_MACHINE\\SOFTWARE\\Vendor*\\App"));
  EXPECT_TRUE(condition("khkey_local_machine\\software\\vendora"));
  EXPECT_TRUE(condition("KHKEY_USERS\\.DEFAULT"));
  EXPECT_FALSE(condition("KHKEY_LOCAL_MACHINE\\SOFTWARE\\None"));
  EXPECT_EQ(err_, "");

  EXPECT_FALSE(condition("KHKEY_CLASSES_ROOT\\Anything"));
  EXPECT_EQ(err_, "FIXAR-ERROR, 'HKEY_CLASSES_ROOT\\Anything': invalid key name\n");
  EXPECT_FALSE(condition("KHKEY_LOCAL_MACHINESOFTWARE"));
  EXPECT_EQ(err_, "FIXAR-ERROR, 'HKEY_LOCAL_MACHINESOFTWARE': invalid key name\n");
  EXPECT_FALSE(condition("KHKEY_LOCAL\\SOFTWARE"));
  EXPECT_EQ(err_, "FIXAR-ERROR, 'HKEY_LOCAL\\SOFTWARE': invalid key name\n");
}

TEST_F(ConditionsTest, ValueConditionsByType) {
  const char* key = "SOFTWARE\\Vendor\\App";
  set_dword(key, "Count", 300);
  set_dword(key, "Negative", 0xFFFFFFFEu);
  set_value(key, "Version", REG_SZ, std::string("4.0 SP3\0", 8));
  set_value(key, "Bare", REG_SZ, "no terminator");
  set_value(key, "Multi", REG_MULTI_SZ, std::string("first\0second\0\0", 14));
  set_value(key, "Dir", REG_EXPAND_SZ, std::string("%PATCHTEST_ON%\\bin\0", 19));
  set_value(key, "Blob", REG_BINARY, "\x01\x02");
  set_value(key, "Eq", REG_SZ, "a=b\\c");

  EXPECT_TRUE(condition("VHKEY_LOCAL_MACHINE\\SOFTWARE\\Vendor\\App\\Count=256:1000"));
  EXPECT_FALSE(condition("VHKEY_LOCAL_MACHINE\\SOFTWARE\\Vendor\\App\\Count=1,3:5"));
  EXPECT_TRUE(condition("VHKEY_LOCAL_MACHINE\\SOFTWARE\\Vendor\\App\\Count=1,300"));
  EXPECT_TRUE(condition("VHKEY_LOCAL_MACHINE\\SOFTWARE\\Vendor\\App\\Negative=-5:-1"));
  EXPECT_FALSE(condition("VHKEY_LOCAL_MACHINE\\SOFTWARE\\Vendor\\App\\Negative=0:"));
  EXPECT_TRUE(condition("vhkey_local_machine\\software\\vendor\\app\\version=4.0*"));
  EXPECT_FALSE(condition("VHKEY_LOCAL_MACHINE\\SOFTWARE\\Vendor\\App\\Version=4.1*"));
  EXPECT_TRUE(condition("VHKEY_LOCAL_MACHINE\\SOFTWARE\\Vendor\\App\\Bare=no terminator"));
  EXPECT_TRUE(condition("VHKEY_LOCAL_MACHINE\\SOFTWARE\\Vendor\\App\\Multi=first"));
  EXPECT_FALSE(condition("VHKEY_LOCAL_MACHINE\\SOFTWARE\\Vendor\\App\\Multi=*second*"));
  EXPECT_TRUE(condition("VHKEY_LOCAL_MACHINE\\SOFTWARE\\Vendor\\App\\Dir=yes\\bin"));
  EXPECT_TRUE(condition("VHKEY_LOCAL_MACHINE\\SOFTWARE\\Vendor\\App\\Eq=a=b\\c"));
  EXPECT_EQ(out_ + err_, "");

  EXPECT_FALSE(condition("VHKEY_LOCAL_MACHINE\\SOFTWARE\\Vendor\\App\\Blob=*", true));
  EXPECT_EQ(out_, "FIXAR-INFO, type of Blob is not supported\nFIXAR-INFO, Conditions for 'S' are FALSE\n");
  EXPECT_FALSE(condition("VHKEY_LOCAL_MACHINE\\SOFTWARE\\Vendor\\App\\Blob=*", false));
  EXPECT_EQ(out_ + err_, "");
}

TEST_F(ConditionsTest, ValueConditionFailures) {
  set_dword("SOFTWARE\\Vendor\\App", "Count", 300);
  set_value("SOFTWARE\\Vendor\\App", "Huge", REG_BINARY, std::string(513, 'h'));
  set_value("SOFTWARE\\Vendor\\App", "Full", REG_SZ, std::string(511, 'f') + '\0');

  EXPECT_FALSE(condition("VHKEY_LOCAL_MACHINE\\SOFTWARE\\Vendor\\Nope\\Count=1", true));
  EXPECT_EQ(out_,
            "FIXAR-INFO, RegOpenKey(SOFTWARE\\Vendor\\Nope)failed, error=2\n"
            "FIXAR-INFO, Conditions for 'S' are FALSE\n");
  EXPECT_FALSE(condition("VHKEY_LOCAL_MACHINE\\SOFTWARE\\Vendor\\App\\Missing=1", true));
  EXPECT_EQ(out_,
            "FIXAR-INFO, RegQueryValue(Missing) failed, error=2\n"
            "FIXAR-INFO, Conditions for 'S' are FALSE\n");
  // A value is read into 512 bytes.
  EXPECT_TRUE(condition("VHKEY_LOCAL_MACHINE\\SOFTWARE\\Vendor\\App\\Full=f*"));
  EXPECT_FALSE(condition("VHKEY_LOCAL_MACHINE\\SOFTWARE\\Vendor\\App\\Huge=*", true));
  EXPECT_EQ(out_,
            "FIXAR-INFO, RegQueryValue(Huge) failed, error=234\n"
            "FIXAR-INFO, Conditions for 'S' are FALSE\n");
  // Quiet without verbose.
  EXPECT_FALSE(condition("VHKEY_LOCAL_MACHINE\\SOFTWARE\\Vendor\\Nope\\Count=1"));
  EXPECT_EQ(out_ + err_, "");

  // The root first, then the "=".
  EXPECT_FALSE(condition("VHKEY_CURRENT_CONFIG\\Software\\Count"));
  EXPECT_EQ(err_, "FIXAR-ERROR, 'HKEY_CURRENT_CONFIG\\Software\\Count': invalid key name\n");
  EXPECT_FALSE(condition("VHKEY_LOCAL_MACHINE\\SOFTWARE\\Vendor\\App\\Count"));
  EXPECT_EQ(err_, "FIXAR-ERROR, no '=' found in X\n");
  EXPECT_FALSE(condition("VHKEY_LOCAL_MACHINE=1"));
  EXPECT_EQ(err_, "FIXAR-ERROR, 'HKEY_LOCAL_MACHINE=1': invalid key name\n");
}

TEST_F(ConditionsTest, ValueDirectlyUnderTheRoot) {
  // The root's own backslash ends the key path: the value is looked for in
  // the root key itself, which holds none here.
  EXPECT_FALSE(condition("VHKEY_LOCAL_MACHINE\\Count=1", true));
  EXPECT_EQ(out_,
            "FIXAR-INFO, RegQueryValue(Count) failed, error=2\n"
            "FIXAR-INFO, Conditions for 'S' are FALSE\n");
  EXPECT_EQ(err_, "");
}

TEST_F(ConditionsTest, OverlongTextsAreRefusedNotCut) {
  // A formula of exactly 255 characters is read whole.
  std::string formula = "A" + std::string(251, ' ') + "& B";
  ASSERT_EQ(formula.size(), 255u);
  EXPECT_TRUE(eval(formula, kFourVariables));
  EXPECT_EQ(err_, "");
  // Cut to 255 characters, "A ... & B & C" would read as "A ... & B &",
  // which is true; the whole formula is false, and so is a refused one.
  formula = "A" + std::string(250, ' ') + "& B & C";
  EXPECT_FALSE(eval(formula, kFourVariables));
  EXPECT_EQ(err_, "FIXAR-ERROR, formula of 'S' longer than 255 characters\n");

  // A condition text of 255 characters is whole, one more is refused.
  std::string text = "EPATCHTEST_ON=y" + std::string(240, '*');
  ASSERT_EQ(text.size(), 255u);
  EXPECT_TRUE(condition(text));
  EXPECT_FALSE(condition(text + "*"));
  EXPECT_EQ(err_, "FIXAR-ERROR, condition X longer than 255 characters\n");
  // So is a text that grows past 255 characters by its expansion.
  net_.env().set("PATCHTEST_STARS", std::string(240, '*').c_str());
  EXPECT_TRUE(condition("EPATCHTEST_ON=y%PATCHTEST_STARS%"));
  net_.env().set("PATCHTEST_STARS", std::string(241, '*').c_str());
  EXPECT_FALSE(condition("EPATCHTEST_ON=y%PATCHTEST_STARS%"));
  EXPECT_EQ(err_, "FIXAR-ERROR, condition X longer than 255 characters\n");

  // Names of more than 31 letters are refused by the syntax check.
  std::string n32(32, 'N');
  EXPECT_FALSE(eval(n32, n32 + "=PINST.FXA\r\n"));
  EXPECT_EQ(err_, "FIXAR-ERROR, variable name longer than 31 letters in '" + n32 + "'\n");
  std::string n31(31, 'N');
  EXPECT_TRUE(eval(n31, n31 + "=PINST.FXA\r\n"));
}

TEST_F(ConditionsTest, PatchesMeetEverySectionThatNamesThem) {
  std::string file = write("FIXAR.FXC",
                           "[*]\r\nFormula=A\r\nA=EPATCHTEST_ON=yes\r\n"
                           "[OFFICE*.FXA]\r\nFormula=NT & !DONE\r\nNT=KHKEY_USERS\\.DEFAULT\r\n"
                           "DONE=POFFICE1.FXA\r\n"
                           "[OFFICE2.FXA]\r\nFormula=B\r\nB=PDEIN.FXA\r\n"
                           "[OFFICE3.FXA]\r\nFormula=A\r\nA=EPATCHTEST_ON=yes\r\n");
  SectionList sections = read_section_list(file.c_str(), CONDITION_SECTION_LIST_BYTES);
  const char* f = file.c_str();
  const char* h = history_.c_str();
  CaptureStdout();
  EXPECT_TRUE(patch_conditions_allow("OFFICE1.FXA", sections, f, h, true));
  EXPECT_EQ(GetCapturedStdout(),
            "FIXAR-INFO, Conditions for '*' are TRUE\n"
            "FIXAR-INFO, Conditions for 'OFFICE*.FXA' are TRUE\n");
  CaptureStdout();
  EXPECT_FALSE(patch_conditions_allow("office2.fxa", sections, f, h, true));
  EXPECT_EQ(GetCapturedStdout(),
            "FIXAR-INFO, Conditions for '*' are TRUE\n"
            "FIXAR-INFO, Conditions for 'OFFICE*.FXA' are TRUE\n"
            "FIXAR-INFO, Conditions for 'OFFICE2.FXA' are FALSE\n");
  EXPECT_TRUE(patch_conditions_allow("OTHER.FXA", sections, f, h, false));

  // The section "*" applies to every patch; the first false one ends the checks.
  net_.env().set("PATCHTEST_ON", "no");
  CaptureStdout();
  EXPECT_FALSE(patch_conditions_allow("OFFICE3.FXA", sections, f, h, true));
  EXPECT_EQ(GetCapturedStdout(), "FIXAR-INFO, Conditions for '*' are FALSE\n");
  EXPECT_FALSE(patch_conditions_allow("OTHER.FXA", sections, f, h, false));

  // The patch is done now: OFFICE*.FXA turns false.
  net_.env().set("PATCHTEST_ON", "yes");
  write("FIXAR.FXH", "[Patches]\r\nOFFICE1.FXA=*SUCCESS: 06.12.2026 13:45:01.123 \r\n");
  EXPECT_FALSE(patch_conditions_allow("OFFICE1.FXA", sections, f, h, false));
  EXPECT_TRUE(patch_conditions_allow("OFFICE1.FXA", SectionList(), f, h, false));
}

}  // namespace
