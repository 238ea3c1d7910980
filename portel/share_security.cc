#include "portel/share_security.h"

#include <cstdio>

#include "platform/kernel/error.h"
#include "platform/security/acl.h"

namespace {

void error_line(const char* call, DWORD error) {
  fflush(stdout);
  fprintf(stderr, "PORTEL-ERROR, %s() failed, error=%ld\n", call, static_cast<long>(error));
}

}  // namespace

bool build_share_descriptor(const WCHAR* server, const char* grants, ShareDescriptor* out) {
  out->aces = 0;
  PACL acl = nullptr;
  if (grants != nullptr && grants[0] != '\0') {
    acl = reinterpret_cast<PACL>(out->acl);
    out->aces = grants_to_acl(server, grants, acl, sizeof out->acl);
    if (out->aces <= 0) {
      fflush(stdout);
      fputs("PORTEL-ERROR, cannot convert grants to ACL\n", stderr);
      return false;
    }
  }
  if (!InitializeSecurityDescriptor(&out->sd, SECURITY_DESCRIPTOR_REVISION)) {
    error_line("InitializeSecurityDescriptor", GetLastError());
    return false;
  }
  // A present but null access list is the one that lets everyone in.
  if (!SetSecurityDescriptorDacl(&out->sd, TRUE, acl, FALSE)) {
    error_line("SetSecurityDescriptorDacl", GetLastError());
    return false;
  }
  return true;
}

bool share_grants(const WCHAR* server, PSECURITY_DESCRIPTOR sd, std::string* text, int* aces) {
  text->clear();
  *aces = 0;
  if (sd == nullptr) return true;
  BOOL present = FALSE, defaulted = FALSE;
  PACL dacl = nullptr;
  if (!GetSecurityDescriptorDacl(sd, &present, &dacl, &defaulted)) {
    error_line("GetSecurityDescriptorDacl", GetLastError());
    return false;
  }
  if (!present || dacl == nullptr) return true;
  DWORD error = acl_to_grants(server, dacl, text, aces);
  if (error != ERROR_SUCCESS) {
    error_line("GetAce", error);
    return false;
  }
  return true;
}
