#include "portel/share_commands.h"

#include <cstdio>
#include <string>
#include <string_view>

#include "grants/grant_text.h"
#include "lib/account_loops.h"
#include "lib/command_code.h"
#include "lib/format.h"
#include "lib/frame.h"
#include "platform/netapi/netapi.h"
#include "platform/nls/codepage.h"
#include "portel/share_security.h"

namespace {

std::string ansi(const WCHAR* text) { return text ? nt_wide_to_ansi(text) : std::string(); }
std::string ansi(const std::u16string& text) { return nt_wide_to_ansi(text); }

void error_text(const char* line) {
  fflush(stdout);
  fputs(line, stderr);
}

// "<question> <server>\<share> ?" with the server as the loop gives it.
bool ask(const char* question, const WCHAR* server, const std::u16string& share) {
  std::string line = question;
  line += ' ';
  line += ansi(server);
  line += '\\';
  line += ansi(share);
  line += " ?\n";
  return confirm(line.c_str());
}

void info_line(const char* what, const WCHAR* server, const std::u16string& share) {
  printf("PORTEL-INFO, %s %s\\%s\n", what, ansi(server).c_str(), ansi(share).c_str());
}

void failed_with_param(const char* call, DWORD parm, NET_API_STATUS status) {
  fflush(stdout);
  fprintf(stderr, "PORTEL-ERROR, %s() failed with param %ld, error=%ld\n", call,
          static_cast<long>(parm), static_cast<long>(status));
}

// Reads a share and applies /h and the criteria; false when it is to be
// passed over (after a line when reading failed).
bool read_selected(const PortelRun& run, const WCHAR* domain, const WCHAR* server,
                   const WCHAR* name, ShareView* view) {
  if (!view->read(domain, server, name)) return false;
  if (!share_is_seen(run.level, view->type(), view->name())) return false;
  return run.criteria == nullptr || match_criteria(view->table(), run.criteria);
}

// One ~g line per entry of the share's grants text.
void print_aces(const PortelRun& run, const ShareView& view) {
  if (run.ace_format[0] == '\0') return;
  std::u16string name = view.name();
  for (const GrantTextEntry& entry : split_grants_text(view.grants().c_str())) {
    std::u16string domain = nt_ansi_to_wide(entry.domain);
    std::u16string user = nt_ansi_to_wide(entry.name);
    std::u16string combined = domain + u"\\" + user;
    std::u16string access = nt_ansi_to_wide(entry.access);
    ArgSpec table[] = {
        {ARG_WSTRING, 'U', ARG_OPTIONAL, combined.data(), 0},
        {ARG_WSTRING, 'N', ARG_OPTIONAL, name.data(), 0},
        {ARG_WSTRING, 'd', ARG_OPTIONAL, domain.data(), 0},
        {ARG_WSTRING, 'u', ARG_OPTIONAL, user.data(), 0},
        {ARG_WSTRING, 'g', ARG_OPTIONAL, access.data(), 0},
        {ARG_END, 0, 0, nullptr, 0},
    };
    print_formatted(run.ace_format, table, run.ansi);
  }
}

DWORD show_share(const WCHAR* domain, const WCHAR* server, const WCHAR* name, void* context) {
  auto* run = static_cast<PortelRun*>(context);
  ShareView view;
  if (!read_selected(*run, domain, server, name, &view)) return ERROR_SUCCESS;
  ++run->handled;
  print_formatted(run->share_format, view.table(), run->ansi);
  print_aces(*run, view);
  return ERROR_SUCCESS;
}

DWORD stop_share(const WCHAR* domain, const WCHAR* server, const WCHAR* name, void* context) {
  auto* run = static_cast<PortelRun*>(context);
  ShareView view;
  if (!read_selected(*run, domain, server, name, &view)) return ERROR_SUCCESS;
  if (!ask("Stop share", server, view.name())) return ERROR_SUCCESS;
  NET_API_STATUS status = NetShareDel(server, view.name().c_str(), 0);
  if (status != NERR_Success) {
    fflush(stdout);
    fprintf(stderr, "PORTEL-ERROR, NetShareDel() failed, error=%ld\n", static_cast<long>(status));
    return status;
  }
  info_line("stopped share", server, view.name());
  ++run->handled;
  return ERROR_SUCCESS;
}

DWORD add_share(const WCHAR*, const WCHAR* server, const WCHAR* name, void* context) {
  auto* run = static_cast<PortelRun*>(context);
  std::u16string share = name ? name : u"";
  ShareDescriptor descriptor;
  if (!build_share_descriptor(server, run->grants, &descriptor)) return ERROR_SUCCESS;
  if (!ask("Add share", server, share)) return ERROR_SUCCESS;
  ShareRecord record = record_for_add(share, run->settings, &descriptor.sd);
  SHARE_INFO_502 info = record.info();
  DWORD parm = 0;
  NET_API_STATUS status = NetShareAdd(server, 502, reinterpret_cast<LPBYTE>(&info), &parm);
  if (status == NERR_Success) {
    info_line("added share", server, share);
    ++run->handled;
    return ERROR_SUCCESS;
  }
  if (status != NERR_DuplicateShare) {
    failed_with_param("NetShareAdd", parm, status);
    return status;
  }
  std::string question = "Share " + ansi(server) + "\\" + ansi(share) +
                         " exists. Adjust properties ?\n";
  if (!confirm(question.c_str())) return ERROR_SUCCESS;
  parm = 0;
  status = NetShareSetInfo(server, share.c_str(), 502, reinterpret_cast<LPBYTE>(&info), &parm);
  if (status != NERR_Success) {
    failed_with_param("NetShareSetInfo", parm, status);
    return status;
  }
  info_line("modified existing share", server, share);
  ++run->modified;
  return ERROR_SUCCESS;
}

DWORD set_share(const WCHAR* domain, const WCHAR* server, const WCHAR* name, void* context) {
  auto* run = static_cast<PortelRun*>(context);
  ShareView view;
  if (!read_selected(*run, domain, server, name, &view)) return ERROR_SUCCESS;
  ShareDescriptor descriptor;
  PSECURITY_DESCRIPTOR sd = nullptr;
  if (run->grants[0] != '\0') {
    // "~g" in the new grants stands for the share's current ones.
    char grants[OUTPUT_LINE_SIZE];
    expand_format(run->grants, grants, view.table(), OUTPUT_LINE_SIZE - 1);
    if (grants[0] == '\0') {
      error_text("PORTEL-ERROR, cannot convert grants to ACL\n");
      return ERROR_SUCCESS;
    }
    if (!build_share_descriptor(server, grants, &descriptor)) return ERROR_SUCCESS;
    sd = &descriptor.sd;
  }
  ShareRecord record = record_for_set(view, run->settings, sd);
  if (!ask("Modify share", server, view.name())) return ERROR_SUCCESS;
  SHARE_INFO_502 info = record.info();
  DWORD parm = 0;
  NET_API_STATUS status =
      NetShareSetInfo(server, view.name().c_str(), 502, reinterpret_cast<LPBYTE>(&info), &parm);
  if (status != NERR_Success) {
    failed_with_param("NetShareSetInfo", parm, status);
    return status;
  }
  info_line("modified share", server, view.name());
  ++run->modified;
  return ERROR_SUCCESS;
}

ObjectCallback command_callback(int command) {
  switch (command) {
    case CMD_SHOW:
      return show_share;
    case CMD_ADD:
      return add_share;
    case CMD_SET:
      return set_share;
    case CMD_DEL:
    case CMD_STOP:
      return stop_share;
    default:
      return nullptr;
  }
}

}  // namespace

