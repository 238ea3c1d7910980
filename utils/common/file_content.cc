#include "utils/common/file_content.h"

#include <cstdint>

#include "platform/files/file_io.h"
#include "platform/kernel/error.h"

namespace {

// The largest single read; larger files are read in several calls.
constexpr DWORD kReadChunk = 1u << 30;

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

}  // namespace

bool query_file_size(const char* path, uint64_t* size) {
  if (!path || !size) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return false;
  }
  DWORD attributes = GetFileAttributesA(path);
  if (attributes == INVALID_FILE_ATTRIBUTES) return false;
  if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
    *size = 0;
    return true;
  }
  // No access asked: the status of the file only, whatever its permissions.
  HANDLE file = CreateFileA(path, 0, kShareAll, nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD high = 0;
  DWORD low = GetFileSize(file, &high);
  DWORD error = GetLastError();
  CloseHandle(file);
  if (low == INVALID_FILE_SIZE && error != ERROR_SUCCESS) {
    SetLastError(error);
    return false;
  }
  *size = (static_cast<uint64_t>(high) << 32) | low;
  SetLastError(ERROR_SUCCESS);
  return true;
}

FileBuffer allocate_file_buffer(uint64_t size) {
  if (size > SIZE_MAX / 2) return nullptr;
  return FileBuffer(static_cast<char*>(malloc(size == 0 ? 1 : static_cast<size_t>(size))));
}

ReadStatus read_file_into(const char* path, char* buffer, uint64_t size, uint64_t* read) {
  *read = 0;
  HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return ReadStatus::kOpenFailed;
  ReadStatus status = ReadStatus::kDone;
  while (*read < size) {
    uint64_t left = size - *read;
    DWORD want = left < kReadChunk ? static_cast<DWORD>(left) : kReadChunk;
    DWORD got = 0;
    if (!ReadFile(file, buffer + *read, want, &got, nullptr)) {
      *read += got;
      status = ReadStatus::kReadFailed;
      break;
    }
    if (got == 0) break;
    *read += got;
  }
  DWORD error = GetLastError();
  CloseHandle(file);
  SetLastError(error);
  return status;
}
