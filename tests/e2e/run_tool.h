// Runs the built tool as a user would, with standard output going to a
// file, a pipe, a pseudo-terminal or a device, and collects what it did.
#ifndef HUECAST_TESTS_E2E_RUN_TOOL_H_
#define HUECAST_TESTS_E2E_RUN_TOOL_H_

#include <string>
#include <vector>

namespace huecast {

enum class OutputKind {
  kFile,        // a regular file
  kPipe,        // a pipe read to its end
  kTerminal,    // a pseudo-terminal in raw mode, so bytes arrive unchanged
  kDevFull,     // /dev/full: every write fails
  kClosed,      // standard output closed
  kBrokenPipe,  // a pipe whose reader has gone
  kSmallFile,   // a regular file under a file-size limit of kSmallFileLimit bytes
  kReadOnly,    // a regular file opened for reading only; output reports what it holds
};

constexpr long kSmallFileLimit = 4096;

// What a run changes from the usual one: the tool is started by its own path
// in a terminal of type xterm, with NO_COLOR unset.
struct RunSetting {
  std::string program;                   // another path to start the tool by
  std::vector<std::string> environment;  // NAME=value entries, put in place of the usual
};

struct ToolRun {
  std::string output;  // bytes that reached standard output
  std::string errors;  // bytes that reached standard error
  int exitCode;        // -1 when ended by a signal
  int signal;          // the signal that ended it, 0 for a normal exit
  double seconds;      // wall time of the run
};

// Returns the path of the tool under test: HUECAST_TOOL from the environment,
// or the native build's binary. HUECAST_TOOL_EMULATOR, when set, names the
// program that RunTool starts it through (qemu-aarch64-static).
const char* ToolPath();
// Runs the tool with arguments (the program path is added) and waits for it.
ToolRun RunTool(const std::vector<std::string>& arguments, OutputKind output,
                const RunSetting& setting = {});
// Returns UTF-16LE bytes of a UTF-8 text, as redirected output carries them.
std::string Utf16Le(const std::string& utf8);
// Returns the UTF-8 of a text, as argv and a terminal carry it.
std::string Utf8(const std::u16string& text);

}  // namespace huecast

#endif  // HUECAST_TESTS_E2E_RUN_TOOL_H_
