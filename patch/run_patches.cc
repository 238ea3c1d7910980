#include "patch/run_patches.h"

#include <vector>

#include "patch/conditions.h"
#include "patch/drive_connection.h"
#include "patch/history_file.h"
#include "patch/patch_output.h"
#include "patch/patch_steps.h"
#include "patch/pending_list.h"
#include "patch/profile_lists.h"
#include "platform/files/current_directory.h"
#include "platform/files/file_info.h"
#include "platform/files/path.h"
#include "platform/kernel/error.h"

namespace {

const char* text_or(const char* text, const char* fallback) {
  return text != nullptr ? text : fallback;
}

// True for a path that does not depend on the current directory: a drive
// path from its root, a network path or a host path.
bool is_absolute(const std::string& path) {
  if (path.size() >= 3 && path[1] == ':' && (path[2] == '\\' || path[2] == '/')) return true;
  if (!path.empty() && (path[0] == '/' || path[0] == '\\')) return true;
  return false;
}

// `path` made full when it is relative; as it stands when it is absolute
// or cannot be made full.
std::string full_path_of(const std::string& path) {
  if (path.empty() || is_absolute(path)) return path;
  std::vector<char> buffer(MAX_PATH);
  DWORD length = GetFullPathNameA(path.c_str(), MAX_PATH, buffer.data(), nullptr);
  if (length == 0 || length >= MAX_PATH) return path;
  return std::string(buffer.data(), length);
}

// A file name with a directory part is made full; a bare name keeps its
// meaning (an INI file without a path lives in the Windows directory).
std::string full_file_path(const std::string& file) {
  return nt_path_has_directory(file.c_str()) ? full_path_of(file) : file;
}

// The drive the run has connected, cancelled when the run ends.
struct Connection {
  std::string drive;
  bool verbose = false;

  void cancel() {
    if (drive.empty()) return;
    DWORD err = disconnect_patch_drive(drive);
    if (err != ERROR_SUCCESS) {
      patch_error("FIXAR-ERROR, cannot disconnect %s, error=%ld\n", drive.c_str(), long(err));
    } else if (verbose) {
      patch_info("FIXAR-INFO, disconnected %s\n", drive.c_str());
    }
    drive.clear();
  }
};

// Processes one pending patch; true when it was processed and failed.
bool process_patch(const std::string& name, const SectionList& conditions,
                   const std::string& conditions_file, const std::string& history_file,
                   StepRun& run, bool* processed) {
  *processed = false;
  if (!patch_conditions_allow(name.c_str(), conditions, conditions_file.c_str(),
                              history_file.c_str(), run.verbose)) {
    return false;
  }
  *processed = true;
  std::string patch_file = join_patch_path(run.patch_dir, name.c_str());
  SectionList steps = read_section_list(patch_file.c_str(), PATCH_SECTION_LIST_BYTES);
  if (run.verbose) patch_info("FIXAR-INFO, Processing patch %s...\n", patch_file.c_str());
  PatchOutcome outcome = run_patch(run, patch_file.c_str(), name.c_str(), steps);
  std::string entry =
      history_outcome_entry(!outcome.failed, outcome.failed ? outcome.failure.c_str() : nullptr);
  if (outcome.failed) patch_error("FIXAR-ERROR, %s\n", outcome.failure.c_str());
  if (!write_history_entry(history_file.c_str(), name.c_str(), entry.c_str())) {
    patch_error("FIXAR-ERROR, cannot write %s, error=%ld\n", history_file.c_str(),
                long(GetLastError()));
  }
  return outcome.failed;
}

}  // namespace

