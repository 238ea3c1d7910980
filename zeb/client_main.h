// Role 3 of zeb: the client. Entry point of the client commands.
#pragma once

int zeb_client_main(int argc, char** argv);
