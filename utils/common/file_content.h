// Reading a whole file into memory through the platform's file calls, in
// the separate steps the utilities report on: examine the name, allocate,
// open and read.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <memory>

struct FreeDeleter {
  void operator()(char* p) const { free(p); }
};
using FileBuffer = std::unique_ptr<char[], FreeDeleter>;

// The size of the file named `path`, found without reading it: TRUE and the
// size (0 for a directory), or FALSE with the Win32 error when the name
// cannot be examined.
bool query_file_size(const char* path, uint64_t* size);

// A buffer of `size` bytes (one byte at least), or null when memory is short
// or the size cannot be addressed.
FileBuffer allocate_file_buffer(uint64_t size);

enum class ReadStatus {
  kDone,        // *read bytes are in the buffer (fewer than asked at the end of the file)
  kOpenFailed,  // the file could not be opened for reading
  kReadFailed,  // a read failed; *read bytes came before it
};

// Opens `path` for reading and reads up to `size` bytes into `buffer`.
// Leaves the Win32 error of a failure.
ReadStatus read_file_into(const char* path, char* buffer, uint64_t size, uint64_t* read);
