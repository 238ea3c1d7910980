#include "platform/network/nt_name.h"

#include "platform/kernel/error.h"
#include "platform/network/wtf8.h"
#include "platform/nls/codepage.h"

std::string nt_upper_utf8(std::string_view text) {
  std::u16string wide = nt_utf16_from_wtf8(text);
  for (char16_t& c : wide) c = nt_wide_upper(c);
  return nt_wtf8_from_utf16(wide);
}

DWORD nt_normalize_name(std::string_view name, std::string* upper) {
  std::u16string wide = nt_utf16_from_wtf8(name);
  if (wide.empty() || wide.size() > kNtNameMaxLength) return ERROR_INVALID_NAME;
  if (wide.front() == u' ' || wide.back() == u' ') return ERROR_INVALID_NAME;
  bool dots_only = true;
  for (char16_t c : wide) {
    if (c < 0x20 || c == 0x7F || c == 0xFFFD) return ERROR_INVALID_NAME;
    if (std::u16string_view(u"\\/:*?\"<>|").find(c) != std::u16string_view::npos)
      return ERROR_INVALID_NAME;
    if (c != u'.') dots_only = false;
  }
  if (dots_only) return ERROR_INVALID_NAME;
  for (char16_t& c : wide) c = nt_wide_upper(c);
  *upper = nt_wtf8_from_utf16(wide);
  return ERROR_SUCCESS;
}

DWORD nt_normalize_machine_name(std::string_view name, std::string* upper) {
  if (name.size() >= 2 && name[0] == '\\' && name[1] == '\\') name.remove_prefix(2);
  return nt_normalize_name(name, upper);
}
