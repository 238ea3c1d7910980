// NetWkstaUserGetInfo: who is logged on here, from the calling thread's
// identity.
#include "platform/kernel/identity.h"
#include "platform/netapi/net_account_util.h"
#include "platform/network/nt_name.h"

NET_API_STATUS NetWkstaUserGetInfo(LPWSTR reserved, DWORD level, LPBYTE* bufptr) {
  if (bufptr == nullptr || reserved != nullptr) return net_status(ERROR_INVALID_PARAMETER);
  *bufptr = nullptr;
  if (level != 0 && level != 1) return net_status(ERROR_INVALID_LEVEL);
  std::u16string user = net_wide(nt_user_name());
  std::u16string domain = net_wide(nt_user_domain());
  // The logon server: the domain's primary controller for a domain account,
  // else this machine.
  std::u16string server = net_wide(nt_local_machine_name());
  NtAccountAuthority db;
  if (nt_account_domain_by_name(nt_user_domain(), &db) == ERROR_SUCCESS) server = net_wide(db.store.name);
  auto fill = [&](void* record, size_t, NetBlobWriter& w) {
    if (level == 0) {
      static_cast<WKSTA_USER_INFO_0*>(record)->wkui0_username = w.text(user);
      return;
    }
    auto* r = static_cast<WKSTA_USER_INFO_1*>(record);
    r->wkui1_username = w.text(user);
    r->wkui1_logon_domain = w.text(domain);
    r->wkui1_oth_domains = w.text(u"");
    r->wkui1_logon_server = w.text(server);
  };
  size_t size = level == 0 ? sizeof(WKSTA_USER_INFO_0) : sizeof(WKSTA_USER_INFO_1);
  return net_status(net_pack(0, 1, size, fill, bufptr));
}
