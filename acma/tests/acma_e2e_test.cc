// acma end to end: the built program works on a network of two domains (see
// platform/accounts/accounts_test_network.h):
//   SALES   SRV1 pdc, SRV3 bdc, SRV2 server, LOCALPC workstation (local)
//   OFFICE  HQ1 pdc, HQ2 bdc, HQSRV server, HQWS workstation
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "lib/testing/run_program.h"
#include "platform/accounts/account_auth.h"
#include "platform/accounts/accounts_test_network.h"

namespace {

const char kVersionLine[] = "acma V1.1.0251  User administration for NT domains and servers\n";
const char kNoUsers[] = "ACMA-ERROR, no users match\n";
const char kPrompt[] = "\aN=no/Y=yes/A=yes to all (Default:N) ";

std::string pad(const std::string& text, size_t width) {
  return text + std::string(width > text.size() ? width - text.size() : 0, ' ');
}

class AcmaTest : public ::testing::Test {
 protected:
  void SetUp() override {
    net_.env()
        .lang("en_US.UTF-8")
        .set("ACMA_FORMAT", nullptr)
        .set("SERVERLIST", nullptr)
        .set("TZ", "UTC")
        .set("QX_DATE_FORMAT", nullptr)
        .set("QX_TIME_FORMAT", nullptr);
    add_user(u"\\\\SRV1", u"jdoe", u"Sales clerk", u"John Doe");
    add_user(u"\\\\SRV1", u"asmith", u"Accounts", u"Ann Smith");
    add_user(u"\\\\SRV1", u"tmpl", u"Template user", u"");
    add_group(u"\\\\SRV1", u"Sales Team", {u"jdoe", u"tmpl"});
    add_group(u"\\\\SRV1", u"Managers", {u"asmith"});
    add_local_group(u"\\\\SRV1", u"Printers", {u"SALES\\Sales Team"});
    add_local_group(u"\\\\SRV1", u"Scanners", {u"SALES\\tmpl"});
    add_user(u"\\\\SRV2", u"svc", u"Service account", u"");
    net_.act_as("Administrator", "OFFICE");
    add_user(u"\\\\HQ1", u"boss", u"The boss", u"");
    net_.act_as("Administrator", "SALES");
  }

  static void add_user(const WCHAR* server, const WCHAR* name, const WCHAR* comment,
                       const WCHAR* full_name) {
    USER_INFO_2 user{};
    user.usri2_name = const_cast<WCHAR*>(name);
    user.usri2_password = const_cast<WCHAR*>(u"Secret12");
    user.usri2_priv = USER_PRIV_USER;
    user.usri2_comment = const_cast<WCHAR*>(comment);
    user.usri2_full_name = const_cast<WCHAR*>(full_name);
    user.usri2_flags = UF_SCRIPT | UF_NORMAL_ACCOUNT;
    user.usri2_acct_expires = TIMEQ_FOREVER;
    ASSERT_EQ(NetUserAdd(server, 2, reinterpret_cast<LPBYTE>(&user), nullptr), 0u);
  }

  static void add_group(const WCHAR* server, const WCHAR* name,
                        const std::vector<const WCHAR*>& users) {
    GROUP_INFO_1 group{const_cast<WCHAR*>(name), const_cast<WCHAR*>(u"")};
    ASSERT_EQ(NetGroupAdd(server, 1, reinterpret_cast<LPBYTE>(&group), nullptr), 0u);
    for (const WCHAR* user : users) ASSERT_EQ(NetGroupAddUser(server, name, user), 0u);
  }

  static void add_local_group(const WCHAR* server, const WCHAR* name,
                              const std::vector<const WCHAR*>& members) {
    LOCALGROUP_INFO_1 group{const_cast<WCHAR*>(name), const_cast<WCHAR*>(u"")};
    ASSERT_EQ(NetLocalGroupAdd(server, 1, reinterpret_cast<LPBYTE>(&group), nullptr), 0u);
    for (const WCHAR* m : members) {
      LOCALGROUP_MEMBERS_INFO_3 member{const_cast<WCHAR*>(m)};
      ASSERT_EQ(NetLocalGroupAddMembers(server, name, 3, reinterpret_cast<LPBYTE>(&member), 1),
                0u);
    }
  }

