// keylo end to end: the built program imports and shows values on a network
// of machines in two domains (see platform/netapi/netapi_test_network.h).
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdio>
#include <string>
#include <vector>

#include "lib/testing/run_program.h"
#include "platform/netapi/netapi_test_network.h"
#include "platform/registry/registry.h"

namespace {

const char kExample[] =
    "; every kind of value\r\n"
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Example]\r\n"
    "Num=REG_DWORD:0000001F\r\n"
    "Big=REG_DWORD:0012D687\r\n"
    "Neg=REG_DWORD:FFFFFFFF\r\n"
    "Bin=REG_BINARY:0102FF\r\n"
    "Odd=REG_BINARY:ABC\r\n"
    "Multi=REG_MULTI_SZ:a`b``c\r\n"
    "Path=REG_EXPAND_SZ:%SystemRoot%\\x\r\n"
    "Sz=reg_sz:with nul\r\n"
    "Name=hello\r\n"
    "Empty=\r\n"
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Example\\Sub]\r\n"
    "Deep=REG_SZ:deeper\r\n";

const char kKeyLine[] = "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Example]\n";

class KeyloTest : public ::testing::Test {
 protected:
  void SetUp() override {
    net_.env()
        .lang("en_US.UTF-8")
        .set("SERVERLIST", nullptr)
        .set("KEYLO_KFORMAT", nullptr)
        .set("KEYLO_VFORMAT", nullptr);
    files_ = net_.root() + "/files";
    ASSERT_EQ(mkdir(files_.c_str(), 0777), 0);
    example_ = nt(write("example.reg", kExample));
  }

  // A host path as a tool's argument takes it: a leading '/' would make an
  // option, so the separators are backslashes ("\\tmp\\x" is /tmp/x).
  static std::string nt(std::string path) {
    for (char& c : path) {
      if (c == '/') c = '\\';
    }
    return path;
  }

  std::string write(const std::string& name, const std::string& text) {
    std::string path = files_ + "/" + name;
    FILE* f = fopen(path.c_str(), "wb");
    EXPECT_NE(f, nullptr);
    if (f) {
      fwrite(text.data(), 1, text.size(), f);
      fclose(f);
    }
    return path;
  }

  ProgramResult keylo(const std::vector<std::string>& args) {
    return run_program(built_program_path("keylo"), args, files_);
  }

  // Runs keylo and expects it to end with 0 and exactly these outputs.
  void expect_run(const std::vector<std::string>& args, const std::string& out,
                  const std::string& err) {
    ProgramResult r = keylo(args);
    std::string what = "keylo";
    for (const std::string& a : args) what += " " + a;
    EXPECT_EQ(r.exit_code, 0) << what;
    EXPECT_EQ(r.out, out) << what;
    EXPECT_EQ(r.err, err) << what;
  }

  // A value on a machine (null: the local one) as the A calls read it.
  std::string value(const char* server, const char* key, const char* name, DWORD* type = nullptr,
                    LONG* error = nullptr) {
    HKEY root = nullptr, k = nullptr;
    LONG rc = RegConnectRegistryA(server, HKEY_LOCAL_MACHINE, &root);
    if (rc == 0) rc = RegOpenKeyExA(root, key, 0, KEY_READ, &k);
    char data[8192];
    DWORD size = sizeof data, t = 0;
    if (rc == 0) rc = RegQueryValueExA(k, name, nullptr, &t, reinterpret_cast<BYTE*>(data), &size);
    if (k) RegCloseKey(k);
    if (root) RegCloseKey(root);
    if (type) *type = t;
    if (error) *error = rc;
    return rc == 0 ? std::string(data, size) : "<error " + std::to_string(rc) + ">";
  }

  bool has_key(const char* server, const char* key) {
    HKEY root = nullptr, k = nullptr;
    if (RegConnectRegistryA(server, HKEY_LOCAL_MACHINE, &root) != 0) return false;
    bool found = RegOpenKeyExA(root, key, 0, KEY_READ, &k) == 0;
    if (k) RegCloseKey(k);
    RegCloseKey(root);
    return found;
  }

