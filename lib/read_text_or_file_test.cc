#include <gtest/gtest.h>
#include <limits.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <string>

#include "lib/format.h"
#include "lib/format_test_support.h"

namespace {

std::string program_dir() {
  char path[PATH_MAX];
  const ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
  if (n <= 0) return std::string();
  std::string p(path, static_cast<size_t>(n));
  return p.substr(0, p.rfind('/'));
}

// A file that is removed at the end of the scope.
class TempFile {
 public:
  TempFile(std::string path, const std::string& contents) : path_(std::move(path)) { write(contents); }
  ~TempFile() { std::remove(path_.c_str()); }
  void write(const std::string& contents) {
    std::ofstream(path_, std::ios::binary | std::ios::trunc) << contents;
  }
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

std::string unique_name(const char* stem) {
  return std::string(stem) + "_" + std::to_string(getpid()) + ".fmt";
}

std::string read(const char* text, bool* found) {
  char out[OUTPUT_LINE_SIZE];
  std::memset(out, 'x', sizeof out);
  *found = read_text_or_file(text, out);
  return std::string(out, strnlen(out, sizeof out));
}

TEST(ReadTextOrFile, LooksForBareNamesInTheProgramDirectoryOnly) {
  CodePageScope pages("65001", "65001");
  const std::string own_name = unique_name("own");
  TempFile own(program_dir() + "/" + own_name, "~N owns\r\nthis");

  char cwd_template[] = "/tmp/fmt_cwd_XXXXXX";
  ASSERT_NE(mkdtemp(cwd_template), nullptr);
  char old_cwd[PATH_MAX];
  ASSERT_NE(getcwd(old_cwd, sizeof old_cwd), nullptr);
  ASSERT_EQ(chdir(cwd_template), 0);
  const std::string local_name = unique_name("local");
  {
    TempFile local(std::string(cwd_template) + "/" + local_name, "from the current directory");
    bool found = false;
    EXPECT_EQ(read(own_name.c_str(), &found), "~N owns\r\nthis");
    EXPECT_TRUE(found);
    EXPECT_EQ(read(local_name.c_str(), &found), local_name);
    EXPECT_FALSE(found);
    // Named with a backslash, the same file is opened as given, here relative.
    EXPECT_EQ(read((".\\" + local_name).c_str(), &found), "from the current directory");
    EXPECT_TRUE(found);
    char name[ARG_TEXT_SIZE] = "Bob";
    const ArgSpec table[] = {{ARG_STRING, 'N', 0, name, 0}, {ARG_END, 0, 0, nullptr, 0}};
    EXPECT_EQ(expand(own_name.c_str(), table), "Bob owns\r\nthis");
    EXPECT_EQ(expand(local_name.c_str(), table), local_name);
  }
  ASSERT_EQ(chdir(old_cwd), 0);
  rmdir(cwd_template);

  bool found = true;
  EXPECT_EQ(read("", &found), "");
  EXPECT_FALSE(found);
  EXPECT_EQ(read(".", &found), ".");  // the program directory itself is no file
  EXPECT_FALSE(found);
  EXPECT_EQ(read(nullptr, &found), "");
  EXPECT_FALSE(found);
}

TEST(ReadTextOrFile, TakesAtMost2047BytesInWholeCharacters) {
  CodePageScope pages("65001", "65001");
  const std::string path = "/tmp/" + unique_name("size");
  bool found = false;

  const std::string exact(FORMAT_FILE_MAX, 'a');
  TempFile file(path, exact);
  EXPECT_EQ(read(path.c_str(), &found), exact);
  EXPECT_TRUE(found);

  file.write(exact + "bcd");
  EXPECT_EQ(read(path.c_str(), &found), exact);

  // A two-byte character across the limit is left out, not cut.
  const std::string head(FORMAT_FILE_MAX - 1, 'a');
  file.write(head + "\xC3\xBC" "rest");
  EXPECT_EQ(read(path.c_str(), &found), head);
  file.write(head + "b\xC3\xBC");
  EXPECT_EQ(read(path.c_str(), &found), head + "b");

  // A long text that names no file is copied in the same measure.
  const std::string text = head + "\xE2\x82\xAC" + "more";
  EXPECT_EQ(read(text.c_str(), &found), head);
  EXPECT_FALSE(found);

  // The format file is read again on every expansion.
  const ArgSpec table[] = {{ARG_END, 0, 0, nullptr, 0}};
  file.write("first");
  EXPECT_EQ(expand(path.c_str(), table), "first");
  file.write("second");
  EXPECT_EQ(expand(path.c_str(), table), "second");
  // A backslash path is the host path with its backslashes turned around.
  std::string nt_style = path;
  for (char& c : nt_style) c = c == '/' ? '\\' : c;
  EXPECT_EQ(expand(nt_style.c_str(), table), "second");
}

}  // namespace

namespace {

// A text already read once is expanded as it stands: the same text that
// expand_format takes for a file name is printed literally, and a format
// file whose contents name another file is not followed.
TEST(ExpandFormatText, ExpandsResolvedTextsWithoutLookingForFiles) {
  CodePageScope pages("65001", "65001");
  const std::string inner_name = unique_name("inner");
  const std::string outer_name = unique_name("outer");
  TempFile inner(program_dir() + "/" + inner_name, "inner ~N");
  TempFile outer(program_dir() + "/" + outer_name, inner_name);
  char name[ARG_TEXT_SIZE] = "Eve";
  const ArgSpec table[] = {{ARG_STRING, 'N', 0, name, 0}, {ARG_END, 0, 0, nullptr, 0}};

  char format[OUTPUT_LINE_SIZE];
  EXPECT_TRUE(read_text_or_file(outer_name.c_str(), format));
  char out[OUTPUT_LINE_SIZE];
  expand_format_text(format, out, table, OUTPUT_LINE_SIZE - 1);
  EXPECT_EQ(std::string(out), inner_name);
  expand_format_text(inner_name.c_str(), out, table, OUTPUT_LINE_SIZE - 1);
  EXPECT_EQ(std::string(out), inner_name);
  EXPECT_EQ(expand(inner_name.c_str(), table), "inner Eve");
  // The program directory is looked up once, and still right afterwards.
  EXPECT_EQ(expand(outer_name.c_str(), table), inner_name);

  // Placeholders, the size limit and empty or missing texts as expand_format has them.
  expand_format_text("~N/~5N", out, table, 6);
  EXPECT_EQ(std::string(out), "Eve/  ");
  std::memset(out, 'x', 4);
  expand_format_text("~N", out, table, 0);
  EXPECT_EQ(out[0], '\0');
  out[0] = 'x';
  expand_format_text(nullptr, out, table, 10);
  EXPECT_EQ(out[0], '\0');

  testing::internal::CaptureStdout();
  print_formatted_text(inner_name.c_str(), table, true);
  print_formatted_text("", table, true);
  print_formatted_text("~N!", table, true);
  std::fflush(stdout);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), inner_name + "\nEve!\n");
}

}  // namespace
