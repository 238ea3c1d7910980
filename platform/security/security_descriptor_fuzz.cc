// Fuzzes the parsers of self-relative descriptors and ACLs: whatever they
// accept must build back to bytes that parse to the same parts, and the
// access check must run on it without reading outside the bytes.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/security/access_check.h"
#include "platform/security/security_descriptor.h"
#include "platform/security/well_known_accounts.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string bytes(reinterpret_cast<const char*>(data), size);
  NtSecurityDescriptor sd;
  if (nt_sd_parse(bytes, &sd)) {
    std::string again = nt_sd_build(sd);
    NtSecurityDescriptor back;
    if (!nt_sd_parse(again, &back) || back.owner != sd.owner || back.group != sd.group ||
        back.dacl != sd.dacl || back.sacl != sd.sacl || back.dacl_present != sd.dacl_present) {
      abort();
    }
    ACCESS_MASK granted;
    nt_access_check(bytes, {nt_sid_everyone(), sd.owner}, MAXIMUM_ALLOWED,
                    nt_file_generic_mapping(), &granted);
  }
  std::vector<NtAce> aces;
  if (nt_acl_parse(bytes, &aces)) {
    std::vector<NtAce> back;
    if (!nt_acl_parse(nt_acl_make(aces), &back) || back.size() != aces.size()) abort();
  }
  return 0;
}
