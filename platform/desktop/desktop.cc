#include "platform/desktop/desktop.h"

#include <dirent.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>

#include "platform/desktop/desktop_store.h"
#include "platform/kernel/error.h"
#include "platform/network/network.h"
#include "platform/network/wtf8.h"
#include "platform/nls/codepage.h"
#include "platform/process/process.h"

namespace {

// A station (desktop empty) or a desktop behind a handle.
class UserObject : public KernelObject {
 public:
  UserObject(std::string station, std::string desktop, DWORD flags)
      : station_(std::move(station)), desktop_(std::move(desktop)), flags_(flags) {}
  bool is_station() const { return desktop_.empty(); }
  const std::string& station() const { return station_; }
  const std::string& desktop() const { return desktop_; }
  DWORD flags() const { return flags_; }

 private:
  const std::string station_;
  const std::string desktop_;
  const DWORD flags_;  // DF_ALLOWOTHERACCOUNTHOOK of a desktop
};

template <typename T>
T fail(DWORD error, T result) {
  SetLastError(error);
  return result;
}

DWORD local_store(std::shared_ptr<MachineStore>* store) {
  NtMachineRef machine;
  DWORD error = nt_open_machine("", &machine);
  if (error == ERROR_SUCCESS) *store = machine.store;
  return error;
}

// A station or desktop name from the caller: not empty, no backslash, not
// longer than NT_DESKTOP_NAME_MAX units. UTF-8 into *out.
bool valid_name(const std::u16string& name, std::string* out) {
  if (name.empty() || name.size() > NT_DESKTOP_NAME_MAX) return false;
  if (name.find(u'\\') != std::u16string::npos) return false;
  *out = nt_wtf8_from_utf16(name);
  return true;
}

std::u16string wide_of(const WCHAR* text) {
  std::u16string s;
  if (text != nullptr) {
    while (*text != 0) s += *text++;
  }
  return s;
}

// The station and desktop the process was started on.
void startup_names(std::string* station, std::string* desktop) {
  *station = "WinSta0";
  *desktop = "Default";
  STARTUPINFOA startup;
  GetStartupInfoA(&startup);
  if (startup.lpDesktop == nullptr || *startup.lpDesktop == '\0') return;
  std::string text = nt_wtf8_from_utf16(nt_ansi_to_wide(startup.lpDesktop));
  size_t slash = text.find('\\');
  if (slash == std::string::npos) {
    *desktop = text;
  } else if (slash > 0 && slash + 1 < text.size()) {
    *station = text.substr(0, slash);
    *desktop = text.substr(slash + 1);
  }
}

// A handle on a stored object; null with the last error.
HANDLE open_object(const std::string& station, const std::string& desktop, DWORD flags,
                   BOOL inherit) {
  std::shared_ptr<MachineStore> store;
  DWORD error = local_store(&store);
  if (error != ERROR_SUCCESS) return fail<HANDLE>(error, nullptr);
  NtUserObjectRecord record;
  error = nt_desktop_store_find(*store, station, desktop, &record);
  if (error != ERROR_SUCCESS) return fail<HANDLE>(error, nullptr);
  HANDLE handle = nt_insert_handle(
      std::make_shared<UserObject>(record.station, record.desktop, flags),
      inherit ? HANDLE_FLAG_INHERIT : 0);
  if (handle != nullptr) SetLastError(ERROR_SUCCESS);
  return handle;
}

// Creates (or opens) an object; ERROR_ALREADY_EXISTS as last error when it
// was there.
HANDLE create_object(const std::string& station, const std::string& desktop, DWORD flags,
                     SECURITY_ATTRIBUTES* security) {
  NtUserObjectRecord object;
  object.station = station;
  object.desktop = desktop;
  if (security != nullptr && security->lpSecurityDescriptor != nullptr) {
    NtSecurityDescriptor sd;
    if (!nt_sd_read(security->lpSecurityDescriptor, &sd)) {
      return fail<HANDLE>(ERROR_INVALID_SECURITY_DESCR, nullptr);
    }
    object.sd = nt_sd_build(sd);
  } else {
    object.sd = nt_desktop_default_security(desktop.empty());
  }
  std::shared_ptr<MachineStore> store;
  DWORD error = local_store(&store);
  if (error != ERROR_SUCCESS) return fail<HANDLE>(error, nullptr);
  bool existed = false;
  NtUserObjectRecord record;
  error = nt_desktop_store_create(*store, object, &existed, &record);
  if (error != ERROR_SUCCESS) return fail<HANDLE>(error, nullptr);
  HANDLE handle =
      nt_insert_handle(std::make_shared<UserObject>(record.station, record.desktop, flags),
                       nt_handle_flags_for(security));
  if (handle != nullptr) SetLastError(existed ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS);
  return handle;
}

// The handles GetProcessWindowStation and GetThreadDesktop give.
struct ProcessObjects {
  std::mutex lock;
  pid_t pid = 0;
  HANDLE station = nullptr;
  HANDLE desktop = nullptr;
};

ProcessObjects& process_objects() {
  static ProcessObjects* objects = new ProcessObjects;
  return *objects;
}

HANDLE process_object(bool station) {
  ProcessObjects& p = process_objects();
  std::lock_guard<std::mutex> guard(p.lock);
  if (p.pid != getpid()) {
    // A process forked from this one has a table of its own.
    p.pid = getpid();
    p.station = nullptr;
    p.desktop = nullptr;
  }
  HANDLE* slot = station ? &p.station : &p.desktop;
  if (*slot != nullptr) {
    SetLastError(ERROR_SUCCESS);
    return *slot;
  }
  std::string station_name, desktop_name;
  startup_names(&station_name, &desktop_name);
  HANDLE handle = open_object(station_name, station ? "" : desktop_name, 0, FALSE);
  if (handle == nullptr) return nullptr;
  SetHandleInformation(handle, HANDLE_FLAG_PROTECT_FROM_CLOSE, HANDLE_FLAG_PROTECT_FROM_CLOSE);
  *slot = handle;
  SetLastError(ERROR_SUCCESS);
  return handle;
}

bool is_process_object(HANDLE handle) {
  ProcessObjects& p = process_objects();
  std::lock_guard<std::mutex> guard(p.lock);
  return p.pid == getpid() && handle != nullptr && (handle == p.station || handle == p.desktop);
}

bool thread_of_this_process(DWORD thread_id) {
  if (thread_id == 0) return false;
  char path[64];
  snprintf(path, sizeof path, "/proc/self/task/%lu", static_cast<unsigned long>(thread_id));
  return access(path, F_OK) == 0;
}

BOOL close_object(HANDLE handle, bool station) {
  std::shared_ptr<UserObject> object = nt_lookup_handle_as<UserObject>(handle);
  if (!object || object->is_station() != station) return fail<BOOL>(ERROR_INVALID_HANDLE, FALSE);
  if (is_process_object(handle)) return fail<BOOL>(ERROR_BUSY, FALSE);
  return CloseHandle(handle);
}

HWINSTA open_station(const std::u16string& name, BOOL inherit) {
  std::string station;
  if (!valid_name(name, &station)) return fail<HANDLE>(ERROR_INVALID_PARAMETER, nullptr);
  return open_object(station, "", 0, inherit);
}

HWINSTA create_station(const std::u16string& name, DWORD flags, SECURITY_ATTRIBUTES* security) {
  std::string station;
  if (!valid_name(name, &station) || flags != 0) {
    return fail<HANDLE>(ERROR_INVALID_PARAMETER, nullptr);
  }
  return create_object(station, "", 0, security);
}

// The name of the process's window station.
bool process_station(std::string* name) {
  HANDLE handle = process_object(true);
  std::shared_ptr<UserObject> station = nt_lookup_handle_as<UserObject>(handle);
  if (!station) return false;
  *name = station->station();
  return true;
}

HDESK create_desktop(const std::u16string& name, bool has_device, DWORD flags,
                     SECURITY_ATTRIBUTES* security) {
  std::string desktop;
  if (!valid_name(name, &desktop) || has_device || (flags & ~DF_ALLOWOTHERACCOUNTHOOK) != 0) {
    return fail<HANDLE>(ERROR_INVALID_PARAMETER, nullptr);
  }
  std::string station;
  if (!process_station(&station)) return nullptr;
  return create_object(station, desktop, flags, security);
}

HDESK open_desktop(const std::u16string& name, DWORD flags, BOOL inherit) {
  std::string desktop;
  if (!valid_name(name, &desktop) || (flags & ~DF_ALLOWOTHERACCOUNTHOOK) != 0) {
    return fail<HANDLE>(ERROR_INVALID_PARAMETER, nullptr);
  }
  std::string station;
  if (!process_station(&station)) return nullptr;
  return open_object(station, desktop, flags, inherit);
}

// Copies `bytes` (with its terminator) into the caller's buffer.
BOOL put_bytes(const void* bytes, DWORD size, void* info, DWORD length, DWORD* needed) {
  if (needed != nullptr) *needed = size;
  if (info == nullptr || length < size) return fail<BOOL>(ERROR_INSUFFICIENT_BUFFER, FALSE);
  memcpy(info, bytes, size);
  SetLastError(ERROR_SUCCESS);
  return TRUE;
}

BOOL object_information(HANDLE handle, int index, void* info, DWORD length, DWORD* needed,
                        bool wide) {
  std::shared_ptr<UserObject> object = nt_lookup_handle_as<UserObject>(handle);
  if (!object) return FALSE;
  if (index == UOI_FLAGS) {
    USEROBJECTFLAGS flags{};
    DWORD handle_flags = 0;
    GetHandleInformation(handle, &handle_flags);
    flags.fInherit = (handle_flags & HANDLE_FLAG_INHERIT) ? TRUE : FALSE;
    if (object->is_station()) {
      NtUserObjectRecord record;
      std::shared_ptr<MachineStore> store;
      if (local_store(&store) == ERROR_SUCCESS &&
          nt_desktop_store_find(*store, object->station(), "", &record) == ERROR_SUCCESS &&
          record.interactive) {
        flags.dwFlags = WSF_VISIBLE;
      }
    } else {
      flags.dwFlags = object->flags();
    }
    return put_bytes(&flags, sizeof flags, info, length, needed);
  }
  std::string text;
  if (index == UOI_NAME) {
    text = object->is_station() ? object->station() : object->desktop();
  } else if (index == UOI_TYPE) {
    text = object->is_station() ? "WindowStation" : "Desktop";
  } else {
    return fail<BOOL>(ERROR_INVALID_PARAMETER, FALSE);
  }
  std::u16string utf16 = nt_utf16_from_wtf8(text);
  if (wide) {
    return put_bytes(utf16.c_str(), static_cast<DWORD>((utf16.size() + 1) * sizeof(WCHAR)), info,
                     length, needed);
  }
  std::string ansi = nt_wide_to_ansi(utf16);
  return put_bytes(ansi.c_str(), static_cast<DWORD>(ansi.size() + 1), info, length, needed);
}

}  // namespace

