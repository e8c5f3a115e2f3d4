"""Every program in examples/ runs to completion and prints what it is meant to show."""

import os
import re
import subprocess
import sys
import unittest
from pathlib import Path

EXAMPLES = Path(os.environ.get("KORVANE_EXAMPLES")
                or Path(__file__).resolve().parents[2] / "examples")

# Example file -> patterns that must each match a line of its output. The examples check
# their own physics too and exit non-zero when it is wrong.
EXPECTED = {
    "bell_pair.py": [
        r"^entangled group of qubit 0: \[0, 1\]$",
        r"^Z outcomes agreed in 1000 of 1000 runs$",
        r"^X outcomes agreed in 1000 of 1000 runs$",
        r"^Y outcomes agreed in 0 of 1000 runs",
    ],
    "ghz.py": [
        r"^qubits entangled with the last one: 10000$",
        r"^Z results: all 10000 equal to MeasurementResult\.(PlusOne|MinusOne): True$",
        r"^after measuring, qubit 0 stands alone: True$",
        r"count is even: True$",
    ],
    "teleportation.py": [
        r"^qubit 2 after teleporting \|\+i>: preview \(\+1, Y\) group \{2\}$",
        r"^teleported and verified 1200 of 1200 messages$",
    ],
    "cluster_mbqc.py": [
        r"^cluster: 100 x 100 = 10000 qubits, one group of 10000",
        r"^carved a wire of 5049 qubits with 4951 Z measurements",
        r"^input \|\+>   -> qubit 9800 previews \(\+1, X\), measured along X: recovered$",
        r"^input \|\+i>  -> qubit 9800 previews \(\+1, Y\), measured along Y: recovered$",
        r"^input \|1>   -> qubit 9800 previews \(-1, Z\), measured along Z: recovered$",
    ],
    "peek_preview.py": [
        r"^qubit 1 \|1>   -> \(-1, Z\)",
        r"^qubit 4 \|\+i>  -> \(\+1, Y\)   axis Axis\.Y, result MeasurementResult\.PlusOne$",
        r"^a second preview reports the same: True$",
        r"^still entangled after previews: True$",
    ],
    "entangled_groups.py": [
        r"^cz\(3, 4\) joins the chains:  \[\[0, 1, 2, 3, 4, 5, 6\], \[7\]\]$",
        r"^cz without h entangles no one: \[\[0\], \[1\], \[2\]\]$",
        r"^line of 7, Z on qubit 3: +\[\[0, 1, 2\], \[3\], \[4, 5, 6\]\]$",
        r"^line of 7, X on qubit 3: +\[\[0, 1, 2, 4, 5, 6\], \[3\]\]$",
        r"^after Z on qubit 2: +\[\[0\], \[1\], \[2\], \[3\], \[4\]\]$",
    ],
}

# Examples with a ctest entry of their own, run with an interpreter that has what they need
# (tests/CMakeLists.txt).
OWN_TESTS = {"parallel_trials.py"}


def run_example(name):
    # A generous bound only so that a hang fails the suite instead of stalling it.
    return subprocess.run([sys.executable, str(EXAMPLES / name)], cwd=EXAMPLES,
                          capture_output=True, text=True, timeout=300)


class ExamplesTest(unittest.TestCase):
    def test_every_example_is_covered(self):
        self.assertEqual({p.name for p in EXAMPLES.glob("*.py")}, set(EXPECTED) | OWN_TESTS)

    def test_examples_run_and_print_their_key_lines(self):
        for name, patterns in EXPECTED.items():
            with self.subTest(example=name):
                done = run_example(name)
                self.assertEqual(done.returncode, 0, f"{name} failed:\n{done.stderr}")
                for pattern in patterns:
                    self.assertRegex(done.stdout, re.compile(pattern, re.MULTILINE))


if __name__ == "__main__":
    unittest.main()
