#include "platform/accounts/account_password.h"

#include <sys/random.h>

#include <chrono>
#include <random>

#include "platform/accounts/sha256.h"

namespace {

constexpr unsigned kRounds = 1000;
constexpr size_t kSaltBytes = 16;

std::string digest(unsigned rounds, std::string_view salt, std::string_view password) {
  std::string d;
  for (unsigned i = 0; i < rounds; ++i) {
    NtSha256 h;
    h.update(d);
    h.update(salt);
    h.update(password);
    auto out = h.finish();
    d.assign(reinterpret_cast<const char*>(out.data()), out.size());
  }
  return d;
}

std::string random_salt() {
  std::string salt(kSaltBytes, '\0');
  if (getrandom(salt.data(), salt.size(), 0) == static_cast<ssize_t>(salt.size())) return salt;
  std::random_device device;
  std::mt19937 engine(device() ^ static_cast<unsigned>(
                                     std::chrono::steady_clock::now().time_since_epoch().count()));
  for (char& c : salt) c = static_cast<char>(engine());
  return salt;
}

bool unhex(std::string_view text, std::string* out) {
  if (text.size() % 2 != 0) return false;
  out->clear();
  auto value = [](char c) -> int {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
  };
  for (size_t i = 0; i < text.size(); i += 2) {
    int hi = value(text[i]), lo = value(text[i + 1]);
    if (hi < 0 || lo < 0) return false;
    out->push_back(static_cast<char>(hi * 16 + lo));
  }
  return true;
}

}  // namespace

std::string nt_password_hash(std::string_view password) {
  std::string salt = random_salt();
  return "sha256:" + std::to_string(kRounds) + ":" + nt_hex(salt) + ":" +
         nt_hex(digest(kRounds, salt, password));
}

bool nt_password_matches(std::string_view stored, std::string_view password) {
  constexpr std::string_view kPrefix = "sha256:";
  if (stored.substr(0, kPrefix.size()) != kPrefix) return false;
  stored.remove_prefix(kPrefix.size());
  size_t c1 = stored.find(':');
  if (c1 == std::string_view::npos || c1 == 0 || c1 > 6) return false;
  unsigned rounds = 0;
  for (char c : stored.substr(0, c1)) {
    if (c < '0' || c > '9') return false;
    rounds = rounds * 10 + static_cast<unsigned>(c - '0');
  }
  if (rounds == 0 || rounds > 100000) return false;
  size_t c2 = stored.find(':', c1 + 1);
  if (c2 == std::string_view::npos) return false;
  std::string salt, want;
  if (!unhex(stored.substr(c1 + 1, c2 - c1 - 1), &salt) || !unhex(stored.substr(c2 + 1), &want) ||
      want.size() != 32)
    return false;
  std::string got = digest(rounds, salt, password);
  // Compared in full, whatever the first difference.
  unsigned diff = 0;
  for (size_t i = 0; i < 32; ++i) diff |= static_cast<unsigned char>(got[i] ^ want[i]);
  return diff == 0;
}
