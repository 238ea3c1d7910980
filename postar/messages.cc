#include "postar/messages.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "platform/kernel/error.h"

namespace {

constexpr char ERROR_PREFIX[] = "POSTAR-ERROR, ";
constexpr char INFO_PREFIX[] = "POSTAR-INFO, ";

bool starts_with(const char* text, const char* prefix) {
  return strncmp(text, prefix, strlen(prefix)) == 0;
}

// Prints a text that carries its own prefix; false when it has none.
bool print_prefixed(const char* text) {
  if (starts_with(text, ERROR_PREFIX)) {
    fflush(stdout);
    fprintf(stderr, "%s\n", text);
    return true;
  }
  if (starts_with(text, INFO_PREFIX)) {
    printf("%s\n", text);
    fflush(stdout);
    return true;
  }
  return false;
}

}  // namespace

void report(const char* text) {
  if (print_prefixed(text)) return;
  fflush(stdout);
  fprintf(stderr, "%s%s\n", ERROR_PREFIX, text);
}

void report_code(const char* text) {
  // Read first: printing may change the last error.
  long code = static_cast<long>(GetLastError());
  if (print_prefixed(text)) return;
  fflush(stdout);
  fprintf(stderr, "%s%s, error=%ld\n", ERROR_PREFIX, text, code);
}

void report_info(const char* text) {
  if (print_prefixed(text)) return;
  printf("%s%s\n", INFO_PREFIX, text);
  fflush(stdout);
}

#define POSTAR_FORMAT_AND_CALL(function)            \
  do {                                              \
    char text[2048];                                \
    va_list args;                                   \
    va_start(args, format);                         \
    vsnprintf(text, sizeof text, format, args);     \
    va_end(args);                                   \
    function(text);                                 \
  } while (0)

void reportf(const char* format, ...) { POSTAR_FORMAT_AND_CALL(report); }

void report_codef(const char* format, ...) {
  DWORD code = GetLastError();
  char text[2048];
  va_list args;
  va_start(args, format);
  vsnprintf(text, sizeof text, format, args);
  va_end(args);
  SetLastError(code);
  report_code(text);
}

void report_infof(const char* format, ...) { POSTAR_FORMAT_AND_CALL(report_info); }
