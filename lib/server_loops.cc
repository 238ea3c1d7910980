#include "lib/server_loops.h"

#include <algorithm>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "lib/frame.h"
#include "lib/wildcard.h"
#include "platform/files/file_io.h"
#include "platform/kernel/environment.h"
#include "platform/kernel/error.h"
#include "platform/kernel/handle.h"
#include "platform/kernel/identity.h"
#include "platform/netapi/netapi.h"
#include "platform/nls/codepage.h"

namespace {

// Preferred sizes of the browser's answers.
constexpr DWORD SERVER_LIST_PREFERRED = 16 * 1024;
constexpr DWORD DOMAIN_LIST_PREFERRED = 8 * 1024;

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

std::u16string server_text(std::u16string_view name) { return u"\\\\" + wide_name(name); }

void error_line(const char* text) {
  fflush(stdout);
  fputs(text, stderr);
}

template <typename... Args>
void info(const char* format, Args... args) {
  if (!verbose) return;
  printf(format, args...);
}

// The local workstation's name and domain, from the workstation information.
void local_workstation(std::u16string* name, std::u16string* domain) {
  LPBYTE buffer = nullptr;
  if (NetWkstaGetInfo(nullptr, 100, &buffer) == NERR_Success && buffer != nullptr) {
    const auto* w = reinterpret_cast<const WKSTA_INFO_100*>(buffer);
    if (name) *name = w->wki100_computername;
    if (domain) *domain = w->wki100_langroup;
  } else if (name) {
    char computer[MAX_COMPUTERNAME_LENGTH + 1];
    DWORD size = sizeof computer;
    *name = GetComputerNameA(computer, &size) ? nt_ansi_to_wide(computer) : u"";
  }
  NetApiBufferFree(buffer);
}

// SERVERLIST, cut to SERVER_LIST_NAME_MAX characters; empty when not set.
std::string server_list_file() {
  char value[SERVER_LIST_NAME_MAX + 1];
  DWORD length = GetEnvironmentVariableA("SERVERLIST", value, sizeof value);
  if (length == 0) return std::string();
  return value;
}

// Whole file contents; false with the error left as the last error.
bool read_file(const char* name, std::string* contents) {
  HANDLE h = CreateFileA(name, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                         OPEN_EXISTING, 0, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  char block[4096];
  DWORD got = 0;
  bool ok = true;
  while ((ok = ReadFile(h, block, sizeof block, &got, nullptr)) && got > 0) {
    contents->append(block, got);
  }
  DWORD error = GetLastError();
  CloseHandle(h);
  SetLastError(ok ? ERROR_SUCCESS : error);
  return ok;
}

// The lines of a static list as a line-buffered text read takes them: up to
// the end of a line or SERVER_LIST_LINE_MAX characters, then cut at the first
// character below 32.
std::vector<std::string> list_lines(const std::string& contents) {
  std::vector<std::string> lines;
  size_t pos = 0;
  while (pos < contents.size()) {
    size_t end = pos;
    while (end < contents.size() && end - pos < static_cast<size_t>(SERVER_LIST_LINE_MAX)) {
      if (contents[end++] == '\n') break;
    }
    std::string piece = contents.substr(pos, end - pos);
    size_t cut = 0;
    while (cut < piece.size() && static_cast<unsigned char>(piece[cut]) >= 32) ++cut;
    piece.resize(cut);
    lines.push_back(std::move(piece));
    pos = end;
  }
  return lines;
}

// A name upper-cased for comparison.
std::u16string name_upper(std::u16string name) {
  CharUpperBuffW(name.data(), static_cast<DWORD>(name.size()));
  return name;
}

// Whether the account family passes over a server of these type bits; it
// says so when verbose.
bool skips_controller(DWORD type, std::string_view name) {
  if ((type & (SV_TYPE_DOMAIN_CTRL | SV_TYPE_DOMAIN_BAKCTRL)) == 0) return false;
  info("SERVERLOOP-INFO, skipping domain controller '%s'\n", std::string(name).c_str());
  return true;
}

// The account family's check of a named server. A server whose type cannot
// be read is not skipped: the tool's callback meets the failure and reports
// it in its own line.
bool skips_named_server(const std::u16string& name) {
  std::u16string local;
  local_workstation(&local, nullptr);
  if (name_upper(name) == name_upper(local)) return false;
  LPBYTE buffer = nullptr;
  bool skip = false;
  if (NetServerGetInfo(server_text(name).c_str(), 101, &buffer) == NERR_Success && buffer) {
    skip = skips_controller(reinterpret_cast<const SERVER_INFO_101*>(buffer)->sv101_type,
                            ansi_name(name));
  }
  NetApiBufferFree(buffer);
  return skip;
}

}  // namespace

DWORD server_loop(const char* domain, const char* pattern, ServerCallback callback,
                  void* context) {
  return family_server_loop(LoopFamily::list, domain, pattern, callback, context);
}

DWORD domain_loop(const char* domain_pattern, const char* server_pattern,
                  ServerCallback callback, void* context) {
  return family_domain_loop(LoopFamily::list, domain_pattern, server_pattern, callback, context);
}

DWORD family_server_loop(LoopFamily family, const char* domain, const char* pattern,
                         ServerCallback callback, void* context) {
  std::u16string wdomain = wide_name(nt_ansi_to_wide(domain ? domain : ""));
  if (wdomain.empty()) local_workstation(nullptr, &wdomain);
  wdomain = wide_name(wdomain);
  std::string adomain = ansi_name(wdomain);

  if (!has_wildcard(pattern)) {
    std::u16string name;
    if (pattern == nullptr || *pattern == '\0') {
      local_workstation(&name, nullptr);
    } else {
      name = nt_ansi_to_wide(pattern);
      if (family == LoopFamily::account && skips_named_server(name)) return ERROR_SUCCESS;
    }
    callback(wdomain.c_str(), server_text(name).c_str(), context);
    return ERROR_SUCCESS;
  }

  std::string list = family == LoopFamily::list ? server_list_file() : std::string();
  if (!list.empty()) {
    if (list_loop(list.c_str(), adomain.c_str(), pattern, callback, context)) return 0;
    DWORD error = GetLastError();
    return error != ERROR_SUCCESS ? error : ERROR_FILE_NOT_FOUND;
  }

  // The whole list, in as many calls as the preferred size needs.
  std::vector<std::u16string> names;
  std::vector<DWORD> types;
  DWORD level = family == LoopFamily::account ? 101 : 100;
  DWORD resume = 0;
  NET_API_STATUS status;
  do {
    LPBYTE buffer = nullptr;
    DWORD read = 0, total = 0;
    status = NetServerEnum(nullptr, level, &buffer, SERVER_LIST_PREFERRED, &read, &total,
                           SV_TYPE_NT, wdomain.c_str(), &resume);
    if (status != NERR_Success && status != ERROR_MORE_DATA) {
      char line[256];
      snprintf(line, sizeof line, "SERVERLOOP-ERROR, NetServerEnum(%s) failed, error=%ld\n",
               adomain.c_str(), static_cast<long>(status));
      error_line(line);
      NetApiBufferFree(buffer);
      return status;
    }
    for (DWORD i = 0; i < read; ++i) {
      if (level == 101) {
        const auto& server = reinterpret_cast<const SERVER_INFO_101*>(buffer)[i];
        names.emplace_back(server.sv101_name);
        types.push_back(server.sv101_type);
      } else {
        names.emplace_back(reinterpret_cast<const SERVER_INFO_100*>(buffer)[i].sv100_name);
        types.push_back(0);
      }
    }
    NetApiBufferFree(buffer);
  } while (status == ERROR_MORE_DATA);

  long count = static_cast<long>(names.size());
  for (long i = 0; i < count; ++i) {
    std::string name = ansi_name(names[i]);
    if (!match_wildcard(name.c_str(), pattern, 0)) continue;
    if (family == LoopFamily::account && skips_controller(types[i], name)) continue;
    info("SERVERLOOP-INFO, server '%s' (%ld of %ld in %s)\n", name.c_str(), i + 1, count,
         adomain.c_str());
    callback(wdomain.c_str(), server_text(names[i]).c_str(), context);
  }
  return ERROR_SUCCESS;
}

DWORD family_domain_loop(LoopFamily family, const char* domain_pattern,
                         const char* server_pattern, ServerCallback callback, void* context) {
  if (!has_wildcard(domain_pattern))
    return family_server_loop(family, domain_pattern, server_pattern, callback, context);

  std::string list = family == LoopFamily::list ? server_list_file() : std::string();
  if (!list.empty()) {
    if (list_loop(list.c_str(), domain_pattern, server_pattern, callback, context)) return 0;
    DWORD error = GetLastError();
    return error != ERROR_SUCCESS ? error : ERROR_FILE_NOT_FOUND;
  }

  LPBYTE buffer = nullptr;
  DWORD read = 0, total = 0;
  NET_API_STATUS status = NetServerEnum(nullptr, 100, &buffer, DOMAIN_LIST_PREFERRED, &read,
                                        &total, SV_TYPE_DOMAIN_ENUM, nullptr, nullptr);
  if (status != NERR_Success && status != ERROR_MORE_DATA) {
    char line[512];
    snprintf(line, sizeof line, "DOMAINLOOP-ERROR, NetServerEnum(%s) failed, error=%ld\n",
             domain_pattern, static_cast<long>(status));
    error_line(line);
    NetApiBufferFree(buffer);
    return status;
  }
  std::vector<std::string> domains;
  const auto* entries = reinterpret_cast<const SERVER_INFO_100*>(buffer);
  for (DWORD i = 0; i < read; ++i) domains.push_back(ansi_name(entries[i].sv100_name));
  NetApiBufferFree(buffer);

  DWORD result = ERROR_SUCCESS;
  long count = static_cast<long>(domains.size());
  for (long i = 0; i < count; ++i) {
    if (!match_wildcard(domains[i].c_str(), domain_pattern, 0)) continue;
    info("DOMAINLOOP-INFO, domain '%s' (%ld of %ld)\n", domains[i].c_str(), i + 1, count);
    DWORD error =
        family_server_loop(family, domains[i].c_str(), server_pattern, callback, context);
    if (result == ERROR_SUCCESS) result = error;
  }
  return result;
}

bool list_loop(const char* file, const char* domain, const char* pattern,
               ServerCallback callback, void* context) {
  std::string contents;
  if (!read_file(file, &contents)) {
    DWORD error = GetLastError();
    std::string line = "LISTLOOP-ERROR, cannot open '" + std::string(file) +
                       "', error=" + std::to_string(error) + "\n";
    error_line(line.c_str());
    SetLastError(error);
    return false;
  }
  info("LISTLOOP-INFO, using static list '%s'\n", file);
  std::string match = std::string(domain ? domain : "") + "\\\\" + (pattern ? pattern : "");
  for (const std::string& line : list_lines(contents)) {
    info("LISTLOOP-INFO, trying %s...", line.c_str());
    if (!match_wildcard(line.c_str(), match.c_str(), 0)) {
      info("does not match\n");
      continue;
    }
    info("match\n");
    size_t slash = line.find('\\');
    std::u16string wdomain = wide_name(nt_ansi_to_wide(line.substr(0, slash)));
    // The server part runs from that backslash on: "\\SERVER".
    std::u16string server;
    if (slash != std::string::npos) {
      server = nt_ansi_to_wide(line.substr(slash));
      server.resize(std::min(server.size(), static_cast<size_t>(LOOP_NAME_MAX) + 2));
    }
    callback(wdomain.c_str(), server.c_str(), context);
  }
  SetLastError(ERROR_SUCCESS);
  return true;
}
