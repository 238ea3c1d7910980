#include "platform/pipes/named_pipe.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <string>
#include <thread>

#include "platform/files/file_io.h"
#include "platform/kernel/error.h"
#include "platform/kernel/identity.h"
#include "platform/network/network.h"
#include "platform/network/network_test_env.h"
#include "platform/pipes/pipe_name.h"
#include "platform/process/process_test_util.h"
#include "platform/sync/sync.h"

namespace {

constexpr DWORD MESSAGE_MODE = PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE | PIPE_WAIT;

HANDLE make_server(const char* name, DWORD instances = 1, DWORD mode = MESSAGE_MODE) {
  return CreateNamedPipeA(name, PIPE_ACCESS_DUPLEX, mode, instances, 1024, 1024, 10000, nullptr);
}

HANDLE open_client(const char* name) {
  return CreateFileA(name, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
}

bool write_text(HANDLE h, const std::string& text) {
  DWORD done = 0;
  return WriteFile(h, text.data(), static_cast<DWORD>(text.size()), &done, nullptr) &&
         done == text.size();
}

std::string read_text(HANDLE h, DWORD size = 1024) {
  std::string buffer(size, '\0');
  DWORD done = 0;
  if (!ReadFile(h, buffer.data(), size, &done, nullptr)) return "<error " + std::to_string(GetLastError()) + ">";
  buffer.resize(done);
  return buffer;
}

class NamedPipeTest : public ::testing::Test {
 protected:
  TempNetwork network_;
};

TEST_F(NamedPipeTest, OneMessagePerReadBothWays) {
  HANDLE server = make_server("\\\\.\\pipe\\zebsrv");
  ASSERT_NE(server, INVALID_HANDLE_VALUE) << GetLastError();
  std::thread client_thread([] {
    HANDLE client = open_client("\\\\.\\pipe\\ZEBSRV");  // names ignore case
    ASSERT_NE(client, INVALID_HANDLE_VALUE) << GetLastError();
    EXPECT_TRUE(write_text(client, std::string("0000007B", 8)));
    EXPECT_TRUE(write_text(client, std::string("job\0", 4)));
    EXPECT_TRUE(write_text(client, std::string(380, 'r')));
    EXPECT_EQ(read_text(client), std::string("V1.0\0", 5));
    EXPECT_EQ(read_text(client), std::string("\x0a\0", 2));
    CloseHandle(client);
  });
  EXPECT_TRUE(ConnectNamedPipe(server, nullptr) || GetLastError() == ERROR_PIPE_CONNECTED);
  // Three writes, three reads, even with room for all at once.
  EXPECT_EQ(read_text(server), "0000007B");
  EXPECT_EQ(read_text(server), std::string("job\0", 4));
  EXPECT_EQ(read_text(server).size(), 380u);
  EXPECT_TRUE(write_text(server, std::string("V1.0\0", 5)));
  EXPECT_TRUE(write_text(server, std::string("\x0a\0", 2)));
  client_thread.join();
  EXPECT_EQ(read_text(server), "<error 109>");
  CloseHandle(server);
}

TEST_F(NamedPipeTest, SmallBufferGetsMoreData) {
  HANDLE server = make_server("\\\\.\\pipe\\more");
  HANDLE client = open_client("\\\\.\\pipe\\more");
  ASSERT_NE(client, INVALID_HANDLE_VALUE);
  SetLastError(0);
  EXPECT_FALSE(ConnectNamedPipe(server, nullptr));  // the client came first
  EXPECT_EQ(GetLastError(), ERROR_PIPE_CONNECTED);
  ASSERT_TRUE(write_text(client, "0123456789"));
  ASSERT_TRUE(write_text(client, "next"));
  char buffer[4];
  DWORD done = 0;
  SetLastError(0);
  EXPECT_FALSE(ReadFile(server, buffer, 4, &done, nullptr));
  EXPECT_EQ(GetLastError(), ERROR_MORE_DATA);
  EXPECT_EQ(std::string(buffer, done), "0123");
  EXPECT_FALSE(ReadFile(server, buffer, 4, &done, nullptr));
  EXPECT_EQ(GetLastError(), ERROR_MORE_DATA);
  EXPECT_EQ(std::string(buffer, done), "4567");
  EXPECT_TRUE(ReadFile(server, buffer, 4, &done, nullptr));
  EXPECT_EQ(std::string(buffer, done), "89");
  // The next message starts with the next read.
  EXPECT_TRUE(ReadFile(server, buffer, 4, &done, nullptr));
  EXPECT_EQ(std::string(buffer, done), "next");

  // The client reads in byte mode (its start mode): parts without the error.
  ASSERT_TRUE(write_text(server, "abcdef"));
  SetLastError(0);
  EXPECT_TRUE(ReadFile(client, buffer, 4, &done, nullptr));
  EXPECT_EQ(std::string(buffer, done), "abcd");
  EXPECT_TRUE(ReadFile(client, buffer, 4, &done, nullptr));
  EXPECT_EQ(std::string(buffer, done), "ef");
  // Switched to message mode it reports the rest like the server does.
  DWORD mode = PIPE_READMODE_MESSAGE;
  ASSERT_TRUE(SetNamedPipeHandleState(client, &mode, nullptr, nullptr));
  ASSERT_TRUE(write_text(server, "abcdef"));
  EXPECT_FALSE(ReadFile(client, buffer, 4, &done, nullptr));
  EXPECT_EQ(GetLastError(), ERROR_MORE_DATA);
  CloseHandle(client);
  CloseHandle(server);
}

TEST_F(NamedPipeTest, PeekShowsWithoutTaking) {
  HANDLE server = make_server("\\\\.\\pipe\\peek");
  HANDLE client = open_client("\\\\.\\pipe\\peek");
  DWORD read = 9, total = 9, left = 9;
  ASSERT_TRUE(PeekNamedPipe(server, nullptr, 0, &read, &total, &left));
  EXPECT_EQ(read, 0u);
  EXPECT_EQ(total, 0u);
  EXPECT_EQ(left, 0u);
  ASSERT_TRUE(write_text(client, "hello"));
  ASSERT_TRUE(write_text(client, "world!"));
  char buffer[8];
  ASSERT_TRUE(PeekNamedPipe(server, buffer, 3, &read, &total, &left));
  EXPECT_EQ(std::string(buffer, read), "hel");
  EXPECT_EQ(total, 11u);
  EXPECT_EQ(left, 2u);
  EXPECT_EQ(read_text(server), "hello");
  ASSERT_TRUE(PeekNamedPipe(server, buffer, sizeof buffer, &read, &total, &left));
  EXPECT_EQ(std::string(buffer, read), "world!");
  EXPECT_EQ(left, 0u);
  CloseHandle(client);
  SetLastError(0);
  EXPECT_EQ(read_text(server), "world!");  // what was sent stays readable
  EXPECT_FALSE(PeekNamedPipe(server, buffer, sizeof buffer, &read, &total, &left));
  EXPECT_EQ(GetLastError(), ERROR_BROKEN_PIPE);
  CloseHandle(server);
}

TEST_F(NamedPipeTest, BrokenPipeAndDisconnect) {
  HANDLE server = make_server("\\\\.\\pipe\\broken");
  HANDLE client = open_client("\\\\.\\pipe\\broken");
  ASSERT_NE(client, INVALID_HANDLE_VALUE);
  CloseHandle(client);
  EXPECT_EQ(read_text(server), "<error 109>");
  SetLastError(0);
  EXPECT_FALSE(write_text(server, "late"));
  EXPECT_EQ(GetLastError(), ERROR_NO_DATA);
  SetLastError(0);
  EXPECT_FALSE(ConnectNamedPipe(server, nullptr));
  EXPECT_EQ(GetLastError(), ERROR_NO_DATA);  // the client came and went

  // After a disconnect the instance is not listening until connected again.
  ASSERT_TRUE(DisconnectNamedPipe(server));
  EXPECT_EQ(read_text(server), "<error 233>");
  SetLastError(0);
  EXPECT_EQ(open_client("\\\\.\\pipe\\broken"), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), ERROR_PIPE_BUSY);
  std::thread later([] {
    // Until the server connects the instance again, nothing listens.
    EXPECT_TRUE(WaitNamedPipeA("\\\\.\\pipe\\broken", 10000));
    HANDLE c = open_client("\\\\.\\pipe\\broken");
    EXPECT_NE(c, INVALID_HANDLE_VALUE);
    EXPECT_TRUE(write_text(c, "again"));
    // The server drops this client: its next read finds the pipe broken.
    EXPECT_EQ(read_text(c), "<error 109>");
    CloseHandle(c);
  });
  ASSERT_TRUE(ConnectNamedPipe(server, nullptr));
  EXPECT_EQ(read_text(server), "again");
  ASSERT_TRUE(DisconnectNamedPipe(server));
  later.join();
  CloseHandle(server);
}

TEST_F(NamedPipeTest, TwoInstancesServeTwoClientsAtOnce) {
  HANDLE first = make_server("\\\\.\\pipe\\pair", 2);
  HANDLE second = make_server("\\\\.\\pipe\\pair", 2);
  ASSERT_NE(first, INVALID_HANDLE_VALUE);
  ASSERT_NE(second, INVALID_HANDLE_VALUE);
  SetLastError(0);
  EXPECT_EQ(make_server("\\\\.\\pipe\\pair", 2), INVALID_HANDLE_VALUE);  // past the maximum
  EXPECT_EQ(GetLastError(), ERROR_PIPE_BUSY);

  auto serve = [](HANDLE instance) {
    if (!ConnectNamedPipe(instance, nullptr) && GetLastError() != ERROR_PIPE_CONNECTED) return;
    std::string request = read_text(instance);
    write_text(instance, "echo:" + request);
  };
  std::thread s1(serve, first), s2(serve, second);
  std::atomic<int> answered{0};
  auto ask = [&answered](const std::string& text) {
    HANDLE c = open_client("\\\\.\\pipe\\pair");
    ASSERT_NE(c, INVALID_HANDLE_VALUE) << GetLastError();
    // Both clients hold their connection while the other asks.
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    ASSERT_TRUE(write_text(c, text));
    if (read_text(c) == "echo:" + text) ++answered;
    CloseHandle(c);
  };
  std::thread c1(ask, "one"), c2(ask, "two");
  c1.join();
  c2.join();
  s1.join();
  s2.join();
  EXPECT_EQ(answered.load(), 2);
  CloseHandle(first);
  CloseHandle(second);
}

TEST_F(NamedPipeTest, BusyNobodyListeningAndBadMachines) {
  SetLastError(0);
  EXPECT_EQ(open_client("\\\\.\\pipe\\nobody"), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
  SetLastError(0);
  EXPECT_FALSE(WaitNamedPipeA("\\\\.\\pipe\\nobody", 100));
  EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);

  HANDLE server = make_server("\\\\.\\pipe\\single");
  EXPECT_TRUE(WaitNamedPipeA("\\\\.\\pipe\\single", 100));
  HANDLE busy_holder = open_client("\\\\LOCALPC\\pipe\\single");  // by machine name
  ASSERT_NE(busy_holder, INVALID_HANDLE_VALUE);
  SetLastError(0);
  EXPECT_EQ(open_client("\\\\.\\pipe\\single"), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), ERROR_PIPE_BUSY);
  auto start = std::chrono::steady_clock::now();
  SetLastError(0);
  EXPECT_FALSE(WaitNamedPipeA("\\\\.\\pipe\\single", 150));
  EXPECT_EQ(GetLastError(), ERROR_SEM_TIMEOUT);
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(150));
  // Freed by disconnect and connect, the wait succeeds.
  std::thread freer([server] {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    DisconnectNamedPipe(server);
    ConnectNamedPipe(server, nullptr);
  });
  EXPECT_TRUE(WaitNamedPipeA("\\\\.\\pipe\\single", 5000));
  HANDLE next = open_client("\\\\.\\pipe\\single");
  EXPECT_NE(next, INVALID_HANDLE_VALUE);
  freer.join();
  CloseHandle(next);
  CloseHandle(busy_holder);
  CloseHandle(server);
  // The last instance gone, nobody serves the name.
  SetLastError(0);
  EXPECT_EQ(open_client("\\\\.\\pipe\\single"), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);

  // An offline or unknown machine is unreachable.
  NtMachineInfo info;
  info.name = "DEADSRV";
  info.lan_group = "WORKGROUP";
  info.online = false;
  ASSERT_EQ(nt_machine_create(network_.root(), info), ERROR_SUCCESS);
  for (const char* name : {"\\\\DEADSRV\\pipe\\zebsrv", "\\\\NOSUCHSRV\\pipe\\zebsrv"}) {
    SetLastError(0);
    EXPECT_EQ(open_client(name), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_BAD_NETPATH) << name;
    SetLastError(0);
    EXPECT_FALSE(WaitNamedPipeA(name, 10));
    EXPECT_EQ(GetLastError(), ERROR_BAD_NETPATH) << name;
  }
  // Online but nobody serves the pipe there.
  info.name = "LIVESRV";
  info.online = true;
  ASSERT_EQ(nt_machine_create(network_.root(), info), ERROR_SUCCESS);
  SetLastError(0);
  EXPECT_EQ(open_client("\\\\LIVESRV\\pipe\\zebsrv"), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
}

