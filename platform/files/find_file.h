// Directory searches: FindFirstFileA, FindNextFileA, FindClose.
//
// The search text is a directory part and a pattern ("C:\dir\*.txt",
// "*.*", "\\SRV\SHARE\x\a?c"); the directory part is resolved as every NT
// path is (path.h), the pattern is matched as NT matches it (nt_wildcard.h).
// A pattern without wildcards names one entry, found without regard to
// case. A text that ends with a separator has no pattern and finds nothing.
//
// Order: NTFS returns a directory's names sorted by their upper-case form,
// and so does this call: "." and ".." first (every directory has them
// except the root of a drive), then the names in the order of their
// upper-case UTF-8 bytes (names equal but for case, which only a host
// file system can hold, in byte order). To sort, the directory is read
// once (one getdents stream) when the search starts, keeping only the
// names that match: memory grows with the matching names of that one
// directory (about twice their length plus 16 bytes each), never with the
// tree, and is released by FindClose. Attributes, times and sizes are read
// for each entry when it is handed out: one statx on the open directory and
// one list of the entry's extended attributes (relative to the directory
// where the kernel offers it), the values themselves only when the list
// names them. On a network whose files carry the attribute mark
// (attribute_marks.h), a search without creation times reads the attribute
// of a regular file only when its mode shows the mark; measured
// (bench/find_files_bench.cc, 100,000 files in 1,000 directories), the
// whole walk costs about 1.2 to 1.7 times `find -printf '%p %s %T@\n'`.
//
// Find data carry times as UTC FILETIMEs, the size in two halves, the long
// name in cFileName (ANSI code page) and an empty cAlternateFileName.
#pragma once

#include "platform/files/path.h"
#include "platform/win32_types.h"

struct WIN32_FIND_DATAA {
  DWORD dwFileAttributes;
  FILETIME ftCreationTime;
  FILETIME ftLastAccessTime;
  FILETIME ftLastWriteTime;
  DWORD nFileSizeHigh;
  DWORD nFileSizeLow;
  DWORD dwReserved0;
  DWORD dwReserved1;
  char cFileName[MAX_PATH];
  char cAlternateFileName[14];
};

// A search handle and the first entry, or INVALID_HANDLE_VALUE with
//   ERROR_FILE_NOT_FOUND     nothing matches (or the text ends with a separator)
//   ERROR_PATH_NOT_FOUND     the directory part does not exist or is a file
//   ERROR_INVALID_NAME       a pattern with a character NT forbids
//   ERROR_INVALID_PARAMETER  a null argument
//   and the path errors (ERROR_BAD_NETPATH, ERROR_BAD_NET_NAME, ...).
HANDLE FindFirstFileA(const char* file_name, WIN32_FIND_DATAA* data);

// The next entry; FALSE with ERROR_NO_MORE_FILES after the last one.
BOOL FindNextFileA(HANDLE search, WIN32_FIND_DATAA* data);

// Ends a search; ERROR_INVALID_HANDLE for a handle that is no search.
BOOL FindClose(HANDLE search);

// FindFirstFileA for tree walks that need less than the whole find data;
// FindNextFileA and FindClose go on with the search as usual. `leave_out`:
//   NT_FIND_ALL            what FindFirstFileA gives
//   NT_FIND_NO_CREATION    no creation time (0): per entry one statx and one
//                          read of the attribute, whatever else it carries
//                          (none for an unmarked regular file where the
//                          network trusts marks)
//   NT_FIND_NO_ATTRIBUTES  FILE_ATTRIBUTE_DIRECTORY or FILE_ATTRIBUTE_NORMAL
//                          only (no R, H, S, A); with NT_FIND_NO_CREATION
//                          as well, one statx per entry and nothing more
//   NT_FIND_NAMES_ONLY     the names, and FILE_ATTRIBUTE_DIRECTORY or
//                          FILE_ATTRIBUTE_NORMAL as the listing tells them
//                          (a link or an entry of unknown type costs one
//                          statx); no other attribute, no times, size 0.
//                          Entries are not checked to still exist.
//   NT_FIND_NO_DOT_INFO    "." and ".." (listed as ever) carry
//                          FILE_ATTRIBUTE_DIRECTORY alone, for walks that
//                          pass over them: no call for either
constexpr DWORD NT_FIND_ALL = 0;
constexpr DWORD NT_FIND_NO_CREATION = 0x1;
constexpr DWORD NT_FIND_NAMES_ONLY = 0x2;
constexpr DWORD NT_FIND_NO_ATTRIBUTES = 0x4;
constexpr DWORD NT_FIND_NO_DOT_INFO = 0x8;
HANDLE nt_find_first_file(const char* file_name, WIN32_FIND_DATAA* data, DWORD leave_out);
