#include "kopex/walk.h"

#include <dirent.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <unordered_set>

#include "kopex/actions.h"
#include "kopex/asec.h"
#include "kopex/compare.h"
#include "kopex/report.h"
#include "kopex/run_state.h"
#include "lib/command_code.h"
#include "lib/format.h"
#include "lib/frame.h"
#include "lib/wildcard.h"
#include "platform/files/attribute_marks.h"
#include "platform/files/drives.h"
#include "platform/files/file_access.h"
#include "platform/files/file_info.h"
#include "platform/files/find_file.h"
#include "platform/files/host_names.h"
#include "platform/files/path.h"
#include "platform/kernel/clock.h"
#include "platform/kernel/error.h"

namespace kopex {

namespace {

// The walk of the root being visited.
struct WalkState {
  std::string domain, server, root;
  std::string root_path;  // "X:" or "\\SRV\SHARE"
  const std::vector<std::string>* patterns = nullptr;
  std::string current;  // ends with a backslash
  std::string target;   // ends with a backslash (cop, upd, mir)
  int depth = 0;
};
WalkState w;

constexpr DWORD kSettable = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN |
                            FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE;

// A name of the ANSI "A" calls as the host file system holds it.
std::string host_name_of(const char* ansi) { return nt_ansi_to_host(ansi); }

uint64_t as_u64(const FILETIME& t) {
  return (static_cast<uint64_t>(t.dwHighDateTime) << 32) | t.dwLowDateTime;
}

FILETIME to_local(const FILETIME& utc) {
  FILETIME local = {0, 0};
  if (!FileTimeToLocalFileTime(&utc, &local)) local = utc;
  return local;
}

void copy_text(const std::string& text, char* out, size_t size) {
  size_t n = text.size() < size - 1 ? text.size() : size - 1;
  std::memcpy(out, text.data(), n);
  out[n] = '\0';
}

// The values of one selected entry, with the table that formats, criteria
// and the /o and /g strings read them through.
struct EntryValues {
  char root[ARG_TEXT_SIZE];
  char reldir[CURRENT_PATH_MAX + 1];
  char name[MAX_PATH];
  char base[MAX_PATH];
  int32_t size;
  FILETIME write, access, creation;
  char attributes[7];
  char full[CURRENT_PATH_MAX + MAX_PATH + 1];
  char server[ARG_TEXT_SIZE];
  char domain[ARG_TEXT_SIZE];
  char user[24], user_domain[24];
  char owner[64];
  char acl[ACL_TEXT_MAX];
  int32_t aces;
  ArgSpec table[18];
};

void build_values(const WIN32_FIND_DATAA& data, EntryValues* v) {
  copy_text(w.root, v->root, sizeof v->root);
  copy_text(w.current.substr(w.root_path.size()), v->reldir, sizeof v->reldir);
  copy_text(data.cFileName, v->name, sizeof v->name);
  copy_text(data.cFileName, v->base, sizeof v->base);
  if (char* dot = std::strchr(v->base, '.')) *dot = '\0';
  v->size = static_cast<int32_t>(data.nFileSizeLow);
  v->write = to_local(data.ftLastWriteTime);
  const FILETIME none = {0, 0};
  v->access = g_run.need_access_time ? to_local(data.ftLastAccessTime) : none;
  v->creation = g_run.need_creation ? to_local(data.ftCreationTime) : none;
  attribute_string(data.dwFileAttributes, v->attributes);
  copy_text(w.current + data.cFileName, v->full, sizeof v->full);
  copy_text(w.server, v->server, sizeof v->server);
  copy_text(w.domain, v->domain, sizeof v->domain);
  v->user[0] = v->user_domain[0] = v->owner[0] = v->acl[0] = '\0';
  v->aces = 0;
  if (g_run.need_owner) {
    asec_read_owner(v->server, v->full, v->user, v->user_domain);
    std::snprintf(v->owner, sizeof v->owner, "%s\\%s", v->user_domain, v->user);
  }
  if (g_run.need_acl) asec_read_acl(v->server, v->full, v->acl, &v->aces);
  const bool owner = g_run.need_owner, acl = g_run.need_acl;
  const ArgSpec table[] = {
      {ARG_STRING, 'e', ARG_OPTIONAL, v->root, 0},
      {ARG_STRING, 'd', ARG_OPTIONAL, v->reldir, 0},
      {ARG_STRING, 'N', ARG_OPTIONAL, v->name, 0},
      {ARG_STRING, 'n', ARG_OPTIONAL, v->base, 0},
      {ARG_NUMERIC, 's', ARG_OPTIONAL, &v->size, 0},
      {ARG_ABSTIME, 'M', ARG_OPTIONAL, &v->write, 0},
      {ARG_ABSTIME, 'L', ARG_OPTIONAL, &v->access, 0},
      {ARG_ABSTIME, 'C', ARG_OPTIONAL, &v->creation, 0},
      {ARG_STRING, 'a', ARG_OPTIONAL, v->attributes, 0},
      {ARG_STRING, 'f', ARG_OPTIONAL, v->full, 0},
      {ARG_STRING, 'S', ARG_OPTIONAL, v->server, 0},
      {ARG_STRING, 'D', ARG_OPTIONAL, v->domain, 0},
      {ARG_STRING, 'u', ARG_OPTIONAL, owner ? v->user : nullptr, 0},
      {ARG_STRING, 'x', ARG_OPTIONAL, owner ? v->user_domain : nullptr, 0},
      {ARG_STRING, 'o', ARG_OPTIONAL, owner ? v->owner : nullptr, 0},
      {ARG_STRING, 'g', ARG_OPTIONAL, acl ? v->acl : nullptr, 0},
      {ARG_NUMERIC, 'T', ARG_OPTIONAL, acl ? &v->aces : nullptr, 0},
      {ARG_END, 0, 0, nullptr, 0},
  };
  std::memcpy(v->table, table, sizeof table);
}

void report_error_line(const char* text) {
  std::fflush(stdout);
  std::fputs(text, stderr);
}

// `set` on one entry; false when any change failed.
bool set_entry(const WIN32_FIND_DATAA& data, const EntryValues& v) {
  Options& o = g_run.options;
  if (!o.yes) {
    char question[OUTPUT_LINE_SIZE + 64];
    std::snprintf(question, sizeof question, "Set %s ?\n", v.full);
    const bool saved = yes_to_all;
    yes_to_all = false;
    const bool yes = confirm(question);
    if (yes_to_all) o.yes = 1;
    yes_to_all = saved;
    if (!yes) return true;
  }
  bool failed = false;
  const bool is_dir = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  if (o.attributes[0] != '\0') {
    DWORD wanted = apply_attribute_text(data.dwFileAttributes, o.attributes) & kSettable;
    if (!SetFileAttributesA(v.full, wanted == 0 ? FILE_ATTRIBUTE_NORMAL : wanted)) {
      char line[OUTPUT_LINE_SIZE + 128];
      std::snprintf(line, sizeof line, "KOPEX-ERROR, cannot set attributes on '%s', error=%ld\n",
                    v.full, static_cast<long>(GetLastError()));
      report_error_line(line);
      ++g_run.counters.errors;
      failed = true;
    }
  }
  if (o.owner[0] != '\0') {
    asec_initialise();
    char owner[OUTPUT_LINE_SIZE + 1];
    expand_format(o.owner, owner, v.table, OUTPUT_LINE_SIZE);
    char current[64];
    if (g_run.need_owner) {
      std::snprintf(current, sizeof current, "%s", v.owner);
    } else {
      current[0] = '\0';
    }
    std::printf("KOPEX-INFO, changing owner from %s to %s\n", current, owner);
    if (!set_owner_action(v.server, v.full, owner)) failed = true;
  }
  if (is_dir) {
    if (o.dir_grants[0] != '\0' && !set_permissions_action(v.server, v.full, o.dir_grants)) {
      failed = true;
    }
    if (!failed) std::printf("KOPEX-INFO, setdir: %s\n", v.full);
  } else {
    if (o.file_grants[0] != '\0') {
      char grants[OUTPUT_LINE_SIZE + 1];
      expand_format(o.file_grants, grants, v.table, OUTPUT_LINE_SIZE);
      if (!set_permissions_action(v.server, v.full, grants)) failed = true;
    }
    const bool m = option_given('M'), c = option_given('C'), l = option_given('L');
    if (m || c || l) {
      if (!set_file_times(v.full, m ? &o.set_write : nullptr, c ? &o.set_creation : nullptr,
                          l ? &o.set_access : nullptr)) {
        failed = true;
      }
    }
    if (!failed) std::printf("KOPEX-INFO, set: %s\n", v.full);
  }
  return !failed;
}

// The host directories of the source and target directory being walked by
// cop, upd and mir, resolved once per directory, and the upper-case names
// the target directory holds (a name there in another case is still the
// same file to NT, and goes the way of the NT path calls). The target
// directory stays open while its source is walked: a target file is looked
// up relative to it, as a directory listing shows it (one statx, and one
// attribute read when upd or mir compare attributes; no access check of its
// own, no path resolution).
struct DirHosts {
  bool ok = false;
  std::string source, target;
  std::unordered_set<std::string> target_names;
  DIR* target_dir = nullptr;
  bool trust_marks = false;  // a target file's mode tells whether it has attributes
  NtCopyDirectory copies;  // what the copies into the target directory know of it

