// The Windows table, held against the native build: every case that an
// argument list can express gives the same bytes on a file and a pipe, and
// the same exit codes when the output cannot be written. The unit tests run
// every case on the recording fake, colours included.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "e2e/run_tool.h"
#include "platform/posix/command_line.h"
#include "reference.h"
#include "windows/windows_cases.h"

namespace huecast {
namespace {

// Returns the line the native build hands to the scan for these arguments,
// behind a program path that needs no double quotes.
std::u16string Joined(const std::vector<std::string>& arguments) {
  std::vector<const char*> argv = {"p"};
  for (const std::string& argument : arguments) argv.push_back(argument.c_str());
  const BuiltCommandLine built = BuildCommandLine(static_cast<int>(argv.size()), argv.data());
  std::u16string line = built.units != nullptr ? built.units : u"";
  std::free(built.units);
  return line;
}

constexpr struct {
  CaseOutputs output;
  OutputKind kind;
} kNativeOutputs[] = {
    {kToPipe, OutputKind::kPipe},
    {kToFile, OutputKind::kFile},
    {kToBrokenPipe, OutputKind::kBrokenPipe},
    {kToReadOnly, OutputKind::kReadOnly},
    {kToInvalid, OutputKind::kClosed},
    {kToFullDevice, OutputKind::kDevFull},
};

// The cases an argument list can express; the others need the exact line.
std::vector<WindowsCase> NativeCases() {
  std::vector<WindowsCase> cases;
  for (const WindowsCase& c : kWindowsCases) {
    if (c.exactOnly[0] == 0) cases.push_back(c);
  }
  return cases;
}

class WindowsCases : public ::testing::TestWithParam<WindowsCase> {};

TEST_P(WindowsCases, NativeBuildGivesWhatWindowsGives) {
  const WindowsCase& c = GetParam();
  std::vector<char16_t> lineUnits(kCaseUnits);
  std::vector<char16_t> textUnits(kCaseUnits);
  int lineCount = 0;
  int textCount = 0;
  ASSERT_TRUE(ExpandCase(c, nullptr, lineUnits.data(), &lineCount, textUnits.data(), &textCount));
  const std::u16string line(lineUnits.data(), lineCount);
  // The arguments are the line as the scan splits it, and a case run here
  // must reach the scan as the very line Windows is given.
  std::vector<std::string> arguments;
  for (const std::u16string& argument : huecast_fuzz::ReferenceSplit(line)) {
    arguments.push_back(Utf8(argument));
  }
  ASSERT_EQ(Utf8(Joined(arguments)), Utf8(line.empty() ? u"p" : u"p " + line))
      << "the case needs exactOnly";
  const std::string text(reinterpret_cast<const char*>(textUnits.data()), textCount * 2);
  int outputs = 0;
  for (const auto& native : kNativeOutputs) {
    if ((c.outputs & native.output) == 0) continue;
    ++outputs;
    const ToolRun got = RunTool(arguments, native.kind);
    const bool failing = (native.output & kWriteFailures) != 0;
    EXPECT_EQ(got.exitCode, failing ? c.failureExit : c.exitCode) << "output " << native.output;
    EXPECT_EQ(got.errors, "") << "output " << native.output;
    if (native.kind == OutputKind::kReadOnly) {
      EXPECT_EQ(got.output, "") << "the read-only file was written";
    } else if (!failing) {
      EXPECT_EQ(got.output, text) << "output " << native.output;
    }
  }
  EXPECT_GT(outputs, 0) << "the case names no output the native build has";
}

INSTANTIATE_TEST_SUITE_P(Table, WindowsCases, ::testing::ValuesIn(NativeCases()),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace huecast
