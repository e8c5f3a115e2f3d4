"""Argument binding: positional and keyword arguments, and every binding error message."""

import unittest

from korvane import Korvane, MeasurementResult

from korvane_support import outcomes


def raises_type_error(test, call):
    with test.assertRaises(TypeError) as caught:
        call()
    test.assertIs(type(caught.exception), TypeError)
    return str(caught.exception)


class TooManyPositionalTests(unittest.TestCase):
    def test_constructor(self):
        self.assertEqual(raises_type_error(self, lambda: Korvane(1, 2)),
                         "Korvane.__new__() takes 1 positional arguments but 2 were given")

    def test_one_parameter(self):
        sim = Korvane(2)
        self.assertEqual(raises_type_error(self, lambda: sim.h(0, 1)),
                         "Korvane.h() takes 1 positional arguments but 2 were given")
        self.assertEqual(raises_type_error(self, lambda: sim.measure_z(0, 1, 1, 1)),
                         "Korvane.measure_z() takes 1 positional arguments but 4 were given")
        self.assertEqual(raises_type_error(self, lambda: sim.peek_measure_set({0}, {1})),
                         "Korvane.peek_measure_set() takes 1 positional arguments but 2 were given")

    def test_two_parameters(self):
        sim = Korvane(3)
        self.assertEqual(raises_type_error(self, lambda: sim.cx(0, 1, 2)),
                         "Korvane.cx() takes 2 positional arguments but 3 were given")

    def test_checked_before_keywords(self):
        sim = Korvane(2)
        self.assertEqual(raises_type_error(self, lambda: sim.h(0, 1, foo=2)),
                         "Korvane.h() takes 1 positional arguments but 2 were given")
        self.assertEqual(raises_type_error(self, lambda: sim.cz(0, 1, 0, control=1)),
                         "Korvane.cz() takes 2 positional arguments but 3 were given")


class UnexpectedKeywordTests(unittest.TestCase):
    def test_constructor(self):
        self.assertEqual(raises_type_error(self, lambda: Korvane(n=3)),
                         "Korvane.__new__() got an unexpected keyword argument 'n'")

    def test_methods(self):
        sim = Korvane(2)
        self.assertEqual(raises_type_error(self, lambda: sim.h(foo=1)),
                         "Korvane.h() got an unexpected keyword argument 'foo'")
        self.assertEqual(raises_type_error(self, lambda: sim.cx(0, 1, extra=2)),
                         "Korvane.cx() got an unexpected keyword argument 'extra'")
        self.assertEqual(raises_type_error(self, lambda: sim.peek_measure_set(qubit={0})),
                         "Korvane.peek_measure_set() got an unexpected keyword argument 'qubit'")
        self.assertEqual(raises_type_error(self, lambda: sim.h(**{"q\u00fcbit": 0})),
                         "Korvane.h() got an unexpected keyword argument 'q\u00fcbit'")

    def test_reported_before_missing_arguments(self):
        sim = Korvane(2)
        self.assertEqual(raises_type_error(self, lambda: sim.cx(0, bogus=1)),
                         "Korvane.cx() got an unexpected keyword argument 'bogus'")

    def test_parameter_name_of_another_method(self):
        sim = Korvane(2)
        self.assertEqual(raises_type_error(self, lambda: sim.h(control=0)),
                         "Korvane.h() got an unexpected keyword argument 'control'")


class MultipleValuesTests(unittest.TestCase):
    def test_constructor(self):
        self.assertEqual(raises_type_error(self, lambda: Korvane(3, qubit_amount=3)),
                         "Korvane.__new__() got multiple values for argument 'qubit_amount'")

    def test_methods(self):
        sim = Korvane(2)
        self.assertEqual(raises_type_error(self, lambda: sim.cx(0, control=1)),
                         "Korvane.cx() got multiple values for argument 'control'")
        self.assertEqual(raises_type_error(self, lambda: sim.cx(0, 1, target=1)),
                         "Korvane.cx() got multiple values for argument 'target'")
        self.assertEqual(raises_type_error(self, lambda: sim.h(0, qubit=0)),
                         "Korvane.h() got multiple values for argument 'qubit'")

    def test_keywords_examined_in_order(self):
        sim = Korvane(3)
        self.assertEqual(raises_type_error(self, lambda: sim.cx(0, foo=1, control=2)),
                         "Korvane.cx() got an unexpected keyword argument 'foo'")
        self.assertEqual(raises_type_error(self, lambda: sim.cx(0, control=2, foo=1)),
                         "Korvane.cx() got multiple values for argument 'control'")


