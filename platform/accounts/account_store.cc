#include "platform/accounts/account_store.h"

#include <sys/stat.h>

#include <mutex>
#include <set>

#include "platform/kernel/error.h"
#include "platform/accounts/account_password.h"
#include "platform/kernel/clock.h"
#include "platform/kernel/error.h"
#include "platform/network/machine.h"
#include "platform/network/network.h"
#include "platform/network/nt_name.h"
#include "platform/security/machine_sid.h"
#include "platform/security/sid.h"
#include "platform/security/well_known_accounts.h"

namespace {

// What the seeding needs to know, read before the store's lock is taken
// (the upgrade runs with it held).
struct SeedContext {
  NtMachineRole role = NtMachineRole::workstation;
  std::string machine_sid;
};
thread_local const SeedContext* t_seed = nullptr;

DWORD run(MachineStore& store, const char* sql) { return store.exec(sql); }

DWORD insert_user_row(MachineStore& store, const NtUserRecord& u);
DWORD insert_alias_row(MachineStore& store, const NtAliasRecord& a);

DWORD insert_group_row(MachineStore& store, const NtGroupRecord& g) {
  StoreQuery q(store, "INSERT INTO acct_groups(rid, name, name_key, comment) VALUES(?,?,?,?)");
  q.bind(1, g.rid).bind_text(2, g.name).bind_text(3, nt_upper_utf8(g.name)).bind_text(4, g.comment);
  return q.run();
}

DWORD insert_group_member(MachineStore& store, DWORD group, DWORD user) {
  StoreQuery q(store, "INSERT OR IGNORE INTO acct_group_members(group_rid, user_rid) VALUES(?,?)");
  q.bind(1, group).bind(2, user);
  return q.run();
}

DWORD insert_alias_member(MachineStore& store, DWORD alias, std::string_view sid) {
  StoreQuery q(store,
               "INSERT OR IGNORE INTO acct_alias_members(alias_rid, member_sid) VALUES(?,?)");
  q.bind(1, alias).bind_blob(2, sid.data(), sid.size());
  return q.run();
}

bool is_controller(NtMachineRole role) {
  return role == NtMachineRole::pdc || role == NtMachineRole::bdc;
}

DWORD seed(MachineStore& store, const SeedContext& ctx) {
  DWORD err;
  NtUserRecord admin;
  admin.rid = DOMAIN_USER_RID_ADMIN;
  admin.name = "Administrator";
  admin.comment = "Built-in account for administering the computer/domain";
  admin.priv = USER_PRIV_ADMIN;
  admin.flags = UF_SCRIPT | UF_NORMAL_ACCOUNT | UF_DONT_EXPIRE_PASSWD;
  admin.password_hash = nt_password_hash("");
  admin.password_set = nt_unix_now();
  NtUserRecord guest;
  guest.rid = DOMAIN_USER_RID_GUEST;
  guest.name = "Guest";
  guest.comment = "Built-in account for guest access to the computer/domain";
  guest.priv = USER_PRIV_GUEST;
  guest.flags = UF_SCRIPT | UF_ACCOUNTDISABLE | UF_PASSWD_NOTREQD | UF_PASSWD_CANT_CHANGE |
                UF_NORMAL_ACCOUNT | UF_DONT_EXPIRE_PASSWD;
  guest.password_hash = nt_password_hash("");
  guest.password_set = admin.password_set;
  guest.primary_group_id = ctx.role == NtMachineRole::pdc || ctx.role == NtMachineRole::bdc
                               ? DOMAIN_GROUP_RID_GUESTS
                               : DOMAIN_GROUP_RID_USERS;
  if ((err = insert_user_row(store, admin)) != ERROR_SUCCESS) return err;
  if ((err = insert_user_row(store, guest)) != ERROR_SUCCESS) return err;

  struct Alias {
    DWORD rid;
    const char* name;
    const char* comment;
  };
  std::vector<Alias> aliases = {
      {DOMAIN_ALIAS_RID_ADMINS, "Administrators",
       "Members can fully administer the computer/domain"},
      {DOMAIN_ALIAS_RID_USERS, "Users", "Ordinary users"},
      {DOMAIN_ALIAS_RID_GUESTS, "Guests", "Users granted guest access to the computer/domain"},
  };
  if (is_controller(ctx.role)) {
    aliases.push_back({DOMAIN_ALIAS_RID_ACCOUNT_OPS, "Account Operators",
                       "Members can administer domain user and group accounts"});
    aliases.push_back({DOMAIN_ALIAS_RID_SYSTEM_OPS, "Server Operators",
                       "Members can administer domain servers"});
    aliases.push_back({DOMAIN_ALIAS_RID_PRINT_OPS, "Print Operators",
                       "Members can administer domain printers"});
    aliases.push_back({DOMAIN_ALIAS_RID_BACKUP_OPS, "Backup Operators",
                       "Members can bypass file security to back up files"});
    aliases.push_back({DOMAIN_ALIAS_RID_REPLICATOR, "Replicator",
                       "Supports file replication in a domain"});
  } else {
    aliases.push_back({DOMAIN_ALIAS_RID_POWER_USERS, "Power Users",
                       "Members can share directories and printers"});
  }
  for (const Alias& a : aliases) {
    NtAliasRecord record{a.rid, true, a.name, a.comment};
    if ((err = insert_alias_row(store, record)) != ERROR_SUCCESS) return err;
  }
  std::string admin_sid = nt_sid_append(ctx.machine_sid, DOMAIN_USER_RID_ADMIN);
  std::string guest_sid = nt_sid_append(ctx.machine_sid, DOMAIN_USER_RID_GUEST);
  if ((err = insert_alias_member(store, DOMAIN_ALIAS_RID_ADMINS, admin_sid)) != ERROR_SUCCESS ||
      (err = insert_alias_member(store, DOMAIN_ALIAS_RID_GUESTS, guest_sid)) != ERROR_SUCCESS)
    return err;

  if (ctx.role == NtMachineRole::pdc) {
    NtGroupRecord groups[] = {
        {DOMAIN_GROUP_RID_ADMINS, "Domain Admins", "Designated administrators of the domain"},
        {DOMAIN_GROUP_RID_USERS, "Domain Users", "All domain users"},
        {DOMAIN_GROUP_RID_GUESTS, "Domain Guests", "All domain guests"},
    };
    for (const NtGroupRecord& g : groups)
      if ((err = insert_group_row(store, g)) != ERROR_SUCCESS) return err;
    if ((err = insert_group_member(store, DOMAIN_GROUP_RID_ADMINS, DOMAIN_USER_RID_ADMIN)) ||
        (err = insert_group_member(store, DOMAIN_GROUP_RID_USERS, DOMAIN_USER_RID_ADMIN)) ||
        (err = insert_group_member(store, DOMAIN_GROUP_RID_GUESTS, DOMAIN_USER_RID_GUEST)))
      return err;
    const std::pair<DWORD, DWORD> nested[] = {
        {DOMAIN_ALIAS_RID_ADMINS, DOMAIN_GROUP_RID_ADMINS},
        {DOMAIN_ALIAS_RID_USERS, DOMAIN_GROUP_RID_USERS},
        {DOMAIN_ALIAS_RID_GUESTS, DOMAIN_GROUP_RID_GUESTS},
    };
    for (const auto& [alias, group] : nested) {
      err = insert_alias_member(store, alias, nt_sid_append(ctx.machine_sid, group));
      if (err != ERROR_SUCCESS) return err;
    }
  } else if (!is_controller(ctx.role)) {
    NtGroupRecord none{DOMAIN_GROUP_RID_USERS, "None", "Ordinary users"};
    if ((err = insert_group_row(store, none)) != ERROR_SUCCESS) return err;
    if ((err = insert_group_member(store, DOMAIN_GROUP_RID_USERS, DOMAIN_USER_RID_ADMIN)) ||
        (err = insert_group_member(store, DOMAIN_GROUP_RID_USERS, DOMAIN_USER_RID_GUEST)))
      return err;
  }
  return ERROR_SUCCESS;
}

DWORD upgrade_accounts(MachineStore& store, int from) {
  if (from >= 1) return ERROR_SUCCESS;
  DWORD err = run(store,
                  "CREATE TABLE acct_meta(id INTEGER PRIMARY KEY CHECK (id = 1),"
                  " next_rid INTEGER NOT NULL, min_password_length INTEGER NOT NULL DEFAULT 0,"
                  " domain_seeded INTEGER NOT NULL DEFAULT 0);"
                  "CREATE TABLE acct_users(rid INTEGER PRIMARY KEY, name TEXT NOT NULL,"
                  " name_key TEXT NOT NULL UNIQUE, password_hash TEXT NOT NULL,"
                  " password_set INTEGER NOT NULL, priv INTEGER NOT NULL, home_dir TEXT NOT NULL,"
                  " comment TEXT NOT NULL, flags INTEGER NOT NULL, script_path TEXT NOT NULL,"
                  " auth_flags INTEGER NOT NULL, full_name TEXT NOT NULL,"
                  " usr_comment TEXT NOT NULL, parms TEXT NOT NULL, workstations TEXT NOT NULL,"
                  " last_logon INTEGER NOT NULL, last_logoff INTEGER NOT NULL,"
                  " acct_expires INTEGER NOT NULL, max_storage INTEGER NOT NULL,"
                  " units_per_week INTEGER NOT NULL, logon_hours BLOB,"
                  " bad_pw_count INTEGER NOT NULL, num_logons INTEGER NOT NULL,"
                  " logon_server TEXT NOT NULL, country_code INTEGER NOT NULL,"
                  " code_page INTEGER NOT NULL, primary_group_id INTEGER NOT NULL,"
                  " profile TEXT NOT NULL, home_dir_drive TEXT NOT NULL,"
                  " password_expired INTEGER NOT NULL);"
                  "CREATE TABLE acct_groups(rid INTEGER PRIMARY KEY, name TEXT NOT NULL,"
                  " name_key TEXT NOT NULL UNIQUE, comment TEXT NOT NULL);"
                  "CREATE TABLE acct_group_members(group_rid INTEGER NOT NULL"
                  " REFERENCES acct_groups(rid) ON DELETE CASCADE, user_rid INTEGER NOT NULL"
                  " REFERENCES acct_users(rid) ON DELETE CASCADE,"
                  " PRIMARY KEY(group_rid, user_rid));"
                  "CREATE TABLE acct_aliases(rid INTEGER PRIMARY KEY,"
                  " builtin INTEGER NOT NULL, name TEXT NOT NULL,"
                  " name_key TEXT NOT NULL UNIQUE, comment TEXT NOT NULL);"
                  "CREATE TABLE acct_alias_members(id INTEGER PRIMARY KEY,"
                  " alias_rid INTEGER NOT NULL REFERENCES acct_aliases(rid) ON DELETE CASCADE,"
                  " member_sid BLOB NOT NULL, UNIQUE(alias_rid, member_sid));"
                  "INSERT INTO acct_meta(id, next_rid) VALUES(1, 1000);");
  if (err != ERROR_SUCCESS) return err;
  if (t_seed == nullptr) return ERROR_INVALID_FUNCTION;
  return seed(store, *t_seed);
}

// ---- Rows.

#define USER_COLUMNS                                                                        \
  "rid, name, password_hash, password_set, priv, home_dir, comment, flags, script_path,"    \
  " auth_flags, full_name, usr_comment, parms, workstations, last_logon, last_logoff,"      \
  " acct_expires, max_storage, units_per_week, logon_hours, bad_pw_count, num_logons,"      \
  " logon_server, country_code, code_page, primary_group_id, profile, home_dir_drive,"      \
  " password_expired"

void read_user(StoreQuery& q, NtUserRecord* u) {
  u->rid = static_cast<DWORD>(q.column_int64(0));
  u->name = q.column_text(1);
  u->password_hash = q.column_text(2);
  u->password_set = q.column_int64(3);
  u->priv = static_cast<DWORD>(q.column_int64(4));
  u->home_dir = q.column_text(5);
  u->comment = q.column_text(6);
  u->flags = static_cast<DWORD>(q.column_int64(7));
  u->script_path = q.column_text(8);
  u->auth_flags = static_cast<DWORD>(q.column_int64(9));
  u->full_name = q.column_text(10);
  u->usr_comment = q.column_text(11);
  u->parms = q.column_text(12);
  u->workstations = q.column_text(13);
  u->last_logon = static_cast<DWORD>(q.column_int64(14));
  u->last_logoff = static_cast<DWORD>(q.column_int64(15));
  u->acct_expires = static_cast<DWORD>(q.column_int64(16));
  u->max_storage = static_cast<DWORD>(q.column_int64(17));
  u->units_per_week = static_cast<DWORD>(q.column_int64(18));
  u->logon_hours = q.column_is_null(19) ? std::string() : std::string(q.column_blob(19));
  u->bad_pw_count = static_cast<DWORD>(q.column_int64(20));
  u->num_logons = static_cast<DWORD>(q.column_int64(21));
  u->logon_server = q.column_text(22);
  u->country_code = static_cast<DWORD>(q.column_int64(23));
  u->code_page = static_cast<DWORD>(q.column_int64(24));
  u->primary_group_id = static_cast<DWORD>(q.column_int64(25));
  u->profile = q.column_text(26);
  u->home_dir_drive = q.column_text(27);
  u->password_expired = static_cast<DWORD>(q.column_int64(28));
}

// Binds the fields in USER_COLUMNS order, then the name key.
void bind_user(StoreQuery& q, const NtUserRecord& u) {
  q.bind(1, u.rid).bind_text(2, u.name).bind_text(3, u.password_hash).bind(4, u.password_set);
  q.bind(5, u.priv).bind_text(6, u.home_dir).bind_text(7, u.comment).bind(8, u.flags);
  q.bind_text(9, u.script_path).bind(10, u.auth_flags).bind_text(11, u.full_name);
  q.bind_text(12, u.usr_comment).bind_text(13, u.parms).bind_text(14, u.workstations);
  q.bind(15, u.last_logon).bind(16, u.last_logoff).bind(17, u.acct_expires);
  q.bind(18, u.max_storage).bind(19, u.units_per_week);
  if (u.logon_hours.empty()) q.bind_null(20);
  else q.bind_blob(20, u.logon_hours.data(), u.logon_hours.size());
  q.bind(21, u.bad_pw_count).bind(22, u.num_logons).bind_text(23, u.logon_server);
  q.bind(24, u.country_code).bind(25, u.code_page).bind(26, u.primary_group_id);
  q.bind_text(27, u.profile).bind_text(28, u.home_dir_drive).bind(29, u.password_expired);
  q.bind_text(30, nt_upper_utf8(u.name));
}

DWORD insert_user_row(MachineStore& store, const NtUserRecord& u) {
  StoreQuery q(store, "INSERT INTO acct_users(" USER_COLUMNS
                      ", name_key) VALUES(?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?)");
  bind_user(q, u);
  return q.run();
}

DWORD insert_alias_row(MachineStore& store, const NtAliasRecord& a) {
  StoreQuery q(store,
               "INSERT INTO acct_aliases(rid, builtin, name, name_key, comment) VALUES(?,?,?,?,?)");
  q.bind(1, a.rid).bind(2, a.builtin ? 1 : 0).bind_text(3, a.name);
  q.bind_text(4, nt_upper_utf8(a.name)).bind_text(5, a.comment);
  return q.run();
}

// Which table holds a name (case ignored), other than the account `rid`
// of `own` ("u", "g" or "a"): the error that says so, or ERROR_SUCCESS.
DWORD name_taken(MachineStore& store, std::string_view name, char own, DWORD rid) {
  std::string key = nt_upper_utf8(name);
  {
    StoreQuery q(store, "SELECT rid FROM acct_users WHERE name_key=?");
    q.bind_text(1, key);
    if (q.step() && !(own == 'u' && q.column_int64(0) == rid)) return NERR_UserExists;
    if (q.error()) return q.error();
  }
  {
    StoreQuery q(store, "SELECT rid FROM acct_groups WHERE name_key=?");
    q.bind_text(1, key);
    if (q.step() && !(own == 'g' && q.column_int64(0) == rid)) return NERR_GroupExists;
    if (q.error()) return q.error();
  }
  {
    StoreQuery q(store, "SELECT rid FROM acct_aliases WHERE name_key=?");
    q.bind_text(1, key);
    if (q.step() && !(own == 'a' && q.column_int64(0) == rid)) return ERROR_ALIAS_EXISTS;
    if (q.error()) return q.error();
  }
  return ERROR_SUCCESS;
}

DWORD next_rid(MachineStore& store, DWORD* rid) {
  StoreQuery q(store, "SELECT next_rid FROM acct_meta WHERE id=1");
  if (!q.step()) return q.error() ? q.error() : ERROR_INVALID_DATA;
  *rid = static_cast<DWORD>(q.column_int64(0));
  StoreQuery u(store, "UPDATE acct_meta SET next_rid=? WHERE id=1");
  u.bind(1, static_cast<int64_t>(*rid) + 1);
  return u.run();
}

DWORD remove_sid_everywhere(MachineStore& store, std::string_view sid) {
  StoreQuery q(store, "DELETE FROM acct_alias_members WHERE member_sid=?");
  q.bind_blob(1, sid.data(), sid.size());
  return q.run();
}

// Stores whose tables and domain memberships are known to be in place, per
// process: path and inode, so that a machine made again under the same name
// is prepared again.
std::mutex g_done_mutex;
std::set<std::string>& done_stores() {
  static std::set<std::string> done;
  return done;
}

std::string store_key(MachineStore& store) {
  struct stat st;
  if (stat(store.path().c_str(), &st) != 0) return std::string();
  return store.path() + "|" + std::to_string(st.st_dev) + ":" + std::to_string(st.st_ino);
}

// The SID of the primary controller of `group` in the network of `store`
// (the folder two levels above the store's machine folder); empty when the
// group has no primary controller.
DWORD domain_controller_sid(MachineStore& store, const std::string& group, std::string* sid) {
  sid->clear();
  std::string dir = store.directory();  // <root>/machines/<NAME>
  size_t slash = dir.rfind('/');
  if (slash == std::string::npos) return ERROR_SUCCESS;
  std::string machines = dir.substr(0, slash);
  slash = machines.rfind('/');
  if (slash == std::string::npos) return ERROR_SUCCESS;
  std::string root = machines.substr(0, slash);
  std::vector<std::string> names;
  DWORD err = nt_machine_list(root, &names);
  if (err != ERROR_SUCCESS) return err;
  for (const std::string& name : names) {
    DWORD open_err = ERROR_SUCCESS;
    auto other = nt_store_open(nt_network_machine_db(root, name), &open_err);
    if (!other || other.get() == &store) continue;
    NtMachineInfo info;
    if (nt_machine_get_info(*other, &info) != ERROR_SUCCESS) continue;
    if (info.role == NtMachineRole::pdc && info.lan_group == group)
      return nt_machine_sid(*other, sid);
  }
  return ERROR_SUCCESS;
}

DWORD seed_domain_memberships(MachineStore& store, const NtMachineInfo& info) {
  {
    auto lock = store.lock();
    StoreQuery q(store, "SELECT domain_seeded FROM acct_meta WHERE id=1");
    if (!q.step()) return q.error() ? q.error() : ERROR_INVALID_DATA;
    if (q.column_int64(0) != 0) return ERROR_SUCCESS;
  }
  std::string domain_sid;
  DWORD err = domain_controller_sid(store, info.lan_group, &domain_sid);
  if (err != ERROR_SUCCESS || domain_sid.empty()) return err;
  auto lock = store.lock();
  StoreTransaction tx(store);
  if ((err = tx.begin_error()) != ERROR_SUCCESS) return err;
  StoreQuery q(store, "SELECT domain_seeded FROM acct_meta WHERE id=1");
  if (!q.step()) return q.error() ? q.error() : ERROR_INVALID_DATA;
  if (q.column_int64(0) != 0) return ERROR_SUCCESS;
  const std::pair<DWORD, DWORD> nested[] = {
      {DOMAIN_ALIAS_RID_ADMINS, DOMAIN_GROUP_RID_ADMINS},
      {DOMAIN_ALIAS_RID_USERS, DOMAIN_GROUP_RID_USERS},
      {DOMAIN_ALIAS_RID_GUESTS, DOMAIN_GROUP_RID_GUESTS},
  };
  for (const auto& [alias, group] : nested) {
    err = insert_alias_member(store, alias, nt_sid_append(domain_sid, group));
    if (err != ERROR_SUCCESS) return err;
  }
  StoreQuery u(store, "UPDATE acct_meta SET domain_seeded=1 WHERE id=1");
  if ((err = u.run()) != ERROR_SUCCESS) return err;
  return tx.commit();
}

template <typename Fn>
DWORD write(MachineStore& store, Fn fn) {
  DWORD err = nt_accounts_prepare(store);
  if (err != ERROR_SUCCESS) return err;
  auto lock = store.lock();
  StoreTransaction tx(store);
  if ((err = tx.begin_error()) != ERROR_SUCCESS) return err;
  if ((err = fn()) != ERROR_SUCCESS) return err;
  return tx.commit();
}

template <typename Fn>
DWORD read(MachineStore& store, Fn fn) {
  DWORD err = nt_accounts_prepare(store);
  if (err != ERROR_SUCCESS) return err;
  auto lock = store.lock();
  StoreReadTransaction tx(store);
  return fn();
}

DWORD get_user_locked(MachineStore& store, std::string_view name, NtUserRecord* user) {
  StoreQuery q(store, "SELECT " USER_COLUMNS " FROM acct_users WHERE name_key=?");
  q.bind_text(1, nt_upper_utf8(name));
  if (!q.step()) return q.error() ? q.error() : NERR_UserNotFound;
  read_user(q, user);
  return ERROR_SUCCESS;
}

DWORD get_user_rid_locked(MachineStore& store, DWORD rid, NtUserRecord* user) {
  StoreQuery q(store, "SELECT " USER_COLUMNS " FROM acct_users WHERE rid=?");
  q.bind(1, rid);
  if (!q.step()) return q.error() ? q.error() : NERR_UserNotFound;
  read_user(q, user);
  return ERROR_SUCCESS;
}

DWORD get_group_locked(MachineStore& store, std::string_view name, NtGroupRecord* g) {
  StoreQuery q(store, "SELECT rid, name, comment FROM acct_groups WHERE name_key=?");
  q.bind_text(1, nt_upper_utf8(name));
  if (!q.step()) return q.error() ? q.error() : NERR_GroupNotFound;
  *g = NtGroupRecord{static_cast<DWORD>(q.column_int64(0)), q.column_text(1), q.column_text(2)};
  return ERROR_SUCCESS;
}

DWORD get_group_rid_locked(MachineStore& store, DWORD rid, NtGroupRecord* g) {
  StoreQuery q(store, "SELECT rid, name, comment FROM acct_groups WHERE rid=?");
  q.bind(1, rid);
  if (!q.step()) return q.error() ? q.error() : NERR_GroupNotFound;
  *g = NtGroupRecord{static_cast<DWORD>(q.column_int64(0)), q.column_text(1), q.column_text(2)};
  return ERROR_SUCCESS;
}

NtAliasRecord alias_row(StoreQuery& q) {
  return NtAliasRecord{static_cast<DWORD>(q.column_int64(0)), q.column_int64(1) != 0,
                       q.column_text(2), q.column_text(3)};
}

}  // namespace

