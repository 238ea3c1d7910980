#include "tallo/group_listing.h"

#include <cstdio>
#include <string>

#include "lib/account_loops.h"
#include "lib/format.h"
#include "platform/kernel/error.h"
#include "platform/netapi/netapi.h"
#include "platform/nls/codepage.h"
#include "tallo/group_members.h"

namespace {

std::u16string text(const WCHAR* value) { return value ? value : u""; }

// The name a step shows as its domain: the domain, or the server's name
// without its backslashes when servers are listed.
std::u16string step_domain(const GroupListing& listing, const WCHAR* domain,
                           const WCHAR* server) {
  if (!listing.servers) return text(domain);
  std::u16string name = text(server);
  return name.rfind(u"\\\\", 0) == 0 ? name.substr(2) : name;
}

void error_line(const char* call, const std::u16string& group, DWORD error) {
  fflush(stdout);
  fprintf(stderr, "TALLO-ERROR, %s(%s) failed, error=%ld\n", call,
          nt_wide_to_ansi(group).c_str(), static_cast<long>(error));
}

// Name and comment of a group at level 1.
DWORD read_group(const GroupListing& listing, const WCHAR* server, const WCHAR* group,
                 std::u16string* name, std::u16string* comment) {
  LPBYTE buffer = nullptr;
  NET_API_STATUS status = listing.local_groups
                              ? NetLocalGroupGetInfo(server, group, 1, &buffer)
                              : NetGroupGetInfo(server, group, 1, &buffer);
  if (status == NERR_Success && buffer != nullptr) {
    if (listing.local_groups) {
      const auto* info = reinterpret_cast<const LOCALGROUP_INFO_1*>(buffer);
      *name = text(info->lgrpi1_name);
      *comment = text(info->lgrpi1_comment);
    } else {
      const auto* info = reinterpret_cast<const GROUP_INFO_1*>(buffer);
      *name = text(info->grpi1_name);
      *comment = text(info->grpi1_comment);
    }
  }
  NetApiBufferFree(buffer);
  return status;
}

}  // namespace

DWORD list_groups_step(const WCHAR* domain, const WCHAR* server, void* context) {
  auto* listing = static_cast<GroupListing*>(context);
  long before = listing->groups;
  ++listing->steps;
  DWORD result = listing->local_groups
                     ? local_group_loop(domain, server, listing->pattern, list_one_group, listing)
                     : group_loop(domain, server, listing->pattern, list_one_group, listing);
  std::u16string wdomain = text(domain), wserver = text(server);
  int32_t count = static_cast<int32_t>(listing->groups - before);
  ArgSpec table[] = {
      {ARG_WSTRING, 'D', ARG_OPTIONAL, wdomain.data(), 0},
      {ARG_WSTRING, 'S', ARG_OPTIONAL, wserver.data(), 0},
      {ARG_NUMERIC, 'T', ARG_OPTIONAL, &count, 0},
      {ARG_END, 0, 0, nullptr, 0},
  };
  print_formatted(listing->step_format, table, listing->ansi);
  return result;
}

DWORD list_one_group(const WCHAR* domain, const WCHAR* server, const WCHAR* group,
                     void* context) {
  auto* listing = static_cast<GroupListing*>(context);
  std::u16string name, comment;
  DWORD error = read_group(*listing, server, group, &name, &comment);
  if (error != NERR_Success) {
    error_line("NetGroupGetInfo", text(group), error);
    return error;
  }
  GroupMembers members;
  error = listing->local_groups ? read_local_members(server, group, listing->indirect, &members)
                                : read_global_members(server, group, &members);
  if (error != ERROR_SUCCESS) {
    // A group whose members cannot be read is not shown as an empty one.
    error_line(listing->local_groups ? "NetLocalGroupGetMembers" : "NetGroupGetUsers", name,
               error);
    return error;
  }
  std::u16string wdomain = step_domain(*listing, domain, server);
  std::u16string wserver = text(server);
  std::u16string list = join_members(members.names);
  int32_t count = members.direct;
  ArgSpec table[] = {
      {ARG_WSTRING, 'S', ARG_OPTIONAL, wserver.data(), 0},
      {ARG_WSTRING, 'N', ARG_OPTIONAL, name.data(), 0},
      {ARG_WSTRING, 'c', ARG_OPTIONAL, comment.data(), 0},
      {ARG_WSTRING, 'D', ARG_OPTIONAL, wdomain.data(), 0},
      {ARG_NUMERIC, 'T', ARG_OPTIONAL, &count, 0},
      {ARG_WSTRING, 'M', ARG_OPTIONAL, list.data(), 0},
      {ARG_END, 0, 0, nullptr, 0},
  };
  if (listing->criteria && !match_criteria(table, listing->criteria)) return ERROR_SUCCESS;
  ++listing->groups;
  print_formatted(listing->group_format, table, listing->ansi);
  if (listing->member_format[0] == '\0') return ERROR_SUCCESS;
  for (const std::u16string& member : members.names) {
    MemberParts parts = member_parts(member, wdomain);
    ArgSpec line[] = {
        {ARG_WSTRING, 'N', ARG_OPTIONAL, name.data(), 0},
        {ARG_WSTRING, 'D', ARG_OPTIONAL, wdomain.data(), 0},
        {ARG_WSTRING, 'S', ARG_OPTIONAL, wserver.data(), 0},
        {ARG_WSTRING, 'U', ARG_OPTIONAL, parts.qualified.data(), 0},
        {ARG_WSTRING, 'u', ARG_OPTIONAL, parts.user.data(), 0},
        {ARG_WSTRING, 'd', ARG_OPTIONAL, parts.domain.data(), 0},
        {ARG_END, 0, 0, nullptr, 0},
    };
    print_formatted(listing->member_format, line, listing->ansi);
  }
  return ERROR_SUCCESS;
}

void finish_listing(const GroupListing& listing, const char* totals_format) {
  if (listing.groups == 0) {
    fflush(stdout);
    fputs("TALLO-ERROR, no groups match\n", stderr);
    return;
  }
  int32_t steps = static_cast<int32_t>(listing.steps);
  int32_t groups = static_cast<int32_t>(listing.groups);
  ArgSpec table[] = {
      {ARG_NUMERIC, 'D', ARG_OPTIONAL, &steps, 0},
      {ARG_NUMERIC, 'T', ARG_OPTIONAL, &groups, 0},
      {ARG_END, 0, 0, nullptr, 0},
  };
  print_formatted(totals_format, table, listing.ansi);
}
