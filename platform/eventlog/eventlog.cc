#include "platform/eventlog/eventlog.h"

#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/eventlog/evt_file.h"
#include "platform/files/file_io.h"
#include "platform/kernel/clock.h"
#include "platform/kernel/error.h"
#include "platform/kernel/handle.h"
#include "platform/network/machine.h"
#include "platform/network/wtf8.h"
#include "platform/nls/codepage.h"
#include "platform/registry/registry.h"

namespace {

constexpr const char16_t* kEventLogKey = u"SYSTEM\\CurrentControlSet\\Services\\EventLog";
// Backup files are read whole; their offsets are 32 bits.
constexpr DWORD kMaxBackupFileSize = 0x7FFFFFFF;

enum class Kind { source, log, backup };

// What an event log handle stands for.
class EventLogObject : public KernelObject {
 public:
  Kind kind = Kind::log;
  NtMachineRef machine;       // no store for a backup file
  bool check_online = false;  // a remote machine reached over the network
  std::string log;            // canonical name; empty for a backup file
  std::u16string source;      // source handles

  // The read position: the last record read (0: none yet) and the clear
  // count of the log when it was read.
  std::mutex mutex;
  DWORD last_read = 0;
  int64_t generation = 0;

  // A backup file's records (wide layouts) and their numbers.
  std::vector<std::string> backup;
  std::map<DWORD, size_t> backup_index;
};

HANDLE fail_handle(DWORD code) {
  SetLastError(code);
  return nullptr;
}

BOOL fail(DWORD code) {
  SetLastError(code);
  return FALSE;
}

BOOL succeed() {
  SetLastError(ERROR_SUCCESS);
  return TRUE;
}

DWORD get32(const std::string& bytes, size_t at) {
  DWORD v = 0;
  for (int i = 3; i >= 0; --i) v = (v << 8) | static_cast<unsigned char>(bytes[at + i]);
  return v;
}

// The handle as an event log object of one of the kinds allowed.
std::shared_ptr<EventLogObject> lookup(HANDLE handle, std::initializer_list<Kind> kinds) {
  auto object = nt_lookup_handle_as<EventLogObject>(handle);
  if (!object) return nullptr;
  for (Kind k : kinds)
    if (object->kind == k) return object;
  SetLastError(ERROR_INVALID_HANDLE);
  return nullptr;
}

// A remote machine must still be online for each call.
DWORD reachable(const EventLogObject& object) {
  if (!object.check_online) return ERROR_SUCCESS;
  bool online = false;
  DWORD err = nt_machine_is_online(*object.machine.store, &online);
  return err == ERROR_SUCCESS && online ? ERROR_SUCCESS : RPC_S_SERVER_UNAVAILABLE;
}

DWORD open_machine(std::string_view name, NtMachineAccess access, NtMachineRef* machine,
                   bool* check_online) {
  DWORD err = nt_open_machine(name, machine, access);
  if (err != ERROR_SUCCESS) return err;
  *check_online = !machine->local && access == NtMachineAccess::network;
  return ERROR_SUCCESS;
}

std::string machine_from_a(const char* name) {
  return name && *name ? nt_wtf8_from_utf16(nt_ansi_to_wide(name)) : std::string();
}

std::string machine_from_w(const WCHAR* name) {
  return name && *name ? nt_wtf8_from_utf16(name) : std::string();
}

// The log whose registry key holds `source` on the machine; Application when
// none does.
std::string registered_log(const NtMachineRef& machine, const std::u16string& source) {
  HKEY root = nullptr;
  if (nt_reg_open_machine_root(machine.name, HKEY_LOCAL_MACHINE, &root) != ERROR_SUCCESS)
    return NT_LOG_APPLICATION;
  HKEY logs = nullptr;
  std::string found = NT_LOG_APPLICATION;
  if (RegOpenKeyExW(root, kEventLogKey, 0, KEY_READ, &logs) == ERROR_SUCCESS) {
    for (DWORD i = 0;; ++i) {
      WCHAR name[256];
      DWORD size = 256;
      if (RegEnumKeyExW(logs, i, name, &size, nullptr, nullptr, nullptr, nullptr) !=
          ERROR_SUCCESS)
        break;
      std::u16string path = std::u16string(name, size) + u"\\" + source;
      HKEY key = nullptr;
      if (RegOpenKeyExW(logs, path.c_str(), 0, KEY_READ, &key) == ERROR_SUCCESS) {
        RegCloseKey(key);
        found = nt_event_log_name(nt_wtf8_from_utf16(std::u16string_view(name, size)));
        break;
      }
    }
    RegCloseKey(logs);
  }
  RegCloseKey(root);
  return found;
}

HANDLE register_source(const std::string& server, const std::u16string& source) {
  if (source.empty()) return fail_handle(ERROR_INVALID_PARAMETER);
  auto object = std::make_shared<EventLogObject>();
  object->kind = Kind::source;
  DWORD err = open_machine(server, NtMachineAccess::network, &object->machine,
                           &object->check_online);
  if (err != ERROR_SUCCESS) return fail_handle(err);
  object->source = source;
  object->log = registered_log(object->machine, source);
  HANDLE handle = nt_insert_handle(object);
  if (handle) SetLastError(ERROR_SUCCESS);
  return handle;
}

HANDLE open_log(std::string_view server, std::string_view log, NtMachineAccess access) {
  if (log.empty()) return fail_handle(ERROR_INVALID_PARAMETER);
  auto object = std::make_shared<EventLogObject>();
  object->kind = Kind::log;
  DWORD err = open_machine(server, access, &object->machine, &object->check_online);
  if (err != ERROR_SUCCESS) return fail_handle(err);
  object->log = nt_event_log_name(log);
  NtEventLogState state;
  if ((err = nt_event_store_state(*object->machine.store, object->log, &state)) != ERROR_SUCCESS)
    return fail_handle(err);
  object->generation = state.generation;
  HANDLE handle = nt_insert_handle(object);
  if (handle) SetLastError(ERROR_SUCCESS);
  return handle;
}

BOOL report(HANDLE handle, WORD type, WORD category, DWORD event_id, PSID user_sid,
            std::vector<std::u16string> strings, DWORD data_size, const void* data) {
  auto object = lookup(handle, {Kind::source});
  if (!object) return FALSE;
  if (!nt_event_type_valid(type) || (data_size != 0 && data == nullptr))
    return fail(ERROR_INVALID_PARAMETER);
  if (user_sid != nullptr && !IsValidSid(user_sid)) return fail(ERROR_INVALID_PARAMETER);
  for (const std::u16string& s : strings)
    if (s.size() > NT_EVENT_MAX_STRING_LENGTH) return fail(ERROR_INVALID_PARAMETER);
  DWORD err = reachable(*object);
  if (err != ERROR_SUCCESS) return fail(err);

  NtEventRecord record;
  record.time_generated = static_cast<DWORD>(nt_unix_now());
  record.event_id = event_id;
  record.event_type = type;
  record.category = category;
  record.source = object->source;
  record.computer = nt_utf16_from_wtf8(nt_local_machine_name());
  if (user_sid) record.sid.assign(static_cast<const char*>(user_sid), GetLengthSid(user_sid));
  record.strings = std::move(strings);
  if (data_size) record.data.assign(static_cast<const char*>(data), data_size);
  // Either form must stay readable in one ReadEventLog buffer.
  if (nt_event_record_layout(record, false).size() > NT_EVENT_MAX_RECORD_SIZE ||
      nt_event_record_layout(record, true).size() > NT_EVENT_MAX_RECORD_SIZE)
    return fail(ERROR_INVALID_PARAMETER);
  err = nt_event_store_append(*object->machine.store, object->log, &record);
  if (err != ERROR_SUCCESS) return fail(err);
  return succeed();
}

// ---- Reading.

// The wide layout of record `number`, ERROR_HANDLE_EOF when there is none.
DWORD fetch(EventLogObject& object, DWORD number, std::string* record) {
  if (object.kind == Kind::backup) {
    auto it = object.backup_index.find(number);
    if (it == object.backup_index.end()) return ERROR_HANDLE_EOF;
    *record = object.backup[it->second];
    return ERROR_SUCCESS;
  }
  return nt_event_store_read(*object.machine.store, object.log, number, record);
}

DWORD state_of(EventLogObject& object, NtEventLogState* state) {
  if (object.kind == Kind::backup) {
    NtEventLogState s;
    if (!object.backup.empty()) {
      s.oldest = get32(object.backup.front(), 8);
      s.newest = get32(object.backup.back(), 8);
      s.count = static_cast<DWORD>(object.backup.size());
    }
    *state = s;
    return ERROR_SUCCESS;
  }
  return nt_event_store_state(*object.machine.store, object.log, state);
}

BOOL read_log(HANDLE handle, DWORD flags, DWORD offset, void* buffer, DWORD size, DWORD* read,
              DWORD* needed, bool ansi) {
  auto object = lookup(handle, {Kind::log, Kind::backup});
  if (!object) return FALSE;
  bool sequential = flags & EVENTLOG_SEQUENTIAL_READ;
  bool seek = flags & EVENTLOG_SEEK_READ;
  bool forwards = flags & EVENTLOG_FORWARDS_READ;
  bool backwards = flags & EVENTLOG_BACKWARDS_READ;
  DWORD known = EVENTLOG_SEQUENTIAL_READ | EVENTLOG_SEEK_READ | EVENTLOG_FORWARDS_READ |
                EVENTLOG_BACKWARDS_READ;
  if (sequential == seek || forwards == backwards || (flags & ~known) != 0 || read == nullptr ||
      needed == nullptr || (buffer == nullptr && size != 0) || size > NT_EVENT_MAX_RECORD_SIZE)
    return fail(ERROR_INVALID_PARAMETER);
  *read = 0;
  *needed = 0;
  DWORD err = reachable(*object);
  if (err != ERROR_SUCCESS) return fail(err);

  std::lock_guard<std::mutex> guard(object->mutex);
  NtEventLogState state;
  if ((err = state_of(*object, &state)) != ERROR_SUCCESS) return fail(err);
  if (state.generation != object->generation) {
    object->generation = state.generation;
    object->last_read = 0;
    return fail(ERROR_EVENTLOG_FILE_CHANGED);
  }

  DWORD next;
  if (seek) {
    next = offset;
    std::string probe;
    if (offset == 0 || fetch(*object, offset, &probe) != ERROR_SUCCESS)
      return fail(ERROR_INVALID_PARAMETER);
  } else if (object->last_read == 0) {
    next = forwards ? state.oldest : state.newest;
  } else {
    next = forwards ? object->last_read + 1 : object->last_read - 1;
  }

  char* out = static_cast<char*>(buffer);
  DWORD used = 0;
  while (next != 0) {
    std::string record;
    err = fetch(*object, next, &record);
    if (err == ERROR_HANDLE_EOF) break;
    if (err != ERROR_SUCCESS) return fail(err);
    if (ansi) {
      NtEventRecord parsed;
      if (!nt_event_record_parse(record, false, &parsed, nullptr))
        return fail(ERROR_EVENTLOG_FILE_CORRUPT);
      record = nt_event_record_layout(parsed, true);
    }
    if (record.size() > size - used) {
      if (used == 0) {
        *needed = static_cast<DWORD>(record.size());
        return fail(ERROR_INSUFFICIENT_BUFFER);
      }
      break;
    }
    memcpy(out + used, record.data(), record.size());
    used += static_cast<DWORD>(record.size());
    object->last_read = next;
    next = forwards ? next + 1 : next - 1;
  }
  if (used == 0) return fail(ERROR_HANDLE_EOF);
  *read = used;
  return succeed();
}

// ---- Backups.

DWORD write_backup_file(const char* file, const std::vector<std::string>& records,
                        DWORD next_record) {
  if (file == nullptr) return ERROR_INVALID_PARAMETER;
  std::string bytes = nt_evt_file_build(records, next_record);
  HANDLE out = CreateFileA(file, GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL,
                           nullptr);
  if (out == INVALID_HANDLE_VALUE) {
    DWORD err = GetLastError();
    return err == ERROR_FILE_EXISTS ? ERROR_ALREADY_EXISTS : err;
  }
  DWORD written = 0;
  DWORD err = ERROR_SUCCESS;
  if (!WriteFile(out, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr))
    err = GetLastError();
  if (!CloseHandle(out) && err == ERROR_SUCCESS) err = GetLastError();
  if (err != ERROR_SUCCESS) DeleteFileA(file);  // never a partial backup
  return err;
}

DWORD read_backup_file(const char* file, std::string* bytes) {
  HANDLE in = CreateFileA(file, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                          FILE_ATTRIBUTE_NORMAL, nullptr);
  if (in == INVALID_HANDLE_VALUE) return GetLastError();
  DWORD high = 0;
  DWORD low = GetFileSize(in, &high);
  DWORD err = ERROR_SUCCESS;
  if (low == INVALID_FILE_SIZE && GetLastError() != ERROR_SUCCESS) {
    err = GetLastError();
  } else if (high != 0 || low > kMaxBackupFileSize) {
    err = ERROR_EVENTLOG_FILE_CORRUPT;
  } else {
    bytes->resize(low);
    DWORD total = 0;
    while (total < low) {
      DWORD got = 0;
      if (!ReadFile(in, bytes->data() + total, low - total, &got, nullptr)) {
        err = GetLastError();
        break;
      }
      if (got == 0) break;
      total += got;
    }
    bytes->resize(total);
  }
  CloseHandle(in);
  return err;
}

}  // namespace

