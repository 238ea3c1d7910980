// The files this process holds open through CreateFileA, with their access
// and share modes, for NT's sharing rules: an open that the share mode of a
// handle already open forbids (or whose own share mode forbids the access
// of a handle already open) fails with ERROR_SHARING_VIOLATION, and so do
// deletes, renames and copies onto a file held open without the sharing
// they need. Files are told apart by device and inode.
//
// Across processes only the strongest case is kept: a handle opened for
// reading or writing with neither FILE_SHARE_READ nor FILE_SHARE_WRITE
// (share mode 0) holds an exclusive flock() on its open file, every other
// such handle a shared one, so a share-0 open fails in another process
// while the file is open there, and any open fails while another process
// holds the file with share mode 0. One system call per open; handles
// without read or write access (attributes only) and directories take no
// lock, as NT lets them pass.
#pragma once

#include <sys/stat.h>
#include <sys/types.h>

#include "platform/win32_types.h"

// Registers an open of `owner` unless a handle already open forbids it.
bool nt_register_open(const void* owner, dev_t device, ino_t inode, DWORD access, DWORD share);
// Takes the cross-process lock described above on `fd`, an open regular
// file, without waiting; false when another process holds a conflicting one
// (ERROR_SHARING_VIOLATION for the caller).
bool nt_lock_open_across_processes(int fd, DWORD access, DWORD share);
// Removes the record of `owner`.
void nt_unregister_open(const void* owner, dev_t device, ino_t inode);

// True when some open handle of the file lacks FILE_SHARE_DELETE (a delete
// or rename must fail).
bool nt_open_without_share_delete(const struct stat& st);
// True when some open handle of the file lacks `share` (FILE_SHARE_READ
// for a copy from it, FILE_SHARE_WRITE for a copy onto it).
bool nt_open_without_share(const struct stat& st, DWORD share);
