// Test helper: a fresh network directory for one test. NT_NETWORK points to
// a new temporary directory, the local machine and user are set, and all is
// put back (and the directory removed) at the end.
#pragma once

#include <ftw.h>
#include <stdio.h>
#include <stdlib.h>
#include <unistd.h>

#include <string>

#include "platform/nls/nls_test_env.h"

class TempNetwork {
 public:
  explicit TempNetwork(const char* computer = "LOCALPC") {
    char pattern[] = "/tmp/ntnet-test-XXXXXX";
    const char* made = mkdtemp(pattern);
    root_ = made ? made : "/tmp/ntnet-test-failed";
    env_.set("NT_NETWORK", root_.c_str())
        .set("COMPUTERNAME", computer)
        .set("USERNAME", "tester")
        .set("USERDOMAIN", nullptr)
        .set("NT_CLOCK_OFFSET", nullptr)
        .pages("65001", "65001");
  }
  ~TempNetwork() { nftw(root_.c_str(), remove_entry, 16, FTW_DEPTH | FTW_PHYS); }
  TempNetwork(const TempNetwork&) = delete;
  TempNetwork& operator=(const TempNetwork&) = delete;

  const std::string& root() const { return root_; }
  NlsEnv& env() { return env_; }

 private:
  static int remove_entry(const char* path, const struct stat*, int, struct FTW*) {
    ::remove(path);
    return 0;
  }

  NlsEnv env_;
  std::string root_;
};
