// Benchmark of the scheduler's command pipe against a running service (the
// built zeb in the foreground on a throwaway network): show of 64 jobs, and
// add/delete cycles with 1, 8 and 32 clients at once.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <ftw.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>

#include "platform/network/network.h"
#include "platform/registry/registry.h"
#include "zeb/job_record.h"
#include "zeb/pipe_client.h"
#include "zeb/pipe_protocol.h"
#include "zeb/service_keys.h"

namespace {

const char* kVersion = "V2.0.0100";

std::string zeb_path() {
  const char* bin = std::getenv("NT_TEST_BIN");
  if (bin && *bin) return std::string(bin) + "/zeb";
  char self[4096];
  ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
  std::string dir = n > 0 ? std::string(self, static_cast<size_t>(n)) : std::string(".");
  dir = dir.substr(0, dir.rfind('/'));
  return dir.substr(0, dir.rfind('/')) + "/bin/zeb";
}

int remove_entry(const char* path, const struct stat*, int, struct FTW*) {
  ::remove(path);
  return 0;
}

DWORD talk(DWORD code, const std::string& pattern, const JobRecord* record, int* processed) {
  ZebPipeRequest request;
  request.code = code;
  request.command_word = "bench";
  request.pattern = pattern;
  if (record) request.record = *record;
  request.own_version = kVersion;
  request.busy_wait_ms = 60000;
  ZebPipeHooks hooks;
  hooks.out = [](const std::string&) {};
  hooks.err = [](const std::string&) {};
  hooks.record = [](const JobRecord&) {};
  ZebPipeResult result;
  DWORD rc = zeb_pipe_conversation(request, hooks, &result);
  if (processed) *processed = result.processed;
  return rc;
}

JobRecord job(const std::string& name) {
  JobRecord rec;
  job_record_init(&rec);
  job_set_name(&rec, name.c_str());
  job_set_command(&rec, "/bin/true");
  return rec;
}

// One service for the whole program.
class Service {
 public:
  Service() {
    char pattern[] = "/tmp/zeb-bench-XXXXXX";
    root_ = mkdtemp(pattern);
    setenv("NT_NETWORK", root_.c_str(), 1);
    setenv("COMPUTERNAME", "LOCALPC", 1);
    setenv("USERNAME", "Administrator", 1);
    setenv("USERDOMAIN", "LOCALPC", 1);
    setenv("ZEB_SERVICE_FOREGROUND", "1", 1);
    std::string ignored;
    nt_network_ensure(&ignored);
    HKEY key = nullptr;
    RegCreateKeyExA(HKEY_LOCAL_MACHINE, ZEB_SERVICE_KEY, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                    &key, nullptr);
    DWORD logging = 0x0200;  // no event per add
    RegSetValueExA(key, "Logging", 0, REG_DWORD, reinterpret_cast<BYTE*>(&logging),
                   sizeof logging);
    RegCloseKey(key);
    pid_ = fork();
    if (pid_ == 0) {
      int fd = open("/dev/null", O_WRONLY);
      dup2(fd, 1);
      std::string program = zeb_path();
      execl(program.c_str(), program.c_str(), static_cast<char*>(nullptr));
      _exit(127);
    }
    for (int i = 0; i < 500; ++i) {
      if (talk(ZEB_CMD_VERSION, "", nullptr, nullptr) == ERROR_SUCCESS) break;
      usleep(20000);
    }
    for (int i = 0; i < 64; ++i) {
      JobRecord rec = job("show" + std::to_string(i));
      talk(ZEB_CMD_ADD, "", &rec, nullptr);
    }
  }
  ~Service() {
    kill(pid_, SIGTERM);
    waitpid(pid_, nullptr, 0);
    nftw(root_.c_str(), remove_entry, 16, FTW_DEPTH | FTW_PHYS);
  }

 private:
  std::string root_;
  pid_t pid_ = -1;
};

Service& service() {
  static Service s;
  return s;
}

void BM_Show64Jobs(benchmark::State& state) {
  service();
  for (auto _ : state) {
    int processed = 0;
    talk(ZEB_CMD_SHOW, "show*", nullptr, &processed);
    if (processed != 64) state.SkipWithError("show did not list 64 jobs");
  }
}
BENCHMARK(BM_Show64Jobs)->Unit(benchmark::kMillisecond)->UseRealTime();

// Each client adds and deletes a job of its own. The 64 jobs of the show
// benchmark are deleted first, so that 32 clients find free slots.
void BM_AddDeleteCycle(benchmark::State& state) {
  service();
  static std::once_flag cleared;
  std::call_once(cleared, [] { talk(ZEB_CMD_DEL, "show*", nullptr, nullptr); });
  std::string name = "cycle" + std::to_string(state.thread_index());
  JobRecord rec = job(name);
  for (auto _ : state) {
    int added = 0;
    int deleted = 0;
    talk(ZEB_CMD_ADD, "", &rec, &added);
    talk(ZEB_CMD_DEL, name, nullptr, &deleted);
    if (added != 1 || deleted != 1) state.SkipWithError("add/delete failed");
  }
}
BENCHMARK(BM_AddDeleteCycle)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Threads(1)
    ->Threads(8)
    ->Threads(32);

}  // namespace

BENCHMARK_MAIN();
