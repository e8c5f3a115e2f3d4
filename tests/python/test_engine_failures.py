"""Failed engine checks as PanicException, and what they leave behind."""

import unittest

from korvane import Korvane

from korvane_support import out_of_range, outcomes, panic_type, same_qubit

SINGLE_QUBIT = ("x", "y", "z", "h", "s", "sdag", "measure_x", "measure_y", "measure_z", "get_entangled_group")
TWO_QUBIT = ("cz", "cx", "xcx", "ycx", "xcz", "ycz", "cy", "xcy", "ycy")
FRESH3 = {0: "(+1, Z)", 1: "(+1, Z)", 2: "(+1, Z)"}


class PanicExceptionTests(unittest.TestCase):
    def test_class(self):
        panic = panic_type()
        self.assertEqual(panic.__bases__, (BaseException,))
        self.assertFalse(issubclass(panic, Exception))
        self.assertEqual(panic.__name__, "PanicException")
        self.assertEqual(panic.__module__, "korvane")
        self.assertIn("BaseException", panic.__doc__)

    def test_created_once(self):
        self.assertIs(panic_type(), panic_type())
        with self.assertRaises(BaseException) as caught:
            Korvane(2).cz(0, 0)
        self.assertIs(type(caught.exception), panic_type())

    def test_instance_carries_the_message(self):
        with self.assertRaises(panic_type()) as caught:
            Korvane(3).h(5)
        self.assertEqual(caught.exception.args, ("index out of bounds: the len is 3 but the index is 5",))
        self.assertEqual(str(caught.exception), "index out of bounds: the len is 3 but the index is 5")

    def test_not_caught_by_except_exception(self):
        sim = Korvane(3)
        caught_by_exception = False
        try:
            try:
                sim.h(99)
            except Exception:
                caught_by_exception = True
        except BaseException as exc:
            self.assertIs(type(exc), panic_type())
        else:
            self.fail("h(99) did not fail")
        self.assertFalse(caught_by_exception)


class IndexCheckTests(unittest.TestCase):
    def test_every_single_qubit_method(self):
        sim = Korvane(3)
        for name in SINGLE_QUBIT:
            with self.subTest(name), self.assertRaises(panic_type()) as caught:
                getattr(sim, name)(3)
            self.assertEqual(str(caught.exception), out_of_range(3, 3))
        self.assertEqual(outcomes(sim, range(3)), FRESH3)

    def test_simulator_stays_usable(self):
        sim = Korvane(3)
        with self.assertRaises(panic_type()):
            sim.h(3)
        sim.h(0)
        sim.x(2)
        self.assertEqual(outcomes(sim, range(3)), {0: "(+1, X)", 1: "(+1, Z)", 2: "(-1, Z)"})

    def test_empty_simulator(self):
        sim = Korvane(0)
        for name in SINGLE_QUBIT:
            with self.subTest(name), self.assertRaises(panic_type()) as caught:
                getattr(sim, name)(0)
            self.assertEqual(str(caught.exception), out_of_range(0, 0))
        self.assertEqual(sim.peek_measure_set(set()), {})

    def test_index_failure_changes_nothing_after_entanglement(self):
        sim = Korvane(3)
        sim.h(0)
        sim.cx(0, 1)
        for name in SINGLE_QUBIT:
            with self.subTest(name), self.assertRaises(panic_type()):
                getattr(sim, name)(7)
        self.assertEqual(sim.get_entangled_group(0), {0, 1})
        self.assertEqual(sim.measure_z(0), sim.measure_z(1))

    def test_preview_failure(self):
        sim = Korvane(3)
        sim.x(1)
        with self.assertRaises(panic_type()) as caught:
            sim.peek_measure_set({0, 1, 3})
        self.assertEqual(str(caught.exception), out_of_range(3, 3))
        self.assertEqual(outcomes(sim, range(3)), {0: "(+1, Z)", 1: "(-1, Z)", 2: "(+1, Z)"})

    def test_preview_failure_on_an_entangled_state(self):
        sim = Korvane(3)
        sim.h(0)
        sim.cx(0, 1)
        for _ in range(20):
            with self.assertRaises(panic_type()):
                sim.peek_measure_set({0, 1, 3})
        self.assertEqual(sim.get_entangled_group(1), {0, 1})
        self.assertEqual(sim.measure_z(0), sim.measure_z(1))


