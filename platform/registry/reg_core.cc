#include "platform/registry/reg_core.h"

#include <algorithm>
#include <cstring>
#include <mutex>
#include <unordered_map>

#include "platform/kernel/error.h"
#include "platform/network/machine.h"
#include "platform/network/network.h"
#include "platform/nls/codepage.h"
#include "platform/registry/reg_security.h"

namespace {

constexpr REGSAM kDelete = 0x00010000;
constexpr REGSAM kReadControl = 0x00020000;
constexpr REGSAM kWriteDac = 0x00040000;
constexpr REGSAM kWriteOwner = 0x00080000;
constexpr REGSAM kMaximumAllowed = 0x02000000;
constexpr REGSAM kGenericAll = 0x10000000;
constexpr REGSAM kGenericExecute = 0x20000000;
constexpr REGSAM kGenericWrite = 0x40000000;
constexpr REGSAM kGenericRead = 0x80000000;
constexpr REGSAM kFullAccess = KEY_ALL_ACCESS;

constexpr uintptr_t kFirstHandle = 0x1000;

std::mutex g_mutex;
std::unordered_map<uintptr_t, RegOpenKey>* g_handles = nullptr;
uintptr_t g_next_handle = kFirstHandle;

uintptr_t handle_value(HKEY key) { return reinterpret_cast<uintptr_t>(key); }

// Where a predefined key lives below a stored root.
struct Predefined {
  uintptr_t handle;
  int64_t root;
  bool user;  // below the current user's key in HKEY_USERS
  const char16_t* path;
};
const Predefined kPredefined[] = {
    {0x80000000u, kRegRootMachine, false, u"SOFTWARE\\Classes"},
    {0x80000001u, kRegRootUsers, true, u""},
    {0x80000002u, kRegRootMachine, false, u""},
    {0x80000003u, kRegRootUsers, false, u""},
    {0x80000005u, kRegRootMachine, false, u"SYSTEM\\CurrentControlSet\\Hardware Profiles\\Current"},
};

const Predefined* find_predefined(HKEY key) {
  for (const Predefined& p : kPredefined)
    if (p.handle == handle_value(key)) return &p;
  return nullptr;
}

// The key of a predefined handle in a machine's store, created when missing
// (the user's key appears at first use, as a profile is made at first logon).
DWORD open_predefined(const std::shared_ptr<MachineStore>& store, const Predefined& p,
                      RegOpenKey* out) {
  DWORD err = reg_prepare(*store);
  if (err != ERROR_SUCCESS) return err;
  out->store = store;
  out->access = kFullAccess;
  out->remote = false;
  if (!p.user && p.path[0] == 0) {
    out->id = p.root;
    return ERROR_SUCCESS;
  }
  std::u16string path = p.user ? nt_ansi_to_wide(nt_reg_current_user_sid()) : p.path;
  auto lock = store->lock();
  {
    StoreReadTransaction snapshot(*store);
    err = reg_find_path(*store, p.root, path, &out->id);
  }
  if (err != ERROR_FILE_NOT_FOUND) return err;
  StoreTransaction tx(*store);
  if ((err = tx.begin_error()) != ERROR_SUCCESS) return err;
  bool created;
  err = reg_create_path(*store, p.root, path, u"", false, true, &out->id, &created);
  if (err != ERROR_SUCCESS) return err;
  return tx.commit();
}

// Runs `f(store, key)` with the store's lock held, on the key behind `key`.
template <typename F>
DWORD with_key(HKEY key, REGSAM needed, F f) {
  RegOpenKey open;
  DWORD err = reg_resolve(key, &open);
  if (err != ERROR_SUCCESS) return err;
  if ((open.access & needed) != needed) return ERROR_ACCESS_DENIED;
  auto lock = open.store->lock();
  return f(*open.store, open);
}

// A predefined key gives the caller what its descriptor allows.
DWORD limit_to_caller(RegOpenKey* open) {
  std::shared_ptr<NtToken> token = reg_caller_token(*open);
  auto lock = open->store->lock();
  REGSAM granted = 0;
  DWORD err = reg_check_access(*open->store, open->id, *token, MAXIMUM_ALLOWED, &granted);
  if (err == ERROR_ACCESS_DENIED) granted = 0;
  else if (err != ERROR_SUCCESS) return err;
  open->access = granted;
  return ERROR_SUCCESS;
}

}  // namespace

