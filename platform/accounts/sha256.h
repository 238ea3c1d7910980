// SHA-256 (FIPS 180-4), for the account databases' password hashes.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

class NtSha256 {
 public:
  NtSha256();
  void update(const void* data, size_t size);
  void update(std::string_view text) { update(text.data(), text.size()); }
  // The digest; the object must not be updated afterwards.
  std::array<uint8_t, 32> finish();

 private:
  void block(const uint8_t* p);

  uint32_t state_[8];
  uint8_t buffer_[64];
  size_t buffered_ = 0;
  uint64_t total_ = 0;  // bytes
};

// The digest of `data` as 32 raw bytes.
std::string nt_sha256(std::string_view data);
// Lower-case hexadecimal of any bytes.
std::string nt_hex(std::string_view bytes);