class MissingArgumentTests(unittest.TestCase):
    def test_constructor(self):
        self.assertEqual(raises_type_error(self, lambda: Korvane()),
                         "Korvane.__new__() missing 1 required positional argument: 'qubit_amount'")
        self.assertEqual(raises_type_error(self, lambda: Korvane.__new__(Korvane)),
                         "Korvane.__new__() missing 1 required positional argument: 'qubit_amount'")

    def test_one_parameter(self):
        sim = Korvane(1)
        self.assertEqual(raises_type_error(self, lambda: sim.h()),
                         "Korvane.h() missing 1 required positional argument: 'qubit'")
        self.assertEqual(raises_type_error(self, lambda: sim.get_entangled_group()),
                         "Korvane.get_entangled_group() missing 1 required positional argument: 'qubit'")
        self.assertEqual(raises_type_error(self, lambda: sim.peek_measure_set()),
                         "Korvane.peek_measure_set() missing 1 required positional argument: 'qubits'")

    def test_two_parameters_join_with_and(self):
        sim = Korvane(2)
        self.assertEqual(raises_type_error(self, lambda: sim.cx()),
                         "Korvane.cx() missing 2 required positional arguments: 'control' and 'target'")
        self.assertEqual(raises_type_error(self, lambda: sim.ycy()),
                         "Korvane.ycy() missing 2 required positional arguments: 'control' and 'target'")

    def test_one_of_two_missing(self):
        sim = Korvane(2)
        self.assertEqual(raises_type_error(self, lambda: sim.cx(0)),
                         "Korvane.cx() missing 1 required positional argument: 'target'")
        self.assertEqual(raises_type_error(self, lambda: sim.cx(target=1)),
                         "Korvane.cx() missing 1 required positional argument: 'control'")
        self.assertEqual(raises_type_error(self, lambda: sim.cz(control=1)),
                         "Korvane.cz() missing 1 required positional argument: 'target'")


class SuccessfulBindingTests(unittest.TestCase):
    def test_constructor_by_keyword(self):
        sim = Korvane(qubit_amount=3)
        self.assertEqual(outcomes(sim, range(3)), {0: "(+1, Z)", 1: "(+1, Z)", 2: "(+1, Z)"})

    def test_keywords_fill_the_named_parameters(self):
        # Qubit 0 is |1>, so only a gate controlled by qubit 0 flips its target.
        for kwargs, flipped in (({"control": 0, "target": 1}, 1),
                                ({"target": 1, "control": 0}, 1),
                                ({"target": 0, "control": 1}, None)):
            sim = Korvane(2)
            sim.x(0)
            sim.cx(**kwargs)
            expected = {0: "(-1, Z)", 1: "(+1, Z)"}
            if flipped is not None:
                expected[flipped] = "(-1, Z)"
            with self.subTest(kwargs=kwargs):
                self.assertEqual(outcomes(sim, (0, 1)), expected)

    def test_keyword_matches_positional(self):
        by_position = Korvane(2)
        by_position.x(0)
        by_position.cx(0, 1)
        by_keyword = Korvane(2)
        by_keyword.x(0)
        by_keyword.cx(control=0, target=1)
        self.assertEqual(outcomes(by_keyword, (0, 1)), outcomes(by_position, (0, 1)))

    def test_mixed_positional_and_keyword(self):
        sim = Korvane(2)
        sim.x(0)
        sim.cx(0, target=1)
        self.assertEqual(outcomes(sim, (0, 1)), {0: "(-1, Z)", 1: "(-1, Z)"})

    def test_every_single_parameter_method_by_keyword(self):
        sim = Korvane(1)
        for name in ("x", "y", "z", "h", "s", "sdag"):
            self.assertIsNone(getattr(sim, name)(qubit=0))
        self.assertEqual(sim.get_entangled_group(qubit=0), {0})
        self.assertEqual(sim.measure_z(qubit=0), sim.measure_z(qubit=0))
        self.assertEqual(set(sim.peek_measure_set(qubits={0})), {0})

    def test_keyword_names_built_at_run_time(self):
        # Not the interned constant, so matched by content rather than identity.
        name = "".join(["qu", "bit"])
        sim = Korvane(1)
        sim.x(**{name: 0})
        self.assertEqual(outcomes(sim, (0,)), {0: "(-1, Z)"})

        class Name(str):
            pass

        sim.x(**{Name("qubit"): 0})
        self.assertEqual(outcomes(sim, (0,)), {0: "(+1, Z)"})
        self.assertIsInstance(Korvane(**{"".join(["qubit", "_amount"]): 1}), Korvane)

    def test_binding_failure_changes_nothing(self):
        sim = Korvane(2)
        with self.assertRaises(TypeError):
            sim.x(0, 1)
        with self.assertRaises(TypeError):
            sim.cx(0, control=0)
        self.assertEqual(outcomes(sim, (0, 1)), {0: "(+1, Z)", 1: "(+1, Z)"})
        self.assertEqual(sim.measure_z(0), MeasurementResult.PlusOne)


if __name__ == "__main__":
    unittest.main()
