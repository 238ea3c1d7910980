#include "ntnet/accounts_command.h"

#include <map>

#include "ntnet/ntnet_internal.h"
#include "platform/accounts/account_authority.h"
#include "platform/kernel/error.h"
#include "platform/accounts/account_password.h"
#include "platform/accounts/account_store.h"
#include "platform/kernel/clock.h"
#include "platform/kernel/error.h"
#include "platform/netapi/netapi.h"
#include "platform/network/wtf8.h"
#include "platform/security/account_lookup.h"
#include "platform/security/sid.h"

namespace {

// Options of these commands; the repeatable ones keep every value.
struct AccountArgs {
  std::vector<std::string> positional;
  std::map<std::string, std::vector<std::string>> values;
  std::set<std::string> flags;
  bool help = false;

  const std::string* one(const char* name) const {
    auto it = values.find(name);
    return it == values.end() || it->second.empty() ? nullptr : &it->second.back();
  }
  std::vector<std::string> all(const char* name) const {
    auto it = values.find(name);
    return it == values.end() ? std::vector<std::string>() : it->second;
  }
};

bool parse(const std::vector<std::string>& args, const std::set<std::string>& with_value,
           const std::set<std::string>& flags, AccountArgs* out, std::string* message) {
  bool options = true;
  for (size_t i = 1; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (options && a == "--") {
      options = false;
      continue;
    }
    if (options && (a == "--help" || a == "-h")) {
      out->help = true;
      continue;
    }
    if (!options || a.size() < 3 || a.compare(0, 2, "--") != 0) {
      out->positional.push_back(a);
      continue;
    }
    std::string name = a.substr(2), value;
    size_t eq = name.find('=');
    bool has_value = eq != std::string::npos;
    if (has_value) {
      value = name.substr(eq + 1);
      name.resize(eq);
    }
    if (flags.count(name) && !has_value) {
      out->flags.insert(name);
    } else if (with_value.count(name)) {
      if (!has_value) {
        if (i + 1 >= args.size()) {
          *message = "--" + name + " needs a value";
          return false;
        }
        value = args[++i];
      }
      out->values[name].push_back(value);
    } else {
      *message = "unknown option --" + name;
      return false;
    }
  }
  return true;
}

// The machine and the account database it answers with.
int open_db(Ntnet& ctx, const std::string& given, NtMachineRef* machine, NtAccountAuthority* db) {
  int rc = ctx.open_machine(given, machine);
  if (rc != 0) return rc;
  DWORD err = nt_account_authority_of(*machine, db);
  if (err != ERROR_SUCCESS)
    return ctx.fail("cannot open the accounts of %s (error %lu)", machine->name.c_str(),
                    static_cast<unsigned long>(err));
  return 0;
}

bool valid_name(const std::string& name, size_t limit) {
  std::u16string wide = nt_utf16_from_wtf8(name);
  if (wide.empty() || wide.size() > limit) return false;
  bool dots = true;
  for (char16_t c : wide) {
    if (c < 32 || c == 127) return false;
    if (std::u16string_view(u"\"/\\[]:;|=,+*?<>").find(c) != std::u16string_view::npos)
      return false;
    if (c != u'.' && c != u' ') dots = false;
  }
  return !dots;
}

const char* exists_text(DWORD err) {
  switch (err) {
    case NERR_UserExists: return "a user";
    case NERR_GroupExists: return "a global group";
    case ERROR_ALIAS_EXISTS: return "a local group";
    default: return nullptr;
  }
}

// Adds the account `sid` to the local group `name` of `db`.
int join_local(Ntnet& ctx, const NtAccountAuthority& db, const std::string& name,
               const std::string& sid, const std::string& member) {
  NtAliasRecord alias;
  DWORD err = nt_accounts_get_alias(*db.store.store, name, &alias);
  if (err == ERROR_NO_SUCH_ALIAS) return ctx.fail("%s has no local group %s", db.store.name.c_str(), name.c_str());
  if (err == ERROR_SUCCESS) err = nt_accounts_add_alias_member(*db.store.store, alias.rid, sid);
  if (err == ERROR_MEMBER_IN_ALIAS) return 0;
  if (err != ERROR_SUCCESS)
    return ctx.fail("cannot add %s to local group %s (error %lu)", member.c_str(), name.c_str(),
                    static_cast<unsigned long>(err));
  return 0;
}

// Adds the user `rid` to the global group `name` of `db`.
int join_global(Ntnet& ctx, const NtAccountAuthority& db, const std::string& name, DWORD rid,
                const std::string& member) {
  NtGroupRecord group;
  DWORD err = nt_accounts_get_group(*db.store.store, name, &group);
  if (err == NERR_GroupNotFound)
    return ctx.fail("%s has no global group %s", db.name.c_str(), name.c_str());
  if (err == ERROR_SUCCESS) err = nt_accounts_add_group_member(*db.store.store, group.rid, rid);
  if (err == NERR_UserInGroup) return 0;
  if (err != ERROR_SUCCESS)
    return ctx.fail("cannot add %s to group %s (error %lu)", member.c_str(), name.c_str(),
                    static_cast<unsigned long>(err));
  return 0;
}

int user_add(Ntnet& ctx, const AccountArgs& args) {
  if (args.positional.size() != 2)
    return ctx.usage("usage: ntnet user add MACHINE NAME [--password P] [--full-name TEXT] "
                     "[--group G]... [--local-group L]...");
  const std::string& name = args.positional[1];
  if (!valid_name(name, kMaxUserName))
    return ctx.usage("bad user name '%s' (1 to 20 characters, none of \" / \\ [ ] : ; | = , + * "
                     "? < >)",
                     name.c_str());
  NtMachineRef machine;
  NtAccountAuthority db;
  int rc = open_db(ctx, args.positional[0], &machine, &db);
  if (rc != 0) return rc;
  NtUserRecord user;
  user.name = name;
  const std::string* password = args.one("password");
  user.password_hash = nt_password_hash(password ? *password : "");
  user.password_set = nt_unix_now();
  if (const std::string* full = args.one("full-name")) user.full_name = *full;
  if (const std::string* comment = args.one("comment")) user.comment = *comment;
  DWORD err = nt_accounts_add_user(*db.store.store, &user);
  if (const char* what = exists_text(err))
    return ctx.fail("%s is %s of %s already", name.c_str(), what, db.name.c_str());
  if (err != ERROR_SUCCESS)
    return ctx.fail("cannot add user %s to %s (error %lu)", name.c_str(), db.name.c_str(),
                    static_cast<unsigned long>(err));
  for (const std::string& g : args.all("group"))
    if ((rc = join_global(ctx, db, g, user.rid, name)) != 0) return rc;
  std::string sid = nt_sid_append(db.sid, user.rid);
  for (const std::string& l : args.all("local-group"))
    if ((rc = join_local(ctx, db, l, sid, name)) != 0) return rc;
  ctx.print("Added user %s\\%s (RID %lu)\n", db.name.c_str(), name.c_str(),
            static_cast<unsigned long>(user.rid));
  return 0;
}

int user_list(Ntnet& ctx, const AccountArgs& args) {
  if (args.positional.size() != 1) return ctx.usage("usage: ntnet user list MACHINE");
  NtMachineRef machine;
  NtAccountAuthority db;
  int rc = open_db(ctx, args.positional[0], &machine, &db);
  if (rc != 0) return rc;
  std::vector<NtUserRecord> users;
  DWORD err = nt_accounts_list_users(*db.store.store, &users);
  if (err != ERROR_SUCCESS)
    return ctx.fail("cannot read the users of %s (error %lu)", db.name.c_str(),
                    static_cast<unsigned long>(err));
  ctx.print("%-20s  %5s  %-8s  %s\n", "NAME", "RID", "STATE", "FULL NAME");
  for (const NtUserRecord& u : users) {
    std::string line(64 + u.name.size() + u.full_name.size(), '\0');
    int n = snprintf(line.data(), line.size(), "%-20s  %5lu  %-8s  %s", u.name.c_str(),
                     static_cast<unsigned long>(u.rid),
                     (u.flags & UF_ACCOUNTDISABLE) ? "disabled" : "enabled", u.full_name.c_str());
    line.resize(n > 0 ? static_cast<size_t>(n) : 0);
    while (!line.empty() && line.back() == ' ') line.pop_back();
    ctx.print("%s\n", line.c_str());
  }
  return 0;
}

int group_add(Ntnet& ctx, const AccountArgs& args) {
  if (args.positional.size() != 2)
    return ctx.usage("usage: ntnet group add MACHINE NAME [--local] [--comment TEXT] "
                     "[--member M]...");
  const std::string& name = args.positional[1];
  if (!valid_name(name, kMaxGroupName)) return ctx.usage("bad group name '%s'", name.c_str());
  NtMachineRef machine;
  NtAccountAuthority db;
  int rc = open_db(ctx, args.positional[0], &machine, &db);
  if (rc != 0) return rc;
  bool local = args.flags.count("local") != 0;
  const std::string* comment = args.one("comment");
  DWORD err;
  if (local) {
    NtAliasRecord alias;
    alias.name = name;
    if (comment) alias.comment = *comment;
    err = nt_accounts_add_alias(*db.store.store, &alias);
  } else {
    NtGroupRecord group;
    group.name = name;
    if (comment) group.comment = *comment;
    err = nt_accounts_add_group(*db.store.store, &group);
  }
  if (const char* what = exists_text(err))
    return ctx.fail("%s is %s of %s already", name.c_str(), what, db.name.c_str());
  if (err != ERROR_SUCCESS)
    return ctx.fail("cannot add group %s to %s (error %lu)", name.c_str(), db.name.c_str(),
                    static_cast<unsigned long>(err));
  for (const std::string& m : args.all("member")) {
    if (local) {
      NtAccount account;
      err = nt_lookup_account_name(machine, nt_utf16_from_wtf8(m), &account);
      if (err == ERROR_NONE_MAPPED)
        return ctx.fail("%s knows no account %s", machine.name.c_str(), m.c_str());
      if (err != ERROR_SUCCESS)
        return ctx.fail("cannot look up %s (error %lu)", m.c_str(),
                        static_cast<unsigned long>(err));
      if (account.use == SidTypeAlias || account.use == SidTypeDomain)
        return ctx.fail("%s cannot be a member of a local group", m.c_str());
      if ((rc = join_local(ctx, db, name, account.sid, m)) != 0) return rc;
    } else {
      NtUserRecord user;
      err = nt_accounts_get_user(*db.store.store, m, &user);
      if (err == NERR_UserNotFound)
        return ctx.fail("%s has no user %s", db.name.c_str(), m.c_str());
      if (err != ERROR_SUCCESS)
        return ctx.fail("cannot read user %s (error %lu)", m.c_str(),
                        static_cast<unsigned long>(err));
      if ((rc = join_global(ctx, db, name, user.rid, m)) != 0) return rc;
    }
  }
  ctx.print("Added %s group %s\\%s\n", local ? "local" : "global", db.name.c_str(), name.c_str());
  return 0;
}

int group_list(Ntnet& ctx, const AccountArgs& args) {
  if (args.positional.size() != 1) return ctx.usage("usage: ntnet group list MACHINE");
  NtMachineRef machine;
  NtAccountAuthority db;
  int rc = open_db(ctx, args.positional[0], &machine, &db);
  if (rc != 0) return rc;
  MachineStore& store = *db.store.store;
  std::vector<NtGroupRecord> groups;
  std::vector<NtAliasRecord> aliases;
  DWORD err = nt_accounts_list_groups(store, &groups);
  if (err == ERROR_SUCCESS) err = nt_accounts_list_aliases(store, &aliases);
  if (err != ERROR_SUCCESS)
    return ctx.fail("cannot read the groups of %s (error %lu)", db.name.c_str(),
                    static_cast<unsigned long>(err));
  for (const NtGroupRecord& g : groups) {
    std::vector<DWORD> rids;
    nt_accounts_group_members(store, g.rid, &rids);
    std::string members;
    for (DWORD rid : rids) {
      NtUserRecord u;
      if (nt_accounts_get_user_by_rid(store, rid, &u) != ERROR_SUCCESS) continue;
      members += (members.empty() ? "" : ", ") + u.name;
    }
    ctx.print("global %s:%s%s\n", g.name.c_str(), members.empty() ? "" : " ", members.c_str());
  }
  for (const NtAliasRecord& a : aliases) {
    std::vector<std::string> sids;
    nt_accounts_alias_members(store, a.rid, &sids);
    std::string members;
    for (const std::string& sid : sids)
      members += (members.empty() ? "" : ", ") + nt_account_display_name(machine, sid);
    ctx.print("local %s:%s%s\n", a.name.c_str(), members.empty() ? "" : " ", members.c_str());
  }
  return 0;
}

struct Entry {
  const char* sub;
  std::set<std::string> values;
  std::set<std::string> flags;
  int (*run)(Ntnet&, const AccountArgs&);
};

int dispatch(const char* what, const Entry* entries, size_t count, const char* help,
             const std::vector<std::string>& args, FILE* out, FILE* err) {
  Ntnet ctx{out, err};
  std::string sub = args.empty() ? "" : args[0];
  for (size_t i = 0; i < count; ++i) {
    const Entry& e = entries[i];
    if (sub != e.sub) continue;
    AccountArgs parsed;
    std::string message;
    if (!parse(args, e.values, e.flags, &parsed, &message)) return ctx.usage("%s", message.c_str());
    if (parsed.help) {
      ctx.print("%s", help);
      return 0;
    }
    return e.run(ctx, parsed);
  }
  return ctx.usage("unknown %s command '%s' (add or list)", what, sub.c_str());
}

}  // namespace

int ntnet_user_command(const std::vector<std::string>& args, FILE* out, FILE* err) {
  static const Entry entries[] = {
      {"add", {"password", "full-name", "comment", "group", "local-group"}, {}, user_add},
      {"list", {}, {}, user_list},
  };
  return dispatch("user", entries, 2,
                  "usage: ntnet user add MACHINE NAME [--password P] [--full-name TEXT]\n"
                  "                      [--comment TEXT] [--group G]... [--local-group L]...\n"
                  "       ntnet user list MACHINE\n",
                  args, out, err);
}

int ntnet_group_command(const std::vector<std::string>& args, FILE* out, FILE* err) {
  static const Entry entries[] = {
      {"add", {"comment", "member"}, {"local"}, group_add},
      {"list", {}, {}, group_list},
  };
  return dispatch("group", entries, 2,
                  "usage: ntnet group add MACHINE NAME [--local] [--comment TEXT] "
                  "[--member M]...\n"
                  "       ntnet group list MACHINE\n",
                  args, out, err);
}
