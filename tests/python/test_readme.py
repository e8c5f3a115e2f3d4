"""The README's promises to a new user: its quick start runs as printed, and its method
table names every method of Korvane once and nothing else."""

import re
import subprocess
import sys
import unittest
from pathlib import Path

import korvane

README = Path(__file__).resolve().parents[2] / "README.md"


def section(title):
    text = README.read_text(encoding="utf-8")
    return text.split(f"\n## {title}\n", 1)[1].split("\n## ", 1)[0]


class ReadmeTest(unittest.TestCase):
    def test_quick_start_runs_and_prints_what_its_comments_say(self):
        blocks = re.findall(r"```python\n(.*?)```", section("Quick start"), re.DOTALL)
        self.assertEqual(len(blocks), 1)
        # The interpreter running the tests sees the module under test on its path.
        done = subprocess.run([sys.executable, "-c", blocks[0]], capture_output=True, text=True,
                              timeout=60, check=False)
        self.assertEqual(done.returncode, 0, done.stderr)
        lines = done.stdout.splitlines()
        self.assertEqual(len(lines), 3, done.stdout)
        self.assertEqual(lines[0], "{0, 1}")
        self.assertRegex(lines[1], r"^MeasurementResult\.(PlusOne True 0|MinusOne True 1)$")
        self.assertEqual(lines[2], "(-1, Z) Axis.Z MeasurementResult.MinusOne")

    def test_method_table_names_every_method_once(self):
        rows = re.findall(r"^\| `(\w+)\(", section("API"), re.MULTILINE)
        methods = [name for name in vars(korvane.Korvane) if not name.startswith("_")]
        self.assertEqual(sorted(rows), sorted(methods))


if __name__ == "__main__":
    unittest.main()
