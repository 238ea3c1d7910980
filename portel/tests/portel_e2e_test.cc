// portel end to end: the built program adds, shows, changes and stops the
// shares of a network of two domains (platform/accounts/accounts_test_network.h):
//   SALES   SRV1 pdc, SRV3 bdc, SRV2 server, LOCALPC workstation (local),
//           WS9 workstation (offline)
//   OFFICE  HQ1 pdc, HQ2 bdc, HQSRV server, HQWS workstation
//   WORKGROUP  LONER workstation
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>
#include <string>
#include <vector>

#include "platform/accounts/accounts_test_network.h"
#include "lib/testing/run_program.h"

namespace {

const char kPrompt[] = "\aN=no/Y=yes/A=yes to all (Default:N) ";

class PortelTest : public ::testing::Test {
 protected:
  void SetUp() override {
    net_.env()
        .lang("en_US.UTF-8")
        .set("PORTEL_FORMAT", nullptr)
        .set("SERVERLIST", nullptr)
        .set("TZ", "UTC");
    for (const char* machine : {"SRV1", "SRV2", "SRV3", "HQSRV", "LOCALPC"}) make_dir(machine, "Data");
    make_dir("SRV1", "Public");
    add_user(u"\\\\SRV1", u"jdoe");
    add_group(u"\\\\SRV1", u"admins");
    net_.act_as("Administrator", "OFFICE");
    add_user(u"\\\\HQ1", u"boss");
    net_.act_as("Administrator", "SALES");
  }

  void make_dir(const char* machine, const char* dir) {
    std::string path = nt_network_machine_dir(net_.root(), machine) + "/drives/C/" + dir;
    ASSERT_EQ(mkdir(path.c_str(), 0777), 0) << path;
  }

  static void add_user(const WCHAR* server, const WCHAR* name) {
    USER_INFO_1 user{};
    user.usri1_name = const_cast<WCHAR*>(name);
    user.usri1_password = const_cast<WCHAR*>(u"Secret12");
    user.usri1_priv = USER_PRIV_USER;
    user.usri1_flags = UF_SCRIPT | UF_NORMAL_ACCOUNT;
    ASSERT_EQ(NetUserAdd(server, 1, reinterpret_cast<LPBYTE>(&user), nullptr), 0u);
  }

  static void add_group(const WCHAR* server, const WCHAR* name) {
    GROUP_INFO_1 group{const_cast<WCHAR*>(name), const_cast<WCHAR*>(u"")};
    ASSERT_EQ(NetGroupAdd(server, 1, reinterpret_cast<LPBYTE>(&group), nullptr), 0u);
  }

  ProgramResult portel(const std::vector<std::string>& args, const std::string& input = "") {
    return run_program(built_program_path("portel"), args, net_.root(), input);
  }

  // Runs portel and expects exit code 0 and exactly these outputs.
  void expect_run(const std::vector<std::string>& args, const std::string& out,
                  const std::string& err = "", const std::string& input = "") {
    ProgramResult r = portel(args, input);
    std::string what = "portel";
    for (const std::string& a : args) what += " " + a;
    EXPECT_EQ(r.exit_code, 0) << what;
    EXPECT_EQ(r.out, out) << what;
    EXPECT_EQ(r.err, err) << what;
  }

  // Adds \\<server>\<name> for C:\<dir> without questions.
  void add_share(const std::string& server, const std::string& name, const std::string& dir,
                 const std::vector<std::string>& more = {}) {
    std::vector<std::string> args = {"add", "\\\\" + server + "\\" + name, "/pC:\\" + dir, "/y"};
    args.insert(args.end(), more.begin(), more.end());
    ProgramResult r = portel(args);
    ASSERT_EQ(r.err, "");
    ASSERT_EQ(r.out, "PORTEL-INFO, added share \\\\" + server + "\\" + name +
                         "\nPORTEL-INFO, 1 shares added\n");
  }

