#include "tallo/group_members.h"

#include <cstdio>

#include "lib/account_loops.h"
#include "platform/kernel/error.h"
#include "platform/netapi/netapi.h"
#include "platform/nls/codepage.h"

namespace {

// Reads every record of an enumeration that continues with a resume handle.
template <typename Record, typename Call, typename Take>
DWORD read_all(Call call, Take take) {
  DWORD_PTR resume = 0;
  NET_API_STATUS status;
  do {
    LPBYTE buffer = nullptr;
    DWORD read = 0, total = 0;
    status = call(&buffer, &read, &total, &resume);
    if (status != NERR_Success && status != ERROR_MORE_DATA) {
      NetApiBufferFree(buffer);
      return status;
    }
    const auto* records = reinterpret_cast<const Record*>(buffer);
    for (DWORD i = 0; i < read; ++i) take(records[i]);
    NetApiBufferFree(buffer);
    if (read == 0) break;
  } while (status == ERROR_MORE_DATA);
  return ERROR_SUCCESS;
}

std::u16string text(const WCHAR* value) { return value ? value : u""; }

// The users of a domain's global group, read on its controller.
struct IndirectRead {
  std::u16string group;
  std::vector<std::u16string>* names;
};

DWORD read_on_controller(const WCHAR* domain, const WCHAR* dc, void* context) {
  auto* run = static_cast<IndirectRead*>(context);
  GroupMembers users;
  DWORD error = read_global_members(dc, run->group.c_str(), &users);
  if (error != ERROR_SUCCESS) {
    fflush(stdout);
    fprintf(stderr, "TALLO-ERROR, NetGroupGetUsers(%s) failed, error=%ld\n",
            nt_wide_to_ansi(run->group).c_str(), static_cast<long>(error));
    return error;
  }
  for (const std::u16string& user : users.names) {
    run->names->push_back(text(domain) + u"\\" + user);
  }
  return ERROR_SUCCESS;
}

}  // namespace

DWORD read_global_members(const WCHAR* server, const WCHAR* group, GroupMembers* members) {
  members->names.clear();
  DWORD error = read_all<GROUP_USERS_INFO_0>(
      [&](LPBYTE* buffer, DWORD* read, DWORD* total, DWORD_PTR* resume) {
        return NetGroupGetUsers(server, group, 0, buffer, MAX_PREFERRED_LENGTH, read, total,
                                resume);
      },
      [&](const GROUP_USERS_INFO_0& r) { members->names.push_back(text(r.grui0_name)); });
  members->direct = static_cast<int>(members->names.size());
  return error;
}

DWORD read_local_members(const WCHAR* server, const WCHAR* group, bool indirect,
                         GroupMembers* members) {
  members->names.clear();
  struct Member {
    std::u16string name;
    SID_NAME_USE use;
  };
  std::vector<Member> direct;
  DWORD error = read_all<LOCALGROUP_MEMBERS_INFO_2>(
      [&](LPBYTE* buffer, DWORD* read, DWORD* total, DWORD_PTR* resume) {
        return NetLocalGroupGetMembers(server, group, 2, buffer, MAX_PREFERRED_LENGTH, read,
                                       total, resume);
      },
      [&](const LOCALGROUP_MEMBERS_INFO_2& r) {
        direct.push_back({text(r.lgrmi2_domainandname), r.lgrmi2_sidusage});
      });
  members->direct = static_cast<int>(direct.size());
  if (error != ERROR_SUCCESS) return error;
  for (const Member& member : direct) {
    if (!indirect || member.use != SidTypeGroup) {
      members->names.push_back(member.name);
      continue;
    }
    size_t slash = member.name.find(u'\\');
    std::u16string domain = slash == std::u16string::npos ? u"" : member.name.substr(0, slash);
    IndirectRead run{slash == std::u16string::npos ? member.name : member.name.substr(slash + 1),
                     &members->names};
    domain_dc_loop(nt_wide_to_ansi(domain).c_str(), read_on_controller, &run);
  }
  return ERROR_SUCCESS;
}

std::u16string join_members(const std::vector<std::u16string>& names) {
  std::u16string list;
  for (size_t i = 0; i < names.size(); ++i) {
    if (i > 0) list += u',';
    list += names[i];
  }
  return list;
}

MemberParts member_parts(const std::u16string& member, const std::u16string& step_domain) {
  MemberParts parts;
  size_t slash = member.find(u'\\');
  if (slash == std::u16string::npos) {
    parts.domain = step_domain;
    parts.user = member;
    parts.qualified = step_domain + u"\\" + member;
  } else {
    parts.qualified = member;
    parts.domain = member.substr(0, slash);
    parts.user = member.substr(slash + 1);
  }
  return parts;
}
