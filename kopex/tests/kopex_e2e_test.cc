// kopex end to end: the built program on a test network (LOCALPC, the local
// machine, with drives D: and T: mapped to temporary host folders; servers
// SRV1 and SRV2 with shares).
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "kopex/tests/run_kopex.h"
#include "platform/files/file_info.h"
#include "platform/files/files_test_env.h"

namespace {

// 100 ns units between 1601 and 1970.
constexpr uint64_t kEpochDelta = 116444736000000000ull;

class KopexTest : public ::testing::Test {
 protected:
  void SetUp() override {
    net_.env()
        .set("TZ", "UTC")
        .set("LC_ALL", nullptr)
        .set("LANG", "C")
        .set("PORTEL_FORMAT", nullptr)
        .set("SERVERLIST", nullptr)
        .set("QX_DATE_FORMAT", nullptr)
        .set("QX_TIME_FORMAT", nullptr);
    tzset();
    d_ = net_.folder("d");
    t_ = net_.folder("t");
    net_.map('D', d_);
    net_.map('T', t_);
  }

  KopexResult kopex(const std::vector<std::string>& args, const std::string& input = "") {
    return run_kopex(args, input, d_);
  }

  // Writes a file below a host folder, making its directories.
  static void put(const std::string& root, const std::string& relative, const std::string& text) {
    std::string path = root + "/" + relative;
    for (size_t pos = root.size() + 1; pos < path.size(); ++pos) {
      if (path[pos] == '/') mkdir(path.substr(0, pos).c_str(), 0755);
    }
    FilesTestNetwork::write(path, text);
  }
  static bool exists(const std::string& path) { return FilesTestNetwork::exists(path); }

  // Sets a host file's modification time to a UTC FILETIME.
  static void set_write_time(const std::string& path, uint64_t filetime) {
    const uint64_t units = filetime - kEpochDelta;
    struct timespec times[2];
    times[0].tv_sec = 0;
    times[0].tv_nsec = UTIME_OMIT;
    times[1].tv_sec = static_cast<time_t>(units / 10000000ull);
    times[1].tv_nsec = static_cast<long>((units % 10000000ull) * 100);
    ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
  }

  static std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> out;
    size_t start = 0;
    while (start < text.size()) {
      size_t end = text.find('\n', start);
      if (end == std::string::npos) end = text.size();
      out.push_back(text.substr(start, end - start));
      start = end + 1;
    }
    return out;
  }
  static bool has_line(const std::string& text, const std::string& line) {
    std::vector<std::string> all = lines(text);
    return std::find(all.begin(), all.end(), line) != all.end();
  }
  // For lines that follow a question on the same output line.
  static bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
  }
  static std::string stat_line(long value, const char* what) {
    char line[128];
    std::snprintf(line, sizeof line, "KOPEX-STATISTICS=% 12ld %s", value, what);
    return line;
  }

  FilesTestNetwork net_;
  std::string d_, t_;
};

TEST_F(KopexTest, ArgumentChecksInTheirOrder) {
  put(d_, "data/a.txt", "a");
  KopexResult r = kopex({});
  EXPECT_EQ(r.exit_code, 255);
  EXPECT_NE(r.out.find("usage: kopex <cmd> <spec> [<target>]"), std::string::npos);
  EXPECT_NE(r.out.find("recurse subdirectories"), std::string::npos);

  r = kopex({"ver"});
  EXPECT_EQ(r.exit_code, 255);
  EXPECT_EQ(r.out.find("usage:"), std::string::npos);
  EXPECT_EQ(r.out.rfind("kopex V1.1.0112  ", 0), 0u) << r.out;

  r = kopex({"sho", "D:\\data\\", "/Z"});
  EXPECT_EQ(r.exit_code, 87);
  EXPECT_TRUE(has_line(r.err, "KOPEX-ERROR, error in argument no.3")) << r.err;

  // /d outside mir and upd: nothing is deleted.
  r = kopex({"del", "D:\\data\\*.txt", "/d", "/y"});
  EXPECT_EQ(r.exit_code, 87);
  EXPECT_EQ(r.err, "KOPEX-ERROR, /d switch only allowed with MIR or UPD operations\n");
  EXPECT_TRUE(exists(d_ + "/data/a.txt"));

  r = kopex({"cop", "D:\\data\\", "T:\\x*\\"});
  EXPECT_EQ(r.exit_code, 87);
  EXPECT_EQ(r.err, "KOPEX-ERROR, wildcards not allowed in target path\n");

  // An unknown command word: its line and the three closing lines, exit 0.
  r = kopex({"xyz", "D:\\data\\"});
  EXPECT_EQ(r.exit_code, 0);
  EXPECT_EQ(r.err, "KOPEX-ERROR, invalid command 'xyz'\n");
  EXPECT_EQ(r.out, stat_line(0, "files taken") + "\n" + stat_line(0, "actions skipped") + "\n" +
                       stat_line(0, "errors detected") + "\n");

  r = kopex({"set", "D:\\data\\", "T:\\x\\"});
  EXPECT_EQ(r.exit_code, 87);
  EXPECT_EQ(r.err, "KOPEX-ERROR, no second path allowed with SET or DEL\n");
  r = kopex({"sho", "D:\\data\\", "T:\\x\\"});
  EXPECT_EQ(r.exit_code, 87);
  EXPECT_EQ(r.err, "KOPEX-ERROR, no second path allowed with SHO\n");

  r = kopex({"mir", "D:\\da*\\", "T:\\x\\", "/d"});
  EXPECT_EQ(r.exit_code, 87);
  EXPECT_EQ(r.err, "KOPEX-ERROR, cannot have multiple source directories with /d\n");
  r = kopex({"cop", "D:\\data\\"});
  EXPECT_EQ(r.exit_code, 87);
  EXPECT_EQ(r.err, "KOPEX-ERROR, no target path specified\n");
  EXPECT_FALSE(exists(t_ + "/x"));

  // A specification over 256 characters is refused, not cut.
  std::string long_spec = "D:\\" + std::string(260, 'a');
  r = kopex({"del", long_spec, "/y"});
  EXPECT_EQ(r.exit_code, 87);
  EXPECT_NE(r.err.find("too long"), std::string::npos);
}

