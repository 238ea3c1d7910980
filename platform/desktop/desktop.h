// Window stations and desktops.
//
// There is no display: a window station or desktop is a named object of
// the local machine with a security descriptor, kept in the machine's store
// (desktop_store.h) so that all processes of the machine share them. Names
// are compared without regard to case; a desktop lives in a station and is
// written "Station\Desktop". The machine starts with the interactive
// station WinSta0 and its desktops Default and Winlogon; SwitchDesktop
// records which desktop of an interactive station takes the input.
//
// A process's window station and desktop are those its parent named in
// STARTUPINFO.lpDesktop ("Station\Desktop", or a desktop of WinSta0), else
// WinSta0\Default. GetProcessWindowStation and GetThreadDesktop give one
// handle each per process, which CloseWindowStation / CloseDesktop refuse
// to close (ERROR_BUSY), as NT does.
//
// Handles of stations and desktops are handles of the process's table
// (HWINSTA and HDESK are HANDLEs): CloseHandle works on them too. They do
// not cross into child processes (they rest on no descriptor).
//
// Objects stay in the store once created (the layer cannot count the
// handles other processes hold); security descriptors are stored and given
// back but access rights are not checked.
#pragma once

#include "platform/kernel/handle.h"
#include "platform/security/security_descriptor.h"
#include "platform/win32_types.h"

using HWINSTA = HANDLE;
using HDESK = HANDLE;

// Display settings, never used: there is no display.
struct DEVMODEA;
struct DEVMODEW;

constexpr DWORD DF_ALLOWOTHERACCOUNTHOOK = 0x0001;

constexpr DWORD DESKTOP_READOBJECTS = 0x0001;
constexpr DWORD DESKTOP_CREATEWINDOW = 0x0002;
constexpr DWORD DESKTOP_CREATEMENU = 0x0004;
constexpr DWORD DESKTOP_HOOKCONTROL = 0x0008;
constexpr DWORD DESKTOP_JOURNALRECORD = 0x0010;
constexpr DWORD DESKTOP_JOURNALPLAYBACK = 0x0020;
constexpr DWORD DESKTOP_ENUMERATE = 0x0040;
constexpr DWORD DESKTOP_WRITEOBJECTS = 0x0080;
constexpr DWORD DESKTOP_SWITCHDESKTOP = 0x0100;

constexpr DWORD WINSTA_ENUMDESKTOPS = 0x0001;
constexpr DWORD WINSTA_READATTRIBUTES = 0x0002;
constexpr DWORD WINSTA_ACCESSCLIPBOARD = 0x0004;
constexpr DWORD WINSTA_CREATEDESKTOP = 0x0008;
constexpr DWORD WINSTA_WRITEATTRIBUTES = 0x0010;
constexpr DWORD WINSTA_ACCESSGLOBALATOMS = 0x0020;
constexpr DWORD WINSTA_EXITWINDOWS = 0x0040;
constexpr DWORD WINSTA_ENUMERATE = 0x0100;
constexpr DWORD WINSTA_READSCREEN = 0x0200;
constexpr DWORD WINSTA_ALL_ACCESS = 0x037F;

// GetUserObjectInformation classes.
constexpr int UOI_FLAGS = 1;
constexpr int UOI_NAME = 2;
constexpr int UOI_TYPE = 3;

constexpr DWORD WSF_VISIBLE = 0x0001;

struct USEROBJECTFLAGS {
  BOOL fInherit;
  BOOL fReserved;
  DWORD dwFlags;
};

// The process's window station (see above); null with the last error when
// the machine's store cannot be read.
HWINSTA GetProcessWindowStation();
// The desktop of a thread of this process (all threads share the
// process's desktop); ERROR_INVALID_PARAMETER for a thread id that is not
// one of this process.
HDESK GetThreadDesktop(DWORD thread_id);

// Opens a station by name: ERROR_FILE_NOT_FOUND when there is none,
// ERROR_INVALID_PARAMETER for a null or empty name, a name with a backslash
// or longer than NT_DESKTOP_NAME_MAX (255) characters.
HWINSTA OpenWindowStationA(const char* name, BOOL inherit, DWORD access);
HWINSTA OpenWindowStationW(const WCHAR* name, BOOL inherit, DWORD access);
// Creates a station that is not interactive (or opens an existing one, with
// ERROR_ALREADY_EXISTS as last error). Names as above.
HWINSTA CreateWindowStationA(const char* name, DWORD flags, DWORD access,
                             SECURITY_ATTRIBUTES* security);
HWINSTA CreateWindowStationW(const WCHAR* name, DWORD flags, DWORD access,
                             SECURITY_ATTRIBUTES* security);

// Creates a desktop in the process's window station, with the descriptor
// of `security` (else the default one), or opens the existing desktop of
// that name (last error ERROR_ALREADY_EXISTS). `device` and `devmode` must
// be null (ERROR_INVALID_PARAMETER otherwise); `flags` may hold
// DF_ALLOWOTHERACCOUNTHOOK. Names as for stations; an invalid descriptor:
// ERROR_INVALID_SECURITY_DESCR.
HDESK CreateDesktopA(const char* name, const char* device, DEVMODEA* devmode, DWORD flags,
                     DWORD access, SECURITY_ATTRIBUTES* security);
HDESK CreateDesktopW(const WCHAR* name, const WCHAR* device, DEVMODEW* devmode, DWORD flags,
                     DWORD access, SECURITY_ATTRIBUTES* security);
// Opens a desktop of the process's window station: ERROR_FILE_NOT_FOUND
// when there is none.
HDESK OpenDesktopA(const char* name, DWORD flags, BOOL inherit, DWORD access);
HDESK OpenDesktopW(const WCHAR* name, DWORD flags, BOOL inherit, DWORD access);
// The desktop that takes the input now.
HDESK OpenInputDesktop(DWORD flags, BOOL inherit, DWORD access);
// Makes the desktop the input desktop of the machine. A desktop of a
// station that is not interactive: ERROR_ACCESS_DENIED.
BOOL SwitchDesktop(HDESK desktop);

// Close a handle of the right kind: ERROR_INVALID_HANDLE for any other
// handle, ERROR_BUSY for the handles of GetThreadDesktop and
// GetProcessWindowStation.
BOOL CloseDesktop(HDESK desktop);
BOOL CloseWindowStation(HWINSTA station);

// UOI_NAME (the station's or the desktop's own name, without the station),
// UOI_TYPE ("WindowStation" or "Desktop") and UOI_FLAGS. Text is written
// with its terminating NUL; *needed is the size in bytes. A buffer too
// small: ERROR_INSUFFICIENT_BUFFER. Another class: ERROR_INVALID_PARAMETER.
BOOL GetUserObjectInformationA(HANDLE object, int index, void* info, DWORD length,
                               DWORD* needed);
BOOL GetUserObjectInformationW(HANDLE object, int index, void* info, DWORD length,
                               DWORD* needed);

// The parts of the object's descriptor that *requested names, self-relative
// into `sd`; a buffer too small: ERROR_INSUFFICIENT_BUFFER and *needed.
BOOL GetUserObjectSecurity(HANDLE object, SECURITY_INFORMATION* requested,
                           PSECURITY_DESCRIPTOR sd, DWORD length, DWORD* needed);
// Replaces the parts of the object's descriptor that *info names by those of
// `sd` (either form). ERROR_INVALID_SECURITY_DESCR for an invalid `sd`.
BOOL SetUserObjectSecurity(HANDLE object, SECURITY_INFORMATION* info, PSECURITY_DESCRIPTOR sd);
