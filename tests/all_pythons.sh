#!/usr/bin/env bash
# Builds the module and runs the Python tests with every CPython 3.11 or newer on this
# machine, then installs the package with `pip install .` into a venv of one of them and
# runs the Python tests against that installation.
#
# Usage: tests/all_pythons.sh
#   Interpreters are looked for as python3 and python3.N on PATH, in /usr/bin and
#   /usr/local/bin, and in pyenv's versions when pyenv is installed; KORVANE_PYTHONS
#   ("path path ...") replaces the search. Each one found is built in build-py<version>
#   (the module only; the engine tests do not depend on the interpreter) and ctest runs the
#   tests labelled python there. `pip install .` runs with the newest interpreter whose
#   version differs from the default python3's, or with the default one when there is no
#   other.
# Exit status: 0 when everything passed, 1 when something failed, 2 when no interpreter
# could be used.
set -uo pipefail
unset PYTHONPATH  # each build's tests set their own; the installed module must be found by itself

root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

candidates=()
if [ -n "${KORVANE_PYTHONS:-}" ]; then
    read -ra candidates <<<"$KORVANE_PYTHONS"
else
    IFS=: read -ra path_dirs <<<"$PATH"
    for dir in "${path_dirs[@]}" /usr/bin /usr/local/bin; do
        for exe in "$dir"/python3 "$dir"/python3.*; do
            [[ $(basename "$exe") =~ ^python3(\.[0-9]+)?$ ]] && [ -x "$exe" ] && candidates+=("$exe")
        done
    done
    if command -v pyenv >/dev/null 2>&1; then
        for exe in "$(pyenv root)"/versions/*/bin/python3; do
            [ -x "$exe" ] && candidates+=("$exe")
        done
    fi
fi

# What an interpreter is: real path, implementation, version, whether its headers exist.
probe='import os, sys, sysconfig
print(os.path.realpath(sys.executable))
print(sys.implementation.name)
print("%d.%d.%d" % sys.version_info[:3])
print(int(sys.version_info >= (3, 11)))
print(int(os.path.isfile(os.path.join(sysconfig.get_paths()["include"], "Python.h"))))'

declare -A seen=()
pythons=() versions=() skipped=()
for exe in "${candidates[@]}"; do
    if ! info=$("$exe" -c "$probe" 2>"$work/probe.err"); then
        skipped+=("$exe: does not start ($(head -n 1 "$work/probe.err"))")
        continue
    fi
    { read -r real; read -r impl; read -r version; read -r recent; read -r headers; } <<<"$info"
    [ -n "${seen[$real]:-}" ] && continue
    seen[$real]=1
    if [ "$impl" != cpython ]; then
        skipped+=("$real: $impl, not CPython")
    elif [ "$recent" != 1 ]; then
        skipped+=("$real: $version is older than 3.11")
    elif [ "$headers" != 1 ]; then
        skipped+=("$real: $version has no headers (Debian: python3-dev)")
    else
        pythons+=("$real")
        versions+=("$version")
    fi
done

echo "== CPython interpreters found: ${#pythons[@]}"
for i in "${!pythons[@]}"; do echo "   ${versions[$i]}  ${pythons[$i]}"; done
echo "== skipped: ${#skipped[@]}"
for line in "${skipped[@]}"; do echo "   $line"; done
if [ ${#pythons[@]} = 0 ]; then
    echo "no CPython 3.11 or newer with headers found" >&2
    exit 2
fi

results=()
failed=0
declare -A dirs=()
for i in "${!pythons[@]}"; do
    python=${pythons[$i]} version=${versions[$i]}
    build=build-py$version
    [ -n "${dirs[$build]:-}" ] && build=$build-$i  # two interpreters of one version
    dirs[$build]=1
    echo "== Python $version ($python) in $build"
    generator=()
    [ -f "$build/CMakeCache.txt" ] || generator=(-G Ninja)
    mkdir -p "$build"
    if cmake -S . -B "$build" "${generator[@]}" -DCMAKE_BUILD_TYPE=Release -DKORVANE_BUILD_BENCH=OFF \
             -DPython3_EXECUTABLE="$python" >"$build/configure.log" 2>&1 &&
       cmake --build "$build" --target korvane -j2 &&
       ctest --test-dir "$build" -L python --output-on-failure; then
        results+=("passed  $version  $python")
    else
        results+=("FAILED  $version  $python  (configure log: $build/configure.log)")
        failed=1
    fi
done

# pip install . (scikit-build-core, build isolation) into a fresh venv of another interpreter.
default=$(python3 -c 'import os, sys; print(os.path.realpath(sys.executable))' 2>/dev/null || true)
default_version=$(python3 -c 'import sys; print("%d.%d.%d" % sys.version_info[:3])' 2>/dev/null || true)
pick="" pick_version="" newest=""
for i in "${!pythons[@]}"; do
    if [ "${versions[$i]}" != "$default_version" ] && [ "$(printf '%s\n%s\n' "$newest" "${versions[$i]}" |
            sort -V | tail -1)" = "${versions[$i]}" ]; then
        newest=${versions[$i]} pick=${pythons[$i]} pick_version=${versions[$i]}
    fi
done
if [ -z "$pick" ]; then
    pick=${pythons[0]} pick_version=${versions[0]}
    for i in "${!pythons[@]}"; do
        [ "${pythons[$i]}" = "$default" ] && pick=$default pick_version=${versions[$i]}
    done
    echo "== pip install .: no interpreter other than the default python3 ($default_version) found; installing with $pick"
else
    echo "== pip install .: installing with $pick ($pick_version; the default python3 is $default_version)"
fi
if "$pick" -m venv "$work/venv" &&
   PIP_DISABLE_PIP_VERSION_CHECK=1 "$work/venv/bin/python" -m pip install --no-cache-dir --quiet "$root" &&
   (cd "$work" && "$work/venv/bin/python" -c '
import sys, korvane
assert korvane.__file__.startswith(sys.prefix), korvane.__file__
print("   installed:", korvane.__file__)') &&
   (cd "$work" && KORVANE_EXAMPLES=$root/examples "$work/venv/bin/python" -m unittest discover \
        -s "$root/tests/python" -t "$root/tests/python"); then
    results+=("passed  $pick_version  pip install . in a venv, Python tests against it")
else
    results+=("FAILED  $pick_version  pip install . in a venv, Python tests against it")
    failed=1
fi

echo "== results"
for line in "${results[@]}"; do echo "   $line"; done
exit $failed
