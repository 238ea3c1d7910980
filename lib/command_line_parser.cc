#include "lib/command_line_parser.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "lib/time_syntax.h"
#include "platform/kernel/command_line.h"
#include "platform/nls/ansi_chars.h"
#include "platform/nls/codepage.h"

namespace {

// Text targets keep 255 bytes or units and a terminator.
constexpr size_t kTextMax = ARG_TEXT_SIZE - 1;
// A wide value is converted from at most this many bytes: enough for 255
// characters of four bytes each.
constexpr size_t kWideSourceMax = 1024;

enum TokenKind { KIND_PARAM, KIND_OPTION, KIND_CRITERION, KIND_LOWER, KIND_FORMAT };

// The entry of `letter`, or the table's terminator.
ArgSpec* find_letter(ArgSpec* table, char letter) {
  while (table->type != ARG_END && table->letter != letter) ++table;
  return table;
}

void store_text(char* target, const char* value) {
  size_t n = ansi_cut_bytes(value, kTextMax);
  memcpy(target, value, n);
  target[n] = '\0';
}

// Converts from the ANSI code page into at most 255 units and a terminator,
// never leaving half of a surrogate pair at the end.
void store_wide(WCHAR* target, const char* value) {
  target[0] = 0;
  size_t n = ansi_cut_bytes(value, kWideSourceMax);
  if (n == 0) return;
  WCHAR wide[kWideSourceMax + 1];
  // Precomposed forms are asked for; the UTF-8 page takes no such flag (its
  // text is never decomposed anyway).
  const DWORD flags = GetACP() == CP_UTF8 ? 0 : MB_PRECOMPOSED;
  int units = MultiByteToWideChar(CP_ACP, flags, value, static_cast<int>(n), wide,
                                  static_cast<int>(kWideSourceMax));
  if (units <= 0) return;
  size_t keep = static_cast<size_t>(units) < kTextMax ? static_cast<size_t>(units) : kTextMax;
  if (keep == kTextMax && static_cast<size_t>(units) > kTextMax && wide[keep - 1] >= 0xD800 &&
      wide[keep - 1] <= 0xDBFF) {
    --keep;
  }
  memcpy(target, wide, keep * sizeof(WCHAR));
  target[keep] = 0;
}

void copy_wide_default(WCHAR* target, const WCHAR* def) {
  size_t n = 0;
  if (def != nullptr) {
    while (n < kTextMax && def[n] != 0) ++n;
    if (n == kTextMax && def[n] != 0 && def[n - 1] >= 0xD800 && def[n - 1] <= 0xDBFF) --n;
    memcpy(target, def, n * sizeof(WCHAR));
  }
  target[n] = 0;
}

// What went wrong when a value could not be stored.
enum StoreResult {
  STORE_OK,
  STORE_NOT_NUMERIC,
  STORE_VALUE_NOT_ALLOWED,
  STORE_ABSTIME,
  STORE_DELTATIME,
  STORE_RANGE,
  STORE_BITMASK,  // silent
  STORE_BAD_TYPE,
};

// Stores `value` into the entry by its datatype. `empty_is_minus_one`: an
// empty numeric value of an option or criterion stores -1.
StoreResult store_value(ArgSpec* entry, const char* value, bool empty_is_minus_one) {
  void* target = entry->target;
  switch (entry->type) {
    case ARG_NUMERIC: {
      int32_t number = -1;
      if (value[0] != '\0' || !empty_is_minus_one) {
        if (!read_arg_number(value, &number)) return STORE_NOT_NUMERIC;
      }
      if (target != nullptr) *static_cast<int32_t*>(target) = number;
      return STORE_OK;
    }
    case ARG_CHAR:
      if (target != nullptr) *static_cast<char*>(target) = value[0];
      return STORE_OK;
    case ARG_FLAG:
      if (value[0] != '\0') return STORE_VALUE_NOT_ALLOWED;
      if (target != nullptr) *static_cast<int32_t*>(target) = 1;
      return STORE_OK;
    case ARG_STRING:
      if (target != nullptr) store_text(static_cast<char*>(target), value);
      return STORE_OK;
    case ARG_WSTRING:
      if (target != nullptr) store_wide(static_cast<WCHAR*>(target), value);
      return STORE_OK;
    case ARG_ABSTIME: {
      FILETIME time;
      if (!parse_abs_time(value, &time)) return STORE_ABSTIME;
      if (target != nullptr) *static_cast<FILETIME*>(target) = time;
      return STORE_OK;
    }
    case ARG_DELTATIME: {
      FILETIME time;
      if (!parse_delta_time(value, &time)) return STORE_DELTATIME;
      if (target != nullptr) *static_cast<FILETIME*>(target) = time;
      return STORE_OK;
    }
    case ARG_RANGE:
      if (!check_range(value)) return STORE_RANGE;
      if (target != nullptr) store_text(static_cast<char*>(target), value);
      return STORE_OK;
    case ARG_BITMASK: {
      uint32_t mask = 0xFFFFFFFFu;
      if (value[0] != '\0') {
        if (!check_range(value)) return STORE_BITMASK;
        mask = 0;
        for (int32_t i = 0; i < 32; ++i) {
          if (in_range(value, i)) mask |= 1u << i;
        }
      }
      if (target != nullptr) *static_cast<uint32_t*>(target) = mask;
      return STORE_OK;
    }
    default:
      return STORE_BAD_TYPE;
  }
}

bool type_allowed(TokenKind kind, int16_t type) {
  switch (kind) {
    case KIND_PARAM:
    case KIND_CRITERION:
      return type == ARG_NUMERIC || type == ARG_CHAR || type == ARG_STRING ||
             type == ARG_WSTRING || type == ARG_ABSTIME || type == ARG_DELTATIME ||
             type == ARG_RANGE;
    case KIND_OPTION:
      return type == ARG_NUMERIC || type == ARG_CHAR || type == ARG_FLAG ||
             type == ARG_STRING || type == ARG_WSTRING || type == ARG_ABSTIME ||
             type == ARG_DELTATIME || type == ARG_RANGE || type == ARG_BITMASK;
    case KIND_FORMAT:
      return type == ARG_STRING || type == ARG_WSTRING;
    case KIND_LOWER:
      return true;
  }
  return false;
}

// Prints the PARAM line for a failed store and returns the parse result.
int report_option(StoreResult r, char letter, int arg) {
  switch (r) {
    case STORE_NOT_NUMERIC:
      fprintf(stderr, "PARAM-ERROR, non-numeric value for option '/%c'\n", letter);
      break;
    case STORE_VALUE_NOT_ALLOWED:
      fprintf(stderr, "PARAM-ERROR, no value allowed for option '/%c'\n", letter);
      break;
    case STORE_ABSTIME:
      fprintf(stderr, "PARAM-ERROR, AbsTime syntax error for option '/%c'\n", letter);
      break;
    case STORE_DELTATIME:
      fprintf(stderr, "PARAM-ERROR, DeltaTime syntax error for option '/%c'\n", letter);
      break;
    case STORE_RANGE:
      fprintf(stderr, "PARAM-ERROR, range syntax error for option '/%c'\n", letter);
      break;
    default:
      break;
  }
  return arg;
}

int report_criterion(StoreResult r, char letter, int arg) {
  switch (r) {
    case STORE_NOT_NUMERIC:
      fprintf(stderr, "PARAM-ERROR, non-numeric value for criteria '-%c'\n", letter);
      break;
    case STORE_ABSTIME:
      fprintf(stderr, "PARAM-ERROR, Syntax error for criteria '-%c'\n", letter);
      break;
    case STORE_DELTATIME:
      fprintf(stderr, "PARAM-ERROR, DeltaTime syntax error for criteria '-%c'\n", letter);
      break;
    case STORE_RANGE:
      fprintf(stderr, "PARAM-ERROR, range syntax error for criteria '-%c'\n", letter);
      break;
    default:
      break;
  }
  return arg;
}

int report_param(StoreResult r, int arg) {
  switch (r) {
    case STORE_NOT_NUMERIC:
      fprintf(stderr, "PARAM-ERROR, non-numeric value for parameter %d\n", arg);
      break;
    case STORE_ABSTIME:
      fprintf(stderr, "PARAM-ERROR, AbsTime syntax error for parameter %d\n", arg);
      break;
    case STORE_DELTATIME:
      fprintf(stderr, "PARAM-ERROR, DeltaTime syntax error for parameter %d\n", arg);
      break;
    case STORE_RANGE:
      fprintf(stderr, "PARAM-ERROR, range syntax error for parameter %d\n", arg);
      break;
    default:
      break;
  }
  return arg;
}

// Parses one token; returns 0 or the parse result.
int parse_token(const char* token, int arg, ArgSpec* params, int* next_param, ArgSpec* options,
                ArgSpec* criteria, ArgSpec* formats) {
  TokenKind kind;
  ArgSpec* table;
  switch (token[0]) {
    case '/': kind = KIND_OPTION; table = options; break;
    case '-': kind = KIND_CRITERION; table = criteria; break;
    case '+': kind = KIND_LOWER; table = criteria; break;
    case '~': kind = KIND_FORMAT; table = formats; break;
    default: kind = KIND_PARAM; table = params; break;
  }
  if (table == nullptr) return arg;  // silent: the tool takes no token of this kind

  if (kind == KIND_PARAM) {
    if (token[0] == '\0') return arg;  // silent: empty positional token
    ArgSpec* entry = table + *next_param;
    if (entry->type == ARG_END) {
      fprintf(stderr, "PARAM-ERROR, invalid parameter %d\n", arg);
      return arg;
    }
    ++*next_param;
    if (!type_allowed(kind, entry->type)) {
      fprintf(stderr, "PARAM-ERROR, INTERNAL ERROR, invalid param datatype\n");
      return -1;
    }
    StoreResult r = store_value(entry, token, false);
    if (r != STORE_OK) return report_param(r, arg);
    entry->state = ARG_GIVEN;
    return 0;
  }

  const char letter = token[1];
  if (letter == '\0') return arg;  // silent: a prefix alone
  const char* value = token + 2;
  ArgSpec* entry = find_letter(table, letter);

  switch (kind) {
    case KIND_OPTION: {
      if (entry->type == ARG_END) {
        fprintf(stderr, "PARAM-ERROR, invalid option '/%c'\n", letter);
        return arg;
      }
      if (!type_allowed(kind, entry->type)) {
        fprintf(stderr, "PARAM-ERROR, INTERNAL ERROR, invalid OPTION datatype\n");
        return -1;
      }
      StoreResult r = store_value(entry, value, true);
      if (r != STORE_OK) return report_option(r, letter, arg);
      break;
    }
    case KIND_CRITERION: {
      if (entry->type == ARG_END) {
        fprintf(stderr, "PARAM-ERROR, invalid criteria '-%c'\n", letter);
        return arg;
      }
      if (!type_allowed(kind, entry->type)) {
        fprintf(stderr, "PARAM-ERROR, INTERNAL ERROR, invalid CRITERIA datatype\n");
        return -1;
      }
      StoreResult r = store_value(entry, value, true);
      if (r != STORE_OK) return report_criterion(r, letter, arg);
      break;
    }
    case KIND_LOWER: {
      if (entry->type == ARG_END) {
        fprintf(stderr, "PARAM-ERROR, invalid criteria '+%c'\n", letter);
        return arg;
      }
      if (entry->type != ARG_ABSTIME && entry->type != ARG_DELTATIME) {
        fprintf(stderr, "PARAM-ERROR, invalid LOWER-CRITERIA datatype\n");
        return arg;
      }
      FILETIME time;
      bool ok = entry->type == ARG_ABSTIME ? parse_abs_time(value, &time)
                                           : parse_delta_time(value, &time);
      if (!ok) {
        fprintf(stderr, "PARAM-ERROR, Syntax error for criteria '+%c'\n", letter);
        return arg;
      }
      // The lower bound lives where the default field points.
      auto* lower = reinterpret_cast<FILETIME*>(entry->def);
      if (lower != nullptr) *lower = time;
      break;
    }
    case KIND_FORMAT: {
      if (entry->type == ARG_END) {
        fprintf(stderr, "PARAM-ERROR, invalid format '~%c'\n", letter);
        return arg;
      }
      if (!type_allowed(kind, entry->type)) {
        fprintf(stderr, "PARAM-ERROR, INTERNAL ERROR, invalid FORMAT datatype\n");
        return -1;
      }
      store_value(entry, value, false);
      break;
    }
    case KIND_PARAM:
      break;
  }
  entry->state = ARG_GIVEN;
  return 0;
}

void apply_default(ArgSpec* entry) {
  void* target = entry->target;
  if (target == nullptr) return;
  switch (entry->type) {
    case ARG_NUMERIC:
      *static_cast<int32_t*>(target) = static_cast<int32_t>(entry->def);
      break;
    case ARG_BITMASK:
      *static_cast<uint32_t*>(target) = static_cast<uint32_t>(entry->def);
      break;
    case ARG_CHAR:
      *static_cast<char*>(target) = static_cast<char>(entry->def & 0xFF);
      break;
    case ARG_FLAG:
      *static_cast<int32_t*>(target) = 0;
      break;
    case ARG_STRING:
    case ARG_RANGE: {
      const auto* def = reinterpret_cast<const char*>(entry->def);
      store_text(static_cast<char*>(target), def != nullptr ? def : "");
      break;
    }
    case ARG_WSTRING:
      copy_wide_default(static_cast<WCHAR*>(target), reinterpret_cast<const WCHAR*>(entry->def));
      break;
    case ARG_ABSTIME:
    case ARG_DELTATIME: {
      const auto* def = reinterpret_cast<const FILETIME*>(entry->def);
      *static_cast<FILETIME*>(target) = def != nullptr ? *def : FILETIME{0, 0};
      break;
    }
    default:
      break;
  }
}

// Applies defaults and checks mandatory entries of one table; returns 0 or
// the 1-based index of the first missing mandatory entry.
int finish_table(ArgSpec* table, TokenKind kind) {
  if (table == nullptr) return 0;
  for (int i = 0; table[i].type != ARG_END; ++i) {
    ArgSpec* entry = &table[i];
    if (entry->state == ARG_GIVEN) continue;
    if (entry->state == ARG_MANDATORY && kind != KIND_FORMAT) {
      if (kind == KIND_PARAM) {
        fprintf(stderr, "PARAM-ERROR, mandatory parameter %d not specified\n", i + 1);
      } else if (kind == KIND_OPTION) {
        fprintf(stderr, "PARAM-ERROR, mandatory option /%c not specified\n", entry->letter);
      } else {
        fprintf(stderr, "PARAM-ERROR, mandatory criteria -%c not specified\n", entry->letter);
      }
      return i + 1;
    }
    apply_default(entry);
  }
  return 0;
}

}  // namespace

