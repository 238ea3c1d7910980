// Test fixture of the patch runs: a network with the servers of
// FilesTestNetwork, a host folder for the patch directory, the history file
// and what the steps write, and helpers that run run_patches and capture
// its lines. Steps are shell commands (/bin/sh -c "...") that run in the
// run's working directory.
#pragma once

#include <gtest/gtest.h>
#include <time.h>

#include <chrono>
#include <regex>
#include <string>

#include "patch/history_file.h"
#include "patch/run_patches.h"
#include "platform/files/files_test_env.h"
#include "platform/profile/profile.h"

class RunPatchesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    net_.env().lang("C").set("TZ", "UTC").set("SYSTEMROOT", "C:\\WINNT");
    tzset();
    dir_ = net_.folder("patches");
    settings_.patch_dir = dir_;
    settings_.history_file = net_.root() + "/host/FIXAR.FXH";
    settings_.drive = "";
  }

  // Writes a patch (or any) file into the patch directory.
  void patch(const std::string& name, const std::string& text) {
    FilesTestNetwork::write(dir_ + "/" + name, text);
  }

  // A patch of one step `S` with the given command and further keys.
  void one_step(const std::string& name, const std::string& command,
                const std::string& keys = "") {
    patch(name, "[S]\r\nCommand=" + command + "\r\n" + keys);
  }

  // Runs the patches; keeps the exit code, the lines and the time taken.
  DWORD run() {
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    auto start = std::chrono::steady_clock::now();
    result_ = run_patches(settings_);
    seconds_ = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    out_ = testing::internal::GetCapturedStdout();
    err_ = testing::internal::GetCapturedStderr();
    return result_;
  }

  std::string entry(const std::string& patch_name) {
    char value[512] = {};
    GetPrivateProfileStringA("Patches", patch_name.c_str(), "", value, sizeof value,
                             settings_.history_file.c_str());
    return value;
  }

  // The entry without its time stamp: the mark, a blank and the failure
  // message (the profile call drops the blank that ends a success entry).
  std::string outcome(const std::string& patch_name) {
    std::string e = entry(patch_name);
    static const std::regex stamp(
        "([*-](SUCCESS|FAILURE):) \\d\\d\\.\\d\\d\\.\\d{4} \\d\\d:\\d\\d:\\d\\d\\.\\d{3}(?: (.*))?");
    std::smatch m;
    if (!std::regex_match(e, m, stamp)) return "(no outcome: " + e + ")";
    return m[1].str() + " " + m[3].str();
  }

  std::string file(const std::string& name) { return FilesTestNetwork::read(dir_ + "/" + name); }

  FilesTestNetwork net_;
  std::string dir_;
  PatchRunSettings settings_;
  DWORD result_ = 0;
  double seconds_ = 0;
  std::string out_;
  std::string err_;
};
