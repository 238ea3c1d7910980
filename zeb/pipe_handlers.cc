#include "zeb/pipe_handlers.h"

#include <vector>

#include "platform/files/file_io.h"
#include "platform/kernel/handle.h"
#include "platform/kernel/identity.h"
#include "platform/pipes/named_pipe.h"
#include "platform/process/process.h"
#include "platform/registry/registry.h"
#include "platform/sync/event.h"
#include "platform/sync/waitable.h"
#include "zeb/event_logger.h"
#include "zeb/job_io_files.h"
#include "zeb/job_store.h"
#include "zeb/job_threads.h"
#include "zeb/job_update.h"
#include "zeb/service_keys.h"
#include "zeb/service_settings.h"
#include "zeb/zeb_text.h"

#if __has_include("platform/desktop/desktop.h")
#include "platform/desktop/desktop.h"
#define ZEB_HAVE_DESKTOPS 1
#endif

namespace {

constexpr DWORD kStopWaitMs = 10000;
// Every desktop right, and the standard rights.
constexpr DWORD kDesktopAllAccess = 0x000F01FF;
std::string service_key_text() { return ZEB_SERVICE_KEY; }

// The slot still holds the job the loop offered (by name, exactly).
bool same_job(const ZebService& service, int slot, const std::string& name) {
  return job_name(service.table->at(slot)) == name;
}

void log_write_granted(const char* what, const std::string& job, const std::string& user) {
  std::string text = std::string(what) + "(" + job + ")";
  zeb_log(ZEB_EV_WRITE_GRANTED, false, text.c_str(), user.c_str());
}

// Replies gathered under the lock and sent after it is released.
using Replies = std::vector<std::string>;

void send_replies(ZebConnection& conn, const Replies& replies) {
  for (const std::string& r : replies) conn.reply(r);
}

std::string done() { return zeb_control(ZEB_DONE); }
std::string text(const std::string& t) { return zeb_text_message(t); }

Replies handle_del(ZebService& service, int slot, const std::string& name) {
  ZebJobsLock lock(service);
  if (!lock.held()) return {text(ZEB_REPLY_WAIT_TIMEOUT)};
  if (!same_job(service, slot, name)) return {text(ZEB_REPLY_NO_MATCH)};
  if (zeb_job_busy(service, slot)) return {text(ZEB_REPLY_RUNNING)};
  LONG rc = job_store_delete(service.jobs_key, name.c_str());
  if (rc != ERROR_SUCCESS && rc != ERROR_FILE_NOT_FOUND) return {text(ZEB_REPLY_REGISTRY_ERROR)};
  service.table->remove(slot);
  return {done()};
}

Replies handle_flag(ZebService& service, int slot, const std::string& name, bool pause) {
  ZebJobsLock lock(service);
  if (!lock.held()) return {text(ZEB_REPLY_WAIT_TIMEOUT)};
  if (!same_job(service, slot, name)) return {text(ZEB_REPLY_NO_MATCH)};
  JobRecord& rec = service.table->at(slot);
  if (zeb_job_busy(service, slot)) return {text(ZEB_REPLY_RUNNING)};
  bool paused = (rec.flags & JOB_PAUSED) != 0;
  if (pause && paused) return {text(ZEB_REPLY_PAUSED)};
  if (!pause && !paused) return {text(ZEB_REPLY_NOT_PAUSED)};
  DWORD before = rec.flags;
  rec.flags = pause ? (rec.flags | JOB_PAUSED) : (rec.flags & ~JOB_PAUSED);
  if (job_store_save(service.jobs_key, rec) != ERROR_SUCCESS) {
    rec.flags = before;  // table and registry stay alike
    return {text(ZEB_REPLY_REGISTRY_ERROR)};
  }
  return {done()};
}

Replies handle_start(ZebService& service, int slot, const std::string& name) {
  ZebJobsLock lock(service);
  if (!lock.held()) return {text(ZEB_REPLY_WAIT_TIMEOUT)};
  if (!same_job(service, slot, name)) return {text(ZEB_REPLY_NO_MATCH)};
  const JobRecord& rec = service.table->at(slot);
  if (zeb_job_busy(service, slot)) return {text(ZEB_REPLY_RUNNING)};
  if ((rec.flags & JOB_PAUSED) != 0) return {text(ZEB_REPLY_PAUSED)};
  if (!zeb_start_job(service, slot)) return {text(ZEB_REPLY_NO_THREAD)};
  return {done()};
}

Replies handle_stop(ZebService& service, int slot, const std::string& name) {
  DWORD pid = 0;
  HANDLE stop_event = nullptr;
  {
    ZebJobsLock lock(service);
    if (!lock.held()) return {text(ZEB_REPLY_WAIT_TIMEOUT)};
    if (!same_job(service, slot, name)) return {text(ZEB_REPLY_NO_MATCH)};
    const JobRecord& rec = service.table->at(slot);
    if ((rec.flags & JOB_RUNNING) == 0 || rec.process_id == 0) {
      return {text(ZEB_REPLY_NOT_RUNNING)};
    }
    pid = rec.process_id;
    // A handle of our own: the job thread closes its event once the run
    // has ended, which may be before this handler signals it.
    HANDLE event = reinterpret_cast<HANDLE>(static_cast<intptr_t>(rec.stop_event));
    if (!DuplicateHandle(GetCurrentProcess(), event, GetCurrentProcess(), &stop_event, 0, FALSE,
                         DUPLICATE_SAME_ACCESS)) {
      stop_event = nullptr;
    }
  }
  HANDLE process = OpenProcess(SYNCHRONIZE | PROCESS_TERMINATE | PROCESS_QUERY_INFORMATION, FALSE,
                               pid);
  if (process == nullptr) {
    if (stop_event != nullptr) CloseHandle(stop_event);
    return {text(ZEB_REPLY_NOT_RUNNING)};
  }
  Replies replies;
  if (stop_event == nullptr || !SetEvent(stop_event)) {
    replies.push_back(text(ZEB_REPLY_NO_DONE_EVENT));
  } else if (WaitForSingleObject(process, kStopWaitMs) != WAIT_OBJECT_0) {
    // A runner that does not end in time is a stopped run, never a success.
    TerminateProcess(process, ERROR_PROCESS_ABORTED);
    replies.push_back(text(ZEB_REPLY_WAIT_TIMEOUT));
  } else {
    replies.push_back(done());
  }
  if (stop_event != nullptr) CloseHandle(stop_event);
  CloseHandle(process);
  return replies;
}

Replies handle_clean(ZebService& service, int slot, const std::string& name) {
  ZebJobsLock lock(service);
  if (!lock.held()) return {text(ZEB_REPLY_WAIT_TIMEOUT)};
  if (!same_job(service, slot, name)) return {text(ZEB_REPLY_NO_MATCH)};
  if (zeb_job_busy(service, slot)) return {text(ZEB_REPLY_RUNNING)};
  HKEY key = nullptr;
  std::string dir;
  LONG rc = RegOpenKeyExA(HKEY_LOCAL_MACHINE, ZEB_SERVICE_KEY, 0, KEY_READ, &key);
  if (rc == ERROR_SUCCESS) {
    rc = zeb_read_temp_dir(key, &dir);
    RegCloseKey(key);
  }
  if (rc != ERROR_SUCCESS) return {text(ZEB_REPLY_REGISTRY_ERROR)};
  Replies replies;
  for (const char* kind : JOB_CLEAN_KINDS) {
    std::string file = job_io_file(dir, name, kind);
    if (!DeleteFileA(file.c_str())) {
      replies.push_back(text(zeb_reply_cannot_delete(dir, name, kind,
                                                     static_cast<long>(GetLastError()))));
    }
  }
  replies.push_back(done());
  return replies;
}

Replies handle_set(ZebConnection& conn, int slot, const std::string& name) {
  ZebService& service = conn.service();
  if (!conn.write_control(ZEB_SEND)) return {};
  std::string body;
  if (!conn.read(&body, ZEB_RECORD_READ)) return {};
  JobRecord incoming;
  if (!job_record_decode(reinterpret_cast<const BYTE*>(body.data()), body.size(), &incoming)) {
    return {text(ZEB_REPLY_INVALID_BUFFER)};
  }
  std::string new_name;
  {
    ZebJobsLock lock(service);
    if (!lock.held()) return {text(ZEB_REPLY_WAIT_TIMEOUT)};
    if (!same_job(service, slot, name)) return {text(ZEB_REPLY_NO_MATCH)};
    JobRecord before = service.table->at(slot);
    JobAddResult r = job_table_set(service.table, slot, incoming, conn.user().c_str(),
                                   zeb_now(service));
    if (r == JobAddResult::exists) return {text(ZEB_REPLY_EXISTS)};
    if (r != JobAddResult::added) return {text(ZEB_REPLY_INVALID_BUFFER)};
    const JobRecord& rec = service.table->at(slot);
    new_name = job_name(rec);
    if (job_store_save(service.jobs_key, rec) != ERROR_SUCCESS) {
      service.table->at(slot) = before;
      return {text(ZEB_REPLY_REGISTRY_ERROR)};
    }
    // A renamed job leaves no value under its old name, or it would come
    // back as a second job at the next start of the service.
    if (new_name != name) job_store_delete(service.jobs_key, name.c_str());
  }
  log_write_granted("SetJob", new_name, conn.user());
  return {done()};
}

// Step 6 of the loop: the command's handler for one job.
Replies handle_job(ZebConnection& conn, DWORD code, int slot, const std::string& name) {
  ZebService& service = conn.service();
  switch (code) {
    case ZEB_CMD_DEL:
      return handle_del(service, slot, name);
    case ZEB_CMD_SET:
      return handle_set(conn, slot, name);
    case ZEB_CMD_PAUSE:
      return handle_flag(service, slot, name, true);
    case ZEB_CMD_RESUME:
      return handle_flag(service, slot, name, false);
    case ZEB_CMD_START:
      return handle_start(service, slot, name);
    case ZEB_CMD_STOP:
      return handle_stop(service, slot, name);
    case ZEB_CMD_CLEAN:
      return handle_clean(service, slot, name);
    default:
      return {done()};  // ShowJob: the record went out in the loop
  }
}

}  // namespace

