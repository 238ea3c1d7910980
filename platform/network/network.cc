#include "platform/network/network.h"

#include <dirent.h>
#include <fcntl.h>
#include <ftw.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <mutex>
#include <sstream>

#include "platform/kernel/error.h"
#include "platform/kernel/identity.h"
#include "platform/network/nt_name.h"
#include "platform/network/wtf8.h"
#include "platform/nls/codepage.h"

namespace {

constexpr const char* kDefaultGroup = "WORKGROUP";

DWORD create_local_network(const std::string& root);

std::atomic<unsigned> g_temp_counter{0};

DWORD make_dirs(const std::string& path) {
  if (path.empty()) return ERROR_PATH_NOT_FOUND;
  size_t pos = 0;
  while (true) {
    pos = path.find('/', pos + 1);
    std::string part = path.substr(0, pos);
    if (mkdir(part.c_str(), 0777) != 0 && errno != EEXIST) return win32_error_from_errno(errno);
    if (pos == std::string::npos) break;
  }
  struct stat st;
  if (stat(path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return ERROR_PATH_NOT_FOUND;
  return ERROR_SUCCESS;
}

int remove_entry(const char* path, const struct stat*, int, struct FTW*) {
  ::remove(path);
  return 0;
}

void remove_tree(const std::string& path) {
  nftw(path.c_str(), remove_entry, 16, FTW_DEPTH | FTW_PHYS);
}

bool file_exists(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0;
}

// Holds an exclusive lock on <root>/.lock while the network's layout changes.
class RootLock {
 public:
  explicit RootLock(const std::string& root) {
    fd_ = open((root + "/.lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
    if (fd_ >= 0) {
      while (flock(fd_, LOCK_EX) != 0 && errno == EINTR) {
      }
    }
  }
  ~RootLock() {
    if (fd_ >= 0) close(fd_);
  }
  bool ok() const { return fd_ >= 0; }

 private:
  int fd_ = -1;
};

std::string trim(std::string_view s) {
  size_t b = s.find_first_not_of(" \t\r\n");
  if (b == std::string_view::npos) return std::string();
  size_t e = s.find_last_not_of(" \t\r\n");
  return std::string(s.substr(b, e - b + 1));
}

// The value of `key` in network.ini (keys are unique across its one
// section), or empty.
std::string network_ini_value(const std::string& root, const char* key) {
  std::ifstream in(root + "/network.ini");
  std::string line;
  while (std::getline(in, line)) {
    size_t eq = line.find('=');
    if (eq == std::string::npos) continue;
    if (strcasecmp(trim(line.substr(0, eq)).c_str(), key) == 0)
      return trim(std::string_view(line).substr(eq + 1));
  }
  return std::string();
}

// `attribute_marks`: the files of this network carry the attribute mark
// (platform/files/attribute_marks.h); every network made since the mark
// exists does.
DWORD write_network_ini(const std::string& root, const std::string& default_machine,
                        bool attribute_marks) {
  std::string path = root + "/network.ini";
  std::string temp = path + ".tmp" + std::to_string(getpid());
  {
    std::ofstream out(temp, std::ios::trunc);
    if (!out) return win32_error_from_errno(errno);
    out << "; Emulated NT network: machines/<NAME>/ holds each machine.\n"
        << "[Network]\n"
        << "Version=1\n"
        << "DefaultMachine=" << default_machine << "\n";
    if (attribute_marks) out << "AttributeMarks=1\n";
    out.flush();
    if (!out) return ERROR_WRITE_FAULT;
  }
  if (rename(temp.c_str(), path.c_str()) != 0) {
    DWORD err = win32_error_from_errno(errno);
    unlink(temp.c_str());
    return err;
  }
  return ERROR_SUCCESS;
}

DWORD normalize_info(const NtMachineInfo& in, NtMachineInfo* out) {
  *out = in;
  if (nt_normalize_machine_name(in.name, &out->name) != ERROR_SUCCESS) return ERROR_INVALID_NAME;
  std::string group = in.lan_group.empty() ? std::string(kDefaultGroup) : in.lan_group;
  if (nt_normalize_name(group, &out->lan_group) != ERROR_SUCCESS) return ERROR_INVALID_NAME;
  return ERROR_SUCCESS;
}

}  // namespace

std::string nt_network_root() {
  const char* env = getenv("NT_NETWORK");
  if (env && *env) return env;
  const char* xdg = getenv("XDG_DATA_HOME");
  if (xdg && xdg[0] == '/') return std::string(xdg) + "/ntnet";
  const char* home = getenv("HOME");
  std::string base;
  if (home && *home) {
    base = home;
  } else if (const passwd* pw = getpwuid(getuid()); pw && pw->pw_dir) {
    base = pw->pw_dir;
  } else {
    base = "/tmp";
  }
  return base + "/.local/share/ntnet";
}

std::string nt_network_machine_dir(const std::string& root, const std::string& name) {
  return root + "/machines/" + name;
}

std::string nt_network_machine_db(const std::string& root, const std::string& name) {
  return nt_network_machine_dir(root, name) + "/machine.db";
}

bool nt_network_exists(const std::string& root) { return file_exists(root + "/network.ini"); }

std::string nt_network_default_machine(const std::string& root) {
  return network_ini_value(root, "DefaultMachine");
}

DWORD nt_network_set_default_machine(const std::string& root, const std::string& name) {
  std::string upper;
  if (nt_normalize_machine_name(name, &upper) != ERROR_SUCCESS) return ERROR_INVALID_NAME;
  RootLock lock(root);
  if (!lock.ok()) return set_last_error_from_errno();
  if (!nt_network_exists(root)) return ERROR_PATH_NOT_FOUND;
  if (!file_exists(nt_network_machine_db(root, upper))) return ERROR_BAD_NETPATH;
  return write_network_ini(root, upper, network_ini_value(root, "AttributeMarks") == "1");
}

DWORD nt_network_create(const std::string& root, const NtMachineInfo& first) {
  NtMachineInfo info;
  DWORD err = normalize_info(first, &info);
  if (err != ERROR_SUCCESS) return err;
  if ((err = make_dirs(root)) != ERROR_SUCCESS) return err;
  RootLock lock(root);
  if (!lock.ok()) return win32_error_from_errno(errno);
  if (nt_network_exists(root)) return ERROR_ALREADY_EXISTS;
  if ((err = make_dirs(root + "/machines")) != ERROR_SUCCESS) return err;
  err = nt_machine_create(root, info);
  // A machine folder left by an earlier attempt that stopped half-way is kept.
  if (err != ERROR_SUCCESS && err != ERROR_ALREADY_EXISTS) return err;
  return write_network_ini(root, info.name, true);
}

DWORD nt_network_ensure(std::string* root) {
  *root = nt_network_root();
  // A network, once seen, stays: later calls skip the look at the disk (a
  // network deleted under a running program leaves its machines unknown).
  static std::mutex known_mutex;
  static std::string known_root;
  {
    std::lock_guard<std::mutex> guard(known_mutex);
    if (*root == known_root) return ERROR_SUCCESS;
  }
  DWORD err = ERROR_SUCCESS;
  if (!nt_network_exists(*root)) err = create_local_network(*root);
  if (err == ERROR_SUCCESS) {
    std::lock_guard<std::mutex> guard(known_mutex);
    known_root = *root;
  }
  return err;
}

namespace {

DWORD create_local_network(const std::string& root) {
  NtMachineInfo info;
  info.name = nt_computer_name();
  info.lan_group = kDefaultGroup;
  info.role = NtMachineRole::workstation;
  DWORD err = nt_network_create(root, info);
  return err == ERROR_ALREADY_EXISTS ? ERROR_SUCCESS : err;
}

}  // namespace

std::string nt_local_machine_name() {
  const char* env = getenv("COMPUTERNAME");
  if (env && *env) return nt_computer_name();
  std::string root;
  if (nt_network_ensure(&root) == ERROR_SUCCESS) {
    std::string name = nt_network_default_machine(root);
    if (!name.empty()) return name;
  }
  return nt_computer_name();
}

DWORD nt_machine_create(const std::string& root, const NtMachineInfo& given) {
  NtMachineInfo info;
  DWORD err = normalize_info(given, &info);
  if (err != ERROR_SUCCESS) return err;
  std::string machines = root + "/machines";
  if ((err = make_dirs(machines)) != ERROR_SUCCESS) return err;
  std::string final_dir = nt_network_machine_dir(root, info.name);
  if (file_exists(final_dir)) return ERROR_ALREADY_EXISTS;

  // Built under a hidden name and renamed into place, so that nobody sees a
  // machine half made.
  std::string temp = machines + "/.new-" + std::to_string(getpid()) + "-" +
                     std::to_string(g_temp_counter++) + "-" + info.name;
  remove_tree(temp);
  if ((err = make_dirs(temp + "/drives/C/WINNT/system32")) != ERROR_SUCCESS ||
      (err = make_dirs(temp + "/run")) != ERROR_SUCCESS) {
    remove_tree(temp);
    return err;
  }
  {
    auto store = MachineStore::open_file(temp + "/machine.db", true, &err);
    if (store) err = nt_machine_set_info(*store, info);
    // The connection closes here, before the folder moves.
  }
  if (err == ERROR_SUCCESS && rename(temp.c_str(), final_dir.c_str()) != 0) {
    err = (errno == ENOTEMPTY || errno == EEXIST) ? ERROR_ALREADY_EXISTS
                                                  : win32_error_from_errno(errno);
  }
  if (err != ERROR_SUCCESS) remove_tree(temp);
  return err;
}

DWORD nt_machine_delete(const std::string& root, std::string_view name) {
  std::string upper;
  if (nt_normalize_machine_name(name, &upper) != ERROR_SUCCESS) return ERROR_BAD_NETPATH;
  std::string dir = nt_network_machine_dir(root, upper);
  if (!file_exists(dir + "/machine.db")) return ERROR_BAD_NETPATH;
  if (nt_upper_utf8(nt_network_default_machine(root)) == upper) return ERROR_ACCESS_DENIED;
  std::string gone = root + "/machines/.del-" + std::to_string(getpid()) + "-" +
                     std::to_string(g_temp_counter++) + "-" + upper;
  if (rename(dir.c_str(), gone.c_str()) != 0) return win32_error_from_errno(errno);
  nt_store_forget(dir + "/machine.db");
  remove_tree(gone);
  return ERROR_SUCCESS;
}

DWORD nt_machine_list(const std::string& root, std::vector<std::string>* names) {
  names->clear();
  std::string machines = root + "/machines";
  DIR* dir = opendir(machines.c_str());
  if (dir == nullptr) return errno == ENOENT ? ERROR_SUCCESS : win32_error_from_errno(errno);
  while (dirent* e = readdir(dir)) {
    if (e->d_name[0] == '.') continue;
    if (file_exists(machines + "/" + e->d_name + "/machine.db")) names->push_back(e->d_name);
  }
  closedir(dir);
  std::sort(names->begin(), names->end());
  return ERROR_SUCCESS;
}

DWORD nt_open_machine(std::string_view name, NtMachineRef* out, NtMachineAccess access) {
  std::string root;
  DWORD err = nt_network_ensure(&root);
  if (err != ERROR_SUCCESS) return err;
  bool local = name.empty();
  std::string given = local ? nt_local_machine_name() : std::string(name);
  std::string upper;
  if (nt_normalize_machine_name(given, &upper) != ERROR_SUCCESS) return ERROR_BAD_NETPATH;
  auto store = nt_store_open(nt_network_machine_db(root, upper), &err);
  if (!store) return err == ERROR_FILE_NOT_FOUND ? ERROR_BAD_NETPATH : err;
  if (!local && access == NtMachineAccess::network) {
    bool online = false;
    err = nt_machine_is_online(*store, &online);
    if (err != ERROR_SUCCESS || !online) return ERROR_BAD_NETPATH;
  }
  out->store = std::move(store);
  out->name = std::move(upper);
  out->local = local;
  return ERROR_SUCCESS;
}

DWORD nt_open_machine_a(const char* name, NtMachineRef* out, NtMachineAccess access) {
  if (name == nullptr || *name == '\0') return nt_open_machine(std::string_view(), out, access);
  return nt_open_machine(nt_wtf8_from_utf16(nt_ansi_to_wide(name)), out, access);
}

DWORD nt_open_machine_w(const WCHAR* name, NtMachineRef* out, NtMachineAccess access) {
  if (name == nullptr || *name == 0) return nt_open_machine(std::string_view(), out, access);
  return nt_open_machine(nt_wtf8_from_utf16(name), out, access);
}
