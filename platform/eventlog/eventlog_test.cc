#include "platform/eventlog/eventlog.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <fstream>
#include <sstream>

#include "platform/kernel/clock.h"
#include "platform/kernel/error.h"
#include "platform/network/network_test_env.h"
#include "platform/registry/registry.h"

namespace {

std::string file_bytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

bool file_exists(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0;
}

class EventLogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    NtMachineRef local;
    ASSERT_EQ(nt_open_machine("", &local), ERROR_SUCCESS);
    NtMachineInfo server;
    server.name = "SRV1";
    server.lan_group = "WORKGROUP";
    server.role = NtMachineRole::server;
    ASSERT_EQ(nt_machine_create(net_.root(), server), ERROR_SUCCESS);
  }

  // Writes an information event with the given strings through a new source.
  void report(const char* server, const char* source, DWORD id,
              std::vector<const char*> strings, WORD type = EVENTLOG_INFORMATION_TYPE) {
    HANDLE h = RegisterEventSourceA(server, source);
    ASSERT_NE(h, nullptr) << GetLastError();
    ASSERT_TRUE(ReportEventA(h, type, 0, id, nullptr, static_cast<WORD>(strings.size()), 0,
                             strings.data(), nullptr))
        << GetLastError();
    EXPECT_TRUE(DeregisterEventSource(h));
  }

  // Reads one call's records; empty with the error in *error on failure.
  std::vector<NtEventRecord> read(HANDLE h, DWORD flags, DWORD offset = 0, DWORD size = 0x10000,
                                  DWORD* error = nullptr, bool ansi = true) {
    std::string buffer(size, '\0');
    DWORD got = 0, needed = 0;
    std::vector<NtEventRecord> out;
    BOOL ok = ansi ? ReadEventLogA(h, flags, offset, buffer.data(), size, &got, &needed)
                   : ReadEventLogW(h, flags, offset, buffer.data(), size, &got, &needed);
    if (error) *error = ok ? 0 : GetLastError();
    if (!ok) {
      last_needed_ = needed;
      return out;
    }
    size_t pos = 0;
    while (pos < got) {
      NtEventRecord r;
      size_t length = 0;
      if (!nt_event_record_parse(std::string_view(buffer).substr(pos, got - pos), ansi, &r,
                                 &length)) {
        ADD_FAILURE() << "unreadable record at " << pos;
        break;
      }
      out.push_back(r);
      pos += length;
    }
    return out;
  }

  static std::vector<DWORD> numbers(const std::vector<NtEventRecord>& records) {
    std::vector<DWORD> out;
    for (const NtEventRecord& r : records) out.push_back(r.record_number);
    return out;
  }

  void register_source(const char* machine, const char* log, const char* source) {
    HKEY root = nullptr;
    ASSERT_EQ(nt_reg_open_machine_root(machine, HKEY_LOCAL_MACHINE, &root), ERROR_SUCCESS);
    std::string path = std::string("SYSTEM\\CurrentControlSet\\Services\\EventLog\\") + log +
                       "\\" + source;
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyA(root, path.c_str(), &key), ERROR_SUCCESS);
    RegCloseKey(key);
    RegCloseKey(root);
  }

  std::string scratch(const char* name) { return net_.root() + "/" + name; }

  TempNetwork net_{"LOCALPC"};
  DWORD last_needed_ = 0;
};

