#include "platform/sync/thread.h"

#include <gtest/gtest.h>
#include <pthread.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "platform/kernel/error.h"
#include "platform/sync/event.h"

namespace {

struct Shared {
  HANDLE go = nullptr;
  std::atomic<DWORD> id{0};
  std::atomic<bool> ran{false};
  size_t stack_size = 0;
  int depth = 0;  // frames of 64 KB to use
  bool deep_ok = false;
};

DWORD wait_for_go(void* arg) {
  auto* s = static_cast<Shared*>(arg);
  s->id = GetCurrentThreadId();
  s->ran = true;
  WaitForSingleObject(s->go, 5000);
  return 42;
}

DWORD exit_early(void* /*arg*/) {
  ExitThread(7);
}

// Uses `depth` frames of 64 KB of stack.
__attribute__((noinline)) bool use_stack(int depth) {
  volatile char block[64 * 1024];
  block[0] = static_cast<char>(depth);
  if (depth == 0) return block[0] == 0;
  return use_stack(depth - 1) && block[0] == static_cast<char>(depth);
}

DWORD measure_stack(void* arg) {
  auto* s = static_cast<Shared*>(arg);
  pthread_attr_t attr;
  pthread_getattr_np(pthread_self(), &attr);
  pthread_attr_getstacksize(&attr, &s->stack_size);
  pthread_attr_destroy(&attr);
  s->deep_ok = use_stack(s->depth);
  return 0;
}

TEST(Threads, ExitCodeIdAndWait) {
  Shared s;
  s.go = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  DWORD id = 0;
  HANDLE t = CreateThread(nullptr, 0, wait_for_go, &s, 0, &id);
  ASSERT_NE(t, nullptr);
  DWORD code = 0;
  ASSERT_TRUE(GetExitCodeThread(t, &code));
  EXPECT_EQ(code, STILL_ACTIVE);
  EXPECT_EQ(WaitForSingleObject(t, 30), WAIT_TIMEOUT);
  while (!s.ran) std::this_thread::yield();
  EXPECT_EQ(s.id.load(), id);
  EXPECT_EQ(GetThreadId(t), id);
  EXPECT_NE(id, GetCurrentThreadId());
  SetEvent(s.go);
  EXPECT_EQ(WaitForSingleObject(t, 5000), WAIT_OBJECT_0);
  ASSERT_TRUE(GetExitCodeThread(t, &code));
  EXPECT_EQ(code, 42u);
  EXPECT_EQ(WaitForSingleObject(t, 0), WAIT_OBJECT_0);  // stays signalled

  HANDLE early = CreateThread(nullptr, 0, exit_early, nullptr, 0, nullptr);
  EXPECT_EQ(WaitForSingleObject(early, 5000), WAIT_OBJECT_0);
  ASSERT_TRUE(GetExitCodeThread(early, &code));
  EXPECT_EQ(code, 7u);

  SetLastError(0);
  EXPECT_EQ(CreateThread(nullptr, 0, nullptr, nullptr, 0, nullptr), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  SetLastError(0);
  EXPECT_FALSE(GetExitCodeThread(s.go, &code));  // an event is no thread
  EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
  CloseHandle(t);
  CloseHandle(early);
  CloseHandle(s.go);
}

TEST(Threads, SuspendedUntilResumed) {
  Shared s;
  s.go = CreateEventA(nullptr, TRUE, TRUE, nullptr);
  DWORD id = 0;
  HANDLE t = CreateThread(nullptr, 0, wait_for_go, &s, CREATE_SUSPENDED, &id);
  ASSERT_NE(t, nullptr);
  EXPECT_NE(id, 0u);
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_FALSE(s.ran.load());
  EXPECT_EQ(WaitForSingleObject(t, 0), WAIT_TIMEOUT);
  EXPECT_EQ(ResumeThread(t), 1u);
  EXPECT_EQ(WaitForSingleObject(t, 5000), WAIT_OBJECT_0);
  EXPECT_TRUE(s.ran.load());
  EXPECT_EQ(ResumeThread(t), 0u);  // not suspended any more
  CloseHandle(t);
  CloseHandle(s.go);
}

TEST(Threads, StackSizeIsHonoured) {
  // NT commits the size given and reserves at least the 1 MB default.
  EXPECT_EQ(nt_thread_stack_size(0, 0), 0u);
  EXPECT_EQ(nt_thread_stack_size(10240, 0), 1024u * 1024);
  EXPECT_EQ(nt_thread_stack_size(4 * 1024 * 1024 + 1, 0), 4u * 1024 * 1024 + 64 * 1024);
  EXPECT_EQ(nt_thread_stack_size(100000, STACK_SIZE_PARAM_IS_A_RESERVATION), 128u * 1024);

  Shared s;
  s.depth = 45;  // about 3 MB
  HANDLE t = CreateThread(nullptr, 4 * 1024 * 1024, measure_stack, &s, 0, nullptr);
  ASSERT_NE(t, nullptr);
  ASSERT_EQ(WaitForSingleObject(t, 10000), WAIT_OBJECT_0);
  EXPECT_GE(s.stack_size, 4u * 1024 * 1024);
  EXPECT_TRUE(s.deep_ok);
  CloseHandle(t);

  // The scheduler's 10240-byte threads get room enough for real work.
  Shared small;
  small.depth = 8;  // half a megabyte
  t = CreateThread(nullptr, 10240, measure_stack, &small, 0, nullptr);
  ASSERT_EQ(WaitForSingleObject(t, 10000), WAIT_OBJECT_0);
  EXPECT_GE(small.stack_size, 1024u * 1024);
  EXPECT_TRUE(small.deep_ok);
  CloseHandle(t);
}

TEST(Threads, TerminateEndsABlockedThreadWithTheCode) {
  Shared s;
  s.go = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  HANDLE t = CreateThread(nullptr, 0, wait_for_go, &s, 0, nullptr);
  while (!s.ran) std::this_thread::yield();
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  ASSERT_TRUE(TerminateThread(t, 1067));
  EXPECT_EQ(WaitForSingleObject(t, 5000), WAIT_OBJECT_0);
  DWORD code = 0;
  ASSERT_TRUE(GetExitCodeThread(t, &code));
  EXPECT_EQ(code, 1067u);
  EXPECT_TRUE(TerminateThread(t, 5));  // already ended: nothing changes
  ASSERT_TRUE(GetExitCodeThread(t, &code));
  EXPECT_EQ(code, 1067u);
  CloseHandle(t);

  // A suspended thread ends without running.
  Shared never;
  never.go = s.go;
  t = CreateThread(nullptr, 0, wait_for_go, &never, CREATE_SUSPENDED, nullptr);
  ASSERT_TRUE(TerminateThread(t, 3));
  EXPECT_EQ(WaitForSingleObject(t, 5000), WAIT_OBJECT_0);
  EXPECT_FALSE(never.ran.load());
  ASSERT_TRUE(GetExitCodeThread(t, &code));
  EXPECT_EQ(code, 3u);
  CloseHandle(t);
  CloseHandle(s.go);
}

TEST(Threads, CurrentThreadPseudoHandle) {
  DWORD code = 0;
  ASSERT_TRUE(GetExitCodeThread(GetCurrentThread(), &code));
  EXPECT_EQ(code, STILL_ACTIVE);
  EXPECT_EQ(GetThreadId(GetCurrentThread()), GetCurrentThreadId());
  EXPECT_EQ(WaitForSingleObject(GetCurrentThread(), 10), WAIT_TIMEOUT);
}

}  // namespace
