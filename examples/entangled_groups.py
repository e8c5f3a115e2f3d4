"""Entangled groups: which qubits share entanglement, and how measurements split them.

get_entangled_group(qubit) returns the set of qubits connected to `qubit` in the graph
state, itself included. Gates can merge groups; a measurement always takes the measured
qubit out of its group, and what is left may stay together or fall apart.
"""

from korvane import Korvane


def groups(sim, n):
    """All groups of a simulator with n qubits, as sorted lists."""
    seen, found = set(), []
    for q in range(n):
        if q not in seen:
            group = sim.get_entangled_group(q)
            seen |= group
            found.append(sorted(group))
    return found


def line(n):
    """A linear cluster: every qubit in |+>, neighbours joined by cz."""
    sim = Korvane(n)
    for q in range(n):
        sim.h(q)
    for q in range(n - 1):
        sim.cz(q, q + 1)
    return sim


sim = Korvane(8)
print("fresh qubits:              ", groups(sim, 8))
for q in range(8):
    sim.h(q)
sim.cz(0, 1); sim.cz(1, 2); sim.cz(2, 3)
sim.cz(4, 5); sim.cz(5, 6)
print("two chains and a loner:    ", groups(sim, 8))
sim.cz(3, 4)
print("cz(3, 4) joins the chains: ", groups(sim, 8))

# cz on qubits in |0> does nothing: |0> is unchanged by a controlled-Z.
plain = Korvane(3)
plain.cz(0, 1)
plain.cz(1, 2)
print("cz without h entangles no one:", groups(plain, 3))

# Measuring a middle qubit of a line along Z cuts the line in two ...
sim = line(7)
sim.measure_z(3)
print("line of 7, Z on qubit 3:   ", groups(sim, 7))
cut = groups(sim, 7)

# ... while along X (or Y) it removes the qubit and joins its neighbours.
sim = line(7)
sim.measure_x(3)
print("line of 7, X on qubit 3:   ", groups(sim, 7))

# One Z measurement of a GHZ state leaves every qubit unentangled.
sim = Korvane(5)
sim.h(0)
for q in range(1, 5):
    sim.cx(0, q)
print("GHZ on 5 qubits:           ", groups(sim, 5))
sim.measure_z(2)
print("after Z on qubit 2:        ", groups(sim, 5))

if cut != [[0, 1, 2], [3], [4, 5, 6]]:
    raise SystemExit("unexpected groups")
