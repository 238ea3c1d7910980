// The installer role of morva: the commands add, del, upd, sho, ver and help
// over the servers of the loops.
#pragma once

// Parses the command line, runs the command and returns the exit code.
int morva_installer_main();