TEST_F(KopexTest, TrailingBackslashWalksTheTreeAndDirectoriesComeAfterTheirContents) {
  put(d_, "data/a.txt", "12345");
  put(d_, "data/sub/b.txt", "12");
  put(d_, "data/sub/deep/c.txt", "1");
  KopexResult r = kopex({"sho", "D:\\data\\", "~F~f ~s ~a", "~d~f ~T ~d ~X ~Y ~Z"});
  EXPECT_EQ(r.exit_code, 0);
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(r.out,
            "D:\\data\\a.txt 5 ......\n"
            "D:\\data\\sub\\b.txt 2 ......\n"
            "D:\\data\\sub\\deep\\c.txt 1 ......\n"
            "D:\\data\\sub\\deep\\ 1 0 1 1 0\n"
            "D:\\data\\sub\\deep 0 .....D\n"
            "D:\\data\\sub\\ 2 1 3 3 1\n"
            "D:\\data\\sub 0 .....D\n"
            "D:\\data\\ 2 1 8 5 2\n");

  // Without /S and without a trailing backslash a matching directory is an
  // entry like a file; nothing below it is walked.
  r = kopex({"sho", "D:\\data\\*", "~F~N", "~T~T ~d", "/v"});
  EXPECT_EQ(r.exit_code, 0);
  EXPECT_EQ(lines(r.out)[0], "a.txt");
  EXPECT_EQ(lines(r.out)[1], "sub");
  EXPECT_EQ(lines(r.out)[2], "2 0");
  EXPECT_TRUE(has_line(r.out, stat_line(2, "files")));
  EXPECT_TRUE(has_line(r.out, "KOPEX-STATISTICS=           5 bytes"));
  EXPECT_TRUE(has_line(r.out, stat_line(0, "subdirectories")));
  EXPECT_TRUE(has_line(r.out, stat_line(0, "errors detected")));

  // Directory wildcards are expanded level by level.
  put(d_, "a1/b1/x.txt", "x");
  put(d_, "a2/b22/y.txt", "y");
  put(d_, "a3/bb/z.txt", "z");
  put(d_, "c1/b1/w.txt", "w");
  r = kopex({"sho", "D:\\a*\\b?\\*.txt", "~F~f", "~e~d ~T"});
  EXPECT_EQ(r.out, "D:\\a1\\b1\\x.txt\n\\a1\\b1\\ 1\nD:\\a3\\bb\\z.txt\n\\a3\\bb\\ 1\n");
}

TEST_F(KopexTest, PatternOrderDecidesWhatDelDeletes) {
  for (const char* name : {"keep1.tmp", "x.tmp", "y.bak", "z.txt"}) {
    put(d_, std::string("temp/") + name, "1");
    put(d_, std::string("temp2/") + name, "1");
  }
  KopexResult r = kopex({"del", "D:\\temp\\!keep*,*.tmp,*.bak", "/y"});
  EXPECT_EQ(r.exit_code, 0);
  EXPECT_TRUE(exists(d_ + "/temp/keep1.tmp"));
  EXPECT_FALSE(exists(d_ + "/temp/x.tmp"));
  EXPECT_FALSE(exists(d_ + "/temp/y.bak"));
  EXPECT_TRUE(exists(d_ + "/temp/z.txt"));
  EXPECT_TRUE(has_line(r.out, "KOPEX-INFO, delete: D:\\temp\\x.tmp"));
  EXPECT_TRUE(has_line(r.out, stat_line(2, "files deleted")));
  EXPECT_TRUE(has_line(r.out, "KOPEX-STATISTICS=           2 bytes deleted"));

  r = kopex({"del", "D:\\temp2\\*.tmp,!keep*", "/y"});
  EXPECT_FALSE(exists(d_ + "/temp2/keep1.tmp"));
  EXPECT_FALSE(exists(d_ + "/temp2/x.tmp"));
  EXPECT_TRUE(exists(d_ + "/temp2/y.bak"));
}

