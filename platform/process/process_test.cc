#include "platform/process/process.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

#include "platform/files/file_io.h"
#include "platform/kernel/error.h"
#include "platform/network/network_test_env.h"
#include "platform/process/process_test_util.h"
#include "platform/sync/sync.h"

namespace {

std::string read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

class ProcessTest : public ::testing::Test {
 protected:
  TempNetwork network_;
  std::string probe_ = probe_path();
  // A scratch folder inside the network directory.
  std::string dir(const std::string& name) {
    std::string path = network_.root() + "/" + name;
    mkdir(path.c_str(), 0777);
    return path;
  }
};

TEST_F(ProcessTest, ChildGetsTheExactCommandLineAndItsSplit) {
  std::string line = "\"" + probe_ + "\"   cmdline  \"two  blanks\" \\\"q\\\" tail\\ ";
  ChildResult r = run_child(line);
  ASSERT_TRUE(r.started) << r.error;
  EXPECT_EQ(r.out, "CMDLINE=[" + line + "]\n");
  EXPECT_EQ(r.exit_code, 0u);

  r = run_child(probe_ + " argv \"a b\" c\\\\\"d e\" \"x\"\"y\" \\\\\\\"z");
  EXPECT_EQ(r.out, "ARG 0=[" + probe_ + "]\nARG 1=[argv]\nARG 2=[a b]\nARG 3=[c\\d e]\n" +
                       "ARG 4=[x\"y]\nARG 5=[\\\"z]\n");

  // An application name is the program; the command line goes as it is.
  ChildOptions options;
  options.application = probe_.c_str();
  r = run_child("anything-at-all cmdline", options);
  EXPECT_EQ(r.out, "CMDLINE=[anything-at-all cmdline]\n");
}

TEST_F(ProcessTest, ProgramsAreFoundAsNtFindsThem) {
  std::string tools = dir("my tools");
  ASSERT_EQ(symlink(probe_.c_str(), (tools + "/probe.exe").c_str()), 0);
  // No extension: the name with ".exe" is taken when the name alone is absent.
  ChildResult r = run_child(tools + "/probe cmdline");
  ASSERT_TRUE(r.started) << r.error;
  // Unquoted with a blank in the folder: "…/my" does not exist, "…/my tools/probe" does.
  EXPECT_EQ(r.out, "CMDLINE=[" + tools + "/probe cmdline]\n");
  r = run_child("\"" + tools + "/probe.exe\" cmdline");
  EXPECT_EQ(r.exit_code, 0u);

  // A bare name is searched along PATH, in either separator style.
  NlsEnv env;
  env.set("PATH", ("/nonexistent:" + tools).c_str());
  r = run_child("probe env PATH");
  ASSERT_TRUE(r.started) << r.error;
  env.set("PATH", ("/nonexistent;" + tools).c_str());
  r = run_child("probe cmdline");
  ASSERT_TRUE(r.started) << r.error;
  EXPECT_EQ(r.out, "CMDLINE=[probe cmdline]\n");
  // An application name is not searched along PATH.
  ChildOptions app;
  app.application = "probe";
  r = run_child("probe cmdline", app);
  EXPECT_FALSE(r.started);
  EXPECT_EQ(r.error, ERROR_FILE_NOT_FOUND);

  r = run_child("no-such-program-anywhere x");
  EXPECT_EQ(r.error, ERROR_FILE_NOT_FOUND);
  r = run_child(tools + "/missing-folder/probe");
  EXPECT_EQ(r.error, ERROR_PATH_NOT_FOUND);
  r = run_child("\"" + tools + "\"");
  EXPECT_EQ(r.error, ERROR_ACCESS_DENIED);
  std::string text_file = tools + "/notes.txt";
  std::ofstream(text_file) << "not a program\n";
  chmod(text_file.c_str(), 0755);
  r = run_child("\"" + text_file + "\"");
  EXPECT_EQ(r.error, ERROR_BAD_EXE_FORMAT);
}

TEST_F(ProcessTest, EnvironmentBlockOrTheParents) {
  const char block[] = "ALPHA=1\0BETA=two words\0NT_CMDLINE=999:forged\0";
  ChildOptions options;
  options.environment = const_cast<char*>(block);
  ChildResult r = run_child(probe_ + " envall", options);
  ASSERT_TRUE(r.started) << r.error;
  // Exactly the block, the forged entry replaced by the real one.
  EXPECT_NE(r.out.find("ENV=ALPHA=1\n"), std::string::npos);
  EXPECT_NE(r.out.find("ENV=BETA=two words\n"), std::string::npos);
  EXPECT_EQ(r.out.find("forged"), std::string::npos);
  EXPECT_EQ(r.out.find("ENV=PATH="), std::string::npos);
  EXPECT_NE(r.out.find("ENV=NT_CMDLINE="), std::string::npos);

  const char16_t wide[] = u"WIDE=\u00e9t\u00e9\0";
  options.environment = const_cast<char16_t*>(wide);
  options.flags = CREATE_UNICODE_ENVIRONMENT;
  r = run_child(probe_ + " env WIDE", options);
  EXPECT_EQ(r.out, "ENV WIDE=[\xc3\xa9t\xc3\xa9]\n");

  network_.env().set("PROCESS_TEST_VAR", "from parent");
  r = run_child(probe_ + " env PROCESS_TEST_VAR NT_HANDLES");
  EXPECT_EQ(r.out, "ENV PROCESS_TEST_VAR=[from parent]\nENV NT_HANDLES unset\n");
}

TEST_F(ProcessTest, CurrentDirectory) {
  std::string work = dir("work");
  ChildOptions options;
  options.directory = work.c_str();
  ChildResult r = run_child(probe_ + " cwd", options);
  char real[4096];
  ASSERT_NE(realpath(work.c_str(), real), nullptr);
  EXPECT_EQ(r.out, std::string("CWD=[") + real + "]\n");
  std::string missing = work + "/missing";
  options.directory = missing.c_str();
  r = run_child(probe_ + " cwd", options);
  EXPECT_EQ(r.error, ERROR_DIRECTORY);
  std::string file = work + "/file";
  std::ofstream(file) << "x";
  options.directory = file.c_str();
  r = run_child(probe_ + " cwd", options);
  EXPECT_EQ(r.error, ERROR_DIRECTORY);
}

TEST_F(ProcessTest, StandardHandlesFromFiles) {
  std::string work = dir("stdio");
  std::ofstream(work + "/in.txt") << "hello\nworld\n";
  SECURITY_ATTRIBUTES inheritable{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
  HANDLE in = CreateFileA((work + "/in.txt").c_str(), GENERIC_READ, FILE_SHARE_READ, &inheritable,
                          OPEN_EXISTING, 0, nullptr);
  HANDLE out = CreateFileA((work + "/out.txt").c_str(), GENERIC_WRITE, FILE_SHARE_READ,
                           &inheritable, CREATE_ALWAYS, 0, nullptr);
  HANDLE err = CreateFileA((work + "/err.txt").c_str(), GENERIC_WRITE, FILE_SHARE_READ,
                           &inheritable, CREATE_ALWAYS, 0, nullptr);
  ASSERT_NE(in, INVALID_HANDLE_VALUE);
  ASSERT_NE(out, INVALID_HANDLE_VALUE);
  ASSERT_NE(err, INVALID_HANDLE_VALUE);
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = in;
  startup.hStdOutput = out;
  startup.hStdError = err;
  PROCESS_INFORMATION info{};
  std::string line = probe_ + " cat";
  ASSERT_TRUE(CreateProcessA(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                             &startup, &info));
  ASSERT_EQ(WaitForSingleObject(info.hProcess, 20000), WAIT_OBJECT_0);
  CloseHandle(info.hProcess);
  CloseHandle(info.hThread);
  // A shell writes through the same handles, after what is there.
  line = "/bin/sh -c \"echo to-out; echo to-err 1>&2\"";
  ASSERT_TRUE(CreateProcessA(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                             &startup, &info));
  ASSERT_EQ(WaitForSingleObject(info.hProcess, 20000), WAIT_OBJECT_0);
  CloseHandle(info.hProcess);
  CloseHandle(info.hThread);
  CloseHandle(in);
  CloseHandle(out);
  CloseHandle(err);
  EXPECT_EQ(read_file(work + "/out.txt"), "hello\nworld\nto-out\n");
  EXPECT_EQ(read_file(work + "/err.txt"), "ERRto-err\n");

  // A handle that names no file or pipe is refused; null ones read nothing.
  HANDLE event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  startup.hStdInput = event;
  SetLastError(0);
  EXPECT_FALSE(CreateProcessA(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                              &startup, &info));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
  CloseHandle(event);
  ChildResult r = run_child(probe_ + " cat");
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.exit_code, 0u);
}

TEST_F(ProcessTest, ExitCodesWhileRunningAndAfter) {
  // The child runs until the parent lets it end.
  SECURITY_ATTRIBUTES inheritable{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
  HANDLE release = CreateEventA(&inheritable, TRUE, FALSE, nullptr);
  PROCESS_INFORMATION info{};
  ASSERT_TRUE(start_child(probe_ + " wait-event " + handle_text(release) + " 20000", &info, TRUE));
  DWORD code = 0;
  ASSERT_TRUE(GetExitCodeProcess(info.hProcess, &code));
  EXPECT_EQ(code, STILL_ACTIVE);
  EXPECT_EQ(WaitForSingleObject(info.hProcess, 0), WAIT_TIMEOUT);
  EXPECT_EQ(WaitForSingleObject(info.hThread, 0), WAIT_TIMEOUT);
  ASSERT_TRUE(GetExitCodeThread(info.hThread, &code));
  EXPECT_EQ(code, STILL_ACTIVE);
  EXPECT_EQ(GetProcessId(info.hProcess), info.dwProcessId);
  ASSERT_TRUE(SetEvent(release));
  EXPECT_EQ(WaitForSingleObject(info.hProcess, 20000), WAIT_OBJECT_0);
  EXPECT_EQ(WaitForSingleObject(info.hThread, 0), WAIT_OBJECT_0);
  ASSERT_TRUE(GetExitCodeProcess(info.hProcess, &code));
  EXPECT_EQ(code, 0u);
  // The code stays readable while a handle is open.
  ASSERT_TRUE(GetExitCodeProcess(info.hProcess, &code));
  EXPECT_EQ(code, 0u);
  CloseHandle(info.hProcess);
  CloseHandle(info.hThread);
  CloseHandle(release);

  // ExitProcess codes keep all 32 bits; a plain exit keeps 8.
  EXPECT_EQ(run_child(probe_ + " exit 70000").exit_code, 70000u);
  EXPECT_EQ(run_child(probe_ + " exit 0xFFFFFFFF").exit_code, 0xFFFFFFFFu);
  EXPECT_EQ(run_child(probe_ + " exit 256").exit_code, 256u);
  EXPECT_EQ(run_child(probe_ + " return 300").exit_code, 44u);
  EXPECT_EQ(run_child(probe_ + " return 87").exit_code, 87u);
  EXPECT_EQ(run_child("/bin/sh -c \"exit 3\"").exit_code, 3u);
}

TEST_F(ProcessTest, TerminateProcessCodeReachesEveryWaiter) {
  PROCESS_INFORMATION victim{};
  ASSERT_TRUE(start_child(probe_ + " sleep 20000", &victim));
  // A second process, not the victim's parent, waits for it.
  SECURITY_ATTRIBUTES inheritable{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
  HANDLE read_end, write_end;
  ASSERT_TRUE(CreatePipe(&read_end, &write_end, &inheritable, 0));
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdOutput = write_end;
  PROCESS_INFORMATION waiter{};
  std::string line = probe_ + " wait-process " + std::to_string(victim.dwProcessId) + " 20000";
  ASSERT_TRUE(CreateProcessA(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                             &startup, &waiter));
  CloseHandle(write_end);
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  ASSERT_TRUE(TerminateProcess(victim.hProcess, 1234));
  std::string out;
  char buffer[256];
  DWORD got;
  while (ReadFile(read_end, buffer, sizeof buffer, &got, nullptr) && got > 0) out.append(buffer, got);
  CloseHandle(read_end);
  EXPECT_EQ(out, "WAIT=0 EXIT=1234\n");
  ASSERT_EQ(WaitForSingleObject(victim.hProcess, 20000), WAIT_OBJECT_0);
  DWORD code = 0;
  ASSERT_TRUE(GetExitCodeProcess(victim.hProcess, &code));
  EXPECT_EQ(code, 1234u);
  ASSERT_TRUE(GetExitCodeThread(victim.hThread, &code));
  EXPECT_EQ(code, 1234u);
  // An ended process cannot be terminated.
  SetLastError(0);
  EXPECT_FALSE(TerminateProcess(victim.hProcess, 1));
  EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);

  // A waiter that opens the process after the parent reaped it: its id is
  // gone.
  ChildResult late = run_child(probe_ + " wait-process " + std::to_string(victim.dwProcessId) + " 0");
  EXPECT_EQ(late.out, "OPEN-ERROR=87\n");
  for (HANDLE h : {victim.hProcess, victim.hThread, waiter.hProcess, waiter.hThread}) CloseHandle(h);
}

TEST_F(ProcessTest, OpenProcessWaitsForAnyProcess) {
  PROCESS_INFORMATION child{};
  ASSERT_TRUE(start_child(probe_ + " exit 70001", &child));
  HANDLE opened = OpenProcess(SYNCHRONIZE, FALSE, child.dwProcessId);
  ASSERT_NE(opened, nullptr);
  EXPECT_EQ(WaitForSingleObject(opened, 20000), WAIT_OBJECT_0);
  DWORD code = 0;
  ASSERT_TRUE(GetExitCodeProcess(opened, &code));
  EXPECT_EQ(code, 70001u);
  CloseHandle(opened);
  CloseHandle(child.hProcess);
  CloseHandle(child.hThread);

  // This process itself: running, never signalled.
  HANDLE self = OpenProcess(SYNCHRONIZE, FALSE, GetCurrentProcessId());
  ASSERT_NE(self, nullptr);
  EXPECT_EQ(GetProcessId(self), GetCurrentProcessId());
  EXPECT_EQ(WaitForSingleObject(self, 10), WAIT_TIMEOUT);
  EXPECT_EQ(WaitForSingleObject(GetCurrentProcess(), 0), WAIT_TIMEOUT);
  ASSERT_TRUE(GetExitCodeProcess(GetCurrentProcess(), &code));
  EXPECT_EQ(code, STILL_ACTIVE);
  CloseHandle(self);

  SetLastError(0);
  EXPECT_EQ(OpenProcess(SYNCHRONIZE, FALSE, 0), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  SetLastError(0);
  EXPECT_EQ(OpenProcess(SYNCHRONIZE, FALSE, 0x7FFFFFF0), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
}

TEST_F(ProcessTest, SignalsMapToNtExitCodes) {
  struct Case {
    const char* signal;
    DWORD code;
  } cases[] = {{"SEGV", 0xC0000005u}, {"BUS", 0xC0000005u}, {"ILL", 0xC000001Du},
               {"FPE", 0xC0000094u},  {"INT", 0xC000013Au}, {"ABRT", 3},
               {"TERM", 1067},        {"KILL", 1067},       {"HUP", 1067}};
  for (const Case& c : cases) {
    ChildResult r = run_child(std::string("/bin/sh -c \"ulimit -c 0; kill -") + c.signal + " $$\"");
    ASSERT_TRUE(r.started) << r.error;
    EXPECT_EQ(r.exit_code, c.code) << c.signal;
  }
}

TEST_F(ProcessTest, EventHandleOnTheCommandLine) {
  SECURITY_ATTRIBUTES inheritable{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
  HANDLE done = CreateEventA(&inheritable, TRUE, FALSE, nullptr);
  ChildOptions inherit;
  inherit.inherit = TRUE;
  // The child signals, the parent sees it.
  ChildResult r = run_child(probe_ + " set-event " + handle_text(done), inherit);
  EXPECT_EQ(r.exit_code, 0u);
  EXPECT_EQ(WaitForSingleObject(done, 0), WAIT_OBJECT_0);

  // The parent signals, the child sees it; an auto-reset event taken by the
  // child is taken for the parent too.
  HANDLE go = CreateEventA(&inheritable, FALSE, FALSE, nullptr);
  ResetEvent(done);
  PROCESS_INFORMATION child{};
  ASSERT_TRUE(start_child(probe_ + " set-wait " + handle_text(done) + " " + handle_text(go) +
                              " 20000",
                          &child, TRUE));
  ASSERT_EQ(WaitForSingleObject(done, 20000), WAIT_OBJECT_0);  // the child runs
  ASSERT_TRUE(SetEvent(go));
  ASSERT_EQ(WaitForSingleObject(child.hProcess, 20000), WAIT_OBJECT_0);
  DWORD code = 99;
  GetExitCodeProcess(child.hProcess, &code);
  EXPECT_EQ(code, WAIT_OBJECT_0);
  EXPECT_EQ(WaitForSingleObject(go, 0), WAIT_TIMEOUT);
  CloseHandle(child.hProcess);
  CloseHandle(child.hThread);

  // Without inheritance the number names nothing in the child.
  r = run_child(probe_ + " set-event " + handle_text(done));
  EXPECT_EQ(r.exit_code, ERROR_INVALID_HANDLE);
  // A wait that times out in the child.
  r = run_child(probe_ + " wait-event " + handle_text(go) + " 50", inherit);
  EXPECT_EQ(r.exit_code, WAIT_TIMEOUT);
  CloseHandle(go);
  CloseHandle(done);
}

TEST_F(ProcessTest, OnlyInheritableHandlesCross) {
  SECURITY_ATTRIBUTES inheritable{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
  HANDLE kept = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  HANDLE event = CreateEventA(&inheritable, TRUE, FALSE, nullptr);
  HANDLE semaphore = CreateSemaphoreA(&inheritable, 1, 1, nullptr);
  std::string file_path = dir("handles") + "/f.txt";
  HANDLE file = CreateFileA(file_path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, &inheritable,
                            CREATE_ALWAYS, 0, nullptr);
  HANDLE self = OpenProcess(SYNCHRONIZE, TRUE, GetCurrentProcessId());
  ChildOptions inherit;
  inherit.inherit = TRUE;
  ChildResult r = run_child(probe_ + " handles", inherit);
  ASSERT_TRUE(r.started);
  EXPECT_NE(r.out.find("HANDLE " + handle_text(event) + " event inherit=1\n"), std::string::npos)
      << r.out;
  EXPECT_NE(r.out.find("HANDLE " + handle_text(file) + " file inherit=1\n"), std::string::npos);
  EXPECT_NE(r.out.find("HANDLE " + handle_text(self) + " process inherit=1\n"), std::string::npos);
  EXPECT_EQ(r.out.find("HANDLE " + handle_text(kept) + " "), std::string::npos);
  EXPECT_EQ(r.out.find("HANDLE " + handle_text(semaphore) + " "), std::string::npos);

  // The inherited file is the same open file.
  r = run_child(probe_ + " write " + handle_text(file) + " through-the-handle", inherit);
  EXPECT_EQ(r.exit_code, 0u);
  EXPECT_EQ(read_file(file_path), "through-the-handle");

  r = run_child(probe_ + " handles");
  EXPECT_EQ(r.out, "");
  for (HANDLE h : {kept, event, semaphore, file, self}) CloseHandle(h);
}

TEST_F(ProcessTest, SuspendedChildAndDuplicateHandle) {
  HANDLE event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  PROCESS_INFORMATION child{};
  // The child will find the duplicate at 4: its table starts empty.
  ASSERT_TRUE(start_child(probe_ + " set-event 4", &child, FALSE, CREATE_SUSPENDED));
  HANDLE in_child = nullptr;
  ASSERT_TRUE(DuplicateHandle(GetCurrentProcess(), event, child.hProcess, &in_child, 0, FALSE,
                              DUPLICATE_SAME_ACCESS));
  EXPECT_EQ(reinterpret_cast<uintptr_t>(in_child), 4u);
  // The room for handles passed this way is bounded (8 KB of NT_HANDLES
  // text): past it the call fails cleanly and the child is unharmed.
  HANDLE filler = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  DWORD passed = 0, error = 0;
  for (int i = 0; i < 2000 && error == 0; ++i) {
    HANDLE value = nullptr;
    if (DuplicateHandle(GetCurrentProcess(), filler, child.hProcess, &value, 0, TRUE,
                        DUPLICATE_SAME_ACCESS)) {
      EXPECT_EQ(reinterpret_cast<uintptr_t>(value), 8u + 4 * passed);
      ++passed;
    } else {
      error = GetLastError();
    }
  }
  EXPECT_EQ(error, ERROR_NOT_ENOUGH_MEMORY);
  EXPECT_GT(passed, 300u);
  CloseHandle(filler);
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_TIMEOUT);  // it has not run
  DWORD code = 0;
  ASSERT_TRUE(GetExitCodeProcess(child.hProcess, &code));
  EXPECT_EQ(code, STILL_ACTIVE);
  EXPECT_EQ(ResumeThread(child.hThread), 1u);
  ASSERT_EQ(WaitForSingleObject(child.hProcess, 20000), WAIT_OBJECT_0);
  ASSERT_TRUE(GetExitCodeProcess(child.hProcess, &code));
  EXPECT_EQ(code, 0u);
  EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_OBJECT_0);
  EXPECT_EQ(ResumeThread(child.hThread), 0u);
  // A running (here: ended) child takes no handles.
  SetLastError(0);
  EXPECT_FALSE(DuplicateHandle(GetCurrentProcess(), event, child.hProcess, &in_child, 0, FALSE,
                               DUPLICATE_SAME_ACCESS));
  EXPECT_EQ(GetLastError(), ERROR_NOT_SUPPORTED);
  CloseHandle(child.hProcess);
  CloseHandle(child.hThread);

  // A suspended child whose handles all close ends without running (and
  // is reaped): no process is left behind waiting for ever.
  ASSERT_TRUE(start_child(probe_ + " set-event 4", &child, FALSE, CREATE_SUSPENDED));
  pid_t pid = static_cast<pid_t>(child.dwProcessId);
  CloseHandle(child.hProcess);
  CloseHandle(child.hThread);
  bool gone = false;
  for (int i = 0; i < 200 && !gone; ++i) {
    gone = kill(pid, 0) != 0 && errno == ESRCH;
    if (!gone) std::this_thread::sleep_for(std::chrono::milliseconds(25));
  }
  EXPECT_TRUE(gone);
  CloseHandle(event);
}

TEST_F(ProcessTest, DuplicateHandleWithinTheProcess) {
  HANDLE event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  HANDLE copy = nullptr;
  ASSERT_TRUE(DuplicateHandle(GetCurrentProcess(), event, GetCurrentProcess(), &copy, 0, TRUE,
                              DUPLICATE_SAME_ACCESS));
  EXPECT_NE(copy, event);
  DWORD flags = 0;
  ASSERT_TRUE(GetHandleInformation(copy, &flags));
  EXPECT_EQ(flags, HANDLE_FLAG_INHERIT);
  SetEvent(copy);
  EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_OBJECT_0);  // one event
  HANDLE moved = nullptr;
  ASSERT_TRUE(DuplicateHandle(GetCurrentProcess(), copy, GetCurrentProcess(), &moved, 0, FALSE,
                              DUPLICATE_SAME_ACCESS | DUPLICATE_CLOSE_SOURCE));
  EXPECT_EQ(WaitForSingleObject(copy, 0), WAIT_FAILED);  // the source is closed
  EXPECT_EQ(WaitForSingleObject(moved, 0), WAIT_OBJECT_0);

  // Pseudo handles become real ones.
  HANDLE me = nullptr;
  ASSERT_TRUE(DuplicateHandle(GetCurrentProcess(), GetCurrentProcess(), GetCurrentProcess(), &me,
                              0, FALSE, DUPLICATE_SAME_ACCESS));
  EXPECT_NE(me, GetCurrentProcess());
  EXPECT_EQ(GetProcessId(me), GetCurrentProcessId());
  HANDLE thread = nullptr;
  ASSERT_TRUE(DuplicateHandle(GetCurrentProcess(), GetCurrentThread(), GetCurrentProcess(),
                              &thread, 0, FALSE, DUPLICATE_SAME_ACCESS));
  EXPECT_EQ(GetThreadId(thread), GetCurrentThreadId());

  SetLastError(0);
  EXPECT_FALSE(DuplicateHandle(GetCurrentProcess(), reinterpret_cast<HANDLE>(4 * 9999),
                               GetCurrentProcess(), &copy, 0, FALSE, 0));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
  SetLastError(0);
  EXPECT_FALSE(DuplicateHandle(GetCurrentProcess(), event, event, &copy, 0, FALSE, 0));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);  // an event is no process
  for (HANDLE h : {event, moved, me, thread}) CloseHandle(h);
}

TEST_F(ProcessTest, StartupInformationReachesTheChild) {
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  startup.lpDesktop = const_cast<char*>("WinSta0\\Default");
  startup.lpTitle = const_cast<char*>("ZEB:nightly: backup");
  startup.dwFlags = STARTF_USESHOWWINDOW | STARTF_USEPOSITION;
  startup.wShowWindow = SW_SHOWMINNOACTIVE;
  startup.dwX = 10;
  startup.dwY = 20;
  ChildOptions options;
  options.startup = &startup;
  options.flags = CREATE_NEW_CONSOLE | CREATE_NEW_PROCESS_GROUP | NORMAL_PRIORITY_CLASS |
                  CREATE_DEFAULT_ERROR_MODE | CREATE_SEPARATE_WOW_VDM;
  ChildResult r = run_child(probe_ + " startup", options);
  ASSERT_TRUE(r.started) << r.error;
  EXPECT_EQ(r.out,
            "DESKTOP=[WinSta0\\Default]\nTITLE=[ZEB:nightly: backup]\n"
            "FLAGS=261 SHOW=7 X=10 Y=20 XSIZE=0 YSIZE=0\n");
  STARTUPINFOA plain{};
  plain.cb = sizeof plain;
  options.startup = &plain;
  options.flags = DETACHED_PROCESS | IDLE_PRIORITY_CLASS;
  r = run_child(probe_ + " startup", options);
  EXPECT_EQ(r.out, "DESKTOP=[(null)]\nTITLE=[(null)]\nFLAGS=256 SHOW=0 X=0 Y=0 XSIZE=0 YSIZE=0\n");

  // This test program was not started by the layer: all zero.
  STARTUPINFOA mine;
  GetStartupInfoA(&mine);
  EXPECT_EQ(mine.cb, sizeof mine);
  EXPECT_EQ(mine.lpDesktop, nullptr);
  EXPECT_EQ(mine.dwFlags, 0u);
}

TEST_F(ProcessTest, GroupsSessionsAndPriority) {
  int base = getpriority(PRIO_PROCESS, 0);
  ChildOptions options;
  ChildResult r = run_child(probe_ + " ids", options);
  EXPECT_EQ(r.out, "GROUP=0 SESSION=0 NICE=" + std::to_string(base) + "\n");
  options.flags = CREATE_NEW_PROCESS_GROUP | BELOW_NORMAL_PRIORITY_CLASS;
  r = run_child(probe_ + " ids", options);
  EXPECT_EQ(r.out, "GROUP=1 SESSION=0 NICE=" + std::to_string(std::min(base + 5, 19)) + "\n");
  options.flags = DETACHED_PROCESS | CREATE_NEW_PROCESS_GROUP | IDLE_PRIORITY_CLASS;
  r = run_child(probe_ + " ids", options);
  EXPECT_EQ(r.out, "GROUP=1 SESSION=1 NICE=19\n");
  // Higher classes need privileges: accepted, no change.
  options.flags = HIGH_PRIORITY_CLASS;
  r = run_child(probe_ + " ids", options);
  EXPECT_EQ(r.out, "GROUP=0 SESSION=0 NICE=" + std::to_string(base) + "\n");
}

TEST_F(ProcessTest, RefusedCreations) {
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info{};
  std::string line = probe_ + " cmdline";
  SetLastError(0);
  EXPECT_FALSE(CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                              nullptr, &info));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  SetLastError(0);
  EXPECT_FALSE(CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE,
                              DETACHED_PROCESS | CREATE_NEW_CONSOLE, nullptr, nullptr, &startup,
                              &info));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
}

TEST_F(ProcessTest, StandardHandles) {
  HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
  ASSERT_NE(out, INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetStdHandle(STD_OUTPUT_HANDLE), out);
  EXPECT_NE(GetStdHandle(STD_ERROR_HANDLE), out);
  ASSERT_TRUE(CloseHandle(out));
  // Closing the handle left the stream open; a new handle works.
  HANDLE again = GetStdHandle(STD_OUTPUT_HANDLE);
  ASSERT_NE(again, INVALID_HANDLE_VALUE);
  DWORD written = 0;
  EXPECT_TRUE(WriteFile(again, "", 0, &written, nullptr));
  SetLastError(0);
  EXPECT_EQ(GetStdHandle(5), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
}

}  // namespace
