#!/usr/bin/env python3
"""Holds the fuzz targets to the deliberate faults of fuzz_faults.py.

Copies the files git knows into WORK/tree and builds the fuzz targets there
with the sanitize preset. Then it applies each fault alone, rebuilds its
target, replays the committed corpus, which must not find the fault, and
fuzzes from that corpus for RUNS runs with each of the fixed seeds, so that a
loaded machine gives the same answer. It reports after how many runs each
seed found each fault, and fails when the replay finds one or a seed misses
one. The unchanged code is held to the same runs first. It runs for many
minutes, so it is run by hand, not by the suite.

Usage: fuzz.py --source DIR --work DIR [--cmake CMAKE] [--runs N]
"""
import argparse
import glob
import os
import re
import subprocess
import sys

from fuzz_faults import FUZZ_FAULTS
from run import sync, with_fault

SEEDS = [1, 2, 3]
EXECUTED = re.compile(r"stat::number_of_executed_units: (\d+)")


def fuzz(program, corpus, scratch, seed, runs):
    """Returns the runs after the corpus's own that found a fault, or None."""
    os.makedirs(scratch, exist_ok=True)
    for name in os.listdir(scratch):
        os.remove(os.path.join(scratch, name))
    inputs = len(os.listdir(corpus))
    # New inputs go to scratch, the first folder, never to the repository;
    # without -reload=0 a re-read of it each second makes a run depend on time.
    run = subprocess.run([program, f"-seed={seed}", f"-runs={runs + inputs}", "-reload=0",
                          "-timeout=10", "-print_final_stats=1", f"-artifact_prefix={scratch}/",
                          scratch, corpus],
                         capture_output=True, text=True, errors="replace")
    if run.returncode == 0:
        return None
    executed = EXECUTED.search(run.stderr)
    return int(executed.group(1)) - inputs if executed else -1


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--source", required=True)
    parser.add_argument("--work", required=True)
    parser.add_argument("--cmake", default="cmake")
    parser.add_argument("--runs", type=int, default=5000)
    args = parser.parse_args()
    source = os.path.abspath(args.source)
    tree = os.path.join(os.path.abspath(args.work), "tree")
    build_dir = os.path.join(tree, "build", "sanitize")
    scratch = os.path.join(os.path.abspath(args.work), "scratch")
    sync(source, tree)
    if not os.path.isfile(os.path.join(build_dir, "CMakeCache.txt")):
        subprocess.run([args.cmake, "--preset", "sanitize"], cwd=tree, check=True,
                       stdout=subprocess.DEVNULL, env={**os.environ, "HUECAST_BUILD_ROOT": ""})

    def trial(target):
        """Builds a target and runs it: replay, then each seed's findings."""
        built = subprocess.run([args.cmake, "--build", build_dir, "-j2", "--target",
                                f"{target}_fuzzer"], capture_output=True, text=True)
        if built.returncode != 0:
            return "does not build", []
        program = os.path.join(build_dir, "fuzz", f"{target}_fuzzer")
        corpus = os.path.join(source, "fuzz", "corpus", target)
        replay = subprocess.run([program, "-timeout=10", *glob.glob(os.path.join(corpus, "*"))],
                                capture_output=True)
        return ("found by the replay" if replay.returncode else "",
                [fuzz(program, corpus, scratch, seed, args.runs) for seed in SEEDS])

    wrong = []
    for target in sorted({fault[1] for fault in FUZZ_FAULTS}):
        problem, found = trial(target)
        if problem or any(n is not None for n in found):
            wrong.append(f"unchanged {target}: {problem or 'found a fault'} {found}")
            print(wrong[-1], flush=True)
    for what, target, path, pattern, replacement in FUZZ_FAULTS:
        complaint, result = with_fault(os.path.join(tree, path), pattern, replacement,
                                       lambda: trial(target))
        if complaint:
            wrong.append(f"{what}: {complaint} in {path}")
            print(wrong[-1], flush=True)
            continue
        problem, found = result
        runs = ", ".join(f"seed {seed}: {'missed' if n is None else n}"
                         for seed, n in zip(SEEDS, found))
        print(f"{what} ({target}): {problem or runs}", flush=True)
        if problem or None in found:
            wrong.append(what)
    if wrong:
        return f"{len(wrong)} went wrong:\n" + "\n".join(wrong)
    print(f"all {len(FUZZ_FAULTS)} faults found within {args.runs} runs by each seed")
    return 0


if __name__ == "__main__":
    sys.exit(main())
