"""Previewing measurements with peek_measure_set, without disturbing the state.

peek_measure_set(qubits) measures the given qubits on a private copy of the state and
reports, per qubit, an Outcome: the result and the axis used. A qubit that stands alone
(no entanglement) is measured along the axis it is an eigenstate of, so its result is
certain and tells its state; entangled qubits get a random axis. The simulator itself
does not change.
"""

from korvane import Axis, Korvane, MeasurementResult

# Six unentangled qubits in the six Pauli eigenstates.
STATES = ["|0>", "|1>", "|+>", "|->", "|+i>", "|-i>"]
sim = Korvane(6)
sim.x(1)                       # |1>
sim.h(2)                       # |+>
sim.x(3); sim.h(3)             # |->
sim.h(4); sim.s(4)             # |+i>
sim.h(5); sim.sdag(5)          # |-i>

preview = sim.peek_measure_set(set(range(6)))   # keys come in no fixed order
for q in sorted(preview):
    o = preview[q]
    print(f"qubit {q} {STATES[q]:5} -> {o}   axis {o.axis!r}, result {o.result!r}")
again = {q: str(o) for q, o in sim.peek_measure_set(frozenset(range(6))).items()}
print("a second preview reports the same:", again == {q: str(o) for q, o in preview.items()})
assert preview[4].axis == Axis.Y and preview[4].result == MeasurementResult.PlusOne

# A Bell pair: the first qubit previewed gets a random axis and result; the preview's
# own measurement then leaves the other qubit alone, so it gets a certain answer.
bell = Korvane(2)
bell.h(0)
bell.cx(0, 1)
for _ in range(3):
    print("Bell pair preview:", {q: str(o) for q, o in sorted(bell.peek_measure_set({0, 1}).items())})

# The real state is untouched: still entangled, still perfectly correlated in Z.
print("still entangled after previews:", bell.get_entangled_group(0) == {0, 1})
a, b = bell.measure_z(0), bell.measure_z(1)
print("real Z measurements:", a, b, "agree:", a == b)
if a != b:
    raise SystemExit("the preview disturbed the state")
