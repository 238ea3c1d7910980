// Wildcard patterns: `*` any run of characters (none included), `?` one.
#pragma once

// True when text is non-null, non-empty and holds `*` or `?`.
bool has_wildcard(const char* text);

// True when the whole text matches the pattern. A null pattern matches
// everything, a null text nothing. With exact_case 0 both are upper-cased
// with the system's case mapping first, on copies of at most 1,024 bytes of
// each (cut before a character that would not fit whole), so the match
// ignores case and sees no byte past the cut. Under a UTF-8 ANSI page `?`
// stands for one whole character. Time grows with text times pattern.
bool match_wildcard(const char* text, const char* pattern, int exact_case);
