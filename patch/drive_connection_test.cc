#include "patch/drive_connection.h"

#include <gtest/gtest.h>

namespace {

TEST(DriveConnection, NetworkPathSplitBeforeTheFourthBackslash) {
  UncParts p = split_unc_directory("\\\\server\\share\\patches\\nt4");
  EXPECT_EQ(p.remote, "\\\\server\\share");
  EXPECT_EQ(p.rest, "patches\\nt4");
  p = split_unc_directory("\\\\server\\share\\patches");
  EXPECT_EQ(p.remote, "\\\\server\\share");
  EXPECT_EQ(p.rest, "patches");
  p = split_unc_directory("\\\\server\\share");
  EXPECT_EQ(p.remote, "\\\\server\\share");
  EXPECT_EQ(p.rest, "");
  p = split_unc_directory("\\\\server\\share\\");
  EXPECT_EQ(p.remote, "\\\\server\\share");
  EXPECT_EQ(p.rest, "");
  p = split_unc_directory("\\\\server");
  EXPECT_EQ(p.remote, "\\\\server");
  EXPECT_EQ(p.rest, "");

  EXPECT_EQ(drive_directory("Q:", "patches"), "Q:\\patches");
  EXPECT_EQ(drive_directory("Q:", ""), "Q:\\");

  EXPECT_TRUE(is_network_path("\\\\server\\share"));
  EXPECT_FALSE(is_network_path("\\server\\share"));
  EXPECT_FALSE(is_network_path("C:\\patches"));
  EXPECT_FALSE(is_network_path("/tmp/patches"));
  EXPECT_FALSE(is_network_path(""));
}

}  // namespace