  AccountsNetwork net_;
};

const char kVersionLine[] = "portel V1.0.0017  Share administration for NT servers\n";

TEST_F(PortelTest, HelpVersionAndCommandLineErrors) {
  ProgramResult r = portel({});
  EXPECT_EQ(r.exit_code, 255);
  EXPECT_EQ(r.out.rfind(std::string(kVersionLine) +
                            "usage:\tportel <cmd> <share> [/options] [-criteria] [~formats]\n",
                        0),
            0u)
      << r.out;
  EXPECT_NE(r.out.find("\tPORTEL_FORMAT\tdefault for ~F\n"), std::string::npos);
  EXPECT_NE(r.out.find("\tSERVERLIST\tstatic list instead of browser list\n"), std::string::npos);
  EXPECT_EQ(portel({"help"}).out, r.out);
  EXPECT_EQ(portel({"show", "*", "/?"}).out, r.out);

  r = portel({"version"});
  EXPECT_EQ(r.exit_code, 255);
  EXPECT_EQ(r.out, kVersionLine);

  // The share tool reports bad arguments with a line of its own.
  r = portel({"sho", "/Z"});
  EXPECT_EQ(r.exit_code, 87);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, "PARAM-ERROR, invalid option '/Z'\nPORTEL-ERROR, error in argument no.2\n");
  r = portel({"set", "\\\\SRV1\\Data", "/Mabc"});
  EXPECT_EQ(r.exit_code, 87);
  EXPECT_EQ(r.err,
            "PARAM-ERROR, non-numeric value for option '/M'\n"
            "PORTEL-ERROR, error in argument no.3\n");
  r = portel({"sho", "*", "-Tx"});
  EXPECT_EQ(r.exit_code, 87);
  EXPECT_EQ(r.err,
            "PARAM-ERROR, range syntax error for criteria '-T'\n"
            "PORTEL-ERROR, error in argument no.3\n");

  // An unknown command word does nothing and is a command-line error.
  r = portel({"xyz", "\\\\SRV1\\Data"});
  EXPECT_EQ(r.exit_code, 87);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, "PORTEL-ERROR, invalid command 'xyz'\n");
  EXPECT_EQ(portel({"start", "\\\\SRV1\\Data"}).err, "PORTEL-ERROR, invalid command 'start'\n");

  // add takes one share name; the servers may be a pattern.
  r = portel({"add", "\\\\SRV1\\DA*", "/pC:\\Data", "/y"});
  EXPECT_EQ(r.exit_code, 87);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, "PORTEL-ERROR, share wildcard not allowed with ADD command\n");
  EXPECT_EQ(portel({"add", "D?ta", "/pC:\\Data", "/y"}).exit_code, 87);
  expect_run({"sho", "\\\\SRV1\\Data"}, "", "PORTEL-ERROR, NetShareGetInfo(Data) failed, error=2310\n"
                                           "PORTEL-ERROR, no shares match\n");
}

TEST_F(PortelTest, AddAskAdjustAndShowGrants) {
  // Two allowed entries, in the order given; the question comes first.
  std::vector<std::string> add = {"add", "\\\\SRV1\\DATA", "/pC:\\Data", "/cTeam data",
                                  "/gEveryone:R SALES\\admins:F"};
  expect_run(add,
             std::string("Add share \\\\SRV1\\DATA ?\n") + kPrompt +
                 "PORTEL-INFO, added share \\\\SRV1\\DATA\nPORTEL-INFO, 1 shares added\n",
             "", "y\n");
  expect_run({"sho", "\\\\SRV1\\*", "~F~N|~c|~p|~g|~T|~M|~C|~F|~S|~D"},
             "DATA|Team data|C:\\Data|\\Everyone:R SALES\\admins:F |2|(1)|0|\\\\SRV1\\DATA|SRV1|SALES\n");

  // Again: the share exists; the answer "no" to adjusting leaves it as it was.
  expect_run(add,
             std::string("Add share \\\\SRV1\\DATA ?\n") + kPrompt +
                 "Share \\\\SRV1\\DATA exists. Adjust properties ?\n" + kPrompt,
             "PORTEL-ERROR, no shares match to be added\n", "y\nn\n");
  // "a" answers every later question of the run as well.
  add[3] = "/cChanged";
  add.push_back("/M4");
  expect_run(add,
             std::string("Add share \\\\SRV1\\DATA ?\n") + kPrompt +
                 "PORTEL-INFO, modified existing share \\\\SRV1\\DATA\n"
                 "PORTEL-INFO, 1 shares modified\n",
             "", "a\n");
  expect_run({"sho", "\\\\SRV1\\DATA", "~F~c ~M"}, "Changed 4\n");
  // Enter alone is no: nothing is added.
  expect_run({"add", "\\\\SRV1\\Public", "/pC:\\Public"},
             std::string("Add share \\\\SRV1\\Public ?\n") + kPrompt,
             "PORTEL-ERROR, no shares match to be added\n", "\n");

  // Without /g the share has no access list (full access for everyone).
  add_share("SRV1", "Public", "Public");
  expect_run({"sho", "\\\\SRV1\\Public", "~F[~g] ~T"}, "[] 0\n");

  // Grants that give no entry at all stop the add; bad entries are reported.
  expect_run({"add", "\\\\SRV2\\Data", "/pC:\\Data", "/gnobody:R jdoe:Q", "/y"}, "",
             "USEC-ERROR, LookupAccountName(nobody) failed, error=1332\n"
             "USEC-ERROR, cannot map username nobody, ACE ignored\n"
             "USEC-ERROR, invalid access type for jdoe, ACE ignored\n"
             "PORTEL-ERROR, cannot convert grants to ACL\n"
             "PORTEL-ERROR, no shares match to be added\n");
  // Other failures name the bad field.
  expect_run({"add", "\\\\SRV2\\Data", "/pC:\\Missing", "/y"}, "",
             "PORTEL-ERROR, NetShareAdd() failed with param 8, error=2116\n"
             "PORTEL-ERROR, no shares match to be added\n");
  expect_run({"add", "\\\\SRV2\\Data", "/y"}, "",
             "PORTEL-ERROR, NetShareAdd() failed with param 8, error=87\n"
             "PORTEL-ERROR, no shares match to be added\n");

  // One line per entry with ~g; flags and denied entries read back.
  add_share("SRV2", "Data", "Data", {"/gSALES\\jdoe:Fci Everyone:N SALES\\jdoe:0x001200A9"});
  expect_run({"sho", "\\\\SRV2\\Data", "~F~N ~T", "~g~N: ~U ~g (~d|~u)"},
             "Data 3\n"
             "Data: SALES\\jdoe Fci (SALES|jdoe)\n"
             "Data: \\Everyone N (|Everyone)\n"
             "Data: SALES\\jdoe R (SALES|jdoe)\n");
}

