#!/usr/bin/env python3
"""korvane against the tableau simulator Stim on the dense workloads, side by side.

    PYTHONPATH=build/python python3 bench/peer.py W3 --size 1024 --rounds 7
    PYTHONPATH=build/python python3 bench/peer.py W4 --size 21 --rounds 7

korvane is driven one call at a time from Python, as a user drives it (the circuits and
loops of bench/python_bench.py). Stim (`pip install stim`) gets the same circuit as one
`stim.Circuit`, built before its clock starts, handed to `TableauSimulator.do_circuit`:
its batched API, the fastest way to run a circuit through its tableau simulator. W4's
"measure, then X when the result is 1" becomes Stim's measure-and-reset `MR`. Each clock
covers creating the simulator and running the circuit.

Every run is a fresh process; the two simulators alternate, the order within a round
swapping every round. Prints each run, then per simulator the median and the spread
(min to max), and the ratio Stim / korvane of the medians (above 1: korvane is faster).
"""

import argparse
import json
import os
import statistics
import subprocess
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import python_bench  # noqa: E402  (the circuits)

SIMULATORS = ("korvane", "stim")


def stim_w3(n, seed):
    import stim
    circuit = stim.Circuit()
    for kind, a, b in python_bench.w3_ops(n, seed):
        if kind == 0:
            circuit.append("H", [a])
        elif kind == 1:
            circuit.append("S", [a])
        else:
            circuit.append("CX", [a, b])
    circuit.append("M", range(n))
    return circuit, n


def stim_w4(d, seed):
    import stim
    n, x_ancillas, steps, ancillas = python_bench.w4_circuit(d)
    one_round = stim.Circuit()
    one_round.append("H", x_ancillas)
    for step in steps:
        one_round.append("CX", [q for pair in step for q in pair])
    one_round.append("H", x_ancillas)
    one_round.append("MR", ancillas)
    circuit = one_round * d
    circuit.append("M", range(d * d))
    return circuit, n


def check_w4(d, record):
    """The checks korvane's W4 makes, on Stim's outcomes: a circuit translated wrongly for
    Stim would fail them."""
    plaquettes = python_bench.surface_code(d)
    per_round = len(plaquettes)
    rounds = [record[r * per_round:(r + 1) * per_round] for r in range(d)]
    final = record[d * per_round:]
    if any(r != rounds[0] for r in rounds):
        raise AssertionError("Stim: stabilizer outcomes changed between rounds")
    for i, (kind, order) in enumerate(plaquettes):
        parity = sum(final[q] for q in order if q is not None) % 2
        if kind == "Z" and (rounds[0][i] or parity):
            raise AssertionError("Stim: a Z check is not +1 or disagrees with the data qubits")


def child(simulator, workload, size, seed):
    if simulator == "korvane":
        seconds, _ = python_bench.WORKLOADS[workload](size, seed)
    else:
        import stim
        circuit, n = {"W3": stim_w3, "W4": stim_w4}[workload](size, seed)
        t0 = time.perf_counter()
        sim = stim.TableauSimulator()
        sim.set_num_qubits(n)
        sim.do_circuit(circuit)
        seconds = time.perf_counter() - t0
        record = sim.current_measurement_record()
        if len(record) != circuit.num_measurements:
            raise AssertionError("Stim did not run the whole circuit")
        if workload == "W4":
            check_w4(size, record)
    print(json.dumps({"simulator": simulator, "workload": workload, "size": size, "seconds": seconds}))


def run(simulator, workload, size, seed):
    out = subprocess.run([sys.executable, __file__, "--child", simulator, workload, str(size), str(seed)],
                         capture_output=True, text=True)
    if out.returncode != 0:
        sys.exit(f"{simulator} {workload} {size} failed:\n{out.stderr.strip()}")
    return json.loads(out.stdout)["seconds"]


def main():
    if sys.argv[1:2] == ["--child"]:
        simulator, workload, size, seed = sys.argv[2:6]
        child(simulator, workload, int(size), int(seed))
        return
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("workload", choices=("W3", "W4"))
    parser.add_argument("--size", type=int, required=True)
    parser.add_argument("--rounds", type=int, default=7)
    parser.add_argument("--seed", type=int, default=1)
    args = parser.parse_args()
    times = {s: [] for s in SIMULATORS}
    for r in range(args.rounds):
        for simulator in (SIMULATORS if r % 2 == 0 else SIMULATORS[::-1]):
            seconds = run(simulator, args.workload, args.size, args.seed)
            times[simulator].append(seconds)
            print(f"round {r + 1}: {simulator:8s} {seconds * 1e3:8.2f} ms", flush=True)
    medians = {}
    for simulator in SIMULATORS:
        t = times[simulator]
        medians[simulator] = statistics.median(t)
        print(f"{simulator:8s} median {medians[simulator] * 1e3:.2f} ms, spread {min(t) * 1e3:.2f} to "
              f"{max(t) * 1e3:.2f} ms ({len(t)} runs)")
    print(f"{args.workload} size {args.size}: Stim / korvane = {medians['stim'] / medians['korvane']:.3f}")


if __name__ == "__main__":
    main()
