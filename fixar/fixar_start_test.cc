#include "fixar/fixar_start.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <string>


namespace {

TEST(FixarStart, ProgramDirectory) {
  EXPECT_EQ(directory_of("C:\\WIN32APP\\fixar.exe"), "C:\\WIN32APP");
  EXPECT_EQ(directory_of("\\\\SRV\\NETLOGON\\fixar.exe"), "\\\\SRV\\NETLOGON");
  EXPECT_EQ(directory_of("/opt/nt/bin/fixar"), "/opt/nt/bin");
  EXPECT_EQ(directory_of("/fixar"), "/");
  EXPECT_EQ(directory_of("fixar"), ".");
  // The running test's own directory, as the program finds its own.
  char exe[4096];
  ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
  ASSERT_GT(n, 0);
  std::string path(exe, static_cast<size_t>(n));
  EXPECT_EQ(program_directory(), path.substr(0, path.rfind('/')));
}

TEST(FixarStart, TimeLimitOption) {
  EXPECT_EQ(time_limit_from_option(300), 300u);
  EXPECT_EQ(time_limit_from_option(0), 0u) << "0 keeps its meaning: do not wait";
  EXPECT_EQ(time_limit_from_option(-1), 0xFFFFFFFFu) << "an empty /t is a long wait, not none";
}

}  // namespace
