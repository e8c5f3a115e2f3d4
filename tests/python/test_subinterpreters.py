"""Only the main interpreter may have the module, whichever interpreter imports first."""

import os
import unittest

import korvane

from korvane_support import run_child

# Tries the import in every kind of sub-interpreter this build can make, then in the main
# interpreter, then in the sub-interpreters again; prints what each attempt gave.
CHILD = r'''
import json
import os
import sys

module_dir = sys.argv[1]
ATTEMPT = f"""
import os
import sys
sys.path.insert(0, {module_dir!r})
try:
    import korvane
    outcome = "imported"
except BaseException as exc:
    outcome = f"{{type(exc).__name__}}: {{exc}}"
os.write(FD, outcome.encode())
"""


def run_in(runner):
    read_end, write_end = os.pipe()
    try:
        runner(ATTEMPT.replace("FD", str(write_end)))
        os.close(write_end)
        write_end = None
        return os.read(read_end, 4096).decode() or "nothing reported"
    finally:
        os.close(read_end)
        if write_end is not None:
            os.close(write_end)


def runners():
    found = {}
    try:
        import _testcapi
    except ImportError:
        pass
    else:
        found["_testcapi.run_in_subinterp"] = _testcapi.run_in_subinterp
    try:
        import _interpreters
    except ImportError:
        _interpreters = None
    if _interpreters is not None:
        for config in ("isolated", "legacy"):
            def run(code, config=config):
                interp = _interpreters.create(config)
                try:
                    _interpreters.exec(interp, code)
                finally:
                    _interpreters.destroy(interp)
            found[f"_interpreters {config}"] = run
    else:
        try:
            import _xxsubinterpreters
        except ImportError:
            _xxsubinterpreters = None
        if _xxsubinterpreters is not None:
            for isolated in (True, False):
                def run(code, isolated=isolated):
                    interp = _xxsubinterpreters.create(isolated=isolated)
                    try:
                        _xxsubinterpreters.run_string(interp, code)
                    finally:
                        _xxsubinterpreters.destroy(interp)
                found[f"_xxsubinterpreters isolated={isolated}"] = run
    return found


kinds = runners()
report = {"before": {name: run_in(run) for name, run in kinds.items()}}
try:
    import korvane
    sim = korvane.Korvane(2)
    sim.h(0)
    sim.cx(0, 1)
    report["main"] = "works" if sim.measure_z(0) == sim.measure_z(1) else "wrong result"
except BaseException as exc:
    report["main"] = f"{type(exc).__name__}: {exc}"
report["after"] = {name: run_in(run) for name, run in kinds.items()}
print(json.dumps(report))
'''


class SubInterpreterTests(unittest.TestCase):
    def test_only_the_main_interpreter_imports(self):
        report = run_child(CHILD, os.path.dirname(korvane.__file__))
        if not report["before"]:
            self.skipTest("this build makes no sub-interpreters (_testcapi, _interpreters, _xxsubinterpreters)")
        self.assertEqual(report["main"], "works")
        for when in ("before", "after"):
            for kind, outcome in report[when].items():
                with self.subTest(kind=kind, main_imported=when == "after"):
                    self.assertTrue(outcome.startswith("ImportError: "), outcome)
                    self.assertIn("korvane", outcome)


if __name__ == "__main__":
    unittest.main()
