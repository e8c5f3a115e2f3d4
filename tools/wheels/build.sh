#!/bin/sh
# Builds the source archive and the manylinux_2_28 wheels for x86_64 and aarch64 x
# CPython 3.11-3.15 into dist/, from the source archive, with Zig's clang as a cross
# compiler (no container engine, no compiler of the target's own). Each wheel is then
# checked with `auditwheel show` (its tag must be one auditwheel finds it consistent
# with) and the lot with `twine check`.
#
# Usage: tools/wheels/build.sh [TARGET...]    (default: all ten)
#   TARGET is ARCH-3.X, e.g. x86_64-3.11 aarch64-3.13. Scratch space is build-wheels/.
#   Needs root once (Debian packages, the sid root with the other CPythons' headers).
set -eu
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
work=$root/build-wheels
dist=$root/dist
targets=${*:-"x86_64-3.11 x86_64-3.12 x86_64-3.13 x86_64-3.14 x86_64-3.15 aarch64-3.11 aarch64-3.12 aarch64-3.13 aarch64-3.14 aarch64-3.15"}
export PIP_DISABLE_PIP_VERSION_CHECK=1
unset PYTHONPATH
start=$(date +%s)

echo "== builder's tools in $work/venv"
mkdir -p "$work"
if ! cmp -s "$here/requirements.txt" "$work/venv/requirements.txt"; then
    rm -rf "$work/venv"
    python3 -m venv "$work/venv"
    "$work/venv/bin/pip" install --quiet -r "$here/requirements.txt"
    cp "$here/requirements.txt" "$work/venv/requirements.txt"
fi
venv=$work/venv/bin
# zig itself, found by the toolchain's compiler wrappers.
PATH=$("$venv/python" -c 'import os, ziglang; print(os.path.dirname(ziglang.__file__))'):$PATH
export PATH
echo "   $(zig cc --version | head -n 1)"

"$here/python_headers.sh" "$work/headers"

echo "== source archive"
rm -rf "$dist" "$work/src" "$work/raw"
mkdir -p "$dist" "$work/src" "$work/raw"
"$venv/python" -m build --sdist --no-isolation --outdir "$dist" "$root"
tar -xzf "$dist"/korvane-*.tar.gz -C "$work/src" --strip-components=1

# The build runs on both cores at most; the machine is shared.
export CMAKE_BUILD_PARALLEL_LEVEL=${CMAKE_BUILD_PARALLEL_LEVEL:-2}
for target in $targets; do
    arch=${target%-*}
    version=${target#*-}
    nodot=$(echo "$version" | tr -d .)
    tag=cp$nodot-cp$nodot-manylinux_2_28_$arch
    echo "== wheel $tag"
    # A fresh configure: a cached one would keep flags the toolchain files no longer set.
    rm -rf "$work/cmake/$target"
    "$venv/python" -m build --wheel --no-isolation --outdir "$work/raw" "$work/src" \
        -Cbuild-dir="$work/cmake/$target" \
        -Ccmake.toolchain-file="$here/$arch-linux-gnu.cmake" \
        -Ccmake.python-hints=false \
        -Ccmake.define.Python3_INCLUDE_DIR="$work/headers/$arch/python$version" \
        -Ccmake.define.Python3_SOABI="cpython-$nodot-$arch-linux-gnu" \
        -Cwheel.tags="$tag" >"$work/build-$target.log" 2>&1 \
        || { tail -n 40 "$work/build-$target.log"; exit 1; }
    wheel=$work/raw/korvane-*-$tag.whl
    # shellcheck disable=SC2086 # the one wheel of this tag
    "$venv/auditwheel" show $wheel >"$work/auditwheel-$target.txt"
    sed 's/^/   /' "$work/auditwheel-$target.txt"
    # auditwheel names the oldest glibc the wheel runs on; ours must be no newer than 2.28.
    oldest=$(tr '\n' ' ' <"$work/auditwheel-$target.txt" |
        sed -n "s/.*consistent with *the following platform tag: *\"manylinux_2_\([0-9]*\)_$arch\".*/\1/p")
    if [ -z "$oldest" ] || [ "$oldest" -gt 28 ]; then
        echo "auditwheel does not find the $tag wheel consistent with manylinux_2_28" >&2
        exit 1
    fi
    # shellcheck disable=SC2086
    cp $wheel "$dist/"
done

echo "== twine check"
"$venv/twine" check --strict "$dist"/*
echo "== built in $(( $(date +%s) - start )) s:"
ls -l "$dist"
