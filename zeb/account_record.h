// The job account record: 64 bytes holding a domain, a user and a password,
// scrambled so that the password is not plain text in the registry.
//
//   offset 0       seed, in plain
//   offset 1..59   area: from o = seed % 4 + 2 the domain, the user and the
//                  password, each NUL-terminated, at most 15 characters;
//                  the other bytes of the area are zero
//   offset 60..63  check sum: the sum over bytes 0..59 of
//                  (byte + offset + o), little-endian
//
// Bytes 1..63 are combined by exclusive or with a keystream made from the
// seed; doing it again gives the plain bytes back.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/win32_types.h"

constexpr size_t ACCOUNT_RECORD_SIZE = 64;
constexpr size_t ACCOUNT_FIELD_MAX = 15;
constexpr size_t ACCOUNT_CHECKSUM_OFFSET = 60;
// Account names on the user command's command line: each part of
// "domain\user" must be shorter than this.
constexpr size_t ACCOUNT_NAME_PART_LIMIT = 24;
// Indexes are value names of three digits, "001" to "999".
constexpr int ACCOUNT_INDEX_MIN = 1;
constexpr int ACCOUNT_INDEX_MAX = 999;

struct AccountRecord {
  BYTE bytes[ACCOUNT_RECORD_SIZE];
};

struct AccountFields {
  std::string domain;
  std::string user;
  std::string password;
};

// Where the strings begin for a seed: 2..5.
inline size_t account_area_offset(BYTE seed) { return seed % 4u + 2u; }

// The 64 keystream bytes of a seed.
void account_keystream(BYTE seed, BYTE out[ACCOUNT_RECORD_SIZE]);
// The check sum of plain bytes 0..59.
DWORD account_checksum(const BYTE plain[ACCOUNT_RECORD_SIZE]);
// Exclusive or of bytes 1..63 with the keystream of byte 0: scrambles plain
// bytes and unscrambles scrambled ones.
void account_scramble(BYTE bytes[ACCOUNT_RECORD_SIZE]);

// A scrambled record from the three strings, each cut to 15 characters
// (never splitting a character), with the given seed.
AccountRecord account_record_make(BYTE seed, const char* domain, const char* user,
                                  const char* password);
// The seed of a record made now: the low byte of the milliseconds of the
// current system time.
BYTE account_seed_now();
// A record with a seed drawn now; then waits as many milliseconds as the
// seed, so that two records made in a row get different seeds.
AccountRecord account_record_make_now(const char* domain, const char* user, const char* password);

// Unscrambles a record and gives its strings. A record whose check sum does
// not match, or whose strings are not each terminated within 16 bytes and
// inside the area, is unreadable: false, and `fields` is left alone.
bool account_record_read(const AccountRecord& rec, AccountFields* fields);

// The 64 bytes as 128 upper-case hexadecimal digits, and back from "0x"
// followed by exactly 128 digits of either case (130 characters in all).
std::string account_record_to_hex(const AccountRecord& rec);
bool account_record_from_hex(const char* text, AccountRecord* rec);

// Value name of an index: "%03d" for 1..999, else empty.
std::string account_index_name(int index);
// An index from one to three decimal digits (value names and /u digits);
// false for anything else, and for 0.
bool account_parse_index(const char* text, int* index);

// What the /u text of the user command asks for.
enum class AccountOption {
  list,   // no /u
  index,  // digits only
  hex,    // begins with "0x": a whole record (its length is checked apart)
  name,   // "domain\user" or "user"
};
AccountOption account_option_kind(const char* text);

enum class AccountNameSplit { ok, domain_too_long, user_too_long };
// Splits "domain\user" at the first backslash (no backslash: empty domain).
// Each part must be shorter than 24 characters.
AccountNameSplit account_split_name(const char* text, std::string* domain, std::string* user);

// Domain and user equal with case ignored.
bool account_names_match(const std::string& domain_a, const std::string& user_a,
                         const std::string& domain_b, const std::string& user_b);
