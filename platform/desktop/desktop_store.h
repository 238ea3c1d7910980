// The window stations and desktops of a machine, kept in its store so that
// every process of the machine sees the same ones.
//
//   desktop_objects  one row per window station (desktop '') and per
//                    desktop: the names as created (compared without
//                    regard to case), the security descriptor
//                    (self-relative bytes) and whether a station is
//                    interactive
//   desktop_input    the input desktop (SwitchDesktop), one row
//
// A new store has the interactive station WinSta0 with its desktops
// Default and Winlogon, Default being the input desktop. Names are UTF-8
// (WTF-8) here.
#pragma once

#include <string>

#include "platform/network/machine_store.h"
#include "platform/win32_types.h"

// Longest name of a station or a desktop, in UTF-16 units.
constexpr size_t NT_DESKTOP_NAME_MAX = 255;

struct NtUserObjectRecord {
  std::string station;  // as created
  std::string desktop;  // as created; empty for the station itself
  std::string sd;       // self-relative security descriptor
  bool interactive = false;
};

// The record of a station (desktop empty) or desktop; ERROR_FILE_NOT_FOUND
// when there is none.
DWORD nt_desktop_store_find(MachineStore& store, const std::string& station,
                            const std::string& desktop, NtUserObjectRecord* out);

// Creates the object unless it exists (*existed tells); *out is the
// object's record either way. A desktop needs its station:
// ERROR_FILE_NOT_FOUND.
DWORD nt_desktop_store_create(MachineStore& store, const NtUserObjectRecord& object,
                              bool* existed, NtUserObjectRecord* out);

// Replaces the security descriptor of an object.
DWORD nt_desktop_store_set_security(MachineStore& store, const std::string& station,
                                    const std::string& desktop, const std::string& sd);

DWORD nt_desktop_store_input(MachineStore& store, std::string* station, std::string* desktop);
DWORD nt_desktop_store_set_input(MachineStore& store, const std::string& station,
                                 const std::string& desktop);

// The descriptor new objects get when none is given: owner and group
// SYSTEM, a DACL granting all access to SYSTEM and the Administrators.
std::string nt_desktop_default_security(bool station);
