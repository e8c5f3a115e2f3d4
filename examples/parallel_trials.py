"""Many independent trials of a repetition-code memory, over processes and over a cluster.

One trial stores a bit in a distance-5 bit-flip repetition code: the bit is copied onto
five data qubits with CNOTs, every data qubit then suffers an X error with probability
1/4, four ancilla qubits measure the parities of neighbouring data qubits (the syndrome),
the decoder picks the fewest flips that explain the syndrome, and the corrected readout
gives the bit back unless three or more qubits flipped.

With --plot FILE.png it sweeps the physical error rate instead, for distances 3, 5 and 7,
checks every point against the exact binomial value, prints the table and draws the
logical against the physical error rate (needs matplotlib).

Trials are independent, so they spread over cores with the standard library's
concurrent.futures and over machines with Dask, the same function in both. All their
randomness comes from korvane's generator (an error of probability m / 2**k compares k
measured |+> qubits, read as a binary number, with m), which is per thread and seeded from
the operating system: independent only if every worker process has a stream of its own,
also one forked from a parent that had already drawn. The program checks that, and that
the error rates are the expected ones.

    python3 examples/parallel_trials.py                    # processes, then a local Dask cluster
    python3 examples/parallel_trials.py --dask tcp://scheduler:8786   # a running Dask cluster
    python3 examples/parallel_trials.py --plot threshold.png          # the sweep and its plot

Runs longer than a couple of seconds show their progress on stderr.

Every Dask worker needs korvane installed (pip install, see the README).
"""

import argparse
import math
import multiprocessing
import os
import sys
import time
from concurrent.futures import ProcessPoolExecutor

from korvane import Korvane, MeasurementResult

DISTANCE = 5
# An X error with probability ERROR_NUMERATOR / 2**ERROR_BITS = 1/4.
ERROR_NUMERATOR, ERROR_BITS = 1, 2
ERROR_RATE = ERROR_NUMERATOR / 2**ERROR_BITS
# The sweep behind --plot: three code sizes, X error rates m / 64 from 1/64 to 1/2.
SWEEP_DISTANCES = (3, 5, 7)
SWEEP_BITS = 6
SWEEP_NUMERATORS = (1, 2, 3, 4, 6, 8, 12, 16, 24, 32)
SWEEP_BATCH = 1000  # trials per task: short tasks keep both cores busy and the progress moving
# A sweep point fails when a count as far from the expected one has a smaller probability
# than this: as rare as a 6-sigma miss, but exact also for the few failures at small rates,
# where the normal approximation is poor.
SWEEP_TAIL = 1e-9
# Failed trials and flipped qubits must each be within this many standard deviations of
# their expected count; a correct run misses by as much about twice in a billion runs.
SIGMAS = 6


def coin(sim, qubit):
    """A fair coin from korvane's generator: measure |+> along Z, then reset to |0>."""
    sim.h(qubit)
    heads = sim.measure_z(qubit) == MeasurementResult.MinusOne
    if heads:
        sim.x(qubit)
    return heads


def error(sim, qubit, numerator, bits):
    """True with probability numerator / 2**bits, exactly: draws a `bits`-bit number coin by
    coin from its top bit and stops at the first bit where it differs from `numerator`
    (about two coins on average, whatever `bits` is)."""
    for shift in range(bits - 1, -1, -1):
        wanted = numerator >> shift & 1
        if coin(sim, qubit) != wanted:
            return bool(wanted)  # the drawn number is below `numerator` where it has a 0 and it a 1
    return False  # equal to `numerator`, not below it


def decode(syndrome):
    """The flips that explain the syndrome with the fewest qubits (distance is odd)."""
    flips = [0]
    for parity in syndrome:
        flips.append(flips[-1] ^ parity)
    if 2 * sum(flips) > len(flips):
        flips = [1 - f for f in flips]
    return flips


def trial(bit, distance, numerator, bits):
    """One round of the memory; returns the X errors that struck and whether it failed."""
    data = range(distance)
    checks = range(distance, 2 * distance - 1)
    spare = 2 * distance - 1  # the coin
    sim = Korvane(2 * distance)
    if bit:
        sim.x(0)
    for q in data[1:]:
        sim.cx(0, q)
    errors = [error(sim, spare, numerator, bits) for _ in data]
    for q in data:
        if errors[q]:
            sim.x(q)
    syndrome = []
    for a, q in zip(checks, data):
        sim.cx(q, a)
        sim.cx(q + 1, a)
        syndrome.append(int(sim.measure_z(a)))
    readout = [int(sim.measure_z(q)) for q in data]
    decoded = {r ^ f for r, f in zip(readout, decode(syndrome))}
    if len(decoded) != 1:
        raise RuntimeError(f"the syndrome {syndrome} does not match the readout {readout}")
    return errors, decoded.pop() != bit


