// Which key of HKEY_USERS the current user's HKEY_CURRENT_USER is: the text
// form of the user's SID, as NT names it.
//
// The user (nt_user_name, in nt_user_domain, which follow impersonation) is
// looked up on the local machine. A user the account lookup does not know
// yet gets a stable SID made up from the domain and the name:
// S-1-5-21-a-b-c-RID, where a, b and c come from a hash of the domain and the
// RID is 500 for Administrator, 501 for Guest, else 1000 plus a hash of the
// name.
#include <cstdio>

#include "platform/kernel/identity.h"
#include "platform/network/network.h"
#include "platform/network/nt_name.h"
#include "platform/network/wtf8.h"
#include "platform/registry/registry.h"
#include "platform/security/account_lookup.h"
#include "platform/security/sid.h"

namespace {

uint32_t fnv1a(std::string_view text, uint32_t seed) {
  uint32_t h = 2166136261u ^ seed;
  for (unsigned char c : text) {
    h ^= c;
    h *= 16777619u;
  }
  return h;
}

std::string made_up_sid(const std::string& domain, const std::string& user) {
  uint32_t rid;
  if (user == "ADMINISTRATOR") rid = 500;
  else if (user == "GUEST") rid = 501;
  else rid = 1000 + fnv1a(user, 0) % 1000000;
  char text[96];
  snprintf(text, sizeof text, "S-1-5-21-%u-%u-%u-%u", fnv1a(domain, 1), fnv1a(domain, 2),
           fnv1a(domain, 3), rid);
  return text;
}

}  // namespace

std::string nt_reg_current_user_sid() {
  std::string domain = nt_upper_utf8(nt_user_domain());
  std::string user = nt_upper_utf8(nt_user_name());

  NtMachineRef local;
  if (nt_open_machine("", &local, NtMachineAccess::admin) == ERROR_SUCCESS) {
    NtAccount account;
    std::u16string qualified = nt_utf16_from_wtf8(domain + "\\" + user);
    if (nt_lookup_account_name(local, qualified, &account) == ERROR_SUCCESS &&
        account.use == SidTypeUser) {
      return nt_sid_to_text(account.sid);
    }
  }
  return made_up_sid(domain, user);
}
