#include "utils/replz/replace_text.h"

namespace {

unsigned char fold(char c) {
  unsigned char u = static_cast<unsigned char>(c);
  return u >= 'a' && u <= 'z' ? static_cast<unsigned char>(u - ('a' - 'A')) : u;
}

}  // namespace

bool search_matches_at(std::string_view data, size_t pos, std::string_view search) {
  if (search.empty() || pos > data.size() || data.size() - pos < search.size()) return false;
  for (size_t i = 0; i < search.size(); ++i) {
    char c = data[pos + i];
    if (c == '\0' || fold(c) != fold(search[i])) return false;
  }
  return true;
}

bool replace_text(std::string_view data, std::string_view search, std::string_view replacement,
                  const ByteSink& sink, size_t* count) {
  size_t replaced = 0;
  size_t run = 0;  // start of the bytes copied unchanged since the last match
  size_t pos = 0;
  bool ok = true;
  while (ok && pos < data.size()) {
    if (!search_matches_at(data, pos, search)) {
      ++pos;
      continue;
    }
    if (pos > run) ok = sink(data.data() + run, pos - run);
    if (ok && !replacement.empty()) ok = sink(replacement.data(), replacement.size());
    ++replaced;
    pos += search.size();
    run = pos;
  }
  if (ok && data.size() > run) ok = sink(data.data() + run, data.size() - run);
  if (count) *count = replaced;
  return ok;
}