TEST_F(KopexTest, DriveSelectors) {
  put(net_.drive_c("LOCALPC"), "c.sys", "c");
  put(d_, "d.sys", "d");
  put(t_, "t.sys", "t");
  KopexResult r = kopex({"sho", "DISK:\\*.sys"});
  EXPECT_EQ(r.out, "C:\\c.sys\n");
  r = kopex({"sho", "disk*:\\*.sys"});
  EXPECT_EQ(r.out, "C:\\c.sys\nD:\\d.sys\nT:\\t.sys\n");
  r = kopex({"sho", "*:\\*.sys", "~T~e"});
  EXPECT_EQ(lines(r.out).back(), "3");

  // The current drive (the working directory lies on D:).
  r = kopex({"sho", "*.sys"});
  EXPECT_EQ(r.out, "D:\\d.sys\n");

  r = kopex({"sho", "Q:\\*.sys"});
  EXPECT_EQ(r.exit_code, 0);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, "KOPEX-ERROR, drive Q: is not available\n");

  r = kopex({"sho", "TAPE:\\*.sys"});
  EXPECT_EQ(r.exit_code, 0);
  EXPECT_EQ(r.err, "KOPEX-ERROR, invalid drive specification 'TAPE:'\n");

  r = kopex({"sho", "CD*:\\*.sys"});
  EXPECT_EQ(r.exit_code, 0);
  EXPECT_EQ(r.err, "KOPEX-ERROR, no drives match 'CD*:'\n");

  // ~S lines are never printed for local drives.
  r = kopex({"sho", "D:\\*.sys", "~SSERVER ~S"});
  EXPECT_EQ(r.out, "D:\\d.sys\n");
}

TEST_F(KopexTest, SharesAndTheHiddenShareFilter) {
  put(net_.drive_c("SRV1"), "pub/p1.txt", "11");
  put(net_.drive_c("SRV1"), "hid/h1.txt", "1");
  put(net_.drive_c("SRV2"), "pub/p2.txt", "222");
  net_.share("SRV1", "PUB", "C:\\pub");
  net_.share("SRV1", "HID$", "C:\\hid");
  net_.share("SRV2", "PUB", "C:\\pub");

  KopexResult r = kopex({"sho", "\\\\SRV*\\*\\*.txt", "~F~S ~e ~N ~d", "~S~S ~e ~T ~s",
                         "~T~S ~e ~T ~s"});
  EXPECT_EQ(r.exit_code, 0);
  EXPECT_EQ(r.out,
            "\\\\SRV1 HID$ h1.txt \\\n"
            "\\\\SRV1 PUB p1.txt \\\n"
            "\\\\SRV1 2 2 3\n"
            "\\\\SRV2 PUB p2.txt \\\n"
            "\\\\SRV2 1 1 3\n"
            "2 3 3 6\n");

  // /h2 hides disk shares ending with '$' as well.
  r = kopex({"sho", "\\\\SRV1\\*\\*.txt", "/h2", "~F~e"});
  EXPECT_EQ(r.out, "PUB\n");

  // C$ is administrative: walked only with /h0; ADMIN$ and IPC$ never.
  r = kopex({"sho", "\\\\SRV*\\C$\\pub\\*.txt", "~F~S ~e"});
  EXPECT_EQ(r.out, "");
  r = kopex({"sho", "\\\\SRV*\\C$\\pub\\*.txt", "/h0", "~F~S ~e"});
  EXPECT_EQ(r.out, "\\\\SRV1 C$\n\\\\SRV2 C$\n");
  r = kopex({"sho", "\\\\SRV1\\A*\\*", "/h0", "~e~e"});
  EXPECT_EQ(r.out, "");
  r = kopex({"sho", "\\\\SRV1\\*\\*.none", "/h0", "~F", "~e~e"});
  EXPECT_EQ(r.out, "C$\nHID$\nPUB\n");

  r = kopex({"sho", "\\\\SRV1\\NOPE\\*"});
  EXPECT_EQ(r.err, "KOPEX-ERROR, NetShareGetInfo(NOPE) failed, error=2310\n");
}

