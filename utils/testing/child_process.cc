#include "utils/testing/child_process.h"

#include <fcntl.h>
#include <grp.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

extern char** environ;

namespace {

std::string read_fd(int fd) {
  std::string text;
  lseek(fd, 0, SEEK_SET);
  char block[4096];
  for (;;) {
    ssize_t got = read(fd, block, sizeof block);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) break;
    text.append(block, static_cast<size_t>(got));
  }
  return text;
}

int scratch_fd() {
  char name[] = "/tmp/utils_child_XXXXXX";
  int fd = mkstemp(name);
  if (fd >= 0) unlink(name);
  return fd;
}

std::string env_name(const std::string& entry) { return entry.substr(0, entry.find('=')); }

}  // namespace

bool running_as_root() { return geteuid() == 0; }

ChildResult run_child(const std::string& program, const std::vector<std::string>& args,
                      const ChildOptions& options) {
  ChildResult result;
  std::vector<std::string> argv_text{program};
  argv_text.insert(argv_text.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& a : argv_text) argv.push_back(a.data());
  argv.push_back(nullptr);

  std::vector<std::string> env_text;
  for (char** e = environ; *e; ++e) {
    std::string entry(*e);
    bool replaced = std::any_of(options.env.begin(), options.env.end(), [&](const std::string& o) {
      return env_name(o) == env_name(entry);
    });
    if (!replaced) env_text.push_back(entry);
  }
  env_text.insert(env_text.end(), options.env.begin(), options.env.end());
  std::vector<char*> envp;
  for (std::string& e : env_text) envp.push_back(e.data());
  envp.push_back(nullptr);

  const bool drop = options.unprivileged && running_as_root();
  int out = scratch_fd();
  int err = scratch_fd();
  if (out < 0 || err < 0) {
    result.err = "cannot create capture files";
    return result;
  }
  pid_t pid = fork();
  if (pid == 0) {
    int in = open("/dev/null", O_RDONLY);
    if (in >= 0) dup2(in, 0);
    dup2(out, 1);
    dup2(err, 2);
    if (options.file_size_limit >= 0) {
      signal(SIGXFSZ, SIG_IGN);
      struct rlimit limit;
      limit.rlim_cur = static_cast<rlim_t>(options.file_size_limit);
      limit.rlim_max = static_cast<rlim_t>(options.file_size_limit);
      if (setrlimit(RLIMIT_FSIZE, &limit) != 0) _exit(126);
    }
    if (drop) {
      if (setgroups(0, nullptr) != 0 || setgid(UNPRIVILEGED_ID) != 0 ||
          setuid(UNPRIVILEGED_ID) != 0) {
        _exit(126);
      }
    }
    execve(program.c_str(), argv.data(), envp.data());
    _exit(127);
  }
  if (pid > 0) {
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    if (WIFEXITED(status)) result.exit_code = WEXITSTATUS(status);
    if (WIFSIGNALED(status)) result.signal = WTERMSIG(status);
  }
  result.out = read_fd(out);
  result.err = read_fd(err);
  close(out);
  close(err);
  return result;
}

std::string built_program(const char* name) {
  const char* bin = getenv("NT_TEST_BIN");
  if (bin && *bin) return std::string(bin) + "/" + name;
  std::error_code ec;
  std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", ec);
  return (self.parent_path() / name).string();
}

void give_to_unprivileged(const std::string& path) {
  if (!running_as_root()) return;
  if (chown(path.c_str(), UNPRIVILEGED_ID, UNPRIVILEGED_ID) != 0) {
    // The test's own checks will show what the program could not do.
  }
}

ScratchDir::ScratchDir() {
  char pattern[] = "/tmp/utils_test_XXXXXX";
  if (mkdtemp(pattern)) {
    path_ = pattern;
    chmod(path_.c_str(), 0755);
  }
}

ScratchDir::~ScratchDir() {
  if (path_.empty()) return;
  std::error_code ec;
  // Make every directory writable again so that the removal succeeds.
  std::filesystem::permissions(path_, std::filesystem::perms::owner_all,
                               std::filesystem::perm_options::add, ec);
  for (auto it = std::filesystem::recursive_directory_iterator(path_, ec);
       !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec)) {
    if (it->is_directory(ec)) {
      std::filesystem::permissions(it->path(), std::filesystem::perms::owner_all,
                                   std::filesystem::perm_options::add, ec);
    }
  }
  std::filesystem::remove_all(path_, ec);
}

std::vector<std::string> ScratchDir::list() const {
  std::vector<std::string> names;
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator(path_, ec)) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

std::string read_bytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

void write_bytes(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}
