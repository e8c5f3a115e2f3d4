"""A GHZ state on many qubits: (|00...0> + |11...1>) / sqrt(2).

Every qubit's Z result is random, yet all of them are equal; along X each result is
random but the number of -1 results is always even.
"""

import time

from korvane import Korvane, MeasurementResult

N = 10_000
N_X = 2_000


def ghz(n):
    sim = Korvane(n)
    sim.h(0)
    # Fan out from qubit 0. In the graph picture a GHZ state is a star around one qubit;
    # every cx(0, i) adds one leaf cheaply. A ladder cx(i - 1, i) reaches the same state
    # but each gate then has to rewrite the whole star, which costs far more.
    for i in range(1, n):
        sim.cx(0, i)
    return sim


start = time.perf_counter()
sim = ghz(N)
built = time.perf_counter() - start
print(f"built a {N}-qubit GHZ state in {built * 1e3:.1f} ms")
print("qubits entangled with the last one:", len(sim.get_entangled_group(N - 1)))

# Z: the first measurement is a coin toss, every later one is certain and equal to it.
results = [sim.measure_z(q) for q in range(N)]
first = results[0]
all_equal = all(r == first for r in results)
print(f"Z results: all {N} equal to {first}: {all_equal}")
print("after measuring, qubit 0 stands alone:", sim.get_entangled_group(0) == {0})

# X: the product of all eigenvalues is +1, i.e. an even number of MinusOne results.
# An X measurement on a star has to rework the hub's whole neighbourhood, so each one
# costs time that grows with the qubits left; a smaller state keeps this part quick.
sim = ghz(N_X)
minus = sum(sim.measure_x(q) == MeasurementResult.MinusOne for q in range(N_X))
print(f"X results on a {N_X}-qubit GHZ state: {minus} were -1; count is even: {minus % 2 == 0}")

if not all_equal or minus % 2:
    raise SystemExit("GHZ correlations broken")
