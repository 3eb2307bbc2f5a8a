#!/usr/bin/env python3
"""Tests of the Windows executable, as the presets build it: read back as a
PE file and run under Wine. The calls a Windows caller makes, and the console
cells and colours they leave, are HuecastTests.exe's table, which it runs here
on a pseudo-terminal; what needs Linux stays here: the PE record, the
acceptance program's own faults, the demo, a non-ASCII folder, SIGINT, and the
ARM64 build under emulated arm64 Wine.

Each test is one subcommand, registered in CTest by tests/windows/CMakeLists.txt,
which also names a missing tool when the build is configured. A test that
cannot run here (the arm64 root without root, say) exits with SKIP (CTest's
SKIP_RETURN_CODE) and says why; in CI (CI=true) it fails instead.
"""

import argparse
import array
import fcntl
import functools
import os
import pathlib
import pty
import re
import select
import shutil
import signal
import subprocess
import sys
import tempfile
import termios
import time

SKIP = 77

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
  """Ends the test as skipped, saying why; in CI (CI=true) it fails instead."""
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


def WineEnvironment(prefix, base):
  """Returns the environment for wine: the base one with a prefix of our own,
  no debug output, no Mono or Gecko installers, UTF-8 text and no display."""
  env = {key: value for key, value in base.items() if key not in ("DISPLAY", "WAYLAND_DISPLAY")}
  env.update({
      "WINEPREFIX": prefix,
      "WINEDEBUG": "-all",
      "WINEDLLOVERRIDES": "mscoree,mshtml=",
      "LC_ALL": "C.UTF-8",
      "TERM": "xterm",
  })
  return env


