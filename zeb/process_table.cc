#include "zeb/process_table.h"

#include <algorithm>
#include <string>

bool ZebProcessTable::add(DWORD process_id) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (over_ || process_id == 0) return false;
  if (std::find(ids_.begin(), ids_.end(), process_id) != ids_.end()) return false;
  ids_.push_back(process_id);
  return true;
}

bool ZebProcessTable::remove(DWORD process_id) {
  std::lock_guard<std::mutex> lock(mutex_);
  auto it = std::find(ids_.begin(), ids_.end(), process_id);
  if (it == ids_.end()) return false;
  ids_.erase(it);
  return true;
}

void ZebProcessTable::mark_over() {
  std::lock_guard<std::mutex> lock(mutex_);
  over_ = true;
}

bool ZebProcessTable::over() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return over_;
}

std::vector<DWORD> ZebProcessTable::ids() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return ids_;
}

size_t ZebProcessTable::size() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return ids_.size();
}

size_t ZebProcessTable::overflow() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return ids_.size() > ZEB_PROCESS_TABLE_SIZE ? ids_.size() - ZEB_PROCESS_TABLE_SIZE : 0;
}

std::vector<long> ZebProcessTable::entries() const {
  std::lock_guard<std::mutex> lock(mutex_);
  std::vector<long> out(ZEB_PROCESS_TABLE_SIZE, 0);
  for (size_t i = 0; i < ids_.size() && i < ZEB_PROCESS_TABLE_SIZE; ++i) {
    out[i] = static_cast<long>(ids_[i]);
  }
  if (over_) out[0] = -1;
  return out;
}

std::string ZebProcessTable::text() const {
  std::lock_guard<std::mutex> lock(mutex_);
  std::string s;
  for (DWORD id : ids_) s += std::to_string(static_cast<long>(id)) + " ";
  s += "\n";
  return s;
}
