#include "ntnet/reg_text.h"

#include <gtest/gtest.h>

#include "platform/registry/registry.h"

namespace {

std::string le(const std::u16string& text) {
  std::string out;
  for (char16_t c : text) {
    out.push_back(static_cast<char>(c & 0xFF));
    out.push_back(static_cast<char>(c >> 8));
  }
  return out;
}

TEST(RegText, StringsShowTheirTerminatorAndEscapes) {
  EXPECT_EQ(ntnet_format_value(REG_SZ, le(std::u16string(u"hello\0", 6))), "REG_SZ \"hello\"");
  EXPECT_EQ(ntnet_format_value(REG_SZ, le(u"hello")), "REG_SZ \"hello\" (no NUL)");
  EXPECT_EQ(ntnet_format_value(REG_SZ, ""), "REG_SZ \"\" (no NUL)");
  EXPECT_EQ(ntnet_format_value(REG_SZ, le(std::u16string(1, u'\0'))), "REG_SZ \"\"");
  EXPECT_EQ(ntnet_format_value(REG_MULTI_SZ, le(std::u16string(u"a\0b`c\0\0", 7))),
            "REG_MULTI_SZ \"a\\0b`c\\0\"");
  EXPECT_EQ(ntnet_format_value(REG_EXPAND_SZ, le(std::u16string(u"%SystemRoot%\\x\0", 15))),
            "REG_EXPAND_SZ \"%SystemRoot%\\\\x\"");
  EXPECT_EQ(ntnet_quote(u"q\"t\tn\nr\r\x01\x7f\x85\u00e9\U0001F600"),
            "\"q\\\"t\\tn\\nr\\r\\u0001\\u007F\\u0085\xC3\xA9\xF0\x9F\x98\x80\"");
  EXPECT_EQ(ntnet_quote(std::u16string{u'a', char16_t(0xD800), u'b'}), "\"a\\uD800b\"");
  // An odd number of bytes is no UTF-16 text: shown in hex.
  EXPECT_EQ(ntnet_format_value(REG_SZ, std::string("a\0b", 3)), "REG_SZ hex 61 00 62");
}

TEST(RegText, NumbersAndBytes) {
  EXPECT_EQ(ntnet_format_value(REG_DWORD, std::string("\x1F\0\0\0", 4)),
            "REG_DWORD 0x0000001f (31)");
  EXPECT_EQ(ntnet_format_value(REG_DWORD, std::string("\xFF\xFF\xFF\xFF", 4)),
            "REG_DWORD 0xffffffff (4294967295)");
  EXPECT_EQ(ntnet_format_value(REG_DWORD, std::string("\x01\x02", 2)), "REG_DWORD hex 01 02");
  EXPECT_EQ(ntnet_format_value(REG_BINARY, std::string("\x01\x02\xFF", 3)),
            "REG_BINARY hex 01 02 ff");
  EXPECT_EQ(ntnet_format_value(REG_BINARY, ""), "REG_BINARY hex");
  EXPECT_EQ(ntnet_format_value(0x1234, "A"), "0x00001234 hex 41");
  EXPECT_EQ(ntnet_format_value(REG_DWORD_BIG_ENDIAN, std::string("\0\0\0\x01", 4)),
            "REG_DWORD_BIG_ENDIAN hex 00 00 00 01");
}

TEST(RegText, TypeNames) {
  DWORD type = 99;
  EXPECT_TRUE(ntnet_parse_type("reg_multi_sz", &type));
  EXPECT_EQ(type, REG_MULTI_SZ);
  EXPECT_TRUE(ntnet_parse_type("0x00001234", &type));
  EXPECT_EQ(type, 0x1234u);
  EXPECT_TRUE(ntnet_parse_type("3", &type));
  EXPECT_EQ(type, REG_BINARY);
  EXPECT_FALSE(ntnet_parse_type("REG_TEXT", &type));
  EXPECT_FALSE(ntnet_parse_type("-1", &type));
  EXPECT_FALSE(ntnet_parse_type("0x100000000", &type));
  EXPECT_FALSE(ntnet_parse_type("", &type));
  EXPECT_EQ(ntnet_type_name(REG_RESOURCE_REQUIREMENTS_LIST), "REG_RESOURCE_REQUIREMENTS_LIST");
}

TEST(RegText, SetDataReadsWhatTheDumpShows) {
  std::string data, error;
  ASSERT_TRUE(ntnet_parse_value_data(REG_SZ, "hello", false, &data, &error));
  EXPECT_EQ(data, le(std::u16string(u"hello\0", 6)));
  ASSERT_TRUE(ntnet_parse_value_data(REG_SZ, "hello", true, &data, &error));
  EXPECT_EQ(data, le(u"hello"));
  ASSERT_TRUE(ntnet_parse_value_data(REG_MULTI_SZ, "a\\0b`c\\0", false, &data, &error));
  EXPECT_EQ(data, le(std::u16string(u"a\0b`c\0\0", 7)));
  ASSERT_TRUE(ntnet_parse_value_data(REG_SZ, "\\\\x\\\"\\uD800\xC3\xA9", false, &data, &error));
  EXPECT_EQ(data, le(std::u16string{u'\\', u'x', u'"', char16_t(0xD800), u'\u00e9', u'\0'}));
  EXPECT_FALSE(ntnet_parse_value_data(REG_SZ, "bad\\q", false, &data, &error));
  EXPECT_FALSE(ntnet_parse_value_data(REG_SZ, "end\\", false, &data, &error));
  EXPECT_FALSE(ntnet_parse_value_data(REG_SZ, "\\u12G4", false, &data, &error));

  ASSERT_TRUE(ntnet_parse_value_data(REG_DWORD, "0x1f", false, &data, &error));
  EXPECT_EQ(data, std::string("\x1F\0\0\0", 4));
  ASSERT_TRUE(ntnet_parse_value_data(REG_DWORD, "-1", false, &data, &error));
  EXPECT_EQ(data, std::string("\xFF\xFF\xFF\xFF", 4));
  ASSERT_TRUE(ntnet_parse_value_data(REG_DWORD, "4294967295", false, &data, &error));
  EXPECT_FALSE(ntnet_parse_value_data(REG_DWORD, "4294967296", false, &data, &error));
  EXPECT_FALSE(ntnet_parse_value_data(REG_DWORD, "12abc", false, &data, &error));
  EXPECT_FALSE(ntnet_parse_value_data(REG_DWORD, "", false, &data, &error));

  ASSERT_TRUE(ntnet_parse_value_data(REG_BINARY, "hex 01 02 ff", false, &data, &error));
  EXPECT_EQ(data, std::string("\x01\x02\xFF", 3));
  ASSERT_TRUE(ntnet_parse_value_data(REG_BINARY, "0102FF,00", false, &data, &error));
  EXPECT_EQ(data, std::string("\x01\x02\xFF\0", 4));
  ASSERT_TRUE(ntnet_parse_value_data(REG_NONE, "", false, &data, &error));
  EXPECT_EQ(data, "");
  EXPECT_FALSE(ntnet_parse_value_data(REG_BINARY, "ABC", false, &data, &error));
  EXPECT_FALSE(ntnet_parse_value_data(REG_BINARY, "0 1", false, &data, &error));
  EXPECT_FALSE(ntnet_parse_value_data(REG_BINARY, "zz", false, &data, &error));
}

TEST(RegText, PathComponentsQuotedOnlyWhenNeeded) {
  EXPECT_EQ(ntnet_path_component(u"Session Manager"), "Session Manager");
  EXPECT_EQ(ntnet_path_component(u"caf\u00e9"), "caf\xC3\xA9");
  EXPECT_EQ(ntnet_path_component(u"say \"hi\""), "\"say \\\"hi\\\"\"");
  EXPECT_EQ(ntnet_path_component(u"line\nbreak"), "\"line\\nbreak\"");
}

}  // namespace
