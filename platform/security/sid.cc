#include "platform/security/sid.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/kernel/error.h"
#include "platform/nls/codepage.h"
#include "platform/kernel/local_memory.h"

namespace {

constexpr size_t kHeaderSize = 8;
constexpr uint64_t kMaxAuthority = 0xFFFFFFFFFFFFull;

// Bytes of the SID at `sid`, or empty when it is not valid. A valid SID is
// never longer than 68 bytes, so only its first two bytes decide how much
// may be read.
std::string_view view_of(const void* sid) {
  if (sid == nullptr) return {};
  const BYTE* p = static_cast<const BYTE*>(sid);
  if (p[0] != SID_REVISION || p[1] > SID_MAX_SUB_AUTHORITIES) return {};
  return std::string_view(static_cast<const char*>(sid), kHeaderSize + 4u * p[1]);
}

void put_le32(char* out, DWORD value) {
  for (int i = 0; i < 4; ++i) out[i] = static_cast<char>((value >> (8 * i)) & 0xFF);
}

DWORD get_le32(const char* in) {
  DWORD v = 0;
  for (int i = 3; i >= 0; --i) v = (v << 8) | static_cast<unsigned char>(in[i]);
  return v;
}

// Two-letter abbreviations of well-known SIDs.
struct Abbreviation {
  const char* letters;
  uint64_t authority;
  DWORD sub[2];
  BYTE count;
};

constexpr Abbreviation kAbbreviations[] = {
    {"WD", SECURITY_WORLD_SID_AUTHORITY, {0, 0}, 1},
    {"CO", SECURITY_CREATOR_SID_AUTHORITY, {0, 0}, 1},
    {"NU", SECURITY_NT_AUTHORITY, {SECURITY_NETWORK_RID, 0}, 1},
    {"IU", SECURITY_NT_AUTHORITY, {SECURITY_INTERACTIVE_RID, 0}, 1},
    {"AU", SECURITY_NT_AUTHORITY, {SECURITY_AUTHENTICATED_USER_RID, 0}, 1},
    {"SY", SECURITY_NT_AUTHORITY, {SECURITY_LOCAL_SYSTEM_RID, 0}, 1},
    {"BA", SECURITY_NT_AUTHORITY, {SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS}, 2},
    {"BU", SECURITY_NT_AUTHORITY, {SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_USERS}, 2},
    {"BG", SECURITY_NT_AUTHORITY, {SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_GUESTS}, 2},
    {"PU", SECURITY_NT_AUTHORITY, {SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_POWER_USERS}, 2},
    {"AO", SECURITY_NT_AUTHORITY, {SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ACCOUNT_OPS}, 2},
    {"SO", SECURITY_NT_AUTHORITY, {SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_SYSTEM_OPS}, 2},
    {"PO", SECURITY_NT_AUTHORITY, {SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_PRINT_OPS}, 2},
    {"BO", SECURITY_NT_AUTHORITY, {SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_BACKUP_OPS}, 2},
    {"RE", SECURITY_NT_AUTHORITY, {SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_REPLICATOR}, 2},
};

// Reads an unsigned number (decimal, or hexadecimal after 0x/0X) that ends
// the text or is followed by '-'. False for an empty number, another
// character or a value above `max`.
bool read_number(std::string_view text, size_t* pos, uint64_t max, uint64_t* value) {
  size_t i = *pos;
  int base = 10;
  if (i + 1 < text.size() && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X')) {
    base = 16;
    i += 2;
  }
  size_t start = i;
  uint64_t v = 0;
  while (i < text.size() && text[i] != '-') {
    char c = text[i];
    int digit;
    if (c >= '0' && c <= '9') digit = c - '0';
    else if (base == 16 && c >= 'a' && c <= 'f') digit = c - 'a' + 10;
    else if (base == 16 && c >= 'A' && c <= 'F') digit = c - 'A' + 10;
    else return false;
    if (v > (max - static_cast<uint64_t>(digit)) / static_cast<uint64_t>(base)) return false;
    v = v * static_cast<uint64_t>(base) + static_cast<uint64_t>(digit);
    ++i;
  }
  if (i == start) return false;
  *pos = i;
  *value = v;
  return true;
}

// Copies `sid` into a LocalAlloc'ed block.
bool local_copy(const std::string& sid, PSID* out) {
  void* block = LocalAlloc(LMEM_FIXED, sid.size());
  if (block == nullptr) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return false;
  }
  memcpy(block, sid.data(), sid.size());
  *out = block;
  return true;
}

template <typename Char>
bool local_text(const std::basic_string<Char>& text, Char** out) {
  size_t bytes = (text.size() + 1) * sizeof(Char);
  void* block = LocalAlloc(LMEM_FIXED, bytes);
  if (block == nullptr) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return false;
  }
  memcpy(block, text.c_str(), bytes);
  *out = static_cast<Char*>(block);
  return true;
}

}  // namespace

