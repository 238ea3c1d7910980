#include "lib/frame.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/kernel/console.h"
#include "platform/nls/codepage.h"
#include "platform/resource/resource.h"

bool yes_to_all = false;
bool verbose = false;

namespace {

HMODULE g_module = nullptr;

// Buffer sizes of the frame's string resources.
constexpr int USAGE_SIZE = 8192;
constexpr int NAME_SIZE = 256;
constexpr int VERSION_SIZE = 32;
constexpr int BUILD_SIZE = 32;
constexpr int NOTICE_SIZE = 64;

bool load(UINT id, char* buffer, int size) { return LoadStringA(g_module, id, buffer, size) > 0; }

[[noreturn]] void end_process(int code) {
  fflush(stdout);
  fflush(stderr);
  exit(code);
}

[[noreturn]] void missing(const char* line) {
  fflush(stdout);
  fputs(line, stderr);
  end_process(EXIT_HELP);
}

// The text after a resource's marker ("@F", "@B"), or all of it without one.
const char* after_marker(const char* text, const char* marker) {
  size_t n = strlen(marker);
  return strncmp(text, marker, n) == 0 ? text + n : text;
}

void write_echo(const char* text) {
  fputs(text, stdout);
  fflush(stdout);
}

template <typename Char>
int read_password_into(Char* buffer) {
  write_echo(" : ");
  int count = 0;
  {
    ConsoleKeyReader keys(0);
    for (;;) {
      int key = keys.read_key();
      if (key == KEY_END_OF_INPUT || key == KEY_ENTER) break;
      if (key == KEY_FUNCTION || key == KEY_EXTENDED) {
        keys.read_key();  // the second code of the key
        write_echo("\a");
      } else if (key == KEY_BACKSPACE && count > 0) {
        --count;
        write_echo("\b\b  \b\b");
      } else if (key < 0x80 && isalnum(key)) {
        write_echo("XX");
        if (count == PASSWORD_MAX) {
          // The 24th character goes again at once.
          write_echo("\b\b  \b\b\a");
        } else {
          buffer[count++] = static_cast<Char>(key);
        }
      } else {
        write_echo("\a");
      }
    }
  }
  buffer[count] = 0;
  write_echo("\r\n");
  return count;
}

}  // namespace

void set_frame_module(HMODULE module) { g_module = module; }

void show_help(bool full) {
  static char usage[USAGE_SIZE];
  static char page[USAGE_SIZE];
  char name[NAME_SIZE];
  char version[VERSION_SIZE];
  char build[BUILD_SIZE];
  char notice[NOTICE_SIZE];
  if (!load(IDS_USAGE, usage, USAGE_SIZE)) missing("Help String Resource not found\n");
  if (!load(IDS_FILE_NAME, name, NAME_SIZE)) missing("File Name String Resource not found\n");
  if (!load(IDS_VERSION, version, VERSION_SIZE)) {
    missing("File Version String Resource not found\n");
  }
  if (!load(IDS_BUILD, build, BUILD_SIZE)) missing("Buildno String Resource not found\n");
  if (!load(IDS_NOTICE, notice, NOTICE_SIZE)) missing("Copyright String Resource not found\n");

  printf("%s %s.%s  %s\n", after_marker(name, "@F"), version, after_marker(build, "@B"), notice);
  if (full) {
    printf("%s\n", usage);
    for (UINT id = IDS_USAGE_MORE; id <= IDS_USAGE_MORE + 4; ++id) {
      if (load(id, page, USAGE_SIZE)) fputs(page, stdout);
    }
  }
  end_process(EXIT_HELP);
}

void show_error(const char* what, int kind, long number, int exit_code) {
  char buffer[NAME_SIZE];
  if (!load(IDS_FILE_NAME, buffer, NAME_SIZE)) {
    missing("SHOWERROR-ERROR, File Name String Resource not found\n");
  }
  const char* name = after_marker(buffer, "@F");
  if (what == nullptr) what = "";
  // Standard output first, so that the lines keep their order on a shared
  // terminal or file.
  fflush(stdout);
  switch (kind) {
    case EV_ERROR:
      fprintf(stderr, "%s-ERROR, %s failed, error=%ld\n", name, what, number);
      break;
    case EV_WARNING:
      fprintf(stderr, "%s-WARNING, %s failed, error=%ld\n", name, what, number);
      break;
    case EV_INFO:
      printf("%s-INFO, %s\n", name, what);
      break;
    case EV_ARGUMENT:
      fprintf(stderr, "%s-ERROR, error in argument number %ld\n", name, number);
      break;
    case EV_COMMAND:
      fprintf(stderr, "%s-ERROR, invalid command '%s'\n", name, what);
      break;
    default:
      fputs("SHOWERROR-ERROR, invalid event type\n", stderr);
      break;
  }
  if (exit_code != 0) end_process(exit_code);
}

bool confirm(const char* question) {
  if (yes_to_all) return true;
  nt_console_flush_input(0);
  fputs(nt_ansi_to_oem(question != nullptr ? question : "").c_str(), stdout);
  fputs("\aN=no/Y=yes/A=yes to all (Default:N) ", stdout);
  fflush(stdout);
  int answer = nt_console_read_answer(0);
  if (answer == 'A' || answer == 'a') {
    yes_to_all = true;
    return true;
  }
  return answer == 'Y' || answer == 'y';
}

int read_password(char* buffer) { return read_password_into(buffer); }

int read_password_wide(WCHAR* buffer) { return read_password_into(buffer); }
