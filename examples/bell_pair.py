"""A Bell pair: two qubits whose Z measurements always agree."""

from korvane import Korvane, MeasurementResult

sim = Korvane(2)
sim.h(0)        # qubit 0 into |+>
sim.cx(0, 1)    # entangle: (|00> + |11>) / sqrt(2)
print("entangled group of qubit 0:", sorted(sim.get_entangled_group(0)))

agree = 0
for _ in range(1000):
    sim = Korvane(2)
    sim.h(0)
    sim.cx(0, 1)
    a = sim.measure_z(0)
    b = sim.measure_z(1)   # certain once qubit 0 has been measured
    agree += a == int(b)
print(f"Z outcomes agreed in {agree} of 1000 runs")

sim = Korvane(2)
sim.h(0)
sim.cx(0, 1)
first = sim.measure_x(0)
second = sim.measure_x(1)
print("X outcomes:", first, second, "(equal)" if int(first) == int(second) else "(differ)")
print("a fresh qubit measured in Z:", Korvane(1).measure_z(0), "==", MeasurementResult.PlusOne)