HANDLE RegisterEventSourceA(const char* server, const char* source) {
  if (source == nullptr) return fail_handle(ERROR_INVALID_PARAMETER);
  return register_source(machine_from_a(server), nt_ansi_to_wide(source));
}

HANDLE RegisterEventSourceW(const WCHAR* server, const WCHAR* source) {
  if (source == nullptr) return fail_handle(ERROR_INVALID_PARAMETER);
  return register_source(machine_from_w(server), source);
}

BOOL DeregisterEventSource(HANDLE source) { return CloseEventLog(source); }

BOOL ReportEventA(HANDLE source, WORD type, WORD category, DWORD event_id, PSID user_sid,
                  WORD count, DWORD data_size, const char** strings, const void* data) {
  if (count != 0 && strings == nullptr) return fail(ERROR_INVALID_PARAMETER);
  std::vector<std::u16string> texts;
  for (WORD i = 0; i < count; ++i) {
    if (strings[i] == nullptr) return fail(ERROR_INVALID_PARAMETER);
    texts.push_back(nt_ansi_to_wide(strings[i]));
  }
  return report(source, type, category, event_id, user_sid, std::move(texts), data_size, data);
}

BOOL ReportEventW(HANDLE source, WORD type, WORD category, DWORD event_id, PSID user_sid,
                  WORD count, DWORD data_size, const WCHAR** strings, const void* data) {
  if (count != 0 && strings == nullptr) return fail(ERROR_INVALID_PARAMETER);
  std::vector<std::u16string> texts;
  for (WORD i = 0; i < count; ++i) {
    if (strings[i] == nullptr) return fail(ERROR_INVALID_PARAMETER);
    texts.emplace_back(strings[i]);
  }
  return report(source, type, category, event_id, user_sid, std::move(texts), data_size, data);
}

