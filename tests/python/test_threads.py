"""Simulators used from several threads at once.

No method releases the interpreter lock itself, but a user's __index__ can; while it does,
the object's access flag is held and other threads calling the same simulator must be
refused with the documented RuntimeError, never block, crash or corrupt the state.
"""

import os
import sys
import threading
import time
import unittest

from korvane import Korvane, MeasurementResult

from korvane_support import out_of_range, panic_type

PANIC = panic_type()
BORROWED = "Already borrowed"
MUTABLY_BORROWED = "Already mutably borrowed"
THREADS = 4
HANG_GUARD = 120  # seconds; only so that a broken flag fails the test instead of hanging it


class Yielding:
    """An index whose conversion lets other threads run while the access flag is held."""

    def __init__(self, value):
        self.value = value

    def __index__(self):
        time.sleep(0)
        return self.value


class Failing:
    """An index that yields to other threads and then raises."""

    def __init__(self, exc):
        self.exc = exc

    def __index__(self):
        time.sleep(0)
        raise self.exc


class Holding:
    """An index whose conversion signals `entered` and waits until `release` is set."""

    def __init__(self, value):
        self.value = value
        self.entered = threading.Event()
        self.release = threading.Event()

    def __index__(self):
        self.entered.set()
        self.release.wait(HANG_GUARD)
        return self.value


def run_threads(bodies):
    """Runs each body on its own thread, all released together; returns what each raised."""
    start = threading.Barrier(len(bodies))
    errors = [None] * len(bodies)

    def wrap(i, body):
        try:
            start.wait()
            body()
        except BaseException as exc:  # reported by the test, not lost on the thread
            errors[i] = exc

    threads = [threading.Thread(target=wrap, args=(i, body)) for i, body in enumerate(bodies)]
    for thread in threads:
        thread.start()
    for thread in threads:
        thread.join()
    return errors


class FrequentSwitching(unittest.TestCase):
    def setUp(self):
        # More switches between threads per call, so more interleavings are tried.
        interval = sys.getswitchinterval()
        sys.setswitchinterval(1e-6)
        self.addCleanup(sys.setswitchinterval, interval)


class DistinctSimulatorTests(FrequentSwitching):
    def test_bell_pairs_and_ghz_states_stay_correlated(self):
        rounds = 400
        seen = [set() for _ in range(THREADS)]

        def body(t):
            def run():
                for i in range(rounds):
                    sim = Korvane(4)  # created and freed on this thread, beside the others
                    sim.h(0)
                    sim.cx(0, 1)
                    sim.cx(1, 2)
                    sim.cx(0, 3)
                    if i % 2:
                        results = [sim.measure_x(q) for q in range(4)]
                        parity = sum(int(r) for r in results) % 2
                        assert parity == 0, f"GHZ X parity {parity}: {results}"
                    else:
                        results = [sim.measure_z(q) for q in range(4)]
                        assert len({int(r) for r in results}) == 1, f"GHZ Z outcomes differ: {results}"
                    seen[t].add(int(results[0]))
                    assert sim.get_entangled_group(0) == {0}, "measured qubit still entangled"
            return run

        errors = run_threads([body(t) for t in range(THREADS)])
        self.assertEqual(errors, [None] * THREADS)
        # Both outcomes occur on every thread (a false failure has probability 2**-399 per thread).
        self.assertEqual(seen, [{0, 1}] * THREADS)

    def test_simulator_made_on_one_thread_used_on_another(self):
        made = []
        errors = run_threads([lambda: made.append(Korvane(3))])
        self.assertEqual(errors, [None])
        sim = made.pop()

        def use():
            sim.x(2)
            sim.h(0)
            sim.cx(0, 1)
            assert sim.get_entangled_group(1) == {0, 1}
            assert sim.measure_z(0) == sim.measure_z(1)
            assert sim.measure_z(2) == MeasurementResult.MinusOne

        self.assertEqual(run_threads([use]), [None])
        self.assertEqual(sim.get_entangled_group(0), {0})