DWORD nt_accounts_prepare(MachineStore& store) {
  std::string key = store_key(store);
  {
    std::lock_guard<std::mutex> guard(g_done_mutex);
    if (!key.empty() && done_stores().count(key)) return ERROR_SUCCESS;
  }
  NtMachineInfo info;
  DWORD err = nt_machine_get_info(store, &info);
  if (err != ERROR_SUCCESS) return err;
  SeedContext ctx;
  ctx.role = info.role;
  if ((err = nt_machine_sid(store, &ctx.machine_sid)) != ERROR_SUCCESS) return err;
  t_seed = &ctx;
  err = store.ensure_subsystem("accounts", 1, upgrade_accounts);
  t_seed = nullptr;
  if (err != ERROR_SUCCESS) return err;
  if (!is_controller(info.role)) {
    if ((err = seed_domain_memberships(store, info)) != ERROR_SUCCESS) return err;
  }
  std::lock_guard<std::mutex> guard(g_done_mutex);
  if (!key.empty()) done_stores().insert(key);
  return ERROR_SUCCESS;
}

DWORD nt_accounts_domain_sid(MachineStore& store, std::string* sid) {
  return nt_machine_sid(store, sid);
}

DWORD nt_accounts_list_users(MachineStore& store, std::vector<NtUserRecord>* users) {
  users->clear();
  return read(store, [&]() -> DWORD {
    StoreQuery q(store, "SELECT " USER_COLUMNS " FROM acct_users ORDER BY name_key");
    while (q.step()) {
      users->emplace_back();
      read_user(q, &users->back());
    }
    return q.error();
  });
}