TEST_F(EventLogTest, EventsAreNumberedAndKeepEveryField) {
  HANDLE src = RegisterEventSourceA(nullptr, "MyApp");
  ASSERT_NE(src, nullptr);
  std::string sid = nt_sid_make(SECURITY_NT_AUTHORITY, {SECURITY_LOCAL_SYSTEM_RID});
  const char* strings[] = {"first", "second"};
  DWORD before = static_cast<DWORD>(nt_unix_now());
  ASSERT_TRUE(ReportEventA(src, EVENTLOG_WARNING_TYPE, 9, 0x80000010, sid.data(), 2, 3, strings,
                           "\x01\x02\x03"));
  DWORD after = static_cast<DWORD>(nt_unix_now());
  ASSERT_TRUE(ReportEventA(src, EVENTLOG_ERROR_TYPE, 0, 0xC0000001, nullptr, 0, 0, nullptr,
                           nullptr));
  const WCHAR* wide[] = {u"wide"};
  ASSERT_TRUE(ReportEventW(src, EVENTLOG_INFORMATION_TYPE, 0, 3, nullptr, 1, 0, wide, nullptr));
  EXPECT_TRUE(DeregisterEventSource(src));

  HANDLE log = OpenEventLogA(nullptr, "Application");
  ASSERT_NE(log, nullptr);
  DWORD count = 0, oldest = 0;
  ASSERT_TRUE(GetNumberOfEventLogRecords(log, &count));
  ASSERT_TRUE(GetOldestEventLogRecord(log, &oldest));
  EXPECT_EQ(count, 3u);
  EXPECT_EQ(oldest, 1u);
  auto records = read(log, EVENTLOG_SEQUENTIAL_READ | EVENTLOG_FORWARDS_READ);
  ASSERT_EQ(records.size(), 3u);
  EXPECT_EQ(numbers(records), (std::vector<DWORD>{1, 2, 3}));
  const NtEventRecord& r = records[0];
  EXPECT_EQ(r.event_type, EVENTLOG_WARNING_TYPE);
  EXPECT_EQ(r.category, 9);
  EXPECT_EQ(r.event_id, 0x80000010u);
  EXPECT_EQ(r.source, u"MyApp");
  EXPECT_EQ(r.computer, u"LOCALPC");
  EXPECT_EQ(r.sid, sid);
  EXPECT_EQ(r.strings, (std::vector<std::u16string>{u"first", u"second"}));
  EXPECT_EQ(r.data, "\x01\x02\x03");
  EXPECT_GE(r.time_generated, before);
  EXPECT_LE(r.time_generated, after);
  EXPECT_GE(r.time_written, r.time_generated);
  EXPECT_LE(r.time_written, after);
  EXPECT_EQ(records[1].strings.size(), 0u);
  EXPECT_EQ(records[2].strings, std::vector<std::u16string>{u"wide"});
  // Past the end.
  DWORD error = 0;
  EXPECT_TRUE(read(log, EVENTLOG_SEQUENTIAL_READ | EVENTLOG_FORWARDS_READ, 0, 0x10000, &error)
                  .empty());
  EXPECT_EQ(error, ERROR_HANDLE_EOF);
  // A new event is seen by the open handle.
  report(nullptr, "MyApp", 4, {"late"});
  EXPECT_EQ(numbers(read(log, EVENTLOG_SEQUENTIAL_READ | EVENTLOG_FORWARDS_READ)),
            std::vector<DWORD>{4});
  EXPECT_TRUE(CloseEventLog(log));
  EXPECT_FALSE(CloseEventLog(log));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
}

