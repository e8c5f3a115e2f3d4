"""Measurement-based computing on a 100 x 100 cluster state (10 000 qubits).

A cluster state is a grid of qubits, each prepared in |+> and joined to its grid
neighbours by controlled-Z. Measurements alone then compute:

1. Z measurements remove qubits from the cluster. Removing every qubit off a snake-shaped
   path carves a one-dimensional wire out of the grid, 5 049 qubits long.
2. X measurements along the wire teleport the state of its first qubit, one step at a
   time, to its last qubit. Each step applies a Hadamard plus an X correction that
   depends on the random result.
3. Tracking those corrections (the "Pauli frame") and undoing them at the end recovers
   the input exactly, which a certain-outcome measurement confirms.

The Z measurements also leave a Z on every neighbouring qubit when their result is -1;
those flip the meaning of the later X results and are tracked as well.
"""

import time

from korvane import Axis, Korvane, MeasurementResult

SIDE = 100


def index(row, col):
    return row * SIDE + col


def snake():
    """The wire: even rows left to right and back, linked at alternating ends."""
    path = []
    for row in range(0, SIDE, 2):
        cols = range(SIDE) if row % 4 == 0 else range(SIDE - 1, -1, -1)
        path += [index(row, col) for col in cols]
        if row + 2 < SIDE:
            path.append(index(row + 1, SIDE - 1 if row % 4 == 0 else 0))
    return path


def grid_neighbours(q):
    row, col = divmod(q, SIDE)
    for r, c in ((row - 1, col), (row + 1, col), (row, col - 1), (row, col + 1)):
        if 0 <= r < SIDE and 0 <= c < SIDE:
            yield index(r, c)


# (gates that prepare the input on qubit 0 before it joins the cluster, axis, result)
INPUTS = {
    "|+>":  (["h"], "x", MeasurementResult.PlusOne),
    "|+i>": (["h", "s"], "y", MeasurementResult.PlusOne),
    "|1>":  (["x"], "z", MeasurementResult.MinusOne),
}


def run(prepare, axis, expected, report):
    t0 = time.perf_counter()
    n = SIDE * SIDE
    sim = Korvane(n)
    for q in range(1, n):
        sim.h(q)                                  # every other qubit in |+>
    for gate in prepare:
        getattr(sim, gate)(0)                     # the input state on qubit 0
    for row in range(SIDE):
        for col in range(SIDE):
            if col + 1 < SIDE:
                sim.cz(index(row, col), index(row, col + 1))
            if row + 1 < SIDE:
                sim.cz(index(row, col), index(row + 1, col))
    t1 = time.perf_counter()
    cluster_size = len(sim.get_entangled_group(n // 2))

    # 1. Carve the wire.
    wire = snake()
    on_wire = set(wire)
    z_frame = [0] * n                             # pending Z from each carving result
    for q in range(n):
        if q not in on_wire and sim.measure_z(q) == MeasurementResult.MinusOne:
            for p in grid_neighbours(q):
                z_frame[p] ^= 1
    t2 = time.perf_counter()
    wire_size = len(sim.get_entangled_group(wire[0]))

    # 2. Teleport along the wire. After each step the output is X^x Z^z H^k |input>;
    # the next step conjugates the frame by H (swapping x and z) and adds its own X.
    x = z = 0
    for q in wire[:-1]:
        bit = int(sim.measure_x(q)) ^ z_frame[q]
        x, z = z ^ bit, x
    t3 = time.perf_counter()

    # 3. Undo the frame and the Hadamards on the last qubit.
    out = wire[-1]
    z ^= z_frame[out]
    if x:
        sim.x(out)
    if z:
        sim.z(out)
    if (len(wire) - 1) % 2:
        sim.h(out)
    preview = sim.peek_measure_set({out})[out]    # alone now: the certain answer
    result = getattr(sim, "measure_" + axis)(out)
    ok = (result == expected and preview.result == expected
          and preview.axis == getattr(Axis, axis.upper()))

    if report:
        print(f"cluster: {SIDE} x {SIDE} = {n} qubits, one group of {cluster_size}, "
              f"built in {(t1 - t0) * 1e3:.0f} ms")
        print(f"carved a wire of {wire_size} qubits with {n - len(wire)} Z measurements "
              f"in {(t2 - t1) * 1e3:.0f} ms")
        print(f"{len(wire) - 1} X measurements along the wire in {(t3 - t2) * 1e3:.0f} ms; "
              f"frame x={x} z={z}")
    return ok, out, preview


start = time.perf_counter()
all_ok = True
for number, (name, (prepare, axis, expected)) in enumerate(INPUTS.items()):
    ok, out, preview = run(prepare, axis, expected, report=number == 0)
    print(f"input {name:5} -> qubit {out} previews {preview}, measured along "
          f"{axis.upper()}: {'recovered' if ok else 'WRONG'}")
    all_ok &= ok
print(f"total {time.perf_counter() - start:.2f} s for {len(INPUTS)} runs")
if not all_ok:
    raise SystemExit("the wire did not carry the input state")