LONG reg_result(DWORD code) {
  SetLastError(code);
  return static_cast<LONG>(code);
}

bool reg_is_predefined(HKEY key) { return find_predefined(key) != nullptr; }

REGSAM reg_map_access(REGSAM requested) {
  REGSAM access = requested & (kFullAccess | kDelete | kReadControl | kWriteDac | kWriteOwner);
  if (requested & kGenericRead) access |= KEY_READ;
  if (requested & kGenericWrite) access |= KEY_WRITE;
  if (requested & kGenericExecute) access |= KEY_EXECUTE;
  if (requested & (kGenericAll | kMaximumAllowed)) access |= kFullAccess;
  return access;
}

DWORD reg_resolve(HKEY key, RegOpenKey* out) {
  if (key == nullptr) return ERROR_INVALID_HANDLE;
  if (const Predefined* p = find_predefined(key)) {
    NtMachineRef machine;
    DWORD err = nt_open_machine(std::string_view(), &machine);
    if (err != ERROR_SUCCESS) return err;
    if ((err = open_predefined(machine.store, *p, out)) != ERROR_SUCCESS) return err;
    return limit_to_caller(out);
  }
  {
    std::lock_guard<std::mutex> guard(g_mutex);
    if (g_handles == nullptr) return ERROR_INVALID_HANDLE;
    auto it = g_handles->find(handle_value(key));
    if (it == g_handles->end()) return ERROR_INVALID_HANDLE;
    if (!it->second.store->owned_by_this_process()) {
      // Inherited over fork: the child gets its own connection to the file.
      DWORD err;
      auto store = nt_store_open(it->second.store->path(), &err);
      if (!store) return it->second.remote ? RPC_S_SERVER_UNAVAILABLE : err;
      it->second.store = store;
    }
    *out = it->second;
  }
  if (out->remote) {
    bool online = false;
    if (nt_machine_is_online(*out->store, &online) != ERROR_SUCCESS || !online)
      return RPC_S_SERVER_UNAVAILABLE;
  }
  return ERROR_SUCCESS;
}

HKEY reg_add_handle(const RegOpenKey& key) {
  std::lock_guard<std::mutex> guard(g_mutex);
  if (g_handles == nullptr) g_handles = new std::unordered_map<uintptr_t, RegOpenKey>();
  uintptr_t value = g_next_handle;
  g_next_handle += 4;
  if (g_next_handle >= 0x80000000u) g_next_handle = kFirstHandle;
  (*g_handles)[value] = key;
  return reinterpret_cast<HKEY>(value);
}

DWORD reg_open(HKEY key, std::u16string_view sub_key, REGSAM access, HKEY* result) {
  RegOpenKey open;
  DWORD err = reg_resolve(key, &open);
  if (err != ERROR_SUCCESS) return err;
  std::shared_ptr<NtToken> token = open.admin ? nullptr : reg_caller_token(open);
  REGSAM granted = reg_map_access(access);
  {
    auto lock = open.store->lock();
    StoreReadTransaction snapshot(*open.store);
    int64_t id;
    if ((err = reg_find_path(*open.store, open.id, sub_key, &id)) != ERROR_SUCCESS) return err;
    if (token && (err = reg_check_access(*open.store, id, *token, access, &granted)) !=
                     ERROR_SUCCESS) {
      return err;
    }
    open.id = id;
  }
  open.access = granted;
  *result = reg_add_handle(open);
  return ERROR_SUCCESS;
}