TEST_F(KopexTest, UpdateKeepsCloseTimesAndNeverCreates) {
  // Two write times 3 ms apart inside one step of 65,536 units.
  const uint64_t base = ((kEpochDelta + 17000000000000000ull) & ~0xFFFFull) + 100;
  put(d_, "src/same.txt", "new");
  put(t_, "dst/same.txt", "old");
  set_write_time(d_ + "/src/same.txt", base);
  set_write_time(t_ + "/dst/same.txt", base + 30000);
  put(d_, "src/missing.txt", "m");
  put(d_, "src/older.txt", "source");
  put(t_, "dst/older.txt", "target");
  set_write_time(d_ + "/src/older.txt", base);
  set_write_time(t_ + "/dst/older.txt", base + 100000000);

  KopexResult r = kopex({"upd", "D:\\src\\*.txt", "T:\\dst\\", "/y", "/T"});
  EXPECT_EQ(r.exit_code, 0);
  EXPECT_EQ(FilesTestNetwork::read(t_ + "/dst/same.txt"), "old");
  EXPECT_FALSE(exists(t_ + "/dst/missing.txt"));
  EXPECT_EQ(FilesTestNetwork::read(t_ + "/dst/older.txt"), "target");  // /T: target is newer
  EXPECT_TRUE(has_line(r.out, stat_line(3, "files in source")));
  EXPECT_TRUE(has_line(r.out, stat_line(0, "files copied")));
  EXPECT_TRUE(has_line(r.out, stat_line(0, "files replaced")));

  r = kopex({"upd", "D:\\src\\*.txt", "T:\\dst\\", "/y"});
  EXPECT_EQ(FilesTestNetwork::read(t_ + "/dst/older.txt"), "source");
  EXPECT_EQ(FilesTestNetwork::read(t_ + "/dst/same.txt"), "old");
  EXPECT_TRUE(has_line(r.out, "KOPEX-INFO, replace: T:\\dst\\older.txt"));
  EXPECT_TRUE(has_line(r.out, stat_line(1, "files replaced")));
  // A replace counts its size as copied and as deleted.
  EXPECT_TRUE(has_line(r.out, "KOPEX-STATISTICS=           6 bytes copied"));
  EXPECT_TRUE(has_line(r.out, "KOPEX-STATISTICS=           6 bytes deleted"));

  // cop replaces whatever the times and prints no replaced line.
  r = kopex({"cop", "D:\\src\\same.txt", "T:\\dst\\", "/y"});
  EXPECT_EQ(FilesTestNetwork::read(t_ + "/dst/same.txt"), "new");
  EXPECT_FALSE(has_line(r.out, stat_line(1, "files replaced")));
  EXPECT_EQ(r.out.find("files replaced"), std::string::npos);
  EXPECT_EQ(lines(r.out).size(), 1u + 7u + 3u);
}

TEST_F(KopexTest, TargetNamesInAnotherCaseAreTheSameFile) {
  put(d_, "src/a.txt", "source");
  put(t_, "dst/A.TXT", "target");
  set_write_time(t_ + "/dst/A.TXT", kEpochDelta + 10000000ull * 3600);
  KopexResult r = kopex({"mir", "D:\\src\\", "T:\\dst\\", "/y", "/d"});
  EXPECT_EQ(r.exit_code, 0) << r.err;
  EXPECT_TRUE(has_line(r.out, stat_line(1, "files replaced"))) << r.out;
  EXPECT_TRUE(has_line(r.out, stat_line(0, "files copied")));
  EXPECT_TRUE(has_line(r.out, stat_line(0, "files deleted")));
  EXPECT_FALSE(exists(t_ + "/dst/a.txt"));
  EXPECT_EQ(FilesTestNetwork::read(t_ + "/dst/A.TXT"), "source");
}

TEST_F(KopexTest, ReplaceQuestionLayout) {
  const uint64_t when = kEpochDelta + 13000000000ull * 100000ull;  // a fixed instant
  put(d_, "src/f.txt", "source!");
  put(t_, "dst/f.txt", "tgt");
  set_write_time(d_ + "/src/f.txt", when);
  set_write_time(t_ + "/dst/f.txt", when - 36000000000ull);  // one hour earlier
  KopexResult r = kopex({"mir", "D:\\src\\f.txt", "T:\\dst\\"}, "n\n");
  EXPECT_EQ(r.exit_code, 0);
  EXPECT_EQ(r.out.substr(0, r.out.find("\a")),
            "Replace\n\tT:\\dst\\f.txt\n\t3 Bytes\n\t13.02.1974 14:06\nwith\n"
            "\tD:\\src\\f.txt\n\t7 Bytes\n\t13.02.1974 15:06\n");
  EXPECT_NE(r.out.find("\aN=no/Y=yes/A=yes to all (Default:N) "), std::string::npos);
  EXPECT_EQ(FilesTestNetwork::read(t_ + "/dst/f.txt"), "tgt");
  EXPECT_TRUE(has_line(r.out, stat_line(1, "actions skipped")));
}

TEST_F(KopexTest, MirrorCleanupWithAndWithoutRecursion) {
  put(d_, "src/a.txt", "a");
  put(d_, "src/note.doc", "n");
  put(d_, "src/sub/b.txt", "b");
  KopexResult r = kopex({"mir", "D:\\src\\", "T:\\dst\\", "/y"});
  ASSERT_TRUE(exists(t_ + "/dst/sub/b.txt"));
  put(t_, "dst/extra.txt", "xx");
  put(t_, "dst/note.doc", "kept");  // in the source, but outside the pattern list
  put(t_, "dst/old/deep/x.txt", "x");
  put(t_, "dst/sub/gone.txt", "g");

  // upd /d without /S: only the top directory is cleaned, extra directories stay.
  r = kopex({"upd", "D:\\src\\*.txt", "T:\\dst\\", "/d", "/y"});
  EXPECT_EQ(r.exit_code, 0);
  EXPECT_FALSE(exists(t_ + "/dst/extra.txt"));
  EXPECT_TRUE(exists(t_ + "/dst/note.doc"));
  EXPECT_TRUE(exists(t_ + "/dst/old/deep/x.txt"));
  EXPECT_TRUE(exists(t_ + "/dst/sub/gone.txt"));

  r = kopex({"mir", "D:\\src\\*.txt", "T:\\dst\\", "/d", "/S", "/y"});
  EXPECT_EQ(r.exit_code, 0);
  EXPECT_TRUE(exists(t_ + "/dst/note.doc"));
  EXPECT_EQ(FilesTestNetwork::read(t_ + "/dst/note.doc"), "kept");
  EXPECT_FALSE(exists(t_ + "/dst/old"));
  EXPECT_FALSE(exists(t_ + "/dst/sub/gone.txt"));
  EXPECT_TRUE(exists(t_ + "/dst/sub/b.txt"));
  EXPECT_TRUE(has_line(r.out, "KOPEX-INFO, delete: T:\\dst\\old\\deep\\x.txt"));
  EXPECT_TRUE(has_line(r.out, "KOPEX-INFO, remove: T:\\dst\\old\\deep"));
  EXPECT_TRUE(has_line(r.out, "KOPEX-INFO, remove: T:\\dst\\old"));
  EXPECT_TRUE(has_line(r.out, stat_line(2, "files deleted")));
  EXPECT_TRUE(has_line(r.out, stat_line(2, "directories removed")));
  EXPECT_TRUE(has_line(r.out, stat_line(0, "errors detected")));
}

