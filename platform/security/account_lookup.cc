#include "platform/security/account_lookup.h"

#include <cstring>
#include <vector>

#include "platform/accounts/account_sources.h"
#include "platform/kernel/error.h"
#include "platform/netapi/netapi.h"
#include "platform/network/wtf8.h"
#include "platform/nls/codepage.h"
#include "platform/security/machine_sid.h"
#include "platform/security/well_known_accounts.h"

namespace {

std::u16string upper(std::u16string_view text) {
  std::u16string out(text);
  for (char16_t& c : out) c = nt_wide_upper(c);
  return out;
}

std::u16string ascii16(const char* text) {
  std::u16string out;
  for (const char* p = text; *p; ++p) out.push_back(static_cast<char16_t>(*p));
  return out;
}

// A name being looked up, split and upper-cased.
struct AccountQuery {
  bool has_domain = false;
  std::u16string domain;  // upper case
  std::u16string name;    // upper case
};

// What the sources see of the machine that answers.
class AccountScope {
 public:
  explicit AccountScope(const NtMachineRef& machine) : machine_(machine) {}

  const NtMachineRef& machine() const { return machine_; }
  std::u16string machine_name() const { return nt_utf16_from_wtf8(machine_.name); }

  // The machine's own account database, read once per lookup.
  DWORD own(const NtAccountAuthority** db) {
    if (!own_read_) {
      own_error_ = nt_account_authority_of(machine_, &own_);
      own_read_ = true;
    }
    *db = &own_;
    return own_error_;
  }

  // The database of the machine's domain; ERROR_NONE_MAPPED when the
  // machine is no domain member (so that the next source is asked).
  DWORD member_domain(const NtAccountAuthority** db) {
    if (!domain_read_) {
      domain_error_ = nt_account_member_domain(machine_, &domain_);
      if (domain_error_ == NERR_DCNotFound) domain_error_ = ERROR_NONE_MAPPED;
      domain_read_ = true;
    }
    *db = &domain_;
    return domain_error_;
  }

