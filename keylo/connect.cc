#include "keylo/connect.h"

#include "keylo/registry_messages.h"
#include "platform/kernel/error.h"
#include "platform/nls/codepage.h"

std::string server_ansi(const WCHAR* server) {
  return server ? nt_wide_to_ansi(std::u16string_view(server)) : std::string();
}

DWORD connect_root(const std::string& server, const char* text, KeyPath* path, HKEY* root) {
  switch (parse_key_path(text, path)) {
    case KeyPathResult::invalid_root:
      registry_error("REGISTRY-ERROR, invalid root key\n");
      return ERROR_INVALID_PARAMETER;
    case KeyPathResult::no_subkey:
      registry_error("REGISTRY-ERROR, no subkey in %s\n", text);
      return ERROR_INVALID_PARAMETER;
    case KeyPathResult::ok:
      break;
  }
  LONG rc = RegConnectRegistryA(server.empty() ? nullptr : server.c_str(), path->root, root);
  if (rc != ERROR_SUCCESS) {
    if (server.empty()) {
      registry_error("REGISTRY-ERROR, RegConnectRegistry() failed, error=%ld\n",
                     static_cast<long>(rc));
    } else {
      registry_error("REGISTRY-ERROR, RegConnectRegistry(%s) failed, error=%ld\n", server.c_str(),
                     static_cast<long>(rc));
    }
    return static_cast<DWORD>(rc);
  }
  return ERROR_SUCCESS;
}
