#include "platform/accounts/account_authority.h"

#include <vector>

#include "platform/kernel/error.h"
#include "platform/accounts/account_store.h"
#include "platform/netapi/netapi.h"
#include "platform/network/nt_name.h"
#include "platform/security/machine_sid.h"

namespace {

// The primary controller of `group`, when there is one.
DWORD find_pdc(const std::string& group, NtMachineRef* out, bool* found) {
  *found = false;
  std::string root;
  DWORD err = nt_network_ensure(&root);
  if (err != ERROR_SUCCESS) return err;
  std::vector<std::string> names;
  if ((err = nt_machine_list(root, &names)) != ERROR_SUCCESS) return err;
  for (const std::string& name : names) {
    NtMachineRef ref;
    NtMachineInfo info;
    if (nt_open_machine(name, &ref, NtMachineAccess::admin) != ERROR_SUCCESS) continue;
    if (nt_machine_get_info(*ref.store, &info) != ERROR_SUCCESS) continue;
    if (info.role == NtMachineRole::pdc && info.lan_group == group) {
      *out = ref;
      *found = true;
      return ERROR_SUCCESS;
    }
  }
  return ERROR_SUCCESS;
}

DWORD fill(const NtMachineRef& store, const std::string& name, bool domain,
           NtAccountAuthority* out) {
  out->store = store;
  out->name = name;
  out->domain = domain;
  DWORD err = nt_accounts_prepare(*store.store);
  if (err != ERROR_SUCCESS) return err;
  return nt_machine_sid(*store.store, &out->sid);
}

}  // namespace

DWORD nt_account_open_machine(std::string_view name, NtMachineRef* out) {
  std::string_view bare = name;
  while (!bare.empty() && bare.front() == '\\') bare.remove_prefix(1);
  if (bare.empty()) return ERROR_BAD_NETPATH;
  return nt_open_machine(bare, out, NtMachineAccess::admin);
}

DWORD nt_account_authority_of(const NtMachineRef& machine, NtAccountAuthority* out) {
  NtMachineInfo info;
  DWORD err = nt_machine_get_info(*machine.store, &info);
  if (err != ERROR_SUCCESS) return err;
  if (info.role == NtMachineRole::pdc) return fill(machine, info.lan_group, true, out);
  if (info.role == NtMachineRole::bdc) {
    NtMachineRef pdc;
    bool found = false;
    if ((err = find_pdc(info.lan_group, &pdc, &found)) != ERROR_SUCCESS) return err;
    return fill(found ? pdc : machine, info.lan_group, true, out);
  }
  return fill(machine, info.name, false, out);
}

DWORD nt_account_member_domain(const NtMachineRef& machine, NtAccountAuthority* out) {
  NtMachineInfo info;
  DWORD err = nt_machine_get_info(*machine.store, &info);
  if (err != ERROR_SUCCESS) return err;
  if (info.role == NtMachineRole::pdc || info.role == NtMachineRole::bdc) return NERR_DCNotFound;
  NtMachineRef pdc;
  bool found = false;
  if ((err = find_pdc(info.lan_group, &pdc, &found)) != ERROR_SUCCESS) return err;
  if (!found) return NERR_DCNotFound;
  return fill(pdc, info.lan_group, true, out);
}

DWORD nt_account_domain_by_name(std::string_view domain, NtAccountAuthority* out) {
  std::string group = nt_upper_utf8(domain);
  NtMachineRef pdc;
  bool found = false;
  DWORD err = find_pdc(group, &pdc, &found);
  if (err != ERROR_SUCCESS) return err;
  if (!found) return ERROR_NO_SUCH_DOMAIN;
  return fill(pdc, group, true, out);
}

DWORD nt_account_authority_named(const NtMachineRef& machine, std::string_view name,
                                 NtAccountAuthority* out) {
  std::string want = nt_upper_utf8(name);
  NtMachineInfo info;
  DWORD err = nt_machine_get_info(*machine.store, &info);
  if (err != ERROR_SUCCESS) return err;
  if (want == info.name) return nt_account_authority_of(machine, out);
  bool controller = info.role == NtMachineRole::pdc || info.role == NtMachineRole::bdc;
  if (want == info.lan_group && controller) return nt_account_authority_of(machine, out);
  err = nt_account_domain_by_name(want, out);
  if (err != ERROR_NO_SUCH_DOMAIN) return err;
  NtMachineRef other;
  if (nt_account_open_machine(want, &other) == ERROR_SUCCESS)
    return nt_account_authority_of(other, out);
  return ERROR_NO_SUCH_DOMAIN;
}
