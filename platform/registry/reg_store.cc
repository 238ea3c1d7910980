#include "platform/registry/reg_store.h"

#include "platform/kernel/clock.h"
#include "platform/kernel/error.h"
#include "platform/network/wtf8.h"
#include "platform/nls/codepage.h"

namespace {

// Keys every machine has from the start.
const char16_t* const kMachineSeed[] = {
    u"HARDWARE",
    u"SAM",
    u"SECURITY",
    u"SOFTWARE\\Classes",
    u"SYSTEM\\CurrentControlSet\\Control\\Session Manager\\Environment",
    u"SYSTEM\\CurrentControlSet\\Hardware Profiles\\Current",
    u"SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application",
    u"SYSTEM\\CurrentControlSet\\Services\\EventLog\\System",
    u"SYSTEM\\CurrentControlSet\\Services\\EventLog\\Security",
};
const char16_t* const kUsersSeed[] = {u".DEFAULT"};

std::string utf16_bytes(std::u16string_view text) {
  std::string out(text.size() * 2, '\0');
  for (size_t i = 0; i < text.size(); ++i) {
    out[2 * i] = static_cast<char>(text[i] & 0xFF);
    out[2 * i + 1] = static_cast<char>(text[i] >> 8);
  }
  return out;
}

DWORD upgrade_registry(MachineStore& store, int from) {
  if (from >= 1) return ERROR_SUCCESS;
  DWORD err = store.exec(
      "CREATE TABLE reg_keys("
      " id INTEGER PRIMARY KEY AUTOINCREMENT,"
      " parent INTEGER NOT NULL,"
      " name TEXT NOT NULL,"
      " name_key BLOB NOT NULL,"
      " class BLOB NOT NULL DEFAULT x'',"
      " last_write INTEGER NOT NULL,"
      " volatile INTEGER NOT NULL DEFAULT 0,"
      " security BLOB,"
      " UNIQUE(parent, name_key));"
      "CREATE TABLE reg_values("
      " id INTEGER PRIMARY KEY,"
      " key_id INTEGER NOT NULL REFERENCES reg_keys(id) ON DELETE CASCADE,"
      " name TEXT NOT NULL,"
      " name_key BLOB NOT NULL,"
      " type INTEGER NOT NULL,"
      " data BLOB NOT NULL,"
      " UNIQUE(key_id, name_key));"
      "CREATE INDEX reg_values_by_key ON reg_values(key_id);");
  if (err != ERROR_SUCCESS) return err;
  uint64_t now = reg_now();
  struct Root {
    int64_t id;
    const char16_t* name;
  };
  for (Root root : {Root{kRegRootMachine, u"HKEY_LOCAL_MACHINE"}, Root{kRegRootUsers, u"HKEY_USERS"}}) {
    StoreQuery q(store,
                 "INSERT INTO reg_keys(id, parent, name, name_key, last_write)"
                 " VALUES(?, 0, ?, ?, ?)");
    std::string key = reg_name_key(root.name);
    q.bind(1, root.id)
        .bind_text(2, nt_wtf8_from_utf16(root.name))
        .bind_blob(3, key.data(), key.size())
        .bind(4, static_cast<int64_t>(now));
    if ((err = q.run()) != ERROR_SUCCESS) return err;
  }
  int64_t id;
  bool created;
  for (const char16_t* path : kMachineSeed) {
    err = reg_create_path(store, kRegRootMachine, path, u"", false, true, &id, &created);
    if (err != ERROR_SUCCESS) return err;
  }
  for (const char16_t* path : kUsersSeed) {
    err = reg_create_path(store, kRegRootUsers, path, u"", false, true, &id, &created);
    if (err != ERROR_SUCCESS) return err;
  }
  return ERROR_SUCCESS;
}

// Splits a key path into its names; see reg_find_path for the rules.
DWORD split_path(std::u16string_view path, std::u16string_view* parts, size_t max_parts,
                 size_t* count) {
  *count = 0;
  if (path.empty()) return ERROR_SUCCESS;
  if (path.front() == u'\\') return ERROR_BAD_PATHNAME;
  if (path.back() == u'\\') path.remove_suffix(1);  // one trailing backslash is allowed
  size_t start = 0;
  while (true) {
    size_t end = path.find(u'\\', start);
    std::u16string_view part = path.substr(start, end == std::u16string_view::npos ? end : end - start);
    if (part.empty()) return ERROR_BAD_PATHNAME;
    if (part.size() > kRegMaxKeyNameLength) return ERROR_INVALID_PARAMETER;
    if (*count == max_parts) return ERROR_INVALID_PARAMETER;
    parts[(*count)++] = part;
    if (end == std::u16string_view::npos) break;
    start = end + 1;
  }
  return ERROR_SUCCESS;
}

// Deeper paths than this are refused (NT stops at 512 levels).
constexpr size_t kMaxDepth = 512;

DWORD find_child(MachineStore& store, int64_t parent, std::u16string_view name, int64_t* id) {
  std::string key = reg_name_key(name);
  StoreQuery q(store, "SELECT id FROM reg_keys WHERE parent=? AND name_key=?");
  q.bind(1, parent).bind_blob(2, key.data(), key.size());
  if (q.step()) {
    *id = q.column_int64(0);
    return ERROR_SUCCESS;
  }
  return q.error() != ERROR_SUCCESS ? q.error() : ERROR_FILE_NOT_FOUND;
}

DWORD touch(MachineStore& store, int64_t id, uint64_t now) {
  StoreQuery q(store, "UPDATE reg_keys SET last_write=? WHERE id=?");
  q.bind(1, static_cast<int64_t>(now)).bind(2, id);
  DWORD err = q.run();
  if (err != ERROR_SUCCESS) return err;
  return sqlite3_changes(store.db()) == 0 ? ERROR_KEY_DELETED : ERROR_SUCCESS;
}

}  // namespace

