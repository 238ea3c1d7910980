#include "vexa32/mirror.h"

#include <gtest/gtest.h>

#include "platform/files/file_info.h"
#include "platform/user/message_box.h"
#include "vexa32/vexa32_test_env.h"

namespace {

class MirrorTest : public testing::Test {
 protected:
  void SetUp() override {
    ini_ = net_.root() + "/agent/Vexa32.INI";
    settings_.ask = 30;
  }
  void write_ini(const std::string& mirror_section) {
    VexaTestNetwork::write(ini_, "[Vexa]\n[MIRROR]\n" + mirror_section);
  }
  std::string srv(const std::string& path) const { return net_.host("SRV", "home/tester/" + path); }
  std::string ws(const std::string& path) const { return net_.host("WS1", path); }
  void file(const std::string& host, const std::string& text, long seconds, long nanos = 0) {
    VexaTestNetwork::write(host, text);
    VexaTestNetwork::set_time(host, seconds, nanos);
  }
  void run(MirrorDirection direction) {
    Mirror mirror(ui_, settings_);
    mirror.run(ini_, direction);
    errors_ = mirror.errors();
  }

  VexaTestNetwork net_;
  std::string ini_;
  VexaSettings settings_;
  FakeMirrorUi ui_;
  long errors_ = 0;
};

const char kRule[] = "\\\\SRV\\home\\%USERNAME%\\data=C:\\data/S,*.doc,!~*\n";

TEST_F(MirrorTest, RuleCopiesNewerFilesBothWays) {
  write_ini(kRule);
  file(srv("data/a.doc"), "alpha", 100);
  file(srv("data/~a.doc"), "tilde", 100);
  file(srv("data/notes.txt"), "notes", 100);
  file(srv("data/~notes.txt"), "notes", 100);
  file(srv("data/sub/b.doc"), "beta!", 100);
  run(MirrorDirection::out);
  EXPECT_EQ(ui_.confirms, 1);
  EXPECT_EQ(ui_.last_ask, 30);
  EXPECT_FALSE(ui_.last_copy_on_timeout);
  // "*.doc" comes first, so it also takes the file with a tilde.
  EXPECT_EQ(ui_.last_message, "There are 3 files more recent\n15 bytes to copy");
  EXPECT_EQ(VexaTestNetwork::read(ws("data/a.doc")), "alpha");
  EXPECT_EQ(VexaTestNetwork::read(ws("data/~a.doc")), "tilde");
  EXPECT_EQ(VexaTestNetwork::read(ws("data/sub/b.doc")), "beta!");
  EXPECT_FALSE(VexaTestNetwork::exists(ws("data/notes.txt")));
  EXPECT_FALSE(VexaTestNetwork::exists(ws("data/~notes.txt")));
  EXPECT_EQ(ui_.opened, 1);
  EXPECT_TRUE(ui_.bar);
  EXPECT_EQ(ui_.closed, 1);
  ASSERT_EQ(ui_.files.size(), 3u);
  EXPECT_EQ(ui_.files[0], "5 bytes\n" + std::string("\\\\SRV\\home\\tester\\data\\sub\\b.doc"));
  EXPECT_EQ(ui_.statuses[0], "0 % finished\n0 of 3 files\n0 of 15 bytes\n0 errors");
  EXPECT_EQ(ui_.statuses[2], "67 % finished\n2 of 3 files\n10 of 15 bytes\n0 errors");
  EXPECT_EQ(ui_.percents, (std::vector<int>{0, 33, 66}));
  EXPECT_EQ(ui_.directories[0], "");
  EXPECT_EQ(errors_, 0);
  EXPECT_TRUE(net_.boxes().empty());

  // Nothing changed: nothing to ask.
  ui_ = FakeMirrorUi();
  run(MirrorDirection::out);
  EXPECT_EQ(ui_.confirms, 0);

  // At the end of the session the changed file goes back to the server.
  file(ws("data/sub/b.doc"), "BETA changed", 200);
  run(MirrorDirection::back);
  EXPECT_EQ(ui_.confirms, 1);
  EXPECT_EQ(ui_.last_message, "There are 1 files more recent\n12 bytes to copy");
  EXPECT_EQ(VexaTestNetwork::read(srv("data/sub/b.doc")), "BETA changed");
  EXPECT_EQ(VexaTestNetwork::read(srv("data/a.doc")), "alpha");

  // Cancel in the confirmation copies nothing.
  ui_ = FakeMirrorUi();
  ui_.answer = false;
  file(ws("data/a.doc"), "new alpha", 300);
  run(MirrorDirection::back);
  EXPECT_EQ(ui_.confirms, 1);
  EXPECT_EQ(ui_.opened, 0);
  EXPECT_EQ(VexaTestNetwork::read(srv("data/a.doc")), "alpha");
}

TEST_F(MirrorTest, NewerTargetIsAskedOncePerRun) {
  write_ini("C:\\src=C:\\dst\n");
  file(ws("src/x.doc"), "x", 100);
  file(ws("src/y.doc"), "y", 100);
  file(ws("src/z.doc"), "z", 100);
  file(ws("dst/x.doc"), "newer x", 200);
  file(ws("dst/y.doc"), "newer y", 200);
  net_.env().set("NT_MESSAGE_BOX_ANSWERS", "no,yes");
  run(MirrorDirection::out);
  std::vector<std::string> boxes = net_.boxes();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].rfind("Warning|C:\\\\dst\\\\", 0), 0u) << boxes[0];
  EXPECT_NE(boxes[0].find(" is newer than the source file !\\nOverwrite all newer files ?|34"),
            std::string::npos)
      << boxes[0];
  // "No" holds for both newer files; the missing one is copied.
  EXPECT_EQ(ui_.last_message, "There are 1 files more recent\n1 bytes to copy");
  EXPECT_EQ(VexaTestNetwork::read(ws("dst/x.doc")), "newer x");
  EXPECT_EQ(VexaTestNetwork::read(ws("dst/y.doc")), "newer y");
  EXPECT_EQ(VexaTestNetwork::read(ws("dst/z.doc")), "z");

  // The next run asks again, and "yes" overwrites both.
  net_.clear_boxes();
  run(MirrorDirection::out);
  EXPECT_EQ(net_.boxes().size(), 1u);
  EXPECT_EQ(VexaTestNetwork::read(ws("dst/x.doc")), "x");
  EXPECT_EQ(VexaTestNetwork::read(ws("dst/y.doc")), "y");
}

