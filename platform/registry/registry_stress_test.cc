// Several writers at once, and a writer killed in the middle of its work.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <thread>
#include <vector>

#include "platform/kernel/clock.h"
#include "platform/kernel/error.h"
#include "platform/network/network.h"
#include "platform/network/network_test_env.h"
#include "platform/registry/registry.h"
#include "platform/registry/registry_test_util.h"

namespace {

std::string value_data(int writer, int i) {
  return "writer " + std::to_string(writer) + " value " + std::to_string(i);
}

// Bytes of the i-th value the killed writer writes: all the same byte.
std::string pattern(int i) { return std::string(48 * 1024, static_cast<char>(i % 251)); }

class RegistryStressTest : public ::testing::Test {
 protected:
  void SetUp() override {
    NtMachineInfo info;
    info.name = "LOCALPC";
    ASSERT_EQ(nt_network_create(net_.root(), info), ERROR_SUCCESS);
    HKEY k;
    ASSERT_EQ(RegCreateKeyA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Race", &k), ERROR_SUCCESS);
    RegCloseKey(k);
  }
  TempNetwork net_;
};

TEST_F(RegistryStressTest, TwoProcessesWritingAtOnceLoseNothing) {
  constexpr int kValues = 300;
  int go[2];
  ASSERT_EQ(pipe(go), 0);
  std::vector<pid_t> children;
  for (int writer = 0; writer < 2; ++writer) {
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      close(go[1]);
      char c;
      if (read(go[0], &c, 1) != 0) _exit(3);  // waits until the parent closes its end
      HKEY k;
      if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Race", 0, KEY_ALL_ACCESS, &k) != 0)
        _exit(2);
      for (int i = 0; i < kValues; ++i) {
        std::string name = "w" + std::to_string(writer) + "-" + std::to_string(i);
        if (set_a(k, name.c_str(), REG_SZ, value_data(writer, i)) != ERROR_SUCCESS) _exit(1);
      }
      RegCloseKey(k);
      _exit(0);
    }
    children.push_back(pid);
  }
  close(go[0]);
  close(go[1]);  // both start now
  for (pid_t pid : children) {
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  }
  HKEY k;
  ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Race", 0, KEY_READ, &k), ERROR_SUCCESS);
  DWORD values = 0;
  ASSERT_EQ(RegQueryInfoKeyA(k, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &values,
                             nullptr, nullptr, nullptr, nullptr),
            ERROR_SUCCESS);
  EXPECT_EQ(values, 2u * kValues);
  for (int writer = 0; writer < 2; ++writer) {
    for (int i = 0; i < kValues; ++i) {
      std::string name = "w" + std::to_string(writer) + "-" + std::to_string(i);
      ASSERT_EQ(get_a(k, name.c_str()), value_data(writer, i)) << name;
    }
  }
  RegCloseKey(k);
}

TEST_F(RegistryStressTest, KilledWriterLeavesTheStoreConsistent) {
  pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    HKEY race;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Race", 0, KEY_ALL_ACCESS, &race) != 0)
      _exit(2);
    for (int i = 0;; ++i) {
      // Each call is one transaction: three keys at once, then a big value.
      std::string path = "K" + std::to_string(i) + "\\A\\B";
      HKEY k;
      if (RegCreateKeyA(race, path.c_str(), &k) != 0) _exit(1);
      RegCloseKey(k);
      std::string name = "v" + std::to_string(i);
      if (set_a(race, name.c_str(), REG_BINARY, pattern(i)) != 0) _exit(1);
    }
  }
  // Let it write a while, then kill it wherever it is.
  HKEY race;
  ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Race", 0, KEY_READ, &race),
            ERROR_SUCCESS);
  DWORD values = 0;
  for (int tries = 0; tries < 3000 && values < 40; ++tries) {
    Sleep(5);
    ASSERT_EQ(RegQueryInfoKeyA(race, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &values,
                               nullptr, nullptr, nullptr, nullptr),
              ERROR_SUCCESS);
  }
  ASSERT_GE(values, 40u) << "the writer did not get going";
  kill(pid, SIGKILL);
  int status = 0;
  ASSERT_EQ(waitpid(pid, &status, 0), pid);
  ASSERT_TRUE(WIFSIGNALED(status));

  NtMachineRef ref;
  ASSERT_EQ(nt_open_machine("", &ref), ERROR_SUCCESS);
  DWORD err;
  auto fresh = MachineStore::open_file(ref.store->path(), false, &err);
  ASSERT_TRUE(fresh) << err;
  {
    auto lock = fresh->lock();
    StoreQuery q(*fresh, "PRAGMA integrity_check");
    ASSERT_TRUE(q.step());
    EXPECT_EQ(q.column_text(0), "ok");
  }

  // Every value is there whole or not at all, and so is every key chain.
  DWORD subkeys = 0;
  ASSERT_EQ(RegQueryInfoKeyA(race, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, &values,
                             nullptr, nullptr, nullptr, nullptr),
            ERROR_SUCCESS);
  ASSERT_GE(values, 40u);
  EXPECT_TRUE(subkeys == values || subkeys == values + 1) << subkeys << " " << values;
  for (DWORD i = 0; i < values; ++i) {
    std::string name = "v" + std::to_string(i);
    char* buffer = new char[64 * 1024];
    DWORD size = 64 * 1024;
    ASSERT_EQ(RegQueryValueExA(race, name.c_str(), nullptr, nullptr,
                               reinterpret_cast<BYTE*>(buffer), &size),
              ERROR_SUCCESS)
        << name;
    EXPECT_EQ(std::string(buffer, size), pattern(static_cast<int>(i))) << name;
    delete[] buffer;
  }
  for (DWORD i = 0; i < subkeys; ++i) {
    HKEY k;
    std::string path = "K" + std::to_string(i) + "\\A\\B";
    EXPECT_EQ(RegOpenKeyExA(race, path.c_str(), 0, KEY_READ, &k), ERROR_SUCCESS) << path;
    RegCloseKey(k);
  }
  // And the store takes new writes.
  EXPECT_EQ(set_a(race, "after", REG_SZ, "x"), ERROR_ACCESS_DENIED);  // read-only handle
  HKEY writer;
  ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Race", 0, KEY_SET_VALUE, &writer),
            ERROR_SUCCESS);
  EXPECT_EQ(set_a(writer, "after", REG_SZ, "x"), ERROR_SUCCESS);
  RegCloseKey(writer);
  RegCloseKey(race);
}

