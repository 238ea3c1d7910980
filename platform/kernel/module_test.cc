#include "platform/kernel/module.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>
#include <string>

#include "platform/kernel/error.h"
#include "platform/resource/resource.h"

namespace {

std::string own_path() {
  char path[4096];
  ssize_t n = readlink("/proc/self/exe", path, sizeof path);
  return n > 0 ? std::string(path, static_cast<size_t>(n)) : std::string();
}

TEST(GetModuleFileName, RunningProgramAndWin32Truncation) {
  std::string expected = own_path();
  ASSERT_GT(expected.size(), 5u);
  char buffer[4096];
  SetLastError(0);
  EXPECT_EQ(expected.size(), GetModuleFileNameA(nullptr, buffer, sizeof buffer));
  EXPECT_EQ(expected, buffer);
  EXPECT_EQ(ERROR_SUCCESS, GetLastError());

  // Exactly the path's length: no room for the terminator.
  DWORD size = static_cast<DWORD>(expected.size());
  memset(buffer, 'x', sizeof buffer);
  EXPECT_EQ(size, GetModuleFileNameA(nullptr, buffer, size));
  EXPECT_EQ(ERROR_INSUFFICIENT_BUFFER, GetLastError());
  EXPECT_EQ(expected.substr(0, size - 1), buffer);
  EXPECT_EQ('x', buffer[size]);

  EXPECT_EQ(5u, GetModuleFileNameA(nullptr, buffer, 5));
  EXPECT_EQ(expected.substr(0, 4), buffer);
  EXPECT_EQ(0u, GetModuleFileNameA(nullptr, buffer, 0));
  EXPECT_EQ(ERROR_INSUFFICIENT_BUFFER, GetLastError());
  EXPECT_EQ(0u, GetModuleFileNameA(nullptr, nullptr, 10));
  EXPECT_EQ(ERROR_INVALID_PARAMETER, GetLastError());
}

TEST(GetModuleFileName, WideFormAndOtherModules) {
  std::string expected = own_path();
  WCHAR wide[4096];
  ASSERT_EQ(expected.size(), GetModuleFileNameW(nullptr, wide, 4096));
  EXPECT_EQ(std::u16string(expected.begin(), expected.end()), wide);  // the path is ASCII here
  EXPECT_EQ(3u, GetModuleFileNameW(nullptr, wide, 3));
  EXPECT_EQ(ERROR_INSUFFICIENT_BUFFER, GetLastError());
  EXPECT_EQ(std::u16string(expected.begin(), expected.begin() + 2), wide);

  HMODULE module = LoadLibraryExA("/proc/self/exe", nullptr, LOAD_LIBRARY_AS_DATAFILE);
  ASSERT_NE(nullptr, module);
  char buffer[4096];
  EXPECT_EQ(expected.size(), GetModuleFileNameA(module, buffer, sizeof buffer));
  EXPECT_EQ(expected, buffer);  // the link resolved
  FreeLibrary(module);
  EXPECT_EQ(0u, GetModuleFileNameA(module, buffer, sizeof buffer));
  EXPECT_EQ(ERROR_MOD_NOT_FOUND, GetLastError());
}

}  // namespace
