// ntnet logoff MACHINE [USER] [--force]: ends logon sessions of a machine
// from outside, as the user's own logoff does (platform/session/session.h).
#pragma once

#include "ntnet/ntnet_internal.h"

// Without USER every session of the machine ends. Prints one line per
// program told, "Logged off <pid> (level 0x<level>)" or "<pid> refused the
// logoff", and "No program in the session" when there was none. Exit
// codes: 0 done, 1 a program refused or the machine is unknown, 2 a bad
// command line.
int ntnet_logoff(Ntnet& ctx, const NtnetArgs& args);
