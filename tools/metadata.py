"""The project's metadata as the build writes it: <build>/huecast-metadata,
key=value lines filled in from CMakeLists.txt by cmake/metadata.cmake. This
is the one reader of that file, and the one place that says which release
settings are real: the placeholder rule for addresses and e-mail domains,
the maintainer's form and the winget publisher. Python tools import it;
shell scripts run

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
