#include "platform/eventlog/event_record.h"

#include "platform/nls/codepage.h"
#include "platform/security/sid.h"

namespace {

constexpr size_t kFixedSize = sizeof(EVENTLOGRECORD);

void put32(std::string* out, size_t at, DWORD value) {
  for (int i = 0; i < 4; ++i) (*out)[at + i] = static_cast<char>((value >> (8 * i)) & 0xFF);
}

void put16(std::string* out, size_t at, WORD value) {
  (*out)[at] = static_cast<char>(value & 0xFF);
  (*out)[at + 1] = static_cast<char>(value >> 8);
}

DWORD get32(std::string_view in, size_t at) {
  DWORD v = 0;
  for (int i = 3; i >= 0; --i) v = (v << 8) | static_cast<unsigned char>(in[at + i]);
  return v;
}

WORD get16(std::string_view in, size_t at) {
  return static_cast<WORD>(static_cast<unsigned char>(in[at]) |
                           (static_cast<unsigned char>(in[at + 1]) << 8));
}

// A text with its terminator, in the record's form.
void append_text(std::string* out, const std::u16string& text, bool ansi) {
  if (ansi) {
    out->append(nt_wide_to_ansi(text));
    out->push_back('\0');
    return;
  }
  for (char16_t c : text) {
    out->push_back(static_cast<char>(c & 0xFF));
    out->push_back(static_cast<char>(c >> 8));
  }
  out->append(2, '\0');
}

void pad4(std::string* out) {
  while (out->size() % 4 != 0) out->push_back('\0');
}

// Reads a terminated text at *pos, not beyond `end`; advances past the
// terminator.
bool read_text(std::string_view in, size_t* pos, size_t end, bool ansi, std::u16string* text) {
  if (ansi) {
    for (size_t i = *pos; i < end; ++i) {
      if (in[i] == '\0') {
        *text = nt_ansi_to_wide(in.substr(*pos, i - *pos));
        *pos = i + 1;
        return true;
      }
    }
    return false;
  }
  std::u16string out;
  for (size_t i = *pos; i + 1 < end; i += 2) {
    char16_t c = static_cast<char16_t>(get16(in, i));
    if (c == 0) {
      *text = std::move(out);
      *pos = i + 2;
      return true;
    }
    out.push_back(c);
  }
  return false;
}

}  // namespace

bool nt_event_type_valid(WORD type) {
  switch (type) {
    case EVENTLOG_SUCCESS:
    case EVENTLOG_ERROR_TYPE:
    case EVENTLOG_WARNING_TYPE:
    case EVENTLOG_INFORMATION_TYPE:
    case EVENTLOG_AUDIT_SUCCESS:
    case EVENTLOG_AUDIT_FAILURE: return true;
    default: return false;
  }
}

std::string nt_event_record_layout(const NtEventRecord& record, bool ansi) {
  std::string out(kFixedSize, '\0');
  append_text(&out, record.source, ansi);
  append_text(&out, record.computer, ansi);
  pad4(&out);
  size_t sid_offset = out.size();
  out.append(record.sid);
  size_t string_offset = out.size();
  for (const std::u16string& text : record.strings) append_text(&out, text, ansi);
  size_t data_offset = out.size();
  out.append(record.data);
  pad4(&out);
  out.append(4, '\0');
  DWORD length = static_cast<DWORD>(out.size());

  put32(&out, 0, length);
  put32(&out, 4, ELF_LOG_SIGNATURE);
  put32(&out, 8, record.record_number);
  put32(&out, 12, record.time_generated);
  put32(&out, 16, record.time_written);
  put32(&out, 20, record.event_id);
  put16(&out, 24, record.event_type);
  put16(&out, 26, static_cast<WORD>(record.strings.size()));
  put16(&out, 28, record.category);
  put16(&out, 30, 0);
  put32(&out, 32, 0);
  put32(&out, 36, static_cast<DWORD>(string_offset));
  put32(&out, 40, static_cast<DWORD>(record.sid.size()));
  put32(&out, 44, static_cast<DWORD>(sid_offset));
  put32(&out, 48, static_cast<DWORD>(record.data.size()));
  put32(&out, 52, static_cast<DWORD>(data_offset));
  put32(&out, length - 4, length);
  return out;
}

bool nt_event_record_parse(std::string_view bytes, bool ansi, NtEventRecord* record,
                           size_t* length_out) {
  if (bytes.size() < kFixedSize + 4) return false;
  size_t length = get32(bytes, 0);
  if (length < kFixedSize + 4 || length > bytes.size() || length % 4 != 0) return false;
  if (get32(bytes, 4) != ELF_LOG_SIGNATURE || get32(bytes, length - 4) != length) return false;
  std::string_view in = bytes.substr(0, length);
  size_t end = length - 4;  // the trailing length

  NtEventRecord r;
  r.record_number = get32(in, 8);
  r.time_generated = get32(in, 12);
  r.time_written = get32(in, 16);
  r.event_id = get32(in, 20);
  r.event_type = get16(in, 24);
  WORD num_strings = get16(in, 26);
  r.category = get16(in, 28);
  size_t string_offset = get32(in, 36);
  size_t sid_length = get32(in, 40);
  size_t sid_offset = get32(in, 44);
  size_t data_length = get32(in, 48);
  size_t data_offset = get32(in, 52);

  // Every part lies inside the record, after the fixed part.
  auto inside = [&](size_t offset, size_t size) {
    return offset >= kFixedSize && offset <= end && size <= end - offset;
  };
  if (!inside(sid_offset, sid_length) || !inside(string_offset, 0) ||
      !inside(data_offset, data_length))
    return false;

  size_t pos = kFixedSize;
  size_t names_end = sid_length ? sid_offset : string_offset;
  if (!read_text(in, &pos, names_end, ansi, &r.source)) return false;
  if (!read_text(in, &pos, names_end, ansi, &r.computer)) return false;
  if (sid_length) {
    r.sid = std::string(in.substr(sid_offset, sid_length));
    if (nt_sid_length(r.sid) != sid_length) return false;
  }
  pos = string_offset;
  size_t strings_end = data_length ? data_offset : end;
  if (strings_end < string_offset) return false;
  for (WORD i = 0; i < num_strings; ++i) {
    std::u16string text;
    if (!read_text(in, &pos, strings_end, ansi, &text)) return false;
    r.strings.push_back(std::move(text));
  }
  r.data = std::string(in.substr(data_offset, data_length));
  *record = std::move(r);
  if (length_out) *length_out = length;
  return true;
}