def StartWine(args):
  """Fails when the executable or the prefix is missing, and starts a wine
  server that outlives the test's runs."""
  for path, what in [(args.exe, "was not built"),
                     (os.path.join(args.prefix, "system.reg"), "was not made: no wine prefix")]:
    if not os.path.isfile(path):
      print("FAIL: %s %s" % (path, what))
      sys.exit(1)
  # A server that stays for a while after its last client makes the runs
  # fast; it is detached from our output, so nothing waits for it to end.
  subprocess.run(["wineserver", "-p30"], env=args.env, stdin=subprocess.DEVNULL,
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


# --- the wine prefix ------------------------------------------------------------


def CommandPrefix(args):
  """Initialises the wine prefix once and waits until wine has settled."""
  os.makedirs(os.path.dirname(args.prefix), exist_ok=True)
  if not os.path.isfile(os.path.join(args.prefix, "system.reg")):
    started = time.time()
    subprocess.run(["wineboot", "--init"], env=args.env, stdin=subprocess.DEVNULL,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=BOOT_SECONDS)
    subprocess.run(["wineserver", "-w"], env=args.env, stdin=subprocess.DEVNULL,
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
  header declares: those of its namespace crt."""
  text = pathlib.Path(header).read_text()
  section = text.split("namespace crt {", 1)[1].split("}  // namespace crt", 1)[0]
  return sorted(re.findall(r"\b(\w+)\(", section))


def DefinedImports(path):
  """Returns the DLL and the sorted routine names of a module-definition file."""
  dll, names, exports = None, [], False
  for line in pathlib.Path(path).read_text().splitlines():
    line = line.split(";", 1)[0].strip()
    if line.startswith("LIBRARY "):
      dll = line.split()[1]
    elif line == "EXPORTS":
      exports = True
    elif line and exports:
      names.append(line.split()[0])
  return dll, sorted(names)


# What each architecture's linker leaves out of the platform layer's imports,
# and why. gcc expands the one memset call inline (rep stosb), and GNU ld keeps
# the import of every routine that an object names, even in code it drops.
# lld imports only what live code calls: the console is allocated and freed
# only by a program that is not a console program, so both calls are dead.
DROPPED_IMPORTS = {
    "x64": {"msvcrt.dll": ["memset"]},
    "ARM64": {"KERNEL32.dll": ["AllocConsole", "FreeConsole"]},
}


def ExpectedImports(args, architecture):
  """Returns {dll: routines} that an architecture's Huecast.exe must import:
  the platform layer's .def files, less what its linker drops. The .def files
  are held to the platform layer first: msvcrt.def names the C runtime
  routines of the platform header, kernel32.def every other system routine
  that platform.cc calls."""
  win32 = pathlib.Path(args.source) / "src" / "platform" / "win32"
  kernel32 = DefinedImports(win32 / "kernel32.def")
  msvcrt = DefinedImports(win32 / "msvcrt.def")
  runtime = CRuntimeRoutines(os.path.join(args.source, "src", "platform", "platform.h"))
  called = sorted(set(re.findall(r"::(\w+)\(", (win32 / "platform.cc").read_text())) - set(runtime))
  Check(msvcrt == ("msvcrt.dll", runtime), "msvcrt.def lists the platform header's C runtime "
        "routines %s: %s" % (runtime, msvcrt))
  Check(kernel32 == ("KERNEL32.dll", called),
        "kernel32.def lists the system routines that platform.cc calls %s: %s" % (called, kernel32))
  expected = {}
  for dll, names in [kernel32, msvcrt]:
    dropped = DROPPED_IMPORTS[architecture].get(dll, [])
    Check(set(dropped) <= set(names), "%s drops only routines of %s" % (architecture, dll))
    expected[dll] = [name for name in names if name not in dropped]
  return expected


def ImportsOf(pe):
  return {
      entry.dll.decode(): sorted(i.name.decode() for i in entry.imports if i.name)
      for entry in getattr(pe, "DIRECTORY_ENTRY_IMPORT", [])
  }


def CheckImage(args, pefile, path, architecture, machine):
  """Reads one Huecast.exe: machine, subsystem, relocations, imports and the
  version record."""
  if not Check(os.path.isfile(path), "%s was built" % path):
    return
  pe = pefile.PE(path)
  Check(pe.FILE_HEADER.Machine == pefile.MACHINE_TYPE[machine],
        "%s: machine is %s, got 0x%X" % (architecture, machine, pe.FILE_HEADER.Machine))
  Check(pe.OPTIONAL_HEADER.Magic == 0x20B, "%s: the image is PE32+" % architecture)
  Check(pe.OPTIONAL_HEADER.Subsystem == pefile.SUBSYSTEM_TYPE["IMAGE_SUBSYSTEM_WINDOWS_CUI"],
        "%s: subsystem is the console" % architecture)
  # Windows on ARM64 began with Windows 10; Microsoft's linker marks ARM64
  # images for subsystem 6.2 at the least.
  subsystem = (pe.OPTIONAL_HEADER.MajorSubsystemVersion, pe.OPTIONAL_HEADER.MinorSubsystemVersion)
  least = (6, 2) if architecture == "ARM64" else (5, 2)
  Check(subsystem >= least, "%s: subsystem version %d.%d, at least %d.%d"
        % (architecture, *subsystem, *least))
  size = os.path.getsize(path)
  print("%s: %d bytes" % (path, size))
  Check(size < 32 * 1024, "%s: the executable is under 32 KiB (%d bytes)" % (architecture, size))
  Check(not hasattr(pe, "DIRECTORY_ENTRY_DEBUG"), "%s: no debug directory" % architecture)
  Check(pe.FILE_HEADER.PointerToSymbolTable == 0 and pe.FILE_HEADER.NumberOfSymbols == 0,
        "%s: the executable is stripped" % architecture)

  # Windows places the image at a random address, anywhere in the 64-bit
  # space, only when it is marked so and carries the relocations to move it.
  # Both linkers must give the same marks, and no others.
  marks = ["DYNAMIC_BASE", "HIGH_ENTROPY_VA", "NX_COMPAT"]
  wanted = sum(pefile.DLL_CHARACTERISTICS["IMAGE_DLLCHARACTERISTICS_" + m] for m in marks)
  Check(pe.OPTIONAL_HEADER.DllCharacteristics == wanted,
        "%s: DllCharacteristics are exactly %s (0x%X), got 0x%X" %
        (architecture, marks, wanted, pe.OPTIONAL_HEADER.DllCharacteristics))
  relocations = pe.OPTIONAL_HEADER.DATA_DIRECTORY[
      pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_BASERELOC"]]
  Check(relocations.Size > 0, "%s: the image carries base relocations" % architecture)
  Check(not pe.FILE_HEADER.Characteristics
        & pefile.IMAGE_CHARACTERISTICS["IMAGE_FILE_RELOCS_STRIPPED"],
        "%s: relocations not stripped" % architecture)

  Check(not hasattr(pe, "DIRECTORY_ENTRY_DELAY_IMPORT"), "%s: no delay-loaded imports" % architecture)
  Check(not hasattr(pe, "DIRECTORY_ENTRY_TLS"), "%s: no TLS callbacks run before the entry" %
        architecture)
  # Exactly the platform layer's routines: nothing of a C runtime start-up, no
  # routine that slipped in past the platform boundary.
  expected = ExpectedImports(args, architecture)
  imported = ImportsOf(pe)
  Check(imported == expected, "%s: imports exactly %s: %s" % (architecture, expected, imported))
  # The acceptance program must run on a bare Windows as well, and is built
  # as Huecast.exe is: no C runtime start-up (which brings TLS callbacks) and
  # nothing from msvcrt.dll that takes an argument list, only memory routines.
  tests_path = os.path.join(os.path.dirname(path), "HuecastTests.exe")
  if Check(os.path.isfile(tests_path), "%s was built" % tests_path):
    tests = pefile.PE(tests_path)
    test_imports = ImportsOf(tests)
    Check(tests.FILE_HEADER.Machine == pe.FILE_HEADER.Machine,
          "%s: HuecastTests.exe is built for the same machine" % architecture)
    Check("KERNEL32.dll" in test_imports and set(test_imports) <= {"KERNEL32.dll", "msvcrt.dll"},
          "%s: HuecastTests.exe imports only KERNEL32.dll and msvcrt.dll: %s" %
          (architecture, sorted(test_imports)))
    Check(set(test_imports.get("msvcrt.dll", [])) <= {"memcmp", "memcpy", "memmove", "memset"},
          "%s: HuecastTests.exe takes only memory routines from msvcrt.dll: %s" %
          (architecture, test_imports.get("msvcrt.dll")))
    Check(not hasattr(tests, "DIRECTORY_ENTRY_TLS"), "%s: HuecastTests.exe has no TLS callbacks" %
          architecture)
    print("%s: %d bytes" % (tests_path, os.path.getsize(tests_path)))
    Check(os.path.getsize(tests_path) < 32 * 1024, "%s: HuecastTests.exe is under 32 KiB" %
          architecture)

  # The version record is filed under the neutral language, as its string
  # table is.
  languages = []
  resources = getattr(pe, "DIRECTORY_ENTRY_RESOURCE", None)
  for kind in resources.entries if resources else []:
    if kind.id == pefile.RESOURCE_TYPE["RT_VERSION"]:
      for name in kind.directory.entries:
        languages.extend((entry.data.lang, entry.data.sublang) for entry in name.directory.entries)
  Check(languages == [(0, 0)], "%s: one version resource, language neutral: %s" %
        (architecture, languages))
  if not Check(hasattr(pe, "VS_FIXEDFILEINFO"), "%s: the version record is present" % architecture):
    return
  fixed = pe.VS_FIXEDFILEINFO[0]
  Check((fixed.Signature, fixed.FileVersionMS, fixed.FileVersionLS, fixed.ProductVersionMS,
         fixed.ProductVersionLS, fixed.FileFlags, fixed.FileOS, fixed.FileType,
         fixed.FileSubtype) == (0xFEEF04BD, 0x00020001, 0, 0x00020001, 0, 0, 0x00040004, 1, 0),
        "%s: the fixed version record: version 2.1.0.0 for file and product, no flags, "
        "VOS_NT_WINDOWS32, VFT_APP" % architecture)

  tables = []
  translations = []
  for info in pe.FileInfo[0]:
    if info.Key == b"StringFileInfo":
      tables.extend(info.StringTable)
    elif info.Key == b"VarFileInfo":
      for var in info.Var:
        translations.append(var.entry.get(b"Translation"))
  Check([t.LangID for t in tables] == [b"000004b0"], "%s: one string table, 000004b0" %
        architecture)
  if tables:
    entries = [(k.decode(), v.decode()) for k, v in tables[0].entries.items()]
    metadata = pathlib.Path(path).parent / "huecast-metadata"
    expected = VersionStrings(metadata)
    Check(entries == expected, "%s: version strings in order: %s" % (architecture, entries))
    Check(dict(expected)["LegalCopyright"].startswith("Copyright (c) "),
          "the copyright line comes from LICENSE: %s" % dict(expected)["LegalCopyright"])
  translations = [t.decode() if isinstance(t, bytes) else t for t in translations]
  Check(translations == ["0x0000 0x04b0"], "%s: translation 0x0000/0x04b0: %s" %
        (architecture, translations))


def CommandPe(args):
  """Reads both Huecast.exe images with pefile."""
  import pefile  # pylint: disable=import-outside-toplevel
  CheckImage(args, pefile, args.exe, "x64", "IMAGE_FILE_MACHINE_AMD64")
  CheckImage(args, pefile, args.arm64_exe, "ARM64", "IMAGE_FILE_MACHINE_ARM64")
  Finish()


# --- the acceptance program ---------------------------------------------------


def RunReport(command, env, report, expected, what, seconds=RUN_SECONDS):
  """Runs a HuecastTests.exe command that writes report, on a pseudo-terminal,
  where wine gives it a working console; returns its exit code and the lines
  of its report. When Wine itself failed and the run is repeated, the first
  report is kept beside the second and printed."""
  first = report.with_name("first-" + report.name)

  def Attempt():
    if report.exists():
      report.replace(first)
      print("The first attempt's report, kept as %s:\n%s" % (first, first.read_text(errors="replace")))
    return RunInTerminal(command, env, seconds=seconds)

  code, _ = RunWine(Attempt, expected, what)
  return code, report.read_text(errors="replace").splitlines() if report.exists() else []


def RunAcceptance(args, exe, report, extra_env=None):
  """Runs the x64 HuecastTests.exe against exe; a run with extra variables
  is one of the harness's own faults and must fail."""
  tests = os.path.join(os.path.dirname(args.exe), "HuecastTests.exe")
  return RunReport(["wine", tests, WindowsPath(exe), WindowsPath(report)],
                   dict(args.env, **(extra_env or {})), report, 0 if extra_env is None else 1,
                   "HuecastTests.exe")


def CheckReport(code, lines):
  """Prints a report of HuecastTests.exe and checks that every run counted
  under Wine passed; returns the counts its first line gives."""
  print("\n".join(lines))
  counts = re.search(r"makes (\d+) runs on Windows, (\d+) counted under Wine", "\n".join(lines[:1]))
  last = re.fullmatch(r"(\d+) passed, 0 failed", lines[-1]) if lines else None
  Check(counts is not None and last is not None and last.group(1) == counts.group(2),
        "every run counted under Wine passed: %r" % (lines[:1] + lines[-1:]))
  Check(code == 0, "HuecastTests.exe exits with 0, got %d" % code)
  return counts


def CommandAcceptance(args):
  """Runs the table against Huecast.exe: every run counted under Wine passes,
  and the hosted Windows job expects as many runs as the table makes there."""
  StartWine(args)
  work = WorkDirectory(args, "acceptance")
  code, lines = RunAcceptance(args, args.exe, work / "report.txt")
  counts = CheckReport(code, lines)
  action = pathlib.Path(args.source) / ".github" / "actions" / "windows-acceptance" / "action.yml"
  expected = re.search(r"WINDOWS_RUNS: '(\d+)'", action.read_text())
  Check(counts is not None and expected is not None and expected.group(1) == counts.group(1),
        "the hosted job expects the %s runs the table makes on Windows: %s" %
        (counts and counts.group(1), expected and expected.group(0)))
  Finish()


# The harness's own faults: one case run against a stand-in that hangs on a
# pipe and crashes on a file, and against Huecast.exe with a call of the
# harness planted to fail. Each must fail exactly its runs and go on.
# (executable, environment, expected last line, {place: text of its failure})
HARNESS_CASES = [
    ("HuecastStandIn.exe", {"HUECAST_TESTS_ONLY": "NotHelp"}, "1 passed, 2 failed",
     {"pipe": "did not end within 30 s", "file": "ended by exception C0000005"}),
    ("Huecast.exe", {"HUECAST_TESTS_ONLY": "TypicalCall", "HUECAST_TESTS_PLANT": "CreatePipe"},
     "7 passed, 2 failed",
     {"pipe": "CreatePipe failed with error 31 (planted)",
      "pipe without reader": "CreatePipe failed with error 31 (planted)"}),
    ("Huecast.exe", {"HUECAST_TESTS_ONLY": "TypicalCall", "HUECAST_TESTS_PLANT": "reopen"},
     "7 passed, 2 failed",
     {"file": "(the re-open) failed with error 31 (planted)",
      "handle without write access": "(the re-open) failed with error 31 (planted)"}),
]


def CommandHarness(args):
  """Runs HuecastTests.exe on its own faults: a hung run fails at its
  deadline, a crash fails with its exception code, a planted failure of a
  harness call fails its run, and the rest of the table still runs."""
  StartWine(args)
  work = WorkDirectory(args, "harness")
  for index, (exe, extra_env, last, failures) in enumerate(HARNESS_CASES):
    started = time.time()
    code, lines = RunAcceptance(args, os.path.join(os.path.dirname(args.exe), exe),
                                work / ("report-%d.txt" % index), extra_env)
    what = "%s with %s" % (exe, extra_env)
    print("%s, %.1f s:\n%s" % (what, time.time() - started, "\n".join(lines)))
    Check(code == 1 and lines[-1:] == [last], "%s ends with %r and exit 1" % (what, last))
    failed = {}
    for line in lines:
      match = re.match(r"FAIL \w+, ([^:]+): (.*)", line)
      if match:
        failed.setdefault(match.group(1), []).append(match.group(2))
    Check(sorted(failed) == sorted(failures), "%s fails in %s" % (what, sorted(failures)))
    for place, text in failures.items():
      Check(any(text in line for line in failed.get(place, [])),
            "%s, %s: %r is reported" % (what, place, text))
  Finish()


# A user's folder: a Latin letter beyond ASCII, a CJK character and one
# outside the BMP, which Wine's console shows as two U+FFFD.
UNICODE_FOLDER = "J\u00fcrgen \u65e5 \U0001F600"
UNICODE_SHOWN = "J\u00fcrgen \u65e5"


def CommandUnicodeFolder(args):
  """Runs HuecastTests.exe as a user would, from a folder whose name holds
  non-ASCII characters, on a pseudo-terminal under a UTF-8 locale: the report
  file names the folder in UTF-8, byte for byte, and the console shows it,
  which it does only for text written as UTF-16."""
  StartWine(args)
  folder = WorkDirectory(args, "unicode-folder") / UNICODE_FOLDER
  folder.mkdir()
  for name in ["Huecast.exe", "HuecastTests.exe"]:
    shutil.copy(os.path.join(os.path.dirname(args.exe), name), folder / name)
  env = dict(args.env, HUECAST_TESTS_ONLY="NonAscii")
  code, shown = RunWine(
      lambda: RunInTerminal(["wine", "HuecastTests.exe", "Huecast.exe", "report.txt"], env,
                            cwd=folder), 0, "HuecastTests.exe in %s" % folder)
  report = (folder / "report.txt").read_bytes() if (folder / "report.txt").exists() else b""
  print(report.decode(errors="replace"))
  Check(code == 0 and re.search(rb"\r\n[1-9]\d* passed, 0 failed\r\n$", report),
        "the run from %s passes: exit %d" % (folder, code))
  name = WindowsPath(folder / "Huecast.exe").encode()
  Check(name in report, "the report names %r in UTF-8: %r" % (name, report[:200]))
  # The console wraps the long line wherever the build folder puts its edge;
  # its attributes and cursor come as control sequences.
  text = re.sub(r"\x1b\[[0-9;?]*[A-Za-z]|\x1b[()][0-9A-Za-z]|\x1b.|[\r\n]", "",
                shown.decode("utf-8", errors="replace"))
  Check(UNICODE_SHOWN in text, "the console shows %r: %r" % (UNICODE_SHOWN, text[:300]))
  Finish()


# Linux's F_SETPIPE_SZ: a pipe of one page fills after 4096 bytes.
F_SETPIPE_SZ = 1031
CONTROL_SECONDS = 5


def CommandCtrlC(args):
  """Sends SIGINT, which Wine hands to the process as CTRL_C_EVENT, to
  Huecast.exe while it is blocked writing into a pipe that nobody reads: the
  system's own handler must end it within 5 s. Wine's exit code (0) is not
  the one Windows gives, so it is printed and not checked."""
  StartWine(args)
  reader, writer = os.pipe()
  fcntl.fcntl(writer, F_SETPIPE_SZ, 4096)
  errors = tempfile.TemporaryFile()
  process = subprocess.Popen(Wine(args, "07", "x" * 10000), env=args.env, stdin=subprocess.DEVNULL,
                             stdout=writer, stderr=errors)
  os.close(writer)
  held = array.array("i", [0])
  deadline = time.time() + RUN_SECONDS
  while process.poll() is None and held[0] < 4096 and time.time() < deadline:
    time.sleep(0.05)
    fcntl.ioctl(reader, termios.FIONREAD, held)
  blocked = Check(process.poll() is None and held[0] == 4096,
                  "Huecast.exe is blocked on a full pipe: %d bytes, exit %s" %
                  (held[0], process.poll()))
  if blocked:
    process.send_signal(signal.SIGINT)
    sent = time.time()
    try:
      process.wait(CONTROL_SECONDS)
      print("ended %.1f s after SIGINT with exit %d" % (time.time() - sent, process.returncode))
    except subprocess.TimeoutExpired:
      Check(False, "Huecast.exe did not end within %d s of SIGINT" % CONTROL_SECONDS)
  if process.poll() is None:
    process.kill()
    process.wait()
  os.close(reader)
  if FAILURES:
    errors.seek(0)
    print("Wine's standard error:\n" + errors.read().decode(errors="replace"))
  Finish()


# --- a pseudo-terminal, where wine gives a program a working console ------------


def RunInTerminal(command, env, cwd=None, seconds=RUN_SECONDS):
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
  deadline = time.time() + seconds
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
    Check(False, "%r did not end within %d s" % (command, seconds))
  errors.seek(0)
  return os.waitstatus_to_exitcode(status), output, errors.read()


# --- the demo batch file -------------------------------------------------------


def DemoRow(background):
  cells = "".join(" %X%X " % (background, fg) for fg in range(16))
  return " %X  %s" % (background, cells)


def CommandDemo(args):
  """Runs examples/Demo.cmd with wine's cmd, output to a file: everything in
  it is the program's own UTF-16 output, with the table of all 256 codes and
  the ERRORLEVEL of the refused code."""
  StartWine(args)
  work = WorkDirectory(args, "demo")
  shutil.copy(args.exe, work / "Huecast.exe")
  shutil.copy(pathlib.Path(args.source) / "examples" / "Demo.cmd", work / "Demo.cmd")
  code, got = RunWine(
      lambda: RunToFile(["wine", "cmd", "/c", "Demo.cmd"], args.env, work / "demo.out", cwd=work),
      0, "Demo.cmd")
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


# --- ARM64: arm64 Wine in an arm64 Debian root, run through qemu-user-static ---

BINFMT = pathlib.Path("/proc/sys/fs/binfmt_misc")
# qemu-user-static's handler; its F flag opens the emulator when registered,
# so that it serves inside the root too, where no x86-64 emulator lies.
QEMU_HANDLER = pathlib.Path("/usr/lib/binfmt.d/qemu-aarch64.conf")
ROOT_SECONDS = 1800
# The table takes about a minute under emulation on an idle machine.
ARM64_TABLE_SECONDS = 600
# Inside the root: the Wine prefix, and the folder that the files under test
# are copied into for each run.
ROOT_PREFIX = "/srv/wineprefix"
ROOT_WORK = "/srv/work"


def RequireArm64Emulation():
  """Makes sure that arm64 programs run here: binfmt_misc mounted, and the
  handler of qemu-user-static registered. Both are kernel-wide, so this is
  needed once a boot; it takes root. Skips (fails in CI) when it cannot."""
  if os.geteuid() != 0:
    Skip("the arm64 root needs root: binfmt_misc, chroot and mmdebstrap")
  if not (BINFMT / "register").exists():
    subprocess.run(["mount", "-t", "binfmt_misc", "binfmt_misc", str(BINFMT)],
                   stdin=subprocess.DEVNULL, timeout=RUN_SECONDS)
    if not (BINFMT / "register").exists():
      Skip("binfmt_misc cannot be mounted on %s" % BINFMT)
    print("mounted binfmt_misc on %s" % BINFMT)
  handler = BINFMT / "qemu-aarch64"
  if not handler.exists():
    line = [l for l in QEMU_HANDLER.read_text().splitlines() if l.startswith(":")][0]
    try:
      (BINFMT / "register").write_text(line)
    except OSError as error:
      Skip("the qemu-aarch64 handler cannot be registered: %s" % error)
    print("registered the qemu-aarch64 handler")
  status = handler.read_text()
  if not status.startswith("enabled") or "F" not in re.search(r"flags: (\w*)", status).group(1):
    Skip("the qemu-aarch64 handler is disabled or lacks the F flag:\n%s" % status)


def InRoot(args, command):
  """Returns a command that runs command inside the arm64 root, in a mount
  namespace of its own with /proc, /dev and a fresh /tmp, as root's user."""
  setup = ('set -e; root="$1"; shift; mount -t proc proc "$root/proc"; '
           'mount --rbind /dev "$root/dev"; mount -t tmpfs tmpfs "$root/tmp"; '
           'exec chroot "$root" "$@"')
  variables = ["%s=%s" % item for item in sorted(ROOT_ENVIRONMENT.items())]
  return ["unshare", "--mount", "--propagation", Propagation(), "--fork", "sh", "-c", setup, "_",
          args.arm64_root, "/usr/bin/env", "-i", *variables, *command]


@functools.cache
def Propagation():
  """Returns how the namespace's mounts are kept from the caller's. Inside a
  chroot, where / is no mount point, unshare cannot make / private; such a
  chroot (a fresh-machine check's, say) is run in a private namespace of its
  own already, so its mounts are left as they are. Asked once a run."""
  probe = subprocess.run(["unshare", "--mount", "--propagation", "private", "true"],
                         stdin=subprocess.DEVNULL, capture_output=True, timeout=RUN_SECONDS)
  return "private" if probe.returncode == 0 else "unchanged"


# What a program run in the root sees: wine's environment, and nothing else of
# ours.
ROOT_ENVIRONMENT = WineEnvironment(ROOT_PREFIX, {
    "HOME": "/root",
    "PATH": "/usr/sbin:/usr/bin:/sbin:/bin",
})


def CommandArm64Root(args):
  """Makes the arm64 root with arm64 Wine once (mmdebstrap, a few minutes)
  and its Wine prefix; both stay in the build folder for later runs."""
  RequireArm64Emulation()
  root = pathlib.Path(args.arm64_root)
  if not (root / "usr" / "bin" / "wine").exists():
    partial = root.with_name(root.name + ".partial")
    shutil.rmtree(partial, ignore_errors=True)
    shutil.rmtree(root, ignore_errors=True)
    root.parent.mkdir(parents=True, exist_ok=True)
    started = time.time()
    completed = subprocess.run(
        ["mmdebstrap", "--quiet", "--arch=arm64", "--variant=minbase", "--include=wine,wine64",
         "bookworm", str(partial)], stdin=subprocess.DEVNULL, timeout=ROOT_SECONDS)
    if completed.returncode != 0 or not (partial / "usr" / "bin" / "wine").exists():
      print("FAIL: mmdebstrap did not make an arm64 root with wine in %s" % partial)
      sys.exit(1)
    partial.rename(root)
    print("made the arm64 root %s in %.0f s" % (root, time.time() - started))
  arch = subprocess.run(InRoot(args, ["dpkg", "--print-architecture"]),
                        stdin=subprocess.DEVNULL, capture_output=True, timeout=RUN_SECONDS)
  if not Check(arch.stdout.strip() == b"arm64",
               "the root runs arm64 programs: %r %r" % (arch.stdout, arch.stderr)):
    Finish()
  if not (root / ROOT_PREFIX.lstrip("/") / "system.reg").exists():
    started = time.time()
    subprocess.run(InRoot(args, ["sh", "-c", "wineboot --init && wineserver -w"]),
                   stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                   timeout=ROOT_SECONDS)
    print("initialised the arm64 Wine prefix in %.1f s" % (time.time() - started))
  Check((root / ROOT_PREFIX.lstrip("/") / "system.reg").exists(),
        "wineboot made the arm64 Wine prefix %s" % ROOT_PREFIX)
  Finish()


def CommandArm64Acceptance(args):
  """Runs the ARM64 HuecastTests.exe against the ARM64 Huecast.exe under
  arm64 Wine, on a pseudo-terminal as on x64: every run counted under Wine
  must pass."""
  RequireArm64Emulation()
  root = pathlib.Path(args.arm64_root)
  if not (root / ROOT_PREFIX.lstrip("/") / "system.reg").exists():
    print("FAIL: the arm64 root or its Wine prefix was not made: %s" % root)
    sys.exit(1)
  work = root / ROOT_WORK.lstrip("/")
  shutil.rmtree(work, ignore_errors=True)
  work.mkdir(parents=True)
  for name in ["Huecast.exe", "HuecastTests.exe"]:
    built = os.path.join(os.path.dirname(args.arm64_exe), name)
    if not os.path.isfile(built):
      print("FAIL: %s was not built" % built)
      sys.exit(1)
    shutil.copy(built, work / name)
  windows = "Z:" + ROOT_WORK.replace("/", "\\") + "\\"
  command = InRoot(args, ["wine", windows + "HuecastTests.exe", windows + "Huecast.exe",
                          windows + "report.txt"])
  started = time.time()
  code, lines = RunReport(command, os.environ, work / "report.txt", 0,
                          "the ARM64 HuecastTests.exe", ARM64_TABLE_SECONDS)
  print("the ARM64 table ran in %.0f s" % (time.time() - started))
  CheckReport(code, lines)
  Finish()


COMMANDS = {
    "arm64-root": CommandArm64Root,
    "arm64-acceptance": CommandArm64Acceptance,
    "prefix": CommandPrefix,
    "pe": CommandPe,
    "acceptance": CommandAcceptance,
    "harness": CommandHarness,
    "demo": CommandDemo,
    "unicode-folder": CommandUnicodeFolder,
    "ctrl-c": CommandCtrlC,
}


def Main():
  parser = argparse.ArgumentParser(description=__doc__)
  parser.add_argument("--source", required=True, help="the source directory")
  parser.add_argument("--exe", required=True, help="the Windows executable")
  parser.add_argument("--prefix", required=True, help="the wine prefix")
  parser.add_argument("--work", required=True, help="a directory for the tests' files")
  parser.add_argument("--arm64-exe", required=True, help="the Windows ARM64 executable")
  parser.add_argument("--arm64-root", required=True,
                      help="the arm64 Debian root that runs arm64 Wine, kept between runs")
  parser.add_argument("command", choices=sorted(COMMANDS))
  args = parser.parse_args()
  args.env = WineEnvironment(args.prefix, dict(os.environ, WINEARCH="win64"))
  COMMANDS[args.command](args)


if __name__ == "__main__":
  Main()