HANDLE OpenEventLogA(const char* server, const char* log) {
  if (log == nullptr) return fail_handle(ERROR_INVALID_PARAMETER);
  return open_log(machine_from_a(server), nt_wtf8_from_utf16(nt_ansi_to_wide(log)),
                  NtMachineAccess::network);
}

HANDLE OpenEventLogW(const WCHAR* server, const WCHAR* log) {
  if (log == nullptr) return fail_handle(ERROR_INVALID_PARAMETER);
  return open_log(machine_from_w(server), nt_wtf8_from_utf16(log), NtMachineAccess::network);
}

HANDLE nt_open_event_log(std::string_view machine, std::string_view log, NtMachineAccess access) {
  return open_log(machine, log, access);
}

HANDLE OpenBackupEventLogA(const char* server, const char* file) {
  if (file == nullptr || *file == '\0') return fail_handle(ERROR_INVALID_PARAMETER);
  NtMachineRef machine;
  DWORD err = nt_open_machine(machine_from_a(server), &machine);
  if (err != ERROR_SUCCESS) return fail_handle(err);
  std::string bytes;
  if ((err = read_backup_file(file, &bytes)) != ERROR_SUCCESS) return fail_handle(err);
  auto object = std::make_shared<EventLogObject>();
  object->kind = Kind::backup;
  if (!nt_evt_file_parse(bytes, &object->backup)) return fail_handle(ERROR_EVENTLOG_FILE_CORRUPT);
  for (size_t i = 0; i < object->backup.size(); ++i)
    object->backup_index.emplace(get32(object->backup[i], 8), i);
  HANDLE handle = nt_insert_handle(object);
  if (handle) SetLastError(ERROR_SUCCESS);
  return handle;
}