HWINSTA GetProcessWindowStation() { return process_object(true); }

HDESK GetThreadDesktop(DWORD thread_id) {
  if (!thread_of_this_process(thread_id)) return fail<HANDLE>(ERROR_INVALID_PARAMETER, nullptr);
  return process_object(false);
}

HWINSTA OpenWindowStationA(const char* name, BOOL inherit, DWORD /*access*/) {
  if (name == nullptr) return fail<HANDLE>(ERROR_INVALID_PARAMETER, nullptr);
  return open_station(nt_ansi_to_wide(name), inherit);
}

HWINSTA OpenWindowStationW(const WCHAR* name, BOOL inherit, DWORD /*access*/) {
  if (name == nullptr) return fail<HANDLE>(ERROR_INVALID_PARAMETER, nullptr);
  return open_station(wide_of(name), inherit);
}

HWINSTA CreateWindowStationA(const char* name, DWORD flags, DWORD /*access*/,
                             SECURITY_ATTRIBUTES* security) {
  if (name == nullptr) return fail<HANDLE>(ERROR_INVALID_PARAMETER, nullptr);
  return create_station(nt_ansi_to_wide(name), flags, security);
}

HWINSTA CreateWindowStationW(const WCHAR* name, DWORD flags, DWORD /*access*/,
                             SECURITY_ATTRIBUTES* security) {
  if (name == nullptr) return fail<HANDLE>(ERROR_INVALID_PARAMETER, nullptr);
  return create_station(wide_of(name), flags, security);
}