TEST_F(MirrorTest, TimesCompareInUnitsOf4096) {
  write_ini("C:\\src=C:\\dst\n");
  // FILETIME of 2020-01-01 plus 1000 s, and the step to the next multiple of 4096.
  const unsigned long long base = (1577836800ULL + 1000 + 11644473600ULL) * 10000000ULL;
  const long step = static_cast<long>((4096 - base % 4096) % 4096);
  file(ws("src/same.doc"), "source", 1000, (step + 10) * 100);
  file(ws("dst/same.doc"), "target", 1000, (step + 4000) * 100);
  file(ws("src/later.doc"), "source", 1000, (step + 4096 + 10) * 100);
  file(ws("dst/later.doc"), "target", 1000, (step + 4000) * 100);
  WIN32_FILE_ATTRIBUTE_DATA a, b;
  ASSERT_TRUE(GetFileAttributesExA("C:\\src\\same.doc", GetFileExInfoStandard, &a));
  ASSERT_TRUE(GetFileAttributesExA("C:\\dst\\same.doc", GetFileExInfoStandard, &b));
  EXPECT_NE(a.ftLastWriteTime.dwLowDateTime, b.ftLastWriteTime.dwLowDateTime);
  EXPECT_EQ(coarse_write_time(a.ftLastWriteTime), coarse_write_time(b.ftLastWriteTime));
  run(MirrorDirection::out);
  EXPECT_TRUE(net_.boxes().empty());
  EXPECT_EQ(VexaTestNetwork::read(ws("dst/same.doc")), "target");
  EXPECT_EQ(VexaTestNetwork::read(ws("dst/later.doc")), "source");
}

