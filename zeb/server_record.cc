#include "zeb/server_record.h"

#include <string>

#include "lib/format.h"
#include "lib/time_syntax.h"
#include "lib/wildcard.h"
#include "platform/nls/codepage.h"
#include "platform/services/services.h"
#include "zeb/service_keys.h"

namespace {

const std::string* field_of(const ServerRecord& record, char letter) {
  switch (letter) {
    case 'D': return &record.domain;
    case 'S': return &record.server;
    case 'c': return &record.directory;
    case 'T': return &record.temp_dir;
    case 'l': return &record.logging;
    case 'A': return &record.autostart;
    case 'I': return &record.interactive;
    case 'u': return &record.account;
    case 's': return &record.state;
    case 'V': return &record.version;
    default: return nullptr;
  }
}

constexpr char kLetters[SERVER_FIELD_COUNT] = {'D', 'S', 'c', 'T', 'l', 'A', 'I', 'u', 's', 'V'};

std::string criterion_text(const ArgSpec& criterion) {
  if (criterion.target == nullptr) return std::string();
  if (criterion.type == ARG_WSTRING) {
    return nt_wide_to_ansi(std::u16string_view(static_cast<const WCHAR*>(criterion.target)));
  }
  return static_cast<const char*>(criterion.target);
}

bool passes(const ServerRecord& record, const ArgSpec& criterion) {
  // Domain and server are chosen by the loop, not by criteria.
  if (criterion.letter == 'D' || criterion.letter == 'S') return true;
  const std::string* value = field_of(record, criterion.letter);
  if (value == nullptr) return true;
  switch (criterion.type) {
    case ARG_RANGE: {
      const char* range = static_cast<const char*>(criterion.target);
      if (range == nullptr || *range == '\0') return true;
      if (criterion.letter != 'l') return in_range(range, *value == "1" ? 1 : 0);
      if (record.logging.empty()) return false;
      const DWORD mask = record.query.logging;
      if ((mask & 0xFFFF) == 0) return in_range(range, 0);
      for (int bit = 0; bit < 16; ++bit) {
        if ((mask & (1u << bit)) && in_range(range, bit)) return true;
      }
      return false;
    }
    case ARG_STRING:
    case ARG_WSTRING:
      return match_wildcard(value->c_str(), criterion_text(criterion).c_str(), 0);
    case ARG_NUMERIC:
    case ARG_FLAG: {
      const int32_t wanted = criterion.target != nullptr
                                 ? *static_cast<const int32_t*>(criterion.target)
                                 : static_cast<int32_t>(criterion.def);
      const int32_t have = (*value == "1") ? 1 : 0;
      return have == wanted;
    }
    case ARG_CHAR: {
      const char wanted = criterion.target != nullptr ? *static_cast<const char*>(criterion.target)
                                                      : static_cast<char>(criterion.def);
      return !value->empty() && (*value)[0] == wanted;
    }
    default:
      return true;
  }
}

}  // namespace

const char* server_autostart_word(DWORD start_type) {
  if (start_type == SERVICE_DEMAND_START) return "0";
  if (start_type == SERVICE_DISABLED) return "0(Disabled)";
  return "1";
}

DWORD server_record_query(const char* domain, const char* server, ServerRecord* record) {
  *record = ServerRecord();
  record->domain = domain ? domain : "";
  record->server = server ? server : "";
  const DWORD rc = query_service(
      "ZEB", server, ZEB_SERVICE_NAME,
      SERVICE_VALUE_LOGGING | SERVICE_VALUE_TEMP_DIR | SERVICE_VALUE_VERSION, &record->query);
  if (rc != 0) return rc;
  const ServiceQuery& q = record->query;
  record->directory = q.directory;
  record->temp_dir = q.temp_dir;
  record->logging = q.logging_range;
  record->autostart = server_autostart_word(q.start_type);
  record->interactive = q.interactive ? "1" : "0";
  record->account = q.account;
  record->state = service_state_word(q.state);
  record->version = q.version;
  return 0;
}

bool server_record_matches(const ServerRecord& record, const ArgSpec* criteria) {
  if (criteria == nullptr) return true;
  for (const ArgSpec* c = criteria; c->type != ARG_END; ++c) {
    if (c->state != ARG_GIVEN) continue;
    if (!passes(record, *c)) return false;
  }
  return true;
}

void server_record_fields(const ServerRecord& record, ArgSpec* table) {
  int i = 0;
  for (char letter : kLetters) {
    const std::string* value = field_of(record, letter);
    table[i++] = ArgSpec{ARG_STRING, letter, ARG_GIVEN,
                         const_cast<char*>(value->c_str()), 0};
  }
  table[i] = ArgSpec{ARG_END, 0, 0, nullptr, 0};
}
