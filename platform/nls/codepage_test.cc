#include "platform/nls/codepage.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "platform/kernel/error.h"
#include "platform/nls/nls_test_env.h"

namespace {

std::u16string to_wide(UINT page, const std::string& bytes, DWORD flags = 0) {
  WCHAR buf[64];
  int n = MultiByteToWideChar(page, flags, bytes.data(), static_cast<int>(bytes.size()), buf, 64);
  return std::u16string(buf, n > 0 ? static_cast<size_t>(n) : 0);
}

std::string to_bytes(UINT page, const std::u16string& text, DWORD flags = 0) {
  char buf[64];
  int n = WideCharToMultiByte(page, flags, text.data(), static_cast<int>(text.size()), buf, 64,
                              nullptr, nullptr);
  return std::string(buf, n > 0 ? static_cast<size_t>(n) : 0);
}

TEST(SingleBytePages, EveryByteSurvivesTheTripThroughUtf16) {
  for (UINT page : {1252u, 850u, 437u}) {
    char all[256];
    for (int b = 0; b < 256; ++b) all[b] = static_cast<char>(b);
    WCHAR wide[256];
    ASSERT_EQ(MultiByteToWideChar(page, 0, all, 256, wide, 256), 256) << page;
    char back[256];
    BOOL used = TRUE;
    ASSERT_EQ(WideCharToMultiByte(page, 0, wide, 256, back, 256, nullptr, &used), 256) << page;
    EXPECT_FALSE(used) << page;
    EXPECT_EQ(std::memcmp(all, back, 256), 0) << page;
    for (int b = 0; b < 128; ++b) EXPECT_EQ(wide[b], b) << page;
  }
}

TEST(SingleBytePages, KnownCharacters) {
  EXPECT_EQ(to_wide(1252, "\x80\xE9\x9F\x8A\xA0"), u"\u20AC\u00E9\u0178\u0160\u00A0");
  EXPECT_EQ(to_wide(850, "\x82\x81\xE1\x9B\xD5\xFF"), u"\u00E9\u00FC\u00DF\u00F8\u0131\u00A0");
  EXPECT_EQ(to_wide(437, "\xE1\x9B\xB0\xE4\xFB"), u"\u00DF\u00A2\u2591\u03A3\u221A");
  EXPECT_EQ(to_bytes(1252, u"\u20AC\u00FF"), "\x80\xFF");
  EXPECT_EQ(to_bytes(850, u"\u00E9\u00D8"), "\x82\x9D");
  EXPECT_EQ(to_bytes(437, u"\u00DF\u03C0"), "\xE1\xE3");
}

TEST(CodePageSelection, ComesFromTheEnvironmentOnce) {
  NlsEnv env;
  env.pages(nullptr, nullptr);
  EXPECT_EQ(GetACP(), CP_UTF8);
  EXPECT_EQ(GetOEMCP(), CP_UTF8);
  env.pages("1252", "850");
  EXPECT_EQ(GetACP(), 1252u);
  EXPECT_EQ(GetOEMCP(), 850u);
  EXPECT_EQ(to_wide(CP_ACP, "\xE9"), u"\u00E9");
  EXPECT_EQ(to_wide(CP_OEMCP, "\x82"), u"\u00E9");
  EXPECT_EQ(to_wide(CP_THREAD_ACP, "\x80"), u"\u20AC");
  // Read once: a later change is not seen until the pages are read again.
  env.set("NT_ACP", "437");
  EXPECT_EQ(GetACP(), 1252u);
  for (const char* odd : {"", "1250", "abc", "1252x", "-1"}) {
    env.pages(odd, "437");
    EXPECT_EQ(GetACP(), CP_UTF8) << odd;
    EXPECT_EQ(GetOEMCP(), 437u);
  }
  EXPECT_TRUE(IsValidCodePage(850));
  EXPECT_FALSE(IsValidCodePage(1250));
}

TEST(MultiByteToWideChar, SizesAndBuffers) {
  WCHAR buf[8];
  EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, "abc", -1, nullptr, 0), 4);
  EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, "abc", -1, buf, 4), 4);
  EXPECT_EQ(buf[3], 0);
  EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, "abc", 3, nullptr, 0), 3);
  // Too small: fails and writes nothing past the given size.
  for (auto& u : buf) u = u'#';
  SetLastError(0);
  EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, "abc", -1, buf, 3), 0);
  EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
  EXPECT_EQ(buf[3], u'#');
  // A pair needs both units.
  const char* emoji = "a\xF0\x9F\x98\x80";
  EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, emoji, 5, nullptr, 0), 3);
  EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, emoji, 5, buf, 2), 0);
  EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
  EXPECT_EQ(MultiByteToWideChar(1252, 0, "\xE9\xE9", 2, buf, 1), 0);
  EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
}

