#include "zeb/server_prompts.h"

#include <unistd.h>

#include <cstdio>

#include "lib/frame.h"
#include "platform/nls/codepage.h"
#include "zeb/service_keys.h"

namespace {

constexpr size_t kLineMax = 255;
constexpr const char* kDefaultTargetPath = "C:\\WIN32APP\\";

}  // namespace

bool zeb_read_line(std::string* line) {
  line->clear();
  bool any = false;
  for (;;) {
    char c = 0;
    const ssize_t got = read(0, &c, 1);
    if (got <= 0) return any;
    any = true;
    if (c == '\n') break;
    if (c == '\r') continue;
    if (line->size() < kLineMax) line->push_back(c);
  }
  return true;
}

std::string zeb_ask_target_path(ServerRun& run, const std::string& server) {
  if (run.args->path_given) return run.args->path;
  if (run.path_for_all) return run.path_all;
  printf("Where will %s be stored on '%s'\n", ZEB_SERVICE_NAME, server.c_str());
  printf("(default: %s) : ", kDefaultTargetPath);
  fflush(stdout);
  std::string answer;
  zeb_read_line(&answer);
  std::string path = kDefaultTargetPath;
  if (!answer.empty() && static_cast<unsigned char>(answer[0]) >= 32) {
    path = nt_oem_to_ansi(answer);
  }
  if (run.wildcard_servers) {
    printf("Shall %s be the target for all servers ? [y/N]", path.c_str());
    fflush(stdout);
    std::string yes;
    zeb_read_line(&yes);
    if (!yes.empty() && (yes[0] == 'y' || yes[0] == 'Y')) {
      run.path_for_all = true;
      run.path_all = path;
    }
  }
  return path;
}

std::string zeb_service_password(ServerRun& run, const std::string& account) {
  if (run.args->password_given && run.args->password != "?") return run.args->password;
  if (!run.password_known) {
    printf("Please enter the Password for %s", account.c_str());
    fflush(stdout);
    char buffer[PASSWORD_MAX + 1] = "";
    read_password(buffer);
    run.password = buffer;
    run.password_known = true;
  }
  return run.password;
}