HDESK CreateDesktopA(const char* name, const char* device, DEVMODEA* devmode, DWORD flags,
                     DWORD /*access*/, SECURITY_ATTRIBUTES* security) {
  if (name == nullptr) return fail<HANDLE>(ERROR_INVALID_PARAMETER, nullptr);
  return create_desktop(nt_ansi_to_wide(name), device != nullptr || devmode != nullptr, flags,
                        security);
}

HDESK CreateDesktopW(const WCHAR* name, const WCHAR* device, DEVMODEW* devmode, DWORD flags,
                     DWORD /*access*/, SECURITY_ATTRIBUTES* security) {
  if (name == nullptr) return fail<HANDLE>(ERROR_INVALID_PARAMETER, nullptr);
  return create_desktop(wide_of(name), device != nullptr || devmode != nullptr, flags, security);
}

HDESK OpenDesktopA(const char* name, DWORD flags, BOOL inherit, DWORD /*access*/) {
  if (name == nullptr) return fail<HANDLE>(ERROR_INVALID_PARAMETER, nullptr);
  return open_desktop(nt_ansi_to_wide(name), flags, inherit);
}

HDESK OpenDesktopW(const WCHAR* name, DWORD flags, BOOL inherit, DWORD /*access*/) {
  if (name == nullptr) return fail<HANDLE>(ERROR_INVALID_PARAMETER, nullptr);
  return open_desktop(wide_of(name), flags, inherit);
}

