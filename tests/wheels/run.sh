#!/bin/sh
# Proves each wheel where it runs: installs it with pip and runs the Python tests against
# the installed package, never the build tree.
#   x86_64  3.11-3.13  pyenv's interpreter: a fresh venv, pip install, the whole suite; the
#                      cp311 wheel also runs the examples under qemu-x86_64 -cpu Nehalem
#                      (x86-64-v2, no AVX2)
#   x86_64  3.14 3.15  Debian sid's interpreter in the sid root: a fresh venv, pip install,
#                      the whole suite
#   aarch64 3.11       Debian 12's libpython3.11:arm64 under qemu-aarch64
#   aarch64 3.13-3.15  Debian sid's libpython3.X:arm64 under the sid root's qemu-aarch64
#                      (aarch64: pip install --target with the wheel's platform and ABI
#                      named, since the emulated interpreter runs without pip; the suite
#                      without the 100,000-call classes, as in tests/qemu/run_arm64.sh)
#   aarch64 3.12       no arm64 CPython 3.12 exists here: the module's C API references
#                      must be exactly those of the x86_64 cp312 wheel's module
#
# Usage: tests/wheels/run.sh [WHEEL...]   (default: every wheel in dist/)
#   Run tools/wheels/build.sh first (its tools venv supplies pip's target installs and
#   zig for the launcher). Exit status: 0 when every wheel passed.
set -eu
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
sid=${KORVANE_SID_ROOT:-/var/tmp/korvane-sid}
tools=$root/build-wheels/venv/bin
[ $# -gt 0 ] || set -- "$root"/dist/*.whl
export PIP_DISABLE_PIP_VERSION_CHECK=1
unset PYTHONPATH
work=$(mktemp -d)
mounted=""
cleanup() {
    if [ -n "$mounted" ]; then umount "$sid/proc"; fi
    rm -rf "$work" "$sid/wheeltest"
}
trap cleanup EXIT
zig=$("$tools/python" -c 'import os, ziglang; print(os.path.dirname(ziglang.__file__))')/zig

need_sid() {
    "$root/tools/sid_root.sh" "$sid" python3.14-venv python3.15-venv qemu-user \
        libpython3.13:arm64 libpython3.14:arm64 libpython3.15:arm64
    if [ ! -d "$sid/wheeltest" ]; then
        # What the Python tests read besides the module: themselves, the examples, the
        # README, the API reference and the source stub.
        mkdir -p "$sid/wheeltest/src"
        (cd "$root" && tar -cf - README.md docs examples module/korvane.pyi tests/python) | tar -xf - -C "$sid/wheeltest/src"
    fi
    if [ -z "$mounted" ] && ! mountpoint -q "$sid/proc"; then
        mount -t proc proc "$sid/proc"
        mounted=1
    fi
}

# suite DIR PYTHON [unittest args]: the Python tests of DIR/tests/python, run from an
# empty directory so that nothing but the installed package is importable as korvane.
suite_cmd='set -e; src=$1; shift; cd "$(mktemp -d)"
    "$0" -c "import korvane, platform, sys; print(\"   \", sys.executable, sys.version.split()[0], platform.machine(), korvane.__file__)"
    KORVANE_EXAMPLES="$src/examples" "$0" -m unittest discover -s "$src/tests/python" -t "$src/tests/python" "$@"'

# A launcher of Debian's arm64 libpython under qemu: $1 the wrapper to write, $2 the
# version, $3 the launcher binary, $4 the site directory; sys.executable is the wrapper.
arm64_python() {
    cat >"$1" <<WRAPPER
#!/bin/sh
KORVANE_LIBPYTHON=libpython$2.so.1.0 PYTHONPATH=$4 KORVANE_SKIP_REPEATED=\${KORVANE_SKIP_REPEATED-1} \\
    exec qemu-aarch64 -0 "\$0" "$3" "\$@"
WRAPPER
    chmod +x "$1"
}

test_wheel() {
    wheel=$1
    base=$(basename "$wheel")
    nodot=$(echo "$base" | sed -n 's/^korvane-[^-]*-cp\([0-9]*\)-.*/\1/p')
    version=3.${nodot#3}
    arch=$(echo "$base" | sed -n 's/.*manylinux_[0-9]*_[0-9]*_\(.*\)\.whl$/\1/p')
    echo "== $base"
    case $arch-$version in
    x86_64-3.11 | x86_64-3.12 | x86_64-3.13)
        py=$(ls "$(pyenv root)"/versions/"$version".*/bin/python"$version" | head -n 1)
        venv=$work/venv-$nodot
        "$py" -m venv "$venv"
        "$venv/bin/pip" install --quiet --no-index "$wheel"
        sh -c "$suite_cmd" "$venv/bin/python" "$root"
        if [ "$version" = 3.11 ]; then
            echo "   the examples under qemu-x86_64 -cpu Nehalem"
            printf '#!/bin/sh\nexec qemu-x86_64 -cpu Nehalem -0 "$0" "%s" "$@"\n' "$venv/bin/python" >"$venv/bin/python-nehalem"
            chmod +x "$venv/bin/python-nehalem"
            sh -c "$suite_cmd" "$venv/bin/python-nehalem" "$root" -p test_examples.py
        fi ;;
    x86_64-3.14 | x86_64-3.15)
        need_sid
        cp "$wheel" "$sid/wheeltest/"
        chroot "$sid" sh -euc "python$version -m venv /wheeltest/venv-$nodot
            /wheeltest/venv-$nodot/bin/pip install --quiet --no-index /wheeltest/$base" 
        chroot "$sid" sh -c "$suite_cmd" /wheeltest/venv-$nodot/bin/python /wheeltest/src ;;
    aarch64-3.12)
        # Which C API the module calls is fixed by the headers it was compiled against;
        # the x86_64 cp312 wheel's module, which passes the suite, calls the same set.
        twin=$(dirname "$wheel")/$(echo "$base" | sed 's/aarch64/x86_64/')
        for w in "$wheel" "$twin"; do
            mkdir -p "$work/syms" && rm -rf "$work/syms/x"
            "$tools/python" -m zipfile -e "$w" "$work/syms/x"
            readelf --dyn-syms -W "$work"/syms/x/korvane.*.so | awk '$7 == "UND" && $8 ~ /^_?Py/ {print $8}' | sort -u >"$work/syms/$(basename "$w").txt"
        done
        echo "   $(wc -l <"$work/syms/$base.txt") C API symbols; the same as the x86_64 cp312 module's:"
        diff "$work/syms/$base.txt" "$work/syms/$(basename "$twin").txt"
        echo "   no arm64 CPython 3.12 here to run it: C API references checked only" ;;
    aarch64-*)
        if [ "$version" = 3.11 ]; then prefix=$work; inside=$work; else need_sid; prefix=$sid/wheeltest; inside=/wheeltest; fi
        site=site-$nodot
        "$tools/pip" install --quiet --no-index --no-deps --target "$prefix/$site" --only-binary=:all: \
            --platform manylinux_2_28_aarch64 --implementation cp --python-version "$version" --abi "cp$nodot" "$wheel"
        [ -x "$prefix/launcher" ] || "$zig" cc -target aarch64-linux-gnu.2.28 -O2 "$here/dl_launcher.c" -o "$prefix/launcher" -ldl
        arm64_python "$prefix/python-$nodot" "$version" "$inside/launcher" "$inside/$site"
        if [ "$version" = 3.11 ]; then
            sh -c "$suite_cmd" "$prefix/python-$nodot" "$root"
        else
            chroot "$sid" sh -c "$suite_cmd" "$inside/python-$nodot" /wheeltest/src
        fi ;;
    *)
        echo "no way to run $base here" >&2
        return 1 ;;
    esac
}

# One wheel per process: a failing step then ends that wheel's test (set -e holds).
if [ "$1" = --one ]; then
    test_wheel "$2"
    exit 0
fi
echo "== the aarch64 pyconfig.h derived for CPython 3.12, tried on Debian's pairs"
"$tools/python" -m unittest discover -s "$here" -p 'test_*.py'
status=0
results=""
for wheel in "$@"; do
    if "$0" --one "$wheel"; then
        results="$results
   passed  $(basename "$wheel")"
    else
        results="$results
   FAILED  $(basename "$wheel")"
        status=1
    fi
done
echo "== results$results"
exit $status