def run_batch(trials, distance=DISTANCE, numerator=ERROR_NUMERATOR, bits=ERROR_BITS):
    """`trials` trials in the calling process: counts, and every error as one bit of `pattern`."""
    failures = flips = pattern = 0
    for t in range(trials):
        errors, failed = trial(t % 2, distance, numerator, bits)
        failures += failed
        flips += sum(errors)
        for e in errors:
            pattern = pattern << 1 | e
    return {"process": os.getpid(), "trials": trials, "failures": failures, "flips": flips, "pattern": pattern}


def expected_failure_rate(distance=DISTANCE, p=ERROR_RATE):
    """Majority decoding fails when more than half of the data qubits flipped."""
    return sum(math.comb(distance, k) * p**k * (1 - p) ** (distance - k)
               for k in range(distance // 2 + 1, distance + 1))


def close(count, samples, rate):
    """Whether `count` successes in `samples` match `rate`, and the tolerance on the rate."""
    tolerance = SIGMAS * math.sqrt(rate * (1 - rate) / samples)
    return abs(count / samples - rate) <= tolerance, tolerance


def report(label, batches):
    """Prints one line on the batches and returns whether they pass every check."""
    trials = sum(b["trials"] for b in batches)
    failures = sum(b["failures"] for b in batches)
    flips = sum(b["flips"] for b in batches)
    logical_ok, logical_tol = close(failures, trials, expected_failure_rate())
    physical_ok, physical_tol = close(flips, trials * DISTANCE, ERROR_RATE)
    # Two batches that drew from the same stream have the same errors; independent ones
    # agree on all DISTANCE * trials error bits with probability 0.625 ** (5 * trials).
    distinct = len({b["pattern"] for b in batches}) == len(batches)
    processes = len({b["process"] for b in batches})
    print(f"{label}: {len(batches)} batches, {trials} trials in {processes} processes: "
          f"logical error rate {failures / trials:.4f} (tolerance {logical_tol:.4f}), "
          f"physical {flips / (trials * DISTANCE):.4f} (tolerance {physical_tol:.4f}), "
          f"error patterns all different: {distinct}")
    return logical_ok and physical_ok and distinct


class Progress:
    """A progress line on stderr, only once a run has taken `after` seconds: rewritten in place
    on a terminal, else one line every few seconds, so that logs stay short."""

    def __init__(self, label, total, after):
        self.label, self.total, self.after = label, total, after
        self.tty = sys.stderr.isatty()
        self.every = 0.2 if self.tty else 5.0
        self.start = time.monotonic()
        self.shown = None  # when the line was last written

    def update(self, done):
        now = time.monotonic()
        elapsed = now - self.start
        if elapsed < self.after or (self.shown is not None and now - self.shown < self.every):
            return
        self.shown = now
        left = f", about {elapsed * (self.total - done) / done:.0f} s left" if done else ""
        line = f"{self.label}: {done} of {self.total} batches done in {elapsed:.0f} s{left}"
        sys.stderr.write(f"\r{line}\x1b[K" if self.tty else line + "\n")
        sys.stderr.flush()

    def close(self):
        if self.tty and self.shown is not None:
            sys.stderr.write("\r\x1b[K")  # the results follow on a clean line
            sys.stderr.flush()


def gather(futures, progress):
    """The futures' results (concurrent.futures' or Dask's), in order, updating `progress` as
    they finish and as time passes: a long batch still moves the clock on the line."""
    pending = list(futures)
    while pending:
        pending = [f for f in pending if not f.done()]
        progress.update(len(futures) - len(pending))
        if pending:
            time.sleep(0.05)
    progress.close()
    return [f.result() for f in futures]


def with_processes(method, workers, batches, trials, progress_after):
    """Batches on a process pool, plus one in this process after the workers started."""
    run_batch(trials)  # this process's generator now exists, and a forked worker inherits it
    with ProcessPoolExecutor(workers, mp_context=multiprocessing.get_context(method)) as pool:
        futures = [pool.submit(run_batch, trials) for _ in range(batches)]
        # The workers exist now; a forked one starts from the state this batch starts from.
        here = run_batch(trials)
        return gather(futures, Progress(method, batches, progress_after)) + [here]


def with_dask(address, workers, batches, trials, progress_after):
    """Batches on a Dask cluster: a LocalCluster of worker processes, or a running one."""
    from dask.distributed import Client, LocalCluster

    if address == "local":
        cluster = LocalCluster(n_workers=workers, threads_per_worker=1, processes=True, dashboard_address=None)
        client = Client(cluster)
    else:
        cluster = None
        client = Client(address)
    try:
        names = list(client.scheduler_info()["workers"])
        # pure=False: Dask would compute identical calls of a pure function only once. One
        # batch goes to each worker, so that every worker's stream is in the comparison.
        futures = [client.submit(run_batch, trials, pure=False, workers=[w]) for w in names]
        futures += client.map(run_batch, [trials] * max(batches - len(names), 0), pure=False)
        return len(names), gather(futures, Progress("dask", len(futures), progress_after))
    finally:
        client.close()
        if cluster is not None:
            cluster.close()


def binomial_tail(count, samples, rate):
    """The probability of a count at least as far from the mean as `count`, on its side."""
    log_rate, log_miss = math.log(rate), math.log1p(-rate)
    step = 1 if count >= samples * rate else -1
    total, k = 0.0, count
    while 0 <= k <= samples:
        term = math.exp(math.lgamma(samples + 1) - math.lgamma(k + 1) - math.lgamma(samples - k + 1)
                        + k * log_rate + (samples - k) * log_miss)
        total += term
        if term <= total * 1e-17:  # past the mode the terms only shrink
            break
        k += step
    return total


def sweep(trials, workers, progress_after):
    """Every sweep point's counts, from batches of at most SWEEP_BATCH trials on `workers` processes."""
    sizes = [SWEEP_BATCH] * (trials // SWEEP_BATCH) + [trials % SWEEP_BATCH] * (trials % SWEEP_BATCH > 0)
    points = [(d, m) for d in SWEEP_DISTANCES for m in SWEEP_NUMERATORS]
    with ProcessPoolExecutor(workers) as pool:
        futures = [pool.submit(run_batch, n, d, m, SWEEP_BITS) for d, m in points for n in sizes]
        batches = iter(gather(futures, Progress("sweep", len(futures), progress_after)))
    rows = []
    for distance, numerator in points:
        point = [next(batches) for _ in sizes]
        rows.append({"distance": distance, "rate": numerator / 2**SWEEP_BITS, "trials": trials,
                     "failures": sum(b["failures"] for b in point), "flips": sum(b["flips"] for b in point)})
    return rows


def check_and_print(rows):
    """Prints the table of the sweep and returns whether every point matches the binomial values."""
    print(f"{'p':>8} {'d':>2} {'trials':>7} {'failures':>8} {'p_L':>9} {'exact p_L':>9} {'sigmas':>6} "
          f"{'p measured':>10}  check")
    ok = True
    for r in rows:
        n, d, p = r["trials"], r["distance"], r["rate"]
        exact = expected_failure_rate(d, p)
        sigmas = (r["failures"] / n - exact) / math.sqrt(exact * (1 - exact) / n)
        good = (binomial_tail(r["failures"], n, exact) >= SWEEP_TAIL
                and binomial_tail(r["flips"], n * d, p) >= SWEEP_TAIL)
        ok &= good
        print(f"{p:8.6f} {d:2d} {n:7d} {r['failures']:8d} {r['failures'] / n:9.3e} {exact:9.3e} {sigmas:+6.1f} "
              f"{r['flips'] / (n * d):10.6f}  {'ok' if good else 'FAILED'}")
    return ok


def wilson(count, samples):
    """The one-sigma Wilson interval of a rate: inside (0, 1), so it has a place on a log scale."""
    rate, z2 = count / samples, 1 / samples
    centre = (rate + z2 / 2) / (1 + z2)
    half = math.sqrt(rate * (1 - rate) / samples + z2 * z2 / 4) / (1 + z2)
    return centre - half, centre + half


def figure(rows):
    """The logical against the physical error rate: the measured points with one-sigma bars,
    the exact values as dashed curves, and the unencoded qubit's p_L = p for reference."""
    from matplotlib.backends.backend_agg import FigureCanvasAgg
    from matplotlib.figure import Figure
    from matplotlib.ticker import NullFormatter

    fig = Figure(figsize=(7, 5), dpi=100)
    FigureCanvasAgg(fig)  # Agg draws without a display
    ax = fig.add_subplot()
    rates = sorted({r["rate"] for r in rows})
    fine = [rates[0] * (rates[-1] / rates[0]) ** (i / 100) for i in range(101)]
    for i, distance in enumerate(sorted({r["distance"] for r in rows})):
        color = f"C{i}"
        ax.plot(fine, [expected_failure_rate(distance, p) for p in fine], color=color, linestyle="--",
                linewidth=1)
        # No failures has no place on a log scale; the table still lists those points.
        seen = [r for r in rows if r["distance"] == distance and r["failures"]]
        x = [r["rate"] for r in seen]
        y = [r["failures"] / r["trials"] for r in seen]
        bounds = [wilson(r["failures"], r["trials"]) for r in seen]
        bars = [[max(v - lo, 0) for v, (lo, _) in zip(y, bounds)], [hi - v for v, (_, hi) in zip(y, bounds)]]
        ax.errorbar(x, y, yerr=bars, fmt="o", markersize=4, capsize=2, color=color, label=f"distance {distance}")
    ax.plot([rates[0], rates[-1]], [rates[0], rates[-1]], color="black", linestyle=":",
            label="$p_L = p$ (one bare qubit)")
    ax.plot([], [], color="gray", linestyle="--", linewidth=1, label="exact binomial value")
    ax.set_xscale("log")
    ax.set_yscale("log")
    # The rates are dyadic: label the powers of two as the fractions they are.
    powers = [2.0**-k for k in range(SWEEP_BITS, 0, -1) if rates[0] <= 2.0**-k <= rates[-1]]
    ax.set_xticks(powers, [f"1/{round(1 / p)}" for p in powers])
    ax.xaxis.set_minor_formatter(NullFormatter())
    ax.set_xlabel("physical error rate p (X error probability per data qubit)")
    ax.set_ylabel("logical error rate $p_L$")
    ax.set_title(f"Repetition-code memory, majority decoding, {rows[0]['trials']} trials per point")
    ax.grid(True, which="major", alpha=0.3)
    ax.legend(loc="lower right")
    return fig


def plot(path, trials, workers, progress_after):
    """The sweep, its table and its plot; returns an error message when a check failed."""
    print(f"threshold sweep: distances {', '.join(map(str, SWEEP_DISTANCES))} at "
          f"{len(SWEEP_NUMERATORS)} X error rates from 1/{2**SWEEP_BITS} to 1/2, "
          f"{trials} trials per point on {workers} worker processes")
    rows = sweep(trials, workers, progress_after)
    ok = check_and_print(rows)
    figure(rows).savefig(path)
    print(f"plot written to {path}")
    if not ok:
        return "a sweep point failed its check: the numbers above are not what the binomial law gives"
    return None


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--workers", type=int, default=2, help="worker processes (default 2)")
    parser.add_argument("--batches", type=int, default=8, help="batches per way of running (default 8)")
    parser.add_argument("--trials", type=int, default=250, help="trials per batch (default 250)")
    parser.add_argument("--dask", default="auto",
                        help="'local' for a LocalCluster, a scheduler address such as tcp://scheduler:8786, "
                             "'none', or 'auto' (default): 'local' when Dask is installed")
    parser.add_argument("--plot", metavar="FILE.png",
                        help="instead: sweep the physical error rate for distances 3, 5 and 7, print the "
                             "table and draw it into FILE.png (needs matplotlib)")
    parser.add_argument("--sweep-trials", type=int, default=10000,
                        help="trials per point of the --plot sweep (default 10000)")
    parser.add_argument("--progress-after", type=float, default=2.0, metavar="SECONDS",
                        help="show progress on stderr once a run has taken this long (default 2)")
    args = parser.parse_args()

    if args.plot:
        try:
            import matplotlib  # noqa: F401
        except ImportError:
            sys.exit("--plot needs matplotlib: pip install matplotlib (Debian: apt-get install python3-matplotlib)")
        sys.exit(plot(args.plot, args.sweep_trials, args.workers, args.progress_after))

    print(f"repetition code of distance {DISTANCE}, X error probability {ERROR_RATE} per data qubit, "
          f"expected logical error rate {expected_failure_rate():.4f}")
    ok = True
    for method in ("fork", "spawn"):
        if method in multiprocessing.get_all_start_methods():
            ok &= report(method, with_processes(method, args.workers, args.batches, args.trials,
                                                args.progress_after))

    dask = args.dask
    if dask == "auto":
        try:
            import distributed  # noqa: F401
            dask = "local"
        except ImportError:
            print("dask: not installed (Debian: apt-get install python3-distributed; pip install distributed)")
            dask = "none"
    if dask != "none":
        workers, batches = with_dask(dask, args.workers, args.batches, args.trials, args.progress_after)
        where = "LocalCluster" if dask == "local" else dask
        ok &= report(f"dask ({where}, {workers} workers)", batches)

    if not ok:
        sys.exit("a check failed: the numbers above are not what independent trials give")


if __name__ == "__main__":
    main()