bool zeb_check_security(ZebConnection& conn, ZebAccess access) {
  const char* kind = access == ZebAccess::read ? "READ" : "WRITE";
  if (!ImpersonateNamedPipeClient(conn.pipe())) {
    long error = static_cast<long>(GetLastError());
    zeb_log(ZEB_EV_API_ERROR, false, (std::to_string(error) + " (CheckSecurity)").c_str(),
            (std::string("ImpersonateNamedPipeClient(") + ZEB_PIPE_NAME + ")").c_str());
    return false;
  }
  std::string user = nt_user_name();
  user.resize(zeb_cut_length(user, ZEB_USER_NAME_BYTES - 1));
  HKEY key = nullptr;
  LONG rc = RegOpenKeyExA(HKEY_LOCAL_MACHINE, ZEB_SERVICE_KEY, 0,
                          access == ZebAccess::read ? KEY_READ : KEY_WRITE, &key);
  if (rc == ERROR_SUCCESS) RegCloseKey(key);
  RevertToSelf();
  conn.set_user(user);
  if (rc == ERROR_SUCCESS) return true;
  if (rc == ERROR_ACCESS_DENIED) {
    zeb_log(ZEB_EV_ACCESS_DENIED, false, kind, user.c_str());
  } else {
    zeb_log(ZEB_EV_API_ERROR, false, (std::to_string(rc) + " (CheckSecurity)").c_str(),
            ("RegOpenKeyEx(" + service_key_text() + ")").c_str());
  }
  return false;
}

