"""Helpers shared by the Python tests of the korvane module."""

import operator
import os
import unittest

import korvane

# For the scripts that run the suite on an emulated CPU (tests/qemu/): the classes that
# repeat calls 100,000 times take minutes there, and every path they repeat is run at
# least once by the other tests.
repeats_calls = unittest.skipIf(os.environ.get("KORVANE_SKIP_REPEATED"),
                                "KORVANE_SKIP_REPEATED is set: the 100,000-call classes are left out")

# CPython's own texts for PyLong_AsUnsignedLongLong failures; the module passes them on.
NEGATIVE_TEXT = "can't convert negative int to unsigned"
TOO_BIG_TEXT = "int too big to convert"


def index_error_text(obj):
    """The interpreter's message when `obj` has no usable __index__ (PyNumber_Index)."""
    try:
        operator.index(obj)
    except TypeError as exc:
        return str(exc)
    raise AssertionError(f"{obj!r} converts to an integer")


def out_of_range(length, index):
    return f"index out of bounds: the len is {length} but the index is {index}"


def same_qubit(control, target):
    return ("assertion `left != right` failed: Same control and target not allowed\n"
            f"  left: {control}\n right: {target}")


def panic_type():
    """The engine-failure class, reached through a failure as users meet it."""
    try:
        korvane.Korvane(0).h(0)
    except BaseException as exc:  # the class derives from BaseException only
        return type(exc)
    raise AssertionError("h(0) on an empty simulator did not fail")


def outcomes(sim, qubits):
    """Preview of isolated qubits as {qubit: "(+1, X)"}: certain results only."""
    return {q: str(o) for q, o in sim.peek_measure_set(set(qubits)).items()}


class Index:
    """An object with __index__ that records its conversions in `log` under `name`."""

    def __init__(self, value, log=None, name=None):
        self.value = value
        self.log = log
        self.name = name

    def __index__(self):
        if self.log is not None:
            self.log.append(self.name)
        return self.value


class Reenter:
    """Runs `action` inside __index__ and keeps what it returned or raised."""

    def __init__(self, action, value=0, swallow=True):
        self.action = action
        self.value = value
        self.swallow = swallow
        self.result = None
        self.error = None

    def __index__(self):
        try:
            self.result = self.action()
        except BaseException as exc:
            self.error = exc
            if not self.swallow:
                raise
        return self.value
