#include "platform/resource/rc_parser.h"

#include <gtest/gtest.h>

namespace {

std::string parse_error(const std::string& text) {
  std::vector<ResourceEntry> entries;
  std::string error;
  EXPECT_FALSE(parse_resource_file(text, "t.rc", &entries, &error)) << text;
  EXPECT_TRUE(entries.empty());
  return error;
}

std::string text_of(const std::vector<ResourceEntry>& entries, uint32_t kind, uint32_t id) {
  for (const ResourceEntry& e : entries) {
    if (e.kind == kind && e.id == id) return e.text;
  }
  return "<missing>";
}

TEST(RcParser, ReadsTablesLiteralsAndVersion) {
  const char* text =
      "\xEF\xBB\xBF// a comment\n"
      "STRINGTABLE\n"
      "{\n"
      "  1   \"@Fpostar\"   // trailing comment\n"
      "  6   \"usage: POSTAR [/h<targethost>]\\n\"\n"
      "      \"second line\\n\"\n"
      "  0x10 \"hex id\"\n"
      "}\n"
      "messagetable { 0x40000064 \"The service was started.%r\\n\"\n"
      "  3221225472 \"%1\" }\n"
      "StringTable { 7 \"Grüße\" }\n"
      "VERSION \"1.0\" \".0.23\"\n";
  std::vector<ResourceEntry> entries;
  std::string error;
  ASSERT_TRUE(parse_resource_file(text, "t.rc", &entries, &error)) << error;
  EXPECT_EQ(7u, entries.size());
  EXPECT_EQ("@Fpostar", text_of(entries, RESOURCE_STRING, 1));
  EXPECT_EQ("usage: POSTAR [/h<targethost>]\nsecond line\n", text_of(entries, RESOURCE_STRING, 6));
  EXPECT_EQ("hex id", text_of(entries, RESOURCE_STRING, 16));
  EXPECT_EQ("Grüße", text_of(entries, RESOURCE_STRING, 7));
  EXPECT_EQ("The service was started.%r\n", text_of(entries, RESOURCE_MESSAGE, 0x40000064));
  EXPECT_EQ("%1", text_of(entries, RESOURCE_MESSAGE, 0xC0000000u));
  EXPECT_EQ("1.0.0.23", text_of(entries, RESOURCE_VERSION, 0));
}

TEST(RcParser, DecodesEscapes) {
  std::vector<ResourceEntry> entries;
  std::string error;
  ASSERT_TRUE(parse_resource_file(
      R"(STRINGTABLE { 1 "a\nb\rc\td\ae\bf\\g\"h\x41\x7i\0j\q\x4A" })", "t.rc", &entries, &error))
      << error;
  // \q keeps its backslash; \x takes at most two digits.
  EXPECT_EQ(std::string("a\nb\rc\td\ae\bf\\g\"hA\x07i\0j\\qJ", 23), entries[0].text);
  ASSERT_TRUE(parse_resource_file("STRINGTABLE { 1 \"\\x414\" 2 \"@Fzeb\\0\\0\\0\" }", "t.rc",
                                  &entries, &error));
  EXPECT_EQ("A4", text_of(entries, RESOURCE_STRING, 1));
  EXPECT_EQ(std::string("@Fzeb\0\0\0", 8), text_of(entries, RESOURCE_STRING, 2));
}

TEST(RcParser, EmptyFileAndEmptyTablesGiveNoEntries) {
  std::vector<ResourceEntry> entries;
  std::string error;
  EXPECT_TRUE(parse_resource_file("", "t.rc", &entries, &error));
  EXPECT_TRUE(entries.empty());
  EXPECT_TRUE(parse_resource_file("// nothing\nSTRINGTABLE {}\nMESSAGETABLE\n{\n}\n", "t.rc",
                                  &entries, &error));
  EXPECT_TRUE(entries.empty());
}

TEST(RcParser, ErrorsNameFileAndLine) {
  EXPECT_EQ("t.rc:2: unterminated string", parse_error("STRINGTABLE {\n1 \"abc\n\"}"));
  EXPECT_EQ("t.rc:1: unterminated string", parse_error("STRINGTABLE { 1 \"abc\\"));
  EXPECT_EQ("t.rc:3: duplicate string id 1",
            parse_error("STRINGTABLE {\n1 \"a\"\n1 \"b\"\n}"));
  EXPECT_EQ("t.rc:2: duplicate message id 0x00000005",
            parse_error("MESSAGETABLE { 5 \"a\" }\nMESSAGETABLE { 0x5 \"b\" }"));
  EXPECT_EQ("t.rc:1: string id 65536 out of range (0 to 65535)",
            parse_error("STRINGTABLE { 65536 \"a\" }"));
  EXPECT_EQ("t.rc:1: number out of range", parse_error("MESSAGETABLE { 0x100000000 \"a\" }"));
  EXPECT_EQ("t.rc:1: malformed number '12a'", parse_error("STRINGTABLE { 12a \"a\" }"));
  EXPECT_EQ("t.rc:1: malformed number", parse_error("STRINGTABLE { 0x \"a\" }"));
  EXPECT_EQ("t.rc:4: missing '}' of the STRINGTABLE opened on line 3",
            parse_error("\nSTRINGTABLE\n{ 1 \"a\"\n"));
  EXPECT_EQ("t.rc:1: expected '{' after MESSAGETABLE", parse_error("MESSAGETABLE 1 \"a\""));
  EXPECT_EQ("t.rc:1: expected a string after id 1", parse_error("STRINGTABLE { 1 2 \"a\" }"));
  EXPECT_EQ("t.rc:1: expected an id or '}'", parse_error("STRINGTABLE { \"a\" }"));
  EXPECT_EQ("t.rc:1: unknown keyword 'DIALOG'", parse_error("DIALOG { }"));
  EXPECT_EQ("t.rc:1: expected STRINGTABLE, MESSAGETABLE or VERSION", parse_error("\"loose\""));
  EXPECT_EQ("t.rc:2: VERSION given twice", parse_error("VERSION \"1\"\nVERSION \"2\""));
  EXPECT_EQ("t.rc:1: expected a string after VERSION", parse_error("VERSION 1"));
  EXPECT_EQ("t.rc:1: \\x escape above 7F; write the character in UTF-8",
            parse_error("STRINGTABLE { 1 \"\\xE9\" }"));
  EXPECT_EQ("t.rc:1: \\x needs one or two hex digits", parse_error("STRINGTABLE { 1 \"\\xg\" }"));
  EXPECT_EQ("t.rc:1: invalid UTF-8 in string", parse_error("STRINGTABLE { 1 \"\xE9t\xE9\" }"));
  EXPECT_EQ("t.rc:1: invalid UTF-8 in string", parse_error("STRINGTABLE { 1 \"\xC0\xAF\" }"));
  EXPECT_EQ("t.rc:2: invalid UTF-8 in comment", parse_error("\n// caf\xE9\n"));
  EXPECT_EQ("t.rc:1: unexpected character ';'", parse_error("STRINGTABLE { 1 \"a\"; }"));
}

TEST(RcParser, GeneratedSourceHoldsTheBlobInItsSection) {
  std::vector<uint8_t> blob = {0x4e, 0x54, 0x52, 0x53, 0xff};
  std::string source = resource_blob_source(blob, "x.rc");
  EXPECT_NE(std::string::npos, source.find("section(\".ntrsrc\")"));
  EXPECT_NE(std::string::npos, source.find("nt_resource_blob[5] = {\n    0x4e, 0x54, 0x52, 0x53, 0xff,\n};"));
  EXPECT_NE(std::string::npos, source.find("nt_resource_blob_size = 5;"));
}

}  // namespace
