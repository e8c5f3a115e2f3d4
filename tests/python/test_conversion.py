"""Qubit index conversion and the set conversion of peek_measure_set."""

import operator
import traceback
import unittest

from korvane import Axis, Korvane, MeasurementResult

from korvane_support import (NEGATIVE_TEXT, TOO_BIG_TEXT, Index, index_error_text, interpreter_text, out_of_range,
                             outcomes, panic_type)


class Raising:
    """__index__ raises the given exception."""

    def __init__(self, exc):
        self.exc = exc

    def __index__(self):
        raise self.exc


class FailingIndex:
    """__index__ fails with a TypeError raised while it handles a KeyError."""

    def __init__(self, hide_context):
        self.hide_context = hide_context

    def __index__(self):
        try:
            {}["missing"]
        except KeyError:
            if self.hide_context:
                raise TypeError("inner") from None
            raise TypeError("inner")


def rewritten_failure(index):
    """The TypeError of cx(0, index), with its traceback (assertRaises drops it)."""
    try:
        Korvane(2).cx(0, index)
    except TypeError as exc:
        return exc
    raise AssertionError("cx did not fail")


class IndexConversionTests(unittest.TestCase):
    def test_exact_int(self):
        sim = Korvane(3)
        sim.x(2)
        self.assertEqual(outcomes(sim, range(3)), {0: "(+1, Z)", 1: "(+1, Z)", 2: "(-1, Z)"})

    def test_bool_is_an_index(self):
        sim = Korvane(2)
        sim.h(True)
        self.assertEqual(outcomes(sim, (0, 1)), {0: "(+1, Z)", 1: "(+1, X)"})
        sim.x(False)
        self.assertEqual(outcomes(sim, (0, 1)), {0: "(-1, Z)", 1: "(+1, X)"})

    def test_int_subclass_uses_its_value_not_its_index_method(self):
        class Odd(int):
            def __index__(self):
                return 0

        sim = Korvane(2)
        sim.x(Odd(1))
        self.assertEqual(outcomes(sim, (0, 1)), {0: "(+1, Z)", 1: "(-1, Z)"})

    def test_object_with_index(self):
        sim = Korvane(3)
        sim.x(Index(2))
        self.assertEqual(outcomes(sim, (0, 2)), {0: "(+1, Z)", 2: "(-1, Z)"})

    def test_large_but_valid_value_reaches_the_engine(self):
        sim = Korvane(3)
        with self.assertRaises(panic_type()) as caught:
            sim.h(2**64 - 1)
        self.assertEqual(str(caught.exception), out_of_range(3, 2**64 - 1))
        with self.assertRaises(panic_type()) as caught:
            sim.h(2**30)
        self.assertEqual(str(caught.exception), out_of_range(3, 2**30))

    def test_non_integers_name_the_argument(self):
        sim = Korvane(2)
        for bad in (1.0, "0", None, [0], Axis.Y, MeasurementResult.PlusOne, 1j):
            with self.subTest(bad=bad), self.assertRaises(TypeError) as caught:
                sim.h(bad)
            self.assertIs(type(caught.exception), TypeError)
            self.assertEqual(str(caught.exception), "argument 'qubit': " + index_error_text(bad))

    def test_axis_message_in_full(self):
        with self.assertRaises(TypeError) as caught:
            Korvane(2).h(Axis.Y)
        self.assertEqual(str(caught.exception), "argument 'qubit': "
                         + interpreter_text(lambda: operator.index(1.0), ("float", "korvane.Axis")))

    def test_each_parameter_is_named(self):
        sim = Korvane(2)
        cases = [
            (lambda: sim.cx(1.0, 0), "control"),
            (lambda: sim.cx(0, 1.0), "target"),
            (lambda: sim.cx(1.0, 2.0), "control"),
            (lambda: sim.cz(target=1.0, control=2.0), "control"),
            (lambda: sim.measure_y(1.0), "qubit"),
            (lambda: sim.get_entangled_group(1.0), "qubit"),
            (lambda: Korvane(1.0), "qubit_amount"),
            (lambda: sim.peek_measure_set({1.0}), "qubits"),
        ]
        for call, name in cases:
            with self.subTest(name=name), self.assertRaises(TypeError) as caught:
                call()
            self.assertEqual(str(caught.exception), f"argument '{name}': " + index_error_text(1.0))

    def test_control_converted_before_target(self):
        sim = Korvane(3)
        log = []
        sim.cx(target=Index(2, log, "target"), control=Index(0, log, "control"))
        self.assertEqual(log, ["control", "target"])

    def test_negative_values(self):
        sim = Korvane(2)
        for bad in (-1, -2**70, Index(-1)):
            with self.subTest(bad=bad), self.assertRaises(OverflowError) as caught:
                sim.h(bad)
            self.assertIs(type(caught.exception), OverflowError)
            self.assertEqual(str(caught.exception), NEGATIVE_TEXT)

    def test_values_of_two_to_the_64_or_more(self):
        sim = Korvane(2)
        for bad in (2**64, 2**100, Index(2**64)):
            with self.subTest(bad=bad), self.assertRaises(OverflowError) as caught:
                sim.h(bad)
            self.assertEqual(str(caught.exception), TOO_BIG_TEXT)

    def test_constructor_conversion(self):
        with self.assertRaises(OverflowError) as caught:
            Korvane(-1)
        self.assertEqual(str(caught.exception), NEGATIVE_TEXT)
        with self.assertRaises(OverflowError) as caught:
            Korvane(2**64)
        self.assertEqual(str(caught.exception), TOO_BIG_TEXT)
        sim = Korvane(True)
        self.assertEqual(outcomes(sim, (0,)), {0: "(+1, Z)"})
        self.assertEqual(outcomes(Korvane(Index(2)), (0, 1)), {0: "(+1, Z)", 1: "(+1, Z)"})

    def test_index_returning_a_non_int(self):
        sim = Korvane(2)
        with self.assertRaises(TypeError) as caught:
            sim.h(Index("0"))
        self.assertEqual(str(caught.exception), "argument 'qubit': " + index_error_text(Index("0")))

    def test_type_error_rewrite_keeps_the_cause(self):
        root = KeyError("root")
        inner = TypeError("inner")
        inner.__cause__ = root
        with self.assertRaises(TypeError) as caught:
            Korvane(2).h(Raising(inner))
        self.assertIsNot(caught.exception, inner)
        self.assertIs(type(caught.exception), TypeError)
        self.assertEqual(str(caught.exception), "argument 'qubit': inner")
        self.assertEqual(caught.exception.args, ("argument 'qubit': inner",))
        self.assertIs(caught.exception.__cause__, root)

    def test_type_error_rewrite_keeps_traceback_and_context(self):
        # Also inside a handler, where raising anew would chain the handled exception in
        # place of the replaced one's context.
        for handling in (False, True):
            for hide in (False, True):
                with self.subTest(handling=handling, hide_context=hide):
                    if handling:
                        try:
                            raise LookupError("handled")
                        except LookupError:
                            rewritten = rewritten_failure(FailingIndex(hide))
                    else:
                        rewritten = rewritten_failure(FailingIndex(hide))
                    self.assertEqual(str(rewritten), "argument 'target': inner")
                    self.assertIs(type(rewritten.__context__), KeyError)
                    self.assertIsNone(rewritten.__cause__)
                    self.assertIs(rewritten.__suppress_context__, hide)
                    # From the frame that caught it down to the line in __index__ that raised.
                    frames = traceback.extract_tb(rewritten.__traceback__)
                    self.assertEqual([f.name for f in frames], ["rewritten_failure", "__index__"])
                    self.assertEqual(frames[-1].line, "raise TypeError(\"inner\")" + (" from None" if hide else ""))

    def test_type_error_rewrite_without_cause(self):
        with self.assertRaises(TypeError) as caught:
            Korvane(2).cx(0, Raising(TypeError("plain")))
        self.assertEqual(str(caught.exception), "argument 'target': plain")
        self.assertIsNone(caught.exception.__cause__)

    def test_type_error_subclass_passes_unchanged(self):
        class SpecialTypeError(TypeError):
            pass

        original = SpecialTypeError("special")
        with self.assertRaises(SpecialTypeError) as caught:
            Korvane(2).h(Raising(original))
        self.assertIs(caught.exception, original)
        self.assertEqual(str(caught.exception), "special")

    def test_other_exceptions_pass_unchanged(self):
        for original in (ValueError("value"), OverflowError("overflow"), KeyboardInterrupt("stop"),
                         RuntimeError("runtime")):
            with self.subTest(type(original).__name__), self.assertRaises(type(original)) as caught:
                Korvane(2).h(Raising(original))
            self.assertIs(caught.exception, original)
            self.assertEqual(str(caught.exception), str(original.args[0]))

    def test_conversion_failure_releases_access(self):
        sim = Korvane(2)
        for bad in (1.0, -1, Raising(ValueError("v"))):
            with self.assertRaises(Exception):
                sim.x(bad)
            with self.assertRaises(Exception):
                sim.get_entangled_group(bad)
        sim.x(0)
        self.assertEqual(outcomes(sim, (0, 1)), {0: "(-1, Z)", 1: "(+1, Z)"})


