// Runs the built resource compiler as the build does.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>

#include "platform/resource/rc_parser.h"
#include "platform/resource/resource_blob.h"

namespace {

class RescompTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* bin = getenv("NT_TEST_BIN");
    if (bin == nullptr) GTEST_SKIP() << "NT_TEST_BIN is not set (CTest sets it)";
    rescomp_ = std::string(bin) + "/rescomp";
    char dir[] = "/tmp/rescomp_testXXXXXX";
    ASSERT_NE(nullptr, mkdtemp(dir));
    dir_ = dir;
  }
  void TearDown() override {
    if (!dir_.empty()) system(("rm -rf '" + dir_ + "'").c_str());
  }

  void write_file(const std::string& name, const std::string& text) {
    std::ofstream(dir_ + "/" + name, std::ios::binary) << text;
  }
  std::string read_file(const std::string& name) {
    std::ifstream in(dir_ + "/" + name, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  }
  bool exists(const std::string& name) { return access((dir_ + "/" + name).c_str(), F_OK) == 0; }

  // Runs rescomp with `args` in the test directory; stderr and stdout go to
  // files "err" and "out".
  int run(const std::string& args) {
    std::string command =
        "cd '" + dir_ + "' && '" + rescomp_ + "' " + args + " >out 2>err";
    int status = system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

  // The bytes of the array in a generated source.
  static std::vector<uint8_t> bytes_of(const std::string& source) {
    std::vector<uint8_t> bytes;
    size_t at = source.find("= {");
    size_t end = source.find("};", at);
    for (size_t p = source.find("0x", at); p < end; p = source.find("0x", p + 4)) {
      bytes.push_back(static_cast<uint8_t>(std::stoul(source.substr(p + 2, 2), nullptr, 16)));
    }
    return bytes;
  }

  std::string rescomp_;
  std::string dir_;
};

TEST_F(RescompTest, CompiledBlobMatchesTheResourceFile) {
  const std::string rc =
      "STRINGTABLE\n{\n  1 \"@Fzeb\\0\\0\\0\"\n  6 \"usage\\n\"\n    \"more\\n\"\n}\n"
      "MESSAGETABLE\n{\n  0xC0008000 \"API-call returned error %1%nCall=%2 \"\n}\n"
      "VERSION \"1.1.0.251\"\n";
  write_file("zeb.rc", rc);
  ASSERT_EQ(0, run("zeb.rc zeb_resources.cc")) << read_file("err");
  std::string source = read_file("zeb_resources.cc");
  EXPECT_NE(std::string::npos, source.find("section(\".ntrsrc\")"));
  EXPECT_FALSE(exists("zeb_resources.cc.tmp"));

  std::vector<uint8_t> bytes = bytes_of(source);
  ResourceBlob blob;
  ASSERT_TRUE(blob.parse(bytes.data(), bytes.size()));
  std::vector<ResourceEntry> entries;
  std::string error;
  ASSERT_TRUE(parse_resource_file(rc, "zeb.rc", &entries, &error));
  EXPECT_EQ(serialize_resources(entries), bytes);
  std::string_view text;
  ASSERT_TRUE(blob.find(RESOURCE_STRING, 6, &text));
  EXPECT_EQ("usage\nmore\n", text);
  ASSERT_TRUE(blob.find(RESOURCE_VERSION, 0, &text));
  EXPECT_EQ("1.1.0.251", text);
}

TEST_F(RescompTest, ErrorsNameTheLineAndLeaveNoOutput) {
  write_file("bad.rc", "STRINGTABLE\n{\n  1 \"one\"\n  1 \"again\"\n}\n");
  write_file("old.cc", "previous");
  EXPECT_EQ(1, run("bad.rc old.cc"));
  EXPECT_EQ("bad.rc:4: duplicate string id 1\n", read_file("err"));
  EXPECT_EQ("previous", read_file("old.cc"));  // an earlier output is not touched

  EXPECT_EQ(1, run("missing.rc x.cc"));
  EXPECT_NE(std::string::npos, read_file("err").find("missing.rc: cannot open"));
  EXPECT_FALSE(exists("x.cc"));
  EXPECT_EQ(2, run("only-one-argument"));

  write_file("ok.rc", "VERSION \"1\"\n");
  EXPECT_EQ(1, run("ok.rc no/such/dir/out.cc"));
  EXPECT_NE(std::string::npos, read_file("err").find("cannot create"));
}

TEST_F(RescompTest, ListsTheResourcesOfAnExecutable) {
  ASSERT_EQ(0, run("-l '" + std::string(getenv("NT_TEST_BIN")) + "/platform_tests'"))
      << read_file("err");
  std::string out = read_file("out");
  EXPECT_NE(std::string::npos, out.find("STRING 1 \"@Fplattst\"\n"));
  EXPECT_NE(std::string::npos,
            out.find("STRING 6 \"usage: plattst\\n\\tsecond line with \\\"quotes\\\" and "
                     "\\\\backslash\\n\"\n"));
  EXPECT_NE(std::string::npos, out.find("MESSAGE 0xC0008000 \"API-call returned error %1%nCall=%2 \"\n"));
  EXPECT_NE(std::string::npos, out.find("VERSION \"2.5.0.42\"\n"));

  EXPECT_EQ(1, run("-l '" + rescomp_ + "'"));
  EXPECT_NE(std::string::npos, read_file("err").find("error=1813"));
}

}  // namespace
