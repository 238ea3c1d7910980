#include "zeb/user_command.h"

#include <cstdio>
#include <cstring>
#include <vector>

#include "lib/arg_spec.h"
#include "lib/format.h"
#include "lib/frame.h"
#include "platform/kernel/error.h"
#include "platform/security/access_mask.h"
#include "platform/security/account_lookup.h"
#include "platform/security/acl.h"
#include "platform/security/security_descriptor.h"
#include "platform/security/sid.h"
#include "zeb/account_record.h"
#include "zeb/account_store.h"
#include "zeb/service_keys.h"

namespace {

// The server name without its leading backslashes, for the registry.
const char* bare(const char* server) {
  while (server && *server == '\\') ++server;
  return server ? server : "";
}

void copy_text(char* out, const std::string& text) {
  snprintf(out, ARG_TEXT_SIZE, "%s", text.c_str());
}

void print_account(const UserCommandArgs& args, const AccountEntry& entry) {
  char server[ARG_TEXT_SIZE];
  char domain_of_server[ARG_TEXT_SIZE];
  char index[ARG_TEXT_SIZE];
  char domain[ARG_TEXT_SIZE];
  char user[ARG_TEXT_SIZE];
  char hex[ARG_TEXT_SIZE];
  copy_text(server, args.server ? args.server : "");
  copy_text(domain_of_server, args.server_domain ? args.server_domain : "");
  copy_text(index, account_index_name(entry.index));
  copy_text(domain, entry.readable ? entry.fields.domain : "");
  copy_text(user, entry.readable ? entry.fields.user : "");
  copy_text(hex, account_record_to_hex(entry.record));
  const ArgSpec table[] = {
      {ARG_STRING, 'S', ARG_GIVEN, server, 0},  {ARG_STRING, 'D', ARG_GIVEN, domain_of_server, 0},
      {ARG_STRING, 'k', ARG_GIVEN, index, 0},   {ARG_STRING, 'd', ARG_GIVEN, domain, 0},
      {ARG_STRING, 'u', ARG_GIVEN, user, 0},    {ARG_STRING, 'h', ARG_GIVEN, hex, 0},
      {ARG_END, 0, 0, nullptr, 0},
  };
  print_formatted(args.format, table, false);
}

}  // namespace

LONG user_store_open(HKEY machine_root, HKEY* users) {
  std::string path = std::string(ZEB_SERVICE_KEY) + "\\" + ZEB_USERS_SUBKEY;
  LONG rc = RegOpenKeyExA(machine_root, path.c_str(), 0, KEY_ALL_ACCESS, users);
  if (rc != ERROR_FILE_NOT_FOUND) return rc;
  return account_store_create(machine_root, path.c_str(), users);
}

