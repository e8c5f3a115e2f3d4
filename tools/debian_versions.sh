#!/bin/sh
# Prints the versions of the Debian packages that CI names by version, as shell
# assignments: DEBIAN_PYTHON (Debian's own python3, e.g. python3.11 on Debian 12,
# python3.13 on Debian 13) and CLANG_MAJOR (what the clang package depends on). Read from
# the package lists, so it works before anything is installed.
set -eu
depends() { apt-cache show --no-all-versions "$1" 2>/dev/null | sed -n 's/^Depends: //p' | head -n 1; }
python=$(depends python3 | grep -o 'python3\.[0-9][0-9]*' | head -n 1)
clang=$(depends clang | grep -o 'clang-[0-9][0-9]*' | head -n 1)
echo "DEBIAN_PYTHON=${python:-python3.11}"
echo "CLANG_MAJOR=${clang#clang-}"
