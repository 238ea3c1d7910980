#include "platform/resource/elf_section.h"

#include <elf.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <functional>

#include "platform/kernel/error.h"

namespace {

// Largest section read (a guard against absurd sizes in a damaged file).
constexpr uint64_t MAX_SECTION_SIZE = 64ull << 20;

// Reads `size` bytes at `offset` of the file; false when they are not all
// there.
using ReadAt = std::function<bool(uint64_t offset, void* out, size_t size)>;

DWORD find_section(uint64_t file_size, const ReadAt& read_at, const char* name,
                   std::vector<uint8_t>* out) {
  Elf64_Ehdr eh;
  if (!read_at(0, &eh, sizeof eh)) return ERROR_BAD_EXE_FORMAT;
  if (memcmp(eh.e_ident, ELFMAG, SELFMAG) != 0 || eh.e_ident[EI_CLASS] != ELFCLASS64 ||
      eh.e_ident[EI_DATA] != ELFDATA2LSB) {
    return ERROR_BAD_EXE_FORMAT;
  }
  if (eh.e_shoff == 0) return ERROR_RESOURCE_TYPE_NOT_FOUND;  // no section table at all
  if (eh.e_shentsize != sizeof(Elf64_Shdr)) return ERROR_BAD_EXE_FORMAT;

  // Section 0 carries the real count and name-table index when they do not
  // fit the header's fields.
  Elf64_Shdr first;
  if (!read_at(eh.e_shoff, &first, sizeof first)) return ERROR_BAD_EXE_FORMAT;
  uint64_t count = eh.e_shnum != 0 ? eh.e_shnum : first.sh_size;
  uint64_t names_index = eh.e_shstrndx != SHN_XINDEX ? eh.e_shstrndx : first.sh_link;
  if (count == 0 || eh.e_shoff > file_size ||
      (file_size - eh.e_shoff) / sizeof(Elf64_Shdr) < count) {
    return ERROR_BAD_EXE_FORMAT;
  }
  if (names_index == SHN_UNDEF || names_index >= count) return ERROR_BAD_EXE_FORMAT;

  Elf64_Shdr names;
  if (!read_at(eh.e_shoff + names_index * sizeof(Elf64_Shdr), &names, sizeof names) ||
      names.sh_type == SHT_NOBITS || names.sh_size > MAX_SECTION_SIZE) {
    return ERROR_BAD_EXE_FORMAT;
  }
  std::vector<char> table(names.sh_size);
  if (!read_at(names.sh_offset, table.data(), table.size())) return ERROR_BAD_EXE_FORMAT;
  size_t wanted = strlen(name);

  for (uint64_t i = 1; i < count; ++i) {
    Elf64_Shdr sh;
    if (!read_at(eh.e_shoff + i * sizeof(Elf64_Shdr), &sh, sizeof sh)) {
      return ERROR_BAD_EXE_FORMAT;
    }
    if (sh.sh_name >= table.size()) return ERROR_BAD_EXE_FORMAT;
    // The name, with its terminator, must lie inside the table.
    size_t room = table.size() - sh.sh_name;
    if (room <= wanted || memcmp(table.data() + sh.sh_name, name, wanted + 1) != 0) continue;
    if (sh.sh_type == SHT_NOBITS || sh.sh_size == 0) return ERROR_RESOURCE_TYPE_NOT_FOUND;
    if (sh.sh_size > MAX_SECTION_SIZE) return ERROR_BAD_EXE_FORMAT;
    out->resize(sh.sh_size);
    if (!read_at(sh.sh_offset, out->data(), out->size())) {
      out->clear();
      return ERROR_BAD_EXE_FORMAT;
    }
    return ERROR_SUCCESS;
  }
  return ERROR_RESOURCE_TYPE_NOT_FOUND;
}

}  // namespace

DWORD read_elf_section(const std::vector<uint8_t>& image, const char* name,
                       std::vector<uint8_t>* out) {
  out->clear();
  ReadAt read_at = [&image](uint64_t offset, void* to, size_t size) {
    if (offset > image.size() || image.size() - offset < size) return false;
    if (size != 0) memcpy(to, image.data() + offset, size);
    return true;
  };
  return find_section(image.size(), read_at, name, out);
}

DWORD read_elf_section_file(const std::string& path, const char* name,
                            std::vector<uint8_t>* out) {
  out->clear();
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return win32_error_from_errno(errno);
  struct stat st;
  if (fstat(fd, &st) != 0) {
    DWORD code = win32_error_from_errno(errno);
    close(fd);
    return code;
  }
  if (S_ISDIR(st.st_mode)) {
    close(fd);
    return ERROR_ACCESS_DENIED;
  }
  if (!S_ISREG(st.st_mode)) {
    close(fd);
    return ERROR_BAD_EXE_FORMAT;
  }
  DWORD read_error = ERROR_SUCCESS;
  ReadAt read_at = [fd, &read_error](uint64_t offset, void* to, size_t size) {
    size_t done = 0;
    while (done < size) {
      ssize_t n = pread(fd, static_cast<char*>(to) + done, size - done,
                        static_cast<off_t>(offset + done));
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) read_error = win32_error_from_errno(errno);
      if (n <= 0) return false;
      done += static_cast<size_t>(n);
    }
    return true;
  };
  DWORD code = find_section(static_cast<uint64_t>(st.st_size), read_at, name, out);
  close(fd);
  if (code != ERROR_SUCCESS && read_error != ERROR_SUCCESS) {
    out->clear();
    return read_error;
  }
  return code;
}
