#include "zeb/job_desktop.h"

#include <cstdio>
#include <vector>

#include "platform/kernel/error.h"
#include "platform/security/access_mask.h"
#include "platform/security/acl.h"
#include "platform/security/security_descriptor.h"
#include "platform/security/sid.h"
#include "platform/sync/thread.h"
#include "zeb/job_record.h"

namespace {
constexpr const char* kStation = "WinSta0";
constexpr const char* kDefaultDesktop = "Default";
constexpr DWORD kDesktopAllAccess = 0x000F01FF;
}  // namespace

DWORD job_desktop_prepare(bool interactive, DWORD flags, const std::string& job_name,
                          SECURITY_ATTRIBUTES* security, JobDesktop* desktop, std::string* call) {
  desktop->name.clear();
  if (!interactive) return ERROR_SUCCESS;
  desktop->station = GetProcessWindowStation();
  if (desktop->station == nullptr) {
    printf("GetProcessWindowStation() failed, error=%ld\n", static_cast<long>(GetLastError()));
  }
  desktop->thread_desktop = GetThreadDesktop(GetCurrentThreadId());
  if (desktop->thread_desktop == nullptr) {
    printf("GetThreadDesktop() failed, error=%ld\n", static_cast<long>(GetLastError()));
  }
  if ((flags & JOB_OWN_DESKTOP) != 0) {
    desktop->own = CreateDesktopA(job_name.c_str(), nullptr, nullptr, 0, kDesktopAllAccess,
                                  security);
    if (desktop->own == nullptr) {
      *call = "CreateDesktop(" + job_name + ")";
      return GetLastError();
    }
    desktop->name = std::string(kStation) + "\\" + job_name;
  } else {
    desktop->name = std::string(kStation) + "\\" + kDefaultDesktop;
  }
  return ERROR_SUCCESS;
}

DWORD job_grant_object_access(HANDLE object, void* sid, std::string* call) {
  SECURITY_INFORMATION info = DACL_SECURITY_INFORMATION;
  DWORD needed = 0;
  std::vector<BYTE> old_sd(256);
  if (!GetUserObjectSecurity(object, &info, old_sd.data(), static_cast<DWORD>(old_sd.size()),
                             &needed)) {
    if (GetLastError() != ERROR_INSUFFICIENT_BUFFER || needed == 0) {
      *call = "GetUserObjectSecurity(hw)";
      return GetLastError();
    }
    old_sd.resize(needed);
    if (!GetUserObjectSecurity(object, &info, old_sd.data(), needed, &needed)) {
      *call = "GetUserObjectSecurity(hw)";
      return GetLastError();
    }
  }
  BOOL present = FALSE;
  BOOL defaulted = FALSE;
  PACL old_acl = nullptr;
  if (!GetSecurityDescriptorDacl(old_sd.data(), &present, &old_acl, &defaulted)) {
    *call = "GetSecurityDescriptorDacl(hw)";
    return GetLastError();
  }
  // An entry for the identifier already: nothing to add.
  DWORD old_count = present && old_acl ? old_acl->AceCount : 0;
  for (DWORD i = 0; i < old_count; ++i) {
    void* ace = nullptr;
    if (!GetAce(old_acl, i, &ace)) continue;
    auto* allowed = static_cast<ACCESS_ALLOWED_ACE*>(ace);
    if (EqualSid(&allowed->SidStart, sid)) return ERROR_SUCCESS;
  }

  SECURITY_DESCRIPTOR new_sd{};
  if (!InitializeSecurityDescriptor(&new_sd, SECURITY_DESCRIPTOR_REVISION)) {
    *call = "InitializeSecurityDescriptorDacl(NewSd)";
    return GetLastError();
  }
  DWORD old_size = present && old_acl ? old_acl->AclSize : sizeof(ACL);
  DWORD new_size =
      old_size + static_cast<DWORD>(sizeof(ACCESS_ALLOWED_ACE)) + GetLengthSid(sid) - sizeof(DWORD);
  std::vector<BYTE> acl_bytes(new_size);
  PACL new_acl = reinterpret_cast<PACL>(acl_bytes.data());
  if (!InitializeAcl(new_acl, new_size, ACL_REVISION)) {
    *call = "InitializeAcl(NewSd)";
    return GetLastError();
  }
  for (DWORD i = 0; i < old_count; ++i) {
    void* ace = nullptr;
    if (!GetAce(old_acl, i, &ace) ||
        !AddAce(new_acl, ACL_REVISION, 0xFFFFFFFFu, ace,
                static_cast<ACE_HEADER*>(ace)->AceSize)) {
      *call = "AddAce(NewSd)";
      return GetLastError();
    }
  }
  if (!AddAccessAllowedAce(new_acl, ACL_REVISION, GENERIC_ALL, sid)) {
    *call = "AddAccessAllowedAce(NewSd)";
    return GetLastError();
  }
  if (!SetSecurityDescriptorDacl(&new_sd, TRUE, new_acl, FALSE)) {
    *call = "SetSecurityDescriptorDacl(NewSd)";
    return GetLastError();
  }
  if (!SetUserObjectSecurity(object, &info, &new_sd)) {
    *call = "SetUserObjectSecurity(NewSd)";
    return GetLastError();
  }
  return ERROR_SUCCESS;
}

DWORD job_desktop_grant(const JobDesktop& desktop, void* sid, std::string* call) {
  HANDLE objects[3] = {desktop.station, desktop.own ? nullptr : desktop.thread_desktop,
                       desktop.own};
  for (HANDLE object : objects) {
    if (object == nullptr) continue;
    DWORD rc = job_grant_object_access(object, sid, call);
    if (rc != ERROR_SUCCESS) return rc;
  }
  return ERROR_SUCCESS;
}

void job_desktop_close(JobDesktop* desktop) {
  if (desktop->own != nullptr) CloseDesktop(desktop->own);
  desktop->own = nullptr;
}
