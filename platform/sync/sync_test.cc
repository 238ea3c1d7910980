#include "platform/sync/sync.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "platform/files/path.h"
#include "platform/kernel/error.h"

namespace {

using Clock = std::chrono::steady_clock;

long elapsed_ms(Clock::time_point since) {
  return static_cast<long>(
      std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - since).count());
}

// Closes the handles of a test on every way out.
struct Handles {
  std::vector<HANDLE> list;
  HANDLE add(HANDLE h) {
    list.push_back(h);
    return h;
  }
  ~Handles() {
    for (HANDLE h : list) {
      if (h) CloseHandle(h);
    }
  }
};

TEST(Events, ManualResetStaysSignalledUntilReset) {
  Handles h;
  HANDLE event = h.add(CreateEventA(nullptr, TRUE, FALSE, nullptr));
  ASSERT_NE(event, nullptr);
  EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_TIMEOUT);
  ASSERT_TRUE(SetEvent(event));
  EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_OBJECT_0);
  EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_OBJECT_0);  // still set
  ASSERT_TRUE(SetEvent(event));                             // setting twice is one state
  ASSERT_TRUE(ResetEvent(event));
  EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_TIMEOUT);
  HANDLE initially_set = h.add(CreateEventA(nullptr, TRUE, TRUE, nullptr));
  EXPECT_EQ(WaitForSingleObject(initially_set, 0), WAIT_OBJECT_0);
}

// Waits until `counter` reaches `value` (at most 5 s); false on time-out.
bool reaches(const std::atomic<int>& counter, int value) {
  for (int i = 0; i < 500 && counter.load() < value; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return counter.load() >= value;
}

TEST(Events, AutoResetReleasesExactlyOneWait) {
  Handles h;
  HANDLE event = h.add(CreateEventA(nullptr, FALSE, TRUE, nullptr));
  EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_OBJECT_0);
  EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_TIMEOUT);  // the wait took it

  // Two threads wait; one SetEvent lets one of them through.
  std::atomic<int> released{0};
  std::vector<std::thread> waiters;
  for (int i = 0; i < 2; ++i) {
    waiters.emplace_back([&] {
      if (WaitForSingleObject(event, 10000) == WAIT_OBJECT_0) ++released;
    });
  }
  ASSERT_TRUE(SetEvent(event));
  EXPECT_TRUE(reaches(released, 1));
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_EQ(released.load(), 1);
  ASSERT_TRUE(SetEvent(event));
  for (auto& t : waiters) t.join();
  EXPECT_EQ(released.load(), 2);
  EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_TIMEOUT);
}

