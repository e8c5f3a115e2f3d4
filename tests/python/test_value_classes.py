"""MeasurementResult, Axis and Outcome."""

import operator
import re
import unittest

from korvane import Axis, Korvane, MeasurementResult, Outcome

from korvane_support import Index, interpreter_text

PlusOne = MeasurementResult.PlusOne
MinusOne = MeasurementResult.MinusOne

# How each isolated single-qubit state is prepared from |0>, and the outcome it reports.
PREPARATIONS = {
    "(+1, Z)": (),
    "(-1, Z)": ("x",),
    "(+1, X)": ("h",),
    "(-1, X)": ("h", "z"),
    "(+1, Y)": ("h", "s"),
    "(-1, Y)": ("h", "sdag"),
}


def outcome_of(text):
    sim = Korvane(1)
    for gate in PREPARATIONS[text]:
        getattr(sim, gate)(0)
    return sim.peek_measure_set({0})[0]


class Raising:
    """__index__ raises the given exception."""

    def __init__(self, exc):
        self.exc = exc

    def __index__(self):
        raise self.exc


class MemberTests(unittest.TestCase):
    def test_values(self):
        for member, value in ((PlusOne, 0), (MinusOne, 1), (Axis.X, 0), (Axis.Y, 1), (Axis.Z, 2)):
            with self.subTest(repr(member)):
                self.assertEqual(int(member), value)
                self.assertIs(type(int(member)), int)

    def test_repr_and_str(self):
        for member, text in ((PlusOne, "MeasurementResult.PlusOne"), (MinusOne, "MeasurementResult.MinusOne"),
                             (Axis.X, "Axis.X"), (Axis.Y, "Axis.Y"), (Axis.Z, "Axis.Z")):
            with self.subTest(text):
                self.assertEqual(repr(member), text)
                self.assertEqual(str(member), text)

    def test_class_attributes_are_single_instances(self):
        self.assertIs(PlusOne, MeasurementResult.PlusOne)
        self.assertIs(Axis.X, Axis.X)
        self.assertIs(type(PlusOne), MeasurementResult)
        self.assertIs(type(Axis.Z), Axis)

    def test_measurement_returns_a_new_instance(self):
        sim = Korvane(1)
        result = sim.measure_z(0)
        self.assertIs(type(result), MeasurementResult)
        self.assertEqual(result, PlusOne)
        self.assertIsNot(result, PlusOne)
        self.assertIsNot(sim.measure_z(0), result)

    def test_no_index(self):
        with self.assertRaises(TypeError):
            [10, 20][MinusOne]
        with self.assertRaises(TypeError):
            operator.index(Axis.X)
        with self.assertRaises(TypeError) as caught:
            Korvane(3).h(Axis.Y)
        self.assertTrue(str(caught.exception).startswith("argument 'qubit': "))

    def test_always_true(self):
        self.assertTrue(bool(PlusOne))
        self.assertTrue(bool(Axis.X))
        self.assertEqual(int(PlusOne), 0)

    def test_unhashable(self):
        for member, name in ((PlusOne, "MeasurementResult"), (Axis.X, "Axis")):
            with self.subTest(name):
                with self.assertRaises(TypeError) as caught:
                    hash(member)
                self.assertEqual(str(caught.exception),
                                 interpreter_text(lambda: hash([]), ("list", f"korvane.{name}")))
                with self.assertRaises(TypeError):
                    {member}
                with self.assertRaises(TypeError):
                    {member: 1}


