// The server side of the commands of the pipe: the access check, the
// record commands (add, switch) and the job loop of the pattern commands
// with their per-job handlers. Each handler answers with DONE or a reply
// text and never keeps `jobs_free` past its return, nor while it waits for
// the client.
#pragma once

#include "zeb/pipe_connection.h"
#include "zeb/pipe_protocol.h"

// CheckSecurity: opens the service key as the client (impersonated) for
// read (read access) or write; denied opens log the access-denied event,
// other failures the API error event. Sets the connection's user name.
bool zeb_check_security(ZebConnection& conn, ZebAccess access);

// AddJob and SwitchJob: read the record, reply.
void zeb_serve_add(ZebConnection& conn);
void zeb_serve_switch(ZebConnection& conn);

// The job loop of the pattern commands: reads the pattern, offers every
// matching job, and calls the command's handler for the jobs the client
// confirms and accepts. Ends with ACK (something matched) or "No match".
void zeb_serve_job_loop(ZebConnection& conn, DWORD code);

// The desktop switch of SwitchJob on an interactive service; false and the
// system error when the desktop cannot be opened or switched to.
bool zeb_switch_to_desktop(const char* name, DWORD* error);
