"""The per-object access flag: calls that re-enter a simulator while it is in use."""

import threading
import unittest

from korvane import Korvane

from korvane_support import Reenter, outcomes, panic_type

BORROWED = "Already borrowed"
MUTABLY_BORROWED = "Already mutably borrowed"


class ReentrancyTests(unittest.TestCase):
    def assert_refused(self, probe, message):
        self.assertIs(type(probe.error), RuntimeError)
        self.assertEqual(str(probe.error), message)

    def assert_usable(self, sim):
        # An exclusive call succeeds only if no access of any kind is still held.
        sim.z(0)
        sim.z(0)
        self.assertEqual(sim.get_entangled_group(0), {0})

    def test_gate_inside_gate_is_already_borrowed(self):
        sim = Korvane(2)
        probe = Reenter(lambda: sim.h(0))
        sim.x(probe)
        self.assert_refused(probe, BORROWED)
        # The refused inner h changed nothing; the outer x ran.
        self.assertEqual(outcomes(sim, (0, 1)), {0: "(-1, Z)", 1: "(+1, Z)"})
        self.assert_usable(sim)

    def test_uncaught_refusal_ends_the_outer_call(self):
        sim = Korvane(2)
        with self.assertRaises(RuntimeError) as caught:
            sim.x(Reenter(lambda: sim.h(0), swallow=False))
        self.assertIs(type(caught.exception), RuntimeError)
        self.assertEqual(str(caught.exception), BORROWED)
        self.assertEqual(outcomes(sim, (0, 1)), {0: "(+1, Z)", 1: "(+1, Z)"})
        self.assert_usable(sim)

    def test_gate_inside_shared_call_is_already_borrowed(self):
        sim = Korvane(2)
        probe = Reenter(lambda: sim.h(0))
        self.assertEqual(sim.get_entangled_group(probe), {0})
        self.assert_refused(probe, BORROWED)
        probe = Reenter(lambda: sim.measure_z(0))
        sim.peek_measure_set({probe})
        self.assert_refused(probe, BORROWED)
        self.assertEqual(outcomes(sim, (0, 1)), {0: "(+1, Z)", 1: "(+1, Z)"})
        self.assert_usable(sim)

    def test_shared_call_inside_shared_call_succeeds(self):
        sim = Korvane(2)
        probe = Reenter(lambda: sim.get_entangled_group(0), value=1)
        self.assertEqual(sim.get_entangled_group(probe), {1})
        self.assertIsNone(probe.error)
        self.assertEqual(probe.result, {0})
        probe = Reenter(lambda: outcomes(sim, (0,)))
        self.assertEqual(outcomes(sim, {probe}), {0: "(+1, Z)"})
        self.assertIsNone(probe.error)
        self.assertEqual(probe.result, {0: "(+1, Z)"})
        self.assert_usable(sim)

    def test_shared_call_inside_gate_is_already_mutably_borrowed(self):
        sim = Korvane(2)
        for inner in (lambda: sim.get_entangled_group(0), lambda: sim.peek_measure_set({0})):
            probe = Reenter(inner)
            sim.x(probe)
            self.assert_refused(probe, MUTABLY_BORROWED)
        self.assertEqual(outcomes(sim, (0,)), {0: "(+1, Z)"})
        self.assert_usable(sim)

    def test_inside_measurement_and_two_qubit_gates(self):
        sim = Korvane(2)
        probe = Reenter(lambda: sim.h(1))
        self.assertEqual(str(sim.measure_z(probe)), "MeasurementResult.PlusOne")
        self.assert_refused(probe, BORROWED)
        probe = Reenter(lambda: sim.get_entangled_group(1), value=1)
        sim.cx(0, probe)
        self.assert_refused(probe, MUTABLY_BORROWED)
        self.assert_usable(sim)

    def test_nested_shared_holders_then_exclusive(self):
        sim = Korvane(2)
        innermost = Reenter(lambda: sim.h(0))
        middle = Reenter(lambda: sim.get_entangled_group(innermost))
        sim.get_entangled_group(middle)
        self.assertIsNone(middle.error)
        self.assert_refused(innermost, BORROWED)
        self.assert_usable(sim)

    def test_engine_failure_inside_reentrant_conversion_releases(self):
        sim = Korvane(2)
        probe = Reenter(lambda: sim.get_entangled_group(0))
        with self.assertRaises(panic_type()):
            sim.get_entangled_group(Reenter(lambda: sim.get_entangled_group(0), value=5))
        sim.get_entangled_group(probe)
        self.assertEqual(probe.result, {0})
        self.assert_usable(sim)

    def test_other_simulators_are_independent(self):
        sim = Korvane(1)
        other = Korvane(1)
        probe = Reenter(lambda: other.x(0))
        sim.h(probe)
        self.assertIsNone(probe.error)
        self.assertEqual(outcomes(other, (0,)), {0: "(-1, Z)"})
        self.assertEqual(outcomes(sim, (0,)), {0: "(+1, X)"})

    def test_refusal_from_another_thread(self):
        sim = Korvane(2)
        seen = {}

        def in_thread(key, call):
            def body():
                try:
                    seen[key] = call()
                except BaseException as exc:
                    seen[key] = exc

            def convert():
                worker = threading.Thread(target=body)
                worker.start()
                worker.join()  # releases the interpreter lock while the outer call is inside
            return convert

        sim.x(Reenter(in_thread("gate_in_gate", lambda: sim.h(0))))
        sim.x(Reenter(in_thread("shared_in_gate", lambda: sim.get_entangled_group(0))))
        sim.get_entangled_group(Reenter(in_thread("gate_in_shared", lambda: sim.h(0))))
        sim.get_entangled_group(Reenter(in_thread("shared_in_shared", lambda: sim.get_entangled_group(1))))

        for key, message in (("gate_in_gate", BORROWED), ("shared_in_gate", MUTABLY_BORROWED),
                             ("gate_in_shared", BORROWED)):
            with self.subTest(key):
                self.assertIs(type(seen[key]), RuntimeError)
                self.assertEqual(str(seen[key]), message)
        self.assertEqual(seen["shared_in_shared"], {1})
        self.assertEqual(outcomes(sim, (0, 1)), {0: "(+1, Z)", 1: "(+1, Z)"})
        self.assert_usable(sim)


if __name__ == "__main__":
    unittest.main()
