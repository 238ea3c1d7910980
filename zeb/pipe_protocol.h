// The messages of the scheduler's command pipe. Every message is one pipe
// write and one read:
//   text     a string written together with its NUL
//   control  two bytes: a control character and a NUL
//   record   exactly 380 bytes, a JobRecord
//   code     the command code as 8 upper-case hexadecimal digits, no NUL
// This file holds the codes, the control bytes, the reply texts and the
// pure encoding and decoding of the messages; the server and the client
// move them through the pipe.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "platform/win32_types.h"
#include "zeb/job_record.h"

constexpr const char* ZEB_PIPE_NAME = "\\\\.\\pipe\\zebsrv";
// "%s\pipe\zebsrv" of a server given with its backslashes.
std::string zeb_pipe_path(const char* server);

// Control characters.
constexpr char ZEB_ACK = 0x06;
constexpr char ZEB_SKIP = 0x05;
constexpr char ZEB_NAME = 0x07;
constexpr char ZEB_RECORD = 0x0B;
constexpr char ZEB_SEND = 0x0C;
constexpr char ZEB_DONE = 0x09;
constexpr char ZEB_END = 0x0A;

// Command codes.
constexpr DWORD ZEB_CMD_ADD = 1;
constexpr DWORD ZEB_CMD_DEL = 2;
constexpr DWORD ZEB_CMD_SET = 3;
constexpr DWORD ZEB_CMD_PAUSE = 10;
constexpr DWORD ZEB_CMD_RESUME = 11;
constexpr DWORD ZEB_CMD_START = 12;
constexpr DWORD ZEB_CMD_STOP = 13;
constexpr DWORD ZEB_CMD_CLEAN = 14;
constexpr DWORD ZEB_CMD_SWITCH = 17;
constexpr DWORD ZEB_CMD_SHOW = 100;
constexpr DWORD ZEB_CMD_CLOSE = 1998;
constexpr DWORD ZEB_CMD_VERSION = 1999;

// Read sizes of the conversation.
constexpr DWORD ZEB_CODE_READ = 1023;     // server: the command code
constexpr DWORD ZEB_RECORD_READ = 1023;   // server: a record body
constexpr DWORD ZEB_ANSWER_READ = 255;    // server: the client's answers
constexpr DWORD ZEB_RECORD_ACK_READ = 1022;
constexpr DWORD ZEB_PATTERN_MAX = 254;    // characters of a pattern
constexpr DWORD ZEB_VERSION_READ = 1024;  // client: the version reply
constexpr DWORD ZEB_MESSAGE_READ = 1022;  // client: the server's messages
constexpr DWORD ZEB_USER_NAME_BYTES = 24; // caller's name in the access check

// Reply texts of the server.
constexpr const char* ZEB_REPLY_ACCESS_DENIED = "Access Denied";
constexpr const char* ZEB_REPLY_PAUSED = "Job is paused";
constexpr const char* ZEB_REPLY_NOT_PAUSED = "Job is not paused";
constexpr const char* ZEB_REPLY_RUNNING = "Job is running";
constexpr const char* ZEB_REPLY_NOT_RUNNING = "Job is not running";
constexpr const char* ZEB_REPLY_EXISTS = "Job already exists";
constexpr const char* ZEB_REPLY_MAX_JOBS = "Maximum jobs reached";
constexpr const char* ZEB_REPLY_INVALID_BUFFER = "Invalid buffer";
constexpr const char* ZEB_REPLY_NOT_INTERACTIVE = "ZEB Service is not interactive";
constexpr const char* ZEB_REPLY_WAIT_TIMEOUT = "Wait timeout";
constexpr const char* ZEB_REPLY_REGISTRY_ERROR = "Registry error";
constexpr const char* ZEB_REPLY_NO_MATCH = "No match";
constexpr const char* ZEB_REPLY_NO_THREAD = "No job thread";
constexpr const char* ZEB_REPLY_NO_DONE_EVENT = "Cannot set done event";
// "OpenDesktop(%s) failed, error=%ld"
std::string zeb_reply_open_desktop(std::string_view job, long error);
// "Cannot delete %s%s.%s, error=%ld"
std::string zeb_reply_cannot_delete(std::string_view dir, std::string_view job,
                                     std::string_view kind, long error);

// What a command needs.
enum class ZebBody { none, record, pattern };
enum class ZebAccess { none, read, write };
struct ZebCommandInfo {
  DWORD code;
  const char* name;  // AddJob, DelJob, ...
  ZebBody body;
  ZebAccess access;
  bool job_loop;     // walks the matching jobs with NAME/RECORD
};
// The entry of a known code, else null.
const ZebCommandInfo* zeb_command_info(DWORD code);

// "%08X"
std::string zeb_encode_code(DWORD code);
// The code of a message read by the server: its bytes up to the first NUL
// (at most 1023), read as hexadecimal after optional blanks, as sscanf's
// "%x" does. False when no hexadecimal digit begins the text; more digits
// than fit keep the low 32 bits' overflow out: the value sticks at
// 0xFFFFFFFF, which is no command.
bool zeb_decode_code(const void* data, size_t size, DWORD* code);

// Two bytes: the control character and a NUL.
std::string zeb_control(char c);
// True when the message begins with the control character (the answers of
// both sides are judged on their first byte).
bool zeb_is_control(const void* data, size_t size, char c);
// A text message: the text and its NUL.
std::string zeb_text_message(std::string_view text);
// The text of a message: its bytes up to the first NUL, or all of them.
std::string zeb_message_text(const void* data, size_t size);
// NAME and the job name: "%c%s" and the NUL.
std::string zeb_name_message(std::string_view name);
// The pattern of a job command: the text of the message, at most 254
// characters (cut, never split inside a character).
std::string zeb_decode_pattern(const void* data, size_t size);

// What a message from the server is, for the client.
enum class ZebServerMessage { ack, name, record, send, done, end, text };
ZebServerMessage zeb_classify_server_message(const void* data, size_t size);
// The job name of a NAME message (cut to 31 characters).
std::string zeb_name_of(const void* data, size_t size);
