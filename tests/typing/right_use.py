"""Correct use of korvane, which mypy --strict must accept with the installed stub."""

from korvane import Axis, Korvane, MeasurementResult, Outcome


class Wire:
    """A qubit index that is not an int: the stub promises SupportsIndex."""

    def __init__(self, index: int) -> None:
        self.index = index

    def __index__(self) -> int:
        return self.index


def bell_pair() -> tuple[MeasurementResult, MeasurementResult]:
    sim = Korvane(2)
    sim.h(0)
    sim.cx(0, Wire(1))
    return sim.measure_z(0), sim.measure_z(1)


def every_gate(sim: Korvane) -> None:
    for single in (sim.x, sim.y, sim.z, sim.h, sim.s, sim.sdag):
        single(0)
    for pair in (sim.cz, sim.cx, sim.xcx, sim.ycx, sim.xcz, sim.ycz, sim.cy, sim.xcy, sim.ycy):
        pair(0, 1)


def preview(sim: Korvane) -> dict[int, tuple[int, int]]:
    outcomes: dict[int, Outcome] = sim.peek_measure_set({0, 1})
    frozen = sim.peek_measure_set(frozenset({Wire(0)}))
    assert set(frozen) <= {0}
    return {qubit: (int(o.result), int(o.axis)) for qubit, o in outcomes.items()}


def group(sim: Korvane) -> list[int]:
    members: set[int] = sim.get_entangled_group(0)
    return sorted(members)


def values() -> list[str]:
    flipped = MeasurementResult.MinusOne == 1
    axes = [Axis.X, Axis.Y, Axis.Z]
    return [str(flipped)] + [str(int(axis)) for axis in axes]


if __name__ == "__main__":
    sim = Korvane(3)
    every_gate(sim)
    print(bell_pair(), preview(sim), group(sim), values())
