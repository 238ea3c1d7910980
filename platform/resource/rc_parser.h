// Reads a program's resource file:
//
//   // line comment
//   STRINGTABLE
//   {
//     1   "@Fpostar"
//     6   "usage: ...\n"
//         "second line\n"          adjacent literals are joined
//   }
//   MESSAGETABLE
//   {
//     0x40000064  "The service was started.%r\n"
//   }
//   VERSION "1.0.0.23"
//   LANGUAGE LANG_GERMAN, SUBLANG_GERMAN
//   STRINGTABLE
//   {
//     1   "@Fpostar"               the German version of string 1
//   }
//
// Keywords ignore case; ids are decimal or 0x hex (string ids 0 to 65535,
// message ids 32 bits). Escapes: \n \r \t \a \b \0 \\ \" and \xHH (one or
// two hex digits, at most 7F: other characters are written in UTF-8); a
// backslash before any other character stands for itself. The file is UTF-8.
// Several STRINGTABLE and MESSAGETABLE blocks may appear; an id may appear
// once per kind and language, VERSION once.
//
// LANGUAGE <primary>, <sub> sets the language of the STRINGTABLE and
// MESSAGETABLE blocks that follow it, up to the next LANGUAGE statement;
// before the first one they are neutral (language 0). Each part is a number
// (decimal or 0x hex; primary 0 to 0x3FF, sub 0 to 0x3F) or one of the names
// LANG_NEUTRAL, LANG_ENGLISH, LANG_GERMAN, SUBLANG_NEUTRAL, SUBLANG_DEFAULT,
// SUBLANG_SYS_DEFAULT, SUBLANG_ENGLISH_US, SUBLANG_ENGLISH_UK,
// SUBLANG_GERMAN. VERSION is always neutral.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/resource/resource_blob.h"

// Parses `text` (the contents of the file `file_name`); on failure returns
// false with `error` set to "<file>:<line>: <message>".
bool parse_resource_file(std::string_view text, const std::string& file_name,
                         std::vector<ResourceEntry>* entries, std::string* error);

// The C++ source that defines the blob for the program's link.
std::string resource_blob_source(const std::vector<uint8_t>& blob, const std::string& origin);
