// The browser's lists and the server, workstation and domain controller
// information of the machines of the network.
#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "platform/netapi/net_buffer.h"
#include "platform/netapi/netapi.h"
#include "platform/network/network.h"
#include "platform/network/nt_name.h"
#include "platform/network/wtf8.h"

namespace {

std::u16string wide(const std::string& text) { return nt_utf16_from_wtf8(text); }

// Opens the machine a call names (null or empty: the local one).
NET_API_STATUS open_server(LPCWSTR servername, NtMachineRef* ref, NtMachineInfo* info) {
  DWORD err = nt_open_machine_w(servername, ref);
  if (err != ERROR_SUCCESS) return err;
  return nt_machine_get_info(*ref->store, info);
}

// Every machine of the network that the browser sees (online), by name.
NET_API_STATUS browse(std::vector<NtMachineInfo>* machines) {
  machines->clear();
  std::string root;
  DWORD err = nt_network_ensure(&root);
  if (err != ERROR_SUCCESS) return err;
  std::vector<std::string> names;
  if ((err = nt_machine_list(root, &names)) != ERROR_SUCCESS) return err;
  for (const std::string& name : names) {
    NtMachineRef ref;
    NtMachineInfo info;
    // A machine whose store cannot be read is not on the network for anyone.
    if (nt_open_machine(name, &ref, NtMachineAccess::admin) != ERROR_SUCCESS) continue;
    if (nt_machine_get_info(*ref.store, &info) != ERROR_SUCCESS || !info.online) continue;
    machines->push_back(std::move(info));
  }
  return NERR_Success;
}

// What one line of a server or domain list says.
struct ServerEntry {
  std::u16string name;
  DWORD type = 0;
  std::u16string comment;
};

size_t entry_bytes(const ServerEntry& e, DWORD level) {
  return level == 100 ? net_record_bytes(sizeof(SERVER_INFO_100), {e.name})
                      : net_record_bytes(sizeof(SERVER_INFO_101), {e.name, e.comment});
}

void fill(NetPacker& pack, size_t index, const ServerEntry& e, DWORD level) {
  if (level == 100) {
    auto* r = static_cast<SERVER_INFO_100*>(pack.record(index));
    r->sv100_platform_id = PLATFORM_ID_NT;
    r->sv100_name = pack.put(e.name);
  } else {
    auto* r = static_cast<SERVER_INFO_101*>(pack.record(index));
    r->sv101_platform_id = PLATFORM_ID_NT;
    r->sv101_name = pack.put(e.name);
    r->sv101_version_major = NT_VERSION_MAJOR;
    r->sv101_version_minor = NT_VERSION_MINOR;
    r->sv101_type = e.type;
    r->sv101_comment = pack.put(e.comment);
  }
}

// Packs entries [first, first + count) at `level` into a new block.
NET_API_STATUS pack_servers(const std::vector<ServerEntry>& entries, size_t first, size_t count,
                            DWORD level, LPBYTE* bufptr) {
  size_t units = 0;
  for (size_t i = first; i < first + count; ++i) {
    units += entries[i].name.size() + 1;
    if (level == 101) units += entries[i].comment.size() + 1;
  }
  NetPacker pack;
  size_t record = level == 100 ? sizeof(SERVER_INFO_100) : sizeof(SERVER_INFO_101);
  NET_API_STATUS status = pack.allocate(count, record, units);
  if (status != NERR_Success) return status;
  for (size_t i = 0; i < count; ++i) fill(pack, i, entries[first + i], level);
  *bufptr = pack.release();
  return NERR_Success;
}

ServerEntry server_entry(const NtMachineInfo& m) {
  return ServerEntry{wide(m.name), nt_machine_server_type(m.role), wide(m.comment)};
}

// One entry per LAN group, named by it; the comment names its browser.
std::vector<ServerEntry> domain_entries(const std::vector<NtMachineInfo>& machines) {
  std::map<std::string, std::string> browser;  // group -> machine
  for (const NtMachineInfo& m : machines) {
    auto it = browser.find(m.lan_group);
    if (it == browser.end()) {
      browser.emplace(m.lan_group, m.name);
    } else if (m.role == NtMachineRole::pdc) {
      it->second = m.name;
    }
  }
  std::vector<ServerEntry> out;
  for (const auto& [group, name] : browser)
    out.push_back(ServerEntry{wide(group), SV_TYPE_DOMAIN_ENUM | SV_TYPE_NT, wide(name)});
  return out;
}

}  // namespace