class SetConversionTests(unittest.TestCase):
    def test_rejects_non_sets(self):
        sim = Korvane(2)
        for bad, name in (([0], "list"), ((0,), "tuple"), ({0: 0}, "dict"), (0, "int"), (None, "NoneType"),
                          (range(1), "range"), ({0}.__iter__(), "set_iterator"), (Axis.X, "Axis")):
            with self.subTest(name), self.assertRaises(TypeError) as caught:
                sim.peek_measure_set(bad)
            self.assertIs(type(caught.exception), TypeError)
            self.assertEqual(str(caught.exception), f"argument 'qubits': '{name}' object cannot be cast as 'set'")

    def test_message_uses_the_qualified_name(self):
        class Holder:
            pass

        with self.assertRaises(TypeError) as caught:
            Korvane(1).peek_measure_set(Holder())
        self.assertEqual(str(caught.exception),
                         f"argument 'qubits': '{Holder.__qualname__}' object cannot be cast as 'set'")
        self.assertIn("<locals>", Holder.__qualname__)

    def test_accepts_sets_frozensets_and_subclasses(self):
        class MySet(set):
            pass

        class MyFrozenSet(frozenset):
            pass

        sim = Korvane(3)
        sim.x(1)
        expected = {0: "(+1, Z)", 1: "(-1, Z)"}
        for qubits in ({0, 1}, frozenset({0, 1}), MySet({0, 1}), MyFrozenSet({0, 1})):
            with self.subTest(type(qubits).__name__):
                self.assertEqual({q: str(o) for q, o in sim.peek_measure_set(qubits).items()}, expected)

    def test_empty_set_gives_empty_dict(self):
        result = Korvane(2).peek_measure_set(set())
        self.assertEqual(result, {})
        self.assertIs(type(result), dict)
        self.assertEqual(Korvane(0).peek_measure_set(frozenset()), {})

    def test_element_conversion_errors(self):
        sim = Korvane(2)
        with self.assertRaises(OverflowError) as caught:
            sim.peek_measure_set({-1})
        self.assertEqual(str(caught.exception), NEGATIVE_TEXT)
        with self.assertRaises(OverflowError) as caught:
            sim.peek_measure_set({0, 2**64})
        self.assertEqual(str(caught.exception), TOO_BIG_TEXT)
        with self.assertRaises(TypeError) as caught:
            sim.peek_measure_set({0, "1"})
        self.assertEqual(str(caught.exception), "argument 'qubits': " + index_error_text("1"))
        original = ValueError("from index")
        with self.assertRaises(ValueError) as caught:
            sim.peek_measure_set({Raising(original)})
        self.assertIs(caught.exception, original)

    def test_elements_may_be_bools_and_index_objects(self):
        sim = Korvane(3)
        sim.x(2)
        result = sim.peek_measure_set({True, Index(2)})
        self.assertEqual({q: str(o) for q, o in result.items()}, {1: "(+1, Z)", 2: "(-1, Z)"})
        self.assertEqual({type(q) for q in result}, {int})

    def test_elements_converting_to_the_same_index_are_one_entry(self):
        sim = Korvane(2)
        result = sim.peek_measure_set({1, Index(1), Index(1)})
        self.assertEqual(list(result), [1])

    def test_element_out_of_range(self):
        sim = Korvane(2)
        with self.assertRaises(panic_type()) as caught:
            sim.peek_measure_set({0, 2})
        self.assertEqual(str(caught.exception), out_of_range(2, 2))


if __name__ == "__main__":
    unittest.main()
