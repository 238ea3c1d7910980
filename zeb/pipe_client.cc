#include "zeb/pipe_client.h"

#include <cstdio>

#include "platform/files/file_io.h"
#include "platform/kernel/clock.h"
#include "platform/kernel/handle.h"
#include "platform/pipes/named_pipe.h"
#include "zeb/pipe_protocol.h"
#include "zeb/service_keys.h"

namespace {

class ClientPipe {
 public:
  ClientPipe(HANDLE h, std::string name) : h_(h), name_(std::move(name)) {}
  ~ClientPipe() { CloseHandle(h_); }
  bool read(std::string* message, DWORD max) {
    message->assign(max, '\0');
    DWORD got = 0;
    BOOL ok = ReadFile(h_, message->data(), max, &got, nullptr);
    if (!ok && GetLastError() == ERROR_MORE_DATA) ok = TRUE;
    if (!ok || got == 0) {
      if (ok) SetLastError(ERROR_BROKEN_PIPE);
      return false;
    }
    message->resize(got);
    return true;
  }
  bool write(const std::string& message, DWORD* written = nullptr) {
    DWORD done = 0;
    BOOL ok = WriteFile(h_, message.data(), static_cast<DWORD>(message.size()), &done, nullptr);
    if (written) *written = done;
    return ok && done == message.size();
  }
  bool answer(char c) { return write(zeb_control(c)); }

 private:
  HANDLE h_;
  std::string name_;
};

void emit(const std::function<void(const std::string&)>& sink, const std::string& line,
          FILE* fallback) {
  if (sink) {
    sink(line);
  } else {
    fputs(line.c_str(), fallback);
    fflush(fallback);
  }
}

std::string server_label(const ZebPipeRequest& request) {
  return request.server.empty() ? std::string("\\\\.") : request.server;
}

}  // namespace

std::string zeb_client_pipe_name(const ZebPipeRequest& request) {
  return zeb_pipe_path(request.server.empty() ? nullptr : request.server.c_str());
}