TEST_F(EventLogTest, SequentialSeekAndBackwardsReads) {
  for (DWORD i = 1; i <= 5; ++i) report(nullptr, "Reader", i, {"x"});
  const DWORD fwd = EVENTLOG_SEQUENTIAL_READ | EVENTLOG_FORWARDS_READ;
  const DWORD back = EVENTLOG_SEQUENTIAL_READ | EVENTLOG_BACKWARDS_READ;

  HANDLE log = OpenEventLogA(nullptr, "application");
  // Backwards from the newest; a buffer of two records' size takes two.
  NtEventRecord one;
  one.source = u"Reader";
  one.computer = u"LOCALPC";
  one.strings = {u"x"};
  DWORD record_size = static_cast<DWORD>(nt_event_record_layout(one, true).size());
  EXPECT_EQ(numbers(read(log, back, 0, 2 * record_size + 3)), (std::vector<DWORD>{5, 4}));
  EXPECT_EQ(numbers(read(log, back)), (std::vector<DWORD>{3, 2, 1}));
  DWORD error = 0;
  read(log, back, 0, 0x10000, &error);
  EXPECT_EQ(error, ERROR_HANDLE_EOF);
  // Turning round goes on from the last record read.
  EXPECT_EQ(numbers(read(log, fwd, 0, record_size)), std::vector<DWORD>{2});

  // A seek read starts anywhere and sets the position.
  EXPECT_EQ(numbers(read(log, EVENTLOG_SEEK_READ | EVENTLOG_FORWARDS_READ, 4)),
            (std::vector<DWORD>{4, 5}));
  EXPECT_EQ(numbers(read(log, EVENTLOG_SEEK_READ | EVENTLOG_BACKWARDS_READ, 2)),
            (std::vector<DWORD>{2, 1}));
  read(log, back, 0, 0x10000, &error);
  EXPECT_EQ(error, ERROR_HANDLE_EOF);
  EXPECT_EQ(numbers(read(log, fwd, 0, record_size)), std::vector<DWORD>{2});
  for (DWORD missing : {0u, 6u, 1000u}) {
    read(log, EVENTLOG_SEEK_READ | EVENTLOG_FORWARDS_READ, missing, 0x10000, &error);
    EXPECT_EQ(error, ERROR_INVALID_PARAMETER) << missing;
  }

  // A buffer too small for the next record: its size, and the position kept.
  read(log, fwd, 0, record_size - 1, &error);
  EXPECT_EQ(error, ERROR_INSUFFICIENT_BUFFER);
  EXPECT_EQ(last_needed_, record_size);
  read(log, fwd, 0, 0, &error);
  EXPECT_EQ(error, ERROR_INSUFFICIENT_BUFFER);
  EXPECT_EQ(numbers(read(log, fwd)), (std::vector<DWORD>{3, 4, 5}));

  // The wide form of the same record is larger and reads the same.
  EXPECT_EQ(read(log, EVENTLOG_SEEK_READ | EVENTLOG_FORWARDS_READ, 5, 0x10000, nullptr, false)
                .at(0)
                .strings,
            std::vector<std::u16string>{u"x"});

  // Flags and arguments.
  char buffer[16];
  DWORD got = 0, needed = 0;
  for (DWORD flags : {0u, 1u, 4u, 3u, 5u | 8u, 1u | 4u | 0x10u}) {
    EXPECT_FALSE(ReadEventLogA(log, flags, 0, buffer, sizeof buffer, &got, &needed)) << flags;
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER) << flags;
  }
  EXPECT_FALSE(ReadEventLogA(log, fwd, 0, nullptr, 16, &got, &needed));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  EXPECT_FALSE(ReadEventLogA(log, fwd, 0, buffer, sizeof buffer, nullptr, &needed));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  std::string huge(0x80000, '\0');
  EXPECT_FALSE(ReadEventLogA(log, fwd, 0, huge.data(), 0x80000, &got, &needed));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  CloseEventLog(log);
}

