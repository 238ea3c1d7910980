// Where a job's windows go. An interactive service gives the job
// "WinSta0\Default", or with JOB_OWN_DESKTOP a desktop of its own named
// after the job ("WinSta0\<job>"); a service that is not interactive gives
// it no desktop name. A job under another account gets full access to the
// station and desktops it uses.
#pragma once

#include <string>

#include "platform/desktop/desktop.h"
#include "platform/win32_types.h"

struct JobDesktop {
  HWINSTA station = nullptr;         // the process's station (not to close)
  HDESK thread_desktop = nullptr;    // the thread's desktop (not to close)
  HDESK own = nullptr;               // the job's own desktop
  std::string name;                  // STARTUPINFO.lpDesktop, "" for none
};

// Prepares the desktop of a run. Console messages for the station and the
// thread desktop; a failed CreateDesktop gives its error and *call.
DWORD job_desktop_prepare(bool interactive, DWORD flags, const std::string& job_name,
                          SECURITY_ATTRIBUTES* security, JobDesktop* desktop, std::string* call);

// Gives `sid` an allow-all entry in the object's access list, unless an
// entry for it is there already. On failure the error and the name of the
// failed step ("GetUserObjectSecurity(hw)", "AddAce(NewSd)"...).
DWORD job_grant_object_access(HANDLE object, void* sid, std::string* call);

// The station, the thread desktop (when the job has no own one) and the
// job's own desktop.
DWORD job_desktop_grant(const JobDesktop& desktop, void* sid, std::string* call);

void job_desktop_close(JobDesktop* desktop);
