#include "vexa32/mirror.h"

#include <cstdarg>
#include <cstdio>
#include <vector>

#include "lib/format.h"
#include "platform/files/directory.h"
#include "platform/files/file_copy.h"
#include "platform/files/file_info.h"
#include "platform/files/find_file.h"
#include "platform/kernel/error.h"
#include "platform/profile/profile.h"
#include "platform/user/message_box.h"

namespace {

void error_box(const char* text) { MessageBoxA(nullptr, text, VEXA_TITLE, MB_OK | MB_ICONERROR); }

std::string format(const char* pattern, ...) __attribute__((format(printf, 1, 2)));
std::string format(const char* pattern, ...) {
  va_list ap;
  va_start(ap, pattern);
  char small[1024];
  va_list copy;
  va_copy(copy, ap);
  int n = vsnprintf(small, sizeof small, pattern, ap);
  va_end(ap);
  std::string out;
  if (n < 0) {
    out = "";
  } else if (static_cast<size_t>(n) < sizeof small) {
    out = small;
  } else {
    out.resize(static_cast<size_t>(n) + 1);
    vsnprintf(out.data(), out.size(), pattern, copy);
    out.resize(static_cast<size_t>(n));
  }
  va_end(copy);
  return out;
}

struct Entry {
  std::string name;
  bool directory;
  FILETIME written;
  long long size;
};

// The entries of a folder (without "." and ".."); false with the error when
// the folder cannot be entered.
bool list_folder(const std::string& folder, std::vector<Entry>* entries, DWORD* error) {
  DWORD attributes = GetFileAttributesA(folder.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    *error = GetLastError();
    return false;
  }
  if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
    *error = ERROR_DIRECTORY;
    return false;
  }
  WIN32_FIND_DATAA data;
  HANDLE search = FindFirstFileA((folder + "*").c_str(), &data);
  if (search == INVALID_HANDLE_VALUE) {
    *error = GetLastError();
    return *error == ERROR_FILE_NOT_FOUND || *error == ERROR_NO_MORE_FILES;
  }
  do {
    std::string name = data.cFileName;
    if (name == "." || name == "..") continue;
    entries->push_back(Entry{name, (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0,
                             data.ftLastWriteTime,
                             static_cast<long long>((static_cast<unsigned long long>(
                                                         data.nFileSizeHigh)
                                                     << 32) |
                                                    data.nFileSizeLow)});
  } while (FindNextFileA(search, &data));
  FindClose(search);
  return true;
}

}  // namespace

unsigned long long coarse_write_time(const FILETIME& time) {
  return (static_cast<unsigned long long>(time.dwHighDateTime) << 32) |
         (time.dwLowDateTime & ~0xFFFu);
}

std::string confirm_message(long files, double bytes) {
  int32_t count = static_cast<int32_t>(files);
  ArgSpec table[] = {
      {ARG_NUMERIC, 'f', 0, &count, 0},
      {ARG_DOUBLE, 'b', 0, &bytes, 0},
      {ARG_END, 0, 0, nullptr, 0},
  };
  char out[513];
  expand_format("There are ~f files more recent\n~b bytes to copy", out, table, 512);
  return out;
}

std::string progress_status(double bytes_done, long files_done, long files, double bytes,
                            long errors) {
  // Empty files only: the share of files done stands for the bytes.
  double percent = bytes > 0 ? 100.0 * bytes_done / bytes
                             : (files > 0 ? 100.0 * files_done / files : 100.0);
  return format("%0.0f %% finished\n%ld of %ld files\n%0.0f of %0.0f bytes\n%ld errors", percent,
                files_done, files, bytes_done, bytes, errors);
}

bool Mirror::make_folder(const std::string& folder, DWORD* error) {
  DWORD attributes = GetFileAttributesA(folder.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES) {
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) return true;
    *error = ERROR_ALREADY_EXISTS;
    return false;
  }
  // The root (a drive or \\server\share) is not made; each folder below it
  // that is missing is.
  size_t start = 0;
  if (folder.size() >= 2 && folder[1] == ':') {
    start = 3;
  } else if (folder.rfind("\\\\", 0) == 0) {
    size_t server = folder.find('\\', 2);
    size_t share = server == std::string::npos ? server : folder.find('\\', server + 1);
    start = share == std::string::npos ? folder.size() : share + 1;
  } else if (!folder.empty() && (folder[0] == '\\' || folder[0] == '/')) {
    start = 1;
  }
  for (size_t pos = start; pos <= folder.size(); ++pos) {
    if (pos < folder.size() && folder[pos] != '\\' && folder[pos] != '/') continue;
    std::string part = folder.substr(0, pos);
    if (part.empty() || part.size() <= start) continue;
    if (!CreateDirectoryA(part.c_str(), nullptr)) {
      DWORD e = GetLastError();
      if (e != ERROR_ALREADY_EXISTS) {
        *error = e;
        return false;
      }
    }
  }
  attributes = GetFileAttributesA(folder.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
    *error = attributes == INVALID_FILE_ATTRIBUTES ? GetLastError() : ERROR_ALREADY_EXISTS;
    return false;
  }
  return true;
}

