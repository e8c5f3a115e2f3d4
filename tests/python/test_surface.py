"""What Python sees of the module: names, classes, docstrings, signatures, restrictions."""

import gc
import importlib
import inspect
import os
import sys
import unittest
import weakref

import korvane
from korvane import Axis, Korvane, MeasurementResult, Outcome

from korvane_support import interpreter_text

CLASS_NAMES = ["MeasurementResult", "Outcome", "Axis", "Korvane"]

SINGLE_TAIL = "\n\n`node` is the index of the qubit."
MEASURE_TAIL = "\n\nReturns `MeasurementResult.PlusOne` or `MeasurementResult.MinusOne`."

# Method name -> (text signature, docstring without it), in the order the class defines them.
METHODS = {
    "x": ("($self, qubit)", "Apply an X (Pauli-X) gate to the given qubit." + SINGLE_TAIL),
    "y": ("($self, qubit)", "Apply a Y (Pauli-Y) gate to the given qubit." + SINGLE_TAIL),
    "z": ("($self, qubit)", "Apply a Z (Pauli-Z) gate to the given qubit." + SINGLE_TAIL),
    "h": ("($self, qubit)", "Apply an H (Hadamard) gate to the given qubit." + SINGLE_TAIL),
    "s": ("($self, qubit)", "Apply an S (phase) gate to the given qubit." + SINGLE_TAIL),
    "sdag": ("($self, qubit)", "Apply an S\u2020 (inverse phase) gate to the given qubit." + SINGLE_TAIL),
    "cz": ("($self, control, target)", "Apply a controlled-Z (CZ) gate with `control` and `target` qubits."),
    "cx": ("($self, control, target)", "Apply a controlled-X (CX) / CNOT gate with `control` and `target`."),
    "xcx": ("($self, control, target)", "Apply an X-controlled X gate (CX in the X basis)."),
    "ycx": ("($self, control, target)", "Apply a Y-controlled X gate (control qubit in the Y basis)."),
    "xcz": ("($self, control, target)", "Apply an X-controlled Z gate (target in X basis)."),
    "ycz": ("($self, control, target)", "Apply a Y-controlled Z gate (target in Y basis)."),
    "cy": ("($self, control, target)", "Apply a controlled-Y (CY) gate with `control` and `target`."),
    "xcy": ("($self, control, target)", "Apply an X-controlled Y gate (control in X basis)."),
    "ycy": ("($self, control, target)", "Apply a Y-controlled Y gate (both in Y basis)."),
    "measure_x": ("($self, qubit)",
                  "Perform a projective measurement of `qubit` in the X basis." + MEASURE_TAIL),
    "measure_y": ("($self, qubit)",
                  "Perform a projective measurement of `qubit` in the Y basis." + MEASURE_TAIL),
    "measure_z": ("($self, qubit)",
                  "Perform a projective measurement of `qubit` in the Z basis." + MEASURE_TAIL),
    "get_entangled_group": ("($self, qubit)",
                            "Return the set of qubits that are entangled with `qubit`.\n\n"
                            "This follows adjacency in the underlying graph."),
    "peek_measure_set": ("($self, qubits)",
                         "Simulate measurements on a set of `qubits` without modifying the real state.\n\n"
                         "Returns a map from qubit index to `Outcome` (result and axis used)."),
}


# A built-in type that Python may not instantiate, as korvane's value classes.
NOT_CREATABLE = type(iter(()))


def subclass_of_bool():
    class Sub(bool):
        pass


