"""Every method and the constructor fed a matrix of bad and unusual arguments.

Each case checks the exact exception (type, whole message, identity or cause where that is
promised) and then that the simulator is still usable and holds the state it should: the
state it had, or for the two-qubit gates the basis changes made before the failing check.
A second part repeats every method's success and failure paths many times and checks that
reference counts, traced Python memory, C heap and resident size stay flat.
"""

import gc
import os
import sys
import tracemalloc
import unittest
import warnings

from korvane import Axis, Korvane, MeasurementResult

from test_leaks import heap_bytes
from korvane_support import (NEGATIVE_TEXT as NEGATIVE, SOLE_REFERENCE, TOO_BIG_TEXT as TOO_BIG, Index, Reenter,
                             index_error_text, out_of_range, panic_type, repeats_calls, same_qubit)

PANIC = panic_type()
N = 5  # qubits of every simulator below: 0 and 1 prepared per method, 2 fresh, 3 and 4 a Bell pair
SINGLE = ("x", "y", "z", "h", "s", "sdag", "measure_x", "measure_y", "measure_z", "get_entangled_group")
PAIR = ("cz", "cx", "xcx", "ycx", "xcz", "ycz", "cy", "xcy", "ycy")
METHODS = SINGLE + PAIR + ("peek_measure_set",)
PARAMS = {**{m: ("qubit",) for m in SINGLE}, **{m: ("control", "target") for m in PAIR},
          "peek_measure_set": ("qubits",)}
SHARED = ("get_entangled_group", "peek_measure_set")

# Qubits 0 and 1 are prepared so that every plain-int call on them has a certain outcome:
# eigenstates of the measured axis for the measurements, |+i> and |1> otherwise (|+i> tells
# apart every basis change a failing two-qubit gate can leave on it).
PREPARATION = {"measure_x": (("h",), ("h", "z")), "measure_y": (("h", "s"), ("h", "sdag")),
               "measure_z": ((), ("x",))}
DEFAULT_PREPARATION = (("h", "s"), ("x",))

# Updates a two-qubit gate has made on the valid qubit when the other one is out of range.
LEFT_ON_RANGE_FAILURE = {("cx", "control"): ("h",), ("cy", "control"): ("sdag", "h"),
                         ("xcy", "control"): ("sdag", "h"), ("ycy", "control"): ("sdag",),
                         ("xcx", "target"): ("h",), ("xcz", "target"): ("h",),
                         ("ycx", "target"): ("sdag", "h"), ("ycz", "target"): ("sdag", "h")}
# Updates left on the qubit when control and target are the same.
LEFT_ON_SAME_QUBIT = {"cz": (), "cx": ("h",), "xcz": ("h",), "cy": ("sdag", "h"), "ycz": ("sdag", "h"),
                      "xcx": ("h", "h"), "xcy": ("sdag", "h", "h"), "ycx": ("sdag", "h", "h"),
                      "ycy": ("sdag", "sdag", "h", "h")}


def set_resize_text():
    s = {0}
    try:
        for _ in s:
            s.add(1)
    except RuntimeError as exc:
        return str(exc)
    raise AssertionError("no error")


def descriptor_texts(name):
    """The interpreter's messages for a method descriptor called without a Korvane self."""
    texts = []
    for call in (lambda: set.add(object(), 0), lambda: set.add()):
        try:
            call()
        except TypeError as exc:
            texts.append(str(exc).replace("'add'", f"'{name}'").replace("'set'", "'korvane.Korvane'")
                         .replace("set.add()", f"Korvane.{name}()"))
    return texts


def build(name, gates_on_0=()):
    sim = Korvane(N)
    for qubit, gates in enumerate(PREPARATION.get(name, DEFAULT_PREPARATION)):
        for gate in gates:
            getattr(sim, gate)(qubit)
    sim.h(3)
    sim.cx(3, 4)
    for gate in gates_on_0:
        getattr(sim, gate)(0)
    return sim


