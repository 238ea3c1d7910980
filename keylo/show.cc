#include "keylo/show.h"

#include <cstdio>
#include <string>

#include "keylo/connect.h"
#include "keylo/registry_messages.h"
#include "keylo/value_text.h"
#include "lib/arg_spec.h"
#include "lib/format.h"
#include "platform/kernel/error.h"
#include "platform/registry/registry.h"

namespace {

void* text_target(const std::string& text) { return const_cast<char*>(text.c_str()); }

void print_line(const char* format, const ArgSpec* table) {
  if (format == nullptr || *format == '\0') return;
  static char line[SHOW_LINE_SIZE];
  expand_format(format, line, table, SHOW_LINE_SIZE - 1);
  printf("%s\n", line);
}

}  // namespace

DWORD show_value(const WCHAR* server, const ShowRequest& request) {
  std::string name = server_ansi(server);
  KeyPath path;
  HKEY root = nullptr;
  DWORD err = connect_root(name, request.key_path, &path, &root);
  if (err != ERROR_SUCCESS) return err;

  HKEY key = nullptr;
  err = static_cast<DWORD>(RegOpenKeyExA(root, path.subkey.c_str(), 0, KEY_READ, &key));
  if (err != ERROR_SUCCESS) {
    registry_error("REGISTRY-ERROR, RegOpenKey(%s\\%s) failed, error=%ld\n", name.c_str(),
                   request.key_path, static_cast<long>(err));
    RegCloseKey(root);
    return err;
  }
  BYTE data[SHOW_VALUE_SIZE];
  DWORD size = sizeof data;
  DWORD type = REG_NONE;
  err = static_cast<DWORD>(RegQueryValueExA(key, request.value_name, nullptr, &type, data, &size));
  RegCloseKey(key);
  RegCloseKey(root);
  if (err != ERROR_SUCCESS) {
    registry_error("REGISTRY-ERROR, RegQueryValue(%s\\%s\\%s) failed, error=%ld\n", name.c_str(),
                   request.key_path, request.value_name, static_cast<long>(err));
    return err;
  }

  ShownValue shown = show_value_text(type, data, size);
  std::string type_name = shown.type_name;
  std::string value_name = request.value_name;
  // Values of other types show neither root, type nor value.
  ArgSpec table[7];
  int n = 0;
  if (shown.known) {
    table[n++] = ArgSpec{ARG_STRING, 'r', ARG_OPTIONAL, text_target(path.root_name), 0};
    table[n++] = ArgSpec{ARG_STRING, 't', ARG_OPTIONAL, text_target(type_name), 0};
    table[n++] = shown.numeric
                     ? ArgSpec{ARG_NUMERIC, 'v', ARG_OPTIONAL, &shown.number, 0}
                     : ArgSpec{ARG_STRING, 'v', ARG_OPTIONAL, text_target(shown.text), 0};
  }
  table[n++] = ArgSpec{ARG_STRING, 'k', ARG_OPTIONAL, text_target(path.subkey), 0};
  table[n++] = ArgSpec{ARG_STRING, 'N', ARG_OPTIONAL, text_target(value_name), 0};
  table[n++] = ArgSpec{ARG_STRING, 'S', ARG_OPTIONAL, text_target(name), 0};
  table[n] = ArgSpec{ARG_END, 0, 0, nullptr, 0};

  print_line(request.key_format, table);
  print_line(request.value_format, table);
  return ERROR_SUCCESS;
}
