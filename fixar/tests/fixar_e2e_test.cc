// fixar end to end: the built program runs the patches of a patch directory
// on a local drive, on a server share reached through a drive letter, and in
// its own directory, on a network of machines (FilesTestNetwork: LOCALPC,
// servers SRV1 and SRV2). Steps are shell commands.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <time.h>

#include <regex>
#include <string>
#include <vector>

#include "lib/testing/run_program.h"
#include "platform/files/files_test_env.h"
#include "platform/files/net_connection.h"
#include "platform/profile/profile.h"

namespace {

const char kHelp[] =
    "fixar V1.1.0157  Patch runner\n"
    "\n"
    "Usage: fixar [/options]\n"
    "\n"
    "Executes patches given as *.FXA in <patchdir>\n"
    "\tWrites execution results to history file\n"
    "\tExecutes a specific patch until success\n"
    "\n"
    "Options:\n"
    "\t/c...\tfilename of conditions file, default <patchdir>\\FIXAR.FXC\n"
    "\t/h...\tfilename of history file, default %systemroot%\\FIXAR.FXH\n"
    "\t/p...\tdirectory where patches (*.FXA) reside\n"
    "\t\tdefault: the directory where fixar.exe resides\n"
    "\t/f...\tAlternate filespec of patches, default *.FXA\n"
    "\t/s...\tHIDE|NORM|MIN|MAX default ShowMode\n"
    "\t/e...\tdefault range (a,b,c:e) for valid errorlevels\n"
    "\t/t...\tnumber of seconds for default timelimit\n"
    "\t/f...\tFile extension for patches (default *.FXA)\n"
    "\t/D...\tDrive letter to connect to UNC path, default Q:\n"
    "\t/v\tverbose\n"
    "\t/?\tthis help\n"
    "\n"
    "For patch syntax in FXA files, see documentation or SAMPLE.FXA\n"
    "If a file named FIXAR.FXC resides in the patch directory, further condition checking is done\n"
    "before a patch is applied. See SAMPLE.fxc FOR MORE INFO:\n";

const char kVersion[] = "fixar V1.1.0157  Patch runner\n";

class FixarTest : public ::testing::Test {
 protected:
  void SetUp() override {
    net_.env().lang("C").set("TZ", "UTC").set("SYSTEMROOT", "C:\\WINNT");
    tzset();
    work_ = net_.folder("work");
    local_ = net_.folder("local");
    net_.map('D', local_);
    ASSERT_EQ(mkdir((local_ + "/patches").c_str(), 0755), 0);
    history_ = net_.drive_c("LOCALPC") + "/WINNT/FIXAR.FXH";
  }

  ProgramResult fixar(const std::vector<std::string>& args,
                      const std::string& program = built_program_path("fixar")) {
    return run_program(program, args, work_);
  }

  // The outcome recorded for a patch: its mark and failure message, the
  // time stamp checked and left out.
  std::string outcome(const std::string& patch, const std::string& history = "") {
    char value[512] = {};
    GetPrivateProfileStringA("Patches", patch.c_str(), "", value, sizeof value,
                             (history.empty() ? history_ : history).c_str());
    static const std::regex stamp(
        "([*-](SUCCESS|FAILURE):) \\d\\d\\.\\d\\d\\.\\d{4} \\d\\d:\\d\\d:\\d\\d\\.\\d{3}(?: (.*))?");
    std::smatch m;
    std::string e = value;
    if (!std::regex_match(e, m, stamp)) return "(none: " + e + ")";
    return m[1].str() + " " + m[3].str();
  }

  static void write(const std::string& host, const std::string& text) {
    FilesTestNetwork::write(host, text);
  }
  static std::string read(const std::string& host) { return FilesTestNetwork::read(host); }

