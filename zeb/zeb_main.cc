// zeb: one executable in three roles. Without arguments it is the service
// "ZEB Service"; with the first argument "SpAwN" it is the ZebJob process
// of one run of one job; otherwise it is the client.
#include <cstring>

#include "zeb/client_main.h"
#include "zeb/job_runner.h"
#include "zeb/service_role.h"

int main(int argc, char** argv) {
  if (argc < 2) return zeb_service_role();
  if (strcmp(argv[1], "SpAwN") == 0) {
    return zeb_job_runner_main(argc, argv);
  }
  return zeb_client_main(argc, argv);
}
