// Which key of HKEY_USERS the current user's HKEY_CURRENT_USER is.
//
// Until the layer has accounts, the user's SID is made up from the user's
// domain and name: S-1-5-21-a-b-c-RID, where a, b and c come from a hash of
// the domain (USERDOMAIN, else the local machine) and the RID is 500 for
// Administrator, 501 for Guest, else 1000 plus a hash of the name.
#include <cstdio>
#include <cstdlib>

#include "platform/kernel/identity.h"
#include "platform/network/network.h"
#include "platform/network/nt_name.h"
#include "platform/registry/registry.h"

namespace {

uint32_t fnv1a(std::string_view text, uint32_t seed) {
  uint32_t h = 2166136261u ^ seed;
  for (unsigned char c : text) {
    h ^= c;
    h *= 16777619u;
  }
  return h;
}

}  // namespace

std::string nt_reg_current_user_sid() {
  const char* env = getenv("USERDOMAIN");
  std::string domain = nt_upper_utf8(env && *env ? std::string(env) : nt_local_machine_name());
  std::string user = nt_upper_utf8(nt_user_name());
  uint32_t rid;
  if (user == "ADMINISTRATOR") rid = 500;
  else if (user == "GUEST") rid = 501;
  else rid = 1000 + fnv1a(user, 0) % 1000000;
  char text[96];
  snprintf(text, sizeof text, "S-1-5-21-%u-%u-%u-%u", fnv1a(domain, 1), fnv1a(domain, 2),
           fnv1a(domain, 3), rid);
  return text;
}
