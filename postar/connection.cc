#include "postar/connection.h"

#include <cstring>

#include "postar/messages.h"

namespace {

ws::SOCKET setup_failed() {
  report("cannot setup socket");
  return ws::INVALID_SOCKET;
}

}  // namespace

ws::SOCKET open_connection(const char* host) {
  WSADATA data;
  if (WSAStartup(MAKEWORD(1, 1), &data) != 0) {
    report("Sockets DLL invalid");
    return setup_failed();
  }
  if (data.wVersion != MAKEWORD(1, 1)) {
    report("Version mismatch");
    WSACleanup();
    return setup_failed();
  }
  ws::SOCKET s = ws::socket(ws::AF_INET, ws::SOCK_STREAM, 0);
  if (s == ws::INVALID_SOCKET) {
    report("Socket() failed");
    WSACleanup();
    return setup_failed();
  }
  ws::sockaddr_in server;
  memset(&server, 0, sizeof server);
  server.sin_family = ws::AF_INET;
  server.sin_port = ws::htons(SMTP_PORT);
  server.sin_addr.s_addr = ws::inet_addr(host);
  if (server.sin_addr.s_addr == ws::INADDR_NONE) {
    ws::hostent* entry = ws::gethostbyname(host);
    if (!entry || !entry->h_addr_list[0]) {
      reportf("gethostbyname() failed, unknown host '%s'", host);
      ws::closesocket(s);
      WSACleanup();
      return setup_failed();
    }
    memcpy(&server.sin_addr.s_addr, entry->h_addr_list[0], sizeof server.sin_addr.s_addr);
  }
  // The result is left alone on purpose: a refused or failed connection is
  // reported by the first poll.
  ws::connect(s, reinterpret_cast<ws::sockaddr*>(&server), sizeof server);
  return s;
}

void close_connection(ws::SOCKET s) {
  if (ws::closesocket(s) == ws::SOCKET_ERROR) {
    SetLastError(static_cast<DWORD>(WSAGetLastError()));
    report_code("Close Socket failed");
  }
  WSACleanup();
}
