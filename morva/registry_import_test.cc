#include "morva/registry_import.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "platform/kernel/error.h"
#include "platform/network/network.h"
#include "platform/network/network_test_env.h"
#include "platform/registry/registry.h"

namespace {

std::string bytes(const char* text, size_t size) { return std::string(text, size); }

class RegistryImportTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string root;
    ASSERT_EQ(nt_network_ensure(&root), ERROR_SUCCESS);
  }

  // Writes a change file; its host path.
  std::string write(const std::string& name, const std::string& text) {
    std::string path = net_.root() + "/" + name;
    FILE* f = fopen(path.c_str(), "wb");
    EXPECT_NE(f, nullptr);
    if (f != nullptr) {
      fwrite(text.data(), 1, text.size(), f);
      fclose(f);
    }
    return path;
  }

  // A value of the local machine; "<error N>" when it cannot be read.
  static std::string value(const char* key, const char* name, DWORD* type = nullptr) {
    HKEY k = nullptr;
    LONG rc = RegOpenKeyExA(HKEY_LOCAL_MACHINE, key, 0, KEY_READ, &k);
    char data[8192];
    DWORD size = sizeof data;
    DWORD t = 0;
    if (rc == 0) rc = RegQueryValueExA(k, name, nullptr, &t, reinterpret_cast<BYTE*>(data), &size);
    if (k != nullptr) RegCloseKey(k);
    if (type != nullptr) *type = t;
    return rc == 0 ? std::string(data, size) : "<error " + std::to_string(rc) + ">";
  }

  static std::string key_class(const char* key) {
    HKEY k = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, key, 0, KEY_READ, &k) != 0) return "<none>";
    char name[64] = "";
    DWORD size = sizeof name;
    LONG rc = RegQueryInfoKeyA(k, name, &size, nullptr, nullptr, nullptr, nullptr, nullptr,
                               nullptr, nullptr, nullptr, nullptr);
    RegCloseKey(k);
    return rc == 0 ? std::string(name, size) : "<error>";
  }

  TempNetwork net_;
};

TEST_F(RegistryImportTest, EveryValueTypeIsWrittenAsTheNotationSays) {
  std::string file = write("all.reg",
                           "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Profile]\r\n"
                           "Num=REG_DWORD:1F\r\n"
                           "Bin=REG_BINARY:0102FF\r\n"
                           "Multi=REG_MULTI_SZ:a`b``c\r\n"
                           "Path=reg_expand_sz:%SystemRoot%\\x\r\n"
                           "Sz=REG_SZ:kept whole\r\n"
                           "Name=hello\r\n"
                           "Empty=\r\n");
  ASSERT_EQ(import_registry(file.c_str()), ERROR_SUCCESS);
  const char* key = "SOFTWARE\\Profile";
  DWORD type = 0;
  EXPECT_EQ(value(key, "Num", &type), bytes("\x1F\0\0\0", 4));
  EXPECT_EQ(type, REG_DWORD);
  EXPECT_EQ(value(key, "Bin", &type), bytes("\x01\x02\xFF", 3));
  EXPECT_EQ(type, REG_BINARY);
  // a, b`c: each string ended, then the list.
  EXPECT_EQ(value(key, "Multi", &type), bytes("a\0b`c\0\0", 7));
  EXPECT_EQ(type, REG_MULTI_SZ);
  EXPECT_EQ(value(key, "Path", &type), bytes("%SystemRoot%\\x\0", 15));
  EXPECT_EQ(type, REG_EXPAND_SZ);
  // No "REG_SZ:" prefix here: the text is a plain string, without its NUL.
  EXPECT_EQ(value(key, "Sz", &type), "REG_SZ:kept whole");
  EXPECT_EQ(type, REG_SZ);
  EXPECT_EQ(value(key, "Name", &type), "hello");
  EXPECT_EQ(value(key, "Empty"), "<error 2>");
  EXPECT_EQ(key_class(key), "QX");
}

