"""examples/parallel_trials.py --plot: the sweep's table, its checks, the drawn PNG, the
progress line, and the message when matplotlib is missing."""

import contextlib
import importlib.util
import io
import itertools
import math
import os
import re
import subprocess
import sys
import tempfile
import unittest
from fractions import Fraction
from pathlib import Path

EXAMPLES = Path(os.environ.get("KORVANE_EXAMPLES")
                or Path(__file__).resolve().parents[2] / "examples")
EXAMPLE = EXAMPLES / "parallel_trials.py"
HAVE_MATPLOTLIB = importlib.util.find_spec("matplotlib") is not None
needs_matplotlib = unittest.skipUnless(
    HAVE_MATPLOTLIB, "matplotlib is not installed for this interpreter (pip install matplotlib)")

DISTANCES = (3, 5, 7)
RATES = {Fraction(m, 64) for m in (1, 2, 3, 4, 6, 8, 12, 16, 24, 32)}
TRIALS = 2000  # per point: 60 batches of 1000, a couple of seconds on two cores
ROW = re.compile(r"^(\d\.\d{6}) +(\d+) +(\d+) +(\d+) +(\S+) +(\S+) +(\S+) +(\S+)  (ok|FAILED)$", re.MULTILINE)
# The default colours of the first three curves, in which each distance's points are drawn.
CURVE_COLOURS = ((0x1f, 0x77, 0xb4), (0xff, 0x7f, 0x0e), (0x2c, 0xa0, 0x2c))


def run_example(*args, env=None):
    return subprocess.run([sys.executable, str(EXAMPLE), *args], capture_output=True, text=True,
                          timeout=300, env=env)


def table(stdout):
    """The sweep's rows as the example prints them."""
    return [{"rate": Fraction(m[1]), "distance": int(m[2]), "trials": int(m[3]), "failures": int(m[4]),
             "p_L": float(m[5]), "exact": float(m[6]), "check": m[9]} for m in ROW.finditer(stdout)]


def load_example():
    spec = importlib.util.spec_from_file_location("parallel_trials", EXAMPLE)
    module = importlib.util.module_from_spec(spec)
    spec.loader.exec_module(module)
    return module


@needs_matplotlib
class PlotTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.tmp = tempfile.TemporaryDirectory()
        cls.png = Path(cls.tmp.name) / "threshold.png"
        cls.done = run_example("--plot", str(cls.png), "--sweep-trials", str(TRIALS), "--progress-after", "0")
        cls.rows = table(cls.done.stdout)
        cls.example = load_example()

    @classmethod
    def tearDownClass(cls):
        cls.tmp.cleanup()

    def test_table_lists_every_rate_and_size_and_passes_its_checks(self):
        self.assertEqual(self.done.returncode, 0, self.done.stderr)
        self.assertEqual(sorted((r["distance"], r["rate"]) for r in self.rows),
                         sorted((d, p) for d in DISTANCES for p in RATES))
        for r in self.rows:
            with self.subTest(distance=r["distance"], rate=str(r["rate"])):
                self.assertEqual((r["trials"], r["check"]), (TRIALS, "ok"))
                self.assertAlmostEqual(r["p_L"], r["failures"] / TRIALS, delta=r["p_L"] * 1e-3)
                self.assertAlmostEqual(r["exact"], self.example.expected_failure_rate(r["distance"], r["rate"]),
                                       delta=r["exact"] * 1e-3)
        # Larger codes fail less below threshold: at 1/8, 3 > 5 > 7 with margins of many sigmas.
        at_eighth = {r["distance"]: r["failures"] for r in self.rows if r["rate"] == Fraction(1, 8)}
        self.assertGreater(at_eighth[3], at_eighth[5])
        self.assertGreater(at_eighth[5], at_eighth[7])
        self.assertIn(f"plot written to {self.png}", self.done.stdout)

    def test_png_is_a_drawn_plot(self):
        import matplotlib.image
        import numpy

        data = self.png.read_bytes()
        self.assertEqual(data[:8], b"\x89PNG\r\n\x1a\n")
        self.assertTrue(20_000 < len(data) < 1_000_000, len(data))
        rgb = matplotlib.image.imread(self.png)[..., :3]
        self.assertEqual(rgb.shape, (500, 700, 3))
        self.assertGreater(rgb.std(), 0.05)  # not blank
        # Each distance's points and curve in its own colour, far more than its legend entry.
        for colour in CURVE_COLOURS:
            near = numpy.abs(rgb - numpy.array(colour) / 255).max(axis=-1) < 0.08
            self.assertGreater(int(near.sum()), 300, f"too little drawn in {colour}")

    def test_figure_draws_the_table(self):
        fig = self.example.figure(self.rows)
        ax = fig.axes[0]
        self.assertEqual((ax.get_xscale(), ax.get_yscale()), ("log", "log"))
        self.assertIn("physical error rate", ax.get_xlabel())
        self.assertIn("logical error rate", ax.get_ylabel())
        self.assertIn(f"{TRIALS} trials per point", ax.get_title())
        handles = dict(zip(*reversed(ax.get_legend_handles_labels())))
        self.assertEqual(set(handles), {f"distance {d}" for d in DISTANCES}
                         | {"$p_L = p$ (one bare qubit)", "exact binomial value"})
        for d in DISTANCES:
            with self.subTest(distance=d):
                points = [r for r in self.rows if r["distance"] == d and r["failures"]]
                x, y = handles[f"distance {d}"].lines[0].get_data()
                self.assertEqual(list(x), [float(r["rate"]) for r in points])
                self.assertEqual(list(y), [r["failures"] / r["trials"] for r in points])
                # The exact values as a dashed curve of the same colour across the whole sweep.
                colour = handles[f"distance {d}"].lines[0].get_color()
                curves = [line for line in ax.lines if line.get_linestyle() == "--" and line.get_color() == colour]
                self.assertEqual(len(curves), 1)
                x, y = curves[0].get_data()
                self.assertEqual((x[0], x[-1]), (1 / 64, 1 / 2))
                for p, value in zip(x, y):
                    self.assertAlmostEqual(value, self.example.expected_failure_rate(d, p), delta=value * 1e-12)
        x, y = handles["$p_L = p$ (one bare qubit)"].get_data()
        self.assertEqual((list(x), list(y)), ([1 / 64, 1 / 2], [1 / 64, 1 / 2]))

    def test_progress_on_stderr_only(self):
        self.assertRegex(self.done.stderr, re.compile(r"^sweep: \d+ of 60 batches done in \d+ s", re.MULTILINE))
        self.assertNotIn("batches done", self.done.stdout)
        quiet = run_example("--plot", str(Path(self.tmp.name) / "quiet.png"), "--sweep-trials", "50",
                            "--progress-after", "60")
        self.assertEqual((quiet.returncode, quiet.stderr), (0, ""))


