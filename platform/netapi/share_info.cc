// NetShareEnum and NetShareGetInfo over the share table of a machine.
#include <string>
#include <vector>

#include "platform/netapi/net_buffer.h"
#include "platform/netapi/netapi.h"
#include "platform/netapi/share_table.h"
#include "platform/network/network.h"
#include "platform/network/wtf8.h"

namespace {

struct ShareText {
  std::u16string name, remark, path;
  const NtShareInfo* info;
};

ShareText text_of(const NtShareInfo& s) {
  return ShareText{nt_utf16_from_wtf8(s.name), nt_utf16_from_wtf8(s.remark),
                   nt_utf16_from_wtf8(s.path), &s};
}

size_t record_size(DWORD level) {
  switch (level) {
    case 0: return sizeof(SHARE_INFO_0);
    case 1: return sizeof(SHARE_INFO_1);
    default: return sizeof(SHARE_INFO_2);
  }
}

size_t share_bytes(const ShareText& t, DWORD level) {
  switch (level) {
    case 0: return net_record_bytes(record_size(0), {t.name});
    case 1: return net_record_bytes(record_size(1), {t.name, t.remark});
    default: return net_record_bytes(record_size(2), {t.name, t.remark, t.path});
  }
}

void fill(NetPacker& pack, size_t index, const ShareText& t, DWORD level) {
  switch (level) {
    case 0: {
      auto* r = static_cast<SHARE_INFO_0*>(pack.record(index));
      r->shi0_netname = pack.put(t.name);
      break;
    }
    case 1: {
      auto* r = static_cast<SHARE_INFO_1*>(pack.record(index));
      r->shi1_netname = pack.put(t.name);
      r->shi1_type = t.info->type;
      r->shi1_remark = pack.put(t.remark);
      break;
    }
    default: {
      auto* r = static_cast<SHARE_INFO_2*>(pack.record(index));
      r->shi2_netname = pack.put(t.name);
      r->shi2_type = t.info->type;
      r->shi2_remark = pack.put(t.remark);
      r->shi2_permissions = t.info->permissions;
      r->shi2_max_uses = t.info->max_uses;
      r->shi2_current_uses = 0;
      r->shi2_path = pack.put(t.path);
      r->shi2_passwd = nullptr;
      break;
    }
  }
}

NET_API_STATUS pack_shares(const std::vector<ShareText>& shares, size_t first, size_t count,
                           DWORD level, LPBYTE* bufptr) {
  size_t units = 0;
  for (size_t i = first; i < first + count; ++i) {
    units += shares[i].name.size() + 1;
    if (level >= 1) units += shares[i].remark.size() + 1;
    if (level == 2) units += shares[i].path.size() + 1;
  }
  NetPacker pack;
  NET_API_STATUS status = pack.allocate(count, record_size(level), units);
  if (status != NERR_Success) return status;
  for (size_t i = 0; i < count; ++i) fill(pack, i, shares[first + i], level);
  *bufptr = pack.release();
  return NERR_Success;
}

bool known_level(DWORD level) { return level == 0 || level == 1 || level == 2; }

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

  std::vector<ShareText> shares;
  std::vector<size_t> bytes;
  for (const NtShareInfo& s : list) {
    shares.push_back(text_of(s));
    bytes.push_back(share_bytes(shares.back(), level));
  }
  size_t first = 0, count = 0;
  NET_API_STATUS slice = net_slice(bytes, prefmaxlen, resume_handle, &first, &count, totalentries);
  if ((status = pack_shares(shares, first, count, level, bufptr)) != NERR_Success) {
    *totalentries = 0;
    return net_status(status);
  }
  *entriesread = static_cast<DWORD>(count);
  return net_status(slice);
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
  return net_status(pack_shares({text_of(share)}, 0, 1, level, bufptr));
}