DWORD reg_create(HKEY key, std::u16string_view sub_key, std::u16string_view class_name,
                 DWORD options, REGSAM access, HKEY* result, DWORD* disposition,
                 const void* security) {
  RegOpenKey open;
  DWORD err = reg_resolve(key, &open);
  if (err != ERROR_SUCCESS) return err;
  std::shared_ptr<NtToken> token = open.admin ? nullptr : reg_caller_token(open);
  REGSAM granted = reg_map_access(access);
  bool created = false;
  {
    auto lock = open.store->lock();
    int64_t id;
    {
      StoreReadTransaction snapshot(*open.store);
      err = reg_find_path(*open.store, open.id, sub_key, &id);
      if (err == ERROR_SUCCESS && token &&
          (err = reg_check_access(*open.store, id, *token, access, &granted)) != ERROR_SUCCESS) {
        return err;
      }
    }
    if (err == ERROR_FILE_NOT_FOUND) {
      StoreTransaction tx(*open.store);
      if ((err = tx.begin_error()) != ERROR_SUCCESS) return err;
      // The right to create is the handle's when the new key lies right
      // below it, else that of the deepest key that exists on the way.
      int64_t ancestor = open.id;
      if (token && (err = reg_deepest_existing(*open.store, open.id, sub_key, &ancestor)) !=
                       ERROR_SUCCESS) {
        return err;
      }
      if (ancestor == open.id) {
        if (!(open.access & KEY_CREATE_SUB_KEY)) return ERROR_ACCESS_DENIED;
      } else {
        REGSAM may = 0;
        err = reg_check_access(*open.store, ancestor, *token, KEY_CREATE_SUB_KEY, &may);
        if (err != ERROR_SUCCESS) return err;
      }
      err = reg_create_path(*open.store, open.id, sub_key, class_name,
                            (options & REG_OPTION_VOLATILE) != 0, false, &id, &created);
      if (err != ERROR_SUCCESS) return err;
      // The creator gets the access it asked for, whatever the new key's
      // descriptor says, as NT gives it.
      if (token &&
          (err = reg_secure_new_keys(*open.store, ancestor, id, *token, security)) !=
              ERROR_SUCCESS) {
        return err;
      }
      if ((err = tx.commit()) != ERROR_SUCCESS) return err;
    } else if (err != ERROR_SUCCESS) {
      return err;
    }
    open.id = id;
  }
  open.access = granted;
  *result = reg_add_handle(open);
  if (disposition) *disposition = created ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
  return ERROR_SUCCESS;
}

DWORD reg_query(HKEY key, std::u16string_view name, RegValueRow* row) {
  return with_key(key, KEY_QUERY_VALUE, [&](MachineStore& store, const RegOpenKey& open) {
    return reg_get_value(store, open.id, name, row);
  });
}

DWORD reg_set(HKEY key, std::u16string_view name, DWORD type, std::string_view data) {
  return with_key(key, KEY_SET_VALUE, [&](MachineStore& store, const RegOpenKey& open) {
    StoreTransaction tx(store);
    DWORD err = tx.begin_error();
    if (err != ERROR_SUCCESS) return err;
    if ((err = reg_set_value(store, open.id, name, type, data, reg_now())) != ERROR_SUCCESS)
      return err;
    return tx.commit();
  });
}

DWORD reg_enum_key(HKEY key, DWORD index, RegKeyRow* row) {
  return with_key(key, KEY_ENUMERATE_SUB_KEYS, [&](MachineStore& store, const RegOpenKey& open) {
    return reg_subkey_at(store, open.id, index, row);
  });
}

DWORD reg_enum_value(HKEY key, DWORD index, RegValueRow* row) {
  return with_key(key, KEY_QUERY_VALUE, [&](MachineStore& store, const RegOpenKey& open) {
    return reg_value_at(store, open.id, index, row);
  });
}

DWORD reg_delete_key(HKEY key, std::u16string_view sub_key) {
  RegOpenKey caller;
  DWORD resolved = reg_resolve(key, &caller);
  if (resolved != ERROR_SUCCESS) return resolved;
  std::shared_ptr<NtToken> token = caller.admin ? nullptr : reg_caller_token(caller);
  return with_key(key, 0, [&](MachineStore& store, const RegOpenKey& open) {
    StoreTransaction tx(store);
    DWORD err = tx.begin_error();
    if (err != ERROR_SUCCESS) return err;
    int64_t id;
    if ((err = reg_find_path(store, open.id, sub_key, &id)) != ERROR_SUCCESS) return err;
    REGSAM granted;
    if (token && (err = reg_check_access(store, id, *token, DELETE, &granted)) != ERROR_SUCCESS) {
      return err;
    }
    if ((err = reg_delete_key(store, id, reg_now())) != ERROR_SUCCESS) return err;
    return tx.commit();
  });
}