def fingerprint(sim):
    """Groups of every qubit and the certain preview of every unentangled one."""
    groups = [frozenset(sim.get_entangled_group(q)) for q in range(N)]
    alone = {q for q in range(N) if groups[q] == {q}}
    return groups, {q: str(o) for q, o in sim.peek_measure_set(alone).items()}


def plain(result):
    if isinstance(result, dict):
        return {k: str(v) for k, v in result.items()}
    if isinstance(result, MeasurementResult):
        return str(result)
    return result


# ---- what a case expects ------------------------------------------------------------

class Raises:
    def __init__(self, kind, message, same=None, cause=None, left=()):
        self.kind = kind
        self.message = message
        self.same = same  # the very exception object that must come out, if any
        self.cause = cause
        self.left = left  # gates the failed call leaves applied on qubit 0


class Like:
    """The call behaves exactly like the same call with the plain int `value` (same result
    or same failure, same state afterwards)."""

    def __init__(self, value, probe=None):
        self.value = value
        self.probe = probe  # a Reenter whose inner call must have succeeded


# ---- argument kinds -----------------------------------------------------------------

class Raising:
    def __init__(self, exc):
        self.exc = exc

    def __index__(self):
        raise self.exc


class SpecialTypeError(TypeError):
    pass


class OddInt(int):
    def __index__(self):  # never consulted: an int subclass converts by its value
        return 0


class BoolIndex:
    def __index__(self):
        return True


def raise_from(exc, cause):
    try:
        raise exc from cause
    except type(exc) as caught:
        return caught


def named(param, value):
    return Raises(TypeError, f"argument '{param}': " + index_error_text(value))


def kinds(sim, method, param):
    """(label, argument, expectation, converts) for one parameter of one method on `sim`."""
    shared = method in SHARED
    out = []
    for label, value in (("None", None), ("float", 1.5), ("str", "1"), ("bytes", b"1"), ("complex", 1j),
                         ("Axis", Axis.X), ("list", [0]), ("index returns float", Index(1.0)),
                         ("index returns str", Index("1"))):
        out.append((label, value, named(param, value), False))
    plain_type_error = TypeError("plain")
    out.append(("index raises TypeError", Raising(plain_type_error),
                Raises(TypeError, f"argument '{param}': plain"), False))
    root = KeyError("root")
    caused = raise_from(TypeError("caused"), root)
    out.append(("index raises TypeError with cause", Raising(caused),
                Raises(TypeError, f"argument '{param}': caused", cause=root), False))
    for label, exc in (("ValueError", ValueError("value")), ("TypeError subclass", SpecialTypeError("special")),
                       ("OverflowError", OverflowError("own overflow")), ("KeyboardInterrupt", KeyboardInterrupt())):
        out.append(("index raises " + label, Raising(exc), Raises(type(exc), str(exc), same=exc), False))
    for label, value, text in (("2**64", 2**64, TOO_BIG), ("2**100", 2**100, TOO_BIG),
                               ("index returns 2**64", Index(2**64), TOO_BIG), ("-1", -1, NEGATIVE),
                               ("-2**100", -2**100, NEGATIVE), ("index returns -1", Index(-1), NEGATIVE)):
        out.append((label, value, Raises(OverflowError, text), False))
    out.append(("True", True, Like(1), True))
    out.append(("False", False, Like(0), True))
    out.append(("int subclass", OddInt(1), Like(1), True))
    out.append(("index object", Index(1), Like(1), True))
    out.append(("index returns a bool", BoolIndex(), Like(1), True))

    exclusive_inside = Reenter(lambda: sim.h(2), value=1, swallow=False)
    out.append(("re-entry, exclusive inner", exclusive_inside, Raises(RuntimeError, "Already borrowed"), False))
    shared_inside = Reenter(lambda: sim.get_entangled_group(2), value=1, swallow=False)
    if shared:
        out.append(("re-entry, shared inner", shared_inside, Like(1, probe=shared_inside), True))
    else:
        out.append(("re-entry, shared inner", shared_inside, Raises(RuntimeError, "Already mutably borrowed"),
                    False))

    left = () if method == "peek_measure_set" else LEFT_ON_RANGE_FAILURE.get((method, param), ())
    for label, value, index in (("qubit count", N, N), ("index returns qubit count", Index(N), N),
                                ("2**64 - 1", 2**64 - 1, 2**64 - 1)):
        out.append((label, value, Raises(PANIC, out_of_range(N, index), left=left), True))
    return out


