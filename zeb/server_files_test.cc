#include "zeb/server_files.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>
#include <sstream>

#include "platform/network/network.h"
#include "platform/network/network_test_env.h"

namespace {

TEST(ServerFiles, ExecutableNameGetsAnExtensionOnlyWhenItHasNone) {
  EXPECT_EQ(zeb_executable_name("/build/bin/zeb"), "zeb.exe");
  EXPECT_EQ(zeb_executable_name("C:\\APP\\zeb.exe"), "zeb.exe");
  EXPECT_EQ(zeb_executable_name("C:\\APP.D\\zeb"), "zeb.exe");
  EXPECT_EQ(zeb_executable_name("zeb.bin"), "zeb.bin");
}

TEST(ServerFiles, LoggingMaskKeepsBitsZeroToFifteen) {
  EXPECT_EQ(zeb_logging_mask("0"), 0x0001u);
  EXPECT_EQ(zeb_logging_mask("1,3"), 0x000Au);
  EXPECT_EQ(zeb_logging_mask("14:40"), 0xC000u);
  EXPECT_EQ(zeb_logging_mask("16"), 0u);
  EXPECT_EQ(zeb_logging_mask(",5"), 0x0020u);  // the empty entry admits nothing
  EXPECT_EQ(zeb_logging_mask("-"), 0u);
}

TEST(ServerFiles, CopyCreatesMissingDirectoriesOfTheTarget) {
  TempNetwork net("LOCALPC");
  std::string root;
  ASSERT_EQ(nt_network_ensure(&root), 0u);
  const std::string c = net.root() + "/machines/LOCALPC/drives/C";
  std::ofstream(c + "/source.bin") << "program";
  EXPECT_EQ(zeb_copy_executable("C:\\source.bin", "C:\\A\\B\\zeb.exe"), 0u);
  std::ifstream in(c + "/A/B/zeb.exe");
  std::stringstream s;
  s << in.rdbuf();
  EXPECT_EQ(s.str(), "program");
  // Through the administrative share of the machine, too.
  EXPECT_EQ(zeb_copy_executable("C:\\source.bin", "\\\\LOCALPC\\C$\\X\\zeb.exe"), 0u);
  struct stat st;
  EXPECT_EQ(stat((c + "/X/zeb.exe").c_str(), &st), 0);
  // A missing source is the copy's own error, nothing is created for it.
  EXPECT_EQ(zeb_copy_executable("C:\\missing.bin", "C:\\Y\\zeb.exe"), 2u);
}

}  // namespace
