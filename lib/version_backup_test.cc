#include "lib/version_backup.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>
#include <sstream>
#include <string>

#include "platform/network/network.h"
#include "platform/network/network_test_env.h"

namespace {

TEST(VersionBackup, NameReplacesTheFileExtensionByTheVersion) {
  EXPECT_EQ(version_backup_name("C:\\WIN32APP\\zeb.exe", "V1.0.0100"),
            "C:\\WIN32APP\\zeb.V1.0.0100");
  EXPECT_EQ(version_backup_name("\\\\WS1\\C$\\APP\\zeb.exe", "V2.0.0001"),
            "\\\\WS1\\C$\\APP\\zeb.V2.0.0001");
  // Only the last dot of the file name counts.
  EXPECT_EQ(version_backup_name("C:\\A\\zeb.old.exe", "V1"), "C:\\A\\zeb.old.V1");
  // A dot in a directory name is not the file's extension.
  EXPECT_EQ(version_backup_name("C:\\APP.D\\zeb", "V1"), "");
  EXPECT_EQ(version_backup_name("/opt/app.d/zeb", "V1"), "");
  EXPECT_EQ(version_backup_name("C:\\APP\\zeb", "V1"), "");
  EXPECT_EQ(version_backup_name("", "V1"), "");
  // A trailing dot and an unknown version still give a distinct name.
  EXPECT_EQ(version_backup_name("C:\\APP\\zeb.", "V1"), "C:\\APP\\zeb.V1");
  EXPECT_EQ(version_backup_name("C:\\APP\\zeb.exe", ""), "C:\\APP\\zeb.old");
}

std::string slurp(const std::string& host) {
  std::ifstream in(host);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

TEST(VersionBackup, MoveReplacesAnOlderBackupAndReportsFailures) {
  TempNetwork net("LOCALPC");
  std::string root;
  ASSERT_EQ(nt_network_ensure(&root), 0u);
  const std::string c = net.root() + "/machines/LOCALPC/drives/C";
  mkdir((c + "/APP").c_str(), 0777);
  std::ofstream(c + "/APP/zeb.exe") << "new";
  std::ofstream(c + "/APP/zeb.V1") << "stale";

  testing::internal::CaptureStdout();
  EXPECT_EQ(move_to_backup("ZEB", "C:\\APP\\zeb.exe", "C:\\APP\\zeb.V1"), 0u);
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "ZEB-INFO, moved C:\\APP\\zeb.exe to C:\\APP\\zeb.V1\n");
  EXPECT_EQ(slurp(c + "/APP/zeb.V1"), "new");
  struct stat st;
  EXPECT_NE(stat((c + "/APP/zeb.exe").c_str(), &st), 0);

  // The file is gone now: the move fails with the system's code.
  testing::internal::CaptureStderr();
  EXPECT_EQ(move_to_backup("MORVA", "C:\\APP\\zeb.exe", "C:\\APP\\zeb.V2"), 2u);
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "MORVA-ERROR, cannot move C:\\APP\\zeb.exe to C:\\APP\\zeb.V2, error=2\n");
  EXPECT_EQ(slurp(c + "/APP/zeb.V1"), "new");
}

}  // namespace