TEST(MultiByteToWideChar, RejectsBadArguments) {
  WCHAR buf[8];
  char same[8] = "abc";
  struct Case {
    UINT page;
    DWORD flags;
    const char* src;
    int srclen;
    WCHAR* dst;
    int dstlen;
    DWORD error;
  } cases[] = {
      {CP_UTF8, 0, nullptr, 3, buf, 8, ERROR_INVALID_PARAMETER},
      {CP_UTF8, 0, "abc", 0, buf, 8, ERROR_INVALID_PARAMETER},
      {CP_UTF8, 0, "abc", -2, buf, 8, ERROR_INVALID_PARAMETER},
      {CP_UTF8, 0, "abc", 3, buf, -1, ERROR_INVALID_PARAMETER},
      {CP_UTF8, 0, "abc", 3, nullptr, 8, ERROR_INVALID_PARAMETER},
      {CP_UTF8, 0, same, 3, reinterpret_cast<WCHAR*>(same), 4, ERROR_INVALID_PARAMETER},
      {1250, 0, "abc", 3, buf, 8, ERROR_INVALID_PARAMETER},
      {65000, 0, "abc", 3, buf, 8, ERROR_INVALID_PARAMETER},
      {CP_UTF8, MB_PRECOMPOSED, "abc", 3, buf, 8, ERROR_INVALID_FLAGS},
      {1252, 0x2 /* composite */, "abc", 3, buf, 8, ERROR_INVALID_FLAGS},
  };
  for (const auto& c : cases) {
    SetLastError(0);
    EXPECT_EQ(MultiByteToWideChar(c.page, c.flags, c.src, c.srclen, c.dst, c.dstlen), 0);
    EXPECT_EQ(GetLastError(), c.error) << c.page << " " << c.srclen << " " << c.dstlen;
  }
  EXPECT_EQ(MultiByteToWideChar(1252, MB_PRECOMPOSED, "abc", 3, buf, 8), 3);
}

TEST(Utf8Decoding, ValidSequencesAtTheBoundaries) {
  EXPECT_EQ(to_wide(CP_UTF8, "\x7F\xC2\x80\xDF\xBF\xE0\xA0\x80\xEF\xBF\xBF"),
            u"\u007F\u0080\u07FF\u0800\uFFFF");
  EXPECT_EQ(to_wide(CP_UTF8, "\xF0\x90\x80\x80\xF4\x8F\xBF\xBF"), u"\U00010000\U0010FFFF");
  EXPECT_EQ(to_wide(CP_UTF8, "a\xC3\xA9\xE2\x82\xAC", MB_ERR_INVALID_CHARS), u"a\u00E9\u20AC");
}

TEST(Utf8Decoding, InvalidSequencesBecomeReplacementCharacters) {
  const std::u16string r = u"\uFFFD";
  EXPECT_EQ(to_wide(CP_UTF8, "\x80"), r);                 // stray continuation
  EXPECT_EQ(to_wide(CP_UTF8, "\xC0\xAF"), r + r);         // overlong '/'
  EXPECT_EQ(to_wide(CP_UTF8, "\xE0\x80\x80"), r + r + r);  // overlong
  EXPECT_EQ(to_wide(CP_UTF8, "\xED\xA0\x80"), r + r + r);  // encoded surrogate
  EXPECT_EQ(to_wide(CP_UTF8, "\xF4\x90\x80\x80"), r + r + r + r);  // above U+10FFFF
  EXPECT_EQ(to_wide(CP_UTF8, "\xE2\x82"), r);             // cut at the end: one part
  EXPECT_EQ(to_wide(CP_UTF8, "\xE2\x82" "A"), r + u"A");  // cut before a letter
  EXPECT_EQ(to_wide(CP_UTF8, "\xF8\xFF" "b"), r + r + u"b");
  WCHAR buf[8];
  SetLastError(0);
  EXPECT_EQ(MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, "ok\xE2\x82", 4, buf, 8), 0);
  EXPECT_EQ(GetLastError(), ERROR_NO_UNICODE_TRANSLATION);
}