  DirHosts() = default;
  DirHosts(const DirHosts&) = delete;
  DirHosts& operator=(const DirHosts&) = delete;
  ~DirHosts() {
    if (target_dir != nullptr) closedir(target_dir);
  }
};

std::string host_dir(const std::string& nt_dir) {
  std::string host;
  if (!nt_host_path(nt_dir.c_str(), &host)) return std::string();
  while (host.size() > 1 && host.back() == '/') host.pop_back();
  return host;
}

void resolve_hosts(DirHosts* hosts) {
  hosts->source = host_dir(w.current);
  hosts->target = host_dir(w.target);
  hosts->ok = !hosts->source.empty() && !hosts->target.empty() &&
              nt_check_file_access(hosts->target, NtFileOperation::list) == ERROR_SUCCESS;
  if (!hosts->ok) return;
  DIR* dir = opendir(hosts->target.c_str());
  if (dir == nullptr) {
    hosts->ok = false;
    return;
  }
  while (struct dirent* e = readdir(dir)) {
    hosts->target_names.insert(upper_name(nt_host_to_ansi(e->d_name).c_str()));
  }
  hosts->target_dir = dir;
  hosts->trust_marks = g_run.need_target_attributes && nt_attribute_marks_trusted();
}

// The target of a source file as GetFileAttributesExA gives it.
bool target_info(const std::string& target, const char* name, const DirHosts* hosts,
                 WIN32_FILE_ATTRIBUTE_DATA* info, std::string* host) {
  if (hosts != nullptr && hosts->ok) {
    const std::string host_name = host_name_of(name);
    *host = hosts->target + "/" + host_name;
    // Not in the target's listing under any case: no such target file.
    if (hosts->target_names.count(upper_name(name)) == 0) return false;
    NtFileInfo found;
    const DWORD leave_out =
        NT_INFO_NO_CREATION | (g_run.need_target_attributes ? 0 : NT_INFO_NO_ATTRIBUTES) |
        (hosts->trust_marks ? NT_INFO_TRUST_MARK : 0);
    if (nt_file_info_at(dirfd(hosts->target_dir), host_name.c_str(), *host, &found,
                        leave_out) == ERROR_SUCCESS) {
      info->dwFileAttributes = found.attributes;
      info->ftCreationTime = u64_to_filetime(found.creation);
      info->ftLastAccessTime = u64_to_filetime(found.last_access);
      info->ftLastWriteTime = u64_to_filetime(found.last_write);
      info->nFileSizeHigh = static_cast<DWORD>(found.size >> 32);
      info->nFileSizeLow = static_cast<DWORD>(found.size & 0xFFFFFFFFu);
      return true;
    }
    host->clear();  // there in another case: the NT path calls decide
  }
  return GetFileAttributesExA(target.c_str(), GetFileExInfoStandard, info) != FALSE;
}

// cop, upd and mir on one source file.
void copy_entry(const WIN32_FIND_DATAA& data, const EntryValues& v, DirHosts* hosts) {
  const std::string target = w.target + data.cFileName;
  WIN32_FILE_ATTRIBUTE_DATA info;
  std::string target_host;
  const bool exists = target_info(target, data.cFileName, hosts, &info, &target_host);
  const CopyDecision decision =
      decide_copy(g_run.command, exists, as_u64(data.ftLastWriteTime),
                  exists ? as_u64(info.ftLastWriteTime) : 0, g_run.options.newer_only != 0);
  // The host paths, for a copy only (most files of a mirror are kept).
  HostPair pair;
  const HostPair* direct = nullptr;
  if ((decision == CopyDecision::copy || decision == CopyDecision::replace) && hosts != nullptr &&
      hosts->ok && !target_host.empty()) {
    pair.source = hosts->source + "/" + host_name_of(data.cFileName);
    pair.target = std::move(target_host);
    pair.directory = &hosts->copies;
    direct = &pair;
  }
  const double size = static_cast<double>(data.nFileSizeLow);
  const Options& o = g_run.options;
  bool done = false;
  switch (decision) {
    case CopyDecision::none:
      return;
    case CopyDecision::copy:
      done = copy_new_file(v.full, size, w.target.c_str(), data.cFileName, direct);
      break;
    case CopyDecision::replace:
      done = replace_file(v.full, size, v.write, target.c_str(),
                          static_cast<double>(info.nFileSizeLow), to_local(info.ftLastWriteTime),
                          direct);
      break;
    case CopyDecision::keep:
      if (o.permissions) compare_security(v.full, target.c_str());
      if (!o.no_attributes) {
        set_attributes(target.c_str(), data.dwFileAttributes & kSettable,
                       info.dwFileAttributes & kSettable);
      }
      return;
  }
  if (!done) return;
  if (o.permissions) copy_security(v.full, target.c_str());
  if (o.no_attributes) SetFileAttributesA(target.c_str(), FILE_ATTRIBUTE_NORMAL);
}

// Makes the target directory of a source subdirectory ready; false when it
// could not be created.
bool prepare_target_directory(const WIN32_FIND_DATAA& data) {
  const std::string source = w.current + data.cFileName;
  DWORD old = directory_exists(w.target.c_str());
  bool created = false;
  if (old == INVALID_FILE_ATTRIBUTES) {
    if (!create_directory_tree(w.target.c_str())) return false;
    created = true;
    old = 0;
  }
  if (!g_run.options.no_attributes) {
    set_attributes(w.target.c_str(), data.dwFileAttributes & kSettable, old & kSettable);
  }
  if (g_run.options.permissions) {
    if (created) {
      copy_security(source.c_str(), w.target.c_str());
    } else {
      compare_security(source.c_str(), w.target.c_str());
    }
  }
  return true;
}

bool append_name(std::string* path, const char* name, size_t limit) {
  if (path->size() + std::strlen(name) + 1 > limit) {
    std::fflush(stdout);
    std::fprintf(stderr, "KOPEX-ERROR, path too long: %s%s\\\n", path->c_str(), name);
    ++g_run.counters.errors;
    return false;
  }
  *path += name;
  *path += '\\';
  return true;
}

bool walk_directory();

// A listed directory with its stored attributes, when the listing left
// them out but its target gets them.
WIN32_FIND_DATAA with_attributes(const WIN32_FIND_DATAA& data) {
  WIN32_FIND_DATAA full = data;
  if (g_run.need_attributes || !g_run.need_directory_attributes) return full;
  const std::string source = w.current + data.cFileName;
  const DWORD attributes = GetFileAttributesA(source.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES) full.dwFileAttributes = attributes;
  return full;
}

void walk_subdirectory(const WIN32_FIND_DATAA& data, long* level_subdirs) {
  const size_t current_length = w.current.size(), target_length = w.target.size();
  bool go = true;
  if (copies()) {
    go = append_name(&w.target, data.cFileName, TARGET_PATH_MAX) &&
         prepare_target_directory(with_attributes(data));
  }
  if (go && append_name(&w.current, data.cFileName, CURRENT_PATH_MAX)) {
    ++*level_subdirs;
    ++g_run.counters.subdirs;
    ++w.depth;
    walk_directory();
    --w.depth;
    w.current.resize(current_length);
    enter_directory(w.current.c_str());
  }
  w.current.resize(current_length);
  w.target.resize(target_length);
}

bool walk_directory() {
  Counters& c = g_run.counters;
  const long files_at_entry = c.files, subdirs_at_entry = c.subdirs;
  const double bytes_at_entry = c.bytes;
  long level_files = 0, level_subdirs = 0;
  double level_bytes = 0;
  const bool cleanup = g_run.options.cleanup != 0;

  std::unique_ptr<NameList> names;
  if (cleanup) {
    names.reset(new (std::nothrow) NameList());
    if (!names) {
      std::fflush(stdout);
      std::fprintf(stderr, "KOPEX-ERROR, cannot allocate memory, error=%ld\n",
                   static_cast<long>(ERROR_NOT_ENOUGH_MEMORY));
      ++c.errors;
      return false;
    }
  }
  // The drive and share roots are looked up once for this directory's
  // paths (and afresh in each subdirectory).
  NtDriveRootHold roots;
  if (!enter_directory(w.current.c_str())) return false;

  bool listing_error = false;
  const std::string pattern = w.current + "*.*";
  WIN32_FIND_DATAA data;
  // Only what this run shows, tests or acts on is read of each entry.
  const DWORD leave_out = (g_run.need_creation ? NT_FIND_ALL : NT_FIND_NO_CREATION) |
                          (g_run.need_attributes ? NT_FIND_ALL : NT_FIND_NO_ATTRIBUTES) |
                          NT_FIND_NO_DOT_INFO;  // passed over below
  HANDLE search = nt_find_first_file(pattern.c_str(), &data, leave_out);
  DWORD end_error = ERROR_NO_MORE_FILES;
  if (search == INVALID_HANDLE_VALUE) end_error = GetLastError();
  const bool is_del = g_run.command == CMD_DEL, is_show = g_run.command == CMD_SHOW;
  const bool recurse = g_run.options.recurse != 0;
  EntryValues values;
  DirHosts hosts;
  bool hosts_resolved = false;
  bool more = search != INVALID_HANDLE_VALUE;
  while (more) {
    if (names && !names->add(data.cFileName)) {
      std::fflush(stdout);
      std::fputs("KOPEX-ERROR, filename buffer exceeded\n", stderr);
      FindClose(search);
      return false;
    }
    const bool is_dir = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    const bool dots =
        is_dir && (std::strcmp(data.cFileName, ".") == 0 || std::strcmp(data.cFileName, "..") == 0);
    if (!dots) {
      if (is_dir && recurse) walk_subdirectory(data, &level_subdirs);
      if (select_name(data.cFileName, *w.patterns)) {
        build_values(data, &values);
        if (match_criteria(values.table, g_run.criteria_table)) {
          const uint32_t size = data.nFileSizeLow;
          if (g_run.owner_table) count_owner(values.owner, size);
          bool counted = true;
          switch (g_run.command) {
            case CMD_SHOW:
              print_line(g_run.texts.file, values.table);
              print_ace_lines(values.acl, values.name, values.base, values.reldir, values.full,
                              values.root, values.domain, values.server);
              break;
            case CMD_DEL:
              if (!is_dir) delete_file(values.full, static_cast<double>(size));
              break;
            case CMD_SET:
              if (!set_entry(data, values)) {
                ++c.errors;
                counted = false;
              }
              break;
            default:
              if (!is_dir) {
                if (!hosts_resolved) {
                  resolve_hosts(&hosts);
                  hosts_resolved = true;
                }
                copy_entry(data, values, &hosts);
              }
              break;
          }
          if (counted) {
            ++level_files;
            ++c.files;
            level_bytes += size;
            c.bytes += size;
          }
        }
      }
    }
    more = FindNextFileA(search, &data) != FALSE;
    if (!more) end_error = GetLastError();
  }
  if (search != INVALID_HANDLE_VALUE) FindClose(search);
  if (end_error != ERROR_NO_MORE_FILES && end_error != ERROR_FILE_NOT_FOUND) {
    std::fflush(stdout);
    std::fprintf(stderr, "KOPEX-ERROR, Dir(%s) failed, error=%ld\n", w.current.c_str(),
                 static_cast<long>(end_error));
    ++c.errors;
    listing_error = true;
  }
  if (names && !listing_error) cleanup_target(w.target.c_str(), *names);
  names.reset();

  double tree_bytes = c.bytes - bytes_at_entry;
  int32_t tree_files = static_cast<int32_t>(c.files - files_at_entry);
  int32_t tree_subdirs = static_cast<int32_t>(c.subdirs - subdirs_at_entry);

  if (is_del) {
    const std::string parent = w.current + "..";
    if (enter_directory(parent.c_str()) && g_run.options.remove_dirs &&
        (w.depth > 0 || g_run.spec.names_directory)) {
      remove_directory(w.current.c_str());
    }
  }
  if (is_show && g_run.texts.dir[0] != '\0') {
    char full[CURRENT_PATH_MAX + 1], domain[ARG_TEXT_SIZE], server[ARG_TEXT_SIZE];
    char root[ARG_TEXT_SIZE];
    copy_text(w.current, full, sizeof full);
    copy_text(w.domain, domain, sizeof domain);
    copy_text(w.server, server, sizeof server);
    copy_text(w.root, root, sizeof root);
    int32_t files = static_cast<int32_t>(level_files), subdirs = static_cast<int32_t>(level_subdirs);
    const ArgSpec table[] = {
        {ARG_STRING, 'f', ARG_OPTIONAL, full, 0},
        {ARG_DOUBLE, 's', ARG_OPTIONAL, &level_bytes, 0},
        {ARG_NUMERIC, 'T', ARG_OPTIONAL, &files, 0},
        {ARG_NUMERIC, 'd', ARG_OPTIONAL, &subdirs, 0},
        {ARG_DOUBLE, 'X', ARG_OPTIONAL, &tree_bytes, 0},
        {ARG_NUMERIC, 'Y', ARG_OPTIONAL, &tree_files, 0},
        {ARG_NUMERIC, 'Z', ARG_OPTIONAL, &tree_subdirs, 0},
        {ARG_STRING, 'D', ARG_OPTIONAL, domain, 0},
        {ARG_STRING, 'S', ARG_OPTIONAL, server, 0},
        {ARG_STRING, 'e', ARG_OPTIONAL, root, 0},
        {ARG_END, 0, 0, nullptr, 0},
    };
    print_line(g_run.texts.dir, table);
  }
  return true;
}

// The walk of one directory named by the (expanded) dir part.
void walk_top(const std::string& dir) {
  if (w.root_path.size() + dir.size() + 1 > CURRENT_PATH_MAX) {
    std::fflush(stdout);
    std::fprintf(stderr, "KOPEX-ERROR, path too long: %s%s\n", w.root_path.c_str(), dir.c_str());
    ++g_run.counters.errors;
    return;
  }
  w.current = w.root_path + dir;
  if (!w.server.empty() && dir.empty()) w.current += '\\';
  w.target = g_run.target;
  w.depth = 0;
  Counters& c = g_run.counters;
  const long files_at_entry = c.files;
  const double bytes_at_entry = c.bytes;
  ++c.roots;
  const bool ok = walk_directory();
  if (ok && g_run.texts.root[0] != '\0') {
    char domain[ARG_TEXT_SIZE], server[ARG_TEXT_SIZE], root[ARG_TEXT_SIZE];
    char walked[CURRENT_PATH_MAX + 1], first[ARG_TEXT_SIZE];
    copy_text(w.domain, domain, sizeof domain);
    copy_text(w.server, server, sizeof server);
    copy_text(w.root, root, sizeof root);
    copy_text(dir, walked, sizeof walked);
    copy_text(w.patterns->empty() ? std::string() : w.patterns->front(), first, sizeof first);
    int32_t recursive = g_run.options.recurse ? 1 : 0;
    int32_t files = static_cast<int32_t>(c.files - files_at_entry);
    double bytes = c.bytes - bytes_at_entry;
    const ArgSpec table[] = {
        {ARG_STRING, 'D', ARG_OPTIONAL, domain, 0},   {ARG_STRING, 'S', ARG_OPTIONAL, server, 0},
        {ARG_STRING, 'e', ARG_OPTIONAL, root, 0},     {ARG_STRING, 'd', ARG_OPTIONAL, walked, 0},
        {ARG_STRING, 'f', ARG_OPTIONAL, first, 0},    {ARG_NUMERIC, 'r', ARG_OPTIONAL, &recursive, 0},
        {ARG_NUMERIC, 'T', ARG_OPTIONAL, &files, 0},  {ARG_DOUBLE, 's', ARG_OPTIONAL, &bytes, 0},
        {ARG_END, 0, 0, nullptr, 0},
    };
    print_line(g_run.texts.root, table);
  }
}

// Expands the first wildcard component of `dir` and goes on with each
// matching directory; a dir part without wildcards is walked.
void expand(const std::string& dir) {
  const size_t wild = dir.find_first_of("*?");
  if (wild == std::string::npos) {
    walk_top(dir);
    return;
  }
  const size_t start = dir.rfind('\\', wild);  // the backslash before the component
  const size_t end = dir.find('\\', wild);      // the one after it
  const std::string prefix = dir.substr(0, start);                         // without its '\'
  const std::string component = dir.substr(start + 1, end - start - 1);
  const std::string rest = end == std::string::npos ? std::string() : dir.substr(end + 1);
  const std::string parent = w.root_path + prefix + "\\";
  if (parent.size() > CURRENT_PATH_MAX) return;
  w.current = parent;
  NtDriveRootHold roots;
  if (!enter_directory(parent.c_str())) return;
  const std::string pattern = parent + "*.*";
  WIN32_FIND_DATAA data;
  // Only names and the directory bit are looked at here.
  HANDLE search = nt_find_first_file(pattern.c_str(), &data, NT_FIND_NAMES_ONLY);
  if (search == INVALID_HANDLE_VALUE) return;
  do {
    if (!(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) continue;
    if (std::strcmp(data.cFileName, ".") == 0 || std::strcmp(data.cFileName, "..") == 0) continue;
    if (!match_wildcard(data.cFileName, component.c_str(), 0)) continue;
    expand(prefix + "\\" + data.cFileName + "\\" + rest);
  } while (FindNextFileA(search, &data));
  FindClose(search);
}

}  // namespace

void walk_root(const char* domain, const char* server, const char* root, const std::string& dir,
               const std::vector<std::string>& patterns) {
  w = WalkState();
  w.domain = domain;
  w.server = server;
  w.root = root;
  w.root_path = w.server.empty() ? w.root : w.server + "\\" + w.root;
  w.patterns = &patterns;
  expand(dir);
}

}  // namespace kopex
