// Which kind of command a main argument selects, and whether a command word
// is valid for that kind.
#pragma once

#include <string>

enum class ZebTargetKind { server, job };

// "\\server*" or no argument: the servers; "\\server*\job*" or "job*": jobs.
ZebTargetKind zeb_target_kind(const std::string& target);

// Command codes (lib/command_code.h) that each kind carries out.
bool zeb_server_command_valid(int code);
bool zeb_job_command_valid(int code);
