#!/usr/bin/env python3
"""End-to-end workloads, driven from Python exactly as a user would call korvane.

    PYTHONPATH=build/python python3 bench/python_bench.py [W1 W2 ...] [--repeat 3]

Every run happens in a fresh child process, so its peak RSS is its own. Circuits are
generated from random.Random(seed) before the clock starts; the clock covers creating
the simulator and every call. One line per run: workload, size, seconds, peak RSS.

  W1  call overhead: h(i % 64) two million times, against d.get(i % 64) on an empty dict
  W2  L x L cluster state: h everywhere, cz on grid neighbours, measure X/Y checkerboard
  W3  random dense circuit: 20 n gates from h, s, cx, then measure_z on every qubit
  W4  rotated surface-code memory experiment, distance d, d rounds
  W5  GHZ by fan-out: h(0), cx(0, i), measure_z on every qubit
  W6  1D cluster of n qubits (h on all, cz(i, i + 1)), cut into segments of 999 by
      measure_z on qubits 999, 1999, ...; measure_x on every qubit of the segment
      1000 .. 1998; get_entangled_group on one qubit of each of about 300 segments. Reports
      build, measurement and group seconds, each beside its CPython floor (the same loops
      calling d.get on an empty dict). Peak RSS at the default 10^8 qubits is about n times
      what bench/row_memory.py gives per qubit for the 1D cluster; use --size for less.
"""

import argparse
import json
import random
import resource
import statistics
import subprocess
import sys
import time

SIZES = {"W1": [64], "W2": [100, 1000], "W3": [64, 256, 1024], "W4": [5, 11, 21], "W5": [10**5, 10**6], "W6": [10**8]}


def w1(n, seed):
    from korvane import Korvane
    calls = 2_000_000
    h = Korvane(n).h
    d = {}
    get = d.get
    t0 = time.perf_counter()
    for i in range(calls):
        h(i % n)
    t1 = time.perf_counter()
    for i in range(calls):
        get(i % n)
    t2 = time.perf_counter()
    return t1 - t0, {"floor_seconds": round(t2 - t1, 4), "ratio": round((t1 - t0) / (t2 - t1), 3)}


def w2(L, seed):
    from korvane import Korvane
    n = L * L
    # Row-major: each qubit's right then lower neighbour. The order does not change the
    # graph, but it sets where the rows land in memory, and that shows at L = 1000
    # (1.2 to 1.7 times slower with the pairs shuffled).
    pairs = []
    for r in range(L):
        for c in range(L):
            q = r * L + c
            if c + 1 < L:
                pairs.append((q, q + 1))
            if r + 1 < L:
                pairs.append((q, q + L))
    t0 = time.perf_counter()
    sim = Korvane(n)
    h, cz, mx, my = sim.h, sim.cz, sim.measure_x, sim.measure_y
    for q in range(n):
        h(q)
    for a, b in pairs:
        cz(a, b)
    for r in range(L):
        for c in range(L):
            (mx if (r + c) % 2 == 0 else my)(r * L + c)
    return time.perf_counter() - t0, {}


def w3_ops(n, seed):
    """The circuit: 20 n gates, each h, s or cx with equal odds; (kind, a, b) each."""
    rng = random.Random(seed)
    ops = []
    for _ in range(20 * n):
        kind = rng.randrange(3)
        if kind < 2:
            ops.append((kind, rng.randrange(n), 0))
        else:
            a, b = rng.sample(range(n), 2)
            ops.append((2, a, b))
    return ops


def w3(n, seed):
    from korvane import Korvane
    ops = w3_ops(n, seed)
    t0 = time.perf_counter()
    sim = Korvane(n)
    h, s, cx, mz = sim.h, sim.s, sim.cx, sim.measure_z
    for kind, a, b in ops:
        if kind == 0:
            h(a)
        elif kind == 1:
            s(a)
        else:
            cx(a, b)
    for q in range(n):
        mz(q)
    return time.perf_counter() - t0, {}


