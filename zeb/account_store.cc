#include "zeb/account_store.h"

#include <cstring>
#include <vector>

#include "platform/security/acl.h"
#include "platform/security/security_descriptor.h"
#include "platform/security/sid.h"

#include "zeb/job_store.h"
#include "zeb/service_keys.h"

LONG account_store_open(const char* machine, bool create, HKEY* users) {
  if (users == nullptr) return ERROR_INVALID_PARAMETER;
  *users = nullptr;
  HKEY service = nullptr;
  LONG rc = zeb_open_service_key(machine, create ? KEY_ALL_ACCESS : KEY_READ, &service);
  if (rc != ERROR_SUCCESS) return rc;
  if (create) {
    rc = account_store_create(service, ZEB_USERS_SUBKEY, users);
  } else {
    rc = RegOpenKeyExA(service, ZEB_USERS_SUBKEY, 0, KEY_ALL_ACCESS, users);
    if (rc == ERROR_ACCESS_DENIED) rc = RegOpenKeyExA(service, ZEB_USERS_SUBKEY, 0, KEY_READ, users);
  }
  RegCloseKey(service);
  return rc;
}

LONG account_store_create(HKEY parent, const char* path, HKEY* users) {
  // Administrators and the system, full access; nobody else.
  SID_IDENTIFIER_AUTHORITY nt{{0, 0, 0, 0, 0, 5}};
  PSID admins = nullptr;
  PSID system = nullptr;
  if (!AllocateAndInitializeSid(&nt, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS, 0, 0,
                                0, 0, 0, 0, &admins) ||
      !AllocateAndInitializeSid(&nt, 1, SECURITY_LOCAL_SYSTEM_RID, 0, 0, 0, 0, 0, 0, 0, &system)) {
    LONG rc = static_cast<LONG>(GetLastError());
    if (admins) FreeSid(admins);
    return rc;
  }
  DWORD size = sizeof(ACL) + 2 * (sizeof(ACCESS_ALLOWED_ACE) - sizeof(DWORD)) +
               GetLengthSid(admins) + GetLengthSid(system);
  std::vector<BYTE> acl_bytes(size);
  PACL acl = reinterpret_cast<PACL>(acl_bytes.data());
  SECURITY_DESCRIPTOR sd{};
  SECURITY_ATTRIBUTES sa{sizeof sa, &sd, FALSE};
  LONG rc;
  if (!InitializeAcl(acl, size, ACL_REVISION) ||
      !AddAccessAllowedAce(acl, ACL_REVISION, KEY_ALL_ACCESS, admins) ||
      !AddAccessAllowedAce(acl, ACL_REVISION, KEY_ALL_ACCESS, system) ||
      !InitializeSecurityDescriptor(&sd, SECURITY_DESCRIPTOR_REVISION) ||
      !SetSecurityDescriptorDacl(&sd, TRUE, acl, FALSE)) {
    rc = static_cast<LONG>(GetLastError());
  } else {
    rc = RegCreateKeyExA(parent, path, 0, const_cast<char*>(ZEB_USERS_CLASS),
                         REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, &sa, users, nullptr);
  }
  FreeSid(admins);
  FreeSid(system);
  return rc;
}

LONG account_store_scan(HKEY users, int index, const char* domain, const char* user,
                        AccountScan* scan) {
  *scan = AccountScan();
  const bool by_name = domain != nullptr && user != nullptr;
  for (DWORD i = 0;; ++i) {
    char name[4];
    DWORD name_size = sizeof name;
    BYTE data[ACCOUNT_RECORD_SIZE];
    DWORD data_size = sizeof data;
    DWORD type = REG_NONE;
    LONG rc = RegEnumValueA(users, i, name, &name_size, nullptr, &type, data, &data_size);
    if (rc != ERROR_SUCCESS) {
      scan->end = rc;
      break;
    }
    AccountEntry entry;
    if (!account_parse_index(name, &entry.index)) continue;
    scan->last_index = entry.index;
    if (data_size == ACCOUNT_RECORD_SIZE) {
      memcpy(entry.record.bytes, data, ACCOUNT_RECORD_SIZE);
      entry.readable = account_record_read(entry.record, &entry.fields);
    }
    scan->entries.push_back(std::move(entry));
    const AccountEntry& e = scan->entries.back();
    bool hit = (index > 0 && e.index == index) ||
               (by_name && e.readable &&
                account_names_match(e.fields.domain, e.fields.user, domain, user));
    if (hit) {
      scan->match = static_cast<int>(scan->entries.size()) - 1;
      break;
    }
  }
  if (scan->end == ERROR_NO_MORE_ITEMS || scan->end == ERROR_MORE_DATA) return ERROR_SUCCESS;
  return scan->end;
}

namespace {

bool index_taken(HKEY users, int index) {
  std::string name = account_index_name(index);
  DWORD size = 0;
  return RegQueryValueExA(users, name.c_str(), nullptr, nullptr, nullptr, &size) == ERROR_SUCCESS;
}

LONG write_record(HKEY users, int index, const AccountRecord& rec) {
  std::string name = account_index_name(index);
  if (name.empty()) return ERROR_INVALID_PARAMETER;
  return RegSetValueExA(users, name.c_str(), 0, REG_BINARY, rec.bytes, ACCOUNT_RECORD_SIZE);
}

}  // namespace

LONG account_store_put(HKEY users, const AccountRecord& rec, int* index, bool* added) {
  AccountFields fields;
  if (!account_record_read(rec, &fields)) return ERROR_INVALID_DATA;
  AccountScan scan;
  LONG rc = account_store_scan(users, 0, fields.domain.c_str(), fields.user.c_str(), &scan);
  if (rc != ERROR_SUCCESS) return rc;
  int target;
  bool is_new = scan.match < 0;
  if (!is_new) {
    target = scan.entries[scan.match].index;
  } else {
    target = scan.last_index + 1;
    while (target <= ACCOUNT_INDEX_MAX && index_taken(users, target)) ++target;
    if (target > ACCOUNT_INDEX_MAX) return ERROR_NO_MORE_ITEMS;
  }
  rc = write_record(users, target, rec);
  if (rc != ERROR_SUCCESS) return rc;
  if (index) *index = target;
  if (added) *added = is_new;
  return ERROR_SUCCESS;
}

LONG account_store_read(HKEY users, int index, AccountRecord* rec) {
  std::string name = account_index_name(index);
  if (name.empty() || rec == nullptr) return ERROR_INVALID_PARAMETER;
  BYTE data[ACCOUNT_RECORD_SIZE];
  DWORD size = sizeof data;
  DWORD type = REG_NONE;
  LONG rc = RegQueryValueExA(users, name.c_str(), nullptr, &type, data, &size);
  if (rc != ERROR_SUCCESS) return rc;
  if (size != ACCOUNT_RECORD_SIZE) return ERROR_INVALID_DATA;
  memcpy(rec->bytes, data, ACCOUNT_RECORD_SIZE);
  return ERROR_SUCCESS;
}

LONG account_store_lookup(HKEY users, int index, AccountFields* fields) {
  AccountRecord rec;
  LONG rc = account_store_read(users, index, &rec);
  if (rc != ERROR_SUCCESS) return rc;
  return account_record_read(rec, fields) ? ERROR_SUCCESS : ERROR_INVALID_DATA;
}

LONG account_store_delete(HKEY users, int index) {
  std::string name = account_index_name(index);
  if (name.empty()) return ERROR_INVALID_PARAMETER;
  return RegDeleteValueA(users, name.c_str());
}