TEST_F(MirrorTest, FailuresAreReportedAndCounted) {
  settings_.errors = true;
  VexaTestNetwork::write(ws("blocker"), "a file");
  write_ini(
      "C:\\nosource=C:\\made\n"
      "C:\\notarget=/S,*.doc\n"
      "C:\\src=C:\\blocker\\sub\n"
      "C:\\src2=C:\\dst2\n");
  file(ws("src/a.doc"), "a", 100);
  file(ws("src2/dir.doc"), "d", 100);
  mkdir(ws("dst2").c_str(), 0755);
  mkdir(ws("dst2/dir.doc").c_str(), 0755);
  testing::internal::CaptureStderr();
  run(MirrorDirection::out);
  std::string err = testing::internal::GetCapturedStderr();
  EXPECT_NE(err.find("KOPEX-ERROR, cannot create C:\\blocker\\sub\\, error="), std::string::npos)
      << err;
  std::vector<std::string> boxes = net_.boxes();
  ASSERT_EQ(boxes.size(), 4u);
  EXPECT_EQ(boxes[0], "Vexa32 V2.2|ERROR, cannot go to C:\\\\nosource\\\\, error=2\\n|10");
  EXPECT_EQ(boxes[1], "Vexa32 V2.2|No mirror target given for C:\\\\notarget|10");
  // The listed file whose target folder could not be made fails at the copy.
  EXPECT_EQ(boxes[3].rfind("Vexa32 V2.2|ERROR, cannot copy C:\\\\src\\\\a.doc to "
                           "C:\\\\blocker\\\\sub\\\\a.doc, error=", 0),
            0u)
      << boxes[3];
  EXPECT_EQ(boxes[2],
            "Vexa32 V2.2|ERROR, cannot copy C:\\\\src2\\\\dir.doc, C:\\\\dst2\\\\dir.doc is a "
            "directory\\n|10");
  // The target of a missing source is still made.
  EXPECT_TRUE(VexaTestNetwork::exists(ws("made")));
  EXPECT_GE(errors_, 2);

  // Without Errors a source that cannot be entered is only counted.
  settings_.errors = false;
  net_.clear_boxes();
  write_ini("C:\\nosource=C:\\made\n");
  run(MirrorDirection::out);
  EXPECT_TRUE(net_.boxes().empty());
  EXPECT_EQ(errors_, 1);
}

TEST_F(MirrorTest, AskZeroCopiesAtOnce) {
  settings_.ask = 0;
  settings_.allow_cancel = false;
  write_ini("C:\\src=C:\\dst\n");
  file(ws("src/a.doc"), "aaaa", 100);
  file(ws("src/b.doc"), "bb", 100);
  file(ws("dst/b.doc"), "old", 50);
  SetFileAttributesA("C:\\dst\\b.doc", FILE_ATTRIBUTE_READONLY);
  run(MirrorDirection::out);
  EXPECT_EQ(ui_.confirms, 0);
  EXPECT_EQ(ui_.opened, 1);
  EXPECT_FALSE(ui_.bar);
  EXPECT_FALSE(ui_.cancel_enabled);
  EXPECT_EQ(ui_.closed, 1);
  ASSERT_EQ(ui_.files.size(), 2u);
  EXPECT_EQ(ui_.files[0], "4 bytes\na.doc");
  EXPECT_EQ(ui_.directories[0], "C:\\src\\");
  EXPECT_EQ(ui_.statuses, (std::vector<std::string>{"0 errors", "0 errors"}));
  EXPECT_EQ(VexaTestNetwork::read(ws("dst/a.doc")), "aaaa");
  EXPECT_EQ(VexaTestNetwork::read(ws("dst/b.doc")), "old");
  std::vector<std::string> boxes = net_.boxes();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0],
            "Vexa32 V2.2|ERROR, cannot copy C:\\\\src\\\\b.doc to C:\\\\dst\\\\b.doc, "
            "error=5\\n|10");
  EXPECT_EQ(errors_, 1);
}

TEST_F(MirrorTest, CancelStopsAfterTheCurrentFile) {
  write_ini("C:\\src=C:\\dst\n");
  file(ws("src/1.doc"), "1", 100);
  file(ws("src/2.doc"), "2", 100);
  file(ws("src/3.doc"), "3", 100);
  ui_.cancel_after = 1;
  run(MirrorDirection::out);
  int copied = 0;
  for (const char* name : {"dst/1.doc", "dst/2.doc", "dst/3.doc"})
    copied += VexaTestNetwork::exists(ws(name));
  EXPECT_EQ(copied, 1);
  EXPECT_EQ(ui_.files.size(), 1u);
}

TEST(MirrorTexts, StatusAndConfirmation) {
  NlsEnv env;
  env.lang("en_US.UTF-8");
  EXPECT_EQ(progress_status(0, 0, 0, 0, 0),
            "100 % finished\n0 of 0 files\n0 of 0 bytes\n0 errors");
  EXPECT_EQ(progress_status(0, 1, 4, 0, 2), "25 % finished\n1 of 4 files\n0 of 0 bytes\n2 errors");
  EXPECT_EQ(progress_status(1500, 1, 2, 3000, 0),
            "50 % finished\n1 of 2 files\n1500 of 3000 bytes\n0 errors");
  EXPECT_EQ(confirm_message(1234, 5678901.0),
            "There are 1,234 files more recent\n5,678,901 bytes to copy");
}

}  // namespace
