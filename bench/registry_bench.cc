// Registry throughput: value reads on an open key, open+read+close from the
// predefined key, and committed writes (each RegSetValueExA its own
// transaction, WAL with synchronous=NORMAL) on a throwaway network.
#include <benchmark/benchmark.h>
#include <ftw.h>
#include <stdlib.h>

#include <cstdio>
#include <string>

#include "platform/kernel/error.h"
#include "platform/network/network.h"
#include "platform/registry/registry.h"

namespace {

constexpr const char* kKey = "SOFTWARE\\Bench\\Values";

HKEY open_bench_key(REGSAM access) {
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kKey, 0, access, &key) != ERROR_SUCCESS) abort();
  return key;
}

void BM_QueryDword(benchmark::State& state) {
  HKEY key = open_bench_key(KEY_READ);
  DWORD value = 0;
  for (auto _ : state) {
    DWORD size = sizeof value;
    if (RegQueryValueExA(key, "Dword", nullptr, nullptr, reinterpret_cast<BYTE*>(&value),
                         &size) != ERROR_SUCCESS)
      abort();
    benchmark::DoNotOptimize(value);
  }
  RegCloseKey(key);
  state.counters["reads/s"] = benchmark::Counter(static_cast<double>(state.iterations()),
                                                 benchmark::Counter::kIsRate);
}
BENCHMARK(BM_QueryDword);

void BM_QueryString(benchmark::State& state) {
  HKEY key = open_bench_key(KEY_READ);
  char buffer[256];
  for (auto _ : state) {
    DWORD size = sizeof buffer;
    if (RegQueryValueExA(key, "String", nullptr, nullptr, reinterpret_cast<BYTE*>(buffer),
                         &size) != ERROR_SUCCESS)
      abort();
    benchmark::DoNotOptimize(buffer);
  }
  RegCloseKey(key);
  state.counters["reads/s"] = benchmark::Counter(static_cast<double>(state.iterations()),
                                                 benchmark::Counter::kIsRate);
}
BENCHMARK(BM_QueryString);

void BM_OpenQueryClose(benchmark::State& state) {
  DWORD value = 0;
  for (auto _ : state) {
    HKEY key = open_bench_key(KEY_READ);
    DWORD size = sizeof value;
    if (RegQueryValueExA(key, "Dword", nullptr, nullptr, reinterpret_cast<BYTE*>(&value),
                         &size) != ERROR_SUCCESS)
      abort();
    RegCloseKey(key);
    benchmark::DoNotOptimize(value);
  }
  state.counters["reads/s"] = benchmark::Counter(static_cast<double>(state.iterations()),
                                                 benchmark::Counter::kIsRate);
}
BENCHMARK(BM_OpenQueryClose);

void BM_SetValueCommitted(benchmark::State& state) {
  HKEY key = open_bench_key(KEY_ALL_ACCESS);
  DWORD value = 0;
  for (auto _ : state) {
    ++value;
    if (RegSetValueExA(key, "Counter", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value),
                       sizeof value) != ERROR_SUCCESS)
      abort();
  }
  RegCloseKey(key);
  state.counters["writes/s"] = benchmark::Counter(static_cast<double>(state.iterations()),
                                                  benchmark::Counter::kIsRate);
}
BENCHMARK(BM_SetValueCommitted);

void BM_SetManyValuesCommitted(benchmark::State& state) {
  HKEY key = open_bench_key(KEY_ALL_ACCESS);
  char name[32];
  DWORD i = 0;
  for (auto _ : state) {
    snprintf(name, sizeof name, "v%u", static_cast<unsigned>(i++ % 1000));
    if (RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>("some text"), 10) !=
        ERROR_SUCCESS)
      abort();
  }
  RegCloseKey(key);
  state.counters["writes/s"] = benchmark::Counter(static_cast<double>(state.iterations()),
                                                  benchmark::Counter::kIsRate);
}
BENCHMARK(BM_SetManyValuesCommitted);

int remove_entry(const char* path, const struct stat*, int, struct FTW*) {
  ::remove(path);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  char pattern[] = "/tmp/ntnet-bench-XXXXXX";
  if (mkdtemp(pattern) == nullptr) return 1;
  setenv("NT_NETWORK", pattern, 1);
  setenv("COMPUTERNAME", "BENCHPC", 1);
  NtMachineInfo info;
  info.name = "BENCHPC";
  if (nt_network_create(pattern, info) != ERROR_SUCCESS) return 1;
  HKEY key;
  if (RegCreateKeyA(HKEY_LOCAL_MACHINE, kKey, &key) != ERROR_SUCCESS) return 1;
  DWORD dword = 31;
  RegSetValueExA(key, "Dword", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&dword), sizeof dword);
  const char text[] = "C:\\WINNT\\system32\\some-program.exe";
  RegSetValueExA(key, "String", 0, REG_SZ, reinterpret_cast<const BYTE*>(text), sizeof text);
  RegCloseKey(key);

  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  nftw(pattern, remove_entry, 16, FTW_DEPTH | FTW_PHYS);
  return 0;
}
