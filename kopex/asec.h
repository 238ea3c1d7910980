// The security module of kopex (messages labelled ASEC): owners and ACLs of
// files and directories, on local drives and on server shares.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/win32_types.h"

namespace kopex {

// Longest ACL text, and the size of the descriptor buffers.
constexpr int ACL_TEXT_MAX = 1024;
constexpr DWORD SECURITY_BUFFER_SIZE = 4096;

// Makes the privileges and the own security descriptor ready (once per run
// when it succeeds); true on success.
bool asec_initialise();

// Makes the caller's token owner the owner of `path` and gives it a NULL
// DACL; true when both were written.
bool asec_take_ownership(const char* path);

// The owner of `path` as account name and domain (each at most 23
// characters); failures give the fixed texts ("AccessDenied", ...).
void asec_read_owner(const char* server, const char* path, char name[24], char domain[24]);

// The ACL text of `path` (at most ACL_TEXT_MAX - 1 bytes) and its ACE count.
void asec_read_acl(const char* server, const char* path, char* text, int32_t* count);

// Sets the owner of `path` to `account` ("domain\name" or "name").
bool asec_set_owner(const char* server, const char* path, const char* account);

// Replaces the DACL of `path` by the ACL of the grant string.
bool asec_set_permissions(const char* server, const char* path, const char* grants);

// Owner, group and DACL of `path` as a self-relative descriptor in a zeroed
// buffer of SECURITY_BUFFER_SIZE bytes; false with the system error in
// *error.
bool asec_read_descriptor(const char* path, std::vector<uint8_t>* buffer, DWORD* error);

// Writes owner, group and DACL of `descriptor` to `path`.
bool asec_write_descriptor(const char* path, const std::vector<uint8_t>& descriptor, DWORD* error);

}  // namespace kopex
