#include "lib/remote_file_name.h"

#include <gtest/gtest.h>

#include "platform/network/network_test_env.h"

namespace {

TEST(RemoteFileName, LocalMachineIsRecognisedInEveryWriting) {
  TempNetwork net("LOCALPC");
  EXPECT_TRUE(is_local_server(nullptr));
  EXPECT_TRUE(is_local_server(""));
  EXPECT_TRUE(is_local_server("\\\\"));
  EXPECT_TRUE(is_local_server("\\\\LOCALPC"));
  EXPECT_TRUE(is_local_server("localpc"));
  EXPECT_FALSE(is_local_server("\\\\LOCALPC2"));
  EXPECT_FALSE(is_local_server("\\\\LOCAL"));
  EXPECT_FALSE(is_local_server("\\\\WS1"));
}

TEST(RemoteFileName, DrivePathsOfOtherServersGoThroughTheAdministrativeShare) {
  TempNetwork net("LOCALPC");
  EXPECT_EQ(remote_file_name("\\\\WS1", "C:\\WIN32APP\\zeb.exe"), "\\\\WS1\\C$\\WIN32APP\\zeb.exe");
  EXPECT_EQ(remote_file_name("WS1", "d:\\x"), "\\\\WS1\\d$\\x");
  // A drive root and a drive-relative path keep what follows the colon.
  EXPECT_EQ(remote_file_name("\\\\WS1", "C:\\"), "\\\\WS1\\C$\\");
  EXPECT_EQ(remote_file_name("\\\\WS1", "C:rel"), "\\\\WS1\\C$rel");
  // The local machine uses the path as it stands, whatever its form.
  EXPECT_EQ(remote_file_name("\\\\LOCALPC", "C:\\WIN32APP\\zeb.exe"), "C:\\WIN32APP\\zeb.exe");
  EXPECT_EQ(remote_file_name(nullptr, "C:\\a"), "C:\\a");
  // Paths without a drive letter cannot be mapped to a share: unchanged.
  EXPECT_EQ(remote_file_name("\\\\WS1", "\\\\SRV\\share\\x"), "\\\\SRV\\share\\x");
  EXPECT_EQ(remote_file_name("\\\\WS1", "/opt/zeb"), "/opt/zeb");
  EXPECT_EQ(remote_file_name("\\\\WS1", "1:\\x"), "1:\\x");
  EXPECT_EQ(remote_file_name("\\\\WS1", "C"), "C");
  EXPECT_EQ(remote_file_name("\\\\WS1", ""), "");
}

}  // namespace
