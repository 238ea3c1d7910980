#include "platform/registry/registry.h"

#include <gtest/gtest.h>

#include "platform/kernel/clock.h"
#include "platform/kernel/error.h"
#include "platform/network/network.h"
#include "platform/network/network_test_env.h"
#include "platform/registry/registry_test_util.h"

namespace {

class RegistryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    NtMachineInfo info;
    info.name = "LOCALPC";
    ASSERT_EQ(nt_network_create(net_.root(), info), ERROR_SUCCESS);
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Test", 0, nullptr, 0,
                              KEY_ALL_ACCESS, nullptr, &key_, nullptr),
              ERROR_SUCCESS);
  }
  void TearDown() override {
    if (key_) RegCloseKey(key_);
  }
  void add_machine(const char* name) {
    NtMachineInfo info;
    info.name = name;
    info.lan_group = "DOM";
    info.role = NtMachineRole::server;
    ASSERT_EQ(nt_machine_create(net_.root(), info), ERROR_SUCCESS);
  }

  TempNetwork net_;
  HKEY key_ = nullptr;
};

TEST_F(RegistryTest, EveryMachineStartsWithTheSeedKeys) {
  const char* machine_keys[] = {
      "SOFTWARE\\Classes",
      "SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application",
      "SYSTEM\\CurrentControlSet\\Services\\EventLog\\System",
      "SYSTEM\\CurrentControlSet\\Services\\EventLog\\Security",
      "SYSTEM\\CurrentControlSet\\Control\\Session Manager\\Environment",
      "system\\currentcontrolset\\hardware profiles\\current",
  };
  for (const char* path : machine_keys) {
    HKEY k;
    EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, path, 0, KEY_READ, &k), ERROR_SUCCESS) << path;
    RegCloseKey(k);
  }
  HKEY k;
  EXPECT_EQ(RegOpenKeyExA(HKEY_USERS, ".DEFAULT", 0, KEY_READ, &k), ERROR_SUCCESS);
  RegCloseKey(k);
  EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Nothing", 0, KEY_READ, &k),
            ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(k, nullptr);
  // New hives are not made by RegCreateKey, nor are hives deleted.
  EXPECT_EQ(RegCreateKeyA(HKEY_LOCAL_MACHINE, "NEWHIVE", &k), ERROR_ACCESS_DENIED);
  EXPECT_EQ(RegCreateKeyA(HKEY_USERS, "S-1-5-21-1", &k), ERROR_ACCESS_DENIED);
  EXPECT_EQ(RegDeleteKeyA(HKEY_LOCAL_MACHINE, "HARDWARE"), ERROR_ACCESS_DENIED);
  EXPECT_EQ(RegDeleteKeyA(HKEY_LOCAL_MACHINE, ""), ERROR_ACCESS_DENIED);
  EXPECT_EQ(subkeys_of(HKEY_LOCAL_MACHINE), "HARDWARE|SAM|SECURITY|SOFTWARE|SYSTEM");
}

TEST_F(RegistryTest, AnsiStringsAreStoredAsUtf16ByteForByte) {
  // "hello" without its NUL stays without it: 5 ANSI bytes, 10 stored bytes.
  ASSERT_EQ(set_a(key_, "Plain", REG_SZ, "hello"), ERROR_SUCCESS);
  ASSERT_EQ(set_a(key_, "Terminated", REG_SZ, bytes_of("hello", 6)), ERROR_SUCCESS);
  ASSERT_EQ(set_a(key_, "Path", REG_EXPAND_SZ, bytes_of("%SystemRoot%\\x", 15)), ERROR_SUCCESS);
  std::string multi = bytes_of("a\0b`c\0\0", 7);
  ASSERT_EQ(set_a(key_, "Multi", REG_MULTI_SZ, multi), ERROR_SUCCESS);
  ASSERT_EQ(set_a(key_, "Empty", REG_SZ, ""), ERROR_SUCCESS);

  DWORD type = 0;
  EXPECT_EQ(get_a(key_, "Plain", &type), "hello");
  EXPECT_EQ(type, REG_SZ);
  EXPECT_EQ(get_w(key_, u"Plain"), utf16le(u"hello"));
  EXPECT_EQ(get_a(key_, "Terminated"), bytes_of("hello", 6));
  EXPECT_EQ(get_w(key_, u"Terminated"), utf16le(std::u16string(u"hello\0", 6)));
  EXPECT_EQ(get_a(key_, "Path", &type), bytes_of("%SystemRoot%\\x", 15));
  EXPECT_EQ(type, REG_EXPAND_SZ);
  EXPECT_EQ(get_a(key_, "Multi", &type), multi);
  EXPECT_EQ(type, REG_MULTI_SZ);
  EXPECT_EQ(get_w(key_, u"Multi"), utf16le(std::u16string(u"a\0b`c\0\0", 7)));
  LONG err = -1;
  EXPECT_EQ(get_a(key_, "Empty", &type, &err), "");
  EXPECT_EQ(err, ERROR_SUCCESS);

  // Sizes asked without a buffer are exact for each form.
  DWORD size = 0;
  ASSERT_EQ(RegQueryValueExA(key_, "Plain", nullptr, nullptr, nullptr, &size), ERROR_SUCCESS);
  EXPECT_EQ(size, 5u);
  ASSERT_EQ(RegQueryValueExW(key_, u"Plain", nullptr, nullptr, nullptr, &size), ERROR_SUCCESS);
  EXPECT_EQ(size, 10u);
}