  void set_value(const char* name, DWORD type, const std::string& data) {
    HKEY k = nullptr;
    ASSERT_EQ(RegCreateKeyA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Example", &k), 0);
    ASSERT_EQ(RegSetValueExA(k, name, 0, type, reinterpret_cast<const BYTE*>(data.data()),
                             static_cast<DWORD>(data.size())),
              0);
    RegCloseKey(k);
  }

  TestNetwork net_;
  std::string files_;
  std::string example_;
};

TEST_F(KeyloTest, FrameHelpVersionAndCommandErrors) {
  ProgramResult r = keylo({});
  EXPECT_EQ(r.exit_code, 255);
  EXPECT_EQ(r.out.rfind("keylo V1.1.0107  Registry import for many servers\nusage: keylo import",
                        0),
            0u)
      << r.out;
  EXPECT_NE(r.out.find("keylo import imports textfiles into the registry. See sample.reg for "
                       "syntax\nkeylo sho shows registry values formatted\n"),
            std::string::npos);
  EXPECT_NE(r.out.find("       keylo show <key> <name> [~formats]\n"), std::string::npos);
  r = keylo({"ver"});
  EXPECT_EQ(r.exit_code, 255);
  EXPECT_EQ(r.out, "keylo V1.1.0107  Registry import for many servers\n");
  // /?, help and a command without its target all print the help.
  for (std::vector<std::string> args :
       {std::vector<std::string>{"/?"}, {"help"}, {"import"}, {"show", "/v"}}) {
    r = keylo(args);
    EXPECT_EQ(r.exit_code, 255);
    EXPECT_NE(r.out.find("usage: keylo import <filename>"), std::string::npos);
  }
  r = keylo({"sho", "/Z"});
  EXPECT_EQ(r.exit_code, 87);
  EXPECT_EQ(r.err, "PARAM-ERROR, invalid option '/Z'\nkeylo-ERROR, error in argument number 2\n");
  r = keylo({"import", "a", "b", "c"});
  EXPECT_EQ(r.exit_code, 87);
  EXPECT_EQ(r.err, "PARAM-ERROR, invalid parameter 4\nkeylo-ERROR, error in argument number 4\n");
  // Criteria, /y and ~S are taken and do nothing.
  expect_run({"xyz", "foo", "-tX", "-vY", "/y", "~Sz"}, "", "KEYLO-ERROR, invalid command 'xyz'\n");
}

TEST_F(KeyloTest, ImportsEveryValueTypeIntoTheLocalRegistry) {
  expect_run({"import", example_}, "KEYLO-INFO, 1 servers have imported\n", "");
  const char* key = "SOFTWARE\\Example";
  DWORD type = 0;
  EXPECT_EQ(value(nullptr, key, "Num", &type), std::string("\x1F\0\0\0", 4));
  EXPECT_EQ(type, REG_DWORD);
  EXPECT_EQ(value(nullptr, key, "Bin", &type), "\x01\x02\xFF");
  EXPECT_EQ(type, REG_BINARY);
  EXPECT_EQ(value(nullptr, key, "Odd"), "\xAB\x0C");
  EXPECT_EQ(value(nullptr, key, "Multi", &type), std::string("a\0b`c\0\0", 7));
  EXPECT_EQ(type, REG_MULTI_SZ);
  EXPECT_EQ(value(nullptr, key, "Path", &type), std::string("%SystemRoot%\\x\0", 15));
  EXPECT_EQ(type, REG_EXPAND_SZ);
  EXPECT_EQ(value(nullptr, key, "Sz", &type), std::string("with nul\0", 9));
  EXPECT_EQ(type, REG_SZ);
  EXPECT_EQ(value(nullptr, key, "Name", &type), "hello");  // five bytes, no terminator
  EXPECT_EQ(type, REG_SZ);
  EXPECT_EQ(value(nullptr, key, "Empty"), "<error 2>");
  EXPECT_EQ(value(nullptr, "SOFTWARE\\Example\\Sub", "Deep"), std::string("deeper\0", 7));
  // Keys are made with the class "QX".
  HKEY k = nullptr;
  ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, key, 0, KEY_READ, &k), 0);
  char cls[16];
  DWORD cls_size = sizeof cls;
  ASSERT_EQ(RegQueryInfoKeyA(k, cls, &cls_size, nullptr, nullptr, nullptr, nullptr, nullptr,
                             nullptr, nullptr, nullptr, nullptr),
            0);
  EXPECT_EQ(std::string(cls, cls_size), "QX");
  RegCloseKey(k);

  // A bare file name is the one in the current directory; importing again
  // overwrites.
  write("again.reg", "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Example]\nNum=REG_DWORD:2\n");
  expect_run({"import", "again.reg"}, "KEYLO-INFO, 1 servers have imported\n", "");
  EXPECT_EQ(value(nullptr, key, "Num"), std::string("\x02\0\0\0", 4));
}

