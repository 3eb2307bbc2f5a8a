"""The project's metadata: the version, which project() in CMakeLists.txt
sets; a release's entry in CHANGELOG.md; and what the build writes into
<build>/huecast-metadata, key=value lines filled in from CMakeLists.txt by
cmake/metadata.cmake. This is the one reader of each, and the one place that
says which release settings are real: the placeholder rule for addresses and
e-mail domains, the maintainer's form and the winget publisher. The version
and the changelog are read from the source tree that holds this file, with
no build: the release workflow checks its tag before anything is built.
Python tools import it; shell scripts run

  python3 tools/metadata.py version
      prints the project version, x.y.z
  python3 tools/metadata.py changelog VERSION [NOTES]
      prints the date of CHANGELOG.md's entry for VERSION, and with NOTES
      writes the entry's text there as the release's notes (Notes below);
      fails when there is no such entry or it is empty
  python3 tools/metadata.py FILE KEY
      prints the value, and fails when the file lacks the key
  python3 tools/metadata.py placeholder HOST
      succeeds when HOST is a placeholder, fails when it is not
  python3 tools/metadata.py maintainer [--publish] "NAME <E-MAIL>"
      prints the name and the address on two lines; fails when the text is
      not of that form, and with --publish when the domain is a placeholder
  python3 tools/metadata.py publisher HOME [ID]
      prints the publisher segment of the winget identifier (ID, else the
      owner of a GitHub home, else nothing); fails when it is no valid one
"""
import pathlib
import re
import sys

# The source tree: the one this file is in.
ROOT = pathlib.Path(__file__).resolve().parents[1]

# The project version: a line "VERSION x.y.z" of its own in project(Huecast ...).
PROJECT = re.compile(r"^project\(Huecast[^)]*\)", re.M)
VERSION_LINE = re.compile(r"^ *VERSION ([0-9][0-9.]*)$", re.M)

# A release's entry in CHANGELOG.md: its heading, "## [<version>] - YYYY-MM-DD",
# then its text, up to the next second-level heading or the link definitions
# at the end of the file.
ENTRY_DATE = re.compile(r"[0-9]{4}-[0-9]{2}-[0-9]{2}")
ENTRY_END = re.compile(r"## |\[[^]]*\]: ")

# In an entry's text: a heading, a list item (its marker, and any indent
# before it, kept), a table row and a code fence each start a line of their
# own.
HEADING = re.compile(r"#{1,6} ")
LIST_ITEM = re.compile(r" *([-*+]|[0-9]+[.)]) ")
TABLE_ROW = re.compile(r" *\|")
FENCE = re.compile(r" *(```|~~~)")

# Names reserved for examples and tests (RFC 2606, RFC 6761), which the
# placeholders of local builds use: a host under .invalid, .example, .test or
# .localhost, or example.com, .net or .org and the names under them.
PLACEHOLDER_HOST = re.compile(r"(^|\.)(invalid|example|test|localhost|example\.(com|net|org))\.?$",
                              re.I)

# "Name <local@domain>": the name is what Debian's Maintainer field, the
# version record's strings and YAML take without quoting trouble, so it has
# no quote, backslash, comma, angle bracket or control character; the
# domain has at least two labels.
MAINTAINER = re.compile(r"([^\"\\,<>\x00-\x1f\x7f]*[^\s\"\\,<>\x00-\x1f\x7f]) "
                        r"<([A-Za-z0-9.!#$%&'*+/=?^_`{|}~-]+)@"
                        r"((?:[A-Za-z0-9](?:[A-Za-z0-9-]*[A-Za-z0-9])?\.)+"
                        r"[A-Za-z0-9](?:[A-Za-z0-9-]*[A-Za-z0-9])?)>")

# One segment of a winget package identifier, as its schema allows.
IDENTIFIER_SEGMENT = re.compile(r"[^.\s\\/:*?\"<>|\x00-\x1f]{1,32}")

# A home on GitHub, https://github.com/<owner>/<repository>.
GITHUB_HOME = re.compile(r"https://github\.com/([^/]+)/[^/]+")


def Read(path):
  """Returns the metadata of a file as a dict of texts."""
  lines = pathlib.Path(path).read_text(encoding="utf-8").splitlines()
  return dict(line.split("=", 1) for line in lines if "=" in line)


def Version(root=ROOT):
  """Returns the project version and no complaint, or None and what is
  wrong."""
  project = PROJECT.search((root / "CMakeLists.txt").read_text(encoding="utf-8"))
  versions = VERSION_LINE.findall(project.group()) if project else []
  if len(versions) != 1 or not re.fullmatch(r"[0-9]+\.[0-9]+\.[0-9]+", versions[0]):
    return None, "CMakeLists.txt names no project version"
  return versions[0], None