void print_summary_line(const char* format, const ArgSpec* table) {
  if (format == nullptr || format[0] == '\0') return;
  // The cut counts characters, so a line of multi-byte characters keeps
  // its 80 characters and is never split inside one.
  char line[OUTPUT_LINE_SIZE];
  expand_format(format, line, table, OUTPUT_LINE_SIZE - 1);
  std::string_view text(line);
  printf("%.*s\n", static_cast<int>(nt_ansi_prefix_bytes(text, PORTEL_SUMMARY_LINE_MAX)),
         line);
}

DWORD portel_server(const WCHAR* domain, const WCHAR* server, void* context) {
  auto* run = static_cast<PortelRun*>(context);
  ObjectCallback callback = command_callback(run->command);
  if (callback == nullptr) return ERROR_INVALID_PARAMETER;
  ++run->servers;
  long before = run->handled;
  DWORD result = share_loop(domain, server, run->pattern, callback, run);
  if (run->command == CMD_SHOW) {
    std::u16string wdomain = domain ? domain : u"";
    std::u16string name = server_without_backslashes(server ? server : u"");
    int32_t count = static_cast<int32_t>(run->handled - before);
    ArgSpec table[] = {
        {ARG_NUMERIC, 'T', ARG_OPTIONAL, &count, 0},
        {ARG_WSTRING, 'D', ARG_OPTIONAL, wdomain.data(), 0},
        {ARG_WSTRING, 'S', ARG_OPTIONAL, name.data(), 0},
        {ARG_END, 0, 0, nullptr, 0},
    };
    fflush(stdout);
    print_summary_line(run->server_format, table);
  }
  return result;
}

void finish_run(const PortelRun& run) {
  fflush(stdout);
  switch (run.command) {
    case CMD_ADD:
      if (run.handled > 0) printf("PORTEL-INFO, %ld shares added\n", run.handled);
      if (run.modified > 0) printf("PORTEL-INFO, %ld shares modified\n", run.modified);
      if (run.handled == 0 && run.modified == 0)
        error_text("PORTEL-ERROR, no shares match to be added\n");
      break;
    case CMD_DEL:
    case CMD_STOP:
      if (run.handled > 0)
        printf("PORTEL-INFO, %ld shares stopped\n", run.handled);
      else
        error_text("PORTEL-ERROR, no shares match to be stopped\n");
      break;
    case CMD_SET:
      if (run.modified > 0)
        printf("PORTEL-INFO, %ld shares modified\n", run.modified);
      else
        error_text("PORTEL-ERROR, no shares match to be modified\n");
      break;
    case CMD_SHOW:
      if (run.handled > 0) {
        int32_t shares = static_cast<int32_t>(run.handled);
        int32_t servers = static_cast<int32_t>(run.servers);
        ArgSpec table[] = {
            {ARG_NUMERIC, 'T', ARG_OPTIONAL, &shares, 0},
            {ARG_NUMERIC, 'S', ARG_OPTIONAL, &servers, 0},
            {ARG_END, 0, 0, nullptr, 0},
        };
        print_summary_line(run.totals_format, table);
      } else {
        error_text("PORTEL-ERROR, no shares match\n");
      }
      break;
    default:
      break;
  }
  fflush(stdout);
}
