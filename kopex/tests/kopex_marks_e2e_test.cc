// kopex end to end on a network whose files carry the attribute mark: the
// mirror reads the attributes of marked files only, and must still keep
// every attribute of source and target in step.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <time.h>

#include <string>
#include <vector>

#include "kopex/tests/run_kopex.h"
#include "platform/files/attribute_marks.h"
#include "platform/files/file_info.h"
#include "platform/files/files_test_env.h"

namespace {

class KopexMarksTest : public ::testing::Test {
 protected:
  void SetUp() override {
    net_.env()
        .set("TZ", "UTC")
        .set("LC_ALL", nullptr)
        .set("LANG", "C")
        .set("SERVERLIST", nullptr)
        .set("QX_DATE_FORMAT", nullptr)
        .set("QX_TIME_FORMAT", nullptr);
    tzset();
    d_ = net_.folder("d");
    t_ = net_.folder("t");
    net_.map('D', d_);
    net_.map('T', t_);
    ASSERT_EQ(nt_network_enable_attribute_marks(net_.root()), static_cast<DWORD>(ERROR_SUCCESS));
    ASSERT_TRUE(nt_attribute_marks_trusted());
  }

  KopexResult mir(std::vector<std::string> extra = {}) {
    std::vector<std::string> args = {"mir", "D:\\src\\", "T:\\dst\\", "/S", "/d", "/y"};
    args.insert(args.end(), extra.begin(), extra.end());
    return run_kopex(args, "", d_);
  }

  static bool marked(const std::string& host) {
    struct stat st;
    return stat(host.c_str(), &st) == 0 && (st.st_mode & NT_ATTRIBUTE_MARK) != 0;
  }
  static size_t count(const std::string& text, const std::string& part) {
    size_t n = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
    return n;
  }

  FilesTestNetwork net_;
  std::string d_, t_;
};

TEST_F(KopexMarksTest, MirrorKeepsAttributesInStepReadingMarkedFilesOnly) {
  net_.folder("d/src/sub");
  FilesTestNetwork::write(d_ + "/src/plain.txt", "p");
  FilesTestNetwork::write(d_ + "/src/hidden.txt", "h");
  FilesTestNetwork::write(d_ + "/src/sub/ro.txt", "r");
  FilesTestNetwork::write(d_ + "/src/old.txt", "o");
  ASSERT_EQ(nt_store_attributes(d_ + "/src/hidden.txt", FILE_ATTRIBUTE_HIDDEN), ERROR_SUCCESS);
  ASSERT_EQ(nt_store_attributes(d_ + "/src/sub/ro.txt",
                                FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE),
            ERROR_SUCCESS);
  ASSERT_EQ(nt_store_attributes(d_ + "/src/sub", FILE_ATTRIBUTE_SYSTEM), ERROR_SUCCESS);
  // Written before marks, then brought over as an upgraded network does.
  ASSERT_EQ(setxattr((d_ + "/src/old.txt").c_str(), NT_ATTRIB_XATTR, "S", 1, 0), 0);
  unsigned long brought = 0;
  ASSERT_EQ(nt_mark_attribute_files(d_ + "/src", &brought), static_cast<DWORD>(ERROR_SUCCESS));
  EXPECT_EQ(brought, 1u);

  KopexResult r = mir();
  EXPECT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(nt_stored_attributes(t_ + "/dst/hidden.txt"), static_cast<DWORD>(FILE_ATTRIBUTE_HIDDEN));
  EXPECT_EQ(nt_stored_attributes(t_ + "/dst/sub/ro.txt"),
            static_cast<DWORD>(FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE));
  EXPECT_EQ(nt_stored_attributes(t_ + "/dst/old.txt"), static_cast<DWORD>(FILE_ATTRIBUTE_SYSTEM));
  EXPECT_EQ(nt_stored_attributes(t_ + "/dst/sub"), static_cast<DWORD>(FILE_ATTRIBUTE_SYSTEM));
  EXPECT_TRUE(marked(t_ + "/dst/hidden.txt"));
  EXPECT_TRUE(marked(t_ + "/dst/old.txt"));
  EXPECT_FALSE(marked(t_ + "/dst/plain.txt"));
  EXPECT_FALSE(marked(t_ + "/dst/sub"));

  // Nothing changed: nothing to do.
  r = mir();
  EXPECT_EQ(count(r.out, "KOPEX-INFO"), 0u) << r.out;

  // Targets whose attributes went their own way, in both directions, and a
  // stray mark without an attribute (costs a read, changes nothing).
  ASSERT_EQ(nt_store_attributes(t_ + "/dst/plain.txt", FILE_ATTRIBUTE_HIDDEN), ERROR_SUCCESS);
  ASSERT_EQ(nt_store_attributes(t_ + "/dst/hidden.txt", 0), ERROR_SUCCESS);
  ASSERT_EQ(nt_store_attributes(t_ + "/dst/sub/ro.txt", FILE_ATTRIBUTE_READONLY), ERROR_SUCCESS);
  ASSERT_EQ(nt_store_attributes(t_ + "/dst/sub", 0), ERROR_SUCCESS);
  ASSERT_EQ(nt_store_attributes(t_ + "/dst/old.txt", 0), ERROR_SUCCESS);
  ASSERT_EQ(nt_store_attributes(d_ + "/src/old.txt", 0), ERROR_SUCCESS);
  ASSERT_EQ(chmod((t_ + "/dst/old.txt").c_str(), 01644), 0);

  r = mir();
  EXPECT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(count(r.out, "KOPEX-INFO, replace attributes: "), 4u) << r.out;
  EXPECT_EQ(r.out.find("replace attributes: T:\\dst\\old.txt"), std::string::npos);
  EXPECT_EQ(nt_stored_attributes(t_ + "/dst/plain.txt"), 0u);
  EXPECT_FALSE(marked(t_ + "/dst/plain.txt"));
  EXPECT_EQ(nt_stored_attributes(t_ + "/dst/hidden.txt"), static_cast<DWORD>(FILE_ATTRIBUTE_HIDDEN));
  EXPECT_TRUE(marked(t_ + "/dst/hidden.txt"));
  EXPECT_EQ(nt_stored_attributes(t_ + "/dst/sub/ro.txt"),
            static_cast<DWORD>(FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE));
  EXPECT_EQ(nt_stored_attributes(t_ + "/dst/sub"), static_cast<DWORD>(FILE_ATTRIBUTE_SYSTEM));

  // The read-only target is still protected: a changed source replaces it
  // only after the protection is removed.
  FilesTestNetwork::write(d_ + "/src/sub/ro.txt", "newer");
  struct timespec later[2] = {{0, UTIME_OMIT}, {2000000000, 0}};
  ASSERT_EQ(utimensat(AT_FDCWD, (d_ + "/src/sub/ro.txt").c_str(), later, 0), 0);
  r = mir();
  EXPECT_EQ(r.exit_code, 0) << r.err;
  EXPECT_NE(r.out.find("KOPEX-INFO, replace: T:\\dst\\sub\\ro.txt"), std::string::npos) << r.out;
  EXPECT_EQ(FilesTestNetwork::read(t_ + "/dst/sub/ro.txt"), "newer");
  EXPECT_EQ(nt_stored_attributes(t_ + "/dst/sub/ro.txt"),
            static_cast<DWORD>(FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE));
}

}  // namespace
