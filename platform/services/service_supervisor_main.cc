// nt_service_supervisor MACHINE RUN-ID SERVICE-NAME: watches one run of a
// service (started by StartService; see platform/services/service_launch.h).
#include "platform/services/service_launch.h"

int main(int argc, char** argv) { return nt_service_supervise(argc, argv); }