size_t ansi_cut_bytes(const char* text, size_t max_bytes) {
  if (text == nullptr) return 0;
  // Look a few bytes past the limit so that a character straddling it is seen whole.
  return ansi_cut(GetACP(), text, strnlen(text, max_bytes + 4), max_bytes);
}

bool read_arg_number(const char* text, int32_t* out) {
  const char* p = text;
  while (*p == ' ' || *p == '\t') ++p;
  bool negative = false;
  if (*p == '+' || *p == '-') {
    negative = *p == '-';
    ++p;
  }
  int64_t v = 0;
  for (; *p >= '0' && *p <= '9'; ++p) {
    v = v * 10 + (*p - '0');
    if (v > 0x80000000ll) v = 0x80000000ll;  // saturate, never wrap
  }
  if (negative) v = -v;
  if (v > INT32_MAX) v = INT32_MAX;
  if (v == 0 && text[0] != '0') return false;
  *out = static_cast<int32_t>(v);
  return true;
}

int tokenize_command_line(char* text, char* tokens[], int max_tokens) {
  if (text == nullptr || tokens == nullptr) return 0;
  int count = 0;
  char* r = text;       // next character to read
  char previous = ' ';  // the character read before r, as it stood
  bool line_start = true;
  while (count < max_tokens) {
    while (*r == ' ') {
      previous = *r++;
      line_start = false;
    }
    if (*r == '\0') break;
    bool quoted = false;
    if (*r == '"' && (line_start || static_cast<unsigned char>(previous) < 33)) {
      quoted = true;
      previous = *r++;
    }
    line_start = false;
    char* w = r;  // where the token's characters go; never past r
    tokens[count++] = w;
    const bool prefixed = *r == '+' || *r == '-' || *r == '/' || *r == '~';
    int position = 0;  // of the character at r within the token
    while (*r != '\0') {
      const char c = *r;
      if (c == ' ' && !quoted) {
        previous = *r++;
        break;
      }
      if (c == '"') {
        if (quoted) {
          if (static_cast<unsigned char>(r[1]) > 32) {
            *w++ = c;
            previous = *r++;
            ++position;
            continue;
          }
          previous = *r++;  // closes the token and is dropped
          break;
        }
        if (prefixed && position == 2) {
          quoted = true;  // opens a quoted value and is dropped
          previous = *r++;
          ++position;
          continue;
        }
      }
      *w++ = c;
      previous = *r++;
      ++position;
    }
    *w = '\0';
  }
  return count;
}

int parse_command_text(const char* command_line, ArgSpec* params, ArgSpec* options,
                       ArgSpec* criteria, ArgSpec* formats) {
  std::vector<char> text;
  if (command_line != nullptr) text.assign(command_line, command_line + strlen(command_line));
  text.push_back('\0');
  char* tokens[MAX_TOKENS];
  const int count = tokenize_command_line(text.data(), tokens, MAX_TOKENS);

  int next_param = 0;
  for (int i = 1; i < count; ++i) {
    int r = parse_token(tokens[i], i, params, &next_param, options, criteria, formats);
    if (r != 0) return r;
  }
  if (int r = finish_table(params, KIND_PARAM)) return r;
  if (int r = finish_table(options, KIND_OPTION)) return r;
  if (int r = finish_table(criteria, KIND_CRITERION)) return r;
  if (int r = finish_table(formats, KIND_FORMAT)) return r;
  return 0;
}

int parse_command_line(ArgSpec* params, ArgSpec* options, ArgSpec* criteria, ArgSpec* formats) {
  return parse_command_text(GetCommandLineA(), params, options, criteria, formats);
}
