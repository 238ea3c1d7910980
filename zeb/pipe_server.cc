#include "zeb/pipe_server.h"

#include <atomic>
#include <string>

#include "platform/files/file_io.h"
#include "platform/kernel/clock.h"
#include "platform/kernel/handle.h"
#include "platform/pipes/named_pipe.h"
#include "platform/security/security_descriptor.h"
#include "platform/sync/thread.h"
#include "zeb/event_logger.h"
#include "zeb/pipe_connection.h"
#include "zeb/pipe_handlers.h"
#include "zeb/pipe_protocol.h"

namespace {

std::atomic<int> g_active{0};
// Set by CloseCommandThread before it sends the close request: only then
// does 1998 end the pipe service. A close request from anyone else is
// answered as a version request, so no client can take the pipe away.
std::atomic<bool> g_closing{false};

constexpr DWORD kPipeBufferSize = 1024;
constexpr DWORD kPipeTimeoutMs = 10000;
constexpr DWORD kRetryMs = 200;

DWORD command_thread(void* parameter);

struct ListenerStart {
  ZebService* service;
  HANDLE pipe;  // the instance made for it, or null
};

HANDLE create_instance() {
  // A present but null access list: every caller may connect; the access
  // check decides what it may do.
  SECURITY_DESCRIPTOR sd;
  if (!InitializeSecurityDescriptor(&sd, SECURITY_DESCRIPTOR_REVISION)) {
    zeb_log_api_error(static_cast<long>(GetLastError()), "InitializeSecurityDescriptor()");
    return nullptr;
  }
  if (!SetSecurityDescriptorDacl(&sd, TRUE, nullptr, FALSE)) {
    zeb_log_api_error(static_cast<long>(GetLastError()), "SetSecurityDescriptorDacl()");
    return nullptr;
  }
  SECURITY_ATTRIBUTES security{sizeof(SECURITY_ATTRIBUTES), &sd, FALSE};
  HANDLE pipe = CreateNamedPipeA(ZEB_PIPE_NAME, PIPE_ACCESS_DUPLEX | FILE_FLAG_WRITE_THROUGH,
                                 PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT,
                                 PIPE_UNLIMITED_INSTANCES, kPipeBufferSize, kPipeBufferSize,
                                 kPipeTimeoutMs, &security);
  if (pipe == INVALID_HANDLE_VALUE || pipe == nullptr) {
    zeb_log_api_error(static_cast<long>(GetLastError()), "CreateNamedPipe()");
    return nullptr;
  }
  return pipe;
}

// The successor's instance is made here, before the thread runs, so the
// pipe name never goes away while one connection ends and the next
// listener is still on its way.
bool start_listener(ZebService& service) {
  auto* start = new ListenerStart{&service, create_instance()};
  HANDLE thread = CreateThread(nullptr, 0, command_thread, start, 0, nullptr);
  if (thread == nullptr) {
    DWORD error = GetLastError();
    if (start->pipe != nullptr) CloseHandle(start->pipe);
    delete start;
    SetLastError(error);
    return false;
  }
  CloseHandle(thread);
  return true;
}

void start_successor(ZebService& service) {
  while (!start_listener(service)) {
    zeb_log_api_error(static_cast<long>(GetLastError()), "CreateThread(worker_thread)");
    if (g_closing.load()) return;
    Sleep(kRetryMs);
  }
}

void close_pipe(HANDLE pipe) {
  FlushFileBuffers(pipe);
  DisconnectNamedPipe(pipe);
  CloseHandle(pipe);
}

// Serves one connection whose code has been read.
void serve(ZebService& service, ZebConnection& conn, DWORD code) {
  if (code == ZEB_CMD_CLOSE || code == ZEB_CMD_VERSION) {
    conn.write_text(service.version);
    return;
  }
  const ZebCommandInfo* info = zeb_command_info(code);
  bool in_range = code >= 1 && code <= 100;
  if (in_range && info == nullptr) return;  // unknown command: closed at once
  ZebAccess access = (info != nullptr && info->access == ZebAccess::read) ? ZebAccess::read
                                                                          : ZebAccess::write;
  if (!zeb_check_security(conn, access)) {
    conn.write_text(ZEB_REPLY_ACCESS_DENIED);
    return;
  }
  if (!conn.write_text(service.version)) return;
  if (!in_range) return;
  switch (code) {
    case ZEB_CMD_ADD:
      zeb_serve_add(conn);
      break;
    case ZEB_CMD_SWITCH:
      zeb_serve_switch(conn);
      break;
    default:
      zeb_serve_job_loop(conn, code);
      break;
  }
  if (!conn.final_ack()) {
    zeb_log(ZEB_EV_API_ERROR, false, "ProtocolError, no final ACK", "ClientCommandThread()");
  }
  conn.write_control(ZEB_END);
}

DWORD command_thread(void* parameter) {
  ListenerStart* start = static_cast<ListenerStart*>(parameter);
  ZebService& service = *start->service;
  HANDLE pipe = start->pipe;
  delete start;
  for (;;) {
    if (pipe == nullptr) pipe = create_instance();
    if (pipe != nullptr) {
      if (ConnectNamedPipe(pipe, nullptr) || GetLastError() == ERROR_PIPE_CONNECTED) break;
      zeb_log_api_error(static_cast<long>(GetLastError()), "ConnectNamedPipe()");
      CloseHandle(pipe);
      pipe = nullptr;
    }
    // The pipe service must not die with one failed instance: try again
    // unless the service is closing it.
    if (g_closing.load()) return 0;
    Sleep(kRetryMs);
  }

  ++g_active;
  ZebConnection conn(service, pipe);
  std::string message;
  DWORD code = 0;
  bool have_code = conn.read(&message, ZEB_CODE_READ);
  if (!have_code) {
    zeb_log_api_error(static_cast<long>(GetLastError()),
                      std::string("CommandThread:ReadFile(") + ZEB_PIPE_NAME + ")");
  }
  bool decoded = have_code && zeb_decode_code(message.data(), message.size(), &code);
  bool ends_service = decoded && code == ZEB_CMD_CLOSE && g_closing.load();
  // A failed read or a message that is no code still needs a successor:
  // one bad client must not end the pipe service.
  if (!ends_service) start_successor(service);
  if (decoded) serve(service, conn, code);
  close_pipe(pipe);
  --g_active;
  return 0;
}

}  // namespace