class SweepCheckTest(unittest.TestCase):
    def test_binomial_tail_matches_the_exact_sum_of_its_terms(self):
        tail = load_example().binomial_tail
        for samples, rate in [(1, 0.5), (7, 0.25), (40, 0.01), (40, 0.5), (200, 1 / 64), (200, 7.248e-4)]:
            exact = Fraction(rate)
            terms = [math.comb(samples, k) * exact**k * (1 - exact) ** (samples - k) for k in range(samples + 1)]
            below = list(itertools.accumulate(terms))  # below[k]: the probability of k or fewer
            for count in range(samples + 1):
                side = float(1 - below[count - 1] if count >= samples * rate else below[count])
                if side < 1e-250:
                    continue  # far below any bound the sweep uses, and too near the subnormals
                self.assertAlmostEqual(tail(count, samples, rate), side, delta=side * 1e-9,
                                       msg=f"{count} of {samples} at {rate}")

    def test_points_off_the_binomial_law_fail(self):
        example = load_example()
        # 10,000 trials at rate 1/64: 0.02 failures expected at distance 7 (1094 flips), 7.2 at
        # distance 3 (469 flips).
        for distance, failures, flips, ok in [
                (7, 0, 1094, True),
                (7, 2, 1094, True),      # one in 5000: rare, not implausible
                (7, 5, 1094, False),     # below one in ten billion
                (3, 7, 469, True),
                (3, 40, 469, False),     # 12 sigma high
                (3, 0, 469, True),       # none at all: one in 1400, rare, not implausible
                (3, 80, 469, False),
                (3, 7, 650, False),      # flips 8 sigma off the physical rate
                (3, 7, 300, False)]:
            row = {"distance": distance, "rate": 1 / 64, "trials": 10_000, "failures": failures, "flips": flips}
            with self.subTest(distance=distance, failures=failures, flips=flips), \
                    contextlib.redirect_stdout(io.StringIO()) as out:
                self.assertEqual(example.check_and_print([row]), ok)
            self.assertTrue(out.getvalue().rstrip().endswith("ok" if ok else "FAILED"))


class MissingMatplotlibTest(unittest.TestCase):
    def test_plot_without_matplotlib_says_what_to_install(self):
        with tempfile.TemporaryDirectory() as tmp:
            # A package of that name first on the path, failing as a missing one does.
            shim = Path(tmp) / "matplotlib"
            shim.mkdir()
            (shim / "__init__.py").write_text(
                "raise ModuleNotFoundError(\"No module named 'matplotlib'\", name='matplotlib')\n")
            env = dict(os.environ, PYTHONPATH=os.pathsep.join(filter(None, [tmp, os.environ.get("PYTHONPATH")])))
            png = Path(tmp) / "threshold.png"
            done = run_example("--plot", str(png), env=env)
            self.assertNotEqual(done.returncode, 0)
            self.assertIn("--plot needs matplotlib: pip install matplotlib", done.stderr)
            self.assertEqual(done.stdout, "")  # told before any sweep ran
            self.assertFalse(png.exists())


if __name__ == "__main__":
    unittest.main()
