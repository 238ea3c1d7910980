#include "platform/winsock/winsock.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/kernel/clock.h"

namespace {

// Starts the library for one test and ends it again.
class Started {
 public:
  Started() { EXPECT_EQ(WSAStartup(MAKEWORD(1, 1), &data_), 0); }
  ~Started() { EXPECT_EQ(WSACleanup(), 0); }

 private:
  WSADATA data_;
};

ws::sockaddr_in loopback(ws::u_short port) {
  ws::sockaddr_in a;
  memset(&a, 0, sizeof a);
  a.sin_family = ws::AF_INET;
  a.sin_port = ws::htons(port);
  a.sin_addr.s_addr = ws::htonl(ws::INADDR_LOOPBACK);
  return a;
}

// A listening ws::socket on a free loopback port.
ws::SOCKET listener(ws::u_short* port) {
  ws::SOCKET s = ws::socket(ws::AF_INET, ws::SOCK_STREAM, 0);
  EXPECT_NE(s, ws::INVALID_SOCKET);
  ws::sockaddr_in a = loopback(0);
  EXPECT_EQ(ws::bind(s, reinterpret_cast<ws::sockaddr*>(&a), sizeof a), 0);
  EXPECT_EQ(ws::listen(s, 4), 0);
  int length = sizeof a;
  EXPECT_EQ(ws::getsockname(s, reinterpret_cast<ws::sockaddr*>(&a), &length), 0);
  *port = ws::ntohs(a.sin_port);
  return s;
}

// A loopback port that nothing listens on.
ws::u_short closed_port() {
  ws::u_short port = 0;
  ws::SOCKET s = listener(&port);
  ws::closesocket(s);
  return port;
}

int connect_to(ws::SOCKET s, ws::u_short port) {
  ws::sockaddr_in a = loopback(port);
  return ws::connect(s, reinterpret_cast<ws::sockaddr*>(&a), sizeof a);
}

// Waits up to two seconds for bytes to arrive.
ws::u_long wait_for_bytes(ws::SOCKET s) {
  ws::u_long waiting = 0;
  for (int i = 0; i < 200 && waiting == 0; ++i) {
    EXPECT_EQ(ws::ioctlsocket(s, ws::FIONREAD, &waiting), 0);
    if (waiting == 0) Sleep(10);
  }
  return waiting;
}

TEST(WinsockStartup, VersionNegotiationAndCounting) {
  WSADATA data;
  EXPECT_EQ(ws::socket(ws::AF_INET, ws::SOCK_STREAM, 0), ws::INVALID_SOCKET);
  EXPECT_EQ(WSAGetLastError(), static_cast<int>(WSANOTINITIALISED));
  EXPECT_EQ(WSACleanup(), ws::SOCKET_ERROR);
  EXPECT_EQ(WSAGetLastError(), static_cast<int>(WSANOTINITIALISED));
  EXPECT_EQ(ws::gethostbyname("localhost"), nullptr);
  EXPECT_EQ(WSAGetLastError(), static_cast<int>(WSANOTINITIALISED));

  EXPECT_EQ(WSAStartup(MAKEWORD(0, 9), &data), static_cast<int>(WSAVERNOTSUPPORTED));
  EXPECT_EQ(WSACleanup(), ws::SOCKET_ERROR);  // the failed start counts for nothing
  EXPECT_EQ(WSAStartup(MAKEWORD(1, 1), nullptr), static_cast<int>(WSAEFAULT));

  ASSERT_EQ(WSAStartup(MAKEWORD(1, 1), &data), 0);
  EXPECT_EQ(data.wVersion, 0x0101);
  EXPECT_EQ(data.wHighVersion, 0x0101);
  ASSERT_EQ(WSAStartup(MAKEWORD(2, 2), &data), 0);
  EXPECT_EQ(data.wVersion, MAKEWORD(1, 1));
  ASSERT_EQ(WSAStartup(MAKEWORD(1, 0), &data), 0);
  EXPECT_EQ(data.wVersion, MAKEWORD(1, 0));
  EXPECT_EQ(WSACleanup(), 0);
  EXPECT_EQ(WSACleanup(), 0);
  ws::SOCKET s = ws::socket(ws::AF_INET, ws::SOCK_STREAM, 0);  // one start still counts
  EXPECT_NE(s, ws::INVALID_SOCKET);
  EXPECT_EQ(ws::closesocket(s), 0);
  EXPECT_EQ(WSACleanup(), 0);
  EXPECT_EQ(WSACleanup(), ws::SOCKET_ERROR);
  EXPECT_EQ(WSAGetLastError(), static_cast<int>(WSANOTINITIALISED));

  // The byte-order and address helpers need no start.
  EXPECT_EQ(ws::htons(0x1234), 0x3412);
  EXPECT_EQ(ws::ntohl(ws::htonl(0x01020304u)), 0x01020304u);
  EXPECT_EQ(ws::inet_addr("127.0.0.1"), ws::htonl(0x7F000001u));
}

TEST(WinsockTraffic, LoopbackSendReceiveAndFionread) {
  Started started;
  ws::u_short port = 0;
  ws::SOCKET server = listener(&port);
  ws::SOCKET client = ws::socket(ws::AF_INET, ws::SOCK_STREAM, ws::IPPROTO_TCP);
  ASSERT_EQ(connect_to(client, port), 0);
  ws::sockaddr_in peer;
  int length = sizeof peer;
  ws::SOCKET accepted = ws::accept(server, reinterpret_cast<ws::sockaddr*>(&peer), &length);
  ASSERT_NE(accepted, ws::INVALID_SOCKET);
  EXPECT_EQ(peer.sin_family, ws::AF_INET);
  EXPECT_EQ(peer.sin_addr.s_addr, ws::htonl(ws::INADDR_LOOPBACK));
  EXPECT_EQ(length, static_cast<int>(sizeof peer));

  ws::u_long waiting = 99;
  EXPECT_EQ(ws::ioctlsocket(accepted, ws::FIONREAD, &waiting), 0);
  EXPECT_EQ(waiting, 0u);
  EXPECT_EQ(ws::send(client, "hello world", 11, 0), 11);
  EXPECT_EQ(wait_for_bytes(accepted), 11u);
  char buffer[8];
  EXPECT_EQ(ws::recv(accepted, buffer, 5, ws::MSG_PEEK), 5);
  EXPECT_EQ(ws::recv(accepted, buffer, 5, 0), 5);
  EXPECT_EQ(std::string(buffer, 5), "hello");
  EXPECT_EQ(ws::ioctlsocket(accepted, ws::FIONREAD, &waiting), 0);
  EXPECT_EQ(waiting, 6u);
  EXPECT_EQ(ws::recv(accepted, buffer, sizeof buffer, 0), 6);

  // Non-blocking: nothing there is WSAEWOULDBLOCK.
  ws::u_long on = 1;
  EXPECT_EQ(ws::ioctlsocket(accepted, ws::FIONBIO, &on), 0);
  EXPECT_EQ(ws::recv(accepted, buffer, sizeof buffer, 0), ws::SOCKET_ERROR);
  EXPECT_EQ(WSAGetLastError(), static_cast<int>(WSAEWOULDBLOCK));

  // The peer closes: ws::recv gives 0, and sending on never raises SIGPIPE.
  EXPECT_EQ(ws::closesocket(client), 0);
  on = 0;
  EXPECT_EQ(ws::ioctlsocket(accepted, ws::FIONBIO, &on), 0);
  EXPECT_EQ(ws::recv(accepted, buffer, sizeof buffer, 0), 0);
  int result = 0;
  for (int i = 0; i < 50 && result != ws::SOCKET_ERROR; ++i) {
    result = ws::send(accepted, "x", 1, 0);
    Sleep(5);
  }
  EXPECT_EQ(result, ws::SOCKET_ERROR);
  EXPECT_EQ(WSAGetLastError(), static_cast<int>(WSAECONNRESET));
  EXPECT_EQ(ws::closesocket(accepted), 0);
  EXPECT_EQ(ws::closesocket(server), 0);
}

TEST(WinsockTraffic, PortMapRedirectsConnects) {
  Started started;
  ws::u_short port = 0;
  ws::SOCKET server = listener(&port);
  std::string map = "110:1,25:" + std::to_string(port);
  setenv("NT_PORT_MAP", map.c_str(), 1);
  ws::SOCKET client = ws::socket(ws::AF_INET, ws::SOCK_STREAM, 0);
  EXPECT_EQ(connect_to(client, 25), 0);
  ws::SOCKET accepted = ws::accept(server, nullptr, nullptr);
  EXPECT_NE(accepted, ws::INVALID_SOCKET);
  EXPECT_EQ(ws::send(client, "MAIL", 4, 0), 4);
  EXPECT_EQ(wait_for_bytes(accepted), 4u);
  ws::closesocket(accepted);
  ws::closesocket(client);

  // A port that is not in the map is left alone.
  ws::u_short unused = closed_port();
  client = ws::socket(ws::AF_INET, ws::SOCK_STREAM, 0);
  EXPECT_EQ(connect_to(client, unused), ws::SOCKET_ERROR);
  EXPECT_EQ(WSAGetLastError(), static_cast<int>(WSAECONNREFUSED));
  ws::closesocket(client);
  unsetenv("NT_PORT_MAP");
  ws::closesocket(server);
}

TEST(WinsockErrors, FailedConnectShowsAtTheFirstRead) {
  Started started;
  ws::u_short unused = closed_port();
  ws::SOCKET s = ws::socket(ws::AF_INET, ws::SOCK_STREAM, 0);
  EXPECT_EQ(connect_to(s, unused), ws::SOCKET_ERROR);
  EXPECT_EQ(WSAGetLastError(), 10061);
  ws::u_long waiting = 0;
  EXPECT_EQ(ws::ioctlsocket(s, ws::FIONREAD, &waiting), ws::SOCKET_ERROR);
  EXPECT_EQ(WSAGetLastError(), static_cast<int>(WSAENOTCONN));
  EXPECT_EQ(ws::send(s, "x", 1, 0), ws::SOCKET_ERROR);
  EXPECT_EQ(ws::ioctlsocket(s, 0x12345, &waiting), ws::SOCKET_ERROR);
  EXPECT_EQ(WSAGetLastError(), static_cast<int>(WSAEINVAL));
  EXPECT_EQ(ws::ioctlsocket(s, ws::FIONREAD, nullptr), ws::SOCKET_ERROR);
  EXPECT_EQ(WSAGetLastError(), static_cast<int>(WSAEFAULT));

  ws::sockaddr_in a = loopback(unused);
  EXPECT_EQ(ws::connect(s, reinterpret_cast<ws::sockaddr*>(&a), 8), ws::SOCKET_ERROR);
  EXPECT_EQ(WSAGetLastError(), static_cast<int>(WSAEFAULT));
  a.sin_family = 23;
  EXPECT_EQ(ws::connect(s, reinterpret_cast<ws::sockaddr*>(&a), sizeof a), ws::SOCKET_ERROR);
  EXPECT_EQ(WSAGetLastError(), static_cast<int>(WSAEAFNOSUPPORT));
  EXPECT_EQ(ws::closesocket(s), 0);

  EXPECT_EQ(ws::closesocket(s), ws::SOCKET_ERROR);  // closed already
  EXPECT_EQ(WSAGetLastError(), static_cast<int>(WSAENOTSOCK));
  EXPECT_EQ(ws::closesocket(ws::INVALID_SOCKET), ws::SOCKET_ERROR);
  EXPECT_EQ(WSAGetLastError(), static_cast<int>(WSAENOTSOCK));
  EXPECT_EQ(ws::send(0, "x", 1, 0), ws::SOCKET_ERROR);  // standard input is no ws::socket
  EXPECT_EQ(WSAGetLastError(), static_cast<int>(WSAENOTSOCK));
  EXPECT_EQ(ws::socket(ws::AF_INET, 99, 0), ws::INVALID_SOCKET);
  EXPECT_EQ(WSAGetLastError(), static_cast<int>(WSAESOCKTNOSUPPORT));
  EXPECT_EQ(ws::socket(17, ws::SOCK_STREAM, 0), ws::INVALID_SOCKET);
  EXPECT_EQ(WSAGetLastError(), static_cast<int>(WSAEAFNOSUPPORT));

  // errno values never leak through.
  EXPECT_EQ(wsa_error_from_errno(ECONNREFUSED), 10061u);
  EXPECT_EQ(wsa_error_from_errno(EPIPE), WSAECONNRESET);
  EXPECT_EQ(wsa_error_from_errno(EINPROGRESS), WSAEWOULDBLOCK);
  EXPECT_EQ(wsa_error_from_errno(ETIMEDOUT), WSAETIMEDOUT);
  EXPECT_EQ(wsa_error_from_errno(ENOTCONN), WSAENOTCONN);
  EXPECT_GE(wsa_error_from_errno(EIO), 10000u);
}

TEST(WinsockOptions, SetAndGetOptions) {
  Started started;
  ws::SOCKET s = ws::socket(ws::AF_INET, ws::SOCK_STREAM, 0);
  int on = 1;
  EXPECT_EQ(
      ws::setsockopt(s, ws::SOL_SOCKET, ws::SO_REUSEADDR, reinterpret_cast<char*>(&on), sizeof on),
      0);
  int value = 0;
  int length = sizeof value;
  EXPECT_EQ(
      ws::getsockopt(s, ws::SOL_SOCKET, ws::SO_REUSEADDR, reinterpret_cast<char*>(&value), &length),
      0);
  EXPECT_NE(value, 0);
  EXPECT_EQ(
      ws::getsockopt(s, ws::SOL_SOCKET, ws::SO_TYPE, reinterpret_cast<char*>(&value), &length), 0);
  EXPECT_EQ(value, ws::SOCK_STREAM);
  EXPECT_EQ(
      ws::setsockopt(s, ws::IPPROTO_TCP, ws::TCP_NODELAY, reinterpret_cast<char*>(&on), sizeof on),
      0);
  ws::linger l{1, 3};
  EXPECT_EQ(ws::setsockopt(s, ws::SOL_SOCKET, ws::SO_LINGER, reinterpret_cast<char*>(&l), sizeof l),
            0);
  ws::linger back{};
  length = sizeof back;
  EXPECT_EQ(
      ws::getsockopt(s, ws::SOL_SOCKET, ws::SO_LINGER, reinterpret_cast<char*>(&back), &length), 0);
  EXPECT_EQ(back.l_onoff, 1);
  EXPECT_EQ(back.l_linger, 3);
  EXPECT_EQ(ws::setsockopt(s, ws::SOL_SOCKET, 0x7777, reinterpret_cast<char*>(&on), sizeof on),
            ws::SOCKET_ERROR);
  EXPECT_EQ(WSAGetLastError(), static_cast<int>(WSAENOPROTOOPT));
  ws::closesocket(s);
}

TEST(WinsockNames, AddressesAndHostNames) {
  EXPECT_EQ(ws::inet_addr("10.1.2.3"), ws::htonl(0x0A010203u));
  EXPECT_EQ(ws::inet_addr("10.258"), ws::htonl(0x0A000102u));  // the BSD short forms
  EXPECT_EQ(ws::inet_addr("0x7f.1"), ws::htonl(0x7F000001u));
  EXPECT_EQ(ws::inet_addr("SMTP_SERVER"), ws::INADDR_NONE);
  EXPECT_EQ(ws::inet_addr(""), ws::INADDR_NONE);
  EXPECT_EQ(ws::inet_addr("1.2.3.4.5"), ws::INADDR_NONE);
  EXPECT_EQ(ws::inet_addr(nullptr), ws::INADDR_NONE);
  ws::in_addr a{ws::htonl(0xC0A80001u)};
  EXPECT_STREQ(ws::inet_ntoa(a), "192.168.0.1");

  Started started;
  ws::hostent* h = ws::gethostbyname("127.0.0.1");
  ASSERT_NE(h, nullptr);
  EXPECT_EQ(h->h_addrtype, ws::AF_INET);
  EXPECT_EQ(h->h_length, 4);
  ASSERT_NE(h->h_addr_list[0], nullptr);
  ws::u_long address;
  memcpy(&address, h->h_addr_list[0], 4);
  EXPECT_EQ(address, ws::htonl(0x7F000001u));
  EXPECT_EQ(ws::gethostbyname("no-such-host.invalid"), nullptr);
  EXPECT_EQ(WSAGetLastError(), static_cast<int>(WSAHOST_NOT_FOUND));

  setenv("COMPUTERNAME", "mailhost", 1);
  char name[16];
  EXPECT_EQ(ws::gethostname(name, sizeof name), 0);
  EXPECT_STREQ(name, "MAILHOST");
  EXPECT_EQ(ws::gethostname(name, 8), ws::SOCKET_ERROR);
  EXPECT_EQ(WSAGetLastError(), static_cast<int>(WSAEFAULT));
  unsetenv("COMPUTERNAME");
}

}  // namespace
