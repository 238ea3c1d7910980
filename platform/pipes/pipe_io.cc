#include "platform/pipes/pipe_io.h"

#include <signal.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>

ssize_t nt_write_no_sigpipe(int fd, const void* data, size_t size) {
  // Block SIGPIPE for this thread around the write; a SIGPIPE that the
  // write raised is taken off again, one that was pending before stays.
  sigset_t pipe_only, old_mask, pending;
  sigemptyset(&pipe_only);
  sigaddset(&pipe_only, SIGPIPE);
  sigpending(&pending);
  const bool was_pending = sigismember(&pending, SIGPIPE);
  pthread_sigmask(SIG_BLOCK, &pipe_only, &old_mask);
  ssize_t put;
  do {
    put = write(fd, data, size);
  } while (put < 0 && errno == EINTR);
  int saved = errno;
  if (put < 0 && saved == EPIPE && !was_pending) {
    timespec zero{0, 0};
    while (sigtimedwait(&pipe_only, nullptr, &zero) < 0 && errno == EINTR) {
    }
  }
  pthread_sigmask(SIG_SETMASK, &old_mask, nullptr);
  errno = saved;
  return put;
}
