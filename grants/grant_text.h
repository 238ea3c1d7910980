// The grants text, both ways, without any lookup: a blank-separated list of
// entries "name:access[flags]" read into entries, and the text of one ACE.
//
//   access  R r  allowed 0xA0000000    W w  allowed 0xE0010000
//           F f  allowed 0x10000000    X x  allowed 0x20000000
//           N n  denied  0x10000000    0x and eight hex digits: allowed, that mask
//   flags   c 0x02 (container inherit)  i 0x08 (inherit only)
//           n 0x04 (no propagation)     o 0x01 (object inherit); other letters
//           up to the next blank are passed over
//
// The name runs up to the entry's colon and may hold blanks; the entry ends
// at the next blank after the colon. An entry without a colon takes the rest
// of the text as its name and has no access.
#pragma once

#include <string>
#include <vector>

#include "platform/win32_types.h"

// ACE types and flags the grants text knows.
constexpr BYTE GRANT_ACE_ALLOWED = 0;  // ACCESS_ALLOWED_ACE_TYPE
constexpr BYTE GRANT_ACE_DENIED = 1;   // ACCESS_DENIED_ACE_TYPE
constexpr BYTE GRANT_FLAG_OBJECT_INHERIT = 0x01;
constexpr BYTE GRANT_FLAG_CONTAINER_INHERIT = 0x02;
constexpr BYTE GRANT_FLAG_NO_PROPAGATE = 0x04;
constexpr BYTE GRANT_FLAG_INHERIT_ONLY = 0x08;

// Masks of the access letters.
constexpr DWORD GRANT_MASK_READ = 0xA0000000u;
constexpr DWORD GRANT_MASK_WRITE = 0xE0010000u;
constexpr DWORD GRANT_MASK_FULL = 0x10000000u;
constexpr DWORD GRANT_MASK_EXECUTE = 0x20000000u;

// Longest account name an entry holds, and the longest domain part and
// account part a lookup takes (characters).
constexpr int GRANT_NAME_MAX = 255;
constexpr int GRANT_NAME_PART_MAX = 23;

struct GrantEntry {
  std::string name;        // as written, at most GRANT_NAME_MAX characters
  bool access_ok = false;  // false: unknown letter, no access, bad or zero mask
  BYTE type = GRANT_ACE_ALLOWED;
  BYTE flags = 0;
  bool flag_letters = false;  // letters followed the access (even if none counted)
  DWORD mask = 0;
};

// The entries of a grants text in order (an absent text has none).
std::vector<GrantEntry> parse_grants(const char* text);

// The access text of an ACE: "N" for a denied ACE, else the letter of the
// mask or "0x%08X".
std::string grant_access_text(BYTE type, DWORD mask);

// The flag letters, in the order c, i, n, o.
std::string grant_flag_text(BYTE flags);

// One entry of the output text: "domain\name:<access><flags> ".
std::string grant_entry_text(const std::string& domain, const std::string& name, BYTE type,
                             BYTE flags, DWORD mask);

// One entry of a grants text taken apart for display: the name split at its
// first backslash (no backslash: empty domain) and what follows the colon.
struct GrantTextEntry {
  std::string domain;
  std::string name;
  std::string access;  // access and flag letters
};

// The entries of a grants text, split as parse_grants splits them.
std::vector<GrantTextEntry> split_grants_text(const char* text);
