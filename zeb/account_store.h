// The job account store: key "Users" below the service key (class
// "ZEB Service"), one REG_BINARY value of 64 bytes per account, named by
// its index as three digits ("001" ...).
#pragma once

#include <string>
#include <vector>

#include "platform/registry/registry.h"
#include "zeb/account_record.h"

// Opens "Users" below the service key of `machine` (null or empty: the
// local machine), with `create` creating it when missing.
LONG account_store_open(const char* machine, bool create, HKEY* users);

// Creates the key `path` below `parent` as the account store (class "ZEB
// Service") with an access list that lets only the administrators and the
// system in, or opens it when it exists.
LONG account_store_create(HKEY parent, const char* path, HKEY* users);

struct AccountEntry {
  int index = 0;
  AccountRecord record{};
  bool readable = false;  // 64 bytes whose check sum matches
  AccountFields fields;   // when readable
};

struct AccountScan {
  std::vector<AccountEntry> entries;
  // Number of the last value enumerated (0 when none): a new account gets
  // the next one.
  int last_index = 0;
  // The matching entry when the scan looked for one, else -1.
  int match = -1;
  // ERROR_NO_MORE_ITEMS after the last value; ERROR_MORE_DATA when it ended
  // at a value whose name is longer than 3 characters or whose data is
  // longer than 64 bytes; else the registry's error.
  LONG end = ERROR_NO_MORE_ITEMS;
};

// Enumerates the values in registry order, stopping at the first one that
// does not fit. A value whose name is not one to three digits is no account
// and is passed over; one of fewer than 64 bytes is listed as unreadable.
// With `index` > 0 the scan stops at that index; with `domain` and `user`
// given, at the first readable entry whose domain and user equal them with
// case ignored. Returns ERROR_SUCCESS unless the enumeration itself failed
// (an error other than the two ends above).
LONG account_store_scan(HKEY users, int index, const char* domain, const char* user,
                        AccountScan* scan);

// Adds or modifies the account of a (scrambled) record: an entry with the
// same domain and user in any letter case keeps its index and gets the new
// bytes (`*added` false); else the record goes under the last index
// enumerated plus one (`*added` true). That index is taken only when free:
// the next free one above it is used instead, so a store written out of
// order never loses an account; past 999 the add fails with
// ERROR_NO_MORE_ITEMS. An unreadable record fails with ERROR_INVALID_DATA.
LONG account_store_put(HKEY users, const AccountRecord& rec, int* index, bool* added);

// Reads the value of an index (at most 64 bytes): ERROR_FILE_NOT_FOUND when
// there is none, ERROR_MORE_DATA when it is longer, ERROR_INVALID_DATA when
// it is shorter.
LONG account_store_read(HKEY users, int index, AccountRecord* rec);
// Reads and unscrambles an index: ERROR_INVALID_DATA when unreadable.
LONG account_store_lookup(HKEY users, int index, AccountFields* fields);

LONG account_store_delete(HKEY users, int index);
