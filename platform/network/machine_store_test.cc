#include "platform/network/machine_store.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include "platform/kernel/error.h"
#include "platform/network/network_test_env.h"

namespace {

int g_upgrades = 0;
int g_last_from = -1;

DWORD upgrade_v1(MachineStore& store, int from) {
  ++g_upgrades;
  g_last_from = from;
  return store.exec("CREATE TABLE demo(x INTEGER);");
}

DWORD upgrade_v2(MachineStore& store, int from) {
  ++g_upgrades;
  g_last_from = from;
  if (from < 1) store.exec("CREATE TABLE demo(x INTEGER);");
  return store.exec("ALTER TABLE demo ADD COLUMN y TEXT;");
}

DWORD upgrade_failing(MachineStore& store, int) {
  store.exec("CREATE TABLE half(x INTEGER);");
  return ERROR_DISK_FULL;
}

int64_t single_int(MachineStore& store, const char* sql) {
  auto lock = store.lock();
  StoreQuery q(store, sql);
  return q.step() ? q.column_int64(0) : -1;
}

class StoreTest : public ::testing::Test {
 protected:
  void SetUp() override {
    DWORD err;
    store_ = MachineStore::open_file(net_.root() + "/m.db", true, &err);
    ASSERT_TRUE(store_) << err;
    g_upgrades = 0;
    g_last_from = -1;
  }
  TempNetwork net_;
  std::shared_ptr<MachineStore> store_;
};

TEST_F(StoreTest, NewFileIsWalWithFrameVersion) {
  EXPECT_EQ(single_int(*store_, "PRAGMA user_version"), kStoreFrameVersion);
  EXPECT_EQ(single_int(*store_, "PRAGMA application_id"), kStoreApplicationId);
  EXPECT_EQ(single_int(*store_, "PRAGMA synchronous"), 1);  // NORMAL
  auto lock = store_->lock();
  StoreQuery q(*store_, "PRAGMA journal_mode");
  ASSERT_TRUE(q.step());
  EXPECT_EQ(q.column_text(0), "wal");
}

TEST_F(StoreTest, MissingFileIsNotCreatedUnlessAsked) {
  DWORD err = 0;
  EXPECT_FALSE(MachineStore::open_file(net_.root() + "/none.db", false, &err));
  EXPECT_EQ(err, ERROR_FILE_NOT_FOUND);
  EXPECT_FALSE(nt_store_open(net_.root() + "/none.db", &err));
  EXPECT_EQ(err, ERROR_FILE_NOT_FOUND);
  EXPECT_FALSE(MachineStore::open_file(net_.root() + "/no/dir/x.db", true, &err));
  EXPECT_NE(err, ERROR_SUCCESS);
}

TEST_F(StoreTest, SubsystemTablesAreMadeOnceAndUpgraded) {
  ASSERT_EQ(store_->ensure_subsystem("demo", 1, upgrade_v1), ERROR_SUCCESS);
  ASSERT_EQ(store_->ensure_subsystem("demo", 1, upgrade_v1), ERROR_SUCCESS);
  EXPECT_EQ(g_upgrades, 1);
  EXPECT_EQ(g_last_from, 0);

  // Another connection finds version 1 recorded and does not run it again.
  DWORD err;
  auto other = MachineStore::open_file(store_->path(), false, &err);
  ASSERT_TRUE(other);
  ASSERT_EQ(other->ensure_subsystem("demo", 1, upgrade_v1), ERROR_SUCCESS);
  EXPECT_EQ(g_upgrades, 1);
  // A newer program upgrades from what is there.
  ASSERT_EQ(other->ensure_subsystem("demo", 2, upgrade_v2), ERROR_SUCCESS);
  EXPECT_EQ(g_upgrades, 2);
  EXPECT_EQ(g_last_from, 1);
  EXPECT_EQ(single_int(*other, "SELECT version FROM store_schema WHERE subsystem='demo'"), 2);
  EXPECT_EQ(single_int(*other, "SELECT count(*) FROM pragma_table_info('demo')"), 2);

  // A failed upgrade leaves nothing behind and is tried again next time.
  EXPECT_EQ(store_->ensure_subsystem("broken", 1, upgrade_failing), ERROR_DISK_FULL);
  EXPECT_EQ(single_int(*store_, "SELECT count(*) FROM sqlite_master WHERE name='half'"), 0);
  EXPECT_EQ(single_int(*store_, "SELECT count(*) FROM store_schema WHERE subsystem='broken'"),
            0);
  EXPECT_EQ(store_->ensure_subsystem("broken", 1, upgrade_failing), ERROR_DISK_FULL);
}

TEST_F(StoreTest, TransactionCommitsOrRollsBack) {
  ASSERT_EQ(store_->ensure_subsystem("demo", 1, upgrade_v1), ERROR_SUCCESS);
  {
    auto lock = store_->lock();
    StoreTransaction tx(*store_);
    ASSERT_EQ(tx.begin_error(), ERROR_SUCCESS);
    StoreQuery q(*store_, "INSERT INTO demo(x) VALUES(?)");
    ASSERT_EQ(q.bind(1, 7).run(), ERROR_SUCCESS);
    // no commit: rolled back
  }
  EXPECT_EQ(single_int(*store_, "SELECT count(*) FROM demo"), 0);
  {
    auto lock = store_->lock();
    StoreTransaction tx(*store_);
    StoreQuery q(*store_, "INSERT INTO demo(x) VALUES(?)");
    ASSERT_EQ(q.bind(1, 8).run(), ERROR_SUCCESS);
    ASSERT_EQ(tx.commit(), ERROR_SUCCESS);
    EXPECT_NE(tx.commit(), ERROR_SUCCESS);  // once only
  }
  EXPECT_EQ(single_int(*store_, "SELECT x FROM demo"), 8);

  auto lock = store_->lock();
  StoreQuery bad(*store_, "SELECT nonsense FROM nowhere");
  EXPECT_FALSE(bad.step());
  EXPECT_NE(bad.error(), ERROR_SUCCESS);
}

TEST_F(StoreTest, SharedConnectionPerFileAndReplacedFiles) {
  DWORD err;
  auto a = nt_store_open(store_->path(), &err);
  auto b = nt_store_open(store_->path(), &err);
  ASSERT_TRUE(a);
  EXPECT_EQ(a.get(), b.get());
  EXPECT_NE(a.get(), store_.get());  // open_file gives a private connection

  // A file replaced under the same name gets a new connection.
  store_.reset();
  a.reset();
  b.reset();
  std::string path = net_.root() + "/m.db";
  unlink(path.c_str());
  unlink((path + "-wal").c_str());
  unlink((path + "-shm").c_str());
  auto made = MachineStore::open_file(path, true, &err);
  ASSERT_TRUE(made);
  ASSERT_EQ(made->ensure_subsystem("demo", 1, upgrade_v1), ERROR_SUCCESS);
  auto c = nt_store_open(path, &err);
  ASSERT_TRUE(c);
  EXPECT_EQ(single_int(*c, "SELECT count(*) FROM demo"), 0);
}

TEST_F(StoreTest, ForkedChildGetsItsOwnConnection) {
  DWORD err;
  ASSERT_EQ(store_->ensure_subsystem("demo", 1, upgrade_v1), ERROR_SUCCESS);
  auto parent = nt_store_open(store_->path(), &err);
  ASSERT_TRUE(parent);
  pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    DWORD e;
    auto child = nt_store_open(store_->path(), &e);
    bool fresh = child && child.get() != parent.get() && !parent->owned_by_this_process() &&
                 child->owned_by_this_process();
    if (child) {
      auto lock = child->lock();
      StoreTransaction tx(*child);
      StoreQuery(*child, "INSERT INTO demo(x) VALUES(42)").run();
      tx.commit();
    }
    _exit(fresh ? 0 : 1);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  EXPECT_TRUE(parent->owned_by_this_process());
  EXPECT_EQ(single_int(*parent, "SELECT x FROM demo"), 42);
}

TEST(StoreError, SqliteCodesBecomeWin32Codes) {
  EXPECT_EQ(nt_store_error(SQLITE_OK), ERROR_SUCCESS);
  EXPECT_EQ(nt_store_error(SQLITE_DONE), ERROR_SUCCESS);
  EXPECT_EQ(nt_store_error(SQLITE_BUSY), ERROR_BUSY);
  EXPECT_EQ(nt_store_error(SQLITE_BUSY_SNAPSHOT), ERROR_BUSY);  // extended codes too
  EXPECT_EQ(nt_store_error(SQLITE_FULL), ERROR_DISK_FULL);
  EXPECT_EQ(nt_store_error(SQLITE_READONLY), ERROR_ACCESS_DENIED);
  EXPECT_EQ(nt_store_error(SQLITE_NOMEM), ERROR_NOT_ENOUGH_MEMORY);
  EXPECT_EQ(nt_store_error(SQLITE_CORRUPT), ERROR_INVALID_DATA);
}

}  // namespace
