// Test helper for the file calls: a fresh network (TestNetwork: LOCALPC the
// local machine, SRV1 and SRV2 online servers, WS9 and GONE1 offline) whose
// local drives and host folders the test sets up with the platform API. The
// host's working directory and the process's current directories are put
// back at the end.
#pragma once

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <sstream>
#include <string>

#include "platform/files/current_directory.h"
#include "platform/netapi/netapi_test_network.h"
#include "platform/netapi/share_table.h"
#include "platform/network/machine.h"
#include "platform/network/network.h"

class FilesTestNetwork : public TestNetwork {
 public:
  FilesTestNetwork() : saved_cwd_(host_cwd()) { nt_reset_current_directories(); }
  ~FilesTestNetwork() {
    if (!saved_cwd_.empty() && chdir(saved_cwd_.c_str()) != 0) ADD_FAILURE() << "cwd";
    nt_reset_current_directories();
  }

  // A new host folder below the network's directory.
  std::string folder(const std::string& name) const {
    std::string path = root() + "/host/" + name;
    for (size_t pos = 1; pos <= path.size(); ++pos) {
      if (pos == path.size() || path[pos] == '/') mkdir(path.substr(0, pos).c_str(), 0755);
    }
    return path;
  }

  // Maps a drive of a machine (the local one by default) to a host folder.
  void map(char letter, const std::string& host_dir, NtDriveType type = NtDriveType::fixed,
           const char* machine = "") {
    NtMachineRef ref;
    ASSERT_EQ(nt_open_machine(machine, &ref, NtMachineAccess::admin), ERROR_SUCCESS);
    NtDrive d;
    d.letter = letter;
    d.type = type;
    d.host_dir = host_dir;
    ASSERT_EQ(nt_machine_map_drive(*ref.store, d), ERROR_SUCCESS);
  }

  // Adds a disk share to a machine.
  void share(const char* machine, const char* name, const char* nt_path) {
    NtMachineRef ref;
    ASSERT_EQ(nt_open_machine(machine, &ref, NtMachineAccess::admin), ERROR_SUCCESS);
    NtShareInfo info;
    info.name = name;
    info.path = nt_path;
    ASSERT_EQ(nt_share_add(*ref.store, info), ERROR_SUCCESS);
  }

  static void write(const std::string& host, const std::string& text) {
    std::ofstream(host, std::ios::binary) << text;
  }
  static std::string read(const std::string& host) {
    std::ifstream in(host, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }
  static bool exists(const std::string& host) {
    struct stat st;
    return lstat(host.c_str(), &st) == 0;
  }
  static std::string host_cwd() {
    char buffer[4096];
    return getcwd(buffer, sizeof buffer) ? buffer : "";
  }

 private:
  std::string saved_cwd_;
};
