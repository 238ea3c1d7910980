#include "grants/grants.h"

#include <cstdio>
#include <cstring>
#include <vector>

#include "grants/grant_text.h"
#include "platform/kernel/error.h"
#include "platform/nls/codepage.h"
#include "platform/security/account_lookup.h"

namespace {

char g_label[16] = "USEC";

template <typename... Args>
void message(const char* format, Args... args) {
  fflush(stdout);
  fputs(g_label, stderr);
  fprintf(stderr, format, args...);
}

// Characters of an ANSI text (the code page's, not bytes).
size_t chars(const std::string& text) { return nt_ansi_to_wide(text).size(); }

bool upper_equal(const std::u16string& a, const std::u16string& b) {
  std::u16string x = a, y = b;
  CharUpperBuffW(x.data(), static_cast<DWORD>(x.size()));
  CharUpperBuffW(y.data(), static_cast<DWORD>(y.size()));
  return x == y;
}

// Appends one ACE with explicit flags at the end of the list.
BOOL append_ace(PACL acl, BYTE type, BYTE flags, DWORD mask, PSID sid) {
  DWORD sid_length = GetLengthSid(sid);
  std::vector<BYTE> ace(8 + sid_length);
  WORD size = static_cast<WORD>(ace.size());
  ace[0] = type;
  ace[1] = flags;
  std::memcpy(&ace[2], &size, 2);
  std::memcpy(&ace[4], &mask, 4);
  std::memcpy(&ace[8], sid, sid_length);
  return AddAce(acl, ACL_REVISION, MAXDWORD, ace.data(), size);
}

}  // namespace

void grants_set_label(const char* label) {
  snprintf(g_label, sizeof g_label, "%s", label ? label : "");
}

bool name_to_sid(const WCHAR* server, const char* name, PSID sid, DWORD sid_size) {
  std::string whole = name ? name : "";
  std::string domain, account = whole;
  size_t slash = whole.find('\\');
  if (slash != std::string::npos) {
    domain = whole.substr(0, slash);
    account = whole.substr(slash + 1);
  }
  // No account is named like that: a name is never cut into another one.
  if (account.empty() || chars(account) > GRANT_NAME_PART_MAX ||
      chars(domain) > GRANT_NAME_PART_MAX) {
    message("-ERROR, LookupAccountName(%s) failed, error=%ld\n", whole.c_str(),
            static_cast<long>(ERROR_NONE_MAPPED));
    return false;
  }
  std::u16string waccount = nt_ansi_to_wide(account);
  WCHAR found_domain[GRANTS_NAME_CHARS];
  DWORD domain_size = GRANTS_NAME_CHARS;
  DWORD size = sid_size;
  SID_NAME_USE use;
  if (!LookupAccountNameW(server && server[0] ? server : nullptr, waccount.c_str(), sid, &size,
                          found_domain, &domain_size, &use)) {
    message("-ERROR, LookupAccountName(%s) failed, error=%ld\n", whole.c_str(),
            static_cast<long>(GetLastError()));
    return false;
  }
  if (slash != std::string::npos && !upper_equal(nt_ansi_to_wide(domain), found_domain)) {
    message("-ERROR, LookupAccountName(%s) failed\n", whole.c_str());
    message("-ERROR, target domain '%s' != resulting domain '%s'\n", domain.c_str(),
            nt_wide_to_ansi(found_domain).c_str());
    return false;
  }
  return true;
}

bool sid_to_name(const WCHAR* server, PSID sid, std::string* domain, std::string* name) {
  WCHAR wname[GRANTS_NAME_CHARS];
  WCHAR wdomain[GRANTS_NAME_CHARS];
  DWORD name_size = GRANTS_NAME_CHARS;
  DWORD domain_size = GRANTS_NAME_CHARS;
  SID_NAME_USE use;
  domain->clear();
  if (!LookupAccountSidW(server && server[0] ? server : nullptr, sid, wname, &name_size, wdomain,
                         &domain_size, &use)) {
    DWORD error = GetLastError();
    if (error == ERROR_NONE_MAPPED) {
      *name = "AccountUnknown";
      message("-ERROR, SID unknown\n");
    } else {
      *name = "ERROR";
      message("-ERROR, LookupAccountSid() failed, error=%ld\n", static_cast<long>(error));
      message("-ERROR, Required:%ld,%ld\n", static_cast<long>(name_size),
              static_cast<long>(domain_size));
    }
    return false;
  }
  *domain = nt_wide_to_ansi(wdomain);
  *name = wname[0] ? nt_wide_to_ansi(wname) : std::string("AccountDeleted");
  return true;
}