def surface_code(d):
    """Plaquettes of a rotated surface code: (ancilla kind, data qubits in CX order)."""
    def data(r, c):
        return r * d + c if 0 <= r < d and 0 <= c < d else None
    plaquettes = []
    for r in range(-1, d):
        for c in range(-1, d):
            kind = "X" if (r + c) % 2 == 0 else "Z"
            if (r in (-1, d - 1) and kind == "Z") or (c in (-1, d - 1) and kind == "X"):
                continue
            if r in (-1, d - 1) and c in (-1, d - 1):
                continue
            nw, ne, sw, se = data(r, c), data(r, c + 1), data(r + 1, c), data(r + 1, c + 1)
            # The N order for X and the Z order for Z keep the interleaved checks commuting.
            order = [nw, ne, sw, se] if kind == "X" else [nw, sw, ne, se]
            plaquettes.append((kind, order))
    assert len(plaquettes) == d * d - 1
    return plaquettes


def w4_circuit(d):
    """The circuit as flat lists: qubit count, X ancillas, the CX pairs of each of the
    four steps, and every ancilla in measurement order."""
    plaquettes = surface_code(d)
    n_data = d * d
    n = n_data + len(plaquettes)
    x_ancillas = [n_data + i for i, (kind, _) in enumerate(plaquettes) if kind == "X"]
    steps = [[(n_data + i, order[k]) if kind == "X" else (order[k], n_data + i)
              for i, (kind, order) in enumerate(plaquettes) if order[k] is not None]
             for k in range(4)]
    return n, x_ancillas, steps, list(range(n_data, n))


def w4(d, seed):
    from korvane import Korvane
    plaquettes = surface_code(d)
    n_data = d * d
    # Built before the clock starts.
    n, x_ancillas, steps, ancillas = w4_circuit(d)
    t0 = time.perf_counter()
    sim = Korvane(n)
    h, x, cx, mz = sim.h, sim.x, sim.cx, sim.measure_z
    rounds = []
    for _ in range(d):
        for a in x_ancillas:
            h(a)
        for step in steps:
            for c, t in step:
                cx(c, t)
        for a in x_ancillas:
            h(a)
        results = []
        for a in ancillas:
            r = mz(a)
            if r == 1:
                x(a)
            results.append(r)
        rounds.append(results)
    final = [mz(q) for q in range(n_data)]
    elapsed = time.perf_counter() - t0
    bits = [[int(r) for r in results] for results in rounds]
    if any(b != bits[0] for b in bits):
        raise AssertionError("stabilizer outcomes changed between rounds")
    final_bits = [int(r) for r in final]
    for i, (kind, order) in enumerate(plaquettes):
        if kind == "Z" and sum(final_bits[q] for q in order if q is not None) % 2 != bits[0][i]:
            raise AssertionError("data qubits disagree with the last Z checks")
    return elapsed, {}


def w5(n, seed):
    from korvane import Korvane
    t0 = time.perf_counter()
    sim = Korvane(n)
    cx, mz = sim.cx, sim.measure_z
    sim.h(0)
    for i in range(1, n):
        cx(0, i)
    results = [int(mz(q)) for q in range(n)]
    elapsed = time.perf_counter() - t0
    if len(set(results)) != 1:
        raise AssertionError("GHZ outcomes differ")
    return elapsed, {}


