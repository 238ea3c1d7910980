#include "platform/network/machine_store.h"

#include <pthread.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <map>
#include <vector>

#include "platform/kernel/error.h"

namespace {

constexpr int64_t kBusyWaitNanoseconds = 10'000'000'000;  // ten seconds

int64_t monotonic_ns() {
  timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<int64_t>(ts.tv_sec) * 1'000'000'000 + ts.tv_nsec;
}

// Waits for another process's lock in short steps (50 us growing to 2 ms),
// so that writers queue tightly, and gives up after ten seconds.
thread_local int64_t t_busy_started = 0;

int busy_handler(void*, int count) {
  int64_t now = monotonic_ns();
  if (count == 0) t_busy_started = now;
  if (now - t_busy_started >= kBusyWaitNanoseconds) return 0;
  int64_t step_us = 50LL << (count < 6 ? count : 6);
  if (step_us > 2000) step_us = 2000;
  timespec ts{0, static_cast<long>(step_us * 1000)};
  nanosleep(&ts, nullptr);
  return 1;
}

struct CacheEntry {
  std::shared_ptr<MachineStore> store;
  dev_t dev = 0;
  ino_t ino = 0;
};

pid_t g_pid = 0;

void remember_pid() { g_pid = getpid(); }

std::mutex g_cache_mutex;
std::map<std::string, CacheEntry>* g_cache = nullptr;
pid_t g_cache_pid = 0;

// Connections inherited over fork belong to the parent: they are kept,
// unused and unclosed, so that nothing of the parent's locks is touched.
std::vector<std::shared_ptr<MachineStore>>* g_abandoned = nullptr;

std::map<std::string, CacheEntry>& cache_locked() {
  if (g_cache == nullptr) g_cache = new std::map<std::string, CacheEntry>();
  if (g_cache_pid != nt_store_process_id()) {
    if (!g_cache->empty()) {
      if (g_abandoned == nullptr) g_abandoned = new std::vector<std::shared_ptr<MachineStore>>();
      for (auto& [path, entry] : *g_cache) g_abandoned->push_back(entry.store);
      g_cache->clear();
    }
    g_cache_pid = nt_store_process_id();
  }
  return *g_cache;
}

}  // namespace

pid_t nt_store_process_id() {
  static std::once_flag once;
  std::call_once(once, [] {
    remember_pid();
    pthread_atfork(nullptr, nullptr, remember_pid);
  });
  return g_pid;
}

DWORD nt_store_error(int code) {
  switch (code & 0xFF) {
    case SQLITE_OK:
    case SQLITE_ROW:
    case SQLITE_DONE: return ERROR_SUCCESS;
    case SQLITE_BUSY:
    case SQLITE_LOCKED: return ERROR_BUSY;
    case SQLITE_NOMEM: return ERROR_NOT_ENOUGH_MEMORY;
    case SQLITE_FULL: return ERROR_DISK_FULL;
    case SQLITE_PERM:
    case SQLITE_READONLY:
    case SQLITE_AUTH: return ERROR_ACCESS_DENIED;
    case SQLITE_CANTOPEN: return ERROR_CANTOPEN;
    case SQLITE_TOOBIG: return ERROR_INVALID_PARAMETER;
    case SQLITE_CONSTRAINT: return ERROR_ALREADY_EXISTS;
    case SQLITE_IOERR: return ERROR_WRITE_FAULT;
    case SQLITE_CORRUPT:
    case SQLITE_NOTADB: return ERROR_INVALID_DATA;
    default: return ERROR_INVALID_FUNCTION;
  }
}