 private:
  const NtMachineRef& machine_;
  bool own_read_ = false;
  DWORD own_error_ = ERROR_SUCCESS;
  NtAccountAuthority own_;
  bool domain_read_ = false;
  DWORD domain_error_ = ERROR_SUCCESS;
  NtAccountAuthority domain_;
};

// A source answers ERROR_SUCCESS with the account, ERROR_NONE_MAPPED to let
// the next source try, or another error that ends the lookup.
struct AccountSource {
  DWORD (*by_name)(AccountScope& scope, const AccountQuery& query, NtAccount* out);
  DWORD (*by_sid)(AccountScope& scope, std::string_view sid, NtAccount* out);
};

// ---- The account databases: the machine's own (its domain's for a
// controller), then the domain the machine is a member of.

DWORD own_by_name(AccountScope& scope, const AccountQuery& query, NtAccount* out) {
  const NtAccountAuthority* db = nullptr;
  DWORD err = scope.own(&db);
  if (err != ERROR_SUCCESS) return err;
  return nt_account_db_by_name(*db, query.has_domain, query.domain, query.name, out);
}

DWORD own_by_sid(AccountScope& scope, std::string_view sid, NtAccount* out) {
  const NtAccountAuthority* db = nullptr;
  DWORD err = scope.own(&db);
  if (err != ERROR_SUCCESS) return err;
  return nt_account_db_by_sid(*db, sid, out);
}

DWORD domain_by_name(AccountScope& scope, const AccountQuery& query, NtAccount* out) {
  const NtAccountAuthority* db = nullptr;
  DWORD err = scope.member_domain(&db);
  if (err != ERROR_SUCCESS) return err;
  return nt_account_db_by_name(*db, query.has_domain, query.domain, query.name, out);
}

DWORD domain_by_sid(AccountScope& scope, std::string_view sid, NtAccount* out) {
  const NtAccountAuthority* db = nullptr;
  DWORD err = scope.member_domain(&db);
  if (err != ERROR_SUCCESS) return err;
  return nt_account_db_by_sid(*db, sid, out);
}

// ---- Well-known and BUILTIN accounts.

NtAccount well_known_account(const NtWellKnownAccount& entry) {
  return NtAccount{nt_well_known_sid(entry), ascii16(entry.name), ascii16(entry.domain),
                   entry.use};
}

DWORD well_known_by_name(AccountScope&, const AccountQuery& query, NtAccount* out) {
  size_t count = 0;
  const NtWellKnownAccount* table = nt_well_known_accounts(&count);
  for (size_t i = 0; i < count; ++i) {
    if (query.name != upper(ascii16(table[i].name))) continue;
    if (query.has_domain && query.domain != upper(ascii16(table[i].domain))) continue;
    *out = well_known_account(table[i]);
    return ERROR_SUCCESS;
  }
  return ERROR_NONE_MAPPED;
}

DWORD well_known_by_sid(AccountScope&, std::string_view sid, NtAccount* out) {
  size_t count = 0;
  const NtWellKnownAccount* table = nt_well_known_accounts(&count);
  for (size_t i = 0; i < count; ++i) {
    if (nt_well_known_sid(table[i]) != sid) continue;
    *out = well_known_account(table[i]);
    return ERROR_SUCCESS;
  }
  return ERROR_NONE_MAPPED;
}

// The lookup order: the machine's own accounts first, then its domain's,
// then the well-known and BUILTIN accounts.
const std::vector<AccountSource>& account_sources() {
  static const std::vector<AccountSource> sources = {
      {own_by_name, own_by_sid},
      {domain_by_name, domain_by_sid},
      {well_known_by_name, well_known_by_sid},
  };
  return sources;
}

AccountQuery split_name(std::u16string_view account) {
  AccountQuery query;
  size_t slash = account.find(u'\\');
  if (slash != std::u16string_view::npos) {
    query.has_domain = true;
    query.domain = upper(account.substr(0, slash));
    account = account.substr(slash + 1);
  }
  query.name = upper(account);
  return query;
}

// The machine that answers a lookup, named as the A and W calls name it.
DWORD open_system(const std::string& system, NtMachineRef* machine) {
  DWORD err = nt_open_machine(system, machine);
  return err == ERROR_BAD_NETPATH ? RPC_S_SERVER_UNAVAILABLE : err;
}

BOOL fail(DWORD code) {
  SetLastError(code);
  return FALSE;
}

// Checks a caller's buffer: null with a non-zero size is a bad argument.
template <typename T>
bool bad_buffer(const T* buffer, const DWORD* size) {
  return size == nullptr || (buffer == nullptr && *size != 0);
}

// The name lookup in units of Char: `convert` turns UTF-16 into the caller's
// text form.
template <typename Char, typename Convert>
BOOL lookup_name(const std::string& system, std::u16string_view account, PSID sid,
                 DWORD* sid_size, Char* domain, DWORD* domain_size, PSID_NAME_USE use,
                 Convert convert) {
  if (bad_buffer(static_cast<const char*>(sid), sid_size) || bad_buffer(domain, domain_size) ||
      use == nullptr)
    return fail(ERROR_INVALID_PARAMETER);
  NtMachineRef machine;
  DWORD err = open_system(system, &machine);
  if (err != ERROR_SUCCESS) return fail(err);
  NtAccount found;
  if ((err = nt_lookup_account_name(machine, account, &found)) != ERROR_SUCCESS) return fail(err);
  std::basic_string<Char> domain_text = convert(found.domain);
  DWORD need_sid = static_cast<DWORD>(found.sid.size());
  DWORD need_domain = static_cast<DWORD>(domain_text.size() + 1);
  if (*sid_size < need_sid || *domain_size < need_domain) {
    *sid_size = need_sid;
    *domain_size = need_domain;
    return fail(ERROR_INSUFFICIENT_BUFFER);
  }
  memcpy(sid, found.sid.data(), need_sid);
  memcpy(domain, domain_text.c_str(), need_domain * sizeof(Char));
  *sid_size = need_sid;
  *domain_size = need_domain - 1;
  *use = found.use;
  SetLastError(ERROR_SUCCESS);
  return TRUE;
}

template <typename Char, typename Convert>
BOOL lookup_sid(const std::string& system, PSID sid, Char* name, DWORD* name_size, Char* domain,
                DWORD* domain_size, PSID_NAME_USE use, Convert convert) {
  if (bad_buffer(name, name_size) || bad_buffer(domain, domain_size) || use == nullptr)
    return fail(ERROR_INVALID_PARAMETER);
  if (!IsValidSid(sid)) return fail(ERROR_INVALID_SID);
  NtMachineRef machine;
  DWORD err = open_system(system, &machine);
  if (err != ERROR_SUCCESS) return fail(err);
  NtAccount found;
  std::string_view bytes(static_cast<const char*>(sid), GetLengthSid(sid));
  if ((err = nt_lookup_account_sid(machine, bytes, &found)) != ERROR_SUCCESS) return fail(err);
  std::basic_string<Char> name_text = convert(found.name);
  std::basic_string<Char> domain_text = convert(found.domain);
  DWORD need_name = static_cast<DWORD>(name_text.size() + 1);
  DWORD need_domain = static_cast<DWORD>(domain_text.size() + 1);
  if (*name_size < need_name || *domain_size < need_domain) {
    *name_size = need_name;
    *domain_size = need_domain;
    return fail(ERROR_INSUFFICIENT_BUFFER);
  }
  memcpy(name, name_text.c_str(), need_name * sizeof(Char));
  memcpy(domain, domain_text.c_str(), need_domain * sizeof(Char));
  *name_size = need_name - 1;
  *domain_size = need_domain - 1;
  *use = found.use;
  SetLastError(ERROR_SUCCESS);
  return TRUE;
}

std::string system_from_a(const char* system) {
  return system && *system ? nt_wtf8_from_utf16(nt_ansi_to_wide(system)) : std::string();
}

std::string system_from_w(const WCHAR* system) {
  return system && *system ? nt_wtf8_from_utf16(system) : std::string();
}

std::string to_ansi(const std::u16string& text) { return nt_wide_to_ansi(text); }
std::u16string to_wide(const std::u16string& text) { return text; }

}  // namespace

