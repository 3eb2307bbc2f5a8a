#!/usr/bin/env python3
"""Tests of the Windows executable: cross-built, read back as a PE file and
run under Wine. The calls a Windows caller makes are HuecastTests.exe's
table, which it runs here on a pseudo-terminal; what needs Linux stays here:
the PE record, wine's rendering of the console on a terminal, and the demo.

Each test is one subcommand, registered in CTest by tests/windows/CMakeLists.txt.
A test whose tools are missing exits with SKIP (CTest's SKIP_RETURN_CODE) and
says what to install; in CI (CI=true) it fails instead.
"""

import argparse
import os
import pathlib
import pty
import re
import select
import shutil
import subprocess
import sys
import tempfile
import time

SKIP = 77
MINGW = "x86_64-w64-mingw32-g++"
WINDRES = "x86_64-w64-mingw32-windres"

# A run of wine that takes longer than this has hung; the first start of a
# fresh prefix is slow, so the limits are generous.
RUN_SECONDS = 120
BOOT_SECONDS = 500

# Wine's own messages when it cannot start or keep a program. A wine client
# that reaches a wineserver which is shutting down exits 1 with the first.
WINE_FAULTS = re.compile(rb"wine client error|wine: (could not|cannot|failed|unhandled)|"
                         rb"wineserver: ")

FAILURES = []


def Skip(message):
  """Ends the test as skipped, naming what is missing; in CI (CI=true) a
  missing tool fails the test instead."""
  if os.environ.get("CI") == "true":
    print("FAIL: " + message)
    sys.exit(1)
  print("SKIP: " + message)
  sys.exit(SKIP)


def Check(condition, message):
  """Records a failed expectation; the test goes on with the next case."""
  if not condition:
    FAILURES.append(message)
    print("FAIL: " + message)
  return condition


def Finish():
  """Ends the test with the outcome of its expectations."""
  if FAILURES:
    print("%d expectation(s) failed" % len(FAILURES))
    sys.exit(1)
  print("all expectations met")
  sys.exit(0)


def WineEnvironment(args):
  """Returns the environment for wine: a prefix of our own, no debug output,
  no Mono or Gecko installers, UTF-8 arguments, no display."""
  env = dict(os.environ)
  env.pop("DISPLAY", None)
  env.pop("WAYLAND_DISPLAY", None)
  env.update({
      "WINEPREFIX": args.prefix,
      "WINEDEBUG": "-all",
      "WINEDLLOVERRIDES": "mscoree,mshtml=",
      "WINEARCH": "win64",
      "LC_ALL": "C.UTF-8",
      "TERM": "xterm",
  })
  return env


def RequireMingw():
  if shutil.which(MINGW) is None or shutil.which(WINDRES) is None:
    Skip("the mingw-w64 cross compiler is missing; install it with "
         "'apt-get install g++-mingw-w64-x86-64' (it provides %s and %s)" % (MINGW, WINDRES))


def RequireWine(args):
  """Skips without wine; fails when the executable or the prefix is missing."""
  RequireMingw()
  if shutil.which("wine") is None or shutil.which("wineserver") is None:
    Skip("wine is missing; install it with 'apt-get install wine wine64'")
  if not os.path.isfile(args.exe):
    print("FAIL: %s was not built" % args.exe)
    sys.exit(1)
  if not os.path.isfile(os.path.join(args.prefix, "system.reg")):
    print("FAIL: the wine prefix %s was not initialised" % args.prefix)
    sys.exit(1)
  # A server that stays for a while after its last client makes the runs
  # fast; it is detached from our output, so nothing waits for it to end.
  subprocess.run(["wineserver", "-p30"], env=WineEnvironment(args), stdin=subprocess.DEVNULL,
                 stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, start_new_session=True,
                 timeout=RUN_SECONDS)


def WorkDirectory(args, name):
  """Returns a fresh directory for one test's files."""
  path = pathlib.Path(args.work) / name
  shutil.rmtree(path, ignore_errors=True)
  path.mkdir(parents=True)
  return path


def RunToFile(command, env, path, cwd=None):
  """Runs a command with standard output redirected to a file; returns the
  exit code, the bytes written and standard error."""
  with open(path, "wb") as output:
    completed = subprocess.run(command, env=env, cwd=cwd, stdin=subprocess.DEVNULL,
                               stdout=output, stderr=subprocess.PIPE, timeout=RUN_SECONDS)
  return completed.returncode, pathlib.Path(path).read_bytes(), completed.stderr


