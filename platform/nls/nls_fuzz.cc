// Feeds arbitrary bytes to the conversions and the locale formatting and
// checks what must hold for any input: sizes asked for match sizes written,
// valid text survives a round trip, nothing is written past the buffers.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/nls/codepage.h"
#include "platform/nls/locale.h"

namespace {

const UINT kPages[] = {CP_UTF8, 1252, 850, 437};
const LCID kLocales[] = {0x0409, 0x0809, 0x0407, 0x0807, 0x040C,
                         0x0410, 0x0C0A, 0x0413, 0x041D, 0x0416};

void check(bool ok) {
  if (!ok) std::abort();
}

void conversions(UINT page, const std::string& text) {
  int n = static_cast<int>(text.size());
  int need = MultiByteToWideChar(page, 0, text.data(), n, nullptr, 0);
  check(need > 0 && need <= n);
  std::vector<WCHAR> wide(static_cast<size_t>(need));
  check(MultiByteToWideChar(page, 0, text.data(), n, wide.data(), need) == need);
  if (need > 1) check(MultiByteToWideChar(page, 0, text.data(), n, wide.data(), need - 1) == 0);
  int bytes = WideCharToMultiByte(page, 0, wide.data(), need, nullptr, 0, nullptr, nullptr);
  check(bytes > 0);
  std::string back(static_cast<size_t>(bytes), '\0');
  check(WideCharToMultiByte(page, 0, wide.data(), need, back.data(), bytes, nullptr, nullptr) ==
        bytes);
  bool strict = page != CP_UTF8 ||
                MultiByteToWideChar(page, MB_ERR_INVALID_CHARS, text.data(), n, nullptr, 0) > 0;
  if (strict) check(back == text);
}

void ansi_oem(const std::string& text) {
  std::string terminated = text.substr(0, text.find('\0'));
  std::vector<char> exact(terminated.begin(), terminated.end());
  exact.push_back('\0');
  check(CharToOemA(exact.data(), exact.data()) == TRUE);
  check(std::strlen(exact.data()) <= terminated.size());
  std::vector<char> block(text.begin(), text.end());
  if (!block.empty())
    check(OemToCharBuffA(block.data(), block.data(), static_cast<DWORD>(block.size())));
  std::string upper = text;
  CharUpperBuffA(upper.data(), static_cast<DWORD>(upper.size()));
  check(nt_ansi_length(upper) == nt_ansi_length(text));
  check(nt_ansi_prefix_bytes(text, nt_ansi_length(text)) == text.size());
}

void formatting(LCID lcid, uint8_t selector, const std::string& text) {
  std::string picture = text.substr(0, text.find('\0'));
  SYSTEMTIME t{};
  t.wYear = static_cast<WORD>(1601 + selector * 37);
  t.wMonth = static_cast<WORD>(1 + selector % 12);
  t.wDay = static_cast<WORD>(1 + selector % 28);
  t.wHour = static_cast<WORD>(selector % 24);
  t.wMinute = static_cast<WORD>(selector % 60);
  t.wSecond = static_cast<WORD>((selector * 7) % 60);
  DWORD time_flags = selector & 0xF;
  for (int pass = 0; pass < 2; ++pass) {
    int need = pass == 0 ? GetDateFormatA(lcid, 0, &t, picture.c_str(), nullptr, 0)
                         : GetTimeFormatA(lcid, time_flags, &t, picture.c_str(), nullptr, 0);
    check(need > 0);
    std::vector<char> out(static_cast<size_t>(need));
    int got = pass == 0 ? GetDateFormatA(lcid, 0, &t, picture.c_str(), out.data(), need)
                        : GetTimeFormatA(lcid, time_flags, &t, picture.c_str(), out.data(), need);
    check(got == need && std::strlen(out.data()) + 1 == static_cast<size_t>(need));
  }
  char dec[] = ".", sep[] = ",";
  NUMBERFMTA f{static_cast<UINT>(selector % 10), static_cast<UINT>(selector & 1),
               static_cast<UINT>(selector % 5), dec, sep, static_cast<UINT>(selector % 5)};
  int need = GetNumberFormatA(lcid, 0, picture.c_str(), &f, nullptr, 0);
  if (need > 0) {
    std::vector<char> out(static_cast<size_t>(need));
    check(GetNumberFormatA(lcid, 0, picture.c_str(), &f, out.data(), need) == need);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  static bool pages_set = [] {
    setenv("NT_ACP", "65001", 1);
    setenv("NT_OEMCP", "850", 1);
    nt_reload_code_pages();
    return true;
  }();
  (void)pages_set;
  uint8_t selector = data[0];
  std::string text(reinterpret_cast<const char*>(data + 1), size - 1);
  conversions(kPages[selector % 4], text);
  ansi_oem(text);
  formatting(kLocales[selector % 10], selector, text);
  return 0;
}