TEST_F(KeyloTest, ShowsEveryTypeInTheImportNotation) {
  expect_run({"import", example_}, "KEYLO-INFO, 1 servers have imported\n", "");
  const std::vector<std::pair<const char*, const char*>> lines = {
      {"Num", "Num=REG_DWORD:31"},  // a number now, no longer the import notation
      {"Big", "Big=REG_DWORD:1,234,567"},
      {"Neg", "Neg=REG_DWORD:(1)"},
      {"Bin", "Bin=REG_BINARY:0102FF"},
      {"Odd", "Odd=REG_BINARY:AB0C"},
      {"Multi", "Multi=REG_MULTI_SZ:a`b`c"},
      {"Path", "Path=REG_EXPAND_SZ:%SystemRoot%\\x"},
      {"Sz", "Sz=REG_SZ:with nul"},
      {"Name", "Name=REG_SZ:hello"},
  };
  for (const auto& [name, line] : lines) {
    expect_run({"show", "HKEY_LOCAL_MACHINE\\SOFTWARE\\Example", name},
               std::string(kKeyLine) + line + "\n", "");
  }
}

TEST_F(KeyloTest, ShowFormatsAndTheirDefaults) {
  expect_run({"import", example_}, "KEYLO-INFO, 1 servers have imported\n", "");
  expect_run({"show", "hkey_local_machine\\SOFTWARE\\Example", "Num", "~k~S|~r|~k", "~F~N=~5v",
              "~T~k shown"},
             "\\\\LOCALPC|hkey_local_machine|SOFTWARE\\Example\nNum=   31\n1 shown\n", "");
  // An empty format prints no line.
  expect_run({"show", "HKEY_LOCAL_MACHINE\\SOFTWARE\\Example", "Multi", "~k"},
             "Multi=REG_MULTI_SZ:a`b`c\n", "");
  expect_run({"show", "HKEY_LOCAL_MACHINE\\SOFTWARE\\Example", "Multi", "~F"}, kKeyLine, "");
  // The totals line holds at most 80 bytes.
  std::string wide(100, 'w');
  expect_run({"show", "HKEY_LOCAL_MACHINE\\SOFTWARE\\Example", "Num", "~k", "~F", "~T" + wide},
             wide.substr(0, 80) + "\n", "");

  // The environment's defaults, cut to 255 characters.
  net_.env().set("KEYLO_KFORMAT", "<~k>").set("KEYLO_VFORMAT", "~v");
  expect_run({"show", "HKEY_LOCAL_MACHINE\\SOFTWARE\\Example", "Bin"},
             "<SOFTWARE\\Example>\n0102FF\n", "");
  std::string long_format = std::string(253, '-') + "~v~v";
  net_.env().set("KEYLO_VFORMAT", long_format.c_str());
  expect_run({"show", "HKEY_LOCAL_MACHINE\\SOFTWARE\\Example", "Bin", "~k"},
             std::string(253, '-') + "0102FF\n", "");

  // A value of another type shows no root, type or value.
  set_value("Other", REG_DWORD_BIG_ENDIAN, std::string("\0\0\0\1", 4));
  expect_run({"show", "HKEY_LOCAL_MACHINE\\SOFTWARE\\Example", "Other", "~k[~r]", "~F~r|~k|~N|~t|~v"},
             "[]\n|SOFTWARE\\Example|Other||\n", "");
}