uint64_t reg_now() {
  FILETIME ft;
  GetSystemTimeAsFileTime(&ft);
  return filetime_to_u64(ft);
}

std::string reg_name_key(std::u16string_view name) {
  std::string out(name.size() * 2, '\0');
  for (size_t i = 0; i < name.size(); ++i) {
    char16_t c = nt_wide_upper(name[i]);
    out[2 * i] = static_cast<char>(c >> 8);
    out[2 * i + 1] = static_cast<char>(c & 0xFF);
  }
  return out;
}

std::u16string reg_text_column(StoreQuery& q, int col) {
  return nt_utf16_from_wtf8(q.column_text(col));
}

std::u16string reg_utf16_column(StoreQuery& q, int col) {
  std::string_view bytes = q.column_blob(col);
  std::u16string out(bytes.size() / 2, u'\0');
  for (size_t i = 0; i < out.size(); ++i) {
    out[i] = static_cast<char16_t>(static_cast<unsigned char>(bytes[2 * i]) |
                                   (static_cast<unsigned char>(bytes[2 * i + 1]) << 8));
  }
  return out;
}

DWORD reg_prepare(MachineStore& store) {
  return store.ensure_subsystem("registry", 1, upgrade_registry);
}

DWORD reg_find_path(MachineStore& store, int64_t start, std::u16string_view path, int64_t* id) {
  std::u16string_view parts[kMaxDepth];
  size_t count;
  DWORD err = split_path(path, parts, kMaxDepth, &count);
  if (err != ERROR_SUCCESS) return err;
  int64_t current = start;
  for (size_t i = 0; i < count; ++i) {
    if ((err = find_child(store, current, parts[i], &current)) != ERROR_SUCCESS) return err;
  }
  if (count == 0 && (err = reg_key_alive(store, start)) != ERROR_SUCCESS) return err;
  *id = current;
  return ERROR_SUCCESS;
}

DWORD reg_create_path(MachineStore& store, int64_t start, std::u16string_view path,
                      std::u16string_view class_name, bool is_volatile, bool allow_hive,
                      int64_t* id, bool* created) {
  std::u16string_view parts[kMaxDepth];
  size_t count;
  DWORD err = split_path(path, parts, kMaxDepth, &count);
  if (err != ERROR_SUCCESS) return err;
  *created = false;
  int64_t current = start;
  if ((err = reg_key_alive(store, start)) != ERROR_SUCCESS) return err;
  uint64_t now = reg_now();
  for (size_t i = 0; i < count; ++i) {
    int64_t child;
    err = find_child(store, current, parts[i], &child);
    if (err == ERROR_FILE_NOT_FOUND) {
      if (!allow_hive && (current == kRegRootMachine || current == kRegRootUsers))
        return ERROR_ACCESS_DENIED;
      bool last = i + 1 == count;
      std::string cls = last ? utf16_bytes(class_name) : std::string();
      std::string key = reg_name_key(parts[i]);
      StoreQuery q(store,
                   "INSERT INTO reg_keys(parent, name, name_key, class, last_write, volatile)"
                   " VALUES(?, ?, ?, ?, ?, ?)");
      q.bind(1, current)
          .bind_text(2, nt_wtf8_from_utf16(parts[i]))
          .bind_blob(3, key.data(), key.size())
          .bind_blob(4, cls.data(), cls.size())
          .bind(5, static_cast<int64_t>(now))
          .bind(6, is_volatile ? 1 : 0);
      if ((err = q.run()) != ERROR_SUCCESS) return err;
      child = sqlite3_last_insert_rowid(store.db());
      if ((err = touch(store, current, now)) != ERROR_SUCCESS) return err;
      *created = last;
    } else if (err != ERROR_SUCCESS) {
      return err;
    }
    current = child;
  }
  *id = current;
  return ERROR_SUCCESS;
}

