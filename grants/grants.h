// Access grant lists: a grants text ("SALES\admins:F Everyone:R") turned
// into an ACL, an ACL turned back into a grants text, and the account
// lookups both ways, answered by a given server's account database.
//
// Messages go to standard error with the label set by grants_set_label
// ("USEC" unless told otherwise): "USEC-ERROR, ...". Every entry that cannot
// be read, resolved or added is reported and left out; the rest is built.
#pragma once

#include <string>

#include "platform/security/acl.h"
#include "platform/security/sid.h"
#include "platform/win32_types.h"

// Room the callers give: an ACL built from a grants text, a SID read by a
// lookup, a grants text in a fixed buffer, and account and domain names
// (23 characters and a terminator).
constexpr DWORD GRANTS_ACL_SIZE = 4096;
constexpr DWORD GRANTS_SID_SIZE = 1024;
constexpr size_t GRANTS_TEXT_SIZE = 1024;
constexpr DWORD GRANTS_NAME_CHARS = 24;
// Each entry of a grants text reserves this much of the ACL, plus the header.
constexpr DWORD GRANTS_ACL_BYTES_PER_ENTRY = 40;

// The label of the messages (at most 15 characters kept).
void grants_set_label(const char* label);

// Builds an ACL of revision 2 in `acl` (a buffer of `acl_size` bytes, 4-byte
// aligned) sized 40 bytes per entry plus 8, but never more than `acl_size`
// (entries that no longer fit are reported as not added). Entries keep the
// text's order; denied entries are not moved ahead. Returns the number of
// ACEs added; 0 is a failed conversion for the caller.
int grants_to_acl(const WCHAR* server, const char* text, PACL acl, DWORD acl_size);

// The grants text of an ACL: "domain\name:<access><flags> " per ACE, in the
// list's order. A null ACL gives an empty text and no ACEs. `aces` gets the
// number of ACEs in the list. Returns ERROR_SUCCESS, or the error of an ACE
// that cannot be read (the text then holds the entries before it).
DWORD acl_to_grants(const WCHAR* server, PACL acl, std::string* text, int* aces);
// The same into a buffer of `size` bytes: only whole entries are written;
// when one does not fit it and all after it are left out and the result is
// ERROR_MORE_DATA (the text and `aces` are still usable).
DWORD acl_to_grants(const WCHAR* server, PACL acl, char* text, size_t size, int* aces);

// The SID of "name" or "domain\name" (at most 23 characters each part; a
// longer or empty part maps to nothing), into `sid` (`sid_size` bytes).
// The account part alone is looked up on `server` (null or empty: the local
// machine); a given domain must equal the one the lookup reports, case
// ignored. False after printing why.
bool name_to_sid(const WCHAR* server, const char* name, PSID sid, DWORD sid_size);

// Domain and account name of a SID as `server` reports them (each at most
// 23 characters). The names are filled in any case: "AccountUnknown" when
// no account maps to the SID, "AccountDeleted" when the lookup gives an
// empty name, "ERROR" when it fails otherwise (the domain is then empty).
// True when the lookup succeeded.
bool sid_to_name(const WCHAR* server, PSID sid, std::string* domain, std::string* name);
