// Security identifiers (SIDs): the binary form, its text form and the
// Win32 calls on them.
//
// Binary layout, byte-exact as NT keeps it:
//   offset 0  revision (always 1)
//   offset 1  number of sub-authorities (0 to 15)
//   offset 2  identifier authority, 6 bytes, big-endian
//   offset 8  sub-authorities, 4 bytes each, little-endian
// Text form: "S-1-<authority>-<sub>-<sub>...", numbers in decimal; an
// authority of 2^32 or more is written as 0x and 12 hexadecimal digits.
//
// Calls on a PSID read and write the bytes through memcpy, so a SID may sit
// at any address (inside a record, a registry value, a string).
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>

#include "platform/kernel/error.h"
#include "platform/win32_types.h"

using PSID = void*;

struct SID_IDENTIFIER_AUTHORITY {
  BYTE Value[6];
};

// The structure as the Win32 headers declare it. Code of the layer works on
// bytes; this is for callers that build a SID in place.
struct SID {
  BYTE Revision;
  BYTE SubAuthorityCount;
  SID_IDENTIFIER_AUTHORITY IdentifierAuthority;
  DWORD SubAuthority[1];
};

constexpr BYTE SID_REVISION = 1;
constexpr BYTE SID_MAX_SUB_AUTHORITIES = 15;
// 8 bytes of header and 15 sub-authorities.
constexpr DWORD SECURITY_MAX_SID_SIZE = 68;

// Identifier authorities.
constexpr uint64_t SECURITY_NULL_SID_AUTHORITY = 0;
constexpr uint64_t SECURITY_WORLD_SID_AUTHORITY = 1;
constexpr uint64_t SECURITY_LOCAL_SID_AUTHORITY = 2;
constexpr uint64_t SECURITY_CREATOR_SID_AUTHORITY = 3;
constexpr uint64_t SECURITY_NT_AUTHORITY = 5;

// Well-known relative identifiers.
constexpr DWORD SECURITY_DIALUP_RID = 1;
constexpr DWORD SECURITY_NETWORK_RID = 2;
constexpr DWORD SECURITY_BATCH_RID = 3;
constexpr DWORD SECURITY_INTERACTIVE_RID = 4;
constexpr DWORD SECURITY_SERVICE_RID = 6;
constexpr DWORD SECURITY_ANONYMOUS_LOGON_RID = 7;
constexpr DWORD SECURITY_AUTHENTICATED_USER_RID = 11;
constexpr DWORD SECURITY_LOCAL_SYSTEM_RID = 18;
constexpr DWORD SECURITY_NT_NON_UNIQUE = 21;
constexpr DWORD SECURITY_BUILTIN_DOMAIN_RID = 32;
constexpr DWORD DOMAIN_USER_RID_ADMIN = 500;
constexpr DWORD DOMAIN_USER_RID_GUEST = 501;
constexpr DWORD DOMAIN_ALIAS_RID_ADMINS = 544;
constexpr DWORD DOMAIN_ALIAS_RID_USERS = 545;
constexpr DWORD DOMAIN_ALIAS_RID_GUESTS = 546;
constexpr DWORD DOMAIN_ALIAS_RID_POWER_USERS = 547;
constexpr DWORD DOMAIN_ALIAS_RID_ACCOUNT_OPS = 548;
constexpr DWORD DOMAIN_ALIAS_RID_SYSTEM_OPS = 549;
constexpr DWORD DOMAIN_ALIAS_RID_PRINT_OPS = 550;
constexpr DWORD DOMAIN_ALIAS_RID_BACKUP_OPS = 551;
constexpr DWORD DOMAIN_ALIAS_RID_REPLICATOR = 552;

// What kind of account a SID or name stands for.
enum SID_NAME_USE {
  SidTypeUser = 1,
  SidTypeGroup,
  SidTypeDomain,
  SidTypeAlias,
  SidTypeWellKnownGroup,
  SidTypeDeletedAccount,
  SidTypeInvalid,
  SidTypeUnknown,
  SidTypeComputer,
};
using PSID_NAME_USE = SID_NAME_USE*;