  FilesTestNetwork net_;
  std::string work_;
  std::string local_;
  std::string history_;
};

TEST_F(FixarTest, HelpVersionAndCommandLineErrors) {
  ProgramResult r = fixar({"/?"});
  EXPECT_EQ(r.exit_code, 255);
  EXPECT_EQ(r.out, kHelp);
  EXPECT_EQ(r.err, "");

  // Help comes before a parser error that follows it, and so does the
  // version word: the parser's own line is printed, the tool's error line
  // and its exit code 87 are not.
  r = fixar({"/?", "/Z"});
  EXPECT_EQ(r.exit_code, 255);
  EXPECT_EQ(r.out, kHelp);
  EXPECT_EQ(r.err, "PARAM-ERROR, invalid option '/Z'\n");
  r = fixar({"VERSION", "/Z"});
  EXPECT_EQ(r.exit_code, 255);
  EXPECT_EQ(r.out, kVersion);
  EXPECT_EQ(r.err, "PARAM-ERROR, invalid option '/Z'\n");
  r = fixar({"ver"});
  EXPECT_EQ(r.exit_code, 255);
  EXPECT_EQ(r.out, kVersion);

  // A parser error before /? ends the parse there.
  r = fixar({"/Z", "/?"});
  EXPECT_EQ(r.exit_code, 87);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err,
            "PARAM-ERROR, invalid option '/Z'\nfixar-ERROR, error in argument number 1\n");
  r = fixar({"/v", "/tabc"});
  EXPECT_EQ(r.exit_code, 87);
  EXPECT_EQ(r.err,
            "PARAM-ERROR, non-numeric value for option '/t'\n"
            "fixar-ERROR, error in argument number 2\n");
  r = fixar({"/e1:x"});
  EXPECT_EQ(r.exit_code, 87);
  EXPECT_EQ(r.err,
            "PARAM-ERROR, range syntax error for option '/e'\n"
            "fixar-ERROR, error in argument number 1\n");
  r = fixar({"/v5"});
  EXPECT_EQ(r.exit_code, 87);
  EXPECT_NE(r.err.find("no value allowed for option '/v'"), std::string::npos);
  // Another word than the version word has no effect.
  r = fixar({"show", "/pD:\\patches"});
  EXPECT_EQ(r.exit_code, 0);
  EXPECT_EQ(r.out + r.err, "");
}

TEST_F(FixarTest, NeedsSystemRoot) {
  net_.env().set("SYSTEMROOT", nullptr);
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{}, std::vector<std::string>{"/?"}}) {
    ProgramResult r = fixar(args);
    EXPECT_EQ(r.exit_code, 87);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "FIXAR-ERROR, cannot get %SYSTEMROOT%\n");
  }
  // With it, the history file is FIXAR.FXH in that directory.
  std::string root = net_.folder("winroot");
  net_.map('E', root);
  net_.env().set("SYSTEMROOT", "E:\\");
  write(local_ + "/patches/A.FXA", "[S]\r\nCommand=/bin/true\r\n");
  ProgramResult r = fixar({"/pD:\\patches"});
  EXPECT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(outcome("A.FXA", root + "/FIXAR.FXH"), "*SUCCESS: ");
}

TEST_F(FixarTest, RunsItsOwnDirectoryWithoutArguments) {
  // A copy of the program in a directory of its own, with the patches beside it.
  std::string bin = net_.folder("bin");
  std::string copy = bin + "/fixar";
  write(copy, read(built_program_path("fixar")));
  ASSERT_EQ(chmod(copy.c_str(), 0755), 0);
  write(bin + "/b.FXA", "[S]\r\nCommand=/bin/sh -c \"echo b >> log.txt\"\r\n");
  write(bin + "/A.fxa", "[S]\r\nCommand=/bin/sh -c \"echo A >> log.txt\"\r\n");
  write(bin + "/c.FXA", "[S]\r\nCommand=/bin/sh -c \"echo c >> log.txt; exit 7\"\r\n");
  ProgramResult r = fixar({}, copy);
  EXPECT_EQ(r.exit_code, 0);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(read(bin + "/log.txt"), "A\nb\nc\n");
  EXPECT_EQ(outcome("A.fxa"), "*SUCCESS: ");
  EXPECT_EQ(outcome("c.FXA"), "*SUCCESS: ");

  // Verbose: the patch directory is the program's own.
  write(bin + "/d.FXA", "[S]\r\nCommand=/bin/sh -c \"exit 7\"\r\n");
  r = fixar({"/v", "/e0"}, copy);
  EXPECT_EQ(r.exit_code, 1) << "the one pending patch failed";
  EXPECT_EQ(r.out.substr(0, r.out.find('\n') + 1), "FIXAR-INFO, patch dir is " + bin + "\n");
  EXPECT_EQ(r.err, "FIXAR-ERROR, errorlevel (7) mismatch for patch d.FXA, step S\n");
  EXPECT_EQ(read(bin + "/log.txt"), "A\nb\nc\n");
}

