// The POSIX stand-ins that need a process of their own: control events,
// which end it, and writes that must deliver every byte.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <pty.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <functional>
#include <string>

#include "platform/platform.h"

namespace huecast {
namespace {

int ReportPipe = -1;

// Runs a check in a child process, so that it may change the process's
// descriptors and signals, and tells whether the check held there.
bool HoldsInAChild(const std::function<bool()>& check) {
  const pid_t child = fork();
  if (child == 0) _exit(check() ? 0 : 1);
  int status = 0;
  waitpid(child, &status, 0);
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

BOOL RecordEvent(DWORD event) {
  const char report = static_cast<char>(event);
  if (write(ReportPipe, &report, 1) != 1) _exit(90);
  return TRUE;
}

// Each signal reaches the routine as its event; handled, the process goes
// on. Unhandled, the signal then ends the process, as the tool's runs show
// (Signals.SentWhileOutputIsBlocked).
TEST(ControlEvents, RoutineSeesTheEventAndAHandledOneLetsTheProcessGoOn) {
  const struct {
    int signalNumber;
    DWORD event;
  } cases[] = {{SIGINT, CTRL_C_EVENT},
               {SIGQUIT, CTRL_BREAK_EVENT},
               {SIGHUP, CTRL_CLOSE_EVENT},
               {SIGTERM, CTRL_SHUTDOWN_EVENT}};
  for (const auto& c : cases) {
    SCOPED_TRACE(strsignal(c.signalNumber));
    int report[2];
    ASSERT_EQ(pipe(report), 0);
    // The one byte reported fits in the pipe, so the child ends before it is read.
    EXPECT_TRUE(HoldsInAChild([&c, &report] {
      // A signal that the test run inherited as ignored would be left alone.
      signal(c.signalNumber, SIG_DFL);
      close(report[0]);
      ReportPipe = report[1];
      SetConsoleCtrlHandler(RecordEvent, TRUE);
      kill(getpid(), c.signalNumber);
      return true;
    })) << "the process did not go on";
    close(report[1]);
    char got = 0;
    EXPECT_EQ(read(report[0], &got, 1), 1);
    close(report[0]);
    EXPECT_EQ(static_cast<DWORD>(got), c.event);
  }
}

TEST(WriteFile, DeliversEveryByteThroughPartialWrites) {
  int channel[2];
  ASSERT_EQ(pipe(channel), 0);
  const std::string data = [] {
    std::string text;
    for (int i = 0; i < 1 << 20; ++i) text.push_back(static_cast<char>('a' + i % 26));
    return text;
  }();
  const pid_t child = fork();
  if (child == 0) {
    close(channel[0]);
    // A non-blocking pipe makes the writes partial and sometimes refused.
    fcntl(channel[1], F_SETFL, O_NONBLOCK);
    dup2(channel[1], STDOUT_FILENO);
    DWORD written = 0;
    const BOOL ok = WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), data.data(),
                              static_cast<DWORD>(data.size()), &written, nullptr);
    _exit(ok && written == data.size() ? 0 : 1);
  }
  close(channel[1]);
  std::string received;
  char buffer[4096];
  ssize_t got;
  while ((got = read(channel[0], buffer, sizeof buffer)) > 0) {
    received.append(buffer, static_cast<std::size_t>(got));
    usleep(received.size() % 65536 < 4096 ? 2000 : 0);  // a slow reader now and then
  }
  close(channel[0]);
  int status = 0;
  waitpid(child, &status, 0);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  EXPECT_EQ(received, data);
}

TEST(StandardHandles, ClosedDescriptorGivesAHandleEveryCallRejects) {
  EXPECT_TRUE(HoldsInAChild([] {
    close(STDOUT_FILENO);
    const HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE);
    DWORD written = 0;
    return WriteFile(output, "x", 1, &written, nullptr) == FALSE &&
           WriteConsoleW(output, u"x", 1, &written, nullptr) == FALSE &&
           SetConsoleTextAttribute(output, 0x1E) == FALSE && FlushFileBuffers(output) == FALSE;
  }));
}

// Whether a handle is a terminal is asked once, and asked again once the
// handle is closed, since its descriptor may come back as another file, and
// in each run.
TEST(StandardHandles, TerminalIsAskedAgainAfterCloseAndInANewRun) {
  EXPECT_TRUE(HoldsInAChild([] {
    int ends[2];
    int master = -1;
    int terminal = -1;
    if (pipe(ends) != 0 || openpty(&master, &terminal, nullptr, nullptr, nullptr) != 0) {
      return false;
    }
    dup2(ends[1], STDOUT_FILENO);
    const HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE);
    DWORD written = 0;
    const bool pipeRefused = WriteConsoleW(output, u"x", 1, &written, nullptr) == FALSE;
    CloseHandle(output);
    dup2(terminal, STDOUT_FILENO);
    const bool terminalTaken = WriteConsoleW(output, u"x", 1, &written, nullptr) != FALSE;
    dup2(ends[1], STDOUT_FILENO);
    ZeroPlatformRecords();
    const bool pipeRefusedAgain = WriteConsoleW(output, u"x", 1, &written, nullptr) == FALSE;
    return pipeRefused && terminalTaken && pipeRefusedAgain;
  }));
}

}  // namespace
}  // namespace huecast
