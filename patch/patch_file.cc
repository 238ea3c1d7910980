#include "patch/patch_file.h"

#include "patch/profile_lists.h"
#include "platform/profile/profile.h"

namespace {

char upper_ascii(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

}  // namespace

bool show_mode_lookup(const char* text, WORD* out) {
  if (text == nullptr || text[0] == '\0' || text[1] == '\0') return false;
  char a = upper_ascii(text[0]);
  char b = upper_ascii(text[1]);
  WORD mode;
  if (a == 'H' && b == 'I') {
    mode = PATCH_SHOW_HIDE;
  } else if (a == 'N' && b == 'O') {
    mode = PATCH_SHOW_NORMAL;
  } else if (a == 'M' && b == 'I') {
    mode = PATCH_SHOW_MINIMIZED;
  } else if (a == 'M' && b == 'A') {
    mode = PATCH_SHOW_MAXIMIZED;
  } else {
    return false;
  }
  *out = mode;
  return true;
}

WORD show_mode_from_text(const char* text) {
  WORD mode = PATCH_SHOW_MINIMIZED;
  show_mode_lookup(text, &mode);
  return mode;
}

PatchStep read_patch_step(const char* patch_file, const char* section,
                          const StepDefaults& defaults, WORD previous_show_mode) {
  PatchStep step;
  step.section = section != nullptr ? section : "";
  step.command =
      read_profile_value(patch_file, section, "Command", "", PATCH_VALUE_MAX, &step.command_cut);
  step.time_limit = GetPrivateProfileIntA(section, "Timelimit",
                                          static_cast<INT>(defaults.time_limit), patch_file);
  std::string debug = read_profile_value(patch_file, section, "Debug", "", PATCH_VALUE_MAX);
  step.track_tree = debug.empty() || debug[0] != '0';
  step.errorlevels = read_profile_value(patch_file, section, "Errorlevel", "", PATCH_VALUE_MAX);
  if (step.errorlevels.empty()) step.errorlevels = defaults.errorlevels;
  std::string show = read_profile_value(patch_file, section, "ShowMode", "", PATCH_VALUE_MAX);
  if (show.empty()) {
    step.show_mode = defaults.show_mode;
  } else if (!show_mode_lookup(show.c_str(), &step.show_mode)) {
    step.show_mode = previous_show_mode;
  }
  return step;
}

uint64_t parse_size_kb(const char* text) {
  if (text == nullptr) return 0;
  while (*text == ' ' || *text == '\t') ++text;
  if (*text == '+') ++text;
  uint64_t value = 0;
  for (; *text >= '0' && *text <= '9'; ++text) {
    unsigned digit = static_cast<unsigned>(*text - '0');
    if (value > (UINT64_MAX - digit) / 10) return UINT64_MAX;
    value = value * 10 + digit;
  }
  return value;
}

uint64_t read_patch_size_kb(const char* patch_file, const char* first_section) {
  return parse_size_kb(
      read_profile_value(patch_file, first_section, "Size", "", PATCH_VALUE_MAX).c_str());
}

PatchMeta read_patch_meta(const char* patch_file, const char* first_section,
                          const char* file_name) {
  PatchMeta meta;
  meta.name = read_profile_value(patch_file, first_section, "Name", file_name, PATCH_VALUE_MAX);
  meta.description =
      read_profile_value(patch_file, first_section, "Description", "?", PATCH_VALUE_MAX);
  meta.icon = read_profile_value(patch_file, first_section, "Icon", "", PATCH_VALUE_MAX);
  meta.icon_index =
      static_cast<int>(GetPrivateProfileIntA(first_section, "IconIndex", 0, patch_file));
  meta.mark_deinstalled =
      read_profile_value(patch_file, first_section, "MarkDeinstalled", "", PATCH_VALUE_MAX);
  meta.size_text =
      read_profile_value(patch_file, first_section, "Size", "?", WINDOW_SIZE_TEXT_MAX);
  meta.size_kb = parse_size_kb(meta.size_text.c_str());
  return meta;
}

std::vector<std::string> split_patch_list(const char* text) {
  std::vector<std::string> names;
  if (text == nullptr) return names;
  std::string item;
  for (const char* p = text;; ++p) {
    if (*p == ',' || *p == '\0') {
      size_t first = item.find_first_not_of(" \t");
      size_t last = item.find_last_not_of(" \t");
      if (first != std::string::npos) names.push_back(item.substr(first, last - first + 1));
      item.clear();
      if (*p == '\0') break;
    } else {
      item += *p;
    }
  }
  return names;
}

std::string deinstall_companion(const char* patch) {
  return std::string(patch != nullptr ? patch : "") + DEINSTALL_SUFFIX;
}

std::string join_patch_path(const std::string& dir, const char* name) {
  std::string path = dir.empty() ? std::string(".") : dir;
  if (path.back() != '\\' && path.back() != '/') path += '\\';
  return path + (name != nullptr ? name : "");
}

std::string default_conditions_file(const std::string& patch_dir) {
  return join_patch_path(patch_dir, CONDITIONS_FILE_NAME);
}