TEST_F(KeyloTest, ShowFailuresAndValueSizes) {
  expect_run({"import", example_}, "KEYLO-INFO, 1 servers have imported\n", "");
  expect_run({"show", "HKEY_LOCAL_MACHINE\\SOFTWARE\\Example", "Nope", "~T~k shown"}, "0 shown\n",
             "REGISTRY-ERROR, RegQueryValue(\\\\LOCALPC\\HKEY_LOCAL_MACHINE\\SOFTWARE\\Example\\"
             "Nope) failed, error=2\n"
             "KEYLO-ERROR, no keys nor values match\n");
  expect_run({"show", "HKEY_LOCAL_MACHINE\\SOFTWARE\\Nokey", "Num"}, "",
             "REGISTRY-ERROR, RegOpenKey(\\\\LOCALPC\\HKEY_LOCAL_MACHINE\\SOFTWARE\\Nokey) failed,"
             " error=2\nKEYLO-ERROR, no keys nor values match\n");
  expect_run({"show", "HKEY_USERS\\.DEFAULT", "x"}, "",
             "REGISTRY-ERROR, invalid root key\nKEYLO-ERROR, no keys nor values match\n");
  expect_run({"show", "HKEY_LOCAL_MACHINE", "x"}, "",
             "REGISTRY-ERROR, no subkey in HKEY_LOCAL_MACHINE\n"
             "KEYLO-ERROR, no keys nor values match\n");

  // 2048 bytes are shown; a longer value is not.
  set_value("Full", REG_BINARY, std::string(2048, '\x5A'));
  set_value("Over", REG_BINARY, std::string(2049, '\x5A'));
  ProgramResult r = keylo({"show", "HKEY_LOCAL_MACHINE\\SOFTWARE\\Example", "Full", "~k"});
  // The value line is cut at 4,095 bytes of its 4,096-byte buffer.
  std::string full_line = "Full=REG_BINARY:" + std::string(4096, '5');
  for (size_t i = 17; i < full_line.size(); i += 2) full_line[i] = 'A';
  EXPECT_EQ(r.out, full_line.substr(0, 4095) + "\n");
  expect_run({"show", "HKEY_LOCAL_MACHINE\\SOFTWARE\\Example", "Over"}, "",
             "REGISTRY-ERROR, RegQueryValue(\\\\LOCALPC\\HKEY_LOCAL_MACHINE\\SOFTWARE\\Example\\"
             "Over) failed, error=234\nKEYLO-ERROR, no keys nor values match\n");
  // A string of 2048 bytes without its terminator shows whole, and no more.
  set_value("Text", REG_SZ, std::string(2048, 't'));
  r = keylo({"show", "HKEY_LOCAL_MACHINE\\SOFTWARE\\Example", "Text", "~k", "~F~v"});
  EXPECT_EQ(r.out, std::string(2048, 't') + "\n");
}

TEST_F(KeyloTest, ImportAndShowOverDomainsAndServerPatterns) {
  expect_run({"import", "SALES\\\\SRV*\\" + example_, "/v"},
             "SERVERLOOP-INFO, server 'SRV1' (2 of 3 in SALES)\n"
             "SERVERLOOP-INFO, server 'SRV2' (3 of 3 in SALES)\n"
             "KEYLO-INFO, 2 servers have imported\n",
             "");
  EXPECT_EQ(value("\\\\SRV1", "SOFTWARE\\Example", "Name"), "hello");
  EXPECT_EQ(value("\\\\SRV2", "SOFTWARE\\Example", "Name"), "hello");
  EXPECT_EQ(value(nullptr, "SOFTWARE\\Example", "Name"), "<error 2>");
  EXPECT_EQ(value("\\\\HQ1", "SOFTWARE\\Example", "Name"), "<error 2>");

  // Every server of the workstation's domain; the local one lacks the key.
  expect_run({"show", "\\\\*\\HKEY_LOCAL_MACHINE\\SOFTWARE\\Example", "Num", "~k", "~F~S ~v",
              "~T~k"},
             "\\\\SRV1 31\n\\\\SRV2 31\n2\n",
             "REGISTRY-ERROR, RegOpenKey(\\\\LOCALPC\\HKEY_LOCAL_MACHINE\\SOFTWARE\\Example) "
             "failed, error=2\n");
  // A value that no server has: one line each, then the summary.
  expect_run({"show", "SALES\\\\SRV*\\HKEY_LOCAL_MACHINE\\SOFTWARE\\Example", "Nope"}, "",
             "REGISTRY-ERROR, RegQueryValue(\\\\SRV1\\HKEY_LOCAL_MACHINE\\SOFTWARE\\Example\\"
             "Nope) failed, error=2\n"
             "REGISTRY-ERROR, RegQueryValue(\\\\SRV2\\HKEY_LOCAL_MACHINE\\SOFTWARE\\Example\\"
             "Nope) failed, error=2\n"
             "KEYLO-ERROR, no keys nor values match\n");
  // A named server, in a domain of its own.
  expect_run({"show", "\\\\HQ1\\HKEY_LOCAL_MACHINE\\SOFTWARE\\Example", "Num", "~k"}, "",
             "REGISTRY-ERROR, RegOpenKey(\\\\HQ1\\HKEY_LOCAL_MACHINE\\SOFTWARE\\Example) failed,"
             " error=2\nKEYLO-ERROR, no keys nor values match\n");

  // Every server of every domain.
  expect_run({"import", "*\\\\*\\" + example_, "/v"},
             "DOMAINLOOP-INFO, domain 'OFFICE' (1 of 2)\n"
             "SERVERLOOP-INFO, server 'HQ1' (1 of 2 in OFFICE)\n"
             "SERVERLOOP-INFO, server 'HQ2' (2 of 2 in OFFICE)\n"
             "DOMAINLOOP-INFO, domain 'SALES' (2 of 2)\n"
             "SERVERLOOP-INFO, server 'LOCALPC' (1 of 3 in SALES)\n"
             "SERVERLOOP-INFO, server 'SRV1' (2 of 3 in SALES)\n"
             "SERVERLOOP-INFO, server 'SRV2' (3 of 3 in SALES)\n"
             "KEYLO-INFO, 5 servers have imported\n",
             "");
  expect_run({"show", "off*\\\\h*\\HKEY_LOCAL_MACHINE\\SOFTWARE\\Example\\Sub", "Deep", "~k",
              "~F~S:~v"},
             "\\\\HQ1:deeper\n\\\\HQ2:deeper\n", "");

  // A server that is offline, and one that does not exist.
  expect_run({"import", "\\\\WS9\\" + example_}, "",
             "REGISTRY-ERROR, RegConnectRegistry(\\\\WS9) failed, error=53\n"
             "KEYLO-ERROR, no servers have imported\n");
  expect_run({"show", "\\\\NOSUCH\\HKEY_LOCAL_MACHINE\\SOFTWARE\\Example", "Num"}, "",
             "REGISTRY-ERROR, RegConnectRegistry(\\\\NOSUCH) failed, error=53\n"
             "KEYLO-ERROR, no keys nor values match\n");
}

