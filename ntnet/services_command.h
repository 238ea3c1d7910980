// ntnet boot, shutdown and service: a machine's services.
//
//   boot MACHINE                       mark the machine online and start its
//                                      automatic services
//   shutdown MACHINE [--timeout SEC]   stop its running services (STOP, then
//                                      kill after the time-out, default 20 s)
//                                      and mark it offline
//   service list MACHINE               NAME, STATE, START, PID, EXIT, PATH
#pragma once

#include "ntnet/ntnet_internal.h"
#include "ntnet/options.h"

int ntnet_boot(Ntnet& ctx, const NtnetArgs& args);
int ntnet_shutdown(Ntnet& ctx, const NtnetArgs& args);
int ntnet_service_list(Ntnet& ctx, const NtnetArgs& args);

// The words of the list.
const char* ntnet_service_state_name(DWORD state);
const char* ntnet_service_start_name(DWORD start_type);
