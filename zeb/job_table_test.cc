#include "zeb/job_table.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/nls/nls_test_env.h"
#include "zeb/job_chain.h"
#include "zeb/job_update.h"
#include "zeb/schedule.h"

namespace {

JobRecord named(const char* name, const char* command = "cmd") {
  JobRecord rec;
  job_record_init(&rec);
  job_set_name(&rec, name);
  job_set_command(&rec, command);
  return rec;
}

class JobTableTest : public ::testing::Test {
 protected:
  void SetUp() override { env_.pages("1252", "850"); }
  NlsEnv env_;
  JobTable table_;
};

TEST_F(JobTableTest, AddsIntoTheLowestFreeSlotAndReusesDeletedOnes) {
  EXPECT_EQ(table_.count(), 0);
  EXPECT_EQ(table_.lowest_free(), 0);
  int slot = -1;
  for (int i = 0; i < JOB_MAX; ++i) {
    ASSERT_EQ(table_.add(named(("job" + std::to_string(i)).c_str()), &slot), JobAddResult::added);
    ASSERT_EQ(slot, i);
  }
  EXPECT_EQ(table_.count(), JOB_MAX);
  EXPECT_EQ(table_.lowest_free(), -1);
  EXPECT_EQ(table_.add(named("one-more"), &slot), JobAddResult::full);
  // A name that exists is refused first, even in a full table.
  EXPECT_EQ(table_.add(named("JOB7"), &slot), JobAddResult::exists);

  table_.remove(40);
  table_.remove(12);
  const JobRecord& gone = table_.at(12);
  for (size_t i = 0; i < sizeof gone; ++i) {
    ASSERT_EQ(reinterpret_cast<const BYTE*>(&gone)[i], 0) << i;
  }
  // Slots are not compacted: the others keep their index.
  EXPECT_EQ(table_.find("job13"), 13);
  EXPECT_EQ(table_.find("job40"), -1);
  ASSERT_EQ(table_.add(named("late"), &slot), JobAddResult::added);
  EXPECT_EQ(slot, 12);
  ASSERT_EQ(table_.add(named("later"), &slot), JobAddResult::added);
  EXPECT_EQ(slot, 40);
  EXPECT_EQ(table_.add(named(""), &slot), JobAddResult::invalid_name);
}

TEST_F(JobTableTest, NamesMatchInAnyLetterCase) {
  int slot;
  ASSERT_EQ(table_.add(named("Backup"), &slot), JobAddResult::added);
  ASSERT_EQ(table_.add(named("backup_S"), &slot), JobAddResult::added);
  ASSERT_EQ(table_.add(named("Reports"), &slot), JobAddResult::added);
  EXPECT_EQ(table_.find("BACKUP"), 0);
  EXPECT_EQ(table_.find("backup"), 0);
  EXPECT_EQ(table_.find("backup_s"), 1);
  EXPECT_EQ(table_.find("Backu"), -1);
  EXPECT_EQ(table_.find(""), -1);
  EXPECT_EQ(table_.find(nullptr), -1);
  EXPECT_EQ(table_.add(named("bAcKuP"), &slot), JobAddResult::exists);
  // Accented letters fold as well under the ANSI page.
  ASSERT_EQ(table_.add(named("r\xE9sum\xE9"), &slot), JobAddResult::added);
  EXPECT_EQ(table_.find("R\xC9SUM\xC9"), 3);

  // Wildcard walks go in index order and skip free slots.
  table_.remove(2);
  EXPECT_EQ(table_.next_match("B*", 0), 0);
  EXPECT_EQ(table_.next_match("B*", 1), 1);
  EXPECT_EQ(table_.next_match("B*", 2), -1);
  EXPECT_EQ(table_.next_match("*", 2), 3);
  EXPECT_EQ(table_.next_match("?ACKUP", 0), 0);
  EXPECT_EQ(table_.next_match("reports", 0), -1);
}

TEST_F(JobTableTest, AddStampsTheCallerAndClearsRuntimeFields) {
  JobRecord rec = named("nightly");
  job_set_creator(&rec, "forged");
  rec.flags = JOB_RUNNING | JOB_AUTOSTART;
  rec.process_id = 99;
  rec.stop_event = 8;
  const uint64_t now = 0x01DA123456789ABCull;
  int slot = -1;
  ASSERT_EQ(job_table_add(&table_, rec, "administrator-of-all", now, &slot), JobAddResult::added);
  const JobRecord& stored = table_.at(slot);
  EXPECT_EQ(job_creator(stored), "administrator-o");
  EXPECT_EQ(job_modified_by(stored), "administrator-o");
  EXPECT_EQ(job_time(stored.modified_at), now);
  EXPECT_EQ(stored.flags, JOB_AUTOSTART);
  EXPECT_EQ(stored.process_id, 0u);
  EXPECT_EQ(stored.stop_event, 0u);
  EXPECT_EQ(job_table_add(&table_, named("NIGHTLY"), "x", now, &slot), JobAddResult::exists);
}

TEST_F(JobTableTest, SetKeepsWhatTheServiceOwns) {
  int slot = -1;
  ASSERT_EQ(job_table_add(&table_, named("a"), "alice", 100, &slot), JobAddResult::added);
  ASSERT_EQ(job_table_add(&table_, named("b"), "alice", 100, &slot), JobAddResult::added);
  JobRecord client_copy = table_.at(0);
  // Meanwhile the job started.
  job_mark_started(&table_.at(0), 321, 0x40, 5000);

  job_set_command(&client_copy, "new.cmd");
  client_copy.weekday_mask = 0x3E;
  client_copy.flags |= JOB_PAUSED;
  ASSERT_EQ(job_table_set(&table_, 0, client_copy, "bob", 7000), JobAddResult::added);
  const JobRecord& now_stored = table_.at(0);
  EXPECT_EQ(job_command(now_stored), "new.cmd");
  EXPECT_EQ(now_stored.weekday_mask, 0x3Eu);
  EXPECT_EQ(now_stored.flags, JOB_PAUSED | JOB_RUNNING);
  EXPECT_EQ(now_stored.process_id, 321u);
  EXPECT_EQ(now_stored.stop_event, 0x40u);
  EXPECT_EQ(job_time(now_stored.last_run), 5000u);
  EXPECT_EQ(now_stored.last_exit_code, -1);
  EXPECT_EQ(job_creator(now_stored), "alice");
  EXPECT_EQ(job_modified_by(now_stored), "bob");
  EXPECT_EQ(job_time(now_stored.modified_at), 7000u);

  // Renaming onto another job, or to nothing, changes nothing.
  JobRecord clash = table_.at(0);
  job_set_name(&clash, "B");
  EXPECT_EQ(job_table_set(&table_, 0, clash, "bob", 8000), JobAddResult::exists);
  job_set_name(&clash, "");
  EXPECT_EQ(job_table_set(&table_, 0, clash, "bob", 8000), JobAddResult::invalid_name);
  EXPECT_EQ(job_name(table_.at(0)), "a");
  EXPECT_EQ(job_time(table_.at(0).modified_at), 7000u);
  // A rename to the same name in other letter case is the same job.
  job_set_name(&clash, "A");
  EXPECT_EQ(job_table_set(&table_, 0, clash, "bob", 8000), JobAddResult::added);
  EXPECT_EQ(job_name(table_.at(0)), "A");
  // A slot deleted since the client read it stays free.
  table_.remove(1);
  EXPECT_EQ(job_table_set(&table_, 1, clash, "bob", 8000), JobAddResult::invalid_name);
  EXPECT_TRUE(job_is_free(table_.at(1)));
}

TEST_F(JobTableTest, ChainingStartsSuccessorsByExitCode) {
  int slot;
  for (const char* name : {"backup", "backup_S", "backup_F", "BACKUP_a", "backup_X", "backup_SS",
                           "backupS", "other_S"}) {
    ASSERT_EQ(table_.add(named(name), &slot), JobAddResult::added) << name;
  }
  EXPECT_EQ(job_chain_successors(table_, "backup", 0), (std::vector<int>{1, 3}));
  EXPECT_EQ(job_chain_successors(table_, "backup", 2), (std::vector<int>{2, 3}));
  EXPECT_EQ(job_chain_successors(table_, "Backup", -1), (std::vector<int>{2, 3}));
  // Running or paused successors are not started.
  table_.at(1).flags |= JOB_RUNNING;
  table_.at(3).flags |= JOB_PAUSED;
  EXPECT_TRUE(job_chain_successors(table_, "backup", 0).empty());
  EXPECT_EQ(job_chain_successors(table_, "backup", 1), (std::vector<int>{2}));
  // A run whose end was not seen starts nothing.
  EXPECT_TRUE(job_chain_successors(table_, "backup", JOB_STILL_ACTIVE).empty());
  // A successor's own successors follow only its name.
  EXPECT_TRUE(job_chain_successors(table_, "backup_S", 0).empty());
  // Wildcard characters in a name are plain characters here.
  EXPECT_FALSE(job_chain_follows("b*", "backup_S", 0));
  EXPECT_TRUE(job_chain_follows("b*", "B*_s", 0));
  EXPECT_FALSE(job_chain_follows("", "_S", 0));
}

}  // namespace
