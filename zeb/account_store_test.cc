#include "zeb/account_store.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "platform/network/network.h"
#include "platform/network/network_test_env.h"
#include "platform/registry/registry_test_util.h"
#include "platform/security/security_test_env.h"
#include "zeb/service_keys.h"

namespace {

class AccountStoreTest : public ::testing::Test {
 protected:
  void SetUp() override {
    NtMachineInfo local;
    local.name = "LOCALPC";
    ASSERT_EQ(nt_network_create(net_.root(), local), ERROR_SUCCESS);
    for (const char* name : {"SRV1", "SRV2"}) {
      NtMachineInfo server;
      server.name = name;
      server.lan_group = "DOM";
      server.role = NtMachineRole::server;
      ASSERT_EQ(nt_machine_create(net_.root(), server), ERROR_SUCCESS);
      HKEY root = nullptr, key = nullptr;
      ASSERT_EQ(RegConnectRegistryA(name, HKEY_LOCAL_MACHINE, &root), ERROR_SUCCESS);
      ASSERT_EQ(RegCreateKeyExA(root, ZEB_SERVICE_KEY, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                &key, nullptr),
                ERROR_SUCCESS);
      RegCloseKey(key);
      RegCloseKey(root);
    }
    ASSERT_EQ(account_store_open("\\\\SRV1", true, &users_), ERROR_SUCCESS);
  }
  void TearDown() override {
    if (users_) RegCloseKey(users_);
  }

  // Adds an account made with a fixed seed; gives its index.
  int put(const char* domain, const char* user, const char* password, bool* added = nullptr,
          BYTE seed = 9) {
    int index = -1;
    bool was_added = false;
    EXPECT_EQ(account_store_put(users_, account_record_make(seed, domain, user, password), &index,
                                &was_added),
              ERROR_SUCCESS);
    if (added) *added = was_added;
    return index;
  }

