// Which account database answers for a machine, a domain or a name.
//
// A workstation or server keeps its own accounts, named after the machine.
// A domain's accounts live on its primary controller (the machine of role
// pdc of that LAN group), named after the domain, with the controller's
// machine SID as domain SID; a backup controller answers with the primary
// controller's database. A workstation or server whose LAN group has a
// primary controller is a member of that domain.
#pragma once

#include <string>
#include <string_view>

#include "platform/network/machine.h"
#include "platform/network/network.h"
#include "platform/win32_types.h"

struct NtAccountAuthority {
  NtMachineRef store;       // the machine whose store holds the accounts
  std::string name;         // the domain name the accounts are reported under
  std::string sid;          // the domain SID
  bool domain = false;      // a domain's database (on its primary controller)
};

// The database of `machine` itself: its own, or its domain's for a
// controller. A backup controller of a domain without a primary controller
// answers with its own store.
DWORD nt_account_authority_of(const NtMachineRef& machine, NtAccountAuthority* out);

// The domain `machine` is a member of (NERR_DCNotFound when it is in a
// workgroup or is a controller).
DWORD nt_account_member_domain(const NtMachineRef& machine, NtAccountAuthority* out);

// A domain by name (ERROR_NO_SUCH_DOMAIN when no primary controller has it
// as LAN group).
DWORD nt_account_domain_by_name(std::string_view domain, NtAccountAuthority* out);

// The database named `name` as seen from `machine`: the machine's own (its
// name, or its domain's name for a controller), its domain's, another
// domain's, or another machine's own. ERROR_NO_SUCH_DOMAIN when nothing is
// called so.
DWORD nt_account_authority_named(const NtMachineRef& machine, std::string_view name,
                                 NtAccountAuthority* out);

// The machine of the network called `name`, reached by the network's own
// administration (offline machines too).
DWORD nt_account_open_machine(std::string_view name, NtMachineRef* out);