bool zeb_start_command_thread(ZebService& service) {
  g_closing = false;
  return start_listener(service);
}

int zeb_active_connections() { return g_active.load(); }

bool zeb_close_command_thread(ZebService& service, DWORD wait_ms) {
  g_closing = true;
  const char* name = ZEB_PIPE_NAME;
  bool ok = false;
  HANDLE pipe = INVALID_HANDLE_VALUE;
  DWORD start = GetTickCount();
  for (;;) {
    pipe = CreateFileA(name, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                       FILE_FLAG_WRITE_THROUGH, nullptr);
    if (pipe != INVALID_HANDLE_VALUE) break;
    if (GetLastError() != ERROR_PIPE_BUSY || GetTickCount() - start > wait_ms) break;
    WaitNamedPipeA(name, 1000);
  }
  if (pipe == INVALID_HANDLE_VALUE) {
    zeb_log_api_error(static_cast<long>(GetLastError()),
                      std::string("CloseCommandThread:CreateFile(") + name + ")");
  } else {
    std::string code = zeb_encode_code(ZEB_CMD_CLOSE);
    DWORD done = 0;
    if (!WriteFile(pipe, code.data(), static_cast<DWORD>(code.size()), &done, nullptr)) {
      zeb_log_api_error(static_cast<long>(GetLastError()),
                        std::string("CloseCommandThread:WriteFile(") + name + ")");
    } else {
      char reply[1024];
      DWORD got = 0;
      if (!ReadFile(pipe, reply, sizeof reply, &got, nullptr) || got == 0) {
        zeb_log_api_error(static_cast<long>(GetLastError()),
                          std::string("CloseCommandThread:ReadFile(") + name + ")");
      } else if (zeb_message_text(reply, got) != service.version) {
        zeb_log(ZEB_EV_API_ERROR, false, "INVALID_REPLY", "CloseCommandThread()");
      } else {
        ok = true;
      }
    }
    CloseHandle(pipe);
  }
  while (g_active.load() > 0 && GetTickCount() - start < wait_ms) Sleep(20);
  return ok;
}
