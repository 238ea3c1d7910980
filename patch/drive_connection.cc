#include "patch/drive_connection.h"

#include <vector>

#include "platform/files/net_connection.h"

bool is_network_path(const std::string& path) {
  return path.size() >= 2 && path[0] == '\\' && path[1] == '\\';
}

UncParts split_unc_directory(const std::string& path) {
  UncParts parts;
  size_t count = 0;
  for (size_t i = 0; i < path.size(); ++i) {
    if (path[i] == '\\' && ++count == 4) {
      parts.remote = path.substr(0, i);
      parts.rest = path.substr(i + 1);
      return parts;
    }
  }
  parts.remote = path;
  return parts;
}

std::string drive_directory(const std::string& drive, const std::string& rest) {
  return drive + "\\" + rest;
}

unsigned long connect_patch_drive(const std::string& drive, const std::string& remote) {
  std::vector<char> local(drive.begin(), drive.end());
  local.push_back('\0');
  std::vector<char> name(remote.begin(), remote.end());
  name.push_back('\0');
  NETRESOURCEA resource{};
  resource.dwType = RESOURCETYPE_DISK;
  resource.lpLocalName = local.data();
  resource.lpRemoteName = name.data();
  resource.lpProvider = nullptr;
  return WNetAddConnection2A(&resource, nullptr, nullptr, 0);
}

unsigned long disconnect_patch_drive(const std::string& drive) {
  return WNetCancelConnection2A(drive.c_str(), 0, TRUE);
}
