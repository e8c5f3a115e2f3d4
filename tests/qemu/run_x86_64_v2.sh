#!/bin/sh
# The portable build on a CPU without AVX2: runs the engine tests and the Python tests
# under qemu-user emulating an x86-64-v2 CPU (Nehalem), where an AVX2 instruction outside
# the run-time dispatch would die with SIGILL, and checks that the engine picks its
# baseline kernels there and its AVX2 ones on this machine's own CPU when it has AVX2.
#
# Usage: tests/qemu/run_x86_64_v2.sh [BUILD_DIR]   (default: build)
#   BUILD_DIR holds a default build with its tests (make build BUILD=BUILD_DIR).
#   QEMU_CPU picks another CPU model without AVX2 (qemu-x86_64 -cpu help lists them).
#   The Python classes that repeat calls 100,000 times are left out (they take minutes
#   under emulation); KORVANE_SKIP_REPEATED= (empty) runs them too.
# Needs Debian's qemu-user.
set -eu

here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
build=${1:-build}
case $build in /*) ;; *) build=$root/$build ;; esac
cpu=${QEMU_CPU:-Nehalem}
tests=$build/tests/engine/engine_tests
if [ ! -x "$tests" ] || [ ! -d "$build/python" ]; then
    echo "no engine tests or module in $build; build them first: make build BUILD=${1:-build}" >&2
    exit 2
fi

echo "== engine tests on this CPU: the kernels it gets"
if grep -qw avx2 /proc/cpuinfo; then native=avx2; else native=baseline; fi
KORVANE_EXPECT_VECTOR_KERNELS=$native "$tests" --gtest_brief=1 --gtest_filter='VectorKernels.*:VopPermutation.*'

# The CPU test itself on emulated CPUs: AVX2 kernels only with AVX2, BMI1 and BMI2 all there.
for model in Haswell:avx2 Haswell,-bmi2:baseline Haswell,-avx2:baseline; do
    echo "== kernels picked on qemu-x86_64 -cpu ${model%:*}: ${model#*:}"
    KORVANE_EXPECT_VECTOR_KERNELS=${model#*:} qemu-x86_64 -cpu "${model%:*}" "$tests" --gtest_brief=1 \
        --gtest_filter='VectorKernels.*' 2>/dev/null
done

echo "== engine tests under qemu-x86_64 -cpu $cpu"
KORVANE_EXPECT_VECTOR_KERNELS=baseline qemu-x86_64 -cpu "$cpu" "$tests" --gtest_brief=1

# The interpreter the module was built for, as a real binary (pyenv's python3 is a script).
python=$(sed -n 's/^Python3_EXECUTABLE:[A-Z]*=//p' "$build/CMakeCache.txt")
python=$("$python" -c 'import sys; print(sys.executable)')
# The tests start examples with sys.executable: a script that leads back into qemu, which
# the interpreter sees as its argv[0] (-0) and so reports as sys.executable.
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cat >"$work/python3" <<WRAPPER
#!/bin/sh
exec qemu-x86_64 -cpu "$cpu" -0 "\$0" "$python" "\$@"
WRAPPER
chmod +x "$work/python3"

KORVANE_SKIP_REPEATED=${KORVANE_SKIP_REPEATED-1}
export KORVANE_SKIP_REPEATED
echo "== Python tests under qemu-x86_64 -cpu $cpu ($python)"
cd "$work"
PYTHONPATH=$build/python KORVANE_EXAMPLES=$root/examples \
    "$work/python3" -c 'import sys; print("interpreter:", sys.executable, sys.version.split()[0])'
PYTHONPATH=$build/python KORVANE_EXAMPLES=$root/examples \
    "$work/python3" -m unittest discover -s "$root/tests/python" -t "$root/tests/python"