TEST_F(KopexTest, AttributesFollowTheSourceWhereTheyAreCompared) {
  put(d_, "src/sub/f.txt", "f");
  put(d_, "src/plain.txt", "p");
  ASSERT_EQ(nt_store_attributes(d_ + "/src/sub", FILE_ATTRIBUTE_HIDDEN), ERROR_SUCCESS);
  ASSERT_EQ(nt_store_attributes(d_ + "/src/sub/f.txt",
                                FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE),
            ERROR_SUCCESS);
  // cop gives a new target directory the source directory's attributes and
  // each copy those of its file.
  KopexResult r = kopex({"cop", "D:\\src\\", "T:\\dst\\", "/S", "/y"});
  EXPECT_EQ(r.exit_code, 0);
  EXPECT_EQ(nt_stored_attributes(t_ + "/dst/sub"), static_cast<DWORD>(FILE_ATTRIBUTE_HIDDEN));
  EXPECT_EQ(nt_stored_attributes(t_ + "/dst/sub/f.txt"),
            static_cast<DWORD>(FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE));
  EXPECT_EQ(nt_stored_attributes(t_ + "/dst/plain.txt"), 0u);
  EXPECT_TRUE(has_line(r.out, stat_line(2, "files copied")));

  // Targets whose attributes went their own way, times unchanged.
  ASSERT_EQ(nt_store_attributes(t_ + "/dst/sub/f.txt", 0), ERROR_SUCCESS);
  ASSERT_EQ(nt_store_attributes(t_ + "/dst/plain.txt", FILE_ATTRIBUTE_SYSTEM), ERROR_SUCCESS);
  ASSERT_EQ(nt_store_attributes(t_ + "/dst/sub", 0), ERROR_SUCCESS);
  // With /n, mir compares no attributes: nothing is replaced.
  r = kopex({"mir", "D:\\src\\", "T:\\dst\\", "/S", "/n", "/y"});
  EXPECT_EQ(r.exit_code, 0);
  EXPECT_EQ(r.out.find("replace attributes"), std::string::npos);
  EXPECT_EQ(nt_stored_attributes(t_ + "/dst/sub/f.txt"), 0u);
  EXPECT_EQ(nt_stored_attributes(t_ + "/dst/plain.txt"),
            static_cast<DWORD>(FILE_ATTRIBUTE_SYSTEM));
  EXPECT_TRUE(has_line(r.out, stat_line(0, "files copied")));
  // Without it the kept files and the directory take the source's again.
  r = kopex({"mir", "D:\\src\\", "T:\\dst\\", "/S", "/y"});
  EXPECT_EQ(r.exit_code, 0);
  EXPECT_TRUE(has_line(r.out, "KOPEX-INFO, replace attributes: T:\\dst\\sub\\f.txt"));
  EXPECT_TRUE(has_line(r.out, "KOPEX-INFO, replace attributes: T:\\dst\\plain.txt"));
  EXPECT_TRUE(has_line(r.out, stat_line(3, "attributes replaced")));
  EXPECT_EQ(nt_stored_attributes(t_ + "/dst/sub"), static_cast<DWORD>(FILE_ATTRIBUTE_HIDDEN));
  EXPECT_EQ(nt_stored_attributes(t_ + "/dst/sub/f.txt"),
            static_cast<DWORD>(FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE));
  EXPECT_EQ(nt_stored_attributes(t_ + "/dst/plain.txt"), 0u);
  // A second run finds nothing to do.
  r = kopex({"mir", "D:\\src\\", "T:\\dst\\", "/S", "/y"});
  EXPECT_EQ(r.out.find("replace attributes"), std::string::npos);
}