TEST_F(PortelTest, HiddenFilterCriteriaAndCounts) {
  add_share("SRV1", "DATA", "Data", {"/gEveryone:R SALES\\admins:F", "/cTeam"});
  add_share("SRV1", "Hidden$", "Data", {"/gEveryone:R"});
  add_share("SRV1", "Public", "Public", {"/M10"});

  // /h1 (default): disk shares only; /h2 also hides names ending in $;
  // /h0 adds the administrative and IPC shares.
  expect_run({"sho", "\\\\SRV1\\*", "~F~N"}, "DATA\nHidden$\nPublic\n");
  expect_run({"sho", "\\\\SRV1\\*", "/h2", "~F~N"}, "DATA\nPublic\n");
  expect_run({"sho", "\\\\SRV1\\*", "/h0", "~F~N"}, "ADMIN$\nC$\nDATA\nHidden$\nIPC$\nPublic\n");
  expect_run({"sho", "\\\\SRV1\\*$", "/h2", "~F~N"}, "", "PORTEL-ERROR, no shares match\n");

  // Criteria on the share's properties, ACE count and grants text.
  expect_run({"sho", "\\\\SRV1\\*", "-T2:", "~F~N"}, "DATA\n");
  expect_run({"sho", "\\\\SRV1\\*", "-T0", "~F~N"}, "Public\n");
  expect_run({"sho", "\\\\SRV1\\*", "-M5:20", "~F~N"}, "Public\n");
  expect_run({"sho", "\\\\SRV1\\*", "-cte*", "~F~N"}, "DATA\n");
  expect_run({"sho", "\\\\SRV1\\*", "-g*admins:F*", "~F~N"}, "DATA\n");
  expect_run({"sho", "\\\\SRV1\\*", "-p*\\PUBLIC", "~F~N"}, "Public\n");
  expect_run({"sho", "\\\\SRV1\\*", "-C1:", "~F~N"}, "", "PORTEL-ERROR, no shares match\n");

  // Per-server and totals lines, each cut at 80 characters.
  std::string long_text(100, 'x');
  expect_run({"sho", "\\\\SRV1\\*", "~F~N", "~S[~D|~S|~T]" + long_text, "~T~T/~S " + long_text},
             "DATA\nHidden$\nPublic\n[SALES|SRV1|3]" + long_text.substr(0, 66) + "\n" + "3/1 " +
                 long_text.substr(0, 76) + "\n");
  // The cut counts characters, not bytes, of the ANSI page (UTF-8 here).
  std::string wide_text;
  for (int i = 0; i < 90; ++i) wide_text += "\xC3\xA4";
  expect_run({"sho", "\\\\SRV1\\DATA", "~F~N", "~S" + wide_text},
             "DATA\n" + wide_text.substr(0, 160) + "\n");
  // The totals line needs a shown share.
  expect_run({"sho", "\\\\SRV1\\nothing*", "~T~T"}, "", "PORTEL-ERROR, no shares match\n");
}

