// tallo end to end: the built program lists the groups of a network of two
// domains (see platform/accounts/accounts_test_network.h):
//   SALES   SRV1 pdc, SRV3 bdc, SRV2 server, LOCALPC workstation (local)
//   OFFICE  HQ1 pdc, HQ2 bdc, HQSRV server, HQWS workstation
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/accounts/accounts_test_network.h"
#include "lib/testing/run_program.h"

namespace {

class TalloTest : public ::testing::Test {
 protected:
  void SetUp() override {
    net_.env().lang("en_US.UTF-8").set("TALLO_FORMAT", nullptr).set("SERVERLIST", nullptr);
    add_user(u"\\\\SRV1", u"jdoe");
    add_user(u"\\\\SRV1", u"asmith");
    add_group(u"\\\\SRV1", u"Sales Team", u"The sales people", {u"jdoe", u"asmith"});
    add_group(u"\\\\SRV1", u"Empty", u"", {});
    add_local_group(u"\\\\SRV2", u"Readers", u"read only",
                    {u"SALES\\Sales Team", u"SALES\\jdoe", u"Everyone"});
    net_.act_as("Administrator", "OFFICE");
    add_user(u"\\\\HQ1", u"boss");
    add_group(u"\\\\HQ1", u"Managers", u"Heads of departments", {u"boss"});
    add_local_group(u"\\\\HQSRV", u"Auditors", u"", {u"OFFICE\\Managers"});
    net_.act_as("Administrator", "SALES");
  }

  static void add_user(const WCHAR* server, const WCHAR* name) {
    USER_INFO_1 user{};
    user.usri1_name = const_cast<WCHAR*>(name);
    user.usri1_password = const_cast<WCHAR*>(u"Secret12");
    user.usri1_priv = USER_PRIV_USER;
    user.usri1_flags = UF_SCRIPT | UF_NORMAL_ACCOUNT;
    ASSERT_EQ(NetUserAdd(server, 1, reinterpret_cast<LPBYTE>(&user), nullptr), 0u);
  }

  static void add_group(const WCHAR* server, const WCHAR* name, const WCHAR* comment,
                        const std::vector<const WCHAR*>& users) {
    GROUP_INFO_1 group{const_cast<WCHAR*>(name), const_cast<WCHAR*>(comment)};
    ASSERT_EQ(NetGroupAdd(server, 1, reinterpret_cast<LPBYTE>(&group), nullptr), 0u);
    for (const WCHAR* user : users) ASSERT_EQ(NetGroupAddUser(server, name, user), 0u);
  }

  static void add_local_group(const WCHAR* server, const WCHAR* name, const WCHAR* comment,
                              const std::vector<const WCHAR*>& members) {
    LOCALGROUP_INFO_1 group{const_cast<WCHAR*>(name), const_cast<WCHAR*>(comment)};
    ASSERT_EQ(NetLocalGroupAdd(server, 1, reinterpret_cast<LPBYTE>(&group), nullptr), 0u);
    std::vector<LOCALGROUP_MEMBERS_INFO_3> list;
    for (const WCHAR* m : members) list.push_back({const_cast<WCHAR*>(m)});
    ASSERT_EQ(NetLocalGroupAddMembers(server, name, 3, reinterpret_cast<LPBYTE>(list.data()),
                                      static_cast<DWORD>(list.size())),
              0u);
  }

  ProgramResult tallo(const std::vector<std::string>& args) {
    return run_program(built_program_path("tallo"), args, net_.root());
  }

  // Runs tallo and expects exit code 0 and exactly these outputs.
  void expect_run(const std::vector<std::string>& args, const std::string& out,
                  const std::string& err = "") {
    ProgramResult r = tallo(args);
    std::string what = "tallo";
    for (const std::string& a : args) what += " " + a;
    EXPECT_EQ(r.exit_code, 0) << what;
    EXPECT_EQ(r.out, out) << what;
    EXPECT_EQ(r.err, err) << what;
  }

