// The list of files to copy after the confirmation: source and target names
// in a pool of 1,638,400 bytes, at most 20,480 pairs, each with the
// source's size, and the totals.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

constexpr size_t COPY_POOL_SIZE = 1638400;
constexpr size_t COPY_MAX_PAIRS = 20480;

struct CopyPair {
  size_t source;  // offsets into the pool
  size_t target;
  long long size;
};

class CopyList {
 public:
  // Adds a pair; false when the pairs or the pool (both names with their
  // terminators) are full. A pair that does not fit is counted in
  // left_out() and never cut.
  bool add(const std::string& source, const std::string& target, long long size);

  size_t count() const { return pairs_.size(); }
  double total_bytes() const { return total_; }
  long left_out() const { return left_out_; }
  const char* source(size_t i) const { return pool_.data() + pairs_[i].source; }
  const char* target(size_t i) const { return pool_.data() + pairs_[i].target; }
  long long size(size_t i) const { return pairs_[i].size; }
  size_t pool_used() const { return pool_.size(); }

 private:
  std::vector<char> pool_;
  std::vector<CopyPair> pairs_;
  double total_ = 0;
  long left_out_ = 0;
};
