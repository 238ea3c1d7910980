// evsave: backs up one event log of the local or a remote machine into a
// file, and with -c clears it.
//
// With -c the log is cleared of exactly the records written to the file
// (nt_backup_and_clear_event_log): an event written while evsave runs is
// either in the file or still in the log, never lost between the two.
// The file name is printed on standard output once the file is written;
// every failure goes to standard error, and the exit code is then -1.
#include <cstdio>

#include "platform/eventlog/eventlog.h"
#include "platform/kernel/clock.h"
#include "platform/kernel/error.h"
#include "platform/kernel/identity.h"
#include "platform/nls/codepage.h"
#include "utils/evsave/evsave_request.h"

namespace {

void print_usage() {
  printf("evsave V1.1.0 (built %s %s)\n", __DATE__, __TIME__);
  fputs("usage: evsave [-c] [\\\\<server>\\]<type> [<filename>]\n", stdout);
  fputs("-c:\t\t(optional) clear the event log after backup\n", stdout);
  fputs("<server>:\t(optional) remote node event log\n", stdout);
  fputs("<type>:\t\tSystem|Security|Application\n", stdout);
  fputs("<filename>:\toptional target filename (without .EVT)\n", stdout);
  fputs("\t\tdefault: <server>_<type>_<yymmddhh>.EVT\n\n", stdout);
}

// The machine part of names and messages: the named server, else this
// computer's name.
std::string machine_name(const EvsaveRequest& request) {
  if (!request.server.empty()) return request.server;
  char computer[MAX_COMPUTERNAME_LENGTH + 1];
  DWORD size = sizeof computer;
  return GetComputerNameA(computer, &size) ? std::string(computer, size) : std::string();
}

// Backs up (and clears); true when all went well.
bool save(HANDLE log, const EvsaveRequest& request, const std::string& machine,
          const std::string& file) {
  if (!request.clear) {
    if (!BackupEventLogA(log, file.c_str())) {
      fprintf(stderr, "BackupEventLog(\\\\%s\\%s) to %s failed, error=%ld\n", machine.c_str(),
              request.log.c_str(), file.c_str(), static_cast<long>(GetLastError()));
      return false;
    }
    printf("%s\n", file.c_str());
    return true;
  }
  bool backup_written = false;
  if (nt_backup_and_clear_event_log(log, file.c_str(), &backup_written)) {
    printf("%s\n", file.c_str());
    return true;
  }
  DWORD error = GetLastError();
  if (!backup_written) {
    fprintf(stderr, "BackupEventLog(\\\\%s\\%s) to %s failed, error=%ld\n", machine.c_str(),
            request.log.c_str(), file.c_str(), static_cast<long>(error));
    return false;
  }
  // The backup is there; only the clear failed.
  printf("%s\n", file.c_str());
  fprintf(stderr, "ClearEventLog(\\\\%s\\%s) failed, error=%ld\n", machine.c_str(),
          request.log.c_str(), static_cast<long>(error));
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  EvsaveRequest request;
  if (!parse_evsave_arguments(argc, argv, &request)) {
    print_usage();
    return -1;
  }
  const char* server = request.server.empty() ? nullptr : request.server.c_str();
  HANDLE log = OpenEventLogA(server, request.log.c_str());
  if (log == nullptr) {
    fprintf(stderr, "Cannot open event log '%s' on %s, error=%ld\n", request.log.c_str(),
            server ? server : "this machine", static_cast<long>(GetLastError()));
    return -1;
  }
  std::string machine = machine_name(request);
  SYSTEMTIME now;
  GetLocalTime(&now);
  std::string file = evsave_file_name(request, machine, now);
  bool ok = false;
  size_t length = nt_ansi_length(file);
  if (length > kEvsaveMaxFileName) {
    fprintf(stderr, "Target file name too long (%zu characters, at most %zu): %s\n", length,
            kEvsaveMaxFileName, file.c_str());
  } else {
    ok = save(log, request, machine, file);
  }
  CloseEventLog(log);
  return ok ? 0 : -1;
}
