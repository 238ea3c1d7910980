#include "patch/run_patches.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <regex>
#include <string>

#include "patch/run_patches_test_env.h"
#include "platform/files/net_connection.h"
#include "platform/files/volume.h"
#include "platform/kernel/clock.h"

namespace {

// A command that appends `text` to log.txt in the working directory.
std::string log_step(const std::string& text) {
  return "/bin/sh -c \"echo " + text + " >> log.txt\"";
}

TEST_F(RunPatchesTest, TakesPendingPatchesInNameOrderCaseIgnored) {
  one_step("b.FXA", log_step("b"));
  one_step("C.FXA", log_step("C"));
  one_step("a.fxa", log_step("a"));
  one_step("notes.txt", log_step("notes"));
  ASSERT_EQ(mkdir((dir_ + "/dir.FXA").c_str(), 0755), 0);
  one_step("B_DEINSTALL.FXA_DEINSTALL", log_step("deinstall"));

  EXPECT_EQ(run(), 0u);
  EXPECT_EQ(file("log.txt"), "a\nb\nC\n");
  EXPECT_EQ(outcome("a.fxa"), "*SUCCESS: ");
  EXPECT_EQ(outcome("b.FXA"), "*SUCCESS: ");
  EXPECT_EQ(entry("dir.FXA"), "");
  EXPECT_EQ(err_, "");
  EXPECT_EQ(out_, "");

  // The file pattern selects; a second run finds everything done.
  settings_.file_pattern = "*.FXA_DEINSTALL";
  EXPECT_EQ(run(), 0u);
  EXPECT_EQ(file("log.txt"), "a\nb\nC\ndeinstall\n");
  settings_.file_pattern = "n*";
  EXPECT_EQ(run(), 0u);
  EXPECT_EQ(file("log.txt"), "a\nb\nC\ndeinstall\nnotes\n");
  EXPECT_EQ(run(), 0u);
  EXPECT_EQ(file("log.txt"), "a\nb\nC\ndeinstall\nnotes\n");
  char probe[8] = {};
  GetPrivateProfileStringA("Test", "Write", "", probe, sizeof probe,
                           settings_.history_file.c_str());
  EXPECT_STREQ(probe, "OK");
}

TEST_F(RunPatchesTest, SuccessIsFinalFailureIsRetried) {
  one_step("GOOD.FXA", log_step("good"));
  one_step("BAD.FXA", "/bin/sh -c \"echo bad >> log.txt; exit 3\"", "Errorlevel=0,1,2\r\n");
  EXPECT_EQ(run(), 0u) << "two pending patches: a failure is only recorded";
  EXPECT_EQ(file("log.txt"), "bad\ngood\n");
  EXPECT_EQ(outcome("GOOD.FXA"), "*SUCCESS: ");
  EXPECT_EQ(outcome("BAD.FXA"), "-FAILURE: errorlevel (3) mismatch for patch BAD.FXA, step S");
  EXPECT_EQ(err_, "FIXAR-ERROR, errorlevel (3) mismatch for patch BAD.FXA, step S\n");

  // Only the failed patch is pending now: it runs again, and 1 tells that it failed.
  EXPECT_EQ(run(), 1u);
  EXPECT_EQ(file("log.txt"), "bad\ngood\nbad\n");

  // Once it succeeds it is done; a history entry of the window program counts too.
  one_step("BAD.FXA", log_step("fixed"));
  one_step("MARKED.FXA", log_step("marked"));
  WritePrivateProfileStringA("Patches", "MARKED.FXA", "*INSTALLED",
                             settings_.history_file.c_str());
  EXPECT_EQ(run(), 0u);
  EXPECT_EQ(outcome("BAD.FXA"), "*SUCCESS: ");
  EXPECT_EQ(run(), 0u);
  EXPECT_EQ(file("log.txt"), "bad\ngood\nbad\nfixed\n");
  EXPECT_EQ(entry("MARKED.FXA"), "*INSTALLED");
}

TEST_F(RunPatchesTest, HistoryEntriesCarryTheLocalTime) {
  net_.env().set("TZ", "CET-1").set("NT_CLOCK_OFFSET", nullptr);
  tzset();
  one_step("OK.FXA", "/bin/true");
  one_step("NO.FXA", "/bin/false", "Errorlevel=0\r\n");
  // One hour east of UTC, without summer time: computed here without the
  // platform's clock.
  time_t now = time(nullptr) + 3600;
  struct tm before;
  gmtime_r(&now, &before);
  EXPECT_EQ(run(), 0u);
  const std::regex stamp(
      "([*-])(SUCCESS|FAILURE): (\\d\\d)\\.(\\d\\d)\\.(\\d{4}) (\\d\\d):(\\d\\d):(\\d\\d)\\.(\\d{3}) "
      "?(.*)");
  std::smatch m;
  std::string ok = entry("OK.FXA");
  ASSERT_TRUE(std::regex_match(ok, m, stamp)) << ok;
  EXPECT_EQ(m[1].str() + m[2].str(), "*SUCCESS");
  EXPECT_EQ(m[10].str(), "");
  int minutes = std::stoi(m[6].str()) * 60 + std::stoi(m[7].str());
  int expected = before.tm_hour * 60 + before.tm_min;
  EXPECT_TRUE(minutes == expected || minutes == (expected + 1) % 1440) << ok;
  if (minutes == expected) {
    EXPECT_EQ(std::stoi(m[3].str()), before.tm_mday);
    EXPECT_EQ(std::stoi(m[4].str()), before.tm_mon + 1);
    EXPECT_EQ(std::stoi(m[5].str()), before.tm_year + 1900);
  }
  // One line per entry in section Patches (a blank after the stamp is not
  // kept by the profile file, whose values lose their trailing blanks).
  std::string raw = FilesTestNetwork::read(settings_.history_file);
  EXPECT_TRUE(std::regex_search(raw, std::regex("\\[Patches\\]\r?\n(.*\r?\n)?OK\\.FXA=" +
                                                 std::regex_replace(ok, std::regex("[.*]"), "\\$&") +
                                                 " ?\r?\n")))
      << raw;
  std::string no = entry("NO.FXA");
  ASSERT_TRUE(std::regex_match(no, m, stamp)) << no;
  EXPECT_EQ(m[1].str() + m[2].str(), "-FAILURE");
  EXPECT_EQ(m[10].str(), "errorlevel (1) mismatch for patch NO.FXA, step S");
}

TEST_F(RunPatchesTest, FalseConditionsSkipWithoutEntry) {
  one_step("ONE.FXA", log_step("one"));
  one_step("TWO.FXA", log_step("two"));
  patch("FIXAR.FXC",
        "[T*.FXA]\r\nFormula=ON & !OFF\r\nON=EFIXAR_TEST_ON=yes\r\nOFF=POTHER.FXA\r\n"
        "[*]\r\nFormula=ANY\r\nANY=EPATH=*\r\n");
  net_.env().set("FIXAR_TEST_ON", "no");
  EXPECT_EQ(run(), 0u);
  EXPECT_EQ(file("log.txt"), "one\n");
  EXPECT_EQ(entry("TWO.FXA"), "");

  // The one pending patch skipped by its conditions: 0, still pending.
  EXPECT_EQ(run(), 0u);
  EXPECT_EQ(entry("TWO.FXA"), "");
  net_.env().set("FIXAR_TEST_ON", "YES");
  EXPECT_EQ(run(), 0u);
  EXPECT_EQ(file("log.txt"), "one\ntwo\n");

  // A conditions file named on the command line replaces the patch directory's.
  one_step("THREE.FXA", log_step("three"));
  FilesTestNetwork::write(net_.root() + "/host/other.fxc", "[*]\r\nFormula=NONE\r\n");
  settings_.conditions_file = net_.root() + "/host/other.fxc";
  EXPECT_EQ(run(), 0u);
  EXPECT_EQ(entry("THREE.FXA"), "");
}

TEST_F(RunPatchesTest, SpaceCheckOnDriveC) {
  one_step("BIG.FXA", log_step("big"), "Size=999999999999\r\n");
  one_step("SMALL.FXA", log_step("small"), "Size=1\r\n");
  EXPECT_EQ(run(), 0u);
  EXPECT_EQ(file("log.txt"), "small\n");
  std::regex message("-FAILURE: patch BIG\\.FXA requires 999999999999 KB, (\\d+) available on C:");
  std::smatch m;
  std::string big = outcome("BIG.FXA");
  ASSERT_TRUE(std::regex_match(big, m, message)) << big;
  ULARGE_INTEGER free_bytes;
  ASSERT_TRUE(GetDiskFreeSpaceExA("C:\\", &free_bytes, nullptr, nullptr));
  // Other work on the host changes the free space meanwhile: the figure
  // must be that of C: in KB (not bytes, not MB), give or take a quarter.
  double reported = std::stod(m[1].str());
  const double free_kb = static_cast<double>(free_bytes.QuadPart / 1024);
  EXPECT_NEAR(reported, free_kb, free_kb / 4);
  EXPECT_EQ(outcome("SMALL.FXA"), "*SUCCESS: ");
}

TEST_F(RunPatchesTest, StepKeysAndTheirFailures) {
  // The first section's meta keys without a command.
  patch("META.FXA", "[Info]\r\nName=Meta\r\nSize=1\r\n[Two]\r\nCommand=" + log_step("two") +
                        "\r\n");
  // Steps run in file order and stop at the first failure.
  patch("STEPS.FXA", "[z]\r\nCommand=" + log_step("z") + "\r\n[a]\r\nCommand=/bin/sh -c \"exit 4\"\r\n" +
                         "[m]\r\nCommand=" + log_step("m") + "\r\n");
  one_step("GONE.FXA", "/nonexistent/program arg");
  patch("EMPTY.FXA", "");
  one_step("LONG.FXA", "/bin/sh -c \"echo " + std::string(260, 'x') + "\"");
  EXPECT_EQ(run(), 0u);
  EXPECT_EQ(outcome("META.FXA"), "-FAILURE: patch META.FXA, step Info: command missing");
  EXPECT_EQ(outcome("STEPS.FXA"), "*SUCCESS: ") << "every exit code is accepted by default";
  EXPECT_EQ(file("log.txt"), "z\nm\n");
  EXPECT_EQ(outcome("GONE.FXA"), "-FAILURE: cannot execute '/nonexistent/program arg', error=3");
  EXPECT_EQ(outcome("EMPTY.FXA"), "-FAILURE: patch EMPTY.FXA has no steps");
  EXPECT_EQ(outcome("LONG.FXA"),
            "-FAILURE: patch LONG.FXA, step S: command longer than 255 characters");

  // The run's default list of exit codes applies to steps without their own.
  settings_.errorlevels = "0";
  EXPECT_EQ(run(), 0u);
  EXPECT_EQ(outcome("STEPS.FXA"), "*SUCCESS: ") << "done patches do not run again";
  patch("STEPS2.FXA", "[z]\r\nCommand=/bin/sh -c \"exit 4\"\r\n");
  patch("STEPS3.FXA", "[z]\r\nCommand=/bin/sh -c \"exit 4\"\r\nErrorlevel=3:5\r\n");
  EXPECT_EQ(run(), 0u);
  EXPECT_EQ(outcome("STEPS2.FXA"), "-FAILURE: errorlevel (4) mismatch for patch STEPS2.FXA, step z");
  EXPECT_EQ(outcome("STEPS3.FXA"), "*SUCCESS: ");
}

TEST_F(RunPatchesTest, NoWaitWithTimeLimitZero) {
  one_step("FAST.FXA", "/bin/sh -c \"sleep 3; exit 5\"", "Timelimit=0\r\nErrorlevel=0\r\n");
  EXPECT_EQ(run(), 0u);
  EXPECT_LT(seconds_, 2.0);
  EXPECT_EQ(outcome("FAST.FXA"), "*SUCCESS: ");
  // The run's /t0 makes every step without its own limit start-and-go.
  settings_.time_limit = 0;
  one_step("FAST2.FXA", "/bin/sh -c \"sleep 3; exit 5\"", "Errorlevel=0\r\n");
  EXPECT_EQ(run(), 0u);
  EXPECT_LT(seconds_, 2.0);
  EXPECT_EQ(outcome("FAST2.FXA"), "*SUCCESS: ");
}

TEST_F(RunPatchesTest, TrackingFollowsTheWholeTree) {
  // The step's own process ends with 0 at once; its background child ends later with 5.
  const std::string tree = "/bin/sh -c \"(sleep 0.5; exit 5) & exit 0\"";
  one_step("TREE.FXA", tree, "Errorlevel=0\r\n");
  one_step("UNTRACKED.FXA", tree, "Errorlevel=0\r\nDebug=0\r\n");
  one_step("NOWORD.FXA", tree, "Errorlevel=0\r\nDebug=no\r\n");
  settings_.verbose = true;
  EXPECT_EQ(run(), 0u);
  EXPECT_EQ(outcome("TREE.FXA"), "-FAILURE: errorlevel (5) mismatch for patch TREE.FXA, step S");
  EXPECT_EQ(outcome("UNTRACKED.FXA"), "*SUCCESS: ");
  EXPECT_EQ(outcome("NOWORD.FXA"),
            "-FAILURE: errorlevel (5) mismatch for patch NOWORD.FXA, step S");
  // Verbose lines: each process of the tracked tree is seen to start and end.
  std::regex ended("FIXAR-INFO, Process \\d+ ended, exitcode=5\n");
  EXPECT_TRUE(std::regex_search(out_, ended)) << out_;
  EXPECT_NE(out_.find("FIXAR-INFO, Processing step S\n"), std::string::npos);

  // A tree whose processes all end well passes, however long it runs in all.
  one_step("LONGTREE.FXA",
           "/bin/sh -c \"for i in 1 2 3; do /bin/sh -c 'sleep 0.4'; done; exit 0\"",
           "Timelimit=1\r\nErrorlevel=0\r\n");
  settings_.verbose = false;
  EXPECT_EQ(run(), 0u);
  EXPECT_EQ(outcome("LONGTREE.FXA"), "*SUCCESS: ");
  EXPECT_GT(seconds_, 1.0);
}

TEST_F(RunPatchesTest, StepsPastTheirLimitAreTerminated) {
  one_step("SLOW.FXA", "/bin/sh -c \"sleep 30\"", "Timelimit=1\r\nDebug=0\r\n");
  one_step("SLOWTREE.FXA", "/bin/sh -c \"sleep 30 & sleep 31; exit 0\"", "Timelimit=1\r\n");
  settings_.verbose = true;
  EXPECT_EQ(run(), 0u);
  EXPECT_LT(seconds_, 10.0);
  EXPECT_EQ(outcome("SLOW.FXA"), "-FAILURE: timeout (1 sec) for patch SLOW.FXA, step S");
  EXPECT_EQ(outcome("SLOWTREE.FXA"), "-FAILURE: timeout (1 sec) for patch SLOWTREE.FXA, step S");
  std::regex terminated("FIXAR-INFO, terminated process \\d+\n");
  auto count = std::distance(std::sregex_iterator(out_.begin(), out_.end(), terminated),
                             std::sregex_iterator());
  EXPECT_EQ(count, 4) << "one process of SLOW, three of SLOWTREE:\n" << out_;
}

TEST_F(RunPatchesTest, MoreThanSixtyFourLiveProcessesFailTheStep) {
  one_step("MANY.FXA",
           "/bin/sh -c \"i=0; while [ $i -lt 70 ]; do sleep 20 & i=$((i+1)); done; wait\"",
           "Timelimit=20\r\n");
  EXPECT_EQ(run(), 1u);
  EXPECT_LT(seconds_, 15.0);
  EXPECT_EQ(outcome("MANY.FXA"), "-FAILURE: more than 64 processes for patch MANY.FXA, step S");
  // Nothing of the tree is left to disturb the next step.
  one_step("NEXT.FXA", log_step("next"), "Timelimit=5\r\n");
  EXPECT_EQ(run(), 0u);
  EXPECT_EQ(outcome("NEXT.FXA"), "*SUCCESS: ");
}

TEST_F(RunPatchesTest, StartUpFailures) {
  // The history file cannot be written.
  settings_.history_file = net_.root() + "/host/none/FIXAR.FXH";
  EXPECT_EQ(run(), ERROR_PATH_NOT_FOUND);
  EXPECT_EQ(err_, "FIXAR-ERROR, cannot write " + settings_.history_file + ", error=3\n");
  settings_.history_file = net_.root() + "/host/FIXAR.FXH";

  // No patch directory, or a file instead.
  settings_.patch_dir = dir_ + "/missing";
  EXPECT_EQ(run(), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(err_, "FIXAR-ERROR, cannot find " + dir_ + "/missing, error=2\n");
  one_step("FILE.FXA", "/bin/true");
  settings_.patch_dir = dir_ + "/FILE.FXA";
  EXPECT_EQ(run(), 87u);
  EXPECT_EQ(err_, "FIXAR-ERROR, " + dir_ + "/FILE.FXA is not a directory\n");

  // An empty directory: nothing to do.
  settings_.patch_dir = net_.folder("empty");
  settings_.verbose = true;
  EXPECT_EQ(run(), 0u);
  EXPECT_EQ(out_, "FIXAR-INFO, Current dir is " + net_.root() + "/host/empty\n" +
                      "FIXAR-INFO, looking for " + net_.root() + "/host/empty\\*.*\n");
}

TEST_F(RunPatchesTest, NetworkPatchDirectoryThroughADrive) {
  std::string share_dir = net_.drive_c("SRV1") + "/PATCHES";
  ASSERT_EQ(mkdir(share_dir.c_str(), 0755), 0);
  ASSERT_EQ(mkdir((share_dir + "/sub").c_str(), 0755), 0);
  net_.share("SRV1", "PATCHES", "C:\\PATCHES");
  FilesTestNetwork::write(share_dir + "/sub/NET.FXA",
                          "[S]\r\nCommand=/bin/sh -c \"pwd > where.txt\"\r\n");
  FilesTestNetwork::write(share_dir + "/ROOT.FXA",
                          "[S]\r\nCommand=/bin/sh -c \"pwd > where.txt\"\r\n");
  settings_.patch_dir = "\\\\SRV1\\PATCHES\\sub\\";
  settings_.drive = "Q:";
  settings_.verbose = true;
  EXPECT_EQ(run(), 0u);
  EXPECT_EQ(outcome("NET.FXA"), "*SUCCESS: ");
  EXPECT_EQ(FilesTestNetwork::read(share_dir + "/sub/where.txt"), share_dir + "/sub\n");
  EXPECT_NE(out_.find("FIXAR-INFO, connected Q: to \\\\SRV1\\PATCHES\n"), std::string::npos)
      << out_;
  EXPECT_NE(out_.find("FIXAR-INFO, Current dir is Q:\\sub\n"), std::string::npos) << out_;
  EXPECT_NE(out_.find("FIXAR-INFO, disconnected Q:\n"), std::string::npos) << out_;
  char remote[64];
  DWORD size = sizeof remote;
  EXPECT_EQ(WNetGetConnectionA("Q:", remote, &size), ERROR_NOT_CONNECTED);

  // The share itself: the root of the drive.
  settings_.patch_dir = "\\\\SRV1\\PATCHES";
  EXPECT_EQ(run(), 0u);
  EXPECT_NE(out_.find("FIXAR-INFO, Current dir is Q:\\\n"), std::string::npos) << out_;
  EXPECT_EQ(outcome("ROOT.FXA"), "*SUCCESS: ");

  // A drive that cannot be connected stops the console program's run...
  FilesTestNetwork::write(share_dir + "/sub/NET2.FXA", "[S]\r\nCommand=/bin/true\r\n");
  settings_.patch_dir = "\\\\SRV1\\PATCHES\\sub";
  settings_.drive = "C:";
  settings_.verbose = false;
  EXPECT_EQ(run(), ERROR_ALREADY_ASSIGNED);
  EXPECT_EQ(err_, "FIXAR-ERROR, cannot connect C: to \\\\SRV1\\PATCHES, error=85\n");
  EXPECT_EQ(entry("NET2.FXA"), "");
  // ... while the window program goes on with the network path.
  settings_.window_program = true;
  EXPECT_EQ(run(), 0u);
  EXPECT_EQ(err_, "FIXAR-WARNING, cannot connect C: to \\\\SRV1\\PATCHES, error=85\n");
  EXPECT_EQ(outcome("NET2.FXA"), "*SUCCESS: ");
  // Without a drive the network path is used as it stands.
  FilesTestNetwork::write(share_dir + "/sub/NET3.FXA", "[S]\r\nCommand=/bin/true\r\n");
  settings_.window_program = false;
  settings_.drive = "";
  EXPECT_EQ(run(), 0u);
  EXPECT_EQ(outcome("NET3.FXA"), "*SUCCESS: ");
}

}  // namespace

namespace {

TEST_F(RunPatchesTest, RelativePathsKeepTheirMeaningAfterTheDirectoryChange) {
  std::string host = net_.root() + "/host";
  ASSERT_EQ(mkdir((host + "/hist").c_str(), 0755), 0);
  ASSERT_TRUE(SetCurrentDirectoryA(host.c_str()));
  one_step("REL.FXA", log_step("rel"));
  patch("FIXAR.FXC", "[REL.FXA]\r\nFormula=X\r\nX=EFIXAR_REL=on\r\n");
  FilesTestNetwork::write(host + "/hist/other.fxc", "[*]\r\nFormula=!Y\r\nY=EFIXAR_REL=on\r\n");
  net_.env().set("FIXAR_REL", "on");
  settings_.patch_dir = "patches";
  settings_.history_file = "hist\\FIXAR.FXH";
  settings_.verbose = true;
  EXPECT_EQ(run(), 0u);
  EXPECT_NE(out_.find("FIXAR-INFO, Current dir is " + host + "/patches\n"), std::string::npos)
      << out_;
  EXPECT_EQ(file("log.txt"), "rel\n");
  settings_.history_file = host + "/hist/FIXAR.FXH";
  EXPECT_EQ(outcome("REL.FXA"), "*SUCCESS: ");

  // A conditions file given relative to the start directory.
  one_step("REL2.FXA", log_step("rel2"));
  ASSERT_TRUE(SetCurrentDirectoryA(host.c_str()));
  settings_.history_file = "hist\\FIXAR.FXH";
  settings_.conditions_file = "hist\\other.fxc";
  EXPECT_EQ(run(), 0u);
  EXPECT_EQ(file("log.txt"), "rel\n") << "the named conditions file holds REL2 back\n" << out_ << err_ << result_;
}

}  // namespace