TEST_F(RegistryStressTest, ThreadsShareOneConnection) {
  constexpr int kThreads = 4;
  constexpr int kValues = 100;
  std::vector<std::thread> threads;
  std::vector<int> failures(kThreads, 0);
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([t, &failures] {
      HKEY k;
      if (RegCreateKeyA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Race\\Threads", &k) != 0) {
        ++failures[t];
        return;
      }
      for (int i = 0; i < kValues; ++i) {
        std::string name = "t" + std::to_string(t) + "-" + std::to_string(i);
        if (set_a(k, name.c_str(), REG_SZ, value_data(t, i)) != 0) ++failures[t];
        if (get_a(k, name.c_str()) != value_data(t, i)) ++failures[t];
      }
      RegCloseKey(k);
    });
  }
  for (auto& th : threads) th.join();
  for (int t = 0; t < kThreads; ++t) EXPECT_EQ(failures[t], 0) << t;
  HKEY k;
  ASSERT_EQ(RegOpenKeyA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Race\\Threads", &k), ERROR_SUCCESS);
  DWORD values = 0;
  ASSERT_EQ(RegQueryInfoKeyA(k, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &values,
                             nullptr, nullptr, nullptr, nullptr),
            ERROR_SUCCESS);
  EXPECT_EQ(values, static_cast<DWORD>(kThreads * kValues));
  RegCloseKey(k);
}

}  // namespace
