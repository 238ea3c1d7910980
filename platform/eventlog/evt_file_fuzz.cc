// Feeds arbitrary bytes to the readers of event records, .EVT files and SID
// texts: none may read out of bounds, and what they accept must lay out
// again to the same bytes.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/eventlog/event_record.h"
#include "platform/eventlog/evt_file.h"
#include "platform/security/sid.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string bytes(reinterpret_cast<const char*>(data), size);

  NtEventRecord record;
  size_t length = 0;
  if (nt_event_record_parse(bytes, false, &record, &length)) {
    if (length > size) __builtin_trap();
    // A record read back lays out within the bytes it came from.
    std::string again = nt_event_record_layout(record, false);
    NtEventRecord second;
    if (!nt_event_record_parse(again, false, &second, nullptr)) __builtin_trap();
    if (second.strings != record.strings || second.sid != record.sid ||
        second.data != record.data || second.source != record.source)
      __builtin_trap();
  }
  nt_event_record_parse(bytes, true, &record, &length);

  std::vector<std::string> records;
  if (nt_evt_file_parse(bytes, &records)) {
    std::vector<std::string> again;
    if (!nt_evt_file_parse(nt_evt_file_build(records, 1), &again) || again != records)
      __builtin_trap();
  }

  std::string sid;
  if (nt_sid_from_text(bytes, &sid)) {
    if (nt_sid_length(sid) != sid.size()) __builtin_trap();
    std::string back;
    if (!nt_sid_from_text(nt_sid_to_text(sid), &back) || back != sid) __builtin_trap();
  }
  return 0;
}
