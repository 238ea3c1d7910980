// Events: CreateEventA, OpenEventA, SetEvent, ResetEvent, PulseEvent.
//
// An event is an eventfd whose counter is non-zero exactly while the event
// is signalled; a manual-reset event stays signalled until ResetEvent, an
// auto-reset event is reset by the one wait it releases. The eventfd can be
// inherited: the event is then one event in both processes (waitable.h).
#pragma once

#include <memory>

#include "platform/kernel/handle.h"
#include "platform/sync/waitable.h"
#include "platform/win32_types.h"

constexpr DWORD EVENT_MODIFY_STATE = 0x0002;
constexpr DWORD EVENT_ALL_ACCESS = 0x001F0003;

// A null or empty name makes an unnamed event. A name that exists gives a
// handle to that event (its reset mode and state unchanged) and leaves
// ERROR_ALREADY_EXISTS; a name of another kind of object fails with
// ERROR_INVALID_HANDLE.
HANDLE CreateEventA(SECURITY_ATTRIBUTES* security, BOOL manual_reset, BOOL initial_state,
                    const char* name);
// ERROR_FILE_NOT_FOUND when there is no event of that name.
HANDLE OpenEventA(DWORD access, BOOL inherit, const char* name);
BOOL SetEvent(HANDLE event);
BOOL ResetEvent(HANDLE event);
// Releases the threads of this process that wait on the event now (one of
// them for an auto-reset event) and leaves the event reset.
BOOL PulseEvent(HANDLE event);

// The event over an inherited eventfd (handle import).
std::shared_ptr<KernelObject> nt_event_from_fd(int fd, bool manual_reset);
