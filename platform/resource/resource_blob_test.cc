#include "platform/resource/resource_blob.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

std::vector<ResourceEntry> sample() {
  return {
      {RESOURCE_MESSAGE, 0xC0008000u, "API %1%n"},
      {RESOURCE_STRING, 6, "usage"},
      {RESOURCE_STRING, 1, std::string("@Fzeb\0\0\0", 8)},
      {RESOURCE_VERSION, 0, "1.2.3.4"},
      {RESOURCE_STRING, 65535, ""},
  };
}

uint32_t u32_at(const std::vector<uint8_t>& b, size_t at) {
  return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | static_cast<uint32_t>(b[at + 3]) << 24;
}

void set_u32(std::vector<uint8_t>* b, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) (*b)[at + i] = static_cast<uint8_t>(v >> (8 * i));
}

TEST(ResourceBlob, RoundTripKeepsEveryEntrySortedAndFindable) {
  std::vector<uint8_t> bytes = serialize_resources(sample());
  // Header fields as documented.
  EXPECT_EQ(0, memcmp(bytes.data(), "NTRS", 4));
  EXPECT_EQ(1, bytes[4] | bytes[5] << 8);
  EXPECT_EQ(24, bytes[6] | bytes[7] << 8);
  EXPECT_EQ(bytes.size(), u32_at(bytes, 8));
  EXPECT_EQ(5u, u32_at(bytes, 12));

  ResourceBlob blob;
  ASSERT_TRUE(blob.parse(bytes.data(), bytes.size()));
  ASSERT_EQ(5u, blob.count());
  // Sorted by kind, then id.
  EXPECT_EQ(RESOURCE_STRING, blob.entry(0).kind);
  EXPECT_EQ(1u, blob.entry(0).id);
  EXPECT_EQ(65535u, blob.entry(2).id);
  EXPECT_EQ(RESOURCE_MESSAGE, blob.entry(3).kind);
  EXPECT_EQ(RESOURCE_VERSION, blob.entry(4).kind);

  std::string_view text;
  ASSERT_TRUE(blob.find(RESOURCE_STRING, 1, &text));
  EXPECT_EQ(std::string("@Fzeb\0\0\0", 8), std::string(text));  // inner NULs kept
  ASSERT_TRUE(blob.find(RESOURCE_MESSAGE, 0xC0008000u, &text));
  EXPECT_EQ("API %1%n", text);
  ASSERT_TRUE(blob.find(RESOURCE_STRING, 65535, &text));
  EXPECT_EQ("", text);
  EXPECT_FALSE(blob.find(RESOURCE_STRING, 2, &text));
  EXPECT_FALSE(blob.find(RESOURCE_MESSAGE, 1, &text));
  EXPECT_FALSE(blob.find(RESOURCE_STRING, 0xC0008000u, &text));  // same id, other kind
  EXPECT_TRUE(blob.has_kind(RESOURCE_VERSION));
}

TEST(ResourceBlob, EmptyBlobAndTrailingPaddingAreAccepted) {
  std::vector<uint8_t> bytes = serialize_resources({});
  EXPECT_EQ(RESOURCE_BLOB_HEADER_SIZE, bytes.size());
  ResourceBlob blob;
  ASSERT_TRUE(blob.parse(bytes.data(), bytes.size()));
  EXPECT_TRUE(blob.empty());
  EXPECT_FALSE(blob.has_kind(RESOURCE_STRING));
  EXPECT_FALSE(blob.find(RESOURCE_STRING, 0, nullptr));

  // A section may be longer than the blob; the header's size counts.
  std::vector<uint8_t> padded = serialize_resources(sample());
  size_t real = padded.size();
  padded.resize(real + 13, 0xEE);
  ASSERT_TRUE(blob.parse(padded.data(), padded.size()));
  EXPECT_EQ(real, blob.size());
}

TEST(ResourceBlob, MalformedBlobsAreRefused) {
  const std::vector<uint8_t> good = serialize_resources(sample());
  ResourceBlob blob;
  auto refused = [&blob](std::vector<uint8_t> b) { return !blob.parse(b.data(), b.size()); };

  EXPECT_FALSE(blob.parse(nullptr, 100));
  EXPECT_TRUE(refused(std::vector<uint8_t>(good.begin(), good.begin() + 23)));  // short header
  EXPECT_TRUE(refused(std::vector<uint8_t>(good.begin(), good.end() - 1)));     // cut off

  std::vector<uint8_t> b = good;
  b[0] = 'X';
  EXPECT_TRUE(refused(b));  // magic
  b = good;
  b[4] = 2;
  EXPECT_TRUE(refused(b));  // layout version
  b = good;
  set_u32(&b, 12, 0x10000000u);
  EXPECT_TRUE(refused(b));  // entry table larger than the blob
  b = good;
  set_u32(&b, 24 + 8, static_cast<uint32_t>(good.size()));
  EXPECT_TRUE(refused(b));  // text beyond the end
  b = good;
  set_u32(&b, 24 + 8, 4);
  EXPECT_TRUE(refused(b));  // text inside the header
  b = good;
  set_u32(&b, 24 + 12, u32_at(good, 24 + 12) + 1);
  EXPECT_TRUE(refused(b));  // text not followed by its NUL
  b = good;
  set_u32(&b, 24, 7);
  EXPECT_TRUE(refused(b));  // unknown kind
  b = good;
  set_u32(&b, 24 + 16 + 4, 1);
  EXPECT_TRUE(refused(b));  // two entries alike
  b = good;
  set_u32(&b, 24 + 4, 100);
  EXPECT_TRUE(refused(b));  // out of order

  // After a refusal the view is empty.
  EXPECT_EQ(0u, blob.count());
  EXPECT_FALSE(blob.find(RESOURCE_STRING, 1, nullptr));
}

}  // namespace