  AccountsNetwork net_;
};

const char kVersionLine[] = "tallo V1.0.0038  Group listing for NT domains and servers\n";
const char kNoGroups[] = "TALLO-ERROR, no groups match\n";

TEST_F(TalloTest, HelpVersionAndCommandLineErrors) {
  ProgramResult r = tallo({});
  EXPECT_EQ(r.exit_code, 255);
  EXPECT_EQ(r.out.rfind(std::string(kVersionLine) +
                            "usage: tallo show <user> [/options] [-criteria] [~formats]\n\n"
                            "displays groups with wildcards and -criteria ~formatted\n\n"
                            "Options:\n"
                            "\t/i\tshow indirect members in localgroups (else show global "
                            "groupnames)\n",
                        0),
            0u)
      << r.out;
  EXPECT_NE(r.out.find("\t\t~T\tgroup gount\n"), std::string::npos);
  EXPECT_EQ(tallo({"help"}).out, r.out);
  EXPECT_EQ(tallo({"show", "/?"}).out, r.out);

  r = tallo({"ver"});
  EXPECT_EQ(r.exit_code, 255);
  EXPECT_EQ(r.out, kVersionLine);

  r = tallo({"xyz", "SALES\\*"});
  EXPECT_EQ(r.exit_code, 87);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, "tallo-ERROR, invalid command 'xyz'\n");
  // Commands that change things are not the group tool's.
  EXPECT_EQ(tallo({"add", "SALES\\x"}).err, "tallo-ERROR, invalid command 'add'\n");
  EXPECT_EQ(tallo({"del", "SALES\\x"}).exit_code, 87);

  r = tallo({"sho", "/Z"});
  EXPECT_EQ(r.exit_code, 87);
  EXPECT_EQ(r.err, "PARAM-ERROR, invalid option '/Z'\ntallo-ERROR, error in argument number 2\n");
  r = tallo({"show", "SALES\\*", "/l1"});
  EXPECT_EQ(r.exit_code, 87);
  EXPECT_EQ(r.err,
            "PARAM-ERROR, no value allowed for option '/l'\n"
            "tallo-ERROR, error in argument number 3\n");
  r = tallo({"show", "SALES\\*", "-Tx"});
  EXPECT_EQ(r.exit_code, 87);
  EXPECT_EQ(r.err,
            "PARAM-ERROR, range syntax error for criteria '-T'\n"
            "tallo-ERROR, error in argument number 3\n");
  r = tallo({"show", "SALES\\*", "~Q"});
  EXPECT_EQ(r.exit_code, 87);
  EXPECT_EQ(r.err, "PARAM-ERROR, invalid format '~Q'\ntallo-ERROR, error in argument number 3\n");
  r = tallo({"show", "SALES\\*", "extra"});
  EXPECT_EQ(r.exit_code, 87);
  EXPECT_EQ(r.err, "PARAM-ERROR, invalid parameter 3\ntallo-ERROR, error in argument number 3\n");
}

TEST_F(TalloTest, GlobalGroupsOfADomain) {
  expect_run({"show", "SALES\\*"},
             "Domain Admins   Designated administrators of..        1\n"
             "Domain Guests   All domain guests                     1\n"
             "Domain Users    All domain users                      3\n"
             "Empty                                                 0\n"
             "Sales Team      The sales people                      2\n");
  // Every placeholder of the group line; the domain's controller serves,
  // the domain shows as written.
  expect_run({"show", "sales\\s*", "~F~N|~D|~S|~c|~M|~T"},
             "Sales Team|sales|\\\\SRV1|The sales people|asmith,jdoe|2\n");
  // Member lines: a member without a domain takes the step's domain.
  expect_run({"show", "SALES\\Sales Team", "~F", "~M~N:~U:~d:~u:~D:~S"},
             "Sales Team:SALES\\asmith:SALES:asmith:SALES:\\\\SRV1\n"
             "Sales Team:SALES\\jdoe:SALES:jdoe:SALES:\\\\SRV1\n");
  // Per-domain and totals lines.
  expect_run({"show", "SALES\\D*", "~F~N", "~D[~D ~S ~T]", "~T(~D ~T)"},
             "Domain Admins\nDomain Guests\nDomain Users\n[SALES \\\\SRV1 3]\n(1 3)\n");
  // TALLO_FORMAT replaces the built-in format; ~F still wins over it.
  net_.env().set("TALLO_FORMAT", "<~N>");
  expect_run({"show", "SALES\\E*"}, "<Empty>\n");
  expect_run({"show", "SALES\\E*", "~F[~N]"}, "[Empty]\n");
  // A value longer than 255 characters is cut there.
  net_.env().set("TALLO_FORMAT", (std::string(260, 'x') + "~N").c_str());
  expect_run({"show", "SALES\\E*"}, std::string(255, 'x') + "\n");
}

