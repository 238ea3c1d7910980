#include "vexa32/copy_list.h"

bool CopyList::add(const std::string& source, const std::string& target, long long size) {
  const size_t need = source.size() + 1 + target.size() + 1;
  if (pairs_.size() >= COPY_MAX_PAIRS || need > COPY_POOL_SIZE - pool_.size()) {
    ++left_out_;
    return false;
  }
  if (pool_.capacity() == 0) pool_.reserve(64 * 1024);
  CopyPair pair{pool_.size(), pool_.size() + source.size() + 1, size};
  pool_.insert(pool_.end(), source.begin(), source.end());
  pool_.push_back('\0');
  pool_.insert(pool_.end(), target.begin(), target.end());
  pool_.push_back('\0');
  pairs_.push_back(pair);
  total_ += static_cast<double>(size);
  return true;
}