bool Mirror::compare_tree(std::string source, std::string target, bool recurse,
                          const std::vector<std::string>& patterns) {
  DWORD error = 0;
  if (!make_folder(target, &error)) {
    fprintf(stderr, "KOPEX-ERROR, cannot create %s, error=%ld\n", target.c_str(),
            static_cast<long>(error));
    fflush(stderr);
    ++errors_;
  }
  std::vector<Entry> entries;
  if (!list_folder(source, &entries, &error)) {
    if (settings_.errors) {
      error_box(format("ERROR, cannot go to %s, error=%ld\n", source.c_str(),
                       static_cast<long>(error))
                    .c_str());
    }
    ++errors_;
    return true;
  }
  if (recurse) {
    for (const Entry& e : entries) {
      if (!e.directory) continue;
      std::string sub_source = source + e.name + "\\";
      std::string sub_target = target + e.name + "\\";
      if (!make_folder(sub_target, &error)) {
        ++errors_;
        return false;
      }
      if (!compare_tree(sub_source, sub_target, recurse, patterns)) return false;
    }
  }
  for (const Entry& e : entries) {
    if (e.directory) continue;
    if (progress_open_ && ui_.cancelled()) return false;
    if (!patterns_pass(e.name, patterns)) continue;
    consider(source, target, e.name, e.written, e.size);
  }
  return !(progress_open_ && ui_.cancelled());
}

void Mirror::consider(const std::string& source_dir, const std::string& target_dir,
                      const std::string& name, const FILETIME& written, long long size) {
  const std::string source = source_dir + name;
  const std::string target = target_dir + name;
  WIN32_FILE_ATTRIBUTE_DATA info;
  if (GetFileAttributesExA(target.c_str(), GetFileExInfoStandard, &info)) {
    if (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      error_box(format("ERROR, cannot copy %s, %s is a directory\n", source.c_str(),
                       target.c_str())
                    .c_str());
      return;
    }
    const unsigned long long mine = coarse_write_time(written);
    const unsigned long long theirs = coarse_write_time(info.ftLastWriteTime);
    if (mine == theirs) return;
    if (mine < theirs) {
      if (newer_answer_ == 0) {
        newer_answer_ = MessageBoxA(
            nullptr,
            format("%s is newer than the source file !\nOverwrite all newer files ?",
                   target.c_str())
                .c_str(),
            "Warning", MB_YESNO | MB_ICONWARNING);
      }
      if (newer_answer_ != IDYES) return;
    }
  }
  if (settings_.ask != 0) {
    list_.add(source, target, size);
  } else {
    copy_now(source_dir, name, target, size);
  }
}

void Mirror::copy_now(const std::string& source_dir, const std::string& name,
                      const std::string& target, long long size) {
  if (!progress_open_) {
    ui_.progress_open(false, settings_.allow_cancel);
    progress_open_ = true;
  }
  std::string file = format("%ld bytes\n%s", static_cast<long>(size), name.c_str());
  std::string status = format("%ld errors", errors_);
  ui_.progress_texts(&file, &source_dir, &status, -1);
  const std::string source = source_dir + name;
  if (!CopyFileA(source.c_str(), target.c_str(), FALSE)) {
    error_box(format("ERROR, cannot copy %s to %s, error=%ld\n", source.c_str(), target.c_str(),
                     static_cast<long>(GetLastError()))
                  .c_str());
    ++errors_;
  }
}

void Mirror::copy_listed() {
  ui_.progress_open(true, settings_.allow_cancel);
  progress_open_ = true;
  const long files = static_cast<long>(list_.count());
  double done_bytes = 0;
  const std::string empty;
  for (size_t i = 0; i < list_.count(); ++i) {
    std::string file = format("%ld bytes\n%s", static_cast<long>(list_.size(i)), list_.source(i));
    std::string status =
        progress_status(done_bytes, static_cast<long>(i), files, list_.total_bytes(), errors_);
    int percent = static_cast<int>(list_.total_bytes() > 0
                                       ? 100.0 * done_bytes / list_.total_bytes()
                                       : 100.0 * static_cast<double>(i) / files);
    ui_.progress_texts(&file, &empty, &status, percent);
    if (!CopyFileA(list_.source(i), list_.target(i), FALSE)) {
      error_box(format("ERROR, cannot copy %s to %s, error=%ld\n", list_.source(i),
                       list_.target(i), static_cast<long>(GetLastError()))
                    .c_str());
      ++errors_;
    }
    done_bytes += static_cast<double>(list_.size(i));
    if (ui_.cancelled()) break;
  }
}

void Mirror::run(const std::string& ini, MirrorDirection direction) {
  list_ = CopyList();
  newer_answer_ = 0;
  for (const std::string& key : read_key_list(ini, "MIRROR", MIRROR_KEYS_SIZE)) {
    char value[2048];
    GetPrivateProfileStringA("MIRROR", key.c_str(), "", value, sizeof value, ini.c_str());
    MirrorRule rule;
    RuleStatus status = parse_mirror_rule(key, value, &rule);
    if (status == RuleStatus::no_target) {
      error_box(format("No mirror target given for %s", key.c_str()).c_str());
      continue;
    }
    if (status == RuleStatus::too_long) {
      error_box(format("Mirror rule %s is too long after expansion", key.c_str()).c_str());
      ++errors_;
      continue;
    }
    const bool out = direction == MirrorDirection::out;
    if (!compare_tree(out ? rule.source : rule.target, out ? rule.target : rule.source,
                      rule.recurse, rule.patterns)) {
      if (progress_open_ && ui_.cancelled()) break;
    }
  }
  if (settings_.ask != 0) {
    if (list_.left_out() > 0) {
      error_box(format("Copy list full, %ld files left for the next run", list_.left_out())
                    .c_str());
    }
    if (list_.count() > 0 &&
        ui_.confirm(confirm_message(static_cast<long>(list_.count()), list_.total_bytes()),
                    settings_.ask > 10000 ? 0 : settings_.ask, settings_.copy_on_timeout)) {
      copy_listed();
    }
  }
  if (progress_open_) ui_.progress_close();
  progress_open_ = false;
  list_ = CopyList();
}
