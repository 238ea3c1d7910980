#include "setora/patch_list.h"

#include <cstdio>
#include <vector>

#include "lib/wildcard.h"
#include "patch/conditions.h"
#include "patch/history_file.h"
#include "patch/patch_file.h"
#include "patch/profile_lists.h"
#include "platform/files/current_directory.h"
#include "platform/files/file_info.h"
#include "platform/files/find_file.h"
#include "platform/files/volume.h"
#include "platform/user/message_box.h"
#include "setora/setora_ids.h"
#include "setora/setora_text.h"

bool free_space_on_c(uint64_t* bytes) {
  ULARGE_INTEGER free_to_caller{};
  if (!GetDiskFreeSpaceExA("C:\\", &free_to_caller, nullptr, nullptr)) return false;
  *bytes = free_to_caller.QuadPart;
  return true;
}

namespace {

bool is_file(const std::string& path) {
  DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

void error_box(const char* format, const std::string& name) {
  char text[512];
  snprintf(text, sizeof text, format, name.c_str());
  MessageBoxA(nullptr, text, SETORA_ERROR_TITLE, MB_OK | MB_ICONERROR);
}

// Keeps the current directory across a run of the patches, which enters
// the patch directory (or a drive it connects) and leaves it so.
class KeepCurrentDirectory {
 public:
  KeepCurrentDirectory() {
    char buffer[MAX_PATH + 1];
    DWORD n = GetCurrentDirectoryA(sizeof buffer, buffer);
    if (n > 0 && n < sizeof buffer) saved_.assign(buffer, n);
  }
  ~KeepCurrentDirectory() {
    if (!saved_.empty()) SetCurrentDirectoryA(saved_.c_str());
  }

 private:
  std::string saved_;
};

}  // namespace

PatchList::PatchList(PatchListSettings settings, FreeSpaceQuery free_space)
    : settings_(std::move(settings)), free_space_(std::move(free_space)) {}

std::string PatchList::conditions_file() const {
  return settings_.run.conditions_file.empty() ? default_conditions_file(settings_.run.patch_dir)
                                               : settings_.run.conditions_file;
}

const std::string& PatchList::status_text(int pane) const {
  static const std::string none;
  return pane >= 1 && pane <= 3 ? status_[pane] : none;
}

PatchRow PatchList::read_row(const std::string& file_name) const {
  std::string path = join_patch_path(settings_.run.patch_dir, file_name.c_str());
  SectionList sections = read_section_list(path.c_str(), PATCH_SECTION_LIST_BYTES);
  std::string first = sections.names.empty() ? std::string() : sections.names.front();
  PatchMeta meta = read_patch_meta(path.c_str(), first.c_str(), file_name.c_str());

  PatchRow row;
  row.file_name = file_name;
  row.name = meta.name;
  row.description = meta.description;
  row.size_kb = meta.size_kb;
  row.size_text = meta.size_text == "?" ? meta.size_text : system_number_text(meta.size_text);
  row.removal_list = meta.mark_deinstalled;
  row.icon = meta.icon;
  row.icon_index = meta.icon_index;
  row.removable = is_file(join_patch_path(settings_.run.patch_dir,
                                          deinstall_companion(file_name.c_str()).c_str()));
  if (patch_done(settings_.run.history_file.c_str(), file_name.c_str())) {
    row.state = row.removable ? PATCH_INSTALLED_REMOVABLE : PATCH_INSTALLED_FIXED;
  } else {
    row.state = PATCH_NOT_INSTALLED;
  }
  return row;
}

void PatchList::fill() {
  rows_.clear();
  install_count_ = 0;
  remove_count_ = 0;
  install_kb_ = 0;
  for (std::string& text : status_) text.clear();

  const std::string conditions = conditions_file();
  const std::string search = join_patch_path(settings_.run.patch_dir, "*.*");
  WIN32_FIND_DATAA found;
  HANDLE find = FindFirstFileA(search.c_str(), &found);
  if (find == INVALID_HANDLE_VALUE) return;
  do {
    if (rows_.size() >= PATCH_LIST_MAX) break;
    if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) continue;
    if (!match_wildcard(found.cFileName, settings_.pattern.c_str(), 0)) continue;
    if (!evaluate_conditions(found.cFileName, conditions.c_str(),
                             settings_.run.history_file.c_str(), settings_.run.verbose)) {
      continue;
    }
    rows_.push_back(read_row(found.cFileName));
  } while (FindNextFileA(find, &found));
  FindClose(find);
}

