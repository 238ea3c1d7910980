// The client role. For now it carries the job commands that need nothing
// but the pipe: "zeb <cmd> [\\server\]<job pattern>" with the command words
// show, start, stop, pause, resume, del and clean, confirming every job,
// and "zeb ver". The full command set with its options, criteria and
// formats is built on top of zeb_pipe_conversation.
#include "zeb/client_main.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "zeb/pipe_client.h"
#include "zeb/pipe_protocol.h"
#include "zeb/service_role.h"
#include "zeb/zeb_text.h"

namespace {

struct Word {
  const char* prefix;
  DWORD code;
};

const Word kWords[] = {
    {"sho", ZEB_CMD_SHOW},    {"sta", ZEB_CMD_START}, {"sto", ZEB_CMD_STOP},
    {"pau", ZEB_CMD_PAUSE},   {"res", ZEB_CMD_RESUME}, {"del", ZEB_CMD_DEL},
    {"cle", ZEB_CMD_CLEAN},
};

}  // namespace

int zeb_client_main(int argc, char** argv) {
  if (argc < 2) return 87;
  std::string word = argv[1];
  std::string version = zeb_program_version();
  if (zeb_equal_nocase(word.substr(0, 3), "ver")) {
    printf("%s\n", version.c_str());
    return -1;
  }
  DWORD code = 0;
  for (const Word& w : kWords) {
    if (word.size() >= 3 && zeb_equal_nocase(word.substr(0, 3), w.prefix)) code = w.code;
  }
  if (code == 0 || argc < 3) {
    fprintf(stderr, "ZEB-ERROR, invalid command '%s'\n", word.c_str());
    return 87;
  }
  ZebPipeRequest request;
  request.code = code;
  request.command_word = word;
  request.own_version = version;
  std::string target = argv[2];
  if (target.rfind("\\\\", 0) == 0) {
    size_t cut = target.find('\\', 2);
    request.server = target.substr(0, cut);
    request.pattern = cut == std::string::npos ? "*" : target.substr(cut + 1);
  } else {
    request.pattern = target;
  }
  ZebPipeHooks hooks;
  if (code == ZEB_CMD_SHOW) {
    hooks.record = [](const JobRecord& rec) {
      printf("%-31s %c %s\n", job_name(rec).c_str(), job_state_char(rec.flags),
             job_command(rec).c_str());
    };
  }
  ZebPipeResult result;
  DWORD rc = zeb_pipe_conversation(request, hooks, &result);
  if (rc != ERROR_SUCCESS) return 2;
  return result.processed > 0 ? 0 : 2;
}