DWORD zeb_pipe_conversation(const ZebPipeRequest& request, const ZebPipeHooks& hooks,
                            ZebPipeResult* result) {
  ZebPipeResult local;
  ZebPipeResult& res = result ? *result : local;
  res = ZebPipeResult{};
  auto out = [&](const std::string& line) { emit(hooks.out, line, stdout); };
  auto err = [&](const std::string& line) { emit(hooks.err, line, stderr); };
  const std::string pipe_name = zeb_client_pipe_name(request);
  const std::string server = server_label(request);

  HANDLE h = INVALID_HANDLE_VALUE;
  DWORD start = GetTickCount();
  for (;;) {
    h = CreateFileA(pipe_name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                    FILE_FLAG_WRITE_THROUGH, nullptr);
    if (h != INVALID_HANDLE_VALUE) break;
    DWORD error = GetLastError();
    if (error == ERROR_PIPE_BUSY && GetTickCount() - start < request.busy_wait_ms) {
      if (!WaitNamedPipeA(pipe_name.c_str(), 1000)) Sleep(5);
      continue;
    }
    if (error == ERROR_FILE_NOT_FOUND) {
      err("ZEB-ERROR, " + std::string(ZEB_SERVICE_NAME) + " not running on " + server + "\n");
    } else {
      err("ZEB-ERROR, Connect(" + pipe_name + ") failed, error=" +
          std::to_string(static_cast<long>(error)) + "\n");
    }
    return error;
  }
  res.connected = true;
  ClientPipe pipe(h, pipe_name);
  auto io_error = [&](const char* call) {
    DWORD error = GetLastError();
    err("ZEB-ERROR, " + std::string(call) + "(" + pipe_name + ") failed, error=" +
        std::to_string(static_cast<long>(error)) + "\n");
    return error;
  };

  if (!pipe.write(zeb_encode_code(request.code))) return io_error("WriteFile");
  std::string message;
  if (!pipe.read(&message, ZEB_VERSION_READ)) return io_error("ReadFile");
  res.server_version = zeb_message_text(message.data(), message.size());
  if (request.code == ZEB_CMD_CLOSE || request.code == ZEB_CMD_VERSION) return ERROR_SUCCESS;
  if (res.server_version != request.own_version) {
    if (!res.server_version.empty() && res.server_version[0] == 'V') {
      err("ZEB-ERROR, " + server + " Version mismatch ! Server is " + res.server_version +
          ", expected " + request.own_version + "\n");
    } else {
      err("ZEB-ERROR, " + server + " reports '" + res.server_version + "'\n");
      res.access_denied = res.server_version == "Access Denied";
    }
  }

  const ZebCommandInfo* info = zeb_command_info(request.code);
  if (info != nullptr && info->body == ZebBody::record) {
    BYTE bytes[JOB_RECORD_SIZE];
    job_record_encode(request.record, bytes);
    pipe.write(std::string(reinterpret_cast<const char*>(bytes), sizeof bytes));
  } else {
    pipe.write(zeb_text_message(request.pattern));
  }

  std::string job = job_name(request.record);
  JobRecord prepared = request.record;
  while (pipe.read(&message, ZEB_MESSAGE_READ)) {
    switch (zeb_classify_server_message(message.data(), message.size())) {
      case ZebServerMessage::ack:
        pipe.answer(ZEB_ACK);
        break;
      case ZebServerMessage::name: {
        job = zeb_name_of(message.data(), message.size());
        ++res.matched;
        bool yes = hooks.confirm ? hooks.confirm(job) : true;
        pipe.answer(yes ? ZEB_ACK : ZEB_SKIP);
        break;
      }
      case ZebServerMessage::record: {
        pipe.answer(ZEB_ACK);
        std::string bytes;
        if (!pipe.read(&bytes, ZEB_MESSAGE_READ)) break;
        JobRecord rec;
        if (bytes.size() < JOB_RECORD_SIZE ||
            !job_record_decode(reinterpret_cast<const BYTE*>(bytes.data()), JOB_RECORD_SIZE,
                               &rec)) {
          err("ZEB-ERROR, ReadFile(" + pipe_name + ") incomplete, " +
              std::to_string(bytes.size()) + " of " + std::to_string(JOB_RECORD_SIZE) + "\n");
          pipe.answer(ZEB_SKIP);
          break;
        }
        if (hooks.accept && !hooks.accept(rec)) {
          pipe.answer(ZEB_SKIP);
          break;
        }
        pipe.answer(ZEB_ACK);
        if (hooks.record) hooks.record(rec);
        prepared = rec;
        if (hooks.prepare) hooks.prepare(&prepared);
        break;
      }
      case ZebServerMessage::send: {
        BYTE bytes[JOB_RECORD_SIZE];
        job_record_encode(prepared, bytes);
        DWORD written = 0;
        if (!pipe.write(std::string(reinterpret_cast<const char*>(bytes), sizeof bytes),
                        &written)) {
          err("ZEB-ERROR, WriteFile(" + pipe_name + ") incomplete, " + std::to_string(written) +
              " of " + std::to_string(JOB_RECORD_SIZE) + "\n");
        }
        break;
      }
      case ZebServerMessage::done:
        ++res.processed;
        if (request.code != ZEB_CMD_SHOW) {
          out("ZEB-INFO, " + request.command_word + " successful for " + server + "\\" + job +
              "\n");
        }
        pipe.answer(ZEB_ACK);
        break;
      case ZebServerMessage::end:
        res.ended = true;
        return ERROR_SUCCESS;
      case ZebServerMessage::text:
        err("ZEB-ERROR, " + server + " reports '" +
            zeb_message_text(message.data(), message.size()) + "'\n");
        pipe.answer(ZEB_ACK);
        break;
    }
  }
  return ERROR_SUCCESS;
}
