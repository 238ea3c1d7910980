#include "platform/kernel/local_memory.h"

#include <cstdlib>

#include "platform/kernel/error.h"

HLOCAL LocalAlloc(UINT flags, size_t bytes) {
  if ((flags & ~LPTR) != 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  // A zero-byte request still yields a block of its own, as Win32 does.
  void* block = (flags & LMEM_ZEROINIT) != 0 ? calloc(bytes == 0 ? 1 : bytes, 1)
                                             : malloc(bytes == 0 ? 1 : bytes);
  if (block == nullptr) SetLastError(ERROR_NOT_ENOUGH_MEMORY);
  return block;
}

HLOCAL LocalFree(HLOCAL block) {
  free(block);
  return nullptr;
}
