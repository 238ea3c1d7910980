// Rebuilding inherited objects in a child (handle.h), and what a parent
// hands over for each kind.
#include "platform/process/inherit.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#include "platform/files/file_io.h"
#include "platform/pipes/anonymous_pipe.h"
#include "platform/pipes/named_pipe.h"
#include "platform/process/process_object.h"
#include "platform/sync/event.h"

std::shared_ptr<KernelObject> nt_std_stream_from_fd(int fd);

namespace {

std::string path_of_fd(int fd) {
  char link[64];
  snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
  char target[4096];
  ssize_t n = readlink(link, target, sizeof target - 1);
  if (n <= 0) return std::string();
  return std::string(target, static_cast<size_t>(n));
}

}  // namespace

bool nt_inherit_info_of(const std::shared_ptr<KernelObject>& object, NtInheritInfo* info) {
  if (!object) return false;
  if (object->nt_inherit_info(info)) return true;
  if (auto file = std::dynamic_pointer_cast<NtFile>(object)) {
    if (file->fd() < 0) return false;
    char access[16];
    snprintf(access, sizeof access, "%lx", static_cast<unsigned long>(file->access()));
    info->kind = "file";
    info->fd = file->fd();
    info->extra = access;
    return true;
  }
  return false;
}

int nt_stdio_fd_of(const std::shared_ptr<KernelObject>& object) {
  if (auto io = std::dynamic_pointer_cast<NtIoObject>(object)) return io->nt_stdio_fd();
  if (auto file = std::dynamic_pointer_cast<NtFile>(object)) return file->fd();
  return -1;
}

std::shared_ptr<KernelObject> nt_import_inherited_object(const std::string& kind, int fd,
                                                         const std::string& extra) {
  if (kind == "event") return nt_event_from_fd(fd, extra == "m");
  if (kind == "process") {
    char* dot = nullptr;
    long pid = strtol(extra.c_str(), &dot, 10);
    if (pid <= 0 || dot == nullptr || *dot != '.') return nullptr;
    uint64_t start = strtoull(dot + 1, nullptr, 10);
    auto process = std::make_shared<NtProcess>(static_cast<pid_t>(pid), fd, start, false);
    nt_remember_process(process);
    return process;
  }
  if (kind == "file") {
    struct stat st;
    if (fstat(fd, &st) != 0) return nullptr;
    DWORD access = static_cast<DWORD>(strtoul(extra.c_str(), nullptr, 16));
    return std::make_shared<NtFile>(fd, access, FILE_SHARE_READ | FILE_SHARE_WRITE, st.st_dev,
                                    st.st_ino, path_of_fd(fd));
  }
  if (kind == "apipe") return nt_anonymous_pipe_from_fd(fd, extra);
  if (kind == "npipe") return nt_named_pipe_from_fd(fd, extra);
  if (kind == "std") return nt_std_stream_from_fd(fd);
  return nullptr;
}
