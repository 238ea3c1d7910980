// Publishing of server roles: a server whose comment holds "/~WORD" makes
// the machine variable Q_WORD name that server, in the machine environment
// of the registry and in the service's own environment (which the jobs
// inherit).
#pragma once

#include <string>
#include <string_view>
#include <vector>

constexpr const char* ZEB_MACHINE_ENVIRONMENT_KEY =
    "SYSTEM\\CurrentControlSet\\Control\\Session Manager\\Environment";

// The words of a comment: the characters after each "/~" up to the first
// one with a code of 32 or less (bytes 128 and above belong to the word).
std::vector<std::string> zeb_role_words(std::string_view comment);

// Lists the servers of the service's domain with their comments and sets
// Q_<WORD> = server name for every word. A failed listing ends the step
// silently. The number of variables set.
int zeb_publish_server_roles();
