#include "postar/dialogue.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>

#include "platform/kernel/clock.h"
#include "postar/connection.h"

namespace {

using testing::internal::CaptureStderr;
using testing::internal::CaptureStdout;
using testing::internal::GetCapturedStderr;
using testing::internal::GetCapturedStdout;

// A loopback server that postar's connection reaches through NT_PORT_MAP,
// and one dialogue over it with polls 5 ms apart.
class DialogueTest : public testing::Test {
 protected:
  void SetUp() override {
    setenv("COMPUTERNAME", "mailhost", 1);
    setenv("LANG", "C", 1);
    char pattern[] = "/tmp/dialogue_test_XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
    WSADATA data;
    ASSERT_EQ(WSAStartup(MAKEWORD(1, 1), &data), 0);
    listener_ = ws::socket(ws::AF_INET, ws::SOCK_STREAM, 0);
    ws::sockaddr_in a{};
    a.sin_family = ws::AF_INET;
    a.sin_addr.s_addr = ws::htonl(ws::INADDR_LOOPBACK);
    ASSERT_EQ(ws::bind(listener_, reinterpret_cast<ws::sockaddr*>(&a), sizeof a), 0);
    ASSERT_EQ(ws::listen(listener_, 1), 0);
    int length = sizeof a;
    ws::getsockname(listener_, reinterpret_cast<ws::sockaddr*>(&a), &length);
    setenv("NT_PORT_MAP", ("25:" + std::to_string(ws::ntohs(a.sin_port))).c_str(), 1);

    settings_.ini_file = dir_ + "/test.ini";
    settings_.section = "Commands";
    settings_.poll_interval_ms = 5;
  }
  void TearDown() override {
    ws::closesocket(listener_);
    WSACleanup();
    unsetenv("NT_PORT_MAP");
    unsetenv("COMPUTERNAME");
    system(("rm -rf '" + dir_ + "'").c_str());
  }

  void write_commands(const std::string& lines) {
    std::ofstream(settings_.ini_file) << "[Commands]\n" << lines;
  }

  // Connects the client side and accepts it.
  void connect_both() {
    client_ = open_connection("127.0.0.1");
    ASSERT_NE(client_, ws::INVALID_SOCKET);
    peer_ = ws::accept(listener_, nullptr, nullptr);
    ASSERT_NE(peer_, ws::INVALID_SOCKET);
  }
  void close_both() {
    close_connection(client_);
    ws::closesocket(peer_);
  }
  std::string drain_peer() {
    std::string got;
    ws::u_long waiting = 0;
    while (ws::ioctlsocket(peer_, ws::FIONREAD, &waiting) == 0 && waiting > 0) {
      char buffer[4096];
      int n = ws::recv(peer_, buffer, sizeof buffer, 0);
      if (n <= 0) break;
      got.append(buffer, static_cast<size_t>(n));
    }
    return got;
  }