// Size of a SID with `count` sub-authorities.
DWORD GetSidLengthRequired(BYTE count);

// True for a revision-1 SID with at most 15 sub-authorities. A null pointer
// is not valid (ERROR_INVALID_SID is left as the last error for any
// invalid SID).
BOOL IsValidSid(PSID sid);
// Length in bytes of a valid SID; 0 with ERROR_INVALID_SID otherwise.
DWORD GetLengthSid(PSID sid);
// Both valid and equal byte for byte; FALSE with ERROR_INVALID_SID when one
// is not valid, FALSE with ERROR_SUCCESS when they differ.
BOOL EqualSid(PSID a, PSID b);
// Copies a valid SID into a buffer of `size` bytes; a smaller buffer fails
// with ERROR_INSUFFICIENT_BUFFER and is left alone.
BOOL CopySid(DWORD size, PSID destination, PSID source);
// Writes revision, count and authority; the sub-authorities are left to the
// caller (GetSidSubAuthority). Count above 15: ERROR_INVALID_PARAMETER.
BOOL InitializeSid(PSID sid, const SID_IDENTIFIER_AUTHORITY* authority, BYTE count);
// Pointers into a SID; no checks, as in Win32 (the DWORD may be unaligned:
// read it with memcpy when the SID's address is not a multiple of four).
DWORD* GetSidSubAuthority(PSID sid, DWORD index);
BYTE* GetSidSubAuthorityCount(PSID sid);
SID_IDENTIFIER_AUTHORITY* GetSidIdentifierAuthority(PSID sid);

// A new SID of `count` (1 to 8) sub-authorities, released with FreeSid.
BOOL AllocateAndInitializeSid(const SID_IDENTIFIER_AUTHORITY* authority, BYTE count,
                              DWORD sub0, DWORD sub1, DWORD sub2, DWORD sub3, DWORD sub4,
                              DWORD sub5, DWORD sub6, DWORD sub7, PSID* sid);
// Returns null (Win32 convention).
void* FreeSid(PSID sid);

// The text form in a LocalAlloc'ed buffer (LocalFree releases it).
// ERROR_INVALID_SID for an invalid SID, ERROR_INVALID_PARAMETER for a null
// result pointer.
BOOL ConvertSidToStringSidA(PSID sid, char** text);
BOOL ConvertSidToStringSidW(PSID sid, WCHAR** text);
// The binary form of "S-1-..." (or one of the two-letter abbreviations WD,
// CO, NU, IU, AU, SY, BA, BU, BG, PU, AO, SO, PO, BO, RE) in a LocalAlloc'ed
// buffer. Anything else fails with ERROR_INVALID_SID.
BOOL ConvertStringSidToSidA(const char* text, PSID* sid);
BOOL ConvertStringSidToSidW(const WCHAR* text, PSID* sid);

// ---- The same for the layer's own code, on SIDs held in std::string.

// The SID of `authority` and sub-authorities (at most 15; more are dropped).
std::string nt_sid_make(uint64_t authority, std::initializer_list<DWORD> sub_authorities);
// `domain` (a valid SID with at most 14 sub-authorities) with `rid`
// appended; empty when that is not possible.
std::string nt_sid_append(std::string_view domain, DWORD rid);
// Whether `bytes` begins with a valid SID, and its length (0 when not).
size_t nt_sid_length(std::string_view bytes);
// Text form of a valid SID (empty for an invalid one).
std::string nt_sid_to_text(std::string_view sid);
// Parses the text form (or an abbreviation as above); false when invalid.
bool nt_sid_from_text(std::string_view text, std::string* sid);
// Parts of a valid SID.
uint64_t nt_sid_authority(std::string_view sid);
BYTE nt_sid_count(std::string_view sid);
DWORD nt_sid_sub_authority(std::string_view sid, BYTE index);
// The SID without its last sub-authority (the domain of an account SID);
// empty for a SID without sub-authorities.
std::string nt_sid_prefix(std::string_view sid);
