#include "platform/profile/profile.h"

#include <dirent.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>

#include "platform/kernel/error.h"

namespace {

// The names of a NUL-separated list, joined with "|".
std::string list_text(const char* buffer, DWORD length) {
  std::string out;
  for (DWORD i = 0; i < length; ++i) out += buffer[i] ? buffer[i] : '|';
  return out;
}

class ProfileTest : public testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/profile_test_XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
    file_ = dir_ + "/test.ini";
    setenv("LANG", "C", 1);
    unsetenv("NT_ACP");
  }
  void TearDown() override { system(("rm -rf '" + dir_ + "'").c_str()); }

  void write(const std::string& text, const std::string& name = "test.ini") const {
    std::ofstream(dir_ + "/" + name, std::ios::binary) << text;
  }
  std::string contents(const std::string& name = "test.ini") const {
    std::ifstream in(dir_ + "/" + name, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }
  int files_in_dir() const {
    int n = 0;
    DIR* d = opendir(dir_.c_str());
    while (dirent* e = readdir(d)) n += e->d_name[0] != '.';
    closedir(d);
    return n;
  }
  std::string get(const char* section, const char* key, const char* def = "") const {
    char buffer[256];
    GetPrivateProfileStringA(section, key, def, buffer, sizeof buffer, file_.c_str());
    return buffer;
  }

  std::string dir_;
  std::string file_;
};

constexpr char SAMPLE[] =
    "; leading comment\r\n"
    "[Connection]\r\n"
    "  Answer =  220 ready \t\r\n"
    "Quoted=\"  spaced  \"\r\n"
    "Single='x'\r\n"
    "Mismatch=\"x'\r\n"
    "Lone=\"\r\n"
    "NoValue\n"
    "; comment=not a key\n"
    "Answer=second\n"
    "\n"
    "[ Commands ]\n"
    "HELO ~h\\r\\n=250\n"
    "QUIT\\r\\n=221\n"
    "[connection]\n"
    "Late=1\n";

TEST_F(ProfileTest, ValuesAreTrimmedUnquotedAndFoundIgnoringCase) {
  write(SAMPLE);
  EXPECT_EQ(get("Connection", "Answer"), "220 ready");
  EXPECT_EQ(get("CONNECTION", "answer"), "220 ready");  // the first key wins
  EXPECT_EQ(get("connection", "Quoted"), "  spaced  ");
  EXPECT_EQ(get("Connection", "Single"), "x");
  EXPECT_EQ(get("Connection", "Mismatch"), "\"x'");
  EXPECT_EQ(get("Connection", "Lone"), "\"");
  EXPECT_EQ(get("commands", "HELO ~h\\r\\n"), "250");
  // Only the first section of a name is read.
  EXPECT_EQ(get("Connection", "Late", "none"), "none");

  SetLastError(0);
  EXPECT_EQ(get("Connection", "Missing", "dflt  \t"), "dflt");
  EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(get("Connection", "NoValue", "d"), "d");
  EXPECT_EQ(get("Connection", "; comment", "d"), "d");
  EXPECT_EQ(get("Nowhere", "Answer", nullptr), "");

  char buffer[8];
  EXPECT_EQ(GetPrivateProfileStringA("X", "Y", "default", buffer, sizeof buffer,
                                     (dir_ + "/absent.ini").c_str()),
            7u);
  EXPECT_STREQ(buffer, "default");
  EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
}

TEST_F(ProfileTest, SectionAndKeyListsEndWithTwoTerminators) {
  write(SAMPLE);
  char buffer[256];
  memset(buffer, 'x', sizeof buffer);
  DWORD n =
      GetPrivateProfileStringA(nullptr, nullptr, nullptr, buffer, sizeof buffer, file_.c_str());
  EXPECT_EQ(list_text(buffer, n + 1), "Connection|Commands||");
  EXPECT_EQ(buffer[n + 1], 'x');  // one terminator after the last name's
  EXPECT_EQ(GetPrivateProfileSectionNamesA(buffer, sizeof buffer, file_.c_str()), n);

  n = GetPrivateProfileStringA("Connection", nullptr, "", buffer, sizeof buffer, file_.c_str());
  EXPECT_EQ(list_text(buffer, n + 1), "Answer|Quoted|Single|Mismatch|Lone|NoValue|Answer||");

  n = GetPrivateProfileSectionA("commands", buffer, sizeof buffer, file_.c_str());
  EXPECT_EQ(list_text(buffer, n + 1), "HELO ~h\\r\\n=250|QUIT\\r\\n=221||");

  memset(buffer, 'x', sizeof buffer);
  EXPECT_EQ(GetPrivateProfileStringA("Nowhere", nullptr, "", buffer, sizeof buffer, file_.c_str()),
            0u);
  EXPECT_EQ(buffer[0], '\0');
  EXPECT_EQ(buffer[1], '\0');
}

