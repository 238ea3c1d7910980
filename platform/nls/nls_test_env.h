// Test helper: sets environment variables for one test, puts them back
// afterwards and makes the code page and locale calls read them again.
#pragma once

#include <cstdlib>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/nls/codepage.h"

class NlsEnv {
 public:
  NlsEnv() = default;
  NlsEnv(const NlsEnv&) = delete;
  NlsEnv& operator=(const NlsEnv&) = delete;
  ~NlsEnv() {
    for (auto it = saved_.rbegin(); it != saved_.rend(); ++it) {
      if (it->second) {
        setenv(it->first.c_str(), it->second->c_str(), 1);
      } else {
        unsetenv(it->first.c_str());
      }
    }
    nt_reload_code_pages();
  }

  // A null value unsets the variable.
  NlsEnv& set(const char* name, const char* value) {
    const char* old = std::getenv(name);
    saved_.emplace_back(name, old ? std::optional<std::string>(old) : std::nullopt);
    if (value) {
      setenv(name, value, 1);
    } else {
      unsetenv(name);
    }
    return *this;
  }

  // ANSI and OEM pages, read again at once.
  NlsEnv& pages(const char* acp, const char* oemcp) {
    set("NT_ACP", acp);
    set("NT_OEMCP", oemcp);
    nt_reload_code_pages();
    return *this;
  }

  // The user locale: LC_ALL cleared, LANG as given.
  NlsEnv& lang(const char* value) {
    set("LC_ALL", nullptr);
    set("LANG", value);
    return *this;
  }

 private:
  std::vector<std::pair<std::string, std::optional<std::string>>> saved_;
};