std::string nt_sid_make(uint64_t authority, std::initializer_list<DWORD> sub_authorities) {
  size_t count = sub_authorities.size();
  if (count > SID_MAX_SUB_AUTHORITIES) count = SID_MAX_SUB_AUTHORITIES;
  std::string sid(kHeaderSize + 4 * count, '\0');
  sid[0] = static_cast<char>(SID_REVISION);
  sid[1] = static_cast<char>(count);
  authority &= kMaxAuthority;
  for (int i = 0; i < 6; ++i) sid[2 + i] = static_cast<char>((authority >> (8 * (5 - i))) & 0xFF);
  size_t i = 0;
  for (DWORD sub : sub_authorities) {
    if (i == count) break;
    put_le32(&sid[kHeaderSize + 4 * i], sub);
    ++i;
  }
  return sid;
}

std::string nt_sid_append(std::string_view domain, DWORD rid) {
  size_t length = nt_sid_length(domain);
  if (length == 0 || static_cast<BYTE>(domain[1]) >= SID_MAX_SUB_AUTHORITIES) return {};
  std::string sid(domain.substr(0, length));
  sid[1] = static_cast<char>(static_cast<BYTE>(sid[1]) + 1);
  char rid_bytes[4];
  put_le32(rid_bytes, rid);
  sid.append(rid_bytes, 4);
  return sid;
}

size_t nt_sid_length(std::string_view bytes) {
  if (bytes.size() < kHeaderSize) return 0;
  BYTE count = static_cast<BYTE>(bytes[1]);
  if (static_cast<BYTE>(bytes[0]) != SID_REVISION || count > SID_MAX_SUB_AUTHORITIES) return 0;
  size_t length = kHeaderSize + 4u * count;
  return bytes.size() >= length ? length : 0;
}

uint64_t nt_sid_authority(std::string_view sid) {
  uint64_t v = 0;
  for (int i = 0; i < 6; ++i) v = (v << 8) | static_cast<unsigned char>(sid[2 + i]);
  return v;
}

BYTE nt_sid_count(std::string_view sid) { return static_cast<BYTE>(sid[1]); }

DWORD nt_sid_sub_authority(std::string_view sid, BYTE index) {
  return get_le32(sid.data() + kHeaderSize + 4u * index);
}

std::string nt_sid_prefix(std::string_view sid) {
  size_t length = nt_sid_length(sid);
  if (length == 0 || sid[1] == 0) return {};
  std::string prefix(sid.substr(0, length - 4));
  prefix[1] = static_cast<char>(static_cast<BYTE>(prefix[1]) - 1);
  return prefix;
}

std::string nt_sid_to_text(std::string_view sid) {
  if (nt_sid_length(sid) == 0) return {};
  std::string text = "S-1-";
  uint64_t authority = nt_sid_authority(sid);
  char number[32];
  if (authority > 0xFFFFFFFFull) {
    snprintf(number, sizeof number, "0x%012llX", static_cast<unsigned long long>(authority));
  } else {
    snprintf(number, sizeof number, "%llu", static_cast<unsigned long long>(authority));
  }
  text += number;
  for (BYTE i = 0; i < nt_sid_count(sid); ++i) {
    snprintf(number, sizeof number, "-%lu", static_cast<unsigned long>(nt_sid_sub_authority(sid, i)));
    text += number;
  }
  return text;
}

bool nt_sid_from_text(std::string_view text, std::string* sid) {
  if (text.size() == 2) {
    for (const Abbreviation& a : kAbbreviations) {
      if ((text[0] & ~0x20) == a.letters[0] && (text[1] & ~0x20) == a.letters[1]) {
        *sid = a.count == 1 ? nt_sid_make(a.authority, {a.sub[0]})
                            : nt_sid_make(a.authority, {a.sub[0], a.sub[1]});
        return true;
      }
    }
    return false;
  }
  if (text.size() < 5 || (text[0] != 'S' && text[0] != 's') || text.substr(1, 3) != "-1-")
    return false;
  size_t pos = 4;
  uint64_t authority = 0;
  if (!read_number(text, &pos, kMaxAuthority, &authority)) return false;
  DWORD subs[SID_MAX_SUB_AUTHORITIES];
  size_t count = 0;
  while (pos < text.size()) {
    ++pos;  // the '-'
    uint64_t value = 0;
    if (count == SID_MAX_SUB_AUTHORITIES || !read_number(text, &pos, 0xFFFFFFFFull, &value))
      return false;
    subs[count++] = static_cast<DWORD>(value);
  }
  std::string out = nt_sid_make(authority, {});
  out[1] = static_cast<char>(count);
  for (size_t i = 0; i < count; ++i) {
    char bytes[4];
    put_le32(bytes, subs[i]);
    out.append(bytes, 4);
  }
  *sid = std::move(out);
  return true;
}

DWORD GetSidLengthRequired(BYTE count) { return static_cast<DWORD>(kHeaderSize + 4u * count); }

