// Copies for tree tools that have resolved their directories already.
//
// A tree copy names thousands of files below a few directories. CopyFileA
// resolves both NT paths of every file again (and looks for a name that
// differs only in case by listing the directory when the target is new);
// nt_copy_resolved takes the host paths the caller made from a resolved
// directory and the file's name, and does the rest as CopyFileA does: the
// same checks in the same order, the same error codes, the data moved in the
// kernel (copy_file_range, else sendfile, else read and write) into an
// unnamed file of the target directory that takes the target name only when
// it is complete, the source's attributes, creation time, times and host
// permission bits kept, the security descriptor not copied.
//
// Names are taken exactly as given: the caller decides how a name that
// exists in another case is handled.
#pragma once

#include <string>

#include "platform/win32_types.h"

// Copies the host file `from` to the host path `to`. With `fail_if_exists`
// an existing target fails with ERROR_FILE_EXISTS; else it is replaced in
// one step (ERROR_ACCESS_DENIED for a read-only or directory target).
// ERROR_SUCCESS or the Win32 error.
//
// A caller that copies many files into one directory may pass the same
// `directory` for all of them: the first copy that finds the target
// directory there and open to new files notes it, and later new files skip
// those two checks of it (a protection changed meanwhile is seen by the
// next directory's object). A copy that fails leaves the note as it was.
struct NtCopyDirectory {
  bool checked = false;
};
DWORD nt_copy_resolved(const std::string& from, const std::string& to, bool fail_if_exists,
                       NtCopyDirectory* directory = nullptr);