  ProgramResult acma(const std::vector<std::string>& args, const std::string& input = "") {
    return run_program(built_program_path("acma"), args, net_.root(), input);
  }

  // Runs acma and expects exit code 0 and exactly these outputs.
  void expect_run(const std::vector<std::string>& args, const std::string& out,
                  const std::string& err = "", const std::string& input = "") {
    ProgramResult r = acma(args, input);
    std::string what = "acma";
    for (const std::string& a : args) what += " " + a;
    EXPECT_EQ(r.exit_code, 0) << what;
    EXPECT_EQ(r.out, out) << what;
    EXPECT_EQ(r.err, err) << what;
  }

  // One placeholder line of one user.
  std::string show(const std::string& user, const std::string& format) {
    ProgramResult r = acma({"show", user, "~F" + format});
    EXPECT_EQ(r.err, "") << user;
    return r.out;
  }

  AccountsNetwork net_;
};

TEST_F(AcmaTest, HelpVersionAndCommandLineErrors) {
  ProgramResult r = acma({});
  EXPECT_EQ(r.exit_code, 255);
  EXPECT_EQ(r.out.rfind(std::string(kVersionLine) +
                            "usage: acma <cmd> <user> [/options] [-criteria] [+lowcriteria] "
                            "[~formats]\n\nmanages users with wildcards\n",
                        0),
            0u)
      << r.out;
  EXPECT_EQ(acma({"help"}).out, r.out);
  EXPECT_EQ(acma({"show", "jdoe", "/?"}).out, r.out);

  r = acma({"ver"});
  EXPECT_EQ(r.exit_code, 255);
  EXPECT_EQ(r.out, kVersionLine);

  r = acma({"xyz", "jdoe"});
  EXPECT_EQ(r.exit_code, 87);
  EXPECT_EQ(r.err, "acma-ERROR, invalid command 'xyz'\n");
  EXPECT_EQ(acma({"start", "jdoe"}).err, "acma-ERROR, invalid command 'start'\n");

  r = acma({"sho", "/Z"});
  EXPECT_EQ(r.exit_code, 87);
  EXPECT_EQ(r.err, "PARAM-ERROR, invalid option '/Z'\nacma-ERROR, error in argument number 2\n");
  r = acma({"set", "jdoe", "/Cx"});
  EXPECT_EQ(r.exit_code, 87);
  EXPECT_EQ(r.err,
            "PARAM-ERROR, non-numeric value for option '/C'\n"
            "acma-ERROR, error in argument number 3\n");
  r = acma({"show", "*", "-Ix"});
  EXPECT_EQ(r.exit_code, 87);
  EXPECT_EQ(r.err,
            "PARAM-ERROR, range syntax error for criteria '-I'\n"
            "acma-ERROR, error in argument number 3\n");
  r = acma({"show", "*", "+c1"});
  EXPECT_EQ(r.exit_code, 87);
  EXPECT_EQ(r.err,
            "PARAM-ERROR, invalid LOWER-CRITERIA datatype\n"
            "acma-ERROR, error in argument number 3\n");

  // psh prints the password derived from the text after '?'.
  expect_run({"psh", "?", "/p?abc"}, "75CWVUTSRQ\n");
  expect_run({"PSH", "?", "/p?Pa"}, "olas7654\n");
  r = acma({"psh", "jdoe", "/p?abc"});
  EXPECT_EQ(r.exit_code, 87);
  EXPECT_EQ(r.err, "acma-ERROR, invalid command 'psh'\n");
  EXPECT_EQ(acma({"psh", "?", "/pabc"}).exit_code, 87);
}

TEST_F(AcmaTest, ShowWithFormatsAndCriteria) {
  // Default format: name, comment, home directory, each padded.
  expect_run({"show", "jdoe"}, pad("jdoe", 15) + " " + pad("Sales clerk", 30) + " " +
                                   std::string(32, ' ') + "\n");
  // ACMA_FORMAT replaces the built-in format; ~F wins over it.
  net_.env().set("ACMA_FORMAT", "<~N>");
  expect_run({"show", "SALES\\a*"}, "<Administrator>\n<asmith>\n");
  expect_run({"show", "SALES\\a*", "~F[~N]"}, "[Administrator]\n[asmith]\n");
  net_.env().set("ACMA_FORMAT", nullptr);

  // The controller serves a domain; ~D is the domain, ~G the primary group.
  expect_run({"show", "SALES\\jdoe", "~F~S|~D|~N|~f|~c|~G|~g|~T|~t|~x|~J|~C|~j|~K"},
             "\\\\SRV1|SALES|jdoe|John Doe|Sales clerk|Domain Users|Domain Users,Sales "
             "Team|2|NORMAL|0|0|0|0|0\n");
  // Lines per global and local group, per domain, and the totals.
  expect_run({"show", "SALES\\jdoe", "~F~N", "~g  g:~N ~D ~S ~g", "~l  l:~l"},
             "jdoe\n  g:jdoe SALES \\\\SRV1 Domain Users\n  g:jdoe SALES \\\\SRV1 Sales Team\n");
  expect_run({"show", "SALES\\*", "~F~N", "-cS*", "~D[~T ~D ~S]", "~T(~T ~D)"},
             "jdoe\n[1 SALES \\\\SRV1]\n(1 1)\n");
  // Text criteria are wildcards over the whole value, case ignored.
  expect_run({"show", "SALES\\*", "~F~N", "-g*managers*"}, "asmith\n");
  expect_run({"show", "SALES\\*", "~F~N", "-f*o*", "-c*c*"}, "jdoe\n");
  expect_run({"show", "SALES\\*", "~F~N", "-Gdomain users", "-tNORMAL", "-J0", "-I1000:"},
             "asmith\njdoe\ntmpl\n");
  // Ranges over numbers: the relative id and the number of global groups.
  expect_run({"show", "SALES\\*", "~F~N", "-I500"}, "Administrator\n");
  expect_run({"show", "SALES\\*", "~F~N", "-I501,1000:"}, "asmith\nGuest\njdoe\ntmpl\n");
  // Nothing selected: one line, with or without a totals format.
  expect_run({"show", "SALES\\*", "-cnothing*"}, "", kNoUsers);
  expect_run({"show", "SALES\\*", "-cnothing*", "~T(~T)"}, "", kNoUsers);
  // A user that does not exist is reported by name.
  expect_run({"show", "SALES\\nobody"}, "",
             "ACMA-ERROR, NetUserGetInfo(nobody) failed, error=2221\n" + std::string(kNoUsers));
}

TEST_F(AcmaTest, WhereToLook) {
  // Logged on to SALES: the domain's accounts from its controller.
  expect_run({"show", "j*", "~F~D ~S ~N"}, "SALES \\\\SRV1 jdoe\n");
  // Another domain by name, read from its controller.
  expect_run({"show", "OFFICE\\b*", "~F~D ~S ~N ~c"}, "OFFICE \\\\HQ1 boss The boss\n");
  // Every domain: WORKGROUP has no controller and is reported.
  ProgramResult r = acma({"show", "*\\b*", "~F~D ~N"});
  EXPECT_EQ(r.out, "OFFICE boss\n");
  EXPECT_NE(r.err.find("DOMAINLOOP-ERROR, NetGetDCname(WORKGROUP) failed"), std::string::npos)
      << r.err;
  // A local account: the local computer's accounts; ~G is empty there.
  net_.act_as("Administrator", "LOCALPC");
  r = acma({"show", "*", "~F~N", "-Ux"});
  EXPECT_EQ(r.exit_code, 87);
  EXPECT_EQ(r.err,
            "PARAM-ERROR, range syntax error for criteria '-U'\n"
            "acma-ERROR, error in argument number 4\n");
  expect_run({"show", "*", "~F~D ~S ~N [~G]"},
             "LOCALPC \\\\LOCALPC Administrator []\nLOCALPC \\\\LOCALPC Guest []\n");
  net_.act_as("Administrator", "SALES");
  // A server by name: its own accounts; the server's name is ~D.
  expect_run({"show", "\\\\SRV2\\*", "~F~D ~S ~N", "-cService*"}, "SRV2 \\\\SRV2 svc\n");
  // Controllers are not servers here: named or matched, they are passed over.
  r = acma({"show", "\\\\SRV1\\*", "/v"});
  EXPECT_EQ(r.exit_code, 0);
  EXPECT_EQ(r.out, "SERVERLOOP-INFO, skipping domain controller 'SRV1'\n");
  EXPECT_EQ(r.err, kNoUsers);
  r = acma({"show", "\\\\SRV*\\s*", "/v", "~F~S ~N"});
  EXPECT_EQ(r.out,
            "SERVERLOOP-INFO, skipping domain controller 'SRV1'\n"
            "SERVERLOOP-INFO, server 'SRV2' (3 of 4 in SALES)\n"
            "\\\\SRV2 svc\n"
            "SERVERLOOP-INFO, skipping domain controller 'SRV3'\n");
  EXPECT_EQ(r.err, "");
}

TEST_F(AcmaTest, IndirectLocalGroups) {
  // Directly jdoe is in no local group of the domain; through its global
  // groups it is in Printers and Users.
  EXPECT_EQ(show("SALES\\jdoe", "~O [~l]"), "0 []\n");
  expect_run({"show", "SALES\\jdoe", "/i", "~F~-.15N ~O ~l", "~l  ~D/~N in ~l"},
             "jdoe            2 Printers,Users\n  SALES/jdoe in Printers\n  SALES/jdoe in Users\n");
  // The local group criterion sees the indirect memberships only with /i.
  expect_run({"show", "SALES\\*", "~F~N", "-l*Printers*"}, "", kNoUsers);
  expect_run({"show", "SALES\\*", "~F~N", "-l*Scanners*"}, "tmpl\n");
  expect_run({"show", "SALES\\*", "~F~N", "-l*Printers*", "/i"}, "jdoe\ntmpl\n");
  EXPECT_EQ(show("SALES\\tmpl", "~l"), "Scanners\n");
}

TEST_F(AcmaTest, AddUsers) {
  // Asked first; no answer is no.
  expect_run({"add", "SALES\\bob"}, "Add user SALES\\bob ?\n" + std::string(kPrompt), kNoUsers);
  expect_run({"show", "SALES\\bob"}, "",
             "ACMA-ERROR, NetUserGetInfo(bob) failed, error=2221\n" + std::string(kNoUsers));
  // Yes: added with its groups; the password has to be changed at first logon.
  expect_run({"add", "SALES\\bob", "/pPass1234", "/cNew man", "/fBob Bobson", "/gManagers,Nope",
              "/lPrinters", "/H\\\\SRV2\\home\\bob", "/dH:", "/J1"},
             "Add user SALES\\bob ?\n" + std::string(kPrompt) +
                 "ACMA-INFO, adding user SALES\\bob...\n"
                 "ACMA-INFO, added bob to group Managers\n"
                 "ACMA-INFO, added bob to localgroup Printers\n"
                 "ACMA-INFO, added user SALES\\bob\n",
             "ACMA-ERROR, NetGroupAddUser(Nope,bob) failed, error=2220\n", "y\n");
  EXPECT_EQ(show("SALES\\bob", "~N|~c|~f|~H|~d|~x|~J|~C|~j|~G|~g|~l|~t"),
            "bob|New man|Bob Bobson|\\\\SRV2\\home\\bob|H:|1|1|0|0|Domain Users|Domain "
            "Users,Managers|Printers|NORMAL\n");
  // /x0 avoids the change at first logon; the password is the one given.
  expect_run({"add", "SALES\\carl", "/pPass1234", "/x0", "/C1", "/j1", "/y"},
             "ACMA-INFO, adding user SALES\\carl...\nACMA-INFO, added user SALES\\carl\n");
  EXPECT_EQ(show("SALES\\carl", "~x~C~j~J"), "0110\n");
  EXPECT_EQ(nt_account_check_password("SALES", "carl", "Pass1234"), 0u);
  EXPECT_NE(nt_account_check_password("SALES", "carl", "wrong"), 0u);
  // An existing name is refused by the server.
  expect_run({"add", "SALES\\jdoe", "/y"}, "ACMA-INFO, adding user SALES\\jdoe...\n",
             "ACMA-ERROR, NetUserAdd(jdoe) failed, parno=0, error=2224\n" +
                 std::string(kNoUsers));
  // A server's own accounts, with its own name in the member.
  expect_run({"add", "\\\\SRV2\\op", "/y", "/lUsers", "~T~T"},
             "ACMA-INFO, adding user SRV2\\op...\nACMA-INFO, added op to localgroup Users\n"
             "ACMA-INFO, added user SRV2\\op\n1\n");
  EXPECT_EQ(show("\\\\SRV2\\op", "~D ~l"), "SRV2 Users\n");
}

TEST_F(AcmaTest, SetPropertiesFlagsAndGroups) {
  expect_run({"set", "SALES\\jdoe", "/C1", "/J1", "/cNew comment", "/y"},
             "ACMA-INFO, modifying user SALES\\jdoe...\nACMA-INFO, modified user SALES\\jdoe\n");
  EXPECT_EQ(show("SALES\\jdoe", "~C~J~j|~c|~f"), "110|New comment|John Doe\n");
  // 2 leaves a flag, 0 clears it, 1 sets it.
  expect_run({"set", "SALES\\jdoe", "/C2", "/J0", "/j1", "/y"},
             "ACMA-INFO, modifying user SALES\\jdoe...\nACMA-INFO, modified user SALES\\jdoe\n");
  EXPECT_EQ(show("SALES\\jdoe", "~C~J~j"), "101\n");
  expect_run({"set", "SALES\\jdoe", "/C0", "/x1", "/y", "~T~T"},
             "ACMA-INFO, modifying user SALES\\jdoe...\nACMA-INFO, modified user SALES\\jdoe\n1\n");
  EXPECT_EQ(show("SALES\\jdoe", "~C~x"), "01\n");

  // ~g in /g stands for the old groups: they are kept and Managers added.
  // The primary group cannot be left, so it is silently kept.
  expect_run({"set", "SALES\\jdoe", "/g~g,Managers", "/y"},
             "ACMA-INFO, modifying user SALES\\jdoe...\n"
             "ACMA-INFO, removed jdoe from group Sales Team\n"
             "ACMA-INFO, added jdoe to group Sales Team\n"
             "ACMA-INFO, added jdoe to group Managers\n"
             "ACMA-INFO, modified user SALES\\jdoe\n");
  EXPECT_EQ(show("SALES\\jdoe", "~g"), "Domain Users,Managers,Sales Team\n");
  // Without ~g the other groups are left.
  expect_run({"set", "SALES\\jdoe", "/gManagers, Ghost", "/y"},
             "ACMA-INFO, modifying user SALES\\jdoe...\n"
             "ACMA-INFO, removed jdoe from group Managers\n"
             "ACMA-INFO, removed jdoe from group Sales Team\n"
             "ACMA-INFO, added jdoe to group Managers\n"
             "ACMA-INFO, modified user SALES\\jdoe\n",
             "ACMA-ERROR, NetGroupAddUser(Ghost,jdoe) failed, error=2220\n");
  EXPECT_EQ(show("SALES\\jdoe", "~g"), "Domain Users,Managers\n");
  // Local groups with the member DOMAIN\user.
  expect_run({"set", "SALES\\jdoe", "/lScanners", "/y"},
             "ACMA-INFO, modifying user SALES\\jdoe...\n"
             "ACMA-INFO, added jdoe to localgroup Scanners\n"
             "ACMA-INFO, modified user SALES\\jdoe\n");
  expect_run({"set", "SALES\\jdoe", "/l~l,Printers", "/y"},
             "ACMA-INFO, modifying user SALES\\jdoe...\n"
             "ACMA-INFO, removed jdoe from localgroup Scanners\n"
             "ACMA-INFO, added jdoe to localgroup Scanners\n"
             "ACMA-INFO, added jdoe to localgroup Printers\n"
             "ACMA-INFO, modified user SALES\\jdoe\n");
  EXPECT_EQ(show("SALES\\jdoe", "~l"), "Printers,Scanners\n");

  // Criteria select whom to change; no match is quiet.
  expect_run({"set", "SALES\\*", "/cx", "/y", "-cnothing"}, "", kNoUsers);
  // Rename.
  expect_run({"set", "SALES\\asmith", "/Nannie", "/y"},
             "ACMA-INFO, modifying user SALES\\asmith...\n"
             "ACMA-INFO, renaming asmith, new name is annie...\n"
             "ACMA-INFO, modified user SALES\\annie\n");
  EXPECT_EQ(show("SALES\\annie", "~N ~c ~g"), "annie Accounts Domain Users,Managers\n");
  expect_run({"set", "SALES\\annie", "/Njdoe", "/y"},
             "ACMA-INFO, modifying user SALES\\annie...\n"
             "ACMA-INFO, renaming annie, new name is jdoe...\n",
             "ACMA-ERROR, NetUserSetInfo(annie-->jdoe) failed, error=2224\n" +
                 std::string(kNoUsers));
}

TEST_F(AcmaTest, DerivedAndAskedPasswords) {
  // /p!seed gives every user the password derived from the seed.
  expect_run({"set", "SALES\\*", "/p!abc", "/y", "-I1000:", "~T~T"},
             "ACMA-INFO, modifying user SALES\\asmith...\nACMA-INFO, modified user "
             "SALES\\asmith\n"
             "ACMA-INFO, modifying user SALES\\jdoe...\nACMA-INFO, modified user SALES\\jdoe\n"
             "ACMA-INFO, modifying user SALES\\tmpl...\nACMA-INFO, modified user SALES\\tmpl\n"
             "3\n");
  EXPECT_EQ(nt_account_check_password("SALES", "jdoe", "75CWVUTSRQ"), 0u);
  EXPECT_EQ(nt_account_check_password("SALES", "asmith", "75CWVUTSRQ"), 0u);
  EXPECT_EQ(nt_account_check_password("SALES", "tmpl", "75CWVUTSRQ"), 0u);
  // add takes the value as it stands.
  expect_run({"add", "SALES\\dan", "/p!abc", "/y"},
             "ACMA-INFO, adding user SALES\\dan...\nACMA-INFO, added user SALES\\dan\n");
  EXPECT_EQ(nt_account_check_password("SALES", "dan", "!abc"), 0u);
  // ? asks for the password without echo.
  expect_run({"set", "SALES\\jdoe", "/p?", "/y"},
             "Password : XXXXXXXXXXXXXXXX\r\n"
             "ACMA-INFO, modifying user SALES\\jdoe...\nACMA-INFO, modified user SALES\\jdoe\n",
             "", "Typed123\n");
  EXPECT_EQ(nt_account_check_password("SALES", "jdoe", "Typed123"), 0u);
}

TEST_F(AcmaTest, TemplateUsers) {
  ASSERT_EQ(acma({"set", "SALES\\tmpl", "/H\\\\SRV2\\home", "/sstart.cmd", "/j1", "/y"}).exit_code,
            0);
  // The template's properties and group memberships go to asmith.
  expect_run({"set", "SALES\\asmith", "/=tmpl", "/y"},
             "ACMA-INFO, modifying user SALES\\asmith...\n"
             "ACMA-INFO, removed asmith from group Managers\n"
             "ACMA-INFO, added asmith to group Sales Team\n"
             "ACMA-INFO, added asmith to localgroup Scanners\n"
             "ACMA-INFO, modified user SALES\\asmith\n");
  EXPECT_EQ(show("SALES\\asmith", "~N|~c|~H|~s|~j|~g|~l"),
            "asmith|Template user|\\\\SRV2\\home|start.cmd|1|Domain Users,Sales Team|Scanners\n");
  // Criteria apply to the template: no match, no change.
  expect_run({"set", "SALES\\jdoe", "/=tmpl", "/y", "-cSales*"}, "", kNoUsers);
  EXPECT_EQ(show("SALES\\jdoe", "~c"), "Sales clerk\n");
  // Options win over the template.
  expect_run({"set", "SALES\\jdoe", "/=tmpl", "/y", "/cOwn", "/gManagers"},
             "ACMA-INFO, modifying user SALES\\jdoe...\n"
             "ACMA-INFO, removed jdoe from group Sales Team\n"
             "ACMA-INFO, added jdoe to group Managers\n"
             "ACMA-INFO, added jdoe to localgroup Scanners\n"
             "ACMA-INFO, modified user SALES\\jdoe\n");
  EXPECT_EQ(show("SALES\\jdoe", "~c|~H|~g|~l"),
            "Own|\\\\SRV2\\home|Domain Users,Managers|Scanners\n");
  // Add with a template: added, then set from it; counted once.
  expect_run({"add", "SALES\\eve", "/=tmpl", "/pPass1234", "/y", "~T~T"},
             "ACMA-INFO, adding user SALES\\eve...\n"
             "ACMA-INFO, added user SALES\\eve\n"
             "ACMA-INFO, modifying user SALES\\eve...\n"
             "ACMA-INFO, added eve to group Sales Team\n"
             "ACMA-INFO, added eve to localgroup Scanners\n"
             "ACMA-INFO, modified user SALES\\eve\n1\n");
  EXPECT_EQ(show("SALES\\eve", "~c|~s|~g"), "Template user|start.cmd|Domain Users,Sales Team\n");
  // A missing template is named.
  expect_run({"set", "SALES\\jdoe", "/=ghost", "/y"}, "",
             "ACMA-ERROR, NetUserGetInfo(ghost) failed, error=2221\n" + std::string(kNoUsers));
}

TEST_F(AcmaTest, DeleteWithPrompts) {
  // No, yes, then "a" answers every later question.
  expect_run({"del", "SALES\\*", "-I1000:"},
             "Delete user SALES\\asmith ?\n" + std::string(kPrompt) +
                 "Delete user SALES\\jdoe ?\n" + kPrompt + "ACMA-INFO, deleted user SALES\\jdoe\n" +
                 "Delete user SALES\\tmpl ?\n" + kPrompt,
             "", "n\ny\n");
  expect_run({"show", "SALES\\*", "~F~N", "-U0:"}, "Administrator\nasmith\nGuest\ntmpl\n");
  expect_run({"del", "SALES\\*", "-c*"},
             "Delete user SALES\\Administrator ?\n" + std::string(kPrompt) +
                 "Delete user SALES\\asmith ?\n" + kPrompt +
                 "ACMA-INFO, deleted user SALES\\asmith\n"
                 "ACMA-INFO, deleted user SALES\\tmpl\n",
             "ACMA-ERROR, NetUserDel() failed, error=1371\n", "\na\n");
  // /y asks nothing.
  add_user(u"\\\\SRV1", u"zed", u"", u"");
  expect_run({"del", "SALES\\zed", "/y"}, "ACMA-INFO, deleted user SALES\\zed\n");
  expect_run({"del", "SALES\\zed", "/y"}, "",
             "ACMA-ERROR, NetUserGetInfo(zed) failed, error=2221\n" + std::string(kNoUsers));
  expect_run({"show", "SALES\\*", "~F~N"}, "Administrator\nGuest\n");
}

TEST_F(AcmaTest, PlainUsersAreRefused) {
  // A plain user of the domain may look but not change.
  net_.act_as("jdoe", "SALES");
  EXPECT_EQ(show("SALES\\asmith", "~N"), "asmith\n");
  expect_run({"add", "SALES\\bob", "/y"}, "ACMA-INFO, adding user SALES\\bob...\n",
             "ACMA-ERROR, NetUserAdd(bob) failed, parno=0, error=5\n" + std::string(kNoUsers));
  expect_run({"set", "SALES\\asmith", "/cx", "/y"}, "ACMA-INFO, modifying user SALES\\asmith...\n",
             "ACMA-ERROR, NetUserSetInfo(asmith) failed, parno=0, error=5\n" +
                 std::string(kNoUsers));
  expect_run({"del", "SALES\\asmith", "/y"}, "",
             "ACMA-ERROR, NetUserDel() failed, error=5\n" + std::string(kNoUsers));
  // The administrator of one domain is a plain user in the other.
  net_.act_as("Administrator", "SALES");
  expect_run({"add", "OFFICE\\bob", "/y"}, "ACMA-INFO, adding user OFFICE\\bob...\n",
             "ACMA-ERROR, NetUserAdd(bob) failed, parno=0, error=5\n" + std::string(kNoUsers));
  net_.act_as("Administrator", "OFFICE");
  expect_run({"add", "OFFICE\\bob", "/y"},
             "ACMA-INFO, adding user OFFICE\\bob...\nACMA-INFO, added user OFFICE\\bob\n");
}

TEST_F(AcmaTest, TimeWindowsAndCounters) {
  // jdoe logs on now; asmith fails once with a wrong password.
  ASSERT_EQ(nt_account_check_password("SALES", "jdoe", "Secret12"), 0u);
  ASSERT_NE(nt_account_check_password("SALES", "asmith", "wrong"), 0u);
  expect_run({"show", "SALES\\*", "~F~N ~U ~B", "-U1:"}, "jdoe 1 0\n");
  expect_run({"show", "SALES\\*", "~F~N ~B", "-B1:"}, "asmith 1\n");
  // From a day ago on: only jdoe; up to a day ago: those never logged on.
  expect_run({"show", "SALES\\*", "~F~N", "+Ld1"}, "jdoe\n");
  expect_run({"show", "SALES\\*", "~F~N", "-Ld1", "-I1000:"}, "asmith\ntmpl\n");
  expect_run({"show", "SALES\\*", "~F~N", "+LD1"}, "", kNoUsers);
  // Never logged on shows the first of 1970.
  EXPECT_EQ(show("SALES\\asmith", "~L"), "01.01.1970 00:00\n");
  // Disable whoever logged on within the last day, asking each.
  expect_run({"set", "SALES\\*", "/J1", "+Ld1"},
             "Modify user SALES\\jdoe ?\n" + std::string(kPrompt) +
                 "ACMA-INFO, modifying user SALES\\jdoe...\n"
                 "ACMA-INFO, modified user SALES\\jdoe\n",
             "", "y\n");
  EXPECT_EQ(show("SALES\\jdoe", "~J"), "1\n");
  EXPECT_EQ(show("SALES\\asmith", "~J"), "0\n");
  // Password age: just set, so less than a day.
  expect_run({"show", "SALES\\jdoe", "~F~N ~e", "-e0", "-E0:3600"}, "jdoe 0\n");
  // An account that never expires shows "never" while 2106 is more than
  // 99 years away (here the clock is set back forty years).
  net_.env().set("NT_CLOCK_OFFSET", "-1262304000");
  EXPECT_EQ(show("SALES\\jdoe", "~X"), "never\n");
  net_.env().set("NT_CLOCK_OFFSET", nullptr);
  EXPECT_EQ(show("SALES\\jdoe", "~X"), "07.02.2106 06:28\n");
  expect_run({"show", "SALES\\jdoe", "~F~N", "+X01.01.2100 00:00"}, "jdoe\n");
}

TEST_F(AcmaTest, LongGroupListsAreCutAtWholeNames) {
  // Nine groups of 250 characters: the list is longer than 2,047 bytes.
  std::vector<std::u16string> names;
  for (char c = 'a'; c < 'a' + 9; ++c) {
    std::u16string name(249, static_cast<char16_t>(c));
    name += u'G';
    names.push_back(name);
    add_group(u"\\\\SRV1", name.c_str(), {u"tmpl"});
  }
  ProgramResult r = acma({"set", "SALES\\jdoe", "/g~g", "/=tmpl", "/y"});
  EXPECT_EQ(r.exit_code, 0);
  // The template's list runs a..d, Domain Users, e..i, Sales Team: 2,282
  // bytes. Up to the h group it takes 2,020 bytes; the i group would end
  // past 2,047, so it and Sales Team are left out, and said so.
  EXPECT_EQ(r.err, "ACMA-ERROR, group list longer than 2047 bytes, groups after '" +
                       std::string(249, 'h') + "G' left out\n");
  std::string groups = show("SALES\\jdoe", "~T ~g");
  std::string expected = "9 ";
  for (char c = 'a'; c <= 'h'; ++c) {
    expected += std::string(249, c) + "G,";
    if (c == 'd') expected += "Domain Users,";
  }
  expected.back() = '\n';
  EXPECT_EQ(groups, expected);
}

}  // namespace
