// What cop, upd and mir do with one source file, and the attribute texts.
#pragma once

#include <cstdint>

#include "lib/command_code.h"

namespace kopex {

enum class CopyDecision { copy, replace, keep, none };

// Last-write times that differ only in the low 16 bits of their lower half
// (less than 65,536 units of 100 ns) count as equal.
bool same_write_time(uint64_t source, uint64_t target);

// The decision for a source file; `command` is CMD_COPY, CMD_UPDATE or
// CMD_MIRROR; `newer_only` is /T.
CopyDecision decide_copy(int command, bool target_exists, uint64_t source_time,
                         uint64_t target_time, bool newer_only);

// "RHSACD" with '.' for each attribute that is not set.
void attribute_string(uint32_t attributes, char out[7]);

// The /a text applied to `attributes`: its first four characters stand for
// R, H, S and A; the letter sets, '.' clears, anything else leaves the
// attribute. Other attribute bits pass through.
uint32_t apply_attribute_text(uint32_t attributes, const char* text);

}  // namespace kopex
