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

// Which stored attributes (R, H, S, A) a run reads: each read costs one
// extended attribute read per file.
struct AttributeReads {
  bool listing = true;      // of each listed entry: set changes them, -a tests
                            // them, ~a shows them, upd and mir compare them
  bool target = true;       // of an existing target file: upd and mir compare
  bool directories = true;  // of a source directory: its target gets them
};
// `no_attributes` is /n; `tested_or_shown` is true when -a or ~a is given.
// cop never compares (it replaces), and its copies carry the attributes
// over by themselves; with /n, upd and mir compare nothing either.
AttributeReads attribute_reads(int command, bool no_attributes, bool tested_or_shown);

// "RHSACD" with '.' for each attribute that is not set.
void attribute_string(uint32_t attributes, char out[7]);

// The /a text applied to `attributes`: its first four characters stand for
// R, H, S and A; the letter sets, '.' clears, anything else leaves the
// attribute. Other attribute bits pass through.
uint32_t apply_attribute_text(uint32_t attributes, const char* text);

}  // namespace kopex
