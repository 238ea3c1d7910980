#include "platform/kernel/handle.h"

#include <gtest/gtest.h>

#include <atomic>
#include <set>
#include <thread>
#include <vector>

#include "platform/kernel/error.h"

namespace {

std::atomic<int> g_destroyed{0};

struct Counter : KernelObject {
  explicit Counter(int v) : value(v) {}
  ~Counter() override { ++g_destroyed; }
  int value;
};

struct Other : KernelObject {};

uintptr_t value_of(HANDLE h) { return reinterpret_cast<uintptr_t>(h); }

TEST(HandleTable, HandlesAreSmallMultiplesOfFourAndReused) {
  size_t before = nt_handle_count();
  HANDLE a = nt_insert_handle(std::make_shared<Counter>(1));
  HANDLE b = nt_insert_handle(std::make_shared<Counter>(2));
  ASSERT_NE(a, nullptr);
  ASSERT_NE(b, nullptr);
  EXPECT_NE(a, b);
  EXPECT_EQ(value_of(a) % 4, 0u);
  EXPECT_EQ(value_of(b) % 4, 0u);
  EXPECT_GE(value_of(a), 4u);
  EXPECT_LT(value_of(b), 4u * NT_MAX_HANDLES + 4);
  EXPECT_EQ(nt_handle_count(), before + 2);

  // The lowest free value comes back first.
  ASSERT_TRUE(CloseHandle(a));
  HANDLE c = nt_insert_handle(std::make_shared<Counter>(3));
  EXPECT_EQ(c, a);
  EXPECT_EQ(nt_lookup_handle_as<Counter>(c)->value, 3);
  EXPECT_EQ(nt_lookup_handle_as<Counter>(b)->value, 2);
  EXPECT_TRUE(CloseHandle(b));
  EXPECT_TRUE(CloseHandle(c));
  EXPECT_EQ(nt_handle_count(), before);
}

TEST(HandleTable, InvalidHandlesFailWithErrorSix) {
  HANDLE h = nt_insert_handle(std::make_shared<Counter>(7));
  ASSERT_TRUE(CloseHandle(h));
  for (HANDLE bad :
       {static_cast<HANDLE>(nullptr), INVALID_HANDLE_VALUE, h, reinterpret_cast<HANDLE>(6),
        reinterpret_cast<HANDLE>(4 * (NT_MAX_HANDLES + 1))}) {
    SetLastError(0);
    EXPECT_FALSE(CloseHandle(bad));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    SetLastError(0);
    EXPECT_EQ(nt_lookup_handle(bad), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
  }
  SetLastError(0);
  EXPECT_EQ(nt_insert_handle(nullptr), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
}

TEST(HandleTable, TypedLookupRefusesOtherKinds) {
  HANDLE h = nt_insert_handle(std::make_shared<Other>());
  SetLastError(0);
  EXPECT_EQ(nt_lookup_handle_as<Counter>(h), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
  EXPECT_NE(nt_lookup_handle_as<Other>(h), nullptr);
  EXPECT_TRUE(CloseHandle(h));
}

TEST(HandleTable, ObjectLivesWhileLookedUp) {
  int destroyed = g_destroyed;
  HANDLE h = nt_insert_handle(std::make_shared<Counter>(9));
  std::shared_ptr<Counter> held = nt_lookup_handle_as<Counter>(h);
  ASSERT_TRUE(CloseHandle(h));
  EXPECT_EQ(g_destroyed, destroyed);  // still referenced
  EXPECT_EQ(held->value, 9);
  held.reset();
  EXPECT_EQ(g_destroyed, destroyed + 1);
}

TEST(HandleTable, ThreadsGetDistinctHandles) {
  size_t before = nt_handle_count();
  constexpr int kThreads = 4;
  constexpr int kEach = 200;
  std::vector<std::vector<HANDLE>> got(kThreads);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([t, &got] {
      for (int i = 0; i < kEach; ++i) {
        HANDLE h = nt_insert_handle(std::make_shared<Counter>(t * kEach + i));
        got[t].push_back(h);
        if (i % 3 == 0) {
          // Close some at once; their values may come back to any thread.
          EXPECT_EQ(nt_lookup_handle_as<Counter>(h)->value, t * kEach + i);
          EXPECT_TRUE(CloseHandle(h));
          got[t].back() = nullptr;
        }
      }
    });
  }
  for (std::thread& th : threads) th.join();
  std::set<HANDLE> open;
  for (int t = 0; t < kThreads; ++t) {
    for (HANDLE h : got[t]) {
      if (!h) continue;
      EXPECT_TRUE(open.insert(h).second) << "handle given twice";
    }
  }
  EXPECT_EQ(nt_handle_count(), before + open.size());
  for (HANDLE h : open) EXPECT_TRUE(CloseHandle(h));
  EXPECT_EQ(nt_handle_count(), before);
}

}  // namespace
