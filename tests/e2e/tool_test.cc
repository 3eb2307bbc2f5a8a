// The built tool, run as a user runs it, in what the Windows table cannot
// express: terminals, signals, the file-size limit and POSIX argument lists.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sched.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <string>
#include <vector>

#include "driver/expected_help.h"
#include "e2e/run_tool.h"

namespace huecast {
namespace {

using Arguments = std::vector<std::string>;

const std::string kHelp = Utf8(kHelpScreen);

struct TerminalCase {
  const char* name;
  Arguments arguments;
  std::string bytes;  // exactly what the terminal receives
  int exitCode;
  Arguments environment = {};  // NAME=value entries
};

// The attributes' sequences are AttributeToSgr's table; here they reach the
// terminal, or stay away when the environment asks.
const TerminalCase kTerminalCases[] = {
    {"ColoursBeforeEachString", {"1E", "Hello", "07", " ok"}, "\x1b[93;44mHello\x1b[0m ok\r\n", 0},
    // Nothing resets the colour at exit: the terminal keeps it.
    {"LastColourStays", {"1E", "Hello"}, "\x1b[93;44mHello\r\n", 0},
    {"RejectedCodeSendsNothing", {"77", "x"}, "x\r\n", 1},
    {"Utf8Text", {"0", "héllo € 😀"}, "héllo € 😀\r\n", 0},
    {"CodeWithoutStringStillColours", {"1E"}, "\x1b[93;44m", 0},
    // The text goes out in slices of 1024 units; this pair straddles the first edge.
    {"SurrogatePairAcrossSlices",
     {"07", std::string(1023, '0') + "😀"},
     "\x1b[0m" + std::string(1023, '0') + "😀\r\n",
     0},
    {"Help", {}, kHelp, 255},
    {"NoColour", {"1E", "Hello", "07", " ok"}, "Hello ok\r\n", 0, {"NO_COLOR=1"}},
    {"DumbTerminal", {"1E", "Hello", "07", " ok"}, "Hello ok\r\n", 0, {"TERM=dumb"}},
};

class TerminalOutput : public ::testing::TestWithParam<TerminalCase> {};

TEST_P(TerminalOutput, ShowsColoursAndUtf8) {
  const TerminalCase& c = GetParam();
  const ToolRun run =
      RunTool(c.arguments, OutputKind::kTerminal, {.program = {}, .environment = c.environment});
  EXPECT_EQ(run.output, c.bytes);
  EXPECT_EQ(run.exitCode, c.exitCode);
}

INSTANTIATE_TEST_SUITE_P(Cases, TerminalOutput, ::testing::ValuesIn(kTerminalCases),
                         [](const auto& info) { return std::string(info.param.name); });

// The write past the limit fails, as on a full device; no signal ends the run.
TEST(OutputFailure, FileSizeLimitIsLostTextNotASignal) {
  const ToolRun run = RunTool({"1E", std::string(kSmallFileLimit, 'x')}, OutputKind::kSmallFile);
  EXPECT_EQ(run.signal, 0);
  EXPECT_EQ(run.exitCode, 2);
  EXPECT_EQ(run.errors, "");
}

// How the parent hands a signal to the tool; kNamespaceInit is the default in
// the first process of a new PID namespace, as in a container.
enum class Inherited { kDefault, kIgnored, kBlocked, kNamespaceInit };

struct BlockedRun {
  std::size_t bytes;  // bytes read from the pipe
  int exitCode;       // -1 when ended by a signal
  int signal;         // the signal that ended it, 0 for a normal exit
  double seconds;     // from the signal to the end of the run, while the pipe was still full
};

// How long a run may take to end by a signal: it ought to be at once.
constexpr double kPromptSeconds = 0.5 * HUECAST_TIME_SCALE;

// Starts the tool writing a text larger than a pipe holds into a pipe that
// nobody reads, with the signal as the parent hands it on, sends the signal
// once the pipe is full and the tool blocked, waits up to `wait` seconds for
// the run to end, then reads the pipe to its end.
BlockedRun SignalWhileBlocked(int signalNumber, Inherited inherited, double wait) {
  BlockedRun run{.bytes = 0, .exitCode = 0, .signal = 0, .seconds = -1};
  int output[2];
  if (pipe(output) != 0) return run;
  // A command line holds less than a pipe's usual 64 KiB, so the pipe is made small.
  const int pipeBytes = fcntl(output[1], F_SETPIPE_SZ, 4096);
  const std::string big(30000, 'x');
  // A clone with nothing but its own PID namespace goes on as a fork does.
  const pid_t child =
      inherited == Inherited::kNamespaceInit
          ? static_cast<pid_t>(syscall(SYS_clone, CLONE_NEWPID | SIGCHLD, 0, 0, 0, 0))
          : fork();
  if (child < 0) return run;
  if (child == 0) {
    signal(signalNumber, inherited == Inherited::kIgnored ? SIG_IGN : SIG_DFL);
    sigset_t mask;
    sigemptyset(&mask);
    sigaddset(&mask, signalNumber);
    sigprocmask(inherited == Inherited::kBlocked ? SIG_BLOCK : SIG_UNBLOCK, &mask, nullptr);
    // SIGQUIT's default leaves a core; nobody wants it here.
    const rlimit noCore = {.rlim_cur = 0, .rlim_max = 0};
    setrlimit(RLIMIT_CORE, &noCore);
    dup2(output[1], STDOUT_FILENO);
    close(output[0]);
    close(output[1]);
    execl(ToolPath(), ToolPath(), "1E", big.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  close(output[1]);
  // A full pipe means that the tool's next write blocks; a moment later it is
  // inside it.
  int queued = 0;
  for (int i = 0; i < 10000 && (ioctl(output[0], FIONREAD, &queued) != 0 || queued < pipeBytes);
       ++i) {
    usleep(1000);
  }
  usleep(20 * 1000);
  kill(child, signalNumber);
  const auto sent = std::chrono::steady_clock::now();
  int status = 0;
  pid_t ended = 0;
  double waited = 0;
  while ((ended = waitpid(child, &status, WNOHANG)) == 0 && waited < wait) {
    usleep(1000);
    waited = std::chrono::duration<double>(std::chrono::steady_clock::now() - sent).count();
  }
  if (ended == child) run.seconds = waited;
  // A namespace's first process that does not end may never end on its own.
  if (ended != child && inherited == Inherited::kNamespaceInit) kill(child, SIGKILL);
  char buffer[65536];
  ssize_t got;
  while ((got = read(output[0], buffer, sizeof buffer)) > 0) {
    run.bytes += static_cast<std::size_t>(got);
  }
  if (ended != child) waitpid(child, &status, 0);
  close(output[0]);
  run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  run.signal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
  return run;
}

// 30000 units and CR LF, as UTF-16.
constexpr std::size_t kBlockedRunBytes = 60004;

// At their default the signals end the run at once, as the console's events
// do, though the tool is blocked in a write. Ignored by the parent (nohup,
// trap '' INT) or blocked by it, they leave the run alone, and it completes.
// Linux drops a signal at its default sent to a PID namespace's first
// process, even by itself, so there the tool exits with the status a shell
// reports for death by that signal, and at once; those rows come last.
TEST(Signals, SentWhileOutputIsBlocked) {
  using enum Inherited;
  // clang-format off
  const struct {
    int signalNumber;
    Inherited inherited;
    int exitCode;  // 0: the run completes; -1: the signal ends it
  } cases[] = {
      {SIGHUP, kDefault, -1},  {SIGINT, kDefault, -1},  {SIGQUIT, kDefault, -1},
      {SIGTERM, kDefault, -1}, {SIGHUP, kIgnored, 0},   {SIGINT, kIgnored, 0},
      {SIGQUIT, kIgnored, 0},  {SIGTERM, kIgnored, 0},  {SIGTERM, kBlocked, 0},
      {SIGHUP, kNamespaceInit, 128 + SIGHUP},   {SIGINT, kNamespaceInit, 128 + SIGINT},
      {SIGQUIT, kNamespaceInit, 128 + SIGQUIT}, {SIGTERM, kNamespaceInit, 128 + SIGTERM}};
  // clang-format on
  const char* ci = getenv("CI");
  const bool namespaces = geteuid() == 0 || (ci != nullptr && std::strcmp(ci, "true") == 0);
  for (const auto& c : cases) {
    if (c.inherited == kNamespaceInit && !namespaces) {
      GTEST_SKIP() << "a new PID namespace (CLONE_NEWPID) needs root";
    }
    SCOPED_TRACE(testing::Message() << strsignal(c.signalNumber) << " case " << &c - cases);
    // A run that goes on is given a moment to show that it does not end.
    const bool ends = c.exitCode != 0;
    const BlockedRun run =
        SignalWhileBlocked(c.signalNumber, c.inherited, ends ? kPromptSeconds : 0.1);
    EXPECT_EQ(run.exitCode, c.exitCode);
    EXPECT_EQ(run.signal, c.exitCode == -1 ? c.signalNumber : 0);
    if (ends) {
      EXPECT_GE(run.seconds, 0) << "not ended within " << kPromptSeconds << " s";
      EXPECT_LT(run.bytes, kBlockedRunBytes);
    } else {
      EXPECT_EQ(run.seconds, -1);
      EXPECT_EQ(run.bytes, kBlockedRunBytes);
    }
  }
}

// Returns count one-character parameters: pairs of the code x (which reads as
// 0) and the string y.
Arguments OneCharacterParameters(int count) {
  Arguments arguments;
  for (int i = 0; i < count; ++i) arguments.push_back(i % 2 == 0 ? "x" : "y");
  return arguments;
}

// A command line of up to 32767 UTF-16 units runs; a longer one is refused
// with nothing on standard output. A double quote counts as it is passed on:
// one unit where it stays, two where it travels as ''. "0" and its space take
// 2 units, the separating space 1; a bare argument of N quotes takes N + 1,
// one in double quotes with a space before its N quotes 2N + 3. The limit
// counts units, not bytes: 16383 three-byte characters fit.
TEST(Limits, CommandLinesUpToTheLimitRunAndLongerOnesAreRefused) {
  const std::string quotes(32763, '"');
  const std::string spacedQuotes = " " + std::string(16380, '"');
  std::string euros;
  for (int i = 0; i < 16383; ++i) euros += "€";
  const struct {
    Arguments arguments;
    bool fits;
    std::string printed;  // what a line that fits prints
  } cases[] = {
      {OneCharacterParameters(16383), true, std::string(8191, 'y')},
      {OneCharacterParameters(16384), false, ""},
      {{"1E", std::string(40000, 'z')}, false, ""},
      {{std::string(32767, 'a')}, false, ""},
      {{"0", quotes}, true, quotes},
      {{"0", quotes + '"'}, false, ""},
      {{"0", spacedQuotes}, true, spacedQuotes},
      {{"0", spacedQuotes + '"'}, false, ""},
      {{"0", euros}, true, euros},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "case " << &c - cases);
    const ToolRun run = RunTool(c.arguments, c.fits ? OutputKind::kFile : OutputKind::kPipe);
    EXPECT_EQ(run.exitCode, c.fits ? 0 : 206);
    EXPECT_EQ(run.output, c.fits ? Utf16Le(c.printed + "\r\n") : "");
    EXPECT_EQ(
        run.errors,
        c.fits ? "" : "huecast: the command line is too long (more than 32767 UTF-16 units)\n");
    // The benchmark holds the real budget; this only catches a runaway scan.
    EXPECT_LT(run.seconds, 5.0 * HUECAST_TIME_SCALE);
  }
}

}  // namespace
}  // namespace huecast