TEST(WideCharToMultiByte, Utf8) {
  EXPECT_EQ(to_bytes(CP_UTF8, u"a\u00E9\u20AC\U0001F600"), "a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80");
  // Lone surrogates, wherever they stand.
  EXPECT_EQ(to_bytes(CP_UTF8, u"\xD800" u"a"), "\xEF\xBF\xBD" "a");
  EXPECT_EQ(to_bytes(CP_UTF8, u"a\xDC00"), "a\xEF\xBF\xBD");
  EXPECT_EQ(to_bytes(CP_UTF8, u"\xDC00\xD800"), "\xEF\xBF\xBD\xEF\xBF\xBD");
  char buf[8];
  const WCHAR lone[] = {u'a', 0xD800, 0};
  SetLastError(0);
  EXPECT_EQ(WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, lone, -1, buf, 8, nullptr, nullptr),
            0);
  EXPECT_EQ(GetLastError(), ERROR_NO_UNICODE_TRANSLATION);
  BOOL used;
  EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, u"a", 1, buf, 8, nullptr, &used), 0);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, u"a", 1, buf, 8, "?", nullptr), 0);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  // Sizes: -1 counts the terminator; a character is written whole or not at all.
  EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, u"\u00E9", -1, nullptr, 0, nullptr, nullptr), 3);
  std::memset(buf, '#', sizeof buf);
  EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, u"a\u00E9", 2, buf, 2, nullptr, nullptr), 0);
  EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
  EXPECT_EQ(buf[1], '#');
  EXPECT_EQ(buf[2], '#');
}

TEST(WideCharToMultiByte, SingleBytePagesUseTheDefaultCharacter) {
  char buf[8];
  BOOL used = FALSE;
  EXPECT_EQ(WideCharToMultiByte(850, 0, u"a\u20ACb", 3, buf, 8, nullptr, &used), 3);
  EXPECT_EQ(std::string(buf, 3), "a?b");
  EXPECT_TRUE(used);
  EXPECT_EQ(WideCharToMultiByte(1252, 0, u"\u20AC", 1, buf, 8, nullptr, &used), 1);
  EXPECT_FALSE(used);
  EXPECT_EQ(buf[0], '\x80');
  // A pair is one character and gets one default character.
  EXPECT_EQ(WideCharToMultiByte(1252, 0, u"x\U0001F600y", 4, buf, 8, "#", &used), 3);
  EXPECT_EQ(std::string(buf, 3), "x#y");
  EXPECT_TRUE(used);
  EXPECT_EQ(to_bytes(437, u"\u0100"), "?");
  SetLastError(0);
  EXPECT_EQ(WideCharToMultiByte(1252, WC_ERR_INVALID_CHARS, u"a", 1, buf, 8, nullptr, nullptr), 0);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_FLAGS);
  EXPECT_EQ(WideCharToMultiByte(1252, WC_NO_BEST_FIT_CHARS, u"\u0100", 1, buf, 8, nullptr, nullptr),
            1);
  EXPECT_EQ(buf[0], '?');
}

TEST(MultiByteToWideChar, GlyphCharactersOfOemPages) {
  EXPECT_EQ(to_wide(437, std::string("\x01\x1F\x7F" "A", 4), MB_USEGLYPHCHARS),
            u"\u263A\u25BC\u2302A");
  EXPECT_EQ(to_wide(850, std::string("\x00\x01", 2), MB_USEGLYPHCHARS),
            std::u16string(u"\0\u263A", 2));
  EXPECT_EQ(to_wide(437, "\x01"), u"\x01");
  EXPECT_EQ(to_wide(1252, "\x01", MB_USEGLYPHCHARS), u"\x01");
}

TEST(AnsiOem, ConvertsBetweenDifferentPages) {
  NlsEnv env;
  env.pages("1252", "850");
  char buf[16];
  EXPECT_TRUE(CharToOemA("caf\xE9 \x80", buf));
  EXPECT_STREQ(buf, "caf\x82 ?");
  EXPECT_TRUE(OemToCharA("caf\x82", buf));
  EXPECT_STREQ(buf, "caf\xE9");
  char in_place[] = "\xE9t\xE9";
  EXPECT_TRUE(CharToOemA(in_place, in_place));
  EXPECT_STREQ(in_place, "\x82t\x82");
  // The Buff forms take exactly `length` bytes, NUL bytes included.
  char block[] = {'\xE9', '\0', '\xFC', 'x'};
  EXPECT_TRUE(CharToOemBuffA(block, buf, 3));
  EXPECT_EQ(std::string(buf, 3), std::string("\x82\0\x81", 3));
  buf[1] = '#';
  EXPECT_TRUE(OemToCharBuffA("\x81\x82", buf, 1));
  EXPECT_EQ(buf[0], '\xFC');
  EXPECT_EQ(buf[1], '#');
  EXPECT_EQ(nt_ansi_to_oem("\xC4rger"), "\x8Erger");
  EXPECT_EQ(nt_oem_to_ansi("\x8Erger"), "\xC4rger");
  SetLastError(0);
  EXPECT_FALSE(CharToOemA(nullptr, buf));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  EXPECT_FALSE(OemToCharBuffA("a", nullptr, 1));
}

