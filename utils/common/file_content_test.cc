#include "utils/common/file_content.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "platform/kernel/error.h"
#include "utils/testing/child_process.h"

namespace {

TEST(FileContent, ReadsUpToTheAskedSize) {
  ScratchDir dir;
  const std::string bytes("a\r\n\0b", 5);
  write_bytes(dir.file("f"), bytes);
  FileBuffer buffer = allocate_file_buffer(8);
  ASSERT_TRUE(buffer);
  uint64_t read = 0;
  EXPECT_EQ(read_file_into(dir.file("f").c_str(), buffer.get(), 5, &read), ReadStatus::kDone);
  EXPECT_EQ(std::string(buffer.get(), read), bytes);
  // A file shorter than expected reads short, which the caller sees.
  EXPECT_EQ(read_file_into(dir.file("f").c_str(), buffer.get(), 8, &read), ReadStatus::kDone);
  EXPECT_EQ(read, 5u);
  EXPECT_EQ(read_file_into(dir.file("f").c_str(), buffer.get(), 3, &read), ReadStatus::kDone);
  EXPECT_EQ(read, 3u);
  EXPECT_EQ(read_file_into(dir.file("missing").c_str(), buffer.get(), 3, &read),
            ReadStatus::kOpenFailed);
  EXPECT_EQ(read_file_into(dir.path().c_str(), buffer.get(), 3, &read), ReadStatus::kOpenFailed);
  EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
}

TEST(FileContent, SizesOfFilesAndBuffers) {
  ScratchDir dir;
  write_bytes(dir.file("five"), "12345");
  uint64_t size = 0;
  EXPECT_TRUE(query_file_size(dir.file("five").c_str(), &size));
  EXPECT_EQ(size, 5u);
  EXPECT_TRUE(allocate_file_buffer(0));
  EXPECT_FALSE(allocate_file_buffer(UINT64_MAX));
}

}  // namespace