class TwoQubitCheckTests(unittest.TestCase):
    def test_same_qubit_message(self):
        with self.assertRaises(panic_type()) as caught:
            Korvane(3).cz(1, 1)
        self.assertEqual(str(caught.exception),
                         "assertion `left != right` failed: Same control and target not allowed\n  left: 1\n right: 1")

    def test_every_gate_rejects_the_same_qubit(self):
        for name in TWO_QUBIT:
            with self.subTest(name), self.assertRaises(panic_type()) as caught:
                getattr(Korvane(3), name)(2, 2)
            self.assertEqual(str(caught.exception), same_qubit(2, 2))

    def test_same_qubit_reported_before_range_in_cz(self):
        with self.assertRaises(panic_type()) as caught:
            Korvane(3).cz(5, 5)
        self.assertEqual(str(caught.exception), same_qubit(5, 5))

    def test_range_reported_before_same_qubit_in_cx(self):
        with self.assertRaises(panic_type()) as caught:
            Korvane(3).cx(3, 3)
        self.assertEqual(str(caught.exception), out_of_range(3, 3))

    def test_cz_range_checks(self):
        for control, target in ((0, 3), (3, 0), (4, 3)):
            sim = Korvane(3)
            with self.subTest(control=control, target=target), self.assertRaises(panic_type()) as caught:
                sim.cz(control, target)
            self.assertEqual(str(caught.exception), out_of_range(3, control if control >= 3 else target))
            self.assertEqual(outcomes(sim, range(3)), FRESH3)

    def test_what_a_same_qubit_failure_leaves(self):
        # H for cx and xcz, nothing for xcx: the basis change before cz stays applied.
        for name, left in (("cx", "(+1, X)"), ("xcz", "(+1, X)"), ("xcx", "(+1, Z)")):
            sim = Korvane(3)
            with self.subTest(name), self.assertRaises(panic_type()):
                getattr(sim, name)(2, 2)
            self.assertEqual(outcomes(sim, range(3)), {0: "(+1, Z)", 1: "(+1, Z)", 2: left})

    def test_what_a_range_failure_leaves(self):
        sim = Korvane(3)
        with self.assertRaises(panic_type()) as caught:
            sim.cx(0, 3)
        self.assertEqual(str(caught.exception), out_of_range(3, 3))
        self.assertEqual(outcomes(sim, range(3)), FRESH3)
        with self.assertRaises(panic_type()) as caught:
            sim.cx(3, 0)
        self.assertEqual(str(caught.exception), out_of_range(3, 3))
        self.assertEqual(outcomes(sim, range(3)), {0: "(+1, X)", 1: "(+1, Z)", 2: "(+1, Z)"})


class ConstructorFailureTests(unittest.TestCase):
    def test_zero_qubits(self):
        self.assertEqual(Korvane(0).peek_measure_set(set()), {})

    def test_capacity_overflow(self):
        for count in (2**63, 2**64 - 1):
            with self.subTest(count=count), self.assertRaises(panic_type()) as caught:
                Korvane(count)
            self.assertEqual(str(caught.exception), "capacity overflow")
            self.assertEqual(caught.exception.args, ("capacity overflow",))

    def test_memory_error_when_the_state_cannot_be_had(self):
        with self.assertRaises(MemoryError):
            Korvane(2**40)
        # The process is unharmed.
        self.assertEqual(outcomes(Korvane(2), (0, 1)), {0: "(+1, Z)", 1: "(+1, Z)"})


if __name__ == "__main__":
    unittest.main()
