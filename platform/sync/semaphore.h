// Semaphores: CreateSemaphoreA, OpenSemaphoreA, ReleaseSemaphore.
//
// The count lives in this process; an eventfd mirrors whether it is above
// zero, so that waits can poll it with other objects. Semaphore handles are
// not passed to child processes.
#pragma once

#include "platform/kernel/handle.h"
#include "platform/kernel/error.h"
#include "platform/win32_types.h"

constexpr DWORD SEMAPHORE_MODIFY_STATE = 0x0002;
constexpr DWORD SEMAPHORE_ALL_ACCESS = 0x001F0003;

// ERROR_INVALID_PARAMETER for a maximum below 1, a negative initial count or
// one above the maximum. Names as for events (named_objects.h).
HANDLE CreateSemaphoreA(SECURITY_ATTRIBUTES* security, LONG initial_count, LONG maximum_count,
                        const char* name);
HANDLE OpenSemaphoreA(DWORD access, BOOL inherit, const char* name);
// Adds `release_count` (at least 1, else ERROR_INVALID_PARAMETER); a count
// that would pass the maximum fails with ERROR_TOO_MANY_POSTS and changes
// nothing. *previous_count (when given) gets the count before the call.
BOOL ReleaseSemaphore(HANDLE semaphore, LONG release_count, LONG* previous_count);
