#include "platform/netapi/net_account_util.h"

#include "platform/accounts/account_auth.h"
#include "platform/network/wtf8.h"

std::u16string net_wide(const std::string& text) { return nt_utf16_from_wtf8(text); }

std::string net_utf8(LPCWSTR text) { return text ? nt_wtf8_from_utf16(text) : std::string(); }

NET_API_STATUS net_open_accounts(LPCWSTR servername, NtMachineRef* machine,
                                 NtAccountAuthority* db) {
  DWORD err = nt_open_machine_w(servername, machine);
  if (err != ERROR_SUCCESS) return err;
  return nt_account_authority_of(*machine, db);
}

NET_API_STATUS net_require_admin(const NtMachineRef& machine) {
  return nt_caller_is_admin(machine.name) ? NERR_Success : ERROR_ACCESS_DENIED;
}

bool net_valid_account_name(std::u16string_view name, size_t limit) {
  if (name.empty() || name.size() > limit) return false;
  bool only_dots_blanks = true;
  for (char16_t c : name) {
    if (c < 32 || c == 127) return false;
    if (std::u16string_view(u"\"/\\[]:;|=,+*?<>").find(c) != std::u16string_view::npos)
      return false;
    if (c != u'.' && c != u' ') only_dots_blanks = false;
  }
  return !only_dots_blanks;
}

bool net_text_fits(LPCWSTR text, size_t limit) {
  if (text == nullptr) return true;
  size_t n = 0;
  while (text[n] != 0) {
    if (++n > limit) return false;
  }
  return true;
}

// Counting (no block) adds the most padding an item can need, so that the
// items of several records written one after the other always fit.
LPWSTR NetBlobWriter::text(std::u16string_view text) {
  used_ = data_ ? (used_ + 1) / 2 * 2 : used_ + 1;
  size_t bytes = (text.size() + 1) * sizeof(WCHAR);
  LPWSTR out = nullptr;
  if (data_ != nullptr && used_ + bytes <= size_) {
    out = reinterpret_cast<LPWSTR>(data_ + used_);
    std::memcpy(out, text.data(), text.size() * sizeof(WCHAR));
    out[text.size()] = 0;
  }
  used_ += bytes;
  return out;
}

BYTE* NetBlobWriter::bytes(std::string_view data) {
  if (data.empty()) return nullptr;
  used_ = data_ ? (used_ + 7) / 8 * 8 : used_ + 7;
  BYTE* out = nullptr;
  if (data_ != nullptr && used_ + data.size() <= size_) {
    out = data_ + used_;
    std::memcpy(out, data.data(), data.size());
  }
  used_ += data.size();
  return out;
}

NET_API_STATUS net_alloc_block(size_t records, size_t data, BYTE** block) {
  size_t total = records + data;
  if (total > 0xFFFFFFFFu) return ERROR_NOT_ENOUGH_MEMORY;
  void* p = nullptr;
  NET_API_STATUS status = NetApiBufferAllocate(static_cast<DWORD>(total), &p);
  if (status != NERR_Success) return status;
  *block = static_cast<BYTE*>(p);
  return NERR_Success;
}