class SharedSimulatorTests(FrequentSwitching):
    def test_holders_refuse_other_threads(self):
        sim = Korvane(THREADS + 1)
        others = THREADS - 1
        cases = [
            # (call that holds the flag, inner calls and their expected outcome in other threads)
            ("exclusive holder", lambda idx: sim.x(idx),
             {"gate": BORROWED, "measure": BORROWED, "group": MUTABLY_BORROWED, "preview": MUTABLY_BORROWED}),
            ("shared holder", lambda idx: sim.get_entangled_group(idx),
             {"gate": BORROWED, "measure": BORROWED, "group": None, "preview": None}),
        ]
        for label, hold, expected in cases:
            holder = Holding(0)
            outcome = [dict() for _ in range(others)]

            def holding_body():
                hold(holder)

            def body(t):
                def run():
                    holder.entered.wait(HANG_GUARD)
                    q = t + 1
                    for key, call in (("gate", lambda: sim.h(q)), ("measure", lambda: sim.measure_z(q)),
                                      ("group", lambda: sim.get_entangled_group(q)),
                                      ("preview", lambda: sim.peek_measure_set({q}))):
                        try:
                            call()
                            outcome[t][key] = None
                        except RuntimeError as exc:
                            outcome[t][key] = str(exc)
                    if all(len(o) == 4 for o in outcome):
                        holder.release.set()
                return run

            errors = run_threads([holding_body] + [body(t) for t in range(others)])
            with self.subTest(label):
                self.assertEqual(errors, [None] * THREADS)
                self.assertEqual(outcome, [expected] * others)
        # Only the two holders' calls ran: x on qubit 0, nothing else was let through.
        self.assertEqual({q: str(o) for q, o in sim.peek_measure_set(set(range(THREADS + 1))).items()},
                         {0: "(-1, Z)", **{q: "(+1, Z)" for q in range(1, THREADS + 1)}})
        sim.x(0)  # exclusive access is free again

    def test_hammered_with_yielding_indices(self):
        rounds = 150
        qubits = 2 * THREADS
        sim = Korvane(qubits)
        exclusive = {"x", "h", "cx", "measure_z", "measure_x"}

        def call(name, *args):
            """Calls until the access is granted; a refusal must be the documented one."""
            while True:
                try:
                    return getattr(sim, name)(*args)
                except RuntimeError as exc:
                    expected = BORROWED if name in exclusive else MUTABLY_BORROWED
                    assert str(exc) == expected, f"{name}: {exc!r}"
                    time.sleep(0)

        def expect_failure(kind, message, name, *args):
            try:
                call(name, *args)
            except kind as exc:
                assert str(exc) == message, f"{name}: {exc!r}"
            else:
                raise AssertionError(f"{name}{args} did not fail")

        def body(t):
            a, b = 2 * t, 2 * t + 1

            def run():
                y = Yielding
                for i in range(rounds):
                    call("h", y(a))
                    call("cx", y(a), b if i % 2 else y(b))
                    group = call("get_entangled_group", y(b))
                    assert group == {a, b}, f"group of {b}: {group}"
                    preview = call("peek_measure_set", {y(a), b})
                    assert set(preview) == {a, b}, preview
                    expect_failure(PANIC, out_of_range(qubits, qubits), "h", y(qubits))
                    expect_failure(PANIC, out_of_range(qubits, qubits + 1), "get_entangled_group",
                                   y(qubits + 1))
                    expect_failure(OverflowError, "boom", "measure_x", Failing(OverflowError("boom")))
                    first = call("measure_z" if i % 3 else "measure_x", y(a))
                    second = call("measure_z" if i % 3 else "measure_x", b)
                    assert first == second, f"Bell pair {a}, {b} answered {first}, {second}"
                    if i % 3 == 0:
                        call("h", a)  # back to the Z basis
                        call("h", b)
                    if first == MeasurementResult.MinusOne:
                        call("x", y(a))
                        call("x", b)
                    assert call("get_entangled_group", a) == {a}
                    assert {q: str(o) for q, o in call("peek_measure_set", {a, b}).items()} == \
                        {a: "(+1, Z)", b: "(+1, Z)"}
            return run

        errors = run_threads([body(t) for t in range(THREADS)])
        self.assertEqual(errors, [None] * THREADS)
        self.assertEqual({q: str(o) for q, o in sim.peek_measure_set(set(range(qubits))).items()},
                         {q: "(+1, Z)" for q in range(qubits)})
        sim.x(0)
        sim.x(0)


class RandomStreamTests(unittest.TestCase):
    @staticmethod
    def draw_64():
        sim = Korvane(64)
        for q in range(64):
            sim.h(q)
        return tuple(int(sim.measure_z(q)) for q in range(64))

    def test_each_thread_draws_its_own_stream(self):
        streams = [None] * THREADS

        def body(t):
            def run():
                streams[t] = self.draw_64()
            return run

        self.assertEqual(run_threads([body(t) for t in range(THREADS)]), [None] * THREADS)
        # One after another as well: a finished thread's generator is not handed on.
        for t in range(THREADS):
            later = [None]
            self.assertEqual(run_threads([lambda: later.__setitem__(0, self.draw_64())]), [None])
            streams.append(later[0])
        streams.append(self.draw_64())
        # Equal 64-bit strings from independent streams: chance 2**-64 per pair.
        self.assertEqual(len(set(streams)), len(streams), streams)



@unittest.skipUnless(hasattr(os, "fork"), "needs fork")
class ForkedProcessTests(unittest.TestCase):
    def test_forked_child_draws_a_stream_of_its_own(self):
        def draw():
            sim = Korvane(64)
            for q in range(64):
                sim.h(q)
            return "".join(str(int(sim.measure_z(q))) for q in range(64))

        draw()  # the parent's generator exists before the fork
        read_end, write_end = os.pipe()
        pid = os.fork()
        if pid == 0:
            try:
                os.write(write_end, draw().encode())
            finally:
                os._exit(0)
        os.close(write_end)
        os.waitpid(pid, 0)
        with os.fdopen(read_end) as pipe:
            child = pipe.read()
        self.assertEqual(len(child), 64)
        self.assertNotEqual(child, draw())


if __name__ == "__main__":
    unittest.main()
