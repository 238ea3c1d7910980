#include "postar/template.h"

#include <cstring>
#include <string>

#include "platform/kernel/environment.h"
#include "platform/kernel/error.h"
#include "platform/kernel/identity.h"
#include "postar/messages.h"

namespace {

constexpr size_t WORK_LIMIT = TEMPLATE_WORK_SIZE - 1;

// A work area that never takes more than 1,023 characters.
class Work {
 public:
  explicit Work(char* out) : out_(out) { out_[0] = '\0'; }

  bool put(char c) {
    if (length_ >= WORK_LIMIT) return false;
    out_[length_++] = c;
    out_[length_] = '\0';
    return true;
  }

  // Appends as much of `text` as fits; false when it did not all fit.
  bool put(const char* text, size_t n) {
    size_t room = WORK_LIMIT - length_;
    size_t take = n < room ? n : room;
    memcpy(out_ + length_, text, take);
    length_ += take;
    out_[length_] = '\0';
    return take == n;
  }
  bool put(const char* text) { return put(text, strlen(text)); }

  void clear() {
    length_ = 0;
    out_[0] = '\0';
  }

 private:
  char* out_;
  size_t length_ = 0;
};

bool is_digit(char c) { return c >= '0' && c <= '9'; }

// Reports an overflow of a step's work area; the number printed with it is
// ERROR_INSUFFICIENT_BUFFER.
bool overflow(const char* message) {
  SetLastError(ERROR_INSUFFICIENT_BUFFER);
  report_code(message);
  return false;
}

// The value of an environment variable; false (and ERROR_ENVVAR_NOT_FOUND)
// when it is not set.
bool environment_value(const std::string& name, std::string* value) {
  char small[256];
  DWORD needed = GetEnvironmentVariableA(name.c_str(), small, sizeof small);
  if (needed == 0) {
    value->clear();
    return GetLastError() != ERROR_ENVVAR_NOT_FOUND;
  }
  if (needed < sizeof small) {
    value->assign(small, needed);
    return true;
  }
  std::string big(needed, '\0');
  DWORD got = GetEnvironmentVariableA(name.c_str(), big.data(), needed);
  big.resize(got < needed ? got : needed - 1);
  *value = big;
  return true;
}

}  // namespace

bool expand_escapes(const char* in, char* out) {
  Work work(out);
  for (const char* p = in; *p;) {
    if (*p != '\\') {
      if (!work.put(*p++)) return false;
      continue;
    }
    const char next = p[1];
    char c;
    if (is_digit(next)) {
      int code = 0;
      int digits = 0;
      p += 1;
      while (digits < 3 && is_digit(*p)) {
        code = code * 10 + (*p++ - '0');
        ++digits;
      }
      // A character of code 0 ends the line, as it would end any text.
      if (code % 256 == 0) return true;
      if (!work.put(static_cast<char>(code % 256))) return false;
      continue;
    }
    switch (next) {
      case '\\': c = '\\'; break;
      case 'b': c = '\b'; break;
      case 'e': c = '\x1b'; break;
      case 'n': c = '\n'; break;
      case 'r': c = '\r'; break;
      case 't': c = '\t'; break;
      default:
        // The backslash stays; what follows is read as usual.
        if (!work.put('\\')) return false;
        p += 1;
        continue;
    }
    if (!work.put(c)) return false;
    p += 2;
  }
  return true;
}

bool expand_arguments(const char* in, char* out, const char* const* arguments) {
  Work work(out);
  for (const char* p = in; *p;) {
    if (p[0] == '%' && is_digit(p[1])) {
      const char* value = arguments ? arguments[p[1] - '0'] : nullptr;
      if (value && !work.put(value)) {
        return overflow("Buffer size exceeded with parameters substitution");
      }
      p += 2;
      continue;
    }
    size_t n = (p[0] == '%' && p[1]) ? 2 : 1;  // "%x" stays together with its character
    if (!work.put(p, n)) return overflow("Buffer size exceeded with parameters substitution");
    p += n;
  }
  return true;
}

bool expand_environment(const char* in, char* out) {
  Work work(out);
  for (const char* p = in; *p;) {
    const char* close = p[0] == '%' ? strchr(p + 1, '%') : nullptr;
    if (!close) {
      if (!work.put(*p++)) return overflow("buffer size exceeded substituting environment");
      continue;
    }
    size_t length = static_cast<size_t>(close - p - 1);
    if (length == 0) {
      // "%%" gives one "%"; scanning goes on after both.
      if (!work.put('%')) return overflow("buffer size exceeded substituting environment");
      p = close + 1;
      continue;
    }
    if (length > ENVIRONMENT_NAME_MAX) {
      if (!work.put(*p++)) return overflow("buffer size exceeded substituting environment");
      continue;
    }
    std::string name(p + 1, length);
    std::string value;
    if (!environment_value(name, &value)) {
      report_codef("Environment variable '%s' not set", name.c_str());
    } else if (!work.put(value.c_str(), value.size())) {
      return overflow("buffer size exceeded substituting environment");
    }
    p = close + 1;
  }
  return true;
}

bool expand_keywords(const char* in, char* out, const TemplateContext& context, bool* dropped) {
  *dropped = false;
  Work work(out);
  for (const char* p = in; *p;) {
    if (p[0] != '~' || p[1] == '\0') {
      if (!work.put(*p++)) return overflow("Buffer size exceeded with keywords substitution");
      continue;
    }
    const char letter = p[1];
    p += 2;
    bool fits = true;
    switch (letter) {
      case 'h': {
        char name[MAX_COMPUTERNAME_LENGTH + 1];
        DWORD size = sizeof name;
        if (GetComputerNameA(name, &size)) fits = work.put(name);
        break;
      }
      case 'u': {
        char name[UNLEN + 1];
        DWORD size = sizeof name;
        if (GetUserNameA(name, &size)) fits = work.put(name);
        break;
      }
      case '~': fits = work.put('~'); break;
      case 'f':
      case 'F':
        // The rest of the line names the file; nothing else of the line is sent.
        work.clear();
        *dropped = true;
        if (context.send_file) context.send_file(p, letter == 'F');
        return true;
      default:
        SetLastError(ERROR_INVALID_PARAMETER);
        report_codef("Unknown keyword '~%c'", letter);
        break;
    }
    if (!fits) return overflow("Buffer size exceeded with keywords substitution");
  }
  return true;
}

void expand_template(const char* line, char* out, const TemplateContext& context) {
  char cut[TEMPLATE_WORK_SIZE];
  strncpy(cut, line, sizeof cut - 1);
  cut[sizeof cut - 1] = '\0';
  char escaped[TEMPLATE_WORK_SIZE];
  char with_arguments[TEMPLATE_WORK_SIZE];
  char with_environment[TEMPLATE_WORK_SIZE];
  expand_escapes(cut, escaped);
  expand_arguments(escaped, with_arguments, context.arguments);
  expand_environment(with_arguments, with_environment);
  bool dropped = false;
  expand_keywords(with_environment, out, context, &dropped);
}
