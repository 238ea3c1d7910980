// What a machine's store says about the machine: its properties and drives.
//
// Tables of the subsystem "machine" (version 1):
//   machine(id=1, name, lan_group, role, comment, online)   one row
//   drives(letter, type, host_dir)                           one row a drive
// A relative host_dir is relative to the machine's folder (the default C:
// is "drives/C"), so that a network folder can be moved as a whole.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/network/machine_store.h"
#include "platform/win32_types.h"

// NetServerEnum type bits.
constexpr DWORD SV_TYPE_WORKSTATION = 0x00000001;
constexpr DWORD SV_TYPE_SERVER = 0x00000002;
constexpr DWORD SV_TYPE_DOMAIN_CTRL = 0x00000008;
constexpr DWORD SV_TYPE_DOMAIN_BAKCTRL = 0x00000010;
constexpr DWORD SV_TYPE_NT = 0x00001000;
constexpr DWORD SV_TYPE_SERVER_NT = 0x00008000;

enum class NtMachineRole { workstation, server, pdc, bdc };

// "workstation", "server", "pdc", "bdc".
const char* nt_machine_role_name(NtMachineRole role);
// Parses one of those names, case ignored.
bool nt_machine_role_parse(std::string_view text, NtMachineRole* role);
// The role as NetServerEnum reports it.
DWORD nt_machine_server_type(NtMachineRole role);

struct NtMachineInfo {
  std::string name;       // upper case, at most 15 characters
  std::string lan_group;  // domain or workgroup, upper case
  NtMachineRole role = NtMachineRole::workstation;
  std::string comment;
  bool online = true;
};

// Drive types as GetDriveType numbers them.
enum class NtDriveType { removable = 2, fixed = 3, remote = 4, cdrom = 5 };

// "fixed", "removable", "cdrom", "remote".
const char* nt_drive_type_name(NtDriveType type);
bool nt_drive_type_parse(std::string_view text, NtDriveType* type);

struct NtDrive {
  char letter = 'C';  // upper case A..Z
  NtDriveType type = NtDriveType::fixed;
  std::string host_dir;  // as stored (may be relative to the machine's folder)
};

// Creates the machine tables (idempotent); the other calls do it themselves.
DWORD nt_machine_prepare(MachineStore& store);

// Writes all properties (one transaction); the first call also gives the
// machine its default drive C: (fixed, drives/C).
DWORD nt_machine_set_info(MachineStore& store, const NtMachineInfo& info);
DWORD nt_machine_get_info(MachineStore& store, NtMachineInfo* info);
DWORD nt_machine_set_online(MachineStore& store, bool online);
DWORD nt_machine_set_comment(MachineStore& store, std::string_view comment);
// Reads the online flag alone (cheap; for every call to a remote machine).
DWORD nt_machine_is_online(MachineStore& store, bool* online);

// Drives, ordered by letter. get_drive: ERROR_INVALID_DRIVE when not mapped.
DWORD nt_machine_get_drives(MachineStore& store, std::vector<NtDrive>* drives);
DWORD nt_machine_get_drive(MachineStore& store, char letter, NtDrive* drive);
// Maps (or remaps) a letter; a letter outside A..Z (either case) or an empty
// host directory gives ERROR_INVALID_PARAMETER.
DWORD nt_machine_map_drive(MachineStore& store, const NtDrive& drive);
// ERROR_INVALID_DRIVE when the letter was not mapped.
DWORD nt_machine_unmap_drive(MachineStore& store, char letter);
// The host directory of a drive as an absolute path.
std::string nt_machine_drive_host_path(const MachineStore& store, const NtDrive& drive);
