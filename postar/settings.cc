#include "postar/settings.h"

#include "platform/files/file_io.h"
#include "platform/files/path.h"
#include "platform/kernel/error.h"
#include "platform/kernel/module.h"
#include "platform/profile/profile.h"
#include "postar/messages.h"

bool ini_file_path(const char* option, std::string* path) {
  if (option && *option) {
    // The profile calls would look for a bare name in the Windows directory,
    // while the open check below looks in the current directory; naming the
    // current directory makes both read the same file.
    *path = nt_path_has_directory(option) ? std::string(option) : std::string(".\\") + option;
    return true;
  }
  char program[1024];
  DWORD length = GetModuleFileNameA(nullptr, program, sizeof program);
  if (length == 0 || length >= sizeof program) {
    report("GetModuleFilename() failed");
    return false;
  }
  std::string directory(program, length);
  size_t cut = directory.find_last_of("\\/");
  directory = cut == std::string::npos ? std::string(".\\") : directory.substr(0, cut + 1);
  *path = directory + DEFAULT_INI_NAME;
  return true;
}

int read_settings(const std::string& ini, DialogueSettings* settings) {
  HANDLE h = CreateFileA(ini.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                         OPEN_EXISTING, 0, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    reportf("POSTAR-ERROR, cannot open INI-File '%s', error=%ld", ini.c_str(),
            static_cast<long>(GetLastError()));
    return EXIT_NO_DIALOGUE;
  }
  CloseHandle(h);

  char keys[KEY_LIST_SIZE];
  DWORD length =
      GetPrivateProfileStringA(COMMANDS_SECTION, nullptr, "", keys, sizeof keys, ini.c_str());
  if (length > static_cast<DWORD>(KEY_LIST_MAX)) {
    reportf("Command list too long, maximum %d bytes", KEY_LIST_MAX);
    return EXIT_NO_DIALOGUE;
  }
  if (length == 0) {
    reportf("No commands found in section [%s] of %s", COMMANDS_SECTION, ini.c_str());
    return EXIT_NO_DIALOGUE;
  }
  settings->ini_file = ini;
  settings->section = COMMANDS_SECTION;
  settings->lines = split_key_list(keys, length);
  settings->response_timeout = static_cast<int>(GetPrivateProfileIntA(
      CONNECTION_SECTION, "Response Timeout", DEFAULT_RESPONSE_TIMEOUT, ini.c_str()));
  char answer[EXPECTED_TEXT_SIZE];
  GetPrivateProfileStringA(CONNECTION_SECTION, "Answer", "", answer, sizeof answer, ini.c_str());
  settings->answer = answer;
  return 0;
}