def assert_raised_as(test, error, expected):
    """The exception is exactly the expected one: type, whole message, and either the very
    object passed through or the cause that a rewrite must keep."""
    test.assertIs(type(error), expected.kind)
    test.assertEqual(str(error), expected.message)
    if expected.same is not None:
        test.assertIs(error, expected.same)
    else:
        test.assertIs(error.__cause__, expected.cause)


class SweepCase(unittest.TestCase):
    def check(self, sim, name, call, expected, like_args=None):
        """Runs `call` on `sim` (built by build(name)) and checks result and state."""
        with warnings.catch_warnings():
            warnings.simplefilter("ignore", DeprecationWarning)  # __index__ returning a bool
            try:
                result, error = call(), None
            except BaseException as exc:
                result, error = None, exc
        if isinstance(expected, Raises):
            self.assertIsNotNone(error, f"returned {result!r}")
            assert_raised_as(self, error, expected)
            twin = build(name, expected.left)
        else:
            twin = build(name)
            try:
                twin_result, twin_error = getattr(twin, name)(*like_args), None
            except BaseException as exc:
                twin_result, twin_error = None, exc
            if twin_error is None:
                self.assertIsNone(error, "the plain int call succeeded")
                self.assertEqual(plain(result), plain(twin_result))
                self.assertIs(type(result), type(twin_result))
            else:
                self.assertIs(type(error), type(twin_error))
                self.assertEqual(str(error), str(twin_error))
            if expected.probe is not None:
                self.assertIsNone(expected.probe.error)
                self.assertEqual(expected.probe.result, {2})
        self.assert_state(sim, twin)

    def assert_state(self, sim, twin):
        groups, preview = fingerprint(sim)
        self.assertEqual((groups, preview), fingerprint(twin))
        # Destructive checks last: certain outcomes are reported as previewed, the Bell pair
        # answers alike, and both kinds of access are free again.
        axes = {"X": sim.measure_x, "Y": sim.measure_y, "Z": sim.measure_z}
        for qubit, text in preview.items():
            result = axes[text[-2]](qubit)
            self.assertEqual(str(result), "MeasurementResult." + ("PlusOne" if text[1] == "+" else "MinusOne"))
        self.assertEqual(sim.measure_z(3), sim.measure_z(4))
        self.assertEqual(sim.get_entangled_group(3), {3})


