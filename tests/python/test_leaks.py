"""Failing calls, repeated many times, must not leak references or memory."""

import ctypes
import gc
import os
import sys
import unittest

from korvane import Korvane

from korvane_support import Reenter, panic_type, repeats_calls

SINGLE = ("x", "y", "z", "h", "s", "sdag", "measure_x", "measure_y", "measure_z", "get_entangled_group")
PAIR = ("cz", "cx", "xcx", "ycx", "xcz", "ycz", "cy", "xcy", "ycy")

ROUNDS = 100_000
SHORT_ROUNDS = 20_000
# A leaked object or C++ allocation per call would show as at least one block or 16 bytes
# per call; the slack leaves room only for caches and free lists settling.
BLOCK_SLACK = 2_000
HEAP_SLACK = 256 << 10


class _MallInfo2(ctypes.Structure):
    _fields_ = [(name, ctypes.c_size_t) for name in
                ("arena", "ordblks", "smblks", "hblks", "hblkhd", "usmblks", "fsmblks", "uordblks", "fordblks",
                 "keepcost")]


def _heap_meter():
    """Bytes in use on the C heap (glibc), else the resident set size."""
    try:
        mallinfo2 = ctypes.CDLL(None).mallinfo2
    except (OSError, AttributeError):
        def resident():
            with open("/proc/self/statm") as f:
                return int(f.read().split()[1]) * os.sysconf("SC_PAGE_SIZE")
        return resident
    mallinfo2.restype = _MallInfo2
    mallinfo2.argtypes = []

    def in_use():
        info = mallinfo2()
        return info.uordblks + info.hblkhd
    return in_use


heap_bytes = _heap_meter()


@repeats_calls
class LeakTests(unittest.TestCase):
    def assert_flat(self, label, call, expected, rounds, watched=()):
        def loop(n):
            for _ in range(n):
                try:
                    call()
                except expected:
                    pass

        loop(1_000)  # let free lists and caches reach their steady size
        gc.collect()
        refs = [sys.getrefcount(obj) for obj in watched]
        blocks = sys.getallocatedblocks()
        heap = heap_bytes()
        loop(rounds)
        gc.collect()
        with self.subTest(label):
            self.assertEqual([sys.getrefcount(obj) for obj in watched], refs)
            self.assertLess(sys.getallocatedblocks() - blocks, BLOCK_SLACK)
            self.assertLess(heap_bytes() - heap, HEAP_SLACK)

    def test_wrong_argument_type(self):
        sim = Korvane(3)
        bad = 1.5
        for name in SINGLE:
            method = getattr(sim, name)
            self.assert_flat(name, lambda: method(bad), TypeError, ROUNDS, (bad, sim))
        for name in PAIR:
            method = getattr(sim, name)
            self.assert_flat(name, lambda: method(0, bad), TypeError, ROUNDS, (bad, sim))
        not_a_set = [0]
        self.assert_flat("peek_measure_set", lambda: sim.peek_measure_set(not_a_set), TypeError, ROUNDS,
                         (not_a_set, sim))
        self.assert_flat("Korvane", lambda: Korvane(bad), TypeError, ROUNDS, (bad,))

    def test_other_failure_paths(self):
        panic = panic_type()
        sim = Korvane(3)
        big = 2**70
        bad_set = {0, 1.5}
        cause = KeyError("cause")

        def raise_with_cause():
            raise TypeError("inner") from cause

        class WithCause:
            def __index__(self):
                raise_with_cause()

        with_cause = WithCause()
        reentrant = Reenter(lambda: sim.h(0))
        cases = [
            ("index out of range", lambda: sim.h(3), panic, (sim,)),
            ("index out of range, shared", lambda: sim.get_entangled_group(3), panic, (sim,)),
            ("same qubit", lambda: sim.cx(1, 1), panic, (sim,)),
            ("preview out of range", lambda: sim.peek_measure_set({0, 3}), panic, (sim,)),
            ("capacity overflow", lambda: Korvane(2**63), panic, ()),
            ("negative", lambda: sim.h(-1), OverflowError, (sim,)),
            ("too big", lambda: sim.cz(big, 0), OverflowError, (big,)),
            ("set element", lambda: sim.peek_measure_set(bad_set), TypeError, (bad_set,)),
            ("missing", lambda: sim.cx(0), TypeError, (sim,)),
            ("too many", lambda: sim.h(0, 1), TypeError, (sim,)),
            ("unexpected keyword", lambda: sim.h(foo=0), TypeError, (sim,)),
            ("multiple values", lambda: sim.cx(0, control=1), TypeError, (sim,)),
            ("rewrite with cause", lambda: sim.h(with_cause), TypeError, (with_cause, cause)),
            ("refused access", lambda: sim.x(reentrant), RuntimeError, (reentrant, sim)),
        ]
        for label, call, expected, watched in cases:
            self.assert_flat(label, call, expected, SHORT_ROUNDS, watched)
        self.assertIs(type(reentrant.error), RuntimeError)

    def test_results_are_released(self):
        sim = Korvane(4)
        sim.h(0)
        sim.cx(0, 1)
        qubits = {0, 1, 2}
        cases = [
            ("measure", lambda: sim.measure_z(2), ()),
            ("group", lambda: sim.get_entangled_group(0), ()),
            ("preview", lambda: sim.peek_measure_set(qubits), (qubits,)),
            ("constructor", lambda: Korvane(64), ()),
        ]
        for label, call, watched in cases:
            self.assert_flat(label, call, (), SHORT_ROUNDS, watched + (sim,))


if __name__ == "__main__":
    unittest.main()
