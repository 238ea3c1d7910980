// Test fixture of the patch code: a fresh network (the local machine
// LOCALPC with its registry) in a temporary NT_NETWORK, and a host folder
// for the patch, conditions and history files of one test.
#pragma once

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>
#include <sstream>
#include <string>

#include "platform/network/machine.h"
#include "platform/network/network.h"
#include "platform/network/network_test_env.h"
#include "platform/registry/registry.h"

class PatchTest : public ::testing::Test {
 protected:
  void SetUp() override {
    NtMachineInfo info;
    info.name = "LOCALPC";
    ASSERT_EQ(nt_network_create(net_.root(), info), ERROR_SUCCESS);
    dir_ = net_.root() + "/files";
    ASSERT_EQ(mkdir(dir_.c_str(), 0755), 0);
    net_.env().lang("C");
  }

  // The host path of a file in the test's folder.
  std::string path(const std::string& name) const { return dir_ + "/" + name; }

  // Writes a file of the test's folder and returns its path.
  std::string write(const std::string& name, const std::string& text) const {
    std::ofstream(path(name), std::ios::binary) << text;
    return path(name);
  }

  std::string read(const std::string& name) const {
    std::ifstream in(path(name), std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }

  // Creates a key below HKEY_LOCAL_MACHINE.
  void make_key(const char* key_path) {
    HKEY key;
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, key_path, 0, nullptr, 0, KEY_ALL_ACCESS,
                              nullptr, &key, nullptr),
              ERROR_SUCCESS)
        << key_path;
    RegCloseKey(key);
  }

  // Sets a value of a key below HKEY_LOCAL_MACHINE (created when missing).
  void set_value(const char* key_path, const char* name, DWORD type, const std::string& data) {
    HKEY key;
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, key_path, 0, nullptr, 0, KEY_ALL_ACCESS,
                              nullptr, &key, nullptr),
              ERROR_SUCCESS)
        << key_path;
    EXPECT_EQ(RegSetValueExA(key, name, 0, type, reinterpret_cast<const BYTE*>(data.data()),
                             static_cast<DWORD>(data.size())),
              ERROR_SUCCESS);
    RegCloseKey(key);
  }

  void set_dword(const char* key_path, const char* name, DWORD value) {
    std::string bytes(4, '\0');
    for (int i = 0; i < 4; ++i) bytes[i] = static_cast<char>((value >> (8 * i)) & 0xFF);
    set_value(key_path, name, REG_DWORD, bytes);
  }

  TempNetwork net_;
  std::string dir_;
};