class ConversionSweepTests(SweepCase):
    def test_every_parameter_of_every_gate_and_query(self):
        for name in METHODS:
            if name == "peek_measure_set":
                continue
            params = PARAMS[name]
            for position, param in enumerate(params):
                for case in range(len(kinds(None, name, param))):
                    sim = build(name)
                    label, value, expected, converts = kinds(sim, name, param)[case]
                    with self.subTest(method=name, param=param, kind=label):
                        log = []
                        other = Index(0, log, "other")
                        args = [other] * len(params)
                        args[position] = value
                        like_args = [0] * len(params)
                        if isinstance(expected, Like):
                            like_args[position] = expected.value
                        self.check(sim, name, lambda: getattr(sim, name)(*args), expected, like_args)
                        if len(params) == 2:
                            # control is converted first; a failed conversion stops the call.
                            converted_other = position == 1 or converts
                            self.assertEqual(log, ["other"] if converted_other else [])

    def test_keywords_carry_the_same_conversion(self):
        for name in ("h", "measure_z", "get_entangled_group", "cx", "ycy"):
            params = PARAMS[name]
            param = params[-1]
            with self.subTest(method=name):
                sim = build(name)
                kwargs = {p: 0 for p in params}
                kwargs[param] = None
                self.check(sim, name, lambda: getattr(sim, name)(**kwargs), named(param, None))
                sim = build(name)
                kwargs[param] = -1
                self.check(sim, name, lambda: getattr(sim, name)(**kwargs), Raises(OverflowError, NEGATIVE))

    def test_same_qubit_leaves_the_updates_before_cz(self):
        for name in PAIR:
            for first, second in ((0, 0), (Index(0), False)):
                with self.subTest(method=name, args=(first, second)):
                    sim = build(name)
                    self.check(sim, name, lambda: getattr(sim, name)(first, second),
                               Raises(PANIC, same_qubit(0, 0), left=LEFT_ON_SAME_QUBIT[name]))

    def test_first_failing_argument_wins(self):
        for name in PAIR:
            with self.subTest(method=name):
                sim = build(name)
                self.check(sim, name, lambda: getattr(sim, name)(None, -1), named("control", None))
                sim = build(name)
                self.check(sim, name, lambda: getattr(sim, name)(-1, None), Raises(OverflowError, NEGATIVE))
                sim = build(name)
                self.check(sim, name, lambda: getattr(sim, name)(target=None, control=N),
                           named("target", None))


class SetSweepTests(SweepCase):
    name = "peek_measure_set"

    def test_arguments_that_are_not_sets(self):
        for value in (None, 1.5, "01", b"0", 0, True, [0], (0,), {0: 0}, range(1), Index(0), Axis.X,
                      {0}.__iter__(), MeasurementResult.PlusOne):
            with self.subTest(value=value):
                sim = build(self.name)
                message = f"argument 'qubits': '{type(value).__qualname__}' object cannot be cast as 'set'"
                self.check(sim, self.name, lambda: sim.peek_measure_set(value), Raises(TypeError, message))

    def test_members_of_every_kind(self):
        for case in range(len(kinds(None, self.name, "qubits"))):
            for container in (set, frozenset):
                for extra in ((), (0,)):
                    sim = build(self.name)
                    label, member, expected, _ = kinds(sim, self.name, "qubits")[case]
                    with self.subTest(kind=label, container=container.__name__, extra=extra):
                        try:
                            qubits = container((member,) + extra)
                        except TypeError:  # unhashable kinds (a list) cannot be members
                            continue
                        like = None
                        if isinstance(expected, Like):
                            like = [{expected.value, *extra}]
                        self.check(sim, self.name, lambda: sim.peek_measure_set(qubits), expected, like)

    def test_set_changed_by_a_member(self):
        sim = build(self.name)
        qubits = set()

        class Grows:
            def __index__(self):
                qubits.add(len(qubits))
                return 0

        qubits.add(Grows())
        self.check(sim, self.name, lambda: sim.peek_measure_set(qubits), Raises(RuntimeError, set_resize_text()))

    def test_set_emptied_by_a_member(self):
        # Whichever member comes first frees the other while the iteration is under way.
        sim = build(self.name)
        qubits = set()

        class Clears:
            def __index__(self):
                qubits.clear()
                return 1

        qubits.update((Clears(), Clears()))
        self.check(sim, self.name, lambda: sim.peek_measure_set(qubits), Raises(RuntimeError, set_resize_text()))


