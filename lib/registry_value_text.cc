#include "lib/registry_value_text.h"

#include <strings.h>

#include <cstdio>
#include <cstring>

#include "platform/kernel/error.h"
#include "platform/registry/registry.h"

namespace {

bool has_prefix(const char* text, const char* prefix) {
  return strncasecmp(text, prefix, std::strlen(prefix)) == 0;
}

DWORD parse_dword(const char* digits, std::string* data) {
  unsigned int number = 0;
  if (std::sscanf(digits, "%08X", &number) != 1) return ERROR_INVALID_DATA;
  DWORD value = number;
  data->assign(reinterpret_cast<const char*>(&value), sizeof value);
  return ERROR_SUCCESS;
}

int hex_digit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

DWORD parse_binary(const char* digits, std::string* data) {
  data->clear();
  for (const char* p = digits; *p != '\0'; p += (p[1] != '\0' ? 2 : 1)) {
    int high = hex_digit(p[0]);
    int low = p[1] != '\0' ? hex_digit(p[1]) : 0;
    if (high < 0 || low < 0) {
      data->clear();
      return ERROR_INVALID_DATA;
    }
    // An odd last digit is a byte by itself.
    data->push_back(static_cast<char>(p[1] != '\0' ? high * 16 + low : high));
  }
  return ERROR_SUCCESS;
}

void parse_multi(const char* text, std::string* data) {
  data->clear();
  for (const char* p = text; *p != '\0'; ++p) {
    if (*p != '`') {
      data->push_back(*p);
    } else if (p[1] == '`') {
      data->push_back('`');
      ++p;
    } else {
      data->push_back('\0');
    }
  }
  // The last string's terminator and the list's.
  data->push_back('\0');
  data->push_back('\0');
}

}  // namespace

DWORD parse_registry_value_text(const char* text, SzPrefix sz_prefix, RegistryValueText* value) {
  if (text == nullptr) text = "";
  if (has_prefix(text, "REG_DWORD:")) {
    value->type = REG_DWORD;
    value->type_name = "REG_DWORD";
    return parse_dword(text + 10, &value->data);
  }
  if (has_prefix(text, "REG_BINARY:")) {
    value->type = REG_BINARY;
    value->type_name = "REG_BINARY";
    return parse_binary(text + 11, &value->data);
  }
  if (has_prefix(text, "REG_MULTI_SZ:")) {
    value->type = REG_MULTI_SZ;
    value->type_name = "REG_MULTI_SZ";
    parse_multi(text + 13, &value->data);
    return ERROR_SUCCESS;
  }
  if (has_prefix(text, "REG_EXPAND_SZ:")) {
    value->type = REG_EXPAND_SZ;
    value->type_name = "REG_EXPAND_SZ";
    value->data.assign(text + 14, std::strlen(text + 14) + 1);
    return ERROR_SUCCESS;
  }
  value->type = REG_SZ;
  value->type_name = "REG_SZ";
  if (sz_prefix == SzPrefix::recognised && has_prefix(text, "REG_SZ:")) {
    value->data.assign(text + 7, std::strlen(text + 7) + 1);
  } else {
    value->data.assign(text);
  }
  return ERROR_SUCCESS;
}
