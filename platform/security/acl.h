// Access control lists: the byte layouts and the Win32 calls on them.
//
// Layout, little-endian and byte-exact as NT keeps it:
//   ACL         offset 0 AclRevision (2, 3 or 4), 1 Sbz1, 2 AclSize (WORD,
//               the whole buffer), 4 AceCount (WORD), 6 Sbz2; 8 bytes, then
//               the ACEs one after the other
//   ACE_HEADER  offset 0 AceType, 1 AceFlags, 2 AceSize (WORD, the whole ACE)
//   ACCESS_ALLOWED_ACE / ACCESS_DENIED_ACE / SYSTEM_AUDIT_ACE
//               the header, 4 Mask (DWORD), 8 the SID (SidStart)
// An ACL may sit at any address (inside a self-relative descriptor, a
// registry value); the calls read and write it through memcpy.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/security/access_mask.h"
#include "platform/kernel/error.h"
#include "platform/security/sid.h"
#include "platform/win32_types.h"

struct ACL {
  BYTE AclRevision;
  BYTE Sbz1;
  WORD AclSize;
  WORD AceCount;
  WORD Sbz2;
};
using PACL = ACL*;

struct ACE_HEADER {
  BYTE AceType;
  BYTE AceFlags;
  WORD AceSize;
};
using PACE_HEADER = ACE_HEADER*;

struct ACCESS_ALLOWED_ACE {
  ACE_HEADER Header;
  ACCESS_MASK Mask;
  DWORD SidStart;
};
struct ACCESS_DENIED_ACE {
  ACE_HEADER Header;
  ACCESS_MASK Mask;
  DWORD SidStart;
};
struct SYSTEM_AUDIT_ACE {
  ACE_HEADER Header;
  ACCESS_MASK Mask;
  DWORD SidStart;
};
using PACCESS_ALLOWED_ACE = ACCESS_ALLOWED_ACE*;
using PACCESS_DENIED_ACE = ACCESS_DENIED_ACE*;
using PSYSTEM_AUDIT_ACE = SYSTEM_AUDIT_ACE*;

static_assert(sizeof(ACL) == 8 && sizeof(ACE_HEADER) == 4 && sizeof(ACCESS_ALLOWED_ACE) == 12,
              "NT layouts");

constexpr DWORD ACL_REVISION = 2;
constexpr DWORD ACL_REVISION2 = 2;
constexpr DWORD ACL_REVISION3 = 3;
constexpr DWORD ACL_REVISION4 = 4;
constexpr DWORD MIN_ACL_REVISION = ACL_REVISION2;
constexpr DWORD MAX_ACL_REVISION = ACL_REVISION4;

constexpr BYTE ACCESS_ALLOWED_ACE_TYPE = 0;
constexpr BYTE ACCESS_DENIED_ACE_TYPE = 1;
constexpr BYTE SYSTEM_AUDIT_ACE_TYPE = 2;
constexpr BYTE SYSTEM_ALARM_ACE_TYPE = 3;

constexpr BYTE OBJECT_INHERIT_ACE = 0x01;
constexpr BYTE CONTAINER_INHERIT_ACE = 0x02;
constexpr BYTE NO_PROPAGATE_INHERIT_ACE = 0x04;
constexpr BYTE INHERIT_ONLY_ACE = 0x08;
constexpr BYTE INHERITED_ACE = 0x10;
constexpr BYTE VALID_INHERIT_FLAGS = 0x1F;
constexpr BYTE SUCCESSFUL_ACCESS_ACE_FLAG = 0x40;
constexpr BYTE FAILED_ACCESS_ACE_FLAG = 0x80;

enum ACL_INFORMATION_CLASS {
  AclRevisionInformation = 1,
  AclSizeInformation,
};
struct ACL_REVISION_INFORMATION {
  DWORD AclRevision;
};
struct ACL_SIZE_INFORMATION {
  DWORD AceCount;
  DWORD AclBytesInUse;
  DWORD AclBytesFree;
};

constexpr DWORD MAXDWORD = 0xFFFFFFFFu;

// An empty ACL of `length` bytes (at least 8, at most 65535; rounded down
// to a multiple of four as NT does). Revision 2 to 4, else
// ERROR_INVALID_PARAMETER (also for a null pointer); a length below 8:
// ERROR_INSUFFICIENT_BUFFER.
BOOL InitializeAcl(PACL acl, DWORD length, DWORD revision);
// Revision 2 to 4, the ACEs inside AclSize, each ACE at least 8 bytes with a
// valid SID inside it for the four known types. No last error is set.
BOOL IsValidAcl(PACL acl);
// Fills the structure of `info_class`; a too small `length`:
// ERROR_INSUFFICIENT_BUFFER; an unknown class ERROR_INVALID_PARAMETER.
BOOL GetAclInformation(PACL acl, void* info, DWORD length, ACL_INFORMATION_CLASS info_class);
// Appends an ACE at the end. ERROR_INVALID_ACL for an invalid ACL,
// ERROR_INVALID_SID, ERROR_REVISION_MISMATCH for a revision outside 2..4,
// ERROR_ALLOTTED_SPACE_EXCEEDED when the ACE does not fit. A revision above
// the ACL's raises the ACL's revision, as NT does.
BOOL AddAccessAllowedAce(PACL acl, DWORD revision, ACCESS_MASK mask, PSID sid);
BOOL AddAccessDeniedAce(PACL acl, DWORD revision, ACCESS_MASK mask, PSID sid);
// With inheritance flags (only VALID_INHERIT_FLAGS: else ERROR_INVALID_FLAGS).
BOOL AddAccessAllowedAceEx(PACL acl, DWORD revision, DWORD flags, ACCESS_MASK mask, PSID sid);
BOOL AddAccessDeniedAceEx(PACL acl, DWORD revision, DWORD flags, ACCESS_MASK mask, PSID sid);
BOOL AddAuditAccessAce(PACL acl, DWORD revision, ACCESS_MASK mask, PSID sid, BOOL success,
                       BOOL failure);
// Inserts the ACEs of `list` (`length` bytes of whole ACEs) before the ACE
// at `start` (MAXDWORD or past the end: at the end). A list that is not made
// of whole ACEs: ERROR_INVALID_PARAMETER.
BOOL AddAce(PACL acl, DWORD revision, DWORD start, void* list, DWORD length);
// A pointer to the index-th ACE; ERROR_INVALID_PARAMETER past the end.
BOOL GetAce(PACL acl, DWORD index, void** ace);
// Removes the index-th ACE; ERROR_INVALID_PARAMETER past the end.
BOOL DeleteAce(PACL acl, DWORD index);

// ---- The same on bytes, for the layer.

struct NtAce {
  BYTE type = ACCESS_ALLOWED_ACE_TYPE;
  BYTE flags = 0;
  ACCESS_MASK mask = 0;
  std::string sid;  // binary
};

// The ACL's bytes (as given by its AclSize), or empty when `acl` is not a
// valid ACL.
std::string nt_acl_bytes(const void* acl);
// An ACL of revision 2 holding exactly the given ACEs.
std::string nt_acl_make(const std::vector<NtAce>& aces);
// The ACEs of a valid ACL held in `bytes`; false when it is not one.
bool nt_acl_parse(std::string_view bytes, std::vector<NtAce>* aces);
// Whether `bytes` hold a valid ACL whose AclSize fits in them.
bool nt_acl_valid(std::string_view bytes);