TEST_F(TalloTest, WhereToLook) {
  // No domain given: the logged-on user's domain, on its controller.
  expect_run({"show", "D*", "~F~D ~S ~N"},
             "SALES \\\\SRV1 Domain Admins\nSALES \\\\SRV1 Domain Guests\n"
             "SALES \\\\SRV1 Domain Users\n");
  // A user of another domain still works on the workstation's domain.
  net_.act_as("boss", "OFFICE");
  expect_run({"show", "E*", "~F~D ~N"}, "SALES Empty\n");
  // A user of a local account: the local groups of the local machine.
  net_.act_as("Administrator", "LOCALPC");
  expect_run({"show", "*", "~F~D ~S ~N", "-T1:"},
             "LOCALPC \\\\LOCALPC Administrators\nLOCALPC \\\\LOCALPC Guests\n"
             "LOCALPC \\\\LOCALPC Users\n");
  net_.act_as("Administrator", "SALES");
  // /l: the local groups of the domain, on its controller.
  expect_run({"show", "SALES\\*", "/l", "~F~N ~T", "-T1:"},
             "Administrators 2\nGuests 2\nUsers 1\n");
  // A server: its local groups, whatever /l says.
  expect_run({"show", "\\\\SRV2\\Readers", "~F~N|~D|~S|~c|~T|~M"},
             "Readers|SRV2|\\\\SRV2|read only|3|SALES\\Sales Team,SALES\\jdoe,Everyone\n");
  // A controller named as a server is passed over.
  ProgramResult r = tallo({"show", "\\\\SRV1\\*", "/v"});
  EXPECT_EQ(r.exit_code, 0);
  EXPECT_EQ(r.out, "SERVERLOOP-INFO, skipping domain controller 'SRV1'\n");
  EXPECT_EQ(r.err, kNoGroups);
}

TEST_F(TalloTest, IndirectMembersAcrossDomains) {
  // Global groups in a local group become their users, read on the
  // controller of their domain; the count stays that of the direct members.
  expect_run({"show", "\\\\SRV2\\Readers", "/i", "~F~N ~T ~M", "~M  ~U ~d ~u"},
             "Readers 3 SALES\\asmith,SALES\\jdoe,SALES\\jdoe,Everyone\n"
             "  SALES\\asmith SALES asmith\n"
             "  SALES\\jdoe SALES jdoe\n"
             "  SALES\\jdoe SALES jdoe\n"
             "  SRV2\\Everyone SRV2 Everyone\n");
  // From a workstation of SALES, a server of OFFICE and OFFICE's controller.
  expect_run({"show", "OFFICE\\\\HQSRV\\Auditors", "/i", "~F~D ~N ~T ~M"},
             "HQSRV Auditors 1 OFFICE\\boss\n");
  expect_run({"show", "OFFICE\\\\HQSRV\\Auditors", "~F~D ~N ~T ~M"},
             "HQSRV Auditors 1 OFFICE\\Managers\n");
  // The domains' local groups, every domain: WORKGROUP has no controller.
  ProgramResult r = tallo({"show", "*\\Administrators", "/l", "/i", "~F~D:~M"});
  EXPECT_EQ(r.exit_code, 0);
  EXPECT_EQ(r.out,
            "OFFICE:OFFICE\\Administrator,OFFICE\\Administrator\n"
            "SALES:SALES\\Administrator,SALES\\Administrator\n");
  EXPECT_EQ(r.err, "DOMAINLOOP-ERROR, NetGetDCname(WORKGROUP) failed, error=2453\n");
}

TEST_F(TalloTest, ServersOfAllDomains) {
  ProgramResult r = tallo({"show", "*\\\\HQ*\\A*", "/v", "~F~S ~N", "~D=~D ~S ~T", "~T=~D ~T"});
  EXPECT_EQ(r.exit_code, 0);
  EXPECT_EQ(r.out,
            "DOMAINLOOP-INFO, domain 'OFFICE' (1 of 3)\n"
            "SERVERLOOP-INFO, skipping domain controller 'HQ1'\n"
            "SERVERLOOP-INFO, skipping domain controller 'HQ2'\n"
            "SERVERLOOP-INFO, server 'HQSRV' (3 of 4 in OFFICE)\n"
            "\\\\HQSRV Administrators\n"
            "\\\\HQSRV Auditors\n"
            "=OFFICE \\\\HQSRV 2\n"
            "SERVERLOOP-INFO, server 'HQWS' (4 of 4 in OFFICE)\n"
            "\\\\HQWS Administrators\n"
            "=OFFICE \\\\HQWS 1\n"
            "DOMAINLOOP-INFO, domain 'SALES' (2 of 3)\n"
            "DOMAINLOOP-INFO, domain 'WORKGROUP' (3 of 3)\n"
            "=2 3\n");
  EXPECT_EQ(r.err, "");
}

