#include "acma/user_properties.h"

#include <cstring>

#include "platform/kernel/clock.h"

namespace {

std::u16string text(const WCHAR* value) { return value ? value : u""; }

void set_flag(char* out, bool on) { std::strcpy(out, on ? "1" : "0"); }

int32_t as_number(DWORD value) { return static_cast<int32_t>(value); }

void fill_table(UserProperties* u) {
  ArgSpec* t = u->table;
  int i = 0;
  auto wide = [&](char letter, std::u16string* value) {
    t[i++] = {ARG_WSTRING, letter, ARG_OPTIONAL, value->data(), 0};
  };
  auto plain = [&](char letter, char* value) {
    t[i++] = {ARG_STRING, letter, ARG_OPTIONAL, value, 0};
  };
  auto number = [&](char letter, int32_t* value) {
    t[i++] = {ARG_NUMERIC, letter, ARG_OPTIONAL, value, 0};
  };
  auto time = [&](char letter, FILETIME* value) {
    t[i++] = {ARG_ABSTIME, letter, ARG_OPTIONAL, value, 0};
  };
  wide('S', &u->server);
  wide('N', &u->name);
  wide('c', &u->comment);
  wide('H', &u->home_dir);
  wide('d', &u->home_drive);
  wide('s', &u->script);
  wide('f', &u->full_name);
  plain('C', u->cannot_change);
  wide('P', &u->profile);
  wide('W', &u->workstations);
  number('E', &u->age_seconds);
  number('e', &u->age_days);
  time('F', &u->last_logoff);
  time('L', &u->last_logon);
  time('X', &u->expires);
  number('B', &u->bad_count);
  number('U', &u->logons);
  plain('x', u->expired);
  number('I', &u->user_id);
  wide('G', &u->primary_group);
  wide('D', &u->domain);
  plain('t', u->type);
  number('T', &u->group_count);
  number('O', &u->local_group_count);
  wide('g', &u->group_list);
  wide('l', &u->local_group_list);
  plain('K', u->locked);
  plain('J', u->disabled);
  plain('j', u->never_expires);
  t[i] = {ARG_END, 0, 0, nullptr, 0};
}

// Reads a whole enumeration made of one call with a preferred length.
template <typename Record, typename Call>
DWORD read_names(Call call, std::vector<std::u16string>* out) {
  out->clear();
  LPBYTE buffer = nullptr;
  DWORD read = 0, total = 0;
  NET_API_STATUS status = call(&buffer, &read, &total);
  if (status != NERR_Success && status != ERROR_MORE_DATA) {
    NetApiBufferFree(buffer);
    return status;
  }
  const auto* records = reinterpret_cast<const Record*>(buffer);
  for (DWORD i = 0; i < read; ++i) out->push_back(text(*reinterpret_cast<WCHAR* const*>(&records[i])));
  NetApiBufferFree(buffer);
  return NERR_Success;
}

}  // namespace

const char* account_type_text(DWORD flags) {
  const char* type = "UNKNOWN";
  if (flags & UF_NORMAL_ACCOUNT) type = "NORMAL";
  if (flags & UF_TEMP_DUPLICATE_ACCOUNT) type = "TEMP";
  if (flags & UF_WORKSTATION_TRUST_ACCOUNT) type = "NT-WS";
  if (flags & UF_SERVER_TRUST_ACCOUNT) type = "NT-SERVER";
  if (flags & UF_INTERDOMAIN_TRUST_ACCOUNT) type = "DOMAIN";
  return type;
}

FILETIME record_time(DWORD seconds) {
  return u64_to_filetime(nt_unix_to_local_filetime(static_cast<time_t>(seconds), 0));
}

std::vector<std::u16string> split_list(const std::u16string& list) {
  std::vector<std::u16string> names;
  size_t start = 0;
  while (start <= list.size()) {
    size_t comma = list.find(u',', start);
    size_t end = comma == std::u16string::npos ? list.size() : comma;
    if (end > start) names.push_back(list.substr(start, end - start));
    if (comma == std::u16string::npos) break;
    start = comma + 1;
    while (start < list.size() && list[start] == u' ') ++start;
  }
  return names;
}

std::u16string join_list(const std::vector<std::u16string>& names) {
  std::u16string list;
  for (size_t i = 0; i < names.size(); ++i) {
    if (i > 0) list += u',';
    list += names[i];
  }
  return list;
}

