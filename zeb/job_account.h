// The accounts of jobs on one server: the index that a /u option names in
// the server's account store, and the "domain\user" text of an index for
// the ~u field and the -u criterion.
#pragma once

#include <functional>
#include <map>
#include <string>

#include "platform/registry/registry.h"

class ZebJobAccounts {
 public:
  using Sink = std::function<void(const std::string& line)>;
  // `server`: "\\NAME", or empty for the local machine (then `label`, the
  // name printed in lines, should be the local one).
  ZebJobAccounts(std::string server, std::string label, Sink err);
  ~ZebJobAccounts();
  ZebJobAccounts(const ZebJobAccounts&) = delete;
  ZebJobAccounts& operator=(const ZebJobAccounts&) = delete;

  // The index /u names: "0" the service's account without lookup; digits an
  // index; "0x" and 128 hexadecimal digits a whole record (its domain and
  // user); any other text "domain\user" or "user". False after printing why
  // when it is not registered on the server (the caller prints the invalid
  // account line).
  bool resolve(const std::string& option, DWORD* index);

  // "domain\user" of an index, "0" for index 0; the index in decimal when
  // it cannot be read (the reason printed once per index).
  std::string label(DWORD index);

 private:
  bool open();

  std::string server_;
  std::string label_;
  Sink err_;
  HKEY users_ = nullptr;
  bool tried_ = false;
  std::map<DWORD, std::string> labels_;
};