TEST_F(EventLogTest, SourcesWriteToTheLogTheirKeyIsUnder) {
  register_source("LOCALPC", "System", "Disk");
  register_source("LOCALPC", "Security", "Auditor");
  report(nullptr, "Disk", 1, {"d"});
  report(nullptr, "disk", 2, {"case ignored"});
  report(nullptr, "Auditor", 3, {"a"});
  report(nullptr, "Unknown", 4, {"u"});

  auto sources = [&](const char* name) {
    HANDLE log = OpenEventLogA(nullptr, name);
    EXPECT_NE(log, nullptr);
    std::vector<std::u16string> out;
    for (const NtEventRecord& r : read(log, EVENTLOG_SEQUENTIAL_READ | EVENTLOG_FORWARDS_READ))
      out.push_back(r.source);
    CloseEventLog(log);
    return out;
  };
  EXPECT_EQ(sources("SYSTEM"), (std::vector<std::u16string>{u"Disk", u"disk"}));
  EXPECT_EQ(sources("Security"), std::vector<std::u16string>{u"Auditor"});
  EXPECT_EQ(sources("Application"), std::vector<std::u16string>{u"Unknown"});
  // An unknown log name opens Application.
  EXPECT_EQ(sources("NoSuchLog"), std::vector<std::u16string>{u"Unknown"});

  EXPECT_EQ(OpenEventLogA(nullptr, ""), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(OpenEventLogA(nullptr, nullptr), nullptr);
  EXPECT_EQ(RegisterEventSourceA(nullptr, ""), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);

  // Each machine has logs of its own.
  report("\\\\SRV1", "Remote", 5, {"r"});
  HANDLE remote = OpenEventLogW(u"SRV1", u"Application");
  ASSERT_NE(remote, nullptr);
  auto records = read(remote, EVENTLOG_SEQUENTIAL_READ | EVENTLOG_FORWARDS_READ);
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(records[0].record_number, 1u);
  EXPECT_EQ(records[0].computer, u"LOCALPC");  // the reporting computer
  CloseEventLog(remote);
}

TEST_F(EventLogTest, ReportEventChecksItsArguments) {
  HANDLE src = RegisterEventSourceA(nullptr, "Checker");
  ASSERT_NE(src, nullptr);
  const char* one[] = {"s"};
  const char* with_null[] = {"s", nullptr};
  EXPECT_FALSE(ReportEventA(src, 3, 0, 1, nullptr, 1, 0, one, nullptr));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  EXPECT_FALSE(ReportEventA(src, EVENTLOG_ERROR_TYPE, 0, 1, nullptr, 1, 0, nullptr, nullptr));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  EXPECT_FALSE(ReportEventA(src, EVENTLOG_ERROR_TYPE, 0, 1, nullptr, 2, 0, with_null, nullptr));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  EXPECT_FALSE(ReportEventA(src, EVENTLOG_ERROR_TYPE, 0, 1, nullptr, 1, 4, one, nullptr));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  std::string bad_sid = std::string("\x01\x10", 2) + std::string(70, '\0');
  EXPECT_FALSE(ReportEventA(src, EVENTLOG_ERROR_TYPE, 0, 1, bad_sid.data(), 1, 0, one, nullptr));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);

  // String length: the limit itself is taken, one more is refused.
  std::string longest(NT_EVENT_MAX_STRING_LENGTH, 'y');
  std::string too_long(NT_EVENT_MAX_STRING_LENGTH + 1, 'y');
  const char* at_limit[] = {longest.c_str()};
  const char* over_limit[] = {too_long.c_str()};
  EXPECT_TRUE(ReportEventA(src, EVENTLOG_ERROR_TYPE, 0, 1, nullptr, 1, 0, at_limit, nullptr));
  EXPECT_FALSE(ReportEventA(src, EVENTLOG_ERROR_TYPE, 0, 1, nullptr, 1, 0, over_limit, nullptr));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  // A record that would not fit a read buffer is refused.
  std::string data(NT_EVENT_MAX_RECORD_SIZE, 'd');
  EXPECT_FALSE(ReportEventA(src, EVENTLOG_ERROR_TYPE, 0, 1, nullptr, 0, NT_EVENT_MAX_RECORD_SIZE,
                            nullptr, data.data()));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);

  // Only source handles write; they do not read.
  HANDLE log = OpenEventLogA(nullptr, "Application");
  EXPECT_FALSE(ReportEventA(log, EVENTLOG_ERROR_TYPE, 0, 1, nullptr, 1, 0, one, nullptr));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
  DWORD count = 0;
  EXPECT_FALSE(GetNumberOfEventLogRecords(src, &count));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
  EXPECT_TRUE(GetNumberOfEventLogRecords(log, &count));
  EXPECT_EQ(count, 1u);  // only the event at the limit
  CloseEventLog(log);
  DeregisterEventSource(src);
}