HDESK OpenInputDesktop(DWORD flags, BOOL inherit, DWORD /*access*/) {
  if ((flags & ~DF_ALLOWOTHERACCOUNTHOOK) != 0) {
    return fail<HANDLE>(ERROR_INVALID_PARAMETER, nullptr);
  }
  std::shared_ptr<MachineStore> store;
  DWORD error = local_store(&store);
  if (error != ERROR_SUCCESS) return fail<HANDLE>(error, nullptr);
  std::string station, desktop;
  error = nt_desktop_store_input(*store, &station, &desktop);
  if (error != ERROR_SUCCESS) return fail<HANDLE>(error, nullptr);
  return open_object(station, desktop, flags, inherit);
}

BOOL SwitchDesktop(HDESK desktop) {
  std::shared_ptr<UserObject> object = nt_lookup_handle_as<UserObject>(desktop);
  if (!object || object->is_station()) return fail<BOOL>(ERROR_INVALID_HANDLE, FALSE);
  std::shared_ptr<MachineStore> store;
  DWORD error = local_store(&store);
  if (error != ERROR_SUCCESS) return fail<BOOL>(error, FALSE);
  NtUserObjectRecord station;
  error = nt_desktop_store_find(*store, object->station(), "", &station);
  if (error != ERROR_SUCCESS) return fail<BOOL>(error, FALSE);
  if (!station.interactive) return fail<BOOL>(ERROR_ACCESS_DENIED, FALSE);
  error = nt_desktop_store_set_input(*store, object->station(), object->desktop());
  if (error != ERROR_SUCCESS) return fail<BOOL>(error, FALSE);
  SetLastError(ERROR_SUCCESS);
  return TRUE;
}