TEST_F(ProfileTest, TruncatedResultsReturnWin32Sizes) {
  write("[S]\nkey=abcdef\n[T]\nalpha=1\nbeta=2\n");
  char buffer[16];
  // A value: size - 1 characters.
  EXPECT_EQ(GetPrivateProfileStringA("S", "key", "", buffer, 4, file_.c_str()), 3u);
  EXPECT_STREQ(buffer, "abc");
  EXPECT_EQ(GetLastError(), ERROR_MORE_DATA);
  EXPECT_EQ(GetPrivateProfileStringA("S", "key", "", buffer, 7, file_.c_str()), 6u);
  EXPECT_STREQ(buffer, "abcdef");
  EXPECT_EQ(GetPrivateProfileStringA("S", "none", "long default", buffer, 5, file_.c_str()), 4u);
  EXPECT_STREQ(buffer, "long");

  // Key list "alpha\0beta\0" is 11 bytes: with the final terminator it fits
  // in 12 or more; in less it is cut to size - 2 and ends with two terminators.
  memset(buffer, 'x', sizeof buffer);
  EXPECT_EQ(GetPrivateProfileStringA("T", nullptr, "", buffer, 13, file_.c_str()), 11u);
  EXPECT_EQ(list_text(buffer, 13), "alpha|beta||x");
  memset(buffer, 'x', sizeof buffer);
  EXPECT_EQ(GetPrivateProfileStringA("T", nullptr, "", buffer, 12, file_.c_str()), 10u);
  EXPECT_EQ(list_text(buffer, 13), "alpha|beta||x");
  EXPECT_EQ(GetLastError(), ERROR_MORE_DATA);
  memset(buffer, 'x', sizeof buffer);
  EXPECT_EQ(GetPrivateProfileStringA("T", nullptr, "", buffer, 9, file_.c_str()), 7u);
  EXPECT_EQ(list_text(buffer, 10), "alpha|b||x");

  // Degenerate sizes write nothing beyond them.
  memset(buffer, 'x', sizeof buffer);
  EXPECT_EQ(GetPrivateProfileStringA("T", nullptr, "", buffer, 0, file_.c_str()), 0u);
  EXPECT_EQ(buffer[0], 'x');
  EXPECT_EQ(GetPrivateProfileStringA("T", nullptr, "", buffer, 1, file_.c_str()), 0u);
  EXPECT_EQ(buffer[0], '\0');
  EXPECT_EQ(buffer[1], 'x');
  EXPECT_EQ(GetPrivateProfileStringA("S", "key", "", buffer, 1, file_.c_str()), 0u);
  EXPECT_EQ(buffer[0], '\0');
}

TEST_F(ProfileTest, IntegersReadLikeTheSystemConversion) {
  write("[N]\na=42\nb=  -7\nc=0x1F\nd=12abc\ne=abc\nf=\ng=0b101\nh=+9\ni=0o17\nj=\"33\"\n");
  const char* f = file_.c_str();
  EXPECT_EQ(GetPrivateProfileIntA("N", "a", 5, f), 42u);
  EXPECT_EQ(static_cast<INT>(GetPrivateProfileIntA("N", "b", 5, f)), -7);
  EXPECT_EQ(GetPrivateProfileIntA("N", "c", 5, f), 31u);
  EXPECT_EQ(GetPrivateProfileIntA("N", "d", 5, f), 12u);
  EXPECT_EQ(GetPrivateProfileIntA("N", "e", 5, f), 0u);
  EXPECT_EQ(GetPrivateProfileIntA("N", "f", 5, f), 5u);
  EXPECT_EQ(GetPrivateProfileIntA("N", "g", 5, f), 5u);
  EXPECT_EQ(GetPrivateProfileIntA("N", "h", 5, f), 9u);
  EXPECT_EQ(GetPrivateProfileIntA("N", "i", 5, f), 15u);
  EXPECT_EQ(GetPrivateProfileIntA("N", "j", 5, f), 33u);
  EXPECT_EQ(GetPrivateProfileIntA("N", "missing", 10, f), 10u);
  EXPECT_EQ(static_cast<INT>(GetPrivateProfileIntA("X", "y", -3, (dir_ + "/no.ini").c_str())), -3);
}