TEST_F(FixarTest, PatchDirectoryOnAServerShareThroughDriveQ) {
  std::string share = net_.drive_c("SRV1") + "/DIST";
  ASSERT_EQ(mkdir(share.c_str(), 0755), 0);
  ASSERT_EQ(mkdir((share + "/patches").c_str(), 0755), 0);
  net_.share("SRV1", "DIST", "C:\\DIST");
  write(share + "/patches/NET.FXA",
        "[First]\r\nCommand=/bin/sh -c \"pwd > first.txt\"\r\n"
        "[Second]\r\nCommand=/bin/sh -c \"ls > second.txt\"\r\n");
  write(share + "/patches/FIXAR.FXC", "[*]\r\nFormula=ON\r\nON=EFIXAR_E2E=yes\r\n");

  // The conditions file of the patch directory holds the patch back...
  ProgramResult r = fixar({"/p\\\\SRV1\\DIST\\patches", "/v"});
  EXPECT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(outcome("NET.FXA"), "(none: )");
  EXPECT_NE(r.out.find("FIXAR-INFO, connected Q: to \\\\SRV1\\DIST\n"), std::string::npos)
      << r.out;
  EXPECT_NE(r.out.find("FIXAR-INFO, Conditions for '*' are FALSE\n"), std::string::npos);

  // ...until it holds.
  net_.env().set("FIXAR_E2E", "yes");
  r = fixar({"/p\\\\SRV1\\DIST\\patches\\", "/v"});
  EXPECT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(outcome("NET.FXA"), "*SUCCESS: ");
  EXPECT_EQ(read(share + "/patches/first.txt"), share + "/patches\n");
  EXPECT_NE(read(share + "/patches/second.txt").find("NET.FXA"), std::string::npos);
  const std::string lines[] = {
      "FIXAR-INFO, patch dir is \\\\SRV1\\DIST\\patches\\\n",
      "FIXAR-INFO, connected Q: to \\\\SRV1\\DIST\n",
      "FIXAR-INFO, Current dir is Q:\\patches\n",
      "FIXAR-INFO, looking for \\\\SRV1\\DIST\\patches\\*.*\n",
      "FIXAR-INFO, Conditions for '*' are TRUE\n",
      "FIXAR-INFO, Processing patch \\\\SRV1\\DIST\\patches\\NET.FXA...\n",
      "FIXAR-INFO, Processing step First\n",
      "FIXAR-INFO, Processing step Second\n",
      "FIXAR-INFO, disconnected Q:\n",
  };
  size_t at = 0;
  for (const std::string& line : lines) {
    size_t found = r.out.find(line, at);
    EXPECT_NE(found, std::string::npos) << line << "in\n" << r.out;
    if (found != std::string::npos) at = found + line.size();
  }
  char remote[64];
  DWORD size = sizeof remote;
  EXPECT_EQ(WNetGetConnectionA("Q:", remote, &size), ERROR_NOT_CONNECTED);

  // A drive that cannot be connected runs nothing; an unknown share is not
  // found before any connection is tried.
  write(share + "/patches/NET2.FXA", "[S]\r\nCommand=/bin/sh -c \"pwd > net2.txt\"\r\n");
  r = fixar({"/p\\\\SRV1\\DIST\\patches", "/DC:"});
  EXPECT_EQ(r.exit_code, 85);
  EXPECT_EQ(r.err, "FIXAR-ERROR, cannot connect C: to \\\\SRV1\\DIST, error=85\n");
  EXPECT_EQ(outcome("NET2.FXA"), "(none: )");
  r = fixar({"/p\\\\SRV1\\NONE\\patches", "/DR:"});
  EXPECT_EQ(r.exit_code, 67);
  EXPECT_EQ(r.err, "FIXAR-ERROR, cannot find \\\\SRV1\\NONE\\patches, error=67\n");
  r = fixar({"/p\\\\SRV1\\DIST\\patches", "/DR:"});
  EXPECT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(read(share + "/patches/net2.txt"), share + "/patches\n");
  size = sizeof remote;
  EXPECT_EQ(WNetGetConnectionA("R:", remote, &size), ERROR_NOT_CONNECTED);
}

