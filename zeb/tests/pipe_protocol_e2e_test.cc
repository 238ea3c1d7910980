// The command pipe of the running service, byte by byte: every command's
// messages and replies, wrong sizes, the version check, the job limit and
// broken clients.
#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include "zeb/tests/zeb_service_fixture.h"

namespace {

class PipeProtocolTest : public ZebServiceTest {};

TEST_F(PipeProtocolTest, VersionAndCloseRequestsGetOnlyTheVersion) {
  start_service();
  RawPipe p;
  ASSERT_TRUE(p.open());
  ASSERT_TRUE(p.code(ZEB_CMD_VERSION));
  EXPECT_EQ(p.read(), msg_text(kTestVersion));
  EXPECT_EQ(p.read(), "<closed>");
  p.close();

  // A close request from a client is answered but does not end the pipe.
  RawPipe q;
  ASSERT_TRUE(q.open());
  ASSERT_TRUE(q.code(ZEB_CMD_CLOSE));
  EXPECT_EQ(q.read(), msg_text(kTestVersion));
  EXPECT_EQ(q.read(), "<closed>");
  EXPECT_EQ(pipe_version(), kTestVersion);

  // The code may come in lower case or without leading zeros.
  RawPipe r;
  ASSERT_TRUE(r.open());
  ASSERT_TRUE(r.write("7cf"));
  EXPECT_EQ(r.read(), msg_text(kTestVersion));
}

TEST_F(PipeProtocolTest, AddStoresTheJobAndRefusesDuplicatesAndBadSizes) {
  start_service();
  JobRecord rec = make_job("Backup", "/bin/true");
  job_set_creator(&rec, "someone");
  RawPipe p;
  begin(p, ZEB_CMD_ADD);
  ASSERT_TRUE(p.record(rec));
  EXPECT_EQ(p.read(), msg_control(ZEB_DONE));
  ASSERT_TRUE(p.ack());
  EXPECT_EQ(p.read(), msg_control(ZEB_END));
  EXPECT_EQ(p.read(), "<closed>");

  EXPECT_EQ(add(make_job("BACKUP", "x")), msg_text("Job already exists"));
  EXPECT_EQ(add(make_job("backup", "x")), msg_text("Job already exists"));

  for (size_t size : {size_t{379}, size_t{381}, size_t{1}}) {
    RawPipe q;
    begin(q, ZEB_CMD_ADD);
    ASSERT_TRUE(q.write(std::string(size, 'a')));
    EXPECT_EQ(q.read(), msg_text("Invalid buffer")) << size;
    q.ack();
    EXPECT_EQ(q.read(), msg_control(ZEB_END));
  }

  JobRecord stored;
  ASSERT_TRUE(show_one("backup", &stored));
  EXPECT_EQ(job_name(stored), "Backup");
  EXPECT_EQ(job_creator(stored), "Administrator");  // the caller, not the record's text
  EXPECT_EQ(job_modified_by(stored), "Administrator");
  EXPECT_NE(job_time(stored.modified_at), 0u);
  auto jobs = registry_jobs();
  ASSERT_EQ(jobs.size(), 1u);
  EXPECT_EQ(jobs[0].first, "Backup");
  EXPECT_EQ(jobs[0].second.size(), JOB_STORED_SIZE);
  EXPECT_EQ(count_events(0x40000200), 1);
}

TEST_F(PipeProtocolTest, ShowWalksMatchesWithPromptsAndCriteria) {
  start_service();
  ASSERT_EQ(add(make_job("alpha", "/bin/true")), msg_control(ZEB_DONE));
  ASSERT_EQ(add(make_job("beta", "/bin/true")), msg_control(ZEB_DONE));
  ASSERT_EQ(add(make_job("alps", "/bin/true")), msg_control(ZEB_DONE));

  RawPipe p;
  begin(p, ZEB_CMD_SHOW);
  p.text("AL*");
  // alpha: confirmed and accepted.
  EXPECT_EQ(p.read(), msg_name("alpha"));
  p.ack();
  EXPECT_EQ(p.read(), msg_control(ZEB_RECORD));
  p.ack();
  std::string bytes = p.read();
  ASSERT_EQ(bytes.size(), JOB_RECORD_SIZE);
  EXPECT_EQ(std::string(bytes.data() + 348), "alpha");
  p.ack();
  EXPECT_EQ(p.read(), msg_control(ZEB_DONE));
  p.ack();
  // alps: declined at the prompt, no record.
  EXPECT_EQ(p.read(), msg_name("alps"));
  p.skip();
  EXPECT_EQ(p.read(), msg_control(ZEB_ACK));
  p.ack();
  EXPECT_EQ(p.read(), msg_control(ZEB_END));

  // Criteria reject every record: ACK at the end, no DONE.
  RawPipe q;
  begin(q, ZEB_CMD_SHOW);
  q.text("beta");
  EXPECT_EQ(q.read(), msg_name("beta"));
  q.ack();
  EXPECT_EQ(q.read(), msg_control(ZEB_RECORD));
  q.ack();
  EXPECT_EQ(q.read().size(), JOB_RECORD_SIZE);
  q.skip();
  EXPECT_EQ(q.read(), msg_control(ZEB_ACK));
  q.ack();
  EXPECT_EQ(q.read(), msg_control(ZEB_END));

  EXPECT_EQ(command(ZEB_CMD_SHOW, "gamma*"), std::vector<std::string>{"No match"});
  EXPECT_EQ(command(ZEB_CMD_SHOW, "?ETA"), (std::vector<std::string>{"DONE", "ACK"}));
}

TEST_F(PipeProtocolTest, PauseResumeStartStopRepliesFollowTheJobState) {
  start_service();
  ASSERT_EQ(add(make_job("j1", "/bin/true")), msg_control(ZEB_DONE));
  using V = std::vector<std::string>;
  EXPECT_EQ(command(ZEB_CMD_RESUME, "j1"), (V{"Job is not paused", "ACK"}));
  EXPECT_EQ(command(ZEB_CMD_PAUSE, "j1"), (V{"DONE", "ACK"}));
  EXPECT_EQ(command(ZEB_CMD_PAUSE, "j1"), (V{"Job is paused", "ACK"}));
  EXPECT_EQ(command(ZEB_CMD_START, "j1"), (V{"Job is paused", "ACK"}));
  JobRecord rec;
  ASSERT_TRUE(show_one("j1", &rec));
  EXPECT_EQ(rec.flags & JOB_PAUSED, JOB_PAUSED);
  auto jobs = registry_jobs();
  ASSERT_EQ(jobs.size(), 1u);
  JobRecord stored;
  std::memcpy(&stored, jobs[0].second.data(), JOB_STORED_SIZE);
  EXPECT_EQ(stored.flags & JOB_PAUSED, JOB_PAUSED);
  EXPECT_EQ(command(ZEB_CMD_RESUME, "j1"), (V{"DONE", "ACK"}));
  EXPECT_EQ(command(ZEB_CMD_STOP, "j1"), (V{"Job is not running", "ACK"}));
  // Switch takes a record, not a pattern.
  EXPECT_EQ(command(ZEB_CMD_SWITCH, "j1"), V{"Invalid buffer"});

  RawPipe p;
  begin(p, ZEB_CMD_SWITCH);
  p.record(make_job("j1", ""));
  EXPECT_EQ(p.read(), msg_text("ZEB Service is not interactive"));
  p.ack();
  EXPECT_EQ(p.read(), msg_control(ZEB_END));
}

TEST_F(PipeProtocolTest, SetReplacesTheRecordAndRenamesCleanly) {
  start_service();
  ASSERT_EQ(add(make_job("old", "/bin/true")), msg_control(ZEB_DONE));
  ASSERT_EQ(add(make_job("other", "/bin/true")), msg_control(ZEB_DONE));

  auto set = [&](const std::string& pattern, const JobRecord& changed) {
    RawPipe p;
    begin(p, ZEB_CMD_SET);
    p.text(pattern);
    EXPECT_EQ(p.read(), msg_name(pattern));
    p.ack();
    EXPECT_EQ(p.read(), msg_control(ZEB_RECORD));
    p.ack();
    EXPECT_EQ(p.read().size(), JOB_RECORD_SIZE);
    p.ack();
    EXPECT_EQ(p.read(), msg_control(ZEB_SEND));
    p.record(changed);
    std::string reply = p.read();
    p.ack();
    EXPECT_EQ(p.read(), msg_control(ZEB_ACK));
    p.ack();
    EXPECT_EQ(p.read(), msg_control(ZEB_END));
    return reply;
  };
  EXPECT_EQ(set("old", make_job("OTHER", "/bin/false")), msg_text("Job already exists"));
  EXPECT_EQ(set("old", make_job("new", "/bin/false")), msg_control(ZEB_DONE));
  JobRecord rec;
  ASSERT_TRUE(show_one("new", &rec));
  EXPECT_EQ(job_command(rec), "/bin/false");
  EXPECT_EQ(show("old").size(), 0u);
  auto jobs = registry_jobs();
  ASSERT_EQ(jobs.size(), 2u);
  for (auto& j : jobs) EXPECT_NE(j.first, "old");

  // A record of the wrong size is refused.
  RawPipe p;
  begin(p, ZEB_CMD_SET);
  p.text("new");
  EXPECT_EQ(p.read(), msg_name("new"));
  p.ack();
  EXPECT_EQ(p.read(), msg_control(ZEB_RECORD));
  p.ack();
  p.read();
  p.ack();
  EXPECT_EQ(p.read(), msg_control(ZEB_SEND));
  p.write(std::string(100, 'x'));
  EXPECT_EQ(p.read(), msg_text("Invalid buffer"));
}

TEST_F(PipeProtocolTest, DeleteCleanAndTheLimitOfSixtyFourJobs) {
  start_service();
  for (int i = 0; i < 64; ++i) {
    ASSERT_EQ(add(make_job("job" + std::to_string(i), "/bin/true")), msg_control(ZEB_DONE)) << i;
  }
  EXPECT_EQ(add(make_job("one-more", "/bin/true")), msg_text("Maximum jobs reached"));
  EXPECT_EQ(registry_jobs().size(), 64u);

  using V = std::vector<std::string>;
  EXPECT_EQ(command(ZEB_CMD_DEL, "job17"), (V{"DONE", "ACK"}));
  EXPECT_EQ(registry_jobs().size(), 63u);
  EXPECT_EQ(add(make_job("one-more", "/bin/true")), msg_control(ZEB_DONE));
  // The freed slot is reused: one-more shows where job17 was.
  std::vector<JobRecord> all = show("*");
  ASSERT_EQ(all.size(), 64u);
  EXPECT_EQ(job_name(all[17]), "one-more");

  // Clean: one text per missing file, then DONE.
  std::string dir = "C:\\TEMP\\";
  EXPECT_EQ(command(ZEB_CMD_CLEAN, "job3"),
            (V{"Cannot delete " + dir + "job3.ERR, error=2", "Cannot delete " + dir + "job3.OUT, error=2",
               "Cannot delete " + dir + "job3.IN, error=2", "DONE", "ACK"}));
  for (const char* kind : {"IN", "OUT", "ERR"}) {
    std::ofstream(temp_host_ + "/job4." + kind) << "x";
  }
  EXPECT_EQ(command(ZEB_CMD_CLEAN, "job4"), (V{"DONE", "ACK"}));
  struct stat st;
  EXPECT_NE(stat((temp_host_ + "/job4.OUT").c_str(), &st), 0);
}

TEST_F(PipeProtocolTest, UnknownCodesAndBrokenClientsLeaveTheServiceServing) {
  start_service();
  // A code in 1..100 that is no command: closed at once.
  RawPipe a;
  ASSERT_TRUE(a.open());
  a.code(5);
  EXPECT_EQ(a.read(), "<closed>");
  // Outside 1..100: access check and version, then closed.
  RawPipe b;
  ASSERT_TRUE(b.open());
  b.code(500);
  EXPECT_EQ(b.read(), msg_text(kTestVersion));
  EXPECT_EQ(b.read(), "<closed>");
  // A client that goes away without a word, and one that stops halfway.
  { RawPipe c; ASSERT_TRUE(c.open()); }
  {
    RawPipe d;
    begin(d, ZEB_CMD_ADD);
  }
  // No final ACK: a protocol error is logged.
  {
    RawPipe e;
    begin(e, ZEB_CMD_SHOW);
    e.text("none");
    EXPECT_EQ(e.read(), msg_text("No match"));
    e.skip();
    EXPECT_EQ(e.read(), msg_control(ZEB_END));
  }
  // Random and truncated messages.
  std::mt19937 rng(1234);
  for (int i = 0; i < 40; ++i) {
    RawPipe r;
    ASSERT_TRUE(r.open()) << i;
    size_t length = 1 + rng() % 600;
    std::string junk(length, '\0');
    for (char& ch : junk) ch = static_cast<char>(rng());
    if (i % 3 == 0) junk = zeb_encode_code(1 + rng() % 14).substr(0, rng() % 8 + 1) + junk;
    r.write(junk);
    if (i % 2 == 0) r.write(junk.substr(0, length / 2));
    r.read();
  }
  EXPECT_EQ(pipe_version(), kTestVersion);
  ASSERT_EQ(add(make_job("survivor", "/bin/true")), msg_control(ZEB_DONE));
  EXPECT_EQ(show("*").size(), 1u);
  bool protocol_error = false;
  for (const LoggedEvent& e : events()) {
    if (e.id == 0xC0008000 && e.strings.size() == 2 &&
        e.strings[0] == "ProtocolError, no final ACK" && e.strings[1] == "ClientCommandThread()") {
      protocol_error = true;
    }
  }
  EXPECT_TRUE(protocol_error);
}

}  // namespace