void zeb_serve_add(ZebConnection& conn) {
  ZebService& service = conn.service();
  std::string body;
  if (!conn.read(&body, ZEB_RECORD_READ)) return;
  JobRecord rec;
  if (!job_record_decode(reinterpret_cast<const BYTE*>(body.data()), body.size(), &rec)) {
    conn.reply(text(ZEB_REPLY_INVALID_BUFFER));
    return;
  }
  std::string reply;
  std::string name;
  {
    ZebJobsLock lock(service);
    if (!lock.held()) {
      reply = text(ZEB_REPLY_WAIT_TIMEOUT);
    } else {
      int slot = -1;
      JobAddResult r = job_table_add(service.table, rec, conn.user().c_str(), zeb_now(service),
                                     &slot);
      if (r == JobAddResult::exists) {
        reply = text(ZEB_REPLY_EXISTS);
      } else if (r == JobAddResult::full) {
        reply = text(ZEB_REPLY_MAX_JOBS);
      } else if (r != JobAddResult::added) {
        reply = text(ZEB_REPLY_INVALID_BUFFER);
      } else if (job_store_save(service.jobs_key, service.table->at(slot)) != ERROR_SUCCESS) {
        // A job the registry does not hold would vanish at the next start.
        service.table->remove(slot);
        reply = text(ZEB_REPLY_REGISTRY_ERROR);
      } else {
        name = job_name(service.table->at(slot));
        reply = done();
      }
    }
  }
  if (!name.empty()) log_write_granted("AddJob", name, conn.user());
  conn.reply(reply);
}