DWORD run_patches(const PatchRunSettings& settings) {
  const bool verbose = settings.verbose;
  const std::string history_file = full_file_path(settings.history_file);
  const std::string given_conditions = full_file_path(settings.conditions_file);

  // 1. The history file must be writable.
  if (!write_history_probe(history_file.c_str())) {
    DWORD err = GetLastError();
    patch_error("FIXAR-ERROR, cannot write %s, error=%ld\n", history_file.c_str(), long(err));
    return err;
  }

  // 2. The patch directory.
  std::string patch_dir = settings.patch_dir;
  // One trailing backslash goes, but not the one of a drive root ("C:\"),
  // which without it would name the drive's current directory.
  if (!patch_dir.empty() && patch_dir.back() == '\\' &&
      !(patch_dir.size() == 3 && patch_dir[1] == ':')) {
    patch_dir.pop_back();
  }
  DWORD attributes = GetFileAttributesA(patch_dir.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    DWORD err = GetLastError();
    patch_error("FIXAR-ERROR, cannot find %s, error=%ld\n", patch_dir.c_str(), long(err));
    return err;
  }
  if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
    patch_error("FIXAR-ERROR, %s is not a directory\n", patch_dir.c_str());
    return RUN_NOT_A_DIRECTORY;
  }
  patch_dir = full_path_of(patch_dir);

  // 3. The working directory, on a connected drive for a network path.
  Connection connection;
  connection.verbose = verbose;
  std::string working_dir = patch_dir;
  if (is_network_path(patch_dir) && !settings.drive.empty()) {
    UncParts parts = split_unc_directory(patch_dir);
    DWORD err = connect_patch_drive(settings.drive, parts.remote);
    if (err == ERROR_SUCCESS) {
      connection.drive = settings.drive;
      if (verbose) {
        patch_info("FIXAR-INFO, connected %s to %s\n", settings.drive.c_str(),
                   parts.remote.c_str());
      }
      working_dir = drive_directory(settings.drive, parts.rest);
    } else if (settings.window_program) {
      patch_error("FIXAR-WARNING, cannot connect %s to %s, error=%ld\n", settings.drive.c_str(),
                  parts.remote.c_str(), long(err));
    } else {
      patch_error("FIXAR-ERROR, cannot connect %s to %s, error=%ld\n", settings.drive.c_str(),
                  parts.remote.c_str(), long(err));
      return err;
    }
  }

  // 4. Enter it.
  if (!SetCurrentDirectoryA(working_dir.c_str())) {
    DWORD err = GetLastError();
    patch_error("FIXAR-ERROR, cannot change dir to %s, error=%ld\n", working_dir.c_str(),
                long(err));
    connection.cancel();
    return err;
  }
  if (verbose) patch_info("FIXAR-INFO, Current dir is %s\n", working_dir.c_str());

  // 5. The conditions file and the search.
  const std::string conditions_file = settings.conditions_file.empty()
                                          ? default_conditions_file(patch_dir)
                                          : given_conditions;
  const std::string search_path = patch_dir + "\\*.*";
  if (verbose) patch_info("FIXAR-INFO, looking for %s\n", search_path.c_str());

  // 6. to 9. The pending patches, in order.
  DWORD result = RUN_DONE;
  PendingList pending =
      collect_pending(search_path.c_str(), settings.file_pattern.c_str(), history_file.c_str());
  if (pending.nothing_found) {
    if (verbose) patch_info("FIXAR-INFO, no patches to execute\n");
  } else {
    SectionList conditions =
        read_section_list(conditions_file.c_str(), CONDITION_SECTION_LIST_BYTES);
    if (conditions.cut && !pending.names.empty()) {
      patch_error("FIXAR-ERROR, list of sections of %s longer than %lu bytes\n",
                  conditions_file.c_str(), static_cast<unsigned long>(CONDITION_SECTION_LIST_BYTES));
      result = ERROR_MORE_DATA;
    } else {
      StepRun run;
      run.patch_dir = patch_dir;
      run.working_dir = working_dir;
      run.defaults.time_limit = settings.time_limit;
      run.defaults.errorlevels = settings.errorlevels;
      run.defaults.show_mode = settings.show_mode;
      run.show_mode = settings.show_mode;
      run.verbose = verbose;
      bool last_failed = false;
      for (const std::string& name : pending.names) {
        bool processed = false;
        bool failed =
            process_patch(name, conditions, conditions_file, history_file, run, &processed);
        if (processed) last_failed = failed;
      }
      // 11. One pending patch that failed: the window program reads 1 as failure.
      if (pending.names.size() == 1 && last_failed) result = RUN_ONLY_PATCH_FAILED;
    }
  }

  // 10. The drive goes away again.
  connection.cancel();
  return result;
}

DWORD run_patches(const char* history_file, const char* patch_dir, const char* file_pattern,
                  const char* drive, WORD show_mode, DWORD time_limit, const char* errorlevels,
                  bool verbose, const char* conditions_file) {
  PatchRunSettings settings;
  settings.history_file = text_or(history_file, "");
  settings.patch_dir = text_or(patch_dir, "");
  settings.file_pattern = text_or(file_pattern, PATCH_FILE_PATTERN);
  settings.drive = text_or(drive, "");
  settings.show_mode = show_mode;
  settings.time_limit = time_limit;
  settings.errorlevels = text_or(errorlevels, DEFAULT_ERRORLEVELS);
  settings.verbose = verbose;
  settings.conditions_file = text_or(conditions_file, "");
  return run_patches(settings);
}