DWORD reg_key_alive(MachineStore& store, int64_t id) {
  StoreQuery q(store, "SELECT 1 FROM reg_keys WHERE id=?");
  q.bind(1, id);
  if (q.step()) return ERROR_SUCCESS;
  return q.error() != ERROR_SUCCESS ? q.error() : ERROR_KEY_DELETED;
}

DWORD reg_get_key(MachineStore& store, int64_t id, RegKeyRow* row) {
  StoreQuery q(store,
               "SELECT parent, name, class, last_write, security FROM reg_keys WHERE id=?");
  q.bind(1, id);
  if (!q.step()) return q.error() != ERROR_SUCCESS ? q.error() : ERROR_KEY_DELETED;
  row->id = id;
  row->parent = q.column_int64(0);
  row->name = reg_text_column(q, 1);
  row->class_name = reg_utf16_column(q, 2);
  row->last_write = static_cast<uint64_t>(q.column_int64(3));
  row->security = q.column_is_null(4) ? std::string() : std::string(q.column_blob(4));
  return ERROR_SUCCESS;
}

DWORD reg_subkey_at(MachineStore& store, int64_t id, DWORD index, RegKeyRow* row) {
  StoreQuery q(store,
               "SELECT id, name, class, last_write FROM reg_keys WHERE parent=?"
               " ORDER BY name_key LIMIT 1 OFFSET ?");
  q.bind(1, id).bind(2, index);
  if (!q.step()) {
    if (q.error() != ERROR_SUCCESS) return q.error();
    DWORD err = reg_key_alive(store, id);
    return err != ERROR_SUCCESS ? err : ERROR_NO_MORE_ITEMS;
  }
  row->id = q.column_int64(0);
  row->parent = id;
  row->name = reg_text_column(q, 1);
  row->class_name = reg_utf16_column(q, 2);
  row->last_write = static_cast<uint64_t>(q.column_int64(3));
  return ERROR_SUCCESS;
}

DWORD reg_key_counts(MachineStore& store, int64_t id, RegKeyCounts* counts) {
  DWORD err = reg_key_alive(store, id);
  if (err != ERROR_SUCCESS) return err;
  {
    StoreQuery q(store,
                 "SELECT count(*), coalesce(max(length(name_key)), 0),"
                 " coalesce(max(length(class)), 0) FROM reg_keys WHERE parent=?");
    q.bind(1, id);
    if (!q.step()) return q.error();
    counts->subkeys = static_cast<DWORD>(q.column_int64(0));
    counts->max_subkey_name = static_cast<DWORD>(q.column_int64(1) / 2);
    counts->max_class = static_cast<DWORD>(q.column_int64(2) / 2);
  }
  StoreQuery q(store,
               "SELECT count(*), coalesce(max(length(name_key)), 0),"
               " coalesce(max(length(data)), 0) FROM reg_values WHERE key_id=?");
  q.bind(1, id);
  if (!q.step()) return q.error();
  counts->values = static_cast<DWORD>(q.column_int64(0));
  counts->max_value_name = static_cast<DWORD>(q.column_int64(1) / 2);
  counts->max_value_data = static_cast<DWORD>(q.column_int64(2));
  return ERROR_SUCCESS;
}

DWORD reg_get_value(MachineStore& store, int64_t key, std::u16string_view name, RegValueRow* row) {
  std::string name_key = reg_name_key(name);
  StoreQuery q(store, "SELECT name, type, data FROM reg_values WHERE key_id=? AND name_key=?");
  q.bind(1, key).bind_blob(2, name_key.data(), name_key.size());
  if (!q.step()) {
    if (q.error() != ERROR_SUCCESS) return q.error();
    DWORD err = reg_key_alive(store, key);
    return err != ERROR_SUCCESS ? err : ERROR_FILE_NOT_FOUND;
  }
  row->name = reg_text_column(q, 0);
  row->type = static_cast<DWORD>(q.column_int64(1));
  std::string_view data = q.column_blob(2);
  row->data.assign(data.data(), data.size());
  return ERROR_SUCCESS;
}

