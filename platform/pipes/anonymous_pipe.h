// Anonymous pipes: CreatePipe.
//
// A Linux pipe. ReadFile returns what is there (at least one byte; it waits
// for some), and fails with ERROR_BROKEN_PIPE (109) once every write handle
// is closed and the pipe is empty. WriteFile writes everything; with every
// read handle closed it fails with ERROR_NO_DATA (232, "the pipe is being
// closed"), as NT does, and never raises SIGPIPE. Both ends can be
// inherited and be a child's standard handles. The size is a hint, as in
// NT: a size above the system default enlarges the pipe.
#pragma once

#include <memory>
#include <string>

#include "platform/kernel/handle.h"
#include "platform/win32_types.h"

BOOL CreatePipe(HANDLE* read_pipe, HANDLE* write_pipe, SECURITY_ATTRIBUTES* security, DWORD size);

// The pipe end over an inherited descriptor ("r" or "w").
std::shared_ptr<KernelObject> nt_anonymous_pipe_from_fd(int fd, const std::string& extra);
