"""A Bell pair: two qubits whose measurements are perfectly correlated.

The state (|00> + |11>) / sqrt(2) gives random outcomes on each qubit alone, but the two
qubits always agree when both are measured along Z or along X, and always disagree along
Y. Measuring one qubit along Z and the other along X shows no correlation at all.
"""

from korvane import Korvane, MeasurementResult

RUNS = 1000


def bell_pair():
    sim = Korvane(2)   # two qubits in |0>
    sim.h(0)           # qubit 0 into |+>
    sim.cx(0, 1)       # entangle: (|00> + |11>) / sqrt(2)
    return sim


sim = bell_pair()
print("entangled group of qubit 0:", sorted(sim.get_entangled_group(0)))


def agreements(first_axis, second_axis):
    """How often the two qubits give the same result, measured along the given axes."""
    agree = 0
    for _ in range(RUNS):
        sim = bell_pair()
        a = getattr(sim, "measure_" + first_axis)(0)    # random: +1 or -1, half each
        b = getattr(sim, "measure_" + second_axis)(1)   # decided by a when correlated
        agree += a == b   # MeasurementResult values compare by their result bit
    return agree


print(f"Z outcomes agreed in {agreements('z', 'z')} of {RUNS} runs")
print(f"X outcomes agreed in {agreements('x', 'x')} of {RUNS} runs")
print(f"Y outcomes agreed in {agreements('y', 'y')} of {RUNS} runs (they always differ)")
print(f"Z on one, X on the other agreed in {agreements('z', 'x')} of {RUNS} runs (chance)")

# After one qubit has been measured the pair is no longer entangled.
sim = bell_pair()
first = sim.measure_z(0)
print("after measuring qubit 0 ->", first, "its group is", sorted(sim.get_entangled_group(0)))
print("a fresh qubit measured in Z:", Korvane(1).measure_z(0), "==", MeasurementResult.PlusOne)
