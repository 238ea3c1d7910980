// The service under load and after a crash: many clients at once through
// the client side of the pipe, and a service killed while clients write.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <mutex>
#include <set>
#include <thread>

#include "zeb/pipe_client.h"
#include "zeb/tests/zeb_service_fixture.h"

namespace {

class ServiceLoadTest : public ZebServiceTest {
 protected:
  // One conversation through the client library; the lines it printed go
  // to `lines`.
  static DWORD talk(DWORD code, const std::string& pattern, const JobRecord* record,
                    std::vector<std::string>* lines, ZebPipeResult* result,
                    std::function<void(JobRecord*)> prepare = nullptr) {
    ZebPipeRequest request;
    request.code = code;
    request.command_word = "cmd";
    request.pattern = pattern;
    if (record) request.record = *record;
    request.own_version = kTestVersion;
    request.busy_wait_ms = 30000;
    ZebPipeHooks hooks;
    hooks.out = [&](const std::string& l) { lines->push_back(l); };
    hooks.err = [&](const std::string& l) { lines->push_back(l); };
    hooks.prepare = std::move(prepare);
    return zeb_pipe_conversation(request, hooks, result);
  }
};

TEST_F(ServiceLoadTest, FiftyClientsAddSetShowAndDeleteTheirOwnJobs) {
  // The write-access events of 2,000 adds and sets are left out of the log.
  set_service_dword(ZEB_VALUE_LOGGING, 0x0200);
  start_service();
  constexpr int kClients = 50;
  constexpr int kRounds = 20;
  std::atomic<int> failures{0};
  std::mutex report_lock;
  std::string first_failure;
  auto fail = [&](const std::string& what) {
    ++failures;
    std::lock_guard<std::mutex> g(report_lock);
    if (first_failure.empty()) first_failure = what;
  };
  std::vector<std::thread> clients;
  for (int c = 0; c < kClients; ++c) {
    clients.emplace_back([&, c] {
      std::string name = "load" + std::to_string(c);
      for (int round = 0; round < kRounds; ++round) {
        std::vector<std::string> lines;
        ZebPipeResult r;
        JobRecord rec = make_job(name, "/bin/true");
        if (talk(ZEB_CMD_ADD, "", &rec, &lines, &r) != ERROR_SUCCESS || r.processed != 1) {
          fail(name + " add: " + (lines.empty() ? "" : lines[0]));
          continue;
        }
        std::string command = "/bin/echo " + std::to_string(round);
        if (talk(ZEB_CMD_SET, name, nullptr, &lines, &r,
                 [&](JobRecord* p) { job_set_command(p, command.c_str()); }) != ERROR_SUCCESS ||
            r.processed != 1) {
          fail(name + " set");
        }
        JobRecord seen{};
        ZebPipeRequest show_request;
        std::vector<std::string> show_lines;
        ZebPipeRequest req;
        req.code = ZEB_CMD_SHOW;
        req.pattern = name;
        req.own_version = kTestVersion;
        req.busy_wait_ms = 30000;
        ZebPipeHooks hooks;
        hooks.record = [&](const JobRecord& got) { seen = got; };
        hooks.err = [&](const std::string& l) { show_lines.push_back(l); };
        if (zeb_pipe_conversation(req, hooks, &r) != ERROR_SUCCESS || r.processed != 1 ||
            job_command(seen) != command) {
          fail(name + " show");
        }
        if (talk(ZEB_CMD_DEL, name, nullptr, &lines, &r) != ERROR_SUCCESS || r.processed != 1) {
          fail(name + " del");
        }
        for (const std::string& l : lines) {
          if (l.find("ZEB-ERROR") != std::string::npos) fail(name + ": " + l);
        }
      }
    });
  }
  for (std::thread& t : clients) t.join();
  EXPECT_EQ(failures.load(), 0) << first_failure;
  EXPECT_EQ(pipe_version(), kTestVersion);
  // Table and registry agree: both empty.
  EXPECT_TRUE(show("*").empty());
  EXPECT_TRUE(registry_jobs().empty());
  EXPECT_EQ(count_events(0x80001000), 0);  // no lock wait ran out
}

TEST_F(ServiceLoadTest, KilledWhileClientsWriteRestartsWithEveryJobWhole) {
  start_service();
  std::atomic<bool> stop{false};
  std::mutex acked_lock;
  std::set<std::string> acked;
  std::vector<std::thread> clients;
  for (int c = 0; c < 8; ++c) {
    clients.emplace_back([&, c] {
      for (int i = 0; !stop.load() && i < 8; ++i) {
        std::string name = "k" + std::to_string(c) + "_" + std::to_string(i);
        JobRecord rec = make_job(name, "/bin/echo " + name, 60, 0);
        std::vector<std::string> lines;
        ZebPipeResult r;
        if (talk(ZEB_CMD_ADD, "", &rec, &lines, &r) == ERROR_SUCCESS && r.processed == 1) {
          std::lock_guard<std::mutex> g(acked_lock);
          acked.insert(name);
        }
      }
    });
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(400));
  EXPECT_EQ(stop_service(SIGKILL), -SIGKILL);
  stop = true;
  for (std::thread& t : clients) t.join();

  start_service();
  // The first command after the start already sees every stored job.
  std::vector<JobRecord> jobs = show("*");
  std::set<std::string> loaded;
  for (const JobRecord& rec : jobs) {
    std::string name = job_name(rec);
    loaded.insert(name);
    EXPECT_EQ(job_command(rec), "/bin/echo " + name);  // whole, not torn
    EXPECT_EQ(rec.interval, 60u);
    EXPECT_EQ(job_creator(rec), job_modified_by(rec));
  }
  for (const std::string& name : acked) EXPECT_EQ(loaded.count(name), 1u) << name;
  auto values = registry_jobs();
  EXPECT_EQ(values.size(), jobs.size());
  for (auto& v : values) EXPECT_EQ(v.second.size(), JOB_STORED_SIZE);
  EXPECT_FALSE(acked.empty());
}

}  // namespace
