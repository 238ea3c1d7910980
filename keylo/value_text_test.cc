#include "keylo/value_text.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/kernel/error.h"
#include "platform/registry/registry.h"

namespace {

std::string bytes(const char* text, size_t size) { return std::string(text, size); }

ImportValue parse(const char* text, DWORD expected_error = ERROR_SUCCESS) {
  ImportValue v;
  EXPECT_EQ(parse_value_text(text, &v), expected_error) << text;
  return v;
}

TEST(ImportValueText, NumbersAndBinary) {
  ImportValue v = parse("REG_DWORD:0000001F");
  EXPECT_EQ(v.type, REG_DWORD);
  EXPECT_EQ(v.data, bytes("\x1F\0\0\0", 4));
  EXPECT_EQ(parse("reg_dword:ff").data, bytes("\xFF\0\0\0", 4));  // prefix in any case
  // At most eight digits are read.
  EXPECT_EQ(parse("REG_DWORD:123456789").data, bytes("\x78\x56\x34\x12", 4));
  EXPECT_EQ(parse("REG_DWORD:FFFFFFFF").data, bytes("\xFF\xFF\xFF\xFF", 4));
  v = parse("REG_DWORD:", ERROR_INVALID_DATA);
  EXPECT_STREQ(v.type_name, "REG_DWORD");
  parse("REG_DWORD:xyz", ERROR_INVALID_DATA);

  v = parse("REG_BINARY:0102FF");
  EXPECT_EQ(v.type, REG_BINARY);
  EXPECT_EQ(v.data, bytes("\x01\x02\xFF", 3));
  EXPECT_EQ(parse("Reg_Binary:ABC").data, bytes("\xAB\x0C", 2));  // an odd digit alone
  EXPECT_EQ(parse("REG_BINARY:a").data, bytes("\x0A", 1));
  EXPECT_EQ(parse("REG_BINARY:").data, "");
  v = parse("REG_BINARY:01G2", ERROR_INVALID_DATA);
  EXPECT_STREQ(v.type_name, "REG_BINARY");
  EXPECT_EQ(v.data, "");
  parse("REG_BINARY:01 02", ERROR_INVALID_DATA);
  parse("REG_BINARY:0Z", ERROR_INVALID_DATA);
}

TEST(ImportValueText, StringsAndTheirTerminators) {
  ImportValue v = parse("REG_MULTI_SZ:a`b``c");
  EXPECT_EQ(v.type, REG_MULTI_SZ);
  EXPECT_EQ(v.data, bytes("a\0b`c\0\0", 7));
  EXPECT_EQ(parse("REG_MULTI_SZ:one").data, bytes("one\0\0", 5));
  EXPECT_EQ(parse("REG_MULTI_SZ:a```b").data, bytes("a`\0b\0\0", 6));  // pair, then an end
  EXPECT_EQ(parse("REG_MULTI_SZ:a`").data, bytes("a\0\0\0", 4));
  EXPECT_EQ(parse("REG_MULTI_SZ:").data, bytes("\0\0", 2));

  v = parse("REG_EXPAND_SZ:%SystemRoot%\\x");
  EXPECT_EQ(v.type, REG_EXPAND_SZ);
  EXPECT_EQ(v.data, bytes("%SystemRoot%\\x\0", 15));
  v = parse("reg_sz:hello");
  EXPECT_EQ(v.type, REG_SZ);
  EXPECT_EQ(v.data, bytes("hello\0", 6));
  EXPECT_EQ(parse("REG_SZ:").data, bytes("\0", 1));
  // Any other text is a string without its terminator.
  v = parse("hello");
  EXPECT_EQ(v.type, REG_SZ);
  EXPECT_STREQ(v.type_name, "REG_SZ");
  EXPECT_EQ(v.data, "hello");
  EXPECT_EQ(parse("REG_SZX:1").data, "REG_SZX:1");
  EXPECT_EQ(parse("REG_DWORD 1").data, "REG_DWORD 1");
}

TEST(ShownValueText, EveryTypeAsShowPrintsIt) {
  ShownValue s = show_value_text(REG_SZ, reinterpret_cast<const BYTE*>("hi\0x"), 4);
  EXPECT_TRUE(s.known);
  EXPECT_STREQ(s.type_name, "REG_SZ");
  EXPECT_EQ(s.text, "hi");
  // A string without terminator ends with its data, not after it.
  const BYTE unterminated[5] = {'h', 'e', 'l', 'l', 'o'};
  EXPECT_EQ(show_value_text(REG_SZ, unterminated, 3).text, "hel");
  EXPECT_EQ(show_value_text(REG_EXPAND_SZ, unterminated, 5).text, "hello");
  EXPECT_STREQ(show_value_text(REG_EXPAND_SZ, unterminated, 5).type_name, "REG_EXPAND_SZ");

  const BYTE bin[] = {0x01, 0x02, 0xFF, 0x0C};
  s = show_value_text(REG_BINARY, bin, 4);
  EXPECT_EQ(s.text, "0102FF0C");
  EXPECT_FALSE(s.numeric);
  EXPECT_EQ(show_value_text(REG_BINARY, bin, 0).text, "");

  const BYTE num[] = {0x1F, 0, 0, 0};
  s = show_value_text(REG_DWORD, num, 4);
  EXPECT_TRUE(s.numeric);
  EXPECT_EQ(s.number, 31);
  const BYTE all[] = {0xFF, 0xFF, 0xFF, 0xFF};
  EXPECT_EQ(show_value_text(REG_DWORD, all, 4).number, -1);
  EXPECT_EQ(show_value_text(REG_DWORD, all, 1).number, 255);  // short data: what is there
  EXPECT_EQ(show_value_text(REG_DWORD, nullptr, 0).number, 0);

  const char multi[] = "a\0b`c\0\0";
  s = show_value_text(REG_MULTI_SZ, reinterpret_cast<const BYTE*>(multi), 7);
  EXPECT_STREQ(s.type_name, "REG_MULTI_SZ");
  EXPECT_EQ(s.text, "a`b`c");
  EXPECT_EQ(show_value_text(REG_MULTI_SZ, reinterpret_cast<const BYTE*>(multi), 6).text,
            "a`b`c");
  EXPECT_EQ(show_value_text(REG_MULTI_SZ, reinterpret_cast<const BYTE*>(multi), 5).text,
            "a`b`c");
  EXPECT_EQ(show_value_text(REG_MULTI_SZ, reinterpret_cast<const BYTE*>("\0\0"), 2).text, "");

  for (DWORD type : {REG_NONE, REG_DWORD_BIG_ENDIAN, REG_LINK, REG_RESOURCE_LIST}) {
    s = show_value_text(type, bin, 4);
    EXPECT_FALSE(s.known) << type;
    EXPECT_EQ(s.text, "");
  }
}

}  // namespace