DWORD nt_accounts_get_user(MachineStore& store, std::string_view name, NtUserRecord* user) {
  return read(store, [&]() { return get_user_locked(store, name, user); });
}

DWORD nt_accounts_get_user_by_rid(MachineStore& store, DWORD rid, NtUserRecord* user) {
  return read(store, [&]() { return get_user_rid_locked(store, rid, user); });
}

DWORD nt_accounts_add_user(MachineStore& store, NtUserRecord* user) {
  return write(store, [&]() -> DWORD {
    DWORD err = name_taken(store, user->name, 'u', 0);
    if (err != ERROR_SUCCESS) return err;
    if ((err = next_rid(store, &user->rid)) != ERROR_SUCCESS) return err;
    if ((err = insert_user_row(store, *user)) != ERROR_SUCCESS) return err;
    NtGroupRecord primary;
    if (get_group_rid_locked(store, user->primary_group_id, &primary) == ERROR_SUCCESS)
      return insert_group_member(store, primary.rid, user->rid);
    return ERROR_SUCCESS;
  });
}

DWORD nt_accounts_update_user(MachineStore& store, const NtUserRecord& user) {
  return write(store, [&]() -> DWORD {
    NtUserRecord old;
    DWORD err = get_user_rid_locked(store, user.rid, &old);
    if (err != ERROR_SUCCESS) return err;
    if ((err = name_taken(store, user.name, 'u', user.rid)) != ERROR_SUCCESS) return err;
    StoreQuery q(store,
                 "UPDATE acct_users SET rid=?1, name=?2, password_hash=?3, password_set=?4,"
                 " priv=?5, home_dir=?6, comment=?7, flags=?8, script_path=?9, auth_flags=?10,"
                 " full_name=?11, usr_comment=?12, parms=?13, workstations=?14,"
                 " last_logon=?15, last_logoff=?16, acct_expires=?17, max_storage=?18,"
                 " units_per_week=?19, logon_hours=?20, bad_pw_count=?21, num_logons=?22,"
                 " logon_server=?23, country_code=?24, code_page=?25, primary_group_id=?26,"
                 " profile=?27, home_dir_drive=?28, password_expired=?29, name_key=?30"
                 " WHERE rid=?1");
    bind_user(q, user);
    if ((err = q.run()) != ERROR_SUCCESS) return err;
    NtGroupRecord primary;
    if (get_group_rid_locked(store, user.primary_group_id, &primary) == ERROR_SUCCESS)
      return insert_group_member(store, primary.rid, user.rid);
    return ERROR_SUCCESS;
  });
}

