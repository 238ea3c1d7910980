#include "kopex/roots.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "kopex/run_state.h"
#include "kopex/walk.h"
#include "lib/account_loops.h"
#include "lib/command_line_parser.h"
#include "lib/format.h"
#include "lib/frame.h"
#include "lib/server_loops.h"
#include "lib/wildcard.h"
#include "platform/files/current_directory.h"
#include "platform/files/volume.h"
#include "platform/kernel/error.h"
#include "platform/netapi/netapi.h"
#include "platform/nls/codepage.h"

namespace kopex {

namespace {

// Names handed to the walk: ANSI, at most 23 characters.
constexpr int NAME_BUFFER = 24;

void to_ansi(const WCHAR* text, char* out) {
  std::string ansi = text ? nt_wide_to_ansi(std::u16string_view(text)) : std::string();
  size_t keep = ansi_cut_bytes(ansi.c_str(), NAME_BUFFER - 1);
  std::memcpy(out, ansi.data(), keep);
  out[keep] = '\0';
}

struct ServerTally {
  long roots = 0;
};

DWORD share_callback(const WCHAR* domain, const WCHAR* server, const WCHAR* share,
                     void* context) {
  char d[NAME_BUFFER], s[NAME_BUFFER], name[NAME_BUFFER];
  to_ansi(domain, d);
  to_ansi(server, s);
  to_ansi(share, name);
  LPBYTE buffer = nullptr;
  // Level 502 begins with the fields of level 2 (name, type); servers that
  // do not offer 502 are asked at level 2.
  NET_API_STATUS status = NetShareGetInfo(server, share, 502, &buffer);
  if (status == ERROR_INVALID_LEVEL) status = NetShareGetInfo(server, share, 2, &buffer);
  if (status != NERR_Success) {
    std::fflush(stdout);
    std::fprintf(stderr, "KOPEX-ERROR, NetShareGetInfo(%s) failed, error=%ld\n", name,
                 static_cast<long>(status));
    return status;
  }
  const DWORD type = reinterpret_cast<SHARE_INFO_2*>(buffer)->shi2_type;
  NetApiBufferFree(buffer);
  if (!share_passes(name, type, g_run.options.hidden_mode)) return ERROR_SUCCESS;
  const long before = g_run.counters.roots;
  walk_root(d, s, name, g_run.spec.dir, g_run.spec.patterns);
  static_cast<ServerTally*>(context)->roots += g_run.counters.roots - before;
  return ERROR_SUCCESS;
}

DWORD server_callback(const WCHAR* domain, const WCHAR* server, void*) {
  Counters& c = g_run.counters;
  ++c.servers;
  const long files_before = c.files;
  const double bytes_before = c.bytes;
  ServerTally tally;
  ::share_loop(domain, server, g_run.spec.share.c_str(), share_callback, &tally);
  if (g_run.texts.server[0] != '\0') {
    WCHAR d[ARG_TEXT_SIZE] = {}, s[ARG_TEXT_SIZE] = {};
    std::u16string_view dv(domain ? domain : u""), sv(server ? server : u"");
    dv.copy(d, ARG_TEXT_SIZE - 1);
    sv.copy(s, ARG_TEXT_SIZE - 1);
    int32_t roots = static_cast<int32_t>(tally.roots);
    int32_t files = static_cast<int32_t>(c.files - files_before);
    double bytes = c.bytes - bytes_before;
    const ArgSpec table[] = {
        {ARG_WSTRING, 'D', ARG_OPTIONAL, d, 0},      {ARG_WSTRING, 'S', ARG_OPTIONAL, s, 0},
        {ARG_NUMERIC, 'e', ARG_OPTIONAL, &roots, 0}, {ARG_NUMERIC, 'T', ARG_OPTIONAL, &files, 0},
        {ARG_DOUBLE, 's', ARG_OPTIONAL, &bytes, 0},  {ARG_END, 0, 0, nullptr, 0},
    };
    print_formatted_text(g_run.texts.server, table, g_run.options.ansi != 0);
  }
  return ERROR_SUCCESS;
}

bool drive_of_class(UINT type, DriveClass kind) {
  switch (kind) {
    case DriveClass::all: return true;
    case DriveClass::cdrom: return type == DRIVE_CDROM;
    case DriveClass::fixed: return type == DRIVE_FIXED;
    case DriveClass::removable: return type == DRIVE_REMOVABLE;
    case DriveClass::remote: return type == DRIVE_REMOTE;
    default: return false;
  }
}

void walk_drive(char letter) {
  char root[3] = {letter, ':', '\0'};
  walk_root("", "", root, g_run.spec.dir, g_run.spec.patterns);
}

void drive_loop() {
  const std::string& token = g_run.spec.drive;
  DriveSelector sel = parse_drive_token(token);
  if (sel.kind == DriveClass::current) {
    char current[FULL_PATH_MAX + 1];
    DWORD n = GetCurrentDirectoryA(sizeof current, current);
    if (n >= 2 && n < sizeof current && current[1] == ':') {
      sel.kind = DriveClass::letter;
      sel.letter = current[0];
    } else {
      // The process runs outside every drive: no current drive to walk.
      std::fflush(stdout);
      std::fprintf(stderr, "KOPEX-ERROR, no drives match '%s'\n", token.c_str());
      return;
    }
  }
  const DWORD mask = GetLogicalDrives();
  if (sel.kind == DriveClass::letter) {
    char name[3] = {sel.letter, ':', '\0'};
    if (!(mask & (1u << (sel.letter - 'A')))) {
      std::fflush(stdout);
      std::fprintf(stderr, "KOPEX-ERROR, drive %s is not available\n", name);
      return;
    }
    walk_drive(sel.letter);
    return;
  }
  if (sel.kind == DriveClass::invalid) {
    std::fflush(stdout);
    std::fprintf(stderr, "KOPEX-ERROR, invalid drive specification '%s'\n", token.c_str());
    return;
  }
  int walked = 0;
  for (int i = 0; i < 26; ++i) {
    if (!(mask & (1u << i))) continue;
    char name[3];
    std::snprintf(name, sizeof name, "%c:", 'A' + i);
    if (!drive_of_class(GetDriveTypeA(name), sel.kind)) continue;
    walk_drive(static_cast<char>('A' + i));
    ++walked;
    if (sel.first_only) break;
  }
  if (walked == 0) {
    std::fflush(stdout);
    std::fprintf(stderr, "KOPEX-ERROR, no drives match '%s'\n", token.c_str());
  }
}

}  // namespace

bool share_passes(const char* name, DWORD type, int mode) {
  const size_t length = std::strlen(name);
  if (type == 0) return !(mode == 2 && length > 0 && name[length - 1] == '$');
  return mode == 0 && length == 2 && name[1] == '$';
}

void walk_roots() {
  if (!g_run.spec.server.empty()) {
    domain_loop(g_run.spec.domain.c_str(), g_run.spec.server.c_str(), server_callback, nullptr);
  } else {
    drive_loop();
  }
}

}  // namespace kopex
