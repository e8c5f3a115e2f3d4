"""Instances come from the module's own constructors only, even once a class's __new__ has
been replaced: no object exists whose C++ fields were never constructed."""

import unittest

from korvane_support import run_child

# The classes are mutable, and a replaced __new__ cannot be put back, so this runs in a
# child process. Each class gets a __new__ that goes straight to object.__new__; each
# attempt reports the TypeError it met, or "made" for an instance that should not exist.
CHILD = r'''
import json

import korvane

report = {}
for name in ("Korvane", "Axis", "MeasurementResult", "Outcome"):
    cls = getattr(korvane, name)
    cls.__new__ = lambda c, *args: object.__new__(c)
    attempts = {"call": (lambda: cls(3)) if name == "Korvane" else cls, "object.__new__": lambda: object.__new__(cls)}
    for how, make in attempts.items():
        try:
            made = make()
        except TypeError as exc:
            report[f"{name} {how}"] = str(exc)
        else:
            del made
            report[f"{name} {how}"] = "made"
print(json.dumps(report))
'''


class ReplacedNewTests(unittest.TestCase):
    def test_no_instance_without_the_constructor(self):
        report = run_child(CHILD)
        expected = {}
        for name in ("Korvane", "Axis", "MeasurementResult", "Outcome"):
            text = (f"cannot create 'korvane.{name}' instances except through its own constructor"
                    if name == "Korvane" else f"cannot create 'korvane.{name}' instances")
            expected[f"{name} call"] = expected[f"{name} object.__new__"] = text
        self.assertEqual(report, expected)


if __name__ == "__main__":
    unittest.main()
