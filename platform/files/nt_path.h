// The syntax of NT path names: full path names as GetFullPathName makes
// them, and their parts. Pure text work; nothing here touches a disk.
//
// Forms of a full path (text is UTF-8, the host's form):
//   drive   "C:\dir\name"            the drive letter keeps the case given
//   unc     "\\SERVER\SHARE\dir"     server and share as given
//   host    "/dir/name"              a host path; '/' separates its names
//
// Input forms accepted by nt_full_path:
//   "C:\x", "C:/x"        absolute on drive C:
//   "C:x", "C:"           relative to the current directory of drive C:
//   "\x"                  from the root of the current directory
//   "x", ".\x", "..\x"    relative to the current directory
//   "\\SRV\SHARE\x"       UNC ('\' and '/' mixed freely)
//   "\\?\C:\x", "\\?\UNC\SRV\SHARE\x", "\\.\C:\x"
//                         the same without the length limit ("\\?\") or
//                         through the device name of the drive ("\\.\")
//   "/x"                  a host path (a single leading '/'): for Linux
//                         users, taken as it stands apart from "." and ".."
//
// Normalisation, as Win32 does it: repeated separators count as one, "."
// names are dropped, ".." removes the name before it and stops at the root
// (the drive root, the share, or "/"), trailing dots and blanks of every
// name are removed (a name of dots and blanks only disappears), and a
// separator at the end of the input stays at the end of the result.
#pragma once

#include <array>
#include <string>
#include <string_view>
#include <vector>

#include "platform/win32_types.h"

enum class NtPathKind { drive, unc, host, device };

// The current directories a relative path is taken against: the process's
// current directory (a full path of any form) and, per drive letter, the
// last current directory on that drive (empty: the root of the drive).
struct NtCurrentDirs {
  std::string current;
  std::array<std::string, 26> drives;

  // The current directory of drive `letter` (either case): the stored one,
  // else "X:\".
  std::string drive_current(char letter) const;
};

// Longest full path of a drive or UNC form, in characters, terminator not
// counted: MAX_PATH - 1. A "\\?\" path may hold up to 32767 characters.
constexpr size_t kNtMaxPathChars = 259;
constexpr size_t kNtMaxLongPathChars = 32767;

// The full path of `path` (UTF-8) against `dirs`. Errors:
//   ERROR_INVALID_NAME          empty path, a NUL-free text with a character
//                               NT forbids in names (< > | " and control
//                               characters), or a path that needs a current
//                               directory that is empty
//   ERROR_FILENAME_EXCED_RANGE  a drive or UNC result longer than
//                               kNtMaxPathChars (kNtMaxLongPathChars after
//                               "\\?\")
// The wildcard characters * and ? are allowed (FindFirstFile patterns).
DWORD nt_full_path(std::string_view path, const NtCurrentDirs& dirs, std::string* full);

// A full path taken apart.
struct NtPathParts {
  NtPathKind kind = NtPathKind::host;
  char drive = 0;       // drive form: the letter, upper case
  std::string server;   // unc form
  std::string share;    // unc form (may be empty: "\\SRV")
  std::vector<std::string> names;  // the names below the root
  bool trailing_separator = false;
};

// Splits a full path made by nt_full_path. Device paths ("\\.\COM1") come
// back as kind device with no parts.
NtPathParts nt_split_full_path(std::string_view full);

// The root of a full path: "C:\", "\\SRV\SHARE\" or "/".
std::string nt_path_root(std::string_view full);

// Number of characters (UTF-16 units) of UTF-8 text.
size_t nt_path_chars(std::string_view text);

// True for '\' and '/'.
inline bool nt_is_separator(char c) { return c == '\\' || c == '/'; }
