#include "kopex/compare.h"

#include "platform/files/file_info.h"

namespace kopex {

bool same_write_time(uint64_t source, uint64_t target) {
  constexpr uint64_t kMask = ~static_cast<uint64_t>(0xFFFF);
  return (source & kMask) == (target & kMask);
}

CopyDecision decide_copy(int command, bool target_exists, uint64_t source_time,
                         uint64_t target_time, bool newer_only) {
  if (!target_exists) return command == CMD_UPDATE ? CopyDecision::none : CopyDecision::copy;
  if (command == CMD_COPY) return CopyDecision::replace;
  if (same_write_time(source_time, target_time)) return CopyDecision::keep;
  if (!newer_only) return CopyDecision::replace;
  return source_time > target_time ? CopyDecision::replace : CopyDecision::keep;
}

AttributeReads attribute_reads(int command, bool no_attributes, bool tested_or_shown) {
  const bool copies = command == CMD_COPY || command == CMD_UPDATE || command == CMD_MIRROR;
  const bool compares = (command == CMD_UPDATE || command == CMD_MIRROR) && !no_attributes;
  AttributeReads reads;
  reads.listing = tested_or_shown || command == CMD_SET || compares;
  reads.target = compares;
  reads.directories = copies && !no_attributes;
  return reads;
}

void attribute_string(uint32_t attributes, char out[7]) {
  static const struct {
    uint32_t bit;
    char letter;
  } kLetters[] = {{FILE_ATTRIBUTE_READONLY, 'R'},  {FILE_ATTRIBUTE_HIDDEN, 'H'},
                  {FILE_ATTRIBUTE_SYSTEM, 'S'},    {FILE_ATTRIBUTE_ARCHIVE, 'A'},
                  {FILE_ATTRIBUTE_COMPRESSED, 'C'}, {FILE_ATTRIBUTE_DIRECTORY, 'D'}};
  for (int i = 0; i < 6; ++i) out[i] = (attributes & kLetters[i].bit) ? kLetters[i].letter : '.';
  out[6] = '\0';
}

uint32_t apply_attribute_text(uint32_t attributes, const char* text) {
  static const struct {
    uint32_t bit;
    char letter;
  } kPlaces[] = {{FILE_ATTRIBUTE_READONLY, 'R'},
                 {FILE_ATTRIBUTE_HIDDEN, 'H'},
                 {FILE_ATTRIBUTE_SYSTEM, 'S'},
                 {FILE_ATTRIBUTE_ARCHIVE, 'A'}};
  for (int i = 0; i < 4 && text[i] != '\0'; ++i) {
    if (text[i] == kPlaces[i].letter) {
      attributes |= kPlaces[i].bit;
    } else if (text[i] == '.') {
      attributes &= ~kPlaces[i].bit;
    }
  }
  return attributes;
}

}  // namespace kopex