BOOL CloseEventLog(HANDLE log) {
  if (!lookup(log, {Kind::source, Kind::log, Kind::backup})) return FALSE;
  if (!CloseHandle(log)) return FALSE;
  return succeed();
}

BOOL ReadEventLogA(HANDLE log, DWORD flags, DWORD offset, void* buffer, DWORD size, DWORD* read,
                   DWORD* needed) {
  return read_log(log, flags, offset, buffer, size, read, needed, true);
}

BOOL ReadEventLogW(HANDLE log, DWORD flags, DWORD offset, void* buffer, DWORD size, DWORD* read,
                   DWORD* needed) {
  return read_log(log, flags, offset, buffer, size, read, needed, false);
}

BOOL GetNumberOfEventLogRecords(HANDLE log, DWORD* count) {
  auto object = lookup(log, {Kind::log, Kind::backup});
  if (!object) return FALSE;
  if (count == nullptr) return fail(ERROR_INVALID_PARAMETER);
  DWORD err = reachable(*object);
  NtEventLogState state;
  if (err == ERROR_SUCCESS) err = state_of(*object, &state);
  if (err != ERROR_SUCCESS) return fail(err);
  *count = state.count;
  return succeed();
}

BOOL GetOldestEventLogRecord(HANDLE log, DWORD* oldest) {
  auto object = lookup(log, {Kind::log, Kind::backup});
  if (!object) return FALSE;
  if (oldest == nullptr) return fail(ERROR_INVALID_PARAMETER);
  DWORD err = reachable(*object);
  NtEventLogState state;
  if (err == ERROR_SUCCESS) err = state_of(*object, &state);
  if (err != ERROR_SUCCESS) return fail(err);
  *oldest = state.oldest;
  return succeed();
}