namespace {

// Deletes the user or group `rid` (after `exists` has found it), its global
// group memberships and its SID from every local group.
template <typename Exists>
DWORD delete_account(MachineStore& store, DWORD rid, const char* delete_members,
                     const char* delete_row, Exists exists) {
  std::string domain;
  DWORD err = nt_machine_sid(store, &domain);
  if (err != ERROR_SUCCESS) return err;
  return write(store, [&]() -> DWORD {
    DWORD e = exists();
    if (e != ERROR_SUCCESS) return e;
    StoreQuery m(store, delete_members);
    m.bind(1, rid);
    if ((e = m.run()) != ERROR_SUCCESS) return e;
    StoreQuery q(store, delete_row);
    q.bind(1, rid);
    if ((e = q.run()) != ERROR_SUCCESS) return e;
    return remove_sid_everywhere(store, nt_sid_append(domain, rid));
  });
}

}  // namespace

DWORD nt_accounts_delete_user(MachineStore& store, DWORD rid) {
  return delete_account(store, rid, "DELETE FROM acct_group_members WHERE user_rid=?",
                        "DELETE FROM acct_users WHERE rid=?", [&]() {
                          NtUserRecord old;
                          return get_user_rid_locked(store, rid, &old);
                        });
}

DWORD nt_accounts_list_groups(MachineStore& store, std::vector<NtGroupRecord>* groups) {
  groups->clear();
  return read(store, [&]() -> DWORD {
    StoreQuery q(store, "SELECT rid, name, comment FROM acct_groups ORDER BY name_key");
    while (q.step())
      groups->push_back(
          NtGroupRecord{static_cast<DWORD>(q.column_int64(0)), q.column_text(1), q.column_text(2)});
    return q.error();
  });
}

