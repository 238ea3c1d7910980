// LocalAlloc and LocalFree, as far as buffers handed out by the layer
// (FormatMessage with FORMAT_MESSAGE_ALLOCATE_BUFFER) need them.
#pragma once

#include <cstddef>

#include "platform/win32_types.h"

using HLOCAL = void*;

constexpr UINT LMEM_FIXED = 0x0000;
constexpr UINT LMEM_ZEROINIT = 0x0040;
constexpr UINT LPTR = LMEM_FIXED | LMEM_ZEROINIT;

// Only fixed memory exists; other flags fail with ERROR_INVALID_PARAMETER.
HLOCAL LocalAlloc(UINT flags, size_t bytes);
// Returns null on success, the block itself on failure (Win32 convention).
HLOCAL LocalFree(HLOCAL block);
