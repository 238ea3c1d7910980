// NetShareAdd, NetShareSetInfo and NetShareDel: the share table of a
// machine changed by its administrators.
#include <cstring>

#include "platform/netapi/net_account_util.h"
#include "platform/files/path.h"
#include "platform/netapi/share_table.h"
#include "platform/network/wtf8.h"
#include "platform/security/security_descriptor.h"

namespace {

NET_API_STATUS fail(NET_API_STATUS status, DWORD* parm_err, DWORD parm) {
  if (parm_err) *parm_err = parm;
  return status;
}

// The descriptor a caller gives (absolute or self-relative) as
// self-relative bytes; null is none.
bool descriptor_bytes(PSECURITY_DESCRIPTOR sd, std::string* out) {
  out->clear();
  if (sd == nullptr) return true;
  NtSecurityDescriptor parsed;
  if (!nt_sd_read(sd, &parsed)) return false;
  *out = nt_sd_build(parsed);
  return true;
}

bool valid_netname(LPCWSTR name) {
  if (name == nullptr || *name == 0 || !net_text_fits(name, NNLEN)) return false;
  for (const WCHAR* p = name; *p; ++p) {
    if (*p < 0x20 || *p == 0x7F) return false;
    if (std::u16string_view(u"\"/\\[]:|<>+;,?*=").find(*p) != std::u16string_view::npos)
      return false;
  }
  return true;
}

bool valid_path(LPCWSTR path) {
  if (path == nullptr || !net_text_fits(path, MAX_PATH - 1)) return false;
  std::u16string_view p(path);
  if (p.size() < 3 || p[1] != u':' || (p[2] != u'\\' && p[2] != u'/')) return false;
  char16_t c = p[0];
  return (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z');
}

// The machine of a call that changes shares, checked for its administrator.
NET_API_STATUS open_for_change(LPCWSTR servername, NtMachineRef* machine) {
  NET_API_STATUS status = nt_open_machine_w(servername, machine);
  if (status != NERR_Success) return status;
  return net_require_admin(*machine);
}

// Level 2 and 502 records begin alike; SHARE_INFO_502 views both.
SHARE_INFO_502 read_record(DWORD level, const BYTE* buf) {
  SHARE_INFO_502 in{};
  std::memcpy(&in, buf, level == 2 ? sizeof(SHARE_INFO_2) : sizeof(SHARE_INFO_502));
  return in;
}

}  // namespace

NET_API_STATUS NetShareAdd(LPCWSTR servername, DWORD level, LPBYTE buf, DWORD* parm_err) {
  if (parm_err) *parm_err = PARM_ERROR_NONE;
  if (buf == nullptr) return net_status(ERROR_INVALID_PARAMETER);
  if (level != 2 && level != 502) return net_status(ERROR_INVALID_LEVEL);
  NtMachineRef machine;
  NET_API_STATUS status = open_for_change(servername, &machine);
  if (status != NERR_Success) return net_status(status);
  SHARE_INFO_502 in = read_record(level, buf);
  if (!valid_netname(in.shi502_netname))
    return net_status(fail(ERROR_INVALID_PARAMETER, parm_err, SHARE_NETNAME_PARMNUM));
  if (in.shi502_type != STYPE_DISKTREE)
    return net_status(fail(ERROR_INVALID_PARAMETER, parm_err, SHARE_TYPE_PARMNUM));
  if (!net_text_fits(in.shi502_remark, MAXCOMMENTSZ))
    return net_status(fail(ERROR_INVALID_PARAMETER, parm_err, SHARE_REMARK_PARMNUM));
  if (!valid_path(in.shi502_path))
    return net_status(fail(ERROR_INVALID_PARAMETER, parm_err, SHARE_PATH_PARMNUM));
  NtShareInfo share;
  share.name = net_utf8(in.shi502_netname);
  share.type = in.shi502_type;
  share.remark = net_utf8(in.shi502_remark);
  share.path = net_utf8(in.shi502_path);
  share.permissions = in.shi502_permissions;
  share.max_uses = in.shi502_max_uses;
  if (level == 502 && !descriptor_bytes(in.shi502_security_descriptor, &share.security))
    return net_status(fail(ERROR_INVALID_PARAMETER, parm_err, SHARE_FILE_SD_PARMNUM));
  status = nt_share_add(*machine.store, share);
  if (status == NERR_UnknownDevDir && parm_err) *parm_err = SHARE_PATH_PARMNUM;
  return net_status(status);
}

NET_API_STATUS NetShareSetInfo(LPCWSTR servername, LPCWSTR netname, DWORD level, LPBYTE buf,
                               DWORD* parm_err) {
  if (parm_err) *parm_err = PARM_ERROR_NONE;
  if (buf == nullptr || netname == nullptr) return net_status(ERROR_INVALID_PARAMETER);
  if (level != 2 && level != 502 && level != 1004 && level != 1501)
    return net_status(ERROR_INVALID_LEVEL);
  NtMachineRef machine;
  NET_API_STATUS status = open_for_change(servername, &machine);
  if (status != NERR_Success) return net_status(status);
  NtShareInfo share;
  if ((status = nt_share_get(*machine.store, net_utf8(netname), &share)) != NERR_Success)
    return net_status(status);
  switch (level) {
    case 1004: {
      LPCWSTR remark = reinterpret_cast<SHARE_INFO_1004*>(buf)->shi1004_remark;
      if (!net_text_fits(remark, MAXCOMMENTSZ))
        return net_status(fail(ERROR_INVALID_PARAMETER, parm_err, SHARE_REMARK_PARMNUM));
      share.remark = net_utf8(remark);
      break;
    }
    case 1501: {
      PSECURITY_DESCRIPTOR sd = reinterpret_cast<SHARE_INFO_1501*>(buf)->shi1501_security_descriptor;
      if (!descriptor_bytes(sd, &share.security))
        return net_status(fail(ERROR_INVALID_PARAMETER, parm_err, SHARE_FILE_SD_PARMNUM));
      break;
    }
    default: {
      // The name, type and path of a share stay as they are.
      SHARE_INFO_502 in = read_record(level, buf);
      if (!net_text_fits(in.shi502_remark, MAXCOMMENTSZ))
        return net_status(fail(ERROR_INVALID_PARAMETER, parm_err, SHARE_REMARK_PARMNUM));
      share.remark = net_utf8(in.shi502_remark);
      share.permissions = in.shi502_permissions;
      share.max_uses = in.shi502_max_uses;
      if (level == 502 && !descriptor_bytes(in.shi502_security_descriptor, &share.security))
        return net_status(fail(ERROR_INVALID_PARAMETER, parm_err, SHARE_FILE_SD_PARMNUM));
      break;
    }
  }
  return net_status(nt_share_set(*machine.store, share));
}

NET_API_STATUS NetShareDel(LPCWSTR servername, LPCWSTR netname, DWORD reserved) {
  if (netname == nullptr || reserved != 0) return net_status(ERROR_INVALID_PARAMETER);
  NtMachineRef machine;
  NET_API_STATUS status = open_for_change(servername, &machine);
  if (status != NERR_Success) return net_status(status);
  return net_status(nt_share_del(*machine.store, net_utf8(netname)));
}
