#include "platform/kernel/command_line.h"

#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <mutex>

#include "platform/nls/codepage.h"

namespace {

std::mutex g_mutex;
bool g_loaded = false;
std::string g_text;
std::u16string g_wide;

std::vector<std::string> read_own_argv() {
  std::vector<std::string> args;
  std::ifstream in("/proc/self/cmdline", std::ios::binary);
  std::string all((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  size_t start = 0;
  while (start < all.size()) {
    size_t end = all.find('\0', start);
    if (end == std::string::npos) end = all.size();
    args.push_back(all.substr(start, end - start));
    start = end + 1;
  }
  return args;
}

// The text handed down by the parent, when it was meant for this process.
bool inherited_text(std::string* out) {
  const char* entry = getenv("NT_CMDLINE");
  if (entry == nullptr) return false;
  char* colon = nullptr;
  long pid = strtol(entry, &colon, 10);
  if (colon == entry || *colon != ':' || pid != static_cast<long>(getpid())) return false;
  *out = colon + 1;
  return true;
}

void set_locked(const std::string& text) {
  g_text = text;
  g_wide = nt_ansi_to_wide(g_text);
  g_loaded = true;
}

void load_locked() {
  if (g_loaded) return;
  std::string text;
  if (!inherited_text(&text)) text = nt_join_command_line(read_own_argv());
  set_locked(text);
}

}  // namespace

std::string nt_join_command_line(const std::vector<std::string>& args) {
  std::string text;
  for (size_t i = 0; i < args.size(); ++i) {
    if (i > 0) text += ' ';
    const std::string& a = args[i];
    bool quote = a.empty() || a.find_first_of(" \t") != std::string::npos;
    if (quote) text += '"';
    text += a;
    if (quote) text += '"';
  }
  return text;
}

const char* GetCommandLineA() {
  std::lock_guard<std::mutex> lock(g_mutex);
  load_locked();
  return g_text.c_str();
}

const WCHAR* GetCommandLineW() {
  std::lock_guard<std::mutex> lock(g_mutex);
  load_locked();
  return g_wide.c_str();
}

void nt_set_command_line(const char* text) {
  std::lock_guard<std::mutex> lock(g_mutex);
  set_locked(text == nullptr ? std::string() : std::string(text));
}

std::string nt_command_line_env_entry(int pid, const std::string& text) {
  return "NT_CMDLINE=" + std::to_string(pid) + ":" + text;
}
