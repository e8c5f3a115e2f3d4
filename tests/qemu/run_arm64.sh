#!/bin/sh
# arm64: cross-builds the engine, its tests and the extension module with Debian's aarch64
# toolchain, runs the engine tests under qemu-aarch64, and runs the Python tests there in
# Debian's arm64 CPython (libpython3.X:arm64 behind a small launcher; X is Debian's own
# python3, 3.11 on Debian 12, 3.13 on Debian 13).
#
# Usage: tests/qemu/run_arm64.sh [BUILD_DIR]   (default: build-arm64)
#   The Python classes that repeat calls 100,000 times are left out (minutes under
#   emulation); KORVANE_SKIP_REPEATED= (empty) runs them too.
# Needs the Debian packages crossbuild-essential-arm64, qemu-user, and, after
# `dpkg --add-architecture arm64`, libpython3.X-dev:arm64 libgtest-dev:arm64
# libstdc++6:arm64.
#
# Programs run against Debian's arm64 runtime libraries (libc6:arm64 and the others that
# the packages above bring), not qemu -L /usr/aarch64-linux-gnu: with the cross
# toolchain's own libc (libc6-arm64-cross 2.36-8cross1), qemu 7.2 hangs in every
# pthread_create, a plain C program's as much as the interpreter's threading.Thread.
set -eu

here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
build=${1:-build-arm64}
case $build in /*) ;; *) build=$root/$build ;; esac
eval "$("$root/tools/debian_versions.sh")"
py=$DEBIAN_PYTHON
config=aarch64-linux-gnu-$py-config

for need in aarch64-linux-gnu-g++:crossbuild-essential-arm64 qemu-aarch64:qemu-user /usr/bin/$py:$py \
            $config:lib$py-dev:arm64 \
            /usr/lib/aarch64-linux-gnu/libgtest.a:libgtest-dev:arm64 \
            /usr/lib/aarch64-linux-gnu/libstdc++.so.6:libstdc++6:arm64; do
    what=${need%%:*}
    if ! command -v "$what" >/dev/null && [ ! -e "$what" ]; then
        echo "missing $what: apt-get install ${need#*:}" >&2
        exit 2
    fi
done

echo "== cross build in $build"
# Debian's own Python stands in for the interpreter at configure time; the headers and
# the module's ABI are the arm64 ones, found through $config under /usr.
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE="$here/aarch64-linux-gnu.cmake" -DKORVANE_BUILD_BENCH=OFF \
    -DPython3_EXECUTABLE=/usr/bin/$py -DPython3_ROOT_DIR=/usr >/dev/null
cmake --build "$build"
mkdir -p "$build/launcher"
# shellcheck disable=SC2046 # the flags are words
aarch64-linux-gnu-gcc -O2 $($config --includes) "$here/python_launcher.c" -o "$build/launcher/python3-aarch64" \
    $($config --ldflags --embed)
# The tests start examples with sys.executable: a script that leads back into qemu, which
# the interpreter sees as its argv[0] (-0) and so reports as sys.executable.
cat >"$build/launcher/python3" <<WRAPPER
#!/bin/sh
exec qemu-aarch64 -0 "\$0" "$build/launcher/python3-aarch64" "\$@"
WRAPPER
chmod +x "$build/launcher/python3"

echo "== engine tests under qemu-aarch64"
KORVANE_EXPECT_VECTOR_KERNELS=baseline timeout 900 qemu-aarch64 "$build/tests/engine/engine_tests" --gtest_brief=1

echo "== Python tests under qemu-aarch64"
KORVANE_SKIP_REPEATED=${KORVANE_SKIP_REPEATED-1}
PYTHONPATH=$build/python
KORVANE_EXAMPLES=$root/examples
export KORVANE_SKIP_REPEATED PYTHONPATH KORVANE_EXAMPLES
cd "$build"
"$build/launcher/python3" -c 'import platform, sys; print("interpreter:", sys.executable, sys.version.split()[0], platform.machine())'
timeout 1800 "$build/launcher/python3" -m unittest discover -s "$root/tests/python" -t "$root/tests/python"
