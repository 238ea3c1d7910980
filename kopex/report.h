// The format lines and the closing statistics of kopex.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "lib/arg_spec.h"

namespace kopex {

// Expands the format text `format` (one of the run's texts, already read
// from its file when it named one) with `table` (2,048 bytes), converts it
// to the OEM code page unless /A, and prints it with a newline; an empty
// format prints nothing.
void print_line(const char* format, const ArgSpec* table);

// One ~g line per entry of an ACL text ("dom\user:Fci dom2\x:R ").
void print_ace_lines(const char* acl_text, const char* name, const char* base,
                     const char* reldir, const char* full, const char* root,
                     const char* domain, const char* server);

// The owner table: owners in order of first appearance.
struct OwnerEntry {
  std::string name;  // "domain\user"
  long files = 0;
  double bytes = 0;
};
constexpr size_t OWNERS_MAX = 2048;
constexpr size_t OWNER_NAME_MAX = 47;
void count_owner(const char* owner, uint32_t size);
const std::vector<OwnerEntry>& owners();
void clear_owners();

// End of run: owner lines and totals line (sho), then the statistics.
void print_end_of_run();

}  // namespace kopex
