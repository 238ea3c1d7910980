// Test helper: runs the built kopex with arguments, the text its standard
// input reads (the answers to its questions) and a working directory, over
// the tools' shared program runner.
#pragma once

#include <string>
#include <vector>

#include "lib/testing/run_program.h"

using KopexResult = ProgramResult;
using KopexChild = ProgramChild;

inline std::string kopex_path() { return built_program_path("kopex"); }

inline KopexChild start_kopex(const std::vector<std::string>& args, const std::string& input,
                              const std::string& directory) {
  return start_program(kopex_path(), args, directory, input);
}

inline KopexResult finish_kopex(KopexChild child) { return finish_program(child); }

inline KopexResult run_kopex(const std::vector<std::string>& args, const std::string& input = "",
                             const std::string& directory = "") {
  return finish_kopex(start_kopex(args, input, directory));
}