TEST_F(KeyloTest, ImportStopsAtTheFirstErrorOfAServer) {
  std::string mixed = nt(write("mixed.reg",
                            "[HKEY_LOCAL_MACHINE\\SOFTWARE\\First]\na=1\n"
                            "[HKEY_USERS\\x]\nb=2\n"
                            "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Third]\nc=3\n"));
  expect_run({"import", "SALES\\\\SRV*\\" + mixed}, "",
             "REGISTRY-ERROR, invalid root key\nREGISTRY-ERROR, invalid root key\n"
             "KEYLO-ERROR, no servers have imported\n");
  for (const char* server : {"\\\\SRV1", "\\\\SRV2"}) {
    EXPECT_EQ(value(server, "SOFTWARE\\First", "a"), "1");  // written before the error
    EXPECT_FALSE(has_key(server, "SOFTWARE\\Third"));
  }

  std::string bad = nt(write("bad.reg",
                          "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Bad]\nok=REG_SZ:x\nn=REG_DWORD:zz\n"
                          "after=1\n"));
  expect_run({"import", bad}, "",
             "REGISTRY ERROR, cannot set REG_DWORD:n, error=13\n"
             "KEYLO-ERROR, no servers have imported\n");
  EXPECT_EQ(value(nullptr, "SOFTWARE\\Bad", "ok"), std::string("x\0", 2));
  EXPECT_EQ(value(nullptr, "SOFTWARE\\Bad", "after"), "<error 2>");
  write("bin.reg", "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Bad]\nb=REG_BINARY:0x10\n");
  expect_run({"import", "bin.reg"}, "",
             "REGISTRY ERROR, cannot set REG_BINARY:b, error=13\n"
             "KEYLO-ERROR, no servers have imported\n");

  write("bare.reg", "[HKEY_LOCAL_MACHINE]\nx=1\n");
  expect_run({"import", "bare.reg"}, "",
             "REGISTRY-ERROR, no subkey in HKEY_LOCAL_MACHINE\n"
             "KEYLO-ERROR, no servers have imported\n");
  write("empty.reg", "; no sections at all\nx=1\n");
  expect_run({"import", "empty.reg"}, "",
             "REGISTRY-ERROR, no sections found in empty.reg\n"
             "KEYLO-ERROR, no servers have imported\n");

  // A missing file, once for every server.
  expect_run({"import", "SALES\\\\*\\missing.reg"}, "",
             "REGISTRY-ERROR, cannot open missing.reg, error=2\n"
             "REGISTRY-ERROR, cannot open missing.reg, error=2\n"
             "REGISTRY-ERROR, cannot open missing.reg, error=2\n"
             "KEYLO-ERROR, no servers have imported\n");
}

