#include "platform/eventlog/event_message.h"

#include <cstdio>
#include <vector>

#include "platform/eventlog/event_store.h"
#include "platform/kernel/environment.h"
#include "platform/kernel/local_memory.h"
#include "platform/network/wtf8.h"
#include "platform/nls/codepage.h"
#include "platform/registry/registry.h"
#include "platform/resource/format_message.h"
#include "platform/resource/resource.h"

namespace {

// FormatMessage inserts run from %1 to %99.
constexpr size_t kMaxInserts = 99;

std::string utf8_of_ansi(const std::string& ansi) {
  return nt_wtf8_from_utf16(nt_ansi_to_wide(ansi));
}

// The source's message file list (ANSI, expanded); empty when there is none.
std::string message_files_of(HKEY root, const std::string& log, const std::u16string& source) {
  std::string path = "SYSTEM\\CurrentControlSet\\Services\\EventLog\\" +
                     nt_wide_to_ansi(nt_utf16_from_wtf8(log)) + "\\" + nt_wide_to_ansi(source);
  HKEY key = nullptr;
  std::string value;
  if (RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, &key) == ERROR_SUCCESS) {
    DWORD type = 0, size = 0;
    if (RegQueryValueExA(key, "EventMessageFile", nullptr, &type, nullptr, &size) ==
            ERROR_SUCCESS &&
        (type == REG_EXPAND_SZ || type == REG_SZ) && size > 0) {
      value.resize(size);
      if (RegQueryValueExA(key, "EventMessageFile", nullptr, &type,
                           reinterpret_cast<BYTE*>(value.data()), &size) == ERROR_SUCCESS) {
        value.resize(size);
        value = value.substr(0, value.find('\0'));
      } else {
        value.clear();
      }
    }
    RegCloseKey(key);
  }
  if (value.empty()) return {};
  DWORD need = ExpandEnvironmentStringsA(value.c_str(), nullptr, 0);
  if (need == 0) return value;
  std::string expanded(need, '\0');
  DWORD got = ExpandEnvironmentStringsA(value.c_str(), expanded.data(), need);
  if (got == 0 || got > need) return value;
  expanded.resize(got - 1);
  return expanded;
}

// The message files of the source under `log`, or under the first log that
// has them when `log` is empty.
std::string message_files(const NtMachineRef& machine, const std::string& log,
                          const std::u16string& source) {
  HKEY root = nullptr;
  if (nt_reg_open_machine_root(machine.name, HKEY_LOCAL_MACHINE, &root) != ERROR_SUCCESS)
    return {};
  std::string files;
  if (!log.empty()) {
    files = message_files_of(root, log, source);
  } else {
    for (const char* candidate : {NT_LOG_APPLICATION, NT_LOG_SYSTEM, NT_LOG_SECURITY}) {
      files = message_files_of(root, candidate, source);
      if (!files.empty()) break;
    }
  }
  RegCloseKey(root);
  return files;
}

// The message of `id` from one file, inserts filled in; false when the file
// cannot be read or lacks the message.
bool format_from_file(const std::string& file, DWORD id, const std::vector<std::string>& inserts,
                      std::string* text) {
  HMODULE module = LoadLibraryExA(file.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  if (module == nullptr) return false;
  // References beyond the event's strings show as written.
  std::vector<std::string> placeholders;
  std::vector<DWORD_PTR> arguments(kMaxInserts);
  placeholders.reserve(kMaxInserts);
  for (size_t i = 0; i < kMaxInserts; ++i) placeholders.push_back("%" + std::to_string(i + 1));
  for (size_t i = 0; i < kMaxInserts; ++i) {
    const std::string& s = i < inserts.size() ? inserts[i] : placeholders[i];
    arguments[i] = reinterpret_cast<DWORD_PTR>(s.c_str());
  }
  char* buffer = nullptr;
  DWORD length = FormatMessageA(
      FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_ARGUMENT_ARRAY | FORMAT_MESSAGE_ALLOCATE_BUFFER,
      module, id, 0, reinterpret_cast<char*>(&buffer), 0,
      reinterpret_cast<va_list*>(arguments.data()));
  bool ok = length != 0 && buffer != nullptr;
  if (ok) text->assign(buffer, length);
  if (buffer) LocalFree(buffer);
  FreeLibrary(module);
  return ok;
}

}  // namespace

std::string nt_event_description(const NtMachineRef& machine, const std::string& log,
                                 const NtEventRecord& record) {
  std::vector<std::string> inserts;
  for (const std::u16string& s : record.strings) inserts.push_back(nt_wide_to_ansi(s));

  std::string files = message_files(machine, log, record.source);
  size_t start = 0;
  while (start < files.size()) {
    size_t end = files.find(';', start);
    if (end == std::string::npos) end = files.size();
    std::string file = files.substr(start, end - start);
    std::string text;
    if (!file.empty() && format_from_file(file, record.event_id, inserts, &text))
      return utf8_of_ansi(text);
    start = end + 1;
  }

  char head[160];
  snprintf(head, sizeof head, "The description for Event ID ( %u ) in Source ( ",
           static_cast<unsigned>(record.event_id & 0xFFFF));
  std::string text = head;
  text += nt_wtf8_from_utf16(record.source);
  text += " ) could not be found. It contains the following insertion string(s): ";
  for (size_t i = 0; i < record.strings.size(); ++i) {
    if (i) text += ", ";
    text += nt_wtf8_from_utf16(record.strings[i]);
  }
  text += ".";
  return text;
}

std::string nt_event_type_name(WORD type) {
  switch (type) {
    case EVENTLOG_ERROR_TYPE: return "Error";
    case EVENTLOG_WARNING_TYPE: return "Warning";
    case EVENTLOG_INFORMATION_TYPE: return "Information";
    case EVENTLOG_AUDIT_SUCCESS: return "Success Audit";
    case EVENTLOG_AUDIT_FAILURE: return "Failure Audit";
    case EVENTLOG_SUCCESS: return "Success";
    default: return "Type " + std::to_string(type);
  }
}