BOOL IsValidSid(PSID sid) {
  if (view_of(sid).empty()) {
    SetLastError(ERROR_INVALID_SID);
    return FALSE;
  }
  return TRUE;
}

DWORD GetLengthSid(PSID sid) {
  std::string_view v = view_of(sid);
  if (v.empty()) SetLastError(ERROR_INVALID_SID);
  return static_cast<DWORD>(v.size());
}

BOOL EqualSid(PSID a, PSID b) {
  std::string_view va = view_of(a), vb = view_of(b);
  if (va.empty() || vb.empty()) {
    SetLastError(ERROR_INVALID_SID);
    return FALSE;
  }
  SetLastError(ERROR_SUCCESS);
  return va == vb ? TRUE : FALSE;
}

BOOL CopySid(DWORD size, PSID destination, PSID source) {
  std::string_view v = view_of(source);
  if (v.empty()) {
    SetLastError(ERROR_INVALID_SID);
    return FALSE;
  }
  if (destination == nullptr && size != 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  if (size < v.size()) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return FALSE;
  }
  memmove(destination, v.data(), v.size());
  return TRUE;
}

BOOL InitializeSid(PSID sid, const SID_IDENTIFIER_AUTHORITY* authority, BYTE count) {
  if (sid == nullptr || authority == nullptr || count > SID_MAX_SUB_AUTHORITIES) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  BYTE* p = static_cast<BYTE*>(sid);
  p[0] = SID_REVISION;
  p[1] = count;
  memcpy(p + 2, authority->Value, 6);
  return TRUE;
}

DWORD* GetSidSubAuthority(PSID sid, DWORD index) {
  return reinterpret_cast<DWORD*>(static_cast<BYTE*>(sid) + kHeaderSize + 4u * index);
}

BYTE* GetSidSubAuthorityCount(PSID sid) { return static_cast<BYTE*>(sid) + 1; }

SID_IDENTIFIER_AUTHORITY* GetSidIdentifierAuthority(PSID sid) {
  return reinterpret_cast<SID_IDENTIFIER_AUTHORITY*>(static_cast<BYTE*>(sid) + 2);
}

BOOL AllocateAndInitializeSid(const SID_IDENTIFIER_AUTHORITY* authority, BYTE count,
                              DWORD sub0, DWORD sub1, DWORD sub2, DWORD sub3, DWORD sub4,
                              DWORD sub5, DWORD sub6, DWORD sub7, PSID* sid) {
  if (authority == nullptr || sid == nullptr || count == 0 || count > 8) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  const DWORD subs[8] = {sub0, sub1, sub2, sub3, sub4, sub5, sub6, sub7};
  size_t size = GetSidLengthRequired(count);
  char* block = static_cast<char*>(malloc(size));
  if (block == nullptr) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return FALSE;
  }
  InitializeSid(block, authority, count);
  for (BYTE i = 0; i < count; ++i) put_le32(block + kHeaderSize + 4u * i, subs[i]);
  *sid = block;
  return TRUE;
}

void* FreeSid(PSID sid) {
  free(sid);
  return nullptr;
}

BOOL ConvertSidToStringSidA(PSID sid, char** text) {
  if (text == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  std::string_view v = view_of(sid);
  if (v.empty()) {
    SetLastError(ERROR_INVALID_SID);
    return FALSE;
  }
  return local_text(nt_sid_to_text(v), text) ? TRUE : FALSE;
}

BOOL ConvertSidToStringSidW(PSID sid, WCHAR** text) {
  if (text == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  std::string_view v = view_of(sid);
  if (v.empty()) {
    SetLastError(ERROR_INVALID_SID);
    return FALSE;
  }
  std::string ascii = nt_sid_to_text(v);
  return local_text(std::u16string(ascii.begin(), ascii.end()), text) ? TRUE : FALSE;
}

BOOL ConvertStringSidToSidA(const char* text, PSID* sid) {
  if (text == nullptr || sid == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  std::string bytes;
  if (!nt_sid_from_text(text, &bytes)) {
    SetLastError(ERROR_INVALID_SID);
    return FALSE;
  }
  return local_copy(bytes, sid) ? TRUE : FALSE;
}

BOOL ConvertStringSidToSidW(const WCHAR* text, PSID* sid) {
  if (text == nullptr || sid == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  // The text form is ASCII: any other unit makes the text invalid.
  std::string ascii;
  for (const WCHAR* p = text; *p; ++p) {
    if (*p > 0x7F) {
      SetLastError(ERROR_INVALID_SID);
      return FALSE;
    }
    ascii.push_back(static_cast<char>(*p));
  }
  std::string bytes;
  if (!nt_sid_from_text(ascii, &bytes)) {
    SetLastError(ERROR_INVALID_SID);
    return FALSE;
  }
  return local_copy(bytes, sid) ? TRUE : FALSE;
}
