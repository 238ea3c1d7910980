#include "lib/account_loops.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "lib/command_line_parser.h"
#include "lib/frame.h"
#include "lib/wildcard.h"
#include "platform/kernel/error.h"
#include "platform/kernel/identity.h"
#include "platform/netapi/netapi.h"
#include "platform/nls/codepage.h"

namespace {

constexpr DWORD DOMAIN_LIST_PREFERRED = 8 * 1024;
constexpr DWORD OBJECT_LIST_PREFERRED = 64 * 1024;

// A name as the loops hand it on: at most LOOP_NAME_MAX units, a surrogate
// pair never cut in two.
std::u16string wide_name(std::u16string_view name) {
  size_t n = name.size() < static_cast<size_t>(LOOP_NAME_MAX) ? name.size() : LOOP_NAME_MAX;
  if (n < name.size() && n > 0 && name[n - 1] >= 0xD800 && name[n - 1] <= 0xDBFF) --n;
  return std::u16string(name.substr(0, n));
}

// A name as the loops match and print it: ANSI, at most LOOP_NAME_MAX characters.
std::string ansi_name(std::u16string_view name) {
  std::string ansi = nt_wide_to_ansi(wide_name(name));
  return ansi.substr(0, nt_ansi_prefix_bytes(ansi, LOOP_NAME_MAX));
}

template <typename... Args>
void error_line(const char* format, Args... args) {
  fflush(stdout);
  fprintf(stderr, format, args...);
}

template <typename... Args>
void info(const char* format, Args... args) {
  if (verbose) printf(format, args...);
}

std::u16string upper(std::u16string text) {
  CharUpperBuffW(text.data(), static_cast<DWORD>(text.size()));
  return text;
}

// Copies a "\\NAME" result into the caller's LOOP_SERVER_SIZE units.
void copy_server(std::u16string_view text, WCHAR* out) {
  std::u16string name(text);
  if (name.rfind(u"\\\\", 0) == 0) name = name.substr(2);
  std::u16string server = u"\\\\" + wide_name(name);
  std::memcpy(out, server.c_str(), (server.size() + 1) * sizeof(WCHAR));
}

}  // namespace

bool logon_domain(char* domain) {
  domain[0] = '\0';
  LPBYTE buffer = nullptr;
  if (NetWkstaGetInfo(nullptr, 100, &buffer) != NERR_Success || buffer == nullptr) {
    NetApiBufferFree(buffer);
    return false;
  }
  const auto* w = reinterpret_cast<const WKSTA_INFO_100*>(buffer);
  std::string group = ansi_name(w->wki100_langroup ? w->wki100_langroup : u"");
  std::u16string computer = w->wki100_computername ? w->wki100_computername : u"";
  NetApiBufferFree(buffer);
  // Whole characters only, never past the caller's buffer.
  std::string kept = group.substr(0, ansi_cut_bytes(group.c_str(), LOOP_DOMAIN_SIZE - 1));
  std::memcpy(domain, kept.c_str(), kept.size() + 1);
  // The user's logon domain: a local account has the computer's name there.
  LPBYTE user = nullptr;
  if (NetWkstaUserGetInfo(nullptr, 1, &user) != NERR_Success || user == nullptr) {
    NetApiBufferFree(user);
    return true;
  }
  const auto* u = reinterpret_cast<const WKSTA_USER_INFO_1*>(user);
  std::u16string user_domain = u->wkui1_logon_domain ? u->wkui1_logon_domain : u"";
  NetApiBufferFree(user);
  return upper(user_domain) != upper(computer);
}

DWORD UGetDomainDC(const char* domain, WCHAR* dc) {
  dc[0] = 0;
  if (domain == nullptr || domain[0] == '\0') return ERROR_SUCCESS;
  LPBYTE own = nullptr;
  NET_API_STATUS status = NetGetDCName(nullptr, nullptr, &own);
  if (status != NERR_Success) {
    NetApiBufferFree(own);
    return status;
  }
  std::u16string own_pdc = reinterpret_cast<const WCHAR*>(own);
  NetApiBufferFree(own);
  LPBYTE found = nullptr;
  std::u16string wdomain = nt_ansi_to_wide(domain);
  status = NetGetDCName(own_pdc.c_str(), wdomain.c_str(), &found);
  if (status == NERR_Success) copy_server(reinterpret_cast<const WCHAR*>(found), dc);
  NetApiBufferFree(found);
  return status;
}

DWORD account_server_loop(const char* domain, const char* pattern, ServerCallback callback,
                          void* context) {
  return family_server_loop(LoopFamily::account, domain, pattern, callback, context);
}

DWORD account_domain_loop(const char* domain_pattern, const char* server_pattern,
                          ServerCallback callback, void* context) {
  return family_domain_loop(LoopFamily::account, domain_pattern, server_pattern, callback,
                            context);
}