std::shared_ptr<MachineStore> MachineStore::open_file(const std::string& path, bool create,
                                                      DWORD* error) {
  *error = ERROR_SUCCESS;
  struct stat st;
  bool exists = stat(path.c_str(), &st) == 0;
  if (!exists && !create) {
    *error = ERROR_FILE_NOT_FOUND;
    return nullptr;
  }
  std::shared_ptr<MachineStore> store(new MachineStore());
  store->path_ = path;
  store->owner_ = nt_store_process_id();
  int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX | (create ? SQLITE_OPEN_CREATE : 0);
  int rc = sqlite3_open_v2(path.c_str(), &store->db_, flags, nullptr);
  if (rc != SQLITE_OK) {
    *error = rc == SQLITE_CANTOPEN ? (create ? ERROR_PATH_NOT_FOUND : ERROR_FILE_NOT_FOUND)
                                   : nt_store_error(rc);
    return nullptr;
  }
  sqlite3_extended_result_codes(store->db_, 0);
  sqlite3_busy_handler(store->db_, busy_handler, nullptr);
  auto lock = store->lock();
  // WAL persists in the file; asking again on an open costs nothing.
  DWORD err = store->exec("PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL;"
                          " PRAGMA foreign_keys=ON;");
  if (err == ERROR_SUCCESS && !exists) {
    StoreTransaction tx(*store);
    err = tx.begin_error();
    if (err == ERROR_SUCCESS) {
      err = store->exec(
          "CREATE TABLE IF NOT EXISTS store_schema("
          " subsystem TEXT PRIMARY KEY, version INTEGER NOT NULL);"
          "PRAGMA application_id=1314147667; PRAGMA user_version=1;");
    }
    if (err == ERROR_SUCCESS) err = tx.commit();
  }
  if (err != ERROR_SUCCESS) {
    *error = err;
    return nullptr;
  }
  return store;
}

MachineStore::~MachineStore() {
  if (db_ == nullptr) return;
  if (!owned_by_this_process()) return;  // the parent's; see g_abandoned
  for (auto& [sql, stmt] : statements_) sqlite3_finalize(stmt);
  sqlite3_close(db_);
}

std::string MachineStore::directory() const {
  size_t slash = path_.rfind('/');
  return slash == std::string::npos ? "." : path_.substr(0, slash);
}

bool MachineStore::owned_by_this_process() const { return owner_ == nt_store_process_id(); }

sqlite3_stmt* MachineStore::statement(const char* sql, DWORD* error) {
  *error = ERROR_SUCCESS;
  auto it = statements_.find(sql);
  if (it != statements_.end()) return it->second;
  sqlite3_stmt* stmt = nullptr;
  int rc = sqlite3_prepare_v3(db_, sql, -1, SQLITE_PREPARE_PERSISTENT, &stmt, nullptr);
  if (rc != SQLITE_OK) {
    *error = nt_store_error(rc);
    return nullptr;
  }
  statements_.emplace(sql, stmt);
  return stmt;
}

DWORD MachineStore::exec(const char* sql) {
  int rc = sqlite3_exec(db_, sql, nullptr, nullptr, nullptr);
  return nt_store_error(rc);
}

DWORD MachineStore::ensure_subsystem(const char* subsystem, int version, StoreUpgrade upgrade) {
  auto guard = lock();
  auto known = ready_subsystems_.find(std::string_view(subsystem));
  if (known != ready_subsystems_.end() && known->second >= version) return ERROR_SUCCESS;
  auto read_version = [&](int* out) {
    StoreQuery q(*this, "SELECT version FROM store_schema WHERE subsystem=?");
    q.bind_text(1, subsystem);
    *out = q.step() ? static_cast<int>(q.column_int64(0)) : 0;
    return q.error();
  };
  int current = 0;
  DWORD err = read_version(&current);
  if (err != ERROR_SUCCESS) return err;
  if (current < version) {
    StoreTransaction tx(*this);
    if ((err = tx.begin_error()) != ERROR_SUCCESS) return err;
    if ((err = read_version(&current)) != ERROR_SUCCESS) return err;
    if (current < version) {
      if ((err = upgrade(*this, current)) != ERROR_SUCCESS) return err;
      StoreQuery q(*this,
                   "INSERT INTO store_schema(subsystem, version) VALUES(?, ?)"
                   " ON CONFLICT(subsystem) DO UPDATE SET version=excluded.version");
      q.bind_text(1, subsystem).bind(2, version);
      if ((err = q.run()) != ERROR_SUCCESS) return err;
    }
    if ((err = tx.commit()) != ERROR_SUCCESS) return err;
  }
  ready_subsystems_[subsystem] = current > version ? current : version;
  return ERROR_SUCCESS;
}

std::shared_ptr<MachineStore> nt_store_open(const std::string& path, DWORD* error) {
  struct stat st;
  if (stat(path.c_str(), &st) != 0) {
    *error = ERROR_FILE_NOT_FOUND;
    return nullptr;
  }
  std::lock_guard<std::mutex> guard(g_cache_mutex);
  auto& cache = cache_locked();
  auto it = cache.find(path);
  if (it != cache.end()) {
    if (it->second.dev == st.st_dev && it->second.ino == st.st_ino) {
      *error = ERROR_SUCCESS;
      return it->second.store;
    }
    cache.erase(it);  // the file was replaced: its old connection stays with its holders
  }
  auto store = MachineStore::open_file(path, false, error);
  if (store) cache[path] = CacheEntry{store, st.st_dev, st.st_ino};
  return store;
}