void PatchList::update_status(uint64_t free_bytes) {
  status_[1] = install_count_text(install_count_);
  status_[2] = remove_count_text(remove_count_);
  status_[3] = kb_left_text(free_bytes, install_kb_);
}

ToggleResult PatchList::toggle(size_t index) {
  if (index >= rows_.size()) return TOGGLE_UNCHANGED;
  PatchRow& row = rows_[index];
  // Space that cannot be determined counts as none: a mark is only set
  // when the space is known to suffice.
  uint64_t free_bytes = 0;
  if (!free_space_ || !free_space_(&free_bytes)) free_bytes = 0;
  switch (row.state) {
    case PATCH_NOT_INSTALLED: {
      // The sum is checked without wrapping: sizes near 2^64 never fit.
      uint64_t needed = install_kb_ + row.size_kb;
      if (needed < install_kb_ || (free_bytes >> 10) < needed) {
        MessageBoxA(nullptr, load_text(IDS_NO_SPACE).c_str(), load_text(IDR_MAINFRAME).c_str(),
                    MB_OK | MB_ICONEXCLAMATION);
        return TOGGLE_NO_SPACE;
      }
      row.state = PATCH_MARKED_INSTALL;
      ++install_count_;
      install_kb_ = needed;
      break;
    }
    case PATCH_MARKED_INSTALL:
      row.state = PATCH_NOT_INSTALLED;
      --install_count_;
      install_kb_ -= row.size_kb;
      break;
    case PATCH_INSTALLED_REMOVABLE:
      row.state = PATCH_MARKED_REMOVE;
      ++remove_count_;
      break;
    case PATCH_MARKED_REMOVE:
      row.state = PATCH_INSTALLED_REMOVABLE;
      --remove_count_;
      break;
    default:
      return TOGGLE_UNCHANGED;
  }
  update_status(free_bytes);
  return TOGGLE_CHANGED;
}

bool PatchList::remove(const PatchRow& row) {
  const char* history = settings_.run.history_file.c_str();
  const std::string companion = deinstall_companion(row.file_name.c_str());
  // The companion must be pending, or the run would skip it as done from
  // an earlier removal.
  if (!write_history_entry(history, companion.c_str(), HISTORY_PENDING)) return false;
  PatchRunSettings run = settings_.run;
  run.file_pattern = companion;
  DWORD result;
  {
    KeepCurrentDirectory keep;
    result = run_patches(run);
  }
  // A run that skipped the companion (its conditions were false) also
  // returns 0: only the runner's own success entry says it ran.
  if (result != 0 || !patch_done(history, companion.c_str())) return false;
  write_history_entry(history, row.file_name.c_str(), HISTORY_DEINSTALLED);
  for (const std::string& name : split_patch_list(row.removal_list.c_str())) {
    write_history_entry(history, name.c_str(), HISTORY_MARKED_DEINSTALLED);
  }
  return true;
}

bool PatchList::install(const PatchRow& row) {
  const char* history = settings_.run.history_file.c_str();
  PatchRunSettings run = settings_.run;
  run.file_pattern = row.file_name;
  DWORD result;
  {
    KeepCurrentDirectory keep;
    result = run_patches(run);
  }
  // As for a removal: a patch skipped by its conditions did not install.
  if (result != 0 || !patch_done(history, row.file_name.c_str())) return false;
  return write_history_entry(history, row.file_name.c_str(), HISTORY_INSTALLED);
}

void PatchList::apply() {
  std::vector<PatchRow> rows = rows_;
  for (const PatchRow& row : rows) {
    if (row.state == PATCH_MARKED_REMOVE) {
      if (!remove(row)) error_box("DEINSTALL failed for %s\n", row.file_name);
    } else if (row.state == PATCH_MARKED_INSTALL) {
      if (!install(row)) error_box("INSTALL failed for %s\n", row.file_name);
    }
  }
  fill();
}