TEST_F(TalloTest, CriteriaAndNoMatch) {
  expect_run({"show", "SALES\\*", "~F~N", "-T0"}, "Empty\n");
  expect_run({"show", "SALES\\*", "~F~N", "-T2:"}, "Domain Users\nSales Team\n");
  expect_run({"show", "SALES\\*", "~F~N", "-M*SMITH*"}, "Domain Users\nSales Team\n");
  expect_run({"show", "SALES\\*", "~F~N", "-c*sales*"}, "Sales Team\n");
  expect_run({"show", "SALES\\*", "~F~N", "-c*sales*", "-T3"}, "", kNoGroups);
  expect_run({"show", "SALES\\*", "~F~N", "-Mnobody", "~T~T"}, "", kNoGroups);
  expect_run({"show", "SALES\\nosuch"}, "",
             std::string("TALLO-ERROR, NetGroupGetInfo(nosuch) failed, error=2220\n") +
                 kNoGroups);
  expect_run({"show", "SALES\\nosuch", "/l"}, "",
             std::string("TALLO-ERROR, NetGroupGetInfo(nosuch) failed, error=1376\n") +
                 kNoGroups);
  // An empty group pattern looks at nothing.
  expect_run({"show", "SALES\\"}, "", kNoGroups);
  // An empty ~F prints no group line, but the groups still count.
  expect_run({"show", "SALES\\*", "~F", "~T~T"}, "5\n");
  // A server that cannot be reached.
  expect_run({"show", "\\\\WS9\\*"}, "",
             std::string("GROUPLOOP-ERROR, NetLocalGroupEnum(\\\\WS9) failed, error=53\n") +
                 kNoGroups);
  expect_run({"show", "NOWHERE\\*"}, "",
             std::string("DOMAINLOOP-ERROR, UGetDomainDC(NOWHERE) failed, error=2453\n") +
                 kNoGroups);
}

TEST_F(TalloTest, LongMemberLists) {
  // 100 members of 20 characters: the list (2,099 characters) is kept whole
  // for the member lines and the count; the group line is cut at 2,047.
  std::vector<std::u16string> names;
  std::vector<const WCHAR*> members;
  for (int i = 100; i < 200; ++i) {
    std::string name = "longmembername000" + std::to_string(i);
    names.emplace_back(name.begin(), name.end());
  }
  for (const std::u16string& n : names) {
    add_user(u"\\\\SRV1", n.c_str());
    members.push_back(n.c_str());
  }
  add_group(u"\\\\SRV1", u"Crowd", u"", members);
  ProgramResult r = tallo({"show", "SALES\\Crowd", "~F~M", "~M~u", "~T~T"});
  EXPECT_EQ(r.exit_code, 0);
  std::string list, lines;
  for (const std::u16string& n : names) {
    std::string name(n.begin(), n.end());
    list += (list.empty() ? "" : ",") + name;
    lines += name + "\n";
  }
  ASSERT_EQ(list.size(), 2099u);
  EXPECT_EQ(r.out, list.substr(0, 2047) + "\n" + lines + "1\n");
  expect_run({"show", "SALES\\Crowd", "~F~T"}, "100\n");
}

TEST_F(TalloTest, OemAndAnsiOutput) {
  net_.act_as("Administrator", "SALES");
  add_group(u"\\\\SRV1", u"Caf\u00e9", u"\u00e0 la carte", {});
  net_.env().pages("1252", "850");
  // The name is given in the ANSI page (0xE9), the line comes out in OEM
  // (0x82, 0x85) unless /A.
  expect_run({"show", "SALES\\Caf\xe9", "~F~N ~c"}, "Caf\x82 \x85 la carte\n");
  expect_run({"show", "SALES\\Caf\xe9", "~F~N ~c", "/A"}, "Caf\xe9 \xe0 la carte\n");
}

TEST_F(TalloTest, NothingChangesWhoeverAsks) {
  // The options that other account tools use to change things are taken
  // and do nothing, for an administrator and for a plain user alike.
  for (const char* user : {"Administrator", "jdoe"}) {
    net_.act_as(user, "SALES");
    expect_run({"show", "SALES\\Sales Team", "/y", "/a", "/NRenamed", "/cChanged", "/M5",
                "~F~N|~c|~M"},
               "Sales Team|The sales people|asmith,jdoe\n");
  }
  LPBYTE buffer = nullptr;
  ASSERT_EQ(NetGroupGetInfo(u"\\\\SRV1", u"Sales Team", 1, &buffer), 0u);
  EXPECT_EQ(utf8_of(reinterpret_cast<GROUP_INFO_1*>(buffer)->grpi1_comment), "The sales people");
  NetApiBufferFree(buffer);
  EXPECT_EQ(NetGroupGetInfo(u"\\\\SRV1", u"Renamed", 1, &buffer), 2220u);
  // A plain user is refused where changing is tried directly.
  net_.act_as("jdoe", "SALES");
  EXPECT_EQ(NetGroupDel(u"\\\\SRV1", u"Sales Team"), 5u);
}

}  // namespace