DWORD nt_accounts_get_group(MachineStore& store, std::string_view name, NtGroupRecord* group) {
  return read(store, [&]() { return get_group_locked(store, name, group); });
}

DWORD nt_accounts_get_group_by_rid(MachineStore& store, DWORD rid, NtGroupRecord* group) {
  return read(store, [&]() { return get_group_rid_locked(store, rid, group); });
}

DWORD nt_accounts_add_group(MachineStore& store, NtGroupRecord* group) {
  return write(store, [&]() -> DWORD {
    DWORD err = name_taken(store, group->name, 'g', 0);
    if (err != ERROR_SUCCESS) return err;
    if ((err = next_rid(store, &group->rid)) != ERROR_SUCCESS) return err;
    return insert_group_row(store, *group);
  });
}

DWORD nt_accounts_update_group(MachineStore& store, const NtGroupRecord& group) {
  return write(store, [&]() -> DWORD {
    NtGroupRecord old;
    DWORD err = get_group_rid_locked(store, group.rid, &old);
    if (err != ERROR_SUCCESS) return err;
    if ((err = name_taken(store, group.name, 'g', group.rid)) != ERROR_SUCCESS) return err;
    StoreQuery q(store, "UPDATE acct_groups SET name=?, name_key=?, comment=? WHERE rid=?");
    q.bind_text(1, group.name).bind_text(2, nt_upper_utf8(group.name));
    q.bind_text(3, group.comment).bind(4, group.rid);
    return q.run();
  });
}

