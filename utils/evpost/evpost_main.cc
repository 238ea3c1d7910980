// evpost: writes an event with up to four lines of text into the
// Application log of the local machine, registering its event source on
// first use.
//
// Exit codes: 0 when the event was written (a failure to register the
// source is printed, the event still goes out); 1 for an invalid switch or
// type, no message, or a user that cannot be determined; 2 when the event
// could not be written (RegisterEventSource or ReportEvent failed), so that
// a batch file can tell a lost event from a written one.
#include <cstdio>
#include <cstring>

#include "platform/eventlog/eventlog.h"
#include "platform/kernel/error.h"
#include "platform/kernel/identity.h"
#include "platform/kernel/module.h"
#include "platform/registry/registry.h"
#include "platform/security/account_lookup.h"
#include "utils/evpost/evpost_options.h"

namespace {

constexpr DWORD kEventIdBase = 0xC0000000;
constexpr const char* kSourceKeyPrefix = "SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\";
constexpr DWORD kTypesSupported = 7;  // error, warning, information
constexpr DWORD kModulePathSize = 4096;

const char kUsage[] =
    "Adds an event to the Application event log\n\nusage: evpost [-s<source>] [-t<type>] "
    "<Message1> [<Message2> ...]\n\n-s<source>  specifies the EventSource (default:EvPost)\n"
    "-t<type>    e Error (default)\n            i Information\n            w Warning\n"
    "MessageX    Up to 4 description messages (appear as separate lines)\n";

// The name of this source file, as the failure lines give it.
const char* source_file_name() {
  const char* slash = strrchr(__FILE__, '/');
  return slash ? slash + 1 : __FILE__;
}

void report_failure(const char* call, DWORD error, int line) {
  printf("%s: Error %d from %s     on line %d\n", source_file_name(), static_cast<int>(error),
         call, line);
}

#define EVPOST_FAILED(call, error) report_failure(call, error, __LINE__)

// "'c'" for a letter, "''" where there was none (a lone "-" or "-t").
void print_letter_message(const char* what, char letter) {
  if (letter == '\0') {
    printf("%s ''\n", what);
  } else {
    printf("%s '%c'\n", what, letter);
  }
}

// Creates the source's key with its message file and types unless it is
// there already. Failures are printed; the event is written all the same.
void register_source(const std::string& source) {
  std::string key_name = std::string(kSourceKeyPrefix) + source;
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, key_name.c_str(), 0, KEY_READ, &key) == ERROR_SUCCESS) {
    RegCloseKey(key);
    return;
  }
  LONG rc = RegCreateKeyA(HKEY_LOCAL_MACHINE, key_name.c_str(), &key);
  if (rc != ERROR_SUCCESS) {
    EVPOST_FAILED("RegCreateKey", static_cast<DWORD>(rc));
    return;
  }
  // A path that does not fit is never stored cut short.
  char path[kModulePathSize];
  DWORD length = GetModuleFileNameA(nullptr, path, sizeof path);
  if (length == 0 || length >= sizeof path) {
    EVPOST_FAILED("RegSetValueEx", length ? ERROR_INSUFFICIENT_BUFFER : GetLastError());
  } else {
    rc = RegSetValueExA(key, "EventMessageFile", 0, REG_EXPAND_SZ,
                        reinterpret_cast<const BYTE*>(path), length + 1);
    if (rc != ERROR_SUCCESS) EVPOST_FAILED("RegSetValueEx", static_cast<DWORD>(rc));
  }
  DWORD types = kTypesSupported;
  rc = RegSetValueExA(key, "TypesSupported", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&types),
                      sizeof types);
  if (rc != ERROR_SUCCESS) EVPOST_FAILED("RegSetValueEx", static_cast<DWORD>(rc));
  RegCloseKey(key);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    printf("EvPost V1.0 (built %s %s)\n", __DATE__, __TIME__);
    fputs(kUsage, stdout);
    return 0;
  }
  EvpostOptions options;
  char bad = '\0';
  switch (parse_evpost_arguments(argc, argv, &options, &bad)) {
    case EvpostParse::ok: break;
    case EvpostParse::invalid_switch: print_letter_message("Invalid switch", bad); return 1;
    case EvpostParse::invalid_type: print_letter_message("Invalid type", bad); return 1;
  }
  if (options.messages.empty()) {
    printf("No message\n");
    return 1;
  }

  // The calling user's SID.
  char user[UNLEN + 1];
  DWORD user_size = sizeof user;
  if (!GetUserNameA(user, &user_size)) {
    printf("GetUserName() for failed, error=%ld\n", static_cast<long>(GetLastError()));
    return 1;
  }
  char sid[1024];
  DWORD sid_size = sizeof sid;
  char domain[256];
  DWORD domain_size = sizeof domain;
  SID_NAME_USE use;
  if (!LookupAccountNameA(nullptr, user, sid, &sid_size, domain, &domain_size, &use)) {
    printf("LookupAccountName() for '%s' failed, error=%ld\n", user,
           static_cast<long>(GetLastError()));
    return 1;
  }

  register_source(options.source);

  HANDLE source = RegisterEventSourceA(nullptr, options.source.c_str());
  if (source == nullptr) {
    EVPOST_FAILED("RegisterEventSource", GetLastError());
    return 2;
  }
  const char* strings[kEvpostMaxMessages];
  WORD count = static_cast<WORD>(options.messages.size());
  for (WORD i = 0; i < count; ++i) strings[i] = options.messages[i].c_str();
  int exit_code = 0;
  if (!ReportEventA(source, options.type, 0, kEventIdBase + count, sid, count, 0, strings,
                    nullptr)) {
    EVPOST_FAILED("ReportEvent", GetLastError());
    exit_code = 2;
  }
  DeregisterEventSource(source);
  return exit_code;
}
