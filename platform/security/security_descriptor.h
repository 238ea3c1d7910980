// Security descriptors: owner, primary group, DACL and SACL of an object, in
// the absolute form (pointers) and the self-relative form (offsets).
//
// Layouts as the Win32 headers declare them on a 64-bit host:
//   SECURITY_DESCRIPTOR (absolute): Revision (1), Sbz1, Control (WORD),
//     then the pointers Owner, Group, Sacl, Dacl
//   SECURITY_DESCRIPTOR_RELATIVE (self-relative, SE_SELF_RELATIVE set):
//     Revision, Sbz1, Control, then DWORD offsets Owner, Group, Sacl, Dacl
//     from the descriptor's start (0: absent); 20 bytes, then the parts
//     in the order SACL, DACL, owner, group, each at a multiple of four.
// A DACL that is present with a null pointer (offset 0) is the NULL DACL:
// no protection at all. A DACL that is not present behaves the same in an
// access check; an empty DACL grants nothing.
#pragma once

#include <string>
#include <string_view>

#include "platform/security/acl.h"
#include "platform/kernel/error.h"
#include "platform/security/sid.h"
#include "platform/win32_types.h"

using PSECURITY_DESCRIPTOR = void*;
using SECURITY_DESCRIPTOR_CONTROL = WORD;
using PSECURITY_DESCRIPTOR_CONTROL = WORD*;
using SECURITY_INFORMATION = DWORD;
using PSECURITY_INFORMATION = DWORD*;

struct SECURITY_DESCRIPTOR {
  BYTE Revision;
  BYTE Sbz1;
  SECURITY_DESCRIPTOR_CONTROL Control;
  PSID Owner;
  PSID Group;
  PACL Sacl;
  PACL Dacl;
};
struct SECURITY_DESCRIPTOR_RELATIVE {
  BYTE Revision;
  BYTE Sbz1;
  SECURITY_DESCRIPTOR_CONTROL Control;
  DWORD Owner;
  DWORD Group;
  DWORD Sacl;
  DWORD Dacl;
};
static_assert(sizeof(SECURITY_DESCRIPTOR_RELATIVE) == 20, "NT layout");

constexpr DWORD SECURITY_DESCRIPTOR_REVISION = 1;
constexpr DWORD SECURITY_DESCRIPTOR_MIN_LENGTH = sizeof(SECURITY_DESCRIPTOR);

constexpr WORD SE_OWNER_DEFAULTED = 0x0001;
constexpr WORD SE_GROUP_DEFAULTED = 0x0002;
constexpr WORD SE_DACL_PRESENT = 0x0004;
constexpr WORD SE_DACL_DEFAULTED = 0x0008;
constexpr WORD SE_SACL_PRESENT = 0x0010;
constexpr WORD SE_SACL_DEFAULTED = 0x0020;
constexpr WORD SE_SELF_RELATIVE = 0x8000;

constexpr DWORD OWNER_SECURITY_INFORMATION = 0x1;
constexpr DWORD GROUP_SECURITY_INFORMATION = 0x2;
constexpr DWORD DACL_SECURITY_INFORMATION = 0x4;
constexpr DWORD SACL_SECURITY_INFORMATION = 0x8;

// An empty absolute descriptor (no owner, no group, no DACL, no SACL).
// Revision other than 1: ERROR_UNKNOWN_REVISION.
BOOL InitializeSecurityDescriptor(PSECURITY_DESCRIPTOR sd, DWORD revision);
// Revision 1 and valid parts (SIDs and ACLs). No last error is set.
BOOL IsValidSecurityDescriptor(PSECURITY_DESCRIPTOR sd);
// Bytes the descriptor takes in self-relative form (header and parts).
DWORD GetSecurityDescriptorLength(PSECURITY_DESCRIPTOR sd);
BOOL GetSecurityDescriptorControl(PSECURITY_DESCRIPTOR sd, PSECURITY_DESCRIPTOR_CONTROL control,
                                  DWORD* revision);

