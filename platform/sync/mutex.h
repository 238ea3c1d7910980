// Mutexes: CreateMutexA, OpenMutexA, ReleaseMutex.
//
// A mutex belongs to the thread that took it and may be taken again by that
// thread (each wait needs one release). A thread that ends while owning a
// mutex abandons it: the next wait that takes it returns WAIT_ABANDONED_0
// + i. Mutex handles are not passed to child processes.
#pragma once

#include "platform/kernel/handle.h"
#include "platform/kernel/error.h"
#include "platform/win32_types.h"

constexpr DWORD MUTEX_ALL_ACCESS = 0x001F0001;

HANDLE CreateMutexA(SECURITY_ATTRIBUTES* security, BOOL initial_owner, const char* name);
HANDLE OpenMutexA(DWORD access, BOOL inherit, const char* name);
// ERROR_NOT_OWNER when the calling thread does not own the mutex.
BOOL ReleaseMutex(HANDLE mutex);