void set_user_properties(UserProperties* u, const USER_INFO_3& r,
                         const std::vector<std::u16string>& groups,
                         const std::vector<std::u16string>& local_groups,
                         const std::vector<GroupId>& primary_groups) {
  u->name = text(r.usri3_name);
  u->comment = text(r.usri3_comment);
  u->home_dir = text(r.usri3_home_dir);
  u->home_drive = text(r.usri3_home_dir_drive);
  u->script = text(r.usri3_script_path);
  u->full_name = text(r.usri3_full_name);
  u->profile = text(r.usri3_profile);
  u->workstations = text(r.usri3_workstations);
  set_flag(u->cannot_change, r.usri3_flags & UF_PASSWD_CANT_CHANGE);
  set_flag(u->expired, r.usri3_password_expired != 0);
  set_flag(u->locked, r.usri3_flags & UF_LOCKOUT);
  set_flag(u->disabled, r.usri3_flags & UF_ACCOUNTDISABLE);
  set_flag(u->never_expires, r.usri3_flags & UF_DONT_EXPIRE_PASSWD);
  std::strcpy(u->type, account_type_text(r.usri3_flags));
  u->age_seconds = as_number(r.usri3_password_age);
  u->age_days = as_number(r.usri3_password_age / 86400u);
  u->bad_count = as_number(r.usri3_bad_pw_count);
  u->logons = as_number(r.usri3_num_logons);
  u->user_id = as_number(r.usri3_user_id);
  u->last_logoff = record_time(r.usri3_last_logoff);
  u->last_logon = record_time(r.usri3_last_logon);
  u->expires = record_time(r.usri3_acct_expires);
  u->primary_group.clear();
  for (const GroupId& g : primary_groups) {
    if (g.rid == r.usri3_primary_group_id) {
      u->primary_group = g.name;
      break;
    }
  }
  u->groups = groups;
  u->local_groups = local_groups;
  u->group_list = join_list(groups);
  u->local_group_list = join_list(local_groups);
  u->group_count = static_cast<int32_t>(groups.size());
  u->local_group_count = static_cast<int32_t>(local_groups.size());
  fill_table(u);
}

DWORD read_domain_groups(const WCHAR* server, std::vector<GroupId>* groups) {
  groups->clear();
  DWORD_PTR resume = 0;
  NET_API_STATUS status;
  do {
    LPBYTE buffer = nullptr;
    DWORD read = 0, total = 0;
    status = NetGroupEnum(server, 2, &buffer, MAX_PREFERRED_LENGTH, &read, &total, &resume);
    if (status != NERR_Success && status != ERROR_MORE_DATA) {
      NetApiBufferFree(buffer);
      return status;
    }
    const auto* records = reinterpret_cast<const GROUP_INFO_2*>(buffer);
    for (DWORD i = 0; i < read; ++i) groups->push_back({records[i].grpi2_group_id, text(records[i].grpi2_name)});
    NetApiBufferFree(buffer);
    if (read == 0) break;
  } while (status == ERROR_MORE_DATA);
  return NERR_Success;
}

DWORD read_local_group_names(const WCHAR* server, std::vector<std::u16string>* names) {
  return read_names<LOCALGROUP_INFO_0>(
      [&](LPBYTE* buffer, DWORD* read, DWORD* total) {
        DWORD_PTR resume = 0;
        return NetLocalGroupEnum(server, 0, buffer, MAX_PREFERRED_LENGTH, read, total, &resume);
      },
      names);
}

DWORD read_user_groups(const WCHAR* server, const WCHAR* name, std::vector<std::u16string>* out) {
  return read_names<GROUP_USERS_INFO_0>(
      [&](LPBYTE* buffer, DWORD* read, DWORD* total) {
        return NetUserGetGroups(server, name, 0, buffer, MAX_PREFERRED_LENGTH, read, total);
      },
      out);
}

DWORD read_user_local_groups(const WCHAR* server, const WCHAR* name, bool indirect,
                             std::vector<std::u16string>* out) {
  return read_names<LOCALGROUP_USERS_INFO_0>(
      [&](LPBYTE* buffer, DWORD* read, DWORD* total) {
        return NetUserGetLocalGroups(server, name, 0, indirect ? LG_INCLUDE_INDIRECT : 0, buffer,
                                     MAX_PREFERRED_LENGTH, read, total);
      },
      out);
}

DWORD read_user_properties(UserProperties* user, const WCHAR* domain, const WCHAR* server,
                           const WCHAR* name, bool indirect,
                           const std::vector<GroupId>& primary_groups, LPBYTE* record_out) {
  LPBYTE buffer = nullptr;
  NET_API_STATUS status = NetUserGetInfo(server, name, 3, &buffer);
  if (status != NERR_Success || buffer == nullptr) {
    NetApiBufferFree(buffer);
    return status != NERR_Success ? status : ERROR_INVALID_PARAMETER;
  }
  const auto* record = reinterpret_cast<const USER_INFO_3*>(buffer);
  std::vector<std::u16string> groups, local_groups;
  read_user_groups(server, record->usri3_name, &groups);
  read_user_local_groups(server, record->usri3_name, indirect, &local_groups);
  user->server = text(server);
  user->domain = text(domain);
  set_user_properties(user, *record, groups, local_groups, primary_groups);
  if (record_out != nullptr) {
    *record_out = buffer;
  } else {
    NetApiBufferFree(buffer);
  }
  return NERR_Success;
}
