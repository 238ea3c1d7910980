#include "platform/files/attribute_marks.h"

#include <fcntl.h>
#include <ftw.h>
#include <strings.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cerrno>
#include <fstream>
#include <mutex>
#include <sstream>
#include <vector>

#include "platform/files/file_info.h"
#include "platform/kernel/error.h"
#include "platform/network/network.h"

namespace {

constexpr const char* kMarksKey = "AttributeMarks";

std::mutex g_mutex;
std::string g_root;  // the network whose answer is kept
bool g_known = false;
bool g_trusted = false;

std::string trim(const std::string& s) {
  size_t b = s.find_first_not_of(" \t\r\n");
  if (b == std::string::npos) return std::string();
  size_t e = s.find_last_not_of(" \t\r\n");
  return s.substr(b, e - b + 1);
}

bool is_section(const std::string& line, std::string* name) {
  std::string t = trim(line);
  if (t.size() < 2 || t.front() != '[' || t.back() != ']') return false;
  *name = trim(t.substr(1, t.size() - 2));
  return true;
}

// The key's value in [Network] of the file's lines, or false when absent.
bool marks_in(const std::vector<std::string>& lines) {
  bool in_network = false;
  for (const std::string& line : lines) {
    std::string section;
    if (is_section(line, &section)) {
      in_network = strcasecmp(section.c_str(), "Network") == 0;
      continue;
    }
    size_t eq = line.find('=');
    if (!in_network || eq == std::string::npos) continue;
    if (strcasecmp(trim(line.substr(0, eq)).c_str(), kMarksKey) == 0) {
      return trim(line.substr(eq + 1)) == "1";
    }
  }
  return false;
}

bool read_lines(const std::string& path, std::vector<std::string>* lines) {
  std::ifstream in(path);
  if (!in) return false;
  std::string line;
  while (std::getline(in, line)) lines->push_back(line);
  return true;
}

// The mode a regular file gets for `marked`, or false when it needs none.
bool new_mode(const struct stat& st, bool marked, mode_t* mode) {
  if (!S_ISREG(st.st_mode)) return false;
  if (((st.st_mode & NT_ATTRIBUTE_MARK) != 0) == marked) return false;
  *mode = marked ? (st.st_mode & 07777) | NT_ATTRIBUTE_MARK
                 : (st.st_mode & 07777) & ~NT_ATTRIBUTE_MARK;
  return true;
}

DWORD set_mode_bits_fd(int fd, bool marked) {
  struct stat st;
  mode_t mode;
  if (fstat(fd, &st) != 0) return win32_error_from_errno(errno);
  if (!new_mode(st, marked, &mode)) return ERROR_SUCCESS;
  return fchmod(fd, mode) == 0 ? ERROR_SUCCESS : win32_error_from_errno(errno);
}

DWORD set_mode_bits(const char* path, bool marked) {
  struct stat st;
  mode_t mode;
  if (stat(path, &st) != 0) return win32_error_from_errno(errno);
  if (!new_mode(st, marked, &mode)) return ERROR_SUCCESS;
  return chmod(path, mode) == 0 ? ERROR_SUCCESS : win32_error_from_errno(errno);
}

// The state of one nt_mark_attribute_files walk (nftw takes no context).
thread_local unsigned long* t_marked = nullptr;
thread_local DWORD t_first_error = ERROR_SUCCESS;

int mark_one(const char* path, const struct stat* st, int type, struct FTW*) {
  if (type != FTW_F || !S_ISREG(st->st_mode) || (st->st_mode & NT_ATTRIBUTE_MARK) != 0) return 0;
  char value[32];
  if (lgetxattr(path, NT_ATTRIB_XATTR, value, sizeof value) < 0 && errno != ERANGE) return 0;
  DWORD err = set_mode_bits(path, true);
  if (err == ERROR_SUCCESS) {
    ++*t_marked;
  } else if (t_first_error == ERROR_SUCCESS) {
    t_first_error = err;
  }
  return 0;
}

}  // namespace

bool nt_attribute_marks_trusted() {
  const std::string root = nt_network_root();
  std::lock_guard<std::mutex> lock(g_mutex);
  if (g_known && root == g_root) return g_trusted;
  std::vector<std::string> lines;
  read_lines(root + "/network.ini", &lines);
  g_root = root;
  g_trusted = marks_in(lines);
  g_known = true;
  return g_trusted;
}

DWORD nt_network_enable_attribute_marks(const std::string& root) {
  const std::string path = root + "/network.ini";
  std::vector<std::string> lines;
  if (!read_lines(path, &lines)) return ERROR_PATH_NOT_FOUND;
  // Drop any earlier value, then put the key first in [Network].
  bool in_network = false, placed = false;
  std::vector<std::string> out;
  for (const std::string& line : lines) {
    std::string section;
    if (is_section(line, &section)) {
      in_network = strcasecmp(section.c_str(), "Network") == 0;
      out.push_back(line);
      if (in_network && !placed) {
        out.push_back(std::string(kMarksKey) + "=1");
        placed = true;
      }
      continue;
    }
    size_t eq = line.find('=');
    if (in_network && eq != std::string::npos &&
        strcasecmp(trim(line.substr(0, eq)).c_str(), kMarksKey) == 0) {
      continue;
    }
    out.push_back(line);
  }
  if (!placed) {
    out.push_back("[Network]");
    out.push_back(std::string(kMarksKey) + "=1");
  }
  const std::string temp = path + ".marks" + std::to_string(getpid());
  {
    std::ofstream file(temp, std::ios::trunc);
    if (!file) return win32_error_from_errno(errno);
    for (const std::string& line : out) file << line << '\n';
    file.flush();
    if (!file) {
      unlink(temp.c_str());
      return ERROR_WRITE_FAULT;
    }
  }
  if (rename(temp.c_str(), path.c_str()) != 0) {
    DWORD err = win32_error_from_errno(errno);
    unlink(temp.c_str());
    return err;
  }
  std::lock_guard<std::mutex> lock(g_mutex);
  if (g_known && g_root == root) g_trusted = true;
  return ERROR_SUCCESS;
}

DWORD nt_set_attribute_mark_fd(int fd, bool marked) {
  if (fd < 0) return ERROR_INVALID_HANDLE;
  return set_mode_bits_fd(fd, marked);
}

DWORD nt_set_attribute_mark(const std::string& host, bool marked) {
  return set_mode_bits(host.c_str(), marked);
}

DWORD nt_mark_attribute_files(const std::string& host_dir, unsigned long* marked) {
  unsigned long count = 0;
  t_marked = &count;
  t_first_error = ERROR_SUCCESS;
  int rc = nftw(host_dir.c_str(), mark_one, 32, FTW_PHYS);
  DWORD err = rc != 0 ? win32_error_from_errno(errno) : t_first_error;
  t_marked = nullptr;
  if (marked != nullptr) *marked = count;
  return err;
}
