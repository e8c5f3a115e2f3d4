#!/bin/sh
# Gathers the headers of each CPython a wheel is built for into OUT/<arch>/python3.X, with
# that architecture's pyconfig.h in place of Debian's multiarch redirect:
#   x86_64  3.11-3.13  pyenv's interpreters here ($(pyenv root)/versions/3.X.*)
#   x86_64  3.14 3.15  Debian sid's python3.X-dev, in the sid root (tools/sid_root.sh)
#   aarch64 3.11       Debian 12's libpython3.11-dev:arm64 (tests/qemu/install_packages.sh)
#   aarch64 3.13-3.15  Debian sid's libpython3.X-dev:arm64, in the sid root
#   aarch64 3.12       no distribution here has it: the x86_64 headers with pyconfig.h
#                      rewritten for aarch64 by derive_pyconfig.py
# Usage: tools/wheels/python_headers.sh OUT [SID_ROOT]
set -eu
here=$(cd "$(dirname "$0")" && pwd)
out=$1
sid=${2:-${KORVANE_SID_ROOT:-/var/tmp/korvane-sid}}
"$here/../sid_root.sh" "$sid" libpython3.13-dev:arm64 libpython3.14-dev:arm64 libpython3.15-dev:arm64
if [ ! -e /usr/include/aarch64-linux-gnu/python3.11/pyconfig.h ]; then
    "$here/../../tests/qemu/install_packages.sh"
fi
pyenv_root=$(pyenv root 2>/dev/null || echo "$HOME/.pyenv")

# stage ARCH VERSION HEADER_DIR PYCONFIG
stage() {
    dir=$out/$1/python$2
    rm -rf "$dir"
    mkdir -p "$dir"
    cp -R "$3"/. "$dir"/
    rm -f "$dir/pyconfig.h"
    cp "$4" "$dir/pyconfig.h"
}
pyenv_include() {
    for d in "$pyenv_root"/versions/"$1".*/include/python"$1"; do
        [ -e "$d/Python.h" ] && { echo "$d"; return; }
    done
    echo "no CPython $1 under $pyenv_root/versions (pyenv install $1)" >&2
    exit 2
}

for v in 3.11 3.12 3.13; do
    inc=$(pyenv_include $v)
    stage x86_64 $v "$inc" "$inc/pyconfig.h"
done
for v in 3.14 3.15; do
    stage x86_64 $v "$sid/usr/include/python$v" "$sid/usr/include/x86_64-linux-gnu/python$v/pyconfig.h"
done
stage aarch64 3.11 /usr/include/python3.11 /usr/include/aarch64-linux-gnu/python3.11/pyconfig.h
inc=$(pyenv_include 3.12)
python3 "$here/derive_pyconfig.py" "$inc/pyconfig.h" "$out/pyconfig-3.12-aarch64.h"
stage aarch64 3.12 "$inc" "$out/pyconfig-3.12-aarch64.h"
for v in 3.13 3.14 3.15; do
    stage aarch64 $v "$sid/usr/include/python$v" "$sid/usr/include/aarch64-linux-gnu/python$v/pyconfig.h"
done
echo "== CPython headers in $out"
