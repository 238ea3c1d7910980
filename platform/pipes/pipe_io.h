// Descriptor I/O shared by the pipe kinds.
#pragma once

#include <sys/types.h>

#include <cstddef>

// write() that never raises SIGPIPE: EPIPE comes back as an error instead.
ssize_t nt_write_no_sigpipe(int fd, const void* data, size_t size);
