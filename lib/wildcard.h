// Wildcard patterns: `*` any run of characters (none included), `?` one.
#pragma once

// True when text is non-null, non-empty and holds `*` or `?`.
bool has_wildcard(const char* text);

// True when the whole text matches the pattern. A null pattern matches
// everything, a null text nothing. With exact_case 0 both are upper-cased
// with the system's case mapping first (up to 1,024 bytes of each).
bool match_wildcard(const char* text, const char* pattern, int exact_case);