DWORD reg_delete_value(HKEY key, std::u16string_view name) {
  return with_key(key, KEY_SET_VALUE, [&](MachineStore& store, const RegOpenKey& open) {
    StoreTransaction tx(store);
    DWORD err = tx.begin_error();
    if (err != ERROR_SUCCESS) return err;
    if ((err = reg_delete_value(store, open.id, name, reg_now())) != ERROR_SUCCESS) return err;
    return tx.commit();
  });
}

DWORD reg_info(HKEY key, RegKeyRow* row, RegKeyCounts* counts) {
  return with_key(key, KEY_QUERY_VALUE, [&](MachineStore& store, const RegOpenKey& open) {
    StoreReadTransaction snapshot(store);
    DWORD err = reg_get_key(store, open.id, row);
    if (err != ERROR_SUCCESS) return err;
    return reg_key_counts(store, open.id, counts);
  });
}

DWORD reg_info_ansi(HKEY key, RegKeyRow* row, RegKeyCounts* counts) {
  return with_key(key, KEY_QUERY_VALUE, [&](MachineStore& store, const RegOpenKey& open) {
    StoreReadTransaction snapshot(store);
    DWORD err = reg_get_key(store, open.id, row);
    if (err != ERROR_SUCCESS) return err;
    if ((err = reg_key_counts(store, open.id, counts)) != ERROR_SUCCESS) return err;
    auto bytes = [](std::u16string_view text) {
      return static_cast<DWORD>(nt_wide_to_ansi(text).size());
    };
    counts->max_subkey_name = counts->max_class = 0;
    err = reg_each_subkey(store, open.id, [&](const RegKeyRow& sub) {
      counts->max_subkey_name = std::max(counts->max_subkey_name, bytes(sub.name));
      counts->max_class = std::max(counts->max_class, bytes(sub.class_name));
    });
    if (err != ERROR_SUCCESS) return err;
    counts->max_value_name = counts->max_value_data = 0;
    return reg_each_value(store, open.id, [&](const RegValueRow& value) {
      counts->max_value_name = std::max(counts->max_value_name, bytes(value.name));
      DWORD size = reg_is_string_type(value.type)
                       ? static_cast<DWORD>(reg_data_to_ansi(value.data).size())
                       : static_cast<DWORD>(value.data.size());
      counts->max_value_data = std::max(counts->max_value_data, size);
    });
  });
}

bool reg_is_string_type(DWORD type) {
  return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ;
}

std::string reg_data_to_ansi(std::string_view stored) {
  std::u16string wide(stored.size() / 2, u'\0');
  for (size_t i = 0; i < wide.size(); ++i) {
    wide[i] = static_cast<char16_t>(static_cast<unsigned char>(stored[2 * i]) |
                                    (static_cast<unsigned char>(stored[2 * i + 1]) << 8));
  }
  return nt_wide_to_ansi(wide);
}

std::string reg_data_from_ansi(const BYTE* data, size_t size) {
  std::u16string wide = nt_ansi_to_wide(std::string_view(reinterpret_cast<const char*>(data), size));
  std::string out(wide.size() * 2, '\0');
  for (size_t i = 0; i < wide.size(); ++i) {
    out[2 * i] = static_cast<char>(wide[i] & 0xFF);
    out[2 * i + 1] = static_cast<char>(wide[i] >> 8);
  }
  return out;
}

DWORD reg_put_data(std::string_view data, BYTE* buffer, DWORD* size) {
  if (size == nullptr) return ERROR_SUCCESS;
  DWORD needed = static_cast<DWORD>(data.size());
  if (buffer != nullptr) {
    if (needed > *size) {
      *size = needed;
      return ERROR_MORE_DATA;
    }
    if (needed) memcpy(buffer, data.data(), needed);
  }
  *size = needed;
  return ERROR_SUCCESS;
}