// Get calls work on both forms; Set calls need the absolute form
// (ERROR_INVALID_SECURITY_DESCR for a self-relative one) and keep the
// caller's pointers, as NT does.
BOOL GetSecurityDescriptorOwner(PSECURITY_DESCRIPTOR sd, PSID* owner, BOOL* defaulted);
BOOL SetSecurityDescriptorOwner(PSECURITY_DESCRIPTOR sd, PSID owner, BOOL defaulted);
BOOL GetSecurityDescriptorGroup(PSECURITY_DESCRIPTOR sd, PSID* group, BOOL* defaulted);
BOOL SetSecurityDescriptorGroup(PSECURITY_DESCRIPTOR sd, PSID group, BOOL defaulted);
BOOL GetSecurityDescriptorDacl(PSECURITY_DESCRIPTOR sd, BOOL* present, PACL* dacl,
                               BOOL* defaulted);
BOOL SetSecurityDescriptorDacl(PSECURITY_DESCRIPTOR sd, BOOL present, PACL dacl, BOOL defaulted);
BOOL GetSecurityDescriptorSacl(PSECURITY_DESCRIPTOR sd, BOOL* present, PACL* sacl,
                               BOOL* defaulted);
BOOL SetSecurityDescriptorSacl(PSECURITY_DESCRIPTOR sd, BOOL present, PACL sacl, BOOL defaulted);

// Absolute to self-relative: *length is the buffer size; too small:
// ERROR_INSUFFICIENT_BUFFER and *length the size needed. A self-relative
// source: ERROR_BAD_DESCRIPTOR_FORMAT.
BOOL MakeSelfRelativeSD(PSECURITY_DESCRIPTOR absolute, PSECURITY_DESCRIPTOR relative,
                        DWORD* length);
// Self-relative to absolute, the parts copied into the given buffers. Any
// buffer too small: ERROR_INSUFFICIENT_BUFFER and every size set to what is
// needed (0 for an absent part). An absolute source:
// ERROR_BAD_DESCRIPTOR_FORMAT.
BOOL MakeAbsoluteSD(PSECURITY_DESCRIPTOR relative, PSECURITY_DESCRIPTOR absolute,
                    DWORD* absolute_size, PACL dacl, DWORD* dacl_size, PACL sacl,
                    DWORD* sacl_size, PSID owner, DWORD* owner_size, PSID group,
                    DWORD* group_size);

// ---- The same on bytes, for the layer.

struct NtSecurityDescriptor {
  WORD control = 0;       // SE_* bits other than SE_SELF_RELATIVE
  std::string owner;      // binary SID, empty: none
  std::string group;      // binary SID, empty: none
  bool dacl_present = false;
  std::string dacl;       // ACL bytes; empty with dacl_present: the NULL DACL
  bool sacl_present = false;
  std::string sacl;
};

// Parses a self-relative descriptor held in `bytes`, every offset checked
// against their size; false for anything malformed.
bool nt_sd_parse(std::string_view bytes, NtSecurityDescriptor* sd);
// Reads a descriptor of either form from memory (IsValidSecurityDescriptor
// first); false when it is not valid.
bool nt_sd_read(PSECURITY_DESCRIPTOR sd, NtSecurityDescriptor* out);
// The self-relative bytes, parts in NT's order.
std::string nt_sd_build(const NtSecurityDescriptor& sd);
// Only the parts named by `info` (the others absent), as a query for them
// returns it.
NtSecurityDescriptor nt_sd_select(const NtSecurityDescriptor& sd, SECURITY_INFORMATION info);
// Copies self-relative bytes into a caller's buffer: ERROR_INSUFFICIENT_BUFFER
// and *needed when it does not fit.
DWORD nt_sd_put(std::string_view bytes, PSECURITY_DESCRIPTOR buffer, DWORD length,
                DWORD* needed);