class BindingSweepTests(SweepCase):
    def binding_cases(self, name):
        params = PARAMS[name]
        k = len(params)
        shown = f"Korvane.{name}()"
        missing_all = (f"{shown} missing 1 required positional argument: '{params[0]}'" if k == 1 else
                       f"{shown} missing 2 required positional arguments: '{params[0]}' and '{params[1]}'")
        cases = [
            ("one too many", [0] * (k + 1), {}, f"{shown} takes {k} positional arguments but {k + 1} were given"),
            ("two too many", [0] * (k + 2), {}, f"{shown} takes {k} positional arguments but {k + 2} were given"),
            ("too many before keywords", [0] * (k + 1), {"foo": 0},
             f"{shown} takes {k} positional arguments but {k + 1} were given"),
            ("unknown keyword", [0] * k, {"foo": 0}, f"{shown} got an unexpected keyword argument 'foo'"),
            ("unknown keyword first", [], {"foo": 0}, f"{shown} got an unexpected keyword argument 'foo'"),
            ("another method's parameter", [], {"qubit_amount": 0},
             f"{shown} got an unexpected keyword argument 'qubit_amount'"),
            ("duplicate", [0] * k, {params[0]: 0}, f"{shown} got multiple values for argument '{params[0]}'"),
            ("missing all", [], {}, missing_all),
        ]
        if k == 2:
            cases += [
                ("missing target", [0], {}, f"{shown} missing 1 required positional argument: 'target'"),
                ("missing control", [], {"target": 0},
                 f"{shown} missing 1 required positional argument: 'control'"),
                ("duplicate target", [0, 0], {"target": 0}, f"{shown} got multiple values for argument 'target'"),
            ]
        return cases

    def test_every_method(self):
        for name in METHODS:
            for label, args, kwargs, message in self.binding_cases(name):
                with self.subTest(method=name, case=label):
                    sim = build(name)
                    log = []
                    # Binding fails before any argument is converted: none of these may run.
                    watched = Index(0, log, "converted")
                    args = [watched] * len(args)
                    kwargs = {key: watched for key in kwargs}
                    self.check(sim, name, lambda: getattr(sim, name)(*args, **kwargs), Raises(TypeError, message))
                    self.assertEqual(log, [])

    def test_keyword_calls_match_positional_calls(self):
        for name in METHODS:
            params = PARAMS[name]
            values = [{1}] if name == "peek_measure_set" else [1, 0][:len(params)]
            with self.subTest(method=name):
                sim = build(name)
                kwargs = dict(zip(params, values))
                self.check(sim, name, lambda: getattr(sim, name)(**kwargs), Like(None), values)
                sim = build(name)
                reversed_kwargs = dict(reversed(list(kwargs.items())))
                self.check(sim, name, lambda: getattr(sim, name)(**reversed_kwargs), Like(None), values)

    def test_descriptor_called_without_a_simulator(self):
        for name in METHODS:
            foreign, unbound = descriptor_texts(name)
            method = getattr(Korvane, name)
            for label, call, message in (("foreign self", lambda: method(object(), 0), foreign),
                                         ("no self", lambda: method(), unbound)):
                with self.subTest(method=name, case=label), self.assertRaises(TypeError) as caught:
                    call()
                self.assertEqual(str(caught.exception), message)


