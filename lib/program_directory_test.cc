#include "lib/program_directory.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <string>

namespace {

TEST(ProgramDirectory, CutsAtTheLastSeparatorOfEitherKind) {
  EXPECT_EQ(directory_of("C:\\WIN32APP\\fixar.exe"), "C:\\WIN32APP");
  EXPECT_EQ(directory_of("\\\\SRV\\NETLOGON\\fixar.exe"), "\\\\SRV\\NETLOGON");
  EXPECT_EQ(directory_of("/opt/nt/bin/fixar"), "/opt/nt/bin");
  EXPECT_EQ(directory_of("/fixar"), "/");
  EXPECT_EQ(directory_of("fixar"), ".");
  // The running test's own directory, as a program finds its own.
  char exe[4096];
  ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
  ASSERT_GT(n, 0);
  std::string path(exe, static_cast<size_t>(n));
  EXPECT_EQ(program_directory(), path.substr(0, path.rfind('/')));
}

}  // namespace
