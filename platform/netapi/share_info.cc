// NetShareEnum and NetShareGetInfo over the share table of a machine.
#include <string>
#include <vector>

#include "platform/netapi/net_account_util.h"
#include "platform/netapi/net_buffer.h"
#include "platform/netapi/netapi.h"
#include "platform/netapi/share_table.h"
#include "platform/network/network.h"
#include "platform/network/wtf8.h"

namespace {

size_t record_size(DWORD level) {
  switch (level) {
    case 0: return sizeof(SHARE_INFO_0);
    case 1: return sizeof(SHARE_INFO_1);
    case 2: return sizeof(SHARE_INFO_2);
    default: return sizeof(SHARE_INFO_502);
  }
}

void fill(void* record, const NtShareInfo& s, DWORD level, NetBlobWriter& w) {
  switch (level) {
    case 0: {
      auto* r = static_cast<SHARE_INFO_0*>(record);
      r->shi0_netname = w.text(net_wide(s.name));
      break;
    }
    case 1: {
      auto* r = static_cast<SHARE_INFO_1*>(record);
      r->shi1_netname = w.text(net_wide(s.name));
      r->shi1_type = s.type;
      r->shi1_remark = w.text(net_wide(s.remark));
      break;
    }
    case 2: {
      auto* r = static_cast<SHARE_INFO_2*>(record);
      r->shi2_netname = w.text(net_wide(s.name));
      r->shi2_type = s.type;
      r->shi2_remark = w.text(net_wide(s.remark));
      r->shi2_permissions = s.permissions;
      r->shi2_max_uses = s.max_uses;
      r->shi2_current_uses = 0;
      r->shi2_path = w.text(net_wide(s.path));
      r->shi2_passwd = nullptr;
      break;
    }
    default: {
      auto* r = static_cast<SHARE_INFO_502*>(record);
      r->shi502_netname = w.text(net_wide(s.name));
      r->shi502_type = s.type;
      r->shi502_remark = w.text(net_wide(s.remark));
      r->shi502_permissions = s.permissions;
      r->shi502_max_uses = s.max_uses;
      r->shi502_current_uses = 0;
      r->shi502_path = w.text(net_wide(s.path));
      r->shi502_passwd = nullptr;
      r->shi502_reserved = 0;
      r->shi502_security_descriptor = w.bytes(s.security);
      break;
    }
  }
}

bool known_level(DWORD level) { return level == 0 || level == 1 || level == 2 || level == 502; }

}  // namespace

NET_API_STATUS NetShareEnum(LPCWSTR servername, DWORD level, LPBYTE* bufptr, DWORD prefmaxlen,
                            DWORD* entriesread, DWORD* totalentries, DWORD* resume_handle) {
  if (bufptr == nullptr || entriesread == nullptr || totalentries == nullptr)
    return net_status(ERROR_INVALID_PARAMETER);
  *bufptr = nullptr;
  *entriesread = 0;
  *totalentries = 0;
  if (!known_level(level)) return net_status(ERROR_INVALID_LEVEL);
  NtMachineRef ref;
  NET_API_STATUS status = nt_open_machine_w(servername, &ref);
  if (status != NERR_Success) return net_status(status);
  std::vector<NtShareInfo> list;
  if ((status = nt_share_list(*ref.store, &list)) != NERR_Success) return net_status(status);
  auto filler = [&](void* record, size_t i, NetBlobWriter& w) { fill(record, list[i], level, w); };
  return net_status(net_enumerate(list.size(), record_size(level), filler, prefmaxlen,
                                  resume_handle, bufptr, entriesread, totalentries));
}

NET_API_STATUS NetShareGetInfo(LPCWSTR servername, LPCWSTR netname, DWORD level,
                               LPBYTE* bufptr) {
  if (bufptr == nullptr || netname == nullptr) return net_status(ERROR_INVALID_PARAMETER);
  *bufptr = nullptr;
  if (!known_level(level)) return net_status(ERROR_INVALID_LEVEL);
  NtMachineRef ref;
  NET_API_STATUS status = nt_open_machine_w(servername, &ref);
  if (status != NERR_Success) return net_status(status);
  NtShareInfo share;
  status = nt_share_get(*ref.store, nt_wtf8_from_utf16(netname), &share);
  if (status != NERR_Success) return net_status(status);
  auto filler = [&](void* record, size_t, NetBlobWriter& w) { fill(record, share, level, w); };
  return net_status(net_pack(0, 1, record_size(level), filler, bufptr));
}