TEST_F(NamedPipeTest, ImpersonationOnTheServerThreadOnly) {
  HANDLE server = make_server("\\\\.\\pipe\\whoami");
  SetLastError(0);
  EXPECT_FALSE(ImpersonateNamedPipeClient(server));  // nobody connected yet
  EXPECT_EQ(GetLastError(), ERROR_CANNOT_IMPERSONATE);
  std::thread client_thread([] {
    // The client's identity is what its own layer sees: here an
    // impersonated user of the client thread.
    nt_impersonate(NtIdentity{"alice", "SALES", "ELSEWHERE"});
    HANDLE c = open_client("\\\\.\\pipe\\whoami");
    nt_revert_to_self();
    ASSERT_NE(c, INVALID_HANDLE_VALUE);
    write_text(c, "hi");
    read_text(c);
    CloseHandle(c);
  });
  EXPECT_TRUE(ConnectNamedPipe(server, nullptr) || GetLastError() == ERROR_PIPE_CONNECTED);
  EXPECT_EQ(read_text(server), "hi");
  char name[64];
  DWORD size = sizeof name;
  ASSERT_TRUE(GetUserNameA(name, &size));
  EXPECT_STREQ(name, "tester");
  ASSERT_TRUE(ImpersonateNamedPipeClient(server));
  size = sizeof name;
  ASSERT_TRUE(GetUserNameA(name, &size));
  EXPECT_STREQ(name, "alice");
  EXPECT_EQ(nt_user_domain(), "SALES");
  NtIdentity seen;
  ASSERT_TRUE(nt_impersonated_identity(&seen));
  EXPECT_EQ(seen.machine, "LOCALPC");  // where the client's layer runs
  // Other threads keep their own identity.
  std::string other;
  std::thread([&other] { other = nt_user_name(); }).join();
  EXPECT_EQ(other, "tester");
  ASSERT_TRUE(RevertToSelf());
  size = sizeof name;
  ASSERT_TRUE(GetUserNameA(name, &size));
  EXPECT_STREQ(name, "tester");
  EXPECT_EQ(nt_user_domain(), "LOCALPC");
  write_text(server, "bye");
  client_thread.join();
  CloseHandle(server);
}