TEST_F(RegistryTest, OtherTypesAreRawBytes) {
  std::string binary = bytes_of("\x01\x02\xFF\0\x80", 5);
  ASSERT_EQ(set_a(key_, "Bin", REG_BINARY, binary), ERROR_SUCCESS);
  ASSERT_EQ(set_a(key_, "Num", REG_DWORD, bytes_of("\x1F\0\0\0", 4)), ERROR_SUCCESS);
  ASSERT_EQ(set_a(key_, "Short", REG_DWORD, bytes_of("\x01\x02", 2)), ERROR_SUCCESS);
  ASSERT_EQ(set_a(key_, "None", REG_NONE, ""), ERROR_SUCCESS);
  ASSERT_EQ(set_a(key_, "Odd", 0x12345, "xyz"), ERROR_SUCCESS);
  DWORD type;
  EXPECT_EQ(get_a(key_, "Bin", &type), binary);
  EXPECT_EQ(type, REG_BINARY);
  EXPECT_EQ(get_w(key_, u"Bin"), binary);
  EXPECT_EQ(get_a(key_, "Num", &type), bytes_of("\x1F\0\0\0", 4));
  EXPECT_EQ(type, REG_DWORD);
  EXPECT_EQ(get_a(key_, "Short"), bytes_of("\x01\x02", 2));
  EXPECT_EQ(get_a(key_, "None", &type), "");
  EXPECT_EQ(type, REG_NONE);
  EXPECT_EQ(get_a(key_, "Odd", &type), "xyz");
  EXPECT_EQ(type, 0x12345u);

  // A string written by the W form with an odd size keeps it; the A form
  // reads the whole units only.
  ASSERT_EQ(set_w(key_, u"OddString", REG_SZ, bytes_of("a\0b", 3)), ERROR_SUCCESS);
  EXPECT_EQ(get_w(key_, u"OddString"), bytes_of("a\0b", 3));
  EXPECT_EQ(get_a(key_, "OddString"), "a");

  // Rewriting changes type and data.
  ASSERT_EQ(set_a(key_, "Bin", REG_SZ, bytes_of("x", 2)), ERROR_SUCCESS);
  EXPECT_EQ(get_a(key_, "Bin", &type), bytes_of("x", 2));
  EXPECT_EQ(type, REG_SZ);
}

