#!/bin/sh
# Runs the Python tests under valgrind's memcheck; any memcheck error or definite leak
# fails the run (exit status 1).
#
# Usage: tests/valgrind/run_memcheck.sh [BUILD_DIR]   (default: build)
#   BUILD_DIR/python must hold the built korvane module (make build BUILD=BUILD_DIR).
#   PYTHON selects the interpreter (default: python3).
#
# Left out: the test classes that repeat calls 100,000 times to watch reference counts and
# memory (LeakTests, RepeatedCallHygieneTests). Under memcheck they would take hours, and
# every path they repeat is run here at least once by the other tests. Also PlotTest, the
# threshold sweep drawn with matplotlib: it runs NumPy and matplotlib, not ours to check,
# with timings that memcheck stretches; the example's own code runs here in its other tests. test_examples starts
# the examples as child processes; they are checked too (--trace-children), as are the
# child interpreters of the sub-interpreter and replaced-__new__ tests. The ctest
# interpreter_restart is not a Python suite and is not run here: it keeps one module past
# Py_Finalize() on purpose, which memcheck would rightly report as a definite leak.
set -eu

here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
build=${1:-build}
case $build in /*) ;; *) build=$root/$build ;; esac
if [ ! -d "$build/python" ]; then
    echo "no module in $build/python; build it first: make build BUILD=${1:-build}" >&2
    exit 2
fi

# The real interpreter, not a launcher script (pyenv shims are shell scripts).
python=$("${PYTHON:-python3}" -c 'import sys; print(sys.executable)')

# pymalloc hands out memory from its own arenas, which memcheck cannot see into; with the
# plain allocator every object is a malloc block that memcheck tracks.
PYTHONMALLOC=malloc
PYTHONPATH=$build/python
KORVANE_EXAMPLES=$root/examples
export PYTHONMALLOC PYTHONPATH KORVANE_EXAMPLES

# A child forked without exec (the fork test) ends in os._exit() right after CPython has
# re-created its locks, which memcheck would report as the interpreter's own leaks.
exec valgrind --tool=memcheck --error-exitcode=1 \
    --trace-children=yes --child-silent-after-fork=yes \
    --leak-check=full --show-leak-kinds=definite --errors-for-leak-kinds=definite \
    --suppressions="$here/python.supp" \
    --num-callers=30 \
    "$python" -X faulthandler - "$root/tests/python" <<'EOF'
import sys
import unittest

SKIPPED = {"LeakTests", "RepeatedCallHygieneTests", "PlotTest"}


def tests(suite):
    for item in suite:
        if isinstance(item, unittest.TestSuite):
            yield from tests(item)
        elif type(item).__name__ not in SKIPPED:
            yield item


start = sys.argv[1]
discovered = unittest.defaultTestLoader.discover(start, top_level_dir=start)
result = unittest.TextTestRunner(verbosity=2).run(unittest.TestSuite(tests(discovered)))
sys.exit(not result.wasSuccessful())
EOF