int user_command_server(const UserCommandArgs& args, UserCommandTotals* totals) {
  const char* server = args.server ? args.server : "";
  bool deleting = args.delete_index != nullptr;
  AccountOption mode = args.account ? account_option_kind(args.account) : AccountOption::list;
  if (deleting) mode = AccountOption::index;

  // 2. What /u names.
  AccountRecord hex_record{};
  std::string domain;
  std::string user;
  int wanted_index = 0;
  if (!deleting && mode == AccountOption::hex) {
    if (strlen(args.account) != 2 + 2 * ACCOUNT_RECORD_SIZE ||
        !account_record_from_hex(args.account, &hex_record)) {
      printf("ZEB-ERROR, hex notation has invalid length\n");
      return EXIT_INVALID_PARAMETER;
    }
    AccountFields fields;
    if (account_record_read(hex_record, &fields)) {
      domain = fields.domain;
      user = fields.user;
    }
  } else if (!deleting && mode == AccountOption::name) {
    BYTE sid[68];
    DWORD sid_size = sizeof sid;
    char found_domain[256];
    DWORD domain_size = sizeof found_domain;
    SID_NAME_USE use;
    if (!LookupAccountNameA(bare(server), args.account, sid, &sid_size, found_domain,
                            &domain_size, &use)) {
      printf("ZEB-ERROR, username '%s' unknown\n", args.account);
      return 1;
    }
    switch (account_split_name(args.account, &domain, &user)) {
      case AccountNameSplit::domain_too_long:
        printf("ZEB-ERROR, domainname too long (%d chars max)\n",
               static_cast<int>(ACCOUNT_NAME_PART_LIMIT - 1));
        return 1;
      case AccountNameSplit::user_too_long:
        printf("ZEB-ERROR, username too long (%d chars max)\n",
               static_cast<int>(ACCOUNT_NAME_PART_LIMIT - 1));
        return 1;
      case AccountNameSplit::ok:
        break;
    }
  } else if (mode == AccountOption::index) {
    const char* text = deleting ? args.delete_index : args.account;
    if (!account_parse_index(text, &wanted_index)) wanted_index = -1;
  }

  // 3.
  if (args.account || deleting) printf("ZEB-INFO, Processing %s\n", server);

  // 4. The store.
  HKEY root = nullptr;
  LONG rc = RegConnectRegistryA(*bare(server) ? server : nullptr, HKEY_LOCAL_MACHINE, &root);
  if (rc != ERROR_SUCCESS) {
    printf("RegConnectRegistry(%s) failed, error=%ld\n", server, static_cast<long>(rc));
    return 1;
  }
  HKEY users = nullptr;
  rc = user_store_open(root, &users);
  RegCloseKey(root);
  if (rc != ERROR_SUCCESS) {
    printf("ZEB-ERROR, RegOpenKey(%s\\user) failed, error=%ld\n", server, static_cast<long>(rc));
    return 1;
  }

  // 5. Enumerate.
  AccountScan scan;
  bool by_name = !deleting && (mode == AccountOption::name || mode == AccountOption::hex);
  account_store_scan(users, mode == AccountOption::index && wanted_index > 0 ? wanted_index : 0,
                     by_name ? domain.c_str() : nullptr, by_name ? user.c_str() : nullptr, &scan);
  int result = 1;
  if (mode == AccountOption::list && !deleting) {
    // 6.
    for (const AccountEntry& entry : scan.entries) {
      if (args.format && *args.format) {
        print_account(args, entry);
        ++totals->processed;
      }
    }
    result = 0;
  } else if (deleting) {
    // 8.
    std::string name = args.delete_index;
    AccountRecord rec{};
    rc = wanted_index > 0 ? account_store_read(users, wanted_index, &rec) : ERROR_FILE_NOT_FOUND;
    if (rc != ERROR_SUCCESS) {
      printf("ZEB-ERROR, cannot query value '%s', error=%ld\n", name.c_str(),
             static_cast<long>(rc));
    } else {
      AccountFields fields;
      account_record_read(rec, &fields);
      std::string value = account_index_name(wanted_index);
      char question[1024];
      snprintf(question, sizeof question, "Delete '%s:%s\\%s' on '%s' ?\n", value.c_str(),
               fields.domain.c_str(), fields.user.c_str(), server);
      if (confirm(question)) {
        rc = account_store_delete(users, wanted_index);
        if (rc == ERROR_SUCCESS) {
          printf("ZEB-INFO, deleted account info '%s:%s\\%s' on '%s'\n", value.c_str(),
                 fields.domain.c_str(), fields.user.c_str(), server);
          ++totals->processed;
          result = 0;
        } else {
          printf("ZEB-ERROR, cannot delete value '%s', error=%ld\n", value.c_str(),
                 static_cast<long>(rc));
        }
      }
    }
  } else {
    // 7. Add or modify.
    AccountRecord rec = hex_record;
    if (mode == AccountOption::index) {
      if (scan.match < 0) {
        printf("ZEB-ERROR, cannot query value '%s', error=%ld\n", args.account,
               static_cast<long>(ERROR_FILE_NOT_FOUND));
        RegCloseKey(users);
        return 1;
      }
      const AccountEntry& e = scan.entries[static_cast<size_t>(scan.match)];
      domain = e.fields.domain;
      user = e.fields.user;
    }
    if (mode != AccountOption::hex) {
      char password[PASSWORD_MAX + 1] = "";
      std::string given;
      if (args.password) {
        given = args.password;
      } else {
        printf("%s: Please enter the password for %s", server, user.c_str());
        fflush(stdout);
        read_password(password);
        given = password;
      }
      rec = account_record_make_now(domain.c_str(), user.c_str(), given.c_str());
    }
    int index = 0;
    bool added = false;
    rc = account_store_put(users, rec, &index, &added);
    if (rc != ERROR_SUCCESS) {
      printf("ZEB-ERROR, cannot set value '%s', error=%ld\n", account_index_name(index).c_str(),
             static_cast<long>(rc));
    } else {
      const char* what = added ? "added" : "modified";
      if (mode == AccountOption::hex) {
        printf("ZEB-INFO, %s account info on %s\n", what, server);
      } else {
        printf("ZEB-INFO, %s account info for '%s\\%s' on %s\n", what, domain.c_str(),
               user.c_str(), server);
      }
      if (added) {
        ++totals->processed;
      } else {
        ++totals->modified;
      }
      result = 0;
    }
  }
  RegCloseKey(users);
  return result;
}
