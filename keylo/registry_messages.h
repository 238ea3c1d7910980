// The error lines of keylo's registry work, on standard error (standard
// output is flushed first, so that both keep their order on one terminal).
#pragma once

#include <cstdio>

template <typename... Args>
void registry_error(const char* format, Args... args) {
  fflush(stdout);
  fprintf(stderr, format, args...);
  fflush(stderr);
}

inline void registry_error(const char* text) { registry_error("%s", text); }
