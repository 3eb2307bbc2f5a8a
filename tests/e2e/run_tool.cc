#include "e2e/run_tool.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/posix/code_page.h"

namespace huecast {

namespace {

// Reads from both descriptors until both are at their end.
void Drain(int output, int errors, ToolRun* run) {
  pollfd fds[2] = {{output, POLLIN, 0}, {errors, POLLIN, 0}};
  std::string* sinks[2] = {&run->output, &run->errors};
  int open = (output >= 0) + (errors >= 0);
  if (output < 0) fds[0].fd = -1;
  while (open > 0) {
    if (poll(fds, 2, -1) < 0) continue;
    for (int i = 0; i < 2; ++i) {
      if (fds[i].fd < 0 || fds[i].revents == 0) continue;
      char buffer[65536];
      const ssize_t got = read(fds[i].fd, buffer, sizeof buffer);
      if (got > 0) {
        sinks[i]->append(buffer, static_cast<std::size_t>(got));
      } else if (got == 0 || errno != EINTR) {
        // A pseudo-terminal reports EIO once the child side is closed.
        fds[i].fd = -1;
        --open;
      }
    }
  }
}

std::string ReadFile(const char* path) {
  std::string content;
  FILE* file = std::fopen(path, "rb");
  if (file == nullptr) return content;
  char buffer[65536];
  std::size_t got;
  while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0) content.append(buffer, got);
  std::fclose(file);
  return content;
}

std::string NameOf(const std::string& entry) {
  return entry.substr(0, entry.find('='));
}

// Builds the tool's environment: this process's, with the variables that
// change how the terminal is served replaced by fixed ones and the setting's.
std::vector<std::string> EnvironmentFor(const RunSetting& setting) {
  std::vector<std::string> entries = setting.environment;
  bool typeGiven = false;
  for (const std::string& entry : entries) typeGiven = typeGiven || NameOf(entry) == "TERM";
  if (!typeGiven) entries.push_back("TERM=xterm");
  for (char** entry = environ; *entry != nullptr; ++entry) {
    const std::string name = NameOf(*entry);
    bool replaced = name == "NO_COLOR";
    for (const std::string& own : entries) replaced = replaced || NameOf(own) == name;
    if (!replaced) entries.push_back(*entry);
  }
  return entries;
}

}  // namespace

const char* ToolPath() {
  const char* other = std::getenv("HUECAST_TOOL");
  return other != nullptr && other[0] != 0 ? other : HUECAST_TOOL;
}

ToolRun RunTool(const std::vector<std::string>& arguments, OutputKind output,
                const RunSetting& setting) {
  ToolRun run{};
  std::vector<char*> argv;
  // A tool built for another machine runs through its emulator.
  char* emulator = std::getenv("HUECAST_TOOL_EMULATOR");
  if (emulator != nullptr && emulator[0] != 0) argv.push_back(emulator);
  argv.push_back(const_cast<char*>(setting.program.empty() ? ToolPath() : setting.program.c_str()));
  for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
  argv.push_back(nullptr);
  const std::vector<std::string> environment = EnvironmentFor(setting);
  std::vector<char*> envp;
  for (const std::string& entry : environment) envp.push_back(const_cast<char*>(entry.c_str()));
  envp.push_back(nullptr);

  int errorPipe[2];
  if (pipe(errorPipe) != 0) std::abort();
  int outputPipe[2] = {-1, -1};
  int terminal = -1;
  char filePath[] = "/tmp/huecast-e2e-XXXXXX";
  int file = -1;
  if (output == OutputKind::kPipe || output == OutputKind::kBrokenPipe) {
    if (pipe(outputPipe) != 0) std::abort();
    if (output == OutputKind::kBrokenPipe) {
      close(outputPipe[0]);
      outputPipe[0] = -1;
    }
  } else if (output == OutputKind::kFile || output == OutputKind::kSmallFile) {
    file = mkstemp(filePath);
  } else if (output == OutputKind::kReadOnly) {
    close(mkstemp(filePath));
    file = open(filePath, O_RDONLY);
  } else if (output == OutputKind::kDevFull) {
    file = open("/dev/full", O_WRONLY);
  }

  const auto start = std::chrono::steady_clock::now();
  pid_t child;
  if (output == OutputKind::kTerminal) {
    termios raw{};
    cfmakeraw(&raw);
    child = forkpty(&terminal, nullptr, &raw, nullptr);
  } else {
    child = fork();
  }
  if (child == 0) {
    dup2(errorPipe[1], STDERR_FILENO);
    if (outputPipe[1] >= 0) dup2(outputPipe[1], STDOUT_FILENO);
    if (file >= 0) dup2(file, STDOUT_FILENO);
    if (output == OutputKind::kClosed) close(STDOUT_FILENO);
    if (output == OutputKind::kSmallFile) {
      const rlimit limit = {kSmallFileLimit, kSmallFileLimit};
      setrlimit(RLIMIT_FSIZE, &limit);
      signal(SIGXFSZ, SIG_DFL);  // as a shell that has not touched it leaves it
    }
    if (output != OutputKind::kTerminal) {
      // Standard input is no terminal either, as in a redirected batch run.
      const int null = open("/dev/null", O_RDONLY);
      dup2(null, STDIN_FILENO);
    }
    for (int descriptor = 3; descriptor < 256; ++descriptor) close(descriptor);
    execve(argv[0], argv.data(), envp.data());
    _exit(127);
  }
  close(errorPipe[1]);
  if (outputPipe[1] >= 0) close(outputPipe[1]);
  Drain(output == OutputKind::kTerminal ? terminal : outputPipe[0], errorPipe[0], &run);
  int status = 0;
  waitpid(child, &status, 0);
  run.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  run.signal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
  close(errorPipe[0]);
  if (outputPipe[0] >= 0) close(outputPipe[0]);
  if (terminal >= 0) close(terminal);
  if (output == OutputKind::kFile || output == OutputKind::kSmallFile ||
      output == OutputKind::kReadOnly) {
    run.output = ReadFile(filePath);
    unlink(filePath);
  }
  if (file >= 0) close(file);
  return run;
}

std::string Utf8(const std::u16string& text) {
  std::string bytes(text.size() * 3, '\0');
  std::size_t consumed = 0;
  bytes.resize(EncodeUtf8(text.data(), text.size(), true, bytes.data(), &consumed));
  return bytes;
}

// Decodes with the tool's own decoder, which CodePageTest holds to its table.
std::string Utf16Le(const std::string& utf8) {
  std::u16string units(DecodeUtf8(utf8.data(), utf8.size(), nullptr), u'\0');
  DecodeUtf8(utf8.data(), utf8.size(), units.data());
  return std::string(reinterpret_cast<const char*>(units.data()), 2 * units.size());
}

}  // namespace huecast
