#include "zeb/account_record.h"

#include <cstdio>
#include <cstring>

#include "platform/kernel/clock.h"
#include "platform/nls/codepage.h"
#include "zeb/zeb_text.h"

namespace {

int hex_value(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// Reads one NUL-terminated field of at most 15 characters starting at *pos
// and not reaching the check sum; moves *pos past its terminator.
bool read_field(const BYTE plain[ACCOUNT_RECORD_SIZE], size_t* pos, std::string* out) {
  size_t end = *pos + ACCOUNT_FIELD_MAX + 1;
  if (end > ACCOUNT_CHECKSUM_OFFSET) end = ACCOUNT_CHECKSUM_OFFSET;
  for (size_t i = *pos; i < end; ++i) {
    if (plain[i] == 0) {
      out->assign(reinterpret_cast<const char*>(plain + *pos), i - *pos);
      *pos = i + 1;
      return true;
    }
  }
  return false;
}

}  // namespace

void account_keystream(BYTE seed, BYTE out[ACCOUNT_RECORD_SIZE]) {
  BYTE x = seed;
  BYTE y = seed;
  for (unsigned i = 0; i < ACCOUNT_RECORD_SIZE; ++i) {
    out[i] = x;
    x = static_cast<BYTE>(x + y - i);
    if (x % 3 != 0) x = static_cast<BYTE>(x - x / 4);
    if (seed % 10 == 1) x = static_cast<BYTE>(x + i);
    y = static_cast<BYTE>(y + seed);
  }
}

DWORD account_checksum(const BYTE plain[ACCOUNT_RECORD_SIZE]) {
  const DWORD o = static_cast<DWORD>(account_area_offset(plain[0]));
  DWORD sum = 0;
  for (DWORD i = 0; i < ACCOUNT_CHECKSUM_OFFSET; ++i) sum += plain[i] + i + o;
  return sum;
}

void account_scramble(BYTE bytes[ACCOUNT_RECORD_SIZE]) {
  BYTE key[ACCOUNT_RECORD_SIZE];
  account_keystream(bytes[0], key);
  for (size_t i = 1; i < ACCOUNT_RECORD_SIZE; ++i) bytes[i] ^= key[i];
}

AccountRecord account_record_make(BYTE seed, const char* domain, const char* user,
                                  const char* password) {
  AccountRecord rec;
  memset(rec.bytes, 0, sizeof rec.bytes);
  rec.bytes[0] = seed;
  size_t pos = account_area_offset(seed);
  for (const char* text : {domain, user, password}) {
    std::string_view view = text ? std::string_view(text) : std::string_view();
    size_t n = zeb_cut_length(view, ACCOUNT_FIELD_MAX);
    if (n > 0) memcpy(rec.bytes + pos, view.data(), n);
    pos += n + 1;  // the terminator is already zero
  }
  DWORD sum = account_checksum(rec.bytes);
  for (size_t i = 0; i < 4; ++i) {
    rec.bytes[ACCOUNT_CHECKSUM_OFFSET + i] = static_cast<BYTE>(sum >> (8 * i));
  }
  account_scramble(rec.bytes);
  return rec;
}

BYTE account_seed_now() {
  SYSTEMTIME now;
  GetSystemTime(&now);
  return static_cast<BYTE>(now.wMilliseconds & 0xFF);
}

AccountRecord account_record_make_now(const char* domain, const char* user, const char* password) {
  BYTE seed = account_seed_now();
  AccountRecord rec = account_record_make(seed, domain, user, password);
  Sleep(seed);
  return rec;
}

bool account_record_read(const AccountRecord& rec, AccountFields* fields) {
  BYTE plain[ACCOUNT_RECORD_SIZE];
  memcpy(plain, rec.bytes, sizeof plain);
  account_scramble(plain);
  DWORD stored = 0;
  for (size_t i = 0; i < 4; ++i) {
    stored |= static_cast<DWORD>(plain[ACCOUNT_CHECKSUM_OFFSET + i]) << (8 * i);
  }
  if (stored != account_checksum(plain)) return false;
  AccountFields out;
  size_t pos = account_area_offset(plain[0]);
  if (!read_field(plain, &pos, &out.domain) || !read_field(plain, &pos, &out.user) ||
      !read_field(plain, &pos, &out.password)) {
    return false;
  }
  if (fields) *fields = std::move(out);
  return true;
}

std::string account_record_to_hex(const AccountRecord& rec) {
  std::string out;
  out.reserve(2 * ACCOUNT_RECORD_SIZE);
  char digits[3];
  for (BYTE b : rec.bytes) {
    snprintf(digits, sizeof digits, "%02X", b);
    out += digits;
  }
  return out;
}

bool account_record_from_hex(const char* text, AccountRecord* rec) {
  if (text == nullptr || rec == nullptr) return false;
  if (strncmp(text, "0x", 2) != 0 || strlen(text) != 2 + 2 * ACCOUNT_RECORD_SIZE) return false;
  AccountRecord out;
  for (size_t i = 0; i < ACCOUNT_RECORD_SIZE; ++i) {
    int high = hex_value(text[2 + 2 * i]);
    int low = hex_value(text[3 + 2 * i]);
    if (high < 0 || low < 0) return false;
    out.bytes[i] = static_cast<BYTE>(high * 16 + low);
  }
  *rec = out;
  return true;
}

std::string account_index_name(int index) {
  if (index < ACCOUNT_INDEX_MIN || index > ACCOUNT_INDEX_MAX) return std::string();
  char name[8];
  snprintf(name, sizeof name, "%03d", index);
  return name;
}

bool account_parse_index(const char* text, int* index) {
  if (text == nullptr) return false;
  size_t length = strlen(text);
  if (length == 0 || length > 3) return false;
  int value = 0;
  for (size_t i = 0; i < length; ++i) {
    if (text[i] < '0' || text[i] > '9') return false;
    value = value * 10 + (text[i] - '0');
  }
  if (value < ACCOUNT_INDEX_MIN) return false;
  if (index) *index = value;
  return true;
}

AccountOption account_option_kind(const char* text) {
  if (text == nullptr || *text == '\0') return AccountOption::list;
  if (strncmp(text, "0x", 2) == 0) return AccountOption::hex;
  for (const char* p = text; *p; ++p) {
    if (*p < '0' || *p > '9') return AccountOption::name;
  }
  return AccountOption::index;
}

AccountNameSplit account_split_name(const char* text, std::string* domain, std::string* user) {
  std::string_view all = text ? std::string_view(text) : std::string_view();
  size_t slash = all.find('\\');
  std::string_view d = slash == std::string_view::npos ? std::string_view() : all.substr(0, slash);
  std::string_view u = slash == std::string_view::npos ? all : all.substr(slash + 1);
  if (nt_ansi_length(d) >= ACCOUNT_NAME_PART_LIMIT) return AccountNameSplit::domain_too_long;
  if (nt_ansi_length(u) >= ACCOUNT_NAME_PART_LIMIT) return AccountNameSplit::user_too_long;
  if (domain) domain->assign(d);
  if (user) user->assign(u);
  return AccountNameSplit::ok;
}

bool account_names_match(const std::string& domain_a, const std::string& user_a,
                         const std::string& domain_b, const std::string& user_b) {
  return zeb_equal_nocase(domain_a, domain_b) && zeb_equal_nocase(user_a, user_b);
}
