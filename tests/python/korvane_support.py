"""Helpers shared by the Python tests of the korvane module."""

import ctypes
import json
import operator
import os
import subprocess
import sys
import unittest

import korvane

# For the scripts that run the suite on an emulated CPU (tests/qemu/): the classes that
# repeat calls 100,000 times take minutes there, and every path they repeat is run at
# least once by the other tests.
repeats_calls = unittest.skipIf(os.environ.get("KORVANE_SKIP_REPEATED"),
                                "KORVANE_SKIP_REPEATED is set: the 100,000-call classes are left out")


def _count_as_parameter(obj):
    return sys.getrefcount(obj)


# What sys.getrefcount reports for a fresh object that only a called function's parameter
# holds: 2 up to CPython 3.13, where the call's own argument counts too, and 1 from 3.14
# on, where that argument is borrowed. Exact counts are checked against this, so a leaked
# reference still shows as one more on every version.
SOLE_REFERENCE = _count_as_parameter(object())


def raised_text(action, kind=Exception):
    """The message of the `kind` exception that `action()` raises."""
    try:
        action()
    except kind as exc:
        return str(exc)
    raise AssertionError(f"{action} raised nothing")


def interpreter_text(action, *renames):
    """The interpreter's message for `action()` on a built-in object, with each (old, new)
    pair of quoted names replaced: the wording korvane's objects get from the same slot.

    Such messages belong to the interpreter and change between versions, so the tests take
    them from the running one instead of a literal."""
    text = raised_text(action)
    for old, new in renames:
        text = text.replace(f"'{old}'", f"'{new}'")
    return text


def unsigned_conversion_text(value):
    """The interpreter's own OverflowError text of PyLong_AsUnsignedLongLong for `value`."""
    convert = ctypes.pythonapi.PyLong_AsUnsignedLongLong
    convert.argtypes = [ctypes.py_object]
    convert.restype = ctypes.c_ulonglong
    return raised_text(lambda: convert(value), OverflowError)


# The module passes these conversion failures on unchanged.
NEGATIVE_TEXT = unsigned_conversion_text(-1)
TOO_BIG_TEXT = unsigned_conversion_text(2**64)


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


def run_child(script, *args):
    """Runs `script` in a new interpreter process (same environment, so the same module)
    and returns what it printed as one JSON document. For what must happen before the
    first import, or changes a class for good."""
    completed = subprocess.run([sys.executable, "-c", script, *args], capture_output=True, text=True,
                               timeout=600, check=False)
    if completed.returncode != 0:
        raise AssertionError(f"child exited with {completed.returncode}:\n{completed.stderr}")
    return json.loads(completed.stdout)