TEST_F(RegistryTest, MoreDataGivesTheSizeNeeded) {
  ASSERT_EQ(set_a(key_, "S", REG_SZ, bytes_of("hello", 6)), ERROR_SUCCESS);
  char buffer[16] = "untouched";
  DWORD size = 5;
  DWORD type = 0;
  EXPECT_EQ(RegQueryValueExA(key_, "S", nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size),
            ERROR_MORE_DATA);
  EXPECT_EQ(size, 6u);
  EXPECT_EQ(type, REG_SZ);
  size = 11;
  EXPECT_EQ(RegQueryValueExW(key_, u"S", nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size),
            ERROR_MORE_DATA);
  EXPECT_EQ(size, 12u);
  size = 6;  // exactly enough
  EXPECT_EQ(RegQueryValueExA(key_, "S", nullptr, nullptr, reinterpret_cast<BYTE*>(buffer), &size),
            ERROR_SUCCESS);
  EXPECT_EQ(std::string(buffer, 6), bytes_of("hello", 6));

  // Arguments the calls refuse.
  DWORD reserved = 0;
  EXPECT_EQ(RegQueryValueExA(key_, "S", &reserved, nullptr, nullptr, &size),
            ERROR_INVALID_PARAMETER);
  EXPECT_EQ(RegQueryValueExA(key_, "S", nullptr, nullptr, reinterpret_cast<BYTE*>(buffer), nullptr),
            ERROR_INVALID_PARAMETER);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  // Neither buffer nor size: only whether it exists.
  EXPECT_EQ(RegQueryValueExA(key_, "S", nullptr, nullptr, nullptr, nullptr), ERROR_SUCCESS);
  EXPECT_EQ(RegQueryValueExA(key_, "Missing", nullptr, nullptr, nullptr, nullptr),
            ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(RegSetValueExA(key_, "X", 0, REG_BINARY, nullptr, 4), ERROR_NOACCESS);
}

TEST_F(RegistryTest, EnumerationOrderAndEnd) {
  for (const char* name : {"b", "A", "c", "_x", "B2"}) {
    HKEY k;
    ASSERT_EQ(RegCreateKeyA(key_, name, &k), ERROR_SUCCESS);
    RegCloseKey(k);
  }
  // Case-insensitive alphabetical: '_' sorts after the (upper-cased) letters.
  EXPECT_EQ(subkeys_of(key_), "A|b|B2|c|_x");
  char name[8];
  EXPECT_EQ(RegEnumKeyA(key_, 5, name, sizeof name), ERROR_NO_MORE_ITEMS);
  EXPECT_EQ(RegEnumKeyA(key_, 1000, name, sizeof name), ERROR_NO_MORE_ITEMS);

  for (const char* value : {"z", "a", "m"}) ASSERT_EQ(set_a(key_, value, REG_SZ, "1"), 0);
  EXPECT_EQ(values_of(key_), "z|a|m");  // creation order
  ASSERT_EQ(set_a(key_, "A", REG_SZ, "2"), ERROR_SUCCESS);  // rewriting keeps the place
  EXPECT_EQ(values_of(key_), "z|a|m");
  ASSERT_EQ(RegDeleteValueA(key_, "a"), ERROR_SUCCESS);
  ASSERT_EQ(set_a(key_, "a", REG_SZ, "3"), ERROR_SUCCESS);
  EXPECT_EQ(values_of(key_), "z|m|a");
  DWORD size = sizeof name;
  EXPECT_EQ(RegEnumValueA(key_, 3, name, &size, nullptr, nullptr, nullptr, nullptr),
            ERROR_NO_MORE_ITEMS);
}

TEST_F(RegistryTest, NamesIgnoreCaseAndKeepTheirCase) {
  HKEY k, again;
  DWORD disposition = 0;
  ASSERT_EQ(RegCreateKeyExA(key_, "MixedCase\\Inner", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &k,
                            &disposition),
            ERROR_SUCCESS);
  EXPECT_EQ(disposition, static_cast<DWORD>(REG_CREATED_NEW_KEY));
  ASSERT_EQ(RegCreateKeyExA(key_, "MIXEDCASE\\INNER", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                            &again, &disposition),
            ERROR_SUCCESS);
  EXPECT_EQ(disposition, static_cast<DWORD>(REG_OPENED_EXISTING_KEY));
  EXPECT_EQ(subkeys_of(key_), "MixedCase");

  ASSERT_EQ(set_a(k, "ValueOne", REG_SZ, "first"), ERROR_SUCCESS);
  ASSERT_EQ(set_a(again, "VALUEONE", REG_SZ, "second"), ERROR_SUCCESS);
  EXPECT_EQ(values_of(k), "ValueOne");
  EXPECT_EQ(get_a(k, "valueone"), "second");
  // Non-ASCII names follow the system's case mapping.
  ASSERT_EQ(set_a(k, "\xC3\xA9t\xC3\xA9", REG_DWORD, bytes_of("\x01\0\0\0", 4)), ERROR_SUCCESS);
  EXPECT_EQ(get_a(k, "\xC3\x89T\xC3\x89"), bytes_of("\x01\0\0\0", 4));
  RegCloseKey(k);
  RegCloseKey(again);

  // Any 16-bit units make a name, a lone surrogate too, and come back as given.
  std::u16string odd{u'x', char16_t(0xD800), u'y'};
  ASSERT_EQ(RegCreateKeyExW(key_, odd.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &k,
                            nullptr),
            ERROR_SUCCESS);
  ASSERT_EQ(set_w(k, odd.c_str(), REG_BINARY, "1"), ERROR_SUCCESS);
  WCHAR name[16];
  DWORD size = 16;
  ASSERT_EQ(RegEnumValueW(k, 0, name, &size, nullptr, nullptr, nullptr, nullptr), ERROR_SUCCESS);
  EXPECT_EQ(std::u16string(name, size), odd);
  RegCloseKey(k);
  size = 16;
  ASSERT_EQ(RegEnumKeyExW(key_, 1, name, &size, nullptr, nullptr, nullptr, nullptr),
            ERROR_SUCCESS);
  EXPECT_EQ(std::u16string(name, size), odd);
}

TEST_F(RegistryTest, ClassAndLastWriteTime) {
  FILETIME before_ft;
  GetSystemTimeAsFileTime(&before_ft);
  HKEY k;
  ASSERT_EQ(RegCreateKeyExA(key_, "Classy", 0, "QX", 0, KEY_ALL_ACCESS, nullptr, &k, nullptr),
            ERROR_SUCCESS);
  char cls[8];
  DWORD cls_size = sizeof cls;
  FILETIME created{};
  DWORD subkeys = 9, values = 9;
  ASSERT_EQ(RegQueryInfoKeyA(k, cls, &cls_size, nullptr, &subkeys, nullptr, nullptr, &values,
                             nullptr, nullptr, nullptr, &created),
            ERROR_SUCCESS);
  EXPECT_STREQ(cls, "QX");
  EXPECT_EQ(cls_size, 2u);
  EXPECT_EQ(subkeys, 0u);
  EXPECT_EQ(values, 0u);
  EXPECT_GE(filetime_to_u64(created), filetime_to_u64(before_ft));

  cls_size = 2;  // no room for the terminator
  EXPECT_EQ(RegQueryInfoKeyA(k, cls, &cls_size, nullptr, nullptr, nullptr, nullptr, nullptr,
                             nullptr, nullptr, nullptr, nullptr),
            ERROR_MORE_DATA);
  EXPECT_EQ(cls_size, 2u);

  // Opening again with another class changes nothing.
  HKEY same;
  ASSERT_EQ(RegCreateKeyExA(key_, "Classy", 0, "Other", 0, KEY_READ, nullptr, &same, nullptr),
            ERROR_SUCCESS);
  RegCloseKey(same);

  char name[16];
  DWORD name_size = sizeof name;
  cls_size = sizeof cls;
  FILETIME listed{};
  ASSERT_EQ(RegEnumKeyExA(key_, 0, name, &name_size, nullptr, cls, &cls_size, &listed),
            ERROR_SUCCESS);
  EXPECT_STREQ(name, "Classy");
  EXPECT_EQ(name_size, 6u);
  EXPECT_STREQ(cls, "QX");
  EXPECT_EQ(filetime_to_u64(listed), filetime_to_u64(created));
  name_size = 6;  // too small by the terminator
  EXPECT_EQ(RegEnumKeyExA(key_, 0, name, &name_size, nullptr, nullptr, nullptr, nullptr),
            ERROR_MORE_DATA);

  // A value change moves the time forward.
  Sleep(20);
  ASSERT_EQ(set_a(k, "v", REG_DWORD, bytes_of("\0\0\0\0", 4)), ERROR_SUCCESS);
  FILETIME changed{};
  ASSERT_EQ(RegQueryInfoKeyA(k, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                             nullptr, nullptr, nullptr, &changed),
            ERROR_SUCCESS);
  EXPECT_GE(filetime_to_u64(changed) - filetime_to_u64(created), 20 * 10000ull);
  Sleep(20);
  ASSERT_EQ(RegDeleteValueA(k, "v"), ERROR_SUCCESS);
  FILETIME deleted{};
  ASSERT_EQ(RegQueryInfoKeyA(k, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                             nullptr, nullptr, nullptr, &deleted),
            ERROR_SUCCESS);
  EXPECT_GT(filetime_to_u64(deleted), filetime_to_u64(changed));
  RegCloseKey(k);
}

TEST_F(RegistryTest, QueryInfoKeyCountsAndLengths) {
  HKEY k;
  ASSERT_EQ(RegCreateKeyExA(key_, "Info", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &k, nullptr),
            ERROR_SUCCESS);
  HKEY sub;
  ASSERT_EQ(RegCreateKeyExA(k, "abc", 0, "ClassName", 0, KEY_ALL_ACCESS, nullptr, &sub, nullptr),
            ERROR_SUCCESS);
  RegCloseKey(sub);
  ASSERT_EQ(RegCreateKeyA(k, "\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9", &sub), ERROR_SUCCESS);  // 4 chars
  RegCloseKey(sub);
  ASSERT_EQ(set_a(k, "n", REG_BINARY, std::string(300, 'x')), ERROR_SUCCESS);
  ASSERT_EQ(set_a(k, "longer-name", REG_SZ, bytes_of("abcd", 5)), ERROR_SUCCESS);
  ASSERT_EQ(set_a(k, "\xC3\xA9", REG_SZ, std::string(200, 'y')), ERROR_SUCCESS);

  DWORD subkeys, max_sub, max_class, values, max_name, max_data;
  ASSERT_EQ(RegQueryInfoKeyW(k, nullptr, nullptr, nullptr, &subkeys, &max_sub, &max_class,
                             &values, &max_name, &max_data, nullptr, nullptr),
            ERROR_SUCCESS);
  EXPECT_EQ(subkeys, 2u);
  EXPECT_EQ(max_sub, 4u);  // characters
  EXPECT_EQ(max_class, 9u);
  EXPECT_EQ(values, 3u);
  EXPECT_EQ(max_name, 11u);
  EXPECT_EQ(max_data, 400u);  // the 200-character string, stored as UTF-16
  // The A form tells what the A calls need: UTF-8 bytes, ANSI data sizes.
  ASSERT_EQ(RegQueryInfoKeyA(k, nullptr, nullptr, nullptr, &subkeys, &max_sub, &max_class,
                             &values, &max_name, &max_data, nullptr, nullptr),
            ERROR_SUCCESS);
  EXPECT_EQ(max_sub, 8u);
  EXPECT_EQ(max_data, 300u);
  EXPECT_EQ(max_name, 11u);
  RegCloseKey(k);
}

TEST_F(RegistryTest, EnumValueBuffersTooSmall) {
  ASSERT_EQ(set_a(key_, "ValueName", REG_BINARY, "0123456789"), ERROR_SUCCESS);
  char name[32];
  BYTE data[4];
  DWORD name_size = 9, data_size = sizeof data, type = 0;
  EXPECT_EQ(RegEnumValueA(key_, 0, name, &name_size, nullptr, &type, data, &data_size),
            ERROR_MORE_DATA);  // name needs 10 with its terminator
  EXPECT_EQ(data_size, 10u);
  name_size = sizeof name;
  data_size = sizeof data;
  EXPECT_EQ(RegEnumValueA(key_, 0, name, &name_size, nullptr, &type, data, &data_size),
            ERROR_MORE_DATA);  // the name fits, the data does not
  EXPECT_STREQ(name, "ValueName");
  EXPECT_EQ(name_size, 9u);
  EXPECT_EQ(type, REG_BINARY);
  EXPECT_EQ(data_size, 10u);
  BYTE big[16];
  data_size = sizeof big;
  name_size = sizeof name;
  EXPECT_EQ(RegEnumValueA(key_, 0, name, &name_size, nullptr, nullptr, big, &data_size),
            ERROR_SUCCESS);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(big), data_size), "0123456789");
  EXPECT_EQ(RegEnumValueA(key_, 0, nullptr, &name_size, nullptr, nullptr, nullptr, nullptr),
            ERROR_INVALID_PARAMETER);
  DWORD reserved = 0;
  EXPECT_EQ(RegEnumValueA(key_, 0, name, &name_size, &reserved, nullptr, nullptr, nullptr),
            ERROR_INVALID_PARAMETER);
}

