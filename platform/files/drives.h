// The roots of the NT name space on the host: the drives of the local
// machine and the shares of every machine.
//
// A drive of the local machine comes from its drive table (machine.h) or,
// for the current user, from a connection made by WNetAddConnection2A
// (net_connection.h). A drive of type remote names "\\SRV\SHARE[\dir]" and
// is resolved through that share; a remote drive whose host directory is a
// plain host folder (ntnet may map one so) is that folder.
//
// A share is resolved on its machine: the machine must be reachable
// (ERROR_BAD_NETPATH for an unknown or offline one), the share must exist
// and be a disk share (ERROR_BAD_NET_NAME otherwise; IPC$ is no file
// share), and its path "X:\dir" is taken on that machine's own drives
// (never through its remote drives), names looked up without regard to
// case. A share whose directory has gone is ERROR_BAD_NET_NAME as well.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/network/machine.h"
#include "platform/network/machine_store.h"
#include "platform/win32_types.h"

// A root directory on the host.
struct NtRootDir {
  std::string host;         // the host directory
  bool drive_root = false;  // the root of a drive: listings have no "." and ".."
  std::string volume;       // host folder of the drive it lies on (its volume root)
};

// A drive letter of the local machine as the current user sees it.
struct NtLocalDrive {
  char letter = 0;
  NtDriveType type = NtDriveType::fixed;
  std::string target;       // host directory (absolute), or "\\SRV\SHARE..." for remote
  bool connection = false;  // made by WNetAddConnection2A for this user
};

// One drive; ERROR_INVALID_DRIVE when the letter is not mapped (or is no
// letter).
DWORD nt_local_drive(char letter, NtLocalDrive* drive);
// Every drive, in letter order (the drive table first; a connection never
// shadows a letter of the table).
DWORD nt_local_drives(std::vector<NtLocalDrive>* drives);

// The root directory of drive `letter`: ERROR_INVALID_DRIVE for an unmapped
// letter, the share errors for a remote drive whose share cannot be reached.
DWORD nt_drive_root(char letter, NtRootDir* root);
// As nt_drive_root for a drive already looked up.
DWORD nt_local_drive_root(const NtLocalDrive& drive, NtRootDir* root);

// The root directory of \\server\share. `server` may carry its two
// backslashes. Errors as described above.
DWORD nt_share_root(std::string_view server, std::string_view share, NtRootDir* root);

// The host directory of the NT directory path "X:\dir..." on `store`'s
// machine, through its fixed, removable and CD-ROM drives (names looked up
// without regard to case). ERROR_PATH_NOT_FOUND when the drive or a
// directory is missing.
DWORD nt_machine_directory(MachineStore& store, std::string_view nt_path, NtRootDir* dir);

// While a hold lives on a thread, nt_drive_root and nt_share_root on that
// thread answer from what they looked up first in it, instead of reading the
// machine database again: a walk resolves many paths of one directory on the
// same drive. Each new hold (nested ones too) starts afresh, so a walk that
// takes one per directory sees drives mapped or unmapped by anyone, and
// shares added or removed, from the next directory on; without any hold
// every call reads the database. Connections made or cancelled on this
// process (WNetAddConnection2A, WNetCancelConnection2A) start afresh too.
class NtDriveRootHold {
 public:
  NtDriveRootHold();
  ~NtDriveRootHold();
  NtDriveRootHold(const NtDriveRootHold&) = delete;
  NtDriveRootHold& operator=(const NtDriveRootHold&) = delete;
};

// Forgets what the holds of this thread looked up (the hold stays).
void nt_drive_roots_changed();
