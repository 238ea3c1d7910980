#include "zeb/job_chain.h"

#include <cstring>
#include <string>

#include "zeb/zeb_text.h"

bool job_chain_follows(const char* ended, const char* candidate, LONG exit_code) {
  if (ended == nullptr || candidate == nullptr || *ended == '\0') return false;
  // NAME, "_" and one character. The kinds that count are single bytes, so
  // the name is compared literally (a job name holding `*` or `?` matches
  // only itself) and the last byte decides.
  size_t base = strlen(ended);
  size_t length = strlen(candidate);
  if (length != base + 2 || candidate[base] != '_') return false;
  if (!zeb_equal_nocase(std::string_view(candidate, base), ended)) return false;
  switch (candidate[base + 1]) {
    case 'S':
    case 's':
      return exit_code == 0;
    case 'F':
    case 'f':
      return exit_code != 0;
    case 'A':
    case 'a':
      return true;
    default:
      return false;
  }
}

std::vector<int> job_chain_successors(const JobTable& table, const char* ended, LONG exit_code) {
  std::vector<int> slots;
  if (exit_code == JOB_STILL_ACTIVE) return slots;
  for (int i = 0; i < JOB_MAX; ++i) {
    const JobRecord& rec = table.at(i);
    if (job_is_free(rec) || (rec.flags & (JOB_RUNNING | JOB_PAUSED)) != 0) continue;
    std::string name = job_name(rec);
    if (job_chain_follows(ended, name.c_str(), exit_code)) slots.push_back(i);
  }
  return slots;
}
