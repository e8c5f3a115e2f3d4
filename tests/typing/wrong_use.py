"""Misuses of korvane that the stub must reject under mypy --strict.

Each misuse carries the ignore comment for the error it must cause. mypy --strict warns
about an ignore that suppresses nothing, so the file passes only when every misuse is
reported, with exactly the expected error code.
"""

from korvane import Axis, Korvane, Outcome

sim = Korvane(2)
sim.h(0.5)  # type: ignore[arg-type]
sim.h("0")  # type: ignore[arg-type]
sim.cx(0)  # type: ignore[call-arg]
sim.cz(0, 1, 2)  # type: ignore[call-arg]
sim.measure_x(qubits=0)  # type: ignore[call-arg]
sim.peek_measure_set([0, 1])  # type: ignore[arg-type]
sim.peek_measure_set({0.5})  # type: ignore[type-var]
sim.teleport(0, 1)  # type: ignore[attr-defined]
Korvane()  # type: ignore[call-arg]
Korvane(2.0)  # type: ignore[arg-type]

result: int = sim.measure_z(0)  # type: ignore[assignment]
nothing: int = sim.h(0)  # type: ignore[func-returns-value, assignment]
group: list[int] = sim.get_entangled_group(0)  # type: ignore[assignment]
outcomes: dict[int, Axis] = sim.peek_measure_set({0})  # type: ignore[assignment]

outcome: Outcome = sim.peek_measure_set({0})[0]
outcome.axis = Axis.X  # type: ignore[misc]


class Subclass(Korvane):  # type: ignore[misc]
    pass
