// Share permissions: the security descriptor a share is added or changed
// with, built from a grants text, and the grants text of a share's
// descriptor. Lines go to standard error as "PORTEL-ERROR, ..."; the grant
// conversions print their own "USEC-ERROR, ..." lines.
#pragma once

#include <string>

#include "grants/grants.h"
#include "platform/security/security_descriptor.h"
#include "platform/win32_types.h"

// An absolute descriptor and the room for its access list.
struct ShareDescriptor {
  SECURITY_DESCRIPTOR sd{};
  alignas(8) BYTE acl[GRANTS_ACL_SIZE]{};
  int aces = 0;  // entries in the access list (0 without one)
};

// Builds `out`. With a non-empty `grants` text the access list is made from
// it, the names looked up on `server`; a text that yields no entry prints
// "PORTEL-ERROR, cannot convert grants to ACL". Without grants (null or
// empty) the descriptor has no access list: everyone has full access.
// False after printing why.
bool build_share_descriptor(const WCHAR* server, const char* grants, ShareDescriptor* out);

// The grants text and the number of entries of a share's descriptor (null:
// none, which gives an empty text and 0). False after printing why: the
// access list cannot be read from the descriptor, or one of its entries
// cannot be read.
bool share_grants(const WCHAR* server, PSECURITY_DESCRIPTOR sd, std::string* text, int* aces);
