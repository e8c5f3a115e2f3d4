"""Memory that really runs out in the middle of a measurement: MemoryError, and a simulator
that is whole afterwards."""

import json
import os
import sys
import unittest

from korvane_support import run_child

# The child caps its own address space at what it uses plus MARGIN, just before measuring
# Y at the centre of a star of LEAVES leaves. That measurement joins every pair of leaves:
# each leaf's row grows to a window of LEAVES bits, some 75 MB in all, so it runs out of
# memory after a few thousand rows, when many rows have been edited already.
LEAVES = 20_000
MARGIN = 16 << 20
WITNESSES = 24  # isolated qubits with determined outcomes, beyond the star
# Gates on the leaves and witnesses, by index, so that their VOPs differ.
PATTERNS = ((), ("s",), ("h",), ("x", "s"), ("sdag", "h"), ("y",), ("h", "s", "h"), ("z", "h"))

CHILD = r"""
import json
import resource
import sys

from korvane import Korvane, MeasurementResult

leaves, margin, witnesses = int(sys.argv[1]), int(sys.argv[2]), int(sys.argv[3])
patterns = json.loads(sys.argv[4])
page = resource.getpagesize()
star = range(leaves + 1)  # the centre 0 and its leaves
extra = range(leaves + 1, leaves + 1 + witnesses)


def address_space():
    with open("/proc/self/statm") as f:
        return int(f.read().split()[0]) * page


def peak():
    with open("/proc/self/status") as f:
        for line in f:
            if line.startswith("VmPeak:"):
                return int(line.split()[1]) * 1024
    return 0


def outcomes(sim, qubits):
    return {str(q): str(o) for q, o in sim.peek_measure_set(set(qubits)).items()}


def dress(sim, q, pattern):
    for gate in pattern:
        getattr(sim, gate)(q)


sim = Korvane(leaves + 1 + witnesses)
for q in range(leaves + 1 + witnesses):
    sim.h(q)  # the identity VOP: the star is a bare graph state
for q in star[1:]:
    sim.cz(0, q)
for q in list(star[1:]) + list(extra):
    dress(sim, q, patterns[q % len(patterns)])
report = {"witnesses_before": outcomes(sim, extra)}

limits = resource.getrlimit(resource.RLIMIT_AS)
used = address_space()
capped = (used + margin, limits[1])
if limits[1] != resource.RLIM_INFINITY and capped[0] > limits[1]:
    capped = limits
peak_before = peak()
failed = enforced = False
resource.setrlimit(resource.RLIMIT_AS, capped)
try:
    try:
        bytearray(2 * margin)  # an emulator may take the cap and not enforce it
    except MemoryError:
        enforced = True
    if enforced:
        sim.measure_y(0)
except MemoryError:
    failed = True
finally:
    resource.setrlimit(resource.RLIMIT_AS, limits)
report.update(enforced=enforced, failed=failed, used=used, peak_before=peak_before, peak=peak())
if not (enforced and failed):
    print(json.dumps(report))
    sys.exit(0)

report["witnesses_after"] = outcomes(sim, extra)
# A leaf row that kept the measurement's edits would hold every other leaf: each group
# below could then cost a walk over tens of thousands of such rows, so only a few are asked.
whole = set(star)
report["group_of_centre"] = sim.get_entangled_group(0) == whole
report["leaves_outside_the_group"] = sum(sim.get_entangled_group(q) != whole for q in star[1::5000])

# Z on the centre cuts every leaf loose: a leaf row left with other members would keep its
# leaf in a group of more than one.
result = sim.measure_z(0)
raw = 1 if result == MeasurementResult.MinusOne else 0  # the centre's VOP is the identity
grouped = 0
for q in star:
    if sim.get_entangled_group(q) != {q}:
        grouped += 1
        if grouped == 3:
            break
report["grouped_after_z"] = grouped
if grouped == 0:
    # A leaf that took the centre's Z factor (raw bit 1) has VOP pattern * Z.
    want = []
    for pattern in patterns:
        twin = Korvane(1)
        dress(twin, 0, ["h", "z"][:1 + raw] + pattern)
        want.append(str(twin.peek_measure_set({0})[0]))
    got = outcomes(sim, star[1:])
    report["leaf_outcomes_wrong"] = sum(got[str(q)] != want[q % len(patterns)] for q in star[1:])
print(json.dumps(report))
"""

UNDER_SANITIZER = bool(os.environ.get("KORVANE_SANITIZED"))
UNDER_VALGRIND = "vgpreload" in os.environ.get("LD_PRELOAD", "")


@unittest.skipUnless(sys.platform.startswith("linux"), "reads /proc and caps RLIMIT_AS")
@unittest.skipIf(UNDER_SANITIZER, "AddressSanitizer reserves far more address space than any cap allows")
@unittest.skipIf(UNDER_VALGRIND, "valgrind manages the address space itself")
class OutOfMemoryTests(unittest.TestCase):
    def test_measurement_runs_out_and_leaves_the_simulator_whole(self):
        report = run_child(CHILD, str(LEAVES), str(MARGIN), str(WITNESSES), json.dumps(PATTERNS))
        if not report["enforced"]:
            self.skipTest("the address-space cap is taken but not enforced here")
        self.assertTrue(report["failed"], "the measurement completed under the cap")
        # Memory really ran out inside the measurement, after it had taken much of it.
        self.assertLess(report["peak_before"], report["used"] + MARGIN // 2)
        self.assertGreater(report["peak"], report["used"] + MARGIN // 2)
        self.assertEqual(report["witnesses_after"], report["witnesses_before"])
        self.assertTrue(report["group_of_centre"])
        self.assertEqual(report["leaves_outside_the_group"], 0)
        self.assertEqual(report["grouped_after_z"], 0)
        self.assertEqual(report["leaf_outcomes_wrong"], 0)


if __name__ == "__main__":
    unittest.main()
