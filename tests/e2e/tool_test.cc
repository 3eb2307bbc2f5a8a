// The built tool, run as a user runs it: exact bytes on files, pipes and
// terminals, exit codes, output failures, signals and command-line limits.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "e2e/run_tool.h"

namespace huecast {
namespace {

using Arguments = std::vector<std::string>;

const std::string kHelp =
    "Huecast 2.1 /x64 by Quillford:\r\n"
    "Change console color & output \"string\"\r\n"
    "Syntax: \r\n"
    "    Huecast ColorCode [\"string\"] [ColorCode [\"string\"] ...]\r\n"
    "For color codes see: Color /?\r\n"
    "Strings in double quote marks; see Demo.cmd\r\n"
    "\r\n";

struct RedirectedCase {
  const char* name;
  Arguments arguments;
  std::string text;  // UTF-8 of what arrives as UTF-16LE
  int exitCode;
};

const RedirectedCase kRedirectedCases[] = {
    {"Help", {}, kHelp, 255},
    {"HelpRequest", {"/?"}, kHelp, 255},
    {"EmptyFirstParameter", {"", "1E", "x"}, kHelp, 255},
    {"TypicalCall", {"1E", "Hello", "07", "''ok''"}, "Hello\"ok\"\r\n", 0},
    {"QuickStart", {"1E", " Hello, ", "0A", "world"}, " Hello, world\r\n", 0},
    {"RejectedCode", {"77", "x"}, "x\r\n", 1},
    {"CodeWithoutString", {"1E"}, "", 0},
    {"ZeroCodeEmptyStringEnds", {"00", "", "1E", "x"}, "", 0},
    {"Apostrophes", {"0", "'''", "0", "''''"}, "\"'\"\"\r\n", 0},
    {"NonAscii", {"0", "héllo € 😀"}, "héllo € 😀\r\n", 0},
    {"SpacesAndTabsKept", {"0", " a\tb "}, " a\tb \r\n", 0},
    {"Backslashes", {"0", "C:\\dir\\"}, "C:\\dir\\\r\n", 0},
};

class RedirectedOutput : public ::testing::TestWithParam<RedirectedCase> {};

TEST_P(RedirectedOutput, FileGetsRawUtf16WithoutByteOrderMark) {
  const RedirectedCase& c = GetParam();
  const ToolRun run = RunTool(c.arguments, OutputKind::kFile);
  EXPECT_EQ(run.output, Utf16Le(c.text));
  EXPECT_EQ(run.exitCode, c.exitCode);
  EXPECT_EQ(run.errors, "");
}

TEST_P(RedirectedOutput, PipeGetsTheSameBytes) {
  const RedirectedCase& c = GetParam();
  const ToolRun run = RunTool(c.arguments, OutputKind::kPipe);
  EXPECT_EQ(run.output, Utf16Le(c.text));
  EXPECT_EQ(run.exitCode, c.exitCode);
}

INSTANTIATE_TEST_SUITE_P(Cases, RedirectedOutput, ::testing::ValuesIn(kRedirectedCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(RedirectedOutput, TypicalCallBytesExactly) {
  const ToolRun run = RunTool({"1E", "Hello", "07", "''ok''"}, OutputKind::kFile);
  const std::string expected("H\0e\0l\0l\0o\0\"\0o\0k\0\"\0\r\0\n\0", 22);
  EXPECT_EQ(run.output, expected);
}

struct TerminalCase {
  const char* name;
  Arguments arguments;
  std::string bytes;  // exactly what the terminal receives
  int exitCode;
};

const TerminalCase kTerminalCases[] = {
    {"ColoursBeforeEachString", {"1E", "Hello", "07", " ok"}, "\x1b[93;44mHello\x1b[0m ok\r\n", 0},
    // Nothing resets the colour at exit: the terminal keeps it.
    {"LastColourStays", {"1E", "Hello"}, "\x1b[93;44mHello\r\n", 0},
    {"BrightBackground", {"A0", "x"}, "\x1b[30;102mx\r\n", 0},
    {"RejectedCodeSendsNothing", {"77", "x"}, "x\r\n", 1},
    {"Utf8Text", {"0", "héllo € 😀"}, "héllo € 😀\r\n", 0},
    {"CodeWithoutStringStillColours", {"1E"}, "\x1b[93;44m", 0},
    {"Help", {}, kHelp, 255},
};

class TerminalOutput : public ::testing::TestWithParam<TerminalCase> {};

TEST_P(TerminalOutput, ShowsColoursAndUtf8) {
  const TerminalCase& c = GetParam();
  const ToolRun run = RunTool(c.arguments, OutputKind::kTerminal);
  EXPECT_EQ(run.output, c.bytes);
  EXPECT_EQ(run.exitCode, c.exitCode);
}

INSTANTIATE_TEST_SUITE_P(Cases, TerminalOutput, ::testing::ValuesIn(kTerminalCases),
                         [](const auto& info) { return std::string(info.param.name); });

struct FailureCase {
  const char* name;
  Arguments arguments;
  OutputKind output;
  int exitCode;
};

const FailureCase kFailureCases[] = {
    {"FullDevice", {"1E", "x"}, OutputKind::kDevFull, 2},
    {"FullDeviceAndRejectedCode", {"77", "x"}, OutputKind::kDevFull, 3},
    {"ClosedOutput", {"1E", "x"}, OutputKind::kClosed, 2},
    {"BrokenPipe", {"1E", "x"}, OutputKind::kBrokenPipe, 2},
    {"HelpOnFullDevice", {}, OutputKind::kDevFull, 255},
    // No string, no output: nothing was lost.
    {"NothingToWrite", {"1E"}, OutputKind::kDevFull, 0},
};

class OutputFailure : public ::testing::TestWithParam<FailureCase> {};

TEST_P(OutputFailure, LostTextIsReportedNotFatal) {
  const FailureCase& c = GetParam();
  const ToolRun run = RunTool(c.arguments, c.output);
  EXPECT_EQ(run.signal, 0);
  EXPECT_EQ(run.exitCode, c.exitCode);
  EXPECT_EQ(run.errors, "");
}

INSTANTIATE_TEST_SUITE_P(Cases, OutputFailure, ::testing::ValuesIn(kFailureCases),
                         [](const auto& info) { return std::string(info.param.name); });

// Starts the tool writing a text larger than a pipe holds into a pipe that
// nobody reads, sends a signal once it is blocked, and reports how it ended.
int SignalWhileBlocked(int signalNumber) {
  int output[2];
  if (pipe(output) != 0) return -1;
  // A command line holds less than a pipe's usual 64 KiB, so the pipe is made small.
  fcntl(output[1], F_SETPIPE_SZ, 4096);
  const std::string big(30000, 'x');
  const pid_t child = fork();
  if (child == 0) {
    dup2(output[1], STDOUT_FILENO);
    close(output[0]);
    close(output[1]);
    execl(ToolPath(), ToolPath(), "1E", big.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  close(output[1]);
  usleep(300 * 1000);
  kill(child, signalNumber);
  int status = 0;
  waitpid(child, &status, 0);
  close(output[0]);
  return WIFSIGNALED(status) ? WTERMSIG(status) : 1000 + WEXITSTATUS(status);
}

TEST(Signals, EndTheProcessByTheSignalWhileOutputIsBlocked) {
  for (int signalNumber : {SIGHUP, SIGINT, SIGTERM}) {
    EXPECT_EQ(SignalWhileBlocked(signalNumber), signalNumber) << strsignal(signalNumber);
  }
}

std::string OneCharacterParameters(int count, Arguments* arguments) {
  std::string expected;
  for (int i = 0; i < count; ++i) {
    // Pairs of the code x (which reads as 0) and the string y.
    arguments->push_back(i % 2 == 0 ? "x" : "y");
    if (i % 2 == 1) expected += "y";
  }
  return expected;
}

TEST(Limits, WindowsSizedCommandLineOfOneCharacterParameters) {
  Arguments arguments;
  const std::string expected = OneCharacterParameters(16383, &arguments) + "\r\n";
  const ToolRun run = RunTool(arguments, OutputKind::kFile);
  EXPECT_EQ(run.exitCode, 0);
  EXPECT_EQ(run.output, Utf16Le(expected));
  // The benchmark holds the real budget; this only catches a runaway scan.
  EXPECT_LT(run.seconds, 5.0);
}

TEST(Limits, OneLongParameterPrintsWhole) {
  const std::string text(32000, 'z');
  const ToolRun run = RunTool({"1E", text}, OutputKind::kFile);
  EXPECT_EQ(run.exitCode, 0);
  EXPECT_EQ(run.output, Utf16Le(text + "\r\n"));
}

TEST(Limits, LongerCommandLineIsRefusedWithNothingOnStandardOutput) {
  const char kMessage[] = "huecast: the command line is too long (more than 32767 UTF-16 units)\n";
  Arguments justOver;
  OneCharacterParameters(16384, &justOver);
  const Arguments refused[] = {
      justOver, {"1E", std::string(40000, 'z')}, {std::string(32767, 'a')}};
  for (const Arguments& arguments : refused) {
    const ToolRun run = RunTool(arguments, OutputKind::kPipe);
    EXPECT_EQ(run.exitCode, 206);
    EXPECT_EQ(run.output, "");
    EXPECT_EQ(run.errors, kMessage);
  }
  // The limit counts UTF-16 units, not bytes: 16383 three-byte characters fit.
  std::string euros;
  for (int i = 0; i < 16383; ++i) euros += "€";
  EXPECT_EQ(RunTool({"0", euros}, OutputKind::kFile).exitCode, 0);
}

}  // namespace
}  // namespace huecast