DWORD reg_value_at(MachineStore& store, int64_t key, DWORD index, RegValueRow* row) {
  StoreQuery q(store,
               "SELECT name, type, data FROM reg_values WHERE key_id=?"
               " ORDER BY id LIMIT 1 OFFSET ?");
  q.bind(1, key).bind(2, index);
  if (!q.step()) {
    if (q.error() != ERROR_SUCCESS) return q.error();
    DWORD err = reg_key_alive(store, key);
    return err != ERROR_SUCCESS ? err : ERROR_NO_MORE_ITEMS;
  }
  row->name = reg_text_column(q, 0);
  row->type = static_cast<DWORD>(q.column_int64(1));
  std::string_view data = q.column_blob(2);
  row->data.assign(data.data(), data.size());
  return ERROR_SUCCESS;
}

DWORD reg_set_value(MachineStore& store, int64_t key, std::u16string_view name, DWORD type,
                    std::string_view data, uint64_t now) {
  if (name.size() > kRegMaxValueNameLength) return ERROR_INVALID_PARAMETER;
  DWORD err = touch(store, key, now);
  if (err != ERROR_SUCCESS) return err;
  std::string name_key = reg_name_key(name);
  // An existing value keeps its place and the case of its name.
  StoreQuery q(store,
               "INSERT INTO reg_values(key_id, name, name_key, type, data) VALUES(?, ?, ?, ?, ?)"
               " ON CONFLICT(key_id, name_key) DO UPDATE SET type=excluded.type,"
               " data=excluded.data");
  q.bind(1, key)
      .bind_text(2, nt_wtf8_from_utf16(name))
      .bind_blob(3, name_key.data(), name_key.size())
      .bind(4, type)
      .bind_blob(5, data.data(), data.size());
  return q.run();
}

DWORD reg_delete_value(MachineStore& store, int64_t key, std::u16string_view name, uint64_t now) {
  std::string name_key = reg_name_key(name);
  StoreQuery q(store, "DELETE FROM reg_values WHERE key_id=? AND name_key=?");
  q.bind(1, key).bind_blob(2, name_key.data(), name_key.size());
  DWORD err = q.run();
  if (err != ERROR_SUCCESS) return err;
  if (sqlite3_changes(store.db()) == 0) {
    err = reg_key_alive(store, key);
    return err != ERROR_SUCCESS ? err : ERROR_FILE_NOT_FOUND;
  }
  return touch(store, key, now);
}

DWORD reg_delete_key(MachineStore& store, int64_t id, uint64_t now) {
  RegKeyRow row;
  DWORD err = reg_get_key(store, id, &row);
  if (err != ERROR_SUCCESS) return err;
  if (row.parent == 0 || row.parent == kRegRootMachine || row.parent == kRegRootUsers)
    return ERROR_ACCESS_DENIED;
  {
    StoreQuery q(store, "SELECT 1 FROM reg_keys WHERE parent=? LIMIT 1");
    q.bind(1, id);
    if (q.step()) return ERROR_ACCESS_DENIED;
    if (q.error() != ERROR_SUCCESS) return q.error();
  }
  {
    StoreQuery q(store, "DELETE FROM reg_values WHERE key_id=?");
    q.bind(1, id);
    if ((err = q.run()) != ERROR_SUCCESS) return err;
  }
  {
    StoreQuery q(store, "DELETE FROM reg_keys WHERE id=?");
    q.bind(1, id);
    if ((err = q.run()) != ERROR_SUCCESS) return err;
  }
  return touch(store, row.parent, now);
}

DWORD reg_set_security(MachineStore& store, int64_t id, std::string_view descriptor) {
  StoreQuery q(store, "UPDATE reg_keys SET security=? WHERE id=?");
  if (descriptor.empty()) q.bind_null(1);
  else q.bind_blob(1, descriptor.data(), descriptor.size());
  q.bind(2, id);
  DWORD err = q.run();
  if (err != ERROR_SUCCESS) return err;
  return sqlite3_changes(store.db()) == 0 ? ERROR_KEY_DELETED : ERROR_SUCCESS;
}
