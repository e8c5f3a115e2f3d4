#!/bin/sh
# Makes sure a Debian sid root made with debootstrap exists at ROOT (default
# $KORVANE_SID_ROOT, else /var/tmp/korvane-sid), with CPython 3.14 and 3.15 and a C++
# toolchain in it, and installs PACKAGE... there when missing ("name:arm64" adds the arm64
# architecture first). Needs root; debootstrap is installed when missing.
# Usage: tools/sid_root.sh [ROOT [PACKAGE...]]
set -eu
here=$(cd "$(dirname "$0")" && pwd)
sid=${1:-${KORVANE_SID_ROOT:-/var/tmp/korvane-sid}}
[ $# -gt 0 ] && shift
pythons=${KORVANE_SID_PYTHONS:-"python3.14 python3.15"}

if [ ! -e "$sid/.korvane-ready" ]; then
    "$here/debian_packages.sh" debootstrap
    include=g++,cmake,ninja-build
    for py in $pythons; do include=$include,$py-dev; done
    echo "== making a Debian sid root in $sid ($include)"
    rm -rf "$sid"
    debootstrap --variant=minbase --include="$include" sid "$sid" http://deb.debian.org/debian
    touch "$sid/.korvane-ready"
fi
[ $# = 0 ] && exit 0

missing=""
for package in "$@"; do
    status=$(chroot "$sid" dpkg-query -W -f='${db:Status-Status}' "$package" 2>/dev/null || true)
    [ "$status" = installed ] || missing="$missing $package"
done
[ -z "$missing" ] && exit 0
echo "== installing into $sid:$missing"
case $missing in *:arm64*) chroot "$sid" dpkg --add-architecture arm64 ;; esac
# The root follows the host's apt settings on stale mirrors (a Release file past its
# Valid-Until date is accepted where the host accepts it).
eval "$(apt-config shell valid Acquire::Check-Valid-Until)"
chroot "$sid" apt-get -o Acquire::Check-Valid-Until="${valid:-true}" update
# shellcheck disable=SC2086 # a list of package names
chroot "$sid" env DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends $missing
