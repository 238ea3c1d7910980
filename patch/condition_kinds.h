// The kinds of condition a condition variable can state. A condition text
// is a kind letter (case ignored) followed by its argument:
//   E NAME=PATTERN                       environment variable matches PATTERN
//   F PATH                               a file search for PATH finds an entry
//   K ROOT\KEYPATH                       a key (wildcards allowed) can be opened
//   P PATCHFILE                          the history says the patch is done
//   V ROOT\KEYPATH\VALUENAME=PATTERN     a registry value matches PATTERN
// ROOT is HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER or HKEY_USERS. An empty
// text (an undefined variable) or any other kind letter is false.
#pragma once

#include <cstddef>

#include "platform/registry/registry.h"

// An environment variable is read up to this many characters, and so is
// an expanded REG_EXPAND_SZ value.
constexpr size_t CONDITION_ENV_VALUE_MAX = 511;
// A registry value is read into this many bytes.
constexpr DWORD CONDITION_REG_VALUE_BYTES = 512;

// The truth of condition `text` of variable `variable`. `history_file`
// serves P conditions. Errors print their line (INFO lines only when
// `verbose`) and make the condition false.
bool evaluate_condition(const char* variable, const char* text, const char* history_file,
                        bool verbose);

// Splits "ROOT\KEYPATH": the root key and the start of the key path (after
// the root's backslash). False when the text does not begin, case ignored,
// with one of the three root names followed by a backslash.
bool split_key_root(const char* text, HKEY* root, const char** key_path);
