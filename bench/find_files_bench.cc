// Directory listing speed: a recursive walk of 100,000 files in 1,000
// directories through FindFirstFileA/FindNextFileA (attributes, times and
// sizes of every entry, one line printed per entry), against
// `find -printf '%p %s %T@\n'` on the same tree in the same run. One file
// in ten carries NT attributes, so the extended attribute reads are part of
// the cost. The tree lives on drive T: of a throwaway network. A third
// figure is the cost of resolving one drive path, with the names written
// as on disk and in another case.
#include <benchmark/benchmark.h>
#include <ftw.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "platform/files/file_info.h"
#include "platform/files/find_file.h"
#include "platform/files/path.h"
#include "platform/kernel/error.h"
#include "platform/network/machine.h"
#include "platform/network/network.h"

namespace {

constexpr int kTopDirectories = 10;
constexpr int kLeavesPerTop = 100;  // 1,000 directories of files
constexpr int kFilesPerLeaf = 100;  // 100,000 files

struct Tree {
  std::string network;
  std::string root;  // host folder of drive T:
  uint64_t entries = 0;
};

void make_dir(const std::string& path) {
  if (mkdir(path.c_str(), 0755) != 0) abort();
}

Tree* g_tree = nullptr;

Tree& tree() {
  static Tree* t = [] {
    auto* made = new Tree;
    char pattern[] = "/tmp/find-bench-XXXXXX";
    if (!mkdtemp(pattern)) abort();
    made->network = std::string(pattern) + "/net";
    made->root = std::string(pattern) + "/tree";
    setenv("NT_NETWORK", made->network.c_str(), 1);
    setenv("COMPUTERNAME", "BENCHPC", 1);
    make_dir(made->root);
    for (int top = 0; top < kTopDirectories; ++top) {
      std::string t_dir = made->root + "/Top" + std::to_string(top);
      make_dir(t_dir);
      for (int leaf = 0; leaf < kLeavesPerTop; ++leaf) {
        std::string l_dir = t_dir + "/Leaf" + std::to_string(leaf);
        make_dir(l_dir);
        for (int f = 0; f < kFilesPerLeaf; ++f) {
          std::string file = l_dir + "/File" + std::to_string(f) + ".dat";
          FILE* out = fopen(file.c_str(), "w");
          if (!out) abort();
          fprintf(out, "%d", f);
          fclose(out);
          // Every tenth file carries an attribute, with its mark, as the
          // layer stores one.
          if (f % 10 == 0 && nt_store_attributes(file, FILE_ATTRIBUTE_ARCHIVE) != ERROR_SUCCESS)
            abort();
        }
      }
    }
    NtMachineRef local;
    if (nt_open_machine("", &local) != ERROR_SUCCESS) abort();
    NtDrive drive;
    drive.letter = 'T';
    drive.host_dir = made->root;
    if (nt_machine_map_drive(*local.store, drive) != ERROR_SUCCESS) abort();
    g_tree = made;
    return made;
  }();
  return *t;
}

// Lists `dir` (an NT path ending with a backslash) and its subdirectories.
uint64_t walk(const std::string& dir, FILE* out) {
  WIN32_FIND_DATAA data;
  HANDLE h = FindFirstFileA((dir + "*").c_str(), &data);
  if (h == INVALID_HANDLE_VALUE) return 0;
  uint64_t count = 0;
  do {
    const char* name = data.cFileName;
    if (name[0] == '.' && (name[1] == 0 || (name[1] == '.' && name[2] == 0))) continue;
    ++count;
    const uint64_t size = (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    fprintf(out, "%s%s %llu %llu %lx\n", dir.c_str(), name, static_cast<unsigned long long>(size),
            static_cast<unsigned long long>(filetime_to_u64(data.ftLastWriteTime)),
            static_cast<unsigned long>(data.dwFileAttributes));
    if (data.dwFileAttributes & 0x10) count += walk(dir + name + "\\", out);
  } while (FindNextFileA(h, &data));
  FindClose(h);
  return count;
}

void BM_FindFirstFileTree(benchmark::State& state) {
  Tree& t = tree();
  FILE* out = fopen("/dev/null", "w");
  uint64_t count = 0;
  for (auto _ : state) count = walk("T:\\", out);
  fclose(out);
  if (count != static_cast<uint64_t>(kTopDirectories) * (1 + kLeavesPerTop * (1 + kFilesPerLeaf))) {
    state.SkipWithError("wrong number of entries");
  }
  t.entries = count;
  state.counters["entries"] = static_cast<double>(count);
}
BENCHMARK(BM_FindFirstFileTree)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);

void BM_FindPrintf(benchmark::State& state) {
  Tree& t = tree();
  std::string command = "find '" + t.root + "' -printf '%p %s %T@\\n' > /dev/null";
  for (auto _ : state) {
    if (system(command.c_str()) != 0) state.SkipWithError("find failed");
  }
}
BENCHMARK(BM_FindPrintf)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);

// One drive path to its host path: the drive table lookup and the
// case-insensitive name lookup that every file call pays.
void BM_ResolveDrivePath(benchmark::State& state) {
  tree();
  const char* path = state.range(0) ? "T:\\top3\\leaf42\\FILE7.DAT" : "T:\\Top3\\Leaf42\\File7.dat";
  std::string host;
  for (auto _ : state) {
    if (!nt_host_path(path, &host)) state.SkipWithError("not resolved");
    benchmark::DoNotOptimize(host);
  }
}
BENCHMARK(BM_ResolveDrivePath)->Arg(0)->Arg(1)->ArgName("other_case");

// The tree goes when the run ends.
struct Cleanup {
  ~Cleanup() {
    if (!g_tree) return;
    std::string top = g_tree->root.substr(0, g_tree->root.rfind('/'));
    nftw(top.c_str(), [](const char* p, const struct stat*, int, struct FTW*) { return remove(p); },
         64, FTW_DEPTH | FTW_PHYS);
  }
} cleanup;

}  // namespace

BENCHMARK_MAIN();