BOOL CloseDesktop(HDESK desktop) { return close_object(desktop, false); }

BOOL CloseWindowStation(HWINSTA station) { return close_object(station, true); }

BOOL GetUserObjectInformationA(HANDLE object, int index, void* info, DWORD length,
                               DWORD* needed) {
  return object_information(object, index, info, length, needed, false);
}

BOOL GetUserObjectInformationW(HANDLE object, int index, void* info, DWORD length,
                               DWORD* needed) {
  return object_information(object, index, info, length, needed, true);
}

BOOL GetUserObjectSecurity(HANDLE handle, SECURITY_INFORMATION* requested,
                           PSECURITY_DESCRIPTOR sd, DWORD length, DWORD* needed) {
  std::shared_ptr<UserObject> object = nt_lookup_handle_as<UserObject>(handle);
  if (!object) return FALSE;
  if (requested == nullptr || needed == nullptr) return fail<BOOL>(ERROR_INVALID_PARAMETER, FALSE);
  std::shared_ptr<MachineStore> store;
  DWORD error = local_store(&store);
  if (error != ERROR_SUCCESS) return fail<BOOL>(error, FALSE);
  NtUserObjectRecord record;
  error = nt_desktop_store_find(*store, object->station(), object->desktop(), &record);
  if (error != ERROR_SUCCESS) return fail<BOOL>(error, FALSE);
  NtSecurityDescriptor stored;
  if (!nt_sd_parse(record.sd, &stored)) return fail<BOOL>(ERROR_INVALID_SECURITY_DESCR, FALSE);
  std::string bytes = nt_sd_build(nt_sd_select(stored, *requested));
  error = nt_sd_put(bytes, sd, length, needed);
  if (error != ERROR_SUCCESS) return fail<BOOL>(error, FALSE);
  SetLastError(ERROR_SUCCESS);
  return TRUE;
}

BOOL SetUserObjectSecurity(HANDLE handle, SECURITY_INFORMATION* info, PSECURITY_DESCRIPTOR sd) {
  std::shared_ptr<UserObject> object = nt_lookup_handle_as<UserObject>(handle);
  if (!object) return FALSE;
  if (info == nullptr || sd == nullptr) return fail<BOOL>(ERROR_INVALID_PARAMETER, FALSE);
  NtSecurityDescriptor given;
  if (!nt_sd_read(sd, &given)) return fail<BOOL>(ERROR_INVALID_SECURITY_DESCR, FALSE);
  std::shared_ptr<MachineStore> store;
  DWORD error = local_store(&store);
  if (error != ERROR_SUCCESS) return fail<BOOL>(error, FALSE);
  NtUserObjectRecord record;
  error = nt_desktop_store_find(*store, object->station(), object->desktop(), &record);
  if (error != ERROR_SUCCESS) return fail<BOOL>(error, FALSE);
  NtSecurityDescriptor stored;
  if (!nt_sd_parse(record.sd, &stored)) stored = NtSecurityDescriptor();
  if (*info & OWNER_SECURITY_INFORMATION) stored.owner = given.owner;
  if (*info & GROUP_SECURITY_INFORMATION) stored.group = given.group;
  if (*info & DACL_SECURITY_INFORMATION) {
    stored.dacl_present = given.dacl_present;
    stored.dacl = given.dacl;
  }
  if (*info & SACL_SECURITY_INFORMATION) {
    stored.sacl_present = given.sacl_present;
    stored.sacl = given.sacl;
  }
  error = nt_desktop_store_set_security(*store, object->station(), object->desktop(),
                                        nt_sd_build(stored));
  if (error != ERROR_SUCCESS) return fail<BOOL>(error, FALSE);
  SetLastError(ERROR_SUCCESS);
  return TRUE;
}
