// The installer's message lines: errors on standard error, information on
// standard output (flushed first, so both keep their order on one terminal).
#pragma once

#include <cstdio>

template <typename... Args>
void morva_error(const char* format, Args... args) {
  fflush(stdout);
  fprintf(stderr, format, args...);
  fflush(stderr);
}

template <typename... Args>
void morva_info(const char* format, Args... args) {
  printf(format, args...);
  fflush(stdout);
}
