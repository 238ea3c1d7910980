// Security of registry keys: RegGetKeySecurity, RegSetKeySecurity and the
// checks that opening, creating and deleting keys make.
//
// Each key's descriptor is kept self-relative in reg_keys.security. A key
// without one behaves as the default: owner BUILTIN\Administrators, DACL
// granting Administrators and SYSTEM full control and Everyone read access;
// keys below HKEY_USERS\<SID> also grant that SID full control (a user's own
// profile). The caller's token (security/token.h) is made on the machine
// that holds the key, so a key reached through RegConnectRegistry is checked
// against that machine's accounts.
//
// A new key inherits, as NT does: the ACEs of its parent's explicit DACL
// that carry CONTAINER_INHERIT_ACE (INHERIT_ONLY_ACE dropped;
// NO_PROPAGATE_INHERIT_ACE makes them stop there), owned by the creator's
// default owner. A parent with an explicit DACL of which nothing is
// inheritable gives the creator's default DACL (its owner and SYSTEM full
// control). A parent without a descriptor gives none (the default). A
// descriptor passed in SECURITY_ATTRIBUTES is taken as it is, its owner
// filled in when missing.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "platform/registry/reg_core.h"
#include "platform/security/security_descriptor.h"
#include "platform/security/token.h"

// The parts named by `info` as a self-relative descriptor; the handle needs
// READ_CONTROL (ACCESS_SYSTEM_SECURITY for the SACL). Too small a buffer:
// ERROR_INSUFFICIENT_BUFFER and *size the size needed.
LONG RegGetKeySecurity(HKEY key, SECURITY_INFORMATION info, PSECURITY_DESCRIPTOR sd,
                       DWORD* size);
// Replaces the parts named by `info`; the handle needs WRITE_OWNER for the
// owner and group, WRITE_DAC for the DACL; an owner the caller may not set:
// ERROR_INVALID_OWNER.
LONG RegSetKeySecurity(HKEY key, SECURITY_INFORMATION info, PSECURITY_DESCRIPTOR sd);

// ---- Internal to the registry.

// The token the checks of keys of `open`'s machine use. Call it before
// taking the store's lock (making a token reads account stores).
std::shared_ptr<NtToken> reg_caller_token(const RegOpenKey& open);
// The descriptor a key behaves with (its own, or the default). Lock held.
DWORD reg_effective_security(MachineStore& store, int64_t id, NtSecurityDescriptor* sd);
// Checks `desired` (generic rights mapped with the key mapping) on the key.
// ERROR_SUCCESS and the rights granted, or ERROR_ACCESS_DENIED. Lock held.
DWORD reg_check_access(MachineStore& store, int64_t id, const NtToken& token, REGSAM desired,
                       REGSAM* granted);
// The deepest key of `path` below `start` that exists. Lock held.
DWORD reg_deepest_existing(MachineStore& store, int64_t start, std::u16string_view path,
                           int64_t* id);
// Gives the keys created between `ancestor` (exclusive) and `id` their
// inherited descriptors (or `given`, a descriptor from SECURITY_ATTRIBUTES,
// for the last one). Inside the creating transaction.
DWORD reg_secure_new_keys(MachineStore& store, int64_t ancestor, int64_t id, const NtToken& token,
                          const void* given);
