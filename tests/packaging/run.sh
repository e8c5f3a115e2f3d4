#!/bin/sh
# The package as users get it: builds the source archive and the wheel from a copy of the
# tree without git and with scratch directories in it (a virtual environment, caches, a
# build tree), checks them with twine and tests/packaging/test_distributions.py, installs
# the wheel into a fresh venv and runs mypy's stubtest and the typing scripts against it
# and the Python tests against the installed module, then `pip install .` without build
# isolation and the editable installs: `pip install -e .` with isolation, and one that
# rebuilds on import, which must pick up an edit of the C++ source.
#
# Usage: tests/packaging/run.sh [PYTHON]   (default python3; needs PyPI or a pip mirror)
# Leaves the distributions in dist/ of the source tree.
set -eu

here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
python=${1:-python3}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export PIP_DISABLE_PIP_VERSION_CHECK=1
unset PYTHONPATH

step() { echo "== $*"; }

step "tools venv ($("$python" --version))"
"$python" -m venv "$work/tools"
"$work/tools/bin/pip" install --quiet build twine mypy scikit-build-core

step "a copy of the tree without git, with scratch directories in it"
tree=$work/tree
mkdir -p "$tree"
(cd "$root" && git ls-files -z | xargs -0 tar -cf - --) | tar -xf - -C "$tree"
(cd "$root" && git ls-files) >"$work/tracked.txt"
for junk in .venv/lib/site.py .mypy_cache/3.11/korvane.json build/CMakeCache.txt dist/old.whl \
            tests/python/__pycache__/korvane_support.cpython-311.pyc docs/threshold.png; do
    mkdir -p "$tree/$(dirname "$junk")" && echo junk >"$tree/$junk"
done

step "python -m build: the source archive, then the wheel from it (build isolation)"
"$work/tools/bin/python" -m build --outdir "$work/dist" "$tree"
"$work/tools/bin/twine" check --strict "$work/dist"/*
KORVANE_DIST=$work/dist KORVANE_TREE=$root KORVANE_TRACKED=$work/tracked.txt \
    "$work/tools/bin/python" -m unittest discover -v -s "$here" -p 'test_distributions.py'

step "the wheel in a fresh venv: stubtest, mypy --strict, the Python tests against it"
"$python" -m venv "$work/user"
"$work/user/bin/pip" install --quiet "$work/dist"/korvane-*.whl mypy
(cd "$work" && "$work/user/bin/python" -c 'import korvane, sys; assert korvane.__file__.startswith(sys.prefix); print(korvane.__file__)')
(cd "$work" && "$work/user/bin/python" -m mypy.stubtest korvane)
(cd "$work" && "$work/user/bin/mypy" --strict --no-incremental "$root/tests/typing/right_use.py" "$root/tests/typing/wrong_use.py")
"$work/user/bin/python" "$root/tests/typing/right_use.py" >/dev/null
(cd "$work" && KORVANE_EXAMPLES=$root/examples "$work/user/bin/python" -m unittest discover \
    -s "$root/tests/python" -t "$root/tests/python")

step "pip install . without build isolation"
"$python" -m venv "$work/plain"
"$work/plain/bin/pip" install --quiet scikit-build-core
"$work/plain/bin/pip" install --quiet --no-build-isolation "$tree"
(cd "$work" && "$work/plain/bin/python" -c 'import korvane; print(korvane.Korvane(2))')

step "pip install -e . with build isolation"
"$python" -m venv "$work/editable"
"$work/editable/bin/pip" install --quiet -e "$tree"
(cd "$work" && "$work/editable/bin/python" -c 'import korvane; print(korvane.__file__)')

step "pip install -e . rebuilding on import picks up a C++ edit"
"$python" -m venv "$work/rebuild"
"$work/rebuild/bin/pip" install --quiet scikit-build-core cmake ninja
"$work/rebuild/bin/pip" install --quiet --no-build-isolation -Ceditable.rebuild=true \
    -Cbuild-dir=build/editable -e "$tree"
# The rebuild reports itself on stdout; the docstring is the line marked here.
doc() { (cd "$work" && "$work/rebuild/bin/python" -c 'import korvane; print("doc:", korvane.__doc__)' | sed -n 's/^doc: //p'); }
before=$(doc)
sed -i 's/Graph-state based quantum circuit simulator/EDITED simulator/' "$tree/module/module.cpp"
grep -q 'EDITED simulator' "$tree/module/module.cpp"
after=$(doc)
echo "   before: $before"
echo "   after:  $after"
case $before in "Graph-state based"*) ;; *) echo "unexpected docstring before the edit" >&2; exit 1 ;; esac
case $after in "EDITED simulator"*) ;; *) echo "the edit was not picked up" >&2; exit 1 ;; esac

rm -rf "$root/dist"
mkdir -p "$root/dist"
cp "$work/dist"/* "$root/dist/"
step "passed; distributions in $root/dist"
ls -l "$root/dist"
