#include "platform/network/network.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>

#include "platform/kernel/error.h"
#include "platform/kernel/identity.h"
#include "platform/network/network_test_env.h"

namespace {

bool is_dir(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

NtMachineInfo machine(const char* name, const char* group = "",
                      NtMachineRole role = NtMachineRole::workstation) {
  NtMachineInfo info;
  info.name = name;
  info.lan_group = group;
  info.role = role;
  return info;
}

TEST(NetworkRoot, EnvironmentDecidesWhere) {
  NlsEnv env;
  env.set("NT_NETWORK", "/some/net").set("XDG_DATA_HOME", "/xdg").set("HOME", "/home/u");
  EXPECT_EQ(nt_network_root(), "/some/net");
  env.set("NT_NETWORK", "");
  EXPECT_EQ(nt_network_root(), "/xdg/ntnet");
  env.set("XDG_DATA_HOME", "relative/dir");  // not absolute: ignored
  EXPECT_EQ(nt_network_root(), "/home/u/.local/share/ntnet");
  env.set("XDG_DATA_HOME", nullptr);
  EXPECT_EQ(nt_network_root(), "/home/u/.local/share/ntnet");
}

TEST(Network, CreatedOnFirstUseWithTheLocalMachine) {
  TempNetwork net("firstpc");
  EXPECT_FALSE(nt_network_exists(net.root()));
  NtMachineRef ref;
  ASSERT_EQ(nt_open_machine("", &ref), ERROR_SUCCESS);
  EXPECT_TRUE(ref.local);
  EXPECT_EQ(ref.name, "FIRSTPC");
  EXPECT_TRUE(nt_network_exists(net.root()));
  EXPECT_EQ(nt_network_default_machine(net.root()), "FIRSTPC");

  std::string dir = nt_network_machine_dir(net.root(), "FIRSTPC");
  EXPECT_TRUE(is_dir(dir + "/drives/C/WINNT/system32"));
  EXPECT_TRUE(is_dir(dir + "/run"));

  NtMachineInfo info;
  ASSERT_EQ(nt_machine_get_info(*ref.store, &info), ERROR_SUCCESS);
  EXPECT_EQ(info.name, "FIRSTPC");
  EXPECT_EQ(info.lan_group, "WORKGROUP");
  EXPECT_EQ(info.role, NtMachineRole::workstation);
  EXPECT_TRUE(info.online);

  // A second use finds it and creates nothing new.
  std::vector<std::string> names;
  ASSERT_EQ(nt_machine_list(net.root(), &names), ERROR_SUCCESS);
  EXPECT_EQ(names, std::vector<std::string>{"FIRSTPC"});
  EXPECT_EQ(nt_network_create(net.root(), machine("OTHER")), ERROR_ALREADY_EXISTS);
}

TEST(Network, LocalMachineIsComputerNameElseTheDefault) {
  TempNetwork net;
  ASSERT_EQ(nt_network_create(net.root(), machine("boss", "dom", NtMachineRole::pdc)),
            ERROR_SUCCESS);
  ASSERT_EQ(nt_machine_create(net.root(), machine("ws1")), ERROR_SUCCESS);
  net.env().set("COMPUTERNAME", "ws1");
  EXPECT_EQ(nt_local_machine_name(), "WS1");
  net.env().set("COMPUTERNAME", "a-very-long-computer-name");
  EXPECT_EQ(nt_local_machine_name(), "A-VERY-LONG-COM");  // cut to 15
  net.env().set("COMPUTERNAME", nullptr);
  EXPECT_EQ(nt_local_machine_name(), "BOSS");
  // Every "who am I" answer of the layer agrees with it.
  char name[MAX_COMPUTERNAME_LENGTH + 1];
  DWORD size = sizeof name;
  ASSERT_TRUE(GetComputerNameA(name, &size));
  EXPECT_STREQ(name, "BOSS");
  EXPECT_EQ(nt_user_domain(), "BOSS");
  NtMachineRef ref;
  ASSERT_EQ(nt_open_machine("", &ref), ERROR_SUCCESS);
  EXPECT_EQ(ref.name, "BOSS");
  ASSERT_EQ(nt_network_set_default_machine(net.root(), "ws1"), ERROR_SUCCESS);
  EXPECT_EQ(nt_local_machine_name(), "WS1");
  EXPECT_EQ(nt_network_set_default_machine(net.root(), "nobody"), ERROR_BAD_NETPATH);
}

TEST(Network, OpenMachineByNameIgnoresCaseAndBackslashes) {
  TempNetwork net;
  ASSERT_EQ(nt_network_create(net.root(), machine("LOCALPC")), ERROR_SUCCESS);
  ASSERT_EQ(nt_machine_create(net.root(), machine("Srv1", "dom", NtMachineRole::server)),
            ERROR_SUCCESS);
  NtMachineRef a, b, c;
  ASSERT_EQ(nt_open_machine("SRV1", &a), ERROR_SUCCESS);
  ASSERT_EQ(nt_open_machine("\\\\srv1", &b), ERROR_SUCCESS);
  ASSERT_EQ(nt_open_machine_w(u"\\\\sRv1", &c), ERROR_SUCCESS);
  EXPECT_EQ(a.name, "SRV1");
  EXPECT_FALSE(a.local);
  // One connection per machine per process.
  EXPECT_EQ(a.store.get(), b.store.get());
  EXPECT_EQ(a.store.get(), c.store.get());

  NtMachineRef none;
  EXPECT_EQ(nt_open_machine("SRV2", &none), ERROR_BAD_NETPATH);
  EXPECT_EQ(nt_open_machine("\\\\", &none), ERROR_BAD_NETPATH);
  EXPECT_EQ(nt_open_machine("\\\\SRV1\\C$", &none), ERROR_BAD_NETPATH);
  EXPECT_EQ(nt_open_machine("SIXTEEN-CHARS-XX", &none), ERROR_BAD_NETPATH);
  EXPECT_EQ(nt_open_machine("..", &none), ERROR_BAD_NETPATH);
  EXPECT_EQ(nt_open_machine_a(nullptr, &none), ERROR_SUCCESS);
  EXPECT_TRUE(none.local);
}

TEST(Network, OfflineMachineIsUnreachableButForItsAdministration) {
  TempNetwork net;
  ASSERT_EQ(nt_network_create(net.root(), machine("LOCALPC")), ERROR_SUCCESS);
  ASSERT_EQ(nt_machine_create(net.root(), machine("DEAD")), ERROR_SUCCESS);
  NtMachineRef ref;
  ASSERT_EQ(nt_open_machine("DEAD", &ref), ERROR_SUCCESS);
  ASSERT_EQ(nt_machine_set_online(*ref.store, false), ERROR_SUCCESS);

  NtMachineRef again;
  EXPECT_EQ(nt_open_machine("DEAD", &again), ERROR_BAD_NETPATH);
  EXPECT_EQ(nt_open_machine("DEAD", &again, NtMachineAccess::admin), ERROR_SUCCESS);

  // The local machine is reached whatever its flag says.
  NtMachineRef local;
  ASSERT_EQ(nt_open_machine("", &local), ERROR_SUCCESS);
  ASSERT_EQ(nt_machine_set_online(*local.store, false), ERROR_SUCCESS);
  EXPECT_EQ(nt_open_machine("", &local), ERROR_SUCCESS);
  EXPECT_EQ(nt_open_machine("LOCALPC", &local), ERROR_BAD_NETPATH);

  ASSERT_EQ(nt_machine_set_online(*ref.store, true), ERROR_SUCCESS);
  EXPECT_EQ(nt_open_machine("dead", &again), ERROR_SUCCESS);
}

TEST(Network, MachineNamesAreChecked) {
  TempNetwork net;
  ASSERT_EQ(nt_network_create(net.root(), machine("LOCALPC")), ERROR_SUCCESS);
  EXPECT_EQ(nt_machine_create(net.root(), machine("FIFTEEN-CHARS-X")), ERROR_SUCCESS);
  EXPECT_EQ(nt_machine_create(net.root(), machine("SIXTEEN-CHARS-XX")), ERROR_INVALID_NAME);
  for (const char* bad : {"", "A\\B", "A/B", "A:B", "A*B", "A?B", "A\"B", "A<B", "A>B", "A|B",
                          ".", "...", " LEAD", "TRAIL ", "TAB\tX"}) {
    EXPECT_EQ(nt_machine_create(net.root(), machine(bad)), ERROR_INVALID_NAME) << bad;
  }
  EXPECT_EQ(nt_machine_create(net.root(), machine("OK", "BAD:GROUP")), ERROR_INVALID_NAME);
  EXPECT_EQ(nt_machine_create(net.root(), machine("localpc")), ERROR_ALREADY_EXISTS);
  // Non-ASCII letters are upper-cased with the system's mapping.
  ASSERT_EQ(nt_machine_create(net.root(), machine("m\xC3\xBC" "ller", "d\xC3\xA9v")),
            ERROR_SUCCESS);
  NtMachineRef ref;
  ASSERT_EQ(nt_open_machine("M\xC3\x9CLLER", &ref), ERROR_SUCCESS);
  NtMachineInfo info;
  ASSERT_EQ(nt_machine_get_info(*ref.store, &info), ERROR_SUCCESS);
  EXPECT_EQ(info.name, "M\xC3\x9CLLER");
  EXPECT_EQ(info.lan_group, "D\xC3\x89V");

  std::vector<std::string> names;
  ASSERT_EQ(nt_machine_list(net.root(), &names), ERROR_SUCCESS);
  EXPECT_EQ(names,
            (std::vector<std::string>{"FIFTEEN-CHARS-X", "LOCALPC", "M\xC3\x9CLLER"}));
}

TEST(Network, DeleteRemovesTheMachineButNotTheDefault) {
  TempNetwork net;
  ASSERT_EQ(nt_network_create(net.root(), machine("LOCALPC")), ERROR_SUCCESS);
  ASSERT_EQ(nt_machine_create(net.root(), machine("GONE")), ERROR_SUCCESS);
  NtMachineRef ref;
  ASSERT_EQ(nt_open_machine("GONE", &ref), ERROR_SUCCESS);
  ref = NtMachineRef();

  EXPECT_EQ(nt_machine_delete(net.root(), "\\\\gone"), ERROR_SUCCESS);
  EXPECT_FALSE(is_dir(nt_network_machine_dir(net.root(), "GONE")));
  EXPECT_EQ(nt_open_machine("GONE", &ref), ERROR_BAD_NETPATH);
  EXPECT_EQ(nt_machine_delete(net.root(), "GONE"), ERROR_BAD_NETPATH);
  EXPECT_EQ(nt_machine_delete(net.root(), "localpc"), ERROR_ACCESS_DENIED);

  // A machine made again under the same name is a new machine.
  ASSERT_EQ(nt_machine_create(net.root(), machine("GONE", "OTHER")), ERROR_SUCCESS);
  ASSERT_EQ(nt_open_machine("GONE", &ref), ERROR_SUCCESS);
  NtMachineInfo info;
  ASSERT_EQ(nt_machine_get_info(*ref.store, &info), ERROR_SUCCESS);
  EXPECT_EQ(info.lan_group, "OTHER");
  // Nothing half made is left behind.
  std::vector<std::string> names;
  ASSERT_EQ(nt_machine_list(net.root(), &names), ERROR_SUCCESS);
  EXPECT_EQ(names, (std::vector<std::string>{"GONE", "LOCALPC"}));
}

TEST(Network, NetworkIniNamesTheDefaultMachine) {
  TempNetwork net;
  ASSERT_EQ(nt_network_create(net.root(), machine("pdc1", "corp", NtMachineRole::pdc)),
            ERROR_SUCCESS);
  std::ifstream in(net.root() + "/network.ini");
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_NE(text.find("[Network]\n"), std::string::npos);
  EXPECT_NE(text.find("DefaultMachine=PDC1\n"), std::string::npos);
  EXPECT_NE(text.find("Version=1\n"), std::string::npos);
  // A new network's files carry the attribute mark; a change of the default
  // machine keeps that, and keeps its absence on a network made without it.
  EXPECT_NE(text.find("AttributeMarks=1\n"), std::string::npos);
  ASSERT_EQ(nt_machine_create(net.root(), machine("ws1", "corp", NtMachineRole::workstation)),
            ERROR_SUCCESS);
  ASSERT_EQ(nt_network_set_default_machine(net.root(), "ws1"), ERROR_SUCCESS);
  auto read_ini = [&]() {
    std::ifstream again(net.root() + "/network.ini");
    return std::string((std::istreambuf_iterator<char>(again)), std::istreambuf_iterator<char>());
  };
  text = read_ini();
  EXPECT_NE(text.find("DefaultMachine=WS1\n"), std::string::npos);
  EXPECT_NE(text.find("AttributeMarks=1\n"), std::string::npos);
  std::ofstream(net.root() + "/network.ini") << "[Network]\nVersion=1\nDefaultMachine=WS1\n";
  ASSERT_EQ(nt_network_set_default_machine(net.root(), "pdc1"), ERROR_SUCCESS);
  text = read_ini();
  EXPECT_NE(text.find("DefaultMachine=PDC1\n"), std::string::npos);
  EXPECT_EQ(text.find("AttributeMarks"), std::string::npos);
}

}  // namespace