def legacy_subinterpreter():
    """A sub-interpreter that shares the main one's import state, as embedders create
    them, and a function that runs code in it and gives the text of its failure or None.

    Isolated sub-interpreters (the default from 3.12 on) refuse single-phase modules before
    korvane is asked; the module's own refusal is for the legacy kind. The private module
    that reaches them changed name and calling convention in 3.13."""
    try:
        import _interpreters
    except ImportError:
        pass
    else:
        interp = _interpreters.create("legacy")

        def run(code):
            failure = _interpreters.run_string(interp, code)
            return None if failure is None else f"{failure.type.__name__}: {failure.msg}"
        return run, lambda: _interpreters.destroy(interp)
    try:
        import _xxsubinterpreters as old
    except ImportError:
        return None
    interp = old.create(isolated=False) if sys.version_info >= (3, 12) else old.create()

    def run(code):
        try:
            old.run_string(interp, code)
        except old.RunFailedError as exc:
            return str(exc)
        return None
    return run, lambda: old.destroy(interp)


def sample_instances():
    sim = Korvane(1)
    outcome = sim.peek_measure_set({0})[0]
    return {Korvane: sim, MeasurementResult: MeasurementResult.PlusOne, Axis: Axis.X, Outcome: outcome}


class ModuleTests(unittest.TestCase):
    def test_all_lists_the_classes_in_order(self):
        self.assertEqual(korvane.__all__, CLASS_NAMES)

    def test_classes_are_added_in_order(self):
        added = [name for name in vars(korvane) if name in CLASS_NAMES]
        self.assertEqual(added, CLASS_NAMES)
        for name in CLASS_NAMES:
            self.assertIsInstance(getattr(korvane, name), type)

    def test_module_docstring(self):
        self.assertEqual(korvane.__doc__,
                         "Graph-state based quantum circuit simulator exposed as the `korvane` Python module.")

    def test_no_module_level_functions(self):
        public = [name for name in vars(korvane) if not name.startswith("__")]
        self.assertEqual(public, CLASS_NAMES)

    def test_reimport_gives_the_same_module(self):
        original = sys.modules.pop("korvane")
        try:
            again = importlib.import_module("korvane")
            self.assertIs(again, original)
            self.assertIs(again.Korvane, Korvane)
        finally:
            sys.modules["korvane"] = original

    def test_second_interpreter_is_refused(self):
        made = legacy_subinterpreter()
        if made is None:
            self.skipTest("no sub-interpreter support in this build")
        run, destroy = made
        try:
            path = os.path.dirname(korvane.__file__)
            self.assertIsNone(run(f"import sys; sys.path.insert(0, {path!r})"))
            # The interpreter reports a failure in its own format; the twin shows it.
            self.assertEqual(run("import korvane"),
                             run("raise ImportError('korvane does not support sub-interpreters')"))
        finally:
            destroy()
        # The refusal leaves the main interpreter's module intact.
        self.assertEqual(Korvane(1).measure_z(0), MeasurementResult.PlusOne)