class ConstructorSweepTests(unittest.TestCase):
    def qubit_count(self, sim):
        with self.assertRaises(PANIC) as caught:
            sim.get_entangled_group(2**64 - 1)
        prefix = "index out of bounds: the len is "
        text = str(caught.exception)
        self.assertTrue(text.startswith(prefix), text)
        return int(text[len(prefix):].split(" ")[0])

    def test_argument_kinds(self):
        other = Korvane(3)
        for label, value, expected, _ in kinds(other, "__new__", "qubit_amount"):
            if label.startswith("re-entry") or label == "2**64 - 1":
                continue  # both have tests of their own below
            with self.subTest(kind=label):
                if isinstance(expected, Raises) and expected.kind is PANIC:
                    expected = Like(N)  # a valid count, not an index
                with warnings.catch_warnings():
                    warnings.simplefilter("ignore", DeprecationWarning)
                    if isinstance(expected, Like):
                        self.assertEqual(self.qubit_count(Korvane(value)), expected.value)
                        continue
                    with self.assertRaises(BaseException) as caught:
                        Korvane(value)
                assert_raised_as(self, caught.exception, expected)

    def test_count_of_2_to_the_64_minus_1_overflows_capacity(self):
        with self.assertRaises(PANIC) as caught:
            Korvane(2**64 - 1)
        self.assertEqual(str(caught.exception), "capacity overflow")

    def test_index_may_use_other_simulators(self):
        other = Korvane(3)
        for inner in (lambda: other.h(0), lambda: other.get_entangled_group(0)):
            probe = Reenter(inner, value=2, swallow=False)
            sim = Korvane(probe)
            self.assertIsNone(probe.error)
            self.assertEqual(self.qubit_count(sim), 2)
        self.assertEqual(other.measure_x(0), MeasurementResult.PlusOne)

    def test_binding(self):
        cases = [
            ((), {}, "Korvane.__new__() missing 1 required positional argument: 'qubit_amount'"),
            ((1, 2), {}, "Korvane.__new__() takes 1 positional arguments but 2 were given"),
            ((1, 2, 3), {"x": 1}, "Korvane.__new__() takes 1 positional arguments but 3 were given"),
            ((1,), {"qubit": 1}, "Korvane.__new__() got an unexpected keyword argument 'qubit'"),
            ((), {"qubit": 1}, "Korvane.__new__() got an unexpected keyword argument 'qubit'"),
            ((1,), {"qubit_amount": 1}, "Korvane.__new__() got multiple values for argument 'qubit_amount'"),
        ]
        for args, kwargs, message in cases:
            log = []
            watched = Index(1, log, "converted")
            args = tuple(watched for _ in args)
            kwargs = {key: watched for key in kwargs}
            with self.subTest(message), self.assertRaises(TypeError) as caught:
                Korvane(*args, **kwargs)
            self.assertIs(type(caught.exception), TypeError)
            self.assertEqual(str(caught.exception), message)
            self.assertEqual(log, [])
            with self.subTest(message, via="__new__"), self.assertRaises(TypeError) as caught:
                Korvane.__new__(Korvane, *args, **kwargs)
            self.assertEqual(str(caught.exception), message)
            self.assertEqual(log, [])


# ---- repeated calls -----------------------------------------------------------------

ROUNDS = 100_000
WIDE = 300  # qubit indices above the interpreter's small-int cache, so their counts mean something
BLOCK_SLACK = 2_000  # a leaked object per call would add ROUNDS / 5 blocks at least
TRACED_ROUNDS = 5_000
TRACED_SLACK = 64 << 10  # a leaked object per call would add 160 KB
HEAP_SLACK = 256 << 10
RSS_SLACK = 1 << 20  # a leak of 16 bytes per call would add 1.6 MB
# AddressSanitizer keeps freed memory in quarantine, so the resident size grows there anyway.
CHECK_RSS = not os.environ.get("KORVANE_SANITIZED")


def resident_bytes():
    with open("/proc/self/statm") as f:
        return int(f.read().split()[1]) * os.sysconf("SC_PAGE_SIZE")


class Reentrant:
    """__index__ calls back into the simulator; the refusal propagates."""

    def __init__(self, sim):
        self.sim = sim

    def __index__(self):
        self.sim.h(0)
        return 0


class RaisingWithCause:
    def __init__(self, cause):
        self.cause = cause

    def __index__(self):
        raise TypeError("inner") from self.cause


