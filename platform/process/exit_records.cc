#include "platform/process/exit_records.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "platform/network/network.h"

namespace {

constexpr time_t RECORD_LIFETIME_SECONDS = 24 * 60 * 60;
constexpr time_t PRUNE_INTERVAL_SECONDS = 60 * 60;

std::string record_path(pid_t pid, uint64_t start) {
  return nt_process_records_dir() + "/" + std::to_string(pid) + "-" + std::to_string(start);
}

bool make_dirs(const std::string& path) {
  for (size_t i = 1; i <= path.size(); ++i) {
    if (i == path.size() || path[i] == '/') {
      std::string part = path.substr(0, i);
      if (mkdir(part.c_str(), 0777) != 0 && errno != EEXIST) return false;
    }
  }
  return true;
}

// Removes old records, at most once an hour per process.
void prune(const std::string& dir) {
  static std::atomic<time_t> last{0};
  time_t now = time(nullptr);
  time_t before = last.load();
  if (now - before < PRUNE_INTERVAL_SECONDS || !last.compare_exchange_strong(before, now)) return;
  DIR* d = opendir(dir.c_str());
  if (d == nullptr) return;
  while (dirent* e = readdir(d)) {
    if (e->d_name[0] == '.') continue;
    struct stat st;
    if (fstatat(dirfd(d), e->d_name, &st, 0) == 0 && now - st.st_mtime > RECORD_LIFETIME_SECONDS) {
      unlinkat(dirfd(d), e->d_name, 0);
    }
  }
  closedir(d);
}

// The fields of /proc/<pid>/stat after the command name (which may hold
// blanks and parentheses): field 3 is the first.
bool read_stat_fields(pid_t pid, std::string* rest) {
  char path[64];
  snprintf(path, sizeof path, "/proc/%d/stat", static_cast<int>(pid));
  int fd = open(path, O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  char buffer[2048];
  ssize_t got = read(fd, buffer, sizeof buffer - 1);
  close(fd);
  if (got <= 0) return false;
  buffer[got] = '\0';
  const char* close_paren = strrchr(buffer, ')');
  if (close_paren == nullptr || close_paren[1] != ' ') return false;
  *rest = close_paren + 2;
  return true;
}

// Field `number` (1-based, as proc(5) counts) from the text after the name.
bool stat_field(const std::string& rest, int number, std::string* value) {
  int field = 3;
  size_t pos = 0;
  while (field < number) {
    pos = rest.find(' ', pos);
    if (pos == std::string::npos) return false;
    ++pos;
    ++field;
  }
  size_t end = rest.find(' ', pos);
  *value = rest.substr(pos, end == std::string::npos ? std::string::npos : end - pos);
  return !value->empty();
}

}  // namespace

std::string nt_process_records_dir() { return nt_network_root() + "/run/processes"; }

uint64_t nt_process_start_time(pid_t pid) {
  std::string rest, value;
  if (!read_stat_fields(pid, &rest) || !stat_field(rest, 22, &value)) return 0;
  return strtoull(value.c_str(), nullptr, 10);
}

bool nt_process_zombie_status(pid_t pid, uint64_t start, int* wait_status) {
  std::string rest, state, started, status;
  if (!read_stat_fields(pid, &rest)) return false;
  if (!stat_field(rest, 3, &state) || state != "Z") return false;
  if (!stat_field(rest, 22, &started) || strtoull(started.c_str(), nullptr, 10) != start) {
    return false;
  }
  if (!stat_field(rest, 52, &status)) return false;
  *wait_status = atoi(status.c_str());
  return true;
}

bool nt_record_process_line(pid_t pid, uint64_t start, const char* kind, DWORD code) {
  std::string dir = nt_process_records_dir();
  if (!make_dirs(dir)) return false;
  char line[64];
  int n = snprintf(line, sizeof line, "%s %lu\n", kind, static_cast<unsigned long>(code));
  int fd = open(record_path(pid, start).c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0666);
  if (fd < 0) return false;
  bool ok = write(fd, line, static_cast<size_t>(n)) == n;
  close(fd);
  prune(dir);
  return ok;
}

bool nt_read_process_record(pid_t pid, uint64_t start, NtProcessRecord* record) {
  *record = NtProcessRecord{};
  FILE* f = fopen(record_path(pid, start).c_str(), "re");
  if (f == nullptr) return false;
  char kind[16];
  unsigned long code;
  while (fscanf(f, "%15s %lu", kind, &code) == 2) {
    DWORD value = static_cast<DWORD>(code);
    if (strcmp(kind, "terminate") == 0) {
      record->terminated = true;
      record->terminate_code = value;
    } else if (strcmp(kind, "exit") == 0) {
      record->exit_set = true;
      record->exit_code = value;
    } else if (strcmp(kind, "final") == 0) {
      record->final_set = true;
      record->final_code = value;
    }
  }
  fclose(f);
  return true;
}