// ---- calls that take no names

LONG RegCloseKey(HKEY key) {
  if (key == nullptr) return reg_result(ERROR_INVALID_HANDLE);
  if (reg_is_predefined(key)) return reg_result(ERROR_SUCCESS);
  std::lock_guard<std::mutex> guard(g_mutex);
  if (g_handles == nullptr || g_handles->erase(handle_value(key)) == 0)
    return reg_result(ERROR_INVALID_HANDLE);
  return reg_result(ERROR_SUCCESS);
}

LONG RegFlushKey(HKEY key) {
  RegOpenKey open;
  return reg_result(reg_resolve(key, &open));
}

// ---- the network's own entries

LONG nt_reg_prepare_machine(std::string_view machine) {
  NtMachineRef ref;
  DWORD err = nt_open_machine(machine, &ref, NtMachineAccess::admin);
  if (err != ERROR_SUCCESS) return reg_result(err);
  return reg_result(reg_prepare(*ref.store));
}

LONG nt_reg_open_machine_root(std::string_view machine, HKEY root, PHKEY result) {
  if (result == nullptr) return reg_result(ERROR_INVALID_PARAMETER);
  *result = nullptr;
  const Predefined* p = find_predefined(root);
  if (p == nullptr) return reg_result(ERROR_INVALID_HANDLE);
  NtMachineRef ref;
  DWORD err = nt_open_machine(machine, &ref, NtMachineAccess::admin);
  if (err != ERROR_SUCCESS) return reg_result(err);
  RegOpenKey open;
  if ((err = open_predefined(ref.store, *p, &open)) != ERROR_SUCCESS) return reg_result(err);
  open.admin = true;
  *result = reg_add_handle(open);
  return reg_result(ERROR_SUCCESS);
}

DWORD reg_connect(const NtMachineRef& machine, HKEY key, PHKEY result) {
  const Predefined* p = find_predefined(key);
  if (p == nullptr) return ERROR_INVALID_HANDLE;
  RegOpenKey open;
  DWORD err = open_predefined(machine.store, *p, &open);
  if (err != ERROR_SUCCESS) return err;
  open.remote = true;
  if ((err = limit_to_caller(&open)) != ERROR_SUCCESS) return err;
  *result = reg_add_handle(open);
  return ERROR_SUCCESS;
}

LONG nt_reg_get_key_security(HKEY key, std::string* descriptor) {
  if (descriptor == nullptr) return reg_result(ERROR_INVALID_PARAMETER);
  RegKeyRow row;
  DWORD err = with_key(key, 0, [&](MachineStore& store, const RegOpenKey& open) {
    return reg_get_key(store, open.id, &row);
  });
  if (err == ERROR_SUCCESS) *descriptor = row.security;
  return reg_result(err);
}

LONG nt_reg_set_key_security(HKEY key, std::string_view descriptor) {
  return reg_result(with_key(key, 0, [&](MachineStore& store, const RegOpenKey& open) {
    StoreTransaction tx(store);
    DWORD err = tx.begin_error();
    if (err != ERROR_SUCCESS) return err;
    if ((err = reg_set_security(store, open.id, descriptor)) != ERROR_SUCCESS) return err;
    return tx.commit();
  }));
}

void reg_put_key_info(const RegKeyRow& row, const RegKeyCounts& counts, DWORD* subkeys,
                      DWORD* max_subkey_len, DWORD* max_class_len, DWORD* values,
                      DWORD* max_value_name_len, DWORD* max_value_len, DWORD* security_size,
                      FILETIME* last_write) {
  if (subkeys) *subkeys = counts.subkeys;
  if (max_subkey_len) *max_subkey_len = counts.max_subkey_name;
  if (max_class_len) *max_class_len = counts.max_class;
  if (values) *values = counts.values;
  if (max_value_name_len) *max_value_name_len = counts.max_value_name;
  if (max_value_len) *max_value_len = counts.max_value_data;
  if (security_size) *security_size = static_cast<DWORD>(row.security.size());
  if (last_write) *last_write = u64_to_filetime(row.last_write);
}