DWORD nt_lookup_account_name(const NtMachineRef& machine, std::u16string_view account,
                             NtAccount* out) {
  if (out == nullptr || !machine.store) return ERROR_INVALID_PARAMETER;
  AccountQuery query = split_name(account);
  if (query.name.empty()) return ERROR_NONE_MAPPED;
  AccountScope scope(machine);
  for (const AccountSource& source : account_sources()) {
    DWORD err = source.by_name(scope, query, out);
    if (err != ERROR_NONE_MAPPED) return err;
  }
  return ERROR_NONE_MAPPED;
}

DWORD nt_lookup_account_sid(const NtMachineRef& machine, std::string_view sid, NtAccount* out) {
  if (out == nullptr || !machine.store) return ERROR_INVALID_PARAMETER;
  size_t length = nt_sid_length(sid);
  if (length == 0) return ERROR_INVALID_SID;
  sid = sid.substr(0, length);
  AccountScope scope(machine);
  for (const AccountSource& source : account_sources()) {
    DWORD err = source.by_sid(scope, sid, out);
    if (err != ERROR_NONE_MAPPED) return err;
  }
  return ERROR_NONE_MAPPED;
}

std::string nt_account_display_name(const NtMachineRef& machine, std::string_view sid) {
  NtAccount account;
  if (nt_lookup_account_sid(machine, sid, &account) != ERROR_SUCCESS) return nt_sid_to_text(sid);
  std::string name = nt_wtf8_from_utf16(account.name);
  if (account.domain.empty()) return name;
  return nt_wtf8_from_utf16(account.domain) + "\\" + name;
}

BOOL LookupAccountNameA(const char* system, const char* account, PSID sid, DWORD* sid_size,
                        char* domain, DWORD* domain_size, PSID_NAME_USE use) {
  if (account == nullptr) return fail(ERROR_INVALID_PARAMETER);
  return lookup_name(system_from_a(system), nt_ansi_to_wide(account), sid, sid_size, domain,
                     domain_size, use, to_ansi);
}

BOOL LookupAccountNameW(const WCHAR* system, const WCHAR* account, PSID sid, DWORD* sid_size,
                        WCHAR* domain, DWORD* domain_size, PSID_NAME_USE use) {
  if (account == nullptr) return fail(ERROR_INVALID_PARAMETER);
  return lookup_name(system_from_w(system), std::u16string_view(account), sid, sid_size, domain,
                     domain_size, use, to_wide);
}

BOOL LookupAccountSidA(const char* system, PSID sid, char* name, DWORD* name_size, char* domain,
                       DWORD* domain_size, PSID_NAME_USE use) {
  return lookup_sid(system_from_a(system), sid, name, name_size, domain, domain_size, use,
                    to_ansi);
}

BOOL LookupAccountSidW(const WCHAR* system, PSID sid, WCHAR* name, DWORD* name_size,
                       WCHAR* domain, DWORD* domain_size, PSID_NAME_USE use) {
  return lookup_sid(system_from_w(system), sid, name, name_size, domain, domain_size, use,
                    to_wide);
}