TEST_F(RegistryImportTest, SectionsApplyInOrderUntilTheFirstError) {
  // The second section names another root: the first stays applied.
  std::string file = write("roots.reg",
                           "[hkey_local_machine\\SOFTWARE\\First]\r\n"
                           "A=one\r\n"
                           "[HKEY_CURRENT_USER\\Software\\Second]\r\n"
                           "B=two\r\n"
                           "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Third]\r\n"
                           "C=three\r\n");
  EXPECT_EQ(import_registry(file.c_str()), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(value("SOFTWARE\\First", "A"), "one");
  EXPECT_EQ(key_class("SOFTWARE\\Third"), "<none>");

  // A malformed number ends the import; the values before it stay.
  file = write("number.reg",
               "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Numbers]\r\n"
               "Good=REG_DWORD:10\r\n"
               "Bad=REG_DWORD:xyz\r\n"
               "Later=REG_DWORD:20\r\n");
  EXPECT_EQ(import_registry(file.c_str()), ERROR_INVALID_DATA);
  EXPECT_EQ(value("SOFTWARE\\Numbers", "Good"), bytes("\x10\0\0\0", 4));
  EXPECT_EQ(value("SOFTWARE\\Numbers", "Later"), "<error 2>");

  // A section that is only the root, or a root with a longer name.
  EXPECT_EQ(import_registry(write("bare.reg", "[HKEY_LOCAL_MACHINE]\r\nA=1\r\n").c_str()),
            ERROR_INVALID_PARAMETER);
  EXPECT_EQ(import_registry(write("long.reg", "[HKEY_LOCAL_MACHINEX\\SOFTWARE\\Y]\r\nA=1\r\n")
                                .c_str()),
            ERROR_INVALID_PARAMETER);
  // A key directly below the root cannot be made: the registry's error.
  EXPECT_EQ(import_registry(write("top.reg", "[HKEY_LOCAL_MACHINE\\NEWTOP]\r\nA=1\r\n").c_str()),
            ERROR_ACCESS_DENIED);
}

TEST_F(RegistryImportTest, FilesWithoutSectionsOrMissingFiles) {
  EXPECT_EQ(import_registry(write("none.reg", "A=1\r\n; only a comment\r\n").c_str()),
            ERROR_INVALID_PARAMETER);
  EXPECT_EQ(import_registry(write("empty.reg", "").c_str()), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(import_registry((net_.root() + "/missing.reg").c_str()), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(import_registry((net_.root() + "/nodir/missing.reg").c_str()), ERROR_PATH_NOT_FOUND);
  EXPECT_EQ(import_registry(""), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(import_registry(nullptr), ERROR_INVALID_PARAMETER);
}

TEST_F(RegistryImportTest, ValueTextsAtTheBufferLimit) {
  // 5,118 characters fit the 5,120-byte buffer with room to spare; a longer
  // text would be cut and is refused instead of written wrong.
  std::string fits(MORVA_IMPORT_BUFFER_SIZE - 2, 'x');
  std::string cut(MORVA_IMPORT_BUFFER_SIZE - 1, 'y');
  std::string file = write("limit.reg", "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Limit]\r\nFits=" + fits +
                                            "\r\nCut=" + cut + "\r\nAfter=z\r\n");
  EXPECT_EQ(import_registry(file.c_str()), ERROR_MORE_DATA);
  EXPECT_EQ(value("SOFTWARE\\Limit", "Fits"), fits);
  EXPECT_EQ(value("SOFTWARE\\Limit", "Cut"), "<error 2>");
  EXPECT_EQ(value("SOFTWARE\\Limit", "After"), "<error 2>");
}

TEST(ImportSectionSubkey, OnlyKeysBelowTheLocalMachine) {
  EXPECT_STREQ(import_section_subkey("HKEY_LOCAL_MACHINE\\SOFTWARE\\X"), "SOFTWARE\\X");
  EXPECT_STREQ(import_section_subkey("Hkey_Local_Machine\\a"), "a");
  EXPECT_EQ(import_section_subkey("HKEY_LOCAL_MACHINE"), nullptr);
  EXPECT_EQ(import_section_subkey("HKEY_LOCAL_MACHINE\\"), nullptr);
  EXPECT_EQ(import_section_subkey("HKEY_LOCAL_MACHIN\\X"), nullptr);
  EXPECT_EQ(import_section_subkey("HKEY_USERS\\X"), nullptr);
  EXPECT_EQ(import_section_subkey(""), nullptr);
  EXPECT_EQ(import_section_subkey(nullptr), nullptr);
}

}  // namespace
