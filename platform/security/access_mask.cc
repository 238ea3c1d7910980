#include "platform/security/access_mask.h"

namespace {

constexpr ACCESS_MASK kKeyRead = 0x20019;
constexpr ACCESS_MASK kKeyWrite = 0x20006;
constexpr ACCESS_MASK kKeyAll = 0xF003F;

constexpr GENERIC_MAPPING kFile = {FILE_GENERIC_READ, FILE_GENERIC_WRITE, FILE_GENERIC_EXECUTE,
                                   FILE_ALL_ACCESS};
constexpr GENERIC_MAPPING kKey = {kKeyRead, kKeyWrite, kKeyRead, kKeyAll};
constexpr GENERIC_MAPPING kShare = {SHARE_READ_ACCESS, SHARE_CHANGE_ACCESS, SHARE_READ_ACCESS,
                                    SHARE_FULL_ACCESS};

}  // namespace

const GENERIC_MAPPING& nt_file_generic_mapping() { return kFile; }
const GENERIC_MAPPING& nt_key_generic_mapping() { return kKey; }
const GENERIC_MAPPING& nt_share_generic_mapping() { return kShare; }

ACCESS_MASK nt_map_generic(ACCESS_MASK mask, const GENERIC_MAPPING& mapping) {
  ACCESS_MASK out = mask & ~(GENERIC_READ | GENERIC_WRITE | GENERIC_EXECUTE | GENERIC_ALL);
  if (mask & GENERIC_READ) out |= mapping.GenericRead;
  if (mask & GENERIC_WRITE) out |= mapping.GenericWrite;
  if (mask & GENERIC_EXECUTE) out |= mapping.GenericExecute;
  if (mask & GENERIC_ALL) out |= mapping.GenericAll;
  return out;
}

void MapGenericMask(PACCESS_MASK mask, const GENERIC_MAPPING* mapping) {
  if (mask == nullptr || mapping == nullptr) return;
  *mask = nt_map_generic(*mask, *mapping);
}
