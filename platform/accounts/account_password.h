// Password hashes of the account databases. The text of a password is never
// stored: a record holds "sha256:<rounds>:<salt hex>:<digest hex>", where
// the digest is SHA-256 applied `rounds` times, each round over the
// previous digest (none at first), the 16-byte random salt and the password
// as UTF-8.
#pragma once

#include <string>
#include <string_view>

// A new hash of `password` with a fresh salt.
std::string nt_password_hash(std::string_view password);
// Whether `password` matches a stored hash; false for a malformed hash.
bool nt_password_matches(std::string_view stored, std::string_view password);
