// ntnet: creates and inspects an emulated NT network.
#pragma once

#include <cstdio>

// Runs one ntnet command line; returns the exit code (0 done, 1 the
// operation failed, 2 a bad command line). Output goes to `out`, messages
// to `err`.
int ntnet_run(int argc, char** argv, FILE* out, FILE* err);
