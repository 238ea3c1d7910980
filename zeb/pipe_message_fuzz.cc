// Fuzz target: the decoding of command pipe messages on both sides (codes,
// patterns, server messages, names and records) and of the job runner's
// command line. Decoded texts must stay inside their limits.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "zeb/job_record.h"
#include "zeb/pipe_protocol.h"
#include "zeb/spawn_args.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  DWORD code = 0;
  if (zeb_decode_code(data, size, &code)) {
    const ZebCommandInfo* info = zeb_command_info(code);
    if (info != nullptr && info->code != code) abort();
  }
  std::string pattern = zeb_decode_pattern(data, size);
  if (pattern.size() > ZEB_PATTERN_MAX || pattern.find('\0') != std::string::npos) abort();

  ZebServerMessage kind = zeb_classify_server_message(data, size);
  if (kind == ZebServerMessage::name) {
    std::string name = zeb_name_of(data, size);
    if (name.size() > JOB_NAME_MAX) abort();
    std::string again = zeb_name_message(name);
    if (zeb_name_of(again.data(), again.size()) != name) abort();
  }

  JobRecord rec;
  if (job_record_decode(data, size, &rec)) {
    if (size != JOB_RECORD_SIZE) abort();
    if (job_name(rec).size() > JOB_NAME_MAX || job_command(rec).size() > JOB_COMMAND_MAX ||
        job_creator(rec).size() > JOB_USER_MAX || job_modified_by(rec).size() > JOB_USER_MAX) {
      abort();
    }
  }

  ZebSpawnArgs args;
  std::string line(reinterpret_cast<const char*>(data), size);
  if (zeb_parse_spawn_args(line, &args) && args.name.find('*') != std::string::npos) abort();
  return 0;
}