@repeats_calls
class RepeatedCallHygieneTests(unittest.TestCase):
    """Success and failure paths of every method, ROUNDS times each."""

    def assert_flat(self, label, call, args, failures, watched, result_check):
        def loop(rounds):
            count = len(failures)
            for i in range(rounds):
                call(*args)
                try:
                    failures[i % count]()
                except BaseException:
                    pass

        loop(2_000)  # free lists, caches and the heap settle first
        gc.collect()
        refs = [sys.getrefcount(obj) for obj in watched]
        blocks = sys.getallocatedblocks()
        heap = heap_bytes()
        rss = resident_bytes()
        loop(ROUNDS)
        gc.collect()
        refs_after = [sys.getrefcount(obj) for obj in watched]
        blocks_after = sys.getallocatedblocks()
        heap_after = heap_bytes()
        rss_after = resident_bytes()
        # Tracing slows every allocation several times over, so it watches a shorter run.
        tracemalloc.start()
        try:
            loop(500)
            traced = tracemalloc.get_traced_memory()[0]
            loop(TRACED_ROUNDS)
            gc.collect()
            traced_growth = tracemalloc.get_traced_memory()[0] - traced
        finally:
            tracemalloc.stop()
        with self.subTest(label):
            self.assertEqual(refs_after, refs)
            self.assertLess(blocks_after - blocks, BLOCK_SLACK)
            self.assertLess(heap_after - heap, HEAP_SLACK)
            if CHECK_RSS:
                self.assertLess(rss_after - rss, RSS_SLACK)
            self.assertLess(traced_growth, TRACED_SLACK)
            result_check(call(*args))

    def failure_paths(self, sim, name, args, wide):
        """One call per failure path of method `name`; `args` are its valid arguments."""
        cause = KeyError("cause")
        k = len(args)

        def with_arg(value):
            if name == "peek_measure_set":
                return lambda: sim.peek_measure_set({value})
            return lambda: getattr(sim, name)(*args[:-1], value)

        paths = [
            with_arg(Index(wide + 1)),  # out of range
            with_arg(-1),
            with_arg(2**64),
            with_arg(RaisingWithCause(cause)),
            with_arg(Reentrant(sim)),
            lambda: getattr(sim, name)(*args, *args),
            lambda: getattr(sim, name)(*args, bogus=0),
            lambda: getattr(sim, name)(),
        ]
        if k == 2:
            paths.append(lambda: getattr(sim, name)(args[0], args[0]))
        if name == "peek_measure_set":
            paths.append(lambda: sim.peek_measure_set([0]))
        return paths, (cause,)

    def test_every_method(self):
        sim = Korvane(WIDE + 1)
        wide = WIDE  # one int object, held by the simulator calls below
        other = WIDE - 1
        index = Index(wide)
        qubits = {wide, index, 0}
        sim.h(0)
        sim.cx(0, wide)
        sim.cx(0, other)

        def none(result):
            self.assertIsNone(result)

        def fresh(expected_type):
            def check(result):
                self.assertIs(type(result), expected_type)
                self.assertEqual(sys.getrefcount(result), SOLE_REFERENCE)  # this frame's only
                for member in (result.values() if isinstance(result, dict) else ()):
                    self.assertEqual(sys.getrefcount(member), SOLE_REFERENCE + 1)  # the dict's and the loop's
            return check

        for name in METHODS:
            if name == "peek_measure_set":
                args, check = (qubits,), fresh(dict)
            elif name == "get_entangled_group":
                args, check = (index,), fresh(set)
            elif name.startswith("measure_"):
                args, check = (index,), fresh(MeasurementResult)
            elif name in PAIR:
                args, check = (other, index), none
            else:
                args, check = (index,), none
            method = getattr(sim, name)
            failures, held = self.failure_paths(sim, name, args, wide)
            self.assert_flat(name, method, args, failures, (sim, index, wide, *args, *held), check)

    def test_constructor(self):
        size = Index(WIDE)
        cause = KeyError("cause")
        failures = [
            lambda: Korvane(2**63),
            lambda: Korvane(-1),
            lambda: Korvane(RaisingWithCause(cause)),
            lambda: Korvane(size, size),
            lambda: Korvane(qubit=size),
            lambda: Korvane(),
        ]

        def check(sim):
            self.assertEqual(sys.getrefcount(sim), SOLE_REFERENCE)

        self.assert_flat("Korvane", Korvane, (size,), failures, (size, WIDE, cause), check)


if __name__ == "__main__":
    unittest.main()
