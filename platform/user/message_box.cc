#include "platform/user/message_box.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>

#include "platform/kernel/error.h"

namespace {

std::atomic<NtMessageBoxPresenter> g_presenter{nullptr};
std::mutex g_log_mutex;
size_t g_answers_used = 0;   // guarded by g_log_mutex
std::string g_answers_list;  // the list they were taken from

// The buttons of each button set, in order.
const int kButtons[][3] = {
    {IDOK, 0, 0},                  // MB_OK
    {IDOK, IDCANCEL, 0},           // MB_OKCANCEL
    {IDABORT, IDRETRY, IDIGNORE},  // MB_ABORTRETRYIGNORE
    {IDYES, IDNO, IDCANCEL},       // MB_YESNOCANCEL
    {IDYES, IDNO, 0},              // MB_YESNO
    {IDRETRY, IDCANCEL, 0},        // MB_RETRYCANCEL
};

bool valid_type(UINT type) {
  UINT buttons = type & MB_TYPEMASK;
  if (buttons > MB_RETRYCANCEL) return false;
  UINT def = (type & MB_DEFMASK) >> 8;
  return def <= 2 && kButtons[buttons][def] != 0;
}

int answer_word(const std::string& word) {
  static const struct { const char* word; int id; } kWords[] = {
      {"ok", IDOK},         {"cancel", IDCANCEL}, {"abort", IDABORT}, {"retry", IDRETRY},
      {"ignore", IDIGNORE}, {"yes", IDYES},       {"no", IDNO}};
  for (const auto& w : kWords)
    if (strcasecmp(word.c_str(), w.word) == 0) return w.id;
  return 0;
}

// The next answer from NT_MESSAGE_BOX_ANSWERS, or 0 when none is left (or it
// names a button the box does not have).
int next_answer(UINT type) {
  const char* list = getenv("NT_MESSAGE_BOX_ANSWERS");
  if (!list) return 0;
  std::string all(list);
  if (all != g_answers_list) {  // a new list starts from its first answer
    g_answers_list = all;
    g_answers_used = 0;
  }
  size_t start = 0;
  for (size_t i = 0; i < g_answers_used; ++i) {
    size_t comma = all.find(',', start);
    if (comma == std::string::npos) return 0;
    start = comma + 1;
  }
  if (start > all.size() || (start == all.size() && g_answers_used > 0)) return 0;
  ++g_answers_used;
  size_t comma = all.find(',', start);
  int id = answer_word(all.substr(start, comma == std::string::npos ? std::string::npos
                                                                     : comma - start));
  for (int b : kButtons[type & MB_TYPEMASK])
    if (b != 0 && b == id) return id;
  return 0;
}

std::string escaped(const char* text) {
  std::string out;
  for (const char* p = text; *p; ++p) {
    if (*p == '\\') out += "\\\\";
    else if (*p == '|') out += "\\|";
    else if (*p == '\n') out += "\\n";
    else out += *p;
  }
  return out;
}

int log_box(const char* log, const char* text, const char* caption, UINT type) {
  std::lock_guard<std::mutex> lock(g_log_mutex);
  std::string line = escaped(caption) + "|" + escaped(text) + "|";
  char hex[16];
  snprintf(hex, sizeof hex, "%x\n", type);
  line += hex;
  FILE* out = strcmp(log, "-") == 0 ? stderr : fopen(log, "a");
  if (out) {
    fputs(line.c_str(), out);
    if (out != stderr) fclose(out);
    else fflush(stderr);
  }
  int answer = next_answer(type);
  return answer ? answer : nt_message_box_default_button(type);
}

}  // namespace

int nt_message_box_default_button(UINT type) {
  if (!valid_type(type)) return 0;
  return kButtons[type & MB_TYPEMASK][(type & MB_DEFMASK) >> 8];
}

void nt_set_message_box_presenter(NtMessageBoxPresenter presenter) {
  g_presenter.store(presenter);
}

int MessageBoxA(HWND owner, const char* text, const char* caption, UINT type) {
  if (!valid_type(type)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  if (!text) text = "";
  if (!caption) caption = "Error";
  if (const char* log = getenv("NT_MESSAGE_BOX_LOG"); log && *log)
    return log_box(log, text, caption, type);
  if (NtMessageBoxPresenter presenter = g_presenter.load())
    return presenter(owner, text, caption, type);
  fprintf(stderr, "%s: %s\n", caption, text);
  fflush(stderr);
  return nt_message_box_default_button(type);
}
