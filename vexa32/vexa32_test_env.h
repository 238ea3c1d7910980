// Test helpers of the agent: a temporary network with the local machine WS1
// and the server SRV (share "home" on its C:\home), message boxes logged to
// a file, a fake window host and fake dialogs.
#pragma once

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utime.h>

#include <fstream>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "platform/netapi/share_table.h"
#include "platform/network/machine.h"
#include "platform/network/network.h"
#include "platform/network/network_test_env.h"
#include "vexa32/agent.h"
#include "vexa32/mirror.h"

class VexaTestNetwork : public TempNetwork {
 public:
  VexaTestNetwork() : TempNetwork("WS1") {
    env().set("NT_MESSAGE_BOX_LOG", (root() + "/boxes.log").c_str())
        .set("NT_MESSAGE_BOX_ANSWERS", nullptr)
        .set("TZ", "UTC");
    tzset();
    std::string r;
    EXPECT_EQ(nt_network_ensure(&r), ERROR_SUCCESS);
    add_machine("SRV", NtMachineRole::server);
    add_machine("WS2", NtMachineRole::workstation);
    mkdir(host("SRV", "home").c_str(), 0755);
    NtMachineRef srv;
    EXPECT_EQ(nt_open_machine("SRV", &srv, NtMachineAccess::admin), ERROR_SUCCESS);
    NtShareInfo info;
    info.name = "home";
    info.path = "C:\\home";
    if (srv.store) {
      EXPECT_EQ(nt_share_add(*srv.store, info), ERROR_SUCCESS);
    }
  }

  void add_machine(const char* name, NtMachineRole role) {
    NtMachineInfo i;
    i.name = name;
    i.lan_group = "WORKGROUP";
    i.role = role;
    i.online = true;
    EXPECT_EQ(nt_machine_create(root(), i), ERROR_SUCCESS);
  }

  // The host path of `path` (with "/" separators) on a machine's C: drive.
  std::string host(const char* machine, const std::string& path) const {
    return root() + "/machines/" + machine + "/drives/C/" + path;
  }

  static void write(const std::string& host_path, const std::string& text) {
    for (size_t pos = 1; pos < host_path.size(); ++pos) {
      if (host_path[pos] == '/') mkdir(host_path.substr(0, pos).c_str(), 0755);
    }
    std::ofstream(host_path, std::ios::binary) << text;
  }
  static std::string read(const std::string& host_path) {
    std::ifstream in(host_path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }
  static bool exists(const std::string& host_path) { return access(host_path.c_str(), F_OK) == 0; }
  // Sets the modification time to `seconds` after 2020-01-01 plus `nanos`.
  static void set_time(const std::string& host_path, long seconds, long nanos = 0) {
    timespec times[2];
    times[0].tv_sec = times[1].tv_sec = 1577836800 + seconds;
    times[0].tv_nsec = times[1].tv_nsec = nanos;
    utimensat(AT_FDCWD, host_path.c_str(), times, 0);
  }

  // The message boxes so far, one "<caption>|<text>|<type>" line each.
  std::vector<std::string> boxes() const {
    std::vector<std::string> lines;
    std::istringstream in(read(root() + "/boxes.log"));
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
  }
  void clear_boxes() const { unlink((root() + "/boxes.log").c_str()); }
};

// Dialogs that answer as told and record what they were shown.
class FakeMirrorUi : public MirrorUi {
 public:
  bool confirm(const std::string& message, long ask, bool copy_on_timeout) override {
    ++confirms;
    last_message = message;
    last_ask = ask;
    last_copy_on_timeout = copy_on_timeout;
    return answer;
  }
  void progress_open(bool show_bar, bool allow_cancel) override {
    ++opened;
    bar = show_bar;
    cancel_enabled = allow_cancel;
  }
  void progress_texts(const std::string* file, const std::string* directory,
                      const std::string* status, int percent) override {
    if (file) files.push_back(*file);
    if (directory) directories.push_back(*directory);
    if (status) statuses.push_back(*status);
    if (percent >= 0) percents.push_back(percent);
    if (cancel_after > 0 && static_cast<int>(files.size()) >= cancel_after) cancel = true;
  }
  bool cancelled() override { return cancel; }
  void progress_close() override { ++closed; }

  bool answer = true;
  int confirms = 0;
  std::string last_message;
  long last_ask = -1;
  bool last_copy_on_timeout = false;
  int opened = 0, closed = 0;
  bool bar = false, cancel_enabled = false;
  std::vector<std::string> files, directories, statuses;
  std::vector<int> percents;
  int cancel_after = 0;
  bool cancel = false;
};

class FakeHost : public AgentHost {
 public:
  bool set_timer(bool on) override {
    timer = on;
    return timer_works || !on;
  }
  void show_window(bool is_hidden) override {
    shown = true;
    hidden = is_hidden;
  }
  void destroy_window() override { destroyed = true; }
  void set_icon(bool is_smile) override { smile = is_smile; }
  MirrorUi& mirror_ui() override { return ui; }
  UINT exec(const char* line, UINT show) override {
    execs.emplace_back(line, show);
    return exec_result;
  }
  void logoff() override { ++logoffs; }

  FakeMirrorUi ui;
  bool timer = false, timer_works = true, shown = false, hidden = false, destroyed = false;
  bool smile = true;
  UINT exec_result = 33;
  int logoffs = 0;
  std::vector<std::pair<std::string, UINT>> execs;
};