NET_API_STATUS NetServerEnum(LPCWSTR servername, DWORD level, LPBYTE* bufptr, DWORD prefmaxlen,
                             DWORD* entriesread, DWORD* totalentries, DWORD servertype,
                             LPCWSTR domain, DWORD* resume_handle) {
  if (bufptr == nullptr || entriesread == nullptr || totalentries == nullptr)
    return net_status(ERROR_INVALID_PARAMETER);
  *bufptr = nullptr;
  *entriesread = 0;
  *totalentries = 0;
  if (level != 100 && level != 101) return net_status(ERROR_INVALID_LEVEL);

  NtMachineRef ref;
  NtMachineInfo self;
  NET_API_STATUS status = open_server(servername, &ref, &self);
  if (status != NERR_Success) return net_status(status);

  std::vector<NtMachineInfo> machines;
  if ((status = browse(&machines)) != NERR_Success) return net_status(status);

  std::vector<ServerEntry> entries;
  if ((servertype & SV_TYPE_DOMAIN_ENUM) != 0 && servertype != SV_TYPE_ALL) {
    entries = domain_entries(machines);
  } else {
    std::string group = self.lan_group;
    if (domain != nullptr && *domain != 0) group = nt_upper_utf8(nt_wtf8_from_utf16(domain));
    bool known = false;
    for (const NtMachineInfo& m : machines) {
      if (m.lan_group != group) continue;
      known = true;
      if ((nt_machine_server_type(m.role) & servertype) != 0) entries.push_back(server_entry(m));
    }
    if (!known) return net_status(ERROR_NO_BROWSER_SERVERS_FOUND);
  }

  std::vector<size_t> bytes;
  for (const ServerEntry& e : entries) bytes.push_back(entry_bytes(e, level));
  size_t first = 0, count = 0;
  NET_API_STATUS slice =
      net_slice(bytes, prefmaxlen, resume_handle, &first, &count, totalentries);
  if ((status = pack_servers(entries, first, count, level, bufptr)) != NERR_Success) {
    *totalentries = 0;
    return net_status(status);
  }
  *entriesread = static_cast<DWORD>(count);
  return net_status(slice);
}

NET_API_STATUS NetServerGetInfo(LPCWSTR servername, DWORD level, LPBYTE* bufptr) {
  if (bufptr == nullptr) return net_status(ERROR_INVALID_PARAMETER);
  *bufptr = nullptr;
  if (level != 100 && level != 101) return net_status(ERROR_INVALID_LEVEL);
  NtMachineRef ref;
  NtMachineInfo info;
  NET_API_STATUS status = open_server(servername, &ref, &info);
  if (status != NERR_Success) return net_status(status);
  return net_status(pack_servers({server_entry(info)}, 0, 1, level, bufptr));
}

NET_API_STATUS NetWkstaGetInfo(LPCWSTR servername, DWORD level, LPBYTE* bufptr) {
  if (bufptr == nullptr) return net_status(ERROR_INVALID_PARAMETER);
  *bufptr = nullptr;
  if (level != 100) return net_status(ERROR_INVALID_LEVEL);
  NtMachineRef ref;
  NtMachineInfo info;
  NET_API_STATUS status = open_server(servername, &ref, &info);
  if (status != NERR_Success) return net_status(status);
  std::u16string name = wide(info.name), group = wide(info.lan_group);
  NetPacker pack;
  status = pack.allocate(1, sizeof(WKSTA_INFO_100), name.size() + group.size() + 2);
  if (status != NERR_Success) return net_status(status);
  auto* r = static_cast<WKSTA_INFO_100*>(pack.record(0));
  r->wki100_platform_id = PLATFORM_ID_NT;
  r->wki100_computername = pack.put(name);
  r->wki100_langroup = pack.put(group);
  r->wki100_ver_major = NT_VERSION_MAJOR;
  r->wki100_ver_minor = NT_VERSION_MINOR;
  *bufptr = pack.release();
  return net_status(NERR_Success);
}

NET_API_STATUS NetGetDCName(LPCWSTR servername, LPCWSTR domainname, LPBYTE* bufptr) {
  if (bufptr == nullptr) return net_status(ERROR_INVALID_PARAMETER);
  *bufptr = nullptr;
  NtMachineRef ref;
  NtMachineInfo self;
  NET_API_STATUS status = open_server(servername, &ref, &self);
  if (status != NERR_Success) return net_status(status);
  std::string group = self.lan_group;
  if (domainname != nullptr && *domainname != 0)
    group = nt_upper_utf8(nt_wtf8_from_utf16(domainname));

  std::vector<NtMachineInfo> machines;
  if ((status = browse(&machines)) != NERR_Success) return net_status(status);
  auto pdc = std::find_if(machines.begin(), machines.end(), [&](const NtMachineInfo& m) {
    return m.lan_group == group && m.role == NtMachineRole::pdc;
  });
  if (pdc == machines.end()) return net_status(NERR_DCNotFound);

  std::u16string name = u"\\\\" + wide(pdc->name);
  NetPacker pack;
  // The block is the name itself.
  if ((status = pack.allocate(1, 0, name.size() + 1)) != NERR_Success) return net_status(status);
  pack.put(name);
  *bufptr = pack.release();
  return net_status(NERR_Success);
}
