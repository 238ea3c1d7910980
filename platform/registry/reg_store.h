// The registry's tables in a machine's store, and the operations on them.
//
// Subsystem "registry", version 1:
//   reg_keys(id, parent, name, name_key, class, last_write, volatile, security)
//     id        AUTOINCREMENT, never reused, so that a handle of a deleted key
//               never reaches a newer one; the roots are 1 (HKEY_LOCAL_MACHINE)
//               and 2 (HKEY_USERS), parent 0
//     name      as given at creation (8-bit text, see wtf8.h)
//     name_key  the name upper-cased, as UTF-16 big-endian bytes: unique per
//               parent; its byte order is NT's case-insensitive order of names
//     class     UTF-16LE bytes; last_write FILETIME (UTC, 100 ns units);
//     security  a self-relative security descriptor or NULL (the default)
//   reg_values(id, key_id, name, name_key, type, data)
//     id gives the creation order; data is the value's bytes exactly as
//     stored (strings as UTF-16LE, with or without their terminator).
//
// All calls below but reg_prepare need the store's lock held; the writing
// ones also an open StoreTransaction.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/network/machine_store.h"
#include "platform/registry/registry.h"
#include "platform/win32_types.h"

constexpr int64_t kRegRootMachine = 1;
constexpr int64_t kRegRootUsers = 2;

// Longest key name (one path component) and value name, in characters.
constexpr size_t kRegMaxKeyNameLength = 255;
constexpr size_t kRegMaxValueNameLength = 16383;

// Creates the tables and the keys every machine has (once per connection).
DWORD reg_prepare(MachineStore& store);

// The lookup key of a name: upper case, UTF-16 big-endian bytes.
std::string reg_name_key(std::u16string_view name);

struct RegKeyRow {
  int64_t id = 0;
  int64_t parent = 0;
  std::u16string name;
  std::u16string class_name;
  uint64_t last_write = 0;
  std::string security;
};

struct RegValueRow {
  std::u16string name;
  DWORD type = 0;
  std::string data;
};

// Finds the key `path` ("A\B\C"; empty: `start` itself) below `start`.
// ERROR_FILE_NOT_FOUND when a component is missing, ERROR_BAD_PATHNAME for a
// leading or doubled backslash, ERROR_INVALID_PARAMETER for a component
// longer than 255 characters.
DWORD reg_find_path(MachineStore& store, int64_t start, std::u16string_view path, int64_t* id);

// Finds or creates every component of `path` below `start`; the last one is
// given `class_name` when it is created. *created tells whether it was.
// Creating a key right below a root fails with ERROR_ACCESS_DENIED unless
// `allow_hive` (hives are not created this way).
DWORD reg_create_path(MachineStore& store, int64_t start, std::u16string_view path,
                      std::u16string_view class_name, bool is_volatile, bool allow_hive,
                      int64_t* id, bool* created);

// ERROR_SUCCESS when the key exists, ERROR_KEY_DELETED when not.
DWORD reg_key_alive(MachineStore& store, int64_t id);
DWORD reg_get_key(MachineStore& store, int64_t id, RegKeyRow* row);
// The index-th subkey in NT's order; ERROR_NO_MORE_ITEMS past the end.
DWORD reg_subkey_at(MachineStore& store, int64_t id, DWORD index, RegKeyRow* row);

struct RegKeyCounts {
  DWORD subkeys = 0;
  DWORD max_subkey_name = 0;  // characters
  DWORD max_class = 0;        // characters
  DWORD values = 0;
  DWORD max_value_name = 0;  // characters
  DWORD max_value_data = 0;  // bytes as stored
};
DWORD reg_key_counts(MachineStore& store, int64_t id, RegKeyCounts* counts);

// ERROR_FILE_NOT_FOUND when there is no such value.
DWORD reg_get_value(MachineStore& store, int64_t key, std::u16string_view name, RegValueRow* row);
// The index-th value in creation order; ERROR_NO_MORE_ITEMS past the end.
DWORD reg_value_at(MachineStore& store, int64_t key, DWORD index, RegValueRow* row);
// Visits every value / subkey in order (for size questions of the A forms).
template <typename F>
DWORD reg_each_value(MachineStore& store, int64_t key, F f);
template <typename F>
DWORD reg_each_subkey(MachineStore& store, int64_t key, F f);

// Writing calls; each sets the key's last-write time to `now`.
DWORD reg_set_value(MachineStore& store, int64_t key, std::u16string_view name, DWORD type,
                    std::string_view data, uint64_t now);
DWORD reg_delete_value(MachineStore& store, int64_t key, std::u16string_view name, uint64_t now);
// Deletes a key without subkeys and its values (ERROR_ACCESS_DENIED when it
// has subkeys or is a root or a hive); the parent's last-write time is set.
DWORD reg_delete_key(MachineStore& store, int64_t id, uint64_t now);
DWORD reg_set_security(MachineStore& store, int64_t id, std::string_view descriptor);

// Current time as the registry records it (UTC FILETIME).
uint64_t reg_now();

// Columns of the tables: 8-bit text names and UTF-16LE class bytes.
std::u16string reg_text_column(StoreQuery& q, int col);
std::u16string reg_utf16_column(StoreQuery& q, int col);

template <typename F>
DWORD reg_each_value(MachineStore& store, int64_t key, F f) {
  StoreQuery q(store, "SELECT name, type, data FROM reg_values WHERE key_id=? ORDER BY id");
  q.bind(1, key);
  while (q.step()) {
    RegValueRow row;
    row.name = reg_text_column(q, 0);
    row.type = static_cast<DWORD>(q.column_int64(1));
    row.data = std::string(q.column_blob(2));
    f(row);
  }
  return q.error();
}

template <typename F>
DWORD reg_each_subkey(MachineStore& store, int64_t key, F f) {
  StoreQuery q(store, "SELECT name, class FROM reg_keys WHERE parent=? ORDER BY name_key");
  q.bind(1, key);
  while (q.step()) {
    RegKeyRow row;
    row.name = reg_text_column(q, 0);
    row.class_name = reg_utf16_column(q, 1);
    f(row);
  }
  return q.error();
}