int grants_to_acl(const WCHAR* server, const char* text, PACL acl, DWORD acl_size) {
  std::vector<GrantEntry> entries = parse_grants(text);
  uint64_t wanted = GRANTS_ACL_BYTES_PER_ENTRY * static_cast<uint64_t>(entries.size()) + 8;
  DWORD length = wanted < acl_size ? static_cast<DWORD>(wanted) : acl_size;
  if (!InitializeAcl(acl, length, ACL_REVISION)) {
    message("-ERROR, InitializeAcl() failed, error=%ld\n", static_cast<long>(GetLastError()));
    return 0;
  }
  int added = 0;
  alignas(4) BYTE sid[GRANTS_SID_SIZE];
  for (const GrantEntry& entry : entries) {
    if (!entry.access_ok) {
      message("-ERROR, invalid access type for %s, ACE ignored\n", entry.name.c_str());
      continue;
    }
    if (!name_to_sid(server, entry.name.c_str(), sid, sizeof sid)) {
      message("-ERROR, cannot map username %s, ACE ignored\n", entry.name.c_str());
      continue;
    }
    bool denied = entry.type == GRANT_ACE_DENIED;
    if (!entry.flag_letters) {
      BOOL ok = denied ? AddAccessDeniedAce(acl, ACL_REVISION, entry.mask, sid)
                       : AddAccessAllowedAce(acl, ACL_REVISION, entry.mask, sid);
      if (!ok) {
        message(denied ? "-ERROR, AddAccessDeniedAce() failed, ACE ignored, error=%ld\n"
                       : "-ERROR, AddAccessAllowedAce() failed, ACE ignored, error=%ld\n",
                static_cast<long>(GetLastError()));
        continue;
      }
    } else if (!append_ace(acl, denied ? ACCESS_DENIED_ACE_TYPE : ACCESS_ALLOWED_ACE_TYPE,
                           entry.flags, entry.mask, sid)) {
      message("-ERROR, AddAce() failed, ACE ignored, error=%ld\n",
              static_cast<long>(GetLastError()));
      continue;
    }
    ++added;
  }
  return added;
}

namespace {

// The entries of an ACL's grants text, one string per ACE.
DWORD grants_entries(const WCHAR* server, PACL acl, std::vector<std::string>* entries,
                     int* aces) {
  *aces = 0;
  if (acl == nullptr) return ERROR_SUCCESS;
  ACL_SIZE_INFORMATION info{};
  if (!GetAclInformation(acl, &info, sizeof info, AclSizeInformation)) return GetLastError();
  *aces = static_cast<int>(info.AceCount);
  for (DWORD i = 0; i < info.AceCount; ++i) {
    void* ace = nullptr;
    if (!GetAce(acl, i, &ace)) return GetLastError();
    const BYTE* bytes = static_cast<const BYTE*>(ace);
    DWORD mask;
    std::memcpy(&mask, bytes + 4, 4);
    std::string domain, name;
    if (!sid_to_name(server, const_cast<BYTE*>(bytes + 8), &domain, &name)) {
      message("-ERROR, cannot resolve SID for ACE[%d]\n", static_cast<int>(i));
    }
    entries->push_back(grant_entry_text(domain, name, bytes[0], bytes[1], mask));
  }
  return ERROR_SUCCESS;
}

}  // namespace

DWORD acl_to_grants(const WCHAR* server, PACL acl, std::string* text, int* aces) {
  std::vector<std::string> entries;
  DWORD result = grants_entries(server, acl, &entries, aces);
  text->clear();
  for (const std::string& entry : entries) *text += entry;
  return result;
}

DWORD acl_to_grants(const WCHAR* server, PACL acl, char* text, size_t size, int* aces) {
  std::vector<std::string> entries;
  DWORD result = grants_entries(server, acl, &entries, aces);
  size_t used = 0;
  for (const std::string& entry : entries) {
    if (used + entry.size() + 1 > size) {
      if (result == ERROR_SUCCESS) result = ERROR_MORE_DATA;
      break;
    }
    std::memcpy(text + used, entry.data(), entry.size());
    used += entry.size();
  }
  if (size > 0) text[used] = '\0';
  return result;
}