def ChangelogEntry(version, root=ROOT):
  """Finds CHANGELOG.md's entry for a version. Returns its date and its text,
  without the empty lines around it, and no complaint; or None and what is
  wrong."""
  # Lines end at a line feed alone, so that a heading ending in a carriage
  # return is no heading.
  with open(root / "CHANGELOG.md", encoding="utf-8", newline="") as changelog:
    lines = changelog.read().split("\n")
  heading = "## [%s] - " % version
  for start, line in enumerate(lines):
    if line.startswith(heading) and ENTRY_DATE.fullmatch(line[len(heading):]):
      break
  else:
    return None, "CHANGELOG.md has no entry \"## [%s] - YYYY-MM-DD\"" % version
  end = next((at for at in range(start + 1, len(lines)) if ENTRY_END.match(lines[at])), len(lines))
  text = "\n".join(lines[start + 1:end]).strip("\n")
  if not re.search(r"[^ \t\n\v\f\r]", text):  # white space as C has it, no more
    return None, "the CHANGELOG.md entry for %s is empty" % version
  return (lines[start][len(heading):], text), None


def Notes(text):
  """Unwraps an entry's text for places that break a line at every line end,
  as GitHub's release page does: each paragraph and each list item on one
  line, headings, table rows and code blocks kept as they are."""
  lines, joinable, fenced = [], False, False
  for line in text.split("\n"):
    if FENCE.match(line):
      fenced = not fenced
    if fenced or FENCE.match(line) or not line.strip():
      lines.append(line.rstrip())
      joinable = False
    elif joinable and not (HEADING.match(line) or LIST_ITEM.match(line) or TABLE_ROW.match(line)):
      lines[-1] += " " + line.strip()
    else:
      lines.append(line.rstrip())
      joinable = not (HEADING.match(line) or TABLE_ROW.match(line))
  return "\n".join(lines)


def IsPlaceholderHost(host):
  """Tells whether a host name is one reserved for examples and tests."""
  return bool(PLACEHOLDER_HOST.search(host))


def Maintainer(text, publish=False):
  """Splits "Name <e-mail>" into its name and address. Returns them and no
  complaint, or None and what is wrong."""
  found = MAINTAINER.fullmatch(text.strip())
  if not found:
    return None, "the maintainer %r is not of the form \"Name <e-mail>\"" % text
  name, local, domain = found.groups()
  address = "%s@%s" % (local, domain)
  if publish and IsPlaceholderHost(domain):
    return None, "the maintainer's address %s is a placeholder, which reaches nobody" % address
  return (name, address), None


def Publisher(home, given=""):
  """Returns the publisher segment of the winget identifier: the one given,
  else the owner of a GitHub home, else ""; and what is wrong with it."""
  if not given:
    owner = GITHUB_HOME.fullmatch(home.rstrip("/"))
    given = owner.group(1) if owner else ""
  if given and not IDENTIFIER_SEGMENT.fullmatch(given):
    return "", "the publisher %r is no winget identifier segment (1 to 32 characters, no dot, " \
        "space or any of \\/:*?\"<>|)" % given
  return given, None


def main(arguments):
  """Runs one of the commands the module's description lists."""
  if arguments == ["version"]:
    version, complaint = Version()
    if complaint:
      sys.exit(complaint)
    print(version)
    return 0
  if arguments[:1] == ["changelog"] and len(arguments) in (2, 3):
    entry, complaint = ChangelogEntry(arguments[1])
    if complaint:
      sys.exit(complaint)
    if len(arguments) == 3:
      pathlib.Path(arguments[2]).write_text(Notes(entry[1]) + "\n", encoding="utf-8")
    print(entry[0])
    return 0
  if len(arguments) == 2 and arguments[0] == "placeholder":
    return 0 if IsPlaceholderHost(arguments[1]) else 1
  if arguments[:1] == ["maintainer"] and len(arguments) in (2, 3):
    publish = arguments[1] == "--publish"
    if len(arguments) != 2 + publish:
      sys.exit("usage: metadata.py maintainer [--publish] \"NAME <E-MAIL>\"")
    maintainer, complaint = Maintainer(arguments[-1], publish)
    if complaint:
      sys.exit(complaint)
    print("\n".join(maintainer))
    return 0
  if arguments[:1] == ["publisher"] and len(arguments) in (2, 3):
    publisher, complaint = Publisher(*arguments[1:])
    if complaint:
      sys.exit(complaint)
    print(publisher)
    return 0
  if len(arguments) != 2:
    sys.exit("usage: metadata.py FILE KEY")
  values = Read(arguments[0])
  if arguments[1] not in values:
    sys.exit("%s names no %s" % (arguments[0], arguments[1]))
  print(values[arguments[1]])
  return 0


if __name__ == "__main__":
  sys.exit(main(sys.argv[1:]))
