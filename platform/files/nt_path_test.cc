#include "platform/files/nt_path.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/kernel/error.h"

namespace {

NtCurrentDirs dirs_on(const char* current) {
  NtCurrentDirs d;
  d.current = current;
  return d;
}

std::string full(const char* path, const NtCurrentDirs& dirs) {
  std::string out;
  DWORD err = nt_full_path(path, dirs, &out);
  return err == ERROR_SUCCESS ? out : "error " + std::to_string(err);
}

TEST(NtFullPath, AbsoluteDrivePathsAreNormalised) {
  NtCurrentDirs d = dirs_on("C:\\work");
  EXPECT_EQ(full("C:\\a\\b", d), "C:\\a\\b");
  EXPECT_EQ(full("c:/a/b", d), "c:\\a\\b");  // the letter keeps its case
  EXPECT_EQ(full("C:\\a\\\\b//c", d), "C:\\a\\b\\c");
  EXPECT_EQ(full("C:\\a\\.\\b\\..\\c", d), "C:\\a\\c");
  EXPECT_EQ(full("C:\\..\\..\\x", d), "C:\\x");  // ".." stops at the root
  EXPECT_EQ(full("C:\\a\\", d), "C:\\a\\");       // a closing separator stays
  EXPECT_EQ(full("C:\\a\\b\\..", d), "C:\\a");
  EXPECT_EQ(full("C:\\a\\b\\..\\", d), "C:\\a\\");
  EXPECT_EQ(full("C:\\", d), "C:\\");
  EXPECT_EQ(full("C:\\.", d), "C:\\");
  // Trailing dots and blanks of names go; a name of dots only disappears.
  EXPECT_EQ(full("C:\\dir. \\name. . ", d), "C:\\dir\\name");
  EXPECT_EQ(full("C:\\a\\...\\b", d), "C:\\a\\b");
  EXPECT_EQ(full("C:\\a\\b...", d), "C:\\a\\b");
  EXPECT_EQ(full("C:\\x\\*.txt", d), "C:\\x\\*.txt");  // wildcards pass
}

TEST(NtFullPath, RelativeFormsUseTheCurrentDirectories) {
  NtCurrentDirs d = dirs_on("C:\\work\\sub");
  d.drives['D' - 'A'] = "D:\\data";
  EXPECT_EQ(full("x.txt", d), "C:\\work\\sub\\x.txt");
  EXPECT_EQ(full(".\\x", d), "C:\\work\\sub\\x");
  EXPECT_EQ(full("..\\x", d), "C:\\work\\x");
  EXPECT_EQ(full("..\\..\\..\\..", d), "C:\\");
  EXPECT_EQ(full(".", d), "C:\\work\\sub");
  EXPECT_EQ(full("\\top", d), "C:\\top");  // the root of the current drive
  EXPECT_EQ(full("/top", d), "/top");      // a single '/' is a host path
  EXPECT_EQ(full("D:rel", d), "D:\\data\\rel");
  EXPECT_EQ(full("d:rel", d), "D:\\data\\rel");
  EXPECT_EQ(full("D:", d), "D:\\data");
  EXPECT_EQ(full("D:..", d), "D:\\");
  EXPECT_EQ(full("E:rel", d), "E:\\rel");  // no current directory there: the root
  EXPECT_EQ(full("C:", d), "C:\\work\\sub");  // the current drive: the current directory
  EXPECT_EQ(full("C:x", d), "C:\\work\\sub\\x");
  EXPECT_EQ(full("sub\\", d), "C:\\work\\sub\\sub\\");

  NtCurrentDirs unc = dirs_on("\\\\SRV\\SHARE\\dir");
  EXPECT_EQ(full("x", unc), "\\\\SRV\\SHARE\\dir\\x");
  EXPECT_EQ(full("\\x", unc), "\\\\SRV\\SHARE\\x");
  EXPECT_EQ(full("..\\..\\..\\x", unc), "\\\\SRV\\SHARE\\x");  // the share is the root

  NtCurrentDirs host = dirs_on("/home/user");
  EXPECT_EQ(full("x\\y", host), "/home/user/x/y");
  EXPECT_EQ(full("..\\z", host), "/home/z");
  EXPECT_EQ(full("\\etc\\hosts", host), "/etc/hosts");
  EXPECT_EQ(full("/a/./b/../c/", host), "/a/c/");
  EXPECT_EQ(full("/dir. /x", host), "/dir. /x");  // host names as they stand

  NtCurrentDirs none;
  EXPECT_EQ(full("x", none), "error 123");
}

TEST(NtFullPath, UncDeviceAndLongForms) {
  NtCurrentDirs d = dirs_on("C:\\");
  EXPECT_EQ(full("\\\\SRV\\SHARE\\a\\..\\b", d), "\\\\SRV\\SHARE\\b");
  EXPECT_EQ(full("//srv/share/x/", d), "\\\\srv\\share\\x\\");
  EXPECT_EQ(full("\\\\SRV\\SHARE\\..\\..", d), "\\\\SRV\\SHARE\\");
  EXPECT_EQ(full("\\\\SRV\\SHARE", d), "\\\\SRV\\SHARE");
  EXPECT_EQ(full("\\\\SRV", d), "\\\\SRV");
  EXPECT_EQ(full("\\\\?\\C:\\x\\y", d), "C:\\x\\y");
  EXPECT_EQ(full("\\\\.\\C:\\x", d), "C:\\x");
  EXPECT_EQ(full("\\\\?\\UNC\\SRV\\SHARE\\x", d), "\\\\SRV\\SHARE\\x");
  EXPECT_EQ(full("\\\\.\\COM1", d), "\\\\.\\COM1");
  EXPECT_EQ(full("\\\\.\\pipe\\name", d), "\\\\.\\pipe\\name");
  EXPECT_EQ(full("\\\\S*V\\SHARE", d), "error 123");
}

TEST(NtFullPath, ForbiddenCharactersAndLengthLimits) {
  NtCurrentDirs d = dirs_on("C:\\");
  EXPECT_EQ(full("", d), "error 123");
  EXPECT_EQ(full("C:\\a<b", d), "error 123");
  EXPECT_EQ(full("C:\\a|b", d), "error 123");
  EXPECT_EQ(full("C:\\a\"b", d), "error 123");
  EXPECT_EQ(full("C:\\a:b", d), "error 123");
  EXPECT_EQ(full("C:\\a\tb", d), "error 123");
  EXPECT_EQ(full("/host/a:b|c", d), "/host/a:b|c");  // host names are not checked

  // 259 characters is the longest full path; 260 is too long.
  std::string name(256, 'n');
  EXPECT_EQ(full(("C:\\" + name).c_str(), d).size(), 259u);
  EXPECT_EQ(full(("C:\\" + name + "x").c_str(), d), "error 206");
  // Counted in characters, not bytes: 256 two-byte characters fit too.
  std::string wide;
  for (int i = 0; i < 256; ++i) wide += "\xC3\xA9";
  EXPECT_EQ(full(("C:\\" + wide).c_str(), d).size(), 3u + 512u);
  // ".." shortens before the limit is applied.
  EXPECT_EQ(full(("C:\\" + name + "x\\..\\y").c_str(), d), "C:\\y");
  // "\\?\" lifts the limit; host paths have the host's limits.
  EXPECT_EQ(full(("\\\\?\\C:\\" + name + "x").c_str(), d).size(), 260u);
  EXPECT_EQ(full(("/" + name + "/" + name).c_str(), d).size(), 514u);
  EXPECT_EQ(nt_path_chars("a\xC3\xA9\xF0\x9F\x98\x80"), 4u);  // a surrogate pair counts twice
}

TEST(NtSplitFullPath, PartsOfEveryForm) {
  NtPathParts p = nt_split_full_path("c:\\Dir\\File.txt");
  EXPECT_EQ(p.kind, NtPathKind::drive);
  EXPECT_EQ(p.drive, 'C');
  ASSERT_EQ(p.names.size(), 2u);
  EXPECT_EQ(p.names[0], "Dir");
  EXPECT_EQ(p.names[1], "File.txt");
  EXPECT_FALSE(p.trailing_separator);

  p = nt_split_full_path("\\\\srv\\Share\\x\\");
  EXPECT_EQ(p.kind, NtPathKind::unc);
  EXPECT_EQ(p.server, "srv");
  EXPECT_EQ(p.share, "Share");
  ASSERT_EQ(p.names.size(), 1u);
  EXPECT_TRUE(p.trailing_separator);

  p = nt_split_full_path("\\\\srv");
  EXPECT_EQ(p.kind, NtPathKind::unc);
  EXPECT_EQ(p.share, "");
  EXPECT_TRUE(p.names.empty());

  p = nt_split_full_path("C:\\");
  EXPECT_TRUE(p.names.empty());
  EXPECT_FALSE(p.trailing_separator);

  p = nt_split_full_path("/a/b/");
  EXPECT_EQ(p.kind, NtPathKind::host);
  EXPECT_EQ(p.names.size(), 2u);
  EXPECT_TRUE(p.trailing_separator);

  EXPECT_EQ(nt_split_full_path("\\\\.\\COM1").kind, NtPathKind::device);
  EXPECT_EQ(nt_path_root("C:\\a\\b"), "C:\\");
  EXPECT_EQ(nt_path_root("\\\\S\\T\\a"), "\\\\S\\T\\");
  EXPECT_EQ(nt_path_root("/x"), "/");
}

}  // namespace
