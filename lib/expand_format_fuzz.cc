// Arbitrary format texts and output sizes against a table holding every
// datatype; the output buffer is exactly size + 1 bytes, so any write past
// out[size] is caught by the address sanitizer. The expanded line then goes
// through the criteria match and the OEM conversion.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "lib/format.h"

namespace {

template <typename T>
T take(const uint8_t*& data, size_t& size) {
  T value{};
  const size_t n = size < sizeof value ? size : sizeof value;
  std::memcpy(&value, data, n);
  data += n;
  size -= n;
  return value;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const int out_size = take<uint16_t>(data, size) % 4096;
  int32_t number = take<int32_t>(data, size);
  double real = take<double>(data, size);
  FILETIME time = u64_to_filetime(take<uint64_t>(data, size));
  uint32_t mask = take<uint32_t>(data, size);
  const uint32_t valid = take<uint32_t>(data, size);
  char letter = take<char>(data, size);

  // The rest is the format; a zero byte in it ends the format there.
  const std::string format(reinterpret_cast<const char*>(data), size);

  char text[ARG_TEXT_SIZE] = "ADMINISTRATOR_ACCOUNT M\xC3\xBCller \xE2\x82\xAC \xFF\x80\xC3";
  WCHAR wide[ARG_TEXT_SIZE] = u"J\u00fcrgen \u20ac \u0416 \U0001F600 \xD800 end";
  std::string long_text(5000, 'L');
  int32_t flag = 1;
  char range[ARG_TEXT_SIZE] = "1,3,5:7";
  FILETIME delta = time;
  FILETIME never = u64_to_filetime(0xFFFFFFFFFFFFFFFFull);
  const ArgSpec table[] = {
      {ARG_NUMERIC, 'M', 0, &number, 0},
      {ARG_CHAR, 'c', 0, &letter, 0},
      {ARG_FLAG, 'f', 0, &flag, 0},
      {ARG_STRING, 'N', 0, text, 0},
      {ARG_STRING, 'L', 0, long_text.data(), 0},
      {ARG_WSTRING, 'w', 0, wide, 0},
      {ARG_ABSTIME, 'T', 0, &time, 0},
      {ARG_ABSTIME, 'X', 0, &never, 0},
      {ARG_DELTATIME, 'd', 0, &delta, 0},
      {ARG_RANGE, 'r', 0, range, 0},
      {ARG_DOUBLE, 's', 0, &real, 0},
      {ARG_BITMASK, 'H', 0, &mask, static_cast<intptr_t>(valid)},
      {ARG_STRING, 'a', 0, nullptr, 0},
      {ARG_END, 0, 0, nullptr, 0},
  };

  std::vector<char> out(static_cast<size_t>(out_size) + 1);
  expand_format(format.c_str(), out.data(), table, out_size);
  if (std::memchr(out.data(), '\0', out.size()) == nullptr) __builtin_trap();

  // The criteria match on the same values, with the expanded line as a
  // text pattern and the fuzzed numbers as bounds.
  FILETIME upper = time;
  FILETIME lower = u64_to_filetime(static_cast<uint64_t>(mask) << 20);
  const ArgSpec criteria[] = {
      {ARG_STRING, 'N', ARG_GIVEN, out.data(), 0},
      {ARG_WSTRING, 'w', ARG_GIVEN, wide, 0},
      {ARG_RANGE, 'M', ARG_GIVEN, range, 0},
      {ARG_ABSTIME, 'T', ARG_GIVEN, &upper, arg_ptr(&lower)},
      {ARG_CHAR, 'c', ARG_OPTIONAL, &letter, 0},
      {ARG_END, 0, 0, nullptr, 0},
  };
  match_criteria(table, criteria);

  to_oem(out.data(), static_cast<int>(out.size()));
  return 0;
}
