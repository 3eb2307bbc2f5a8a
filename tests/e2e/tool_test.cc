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

// How much slower than a plain build this one runs the tool.
constexpr double kSlowdown = HUECAST_SLOWDOWN;

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
    // Each argument stays one parameter, whatever double quotes it holds.
    {"QuotesAlone", {"0A", "\"", "07", "\"\""}, "\"\"\"\r\n", 0},
    {"QuotesLeadingAndTrailing", {"0A", "\"x", "07", "y\""}, "\"xy\"\r\n", 0},
    {"QuotesInsideWithSpaces",
     {"0A", "say \"hi there\"", "07", "end"},
     "say \"hi there\"end\r\n",
     0},
    {"QuotesNextToApostrophes", {"0A", "''\"", "07", "\"'''"}, "\"\"\"\"'\r\n", 0},
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

struct ColourSettingCase {
  const char* name;
  const char* setting;  // the environment entry
  Arguments arguments;
  std::string bytes;
  int exitCode;
};

const ColourSettingCase kColourSettingCases[] = {
    {"NoColour", "NO_COLOR=1", {"1E", "Hello", "07", " ok"}, "Hello ok\r\n", 0},
    {"NoColourRejectedCode", "NO_COLOR=1", {"1E", "a", "77", "x"}, "ax\r\n", 1},
    {"NoColourUtf8", "NO_COLOR=yes", {"0A", "héllo € 😀"}, "héllo € 😀\r\n", 0},
    {"DumbTerminal", "TERM=dumb", {"1E", "Hello", "07", " ok"}, "Hello ok\r\n", 0},
    {"DumbTerminalRejectedCode", "TERM=dumb", {"77", "x"}, "x\r\n", 1},
    {"DumbTerminalHelp", "TERM=dumb", {}, kHelp, 255},
    {"EmptyNoColourKeepsColours",
     "NO_COLOR=",
     {"1E", "Hello", "07", " ok"},
     "\x1b[93;44mHello\x1b[0m ok\r\n",
     0},
};

class ColourSetting : public ::testing::TestWithParam<ColourSettingCase> {};

TEST_P(ColourSetting, DecidesWhetherTheTerminalGetsEscapeSequences) {
  const ColourSettingCase& c = GetParam();
  const ToolRun run =
      RunTool(c.arguments, OutputKind::kTerminal, {.program = {}, .environment = {c.setting}});
  EXPECT_EQ(run.output, c.bytes);
  EXPECT_EQ(run.exitCode, c.exitCode);
}

INSTANTIATE_TEST_SUITE_P(Cases, ColourSetting, ::testing::ValuesIn(kColourSettingCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(ColourSetting, RedirectedOutputIsTheSame) {
  const ToolRun run = RunTool({"1E", "Hello", "77", "x"}, OutputKind::kFile,
                              {.program = {}, .environment = {"NO_COLOR=1", "TERM=dumb"}});
  EXPECT_EQ(run.output, Utf16Le("Hellox\r\n"));
  EXPECT_EQ(run.exitCode, 1);
}

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
    // The write past the limit fails; no signal ends the run.
    {"FileSizeLimit", {"1E", std::string(kSmallFileLimit, 'x')}, OutputKind::kSmallFile, 2},
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

struct BlockedRun {
  std::size_t bytes;  // bytes read from the pipe
  int exitCode;       // -1 when ended by a signal
  int signal;         // the signal that ended it, 0 for a normal exit
};

// Starts the tool writing a text larger than a pipe holds into a pipe that
// nobody reads, with the signal ignored or at its default, sends the signal
// once the tool is blocked, then reads the pipe to its end.
BlockedRun SignalWhileBlocked(int signalNumber, bool ignored) {
  BlockedRun run{};
  int output[2];
  if (pipe(output) != 0) return run;
  // A command line holds less than a pipe's usual 64 KiB, so the pipe is made small.
  fcntl(output[1], F_SETPIPE_SZ, 4096);
  const std::string big(30000, 'x');
  const pid_t child = fork();
  if (child == 0) {
    signal(signalNumber, ignored ? SIG_IGN : SIG_DFL);
    dup2(output[1], STDOUT_FILENO);
    close(output[0]);
    close(output[1]);
    execl(ToolPath(), ToolPath(), "1E", big.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  close(output[1]);
  usleep(300 * 1000);
  kill(child, signalNumber);
  // Time for the signal to take effect before the pipe is read.
  usleep(100 * 1000);
  char buffer[65536];
  ssize_t got;
  while ((got = read(output[0], buffer, sizeof buffer)) > 0) {
    run.bytes += static_cast<std::size_t>(got);
  }
  int status = 0;
  waitpid(child, &status, 0);
  close(output[0]);
  run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  run.signal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
  return run;
}

// 30000 units and CR LF, as UTF-16.
constexpr std::size_t kBlockedRunBytes = 60004;

TEST(Signals, EndTheProcessByTheSignalWhileOutputIsBlocked) {
  for (int signalNumber : {SIGHUP, SIGINT, SIGTERM}) {
    const BlockedRun run = SignalWhileBlocked(signalNumber, false);
    EXPECT_EQ(run.signal, signalNumber) << strsignal(signalNumber);
    EXPECT_LT(run.bytes, kBlockedRunBytes) << strsignal(signalNumber);
  }
}

// As under nohup or after trap '' INT: the run goes on undisturbed.
TEST(Signals, IgnoredByTheParentTheyLeaveTheRunAlone) {
  for (int signalNumber : {SIGHUP, SIGINT, SIGQUIT, SIGTERM}) {
    const BlockedRun run = SignalWhileBlocked(signalNumber, true);
    EXPECT_EQ(run.signal, 0) << strsignal(signalNumber);
    EXPECT_EQ(run.exitCode, 0) << strsignal(signalNumber);
    EXPECT_EQ(run.bytes, kBlockedRunBytes) << strsignal(signalNumber);
  }
}

TEST(ProgramPath, QuoteAndSpaceInItShiftNoParameter) {
  char directory[] = "/tmp/huecast-e2e-XXXXXX";
  ASSERT_NE(mkdtemp(directory), nullptr);
  const std::string link = std::string(directory) + "/p\" 07 \"q";
  ASSERT_EQ(symlink(ToolPath(), link.c_str()), 0);
  const ToolRun run =
      RunTool({"0A", "a", "07", "b"}, OutputKind::kFile, {.program = link, .environment = {}});
  unlink(link.c_str());
  rmdir(directory);
  EXPECT_EQ(run.output, Utf16Le("ab\r\n"));
  EXPECT_EQ(run.exitCode, 0);
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
  EXPECT_LT(run.seconds, 5.0 * kSlowdown);
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
  // A double quote costs the two apostrophes that carry it.
  const ToolRun quotes = RunTool({"0", std::string(16383, '"')}, OutputKind::kPipe);
  EXPECT_EQ(quotes.exitCode, 206);
  EXPECT_EQ(quotes.errors, kMessage);
  const ToolRun fits = RunTool({"0", std::string(16382, '"')}, OutputKind::kFile);
  EXPECT_EQ(fits.exitCode, 0);
  EXPECT_EQ(fits.output, Utf16Le(std::string(16382, '"') + "\r\n"));
  // The limit counts UTF-16 units, not bytes: 16383 three-byte characters fit.
  std::string euros;
  for (int i = 0; i < 16383; ++i) euros += "€";
  EXPECT_EQ(RunTool({"0", euros}, OutputKind::kFile).exitCode, 0);
}

}  // namespace
}  // namespace huecast