TEST_F(KopexTest, AccessTimesAreShownAndTestedWhenAsked) {
  put(d_, "acc/old.txt", "o");
  put(d_, "acc/new.txt", "n");
  struct timespec times[2];
  times[0].tv_sec = 1583298367;  // 04.03.2020 05:06:07 UTC
  times[0].tv_nsec = 0;
  times[1].tv_sec = 0;
  times[1].tv_nsec = UTIME_OMIT;
  ASSERT_EQ(utimensat(AT_FDCWD, (d_ + "/acc/old.txt").c_str(), times, 0), 0);
  // Shown by ~L, with the write time beside it.
  KopexResult r = kopex({"sho", "D:\\acc\\old.txt", "~F~N ~L"});
  EXPECT_EQ(r.exit_code, 0);
  EXPECT_TRUE(has_line(r.out, "old.txt 04.03.2020 05:06")) << r.out;
  // Tested by -L (upper bound) and +L (lower bound) without being shown.
  r = kopex({"sho", "D:\\acc\\", "~F~N", "-L01.01.2021"});
  EXPECT_TRUE(has_line(r.out, "old.txt"));
  EXPECT_FALSE(has_line(r.out, "new.txt"));
  r = kopex({"sho", "D:\\acc\\", "~F~N", "+L01.01.2021"});
  EXPECT_FALSE(has_line(r.out, "old.txt"));
  EXPECT_TRUE(has_line(r.out, "new.txt"));
  // A format without ~L still shows the other times.
  r = kopex({"sho", "D:\\acc\\old.txt", "~F~N ~C"});
  EXPECT_FALSE(has_line(r.out, "old.txt 04.03.2020 05:06"));
  EXPECT_EQ(lines(r.out).front().rfind("old.txt ", 0), 0u) << r.out;
}

TEST_F(KopexTest, FullNameListStopsTheDirectoryWithoutCleanup) {
  // 20,479 files with "." and ".." are 20,481 names: one more than the
  // cleanup's name list holds. The pattern selects none of them, so only
  // the listing and its name list are at work.
  mkdir((d_ + "/many").c_str(), 0755);
  for (int i = 0; i < 20479; ++i) {
    FILE* f = std::fopen((d_ + "/many/f" + std::to_string(i)).c_str(), "w");
    ASSERT_NE(f, nullptr);
    std::fclose(f);
  }
  put(t_, "many/extra.txt", "x");
  KopexResult r = kopex({"upd", "D:\\many\\*.none", "T:\\many\\", "/d", "/y"});
  EXPECT_EQ(r.exit_code, 0);
  EXPECT_EQ(r.err, "KOPEX-ERROR, filename buffer exceeded\n");
  EXPECT_TRUE(exists(t_ + "/many/extra.txt"));

  // One name less and the cleanup runs.
  ASSERT_EQ(unlink((d_ + "/many/f0").c_str()), 0);
  r = kopex({"upd", "D:\\many\\*.none", "T:\\many\\", "/d", "/y"});
  EXPECT_EQ(r.err, "");
  EXPECT_FALSE(exists(t_ + "/many/extra.txt"));
}

TEST_F(KopexTest, CreatingATargetTreeReportsMissingParents) {
  put(d_, "src/a.txt", "a");
  KopexResult r = kopex({"cop", "D:\\src\\", "T:\\a\\b\\c\\"}, "y\ny\ny\ny\n");
  EXPECT_EQ(r.exit_code, 0);
  EXPECT_EQ(r.err,
            "KOPEX-ERROR, DirExists(T:\\a\\b\\c\\) failed, error=3\n"
            "KOPEX-ERROR, DirExists(T:\\a\\b) failed, error=3\n");
  const size_t a = r.out.find("Create T:\\a ?\n");
  const size_t b = r.out.find("Create T:\\a\\b ?\n");
  const size_t c = r.out.find("Create T:\\a\\b\\c\\ ?\n");
  ASSERT_NE(a, std::string::npos);
  ASSERT_NE(b, std::string::npos);
  ASSERT_NE(c, std::string::npos);
  EXPECT_LT(a, b);
  EXPECT_LT(b, c);
  EXPECT_TRUE(exists(t_ + "/a/b/c/a.txt"));
  EXPECT_TRUE(has_line(r.out, stat_line(3, "directories created")));

  // A "no" at a creation question ends the run with an error code and
  // creates nothing below.
  r = kopex({"cop", "D:\\src\\", "T:\\n1\\n2\\"}, "y\nn\n");
  EXPECT_NE(r.exit_code, 0);
  EXPECT_TRUE(exists(t_ + "/n1"));
  EXPECT_FALSE(exists(t_ + "/n1/n2"));
}

TEST_F(KopexTest, DeleteTakesOwnershipOfReadOnlyFiles) {
  put(d_, "ro/r.txt", "abc");
  KopexResult r = kopex({"set", "D:\\ro\\r.txt", "/aR...", "/y"});
  ASSERT_EQ(r.exit_code, 0);
  r = kopex({"del", "D:\\ro\\r.txt"}, "y\ny\n");
  EXPECT_EQ(r.exit_code, 0);
  EXPECT_FALSE(exists(d_ + "/ro/r.txt"));
  EXPECT_NE(r.out.find("Remove protection from D:\\ro\\r.txt ?\n"), std::string::npos);
  EXPECT_TRUE(contains(r.out, "ASEC-INFO, took ownership of D:\\ro\\r.txt\n"));
  EXPECT_TRUE(has_line(r.out, stat_line(1, "files deleted")));
  EXPECT_TRUE(has_line(r.out, stat_line(1, "files taken")));
  EXPECT_TRUE(has_line(r.out, stat_line(0, "errors detected")));

  // Refusing the protection question: the delete fails with access denied.
  put(d_, "ro/s.txt", "abc");
  kopex({"set", "D:\\ro\\s.txt", "/aR...", "/y"});
  r = kopex({"del", "D:\\ro\\s.txt"}, "y\nn\n");
  EXPECT_TRUE(exists(d_ + "/ro/s.txt"));
  EXPECT_EQ(r.err, "KOPEX-ERROR, cannot delete 'D:\\ro\\s.txt', error=5\n");
  EXPECT_TRUE(has_line(r.out, stat_line(0, "actions skipped")));
  EXPECT_TRUE(has_line(r.out, stat_line(1, "errors detected")));
}

