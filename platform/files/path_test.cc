#include "platform/files/path.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/files/files_test_env.h"
#include "platform/kernel/error.h"

namespace {

// The host path, or "error N".
std::string host_of(const char* nt) {
  std::string host;
  if (nt_host_path(nt, &host)) return host;
  return "error " + std::to_string(GetLastError());
}

TEST(NtHostPath, DrivesMapToHostFoldersIgnoringCase) {
  FilesTestNetwork net;
  std::string d = net.folder("d");
  net.folder("d/Data/Sub");
  net.write(d + "/Data/Sub/File.TXT", "x");
  net.map('D', d);

  EXPECT_EQ(host_of("d:\\data\\sub\\file.txt"), d + "/Data/Sub/File.TXT");
  EXPECT_EQ(host_of("D:/DATA/SUB/FILE.TXT"), d + "/Data/Sub/File.TXT");
  // New names keep the case given; the existing part is found.
  EXPECT_EQ(host_of("D:\\DATA\\NewFile.Txt"), d + "/Data/NewFile.Txt");
  EXPECT_EQ(host_of("D:\\nodir\\New\\x"), d + "/nodir/New/x");
  EXPECT_EQ(host_of("D:\\data. \\sub."), d + "/Data/Sub");
  EXPECT_EQ(host_of("D:\\Data\\Sub\\"), d + "/Data/Sub/");
  EXPECT_EQ(host_of("D:\\"), d);
  EXPECT_EQ(host_of("D:\\..\\..\\Data"), d + "/Data");  // never above the drive

  // An exact hit wins over a case-insensitive one.
  net.write(d + "/abc", "lower");
  net.write(d + "/ABC", "upper");
  EXPECT_EQ(host_of("D:\\abc"), d + "/abc");
  EXPECT_EQ(host_of("D:\\ABC"), d + "/ABC");
  std::string either = host_of("D:\\Abc");
  EXPECT_TRUE(either == d + "/abc" || either == d + "/ABC") << either;

  // C: is the machine's own folder, with the Windows directory on it.
  EXPECT_EQ(host_of("C:\\winnt\\SYSTEM32"), net.drive_c("LOCALPC") + "/WINNT/system32");
  EXPECT_EQ(host_of("Q:\\x"), "error 3");  // an absent drive, as NT reports it
  EXPECT_EQ(host_of("C:\\a<b"), "error 123");
  EXPECT_EQ(host_of(""), "error 3");
  EXPECT_EQ(host_of(nullptr), "error 3");
  EXPECT_EQ(host_of(("C:\\" + std::string(300, 'x')).c_str()), "error 206");
  EXPECT_EQ(host_of("\\\\.\\COM1"), "error 2");
  EXPECT_EQ(host_of("\\\\.\\D:\\Data"), d + "/Data");
  EXPECT_EQ(host_of("\\\\?\\d:\\data"), d + "/Data");
}

TEST(NtHostPath, UncPathsGoThroughTheSharesOfTheNamedMachine) {
  FilesTestNetwork net;
  std::string srv1_c = net.drive_c("SRV1");
  mkdir((net.drive_c("SRV2") + "/Docs").c_str(), 0755);
  mkdir((net.drive_c("SRV2") + "/Docs/Reports").c_str(), 0755);
  net.share("SRV2", "Docs", "C:\\docs");

  EXPECT_EQ(host_of("\\\\SRV1\\C$\\WINNT"), srv1_c + "/WINNT");
  EXPECT_EQ(host_of("\\\\srv1\\c$\\"), srv1_c);
  EXPECT_EQ(host_of("\\\\SRV1\\ADMIN$\\System32"), srv1_c + "/WINNT/system32");
  EXPECT_EQ(host_of("//srv2/DOCS/reports/new.txt"), net.drive_c("SRV2") + "/Docs/Reports/new.txt");
  EXPECT_EQ(host_of("\\\\SRV2\\Docs\\..\\..\\Reports"), net.drive_c("SRV2") + "/Docs/Reports");
  // The local machine by its name.
  EXPECT_EQ(host_of("\\\\LOCALPC\\C$\\WINNT"), net.drive_c("LOCALPC") + "/WINNT");

  EXPECT_EQ(host_of("\\\\WS9\\C$\\x"), "error 53");    // offline
  EXPECT_EQ(host_of("\\\\NOSUCH\\C$\\x"), "error 53");  // unknown
  EXPECT_EQ(host_of("\\\\\\C$"), "error 53");          // no server name
  EXPECT_EQ(host_of("\\\\SRV1\\NOSHARE\\x"), "error 67");
  EXPECT_EQ(host_of("\\\\SRV1\\IPC$"), "error 67");  // no file share
  EXPECT_EQ(host_of("\\\\SRV1"), "error 67");
  EXPECT_EQ(host_of("\\\\SRV1\\D$\\x"), "error 67");  // SRV1 has no D:

  // A share whose folder has gone cannot be used.
  rmdir((net.drive_c("SRV2") + "/Docs/Reports").c_str());
  rmdir((net.drive_c("SRV2") + "/Docs").c_str());
  EXPECT_EQ(host_of("\\\\SRV2\\Docs\\x"), "error 67");
}

TEST(NtHostPath, RemoteDrivesOfTheDriveTableResolveThroughTheirShare) {
  FilesTestNetwork net;
  net.map('R', "\\\\SRV1\\C$\\WINNT", NtDriveType::remote);
  net.map('S', "\\\\WS9\\C$", NtDriveType::remote);
  std::string plain = net.folder("plain");
  net.map('P', plain, NtDriveType::remote);  // a remote drive made of a host folder
  EXPECT_EQ(host_of("R:\\system32"), net.drive_c("SRV1") + "/WINNT/system32");
  EXPECT_EQ(host_of("R:\\"), net.drive_c("SRV1") + "/WINNT");
  EXPECT_EQ(host_of("S:\\x"), "error 53");
  EXPECT_EQ(host_of("P:\\x"), plain + "/x");
}

TEST(NtHostPath, HostPathsStandAsTheyAre) {
  FilesTestNetwork net;
  EXPECT_EQ(host_of("/tmp/a b/c.txt"), "/tmp/a b/c.txt");
  EXPECT_EQ(host_of("/tmp/./x/../y/"), "/tmp/y/");
  EXPECT_EQ(host_of("/"), "/");
  NtResolvedPath r;
  ASSERT_EQ(nt_resolve_path("/tmp/New.TXT", &r), ERROR_SUCCESS);
  EXPECT_EQ(r.given_name, "New.TXT");
  EXPECT_FALSE(r.root);
  ASSERT_EQ(nt_resolve_path("C:\\", &r), ERROR_SUCCESS);
  EXPECT_TRUE(r.root);
  ASSERT_EQ(nt_resolve_path("\\\\SRV1\\C$", &r), ERROR_SUCCESS);
  EXPECT_TRUE(r.root);
  ASSERT_EQ(nt_resolve_path("\\\\SRV1\\ADMIN$", &r), ERROR_SUCCESS);
  EXPECT_FALSE(r.root);  // a share of a directory has "." and ".."
}

TEST(NtHostPath, AnsiPathsInTheClassicCodePage) {
  FilesTestNetwork net;
  std::string d = net.folder("d");
  net.map('D', d);
  net.write(d + "/\xC3\xA9t\xC3\xA9.txt", "x");  // été.txt on the host
  net.env().pages("1252", "850");
  EXPECT_EQ(host_of("D:\\\xC9T\xC9.TXT"), d + "/\xC3\xA9t\xC3\xA9.txt");  // ÉTÉ.TXT in 1252
  EXPECT_EQ(host_of("D:\\\xE9new"), d + "/\xC3\xA9new");
}

TEST(NtPathHasDirectory, DirectoryPartDetection) {
  EXPECT_FALSE(nt_path_has_directory("SMTP.INI"));
  EXPECT_FALSE(nt_path_has_directory(nullptr));
  EXPECT_TRUE(nt_path_has_directory(".\\SMTP.INI"));
  EXPECT_TRUE(nt_path_has_directory("dir/x.ini"));
  EXPECT_TRUE(nt_path_has_directory("C:x.ini"));
}

TEST(WindowsDirectory, DefaultAndEnvironmentWithWin32Sizes) {
  FilesTestNetwork net;
  net.env().set("SYSTEMROOT", nullptr);
  char buffer[64];
  EXPECT_EQ(GetWindowsDirectoryA(buffer, sizeof buffer), 8u);
  EXPECT_STREQ(buffer, "C:\\WINNT");
  EXPECT_EQ(GetSystemDirectoryA(buffer, sizeof buffer), 17u);
  EXPECT_STREQ(buffer, "C:\\WINNT\\system32");
  std::string host;
  ASSERT_TRUE(nt_host_path(buffer, &host));
  EXPECT_EQ(host, net.drive_c("LOCALPC") + "/WINNT/system32");

  // Too small by one: the size needed comes back and nothing is written.
  memset(buffer, 'x', sizeof buffer);
  EXPECT_EQ(GetWindowsDirectoryA(buffer, 8), 9u);
  EXPECT_EQ(buffer[0], 'x');
  EXPECT_EQ(GetWindowsDirectoryA(buffer, 9), 8u);
  EXPECT_EQ(GetWindowsDirectoryA(nullptr, 0), 9u);
  SetLastError(0);
  EXPECT_EQ(GetWindowsDirectoryA(nullptr, 5), 0u);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);

  net.env().set("SYSTEMROOT", "/srv/nt/root");
  EXPECT_EQ(GetWindowsDirectoryA(buffer, sizeof buffer), 12u);
  EXPECT_STREQ(buffer, "/srv/nt/root");
  EXPECT_EQ(GetSystemDirectoryA(buffer, sizeof buffer), 21u);
  EXPECT_STREQ(buffer, "/srv/nt/root\\system32");
  ASSERT_TRUE(nt_host_path(buffer, &host));
  EXPECT_EQ(host, "/srv/nt/root/system32");
}

}  // namespace
