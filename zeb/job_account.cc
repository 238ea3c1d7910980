#include "zeb/job_account.h"

#include <utility>

#include "platform/registry/registry.h"
#include "zeb/account_record.h"
#include "zeb/account_store.h"
#include "zeb/service_keys.h"

ZebJobAccounts::ZebJobAccounts(std::string server, std::string label, Sink err)
    : server_(std::move(server)), label_(std::move(label)), err_(std::move(err)) {}

ZebJobAccounts::~ZebJobAccounts() {
  if (users_ != nullptr) RegCloseKey(users_);
}

bool ZebJobAccounts::open() {
  if (tried_) return users_ != nullptr;
  tried_ = true;
  HKEY machine = nullptr;
  LONG rc = RegConnectRegistryA(server_.empty() ? nullptr : server_.c_str(),
                                HKEY_LOCAL_MACHINE, &machine);
  if (rc != ERROR_SUCCESS) {
    err_("RegConnectRegistry(" + label_ + ") failed, error=" + std::to_string(rc) + "\n");
    return false;
  }
  std::string path = std::string(ZEB_SERVICE_KEY) + "\\" + ZEB_USERS_SUBKEY;
  rc = RegOpenKeyExA(machine, path.c_str(), 0, KEY_READ, &users_);
  RegCloseKey(machine);
  if (rc != ERROR_SUCCESS) {
    users_ = nullptr;
    err_("RegOpenKey(" + label_ + "\\user) failed, error=" + std::to_string(rc) + "\n");
    return false;
  }
  return true;
}

bool ZebJobAccounts::resolve(const std::string& option, DWORD* index) {
  if (option == "0") {
    *index = 0;
    return true;
  }
  AccountScan scan;
  switch (account_option_kind(option.c_str())) {
    case AccountOption::list:
      break;
    case AccountOption::index: {
      int wanted = 0;
      if (!account_parse_index(option.c_str(), &wanted) || !open()) break;
      account_store_scan(users_, wanted, nullptr, nullptr, &scan);
      break;
    }
    case AccountOption::hex: {
      AccountRecord rec;
      AccountFields fields;
      if (option.size() != 2 + 2 * ACCOUNT_RECORD_SIZE) {
        err_("ZEB-ERROR, hex notation has invalid length\n");
        return false;
      }
      if (!account_record_from_hex(option.c_str(), &rec) || !account_record_read(rec, &fields) ||
          !open()) {
        break;
      }
      account_store_scan(users_, 0, fields.domain.c_str(), fields.user.c_str(), &scan);
      break;
    }
    case AccountOption::name: {
      std::string domain, user;
      switch (account_split_name(option.c_str(), &domain, &user)) {
        case AccountNameSplit::domain_too_long:
          err_("ZEB-ERROR, domainname too long (" +
               std::to_string(ACCOUNT_NAME_PART_LIMIT - 1) + " chars max)\n");
          return false;
        case AccountNameSplit::user_too_long:
          err_("ZEB-ERROR, username too long (" + std::to_string(ACCOUNT_NAME_PART_LIMIT - 1) +
               " chars max)\n");
          return false;
        case AccountNameSplit::ok:
          break;
      }
      if (!open()) break;
      account_store_scan(users_, 0, domain.c_str(), user.c_str(), &scan);
      break;
    }
  }
  if (scan.match < 0 || !users_) {
    if (users_ != nullptr || !tried_) {
      err_("ZEB-ERROR, user " + option + " not registered on " + label_ + "\n");
    }
    return false;
  }
  *index = static_cast<DWORD>(scan.entries[static_cast<size_t>(scan.match)].index);
  return true;
}

std::string ZebJobAccounts::label(DWORD index) {
  if (index == 0) return "0";
  auto it = labels_.find(index);
  if (it != labels_.end()) return it->second;
  std::string text = std::to_string(index);
  if (open()) {
    AccountFields fields;
    LONG rc = account_store_lookup(users_, static_cast<int>(index), &fields);
    if (rc == ERROR_SUCCESS) {
      text = fields.domain + "\\" + fields.user;
    } else {
      err_("RegQueryValueEx(" + label_ + "\\user\\" + std::to_string(index) + ") failed, error=" +
           std::to_string(rc) + "\n");
    }
  }
  labels_[index] = text;
  return text;
}
