#include "platform/files/net_connection.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/files/file_io.h"
#include "platform/files/files_test_env.h"
#include "platform/files/path.h"
#include "platform/files/volume.h"
#include "platform/kernel/error.h"

namespace {

DWORD connect(const char* local, const char* remote, DWORD type = RESOURCETYPE_DISK) {
  NETRESOURCEA res = {};
  res.dwType = type;
  res.lpLocalName = const_cast<char*>(local);
  res.lpRemoteName = const_cast<char*>(remote);
  DWORD result = WNetAddConnection2A(&res, nullptr, nullptr, 0);
  EXPECT_EQ(GetLastError(), result);
  return result;
}

std::string remote_of(const char* local) {
  char buffer[64];
  DWORD length = sizeof buffer;
  DWORD err = WNetGetConnectionA(local, buffer, &length);
  return err == ERROR_SUCCESS ? buffer : "error " + std::to_string(err);
}

TEST(NetConnections, ConnectResolveAndCancel) {
  FilesTestNetwork net;
  mkdir((net.drive_c("SRV2") + "/Patches").c_str(), 0755);
  net.write(net.drive_c("SRV2") + "/Patches/fix.fxa", "patch");
  net.share("SRV2", "Dist", "C:\\Patches");

  ASSERT_EQ(connect("q:", "\\\\srv2\\DIST"), ERROR_SUCCESS);
  std::string host;
  ASSERT_TRUE(nt_host_path("Q:\\FIX.FXA", &host));
  EXPECT_EQ(host, net.drive_c("SRV2") + "/Patches/fix.fxa");
  EXPECT_EQ(GetFileAttributesA("Q:\\fix.fxa"), FILE_ATTRIBUTE_NORMAL);
  ASSERT_TRUE(SetCurrentDirectoryA("Q:\\"));
  ASSERT_TRUE(nt_host_path("fix.fxa", &host));
  EXPECT_EQ(host, net.drive_c("SRV2") + "/Patches/fix.fxa");
  EXPECT_EQ(remote_of("Q:"), "\\\\srv2\\DIST");

  // The letter is taken, for this user.
  EXPECT_EQ(connect("Q:", "\\\\SRV1\\C$"), ERROR_ALREADY_ASSIGNED);
  EXPECT_EQ(connect("C:", "\\\\SRV1\\C$"), ERROR_ALREADY_ASSIGNED);

  // Another user of the machine does not see it.
  net.env().set("USERNAME", "other");
  EXPECT_EQ(remote_of("Q:"), "error 2250");
  EXPECT_FALSE(nt_host_path("Q:\\fix.fxa", &host));
  EXPECT_EQ(GetLastError(), ERROR_PATH_NOT_FOUND);
  EXPECT_EQ(WNetCancelConnection2A("Q:", 0, FALSE), ERROR_NOT_CONNECTED);
  net.env().set("USERNAME", "tester");

  // A server going offline makes the drive unusable, not gone.
  net.set_online("SRV2", false);
  EXPECT_FALSE(nt_host_path("Q:\\fix.fxa", &host));
  EXPECT_EQ(GetLastError(), ERROR_BAD_NETPATH);
  EXPECT_EQ(remote_of("Q:"), "\\\\srv2\\DIST");
  net.set_online("SRV2", true);

  EXPECT_EQ(WNetCancelConnection2A("q:", CONNECT_UPDATE_PROFILE, TRUE), ERROR_SUCCESS);
  EXPECT_EQ(GetLastError(), ERROR_SUCCESS);
  EXPECT_EQ(WNetCancelConnection2A("Q:", 0, FALSE), ERROR_NOT_CONNECTED);
  EXPECT_EQ(GetLastError(), ERROR_NOT_CONNECTED);
  EXPECT_EQ(WNetCancelConnection2A("C:", 0, FALSE), ERROR_NOT_CONNECTED);  // no connection
  EXPECT_EQ(WNetCancelConnection2A(nullptr, 0, FALSE), ERROR_INVALID_PARAMETER);
  EXPECT_FALSE(nt_host_path("Q:\\fix.fxa", &host));
  EXPECT_EQ(GetLastError(), ERROR_PATH_NOT_FOUND);
}

TEST(NetConnections, RefusedConnections) {
  FilesTestNetwork net;
  EXPECT_EQ(connect("Q:", "\\\\WS9\\C$"), ERROR_BAD_NETPATH);     // offline
  EXPECT_EQ(connect("Q:", "\\\\NOBODY\\C$"), ERROR_BAD_NETPATH);  // unknown
  EXPECT_EQ(connect("Q:", "\\\\SRV1\\NONE"), ERROR_BAD_NET_NAME);
  EXPECT_EQ(connect("Q:", "\\\\SRV1\\IPC$"), ERROR_BAD_NET_NAME);  // no disk share
  EXPECT_EQ(connect("Q:", "\\\\SRV1\\C$\\WINNT"), ERROR_BAD_NET_NAME);
  EXPECT_EQ(connect("Q:", "\\\\SRV1"), ERROR_BAD_NET_NAME);
  EXPECT_EQ(connect("Q:", "C:\\WINNT"), ERROR_BAD_NET_NAME);
  EXPECT_EQ(connect("Q:", nullptr), ERROR_BAD_NET_NAME);
  EXPECT_EQ(connect("QQ:", "\\\\SRV1\\C$"), ERROR_BAD_DEVICE);
  EXPECT_EQ(connect("1:", "\\\\SRV1\\C$"), ERROR_BAD_DEVICE);
  EXPECT_EQ(connect("Q:", "\\\\SRV1\\C$", RESOURCETYPE_PRINT), ERROR_BAD_DEV_TYPE);
  EXPECT_EQ(WNetAddConnection2A(nullptr, nullptr, nullptr, 0), ERROR_INVALID_PARAMETER);
  // Without a device the share is only checked.
  EXPECT_EQ(connect(nullptr, "\\\\SRV1\\C$"), ERROR_SUCCESS);
  EXPECT_EQ(connect("", "\\\\SRV1\\NONE"), ERROR_BAD_NET_NAME);
  EXPECT_EQ(GetLogicalDrives(), 1u << 2);

  char small[4];
  DWORD length = sizeof small;
  ASSERT_EQ(connect("R:", "\\\\SRV1\\C$"), ERROR_SUCCESS);
  EXPECT_EQ(WNetGetConnectionA("R:", small, &length), ERROR_MORE_DATA);
  EXPECT_EQ(length, 10u);  // "\\SRV1\C$" and its terminator
  EXPECT_EQ(remote_of("C:"), "error 2250");
  EXPECT_EQ(remote_of("R"), "error 2250");
}

}  // namespace