TEST_F(RegistryTest, BadHandlesAndArguments) {
  HKEY k;
  HKEY bogus = reinterpret_cast<HKEY>(static_cast<uintptr_t>(0x7777770));
  EXPECT_EQ(RegOpenKeyExA(bogus, "x", 0, KEY_READ, &k), ERROR_INVALID_HANDLE);
  EXPECT_EQ(RegOpenKeyExA(nullptr, "x", 0, KEY_READ, &k), ERROR_INVALID_HANDLE);
  EXPECT_EQ(RegSetValueExA(bogus, "x", 0, REG_SZ, nullptr, 0), ERROR_INVALID_HANDLE);
  EXPECT_EQ(RegCloseKey(bogus), ERROR_INVALID_HANDLE);
  EXPECT_EQ(RegCloseKey(nullptr), ERROR_INVALID_HANDLE);
  EXPECT_EQ(RegFlushKey(bogus), ERROR_INVALID_HANDLE);
  EXPECT_EQ(RegOpenKeyExA(HKEY_PERFORMANCE_DATA, "x", 0, KEY_READ, &k), ERROR_INVALID_HANDLE);

  ASSERT_EQ(RegOpenKeyExA(key_, "", 0, KEY_READ, &k), ERROR_SUCCESS);
  EXPECT_NE(k, key_);  // a new handle to the same key
  EXPECT_EQ(RegFlushKey(k), ERROR_SUCCESS);
  EXPECT_EQ(RegCloseKey(k), ERROR_SUCCESS);
  EXPECT_EQ(RegCloseKey(k), ERROR_INVALID_HANDLE);  // closed handles are gone
  EXPECT_EQ(RegCloseKey(HKEY_LOCAL_MACHINE), ERROR_SUCCESS);

  EXPECT_EQ(RegOpenKeyExA(key_, "x", 0, KEY_READ, nullptr), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(RegCreateKeyExA(key_, nullptr, 0, nullptr, 0, KEY_READ, nullptr, &k, nullptr),
            ERROR_INVALID_PARAMETER);
  EXPECT_EQ(RegCreateKeyExA(key_, "x", 0, nullptr, 0x100, KEY_READ, nullptr, &k, nullptr),
            ERROR_INVALID_PARAMETER);
  EXPECT_EQ(RegDeleteKeyA(key_, nullptr), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(RegOpenKeyExA(key_, "\\leading", 0, KEY_READ, &k), ERROR_BAD_PATHNAME);
  EXPECT_EQ(RegCreateKeyA(key_, "a\\\\b", &k), ERROR_BAD_PATHNAME);

  // Key names up to 255 characters.
  std::string longest(255, 'k');
  ASSERT_EQ(RegCreateKeyA(key_, longest.c_str(), &k), ERROR_SUCCESS);
  RegCloseKey(k);
  EXPECT_EQ(RegCreateKeyA(key_, (longest + "k").c_str(), &k), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(RegOpenKeyExA(key_, (longest + "k").c_str(), 0, KEY_READ, &k), ERROR_INVALID_PARAMETER);
  // Paths up to 512 levels deep.
  std::string deep;
  for (int i = 0; i < 513; ++i) deep += "d\\";
  EXPECT_EQ(RegOpenKeyExA(key_, deep.c_str(), 0, KEY_READ, &k), ERROR_INVALID_PARAMETER);
  // Value names up to 16383 characters.
  std::string long_value(16383, 'v');
  EXPECT_EQ(set_a(key_, long_value.c_str(), REG_SZ, "x"), ERROR_SUCCESS);
  EXPECT_EQ(get_a(key_, long_value.c_str()), "x");
  EXPECT_EQ(set_a(key_, (long_value + "v").c_str(), REG_SZ, "x"), ERROR_INVALID_PARAMETER);
  // A trailing backslash is accepted.
  ASSERT_EQ(RegOpenKeyExA(key_, (longest + "\\").c_str(), 0, KEY_READ, &k), ERROR_SUCCESS);
  RegCloseKey(k);
}

TEST_F(RegistryTest, DeletingKeys) {
  HKEY parent, child;
  ASSERT_EQ(RegCreateKeyA(key_, "Parent\\Child", &child), ERROR_SUCCESS);
  ASSERT_EQ(set_a(child, "v", REG_SZ, "x"), ERROR_SUCCESS);
  ASSERT_EQ(RegOpenKeyA(key_, "Parent", &parent), ERROR_SUCCESS);
  EXPECT_EQ(RegDeleteKeyA(key_, "Parent"), ERROR_ACCESS_DENIED);  // has a subkey
  EXPECT_EQ(RegDeleteKeyA(key_, "Parent\\Nothing"), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(RegDeleteKeyA(key_, "parent\\CHILD"), ERROR_SUCCESS);
  EXPECT_EQ(subkeys_of(parent), "");
  // The handle of the deleted key is still a handle, of a deleted key.
  LONG err;
  get_a(child, "v", nullptr, &err);
  EXPECT_EQ(err, ERROR_KEY_DELETED);
  EXPECT_EQ(set_a(child, "w", REG_SZ, "x"), ERROR_KEY_DELETED);
  HKEY again;
  EXPECT_EQ(RegCreateKeyA(child, "sub", &again), ERROR_KEY_DELETED);
  EXPECT_EQ(RegCloseKey(child), ERROR_SUCCESS);
  // Made again, it is a new key without the old values.
  ASSERT_EQ(RegCreateKeyA(parent, "Child", &again), ERROR_SUCCESS);
  EXPECT_EQ(values_of(again), "");
  RegCloseKey(again);
  EXPECT_EQ(RegDeleteKeyA(parent, ""), ERROR_ACCESS_DENIED);
  ASSERT_EQ(RegDeleteKeyA(parent, "Child"), ERROR_SUCCESS);
  EXPECT_EQ(RegDeleteKeyA(parent, ""), ERROR_SUCCESS);  // the handle's own key
  EXPECT_EQ(RegDeleteValueA(parent, "x"), ERROR_KEY_DELETED);
  RegCloseKey(parent);
  EXPECT_EQ(RegDeleteValueA(key_, "missing"), ERROR_FILE_NOT_FOUND);
}

TEST_F(RegistryTest, HandleAccessIsEnforced) {
  HKEY reader, writer, k;
  ASSERT_EQ(RegCreateKeyA(key_, "Acc\\Existing", &k), ERROR_SUCCESS);
  RegCloseKey(k);
  ASSERT_EQ(RegOpenKeyExA(key_, "Acc", 0, KEY_READ, &reader), ERROR_SUCCESS);
  ASSERT_EQ(RegOpenKeyExA(key_, "Acc", 0, KEY_WRITE, &writer), ERROR_SUCCESS);
  EXPECT_EQ(set_a(reader, "v", REG_SZ, "x"), ERROR_ACCESS_DENIED);
  EXPECT_EQ(RegDeleteValueA(reader, "v"), ERROR_ACCESS_DENIED);
  EXPECT_EQ(RegCreateKeyExA(reader, "New", 0, nullptr, 0, KEY_READ, nullptr, &k, nullptr),
            ERROR_ACCESS_DENIED);
  ASSERT_EQ(RegCreateKeyExA(reader, "Existing", 0, nullptr, 0, KEY_READ, nullptr, &k, nullptr),
            ERROR_SUCCESS);  // opening what exists needs no create right
  RegCloseKey(k);
  ASSERT_EQ(set_a(writer, "v", REG_SZ, "x"), ERROR_SUCCESS);
  LONG err;
  get_a(writer, "v", nullptr, &err);
  EXPECT_EQ(err, ERROR_ACCESS_DENIED);
  char name[16];
  EXPECT_EQ(RegEnumKeyA(writer, 0, name, sizeof name), ERROR_ACCESS_DENIED);
  EXPECT_EQ(get_a(reader, "v"), "x");
  // Generic rights map to the key rights.
  ASSERT_EQ(RegOpenKeyExA(key_, "Acc", 0, 0x80000000u /* GENERIC_READ */, &k), ERROR_SUCCESS);
  EXPECT_EQ(get_a(k, "v"), "x");
  EXPECT_EQ(set_a(k, "v", REG_SZ, "y"), ERROR_ACCESS_DENIED);
  RegCloseKey(k);
  RegCloseKey(reader);
  RegCloseKey(writer);
}

TEST_F(RegistryTest, PredefinedKeysMapToStoredKeys) {
  HKEY k;
  ASSERT_EQ(RegCreateKeyA(HKEY_CLASSES_ROOT, ".txt", &k), ERROR_SUCCESS);
  ASSERT_EQ(set_a(k, "", REG_SZ, bytes_of("txtfile", 8)), ERROR_SUCCESS);
  RegCloseKey(k);
  ASSERT_EQ(RegOpenKeyA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Classes\\.TXT", &k), ERROR_SUCCESS);
  EXPECT_EQ(get_a(k, nullptr), bytes_of("txtfile", 8));
  RegCloseKey(k);

  std::string sid = nt_reg_current_user_sid();
  EXPECT_EQ(sid.rfind("S-1-5-21-", 0), 0u);
  ASSERT_EQ(RegCreateKeyA(HKEY_CURRENT_USER, "Software\\Mine", &k), ERROR_SUCCESS);
  ASSERT_EQ(set_a(k, "Who", REG_SZ, "me"), ERROR_SUCCESS);
  RegCloseKey(k);
  ASSERT_EQ(RegOpenKeyA(HKEY_USERS, (sid + "\\Software\\Mine").c_str(), &k), ERROR_SUCCESS);
  EXPECT_EQ(get_a(k, "Who"), "me");
  RegCloseKey(k);

  // Another user has another key; the administrator has the well-known RID.
  net_.env().set("USERNAME", "Administrator");
  std::string admin = nt_reg_current_user_sid();
  EXPECT_NE(admin, sid);
  EXPECT_EQ(admin.substr(admin.size() - 4), "-500");
  EXPECT_EQ(RegOpenKeyA(HKEY_CURRENT_USER, "Software\\Mine", &k), ERROR_FILE_NOT_FOUND);

  ASSERT_EQ(RegCreateKeyA(HKEY_CURRENT_CONFIG, "Profile", &k), ERROR_SUCCESS);
  RegCloseKey(k);
  EXPECT_EQ(RegOpenKeyA(HKEY_LOCAL_MACHINE,
                        "SYSTEM\\CurrentControlSet\\Hardware Profiles\\Current\\Profile", &k),
            ERROR_SUCCESS);
  RegCloseKey(k);

  // RegOpenKey and RegCreateKey with no subkey give the handle back.
  EXPECT_EQ(RegOpenKeyA(key_, nullptr, &k), ERROR_SUCCESS);
  EXPECT_EQ(k, key_);
  EXPECT_EQ(RegCreateKeyA(HKEY_USERS, "", &k), ERROR_SUCCESS);
  EXPECT_EQ(k, HKEY_USERS);
}

TEST_F(RegistryTest, OldStyleDefaultValueCalls) {
  ASSERT_EQ(RegSetValueA(key_, "Def\\Sub", REG_SZ, "text", 999), ERROR_SUCCESS);
  char buffer[16];
  LONG size = sizeof buffer;
  ASSERT_EQ(RegQueryValueA(key_, "Def\\Sub", buffer, &size), ERROR_SUCCESS);
  EXPECT_EQ(size, 5);
  EXPECT_STREQ(buffer, "text");
  HKEY k;
  ASSERT_EQ(RegOpenKeyA(key_, "Def\\Sub", &k), ERROR_SUCCESS);
  EXPECT_EQ(get_w(k, nullptr), utf16le(std::u16string(u"text\0", 5)));
  RegCloseKey(k);

  size = 3;
  EXPECT_EQ(RegQueryValueA(key_, "Def\\Sub", buffer, &size), ERROR_MORE_DATA);
  EXPECT_EQ(size, 5);
  size = sizeof buffer;
  ASSERT_EQ(RegQueryValueA(key_, "Def", buffer, &size), ERROR_SUCCESS);  // no default value
  EXPECT_EQ(size, 1);
  EXPECT_STREQ(buffer, "");
  EXPECT_EQ(RegQueryValueA(key_, "Nope", buffer, &size), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(RegSetValueA(key_, "Def", REG_DWORD, "x", 1), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(RegSetValueA(key_, "Def", REG_SZ, nullptr, 0), ERROR_INVALID_PARAMETER);
}

TEST_F(RegistryTest, RemoteRegistryOfAnotherMachine) {
  add_machine("SRV2");
  HKEY remote;
  ASSERT_EQ(RegConnectRegistryA("\\\\srv2", HKEY_LOCAL_MACHINE, &remote), ERROR_SUCCESS);
  HKEY k;
  ASSERT_EQ(RegCreateKeyA(remote, "SOFTWARE\\Remote", &k), ERROR_SUCCESS);
  ASSERT_EQ(set_a(k, "Where", REG_SZ, "srv2"), ERROR_SUCCESS);
  RegCloseKey(k);
  // Not on the local machine.
  EXPECT_EQ(RegOpenKeyA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Remote", &k), ERROR_FILE_NOT_FOUND);
  // Seen by a new connection, also by name without backslashes.
  HKEY other;
  ASSERT_EQ(RegConnectRegistryW(u"SRV2", HKEY_LOCAL_MACHINE, &other), ERROR_SUCCESS);
  EXPECT_NE(other, remote);
  ASSERT_EQ(RegOpenKeyA(other, "software\\remote", &k), ERROR_SUCCESS);
  EXPECT_EQ(get_a(k, "Where"), "srv2");
  RegCloseKey(k);
  RegCloseKey(other);

  // The machine goes down: open handles fail with the RPC error, new
  // connections with "bad network path"; back up, both work again.
  NtMachineRef ref;
  ASSERT_EQ(nt_open_machine("SRV2", &ref), ERROR_SUCCESS);
  ASSERT_EQ(nt_machine_set_online(*ref.store, false), ERROR_SUCCESS);
  EXPECT_EQ(RegOpenKeyA(remote, "SOFTWARE", &k), RPC_S_SERVER_UNAVAILABLE);
  EXPECT_EQ(RegConnectRegistryA("\\\\SRV2", HKEY_LOCAL_MACHINE, &other), ERROR_BAD_NETPATH);
  EXPECT_EQ(other, nullptr);
  ASSERT_EQ(nt_machine_set_online(*ref.store, true), ERROR_SUCCESS);
  ASSERT_EQ(RegOpenKeyA(remote, "SOFTWARE", &k), ERROR_SUCCESS);
  RegCloseKey(k);
  EXPECT_EQ(RegCloseKey(remote), ERROR_SUCCESS);

  EXPECT_EQ(RegConnectRegistryA("\\\\NOSUCH", HKEY_LOCAL_MACHINE, &other), ERROR_BAD_NETPATH);
  EXPECT_EQ(RegConnectRegistryA("\\\\SRV2", HKEY_PERFORMANCE_DATA, &other), ERROR_INVALID_HANDLE);
  EXPECT_EQ(RegConnectRegistryA("\\\\SRV2", key_, &other), ERROR_INVALID_HANDLE);
  EXPECT_EQ(RegConnectRegistryA("\\\\SRV2", HKEY_LOCAL_MACHINE, nullptr), ERROR_INVALID_PARAMETER);

  // The remote classes root and users are that machine's.
  ASSERT_EQ(RegConnectRegistryA("\\\\SRV2", HKEY_CLASSES_ROOT, &other), ERROR_SUCCESS);
  ASSERT_EQ(RegCreateKeyA(other, ".srv", &k), ERROR_SUCCESS);
  RegCloseKey(k);
  RegCloseKey(other);
  EXPECT_EQ(RegOpenKeyA(HKEY_CLASSES_ROOT, ".srv", &k), ERROR_FILE_NOT_FOUND);
}

TEST_F(RegistryTest, ConnectingToTheLocalMachineGivesThePredefinedKey) {
  HKEY k = nullptr;
  ASSERT_EQ(RegConnectRegistryA(nullptr, HKEY_LOCAL_MACHINE, &k), ERROR_SUCCESS);
  EXPECT_EQ(k, HKEY_LOCAL_MACHINE);
  ASSERT_EQ(RegConnectRegistryA("", HKEY_CURRENT_USER, &k), ERROR_SUCCESS);
  EXPECT_EQ(k, HKEY_CURRENT_USER);
  ASSERT_EQ(RegConnectRegistryA("\\\\localpc", HKEY_USERS, &k), ERROR_SUCCESS);
  EXPECT_EQ(k, HKEY_USERS);
  EXPECT_EQ(RegCloseKey(k), ERROR_SUCCESS);
}

TEST_F(RegistryTest, AnsiCodePageConversions) {
  net_.env().pages("1252", "850");
  // "café" and a value name "Grüß" in code page 1252.
  ASSERT_EQ(set_a(key_, "Gr\xFC\xDF", REG_SZ, bytes_of("caf\xE9", 5)), ERROR_SUCCESS);
  EXPECT_EQ(get_w(key_, u"GR\u00dc\u00df"), utf16le(std::u16string(u"caf\u00e9\0", 5)));
  EXPECT_EQ(get_a(key_, "gr\xFC\xDF"), bytes_of("caf\xE9", 5));
  EXPECT_EQ(values_of(key_), "Gr\xFC\xDF");
  // A string written by the W form, read by the A form in 1252.
  ASSERT_EQ(set_w(key_, u"Euro", REG_SZ, utf16le(u"\u20ac")), ERROR_SUCCESS);
  EXPECT_EQ(get_a(key_, "Euro"), "\x80");
  DWORD max_name = 0, max_data = 0;
  ASSERT_EQ(RegQueryInfoKeyA(key_, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                             &max_name, &max_data, nullptr, nullptr),
            ERROR_SUCCESS);
  EXPECT_EQ(max_name, 4u);
  EXPECT_EQ(max_data, 5u);
}

TEST_F(RegistryTest, KeySecurityIsStoredForLater) {
  std::string sd;
  ASSERT_EQ(nt_reg_get_key_security(key_, &sd), ERROR_SUCCESS);
  EXPECT_EQ(sd, "");
  std::string blob = bytes_of("\x01\x00\x04\x80\0\0\0\0", 8);
  ASSERT_EQ(nt_reg_set_key_security(key_, blob), ERROR_SUCCESS);
  ASSERT_EQ(nt_reg_get_key_security(key_, &sd), ERROR_SUCCESS);
  EXPECT_EQ(sd, blob);
  DWORD size = 0;
  ASSERT_EQ(RegQueryInfoKeyA(key_, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                             nullptr, nullptr, &size, nullptr),
            ERROR_SUCCESS);
  EXPECT_EQ(size, 8u);
}

}  // namespace
