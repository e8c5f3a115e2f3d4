#!/usr/bin/env python3
"""One workload on two builds, runs alternating A B A B ..., medians and their ratio.

    python3 bench/compare_builds.py build build-native W4 --size 21 --rounds 15
    python3 -m pip install --target /tmp/wheel dist/korvane-*-cp311-*x86_64.whl
    python3 bench/compare_builds.py build /tmp/wheel W2 --size 1000

A build is a build tree (its python/ directory is used) or a directory with the module in it.

On a shared machine whose speed drifts, alternating runs see the same conditions; the
ratio of medians (B over A) is the figure to quote. Every run is a fresh process of
bench/python_bench.py on the same circuit. The order within a round swaps every round
(A B, B A, A B, ...): on some machines the second run of a pair is faster by a few per
cent, and an even number of rounds gives each build that place equally often.
"""

import argparse
import json
import os
import pathlib
import statistics
import subprocess
import sys

BENCH = pathlib.Path(__file__).with_name("python_bench.py")


def module_dir(build):
    """A build tree's python/ directory, or else a directory that holds the module itself:
    an installed wheel (pip install --target DIR, or a venv's site-packages)."""
    path = pathlib.Path(build).resolve()
    return path / "python" if (path / "python").is_dir() else path


def run(build, workload, size, seed):
    env = dict(os.environ, PYTHONPATH=str(module_dir(build)))
    out = subprocess.run([sys.executable, str(BENCH), "--child", workload, str(size), str(seed)],
                         env=env, check=True, capture_output=True, text=True).stdout
    return json.loads(out)["seconds"]


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("build_a")
    parser.add_argument("build_b")
    parser.add_argument("workload")
    parser.add_argument("--size", type=int, required=True)
    parser.add_argument("--rounds", type=int, default=6)
    parser.add_argument("--seed", type=int, default=1)
    args = parser.parse_args()
    builds = (args.build_a, args.build_b)
    times = ([], [])
    for round_ in range(args.rounds):
        order = (0, 1) if round_ % 2 == 0 else (1, 0)
        for k in order:
            times[k].append(run(builds[k], args.workload, args.size, args.seed))
    med_a, med_b = (statistics.median(runs) for runs in times)
    for build, runs in zip(builds, times):
        print(f"{build}: median {statistics.median(runs):.4f} s of {' '.join(f'{t:.4f}' for t in runs)}")
    print(f"{args.workload} size {args.size}: {args.build_b} / {args.build_a} = {med_b / med_a:.3f}")


if __name__ == "__main__":
    main()