TEST_F(PortelTest, ServersOfDomainsAndStaticList) {
  add_share("SRV1", "DATA", "Data");
  add_share("SRV2", "DATA", "Data");
  net_.act_as("Administrator", "OFFICE");
  add_share("HQSRV", "DATA", "Data");
  net_.act_as("Administrator", "SALES");
  add_share("LOCALPC", "Data", "Data");

  // The local computer without a server part.
  expect_run({"sho", "D*", "~F~F"}, "\\\\LOCALPC\\Data\n");
  // Matching servers of the workstation's domain.
  expect_run({"sho", "\\\\SRV*\\DAT*", "~F~F", "~S~S:~T", "~T~T in ~S"},
             "\\\\SRV1\\DATA\nSRV1:1\n\\\\SRV2\\DATA\nSRV2:1\nSRV3:0\n2 in 3\n");
  // Every server of every domain.
  expect_run({"sho", "*\\\\*\\DAT*", "~F~D ~F", "~T~T in ~S"},
             "OFFICE \\\\HQSRV\\DATA\nSALES \\\\LOCALPC\\Data\nSALES \\\\SRV1\\DATA\n"
             "SALES \\\\SRV2\\DATA\n4 in 9\n");
  expect_run({"sho", "OFF*\\\\HQ*\\DAT*", "~F~D ~F"}, "OFFICE \\\\HQSRV\\DATA\n");

  // A static list replaces the browser for wildcard servers.
  std::string list = net_.root() + "/servers.txt";
  std::ofstream(list) << "SALES\\\\SRV1\nSALES\\\\SRV2\n";
  net_.env().set("SERVERLIST", list.c_str());
  expect_run({"sho", "SALES\\\\SRV2*\\*", "/v", "~F~F"},
             "LISTLOOP-INFO, using static list '" + list + "'\n"
             "LISTLOOP-INFO, trying SALES\\\\SRV1...does not match\n"
             "LISTLOOP-INFO, trying SALES\\\\SRV2...match\n"
             "\\\\SRV2\\DATA\n");
  net_.env().set("SERVERLIST", nullptr);

  // PORTEL_FORMAT is the default of ~F; the built-in one pads and cuts.
  expect_run({"sho", "\\\\SRV1\\DATA"},
             "\\\\SRV1\\DATA" + std::string(13, ' ') + " " + std::string(27, ' ') + " C:\\Data" +
                 std::string(19, ' ') + "\n");
  net_.env().set("PORTEL_FORMAT", "<~N>");
  expect_run({"sho", "\\\\SRV1\\DATA"}, "<DATA>\n");
  expect_run({"sho", "\\\\SRV1\\DATA", "~F(~N)"}, "(DATA)\n");
}