TEST_F(KopexTest, AnswerForAllIsPerKindOfQuestion) {
  put(d_, "old/a.txt", "1");
  put(d_, "old/b.txt", "2");
  put(d_, "old/sub/c.txt", "3");
  // "A" at the first delete: no more delete questions; each removal asks.
  KopexResult r = kopex({"del", "D:\\old\\"}, "a\ny\ny\n");
  EXPECT_EQ(r.exit_code, 0);
  EXPECT_FALSE(exists(d_ + "/old"));
  size_t deletes = 0, removes = 0;
  for (size_t p = r.out.find("Delete "); p != std::string::npos; p = r.out.find("Delete ", p + 1)) {
    ++deletes;
  }
  for (size_t p = r.out.find("Remove "); p != std::string::npos; p = r.out.find("Remove ", p + 1)) {
    ++removes;
  }
  EXPECT_EQ(deletes, 1u);
  EXPECT_EQ(removes, 2u);
  EXPECT_TRUE(has_line(r.out, stat_line(3, "files deleted")));
  EXPECT_TRUE(has_line(r.out, stat_line(2, "directories removed")));

  // With a file pattern, directories go only when they end up empty, and
  // the root never.
  put(d_, "old2/a.tmp", "1");
  put(d_, "old2/keep.txt", "1");
  put(d_, "old2/s1/b.tmp", "1");
  put(d_, "old2/s2/c.tmp", "1");
  put(d_, "old2/s2/d.txt", "1");
  r = kopex({"del", "D:\\old2\\*.tmp", "/S", "/E", "/y"});
  EXPECT_TRUE(exists(d_ + "/old2/keep.txt"));
  EXPECT_FALSE(exists(d_ + "/old2/s1"));
  EXPECT_TRUE(exists(d_ + "/old2/s2/d.txt"));
  EXPECT_TRUE(has_line(r.err, "KOPEX-ERROR, cannot remove D:\\old2\\s2, error=145"));
  EXPECT_TRUE(has_line(r.out, stat_line(1, "directories removed")));
}

TEST_F(KopexTest, SetAttributesAndQuestions) {
  put(d_, "s/f.txt", "1");
  put(d_, "s/g.txt", "1");
  ASSERT_EQ(kopex({"set", "D:\\s\\f.txt", "/a.HS.", "/y"}).exit_code, 0);
  KopexResult r = kopex({"sho", "D:\\s\\f.txt", "~F~a"});
  EXPECT_EQ(r.out, ".HS...\n");
  r = kopex({"set", "D:\\s\\f.txt", "/aR.?A", "/y"});
  EXPECT_TRUE(has_line(r.out, "KOPEX-INFO, set: D:\\s\\f.txt"));
  EXPECT_TRUE(has_line(r.out, stat_line(1, "files set")));
  r = kopex({"sho", "D:\\s\\f.txt", "~F~a"});
  EXPECT_EQ(r.out, "R.SA..\n");

  // -a criteria select by the attribute string.
  r = kopex({"sho", "D:\\s\\*", "-a*S*", "~F~N"});
  EXPECT_EQ(r.out, "f.txt\n");
  r = kopex({"sho", "D:\\s\\", "-a?????D", "~F~N"});
  EXPECT_EQ(r.out, "");

  // Without any change option set still asks and prints its line; "n"
  // leaves the entry and is no skipped action; "A" answers the rest.
  r = kopex({"set", "D:\\s\\*.txt"}, "n\na\n");
  EXPECT_NE(r.out.find("Set D:\\s\\f.txt ?\n"), std::string::npos);
  EXPECT_FALSE(has_line(r.out, "KOPEX-INFO, set: D:\\s\\f.txt"));
  EXPECT_TRUE(contains(r.out, "KOPEX-INFO, set: D:\\s\\g.txt\n"));
  EXPECT_TRUE(has_line(r.out, stat_line(2, "files set")));
  EXPECT_TRUE(has_line(r.out, stat_line(0, "actions skipped")));

  // A directory gets the setdir line.
  put(d_, "s/dir/x.txt", "1");
  r = kopex({"set", "D:\\s\\d*", "/y"});
  EXPECT_TRUE(has_line(r.out, "KOPEX-INFO, setdir: D:\\s\\dir"));
}

