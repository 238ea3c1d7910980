// Test helper for the scheduler service: a fresh network with the service
// key installed, the built zeb run as the service in the foreground, and a
// raw pipe client that speaks the protocol byte by byte.
#pragma once

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/eventlog/event_message.h"
#include "platform/eventlog/event_record.h"
#include "platform/eventlog/event_store.h"
#include "platform/files/file_io.h"
#include "platform/kernel/clock.h"
#include "platform/kernel/handle.h"
#include "platform/network/network.h"
#include "platform/network/network_test_env.h"
#include "platform/network/wtf8.h"
#include "platform/pipes/named_pipe.h"
#include "platform/registry/registry.h"
#include "zeb/job_record.h"
#include "zeb/job_store.h"
#include "zeb/pipe_protocol.h"
#include "zeb/service_keys.h"
#include "zeb/service_settings.h"

// NT_TEST_BIN/zeb, else beside the running test.
inline std::string zeb_program_path() {
  const char* bin = std::getenv("NT_TEST_BIN");
  if (bin && *bin) return std::string(bin) + "/zeb";
  char self[4096];
  ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
  std::string dir = n > 0 ? std::string(self, static_cast<size_t>(n)) : std::string(".");
  return dir.substr(0, dir.rfind('/')) + "/zeb";
}

constexpr const char* kTestVersion = "V2.0.0100";

// A raw connection to the service's pipe.
class RawPipe {
 public:
  RawPipe() = default;
  ~RawPipe() { close(); }
  RawPipe(const RawPipe&) = delete;
  RawPipe& operator=(const RawPipe&) = delete;

