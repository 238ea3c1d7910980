// Copying and moving files: CopyFileA, CopyFileExA, MoveFileA, MoveFileExA.
//
// A copy keeps the source's attributes (R, H, S, A), its three times and
// its host permission bits; its security descriptor is not copied (a new
// file gets default security, as NT gives it). The data goes into an
// unnamed file of the target directory (O_TMPFILE; where the file system
// has none, a hidden temporary name ".~copy-...") that takes the target
// name only when it is complete: a copy that is interrupted, cancelled or
// fails never leaves a partial file under the target name. The data moves
// in the kernel (copy_file_range, else sendfile, else read and write).
#pragma once

#include <cstdint>

#include "platform/kernel/error.h"
#include "platform/win32_types.h"

constexpr DWORD MOVEFILE_REPLACE_EXISTING = 0x1;
constexpr DWORD MOVEFILE_COPY_ALLOWED = 0x2;
constexpr DWORD MOVEFILE_WRITE_THROUGH = 0x8;

constexpr DWORD COPY_FILE_FAIL_IF_EXISTS = 0x1;

// Progress routine answers and reasons.
constexpr DWORD PROGRESS_CONTINUE = 0;
constexpr DWORD PROGRESS_CANCEL = 1;
constexpr DWORD PROGRESS_STOP = 2;
constexpr DWORD PROGRESS_QUIET = 3;
constexpr DWORD CALLBACK_CHUNK_FINISHED = 0;
constexpr DWORD CALLBACK_STREAM_SWITCH = 1;

union LARGE_INTEGER {
  struct {
    DWORD LowPart;
    LONG HighPart;
  } u;
  LONGLONG QuadPart;
};

// Called before the first chunk (CALLBACK_STREAM_SWITCH, nothing moved yet)
// and after every chunk of data. The two handles are not offered (null).
using LPPROGRESS_ROUTINE = DWORD (*)(LARGE_INTEGER total_size, LARGE_INTEGER transferred,
                                     LARGE_INTEGER stream_size, LARGE_INTEGER stream_transferred,
                                     DWORD stream_number, DWORD reason, HANDLE source,
                                     HANDLE destination, void* data);

// Copies a file. Errors:
//   ERROR_FILE_NOT_FOUND / ERROR_PATH_NOT_FOUND   no source, or no target
//                                                 directory
//   ERROR_ACCESS_DENIED       the source is a directory; the target is a
//                             directory or read-only
//   ERROR_FILE_EXISTS         the target exists and `fail_if_exists` is set
//   ERROR_SHARING_VIOLATION   source and target are the same file; the
//                             source is open without FILE_SHARE_READ or the
//                             target without FILE_SHARE_WRITE
//   ERROR_DISK_FULL           and the other write errors
BOOL CopyFileA(const char* existing, const char* target, BOOL fail_if_exists);

// CopyFileA with a progress routine and a cancel flag: the routine's
// PROGRESS_CANCEL or PROGRESS_STOP, or *cancel set to TRUE during the copy,
// ends it with ERROR_REQUEST_ABORTED and no target file; PROGRESS_QUIET
// stops the calls. `flags`: COPY_FILE_FAIL_IF_EXISTS.
BOOL CopyFileExA(const char* existing, const char* target, LPPROGRESS_ROUTINE progress,
                 void* data, BOOL* cancel, DWORD flags);

// Renames in one step (the target is replaced atomically with
// MOVEFILE_REPLACE_EXISTING; without it an existing target fails with
// ERROR_ALREADY_EXISTS; a read-only or directory target with
// ERROR_ACCESS_DENIED). A new name that differs only in case renames the
// file to that case. Across file systems a file is copied (as CopyFileA)
// and the source deleted when MOVEFILE_COPY_ALLOWED is given, else
// ERROR_NOT_SAME_DEVICE; directories never move across file systems.
// MOVEFILE_WRITE_THROUGH syncs the target's directory before returning.
// A null target (delete at the next boot) is ERROR_INVALID_PARAMETER.
BOOL MoveFileExA(const char* existing, const char* target, DWORD flags);

// MoveFileExA with MOVEFILE_COPY_ALLOWED, as NT's MoveFile moves files
// across volumes.
BOOL MoveFileA(const char* existing, const char* target);
