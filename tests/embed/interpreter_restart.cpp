// Starts and finalizes the interpreter several times in one process, importing korvane
// (from PYTHONPATH) and using it in each: a module or class cached from an interpreter
// that has been finalized would be empty or dangling in the next one. Exit status 1 on
// any failure; the Python traceback is printed.
#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <cstdio>

namespace {

constexpr const char* kCheck = R"py(
import gc
import importlib
import sys

import korvane

names = ["MeasurementResult", "Outcome", "Axis", "Korvane"]
assert korvane.__all__ == names, korvane.__all__
for name in names:
    cls = getattr(korvane, name)
    assert isinstance(cls, type), (name, cls)
    assert cls.__module__ == "korvane" and cls.__qualname__ == name, cls

# Keywords are matched against names interned by the module.
sim = korvane.Korvane(qubit_amount=3)
sim.h(qubit=0)
sim.cx(control=0, target=1)
assert sim.get_entangled_group(0) == {0, 1}
sim.h(2)
sim.cz(1, 2)
assert sim.get_entangled_group(2) == {0, 1, 2}
first = sim.measure_z(0)
assert type(first) is korvane.MeasurementResult, type(first)
assert first in (korvane.MeasurementResult.PlusOne, korvane.MeasurementResult.MinusOne)
assert sim.measure_z(1) == first
preview = sim.peek_measure_set({0, 1})
assert sorted(preview) == [0, 1], preview
for outcome in preview.values():
    assert type(outcome) is korvane.Outcome
    assert outcome.axis == korvane.Axis.Z and outcome.result == first, str(outcome)

try:
    sim.h(3)
except Exception:
    raise AssertionError("an engine failure was caught as an Exception")
except BaseException as exc:
    panic_type = type(exc)
    assert panic_type.__name__ == "PanicException", panic_type
    assert str(exc) == "index out of bounds: the len is 3 but the index is 3", str(exc)
else:
    raise AssertionError("h(3) on three qubits did not fail")
try:
    sim.h(qubit=1.5)
except TypeError as exc:
    assert str(exc).startswith("argument 'qubit': "), str(exc)
else:
    raise AssertionError("h(1.5) did not fail")

# A class left over from an earlier interpreter still looks whole, but the collector of
# this one has never seen it.
made_here = {id(o) for o in gc.get_objects()}
for cls in [getattr(korvane, name) for name in names] + [panic_type]:
    assert id(cls) in made_here, f"{cls} was made by an earlier interpreter"

del sys.modules["korvane"]
assert importlib.import_module("korvane") is korvane
)py";

constexpr int kRounds = 3;

// A reference that outlives its interpreter, as an application or another extension may
// leak one: the module of round 2 is never freed, yet round 3 must start afresh.
PyObject* g_kept_past_finalization = nullptr;

}  // namespace

int main() {
    for (int round = 1; round <= kRounds; ++round) {
        Py_InitializeEx(0);
        bool checked = PyRun_SimpleString(kCheck) == 0;
        if (checked && round == 2) {
            g_kept_past_finalization = PyImport_ImportModule("korvane");
            checked = g_kept_past_finalization != nullptr;
        }
        const bool finalized = Py_FinalizeEx() == 0;
        if (!checked || !finalized) {
            std::fprintf(stderr, "interpreter %d of %d: %s\n", round, kRounds,
                         checked ? "finalization failed" : "the module check failed");
            return 1;
        }
    }
    return 0;
}
