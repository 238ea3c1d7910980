#include "platform/eventlog/evt_file.h"

#include "platform/eventlog/event_record.h"

namespace {

constexpr DWORD kEofMarks[4] = {0x11111111, 0x22222222, 0x33333333, 0x44444444};

void append32(std::string* out, DWORD value) {
  for (int i = 0; i < 4; ++i) out->push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
}

DWORD get32(std::string_view in, size_t at) {
  DWORD v = 0;
  for (int i = 3; i >= 0; --i) v = (v << 8) | static_cast<unsigned char>(in[at + i]);
  return v;
}

bool is_eof_record(std::string_view in, size_t at) {
  if (in.size() - at < ELF_EOF_RECORD_SIZE) return false;
  if (get32(in, at) != ELF_EOF_RECORD_SIZE) return false;
  for (int i = 0; i < 4; ++i)
    if (get32(in, at + 4 + 4 * i) != kEofMarks[i]) return false;
  return get32(in, at + ELF_EOF_RECORD_SIZE - 4) == ELF_EOF_RECORD_SIZE;
}

DWORD record_number_of(const std::string& record) { return get32(record, 8); }

}  // namespace

std::string nt_evt_file_build(const std::vector<std::string>& records, DWORD next_record) {
  size_t body = 0;
  for (const std::string& r : records) body += r.size();
  DWORD end_offset = static_cast<DWORD>(ELF_LOGFILE_HEADER_SIZE + body);
  DWORD oldest = records.empty() ? 0 : record_number_of(records.front());
  DWORD total = end_offset + ELF_EOF_RECORD_SIZE;
  // The size limit a log of this content would need, in 64 KB steps.
  DWORD max_size = NT_EVENT_LOG_DEFAULT_MAX_SIZE;
  if (total > max_size) max_size = (total + 0xFFFF) & ~0xFFFFu;

  std::string out;
  out.reserve(total);
  append32(&out, ELF_LOGFILE_HEADER_SIZE);
  append32(&out, ELF_LOG_SIGNATURE);
  append32(&out, 1);  // major version
  append32(&out, 1);  // minor version
  append32(&out, ELF_LOGFILE_HEADER_SIZE);
  append32(&out, end_offset);
  append32(&out, next_record);
  append32(&out, oldest);
  append32(&out, max_size);
  append32(&out, 0);  // flags: clean
  append32(&out, NT_EVENT_LOG_DEFAULT_RETENTION);
  append32(&out, ELF_LOGFILE_HEADER_SIZE);
  for (const std::string& r : records) out += r;
  append32(&out, ELF_EOF_RECORD_SIZE);
  for (DWORD mark : kEofMarks) append32(&out, mark);
  append32(&out, ELF_LOGFILE_HEADER_SIZE);
  append32(&out, end_offset);
  append32(&out, next_record);
  append32(&out, oldest);
  append32(&out, ELF_EOF_RECORD_SIZE);
  return out;
}

bool nt_evt_file_parse(std::string_view file, std::vector<std::string>* records) {
  if (file.size() < ELF_LOGFILE_HEADER_SIZE) return false;
  if (get32(file, 0) != ELF_LOGFILE_HEADER_SIZE || get32(file, 4) != ELF_LOG_SIGNATURE ||
      get32(file, 8) != 1 || get32(file, 12) != 1 || get32(file, 44) != ELF_LOGFILE_HEADER_SIZE)
    return false;
  size_t start = get32(file, 16);
  size_t end = get32(file, 20);
  if (start < ELF_LOGFILE_HEADER_SIZE || start > end || end > file.size()) return false;
  if (!is_eof_record(file, end)) return false;

  std::vector<std::string> out;
  size_t pos = start;
  while (pos < end) {
    NtEventRecord record;
    size_t length = 0;
    if (!nt_event_record_parse(file.substr(pos, end - pos), false, &record, &length))
      return false;
    out.emplace_back(file.substr(pos, length));
    pos += length;
  }
  *records = std::move(out);
  return true;
}
