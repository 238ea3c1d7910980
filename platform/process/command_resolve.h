// From a command line to the program to run and its argument vector.
//
// The program is the application name when one is given, else the first
// token of the command line: the text between the quotes when the line
// begins with a double quote, else, as NT does, the shortest of "a",
// "a b", "a b c", ... (cut at each blank or tab) that names an existing
// file. A name is resolved as NT resolves it, with one twist for Linux
// programs, which have no extension: the name as given is tried first and,
// when it has no extension and does not exist, the name with ".exe". A name
// with a directory part goes through nt_host_path (NT paths and host
// paths); a bare name is looked for in the current directory and then in
// the directories of PATH (separated by ';' when the value holds one, as NT
// writes it, else by ':', as Linux does). An application name is not
// searched along PATH, as in NT.
//
// Linux programs get argv as the C runtime of NT splits a command line:
// blanks and tabs separate arguments, double quotes group, 2n backslashes
// before a quote give n backslashes and the quote acts, 2n+1 give n and a
// literal quote, "" inside quotes is a literal quote; argv[0] is the first
// token taken by its quotes alone.
#pragma once

#include <string>
#include <vector>

#include "platform/win32_types.h"

std::vector<std::string> nt_split_command_line(const std::string& text);

// The names to try, in order, for the program of a command line.
std::vector<std::string> nt_program_candidates(const std::string& command_line);

// Resolves one name to an existing regular file: ERROR_SUCCESS and its host
// path, or ERROR_FILE_NOT_FOUND / ERROR_PATH_NOT_FOUND / ERROR_ACCESS_DENIED
// (a directory). `search_path` allows the PATH search of a bare name.
DWORD nt_find_program(const std::string& name, bool search_path, std::string* host);

// The program of a CreateProcess call: application name or command line.
DWORD nt_resolve_program(const char* application, const char* command_line, std::string* host);
