// The database of one emulated machine (machines/<NAME>/machine.db).
//
// One SQLite file per machine holds everything the machine keeps: its own
// properties and drives, the registry, and later accounts, shares, services
// and event logs. Each subsystem owns its tables and creates them itself
// through ensure_subsystem, which records a version per subsystem in the
// table store_schema; PRAGMA user_version is the version of that frame.
//
// A process keeps one connection per machine file (nt_store_open), shared by
// all threads: whoever uses the connection holds lock() for the whole of its
// work, statements come from a per-connection cache, and every call that
// writes runs in one StoreTransaction (BEGIN IMMEDIATE ... COMMIT). The file
// is in WAL mode with synchronous=NORMAL: a committed transaction survives a
// killed process, and readers never wait for a writer. A writer waits up to
// ten seconds for another process's write transaction to end.
#pragma once

#include <sqlite3.h>
#include <sys/types.h>

#include <memory>
#include <mutex>
#include <map>
#include <string>
#include <string_view>
#include <unordered_map>

#include "platform/kernel/error.h"
#include "platform/win32_types.h"


// Version of the store frame (PRAGMA user_version of a new file).
constexpr int kStoreFrameVersion = 1;
// PRAGMA application_id of a machine file ("NTMS").
constexpr int kStoreApplicationId = 0x4E544D53;

class MachineStore;

// Brings a subsystem's tables from version `from` (0: none yet) to the
// version asked for; runs inside a write transaction with the lock held.
using StoreUpgrade = DWORD (*)(MachineStore& store, int from);

class MachineStore {
 public:
  // Opens a machine file. With `create` a missing file is made and given the
  // frame tables; without, a missing file fails with ERROR_FILE_NOT_FOUND.
  // The result is not shared with anyone (see nt_store_open for that).
  static std::shared_ptr<MachineStore> open_file(const std::string& path, bool create,
                                                 DWORD* error);
  ~MachineStore();
  MachineStore(const MachineStore&) = delete;
  MachineStore& operator=(const MachineStore&) = delete;

  const std::string& path() const { return path_; }
  // The machine's folder (the directory holding the file).
  std::string directory() const;

  std::unique_lock<std::mutex> lock() { return std::unique_lock<std::mutex>(mutex_); }

  // The following need lock() held.
  sqlite3* db() { return db_; }
  // A cached statement for `sql`, reset and without bindings. The cache is
  // keyed by the text's address: pass string literals.
  sqlite3_stmt* statement(const char* sql, DWORD* error);
  // Runs statements without results.
  DWORD exec(const char* sql);

  // Creates or upgrades the tables of `subsystem` to `version` once per
  // connection (takes the lock itself).
  DWORD ensure_subsystem(const char* subsystem, int version, StoreUpgrade upgrade);

  // False in a child process forked after the connection was opened: such a
  // connection must not be used there (nt_store_open gives a new one).
  bool owned_by_this_process() const;

 private:
  MachineStore() = default;

  std::string path_;
  sqlite3* db_ = nullptr;
  pid_t owner_ = 0;
  std::mutex mutex_;
  std::unordered_map<const char*, sqlite3_stmt*> statements_;
  std::map<std::string, int, std::less<>> ready_subsystems_;  // versions known to be there
};

// The process-wide connection to the machine file at `path` (which must
// exist): the same object for every caller until the file is replaced.
// ERROR_FILE_NOT_FOUND for a missing file.
std::shared_ptr<MachineStore> nt_store_open(const std::string& path, DWORD* error);

// Drops the cached connection of `path` (after the file was deleted).
void nt_store_forget(const std::string& path);

// The Win32 code for an SQLite result code.
DWORD nt_store_error(int sqlite_code);

// One statement run, with typed bindings and columns; resets the statement
// when it goes out of scope. The store's lock must be held.
class StoreQuery {
 public:
  StoreQuery(MachineStore& store, const char* sql);
  ~StoreQuery();
  StoreQuery(const StoreQuery&) = delete;
  StoreQuery& operator=(const StoreQuery&) = delete;

  StoreQuery& bind(int index, int64_t value);
  StoreQuery& bind_text(int index, std::string_view text);
  StoreQuery& bind_blob(int index, const void* data, size_t size);
  StoreQuery& bind_null(int index);

  // Steps once: true when a row is there, false at the end or on an error
  // (then error() tells which).
  bool step();
  // Steps to the end; returns error().
  DWORD run();
  DWORD error() const { return error_; }

  int64_t column_int64(int col);
  std::string column_text(int col);
  std::string_view column_blob(int col);
  bool column_is_null(int col);

 private:
  sqlite3_stmt* stmt_ = nullptr;
  DWORD error_ = 0;
};

// One read snapshot for several statements (BEGIN ... COMMIT): cheaper than
// a transaction per statement, and consistent. Inside a write transaction
// it does nothing. The store's lock must be held.
class StoreReadTransaction {
 public:
  explicit StoreReadTransaction(MachineStore& store);
  ~StoreReadTransaction();
  StoreReadTransaction(const StoreReadTransaction&) = delete;
  StoreReadTransaction& operator=(const StoreReadTransaction&) = delete;

 private:
  MachineStore& store_;
  bool open_ = false;
};

// The process id, kept up to date over fork without a system call.
pid_t nt_store_process_id();

// BEGIN IMMEDIATE on construction, ROLLBACK on destruction unless committed.
// The store's lock must be held for the transaction's whole life.
class StoreTransaction {
 public:
  explicit StoreTransaction(MachineStore& store);
  ~StoreTransaction();
  StoreTransaction(const StoreTransaction&) = delete;
  StoreTransaction& operator=(const StoreTransaction&) = delete;

  // ERROR_SUCCESS when the transaction began.
  DWORD begin_error() const { return begin_error_; }
  DWORD commit();

 private:
  MachineStore& store_;
  DWORD begin_error_ = 0;
  bool open_ = false;
};
