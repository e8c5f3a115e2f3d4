#!/usr/bin/env python3
"""Memory per qubit of a few large graph states, each built in a fresh process.

    PYTHONPATH=build/python python3 bench/row_memory.py [empty cluster1d ghz cluster2d] [--size N]
    python3 bench/row_memory.py --build /path/to/build          # that build's python/ directory

  empty      Korvane(n), nothing applied
  cluster1d  h on every qubit, cz(i, i + 1)
  ghz        h(0), cx(0, i) for i = 1 .. n - 1 (one qubit of degree n - 1)
  cluster2d  L = round(sqrt(n)), n = L * L: h on every qubit, cz on grid neighbours (degree 4)

The child reads its peak RSS (ru_maxrss) after `import korvane` and again once the state is
built; the figure is the growth divided by n, in bytes per qubit. The loops iterate over
range objects, so the circuit itself adds nothing that outlives one call. Prints a table,
then one JSON line per run.
"""

import argparse
import json
import math
import os
import pathlib
import resource
import subprocess
import sys
import time

STATES = ["empty", "cluster1d", "ghz", "cluster2d"]


def peak_bytes():
    return resource.getrusage(resource.RUSAGE_SELF).ru_maxrss * 1024  # KiB on Linux


def child(state, n):
    import korvane
    if state == "cluster2d":
        L = round(math.sqrt(n))
        n = L * L
    before = peak_bytes()
    t0 = time.perf_counter()
    sim = korvane.Korvane(n)
    h, cz, cx = sim.h, sim.cz, sim.cx
    if state == "cluster1d":
        for q in range(n):
            h(q)
        for q in range(n - 1):
            cz(q, q + 1)
    elif state == "ghz":
        h(0)
        for q in range(1, n):
            cx(0, q)
    elif state == "cluster2d":
        for q in range(n):
            h(q)
        for r in range(0, n, L):  # row by row: right neighbour, then the one below
            for q in range(r, r + L):
                if q + 1 < r + L:
                    cz(q, q + 1)
                if q + L < n:
                    cz(q, q + L)
    seconds = time.perf_counter() - t0
    after = peak_bytes()
    print(json.dumps({"state": state, "n": n, "bytes_per_qubit": round((after - before) / n, 1),
                      "peak_before_mib": round(before / 2**20, 1), "peak_after_mib": round(after / 2**20, 1),
                      "seconds": round(seconds, 3), "build": os.path.dirname(korvane.__file__)}))


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("states", nargs="*", default=STATES, metavar="STATE", help=", ".join(STATES))
    parser.add_argument("--size", type=int, action="append", help="qubit counts (default 10^6 and 10^7)")
    parser.add_argument("--build", help="a build directory (its python/ subdirectory is used) or a python directory")
    parser.add_argument("--child", nargs=2, help=argparse.SUPPRESS)
    args = parser.parse_args()
    if set(args.states) - set(STATES):
        parser.error(f"unknown state: {sorted(set(args.states) - set(STATES))}")
    if args.child:
        child(args.child[0], int(args.child[1]))
        return
    env = dict(os.environ)
    if args.build:
        path = pathlib.Path(args.build).resolve()
        env["PYTHONPATH"] = str(path / "python" if (path / "python").is_dir() else path)
    runs = []
    print(f"{'state':<10} {'n':>10} {'bytes/qubit':>12} {'peak before':>12} {'peak after':>12} {'seconds':>8}")
    for n in args.size or [10**6, 10**7]:
        for state in args.states:
            out = subprocess.run([sys.executable, __file__, "--child", state, str(n)],
                                 env=env, capture_output=True, text=True)
            if out.returncode != 0:
                print(f"{state} {n} failed: {out.stderr.strip()}", flush=True)
                continue
            run = json.loads(out.stdout)
            runs.append(run)
            print(f"{state:<10} {run['n']:>10} {run['bytes_per_qubit']:>12} {run['peak_before_mib']:>8} MiB"
                  f" {run['peak_after_mib']:>8} MiB {run['seconds']:>8}", flush=True)
    for run in runs:
        print(json.dumps(run))


if __name__ == "__main__":
    main()
