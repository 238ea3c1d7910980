#include "zeb/job_logon.h"

#include <cstdio>

#include "platform/kernel/error.h"
#include "platform/kernel/handle.h"
#include "platform/registry/registry.h"
#include "platform/security/logon.h"
#include "platform/security/sid.h"
#include "platform/security/token.h"
#include "zeb/account_store.h"

DWORD job_logon(DWORD index, JobAccount* account, JobLogonStep* step, std::string* call) {
  *step = JobLogonStep::read;
  HKEY users = nullptr;
  LONG rc = account_store_open(nullptr, false, &users);
  if (rc != ERROR_SUCCESS) {
    *call = "RegOpenKey(users)";
    return static_cast<DWORD>(rc);
  }
  char name[16];
  snprintf(name, sizeof name, "%03ld", static_cast<long>(index));
  AccountRecord rec{};
  rc = index > static_cast<DWORD>(ACCOUNT_INDEX_MAX)
           ? ERROR_FILE_NOT_FOUND
           : account_store_read(users, static_cast<int>(index), &rec);
  RegCloseKey(users);
  if (rc == ERROR_SUCCESS && !account_record_read(rec, &account->fields)) rc = ERROR_INVALID_DATA;
  if (rc != ERROR_SUCCESS) {
    *call = std::string("RegQueryValueEx(users\\") + name + ")";
    return static_cast<DWORD>(rc);
  }

  *step = JobLogonStep::logon;
  const std::string& domain = account->fields.domain;
  if (!LogonUserA(account->fields.user.c_str(), domain.empty() ? nullptr : domain.c_str(),
                  account->fields.password.c_str(), LOGON32_LOGON_INTERACTIVE,
                  LOGON32_PROVIDER_DEFAULT, &account->token)) {
    account->token = nullptr;
    *call = "LogonUser()";
    return GetLastError();
  }

  *step = JobLogonStep::sid;
  DWORD needed = 0;
  GetTokenInformation(account->token, TokenUser, nullptr, 0, &needed);
  std::vector<BYTE> info(needed ? needed : 1);
  if (needed == 0 ||
      !GetTokenInformation(account->token, TokenUser, info.data(), needed, &needed)) {
    DWORD error = GetLastError();
    *call = "GetTokenInformation(TokenUser)";
    job_logoff(account);
    return error ? error : ERROR_INVALID_DATA;
  }
  PSID sid = reinterpret_cast<TOKEN_USER*>(info.data())->User.Sid;
  DWORD length = GetLengthSid(sid);
  account->sid.resize(length);
  CopySid(length, account->sid.data(), sid);
  *step = JobLogonStep::ok;
  return ERROR_SUCCESS;
}

void job_logoff(JobAccount* account) {
  if (account->token != nullptr) CloseHandle(account->token);
  account->token = nullptr;
}