TEST(Events, PulseReleasesWaitersAndLeavesTheEventReset) {
  Handles h;
  HANDLE manual = h.add(CreateEventA(nullptr, TRUE, FALSE, nullptr));
  HANDLE automatic = h.add(CreateEventA(nullptr, FALSE, FALSE, nullptr));
  // Nobody waits: a pulse changes nothing.
  ASSERT_TRUE(PulseEvent(manual));
  EXPECT_EQ(WaitForSingleObject(manual, 0), WAIT_TIMEOUT);

  // A pulse releases whoever waits at that moment; it is repeated until the
  // three threads have all been caught waiting.
  std::atomic<int> manual_released{0};
  std::vector<std::thread> threads;
  for (int i = 0; i < 3; ++i) {
    threads.emplace_back([&] {
      if (WaitForSingleObject(manual, 10000) == WAIT_OBJECT_0) ++manual_released;
    });
  }
  for (int i = 0; i < 250 && manual_released.load() < 3; ++i) {
    ASSERT_TRUE(PulseEvent(manual));
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  for (auto& t : threads) t.join();
  threads.clear();
  EXPECT_EQ(manual_released.load(), 3);
  EXPECT_EQ(WaitForSingleObject(manual, 0), WAIT_TIMEOUT);

  // An auto-reset pulse releases one of the waiters, never two.
  std::atomic<int> auto_released{0};
  for (int i = 0; i < 2; ++i) {
    threads.emplace_back([&] {
      if (WaitForSingleObject(automatic, 10000) == WAIT_OBJECT_0) ++auto_released;
    });
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  for (int i = 0; i < 250 && auto_released.load() == 0; ++i) {
    ASSERT_TRUE(PulseEvent(automatic));
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_EQ(auto_released.load(), 1);
  EXPECT_EQ(WaitForSingleObject(automatic, 0), WAIT_TIMEOUT);
  ASSERT_TRUE(SetEvent(automatic));  // lets the other one go
  for (auto& t : threads) t.join();
  EXPECT_EQ(auto_released.load(), 2);
}

TEST(Waits, TimeOutsAreKeptAndBadHandlesFail) {
  Handles h;
  HANDLE event = h.add(CreateEventA(nullptr, TRUE, FALSE, nullptr));
  Clock::time_point start = Clock::now();
  EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_TIMEOUT);
  EXPECT_LT(elapsed_ms(start), 50);
  start = Clock::now();
  EXPECT_EQ(WaitForSingleObject(event, 120), WAIT_TIMEOUT);
  long waited = elapsed_ms(start);
  EXPECT_GE(waited, 120);
  EXPECT_LT(waited, 1000);

  // A set from another thread ends an INFINITE wait.
  std::thread setter([event] {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    SetEvent(event);
  });
  EXPECT_EQ(WaitForSingleObject(event, INFINITE), WAIT_OBJECT_0);
  setter.join();

  HANDLE closed = CreateEventA(nullptr, TRUE, TRUE, nullptr);
  ASSERT_TRUE(CloseHandle(closed));
  for (HANDLE bad : {closed, static_cast<HANDLE>(nullptr), reinterpret_cast<HANDLE>(6),
                     reinterpret_cast<HANDLE>(4 * 9999)}) {
    SetLastError(0);
    EXPECT_EQ(WaitForSingleObject(bad, 0), WAIT_FAILED);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
  }
  // INVALID_HANDLE_VALUE is the current process's pseudo handle, as in NT:
  // a wait on it lasts while the process runs.
  EXPECT_EQ(WaitForSingleObject(INVALID_HANDLE_VALUE, 0), WAIT_TIMEOUT);
  // A handle of another kind is a bad handle for the event calls.
  HANDLE semaphore = h.add(CreateSemaphoreA(nullptr, 1, 1, nullptr));
  SetLastError(0);
  EXPECT_FALSE(SetEvent(semaphore));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
}

TEST(Waits, WaitAnyReturnsTheLowestSignalledIndex) {
  Handles h;
  HANDLE a = h.add(CreateEventA(nullptr, TRUE, FALSE, nullptr));
  HANDLE b = h.add(CreateEventA(nullptr, FALSE, FALSE, nullptr));
  HANDLE c = h.add(CreateEventA(nullptr, TRUE, FALSE, nullptr));
  HANDLE all[] = {a, b, c};
  EXPECT_EQ(WaitForMultipleObjects(3, all, FALSE, 30), WAIT_TIMEOUT);
  SetEvent(c);
  SetEvent(b);
  EXPECT_EQ(WaitForMultipleObjects(3, all, FALSE, 0), WAIT_OBJECT_0 + 1);
  // b was auto-reset and is taken; c (manual) answers now.
  EXPECT_EQ(WaitForMultipleObjects(3, all, FALSE, 0), WAIT_OBJECT_0 + 2);
  EXPECT_EQ(WaitForSingleObject(b, 0), WAIT_TIMEOUT);

  // Wait-any from another thread's set.
  ResetEvent(c);
  std::thread setter([b] {
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    SetEvent(b);
  });
  EXPECT_EQ(WaitForMultipleObjects(3, all, FALSE, 2000), WAIT_OBJECT_0 + 1);
  setter.join();
}

TEST(Waits, WaitAllTakesNothingUntilEverythingIsSignalled) {
  Handles h;
  HANDLE manual = h.add(CreateEventA(nullptr, TRUE, FALSE, nullptr));
  HANDLE automatic = h.add(CreateEventA(nullptr, FALSE, TRUE, nullptr));
  HANDLE semaphore = h.add(CreateSemaphoreA(nullptr, 1, 5, nullptr));
  HANDLE all[] = {manual, automatic, semaphore};
  EXPECT_EQ(WaitForMultipleObjects(3, all, TRUE, 50), WAIT_TIMEOUT);
  // The wait-all took neither the auto-reset event nor the count.
  EXPECT_EQ(WaitForSingleObject(automatic, 0), WAIT_OBJECT_0);
  SetEvent(automatic);
  LONG previous = -1;
  ASSERT_TRUE(ReleaseSemaphore(semaphore, 1, &previous));
  EXPECT_EQ(previous, 1);
  ASSERT_TRUE(ReleaseSemaphore(semaphore, 0 + 1, &previous));
  EXPECT_EQ(previous, 2);

  std::thread setter([manual] {
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    SetEvent(manual);
  });
  EXPECT_EQ(WaitForMultipleObjects(3, all, TRUE, 2000), WAIT_OBJECT_0);
  setter.join();
  // Everything was taken once: the auto event is reset, the count is 2.
  EXPECT_EQ(WaitForSingleObject(automatic, 0), WAIT_TIMEOUT);
  ASSERT_TRUE(ReleaseSemaphore(semaphore, 1, &previous));
  EXPECT_EQ(previous, 2);
}

TEST(Waits, BadArgumentsOfMultipleWaits) {
  Handles h;
  HANDLE a = h.add(CreateEventA(nullptr, TRUE, TRUE, nullptr));
  HANDLE twice[] = {a, a};
  SetLastError(0);
  EXPECT_EQ(WaitForMultipleObjects(2, twice, TRUE, 0), WAIT_FAILED);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(WaitForMultipleObjects(2, twice, FALSE, 0), WAIT_OBJECT_0);  // fine for wait-any
  std::vector<HANDLE> many(MAXIMUM_WAIT_OBJECTS + 1, a);
  SetLastError(0);
  EXPECT_EQ(WaitForMultipleObjects(MAXIMUM_WAIT_OBJECTS + 1, many.data(), FALSE, 0), WAIT_FAILED);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(WaitForMultipleObjects(MAXIMUM_WAIT_OBJECTS, many.data(), FALSE, 0), WAIT_OBJECT_0);
  SetLastError(0);
  EXPECT_EQ(WaitForMultipleObjects(0, many.data(), FALSE, 0), WAIT_FAILED);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  HANDLE with_bad[] = {a, reinterpret_cast<HANDLE>(4 * 9999)};
  SetLastError(0);
  EXPECT_EQ(WaitForMultipleObjects(2, with_bad, FALSE, 0), WAIT_FAILED);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
}

TEST(Semaphores, CountsAndTheMaximum) {
  Handles h;
  HANDLE s = h.add(CreateSemaphoreA(nullptr, 2, 3, nullptr));
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(WaitForSingleObject(s, 0), WAIT_OBJECT_0);
  EXPECT_EQ(WaitForSingleObject(s, 0), WAIT_OBJECT_0);
  EXPECT_EQ(WaitForSingleObject(s, 0), WAIT_TIMEOUT);
  LONG previous = -1;
  ASSERT_TRUE(ReleaseSemaphore(s, 3, &previous));
  EXPECT_EQ(previous, 0);
  // Past the maximum: refused, count unchanged.
  previous = -1;
  SetLastError(0);
  EXPECT_FALSE(ReleaseSemaphore(s, 1, &previous));
  EXPECT_EQ(GetLastError(), ERROR_TOO_MANY_POSTS);
  EXPECT_EQ(previous, -1);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(WaitForSingleObject(s, 0), WAIT_OBJECT_0);
  EXPECT_EQ(WaitForSingleObject(s, 0), WAIT_TIMEOUT);
  // A release larger than the room left is refused whole.
  ASSERT_TRUE(ReleaseSemaphore(s, 2, nullptr));
  EXPECT_FALSE(ReleaseSemaphore(s, 2, nullptr));
  EXPECT_EQ(GetLastError(), ERROR_TOO_MANY_POSTS);
  EXPECT_TRUE(ReleaseSemaphore(s, 1, &previous));
  EXPECT_EQ(previous, 2);

  SetLastError(0);
  EXPECT_FALSE(ReleaseSemaphore(s, 0, nullptr));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  for (auto [initial, maximum] : {std::pair<LONG, LONG>{0, 0}, {-1, 3}, {4, 3}}) {
    SetLastError(0);
    EXPECT_EQ(CreateSemaphoreA(nullptr, initial, maximum, nullptr), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  }
}

TEST(Semaphores, ReleaseWakesAWaitingThread) {
  Handles h;
  HANDLE s = h.add(CreateSemaphoreA(nullptr, 0, 1, nullptr));
  std::atomic<DWORD> result{0xDEAD};
  std::thread waiter([&] { result = WaitForSingleObject(s, 2000); });
  std::this_thread::sleep_for(std::chrono::milliseconds(30));
  EXPECT_EQ(result.load(), 0xDEADu);
  ASSERT_TRUE(ReleaseSemaphore(s, 1, nullptr));
  waiter.join();
  EXPECT_EQ(result.load(), WAIT_OBJECT_0);
}

TEST(Mutexes, OwnershipRecursionAndAbandonment) {
  Handles h;
  HANDLE m = h.add(CreateMutexA(nullptr, TRUE, nullptr));
  ASSERT_NE(m, nullptr);
  // The owner may take it again; each take needs its release.
  EXPECT_EQ(WaitForSingleObject(m, 0), WAIT_OBJECT_0);
  std::atomic<DWORD> other{0};
  std::thread([&] { other = WaitForSingleObject(m, 0); }).join();
  EXPECT_EQ(other.load(), WAIT_TIMEOUT);
  EXPECT_TRUE(ReleaseMutex(m));
  std::thread([&] { other = WaitForSingleObject(m, 0); }).join();
  EXPECT_EQ(other.load(), WAIT_TIMEOUT);  // one take still held
  EXPECT_TRUE(ReleaseMutex(m));
  SetLastError(0);
  EXPECT_FALSE(ReleaseMutex(m));
  EXPECT_EQ(GetLastError(), ERROR_NOT_OWNER);

  // A thread that ends while owning it abandons it.
  std::thread([&] { other = WaitForSingleObject(m, 0); }).join();
  EXPECT_EQ(other.load(), WAIT_OBJECT_0);
  EXPECT_EQ(WaitForSingleObject(m, 1000), WAIT_ABANDONED_0);
  // The abandonment is reported once; the mutex is ours now.
  SetLastError(0);
  std::thread([&] {
    if (!ReleaseMutex(m)) other = GetLastError();
  }).join();
  EXPECT_EQ(other.load(), ERROR_NOT_OWNER);
  EXPECT_TRUE(ReleaseMutex(m));
  EXPECT_EQ(WaitForSingleObject(m, 0), WAIT_OBJECT_0);
  EXPECT_TRUE(ReleaseMutex(m));

  // Abandonment shows with the index in a multiple wait.
  HANDLE event = h.add(CreateEventA(nullptr, TRUE, FALSE, nullptr));
  std::thread([&] { WaitForSingleObject(m, 0); }).join();
  HANDLE both[] = {event, m};
  EXPECT_EQ(WaitForMultipleObjects(2, both, FALSE, 0), WAIT_ABANDONED_0 + 1);
  EXPECT_TRUE(ReleaseMutex(m));
}

TEST(NamedObjects, OneNameOneObject) {
  Handles h;
  HANDLE first = h.add(CreateEventA(nullptr, TRUE, FALSE, "sync-test-event"));
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(GetLastError(), ERROR_SUCCESS);
  // The same name gives the same event, its mode and state unchanged.
  HANDLE second = h.add(CreateEventA(nullptr, FALSE, TRUE, "sync-test-event"));
  ASSERT_NE(second, nullptr);
  EXPECT_EQ(GetLastError(), ERROR_ALREADY_EXISTS);
  EXPECT_NE(first, second);
  EXPECT_EQ(WaitForSingleObject(second, 0), WAIT_TIMEOUT);
  SetEvent(first);
  EXPECT_EQ(WaitForSingleObject(second, 0), WAIT_OBJECT_0);
  EXPECT_EQ(WaitForSingleObject(second, 0), WAIT_OBJECT_0);  // still manual reset
  HANDLE opened = h.add(OpenEventA(EVENT_ALL_ACCESS, FALSE, "Global\\sync-test-event"));
  EXPECT_NE(opened, nullptr);
  // Names are case-sensitive; other kinds may not share a name.
  SetLastError(0);
  EXPECT_EQ(OpenEventA(EVENT_ALL_ACCESS, FALSE, "SYNC-TEST-EVENT"), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
  SetLastError(0);
  EXPECT_EQ(CreateSemaphoreA(nullptr, 1, 1, "sync-test-event"), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
  SetLastError(0);
  EXPECT_EQ(OpenMutexA(MUTEX_ALL_ACCESS, FALSE, "sync-test-event"), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);

  // Named semaphores and mutexes behave alike.
  HANDLE sem = h.add(CreateSemaphoreA(nullptr, 1, 2, "sync-test-sem"));
  HANDLE sem2 = h.add(OpenSemaphoreA(SEMAPHORE_ALL_ACCESS, FALSE, "sync-test-sem"));
  EXPECT_EQ(WaitForSingleObject(sem2, 0), WAIT_OBJECT_0);
  EXPECT_EQ(WaitForSingleObject(sem, 0), WAIT_TIMEOUT);
  HANDLE mutex = h.add(CreateMutexA(nullptr, TRUE, "sync-test-mutex"));
  HANDLE mutex2 = h.add(CreateMutexA(nullptr, TRUE, "sync-test-mutex"));
  EXPECT_EQ(GetLastError(), ERROR_ALREADY_EXISTS);
  EXPECT_TRUE(ReleaseMutex(mutex2));   // only the first took it
  SetLastError(0);
  EXPECT_FALSE(ReleaseMutex(mutex));
  EXPECT_EQ(GetLastError(), ERROR_NOT_OWNER);

  // Names at the limit and past it.
  std::string longest(MAX_PATH, 'n');
  HANDLE at_limit = h.add(CreateEventA(nullptr, TRUE, FALSE, longest.c_str()));
  EXPECT_NE(at_limit, nullptr);
  std::string too_long = longest + "n";
  SetLastError(0);
  EXPECT_EQ(CreateEventA(nullptr, TRUE, FALSE, too_long.c_str()), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_FILENAME_EXCED_RANGE);
  SetLastError(0);
  EXPECT_EQ(CreateEventA(nullptr, TRUE, FALSE, "no\\such\\dir"), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_PATH_NOT_FOUND);
}

TEST(NamedObjects, ANameGoesWithItsLastHandle) {
  HANDLE e = CreateEventA(nullptr, TRUE, TRUE, "sync-test-short-lived");
  ASSERT_NE(e, nullptr);
  ASSERT_TRUE(CloseHandle(e));
  SetLastError(0);
  EXPECT_EQ(OpenEventA(EVENT_ALL_ACCESS, FALSE, "sync-test-short-lived"), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
  // A new event of that name starts afresh.
  HANDLE again = CreateEventA(nullptr, TRUE, FALSE, "sync-test-short-lived");
  EXPECT_EQ(GetLastError(), ERROR_SUCCESS);
  EXPECT_EQ(WaitForSingleObject(again, 0), WAIT_TIMEOUT);
  CloseHandle(again);
}

TEST(HandleFlags, InheritanceAndProtection) {
  SECURITY_ATTRIBUTES inheritable{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
  Handles h;
  HANDLE a = h.add(CreateEventA(&inheritable, TRUE, FALSE, nullptr));
  HANDLE b = h.add(CreateEventA(nullptr, TRUE, FALSE, nullptr));
  DWORD flags = 99;
  ASSERT_TRUE(GetHandleInformation(a, &flags));
  EXPECT_EQ(flags, HANDLE_FLAG_INHERIT);
  ASSERT_TRUE(GetHandleInformation(b, &flags));
  EXPECT_EQ(flags, 0u);
  ASSERT_TRUE(SetHandleInformation(b, HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT));
  ASSERT_TRUE(SetHandleInformation(a, HANDLE_FLAG_INHERIT, 0));
  ASSERT_TRUE(GetHandleInformation(a, &flags));
  EXPECT_EQ(flags, 0u);
  bool a_listed = false, b_listed = false;
  for (const NtHandleEntry& e : nt_inheritable_handles()) {
    a_listed |= e.handle == a;
    b_listed |= e.handle == b;
  }
  EXPECT_FALSE(a_listed);
  EXPECT_TRUE(b_listed);

  ASSERT_TRUE(SetHandleInformation(a, HANDLE_FLAG_PROTECT_FROM_CLOSE, HANDLE_FLAG_PROTECT_FROM_CLOSE));
  SetLastError(0);
  EXPECT_FALSE(CloseHandle(a));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
  EXPECT_EQ(WaitForSingleObject(a, 0), WAIT_TIMEOUT);  // still open
  ASSERT_TRUE(SetHandleInformation(a, HANDLE_FLAG_PROTECT_FROM_CLOSE, 0));

  SetLastError(0);
  EXPECT_FALSE(SetHandleInformation(a, 0x4, 0x4));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  SetLastError(0);
  EXPECT_FALSE(GetHandleInformation(reinterpret_cast<HANDLE>(4 * 9999), &flags));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
}

}  // namespace
