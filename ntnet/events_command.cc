#include "ntnet/events_command.h"

#include <cstring>

#include "platform/eventlog/event_message.h"
#include "platform/eventlog/eventlog.h"
#include "platform/kernel/clock.h"
#include "platform/kernel/error.h"
#include "platform/network/network.h"
#include "platform/network/wtf8.h"
#include "platform/security/account_lookup.h"

namespace {

constexpr DWORD kReadBufferSize = NT_EVENT_MAX_RECORD_SIZE;

const char kUsage[] = "usage: ntnet events MACHINE [LOG] | ntnet events --file F.EVT\n";

std::string local_time_text(DWORD seconds) {
  FILETIME local = u64_to_filetime(nt_unix_to_local_filetime(static_cast<time_t>(seconds), 0));
  SYSTEMTIME st{};
  if (!FileTimeToSystemTime(&local, &st)) return "?";
  char text[48];
  snprintf(text, sizeof text, "%04u-%02u-%02u %02u:%02u:%02u", unsigned{st.wYear},
           unsigned{st.wMonth}, unsigned{st.wDay}, unsigned{st.wHour}, unsigned{st.wMinute},
           unsigned{st.wSecond});
  return text;
}

// The lines of a text, without their line ends; trailing empty lines go.
std::vector<std::string> lines_of(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start <= text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    while (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
    start = end + 1;
  }
  while (!lines.empty() && lines.back().find_first_not_of(" \t") == std::string::npos)
    lines.pop_back();
  return lines;
}

void print_event(FILE* out, const NtMachineRef& machine, const std::string& log,
                 const NtEventRecord& r) {
  fprintf(out, "\nRecord:      %lu\n", static_cast<unsigned long>(r.record_number));
  fprintf(out, "Time:        %s\n", local_time_text(r.time_generated).c_str());
  fprintf(out, "Type:        %s\n", nt_event_type_name(r.event_type).c_str());
  fprintf(out, "Source:      %s\n", nt_wtf8_from_utf16(r.source).c_str());
  fprintf(out, "Event ID:    %lu (0x%08lX)\n", static_cast<unsigned long>(r.event_id & 0xFFFF),
          static_cast<unsigned long>(r.event_id));
  if (r.category == 0) {
    fprintf(out, "Category:    None\n");
  } else {
    fprintf(out, "Category:    (%u)\n", static_cast<unsigned>(r.category));
  }
  std::string user = r.sid.empty() ? "N/A" : nt_account_display_name(machine, r.sid);
  fprintf(out, "User:        %s\n", user.c_str());
  fprintf(out, "Computer:    %s\n", nt_wtf8_from_utf16(r.computer).c_str());
  fprintf(out, "Description:\n");
  for (const std::string& line : lines_of(nt_event_description(machine, log, r)))
    fprintf(out, "    %s\n", line.c_str());
}

// Reads every record of `log` forwards and prints it.
int print_all(FILE* out, FILE* err, HANDLE handle, const NtMachineRef& machine,
              const std::string& log_name, const std::string& title) {
  DWORD count = 0;
  if (!GetNumberOfEventLogRecords(handle, &count)) {
    fprintf(err, "ntnet: cannot read %s (error %lu)\n", title.c_str(),
            static_cast<unsigned long>(GetLastError()));
    return 1;
  }
  fprintf(out, "Events of %s: %lu\n", title.c_str(), static_cast<unsigned long>(count));
  std::string buffer(kReadBufferSize, '\0');
  for (;;) {
    DWORD read = 0, needed = 0;
    if (!ReadEventLogW(handle, EVENTLOG_SEQUENTIAL_READ | EVENTLOG_FORWARDS_READ, 0,
                       buffer.data(), kReadBufferSize, &read, &needed)) {
      DWORD error = GetLastError();
      if (error == ERROR_HANDLE_EOF) return 0;
      fprintf(err, "ntnet: cannot read %s (error %lu)\n", title.c_str(),
              static_cast<unsigned long>(error));
      return 1;
    }
    size_t pos = 0;
    while (pos < read) {
      NtEventRecord record;
      size_t length = 0;
      if (!nt_event_record_parse(std::string_view(buffer).substr(pos, read - pos), false,
                                 &record, &length)) {
        fprintf(err, "ntnet: a damaged event in %s\n", title.c_str());
        return 1;
      }
      print_event(out, machine, log_name, record);
      pos += length;
    }
  }
}

int events_of_file(FILE* out, FILE* err, const std::string& file) {
  NtMachineRef local;
  DWORD error = nt_open_machine("", &local, NtMachineAccess::admin);
  if (error != ERROR_SUCCESS) {
    fprintf(err, "ntnet: cannot reach the local machine (error %lu)\n",
            static_cast<unsigned long>(error));
    return 1;
  }
  HANDLE handle = OpenBackupEventLogA(nullptr, file.c_str());
  if (handle == nullptr) {
    fprintf(err, "ntnet: cannot open the backup file %s (error %lu)\n", file.c_str(),
            static_cast<unsigned long>(GetLastError()));
    return 1;
  }
  // The file does not name its log: the sources are looked up under every
  // log of the local machine.
  int rc = print_all(out, err, handle, local, "", "backup file " + file);
  CloseEventLog(handle);
  return rc;
}

int events_of_machine(FILE* out, FILE* err, const std::string& name, const std::string& log) {
  NtMachineRef machine;
  DWORD error = nt_open_machine(name, &machine, NtMachineAccess::admin);
  if (error != ERROR_SUCCESS) {
    fprintf(err, "ntnet: no machine %s in the network\n", name.c_str());
    return 1;
  }
  HANDLE handle = nt_open_event_log(machine.name, log, NtMachineAccess::admin);
  if (handle == nullptr) {
    fprintf(err, "ntnet: cannot open the %s log of %s (error %lu)\n", log.c_str(),
            machine.name.c_str(), static_cast<unsigned long>(GetLastError()));
    return 1;
  }
  std::string log_name = nt_event_log_name(log);
  int rc = print_all(out, err, handle, machine, log_name,
                     "\\\\" + machine.name + " " + log_name);
  CloseEventLog(handle);
  return rc;
}

}  // namespace

int ntnet_events_command(const std::vector<std::string>& args, FILE* out, FILE* err) {
  if (!args.empty() && args[0].rfind("--file", 0) == 0) {
    std::string file;
    if (args[0] == "--file" && args.size() == 2) {
      file = args[1];
    } else if (args[0].rfind("--file=", 0) == 0 && args.size() == 1) {
      file = args[0].substr(7);
    } else {
      fputs(kUsage, err);
      return 2;
    }
    if (file.empty()) {
      fputs(kUsage, err);
      return 2;
    }
    return events_of_file(out, err, file);
  }
  if (args.empty() || args.size() > 2 || args[0].empty() || args[0][0] == '-') {
    fputs(kUsage, err);
    return 2;
  }
  std::string log = args.size() == 2 ? args[1] : NT_LOG_APPLICATION;
  if (log.empty()) {
    fputs(kUsage, err);
    return 2;
  }
  return events_of_machine(out, err, args[0], log);
}

int ntnet_events_command(const std::vector<std::string>& args) {
  return ntnet_events_command(args, stdout, stderr);
}
