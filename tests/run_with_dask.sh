#!/bin/sh
# Runs an example that uses Dask with an interpreter that has Dask (the `distributed`
# package) and can import the korvane module on PYTHONPATH: the build's own interpreter,
# else Debian's /usr/bin/python3 or the first python3 on PATH. A module built for one
# CPython 3.x loads in any other 3.x interpreter of the same ABI tag.
#
# Usage: tests/run_with_dask.sh BUILD_PYTHON EXAMPLE [ARGS...]
# Without such an interpreter the example runs with BUILD_PYTHON and its Dask part off,
# and the exit status is 77, which ctest reports as skipped.
set -eu

build_python=$1
shift

for python in "$build_python" /usr/bin/python3 "$(command -v python3 || true)"; do
    [ -x "$python" ] || continue
    if "$python" -c "import korvane, distributed" 2>/dev/null; then
        echo "running with $python ($("$python" -c 'import sys; print(sys.version.split()[0])')), which has Dask"
        exec "$python" "$@" --dask local
    fi
done

echo "Dask part skipped: no interpreter here has both the distributed package and this build's korvane" \
     "(tried $build_python, /usr/bin/python3, python3 on PATH; Debian: apt-get install python3-distributed)"
"$build_python" "$@" --dask none
exit 77
