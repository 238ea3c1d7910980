#include "zeb/job_store.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "platform/network/network.h"
#include "platform/network/network_test_env.h"
#include "platform/registry/registry_test_util.h"
#include "zeb/service_keys.h"
#include "zeb/service_settings.h"

namespace {

JobRecord make_job(const char* name, const char* command) {
  JobRecord rec;
  job_record_init(&rec);
  job_set_name(&rec, name);
  job_set_command(&rec, command);
  job_set_creator(&rec, "alice");
  rec.interval = 60;
  rec.hour_mask = 0x0003FF00;
  job_set_time(&rec.next_run, 0x01DA7000AABBCCDDull);
  return rec;
}

// A network with the local machine and a server SRV1 on which the service
// is installed (its key exists), as the service control manager leaves it.
class JobStoreTest : public ::testing::Test {
 protected:
  void SetUp() override {
    NtMachineInfo local;
    local.name = "LOCALPC";
    ASSERT_EQ(nt_network_create(net_.root(), local), ERROR_SUCCESS);
    NtMachineInfo server;
    server.name = "SRV1";
    server.lan_group = "DOM";
    server.role = NtMachineRole::server;
    ASSERT_EQ(nt_machine_create(net_.root(), server), ERROR_SUCCESS);
    HKEY root = nullptr;
    ASSERT_EQ(RegConnectRegistryA("\\\\SRV1", HKEY_LOCAL_MACHINE, &root), ERROR_SUCCESS);
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExA(root, ZEB_SERVICE_KEY, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                              nullptr),
              ERROR_SUCCESS);
    RegCloseKey(key);
    RegCloseKey(root);
    ASSERT_EQ(zeb_open_service_key("\\\\SRV1", KEY_ALL_ACCESS, &service_), ERROR_SUCCESS);
    ASSERT_EQ(job_store_open(service_, &jobs_), ERROR_SUCCESS);
  }
  void TearDown() override {
    if (jobs_) RegCloseKey(jobs_);
    if (service_) RegCloseKey(service_);
  }

  TempNetwork net_;
  HKEY service_ = nullptr;
  HKEY jobs_ = nullptr;
};

