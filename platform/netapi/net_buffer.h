// Result blocks of the network calls: one allocation per result, fixed
// records first and the UTF-16 strings they point to behind them, as NT
// hands them out; and the slicing of an enumeration by the caller's
// preferred size.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "platform/netapi/netapi.h"

// Builds one result block: allocate() once, then fill each record and put
// its strings; release() hands the block to the caller.
class NetPacker {
 public:
  NetPacker() = default;
  ~NetPacker();
  NetPacker(const NetPacker&) = delete;
  NetPacker& operator=(const NetPacker&) = delete;

  // Room for `count` records of `record_size` bytes and `string_units`
  // UTF-16 units (terminators included). A block of nothing is null.
  NET_API_STATUS allocate(size_t count, size_t record_size, size_t string_units);
  // The record at `index`, zero-filled.
  void* record(size_t index) const;
  // Copies `text` and a terminator into the string area.
  LPWSTR put(std::u16string_view text);
  // The block (null for no records); the packer lets go of it.
  LPBYTE release();

 private:
  BYTE* block_ = nullptr;
  size_t record_size_ = 0;
  size_t next_unit_ = 0;
  size_t units_ = 0;
  WCHAR* strings_ = nullptr;
};

// Bytes one record with these strings takes in a block.
size_t net_record_bytes(size_t record_size, std::initializer_list<std::u16string_view> strings);

// Which records of an enumeration one call returns: from `*resume` (0 when
// null) as many as fit `prefmaxlen` bytes, at least one. Sets `first`,
// `count` and `*totalentries` (the records from the start on) and returns
// NERR_Success when the rest is empty, else ERROR_MORE_DATA with `*resume`
// set to the next record.
NET_API_STATUS net_slice(const std::vector<size_t>& record_bytes, DWORD prefmaxlen,
                         DWORD* resume, size_t* first, size_t* count, DWORD* totalentries);

// Leaves `status` as the last error and returns it.
NET_API_STATUS net_status(NET_API_STATUS status);