TEST_F(ProfileTest, WritesKeepTheRestOfTheFile) {
  write("; head\n[A]\nkey=1 ; not a comment\n; inside\nOther=x\n\n[B]\nb=2\n");
  EXPECT_TRUE(WritePrivateProfileStringA("a", "KEY", "  new value ", file_.c_str()));
  EXPECT_TRUE(WritePrivateProfileStringA("A", "added", "3", file_.c_str()));
  EXPECT_TRUE(WritePrivateProfileStringA("B", "b", nullptr, file_.c_str()));
  EXPECT_TRUE(WritePrivateProfileStringA("C", "c", "4", file_.c_str()));
  EXPECT_EQ(contents(),
            "; head\r\n[A]\r\nkey=new value\r\n; inside\r\nOther=x\r\nadded=3\r\n\r\n"
            "[B]\r\n\r\n[C]\r\nc=4\r\n");
  EXPECT_EQ(get("A", "key"), "new value");

  // Deleting what is not there changes nothing.
  EXPECT_TRUE(WritePrivateProfileStringA("B", "nothing", nullptr, file_.c_str()));
  EXPECT_TRUE(WritePrivateProfileStringA("Z", nullptr, nullptr, file_.c_str()));
  EXPECT_TRUE(WritePrivateProfileStringA("a", nullptr, nullptr, file_.c_str()));
  EXPECT_EQ(contents(), "; head\r\n[B]\r\n\r\n[C]\r\nc=4\r\n");

  EXPECT_FALSE(WritePrivateProfileStringA(nullptr, "k", "v", file_.c_str()));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  EXPECT_TRUE(WritePrivateProfileStringA(nullptr, nullptr, nullptr, file_.c_str()));
  EXPECT_EQ(files_in_dir(), 1);  // no temporary file left
}

TEST_F(ProfileTest, WritesCreateFilesAndReplaceSections) {
  std::string fresh = dir_ + "/fresh.ini";
  EXPECT_TRUE(WritePrivateProfileStringA("S", "k", "v", fresh.c_str()));
  EXPECT_EQ(contents("fresh.ini"), "[S]\r\nk=v\r\n");

  EXPECT_TRUE(WritePrivateProfileSectionA("S", "a=1\0b\0c = 3\0", fresh.c_str()));
  EXPECT_TRUE(WritePrivateProfileSectionA("T", "x=9\0", fresh.c_str()));
  EXPECT_EQ(contents("fresh.ini"), "[S]\r\na=1\r\nb\r\nc = 3\r\n\r\n[T]\r\nx=9\r\n");
  EXPECT_EQ(get("S", "c"), "");
  char buffer[64];
  EXPECT_EQ(GetPrivateProfileStringA("S", "c", "", buffer, sizeof buffer, fresh.c_str()), 1u);
  EXPECT_STREQ(buffer, "3");
  EXPECT_TRUE(WritePrivateProfileSectionA("s", nullptr, fresh.c_str()));
  EXPECT_EQ(contents("fresh.ini"), "[T]\r\nx=9\r\n");

  // A directory that does not exist: nothing is written.
  EXPECT_FALSE(WritePrivateProfileStringA("S", "k", "v", (dir_ + "/none/x.ini").c_str()));
  EXPECT_EQ(GetLastError(), ERROR_PATH_NOT_FOUND);

  // A bare name lives in the Windows directory.
  setenv("SYSTEMROOT", dir_.c_str(), 1);
  EXPECT_TRUE(WritePrivateProfileStringA("W", "k", "win", "BARE.INI"));
  EXPECT_EQ(contents("BARE.INI"), "[W]\r\nk=win\r\n");
  EXPECT_EQ(GetPrivateProfileStringA("w", "K", "", buffer, sizeof buffer, "BARE.INI"), 3u);
  EXPECT_STREQ(buffer, "win");
  unsetenv("SYSTEMROOT");
}

TEST_F(ProfileTest, FailedWriteKeepsTheOldFile) {
  const std::string original = "[S]\r\nk=old\r\n";
  write(original);
  // Writes past 64 bytes fail; the temporary file takes the failure.
  struct rlimit saved;
  getrlimit(RLIMIT_FSIZE, &saved);
  struct sigaction ignore = {}, previous = {};
  ignore.sa_handler = SIG_IGN;
  sigaction(SIGXFSZ, &ignore, &previous);
  struct rlimit small = saved;
  small.rlim_cur = 64;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
  BOOL ok = WritePrivateProfileStringA("S", "k", std::string(200, 'v').c_str(), file_.c_str());
  setrlimit(RLIMIT_FSIZE, &saved);
  sigaction(SIGXFSZ, &previous, nullptr);
  EXPECT_FALSE(ok);
  EXPECT_EQ(contents(), original);
  EXPECT_EQ(files_in_dir(), 1);
}

}  // namespace