TEST_F(EventLogTest, BackupWritesAnEvtFileThatReadsBack) {
  for (DWORD i = 1; i <= 3; ++i) report(nullptr, "Saver", i, {"payload"});
  HANDLE log = OpenEventLogA(nullptr, "Application");
  std::string path = scratch("app.evt");
  ASSERT_TRUE(BackupEventLogA(log, path.c_str())) << GetLastError();
  std::string bytes = file_bytes(path);
  ASSERT_GE(bytes.size(), 88u);
  EXPECT_EQ(bytes.substr(4, 4), "LfLe");
  // The log is not changed by a backup.
  DWORD count = 0;
  GetNumberOfEventLogRecords(log, &count);
  EXPECT_EQ(count, 3u);

  // An existing file is never replaced.
  EXPECT_FALSE(BackupEventLogA(log, path.c_str()));
  EXPECT_EQ(GetLastError(), ERROR_ALREADY_EXISTS);
  EXPECT_EQ(file_bytes(path), bytes);
  EXPECT_FALSE(BackupEventLogA(log, scratch("no/such/dir/x.evt").c_str()));
  EXPECT_EQ(GetLastError(), ERROR_PATH_NOT_FOUND);
  EXPECT_FALSE(BackupEventLogA(log, nullptr));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);

  HANDLE backup = OpenBackupEventLogA(nullptr, path.c_str());
  ASSERT_NE(backup, nullptr) << GetLastError();
  DWORD oldest = 0;
  ASSERT_TRUE(GetNumberOfEventLogRecords(backup, &count));
  ASSERT_TRUE(GetOldestEventLogRecord(backup, &oldest));
  EXPECT_EQ(count, 3u);
  EXPECT_EQ(oldest, 1u);
  // The same bytes as from the log itself, in both directions.
  auto live = read(log, EVENTLOG_SEQUENTIAL_READ | EVENTLOG_FORWARDS_READ, 0, 0x10000, nullptr,
                   false);
  auto saved = read(backup, EVENTLOG_SEQUENTIAL_READ | EVENTLOG_FORWARDS_READ, 0, 0x10000,
                    nullptr, false);
  ASSERT_EQ(saved.size(), 3u);
  for (size_t i = 0; i < 3; ++i) {
    EXPECT_EQ(nt_event_record_layout(saved[i], false), nt_event_record_layout(live[i], false));
  }
  EXPECT_EQ(numbers(read(backup, EVENTLOG_SEEK_READ | EVENTLOG_BACKWARDS_READ, 2)),
            (std::vector<DWORD>{2, 1}));
  // A backup of a backup is the same file.
  std::string copy = scratch("copy.evt");
  ASSERT_TRUE(BackupEventLogA(backup, copy.c_str()));
  EXPECT_EQ(file_bytes(copy), bytes);
  // A backup cannot be cleared.
  EXPECT_FALSE(ClearEventLogA(backup, nullptr));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
  CloseEventLog(backup);
  CloseEventLog(log);

  EXPECT_EQ(OpenBackupEventLogA(nullptr, scratch("missing.evt").c_str()), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
  std::ofstream(scratch("junk.evt")) << "this is not an event log";
  EXPECT_EQ(OpenBackupEventLogA(nullptr, scratch("junk.evt").c_str()), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_EVENTLOG_FILE_CORRUPT);
  EXPECT_EQ(OpenBackupEventLogA("NOSUCH", path.c_str()), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_BAD_NETPATH);
}

