// The account of a job run: the entry of the local "Users" store named by
// the job's account index, unscrambled, and the user logged on
// interactively.
#pragma once

#include <string>
#include <vector>

#include "platform/win32_types.h"
#include "zeb/account_record.h"

struct JobAccount {
  AccountFields fields;
  HANDLE token = nullptr;
  std::vector<BYTE> sid;  // the user's security identifier
  void* psid() { return sid.empty() ? nullptr : sid.data(); }
};

enum class JobLogonStep {
  ok,
  read,   // the store or the entry could not be read: *call names the read
  logon,  // the password was refused or the account cannot log on
  sid,    // the token gave no user
};

// Reads entry "%03ld" of the local store, logs its user on and looks up
// the user's identifier. On failure the error code comes back (and the
// step that failed); `account->fields` holds what could be read so far.
DWORD job_logon(DWORD index, JobAccount* account, JobLogonStep* step, std::string* call);

void job_logoff(JobAccount* account);