TEST_F(PortelTest, SetAndStop) {
  add_share("SRV1", "DATA", "Data", {"/gEveryone:R", "/M7", "/cOld"});
  add_share("SRV2", "DATA", "Data", {"/gSALES\\admins:F"});

  // ~g in the new grants stands for each share's current ones.
  expect_run({"set", "\\\\SRV*\\DAT*", "/g~g SALES\\jdoe:R", "/y"},
             "PORTEL-INFO, modified share \\\\SRV1\\DATA\n"
             "PORTEL-INFO, modified share \\\\SRV2\\DATA\n"
             "PORTEL-INFO, 2 shares modified\n");
  expect_run({"sho", "\\\\SRV*\\DAT*", "~F~S ~g~T ~c ~M"},
             "SRV1 \\Everyone:R SALES\\jdoe:R 2 Old 7\n"
             "SRV2 SALES\\admins:F SALES\\jdoe:R 2  (1)\n");

  // /M0 keeps the maximum, /M5 sets it; the descriptor stays without /g.
  expect_run({"set", "\\\\SRV1\\DATA", "/M0", "/cNew"},
             std::string("Modify share \\\\SRV1\\DATA ?\n") + kPrompt +
                 "PORTEL-INFO, modified share \\\\SRV1\\DATA\nPORTEL-INFO, 1 shares modified\n",
             "", "y\n");
  expect_run({"sho", "\\\\SRV1\\DATA", "~F~c ~M ~T"}, "New 7 2\n");
  expect_run({"set", "\\\\SRV1\\DATA", "/M5", "/y"},
             "PORTEL-INFO, modified share \\\\SRV1\\DATA\nPORTEL-INFO, 1 shares modified\n");
  expect_run({"sho", "\\\\SRV1\\DATA", "~F~c ~M ~T"}, "New 5 2\n");
  // Criteria select what set changes; the answer no changes nothing.
  expect_run({"set", "\\\\SRV*\\DAT*", "-T1", "/M3", "/y"}, "",
             "PORTEL-ERROR, no shares match to be modified\n");
  expect_run({"set", "\\\\SRV1\\DATA", "/M9"},
             std::string("Modify share \\\\SRV1\\DATA ?\n") + kPrompt, 
             "PORTEL-ERROR, no shares match to be modified\n", "n\n");
  // Grants that convert to nothing leave the share as it is.
  expect_run({"set", "\\\\SRV1\\DATA", "/gnobody:R", "/y"}, "",
             "USEC-ERROR, LookupAccountName(nobody) failed, error=1332\n"
             "USEC-ERROR, cannot map username nobody, ACE ignored\n"
             "PORTEL-ERROR, cannot convert grants to ACL\n"
             "PORTEL-ERROR, no shares match to be modified\n");
  expect_run({"sho", "\\\\SRV1\\DATA", "~F~T"}, "2\n");
  // Administrative shares cannot be changed.
  expect_run({"set", "\\\\SRV1\\C$", "/h0", "/cx", "/y"}, "",
             "PORTEL-ERROR, NetShareSetInfo() failed with param 0, error=5\n"
             "PORTEL-ERROR, no shares match to be modified\n");

  // Stop asks per share; del and stop are the same command.
  expect_run({"stop", "\\\\SRV*\\DAT*"},
             std::string("Stop share \\\\SRV1\\DATA ?\n") + kPrompt + "Stop share \\\\SRV2\\DATA ?\n" +
                 kPrompt + "PORTEL-INFO, stopped share \\\\SRV2\\DATA\nPORTEL-INFO, 1 shares stopped\n",
             "", "n\ny\n");
  expect_run({"del", "\\\\SRV*\\DA*", "/y"},
             "PORTEL-INFO, stopped share \\\\SRV1\\DATA\nPORTEL-INFO, 1 shares stopped\n");
  expect_run({"del", "\\\\SRV*\\DA*", "/y"}, "", "PORTEL-ERROR, no shares match to be stopped\n");
  // /h keeps the administrative shares out of reach of a wildcard.
  expect_run({"del", "\\\\SRV1\\*", "/y"}, "", "PORTEL-ERROR, no shares match to be stopped\n");
  expect_run({"del", "\\\\SRV1\\C$", "/h0", "/y"}, "",
             "PORTEL-ERROR, NetShareDel() failed, error=5\n"
             "PORTEL-ERROR, no shares match to be stopped\n");
}

TEST_F(PortelTest, NonAdministratorIsRefused) {
  add_share("SRV1", "DATA", "Data", {"/gEveryone:R"});
  net_.act_as("jdoe", "SALES");
  // Reading is allowed; every change is refused with error 5.
  expect_run({"sho", "\\\\SRV1\\*", "~F~N ~g"}, "DATA \\Everyone:R \n");
  expect_run({"add", "\\\\SRV1\\Public", "/pC:\\Public", "/y"}, "",
             "PORTEL-ERROR, NetShareAdd() failed with param 0, error=5\n"
             "PORTEL-ERROR, no shares match to be added\n");
  expect_run({"set", "\\\\SRV1\\DATA", "/cmine", "/y"}, "",
             "PORTEL-ERROR, NetShareSetInfo() failed with param 0, error=5\n"
             "PORTEL-ERROR, no shares match to be modified\n");
  expect_run({"stop", "\\\\SRV1\\DATA", "/y"}, "",
             "PORTEL-ERROR, NetShareDel() failed, error=5\n"
             "PORTEL-ERROR, no shares match to be stopped\n");
  net_.act_as("Administrator", "SALES");
  expect_run({"sho", "\\\\SRV1\\*", "~F~N ~c"}, "DATA \n");
}

TEST_F(PortelTest, OemAndAnsiOutput) {
  net_.env().pages("1252", "850");
  // "B\xFCro" is the remark in the ANSI page 1252; OEM page 850 writes the
  // u-umlaut as 0x81.
  add_share("SRV1", "DATA", "Data", {"/cB\xFCro"});
  expect_run({"sho", "\\\\SRV1\\DATA", "~F~c"}, "B\x81ro\n");
  expect_run({"sho", "\\\\SRV1\\DATA", "/A", "~F~c"}, "B\xFCro\n");
  // ~S and ~T lines are printed as they are.
  expect_run({"sho", "\\\\SRV1\\DATA", "~F~c", "~S\xFC~S", "~T\xFC~T"},
             "B\x81ro\n\xFCSRV1\n\xFC" "1\n");
}

}  // namespace