namespace {

TEST_F(PipeProtocolTest, TheClientSideSpeaksTheSameProtocol) {
  std::string out, err;
  // No service: the pipe does not exist.
  EXPECT_EQ(run_zeb({"show", "*"}, &out, &err), 2);
  EXPECT_EQ(err, "ZEB-ERROR, ZEB Service not running on \\\\.\n");

  start_service();
  ASSERT_EQ(add(make_job("nightly", "/bin/true")), msg_control(ZEB_DONE));
  EXPECT_EQ(run_zeb({"sho", "night*"}, &out, &err), 0);
  EXPECT_EQ(out, " nightly              /bin/true            never 0 00:00\n");
  EXPECT_EQ(err, "");
  EXPECT_EQ(run_zeb({"pause", "\\\\LOCALPC\\nightly", "/y"}, &out, &err), 0);
  EXPECT_EQ(out,
            "ZEB-INFO, pause successful for \\\\LOCALPC\\nightly\n"
            "ZEB-INFO, 1 jobs processed on \\\\LOCALPC\n");
  EXPECT_EQ(run_zeb({"PAUSE", "nightly", "/y"}, &out, &err), 2);
  EXPECT_NE(err.find("ZEB-ERROR, \\\\. reports 'Job is paused'\n"), std::string::npos) << err;
  EXPECT_EQ(run_zeb({"show", "nothing"}, &out, &err), 2);
  EXPECT_EQ(err, "ZEB-ERROR, \\\\. reports 'No match'\n");
}

}  // namespace

