#include "platform/desktop/desktop.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "platform/desktop/desktop_store.h"
#include "platform/kernel/error.h"
#include "platform/network/network_test_env.h"
#include "platform/process/process_test_util.h"
#include "platform/security/acl.h"
#include "platform/security/sid.h"
#include "platform/sync/thread.h"

namespace {

std::string name_of(HANDLE object) {
  char name[300] = {};
  DWORD needed = 0;
  if (!GetUserObjectInformationA(object, UOI_NAME, name, sizeof name, &needed)) return "?";
  return name;
}

std::string input_desktop() {
  HDESK input = OpenInputDesktop(0, FALSE, GENERIC_ALL);
  if (input == nullptr) return "?";
  std::string name = name_of(input);
  CloseDesktop(input);
  return name;
}

// The bytes of a descriptor with one ACE allowing `mask` to `sid`.
std::string descriptor_for(const std::string& sid, DWORD mask) {
  NtSecurityDescriptor sd;
  sd.owner = sid;
  sd.group = sid;
  sd.dacl_present = true;
  NtAce ace;
  ace.mask = mask;
  ace.sid = sid;
  sd.dacl = nt_acl_make({ace});
  return nt_sd_build(sd);
}

class DesktopTest : public ::testing::Test {
 protected:
  TempNetwork network_;
};

TEST_F(DesktopTest, ProcessStationAndThreadDesktop) {
  HWINSTA station = GetProcessWindowStation();
  ASSERT_NE(station, nullptr);
  EXPECT_EQ(GetProcessWindowStation(), station);  // one handle per process
  EXPECT_EQ(name_of(station), "WinSta0");
  HDESK desktop = GetThreadDesktop(GetCurrentThreadId());
  ASSERT_NE(desktop, nullptr);
  EXPECT_EQ(name_of(desktop), "Default");
  // Another thread of the process shares the desktop; a foreign id does not.
  HDESK other = nullptr;
  std::thread([&] { other = GetThreadDesktop(GetCurrentThreadId()); }).join();
  EXPECT_EQ(other, desktop);
  SetLastError(0);
  EXPECT_EQ(GetThreadDesktop(0), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  SetLastError(0);
  EXPECT_EQ(GetThreadDesktop(1), nullptr);  // init's thread, not ours
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  // These two handles are not to be closed; wrong kinds are refused.
  SetLastError(0);
  EXPECT_FALSE(CloseDesktop(desktop));
  EXPECT_EQ(GetLastError(), ERROR_BUSY);
  EXPECT_FALSE(CloseWindowStation(station));
  EXPECT_EQ(GetLastError(), ERROR_BUSY);
  SetLastError(0);
  EXPECT_FALSE(CloseDesktop(station));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
  EXPECT_FALSE(CloseWindowStation(desktop));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
  EXPECT_EQ(GetThreadDesktop(GetCurrentThreadId()), desktop);
}

TEST_F(DesktopTest, CreateOpenAndSwitch) {
  SECURITY_ATTRIBUTES inheritable{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
  SetLastError(0);
  HDESK job = CreateDesktopA("nightly", nullptr, nullptr, 0, GENERIC_ALL, &inheritable);
  ASSERT_NE(job, nullptr);
  EXPECT_EQ(GetLastError(), ERROR_SUCCESS);
  DWORD flags = 0;
  EXPECT_TRUE(GetHandleInformation(job, &flags));
  EXPECT_EQ(flags & HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT);
  // The same name again opens it.
  HDESK again = CreateDesktopA("NIGHTLY", nullptr, nullptr, 0, GENERIC_ALL, nullptr);
  ASSERT_NE(again, nullptr);
  EXPECT_EQ(GetLastError(), ERROR_ALREADY_EXISTS);
  EXPECT_EQ(name_of(again), "nightly");  // the name as created
  EXPECT_TRUE(CloseDesktop(again));
  // Opened by name, as another process of the machine would.
  HDESK opened = OpenDesktopA("Nightly", DF_ALLOWOTHERACCOUNTHOOK, TRUE, GENERIC_ALL);
  ASSERT_NE(opened, nullptr);
  USEROBJECTFLAGS object_flags{};
  DWORD needed = 0;
  ASSERT_TRUE(GetUserObjectInformationA(opened, UOI_FLAGS, &object_flags, sizeof object_flags,
                                        &needed));
  EXPECT_EQ(object_flags.fInherit, TRUE);
  EXPECT_EQ(object_flags.dwFlags, DF_ALLOWOTHERACCOUNTHOOK);
  SetLastError(0);
  EXPECT_EQ(OpenDesktopA("missing", 0, FALSE, GENERIC_ALL), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);

  EXPECT_EQ(input_desktop(), "Default");
  EXPECT_TRUE(SwitchDesktop(opened));
  EXPECT_EQ(input_desktop(), "nightly");
  EXPECT_TRUE(CloseDesktop(opened));
  EXPECT_TRUE(SwitchDesktop(GetThreadDesktop(GetCurrentThreadId())));
  EXPECT_EQ(input_desktop(), "Default");
  EXPECT_TRUE(CloseDesktop(job));
  // Closed handles are gone.
  SetLastError(0);
  EXPECT_FALSE(SwitchDesktop(job));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);

  // Stations: WinSta0 is interactive; a new one is not, and its desktops
  // cannot take the input.
  HWINSTA winsta0 = OpenWindowStationA("winsta0", FALSE, GENERIC_ALL);
  ASSERT_NE(winsta0, nullptr);
  ASSERT_TRUE(GetUserObjectInformationA(winsta0, UOI_FLAGS, &object_flags, sizeof object_flags,
                                        &needed));
  EXPECT_EQ(object_flags.dwFlags, WSF_VISIBLE);
  EXPECT_TRUE(CloseWindowStation(winsta0));
  HWINSTA service = CreateWindowStationA("Service-0x0-3e7$", 0, GENERIC_ALL, nullptr);
  ASSERT_NE(service, nullptr);
  ASSERT_TRUE(GetUserObjectInformationA(service, UOI_FLAGS, &object_flags, sizeof object_flags,
                                        &needed));
  EXPECT_EQ(object_flags.dwFlags, 0u);
  EXPECT_TRUE(CloseWindowStation(service));
  SetLastError(0);
  EXPECT_EQ(OpenWindowStationA("WinSta9", FALSE, GENERIC_ALL), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
}

TEST_F(DesktopTest, NamesAtTheirLimits) {
  // 255 characters are a name, 256 are not; nor are empty names, names
  // with a backslash, or a display device.
  std::string longest(NT_DESKTOP_NAME_MAX, 'd');
  HDESK desktop = CreateDesktopA(longest.c_str(), nullptr, nullptr, 0, GENERIC_ALL, nullptr);
  ASSERT_NE(desktop, nullptr);
  EXPECT_EQ(name_of(desktop), longest);
  EXPECT_TRUE(CloseDesktop(desktop));
  std::string too_long(NT_DESKTOP_NAME_MAX + 1, 'd');
  for (const char* bad : {too_long.c_str(), "", "WinSta0\\Default", static_cast<const char*>(nullptr)}) {
    SetLastError(0);
    EXPECT_EQ(CreateDesktopA(bad, nullptr, nullptr, 0, GENERIC_ALL, nullptr), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
    SetLastError(0);
    EXPECT_EQ(OpenDesktopA(bad, 0, FALSE, GENERIC_ALL), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  }
  SetLastError(0);
  EXPECT_EQ(CreateDesktopA("x", "\\\\.\\DISPLAY1", nullptr, 0, GENERIC_ALL, nullptr), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);

  // Wide names, and the sizes GetUserObjectInformation asks for.
  const WCHAR wide_name[] = u"Caf\u00e9";
  HDESK wide = CreateDesktopW(wide_name, nullptr, nullptr, 0, GENERIC_ALL, nullptr);
  ASSERT_NE(wide, nullptr);
  WCHAR buffer[8] = {};
  DWORD needed = 0;
  SetLastError(0);
  EXPECT_FALSE(GetUserObjectInformationW(wide, UOI_NAME, buffer, 9, &needed));
  EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
  EXPECT_EQ(needed, 10u);  // five units with the terminator
  ASSERT_TRUE(GetUserObjectInformationW(wide, UOI_NAME, buffer, 10, &needed));
  EXPECT_EQ(std::u16string(buffer), std::u16string(wide_name));
  char type[32] = {};
  ASSERT_TRUE(GetUserObjectInformationA(wide, UOI_TYPE, type, sizeof type, &needed));
  EXPECT_STREQ(type, "Desktop");
  EXPECT_EQ(needed, 8u);
  HDESK opened = OpenDesktopW(u"CAF\u00e9", 0, FALSE, GENERIC_ALL);
  ASSERT_NE(opened, nullptr);
  EXPECT_TRUE(CloseDesktop(opened));
  SetLastError(0);
  EXPECT_FALSE(GetUserObjectInformationA(wide, 4, type, sizeof type, &needed));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  EXPECT_TRUE(CloseDesktop(wide));
}

TEST_F(DesktopTest, SecurityIsStoredPerObject) {
  const std::string system = nt_sid_make(5, {18});
  const std::string user = nt_sid_make(5, {21, 1, 2, 3, 1001});
  std::string bytes = descriptor_for(user, 0x000F01FFu);
  SECURITY_ATTRIBUTES with_sd{sizeof(SECURITY_ATTRIBUTES), bytes.data(), FALSE};
  HDESK desktop = CreateDesktopA("secured", nullptr, nullptr, 0, GENERIC_ALL, &with_sd);
  ASSERT_NE(desktop, nullptr);

  // Asking for the DACL alone gives the DACL alone; a small buffer tells
  // the size.
  SECURITY_INFORMATION info = DACL_SECURITY_INFORMATION;
  DWORD needed = 0;
  SetLastError(0);
  EXPECT_FALSE(GetUserObjectSecurity(desktop, &info, nullptr, 0, &needed));
  EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
  ASSERT_GT(needed, 20u);
  std::vector<char> buffer(needed);
  ASSERT_TRUE(GetUserObjectSecurity(desktop, &info, buffer.data(), needed, &needed));
  NtSecurityDescriptor got;
  ASSERT_TRUE(nt_sd_parse(std::string_view(buffer.data(), needed), &got));
  EXPECT_TRUE(got.owner.empty());
  ASSERT_TRUE(got.dacl_present);
  std::vector<NtAce> aces;
  ASSERT_TRUE(nt_acl_parse(got.dacl, &aces));
  ASSERT_EQ(aces.size(), 1u);
  EXPECT_EQ(aces[0].sid, user);

  // A new DACL replaces the old one; the owner stays.
  std::string replacement = descriptor_for(system, 0x0001);
  info = DACL_SECURITY_INFORMATION;
  ASSERT_TRUE(SetUserObjectSecurity(desktop, &info, replacement.data()));
  info = OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION;
  ASSERT_TRUE(GetUserObjectSecurity(desktop, &info, nullptr, 0, &needed) ||
              GetLastError() == ERROR_INSUFFICIENT_BUFFER);
  buffer.assign(needed, 0);
  ASSERT_TRUE(GetUserObjectSecurity(desktop, &info, buffer.data(), needed, &needed));
  ASSERT_TRUE(nt_sd_parse(std::string_view(buffer.data(), needed), &got));
  EXPECT_EQ(got.owner, user);
  ASSERT_TRUE(nt_acl_parse(got.dacl, &aces));
  ASSERT_EQ(aces.size(), 1u);
  EXPECT_EQ(aces[0].sid, system);
  EXPECT_EQ(aces[0].mask, 0x0001u);

  // Another handle on the same object reads the same; the station has its
  // own default descriptor.
  HDESK other = OpenDesktopA("secured", 0, FALSE, GENERIC_ALL);
  ASSERT_NE(other, nullptr);
  info = DACL_SECURITY_INFORMATION;
  buffer.assign(512, 0);
  ASSERT_TRUE(GetUserObjectSecurity(other, &info, buffer.data(), 512, &needed));
  ASSERT_TRUE(nt_sd_parse(std::string_view(buffer.data(), needed), &got));
  ASSERT_TRUE(nt_acl_parse(got.dacl, &aces));
  EXPECT_EQ(aces.size(), 1u);
  EXPECT_TRUE(CloseDesktop(other));
  ASSERT_TRUE(GetUserObjectSecurity(GetProcessWindowStation(), &info, buffer.data(), 512, &needed));
  ASSERT_TRUE(nt_sd_parse(std::string_view(buffer.data(), needed), &got));
  ASSERT_TRUE(nt_acl_parse(got.dacl, &aces));
  EXPECT_EQ(aces.size(), 2u);

  // Garbage is refused and changes nothing.
  char junk[32] = {9, 9, 9};
  SetLastError(0);
  EXPECT_FALSE(SetUserObjectSecurity(desktop, &info, junk));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_SECURITY_DESCR);
  SECURITY_ATTRIBUTES bad{sizeof(SECURITY_ATTRIBUTES), junk, FALSE};
  SetLastError(0);
  EXPECT_EQ(CreateDesktopA("junk", nullptr, nullptr, 0, GENERIC_ALL, &bad), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_SECURITY_DESCR);
  EXPECT_TRUE(CloseDesktop(desktop));
}

TEST_F(DesktopTest, ChildStartsOnTheDesktopItIsGiven) {
  HDESK desktop = CreateDesktopA("jobdesk", nullptr, nullptr, 0, GENERIC_ALL, nullptr);
  ASSERT_NE(desktop, nullptr);
  HWINSTA station = CreateWindowStationA("Batch", 0, GENERIC_ALL, nullptr);
  ASSERT_NE(station, nullptr);
  const std::string probe = "\"" + probe_path() + "\" desktop";
  struct Case {
    const char* given;
    const char* seen;
  } cases[] = {
      {"WinSta0\\jobdesk", "STATION=[WinSta0] DESKTOP=[jobdesk]"},
      {"jobdesk", "STATION=[WinSta0] DESKTOP=[jobdesk]"},
      {nullptr, "STATION=[WinSta0] DESKTOP=[Default]"},
      // A desktop that does not exist leaves the child without one.
      {"Batch\\nowhere", "STATION=[Batch] DESKTOP=[?]"},
  };
  for (const Case& c : cases) {
    STARTUPINFOA startup{};
    std::string given = c.given ? c.given : "";
    startup.lpDesktop = c.given ? given.data() : nullptr;
    ChildOptions options;
    options.startup = &startup;
    ChildResult result = run_child(probe, options);
    ASSERT_TRUE(result.started);
    EXPECT_NE(result.out.find(c.seen), std::string::npos) << result.out;
  }
  EXPECT_TRUE(CloseWindowStation(station));
  EXPECT_TRUE(CloseDesktop(desktop));
}

}  // namespace