BOOL BackupEventLogA(HANDLE log, const char* file) {
  auto object = lookup(log, {Kind::log, Kind::backup});
  if (!object) return FALSE;
  if (file == nullptr) return fail(ERROR_INVALID_PARAMETER);
  DWORD err = reachable(*object);
  if (err != ERROR_SUCCESS) return fail(err);
  std::vector<std::string> records;
  DWORD next_record = 1;
  if (object->kind == Kind::backup) {
    records = object->backup;
    if (!records.empty()) next_record = get32(records.back(), 8) + 1;
  } else {
    NtEventLogState state;
    err = nt_event_store_snapshot(*object->machine.store, object->log, &records, &state);
    if (err != ERROR_SUCCESS) return fail(err);
    next_record = state.newest + 1;
  }
  if ((err = write_backup_file(file, records, next_record)) != ERROR_SUCCESS) return fail(err);
  return succeed();
}

BOOL nt_backup_and_clear_event_log(HANDLE log, const char* file, bool* backup_written) {
  if (backup_written) *backup_written = false;
  auto object = lookup(log, {Kind::log});
  if (!object) return FALSE;
  DWORD err = reachable(*object);
  if (err != ERROR_SUCCESS) return fail(err);
  MachineStore& store = *object->machine.store;
  if (file == nullptr) {
    err = nt_event_store_clear(store, object->log);
    return err == ERROR_SUCCESS ? succeed() : fail(err);
  }
  // The file is written outside the store's lock (resolving its name may
  // need the machine's store); then exactly the records it holds are
  // removed, so an event written meanwhile stays in the log.
  std::vector<std::string> records;
  NtEventLogState state;
  if ((err = nt_event_store_snapshot(store, object->log, &records, &state)) != ERROR_SUCCESS)
    return fail(err);
  if ((err = write_backup_file(file, records, state.newest + 1)) != ERROR_SUCCESS)
    return fail(err);
  if (backup_written) *backup_written = true;
  err = nt_event_store_clear_through(store, object->log, state.newest, state.generation);
  return err == ERROR_SUCCESS ? succeed() : fail(err);
}

BOOL ClearEventLogA(HANDLE log, const char* backup_file) {
  return nt_backup_and_clear_event_log(log, backup_file, nullptr);
}

bool nt_event_log_origin(HANDLE log, std::string* machine, std::string* log_name) {
  auto object = lookup(log, {Kind::log, Kind::backup});
  if (!object) return false;
  if (machine) *machine = object->kind == Kind::backup ? std::string() : object->machine.name;
  if (log_name) *log_name = object->log;
  return true;
}
