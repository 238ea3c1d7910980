#include "platform/netapi/netapi.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/netapi/netapi_test_network.h"

namespace {

// The names of a server list, joined by '|'.
template <typename Info>
std::string names_of(const BYTE* buffer, DWORD count, LPWSTR Info::*name) {
  std::string out;
  const auto* records = reinterpret_cast<const Info*>(buffer);
  for (DWORD i = 0; i < count; ++i) {
    if (i) out += "|";
    out += utf8(records[i].*name);
  }
  return out;
}

struct EnumResult {
  NET_API_STATUS status = 0;
  DWORD read = 0;
  DWORD total = 0;
  std::string names;
};

EnumResult enum_servers(DWORD type, const WCHAR* domain, DWORD level = 100,
                        DWORD prefmax = MAX_PREFERRED_LENGTH, DWORD* resume = nullptr) {
  EnumResult r;
  LPBYTE buffer = nullptr;
  r.status = NetServerEnum(nullptr, level, &buffer, prefmax, &r.read, &r.total, type, domain,
                           resume);
  if (buffer) {
    r.names = level == 100 ? names_of(buffer, r.read, &SERVER_INFO_100::sv100_name)
                           : names_of(buffer, r.read, &SERVER_INFO_101::sv101_name);
  }
  EXPECT_EQ(NetApiBufferFree(buffer), NERR_Success);
  return r;
}

TEST(NetServerEnum, ListsTheOnlineMachinesOfADomainByType) {
  TestNetwork net;
  // The local machine's domain when none is named; offline WS9 is not seen.
  EnumResult r = enum_servers(SV_TYPE_NT, nullptr);
  EXPECT_EQ(r.status, NERR_Success);
  EXPECT_EQ(r.names, "LOCALPC|SRV1|SRV2");
  EXPECT_EQ(r.read, 3u);
  EXPECT_EQ(r.total, 3u);
  EXPECT_EQ(enum_servers(SV_TYPE_NT, u"").names, "LOCALPC|SRV1|SRV2");
  EXPECT_EQ(enum_servers(SV_TYPE_ALL, u"office").names, "HQ1|HQ2");

  // Type bits select.
  EXPECT_EQ(enum_servers(SV_TYPE_DOMAIN_CTRL, u"SALES").names, "SRV1");
  EXPECT_EQ(enum_servers(SV_TYPE_DOMAIN_BAKCTRL, u"OFFICE").names, "HQ2");
  EXPECT_EQ(enum_servers(SV_TYPE_SERVER_NT, u"SALES").names, "SRV1|SRV2");
  r = enum_servers(SV_TYPE_DOMAIN_BAKCTRL, u"SALES");
  EXPECT_EQ(r.status, NERR_Success);
  EXPECT_EQ(r.read, 0u);
  EXPECT_EQ(r.names, "");

  // A machine coming back online is seen again.
  net.set_online("WS9", true);
  EXPECT_EQ(enum_servers(SV_TYPE_NT, u"SALES").names, "LOCALPC|SRV1|SRV2|WS9");
  net.set_online("SRV1", false);
  EXPECT_EQ(enum_servers(SV_TYPE_NT, u"SALES").names, "LOCALPC|SRV2|WS9");

  // No browser for a group whose machines are all offline, or an unknown one.
  EXPECT_EQ(enum_servers(SV_TYPE_NT, u"GHOST").status, ERROR_NO_BROWSER_SERVERS_FOUND);
  EXPECT_EQ(enum_servers(SV_TYPE_NT, u"NOWHERE").status, ERROR_NO_BROWSER_SERVERS_FOUND);
  EXPECT_EQ(GetLastError(), ERROR_NO_BROWSER_SERVERS_FOUND);  // freeing kept it
}

TEST(NetServerEnum, Level101CarriesVersionTypeAndComment) {
  TestNetwork net;
  LPBYTE buffer = nullptr;
  DWORD read = 0, total = 0;
  ASSERT_EQ(NetServerEnum(nullptr, 101, &buffer, MAX_PREFERRED_LENGTH, &read, &total, SV_TYPE_ALL,
                          u"SALES", nullptr),
            NERR_Success);
  ASSERT_EQ(read, 3u);
  const auto* s = reinterpret_cast<const SERVER_INFO_101*>(buffer);
  EXPECT_EQ(utf8(s[1].sv101_name), "SRV1");
  EXPECT_EQ(s[1].sv101_platform_id, PLATFORM_ID_NT);
  EXPECT_EQ(s[1].sv101_version_major, 4u);
  EXPECT_EQ(s[1].sv101_version_minor, 0u);
  EXPECT_EQ(s[1].sv101_type, SV_TYPE_WORKSTATION | SV_TYPE_SERVER | SV_TYPE_NT |
                                 SV_TYPE_SERVER_NT | SV_TYPE_DOMAIN_CTRL);
  EXPECT_EQ(utf8(s[1].sv101_comment), "Sales PDC");
  EXPECT_EQ(utf8(s[0].sv101_comment), "");
  EXPECT_EQ(s[0].sv101_type, SV_TYPE_WORKSTATION | SV_TYPE_SERVER | SV_TYPE_NT);
  // The strings live inside the one block.
  const BYTE* end = buffer + 3 * sizeof(SERVER_INFO_101);
  EXPECT_GE(reinterpret_cast<const BYTE*>(s[2].sv101_name), end);
  EXPECT_EQ(NetApiBufferFree(buffer), NERR_Success);
}

TEST(NetServerEnum, ListsDomainsAndWorkgroups) {
  TestNetwork net;
  LPBYTE buffer = nullptr;
  DWORD read = 0, total = 0;
  ASSERT_EQ(NetServerEnum(nullptr, 101, &buffer, 8192, &read, &total, SV_TYPE_DOMAIN_ENUM,
                          nullptr, nullptr),
            NERR_Success);
  // GHOST has no machine online; WORKGROUP no machine at all.
  EXPECT_EQ(names_of(buffer, read, &SERVER_INFO_101::sv101_name), "OFFICE|SALES");
  EXPECT_EQ(total, 2u);
  const auto* d = reinterpret_cast<const SERVER_INFO_101*>(buffer);
  EXPECT_EQ(d[0].sv101_type, SV_TYPE_DOMAIN_ENUM | SV_TYPE_NT);
  EXPECT_EQ(utf8(d[1].sv101_comment), "SRV1");  // the domain's browser, its controller
  NetApiBufferFree(buffer);

  net.set_online("GONE1", true);
  net.set_online("SRV1", false);
  EnumResult r = enum_servers(SV_TYPE_DOMAIN_ENUM, nullptr, 101);
  EXPECT_EQ(r.names, "GHOST|OFFICE|SALES");
  // SV_TYPE_ALL asks for servers, not domains.
  EXPECT_EQ(enum_servers(SV_TYPE_ALL, nullptr).names, "LOCALPC|SRV2");
}

TEST(NetServerEnum, PreferredLengthSlicesWithResume) {
  TestNetwork net;
  // One record with a short name takes about 40 bytes: 50 holds exactly one.
  DWORD resume = 0;
  EnumResult r = enum_servers(SV_TYPE_ALL, u"SALES", 100, 50, &resume);
  EXPECT_EQ(r.status, ERROR_MORE_DATA);
  EXPECT_EQ(r.names, "LOCALPC");
  EXPECT_EQ(r.total, 3u);
  EXPECT_EQ(resume, 1u);
  r = enum_servers(SV_TYPE_ALL, u"SALES", 100, 50, &resume);
  EXPECT_EQ(r.status, ERROR_MORE_DATA);
  EXPECT_EQ(r.names, "SRV1");
  EXPECT_EQ(r.total, 2u);
  r = enum_servers(SV_TYPE_ALL, u"SALES", 100, 1000, &resume);
  EXPECT_EQ(r.status, NERR_Success);
  EXPECT_EQ(r.names, "SRV2");
  EXPECT_EQ(resume, 0u);
  // Too small for any record: still one, so that a caller always moves on.
  r = enum_servers(SV_TYPE_ALL, u"SALES", 100, 1);
  EXPECT_EQ(r.status, ERROR_MORE_DATA);
  EXPECT_EQ(r.read, 1u);
  EXPECT_EQ(r.total, 3u);
  // Two records: size of two 100-records and "LOCALPC", "SRV1" with terminators.
  DWORD two = 2 * sizeof(SERVER_INFO_100) + (8 + 5) * 2;
  EXPECT_EQ(enum_servers(SV_TYPE_ALL, u"SALES", 100, two).names, "LOCALPC|SRV1");
  EXPECT_EQ(enum_servers(SV_TYPE_ALL, u"SALES", 100, two - 1).names, "LOCALPC");
}

TEST(NetServerEnum, RefusesBadArguments) {
  TestNetwork net;
  LPBYTE buffer = reinterpret_cast<LPBYTE>(&net);
  DWORD read = 7, total = 7;
  EXPECT_EQ(NetServerEnum(nullptr, 102, &buffer, MAX_PREFERRED_LENGTH, &read, &total, SV_TYPE_ALL,
                          nullptr, nullptr),
            ERROR_INVALID_LEVEL);
  EXPECT_EQ(buffer, nullptr);
  EXPECT_EQ(read, 0u);
  EXPECT_EQ(NetServerEnum(nullptr, 100, nullptr, MAX_PREFERRED_LENGTH, &read, &total, SV_TYPE_ALL,
                          nullptr, nullptr),
            ERROR_INVALID_PARAMETER);
  EXPECT_EQ(NetServerEnum(nullptr, 100, &buffer, MAX_PREFERRED_LENGTH, nullptr, &total,
                          SV_TYPE_ALL, nullptr, nullptr),
            ERROR_INVALID_PARAMETER);
  EXPECT_EQ(NetServerEnum(nullptr, 100, &buffer, MAX_PREFERRED_LENGTH, &read, nullptr,
                          SV_TYPE_ALL, nullptr, nullptr),
            ERROR_INVALID_PARAMETER);
  // Asked through a server that cannot be reached.
  EXPECT_EQ(NetServerEnum(u"\\\\WS9", 100, &buffer, MAX_PREFERRED_LENGTH, &read, &total,
                          SV_TYPE_ALL, nullptr, nullptr),
            ERROR_BAD_NETPATH);
  EXPECT_EQ(NetServerEnum(u"\\\\NOSUCH", 100, &buffer, MAX_PREFERRED_LENGTH, &read, &total,
                          SV_TYPE_ALL, nullptr, nullptr),
            ERROR_BAD_NETPATH);
  ASSERT_EQ(NetServerEnum(u"\\\\HQ1", 100, &buffer, MAX_PREFERRED_LENGTH, &read, &total,
                          SV_TYPE_ALL, u"SALES", nullptr),
            NERR_Success);
  EXPECT_EQ(read, 3u);
  NetApiBufferFree(buffer);
}

TEST(NetApiBuffer, FreesOnlyItsOwnBlocksOnce) {
  EXPECT_EQ(NetApiBufferFree(nullptr), NERR_Success);
  int local = 0;
  EXPECT_EQ(NetApiBufferFree(&local), ERROR_INVALID_PARAMETER);
  void* block = nullptr;
  ASSERT_EQ(NetApiBufferAllocate(16, &block), NERR_Success);
  ASSERT_NE(block, nullptr);
  EXPECT_EQ(NetApiBufferFree(block), NERR_Success);
  EXPECT_EQ(NetApiBufferFree(block), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(NetApiBufferAllocate(16, nullptr), ERROR_INVALID_PARAMETER);
}

TEST(NetServerGetInfo, OneServerAtLevels100And101) {
  TestNetwork net;
  LPBYTE buffer = nullptr;
  ASSERT_EQ(NetServerGetInfo(nullptr, 100, &buffer), NERR_Success);
  EXPECT_EQ(utf8(reinterpret_cast<SERVER_INFO_100*>(buffer)->sv100_name), "LOCALPC");
  NetApiBufferFree(buffer);
  ASSERT_EQ(NetServerGetInfo(u"\\\\srv2", 101, &buffer), NERR_Success);
  const auto* s = reinterpret_cast<SERVER_INFO_101*>(buffer);
  EXPECT_EQ(utf8(s->sv101_name), "SRV2");
  EXPECT_EQ(utf8(s->sv101_comment), "Sales files");
  EXPECT_EQ(s->sv101_type & SV_TYPE_SERVER_NT, SV_TYPE_SERVER_NT);
  NetApiBufferFree(buffer);
  ASSERT_EQ(NetServerGetInfo(u"HQ2", 101, &buffer), NERR_Success);
  EXPECT_EQ(reinterpret_cast<SERVER_INFO_101*>(buffer)->sv101_type & SV_TYPE_DOMAIN_BAKCTRL,
            SV_TYPE_DOMAIN_BAKCTRL);
  NetApiBufferFree(buffer);

  EXPECT_EQ(NetServerGetInfo(u"\\\\WS9", 100, &buffer), ERROR_BAD_NETPATH);
  EXPECT_EQ(buffer, nullptr);
  EXPECT_EQ(NetServerGetInfo(u"\\\\NOSUCH", 100, &buffer), ERROR_BAD_NETPATH);
  EXPECT_EQ(NetServerGetInfo(nullptr, 102, &buffer), ERROR_INVALID_LEVEL);
  EXPECT_EQ(NetServerGetInfo(nullptr, 100, nullptr), ERROR_INVALID_PARAMETER);
}

TEST(NetWkstaGetInfo, NameGroupPlatformAndVersion) {
  TestNetwork net;
  LPBYTE buffer = nullptr;
  ASSERT_EQ(NetWkstaGetInfo(nullptr, 100, &buffer), NERR_Success);
  const auto* w = reinterpret_cast<WKSTA_INFO_100*>(buffer);
  EXPECT_EQ(w->wki100_platform_id, 500u);
  EXPECT_EQ(utf8(w->wki100_computername), "LOCALPC");
  EXPECT_EQ(utf8(w->wki100_langroup), "SALES");
  EXPECT_EQ(w->wki100_ver_major, 4u);
  EXPECT_EQ(w->wki100_ver_minor, 0u);
  NetApiBufferFree(buffer);
  ASSERT_EQ(NetWkstaGetInfo(u"\\\\HQ2", 100, &buffer), NERR_Success);
  EXPECT_EQ(utf8(reinterpret_cast<WKSTA_INFO_100*>(buffer)->wki100_langroup), "OFFICE");
  NetApiBufferFree(buffer);
  EXPECT_EQ(NetWkstaGetInfo(u"\\\\GONE1", 100, &buffer), ERROR_BAD_NETPATH);
  EXPECT_EQ(NetWkstaGetInfo(nullptr, 101, &buffer), ERROR_INVALID_LEVEL);
}

TEST(NetGetDCName, FindsThePrimaryControllerOnline) {
  TestNetwork net;
  auto dc = [](const WCHAR* server, const WCHAR* domain, NET_API_STATUS* status) {
    LPBYTE buffer = nullptr;
    *status = NetGetDCName(server, domain, &buffer);
    std::string name = buffer ? utf8(reinterpret_cast<WCHAR*>(buffer)) : "";
    NetApiBufferFree(buffer);
    return name;
  };
  NET_API_STATUS status;
  EXPECT_EQ(dc(nullptr, nullptr, &status), "\\\\SRV1");
  EXPECT_EQ(status, NERR_Success);
  EXPECT_EQ(dc(nullptr, u"office", &status), "\\\\HQ1");
  EXPECT_EQ(dc(u"\\\\HQ2", nullptr, &status), "\\\\HQ1");  // the server's own domain
  EXPECT_EQ(dc(nullptr, u"GHOST", &status), "");
  EXPECT_EQ(status, NERR_DCNotFound);
  net.set_online("HQ1", false);
  EXPECT_EQ(dc(nullptr, u"OFFICE", &status), "");  // a backup controller is not the primary
  EXPECT_EQ(status, NERR_DCNotFound);
  EXPECT_EQ(dc(u"\\\\HQ1", u"SALES", &status), "");
  EXPECT_EQ(status, ERROR_BAD_NETPATH);
  EXPECT_EQ(NetGetDCName(nullptr, nullptr, nullptr), ERROR_INVALID_PARAMETER);
}

}  // namespace
