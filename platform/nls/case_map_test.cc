#include <gtest/gtest.h>

#include <string>

#include "platform/nls/codepage.h"
#include "platform/nls/nls_test_env.h"

namespace {

std::string upper_a(std::string text) {
  CharUpperBuffA(text.data(), static_cast<DWORD>(text.size()));
  return text;
}

std::string lower_a(std::string text) {
  CharLowerBuffA(text.data(), static_cast<DWORD>(text.size()));
  return text;
}

TEST(CaseMapping, WideCharacters) {
  struct Pair {
    WCHAR lower, upper;
  } pairs[] = {
      {u'a', u'A'},     {u'z', u'Z'},     {0xE0, 0xC0},     {0xE9, 0xC9},     {0xFE, 0xDE},
      {0x101, 0x100},   {0x137, 0x136},   {0x13A, 0x139},   {0x148, 0x147},   {0x14B, 0x14A},
      {0x177, 0x176},   {0x17A, 0x179},   {0x17E, 0x17D},   {0x3B1, 0x391},   {0x3C9, 0x3A9},
      {0x3AC, 0x386},   {0x3CE, 0x38F},   {0x3CA, 0x3AA},   {0x430, 0x410},   {0x44F, 0x42F},
      {0x451, 0x401},   {0x45F, 0x40F},   {0x463, 0x462},   {0x4C2, 0x4C1},   {0x4CF, 0x4C0},
      {0x4FF, 0x4FE},   {0x561, 0x531},   {0x1E81, 0x1E80}, {0x1EF9, 0x1EF8}, {0x2170, 0x2160},
      {0x24D0, 0x24B6}, {0xFF41, 0xFF21},
  };
  for (const auto& p : pairs) {
    EXPECT_EQ(nt_wide_upper(p.lower), p.upper) << std::hex << unsigned(p.lower);
    EXPECT_EQ(nt_wide_lower(p.upper), p.lower) << std::hex << unsigned(p.upper);
  }
  // Characters that keep their form.
  for (WCHAR c : {WCHAR(0xDF), WCHAR(0xFF), WCHAR(0xB5), WCHAR(0xF7), WCHAR(0xD7), WCHAR(0x130),
                  WCHAR(0x131), WCHAR(0x138), WCHAR(0x149), WCHAR(0x17F), WCHAR(0x390),
                  WCHAR(0x3B0), WCHAR(u'5'), WCHAR(0x20AC), WCHAR(0xD83D)}) {
    EXPECT_EQ(nt_wide_upper(c), c) << std::hex << unsigned(c);
  }
  EXPECT_EQ(nt_wide_upper(0x3C2), 0x3A3);  // final sigma
  EXPECT_EQ(nt_wide_lower(0x178), 0xFF);   // Ÿ lowers, ÿ does not upper
  EXPECT_EQ(nt_wide_lower(0x212A), u'k');  // Kelvin sign
  EXPECT_EQ(nt_wide_lower(0x130), 0x130);
}

TEST(CaseMapping, WholeRangeIsConsistent) {
  for (char32_t c = 0; c <= 0xFFFF; ++c) {
    WCHAR w = static_cast<WCHAR>(c);
    WCHAR up = nt_wide_upper(w), low = nt_wide_lower(w);
    EXPECT_EQ(nt_wide_upper(up), up) << std::hex << unsigned(c);
    EXPECT_EQ(nt_wide_lower(low), low) << std::hex << unsigned(c);
    if (up != w && c != 0x3C2) {
      EXPECT_EQ(nt_wide_lower(up), w) << std::hex << unsigned(c);
    }
    if (low != w && c != 0x178 && c != 0x2126 && c != 0x212A && c != 0x212B) {
      EXPECT_EQ(nt_wide_upper(low), w) << std::hex << unsigned(c);
    }
    if (up != w && low != w) ADD_FAILURE() << "both cases for " << std::hex << unsigned(c);
  }
}

TEST(CaseMapping, WideBuffers) {
  std::u16string text = u"\u00e9t\u00e9 \u00df";
  EXPECT_EQ(CharUpperBuffW(text.data(), 2), 2u);
  EXPECT_EQ(text, u"\u00c9T\u00e9 \u00df");
  EXPECT_EQ(CharLowerBuffW(text.data(), static_cast<DWORD>(text.size())), 5u);
  EXPECT_EQ(text, u"\u00e9t\u00e9 \u00df");
  EXPECT_EQ(CharUpperBuffW(nullptr, 3), 0u);
}

TEST(CaseMapping, Utf8AnsiKeepsTheByteLength) {
  NlsEnv env;
  env.pages("65001", "850");
  EXPECT_EQ(upper_a("h\xC3\xA9llo w\xC3\xB6rld \xC3\x9F \xC3\xBF"),
            "H\xC3\x89LLO W\xC3\x96RLD \xC3\x9F \xC3\xBF");
  EXPECT_EQ(upper_a("\xD0\xB4\xCE\xB1\xE1\xBA\x81"), "\xD0\x94\xCE\x91\xE1\xBA\x80");
  EXPECT_EQ(lower_a("\xC3\x89T\xC3\x89"), "\xC3\xA9t\xC3\xA9");
  // The Kelvin sign lowers to 'k' in UTF-16 but that would shrink it here.
  EXPECT_EQ(lower_a("\xE2\x84\xAA" "K"), "\xE2\x84\xAA" "k");
  // Invalid bytes stay and do not stop the walk.
  EXPECT_EQ(upper_a("\xFF" "a\xC3" "b"), "\xFF" "A\xC3" "B");
  // A character cut by the length stays as it is.
  std::string text = "\xC3\xA9\xC3\xA9";
  EXPECT_EQ(CharUpperBuffA(text.data(), 3), 3u);
  EXPECT_EQ(text, "\xC3\x89\xC3\xA9");
  EXPECT_EQ(CharUpperBuffA(nullptr, 3), 0u);
}

TEST(CaseMapping, SingleByteAnsiPages) {
  NlsEnv env;
  env.pages("1252", "850");
  EXPECT_EQ(upper_a("\xE9\x9A\x9C\x9E\xDF\xFF\xB5"), "\xC9\x8A\x8C\x8E\xDF\xFF\xB5");
  EXPECT_EQ(lower_a("\xC9\x8A\x9F" "AB"), "\xE9\x9A\xFF" "ab");
  env.pages("850", "850");
  EXPECT_EQ(upper_a("\x82\x9B\xE7\xD5"), "\x90\x9D\xE8\xD5");
  env.pages("437", "437");
  // σ has its capital in 437; á and α have none and stay.
  EXPECT_EQ(upper_a("\xE5\xA0\xE0\x84"), "\xE4\xA0\xE0\x8E");
  EXPECT_EQ(lower_a("\xE4\x8E"), "\xE5\x84");
}

}  // namespace
