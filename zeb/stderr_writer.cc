#include "zeb/stderr_writer.h"

#include "platform/files/file_io.h"
#include "platform/kernel/clock.h"
#include "zeb/job_io_files.h"

DWORD stderr_writer_copy(HANDLE pipe, HANDLE file) {
  char buffer[ZEB_STDERR_CHUNK];
  DWORD chunks = 0;
  for (;;) {
    DWORD got = 0;
    if (!ReadFile(pipe, buffer, sizeof buffer, &got, nullptr) || got == 0) break;
    SYSTEMTIME now{};
    GetLocalTime(&now);
    // Stamp and chunk in one write, so that a reader never sees a stamp
    // without its bytes.
    std::string chunk = job_err_stamp(now);
    chunk.append(buffer, got);
    DWORD written = 0;
    if (!WriteFile(file, chunk.data(), static_cast<DWORD>(chunk.size()), &written, nullptr) ||
        written != chunk.size()) {
      break;
    }
    ++chunks;
  }
  return chunks;
}

DWORD stderr_writer_thread(void* param) {
  auto* args = static_cast<StderrWriterArgs*>(param);
  stderr_writer_copy(args->pipe, args->file);
  return 0;
}
