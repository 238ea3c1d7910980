// String tables in several languages: the LANGUAGE statement of resource
// files, the layout that carries languages, and the language LoadString
// picks by the thread locale.
#include <gtest/gtest.h>

#include <cstring>

#include "platform/kernel/error.h"
#include "platform/nls/codepage.h"
#include "platform/nls/locale.h"
#include "platform/nls/thread_locale.h"
#include "platform/resource/rc_parser.h"
#include "platform/resource/resource.h"
#include "platform/resource/resource_blob.h"

namespace {

std::vector<ResourceEntry> parse_ok(const std::string& text) {
  std::vector<ResourceEntry> entries;
  std::string error;
  EXPECT_TRUE(parse_resource_file(text, "t.rc", &entries, &error)) << error;
  return entries;
}

std::string parse_error(const std::string& text) {
  std::vector<ResourceEntry> entries;
  std::string error;
  EXPECT_FALSE(parse_resource_file(text, "t.rc", &entries, &error)) << text;
  return error;
}

// Restores the thread locale and the ANSI page after each test.
class ResourceLanguage : public ::testing::Test {
 protected:
  void SetUp() override {
    old_locale_ = GetThreadLocale();
    const char* acp = getenv("NT_ACP");
    had_acp_ = acp != nullptr;
    if (had_acp_) old_acp_ = acp;
    setenv("NT_ACP", "65001", 1);
    nt_reload_code_pages();
  }
  void TearDown() override {
    SetThreadLocale(old_locale_);
    if (had_acp_) {
      setenv("NT_ACP", old_acp_.c_str(), 1);
    } else {
      unsetenv("NT_ACP");
    }
    nt_reload_code_pages();
  }

  // A module from resource-file text; released by the test.
  HMODULE module_from(const std::string& rc) {
    std::vector<uint8_t> bytes = serialize_resources(parse_ok(rc));
    return nt_module_from_blob(bytes.data(), bytes.size());
  }

  static std::string load(HMODULE m, UINT id) {
    char buffer[128];
    int n = LoadStringA(m, id, buffer, sizeof buffer);
    return n == 0 ? "<missing>" : std::string(buffer, n);
  }

