#include "kopex/report.h"

#include <cstdio>
#include <cstring>

#include "kopex/run_state.h"
#include "lib/command_code.h"
#include "lib/format.h"

namespace kopex {

namespace {

std::vector<OwnerEntry> g_owners;
bool g_owners_full_reported = false;

void copy_cut(const std::string& text, char* out, size_t size) {
  size_t n = text.size() < size - 1 ? text.size() : size - 1;
  std::memcpy(out, text.data(), n);
  out[n] = '\0';
}

}  // namespace

void print_line(const char* format, const ArgSpec* table) {
  if (format == nullptr || format[0] == '\0') return;
  // The format texts of the run were read once (prepare_formats): expanded
  // as they stand, not looked up as file names again for every line.
  print_formatted_text(format, table, g_run.options.ansi != 0);
}

void print_ace_lines(const char* acl_text, const char* name, const char* base,
                     const char* reldir, const char* full, const char* root,
                     const char* domain, const char* server) {
  const char* format = g_run.texts.ace;
  if (format[0] == '\0' || acl_text == nullptr) return;
  const char* p = acl_text;
  while (*p != '\0') {
    while (*p == ' ') ++p;
    if (*p == '\0') break;
    // An entry runs to the colon, then the right and its flags up to a blank.
    const char* colon = std::strchr(p, ':');
    if (colon == nullptr) break;
    const char* end = std::strchr(colon, ' ');
    if (end == nullptr) end = colon + std::strlen(colon);
    std::string account(p, colon);
    std::string right(colon + 1, end);
    size_t slash = account.find('\\');
    char o[ARG_TEXT_SIZE], x[ARG_TEXT_SIZE], u[ARG_TEXT_SIZE], g[ARG_TEXT_SIZE];
    copy_cut(account, o, sizeof o);
    copy_cut(slash == std::string::npos ? std::string() : account.substr(0, slash), x, sizeof x);
    copy_cut(slash == std::string::npos ? account : account.substr(slash + 1), u, sizeof u);
    copy_cut(right, g, sizeof g);
    const ArgSpec table[] = {
        {ARG_STRING, 'o', ARG_OPTIONAL, o, 0},
        {ARG_STRING, 'x', ARG_OPTIONAL, x, 0},
        {ARG_STRING, 'u', ARG_OPTIONAL, u, 0},
        {ARG_STRING, 'g', ARG_OPTIONAL, g, 0},
        {ARG_STRING, 'N', ARG_OPTIONAL, const_cast<char*>(name), 0},
        {ARG_STRING, 'n', ARG_OPTIONAL, const_cast<char*>(base), 0},
        {ARG_STRING, 'd', ARG_OPTIONAL, const_cast<char*>(reldir), 0},
        {ARG_STRING, 'f', ARG_OPTIONAL, const_cast<char*>(full), 0},
        {ARG_STRING, 'e', ARG_OPTIONAL, const_cast<char*>(root), 0},
        {ARG_STRING, 'D', ARG_OPTIONAL, const_cast<char*>(domain), 0},
        {ARG_STRING, 'S', ARG_OPTIONAL, const_cast<char*>(server), 0},
        {ARG_END, 0, 0, nullptr, 0},
    };
    print_line(format, table);
    p = end;
  }
}

void count_owner(const char* owner, uint32_t size) {
  std::string name(owner, strnlen(owner, OWNER_NAME_MAX));
  for (OwnerEntry& e : g_owners) {
    if (e.name == name) {
      ++e.files;
      e.bytes += size;
      return;
    }
  }
  if (g_owners.size() >= OWNERS_MAX) {
    // Owners past the table are left out of the owner lines; said once.
    if (!g_owners_full_reported) {
      std::fflush(stdout);
      std::fprintf(stderr, "KOPEX-ERROR, owner table full, %s and later owners not counted\n",
                   owner);
      g_owners_full_reported = true;
    }
    return;
  }
  OwnerEntry e;
  e.name = name;
  e.files = 1;
  e.bytes = size;
  g_owners.push_back(e);
}

const std::vector<OwnerEntry>& owners() { return g_owners; }

void clear_owners() {
  g_owners.clear();
  g_owners_full_reported = false;
}

namespace {

void stat_count(long value, const char* what) {
  std::printf("KOPEX-STATISTICS=% 12ld %s\n", value, what);
}
void stat_bytes(double value, const char* what) {
  std::printf("KOPEX-STATISTICS=% 12.0f %s\n", value, what);
}

void print_owner_lines() {
  const char* format = g_run.texts.owner;
  if (format[0] == '\0') return;
  int32_t index = 0;
  for (const OwnerEntry& e : g_owners) {
    char o[ARG_TEXT_SIZE], x[ARG_TEXT_SIZE], u[ARG_TEXT_SIZE];
    copy_cut(e.name, o, sizeof o);
    size_t slash = e.name.find('\\');
    copy_cut(slash == std::string::npos ? std::string() : e.name.substr(0, slash), x, sizeof x);
    copy_cut(slash == std::string::npos ? e.name : e.name.substr(slash + 1), u, sizeof u);
    double bytes = e.bytes;
    int32_t files = static_cast<int32_t>(e.files);
    const ArgSpec table[] = {
        {ARG_STRING, 'o', ARG_OPTIONAL, o, 0},      {ARG_STRING, 'x', ARG_OPTIONAL, x, 0},
        {ARG_STRING, 'u', ARG_OPTIONAL, u, 0},      {ARG_DOUBLE, 's', ARG_OPTIONAL, &bytes, 0},
        {ARG_NUMERIC, 'T', ARG_OPTIONAL, &files, 0}, {ARG_NUMERIC, 'i', ARG_OPTIONAL, &index, 0},
        {ARG_END, 0, 0, nullptr, 0},
    };
    print_line(format, table);
    ++index;
  }
}

void print_totals_line() {
  const Counters& c = g_run.counters;
  int32_t servers = static_cast<int32_t>(c.servers), roots = static_cast<int32_t>(c.roots);
  int32_t files = static_cast<int32_t>(c.files), subdirs = static_cast<int32_t>(c.subdirs);
  int32_t owner_count = static_cast<int32_t>(g_owners.size());
  double bytes = c.bytes;
  const ArgSpec table[] = {
      {ARG_NUMERIC, 'S', ARG_OPTIONAL, &servers, 0}, {ARG_NUMERIC, 'e', ARG_OPTIONAL, &roots, 0},
      {ARG_DOUBLE, 's', ARG_OPTIONAL, &bytes, 0},    {ARG_NUMERIC, 'T', ARG_OPTIONAL, &files, 0},
      {ARG_NUMERIC, 'd', ARG_OPTIONAL, &subdirs, 0}, {ARG_NUMERIC, 'o', ARG_OPTIONAL, &owner_count, 0},
      {ARG_END, 0, 0, nullptr, 0},
  };
  print_line(g_run.texts.totals, table);
}

}  // namespace

void print_end_of_run() {
  const Counters& c = g_run.counters;
  if (g_run.command == CMD_SHOW) {
    print_owner_lines();
    print_totals_line();
  }
  switch (g_run.command) {
    case CMD_DEL:
      stat_count(c.deleted, "files deleted");
      stat_bytes(c.bytes_deleted, "bytes deleted");
      stat_count(c.dirs_removed, "directories removed");
      break;
    case CMD_UPDATE:
    case CMD_MIRROR:
      stat_count(c.files, "files in source");
      stat_bytes(c.bytes, "bytes in source");
      stat_count(c.subdirs, "subdirectories in source");
      stat_count(c.copied, "files copied");
      stat_bytes(c.bytes_copied, "bytes copied");
      stat_count(c.replaced, "files replaced");
      stat_count(c.deleted, "files deleted");
      stat_bytes(c.bytes_deleted, "bytes deleted");
      stat_count(c.dirs_created, "directories created");
      stat_count(c.dirs_removed, "directories removed");
      stat_count(c.protections, "protections replaced");
      stat_count(c.attributes, "attributes replaced");
      break;
    case CMD_SET:
      stat_count(c.files, "files set");
      break;
    case CMD_COPY:
      stat_count(c.files, "files in source");
      stat_bytes(c.bytes, "bytes in source");
      stat_count(c.subdirs, "subdirectories in source");
      stat_count(c.copied, "files copied");
      stat_bytes(c.bytes_copied, "bytes copied");
      stat_count(c.dirs_created, "directories created");
      stat_count(c.protections, "protections replaced");
      break;
    case CMD_SHOW:
      if (g_run.options.verbose) {
        stat_count(c.files, "files");
        stat_bytes(c.bytes, "bytes");
        stat_count(c.subdirs, "subdirectories");
      }
      break;
    default:
      break;
  }
  if (g_run.command != CMD_SHOW || g_run.options.verbose) {
    stat_count(c.taken, "files taken");
    stat_count(c.skipped, "actions skipped");
    stat_count(c.errors, "errors detected");
  }
  std::fflush(stdout);
}

}  // namespace kopex