TEST_F(KeyloTest, StaticServerList) {
  std::string list = write("servers.lst", "SALES\\\\SRV1\r\nOFFICE\\\\HQ1\r\nSALES\\\\WS9\r\n");
  net_.env().set("SERVERLIST", list.c_str());
  expect_run({"import", "SALES\\\\*\\" + example_, "/v"},
             "LISTLOOP-INFO, using static list '" + list + "'\n"
             "LISTLOOP-INFO, trying SALES\\\\SRV1...match\n"
             "LISTLOOP-INFO, trying OFFICE\\\\HQ1...does not match\n"
             "LISTLOOP-INFO, trying SALES\\\\WS9...match\n"
             "KEYLO-INFO, 1 servers have imported\n",
             "REGISTRY-ERROR, RegConnectRegistry(\\\\WS9) failed, error=53\n");
  EXPECT_EQ(value("\\\\SRV1", "SOFTWARE\\Example", "Name"), "hello");
  EXPECT_EQ(value("\\\\SRV2", "SOFTWARE\\Example", "Name"), "<error 2>");  // not on the list

  expect_run({"show", "*\\\\*\\HKEY_LOCAL_MACHINE\\SOFTWARE\\Example", "Num", "~k", "~F~S ~v"},
             "\\\\SRV1 31\n",
             "REGISTRY-ERROR, RegOpenKey(\\\\HQ1\\HKEY_LOCAL_MACHINE\\SOFTWARE\\Example) failed,"
             " error=2\n"
             "REGISTRY-ERROR, RegConnectRegistry(\\\\WS9) failed, error=53\n");
  // A named server does not need the list.
  expect_run({"import", "\\\\SRV2\\" + example_}, "KEYLO-INFO, 1 servers have imported\n", "");

  std::string missing = files_ + "/none.lst";
  net_.env().set("SERVERLIST", missing.c_str());
  expect_run({"import", "SALES\\\\*\\" + example_}, "",
             "LISTLOOP-ERROR, cannot open '" + missing + "', error=2\n"
             "KEYLO-ERROR, no servers have imported\n");
}

TEST_F(KeyloTest, ImportBufferLimits) {
  // Section names fill 5,120 bytes: the name the list cut is left out.
  std::string text;
  for (int i = 0; i < 60; ++i) {
    char name[128];
    snprintf(name, sizeof name, "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Many\\%02d%s]\nv=1\n", i,
             std::string(64, 'k').c_str());
    text += name;
  }
  // Each name takes 100 bytes with its terminator: 51 whole names fit.
  ASSERT_EQ(std::string("HKEY_LOCAL_MACHINE\\SOFTWARE\\Many\\00").size() + 64 + 1, 100u);
  // A value text holds 5,119 characters.
  text += "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Long]\nText=" + std::string(6000, 'x') + "\n";
  write("many.reg", text);
  expect_run({"import", "many.reg"}, "KEYLO-INFO, 1 servers have imported\n", "");
  HKEY k = nullptr;
  ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Many", 0, KEY_READ, &k), 0);
  DWORD subkeys = 0;
  ASSERT_EQ(RegQueryInfoKeyA(k, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, nullptr,
                             nullptr, nullptr, nullptr, nullptr),
            0);
  EXPECT_EQ(subkeys, 51u);
  char last[128];
  ASSERT_EQ(RegEnumKeyA(k, 50, last, sizeof last), 0);
  EXPECT_EQ(std::string(last), "50" + std::string(64, 'k'));
  RegCloseKey(k);
  // The list ended before the section of the long value.
  EXPECT_FALSE(has_key(nullptr, "SOFTWARE\\Long"));

  write("long.reg",
        "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Long]\nText=" + std::string(6000, 'x') + "\n");
  expect_run({"import", "long.reg"}, "KEYLO-INFO, 1 servers have imported\n", "");
  EXPECT_EQ(value(nullptr, "SOFTWARE\\Long", "Text"), std::string(5119, 'x'));
}

}  // namespace
