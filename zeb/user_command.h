// The user command on one server: lists, adds, modifies or deletes the job
// accounts of the server's "Users" store. The client's server loop calls it
// for each server that passed the server criteria, after counting it.
#pragma once

#include <string>

#include "platform/registry/registry.h"

struct UserCommandArgs {
  const char* server = nullptr;         // as the loop gives it ("\\NAME" or "NAME")
  const char* server_domain = nullptr;  // ~D of the account lines
  const char* account = nullptr;        // /u, null when absent
  const char* password = nullptr;       // /p, null: prompt
  const char* delete_index = nullptr;   // /d, null when absent
  const char* format = nullptr;         // account format, null: no lines
};

struct UserCommandTotals {
  long processed = 0;  // listed, added or deleted (~T)
  long modified = 0;   // ~M
};

// 0 when the server was handled (listed, written or deleted), 1 when the
// action ended on this server with a message, 87 for a hexadecimal record
// of the wrong length (the caller ends with that exit code).
int user_command_server(const UserCommandArgs& args, UserCommandTotals* totals);

// Opens "Users" below the service key of the server's registry (a
// connected HKEY_LOCAL_MACHINE), creating it when missing with the class
// "ZEB Service" and an access list that lets only the administrators and
// the system in.
LONG user_store_open(HKEY machine_root, HKEY* users);
