// The StderrWriter: copies the job's standard error from the read end of
// its pipe into the ERR file, in chunks of at most 512 bytes, each behind
// its own time stamp "yyyy-mm-dd hh:mm:ss.mmm: ".
#pragma once

#include <string>

#include "platform/win32_types.h"

constexpr DWORD ZEB_STDERR_CHUNK = 512;

struct StderrWriterArgs {
  HANDLE pipe = nullptr;  // read end
  HANDLE file = nullptr;  // ERR file, positioned at its end
};

// Copies until a read fails or gives nothing, or a write fails; returns
// the number of chunks written.
DWORD stderr_writer_copy(HANDLE pipe, HANDLE file);

// Thread entry: `param` is a StderrWriterArgs that outlives the thread.
DWORD stderr_writer_thread(void* param);