TEST_F(JobStoreTest, ServiceKeyOnTheGivenMachineOnly) {
  HKEY key = nullptr;
  // Not installed locally: the key is not made up.
  EXPECT_EQ(zeb_open_service_key(nullptr, KEY_READ, &key), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(zeb_open_service_key("", KEY_READ, &key), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(zeb_open_service_key("\\\\NOSUCH", KEY_READ, &key), ERROR_BAD_NETPATH);
  ASSERT_EQ(zeb_open_service_key("srv1", KEY_READ, &key), ERROR_SUCCESS);
  RegCloseKey(key);
  // "Jobs" was created with its class.
  char cls[64];
  DWORD cls_size = sizeof cls;
  ASSERT_EQ(RegQueryInfoKeyA(jobs_, cls, &cls_size, nullptr, nullptr, nullptr, nullptr, nullptr,
                             nullptr, nullptr, nullptr, nullptr),
            ERROR_SUCCESS);
  EXPECT_STREQ(cls, "ZEB Jobs");
}

TEST_F(JobStoreTest, SavesTheFirst340BytesUnderTheJobName) {
  JobRecord rec = make_job("Backup", "backup.cmd");
  rec.process_id = 1234;
  rec.stop_event = 0x44;
  rec.flags = JOB_RUNNING | JOB_AUTOSTART;
  ASSERT_EQ(job_store_save(jobs_, rec), ERROR_SUCCESS);
  DWORD type = 0;
  std::string stored = get_a(jobs_, "backup", &type);
  EXPECT_EQ(type, REG_BINARY);
  ASSERT_EQ(stored.size(), JOB_STORED_SIZE);
  EXPECT_EQ(memcmp(stored.data(), &rec, JOB_STORED_SIZE), 0);
  EXPECT_EQ(values_of(jobs_), "Backup");

  JobRecord nameless = make_job("", "x");
  EXPECT_EQ(job_store_save(jobs_, nameless), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(values_of(jobs_), "Backup");

  EXPECT_EQ(job_store_delete(jobs_, "BACKUP"), ERROR_SUCCESS);
  EXPECT_EQ(values_of(jobs_), "");
  EXPECT_EQ(job_store_delete(jobs_, "Backup"), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(job_store_delete(jobs_, ""), ERROR_INVALID_PARAMETER);
}

TEST_F(JobStoreTest, LoadsInEnumerationOrderAndClearsRuntimeFields) {
  JobRecord a = make_job("zeta", "z.cmd");
  JobRecord b = make_job("alpha", "a.cmd");
  JobRecord c = make_job("mid", "m.cmd");
  b.flags = JOB_RUNNING | JOB_PAUSED;
  b.process_id = 999;  // not stored, whatever it was
  ASSERT_EQ(job_store_save(jobs_, a), ERROR_SUCCESS);
  ASSERT_EQ(job_store_save(jobs_, b), ERROR_SUCCESS);
  ASSERT_EQ(job_store_save(jobs_, c), ERROR_SUCCESS);
  // Saving again after a change keeps the job's place.
  a.last_exit_code = 3;
  ASSERT_EQ(job_store_save(jobs_, a), ERROR_SUCCESS);

  JobTable table;
  job_set_name(&table.at(10), "leftover");
  JobLoadResult r = job_store_load(jobs_, &table);
  EXPECT_EQ(r.loaded, 3);
  EXPECT_EQ(r.skipped, 0);
  EXPECT_EQ(r.end, ERROR_NO_MORE_ITEMS);
  EXPECT_EQ(job_name(table.at(0)), "zeta");
  EXPECT_EQ(job_name(table.at(1)), "alpha");
  EXPECT_EQ(job_name(table.at(2)), "mid");
  EXPECT_EQ(table.at(0).last_exit_code, 3);
  EXPECT_EQ(job_command(table.at(1)), "a.cmd");
  EXPECT_EQ(table.at(1).flags, JOB_PAUSED);
  EXPECT_EQ(table.at(1).process_id, 0u);
  EXPECT_EQ(table.at(1).hour_mask, 0x0003FF00u);
  EXPECT_EQ(job_time(table.at(1).next_run), 0x01DA7000AABBCCDDull);
  EXPECT_TRUE(job_is_free(table.at(10)));
  EXPECT_EQ(table.count(), 3);
}

TEST_F(JobStoreTest, DamagedValuesAreSkippedOrEndTheLoading) {
  ASSERT_EQ(job_store_save(jobs_, make_job("first", "1")), ERROR_SUCCESS);
  // Too short to be a record, of another type, or the unnamed value: skipped.
  ASSERT_EQ(set_a(jobs_, "short", REG_BINARY, std::string(339, '\x01')), ERROR_SUCCESS);
  ASSERT_EQ(set_a(jobs_, "text", REG_SZ, std::string(339, 'a') + '\0'), ERROR_SUCCESS);
  ASSERT_EQ(set_a(jobs_, "", REG_BINARY, std::string(340, '\x02')), ERROR_SUCCESS);
  ASSERT_EQ(job_store_save(jobs_, make_job("second", "2")), ERROR_SUCCESS);
  // Longer than 340 bytes: loading ends here.
  ASSERT_EQ(set_a(jobs_, "long", REG_BINARY, std::string(380, '\x03')), ERROR_SUCCESS);
  ASSERT_EQ(job_store_save(jobs_, make_job("third", "3")), ERROR_SUCCESS);

  JobTable table;
  JobLoadResult r = job_store_load(jobs_, &table);
  EXPECT_EQ(r.loaded, 2);
  EXPECT_EQ(r.skipped, 3);
  EXPECT_EQ(r.end, ERROR_MORE_DATA);
  EXPECT_EQ(job_name(table.at(0)), "first");
  EXPECT_EQ(job_name(table.at(1)), "second");
  EXPECT_TRUE(job_is_free(table.at(2)));
  // Skipped values stay where they are.
  EXPECT_EQ(get_a(jobs_, "short").size(), 339u);

  // A name longer than 31 characters ends the loading as well.
  ASSERT_EQ(RegDeleteValueA(jobs_, "long"), ERROR_SUCCESS);
  ASSERT_EQ(set_a(jobs_, std::string(32, 'n').c_str(), REG_BINARY, std::string(340, '\0')),
            ERROR_SUCCESS);
  r = job_store_load(jobs_, &table);
  EXPECT_EQ(r.loaded, 3);
  EXPECT_EQ(r.end, ERROR_MORE_DATA);
  EXPECT_EQ(job_name(table.at(2)), "third");
}

TEST_F(JobStoreTest, StoredTextsWithoutTerminatorAreClosed) {
  ASSERT_EQ(set_a(jobs_, "raw", REG_BINARY, std::string(340, 'x')), ERROR_SUCCESS);
  JobTable table;
  ASSERT_EQ(job_store_load(jobs_, &table).loaded, 1);
  EXPECT_EQ(job_command(table.at(0)), std::string(255, 'x'));
  EXPECT_EQ(job_creator(table.at(0)), std::string(15, 'x'));
  EXPECT_EQ(job_name(table.at(0)), "raw");
  EXPECT_EQ(table.at(0).flags, 0x78787878u & ~JOB_RUNNING);
}

TEST_F(JobStoreTest, LoadingStopsAtSixtyFourJobs) {
  for (int i = 0; i < 70; ++i) {
    ASSERT_EQ(job_store_save(jobs_, make_job(("job" + std::to_string(i)).c_str(), "x")),
              ERROR_SUCCESS);
  }
  JobTable table;
  JobLoadResult r = job_store_load(jobs_, &table);
  EXPECT_EQ(r.loaded, JOB_MAX);
  EXPECT_EQ(r.end, ERROR_SUCCESS);
  EXPECT_EQ(job_name(table.at(63)), "job63");
  EXPECT_EQ(table.lowest_free(), -1);
}

TEST_F(JobStoreTest, ServiceSettings) {
  std::string dir;
  EXPECT_EQ(zeb_read_temp_dir(service_, &dir), ERROR_FILE_NOT_FOUND);
  ASSERT_EQ(zeb_write_temp_dir(service_, "D:\\Jobs"), ERROR_SUCCESS);
  DWORD type = 0;
  EXPECT_EQ(get_a(service_, "TempDir", &type), std::string("D:\\Jobs\0", 8));
  EXPECT_EQ(type, REG_EXPAND_SZ);
  ASSERT_EQ(zeb_read_temp_dir(service_, &dir), ERROR_SUCCESS);
  EXPECT_EQ(dir, "D:\\Jobs\\");
  // Stored without its terminator, or with a backslash already.
  ASSERT_EQ(set_a(service_, "TempDir", REG_SZ, "C:\\TEMP\\"), ERROR_SUCCESS);
  ASSERT_EQ(zeb_read_temp_dir(service_, &dir), ERROR_SUCCESS);
  EXPECT_EQ(dir, "C:\\TEMP\\");
  // 259 characters fit the 260-byte buffer; 260 do not and nothing is cut.
  std::string longest = "C:\\" + std::string(256, 'd');
  ASSERT_EQ(zeb_write_temp_dir(service_, longest.c_str()), ERROR_SUCCESS);
  ASSERT_EQ(zeb_read_temp_dir(service_, &dir), ERROR_SUCCESS);
  EXPECT_EQ(dir, longest + "\\");
  EXPECT_EQ(zeb_write_temp_dir(service_, (longest + "e").c_str()), ERROR_INVALID_PARAMETER);
  ASSERT_EQ(set_a(service_, "TempDir", REG_SZ, longest + "e"), ERROR_SUCCESS);
  EXPECT_EQ(zeb_read_temp_dir(service_, &dir), ERROR_MORE_DATA);
  ASSERT_EQ(set_a(service_, "TempDir", REG_SZ, longest + "ef" + '\0'), ERROR_SUCCESS);
  EXPECT_EQ(zeb_read_temp_dir(service_, &dir), ERROR_MORE_DATA);
  EXPECT_EQ(dir, longest + "\\");
  ASSERT_EQ(set_a(service_, "TempDir", REG_DWORD, "\x01\x00\x00\x00"), ERROR_SUCCESS);
  EXPECT_EQ(zeb_read_temp_dir(service_, &dir), ERROR_INVALID_DATA);

  // "Logging" is created as 0 when missing.
  EXPECT_EQ(zeb_read_logging(service_), 0u);
  EXPECT_EQ(get_a(service_, "Logging", &type), std::string(4, '\0'));
  EXPECT_EQ(type, REG_DWORD);
  ASSERT_EQ(zeb_write_logging(service_, 0x0001), ERROR_SUCCESS);
  EXPECT_EQ(zeb_read_logging(service_), 1u);

  EXPECT_EQ(zeb_version_string("V2.0", "# 0815"), "V2.0.0815");
  EXPECT_EQ(zeb_version_string("V2.0", "ab"), "V2.0.");
  ASSERT_EQ(zeb_write_version(service_, "V2.0.17"), ERROR_SUCCESS);
  EXPECT_EQ(get_a(service_, "Version", &type), std::string("V2.0.17\0", 8));
  EXPECT_EQ(type, REG_SZ);
  std::string version;
  ASSERT_EQ(zeb_read_version(service_, &version), ERROR_SUCCESS);
  EXPECT_EQ(version, "V2.0.17");

  EXPECT_EQ(zeb_read_no_autostart(service_), 0u);
  ASSERT_EQ(zeb_write_no_autostart(service_, 1), ERROR_SUCCESS);
  EXPECT_EQ(zeb_read_no_autostart(service_), 1u);
  ASSERT_EQ(zeb_write_no_autostart(service_, 0), ERROR_SUCCESS);
  EXPECT_EQ(zeb_read_no_autostart(service_), 0u);
}

}  // namespace
