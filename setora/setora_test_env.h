// Test fixture of the patch manager: a network with its local machine, a
// patch directory on the host, the history file, message boxes logged to a
// file (NT_MESSAGE_BOX_LOG) and a free space on C: that the test sets.
#pragma once

#include <gtest/gtest.h>
#include <time.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "patch/history_file.h"
#include "platform/files/files_test_env.h"
#include "platform/nls/thread_locale.h"
#include "platform/profile/profile.h"
#include "setora/patch_list.h"

class SetoraTest : public ::testing::Test {
 protected:
  void SetUp() override {
    net_.env()
        .lang("C")
        .set("TZ", "UTC")
        .set("SYSTEMROOT", "C:\\WINNT")
        .set("NT_MESSAGE_BOX_ANSWERS", nullptr)
        .set("NT_ACP", "65001");
    tzset();
    nt_reload_code_pages();
    box_log_ = net_.root() + "/boxes.log";
    net_.env().set("NT_MESSAGE_BOX_LOG", box_log_.c_str());
    old_locale_ = GetThreadLocale();
    SetThreadLocale(0x0409);
    dir_ = net_.folder("patches");
    settings_.run.patch_dir = dir_;
    settings_.run.history_file = net_.root() + "/host/FIXAR.FXH";
    settings_.run.drive = "";
    settings_.run.window_program = true;
  }
  void TearDown() override { SetThreadLocale(old_locale_); }

  // Writes a file into the patch directory.
  void file(const std::string& name, const std::string& text) {
    FilesTestNetwork::write(dir_ + "/" + name, text);
  }
  std::string read(const std::string& name) { return FilesTestNetwork::read(dir_ + "/" + name); }

  // A patch of one step that appends `word` to log.txt, with meta keys.
  void patch(const std::string& name, const std::string& word, const std::string& keys = "") {
    file(name, "[Setup]\r\nCommand=/bin/sh -c \"echo " + word + " >> log.txt\"\r\n" + keys);
  }

  std::string entry(const std::string& patch_name) {
    char value[512] = {};
    GetPrivateProfileStringA("Patches", patch_name.c_str(), "", value, sizeof value,
                             settings_.run.history_file.c_str());
    return value;
  }
  void set_entry(const std::string& patch_name, const char* value) {
    ASSERT_TRUE(WritePrivateProfileStringA("Patches", patch_name.c_str(), value,
                                           settings_.run.history_file.c_str()));
  }

  // The boxes shown since the last call, one "<caption>|<text>|<type>" each.
  std::vector<std::string> boxes() {
    std::vector<std::string> lines;
    std::ifstream in(box_log_);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    in.close();
    std::ofstream(box_log_, std::ios::trunc).close();
    return lines;
  }

  // A list over the test's settings and free space.
  PatchList make_list() {
    return PatchList(settings_, [this](uint64_t* bytes) {
      if (!free_known_) return false;
      *bytes = free_bytes_;
      return true;
    });
  }

  // The row of a patch file, or null.
  static const PatchRow* row_of(const PatchList& list, const std::string& file_name) {
    for (const PatchRow& row : list.rows()) {
      if (row.file_name == file_name) return &row;
    }
    return nullptr;
  }
  static size_t index_of(const PatchList& list, const std::string& file_name) {
    for (size_t i = 0; i < list.rows().size(); ++i) {
      if (list.rows()[i].file_name == file_name) return i;
    }
    ADD_FAILURE() << file_name << " not listed";
    return list.rows().size();
  }

  FilesTestNetwork net_;
  std::string dir_;
  std::string box_log_;
  PatchListSettings settings_;
  uint64_t free_bytes_ = 100ull << 20;  // 100 MB
  bool free_known_ = true;
  LCID old_locale_ = 0;
};
