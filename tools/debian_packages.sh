#!/bin/sh
# Makes sure the Debian packages that the build and the test suite need are installed:
# installs the missing ones when run as root (or with sudo at hand), and otherwise stops
# with the exact command to run. Usage: tools/debian_packages.sh [package ...]
# (default: what `make build` and `make test` need). On a machine without dpkg it only
# reports and carries on, since the packages may come from elsewhere.
set -eu
if [ $# = 0 ]; then
    set -- g++ cmake ninja-build make libgtest-dev libbenchmark-dev
fi
if ! command -v dpkg-query >/dev/null 2>&1; then
    echo "no dpkg here: make sure these are installed: $*" >&2
    exit 0
fi
missing=""
for package in "$@"; do
    status=$(dpkg-query -W -f='${db:Status-Status}' "$package" 2>/dev/null || true)
    [ "$status" = installed ] || missing="$missing $package"
done
[ -z "$missing" ] && exit 0

command="apt-get install -y --no-install-recommends$missing"
if [ "$(id -u)" = 0 ]; then
    sudo=""
elif command -v sudo >/dev/null 2>&1 && sudo -n true 2>/dev/null; then
    sudo="sudo "
else
    echo "missing Debian packages:$missing" >&2
    echo "install them with: sudo apt-get update && sudo $command" >&2
    exit 1
fi
echo "installing Debian packages:$missing" >&2
export DEBIAN_FRONTEND=noninteractive
${sudo}apt-get update || echo "apt-get update failed; using the package lists already present" >&2
${sudo}$command