DWORD nt_accounts_delete_group(MachineStore& store, DWORD rid) {
  return delete_account(store, rid, "DELETE FROM acct_group_members WHERE group_rid=?",
                        "DELETE FROM acct_groups WHERE rid=?", [&]() {
                          NtGroupRecord old;
                          return get_group_rid_locked(store, rid, &old);
                        });
}

DWORD nt_accounts_group_members(MachineStore& store, DWORD group_rid, std::vector<DWORD>* users) {
  users->clear();
  return read(store, [&]() -> DWORD {
    NtGroupRecord g;
    DWORD err = get_group_rid_locked(store, group_rid, &g);
    if (err != ERROR_SUCCESS) return err;
    StoreQuery q(store,
                 "SELECT m.user_rid FROM acct_group_members m JOIN acct_users u"
                 " ON u.rid = m.user_rid WHERE m.group_rid=? ORDER BY u.name_key");
    q.bind(1, group_rid);
    while (q.step()) users->push_back(static_cast<DWORD>(q.column_int64(0)));
    return q.error();
  });
}

DWORD nt_accounts_user_groups(MachineStore& store, DWORD user_rid, std::vector<DWORD>* groups) {
  groups->clear();
  return read(store, [&]() -> DWORD {
    NtUserRecord u;
    DWORD err = get_user_rid_locked(store, user_rid, &u);
    if (err != ERROR_SUCCESS) return err;
    StoreQuery q(store,
                 "SELECT m.group_rid FROM acct_group_members m JOIN acct_groups g"
                 " ON g.rid = m.group_rid WHERE m.user_rid=? ORDER BY g.name_key");
    q.bind(1, user_rid);
    while (q.step()) groups->push_back(static_cast<DWORD>(q.column_int64(0)));
    return q.error();
  });
}