bool zeb_switch_to_desktop(const char* name, DWORD* error) {
#ifdef ZEB_HAVE_DESKTOPS
  HDESK desk = OpenDesktopA(name, DF_ALLOWOTHERACCOUNTHOOK, TRUE, kDesktopAllAccess);
  if (desk == nullptr) {
    *error = GetLastError();
    return false;
  }
  BOOL switched = SwitchDesktop(desk);
  *error = switched ? ERROR_SUCCESS : GetLastError();
  CloseDesktop(desk);
  return switched != FALSE;
#else
  (void)name;
  *error = ERROR_CALL_NOT_IMPLEMENTED;
  return false;
#endif
}

void zeb_serve_switch(ZebConnection& conn) {
  std::string body;
  if (!conn.read(&body, ZEB_RECORD_READ)) return;
  JobRecord rec;
  if (!job_record_decode(reinterpret_cast<const BYTE*>(body.data()), body.size(), &rec)) {
    conn.reply(text(ZEB_REPLY_INVALID_BUFFER));
    return;
  }
  if (!conn.service().interactive) {
    conn.reply(text(ZEB_REPLY_NOT_INTERACTIVE));
    return;
  }
  std::string name = job_name(rec);
  DWORD error = 0;
  if (!zeb_switch_to_desktop(name.c_str(), &error)) {
    conn.reply(text(zeb_reply_open_desktop(name, static_cast<long>(error))));
    return;
  }
  log_write_granted("SwitchJob", name, conn.user());
  conn.reply(done());
}

void zeb_serve_job_loop(ZebConnection& conn, DWORD code) {
  ZebService& service = conn.service();
  std::string body;
  if (!conn.read(&body, ZEB_RECORD_READ)) return;
  std::string pattern = zeb_decode_pattern(body.data(), body.size());
  int matched = 0;
  for (int from = 0; from < JOB_MAX;) {
    int slot = -1;
    std::string name;
    {
      ZebJobsLock lock(service);
      if (!lock.held()) {
        // Without the lock the table cannot be walked: the loop ends.
        conn.reply(text(ZEB_REPLY_WAIT_TIMEOUT));
        if (!conn.collect_answer()) return;
        break;
      }
      slot = service.table->next_match(pattern.c_str(), from);
      if (slot >= 0) name = job_name(service.table->at(slot));
    }
    if (slot < 0) break;
    from = slot + 1;
    ++matched;
    std::string answer;
    if (!conn.write(zeb_name_message(name)) || !conn.read(&answer, ZEB_ANSWER_READ)) return;
    if (!zeb_is_control(answer.data(), answer.size(), ZEB_ACK)) continue;

    JobRecord copy;
    bool present = false;
    {
      ZebJobsLock lock(service);
      if (!lock.held()) {
        conn.reply(text(ZEB_REPLY_WAIT_TIMEOUT));
        if (!conn.collect_answer()) return;
        continue;
      }
      present = same_job(service, slot, name);
      if (present) copy = service.table->at(slot);
    }
    if (!present) {
      // Deleted or renamed since its name went out.
      conn.reply(text(ZEB_REPLY_NO_MATCH));
      if (!conn.collect_answer()) return;
      continue;
    }
    BYTE bytes[JOB_RECORD_SIZE];
    job_record_encode(copy, bytes);
    if (!conn.write_control(ZEB_RECORD) || !conn.read(&answer, ZEB_RECORD_ACK_READ) ||
        !conn.write(std::string_view(reinterpret_cast<const char*>(bytes), sizeof bytes))) {
      return;
    }
    std::string verdict;
    if (!conn.read(&verdict, ZEB_ANSWER_READ)) return;
    if (!zeb_is_control(verdict.data(), verdict.size(), ZEB_ACK)) continue;

    send_replies(conn, handle_job(conn, code, slot, name));
    if (!conn.collect_answer()) return;
  }
  conn.reply(matched > 0 ? zeb_control(ZEB_ACK) : text(ZEB_REPLY_NO_MATCH));
}