class ComparisonTests(unittest.TestCase):
    def test_equal_to_its_own_integer(self):
        self.assertTrue(PlusOne == 0)
        self.assertTrue(MinusOne == 1)
        self.assertTrue(Axis.Z == 2)
        self.assertTrue(Axis.Y == True)  # bool is an int
        self.assertTrue(Axis.X == False)
        self.assertFalse(PlusOne == 1)
        self.assertFalse(PlusOne != 0)
        self.assertTrue(PlusOne != 1)

    def test_full_integer_is_compared(self):
        self.assertFalse(PlusOne == 256)
        self.assertTrue(PlusOne != 256)
        self.assertFalse(MinusOne == 257)
        self.assertFalse(Axis.X == -256)

    def test_reflected_comparison(self):
        self.assertTrue(0 == PlusOne)
        self.assertTrue(2 == Axis.Z)
        self.assertTrue(1 != PlusOne)
        self.assertFalse(1 == PlusOne)

    def test_same_class(self):
        self.assertTrue(Axis.X == Axis.X)
        self.assertFalse(Axis.X == Axis.Y)
        self.assertTrue(Axis.X != Axis.Z)
        self.assertTrue(Korvane(1).measure_z(0) == PlusOne)
        self.assertFalse(Korvane(1).measure_z(0) != PlusOne)

    def test_different_classes_never_equal(self):
        self.assertFalse(Axis.X == PlusOne)
        self.assertFalse(PlusOne == Axis.X)
        self.assertTrue(Axis.X != PlusOne)
        self.assertFalse(Axis.Y == MinusOne)

    def test_index_objects_compare_by_value(self):
        self.assertTrue(Axis.Z == Index(2))
        self.assertFalse(Axis.Z == Index(1))
        self.assertTrue(MinusOne != Index(0))

    def test_other_objects_are_unequal(self):
        for other in (0.0, 1.0, "Axis.X", "0", None, 2**70, -2**70, object(), Raising(ValueError("not today")),
                      Raising(TypeError("nor today")), Raising(RecursionError("too deep"))):
            with self.subTest(other=other):
                self.assertFalse(Axis.X == other)
                self.assertTrue(Axis.X != other)
                self.assertFalse(PlusOne == other)
                self.assertTrue(PlusOne != other)

    def test_interruption_exit_and_memory_errors_propagate(self):
        # Raised while the other operand is converted: a failure, never "not equal".
        for exc_type in (KeyboardInterrupt, SystemExit, MemoryError):
            for member in (Axis.Y, PlusOne):
                for compare in (operator.eq, operator.ne):
                    raised = exc_type("while converting")
                    other = Raising(raised)
                    for a, b in ((member, other), (other, member)):
                        with self.subTest(exc_type.__name__, member=member, op=compare.__name__, first=a):
                            with self.assertRaises(exc_type) as caught:
                                compare(a, b)
                            self.assertIs(caught.exception, raised)

    def test_orderings_unsupported(self):
        for a, b in ((Axis.X, Axis.Y), (PlusOne, MinusOne), (Axis.X, 1), (1, Axis.X), (PlusOne, 0)):
            for op in (operator.lt, operator.le, operator.gt, operator.ge):
                with self.subTest(a=a, b=b, op=op.__name__), self.assertRaises(TypeError):
                    op(a, b)
        with self.assertRaises(TypeError) as caught:
            Axis.X < Axis.Y
        self.assertEqual(str(caught.exception),
                         interpreter_text(lambda: object() < object(), ("object", "korvane.Axis")))

    def test_comparison_dunders_give_not_implemented(self):
        self.assertIs(Axis.X.__lt__(Axis.Y), NotImplemented)
        self.assertIs(Axis.X.__eq__(1.5), NotImplemented)
        self.assertIs(PlusOne.__eq__(Axis.X), NotImplemented)
        self.assertIs(PlusOne.__eq__(0), True)
        self.assertIs(PlusOne.__ne__(0), False)


class OutcomeTests(unittest.TestCase):
    def test_string_form(self):
        for text in PREPARATIONS:
            with self.subTest(text):
                self.assertEqual(str(outcome_of(text)), text)

    def test_fields(self):
        outcome = outcome_of("(-1, Y)")
        self.assertIs(type(outcome), Outcome)
        self.assertIs(type(outcome.result), MeasurementResult)
        self.assertIs(type(outcome.axis), Axis)
        self.assertEqual(outcome.result, MinusOne)
        self.assertEqual(outcome.axis, Axis.Y)
        self.assertEqual(repr(outcome.result), "MeasurementResult.MinusOne")
        self.assertEqual(repr(outcome.axis), "Axis.Y")

    def test_each_read_is_a_new_instance(self):
        outcome = outcome_of("(+1, X)")
        self.assertTrue(outcome.axis == outcome.axis)
        self.assertIsNot(outcome.axis, outcome.axis)
        self.assertIsNot(outcome.result, outcome.result)
        self.assertIsNot(outcome.axis, Axis.X)
        self.assertIsNot(outcome.result, PlusOne)

    def test_read_only(self):
        outcome = outcome_of("(+1, Z)")
        for name in ("result", "axis"):
            with self.subTest(name):
                with self.assertRaises(AttributeError) as caught:
                    setattr(outcome, name, PlusOne)
                self.assertEqual(str(caught.exception),  # a property without a setter, as int.real
                                 interpreter_text(lambda: setattr(1, "real", 2), ("real", name),
                                                  ("int", "korvane.Outcome")))
                with self.assertRaises(AttributeError):
                    delattr(outcome, name)
        self.assertEqual(str(outcome), "(+1, Z)")

    def test_default_repr_identity_equality_and_hash(self):
        first = outcome_of("(+1, Z)")
        second = outcome_of("(+1, Z)")
        self.assertRegex(repr(first), re.compile(r"<korvane\.Outcome object at 0x[0-9a-f]+>"))
        self.assertTrue(first == first)
        self.assertFalse(first == second)
        self.assertTrue(first != second)
        self.assertEqual(len({first, second, first}), 2)
        self.assertEqual(hash(first), hash(first))

    def test_outcomes_of_separate_previews_differ(self):
        sim = Korvane(1)
        self.assertNotEqual(sim.peek_measure_set({0})[0], sim.peek_measure_set({0})[0])

    def test_no_integer_conversion_or_ordering(self):
        outcome = outcome_of("(+1, Z)")
        with self.assertRaises(TypeError):
            int(outcome)
        with self.assertRaises(TypeError):
            operator.index(outcome)
        with self.assertRaises(TypeError):
            outcome < outcome
        self.assertTrue(bool(outcome))


if __name__ == "__main__":
    unittest.main()
