// Selection of objects: an object's placeholder table against the tool's
// criteria table, letter by letter.

#include <cstring>
#include <string>

#include "platform/nls/ansi_chars.h"
#include "lib/format.h"
#include "lib/time_syntax.h"
#include "lib/wildcard.h"
#include "platform/nls/codepage.h"

namespace {

const ArgSpec* find_criterion(const ArgSpec* criteria, char letter) {
  for (; criteria->type != ARG_END; ++criteria) {
    if (criteria->letter == letter) return criteria;
  }
  return nullptr;
}

// ANSI form of a text value, wide texts converted and cut to fit 1,024
// bytes with their terminator; an absent value is the empty text.
std::string ansi_value(int type, const void* value) {
  if (value == nullptr) return std::string();
  if (type == ARG_STRING) return static_cast<const char*>(value);
  std::string text = nt_wide_to_ansi(std::u16string_view(static_cast<const WCHAR*>(value)));
  text.resize(std::strlen(text.c_str()));
  text.resize(ansi_cut(GetACP(), text.data(), text.size(), CRITERIA_TEXT_MAX - 1));
  return text;
}

bool is_text(int type) { return type == ARG_STRING || type == ARG_WSTRING; }

bool text_matches(const ArgSpec& object, const ArgSpec& criterion) {
  const std::string pattern = ansi_value(criterion.type, criterion.target);
  const std::string text = ansi_value(object.type, object.target);
  return match_wildcard(text.c_str(), pattern.c_str(), 0);
}

bool time_matches(const ArgSpec& object, const ArgSpec& criterion) {
  const uint64_t when = filetime_to_u64(*static_cast<const FILETIME*>(object.target));
  uint64_t upper = 0;
  auto* upper_time = static_cast<FILETIME*>(criterion.target);
  if (upper_time != nullptr) upper = filetime_to_u64(*upper_time);
  if (upper == 0) {
    // No upper bound: the criterion keeps the far end of the calendar
    // from now on.
    upper = OPEN_UPPER_TIME;
    if (upper_time != nullptr) *upper_time = u64_to_filetime(upper);
  }
  uint64_t lower = 0;
  if (criterion.def != 0) {
    lower = filetime_to_u64(*reinterpret_cast<const FILETIME*>(criterion.def));
  }
  if (when > upper) return false;
  if (lower != 0 && when < lower) return false;
  return true;
}

// False when the criterion applies to this value and rejects it. Numbers
// and characters are compared whether the user gave them or not (the
// parser has stored the default then); a criterion without storage
// compares with its default field.
bool passes(const ArgSpec& object, const ArgSpec& criterion) {
  switch (criterion.type) {
    case ARG_NUMERIC: {
      if (object.type != ARG_NUMERIC) return true;
      const int32_t wanted = criterion.target != nullptr
                                 ? *static_cast<const int32_t*>(criterion.target)
                                 : static_cast<int32_t>(criterion.def);
      return *static_cast<const int32_t*>(object.target) == wanted;
    }
    case ARG_CHAR: {
      if (object.type != ARG_CHAR) return true;
      const char wanted = criterion.target != nullptr ? *static_cast<const char*>(criterion.target)
                                                      : static_cast<char>(criterion.def);
      return *static_cast<const char*>(object.target) == wanted;
    }
    case ARG_STRING:
    case ARG_WSTRING:
      if (criterion.state != ARG_GIVEN || !is_text(object.type)) return true;
      return text_matches(object, criterion);
    case ARG_RANGE:
      if (object.type != ARG_NUMERIC) return true;
      return in_range(static_cast<const char*>(criterion.target),
                      *static_cast<const int32_t*>(object.target));
    case ARG_ABSTIME:
      if (object.type != ARG_ABSTIME) return true;
      return time_matches(object, criterion);
    default:
      return true;
  }
}

}  // namespace

bool match_criteria(const ArgSpec* object_table, const ArgSpec* criteria_table) {
  if (object_table == nullptr || criteria_table == nullptr) return true;
  for (const ArgSpec* object = object_table; object->type != ARG_END; ++object) {
    const ArgSpec* criterion = find_criterion(criteria_table, object->letter);
    if (criterion == nullptr) continue;
    // A text value may be absent (it then reads as empty); other values
    // without storage have nothing to compare.
    if (object->target == nullptr && !is_text(object->type)) continue;
    if (!passes(*object, *criterion)) return false;
  }
  return true;
}
