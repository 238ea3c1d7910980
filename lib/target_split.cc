#include "lib/target_split.h"

#include <cstring>
#include <string>
#include <string_view>

namespace {

void put(char* out, std::string_view part) {
  if (out == nullptr) return;
  // Parts come out of a text of at most SPLIT_TEXT_MAX characters.
  size_t n = part.size() < static_cast<size_t>(SPLIT_TEXT_MAX) ? part.size() : SPLIT_TEXT_MAX;
  if (n > 0) std::memcpy(out, part.data(), n);
  out[n] = '\0';
}

// The text up to the first '\' (all of it without one), and what follows
// that backslash.
std::string_view component(std::string_view text, std::string_view* rest) {
  size_t end = text.find('\\');
  if (end == std::string_view::npos) {
    *rest = std::string_view();
    return text;
  }
  *rest = text.substr(end + 1);
  return text.substr(0, end);
}

// Starts all outputs empty; false when the text cannot be split.
bool start(const char* text, std::initializer_list<char*> outputs) {
  for (char* out : outputs) put(out, std::string_view());
  return text != nullptr && std::strlen(text) <= static_cast<size_t>(SPLIT_TEXT_MAX);
}

}  // namespace

bool split_target(const char* text, char* domain, char* server, char* name) {
  if (!start(text, {domain, server, name})) return false;
  std::string_view t(text);
  std::string_view rest;
  size_t unc = t.find("\\\\");
  if (unc != std::string_view::npos) {
    put(domain, t.substr(0, unc));
    put(server, component(t.substr(unc + 2), &rest));
    put(name, component(rest, &rest));
  } else if (size_t slash = t.find('\\'); slash != std::string_view::npos) {
    put(domain, t.substr(0, slash));
    put(name, component(t.substr(slash + 1), &rest));
  } else {
    put(name, t);
  }
  return true;
}

bool split_path(const char* text, char* domain, char* server, char* share, char* drive,
                char* directory, char* file) {
  if (!start(text, {domain, server, share, drive, directory, file})) return false;
  std::string_view t(text);
  std::string_view rest;
  size_t unc = t.find("\\\\");
  if (unc != std::string_view::npos) {
    put(domain, t.substr(0, unc));
    put(server, component(t.substr(unc + 2), &rest));
    put(share, component(rest, &rest));
    size_t last = rest.rfind('\\');
    if (last == std::string_view::npos) {
      put(file, rest);
    } else {
      // The directory starts with the backslash that ended the share.
      std::string dir = "\\" + std::string(rest.substr(0, last + 1));
      put(directory, dir);
      put(file, rest.substr(last + 1));
    }
  } else {
    size_t colon = t.find(':');
    if (colon != std::string_view::npos) {
      put(drive, t.substr(0, colon + 1));
      t = t.substr(colon + 1);
    }
    size_t last = t.rfind('\\');
    if (last == std::string_view::npos) {
      put(file, t);
    } else {
      put(directory, t.substr(0, last + 1));
      put(file, t.substr(last + 1));
    }
  }
  return true;
}