 private:
  LCID old_locale_ = 0;
  bool had_acp_ = false;
  std::string old_acp_;
};

TEST_F(ResourceLanguage, ParserTagsTablesWithTheLanguageBeforeThem) {
  std::vector<ResourceEntry> entries = parse_ok(
      "STRINGTABLE { 1 \"neutral\" }\n"
      "LANGUAGE LANG_ENGLISH, SUBLANG_ENGLISH_US\n"
      "STRINGTABLE { 1 \"english\" 2 \"only english\" }\n"
      "MESSAGETABLE { 0x10 \"msg\" }\n"
      "LANGUAGE 0x07, 1\n"
      "STRINGTABLE { 1 \"deutsch\" }\n"
      "VERSION \"1.0\"\n");
  ASSERT_EQ(6u, entries.size());
  EXPECT_EQ(0, entries[0].language);
  EXPECT_EQ(0x0409, entries[1].language);
  EXPECT_EQ(0x0409, entries[2].language);
  EXPECT_EQ(0x0409, entries[3].language);  // message tables follow LANGUAGE too
  EXPECT_EQ(0x0407, entries[4].language);
  EXPECT_EQ("deutsch", entries[4].text);
  EXPECT_EQ(0, entries[5].language);  // VERSION stays neutral

  // The same id twice within one language is still an error.
  EXPECT_EQ("t.rc:3: duplicate string id 1",
            parse_error("LANGUAGE LANG_GERMAN, SUBLANG_GERMAN\nSTRINGTABLE { 1 \"a\"\n1 \"b\" }"));
  EXPECT_EQ("t.rc:1: unknown primary language 'SUBLANG_GERMAN'",
            parse_error("LANGUAGE SUBLANG_GERMAN, SUBLANG_GERMAN"));
  EXPECT_EQ("t.rc:1: unknown sublanguage 'LANG_GERMAN'",
            parse_error("LANGUAGE LANG_GERMAN, LANG_GERMAN"));
  EXPECT_EQ("t.rc:1: expected ',' in LANGUAGE", parse_error("LANGUAGE 7 1"));
  EXPECT_EQ("t.rc:1: primary language 1024 out of range (0 to 1023)",
            parse_error("LANGUAGE 0x400, 1"));
  EXPECT_EQ("t.rc:1: sublanguage 64 out of range (0 to 63)", parse_error("LANGUAGE 7, 64"));
  EXPECT_EQ("t.rc:1: expected a sublanguage in LANGUAGE", parse_error("LANGUAGE 7,"));
}

TEST_F(ResourceLanguage, BlobCarriesLanguagesOnlyWhenUsed) {
  // Neutral only: no flag, the kind field as before.
  std::vector<uint8_t> plain = serialize_resources({{RESOURCE_STRING, 5, "x"}});
  EXPECT_EQ(1, plain[4]);
  EXPECT_EQ(0, plain[16]);
  EXPECT_EQ(1u, plain[24] | plain[25] << 8 | plain[26] << 16 | plain[27] << 24);

  std::vector<ResourceEntry> entries = {
      {RESOURCE_STRING, 5, "de", 0x0407},
      {RESOURCE_STRING, 5, "en", 0x0409},
      {RESOURCE_STRING, 5, "neutral", 0},
      {RESOURCE_STRING, 4, "four", 0x0409},
      {RESOURCE_MESSAGE, 5, "msg", 0},
  };
  std::vector<uint8_t> bytes = serialize_resources(entries);
  EXPECT_EQ(1, bytes[4]);
  EXPECT_EQ(1, bytes[16]);  // the languages flag
  ResourceBlob blob;
  ASSERT_TRUE(blob.parse(bytes.data(), bytes.size()));
  ASSERT_EQ(5u, blob.count());
  // Sorted by kind, id, language; the language is in the high half.
  EXPECT_EQ(4u, blob.entry(0).id);
  EXPECT_EQ(0, blob.entry(1).language);
  EXPECT_EQ(0x0407, blob.entry(2).language);
  EXPECT_EQ(0x0409, blob.entry(3).language);
  EXPECT_EQ(RESOURCE_STRING, blob.entry(3).kind);
  EXPECT_EQ(0x04090001u, bytes[24 + 3 * 16] | bytes[25 + 3 * 16] << 8 |
                             bytes[26 + 3 * 16] << 16 |
                             static_cast<uint32_t>(bytes[27 + 3 * 16]) << 24);

  std::string_view text;
  ASSERT_TRUE(blob.find(RESOURCE_STRING, 5, 0x0409, &text));
  EXPECT_EQ("en", text);
  EXPECT_FALSE(blob.find(RESOURCE_STRING, 5, 0x0809, &text));
  EXPECT_FALSE(blob.find(RESOURCE_STRING, 4, 0, &text));
  ASSERT_TRUE(blob.find(RESOURCE_STRING, 5, &text));  // any language: neutral first
  EXPECT_EQ("neutral", text);
  ASSERT_TRUE(blob.find(RESOURCE_STRING, 4, &text));
  EXPECT_EQ("four", text);
  EXPECT_EQ((std::vector<uint16_t>{0, 0x0407, 0x0409}), blob.languages(RESOURCE_STRING, 5));
  EXPECT_TRUE(blob.languages(RESOURCE_MESSAGE, 4).empty());
  EXPECT_TRUE(blob.has_kind(RESOURCE_MESSAGE));
  EXPECT_FALSE(blob.has_kind(RESOURCE_VERSION));

  // Without the flag no entry may carry a language; unknown flags are
  // refused; two entries may not be alike in kind, id and language.
  std::vector<uint8_t> bad = plain;
  bad[26] = 0x07;
  EXPECT_FALSE(blob.parse(bad.data(), bad.size()));
  bad = bytes;
  bad[16] = 0x3;
  EXPECT_FALSE(blob.parse(bad.data(), bad.size()));
  bad = bytes;
  bad[16] = 0;
  EXPECT_FALSE(blob.parse(bad.data(), bad.size()));
  std::vector<uint8_t> twice = serialize_resources({{RESOURCE_STRING, 5, "a", 0x0407},
                                                    {RESOURCE_STRING, 5, "b", 0x0409}});
  twice[24 + 16 + 2] = 0x07;  // second entry becomes 0x0407 too
  twice[24 + 16 + 3] = 0x04;
  EXPECT_FALSE(blob.parse(twice.data(), twice.size()));
}

TEST_F(ResourceLanguage, LoadStringFollowsTheThreadLocaleThenFallsBack) {
  HMODULE m = module_from(
      "STRINGTABLE { 3 \"neutral three\" }\n"
      "LANGUAGE LANG_ENGLISH, SUBLANG_ENGLISH_US\n"
      "STRINGTABLE { 1 \"install: %d\" 2 \"english two\" 4 \"us four\" }\n"
      "LANGUAGE LANG_GERMAN, SUBLANG_GERMAN\n"
      "STRINGTABLE { 1 \"installieren: %d\" 3 \"deutsch drei\" 5 \"nur deutsch\" }\n"
      "LANGUAGE LANG_ENGLISH, SUBLANG_ENGLISH_UK\n"
      "STRINGTABLE { 4 \"uk four\" }\n");
  ASSERT_NE(nullptr, m);

  ASSERT_TRUE(SetThreadLocale(0x0407));
  EXPECT_EQ("installieren: %d", load(m, 1));
  EXPECT_EQ("english two", load(m, 2));    // no German: English
  EXPECT_EQ("deutsch drei", load(m, 3));   // German before neutral
  EXPECT_EQ("us four", load(m, 4));        // English (US) before other English
  EXPECT_EQ("nur deutsch", load(m, 5));

  ASSERT_TRUE(SetThreadLocale(0x0409));
  EXPECT_EQ("install: %d", load(m, 1));
  EXPECT_EQ("neutral three", load(m, 3));  // neutral before any other
  EXPECT_EQ("nur deutsch", load(m, 5));    // last resort: any language

  // English (UK) takes its own text, then another English one.
  ASSERT_TRUE(SetThreadLocale(0x0809));
  EXPECT_EQ("uk four", load(m, 4));
  EXPECT_EQ("install: %d", load(m, 1));

  // LoadStringW hands out per-language texts by pointer: both stay valid.
  const WCHAR* german = nullptr;
  const WCHAR* english = nullptr;
  ASSERT_TRUE(SetThreadLocale(0x0407));
  EXPECT_EQ(16, LoadStringW(m, 1, reinterpret_cast<WCHAR*>(&german), 0));
  ASSERT_TRUE(SetThreadLocale(0x0409));
  EXPECT_EQ(11, LoadStringW(m, 1, reinterpret_cast<WCHAR*>(&english), 0));
  EXPECT_EQ(std::u16string(u"installieren: %d"), std::u16string(german, 16));
  EXPECT_EQ(std::u16string(u"install: %d"), std::u16string(english, 11));

  SetLastError(0);
  EXPECT_EQ("<missing>", load(m, 6));
  EXPECT_EQ(ERROR_RESOURCE_NAME_NOT_FOUND, GetLastError());
  FreeLibrary(m);
}

}  // namespace