DWORD nt_accounts_add_group_member(MachineStore& store, DWORD group_rid, DWORD user_rid) {
  return write(store, [&]() -> DWORD {
    NtGroupRecord g;
    NtUserRecord u;
    DWORD err = get_group_rid_locked(store, group_rid, &g);
    if (err != ERROR_SUCCESS) return err;
    if ((err = get_user_rid_locked(store, user_rid, &u)) != ERROR_SUCCESS) return err;
    StoreQuery q(store, "SELECT 1 FROM acct_group_members WHERE group_rid=? AND user_rid=?");
    q.bind(1, group_rid).bind(2, user_rid);
    if (q.step()) return NERR_UserInGroup;
    if (q.error()) return q.error();
    return insert_group_member(store, group_rid, user_rid);
  });
}

DWORD nt_accounts_del_group_member(MachineStore& store, DWORD group_rid, DWORD user_rid) {
  return write(store, [&]() -> DWORD {
    NtGroupRecord g;
    NtUserRecord u;
    DWORD err = get_group_rid_locked(store, group_rid, &g);
    if (err != ERROR_SUCCESS) return err;
    if ((err = get_user_rid_locked(store, user_rid, &u)) != ERROR_SUCCESS) return err;
    if (u.primary_group_id == group_rid) return ERROR_MEMBERS_PRIMARY_GROUP;
    StoreQuery q(store, "DELETE FROM acct_group_members WHERE group_rid=? AND user_rid=?");
    q.bind(1, group_rid).bind(2, user_rid);
    if ((err = q.run()) != ERROR_SUCCESS) return err;
    return sqlite3_changes(store.db()) == 0 ? NERR_UserNotInGroup : ERROR_SUCCESS;
  });
}

DWORD nt_accounts_list_aliases(MachineStore& store, std::vector<NtAliasRecord>* aliases) {
  aliases->clear();
  return read(store, [&]() -> DWORD {
    StoreQuery q(store,
                 "SELECT rid, builtin, name, comment FROM acct_aliases ORDER BY name_key");
    while (q.step()) aliases->push_back(alias_row(q));
    return q.error();
  });
}

DWORD nt_accounts_get_alias(MachineStore& store, std::string_view name, NtAliasRecord* alias) {
  return read(store, [&]() -> DWORD {
    StoreQuery q(store, "SELECT rid, builtin, name, comment FROM acct_aliases WHERE name_key=?");
    q.bind_text(1, nt_upper_utf8(name));
    if (!q.step()) return q.error() ? q.error() : ERROR_NO_SUCH_ALIAS;
    *alias = alias_row(q);
    return ERROR_SUCCESS;
  });
}

DWORD nt_accounts_add_alias(MachineStore& store, NtAliasRecord* alias) {
  return write(store, [&]() -> DWORD {
    DWORD err = name_taken(store, alias->name, 'a', 0);
    if (err != ERROR_SUCCESS) return err;
    alias->builtin = false;
    if ((err = next_rid(store, &alias->rid)) != ERROR_SUCCESS) return err;
    return insert_alias_row(store, *alias);
  });
}

DWORD nt_accounts_update_alias(MachineStore& store, const NtAliasRecord& alias) {
  return write(store, [&]() -> DWORD {
    DWORD err = name_taken(store, alias.name, 'a', alias.rid);
    if (err != ERROR_SUCCESS) return err;
    StoreQuery q(store, "UPDATE acct_aliases SET name=?, name_key=?, comment=? WHERE rid=?");
    q.bind_text(1, alias.name).bind_text(2, nt_upper_utf8(alias.name));
    q.bind_text(3, alias.comment).bind(4, alias.rid);
    if ((err = q.run()) != ERROR_SUCCESS) return err;
    return sqlite3_changes(store.db()) == 0 ? ERROR_NO_SUCH_ALIAS : ERROR_SUCCESS;
  });
}