TEST_F(KopexTest, OwnersAndAccessControlEntries) {
  put(d_, "sec/a.txt", "aa");
  put(d_, "sec/b.txt", "bbb");
  KopexResult r = kopex({"set", "D:\\sec\\a.txt", "/gBUILTIN\\Administrators:F Everyone:R", "/y"});
  EXPECT_EQ(r.exit_code, 0) << r.err;
  EXPECT_TRUE(has_line(r.out, "KOPEX-INFO, set: D:\\sec\\a.txt")) << r.out << r.err;

  r = kopex({"sho", "D:\\sec\\a.txt", "~F~N ~T", "~g~u:~g"});
  EXPECT_EQ(r.out, "a.txt 2\nAdministrators:F\nEveryone:R\n") << r.err;

  // One owner line for files of the same owner, after all file lines.
  r = kopex({"sho", "D:\\sec\\*.txt", "~F~N", "~o~i ~o ~T ~s", "~T~o ~T"});
  EXPECT_EQ(r.out, "a.txt\nb.txt\n0 BUILTIN\\Administrators 2 5\n1 2\n") << r.err;

  // -o selects by owner; -T by the number of ACEs.
  r = kopex({"sho", "D:\\sec\\*.txt", "-o*\\Nobody", "~F~N"});
  EXPECT_EQ(r.out, "");
  r = kopex({"sho", "D:\\sec\\*.txt", "-T2", "~F~N"});
  EXPECT_EQ(r.out, "a.txt\n");

  // A new owner with placeholders.
  r = kopex({"set", "D:\\sec\\b.txt", "/oEveryone", "/y"});
  EXPECT_TRUE(has_line(r.out, "KOPEX-INFO, changing owner from BUILTIN\\Administrators to Everyone"))
      << r.out << r.err;
  r = kopex({"sho", "D:\\sec\\b.txt", "~F~o"});
  EXPECT_EQ(r.out, "\\Everyone\n");
}

TEST_F(KopexTest, NamesOutsideAsciiGoOutInTheOemPage) {
  net_.env().pages("1252", "850");
  put(d_, "n/caf\xc3\xa9.txt", "1");
  KopexResult r = kopex({"sho", "D:\\n\\*.txt", "~F~N"});
  EXPECT_EQ(r.out, "caf\x82.txt\n");
  r = kopex({"sho", "D:\\n\\*.txt", "~F~N", "/A"});
  EXPECT_EQ(r.out, "caf\xe9.txt\n");
}

TEST_F(KopexTest, KilledCopyLeavesNoPartialFileAndARerunFinishes) {
  // A file large enough that the copy is still running when it is killed.
  const std::string big = d_ + "/big/huge.bin";
  put(d_, "big/small.txt", "s");
  {
    std::string block(1 << 20, 'x');
    FILE* f = std::fopen(big.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    for (int i = 0; i < 256; ++i) std::fwrite(block.data(), 1, block.size(), f);
    std::fclose(f);
  }
  KopexChild child = start_kopex({"mir", "D:\\big\\", "T:\\big\\", "/y"}, "", d_);
  // Killed once the target directory is there, while the data moves (on a
  // file system that clones files the copy may already be complete).
  for (int i = 0; i < 2000 && !exists(t_ + "/big"); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  kill(child.pid, SIGKILL);
  finish_kopex(child);
  struct stat st;
  if (stat((t_ + "/big/huge.bin").c_str(), &st) == 0) {
    EXPECT_EQ(st.st_size, 256 << 20);  // only whole files carry the name
  }
  KopexResult r = kopex({"mir", "D:\\big\\", "T:\\big\\", "/y"});
  EXPECT_EQ(r.exit_code, 0);
  ASSERT_EQ(stat((t_ + "/big/huge.bin").c_str(), &st), 0);
  EXPECT_EQ(st.st_size, 256 << 20);
  EXPECT_TRUE(exists(t_ + "/big/small.txt"));
  // No temporary names are left over.
  r = kopex({"sho", "T:\\big\\*", "~F~N"});
  EXPECT_EQ(r.out, "huge.bin\nsmall.txt\n");

  // A replacement killed half way leaves the old file whole (or the new
  // one, when it was done), and a second run replaces it.
  put(t_, "big/huge.bin", "old");
  set_write_time(t_ + "/big/huge.bin", 130000000000000000ull);
  child = start_kopex({"mir", "D:\\big\\", "T:\\big\\", "/y"}, "", d_);
  std::this_thread::sleep_for(std::chrono::milliseconds(30));
  kill(child.pid, SIGKILL);
  finish_kopex(child);
  ASSERT_EQ(stat((t_ + "/big/huge.bin").c_str(), &st), 0);
  EXPECT_TRUE(st.st_size == 3 || st.st_size == (256 << 20)) << st.st_size;
  r = kopex({"mir", "D:\\big\\", "T:\\big\\", "/y"});
  EXPECT_EQ(r.exit_code, 0);
  ASSERT_EQ(stat((t_ + "/big/huge.bin").c_str(), &st), 0);
  EXPECT_EQ(st.st_size, 256 << 20);
  r = kopex({"sho", "T:\\big\\*", "~F~N"});
  EXPECT_EQ(r.out, "huge.bin\nsmall.txt\n");
}

}  // namespace
