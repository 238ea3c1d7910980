// The processes of one job run, in creation order.
//
// The first 32 ids form the table proper; an exit removes its id and moves
// the later ids down. A tree of more than 32 live processes does not lose
// the extra ones: they wait in an overflow list behind the table, in their
// order, and move up into the table as earlier ones end. So every process
// of the tree is still followed to its end and killed on a stop, however
// many there are.
//
// Once the run is over the first entry holds -1: the killer then ends
// without killing anything. The table is shared by the main thread and
// the killer thread and guards itself.
#pragma once

#include <mutex>
#include <vector>

#include "platform/win32_types.h"

constexpr size_t ZEB_PROCESS_TABLE_SIZE = 32;

class ZebProcessTable {
 public:
  // Appends a process; false when it is tracked already (ignored) or the
  // run is over.
  bool add(DWORD process_id);
  // Removes a process; false when it is not tracked.
  bool remove(DWORD process_id);
  // Ends the run: the first entry holds -1 from now on.
  void mark_over();
  bool over() const;

  // All ids tracked (table then overflow), oldest first.
  std::vector<DWORD> ids() const;
  size_t size() const;
  // How many of them sit beyond the 32 entries.
  size_t overflow() const;
  // The 32 entries as the table shows them: ids, then zeros (-1 first once
  // the run is over).
  std::vector<long> entries() const;
  // "%ld " per id, then a line break.
  std::string text() const;

 private:
  mutable std::mutex mutex_;
  std::vector<DWORD> ids_;
  bool over_ = false;
};
