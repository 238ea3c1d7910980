// The machine's own SID, the domain of its local accounts.
//
// Tables of the subsystem "security" (version 1):
//   security_machine(id=1, sid)   one row: the machine SID, S-1-5-21-a-b-c
// The SID is made from random numbers on first use and never changes, so
// every process and every later run sees the same accounts.
#pragma once

#include <string>

#include "platform/network/machine_store.h"
#include "platform/win32_types.h"

// Creates the security tables (idempotent); nt_machine_sid does it itself.
DWORD nt_security_prepare(MachineStore& store);

// The machine SID in binary form, made (in one transaction, so that two
// processes agree) when the store has none yet.
DWORD nt_machine_sid(MachineStore& store, std::string* sid);