def RunWine(run, expected, what):
  """Calls run(), which starts wine once and returns its exit code, output
  and standard error. When Wine itself failed (its standard error holds one
  of its fatal messages), the fault is the harness's: it is named and run
  once more. A wrong exit code from the program is never retried; Wine's
  standard error is printed whenever the exit code is not the expected one."""
  for attempt in range(2):
    code, output, errors = run()
    if code == expected or attempt == 1 or not WINE_FAULTS.search(errors):
      break
    print("harness: wine failed to run %s (exit %d), no fault of Huecast.exe; running it once "
          "more. Wine's standard error:\n%s" % (what, code, errors.decode(errors="replace")))
  if code != expected:
    print("%s: exit %d, expected %d. Wine's standard error:\n%s" %
          (what, code, expected, errors.decode(errors="replace")))
  return code, output


def Wine(args, *params):
  return ["wine", args.exe, *params]


def WindowsPath(path):
  """Returns the name under which wine's drive Z: shows a Unix path."""
  return "Z:" + os.path.abspath(path).replace("/", "\\")


# --- build and prefix fixtures ------------------------------------------------


def CommandBuild(args):
  """Cross-builds the executable with the windows preset, in the folder the
  executable is to be found in."""
  RequireMingw()
  build = os.path.dirname(args.exe)
  for step in (["--preset", "windows", "-B", build], ["--build", build, "-j", "2"]):
    completed = subprocess.run([args.cmake, *step], cwd=args.source, stdin=subprocess.DEVNULL,
                               timeout=BOOT_SECONDS)
    if completed.returncode != 0:
      print("FAIL: cmake %s failed" % " ".join(step))
      sys.exit(1)
  if not os.path.isfile(args.exe):
    print("FAIL: the build did not produce %s" % args.exe)
    sys.exit(1)
  print("built %s (%d bytes)" % (args.exe, os.path.getsize(args.exe)))
  sys.exit(0)


def CommandPrefix(args):
  """Initialises the wine prefix once and waits until wine has settled."""
  if shutil.which("wine") is None or shutil.which("wineboot") is None:
    Skip("wine is missing; install it with 'apt-get install wine wine64'")
  env = WineEnvironment(args)
  os.makedirs(os.path.dirname(args.prefix), exist_ok=True)
  if not os.path.isfile(os.path.join(args.prefix, "system.reg")):
    started = time.time()
    subprocess.run(["wineboot", "--init"], env=env, stdin=subprocess.DEVNULL,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=BOOT_SECONDS)
    subprocess.run(["wineserver", "-w"], env=env, stdin=subprocess.DEVNULL,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=BOOT_SECONDS)
    print("initialised %s in %.1f s" % (args.prefix, time.time() - started))
  if not os.path.isfile(os.path.join(args.prefix, "system.reg")):
    print("FAIL: wineboot did not create %s" % args.prefix)
    sys.exit(1)
  sys.exit(0)


# --- the executable read back -------------------------------------------------

def VersionStrings(metadata):
  """Returns the version record's texts in order: the fixed ones, and the
  identity fields from the project's metadata (key=value lines)."""
  sys.path.insert(0, str(pathlib.Path(__file__).resolve().parents[2] / "tools"))
  sys.dont_write_bytecode = True  # no __pycache__ in the source tree
  import metadata as project_metadata  # pylint: disable=import-outside-toplevel
  values = project_metadata.Read(metadata)
  return [
      ("CompanyName", values.get("maintainer")),
      ("ProductName", "Huecast"),
      ("ProductVersion", "2.1 - 2015-02-02"),
      ("FileVersion", "2.1 - 2015-02-02"),
      ("FileDescription", "Console output color"),
      ("InternalName", "Huecast"),
      ("OriginalFilename", "Huecast.exe"),
      ("LegalCopyright", values.get("copyright")),
      ("Email", values.get("email")),
      ("Website", values.get("homepage")),
  ]


def CRuntimeRoutines(header):
  """Returns the sorted names of the C runtime routines that the platform
  header declares: those of its section on the system C runtime."""
  text = pathlib.Path(header).read_text()
  section = text.split("routines of the system C runtime", 1)[1].split("}  // namespace", 1)[0]
  return sorted(re.findall(r"\b(\w+)\(", section))


