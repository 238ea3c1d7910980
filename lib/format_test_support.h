// Helpers for the format engine's tests: environment and code pages set for
// the length of one scope, and expansion into a guarded buffer.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "lib/format.h"
#include "platform/nls/codepage.h"

// Sets (or, with a null value, removes) one environment variable and puts
// the old value back at the end of the scope.
class EnvScope {
 public:
  EnvScope(const char* name, const char* value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    if (value != nullptr) {
      setenv(name, value, 1);
    } else {
      unsetenv(name);
    }
  }
  ~EnvScope() {
    if (old_) {
      setenv(name_.c_str(), old_->c_str(), 1);
    } else {
      unsetenv(name_.c_str());
    }
  }
  EnvScope(const EnvScope&) = delete;
  EnvScope& operator=(const EnvScope&) = delete;

 private:
  std::string name_;
  std::optional<std::string> old_;
};

// The ANSI and OEM code pages and the user locale for one scope.
class CodePageScope {
 public:
  CodePageScope(const char* acp, const char* oemcp, const char* lang = "en_US.UTF-8")
      : acp_("NT_ACP", acp), oemcp_("NT_OEMCP", oemcp), all_("LC_ALL", nullptr), lang_("LANG", lang) {
    nt_reload_code_pages();
  }

 private:
  struct ReloadOnExit {
    ~ReloadOnExit() { nt_reload_code_pages(); }
  };
  ReloadOnExit reload_;  // declared first, so it runs after the variables are back
  EnvScope acp_;
  EnvScope oemcp_;
  EnvScope all_;
  EnvScope lang_;
};

// Expands into a buffer of exactly size + 1 bytes followed by guard bytes,
// and checks that the guard is intact.
inline std::string expand(const char* format, const ArgSpec* table, int size = OUTPUT_LINE_SIZE - 1) {
  std::vector<char> buffer(static_cast<size_t>(size) + 1 + 8, '#');
  expand_format(format, buffer.data(), table, size);
  for (size_t i = static_cast<size_t>(size) + 1; i < buffer.size(); ++i) {
    EXPECT_EQ(buffer[i], '#') << "written past out[size] at " << i;
  }
  const size_t length = strnlen(buffer.data(), static_cast<size_t>(size) + 1);
  EXPECT_LE(length, static_cast<size_t>(size)) << "no terminator within size + 1 bytes";
  return std::string(buffer.data(), length);
}
