// The search and replace of replz, on bytes in memory.
#pragma once

#include <cstddef>
#include <functional>
#include <string_view>

// Receives output bytes; returns false when they could not be written.
using ByteSink = std::function<bool(const char* bytes, size_t size)>;

// True when `search` matches `data` at `pos`: letters a to z are folded to
// upper case on both sides, other bytes must be equal, and a zero byte in
// the data ends the comparison as no match. A match must lie wholly inside
// the data, so a partial match at its end is no match; an empty search text
// matches nowhere.
bool search_matches_at(std::string_view data, size_t pos, std::string_view search);

// Passes `data` to `sink` with every match of `search` replaced by
// `replacement`. The scan runs from the first byte; the leftmost match wins,
// matches never overlap, and replaced text is never searched again. Returns
// false as soon as the sink fails, true otherwise; `*count` (when given)
// receives the number of replacements made.
bool replace_text(std::string_view data, std::string_view search, std::string_view replacement,
                  const ByteSink& sink, size_t* count = nullptr);