DWORD domain_dc_loop(const char* domain_pattern, ServerCallback callback, void* context) {
  WCHAR dc[LOOP_SERVER_SIZE];
  if (!has_wildcard(domain_pattern)) {
    std::string domain = domain_pattern ? domain_pattern : "";
    DWORD error = UGetDomainDC(domain.c_str(), dc);
    if (error != ERROR_SUCCESS) {
      error_line("DOMAINLOOP-ERROR, UGetDomainDC(%s) failed, error=%ld\n", domain.c_str(),
                 static_cast<long>(error));
      return error;
    }
    std::u16string wdomain = wide_name(nt_ansi_to_wide(domain));
    callback(wdomain.c_str(), dc, context);
    return ERROR_SUCCESS;
  }

  LPBYTE buffer = nullptr;
  DWORD read = 0, total = 0;
  NET_API_STATUS status = NetServerEnum(nullptr, 100, &buffer, DOMAIN_LIST_PREFERRED, &read,
                                        &total, SV_TYPE_DOMAIN_ENUM, nullptr, nullptr);
  if (status != NERR_Success && status != ERROR_MORE_DATA) {
    error_line("DOMAINLOOP-ERROR, NetServerEnum(%s) failed, error=%ld\n", domain_pattern,
               static_cast<long>(status));
    NetApiBufferFree(buffer);
    return status;
  }
  std::vector<std::u16string> domains;
  const auto* entries = reinterpret_cast<const SERVER_INFO_100*>(buffer);
  for (DWORD i = 0; i < read; ++i) domains.push_back(wide_name(entries[i].sv100_name));
  NetApiBufferFree(buffer);

  DWORD result = ERROR_SUCCESS;
  long count = static_cast<long>(domains.size());
  for (long i = 0; i < count; ++i) {
    std::string name = ansi_name(domains[i]);
    if (!match_wildcard(name.c_str(), domain_pattern, 0)) continue;
    info("DOMAINLOOP-INFO, domain '%s' (%ld of %ld)\n", name.c_str(), i + 1, count);
    DWORD error = UGetDomainDC(name.c_str(), dc);
    if (error != ERROR_SUCCESS) {
      error_line("DOMAINLOOP-ERROR, NetGetDCname(%s) failed, error=%ld\n", name.c_str(),
                 static_cast<long>(error));
      if (result == ERROR_SUCCESS) result = error;
      continue;
    }
    callback(domains[i].c_str(), dc, context);
  }
  return result;
}

namespace {

// What one enumeration of an object loop asks and prints.
struct ObjectKind {
  const char* label;  // USERLOOP, GROUPLOOP, SHARELOOP
  const char* call;   // the call named in the error line
};

// One enumeration call at level 0 with a preferred buffer of 64 KB; each
// name that matches gets the callback, in the order returned.
template <typename Enumerate>
DWORD object_loop(const ObjectKind& kind, const WCHAR* domain, const WCHAR* server,
                  const char* pattern, ObjectCallback callback, void* context,
                  Enumerate enumerate) {
  if (pattern == nullptr || pattern[0] == '\0') return ERROR_INVALID_PARAMETER;
  if (!has_wildcard(pattern)) {
    std::u16string name = nt_ansi_to_wide(pattern);
    callback(domain, server, name.c_str(), context);
    return ERROR_SUCCESS;
  }
  LPBYTE buffer = nullptr;
  DWORD read = 0, total = 0;
  NET_API_STATUS status = enumerate(&buffer, OBJECT_LIST_PREFERRED, &read, &total);
  if (status != NERR_Success && status != ERROR_MORE_DATA) {
    error_line("%s-ERROR, %s(%s) failed, error=%ld\n", kind.label, kind.call,
               nt_wide_to_ansi(server ? server : u"").c_str(), static_cast<long>(status));
    NetApiBufferFree(buffer);
    return status;
  }
  // Every level-0 record is one name pointer.
  std::vector<std::u16string> names;
  const auto* records = reinterpret_cast<const LPWSTR*>(buffer);
  for (DWORD i = 0; i < read; ++i) names.emplace_back(records[i] ? records[i] : u"");
  NetApiBufferFree(buffer);
  for (const std::u16string& name : names) {
    if (!match_wildcard(nt_wide_to_ansi(name).c_str(), pattern, 0)) continue;
    callback(domain, server, name.c_str(), context);
  }
  return ERROR_SUCCESS;
}

}  // namespace

DWORD user_loop(const WCHAR* domain, const WCHAR* server, const char* pattern,
                ObjectCallback callback, void* context, bool all_kinds) {
  return object_loop({"USERLOOP", "NetUserEnum"}, domain, server, pattern, callback, context,
                     [&](LPBYTE* buffer, DWORD size, DWORD* read, DWORD* total) {
                       return NetUserEnum(server, 0, all_kinds ? 0 : FILTER_NORMAL_ACCOUNT,
                                          buffer, size, read, total, nullptr);
                     });
}

DWORD group_loop(const WCHAR* domain, const WCHAR* server, const char* pattern,
                 ObjectCallback callback, void* context) {
  return object_loop({"GROUPLOOP", "NetGroupEnum"}, domain, server, pattern, callback, context,
                     [&](LPBYTE* buffer, DWORD size, DWORD* read, DWORD* total) {
                       return NetGroupEnum(server, 0, buffer, size, read, total, nullptr);
                     });
}

DWORD local_group_loop(const WCHAR* domain, const WCHAR* server, const char* pattern,
                       ObjectCallback callback, void* context) {
  return object_loop({"GROUPLOOP", "NetLocalGroupEnum"}, domain, server, pattern, callback,
                     context, [&](LPBYTE* buffer, DWORD size, DWORD* read, DWORD* total) {
                       return NetLocalGroupEnum(server, 0, buffer, size, read, total, nullptr);
                     });
}

DWORD share_loop(const WCHAR* domain, const WCHAR* server, const char* pattern,
                 ObjectCallback callback, void* context) {
  return object_loop({"SHARELOOP", "NetShareEnum"}, domain, server, pattern, callback, context,
                     [&](LPBYTE* buffer, DWORD size, DWORD* read, DWORD* total) {
                       return NetShareEnum(server, 0, buffer, size, read, total, nullptr);
                     });
}
