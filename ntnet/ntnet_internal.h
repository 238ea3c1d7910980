// What the ntnet commands share.
#pragma once

#include <cstdio>
#include <string>

#include "ntnet/options.h"
#include "platform/network/network.h"

struct Ntnet {
  FILE* out;
  FILE* err;

  // A message on err; usage() returns 2, fail() returns 1.
  int usage(const char* format, ...) __attribute__((format(printf, 2, 3)));
  int fail(const char* format, ...) __attribute__((format(printf, 2, 3)));
  void error(const char* format, ...) __attribute__((format(printf, 2, 3)));
  void print(const char* format, ...) __attribute__((format(printf, 2, 3)));

  // Opens a machine for administration (offline ones too); 0, or the exit
  // code after a message.
  int open_machine(const std::string& name, NtMachineRef* ref);
};

int ntnet_reg_dump(Ntnet& ctx, const NtnetArgs& args);
int ntnet_reg_set(Ntnet& ctx, const NtnetArgs& args);
int ntnet_reg_del(Ntnet& ctx, const NtnetArgs& args);
