#include "lib/registry_value_text.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/kernel/error.h"
#include "platform/registry/registry.h"

namespace {

std::string bytes(const char* text, size_t size) { return std::string(text, size); }

RegistryValueText parse(const char* text, SzPrefix sz, DWORD expected = ERROR_SUCCESS) {
  RegistryValueText v;
  EXPECT_EQ(parse_registry_value_text(text, sz, &v), expected) << text;
  return v;
}

// The typed prefixes in detail: keylo/value_text_test.cc.
TEST(RegistryValueText, TypedPrefixesAreTheSameInBothDialects) {
  for (SzPrefix sz : {SzPrefix::recognised, SzPrefix::plain}) {
    RegistryValueText v = parse("reg_dword:1F", sz);
    EXPECT_EQ(v.type, REG_DWORD);
    EXPECT_EQ(v.data, bytes("\x1F\0\0\0", 4));
    EXPECT_STREQ(parse("REG_BINARY:0G", sz, ERROR_INVALID_DATA).type_name, "REG_BINARY");
    // a ` b `` c: the strings a and b`c; backquote pairs at the edges.
    EXPECT_EQ(parse("REG_MULTI_SZ:a`b``c", sz).data, bytes("a\0b`c\0\0", 7));
    EXPECT_EQ(parse("REG_MULTI_SZ:````", sz).data, bytes("``\0\0", 4));
    EXPECT_EQ(parse("REG_MULTI_SZ:`", sz).data, bytes("\0\0\0", 3));
    EXPECT_EQ(parse("REG_EXPAND_SZ:%x%", sz).data, bytes("%x%\0", 4));
    v = parse("plain text", sz);
    EXPECT_EQ(v.type, REG_SZ);
    EXPECT_EQ(v.data, "plain text");  // without its NUL
  }
}

TEST(RegistryValueText, TheSzPrefixOnlyWhereTheDialectKnowsIt) {
  RegistryValueText v = parse("REG_SZ:hello", SzPrefix::recognised);
  EXPECT_EQ(v.type, REG_SZ);
  EXPECT_EQ(v.data, bytes("hello\0", 6));
  v = parse("reg_sz:hello", SzPrefix::plain);
  EXPECT_EQ(v.type, REG_SZ);
  EXPECT_EQ(v.data, "reg_sz:hello");
  EXPECT_EQ(parse("", SzPrefix::plain).data, "");
  EXPECT_EQ(parse(nullptr, SzPrefix::recognised).data, "");
}

}  // namespace