def CommandPe(args):
  """Reads Huecast.exe with pefile: machine, subsystem, imports, size and the
  version record."""
  RequireMingw()
  try:
    import pefile
  except ImportError:
    Skip("the pefile module is missing; install it with 'apt-get install python3-pefile' "
         "and run the tests with /usr/bin/python3")
  if not os.path.isfile(args.exe):
    print("FAIL: %s was not built" % args.exe)
    sys.exit(1)
  pe = pefile.PE(args.exe)
  Check(pe.FILE_HEADER.Machine == pefile.MACHINE_TYPE["IMAGE_FILE_MACHINE_AMD64"],
        "machine is x64")
  Check(pe.OPTIONAL_HEADER.Magic == 0x20B, "the image is PE32+")
  Check(pe.OPTIONAL_HEADER.Subsystem == pefile.SUBSYSTEM_TYPE["IMAGE_SUBSYSTEM_WINDOWS_CUI"],
        "subsystem is the console")
  size = os.path.getsize(args.exe)
  print("size: %d bytes" % size)
  Check(size < 32 * 1024, "the executable is under 32 KiB (%d bytes)" % size)
  Check(not hasattr(pe, "DIRECTORY_ENTRY_DEBUG"), "no debug directory")
  Check(pe.FILE_HEADER.PointerToSymbolTable == 0 and pe.FILE_HEADER.NumberOfSymbols == 0,
        "the executable is stripped")

  # Windows places the image at a random address, anywhere in the 64-bit
  # space, only when it is marked so and carries the relocations to move it.
  for flag in ["DYNAMIC_BASE", "HIGH_ENTROPY_VA", "NX_COMPAT"]:
    mask = pefile.DLL_CHARACTERISTICS["IMAGE_DLLCHARACTERISTICS_" + flag]
    Check(pe.OPTIONAL_HEADER.DllCharacteristics & mask, "the image is marked %s" % flag)
  relocations = pe.OPTIONAL_HEADER.DATA_DIRECTORY[
      pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_BASERELOC"]]
  Check(relocations.Size > 0, "the image carries base relocations")
  Check(not pe.FILE_HEADER.Characteristics
        & pefile.IMAGE_CHARACTERISTICS["IMAGE_FILE_RELOCS_STRIPPED"], "relocations not stripped")

  dlls = sorted(entry.dll.decode() for entry in getattr(pe, "DIRECTORY_ENTRY_IMPORT", []))
  Check(dlls == ["KERNEL32.dll", "msvcrt.dll"], "imports only KERNEL32.dll and msvcrt.dll: %s" % dlls)
  # The acceptance program must run on a bare Windows as well.
  tests = pefile.PE(os.path.join(os.path.dirname(args.exe), "HuecastTests.exe"))
  test_dlls = sorted(entry.dll.decode() for entry in getattr(tests, "DIRECTORY_ENTRY_IMPORT", []))
  Check(test_dlls == ["KERNEL32.dll", "msvcrt.dll"],
        "HuecastTests.exe imports only KERNEL32.dll and msvcrt.dll: %s" % test_dlls)
  Check(not hasattr(pe, "DIRECTORY_ENTRY_DELAY_IMPORT"), "no delay-loaded imports")
  Check(not hasattr(pe, "DIRECTORY_ENTRY_TLS"), "no TLS callbacks run before the entry")
  imported = {
      entry.dll.decode(): sorted(i.name.decode() for i in entry.imports if i.name)
      for entry in getattr(pe, "DIRECTORY_ENTRY_IMPORT", [])
  }
  for name in ["GetCommandLineW", "WriteConsoleW", "WriteFile", "SetConsoleTextAttribute",
               "HeapCreate", "ExitProcess"]:
    Check(name in imported.get("KERNEL32.dll", []), "KERNEL32.dll provides %s" % name)
  # msvcrt.dll supplies exactly the C runtime routines that the platform
  # header names: nothing of a C runtime start-up, no routine that slipped
  # in past the platform boundary.
  # memset serves only ReleaseObject, which nothing in this program calls:
  # the linker drops both.
  runtime = CRuntimeRoutines(os.path.join(args.source, "src", "platform", "platform.h"))
  Check("memset" in runtime, "the platform header names the C runtime routines: %s" % runtime)
  expected = [name for name in runtime if name != "memset"]
  Check(imported.get("msvcrt.dll", []) == expected,
        "msvcrt.dll supplies exactly %s: %s" % (expected, imported.get("msvcrt.dll")))

  # The version record is filed under the neutral language, as its string
  # table is.
  languages = []
  resources = getattr(pe, "DIRECTORY_ENTRY_RESOURCE", None)
  for kind in resources.entries if resources else []:
    if kind.id == pefile.RESOURCE_TYPE["RT_VERSION"]:
      for name in kind.directory.entries:
        languages.extend((entry.data.lang, entry.data.sublang) for entry in name.directory.entries)
  Check(languages == [(0, 0)], "one version resource, language neutral: %s" % languages)

  fixed = pe.VS_FIXEDFILEINFO[0]
  Check(fixed.Signature == 0xFEEF04BD, "the fixed version record is present")
  Check((fixed.FileVersionMS, fixed.FileVersionLS) == (0x00020001, 0), "file version 2.1.0.0")
  Check((fixed.ProductVersionMS, fixed.ProductVersionLS) == (0x00020001, 0),
        "product version 2.1.0.0")
  Check(fixed.FileFlags == 0, "no file flags")
  Check(fixed.FileOS == 0x00040004, "VOS_NT_WINDOWS32")
  Check(fixed.FileType == 1, "VFT_APP")
  Check(fixed.FileSubtype == 0, "no file subtype")

  tables = []
  translations = []
  for info in pe.FileInfo[0]:
    if info.Key == b"StringFileInfo":
      tables.extend(info.StringTable)
    elif info.Key == b"VarFileInfo":
      for var in info.Var:
        translations.append(var.entry.get(b"Translation"))
  Check([t.LangID for t in tables] == [b"000004b0"], "one string table, 000004b0")
  if tables:
    entries = [(k.decode(), v.decode()) for k, v in tables[0].entries.items()]
    metadata = pathlib.Path(args.exe).parent / "huecast-metadata"
    expected = VersionStrings(metadata)
    Check(entries == expected, "version strings in order: %s" % entries)
    Check(dict(expected)["LegalCopyright"].startswith("Copyright (c) "),
          "the copyright line comes from LICENSE: %s" % dict(expected)["LegalCopyright"])
  translations = [t.decode() if isinstance(t, bytes) else t for t in translations]
  Check(translations == ["0x0000 0x04b0"], "translation 0x0000/0x04b0: %s" % translations)
  Finish()


# --- the acceptance program ---------------------------------------------------


def CommandAcceptance(args):
  """Runs HuecastTests.exe against Huecast.exe on a pseudo-terminal, where
  wine gives it a working console. Its report file holds a line for each
  failed expectation, then the count."""
  RequireWine(args)
  env = WineEnvironment(args)
  work = WorkDirectory(args, "acceptance")
  tests = os.path.join(os.path.dirname(args.exe), "HuecastTests.exe")
  report = work / "report.txt"

  def Attempt():
    report.unlink(missing_ok=True)
    return RunInTerminal(["wine", tests, WindowsPath(args.exe), WindowsPath(report)], env)

  code, _ = RunWine(Attempt, 0, "HuecastTests.exe")
  lines = report.read_text(errors="replace").splitlines() if report.exists() else []
  print("\n".join(lines))
  Check(bool(lines) and re.fullmatch(r"[1-9][0-9]* passed, 0 failed", lines[-1]) is not None,
        "the last line reports no failure: %r" % lines[-1:])
  Check(code == 0, "HuecastTests.exe exits with 0, got %d" % code)
  Finish()


# --- a pseudo-terminal: wine's console turns attributes into SGR sequences ------


def RunInTerminal(command, env, cwd=None):
  """Runs a command on a new pseudo-terminal, standard error apart; returns
  the exit code, all bytes it showed and its standard error."""
  errors = tempfile.TemporaryFile()
  pid, master = pty.fork()
  if pid == 0:
    try:
      os.dup2(errors.fileno(), 2)
      if cwd is not None:
        os.chdir(cwd)
      os.execvpe(command[0], command, env)
    finally:
      os._exit(127)
  output = b""
  deadline = time.time() + RUN_SECONDS
  status = None
  ended = False
  quiet_since = None
  # Read until the terminal is closed; once the command has ended, a helper
  # that still holds the terminal gets one quiet second before we stop.
  while time.time() < deadline and not ended:
    ready, _, _ = select.select([master], [], [], 0.1)
    if ready:
      try:
        chunk = os.read(master, 65536)
      except OSError:
        chunk = b""
      output += chunk
      ended = not chunk
      quiet_since = None
    if status is None:
      done, raw = os.waitpid(pid, os.WNOHANG)
      if done != 0:
        status = raw
    if status is not None and not ready:
      quiet_since = quiet_since or time.time()
      ended = ended or time.time() - quiet_since > 1
  if status is None:
    done, raw = os.waitpid(pid, os.WNOHANG)
    while done == 0 and time.time() < deadline:
      time.sleep(0.05)
      done, raw = os.waitpid(pid, os.WNOHANG)
    status = raw if done != 0 else None
  os.close(master)
  if status is None:
    os.kill(pid, 9)
    _, status = os.waitpid(pid, 0)
    Check(False, "%r did not end within %d s" % (command, RUN_SECONDS))
  errors.seek(0)
  return os.waitstatus_to_exitcode(status), output, errors.read()


def WindowsColour(ansi):
  """Turns an ANSI colour number 0-7 (bit 0 red, bit 2 blue) into a console
  palette index (bit 0 blue, bit 2 red)."""
  return ((ansi & 1) << 2) | (ansi & 2) | ((ansi & 4) >> 2)


def Render(output):
  """Splits terminal output into (character, console attribute) pairs by
  following the SGR sequences; other control sequences are dropped."""
  text = output.decode("utf-8", errors="replace")
  fg, bg = 7, 0
  shown = []
  for match in re.finditer(r"\x1b\[([0-9;?]*)([A-Za-z])|\x1b[()][0-9A-Za-z]|\x1b.|([^\x1b])",
                           text):
    if match.group(3) is not None:
      shown.append((match.group(3), bg * 16 + fg))
      continue
    if match.group(2) != "m" or "?" in (match.group(1) or ""):
      continue
    for param in (match.group(1) or "0").split(";"):
      n = int(param) if param else 0
      if n == 0:
        fg, bg = 7, 0
      elif 30 <= n <= 37:
        fg = WindowsColour(n - 30)
      elif 90 <= n <= 97:
        fg = WindowsColour(n - 90) + 8
      elif 40 <= n <= 47:
        bg = WindowsColour(n - 40)
      elif 100 <= n <= 107:
        bg = WindowsColour(n - 100) + 8
      elif n == 39:
        fg = 7
      elif n == 49:
        bg = 0
  return shown


def ShownIn(shown, pieces):
  """Checks that the strings appear in order, each entirely in its attribute."""
  text = "".join(c for c, _ in shown)
  at = 0
  for piece, attribute in pieces:
    found = text.find(piece, at)
    if not Check(found >= 0, "%r is shown (after position %d) in %r" % (piece, at, text)):
      return
    attributes = {a for _, a in shown[found:found + len(piece)]}
    Check(attributes == {attribute},
          "%r is shown in attribute %02X, got %s" % (piece, attribute,
                                                     ["%02X" % a for a in sorted(attributes)]))
    at = found + len(piece)


# (parameters, strings with the attribute each must be shown in, exit code)
TERMINAL_CASES = [
    (["1E", "Hello", "07", "world", "4F", "alert", "0A", "!"],
     [("Hello", 0x1E), ("world", 0x07), ("alert", 0x4F), ("!", 0x0A)], 0),
    (["2C", "first", "77", "second", "00", "third"],
     [("first", 0x2C), ("second", 0x2C), ("third", 0x2C)], 1),
    (["1e", "lower", "1G", "blue", "A0", "black"],
     [("lower", 0x1E), ("blue", 0x01), ("black", 0xA0)], 0),
    (["9B", "bright"], [("bright", 0x9B)], 0),
    (["2E", "Grüße", "07", "日本", "1F", "''ok''"],
     [("Grüße", 0x2E), ("日本", 0x07), ('"ok"', 0x1F)], 0),
]


def CommandTerminal(args):
  """Runs the program on a pseudo-terminal, where wine's console shows the
  attributes as SGR sequences: each string must appear in its colours, and
  the colours set last must stay in force for the next program."""
  RequireWine(args)
  env = WineEnvironment(args)
  for params, pieces, code in TERMINAL_CASES:
    got_code, output = RunWine(lambda: RunInTerminal(Wine(args, *params), env), code,
                               "%r on a terminal" % params)
    Check(got_code == code, "%r on a terminal: exit %d, expected %d" % (params, got_code, code))
    Check(b"\x1b[" in output, "%r: SGR sequences are shown: %r" % (params, output))
    Check(b"\x00" not in output, "%r: written through the console: %r" % (params, output))
    ShownIn(Render(output), pieces)
  # The attribute is not restored at exit: a second call that sets no colour
  # prints in the colours the first one left.
  work = WorkDirectory(args, "terminal")
  shutil.copy(args.exe, work / "Huecast.exe")
  (work / "persist.cmd").write_bytes(
      b"@echo off\r\nHuecast.exe 1E before\r\nHuecast.exe 00 after\r\nHuecast.exe 07 reset\r\n")
  got_code, output = RunWine(
      lambda: RunInTerminal(["wine", "cmd", "/c", "persist.cmd"], env, cwd=work), 0,
      "persist.cmd on a terminal")
  Check(got_code == 0, "persist.cmd on a terminal: exit %d" % got_code)
  ShownIn(Render(output), [("before", 0x1E), ("after", 0x1E), ("reset", 0x07)])
  Finish()


# --- the demo batch file -------------------------------------------------------


def DemoRow(background):
  cells = "".join(" %X%X " % (background, fg) for fg in range(16))
  return " %X  %s" % (background, cells)


def CommandDemo(args):
  """Runs examples/Demo.cmd with wine's cmd, output to a file: everything in
  it is the program's own UTF-16 output, with the table of all 256 codes and
  the ERRORLEVEL of the refused code."""
  RequireWine(args)
  env = WineEnvironment(args)
  work = WorkDirectory(args, "demo")
  shutil.copy(args.exe, work / "Huecast.exe")
  shutil.copy(pathlib.Path(args.source) / "examples" / "Demo.cmd", work / "Demo.cmd")
  code, got = RunWine(
      lambda: RunToFile(["wine", "cmd", "/c", "Demo.cmd"], env, work / "demo.out", cwd=work), 0,
      "Demo.cmd")
  Check(code == 0, "Demo.cmd ends with exit 0, got %d" % code)
  Check(len(got) % 2 == 0 and not got.startswith(b"\xff\xfe"),
        "the output is raw UTF-16LE without byte-order mark")
  try:
    text = got.decode("utf-16-le", errors="strict")
  except UnicodeDecodeError:
    Check(False, "the output is UTF-16LE: %r" % got[:80])
    Finish()
  lines = text.split("\r\n")
  Check(lines[0] == "Huecast demo", "the title line: %r" % lines[:1])
  Check('Two apostrophes make a double quote: "quoted"' in lines,
        "two apostrophes became a double quote")
  header = "    " + "".join("  %X " % c for c in range(16))
  if Check(header in lines, "the table header %r" % header):
    first = lines.index(header) + 1
    Check(lines[first:first + 16] == [DemoRow(b) for b in range(16)],
          "16 rows of 16 codes: %r" % lines[first:first + 16])
  Check("ERRORLEVEL is 1 after the refused code." in lines, "the ERRORLEVEL after code 77")
  Check(text.endswith("\r\n"), "the output ends with a line end")
  Finish()


COMMANDS = {
    "build": CommandBuild,
    "prefix": CommandPrefix,
    "pe": CommandPe,
    "acceptance": CommandAcceptance,
    "terminal": CommandTerminal,
    "demo": CommandDemo,
}


def Main():
  parser = argparse.ArgumentParser(description=__doc__)
  parser.add_argument("--source", required=True, help="the source directory")
  parser.add_argument("--exe", required=True, help="the Windows executable")
  parser.add_argument("--prefix", required=True, help="the wine prefix")
  parser.add_argument("--work", required=True, help="a directory for the tests' files")
  parser.add_argument("--cmake", default="cmake", help="the cmake to run the build with")
  parser.add_argument("command", choices=sorted(COMMANDS))
  args = parser.parse_args()
  COMMANDS[args.command](args)


if __name__ == "__main__":
  Main()
