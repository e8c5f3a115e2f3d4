#!/bin/sh
# CPython 3.14 and 3.15, which Debian 12 and 13 do not ship: builds the module and runs
# the Python tests with Debian sid's interpreters (and its newer g++) inside a sid root
# made with debootstrap, entered with chroot.
#
# Usage: tests/sid/run_pythons.sh [SID_ROOT]
#   SID_ROOT defaults to $KORVANE_SID_ROOT, else /var/tmp/korvane-sid. A root that an
#   earlier run finished is reused; making one takes a few minutes and needs root and
#   debootstrap (installed when missing). KORVANE_SID_PYTHONS ("python3.14 python3.15")
#   picks the interpreters.
# Exit status: 0 when every interpreter passed, 1 otherwise.
set -eu

here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
sid=${1:-${KORVANE_SID_ROOT:-/var/tmp/korvane-sid}}
pythons=${KORVANE_SID_PYTHONS:-"python3.14 python3.15"}

"$root/tools/sid_root.sh" "$sid"

# The interpreter and the tests read /proc (CPU count, memory use).
mounted=""
if ! mountpoint -q "$sid/proc"; then
    mount -t proc proc "$sid/proc"
    mounted=1
fi
cleanup() { if [ -n "$mounted" ]; then umount "$sid/proc"; fi; }
trap cleanup EXIT

echo "== sources into $sid/src"
rm -rf "$sid/src"
mkdir -p "$sid/src"
if [ -d "$root/.git" ] && command -v git >/dev/null; then
    (cd "$root" && git ls-files -z --cached --others --exclude-standard | xargs -0 tar -cf - --) | tar -xf - -C "$sid/src"
else
    (cd "$root" && tar -cf - --exclude='./build*' --exclude=./.git --exclude=./dist .) | tar -xf - -C "$sid/src"
fi

status=0
results=""
for py in $pythons; do
    echo "== $py in $sid"
    if chroot "$sid" sh -eu -c "
        $py --version
        g++ --version | head -n 1
        cd /src
        cmake -S . -B build-$py -G Ninja -DCMAKE_BUILD_TYPE=Release -DKORVANE_BUILD_TESTS=OFF \
              -DKORVANE_BUILD_BENCH=OFF -DPython3_EXECUTABLE=/usr/bin/$py >/dev/null
        cmake --build build-$py --target korvane
        cd tests/python
        PYTHONPATH=/src/build-$py/python KORVANE_EXAMPLES=/src/examples $py -m unittest discover -s . -t ."; then
        results="$results
   passed  $py"
    else
        results="$results
   FAILED  $py"
        status=1
    fi
done
echo "== results$results"
exit $status