void nt_store_forget(const std::string& path) {
  std::lock_guard<std::mutex> guard(g_cache_mutex);
  cache_locked().erase(path);
}

StoreQuery::StoreQuery(MachineStore& store, const char* sql) {
  stmt_ = store.statement(sql, &error_);
}

StoreQuery::~StoreQuery() {
  if (stmt_ == nullptr) return;
  sqlite3_reset(stmt_);
  sqlite3_clear_bindings(stmt_);
}

StoreQuery& StoreQuery::bind(int index, int64_t value) {
  if (stmt_ && error_ == ERROR_SUCCESS)
    error_ = nt_store_error(sqlite3_bind_int64(stmt_, index, value));
  return *this;
}

StoreQuery& StoreQuery::bind_text(int index, std::string_view text) {
  if (stmt_ && error_ == ERROR_SUCCESS)
    error_ = nt_store_error(sqlite3_bind_text64(stmt_, index, text.data(), text.size(),
                                                SQLITE_TRANSIENT, SQLITE_UTF8));
  return *this;
}

StoreQuery& StoreQuery::bind_blob(int index, const void* data, size_t size) {
  if (stmt_ && error_ == ERROR_SUCCESS) {
    // A zero-length blob, not NULL, for empty data.
    static const char kEmpty = 0;
    error_ = nt_store_error(
        sqlite3_bind_blob64(stmt_, index, size ? data : &kEmpty, size, SQLITE_TRANSIENT));
  }
  return *this;
}

StoreQuery& StoreQuery::bind_null(int index) {
  if (stmt_ && error_ == ERROR_SUCCESS) error_ = nt_store_error(sqlite3_bind_null(stmt_, index));
  return *this;
}

bool StoreQuery::step() {
  if (stmt_ == nullptr || error_ != ERROR_SUCCESS) return false;
  int rc = sqlite3_step(stmt_);
  if (rc == SQLITE_ROW) return true;
  if (rc != SQLITE_DONE) error_ = nt_store_error(rc);
  return false;
}

DWORD StoreQuery::run() {
  while (step()) {
  }
  return error_;
}

int64_t StoreQuery::column_int64(int col) { return sqlite3_column_int64(stmt_, col); }

std::string StoreQuery::column_text(int col) {
  const unsigned char* text = sqlite3_column_text(stmt_, col);
  int size = sqlite3_column_bytes(stmt_, col);
  return text ? std::string(reinterpret_cast<const char*>(text), static_cast<size_t>(size))
              : std::string();
}

std::string_view StoreQuery::column_blob(int col) {
  const void* data = sqlite3_column_blob(stmt_, col);
  int size = sqlite3_column_bytes(stmt_, col);
  return data ? std::string_view(static_cast<const char*>(data), static_cast<size_t>(size))
              : std::string_view();
}

bool StoreQuery::column_is_null(int col) {
  return sqlite3_column_type(stmt_, col) == SQLITE_NULL;
}

StoreReadTransaction::StoreReadTransaction(MachineStore& store) : store_(store) {
  if (sqlite3_get_autocommit(store_.db())) open_ = StoreQuery(store_, "BEGIN").run() == ERROR_SUCCESS;
}

StoreReadTransaction::~StoreReadTransaction() {
  if (open_) StoreQuery(store_, "COMMIT").run();
}

StoreTransaction::StoreTransaction(MachineStore& store) : store_(store) {
  begin_error_ = StoreQuery(store_, "BEGIN IMMEDIATE").run();
  open_ = begin_error_ == ERROR_SUCCESS;
}

StoreTransaction::~StoreTransaction() {
  if (open_) StoreQuery(store_, "ROLLBACK").run();
}

DWORD StoreTransaction::commit() {
  if (!open_) return begin_error_ != ERROR_SUCCESS ? begin_error_ : ERROR_INVALID_FUNCTION;
  DWORD err = StoreQuery(store_, "COMMIT").run();
  if (err == ERROR_SUCCESS) open_ = false;
  return err;
}