  // Opens the pipe, waiting while every instance is busy.
  bool open(const char* name = ZEB_PIPE_NAME, DWORD wait_ms = 20000) {
    auto start = std::chrono::steady_clock::now();
    for (;;) {
      h_ = CreateFileA(name, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                       FILE_FLAG_WRITE_THROUGH, nullptr);
      if (h_ != INVALID_HANDLE_VALUE) return true;
      error_ = GetLastError();
      if (error_ != ERROR_PIPE_BUSY ||
          std::chrono::steady_clock::now() - start > std::chrono::milliseconds(wait_ms)) {
        h_ = nullptr;
        return false;
      }
      if (!WaitNamedPipeA(name, 1000)) std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
  }
  void close() {
    if (h_ != nullptr) CloseHandle(h_);
    h_ = nullptr;
  }
  DWORD error() const { return error_; }

  bool write(const std::string& bytes) {
    DWORD done = 0;
    return WriteFile(h_, bytes.data(), static_cast<DWORD>(bytes.size()), &done, nullptr) &&
           done == bytes.size();
  }
  bool code(DWORD c) { return write(zeb_encode_code(c)); }
  bool control(char c) { return write(zeb_control(c)); }
  bool ack() { return control(ZEB_ACK); }
  bool skip() { return control(ZEB_SKIP); }
  bool text(const std::string& t) { return write(zeb_text_message(t)); }
  bool record(const JobRecord& rec) {
    BYTE bytes[JOB_RECORD_SIZE];
    job_record_encode(rec, bytes);
    return write(std::string(reinterpret_cast<const char*>(bytes), sizeof bytes));
  }
  // One message; "<closed>" when the read fails.
  std::string read(DWORD max = 1024) {
    std::string buffer(max, '\0');
    DWORD got = 0;
    BOOL ok = ReadFile(h_, buffer.data(), max, &got, nullptr);
    if (!ok && GetLastError() != ERROR_MORE_DATA) return "<closed>";
    if (ok && got == 0) return "<closed>";
    buffer.resize(got);
    return buffer;
  }

 private:
  HANDLE h_ = nullptr;
  DWORD error_ = 0;
};

// Messages as the server writes them.
inline std::string msg_text(const std::string& t) { return zeb_text_message(t); }
inline std::string msg_control(char c) { return zeb_control(c); }
inline std::string msg_name(const std::string& n) { return zeb_name_message(n); }

inline JobRecord make_job(const std::string& name, const std::string& command,
                          DWORD interval = 0, uint64_t next_run = 0) {
  JobRecord rec;
  job_record_init(&rec);
  job_set_name(&rec, name.c_str());
  job_set_command(&rec, command.c_str());
  rec.interval = interval;
  job_set_time(&rec.next_run, next_run);
  return rec;
}

inline uint64_t local_filetime(int y, int mo, int d, int h, int mi, int s = 0) {
  SYSTEMTIME st{};
  st.wYear = static_cast<WORD>(y);
  st.wMonth = static_cast<WORD>(mo);
  st.wDay = static_cast<WORD>(d);
  st.wHour = static_cast<WORD>(h);
  st.wMinute = static_cast<WORD>(mi);
  st.wSecond = static_cast<WORD>(s);
  FILETIME ft{};
  SystemTimeToFileTime(&st, &ft);
  return filetime_to_u64(ft);
}

struct LoggedEvent {
  DWORD id;
  WORD type;
  std::vector<std::string> strings;
  std::string description;
};

class ZebServiceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // The clock of this process reads its offset once: make it zero before
    // any service is started with an offset of its own.
    (void)nt_local_now();
    // The service and the test act as the machine's Administrator.
    net_.env().set("TZ", "UTC0").set("ZEB_SERVICE_FOREGROUND", "1")
        .set("ZEB_SERVICE_INTERACTIVE", nullptr)
        .set("USERNAME", "Administrator").set("USERDOMAIN", "LOCALPC");
    tzset();
    std::string root;
    ASSERT_EQ(nt_network_ensure(&root), ERROR_SUCCESS);
    temp_host_ = net_.root() + "/machines/LOCALPC/drives/C/TEMP";
    mkdir(temp_host_.c_str(), 0777);
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, ZEB_SERVICE_KEY, 0, nullptr, 0, KEY_ALL_ACCESS,
                              nullptr, &key, nullptr),
              ERROR_SUCCESS);
    ASSERT_EQ(zeb_write_temp_dir(key, "C:\\TEMP"), ERROR_SUCCESS);
    RegCloseKey(key);
  }

  void TearDown() override { stop_service(); }

  // Starts the service; `clock_offset` seconds go to its NT_CLOCK_OFFSET.
  void start_service(long long clock_offset = 0) {
    stdout_file_ = net_.root() + "/service.out";
    pid_ = fork();
    if (pid_ == 0) {
      int fd = ::open(stdout_file_.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
      dup2(fd, 1);
      dup2(fd, 2);
      std::string offset = std::to_string(clock_offset);
      setenv("NT_CLOCK_OFFSET", offset.c_str(), 1);
      std::string program = zeb_program_path();
      execl(program.c_str(), program.c_str(), static_cast<char*>(nullptr));
      _exit(127);
    }
    ASSERT_GT(pid_, 0);
    ASSERT_TRUE(wait_until([&] { return pipe_version() == kTestVersion; }, 15000))
        << service_output();
  }

  // Stops with SIGTERM (or the signal given) and waits for the process.
  int stop_service(int sig = SIGTERM) {
    if (pid_ <= 0) return -1;
    kill(pid_, sig);
    int status = 0;
    for (int i = 0; i < 3000; ++i) {
      if (waitpid(pid_, &status, WNOHANG) == pid_) {
        pid_ = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status);
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    kill(pid_, SIGKILL);
    waitpid(pid_, &status, 0);
    pid_ = -1;
    ADD_FAILURE() << "service did not stop in 30 s";
    return -1;
  }

  void signal_service(int sig) { kill(pid_, sig); }

  // Runs zeb with arguments; its exit code, standard output and error.
  int run_zeb(const std::vector<std::string>& args, std::string* out, std::string* err) {
    std::string out_file = net_.root() + "/run.out";
    std::string err_file = net_.root() + "/run.err";
    pid_t pid = fork();
    if (pid == 0) {
      int o = ::open(out_file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      int e = ::open(err_file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      dup2(o, 1);
      dup2(e, 2);
      std::string program = zeb_program_path();
      std::vector<char*> argv{program.data()};
      for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
      argv.push_back(nullptr);
      execv(program.c_str(), argv.data());
      _exit(127);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    auto slurp = [](const std::string& f) {
      std::ifstream in(f);
      std::stringstream s;
      s << in.rdbuf();
      return s.str();
    };
    *out = slurp(out_file);
    *err = slurp(err_file);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

  std::string service_output() {
    std::ifstream in(stdout_file_);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }

  // The version reply of code 1999, or "" when there is none.
  std::string pipe_version() {
    RawPipe p;
    if (!p.open(ZEB_PIPE_NAME, 200) || !p.code(ZEB_CMD_VERSION)) return "";
    std::string v = p.read();
    return v == "<closed>" ? "" : zeb_message_text(v.data(), v.size());
  }

  template <typename F>
  static bool wait_until(F condition, int ms) {
    for (int waited = 0; waited < ms; waited += 50) {
      if (condition()) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return condition();
  }

  // Opens a conversation up to the version reply.
  void begin(RawPipe& p, DWORD code) {
    ASSERT_TRUE(p.open()) << p.error();
    ASSERT_TRUE(p.code(code));
    ASSERT_EQ(p.read(), msg_text(kTestVersion));
  }

  // Adds a job through the pipe: the reply to the record.
  std::string add(const JobRecord& rec) {
    RawPipe p;
    begin(p, ZEB_CMD_ADD);
    p.record(rec);
    std::string reply = p.read();
    p.ack();
    EXPECT_EQ(p.read(), msg_control(ZEB_END));
    return reply;
  }

  // A job command that confirms and accepts every job; the replies of the
  // handlers in order (DONE as "DONE"), and the loop's end ("ACK" or the
  // text).
  std::vector<std::string> command(DWORD code, const std::string& pattern,
                                   std::vector<JobRecord>* records = nullptr) {
    std::vector<std::string> replies;
    RawPipe p;
    begin(p, code);
    p.text(pattern);
    for (;;) {
      std::string m = p.read();
      if (m == "<closed>") {
        replies.push_back(m);
        break;
      }
      switch (zeb_classify_server_message(m.data(), m.size())) {
        case ZebServerMessage::name:
          p.ack();
          break;
        case ZebServerMessage::record: {
          p.ack();
          std::string bytes = p.read();
          JobRecord rec;
          EXPECT_TRUE(job_record_decode(reinterpret_cast<const BYTE*>(bytes.data()),
                                        bytes.size(), &rec));
          if (records) records->push_back(rec);
          p.ack();
          break;
        }
        case ZebServerMessage::done:
          replies.push_back("DONE");
          p.ack();
          break;
        case ZebServerMessage::ack:
          replies.push_back("ACK");
          p.ack();
          break;
        case ZebServerMessage::end:
          return replies;
        case ZebServerMessage::send:
          ADD_FAILURE() << "SEND outside set";
          return replies;
        case ZebServerMessage::text:
          replies.push_back(zeb_message_text(m.data(), m.size()));
          p.ack();
          break;
      }
    }
    return replies;
  }

  // The records of every job matching the pattern, by show.
  std::vector<JobRecord> show(const std::string& pattern) {
    std::vector<JobRecord> records;
    command(ZEB_CMD_SHOW, pattern, &records);
    return records;
  }
  bool show_one(const std::string& name, JobRecord* rec) {
    std::vector<JobRecord> r = show(name);
    if (r.size() != 1) return false;
    *rec = r[0];
    return true;
  }

  // Values of the "Jobs" key: name -> data.
  std::vector<std::pair<std::string, std::string>> registry_jobs() {
    std::vector<std::pair<std::string, std::string>> jobs;
    HKEY key = nullptr;
    std::string path = std::string(ZEB_SERVICE_KEY) + "\\" + ZEB_JOBS_SUBKEY;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) {
      return jobs;
    }
    for (DWORD i = 0;; ++i) {
      char name[256];
      DWORD name_size = sizeof name;
      BYTE data[1024];
      DWORD data_size = sizeof data;
      DWORD type = 0;
      if (RegEnumValueA(key, i, name, &name_size, nullptr, &type, data, &data_size) !=
          ERROR_SUCCESS) {
        break;
      }
      jobs.emplace_back(name, std::string(reinterpret_cast<char*>(data), data_size));
    }
    RegCloseKey(key);
    return jobs;
  }

  // Puts a job straight into the registry (the service loads it at start).
  void store_job(const JobRecord& rec) {
    HKEY service = nullptr;
    HKEY jobs = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, ZEB_SERVICE_KEY, 0, KEY_ALL_ACCESS, &service),
              ERROR_SUCCESS);
    ASSERT_EQ(job_store_open(service, &jobs), ERROR_SUCCESS);
    ASSERT_EQ(job_store_save(jobs, rec), ERROR_SUCCESS);
    RegCloseKey(jobs);
    RegCloseKey(service);
  }

  void set_service_dword(const char* name, DWORD value) {
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, ZEB_SERVICE_KEY, 0, KEY_ALL_ACCESS, &key),
              ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueExA(key, name, 0, REG_DWORD, reinterpret_cast<BYTE*>(&value),
                             sizeof value),
              ERROR_SUCCESS);
    RegCloseKey(key);
  }
  DWORD service_dword(const char* name) {
    HKEY key = nullptr;
    DWORD value = 0xDEADBEEF;
    DWORD size = sizeof value;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, ZEB_SERVICE_KEY, 0, KEY_READ, &key) == ERROR_SUCCESS) {
      RegQueryValueExA(key, name, nullptr, nullptr, reinterpret_cast<BYTE*>(&value), &size);
      RegCloseKey(key);
    }
    return value;
  }

  // The events of the source "ZEB Service" in the Application log.
  std::vector<LoggedEvent> events() {
    std::vector<LoggedEvent> out;
    NtMachineRef machine;
    if (nt_open_machine("", &machine) != ERROR_SUCCESS || !machine.store) return out;
    std::vector<std::string> records;
    NtEventLogState state;
    if (nt_event_store_snapshot(*machine.store, NT_LOG_APPLICATION, &records, &state) !=
        ERROR_SUCCESS) {
      return out;
    }
    for (const std::string& bytes : records) {
      NtEventRecord rec;
      size_t length = 0;
      if (!nt_event_record_parse(bytes, false, &rec, &length)) continue;
      if (nt_wtf8_from_utf16(rec.source) != ZEB_SERVICE_NAME) continue;
      LoggedEvent e{rec.event_id, rec.event_type, {}, ""};
      for (const std::u16string& s : rec.strings) e.strings.push_back(nt_wtf8_from_utf16(s));
      e.description = nt_event_description(machine, NT_LOG_APPLICATION, rec);
      out.push_back(e);
    }
    return out;
  }
  int count_events(DWORD id) {
    int n = 0;
    for (const LoggedEvent& e : events()) n += e.id == id;
    return n;
  }

  TempNetwork net_;
  std::string temp_host_;
  std::string stdout_file_;
  pid_t pid_ = -1;
};