def w6(n, seed):
    from korvane import Korvane
    seg = 1000  # a cut every seg qubits leaves segments of seg - 1
    if n < 2 * seg:
        raise ValueError(f"W6 needs at least {2 * seg} qubits")
    cuts = range(seg - 1, n, seg)
    x_segment = range(seg, 2 * seg - 1)
    segments = (n + seg - 1) // seg
    # About 300 segments spread over the chain, plus the X-measured one and its neighbours.
    picked = sorted({i * segments // 300 for i in range(300)} | {0, 1, 2})
    queries = [min(s * seg + seg // 2, n - 1) for s in picked]
    t0 = time.perf_counter()
    sim = Korvane(n)
    h, cz, mz, mx, group = sim.h, sim.cz, sim.measure_z, sim.measure_x, sim.get_entangled_group
    for q in range(n):
        h(q)
    for q in range(n - 1):
        cz(q, q + 1)
    t1 = time.perf_counter()
    z_results = [mz(q) for q in cuts]
    x_results = [mx(q) for q in x_segment]
    t2 = time.perf_counter()
    # Sizes only: keeping 300 sets of 999 ints would time CPython taking fresh pages for
    # them (three times the query itself at 10^7 qubits); the sets are checked below.
    sizes = [len(group(q)) for q in queries]
    t3 = time.perf_counter()
    # The same loop shapes with a built-in that does nothing: what the Python side costs.
    get = {}.get
    f0 = time.perf_counter()
    for q in range(n):
        get(q)
    for q in range(n - 1):
        get(q, q + 1)
    f1 = time.perf_counter()
    [get(q) for q in cuts]
    [get(q) for q in x_segment]
    f2 = time.perf_counter()
    [len(get(q, ())) for q in queries]
    f3 = time.perf_counter()
    # Each cut qubit still had its chain neighbours when measured, so Z is a fair coin.
    ones = sum(int(r) for r in z_results)
    if len(z_results) >= 100 and not 0.4 < ones / len(z_results) < 0.6:
        raise AssertionError(f"{ones} of {len(z_results)} Z cuts gave 1")
    if len(x_results) != len(x_segment):
        raise AssertionError("X measurements missing")
    for s, q, size in zip(picked, queries, sizes):
        want = {q} if s == 1 else set(range(s * seg, min(s * seg + seg - 1, n)))
        got = group(q)
        if got != want or size != len(want):
            raise AssertionError(f"group of {q}: {len(got)} qubits, expected {len(want)}")
    return t3 - t0, {"build_seconds": round(t1 - t0, 3), "floor_build_seconds": round(f1 - f0, 3),
                     "measure_seconds": round(t2 - t1, 4), "floor_measure_seconds": round(f2 - f1, 6),
                     "group_seconds": round(t3 - t2, 4), "floor_group_seconds": round(f3 - f2, 6),
                     "group_queries": len(queries), "z_ones": ones, "z_cuts": len(z_results)}


WORKLOADS = {"W1": w1, "W2": w2, "W3": w3, "W4": w4, "W5": w5, "W6": w6}


def child(workload, size, seed):
    seconds, extra = WORKLOADS[workload](size, seed)
    peak_mib = resource.getrusage(resource.RUSAGE_SELF).ru_maxrss / 1024
    print(json.dumps({"workload": workload, "size": size, "seconds": round(seconds, 4),
                      "peak_rss_mib": round(peak_mib, 1), **extra}))


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("workloads", nargs="*", default=list(WORKLOADS))
    parser.add_argument("--size", type=int, action="append", help="override the sizes")
    parser.add_argument("--repeat", type=int, default=3)
    parser.add_argument("--seed", type=int, default=1)
    parser.add_argument("--child", nargs=3, help=argparse.SUPPRESS)
    args = parser.parse_args()
    if args.child:
        child(args.child[0], int(args.child[1]), int(args.child[2]))
        return
    for workload in args.workloads:
        for size in args.size or SIZES[workload]:
            runs = []
            for _ in range(args.repeat):
                out = subprocess.run([sys.executable, __file__, "--child", workload, str(size), str(args.seed)],
                                     capture_output=True, text=True)
                if out.returncode != 0:
                    print(f"{workload} {size} failed: {out.stderr.strip()}", flush=True)
                    break
                run = json.loads(out.stdout)
                runs.append(run)
                extra = "".join(f" {k}={v}" for k, v in run.items()
                                if k not in ("workload", "size", "seconds", "peak_rss_mib"))
                print(f"{workload} size={size} seconds={run['seconds']:.4f} "
                      f"peak_rss_mib={run['peak_rss_mib']}{extra}", flush=True)
            if len(runs) > 1:
                print(f"{workload} size={size} median_seconds="
                      f"{statistics.median(r['seconds'] for r in runs):.4f}", flush=True)


if __name__ == "__main__":
    main()