TEST(AnsiOem, SamePageIsACopy) {
  NlsEnv env;
  env.pages(nullptr, nullptr);
  char buf[8];
  EXPECT_TRUE(CharToOemA("\xFF\xC3\xA9", buf));  // even invalid UTF-8 is kept
  EXPECT_STREQ(buf, "\xFF\xC3\xA9");
  EXPECT_EQ(nt_ansi_to_oem("\xFF"), "\xFF");
}

TEST(AnsiOem, GrowingConversionsNeverWritePastTheSource) {
  NlsEnv env;
  env.pages("1252", "65001");
  char buf[8];
  std::memset(buf, '#', sizeof buf);
  // "éé" is two bytes in 1252 and four in UTF-8: one whole é fits.
  EXPECT_TRUE(CharToOemA("\xE9\xE9", buf));
  EXPECT_STREQ(buf, "\xC3\xA9");
  EXPECT_EQ(buf[3], '#');
  // "aé": the second character would be cut in half, so it goes.
  std::memset(buf, '#', sizeof buf);
  EXPECT_TRUE(CharToOemA("a\xE9", buf));
  EXPECT_STREQ(buf, "a");
  EXPECT_EQ(buf[2], '#');
  char in_place[4] = "\xE9z";
  EXPECT_TRUE(CharToOemA(in_place, in_place));
  EXPECT_STREQ(in_place, "\xC3\xA9");
  // Buff: exactly `length` bytes, the gap after a cut filled with NUL.
  std::memset(buf, '#', sizeof buf);
  EXPECT_TRUE(CharToOemBuffA("a\xE9", buf, 2));
  EXPECT_EQ(std::string(buf, 3), std::string("a\0#", 3));
  EXPECT_EQ(nt_ansi_to_oem("a\xE9"), "a\xC3\xA9");  // the string form keeps it all
}

TEST(AnsiOem, ShrinkingConversionsAreTerminatedAndPadded) {
  NlsEnv env;
  env.pages("65001", "850");
  char buf[8];
  std::memset(buf, '#', sizeof buf);
  EXPECT_TRUE(CharToOemA("\xC3\xA9t\xC3\xA9", buf));
  EXPECT_STREQ(buf, "\x82t\x82");
  std::memset(buf, '#', sizeof buf);
  EXPECT_TRUE(CharToOemBuffA("\xC3\xA9" "a", buf, 3));
  EXPECT_EQ(std::string(buf, 4), std::string("\x82" "a\0#", 4));
  // The other way grows: of two é only one fits, of one none.
  EXPECT_TRUE(OemToCharA("\x82\x82", buf));
  EXPECT_STREQ(buf, "\xC3\xA9");
  EXPECT_TRUE(OemToCharA("\x82", buf));
  EXPECT_STREQ(buf, "");
}

TEST(AnsiText, CharacterCountsAndPrefixes) {
  NlsEnv env;
  env.pages("65001", "850");
  const std::string text = "a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80z";
  EXPECT_EQ(nt_ansi_length(text), 5u);
  EXPECT_EQ(nt_ansi_length(""), 0u);
  EXPECT_EQ(nt_ansi_length("\xFF\xFE"), 2u);  // stray bytes count one each
  EXPECT_EQ(nt_ansi_prefix_bytes(text, 0), 0u);
  EXPECT_EQ(nt_ansi_prefix_bytes(text, 2), 3u);
  EXPECT_EQ(nt_ansi_prefix_bytes(text, 4), 10u);
  EXPECT_EQ(nt_ansi_prefix_bytes(text, 99), text.size());
  EXPECT_EQ(nt_wide_to_ansi(nt_ansi_to_wide(text)), text);
  env.pages("1252", "850");
  EXPECT_EQ(nt_ansi_length(text), text.size());
  EXPECT_EQ(nt_ansi_prefix_bytes(text, 2), 2u);
  EXPECT_EQ(nt_ansi_prefix_bytes("ab", 5), 2u);
  EXPECT_EQ(nt_ansi_to_wide("\x80"), u"\u20AC");
  EXPECT_EQ(nt_wide_to_ansi(u"\u20AC\u0100"), "\x80?");
}

}  // namespace