TEST_F(EventLogTest, ClearEmptiesTheLogAndNumbersStartAgain) {
  for (DWORD i = 1; i <= 4; ++i) report(nullptr, "Clearer", i, {"old"});
  register_source("LOCALPC", "System", "Other");
  report(nullptr, "Other", 1, {"system event"});
  HANDLE reader = OpenEventLogA(nullptr, "Application");
  EXPECT_EQ(read(reader, EVENTLOG_SEQUENTIAL_READ | EVENTLOG_FORWARDS_READ).size(), 4u);

  HANDLE log = OpenEventLogA(nullptr, "Application");
  // A backup that cannot be written leaves the log as it was.
  std::string taken = scratch("taken.evt");
  std::ofstream(taken) << "x";
  bool written = true;
  EXPECT_FALSE(nt_backup_and_clear_event_log(log, taken.c_str(), &written));
  EXPECT_EQ(GetLastError(), ERROR_ALREADY_EXISTS);
  EXPECT_FALSE(written);
  DWORD count = 0;
  GetNumberOfEventLogRecords(log, &count);
  EXPECT_EQ(count, 4u);

  std::string saved = scratch("saved.evt");
  ASSERT_TRUE(ClearEventLogA(log, saved.c_str())) << GetLastError();
  GetNumberOfEventLogRecords(log, &count);
  EXPECT_EQ(count, 0u);
  DWORD oldest = 99;
  GetOldestEventLogRecord(log, &oldest);
  EXPECT_EQ(oldest, 0u);
  HANDLE backup = OpenBackupEventLogA(nullptr, saved.c_str());
  ASSERT_NE(backup, nullptr);
  GetNumberOfEventLogRecords(backup, &count);
  EXPECT_EQ(count, 4u);
  CloseEventLog(backup);

  // The System log is untouched; new Application events count from 1.
  HANDLE system = OpenEventLogA(nullptr, "System");
  GetNumberOfEventLogRecords(system, &count);
  EXPECT_EQ(count, 1u);
  CloseEventLog(system);
  report(nullptr, "Clearer", 5, {"new"});
  report(nullptr, "Clearer", 6, {"newer"});

  // The reader that was open is told once that the log changed, then reads
  // the new events from the start.
  DWORD error = 0;
  read(reader, EVENTLOG_SEQUENTIAL_READ | EVENTLOG_FORWARDS_READ, 0, 0x10000, &error);
  EXPECT_EQ(error, ERROR_EVENTLOG_FILE_CHANGED);
  auto fresh = read(reader, EVENTLOG_SEQUENTIAL_READ | EVENTLOG_FORWARDS_READ);
  EXPECT_EQ(numbers(fresh), (std::vector<DWORD>{1, 2}));
  EXPECT_EQ(fresh.at(0).strings, std::vector<std::u16string>{u"new"});

  ASSERT_TRUE(ClearEventLogA(log, nullptr));
  GetNumberOfEventLogRecords(log, &count);
  EXPECT_EQ(count, 0u);
  read(log, EVENTLOG_SEQUENTIAL_READ | EVENTLOG_FORWARDS_READ, 0, 0x10000, &error);
  EXPECT_EQ(error, ERROR_EVENTLOG_FILE_CHANGED);
  read(log, EVENTLOG_SEQUENTIAL_READ | EVENTLOG_FORWARDS_READ, 0, 0x10000, &error);
  EXPECT_EQ(error, ERROR_HANDLE_EOF);
  CloseEventLog(log);
  CloseEventLog(reader);
}