class ClassTests(unittest.TestCase):
    def test_names(self):
        for name in CLASS_NAMES:
            cls = getattr(korvane, name)
            self.assertEqual(cls.__module__, "korvane")
            self.assertEqual(cls.__qualname__, name)
            self.assertEqual(cls.__name__, name)
            self.assertEqual(repr(cls), f"<class 'korvane.{name}'>")

    def test_bases(self):
        for name in CLASS_NAMES:
            self.assertEqual(getattr(korvane, name).__bases__, (object,))

    def test_class_docstrings(self):
        self.assertEqual(MeasurementResult.__doc__,
                         "Result of a single-qubit measurement.\n\nExposed to Python as `korvane.MeasurementResult`.")
        self.assertEqual(Outcome.__doc__,
                         "Measurement outcome and the axis that was measured.\n\n"
                         "Returned in the values of `peek_measure_set`.")
        self.assertIsNone(Axis.__doc__)
        self.assertEqual(Korvane.__doc__,
                         "Simulator for graph states over a fixed number of qubits.\n\n"
                         "Use this class from Python to apply gates and perform measurements.")
        self.assertEqual(Korvane.__text_signature__, "(qubit_amount)")
        self.assertEqual(list(inspect.signature(Korvane).parameters), ["qubit_amount"])

    def test_not_subclassable(self):
        for name in CLASS_NAMES:
            cls = getattr(korvane, name)
            with self.subTest(name), self.assertRaises(TypeError) as caught:
                class Sub(cls):
                    pass
            self.assertEqual(str(caught.exception), interpreter_text(subclass_of_bool, ("bool", f"korvane.{name}")))

    def test_value_classes_cannot_be_instantiated(self):
        for cls in (Axis, MeasurementResult, Outcome):
            for args in ((), (0,)):
                with self.subTest(cls=cls.__name__, args=args), self.assertRaises(TypeError) as caught:
                    cls(*args)
                self.assertEqual(str(caught.exception), interpreter_text(
                    lambda: NOT_CREATABLE(*args), (NOT_CREATABLE.__name__, f"korvane.{cls.__name__}")))

    def test_no_instance_dict(self):
        for cls, instance in sample_instances().items():
            with self.subTest(cls.__name__):
                self.assertFalse(hasattr(instance, "__dict__"))
                with self.assertRaises(AttributeError) as caught:
                    instance.foo = 1
                self.assertEqual(str(caught.exception), interpreter_text(
                    lambda: setattr(object(), "foo", 1), ("object", f"korvane.{cls.__name__}")))

    def test_no_weak_references(self):
        for cls, instance in sample_instances().items():
            with self.subTest(cls.__name__), self.assertRaises(TypeError) as caught:
                weakref.ref(instance)
            self.assertEqual(str(caught.exception),
                             interpreter_text(lambda: weakref.ref(object()), ("object", f"korvane.{cls.__name__}")))

    def test_instances_are_not_garbage_collected_objects(self):
        for cls, instance in sample_instances().items():
            with self.subTest(cls.__name__):
                self.assertFalse(gc.is_tracked(instance))

    def test_class_attributes_can_be_reassigned(self):
        Axis.extra = 5
        try:
            self.assertEqual(Axis.extra, 5)
        finally:
            del Axis.extra
        self.assertFalse(hasattr(Axis, "extra"))

    def test_enumeration_members_in_class_dict_order(self):
        self.assertEqual([k for k in vars(Axis) if k in ("X", "Y", "Z")], ["X", "Y", "Z"])
        self.assertEqual([k for k in vars(MeasurementResult) if k in ("PlusOne", "MinusOne")],
                         ["PlusOne", "MinusOne"])
        self.assertEqual([k for k in vars(Outcome) if k in ("result", "axis")], ["result", "axis"])


class MethodTableTests(unittest.TestCase):
    def test_methods_in_order(self):
        defined = [name for name in vars(Korvane) if not name.startswith("__")]
        self.assertEqual(defined, list(METHODS))

    def test_docstrings_and_text_signatures(self):
        for name, (signature, doc) in METHODS.items():
            method = getattr(Korvane, name)
            with self.subTest(name):
                self.assertEqual(method.__text_signature__, signature)
                self.assertEqual(method.__doc__, doc)

    def test_inspect_signature(self):
        self.assertEqual(list(inspect.signature(Korvane.cx).parameters), ["self", "control", "target"])
        self.assertEqual(list(inspect.signature(Korvane(2).cx).parameters), ["control", "target"])
        self.assertEqual(list(inspect.signature(Korvane(1).peek_measure_set).parameters), ["qubits"])
        for name, (signature, _) in METHODS.items():
            expected = signature.strip("()").replace("$", "").split(", ")
            with self.subTest(name):
                self.assertEqual(list(inspect.signature(getattr(Korvane, name)).parameters), expected)

    def test_sdag_docstring_has_the_dagger(self):
        self.assertIn("S\u2020", Korvane.sdag.__doc__)

    def test_unbound_call_and_foreign_receiver(self):
        sim = Korvane(1)
        self.assertIsNone(Korvane.h(sim, 0))
        with self.assertRaises(TypeError) as caught:
            Korvane.h(object(), 0)
        self.assertEqual(str(caught.exception),
                         interpreter_text(lambda: set.add(object(), 0), ("add", "h"), ("set", "korvane.Korvane")))


if __name__ == "__main__":
    unittest.main()
