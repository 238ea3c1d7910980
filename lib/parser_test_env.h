// Environment for the parser, wildcard and time tests: the variables they
// depend on are set for one scope and put back afterwards.
#pragma once

#include <time.h>

#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "platform/nls/codepage.h"

namespace parser_test {

// Sets (or, with a null value, removes) environment variables for a scope.
class Env {
 public:
  Env& set(const char* name, const char* value) {
    const char* old = std::getenv(name);
    saved_.push_back({name, old ? std::optional<std::string>(old) : std::nullopt});
    if (value != nullptr) {
      setenv(name, value, 1);
    } else {
      unsetenv(name);
    }
    return *this;
  }
  ~Env() {
    for (auto it = saved_.rbegin(); it != saved_.rend(); ++it) {
      if (it->second) {
        setenv(it->first.c_str(), it->second->c_str(), 1);
      } else {
        unsetenv(it->first.c_str());
      }
    }
    tzset();
    nt_reload_code_pages();
  }

 private:
  std::vector<std::pair<std::string, std::optional<std::string>>> saved_;
};

// UTC, English locale, the given ANSI page, no date or time pictures.
class StandardEnv : public Env {
 public:
  explicit StandardEnv(const char* acp = "65001") {
    set("TZ", "UTC");
    set("LC_ALL", nullptr);
    set("LANG", "C");
    set("NT_ACP", acp);
    set("NT_OEMCP", "850");
    set("QX_DATE_FORMAT", nullptr);
    set("QX_TIME_FORMAT", nullptr);
    tzset();
    nt_reload_code_pages();
  }
};

}  // namespace parser_test