TEST_F(NamedPipeTest, ClientInAnotherProcess) {
  HANDLE server = make_server("\\\\.\\pipe\\remote client");
  ASSERT_NE(server, INVALID_HANDLE_VALUE);
  const char block[] = "USERNAME=bob\0USERDOMAIN=CORP\0COMPUTERNAME=LOCALPC\0";
  std::string env_block(block, sizeof block - 1);
  env_block += "NT_NETWORK=" + network_.root();
  env_block += '\0';
  env_block += '\0';
  std::thread serve([server] {
    ASSERT_TRUE(ConnectNamedPipe(server, nullptr) || GetLastError() == ERROR_PIPE_CONNECTED);
    std::string request = read_text(server);
    ImpersonateNamedPipeClient(server);
    write_text(server, request + " from " + nt_user_domain() + "\\" + nt_user_name());
    RevertToSelf();
  });
  ChildOptions options;
  options.environment = env_block.data();
  ChildResult r = run_child(probe_path() + " pipe-client \"\\\\.\\pipe\\Remote Client\" hello",
                            options);
  serve.join();
  EXPECT_EQ(r.out, "REPLY=[hello from CORP\\bob]\n");
  EXPECT_EQ(r.exit_code, 0u);
  CloseHandle(server);
}

TEST_F(NamedPipeTest, OneProcessOwnsAName) {
  // Another process serves the name: this one may not add instances.
  HANDLE read_end, write_end, input_read, input_write;
  SECURITY_ATTRIBUTES inheritable{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
  ASSERT_TRUE(CreatePipe(&read_end, &write_end, &inheritable, 0));
  ASSERT_TRUE(CreatePipe(&input_read, &input_write, &inheritable, 0));
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = input_read;
  startup.hStdOutput = write_end;
  PROCESS_INFORMATION info{};
  std::string line = probe_path() + " pipe-serve \\\\.\\pipe\\owned";
  ASSERT_TRUE(CreateProcessA(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                             &startup, &info));
  CloseHandle(write_end);
  CloseHandle(input_read);
  EXPECT_EQ(read_text(read_end, 10), "LISTENING\n");
  SetLastError(0);
  EXPECT_EQ(make_server("\\\\.\\pipe\\owned"), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
  // Its client can connect across processes.
  HANDLE c = open_client("\\\\.\\pipe\\owned");
  EXPECT_NE(c, INVALID_HANDLE_VALUE);
  CloseHandle(c);
  // The server ends; its name is free again, even after a hard kill.
  ASSERT_TRUE(TerminateProcess(info.hProcess, 1));
  ASSERT_EQ(WaitForSingleObject(info.hProcess, 20000), WAIT_OBJECT_0);
  HANDLE mine = make_server("\\\\.\\pipe\\owned");
  EXPECT_NE(mine, INVALID_HANDLE_VALUE) << GetLastError();
  for (HANDLE h : {mine, read_end, input_write, info.hProcess, info.hThread}) CloseHandle(h);
}

TEST_F(NamedPipeTest, RefusedCreations) {
  struct Case {
    const char* name;
    DWORD open_mode, pipe_mode, instances, error;
  } cases[] = {
      {"\\\\.\\pipe\\ok", 0, MESSAGE_MODE, 1, ERROR_INVALID_PARAMETER},
      {"\\\\.\\pipe\\ok", PIPE_ACCESS_DUPLEX, MESSAGE_MODE, 0, ERROR_INVALID_PARAMETER},
      {"\\\\.\\pipe\\ok", PIPE_ACCESS_DUPLEX, MESSAGE_MODE, 256, ERROR_INVALID_PARAMETER},
      {"\\\\.\\pipe\\ok", PIPE_ACCESS_DUPLEX, PIPE_READMODE_MESSAGE, 1, ERROR_INVALID_PARAMETER},
      {"\\\\.\\pipe\\ok", PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED, MESSAGE_MODE, 1,
       ERROR_INVALID_PARAMETER},
      {"\\\\.\\pipe\\", PIPE_ACCESS_DUPLEX, MESSAGE_MODE, 1, ERROR_INVALID_NAME},
      {"\\\\.\\pipes\\x", PIPE_ACCESS_DUPLEX, MESSAGE_MODE, 1, ERROR_INVALID_NAME},
      {"\\\\LOCALPC\\pipe\\x", PIPE_ACCESS_DUPLEX, MESSAGE_MODE, 1, ERROR_INVALID_NAME},
      {"C:\\pipe\\x", PIPE_ACCESS_DUPLEX, MESSAGE_MODE, 1, ERROR_INVALID_NAME},
  };
  for (const Case& c : cases) {
    SetLastError(0);
    EXPECT_EQ(CreateNamedPipeA(c.name, c.open_mode, c.pipe_mode, c.instances, 0, 0, 0, nullptr),
              INVALID_HANDLE_VALUE)
        << c.name;
    EXPECT_EQ(GetLastError(), c.error) << c.name;
  }
  // A path of 256 characters is the longest.
  std::string name = "\\\\.\\pipe\\" + std::string(256 - 9, 'n');
  HANDLE longest = make_server(name.c_str());
  EXPECT_NE(longest, INVALID_HANDLE_VALUE);
  HANDLE c = open_client(name.c_str());
  EXPECT_NE(c, INVALID_HANDLE_VALUE);
  CloseHandle(c);
  CloseHandle(longest);
  name += "n";
  SetLastError(0);
  EXPECT_EQ(make_server(name.c_str()), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), ERROR_FILENAME_EXCED_RANGE);

  // A second instance with FILE_FLAG_FIRST_PIPE_INSTANCE is refused.
  HANDLE first = make_server("\\\\.\\pipe\\first", 2);
  SetLastError(0);
  EXPECT_EQ(CreateNamedPipeA("\\\\.\\pipe\\first", PIPE_ACCESS_DUPLEX | FILE_FLAG_FIRST_PIPE_INSTANCE,
                             MESSAGE_MODE, 2, 0, 0, 0, nullptr),
            INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
  // Calls that belong to the other end.
  HANDLE client = open_client("\\\\.\\pipe\\first");
  SetLastError(0);
  EXPECT_FALSE(ConnectNamedPipe(client, nullptr));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_FUNCTION);
  SetLastError(0);
  EXPECT_FALSE(ImpersonateNamedPipeClient(client));
  EXPECT_EQ(GetLastError(), ERROR_CANNOT_IMPERSONATE);
  // Message read mode needs a message pipe.
  HANDLE bytes = make_server("\\\\.\\pipe\\bytes", 1, PIPE_TYPE_BYTE);
  DWORD mode = PIPE_READMODE_MESSAGE;
  SetLastError(0);
  EXPECT_FALSE(SetNamedPipeHandleState(bytes, &mode, nullptr, nullptr));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  for (HANDLE h : {first, client, bytes}) CloseHandle(h);
}

TEST_F(NamedPipeTest, NowaitAndListeningStates) {
  HANDLE server = make_server("\\\\.\\pipe\\nowait", 1, MESSAGE_MODE | PIPE_NOWAIT);
  SetLastError(0);
  EXPECT_FALSE(ConnectNamedPipe(server, nullptr));
  EXPECT_EQ(GetLastError(), ERROR_PIPE_LISTENING);
  EXPECT_EQ(read_text(server), "<error 536>");
  HANDLE client = open_client("\\\\.\\pipe\\nowait");
  EXPECT_FALSE(ConnectNamedPipe(server, nullptr));
  EXPECT_EQ(GetLastError(), ERROR_PIPE_CONNECTED);
  EXPECT_EQ(read_text(server), "<error 232>");  // nothing there, no wait
  write_text(client, "x");
  EXPECT_EQ(read_text(server), "x");
  CloseHandle(client);
  CloseHandle(server);
}

TEST(PipeNames, FormsAndFiles) {
  EXPECT_TRUE(nt_is_pipe_path("\\\\.\\pipe\\x"));
  EXPECT_TRUE(nt_is_pipe_path("//SRV/PIPE/x"));
  EXPECT_TRUE(nt_is_pipe_path("\\\\SRV\\Pipe\\a\\b"));
  EXPECT_FALSE(nt_is_pipe_path("\\\\SRV\\share\\x"));
  EXPECT_FALSE(nt_is_pipe_path("\\\\SRV\\pipes\\x"));
  EXPECT_FALSE(nt_is_pipe_path("\\\\\\pipe\\x"));
  EXPECT_FALSE(nt_is_pipe_path("C:\\pipe\\x"));
  EXPECT_FALSE(nt_is_pipe_path(nullptr));
  NtPipePath path;
  ASSERT_EQ(nt_parse_pipe_path("\\\\SRV\\pipe\\a\\b", &path), ERROR_SUCCESS);
  EXPECT_EQ(path.server, "SRV");
  EXPECT_EQ(path.name, "a\\b");
  ASSERT_EQ(nt_parse_pipe_path("\\\\.\\pipe\\zebsrv", &path), ERROR_SUCCESS);
  EXPECT_EQ(path.server, "");

  EXPECT_EQ(nt_pipe_file_name("ZebSrv"), "zebsrv");
  EXPECT_EQ(nt_pipe_file_name("a\\b/c%d"), "a%5Cb%2Fc%25d");
  EXPECT_EQ(nt_pipe_file_name(".locks"), "%2Elocks");
  EXPECT_EQ(nt_pipe_file_name("x\ny"), "x%0Ay");
  // Long names are cut with a hash of the whole: distinct names stay apart.
  std::string a = nt_pipe_file_name(std::string(300, '/') + "a");
  std::string b = nt_pipe_file_name(std::string(300, '/') + "b");
  EXPECT_NE(a, b);
  EXPECT_LE(a.size(), 80u);
  EXPECT_EQ(nt_pipe_file_name(std::string(80, 'x')), std::string(80, 'x'));
  EXPECT_EQ(nt_pipe_file_name(std::string(81, 'x')).substr(0, 61), std::string(60, 'x') + "~");
}

}  // namespace