  std::string dir_;
  DialogueSettings settings_;
  ws::SOCKET listener_ = ws::INVALID_SOCKET;
  ws::SOCKET client_ = ws::INVALID_SOCKET;
  ws::SOCKET peer_ = ws::INVALID_SOCKET;
};

TEST_F(DialogueTest, SilentServerTimesOutWhenTheCounterExceedsTheLimit) {
  // Waiting for the greeting: the poll whose counter reaches limit + 1 ends it.
  write_commands("QUIT\\r\\n=221\n");
  settings_.lines = {"QUIT\\r\\n"};
  settings_.answer = "220";
  settings_.response_timeout = 10;
  connect_both();
  int polls = 0;
  CaptureStderr();
  EXPECT_EQ(run_dialogue(client_, settings_, nullptr, &polls), DialogueEnd::TIMEOUT);
  EXPECT_EQ(GetCapturedStderr(), "POSTAR-ERROR, Response timeout waiting for answer '220'\n");
  EXPECT_EQ(polls, 11);

  // A line sent at the first poll, its answer never comes: 11 polls after it.
  settings_.answer = "";
  settings_.response_timeout = 10;
  CaptureStderr();
  EXPECT_EQ(run_dialogue(client_, settings_, nullptr, &polls), DialogueEnd::TIMEOUT);
  EXPECT_EQ(GetCapturedStderr(), "POSTAR-ERROR, Response timeout waiting for answer '221'\n");
  EXPECT_EQ(polls, 12);
  EXPECT_EQ(drain_peer(), "QUIT\r\n");
  close_both();
}

TEST_F(DialogueTest, LinesWaitForTheirAnswers) {
  write_commands("HELO ~h\\r\\n=250\nNOWAIT\\r\\n\nQUIT\\r\\n=221\n");
  settings_.lines = {"HELO ~h\\r\\n", "NOWAIT\\r\\n", "QUIT\\r\\n"};
  settings_.answer = "220";
  settings_.verbose = true;
  connect_both();
  std::string received;
  std::thread server([&] {
    ws::send(peer_, "220 ready\r\n", 11, 0);
    const char* replies[] = {"250 hello\r\n", nullptr, "221 bye\r\n"};
    for (const char* reply : replies) {
      std::string line;
      while (line.find("\r\n") == std::string::npos) {
        char c;
        if (ws::recv(peer_, &c, 1, 0) != 1) return;
        line += c;
      }
      received += line;
      if (reply) ws::send(peer_, reply, static_cast<int>(strlen(reply)), 0);
    }
  });
  CaptureStdout();
  int polls = 0;
  DialogueEnd end = run_dialogue(client_, settings_, nullptr, &polls);
  std::string out = GetCapturedStdout();
  server.join();
  EXPECT_EQ(end, DialogueEnd::COMPLETE);
  EXPECT_EQ(received, "HELO MAILHOST\r\nNOWAIT\r\nQUIT\r\n");
  EXPECT_NE(out.find("POSTAR<<<--- 220 ready\r\n\n"), std::string::npos) << out;
  EXPECT_NE(out.find("POSTAR--->>> HELO MAILHOST\r\n\n"), std::string::npos) << out;
  EXPECT_NE(out.find("POSTAR--->>> QUIT\r\n\nPOSTAR<<<--- 221 bye\r\n\n"), std::string::npos)
      << out;
  close_both();
}

TEST_F(DialogueTest, FullReceiveBlocksStayPrintable) {
  write_commands("QUIT\\r\\n=END\n");
  settings_.lines = {"QUIT\\r\\n"};
  settings_.answer = "";
  settings_.verbose = true;
  settings_.response_timeout = 20;
  connect_both();
  std::string big = std::string(1500, 'x') + "END";
  CaptureStdout();
  std::thread server([&] {
    char line[16];
    ws::recv(peer_, line, 6, 0);
    ws::send(peer_, big.data(), static_cast<int>(big.size()), 0);
  });
  DialogueEnd end = run_dialogue(client_, settings_, nullptr);
  server.join();
  std::string out = GetCapturedStdout();
  EXPECT_EQ(end, DialogueEnd::COMPLETE);
  size_t first = out.find("POSTAR<<<--- ");
  ASSERT_NE(first, std::string::npos) << out;
  // The first block is exactly 1,024 bytes, printed as one text.
  EXPECT_EQ(out.substr(first + 13, 1025), std::string(1024, 'x') + "\n");
  close_both();
}

TEST_F(DialogueTest, RefusedConnectionEndsAtTheFirstPoll) {
  ws::closesocket(listener_);  // nothing listens on the mapped port now
  listener_ = ws::INVALID_SOCKET;
  settings_.lines = {"QUIT\\r\\n"};
  client_ = open_connection("127.0.0.1");
  ASSERT_NE(client_, ws::INVALID_SOCKET);
  int polls = 0;
  CaptureStderr();
  EXPECT_EQ(run_dialogue(client_, settings_, nullptr, &polls), DialogueEnd::SOCKET_ERROR);
  EXPECT_EQ(GetCapturedStderr(), "POSTAR-ERROR, [entry] ioctl error, error=10057\n");
  EXPECT_EQ(polls, 1);
  close_connection(client_);
}

TEST_F(DialogueTest, SendFileSendsDeletesAndReports) {
  connect_both();
  std::string body(2500, 'b');
  std::string file = dir_ + "/body.txt";
  std::ofstream(file, std::ios::binary) << body;
  CaptureStdout();
  EXPECT_TRUE(send_file(client_, file.c_str(), true, true));
  EXPECT_EQ(GetCapturedStdout(), "POSTAR-INFO, Sending File " + file +
                                     "...\nPOSTAR-INFO, ...finished\nPOSTAR-INFO, deleted file " +
                                     file + "\n");
  EXPECT_NE(access(file.c_str(), F_OK), 0);
  Sleep(20);
  EXPECT_EQ(drain_peer(), body);

  std::ofstream(file, std::ios::binary) << "kept";
  CaptureStdout();
  EXPECT_TRUE(send_file(client_, file.c_str(), false, false));
  EXPECT_EQ(GetCapturedStdout(), "");
  EXPECT_EQ(access(file.c_str(), F_OK), 0);

  CaptureStderr();
  EXPECT_FALSE(send_file(client_, (dir_ + "/none.txt").c_str(), true, false));
  EXPECT_EQ(GetCapturedStderr(),
            "POSTAR-ERROR, Cannot open " + dir_ + "/none.txt for reading, error=2\n");
  close_both();
}

TEST(KeyList, SplitsNamesInOrder) {
  const char list[] = "HELO ~h\0QUIT\0\0";
  EXPECT_EQ(split_key_list(list, 13), (std::vector<std::string>{"HELO ~h", "QUIT"}));
  EXPECT_TRUE(split_key_list(list, 0).empty());
  // A cut list ends early; the cut name is kept as it came.
  EXPECT_EQ(split_key_list("ab\0cd", 4), (std::vector<std::string>{"ab", "c"}));
}

}  // namespace
