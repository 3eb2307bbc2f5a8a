#!/usr/bin/env python3
"""Holds the unit and end-to-end tests to the deliberate faults of faults.py.

Copies the files git knows into WORK/tree, only those that changed, builds the
tool and both test programs there with the test preset and checks that they
pass. Then it applies each fault alone, rebuilds what it touches, runs both
programs and names the tests that failed. It fails when a fault's pattern does
not occur exactly once, when a faulty tree does not build or passes every test.

Usage: run.py --source DIR --work DIR [--cmake CMAKE]
"""
import argparse
import os
import re
import subprocess
import sys
import time

from faults import FAULTS

TARGETS = ["huecast", "huecast_unit_tests", "huecast_e2e_tests"]
PROGRAMS = ["tests/huecast_unit_tests", "tests/huecast_e2e_tests"]
FAILED = re.compile(r"^\[  FAILED  \] ([^\s,]+\.[^\s,]+)", re.M)  # a name, not "N tests"


def read(path):
    with open(path, "rb") as f:
        return f.read()


def write(path, data):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(data)


def sync(source, tree):
    listed = subprocess.run(["git", "ls-files", "-z"], cwd=source, check=True,
                            capture_output=True).stdout.decode().split("\0")
    for name in listed:
        origin, copy = os.path.join(source, name), os.path.join(tree, name)
        if name and os.path.isfile(origin) and (not os.path.isfile(copy)
                                                or read(copy) != read(origin)):
            write(copy, read(origin))
            os.chmod(copy, os.stat(origin).st_mode)


def with_fault(file, pattern, replacement, trial):
    """Runs trial() with the one occurrence of pattern in file replaced, and
    puts the file back; gives (complaint, None) when the pattern does not
    occur exactly once, else ("", what trial gave)."""
    original = read(file).decode()
    if original.count(pattern) != 1:
        return f"its pattern occurs {original.count(pattern)} times", None
    try:
        write(file, original.replace(pattern, replacement).encode())
        return "", trial()
    finally:
        write(file, original.encode())


def build(cmake, build_dir):
    run = subprocess.run([cmake, "--build", build_dir, "-j2", "--target", *TARGETS],
                         capture_output=True, text=True, errors="replace")
    return "" if run.returncode == 0 else run.stdout[-3000:] + run.stderr[-3000:]


def failed_tests(build_dir):
    """Runs both programs; a fault may make one crash or hang, which counts."""
    env = {k: v for k, v in os.environ.items() if not k.startswith(("HUECAST_TOOL", "GTEST_"))}
    failed = []
    for program in PROGRAMS:
        name = os.path.basename(program)
        try:
            run = subprocess.run([os.path.join(build_dir, program), "--gtest_brief=1"], env=env,
                                 capture_output=True, text=True, errors="replace", timeout=300)
        except subprocess.TimeoutExpired:
            failed.append(f"{name} (hung)")
            continue
        names = sorted(set(FAILED.findall(run.stdout)))
        failed += names or ([f"{name} (exit {run.returncode})"] if run.returncode else [])
    return failed


def compact(names):
    """Joins the names, the rows of one parameterised test in braces."""
    groups = {}
    for name in names:
        head, _, row = name.rpartition("/") if name.count("/") > 1 else (name, "", "")
        groups.setdefault(head, []).append(row)
    return ", ".join(head + (f"/{{{','.join(rows)}}}" if rows[0] else "")
                     for head, rows in groups.items())


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--source", required=True)
    parser.add_argument("--work", required=True)
    parser.add_argument("--cmake", default="cmake")
    args = parser.parse_args()
    tree = os.path.join(os.path.abspath(args.work), "tree")
    build_dir = os.path.join(tree, "build", "test")
    started = time.monotonic()
    sync(os.path.abspath(args.source), tree)
    if not os.path.isfile(os.path.join(build_dir, "CMakeCache.txt")):
        subprocess.run([args.cmake, "--preset", "test"], cwd=tree, check=True,
                       stdout=subprocess.DEVNULL)
    errors = build(args.cmake, build_dir)
    failed = [] if errors else failed_tests(build_dir)
    if failed:  # a test of timing may lose once to a loaded machine, not twice
        failed = failed_tests(build_dir)
    if errors or failed:
        return f"the tree without faults fails: {errors}{compact(failed)}"
    print(f"the tree without faults builds and passes ({time.monotonic() - started:.0f} s)")

    def trial():
        """Rebuilds what a fault touches; gives the errors, or the failed tests."""
        errors = build(args.cmake, build_dir)
        return errors, [] if errors else failed_tests(build_dir)

    wrong = []
    for what, path, pattern, replacement in FAULTS:
        started = time.monotonic()
        complaint, result = with_fault(os.path.join(tree, path), pattern, replacement, trial)
        if complaint:
            wrong.append(f"{what}: {complaint} in {path}")
            print("NOT APPLIED", wrong[-1])
            continue
        errors, failed = result
        took = f"{time.monotonic() - started:.0f} s"
        if errors or not failed:
            wrong.append(f"{what} ({path}) " + (f"does not build:\n{errors}" if errors else
                                                "passes every test"))
            print("NOT CAUGHT ", wrong[-1], took)
        else:
            print(f"caught by {len(failed)}: {what} ({path}, {took}): {compact(failed)}")
    if wrong:
        return f"{len(wrong)} of {len(FAULTS)} faults went wrong:\n" + "\n".join(wrong)
    print(f"all {len(FAULTS)} faults caught")
    return 0


if __name__ == "__main__":
    sys.exit(main())
