// The emulated NT network: a directory of machines.
//
//   <root>/network.ini                 [Network] Version=1, DefaultMachine=NAME
//   <root>/machines/<NAME>/machine.db  the machine's store (machine_store.h)
//   <root>/machines/<NAME>/drives/C    its C: drive, with WINNT\system32
//   <root>/machines/<NAME>/run/        its sockets and pid files
//
// The root is NT_NETWORK, else $XDG_DATA_HOME/ntnet, else
// ~/.local/share/ntnet. A root without network.ini gets a network on first
// use, with one machine: the local one (nt_computer_name), a workstation of
// WORKGROUP, made the default machine.
//
// Every subsystem reaches a machine through nt_open_machine, which takes
// "NAME", "\\NAME" or nothing (the local machine) and fails with
// ERROR_BAD_NETPATH for a name that is no machine of the network, or a
// machine that is offline.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/network/machine.h"
#include "platform/network/machine_store.h"
#include "platform/win32_types.h"

// The network directory (not created here).
std::string nt_network_root();
// The machine folder and store file of NAME (upper case) under `root`.
std::string nt_network_machine_dir(const std::string& root, const std::string& name);
std::string nt_network_machine_db(const std::string& root, const std::string& name);

// Whether `root` holds a network (its network.ini).
bool nt_network_exists(const std::string& root);

// Creates a network at `root` with its first machine, made the default
// machine. ERROR_ALREADY_EXISTS when there is a network there already,
// ERROR_INVALID_NAME for a bad machine or group name.
DWORD nt_network_create(const std::string& root, const NtMachineInfo& first);

// The network of nt_network_root, created as described above when missing.
DWORD nt_network_ensure(std::string* root);

// The default machine named in network.ini (empty when unreadable).
std::string nt_network_default_machine(const std::string& root);
DWORD nt_network_set_default_machine(const std::string& root, const std::string& name);

// The local machine: COMPUTERNAME (upper case, at most 15 characters), else
// the network's default machine.
std::string nt_local_machine_name();

// Adds a machine to the network of `root`: its folder, drive C: with
// WINNT\system32, run/ and its store with the given properties. The name and
// group are normalised (upper case). ERROR_ALREADY_EXISTS when it exists,
// ERROR_INVALID_NAME for a bad name or group.
DWORD nt_machine_create(const std::string& root, const NtMachineInfo& info);
// Removes a machine and its folder (drive C: with it). ERROR_BAD_NETPATH when
// there is no such machine; ERROR_ACCESS_DENIED for the default machine.
DWORD nt_machine_delete(const std::string& root, std::string_view name);
// Names of the machines, in alphabetical order.
DWORD nt_machine_list(const std::string& root, std::vector<std::string>* names);

enum class NtMachineAccess {
  network,  // as a client on the network sees it: an offline machine is unreachable
  admin,    // the network's own administration (ntnet): offline machines too
};

struct NtMachineRef {
  std::shared_ptr<MachineStore> store;
  std::string name;    // upper case
  bool local = false;  // reached as the local machine (no name given)
};

// Opens a machine of the current network (created when missing). `name` is
// UTF-8: "NAME", "\\NAME", or empty for the local machine. A local machine is
// reached whatever its online flag. ERROR_BAD_NETPATH for a bad or unknown
// name and (network access) for an offline machine.
DWORD nt_open_machine(std::string_view name, NtMachineRef* out,
                      NtMachineAccess access = NtMachineAccess::network);
// The same for ANSI and UTF-16 names; null is the local machine.
DWORD nt_open_machine_a(const char* name, NtMachineRef* out,
                        NtMachineAccess access = NtMachineAccess::network);
DWORD nt_open_machine_w(const WCHAR* name, NtMachineRef* out,
                        NtMachineAccess access = NtMachineAccess::network);