  TempNetwork net_;
  HKEY users_ = nullptr;
};

TEST_F(AccountStoreTest, StoreIsCreatedUnderTheServiceKey) {
  char cls[64];
  DWORD cls_size = sizeof cls;
  ASSERT_EQ(RegQueryInfoKeyA(users_, cls, &cls_size, nullptr, nullptr, nullptr, nullptr, nullptr,
                             nullptr, nullptr, nullptr, nullptr),
            ERROR_SUCCESS);
  EXPECT_STREQ(cls, "ZEB Service");
  HKEY other = nullptr;
  // Without creating, a store that does not exist is not made.
  EXPECT_EQ(account_store_open("SRV2", false, &other), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(account_store_open(nullptr, true, &other), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(account_store_open("\\\\GONE", true, &other), ERROR_BAD_NETPATH);
  ASSERT_EQ(account_store_open("SRV1", false, &other), ERROR_SUCCESS);
  RegCloseKey(other);
}

TEST_F(AccountStoreTest, IndexesStartAtOneAndFollowTheLastOne) {
  bool added = false;
  EXPECT_EQ(put("DOM", "alice", "a", &added), 1);
  EXPECT_TRUE(added);
  EXPECT_EQ(put("DOM", "bob", "b"), 2);
  EXPECT_EQ(put("", "carol", "c"), 3);
  EXPECT_EQ(values_of(users_), "001|002|003");
  DWORD type = 0;
  EXPECT_EQ(get_a(users_, "002", &type).size(), 64u);
  EXPECT_EQ(type, REG_BINARY);

  // After deleting 002, the next account follows the last one enumerated.
  EXPECT_EQ(account_store_delete(users_, 2), ERROR_SUCCESS);
  EXPECT_EQ(account_store_delete(users_, 2), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(put("DOM", "dave", "d", &added), 4);
  EXPECT_TRUE(added);
  // After deleting the last one, its index is given again.
  EXPECT_EQ(account_store_delete(users_, 4), ERROR_SUCCESS);
  EXPECT_EQ(put("DOM", "erin", "e"), 4);

  AccountScan scan;
  ASSERT_EQ(account_store_scan(users_, 0, nullptr, nullptr, &scan), ERROR_SUCCESS);
  ASSERT_EQ(scan.entries.size(), 3u);
  EXPECT_EQ(scan.last_index, 4);
  EXPECT_EQ(scan.match, -1);
  EXPECT_EQ(scan.entries[0].index, 1);
  EXPECT_EQ(scan.entries[0].fields.user, "alice");
  EXPECT_EQ(scan.entries[1].index, 3);
  EXPECT_EQ(scan.entries[1].fields.domain, "");
  EXPECT_EQ(scan.entries[2].fields.user, "erin");
}

TEST_F(AccountStoreTest, RegisteringAgainInOtherCaseKeepsTheIndex) {
  put("DOM", "alice", "a");
  put("DOM", "bob", "old");
  bool added = true;
  EXPECT_EQ(put("dom", "BOB", "new", &added, 77), 2);
  EXPECT_FALSE(added);
  EXPECT_EQ(values_of(users_), "001|002");
  AccountFields f;
  ASSERT_EQ(account_store_lookup(users_, 2, &f), ERROR_SUCCESS);
  EXPECT_EQ(f.domain, "dom");
  EXPECT_EQ(f.user, "BOB");
  EXPECT_EQ(f.password, "new");
  // The same user in another domain is another account.
  EXPECT_EQ(put("OTHER", "bob", "x", &added), 3);
  EXPECT_TRUE(added);

  AccountScan scan;
  ASSERT_EQ(account_store_scan(users_, 0, "Dom", "Bob", &scan), ERROR_SUCCESS);
  ASSERT_GE(scan.match, 0);
  EXPECT_EQ(scan.entries[scan.match].index, 2);
  EXPECT_EQ(scan.last_index, 2);  // the scan stops at its match
  ASSERT_EQ(account_store_scan(users_, 3, nullptr, nullptr, &scan), ERROR_SUCCESS);
  EXPECT_EQ(scan.entries[scan.match].fields.domain, "OTHER");
  ASSERT_EQ(account_store_scan(users_, 9, nullptr, nullptr, &scan), ERROR_SUCCESS);
  EXPECT_EQ(scan.match, -1);
}

TEST_F(AccountStoreTest, StrayValuesNeitherBreakNorOverwriteAccounts) {
  put("DOM", "alice", "a");
  // Written out of order by hand: "003", then "002".
  AccountRecord r3 = account_record_make(1, "DOM", "third", "x");
  AccountRecord r2 = account_record_make(2, "DOM", "second", "x");
  ASSERT_EQ(RegSetValueExA(users_, "003", 0, REG_BINARY, r3.bytes, 64), ERROR_SUCCESS);
  ASSERT_EQ(RegSetValueExA(users_, "002", 0, REG_BINARY, r2.bytes, 64), ERROR_SUCCESS);
  // Last enumerated is 002; 003 is taken, so the new account gets 004.
  EXPECT_EQ(put("DOM", "fourth", "x"), 4);
  AccountFields f;
  ASSERT_EQ(account_store_lookup(users_, 3, &f), ERROR_SUCCESS);
  EXPECT_EQ(f.user, "third");

  // Names that are no index are passed over; short data is unreadable.
  ASSERT_EQ(set_a(users_, "abc", REG_BINARY, std::string(64, '\0')), ERROR_SUCCESS);
  ASSERT_EQ(set_a(users_, "007", REG_BINARY, std::string(10, '\0')), ERROR_SUCCESS);
  AccountScan scan;
  ASSERT_EQ(account_store_scan(users_, 0, nullptr, nullptr, &scan), ERROR_SUCCESS);
  ASSERT_EQ(scan.entries.size(), 5u);
  EXPECT_EQ(scan.entries[4].index, 7);
  EXPECT_FALSE(scan.entries[4].readable);
  EXPECT_EQ(scan.last_index, 7);
  EXPECT_EQ(account_store_lookup(users_, 7, &f), ERROR_INVALID_DATA);
  // A name of four characters ends the enumeration.
  ASSERT_EQ(set_a(users_, "0042", REG_BINARY, std::string(64, '\0')), ERROR_SUCCESS);
  ASSERT_EQ(set_a(users_, "008", REG_BINARY, std::string(64, '\0')), ERROR_SUCCESS);
  ASSERT_EQ(account_store_scan(users_, 0, nullptr, nullptr, &scan), ERROR_SUCCESS);
  EXPECT_EQ(scan.end, ERROR_MORE_DATA);
  EXPECT_EQ(scan.last_index, 7);
  // So does data of more than 64 bytes.
  ASSERT_EQ(RegDeleteValueA(users_, "0042"), ERROR_SUCCESS);
  ASSERT_EQ(set_a(users_, "009", REG_BINARY, std::string(65, '\0')), ERROR_SUCCESS);
  ASSERT_EQ(account_store_scan(users_, 0, nullptr, nullptr, &scan), ERROR_SUCCESS);
  EXPECT_EQ(scan.end, ERROR_MORE_DATA);
  EXPECT_EQ(scan.last_index, 8);
  AccountRecord rec;
  EXPECT_EQ(account_store_read(users_, 9, &rec), ERROR_MORE_DATA);
  EXPECT_EQ(account_store_read(users_, 10, &rec), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(account_store_read(users_, 0, &rec), ERROR_INVALID_PARAMETER);
}

TEST_F(AccountStoreTest, IndexesEndAt999) {
  AccountRecord last = account_record_make(5, "DOM", "last", "x");
  ASSERT_EQ(RegSetValueExA(users_, "999", 0, REG_BINARY, last.bytes, 64), ERROR_SUCCESS);
  int index = -1;
  bool added = false;
  EXPECT_EQ(account_store_put(users_, account_record_make(6, "DOM", "more", "x"), &index, &added),
            ERROR_NO_MORE_ITEMS);
  EXPECT_EQ(index, -1);
  EXPECT_EQ(values_of(users_), "999");
  // Modifying it still works.
  EXPECT_EQ(account_store_put(users_, account_record_make(6, "dom", "LAST", "y"), &index, &added),
            ERROR_SUCCESS);
  EXPECT_EQ(index, 999);
  EXPECT_FALSE(added);
  // A record that cannot be read is not stored.
  AccountRecord broken = last;
  broken.bytes[30] ^= 0xFF;
  EXPECT_EQ(account_store_put(users_, broken, &index, &added), ERROR_INVALID_DATA);
}

TEST_F(AccountStoreTest, HexadecimalFormCopiesAnAccountToAnotherServer) {
  put("DOM", "alice", "a");
  put("DOM", "bob", "secret");
  AccountRecord rec;
  ASSERT_EQ(account_store_read(users_, 2, &rec), ERROR_SUCCESS);
  std::string hex = "0x" + account_record_to_hex(rec);

  HKEY other = nullptr;
  ASSERT_EQ(account_store_open("SRV2", true, &other), ERROR_SUCCESS);
  AccountRecord given;
  ASSERT_TRUE(account_record_from_hex(hex.c_str(), &given));
  int index = -1;
  bool added = false;
  ASSERT_EQ(account_store_put(other, given, &index, &added), ERROR_SUCCESS);
  EXPECT_EQ(index, 1);
  EXPECT_TRUE(added);
  EXPECT_EQ(get_a(other, "001"), get_a(users_, "002"));
  AccountFields f;
  ASSERT_EQ(account_store_lookup(other, 1, &f), ERROR_SUCCESS);
  EXPECT_EQ(f.password, "secret");
  RegCloseKey(other);
}

}  // namespace

// The store holds passwords: whoever creates it, only administrators and
// the system open it afterwards, for reading as for writing.
TEST(AccountStoreSecurity, OnlyAdministratorsOpenACreatedStore) {
  SecurityTestNetwork net;
  net.add_user("LOCALPC", "alice", "pw1");
  HKEY root = nullptr, key = nullptr, users = nullptr;
  ASSERT_EQ(RegConnectRegistryA(nullptr, HKEY_LOCAL_MACHINE, &root), ERROR_SUCCESS);
  ASSERT_EQ(RegCreateKeyExA(root, ZEB_SERVICE_KEY, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                            nullptr),
            ERROR_SUCCESS);
  RegCloseKey(key);
  RegCloseKey(root);
  ASSERT_EQ(account_store_open(nullptr, true, &users), ERROR_SUCCESS);
  RegCloseKey(users);
  net.act_as("alice", "LOCALPC");
  users = nullptr;
  EXPECT_EQ(account_store_open(nullptr, false, &users), ERROR_ACCESS_DENIED);
  EXPECT_EQ(users, nullptr);
  net.act_as("Administrator", "LOCALPC");
  ASSERT_EQ(account_store_open(nullptr, false, &users), ERROR_SUCCESS);
  RegCloseKey(users);
}
