#include "morva/install_paths.h"

#include <gtest/gtest.h>

#include "platform/network/network_test_env.h"

namespace {

TEST(InstallPaths, TargetPathOfAdd) {
  // Remote without /p: the system directory of the server.
  EXPECT_EQ(install_target_path("", true, "morva"), "%SystemRoot%\\SYSTEM32\\morva");
  // /p gets a trailing backslash once.
  EXPECT_EQ(install_target_path("C:\\WIN32APP", true, "morva"), "C:\\WIN32APP\\morva");
  EXPECT_EQ(install_target_path("C:\\WIN32APP\\", false, "morva"), "C:\\WIN32APP\\morva");
  // Local without /p: nothing here, the running program registers itself.
  EXPECT_EQ(install_target_path("", false, "morva"), "");
}

TEST(InstallPaths, HowTheInstallerReachesTheFile) {
  TempNetwork net("LOCALPC");  // this machine is LOCALPC
  EXPECT_EQ(reach_path("\\\\SRV1", true, "%SystemRoot%\\SYSTEM32\\morva", "C:\\WINNT"),
            "\\\\SRV1\\ADMIN$\\SYSTEM32\\morva");
  // "%SystemRoot%" in any case, 12 characters.
  EXPECT_EQ(reach_path("\\\\SRV1", true, "%SYSTEMROOT%\\x", "C:\\WINNT"), "\\\\SRV1\\ADMIN$\\x");
  EXPECT_EQ(reach_path("\\\\SRV1", true, "%SystemRoot%", "C:\\WINNT"), "\\\\SRV1\\ADMIN$");
  EXPECT_EQ(reach_path("\\\\SRV1", true, "D:\\WIN32APP\\morva", "C:\\WINNT"),
            "\\\\SRV1\\D$\\WIN32APP\\morva");
  EXPECT_EQ(reach_path("\\\\SRV1", true, "\\\\OTHER\\share\\morva", "C:\\WINNT"),
            "\\\\OTHER\\share\\morva");
  // Locally the system root comes from this machine; drive paths stay.
  EXPECT_EQ(reach_path("\\\\LOCALPC", false, "%SystemRoot%\\SYSTEM32\\morva", "E:\\NT40"),
            "E:\\NT40\\SYSTEM32\\morva");
  EXPECT_EQ(reach_path("\\\\LOCALPC", false, "D:\\WIN32APP\\morva", "E:\\NT40"),
            "D:\\WIN32APP\\morva");
  EXPECT_EQ(reach_path("\\\\SRV1", true, "%SystemRo\\x", "C:\\WINNT"), "%SystemRo\\x");
}

TEST(InstallPaths, ProfileDirectoryValue) {
  EXPECT_EQ(profile_directory_value(""), "%SystemRoot%\\SYSTEM32");
  EXPECT_EQ(profile_directory_value("~WINDOWS\\PROFILES"), "%SystemRoot%\\PROFILES");
  EXPECT_EQ(profile_directory_value("~windows"), "%SystemRoot%");
  EXPECT_EQ(profile_directory_value("~WINDOW\\X"), "~WINDOW\\X");
  EXPECT_EQ(profile_directory_value("D:\\PROFILES"), "D:\\PROFILES");
}

TEST(InstallPaths, FileNames) {
  EXPECT_EQ(path_file_name("C:\\WIN32APP\\morva.exe"), "morva.exe");
  EXPECT_EQ(path_file_name("/opt/bin/morva"), "morva");
  EXPECT_EQ(path_file_name("morva"), "morva");
}

}  // namespace
