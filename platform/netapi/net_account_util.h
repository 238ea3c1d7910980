// What the account, group and share calls share: opening the database a
// call names, the access rule, name checks, and result blocks that hold
// strings and binary data (SIDs, logon hours) behind the records.
#pragma once

#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "platform/accounts/account_authority.h"
#include "platform/netapi/net_buffer.h"
#include "platform/netapi/netapi.h"

// UTF-16 <-> UTF-8 (WTF-8) of the stores; null is empty.
std::u16string net_wide(const std::string& text);
std::string net_utf8(LPCWSTR text);

// Opens the machine a call names (null or empty: the local one) as the
// network reaches it, and the account database it answers with.
NET_API_STATUS net_open_accounts(LPCWSTR servername, NtMachineRef* machine,
                                 NtAccountAuthority* db);
// ERROR_ACCESS_DENIED unless the caller administers `machine`.
NET_API_STATUS net_require_admin(const NtMachineRef& machine);

// Whether `name` is a valid account name of at most `limit` characters:
// not empty, no " / \ [ ] : ; | = , + * ? < > or control character, not
// only dots and blanks.
bool net_valid_account_name(std::u16string_view name, size_t limit);
// Whether `text` (null allowed) has at most `limit` characters.
bool net_text_fits(LPCWSTR text, size_t limit);

// Writes strings and bytes behind the records of a block. Without a block
// it only counts what would be written.
class NetBlobWriter {
 public:
  NetBlobWriter() = default;
  NetBlobWriter(BYTE* data, size_t size) : data_(data), size_(size) {}
  LPWSTR text(std::u16string_view text);
  // Bytes aligned to 8; null for empty data.
  BYTE* bytes(std::string_view data);
  size_t used() const { return used_; }

 private:
  BYTE* data_ = nullptr;
  size_t size_ = 0;
  size_t used_ = 0;
};

// A record filler: fill(record, index, writer).
template <typename Fill>
size_t net_measure(size_t record_size, size_t index, Fill& fill) {
  std::vector<BYTE> scratch(record_size + 8, 0);
  NetBlobWriter w;
  fill(scratch.data(), index, w);
  return record_size + w.used();
}

NET_API_STATUS net_alloc_block(size_t records, size_t data, BYTE** block);

// Packs records [first, first + count) into one new block.
template <typename Fill>
NET_API_STATUS net_pack(size_t first, size_t count, size_t record_size, Fill& fill,
                        LPBYTE* bufptr) {
  *bufptr = nullptr;
  if (count == 0) return NERR_Success;
  size_t data = 0;
  for (size_t i = first; i < first + count; ++i) data += net_measure(record_size, i, fill) - record_size;
  size_t records = (count * record_size + 7) / 8 * 8;
  BYTE* block = nullptr;
  NET_API_STATUS status = net_alloc_block(records, data, &block);
  if (status != NERR_Success) return status;
  NetBlobWriter w(block + records, data);
  for (size_t i = 0; i < count; ++i) fill(block + i * record_size, first + i, w);
  *bufptr = block;
  return NERR_Success;
}

// One enumeration call over `total` records: slices by `prefmaxlen` from
// `*resume` (null: from the start) and packs the slice.
template <typename Fill>
NET_API_STATUS net_enumerate(size_t total, size_t record_size, Fill& fill, DWORD prefmaxlen,
                             DWORD* resume, LPBYTE* bufptr, DWORD* entriesread,
                             DWORD* totalentries) {
  std::vector<size_t> bytes;
  bytes.reserve(total);
  for (size_t i = 0; i < total; ++i) bytes.push_back(net_measure(record_size, i, fill));
  size_t first = 0, count = 0;
  NET_API_STATUS slice = net_slice(bytes, prefmaxlen, resume, &first, &count, totalentries);
  NET_API_STATUS status = net_pack(first, count, record_size, fill, bufptr);
  if (status != NERR_Success) {
    *totalentries = 0;
    return status;
  }
  *entriesread = static_cast<DWORD>(count);
  return slice;
}

// The same with a DWORD_PTR resume handle.
template <typename Fill>
NET_API_STATUS net_enumerate_ptr(size_t total, size_t record_size, Fill& fill, DWORD prefmaxlen,
                                 DWORD_PTR* resume, LPBYTE* bufptr, DWORD* entriesread,
                                 DWORD* totalentries) {
  DWORD handle = resume ? static_cast<DWORD>(*resume) : 0;
  NET_API_STATUS status = net_enumerate(total, record_size, fill, prefmaxlen,
                                        resume ? &handle : nullptr, bufptr, entriesread,
                                        totalentries);
  if (resume) *resume = handle;
  return status;
}