TEST_F(FixarTest, LocalDriveOptionsAndExitCodes) {
  const std::string dir = local_ + "/patches";
  write(dir + "/TREE.FXA", "[S]\r\nCommand=/bin/sh -c \"(sleep 0.3; exit 5) & exit 0\"\r\n");
  write(dir + "/FREE.FXA",
        "[S]\r\nCommand=/bin/sh -c \"(sleep 0.3; exit 5) & exit 0\"\r\nDebug=0\r\n");
  write(dir + "/SLOW.FXA", "[S]\r\nCommand=/bin/sh -c \"sleep 30\"\r\n");
  write(dir + "/BIG.FXA", "[S]\r\nSize=99999999999999\r\nCommand=/bin/true\r\n");
  std::string history = local_ + "/h.fxh";
  ProgramResult r = fixar({"/pD:\\patches", "/e0", "/t1", "/hD:\\h.fxh"});
  EXPECT_EQ(r.exit_code, 0);
  EXPECT_EQ(outcome("TREE.FXA", history),
            "-FAILURE: errorlevel (5) mismatch for patch TREE.FXA, step S");
  EXPECT_EQ(outcome("FREE.FXA", history), "*SUCCESS: ");
  EXPECT_EQ(outcome("SLOW.FXA", history), "-FAILURE: timeout (1 sec) for patch SLOW.FXA, step S");
  EXPECT_NE(outcome("BIG.FXA", history)
                .find("-FAILURE: patch BIG.FXA requires 99999999999999 KB, "),
            std::string::npos);
  EXPECT_EQ(r.err,
            "FIXAR-ERROR, patch BIG.FXA requires 99999999999999 KB, " +
                r.err.substr(r.err.find("KB, ") + 4, r.err.find(" available") - r.err.find("KB, ") - 4) +
                " available on C:\n"
                "FIXAR-ERROR, timeout (1 sec) for patch SLOW.FXA, step S\n"
                "FIXAR-ERROR, errorlevel (5) mismatch for patch TREE.FXA, step S\n");

  // One pattern selects one patch: 1 when it fails again.
  r = fixar({"/pD:\\patches", "/e0", "/t1", "/hD:\\h.fxh", "/fslow.fxa"});
  EXPECT_EQ(r.exit_code, 1);
  // Errors of the run itself.
  r = fixar({"/pD:\\none"});
  EXPECT_EQ(r.exit_code, 2);
  EXPECT_EQ(r.err, "FIXAR-ERROR, cannot find D:\\none, error=2\n");
  r = fixar({"/pD:\\patches\\TREE.FXA"});
  EXPECT_EQ(r.exit_code, 87);
  EXPECT_EQ(r.err, "FIXAR-ERROR, D:\\patches\\TREE.FXA is not a directory\n");
  r = fixar({"/pD:\\patches", "/hD:\\none\\h.fxh"});
  EXPECT_EQ(r.exit_code, 3);
  EXPECT_EQ(r.err, "FIXAR-ERROR, cannot write D:\\none\\h.fxh, error=3\n");
}

TEST_F(FixarTest, ShowModeAndTitleReachTheStep) {
  const std::string dir = local_ + "/patches";
  const std::string probe = built_program_path("nt_process_probe") + " startup";
  write(dir + "/SHOW.FXA",
        "[First]\r\nCommand=" + probe + "\r\n"
        "[Hidden]\r\nCommand=" + probe + "\r\nShowMode=Hide\r\n"
        "[Max]\r\nCommand=" + probe + "\r\nShowMode=MAXIMIZED\r\n"
        "[Odd]\r\nCommand=" + probe + "\r\nShowMode=xx\r\n"
        "[Norm]\r\nCommand=" + probe + "\r\nShowMode=no\r\n"
        "[Min]\r\nCommand=" + probe + "\r\nShowMode=MIN\r\n");
  ProgramResult r = fixar({"/pD:\\patches", "/sNORM"});
  EXPECT_EQ(r.exit_code, 0) << r.err;
  std::regex show("TITLE=\\[(.*)\\]\nFLAGS=(\\d+) SHOW=(\\d+) ");
  std::vector<std::string> seen;
  for (auto it = std::sregex_iterator(r.out.begin(), r.out.end(), show);
       it != std::sregex_iterator(); ++it) {
    seen.push_back((*it)[1].str() + " " + (*it)[2].str() + " " + (*it)[3].str());
  }
  EXPECT_EQ(seen, (std::vector<std::string>{"FIXAR[SHOW.FXA]First 1 1", "FIXAR[SHOW.FXA]Hidden 1 0",
                                            "FIXAR[SHOW.FXA]Max 1 3", "FIXAR[SHOW.FXA]Odd 1 3",
                                            "FIXAR[SHOW.FXA]Norm 1 1", "FIXAR[SHOW.FXA]Min 1 6"}))
      << r.out;

  // An unknown run show mode is minimized.
  write(dir + "/SHOW2.FXA", "[S]\r\nCommand=" + probe + "\r\n");
  r = fixar({"/pD:\\patches", "/sWHATEVER"});
  EXPECT_NE(r.out.find("TITLE=[FIXAR[SHOW2.FXA]S]\nFLAGS=1 SHOW=6 "), std::string::npos)
      << r.out;
}

}  // namespace
