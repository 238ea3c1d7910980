#include "zeb/job_fields.h"

#include <cstdio>
#include <cstring>

#include "lib/command_line_parser.h"
#include "platform/kernel/environment.h"
#include "zeb/zeb_text.h"

namespace {

void put(char (&field)[ARG_TEXT_SIZE], const std::string& text) {
  zeb_copy_cut(field, sizeof field, text);
}

ArgSpec entry(ArgType type, char letter, void* target, intptr_t def = 0) {
  return ArgSpec{type, letter, ARG_OPTIONAL, target, def};
}

constexpr ArgSpec kEnd{ARG_END, 0, 0, nullptr, 0};

}  // namespace

std::string zeb_interval_text(DWORD minutes) {
  char text[64];
  snprintf(text, sizeof text, "%ld %02ld:%02ld", static_cast<long>(minutes / 1440),
           static_cast<long>(minutes % 1440 / 60), static_cast<long>(minutes % 60));
  return text;
}

ZebJobFields::ZebJobFields(const JobRecord& rec, const std::string& server_name,
                           const std::string& account_label) {
  put(server, server_name);
  put(name, job_name(rec));
  put(creator, job_creator(rec));
  put(command, job_command(rec));
  put(interval, zeb_interval_text(rec.interval));
  minutes = static_cast<int32_t>(rec.interval);
  weekdays = rec.weekday_mask;
  days = rec.day_mask;
  hours = rec.hour_mask;
  next_run = rec.next_run;
  last_run = rec.last_run;
  modified_at = rec.modified_at;
  put(exit_code, rec.last_exit_code == JOB_NO_RESULT ? std::string("UNDEFINED")
                                                     : std::to_string(rec.last_exit_code));
  put(modified_by, job_modified_by(rec));
  short_state[0] = job_state_char(rec.flags);
  short_state[1] = '\0';
  put(long_state, job_state_word(rec.flags));
  interactive = (rec.flags & JOB_OWN_DESKTOP) ? 0 : 1;
  autostart = (rec.flags & JOB_AUTOSTART) ? 1 : 0;
  debugged = (rec.flags & JOB_NO_DEBUG) ? 0 : 1;
  put(account, account_label);

  ArgSpec* e = table;
  *e++ = entry(ARG_STRING, 'S', server);
  *e++ = entry(ARG_STRING, 'N', name);
  *e++ = entry(ARG_STRING, 'C', creator);
  *e++ = entry(ARG_STRING, 'c', command);
  *e++ = entry(ARG_STRING, 'i', interval);
  *e++ = entry(ARG_NUMERIC, 'm', &minutes);
  *e++ = entry(ARG_BITMASK, 'W', &weekdays, JOB_ALL_WEEKDAYS);
  *e++ = entry(ARG_BITMASK, 'D', &days, JOB_ALL_DAYS);
  *e++ = entry(ARG_BITMASK, 'H', &hours, JOB_ALL_HOURS);
  *e++ = entry(ARG_ABSTIME, 't', &next_run);
  *e++ = entry(ARG_ABSTIME, 'l', &last_run);
  *e++ = entry(ARG_ABSTIME, 'w', &modified_at);
  *e++ = entry(ARG_STRING, 'E', exit_code);
  *e++ = entry(ARG_STRING, 'M', modified_by);
  *e++ = entry(ARG_STRING, 'z', short_state);
  *e++ = entry(ARG_STRING, 's', long_state);
  *e++ = entry(ARG_NUMERIC, 'I', &interactive);
  *e++ = entry(ARG_NUMERIC, 'A', &autostart);
  *e++ = entry(ARG_NUMERIC, 'G', &debugged);
  *e++ = entry(ARG_STRING, 'u', account);
  *e = kEnd;

  ArgSpec* c = criteria;
  *c++ = entry(ARG_STRING, 'c', command);
  *c++ = entry(ARG_NUMERIC, 'I', &interactive);
  *c++ = entry(ARG_NUMERIC, 'A', &autostart);
  *c++ = entry(ARG_STRING, 'u', account);
  *c++ = entry(ARG_STRING, 's', long_state);
  *c = kEnd;
}

ZebServerJobFields::ZebServerJobFields(const std::string& domain_name,
                                       const std::string& server_name, long job_count) {
  put(domain, domain_name);
  put(server, server_name);
  jobs = static_cast<int32_t>(job_count);
  table[0] = entry(ARG_STRING, 'D', domain);
  table[1] = entry(ARG_STRING, 'S', server);
  table[2] = entry(ARG_NUMERIC, 'T', &jobs);
  table[3] = kEnd;
}

ZebJobTotalsFields::ZebJobTotalsFields(long server_count, long job_count) {
  servers = static_cast<int32_t>(server_count);
  jobs = static_cast<int32_t>(job_count);
  table[0] = entry(ARG_NUMERIC, 'S', &servers);
  table[1] = entry(ARG_NUMERIC, 'T', &jobs);
  table[2] = kEnd;
}

std::string zeb_pick_format(const std::string& given, const char* variable,
                            const char* fallback) {
  if (!given.empty()) return given;
  char value[4096];
  DWORD length = GetEnvironmentVariableA(variable, value, sizeof value);
  if (length == 0 || length >= sizeof value) return fallback;
  return std::string(value, ansi_cut_bytes(value, ARG_TEXT_SIZE - 1));
}
