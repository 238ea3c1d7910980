// The client side of the command pipe: one conversation with the service
// of one server. The caller (the client commands) gives the command code,
// its body and hooks for the prompts, the criteria, the output of a record
// and the changed record of set; this module moves the messages and prints
// the conversation's own lines.
#pragma once

#include <functional>
#include <string>

#include "platform/win32_types.h"
#include "zeb/job_record.h"

struct ZebPipeRequest {
  std::string server;        // "\\NAME" as shown in messages; empty = local ("\\.")
  DWORD code = 0;            // ZEB_CMD_*
  std::string command_word;  // as the user typed it, for prompts and lines
  std::string pattern;       // body of the pattern commands
  JobRecord record{};        // body of add and switch
  std::string own_version;
  // How long to wait for a free pipe instance (ERROR_PIPE_BUSY) in all.
  DWORD busy_wait_ms = 20000;
};

struct ZebPipeHooks {
  // NAME: ask "%s '%s' on %s ?" unless yes to all; false answers SKIP.
  std::function<bool(const std::string& job)> confirm;
  // RECORD: the job criteria; false answers SKIP.
  std::function<bool(const JobRecord& rec)> accept;
  // After an accepted record: print it (show) or prepare the record that
  // SEND asks for (set).
  std::function<void(const JobRecord& rec)> record;
  std::function<void(JobRecord* prepared)> prepare;
  // Output lines: standard output (INFO) and standard error (ERROR).
  std::function<void(const std::string& line)> out;
  std::function<void(const std::string& line)> err;
};

struct ZebPipeResult {
  bool connected = false;
  std::string server_version;  // the reply to the version check
  int processed = 0;           // DONE messages
  int matched = 0;             // NAME messages
  bool access_denied = false;
  bool ended = false;          // END came
};

// The pipe name for a server: "%s\pipe\zebsrv", "\\." for the local one.
std::string zeb_client_pipe_name(const ZebPipeRequest& request);

// Runs the conversation. ERROR_SUCCESS once the version check passed and
// the body went out (whatever the server then replied); else the error
// that ended the work on this server (its line printed).
DWORD zeb_pipe_conversation(const ZebPipeRequest& request, const ZebPipeHooks& hooks,
                            ZebPipeResult* result);
