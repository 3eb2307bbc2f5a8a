"""The project's metadata as the build writes it: <build>/huecast-metadata,
key=value lines filled in from CMakeLists.txt by cmake/metadata.cmake. This
is the one reader of that file. Python tools import Read; shell scripts run

  python3 tools/metadata.py FILE KEY

which prints the value, and fails when the file lacks the key.
"""
import pathlib
import sys


def Read(path):
  """Returns the metadata of a file as a dict of texts."""
  lines = pathlib.Path(path).read_text(encoding="utf-8").splitlines()
  return dict(line.split("=", 1) for line in lines if "=" in line)


if __name__ == "__main__":
  if len(sys.argv) != 3:
    sys.exit("usage: metadata.py FILE KEY")
  values = Read(sys.argv[1])
  if sys.argv[2] not in values:
    sys.exit("%s names no %s" % (sys.argv[1], sys.argv[2]))
  print(values[sys.argv[2]])
