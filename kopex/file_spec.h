// The file specification of a kopex command line and its parts:
//   [drive:][\dir\...\]pattern[,pattern...]
//   [DOMAIN*]\\SERVER*\SHARE*[\dir\...\]pattern[,pattern...]
// where the drive is a letter or a drive class ("*:", "DISK:", "NET*:" ...),
// directories may hold wildcards in any component and each file pattern may
// start with '!' to reject what it matches.
#pragma once

#include <string>
#include <vector>

namespace kopex {

// Longest specification, and longest full path it may resolve to.
constexpr int SPEC_MAX = 256;
constexpr int FULL_PATH_MAX = 260;

struct FileSpec {
  std::string domain;  // before the "\\" that opens the server name
  std::string server;  // without the leading backslashes
  std::string share;
  std::string drive;   // with its colon: "C:", "*:", "DISK*:"; empty for UNC
  std::string dir;     // begins and ends with '\' (or is empty)
  std::string files;   // the last component as written
  std::vector<std::string> patterns;  // files split at commas
  bool names_directory = false;       // the spec ended with '\' or named a share
};

enum class SpecError { none, too_long, bad_path };

// Splits `spec`. When the file part is empty it becomes "*", `*recurse` and
// `*remove_dirs` are switched on and the spec is marked as naming a
// directory. On bad_path the system's error is left as the last error.
SpecError split_file_spec(const char* spec, FileSpec* out, bool* recurse, bool* remove_dirs);

// The comma-separated pattern list; it ends at the first empty pattern.
std::vector<std::string> split_patterns(const std::string& files);

// The first pattern that matches `name` (case ignored) decides: a plain
// pattern selects, a pattern starting with '!' rejects; no match rejects.
bool select_name(const char* name, const std::vector<std::string>& patterns);

// Drive selectors of the drive form.
enum class DriveClass { current, letter, all, cdrom, fixed, removable, remote, invalid };

struct DriveSelector {
  DriveClass kind = DriveClass::invalid;
  char letter = 0;          // DriveClass::letter, upper case
  bool first_only = false;  // a class keyword without '*'
};

DriveSelector parse_drive_token(const std::string& token);

}  // namespace kopex