TEST_F(EventLogTest, OfflineAndUnknownMachines) {
  EXPECT_EQ(RegisterEventSourceA("NOSUCH", "X"), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_BAD_NETPATH);
  EXPECT_EQ(OpenEventLogA("\\\\NOSUCH", "System"), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_BAD_NETPATH);

  HANDLE src = RegisterEventSourceA("SRV1", "X");
  HANDLE log = OpenEventLogA("SRV1", "Application");
  ASSERT_NE(src, nullptr);
  ASSERT_NE(log, nullptr);
  NtMachineRef server;
  ASSERT_EQ(nt_open_machine("SRV1", &server), ERROR_SUCCESS);
  ASSERT_EQ(nt_machine_set_online(*server.store, false), ERROR_SUCCESS);

  EXPECT_EQ(OpenEventLogA("SRV1", "Application"), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_BAD_NETPATH);
  EXPECT_EQ(RegisterEventSourceA("SRV1", "X"), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_BAD_NETPATH);
  // Handles opened before the machine went away.
  const char* one[] = {"s"};
  EXPECT_FALSE(ReportEventA(src, EVENTLOG_ERROR_TYPE, 0, 1, nullptr, 1, 0, one, nullptr));
  EXPECT_EQ(GetLastError(), RPC_S_SERVER_UNAVAILABLE);
  DWORD count = 0;
  EXPECT_FALSE(GetNumberOfEventLogRecords(log, &count));
  EXPECT_EQ(GetLastError(), RPC_S_SERVER_UNAVAILABLE);
  DWORD error = 0;
  read(log, EVENTLOG_SEQUENTIAL_READ | EVENTLOG_FORWARDS_READ, 0, 0x10000, &error);
  EXPECT_EQ(error, RPC_S_SERVER_UNAVAILABLE);
  EXPECT_FALSE(BackupEventLogA(log, scratch("offline.evt").c_str()));
  EXPECT_EQ(GetLastError(), RPC_S_SERVER_UNAVAILABLE);
  EXPECT_FALSE(file_exists(scratch("offline.evt")));
  EXPECT_TRUE(CloseEventLog(log));
  EXPECT_TRUE(DeregisterEventSource(src));

  // The network's administration reads it all the same.
  HANDLE admin = nt_open_event_log("SRV1", "Application", NtMachineAccess::admin);
  ASSERT_NE(admin, nullptr);
  EXPECT_TRUE(GetNumberOfEventLogRecords(admin, &count));
  std::string machine, name;
  EXPECT_TRUE(nt_event_log_origin(admin, &machine, &name));
  EXPECT_EQ(machine, "SRV1");
  EXPECT_EQ(name, "Application");
  CloseEventLog(admin);
}

TEST_F(EventLogTest, WritersInSeveralProcessesLoseNothing) {
  constexpr int kWriters = 3;
  constexpr int kEach = 40;
  pid_t children[kWriters];
  for (int w = 0; w < kWriters; ++w) {
    children[w] = fork();
    ASSERT_GE(children[w], 0);
    if (children[w] == 0) {
      HANDLE src = RegisterEventSourceA(nullptr, "Racer");
      if (src == nullptr) _exit(1);
      for (int i = 0; i < kEach; ++i) {
        std::string text = std::to_string(w) + ":" + std::to_string(i);
        const char* strings[] = {text.c_str()};
        if (!ReportEventA(src, EVENTLOG_INFORMATION_TYPE, 0, 1, nullptr, 1, 0, strings, nullptr))
          _exit(2);
      }
      _exit(0);
    }
  }
  for (pid_t child : children) {
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  HANDLE log = OpenEventLogA(nullptr, "Application");
  std::vector<NtEventRecord> all;
  for (;;) {
    auto chunk = read(log, EVENTLOG_SEQUENTIAL_READ | EVENTLOG_FORWARDS_READ);
    if (chunk.empty()) break;
    all.insert(all.end(), chunk.begin(), chunk.end());
  }
  CloseEventLog(log);
  ASSERT_EQ(all.size(), static_cast<size_t>(kWriters * kEach));
  std::vector<int> next(kWriters, 0);
  for (size_t i = 0; i < all.size(); ++i) {
    EXPECT_EQ(all[i].record_number, i + 1);
    // Each writer's events are all there, in its own order.
    std::string text(all[i].strings.at(0).begin(), all[i].strings.at(0).end());
    int w = text[0] - '0';
    ASSERT_GE(w, 0);
    ASSERT_LT(w, kWriters);
    EXPECT_EQ(text, std::to_string(w) + ":" + std::to_string(next[w]));
    ++next[w];
  }
  for (int w = 0; w < kWriters; ++w) EXPECT_EQ(next[w], kEach);
}

}  // namespace
