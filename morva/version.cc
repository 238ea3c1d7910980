#include "morva/version.h"

#include <cstring>

#include "platform/resource/resource.h"

std::string morva_version_string(const char* resource2, const char* resource3) {
  std::string out = resource2 != nullptr ? resource2 : "";
  out += ".";
  if (resource3 != nullptr && std::strlen(resource3) > 2) out += resource3 + 2;
  return out;
}

std::string morva_program_version() {
  char r2[32] = "";
  char r3[32] = "";
  LoadStringA(nullptr, 2, r2, sizeof r2);
  LoadStringA(nullptr, 3, r3, sizeof r3);
  return morva_version_string(r2, r3);
}