DWORD nt_accounts_delete_alias(MachineStore& store, DWORD rid) {
  return write(store, [&]() -> DWORD {
    StoreQuery m(store, "DELETE FROM acct_alias_members WHERE alias_rid=?");
    m.bind(1, rid);
    DWORD err = m.run();
    if (err != ERROR_SUCCESS) return err;
    StoreQuery q(store, "DELETE FROM acct_aliases WHERE rid=?");
    q.bind(1, rid);
    if ((err = q.run()) != ERROR_SUCCESS) return err;
    return sqlite3_changes(store.db()) == 0 ? ERROR_NO_SUCH_ALIAS : ERROR_SUCCESS;
  });
}

DWORD nt_accounts_alias_members(MachineStore& store, DWORD alias_rid,
                                std::vector<std::string>* sids) {
  sids->clear();
  return read(store, [&]() -> DWORD {
    StoreQuery a(store, "SELECT 1 FROM acct_aliases WHERE rid=?");
    a.bind(1, alias_rid);
    if (!a.step()) return a.error() ? a.error() : ERROR_NO_SUCH_ALIAS;
    StoreQuery q(store, "SELECT member_sid FROM acct_alias_members WHERE alias_rid=? ORDER BY id");
    q.bind(1, alias_rid);
    while (q.step()) sids->emplace_back(q.column_blob(0));
    return q.error();
  });
}

DWORD nt_accounts_add_alias_member(MachineStore& store, DWORD alias_rid, std::string_view sid) {
  if (nt_sid_length(sid) != sid.size()) return ERROR_INVALID_SID;
  return write(store, [&]() -> DWORD {
    StoreQuery a(store, "SELECT 1 FROM acct_aliases WHERE rid=?");
    a.bind(1, alias_rid);
    if (!a.step()) return a.error() ? a.error() : ERROR_NO_SUCH_ALIAS;
    StoreQuery q(store, "SELECT 1 FROM acct_alias_members WHERE alias_rid=? AND member_sid=?");
    q.bind(1, alias_rid).bind_blob(2, sid.data(), sid.size());
    if (q.step()) return ERROR_MEMBER_IN_ALIAS;
    if (q.error()) return q.error();
    return insert_alias_member(store, alias_rid, sid);
  });
}

DWORD nt_accounts_del_alias_member(MachineStore& store, DWORD alias_rid, std::string_view sid) {
  return write(store, [&]() -> DWORD {
    StoreQuery a(store, "SELECT 1 FROM acct_aliases WHERE rid=?");
    a.bind(1, alias_rid);
    if (!a.step()) return a.error() ? a.error() : ERROR_NO_SUCH_ALIAS;
    StoreQuery q(store, "DELETE FROM acct_alias_members WHERE alias_rid=? AND member_sid=?");
    q.bind(1, alias_rid).bind_blob(2, sid.data(), sid.size());
    DWORD err = q.run();
    if (err != ERROR_SUCCESS) return err;
    return sqlite3_changes(store.db()) == 0 ? ERROR_MEMBER_NOT_IN_ALIAS : ERROR_SUCCESS;
  });
}

DWORD nt_accounts_aliases_of(MachineStore& store, const std::vector<std::string>& sids,
                             std::vector<NtAliasRecord>* aliases) {
  aliases->clear();
  return read(store, [&]() -> DWORD {
    StoreQuery q(store,
                 "SELECT rid, builtin, name, comment FROM acct_aliases ORDER BY name_key");
    std::vector<NtAliasRecord> all;
    while (q.step()) all.push_back(alias_row(q));
    if (q.error()) return q.error();
    for (const NtAliasRecord& a : all) {
      StoreQuery m(store, "SELECT member_sid FROM acct_alias_members WHERE alias_rid=?");
      m.bind(1, a.rid);
      bool member = false;
      while (!member && m.step()) {
        std::string_view s = m.column_blob(0);
        for (const std::string& want : sids)
          if (want == s) member = true;
      }
      if (m.error()) return m.error();
      if (member) aliases->push_back(a);
    }
    return ERROR_SUCCESS;
  });
}

std::string nt_accounts_alias_sid(const std::string& domain_sid, const NtAliasRecord& alias) {
  return alias.builtin ? nt_sid_builtin_alias(alias.rid) : nt_sid_append(domain_sid, alias.rid);
}

DWORD nt_accounts_min_password_length(MachineStore& store, DWORD* length) {
  return read(store, [&]() -> DWORD {
    StoreQuery q(store, "SELECT min_password_length FROM acct_meta WHERE id=1");
    if (!q.step()) return q.error() ? q.error() : ERROR_INVALID_DATA;
    *length = static_cast<DWORD>(q.column_int64(0));
    return ERROR_SUCCESS;
  });
}

DWORD nt_accounts_set_min_password_length(MachineStore& store, DWORD length) {
  return write(store, [&]() -> DWORD {
    StoreQuery q(store, "UPDATE acct_meta SET min_password_length=? WHERE id=1");
    q.bind(1, length);
    return q.run();
  });
}