#if __has_include("platform/desktop/desktop.h")
#include "platform/desktop/desktop.h"

namespace {

TEST_F(PipeProtocolTest, SwitchBringsAJobDesktopToTheInputOfAnInteractiveService) {
  net_.env().set("ZEB_SERVICE_INTERACTIVE", "1");
  start_service();
  auto switch_to = [&](const std::string& name) {
    RawPipe p;
    begin(p, ZEB_CMD_SWITCH);
    p.record(make_job(name, ""));
    std::string reply = p.read();
    p.ack();
    EXPECT_EQ(p.read(), msg_control(ZEB_END));
    return reply;
  };
  EXPECT_EQ(switch_to("nodesk"), msg_text("OpenDesktop(nodesk) failed, error=2"));
  HDESK mine = CreateDesktopA("jobdesk", nullptr, nullptr, 0, 0x000F01FF, nullptr);
  ASSERT_NE(mine, nullptr) << GetLastError();
  EXPECT_EQ(switch_to("jobdesk"), msg_control(ZEB_DONE));
  HDESK input = OpenInputDesktop(0, FALSE, 0x000F01FF);
  ASSERT_NE(input, nullptr);
  char name[64] = "";
  DWORD needed = 0;
  ASSERT_TRUE(GetUserObjectInformationA(input, UOI_NAME, name, sizeof name, &needed));
  EXPECT_STREQ(name, "jobdesk");
  CloseDesktop(input);
  CloseDesktop(mine);
  bool logged = false;
  for (const LoggedEvent& e : events()) {
    logged |= e.id == 0x40000200 &&
              e.strings == std::vector<std::string>{"SwitchJob(jobdesk)", "Administrator"};
  }
  EXPECT_TRUE(logged);
}

}  // namespace
#endif
