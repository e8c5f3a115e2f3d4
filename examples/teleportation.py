"""Quantum teleportation with classically controlled corrections.

Qubit 0 holds a message state; qubits 1 and 2 share a Bell pair. A Bell measurement on
qubits 0 and 1 gives two random bits; applying X and Z to qubit 2 as those bits say
recreates the message on qubit 2. Each message here is an eigenstate of X, Y or Z, so
measuring qubit 2 along that axis must give the known result with certainty.
"""

from korvane import Korvane, MeasurementResult

PLUS, MINUS = MeasurementResult.PlusOne, MeasurementResult.MinusOne

# name: (gates that prepare it from |0>, axis it is an eigenstate of, eigenvalue)
MESSAGES = {
    "|0>":  ([],              "z", PLUS),
    "|1>":  (["x"],           "z", MINUS),
    "|+>":  (["h"],           "x", PLUS),
    "|->":  (["x", "h"],      "x", MINUS),
    "|+i>": (["h", "s"],      "y", PLUS),
    "|-i>": (["h", "sdag"],   "y", MINUS),
}
RUNS = 200


def teleport(prepare, correct=True):
    sim = Korvane(3)
    for gate in prepare:                 # message on qubit 0
        getattr(sim, gate)(0)
    sim.h(1)                             # Bell pair on qubits 1 and 2
    sim.cx(1, 2)
    sim.cx(0, 1)                         # Bell measurement of qubits 0 and 1
    sim.h(0)
    m0 = sim.measure_z(0)
    m1 = sim.measure_z(1)
    if correct:                          # the classically controlled corrections
        if m1 == MINUS:
            sim.x(2)
        if m0 == MINUS:
            sim.z(2)
    return sim


sim = teleport(MESSAGES["|+i>"][0])
print("qubit 2 after teleporting |+i>: preview", sim.peek_measure_set({2})[2],
      "group", sim.get_entangled_group(2))

verified = 0
uncorrected = 0
for name, (prepare, axis, expected) in MESSAGES.items():
    ok = 0
    for _ in range(RUNS):
        sim = teleport(prepare)
        # Qubit 2 now stands alone, so the preview names its eigen-axis and result.
        outcome = sim.peek_measure_set({2})[2]
        certain = outcome.axis == "xyz".index(axis) and outcome.result == expected
        ok += certain and getattr(sim, "measure_" + axis)(2) == expected
        # Without the corrections the message arrives only by luck.
        uncorrected += getattr(teleport(prepare, correct=False), "measure_" + axis)(2) == expected
    print(f"{name:5} measured along {axis.upper()}: {ok} of {RUNS} gave {expected}")
    verified += ok

total = RUNS * len(MESSAGES)
print(f"teleported and verified {verified} of {total} messages")
print(f"without corrections only {uncorrected} of {total} arrived intact")
if verified != total:
    raise SystemExit("teleportation failed")
